// The model run the program entry hands to the calibration drivers.
#include "calibration/calibration_modes.hpp"

namespace pluvo {

namespace {
model_run_function model_run = nullptr;
}  // namespace

void set_model_run_function(model_run_function run) { model_run = run; }
model_run_function current_model_run_function() { return model_run; }

}  // namespace pluvo
