#pragma once
// Channel lakes over the grid: the rating-curve lookup, the extent update and the hourly
// open-water evaporation.
#include <vector>

#include "channel/channel_services.hpp"

namespace pluvo {

struct model_state;

// The ordinate of the lake's rating table (rows 1..rows of xs and ys) at x by linear
// interpolation. Outside the table it names the lake and gives the first or last ordinate.
double lake_rating_curve(int lake, double x, int rows, const std::vector<double>& xs, const std::vector<double>& ys);


}  // namespace pluvo
