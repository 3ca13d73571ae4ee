#pragma once
// The phases this process family offers to the driver.

namespace pluvo {

struct model_state;

void compute_infiltration(model_state& m);
void hourly_et_and_soil_moisture(model_state& m);
void update_soil_temperature(model_state& m);
void check_inf_redist_bounds(model_state& m);
void update_soil_moisture(model_state& m);
void sacramento_step(model_state& m);
void conceptual_gw_step(model_state& m);

}  // namespace pluvo
