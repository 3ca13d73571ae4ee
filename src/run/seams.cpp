// Phases of processes that are not built yet: each does nothing.
#include "run/run_phases.hpp"

namespace pluvo {

void validate_project_options(model_state&) {}  // not built yet
void check_time_options(model_state&) {}  // not built yet
void close_output_files(model_state&) {}  // not built yet

}  // namespace pluvo
