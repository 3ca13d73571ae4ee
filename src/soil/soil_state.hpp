#pragma once
// Soil water and evapotranspiration fields of the model record.
#include <array>
#include <cstdint>
#include <vector>

#include "common/zeroed_table.hpp"

namespace pluvo {

// Parameters of one soil class of the layered soil schemes, by column.
struct layered_soil_entry {
  double values[71] = {};
};

// Columns of a layered soil entry used at start-up (layer L = 1, 2, 3 at offset L - 1).
constexpr int soil_col_porosity = 7;
constexpr int soil_col_residual = 19;
constexpr int soil_col_thickness = 22;  // layers 1 and 2, cm

constexpr std::size_t layered_soil_table_size = 100000;

struct soil_state {
  int32_t green_ampt_on = 0;
  int32_t inf_redist_on = 0;
  int32_t inf_layered_soil_on = 0;
  int32_t inf_richards_on = 0;
  int32_t soil_moisture_accounting_on = 0;
  int32_t water_table_on = 0;
  int32_t sacramento_on = 0;
  int32_t conceptual_gw_on = 0;
  int32_t interception_on = 0;
  int32_t inf_redist_initialized = 0;

  double top_layer_depth_cm = 40.0;
  double soil_moist_depth_cm = 40.0;
  double mixing_layer_depth_cm = 40.0;

  // Addressed by soil class; every value 0.0 until a soil table fills it.
  zeroed_table<layered_soil_entry, layered_soil_table_size> layered_soil_table;

  // Per cell (1..N).
  std::vector<double> surface_moisture;
  std::vector<double> initial_moisture_cell;
  std::vector<double> porosity_cell;
  std::vector<double> residual_sat_cell;
  std::vector<double> sm_depth_cell;   // soil column, cm
  std::vector<double> sm_water_cell;   // cm of water
  std::vector<double> sm_water_top;
  std::vector<double> sm_water_lower;
  std::vector<double> infil_rate;
  std::vector<double> infil_depth;
  std::vector<double> infil_depth_prev;
  std::vector<double> cum_infil_depth;
  std::vector<double> unsat_downward_flux;  // cm
  std::vector<double> direct_evap_cell;     // cm
  std::vector<double> redist_theta;
  std::vector<double> redist_depth;
  std::vector<double> redist_surface_theta;
  std::vector<int32_t> no_wat_prof;
  std::vector<int32_t> iter_pond_1;
  std::vector<int32_t> iter_n;
  std::vector<int32_t> iter_i_less_k;
  std::vector<std::array<double, 3>> THETA_ML;  // layer moistures
  std::vector<double> wetdep;                   // cm
  std::vector<int32_t> yes_exfil;
  std::vector<double> interception_depth;
  int32_t exfil_cells_present = 0;

  // Starting and event totals.
  double sm_volume_initial = 0.0;          // m3
  double lake_cell_volume_initial = 0.0;   // m3
  double subsurface_volume_initial = 0.0;  // m3
  double soil_volume_initial_simple = 0.0; // m3
  double subsurface_total_initial = 0.0;   // m3
  double initial_soil_water = 0.0;         // watershed mean relative moisture
  double soil_volume_initial = 0.0;        // m3
  double unsat_downward_volume = 0.0;      // m3
  double direct_evap_volume_total = 0.0;   // m3

  // Interception and retention: what each cell holds and the effective rain it passes.
  std::vector<double> icep_dep;     // depth held per cell, mm
  std::vector<double> ri_eff;       // effective rain rate per cell, mm/h
  double intercepted_volume = 0.0;  // m3
  // Record defaults.
  double cfgi_index_value = 83.0;  // frozen-ground index threshold
  double cfgi_k_value = 0.5;
  double evap_volume_total = 0.0;
  double evap_volume_event = 0.0;
  double direct_evap_volume_event = 0.0;
  double recharge_volume = 0.0;          // event recharge
  double unsat_downward_flux_sum = 0.0;  // run sum over cells of the downward flux, cm
  double soil_volume_final = 0.0;
  double final_soil_water = 0.0;         // basin mean relative soil water, fraction
  // Richards event figures.
  double richards_net_infil = 0.0;
  double richards_error_pct = 0.0;
  int richards_cells_start = 0;
  int richards_cells_end = 0;
  double gw_to_unsat_event_volume = 0.0;
  // Sacramento model, zone contents in mm and their capacities.
  double uztwc = 0.0;
  double uzfwc = 0.0;
  double lztwc = 0.0;
  double lzfsc = 0.0;
  double lzfpc = 0.0;
  double uztwm = 0.0;
  double uzfwm = 0.0;
  double lztwm = 0.0;
  double lzfsm = 0.0;
  double lzfpm = 0.0;
  double uztwc_initial = 0.0;
  double uzfwc_initial = 0.0;
  double lztwc_initial = 0.0;
  double lzfsc_initial = 0.0;
  double lzfpc_initial = 0.0;
  double subsurface_volume_event_start = 0.0;
  double subsurface_volume_event_end = 0.0;
  double sac_baseflow_volume = 0.0;
  double sac_evap_volume = 0.0;
  double sac_infil_volume = 0.0;
  double sac_rain_mm = 0.0;
  double sac_pet_mm = 0.0;
  double sac_aet_mm = 0.0;
  double sac_runoff_mm = 0.0;
  double sac_deep_recharge_mm = 0.0;
  double sac_channel_loss_total = 0.0;
  double sm_volume_final = 0.0;
  double sm_evap_total = 0.0;              // returned by the soil-moisture routines
  int et_calc_deardorff_on = 0;

  // Used by overland routing and infiltration.
  std::vector<double> sm_infil_depth;    // m, for soil-moisture accounting
  double infil_volume_total = 0.0;       // m3
  double sac_infil_depth_sum = 0.0;
  double cgw_infil_depth_sum = 0.0;
  int infil_step_count = 0;
  std::vector<double> avgks;
  std::vector<double> totaldz;
};

}  // namespace pluvo
