#pragma once
// Fields of the model record owned by this process family.
#include <vector>

namespace pluvo {

struct channel_state {
  int chan_explic_on = 0;       // explicit channel routing on
  int overbank_flow_on = 0;
  int chan_hotstart_water = 0;  // some node starts with water
  double chan_volume_final = 0.0;  // m3 held in the channels
  // Channel lakes.
  int lakes_on = 0;
  int nlakes = 0;
  std::vector<int> lake_mask;         // lake number per cell, 0 none
  std::vector<double> lake_elev;      // per lake, m
  std::vector<double> lake_volume;    // per lake, m3
  std::vector<double> lake_in_dv;     // m3 into each lake since the overland phase last booked it
  std::vector<double> lake_out_dv;    // m3 out of each lake since then
};

}  // namespace pluvo
