// The start of a rainfall event: timers restart from the clock, event accumulators and
// starting volumes are set, and the soil gets its moisture for the event.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_services.hpp"
#include "output/end_event.hpp"
#include "output/transport_summary.hpp"
#include "run/clock.hpp"
#include "quality/water_quality_clocks.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"
#include "soil/infiltration_methods.hpp"
#include "soil/richards_columns.hpp"
#include "soil/soil_layers.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

bool console_on(const model_state& m) { return !m.super_quiet_on && m.silent_mode != 1; }

void restart_step_window(model_state& m) {
  m.step_last_time = m.cur_julian;
  m.step_next_time = m.cur_julian + m.step_interval;
  m.infil_interval_s = m.step_interval_s;
  m.infil_interval = m.step_interval;
  if (m.infil_next_time > m.step_next_time + m.step_interval)
    m.infil_next_time = m.step_next_time + m.step_interval;
  if (m.ov_con_trans_on) copy_timer(PLUVO_TIMER(m, ov_con), PLUVO_TIMER(m, step));
  if (m.gw_simulation_on) {
    m.gw_interval_s = m.step_interval_s;
    m.gw_interval = m.step_interval;
    if (m.gw_next_time > m.step_next_time + m.step_interval)
      m.gw_next_time = m.step_next_time + m.step_interval;
    // The exchange the aquifer set before the event is booked to no event: it starts afresh.
    std::fill(m.qriv.begin(), m.qriv.end(), 0.0);
  }
  if (m.soil_moisture_accounting_on) {
    m.soil_moisture_interval_s = m.infil_interval_s;
    m.soil_moisture_interval = m.infil_interval;
    m.soil_moisture_next_time = m.infil_next_time;
  }
}

// Overland water of each cell for the event. A wetland cell starts at its wetland's depth;
// its ground is lowered by the wetland's depth below the map only the first time, so that
// repeated events do not sink it further.
void set_event_overland_water(model_state& m) {
  if (m.inf_richards_on || m.gw_simulation_on || m.ov_point_source_on || m.inf_redist_on) return;
  const bool wetlands = m.wetland_on && !m.wetland_mask.empty();
  const bool init_map = m.ov_init_depth_on || m.init_elev_head_on;
  const bool lower = wetlands && !m.wetland_elevation_lowered;
  const int32_t n = m.cell_count;
  const int32_t wetland_count = int32_t(m.wetland_properties.size());
  for (int32_t j = 1; j <= n; ++j) {
    if (init_map && !m.ov_event_store.empty()) m.ov_event_store[j] = 0.0;
    const int32_t w = wetlands ? m.wetland_mask[j] : 0;
    if (w > 0 && w < wetland_count) {
      m.ov_depth[j] = m.wetland_properties[size_t(w)][0];
      if (lower) m.elevation[j] -= m.wetland_properties[size_t(w)][7];
    } else if (!init_map) {
      if (!wetlands && !m.ov_event_store.empty()) m.ov_event_store[j] = 0.0;
      if (wetlands) m.ov_depth[j] = 0.0;
    }
  }
  if (lower) m.wetland_elevation_lowered = 1;
}

void zero_if_present(std::vector<double>& v, int32_t j) {
  if (!v.empty()) v[size_t(j)] = 0.0;
}

// The column's event books start at 0 with a flux boundary; its water is the event's starting soil.
void start_richards_column(model_state& m, int32_t j, double area) {
  if (m.inf_rich.size() <= size_t(j) || m.numcells.size() <= size_t(j)) return;
  m.inf_rich[size_t(j)] = 0.0;
  m.bound_type[size_t(j)] = 1;
  m.soil_volume_initial += column_water_cm(m, j) / 100.0 * area;
  m.richards_cells_start += std::max(m.numcells[size_t(j)] - 1, 0);
  if (m.long_term_on && m.soil_moist_depth_cm > 0.0) m.initial_soil_water += column_wetness(m, j, m.soil_moist_depth_cm);
  m.dtr[size_t(j)] = std::min(m.dtr[size_t(j)], m.infil_interval_s / 3600.0);
}

// Long-term runs carry the columns from their last update up to the event.
void settle_richards_before_event(model_state& m) {
  if (!m.long_term_on || !m.inf_richards_on || m.loop_pass == 1) return;
  const double area = m.cell_size * m.cell_size;
  const double evaporated = solve_richards_columns(m, (m.cur_julian - m.infil_last_time) * 86400.0);
  m.soil_evap_depth = evaporated;
  m.evap_volume_total += evaporated * area;
  if (m.summary_fp.is_open())
    std::fprintf(m.summary_fp.stream, "Total evaporation at beginning of event %lf \n", m.evap_volume_total);
  m.evap_volume_event = 0.0;
  double infiltrated = 0.0;
  for (int32_t j = 1; j <= m.cell_count; ++j) infiltrated += m.infil_depth[size_t(j)] - m.infil_depth_prev[size_t(j)];
  m.infil_volume_total += infiltrated * area;
  if (m.infil_next_time > m.cur_julian + m.step_interval) {
    m.infil_next_time = m.cur_julian + m.step_interval;
    m.infil_last_time = m.cur_julian;
    if (m.ov_con_trans_on) copy_timer(PLUVO_TIMER(m, ov_con), PLUVO_TIMER(m, infil));
  }
}

void reset_cell_infiltration(model_state& m) {
  const int32_t n = m.cell_count;
  const double area = m.cell_size * m.cell_size;
  for (int32_t j = 1; j <= n; ++j) {
    if (m.green_ampt_on || m.inf_layered_soil_on || m.inf_richards_on) {
      zero_if_present(m.infil_depth, j);
      zero_if_present(m.infil_depth_prev, j);
    }
    if (m.inf_layered_soil_on) zero_if_present(m.wetdep, j);
    if (m.inf_layered_soil_on || m.inf_richards_on) zero_if_present(m.infil_rate, j);
    if (m.inf_richards_on) {
      if (m.long_term_on) move_cm_to_total(m.direct_evap_cell, j, area, m.direct_evap_volume_total);
      start_richards_column(m, j, area);
      if (!m.gw_simulation_on) move_cm_to_total(m.unsat_downward_flux, j, area, m.unsat_downward_volume);
    }
    if (m.interception_on) zero_if_present(m.interception_depth, j);
  }
}

void reset_event_counters(model_state& m) {
  m.event_step_count = m.loop_pass == 1 ? m.event_step_count : 1;
  m.infil_step_count = 1;
  m.event_peak_tracked = 0.0;
  m.xsec_table_exceeded = 0;
  m.rain_to_overland_volume = 0.0;
  m.event_ov_volume_initial = 0.0;
  m.event_discharge_volume = 0.0;
  // The exchange not yet booked was made before the event, which holds its water already: the
  // aquifer's next step books it to the run, and this event starts short of it.
  const aquifer_exchange pending = pending_aquifer_exchange(m);
  m.gw_to_chan_volume = -pending.gw_to_chan;
  m.chan_to_gw_volume = -pending.chan_to_gw;
  m.gw_to_lake_volume = -pending.gw_to_lake;
  m.lake_to_gw_volume = -pending.lake_to_gw;
  m.chan_lat_in_start = m.chan_lat_in_volume;
  m.chan_lat_out_start = m.chan_lat_out_volume;
  m.chan_lat_net_start = m.chan_lat_net_total;
  m.stream_point_source_start = m.stream_point_source_total;
  m.stream_point_sink_start = m.stream_point_sink_total;
  m.event_peak_q = 0.0;
  m.exfiltrated_volume_start = m.exfiltrated_volume_total;
  m.exfiltrated_volume = 0.0;
  if (m.snow_canopy_intercept_on) m.canopy_sublimation_start = m.canopy_sublimation_total;
  m.intercepted_volume_start = m.intercepted_volume;
  m.ov_cleanup_volume_start = m.ov_cleanup_volume;
  m.awaiting_first_rain = 1;
  m.rain_rate_sum = 0.0;
}

void reset_calibration_points(model_state& m) {
  if (!(m.hyd_location_on == 1 && m.optimize_on == 1 && !m.optimize_sed_on)) return;
  const int32_t points = m.hydrograph_link_count;
  for (int32_t i = 1; i <= points; ++i) {
    if (size_t(i) < m.point_peak_discharge.size()) m.point_peak_discharge[size_t(i)] = 0.0;
    if (size_t(i) < m.point_event_volume.size()) m.point_event_volume[size_t(i)] = 0.0;
    calibration_results* r = m.external_results;
    if (r && size_t(i) < r->point_peaks.size() && size_t(i) < r->point_volumes.size()) {
      r->point_peaks[size_t(i)] = -999.99;
      r->point_volumes[size_t(i)] = -999.99;
    }
  }
}

void compute_event_overland_volume(model_state& m) {
  if (!(m.inf_richards_on || m.gw_simulation_on || m.soil_moisture_accounting_on ||
        m.overland_lakes_on || m.wetland_on || m.ov_init_depth_on || m.init_elev_head_on))
    return;
  const int32_t n = m.cell_count;
  const double area = m.cell_size * m.cell_size;
  const bool lakes = m.overland_lakes_on && !m.oland_lake_mask.empty();
  const int32_t lake_count = int32_t(m.overland_lake_records.size());
  double sum = 0.0;
  for (int32_t j = 1; j <= n; ++j) {
    const int32_t lake = lakes ? m.oland_lake_mask[size_t(j)] : 0;
    if (lake > 0 && lake < lake_count)
      sum += (m.overland_lake_records[size_t(lake)].wse - m.elevation[size_t(j)]) * area;
    else
      sum += m.ov_depth[size_t(j)] * area * open_share(m, j);
  }
  m.event_ov_volume_initial = sum;
  if (sum > 1e-6) {
    m.awaiting_first_rain = 0;
    m.rain_rate_sum = sum;
  }
}

// The channel lakes' water at the event's start, and their event figures from 0.
void start_event_lakes(model_state& m) {
  if (!m.lakes_on) return;
  m.precip_to_lake_volume = 0.0;
  m.ov_to_lake_volume = 0.0;
  m.ov_from_lake_volume = 0.0;
  m.lake_evap_volume_start = m.lake_evap_volume;
  double held = 0.0;
  for (int32_t l = 1; l <= m.nlakes && size_t(l) < m.lake_volume.size(); ++l) held += m.lake_volume[size_t(l)];
  m.lake_initial_volume = held;
}

// Snow and melt water at the event's start, for the event's balance. The pack's liquid water
// is part of its water equivalent already.
void start_event_snow(model_state& m) {
  m.snow_volume_initial = 0.0;
  m.melt_volume = 0.0;
  const size_t n = size_t(m.cell_count) + 1;
  const double area = m.cell_size * m.cell_size;
  for (int32_t j = 1; j <= m.cell_count; ++j) {
    if (m.lakes_on && m.lake_mask.size() >= n && m.lake_mask[size_t(j)] > 0) continue;
    if (m.snow_present && m.snow_swe.size() >= n) m.snow_volume_initial += m.snow_swe[size_t(j)] * area;
    if (m.long_term_on && m.snow_melt_to_ov.size() >= n) m.melt_volume += m.snow_melt_to_ov[size_t(j)] * area;
  }
}

// The books of the last event were closed with its summary; what left through the outlet since
// then is this event's discharge, and the water it was is part of what this event starts with.
void take_in_outflow_since_last_event(model_state& m) {
  if (m.chan_explic_on)
    m.event_chan_volume_initial += m.outlet_volume;
  else
    m.event_ov_volume_initial += m.event_ov_outflow_volume;
}

// A network timer follows the step window; its last time is never moved back.
void follow_step_window(model_state& m, timer t) {
  set_interval(t, m.step_interval_s);
  t.next = m.step_next_time;
  if (t.last < m.step_last_time) t.last = m.step_last_time;
}

void restart_network_timers(model_state& m) {
  if (m.chan_explic_on == 1) copy_timer(PLUVO_TIMER(m, chan), PLUVO_TIMER(m, step));
  if (m.storm_sewer_on) {
    if (m.superlink_call_count > 0) m.superlink_call_count = 1;
    follow_step_window(m, PLUVO_TIMER(m, superlink));
    m.superlink_running = 1;
  }
  if (m.storm_drain_on) {
    follow_step_window(m, PLUVO_TIMER(m, drain));
    m.drain_network_active = 1;
  }
  if (m.ov_bmp_on) {
    m.bmp_next_time = m.step_next_time;
    m.bmp_last_time = m.step_last_time;
    // The BMP event figures are kept as they happen, so each event starts them at 0.
    m.bmp_precip_volume = m.bmp_from_ov_volume = m.bmp_to_ov_volume = m.bmp_to_gw_volume = 0.0;
    m.bmp_seepage_volume = 0.0;
  }
  if (m.permafrost_gipl_flag || m.multi_layer_infil_gipl_flag) {
    if (m.gipl_state.column_step_count > 0) m.gipl_state.column_step_count = 1;
    if (m.gipl_timestep_flag) {
      m.soil_temp_last_time = m.cur_julian;
      m.soil_temp_next_time = m.cur_julian + m.soil_temp_interval;
    } else {
      m.soil_temp_last_time = m.infil_last_time;
      m.soil_temp_next_time = m.infil_next_time;
    }
  }
}

}  // namespace

void begin_event(model_state& m) {
  if (!(std::fabs(m.cur_julian - m.event_start) < m.time_tolerance)) return;
  m.ov_water_present = 1;
  restart_step_window(m);
  settle_richards_before_event(m);
  if (m.inf_richards_on) {
    m.initial_soil_water = 0.0;
    m.soil_volume_initial = 0.0;
    m.richards_cells_start = 0;
    m.gw_to_unsat_event_volume = 0.0;
    m.unsat_downward_volume_start = m.unsat_downward_volume;
  }
  if (m.sacramento_on) {
    m.sac_infil_volume = m.sac_evap_volume = m.sac_baseflow_volume = 0.0;
    m.subsurface_volume_event_start = sac_subsurface_volume(m, m.watershed_area, m.cell_count);
  }
  set_event_overland_water(m);
  reset_cell_infiltration(m);
  if (m.inf_richards_on && m.long_term_on && m.cell_count > 0) m.initial_soil_water /= m.cell_count;
  reset_event_counters(m);
  reset_calibration_points(m);
  compute_event_overland_volume(m);
  start_event_lakes(m);
  start_event_snow(m);

  m.infiltrated_volume = 0.0;
  m.rain_start_min = 0.0;
  m.rain_step_count = 0;
  m.precip_record_index = 1;
  if (console_on(m)) std::printf("Initialized Arrays\n");
  start_event_sediment(m);

  if (!m.long_term_on && !m.qir_mode) {
    if (m.silent_mode != 1) std::printf("simulation duration %d minutes\n", m.total_time_min);
    m.run_end_julian = double(m.total_time_min) / 1440.0 + m.start_julian;
  }
  if (m.inf_redist_on) start_redistribution(m);
  if (m.inf_layered_soil_on && m.long_term_on) start_layered_soil(m);
  restart_network_timers(m);
  start_event_channels(m);
  take_in_outflow_since_last_event(m);
  start_water_quality_clocks(m);
  clear_event_water_quality(m);
}

}  // namespace pluvo
