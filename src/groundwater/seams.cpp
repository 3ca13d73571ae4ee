// Phases of processes that are not built yet: each does nothing.
#include "groundwater/groundwater_phases.hpp"

namespace pluvo {

void drain_network_step(model_state&) {}  // not built yet
void superlink_step(model_state&) {}  // not built yet
void groundwater_step(model_state&) {}  // not built yet
int build_gipl_layer_links(int, model_state&) { return 0; }  // not built yet

}  // namespace pluvo
