#pragma once
// Groundwater and subsurface drain fields of the model record.
#include <string>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/checked_file.hpp"
#include "common/node_matrix.hpp"

namespace pluvo {

// The groundwater boundary type of a cell whose aquifer exchanges water with a stream.
constexpr int32_t gw_stream_cell = 4;

// The storm-drain network: what its reader fills (junctions 1..junctions, links 1..links, per
// node and pipe [node][link]) and the arrays the set-up ties to the grid. A junction of inlet
// type 999 holds a channel link and node in junct_i and junct_j, any other its grid row and column.
struct drain_network_record {
  int32_t junctions = 0;
  int32_t links = 0;
  int32_t nodes = 0;          // the largest pipe count of any link
  int32_t max_dimension = 0;  // largest of the three counts, plus 1
  // Per junction.
  std::vector<double> ground_elev;      // m
  std::vector<double> invert_elev;      // m
  std::vector<double> area;             // storage surface, m2
  std::vector<double> grate_sidelength; // m
  std::vector<double> grate_dia;        // m
  std::vector<int32_t> junct_i;
  std::vector<int32_t> junct_j;
  std::vector<int32_t> bound;           // 1 for inlet types 11 and above
  // Per link.
  std::vector<int32_t> us_junc;         // upstream junction
  std::vector<int32_t> ds_junc;         // downstream junction
  std::vector<int32_t> nnodes;          // pipes of the link; its nodes are 1..nnodes+1
  // Per node [node][link]; row 0 of inlet_type holds the junctions' inlet types.
  node_matrix<double> node_ground_elev;
  node_matrix<double> slink_node_Zinv;
  node_matrix<double> As;
  node_matrix<int32_t> inlet_type;
  node_matrix<int32_t> node_i;
  node_matrix<int32_t> node_j;
  node_matrix<double> grate_sidelength_node;
  node_matrix<double> grate_dia_node;
  node_matrix<double> slink_node_depth;
  node_matrix<double> Q_node;
  // Per pipe [pipe][link].
  node_matrix<int32_t> sec_type;        // 1 circular, 2 arch, 3 box
  node_matrix<double> diameter;         // m
  node_matrix<double> width;            // m
  node_matrix<double> S0;
  node_matrix<double> M_n;
  node_matrix<double> dx;               // m
  node_matrix<double> pipe_conductivity;  // cm/h
  node_matrix<double> spacing;          // m
  node_matrix<double> multiplier;
  int32_t leaky_pipes = 0;
  // Grid-pipe cells: per cell its entries of link, node, cell number and share (percent).
  int32_t gpi_num_cells = 0;
  int32_t gpi_max_pipes = 0;
  std::vector<int32_t> gpi_ncellsingrid;
  node_matrix<int32_t> gpi_link;
  node_matrix<int32_t> gpi_node;
  node_matrix<int32_t> gpi_gnum;
  node_matrix<double> gpi_pct;
  node_matrix<double> drain_tile_flow;      // [0..nodes+2][0..links+1]
  std::vector<double> drain_Q_tile_grid;    // per cell
  std::vector<double> drain_vol_tile_grid;  // per cell
  std::vector<int32_t> drain_junc_gnum;     // per junction: its cell
  node_matrix<int32_t> drain_node_gnum;     // [node][link]: the cell under the node
  // Ties to the channel and the superlink network.
  std::vector<int32_t> chan_con_node;       // per junction: channel node of a channel outlet
  std::vector<int32_t> chan_con_link;       // per junction: its channel link
  std::vector<int32_t> superlink_junc;      // per junction: superjunction a superlink inlet feeds
  std::vector<int32_t> superlink_drain_junc;  // per superjunction: the drain junction feeding it
  std::vector<double> q_to_superlink;       // per superjunction: m3 from the drains since its last step
  // The drain step: per junction its flow (m3/s), head and channel-connection head (m), the
  // volume put on the overland plane this step and the volume waiting for its channel node (m3,
  // taken up by the channel routing); per cell the net volume the drains took from its water.
  std::vector<double> junc_Q;
  std::vector<double> junc_head;
  std::vector<double> chan_con_head;
  std::vector<double> junc_ov_volume;
  std::vector<double> junc_chan_volume;
  std::vector<double> cell_net_volume;
  int32_t tile_active = 0;  // the last tile exchange moved water
  int32_t ov_flag = 0;      // the last step put water on the overland plane
  int32_t chan_flag = 0;    // the last step put water into the channels
};

// What the implicit superlink solve keeps between its calls: per node or pipe [node][superlink]
// the recurrence coefficients and pipe hydraulics, per superlink its end relations and the book
// of its stored water, per superjunction its fixed head and the superjunction system.
struct superlink_solve_work {
  std::vector<int32_t> numnodes;  // computational pipes of each superlink
  node_matrix<double> a, b, c, D, E, O, X, Y, Z, T, U, V, W, P;
  node_matrix<double> ldepth, Q, A, hyd_R, top_width, wet_per, n_veloc, l_veloc, C, Ac;
  // Per superlink.
  std::vector<double> Q_up, Q_dn, z_up, z_dn;
  std::vector<double> stored_volume;  // m3: the start volume plus every flow booked since
  std::vector<double> end_area_dn;    // flow area at the last node
  std::vector<double> gamma_u, gamma_d, k_u, k_d, zeta_u, zeta_d, kappa;
  std::vector<double> alpha_u, beta_u, chi_u, alpha_d, beta_d, chi_d;
  // Per superjunction.
  std::vector<double> fixed_head;     // m, for the boundary superjunctions
  std::vector<double> rhs;
  std::vector<double> S1, S2, S3, S4;
  std::vector<double> lu_scale;
  std::vector<int32_t> permutation;
  node_matrix<double> F;              // the superjunction system [1..n][1..n]
};

struct groundwater_state {
  int32_t gw_simulation_on = 0;
  std::vector<double> elevgw;            // per cell: water-table elevation, m
  std::vector<double> bottom_elev;       // per cell: aquifer bottom, m
  std::vector<double> gw_inf_redist_theta;  // per cell: moisture below the soil column
  double gw_moisture_factor = 0.0;
  double gw_volume_initial = 0.0;        // m3
  double gw_column_initial = 0.0;        // m3 of water in the aquifer at the start
  int32_t storm_drain_on = 0;
  int32_t drain_network_active = 0;
  int32_t drain_link_count = 0;
  int32_t storm_sewer_on = 0;
  int32_t leaky_pipes_on = 0;
  int32_t superlink_running = 0;     // the network is being stepped; cleared when it falls dormant
  int32_t superlink_call_count = 0;  // solves so far this run (0: the next one sets the solve up)
  int32_t superlink_tile_active = 0; // the last tile exchange moved water
  node_matrix<double> superlink_tile_flow;  // [0..nodes+2][0..links+1], with leaky pipes
  std::vector<double> Q_tile_grid;          // per cell, with leaky pipes
  std::vector<double> vol_tile_grid;        // per cell, with leaky pipes
  std::vector<double> tilerecharge_to_gw;   // per cell, with leaky pipes
  std::vector<int32_t> superlink_junc_gnum;  // per superjunction: its cell
  node_matrix<int32_t> superlink_node_gnum;  // [node][link]: the cell under the node
  std::unique_ptr<drain_network_record> drain_net;

  // Record defaults.
  int gw_step_toggle = 1;  // alternates between 1 and 2 every groundwater step
  double gw_relax_coeff_value = 1.0;
  double gw_volume_final = 0.0;
  double gw_input_total = 0.0;            // unsaturated to saturated exchange
  double gw_recharge_total = 0.0;
  double gw_head_bound_flux = 0.0;
  double gw_deep_leakage = 0.0;
  double gw_pumping_total = 0.0;
  double gw_to_chan_volume = 0.0;         // event
  double chan_to_gw_volume = 0.0;
  double gw_to_lake_volume = 0.0;
  double lake_to_gw_volume = 0.0;
  double river_to_gw_total = 0.0;
  double gw_to_river_total = 0.0;
  double lake_to_gw_total = 0.0;
  double gw_to_lake_total = 0.0;
  double xy_gw_gain = 0.0;
  double xy_gw_loss = 0.0;
  double gw_error_pct = 0.0;
  // Pipe networks: superlink (first) and drain network, event and run volumes.
  double ov_to_superlink_volume = 0.0;
  double superlink_to_ov_volume = 0.0;
  double superlink_to_chan_volume = 0.0;
  double gw_to_tile_volume = 0.0;
  double drain_to_superlink_volume = 0.0;
  double ov_to_drain_volume = 0.0;
  double drain_to_ov_volume = 0.0;
  double drain_to_chan_volume = 0.0;
  double gw_to_drain_tile_volume = 0.0;
  int drain_tile_on = 0;
  double superlink_volume = 0.0;          // water held in the network
  double ov_to_superlink_total = 0.0;
  double superlink_to_ov_total = 0.0;
  double superlink_to_chan_total = 0.0;
  double gw_to_tile_total = 0.0;
  double ov_to_drain_total = 0.0;
  double drain_to_ov_total = 0.0;
  double drain_to_chan_total = 0.0;
  double gw_to_drain_tile_total = 0.0;
  double drain_to_superlink_total = 0.0;
  double aquifer_delta_z_value = 0.0;
  int gw_porosity_map_on = 0;
  int gw_unif_porosity_on = 0;
  int gw_hycond_map_on = 0;
  int gw_unif_hycond_on = 0;
  // Working settings from the run parameters.
  std::string aquifer_bottom_path;
  std::string drain_out_name;
  int drain_output_on = 0;
  std::string grid_pipe_name;
  std::string grid_pipe_path;
  std::string gw_boundfile_path;
  int gw_flux_boundtable_on = 0;
  std::string gw_fluxboundtable_path;
  std::string gw_hycond_map_path;
  double gw_leakage_rate_value = 0.0;
  double gw_lsor_con_value = 0.0;
  int gw_lsor_direction = 0;
  int gw_output_on = 0;
  std::string gw_porosity_map_path;
  double gw_timestep_value = 0.0;
  double gw_unif_hycond_value = 0.0;
  double gw_unif_porosity_value = 0.0;
  int gw_well_level_on = 0;
  std::string gw_well_level_path;
  int high_head_release_on = 0;
  std::string out_well_location_path;
  std::string storm_drain_name;
  std::string storm_sewer_path;
  int superlink_c_opt_on = 0;
  int superlink_drainmod_on = 0;
  std::string water_table_path;

  int exfil_on = 0;                  // some cell's water table reaches the surface
  int superlink_ov_flag = 0;  // the last superlink solve put water on the overland plane
  std::vector<double> exfil_depth_cell;  // m, positive upward
  // Per-cell inputs of the two-dimensional solver.
  std::vector<int32_t> gwbound;             // 0 inactive, 2 fixed head, 3 dynamic well, gw_stream_cell, 5 excluded, 6 static flux
  std::vector<double> gw_static_flux;       // m/s
  std::vector<double> gw_hycond;            // m/s
  std::vector<double> gw_hycond_copy;
  std::vector<double> gw_porosity;
  std::vector<double> gw_porosity_copy;
  std::vector<double> gw_cell_width_x;      // m
  std::vector<double> gw_cell_width_y;      // m
  int32_t gw_flux_cell_count = 0;
  int32_t gw_dynamic_well_count = 0;
  int32_t gw_well_level_count = 0;
  int32_t wells_on = 0;
  std::vector<int32_t> well_row;            // 1..gw_well_level_count
  std::vector<int32_t> well_column;
  // Channel connection of each superjunction (1..num_superjunctions), read by the channel
  // routing: its channel link and node, and the flow it puts into that node this step (m3/s).
  std::vector<int32_t> superlink_chan_con_link;
  std::vector<int32_t> superlink_chan_con_node;
  std::vector<double> superlink_chan_con_flow;  // m3 put into the node since the channel last routed
  std::vector<double> sjunc_bound_head;   // per superjunction: water surface of its channel node, m
  std::vector<double> sjunc_ov_volume;    // per superjunction: m3 put on its cell this step
  std::vector<double> ov_to_superlink_cell_volume;  // per cell: m3 the network took this step
  superlink_solve_work superlink_work;
  // Channel set-up with channel lakes: the boundary types as they stood once the lakes were read
  // (lake cells may be type 7), and the lake-aquifer exchange per cell when lake losses are on.
  std::vector<int32_t> og_gwbound_type;
  std::vector<double> lake_source;
  // Map outputs: per cell the cumulative recharge to the aquifer (filled by the groundwater
  // step) and its value at the last map output time, from which the incremental map is formed.
  std::vector<double> gw_recharge_cum;
  std::vector<double> gw_recharge_cum_prev;
  // ---- groundwater solver, step and exchange fields ----
  // Per cell (1..cell_count). Rates are m/s per unit cell area, positive out of the aquifer.
  std::vector<double> gw_storage_coeff;     // specific yield of the cell for this step
  std::vector<double> gw_trans_x;           // m2/s, towards the left and right neighbours
  std::vector<double> gw_trans_y;           // m2/s, towards the above and below neighbours
  std::vector<double> gw_sat_thickness;     // m
  std::vector<double> gw_coef_above, gw_coef_left, gw_coef_diag, gw_coef_right, gw_coef_below;  // 1/s
  std::vector<double> gw_rhs;               // m/s
  std::vector<double> gw_net_sink;          // m/s
  std::vector<double> gw_well_rate;         // m/s, positive = extraction
  std::vector<double> gw_bottom_leakage;    // m/s
  std::vector<double> gw_extracted_depth;   // m taken by other phases since the last step
  std::vector<double> gw_unsat_exchange_cm; // cm from the soil column to the aquifer
  std::vector<double> gw_flux;              // m3 a fixed-head cell gave the aquifer this step
  std::vector<double> gw_head_old;          // head before the solve
  std::vector<double> cell_stream_exchange_volume;  // m3 the cell's stream entries took from the aquifer
  // Solver work, sized for the run's grid: head at the sub-step start, latest Picard iterate,
  // the line solve's vectors.
  std::vector<double> gw_head_start;
  std::vector<double> gw_head_iterate;
  std::vector<double> gw_line_a, gw_line_b, gw_line_c, gw_line_r;
  std::vector<int32_t> gw_line_cells;
  double gw_to_unsat_step_cm = 0.0;         // soil-column exchanges of the last solve, cm
  double gw_net_source_total = 0.0;         // m3 the solver's net sources added, run
  int32_t gw_exfil_seen = 0;
  double gw_storage_cm = 0.0;
  double richards_storage_cm = 0.0;
  double subsurface_storage_cm = 0.0;
  double gw_recharge_cm = 0.0;              // run total of booked recharge depths, cm
  // The soil-column linkage diagnostics, opened once per run.
  checked_file korp_hydrocon_fp;
  checked_file korp_transmissivity_fp;
  checked_file korp_node_linkage_fp;

  // ---- pipe network input fields ----
  // The superlink network as its reader leaves it: superjunctions 1..num_superjunctions,
  // superlinks 1..num_superlinks, per node and pipe [node][superlink] (the superlink extent is
  // that of the superjunctions). A superjunction of inlet type 999 holds a channel link and
  // node in superjunct_i and superjunct_j, any other its grid row and column.
  int32_t num_superjunctions = 0;
  int32_t num_superlinks = 0;
  int32_t num_superlink_nodes = 0;           // largest pipe count of a superlink
  int32_t superlink_max_dimension = 0;       // largest count, plus 3
  std::vector<double> sjunc_ground_elev;      // m
  std::vector<double> sjunc_invert_elev;      // m
  std::vector<double> sjunc_area;             // storage surface, m2
  std::vector<int32_t> superjunct_i;
  std::vector<int32_t> superjunct_j;
  std::vector<double> sjunc_grate_sidelength; // m
  std::vector<double> sjunc_grate_dia;        // m
  std::vector<int32_t> bound;                 // 1 for inlet types 11 and above: a boundary
  std::vector<double> sjunc_head;             // m, the solve's state
  std::vector<double> sjunc_ext_inflow;       // m3/s, the solve's state
  std::vector<int32_t> us_sjunc;              // per superlink
  std::vector<int32_t> ds_sjunc;
  std::vector<int32_t> nnodes;                // pipes given on the SLINK line
  std::vector<int32_t> superlink_cnodes;      // computational pipes after refinement
  // Per node [node][superlink]; row 0 of inlet_type holds the superjunctions' inlet types.
  node_matrix<double> node_ground_elev;
  node_matrix<double> slink_node_Zinv;
  node_matrix<double> As;
  node_matrix<int32_t> inlet_type;
  node_matrix<int32_t> superlink_node_i;
  node_matrix<int32_t> superlink_node_j;
  node_matrix<double> grate_sidelength_node;
  node_matrix<double> grate_dia_node;
  node_matrix<double> slink_node_depth;
  node_matrix<double> Q_node;
  // Per pipe [pipe][superlink]; pipe p joins nodes p and p + 1.
  node_matrix<int32_t> sec_type;              // 1 circular, 2 arch, 3 box
  node_matrix<double> diameter;               // m
  node_matrix<double> width;                  // m
  node_matrix<double> S0;
  node_matrix<double> M_n;
  node_matrix<double> dx;                     // m, as read
  node_matrix<double> dxc;                    // m, computational
  node_matrix<double> superlink_pipe_conductivity;  // cm/h; above 0 the pipe is leaky
  node_matrix<double> drain_spacing;          // m
  node_matrix<double> drain_multiplier;
  node_matrix<int32_t> otc_node;              // file node -> computational node
  node_matrix<int32_t> otc_pipe;              // file pipe -> computational pipe
  // Grid-pipe cells (with leaky pipes): per cell its entries of superlink, node, cell number
  // and share (percent).
  int32_t gpi_num_cells = 0;
  int32_t gpi_max_pipes = 0;
  std::vector<int32_t> gpi_ncellsingrid;
  node_matrix<int32_t> gpi_link;
  node_matrix<int32_t> gpi_node;
  node_matrix<int32_t> gpi_gnum;
  node_matrix<double> gpi_pct;

  // Read by the time series (h-series); the superlink and drain network steps fill them once built.
  std::vector<double> superjunction_flow;   // per superjunction, m3/s
  node_matrix<double> superlink_node_flow;  // [node][superlink], m3/s
  node_matrix<double> superlink_pipe_flow;  // [pipe][superlink], m3/s
  node_matrix<double> superlink_node_head;  // [node][superlink], m
  std::vector<double> drain_junction_flow;  // per drain junction, m3/s
};

}  // namespace pluvo
