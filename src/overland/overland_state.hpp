#pragma once
// Fields of the model record owned by this process family.
#include <vector>

namespace pluvo {

// Sub-step control of the explicit overland scheme. It lives in the run's record so
// that every run of a batch starts from the same state.
struct explicit_step_control {
  double reduced_substep = 0.0;  // s, chosen by the last division
  int calls_left = 0;            // further calls that start with the reduced sub-step
  int changed = 0;               // set while calls use the reduced sub-step
  int sweep_order = 0;           // flipped every call: 1 y before x, 0 x before y
};

struct overland_state {
  int overland_scheme = 2;  // OVERTYPE: 1 explicit, 2 ADE, 3 ADE with predictor-corrector

  // Water on the grid, per cell 1..N.
  std::vector<double> ov_depth;         // m
  std::vector<double> ov_depth_change;  // m, work array of the schemes
  std::vector<double> ov_qx;            // m3/s across the face toward rightcon, + away from the cell
  std::vector<double> ov_qy;            // m3/s across the face toward belowcon
  std::vector<double> ov_vol_x;         // face flows accumulated by the ADE scheme
  std::vector<double> ov_vol_y;
  std::vector<double> max_flood_depth;  // running maximum of ov_depth (FLOOD_GRID)

  // Flags the phase keeps.
  int ov_flow_present = 0;   // some non-lake cell has a face discharge above 1e-16
  int ov_water_on_land = 0;  // some non-lake cell holds more than 1e-16 m
  int ov_routed_steps = 0;
  int ade_sweep_order = 1;   // 1 or 2, alternates over routed steps
  int olake_extent_update = 0;
  int lake_exchange_active = 0;

  // Outlet outflow when channel routing is off.
  double outlet_discharge = 0.0;         // m3/s in this step
  double event_ov_outflow_volume = 0.0;  // m3
  double total_discharge_volume = 0.0;   // m3

  // Channel-lake flow totals booked by the phase, m3.
  double lake_rain_volume = 0.0;
  double ov_to_lake_volume = 0.0;
  double lake_outflow_volume = 0.0;
  double ov_from_lake_volume = 0.0;

  // Overland lakes, boundaries, pumps, BMPs, low spots.
  int overland_lakes_on = 0;
  std::vector<int> oland_lake_new;  // lake number per cell, 0 none
  int ov_boundary_on = 0;
  std::vector<int> boundary_type;   // per cell
  double ov_head_bound_gain = 0.0;  // m3
  double ov_head_bound_loss = 0.0;  // m3
  int ov_pump_flag = 0;
  int ov_bmp_on = 0;
  int bmp_water_present = 0;        // some BMP still holds water
  int lowspot_on = 0;
  int lowspot_count = 0;
  std::vector<int> low_spot_flow_cell;

  // Working arrays and step control of the explicit scheme, sized per run.
  explicit_step_control explicit_control;
  std::vector<double> explicit_saved_depth;  // depths at the start of the call
  std::vector<double> explicit_next_depth;   // depths after the current sub-step
  std::vector<double> explicit_transfer_x;   // m moved across each cell's x face in a sub-step
  std::vector<double> explicit_transfer_y;
};

}  // namespace pluvo
