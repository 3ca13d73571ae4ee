#pragma once
// The phases this process family offers to the driver.

namespace pluvo {

struct model_state;

void drain_network_step(model_state& m);
void superlink_step(model_state& m);
void groundwater_step(model_state& m);

}  // namespace pluvo
