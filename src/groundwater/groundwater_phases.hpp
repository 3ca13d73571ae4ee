#pragma once
// The phases this process family offers to the driver.

namespace pluvo {

struct model_state;

void drain_network_step(model_state& m);
void superlink_step(model_state& m);
void groundwater_step(model_state& m);

// Set-up service the input readers call (through the table of input/neighbour_services.hpp).
int build_gipl_layer_links(int cell, model_state& m);

}  // namespace pluvo
