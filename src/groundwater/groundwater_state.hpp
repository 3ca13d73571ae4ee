#pragma once
// Fields of the model record owned by this process family.
#include <vector>

namespace pluvo {

struct groundwater_state {
  int gw_simulation_on = 0;
  int exfil_on = 0;                  // some cell's water table reaches the surface
  int superlink_surface_flag = 0;
  double gw_timestep_value = 0.0;    // s
  double gw_interval_s = 0.0;
  double gw_interval = 0.0;          // days
  double gw_next_time = 0.0;
  double gw_leakage_rate_value = 0.0;  // cm/h
  std::vector<int> yes_exfil;          // 1 where the water table reaches the surface
  std::vector<double> elevgw;          // water-table elevation, m
  std::vector<double> gw_porosity_cell;
  std::vector<double> exfil_depth_cell;  // m, positive upward
  double exfiltrated_volume_total = 0.0; // m3
};

}  // namespace pluvo
