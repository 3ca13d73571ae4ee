#pragma once
// Calibration and estimation drivers selected on the command line, and the evaluation they share.
#include <string>
#include <vector>

#include "calibration/objectives.hpp"
#include "calibration/random_generators.hpp"
#include "common/checked_file.hpp"
#include "common/process.hpp"

namespace pluvo {

struct calibration_results;

// One complete model run in this process (project file, results record or null, mode word);
// gives the run's error code. The program entry hands it over before any calibration mode
// starts, since the run driver sits above the calibration drivers.
using model_run_function = int (*)(const char* project_file, calibration_results* results,
                                   const char* mode_text);
void set_model_run_function(model_run_function run);
model_run_function current_model_run_function();

// The SCE-UA search (-c) and the Monte Carlo sampler (-m): 1 when the runs were made, else 0.
int run_sce_calibration(row_decomposition_record& rows, const char* file);
int run_monte_carlo(row_decomposition_record& rows, int count, const char* file);
int slm_vyn_main(int argc, char** argv);
int multistart_main(int argc, char** argv);
int trajectory_repulsion_main(int argc, char** argv);
int mlsl_main(int argc, char** argv);

// The model-run callback of both drivers: the cost of parameters x[1..n].
using calibration_callback = double (*)(const char* pair_file, const char* project_file, const double* x,
                                        objective_record& record, int n, const char* mode_name);

// x[1..n] into the replacement pairs of pair_file in list order, one model run with a results
// record, and its score (evaluate_objectives). A pair file that load_calibration_pairs refuses
// makes no run and gives the bad-data cost.
double calibration_objective(const char* pair_file, const char* project_file, const double* x,
                             objective_record& record, int n, const char* mode_name);

// A failed evaluation (no run, a run stopped on an error, nothing to score) costs the bad-data
// value; the drivers never keep such a cost as their best.
bool evaluation_failed(double cost);

// Reads pair_file anew and gives its pairs x[1], x[2], ... (rounded for integer formats), with
// substitution switched on. -1, with a message, when the file cannot be read, has a malformed
// line, or holds other than n pairs; the drivers call it before their first run so that such a
// file ends them.
int load_calibration_pairs(const char* pair_file, const double* x, int n);

// Monte Carlo sampler: parameters drawn uniformly between bounds, each set scored by the
// model-run callback, the smallest absolute cost kept. The sensitivity mode runs 500 of them.
class montecarlo {
 public:
  montecarlo(int run_count, const char* input_file, row_decomposition_record& rows);
  virtual ~montecarlo();
  montecarlo(const montecarlo&) = delete;
  montecarlo& operator=(const montecarlo&) = delete;

  virtual void read_input(const char* input_file);
  virtual void sample_parameters();
  void set_model_run(calibration_callback callback) { model_run = callback; }
  int run();
  void log_run(double cost);
  void write_best();

  int sampling_on = 0;
  int process_number = 0;
  row_decomposition_record* process_record = nullptr;
  objective_record objective;
  checked_file log_file;
  std::string input_name;  // the Monte Carlo input file
  std::string project_file;
  std::string pair_file;
  std::string observation_file;
  int run_count = 0;
  int parameter_count = 0;
  std::vector<double> lower;       // 1..n
  std::vector<double> upper;       // 1..n
  int input_ok = 0;
  std::vector<double> parameters;  // 0..n, entry 0 stays 0
  std::vector<double> best_parameters;
  double best_cost = 0.0;
  calibration_callback model_run = calibration_objective;
};

// The draws of every Monte Carlo sampler of the process; seeded from the clock.
extern fifteen_bit_generator monte_carlo_draws;

}  // namespace pluvo
