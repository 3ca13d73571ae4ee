// The exchange with the land-management framework (QIR) and the ecological model (OMBA) between
// events: property maps out and back, the control file, the end of a QIR event call, the jump
// of the clock to the next event, and the channel beds that follow the event's erosion.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "input/ascii_map.hpp"
#include "input/neighbour_services.hpp"
#include "output/map_series.hpp"
#include "output/output_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// Exchange files hold conductivity in cm/h; the model in m/s.
constexpr double ksat_factor = 360000.0;

struct map_exchange {
  int on;
  const std::string& path;
  const char* what;  // in the messages
};

// Reads one map from OMBA into values (per cell); false after a stop. prefix is "1 " at set-up
// and "2 " between events.
bool read_exchange_map(model_state& m, const std::string& path, const char* what, const char* prefix,
                       std::vector<double>& values) {
  checked_file f;
  if (!checked_file_open(f, path.c_str(), "r")) {
    stop_run("%sCan't open %s exchange file %s for reading\n", prefix, what, path.c_str());
    return false;
  }
  read_ascii_map(f, path.c_str(), 1, m.grid_north, m.grid_south, m.grid_east, m.grid_west, m.grid_rows,
                 m.grid_cols, m.cell_number_grid, &values, nullptr, nullptr, m.project_rows, m.project_cols,
                 m.silent_mode);
  checked_file_close(f);
  return error_state.error_terminate == 0;
}

bool write_exchange_map(model_state& m, const std::string& path, const char* what, const std::vector<double>& values) {
  checked_file f;
  if (values.size() <= size_t(m.cell_count) || !checked_file_open(f, path.c_str(), "w")) {
    stop_run("Can't open %s exchange file %s for writing\n", what, path.c_str());
    return false;
  }
  write_grass_header(f.stream, m.cell_number_grid, m.grid_north, m.grid_south, m.grid_east, m.grid_west, m.grid_rows,
                     m.grid_cols, values.data());
  checked_file_close(f);
  return true;
}

// Moisture, roughness and conductivity from OMBA, in that order; false after a stop.
bool read_from_omba(model_state& m, const char* prefix) {
  if (m.moist_from_omba_on &&
      !read_exchange_map(m, m.omba_soil_moisture_file, "soil moisture", prefix, m.initial_moisture_cell))
    return false;
  if (m.rough_from_omba_on && !read_exchange_map(m, m.omba_roughness_file, "roughness", prefix, m.dist_rough))
    return false;
  if (m.ksat_from_omba_on) {
    if (!read_exchange_map(m, m.omba_ksat_file, "Ksat", prefix, m.ks_cell)) return false;
    for (int i = 1; i <= m.cell_count; ++i) m.ks_cell[size_t(i)] /= ksat_factor;
  }
  return true;
}

// OMBA's moisture kept inside the pore space the soil can hold.
void bound_moisture(model_state& m) {
  for (int i = 1; i <= m.cell_count; ++i) {
    double& v = m.initial_moisture_cell[size_t(i)];
    const double porosity = m.porosity_cell[size_t(i)];
    if (m.long_term_on) {
      const double residual = m.residual_sat_cell[size_t(i)];
      if (v > porosity) v = residual + 0.99 * (porosity - residual);
      else if (v <= residual) v = residual + 0.01 * (porosity - residual);
    } else {
      if (v > porosity) v = 0.99 * porosity;
      else if (v < 0.1) v = 0.1;
    }
  }
}

bool write_to_omba(model_state& m) {
  if (m.moist_to_omba_on && !write_exchange_map(m, m.moist_to_omba_path, "soil moisture", m.cum_infil_depth))
    return false;
  if (m.rough_to_omba_on && !write_exchange_map(m, m.rough_to_omba_path, "roughness", m.dist_rough)) return false;
  if (m.ksat_to_omba_on) {
    m.map_work.assign(size_t(m.cell_count) + 1, 0.0);
    for (int i = 1; i <= m.cell_count && size_t(i) < m.ks_cell.size(); ++i)
      m.map_work[size_t(i)] = m.ks_cell[size_t(i)] * ksat_factor;
    if (!write_exchange_map(m, m.ksat_to_omba_path, "Ksat", m.map_work)) return false;
  }
  if (m.poros_to_omba_on && !write_exchange_map(m, m.poros_to_omba_path, "porosity", m.porosity_cell)) return false;
  return true;
}

// Whole days since 31 December of the year before, 01:00.
int day_of_year(double julian) {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  calendar_from_julian(julian, year, month, day, hour, minute, seconds);
  return int(std::floor(julian - julian_date(year - 1, 12, 31, 1, 0, 0.0)));
}

bool last_event(const model_state& m) { return m.event_number >= m.event_count; }

double next_event_start(const model_state& m) {
  const size_t k = size_t(m.event_number) + 1;
  return k < m.event_start_dates.size() ? m.event_start_dates[k] : 0.0;
}

bool write_control_file(model_state& m) {
  checked_file f;
  if (!checked_file_open(f, m.omba_control_file.c_str(), "w")) {
    stop_run("unable to open omba exchange file for writing\n");
    return false;
  }
  if (last_event(m))
    std::fputs("999 999\n", f.stream);
  else
    std::fprintf(f.stream, "%3d %3d\n", day_of_year(m.cur_julian), day_of_year(next_event_start(m)));
  checked_file_close(f);
  return true;
}

// Nothing runs between events: the clock goes to one step before the next event's start, and
// the windows of the processes restart there. A long-term run's evapotranspiration and soil
// moisture need the time between storms as much as the continuous soil and groundwater do.
void turn_over_to_next_event(model_state& m) {
  if (m.inf_richards_on || m.gw_simulation_on || m.inf_redist_on || m.lake_routing_active || m.long_term_on) return;
  if (m.ov_bmp_on && m.bmp_keep_stepping) return;
  if (last_event(m)) return;
  const double dt = m.time_step_days;
  const double t = next_event_start(m) - dt;
  // The clock only ever goes forward (a start not yet known leaves it where it is).
  if (!(t > m.cur_julian)) return;
  m.keep_running = 1;
  m.cur_julian = t;
  // The clock counts steps from its origin: the origin moves with the time.
  m.clock_origin_julian = t - double(m.step_count) * m.time_step_days;
  m.step_last_time = t;
  m.step_next_time = t + dt;
  m.infil_last_time = t;
  m.infil_next_time = t + dt;
  if (m.chan_explic_on) {
    m.chan_last_time = t;
    m.chan_next_time = t + dt;
  }
  if (m.chan_con_trans_on || m.nutrients_on || m.sediment_contam_on) {
    m.ov_chan_wq_last_time = t;
    m.ov_chan_wq_next_time = t + dt;
  }
  if (m.ov_con_trans_on) {
    m.ov_con_last_time = t;
    m.ov_con_next_time = std::min(t + dt, m.infil_next_time);
  }
  if (m.ov_bmp_on) {
    m.bmp_last_time = t;
    m.bmp_next_time = t + dt;
  }
}

}  // namespace

void read_omba_exchange_at_start(model_state& m) {
  if (m.qir_event_call) {
    const double t = m.cur_julian;
    const double dt = m.time_step_days;
    m.step_next_time = t;
    m.infil_last_time = t;
    m.chan_last_time = t;
    m.infil_next_time = t + dt;
    m.chan_next_time = t + dt;
    m.step_last_time = t - dt;
    if (m.ov_con_trans_on) {
      m.ov_con_next_time = t;
      m.ov_con_last_time = t - dt;
    }
  }
  if (m.qir_mode && m.omba_exchange_on && m.omba_first_on) read_from_omba(m, "1 ");
}

void exchange_omba_maps(model_state& m) {
  if (m.event_closed != 1) return;
  if (m.omba_exchange_on) {
    if (m.qir_mode && !write_to_omba(m)) return;
    if (!write_control_file(m)) return;
    if (!last_event(m) && !m.qir_event_call) {
      std::printf("reading OMBA exchange maps\n");
      std::fflush(stdout);
      if (!read_from_omba(m, "2 ")) return;
      if (m.moist_from_omba_on) bound_moisture(m);
    }
  }
  if (m.qir_event_call) {
    std::printf("End of QIR event %d\n", m.event_number);
    m.keep_running = 0;
  } else {
    turn_over_to_next_event(m);
  }
  if (m.chan_sed_transport_on) {
    neighbour_services.follow_channel_bed_change(m);
    if (error_state.error_code != 0) return;
  }
  m.event_closed = 0;
  m.event_ended = 1;
}

}  // namespace pluvo
