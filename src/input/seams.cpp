// Phases of processes that are not built yet: each does nothing.
#include "input/input_phases.hpp"

namespace pluvo {

void setup_superlink_grid_links(model_state&) {}  // not built yet
void setup_drain_network(model_state&) {}  // not built yet

}  // namespace pluvo
