#pragma once
// Stream networks built in memory: trapezoidal links with their nodes, sections and bed, joined
// into a tree whose last link reaches the outlet. Used by the channel benchmark and the routing
// tests.
#include <cstddef>
#include <vector>

#include "channel/cross_sections.hpp"
#include "record/model_state.hpp"

namespace pluvo {

struct synthetic_link {
  int nodes = 2;
  int downstream = 0;        // 0 at the outlet; must be a higher link number
  double dx = 100.0;         // node spacing, m
  double bed_top = 10.0;     // bed of node 1, m
  double bed_slope = 0.001;
  double bottom = 2.0;       // trapezoid bottom width, m
  double side_slope = 1.0;   // horizontal per vertical
  double mannings_n = 0.035;
  double depth = 0.0;        // starting depth, m
};

// Sizes and fills the network fields of m for links 1..links.size() (links[0] unused).
inline void build_synthetic_network(model_state& m, const std::vector<synthetic_link>& links) {
  const int nlinks = int(links.size()) - 1;
  int max_nodes = 1;
  for (int l = 1; l <= nlinks; l++) max_nodes = links[size_t(l)].nodes > max_nodes ? links[size_t(l)].nodes : max_nodes;
  m.nlinks = m.og_nlinks = nlinks;
  m.max_nodes = max_nodes;
  m.chan_node_extent = max_nodes + 1;
  m.chan_link_extent = nlinks + 1;
  m.chan_slot_count = m.chan_node_extent * m.chan_link_extent;
  const size_t slots = size_t(m.chan_slot_count);
  const size_t per_link = size_t(nlinks) + 1;
  for (auto* v : {&m.qp, &m.yp, &m.bel, &m.qp_vol, &m.qp_vol_sed, &m.bottom, &m.sslope, &m.bankfull_dep,
                  &m.pct_flooded, &m.chan_depth, &m.area, &m.area_old, &m.topw, &m.conv, &m.dconv, &m.qlat,
                  &m.qriv, &m.chan_point_flow, &m.yp_max_flood})
    v->assign(slots, 0.0);
  m.status_node.assign(slots, 0);
  m.table_num.assign(slots, 0);
  m.stream_pointsource.assign(slots, nullptr);
  for (auto* v : {&m.ltype, &m.ldex, &m.nx1, &m.nx, &m.og_nx1, &m.ndep, &m.dslink, &m.bplink, &m.lake2link})
    v->assign(per_link, 0);
  m.link_dx.assign(per_link, 0.0);
  m.inv_mannings_n.assign(per_link, 0.0);
  m.uslinks.assign(per_link, std::vector<int32_t>(1, 0));
  for (int l = 1; l <= nlinks; l++) {
    const synthetic_link& s = links[size_t(l)];
    m.ltype[size_t(l)] = 4;
    m.ldex[size_t(l)] = l;
    m.nx[size_t(l)] = m.nx1[size_t(l)] = m.og_nx1[size_t(l)] = s.nodes;
    m.dslink[size_t(l)] = s.downstream;
    m.link_dx[size_t(l)] = s.dx;
    m.inv_mannings_n[size_t(l)] = 1.0 / s.mannings_n;
    if (s.downstream > 0) {
      m.ndep[size_t(s.downstream)] += 1;
      m.uslinks[size_t(s.downstream)].push_back(l);
    }
    for (int n = 1; n <= s.nodes; n++) {
      const size_t k = size_t(l * m.chan_node_extent + n);
      m.bottom[k] = s.bottom;
      m.sslope[k] = s.side_slope;
      m.bankfull_dep[k] = 2.0;
      m.bel[k] = s.bed_top - s.bed_slope * s.dx * (n - 1);
      m.yp[k] = m.bel[k] + s.depth;
    }
  }
  ex_section(m, 2, m.xsec_table_exceeded);
  for (int l = 1; l <= nlinks; l++)
    for (int n = 1; n <= m.nx[size_t(l)]; n++) {
      const size_t k = size_t(l * m.chan_node_extent + n);
      m.chan_depth[k] = m.yp[k] - m.bel[k];
    }
  m.chan_explic_on = 1;
  if (m.max_courant_number_value <= 0.0) m.max_courant_number_value = 0.04;
}

// A binary dendritic network of about `target_nodes` nodes: every link of `nodes` nodes, pairs
// of links joining downstream, beds falling toward the outlet link (the last).
inline std::vector<synthetic_link> dendritic_network(int target_nodes, int nodes = 10, double depth = 0.3) {
  int nlinks = target_nodes / nodes;
  if (nlinks % 2 == 0) nlinks -= 1;  // a full binary tree has an odd number of links
  if (nlinks < 1) nlinks = 1;
  std::vector<synthetic_link> links(size_t(nlinks) + 1);
  // Link i (1-based, heap order from the outlet) is numbered nlinks + 1 - i, so that every
  // downstream link has the higher number.
  std::vector<int> level(size_t(nlinks) + 1, 0);
  for (int i = 2; i <= nlinks; i++) level[size_t(i)] = level[size_t(i / 2)] + 1;
  const int top_level = level[size_t(nlinks)];
  for (int i = 1; i <= nlinks; i++) {
    synthetic_link& s = links[size_t(nlinks + 1 - i)];
    s.nodes = nodes;
    s.downstream = i == 1 ? 0 : nlinks + 1 - i / 2;
    s.dx = 100.0;
    s.bed_slope = 0.002;
    s.bed_top = 1.0 + 0.002 * 100.0 * nodes * (level[size_t(i)] + 1);
    s.bottom = 1.0 + 4.0 * (top_level - level[size_t(i)]) / (top_level + 1);
    s.depth = depth;
  }
  return links;
}

}  // namespace pluvo
