#pragma once
// Small stream networks built in memory: links with their nodes, lakes and structure elements.
#include <algorithm>
#include <memory>
#include <vector>

#include "common/error_state.hpp"
#include "record/model_state.hpp"

namespace pluvo_test {

struct link_spec {
  int type = 4;      // ltype bits
  int nodes = 3;     // computational nodes
  double dx = 100.0;
  int downstream = 0;
  std::vector<int> upstream;
  int lake = 0;      // lake2link
};

// A network of the given links (link k is links[k - 1]) and lakes, dry, with every node array
// sized and zero and room for `elements` structure elements.
inline std::unique_ptr<pluvo::model_state> make_network(const std::vector<link_spec>& links, int lakes = 0,
                                                        int elements = 0) {
  auto m = std::make_unique<pluvo::model_state>();
  const int n = int(links.size());
  int most = 2;
  for (const link_spec& l : links) most = std::max(most, l.nodes);
  m->nlinks = n;
  m->max_nodes = most;
  m->chan_node_extent = most + 1;
  m->chan_link_extent = n + 1;
  m->chan_slot_count = m->chan_node_extent * m->chan_link_extent;
  const size_t per_link = size_t(n) + 2;
  m->ltype.assign(per_link, 0);
  m->nx.assign(per_link, 0);
  m->nx1.assign(per_link, 0);
  m->ndep.assign(per_link, 0);
  m->dslink.assign(per_link, 0);
  m->lake2link.assign(per_link, 0);
  m->link_dx.assign(per_link, 0.0);
  m->uslinks.assign(per_link, std::vector<int32_t>(2, 0));
  m->struct_range.assign(per_link, {0, 10000, 0});
  for (int k = 1; k <= n; k++) {
    const link_spec& l = links[size_t(k - 1)];
    m->ltype[size_t(k)] = l.type;
    m->nx[size_t(k)] = l.nodes;
    m->nx1[size_t(k)] = l.nodes;
    m->dslink[size_t(k)] = l.downstream;
    m->link_dx[size_t(k)] = l.dx;
    m->lake2link[size_t(k)] = l.lake;
    m->ndep[size_t(k)] = int(l.upstream.size());
    m->uslinks[size_t(k)].assign(l.upstream.size() + 2, 0);
    for (size_t j = 0; j < l.upstream.size(); j++) m->uslinks[size_t(k)][j + 1] = l.upstream[j];
  }
  const size_t slots = size_t(m->chan_slot_count);
  for (auto* v : {&m->bel, &m->yp, &m->chan_depth, &m->conv, &m->area, &m->qlat, &m->qriv, &m->qp,
                  &m->chan_point_flow})
    v->assign(slots, 0.0);
  m->nlakes = lakes;
  m->lakes_on = lakes > 0;
  for (auto* v : {&m->lake_elev, &m->lake_volume, &m->lake_in_dv, &m->lake_out_dv}) v->assign(size_t(lakes) + 2, 0.0);
  m->num_structures = elements;
  m->structures.assign(size_t(elements) + 1, pluvo::hydraulic_structure());
  return m;
}

inline size_t node_key(const pluvo::model_state& m, int node, int link) {
  return size_t(link) * size_t(m.chan_node_extent) + size_t(node);
}

// A node with its bed, depth (the water surface follows), conveyance and flow area.
inline void set_node(pluvo::model_state& m, int node, int link, double bed, double depth, double conv = 10.0,
                     double area = 1.0) {
  const size_t k = node_key(m, node, link);
  m.bel[k] = bed;
  m.chan_depth[k] = depth;
  m.yp[k] = bed + depth;
  m.conv[k] = conv;
  m.area[k] = area;
}

// Link 1 (3 nodes, dx 100; a lake link of lake 1 with lake_above) ends where structure link 2
// of the given elements begins; link 3 below (3 nodes, dx 50) is the outlet. Both stream links
// fall 0.01 m per node from the given beds, at the given depths, with conveyance 20 and area 5.
inline std::unique_ptr<pluvo::model_state> structure_network(const std::vector<pluvo::hydraulic_structure>& elements,
                                                             double up_bed, double up_depth, double down_bed,
                                                             double down_depth, bool lake_above = false) {
  auto m = make_network({link_spec{lake_above ? 32 : 4, 3, 100.0, 2, {}, lake_above ? 1 : 0},
                         link_spec{64, 2, 1.0, 3, {1}}, link_spec{4, 3, 50.0, 0, {2}}},
                        1, int(elements.size()));
  for (size_t e = 0; e < elements.size(); e++) m->structures[e + 1] = elements[e];
  m->struct_range[2] = {int(elements.size()), 1, int(elements.size())};
  for (int n = 1; n <= 3; n++) {
    set_node(*m, n, 1, up_bed - 0.01 * n, up_depth, 20.0, 5.0);
    set_node(*m, n, 3, down_bed - 0.01 * n, down_depth, 20.0, 5.0);
  }
  return m;
}

}  // namespace pluvo_test
