#pragma once
// Calibration and estimation drivers selected on the command line.
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

void run_sce_calibration(row_decomposition_record& rows, const char* file);
void run_monte_carlo(row_decomposition_record& rows, int count, const char* file);
int slm_vyn_main(int argc, char** argv);
int multistart_main(int argc, char** argv);
int trajectory_repulsion_main(int argc, char** argv);
int mlsl_main(int argc, char** argv);

// Model-run callback of the samplers: one model evaluation for a parameter set.
double calibration_objective(int evaluation, void* context);

// Monte Carlo sampler; the sensitivity mode runs it for a fixed number of evaluations.
class montecarlo {
 public:
  montecarlo(int evaluations, const char* file, row_decomposition_record& rows);
  virtual ~montecarlo() = default;
  void set_model_run(double (*callback)(int, void*)) { model_run_ = callback; }
  virtual int run();
  virtual void write_best();

 private:
  int evaluations_;
  double (*model_run_)(int, void*) = nullptr;
};

}  // namespace pluvo
