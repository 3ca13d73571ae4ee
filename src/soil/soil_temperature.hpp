#pragma once
// The soil-temperature columns of frozen ground: heat conduction with freezing and thawing in a
// column of fixed nodes per permafrost cell, under the air or the snow cover, and the factor by
// which frozen soil layers lose conductivity.

namespace pluvo {

struct model_state;
struct gipl_layer;
struct gipl_soil_table;

// The layer of a soil type that holds depth z (m): the first whose bottom lies below z - 0.001,
// the last one under the deepest bottom.
const gipl_layer& permafrost_layer_at(const gipl_soil_table& g, int type, double z);

// Unfrozen volumetric water of a layer at T (deg C).
double unfrozen_water(const gipl_layer& l, double T);

// Thermal conductivity (W/m/K) and volumetric heat capacity (J/m3/K) at depth z and T.
double permafrost_thermal_conductivity(const gipl_soil_table& g, int type, double z, double T);
double permafrost_heat_capacity(const gipl_soil_table& g, int type, double z, double T);

// The conductivity K of soil layer n (1, 2 or 3) of a cell with its column's temperature at the
// layer: unchanged outside the permafrost mask and at 0 deg C or warmer; records the liquid
// share in fr_lq_wat.
double frozen_soil_conductivity(model_state& m, int cell, int layer, double K);

// Water contents of the soil-water scheme into every active column (THETA_GIPL).
void permafrost_exchange(model_state& m);

// Advances every active column by dt seconds.
void permafrost_temperature_profile(model_state& m, int dt);

}  // namespace pluvo
