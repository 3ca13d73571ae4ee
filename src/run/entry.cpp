#include "run/entry.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "calibration/calibration_modes.hpp"
#include "common/error_state.hpp"
#include "common/process.hpp"
#include "input/project_cards.hpp"
#include "run/driver.hpp"

namespace pluvo {

namespace {

const double version_number = 7.0;
const char version_letter = ' ';

bool starts_with(const char* s, const char* prefix, size_t n) { return std::strncmp(s, prefix, n) == 0; }

// Reads a count written right after a two-letter option; stays 1 when there is none.
int count_after(const char* option) {
  int n = 1;
  if (std::sscanf(option + 2, "%d", &n) != 1) n = 1;
  return n;
}

void web_header() {
  std::printf("%s%c%c\n", "Content-Type:text/text;charset=iso-8859-1", '\r', '\n');
  std::printf("<title>PLUVO Test Case</title><body><P> Web version of PLUVO (%2.1lf%c) with SCE starting...</P><P>",
              version_number, version_letter);
  const char* length_text = std::getenv("CONTENT_LENGTH");
  long length = -1;
  char extra = 0;
  if (length_text && std::sscanf(length_text, "%ld%c", &length, &extra) == 1 && length >= 0 &&
      length <= 1024) {
    char form[1025] = {};
    long n = 0;
    for (int c; n < length && (c = std::getchar()) != EOF && c != '\n';) form[n++] = char(c);
    std::fputs(form, stdout);
  } else {
    std::printf("<P>Error in invocation - wrong FORM probably.");
  }
}

// A mode whose driver is not built stops with the numbered message instead of doing nothing.
void refuse_unbuilt_mode(const unbuilt_mode& u) {
  error_state = error_state_record();
  error_state.error_code = unbuilt_error_code;
  error_state.error_file_name = std::string("  ") + u.option + ": " + u.what + "\n";
  report_error(error_state);
  run_stopped_on_error = true;
}

// The most runs one batch or Monte Carlo command may ask for.
const int max_run_count = 1000000;

// A command line that names no mode, or asks for a count of runs that cannot be made, is a
// mistake the shell should see: the run never started.
bool command_line_refused(int argc, char** argv, int count, const command_line& cl) {
  // A count of -1 is a count here, not the usage signal: the mode says which.
  if ((cl.mode == 3 || cl.mode == 6) && (count < 1 || count > max_run_count)) {
    std::printf("Error: The run count %d of option %s is outside 1 to %d; nothing was run.\n", count, argv[1],
                max_run_count);
  } else if (cl.mode == 0 && argc > 2) {
    std::printf("Error: Unknown option %s on the command line; nothing was run.\n", argv[1]);
  } else {
    return false;
  }
  run_stopped_on_error = true;
  return true;
}

}  // namespace

void print_usage() {
  std::fputs(
      "\nUsage: pluvo [-option] [inputfile]\n\n where -option is one of:\n      -c = SCE calibration mode (input file is the calibration control file)\n      -m = Monte Carlo calibration mode (input file is the calibration control file)\n      -b = batch mode (input file is the batch control file)\n      -s = sensitivity mode (input file is the sensitivity control file)\n      -v = display version information (no project will be run)\n  The c, m, b, and v commands are optional and if not present the input file is\n treated as the project file\n\n  For the -b option, the command line should be:\n      pluvo -b[num_batch] pluvo_inputfile\n\n  For the -c option, the command line should be:\n      pluvo -c sce_inputfile\n\n  For the -m option, the command line should be:\n      pluvo -m[num_batch] mc_inputfile\n\n  For the -s option, the command line should be:\n      pluvo -s sen_inputfile\n\n  For the -t option (and -tv), the command line should be:\n      pluvo -t[v]\n\n  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE input file, mc_intputfile is\n  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n\n",
      stdout);
}

void print_version() {
  std::printf("\n    -- PLUVO version %4.2lf%c --\n \n", version_number, version_letter);
  std::fputs("    PLUVO watershed model, developed by the PLUVO hydrology group.\n \n", stdout);
  std::fputs("    The SCE-UA calibration routines were adapted from code of a university\n"
             "    department of hydrology and water resources.\n \n", stdout);
  std::fputs("    Contact: PLUVO model support\n"
             "             Hydrology Group, Watershed Modelling Laboratory\n \n", stdout);
  std::fputs("Intended for use with VOK Version 9.0 or higher", stdout);
  std::fputs("\n \n", stdout);
}

int parse_command_line(int argc, char** argv, command_line& cl) {
  cl = command_line();
  if (argc < 2) {
    print_usage();
    return -1;
  }
  auto copy_name = [&](const char* name) {
    std::strncpy(cl.file_name, name, sizeof cl.file_name - 1);
    cl.file_name[sizeof cl.file_name - 1] = 0;
  };
  if (argc == 2) {
    cl.mode = 1;
    copy_name(argv[1]);
    return 1;
  }
  const char* option = argv[1];
  int count = 1;
  if (starts_with(option, "-slm", 4)) cl.mode = 8;
  else if (std::strcmp(option, "-ms") == 0) cl.mode = 9;
  else if (starts_with(option, "-tr", 2)) cl.mode = 10;
  else if (starts_with(option, "-mlsl", 4)) cl.mode = 11;
  else if (starts_with(option, "-s", 2)) cl.mode = 7;
  else if (starts_with(option, "-c", 2)) cl.mode = 2;
  else if (starts_with(option, "-b", 2)) {
    cl.mode = 3;
    count = count_after(option);
  } else if (starts_with(option, "-m", 2)) {
    cl.mode = 6;
    count = count_after(option);
  } else if (starts_with(option, "-h", 2)) cl.mode = 5;
  else if (starts_with(option, "-v", 2)) cl.mode = 4;
  else {
    print_usage();
    return -1;
  }
  if (cl.mode != 4) copy_name(argv[2]);
  return count;
}

void print_index_triples(int** grid, int rows, int columns, int /*count*/, const int* row_list,
                         const int* col_list, int* number_list, int k) {
  int counter = 1;
  for (int i = 1; i <= rows; i++) {
    for (int j = 1; j <= columns; j++) {
      if (grid[i][j] == 0) continue;
      if (i == row_list[k] && j == col_list[k]) {
        number_list[k] = counter;
        std::printf("%d  %d   %d \n", i, j, counter);
        break;  // go on with the next row
      }
      counter++;
    }
  }
}

int pluvo_main(int argc, char** argv) {
  int result = 0;
  if (argc > 0 && std::strstr(argv[0], "web")) {
    web_mode = true;
    web_header();
  } else {
    std::printf("Parallel version of PLUVO (%2.1lf%c) with SCE (OpenMP), %d total threads.\n", version_number,
                version_letter, thread_count);
    std::fflush(stdout);
  }
  set_model_run_function(run_pluvo);
  command_line cl;
  const int count = parse_command_line(argc, argv, cl);
  const bool refused = command_line_refused(argc, argv, count, cl);
  const unbuilt_mode* unbuilt = !refused && cl.mode != 0 ? find_unbuilt_mode(cl.mode) : nullptr;
  if (unbuilt) refuse_unbuilt_mode(*unbuilt);
  if (!refused && !unbuilt && cl.mode != 0) {
    switch (cl.mode) {
      case 1:
        result = run_pluvo(cl.file_name, nullptr, argv[1]);
        break;
      case 2:
        parallel_run_count = 1;
        run_stopped_on_error = run_sce_calibration(row_decomposition, cl.file_name) != 1;
        break;
      case 3:
        std::printf("PLUVO is running in batch mode, and is running %d runs...\n", count);
        for (int i = 0; i < count; i++) {
          run_index = i;
          run_number_prefix_on = 1;
          run_number = i;
          run_pluvo(cl.file_name, nullptr, argv[1]);
        }
        break;
      case 4:
        print_version();
        break;
      case 6:
        parallel_run_count = 1;
        run_stopped_on_error = run_monte_carlo(row_decomposition, count, cl.file_name) != 1;
        break;
      case 7: {
        montecarlo sampler(500 / parallel_run_count, cl.file_name, row_decomposition);
        sampler.set_model_run(calibration_objective);
        if (sampler.run() != 0) sampler.write_best();
        else run_stopped_on_error = true;
        break;
      }
      case 8:
        // The shell learns of a refused input or a failed estimation, not of the model runs'
        // own stops, which the estimation has already weighed.
        run_stopped_on_error = slm_vyn_main(argc, argv) != 0;
        break;
      case 9:
        run_stopped_on_error = multistart_main(argc, argv) != 0;
        break;
      case 10:
        run_stopped_on_error = trajectory_repulsion_main(argc, argv) != 0;
        break;
      case 11:
        run_stopped_on_error = mlsl_main(argc, argv) != 0;
        break;
      default:
        break;
    }
  }
  if (web_mode) std::printf("</P></body>\n");
  return result;
}

}  // namespace pluvo
