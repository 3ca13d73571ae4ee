// The simulation clock: the pre-run event scan, the start time and process timers, and
// the step of the clock at the head of every pass.
#include "run/clock.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "common/parallel_team.hpp"
#include "common/process.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "hydromet/precip_file.hpp"
#include "quality/water_quality_clocks.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"

namespace pluvo {

int32_t days_in_month(int32_t year, int32_t month) {
  static const int32_t length[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && year % 4 == 0) return 29;
  return length[month];
}

int32_t day_of_year_of(int32_t year, int32_t month, int32_t day) {
  int32_t sum = day;
  for (int32_t k = 1; k < month; ++k) sum += days_in_month(year, k);
  return sum;
}

void roll_hour_24(int32_t& year, int32_t& month, int32_t& day, int32_t& hour) {
  if (hour != 24) return;
  hour = 0;
  ++day;
  if (day > days_in_month(year, month)) {
    day = 1;
    ++month;
    if (month > 12) {
      month = 1;
      ++year;
    }
  }
}

void set_interval(timer t, double seconds) {
  t.interval_s = seconds;
  t.interval = seconds / 86400.0;
}

void copy_timer(timer to, timer from) {
  to.interval_s = from.interval_s;
  to.interval = from.interval;
  to.last = from.last;
  to.next = from.next;
}

double event_start_date(const model_state& m, int32_t k) {
  if (k < 1 || k > m.event_count || size_t(k) >= m.event_start_dates.size()) return no_event_due;
  return m.event_start_dates[size_t(k)];
}

namespace {

bool console_on(const model_state& m) { return !m.super_quiet_on && m.silent_mode != 1; }

bool qir_summary_call(const model_state& m) {
  return m.qir_mode && m.qir_event_call && m.qir_event_number == 0;
}

// First and last hydrometeorological records of a long-term run.
void scan_hmet_records(model_state& m) {
  m.hmet_repaired_count = 0;
  m.hmet_records_read = 1;
  if (m.hmet_orog_gages_on && !read_orographic_header(m)) return;
  read_hmet_data(m, 1);
  if (error_state.error_terminate) return;  // the reader has reported a bad record
  // Without a single record there is no weather to run on and no date to start from.
  if (m.hmet_fp.is_open() && m.hmet_record_count < 1) {
    stop_run("Error: The hydrometeorological file %s holds no weather record; a long-term run needs one for "
             "every hour it simulates.\n",
             m.hmet_path.c_str());
    return;
  }
  roll_hour_24(m.hmet_year, m.hmet_month, m.hmet_day, m.hmet_hour);
  roll_hour_24(m.hmet_last_year, m.hmet_last_month, m.hmet_last_day, m.hmet_last_hour);
  m.start_hhmm = m.hmet_hour * 100;
  m.start_yyyymmdd = (m.hmet_year * 100 + m.hmet_month) * 100 + m.hmet_day;
  m.hmet_within_one_year = m.hmet_year == m.hmet_last_year ? 1 : 0;
}

// Sized by the hydrograph points, so any number of points has its own peak and volume.
bool open_optimize_output(model_state& m) {
  if (m.optimize_output_file_name.empty()) m.optimize_output_file_name = "pluvo_optim.out";
  if (!checked_file_open(m.optimize_output_fp, m.optimize_output_file_name.c_str(), 'w')) {
    stop_run("Problem opening optimization output file named:%s for writing\n", m.optimize_output_file_name.c_str());
    return false;
  }
  const int32_t points =
      m.hydrograph_link_count > m.sed_hydrograph_point_count ? m.hydrograph_link_count
                                                             : m.sed_hydrograph_point_count;
  m.point_peak_discharge.assign(size_t(points) + 1, 0.0);
  m.point_event_volume.assign(size_t(points) + 1, 0.0);
  if (console_on(m))
    std::fprintf(stderr, "writing output for optimization to file %s\n",
                 m.optimize_output_file_name.c_str());
  if (m.summary_fp.is_open())
    std::fprintf(m.summary_fp.stream, "writing output for optimization to file %s\n",
                 m.optimize_output_file_name.c_str());
  return true;
}

void announce_precip_file(model_state& m) {
  if (!m.super_quiet_on && process_index == 0 && !m.silent_mode) {
    std::printf("using precipitation data from file: %s\n", m.precip_path.c_str());
    if (qir_summary_call(m))
      std::printf("\n\nReading precip file to write QIR summary in file: QIR_PRECIP.SUM\n");
  }
  if (m.summary_fp.is_open())
    std::fprintf(m.summary_fp.stream, "using precipitation data from file: %s\n",
                 m.precip_path.c_str());
}

// Reads every event once to note its start; false when the run must stop.
bool count_precip_events(model_state& m) {
  m.event_start_dates.assign(1, 0.0);  // index 0 unused
  int32_t count = 0;
  int result = 0;
  if (m.raingage_fp.is_open()) {
    while ((result = read_precip_event(m.raingage_fp.stream, m, m.precip_path.c_str())) == 1) {
      // The radar file table exists before the first radar event is read for its rain.
      if (m.precip_kind == 2 && m.radar_filenames.empty())
        m.radar_filenames.assign(radar_filename_slots, std::string());
      const date_record& d = m.precip_dates[1];
      m.event_start_year = d.year;
      m.event_start_month = d.month;
      m.event_start_day = d.day;
      m.event_start_hour = d.hour;
      ++count;
      m.event_start_dates.push_back(julian_date(d.year, d.month, d.day, d.hour, d.minute, 0.0));
    }
  }
  if (error_state.error_terminate) return false;  // the reader has reported a bad file
  if (result == -1) {
    stop_run("Unexpected end of file in rain gage data file.\n"
             "Check the format of the data file.\nProgram terminated."
             "Check rain event %d, event after %d %d %d \n",
             count + 1, m.event_start_year, m.event_start_month, m.event_start_day);
    return false;
  }
  if (!m.super_quiet_on && m.silent_mode != 1) {
    std::printf("End of precipitation input file reached.\n");
    if (m.qir_mode) {
      std::printf("Precip. file contains %d events.\n", count);
    } else if (m.long_term_on) {
      std::printf("Precip. file contains %d events\n", count);
    } else {
      std::printf("Precip. file contains %d events, simulating first event only\n", count);
      std::printf("because LONG_TERM project file card not set in project file.\n");
    }
  }
  // A precipitation file without a single event gives no start date to run from.
  if (count == 0 && m.raingage_fp.is_open()) {
    stop_run("Precipitation file %s holds no rain event.  Program terminated.\n",
             m.precip_path.c_str());
    return false;
  }
  // A single-event run simulates the first event only.
  m.event_count = (!m.long_term_on && !m.qir_mode && count > 1) ? 1 : count;
  if (m.raingage_fp.is_open()) std::rewind(m.raingage_fp.stream);
  return true;
}

// A long-term run steps through the weather hour by hour: weather that ends before the first
// storm begins would end the run before anything was simulated.
bool weather_reaches_the_storms(model_state& m) {
  if (!m.long_term_on || !m.hmet_fp.is_open() || m.hmet_record_count < 1 || m.event_count < 1 ||
      m.event_start_dates.size() < 2)
    return true;
  const double last = julian_date(m.hmet_last_year, m.hmet_last_month, m.hmet_last_day, m.hmet_last_hour, 0, 0.0);
  const double first_storm = m.event_start_dates[1];
  if (last >= first_storm) return true;
  int32_t y, mo, d, h, mi;
  double sec;
  calendar_from_julian(first_storm, y, mo, d, h, mi, sec);
  stop_run("Error: The hydrometeorological file %s ends at %d/%d/%d hour %d, before the first storm of %s begins "
           "(%d/%d/%d %d:%2.2d); the weather must reach every storm.\n",
           m.hmet_path.c_str(), m.hmet_last_year, m.hmet_last_month, m.hmet_last_day, m.hmet_last_hour,
           m.precip_path.c_str(), y, mo, d, h, mi);
  return false;
}

// The QIR summary call lists the events and ends the run.
void write_qir_summary(model_state& m, checked_file& sum) {
  std::fprintf(sum.stream, "%d\n", m.event_count);
  for (int32_t k = 1; k <= m.event_count; ++k) {
    int32_t y, mo, d, h, mi;
    double s;
    calendar_from_julian(m.event_start_dates[size_t(k)], y, mo, d, h, mi, s);
    std::fprintf(sum.stream, "%4d %2d %2d %2d %2d\n", y, mo, d, h, mi);
  }
  checked_file_close(sum);
  stop_run("PLUVO wrote precipitation data event summary to file: exchange/QIR_PRECIP.SUM\n"
           "No simulations performed.  PLUVO terminated.\n\n");
}

}  // namespace

void scan_precip_events(model_state& m) {
  if (m.long_term_on) {
    scan_hmet_records(m);
  } else {
    m.hmet_eof = 1;
    m.hmet_record_count = 1;
  }
  m.hmet_records_read += 1;
  m.event_number = 0;
  m.events_done = 0;
  m.last_event_ended = 0;

  if (m.optimize_on && !open_optimize_output(m)) return;
  if (m.quiet_on) announce_precip_file(m);

  if (!m.uniform_rain_on) {
    checked_file sum;
    if (qir_summary_call(m) && !checked_file_open(sum, "exchange/QIR_PRECIP.SUM", 'w')) {
      stop_run("Unable to open file QIR_PRECIP.SUM for writing. Program terminated\n");
      return;
    }
    if (!count_precip_events(m)) {
      checked_file_close(sum);
      return;
    }
    if (!weather_reaches_the_storms(m)) return;
    if (qir_summary_call(m)) {
      write_qir_summary(m, sum);
      return;
    }
    if (m.qir_mode && m.qir_event_call && m.qir_event_number > m.event_count) {
      stop_run("\n\nQIR has requested that PLUVO run event %d.\n"
               "The precip file specified in the project file: %s\n"
               "contains only %d events.  PROGRAM TERMINATED.\n\n",
               m.qir_event_number, m.precip_path.c_str(), m.event_count);
      return;
    }
  }
  // Uniform rain is one storm without a file: a single-event run holds that one event, so its
  // peak and volume have a place in the calibration results.
  if (m.uniform_rain_on && !m.long_term_on) m.event_count = 1;
  if (m.qir_mode) m.long_term_on = 0;  // every QIR call is one event
}

void compute_initial_overland_volume(model_state& m) {
  const int32_t n = m.cell_count;
  const double area = m.cell_size * m.cell_size;
  const bool skip_oland = m.overland_lakes_on && !m.oland_lake_mask.empty();
  const bool skip_lake = !m.overland_lakes_on && m.lakes_on && !m.lake_mask.empty();
  const double* depth = m.ov_depth.data();
  const int32_t* oland = skip_oland ? m.oland_lake_mask.data() : nullptr;
  const int32_t* lake = skip_lake ? m.lake_mask.data() : nullptr;
  double sum = 0.0;
  if (!m.ov_depth.empty()) {
    sum = parallel_cell_sums<1>(n, [=](int j) {
      const bool open_ground = !(oland && oland[j] != 0) && !(lake && lake[j] != 0);
      return std::array<double, 1>{open_ground ? area * depth[j] : 0.0};
    })[0];
  }
  m.ov_volume_initial = sum;
}

namespace {

bool any_infiltration(const model_state& m) {
  return m.green_ampt_on || m.inf_redist_on || m.inf_layered_soil_on || m.inf_richards_on;
}

void choose_start_date(model_state& m) {
  if (m.long_term_on) {
    m.start_julian = julian_date(m.hmet_year, m.hmet_month, m.hmet_day, m.hmet_hour, 0, 0.0);
    m.start_yyyymmdd = (m.hmet_year * 100 + m.hmet_month) * 100 + m.hmet_day;
    m.start_hhmm = m.hmet_hour * 100;
    m.hmet_end_julian =
        julian_date(m.hmet_last_year, m.hmet_last_month, m.hmet_last_day, m.hmet_last_hour, 0, 0.0);
    if (m.start_year != 0) {
      m.start_date_given = 1;
      m.cur_year = m.start_year;
      m.cur_month = m.start_month;
      m.cur_day = m.start_day;
      m.cur_hour = m.start_hour;
      m.cur_minute = m.start_minute;
      m.cur_second = 0;
      m.start_hhmm = m.start_hour * 100 + m.start_minute;
      m.start_yyyymmdd = (m.start_year * 100 + m.start_month) * 100 + m.start_day;
      m.cur_julian = julian_date(m.start_year, m.start_month, m.start_day, m.start_hour,
                                 m.start_minute, 0.0);
      // Stops at event_count + 1 when every event lies before the start: none is due.
      int32_t k = 1;
      while (k <= m.event_count && event_start_date(m, k) < m.cur_julian) ++k;
      m.start_event_index = k;
    }
  } else if (!m.uniform_rain_on && event_start_date(m, 1) != no_event_due) {
    m.start_julian = event_start_date(m, 1);
  }
}

void set_start_time(model_state& m) {
  if (m.start_date_given == 0) m.cur_julian = m.start_julian;
  const double qir_start = event_start_date(m, m.qir_event_call ? m.qir_event_number : 1);
  if (m.qir_mode && qir_start != no_event_due) m.cur_julian = qir_start;
}

void set_infiltration_timer(model_state& m, bool wet, double event_start) {
  const timer infil = PLUVO_TIMER(m, infil);
  double seconds = m.step_interval_s;
  if (m.inf_richards_on && !wet) {
    seconds = 3600.0;
    if (m.gw_simulation_on && m.gw_interval_s < seconds) seconds = m.gw_interval_s;
  }
  set_interval(infil, seconds);
  if (wet || m.inf_richards_on) {
    m.infil_last_time = m.cur_julian;
    if (m.inf_redist_on) m.inf_redist_initialized = 1;
  } else {
    m.infil_last_time = event_start;
  }
  m.infil_next_time = m.infil_last_time + m.infil_interval;
  if (m.qir_event_call) {
    m.infil_last_time = m.cur_julian;
    m.infil_next_time = m.cur_julian + m.time_step_days;
  }
  if (m.gw_simulation_on && m.gw_interval_s > m.infil_interval_s &&
      !m.soil_moisture_accounting_on) {
    set_interval(PLUVO_TIMER(m, gw), m.infil_interval_s);
    m.gw_last_time = m.cur_julian;
    m.gw_next_time = m.cur_julian + m.gw_interval;
  }
}

void set_soil_timers(model_state& m, bool wet) {
  if (m.permafrost_gipl_flag || m.multi_layer_infil_gipl_flag) {
    if (m.gipl_timestep_flag) {
      set_interval(PLUVO_TIMER(m, soil_temp), m.gipl_timestep);
      m.soil_temp_last_time = m.cur_julian;
      m.soil_temp_next_time = m.soil_temp_last_time + m.soil_temp_interval;
    } else {
      copy_timer(PLUVO_TIMER(m, soil_temp), PLUVO_TIMER(m, infil));
      if (m.start_date_given) {
        m.soil_temp_next_time = m.cur_julian;
        m.soil_temp_last_time = m.cur_julian - m.time_step_days;
      }
    }
  }
  if (m.soil_moisture_accounting_on) {
    if (wet) {
      copy_timer(PLUVO_TIMER(m, soil_moisture), PLUVO_TIMER(m, infil));
    } else {
      set_interval(PLUVO_TIMER(m, soil_moisture), 3600.0);
      m.soil_moisture_last_time = m.et_next_time;
      m.soil_moisture_next_time = m.et_next_time + 1.0 / 24.0;
    }
    if (m.start_date_given) {
      m.soil_moisture_next_time = m.cur_julian;
      m.soil_moisture_last_time = m.cur_julian - m.time_step_days;
    }
  }
}

void set_process_timers(model_state& m, bool wet, double event_start) {
  const double hour = 1.0 / 24.0;
  set_interval(PLUVO_TIMER(m, step), m.timestep);
  if (wet) {
    m.step_last_time = m.cur_julian - m.step_interval;
    m.step_next_time = m.cur_julian;
  } else if (m.start_date_given) {
    m.step_last_time = event_start;
    m.step_next_time = event_start + m.step_interval;
  } else {
    m.step_last_time = event_start - m.step_interval;
    m.step_next_time = event_start;
  }
  if (m.qir_event_call) {
    m.step_last_time = m.cur_julian - m.step_interval;
    m.step_next_time = m.cur_julian;
  }
  if (m.long_term_on) {
    set_interval(PLUVO_TIMER(m, hmet), 3600.0);
    m.hmet_last_time = m.cur_julian - hour;
    m.hmet_next_time = m.cur_julian;
    m.hmet_read_status = 0;
    set_interval(PLUVO_TIMER(m, et), 3600.0);
    m.et_last_time = m.cur_julian - hour;
    m.et_next_time = m.cur_julian;
    set_interval(PLUVO_TIMER(m, snow), 3600.0);
    m.snow_last_time = m.cur_julian;
    m.snow_next_time = m.cur_julian + hour - m.time_step_days;
    set_interval(PLUVO_TIMER(m, melt_step), m.step_interval_s);
    m.melt_step_last_time = m.cur_julian - hour;
    m.melt_step_next_time = m.cur_julian;
  }
  if (m.gw_simulation_on == 1) {
    set_interval(PLUVO_TIMER(m, gw), m.gw_timestep);
    m.gw_last_time = m.cur_julian;
    m.gw_next_time = m.cur_julian + m.gw_interval;
  }
  if (m.sacramento_on) {
    set_interval(PLUVO_TIMER(m, sac), 3600.0);
    m.sac_next_time = m.cur_julian;
  }
  if (m.conceptual_gw_on) {
    set_interval(PLUVO_TIMER(m, cgw), 3600.0);
    m.cgw_last_time = m.cur_julian - hour;
    m.cgw_next_time = m.cur_julian;
  }
  if (any_infiltration(m)) set_infiltration_timer(m, wet, event_start);
  set_soil_timers(m, wet);
}

void set_precipitation_start(model_state& m) {
  if (m.uniform_rain_on) {
    m.uniform_rain_step = 1;
    m.precip_record_count =
        m.step_interval_s > 0.0 ? int32_t(m.uniform_rain_duration * 60.0 / m.step_interval_s) : 0;
    m.event_number = 1;
    m.precip_state = 1;
    m.event_in_progress = 1;
    m.precip_next_time = m.cur_julian;
  } else {
    if (m.qir_event_call) {
      m.precip_next_time = event_start_date(m, m.qir_event_number);
    } else if (m.start_date_given) {
      m.precip_next_time = event_start_date(m, m.start_event_index);
      m.event_number = m.start_event_index - 1;
    } else {
      m.precip_next_time = event_start_date(m, 1);
    }
    m.precip_state = 0;
  }
  m.event_ended = 0;
}

// Timers that start at the clock in a single-event run and at the first event otherwise.
void start_at_clock_or_event(double& last, double& next, double interval, bool at_clock,
                             double now, double event_start) {
  last = at_clock ? now : event_start;
  next = last + interval;
}

// Some channel lake starts above its lowest water surface: it has water to route from the
// first step and between events.
bool lake_starts_wet(const model_state& m) {
  if (!m.lakes_on) return false;
  for (int32_t l = 1; l <= m.nlakes && size_t(l) < m.initwse.size() && size_t(l) < m.minwse.size(); ++l)
    if (m.initwse[size_t(l)] > m.minwse[size_t(l)]) return true;
  return false;
}

// The channel steps with the model; with a wet lake at least once a minute. The clock meets
// only whole model steps, so a minute that is not one takes the next whole number of them.
double channel_interval_s(const model_state& m) {
  if (!lake_starts_wet(m) || m.time_step >= 60.0) return m.time_step;
  return std::ceil(60.0 / m.time_step - 1e-9) * m.time_step;
}

void set_network_timers(model_state& m, bool single_event, double event_start) {
  if (m.chan_explic_on == 1) {
    set_interval(PLUVO_TIMER(m, chan), channel_interval_s(m));
    if (lake_starts_wet(m)) m.routing_between_events = m.chan_lake_step_switch = 1;
    if (m.qir_event_call) m.routing_between_events = 1;
    start_at_clock_or_event(m.chan_last_time, m.chan_next_time, m.chan_interval,
                            single_event || m.routing_between_events, m.cur_julian, event_start);
  }
  if (m.storm_drain_on) {
    set_interval(PLUVO_TIMER(m, drain), m.step_interval_s);
    const bool at_clock = single_event || m.exfil_cells_present ||
                          !(m.drain_link_count == 0 || !m.gw_simulation_on);
    start_at_clock_or_event(m.drain_last_time, m.drain_next_time, m.drain_interval, at_clock,
                            m.cur_julian, event_start);
    if (at_clock) m.drain_network_active = 1;
  }
  if (m.storm_sewer_on) {
    set_interval(PLUVO_TIMER(m, superlink), m.step_interval_s);
    const bool at_clock = single_event || m.exfil_cells_present ||
                          !(!m.leaky_pipes_on || !m.gw_simulation_on);
    start_at_clock_or_event(m.superlink_last_time, m.superlink_next_time, m.superlink_interval,
                            at_clock, m.cur_julian, event_start);
    if (at_clock) m.superlink_running = 1;
    m.superlink_call_count = 0;
  }
  if (m.ov_con_trans_on) {
    copy_timer(PLUVO_TIMER(m, ov_con), PLUVO_TIMER(m, step));
    if (m.ov_point_source_on) {
      m.ov_con_last_time = m.cur_julian;
      m.ov_con_next_time = m.cur_julian + m.step_interval;
      m.step_last_time = m.cur_julian;
      m.infil_last_time = m.cur_julian;
    }
  }
  if (m.ov_bmp_on) copy_timer(PLUVO_TIMER(m, bmp), PLUVO_TIMER(m, step));
}

}  // namespace

void init_simulation_clock(model_state& m) {
  choose_start_date(m);
  m.time_step_days = m.time_step / 86400.0;
  m.exfiltrated_volume = 0.0;
  m.exfiltrated_volume_start = 0.0;
  m.exfiltrated_volume_total = 0.0;
  m.outlet_discharge = 0.0;
  m.event_closed = 0;
  m.event_in_progress = 0;
  m.time_tolerance = julian_hundredth_second;
  set_start_time(m);

  const bool single_event = !m.long_term_on;
  const bool wet = single_event || m.exfil_cells_present || m.ov_water_present;
  const double event_start =
      event_start_date(m, m.start_date_given ? m.start_event_index : 1);
  set_process_timers(m, wet, event_start);
  set_precipitation_start(m);

  if (m.uniform_rain_on && m.cur_year == 0) {
    stop_run("You did not specify the starting date and time in the\n"
             "project file.  You must do this for simulations with\n"
             "uniform precipitation using the START_DATE and START_TIME\n"
             "cards.  Edit the project file.   Program terminated.\n");
    return;
  }
  set_network_timers(m, single_event, event_start);

  m.event_step_count = 0;
  m.infil_step_count = 0;
  m.step_count = 0;
  m.loop_pass = 0;
  m.event_read_flag = 0;
  m.keep_running = 1;
  m.clock_origin_julian = m.cur_julian;
  start_water_quality_clocks(m);
}

void advance_clock(model_state& m) {
  if (m.loop_pass != 0) {
    m.step_count += 1;
    m.event_step_count += 1;
    m.elapsed_min = double(m.step_count) * m.time_step / 60.0;
    // From the step count, never a running sum: no rounding drift builds up.
    m.cur_julian = double(m.step_count) * m.time_step_days + m.clock_origin_julian;
  }
  m.loop_pass += 1;
  calendar_from_julian(m.cur_julian, m.cur_year, m.cur_month, m.cur_day, m.cur_hour, m.cur_minute,
                       m.cur_seconds);
  m.cur_second = int32_t(m.cur_seconds);
  m.day_of_year = day_of_year_of(m.cur_year, m.cur_month, m.cur_day);
}

}  // namespace pluvo
