// The time-loop phases of the two pipe networks: the implicit superlink network and the
// explicit drain network, with the groundwater they take through leaky pipes.
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "groundwater/groundwater_phases.hpp"
#include "groundwater/pipe_hydraulics.hpp"
#include "groundwater/superlink_solve.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int channel_outlet = 999;
constexpr int overland_outlet = 888;
constexpr int superlink_outlet = 666;

bool due(const model_state& m, double next) { return std::fabs(next - m.cur_julian) < m.time_tolerance; }

// Water a pipe network put on the plane starts the overland stepping again.
void restart_overland_clock(model_state& m) {
  if (m.ov_water_present) return;
  m.ov_water_present = 1;
  m.step_last_time = m.cur_julian;
  m.step_next_time = m.cur_julian + m.step_interval;
  if (m.inf_redist_on && !m.inf_redist_initialized) m.inf_redist_initialized = 1;
  if (m.ov_con_trans_on) {
    m.ov_con_last_time = m.step_last_time;
    m.ov_con_next_time = m.step_next_time;
  }
}

// Water a pipe network put into the channels starts the channel routing again.
void restart_channel_clock(model_state& m) {
  if (m.external_channel_inflow_on) return;
  m.external_channel_inflow_on = 1;
  m.chan_last_time = m.cur_julian;
  m.chan_next_time = m.cur_julian + m.chan_interval;
  m.chan_interval = m.step_interval;
  m.chan_interval_s = m.step_interval_s;
}

// The tile water of one exchange leaves the aquifer in the next groundwater step.
double hand_tile_water_to_aquifer(model_state& m, std::vector<double>& rate, double dt) {
  double total = 0.0;
  for (int c = 1; c <= m.cell_count && size_t(c) < rate.size(); c++) {
    const double v = dt * rate[size_t(c)];
    m.vol_tile_grid[size_t(c)] += v;
    total += v;
    rate[size_t(c)] = 0.0;
  }
  return total;
}

tile_network superlink_tiles(model_state& m) {
  tile_network t;
  t.gpi_num_cells = m.gpi_num_cells;
  t.gpi_ncellsingrid = &m.gpi_ncellsingrid;
  t.gpi_link = &m.gpi_link;
  t.gpi_node = &m.gpi_node;
  t.gpi_gnum = &m.gpi_gnum;
  t.gpi_pct = &m.gpi_pct;
  if (m.superlink_c_opt_on == 1) {
    t.otc_node = &m.otc_node;
    t.otc_pipe = &m.otc_pipe;
  }
  t.node_gnum = &m.superlink_node_gnum;
  t.conductivity = &m.superlink_pipe_conductivity;
  t.diameter = &m.diameter;
  t.dx = &m.dx;
  t.depth = &m.slink_node_depth;
  t.invert = &m.slink_node_Zinv;
  t.spacing = &m.drain_spacing;
  t.multiplier = &m.drain_multiplier;
  t.tile_flow = &m.superlink_tile_flow;
  t.Q_tile_grid = &m.Q_tile_grid;
  return t;
}

tile_network drain_tiles(drain_network_record& d) {
  tile_network t;
  t.gpi_num_cells = d.gpi_num_cells;
  t.gpi_ncellsingrid = &d.gpi_ncellsingrid;
  t.gpi_link = &d.gpi_link;
  t.gpi_node = &d.gpi_node;
  t.gpi_gnum = &d.gpi_gnum;
  t.gpi_pct = &d.gpi_pct;
  t.node_gnum = &d.drain_node_gnum;
  t.conductivity = &d.pipe_conductivity;
  t.diameter = &d.diameter;
  t.dx = &d.dx;
  t.depth = &d.slink_node_depth;
  t.invert = &d.slink_node_Zinv;
  t.spacing = &d.spacing;
  t.multiplier = &d.multiplier;
  t.tile_flow = &d.drain_tile_flow;
  t.Q_tile_grid = &d.drain_Q_tile_grid;
  return t;
}

// Water surface of a channel node, m.
double channel_surface(const model_state& m, int link, int node) {
  const size_t key = size_t(link) * size_t(m.chan_node_extent) + size_t(node);
  return m.chan_depth[key] + m.bel[key];
}

// One network's tile exchange of the step: groundwater into its leaky pipes, handed to the
// aquifer and added to the two totals. Whether water moved; false with an error set too.
bool exchange_tiles(model_state& m, tile_network t, double dt, int32_t& active, double& event_total,
                    double& run_total) {
  active = 0;
  if (m.water_table_on) {
    active = gw_tile_drain_flux(m, t);
    if (error_state.error_code > 0) return false;
  }
  const double v = hand_tile_water_to_aquifer(m, *t.Q_tile_grid, dt);
  event_total += v;
  run_total += v;
  return true;
}

bool inlet_kind(int kind) { return kind >= 1 && kind <= 10; }

// A dormant network wakes when one of its inlets has water to take or a leaky pipe lies below
// the water table.
bool superlink_has_work(const model_state& m) {
  const auto wet = [&](int cell) { return cell >= 1 && m.ov_depth[size_t(cell)] > 1e-8; };
  for (int j = 1; j <= m.num_superjunctions; j++)
    if (inlet_kind(m.inlet_type[0][j]) && size_t(j) < m.superlink_junc_gnum.size() &&
        wet(m.superlink_junc_gnum[size_t(j)]))
      return true;
  for (int l = 1; l <= m.num_superlinks; l++)
    for (int k = 2; k <= m.superlink_cnodes[size_t(l)] && k <= m.superlink_node_gnum.rows(); k++)
      if (inlet_kind(m.inlet_type[k][l]) && wet(m.superlink_node_gnum[k][l])) return true;
  if (m.leaky_pipes_on && m.water_table_on && !m.elevgw.empty())
    for (int i = 1; i <= m.gpi_num_cells; i++)
      for (int e = 1; e <= m.gpi_ncellsingrid[size_t(i)]; e++) {
        const int l = m.gpi_link[i][e], k = m.gpi_node[i][e], c = m.gpi_gnum[i][e];
        if (m.elevgw[size_t(c)] > m.slink_node_Zinv[k][l] + m.slink_node_depth[k][l]) return true;
      }
  return false;
}

void wake_when_needed(model_state& m) {
  if (m.superlink_running || m.superlink_call_count == 0 || !superlink_has_work(m)) return;
  m.superlink_running = 1;
  m.superlink_interval = m.step_interval;
  m.superlink_interval_s = m.step_interval_s;
  m.superlink_next_time = m.cur_julian;
  m.superlink_last_time = m.cur_julian - m.step_interval;
}

// The sediment the overland water carried into the network leaves its cell with it.
void carry_sediment_into_network(model_state& m, const std::vector<double>& depth_before, double cell_area) {
  ov_sed_record& s = *m.ov_sed;
  const size_t cells = size_t(m.cell_count) + 1;
  for (int c = 1; c <= m.cell_count; c++) {
    double& v = m.ov_to_superlink_cell_volume[size_t(c)];
    if (v > 1e-16) {
      m.sed_water_to_superlinks += v;
      const double held = cell_area * depth_before[size_t(c)];
      const double f = held > 0.0 ? std::min(1.0, v / held) : 1.0;
      for (int k = 1; k <= s.num_sed_classes; k++) {
        const size_t at = s.cell_class_layer(c, k, 2);
        if (at >= s.vol_sed.size()) break;
        const double moved = std::max(0.0, f * s.vol_sed[at]);
        s.vol_sed[at] -= moved;
        if (size_t(k) * cells + size_t(c) < s.ov_superlink_sed.size()) s.ov_superlink_sed[size_t(k) * cells + size_t(c)] += moved;
      }
    }
    v = 0.0;
  }
}

void fill_superlink_outputs(model_state& m) {
  m.superjunction_flow = m.sjunc_ext_inflow;
  m.superlink_node_flow = m.Q_node;
  m.superlink_pipe_flow = m.superlink_work.Q;
  m.superlink_node_head = m.slink_node_Zinv;
  for (int l = 1; l <= m.num_superlinks; l++)
    for (int k = 1; k <= m.superlink_cnodes[size_t(l)] + 1; k++) m.superlink_node_head[k][l] += m.slink_node_depth[k][l];
}

}  // namespace

void superlink_step(model_state& m) {
  if (!m.storm_sewer_on) return;
  if (m.superlink_call_count > 0 && due(m, m.superlink_next_time)) m.superlink_next_time = m.cur_julian;
  wake_when_needed(m);
  if (!m.superlink_running || !due(m, m.superlink_next_time)) return;
  const double dt = (m.cur_julian - m.superlink_last_time) * 86400.0;
  if (!(dt > 0.0)) return;
  const double cell_area = m.cell_size * m.cell_size;
  std::vector<double> depth_before;
  if (m.soil_erosion_on && m.ov_sed) depth_before = m.ov_depth;
  if (m.chan_explic_on == 1)
    for (int j = 1; j <= m.num_superjunctions; j++) {
      if (m.inlet_type[0][j] != channel_outlet) continue;
      if (m.sjunc_bound_head.size() <= size_t(j)) m.sjunc_bound_head.assign(size_t(m.num_superjunctions) + 1, 0.0);
      m.sjunc_bound_head[size_t(j)] =
          channel_surface(m, m.superlink_chan_con_link[size_t(j)], m.superlink_chan_con_node[size_t(j)]);
    }
  if (m.leaky_pipes_on && !m.Q_tile_grid.empty() &&
      !exchange_tiles(m, superlink_tiles(m), dt, m.superlink_tile_active, m.gw_to_tile_volume, m.gw_to_tile_total))
    return;
  for (int l = 1; l <= m.num_superlinks; l++)
    for (int k = 1; k <= m.superlink_cnodes[size_t(l)] + 1; k++)
      if (m.slink_node_depth[k][l] < 0.0001) m.slink_node_depth[k][l] = 0.0001;
  m.superlink_ov_flag = 0;
  m.superlink_active = 0;
  superlink_volumes out;
  const int result = solve_superlink_network(m, dt, out);
  if (result != 0) {
    if (error_state.error_code == 0) set_error(4000);
    return;
  }
  m.superlink_call_count += 1;
  m.superlink_volume = out.stored;
  m.ov_to_superlink_volume += out.ov_taken;
  m.ov_to_superlink_total += out.ov_taken;
  const bool release = m.high_head_release_on == 1;
  if (release) {
    m.superlink_to_chan_volume += out.to_channels;
    m.superlink_to_chan_total += out.to_channels;
  }
  drain_network_record* d = m.storm_drain_on && m.drain_net ? m.drain_net.get() : nullptr;
  for (int j = 1; j <= m.num_superjunctions; j++) {
    const size_t j_ = size_t(j);
    if (release || m.inlet_type[0][j] == overland_outlet) {
      m.superlink_to_ov_volume += m.sjunc_ov_volume[j_];
      m.superlink_to_ov_total += m.sjunc_ov_volume[j_];
    }
    m.sjunc_ov_volume[j_] = 0.0;
    if (d && j_ < d->q_to_superlink.size()) {
      m.drain_to_superlink_volume += d->q_to_superlink[j_];
      m.drain_to_superlink_total += d->q_to_superlink[j_];
      d->q_to_superlink[j_] = 0.0;
    }
  }
  fill_superlink_outputs(m);
  m.superlink_last_time = m.cur_julian;
  m.superlink_next_time = m.cur_julian + m.superlink_interval;
  if (m.superlink_ov_flag && !m.ov_water_present) {
    restart_overland_clock(m);
    if (m.ov_bmp_on) {
      m.bmp_last_time = m.step_last_time;
      m.bmp_next_time = m.step_next_time;
    }
  }
  if (m.superlink_active) restart_channel_clock(m);
  if (m.long_term_on && !m.ov_water_present && !m.ov_flow_present && !m.rain_on &&
      (m.rain_to_overland_volume < 1e-8 || 0.001 * m.rain_to_overland_volume > out.stored) && !m.leaky_pipes_on) {
    m.superlink_interval = m.step_interval;
    m.superlink_interval_s = m.step_interval_s;
    m.superlink_running = 0;
    m.superlink_next_time = m.step_next_time;
  }
  if (m.soil_erosion_on && m.ov_sed)
    carry_sediment_into_network(m, depth_before, cell_area);
  else
    std::fill(m.ov_to_superlink_cell_volume.begin(), m.ov_to_superlink_cell_volume.end(), 0.0);
}

int drain_network_flows(model_state& m, drain_network_record& d, double dt) {
  const double a = m.cell_size * m.cell_size;
  const int release = m.high_head_release_on;
  const auto book_inlet = [&](int cell, double volume, int release_junction) {
    d.cell_net_volume[size_t(cell)] += volume;
    if (volume < -1e-16) {
      // Released water goes back onto the cell it rose through.
      m.ov_depth[size_t(cell)] -= volume / a;
      d.junc_ov_volume[size_t(release_junction)] -= volume;
      d.ov_flag = 1;
    }
  };
  for (int j = 1; j <= d.junctions; j++) {
    const size_t j_ = size_t(j);
    d.junc_Q[j_] = 0.0;
    const int cell = d.drain_junc_gnum[j_];
    const int kind = d.inlet_type[0][j];
    if (cell < 1 || !inlet_kind(kind) || !(m.ov_depth[size_t(cell)] > 1e-8)) continue;
    double volume = 0.0;
    d.junc_Q[j_] = inlet_flow(kind, release, d.junc_head[j_], d.ground_elev[j_], d.area[j_], dt, m.ov_depth, cell, a,
                              d.grate_sidelength[j_], d.grate_dia[j_], volume);
    book_inlet(cell, volume, j);
  }
  if (d.tile_active)
    for (int l = 1; l <= d.links; l++)
      for (int k = 1; k <= d.drain_tile_flow.rows(); k++) {
        d.junc_Q[size_t(d.us_junc[size_t(l)])] += d.drain_tile_flow[k][l];
        d.drain_tile_flow[k][l] = 0.0;
      }
  for (int l = 1; l <= d.links; l++)
    for (int k = 2; k <= d.nnodes[size_t(l)]; k++) {
      const int cell = d.drain_node_gnum[k][l];
      const int kind = d.inlet_type[k][l];
      if (cell < 1 || !inlet_kind(kind) || !(m.ov_depth[size_t(cell)] > 1e-16)) continue;
      double volume = 0.0;
      d.Q_node[k][l] = inlet_flow(kind, release, d.slink_node_Zinv[k][l] + d.slink_node_depth[k][l],
                                  d.node_ground_elev[k][l], d.As[k][l], dt, m.ov_depth, cell, a,
                                  d.grate_sidelength_node[k][l], d.grate_dia_node[k][l], volume);
      book_inlet(cell, volume, d.ds_junc[size_t(l)]);
      d.junc_Q[size_t(d.ds_junc[size_t(l)])] += d.Q_node[k][l];
    }
  for (int l = 1; l <= d.links; l++) {
    const size_t us = size_t(d.us_junc[size_t(l)]), ds = size_t(d.ds_junc[size_t(l)]);
    d.junc_Q[ds] += d.junc_Q[us];
    const int kind = d.inlet_type[0][int(us)];
    if (kind != channel_outlet && kind != overland_outlet) d.junc_Q[us] = 0.0;
  }
  for (int j = 1; j <= d.junctions; j++) {
    const size_t j_ = size_t(j);
    const double v = dt * d.junc_Q[j_];
    const int kind = d.inlet_type[0][j];
    if (kind == channel_outlet) {
      d.junc_chan_volume[j_] += v;
      if (v > 1e-8) d.chan_flag = 1;
      if (v < -1e-8)
        message_out("Flow from drain junction %ld to channel node %ld is negative \nCheck your drain network \n \n",
                    long(j), long(d.chan_con_node[j_]));
    } else if (kind == overland_outlet) {
      const int cell = d.drain_junc_gnum[j_];
      if (std::isnan(v)) {
        message_out("Flow from drainage junction %ld to overland cell %ld is NaN \nCheck your drainage network \n \n",
                    long(j), long(cell));
        set_error(300);
        report_error(error_state);
        return -1;
      }
      if (v >= 0.0 && cell >= 1) {
        m.ov_depth[size_t(cell)] += v / a;
        d.junc_ov_volume[j_] += v;
        d.cell_net_volume[size_t(cell)] -= v;
      } else if (v < 0.0) {
        message_out("Flow from drain junction %ld to overland cell %ld is negative \nCheck your drain network \n \n",
                    long(j), long(cell));
      }
      if (v > 1e-16) d.ov_flag = 1;
    } else if (kind == superlink_outlet) {
      const int s = j_ < d.superlink_junc.size() ? d.superlink_junc[j_] : 0;
      if (std::isnan(v)) {
        message_out("Flow from drainage junction %ld to superlink junction %ld is NaN \n"
                    "Check both your drainage network \n \n",
                    long(j), long(s));
        set_error(300);
        report_error(error_state);
        return -1;
      }
      if (s >= 1 && size_t(s) < d.q_to_superlink.size()) d.q_to_superlink[size_t(s)] += v;
    }
  }
  return 0;
}

void drain_network_step(model_state& m) {
  if (!m.storm_drain_on || !m.drain_net || !due(m, m.drain_next_time)) return;
  drain_network_record& d = *m.drain_net;
  const double dt = (m.cur_julian - m.drain_last_time) * 86400.0;
  if (!(dt > 0.0)) return;
  const size_t junctions = size_t(d.junctions) + 1;
  if (d.junc_Q.size() != junctions) {
    for (std::vector<double>* v : {&d.junc_Q, &d.junc_head, &d.chan_con_head, &d.junc_ov_volume, &d.junc_chan_volume})
      v->assign(junctions, 0.0);
    for (int j = 1; j <= d.junctions; j++) d.junc_head[size_t(j)] = d.invert_elev[size_t(j)];
  }
  if (d.cell_net_volume.size() != size_t(m.cell_count) + 1) d.cell_net_volume.assign(size_t(m.cell_count) + 1, 0.0);
  if (m.chan_explic_on == 1)
    for (int j = 1; j <= d.junctions; j++) {
      if (d.inlet_type[0][j] != channel_outlet) continue;
      d.chan_con_head[size_t(j)] = channel_surface(m, d.chan_con_link[size_t(j)], d.chan_con_node[size_t(j)]);
    }
  if (d.leaky_pipes && !d.drain_Q_tile_grid.empty() &&
      !exchange_tiles(m, drain_tiles(d), dt, d.tile_active, m.gw_to_drain_tile_volume, m.gw_to_drain_tile_total))
    return;
  d.ov_flag = d.chan_flag = 0;
  if (drain_network_flows(m, d, dt) != 0) return;
  const bool release = m.high_head_release_on == 1;
  for (int j = 1; j <= d.junctions; j++) {
    const size_t j_ = size_t(j);
    if (release) {
      m.drain_to_chan_volume += d.junc_chan_volume[j_];
      m.drain_to_chan_total += d.junc_chan_volume[j_];
    }
    if (release || d.inlet_type[0][j] == overland_outlet) {
      m.drain_to_ov_volume += d.junc_ov_volume[j_];
      m.drain_to_ov_total += d.junc_ov_volume[j_];
    }
    d.junc_ov_volume[j_] = 0.0;
  }
  for (int c = 1; c <= m.cell_count; c++) {
    double& v = d.cell_net_volume[size_t(c)];
    if (v > 1e-16) {
      m.ov_to_drain_volume += v;
      m.ov_to_drain_total += v;
    }
    v = 0.0;
  }
  m.drain_junction_flow = d.junc_Q;
  m.drain_last_time = m.cur_julian;
  m.drain_next_time = m.cur_julian + m.drain_interval;
  if (d.ov_flag) restart_overland_clock(m);
  if (d.chan_flag) restart_channel_clock(m);
  if (m.long_term_on && !m.ov_water_present && !m.ov_flow_present && !m.rain_on && !d.tile_active) {
    bool flowing = false;
    for (int j = 1; j <= d.junctions; j++) flowing = flowing || d.junc_Q[size_t(j)] > 1e-8;
    if (!flowing) {
      m.drain_interval = m.step_interval;
      m.drain_next_time = m.step_next_time;
    }
  }
}

}  // namespace pluvo
