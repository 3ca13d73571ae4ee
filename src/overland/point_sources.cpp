// Overland point sources: given discharges onto single cells, once per overland transport step.
#include <cmath>

#include "overland/overland_phases.hpp"
#include "record/model_state.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

// Cells whose stage is imposed: water put onto them leaves through the boundary.
bool held_stage(int type) { return type == 2 || type == 3 || type == 9; }

void add_point_sources(model_state& m, double dt) {
  const int n = m.cell_count;
  if (m.ov_point_source_flow.size() <= size_t(n)) return;
  const double area = m.cell_size * m.cell_size;
  const bool boundaries = m.ov_boundary_on && m.boundary_type.size() > size_t(n);
  // In cell order, so the totals are the same on any thread count.
  for (int i = 1; i <= n; i++) {
    const double v = dt * m.ov_point_source_flow[size_t(i)];
    if (boundaries && held_stage(m.boundary_type[size_t(i)])) m.ov_head_bound_loss += v;
    else m.ov_depth[size_t(i)] += v / area;
    m.ov_point_source_volume += v;
    m.ov_point_source_total += v;
  }
}

// Water on the surface: the overland and infiltration windows may not reach beyond one step.
void bring_windows_into_line(model_state& m) {
  const double end = m.cur_julian + m.step_interval;
  if (m.step_next_time > end) {
    m.step_next_time = end;
    if (m.step_last_time > m.cur_julian) m.step_last_time = m.cur_julian;
  }
  if (!(m.infil_next_time > end)) return;
  m.infil_next_time = end;
  if (m.infil_last_time > m.cur_julian) m.infil_last_time = m.cur_julian;
  if (m.inf_redist_on == 1 && m.inf_redist_initialized == 0) start_redistribution(m);
}

}  // namespace

void apply_cell_inflows(model_state& m) {
  if (!m.ov_con_trans_on || !m.ov_point_source_on) return;
  if (!(m.ov_con_next_time - m.cur_julian < m.time_tolerance)) return;
  add_point_sources(m, (m.cur_julian - m.ov_con_last_time) * 86400.0);
  bring_windows_into_line(m);
}

}  // namespace pluvo
