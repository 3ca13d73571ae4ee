#include "soil/seasonal_retention.hpp"

#include <algorithm>
#include <array>

#include "common/parallel_team.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// Dormant-season factor by month when no seasonal months are given.
double latitude_table_factor(int month, double latitude) {
  const bool north = latitude >= 37.0;
  switch (month) {
    case 4: return north ? 4.0 : 2.5;
    case 5: return north ? 3.0 : 1.0;
    case 6: return north ? 2.0 : 1.0;
    case 7: case 8: case 9: return 1.0;
    case 10: return 2.5;
    default: return 4.0;  // 1, 2, 3, 11, 12
  }
}

}  // namespace

double seasonal_factor(int month, int seasonal_rs_on, double site_latitude, int spring_month,
                       int fall_month, int summer_start_month, int summer_end_month) {
  if (seasonal_rs_on != 1) return 1.0;
  if (spring_month < 1) return latitude_table_factor(month, site_latitude);
  const double m = month, s = spring_month, f = fall_month;
  const double ss = summer_start_month, se = summer_end_month;
  if (m <= s || m >= f) return 4.0;
  if (m < ss) return 4.0 - 3.0 * (m - s) / (ss - s);
  if (m > se) return 1.0 + 3.0 * (m - se) / (f - se);
  return 1.0;
}

void seasonal_retention_abstraction(model_state& m, double dt) {
  const double f = seasonal_factor(m.cur_month, m.seasonal_rs_on, m.site_latitude,
                                   m.rs_spring_month, m.rs_fall_month, m.rs_summer_start_month,
                                   m.rs_summer_end_month);
  const bool canopy_snow = m.snow_canopy_intercept_on == 1;
  const bool lakes = m.lakes_on != 0 && !m.lake_mask.empty();
  const double cell_area = m.cell_size * m.cell_size;
  const int n = m.cell_count;
  // Summed in a fixed order: the intercepted volume is the same on any number of threads.
  const double held_total = parallel_cell_sums<1>(n, [&](int i) {
    const double r = m.cell_rain_rate[i];
    if (canopy_snow && m.snow_px_temp >= m.temper_gridded[i]) {
      m.ri_eff[i] = r;  // the canopy snow model deals with this cell
      return std::array<double, 1>{0.0};
    }
    if (r < 0.0) {
      m.ri_eff[i] = 0.0;
      return std::array<double, 1>{0.0};
    }
    if (lakes && m.lake_mask[i] >= 1) {
      m.ri_eff[i] = r;
      return std::array<double, 1>{0.0};
    }
    const double room = std::max(0.0, m.icep_stor[i] / f - m.icep_dep[i]);
    const double c = m.icep_coef[i] / f;
    const double rain_mm = r * dt / 3600.0;
    double held;
    if (room > rain_mm) {
      m.ri_eff[i] = 0.0;
      held = rain_mm;
    } else {
      m.ri_eff[i] = room > 0.0 ? (rain_mm - room) * 3600.0 / dt : r;
      m.ri_eff[i] *= 1.0 - c;
      // Only the rain beyond the filled store is split by c, so what passes and what is
      // held add up to the rain of the step.
      held = room + c * (rain_mm - room);
    }
    m.icep_dep[i] += held;
    return std::array<double, 1>{held};
  })[0];
  m.intercepted_volume += held_total * cell_area / 1000.0;
}

}  // namespace pluvo
