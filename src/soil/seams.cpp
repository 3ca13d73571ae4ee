// Phases of processes that are not built yet: each does nothing.
#include "soil/soil_phases.hpp"

namespace pluvo {


}  // namespace pluvo
