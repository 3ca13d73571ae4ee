#pragma once
// The snowmelt of continuous runs: the melt of one snow step on every cell, and what the phase
// and the layered pack share with it.
#include <cstdint>

namespace pluvo {

struct model_state;

// Day number counted from 21 March (0) for the month and day, and the seasonal weight of the
// melt factor; false for a month outside 1..12 (the caller asks for the offset).
bool snow_day_number(int month, int day, int& n);
double seasonal_melt_weight(int n);

// Melt of one snow step of dt seconds on every cell with snow: takes the melt from the pack,
// updates its depth and density and hands the melt to the cell's melt waves. 1 while a cell
// still holds snow afterwards.
int compute_snowmelt(model_state& m, double dt);

// Canopy snow of one snow step of dt seconds: interception of the step's snowfall, sublimation
// and unloading onto the pack. 1 while snow remains on a canopy.
int snow_canopy_interception(model_state& m, double dt);

// Leaf-off and leaf-on weights of the canopy index for a month.
void canopy_season_weights(int month, double& leaf_off, double& leaf_on);

// The layered-pack parameter record of a cell whose snow is gone.
void reset_snow_pack_params(model_state& m, int cell);

}  // namespace pluvo
