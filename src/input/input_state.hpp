#pragma once
// Project options and the files the project names.
#include <array>
#include <vector>

#include "common/checked_file.hpp"
#include "common/grid.hpp"

namespace pluvo {

struct input_state {
  checked_file summary_fp;  // run summary; the error log once open

  // Grid and cell numbering.
  int cell_count = 0;                 // N, active cells 1..N in row-major order
  double cell_size = 0.0;             // m
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
  std::vector<double> elevation;      // m
  std::vector<double> slope_x;        // ground slope toward rightcon, positive downhill
  std::vector<double> slope_y;        // ground slope toward belowcon, positive downhill
  int outlet_cell = 0;
  double outlet_slope = 0.0;          // at least 1e-9

  // Overland surface properties.
  std::vector<double> retent_dep;     // m
  std::vector<double> dist_rough;     // Manning n in use
  std::vector<double> dist_rough_copy;
  int snow_roughness_on = 0;
  double snow_roughness_value = 0.0;
  int dike_map_on = 0;
  std::vector<int> dike_mask;         // side bits 1 top, 2 right, 4 bottom, 8 left
  int wetland_on = 0;
  std::vector<int> wetland_mask;      // wetland id per cell, 0 none
  std::vector<std::array<double, 8>> wetland_properties;  // per wetland id
  int flood_grid_on = 0;
  int adjust_elev_on = 0;
  int snow_calibrate_on = 0;
  int area_reduction_on = 0;
  std::vector<double> area_reduction_factor;
  int ovr_flow_block_on = 0;
  std::vector<double> ovr_flow_block_value1;  // blocked fraction of the cell

  // Soil properties and infiltration method switches.
  int green_ampt_on = 0;
  int inf_redist_on = 0;
  int inf_layered_soil_on = 0;
  int inf_richards_on = 0;
  int soil_moisture_accounting_on = 0;
  int sacramento_on = 0;
  int conceptual_gw_on = 0;
  std::vector<int> soiltype;
  std::vector<double> ks_cell;        // m/s
  std::vector<double> hc_cell;        // capillary head, m
  std::vector<double> porosity_cell;
  std::vector<double> initial_moisture_cell;
};

}  // namespace pluvo
