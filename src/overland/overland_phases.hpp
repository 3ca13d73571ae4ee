#pragma once
// The phases this process family offers to the driver.

namespace pluvo {

struct model_state;

void apply_cell_inflows(model_state& m);
void apply_overland_sources_sinks(model_state& m);
void bmp_step(model_state& m);
void route_overland_step(model_state& m);
void update_overland_lake_extent(model_state& m);

// Set-up readers called by the input-grid driver.
void read_bmp_table(model_state& m);

}  // namespace pluvo
