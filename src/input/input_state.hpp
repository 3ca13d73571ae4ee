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
