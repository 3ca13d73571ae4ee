// The set-up arrays of the channel sediment, grid-stream and constituent code, and the shares of
// the lumped outflows, on small networks filled in memory.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "channel/channel_routines.hpp"
#include "channel/cross_sections.hpp"
#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo {
namespace {

struct link_spec {
  int type;
  int nodes;  // file nodes (nx1)
  double dx;
};

// A network of the given links, max_nodes the largest node count; link l drains to l + 1 unless
// the caller joins them otherwise.
std::unique_ptr<model_state> network(const std::vector<link_spec>& links) {
  error_state = error_state_record();
  auto m = std::make_unique<model_state>();
  m->chan_explic_on = 1;
  m->nlinks = int(links.size());
  for (const auto& l : links) m->max_nodes = std::max(m->max_nodes, l.nodes);
  m->chan_node_extent = m->max_nodes + 1;
  m->chan_link_extent = m->nlinks + 1;
  m->chan_slot_count = m->chan_node_extent * m->chan_link_extent;
  const size_t per_link = size_t(m->nlinks) + 1, slots = size_t(m->chan_slot_count);
  m->ltype.assign(per_link, 0);
  m->nx1.assign(per_link, 0);
  m->nx.assign(per_link, 0);
  m->ldex.assign(per_link, 0);
  m->link_dx.assign(per_link, 0.0);
  m->inv_mannings_n.assign(per_link, 1.0 / 0.035);
  m->bplink.assign(per_link, 0);
  m->ndep.assign(per_link, 0);
  m->dslink.assign(per_link, 0);
  m->uslinks.assign(per_link, std::vector<int32_t>(3, 0));
  for (int l = 1; l <= m->nlinks; ++l) {
    const link_spec& s = links[size_t(l) - 1];
    m->ltype[size_t(l)] = s.type;
    m->nx1[size_t(l)] = s.nodes;
    m->nx[size_t(l)] = (s.type & (4 | 8)) ? s.nodes - 1 : s.nodes;
    m->ldex[size_t(l)] = l;
    m->link_dx[size_t(l)] = s.dx;
  }
  for (auto* v : {&m->bel, &m->bottom, &m->max_eros, &m->area}) v->assign(slots, 0.0);
  m->table_num.assign(slots, 0);
  return m;
}

int key(const model_state& m, int link, int node) { return link * m.chan_node_extent + node; }

TEST(ChannelArrays, ErodibleTrapezoidSandFillsItsNodeLengthNotTheCell) {
  // Link 1 erodible trapezoid with 40 m nodes on 10 m cells; link 2 a plain trapezoid.
  auto m = network({{6, 4, 40.0}, {4, 3, 25.0}});
  m->chan_sed_transport_on = 1;
  m->cell_size = 10.0;
  m->sed_porosity = 0.4;
  m->ov_sed = std::make_unique<ov_sed_record>();
  m->ov_sed->num_sed_classes = 3;
  for (int n = 1; n <= 4; ++n)
    for (int l = 1; l <= 2; ++l) {
      m->bottom[size_t(key(*m, l, n))] = 2.0;
      m->max_eros[size_t(key(*m, l, n))] = 0.5;
      m->bel[size_t(key(*m, l, n))] = 100.0 - n;
    }
  allocate_channel_sediment_arrays(*m);
  const double v = (1.0 - 0.4) * 0.5 * 2.0 * 40.0;  // 24 m3 over the 40 m node
  const size_t slots = 3 + 2;
  for (int n = 1; n <= 3; ++n) {
    const size_t k = size_t(key(*m, 1, n));
    EXPECT_DOUBLE_EQ(m->ch_sand_vol[k * slots], v) << n;
    EXPECT_DOUBLE_EQ(m->ch_sand_vol[k * slots + 4], v) << n;  // the copy of the initial total
    EXPECT_DOUBLE_EQ(m->ch_sand_vol[size_t(key(*m, 2, n)) * slots], 0.0) << n;  // not erodible
  }
  EXPECT_DOUBLE_EQ(m->total_chan_sand_vol, 3 * v);
  EXPECT_EQ(m->org_bel, m->bel);  // the tracked bed starts at the bed
  EXPECT_EQ(m->new_bel, m->bel);
  EXPECT_EQ(m->ch_wash_vol.size(), size_t(m->chan_slot_count) * 4);
}

TEST(ChannelArrays, ErodibleBreakpointSandIsTheBandBelowTheTable) {
  // A section 4 m wide at its top, 1 m deep in four steps: W (N h + e) dx - A(N) dx, e = 0.3 m.
  auto m = network({{10, 2, 20.0}});
  m->chan_sed_transport_on = 1;
  m->sed_porosity = 0.25;
  m->bplink[1] = 1;
  m->num_erodible_bp_links = 1;
  m->num_xsec_tables = m->chan_node_extent;  // an erodible link keeps a table per node
  m->max_num_interp = 4;
  m->max_npairs = 4;
  size_xsec_tables(*m);
  int counter = 0;
  interp_breakpoint_xsecs(*m, counter,
                          breakpoint_link{1, 10, 2, 0.035, {{1, 4, {0, 0, 4, 4}, {1.0, 0.0, 0.0, 1.0}}}}, 0);
  ASSERT_EQ(error_state.error_code, 0);
  m->max_eros[size_t(key(*m, 1, 1))] = 0.3;
  allocate_channel_sediment_arrays(*m);
  const int t = m->table_num[size_t(key(*m, 1, 1))];
  ASSERT_GE(t, 1);
  const double area = m->xarea[size_t(xsec_key(*m, t, m->numhts[size_t(t)]))];
  const double v = 0.75 * (4.0 * (m->numhts[size_t(t)] * m->ht_spc[size_t(t)] + 0.3) * 20.0 - area * 20.0);
  EXPECT_DOUBLE_EQ(m->ch_sand_vol[size_t(key(*m, 1, 1)) * 2], v);
  EXPECT_DOUBLE_EQ(m->ch_sand_vol0[size_t(m->chan_node_extent + 1)], v);
  EXPECT_DOUBLE_EQ(m->total_chan_sand_vol, v);
}

TEST(ChannelArrays, NodeSpacingIsCheckedOnChannelLinksOnly) {
  const struct {
    const char* label;
    int type;
    double dx;
    const char* message;  // "" when accepted
  } cases[] = {
      {"channel link at the limit", 4, 0.0001, ""},
      {"lake link without spacing", 32, 0.0, ""},
      {"structure link without spacing", 64, 0.0, ""},
      {"channel link below the limit", 8, 0.00009,
       "\nYour channel node spacing is 0.000090 in link 2\nYou must specify a realistic value.  Program terminated.\n"},
  };
  for (const auto& c : cases) {
    auto m = network({{4, 3, 30.0}, {c.type, 3, c.dx}});
    m->gst_mode_on = 1;
    m->gst_num_cells = 2;
    m->gst_max_entries = 3;
    const std::string out = printed_by([&] { allocate_gst_arrays(*m); });
    if (*c.message == 0) {
      EXPECT_EQ(out, "") << c.label;
      EXPECT_EQ(error_state.error_terminate, 0) << c.label;
      EXPECT_EQ(m->gst_qlat.size(), 3u) << c.label;
      EXPECT_EQ(m->gst_qlat[2].size(), 4u) << c.label;
    } else {
      EXPECT_EQ(out.substr(0, std::string(c.message).size()), c.message) << c.label;
      EXPECT_EQ(error_state.error_terminate, 1) << c.label;
    }
  }
}

// Two constituents over a network of a channel link and a lake link of 500 m3.
std::unique_ptr<model_state> constituent_network() {
  auto m = network({{4, 3, 30.0}, {32, 1, 0.0}});
  m->chan_con_trans_on = 1;
  m->num_constituents = 2;
  m->lakes_on = 1;
  m->nlakes = 1;
  m->ldex[2] = 1;
  m->lake_volume = {0.0, 500.0, 0.0};
  m->chan_decay_coef_value = 8.64;
  m->chan_disp_coef_value = 0.7;
  m->init_chan_conc_value = 2.0;
  m->area[size_t(key(*m, 1, 1))] = 1.5;  // node 2 is dry
  checked_array_grow_fill(m->GLOBAL_MASS_INIT, 2, 0.0);
  m->chan_contam_out_name = "con_output";
  return m;
}

TEST(ChannelArrays, ConstituentsStartWetNodesAndLakesAtTheInitialConcentration) {
  pluvo_test::scratch_dir dir;
  auto m = constituent_network();
  for (int run = 1; run <= 2; ++run) {  // a second set-up rebuilds, never appends
    allocate_channel_contaminant_arrays(*m);
    ASSERT_EQ(error_state.error_terminate, 0);
    ASSERT_EQ(m->chan_node_conc.row_count, 2) << run;
    ASSERT_EQ(m->chan_disp.row_count, 2) << run;
    ASSERT_EQ(m->lake_con_mass.row_count, 2) << run;
    for (int c = 1; c <= 2; ++c) {
      EXPECT_DOUBLE_EQ(m->chan_node_conc.rows[c][key(*m, 1, 1)], 2.0);
      EXPECT_DOUBLE_EQ(m->chan_node_conc.rows[c][key(*m, 1, 2)], 0.0);  // dry
      EXPECT_DOUBLE_EQ(m->chan_node_decay_coef[c][key(*m, 1, 2)], 1e-4);
      EXPECT_DOUBLE_EQ(m->chan_disp.rows[c][key(*m, 1, 2)], 0.7);
      EXPECT_DOUBLE_EQ(m->lake_con_mass.rows[c][1], 1000.0);
      EXPECT_DOUBLE_EQ(m->lake_con_mass_initial[size_t(c)], 1.0);  // kg
      EXPECT_DOUBLE_EQ(m->lake_decay_coef[c][1], 1e-4);
    }
  }
  EXPECT_TRUE(m->chan_contam_out_fp.is_open());
  EXPECT_DOUBLE_EQ(m->GLOBAL_MASS_INIT[1], 2.0);  // each set-up books the lake's mass once
}

TEST(ChannelArrays, AnUnwritableContaminantFileStopsTheRun) {
  pluvo_test::scratch_dir dir;
  auto m = constituent_network();
  m->chan_contam_out_name = "no_such_dir/con_output";
  const std::string out = printed_by([&] { allocate_channel_contaminant_arrays(*m); });
  EXPECT_NE(out.find("Can't open no_such_dir/con_output to write channel contam data \n"), std::string::npos) << out;
  EXPECT_EQ(error_state.error_terminate, 1);
}

// Grid-stream cells over a 3-link network (1 and 2 join into 3) on a grid of six cells. Each
// entry: grid-stream cell, link, node, cell number, share.
struct entry {
  int gst_cell, link, node, cell;
  double pct;
};

std::unique_ptr<model_state> lumped_network(const std::vector<entry>& entries) {
  auto m = network({{4, 3, 10.0}, {4, 3, 20.0}, {4, 4, 30.0}});
  m->ndep[3] = 2;
  m->uslinks[3] = {0, 1, 2};
  m->dslink[1] = m->dslink[2] = 3;
  m->cell_count = 6;
  m->cell_size = 10.0;
  m->gst_mode_on = 1;
  m->super_quiet_on = 1;
  for (const entry& e : entries) m->gst_num_cells = std::max(m->gst_num_cells, e.gst_cell);
  const size_t cells = size_t(m->gst_num_cells) + 1;
  m->gst_ncellsingrid.assign(cells, 0);
  for (const entry& e : entries) ++m->gst_ncellsingrid[size_t(e.gst_cell)];
  for (int c : m->gst_ncellsingrid) m->gst_max_entries = std::max(m->gst_max_entries, c);
  const size_t width = size_t(m->gst_max_entries) + 1;
  m->gst_link.assign(cells, std::vector<int32_t>(width, 0));
  m->gst_node = m->gst_gnum = m->gst_link;
  m->gst_pct.assign(cells, std::vector<double>(width, 0.0));
  std::vector<int> filled(cells, 0);
  for (const entry& e : entries) {
    const size_t i = size_t(e.gst_cell), k = size_t(++filled[i]);
    m->gst_link[i][k] = e.link;
    m->gst_node[i][k] = e.node;
    m->gst_gnum[i][k] = e.cell;
    m->gst_pct[i][k] = e.pct;
  }
  return m;
}

// Cell 2 is listed by two grid-stream cells; cell 6 holds no channel.
const std::vector<entry> lumped_entries = {
    {1, 1, 1, 1, 1.0}, {2, 1, 2, 2, 0.5}, {2, 2, 1, 3, 0.5}, {3, 2, 2, 2, 0.4},
    {4, 3, 1, 4, 1.0}, {5, 3, 2, 5, 0.8}, {5, 3, 3, 4, 0.2},
};

double share_sum(const std::vector<std::vector<double>>& w) {
  double s = 0.0;
  for (const auto& row : w)
    for (double v : row) s += v;
  return s;
}

TEST(LumpedWeights, SacramentoSharesSumToOneAndCountEachCellOnce) {
  auto m = lumped_network(lumped_entries);
  m->sacramento_on = 1;
  m->topo_dex_on = 1;
  m->topo_dex = {0.0, 4.0, 6.0, 5.0, 3.0, 2.0, 9.0};
  m->super_quiet_on = 0;
  const std::string out = printed_by([&] { compute_sacramento_weights(*m); });
  ASSERT_EQ(error_state.error_terminate, 0) << out;
  EXPECT_EQ(out, "Sac Weights: 1.000000\n");
  EXPECT_DOUBLE_EQ(m->sac_chan_cell_count, 5.0);
  EXPECT_DOUBLE_EQ(m->topo_dex_chan_sum, 20.0);  // cell 2 once, cell 6 never
  EXPECT_NEAR(share_sum(m->gst_sac_weight), 1.0, 1e-9);
  EXPECT_NEAR(m->sac_weight_sum, 1.0, 1e-9);
  // Shares follow channel length times the cell's index: entry (2,1) against entry (3,1).
  EXPECT_NEAR(m->gst_sac_weight[2][1] / m->gst_sac_weight[3][1], (10.0 * 0.5) / (20.0 * 0.4), 1e-12);
}

TEST(LumpedWeights, SacramentoWithoutAnIndexMapStops) {
  auto m = lumped_network(lumped_entries);
  m->sacramento_on = 1;
  const std::string out = printed_by([&] { compute_sacramento_weights(*m); });
  EXPECT_EQ(out.find("Problem, gst_sac_weight <=0.0\nProgram terminated\n"), 0u) << out;
  EXPECT_EQ(error_state.error_terminate, 1);
}

TEST(LumpedWeights, ConceptualGroundwaterSharesAreScaledToSumToOne) {
  auto m = lumped_network(lumped_entries);
  m->conceptual_gw_on = 1;
  m->super_quiet_on = 0;
  m->upslope_area = {0.0, 100.0, 300.0, 200.0, 900.0, 700.0, 0.0};
  m->con_link = {0, 1, 1, 2, 3, 3, 0};
  const std::string out = printed_by([&] { compute_cgw_weights(*m); });
  ASSERT_EQ(error_state.error_terminate, 0) << out;
  EXPECT_NE(out.find("5  link  3 area   700.00 \n"), std::string::npos) << out;
  EXPECT_NE(out.find("Summation of the cgw weights is not equal to 1.0.\n"), std::string::npos) << out;
  EXPECT_NEAR(share_sum(m->gst_cgw_weight), 1.0, 1e-9);
  EXPECT_NEAR(m->cgw_weight_sum, 1.0, 1e-9);
  // Headwaters 1 and 2 each drain their largest area (300) less the other branch's next-to-top
  // area at the junction (200 and 100); link 3 its growth over link 1 (900 - 300). Shares go
  // per node interval, times the entry's part of its cell.
  const double w1 = (300.0 - 200.0) / 2, w2 = (300.0 - 100.0) / 2, w3 = (900.0 - 300.0) / 3;
  const double raw = w1 * (1.0 + 0.5) + w2 * (0.5 + 0.4) + w3 * (1.0 + 0.8 + 0.2);
  EXPECT_NEAR(m->gst_cgw_weight[2][2], w2 * 0.5 / raw, 1e-12);
  EXPECT_NEAR(m->gst_cgw_weight[5][1], w3 * 0.8 / raw, 1e-12);
}

TEST(LumpedWeights, NothingIsComputedWithoutItsModelOrChannelRouting) {
  auto m = lumped_network(lumped_entries);
  m->chan_explic_on = 0;
  m->sacramento_on = m->conceptual_gw_on = 1;
  compute_sacramento_weights(*m);
  compute_cgw_weights(*m);
  EXPECT_TRUE(m->gst_sac_weight.empty());
  EXPECT_TRUE(m->gst_cgw_weight.empty());
}

}  // namespace
}  // namespace pluvo
