#pragma once
// Project options and the files the project names. The three option blocks are bases, so
// every card field is reached by its own name (m.timestep, m.albedo_file).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/grid.hpp"
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

  // Used by overland routing and infiltration.
  int mask_rows = 0;
  int mask_cols = 0;
  double grid_north = 0.0;
  double grid_south = 0.0;
  double grid_east = 0.0;
  double grid_west = 0.0;
  grid<int> cell_number_grid;         // cell number per row and column, 0 outside the mask
  std::vector<int> rightcon;          // neighbour cell numbers, 0 none
  std::vector<int> belowcon;
  std::vector<int> leftcon;
  std::vector<int> abovecon;
  std::vector<double> slope_x;        // ground slope toward rightcon, positive downhill
  std::vector<double> slope_y;        // ground slope toward belowcon, positive downhill
  int outlet_cell = 0;
  double outlet_slope = 0.0;          // at least 1e-9
  std::vector<double> retent_dep;     // m
  std::vector<double> dist_rough;     // Manning n in use
  std::vector<double> dist_rough_copy;
  int snow_roughness_on = 0;
  double snow_roughness_value = 0.0;
  int dike_map_on = 0;
  std::vector<int> dike_mask;         // side bits 1 top, 2 right, 4 bottom, 8 left
  int flood_grid_on = 0;
  int adjust_elev_on = 0;
  int snow_calibrate_on = 0;
  int area_reduction_on = 0;
  std::vector<double> area_reduction_factor;
  int ovr_flow_block_on = 0;
  std::vector<double> ovr_flow_block_value1;  // blocked fraction of the cell
  std::vector<double> ks_cell;        // m/s
  std::vector<double> hc_cell;        // capillary head, m
};

}  // namespace pluvo
