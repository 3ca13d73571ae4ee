#pragma once
// Fields of the model record owned by this process family.
#include <vector>

namespace pluvo {

struct overland_state {
  std::vector<double> ov_depth;  // m, per cell
  std::vector<double> ov_depth_2;
  std::vector<double> ov_depth_3;
  int ov_water_present = 0;
};

}  // namespace pluvo
