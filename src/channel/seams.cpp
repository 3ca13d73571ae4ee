// Phases of processes that are not built yet: each does nothing.
#include "channel/channel_phases.hpp"

namespace pluvo {

void route_channels_step(model_state&) {}  // not built yet

}  // namespace pluvo

#include "channel/channel_services.hpp"

namespace pluvo {

void lowspot_weir_flow(model_state&, double, double&, double&) {}  // not built yet
double channel_stored_volume(const model_state&) { return 0.0; }  // not built yet

}  // namespace pluvo
