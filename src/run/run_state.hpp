#pragma once
// Run control: driver switches, clock and event flags.
#include <cstdint>

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
  int long_term_on = 0;    // continuous (long-term) simulation
};

}  // namespace pluvo
