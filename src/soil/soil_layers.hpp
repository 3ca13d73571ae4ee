#pragma once
// The soil column of a cell in the layered soil scheme and the per-cell arrays the soil
// start-up needs.
#include <array>
#include <cstdint>

#include "record/soil_state.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

struct model_state;

inline double layer_porosity(const layered_soil_entry& s, int layer) {
  return s.values[soil_col_porosity + layer - 1];
}
inline double layer_residual(const layered_soil_entry& s, int layer) {
  return s.values[soil_col_residual + layer - 1];
}
// Thickness of layer 1 or 2, cm (layer 3 has no lower bound).
inline double layer_thickness(const layered_soil_entry& s, int layer) {
  return s.values[soil_col_thickness + layer - 1];
}

// Water (cm) below layer 1 in a soil column of the given depth (cm) whose layers hold
// the given moistures: the part of the column in layer 2 at layer 2's moisture.
double lower_layer_water(const layered_soil_entry& s, double column_cm, double theta_2);

// Layer moistures that hold the given top and lower water (cm) in a column of the given
// depth; layers the column does not reach keep their previous moisture.
std::array<double, 3> layer_moistures_from_water(const layered_soil_entry& s, double column_cm,
                                                 double water_top, double water_lower,
                                                 const std::array<double, 3>& previous);

// True when the per-cell arrays of the layered scheme hold every cell.
bool layered_arrays_ready(const model_state& m);

}  // namespace pluvo
