#pragma once
// Output and reporting fields of the model record.
#include <cstdint>
#include <string>
#include <vector>

namespace pluvo {

struct output_state {
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
  std::vector<int> theta_cells;
  // Event figures closed at the end of each event (m3, m3/s).
  double lake_volume_final = 0.0;
  double event_input_volume = 0.0;
  double event_output_volume = 0.0;
  double event_balance_error = 0.0;  // fraction; -1 when nothing came in
  // Stores at the start of the run (m3).
  double soil_volume_initial_run = 0.0;
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
  int omba_exchange_on = 0;
  std::string omba_control_file;  // "exchange/" + the OMBA card's name
  int32_t hyd_write_steps = 0;     // hydrograph written every this many steps
  int32_t map_write_steps = 0;     // maps written every this many steps
};

}  // namespace pluvo
