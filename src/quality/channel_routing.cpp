// Dissolved constituents along the channel links and through the lakes: the pending stores
// become one source rate per node and lake, then an upwind advection-dispersion scheme, sub-
// stepped by a Courant rule and iterated as a predictor-corrector, moves each constituent.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "quality/channel_quality.hpp"
#include "quality/quality_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;
constexpr int max_passes = 100;

int address(const model_state& m, int link, int node) { return link * m.chan_node_extent + node; }
int last_address(const model_state& m, int link) { return address(m, link, m.nx[size_t(link)]); }

// A lake link, or a link a lake has taken: its water is the lake's.
bool lake_like(const model_state& m, int link) { return wq_lake_link(m, link) || wq_excluded_link(m, link); }

int lake_of(const model_state& m, int link) {
  return size_t(link) < m.lake2link.size() ? m.lake2link[size_t(link)] : 0;
}

// Concentration of lake water at a lake-like link, 0 where no lake holds it.
double lake_conc_at(const model_state& m, int link) {
  const int lake = lake_of(m, link);
  return lake >= 1 && size_t(lake) < m.lake_wq_conc.size() ? m.lake_wq_conc[size_t(lake)] : 0.0;
}

// Mass a flux leaving the lake at a lake-like link may carry over a sub-step of h seconds: what
// the lake holds with its sources over the sub-step. A concentration worked out for a smaller
// volume than the water now passing would otherwise send out more than the lake has.
double lake_outflow_cap(const model_state& m, int link, double h) {
  const int lake = lake_of(m, link);
  if (lake < 1 || size_t(lake) >= m.lake_wq_mass.size()) return 0.0;
  return std::max(0.0, m.lake_wq_mass[size_t(lake)] + h * m.lake_wq_source_rate[size_t(lake)]);
}

template <typename F>
void for_active_nodes(const model_state& m, F f) {
  for (int l = m.nlinks; l >= 1; --l) {
    if (!wq_active_link(m, l)) continue;
    for (int n = m.nx[size_t(l)]; n >= 1; --n) f(l, n, size_t(address(m, l, n)));
  }
}

// A pending amount released over dt of its interval T: in proportion when dt is shorter.
double scaled(double pending, double dt, double interval, double tolerance) {
  return interval - dt > tolerance ? pending * dt / interval : pending;
}

// Dispersive flux (mass per second) from node a into node b across one spacing.
double dispersive(const model_state& m, size_t a, size_t b, double dx, const double* conc) {
  const double aa = m.area_old[a], ab = m.area_old[b];
  if (!(aa > 0.0 && ab > 0.0 && dx > tiny)) return 0.0;
  const double pa = aa * m.chan_wq_disp[a], pb = ab * m.chan_wq_disp[b];
  return (pa <= pb ? pa : pb) * (conc[a] - conc[b]) / dx;
}

// Advective mass over the sub-step through a face that passed q m3 in the interval.
double advective(double q, double up, double down, double h, double dt) {
  return q * (q >= 0.0 ? up : down) * h / dt;
}

// A structure passes what its source sends straight on: the flux leaving its upstream link (or
// lake) and the flux leaving its last node are one amount, so nothing stays in it.
void structure_fluxes(const model_state& m, int s, const double* conc, double h, double dt, double* adv) {
  const double q = m.qp_vol[size_t(address(m, s, 1))];
  const int up = m.ndep[size_t(s)] >= 1 ? m.uslinks[size_t(s)][1] : 0;
  const int down = m.dslink[size_t(s)];
  double c = 0.0;
  if (q >= tiny && up > 0)
    c = lake_like(m, up) ? lake_conc_at(m, up) : conc[last_address(m, up)];
  else if (q <= -tiny && down > 0)
    c = lake_like(m, down) ? lake_conc_at(m, down) : conc[address(m, down, 1)];
  double f = std::fabs(q) < tiny ? 0.0 : q * c * h / dt;
  if (q >= tiny && up > 0 && lake_like(m, up)) f = std::min(f, lake_outflow_cap(m, up, h));
  adv[last_address(m, s)] = f;
  if (up > 0 && !wq_structure_link(m, up)) adv[last_address(m, up)] = f;
}

// Fluxes into a lake-like link from the links above it.
void lake_inflow_fluxes(const model_state& m, int l, const double* conc, double h, double dt, double* adv) {
  for (int j = 1; j <= m.ndep[size_t(l)]; ++j) {
    const int u = m.uslinks[size_t(l)][size_t(j)];
    if (wq_structure_link(m, u) || lake_like(m, u)) continue;
    const size_t a = size_t(last_address(m, u));
    const double q = m.qp_vol[a];
    if (q > tiny)
      adv[a] = q * conc[a] * h / dt;
    else if (q < -tiny)
      adv[a] = q * lake_conc_at(m, l) * h / dt;
  }
}

// Faces inside an active link and at its head junction.
void link_fluxes(const model_state& m, int l, const double* conc, double h, double dt, double* adv, double* disp) {
  const double dx = m.link_dx[size_t(l)];
  for (int n = m.nx[size_t(l)]; n >= 2; --n) {
    const size_t a = size_t(address(m, l, n - 1)), b = size_t(address(m, l, n));
    adv[a] = advective(m.qp_vol[a], conc[a], conc[b], h, dt);
    disp[a] = dispersive(m, a, b, dx, conc);
  }
  const size_t head = size_t(address(m, l, 1));
  for (int j = 1; j <= m.ndep[size_t(l)]; ++j) {
    const int u = m.uslinks[size_t(l)][size_t(j)];
    if (wq_structure_link(m, u)) continue;
    const size_t a = size_t(last_address(m, u));
    if (lake_like(m, u)) {
      // The lake's water enters through the head node: the lake's mixed concentration goes down,
      // the head node's comes back, and the lake books exactly this amount.
      adv[a] = advective(m.qp_vol[head], lake_conc_at(m, u), conc[head], h, dt);
      if (adv[a] > 0.0) adv[a] = std::min(adv[a], lake_outflow_cap(m, u, h));
      disp[a] = 0.0;
      continue;
    }
    adv[a] = advective(m.qp_vol[a], conc[a], conc[head], h, dt);
    disp[a] = dispersive(m, a, head, dx, conc);
  }
}

void clip_negative(const model_state& m, double* mass, double* conc) {
  for_active_nodes(m, [&](int, int, size_t k) {
    if (mass[k] < -tiny) mass[k] = 0.0;
    if (conc[k] < -tiny) conc[k] = 0.0;
  });
}

void copy_active(const model_state& m, const double* from_c, const double* from_m, double* to_c, double* to_m) {
  for_active_nodes(m, [&](int, int, size_t k) {
    to_c[k] = from_c[k];
    to_m[k] = from_m[k];
  });
}

// The largest Courant number of the active nodes for a sub-step h; upstream flow gives a
// negative number, so only downstream flow shortens the sub-step.
double largest_courant(const model_state& m, double h, double dt) {
  double largest = 0.0;
  for_active_nodes(m, [&](int l, int, size_t k) {
    const double dx = m.link_dx[size_t(l)];
    const double v = dx * m.area_adt[k], q = m.qp_vol[k] / dt;
    double c;
    if (v > 1e-6)
      c = h * q / v;
    else
      c = dx * m.area[k] > 1e-6 ? 5.0 : h * q;
    largest = std::max(largest, c);
  });
  return largest;
}

void advance_interpolation(model_state& m, double h, double dt) {
  for_active_nodes(m, [&](int, int, size_t k) { m.area_adt[k] += (m.area[k] - m.area_old[k]) * h / dt; });
  for (int lake = 1; m.lakes_on && lake <= m.nlakes; ++lake) {
    const size_t L = size_t(lake);
    m.lake_wq_volume[L] += (m.lake_volume[L] - m.lake_volume_last_chan[L]) * h / dt;
  }
}

template <typename T>
T* row(node_matrix<T>& t, int k) {
  return t.empty() ? nullptr : t[k];
}

// Takes a gain-or-loss store: a loss never takes more than the node holds (the store is then
// emptied when `empty_when_limited`); a loss lowers the running mass.
double take_exchange(double& store, double taken, double& mass, bool empty_when_limited) {
  bool limited = false;
  if (taken < 0.0 && mass + taken < 0.0) {
    taken = -mass;
    limited = true;
  }
  if (limited && empty_when_limited)
    store = 0.0;
  else
    store -= taken;
  if (taken < 0.0) mass = std::max(0.0, mass + taken);
  return taken;
}

void book_step(model_state& m, int k) {
  const size_t c = size_t(k);
  output_state::constituent_terms& run = m.run_constituent_terms[c];
  output_state::constituent_terms& ev = m.event_constituent_terms[c];
  const double out = m.step_chan_outlet_mass / 1000.0, point = m.step_chan_point_mass / 1000.0;
  const double decay = m.step_chan_decay_mass / 1000.0, ov = m.step_chan_ov_mass / 1000.0;
  const double gw = m.step_chan_gw_mass / 1000.0;
  run.chan_out += out;
  ev.chan_out += out;
  m.GLOBAL_MASS_OUT[k] += out;
  run.chan_point += point;
  ev.chan_point += point;
  m.GLOBAL_POINT_SOURCE[k] += point;
  run.chan_decay += decay;
  ev.chan_decay += decay;
  m.GLOBAL_MASS_DECAY[k] += decay;
  run.chan_from_ov += ov;
  ev.chan_from_ov += ov;
  run.chan_gw += gw;
  ev.chan_gw += gw;
  m.GLOBAL_GW_MASS[k] += gw;
  if (m.sediment_contam_on) {
    run.chan_sed_exchange += m.step_chan_sed_exchange / 1000.0;
    ev.chan_sed_exchange += m.step_chan_sed_exchange / 1000.0;
  }
  run.chan_tvx_gain += m.step_chan_tvx_gain / 1000.0;
  ev.chan_tvx_gain += m.step_chan_tvx_gain / 1000.0;
  run.chan_tvx_loss += m.step_chan_tvx_loss / 1000.0;
  ev.chan_tvx_loss += m.step_chan_tvx_loss / 1000.0;
  if (!m.lakes_on) return;
  const double in = m.step_lake_inflow_mass / 1000.0, from = m.step_lake_outflow_mass / 1000.0;
  const double ldecay = m.step_lake_decay_mass / 1000.0, lgw = m.step_lake_gw_mass / 1000.0;
  const double precip = m.step_lake_precip_mass / 1000.0, exch = m.step_lake_chan_exchange / 1000.0;
  const double lov = m.step_lake_ov_mass / 1000.0;
  for (output_state::constituent_terms* t : {&run, &ev}) {
    t->chan_to_lake += in;
    t->chan_from_lake += from;
    t->lake_decay += ldecay;
    t->lake_gw += lgw;
    t->lake_precip += precip;
    t->chan_lake_exchange += exch;
    t->lake_from_ov += lov;
    if (m.step_lake_tvx_mass > 0.0)
      t->chan_tvx_gain += m.step_lake_tvx_mass / 1000.0;
    else
      t->chan_tvx_loss -= m.step_lake_tvx_mass / 1000.0;
  }
  if (m.sediment_contam_on)
    for (output_state::constituent_terms* t : {&run, &ev}) t->lake_sed_exchange += m.step_lake_sed_exchange / 1000.0;
  m.GLOBAL_MASS_DECAY[k] += ldecay;
  m.GLOBAL_GW_MASS[k] += lgw;
}

void clear_step_masses(model_state& m) {
  for (double* v : {&m.step_chan_point_mass, &m.step_chan_outlet_mass, &m.step_chan_ov_mass, &m.step_chan_gw_mass,
                    &m.step_chan_decay_mass, &m.step_chan_tvx_net, &m.step_chan_tvx_gain, &m.step_chan_tvx_loss,
                    &m.step_chan_sed_exchange, &m.step_lake_precip_mass, &m.step_lake_gw_mass,
                    &m.step_lake_decay_mass, &m.step_lake_tvx_mass, &m.step_lake_ov_mass, &m.step_lake_chan_exchange,
                    &m.step_lake_sed_exchange, &m.step_lake_inflow_mass, &m.step_lake_outflow_mass})
    *v = 0.0;
}

void load_constituent(model_state& m, int k, double dt) {
  const int outlet = last_address(m, m.nlinks);
  const double* conc = m.chan_node_conc.rows[k];
  const double* mass = m.chan_node_mass.rows[k];
  const double* disp = m.chan_disp.rows[k];
  for_active_nodes(m, [&](int, int, size_t a) {
    m.chan_wq_conc[a] = conc[a];
    m.chan_wq_mass[a] = mass[a];
    m.chan_wq_disp[a] = disp[a];
  });
  for_active_nodes(m, [&](int, int, size_t a) {
    m.chan_wq_source_rate[a] = collect_channel_node_sources(m, k, int(a), int(a) == outlet, dt);
  });
  for (int lake = 1; m.lakes_on && lake <= m.nlakes; ++lake) {
    m.lake_wq_conc[size_t(lake)] = m.lake_con_conc.rows[k][lake];
    m.lake_wq_mass[size_t(lake)] = m.lake_con_mass.rows[k][lake];
    m.lake_wq_source_rate[size_t(lake)] = collect_lake_sources(m, k, lake, dt);
  }
}

void store_constituent(model_state& m, int k, double dt) {
  double* conc = m.chan_node_conc.rows[k];
  double* mass = m.chan_node_mass.rows[k];
  double* flux = row(m.dissolved_chan_flux, k);
  for_active_nodes(m, [&](int, int, size_t a) {
    mass[a] = m.chan_wq_mass[a];
    conc[a] = m.chan_wq_conc[a];
    // A dry node keeps its mass, unseen, until water returns.
    if (m.area[a] <= 0.0 && mass[a] > 0.0) conc[a] = 0.0;
    if (mass[a] < 0.0) mass[a] = conc[a] = 0.0;
    if (flux) flux[a] = m.chan_adv_flux_avg[a] / dt;
    if (!m.sediment_contam_on || m.chan_tot_node_mass.empty()) return;
    double& total = m.chan_tot_node_mass[k][a];
    total += mass[a];
    if (total < 0.0) total = 0.0;
    if (std::isnan(total)) std::printf("Total node mass, contam %d chaddr %d NAN \n", k, int(a));
  });
  for (int lake = 1; m.lakes_on && lake <= m.nlakes; ++lake) {
    m.lake_con_conc.rows[k][lake] = m.lake_wq_conc[size_t(lake)];
    m.lake_con_mass.rows[k][lake] = m.lake_wq_mass[size_t(lake)];
    if (!m.sediment_contam_on || m.lake_tot_mass.empty()) continue;
    double& total = m.lake_tot_mass[k][lake];
    total += m.lake_wq_mass[size_t(lake)];
    if (total < 0.0) total = 0.0;
    if (std::isnan(total)) std::printf("Total lake mass, contam %d lake %d NAN \n", k, lake);
  }
}

}  // namespace

bool wq_lake_link(const model_state& m, int link) { return (m.ltype[size_t(link)] & ltype_lake) != 0; }
bool wq_structure_link(const model_state& m, int link) { return (m.ltype[size_t(link)] & ltype_structure) != 0; }
bool wq_excluded_link(const model_state& m, int link) {
  const int t = m.ltype[size_t(link)];
  return (t & (4 | 8 | 16)) && (t & ltype_taken_by_lake);
}
bool wq_active_link(const model_state& m, int link) {
  return !wq_lake_link(m, link) && !wq_structure_link(m, link) && !wq_excluded_link(m, link);
}

void size_channel_quality_arrays(model_state& m) {
  const size_t slots = size_t(m.chan_slot_count) + 1, lakes = size_t(m.nlakes) + 2;
  if (m.chan_wq_conc.size() == slots && m.lake_wq_conc.size() == lakes &&
      m.chan_outlet_mass_pending.size() == size_t(m.num_constituents) + 1)
    return;
  for (auto* v : {&m.chan_wq_conc, &m.chan_wq_mass, &m.chan_wq_disp, &m.chan_wq_source_rate, &m.chan_wq_conc_new,
                  &m.chan_wq_mass_new, &m.chan_adv_flux, &m.chan_disp_flux, &m.chan_adv_flux_avg,
                  &m.chan_disp_flux_avg, &m.chan_wq_saved_conc, &m.chan_wq_saved_mass, &m.area_adt})
    v->assign(slots, 0.0);
  for (auto* v : {&m.lake_wq_volume, &m.lake_wq_conc, &m.lake_wq_mass, &m.lake_wq_source_rate, &m.lake_precip_volume})
    v->assign(lakes, 0.0);
  m.chan_outlet_mass_pending.assign(size_t(m.num_constituents) + 1, 0.0);
  m.lake_gw_exchange_volume.assign(size_t(m.cell_count) + 1, 0.0);
  // The nutrients' groundwater concentrations are set with the grid.
  if (m.gw_cell_conc.rows() != m.num_constituents || m.gw_cell_conc.cols() != m.cell_count)
    m.gw_cell_conc.assign(m.num_constituents, m.cell_count);
  if (m.run_constituent_terms.size() < size_t(m.num_constituents) + 1)
    m.run_constituent_terms.resize(size_t(m.num_constituents) + 1);
  if (m.event_constituent_terms.size() < size_t(m.num_constituents) + 1)
    m.event_constituent_terms.resize(size_t(m.num_constituents) + 1);
}

void start_channel_quality_event(model_state& m) {
  size_channel_quality_arrays(m);
  for (auto* v : {&m.event_ov_lake_sed_contam_mass, &m.event_chan_lake_sed_contam_mass,
                  &m.event_lake_sed_contam_source_mass, &m.event_lake_settled_sed_mass})
    std::fill(v->begin(), v->end(), 0.0);
  for (int k = 1; k <= m.num_constituents; ++k) {
    output_state::constituent_terms& t = m.event_constituent_terms[size_t(k)];
    for (double* v : {&t.chan_initial, &t.chan_from_ov, &t.chan_point, &t.chan_tvx_gain, &t.chan_tvx_loss,
                      &t.chan_from_lake, &t.chan_lake_exchange, &t.chan_gw, &t.chan_sed_exchange, &t.chan_to_lake,
                      &t.chan_out, &t.chan_decay, &t.lake_initial, &t.lake_precip, &t.lake_from_ov, &t.lake_point,
                      &t.lake_gw, &t.lake_decay, &t.lake_sed_exchange})
      *v = 0.0;
    if (m.chan_node_mass.row_count < k) continue;
    const double* mass = m.chan_node_mass.rows[k];
    for (int l = 1; l <= m.nlinks; ++l) {
      if (!wq_active_link(m, l)) continue;
      for (int n = 1; n <= m.nx[size_t(l)]; ++n) t.chan_initial += mass[address(m, l, n)] / 1000.0;
    }
    for (int lake = 1; m.lakes_on && lake <= m.nlakes && m.lake_con_mass.row_count >= k; ++lake)
      t.lake_initial += m.lake_con_mass.rows[k][lake] / 1000.0;
  }
}

double collect_channel_node_sources(model_state& m, int k, int key, bool outlet, double dt) {
  const size_t a = size_t(key);
  const int type = int(m.constituent_type[k]);
  const double tol = m.time_tolerance;
  double M = m.chan_wq_mass[a];
  double point = 0.0, out = 0.0, ov = 0.0, gw = 0.0, decay = 0.0, kin = 0.0, att = 0.0;
  if (m.chan_point_input_on && !m.chan_point_mass_flux.empty()) {
    double& store = m.chan_point_mass_flux[k][key];
    point = store;
    if (M + point < 0.0) {
      point = -M;
      M = 0.0;
    } else {
      M += point;
    }
    store -= point;
    m.step_chan_point_mass += point;
  }
  if (outlet && std::fabs(m.chan_outlet_mass_pending[size_t(k)]) > tiny) {
    double& store = m.chan_outlet_mass_pending[size_t(k)];
    out = scaled(store, dt, m.chan_outlet_dt, tol);
    if (out > 0.0) {
      out = std::min(out, M);
      M = std::max(0.0, M - out);
    }
    store -= out;
    m.step_chan_outlet_mass += out;
  }
  if (!m.chan_qlat_mass.empty() && std::fabs(m.chan_qlat_mass[k][key]) > tiny) {
    double& store = m.chan_qlat_mass[k][key];
    ov = take_exchange(store, scaled(store, dt, m.ov_chan_wq_dt, tol), M, false);
    m.step_chan_ov_mass += ov;
  }
  if (m.stream_loss_on && !m.chan_gw_mass.empty() && std::fabs(m.chan_gw_mass[k][key]) > tiny) {
    double& store = m.chan_gw_mass[k][key];
    gw = take_exchange(store, scaled(store, dt, m.chan_exchange_dt, tol), M, true);
    m.step_chan_gw_mass += gw;
  }
  if (m.contam_table_on && type == 1 && !m.chan_mass.empty() && std::fabs(m.chan_mass[k][key]) > tiny) {
    double& store = m.chan_mass[k][key];
    decay = scaled(store, dt, m.chan_source_dt, tol);
    if (decay > 0.0 && M - decay < 0.0) {
      decay = M;
      store = 0.0;
    } else {
      store -= decay;
    }
    M = std::max(0.0, M - decay);
    m.step_chan_decay_mass += decay;
  }
  if (type == 2 && !m.chan_tvx_source.empty() && std::fabs(m.chan_tvx_source[k][key]) > tiny) {
    double& store = m.chan_tvx_source[k][key];
    kin = take_exchange(store, scaled(store, dt, m.chan_tvx_dt * 86400.0, tol), M, true);
    if (kin < 0.0)
      m.step_chan_tvx_loss -= kin;
    else
      m.step_chan_tvx_gain += kin;
    m.step_chan_tvx_net += kin;
  }
  if (m.sediment_contam_on && !m.chan_node_sed_source_mass.empty() &&
      std::fabs(m.chan_node_sed_source_mass[k][key]) > tiny) {
    double& store = m.chan_node_sed_source_mass[k][key];
    att = take_exchange(store, store, M, false);
    m.step_chan_sed_exchange += att;
  }
  double rate = (ov + gw + kin + att + point - out - decay) / dt;
  if (rate * dt + m.chan_wq_mass[a] < 0.0) rate = -m.chan_wq_mass[a] / dt;
  return rate;
}

double collect_lake_sources(model_state& m, int k, int lake, double dt) {
  const int type = int(m.constituent_type[k]);
  auto take = [&](node_matrix<double>& store, double& step) {
    if (store.empty()) return 0.0;
    const double v = store[k][lake];
    store[k][lake] = 0.0;
    step += v;
    return v;
  };
  const double precip = take(m.lake_precip_mass, m.step_lake_precip_mass);
  const double gw = m.lake_gw_exchange_on ? take(m.lake_gw_mass, m.step_lake_gw_mass) : 0.0;
  const double decay = m.contam_table_on && type == 1 ? take(m.lake_decay_mass, m.step_lake_decay_mass) : 0.0;
  const double kin = type == 2 ? take(m.lake_tvx_source, m.step_lake_tvx_mass) : 0.0;
  const double ov = take(m.lake_ov_inflow_mass, m.step_lake_ov_mass);
  const double exch = take(m.lake_chan_exchange_mass, m.step_lake_chan_exchange);
  const double att = m.sediment_contam_on ? take(m.lake_sed_contam_source, m.step_lake_sed_exchange) : 0.0;
  double rate = (precip - decay + ov + gw + exch + kin + att) / dt;
  const double held = m.lake_wq_mass[size_t(lake)];
  if (rate * dt + held < 0.0) {
    // The lake gives no more than it holds and takes in: each outgoing term is cut by the same
    // share and booked as cut, so the books keep to the mass that moved. What the land took over
    // the shore is not cut: the land has it already, and never took more than the lake held.
    double in = held + ov, out = decay;
    for (const double v : {precip, gw, exch, kin, att}) (v > 0.0 ? in : out) += std::fabs(v);
    const double cut = out > 0.0 ? std::min(1.0, 1.0 - std::max(in, 0.0) / out) : 0.0;
    auto unbook = [&](double v, double& step) {
      if (v < 0.0) step -= cut * v;
    };
    m.step_lake_decay_mass -= cut * decay;
    unbook(gw, m.step_lake_gw_mass);
    unbook(exch, m.step_lake_chan_exchange);
    unbook(kin, m.step_lake_tvx_mass);
    unbook(att, m.step_lake_sed_exchange);
    rate = -held / dt;
  }
  return rate;
}

double channel_wq_sub_step(double h, double c) {
  if (c > 0.5 && h > 0.1) h = std::max(0.1, h * 0.5 / c);
  return h;
}

void channel_wq_fluxes(model_state& m, const double* conc, double h, double dt, double* adv, double* disp) {
  std::fill(adv, adv + m.chan_wq_conc.size(), 0.0);
  std::fill(disp, disp + m.chan_wq_conc.size(), 0.0);
  for (int l = m.nlinks; l >= 1; --l) {
    if (lake_like(m, l)) {
      lake_inflow_fluxes(m, l, conc, h, dt, adv);
      continue;
    }
    if (wq_structure_link(m, l)) {
      structure_fluxes(m, l, conc, h, dt, adv);
      continue;
    }
    link_fluxes(m, l, conc, h, dt, adv, disp);
  }
}

void channel_wq_node_update(model_state& m, const double* adv, const double* disp, double h, const double* start_mass,
                            double* mass, double* conc) {
  const double* S = m.chan_wq_source_rate.data();
  for (int l = 1; l <= m.nlinks; ++l) {
    if (!wq_active_link(m, l)) continue;
    const double dx = m.link_dx[size_t(l)];
    for (int n = 1; n <= m.nx[size_t(l)]; ++n) {
      const size_t a = size_t(address(m, l, n));
      double change;
      if (n >= 2) {
        const size_t p = a - 1;
        change = (disp[p] - disp[a] + S[a]) * h + (adv[p] - adv[a]);
      } else {
        change = (S[a] - disp[a]) * h - adv[a];
        for (int j = 1; j <= m.ndep[size_t(l)]; ++j) {
          const size_t u = size_t(last_address(m, m.uslinks[size_t(l)][size_t(j)]));
          change += adv[u] + h * disp[u];
        }
      }
      mass[a] = start_mass[a] + change;
      const double v = m.area_adt[a] * dx;
      // A node without water keeps its mass, at no concentration, until water returns.
      conc[a] = v >= tiny ? mass[a] / v : 0.0;
    }
  }
}

void channel_wq_lake_update(model_state& m, int k, double h) {
  const double* adv = m.chan_adv_flux_avg.data();
  for (int l = 1; l <= m.chan_link_extent - 1; ++l) {
    if (!lake_like(m, l)) continue;
    const int lake = lake_of(m, l);
    if (lake < 1 || lake > m.nlakes) continue;
    const size_t L = size_t(lake);
    for (int j = 1; j <= m.ndep[size_t(l)]; ++j) {
      const int u = m.uslinks[size_t(l)][size_t(j)];
      if (lake_like(m, u)) continue;
      const double f = adv[last_address(m, u)];
      m.lake_wq_mass[L] += f;
      if (!m.lake_chan_inflow_mass.empty()) m.lake_chan_inflow_mass[k][lake] += f;
      m.step_lake_inflow_mass += f;
    }
    const int d = m.dslink[size_t(l)];
    if (d > 0 && !lake_like(m, d)) {
      const double f = adv[last_address(m, l)];
      m.lake_wq_mass[L] -= f;
      if (!m.lake_chan_outflow_mass.empty()) m.lake_chan_outflow_mass[k][lake] += f;
      m.step_lake_outflow_mass += f;
    }
  }
  for (int lake = 1; lake <= m.nlakes; ++lake) {
    const size_t L = size_t(lake);
    m.lake_wq_mass[L] += h * m.lake_wq_source_rate[L];
    m.lake_wq_conc[L] = m.lake_wq_volume[L] > tiny ? m.lake_wq_mass[L] / m.lake_wq_volume[L] : 0.0;
  }
}

void channel_wq_route(model_state& m, int k, double dt) {
  if (dt < tiny) return;
  double h = dt;
  for_active_nodes(m, [&](int, int, size_t a) { m.area_adt[a] = m.area_old[a]; });
  for (int lake = 1; m.lakes_on && lake <= m.nlakes; ++lake)
    m.lake_wq_volume[size_t(lake)] = m.lake_volume_last_chan[size_t(lake)];
  double* conc = m.chan_wq_conc.data();
  double* mass = m.chan_wq_mass.data();
  double* conc_new = m.chan_wq_conc_new.data();
  double* mass_new = m.chan_wq_mass_new.data();
  double* saved_conc = m.chan_wq_saved_conc.data();
  double* saved_mass = m.chan_wq_saved_mass.data();
  double* adv = m.chan_adv_flux.data();
  double* disp = m.chan_disp_flux.data();
  double* adv_avg = m.chan_adv_flux_avg.data();
  double* disp_avg = m.chan_disp_flux_avg.data();
  const size_t slots = m.chan_wq_conc.size();
  double remaining = dt;
  int passes = 0;
  while (remaining > tiny) {
    copy_active(m, conc, mass, conc_new, mass_new);
    copy_active(m, conc, mass, saved_conc, saved_mass);
    h = channel_wq_sub_step(h, largest_courant(m, h, dt));
    remaining -= h;
    if (remaining < 0.0) h += remaining;
    advance_interpolation(m, h, dt);
    channel_wq_fluxes(m, conc, h, dt, adv, disp);
    channel_wq_node_update(m, adv, disp, h, mass, mass_new, conc_new);
    clip_negative(m, mass_new, conc_new);
    double change;
    do {
      ++passes;
      channel_wq_fluxes(m, conc_new, h, dt, adv_avg, disp_avg);
      for (size_t i = 0; i < slots; ++i) {
        adv_avg[i] = 0.5 * (adv_avg[i] + adv[i]);
        disp_avg[i] = 0.5 * (disp_avg[i] + disp[i]);
      }
      channel_wq_node_update(m, adv_avg, disp_avg, h, mass, saved_mass, saved_conc);
      change = 0.0;
      for_active_nodes(m, [&](int, int, size_t a) { change = std::max(change, std::fabs(saved_conc[a] - conc_new[a])); });
      copy_active(m, saved_conc, saved_mass, conc_new, mass_new);
      clip_negative(m, mass_new, conc_new);
      copy_active(m, conc, mass, saved_conc, saved_mass);
      std::copy(adv_avg, adv_avg + slots, adv);
      std::copy(disp_avg, disp_avg + slots, disp);
    } while (change > 1e-6 && passes <= max_passes);
    // The lakes take the sub-step just routed, before its length is cut for the next one.
    if (m.lakes_on) channel_wq_lake_update(m, k, h);
    for (int l = 1; l <= m.nlinks; ++l)
      if (wq_active_link(m, l) && remaining > tiny && passes > max_passes && h > 0.1) h *= 0.5;
    copy_active(m, conc_new, mass_new, conc, mass);
  }
}

void step_channel_lake_water_quality(model_state& m) {
  if (!m.chan_con_trans_on || !(std::fabs(m.chan_wq_next_time - m.cur_julian) < m.time_tolerance)) return;
  size_channel_quality_arrays(m);
  const double dt = (m.cur_julian - m.chan_wq_last_time) * 86400.0;
  if (dt > tiny) {
    const int outlet = last_address(m, m.nlinks);
    for (int k = 1; k <= m.num_constituents; ++k) {
      if (int(m.constituent_type[k]) == 3) continue;
      load_constituent(m, k, dt);
      channel_wq_route(m, k, dt);
      store_constituent(m, k, dt);
      book_step(m, k);
      if (!m.dissolved_chan_flux.empty()) m.dissolved_chan_flux[k][outlet] = m.step_chan_outlet_mass / dt;
      clear_step_masses(m);
    }
  }
  m.chan_wq_last_time = m.cur_julian;
  m.chan_wq_next_time = m.chan_next_time;
  for (int l = 1; l <= m.nlinks; ++l)
    for (int n = 1; n <= m.nx[size_t(l)]; ++n) m.qp_vol[size_t(address(m, l, n))] = 0.0;
  if (m.stream_loss_on)
    for (auto& cell : m.gst_qriv_vol) std::fill(cell.begin(), cell.end(), 0.0);
}

}  // namespace pluvo
