// Channel routines that are not built yet: each does nothing. Whoever builds one removes it here.
#include "channel/channel_routines.hpp"

namespace pluvo {

void set_outlet_boundary_depth(model_state&) {}  // not built yet

int ex_flow_route(model_state&, double, double&, double&, double&) { return 0; }  // not built yet

double compute_channel_lateral_inflow(model_state&, double, double&) { return 0.0; }  // not built yet

double weir_submergence_factor(double) { return 1.0; }  // not built yet

}  // namespace pluvo
