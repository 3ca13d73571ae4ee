#include "hydromet/gauge_interpolation.hpp"

#include <cmath>
#include <cstdio>

#include "common/error_state.hpp"
#include "common/parallel_team.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

double centre_x(const model_state& m, int col) {
  return m.grid_west + col * m.cell_size - m.cell_size / 2.0;
}

double centre_y(const model_state& m, int row) {
  return m.grid_north - row * m.cell_size + m.cell_size / 2.0;
}

double gauge_distance(const model_state& m, int g, double x, double y) {
  const double dx = m.gauge_x[g] - x, dy = m.gauge_y[g] - y;
  return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

bool find_nearest_gauges(model_state& m) {
  const int rows = m.mask_rows, cols = m.mask_cols, gauges = m.gauge_count;
  int failures = 0;
  // Failures are only counted inside the loop; the message is printed once afterwards.
#pragma omp parallel for schedule(static) if(m.cell_count >= min_cells_for_threads) reduction(+ : failures)
  for (int i = 1; i <= rows; ++i) {
    const double y = centre_y(m, i);
    for (int j = 1; j <= cols; ++j) {
      const int c = m.cell_number_grid(i, j);
      if (c == 0) continue;
      const double x = centre_x(m, j);
      double best = 1000000.0;
      for (int g = 1; g <= gauges; ++g) {
        const double d = gauge_distance(m, g, x, y);
        if (d < best) {  // the first gauge wins a tie
          m.nearest[c] = g;
          best = d;
        }
      }
      if (best > 900000.0) ++failures;
    }
  }
  if (failures == 0) return true;
  stop_run("Failure to identify closest raingauge in find_neighbor\n"
           "check rain gage data file, particularly gage coordinates\n");
  return false;
}

void distribute_precip_idw(model_state& m, int record) {
  const int rows = m.mask_rows, cols = m.mask_cols, gauges = m.gauge_count;
  const double cell_size = m.cell_size;
#pragma omp parallel for schedule(static) if(m.cell_count >= min_cells_for_threads)
  for (int i = 1; i <= rows; ++i) {
    const double y = centre_y(m, i);
    for (int j = 1; j <= cols; ++j) {
      const int c = m.cell_number_grid(i, j);
      if (c == 0) continue;
      if (gauges == 1) {
        m.cell_rain_rate[c] = m.precip_table.rows[1][record];
        continue;
      }
      const double x = centre_x(m, j);
      double w = 0.0, v = 0.0;
      for (int g = 1; g <= gauges; ++g) {
        const double rate = m.precip_table.rows[g][record];
        const double d = gauge_distance(m, g, x, y);
        if (d < cell_size) {  // a gauge inside the cell's reach speaks for it alone
          w = 1.0;
          v = rate;
          break;
        }
        w += 1.0 / (d * d);
        v += rate / (d * d);
      }
      m.cell_rain_rate[c] = v / w;
    }
  }
}

}  // namespace pluvo
