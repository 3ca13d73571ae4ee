#pragma once
// Node section properties and the break-point depth-property tables behind them.
#include <cstdint>
#include <vector>

#include "record/channel_state.hpp"

namespace pluvo {

// One surveyed cross section of a break-point link: the node it stands at, its number of depth
// steps (NUM_INTERP) and its (x, y) pairs in order (x station, y elevation), pair 1 first.
struct breakpoint_section {
  int node = 0;
  int num_interp = 0;
  std::vector<double> x;
  std::vector<double> y;
};

// One break-point link as the channel input reader hands it over: its defined sections in node
// order (one or two; an erodible link may give more).
struct breakpoint_link {
  int link = 0;
  int ltype = 0;
  int nodes = 0;
  double mannings_n = 0.0;
  std::vector<breakpoint_section> sections;
};

// Key of step `step` of table `table` in the flat table arrays.
inline int xsec_key(const channel_state& ch, int table, int step) {
  return table * (ch.max_num_interp + 1) + step;
}

// Sizes the table arrays (zeroed) for num_xsec_tables, max_num_interp, max_npairs,
// num_erodible_bp_links and chan_node_extent as set in the record.
void size_xsec_tables(channel_state& ch);

// Mode 2: water surface yp to area, top width, conveyance and its derivative. Mode 1: area to
// depth, water surface and conveyance. Any other mode does nothing. Stops the run (code 4000)
// on the first node that cannot be computed. Sets table_exceeded to 1 when some break-point
// node's water stands above its table (it never clears it).
void ex_section(channel_state& ch, int mode, int32_t& table_exceeded);

// The same for one node of a trapezoid or break-point link; false after a stop.
bool ex_section_node(channel_state& ch, int mode, int link, int node, int32_t& table_exceeded);

// Gives every node of a break-point link its table and builds those tables; `table_counter`
// is the last table number handed out and is raised here. Failures go through the error state.
void interp_breakpoint_xsecs(channel_state& ch, int& table_counter, const breakpoint_link& bp,
                             int chan_mesh_on);

// The wet intervals of a polyline (pairs 0..m-1) under the water surface eta: per interval the
// pair that opens it (the last dry one, or pair 0 when that is wet) and the first dry pair after
// it (the last pair when it stays wet), with the water's left and right edges. False after a
// stop: over 50 intervals, or with check_flat an entering segment flat at the surface.
struct wet_intervals {
  int count = 0;
  int start[50];
  int end[50];
  double left[50];
  double right[50];
};
bool find_wet_intervals(const double* x, const double* y, int m, double eta, int link, bool check_flat,
                        bool lead_newlines, wet_intervals& out);

// Builds the table of node `node` of link `link` from the node's own polyline in
// xbp_lnn/ybp_lnn. Returns false after stopping the run.
bool xsec_properties_table(channel_state& ch, int chan_mesh_on, int link, int node);

}  // namespace pluvo
