// The channel input file and the grid-stream file read through the real project reader: the
// demo basin's network, a small network with every kind of link, and every refusal.
#include "channel/channel_input.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "channel/channel_routines.hpp"
#include "channel/cross_sections.hpp"
#include "input/neighbour_services.hpp"
#include "common/error_state.hpp"
#include "common/process.hpp"
#include "common/time_series.hpp"
#include "run/whole_project.hpp"
#include "channel/two_link_network.hpp"

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
network_read read_network(const std::string& project_cards, const std::function<void(model_state&)>& look) {
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
                                const std::function<void(model_state&)>& look = nullptr,
                                const std::string& extra_cards = "") {
  pluvo_test::write_strip_grid();
  write_file("c.chn", chn);
  write_file("c.stm", stm);
  return read_network(
      pluvo_test::strip_cards() + "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\n" + extra_cards, look);
}

const char* two_link_file = pluvo_test::two_link_chan_file();
const char* two_link_stream = pluvo_test::two_link_stream_file();

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

// SUPER_QUIET keeps the counts and progress lines off the console; the network is read all the same.
TEST(ChannelInput, SuperQuietReadsWithoutTheCounts) {
  scratch_dir dir;
  int links = 0;
  // The card quiets the whole process; the tests after this one speak again.
  const bool quiet = pluvo::quiet_console;
  const network_read r =
      read_strip_network(two_link_file, two_link_stream, [&](model_state& m) { links = m.nlinks; }, "SUPER_QUIET\n");
  pluvo::quiet_console = quiet;
  EXPECT_FALSE(r.stopped) << r.out;
  EXPECT_EQ(links, 2);
  EXPECT_EQ(r.out.find("Channel input data"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Finished reading"), std::string::npos) << r.out;
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


// Three trapezoidal links on the strip: 1 along row 1 and 2 along row 2 join link 3 in column 3.
std::string trapezoid_link(int link, const char* mannings_n) {
  return "LINK " + std::to_string(link) + "\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N " + mannings_n +
         "\nNODE 1\nELEV 10.2\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1\nNODE 2\nELEV 10.1\n"
         "NODE 3\nELEV 10.0\n";
}

std::string three_link_file() {
  return "PLUVO_CHAN\nALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 3\nMAXNODES 3\n"
         "CONNECT 1 3 0\nCONNECT 2 3 0\nCONNECT 3 0 2 1 2\n" +
         trapezoid_link(1, "0.04") + trapezoid_link(2, "0.045") + trapezoid_link(3, "0.035");
}

const char* three_link_stream =
    "GRIDSTREAMFILE\nSTREAMCELLS 6\n"
    "CELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1.0\nCELLIJ 1 2\nNUMNODES 1\nLINKNODE 1 2 1.0\n"
    "CELLIJ 2 1\nNUMNODES 1\nLINKNODE 2 1 1.0\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 2 2 1.0\n"
    "CELLIJ 1 3\nNUMNODES 1\nLINKNODE 3 1 1.0\nCELLIJ 2 3\nNUMNODES 1\nLINKNODE 3 2 1.0\n";

// Five links: a trapezoid into a lake, the lake through a structure link of six elements, and a
// subsurface break-point link, both into the trapezoidal outlet link that carries a point source.
const char* five_link_file =
    "PLUVO_CHAN\nALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 5\nMAXNODES 3\n"
    "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 5 1 2\nCONNECT 4 5 0\nCONNECT 5 0 2 3 4\n"
    "LINK 1\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\n"
    "NODE 1\nELEV 10.2\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1\nNODE 2\nELEV 10.15\nNODE 3\nELEV 10.1\n"
    "LINK 2\nLAKE\nMINWSE 9.9\nINITWSE 10.15\nMAXWSE 11\nNUMPTS 2\n2 1 2 2\nMLAKE 0.5\nPOINTSOURCE nosuch\n"
    "LINK 3\nSTRUCTURE\nNUMSTRUCTS 6\n"
    "STRUCTTYPE WEIR\nCREST_LENGTH 2\nCREST_LOW_ELEV 10.1\nDISCHARGE_COEFF_FORWARD 0.6\nDISCHARGE_COEFF_REVERSE 0.5\n"
    "STRUCTTYPE SAG_WEIR\nCREST_LENGTH 3\nSTEEP_SLOPE -0.5\nSHALLOW_SLOPE 0.1\nCREST_LOW_LOC 1.0\n"
    "STRUCTTYPE ROUND_CULVERT\nLENGTH 12\nDIAMETER 0.8\nUPINVERT 10.0\nDOWNINVERT 9.9\nINLET_DISCH_COEFF 0.9\n"
    "REV_FLOW_DISCH_COEFF 0.8\nROUGH_COEFF 0.013\n"
    "STRUCTTYPE OVAL_CULVERT\nLENGTH 10\nWIDTH 1.2\nHEIGHT 0.7\n"
    "STRUCTTYPE RECT_CULVERT\nLENGTH 8\nWIDTH 1.5\nHEIGHT 1.0\nSLOPE 0.01\n"
    "STRUCTTYPE SCHEDULED_RELEASE release\n"
    "LINK 4\nBREAKPOINT_SUBSURFACE\nDX 10\nNODES 3\nMANNINGS_N 0.03\nK_RIVER 1e-6\nM_RIVER 0.5\n"
    "NODE 1\nELEV 10.5\nXSEC\nNPAIRS 3\nNUM_INTERP 10\nX1 0 10.5\nX1 1 9.5\nX1 2 10.5\nNODE 2\nELEV 10.3\n"
    "NODE 3\nELEV 10.1\n"
    "LINK 5\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.035\n"
    "NODE 1\nELEV 10.0\nXSEC\nBOTTOM_WIDTH 3\nBANKFULL_DEPTH 1\nSIDE_SLOPE 2\nNODE 2\nELEV 9.95\nPOINTSOURCE inflow\n"
    "NODE 3\nELEV 9.9\n";

const char* five_link_stream =
    "GRIDSTREAMFILE\nSTREAMCELLS 3\n"
    "CELLIJ 1 1\nNUMNODES 2\nLINKNODE 1 1 0.5\nLINKNODE 1 2 0.5\n"
    "CELLIJ 1 2\nNUMNODES 2\nLINKNODE 4 1 0.5\nLINKNODE 4 2 0.5\n"
    "CELLIJ 1 3\nNUMNODES 2\nLINKNODE 5 1 0.5\nLINKNODE 5 2 0.5\n";

const char* series_file =
    "PLUVO_TS\ninflow\nABSOLUTE\n2020 6 1 0 0 1.0\n2020 6 2 0 0 1.0\nEND_TS\n"
    "PLUVO_TS\nrelease\nABSOLUTE\n2020 6 1 0 0 0.5\n2020 6 2 0 0 0.5\nEND_TS\n";

network_read read_five_link_network(const std::string& chn, const std::function<void(model_state&)>& look = nullptr) {
  pluvo_test::write_strip_grid();
  write_file("c.chn", chn);
  write_file("c.stm", five_link_stream);
  write_file("c.ts", series_file);
  return read_network(pluvo_test::strip_cards() + "TIME_SERIES_FILE c.ts\nCHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\n",
                      look);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  EXPECT_EQ(text.find(from, at + 1), std::string::npos) << "not unique: " << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(ChannelInput, LakeStructuresBreakPointAndPointSourceReadIntoTheRecord) {
  scratch_dir dir;
  std::vector<int> ltype, ldex, range, lake_mask;
  std::vector<pluvo::hydraulic_structure> st;
  std::string release, inflow;
  bool lake_source_none = false;
  std::vector<double> krb, mrb, lake;
  std::vector<int> tables;
  int num_tables = 0, extent = 0, lakes = 0, losses = 0, cells = 0;
  double depth_one_area = 0, top_width = 0;
  bool copies = false;
  const network_read r = read_five_link_network(five_link_file, [&](const model_state& m) {
    const int e = m.chan_node_extent;
    extent = e;
    ltype = std::vector<int>(m.ltype.begin() + 1, m.ltype.begin() + 6);
    ldex = std::vector<int>(m.ldex.begin() + 1, m.ldex.begin() + 6);
    range = {m.struct_range[3][0], m.struct_range[3][1], m.struct_range[3][2], m.lake2link[2], m.nlakes};
    st = m.structures;
    if (m.structures.size() > 6 && m.structures[6].release_series) release = m.structures[6].release_series->name;
    if (m.stream_pointsource[5 * e + 2]) inflow = m.stream_pointsource[5 * e + 2]->name;
    lake_source_none = m.stream_pointsource[2 * e + 1] == nullptr;
    for (int k = 1; k <= 3; ++k) krb.push_back(m.Krb[4 * e + k]), mrb.push_back(m.Mrb[4 * e + k]);
    krb.push_back(m.Krb[5 * e + 1]);
    for (int k = 1; k <= 3; ++k) tables.push_back(m.table_num[4 * e + k]);
    num_tables = m.num_xsec_tables;
    depth_one_area = m.xarea[pluvo::xsec_key(m, 1, 10)];
    top_width = m.xtw[pluvo::xsec_key(m, 1, 5)];
    lake = {m.lake_elev[1], m.lake_volume[1], m.prevlake_volume[1], m.lake_volume_last_chan[1], m.lake_area[1],
            m.Mlake[1]};
    lakes = m.lakes_on;
    losses = m.lake_losses_on;
    cells = m.lake_cells[1];
    lake_mask = std::vector<int>(m.lake_mask.begin() + 1, m.lake_mask.end());
    copies = m.og_nlinks == 5 && m.og_dslink == m.dslink && m.og_ndep == m.ndep && m.og_lytpe == m.ltype &&
             m.og_uslinks == m.uslinks && m.og_nx1 == m.nx;
  });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_EQ(r.out.find("rror"), std::string::npos) << r.out;
  EXPECT_EQ(ltype, (std::vector<int>{4, 32, 64, 9, 4}));
  EXPECT_EQ(ldex, (std::vector<int>{1, 1, 3, 4, 5}));
  EXPECT_EQ(range, (std::vector<int>{6, 1, 6, 1, 1}));
  ASSERT_EQ(st.size(), 7u);
  EXPECT_EQ(st[1].structtype, 1);
  EXPECT_EQ(st[1].length, 2.0);
  EXPECT_EQ(st[1].upinvert, 10.1);
  EXPECT_EQ(st[1].inlet_disch_coeff, 0.6);
  EXPECT_EQ(st[1].rev_flow_disch_coeff, 0.5);
  EXPECT_EQ(st[2].structtype, 2);
  EXPECT_EQ(st[2].size1, -0.5);
  EXPECT_EQ(st[2].size2, 0.1);
  EXPECT_EQ(st[2].crest_low_loc, 1.0);
  EXPECT_EQ(st[3].structtype, 3);
  EXPECT_EQ(st[3].length, 12.0);
  EXPECT_EQ(st[3].size1, 0.8);
  EXPECT_EQ(st[3].downinvert, 9.9);
  EXPECT_EQ(st[3].rough_coeff, 0.013);
  EXPECT_EQ(st[4].structtype, 4);
  EXPECT_EQ(st[4].size2, 0.7);
  EXPECT_EQ(st[5].structtype, 5);
  EXPECT_EQ(st[5].slope, 0.01);
  EXPECT_EQ(st[6].structtype, 7);
  EXPECT_EQ(release, "release");
  EXPECT_EQ(inflow, "inflow");
  EXPECT_TRUE(lake_source_none);
  EXPECT_EQ(krb, (std::vector<double>{1e-6, 1e-6, 1e-6, 0.0}));
  EXPECT_EQ(mrb, (std::vector<double>{0.5, 0.5, 0.5}));
  // One section: every node shares table 1; a V of width 2 at depth 1 holds 1 m2.
  EXPECT_EQ(tables, (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(num_tables, extent);
  EXPECT_NEAR(depth_one_area, 1.0, 1e-12);
  EXPECT_NEAR(top_width, 1.0, 1e-12);
  // The lake starts at its INITWSE over the one search cell below it, (2, 2) of 10.1 m.
  ASSERT_EQ(lake.size(), 6u);
  EXPECT_EQ(lake[0], 10.15);
  EXPECT_NEAR(lake[1], 0.05 * 100.0, 1e-9);
  EXPECT_EQ(lake[2], lake[1]);
  EXPECT_EQ(lake[3], lake[1]);
  EXPECT_EQ(lake[4], 100.0);
  EXPECT_EQ(lake[5], 0.5);
  EXPECT_EQ(lakes, 1);
  EXPECT_EQ(losses, 1);
  EXPECT_EQ(cells, 1);
  EXPECT_EQ(lake_mask, (std::vector<int>{0, 0, 0, 0, 1, 0}));
  EXPECT_TRUE(copies);
  const std::string block =
      "\n\nChannel input data:\n"
      "  max. number of u.s. dependencies:      2\n"
      "  number of trapezoidal links:           2\n"
      "    num w/ subsurface attribute:           0\n"
      "    num w/ erodible attribute:             0\n"
      "  number of breakpoint links:            1\n"
      "    num w/ subsurface attribute:           1\n"
      "    num w/ erodible attribute:             0\n"
      "    max number of xsec in any bp link:     1\n"
      "    max number of xsec pairs:              3\n"
      "  number of lake links:                  1\n"
      "  number of hydraulic structure links:   1\n"
      "    total no. of hydr. structure elements: 6\n"
      "  number of groundwater links:           1\n"
      "Reading and interpolating break-point cross-sections .\n"
      "Finished reading non-orthogonal channel information from gst file.\n"
      "Minimum Water Surface Elevation Lake #1: 9.90\n"
      "Initial Water Surface Elevation Lake #1: 10.15\n"
      "Maximum Water Surface Elevation Lake #1: 11.00\n"
      "number of coords for lake #1's search order: 2\n"
      "Simulating Lake Losses for Lake #1, Bed Thickness: 0.5 m\n";
  EXPECT_NE(r.out.find(block), std::string::npos) << r.out;
}

// A lake with a rating table starts from the table; a static one takes all its search cells.
TEST(ChannelInput, RatedLakesStartFromTheirTable) {
  scratch_dir dir;
  std::vector<double> lake;
  int cells = 0;
  const std::string chn = replaced(five_link_file, "MLAKE 0.5\n", "STATIC\nNUMRATE 2\n10.0 0 0\n10.5 100 200\n");
  const network_read r = read_five_link_network(chn, [&](const model_state& m) {
    lake = {m.lake_volume[1], m.lake_area[1], m.prevlake_volume[1], m.lake_volume_last_chan[1]};
    cells = m.lake_cells[1];
  });
  ASSERT_FALSE(r.stopped) << r.out;
  ASSERT_EQ(lake.size(), 4u);
  EXPECT_NEAR(lake[0], 30.0, 1e-12);
  EXPECT_NEAR(lake[1], 60.0, 1e-12);
  EXPECT_EQ(lake[2], lake[0]);
  EXPECT_EQ(lake[3], lake[0]);
  EXPECT_EQ(cells, 2);
  EXPECT_EQ(r.out.find("Simulating Lake Losses"), std::string::npos);

  // Below every search cell: one cell and no water, with the four lines of advice.
  const network_read low = read_five_link_network(replaced(five_link_file, "INITWSE 10.15", "INITWSE 9.95"),
                                                   [&](const model_state& m) {
                                                     lake = {m.lake_volume[1], m.lake_area[1]};
                                                     cells = m.lake_cells[1];
                                                   });
  ASSERT_FALSE(low.stopped) << low.out;
  EXPECT_EQ(lake, (std::vector<double>{0.0, 100.0}));
  EXPECT_EQ(cells, 1);
  EXPECT_NE(low.out.find("The initial water surface elevation specified for lake 1 is below all overland cell "
                         "elevations in the lake \nConsider raising you initial lake elevation to inundate at "
                         "least one overland cell in the lake \nPLUVO will proceed with your specified initial "
                         "water surface elevation assuming one overland cell is inundated \nExpect problems if "
                         "you choose to proceed in this manner \n"),
            std::string::npos)
      << low.out;
}

// An erodible break-point link gives each node its own polyline and table; a second reading of
// the record gives the same network.
TEST(ChannelInput, ErodibleBreakPointNodesOwnTheirTables) {
  scratch_dir dir;
  std::vector<int> tables, counts;
  std::vector<double> polyline;
  const std::string chn = replaced(five_link_file, "BREAKPOINT_SUBSURFACE\n", "BREAKPOINT_SUBSURFACE_ERODE\n");
  const network_read r = read_five_link_network(chn, [&](model_state& m) {
    pluvo::read_chan_input(m);
    const int e = m.chan_node_extent;
    for (int k = 1; k <= 3; ++k) tables.push_back(m.table_num[4 * e + k]);
    counts = {m.bplink[4], m.num_erodible_bp_links, m.num_structures, m.nlakes, m.ltype[4]};
    const size_t base = (static_cast<size_t>(m.bplink[4]) * e + 2) * (m.max_npairs + 1);
    polyline = {m.xbp_lnn[base + 1], m.ybp_lnn[base + 1], m.xbp_lnn[base + 3], m.ybp_lnn[base + 3]};
  });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_EQ(tables, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(counts, (std::vector<int>{1, 1, 6, 1, 11}));
  EXPECT_EQ(polyline, (std::vector<double>{0.0, 10.5, 2.0, 10.5}));
}

// Twenty-one links into one: read whole, with the warning that stops the run after the set-up.
TEST(ChannelInput, ManyUpstreamLinksWarnAndStopAfterTheSetUp) {
  scratch_dir dir;
  std::string chn = "PLUVO_CHAN\nALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 22\nMAXNODES 3\n";
  std::string upstream;
  for (int l = 1; l <= 21; ++l) {
    chn += "CONNECT " + std::to_string(l) + " 22 0\n";
    upstream += " " + std::to_string(l);
  }
  chn += "CONNECT 22 0 21" + upstream + "\n";
  for (int l = 1; l <= 22; ++l) chn += trapezoid_link(l, "0.04");
  const network_read r = read_strip_network(chn, three_link_stream);
  EXPECT_TRUE(r.stopped);
  EXPECT_NE(r.out.find("  max. number of u.s. dependencies:      21\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Warning:  Maximum number of upstream dependencies is very high\n"
                       "in the read_chan_input subroutine was equal to 21, which is, frankly, a\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Finished reading non-orthogonal channel information from gst file.\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Program termanated"), std::string::npos) << r.out;
}

struct refusal_case {
  const char* name;
  char file;  // 'c' channel input, 's' grid-stream, '5' the five-link channel input
  const char* from;
  const char* to;
  const char* message;
  int code;  // 200, a structure-series code, or 301 for the one warning
};

const refusal_case refusal_cases[] = {
    {"header cut short", 'c', "LINKS 3\nMAXNODES 3\nCONNECT", "\nCONNECT",
     "Premature end-of-file in the channel input file.\n"
     "The channel input file does not contain all the required parameter cards.\n"
     "These include: ALPHA, BETA, THETA, DX, LINKS, and MAXNODES.\n"
     "Repair your channel input file and try again.  These cards must appear at\n"
     "The beginning of the file before and COORD or LINK cards.\n"
     "Program terminated in read_chan_input.\n",
     200},
    {"header card repeated", 'c', "MAXNODES 3\n", "LINKS 3\nMAXNODES 3\n",
     "Error in the channel input file c.chn: the header card LINKS is given more than once (ALPHA, BETA, THETA, "
     "LINKS and MAXNODES are each given once).\n",
     200},
    {"header card repeated later", 'c', "LINK 2\n", "THETA 0.5\nLINK 2\n",
     "Error in the channel input file c.chn: the header card THETA is given more than once (ALPHA, BETA, THETA, "
     "LINKS and MAXNODES are each given once).\n",
     200},
    {"no roughness", 'c', "MANNINGS_N 0.045", "MANNINGS_N 0",
     "Error encountered when reading the channel input file, link 2:\n    Manning's Roughness is 0.000\n", 200},
    {"roughness missing", 'c', "MANNINGS_N 0.035\n", "",
     "Error encountered when reading the channel input file, link 3:\n    Manning's Roughness is 0.000\n", 200},
    {"CONNECT missing", 'c', "CONNECT 2 3 0\n", "",
     "Your channel input file contains 3 links, and 2 CONNECT cards\n"
     "These two numbers must be equal.  Therefore, you have a major \n"
     "problem with your channel input file.  PLUVO cannot proceed.\nprogram terminated.\n",
     200},
    {"trapezoid without XSEC", 'c', "LINK 3\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.035\nNODE 1\nELEV 10.2\nXSEC\n",
     "LINK 3\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.035\nNODE 1\nELEV 10.2\n",
     "Error: Cross section parameters not found for link 3.\n", 200},
    {"one end node", 'c', "NODES 3\nMANNINGS_N 0.035", "NODES 1\nMANNINGS_N 0.035",
     "Error in the channel input file c.chn: NODES 1 of link 3 is below 2; a trapezoidal or break-point link needs "
     "two end nodes for its one computational node.\n",
     200},
    {"two end nodes warn", 'c', "NODES 3\nMANNINGS_N 0.035", "NODES 2\nMANNINGS_N 0.035",
     "\nWARNING: When reading the channel input file, link 3:\n"
     "    The number of channel defining end nodes in the link is less than 3 \n"
     "    Which results only 1 computational node in this link.\n"
     "    Consider increasing the number of end nodes to at least 3 \n\tor removing this link \n",
     301},
    {"LINK above LINKS", 'c', "LINK 3\n", "LINK 4\n",
     "Error in the channel input file c.chn: LINK 4 is outside the links 1..3 (LINKS).\n", 200},
    {"NODE above MAXNODES", 'c', "NODE 3\nELEV 10.0\nLINK 2", "NODE 4\nELEV 10.0\nLINK 2",
     "Error in the channel input file c.chn: NODE 4 of link 1 is outside the nodes 1..3 (MAXNODES).\n", 200},
    {"NODES above MAXNODES", 'c', "NODES 3\nMANNINGS_N 0.035", "NODES 4\nMANNINGS_N 0.035",
     "Error in the channel input file c.chn: NODES 4 of link 3 is outside 0..3 (MAXNODES).\n", 200},
    {"no type card", 'c', "LINK 3\nTRAPEZOID\n", "LINK 3\n",
     "Error in the channel input file c.chn: link 3 has no type card (TRAPEZOID, BREAKPOINT, LAKE or STRUCTURE and "
     "their variants).\n",
     200},
    {"no node spacing", 'c', "DX 10\nNODES 3\nMANNINGS_N 0.035", "DX 0\nNODES 3\nMANNINGS_N 0.035",
     "Error in the channel input file c.chn: DX 0 of link 3 is not above 0.\n", 200},
    {"more upstream links than links", 'c', "CONNECT 3 0 2 1 2", "CONNECT 3 0 4 1 2",
     "Error in the channel input file c.chn: CONNECT card 3 lists 4 upstream links, outside 0..3 (LINKS).\n", 200},
    {"upstream list short", 'c', "CONNECT 3 0 2 1 2", "CONNECT 3 0 3 1 2",
     "Error in the channel input file c.chn: CONNECT 3 announces 3 upstream links but gives 2.\n", 200},
    {"downstream link outside", 'c', "CONNECT 1 3 0", "CONNECT 1 4 0",
     "Error in the channel input file c.chn: CONNECT 1 names downstream link 4, outside 0..3 (LINKS) or the link "
     "itself.\n",
     200},
    {"upstream link outside", 'c', "CONNECT 3 0 2 1 2", "CONNECT 3 0 2 1 7",
     "Error in the channel input file c.chn: CONNECT 3 names upstream link 7, outside 1..3 (LINKS).\n", 200},
    {"CONNECT link outside", 'c', "CONNECT 2 3 0", "CONNECT 5 3 0",
     "Error in the channel input file c.chn: CONNECT 5 is outside the links 1..3 (LINKS).\n", 200},
    {"CONNECT twice", 'c', "CONNECT 2 3 0", "CONNECT 1 3 0",
     "Error in the channel input file c.chn: CONNECT 1 is given more than once.\n", 200},
    {"not listed downstream", 'c', "CONNECT 3 0 2 1 2", "CONNECT 3 0 1 1",
     "Error in the channel input file c.chn: CONNECT 2 sends link 2 into link 3, whose CONNECT card does not list "
     "it upstream.\n",
     200},
    {"listed but flowing elsewhere", 'c', "CONNECT 2 3 0", "CONNECT 2 3 1 1",
     "Error in the channel input file c.chn: CONNECT 2 lists link 1 upstream, but CONNECT 1 sends it into link "
     "3.\n",
     200},
    {"channel link ends early", 'c', "CONNECT 1 3 0\nCONNECT 2 3 0\nCONNECT 3 0 2 1 2",
     "CONNECT 1 0 0\nCONNECT 2 3 0\nCONNECT 3 0 1 2",
     "Error in the channel input file c.chn: CONNECT 1 gives channel link 1 no downstream link; only link 3 "
     "(LINKS) may end the network.\n",
     200},
    {"outlet not a channel", 'c', "LINK 3\nTRAPEZOID\n", "LINK 3\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE WEIR\nCREST_LENGTH 2\n",
     "Error in the channel input file c.chn: the outlet link 3 (LINKS) is not a trapezoidal or break-point link.\n",
     200},
    {"second line not STREAMCELLS", 's', "STREAMCELLS 6", "CELLS 6",
     "The second card in the grid-stream file must be STREAMCELLS\nFile format error, program terminating.\n", 200},
    {"CELLIJ outside the mask", 's', "CELLIJ 2 3", "CELLIJ 3 3",
     "Error in the grid-stream file c.stm: CELLIJ 3 3 is outside the watershed mask.\n", 200},
    {"more CELLIJ than STREAMCELLS", 's', "STREAMCELLS 6", "STREAMCELLS 5",
     "Error in the grid-stream file c.stm: CELLIJ card 6 is beyond STREAMCELLS 5.\n", 200},
    {"STREAMCELLS above the cells", 's', "STREAMCELLS 6", "STREAMCELLS 7",
     "Error in the grid-stream file c.stm: STREAMCELLS 7 is above the 6 cells of the watershed.\n", 200},
    {"LINKNODE link outside", 's', "LINKNODE 3 2", "LINKNODE 4 2",
     "Error in the grid-stream file c.stm: LINKNODE link 4 is outside the links 1..3 (LINKS).\n", 200},
    {"LINKNODE node outside", 's', "LINKNODE 3 2", "LINKNODE 3 4",
     "Error in the grid-stream file c.stm: LINKNODE node 4 of link 3 is outside the nodes 1..3 (MAXNODES).\n", 200},
    {"more LINKNODE than NUMNODES", 's', "LINKNODE 3 2 1.0\n", "LINKNODE 3 2 1.0\nLINKNODE 3 1 0.0\n",
     "Error in the grid-stream file c.stm: CELLIJ 2 3 has 2 LINKNODE cards for its NUMNODES 1.\n", 200},
    {"fewer LINKNODE than NUMNODES", 's', "NUMNODES 1\nLINKNODE 3 2", "NUMNODES 2\nLINKNODE 3 2",
     "Error in the grid-stream file c.stm: CELLIJ 2 3 has 1 LINKNODE cards for its NUMNODES 2.\n", 200},
    // The five-link network: break-point sections, structures and the lake.
    {"fewer than three pairs", '5', "NPAIRS 3", "NPAIRS 2",
     "Error encountered when reading the channel input file, link 4:\n"
     " Number of break point cross section pairs is less than 3\n",
     200},
    {"no NUM_INTERP", '5', "NUM_INTERP 10\n", "",
     "Error: the number of interpolation points has not been specifiedfor any table. Each break-point "
     "cross-section table should have a NUM_INTERP ### card below the NPAIRS card\n",
     200},
    {"too many X1 cards", '5', "X1 2 10.5\n", "X1 2 10.5\nX1 3 11\n",
     "\n\nError: There are more X1 cards than the NPAIRS card specifies \nfor table 1 in link 4.\n", 200},
    {"too few X1 cards", '5', "X1 2 10.5\n", "",
     "\n\nError: There are fewer X1 cards than the NPAIRS card specifies \nfor table 1 in link 4.\n", 200},
    {"NUMSTRUCTS sum", '5', "NUMSTRUCTS 6", "NUMSTRUCTS 5",
     "\nThe sum of NUMSTRUCTS arguments is 5, while the total number\n"
     "of hydraulic structure element cards (e.g. WEIR, ROUND_CULVERT,\n"
     "etc.) is 6.  This inconstency is intolerable.  Check your channel\ninput file.  Program terminated.\n",
     200},
    {"unknown structure", '5', "STRUCTTYPE OVAL_CULVERT", "STRUCTTYPE GATE",
     "Error in the channel input file c.chn: STRUCTTYPE GATE of link 3 is none of WEIR, SAG_WEIR, ROUND_CULVERT, "
     "OVAL_CULVERT, RECT_CULVERT, RATING_CURVE, SCHEDULED_RELEASE, RULE_CURVE.\n",
     200},
    {"weir without crest", '5', "CREST_LENGTH 2", "CREST_LENGTH 0",
     "Error in the channel input file c.chn: link 3, structure element 1: CREST_LENGTH is 0.\n", 200},
    {"sag weir of one slope", '5', "SHALLOW_SLOPE 0.1", "SHALLOW_SLOPE -0.5",
     "Error in the channel input file c.chn: link 3, structure element 2: the sag weir's SHALLOW_SLOPE (-0.5) is "
     "not above its STEEP_SLOPE (-0.5).\n",
     200},
    {"sag weir without a low point", '5', "STEEP_SLOPE -0.5", "STEEP_SLOPE 0.5",
     "Error in the channel input file c.chn: link 3, structure element 2: the sag weir's SHALLOW_SLOPE (0.1) is "
     "not above its STEEP_SLOPE (0.5).\n",
     200},
    {"round culvert without diameter", '5', "DIAMETER 0.8", "DIAMETER 0",
     "Error in the channel input file c.chn: link 3, structure element 3: DIAMETER is 0.\n", 200},
    {"box culvert without width", '5', "WIDTH 1.5", "WIDTH 0",
     "Error in the channel input file c.chn: link 3, structure element 5: WIDTH is 0.\n", 200},
    {"structure card outside a structure link", '5', "LINK 4\nBREAKPOINT_SUBSURFACE\n",
     "LINK 4\nBREAKPOINT_SUBSURFACE\nNUMSTRUCTS 0\n",
     "Error in the channel input file c.chn: NUMSTRUCTS in link 4, which is not a STRUCTURE link (or beyond its "
     "NUMSTRUCTS count).\n",
     200},
    {"lake into a channel link", '5', "CONNECT 2 3 1 1\nCONNECT 3 5 1 2\nCONNECT 4 5 0\nCONNECT 5 0 2 3 4",
     "CONNECT 2 5 1 1\nCONNECT 3 5 0\nCONNECT 4 5 0\nCONNECT 5 0 3 2 3 4",
     "Error in the channel input file c.chn: lake link 2 drains into channel link 5; a lake drains only through a "
     "structure link.\n",
     200},
    {"lake cell outside the mask", '5', "2 1 2 2\n", "2 1 3 2\n",
     "Error in the channel input file c.chn: NUMPTS cell 2 of lake 1, row 3 column 2, is outside the watershed "
     "mask.\n",
     200},
    {"release without a name", '5', "STRUCTTYPE SCHEDULED_RELEASE release", "STRUCTTYPE SCHEDULED_RELEASE", "", 87},
    {"release series unknown", '5', "STRUCTTYPE SCHEDULED_RELEASE release", "STRUCTTYPE SCHEDULED_RELEASE spill", "",
     88},
    {"rating curve without a name", '5', "STRUCTTYPE SCHEDULED_RELEASE release", "STRUCTTYPE RATING_CURVE", "", 85},
    {"rating curve series unknown", '5', "STRUCTTYPE SCHEDULED_RELEASE release", "STRUCTTYPE RATING_CURVE pool", "",
     86},
    {"rule curve without a name", '5', "STRUCTTYPE SCHEDULED_RELEASE release", "STRUCTTYPE RULE_CURVE", "", 89},
    {"rule curve series unknown", '5', "STRUCTTYPE SCHEDULED_RELEASE release", "STRUCTTYPE RULE_CURVE pool", "", 90},
};

class ChannelInputRefusal : public testing::TestWithParam<refusal_case> {};

TEST_P(ChannelInputRefusal, NamesItsCauseWithItsCode) {
  scratch_dir dir;
  const refusal_case& c = GetParam();
  network_read r;
  if (c.file == '5') {
    r = read_five_link_network(replaced(five_link_file, c.from, c.to));
  } else {
    const std::string chn = c.file == 'c' ? replaced(three_link_file(), c.from, c.to) : three_link_file();
    const std::string stm = c.file == 's' ? replaced(three_link_stream, c.from, c.to) : three_link_stream;
    r = read_strip_network(chn, stm);
  }
  EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
  if (c.code == 301) {
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.out.find("Program termanated"), std::string::npos) << r.out;
    return;
  }
  EXPECT_TRUE(r.stopped);
  pluvo::error_state_record code;
  code.error_code = c.code;
  code.error_file_name = c.file == 's' ? "c.stm" : "c.chn";
  EXPECT_NE(r.out.find(pluvo::error_message_text(code)), std::string::npos) << r.out;
  // A refused file is not read on: no later pass speaks after the refusal (the lakes come last).
  if (!std::strstr(c.message, "NUMPTS")) {
    EXPECT_EQ(r.out.find("Finished reading non-orthogonal"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ChannelInputRefusal, testing::ValuesIn(refusal_cases),
                         [](const testing::TestParamInfo<refusal_case>& info) {
                           std::string name = info.param.name;
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

// A PUMPTO card hands the rest of its line, its link and the link's type to the pump reader, and
// the handle lands on the current node.
int pump_link = 0, pump_type = 0;
std::string pump_rest;
TEST(ChannelInput, PumpsComeFromThePumpReader) {
  scratch_dir dir;
  write_file("p.chn", replaced(three_link_file(), "NODE 2\nELEV 10.1\nNODE 3\nELEV 10.0\nLINK 2",
                               "NODE 2\nELEV 10.1\nPUMPTO 3 1 TS lift\nNODE 3\nELEV 10.0\nLINK 2"));
  auto m = std::make_unique<model_state>();
  m->channel_input_path = "p.chn";
  ASSERT_TRUE(pluvo::checked_file_open(m->chan_input_fp, "p.chn", "r"));
  auto saved = pluvo::neighbour_services.read_channel_pump;
  pluvo::neighbour_services.read_channel_pump = [](char* rest, int link, int type) {
    pump_rest = rest;
    pump_link = link;
    pump_type = type;
    return 7;
  };
  pluvo::error_state = pluvo::error_state_record();
  const std::string out = pluvo::printed_by([&] { pluvo::read_chan_input(*m); });
  pluvo::neighbour_services.read_channel_pump = saved;
  EXPECT_EQ(pluvo::error_state.error_code, 0) << out;
  EXPECT_EQ(pump_rest, " 3 1 TS lift");
  EXPECT_EQ(pump_link, 1);
  EXPECT_EQ(pump_type, 4);
  ASSERT_EQ(m->stream_pumps.size(), static_cast<size_t>(m->chan_slot_count));
  EXPECT_EQ(m->stream_pumps[1 * m->chan_node_extent + 2], 7);
  pluvo::free_model_state(m.get());
}

}  // namespace

namespace {

// The network with its lake on a basin big enough for a thread team. The scheduled release, the
// culverts and the land below the lake drain its 5 m3 within minutes, and each overland scheme
// draws on the lake while its level stands above the land: the lake never gives more than it
// holds, its starting water is in the event's books, and the event, the run and the lake's own
// account close, the same on 1 and 8 threads.
TEST(ChannelInput, ARunWithItsChannelLakeKeepsTheLakesWater) {
  for (const char* scheme : {"OVERTYPE 1\n", "OVERTYPE 2\n", "OVERTYPE 3\n"}) {
    std::string written[2];
    for (const int threads : {1, 8}) {
      scratch_dir dir;
      write_file("c.chn", five_link_file);
      write_file("c.stm", five_link_stream);
      write_file("c.ts", series_file);
      const std::string cards = replaced(pluvo_test::write_corner_basin(64), "OVERTYPE 1\n", scheme);
      double lowest = 1e300;
      pluvo::set_phase_observer([&](const char*, int, model_state& m) {
        if (m.lakes_on && m.lake_volume.size() > 1) lowest = std::min(lowest, m.lake_volume[1]);
      });
      const pluvo_test::project_result r = pluvo_test::run_project_cards(
          cards + "TIME_SERIES_FILE c.ts\nCHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\nLAKE_OUTPUT w.lak\n",
          threads);
      pluvo::set_phase_observer(nullptr);
      ASSERT_FALSE(r.stopped) << r.out;
      const std::string summary = read_file("w.sum");
      EXPECT_GE(lowest, 0.0) << scheme;
      EXPECT_NE(summary.find("initial volume in lakes                            5.0\n"), std::string::npos) << summary;
      EXPECT_LT(pluvo_test::number_after(summary, "volume remaining in lakes         "), 0.05) << summary;
      EXPECT_LT(std::fabs(pluvo_test::number_after(summary, "mass conservation error:")), 5e-7) << summary;
      EXPECT_LT(std::fabs(pluvo_test::number_after(summary, "Overall mass balance error =")), 5e-7) << summary;
      EXPECT_LT(std::fabs(pluvo_test::number_after(summary, "Perennial lake mass bal error m^3=")), 0.005) << summary;
      written[threads == 1 ? 0 : 1] = summary + read_file("w.hyd") + read_file("w.lak");
    }
    EXPECT_EQ(written[0], written[1]) << scheme;
  }
}

// The network with its lake made a plain link runs the storm through the weir, the sag weir, the
// three culverts and the scheduled release, with 1 m3/s from a node's point source: the event
// and the run close their balance, the point source booked as an input.
TEST(ChannelInput, ARunThroughEveryStructureKeepsItsWater) {
  scratch_dir dir;
  write_file("c.chn",
             replaced(five_link_file,
                      "LINK 2\nLAKE\nMINWSE 9.9\nINITWSE 10.15\nMAXWSE 11\nNUMPTS 2\n2 1 2 2\nMLAKE 0.5\nPOINTSOURCE nosuch\n",
                      "LINK 2\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\nNODE 1\nELEV 10.1\nXSEC\nBOTTOM_WIDTH 2\n"
                      "BANKFULL_DEPTH 1\nSIDE_SLOPE 1\nNODE 2\nELEV 10.08\nNODE 3\nELEV 10.06\n"));
  write_file("c.stm", five_link_stream);
  write_file("c.ts", series_file);
  const pluvo_test::project_result r =
      pluvo_test::run_strip_project("TIME_SERIES_FILE c.ts\nCHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\n");
  EXPECT_FALSE(r.stopped) << r.out;
  const std::string summary = read_file("w.sum");
  EXPECT_NE(summary.find("volume of stream point sources:                1800.0\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("mass conservation error:                          0.000000 percent"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("Overall mass balance error =                              0.000000 percent"),
            std::string::npos)
      << summary;
}

}  // namespace
