#pragma once
// Fields of the model record owned by this process family.
#include <vector>

namespace pluvo {

struct hydromet_state {
  int rain_on = 0;                       // the event's rain lasts
  double rain_to_overland_volume = 0.0;  // m3 of rain that reached non-lake cells
  std::vector<double> cell_rain_rate;    // mm/h per cell
  std::vector<double> snow_swe;          // snow water equivalent per cell, m
};

}  // namespace pluvo
