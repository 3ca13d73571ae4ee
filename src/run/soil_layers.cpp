#include "run/soil_layers.hpp"

#include "record/model_state.hpp"

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

}  // namespace pluvo
