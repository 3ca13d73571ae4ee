#include <gtest/gtest.h>

#include <array>

#include <memory>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "input/input_phases.hpp"
#include "input/neighbour_services.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace {

using namespace pluvo;
using pluvo_test::write_file;

// A network as a reader would leave it: junctions (kind, loc1, loc2) and links of node positions.
struct fake_network {
  std::vector<std::array<int, 3>> junctions;
  std::vector<std::vector<std::array<int, 2>>> links;  // per link its nodes 1..count+1 (row, column)
  int leaky = 0;
};
fake_network given;

template <typename Fill>
void fill_layout(Fill&& fill) {
  const int j = int(given.junctions.size()), l = int(given.links.size());
  int nodes = 0;
  for (const auto& link : given.links) nodes = std::max(nodes, int(link.size()) - 1);
  std::vector<int32_t> loc1(size_t(j) + 1), loc2(size_t(j) + 1), count(size_t(l) + 1);
  node_matrix<int32_t> kind, row, col;  // row 0 of kind: the junctions' inlet types
  kind.assign(nodes + 1, std::max(j, l));
  row.assign(nodes + 1, l + 1);
  col.assign(nodes + 1, l + 1);
  for (int k = 1; k <= j; ++k) {
    kind[0][k] = given.junctions[size_t(k - 1)][0];
    loc1[size_t(k)] = given.junctions[size_t(k - 1)][1];
    loc2[size_t(k)] = given.junctions[size_t(k - 1)][2];
  }
  for (int k = 1; k <= l; ++k) {
    const auto& link = given.links[size_t(k - 1)];
    count[size_t(k)] = int(link.size()) - 1;
    for (size_t n = 0; n < link.size(); ++n) {
      row[int(n) + 1][k] = link[n][0];
      col[int(n) + 1][k] = link[n][1];
    }
  }
  fill(j, l, nodes, kind, loc1, loc2, count, row, col);
}

void read_superlinks(checked_file&, checked_file&, model_state& m) {
  fill_layout([&](int j, int l, int nodes, auto& kind, auto& loc1, auto& loc2, auto& count, auto& row, auto& col) {
    m.num_superjunctions = j;
    m.num_superlinks = l;
    m.num_superlink_nodes = nodes;
    m.inlet_type = kind;
    m.superlink_cnodes = count;
    m.superjunct_i = loc1;
    m.superjunct_j = loc2;
    m.nnodes = count;
    m.superlink_node_i = row;
    m.superlink_node_j = col;
    m.leaky_pipes_on = given.leaky;
  });
}

void read_drains(checked_file&, checked_file&, drain_network_record& d, model_state&) {
  fill_layout([&](int j, int l, int nodes, auto& kind, auto& loc1, auto& loc2, auto& count, auto& row, auto& col) {
    d.junctions = j;
    d.links = l;
    d.nodes = nodes;
    d.inlet_type = kind;
    d.junct_i = loc1;
    d.junct_j = loc2;
    d.nnodes = count;
    d.node_i = row;
    d.node_j = col;
    d.leaky_pipes = given.leaky;
  });
}

struct network_project {
  pluvo_test::scratch_dir dir;
  neighbour_service_table saved = neighbour_services;
  std::unique_ptr<model_state> m = std::make_unique<model_state>();

  // A 2 x 3 grid whose cells are numbered 1..5, the north-east corner outside.
  network_project() {
    error_state = error_state_record();
    error_log_file = nullptr;
    neighbour_services.read_superlink_file = read_superlinks;
    neighbour_services.read_drain_network = read_drains;
    m->cell_number_grid.resize(2, 3, 0);
    const int numbers[2][3] = {{1, 2, 0}, {3, 4, 5}};
    for (int r = 1; r <= 2; ++r)
      for (int c = 1; c <= 3; ++c) m->cell_number_grid(r, c) = numbers[r - 1][c - 1];
    m->cell_count = 5;
    // One grid-stream cell with two entries: link 4 node 2 lies in cell 5, then again in cell 4.
    m->gst_num_cells = 1;
    m->gst_ncellsingrid = {0, 2};
    m->gst_link = {{}, {0, 4, 4}};
    m->gst_node = {{}, {0, 2, 2}};
    m->gst_gnum = {{}, {0, 5, 4}};
    write_file("net.txt", "network\n");
    m->storm_sewer_path = m->storm_drain_name = "net.txt";
    m->super_quiet_on = 1;
  }
  ~network_project() { neighbour_services = saved; }
};

TEST(PipeNetworks, JunctionsAndNodesLieInTheirCells) {
  network_project p;
  p.m->storm_sewer_on = 1;
  given = {{{888, 2, 3}, {999, 4, 2}, {999, 7, 1}}, {{{1, 1}, {1, 2}, {2, 2}}}, 1};
  const std::string out = printed_by([&] { setup_superlink_grid_links(*p.m); });
  ASSERT_EQ(error_state.error_terminate, 0) << out;
  EXPECT_EQ(out, "\n No grid pipe file found \n");
  EXPECT_EQ(p.m->superlink_junc_gnum, (std::vector<int32_t>{0, 5, 4, 0}));  // the last match counts; none gives 0
  EXPECT_EQ(p.m->superlink_node_gnum[1][1], 1);
  EXPECT_EQ(p.m->superlink_node_gnum[2][1], 2);
  EXPECT_EQ(p.m->superlink_node_gnum[3][1], 4);
  EXPECT_EQ(p.m->vol_tile_grid.size(), 6u);
  EXPECT_EQ(p.m->superlink_tile_flow.rows(), 4);

  network_project q;
  q.m->storm_drain_on = 1;
  printed_by([&] { setup_drain_network(*q.m); });
  ASSERT_EQ(error_state.error_terminate, 0);
  EXPECT_EQ(q.m->drain_net->drain_junc_gnum, (std::vector<int32_t>{0, 5, 4, 0}));
  EXPECT_EQ(q.m->drain_net->drain_node_gnum[3][1], 4);
  EXPECT_EQ(q.m->leaky_pipes_on, 1);
  EXPECT_EQ(q.m->drain_net->drain_vol_tile_grid.size(), 6u);
}

TEST(PipeNetworks, PositionsOffTheGridAreRefusedBeforeUse) {
  const struct {
    const char* label;
    fake_network net;
    const char* message;
  } cases[] = {
      {"junction", {{{888, 3, 1}}, {}, 0},
       "Error: superlink junction 1 lies at row 3, column 1, outside the grid of 2 rows and 3 columns\n"},
      {"junction at column 0", {{{5, 1, 0}}, {}, 0},
       "Error: superlink junction 1 lies at row 1, column 0, outside the grid of 2 rows and 3 columns\n"},
      {"node", {{}, {{{1, 1}, {2, 9}}}, 0},
       "Error: superlink link 1 node 2 lies at row 2, column 9, outside the grid of 2 rows and 3 columns\n"},
      {"negative row", {{}, {{{-1, 1}, {1, 1}}}, 0},
       "Error: superlink link 1 node 1 lies at row -1, column 1, outside the grid of 2 rows and 3 columns\n"},
  };
  for (const auto& c : cases) {
    network_project p;
    p.m->storm_sewer_on = 1;
    given = c.net;
    const std::string out = printed_by([&] { setup_superlink_grid_links(*p.m); });
    EXPECT_NE(out.find(c.message), std::string::npos) << c.label << "\n" << out;
    EXPECT_EQ(error_state.error_terminate, 1) << c.label;
  }
}

TEST(PipeNetworks, MissingNetworkFilesStopWithTheirKind) {
  network_project p;
  p.m->storm_sewer_on = 1;
  p.m->storm_sewer_path = "none.txt";
  printed_by([&] { setup_superlink_grid_links(*p.m); });
  EXPECT_EQ(error_state.error_code, 4);
  EXPECT_EQ(error_state.error_file_kind, "superlink input file");
  EXPECT_EQ(error_state.error_file_name, "none.txt");

  network_project q;
  q.m->storm_drain_on = 1;
  q.m->storm_drain_name = "none.txt";
  printed_by([&] { setup_drain_network(*q.m); });
  EXPECT_EQ(error_state.error_code, 4);
  EXPECT_EQ(error_state.error_file_kind, "non superlink drain pipe input file");
  ASSERT_TRUE(q.m->drain_net);  // the record exists on every run
}

TEST(PipeNetworks, DrainOutputHeadingHasAColumnPerOutletJunction) {
  const struct {
    int cfs, long_term;
    const char* heading;
  } cases[] = {
      {0, 0,
       "Outlet Junction Discharges in CMS for overland and channel discharges \n"
       "Elasped Time(min)    Junc 1 Ov        Junc 3 Ch    \n"},
      {1, 1,
       "Outlet Junction Discharges in CFS for overland and channel discharges \n"
       "   Date                Junc 1 Ov        Junc 3 Ch    \n"},
  };
  for (const auto& c : cases) {
    network_project p;
    p.m->storm_drain_on = 1;
    p.m->drain_output_on = 1;
    p.m->drain_out_name = "drain.out";
    p.m->qout_cfs_on = c.cfs;
    p.m->long_term_on = c.long_term;
    given = {{{888, 1, 1}, {5, 1, 2}, {999, 4, 2}}, {}, 0};
    printed_by([&] { setup_drain_network(*p.m); });
    checked_file_close(p.m->drain_out_file);
    EXPECT_EQ(p.dir.read("drain.out"), c.heading);
  }
}

TEST(PipeNetworks, LargeNetworksAreWarnedAboutOnly) {
  network_project p;
  p.m->storm_sewer_on = 1;
  p.m->super_quiet_on = 0;
  given = {};
  given.links.assign(10001, {{1, 1}, {1, 2}});
  const std::string out = printed_by([&] { setup_superlink_grid_links(*p.m); });
  EXPECT_EQ(out,
            "\n No grid pipe file found \nread superlink pipe file, 0 junctions, 10001 links\n"
            "Your superlink network has more than 10,000 links, expect your model to be very slow \n");
  EXPECT_EQ(error_state.error_terminate, 0);
  EXPECT_EQ(p.m->superlink_node_gnum[2][10001], 2);
}

}  // namespace
