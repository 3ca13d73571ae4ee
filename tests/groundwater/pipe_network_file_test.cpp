#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace {

using namespace pluvo;
using pluvo_test::write_file;

// The strip project (2 x 3 cells of 10 m) with a superlink network, and a drain network when
// given; look sees the record once the grids and networks are set up.
pluvo_test::set_up_result read_networks(const std::string& superlinks, const std::string& grid_pipes,
                                        const std::function<void(model_state&)>& look = nullptr,
                                        const std::string& drains = "", const std::string& drain_grid_pipes = "",
                                        const std::string& cards = "") {
  pluvo_test::write_strip_grid();
  std::string extra = "STORM_SEWER s.sl\n" + cards;
  write_file("s.sl", superlinks);
  if (!grid_pipes.empty()) {
    write_file("s.gpi", grid_pipes);
    extra += "GRID_PIPE s.gpi\n";
  }
  if (!drains.empty()) {
    write_file("d.dr", drains);
    extra += "STORM_DRAIN d.dr\n";
  }
  if (!drain_grid_pipes.empty()) {
    write_file("d.gpi", drain_grid_pipes);
    extra += "DRAIN_GRID_PIPE d.gpi\n";
  }
  write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() + extra);
  return pluvo_test::set_up_past_refusal("w.prj", look);
}

// Two superjunctions, the second a boundary, joined by one superlink of one leaky pipe.
const char* one_pipe_network =
    "SJUNC 1 10.2 9.0 1.0 1 1 1 0.6 0.5\n"
    "SJUNC 2 10.0 8.5 1.0 11 1 3 0 0\n"
    "CONNECT 1 1 2\n"
    "SLINK 1 1\n"
    "NODE 1 10.2 9.0 0.0 0 1 1 0 0\n"
    "NODE 2 10.0 8.6 0.0 0 1 3 0 0\n"
    "PIPE 1 1 0.5 0 0.01 0.013 20 0.5 10 1\n";

const char* one_pipe_grid =
    "GRIDPIPEFILE\n"
    "PIPECELLS 2\n"
    "CELLIJ 1 2\n"
    "NUMPIPES 1\n"
    "SPIPE 1 1 100\n"
    "CELLIJ 2 2\n"
    "NUMPIPES 2\n"
    "spipe 1 1 40\n"
    "SPIPE 1 1 60\n";

// Three drain junctions, the last an overland outlet, two links; the second pipe's conductivity
// is 1e-10 cm/h, leaky, with its spacing and a multiplier of 3.
const char* drain_network =
    "SJUNC 1 10.2 9.0 1.0 1 1 1 0.6 0.5\n"
    "SJUNC 2 10.1 8.8 1.0 1 1 2 0.6 0.5\n"
    "SJUNC 3 10.0 8.5 1.0 888 1 3 0 0\n"
    "CONNECT 1 1 2\n"
    "CONNECT 2 2 3\n"
    "SLINK 1 1\n"
    "NODE 1 10.2 9.0 0 0 1 1 0 0\n"
    "NODE 2 10.1 8.8 0 0 1 2 0 0\n"
    "PIPE 1 1 0.3 0 0.01 0.013 10 1e-20 0 0\n"
    "SLINK 2 1\n"
    "NODE 1 10.1 8.8 0 0 1 2 0 0\n"
    "NODE 2 10.0 8.5 0 0 1 3 0 0\n"
    "PIPE 1 3 0.3 0.6 0.01 0.013 10 1e-10 5 3\n";

TEST(PipeNetworkFiles, BothNetworksAreReadThroughTheProject) {
  pluvo_test::scratch_dir dir;
  int bound1 = -1, bound2 = -1, gpi_cells = 0, gpi_max = 0, leaky = 0, drain_leaky = 0, drain_cells = 0;
  double pct = 0.0, multiplier = 0.0, drain_width = 0.0;
  std::vector<int> gnum;
  const pluvo_test::set_up_result r = read_networks(
      one_pipe_network, one_pipe_grid,
      [&](model_state& m) {
        bound1 = m.bound[1];
        bound2 = m.bound[2];
        leaky = m.leaky_pipes_on;
        gpi_cells = m.gpi_num_cells;
        gpi_max = m.gpi_max_pipes;
        pct = m.gpi_pct[2][2];
        gnum = {m.gpi_gnum[1][1], m.gpi_gnum[2][1], m.gpi_gnum[2][2]};
        const drain_network_record& d = *m.drain_net;
        drain_leaky = d.leaky_pipes;
        multiplier = d.multiplier[1][2];
        drain_width = d.width[1][2];
        drain_cells = d.gpi_num_cells;
      },
      drain_network, "GRIDPIPEFILE\nPIPECELLS 1\nCELLIJ 1 2\nNUMPIPES 1\nSPIPE 2 1 100\n");
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_NE(r.out.find("read superlink pipe file, 2 junctions, 1 links\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("read drain pipe file, 3 junctions, 2 links\n"), std::string::npos) << r.out;
  EXPECT_EQ(bound1, 0);
  EXPECT_EQ(bound2, 1);  // inlet type 11 is a boundary
  EXPECT_EQ(leaky, 1);
  EXPECT_EQ(gpi_cells, 2);
  EXPECT_EQ(gpi_max, 2);
  EXPECT_EQ(pct, 60.0);
  EXPECT_EQ(gnum, (std::vector<int>{2, 5, 5}));
  EXPECT_EQ(drain_leaky, 1);  // 1e-10 leaks, 1e-20 does not
  EXPECT_EQ(multiplier, 3.0);
  EXPECT_EQ(drain_width, 0.6);
  EXPECT_EQ(drain_cells, 1);
}

// With SUPERLINK_C_OPT each superlink is cut into computational pipes: a single pipe into four or
// six pieces, a superlink of several pipes gets a short pipe at an end whose pipe is long.
TEST(PipeNetworkFiles, RefinementPiecesAndInverts) {
  pluvo_test::scratch_dir dir;
  std::string file = "SJUNC 1 20 10 1 0 1 1 0 0\nSJUNC 2 20 0 1 11 1 3 0 0\n";
  struct link {
    std::vector<double> lengths;
    std::vector<double> pieces;
  };
  const std::vector<link> links = {
      {{5}, {1.25, 1.25, 1.25, 1.25}},
      {{20}, {1, 4.5, 4.5, 4.5, 4.5, 1}},
      {{300}, {2, 74, 74, 74, 74, 2}},
      {{800}, {10, 195, 195, 195, 195, 10}},
      {{30, 370}, {10, 20, 360, 10}},
      {{15, 385}, {15, 375, 10}},
  };
  for (size_t l = 1; l <= links.size(); ++l) {
    const std::vector<double>& len = links[l - 1].lengths;
    file += "CONNECT " + std::to_string(l) + " 1 2\nSLINK " + std::to_string(l) + " " + std::to_string(len.size()) + "\n";
    // Inverts fall from 10 to 0 along the superlink, linearly with distance.
    double total = 0, at = 0;
    for (double x : len) total += x;
    for (size_t n = 0; n <= len.size(); ++n) {
      file += "NODE " + std::to_string(n + 1) + " 20 " + std::to_string(10.0 - 10.0 * at / total) + " 0 0 1 2 0 0\n";
      if (n < len.size()) at += len[n];
    }
    for (size_t p = 0; p < len.size(); ++p)
      file += "PIPE " + std::to_string(p + 1) + " 1 0.5 0 0.01 0.013 " + std::to_string(len[p]) + " 0 0 0\n";
  }
  std::vector<std::vector<double>> got, inverts;
  int widest = 0;
  const pluvo_test::set_up_result r = read_networks(
      file, "",
      [&](model_state& m) {
        for (int l = 1; l <= m.num_superlinks; ++l) {
          std::vector<double> pieces, z;
          for (int p = 1; p <= m.superlink_cnodes[size_t(l)]; ++p) pieces.push_back(m.dxc[p][l]);
          for (int n = 1; n <= m.superlink_cnodes[size_t(l)] + 1; ++n) z.push_back(m.slink_node_Zinv[n][l]);
          got.push_back(pieces);
          inverts.push_back(z);
        }
        widest = m.num_superlink_nodes;
      },
      "", "", "SUPERLINK_C_OPT\n");
  ASSERT_FALSE(r.stopped) << r.out;
  ASSERT_EQ(got.size(), links.size());
  for (size_t l = 0; l < links.size(); ++l) {
    ASSERT_EQ(got[l].size(), links[l].pieces.size()) << "superlink " << l + 1;
    double total = 0, at = 0;
    for (double x : links[l].pieces) total += x;
    for (size_t p = 0; p < got[l].size(); ++p) {
      EXPECT_NEAR(got[l][p], links[l].pieces[p], 1e-9) << "superlink " << l + 1 << " pipe " << p + 1;
      EXPECT_NEAR(inverts[l][p], 10.0 - 10.0 * at / total, 1e-5) << "superlink " << l + 1 << " node " << p + 1;
      at += links[l].pieces[p];
    }
    EXPECT_NEAR(inverts[l].back(), 0.0, 1e-9);
  }
  EXPECT_EQ(widest, 6);
  EXPECT_NE(r.out.find("Your first node in Superlink 5 is greater than 10.000000 from the SuperNode \n"
                       "PLUVO has added a new node 10.000000 m from the beginnig of this pipe  \n \n"),
            std::string::npos);
  EXPECT_EQ(r.out.find("Your first node in Superlink 6"), std::string::npos);
  EXPECT_NE(r.out.find("Your last node in Superlink 6 is greater than 10.000000"), std::string::npos);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

TEST(PipeNetworkFiles, BadLinesStopWithTheirMessages) {
  struct row {
    const char* name;
    std::string network;
    std::string grid;
    const char* message;
    bool stops;
  };
  const std::string pipe = "PIPE 1 1 0.5 0 0.01 0.013 20 0.5 10 1\n";
  const std::vector<row> rows = {
      {"section_kind_4", replaced(one_pipe_network, pipe, "PIPE 1 4 0.5 0 0.01 0.013 20 0.5 10 1\n"), one_pipe_grid,
       "Error: pipe cross-section type not valid: node 1 link 1.\n", true},
      {"no_roughness", replaced(one_pipe_network, pipe, "PIPE 1 1 0.5 0 0.01 0 20 0.5 10 1\n"), one_pipe_grid,
       "Error: pipe roughness value not valid: node 1 link 1.\n", true},
      {"leaky_without_spacing", replaced(one_pipe_network, pipe, "PIPE 1 1 0.5 0 0.01 0.013 20 0.5 0 1\n"),
       one_pipe_grid, "Error: drain spacing cannot be zero if pipe conductivity greater than zero: node 1 link 1.\n",
       true},
      {"negative_slope", replaced(one_pipe_network, pipe, "PIPE 1 1 0.5 0 -0.01 0.013 20 0.5 10 1\n"),
       one_pipe_grid, "Warning: pipe slope is negative: node 1 link 1\n", false},
      {"no_length", replaced(one_pipe_network, pipe, "PIPE 1 1 0.5 0 0.01 0.013 0 0.5 10 1\n"), one_pipe_grid,
       "Error: pipe length is zero or negative: node 1 link 1.\n", true},
      {"invert_above_ground", replaced(one_pipe_network, "NODE 2 10.0 8.6", "NODE 2 10.0 10.6"), one_pipe_grid,
       "WARNING: ground elevation less than node bottom. superlink 1, node 2\n", false},
      {"junction_beyond_count", replaced(one_pipe_network, "SJUNC 2 ", "SJUNC 3 "), one_pipe_grid,
       "Error: junction 3 on line 2 of s.sl is outside 1..2.\n", true},
      {"link_to_missing_junction", replaced(one_pipe_network, "CONNECT 1 1 2", "CONNECT 1 1 9"), one_pipe_grid,
       "Error: junction 9 on line 3 of s.sl is outside 1..2.\n", true},
      {"node_beyond_its_link", replaced(one_pipe_network, "NODE 2 ", "NODE 3 "), one_pipe_grid,
       "Error: node 3 on line 6 of s.sl is outside 1..2.\n", true},
      {"pipe_beyond_its_link", replaced(one_pipe_network, "PIPE 1 ", "PIPE 2 "), one_pipe_grid,
       "Error: pipe 2 on line 7 of s.sl is outside 1..1.\n", true},
      {"junction_off_the_grid", replaced(one_pipe_network, "SJUNC 1 10.2 9.0 1.0 1 1 1", "SJUNC 1 10.2 9.0 1.0 1 3 1"),
       one_pipe_grid, "Error: junction 1 on line 1 of s.sl lies at row 3, column 1, outside the grid of 2 rows and 3 "
                      "columns.\n",
       true},
      {"grid_pipes_without_pipecells", one_pipe_network, "GRIDPIPEFILE\nCELLIJ 1 2\n",
       "The second card in the grid-pipe file must be PIPECELLS\nFile format error, program terminating.\n", true},
      {"grid_pipes_count_0", one_pipe_network, "GRIDPIPEFILE\nPIPECELLS 0\n",
       "The number of PIPECELLS in the gridpipe (.gpi) file\nmust be greater than 0.  File format error, program "
       "terminating\n",
       true},
      {"grid_pipe_cell_off_the_grid", one_pipe_network, replaced(one_pipe_grid, "CELLIJ 2 2", "CELLIJ 2 4"),
       "Error: grid-pipe cell 2 on line 6 of s.gpi lies at row 2, column 4, outside the grid of 2 rows and 3 "
       "columns.\n",
       true},
      {"grid_pipe_entries_beyond_numpipes", one_pipe_network, std::string(one_pipe_grid) + "SPIPE 1 1 5\n",
       "Error: SPIPE entry 3 on line 10 of s.gpi is outside 1..2.\n", true},
      {"grid_pipe_on_missing_superlink", one_pipe_network, replaced(one_pipe_grid, "SPIPE 1 1 100", "SPIPE 4 1 100"),
       "Error: superlink 4 on line 5 of s.gpi is outside 1..1.\n", true},
      {"grid_pipes_without_heading", one_pipe_network, "PIPECELLS 1\n",
       "Error: The grid-pipe file s.gpi must begin with GRIDPIPEFILE; its first line is \"PIPECELLS 1\".\n", true},
      {"grid_pipe_file_empty", one_pipe_network, "\n",
       "Error: The grid-pipe file s.gpi must begin with GRIDPIPEFILE; its first line is \"\".\n", true},
      {"grid_pipe_cells_of_a_billion", one_pipe_network, replaced(one_pipe_grid, "PIPECELLS 2", "PIPECELLS 1000000000"),
       "Error: PIPECELLS 1000000000 on line 2 of s.gpi is outside 1..6.\n", true},
      {"grid_pipe_count_of_a_billion", one_pipe_network, replaced(one_pipe_grid, "NUMPIPES 2", "NUMPIPES 1000000000"),
       "Error: NUMPIPES 1000000000 on line 7 of s.gpi is outside 0..3 (the SPIPE lines of the file).\n", true},
      {"superlink_pipe_count_of_a_billion", replaced(one_pipe_network, "SLINK 1 1", "SLINK 1 1000000000"),
       one_pipe_grid, "Error: pipe count 1000000000 on line 4 of s.sl is outside 1..1 (the PIPE lines of the file).\n",
       true},
      {"pipe_length_nan", replaced(one_pipe_network, pipe, "PIPE 1 1 0.5 0 0.01 0.013 nan 0.5 10 1\n"), one_pipe_grid,
       "Error: pipe 1 of superlink 1 on line 7 of s.sl gives nan; every number of a PIPE line must be finite.\n", true},
      {"junction_area_minus_one", replaced(one_pipe_network, "SJUNC 1 10.2 9.0 1.0", "SJUNC 1 10.2 9.0 -1"),
       one_pipe_grid,
       "Error: junction 1 on line 1 of s.sl gives ground 10.2 m, invert 9 m and plan area -1 m2; the elevations must "
       "be finite and the area above 0 and at most 1e+06 m2.\n",
       true},
      {"superlink_joining_a_junction_to_itself", replaced(one_pipe_network, "CONNECT 1 1 2", "CONNECT 1 2 2"),
       one_pipe_grid,
       "Error: superlink 1 on line 3 of s.sl joins junction 2 to itself; its two ends must be two junctions.\n",
       true},
      {"grid_pipe_file_missing", one_pipe_network, "",
       "\n Since you have leaky pipes you must include the GRID_PIPE card and grid pipe input file in your project "
       "file",
       true},
  };
  for (const row& c : rows) {
    pluvo_test::scratch_dir dir;
    const pluvo_test::set_up_result r = read_networks(c.network, c.grid);
    EXPECT_NE(r.out.find(c.message), std::string::npos) << c.name << ":\n" << r.out;
    EXPECT_EQ(r.stopped, c.stops) << c.name << ":\n" << r.out;
  }
}

// A line that is neither NODE nor PIPE ends a SLINK block and is dropped; the line after it is
// read as a card of its own, and the NODE and PIPE lines after that belong to no block.
TEST(PipeNetworkFiles, CommentEndsALinkBlock) {
  pluvo_test::scratch_dir dir;
  const std::string file = replaced(one_pipe_network, "NODE 2 ", "# the outlet end\nCONNECT 1 2 1\nNODE 2 ");
  int us = 0, ds = 0;
  double invert = -1.0, length = -1.0;
  const pluvo_test::set_up_result r = read_networks(file, one_pipe_grid, [&](model_state& m) {
    us = m.us_sjunc[1];
    ds = m.ds_sjunc[1];
    invert = m.slink_node_Zinv[2][1];
    length = m.dx[1][1];
  });
  EXPECT_EQ(us, 2);
  EXPECT_EQ(ds, 1);
  EXPECT_EQ(invert, 0.0);
  EXPECT_EQ(length, 0.0);
}

}  // namespace
