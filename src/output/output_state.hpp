#pragma once
// Output and reporting fields of the model record.
#include <cstdint>
#include <string>
#include <vector>

namespace pluvo {

struct output_state {
  int hydrograph_link_count = 0;
  int sed_hydrograph_point_count = 0;
  std::vector<int32_t> hnode;  // per hydrograph point (from 1): channel node
  std::vector<int32_t> hlink;  // per hydrograph point (from 1): channel link

  // Record defaults.
  int float_grass_maps = 1;  // the summary says floating-point maps were read
  int satsource_out_on = 1;  // write the saturated-source map at the end when exfiltration is possible
};

}  // namespace pluvo
