#pragma once
// Output and reporting fields of the model record.
#include <string>

namespace pluvo {

struct output_state {
  int hydrograph_link_count = 0;
  int sed_hydrograph_point_count = 0;
};

}  // namespace pluvo
