// Phases of processes that are not built yet: each does nothing.
#include "groundwater/groundwater_phases.hpp"

namespace pluvo {

void drain_network_step(model_state&) {}  // not built yet
void superlink_step(model_state&) {}  // not built yet
void read_superlink_file(checked_file&, checked_file&, model_state&) {}  // not built yet
void read_drain_network(checked_file&, checked_file&, drain_network_record&, model_state&) {}  // not built yet

}  // namespace pluvo
