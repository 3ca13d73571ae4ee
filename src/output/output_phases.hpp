#pragma once
// The phases this process family offers to the driver.

namespace pluvo {

struct model_state;

void open_dataset_outputs(model_state& m);
void write_linknode_headers(model_state& m);
void setup_xy_outputs(model_state& m);
void read_omba_exchange_at_start(model_state& m);
void exchange_omba_maps(model_state& m);
void end_event(model_state& m);
void write_time_series(model_state& m);
void write_map_outputs(model_state& m);
void write_run_summary(model_state& m);
// Builds the analyzers listed in a file.
void setup_analyzers(model_state& m, const char* file);
// Evaluates the analyzers for one event of the run's life (8 start, 1 step, 4 event closed, 16 end, 32 error end).
void run_analyzers(model_state& m, int event);

// Set-up services the input readers call (through the table of input/neighbour_services.hpp).
void build_xy_weights(model_state& m);
void build_gw_xy_weights(model_state& m);

}  // namespace pluvo
