// Explicit diffusive-wave routing of the stream network over one channel step: Courant-limited
// sub-steps, each a predictor-corrector pass of continuity on the link flows, with the channel
// lakes taking and giving back stream nodes.
#include "channel/explicit_routing.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "channel/channel_routines.hpp"
#include "channel/channel_services.hpp"
#include "channel/cross_sections.hpp"
#include "common/error_state.hpp"
#include "common/time_series.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

bool overbank_on(const model_state& m) { return m.overbank_flow_on == 1 || m.overbank_links_on == 1; }

// Section properties from the areas; false once the section code has stopped the run.
bool sections_from_area(model_state& m) {
  ex_section(m, 1, m.xsec_table_exceeded);
  return error_state.error_terminate == 0;
}

template <typename Visit>
void each_routable_node(const channel_state& ch, Visit visit) {
  for (int l = 1; l <= ch.nlinks; l++) {
    if (!routable_link(ch, l)) continue;
    for (int n = 1; n <= ch.nx[l]; n++) visit(l, n, chan_key(ch, l, n));
  }
}

void clamp_negative_areas(model_state& m) {
  each_routable_node(m, [&](int, int, int k) {
    if (m.area[size_t(k)] < 0.0) m.area[size_t(k)] = 0.0;
  });
}

// Working arrays of one call.
struct routing_work {
  std::vector<double> area_old, area_iter, qp_old, qp_iter, qp_last, qriv_old, qlat_old, depth_copy;
};

void save_sub_step(model_state& m, routing_work& w, bool overbank) {
  w.area_old = m.area;
  w.qp_old = m.qp;
  w.qriv_old = m.qriv;
  w.qp_last = m.qp;
  w.qp_iter = m.qp;
  if (overbank) {
    w.qlat_old = m.qlat;
    w.depth_copy = m.ov_depth;
  }
}

void restore_sub_step(model_state& m, routing_work& w, bool overbank) {
  m.area = w.area_old;
  m.qp = w.qp_old;
  w.qp_last = w.qp_old;
  w.qp_iter = m.qp;
  m.qriv = w.qriv_old;
  if (overbank) {
    m.qlat = w.qlat_old;
    m.ov_depth = w.depth_copy;
  }
}

// Water a lake gains (v > 0) or gives (v < 0), booked on its in and out totals.
void lake_exchange(model_state& m, int k, double v) {
  m.lake_volume[size_t(k)] += v;
  if (v >= 0.0)
    m.lake_in_dv[size_t(k)] += v;
  else
    m.lake_out_dv[size_t(k)] += -v;
}

// Lake volumes over the sub-step: what leaves each lake downstream and what its upstream links
// bring.
void update_lake_volumes(model_state& m, double dts) {
  for (int l = 1; l <= m.nlinks; l++) {
    const bool captured = captured_link(m, l);
    if (!captured && (m.ltype[l] & ltype_lake)) {
      const int k = m.lake2link[l];
      if (k <= 0) continue;
      const int d = m.dslink[l];
      if (d > 0) {
        const double q = m.qp[size_t(chan_key(m, d, 1))];
        m.lake_volume[size_t(k)] -= dts * q;
        if (q > 1e-16) m.lake_out_dv[size_t(k)] += dts * q;
        if (q < -1e-16) m.lake_in_dv[size_t(k)] += -dts * q;
      }
      for (int j = 1; j <= m.ndep[l]; j++) {
        const int u = m.uslinks[l][size_t(j)];
        if (captured_link(m, u)) continue;
        lake_exchange(m, k, dts * m.qp[size_t(chan_key(m, u, m.nx[u]))]);
      }
    } else if (captured) {
      const int k = m.lake2link[l];
      if (k <= 0) continue;
      for (int j = 1; j <= m.ndep[l]; j++) {
        const int u = m.uslinks[l][size_t(j)];
        if (captured_link(m, u) || (m.ltype[u] & ltype_lake)) continue;
        lake_exchange(m, k, dts * m.qp[size_t(chan_key(m, u, m.nx[u]))]);
      }
    }
  }
}

// Overbank water that the stream no longer spills once it has fallen below its bank, or below
// the cell, goes back to the stream for the rest of the step; the lateral inflow is rebuilt from
// what stays, with the lumped base flows.
void overbank_return(model_state& m, double remaining, double& bound_gain, double& bound_loss) {
  std::fill(m.qlat.begin(), m.qlat.end(), 0.0);
  const double area = m.cell_size * m.cell_size;
  for (int g = 1; g <= m.gst_num_cells; g++) {
    for (int i = 1; i <= m.gst_ncellsingrid[size_t(g)]; i++) {
      const int l = m.gst_link[size_t(g)][size_t(i)];
      const int n = m.gst_node[size_t(g)][size_t(i)];
      const int c = m.gst_gnum[size_t(g)][size_t(i)];
      if (!routable_link(m, l) || n > m.nx[l]) continue;
      if (m.lakes_on && m.lake_mask[size_t(c)] > 0) continue;
      const int k = chan_key(m, l, n);
      double& gq = m.gst_qlat[size_t(g)][size_t(i)];
      const double ws = m.yp[size_t(k)];
      if (gq < -1e-16 &&
          (ws < m.bel[size_t(k)] + m.bankfull_dep[size_t(k)] || ws < m.ov_depth[size_t(c)] + m.elevation[size_t(c)])) {
        const double back = -remaining * gq;  // m3 the cell got ahead for the rest of the step
        if (head_boundary_cell(m, c)) {
          // A head boundary cell's loss shrinks by what the stream keeps.
          if (back >= 0.0)
            bound_loss -= back;
          else
            bound_gain += -back;
          gq = 0.0;
        } else {
          double& h = m.ov_depth[size_t(c)];
          const double taken = std::fmin(back, std::fmax(h, 0.0) * area);
          h -= taken / area;
          if (h < -1e-16) h = 0.0;
          gq = -(back - taken) / remaining;
          if (m.global_transport_on) {
            m.cell_to_channel_volume[size_t(c)] += taken;
            m.gst_Vlat[size_t(g)][size_t(i)] += taken;
          }
        }
      }
      m.qlat[size_t(k)] += (gq + base_flow_share(m, g, i)) / m.link_dx[l];
    }
  }
}

void add_flow_volumes(model_state& m, std::vector<double>& total, double dts) {
  for (int l = 1; l <= m.nlinks; l++) {
    if ((m.ltype[l] & ltype_lake) || captured_link(m, l)) continue;
    for (int n = 1; n <= m.nx[l]; n++) {
      const size_t k = size_t(chan_key(m, l, n));
      total[k] += dts * m.qp[k];
    }
  }
}

// Steps after a finished sub-step: areas, lakes, overbank return and the volume totals.
void finish_sub_step(model_state& m, double dts, double remaining, double& outlet, double& bound_gain,
                     double& bound_loss) {
  if (m.lakes_on) update_lake_volumes(m, dts);
  if (overbank_on(m) && remaining > 1e-16) overbank_return(m, remaining, bound_gain, bound_loss);
  if (m.chan_con_trans_on && !m.qp_vol.empty()) add_flow_volumes(m, m.qp_vol, dts);
  if (m.chan_sed_transport_on && !m.qp_vol_sed.empty()) add_flow_volumes(m, m.qp_vol_sed, dts);
  outlet += dts * m.qp[size_t(chan_key(m, m.nlinks, m.nx[m.nlinks]))];
  if (m.optimize_on && !m.optimize_sed_on) {
    for (int i = 1; i <= m.hydrograph_link_count && size_t(i) < m.point_event_volume.size(); i++)
      m.point_event_volume[size_t(i)] += dts * m.qp[size_t(chan_key(m, m.hlink[size_t(i)], m.hnode[size_t(i)]))];
  }
}

// Nodes of every link that lie wholly inside a lake.
void mark_flooded_nodes(model_state& m) {
  for (int l = 1; l <= m.nlinks; l++) {
    if (m.ltype[l] & (ltype_lake | ltype_structure)) continue;
    for (int n = 1; n <= m.og_nx1[l]; n++) m.pct_flooded[size_t(chan_key(m, l, n))] = 0.0;
  }
  for (int g = 1; g <= m.gst_num_cells; g++) {
    for (int i = 1; i <= m.gst_ncellsingrid[size_t(g)]; i++) {
      const int l = m.gst_link[size_t(g)][size_t(i)];
      const int c = m.gst_gnum[size_t(g)][size_t(i)];
      if ((m.ltype[l] & (ltype_lake | ltype_structure)) || m.lake_mask[size_t(c)] <= 0) continue;
      m.pct_flooded[size_t(chan_key(m, l, m.gst_node[size_t(g)][size_t(i)]))] += m.gst_pct[size_t(g)][size_t(i)];
    }
  }
  for (int l = 1; l <= m.nlinks; l++) {
    if (m.ltype[l] & (ltype_lake | ltype_structure)) continue;
    for (int n = 1; n <= m.og_nx1[l]; n++) {
      const double v = m.pct_flooded[size_t(chan_key(m, l, n))];
      if (v > 1.001) std::printf("Problem with the stream capturing routine, verify channel setup [%d][%d]:%.10lf\n", n, l, v);
    }
  }
}

// Lakes take the flooded nodes of the links that flow into them, from the lake upward.
void capture_nodes(model_state& m) {
  for (int l = m.nlinks - 1; l >= 1; l--) {
    if (m.ltype[l] & (ltype_lake | ltype_structure | ltype_taken_by_lake)) continue;
    const int d = m.dslink[l];
    if (d <= 0) continue;
    const int k = m.lake2link[d];
    if (k <= 0 || m.nx[l] <= 0) continue;
    const bool below_taken = m.status_node[size_t(chan_key(m, d, 1))] == 1 || captured_link(m, d) || (m.ltype[d] & ltype_lake);
    for (int n = m.nx[l]; n >= 1; n--) {
      const size_t key = size_t(chan_key(m, l, n));
      const double pf = m.pct_flooded[key];
      if (!(pf > 0.999 && pf < 1.001) || m.status_node[key] != 0) continue;
      const bool take = (n == m.nx[l] && below_taken) ||
                        (n < m.nx[l] && m.status_node[size_t(chan_key(m, l, n + 1))] == 1);
      if (!take) continue;
      m.status_node[key] = 1;
      const double v = m.link_dx[l] * m.area[key];
      m.lake_volume[size_t(k)] += v;
      m.lake_in_dv[size_t(k)] += v;
      m.area[key] = m.qp[key] = m.yp[key] = m.chan_depth[key] = 0.0;
      m.nx[l] -= 1;
      std::printf("stream node taken: [%d][%d] lake_elev: %7.2lf, dslink:%d nx: %d\n", n, l,
                  m.lake_elev[size_t(k)], d, m.nx[l]);
      if (m.nx[l] == 0) {
        std::printf("***PLUVO  has overtaken stream link: %d***\n", l);
        m.ltype[l] |= ltype_taken_by_lake;
        m.lake2link[l] = k;
        break;
      }
    }
  }
}

// Depth of a node a lake gives back: the lake's stage where it stands above the bed, else half
// the fall from the water upstream.
double released_depth(const model_state& m, int l, int n, int k) {
  const size_t key = size_t(chan_key(m, l, n));
  if (m.lake_volume[size_t(k)] <= 1e-16) return 0.0;
  double d = m.lake_elev[size_t(k)] - m.bel[key];
  if (d < 0.0) {
    if (n == 1) {
      d = 0.0;
      if (m.ndep[l] > 0) {
        double sum = 0.0;
        for (int j = 1; j <= m.ndep[l]; j++) {
          const int u = m.uslinks[l][size_t(j)];
          sum += m.yp[size_t(chan_key(m, u, m.nx[u]))];
        }
        d = (sum / m.ndep[l] - m.bel[key]) * 0.5;
      }
    } else {
      const size_t up = size_t(chan_key(m, l, n - 1));
      d = m.chan_depth[up] > 0.0 ? (m.yp[up] - m.bel[key]) * 0.5 : m.chan_depth[key];
    }
  }
  return d < 0.0 ? 0.0 : d;
}

// Gives node n of link l back from lake k with at most half the lake's water. False after a stop.
bool fill_released_node(model_state& m, int l, int n, int k) {
  const size_t key = size_t(chan_key(m, l, n));
  const double d = released_depth(m, l, n, k);
  if (std::isnan(d)) {
    stop_run("In ex_flow_route A:  Channel depth is not a number at link %d node %d\n", l, n);
    return false;
  }
  m.chan_depth[key] = d;
  const double dx = m.link_dx[l];
  for (;;) {
    m.yp[key] = m.chan_depth[key] + m.bel[key];
    if (!ex_section_node(m, 2, l, n, m.xsec_table_exceeded)) return false;
    if (m.lake_volume[size_t(k)] * 0.5 >= m.area[key] * dx) break;
    m.chan_depth[key] *= 0.5;
  }
  const double v = m.area[key] * dx;
  m.lake_volume[size_t(k)] -= v;
  m.lake_out_dv[size_t(k)] += v;
  std::printf("node released:[%d][%d], elev:%.1lf, depth:%.3lf, lakeelev:%.1lf, dslink:%d,nx: %d, nx1_og: %d\n",
              m.nx[l], l, m.bel[key], m.chan_depth[key], m.lake_elev[size_t(k)], m.dslink[l], m.nx[l],
              m.og_nx1[l]);
  return true;
}

// Lakes give back the nodes that are no longer flooded, from the upstream end down.
bool release_nodes(model_state& m) {
  for (int l = 1; l <= m.nlinks - 1; l++) {
    if (m.ltype[l] & (ltype_lake | ltype_structure)) continue;
    if (captured_link(m, l) && m.pct_flooded[size_t(chan_key(m, l, 1))] > 1e-16) continue;
    const int k = m.nx[l] < 1 ? m.lake2link[l] : (m.dslink[l] > 0 ? m.lake2link[m.dslink[l]] : 0);
    if (k <= 0) continue;
    for (int n = m.nx[l] + 1; n <= m.og_nx1[l]; n++) {
      const size_t key = size_t(chan_key(m, l, n));
      if (m.status_node[key] != 1 || m.pct_flooded[key] != 0.0) continue;
      if (n != 1 && m.status_node[size_t(chan_key(m, l, n - 1))] == 1) continue;
      m.status_node[key] = 0;
      if (m.nx[l] < m.og_nx1[l]) {
        m.nx[l] += 1;
        if (m.nx[l] == 1) {
          m.lake2link[l] = 0;
          m.ltype[l] &= ~ltype_taken_by_lake;
          std::printf("stream link released: [%d] lake_elev: %7.2lf, dslink:%d nx: %d\n", l,
                      m.lake_elev[size_t(k)], m.dslink[l], m.nx[l]);
        }
      }
      if (!fill_released_node(m, l, n, k)) return false;
    }
  }
  return true;
}

bool capture_and_release(model_state& m) {
  if (m.chan_con_trans_on) m.lake_volume_last_chan = m.lake_volume;
  mark_flooded_nodes(m);
  capture_nodes(m);
  return release_nodes(m);
}

// One predictor-corrector attempt of a sub-step. 1 done, 0 a node went dry (retry with half the
// sub-step), -1 after a fatal stop. The totals are those of the last corrector pass.
int attempt_sub_step(model_state& m, routing_work& w, int iteration_limit, double dts, double dt,
                     double& lat_in, double& lat_out, double& superjunction) {
  double change = 1.0;
  for (int iter = 0; change > 0.01 && iter < iteration_limit; iter++) {
    if (iter > 0 && !sections_from_area(m)) return -1;
    if (link_boundary_flows(m, w.qp_last, dts, dt) == -1) return -1;
    m.area = w.area_old;
    w.area_iter = w.area_old;
    m.qriv = w.qriv_old;
    // Predictor on area_iter.
    std::swap(m.area, w.area_iter);
    if (!sections_from_area(m)) return -1;
    double sj = 0.0;
    double out = 0.0;
    channel_volume_balance(m, w.qp_last, m.area, dts, dt, sj, out);
    clamp_negative_areas(m);
    if (!sections_from_area(m)) return -1;
    if (link_boundary_flows(m, w.qp_iter, dts, dt) == -1) return -1;
    std::swap(m.area, w.area_iter);
    // Corrector with the mean of the two flows.
    for (int l = 1; l <= m.nlinks; l++) {
      if ((m.ltype[l] & ltype_lake) || captured_link(m, l)) continue;
      for (int n = 1; n <= m.nx[l]; n++) {
        const size_t k = size_t(chan_key(m, l, n));
        m.qp[k] = (w.qp_last[k] + w.qp_iter[k]) * 0.5;
      }
    }
    m.qriv = w.qriv_old;
    lat_out = 0.0;
    lat_in = channel_volume_balance(m, m.qp, m.area, dts, dt, superjunction, lat_out);
    change = 0.0;
    bool dry = false;
    each_routable_node(m, [&](int, int, int k) {
      change = std::fmax(change, std::fabs(m.area[size_t(k)] - w.area_iter[size_t(k)]));
      if (m.area[size_t(k)] < -1e-8) dry = true;
    });
    if (dry) return 0;
  }
  return 1;
}

}  // namespace

std::vector<double>& superjunction_node_flows(const model_state& m) {
  thread_local std::vector<double> flow;
  flow.clear();
  const drain_network_record* d = m.storm_drain_on && m.drain_net ? m.drain_net.get() : nullptr;
  if (!m.storm_sewer_on && !d) return flow;
  flow.assign(size_t(m.chan_slot_count), 0.0);
  // Drain junctions that discharge to a channel wait here with what they delivered.
  for (int j = 1; d && j <= d->junctions && size_t(j) < d->junc_chan_volume.size(); j++) {
    const double f = d->junc_chan_volume[size_t(j)];
    const int l = d->chan_con_link[size_t(j)];
    const int n = d->chan_con_node[size_t(j)];
    if (std::fabs(f) <= 1e-16 || l < 1 || l > m.nlinks || n < 1 || n > m.nx[l]) continue;
    flow[size_t(chan_key(m, l, n))] += f;
  }
  for (int j = 1; m.storm_sewer_on && j <= m.num_superjunctions && size_t(j) < m.superlink_chan_con_flow.size(); j++) {
    const double f = m.superlink_chan_con_flow[size_t(j)];
    const int l = m.superlink_chan_con_link[size_t(j)];
    const int n = m.superlink_chan_con_node[size_t(j)];
    if (std::fabs(f) <= 1e-16 || l < 1 || l > m.nlinks || n < 1 || n > m.nx[l]) continue;
    flow[size_t(chan_key(m, l, n))] += f;
  }
  return flow;
}

double channel_link_volume(const channel_state& ch, int lakes_on) {
  double v = 0.0;
  for (int l = 1; l <= ch.nlinks; l++) {
    if (!routable_link(ch, l)) continue;
    const int last = lakes_on ? ch.og_nx1[l] : ch.nx[l];
    for (int n = 1; n <= last; n++) v += ch.area[size_t(chan_key(ch, l, n))] * ch.link_dx[l];
  }
  return v;
}

double channel_volume_balance(model_state& m, const std::vector<double>& q, std::vector<double>& a,
                              double dts, double dt, double& superjunction_volume, double& lateral_out) {
  double lateral_in = 0.0;
  superjunction_volume = 0.0;
  // Superjunction flows gathered per node once, in junction order.
  std::vector<double>& junction_flow = superjunction_node_flows(m);
  const int outlet_link = m.nlinks;
  for (int l = 1; l <= m.nlinks; l++) {
    if (!routable_link(m, l)) continue;
    const double dx = m.link_dx[l];
    for (int n = 1; n <= m.nx[l]; n++) {
      const size_t k = size_t(chan_key(m, l, n));
      const double v = dx * a[k];
      double dv = dx * m.qlat[k] * dts;
      if (dv > 0.0)
        lateral_in += dv;
      else
        lateral_out += dv;
      // The node held at the outlet stage: the outlet flow carries all it receives.
      if (n > 1 && m.head_bound_on == 1 && l == outlet_link && n == m.nx[l]) continue;
      if (n == 1) {
        if (m.ndep[l] > 0) {
          double in = 0.0;
          for (int j = 1; j <= m.ndep[l]; j++) {
            const int u = m.uslinks[l][size_t(j)];
            in += q[size_t(chan_key(m, u, m.nx[u]))];
          }
          dv += dts * in - dts * q[k];
        } else {
          dv += (m.first_order_chan_q_value - q[k]) * dts;
        }
      } else {
        dv += (q[k - 1] - q[k]) * dts;
      }
      if (m.chan_point_input_on && k < m.chan_point_flow.size()) dv += dts * m.chan_point_flow[k];
      if (!junction_flow.empty() && junction_flow[k] != 0.0) {
        dv += dts * junction_flow[k] / dt;
        superjunction_volume += dts * junction_flow[k] / dt;
      }
      if (k < m.stream_pointsource.size() && m.stream_pointsource[k])
        dv += dts * time_series_value(m.cur_julian, m.stream_pointsource[k]);
      if (m.stream_loss_on) {
        double r = m.qriv[k];
        if (r < 0.0 && v + dv + r * dts * dx < 0.0) {
          r = dv < 0.0 ? -(v + dv) / (dts * dx) : -v / (dts * dx);
          m.qriv[k] = r;
        }
        dv += dts * r * dx;
      }
      a[k] = (v + dv) / dx;
    }
  }
  return lateral_in;
}

double courant_sub_step(model_state& m, double dts) {
  double cmax = 0.0;
  for (int l = 1; l <= m.nlinks; l++) {
    if (!routable_link(m, l)) continue;
    for (int n = 1; n <= m.nx[l]; n++) {
      const size_t k = size_t(chan_key(m, l, n));
      if (std::isnan(m.area[k])) {
        m.area[k] = 0.0;
        m.yp[k] = m.bel[k];
        stop_run("In ex_flow_route 1:  cross-sectional area is not a number at link %d node %d\n", l, n);
        return -1.0;
      }
      if (m.yp[k] - m.bel[k] < 0.0) {
        stop_run("in ex_flow_route 2, negative depth at link %d node %d\nprogram stopped.\n", l, n);
        return -1.0;
      }
      if (m.area[k] > 1e-16) cmax = std::fmax(cmax, (dts / m.link_dx[l]) * (m.qp[k] / m.area[k]));
    }
  }
  const double limit = m.max_courant_number_value > 0.0 ? m.max_courant_number_value : 0.04;
  if (cmax >= limit) {
    const int parts = int(cmax / limit + 1.0);
    dts /= parts;
    if (dts < 0.001) dts = 0.0015;
  }
  return dts;
}

int ex_flow_route(model_state& m, double dt, double& superjunction_volume, double& overbank_bound_gain,
                  double& overbank_bound_loss) {
  const bool overbank = overbank_on(m);
  const int iteration_limit =
      (overbank || m.chan_sed_transport_on == 1 || m.chan_con_trans_on == 1 || m.lakes_on == 1) ? 2 : 1;
  m.outlet_step_volume = 0.0;
  if (m.lakes_on && !capture_and_release(m)) return -1;
  if (dt <= 1e-16) return 0;
  // Working arrays of the call, kept by the thread between calls so that their pages stay
  // mapped: every element is written before it is read in each call.
  thread_local routing_work w;
  int result = 0;
  double outlet = 0.0;
  double lat_in = 0.0;
  double lat_out = 0.0;
  double dts = dt;
  double remaining = dt;
  for (;;) {
    dts = courant_sub_step(m, dts);
    if (dts < 0.0) return -1;
    if (m.stream_loss_on == 1 || m.lake_gw_exchange_on == 1) result = compute_stream_aquifer_flux(m, dts);
    save_sub_step(m, w, overbank);
    double pass_in = 0.0;
    double pass_out = 0.0;
    double pass_sj = 0.0;
    for (;;) {
      if (dts < 0.001) {
        stop_run("The channel routing time step is getting really small\nless than 1/1000 of a second\n"
                 "Reduce the model time step and/or MAX_COURANT_NUMBER (default=0.04) \nProgram stopped.\n");
        return -1;
      }
      take_sub_step(dts, remaining);
      const int done = attempt_sub_step(m, w, iteration_limit, dts, dt, pass_in, pass_out, pass_sj);
      if (done < 0) return -1;
      if (done == 1) break;
      remaining += dts;
      dts *= 0.5;
      restore_sub_step(m, w, overbank);
      if (!sections_from_area(m)) return -1;
    }
    lat_in += pass_in;
    lat_out += pass_out;
    superjunction_volume += pass_sj;
    clamp_negative_areas(m);
    if (!sections_from_area(m)) return -1;
    finish_sub_step(m, dts, remaining, outlet, overbank_bound_gain, overbank_bound_loss);
    if (m.lakes_on && m.lake_gw_exchange_on == 1) apply_lake_seepage(m, dts);
    if (m.stream_loss_on == 1) book_routed_stream_seepage(m, w.qriv_old, dts);
    if (remaining <= 1e-16) break;
  }
  m.outlet_step_volume = outlet;
  m.chan_lat_in_volume += lat_in;
  m.chan_lat_out_volume += lat_out;
  return result;
}

}  // namespace pluvo
