#include "common/pumps.hpp"

#include "common/elevation_series.hpp"
#include "common/time_series.hpp"

namespace pluvo {

std::vector<pump_record> channel_pump_list;

const pump_record* channel_pump(int handle) {
  if (handle < 1 || size_t(handle) > channel_pump_list.size()) return nullptr;
  return &channel_pump_list[size_t(handle) - 1];
}

double pump_rate(const pump_record& p, double t, double level) {
  if (p.flow_type == 1) return time_series_value(t, p.series);
  return elevation_series_value(level, elevation_series_at(p.elevation_series));
}

}  // namespace pluvo
