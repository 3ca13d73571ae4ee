#pragma once
// Quality routines the overland phase calls.

namespace pluvo {

struct model_state;

// Erosion and deposition of one routed overland step of dt seconds, with the sediment
// bookkeeping that follows it.
void compute_overland_erosion(model_state& m, double dt);

}  // namespace pluvo
