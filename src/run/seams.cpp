// Phases of processes that are not built yet: each does nothing.
#include "run/run_phases.hpp"

namespace pluvo {

void scan_precip_events(model_state&) {}  // not built yet
void init_soil_water_state(model_state&) {}  // not built yet
void compute_initial_overland_volume(model_state&) {}  // not built yet
void init_simulation_clock(model_state&) {}  // not built yet
void advance_clock(model_state&) {}  // not built yet
void begin_event(model_state&) {}  // not built yet
void track_peak_discharge(model_state&) {}  // not built yet
void print_progress(model_state&) {}  // not built yet
void check_event_end(model_state&) {}  // not built yet

}  // namespace pluvo
