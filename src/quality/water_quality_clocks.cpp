// The water-quality clocks start with the step window; each sub-step then keeps its own pair.
#include "quality/water_quality_clocks.hpp"

#include <algorithm>

#include "quality/channel_quality.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

void start_pair(double& next, double& last, double next_time, double last_time) {
  next = next_time;
  last = last_time;
}

}  // namespace

void start_water_quality_clocks(model_state& m) {
  if (m.ov_con_trans_on) {
    m.ov_con_interval = m.step_interval;
    const double next = m.step_next_time, last = m.step_last_time;
    start_pair(m.ov_precip_load_next_time, m.ov_precip_load_last_time, next, last);
    start_pair(m.ov_infil_wq_next_time, m.ov_infil_wq_last_time, m.infil_next_time, m.infil_last_time);
    if (m.contam_table_on) {
      start_pair(m.ov_uptake_next_time, m.ov_uptake_last_time, next, last);
      start_pair(m.ov_decay_next_time, m.ov_decay_last_time, next, last);
    }
    if (m.nutrients_on) {
      start_pair(m.ov_tvx_next_time, m.ov_tvx_last_time, next, last);
      if (m.soil_con_trans_on) start_pair(m.ov_tvx_soil_next_time, m.ov_tvx_soil_last_time, next, last);
    }
    if (!m.chan_explic_on)
      start_pair(m.ov_outlet_wq_next_time, m.ov_outlet_wq_last_time, next, last);
    else
      start_pair(m.ov_chan_wq_next_time, m.ov_chan_wq_last_time, next, last);
  }
  // The channel gatherings and the routing update act at the channel steps.
  const double chan_next = m.chan_next_time, chan_last = m.chan_last_time;
  start_pair(m.chan_wq_next_time, m.chan_wq_last_time, chan_next, chan_last);
  start_pair(m.chan_source_next_time, m.chan_source_last_time, chan_next, chan_last);
  start_pair(m.chan_tvx_next_time, m.chan_tvx_last_time, chan_next, chan_last);
  start_pair(m.chan_outlet_next_time, m.chan_outlet_last_time, chan_next, chan_last);
  start_pair(m.chan_exchange_next_time, m.chan_exchange_last_time, chan_next, chan_last);
  // Without soil-moisture accounting its clock never runs: the soil then keeps infiltration time.
  if (m.soil_con_trans_on && m.soil_moisture_accounting_on)
    start_pair(m.soil_con_next_time, m.soil_wq_last_time, m.soil_moisture_next_time, m.soil_moisture_last_time);
  else
    start_pair(m.soil_con_next_time, m.soil_wq_last_time, m.infil_next_time, m.infil_last_time);
  // The soil nutrient clock starts with the soil step's own.
  if (m.nutrients_on) start_pair(m.soil_wq_next_time, m.soil_tvx_last_time, m.soil_con_next_time, m.soil_wq_last_time);
}

void clear_event_water_quality(model_state& m) {
#define PLUVO_CLEAR_EVENT_TOTAL(member) \
  for (int32_t k = 1; k <= m.member.count; ++k) m.member[k] = 0.0;
  PLUVO_EVENT_MASS_ARRAYS(PLUVO_CLEAR_EVENT_TOTAL)
#undef PLUVO_CLEAR_EVENT_TOTAL
  // The event's own balance starts from the stores as the event finds them; the channel's
  // terms come after the clearing, which would wipe them.
  if (m.ov_con_trans_on) {
    m.event_constituent_terms.assign(size_t(m.num_constituents) + 1, {});
    for (int k = 1; k <= m.num_constituents && k <= m.event_ov_mass_init.count; ++k) {
      m.event_ov_mass_init[k] = overland_store(m, k);
      m.event_constituent_terms[size_t(k)].soil_initial = soil_store(m, k);
    }
  }
  if (m.chan_con_trans_on) start_channel_quality_event(m);
}

void start_constituent_balance(model_state& m) {
  m.event_constituent_terms.assign(size_t(m.num_constituents) + 1, {});
  m.run_constituent_terms.assign(size_t(m.num_constituents) + 1, {});
  for (int k = 1; k <= m.num_constituents; ++k) m.run_constituent_terms[size_t(k)].soil_initial = soil_store(m, k);
}

double overland_store(const model_state& m, int k) {
  const double* mass = checked_array_2d_row(m.ov_mass, k);
  double sum = 0.0;
  for (int c = 1; mass && c <= m.cell_count; ++c)
    if (!(m.lakes_on && size_t(c) < m.lake_mask.size() && m.lake_mask[size_t(c)] > 0)) sum += mass[c] / 1000.0;
  return sum;
}

double soil_store(const model_state& m, int k) {
  double** soil = m.soil_con_trans_on ? checked_array_3d_plane(m.soil_mass, k) : nullptr;
  double sum = 0.0;
  const int layers = std::min(m.soil_contam_layers, m.soil_mass.columns);
  for (int c = 1; soil && c <= m.cell_count && c <= m.soil_mass.rows; ++c)
    for (int L = 1; L <= layers; ++L) sum += soil[c][L] / 1000.0;
  return sum;
}

}  // namespace pluvo
