#pragma once
// Calibration and estimation drivers selected on the command line.
#include "common/process.hpp"

namespace pluvo {

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
