// The overland routing phase: decides whether there is water to route, calls the scheme
// OVERTYPE selects, books the outlet outflow and, once the rain has stopped, ends the
// runoff of a single event or lets the overland clock sleep until the next event.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "channel/channel_services.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "overland/ade_scheme.hpp"
#include "overland/explicit_scheme.hpp"
#include "overland/overland_phases.hpp"
#include "quality/quality_services.hpp"
#include "common/parallel_team.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double wet = 1e-16;

void apply_snow_roughness(model_state& m) {
  if (!m.long_term_on || m.snow_roughness_on != 1 || m.snow_swe.size() <= size_t(m.cell_count)) return;
  const int n = m.cell_count;
  const double* swe = m.snow_swe.data();
  const double* copy = m.dist_rough_copy.data();
  double* rough = m.dist_rough.data();
  const double snow_n = m.snow_roughness_value;
#pragma omp parallel for schedule(static) if(n >= min_cells_for_threads)
  for (int i = 1; i <= n; i++) rough[i] = swe[i] > wet ? snow_n : copy[i];
}

enum class scan_moment { before_routing, after_routing };

struct scan_result {
  bool ok = true;
  int counted = 0;
  int flowing = 0;
};

// Sets ov_water_on_land and ov_flow_present from the cells that are not lake cells, and
// stops the run on the first cell whose depth is not a number.
scan_result scan_cells(model_state& m, scan_moment moment) {
  scan_result result;
  if (m.snow_calibrate_on == 1) {
    if (m.cell_count >= 1) m.ov_depth[1] = 0.0;
    return result;
  }
  const int n = m.cell_count;
  const bool olakes = m.overland_lakes_on && m.oland_lake_new.size() > size_t(m.cell_count);
  const bool clakes = m.lakes_on && m.lake_mask.size() > size_t(m.cell_count);
  const double* h = m.ov_depth.data();
  const bool have_q = m.ov_qx.size() > size_t(n) && m.ov_qy.size() > size_t(n);
  const double* qx = m.ov_qx.data();
  const double* qy = m.ov_qy.data();
  int lake_cells = 0, flowing = 0, water = 0, nan_cell = INT_MAX;
#pragma omp parallel for schedule(static) if(n >= min_cells_for_threads) \
    reduction(+ : lake_cells, flowing) reduction(max : water) reduction(min : nan_cell)
  for (int i = 1; i <= n; i++) {
    if (olakes && m.oland_lake_new[i] > 0) continue;
    if (clakes && m.lake_mask[i] > 0) {
      lake_cells++;
      continue;
    }
    if (h[i] > wet) water = 1;
    if (have_q && (std::fabs(qx[i]) > wet || std::fabs(qy[i]) > wet)) flowing++;
    if (std::isnan(h[i]) && i < nan_cell) nan_cell = i;
  }
  if (nan_cell != INT_MAX) {
    if (moment == scan_moment::before_routing)
      stop_run(
                        "A non-real overland flow water depth has been detected in cell %d after applying overland boundary conditions and overland pumping.\n",
                        nan_cell);
    else
      stop_run(
                        "A non-real overland flow water depth has been detected in cell %d after overland flow routing.\n",
                        nan_cell);
    report_error(error_state);
    result.ok = false;
    return result;
  }
  if (water) m.ov_water_on_land = 1;
  if (flowing) m.ov_flow_present = 1;
  result.counted = n - lake_cells;
  result.flowing = flowing;
  return result;
}

// Moves the channel-lake exchange since the last booking into the lake totals.
void book_channel_lakes(model_state& m) {
  if (!m.lakes_on) return;
  const int lakes = std::min<int>(m.nlakes, int(m.lake_in_dv.size()) - 1);
  for (int k = 1; k <= lakes; k++) {
    if (m.lake_in_dv[k] > wet || m.lake_out_dv[k] > wet) m.lake_exchange_active = 1;
    m.lake_rain_volume += m.lake_in_dv[k];
    m.ov_to_lake_volume += m.lake_in_dv[k];
    m.lake_outflow_volume += m.lake_out_dv[k];
    m.ov_from_lake_volume += m.lake_out_dv[k];
    m.lake_in_dv[k] = 0.0;
    m.lake_out_dv[k] = 0.0;
  }
}

void running_max(const double* source, double* destination, int n) {
#pragma omp parallel for schedule(static) if(n >= min_cells_for_threads)
  for (int i = 1; i <= n; i++)
    if (source[i] > destination[i]) destination[i] = source[i];
}

// Calls the scheme OVERTYPE selects: 1 explicit, else the alternating-direction scheme.
bool route(model_state& m, double dt) {
  const double volume = m.overland_scheme == 1 ? route_overland_explicit(m, dt) : route_overland_ade(m, dt);
  if (error_state.error_terminate != 0) return false;
  // Without lakes the ADE face discharges are the step's mean flows.
  if (m.overland_scheme == 2 && !m.lakes_on && !m.overland_lakes_on && dt > 0.0) {
    const double* vx = m.ov_vol_x.data();
    const double* vy = m.ov_vol_y.data();
    double* qx = m.ov_qx.data();
    double* qy = m.ov_qy.data();
    parallel_for_cells(m.cell_count, [&](int i) {
      qx[i] = vx[i] / dt;
      qy[i] = vy[i] / dt;
    });
  }
  m.outlet_discharge = volume;
  if (m.flood_grid_on) {
    if (m.max_flood_depth.size() != m.ov_depth.size()) m.max_flood_depth.assign(m.ov_depth.size(), 0.0);
    running_max(m.ov_depth.data(), m.max_flood_depth.data(), m.cell_count);
  }
  m.ade_sweep_order = m.ade_sweep_order == 1 ? 2 : 1;
  if (!m.chan_explic_on) {
    m.event_ov_outflow_volume += volume;
    m.total_discharge_volume += volume;
    if (m.ov_con_trans_on) m.ov_outlet_volume += volume;
    m.outlet_discharge = dt > 0.0 ? volume / dt : 0.0;
  }
  m.ov_routed_steps++;
  return true;
}

// A single-event run ends once the rain has stopped, no water stands on the land and the
// channels hold almost nothing of what the rain put on the grid.
void end_runoff_if_complete(model_state& m) {
  if (m.long_term_on || m.ov_water_on_land || m.qir_mode || m.chan_explic_on != 1) return;
  m.chan_volume_final = channel_stored_volume(m);
  if (!(m.rain_to_overland_volume * 0.0001 > m.chan_volume_final)) return;
  message_out("Rainfall for this event has ended.\n");
  if (m.summary_fp.stream) {
    std::fputs("Rainfall for this event ended. Runoff is complete\n", m.summary_fp.stream);
    std::fflush(m.summary_fp.stream);
  }
  m.event_in_progress = 0;
  m.event_ended = 1;
  m.keep_running = 0;
}

// Between the events of a long-term run the overland clock waits at the next event's
// start, and the clocks of the processes that follow the surface water go with it.
void sleep_until_next_event(model_state& m) {
  if (!m.long_term_on) return;
  if (m.exfil_on || m.ov_pump_flag || m.overbank_flow_on || m.superlink_ov_flag) return;
  if (m.ov_bmp_on && m.bmp_water_present) return;
  if (m.ov_flow_present) return;
  const int e = m.event_number;
  // The start dates are numbered from 1: the event after event e starts at entry e + 1.
  if (e < 0 || size_t(e) + 1 >= m.event_start_dates.size()) return;  // no later event to wait for

  m.ov_water_present = 0;
  m.step_next_time = m.event_start_dates[size_t(e) + 1];
  m.step_last_time = m.step_next_time - m.step_interval;
  m.outlet_discharge = 0.0;

  const bool soil_columns =
      m.inf_richards_on || m.gw_simulation_on || (m.inf_redist_on && m.inf_redist_initialized);
  if (soil_columns && m.ov_water_on_land) {
    m.infil_next_time = m.et_next_time;
    m.infil_interval_s = m.et_interval_s;
    m.infil_interval = m.et_interval;
    m.soil_moisture_next_time = m.infil_next_time;
    if (m.soil_con_trans_on) m.soil_con_next_time = m.infil_next_time;
    m.soil_moisture_interval_s = m.infil_interval_s;
    m.soil_moisture_interval = m.infil_interval;
  } else {
    m.infil_next_time = m.step_next_time;
    m.infil_last_time = m.step_last_time;
  }

  if (m.gw_simulation_on) {
    if (m.infil_interval_s > m.gw_timestep_value) {
      if (!m.chan_hotstart_water) {
        m.gw_interval_s = m.gw_timestep_value;
        m.gw_interval = m.gw_timestep_value / 86400.0;
        m.gw_next_time = std::min(m.cur_julian, m.et_next_time);
      }
      m.infil_interval_s = m.gw_interval_s;
      m.infil_interval = m.gw_interval;
      m.infil_next_time = m.cur_julian + m.gw_interval;
    } else if (!m.chan_hotstart_water) {
      m.gw_interval_s = m.gw_timestep_value;
      m.gw_interval = m.gw_timestep_value / 86400.0;
      m.gw_next_time = m.cur_julian;
    }
  }

  if (m.ov_con_trans_on) {
    m.ov_con_next_time = m.infil_next_time;
    m.ov_infil_wq_next_time = m.infil_next_time;
    m.ov_uptake_next_time = m.infil_next_time;
    m.ov_decay_next_time = m.infil_next_time;
    m.ov_con_interval_s = m.infil_interval_s;
    m.ov_con_interval = m.infil_interval;
    if (m.chan_explic_on)
      m.ov_chan_wq_next_time = m.step_next_time;
    else
      m.ov_outlet_wq_next_time = m.step_next_time;
  }
  if (m.ov_bmp_on) {
    m.bmp_next_time = m.step_next_time;
    m.bmp_last_time = m.step_last_time;
  }
}

}  // namespace

bool overland_erosion_on(const model_state& m) {
  return m.soil_erosion_on == 1 && m.ov_sed && m.ov_sed->sed_constituent_mode == 1;
}

void route_overland_step(model_state& m) {
  if (!(std::fabs(m.step_next_time - m.cur_julian) < m.time_tolerance)) return;
  const double dt = (m.cur_julian - m.step_last_time) * 86400.0;
  m.ov_flow_present = 0;
  m.ov_water_on_land = 0;

  apply_snow_roughness(m);
  const scan_result before = scan_cells(m, scan_moment::before_routing);
  if (!before.ok) return;
  const bool erosion_gate =
      before.counted > 0 && double(before.flowing) / double(before.counted) > 1e-16;

  m.outlet_discharge = 0.0;
  m.lake_exchange_active = 0;
  book_channel_lakes(m);

  if (m.ov_water_on_land || m.ov_flow_present)
    if (!route(m, dt)) return;

  if (m.ov_sed) m.ov_sed->outlet_sed_volume_step = 0.0;  // a step without erosion exports nothing
  if (erosion_gate && overland_erosion_on(m)) compute_overland_erosion(m, dt);
  if (m.overland_lakes_on) m.olake_extent_update = 1;
  book_channel_lakes(m);

  m.step_last_time = m.cur_julian;
  m.step_next_time = m.cur_julian + m.step_interval;
  if (m.rain_on) return;

  // The flags keep what the first scan found: water seen before routing delays the end by a step.
  if (!scan_cells(m, scan_moment::after_routing).ok) return;
  end_runoff_if_complete(m);
  sleep_until_next_event(m);
}

}  // namespace pluvo
