// The channel input file and the grid-stream file read through the real project reader: the
// demo basin's network, a small network with every kind of link, and every refusal.
#include "channel/channel_input.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "channel/channel_routines.hpp"
#include "common/error_state.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::read_file;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

struct network_read {
  std::string out;
  bool stopped = false;
};

// Reads the channel file (and grid-stream file) of a project through the real reader, as the
// network set-up does; look sees the record when the reading succeeded.
network_read read_network(const std::string& project_cards, const std::function<void(const model_state&)>& look) {
  write_file("c.prj", "PLUVOPROJECT\n" + project_cards);
  bool failed = false;
  const pluvo_test::set_up_result r = pluvo_test::set_up_past_refusal("c.prj", [&](model_state& m) {
    // The network set-up may have read the file already.
    if (m.nlinks == 0) {
      pluvo::read_chan_input(m);
      if (pluvo::error_state.error_code > 0) pluvo::report_error(pluvo::error_state);
      failed = pluvo::error_state.error_terminate != 0;
    }
    if (!failed && look) look(m);
  });
  return {r.out, r.stopped || failed};
}

network_read read_strip_network(const std::string& chn, const std::string& stm,
                                const std::function<void(const model_state&)>& look = nullptr) {
  pluvo_test::write_strip_grid();
  write_file("c.chn", chn);
  write_file("c.stm", stm);
  return read_network(pluvo_test::strip_cards() + "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\n", look);
}

// Two trapezoidal links, 1 into 2, on the 2 x 3 strip: link 1 along row 1, link 2 along row 2.
const char* two_link_file =
    "PLUVO_CHAN\n"
    "ALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 2\nMAXNODES 4\n"
    "CONNECT 1 2 0\n"
    "CONNECT 2 0 1 1\n"
    "# link 1\n"
    "LINK 1\nTRAPEZOID\nDX 10\nNODES 4\nMANNINGS_N 0.04\n"
    "NODE 1\nX_Y 5 25\nELEV 10.0\n"
    "NODE 2\nELEV 9.8\nXSEC\nMANNINGS_N 0.04\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1.5\n"
    "NODE 3\nELEV 9.6\n"
    "NODE 4\nELEV 9.4\n"
    "LINK 2\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.05\n"
    "NODE 1\nELEV 9.4\nXSEC\nBOTTOM_WIDTH 3\nBANKFULL_DEPTH 1.2\nSIDE_SLOPE 2\n"
    "NODE 2\nELEV 9.2\n"
    "NODE 3\nELEV 9.0\n";

const char* two_link_stream =
    "GRIDSTREAMFILE\nSTREAMCELLS 5\n"
    "CELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1.0\n"
    "CELLIJ 1 2\nNUMNODES 1\nLINKNODE 1 2 1.0\n"
    "CELLIJ 1 3\nNUMNODES 1\nLINKNODE 1 3 1.0\n"
    "CELLIJ 2 3\nNUMNODES 2\nLINKNODE 2 1 0.5\nLINKNODE 2 2 0.5\n"
    "CELLIJ 2 2\nNUMNODES 0\n";

TEST(ChannelInput, ClassifiesCardsAndCutsTheWord) {
  const std::vector<std::pair<const char*, int>> cases = {
      {"  \tTRAPEZOID_ERODE_SUBSURFACE x", 13}, {"k_river 0.1", 26}, {"Gw_Bed_Thickness 2", 27},
      {"X1 1,2", 39},  {"", 78}, {"# comment", 78}, {"LINKSX 3", 78}, {"pumpto 1 2 TS pump", 75},
      {"BACKWATER", 77}, {"SUBSURFACE_TRAP_ERODE", 13}, {"BREAKPOINT_ERODE_SUBSURFACE", 17}};
  for (const auto& [text, code] : cases) {
    char line[64];
    std::strcpy(line, text);
    EXPECT_EQ(pluvo::classify_chan_card(line), code) << text;
  }
  char line[] = "  LINKNODE\t2 3 0.5";
  EXPECT_EQ(pluvo::classify_chan_card(line), pluvo::chan_card_linknode);
  EXPECT_STREQ(line, "\t2 3 0.5");
}

TEST(ChannelInput, TwoTrapezoidLinksReadIntoTheRecord) {
  scratch_dir dir;
  std::vector<double> bel, bottom, sslope;
  std::vector<int> nx, dslink, gnum, extents;
  bool same_surface = false;
  int ndep2 = 0, up2 = 0, entries = 0;
  double inv_n2 = 0, lnx = 0, pct = 0;
  const network_read r = read_strip_network(two_link_file, two_link_stream, [&](const model_state& m) {
    const int e = m.chan_node_extent;
    extents = {e, m.chan_link_extent, m.chan_slot_count, m.num_xsec_tables, int(m.og_dslink.size())};
    same_surface = true;
    for (int l = 1; l <= m.nlinks; ++l)
      for (int k = 1; k <= m.nx[l]; ++k) same_surface = same_surface && m.yp[l * e + k] == m.bel[l * e + k];
    for (int k = 1; k <= 3; ++k) bel.push_back(m.bel[1 * e + k]);
    for (int k = 1; k <= 2; ++k) bel.push_back(m.bel[2 * e + k]);
    for (int k = 1; k <= 4; ++k) bottom.push_back(m.bottom[1 * e + k]), sslope.push_back(m.sslope[1 * e + k]);
    nx = {m.nx[1], m.nx[2], m.nx1[1], m.nx1[2], m.og_nx1[1]};
    dslink = {m.dslink[1], m.dslink[2]};
    ndep2 = m.ndep[2];
    up2 = m.uslinks[2][1];
    inv_n2 = m.inv_mannings_n[2];
    lnx = m.lnx[1 * e + 1];
    entries = m.gst_max_entries;
    for (int c = 1; c <= m.gst_num_cells; ++c)
      for (int k = 1; k <= m.gst_ncellsingrid[c]; ++k) gnum.push_back(m.gst_gnum[c][k]);
    pct = m.gst_pct[4][2];
  });
  EXPECT_FALSE(r.stopped) << r.out;
  EXPECT_EQ(r.out.find("rror"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("WARNING"), std::string::npos) << r.out;
  // Beds averaged onto the computational nodes, midway between the file's nodes.
  const std::vector<double> expected_bel = {9.9, 9.7, 9.5, 9.3, 9.1};
  ASSERT_EQ(bel.size(), expected_bel.size());
  for (size_t k = 0; k < bel.size(); ++k) EXPECT_NEAR(bel[k], expected_bel[k], 1e-12) << k;
  // No tables without break-point links; the copies as read only for networks with lakes.
  EXPECT_EQ(extents, (std::vector<int>{5, 3, 15, 0, 0}));
  EXPECT_TRUE(same_surface);
  EXPECT_EQ(bottom, std::vector<double>(4, 2.0));
  EXPECT_EQ(sslope, std::vector<double>(4, 1.5));
  EXPECT_EQ(nx, (std::vector<int>{3, 2, 4, 3, 3}));
  EXPECT_EQ(dslink, (std::vector<int>{2, 0}));
  EXPECT_EQ(ndep2, 1);
  EXPECT_EQ(up2, 1);
  EXPECT_DOUBLE_EQ(inv_n2, 20.0);
  EXPECT_EQ(lnx, 5.0);
  EXPECT_EQ(entries, 2);
  EXPECT_EQ(gnum, (std::vector<int>{1, 2, 3, 6, 6}));
  EXPECT_EQ(pct, 0.5);
  const std::string block =
      "\n\nChannel input data:\n"
      "  max. number of u.s. dependencies:      1\n"
      "  number of trapezoidal links:           2\n"
      "    num w/ subsurface attribute:           0\n"
      "    num w/ erodible attribute:             0\n"
      "  number of breakpoint links:            0\n"
      "    num w/ subsurface attribute:           0\n"
      "    num w/ erodible attribute:             0\n"
      "    max number of xsec in any bp link:     0\n"
      "    max number of xsec pairs:              0\n"
      "  number of lake links:                  0\n"
      "  number of hydraulic structure links:   0\n"
      "    total no. of hydr. structure elements: 0\n"
      "  number of groundwater links:           0\n"
      "Finished reading non-orthogonal channel information from gst file.\n";
  EXPECT_NE(r.out.find(block), std::string::npos) << r.out;
}

// The generator's network of the demo basin reads without a message, and every stream cell of
// its link map is one grid-stream cell feeding one computational node.
TEST(ChannelInput, DemoBasinNetworkReadsWhole) {
  scratch_dir dir;
  const std::string demo = std::string(PLUVO_TEST_DATA) + "/../examples/demo/";
  std::set<int> stream_cells;     // cells of the link map
  std::vector<int> gst_cells;     // cell of every grid-stream cell
  std::map<std::pair<int, int>, int> node_entries;
  std::map<std::pair<int, int>, int> computational;
  int links = 0;
  const network_read r = read_network(
      "WATERSHED_MASK " + demo + "luxa.msk\nELEVATION " + demo + "luxa.ele\nGRIDSIZE 500\nROWS 33\nCOLS 28\n"
      "OUTROW 19\nOUTCOL 27\nOUTSLOPE 0.022\nTIMESTEP 30\nTOT_TIME 60\nPRECIP_UNIF\nRAIN_INTENSITY 10\n"
      "RAIN_DURATION 30\nMANNING_N 0.05\nOVERTYPE 1\nHYD_FREQ 15\nMAP_FREQ 60\nSUMMARY d.sum\nOUTLET_HYDRO d.hyd\n"
      "CHAN_EXPLIC\nCHANNEL_INPUT " + demo + "luxa.chn\nSTREAM_CELL " + demo + "luxa.stm\n",
      [&](const model_state& m) {
        std::istringstream map(read_file(demo + "luxa.lnk"));
        std::string header;
        for (int k = 0; k < 6; ++k) std::getline(map, header);
        for (int row = 1; row <= 33; ++row)
          for (int col = 1; col <= 28; ++col) {
            int link = 0;
            map >> link;
            if (link > 0) stream_cells.insert(m.cell_number_grid(row, col));
          }
        links = m.nlinks;
        for (int c = 1; c <= m.gst_num_cells; ++c) {
          gst_cells.push_back(m.gst_gnum[c][1]);
          for (int k = 1; k <= m.gst_ncellsingrid[c]; ++k) ++node_entries[{m.gst_link[c][k], m.gst_node[c][k]}];
        }
        for (int l = 1; l <= m.nlinks; ++l)
          for (int k = 1; k <= m.nx[l]; ++k) computational[{l, k}] = 1;
      });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_EQ(links, 40);
  EXPECT_EQ(r.out.find("rror"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("WARNING"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n\nChannel input data:\n  max. number of u.s. dependencies:      3\n"
                       "  number of trapezoidal links:           40\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(std::set<int>(gst_cells.begin(), gst_cells.end()).size(), gst_cells.size());
  EXPECT_EQ(std::set<int>(gst_cells.begin(), gst_cells.end()), stream_cells);
  EXPECT_EQ(node_entries, computational);
}

}  // namespace
