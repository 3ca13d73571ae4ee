#include "common/parallel_fill.hpp"

#include "common/parallel_team.hpp"

namespace pluvo {

void clamp_initial_moisture_parallel(int n, const double* class_porosity, double* initial_moisture,
                                     const double* class_residual, const int32_t* soiltype,
                                     const double* porosity_cell, const double* residual_cell,
                                     int residual_map_on, double uniform) {
  if (n < 1) return;
  const bool per_cell = residual_map_on == 1;
  parallel_for_cells(n, [=](int i) {
    double value = uniform;
    const double lower = per_cell ? residual_cell[i] : class_residual[soiltype[i]];
    const double upper = per_cell ? porosity_cell[i] : class_porosity[soiltype[i]];
    if (lower > value) value = lower + 0.01;
    if (value > upper) value = upper - 0.01;
    initial_moisture[i] = value;
  });
}

void assign_from_index_table_parallel(int record_index, int gauge_count, const int32_t* nearest,
                                      const checked_array_2d<double>& table, double* rain_rate, int n) {
  if (n < 1) return;
  const bool one_gauge = gauge_count == 1;
  // A record beyond the rows' length has no value to read.
  const bool record_ok = record_index >= 0 && record_index <= table.row_length;
  parallel_for_cells(n, [&](int i) {
    const double* row = checked_array_2d_row(table, one_gauge ? 1 : nearest[i]);
    rain_rate[i] = (row && record_ok) ? row[record_index] : 0.0;
  });
}

}  // namespace pluvo
