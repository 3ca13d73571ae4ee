// Phases of processes that are not built yet: each does nothing.
#include "output/output_phases.hpp"
#include "output/series_files.hpp"

namespace pluvo {

void setup_xy_outputs(model_state&) {}  // not built yet
void apply_ov_xy_boundary(model_state&, double& gain, double& loss) { gain = loss = 0.0; }  // not built yet
void build_xy_weights(model_state&) {}  // not built yet
void build_gw_xy_weights(model_state&) {}  // not built yet
void sum_q4_segment_fluxes(model_state&) {}  // not built yet
void write_q4_segment_fluxes(model_state&, double) {}  // not built yet
void write_xy_output_step(model_state&, double) {}  // not built yet

}  // namespace pluvo
