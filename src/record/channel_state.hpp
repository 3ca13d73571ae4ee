#pragma once
// Channel network and routing fields of the model record.
#include <cstdint>
#include <string>
#include <vector>

namespace pluvo {

struct channel_state {
  int32_t chan_explic_on = 0;
  int32_t chan_mesh_on = 0;
  int32_t lakes_on = 0;               // channel lakes
  std::vector<int32_t> lake_mask;     // per cell: channel lake, 0 elsewhere
  int32_t chan_lake_step_switch = 0;  // a channel lake changed the channel time step
  // Network: links 1..nlinks with nx[link] nodes; node arrays are flat with stride
  // maxnodes + 1, element (maxnodes + 1) * link + node.
  int32_t nlinks = 0;
  int32_t maxnodes = 0;
  std::vector<int32_t> nx;
  std::vector<double> qp;   // discharge, m3/s
  std::vector<double> yp;   // water surface, m
  std::vector<double> bel;  // bed elevation, m
  // Sections of the computational nodes. Per-node arrays are flat under the key
  // link * chan_node_extent + node; bottom and sslope are keyed by the link's ldex instead.
  int32_t chan_node_extent = 0;          // max_nodes + 1
  std::vector<int32_t> ltype;            // per link: type bits (4 trapezoid, 8 break-point, 2 erodible)
  std::vector<int32_t> ldex;             // per link: column of its section parameters
  std::vector<double> inv_mannings_n;    // per link: 1 / Manning n
  std::vector<double> bottom;            // trapezoid bottom width, m
  std::vector<double> sslope;            // trapezoid side slope, horizontal per vertical
  std::vector<double> chan_depth;        // m
  std::vector<double> area;              // flow area, m2
  std::vector<double> topw;              // top width, m
  std::vector<double> conv;              // conveyance, m3/s at unit slope
  std::vector<double> dconv;             // d(conveyance)/d(depth)
  std::vector<int32_t> table_num;        // break-point node: its depth-property table
  // Break-point depth-property tables 1..num_xsec_tables, steps 0..max_num_interp, flat under
  // the key table * (max_num_interp + 1) + step; step i stands for depth i * ht_spc[table].
  int32_t num_xsec_tables = 0;
  int32_t max_num_interp = 0;            // largest NUM_INTERP of the file
  int32_t max_npairs = 0;                // largest NPAIRS of the file
  std::vector<int32_t> numhts;           // per table: number of depth steps
  std::vector<int32_t> numpairs;         // per table: number of (x, y) pairs
  std::vector<double> ht_spc;            // per table: depth step, m
  std::vector<double> xarea;             // m2
  std::vector<double> xtw;               // top width, m
  std::vector<double> xp;                // wetted perimeter, m
  std::vector<double> xk;                // conveyance
  std::vector<double> xi1;               // mesh scheme: first moment of area about the surface
  std::vector<double> xdkda;             // mesh scheme: d(conveyance)/d(area)
  // Erodible break-point links 1..num_erodible_bp_links: every node's own polyline, flat under
  // the key (bplink * chan_node_extent + node) * (max_npairs + 1) + pair.
  int32_t num_erodible_bp_links = 0;
  std::vector<int32_t> bplink;           // per link: erodible index, 0 for other links
  std::vector<double> xbp_lnn;
  std::vector<double> ybp_lnn;
  // Grid-stream table: grid-stream cells 1..gst_num_cells, each with entries 1..gst_ncellsingrid
  // of a channel link, node and the cell number (element 0 of each list unused).
  int32_t gst_num_cells = 0;
  std::vector<int32_t> gst_ncellsingrid;
  std::vector<std::vector<int32_t>> gst_link;
  std::vector<std::vector<int32_t>> gst_node;
  std::vector<std::vector<int32_t>> gst_gnum;
  std::vector<double> lake_volume;     // m3 per lake, from 1
  double lake_rain_volume = 0.0;       // m3
  double precip_to_lake_volume = 0.0;  // m3, event
  double precip_to_lake_total = 0.0;   // m3, run

  // Record defaults.
  double overbank_max_dv_value = 0.01;
  int lake_cells_unmarked = 1;  // the next channel step marks the lake cells flooded
  double m_river_value = 1.0;
  std::string chan_contam_out_name = "con_output";
  int chan_drain_on = 0;
  int chan_backwater_on = 0;
  int chan_preiss_on = 0;
  // Working settings from the run parameters.
  int bound_ts_on = 0;
  std::string bound_ts_path;
  double chan_bound_depth = 0.0;
  int chan_drain_backwater_on = 0;
  std::string chan_hotstart_in_depth_path;
  std::string chan_hotstart_in_flow_path;
  std::string chan_hotstart_out_depth_path;
  std::string chan_hotstart_out_flow_path;
  std::string channel_input_path;
  double first_order_chan_q_value = 0.0;
  int gst_mode_on = 0;
  int head_bound_on = 0;
  int hotstart_is_depth_on = 0;
  double k_river_value = 0.0;
  std::string links_path;
  std::vector<int32_t> con_link;  // per cell: link number of the cell, 0 for none
  std::vector<int32_t> con_node;  // per cell
  int m_lake_on = 0;
  double m_lake_value = 0.0;
  std::string nodes_path;
  int overbank_flow_on = 0;
  int overland_backwater_on = 0;
  int read_chan_hotstart_on = 0;
  std::string section_table_path;
  std::string stream_cell_path;
  int stream_loss_on = 0;
  int write_chan_hotstart_on = 0;
  double chan_volume_initial_run = 0.0;  // at the start of the run
  double lateral_inflow_net_total = 0.0;  // running totals of channel routing
  double lateral_inflow_in_total = 0.0;
  double lateral_inflow_out_total = 0.0;  // held negative
  double lateral_inflow_net_start = 0.0;
  double lateral_inflow_in_start = 0.0;
  double lateral_inflow_out_start = 0.0;
  double stream_point_source_total = 0.0;
  double stream_point_sink_total = 0.0;
  double lake_point_source_total = 0.0;
  double lake_point_sink_total = 0.0;
  double stream_point_source_start = 0.0;
  double stream_point_sink_start = 0.0;
  double lake_point_source_start = 0.0;
  double lake_point_sink_start = 0.0;
  double stream_point_source_event = 0.0;
  double stream_point_sink_event = 0.0;
  double lake_point_source_event = 0.0;
  double lake_point_sink_event = 0.0;
  double lake_inflow_total = 0.0;
  double lake_outflow_total = 0.0;

  int chan_hotstart_water = 0;  // some node starts with water
  double chan_volume_final = 0.0;  // m3 held in the channels
  int nlakes = 0;
  std::vector<double> lake_elev;      // per lake, m
  std::vector<double> lake_in_dv;     // m3 into each lake since the overland phase last booked it
  std::vector<double> lake_out_dv;    // m3 out of each lake since then
};

}  // namespace pluvo
