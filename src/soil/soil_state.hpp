#pragma once
// Fields of the model record owned by this process family.
#include <vector>

namespace pluvo {

struct soil_state {
  std::vector<double> surface_moisture;  // per cell
};

}  // namespace pluvo
