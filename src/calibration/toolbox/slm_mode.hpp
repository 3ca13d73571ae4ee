#pragma once
// The -slm mode with the control record left to the caller, who may look at the estimates.
#include "calibration/toolbox/control_file.hpp"

namespace pluvo::toolbox {

// 0 on a normal end, otherwise the status of the refusal or of the failed step.
int run_slm_mode(int argc, char** argv, toolbox_control& c);

}  // namespace pluvo::toolbox
