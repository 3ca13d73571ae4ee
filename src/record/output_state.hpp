#pragma once
// Output and reporting fields of the model record.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/grid.hpp"
#include "record/coupling_state.hpp"

namespace pluvo {

class analyzer;  // the output family's threshold tests

// One gridded output series: the values it writes and where, set up by the set-up phase and
// opened by the output family.
struct map_series_writer {
  const double* values = nullptr;  // per cell 1..N
  const grid<int>* cell_map = nullptr;
  int rows = 0;
  int cols = 0;
  double north = 0.0;
  double south = 0.0;
  double east = 0.0;
  double west = 0.0;
  double cell_size = 0.0;
  double nodata = -999.99;  // kept for the callers; an ASCII grid writes its own no-data value
  int precision = 0;        // handed on to the writer, which gives it its use
  double conversion = 1.0;  // likewise
  int output_type = 0;      // 1 ASCII grid per output time, 2 ASCII dataset, 3 binary dataset, else none
  std::string name;               // directory of the series (a grid file name starts with it)
  std::string extension;          // name part after the prefix
  std::string dataset_extension;  // file extension
  std::string dataset_name;       // prefix of the grid files and NAME of the dataset
  int series_number = 0;          // object id of the dataset
  int file_number = 1;            // number of the next grid file
  checked_file file;
  // Accumulation before each step (off unless an owner sets it): per row r = 1..outer_count the
  // sum of source_a[r][1..inner_count] (and of source_b), and their difference.
  int accumulate_on = 0;
  int difference_on = 0;
  int inner_count = 0;
  int outer_count = 0;
  const double* const* source_a = nullptr;
  const double* const* source_b = nullptr;
  std::vector<double> sum_a;
  std::vector<double> sum_b;
  std::vector<double> difference;
  unsigned char sums_out_of_range[3] = {0, 0, 0};  // sum_a, sum_b, difference
};

// One link/node output series of the channel network.
struct linknode_series_writer {
  int layout_code = 0;                  // the series kind (kind line of the header)
  const double* values = nullptr;       // flat per link and node (layout 1)
  const double* const* matrix_values = nullptr;  // [node][link] (layout 2)
  const double* lake_values = nullptr;  // per lake, with channel lakes
  double scale = 1.0;                   // the factor values are divided by (multiplied, layout 2)
  checked_file file;
  int series_step = 0;
  int layout = -1;  // 1 flat, 2 matrix, -1 not set
  int link_count = 0;
  int stride = 0;   // node extent of the flat key
  int lake_count = 0;
  const int32_t* node_count = nullptr;         // per link (nx1)
  const int32_t* output_node_count = nullptr;  // per link (og_nx1)
  const int32_t* link_type = nullptr;          // per link (ltype)
  const int32_t* lake_of_link = nullptr;       // per link
  const double* second_array = nullptr;        // bed elevations, flat
  std::vector<double> node_values;             // flat link * stride + node, zero at set-up
  std::vector<double> lake_step_values;        // per lake, 1..lake_count
};

// The four outputs of one contaminant written with ALL_CONTAM_OUTPUT.
struct contaminant_output_writers {
  int constituent = 0;
  map_series_writer conc;
  map_series_writer mass;
  linknode_series_writer chan_conc;
  linknode_series_writer chan_mass_series;
};

// The nutrient map and link/node writers: the overland nitrogen and phosphorus totals, the mass
// and concentration of each of the nine nutrient constituents (NO2 .. DO) on the cells and along
// the streams, and the stream nitrogen, Kjeldahl nitrogen and phosphorus totals.
struct tvx_map_writers {
  map_series_writer total_ov_n;
  map_series_writer total_ov_p;
  map_series_writer ov_mass_maps[9];
  map_series_writer ov_conc_maps[9];
  linknode_series_writer total_chan_n;
  linknode_series_writer total_chan_kn;
  linknode_series_writer total_chan_p;
  linknode_series_writer st_mass[9];
  linknode_series_writer st_conc[9];
};

struct output_state {
  std::vector<contaminant_output_writers> contaminant_writers;  // from 1; element 0 unused
  int contam_map_writer_count = 0;
  int contam_chan_writer_count = 0;
  int hydrograph_link_count = 0;
  int sed_hydrograph_point_count = 0;
  std::vector<int32_t> hnode;  // per hydrograph point (from 1): channel node
  std::vector<int32_t> hlink;  // per hydrograph point (from 1): channel link

  // Record defaults.
  int float_grass_maps = 1;  // the summary says floating-point maps were read
  int satsource_out_on = 1;  // write the saturated-source map at the end when exfiltration is possible
  double hydrograph_time = 0.0;   // time column of long-term lines
  int hydrograph_line_count = 0;  // outlet hydrograph lines written
  // Locations of the cell, overland depth and soil-moisture files (cell numbers).
  std::vector<int> gnumlocater;
  std::vector<int> overland_depth_cells;
  std::vector<int> overland_wse_cells;
  std::vector<int> theta_cells;
  // Event figures closed at the end of each event (m3, m3/s).
  double lake_volume_final = 0.0;
  double event_input_volume = 0.0;
  double event_output_volume = 0.0;
  double event_balance_error = 0.0;  // fraction; -1 when nothing came in
  // Stores at the start of the run (m3).
  double lake_volume_initial_run = 0.0;
  // Whole-run balance.
  double boundary_gain_sum = 0.0;
  double boundary_loss_sum = 0.0;
  double total_initial_storage = 0.0;
  double total_final_storage = 0.0;
  double overall_error_pct = 0.0;
  double surface_error_pct = 0.0;
  double simple_soil_error_pct = 0.0;
  double olake_error_volume = 0.0;
  double lake_error_volume = 0.0;
  double drain_error_volume = 0.0;
  int map_out_chan_discharge = 0;
  // The analyzers of the ANALYZERS file in file order, built after the set-up; released with the record.
  std::vector<std::shared_ptr<analyzer>> analyzer_list;
  int omba_exchange_on = 0;
  std::string omba_control_file;  // "exchange/" + the OMBA card's name
  int32_t hyd_write_steps = 0;     // hydrograph written every this many steps
  int32_t map_write_steps = 0;     // maps written every this many steps
  // Working settings from the run parameters.
  std::string crop_fact_from_omba_path;
  std::string crop_fact_to_omba_path;
  std::string erosivity_from_omba_path;
  std::string erosivity_to_omba_path;
  std::string et_demand_from_omba_path;
  std::string in_hyd_location_path;
  int ksat_from_omba_on = 0;
  int ksat_to_omba_on = 0;
  std::string ksat_to_omba_path;
  std::string lake_output_path;
  int map_out_chan_depth = 0;
  int map_out_chan_sed_flux = 0;
  int map_out_depth = 0;
  int map_out_dis_rain = 0;
  int map_out_discharge = 0;
  int map_out_gw_recharge_cum = 0;
  int map_out_gw_recharge_inc = 0;
  int map_out_inf_depth = 0;
  int map_out_ov_con = 0;
  int map_out_rate_of_infil = 0;
  int map_out_surf_moist = 0;
  int map_output_on = 0;
  int map_output_type2 = 0;
  int map_type_zero_on = 0;
  int moist_from_omba_on = 0;
  int moist_to_omba_on = 0;
  std::string moist_to_omba_path;
  std::string net_erosion_to_omba_path;
  int omba_first_on = 0;
  std::string omba_ksat_file;
  std::string omba_roughness_file;
  std::string omba_soil_moisture_file;
  std::string outlet_hydro_path;
  std::string overland_depth_location_path;
  std::string overland_depths_path;
  std::string overland_wse_location_path;
  std::string overland_wse_path;
  int poros_to_omba_on = 0;
  std::string poros_to_omba_path;
  std::string rainfall_mmph_path;
  int rough_from_omba_on = 0;
  int rough_to_omba_on = 0;
  std::string rough_to_omba_path;
  std::string runoff_mmph_path;
  std::string sig_outlet_hydro_path;
  std::string summary_path;
  int vok_hydro_on = 0;
  std::string vok_hydro_path;
  // Q4_FLUXES: the segment map and the sums of the segment flux file.
  q4_data q4;
  // With Richards infiltration, per soil-moisture location (from 0, as theta_cells): how many
  // soil nodes it reports, and which.
  std::vector<int> cell_num;
  std::vector<std::vector<int>> theta_soil_nodes;
  // Map outputs: numbered grid sets written so far (MAP_TYPE 0), the snow-temperature series and
  // a per-cell work map.
  int map_index = 0;
  map_series_writer snow_temp_writer;
  std::vector<double> map_work;
  // Step records written so far to each stream link/node series (the next record's number).
  int chan_depth_series_step = 0;
  int chan_discharge_series_step = 0;
  int chan_velocity_series_step = 0;
  int chan_stage_series_step = 0;
  tvx_map_writers tvx_writers;  // with NUTRIENTS
  // ---- time series and end-of-run file fields ----
  // Step records written so far to the sediment-flux and superlink series.
  int chan_sed_flux_series_step = 0;
  int superlink_flow_series_step = 0;
  int superlink_head_series_step = 0;
  int superlink_tile_series_step = 0;

  // ---- transport summary fields ----
  // m3 of water that carried overland sediment into the superlinks this event (pipe network).
  double sed_water_to_superlinks = 0.0;
  // Constituent amounts (kg) of one constituent, booked by the transport code, that the summary
  // blocks read beside the overland and soil arrays of the quality record: one set per event
  // (cleared by the transport code when an event begins) and one for the run.
  struct constituent_terms {
    // Soil column: starting mass, seepage up from groundwater, exfiltration loss, uptake, the
    // nutrient uptake and decay, sediment eroded (-) or deposited (+).
    double soil_initial = 0.0, soil_seep_up = 0.0, soil_exfil = 0.0, soil_uptake = 0.0;
    double soil_tvx_uptake = 0.0, soil_tvx_decay = 0.0, soil_sed_exchange = 0.0;
    // Overland: nutrient kinetics gain and loss, flux into lakes, sediment source, attached mass
    // leaving (into the streams, or through the outlet without channels).
    double ov_tvx_gain = 0.0, ov_tvx_loss = 0.0, ov_to_lake = 0.0, ov_sed_source = 0.0, ov_attached_out = 0.0;
    // Channels, dissolved: starting mass (event), gains and losses.
    double chan_initial = 0.0, chan_from_ov = 0.0, chan_point = 0.0, chan_tvx_gain = 0.0, chan_tvx_loss = 0.0;
    double chan_from_lake = 0.0, chan_lake_exchange = 0.0, chan_gw = 0.0, chan_sed_exchange = 0.0;
    double chan_to_lake = 0.0, chan_out = 0.0, chan_decay = 0.0;
    double attached_out = 0.0;  // attached mass through the channel outlet
    // Lakes: starting mass (event), precipitation, overland, point and groundwater gains, decay,
    // exchange with the attached mass.
    double lake_initial = 0.0, lake_precip = 0.0, lake_from_ov = 0.0, lake_point = 0.0, lake_gw = 0.0;
    double lake_decay = 0.0, lake_sed_exchange = 0.0;
  };
  std::vector<constituent_terms> event_constituent_terms;  // per constituent 1..num_constituents
  std::vector<constituent_terms> run_constituent_terms;
  // Final stores per constituent, kg: soil column, channel water and attached, lakes, overland
  // attached and attached + dissolved.
  std::vector<double> soil_mass_final;
  std::vector<double> chan_mass_final;
  std::vector<double> chan_attached_final;
  std::vector<double> lake_mass_final;
  std::vector<double> ov_attached_final;
  std::vector<double> ov_total_final;
  // Balance errors stored back by the summaries, percent per constituent.
  std::vector<double> soil_mass_error;
  std::vector<double> chan_mass_error;
  std::vector<double> lake_mass_error;
  // The nutrient kinetics totals of the run (dm/dt in and out), kg.
  double tvx_dmdt_in_total = 0.0;
  double tvx_dmdt_out_total = 0.0;
};

}  // namespace pluvo
