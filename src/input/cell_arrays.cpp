// The per-cell arrays of the processes the options switch on, made once the cell count is known.
#include <cstdio>

#include "input/grid_setup.hpp"
#include "run/model_state.hpp"

namespace pluvo {

namespace {

template <typename T>
void make(std::vector<T>& v, int n, T fill = T()) {
  if (n <= 0) {
    v.clear();
    return;
  }
  v.assign(size_t(n) + 1, fill);
}

// A location list: its count, then one "row column" pair per line; a short list leaves zeros.
void read_locations(checked_file& f, int& count, std::vector<int>& rows, std::vector<int>& cols) {
  count = 0;
  if (!f.is_open() || std::fscanf(f.stream, "%d", &count) != 1 || count < 0) count = 0;
  rows.assign(size_t(count) + 1, 0);
  cols.assign(size_t(count) + 1, 0);
  for (int i = 1; i <= count; ++i)
    if (std::fscanf(f.stream, "%d %d \n", &rows[i], &cols[i]) != 2) break;
}

}  // namespace

void allocate_cell_arrays(model_state& m) {
  const int n = m.cell_count;
  for (auto* v : {&m.ov_depth, &m.ov_depth_2, &m.ov_depth_3, &m.ov_depth_change, &m.cell_rain_rate, &m.slope_x,
                  &m.slope_y, &m.slope_cx, &m.slope_cy})
    make(*v, n);
  if (m.flood_grid_on) make(m.flood_max_depth, n);
  for (auto* v : {&m.belowcon, &m.rightcon, &m.abovecon, &m.leftcon, &m.yes_exfil}) make(*v, n);
  if (m.area_reduction_on) make(m.area_reduction_factor, n);
  if (m.long_term_on) {
    make(m.snow_swe, n);
    make(m.snow_depth, n);
  }
  if (m.interception_on) {
    make(m.icep_stor, n);
    make(m.icep_coef, n);
  }
  for (auto* v : {&m.retent_dep, &m.dist_rough, &m.roughness_exp, &m.ov_mann_exp}) make(*v, n);
  if (m.overland_lakes_on) {
    make(m.oland_lake_mask, n);
    make(m.oland_lake_new, n);
  }
  if (m.overland_depths_on)
    read_locations(m.overland_depth_loc_fp, m.overland_depth_count, m.overland_depth_row,
                   m.overland_depth_col);
  if (m.overland_wse_on)
    read_locations(m.overland_wse_loc_fp, m.overland_wse_count, m.overland_wse_row,
                   m.overland_wse_col);
}

}  // namespace pluvo
