#pragma once
// A stream network in memory with the grid cells that hold its nodes, for the lateral inflow and
// routing tests.
#include <memory>
#include <vector>

#include "../../bench/synthetic_network.hpp"
#include "common/error_state.hpp"
#include "record/model_state.hpp"

namespace pluvo {

struct stream_cell {
  int link = 1;
  int node = 1;
  double depth = 0.0;      // overland depth, m
  double elevation = 0.0;  // ground, m
  int boundary = 0;        // overland boundary type
};

// The network and one grid-stream cell per entry of `cells` (share 1, cell numbers from 1).
inline std::unique_ptr<model_state> channel_model(const std::vector<synthetic_link>& links,
                                                  const std::vector<stream_cell>& cells,
                                                  double cell_size = 30.0) {
  error_state = error_state_record{};
  auto m = std::make_unique<model_state>();
  build_synthetic_network(*m, links);
  const int n = int(cells.size());
  m->cell_count = n;
  m->cell_size = cell_size;
  const size_t c1 = size_t(n) + 1;
  m->ov_depth.assign(c1, 0.0);
  m->elevation.assign(c1, 0.0);
  m->dist_rough.assign(c1, 0.05);
  m->roughness_exp.assign(c1, 0.0);
  m->ov_mann_exp.assign(c1, 0.05);
  m->boundary_type.assign(c1, 0);
  m->lake_mask.assign(c1, 0);
  m->new_flooded_grid.assign(c1, 0);
  m->cell_to_channel_volume.assign(c1, 0.0);
  m->gst_num_cells = n;
  m->gst_max_entries = 1;
  m->gst_ncellsingrid.assign(c1, 1);
  m->gst_ncellsingrid[0] = 0;
  m->gst_link.assign(c1, std::vector<int32_t>(2, 0));
  m->gst_node.assign(c1, std::vector<int32_t>(2, 0));
  m->gst_gnum.assign(c1, std::vector<int32_t>(2, 0));
  for (auto* v : {&m->gst_pct, &m->gst_sac_weight, &m->gst_cgw_weight, &m->gst_Vlat, &m->gst_qlat})
    v->assign(c1, std::vector<double>(2, 0.0));
  for (int g = 1; g <= n; g++) {
    const stream_cell& s = cells[size_t(g - 1)];
    m->gst_link[size_t(g)][1] = s.link;
    m->gst_node[size_t(g)][1] = s.node;
    m->gst_gnum[size_t(g)][1] = g;
    m->gst_pct[size_t(g)][1] = 1.0;
    m->ov_depth[size_t(g)] = s.depth;
    m->elevation[size_t(g)] = s.elevation;
    m->boundary_type[size_t(g)] = s.boundary;
    if (s.boundary) m->ov_boundary_on = 1;
  }
  return m;
}

inline size_t node_at(const model_state& m, int link, int node) {
  return size_t(link * m.chan_node_extent + node);
}

}  // namespace pluvo
