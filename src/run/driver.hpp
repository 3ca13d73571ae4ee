#pragma once
// The single-run driver: one complete model run.
#include <functional>

#include "record/run_state.hpp"

namespace pluvo {

struct model_state;

// One run of the project file. mode_text is the first command-line argument.
// Returns error_code when the run is over.
int run_pluvo(const char* project_file, calibration_results* results, const char* mode_text);

// Sizes the caller's results record for an optimisation run.
void alloc_external_results(model_state& m);

// Called before each phase the driver runs, with the phase's name, and with
// "run_analyzers" and the event value; tests use it to follow and steer a run.
using phase_observer = std::function<void(const char* phase, int value, model_state& m)>;
void set_phase_observer(phase_observer observer);

}  // namespace pluvo
