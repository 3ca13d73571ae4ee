// Channel routines that are not built yet: each does nothing. Whoever builds one removes it here.
#include "channel/channel_routines.hpp"

namespace pluvo {

void read_chan_input(model_state&) {}  // not built yet
void allocate_channel_sediment_arrays(model_state&) {}  // not built yet
void allocate_gst_arrays(model_state&) {}  // not built yet
void allocate_channel_contaminant_arrays(model_state&) {}  // not built yet
void compute_sacramento_weights(model_state&) {}  // not built yet
void compute_cgw_weights(model_state&) {}  // not built yet
void set_outlet_boundary_depth(model_state&) {}  // not built yet

void culv_flow(const std::vector<hydraulic_structure>&, int, double, double, double& q, double&, double&) {  // not built yet
  q = 0.0;
}

int compute_stream_aquifer_flux(model_state&, double) { return 0; }  // not built yet
void channel_sediment_step(model_state&, double) {}  // not built yet
void update_lake_extent(model_state&) {}  // not built yet

}  // namespace pluvo
