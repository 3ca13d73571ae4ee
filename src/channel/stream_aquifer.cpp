// Seepage between the water table and the channel network: a rate per channel-lake cell and an
// exchange flow per unit length per stream node, Darcy flow through the bed layer.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_routines.hpp"
#include "channel/channel_services.hpp"
#include "channel/cross_sections.hpp"
#include "channel/explicit_routing.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int lake_cell = 7;

// Rate (m2/s, positive from the aquifer into the lake) through the bed of lake cell c. Where the
// bed passes nothing (the stage at or below the ground, or a disconnected table under an aquifer
// bottom at or above the stage) the rate is 0.
double lake_cell_rate(const model_state& m, int c) {
  const size_t i = size_t(c);
  const int lake = m.lake_mask[i];
  const double stage = m.lake_elev[size_t(lake)];
  const double ground = m.elevation[i];
  const double bed = m.Mlake[size_t(lake)] / 100.0;
  const double k = m.ks_cell[i];
  const double w = m.cell_size;
  const double losing = -(stage - ground) * k / bed * w;
  if (!m.water_table_on) return stage - ground > 1e-16 ? losing : 0.0;
  if (m.gw_simulation_on && m.gwbound[i] != lake_cell) return 0.0;
  const double head = m.elevgw[i];
  const double bottom = m.bottom_elev[i];
  if (head <= ground || head - bottom <= 0.01) return (bottom < stage && stage - ground > 1e-16) ? losing : 0.0;
  return (head - stage) * k / bed * w;
}

// Calls visit(g, e, link, node, cell) for every grid-stream entry in order.
template <typename Visit>
void for_each_entry(const model_state& m, Visit visit) {
  for (int g = 1; g <= m.gst_num_cells; g++)
    for (int e = 1; e <= m.gst_ncellsingrid[size_t(g)]; e++)
      visit(g, e, m.gst_link[size_t(g)][size_t(e)], m.gst_node[size_t(g)][size_t(e)], m.gst_gnum[size_t(g)][size_t(e)]);
}

bool counted_entry(const model_state& m, int link, int node, int cell) {
  const int t = m.ltype[link];
  if (t & (ltype_lake | ltype_structure)) return false;
  if ((t & (4 | 8)) && (t & ltype_taken_by_lake)) return false;
  if (m.lakes_on && node > m.nx[link]) return false;
  // A link given no bed (not a subsurface link) passes no water: its 0/0 would be a NaN.
  const size_t k = size_t(chan_key(m, link, node));
  if (k >= m.Mrb.size() || !(m.Mrb[k] > 0.0)) return false;
  if (m.water_table_on && m.gw_simulation_on && m.gwbound[size_t(cell)] != gw_stream_cell) return false;
  return true;
}

// Wetted perimeter at exchange depth d; false after a table beyond the file's tables.
bool wetted_perimeter(model_state& m, int link, size_t key, double d, double& p) {
  if (m.ltype[link] & 4) {
    p = 2.0 * d * m.sslope[key] + m.bottom[key];
    return true;
  }
  const int t = m.table_num[key];
  if (t > m.num_xsec_tables) {
    std::fputs("Error in section: Request for table beyond max. table number.\n", stderr);
    set_error(4000);
    report_error(error_state);
    return false;
  }
  const double hs = m.ht_spc[size_t(t)];
  const int n = m.numhts[size_t(t)];
  const size_t base = size_t(t) * size_t(m.max_num_interp + 1);
  auto tw = [&](int j) { return m.xtw[base + size_t(j)]; };
  if (d < hs) {
    p = tw(1) * std::pow(d / hs, 5.0 / 3.0);
  } else if (d <= n * hs) {
    const int j = int(d / hs);
    p = j + 1 > n ? tw(j) : tw(j) + (tw(j + 1) - tw(j)) * (d - j * hs) / hs;
  } else {
    p = tw(n) + (tw(n) - tw(n - 1)) * (d - n * hs) / hs;
  }
  return true;
}

// Screening: whether any counted entry can lose (first) or gain (second) water.
void screen_entries(const model_state& m, bool& exchange, bool& gaining) {
  exchange = gaining = false;
  for_each_entry(m, [&](int, int, int l, int n, int c) {
    if (!counted_entry(m, l, n, c)) return;
    const size_t k = size_t(chan_key(m, l, n));
    const double d = m.chan_depth[k];
    if (!m.water_table_on) {
      if (d > 1e-16) exchange = true;
      return;
    }
    const double h = m.elevgw[size_t(c)];
    const double b = m.bel[k];
    const double bottom = m.bottom_elev[size_t(c)];
    if ((h <= b && d > 1e-6) || h <= b + d || h - bottom <= 0.01) exchange = true;
    if (h > b + d && h - bottom > 0.01) gaining = true;
  });
}

// Exchange per unit length of one entry (m2/s, positive from the aquifer).
double entry_rate(const model_state& m, size_t k, int c, double p) {
  const double d = m.chan_depth[k];
  const double kb = m.Krb[k] / 3600.0;
  const double mb = m.Mrb[k];
  if (!m.water_table_on) return d > 1e-16 ? -(d * kb / mb) * p : 0.0;
  const double h = m.elevgw[size_t(c)];
  const double b = m.bel[k];
  if (h <= b) return d > 1e-6 ? -(d * kb / mb) * p : 0.0;
  if (h <= b + d || h - m.bottom_elev[size_t(c)] >= 0.01) {
    if (h < m.elevation[size_t(c)] || h >= b + d) return kb / mb * (h - (b + d)) * p;
  }
  return 0.0;
}

double exchange_depth(const model_state& m, size_t k, int c) {
  const double d = m.chan_depth[k];
  if (!m.water_table_on) return d > 1e-6 ? d : 0.0;
  const double h = m.elevgw[size_t(c)];
  const double b = m.bel[k];
  if (h <= b) return d > 1e-6 ? d : 0.0;
  if (h > b + d) return h - b;
  return d;
}

int stream_node_exchange(model_state& m) {
  bool exchange = false, gaining = false;
  screen_entries(m, exchange, gaining);
  for (int l = 1; l <= m.nlinks; l++)
    for (int n = 1; n <= m.og_nx1[l]; n++) m.qriv[size_t(chan_key(m, l, n))] = 0.0;
  for (auto& row : m.gst_qriv) std::fill(row.begin(), row.end(), 0.0);
  if (!exchange && !gaining) return 0;
  bool table_failed = false;
  for_each_entry(m, [&](int g, int e, int l, int n, int c) {
    if (table_failed || !counted_entry(m, l, n, c)) return;
    const size_t k = size_t(chan_key(m, l, n));
    double p = 0.0;
    if (!wetted_perimeter(m, l, k, exchange_depth(m, k, c), p)) {
      table_failed = true;
      return;
    }
    const double r = entry_rate(m, k, c, p);
    m.gst_qriv[size_t(g)][size_t(e)] = r;
    m.qriv[k] += m.gst_pct[size_t(g)][size_t(e)] * r;
  });
  if (table_failed) return 0;
  int result = 0;
  for (int l = 1; l <= m.nlinks; l++)
    for (int n = 1; n <= m.og_nx1[l]; n++) {
      const size_t k = size_t(chan_key(m, l, n));
      if (std::isnan(m.qriv[k])) {
        m.qriv[k] = 0.0;
        message_out("qriv in node %ld link %ld is not a number\n", long(n), long(l));
        message_out("qriv set to zero in this node \n");
        message_out("check your input \n");
      }
      if (m.qriv[k] > 0.0) result = 1;
      if (m.qriv[k] < 0.0 && m.chan_depth[k] > 0.0 && result != 1) result = 2;
    }
  return result;
}

void size_cell_volumes(model_state& m) {
  if (m.cell_stream_exchange_volume.size() <= size_t(m.cell_count))
    m.cell_stream_exchange_volume.assign(size_t(m.cell_count) + 1, 0.0);
}

}  // namespace

void apply_lake_seepage(model_state& m, double dt) {
  if (m.lake_seepage_cell.size() <= size_t(m.cell_count) || m.lake_source.size() <= size_t(m.cell_count)) return;
  for (int c = 1; c <= m.cell_count; c++) {
    const size_t i = size_t(c);
    const int lake = m.lake_mask[i];
    if (lake <= 0 || (size_t(lake) < m.calc_loss.size() && m.calc_loss[size_t(lake)] == 0)) continue;
    const double r = m.lake_seepage_cell[i];
    double v = dt * r * m.cell_size;
    double& held = m.lake_volume[size_t(lake)];
    if (v < 0.0 && held + v < 0.0) v = -std::max(held, 0.0);
    held += v;
    if (r <= 0.0)
      m.lake_out_dv[size_t(lake)] += -v;
    else
      m.lake_in_dv[size_t(lake)] += v;
    m.lake_source[i] += v;
    if (m.chan_con_trans_on && i < m.lake_gw_exchange_volume.size()) m.lake_gw_exchange_volume[i] += v;
  }
}

void book_stream_seepage(model_state& m, double dt) {
  size_cell_volumes(m);
  for_each_entry(m, [&](int g, int e, int l, int n, int c) {
    if (!counted_entry(m, l, n, c)) return;
    const double v = dt * m.gst_qriv[size_t(g)][size_t(e)] * m.link_dx[l] * m.gst_pct[size_t(g)][size_t(e)];
    // The node's water changed by the entry's volume: its constituents follow it.
    if (m.chan_con_trans_on) m.gst_qriv_vol[size_t(g)][size_t(e)] += v;
    if (m.lakes_on && m.lake_mask[size_t(c)] > 0) {
      m.cell_stream_exchange_volume[size_t(c)] = 0.0;
      return;
    }
    if (m.gw_simulation_on && m.gwbound[size_t(c)] != gw_stream_cell) return;
    m.cell_stream_exchange_volume[size_t(c)] += v;
  });
}

void book_routed_stream_seepage(model_state& m, const std::vector<double>& qriv_old, double dts) {
  size_cell_volumes(m);
  for (int g = m.gst_num_cells; g >= 1; g--)
    for (int e = m.gst_ncellsingrid[size_t(g)]; e >= 1; e--) {
      const int l = m.gst_link[size_t(g)][size_t(e)];
      const int n = m.gst_node[size_t(g)][size_t(e)];
      const int c = m.gst_gnum[size_t(g)][size_t(e)];
      if (!routable_link(m, l)) continue;
      double& rate = m.gst_qriv[size_t(g)][size_t(e)];
      if (n > m.nx[l]) {
        rate = 0.0;
        continue;
      }
      const size_t k = size_t(chan_key(m, l, n));
      const double old = k < qriv_old.size() ? qriv_old[k] : 0.0;
      rate = std::fabs(old) < 1e-16 ? 0.0 : rate * m.qriv[k] / old;
      const double v = rate * m.link_dx[l] * dts * m.gst_pct[size_t(g)][size_t(e)];
      m.cell_stream_exchange_volume[size_t(c)] += v;
      if (m.chan_con_trans_on) m.gst_qriv_vol[size_t(g)][size_t(e)] += v;
    }
}

void recompute_channel_sections(model_state& m) { ex_section(m, 1, m.xsec_table_exceeded); }

int compute_stream_aquifer_flux(model_state& m, double) {
  if (m.lake_gw_exchange_on == 1 && m.lakes_on && m.lake_seepage_cell.size() > size_t(m.cell_count))
    for (int c = 1; c <= m.cell_count; c++)
      m.lake_seepage_cell[size_t(c)] = m.lake_mask[size_t(c)] > 0 ? lake_cell_rate(m, c) : 0.0;
  if (!m.stream_loss_on) return 0;
  return stream_node_exchange(m);
}

}  // namespace pluvo
