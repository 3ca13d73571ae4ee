// The channel phase of the time loop: brings the grid's water into the stream nodes, routes the
// network over one channel interval and keeps the channel totals and clock.
#include <algorithm>
#include <array>
#include <cmath>

#include "channel/channel_phases.hpp"
#include "channel/channel_routines.hpp"
#include "channel/channel_services.hpp"
#include "channel/cross_sections.hpp"
#include "channel/explicit_routing.hpp"
#include "common/error_state.hpp"
#include "common/time_series.hpp"
#include "common/parallel_team.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// Moves what each lake took and gave since the last booking into the run's lake totals.
void book_lake_exchange(model_state& m) {
  for (int k = 1; k <= m.nlakes; k++) {
    const double in = m.lake_in_dv[size_t(k)];
    const double out = m.lake_out_dv[size_t(k)];
    m.lake_rain_volume += in;
    m.ov_to_lake_volume += in;
    m.lake_outflow_volume += out;
    m.ov_from_lake_volume += out;
    m.lake_in_dv[size_t(k)] = 0.0;
    m.lake_out_dv[size_t(k)] = 0.0;
  }
}

void lakes_before_routing(model_state& m) {
  m.external_channel_inflow_on = 1;
  m.lake_exchange_seen = 0;  // of this update
  for (int k = 1; k <= m.nlakes; k++)
    if (m.lake_in_dv[size_t(k)] > 1e-16 || m.lake_out_dv[size_t(k)] > 1e-16) m.lake_exchange_seen = 1;
  book_lake_exchange(m);
  update_lake_extent(m);
  if (m.lake_cells_unmarked) {
    for (int c = 1; c <= m.cell_count; c++)
      if (m.lake_mask[size_t(c)] > 0) m.new_flooded_grid[size_t(c)] = 1;
    m.lake_cells_unmarked = 0;
  }
  for (int k = 1; k <= m.nlakes; k++)
    if (m.lake_in_dv[size_t(k)] > 1e-16 || m.lake_out_dv[size_t(k)] > 1e-16) m.lake_exchange_seen = 1;
  book_lake_exchange(m);
}

void lakes_after_routing(model_state& m) {
  m.lake_routing_active = 0;
  if (!m.lakes_on) return;
  for (int k = 1; k <= m.nlakes; k++) {
    if (m.lake_in_dv[size_t(k)] > 1e-16 ||
        (m.lake_out_dv[size_t(k)] > 1e-16 && m.lake_volume[size_t(k)] > 1e-8))
      m.lake_routing_active = 1;
  }
  book_lake_exchange(m);
}

// Without the aquifer model nothing consumes the exchanged volumes: they go to the run totals
// here (positive from the aquifer) and are cleared.
void book_aquifer_exchange_totals(model_state& m) {
  if (!(m.water_table_on || m.stream_loss_on) || m.gw_simulation_on) return;
  const bool lakes = m.lakes_on && m.lake_gw_exchange_on && m.lake_source.size() > size_t(m.cell_count);
  // v goes to the first pair when it leaves the aquifer, to the second when it enters it.
  auto book = [](double& v, double& out, double& out_total, double& in, double& in_total) {
    (v >= 0.0 ? out : in) += std::fabs(v);
    (v >= 0.0 ? out_total : in_total) += std::fabs(v);
    v = 0.0;
  };
  for (int c = 1; c <= m.cell_count; c++) {
    const size_t i = size_t(c);
    if (i < m.cell_stream_exchange_volume.size())
      book(m.cell_stream_exchange_volume[i], m.gw_to_chan_volume, m.gw_to_river_total, m.chan_to_gw_volume,
           m.river_to_gw_total);
    if (lakes && m.lake_mask[i] > 0)
      book(m.lake_source[i], m.gw_to_lake_volume, m.gw_to_lake_total, m.lake_to_gw_volume, m.lake_to_gw_total);
  }
}

int outlet_key(const model_state& m) { return chan_key(m, m.nlinks, m.nx[m.nlinks]); }

// The imposed outlet stage: its change of storage leaves through the outlet node.
void impose_outlet_stage(model_state& m, double dt) {
  const size_t k = size_t(outlet_key(m));
  m.outlet_storage_flow = 0.0;
  if (m.bound_ts_on == 1) {
    const double a0 = m.area[k];
    set_outlet_boundary_depth(m);
    ex_section(m, 2, m.xsec_table_exceeded);
    m.outlet_storage_flow = (a0 - m.area[k]) * m.link_dx[m.nlinks] / dt;
  }
  m.qp[k] = m.outlet_storage_flow;
}

// Superjunction flows into the channels: their totals, then cleared for the next step.
void omp_boundary_outflow_sum(model_state& m) {
  const int n = m.num_superjunctions;
  if (n <= 0 || m.superlink_chan_con_flow.size() <= size_t(n)) return;
  const bool count = m.high_head_release_on != 1;
  const std::array<double, 1> s = parallel_cell_sums<1>(n, [&](int j) {
    const bool to_channel = count && j <= m.inlet_type.cols() && m.inlet_type[0][j] == 999;
    return std::array<double, 1>{to_channel ? m.superlink_chan_con_flow[size_t(j)] : 0.0};
  });
  m.superlink_to_chan_total += s[0];
  m.superlink_to_chan_volume += s[0];
  double* flow = m.superlink_chan_con_flow.data();
  parallel_for_cells(n, [=](int j) { flow[j] = 0.0; });
}

// What the drain junctions delivered to the channels: booked here unless the drain step books
// it (HIGH_HEAD_RELEASE), then cleared.
void drain_outflow_sum(model_state& m) {
  drain_network_record& d = *m.drain_net;
  const bool count = m.high_head_release_on != 1;
  for (int j = 1; j <= d.junctions && size_t(j) < d.junc_chan_volume.size(); j++) {
    if (count) {
      m.drain_to_chan_total += d.junc_chan_volume[size_t(j)];
      m.drain_to_chan_volume += d.junc_chan_volume[size_t(j)];
    }
    d.junc_chan_volume[size_t(j)] = 0.0;
  }
}

// Highest water surface of every node of one erodible break-point link.
void omp_node_max(model_state& m, int link) {
  const size_t base = size_t(m.bplink[link]) * size_t(m.chan_node_extent);
  const size_t row = size_t(chan_key(m, link, 0));
  double* top = m.max_yp.data() + base;
  const double* ws = m.yp.data() + row;
  parallel_for_cells(m.nx[link], [=](int n) { top[n] = std::fmax(top[n], ws[n]); });
}

void keep_maxima(model_state& m) {
  for (int l = 1; l <= m.nlinks; l++)
    if ((m.ltype[l] & 8) && (m.ltype[l] & 2) && !m.max_yp.empty()) omp_node_max(m, l);
  if (m.flood_stream_on && !m.yp_max_flood.empty()) {
    for (int l = 1; l <= m.nlinks; l++)
      for (int n = 1; n <= m.nx1[l]; n++) {
        const size_t k = size_t(chan_key(m, l, n));
        m.yp_max_flood[k] = std::fmax(m.yp_max_flood[k], m.yp[k]);
      }
  }
}

// The water the router put into the nodes over the update from outside the grid: the point-input
// file, the nodes' POINTSOURCE series and the steady inflow at the head of every first-order link.
// Gains and sinks go to the balance's point totals (the series hold still while the clock does).
void book_point_inputs(model_state& m, double dt) {
  double gain = 0.0, sink = 0.0;
  for (int l = 1; l <= m.nlinks; l++) {
    if (!routable_link(m, l)) continue;
    for (int n = 1; n <= m.nx[l]; n++) {
      const size_t k = size_t(chan_key(m, l, n));
      double q = 0.0;
      if (m.chan_point_input_on && k < m.chan_point_flow.size()) {
        q += m.chan_point_flow[k];
        m.chan_point_total += dt * m.chan_point_flow[k];
        if (m.chan_con_trans_on && !m.chan_point_mass_flux.empty())
          for (int c = 1; c <= m.num_constituents && size_t(c) < m.pointconc.size(); c++)
            m.chan_point_mass_flux[c][int(k)] += m.pointconc[size_t(c)][k] * dt * m.chan_point_flow[k];
      }
      if (k < m.stream_pointsource.size() && m.stream_pointsource[k])
        q += time_series_value(m.cur_julian, m.stream_pointsource[k]);
      if (n == 1 && m.ndep[l] == 0) q += m.first_order_chan_q_value;
      (q > 0.0 ? gain : sink) += q * dt;
    }
  }
  m.stream_point_source_total += gain;
  m.stream_point_sink_total -= sink;
}

bool any_node_flows(const model_state& m) {
  for (int l = 1; l <= m.nlinks; l++) {
    if (!routable_link(m, l)) continue;
    for (int n = 1; n <= m.nx[l]; n++)
      if (std::fabs(m.qp[size_t(chan_key(m, l, n))]) > 1e-16) return true;
  }
  return false;
}

// A groundwater-paced interval, halved down to at most five loop steps.
double paced_interval(const model_state& m, double start) {
  if (m.chan_con_trans_on) return m.time_step;
  double s = start;
  while (s > 5.0 * m.time_step) s *= 0.5;
  return s;
}

// In a dry long-term period the channel interval follows what is left to route.
void control_long_term_interval(model_state& m) {
  if (!m.long_term_on || m.ov_water_present || m.ov_flow_present || m.rain_on || m.superlink_active) return;
  if (m.lakes_on) {
    m.lake_water_present = 0;
    for (int k = 1; k <= m.nlakes; k++)
      if (m.lake_volume[size_t(k)] > 1e-16) m.lake_water_present = 1;
  }
  m.chan_volume_final = channel_link_volume(m, m.lakes_on);
  const bool flowing = any_node_flows(m);
  if (!(m.chan_volume_final < 0.01 * m.rain_to_overland_volume || m.rain_to_overland_volume < 1e-16 || !flowing))
    return;
  if (m.lake_routing_active) {
    m.chan_interval_s = m.time_step;
  } else if (m.lake_exchange_seen) {
    m.chan_interval_s = 5.0 * m.time_step;
  } else if ((m.lake_gw_exchange_on && m.lake_water_present) || m.lake_gw_seen == 1) {
    m.chan_interval_s = paced_interval(m, m.gw_simulation_on ? m.gw_interval_s : 5.0 * m.time_step);
  } else if (m.stream_gw_exchange_state == 1) {
    m.chan_interval_s = paced_interval(m, m.gw_interval_s);
  } else if (m.lake_water_present) {
    m.chan_interval_s = 3600.0;
    m.chan_interval = 1.0 / 24.0;
    m.chan_next_time = m.cur_julian + 1.0 / 24.0;
    return;
  } else if (m.outlet_discharge >= 1e-8) {
    return;
  } else {
    m.chan_interval = m.step_interval;
    m.external_channel_inflow_on = 0;
    m.chan_next_time = m.step_next_time;
    return;
  }
  m.chan_interval = m.chan_interval_s / 86400.0;
  m.chan_next_time = m.cur_julian + m.chan_interval;
}

}  // namespace

double channel_stored_volume(const model_state& m) { return channel_link_volume(m, m.lakes_on); }

void route_channels_step(model_state& m) {
  if (!(std::fabs(m.chan_next_time - m.cur_julian) < m.time_tolerance)) return;
  if (m.snow_calibrate_on == 1 || !(m.chan_explic_on == 1 || m.chan_mesh_on == 1)) return;
  const double dt = m.cur_julian - m.chan_last_time > 1e-6 ? (m.cur_julian - m.chan_last_time) * 86400.0
                                                            : m.chan_interval_s;
  for (int l = 1; l <= m.nlinks; l++)
    for (int n = 1; n <= m.nx[l]; n++) {
      const size_t k = size_t(chan_key(m, l, n));
      m.area_old[k] = m.area[k];
    }
  if (m.ov_water_on_land || m.overbank_flow_on || m.overbank_links_on) {
    // The lumped base flow reaches the totals through qlat in the routing, once.
    double sent_to_boundary = 0.0;
    const double base = compute_channel_lateral_inflow(m, dt, sent_to_boundary);
    if (m.sacramento_on) m.sac_chan_inflow_total += base;
    m.external_channel_inflow_on = 1;
    m.ov_head_bound_loss += sent_to_boundary;
  }
  if (m.lakes_on) lakes_before_routing(m);
  m.outlet_step_volume = 0.0;
  if (m.chan_explic_on == 1 && m.external_channel_inflow_on == 1) {
    if (m.head_bound_on) impose_outlet_stage(m, dt);
    if (error_state.error_terminate) return;
    double superjunction = 0.0;
    double bound_gain = 0.0;
    double bound_loss = 0.0;
    const int result = ex_flow_route(m, dt, superjunction, bound_gain, bound_loss);
    if (result == -1) return;
    m.stream_gw_exchange_state = result;
    m.ov_head_bound_gain += bound_gain;
    m.ov_head_bound_loss += bound_loss;
    m.chan_lat_net_total = m.chan_lat_in_volume + m.chan_lat_out_volume;
    m.chan_step_count += 1;
    book_point_inputs(m, dt);
    m.outlet_discharge = m.qp[size_t(outlet_key(m))];
    if (m.storm_sewer_on) omp_boundary_outflow_sum(m);
    if (m.storm_drain_on && m.drain_net) drain_outflow_sum(m);
  }
  keep_maxima(m);
  lakes_after_routing(m);
  book_aquifer_exchange_totals(m);
  const double out = m.chan_explic_on == 1 ? m.outlet_step_volume : dt * m.outlet_discharge;
  m.outlet_volume += out;
  m.outlet_volume_total += out;
  if (m.chan_con_trans_on) m.chan_outlet_volume += out;
  if (m.chan_sed_transport_on && m.ov_sed && m.ov_sed->sed_constituent_mode == 1) {
    channel_sediment_step(m, dt);
    if (error_state.error_terminate) return;
  }
  std::fill(m.qlat.begin(), m.qlat.end(), 0.0);
  m.chan_last_time = m.cur_julian;
  m.chan_next_time = m.cur_julian + m.chan_interval;
  m.chan_phase_count += 1;
  // Kept current so that the end of an event and the end-of-runoff test read the water held now.
  m.chan_volume_final = channel_link_volume(m, m.lakes_on);
  control_long_term_interval(m);
}

}  // namespace pluvo
