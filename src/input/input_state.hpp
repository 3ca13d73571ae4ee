#pragma once
// Project options and the files the project names. The three option blocks are bases, so
// every card field is reached by its own name (m.timestep, m.albedo_file).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "input/option_blocks.hpp"

namespace pluvo {

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
  int32_t permafrost_gipl_on = 0;
  int32_t multi_layer_infil_gipl_on = 0;

  // Grid.
  int32_t cell_count = 0;
  double cell_size = 0.0;                  // m
  std::vector<double> elevation;           // per cell, m
  std::vector<int32_t> soiltype;           // per cell, soil class
  int32_t wetland_on = 0;
  std::vector<int32_t> wetland_mask;       // per cell, wetland number or 0
  // Per wetland (from 1): eight values, the first the initial depth, the eighth the
  // depth by which the cell's ground lies below the map elevation (m).
  std::vector<std::array<double, 8>> wetland_properties;
  // Run switches and units of the project cards.
  int strict_julian_date_on = 0;
  int units_flag = 0;             // 0: elevation and grid size in metres
  // Precipitation options.
  int rain_inv_distance_on = 0;
  int rain_thiessen_on = 0;
  // Process switches.
  int chan_apfa_on = 0;
  int chan_trap_preiss_on = 0;
  int chan_table_preiss_on = 0;
  int chan_table_on = 0;
  int uniform_moisture_on = 0;
  int retention_map_on = 0;
  int retention_uniform_on = 0;
  int stream_loss_on = 0;
  int lake_gw_exchange_on = 0;
  int ov_boundary_on = 0;
  int ov_boundary2_on = 0;  // the second overland boundary switch
  int snow_canopy_intercept_on = 0;
  int chan_point_input_on = 0;
  int point_source_sink_on = 0;
  int dike_map_on = 0;
  int lowspot_on = 0;
  int grass_input_maps_on = 0;
  // Output switches.
  int runoff_mmph_on = 0;
  int rainfall_mmph_on = 0;
  int sig_outlet_hydro_on = 0;
  int gwflux_location_on = 0;
  int celldepdis_location_on = 0;
  int theta_out_on = 0;
  int lake_output_on = 0;
  int overland_depths_on = 0;
  int overland_wse_on = 0;
  int sed_hydro_locations_on = 0;
  int superlink_junc_flow_on = 0;
  int superlink_node_flow_on = 0;
  int map_type_zero_on = 0;
  int map_output_on = 0;
  int map_output_type2 = 0;
  int map_out_depth = 0;
  int map_out_discharge = 0;
  int map_out_dis_rain = 0;
  int map_out_inf_depth = 0;
  int map_out_rate_of_infil = 0;
  int map_out_surf_moist = 0;
  int map_out_gw_recharge_cum = 0;
  int map_out_gw_recharge_inc = 0;
  int map_out_chan_depth = 0;
  int net_sed_volume_on = 0;
  int vol_sed_susp_on = 0;
  int max_sed_flux_on = 0;
  int map_out_chan_sed_flux = 0;
  // Line-per-output-time files, opened with the project's files.
  checked_file outlet_hydrograph_fp;
  checked_file hydrograph_6digit_fp;
  checked_file runoff_mmh_fp;
  checked_file basin_rain_mmh_fp;
  checked_file out_dep_dis_fp;
  checked_file out_theta_location_fp;
  checked_file overland_depth_out_fp;
  checked_file overland_wse_out_fp;
  checked_file lake_output_fp;

  // Fixed by the time options from the ROWS, COLS, OUTROW, OUTCOL, OUTSLOPE, LATITUDE,
  // LONGITUDE and GMT cards.
  int project_rows = 0;
  int project_cols = 0;
  int mask_rows = 0;
  int mask_cols = 0;
  int outlet_row = 0;
  int outlet_col = 0;
  double outlet_slope = 0.0;
  double site_latitude = 0.0;
  double site_longitude = 0.0;
  double gmt_offset = 0.0;
  // One flag per grid mapping table found in the mapping-table file, indexed by table id.
  int grid_table_presence[37] = {};
};

}  // namespace pluvo
