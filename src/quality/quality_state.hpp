#pragma once
// Sediment and water-quality fields of the model record.

#include <vector>

namespace pluvo {

struct quality_state {
  int ov_con_trans_on = 0;
  int chan_con_trans_on = 0;
  int all_contam_output_on = 0;  // run's copy of ALL_CONTAM_OUTPUT
  int soil_con_trans_on = 0;
  int contam_table_on = 0;
  int soil_erosion_on = 0;
  int sed_constituent_mode = 0;
  double ov_con_outlet_volume = 0.0;  // m3 of outlet outflow for contaminant accounting
  // Contaminant clocks, Julian days.
  double ov_con_next_time = 0.0;
  double ov_con_clock_b = 0.0;
  double ov_con_clock_c = 0.0;
  double ov_con_clock_d = 0.0;
  double ov_con_interval_s = 0.0;
  double ov_con_interval = 0.0;
  double con_clock_chan = 0.0;
  double con_clock_nochan = 0.0;
  double soil_con_next_time = 0.0;
  // Water volumes per cell that carry constituents, m3.
  std::vector<double> ov_infil_volume_cell;
  std::vector<double> ov_gw_volume_cell;
  std::vector<double> soil_gw_volume_cell;
};

}  // namespace pluvo
