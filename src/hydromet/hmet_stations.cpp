// The station rows, the cell-to-station distances and the elevation bands of a long-term run,
// laid out once before the time loop, with the arrays the hourly energy balance works on.
#include <cmath>
#include <cstdio>

#include "hydromet/hydromet_phases.hpp"
#include "hydromet/sun_and_bands.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {
constexpr const char* band_message = "\nError in Assigning Elevation Bands!!!!";

template <typename T>
void zeroed(std::vector<T>& v, size_t n) {
  v.assign(n, T());
}
template <typename T>
void sized(std::vector<T>& v, size_t n) {
  if (v.size() != n) v.assign(n, T());
}

// The row b (1..last) whose pair b-1, b brackets e, or the end pair outside the table.
int bracketing_row(const std::array<double, 6>* bands, int last, double e) {
  if (last < 1 || e <= bands[0][0]) return last < 1 ? 0 : 1;
  for (int b = 1; b <= last; b++)
    if (e <= bands[b][0]) return b;
  return last;
}
}  // namespace

int assign_elevation_bands(int cell_count, const std::vector<double>& elevation, double step,
                           double, double lowest, double anchor_elevation, int anchor_row,
                           int last_row, std::vector<int>& LR_Num, std::array<double, 6>* bands) {
  bands[anchor_row][0] = anchor_elevation;
  for (int r = anchor_row + 1; r <= last_row; r++) bands[r][0] = bands[r - 1][0] + step;
  for (int r = anchor_row - 1; r >= 0; r--) bands[r][0] = bands[r + 1][0] - step;
  // A row outside the table never matches.
  const auto within = [&](int lo, int hi, double e) {
    return lo >= 0 && hi <= last_row && bands[lo][0] <= e && e <= bands[hi][0];
  };
  for (int c = 1; c <= cell_count; c++) {
    const double e = elevation[size_t(c)];
    const int j = int((e - lowest) / step) + 2;
    int found = -1;
    if (within(j - 1, j, e)) found = j;
    else if (within(j, j + 1, e)) found = j + 1;
    else if (within(j - 2, j - 1, e)) found = j - 1;
    if (found < 1 || j < 0 || j > last_row) {
      std::fputs(band_message, stdout);
      if (found < 1) found = bracketing_row(bands, last_row, e);
    }
    LR_Num[size_t(c)] = found;
  }
  return 0;
}

void init_hmet_stations_and_bands(model_state& m) {
  if (!m.long_term_on) return;
  const int n = m.cell_count;
  const int stations = m.hmet_station_count > 0 ? m.hmet_station_count : 1;
  m.hmet_station_count = stations;
  const int last = m.elev_scale_count;
  const size_t rows = size_t(last) + 1;
  const size_t cells = size_t(n) + 1;

  m.veg_trans_minimum = m.veg_trans_min_flag ? m.veg_trans_min : 0.4;
  m.albedo_hour_count = 0;

  zeroed(m.shade_by_hour, cells);
  zeroed(m.Gage_XYZ_Lev_P_rh_c_w_t_qh, size_t(stations));
  zeroed(m.El_T_P_e_es_LR, size_t(stations) * rows);
  zeroed(m.Dist_Cell2Gage, cells * size_t(stations));
  zeroed(m.LR_Num, cells);
  for (auto* v : {&m.R_short, &m.R_long, &m.inc_solar_rad, &m.eff_temp_gridded, &m.pres_gridded,
                  &m.rh_gridded, &m.cloud_cover_gridded, &m.vel_gridded, &m.temper_gridded_sum})
    zeroed(*v, cells);
  zeroed(m.Cell_Aspect_Eff_Rad_Percent, cells + 1);
  zeroed(m.Hours_Since_Snow, cells);
  zeroed(m.melt_occurred, cells);
  // Arrays other set-ups fill when their maps are given; without them the cells read zeros.
  for (auto* v : {&m.temper_gridded, &m.albedo_cell, &m.albedo_w_snow, &m.veg, &m.Kt, &m.snow_swe,
                  &m.snow_depth, &m.snow_canopy_value2, &m.snow_canopy_value3, &m.Snow_Accumulated_Hr})
    sized(*v, cells);

  for (int s = 0; s < stations; s++) {
    auto& g = m.Gage_XYZ_Lev_P_rh_c_w_t_qh[size_t(s)];
    g[0] = m.hmet_station_x;
    g[1] = m.hmet_station_y;
    g[2] = m.hmet_station_elev;
    g[3] = (g[2] - m.watershed_min_elev) / m.elev_scale_step + 2.0;
    for (int c = 1; c <= n; c++) {
      const double dy = m.cell_y[size_t(c)] - g[1], dx = m.cell_x[size_t(c)] - g[0];
      const double dz = m.elevation[size_t(c)] - g[2];
      m.Dist_Cell2Gage[size_t(c) * size_t(stations) + size_t(s)] = std::sqrt(dy * dy + dx * dx + dz * dz);
    }
  }
  // A station far below the lowest cell would anchor its band below row 0: keep it in the table.
  const auto& first = m.Gage_XYZ_Lev_P_rh_c_w_t_qh[0];
  int anchor = int(first[3] + 0.001);
  if (anchor < 0) anchor = 0;
  if (anchor > last) anchor = last;
  assign_elevation_bands(n, m.elevation, m.elev_scale_step, m.watershed_max_elev, m.watershed_min_elev,
                         first[2], anchor, last, m.LR_Num, m.El_T_P_e_es_LR.data());
  for (int s = 1; s < stations; s++) {
    auto* bands = &m.El_T_P_e_es_LR[size_t(s) * rows];
    for (size_t r = 0; r < rows; r++) bands[r][0] = m.El_T_P_e_es_LR[r][0];
    auto& g = m.Gage_XYZ_Lev_P_rh_c_w_t_qh[size_t(s)];
    for (size_t k = 0; k < rows; k++)
      if (std::fabs(bands[k][0] - g[2]) <= m.elev_scale_step) {
        g[2] = bands[k][0];
        g[3] = double(k) + 0.1;
        break;
      }
  }
}

}  // namespace pluvo
