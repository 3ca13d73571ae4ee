// The -c mode: the SCE input file, the settings check, the search and its report.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "calibration/file_clash.hpp"
#include "calibration/sce.hpp"
#include "common/line_reader.hpp"
#include "common/replace_params.hpp"
#include "input/project_file.hpp"

namespace pluvo {

namespace {

constexpr int population_limit = 1320;
constexpr int sub_complex_limit = 50;

// The first token of the next line (a quoted one whole), "" when there is none.
std::string first_token_of_line(checked_file& file, std::vector<char>& line) {
  std::string token;
  if (read_line(line.data(), file)) next_token(line.data(), token);
  return token;
}

void report_best(const sce_record& r, int runs) {
  checked_file best;
  const bool open = checked_file_open(best, "sce_best.out", 'w');
  std::printf("The best results of the SCE calibration after %d runs:\n", runs);
  if (open) std::fprintf(best.stream, "The best results of the SCE calibration %d runs:\n", runs);
  for (int j = 1; j <= r.nopt; ++j) {
    if (open) std::fprintf(best.stream, "%le\n", r.bestx[size_t(j)]);
    std::printf("%le\n", r.bestx[size_t(j)]);
  }
  if (!open) std::printf("Warning: Unable to open the sce_best.out file. Only printing results to stdout.\n");
}

// The search's own files, and those of every evaluation, against the four files it reads.
bool sce_files_clash(const sce_record& r, const char* input_file, const char* output_file) {
  std::vector<calibration_file> files =
      evaluation_files("the SCE input file", input_file, r.project_file, r.pair_file, r.observation_file);
  const std::string output = planned_calibration_output(output_file, false);
  files.push_back({"an output of the calibration", output, output, true});
  // The search log and the best point are written after the first evaluations, numbered as they are.
  for (const char* name : {"sce_log_file.txt", "sce_best.out"}) {
    const std::string path = planned_calibration_output(name, true);
    files.push_back({"an output of the calibration", path, path, true});
  }
  return calibration_files_clash(files, std::string("the SCE input file ") + input_file);
}

}  // namespace

int scein(sce_record& r, checked_file& input) {
  std::printf(" ENTER THE SCEIN SUBROUTINE --- \n");
  if (r.model_mode) {
    std::vector<char> line(line_buffer_size + token_buffer_size, 0);
    r.project_file = first_token_of_line(input, line);
    find_project_folder(r.project_file.c_str());
    r.pair_file = first_token_of_line(input, line);
    r.observation_file = first_token_of_line(input, line);
  }
  std::FILE* f = input.stream;
  if (std::fscanf(f, "%d %d %lf %d %d %d %d", &r.maxn, &r.kstop, &r.pcento, &r.ngs, &r.iseed, &r.ideflt,
                  &r.nopt) != 7) {
    std::printf("Error in your input file. The first line must have 7 parameters.\n");
    return -1;
  }
  if (!(r.pcento >= 0.0 && r.pcento < HUGE_VAL)) {
    std::printf("Error in your input file. The percentage change PCENTO is %g; it must be a finite number, not "
                "negative.\n",
                r.pcento);
    return -1;
  }
  r.pcento /= 100.0;
  if (r.iseed == 0) r.iseed = 3737;
  if (r.nopt < 1) {
    std::printf("Error in your input file. The number of parameters is %d; it must be at least 1.\n", r.nopt);
    return -1;
  }
  int settings[6] = {};
  if (std::fscanf(f, "%d %d %d %d %d %d", &settings[0], &settings[1], &settings[2], &settings[3], &settings[4],
                  &settings[5]) != 6) {
    std::printf("Error in your input file. The second line must have 6 parameters.\n");
    return -1;
  }
  if (r.ideflt == 1) {
    r.npg = settings[0];
    r.nps = settings[1];
    r.nspl = settings[2];
    r.mings = settings[3];
    r.iniflg = settings[4];
    r.iprint = settings[5];
  }
  // The bounds grow with the lines read: a parameter count larger than the file allocates nothing.
  r.a.assign(1, 0.0);
  r.bl.assign(1, 0.0);
  r.bu.assign(1, 0.0);
  for (int i = 1; i <= r.nopt; ++i) {
    double a = 0.0, low = 0.0, high = 0.0;
    if (std::fscanf(f, "%lf %lf %lf", &a, &low, &high) != 3) {
      std::printf("Error in your input file. Parameter %d must have 3 values: initial, lower and upper.\n", i);
      return -1;
    }
    if (!(std::isfinite(a) && std::isfinite(low) && std::isfinite(high))) {
      std::printf("Error in your input file. Parameter %d has the values %g %g %g; they must be finite numbers.\n",
                  i, a, low, high);
      return -1;
    }
    if (!(low < high)) {
      std::printf("ERROR:  Lower bound is greater than upper bound for varialbe %d\n", i);
      return -1;
    }
    r.a.push_back(a);
    r.bl.push_back(low);
    r.bu.push_back(high);
  }
  for (std::vector<double>* v : {&r.a, &r.bl, &r.bu}) v->push_back(0.0);
  checked_file_close(input);
  return 0;
}

int sce_check_settings(sce_record& r) {
  const int nopt = r.nopt;
  if (r.ideflt == 0) {
    r.iniflg = 0;
    r.iprint = 0;
    r.nps = nopt + 1;
    r.npg = 2 * nopt + 1;
    r.nspl = 2 * nopt + 1;
    r.mings = r.ngs;
  }
  if (r.ngs < 1 || r.ngs >= population_limit) {
    std::printf(" **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION %d IS NOT A VALID CHOICE\n", r.ngs);
    return -1;
  }
  int warnings = 0;
  if (r.kstop < 0 || r.kstop >= 20) {
    std::printf(" **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE\n");
    std::printf(" MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = %d WAS\n", r.kstop);
    std::printf(" WAS SPECIFIED.  BUT kstop = 5 WILL BE USED INSTEAD.\n");
    r.kstop = 5;
    ++warnings;
  }
  if (r.mings < 1 || r.mings > r.ngs) {
    std::printf(" **WARNING** THE MINIMUM NUMBER OF COMPLEXES %d IS NOT A VALID CHOICE.\n", r.mings);
    std::printf(" SET IT TO DEFAULT\n");
    r.mings = r.ngs;
    ++warnings;
  }
  if (r.npg < 2 || r.npg > population_limit / std::max(r.ngs, 1)) {
    std::printf(" **WARNING** THE NUMBER OF POINTS IN A COMPLEX %d IS NOT\n", r.npg);
    std::printf(" A VALID CHOICE, SET IT TO DEFAULT\n");
    r.npg = 2 * nopt + 1;
    ++warnings;
  }
  if (r.nps < 2 || r.nps > r.npg || r.nps > sub_complex_limit) {
    std::printf(" **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX %d IS NOT\n", r.nps);
    std::printf(" A VALID CHOICE, SET IT TO DEFAULT\n");
    // A sub-complex never holds more points than its complex: its points are distinct.
    r.nps = std::min(nopt + 1, r.npg);
    ++warnings;
  }
  if (r.nspl < 1) {
    std::printf(" **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX\n");
    std::printf(" BEFORE SHUFFLING %d IS NOT A VALID CHOICE, SET IT TO DEFAULT\n", r.nspl);
    r.nspl = r.npg;
    ++warnings;
  }
  if (r.npg * r.ngs > population_limit) {
    std::printf(" **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION %d EXCEED\n", r.npg * r.ngs);
    std::printf(" THE POPULATION LIMIT.  SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n");
    r.ngs = 2;
    r.npg = 2 * nopt + 1;
    r.nspl = 2 * nopt + 1;
    r.nps = nopt + 1;
    ++warnings;
  }
  if (warnings > 0) std::printf(" *** TOTAL NUMBER OF WARNING MESSAGES IS %d\n", warnings);
  return warnings;
}

void sce_setup(sce_record& r, const char* input_file, const char* output_file) {
  r.model_mode = 1;
  checked_file input;
  if (!checked_file_open(input, input_file, 'r')) {
    std::printf("Can't open SCE input file %s\n", input_file);
    r.setup_ok = 0;
    return;
  }
  r.setup_ok = scein(r, input) == 0 && sce_check_settings(r) >= 0;
  if (r.setup_ok && sce_files_clash(r, input_file, output_file)) {
    r.setup_ok = 0;
    return;
  }
  r.output_open = 1;
  if (!checked_file_open(r.output_file, output_file, 'w')) {
    std::printf("Can't open output file %s\n", output_file);
    r.setup_ok = 0;
  }
  checked_file_close(input);
}

int sce_alloc_objective(sce_record& r) {
  r.objective = objective_record();
  return read_calibration_observations(r.objective, r.observation_file.c_str());
}

void sce_cleanup(sce_record& r) {
  for (std::vector<double>* v : {&r.a, &r.bl, &r.bu, &r.stat_max, &r.stat_min, &r.stat_mean, &r.bestx}) v->clear();
  checked_file_close(r.output_file);
  checked_file_close(r.log_file);
  r.objective = objective_record();
}

int run_sce_calibration(row_decomposition_record& /*rows*/, const char* file) {
  sce_record r;
  sce_setup(r, file, "sce_output.out");
  // An input that cannot be read, or that an output would overwrite, has said so: nothing runs.
  if (!r.output_open) {
    sce_cleanup(r);
    return 0;
  }
  if (sce_alloc_objective(r) == -1) {
    std::printf("Error: unable to open the observation file for reading or problem while reading it.\n"
                "Attempted to read file: %s\n",
                r.observation_file.c_str());
    sce_cleanup(r);
    return 0;
  }
  // A pair file that cannot be used ends the calibration before its first run.
  if (r.setup_ok) {
    const bool usable = load_calibration_pairs(r.pair_file.c_str(), r.a.data(), r.nopt) == 0;
    free_replace_params();
    if (!usable) {
      sce_cleanup(r);
      return 0;
    }
  }
  r.model_run = calibration_objective;
  const int counter = sceua(r);
  bool done = counter >= 1;
  if (!done) {
    std::printf("Error: unable to successfully run the SCE method\n");
  } else if (evaluation_failed(r.bestf)) {
    std::printf("Error: none of the %d model runs of the SCE calibration succeeded; there is no best "
                "result.\n",
                counter - 1);
    done = false;
  } else {
    report_best(r, counter - 1);
  }
  sce_cleanup(r);
  return done;
}

}  // namespace pluvo
