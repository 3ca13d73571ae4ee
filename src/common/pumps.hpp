#pragma once
// Pumps: a rate taken from a time series (rate against time) or from an elevation series (rate
// against the level or depth at the pump). Channel pumps come from the PUMPTO lines of the
// channel input file and are kept here, where the channel family can reach them by handle;
// overland pumps are kept in the run's record.
#include <cstdint>
#include <vector>

namespace pluvo {

struct time_series;

struct pump_record {
  int32_t state = 0;
  int32_t cell = 0;          // overland pump: cell number 1..N
  int32_t first_value = 0;   // first integer of a PUMPTO line
  int32_t second_value = 0;  // second integer; 1 on a link whose code is 4
  int32_t flow_type = 0;     // 0 rate from an elevation series, 1 from a time series
  time_series* series = nullptr;
  int32_t elevation_series = -1;  // position in the elevation-series list, -1 none
};

// Channel pumps of the run; handle k is element k - 1. Emptied when the run ends.
extern std::vector<pump_record> channel_pump_list;

// The pump of a handle, or none.
const pump_record* channel_pump(int handle);

// Rate in m3/s: the time series at time t, or the elevation series at level. A pump whose
// series was not found stops the run through the lookup.
double pump_rate(const pump_record& p, double t, double level);

}  // namespace pluvo
