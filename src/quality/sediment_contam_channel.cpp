// Contaminants sorbed to the suspended wash load of the channels and lakes: carried from node to
// node and into and out of the lakes with the sediment, then split between the water and the
// sediment, the dissolved share handed to the dissolved balances.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "quality/channel_quality.hpp"
#include "quality/quality_phases.hpp"
#include "quality/sediment_contam.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;

// Index arithmetic of the channel tables: node keys, [k][key][class] and [k][lake][class].
struct channel_layout {
  const model_state& m;
  size_t slots;  // classes + 1
  int fine_count;
  int key(int link, int node) const { return link * m.chan_node_extent + node; }
  // A lake or structure link counts as one node here, whatever nodes the network gives it.
  int nodes(int link) const {
    return wq_lake_link(m, link) || wq_excluded_link(m, link) || wq_structure_link(m, link) ? 1 : m.nx[size_t(link)];
  }
  int last_key(int link) const { return key(link, nodes(link)); }
  size_t node_class(int k, int key, int c) const {
    return (size_t(k) * size_t(m.chan_slot_count) + size_t(key)) * slots + size_t(c);
  }
  size_t lake_class(int k, int lake, int c) const {
    return (size_t(k) * size_t(m.nlakes + 2) + size_t(lake)) * slots + size_t(c);
  }
  size_t key_class(int key, int c) const { return size_t(key) * slots + size_t(c); }
  size_t lake_slot(int lake, int c) const { return size_t(lake) * slots + size_t(c); }
  int fine_class(int i) const { return m.ov_sed->sed_class[size_t(i)]; }
};

channel_layout layout_of(const model_state& m) {
  return {m, size_t(m.ov_sed->num_sed_classes) + 1, m.ov_sed->num_fine_classes};
}

double at(const std::vector<double>& v, size_t i) { return i < v.size() ? v[i] : 0.0; }

// A lake link, or a link a lake has taken (no nodes of its own): its sediment is the lake's.
bool lake_like(const model_state& m, int link) { return wq_lake_link(m, link) || wq_excluded_link(m, link); }

int lake_of_link(const model_state& m, int link) {
  return size_t(link) < m.lake2link.size() ? m.lake2link[size_t(link)] : 0;
}

bool tables_sized(const model_state& m) {
  if (!m.ov_sed || m.num_constituents < 1 || m.nlinks < 1) return false;
  const size_t slots = size_t(m.ov_sed->num_sed_classes) + 1, keys = size_t(m.chan_slot_count);
  const size_t per_class = (size_t(m.num_constituents) + 1) * keys * slots;
  if (m.chan_tot_node_mass.rows() < m.num_constituents || m.chan_sed_contam_node_conc.size() < per_class ||
      m.chan_sed_fract_attached.size() < per_class || m.chan_qlat_sed_mass.size() < per_class ||
      m.chan_node_mass.row_count < m.num_constituents)
    return false;
  if (!m.lakes_on) return true;
  return m.lake_tot_mass.rows() >= m.num_constituents && m.lake_con_mass.row_count >= m.num_constituents &&
         m.lake_sed_contam_conc.size() >= (size_t(m.num_constituents) + 1) * size_t(m.nlakes + 2) * slots;
}

// Sorbed concentration of class c standing for the water at node (link, node) of a link the
// routing visits: the lake's on lake-like links, the upstream link's last node on a structure.
double own_conc(const channel_layout& p, int k, int link, int node, int c) {
  const model_state& m = p.m;
  int lake = lake_like(m, link) ? lake_of_link(m, link) : 0;
  int key = p.key(link, node);
  if (!lake && wq_structure_link(m, link) && m.ndep[size_t(link)] >= 1) {
    const int up = m.uslinks[size_t(link)][1];
    if (lake_like(m, up))
      lake = lake_of_link(m, up);
    else
      key = p.last_key(up);
  }
  if (lake > 0) return at(m.lake_sed_contam_conc, p.lake_class(k, lake, c));
  return at(m.chan_sed_contam_node_conc, p.node_class(k, key, c));
}

// Concentration of the water that flows back up into the node: the next node's, at a link end
// the first node of the link below, or the lake's when the link below is lake-like.
double downstream_conc(const channel_layout& p, int k, int link, int node, int c) {
  const model_state& m = p.m;
  if (node < p.nodes(link)) return own_conc(p, k, link, node + 1, c);
  const int below = m.dslink[size_t(link)];
  if (below < 1) return own_conc(p, k, link, node, c);
  if (lake_like(m, below)) return at(m.lake_sed_contam_conc, p.lake_class(k, lake_of_link(m, below), c));
  return own_conc(p, k, below, 1, c);
}

// Links whose nodes are visited for fluxes: lake-like links only above an ordinary link.
bool visited(const model_state& m, int link) {
  if (!lake_like(m, link)) return true;
  const int below = m.dslink[size_t(link)];
  return below >= 1 && wq_active_link(m, below);
}

void node_fluxes(model_state& m, const channel_layout& p, double dt, int k) {
  std::fill(m.chan_sed_con_flux.begin(), m.chan_sed_con_flux.end(), 0.0);
  for (int link = m.nlinks; link >= 1; --link) {
    if (!visited(m, link)) continue;
    for (int node = p.nodes(link); node >= 1; --node) {
      const int key = p.key(link, node);
      double& flux = m.chan_sed_con_flux[size_t(key)];
      flux = 0.0;
      for (int i = 1; i <= p.fine_count; ++i) {
        const int c = p.fine_class(i);
        const double F = at(m.qsmax, p.key_class(key, c));
        const double C = F >= 0.0 ? own_conc(p, k, link, node, c) : downstream_conc(p, k, link, node, c);
        flux += F * dt * C;
      }
    }
  }
}

// A structure holds no mass: it passes on what its upstream link's last node sends, or, below a
// lake, what it draws from the lake at the lake's concentration.
void pass_through_structures(model_state& m, const channel_layout& p) {
  for (int link = 1; link <= m.nlinks; ++link) {
    if (!wq_structure_link(m, link) || m.ndep[size_t(link)] < 1) continue;
    const int up = m.uslinks[size_t(link)][1];
    if (!lake_like(m, up)) m.chan_sed_con_flux[size_t(p.last_key(link))] = m.chan_sed_con_flux[size_t(p.last_key(up))];
  }
}

void lake_exchange(model_state& m, const channel_layout& p, int k) {
  for (int link = 1; m.lakes_on && link <= m.nlinks; ++link) {
    if (!wq_lake_link(m, link)) continue;
    const int lake = lake_of_link(m, link);
    if (lake < 1 || lake > m.nlakes) continue;
    double& source = m.chan_lake_sed_source[k][lake];
    for (int u = 1; u <= m.ndep[size_t(link)]; ++u) source += m.chan_sed_con_flux[size_t(p.last_key(m.uslinks[size_t(link)][size_t(u)]))];
    // What leaves the lake is what its link passes on to the link below, or what a structure
    // below it draws.
    if (visited(m, link)) source -= m.chan_sed_con_flux[size_t(p.last_key(link))];
    const int below = m.dslink[size_t(link)];
    if (below >= 1 && wq_structure_link(m, below) && m.ndep[size_t(below)] >= 1 && m.uslinks[size_t(below)][1] == link)
      source -= m.chan_sed_con_flux[size_t(p.last_key(below))];
  }
}

void update_node_masses(model_state& m, const channel_layout& p, int k) {
  double* total = m.chan_tot_node_mass[k];
  for (int link = 1; link <= m.nlinks; ++link) {
    if (!wq_active_link(m, link)) continue;
    for (int node = 1; node <= m.nx[size_t(link)]; ++node) {
      const int key = p.key(link, node);
      double inflow = 0.0;
      if (node > 1)
        inflow = m.chan_sed_con_flux[size_t(key - 1)];
      else
        for (int u = 1; u <= m.ndep[size_t(link)]; ++u)
          inflow += m.chan_sed_con_flux[size_t(p.last_key(m.uslinks[size_t(link)][size_t(u)]))];
      // What the grid delivered with its sediment since the last update.
      double bed = 0.0;
      for (size_t c = 0; c < p.slots; ++c) {
        double& x = m.chan_qlat_sed_mass[p.node_class(k, key, int(c))];
        if (c > 0) bed += x;
        x = 0.0;
      }
      total[key] += inflow - m.chan_sed_con_flux[size_t(key)] + bed;
    }
  }
}

void update_lake_masses(model_state& m, const channel_layout& p, int k) {
  for (int lake = 1; lake <= m.nlakes; ++lake) {
    double& settled = m.lake_settled_sed_mass[k][lake];
    for (int i = 1; i <= p.fine_count; ++i)
      settled += at(m.lake_sed_contam_conc, p.lake_class(k, lake, p.fine_class(i))) *
                 at(m.SS_vol_lake_settled, p.lake_slot(lake, p.fine_class(i)));
    m.lake_tot_mass[k][lake] += m.ov_lake_sed_source[k][lake] + m.chan_lake_sed_source[k][lake] - settled;
  }
}

void book_outlet(model_state& m, int k, double x) {
  for (auto* terms : {&m.event_constituent_terms, &m.run_constituent_terms})
    if (size_t(k) < terms->size()) (*terms)[size_t(k)].attached_out += x;
  m.GLOBAL_MASS_OUT[k] += x;
}

void add(std::vector<double>& total, int k, double x) {
  if (size_t(k) < total.size()) total[size_t(k)] += x;
}

// Releases the dissolved share of every node to the dissolved balance.
void release_node_dissolved(model_state& m, const channel_layout& p, int k, double dt) {
  double* total = m.chan_tot_node_mass[k];
  const double* fd = m.chan_node_fraction_dissolved[k];
  const double* dissolved = m.chan_node_mass.rows[k];
  for (int link = m.nlinks; link >= 1; --link) {
    if (!wq_active_link(m, link)) continue;
    for (int node = m.nx[size_t(link)]; node >= 1; --node) {
      const int key = p.key(link, node);
      const double d = total[key] * fd[key];
      m.chan_node_sed_source_mass[k][key] += d - dissolved[key];
      total[key] -= d;
      if (total[key] <= -tiny) std::printf("error");
      m.attached_chan_flux[k][key] = dt > 0.0 ? m.chan_sed_con_flux[size_t(key)] / dt : 0.0;
    }
  }
}

void release_lake_dissolved(model_state& m, int k) {
  for (int lake = 1; lake <= m.nlakes; ++lake) {
    double& total = m.lake_tot_mass[k][lake];
    const double d = total * m.lake_fraction_dissolved[k][lake];
    m.lake_sed_contam_source[k][lake] += d - m.lake_con_mass.rows[k][lake];
    total -= d;
    if (total <= -tiny) std::printf("error");
    double& from_channels = m.chan_lake_sed_source[k][lake];
    double& from_overland = m.ov_lake_sed_source[k][lake];
    double& settled = m.lake_settled_sed_mass[k][lake];
    add(m.event_chan_lake_sed_contam_mass, k, from_channels / 1000.0);
    add(m.CHAN_LAKE_SED_CONTAM_MASS, k, from_channels / 1000.0);
    add(m.event_ov_lake_sed_contam_mass, k, from_overland / 1000.0);
    add(m.OV_LAKE_SED_CONTAM_MASS, k, from_overland / 1000.0);
    // Sorbed mass that settled with the lake's sediment has left the water for the lake bed.
    add(m.event_lake_settled_sed_mass, k, settled / 1000.0);
    add(m.LAKE_SETTLED_SED_MASS, k, settled / 1000.0);
    // Nothing follows it there: for the watershed's books it has left.
    m.GLOBAL_MASS_OUT[k] += settled / 1000.0;
    from_channels = from_overland = settled = 0.0;
  }
}

// Splits a sorbed total over the fine classes: Cs(i) is the suspended concentration (mg/l) and
// V(i) the suspended volume (m3) of the i-th fine class; fb and conc (per class, slot 0 the
// total fraction) take the bound fractions and the sorbed concentrations.
template <class Conc, class Volume>
void split_on_fines(const channel_layout& p, double K, double total, Conc Cs, Volume V, double* fb, double* conc,
                    const char* nan_message) {
  double S = 0.0;
  for (int i = 1; i <= p.fine_count; ++i) S += K * Cs(i);
  fb[0] = 0.0;
  for (int i = 1; i <= p.fine_count; ++i) {
    const int c = p.fine_class(i);
    fb[c] = K * Cs(i) / (1.0 + S);
    fb[0] += fb[c];
    const double v = V(i);
    conc[c] = v > tiny ? fb[c] * total / v : 0.0;
    if (std::isnan(conc[c])) std::printf("%s", nan_message);
  }
}

}  // namespace

void route_channel_sediment_contam(model_state& m, double dt, int k) {
  const channel_layout p = layout_of(m);
  if (m.chan_sed_con_flux.size() != size_t(m.chan_slot_count)) m.chan_sed_con_flux.assign(size_t(m.chan_slot_count), 0.0);
  node_fluxes(m, p, dt, k);
  pass_through_structures(m, p);
  lake_exchange(m, p, k);
  update_node_masses(m, p, k);
  if (m.lakes_on) update_lake_masses(m, p, k);
}

void partition_channel_sediment_contam(model_state& m, int k) {
  const channel_layout p = layout_of(m);
  const double K = m.chan_partition_coef[k] / 1e6;
  const double* total = m.chan_tot_node_mass[k];
  for (int link = m.nlinks; link >= 1; --link) {
    if (!wq_active_link(m, link)) continue;
    for (int node = m.nx[size_t(link)]; node >= 1; --node) {
      const int key = p.key(link, node);
      // A node without water keeps its last split.
      if (!(at(m.area, size_t(key)) * m.link_dx[size_t(link)] > tiny)) continue;
      const auto Cs = [&](int i) { return at(m.chan_sed_conc, p.key_class(key, p.fine_class(i))); };
      const auto V = [&](int i) { return at(m.ch_wash_vol, p.key_class(key, p.fine_class(i))); };
      double* fb = &m.chan_sed_fract_attached[p.node_class(k, key, 0)];
      split_on_fines(p, K, total[key], Cs, V, fb, &m.chan_sed_contam_node_conc[p.node_class(k, key, 0)], "bad number 11");
      m.chan_node_fraction_dissolved[k][key] = 1.0 - fb[0];
    }
  }
}

void partition_lake_sediment_contam(model_state& m, int k) {
  const channel_layout p = layout_of(m);
  const double K = m.chan_partition_coef[k] / 1e6;
  for (int lake = 1; lake <= m.nlakes; ++lake) {
    const auto Cs = [&](int i) { return at(m.SS_conc_lake, p.lake_slot(lake, p.fine_class(i))); };
    const auto V = [&](int i) { return at(m.SS_vol_lake, p.lake_slot(lake, p.fine_class(i))); };
    double* fb = &m.lake_sed_fract_attached[p.lake_class(k, lake, 0)];
    split_on_fines(p, K, m.lake_tot_mass[k][lake], Cs, V, fb, &m.lake_sed_contam_conc[p.lake_class(k, lake, 0)],
                   "bad number 12");
    m.lake_fraction_dissolved[k][lake] = 1.0 - fb[0];
  }
}

void step_channel_sediment_contam(model_state& m) {
  if (!m.chan_con_trans_on || !m.sediment_contam_on) return;
  if (!(std::fabs(m.chan_wq_next_time - m.cur_julian) < m.time_tolerance) || !tables_sized(m)) return;
  const double dt = (m.cur_julian - m.chan_wq_last_time) * 86400.0;
  const channel_layout p = layout_of(m);
  const size_t outlet = size_t(p.last_key(m.nlinks));
  for (int k = 1; k <= m.num_constituents; ++k) {
    route_channel_sediment_contam(m, dt, k);
    book_outlet(m, k, m.chan_sed_con_flux[outlet] / 1000.0);
    partition_channel_sediment_contam(m, k);
    release_node_dissolved(m, p, k, dt);
    m.chan_sed_con_flux[outlet] = 0.0;
    if (!m.lakes_on) continue;
    partition_lake_sediment_contam(m, k);
    release_lake_dissolved(m, k);
  }
}

}  // namespace pluvo
