#pragma once
// Soil water and evapotranspiration fields of the model record.
#include <string>
#include <array>
#include <cstdint>
#include <vector>

#include "common/checked_file.hpp"
#include "common/node_matrix.hpp"
#include "common/zeroed_table.hpp"

namespace pluvo {

// Parameters of one soil class of the layered soil schemes, by column.
struct layered_soil_entry {
  double values[71] = {};
};

// Columns of a layered soil entry used at start-up (layer L = 1, 2, 3 at offset L - 1).
constexpr int soil_col_capillary = 0;  // cm
constexpr int soil_col_conductivity = 4;  // cm/h
constexpr int soil_col_porosity = 7;
constexpr int soil_col_wilting = 13;
constexpr int soil_col_field_capacity = 16;
constexpr int soil_col_residual = 19;
constexpr int soil_col_thickness = 22;  // layers 1 and 2, cm
constexpr int soil_col_pore_index = 25;
// Columns the Richards soil columns add.
constexpr int soil_col_initial = 10;
constexpr int soil_col_bubbling = 28;      // Brooks and Corey hb, stored negative
constexpr int soil_col_node_spacing = 31;  // cm
constexpr int soil_col_alpha = 34;         // Haverkamp retention and conductivity
constexpr int soil_col_beta = 37;
constexpr int soil_col_hav_a = 40;
constexpr int soil_col_hav_b = 43;
constexpr int soil_col_et = 46;            // albedo, vegetation value, Kt, Rs

constexpr std::size_t layered_soil_table_size = 100000;

// One layer of a permafrost soil type, named as in the table: the depth of its bottom (m), the
// freezing temperature T* (deg C), total and unfrozen volumetric water, the unfrozen-water curve
// theta_u(T) = Tfr_a |Cclv - T|^Bclv, thawed and frozen thermal conductivity (W/m/K) and the
// volumetric heat capacity of the dry soil (J/m3/K).
struct gipl_layer {
  double Thick = 0.0, Tfr = 0.0, Wvol = 0.0, Wunf = 0.0;
  double Tfr_a = 0.0;  // the table's second Tfr column
  double Bclv = 0.0, Cclv = 0.0, Cond_th = 0.0, Cond_fr = 0.0, Cvol = 0.0;
};

// The permafrost soil table: per permafrost soil type (1..type_count) the column's node depths
// and the initial temperature profile (depths and temperatures, points 1..Dn_init_nums).
struct gipl_soil_table {
  int32_t type_count = 0;
  int32_t max_layers = 0;                  // the table's count lines: the largest layer count,
  int32_t max_init_points = 0;             // profile point count
  int32_t max_column_nodes = 0;            // and node count of all types
  std::vector<std::vector<gipl_layer>> layers;  // [type][layer 1..]
  std::vector<int32_t> Dn_out_nums;        // output node count per type
  std::vector<std::vector<int32_t>> Dn_out;  // [type][1..Dn_out_nums], node numbers
  int32_t column_step_count = 0;           // column steps taken (the event start sets it back to 1)
  int32_t substep_count = 0;               // phase calls since the last column step
  std::vector<int32_t> Dn_nums;            // node count per type
  std::vector<std::vector<double>> Depth;  // [type][node 1..Dn_nums], m
  std::vector<int32_t> Dn_init_nums;       // profile point count per type
  std::vector<std::vector<double>> Dn_init;  // [type][point], m, non-decreasing
  std::vector<std::vector<double>> T_init;   // [type][point], deg C
};

// The Sacramento soil-moisture model's parameters and contents, in file order: capacities and
// contents in mm, rates as fractions per hour.
constexpr int sac_param_count = 17;
enum sac_index : int {
  sac_uztwm, sac_uzfwm, sac_uzk, sac_zperc, sac_rexp, sac_lztwm, sac_lzfsm, sac_lzfpm, sac_lzsk, sac_lzpk,
  sac_pfree, sac_saved, sac_uztwc, sac_uzfwc, sac_lztwc, sac_lzfsc, sac_lzfpc
};
// Water the five Sacramento stores hold, mm.
inline double sac_storage_mm(const std::array<double, sac_param_count>& p) {
  return p[sac_uztwc] + p[sac_uzfwc] + p[sac_lztwc] + p[sac_lzfsc] + p[sac_lzfpc];
}
// The conceptual groundwater model's parameters and state.
constexpr int cgw_param_count = 10;
enum cgw_index : int {
  cgw_slow_max, cgw_fast_max, cgw_slow_rate, cgw_fast_rate, cgw_slow_content, cgw_fast_content,
  cgw_underflow_percent, cgw_unused_7, cgw_total_outflow, cgw_max_outflow
};

// Work record of the soil-layer constituent step: each layer's water content per cell (the
// caller copies it in before each step), the sizes it was set for, and the water (m) and the
// interface fluxes (0 the surface, l the bottom of layer l; water first, then mass) of the cell
// in hand.
struct soil_constituent_block {
  std::vector<std::array<double, 4>> layer_theta;
  int32_t cell_count = -1;
  int32_t layer_count = 0;
  int32_t redist_on = 0;
  std::array<double, 4> layer_water{};
  std::array<double, 4> flux{};
};

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
  std::vector<std::array<double, 4>> THETA_ML;  // moistures of layers 1..3 (element 0 unused)
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
  double unsat_downward_volume_start = 0.0;  // m3, its value at the event's start
  double direct_evap_volume_total = 0.0;   // m3

  // Interception and retention: what each cell holds and the effective rain it passes.
  std::vector<double> icep_dep;     // depth held per cell, mm
  std::vector<double> ri_eff;       // effective rain rate per cell, mm/h
  double intercepted_volume = 0.0;  // m3
  // Record defaults.
  double cfgi_index_value = 83.0;  // frozen-ground index threshold
  double cfgi_k_value = 0.5;
  int et_calc_deardorff_on = 0;
  // Working settings from the run parameters.
  int cfgi_on = 0;
  std::string conceptual_gw_path;
  int conceptual_gw_plain_on = 0;
  int gtfsm_on = 0;
  int inf_redist_continuous_on = 0;
  std::string interception_coeff_path;
  std::string permafrost_gipl_path;
  std::string reten_depth_path;
  int richards_c_option_value = 0;
  double richards_dtheta_max_value = 0.0;
  int richards_k_option_value = 0;
  int richards_max_iter = 0;
  int richards_upper_opt = 0;
  double richards_weight_value = 0.0;
  std::string sacramento_path;
  int sacramento_plain_on = 0;
  std::string storage_capacity_path;
  int topo_index_on = 0;
  double uniform_initial_moisture = 0.0;
  int uniform_moisture_on = 0;
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
  // Sacramento model: the storage at event start and end (m3), the event's totals in m3
  // (input, evapotranspiration, outflow) and the run's totals in mm.
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
  double sac_chan_inflow_total = 0.0;  // m3 of the stores' outflow the channels took
  double sm_volume_final = 0.0;
  double sm_evap_total = 0.0;              // returned by the soil-moisture routines

  std::vector<double> sm_infil_depth;    // m, for soil-moisture accounting
  // Soil-column accumulators of the soil-moisture phase, cm per cell since their reader last
  // took them: the water leaving the top store and the bottom of the column.
  std::vector<double> unsat_recharge_depth;
  std::vector<double> sm_top_drainage;
  std::vector<double> sm_bottom_drainage;
  double gw_et_depth_total = 0.0;   // m, summed over cells: uptake from the water table
  double sm_infil_total = 0.0;      // m, summed over cells: infiltration the columns took

  // Evapotranspiration of the hour, per cell.
  std::vector<double> pot_et;                  // potential rate, cm/s
  std::vector<double> pot_aet;                 // actual rate, cm/s
  std::vector<double> ground_temp;             // K, carried from hour to hour
  std::vector<double> ground_energy_residual;  // kW/m2 at the last Newton iterate
  // The continuous frozen-ground index (the CFGI card's own flag holds the name cfgi), the
  // last 24 hourly air temperatures (columns 1..24, newest in 1) and their sum.
  std::vector<double> cfgi_cell;
  std::vector<std::array<double, 25>> temp_hr;
  std::vector<double> daily_temp;
  // Watershed averages of the hour, over the cells in no lake.
  double avg_surface_moisture = 0.0;
  double avg_infil_rate = 0.0;
  double avg_unsat_flux = 0.0;
  double aet_avg = 0.0;                   // cm/h
  double evap_volume_at_last_hour = 0.0;  // m3
  pluvo::soil_constituent_block soil_constituent_block;
  int32_t longterm_line_count = 0;        // hourly console lines since the last flush
  double infil_volume_total = 0.0;       // m3
  double sac_infil_depth_sum = 0.0;
  double cgw_infil_depth_sum = 0.0;
  int infil_step_count = 0;
  std::vector<double> avgks;
  std::vector<double> totaldz;
  double soil_evap_depth = 0.0;     // m evaporated over the watershed by the Richards columns in the step
  // Evapotranspiration surface parameters per cell.
  std::vector<double> albedo_cell;
  std::vector<double> albedo_w_snow;
  std::vector<double> veg;                  // vegetation height, m
  std::vector<double> Kt;                   // transmission coefficient
  std::vector<double> Rs;                   // canopy resistance

  // Frozen-ground soil-temperature columns.
  std::vector<int32_t> permaf_mask;         // > 0: the cell has a column
  std::vector<int32_t> GIPL_soiltype;
  gipl_soil_table gipl_state;
  node_matrix<double> perma_tem;            // deg C
  node_matrix<double> fr_lq_wat;
  node_matrix<double> hydro_conduc;
  node_matrix<double> THETA_GIPL;
  node_matrix<double> K_init;
  node_matrix<int32_t> node_toGIPL;
  node_matrix<int32_t> node_fromGIPL;
  std::vector<double> gipl_node_temp_scratch;
  std::vector<double> gipl_cell_work_1;
  std::vector<double> gipl_cell_work_2;
  std::vector<double> extent_GIPLgw;
  checked_file temprof_fp;                  // "temprof_out.txt", open for the whole run

  // Richards soil columns: nodes 1..richards_nnodes of each cell.
  int32_t richards_nnodes = 0;
  std::vector<int32_t> numcells;            // per cell: index of the column's last node
  std::vector<int32_t> numtot;              // per cell: the soil nodes and those down to the aquifer bottom
  std::vector<int32_t> num1;                // per soil class: nodes of layer 1
  std::vector<int32_t> num2;                // per soil class: nodes of layers 1 and 2
  std::vector<int32_t> num3;                // per soil class: nodes of the three layers
  std::vector<int32_t> bound_type;          // per cell: upper boundary, 1 flux, 2 ponded head, 3 saturated
  std::vector<double> inf_rich;             // per cell: net infiltration of the event, m
  node_matrix<double> PHEAD;
  node_matrix<double> KHEAD;
  node_matrix<double> THETA;
  node_matrix<double> WATCAP;
  node_matrix<double> WATFLUX;
  node_matrix<double> SOURCE;
  node_matrix<double> DZ;
  node_matrix<double> KS;
  node_matrix<double> THETAS;
  node_matrix<double> THETAR;
  node_matrix<double> THETAWP;
  node_matrix<double> THETAFC;
  node_matrix<double> LAM;
  node_matrix<double> BP;
  node_matrix<double> thehac;
  node_matrix<double> BChc;
  node_matrix<double> AHAV;
  node_matrix<double> BHAV;
  node_matrix<double> ALPHA;
  node_matrix<double> BETA;
  std::vector<double> SE;
  std::vector<double> root_depth;           // m
  std::vector<double> A;
  std::vector<double> B;
  std::vector<double> C;
  std::vector<double> D;
  std::vector<double> richards_node_work_1;
  std::vector<double> richards_node_work_2;
  std::vector<double> dtr;                  // per cell, h
  int32_t exfiltration_any = 0;

  // Lumped models.
  std::array<double, sac_param_count> sac_params{};
  double sac_param_17 = 0.0;                   // cumulative balance error, mm
  double sac_pbase = 0.0;                      // lzpk x lzfpm + lzsk x lzfsm, mm per hour
  std::array<double, 5> sac_saved_contents{};  // uztwc, uzfwc, lztwc, lzfpc, lzfsc
  int32_t sac_step_count = 0;
  double sac_infil_mark = 0.0;                 // sac_infil_depth_sum at the last step, m
  double sac_input_mm = 0.0;                   // input of the step
  double sac_et_demand_mm = 0.0;               // demand of the step
  double sac_et_mm = 0.0;                      // evapotranspiration of the step
  double sac_outflow_mm = 0.0;                 // outflow of the step
  double sac_prev_outflow_mm = 0.0;
  double sac_avg_outflow_mm = 0.0;             // mean of the step's and the previous outflow
  double sac_prev_avg_outflow_mm = 0.0;
  std::vector<double> topo_dex;
  std::vector<double> cgw_params;              // cgw_param_count values once read
  int32_t cgw_step_count = 0;
  double cgw_infil_mark = 0.0;                 // cgw_infil_depth_sum at the last step, m
  double cgw_input_mm = 0.0;
  double cgw_slow_outflow_mm = 0.0;
  double cgw_fast_outflow_mm = 0.0;
  double cgw_storage_before_mm = 0.0;
  double cgw_storage_after_mm = 0.0;
  double cgw_balance_error_pct = 0.0;
  std::vector<double> upslope_area;         // per cell
  int32_t topo_dex_on = 0;                  // the Sacramento input gave a topographic-index map

  // Read by the soil-temperature file (h-series); the soil-temperature set-up fills it once built.
  std::vector<double> gipl_output_depths;   // m, node depths the file shows
};

// The Sacramento model's subsurface water, m3: its five stores over the watershed and the
// infiltrated water that waits for its next hourly step.
inline double sac_subsurface_volume(const soil_state& s, double watershed_area, int32_t cell_count) {
  const double waiting = cell_count > 0 ? (s.sac_infil_depth_sum - s.sac_infil_mark) / cell_count : 0.0;
  return (sac_storage_mm(s.sac_params) / 1000.0 + waiting) * watershed_area;
}

}  // namespace pluvo
