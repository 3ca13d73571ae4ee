#pragma once
// Fields of the model record owned by this process family.
#include <string>
#include <vector>

namespace pluvo {

struct hydromet_state {
  double avg_rain_rate = 0.0;            // watershed mean of the step
  double rain_to_overland_volume = 0.0;  // event, m3
  double rain_volume_total = 0.0;        // run, land and lake cells
  double precip_to_lake_volume = 0.0;    // event
  double precip_to_lake_total = 0.0;
  double intercepted_volume = 0.0;       // run total
  double intercepted_volume_start = 0.0;
  double intercepted_volume_event = 0.0;
  double canopy_sublimation_total = 0.0;
  double canopy_sublimation_start = 0.0;
  double canopy_sublimation_event = 0.0;
  int rain_step_count = 0;
  double rain_start_min = 0.0;
  // Snow.
  int snow_present = 0;
  std::vector<double> snow_swe;          // m per cell
  std::vector<double> snow_liquid;       // liquid water in the pack, m per cell
  std::vector<double> melt_to_overland;  // m per cell
  double snow_volume_final = 0.0;
  double melt_volume_final = 0.0;
  // Hydrometeorological record of a long-term run.
  std::string hmet_station;
  int hmet_first_year = 0;
  int hmet_first_month = 0;
  int hmet_first_day = 0;
  int hmet_first_hour = 0;
  int hmet_last_year = 0;
  int hmet_last_month = 0;
  int hmet_last_day = 0;
  int hmet_last_hour = 0;
  int hmet_repaired_count = 0;
};

}  // namespace pluvo
