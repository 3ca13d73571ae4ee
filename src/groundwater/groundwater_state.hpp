#pragma once
// Groundwater and subsurface drain fields of the model record.
#include <string>
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
  double aquifer_delta_z_value = 0.0;
  int gw_porosity_map_on = 0;
  int gw_unif_porosity_on = 0;
  int gw_hycond_map_on = 0;
  int gw_unif_hycond_on = 0;
  // Working settings from the run parameters.
  std::string aquifer_bottom_path;
  std::string drain_out_name;
  int drain_output_on = 0;
  std::string grid_pipe_name;
  std::string grid_pipe_path;
  int gw_assign_theta_on = 0;
  std::string gw_boundfile_path;
  int gw_flux_boundtable_on = 0;
  std::string gw_fluxboundtable_path;
  std::string gw_hycond_map_path;
  double gw_leakage_rate_value = 0.0;
  double gw_lsor_con_value = 0.0;
  int gw_lsor_direction = 0;
  int gw_output_on = 0;
  std::string gw_output_path;
  std::string gw_porosity_map_path;
  double gw_timestep_value = 0.0;
  double gw_unif_hycond_value = 0.0;
  double gw_unif_porosity_value = 0.0;
  int gw_well_level_on = 0;
  std::string gw_well_level_path;
  int high_head_release_on = 0;
  std::string out_well_location_path;
  double single_unsat_sat_value = 0.0;
  std::string storm_drain_name;
  std::string storm_sewer_path;
  int superlink_c_opt_on = 0;
  int superlink_drainmod_on = 0;
  std::string water_table_path;

  // Used by overland routing and infiltration.
  int exfil_on = 0;                  // some cell's water table reaches the surface
  int superlink_surface_flag = 0;
  std::vector<double> exfil_depth_cell;  // m, positive upward
};

}  // namespace pluvo
