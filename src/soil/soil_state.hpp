#pragma once
// Fields of the model record owned by this process family.
#include <vector>

namespace pluvo {

struct soil_state {
  std::vector<double> infil_depth;       // infiltrated depth of the event, m
  std::vector<double> surface_moisture;  // surface soil water content per cell
  double infil_volume_total = 0.0;
  double evap_volume_total = 0.0;
  double evap_volume_event = 0.0;
  double direct_evap_volume_total = 0.0;
  double direct_evap_volume_event = 0.0;
  double unsat_downward_volume = 0.0;    // run total leaving the unsaturated zone
  double recharge_volume = 0.0;          // event recharge
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
  double watershed_area = 0.0;
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
  double sm_volume_initial = 0.0;          // simple soil water at the start of the run
  double soil_volume_initial_simple = 0.0; // over the simple soil depth
  double sm_volume_final = 0.0;
  double sm_evap_total = 0.0;              // returned by the soil-moisture routines
};

}  // namespace pluvo
