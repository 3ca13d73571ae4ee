#pragma once
// Channel network and routing fields of the model record.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/node_matrix.hpp"
#include "common/date_record.hpp"

namespace pluvo {

struct time_series;

// One element of a structure link, from its STRUCTTYPE card and the cards after it.
// The bits of a link's type (ltype) that say what the link is.
constexpr int32_t ltype_lake = 32;            // a lake
constexpr int32_t ltype_structure = 64;       // a hydraulic structure
constexpr int32_t ltype_taken_by_lake = 128;  // a channel link a lake has flooded

struct hydraulic_structure {
  int32_t structtype = 0;             // 1 weir, 2 sag weir, 3 round, 4 oval, 5 rectangular culvert,
                                      // 6 rating curve, 7 scheduled release, 8 rule curve
  double length = 0.0;                // LENGTH, or CREST_LENGTH of a weir, m
  double upinvert = 0.0;              // UPINVERT, or CREST_LOW_ELEV, m
  double downinvert = 0.0;            // m
  double slope = 0.0;
  double inlet_disch_coeff = 0.0;     // or DISCHARGE_COEFF_FORWARD
  double rev_flow_disch_coeff = 0.0;  // or DISCHARGE_COEFF_REVERSE
  double inlet_coeff = 0.0;           // culvert inlet coefficient worked out by the link flows
  double size1 = 0.0;                 // WIDTH, DIAMETER, A_VALUE or STEEP_SLOPE
  double size2 = 0.0;                 // HEIGHT, B_VALUE or SHALLOW_SLOPE
  double crest_low_loc = 0.0;
  double rough_coeff = 0.0;
  int32_t elevation_series = -1;      // rating or rule curve: position in the elevation-series list
  time_series* release_series = nullptr;  // scheduled release
};

struct grid_position {
  int32_t row = 0;
  int32_t col = 0;
};

struct channel_state {
  int32_t chan_explic_on = 0;
  int32_t chan_mesh_on = 0;
  int32_t lakes_on = 0;               // channel lakes
  std::vector<int32_t> lake_mask;     // per cell: channel lake, 0 elsewhere
  int32_t chan_lake_step_switch = 0;  // a channel lake changed the channel time step
  // Network: links 1..nlinks, nodes 1..nx1[link] from upstream. Every per-node array is flat under
  // the key link * chan_node_extent + node (chan_slot_count elements, zero at allocation); per-link
  // vectors have chan_link_extent + 1 elements, per-lake vectors nlakes + 2, per-cell N + 1.
  int32_t nlinks = 0;
  int32_t og_nlinks = 0;                 // nlinks as read, kept when the network has lakes
  int32_t max_nodes = 0;                 // MAXNODES
  int32_t chan_node_extent = 0;          // max_nodes + 1
  int32_t chan_link_extent = 0;          // nlinks + 1
  int32_t chan_slot_count = 0;           // chan_node_extent * chan_link_extent
  int32_t overbank_links_on = 0;         // some link carries OVERBANK
  int32_t num_structures = 0;            // structure elements 1..num_structures
  // Per link.
  std::vector<int32_t> ltype;            // type bits: 4 trapezoid, 8 break-point, +1 subsurface,
                                         // +2 erodible, 32 lake, 64 structure, 128 taken by a
                                         // lake, +256 overbank, +512 backwater
  std::vector<int32_t> ldex;             // own number; the lake number of a lake link
  std::vector<int32_t> nx1;              // nodes given in the file (NODES)
  std::vector<int32_t> nx;               // computational nodes
  std::vector<int32_t> ndep;             // number of upstream links
  std::vector<std::vector<int32_t>> uslinks;  // [link][1..ndep]: upstream links
  std::vector<int32_t> dslink;           // downstream link, 0 at the outlet
  std::vector<double> link_dx;           // node spacing, m
  std::vector<double> inv_mannings_n;    // 1 / Manning n
  std::vector<int32_t> bplink;           // erodible break-point index, 0 for other links
  // Copies of the network as read, kept when the network has lakes (lake routing changes the
  // working fields). og_uslinks has the same room as uslinks.
  std::vector<int32_t> og_ndep;
  std::vector<int32_t> og_dslink;
  std::vector<int32_t> og_lytpe;
  std::vector<int32_t> og_nx1;           // equal to nx
  std::vector<std::vector<int32_t>> og_uslinks;
  // Per link: number of structure elements, first and last element number (allocated only when
  // the file holds a structure link).
  std::vector<std::array<int32_t, 3>> struct_range;
  // Per node.
  std::vector<double> qp;                // discharge, m3/s
  std::vector<double> yp;                // water surface, m
  std::vector<double> bel;               // bed elevation, m
  std::vector<double> qp_vol;            // discharge volume accumulated, m3
  std::vector<double> qp_vol_sed;        // sediment discharge volume accumulated, m3
  std::vector<double> Fr;                // Froude number
  std::vector<double> bottom;            // trapezoid bottom width, m
  std::vector<double> sslope;            // trapezoid side slope, horizontal per vertical
  std::vector<double> bankfull_dep;      // m
  std::vector<double> lnx;               // node coordinates (X_Y)
  std::vector<double> lny;
  std::vector<double> max_eros;          // erodible node: largest erosion depth, m
  std::vector<int32_t> status_node;      // 1 where a channel lake has taken the node
  std::vector<double> pct_flooded;       // share of the node's grid-stream cells in a lake
  std::vector<double> Krb;               // stream-bed hydraulic conductivity
  std::vector<double> Mrb;               // stream-bed thickness, m
  std::vector<time_series*> stream_pointsource;  // POINTSOURCE series, null for none
  std::vector<int32_t> stream_pumps;     // PUMPTO: 1-based handle in the channel pump list, 0 none
  std::vector<double> chan_depth;        // m
  std::vector<double> area;              // flow area, m2
  std::vector<double> area_old;          // area at the start of the step, m2
  std::vector<double> topw;              // top width, m
  std::vector<double> conv;              // conveyance, m3/s at unit slope
  std::vector<double> dconv;             // d(conveyance)/d(depth)
  std::vector<double> qlat;              // lateral inflow, m2/s
  std::vector<double> qriv;              // stream-aquifer exchange flux
  std::vector<double> av_qriv;           // its average
  std::vector<double> yp_max_flood;      // highest water surface reached, m
  std::vector<int32_t> con_vect;         // cell number holding the node, 0 for none
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
  std::vector<double> xbp_lnn;
  std::vector<double> ybp_lnn;
  // Per erodible break-point link and node, flat under bplink * chan_node_extent + node.
  std::vector<double> max_yp;            // highest water surface reached, m
  std::vector<double> ch_sand_vol0;      // initial sand volume, m3
  // Grid-stream table: grid-stream cells 1..gst_num_cells, each with entries 1..gst_ncellsingrid
  // of a channel link, node and the cell number (element 0 of each list unused).
  int32_t gst_num_cells = 0;
  int32_t gst_max_entries = 0;
  std::vector<int32_t> gst_ncellsingrid;
  std::vector<std::vector<int32_t>> gst_link;
  std::vector<std::vector<int32_t>> gst_node;
  std::vector<std::vector<int32_t>> gst_gnum;
  std::vector<std::vector<double>> gst_pct;         // share of the cell given to the entry
  std::vector<std::vector<double>> gst_sac_weight;  // share of the lumped outflows
  std::vector<std::vector<double>> gst_Vlat;        // lateral exchange volume of the entry, m3
  // Channel lakes 1..nlakes (per-lake vectors have nlakes + 2 elements).
  std::vector<int32_t> lake2link;        // per link: lake number of a lake link, 0 otherwise
  std::vector<double> minwse;            // m
  std::vector<double> initwse;
  std::vector<double> maxwse;
  std::vector<double> prevlake_volume;   // m3 at the previous step
  std::vector<double> lake_volume_last_chan;  // m3 at the last channel step
  std::vector<double> lake_area;         // m2
  std::vector<double> cumulative_lake_evap;  // m3
  std::vector<int32_t> numpts;           // cells of the lake's search order
  std::vector<std::vector<grid_position>> lake_search;  // [lake][1..numpts]
  std::vector<int32_t> lake_cells;       // cells in the lake
  std::vector<int32_t> new_flooded_grid;  // per cell
  std::vector<int32_t> yes_static_lake;  // extent fixed (STATIC)
  std::vector<int32_t> yes_defined_curve_lake;  // rating table given (NUMRATE)
  std::vector<int32_t> numrate;
  std::vector<std::vector<double>> lake_rate_elev;    // [lake][1..numrate]
  std::vector<std::vector<double>> lake_rate_area;
  std::vector<std::vector<double>> lake_rate_volume;
  std::vector<double> Mlake;             // bed thickness (MLAKE), m
  std::vector<int32_t> calc_loss;        // lake-loss switch
  std::vector<hydraulic_structure> structures;  // elements 1..num_structures
  std::vector<double> lake_volume;     // m3 per lake, from 1
  double lake_rain_volume = 0.0;       // m3 into the lakes in the run: rain, land and links
  double precip_to_lake_volume = 0.0;  // m3, event
  double precip_to_lake_total = 0.0;   // m3, run

  // Record defaults.
  double overbank_max_dv_value = 0.01;
  int lake_cells_unmarked = 1;  // the next channel step marks the lake cells flooded
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
  std::string links_path;
  std::vector<int32_t> con_link;  // per cell: link number of the cell, 0 for none
  std::vector<int32_t> con_node;  // per cell
  int overbank_flow_on = 0;
  int overland_backwater_on = 0;
  int read_chan_hotstart_on = 0;
  std::string stream_cell_path;
  int stream_loss_on = 0;
  int write_chan_hotstart_on = 0;
  double chan_volume_initial_run = 0.0;  // at the start of the run
  // Lateral totals at the start of the event (the running totals are chan_lat_in_volume,
  // chan_lat_out_volume and chan_lat_net_total).
  double chan_lat_net_start = 0.0;
  double chan_lat_in_start = 0.0;
  double chan_lat_out_start = 0.0;
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

  int chan_hotstart_water = 0;  // some node starts with water
  double chan_volume_final = 0.0;  // m3 held in the channels
  int nlakes = 0;
  std::vector<double> lake_elev;      // per lake, m
  std::vector<double> lake_in_dv;     // m3 into each lake since the overland phase last booked it
  std::vector<double> lake_out_dv;    // m3 out of each lake since then

  // Shared by the channel phases: the channel routing runs only while this is set.
  int32_t external_channel_inflow_on = 0;
  // Point inputs of the channel point-input file, flat per node key, m3/s.
  std::vector<double> chan_point_flow;
  // Outlet boundary series (BOUND_TS), found when the routing starts.
  time_series* bound_ts = nullptr;
  // Lateral exchange with the grid.
  std::vector<std::vector<double>> gst_qlat;        // [gst cell][entry]: lateral flow, m3/s
  std::vector<std::vector<double>> gst_cgw_weight;  // share of the conceptual groundwater outflow
  std::vector<double> cell_to_channel_volume;       // per cell, m3 given to the channel this step
  double sac_flow_cms = 0.0;                        // Sacramento outflow of the step, m3/s
  double cgw_flow_cms = 0.0;                        // conceptual groundwater outflow, m3/s
  double outlet_step_volume = 0.0;                  // m3 through the outlet node in a routing call
  double chan_lat_in_volume = 0.0;                  // lateral volumes of the routing, m3 (in > 0)
  double chan_lat_out_volume = 0.0;                 // (out held negative)

  // ---- reader fields (channel input file) ----
  int32_t lake_losses_on = 0;  // some lake carries MLAKE: lake-bed losses are simulated

  // ---- set-up fields (network set-up, hotstart, point inputs, routing start) ----
  // Channel hotstart list file (node, link, depth, discharge per line): HOTSTART_IS_DEPTH with
  // the READ_CHAN_HOTSTART name; empty when the hotstart is a water-surface file or none.
  std::string chan_hotstart_list_path;
  // Channel point-input file: its points (NUMPT), dated records (NRPDS) and how many of them the
  // run has read; each point's node key; the date of the next record and its Julian time (0 once
  // every record is read).
  checked_file chan_point_source_fp;
  int32_t chan_point_count = 0;
  int32_t chan_point_record_count = 0;
  int32_t chan_point_records_read = 0;
  std::vector<int32_t> chan_point_address;  // [1..chan_point_count]
  date_record chan_point_date;
  double chan_point_next_time = 0.0;

  // ---- set-up fields (sediment and constituent arrays, locations, lumped weights) ----
  // Channel sediment, with sediment transport. Per node and class the layout is flat under
  // key * (classes + 1) + class (class 0 unused; ch_sand_vol has classes + 2 slots: 0 the total,
  // classes + 1 a copy of the initial total). Per lake and class: lake * (classes + 1) + class.
  std::vector<double> new_bel;             // per node: tracked bed elevation, m
  std::vector<double> org_bel;             // per node: bed elevation at set-up, m
  std::vector<double> min_bel;             // per node: lowest bed the erosion may reach (bel - max_eros
                                           // at the first bed update of the run), m
  std::vector<double> ch_wash_vol;         // wash-load volume, m3
  std::vector<double> ch_sand_vol;         // sand volume, m3
  std::vector<double> qlat_sed;            // lateral sediment inflow
  std::vector<double> qlat_tot_sed;
  std::vector<double> SS_node_conc_vol;    // volumetric concentration; slot 0 the sum
  std::vector<double> chan_sed_conc;       // mg/L; slot 0 the sum
  double total_chan_sand_vol = 0.0;        // initial sand of the erodible nodes, m3
  // Per lake.
  std::vector<double> tot_lake_depo_in;
  std::vector<double> tot_lake_sand_in;
  std::vector<double> event_lake_sand_in;
  std::vector<double> event_lake_depo_in;
  std::vector<double> init_sed_vol_lake;
  // Per lake and class.
  std::vector<double> lake_depo_vol;
  std::vector<double> qlat_lake_sed;
  std::vector<double> qlat_lake;
  std::vector<double> sand_vol_deposited_lakebank;  // the lake's sand store, laid out as ch_sand_vol
  std::vector<double> sed_vol_overland_to_lake;  // net: what overland flow brought less what it took, this update
  std::vector<double> SS_conc_lake;
  std::vector<double> SS_conc_vol_lake;
  std::vector<double> SS_vol_lake;
  std::vector<double> SS_vol_lake_settled;
  std::vector<double> SS_vol_chan_to_lake;
  std::vector<double> SS_vol_lake_to_chan;
  std::vector<double> GLOBAL_SS_vol_lake_to_chan;
  std::vector<double> GLOBAL_SS_vol_chan_to_lake;
  std::vector<double> GLOBAL_sed_vol_overland_to_lake;
  std::vector<double> GLOBAL_SS_vol_lake_settled;
  // Grid-stream exchange, [grid-stream cell][entry] like gst_link.
  std::vector<std::vector<double>> gst_qriv;
  std::vector<std::vector<double>> gst_qriv_vol;
  std::vector<double> gst_Vp;              // per node
  std::vector<double> lake_seepage_cell;   // per cell, with lakes that lose water to the ground
  // Channel constituents. [constituent][node key] and [constituent][lake] tables are node
  // matrices (row = constituent); [constituent][key][class] tables are flat under
  // (constituent * chan_slot_count + key) * (classes + 1) + class, and [constituent][lake][class]
  // under (constituent * (nlakes + 2) + lake) * (classes + 1) + class. The per-constituent node
  // concentration, mass and dispersion lists (chan_node_conc, chan_node_mass, chan_disp) are row
  // lists of the quality record: nutrient rows are the nutrient module's own.
  node_matrix<double> chan_tvx_source;
  node_matrix<double> q_node_mass;
  node_matrix<double> chan_point_mass_flux;
  node_matrix<double> conc_qlat;
  node_matrix<double> chan_qlat_mass;
  node_matrix<double> chan_node_decay_coef;  // 1/s (the card is chan_decay_coef)
  node_matrix<double> chan_mass;
  node_matrix<double> chan_gw_mass;
  node_matrix<double> dissolved_chan_flux;
  node_matrix<double> qriv_mass;           // with stream-aquifer exchange
  node_matrix<double> lake_tvx_source;     // per lake
  node_matrix<double> lake_decay_coef;     // 1/s
  node_matrix<double> lake_chan_inflow_mass;
  node_matrix<double> lake_ov_inflow_mass;
  node_matrix<double> lake_point_mass;
  node_matrix<double> lake_decay_mass;
  node_matrix<double> lake_precip_mass;
  node_matrix<double> lake_gw_mass;
  node_matrix<double> lake_chan_outflow_mass;
  node_matrix<double> lake_chan_exchange_mass;
  std::vector<double> lake_con_mass_initial;  // per constituent, kg
  // Sediment-bound contaminants.
  std::vector<double> chan_soil_water_partition;  // per constituent
  node_matrix<double> chan_tot_node_mass;
  node_matrix<double> chan_node_fraction_dissolved;
  node_matrix<double> chan_node_sed_source_mass;
  node_matrix<double> attached_chan_flux;
  std::vector<double> chan_qlat_sed_mass;       // [constituent][key][class]
  std::vector<double> chan_sed_contam_node_conc;
  std::vector<double> chan_sed_fract_attached;
  std::vector<double> lake_sed_contam_dmt;      // per constituent
  std::vector<double> event_ov_lake_sed_contam_mass;
  std::vector<double> event_chan_lake_sed_contam_mass;
  std::vector<double> event_lake_sed_contam_source_mass;
  std::vector<double> event_lake_settled_sed_mass;
  std::vector<double> OV_LAKE_SED_CONTAM_MASS;
  std::vector<double> CHAN_LAKE_SED_CONTAM_MASS;
  std::vector<double> LAKE_SED_CONTAM_SOURCE_MASS;
  std::vector<double> LAKE_SETTLED_SED_MASS;
  node_matrix<double> ov_lake_sed_source;       // per lake
  node_matrix<double> chan_lake_sed_source;
  node_matrix<double> lake_tot_mass;
  node_matrix<double> lake_settled_sed_mass;
  node_matrix<double> lake_sed_contam_source;
  node_matrix<double> lake_fraction_dissolved;
  std::vector<double> lake_sed_contam_conc;     // [constituent][lake][class]
  std::vector<double> lake_sed_fract_attached;
  // Sorbed mass leaving each node (key) in the current update, for the constituent being routed.
  std::vector<double> chan_sed_con_flux;
  checked_file chan_contam_out_fp;              // channel contaminant output
  // Output location lists, 1-based with their counts.
  int32_t gw_flux_point_count = 0;
  std::vector<int32_t> gwflink;
  std::vector<int32_t> gwfnode;
  int32_t cell_output_count = 0;
  std::vector<int32_t> celrowloc;
  std::vector<int32_t> celcolloc;
  std::vector<int32_t> slink;              // sediment hydrograph points
  std::vector<int32_t> snode;
  int32_t sjunc_count = 0;
  std::vector<int32_t> sjunc;              // superjunctions written
  int32_t sl_location_count = 0;
  std::vector<int32_t> sl_link;            // superlink nodes written
  std::vector<int32_t> sl_node;
  // Lumped-model shares of the channel cells.
  std::vector<double> sac_cell_weight;     // per cell
  double sac_chan_cell_count = 0.0;
  double topo_dex_chan_sum = 0.0;
  double gst_length_sum = 0.0;             // m
  double sac_weight_sum = 0.0;
  double cgw_weight_sum = 0.0;

  // ---- link flow, structure and low-spot fields ----
  // With the outlet stage imposed: the flow (m3/s) that the change of the imposed stage over the
  // channel step asks of the outlet node. The channel phase sets it once per update; every
  // evaluation of the link flows adds the inflows of the outlet node to it.
  double outlet_storage_flow = 0.0;

  // ---- routing and channel phase fields ----
  double chan_lat_net_total = 0.0;    // chan_lat_in_volume + chan_lat_out_volume, m3
  double outlet_volume = 0.0;         // m3 through the channel outlet, event
  double outlet_volume_total = 0.0;   // m3 through the channel outlet, run
  int32_t chan_step_count = 0;        // channel routing calls made
  double chan_point_total = 0.0;      // m3 of channel point inputs
  int32_t stream_gw_exchange_state = 0;  // 0 none, 1 a gaining node, 2 only losing nodes
  int32_t lake_exchange_seen = 0;     // a lake took or gave water before the routing
  int32_t lake_routing_active = 0;    // a lake took or gave water in the routing
  int32_t lake_gw_seen = 0;           // lake-aquifer exchange moved water (groundwater step)
  int32_t lake_water_present = 0;     // some lake holds water
  int32_t superlink_active = 0;       // the superlink solve put water into the channels

  // ---- channel-lake extent and evaporation ----
  std::vector<double> lake_flooded_volume;        // per lake: m3 taken from the cells it flooded
  std::vector<int32_t> lake_saved_boundary_type;  // per cell: overland boundary type before a lake took it
  int32_t lake_extent_warned = 0;                 // the maximum-extent warning has been printed
  // ---- channel lake fields ----

  // ---- channel sediment step fields ----
  // Sediment moved from the grid-stream cells into the channels, m3 per class 1..classes; slot 0
  // sums the wash-load classes. Run and event totals.
  std::vector<double> ov_to_chan_sed_total;
  std::vector<double> event_sed_to_chan;
  // Sediment-bound constituent mass moved with it, kg per constituent (with SEDIMENT_CONTAM).
  std::vector<double> attached_to_chan_total;
  std::vector<double> event_attached_to_chan;
  // Left by the channel sediment transport for this update: sand delivered to the channels per
  // class (m3), the outlet outflow of each sand position 1..sand classes + 1 and of the wash
  // load (m3/s), each node's discharge per class (m3/s, [key][class] like qlat_sed; slot 0 the
  // sand of the bed laid at set-up), and per lake the sand it received per class ([lake][class];
  // slot 0 the bed laid at set-up) and the sand sent to the lakes per position. Sand positions
  // 1..sand classes are the sand classes in class order, position sand classes + 1 the bed laid
  // at set-up (slot classes + 1 of ch_sand_vol).
  std::vector<double> chan_sand_inflow;
  std::vector<double> chan_sand_outflow;
  double chan_wash_outflow = 0.0;
  std::vector<double> qsmax;
  std::vector<double> lake_sand_inflow;
  std::vector<double> lake_sand_outflow;
  // Sand and wash-load totals of the channels, m3: run and event.
  double sand_to_chan_total = 0.0;
  double event_sand_to_chan = 0.0;
  double sand_out_total = 0.0;
  double event_sand_out = 0.0;
  double wash_out_total = 0.0;
  double event_wash_out = 0.0;
  double sand_to_lakes_total = 0.0;
  double event_sand_to_lakes = 0.0;
  double max_wash_outflow_rate = 0.0;  // m3/s, run
  // Sand and suspended wash load in the channels when the event began, m3.
  double event_start_sand = 0.0;
  double event_start_wash = 0.0;
  // Per lake, wash load of the event, m3: lake to channel, channel to lake, overland to lake less
  // lake to overland, settled; and the suspended sediment when the event began.
  std::vector<double> event_lake_ss_to_chan;
  std::vector<double> event_chan_ss_to_lake;
  std::vector<double> event_ov_ss_to_lake;
  std::vector<double> event_lake_ss_settled;
  std::vector<double> event_start_lake_ss;
  // Work storage of the channel sand and suspended-sediment transport, sized with the sediment
  // arrays of each run: the sand transport capacity per node key (m3/s, signed with the flow),
  // and per key and class ([key][class] like ch_wash_vol) the averaged face volumes of the last
  // step (m3) and the predictor's face volumes, suspended volumes and concentrations.
  std::vector<double> chan_sand_capacity;
  std::vector<double> advect_flux;
  std::vector<double> temp_flux;
  std::vector<double> temp_mass;
  std::vector<double> temp_conc;
};

}  // namespace pluvo
