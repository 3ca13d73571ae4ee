// Starting each event of the precipitation file and stepping through its records.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "common/parallel_fill.hpp"
#include "common/parallel_team.hpp"
#include "hydromet/gauge_interpolation.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "hydromet/precip_file.hpp"
#include "hydromet/radar_precip.hpp"
#include "output/output_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int analyzer_event_start = 2;

void summary_line(model_state& m, const char* text) {
  if (m.summary_fp.is_open()) std::fputs(text, m.summary_fp.stream);
}

bool console(const model_state& m) { return m.silent_mode != 1; }

// True when the clock has reached the start of the next event of the file.
bool next_event_due(const model_state& m) {
  const size_t next = size_t(m.event_number) + 1;  // event starts are stored from index 1
  if (next >= m.event_start_dates.size()) return false;
  return std::fabs(m.cur_julian - m.event_start_dates[next]) < m.time_tolerance;
}

void announce_event_read(model_state& m) {
  char line[1200];
  if (m.qir_event_call) {
    if (!m.super_quiet_on && m.silent_mode != 1)
      std::printf("Searching through precip input file for QIR event %d\n", m.qir_event_number);
    m.event_number = m.qir_event_number;
    return;
  }
  if (m.long_term_on) {
    if (console(m))
      std::printf("reading precip. data for event %3d from file: %s\n", m.event_number + 1,
                  m.precip_path.c_str());
    std::snprintf(line, sizeof line, "---reading precip. data for event %3d from file: %s\n",
                  m.event_number + 1, m.precip_path.c_str());
    summary_line(m, line);
  } else {
    if (console(m)) std::printf("reading precip data from file: %s\n", m.precip_path.c_str());
    std::snprintf(line, sizeof line, "reading precip data from file: %s\n", m.precip_path.c_str());
    summary_line(m, line);
  }
  summary_line(m, "\n\n");
  if (m.summary_fp.is_open()) std::fflush(m.summary_fp.stream);
}

// Reads n events in a row; the result of the last read (a failed read ends the row).
int read_events(model_state& m, int n) {
  int result = 0;
  for (int i = 0; i < n; ++i) {
    result = read_precip_event(m);
    if (result != 1) break;
    // The last RATES line only marks the end of the rain: one more record than listed.
    if (m.precip_rates_card) ++m.precip_record_count;
  }
  return result;
}

void no_further_event(model_state& m) {
  m.precip_state = 2;
  m.event_start_year = 1000;
  if (m.event_number == 0) {
    std::fputs("\n**********************************\n", stdout);
    std::fputs("Data was not correctly read from the rainfall input file.\n", stdout);
    std::fputs("Verify the file format.\n", stdout);
    std::fputs("***********************************\n", stdout);
  }
  if (m.long_term_on && !m.quiet_on) {
    std::printf("Precip data for event %d was not found in file: %s\n", m.event_number + 1,
                m.precip_path.c_str());
    std::fputs("PLUVO assumes this means all events have been simulated.\n", stdout);
    std::fputs("Program terminating normally.\n", stdout);
  }
  m.precip_convert_pending = 0;
}

void event_was_read(model_state& m) {
  const date_record& first = m.precip_dates[1];
  m.event_start_year = first.year;
  m.event_start_month = first.month;
  m.event_start_day = first.day;
  m.event_start_hour = first.hour;
  m.event_start_julian = m.cur_julian;
  m.event_start = m.precip_next_time =
      julian_date(first.year, first.month, first.day, first.hour, first.minute, 0.0);
  ++m.event_number;
  m.precip_state = 1;
  if (m.precip_kind == 2 && !m.radar_filenames.empty())
    map_cells_to_radar_grid(m, m.radar_filenames[0].c_str());
  if (m.qir_event_call) m.event_number = m.qir_event_number;
  m.precip_convert_pending = 1;
}

// Whole days between two dates, by their day numbers.
long day_number(const date_record& d) {
  return std::lround(julian_date(d.year, d.month, d.day, 12, 0, 0.0));
}

// Seconds from one record date to another, from the calendar fields: a whole number, exact.
double period_seconds(const date_record& from, const date_record& to) {
  return double(day_number(to) - day_number(from)) * 86400.0 + (to.hour - from.hour) * 3600.0 +
         (to.minute - from.minute) * 60.0;
}

double period_hours(const date_record& from, const date_record& to) {
  return period_seconds(from, to) / 3600.0;
}

// Turns depths per period (GAGES), accumulated depths (ACCUM) or end-of-period rates (RADAR
// records of a gauge event) into the rate of each record until the next one. The last record
// then only marks the end of the rain, so every period's depth falls. False on bad data.
bool convert_to_rates(model_state& m) {
  const bool shift = m.precip_kind == 1;
  const int last = m.precip_record_count;
  double** table = m.precip_table.rows;
  for (int k = 1; k < last; ++k) {
    const double hours = shift ? 0.0 : period_hours(m.precip_dates[k], m.precip_dates[k + 1]);
    for (int g = 1; g <= m.gauge_count; ++g) {
      double& value = table[g][k];
      if (shift) {
        value = table[g][k + 1];
      } else {
        if (hours * 3600.0 > 86400.0)
          std::fputs("WARNING: you have a long delta t in your precip file\n", stdout);
        const double depth = m.precip_accum_card ? table[g][k + 1] - value : table[g][k + 1];
        if (hours <= 0.0 && std::fabs(depth) > 1e-16) {
          stop_run("Records %d and %d of event %d have the same time, but gage %d has %lf mm "
                   "between them\nCheck your rainfall inputs for event %d \n",
                   k, k + 1, m.event_number, g, depth, m.event_number);
          return false;
        }
        value = hours > 0.0 ? depth / hours : 0.0;
      }
      if (value < -1e-16) {
        stop_run("You have a negative precip value for gage %d, rain period %d\n"
                 "Check your rainfall inputs for event %d \n", g, k, m.event_number);
        return false;
      }
    }
  }
  for (int g = 1; g <= m.gauge_count; ++g) table[g][last] = 0.0;
  ++m.precip_record_count;
  return true;
}

void set_all(std::vector<double>& values, int n, double value) {
  for (int c = 1; c <= n && size_t(c) < values.size(); ++c) values[c] = value;
}

void stop_rain(model_state& m) {
  set_all(m.cell_rain_rate, m.cell_count, 0.0);
  if (m.interception_on == 1) set_all(m.ri_eff, m.cell_count, 0.0);
  m.rain_on = 0;
}

void end_event_rain(model_state& m) {
  m.precip_record_index = m.precip_record_count;
  stop_rain(m);
  if (m.precip_state == 1) m.precip_state = 0;
  else if (m.precip_state == 2) m.precip_state = 3;
}

// Column of the gauge table that no record uses: it holds the gauge rates of the current step.
constexpr int step_column = 0;

// Puts the rates of gauge-table column k onto the cells.
void distribute_column(model_state& m, int k) {
  if (m.rain_inv_distance_on == 1) distribute_precip_idw(m, k);
  if (m.rain_thiessen_on == 1)
    assign_from_index_table_parallel(k, m.gauge_count, m.nearest.data(), m.precip_table,
                                     m.cell_rain_rate.data(), m.cell_count);
}

void apply_radar_record(model_state& m, int k) {
  const char* name =
      size_t(k) < m.radar_filenames.size() ? m.radar_filenames[size_t(k)].c_str() : "";
  std::printf("Reading radar precip file %s.\n", name);
  read_radar_precip_file(m, name);
  apply_radar_precip(m);
}

// Seconds from the event's first record to a clock time, to the hundredth of a second as the
// rain of a step is measured, so that the shares of a step add up to the step.
double event_seconds(const model_state& m, double julian) {
  return std::round((julian - m.event_start) * 8640000.0) / 100.0;
}

double record_seconds(const model_state& m, int k) {
  return period_seconds(m.precip_dates[1], m.precip_dates[size_t(k)]);
}

void begin_next_record(model_state& m) {
  ++m.precip_record_index;
  m.precip_record_start = m.cur_julian;
  const date_record& d = m.precip_dates[size_t(m.precip_record_index)];
  m.precip_next_time = julian_date(d.year, d.month, d.day, d.hour, d.minute, 0.0);
}

// The records that begin inside the step ending now. Each record's rate holds from its time to
// the next record's, so a step that straddles a record time takes each rate for its share of
// the step, and every period's depth falls exactly whatever the step. The last record only
// marks the end of the rain: the step it falls in takes no rain after it, and the rain ends in
// the step that starts at or after it.
void step_through_records(model_state& m) {
  if (!m.precip_on || m.precip_record_index >= m.precip_record_count) return;
  const int last = m.precip_record_count - 1;
  const bool radar = m.precip_kind == 2;
  const double end = event_seconds(m, m.cur_julian);
  const double start = event_seconds(m, m.cur_julian - m.step_interval);
  const double length = end - start;
  int in_force = m.precip_record_index - 1;  // the record whose rate holds at the step's start
  const bool record_begins = m.precip_next_time < m.cur_julian - m.time_tolerance;
  // A record that began inside the previous step shared it with the one before: this step
  // takes its rate whole.
  const bool shared_last_step = in_force >= 1 && record_seconds(m, in_force) > start - length &&
                                record_seconds(m, in_force) < start;
  if (!record_begins && !shared_last_step) return;  // the rates stand
  double** table = m.precip_table.rows;
  for (int g = 1; g <= m.gauge_count && !radar; ++g) table[g][step_column] = 0.0;
  // Adds the rate of record k (0: none) over the step from..to.
  auto take_share = [&](int k, double from, double to) {
    if (k < 1 || radar || !(length > 0.0) || !(to > from)) return;
    const double share = (to - from) / length;
    for (int g = 1; g <= m.gauge_count; ++g) table[g][step_column] += share * table[g][k];
  };
  double covered = start;
  while (m.precip_record_index < m.precip_record_count &&
         m.precip_next_time < m.cur_julian - m.time_tolerance) {
    const int k = m.precip_record_index;
    const double at = std::max(record_seconds(m, k), start);
    take_share(in_force, covered, at);
    covered = at;
    if (k == last) {
      if (at <= start) {
        end_event_rain(m);
        return;
      }
      in_force = 0;
      break;
    }
    if (radar) apply_radar_record(m, k);
    in_force = k;
    begin_next_record(m);
  }
  take_share(in_force, covered, end);
  if (!radar) distribute_column(m, step_column);
}

}  // namespace

void read_event_precip(model_state& m) {
  if (m.precip_state != 0) return;
  if (!next_event_due(m) && !m.qir_event_call) return;
  if (m.event_number >= m.event_count) return;

  run_analyzers(m, analyzer_event_start);
  if (m.long_term_on && m.events_done < m.event_number && !m.start_date_given) {
    m.event_ended = 1;  // the previous event never closed: close it before the next begins
    end_event(m);
  }
  m.rain_on = 1;
  m.event_in_progress = 1;
  if (m.precip_on != 1) return;

  announce_event_read(m);
  int n = m.qir_event_call ? m.qir_event_number : 1;
  // A run starting at its START_DATE reads through the file up to the event that follows.
  if (m.start_date_given && m.event_reads_in_process == 0) n = m.event_number + 1;
  ++m.event_reads_in_process;
  if (!m.qir_event_call) m.qir_event_number = n;

  if (!m.raingage_fp.is_open()) {
    stop_run("The precipitation file %s is not open.\n", m.precip_path.c_str());
    return;
  }
  const int result = read_events(m, n);
  m.uniform_rain_step = 1;
  if (result == -1) {
    stop_run("Unexpected end of file in rain gauge data file.\n"
             "Check the format of the data file.\nProgram terminated.");
    return;
  }
  if (result == 0) {
    if (error_state.error_terminate) return;  // the reader has reported a format error
    no_further_event(m);
  } else {
    event_was_read(m);
    if (m.long_term_on &&
        !check_precip_hmet_dates(m.hmet_year, m.hmet_month, m.hmet_day, m.hmet_hour,
                                 m.hmet_last_year, m.hmet_last_month, m.hmet_last_day,
                                 m.hmet_last_hour, m.event_start_year, m.event_start_month,
                                 m.event_start_day, m.event_start_hour)) {
      stop_run("Error: PLUVO failed on date check for precip event %d\n", m.event_number);
      return;
    }
  }
  if (!m.precip_convert_pending) return;

  if ((m.precip_kind == 1 || m.precip_gages_card || m.precip_accum_card) &&
      !convert_to_rates(m))
    return;
  // Each radar grid holds the rain of the period that ends at its record, and record k takes
  // the grid of record k + 1: one more record than listed lets the last period rain too.
  if (m.precip_kind == 2) ++m.precip_record_count;
  if (m.gauge_count >= 2 && m.rain_thiessen_on == 1) {
    if (m.nearest.size() < size_t(m.cell_count) + 1) m.nearest.assign(size_t(m.cell_count) + 1, 0);
    if (!find_nearest_gauges(m)) return;
  }
  m.precip_convert_pending = 0;
}

void update_precipitation(model_state& m) {
  if (m.cell_rain_rate.size() < size_t(m.cell_count) + 1)
    m.cell_rain_rate.assign(size_t(m.cell_count) + 1, 0.0);
  step_through_records(m);

  if (m.uniform_rain_on && m.precip_state == 1) {
    if (m.step_count == 0) {
      m.event_in_progress = 1;
      m.rain_on = 1;
      set_all(m.cell_rain_rate, m.cell_count, m.uniform_rain_intensity);
    }
    if (m.uniform_rain_step == m.precip_record_count + 1) {
      stop_rain(m);
      m.event_in_progress = 0;
      m.precip_state = 3;
    }
  }

  const int n = m.cell_count;
  const double* rate = m.cell_rain_rate.data();
  // The sum in a fixed order, so the average is the same on any number of threads, and only
  // where the average is written; the negative cells are only counted here and the first one
  // is looked for afterwards.
  double sum = 0.0, negatives = 0.0;
  if (m.rainfall_mmph_on) {
    const auto sums = parallel_cell_sums<2>(
        n, [rate](int c) { return std::array<double, 2>{rate[c], rate[c] < -1e-16 ? 1.0 : 0.0}; });
    sum = sums[0];
    negatives = sums[1];
  } else {
    negatives = parallel_block_sums<1>(n, [rate](int first, int last) {
      bool any = false;
      for (int c = first; c <= last; c++) any |= rate[c] < -1e-16;
      return std::array<double, 1>{any ? 1.0 : 0.0};
    })[0];
  }
  if (negatives > 0.0) {
    int first_negative = 1;
    while (first_negative < n && !(rate[first_negative] < -1e-16)) ++first_negative;
    stop_run("A negative rainfall has been detected for overland cell %d, check your "
             "rainfall input for negative values\n", first_negative);
    return;
  }
  if (m.rainfall_mmph_on && m.cell_count > 0) m.avg_rain_rate = sum / m.cell_count;
}

}  // namespace pluvo
