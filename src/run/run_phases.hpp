#pragma once
// The phases this process family offers to the driver.

namespace pluvo {

struct model_state;

void validate_project_options(model_state& m);
void check_time_options(model_state& m);
void scan_precip_events(model_state& m);
void init_soil_water_state(model_state& m);
void compute_initial_overland_volume(model_state& m);
void init_simulation_clock(model_state& m);
void advance_clock(model_state& m);
void begin_event(model_state& m);
void track_peak_discharge(model_state& m);
void print_progress(model_state& m);
void check_event_end(model_state& m);
void close_output_files(model_state& m);
// Gives the input readers the other families' operations; run_pluvo calls it once per process.
void wire_neighbour_services();

}  // namespace pluvo
