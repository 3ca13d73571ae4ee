// The channel set-up of whole projects read through the real project reader: the summary line,
// the two report files, the hotstart, the outlet boundary, the initial volume and the point
// inputs, and the same set-up for every run of a batch.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel_phases.hpp"
#include "common/error_state.hpp"
#include "channel/strip_network.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::read_file;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;
using pluvo_test::strip_network;
using pluvo_test::strip_stream;

double trapezoid_area(double depth) { return (2.0 + 1.5 * depth) * depth; }

// What a set-up left: the network and state the routing starts from.
struct network_seen {
  int nlinks = 0;
  std::vector<int> nx;
  std::vector<double> bel, yp, chan_depth, area, qp, point_flow;
  double volume = 0.0;
  double volume_summed = 0.0;  // area x DX over the channel nodes, summed here
  int inflow = 0;
  int hotstart_water = 0;
  bool operator==(const network_seen&) const = default;
};

struct set_up_run {
  pluvo_test::set_up_result r;
  network_seen seen;
};

// Sets the strip project up past the refusal and starts its routing.
set_up_run set_up_strip(const std::string& extra_cards) {
  pluvo_test::write_strip_grid();
  write_file("c.chn", strip_network);
  write_file("c.stm", strip_stream);
  write_file("c.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() +
                          "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\n" + extra_cards);
  set_up_run run;
  run.r = pluvo_test::set_up_past_refusal("c.prj", [&](model_state& m) {
    pluvo::init_channel_routing(m);
    if (pluvo::error_state.error_code > 0) pluvo::report_error(pluvo::error_state);
    network_seen& s = run.seen;
    s.nlinks = m.nlinks;
    s.nx = m.nx;
    s.bel = m.bel;
    s.yp = m.yp;
    s.chan_depth = m.chan_depth;
    s.area = m.area;
    s.qp = m.qp;
    s.point_flow = m.chan_point_flow;
    s.volume = m.chan_volume_initial_run;
    for (int link = 1; link <= m.nlinks; ++link)
      for (int node = 1; node <= m.nx[link]; ++node)
        s.volume_summed += m.area[link * m.chan_node_extent + node] * m.link_dx[link];
    s.inflow = m.external_channel_inflow_on;
    s.hotstart_water = m.chan_hotstart_water;
  });
  return run;
}

TEST(ChannelSetUpRun, StripProjectSetsUpItsNetworkReportsAndStartingState) {
  scratch_dir dir;
  write_file("h.lst", "1 1 0.2 0.1\n1 5 1.0 1.0\n");
  write_file("p.dat", "NUMPT 1\nPOINT 2 1 0.5\nNRPDS 0\n");
  const set_up_run run = set_up_strip(
      "HEAD_BOUND\nBOUND_DEPTH 0.3\nREAD_CHAN_HOTSTART h.lst\nHOTSTART_IS_DEPTH\nCHAN_POINT_INPUT p.dat\n");
  ASSERT_FALSE(run.r.refused);  // channel routing is built: nothing refused
  ASSERT_FALSE(run.r.stopped) << run.r.out;
  EXPECT_NE(run.r.out.find("reading channel input data from file c.chn\n"), std::string::npos) << run.r.out;
  EXPECT_NE(read_file("w.sum").find("reading channel input data from file c.chn\n"), std::string::npos);
  EXPECT_NE(run.r.out.find("Setting up the grid-stream data... \ndone.\n"), std::string::npos) << run.r.out;
  EXPECT_EQ(read_file("short_links.out"), "Links with 1 node:\n2\n");
  EXPECT_EQ(read_file("bad_thalweg.out"),
            "Problem    link    node    thalweg     cell    elev\n"
            "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, 3=difference>3.5\n"
            "0        1       1   10.300000   1   10.200000\n"
            "0        1       1   10.300000   4   10.200000\n");
  const network_seen& s = run.seen;
  ASSERT_EQ(s.nlinks, 2);
  const int outlet = 2 * 4 + 1, first = 1 * 4 + 1;  // keys of link 2 node 1 and link 1 node 1 (MAXNODES 3)
  EXPECT_DOUBLE_EQ(s.chan_depth[outlet], 0.3);
  EXPECT_DOUBLE_EQ(s.yp[outlet], s.bel[outlet] + 0.3);
  EXPECT_DOUBLE_EQ(s.chan_depth[first], 0.2);  // from the hotstart list
  EXPECT_DOUBLE_EQ(s.qp[first], 0.1);
  EXPECT_EQ(s.hotstart_water, 1);
  EXPECT_EQ(s.inflow, 1);
  EXPECT_DOUBLE_EQ(s.volume, s.volume_summed);
  EXPECT_NEAR(s.volume, 10.0 * (trapezoid_area(0.3) + trapezoid_area(0.2)), 1e-9);
  EXPECT_DOUBLE_EQ(s.point_flow[1 * 4 + 2], 0.5);
}

TEST(ChannelSetUpRun, DepthHotstartReadThroughTheProject) {
  scratch_dir dir;
  write_file("h.dht", "1 1 10.45\n2 1 10.0\n1 2 9.9\n");  // node 2 of link 1 below its bed
  write_file("h.qht", "1 1 0.0\n2 1 0.0\n1 2 0.0\n");
  const set_up_run run = set_up_strip("READ_CHAN_HOTSTART h\n");
  ASSERT_FALSE(run.r.stopped) << run.r.out;
  const network_seen& s = run.seen;
  EXPECT_NEAR(s.chan_depth[5], 0.15, 1e-12);  // keys link x 4 + node
  EXPECT_EQ(s.chan_depth[6], 0.0);
  EXPECT_EQ(s.yp[6], s.bel[6]);
  EXPECT_NEAR(s.chan_depth[9], 0.1, 1e-12);
  EXPECT_NEAR(s.volume, 10.0 * (trapezoid_area(0.15) + trapezoid_area(0.1)), 1e-9);
  EXPECT_EQ(s.inflow, 1);
}

TEST(ChannelSetUpRun, BoundarySeriesMissingFromTheProjectStopsTheStart) {
  scratch_dir dir;
  const set_up_run run = set_up_strip("HEAD_BOUND\nBOUND_TS tide\n");
  EXPECT_NE(run.r.out.find("\nError: Stream head boundary time series (tide) can not be found. Check project file.\n"),
            std::string::npos)
      << run.r.out;
  EXPECT_EQ(run.seen.inflow, 0);
}

TEST(ChannelSetUpRun, EverySetUpOfAProjectInOneProcessIsTheSame) {
  scratch_dir dir;
  write_file("h.lst", "1 1 0.2 0.1\n");
  write_file("p.dat", "NUMPT 1\nPOINT 2 1 0.5\nNRPDS 0\n");
  const std::string cards =
      "HEAD_BOUND\nBOUND_DEPTH 0.3\nREAD_CHAN_HOTSTART h.lst\nHOTSTART_IS_DEPTH\nCHAN_POINT_INPUT p.dat\n";
  const set_up_run first = set_up_strip(cards);
  const std::string reports = read_file("short_links.out") + read_file("bad_thalweg.out");
  const set_up_run second = set_up_strip(cards);
  ASSERT_FALSE(second.r.stopped) << second.r.out;
  EXPECT_EQ(first.seen, second.seen);
  EXPECT_EQ(first.r.out, second.r.out);
  EXPECT_EQ(read_file("short_links.out") + read_file("bad_thalweg.out"), reports);
}

// The generator's network of the demo basin sets up; its reports list what the record holds.
TEST(ChannelSetUpRun, DemoBasinNetworkSetsUp) {
  scratch_dir dir;
  const std::string demo = std::string(PLUVO_TEST_DATA) + "/../examples/demo/";
  write_file("d.prj", "PLUVOPROJECT\nWATERSHED_MASK " + demo + "luxa.msk\nELEVATION " + demo +
                          "luxa.ele\nGRIDSIZE 500\nROWS 33\nCOLS 28\nOUTROW 19\nOUTCOL 27\nOUTSLOPE 0.022\n"
                          "TIMESTEP 30\nTOT_TIME 60\nPRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 30\n"
                          "MANNING_N 0.05\nOVERTYPE 1\nHYD_FREQ 15\nMAP_FREQ 60\nSUMMARY d.sum\nOUTLET_HYDRO d.hyd\n"
                          "CHAN_EXPLIC\nCHANNEL_INPUT " + demo + "luxa.chn\nSTREAM_CELL " + demo + "luxa.stm\n"
                          "HEAD_BOUND\nBOUND_DEPTH 0.5\n");
  std::string short_links = "Links with 1 node:\n";
  std::string bad_lines;
  double volume = 0.0, expected_volume = 0.0;
  const pluvo_test::set_up_result r = pluvo_test::set_up_past_refusal("d.prj", [&](model_state& m) {
    for (int link = 1; link <= m.nlinks; ++link)
      if (m.nx[link] == 1) short_links += std::to_string(link) + "\n";
    for (int c = 1; c <= m.gst_num_cells; ++c)
      for (int e = 1; e <= m.gst_ncellsingrid[c]; ++e) {
        const int key = m.gst_link[c][e] * m.chan_node_extent + m.gst_node[c][e];
        const int cell = m.gst_gnum[c][e];
        if (m.bel[key] <= m.elevation[cell]) continue;
        char line[128];
        std::snprintf(line, sizeof line, "0     %4d    %4d   %lf   %d   %lf\n", m.gst_link[c][e], m.gst_node[c][e],
                      m.bel[key], cell, m.elevation[cell]);
        bad_lines += line;
      }
    pluvo::init_channel_routing(m);
    volume = m.chan_volume_initial_run;
    const int outlet = m.nlinks * m.chan_node_extent + m.nx[m.nlinks];
    expected_volume = m.area[outlet] * m.link_dx[m.nlinks];
    EXPECT_DOUBLE_EQ(m.chan_depth[outlet], 0.5);
  });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_NE(r.out.find("reading channel input data from file " + demo + "luxa.chn\n"), std::string::npos);
  EXPECT_EQ(read_file("short_links.out"), short_links);
  EXPECT_EQ(read_file("bad_thalweg.out"),
            "Problem    link    node    thalweg     cell    elev\n"
            "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, 3=difference>3.5\n" +
                bad_lines);
  EXPECT_GT(volume, 0.0);
  EXPECT_DOUBLE_EQ(volume, expected_volume);  // only the outlet holds water
}

}  // namespace
