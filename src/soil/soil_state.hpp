#pragma once
// Fields of the model record owned by this process family.
#include <vector>

namespace pluvo {

struct soil_state {
  // Green and Ampt wetting front per cell, m.
  std::vector<double> infil_depth;       // cumulative infiltrated depth F
  std::vector<double> infil_depth_prev;  // F at the end of the previous update
  std::vector<double> infil_rate;        // cm/h of the last update
  std::vector<double> cum_infil_depth;   // m since the start of the run
  std::vector<double> sm_infil_depth;    // m, for soil-moisture accounting
  double infil_volume_total = 0.0;       // m3
  double sac_infil_depth_sum = 0.0;
  double cgw_infil_depth_sum = 0.0;
  int infil_step_count = 0;
  int inf_redist_initialized = 0;
  double soil_moist_depth_cm = 0.0;
  // Richards soil columns: thickness-weighted mean conductivity (cm/h) and thickness (cm).
  std::vector<double> avgks;
  std::vector<double> totaldz;
};

}  // namespace pluvo
