#pragma once
// Link/node series: one text file per quantity along the stream network, a short header and at
// each output time one record with a line per link and a value per node.
// Node arrays are flat under the key link * stride + node.
#include <cstdint>
#include <cstdio>

namespace pluvo {

struct model_state;
struct linknode_series_writer;

// Per-link printed node counts: the network as read, or the computational counts where the
// record keeps no copy as read.
const int32_t* printed_node_counts(const model_state& m);

// The kind line of a series kind, or null for a code without one (32 and above).
const char* linknode_kind_line(int kind);

void write_linknode_header(std::FILE* f, int kind, int num_links, int time_step, int num_ts, int day, int month,
                           int year, int hour, int minute);

// One step record. mode 0 writes the first array; 1 first minus second; 2 first over second
// (0 where the second is 1e-7 or less). Lake links show the elevation of their lake in modes 1
// and 2, structure links the first array at their node 1 in mode 0.
void write_linknode_step(std::FILE* f, int link_count, const int32_t* valid_nodes, const int32_t* output_nodes,
                         const int32_t* link_types, int step_number, const double* first, const double* second,
                         int stride, int mode, const int32_t* lake_table, const double* lake_elevations);

// TIME_STEP and NUM_TS of the stream and superlink headers: output interval in whole minutes and
// number of output times in the run.
void linknode_header_times(const model_state& m, int& time_step, int& num_ts);

// At an output time of the time series: one step record of each open stream series (depth,
// discharge, velocity, stage), each numbered by its own counter from 0.
void write_stream_linknode_steps(model_state& m);

void linknode_series_writer_init(linknode_series_writer& w);
// Layout 2: values given as rows [node][link].
void linknode_series_set_nodes(linknode_series_writer& w, int kind, const double* const* values,
                               const double* lake_values, model_state& m);
void linknode_series_write_step(linknode_series_writer& w);
void linknode_series_writer_close(linknode_series_writer& w);

}  // namespace pluvo
