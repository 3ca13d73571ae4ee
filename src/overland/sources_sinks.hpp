#pragma once
// The steps of the overland sources and sinks: boundary values, boundary conditions and pumps.
#include <cstdint>
#include <vector>

#include "common/pumps.hpp"

namespace pluvo {

struct model_state;

// Sets every cell's current boundary value: the table value (types 1 and 2), the value at time
// t of the TIME_SERIES_INDEX series the table names (types 3 to 5), else 0.
void update_overland_boundary_values(int cell_count, const double* bound_input, const int32_t* boundary_type,
                                     double* bound_value, double t);

// Applies the boundary of every cell of types 1 to 7 for a step of dt seconds, in cell order, and
// adds the step's volumes to the six run totals.
void apply_overland_boundary_conditions(model_state& m, double dt);

// Applies every pump in list order for a step of dt seconds at time t; water removed goes to
// loss, water a negative rate adds goes to gain (m3).
void apply_overland_pumps(const std::vector<pump_record>& pumps, double* depth, double dt, double t, double dx,
                          double& gain, double& loss);

}  // namespace pluvo
