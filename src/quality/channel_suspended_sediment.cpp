// Fine sediment in suspension along the channels: the step's lateral inflow joins each node, one
// upwind predictor-corrector pass carries every fine class from node to node, through
// structures and into and out of lakes, and the lakes settle what they hold onto their cells.
#include <algorithm>
#include <cmath>
#include <vector>

#include "quality/channel_sediment_routines.hpp"
#include "quality/quality_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;
constexpr double empty_lake = 1e-8;  // m3: a lake this small settles all it holds

struct suspended_step {
  model_state& m;
  const ov_sed_record& s;
  int fines;
  size_t stride;  // classes + 1
  double dt;
  std::vector<double> junction;   // per class: what reversed flow has taken from a node 1
  std::vector<double> lake_left;  // [lake][class]: what a lake can still give in this pass
  std::vector<double> settled_now;  // [lake][class]: settled onto the lake cells in this step

  int cls(int c) const { return s.sed_class[size_t(c)]; }
  size_t at(int key, int k) const { return size_t(key) * stride + size_t(k); }
  int key(int link, int node) const { return link * m.chan_node_extent + node; }
  int last_key(int link) const { return key(link, sediment_node_count(m, link)); }
  int lake_of(int link) const {
    const int l = m.lake2link[size_t(link)];
    return l >= 1 && l <= m.nlakes ? l : 0;
  }
  double volume(int link, int node) const { return m.area[size_t(key(link, node))] * m.link_dx[size_t(link)]; }
  double q(int key) const { return m.qp_vol_sed[size_t(key)]; }
};

bool lake_like(const model_state& m, int link) { return sediment_lake_like(m.ltype[size_t(link)]); }
bool structure(const model_state& m, int link) { return m.ltype[size_t(link)] & sediment_structure_bit; }
bool carrying(const model_state& m, int link) { return sediment_carrying_link(m.ltype[size_t(link)]); }

// Calls visit(link, node, key, water volume) for every node of the links that carry sediment.
template <class visitor>
void for_each_carrying_node(suspended_step& c, visitor visit) {
  model_state& m = c.m;
  for (int link = 1; link <= m.nlinks; ++link) {
    if (!carrying(m, link)) continue;
    for (int n = 1; n <= sediment_node_count(m, link); ++n) visit(link, n, c.key(link, n), c.volume(link, n));
  }
}

// Volume of class k that q m3 of water takes out of lake l, the lake giving at most what it has
// left in this pass (negative q: what reversed flow brings in, nothing taken).
double from_lake(suspended_step& c, int l, int k, double q) {
  const size_t i = size_t(l) * c.stride + size_t(k);
  double f = q * c.m.SS_conc_vol_lake[i];
  if (f > c.lake_left[i]) f = c.lake_left[i];
  if (f > 0.0) c.lake_left[i] -= f;
  return f;
}

// Volume of class k that q m3 of water takes out of lake l flowing away from it, whatever the
// sign: the size is capped by what the lake has left.
double out_of_lake(suspended_step& c, int l, int k, double q) {
  const size_t i = size_t(l) * c.stride + size_t(k);
  const double f = q * c.m.SS_conc_vol_lake[i];
  const double size = std::min(std::fabs(f), std::max(c.lake_left[i], 0.0));
  c.lake_left[i] -= size;
  return f < 0.0 ? -size : size;
}

void carrying_link_fluxes(suspended_step& c, int link, const std::vector<double>& C, std::vector<double>& F,
                          const std::vector<double>& M) {
  model_state& m = c.m;
  for (int n = sediment_node_count(m, link); n >= 2; --n) {
    const int up = c.key(link, n - 1), here = c.key(link, n);
    const double q = c.q(up);
    for (int p = 1; p <= c.fines; ++p) {
      const int k = c.cls(p);
      double f;
      if (q >= 0.0) {
        f = std::min(q * C[c.at(up, k)], M[c.at(up, k)]);
      } else {
        f = q * C[c.at(here, k)];
        if (-f > M[c.at(here, k)]) f = -M[c.at(here, k)];
      }
      F[c.at(up, k)] = f;
    }
  }
  if (m.ndep[size_t(link)] < 1) return;
  // Node 1: what each upstream link passes in; reversed flow into them takes together at most
  // what node 1 holds, the first upstream links served first.
  const int first = c.key(link, 1);
  std::fill(c.junction.begin(), c.junction.end(), 0.0);
  for (int i = 1; i <= m.ndep[size_t(link)]; ++i) {
    const int u = m.uslinks[size_t(link)][size_t(i)];
    if (u < 1 || structure(m, u)) continue;
    const int last = c.last_key(u);
    // The routing gathers no flow on lake links: water leaving a lake is what passes node 1.
    const double q = lake_like(m, u) ? c.q(first) : c.q(last);
    const int lake = lake_like(m, u) ? c.lake_of(u) : 0;
    for (int p = 1; p <= c.fines; ++p) {
      const int k = c.cls(p);
      double t;
      if (q >= 0.0) {
        // A lake passes its own concentration on to node 1.
        t = lake_like(m, u) ? (lake ? from_lake(c, lake, k, q) : 0.0)
                            : std::min(q * C[c.at(last, k)], M[c.at(last, k)]);
      } else {
        double& taken = c.junction[size_t(k)];
        const double held = M[c.at(first, k)];
        t = q * C[c.at(first, k)];
        taken -= t;
        if (taken > held) {
          taken += t;
          t = std::min(taken - held, 0.0);
          taken -= t;
        }
      }
      F[c.at(last, k)] = t;
    }
  }
}

// A structure passes what its node-1 flow carries from its source, the same volume at each of
// its nodes, and the link above it gives that volume up.
void structure_fluxes(suspended_step& c, int link, const std::vector<double>& C, std::vector<double>& F,
                      const std::vector<double>& M) {
  model_state& m = c.m;
  const double q1 = c.q(c.key(link, 1));
  const int first = m.ndep[size_t(link)] >= 1 ? m.uslinks[size_t(link)][1] : 0;
  const int down = m.dslink[size_t(link)];
  const int nodes = sediment_node_count(m, link);
  const bool above_writes = first >= 1 && !lake_like(m, first) && !structure(m, first);
  for (int p = 1; p <= c.fines; ++p) {
    const int k = c.cls(p);
    double f = 0.0;
    if (std::fabs(q1) >= tiny) {
      const int source = q1 > 0.0 ? first : down;
      const int source_key = q1 > 0.0 ? (first >= 1 ? c.last_key(first) : 0) : (down >= 1 ? c.key(down, 1) : 0);
      if (source >= 1 && lake_like(m, source)) {
        const int lake = c.lake_of(source);
        f = lake ? out_of_lake(c, lake, k, q1) : 0.0;
      } else if (source >= 1 && !structure(m, source)) {
        f = q1 * C[c.at(source_key, k)];
        const double held = M[c.at(source_key, k)];
        if (std::fabs(f) > held) f = q1 < 0.0 ? -held : held;
      }
    }
    for (int n = 1; n <= nodes; ++n) F[c.at(c.key(link, n), k)] = f;
    if (above_writes) F[c.at(c.last_key(first), k)] = f;
  }
}

void lake_link_fluxes(suspended_step& c, int link, const std::vector<double>& C, std::vector<double>& F,
                      const std::vector<double>& M) {
  model_state& m = c.m;
  const int lake = c.lake_of(link);
  for (int i = 1; i <= m.ndep[size_t(link)]; ++i) {
    const int u = m.uslinks[size_t(link)][size_t(i)];
    if (u < 1 || structure(m, u)) continue;
    const int last = c.last_key(u);
    const double q = c.q(last);
    for (int p = 1; p <= c.fines; ++p) {
      const int k = c.cls(p);
      double f = 0.0;
      if (lake_like(m, u)) {
        f = 0.0;
      } else if (q > tiny) {
        f = std::min(q * C[c.at(last, k)], M[c.at(last, k)]);
      } else if (q < -tiny && lake) {
        f = out_of_lake(c, lake, k, q);
      }
      F[c.at(last, k)] = f;
    }
  }
}

void suspended_sediment_fluxes(suspended_step& c, const std::vector<double>& C, std::vector<double>& F,
                               const std::vector<double>& M) {
  model_state& m = c.m;
  std::fill(F.begin(), F.end(), 0.0);
  if (m.lakes_on) c.lake_left = m.SS_vol_lake;
  for (int link = m.nlinks; link >= 1; --link) {
    if (carrying(m, link))
      carrying_link_fluxes(c, link, C, F, M);
    else if (structure(m, link))
      structure_fluxes(c, link, C, F, M);
    else
      lake_link_fluxes(c, link, C, F, M);
  }
  if (m.nlinks < 1 || !carrying(m, m.nlinks)) return;
  const int outlet = c.last_key(m.nlinks);
  const double q = c.q(outlet);
  for (int p = 1; p <= c.fines; ++p) {
    const int k = c.cls(p);
    F[c.at(outlet, k)] = std::max(std::min(q * C[c.at(outlet, k)], M[c.at(outlet, k)]), 0.0);
  }
}

void suspended_sediment_node_update(suspended_step& c, std::vector<double>& C, std::vector<double>& M,
                                    const std::vector<double>& F) {
  model_state& m = c.m;
  for_each_carrying_node(c, [&](int link, int n, int here, double v) {
    M[c.at(here, 0)] = C[c.at(here, 0)] = 0.0;
    for (int p = 1; p <= c.fines; ++p) {
      const int k = c.cls(p);
      double d = -F[c.at(here, k)];
      if (n >= 2) {
        d += F[c.at(c.key(link, n - 1), k)];
      } else {
        for (int i = 1; i <= m.ndep[size_t(link)]; ++i) {
          const int u = m.uslinks[size_t(link)][size_t(i)];
          if (u >= 1) d += F[c.at(c.last_key(u), k)];
        }
      }
      double& mass = M[c.at(here, k)];
      double& conc = C[c.at(here, k)];
      mass += d;
      // A node that runs dry keeps its sediment; it carries none until water returns.
      conc = v < tiny ? 0.0 : mass / v;
      if (conc < -tiny) mass = conc = 0.0;
      M[c.at(here, 0)] += mass;
      C[c.at(here, 0)] += conc;
    }
  });
}

void suspended_sediment_setup(suspended_step& c) {
  model_state& m = c.m;
  for_each_carrying_node(c, [&](int, int, int here, double v) {
    for (int p = 1; p <= c.fines; ++p) {
      const int k = c.cls(p);
      double& mass = m.ch_wash_vol[c.at(here, k)];
      mass += m.qlat_sed[c.at(here, k)];
      m.SS_node_conc_vol[c.at(here, k)] = v > tiny ? mass / v : 0.0;
    }
  });
}

void average_fluxes(suspended_step& c) {
  model_state& m = c.m;
  for (int link = 1; link <= m.nlinks; ++link)
    for (int n = 1; n <= sediment_node_count(m, link); ++n) {
      const int here = c.key(link, n);
      for (int p = 1; p <= c.fines; ++p) {
        const size_t i = c.at(here, c.cls(p));
        m.advect_flux[i] = (m.temp_flux[i] + m.advect_flux[i]) * 0.5;
        m.qsmax[i] = m.advect_flux[i] / c.dt;
      }
    }
  m.chan_wash_outflow = 0.0;
  if (m.nlinks < 1) return;
  const int outlet = c.last_key(m.nlinks);
  for (int p = 1; p <= c.fines; ++p) m.chan_wash_outflow += m.qsmax[c.at(outlet, c.cls(p))];
}

void node_concentrations(suspended_step& c) {
  model_state& m = c.m;
  for_each_carrying_node(c, [&](int, int, int here, double v) {
    double& total = m.chan_sed_conc[c.at(here, 0)];
    total = 0.0;
    for (int p = 1; p <= c.fines; ++p) {
      const int k = c.cls(p);
      const double mg = v > tiny ? m.ch_wash_vol[c.at(here, k)] * c.s.particle_density[size_t(k)] / v : 0.0;
      m.chan_sed_conc[c.at(here, k)] = mg;
      total += mg;
    }
  });
}

// Each lake cell settles what its water column lets fall in the step; the lake's cells together
// settle at most what the lake holds.
void lake_suspended_sediment_settling(suspended_step& c) {
  model_state& m = c.m;
  ov_sed_record& s = *m.ov_sed;
  const double cell_area = m.cell_size * m.cell_size;
  for (int l = 1; l <= m.nlakes; ++l) {
    if (size_t(l) >= m.lake_search.size()) break;
    for (int p = 1; p <= m.numpts[size_t(l)] && size_t(p) < m.lake_search[size_t(l)].size(); ++p) {
      const grid_position& g = m.lake_search[size_t(l)][size_t(p)];
      if (g.row < 1 || g.row > m.cell_number_grid.rows() || g.col < 1 || g.col > m.cell_number_grid.cols()) continue;
      const int cell = m.cell_number_grid(g.row, g.col);
      if (cell < 1 || m.lake_mask[size_t(cell)] != l) continue;
      const double h = m.lake_elev[size_t(l)] - m.elevation[size_t(cell)];
      const double water = std::min(h * cell_area, m.lake_volume[size_t(l)]);
      for (int q = 1; q <= c.fines; ++q) {
        const int k = c.cls(q);
        const size_t i = size_t(l) * c.stride + size_t(k);
        const double fraction = h > tiny ? std::min(1.0, c.dt * s.settling_velocity[size_t(k)] / h) : 0.0;
        double settled = std::max(fraction * water * m.SS_conc_vol_lake[i], 0.0);
        settled = std::min(settled, std::max(m.SS_vol_lake[i] - c.settled_now[i], 0.0));
        c.settled_now[i] += settled;
        m.SS_vol_lake_settled[i] += settled;
        s.vol_sed[s.cell_class_layer(cell, k, 3)] += settled;
      }
    }
  }
}

// The exchange of the lakes with the links that meet them.
void suspended_sediment_lake_exchange(suspended_step& c) {
  model_state& m = c.m;
  const std::vector<double>& F = m.advect_flux;
  for (int link = 1; link <= m.nlinks; ++link) {
    if (!lake_like(m, link)) continue;
    const int l = c.lake_of(link);
    if (!l) continue;
    for (int i = 1; i <= m.ndep[size_t(link)]; ++i) {
      const int u = m.uslinks[size_t(link)][size_t(i)];
      if (u < 1 || lake_like(m, u)) continue;
      for (int p = 1; p <= c.fines; ++p) {
        const int k = c.cls(p);
        const double f = F[c.at(c.last_key(u), k)];
        m.SS_vol_lake[size_t(l) * c.stride + size_t(k)] += f;
        m.SS_vol_chan_to_lake[size_t(l) * c.stride + size_t(k)] += f;
      }
    }
    const int d = m.dslink[size_t(link)];
    if (d < 1 || lake_like(m, d)) continue;
    // Into a structure the lake gives up the structure's node-1 volume (when the structure draws
    // on it); into a channel link, the volume at its own face with node 1.
    int face = 0;
    if (structure(m, d))
      face = m.ndep[size_t(d)] >= 1 && m.uslinks[size_t(d)][1] == link ? c.key(d, 1) : 0;
    else
      face = c.last_key(link);
    if (!face) continue;
    for (int p = 1; p <= c.fines; ++p) {
      const int k = c.cls(p);
      const double f = F[c.at(face, k)];
      m.SS_vol_lake[size_t(l) * c.stride + size_t(k)] -= f;
      m.SS_vol_lake_to_chan[size_t(l) * c.stride + size_t(k)] += f;
    }
  }
}

// Each lake's balance: what settled, then its concentrations.
void lake_balance(suspended_step& c) {
  model_state& m = c.m;
  for (int l = 1; l <= m.nlakes; ++l) {
    const size_t zero = size_t(l) * c.stride;
    const double water = m.lake_volume[size_t(l)];
    m.SS_vol_lake[zero] = m.SS_conc_lake[zero] = 0.0;
    for (int p = 1; p <= c.fines; ++p) {
      const int k = c.cls(p);
      const size_t i = zero + size_t(k);
      double& vol = m.SS_vol_lake[i];
      vol -= c.settled_now[i];
      if (water > empty_lake) {
        m.SS_conc_vol_lake[i] = vol / water;
        m.SS_conc_lake[i] = vol * 998200.0 * c.s.spec_grav[size_t(k)] / water;
      } else {
        m.SS_vol_lake_settled[i] += vol;
        vol = 0.0;
        m.SS_conc_lake[i] = 0.0;
      }
      vol = std::max(vol, 0.0);
      m.SS_conc_lake[i] = std::max(m.SS_conc_lake[i], 0.0);
      m.SS_conc_vol_lake[i] = std::max(m.SS_conc_vol_lake[i], 0.0);
      m.SS_vol_lake[zero] += vol;
      m.SS_conc_lake[zero] += m.SS_conc_lake[i];
    }
    if (water > tiny)
      m.SS_conc_vol_lake[zero] = m.SS_vol_lake[zero] / water;
    else
      m.SS_conc_lake[zero] = 0.0;
  }
}

bool arrays_ready(const model_state& m, size_t stride) {
  const size_t per_class = size_t(m.chan_slot_count) * stride;
  for (const auto* v : {&m.ch_wash_vol, &m.SS_node_conc_vol, &m.qlat_sed, &m.chan_sed_conc, &m.qsmax,
                        &m.advect_flux, &m.temp_flux, &m.temp_mass, &m.temp_conc})
    if (v->size() < per_class) return false;
  if (!m.lakes_on) return true;
  const size_t per_lake = (size_t(m.nlakes) + 1) * stride;
  for (const auto* v : {&m.SS_vol_lake, &m.SS_conc_vol_lake, &m.SS_conc_lake, &m.SS_vol_lake_settled,
                        &m.SS_vol_chan_to_lake, &m.SS_vol_lake_to_chan, &m.sed_vol_overland_to_lake})
    if (v->size() < per_lake) return false;
  return true;
}

}  // namespace

void channel_suspended_sediment_advection(model_state& m, double dt) {
  if (!m.ov_sed || dt <= 0.0) return;
  const ov_sed_record& s = *m.ov_sed;
  suspended_step c{m, s, s.num_fine_classes, size_t(s.num_sed_classes) + 1, dt,
                   std::vector<double>(size_t(s.num_sed_classes) + 1, 0.0), {}, {}};
  if (!arrays_ready(m, c.stride)) return;
  // The lakes take what overland flow brought or took before they give to the channels and
  // settle, so that they never give or settle more than they hold.
  if (m.lakes_on)
    for (int l = 1; l <= m.nlakes; ++l)
      for (int p = 1; p <= c.fines; ++p) {
        const size_t i = size_t(l) * c.stride + size_t(c.cls(p));
        m.SS_vol_lake[i] = std::max(m.SS_vol_lake[i] + m.sed_vol_overland_to_lake[i], 0.0);
      }
  // What settled in the last update was booked and read by the sediment-bound contaminants.
  std::fill(m.SS_vol_lake_settled.begin(), m.SS_vol_lake_settled.end(), 0.0);
  suspended_sediment_setup(c);
  m.temp_conc = m.SS_node_conc_vol;
  m.temp_mass = m.ch_wash_vol;
  // Predictor from the present state, corrector from the predicted one, then their average.
  suspended_sediment_fluxes(c, m.SS_node_conc_vol, m.temp_flux, m.ch_wash_vol);
  suspended_sediment_node_update(c, m.temp_conc, m.temp_mass, m.temp_flux);
  suspended_sediment_fluxes(c, m.temp_conc, m.advect_flux, m.temp_mass);
  average_fluxes(c);
  suspended_sediment_node_update(c, m.SS_node_conc_vol, m.ch_wash_vol, m.advect_flux);
  node_concentrations(c);
  if (!m.lakes_on) return;
  // The lakes take and give what crossed their faces before they settle, so that what settles
  // never exceeds what they hold.
  suspended_sediment_lake_exchange(c);
  c.settled_now.assign(m.SS_vol_lake.size(), 0.0);
  lake_suspended_sediment_settling(c);
  lake_balance(c);
}

}  // namespace pluvo
