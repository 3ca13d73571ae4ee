#pragma once
// Channel routines the overland phase and the hourly soil step call.

namespace pluvo {

struct model_state;

// Weir flow across the low spots of dikes for dt seconds; adds the volumes (m3) lost to
// and gained from head boundary cells.
void lowspot_weir_flow(model_state& m, double dt, double& bound_loss, double& bound_gain);

// Water held in the channel links (m3), for the end-of-runoff test.
double channel_stored_volume(const model_state& m);

// Removes one hour of evaporation from every lake under the hour's wind (m/s), air temperature
// (degrees C) and relative humidity (%), adds it to the lake totals, then updates the extents.
void compute_lake_evaporation(model_state& m, double wind_speed, double temperature, double rh);

}  // namespace pluvo
