// Melt water between rain events: the melt waves of every cell drain onto the ground one melt
// step at a time, and the first water on a dry watershed wakes the sleeping model.
#include <cmath>

#include "quality/water_quality_clocks.hpp"
#include "record/model_state.hpp"
#include "soil/soil_phases.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;

bool holds_melt(const model_state& m, int c) {
  const size_t i = size_t(c);
  if (!(m.snow_melt_to_ov[i] >= tiny)) return false;
  if (m.lakes_on && i < m.lake_mask.size() && m.lake_mask[i] > 0) return false;
  if (m.overland_lakes_on && i < m.oland_lake_mask.size() && m.oland_lake_mask[i] > 0) return false;
  if (m.ov_boundary_on && i < m.boundary_type.size()) {
    const int t = m.boundary_type[i];
    if (t == 2 || t == 3 || t == 9) return false;
  }
  return true;
}

// Releases the waves of every cell over seconds s; true when water reached a dry cell surface.
bool release_waves(model_state& m, double seconds) {
  bool woke = false;
  for (int c = 1; c <= m.cell_count; ++c) {
    if (!holds_melt(m, c)) continue;
    const size_t i = size_t(c);
    for (int k = 1; k <= m.melt_wave_count; ++k) {
      auto& wave = m.Melt_Waves[i][size_t(k)];
      double r = seconds >= 3599.99 ? wave[1] : wave[1] / 3600.0 * seconds;
      if (wave[0] < 1e-8 || r > wave[0] || m.snow_swe[i] < tiny) {
        r = wave[0];
        wave = {0.0, 0.0};
      } else {
        wave[0] -= r;
      }
      m.snow_melt_to_ov[i] -= r;
      if (m.snow_melt_to_ov[i] < tiny)
        m.snow_melt_to_ov[i] = 0.0;
      else
        m.melt_occurring = 1;
      if (m.snow_calibrate_on == 1) {
        m.ov_depth[i] = 0.0;
      } else {
        // The pack lies on the whole cell; its melt runs onto the open share of a blocked one.
        m.ov_depth[i] += r / open_share(m, c);
        if (m.ov_depth[i] > tiny) woke = true;
      }
    }
  }
  return woke;
}

void wake_clocks(model_state& m) {
  const double s = m.time_step;
  const double d = s / 86400.0;
  m.ov_water_present = 1;
  m.step_interval_s = m.infil_interval_s = s;
  m.step_interval = m.infil_interval = d;
  m.step_last_time = m.infil_last_time = m.cur_julian;
  m.step_next_time = m.infil_next_time = m.cur_julian + d;
  if (m.ov_con_trans_on) start_water_quality_clocks(m);
}

// The soil meets the melt as it meets a storm: its infiltration state starts afresh from the
// water the soil-moisture accounting holds.
void wake_soil(model_state& m) {
  if (!m.soil_moisture_accounting_on) return;
  const double d = m.time_step / 86400.0;
  m.soil_moisture_next_time = m.cur_julian + d;
  if (m.soil_con_trans_on) m.soil_con_next_time = m.cur_julian + d;
  m.soil_moisture_interval = d;
  m.soil_moisture_interval_s = m.time_step;
  if (m.inf_redist_on && !m.inf_redist_initialized) start_redistribution(m);
  if (m.inf_layered_soil_on) start_layered_soil(m);
}

void switch_pipe_network_on(model_state& m) {
  if (!m.storm_sewer_on || m.superlink_running || m.num_superjunctions < 1) return;
  m.superlink_running = 1;
  m.superlink_last_time = m.cur_julian;
  m.superlink_next_time = m.cur_julian + m.step_interval;
}

}  // namespace

void release_melt_and_wake(model_state& m) {
  if (!m.long_term_on || !(std::fabs(m.melt_step_next_time - m.cur_julian) < m.time_tolerance) ||
      m.melt_stepping_on != 1)
    return;
  if (m.melt_occurring == 0) {
    m.melt_stepping_on = 0;
    const size_t e = size_t(m.event_number);
    // After the last event no storm comes: the melt clock waits for the next melt.
    const double next_event = e < m.event_start_dates.size() && m.event_number < m.event_count
                                  ? m.event_start_dates[e]
                                  : 1e30;
    m.melt_step_next_time = next_event;
    m.melt_step_last_time = next_event - m.step_interval;
    return;
  }
  const double seconds = (m.cur_julian - m.melt_step_last_time) * 86400.0;
  m.melt_occurring = 0;
  const bool woke = release_waves(m, seconds);
  if (!m.ov_water_present && woke) {
    wake_clocks(m);
    wake_soil(m);
    switch_pipe_network_on(m);
  }
  m.melt_step_last_time = m.cur_julian;
  m.melt_step_next_time = m.cur_julian + m.melt_step_interval;
}

}  // namespace pluvo
