#pragma once
// Groundwater and subsurface drain fields of the model record.
#include <cstdint>
#include <vector>

namespace pluvo {

struct groundwater_state {
  int32_t gw_simulation_on = 0;
  std::vector<double> elevgw;            // per cell: water-table elevation, m
  std::vector<double> bottom_elev;       // per cell: aquifer bottom, m
  std::vector<double> gw_porosity_cell;  // per cell
  std::vector<double> gw_inf_redist_theta;  // per cell: moisture below the soil column
  double gw_moisture_factor = 0.0;
  double gw_volume_initial = 0.0;        // m3
  double gw_column_initial = 0.0;        // m3 of water in the aquifer at the start
  int32_t storm_drain_on = 0;
  int32_t drain_network_active = 0;
  int32_t drain_link_count = 0;
  int32_t storm_sewer_on = 0;
  int32_t leaky_pipes_on = 0;
  int32_t superlink_running = 0;
  int32_t superlink_step_count = 0;

  // Record defaults.
  int gw_step_toggle = 1;  // alternates between 1 and 2 every groundwater step
  double gw_relax_coeff_value = 1.0;
  double gw_volume_final = 0.0;
  double gw_input_total = 0.0;            // unsaturated to saturated exchange
  double gw_recharge_total = 0.0;
  double gw_head_bound_flux = 0.0;
  double gw_deep_leakage = 0.0;
  double gw_pumping_total = 0.0;
  double gw_to_unsat_volume = 0.0;        // event, without recharge
  double gw_to_chan_volume = 0.0;         // event
  double chan_to_gw_volume = 0.0;
  double gw_to_lake_volume = 0.0;
  double lake_to_gw_volume = 0.0;
  double river_to_gw_total = 0.0;
  double gw_to_river_total = 0.0;
  double lake_to_gw_total = 0.0;
  double gw_to_lake_total = 0.0;
  double xy_gw_gain = 0.0;
  double xy_gw_loss = 0.0;
  int xy_gw_input_count = 0;
  int xy_gw_input_count2 = 0;
  double gw_error_pct = 0.0;
  // Pipe networks: superlink (first) and drain network, event and run volumes.
  double ov_to_superlink_volume = 0.0;
  double superlink_to_ov_volume = 0.0;
  double superlink_to_chan_volume = 0.0;
  double gw_to_tile_volume = 0.0;
  double drain_to_superlink_volume = 0.0;
  double ov_to_drain_volume = 0.0;
  double drain_to_ov_volume = 0.0;
  double drain_to_chan_volume = 0.0;
  double gw_to_drain_tile_volume = 0.0;
  int drain_tile_on = 0;
  double superlink_volume = 0.0;          // water held in the network
  double ov_to_superlink_total = 0.0;
  double superlink_to_ov_total = 0.0;
  double superlink_to_chan_total = 0.0;
  double gw_to_tile_total = 0.0;
  double ov_to_drain_total = 0.0;
  double drain_to_ov_total = 0.0;
  double drain_to_chan_total = 0.0;
  double gw_to_drain_tile_total = 0.0;
  double drain_to_superlink_total = 0.0;
  double aquifer_delta_z_value = 0.0;
  int gw_porosity_map_on = 0;
  int gw_unif_porosity_on = 0;
  int gw_hycond_map_on = 0;
  int gw_unif_hycond_on = 0;

  // Used by overland routing and infiltration.
  int exfil_on = 0;                  // some cell's water table reaches the surface
  int superlink_surface_flag = 0;
  double gw_timestep_value = 0.0;    // s
  double gw_leakage_rate_value = 0.0;  // cm/h
  std::vector<double> exfil_depth_cell;  // m, positive upward
};

}  // namespace pluvo
