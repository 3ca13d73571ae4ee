#pragma once
// Sediment and water-quality fields of the model record.
#include <string>
#include <vector>
#include <cstdint>
#include <memory>

#include "common/checked_array.hpp"
#include "common/node_matrix.hpp"

// Per-constituent mass-accounting arrays of the overland phase, in declaration order. Each
// is named after its member, so a bad index is reported under that name.
#define PLUVO_NAMED_MASS_ARRAYS(X) \
  X(precip_conc)                   \
  X(OV_MASS_INIT)                  \
  X(OV_MASS_FINAL)                 \
  X(OV_MASS_OUT)                   \
  X(OV_QLAT_MASS)                  \
  X(OV_MASS_DECAY)                 \
  X(OV_POINT_MASS)                 \
  X(OV_EXFIL_MASS)                 \
  X(OV_PRECIP_MASS)                \
  X(OV_INFIL_MASS)                 \
  X(OV_MASS_ERROR)                 \
  X(OV_LAND_MASS)                  \
  X(OV_LAND_MASS_INIT)             \
  X(OV_LAND_MASS_FINAL)            \
  X(OV_UPTAKE_MASS)                \
  X(OV_NEG_MASS)                   \
  X(event_ov_mass_init)            \
  X(event_ov_decay_mass)           \
  X(event_ov_uptake_mass)          \
  X(event_ov_infil_mass)           \
  X(event_ov_exfil_mass)           \
  X(event_ov_qlat_mass)            \
  X(event_ov_mass_out)             \
  X(event_ov_point_mass)           \
  X(event_ov_precip_mass)          \
  X(event_ov_land_mass)            \
  X(event_ov_neg_mass)             \
  X(ov_out_dmt)                    \
  X(ov_point_dmt)                  \
  X(ov_decay_dmt)                  \
  X(ov_infil_dmt)                  \
  X(ov_qlat_dmt)                   \
  X(ov_uptake_dmt)                 \
  X(ov_tvx_dmt)                    \
  X(ov_tvx_dmt_in)                 \
  X(ov_tvx_dmt_out)                \
  X(ov_precip_dmt)                 \
  X(ov_exit_mass)                  \
  X(GLOBAL_MASS_CON_ERROR)         \
  X(GLOBAL_MASS_DECAY)             \
  X(GLOBAL_MASS_INIT)              \
  X(GLOBAL_MASS_FINAL)             \
  X(GLOBAL_POINT_SOURCE)           \
  X(GLOBAL_MASS_OUT)               \
  X(GLOBAL_GW_MASS)                \
  X(constituent_type)              \
  X(ov_partition_coef)             \
  X(chan_partition_coef)           \
  X(ov_infil_lost_mass)            \
  X(soil_decay_step)               \
  X(soil_out_step)                 \
  X(soil_deep_step)                \
  X(soil_inflow_total)             \
  X(soil_exchange_total)           \
  X(soil_out_total)                \
  X(soil_deep_total)               \
  X(soil_exfil_total)              \
  X(soil_decay_total)              \
  X(event_soil_inflow_mass)        \
  X(event_soil_exchange_gain)      \
  X(event_soil_exchange_loss)      \
  X(event_soil_out)                \
  X(event_soil_deep)               \
  X(event_soil_decay)

// The event totals among them, cleared when an event begins.
#define PLUVO_EVENT_MASS_ARRAYS(X) \
  X(event_ov_mass_init)            \
  X(event_ov_decay_mass)           \
  X(event_ov_uptake_mass)          \
  X(event_ov_infil_mass)           \
  X(event_ov_exfil_mass)           \
  X(event_ov_qlat_mass)            \
  X(event_ov_mass_out)             \
  X(event_ov_point_mass)           \
  X(event_ov_precip_mass)          \
  X(event_ov_land_mass)            \
  X(event_ov_neg_mass)             \
  X(event_soil_inflow_mass)        \
  X(event_soil_exchange_gain)      \
  X(event_soil_exchange_loss)      \
  X(event_soil_out)                \
  X(event_soil_deep)               \
  X(event_soil_decay)

// Per-constituent tables over the cells, [constituent][cell]: initial and current overland
// concentration and mass, the land-surface source, the transport coefficients, the soil
// sorption and decay, and the per-step transfer accumulators.
#define PLUVO_CONSTITUENT_CELL_TABLES(X) \
  X(ov_conc)                             \
  X(ov_mass)                             \
  X(ov_source_conc)                      \
  X(ov_disp_cell)                        \
  X(ov_decay_rate)                       \
  X(ov_uptake_coef)                      \
  X(ov_land_load)                        \
  X(soil_kd)                             \
  X(soil_decay_rate)                     \
  X(ov_precip_load_step)                 \
  X(ov_infil_mass_step)                  \
  X(ov_decay_mass_step)                  \
  X(ov_uptake_mass_step)                 \
  X(ov_qlat_mass_step)                   \
  X(soil_inflow_mass)                    \
  X(soil_exchange_mass)                  \
  X(ov_exfil_mass_step)                  \
  X(soil_exfil_mass)

// Names of the nutrient water constituents (0..8) and the three further overland parameters.
inline constexpr const char* tvx_water_constituent_names[12] = {
    "Nitrite (NO2-)",
    "Nitrate (NO3-)",
    "Ammonium (NH4+)",
    "Organic Nitrogen (Organic N)",
    "Organic Phosphorous (Organic P)",
    "Dissolved Phosphorous (Dissolved P)",
    "Algae",
    "Carbonaceous Biochemical Oxygen Demand",
    "Dissolved Oxygen (O2)",
    "Dissolved Org. Carbon",
    "Dissolved Org. Carbon, Fraction Org. C.",
    "Dispersion coefficient",
};

// Names of the nutrient soil pools (0..12), and the pairing of soil pools with water
// constituents and back, as offsets from the first nutrient water constituent (-1: none).
inline constexpr const char* tvx_soil_pool_names[13] = {
    "Organic Active Carbon",       "Organic Stable Carbon",      "Ammonium (NH4+)",
    "Nitrate (NO3-)",              "Organic Active Nitrogen",    "Organic Fresh Nitrogen",
    "Organic Stable Nitrogen",     "Mineral Active Phosphorus",  "Mineral Solution Phosphorus",
    "Mineral Stable Phosphorus",   "Organic Active Phosphorus",  "Organic Fresh Phosphorus",
    "Organic Stable Phosphorus",
};
inline constexpr int tvx_soil_to_water[13] = {-1, -1, 2, 1, 3, -1, -1, -1, 5, -1, 4, -1, -1};
inline constexpr int tvx_water_to_soil[13] = {-1, 3, 2, 4, 10, 8, -1, -1, -1, -1, -1, -1, -1};

namespace pluvo {

// Overland sediment: the size classes of the SEDIMENTS table, the erosion options and the
// per-cell and per-class arrays. Classes are numbered 1..num_sed_classes. [cell][class] arrays
// are flat, element cell * (num_sed_classes + 1) + class; [cell][class][layer] arrays add the
// bed layers 0..4 innermost, [class][layer] arrays are flat class * 5 + layer.
struct ov_sed_record {
  static constexpr int layers = 5;

  int soil_erosion_value = 0;  // the SOIL_EROSION value, less 10 from 10 on
  int sed_constituent_mode = 1;  // 2: the classes are carried as constituents
  int sed_hydro_locations_on = 0;
  int net_sed_volume_on = 0;
  int max_sed_flux_on = 0;
  int vol_sed_susp_on = 0;
  int outlet_sed_tss_on = 0;
  int out_tss_loc_on = 0;
  int adjust_elev_on = 0;
  std::string adjust_elev_path;
  std::string in_sed_loc_path;
  std::string vol_sed_susp_path;
  std::string max_sed_flux_path;
  std::string net_sed_volume_path;
  std::string outlet_sed_flux_path;
  std::string out_sed_loc_path;
  std::string outlet_sed_tss_path;
  std::string out_tss_loc_path;
  double kinematic_viscosity = 0.0;  // m2/s

  checked_file out_sed_loc_fp;  // the other sediment files are slots of the model record

  // Per class 1..num_sed_classes.
  int num_sed_classes = 0;
  int num_fine_classes = 0;
  int num_sand_classes = 0;
  std::vector<double> spec_grav;
  std::vector<double> part_diam;  // mm, as the table gives it
  std::vector<double> f_bind;
  std::vector<std::string> class_file_names;
  std::vector<checked_file> class_output_files;
  std::vector<double> settling_velocity;  // m/s
  std::vector<double> particle_density;   // g/m3
  std::vector<int> sand;                  // 1 sand, 0 wash load
  std::vector<int> sed_class;             // wash-load classes first, then sand, each in class order

  // Per cell.
  std::vector<double> qsx;
  std::vector<double> qsy;
  std::vector<double> splash_K;
  std::vector<double> sed_K;
  std::vector<double> detach_coef;
  std::vector<double> detach_crit;
  std::vector<double> detach_exp;
  std::vector<double> ov_qsmax_total;  // with MAX_SED_FLUX
  std::vector<double> ov_net_sed;      // with NET_SED_VOLUME
  std::vector<double> ov_conc;         // with VOL_SED_SUSP
  std::vector<int> channel_cells;

  // [cell][class].
  std::vector<double> ov_qsmax;  // with MAX_SED_FLUX
  std::vector<double> ov_qsconc;  // with VOL_SED_SUSP
  std::vector<double> ov_sed_conc;
  std::vector<double> ov_sed_vol_deposited;
  std::vector<double> ov_sed_vol_eroded;
  std::vector<double> ov_qsvol;
  // [cell][class][layer].
  std::vector<double> vol_sed;
  std::vector<double> sed_fract;
  // [class][layer].
  std::vector<double> tot_sed;
  std::vector<double> GLOBAL_MASS_SED;
  std::vector<double> GLOBAL_VOL_SED;
  // [class][cell], flat class * (cell_count + 1) + cell, with the pipe network (and channels).
  std::vector<double> ov_superlink_sed;
  std::vector<double> chan_superlink_sed;

  // Overland erosion: its working arrays, sized on the first erosion step of the run.
  std::vector<double> sed_slope_x;      // per cell: water-surface slope toward rightcon
  std::vector<double> sed_slope_y;      // per cell: water-surface slope toward belowcon
  std::vector<double> sed_flow_total;   // per cell: outflow magnitude, m3/s
  // m3 of sediment, all classes together, exported at the outlet in the current step; the
  // outlet sediment hydrograph divides it by the step.
  double outlet_sed_volume_step = 0.0;

  size_t cell_class(int cell, int k) const { return size_t(cell) * size_t(num_sed_classes + 1) + size_t(k); }
  size_t cell_class_layer(int cell, int k, int layer) const { return cell_class(cell, k) * layers + size_t(layer); }
};

struct quality_state {
  int ov_con_trans_on = 0;
  int chan_con_trans_on = 0;
  int all_contam_output_on = 0;  // run's copy of ALL_CONTAM_OUTPUT
  int ov_point_source_on = 0;

  // Record defaults.
  int cell_mass_toggle = 1;  // alternates between 1 and 2 every cell-mass step
  double kinetics_step_factor = 1.0;
  double soil_kinetics_step_factor = 1.0;  // soil nutrient clock in soil-moisture intervals
  int soil_erosion_on = 0;
  int chan_sed_transport_on = 0;
  std::unique_ptr<ov_sed_record> ov_sed;  // with SOIL_EROSION
  int32_t num_constituents = 0;           // all kinds together
  int32_t num_contaminants = 0;
  int32_t num_tvx_constituents = 0;
  int32_t first_type2_constituent = -1;   // first nutrient water constituent, -1 when none
  int contam_table_on = 0;
  int32_t soil_contam_layers = 1;
#define PLUVO_CONSTITUENT_TABLE_MEMBER(member) checked_array_2d<double> member;
  PLUVO_CONSTITUENT_CELL_TABLES(PLUVO_CONSTITUENT_TABLE_MEMBER)
#undef PLUVO_CONSTITUENT_TABLE_MEMBER
  checked_array_3d soil_frac_dissolved;   // [constituent][cell][layer]
  checked_array<double> soil_layer_thickness;  // m, layers 1..soil_contam_layers
  std::vector<double> ov_infil_volume;    // per cell
  std::vector<double> ov_depth_prev;      // per cell
  std::vector<double> contam_map;         // per cell, with CONTAM_MAP
  // Per constituent 1..num_constituents: its output name and whether its maps are written.
  std::vector<std::string> constituent_output_name;
  std::vector<int> constituent_map_output_on;
  // Sediment-bound fluxes [cell][size class], flat cell * (num_sed_classes + 1) + class.
  std::vector<double> ov_sed_vol_qsx;
  std::vector<double> ov_sed_vol_qsy;
  std::vector<double> ov_sed_vol_susp;
  std::vector<double> ov_vol_sed_susp;
  // Sediment-bound constituents on the cells: total mass (dissolved and sorbed) per constituent
  // and cell, flat constituent * (cell_count + 1) + cell, g; sorbed concentration on the
  // suspended sediment per constituent, cell and class, flat (that index) * (num_sed_classes + 1)
  // + class, g per m3 of sediment.
  std::vector<double> ov_total_con_mass;
  std::vector<double> ov_sed_con_conc;
  // Beside them, [constituent][cell] like ov_total_con_mass: the net mass the soil gave to (-) or
  // took from (+) the sorbed pool since the soil step last took it, the dissolved mass released
  // for the next mass update, the fraction dissolved, and the sorbed mass carried out at the
  // outlet; and [constituent][cell][class] like ov_sed_con_conc, the bound fraction per class
  // (slot 0 the total).
  std::vector<double> ov_sed_con_soil_exchange;
  std::vector<double> ov_sed_con_source;
  std::vector<double> ov_con_frac_diss;
  std::vector<double> ov_sed_con_outlet_mass;
  std::vector<double> ov_sed_con_bound_frac;
  // Per cell, for the constituent being treated: fraction dissolved and mass of soil layer 1.
  std::vector<double> soil_top_frac_diss;
  std::vector<double> soil_top_mass;
  // Channel and lake constituents [constituent][node key] and [constituent][lake].
  checked_array_2d<double> chan_node_conc;
  checked_array_2d<double> chan_node_mass;
  checked_array_2d<double> lake_con_conc;
  checked_array_2d<double> lake_con_mass;
  // Nutrient outlet outputs: per water constituent a concentration and a mass file.
  checked_file tvx_hyd_conc_fp[9];
  checked_file tvx_hyd_mass_fp[9];

#define PLUVO_MASS_ARRAY_MEMBER(member) checked_array<double> member;
  PLUVO_NAMED_MASS_ARRAYS(PLUVO_MASS_ARRAY_MEMBER)
#undef PLUVO_MASS_ARRAY_MEMBER
  checked_array_3d soil_mass;
  checked_array_3d soil_conc;
  // Working settings from the run parameters.
  int adjust_channel_bed_on = 0;
  double chan_decay_coef_value = 0.0;
  double chan_disp_coef_value = 0.0;
  std::string chan_point_source_file;
  int global_transport_on = 0;
  double init_chan_conc_value = 0.0;
  int nutrients_on = 0;
  int ov_con_table_on = 0;
  double ov_decay_coef_value = 0.0;
  double ov_disp_coef_value = 0.0;
  double ov_mass_load_value = 0.0;
  std::string ov_point_source_path;
  double ov_uptake_rate_value = 0.0;
  int sediment_contam_on = 0;
  int soil_con_trans_on = 0;
  int soil_noflux_on = 0;
  int soil_static_conc_on = 0;

  double ov_outlet_volume = 0.0;  // m3 of outlet outflow for contaminant accounting
  // Clocks of the overland water-quality sub-steps: next and last time (Julian days) and the
  // interval of the last update (s; the two nutrient ones in days).
  double ov_precip_load_next_time = 0.0, ov_precip_load_last_time = 0.0, ov_precip_load_dt = 0.0;
  double ov_infil_wq_next_time = 0.0, ov_infil_wq_last_time = 0.0, ov_infil_wq_dt = 0.0;
  double ov_uptake_next_time = 0.0, ov_uptake_last_time = 0.0, ov_uptake_dt = 0.0;
  double ov_decay_next_time = 0.0, ov_decay_last_time = 0.0, ov_decay_dt = 0.0;
  double ov_tvx_next_time = 0.0, ov_tvx_last_time = 0.0, ov_tvx_dt = 0.0;
  double ov_tvx_soil_next_time = 0.0, ov_tvx_soil_last_time = 0.0, ov_tvx_soil_dt = 0.0;
  double ov_outlet_wq_next_time = 0.0, ov_outlet_wq_last_time = 0.0, ov_outlet_wq_dt = 0.0;
  double ov_chan_wq_next_time = 0.0, ov_chan_wq_last_time = 0.0, ov_chan_wq_dt = 0.0;
  // The soil water-quality step's clock pair and its nutrient clock.
  double soil_con_next_time = 0.0;
  double soil_wq_last_time = 0.0;
  double soil_wq_next_time = 0.0;
  double soil_tvx_last_time = 0.0;
  std::vector<double> ov_gw_volume_cell;
  std::vector<double> soil_gw_volume_cell;
  // Channel set-up: dispersion coefficient per constituent and node key, beside the node
  // concentration and mass lists.
  checked_array_2d<double> chan_disp;
  // Channel set-up: constituent loads of the channel point inputs [constituent 1..][node key]
  // and the constituent mass in the channels when the routing starts (g per constituent 1..).
  std::vector<std::vector<double>> pointconc;
  std::vector<double> chan_con_mass_initial;
  // Overland erosion: sediment exported at the outlet per class, the sum in slot 0, m3, kept for
  // the sediment-bound contaminants (with SEDIMENT_CONTAM).
  std::vector<double> ov_sed_outlet_vol;

  // Channel and lake constituent routing. Clocks (Julian days) of the routing update and of the
  // gatherings that feed it, with the interval (s; the kinetics one in days) each gathering
  // covered last.
  double chan_wq_next_time = 0.0, chan_wq_last_time = 0.0;
  double chan_source_next_time = 0.0, chan_source_last_time = 0.0, chan_source_dt = 0.0;
  double chan_tvx_next_time = 0.0, chan_tvx_last_time = 0.0, chan_tvx_dt = 0.0;
  double chan_outlet_next_time = 0.0, chan_outlet_last_time = 0.0, chan_outlet_dt = 0.0;
  double chan_exchange_next_time = 0.0, chan_exchange_last_time = 0.0, chan_exchange_dt = 0.0;
  double chan_outlet_volume = 0.0;                // m3 through the outlet node since the last gathering
  std::vector<double> chan_outlet_mass_pending;   // per constituent: mass the outflow carried out
  std::vector<double> lake_precip_volume;         // per lake: rain on the lake since the last update, m3
  std::vector<double> lake_gw_exchange_volume;    // per cell: lake-aquifer exchange, m3, + into the lake
  // Concentration of each constituent in the water the aquifer gives at each cell, [k][cell].
  node_matrix<double> gw_cell_conc;
  // Working arrays of the routing, one constituent at a time, per node key (chan_slot_count + 1),
  // and per lake (nlakes + 2); sized when the run's channel constituents are allocated.
  std::vector<double> chan_wq_conc, chan_wq_mass, chan_wq_disp, chan_wq_source_rate;
  std::vector<double> chan_wq_conc_new, chan_wq_mass_new;
  std::vector<double> chan_adv_flux, chan_disp_flux, chan_adv_flux_avg, chan_disp_flux_avg;
  std::vector<double> chan_wq_saved_conc, chan_wq_saved_mass;  // the corrector's own state
  std::vector<double> area_adt;                   // flow area interpolated through the interval
  std::vector<double> lake_wq_volume;             // lake volume interpolated through the interval
  std::vector<double> lake_wq_conc, lake_wq_mass, lake_wq_source_rate;
  // What one constituent's update took from the pending stores and moved, before booking.
  double step_chan_point_mass = 0.0, step_chan_outlet_mass = 0.0, step_chan_ov_mass = 0.0;
  double step_chan_gw_mass = 0.0, step_chan_decay_mass = 0.0, step_chan_tvx_net = 0.0;
  double step_chan_tvx_gain = 0.0, step_chan_tvx_loss = 0.0, step_chan_sed_exchange = 0.0;
  double step_lake_precip_mass = 0.0, step_lake_gw_mass = 0.0, step_lake_decay_mass = 0.0;
  double step_lake_tvx_mass = 0.0, step_lake_ov_mass = 0.0, step_lake_chan_exchange = 0.0;
  double step_lake_sed_exchange = 0.0, step_lake_inflow_mass = 0.0, step_lake_outflow_mass = 0.0;

  // The nutrient outlet files, NO2 .. DO, filled at each hydrograph output time: the outlet's
  // concentration (g/m3), the mass that left through it since the previous output time (g), and
  // the run's outlet mass up to that time, from which the next interval's mass is taken.
  double tvx_outlet_conc[9] = {};
  double tvx_outlet_mass[9] = {};
  double tvx_outlet_mass_written[9] = {};
};

}  // namespace pluvo
