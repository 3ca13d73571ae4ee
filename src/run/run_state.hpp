#pragma once
// Run control: driver switches, clock and event flags.
#include <cstdint>
#include <vector>

namespace pluvo {

// Event peaks and volumes of a run for a calibration caller.
struct calibration_results {
  int32_t num_events = 0;
  int32_t num_columns = 0;     // hydrograph points + 1; column 1 is the outlet
  double* event_peaks = nullptr;    // num_events x num_columns + 2, owned by the caller
  double* event_volumes = nullptr;  // same shape, owned by the caller
  double* point_peaks = nullptr;    // 0..num_columns, released with the run
  double* point_volumes = nullptr;  // 0..num_columns, released with the run
};

struct run_state {
  int silent_mode = 0;     // started by a toolbox mode: no driver console lines
  int super_quiet_on = 0;  // SUPER_QUIET card
  int optimize_on = 0;     // OPTIMIZE card, or a caller passed a results record
  int optimize_sed_on = 0;
  calibration_results* external_results = nullptr;
  int external_results_owned = 0;  // made by the driver for an OPTIMIZE run: released with the run
  int keep_running = 0;    // the time loop goes on while set
  double cur_julian = 0.0; // current model time, Julian days
  int event_count = 0;     // events of the precipitation file
  // Model time (Julian days) and its calendar form.
  int cur_year = 0;
  int cur_month = 0;
  int cur_day = 0;
  int cur_hour = 0;
  int cur_minute = 0;
  int cur_second = 0;
  int day_of_year = 0;
  double start_julian = 0.0;
  double elapsed_min = 0.0;  // step_count x time_step / 60
  double total_time_min = 0.0;
  int step_count = 0;
  double time_step = 0.0;  // working step, seconds
  double step_interval_s = 0.0;
  // Events.
  int event_number = 0;
  int event_ended = 0;  // set when an event's accounts are to be closed
  int events_done = 0;  // events whose accounts are closed
  double event_start = 0.0;
  double event_peak_tracked = 0.0;
  int peak_year = 0;
  int peak_month = 0;
  int peak_day = 0;
  int peak_hour = 0;
  int peak_minute = 0;
  int peak_second = 0;
  double event_peak_julian = 0.0;
  double outlet_discharge = 0.0;  // m3/s, current step
  // Stores at the event's start, against which its end is balanced (m3).
  double event_ov_volume_initial = 0.0;
  double event_chan_volume_initial = 0.0;
  double lake_initial_volume = 0.0;
  double snow_volume_initial = 0.0;
  double melt_volume = 0.0;
  double soil_volume_initial = 0.0;
  double initial_soil_water = 0.0;
  double superlink_initial_volume = 0.0;
  int xsec_table_exceeded = 0;
  // Running calibration figures of each hydrograph point, 1..hydrograph_link_count.
  std::vector<double> point_peak_discharge;
  std::vector<double> point_event_volume;
};

}  // namespace pluvo
