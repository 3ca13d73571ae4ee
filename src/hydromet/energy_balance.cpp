// The hour's energy balance of every cell: the station's weather spread over the grid by
// elevation band (or with one fixed lapse rate), the snow albedo, and the short- and long-wave
// radiation the snow model and evapotranspiration read.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/parallel_team.hpp"
#include "hydromet/solar_energy.hpp"
#include "hydromet/sun_and_bands.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {
constexpr double dry_lapse = 0.009761194029850746;  // g / cp, K/m
constexpr double sigma = 5.67e-8;
constexpr const char* band_message = "\nError in Assigning Elevation Bands!!!!";

double saturation_pressure(double t) { return 6.112 * std::exp(17.67 * t / (t + 243.5)); }
}  // namespace

double psychrometric_terms(double, double station_pressure, double, double station_kelvin,
                           double vapour_ratio, double t, double lapse, int, std::array<double, 6>& row) {
  constexpr double g = 9.81, R = 287.04;
  const double p = station_pressure * std::pow((t + 273.15) / station_kelvin, g / (lapse * R));
  const double e = p * vapour_ratio;
  const double es = saturation_pressure(t);
  const double l_cp = 1e6 * (2.501 - 0.00236 * t) / 1005.0;
  const double d = p - 0.378 * es;
  const double moist = (es * 0.622 / (d * d) * l_cp * p * g / ((t + 273.15) * R) + dry_lapse) /
                       (4105.29 * es / ((t + 237.3) * (t + 237.3)) * (es * 0.235116 / (d * d) + 0.622 / d) * l_cp + 1.0);
  const double next = es > e ? dry_lapse : moist;
  row[2] = p;
  row[3] = e;
  row[4] = es;
  row[5] = next;
  return next;
}

void elevation_band_lapse_rates(double, double, double step, double station_elevation,
                                int station_row, int row_count, double t0, double p0, double rh,
                                std::array<double, 6>* bands) {
  const double e0 = saturation_pressure(t0) * rh;
  const double w = 0.622 * e0 / (p0 - 0.378 * e0);
  const double q = w / (0.378 * w + 0.622);
  const double t0k = t0 + 273.15;
  const auto anchor = [&] {
    auto& row = bands[station_row];
    row[0] = station_elevation;
    row[1] = t0;
    return psychrometric_terms(t0, p0, rh, t0k, q, t0, 1.0, 0, row);
  };
  const auto march = [&](int from, int to, int dir) {
    double lapse = anchor();
    double z = station_elevation, t = t0;
    for (int r = from; dir > 0 ? r <= to : r >= to; r += dir) {
      z += dir * step;
      if (std::fabs(bands[r][0] - z) > 1e-6) std::fputs("\nError in Elevation Bands for Lapse Rates", stdout);
      t -= dir * lapse * step;
      bands[r][1] = t;
      lapse = psychrometric_terms(t0, p0, rh, t0k, q, t, lapse, 0, bands[r]);
    }
  };
  march(station_row + 1, row_count - 1, 1);
  march(station_row - 1, 0, -1);
}

bool assign_cell_elevation_band(const model_state& m, int c, int b, cell_weather& out) {
  const size_t rows = size_t(m.elev_scale_count) + 1;
  const double z = m.elevation[size_t(c)];
  const double z1 = m.El_T_P_e_es_LR[size_t(b) - 1][0], z2 = m.El_T_P_e_es_LR[size_t(b)][0];
  const bool inside = z1 <= z && z <= z2;
  const double f = z2 != z1 ? (z - z1) / (z2 - z1) : 0.0;
  const int stations = m.hmet_station_count;
  double wsum = 0.0;
  cell_weather sum;
  for (int s = 0; s < stations; s++) {
    const auto& lo = m.El_T_P_e_es_LR[size_t(s) * rows + size_t(b) - 1];
    const auto& hi = m.El_T_P_e_es_LR[size_t(s) * rows + size_t(b)];
    const auto& g = m.Gage_XYZ_Lev_P_rh_c_w_t_qh[size_t(s)];
    cell_weather v;
    v.temperature = lo[1] + (hi[1] - lo[1]) * f;
    v.pressure = lo[2] + (hi[2] - lo[2]) * f;
    v.e = lo[3] + (hi[3] - lo[3]) * f;
    v.es = lo[4] + (hi[4] - lo[4]) * f;
    v.rh = std::min(v.e / v.es, 1.0);
    v.cloud = g[6];
    v.wind = g[7];
    const double d = m.Dist_Cell2Gage[size_t(c) * size_t(stations) + size_t(s)];
    if (d < m.cell_size) {
      out = v;
      return inside;
    }
    const double w = stations == 1 ? 1.0 : 1.0 / ((d / 1000.0) * (d / 1000.0));
    wsum += w;
    sum.temperature += w * v.temperature;
    sum.pressure += w * v.pressure;
    sum.e += w * v.e;
    sum.es += w * v.es;
    sum.rh += w * v.rh;
    sum.cloud += w * v.cloud;
    sum.wind += w * v.wind;
  }
  out.temperature = sum.temperature / wsum;
  out.pressure = sum.pressure / wsum;
  out.e = sum.e / wsum;
  out.es = sum.es / wsum;
  out.rh = sum.rh / wsum;
  out.cloud = sum.cloud / wsum;
  out.wind = sum.wind / wsum;
  return inside;
}

void update_snow_albedo(model_state& m, int c, int n) {
  const size_t i = size_t(c);
  const double t = n == 0 ? m.temper_gridded[i] : m.temper_gridded_sum[i] / n;
  if (m.snow_swe[i] < 1e-16) {
    m.albedo_w_snow[i] = m.albedo_cell[i];
  } else {
    double a = m.albedo_w_snow[i];
    if (m.melt_occurred[i] <= 0) {
      a -= t <= 0.0 ? 0.013 : 0.17;
    } else {
      a = 0.83 - 0.011 * m.Hours_Since_Snow[i] / 24.0;
      m.melt_occurred[i] = 0;
    }
    m.albedo_w_snow[i] = std::clamp(a, 0.38, 0.83);
  }
  m.temper_gridded_sum[i] = 0.0;
}

void net_radiation(model_state& m, int c, double e, double canopy, double tau, const hour_sun& sun) {
  const size_t i = size_t(c);
  const double cloud = m.cloud_cover_gridded[i] / 10.0;
  const double tk = m.temper_gridded[i] + 273.15;
  const double black = sigma * tk * tk * tk * tk;
  const double eps = m.snow_swe[i] <= 0.0 ? 0.74 + 0.0049 * e : 0.757;
  const double clear = black * eps * (1.0 + 0.17 * cloud * cloud);
  const double f = canopy > 1e-16 ? 0.55 + 0.29 * std::log(canopy) : 0.0;
  m.R_long[i] = f * black + (1.0 - f) * clear;
  const double r = 1.0 + 0.017 * std::cos((186 - sun.day_of_year) * 0.01722113502935421);
  const double s = 1366.0 / (r * r) * m.Cell_Aspect_Eff_Rad_Percent[i] * tau * (1.0 - 0.65 * cloud * cloud) *
                   (0.75 + 2e-5 * m.elevation[i]);
  m.inc_solar_rad[i] = s;
  m.R_short[i] = (1.0 - m.albedo_w_snow[i]) * s;
  if (m.shade_by_hour[i][size_t(sun.hour)] == 1 && m.R_short[i] > 0.0) m.R_short[i] = 0.0;
  if (!(sun.zenith > 0.0 && sun.zenith < 1.5714285714285714)) {
    m.R_short[i] = 0.0;
  } else {
    m.eff_temp_gridded[i] = std::pow((m.R_short[i] + m.R_long[i]) / sigma, 0.25) - 273.15 - m.temper_gridded[i];
  }
}

namespace {
double canopy_factor(const model_state& m, int c, int month) {
  const double summer = m.snow_canopy_value2[size_t(c)], winter = m.snow_canopy_value3[size_t(c)];
  if (summer <= 1e-16) return 0.0;
  if ((month >= 1 && month <= 3) || month == 11 || month == 12) return winter;
  if (month == 4 || month == 10) return 0.5 * (summer + winter);
  if (month >= 5 && month <= 9) return summer;
  return 0.0;
}

double transmission(const model_state& m, int c, double k) {
  const size_t i = size_t(c);
  if (!(m.snow_depth[i] < m.veg[i] - 1e-16)) return 1.0;
  const double v2 = m.snow_canopy_value2[i], v3 = m.snow_canopy_value3[i];
  if (k > -0.0001 && std::fabs(k - v2) > 0.0001 && std::fabs(k - v3) > 0.0001)
    return (1.0 - (k - v3) / (v2 - v3)) * (m.Kt[i] - m.veg_trans_minimum) + m.veg_trans_minimum;
  return m.Kt[i];
}
}  // namespace

void compute_cell_energy_balance(int, model_state& m, int year, int month, int day, int hour,
                                 double station_temperature, double station_pressure) {
  const int n = m.cell_count;
  const int stations = m.hmet_station_count;
  const int last = m.elev_scale_count;
  if (m.R_short.size() != size_t(n) + 1 || m.Gage_XYZ_Lev_P_rh_c_w_t_qh.size() != size_t(stations)) return;
  const size_t rows = size_t(last) + 1;
  for (auto& g : m.Gage_XYZ_Lev_P_rh_c_w_t_qh) {
    g[4] = station_pressure;
    g[5] = m.hmet_rh;
    g[6] = m.hmet_cloud_cover;
    g[7] = m.hmet_wind_speed;
    g[8] = station_temperature;
  }
  if (m.dalr_on != 1)
    for (int s = 0; s < stations; s++) {
      const auto& g = m.Gage_XYZ_Lev_P_rh_c_w_t_qh[size_t(s)];
      int row = int(g[3] + 0.001);
      row = std::clamp(row, 0, last);
      elevation_band_lapse_rates(m.watershed_max_elev, m.watershed_min_elev, m.elev_scale_step,
                                 m.El_T_P_e_es_LR[size_t(s) * rows + size_t(row)][0], row, int(rows),
                                 g[8], g[4], g[5] / 100.0, &m.El_T_P_e_es_LR[size_t(s) * rows]);
    }

  hour_sun sun;
  sun.day_of_year = check_julian_day(year, month, day);
  sun.hour = std::clamp(hour, 0, 23);
  const double declination = solar_declination_of_day(sun.day_of_year);
  const double omega = check_hour_angle(hour);
  const double phi = m.site_latitude * 3.14159265 / 180.0;
  sun.zenith = std::acos(std::cos(phi) * std::cos(declination) * std::cos(omega) +
                         std::sin(phi) * std::sin(declination));
  if (hour == 0 && (day == 1 || day == 8 || day == 15 || day == 22 || day == 29))
    compute_daily_shading(m, year, month, day, m.site_latitude, sun.day_of_year, declination);

  // Band messages, in cell order, before the cells are worked on the team. A cell outside its
  // rows (reported at set-up) takes the end pair and is extrapolated.
  if (m.dalr_on != 1)
    for (int c = 1; c <= n; c++) {
      const int b = m.LR_Num[size_t(c)];
      if (b < 1 || b > last) {
        std::fputs(band_message, stdout);
        continue;
      }
      const double z = m.elevation[size_t(c)];
      if (z < m.El_T_P_e_es_LR[size_t(b) - 1][0] || z > m.El_T_P_e_es_LR[size_t(b)][0])
        std::fputs(band_message, stdout);
    }

  const bool albedo_hour = hour == 0;
  const int hour_count = m.albedo_hour_count;
  const double lat22 = m.site_latitude * 3.142857142857143 / 180.0;
  parallel_for_cells(n, [&](int c) {
    const size_t i = size_t(c);
    const double k = canopy_factor(m, c, month);
    cell_weather w;
    if (m.dalr_on == 1) {
      w.temperature = (m.Gage_XYZ_Lev_P_rh_c_w_t_qh[0][2] - m.elevation[i]) * m.dalr_value + station_temperature;
      w.pressure = station_pressure;
      w.es = 6.108 * std::exp(17.27 * w.temperature / (w.temperature + 237.3));
      w.rh = std::min(m.Gage_XYZ_Lev_P_rh_c_w_t_qh[0][5] / 100.0, 1.0);
      w.e = w.es * w.rh;
      w.cloud = m.Gage_XYZ_Lev_P_rh_c_w_t_qh[0][6];
      w.wind = m.Gage_XYZ_Lev_P_rh_c_w_t_qh[0][7];
    } else {
      assign_cell_elevation_band(m, c, std::clamp(m.LR_Num[i], 1, std::max(last, 1)), w);
    }
    m.temper_gridded[i] = w.temperature;
    m.pres_gridded[i] = w.pressure;
    m.rh_gridded[i] = w.rh * 100.0;
    m.cloud_cover_gridded[i] = w.cloud;
    m.vel_gridded[i] = w.wind;
    const double tau = transmission(m, c, k);
    solar_incidence_on_slope(c, m.Cell_Aspect_Eff_Rad_Percent, m.slope_cx[i], m.slope_cy[i], declination,
                             omega, lat22);
    if (albedo_hour) update_snow_albedo(m, c, hour_count);
    m.temper_gridded_sum[i] += m.temper_gridded[i];
    if (m.Snow_Accumulated_Hr[i] == 1.0) {
      m.albedo_w_snow[i] = 0.83;
      m.Hours_Since_Snow[i] = 0;
      m.Snow_Accumulated_Hr[i] = 0.0;
    } else {
      m.Hours_Since_Snow[i] += 1;
    }
    net_radiation(m, c, w.e, k, tau, sun);
  });
  if (albedo_hour) m.albedo_hour_count = 0;
  m.albedo_hour_count++;
}

}  // namespace pluvo
