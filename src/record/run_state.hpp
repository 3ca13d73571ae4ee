#pragma once
// Run control: driver switches, clock and event flags.
#include <cstdint>
#include <vector>

namespace pluvo {

// Event peaks and volumes of a run for a calibration caller, which owns them.
struct calibration_results {
  int32_t num_events = 0;
  int32_t num_columns = 0;            // hydrograph points + 1; column 1 is the outlet
  std::vector<double> event_peaks;    // num_events x num_columns + 2
  std::vector<double> event_volumes;  // same shape
  std::vector<double> point_peaks;    // 0..num_columns
  std::vector<double> point_volumes;  // 0..num_columns
};

struct run_state {
  int silent_mode = 0;     // started by a toolbox mode: no driver console lines
  int super_quiet_on = 0;  // SUPER_QUIET card
  int optimize_on = 0;     // OPTIMIZE card, or a caller passed a results record
  int optimize_sed_on = 0;
  calibration_results* external_results = nullptr;  // the caller's, or own_results
  calibration_results own_results;  // an OPTIMIZE run's, when no caller passed a record
  int keep_running = 0;    // the time loop goes on while set
  double cur_julian = 0.0; // current model time, Julian days
  int event_count = 0;     // events of the precipitation file

  // Model clock. The time of step n is clock_origin_julian + n * time_step_days, so no
  // rounding drift builds up over long runs.
  double start_julian = 0.0;
  double clock_origin_julian = 0.0;
  double time_step = 0.0;       // working step, s
  double time_step_days = 0.0;
  double time_tolerance = 1.1574074074074074e-07;  // 0.01 s in days
  int32_t step_count = 0;
  int32_t loop_pass = 0;
  double elapsed_min = 0.0;
  int32_t cur_year = 0;
  int32_t cur_month = 0;
  int32_t cur_day = 0;
  int32_t cur_hour = 0;
  int32_t cur_minute = 0;
  int32_t cur_second = 0;
  double cur_seconds = 0.0;
  int32_t day_of_year = 0;
  int32_t start_hhmm = 0;
  int32_t start_yyyymmdd = 0;
  int32_t start_date_given = 0;   // long-term run starting at its START_DATE
  int32_t start_event_index = 0;  // first event at or after START_DATE
  // Start date of event k at index k (1-based); sized by the events found.
  std::vector<double> event_start_dates = std::vector<double>(2, 0.0);
  double hmet_end_julian = 0.0;
  double run_end_julian = 0.0;    // end of a single-event run
  int32_t end_date_on = 0;        // END card
  double end_date_julian = 0.0;

  // Process timers: interval in seconds and days, last and next time (Julian).
  double step_interval_s = 0.0;
  double step_interval = 0.0;
  double step_last_time = 0.0;
  double step_next_time = 0.0;
  double hmet_interval_s = 0.0;
  double hmet_interval = 0.0;
  double hmet_last_time = 0.0;
  double hmet_next_time = 0.0;
  double et_interval_s = 0.0;
  double et_interval = 0.0;
  double et_last_time = 0.0;
  double et_next_time = 0.0;
  double snow_interval_s = 0.0;
  double snow_interval = 0.0;
  double snow_last_time = 0.0;
  double snow_next_time = 0.0;
  double melt_step_interval_s = 0.0;
  double melt_step_interval = 0.0;
  double melt_step_last_time = 0.0;
  double melt_step_next_time = 0.0;
  double gw_interval_s = 0.0;
  double gw_interval = 0.0;
  double gw_last_time = 0.0;
  double gw_next_time = 0.0;
  double sac_interval_s = 0.0;
  double sac_interval = 0.0;
  double sac_last_time = 0.0;
  double sac_next_time = 0.0;
  double cgw_interval_s = 0.0;
  double cgw_interval = 0.0;
  double cgw_last_time = 0.0;
  double cgw_next_time = 0.0;
  double infil_interval_s = 0.0;
  double infil_interval = 0.0;
  double infil_last_time = 0.0;
  double infil_next_time = 0.0;
  double soil_temp_interval_s = 0.0;
  double soil_temp_interval = 0.0;
  double soil_temp_last_time = 0.0;
  double soil_temp_next_time = 0.0;
  double soil_moisture_interval_s = 0.0;
  double soil_moisture_interval = 0.0;
  double soil_moisture_last_time = 0.0;
  double soil_moisture_next_time = 0.0;
  double chan_interval_s = 0.0;
  double chan_interval = 0.0;
  double chan_last_time = 0.0;
  double chan_next_time = 0.0;
  int32_t chan_phase_count = 0;  // channel updates so far
  double drain_interval_s = 0.0;
  double drain_interval = 0.0;
  double drain_last_time = 0.0;
  double drain_next_time = 0.0;
  double superlink_interval_s = 0.0;
  double superlink_interval = 0.0;
  double superlink_last_time = 0.0;
  double superlink_next_time = 0.0;
  double ov_con_interval_s = 0.0;
  double ov_con_interval = 0.0;
  double ov_con_last_time = 0.0;
  double ov_con_next_time = 0.0;
  double bmp_interval_s = 0.0;
  double bmp_interval = 0.0;
  double bmp_last_time = 0.0;
  double bmp_next_time = 0.0;

  // Event control.
  int32_t event_in_progress = 0;
  int32_t event_closed = 0;
  int32_t event_ended = 0;
  int32_t event_number = 0;
  int32_t events_done = 0;
  int32_t last_event_ended = 0;
  int32_t event_step_count = 0;
  int32_t awaiting_first_rain = 0;
  int32_t event_read_flag = 0;
  double event_start = 0.0;       // Julian date of the event's first precipitation record
  double outlet_discharge = 0.0;  // m3/s, this step
  double event_peak_tracked = 0.0;
  int32_t peak_year = 0;
  int32_t peak_month = 0;
  int32_t peak_day = 0;
  int32_t peak_hour = 0;
  int32_t peak_minute = 0;
  int32_t peak_second = 0;
  double event_peak_julian = 0.0;
  double event_peak_q = 0.0;
  double event_discharge_volume = 0.0;
  double event_cutoff_q = 0.0;      // EVENT_MIN_Q
  double event_min_q_offset = 0.0;
  double surface_volume_final = 0.0;
  double event_ov_volume_initial = 0.0;
  double ov_volume_initial = 0.0;
  double rain_to_overland_volume = 0.0;
  double rain_rate_sum = 0.0;
  double infiltrated_volume = 0.0;
  double rain_start_min = 0.0;
  int32_t rain_step_count = 0;
  double exfiltrated_volume = 0.0;
  double exfiltrated_volume_start = 0.0;
  double exfiltrated_volume_total = 0.0;
  int32_t xsec_table_exceeded = 0;
  int32_t routing_between_events = 0;
  // Peak discharge and volume of the event at each hydrograph point (1-based).
  std::vector<double> point_peak_discharge;
  std::vector<double> point_event_volume;

  // Progress line.
  int32_t quiet_on = 0;           // QUIET card
  int32_t qout_cfs_on = 0;
  double cfs_factor = 35.314667;
  int32_t flush_buffer_on = 0;
  int32_t flush_buffer_lines = 5000;
  int32_t progress_line_count = 0;
  // Stores at the event's start, against which its end is balanced (m3).
  double event_chan_volume_initial = 0.0;
  double lake_initial_volume = 0.0;
  double snow_volume_initial = 0.0;
  double melt_volume = 0.0;
  double superlink_initial_volume = 0.0;
};

}  // namespace pluvo
