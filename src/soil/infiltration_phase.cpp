// The infiltration phase: runs the selected method at each update time, exchanges water
// between the water table and the surface, books the infiltrated water and sleeps between
// the events of a long-term run.
#include <array>
#include <cmath>

#include "common/parallel_fill.hpp"
#include "common/parallel_team.hpp"
#include "common/error_state.hpp"
#include "common/console.hpp"
#include "record/model_state.hpp"
#include "soil/infiltration_methods.hpp"
#include "soil/soil_phases.hpp"

namespace pluvo {

namespace {

enum class exchange_form { redistribution, layered, richards };

bool in_any_lake(const model_state& m, int i) {
  if (m.overland_lakes_on && m.oland_lake_new.size() > size_t(m.cell_count) && m.oland_lake_new[i] > 0) return true;
  return m.lakes_on && m.lake_mask.size() > size_t(m.cell_count) && m.lake_mask[i] > 0;
}

bool holds_head_boundary(const model_state& m, int i) {
  if (!m.ov_boundary_on || m.boundary_type.size() <= size_t(m.cell_count)) return false;
  const int t = m.boundary_type[i];
  return t == 2 || t == 3 || t == 9;
}

template <typename T>
void size_for(std::vector<T>& v, size_t n) {
  if (v.size() != n) assign_fresh(v, n);
}

// Exchange depth (m, positive up) of one cell before it is limited by the water present.
double exchange_depth(model_state& m, exchange_form form, int i, double dt) {
  const double surface = m.elevation[i] + m.ov_depth[i];
  const double head = m.elevgw[i] - surface;
  if (m.gw_simulation_on && head <= 0.0) return m.gw_leakage_rate_value / -360000.0 * dt;
  double q = 0.0;
  switch (form) {
    case exchange_form::redistribution:
      q = head * m.ks_cell[i] / (m.soil_moist_depth_cm / 100.0) * dt;
      break;
    case exchange_form::layered: {
      double k = 0.0, d = 0.0;
      if (!layered_top_conductance(m, i, k, d) || d <= 0.0) return 0.0;
      m.soil_moist_depth_cm = d;
      q = head * k / d * dt / 3600.0;
      break;
    }
    case exchange_form::richards:
      if (m.gw_simulation_on)
        q = head * dt / m.gw_interval_s * m.gw_porosity[i];
      else
        q = head * m.avgks[i] / m.totaldz[i] * dt / 3600.0;
      break;
  }
  // Without a simulated water table only the Richards columns let water go down.
  if (!m.gw_simulation_on && form != exchange_form::richards && q < 0.0) q = 0.0;
  return q;
}

bool exchange_inputs_fit(const model_state& m, exchange_form form) {
  const size_t size = size_t(m.cell_count) + 1;
  if (m.yes_exfil.size() < size || m.elevgw.size() < size || m.elevation.size() < size ||
      m.ov_depth.size() < size)
    return false;
  switch (form) {
    case exchange_form::redistribution:
      return m.ks_cell.size() >= size;
    case exchange_form::layered:
      return true;
    case exchange_form::richards:
      return m.gw_simulation_on ? m.gw_porosity.size() >= size
                                : m.avgks.size() >= size && m.totaldz.size() >= size;
  }
  return false;
}

void surface_groundwater_exchange(model_state& m, exchange_form form, double dt) {
  const int n = m.cell_count;
  const size_t size = size_t(n) + 1;
  if (!exchange_inputs_fit(m, form)) {
    stop_run(
                      "The exchange between the water table and the surface needs the water table and soil of every cell.\n");
    return;
  }
  size_for(m.exfil_depth_cell, size);
  const double area = m.cell_size * m.cell_size;
  const bool blocked = m.ovr_flow_block_on && m.ovr_flow_block_value1.size() > size_t(m.cell_count);
  for (int i = 1; i <= n; i++) {
    const int flag = m.yes_exfil[i];
    if (form == exchange_form::richards ? flag != 1 : flag < 1) continue;
    if (in_any_lake(m, i)) continue;
    double q = exchange_depth(m, form, i, dt);
    const bool boundary = holds_head_boundary(m, i);
    if (-q > m.ov_depth[i]) {
      q = -m.ov_depth[i];
      if (boundary)
        m.ov_head_bound_gain += m.ov_depth[i] * area;
      else
        m.ov_depth[i] = 0.0;
    } else if (boundary) {
      m.ov_head_bound_loss += q * area;
    } else {
      m.ov_depth[i] += q;
    }
    if (form == exchange_form::redistribution) m.exfil_depth_cell[i] += q;
    if (blocked && m.ovr_flow_block_value1[i] < 1.0) q *= 1.0 - m.ovr_flow_block_value1[i];
    if (form != exchange_form::redistribution) m.exfil_depth_cell[i] += q;
    m.exfiltrated_volume_total += q * area;

    const double volume = q * area;
    const bool soil_transport = m.soil_con_trans_on != 0;
    if (m.ov_con_trans_on && (form == exchange_form::richards || !soil_transport)) {
      size_for(m.ov_gw_volume_cell, size);
      m.ov_gw_volume_cell[i] += volume;
    }
    if (soil_transport && (form != exchange_form::richards || m.ov_con_trans_on)) {
      size_for(m.soil_gw_volume_cell, size);
      m.soil_gw_volume_cell[i] += volume;
    }
  }
}

// Books the depth infiltrated since the last update into the run's totals.
void book_infiltration(model_state& m) {
  const int n = m.cell_count;
  if (m.infil_depth.size() != size_t(n) + 1) return;
  const size_t size = size_t(n) + 1;
  size_for(m.infil_depth_prev, size);
  size_for(m.cum_infil_depth, size);
  if (m.soil_moisture_accounting_on) size_for(m.sm_infil_depth, size);
  if (m.ov_con_trans_on) size_for(m.ov_infil_volume, size);
  const double area = m.cell_size * m.cell_size;
  const bool blocked = m.ovr_flow_block_on && m.ovr_flow_block_value1.size() > size_t(m.cell_count);
  const std::array<double, 2> sums = parallel_cell_sums<2>(n, [&](int i) -> std::array<double, 2> {
    const double d = m.infil_depth[i] - m.infil_depth_prev[i];
    double v = d * area;
    if (blocked && m.ovr_flow_block_value1[i] < 1.0) v *= 1.0 - m.ovr_flow_block_value1[i];
    m.cum_infil_depth[i] += d;
    // The soil lies under the whole cell: what the open share took spreads over all of it.
    if (m.soil_moisture_accounting_on) m.sm_infil_depth[i] += d * open_share(m, i);
    if (m.ov_con_trans_on) m.ov_infil_volume[i] += v;
    m.infil_depth_prev[i] = m.infil_depth[i];
    return {v, d};
  });
  const double volume_sum = sums[0], depth_sum = sums[1];
  m.infil_volume_total += volume_sum;
  if (m.sacramento_on) m.sac_infil_depth_sum += depth_sum;
  if (m.conceptual_gw_on) m.cgw_infil_depth_sum += depth_sum;
}

void sleep_until_next_event(model_state& m) {
  if (!m.soil_moisture_accounting_on || m.ov_water_present || m.ov_water_on_land || m.exfil_on ||
      m.event_in_progress)
    return;
  const int e = m.event_number;
  // The start dates are numbered from 1: the event after event e starts at entry e + 1.
  if (e < 0 || size_t(e) + 1 >= m.event_start_dates.size()) return;  // no later event to wait for
  if (m.inf_redist_on) m.inf_redist_initialized = 0;
  m.infil_next_time = m.event_start_dates[size_t(e) + 1] + m.step_interval;
  if (m.ov_con_trans_on) {
    m.ov_con_next_time = m.infil_next_time;
    m.ov_infil_wq_next_time = m.infil_next_time;
    if (m.contam_table_on) {
      m.ov_uptake_next_time = m.infil_next_time;
      m.ov_decay_next_time = m.infil_next_time;
    }
  }
}

}  // namespace

void compute_infiltration(model_state& m) {
  if (!(std::fabs(m.infil_next_time - m.cur_julian) < m.time_tolerance)) return;
  const double dt = (m.cur_julian - m.infil_last_time) * 86400.0;
  if (m.inf_redist_on == 1) {
    green_ampt_redist_parallel(m, dt);
    m.infil_step_count++;
    if (m.exfil_on == 1) surface_groundwater_exchange(m, exchange_form::redistribution, dt);
  } else if (m.green_ampt_on == 1) {
    if (!green_ampt_parallel(m, dt)) return;
  } else if (m.inf_layered_soil_on == 1) {
    infiltration_mlga_parallel(m, dt);
    if (m.exfil_on == 1) surface_groundwater_exchange(m, exchange_form::layered, dt);
  } else if (m.inf_richards_on == 1) {
    if (m.exfil_on == 1) surface_groundwater_exchange(m, exchange_form::richards, dt);
    const double evaporated = solve_richards_columns(m, dt);
    m.soil_evap_depth = evaporated;
    m.evap_volume_event += evaporated * m.cell_size * m.cell_size;
    m.evap_volume_total += evaporated * m.cell_size * m.cell_size;
  }
  book_infiltration(m);
  m.infil_last_time = m.cur_julian;
  m.infil_next_time = m.cur_julian + m.infil_interval;
  sleep_until_next_event(m);
}

}  // namespace pluvo
