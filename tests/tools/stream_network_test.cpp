// The stream network generator: the files it writes are read back as the channel reader will
// read them, and the network they describe is checked for what the routing relies on.
#include "stream_network.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/scratch_dir.hpp"

namespace pluvo::netgen {
namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

ascii_grid grid_from(const scratch_dir& dir, const std::string& name, const std::string& text) {
  std::ofstream(dir.path(name)) << text;
  ascii_grid g;
  std::string error;
  EXPECT_TRUE(read_ascii_grid(dir.path(name), g, error)) << error;
  return g;
}

// The network as the channel and grid-stream files state it.
struct read_back {
  int links = 0, max_nodes = 0;
  std::vector<int> ds, nodes;                 // per link; nodes = NODES card
  std::vector<std::vector<int>> us;
  std::vector<std::vector<double>> elev;      // file nodes, in order
  std::map<std::pair<int, int>, double> cell_share;            // (row, col) -> shares summed
  std::map<std::pair<int, int>, int> cell_entries;             // CELLIJ cards per cell
  std::map<std::pair<int, int>, int> node_entries;             // LINKNODE per (link, node)
};

read_back parse(const std::string& chn, const std::string& stm) {
  read_back r;
  std::istringstream in(chn);
  std::string line;
  int link = 0;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string card;
    words >> card;
    if (card == "LINKS") {
      words >> r.links;
      r.ds.assign(r.links + 1, -1), r.nodes.assign(r.links + 1, 0);
      r.us.assign(r.links + 1, {}), r.elev.assign(r.links + 1, {});
    } else if (card == "MAXNODES") {
      words >> r.max_nodes;
    } else if (card == "CONNECT") {
      int l, d, n;
      words >> l >> d >> n;
      r.ds.at(l) = d;
      for (int k = 0, u; k < n && words >> u;) r.us.at(l).push_back(u), ++k;
    } else if (card == "LINK") {
      words >> link;
    } else if (card == "NODES") {
      words >> r.nodes.at(link);
    } else if (card == "ELEV") {
      double e;
      words >> e;
      r.elev.at(link).push_back(e);
    }
  }
  std::istringstream gs(stm);
  std::pair<int, int> cell{0, 0};
  while (std::getline(gs, line)) {
    std::istringstream words(line);
    std::string card;
    words >> card;
    if (card == "CELLIJ") {
      words >> cell.first >> cell.second;
      ++r.cell_entries[cell];
    } else if (card == "LINKNODE") {
      int l, n;
      double share;
      words >> l >> n >> share;
      r.cell_share[cell] += share;
      ++r.node_entries[{l, n}];
    }
  }
  return r;
}

// Every stream cell once in the grid-stream file with its whole share, every computational node
// once; links numbered downstream-higher with the outlet LINKS; beds falling strictly along every
// path (computational nodes sit midway between the file's nodes); at least 2 nodes a link.
void expect_sound(const stream_network& net) {
  const read_back r = parse(channel_file_text(net), grid_stream_file_text(net));
  ASSERT_GE(r.links, 1);
  std::set<std::pair<int, int>> stream;
  for (int i = 0; i < net.mask.rows * net.mask.cols; ++i)
    if (net.upstream_cells[i] >= net.threshold) stream.insert({i / net.mask.cols + 1, i % net.mask.cols + 1});
  EXPECT_EQ(static_cast<int>(stream.size()), net.stream_cells);
  EXPECT_EQ(r.cell_entries.size(), stream.size());
  for (const auto& [cell, count] : r.cell_entries) {
    EXPECT_TRUE(stream.count(cell)) << cell.first << " " << cell.second;
    EXPECT_EQ(count, 1);
    EXPECT_NEAR(r.cell_share.at(cell), 1.0, 1e-12);
  }
  EXPECT_EQ(r.ds[r.links], 0);
  int largest = 0;
  for (int l = 1; l <= r.links; ++l) {
    largest = std::max(largest, r.nodes[l]);
    if (l < r.links) {
      EXPECT_GT(r.ds[l], l) << "link " << l;
    }
    for (int u : r.us[l]) EXPECT_EQ(r.ds[u], l);
    for (int m = 1; m <= r.links; ++m) {
      if (r.ds[m] == l) {
        EXPECT_TRUE(std::count(r.us[l].begin(), r.us[l].end(), m));
      }
    }
    ASSERT_GE(r.nodes[l], 3) << "link " << l;
    ASSERT_EQ(static_cast<int>(r.elev[l].size()), r.nodes[l]);
    std::vector<double> bel;
    for (int k = 0; k + 1 < r.nodes[l]; ++k) {
      bel.push_back((r.elev[l][k] + r.elev[l][k + 1]) / 2);
      EXPECT_EQ(r.node_entries.count({l, k + 1}), 1u) << "link " << l << " node " << k + 1;
    }
    for (size_t k = 1; k < bel.size(); ++k) EXPECT_LT(bel[k], bel[k - 1]) << "link " << l;
    if (r.ds[l] > 0) {
      EXPECT_GT(bel.back(), (r.elev[r.ds[l]][0] + r.elev[r.ds[l]][1]) / 2) << "link " << l;
    }
  }
  EXPECT_EQ(r.max_nodes, largest);
  EXPECT_EQ(r.node_entries.size(), static_cast<size_t>(
      [&] { int s = 0; for (int l = 1; l <= r.links; ++l) s += r.nodes[l] - 1; return s; }()));
}

const char* header(int rows, int cols, double cs) {
  static char buf[256];
  std::snprintf(buf, sizeof buf, "north: %.2f\nsouth: 0.00\neast: %.2f\nwest: 0.00\nrows: %d\ncols: %d\n",
                rows * cs, cols * cs, rows, cols);
  return buf;
}

TEST(StreamNetwork, VBasinAtEveryThreshold) {
  scratch_dir dir;
  const int rows = 12, cols = 9;
  std::string m = header(rows, cols, 100), e = m;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      m += "1 ";
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.3f ", 100.0 - 5.0 * r + 3.0 * std::abs(c - 4) + 0.01 * c);
      e += buf;
    }
    m += "\n", e += "\n";
  }
  const ascii_grid mask = grid_from(dir, "v.msk", m), ele = grid_from(dir, "v.ele", e);
  for (long threshold : {1L, 2L, 3L, 5L, 12L, 40L, 108L}) {
    SCOPED_TRACE(threshold);
    stream_network net;
    std::string error;
    ASSERT_TRUE(build_stream_network(mask, ele, {threshold, 0.0005, 0.035}, net, error)) << error;
    EXPECT_EQ(net.upstream_cells[(rows - 1) * cols + 4], rows * cols);  // all drain to the outlet
    expect_sound(net);
  }
}

const char* const chn_expected = R"(PLUVO_CHAN
# make_stream_network: threshold 1 cells, minimum bed slope 0.0005, Manning's n 0.035
ALPHA 0.5
BETA 0.9
THETA 1.0
LINKS 3
MAXNODES 3

CONNECT 1 3 0
CONNECT 2 3 0
CONNECT 3 0 2 1 2

LINK 1
TRAPEZOID
DX 7.071068
NODES 3
MANNINGS_N 0.035000
NODE 1
X_Y 0.00 30.00
ELEV 9.403702
XSEC
MANNINGS_N 0.035000
BOTTOM_WIDTH 0.037678
BANKFULL_DEPTH 0.118867
SIDE_SLOPE 1.000000
NODE 2
X_Y 5.00 25.00
ELEV 7.881133
NODE 3
X_Y 10.00 20.00
ELEV 5.849727

LINK 2
TRAPEZOID
DX 12.071068
NODES 3
MANNINGS_N 0.035000
NODE 1
X_Y 25.00 40.00
ELEV 9.863458
XSEC
MANNINGS_N 0.035000
BOTTOM_WIDTH 0.049717
BANKFULL_DEPTH 0.136542
SIDE_SLOPE 1.000000
NODE 2
X_Y 30.00 30.00
ELEV 7.863458
NODE 3
X_Y 20.00 20.00
ELEV 5.849727

LINK 3
TRAPEZOID
DX 12.071068
NODES 3
MANNINGS_N 0.035000
NODE 1
X_Y 15.00 20.00
ELEV 5.849727
XSEC
MANNINGS_N 0.035000
BOTTOM_WIDTH 0.071726
BANKFULL_DEPTH 0.164004
SIDE_SLOPE 1.000000
NODE 2
X_Y 10.00 0.00
ELEV 4.335996
NODE 3
X_Y 20.00 10.00
ELEV 3.335996
)";

const char* const stm_expected = R"(GRIDSTREAMFILE
STREAMCELLS 5
CELLIJ 2 1
NUMNODES 2
LINKNODE 1 1 0.5000
LINKNODE 1 2 0.5000
CELLIJ 1 3
NUMNODES 1
LINKNODE 2 1 1.0000
CELLIJ 2 3
NUMNODES 1
LINKNODE 2 2 1.0000
CELLIJ 3 2
NUMNODES 1
LINKNODE 3 1 1.0000
CELLIJ 4 2
NUMNODES 1
LINKNODE 3 2 1.0000
)";

// Two arms meet above a two-cell outlet reach; the one-cell arm carries two nodes on its cell.
TEST(StreamNetwork, SmallBasinFilesByteForByte) {
  scratch_dir dir;
  const std::string h = header(4, 3, 10);
  const ascii_grid mask = grid_from(dir, "y.msk", h + "0 0 1\n1 0 1\n0 1 0\n0 1 0\n");
  const ascii_grid ele = grid_from(dir, "y.ele", h + "0 0 9\n8 0 7\n0 5 0\n0 4 0\n");
  stream_network net;
  std::string error;
  ASSERT_TRUE(build_stream_network(mask, ele, {1, 0.0005, 0.035}, net, error)) << error;
  expect_sound(net);
  EXPECT_EQ(channel_file_text(net), chn_expected);
  EXPECT_EQ(grid_stream_file_text(net), stm_expected);
  EXPECT_EQ(link_map_text(net), h + "0 0 2\n1 0 2\n0 3 0\n0 3 0\n");
  EXPECT_EQ(node_map_text(net), h + "0 0 1\n1 0 2\n0 1 0\n0 2 0\n");
}

// The demo basin's committed network is what the generator writes for it at 8 cells.
TEST(StreamNetwork, DemoBasinMatchesItsCommittedFiles) {
  const std::string demo = PLUVO_TEST_DATA "/../examples/demo/";
  ascii_grid mask, ele;
  std::string error;
  ASSERT_TRUE(read_ascii_grid(demo + "luxa.msk", mask, error)) << error;
  ASSERT_TRUE(read_ascii_grid(demo + "luxa.ele", ele, error)) << error;
  for (long threshold : {2L, 4L, 8L, 30L}) {
    SCOPED_TRACE(threshold);
    stream_network net;
    ASSERT_TRUE(build_stream_network(mask, ele, {threshold, 0.0005, 0.035}, net, error)) << error;
    EXPECT_EQ(net.links.back().cells.back(), 18 * 28 + 26);  // OUTROW 19, OUTCOL 27
    expect_sound(net);
    if (threshold != 8) continue;
    EXPECT_EQ(net.links.size() - 1, 40u);
    EXPECT_EQ(net.stream_cells, 97);
    EXPECT_EQ(channel_file_text(net), slurp(demo + "luxa.chn"));
    EXPECT_EQ(grid_stream_file_text(net), slurp(demo + "luxa.stm"));
    EXPECT_EQ(link_map_text(net), slurp(demo + "luxa.lnk"));
    EXPECT_EQ(node_map_text(net), slurp(demo + "luxa.nod"));
  }
}

TEST(StreamNetwork, RefusesWhatItCannotDrain) {
  scratch_dir dir;
  const std::string h = header(2, 3, 10);
  const ascii_grid mask = grid_from(dir, "m.msk", h + "1 1 1\n1 1 1\n");
  const ascii_grid one_pit = grid_from(dir, "a.ele", h + "5 4 3\n5 4 2\n");
  const ascii_grid two_pits = grid_from(dir, "b.ele", h + "1 4 1\n5 4 5\n");
  const ascii_grid other_grid = grid_from(dir, "c.ele", header(2, 2, 10) + std::string("1 2\n3 4\n"));
  struct row { const ascii_grid* ele; long threshold; const char* message; };
  const row rows[] = {
      {&one_pit, 7, "no cell drains 7 cells; the basin has 6"},
      {&two_pits, 1, "the basin has 2 cells without a lower neighbour inside it; fill its sinks so one outlet remains"},
      {&other_grid, 1, "the elevation grid does not cover the mask's grid"},
      {&one_pit, 0, "threshold, minimum slope and Manning's n must be positive"},
  };
  for (const row& r : rows) {
    stream_network net;
    std::string error;
    EXPECT_FALSE(build_stream_network(mask, *r.ele, {r.threshold, 0.0005, 0.035}, net, error));
    EXPECT_EQ(error, r.message);
  }
  stream_network net;
  std::string error;
  ASSERT_TRUE(build_stream_network(mask, one_pit, {6, 0.0005, 0.035}, net, error)) << error;
  expect_sound(net);  // a one-cell network still has two nodes
}

}  // namespace
}  // namespace pluvo::netgen
