// Phases of processes that are not built yet: each does nothing.
#include "groundwater/groundwater_phases.hpp"

namespace pluvo {

void drain_network_step(model_state&) {}  // not built yet
void superlink_step(model_state&) {}  // not built yet

}  // namespace pluvo
