#pragma once
// Channel lakes over the grid: the rating-curve lookup, the extent update and the hourly
// open-water evaporation.
#include <vector>

namespace pluvo {

struct model_state;

// The ordinate of the lake's rating table (rows 1..rows of xs and ys) at x by linear
// interpolation. Outside the table it names the lake and gives the first or last ordinate.
double lake_rating_curve(int lake, double x, int rows, const std::vector<double>& xs, const std::vector<double>& ys);

// Removes one hour of evaporation from every lake under the hour's wind (m/s), air temperature
// (degrees C) and relative humidity (%), adds it to the lake totals, then updates the extents.
void compute_lake_evaporation(model_state& m, double wind_speed, double temperature, double rh);

}  // namespace pluvo
