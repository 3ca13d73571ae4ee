#pragma once
// Parallel per-cell fills over cells 1..n (static schedule; each cell writes only its own element).
// Offers: clamp_initial_moisture_parallel (a uniform initial water content clamped into
// each cell's residual..porosity range) and assign_from_index_table_parallel (each cell's
// rain rate from its nearest gauge's row of the gauge table).
#include <cstdint>

#include "common/checked_array.hpp"

namespace pluvo {

// initial_moisture[i] = uniform, raised to lower + 0.01 when below lower and then lowered to
// upper - 0.01 when above upper. Bounds are residual_cell[i] and porosity_cell[i] when
// residual_map_on is 1, else the class tables at soiltype[i].
void clamp_initial_moisture_parallel(int n, const double* class_porosity, double* initial_moisture,
                                     const double* class_residual, const int32_t* soiltype,
                                     const double* porosity_cell, const double* residual_cell,
                                     int residual_map_on, double uniform);

// rain_rate[i] = row nearest[i] (row 1 with exactly one gauge) of table at record_index.
// A cell whose row or record does not exist gets 0.
void assign_from_index_table_parallel(int record_index, int gauge_count, const int32_t* nearest,
                                      const checked_array_2d<double>& table, double* rain_rate, int n);

}  // namespace pluvo
