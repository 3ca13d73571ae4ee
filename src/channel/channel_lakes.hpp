#pragma once
// Channel lakes over the grid: the rating-curve lookup. The hourly open-water evaporation is a
// service of channel_services.hpp.
#include <vector>

#include "channel/channel_services.hpp"

namespace pluvo {

// The ordinate of the lake's rating table (rows 1..rows of xs and ys) at x by linear
// interpolation. Outside the table it names the lake and gives the first or last ordinate.
double lake_rating_curve(int lake, double x, int rows, const std::vector<double>& xs, const std::vector<double>& ys);

}  // namespace pluvo
