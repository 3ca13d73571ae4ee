// Phases of processes that are not built yet: each does nothing.
#include "channel/channel_phases.hpp"

namespace pluvo {

void init_channel_routing(model_state&) {}  // not built yet
void read_chan_point_input_step(model_state&) {}  // not built yet

void setup_channel_network(model_state&) {}  // not built yet

}  // namespace pluvo

#include "channel/channel_services.hpp"

namespace pluvo {


}  // namespace pluvo
