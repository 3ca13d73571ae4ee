#pragma once
// Sediment and water-quality fields of the model record.
#include <vector>
#include <cstdint>

#include "common/checked_array.hpp"

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
  X(chan_partition_coef)

namespace pluvo {

struct quality_state {
  int ov_con_trans_on = 0;
  int chan_con_trans_on = 0;
  int all_contam_output_on = 0;  // run's copy of ALL_CONTAM_OUTPUT
  int ov_point_source_on = 0;

  // Record defaults.
  int cell_mass_toggle = 1;  // alternates between 1 and 2 every cell-mass step
  double kinetics_step_factor = 1.0;
  int soil_erosion_on = 0;
  int chan_sed_transport_on = 0;

#define PLUVO_MASS_ARRAY_MEMBER(member) checked_array<double> member;
  PLUVO_NAMED_MASS_ARRAYS(PLUVO_MASS_ARRAY_MEMBER)
#undef PLUVO_MASS_ARRAY_MEMBER
  checked_array_3d soil_mass;
  checked_array_3d soil_conc;

  // Used by overland routing and infiltration.
  int soil_con_trans_on = 0;
  int contam_table_on = 0;
  int sed_constituent_mode = 0;
  double ov_con_outlet_volume = 0.0;  // m3 of outlet outflow for contaminant accounting
  double ov_con_clock_b = 0.0;
  double ov_con_clock_c = 0.0;
  double ov_con_clock_d = 0.0;
  double con_clock_chan = 0.0;
  double con_clock_nochan = 0.0;
  double soil_con_next_time = 0.0;
  std::vector<double> ov_infil_volume_cell;
  std::vector<double> ov_gw_volume_cell;
  std::vector<double> soil_gw_volume_cell;
};

}  // namespace pluvo
