#pragma once
// Fields of the model record owned by this process family.
#include <vector>

namespace pluvo {

struct hydromet_state {
  int precip_on = 0;  // PRECIP_FILE given
  std::vector<double> cell_rain_rate;  // m/s, per cell
  int snow_present = 0;
  std::vector<double> snow_swe;    // m, per cell
  std::vector<double> snow_depth;  // m, per cell
};

}  // namespace pluvo
