#pragma once
// Interception and retention of rain before it reaches the overland depth, with the
// seasonal factor (4 in the dormant season, 1 in summer) that scales the storage.

namespace pluvo {

struct model_state;

// The seasonal factor for month (1..12); 1 unless the seasonal switch is on. A spring month
// below 1 selects the table by latitude, otherwise the four months shape the year.
double seasonal_factor(int month, int seasonal_rs_on, double site_latitude, int spring_month,
                       int fall_month, int summer_start_month, int summer_end_month);

// Turns every cell's gross rate cell_rain_rate into the effective rate ri_eff over a step of
// dt seconds, adding what is held to icep_dep and intercepted_volume.
void seasonal_retention_abstraction(model_state& m, double dt);

}  // namespace pluvo
