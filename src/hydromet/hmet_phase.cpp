// The hourly weather phase of long-term runs: the next record of the weather file onto the
// cells, the station row, the sun of the hour, the orographic lapse rate and the energy balance;
// and the weather station's set-up.
#include <cmath>
#include <cstdio>
#include <vector>

#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "common/parallel_team.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "hydromet/solar_energy.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

void size_cells(std::vector<double>& v, int n) {
  if (v.size() < size_t(n) + 1) v.resize(size_t(n) + 1, 0.0);
}

// One data line of the orographic station file: the lapse rate between it and the station.
void orographic_step(model_state& m) {
  if (!m.hmet_orog_gages_on || m.hmet_ascii_on || !m.orog_met_fp.is_open()) return;
  int year = 0, month = 0, day = 0, hour = 0;
  double t_orog = 0.0;
  if (std::fscanf(m.orog_met_fp.stream, "%d%d%d%d%lf", &year, &month, &day, &hour, &t_orog) != 5)
    return;  // past its end the last rate stands
  double rate = (t_orog - m.hmet_temperature) / (m.orog_base_elev - m.orog_gage_elev);
  if (rate > 0.00981) rate = 0.00981;  // no steeper than the dry adiabat
  if (rate < 1e-16) rate = 0.0;
  m.dalr_value = rate;
}

// Reads the next record, with its orographic line.
void read_next_record(model_state& m) {
  m.hmet_read_status = read_hmet_data(m, m.hmet_records_read);
  orographic_step(m);
}

double record_time(const model_state& m) {
  return julian_date(m.hmet_year, m.hmet_month, m.hmet_day, m.hmet_hour, 0, 0.0);
}

// A run from a start date takes as its first hour the first record not earlier than the start,
// the record a run from the data's own start would take at that hour.
void catch_up_to_start(model_state& m) {
  do {
    read_next_record(m);
  } while (m.hmet_read_status != -1 && m.cur_julian - record_time(m) > m.time_tolerance);
}

// False when the data are exhausted: the run ends, or the last event finishes on the last hour.
bool data_left(model_state& m) {
  if (m.hmet_read_status != -1) return true;
  if (m.event_in_progress && m.event_number == m.event_count) {
    m.hmet_next_time = -10.0;
    m.et_next_time = -10.0;
    return false;
  }
  m.keep_running = 0;
  std::printf("End of meteorology data reached.  PLUVO terminated\n");
  return false;
}

void copy_record_to_cells(model_state& m) {
  const int n = m.cell_count;
  for (auto* v : {&m.direct_gridded, &m.diffuse_gridded, &m.cloud_cover_gridded, &m.temper_gridded,
                  &m.rh_gridded, &m.pres_gridded, &m.vel_gridded})
    size_cells(*v, n);
  double* direct = m.direct_gridded.data();
  double* diffuse = m.diffuse_gridded.data();
  double* cloud = m.cloud_cover_gridded.data();
  double* temperature = m.temper_gridded.data();
  double* rh = m.rh_gridded.data();
  double* pressure = m.pres_gridded.data();
  double* wind = m.vel_gridded.data();
  const double r_direct = m.hmet_direct_rad, r_diffuse = m.hmet_diffuse_rad;
  const double r_cloud = m.hmet_cloud_cover, r_temperature = m.hmet_temperature;
  const double r_rh = m.hmet_rh, r_pressure = m.hmet_pressure, r_wind = m.hmet_wind_speed;
  parallel_for_cells(n, [=](int i) {
    direct[i] = r_direct;
    diffuse[i] = r_diffuse;
    cloud[i] = r_cloud;
    temperature[i] = r_temperature;
    rh[i] = r_rh;
    pressure[i] = r_pressure;
    wind[i] = r_wind;
  });
}

double specific_humidity(double t, double rh, double p_mb) {
  if (!(p_mb > 0.0)) return 0.0;
  return 0.6108 * std::exp(17.27 * t / (t + 237.3)) * (rh / 100.0) * 0.622 / (0.1 * p_mb);
}

void fill_station_row(model_state& m) {
  if (m.Gage_XYZ_Lev_P_rh_c_w_t_qh.empty()) m.Gage_XYZ_Lev_P_rh_c_w_t_qh.resize(1, {});
  auto& row = m.Gage_XYZ_Lev_P_rh_c_w_t_qh[0];
  row[4] = m.hmet_pressure;
  row[5] = m.hmet_rh;
  row[6] = m.hmet_cloud_cover;
  row[7] = m.hmet_wind_speed;
  row[8] = m.hmet_temperature;
  row[9] = specific_humidity(m.hmet_temperature, m.hmet_rh, m.hmet_pressure);
}

void solar_geometry_of_hour(model_state& m) {
  m.hmet_day_of_year = check_julian_day(m.hmet_year, m.hmet_month, m.hmet_day);
  const double delta =
      0.409279709125 * std::sin(m.hmet_day_of_year * 0.017214206301369866 - 1.405);
  const double h = check_hour_angle(double(m.hmet_hour));
  const double phi = m.site_latitude * 3.14159265 / 180.0;
  m.solar_declination = delta;
  m.solar_hour_angle = h;
  m.solar_altitude =
      std::asin(std::cos(h) * std::cos(delta) * std::cos(phi) + std::sin(phi) * std::sin(delta));
  m.solar_azimuth = compute_solar_azimuth(m.hmet_year, m.hmet_month, m.hmet_day, m.hmet_hour,
                                          m.site_latitude, m.hmet_day_of_year, h, delta);
  m.solar_zenith =
      std::acos(std::cos(phi) * std::cos(delta) * std::cos(h) + std::sin(phi) * std::sin(delta));
}

void start_snow_albedo_and_shading(model_state& m) {
  const int n = m.cell_count;
  size_cells(m.albedo_w_snow, n);
  for (int i = 1; i <= n; ++i) {
    const bool snow = size_t(i) < m.snow_swe.size() && m.snow_swe[size_t(i)] > 1e-16;
    const double bare = size_t(i) < m.albedo_cell.size() ? m.albedo_cell[size_t(i)] : 0.0;
    m.albedo_w_snow[size_t(i)] = snow ? 0.83 : bare;
  }
  compute_daily_shading(m, m.hmet_year, m.hmet_month, m.hmet_day, m.site_latitude,
                        m.hmet_day_of_year, m.solar_declination);
}

double noon_radiation(model_state& m, int year, int month, int day) {
  return extraterrestrial_radiation(m.cell_count, year, month, day, 12.0, m.site_latitude,
                                    m.Cell_Aspect_Eff_Rad_Percent, m.mean_cell_elevation);
}

void update_radiation_index(model_state& m) {
  if (!m.nwsrfs_snow_w_rad_on) return;
  size_cells(m.Cell_Aspect_Eff_Rad_Percent, m.cell_count + 1);
  if (m.hmet_records_read <= 2) {
    double sum = 0.0;
    for (int i = 1; i <= m.cell_count && size_t(i) < m.elevation.size(); ++i)
      sum += m.elevation[size_t(i)];
    m.mean_cell_elevation = m.cell_count > 0 ? sum / m.cell_count : 0.0;
    // A leap year, so that every day of any year has its value.
    static const int days[13] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int month = 1; month <= 12; ++month)
      for (int day = 1; day <= days[month]; ++day) {
        const double value = noon_radiation(m, 2008, month, day);
        if (value > m.max_daily_radiation_index) m.max_daily_radiation_index = value;
      }
    m.daily_radiation_index = noon_radiation(m, m.hmet_year, m.hmet_month, m.hmet_day);
  } else if (m.hmet_hour == 0) {
    m.daily_radiation_index = noon_radiation(m, m.hmet_year, m.hmet_month, m.hmet_day);
  }
}

}  // namespace

void set_hmet_gage_parameters(model_state& m) {
  m.hmet_station_x = m.hmet_xcoord_gage;
  m.hmet_station_y = m.hmet_ycoord_gage;
  if (m.orogvar_hmet_on) {
    m.hmet_station_elev = m.hmet_elev_gage_on ? m.hmet_elev_gage : 0.0;
    m.station_lapse_rate = m.hmet_lapse_rate_on ? m.hmet_lapse_rate : -5.0;
  }
  m.dalr_on = m.yes_dalr_flag_flag;
  m.dalr_value = m.yes_dalr_flag;
  if (!m.long_term_on) return;
  // The hour's weather per cell, and what the sun and snow keep beside it.
  const int n = m.cell_count;
  for (auto* v : {&m.direct_gridded, &m.diffuse_gridded, &m.cloud_cover_gridded, &m.temper_gridded,
                  &m.rh_gridded, &m.pres_gridded, &m.vel_gridded})
    size_cells(*v, n);
  size_cells(m.Cell_Aspect_Eff_Rad_Percent, n + 1);  // the noon radiation writes entry n + 1
  if (m.albedo_w_snow.size() < size_t(n) + 1) {
    m.albedo_w_snow = m.albedo_cell;
    m.albedo_w_snow.resize(size_t(n) + 1, 0.0);
  }
  const size_t stations = size_t(m.hmet_station_count > 1 ? m.hmet_station_count : 1);
  if (m.Gage_XYZ_Lev_P_rh_c_w_t_qh.size() < stations) m.Gage_XYZ_Lev_P_rh_c_w_t_qh.resize(stations, {});
}

bool read_orographic_header(model_state& m) {
  std::FILE* fp = m.orog_met_fp.stream;
  char w[5][256];
  double base = 0.0, gauge = 0.0;
  const bool read = fp && std::fscanf(fp, "%255s %255s", w[0], w[1]) == 2 &&
                    std::fscanf(fp, "%255s %lf %255s %lf", w[2], &base, w[3], &gauge) == 4 &&
                    std::fscanf(fp, "%255s %255s %255s %255s %255s", w[0], w[1], w[2], w[3], w[4]) == 5;
  if (!read) {
    stop_run("Error: the header of the orographic station file %s cannot be read: it needs two\n"
             "words, a label and the base elevation, a label and the gauge elevation, and five\n"
             "column labels.\n",
             m.hmet_orog_gages_path.c_str());
    return false;
  }
  // Equal elevations leave no height to spread the temperature difference over.
  if (base == gauge) {
    stop_run("Error: the orographic station file %s gives the same base and gauge elevation\n"
             "(%lf m); the lapse rate between them is undefined.\n",
             m.hmet_orog_gages_path.c_str(), base);
    return false;
  }
  m.orog_base_elev = base;
  m.orog_gage_elev = gauge;
  m.dalr_on = 1;
  return true;
}

void update_hydrometeorology(model_state& m) {
  if (!m.long_term_on || std::fabs(m.hmet_next_time - m.cur_julian) >= m.time_tolerance) return;
  const bool first = m.hmet_records_read == 2;
  const bool caught_up = first && m.start_date_given == 1;
  if (caught_up) catch_up_to_start(m);
  if (!data_left(m)) return;
  if (!caught_up) read_next_record(m);
  if (error_state.error_terminate) return;

  if (!m.hmet_ascii_on) copy_record_to_cells(m);
  fill_station_row(m);
  solar_geometry_of_hour(m);
  if (first && !m.hmet_ascii_on) start_snow_albedo_and_shading(m);
  if (!m.hmet_ascii_on)
    compute_cell_energy_balance(m.energy_balance_mode, m, m.hmet_year, m.hmet_month, m.hmet_day,
                                m.hmet_hour, m.hmet_temperature, m.hmet_pressure);
  update_radiation_index(m);

  m.melt_steps_since_hmet = 0;
  m.hmet_last_time = m.cur_julian;
  m.hmet_next_time = m.cur_julian + m.hmet_interval;
  ++m.hmet_records_read;
}

}  // namespace pluvo
