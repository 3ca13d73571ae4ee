#pragma once
// The phases this process family offers to the driver.

namespace pluvo {

struct model_state;

void init_long_term_snow(model_state& m);
void read_event_precip(model_state& m);
void update_precipitation(model_state& m);
void apply_rainfall(model_state& m);
void update_hydrometeorology(model_state& m);
void long_term_snow_step(model_state& m);

// Set-up readers called by the input-grid driver.
void read_nwsrfs_elevation_bands(model_state& m);
void set_hmet_gage_parameters(model_state& m);

}  // namespace pluvo
