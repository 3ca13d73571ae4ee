// Phases of processes that are not built yet: each does nothing.
#include "hydromet/hydromet_phases.hpp"

namespace pluvo {

void snow_canopy_interception(model_state&) {}  // not built yet


}  // namespace pluvo
