#pragma once
// The phases this process family offers to the driver.

namespace pluvo {

struct model_state;

void init_overland_nutrient_state(model_state& m);
void check_sediment_contaminant_sources(model_state& m);
void step_overland_water_quality(model_state& m);
void total_cell_contaminant_mass(model_state& m);
void step_channel_sediment_contam(model_state& m);
void step_channel_contaminant_sources(model_state& m);
void step_channel_lake_water_quality(model_state& m);

}  // namespace pluvo
