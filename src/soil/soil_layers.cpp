#include "soil/soil_layers.hpp"

#include <cmath>
#include <cstdio>

#include "record/model_state.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

double lower_layer_water(const layered_soil_entry& s, double column_cm, double theta_2) {
  const double below_top = column_cm - layer_thickness(s, 1);
  if (below_top <= 0.0) return 0.0;
  // The column ends within layer 2 at most (it is never deeper than layers 1 and 2).
  const double in_layer_2 = below_top < layer_thickness(s, 2) ? below_top : layer_thickness(s, 2);
  return in_layer_2 * theta_2;
}

std::array<double, 3> layer_moistures_from_water(const layered_soil_entry& s, double column_cm,
                                                 double water_top, double water_lower,
                                                 const std::array<double, 3>& previous) {
  std::array<double, 3> theta = previous;
  const double t1 = layer_thickness(s, 1);
  const double t2 = layer_thickness(s, 2);
  theta[0] = water_top / (t1 < column_cm ? t1 : column_cm);
  const double below_top = column_cm - t1;
  if (below_top <= 0.0) return theta;  // the column does not reach layer 2
  if (t1 + t2 > column_cm) {
    theta[1] = water_lower / below_top;
    theta[2] = layer_porosity(s, 3);
  } else {
    theta[1] = water_lower / t2;
    theta[2] = theta[1];
  }
  return theta;
}

namespace {
template <typename V>
bool holds(const V& v, int32_t n) {
  return v.size() > size_t(n);
}
}  // namespace

bool layered_arrays_ready(const model_state& m) {
  const int32_t n = m.cell_count;
  return holds(m.THETA_ML, n) && holds(m.sm_depth_cell, n) && holds(m.sm_water_top, n) &&
         holds(m.sm_water_lower, n);
}

// Layer moistures of every cell from the water the soil-moisture accounting holds.
void start_layered_soil(model_state& m) {
  m.initial_soil_water = 0.0;
  const int32_t n = m.cell_count;
  const double area = m.cell_size * m.cell_size;
  if (!layered_arrays_ready(m)) return;
  for (int32_t j = 1; j <= n; ++j) {
    const size_t c = size_t(j);
    const layered_soil_entry* soil = soil_class_of(m, j);
    if (!soil) continue;
    std::array<double, 4>& layers = m.THETA_ML[c];  // layers 1..3
    std::array<double, 3> theta = {layers[1], layers[2], layers[3]};
    const double depth = m.sm_depth_cell[c];
    if (depth > 1e-16) {
      theta = layer_moistures_from_water(*soil, depth, m.sm_water_top[c], m.sm_water_lower[c], theta);
    } else {
      for (int L = 0; L < 3; ++L) theta[size_t(L)] = layer_porosity(*soil, L + 1);
    }
    for (int L = 0; L < 3; ++L) {
      const double lo = soil->values[soil_col_residual + L];
      const double hi = layer_porosity(*soil, L + 1);
      theta[size_t(L)] = std::fmin(std::fmax(theta[size_t(L)], lo), hi);
      layers[size_t(L) + 1] = theta[size_t(L)];
    }
    const double relative = theta[0] / layer_porosity(*soil, 1);
    m.initial_soil_water += relative;
    if (std::isnan(relative) && m.silent_mode != 1) std::printf("bad initial value of soil moisture cell %d\n", j);
    if (!m.gw_simulation_on) move_cm_to_total(m.unsat_downward_flux, j, area, m.unsat_downward_volume);
    move_cm_to_total(m.direct_evap_cell, j, area, m.direct_evap_volume_total);
  }
  if (n > 0) m.initial_soil_water /= double(n);
}

}  // namespace pluvo
