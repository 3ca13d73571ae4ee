// Monte Carlo sampling: uniform draws between the bounds of each parameter, one model run each.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "calibration/calibration_modes.hpp"
#include "calibration/file_clash.hpp"
#include "common/line_reader.hpp"
#include "common/replace_params.hpp"

namespace pluvo {

fifteen_bit_generator monte_carlo_draws;

namespace {

// The first token of the next line (a quoted one whole); false at the end of the file.
bool read_first_token(checked_file& file, std::vector<char>& line, std::string& token) {
  if (!read_line(line.data(), file)) return false;
  next_token(line.data(), token);
  return true;
}

}  // namespace

montecarlo::montecarlo(int runs, const char* input_file, row_decomposition_record& rows)
    : process_record(&rows), input_name(input_file ? input_file : ""), run_count(runs) {
  read_input(input_file);
  if (!input_ok) return;
  process_number = rows.this_process;
  monte_carlo_draws.seed(uint32_t(std::time(nullptr)) + uint32_t(process_index));
  sampling_on = rows.this_process == 0;
  best_parameters.assign(size_t(parameter_count) + 1, 0.0);
  read_calibration_observations(objective, observation_file.c_str());
}

montecarlo::~montecarlo() = default;

void montecarlo::read_input(const char* input_file) {
  input_ok = 0;
  checked_file file;
  if (!checked_file_open(file, input_file, 'r')) return;
  std::vector<char> line(line_buffer_size + token_buffer_size, 0);
  if (!read_first_token(file, line, project_file) || !read_first_token(file, line, pair_file) ||
      !read_first_token(file, line, observation_file) || !read_line(line.data(), file))
    return;
  int32_t n = 0;
  next_int(line.data(), n);
  if (n < 0) return;
  parameter_count = n;
  lower.assign(1, 0.0);
  upper.assign(1, 0.0);
  // A parameter whose line is missing leaves the input unread, as a missing file does.
  for (int i = 1; i <= n; ++i) {
    if (!read_line(line.data(), file)) return;
    double low = 0.0, high = 0.0;
    next_double(line.data(), low);
    // A '#' after the lower bound, or no second number, fixes the parameter.
    if (line[0] == '#' || !next_double(line.data(), high)) high = low;
    if (!(std::isfinite(low) && std::isfinite(high) && low <= high)) {
      std::printf("Error: the Monte Carlo input file %s: parameter %d has the bounds %g and %g; they must be "
                  "finite, the lower no greater than the upper.\n",
                  input_file, i, low, high);
      return;
    }
    lower.push_back(low);
    upper.push_back(high);
  }
  parameters.assign(size_t(n) + 1, 0.0);
  input_ok = 1;
}

void montecarlo::sample_parameters() {
  if (!sampling_on) {
    parameters.assign(size_t(parameter_count) + 1, 0.0);
    return;
  }
  for (int i = 1; i <= parameter_count; ++i)
    parameters[size_t(i)] =
        lower[size_t(i)] + (upper[size_t(i)] - lower[size_t(i)]) * (monte_carlo_draws.next() * 3.0517578125e-5);
}

int montecarlo::run() {
  if (!input_ok) {
    std::printf("Error: unable to read the input monte carlo file.\n");
    return 0;
  }
  if (run_count < 1) {
    std::printf("Error: the Monte Carlo run count is %d; no run was made.\n", run_count);
    return 0;
  }
  std::vector<calibration_file> files =
      evaluation_files("the Monte Carlo input file", input_name, project_file, pair_file, observation_file);
  char log_name[48];
  std::snprintf(log_name, sizeof log_name, "log_file_p%d.log", process_number);
  for (const char* name : {static_cast<const char*>(log_name), "best.out"}) {
    const std::string path = planned_calibration_output(name, true);
    files.push_back({"an output of the calibration", path, path, true});
  }
  if (calibration_files_clash(files, "the Monte Carlo input file " + input_name)) return 0;
  if (load_calibration_pairs(pair_file.c_str(), parameters.data(), parameter_count) != 0) return 0;
  free_replace_params();
  bool any_succeeded = false;
  for (int i = 0; i < run_count; ++i) {
    sample_parameters();
    const double cost = model_run(pair_file.c_str(), project_file.c_str(), parameters.data(), objective,
                                  parameter_count, "temp");
    log_run(cost);
    if (!evaluation_failed(cost) && (!any_succeeded || std::fabs(best_cost) > std::fabs(cost))) {
      any_succeeded = true;
      best_cost = cost;
      for (int k = 1; k <= parameter_count; ++k) best_parameters[size_t(k)] = parameters[size_t(k)];
    }
    collect_calibration_results(objective, process_index);
  }
  if (!any_succeeded) {
    std::printf("Error: none of the %d model runs of the Monte Carlo calibration succeeded; there is no best "
                "result.\n",
                run_count);
    return 0;
  }
  return 1;
}

void montecarlo::log_run(double cost) {
  if (!sampling_on) return;
  if (!log_file.is_open()) {
    char name[48];
    std::snprintf(name, sizeof name, "log_file_p%d.log", process_number);
    bool created = false;
    if (!open_appending(log_file, name, created)) return;
    if (created) {
      // The run has released its pairs with its record: the keys come from the pair file.
      std::fputs("Cost  \t", log_file.stream);
      if (read_replace_param_file(pair_file.c_str()) == 0)
        for (const replace_pair& pair : replace_pair_list) std::fprintf(log_file.stream, "%s\t", pair.key.c_str());
      free_replace_params();
      std::fputc('\n', log_file.stream);
    }
  }
  std::fprintf(log_file.stream, "%lf\t", cost);
  for (int i = 1; i <= parameter_count; ++i) std::fprintf(log_file.stream, "%le\t", parameters[size_t(i)]);
  std::fputc('\n', log_file.stream);
  std::fflush(log_file.stream);
}

void montecarlo::write_best() {
  std::fflush(stdout);
  std::printf("\n\nBest objective function value: %lf\nParameters:\n ", best_cost);
  for (int i = 1; i <= parameter_count; ++i) std::printf("%lf ", best_parameters[size_t(i)]);
  std::printf("\n");
  checked_file best;
  if (checked_file_open(best, "best.out", 'w')) {
    std::fprintf(best.stream, "%lf:  ", best_cost);
    for (int i = 1; i <= parameter_count; ++i) std::fprintf(best.stream, "%le ", best_parameters[size_t(i)]);
    std::fputc('\n', best.stream);
    checked_file_close(best);
  } else {
    std::printf("Warning: Unable to open the best.out file. Only printing results to stdout.\n");
  }
}

int run_monte_carlo(row_decomposition_record& rows, int count, const char* file) {
  montecarlo sampler(count / parallel_run_count, file, rows);
  sampler.set_model_run(calibration_objective);
  if (sampler.run() != 1) return 0;
  sampler.write_best();
  return 1;
}

}  // namespace pluvo
