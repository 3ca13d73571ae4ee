#include "overland/scheme_checks.hpp"

#include <algorithm>

#include "common/error_state.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

bool report_missing_cell_arrays(model_state& m) {
  stop_run("The overland flow arrays are not set up for the %d cells of the grid.\n",
                    m.cell_count);
  return false;
}

}  // namespace

bool lake_numbers_fit(model_state& m, const std::vector<int>& mask, size_t tables, const char* kind) {
  if (mask.size() < size_t(m.cell_count) + 1) {
    stop_run("The %s lake map does not cover the %d cells of the grid.\n", kind,
                      m.cell_count);
    return false;
  }
  for (int i = 1; i <= m.cell_count; i++) {
    if (mask[size_t(i)] < 0 || size_t(mask[size_t(i)]) >= tables) {
      stop_run("Cell %d belongs to %s lake %d, but only %d lakes are defined.\n",
                        i, kind, mask[size_t(i)], int(tables) - 1);
      return false;
    }
  }
  return true;
}

bool cell_arrays_fit(model_state& m) {
  const size_t size = size_t(m.cell_count) + 1;
  for (const auto* v : {&m.ov_depth, &m.elevation, &m.retent_dep, &m.dist_rough, &m.slope_x, &m.slope_y})
    if (v->size() < size) return report_missing_cell_arrays(m);
  for (const auto* v : {&m.rightcon, &m.belowcon, &m.leftcon, &m.abovecon})
    if (v->size() < size) return report_missing_cell_arrays(m);
  if (m.dike_map_on && m.dike_mask.size() < size) return report_missing_cell_arrays(m);
  if (m.wetland_on && m.wetland_mask.size() < size) return report_missing_cell_arrays(m);
  return true;
}

size_t channel_lake_tables(const model_state& m) {
  return std::min({size_t(std::max(m.nlakes, 0)) + 1, m.lake_elev.size(), m.lake_volume.size(),
                   m.lake_in_dv.size(), m.lake_out_dv.size()});
}

}  // namespace pluvo
