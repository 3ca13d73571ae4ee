#pragma once
// The snowmelt of continuous runs: the melt of one snow step on every cell, and what the phase
// and the layered pack share with it.
#include <array>
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

// A cell's wetting fronts 1..51 of the layered pack, each (-creation time, depth to travel,
// water, arrival time, cut-off time) in entries 1..5.
using snow_front_table = std::array<std::array<double, 6>, 52>;

// One step of dt seconds of a cell's layered snowpack: compaction, new snow or rain, surface
// melt, frost and refreezing, held water and the wetting fronts that carry the rest down.
// The pointers are entries 1..7 and 9..11 of the cell's parameter record, updated in place;
// status receives the end state (entries 1..22).
void snow_pack_step(int unused_flag, double P, double T, double rh, double U, double Ja, double Jb, double unused,
                    double* state_value, double* prescribed_depth, double* exponent, double* porosity,
                    double* depth, double* water, double* holding, int dt, double* status, snow_front_table& fronts,
                    double* density, double* permeability, double* permeability_out);

}  // namespace pluvo
