// Phases of processes that are not built yet: each does nothing.
#include "run/run_phases.hpp"

namespace pluvo {

void close_output_files(model_state&) {}  // not built yet

}  // namespace pluvo
