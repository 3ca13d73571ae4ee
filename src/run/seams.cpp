// Phases of processes that are not built yet: each does nothing.
#include "run/run_phases.hpp"

namespace pluvo {


}  // namespace pluvo
