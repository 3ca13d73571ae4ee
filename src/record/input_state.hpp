#pragma once
// Project options, the files the project names, and the grid the inputs are read onto. The
// three option blocks the cards fill are bases, so every option is reached by its card's name.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/grid.hpp"
#include "common/node_matrix.hpp"
#include "record/option_blocks.hpp"

namespace pluvo {

// One low spot of an overland flow dike, as the low-spot file gives it.
struct lowspot_record {
  int row = 0;
  int col = 0;
  int direction = 0;      // 1 top, 2 right, 4 bottom, 8 left
  double fraction = 0.0;  // of the cell size
  double elevation = 0.0; // m
  int cell = 0;
  double flow = 0.0;      // m3/s passed at the last evaluation (channel low-spot weir)
};

struct input_state : option_files_block, run_parameters_block, precip_options_block {
  checked_file summary_fp;  // run summary; the error log once open
  checked_file raingage_fp;  // precipitation file
  checked_file optimize_output_fp;
  std::string optimize_output_file_name;
  std::string precip_path;

  // Working switches and values from the run parameters.
  int32_t long_term_on = 0;
  int32_t uniform_rain_on = 0;
  int32_t precip_on = 0;
  int32_t total_time_min = 0;  // TOT_TIME
  int32_t qir_mode = 0;
  int32_t qir_event_call = 0;
  int32_t qir_event_number = 0;
  int32_t hyd_location_on = 0;

  // Grid.
  int32_t cell_count = 0;
  double cell_size = 0.0;                  // m
  std::vector<double> elevation;           // per cell, m
  std::vector<int32_t> soiltype;           // per cell, soil class
  int32_t wetland_on = 0;
  std::vector<int32_t> wetland_mask;       // per cell, wetland number or 0
  int32_t wetland_count = 0;
  // Per wetland (from 1): eight values, the first the initial depth, the eighth the
  // depth by which the cell's ground lies below the map elevation (m).
  std::vector<std::array<double, 8>> wetland_properties;

  // Run switches and units of the project cards.
  int strict_julian_date_on = 0;
  int units_flag = 0;             // 0: elevation and grid size in metres

  // Process switches.
  int chan_apfa_on = 0;
  int chan_trap_preiss_on = 0;
  int chan_table_preiss_on = 0;
  int chan_table_on = 0;
  int lake_gw_exchange_on = 0;
  int ov_boundary2_on = 0;  // the second overland boundary switch
  int chan_point_input_on = 0;
  int point_source_sink_on = 0;
  int grass_input_maps_on = 0;

  // Grid description and cell numbering.
  int32_t mask_rows = 0;
  int32_t mask_cols = 0;
  double grid_north = 0.0;
  double grid_west = 0.0;
  grid<int32_t> cell_number_grid;  // 0 outside the watershed, else the cell number

  // Precipitation options.
  int32_t rainfall_mmph_on = 0;

  // Interception and retention.
  std::vector<double> icep_stor;  // storage capacity per cell, mm
  std::vector<double> icep_coef;  // fraction still intercepted once the store is full
  int32_t seasonal_rs_on = 0;
  int32_t rs_spring_month = 0;
  int32_t rs_fall_month = 0;
  int32_t rs_summer_start_month = 0;
  int32_t rs_summer_end_month = 0;
  double site_latitude = 0.0;

  // Snow and surface switches the rainfall application reads.
  double snow_px_temp = 0.0;  // degrees C at or above the air temperature: snow falls
  int32_t ovr_flow_block_on = 0;
  std::vector<double> ovr_flow_block_value1;  // blocked fraction of the cell's area
  // [cell][1..4]: blocked fraction of the face toward the above, right, below and left neighbour.
  node_matrix<double> ovr_flow_block_frac;

  // The project file of this run: an input that no output may overwrite.
  std::string project_file_path;

  // Files opened by open_project_files, closed by close_output_files or their readers.
  checked_file elevation_fp;
  checked_file watershed_mask_fp;
  checked_file soil_type_fp;
  checked_file moisture_map_fp;
  checked_file roughness_map_fp;
  checked_file conductivity_map_fp;
  checked_file contam_map_fp;
  checked_file capillary_map_fp;
  checked_file porosity_map_fp;
  checked_file pore_index_map_fp;
  checked_file residual_sat_map_fp;
  checked_file interception_storage_fp;
  checked_file interception_coeff_fp;
  checked_file retention_depth_fp;
  checked_file area_reduction_fp;
  checked_file hydrograph_location_fp;
  checked_file gw_flux_location_fp;
  checked_file dep_dis_location_fp;
  checked_file superlink_node_location_fp;
  checked_file superjunction_location_fp;
  checked_file superjunction_output_fp;
  checked_file superlink_node_output_fp;
  checked_file hmet_fp;
  checked_file orog_met_fp;
  checked_file albedo_map_fp;
  checked_file vheight_map_fp;
  checked_file tcoeff_map_fp;
  checked_file canopy_map_fp;
  checked_file wilting_point_map_fp;
  checked_file sed_hydrograph_location_fp;
  checked_file grid_stream_fp;
  checked_file dike_map_fp;
  checked_file lowspot_fp;
  checked_file overland_lake_map_fp;
  checked_file overland_lake_data_fp;
  checked_file sacramento_fp;
  checked_file conceptual_gw_fp;
  checked_file water_table_fp;
  checked_file bad_elevation_fp;
  checked_file aquifer_bottom_fp;
  checked_file depth_dataset_fp;
  checked_file discharge_dataset_fp;
  checked_file dis_rain_dataset_fp;
  checked_file gw_recharge_cum_dataset_fp;
  checked_file gw_recharge_inc_dataset_fp;
  checked_file inf_depth_dataset_fp;
  checked_file rate_of_infil_dataset_fp;
  checked_file surf_moist_dataset_fp;
  checked_file gw_head_dataset_fp;
  checked_file out_hydrograph_fp;
  checked_file out_gw_flux_fp;
  checked_file out_dep_dis_fp;
  checked_file out_dep_location_fp;
  checked_file out_con_location_fp;
  checked_file out_mass_location_fp;
  checked_file in_theta_location_fp;
  checked_file out_theta_location_fp;
  checked_file soil_layer_table_fp;
  checked_file sed_tss_hydrograph_location_fp;
  checked_file well_location_fp;
  checked_file ov_con_dataset_fp;
  checked_file chan_hotstart_out_fp;
  checked_file hydrograph_6digit_fp;
  checked_file lake_output_fp;
  checked_file basin_rain_mmh_fp;
  checked_file runoff_mmh_fp;
  checked_file out_chan_depth_fp;
  checked_file out_chan_discharge_fp;
  checked_file out_chan_velocity_fp;
  checked_file out_chan_stage_fp;
  checked_file out_stream_sed_flux_fp;
  checked_file link_map_fp;
  checked_file chan_input_fp;
  checked_file chan_hotstart_depth_in;
  checked_file chan_hotstart_flow_in;
  checked_file chan_hotstart_depth_out;
  checked_file chan_hotstart_flow_out;
  checked_file outlet_hydrograph_fp;
  checked_file drain_out_file;
  checked_file gw_boundary_fp;
  checked_file gw_hycond_fp;
  checked_file gw_porosity_fp;
  checked_file well_level_fp;
  checked_file overland_depth_loc_fp;
  checked_file overland_wse_loc_fp;
  checked_file overland_depth_out_fp;
  checked_file overland_wse_out_fp;
  checked_file evap_out_fp;
  checked_file permafrost_temperature_fp;
  checked_file permafrost_mask_fp;
  checked_file gw_flux_table_fp;
  checked_file flood_stream_fp;
  checked_file swe_hotstart_fp;
  checked_file ov_hotstart_fp;
  checked_file sm_hotstart_fp;
  checked_file ov_hotstart_out_fp;
  checked_file pipe_head_fp;
  checked_file pipe_tile_fp;
  checked_file pipe_flow_fp;
  checked_file total_chan_n_fp;
  checked_file total_chan_kn_fp;
  checked_file total_chan_p_fp;
  checked_file max_depth_map_fp;
  checked_file max_sed_flux_fp;
  checked_file net_sed_depth_dataset_fp;
  checked_file vol_sed_susp_fp;
  checked_file sed_outlet_hydro_file;
  checked_file sed_tss_loc_file;
  checked_file sed_outlet_tss_file;
  checked_file gw_hotstart_out_fp;
  checked_file sat_source_map_fp;
  checked_file vok_hydrograph_out_fp;
  checked_file vok_hydrograph_aux_in_fp;
  checked_file swe_dataset_fp;
  checked_file snow_depth_dataset_fp;
  checked_file nwsrfs_elev_snow_stream;

  // Working file names the run-parameter step copies from the cards.
  std::string out_hyd_location_path;

  // Working names and switches of the files opened at set-up (copied from the cards).
  std::string soil_type_map_path;
  std::string soil_layer_input_path;
  int moisture_map_on = 0;
  std::string moisture_path;
  int conductivity_map_on = 0;
  std::string conductivity_path;
  int capillary_map_on = 0;
  std::string capillary_path;
  int porosity_map_on = 0;
  std::string porosity_path;
  int pore_index_map_on = 0;
  std::string pore_index_path;
  int residual_sat_map_on = 0;
  std::string residual_sat_path;
  int albedo_map_on = 0;
  std::string albedo_path;
  int et_calc_penman_on = 0;
  int vheight_map_on = 0;
  std::string vheight_path;
  int tcoeff_map_on = 0;
  std::string tcoeff_path;
  int canopy_map_on = 0;
  std::string canopy_path;
  int wilting_point_map_on = 0;
  std::string wilting_point_path;
  int gwflux_location_on = 0;
  std::string in_gwflux_location_path;
  std::string out_gwflux_location_path;
  int celldepdis_location_on = 0;
  std::string in_celldepdis_location_path;
  std::string out_celldepdis_location_path;
  int superlink_junc_location_on = 0;
  int superlink_node_location_on = 0;
  int superlink_junc_flow_on = 0;
  int superlink_node_flow_on = 0;
  std::string superlink_junc_location_path;
  std::string superlink_node_location_path;
  std::string superlink_junc_flow_path;
  std::string superlink_node_flow_path;
  int dep_location_on = 0;
  int con_location_on = 0;
  int mass_location_on = 0;
  std::string out_dep_location_path;
  std::string out_con_location_path;
  std::string out_mass_location_path;
  int theta_out_on = 0;
  std::string cell_location_file;  // IN_THETA_LOCATION
  std::string out_theta_location_path;
  int chan_output_on = 0;
  int chan_discharge_output_on = 0;
  int chan_stage_output_on = 0;
  int chan_velocity_output_on = 0;
  int chan_sed_flux_output_on = 0;
  int flood_stream_on = 0;
  std::string flood_stream_name;
  int contam_map_on = 0;
  std::string contam_map_path;

  // Switches read by the grid set-up.
  int mapping_table_on = 0;
  int overland_depths_on = 0;
  int overland_wse_on = 0;
  int retention_map_on = 0;
  int retention_uniform_on = 0;
  double retention_value = 0.0;
  int roughness_map_on = 0;
  int area_reduction_on = 0;
  int runoff_mmph_on = 0;
  int sig_outlet_hydro_on = 0;
  int lake_output_on = 0;
  int dike_map_on = 0;
  int lowspot_on = 0;
  int flood_grid_on = 0;

  // Overland output locations.
  int overland_depth_count = 0;
  std::vector<int> overland_depth_row;
  std::vector<int> overland_depth_col;
  int overland_wse_count = 0;
  std::vector<int> overland_wse_row;
  std::vector<int> overland_wse_col;

  // Grid and outlet: fixed by the time options from the ROWS, COLS, OUTROW, OUTCOL, OUTSLOPE,
  // LATITUDE, LONGITUDE and GMT cards, and the header of the last map read.
  int project_rows = 0;
  int project_cols = 0;
  int outlet_row = 0;
  int outlet_col = 0;
  double outlet_slope = 0.0;
  double site_longitude = 0.0;
  double gmt_offset = 0.0;
  double grid_south = 0.0;
  double grid_east = 0.0;
  int grid_rows = 0;
  int grid_cols = 0;
  int map_header_kind = 0;  // 1 elevation, 2 mask

  // Cells: numbered 1..cell_count in row-major order; element 0 of every per-cell array is unused.
  grid<int> data_grid;
  std::vector<int> cell_row;
  std::vector<int> cell_col;
  std::vector<double> cell_x;  // cell centre, m east
  std::vector<double> cell_y;  // cell centre, m north
  double watershed_area = 0.0; // m2
  std::vector<double> exchange_buffer;
  int outlet_cell = 0;
  double watershed_max_elev = 0.0;
  double watershed_min_elev = 0.0;
  double hmet_reference_elevation = 0.0;
  int elev_scale_count = 0;

  // Neighbours: the number of the active cell on that side, or 0.
  std::vector<int> belowcon;
  std::vector<int> rightcon;
  std::vector<int> abovecon;
  std::vector<int> leftcon;
  // Face slopes fall positive towards east and south; centred slopes towards east and north.
  std::vector<double> slope_x;
  std::vector<double> slope_y;
  std::vector<double> slope_cx;
  std::vector<double> slope_cy;

  // Overland dikes and their low spots.
  std::vector<int> dike_mask;  // bits of the dike sides: 1 top, 2 right, 4 bottom, 8 left
  std::vector<lowspot_record> lowspot_records;  // entries 1..lowspot_count
  int lowspot_count = 0;
  std::vector<int> low_spot_flow_cell;

  // Surface properties, per cell.
  std::vector<double> retent_dep;     // m
  std::vector<double> dist_rough;     // Manning n
  std::vector<double> roughness_exp;
  int roughness_exp_on = 0;           // 1 when some cell's exponent is non-zero; set once per run
  // Soil properties of the Green and Ampt schemes, per cell.
  std::vector<double> ks_cell;        // m/s
  std::vector<double> hc_cell;        // capillary head, m
  std::vector<double> pore_index_cell;
  std::vector<double> field_capacity_cell;
  std::vector<double> wilting_point_cell;
  std::vector<double> ov_mann_exp;
  std::vector<double> dist_rough_copy;
  std::vector<double> area_reduction_factor;
  double snow_roughness_value = 0.0;

  // Mapping tables: one flag per grid mapping table found in the mapping-table file, indexed
  // by table id, and the working names the run parameters copy from the cards.
  int grid_table_presence[37] = {};
  std::string elevation_path;
  std::string mapping_table_path;
  int st_mapping_table_on = 0;
  std::string st_mapping_table_path;
  std::string watershed_mask_path;
  int stream_table_presence[6] = {};  // roughness, TVX N, P, other, C, dispersion
};

// The share of a cell's area that flow blockage leaves open. Water on a blocked cell stands
// on that share only: the cell holds ov_depth x open share x cell area. A cell blocked whole
// keeps the share 1, as the depth updates treat it.
inline double open_share(const input_state& s, int32_t cell) {
  if (!s.ovr_flow_block_on || s.ovr_flow_block_value1.size() <= size_t(cell)) return 1.0;
  const double b = s.ovr_flow_block_value1[size_t(cell)];
  return b < 1.0 ? 1.0 - b : 1.0;
}

}  // namespace pluvo
