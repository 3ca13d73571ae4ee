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
  int quiet_on = 0;         // QUIET card: no progress lines
  int long_term_on = 0;     // long-term (continuous) run
  int qir_mode = 0;         // called by QIR one event at a time
  // Clock, Julian days. Phases run when their next time is within time_tolerance of cur_julian.
  double time_tolerance = 1.1574074074074074e-07;  // 0.01 s
  double step_interval = 0.0;    // model time step, days
  double step_last_time = 0.0;   // overland clock
  double step_next_time = 0.0;
  double infil_interval = 0.0;   // days
  double infil_interval_s = 0.0;
  double infil_last_time = 0.0;
  double infil_next_time = 0.0;
  double et_interval = 0.0;      // hourly clock, days
  double et_interval_s = 0.0;
  double et_next_time = 0.0;
  double soil_moisture_interval = 0.0;
  double soil_moisture_interval_s = 0.0;
  double soil_moisture_next_time = 0.0;
  double bmp_last_time = 0.0;
  double bmp_next_time = 0.0;
  // Event flags.
  int event_in_progress = 0;
  int event_ended = 0;
  int event_number = 0;
  std::vector<double> event_start_dates;  // Julian start date of each event
  int ov_water_present = 0;  // overland water anywhere; cleared when the overland clock sleeps
};

}  // namespace pluvo
