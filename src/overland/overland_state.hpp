#pragma once
// Fields of the model record owned by this process family.
#include <vector>

namespace pluvo {

struct overland_state {
  std::vector<double> ov_depth;  // water depth per cell, m
  std::vector<double> ov_qx;     // cell discharges of the two directions, m3/s
  std::vector<double> ov_qy;
  std::vector<double> depth_map;  // depth of the last map output time
  double event_ov_outflow_volume = 0.0;  // outlet volume of the event, channels off
  double total_discharge_volume = 0.0;   // outlet volume of the run
  double ov_cleanup_volume = 0.0;        // water removed by the overland clean-up, run total
  double ov_cleanup_volume_start = 0.0;
  double ov_cleanup_volume_event = 0.0;
  // Overland boundary volumes: run totals, their values at the event start, event figures.
  double ov_head_bound_loss = 0.0;
  double ov_head_bound_gain = 0.0;
  double ov_slope_bound_loss = 0.0;
  double ov_q_bound_gain = 0.0;
  double ov_q_bound_loss = 0.0;
  double ov_q_bound_unmet = 0.0;
  double ov_head_bound_loss_start = 0.0;
  double ov_head_bound_gain_start = 0.0;
  double ov_slope_bound_loss_start = 0.0;
  double ov_q_bound_gain_start = 0.0;
  double ov_q_bound_loss_start = 0.0;
  double ov_q_bound_unmet_start = 0.0;
  double ov_head_bound_loss_event = 0.0;
  double ov_head_bound_gain_event = 0.0;
  double ov_slope_bound_loss_event = 0.0;
  double ov_q_bound_gain_event = 0.0;
  double ov_q_bound_loss_event = 0.0;
  double ov_q_bound_unmet_event = 0.0;
  double ov_point_source_volume = 0.0;  // event
  double ov_point_source_total = 0.0;   // run
  // BMP record totals, event and run.
  double bmp_precip_volume = 0.0;
  double bmp_from_ov_volume = 0.0;
  double bmp_to_ov_volume = 0.0;
  double bmp_to_gw_volume = 0.0;
  double bmp_precip_total = 0.0;
  double bmp_from_ov_total = 0.0;
  double bmp_to_ov_total = 0.0;
  double bmp_to_gw_total = 0.0;
  // Lakes.
  int nlakes = 0;
  std::vector<double> lake_elev;    // water-surface elevation per lake, 1..nlakes
  std::vector<double> lake_volume;  // m3 per lake
  std::vector<int> lake_mask;       // channel lake of each cell, 0 outside
  std::vector<int> olake_mask;      // overland lake of each cell, 0 outside
  std::vector<double> olake_wse;    // water-surface elevation of each overland lake
  double ov_to_lake_volume = 0.0;
  double ov_from_lake_volume = 0.0;
  double lake_evap_volume = 0.0;        // run total
  double lake_evap_volume_start = 0.0;
  double lake_evap_volume_event = 0.0;
  double olake_volume_initial = 0.0;
  double olake_volume_final = 0.0;
  double olake_inflow_total = 0.0;
  double olake_outflow_total = 0.0;
  std::vector<int> dike_overtopped;  // 1 where water went over a dike
};

}  // namespace pluvo
