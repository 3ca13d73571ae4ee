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

// One link of three nodes at the given depth on cells 1..3 (ground 12 m), beds 10 m, a bed
// conductivity of 3.6 (0.001 per second after the conversion) and thickness 0.5 m, over an
// aquifer of bottom 0 whose water table stands at head; every cell a stream cell (type 4).
inline std::unique_ptr<model_state> stream_over_aquifer(double depth, double head) {
  synthetic_link l;
  l.nodes = 3;
  l.bed_slope = 0.0;
  l.depth = depth;
  auto m = channel_model({synthetic_link{}, l}, {{1, 1, 0, 12}, {1, 2, 0, 12}, {1, 3, 0, 12}});
  const size_t keys = m->qriv.size();
  m->Krb.assign(keys, 3.6);
  m->Mrb.assign(keys, 0.5);
  m->av_qriv.assign(keys, 0.0);
  m->gst_qriv.assign(4, std::vector<double>(2, 0.0));
  m->stream_loss_on = 1;
  m->water_table_on = 1;
  m->gw_simulation_on = 1;
  m->elevgw.assign(4, head);
  m->bottom_elev.assign(4, 0.0);
  m->gw_porosity.assign(4, 0.2);
  m->gwbound.assign(4, 4);
  return m;
}

// The channel phase is due now and routes a step of dt seconds.
inline void due_now(model_state& m, double dt) {
  m.time_tolerance = 0.01 / 86400.0;
  m.cur_julian = m.chan_next_time = m.chan_last_time = 2450000.0;
  m.chan_interval_s = dt;
  m.chan_interval = dt / 86400.0;
}

}  // namespace pluvo
