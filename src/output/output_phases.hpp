#pragma once
// The phases this process family offers to the driver.
#include <string>

namespace pluvo {

struct model_state;
struct q4_data;
struct map_series_writer;
struct linknode_series_writer;

void open_dataset_outputs(model_state& m);
void write_linknode_headers(model_state& m);
void setup_xy_outputs(model_state& m);
// The Q4 segment map, the link/node pairs that feed segments and the header of the segment flux
// file (Q4_FLUXES); 0, or -1 when the flux file cannot be opened.
int read_q4_segment_map(model_state& m);
void free_q4_data(q4_data& q);
// Ends and closes the coupling files (XY outputs, Q4 segment fluxes); once, at the end of a run.
void close_coupling_files(model_state& m);
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
// Opens one gridded output series (type, name + extension, dataset extension, series number and
// dataset name) and one link/node series over flat node values.
void map_series_writer_open(map_series_writer& w, int output_type, const std::string& name, const char* extension,
                            const char* dataset_extension, int series_number, const std::string& dataset_name,
                            model_state& m);
void linknode_series_set_flat(linknode_series_writer& w, int layout_code, const double* values,
                              const double* lake_values, model_state& m);
void linknode_series_open(linknode_series_writer& w, const std::string& base, const char* part1, const char* part2,
                          double scale);

}  // namespace pluvo
