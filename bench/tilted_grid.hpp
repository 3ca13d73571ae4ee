#pragma once
// The synthetic tilted plane the overland benchmarks step on.
#include <memory>

#include "record/model_state.hpp"

namespace bench {

// A plane of side x side cells of 30 m falling 1 % to the east and 0.5 % to the south,
// with 1 cm of water everywhere: one step of 10 s needs no division.
inline std::unique_ptr<pluvo::model_state> tilted_grid(int side) {
  auto m = std::make_unique<pluvo::model_state>();
  const int n = side * side;
  const size_t size = size_t(n) + 1;
  m->cell_count = n;
  m->cell_size = 30.0;
  for (auto* v : {&m->rightcon, &m->belowcon, &m->leftcon, &m->abovecon}) v->assign(size, 0);
  for (auto* v : {&m->elevation, &m->slope_x, &m->slope_y, &m->ov_qx, &m->ov_qy, &m->retent_dep})
    v->assign(size, 0.0);
  m->ov_depth.assign(size, 0.01);
  m->dist_rough.assign(size, 0.05);
  for (int r = 0; r < side; r++)
    for (int c = 0; c < side; c++) {
      const int i = r * side + c + 1;
      if (c + 1 < side) m->rightcon[i] = i + 1;
      if (c > 0) m->leftcon[i] = i - 1;
      if (r + 1 < side) m->belowcon[i] = i + side;
      if (r > 0) m->abovecon[i] = i - side;
      // The explicit scheme reads the face slopes, the alternating-direction one the ground.
      m->elevation[i] = 30.0 * (0.01 * (side - 1 - c) + 0.005 * (side - 1 - r));
      m->slope_x[i] = m->rightcon[i] ? 0.01 : 0.0;
      m->slope_y[i] = m->belowcon[i] ? 0.005 : 0.0;
    }
  m->outlet_cell = n;
  m->outlet_slope = 0.01;
  m->overland_scheme = 1;
  m->quiet_on = 1;
  return m;
}

}  // namespace bench
