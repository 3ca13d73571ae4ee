// A nested pair on real terrain: an outer run on the lux-a basin writes the XY depth file for an
// inset mask covering part of it; the inset run on that part reads the file at card time and
// holds its boundary cells at the outer run's values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/julian.hpp"
#include "common/printed.hpp"
#include "common/time_series.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

struct ascii_grid {
  double north = 0, south = 0, east = 0, west = 0;
  int rows = 0, cols = 0;
  std::vector<std::string> values;  // row-major, as written
};

ascii_grid read_grid(const std::string& path) {
  std::ifstream in(path);
  ascii_grid g;
  std::string key;
  in >> key >> g.north >> key >> g.south >> key >> g.east >> key >> g.west >> key >> g.rows >> key >> g.cols;
  g.values.resize(size_t(g.rows) * size_t(g.cols));
  for (std::string& v : g.values) in >> v;
  return g;
}

// Rows r0..r1 and columns c0..c1 of g, with the header of that window.
std::string window(const ascii_grid& g, int r0, int r1, int c0, int c1) {
  const double size = (g.north - g.south) / g.rows;
  char head[256];
  std::snprintf(head, sizeof head, "north: %.2f\nsouth: %.2f\neast: %.2f\nwest: %.2f\nrows: %d\ncols: %d\n",
                g.north - (r0 - 1) * size, g.north - r1 * size, g.west + c1 * size, g.west + (c0 - 1) * size,
                r1 - r0 + 1, c1 - c0 + 1);
  std::string text = head;
  for (int r = r0; r <= r1; r++) {
    for (int c = c0; c <= c1; c++)
      text += (c > c0 ? " " : "") + g.values[size_t(r - 1) * size_t(g.cols) + size_t(c - 1)];
    text += "\n";
  }
  return text;
}

std::string cards(const char* mask, const char* elevation, int rows, int cols, int outrow, int outcol) {
  char text[512];
  std::snprintf(text, sizeof text,
                "WATERSHED_MASK %s\nELEVATION %s\nGRIDSIZE 500\nROWS %d\nCOLS %d\nOUTROW %d\nOUTCOL %d\n"
                "OUTSLOPE 0.022\nTIMESTEP 30\nTOT_TIME 60\nOVERTYPE 1\nMANNING_N 0.05\nPRECIP_UNIF\n"
                "RAIN_INTENSITY 36\nRAIN_DURATION 30\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\nHYD_FREQ 10\n"
                "MAP_FREQ 60\n",
                mask, elevation, rows, cols, outrow, outcol);
  return text;
}

// The points of an XY output file and its rows by minutes after 10:00.
struct xy_file {
  std::vector<int> cells;
  std::map<long, std::vector<double>> rows;
};

xy_file read_xy_file(const std::string& text) {
  std::istringstream in(text);
  std::string word;
  int n = 0;
  in >> word >> n >> word >> word;
  xy_file f;
  f.cells.resize(static_cast<size_t>(std::max(n, 0)));
  for (int& c : f.cells) in >> c;
  int year, month, day, hour, minute;
  while (in >> year >> month >> day >> hour >> minute) {
    std::vector<double> v(f.cells.size());
    for (double& x : v) in >> x;
    f.rows[long(hour - 10) * 60 + minute] = v;
  }
  return f;
}

TEST(NestedRun, TheInsetHoldsItsBoundaryAtTheOuterRunsDepths) {
  pluvo_test::scratch_dir dir;
  const std::string data = PLUVO_TEST_DATA "/input/lux-a/";
  const ascii_grid mask = read_grid(data + "luxa.msk");
  const ascii_grid elevation = read_grid(data + "luxa.ele");
  write_file("luxa.msk", read_file(data + "luxa.msk"));
  write_file("luxa.ele", read_file(data + "luxa.ele"));
  // The inset: rows 12..26 and columns 13..28 of the basin, holding its outlet (19, 27).
  write_file("inset.msk", window(mask, 12, 26, 13, 28));
  write_file("inset.ele", window(elevation, 12, 26, 13, 28));

  pluvo::free_time_series();
  const pluvo_test::project_result outer = pluvo_test::run_project_cards(
      cards("luxa.msk", "luxa.ele", 33, 28, 19, 27) +
          "SUMMARY outer.sum\nOUTLET_HYDRO outer.hyd\nXYBDYOUTPUT_MASK inset.msk\nXYBDYOUTPUT_OVDEP outer_ov.xy\n",
      1);
  ASSERT_FALSE(outer.stopped) << outer.out;
  const std::string file = read_file("outer_ov.xy");
  ASSERT_EQ(file.rfind("XY_OV_DEPTH\n", 0), 0u) << file;
  ASSERT_GE(file.size(), 7u);
  EXPECT_EQ(file.substr(file.size() - 7), "END_TS\n");

  // The file's points and rows: one row per hydrograph output time (every 10 minutes).
  auto [cells, rows] = read_xy_file(file);
  const int n = int(cells.size());
  ASSERT_GT(n, 10);
  ASSERT_EQ(rows.size(), 7u) << file;  // 10:00 to 11:00
  double largest = 0.0;
  for (const auto& r : rows)
    for (double x : r.second) largest = std::max(largest, x);
  EXPECT_GT(largest, 0.005) << file;  // the rain reached the inset's edge

  // The inset run: at every output time, just after the boundary phase, each boundary cell holds
  // the outer run's depth.
  pluvo::free_time_series();
  int checked = 0;
  double worst = 0.0;
  const double start = pluvo::julian_date(2020, 6, 1, 10, 0, 0.0);
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (std::string(phase) != "bmp_step") return;
    const long minutes = std::lround((m.cur_julian - start) * 1440.0 * 2.0);  // half minutes
    if (minutes % 2 != 0 || !rows.count(minutes / 2)) return;
    const std::vector<double>& v = rows[minutes / 2];
    for (int i = 0; i < n; i++) worst = std::max(worst, std::fabs(m.ov_depth[size_t(cells[size_t(i)])] - v[size_t(i)]));
    checked++;
  });
  const pluvo_test::project_result inset = pluvo_test::run_project_cards(
      cards("inset.msk", "inset.ele", 15, 16, 8, 15) + "SUMMARY inset.sum\nOUTLET_HYDRO inset.hyd\n"
                                                        "XYBDYINPUT_OVDEP outer_ov.xy\n",
      1);
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(inset.stopped) << inset.out;
  EXPECT_GE(checked, 6) << checked;
  EXPECT_LT(worst, 1e-9);
  const std::string sum = read_file("inset.sum");
  EXPECT_GT(pluvo_test::number_after(sum, "Volume overland gained from specified head boundary:     "), 0.0) << sum;
  EXPECT_GT(pluvo_test::number_after(sum, "Volume overland lost to specified head boundary:         "), 0.0) << sum;
  EXPECT_LT(std::fabs(pluvo_test::number_after(sum, "Overall mass balance error =")), 1e-4) << sum;
  pluvo::free_time_series();
}

}  // namespace

namespace {

// The stream file of a nested pair: the outer strip's link 1 enters the inset (the strip's east
// column) between its nodes 2 and 3; the outer run writes that crossing's discharge, and a run
// with a network reads the file and places the input on its nearest pair of nodes.
TEST(NestedRun, TheStreamCrossingIsWrittenAndReadBack) {
  pluvo_test::scratch_dir dir;
  write_file("c.chn",
             "PLUVO_CHAN\nALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 2\nMAXNODES 4\nCONNECT 1 2 0\nCONNECT 2 0 1 1\n"
             "LINK 1\nTRAPEZOID\nDX 10\nNODES 4\nMANNINGS_N 0.04\n"
             "NODE 1\nX_Y 5 25\nELEV 10.0\n"
             "NODE 2\nX_Y 15 25\nELEV 9.8\nXSEC\nMANNINGS_N 0.04\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1.5\n"
             "NODE 3\nX_Y 25 25\nELEV 9.6\nNODE 4\nX_Y 25 20\nELEV 9.4\n"
             "LINK 2\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.05\n"
             "NODE 1\nX_Y 25 20\nELEV 9.4\nXSEC\nBOTTOM_WIDTH 3\nBANKFULL_DEPTH 1.2\nSIDE_SLOPE 2\n"
             "NODE 2\nX_Y 25 15\nELEV 9.2\nNODE 3\nX_Y 25 12\nELEV 9.0\n");
  write_file("c.stm",
             "GRIDSTREAMFILE\nSTREAMCELLS 5\n"
             "CELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1.0\nCELLIJ 1 2\nNUMNODES 1\nLINKNODE 1 2 1.0\n"
             "CELLIJ 1 3\nNUMNODES 1\nLINKNODE 1 3 1.0\nCELLIJ 2 3\nNUMNODES 2\nLINKNODE 2 1 0.5\nLINKNODE 2 2 0.5\n"
             "CELLIJ 2 2\nNUMNODES 0\n");
  write_file("inset.msk", std::string(pluvo_test::strip_header()) + "0 0 1\n0 0 1\n");
  const std::string channel = "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\n";
  pluvo::free_time_series();
  const pluvo_test::project_result outer = pluvo_test::run_strip_project(
      channel + "XYBDYOUTPUT_MASK inset.msk\nXYBDYOUTPUT_STFLOW st.xy\nXYBDYOUTPUT_OVDEP ov.xy\n");
  ASSERT_FALSE(outer.stopped) << outer.out;
  EXPECT_NE(outer.out.find("PLUVO identified 1 stream link/nodes as crossing the inset mask boundary.\n1,2\t\n"),
            std::string::npos)
      << outer.out;
  const std::string st = read_file("st.xy");
  const std::string head =
      "XY_STREAM_HYDROGRAPHS\n1\nX                 \t         20.000\nY                 \t         25.000\n";
  ASSERT_EQ(st.substr(0, head.size()), head) << st;
  EXPECT_EQ(st.substr(st.size() - 7), "END_TS\n");
  const std::string ov_head = "XY_OV_DEPTH\n2\nDATE       TIME \t         1         2\n";
  EXPECT_EQ(read_file("ov.xy").substr(0, ov_head.size()), ov_head);

  pluvo::free_time_series();
  const pluvo_test::project_result inset = pluvo_test::run_strip_project(channel + "XYBDYINPUT_STFLOW st.xy\n");
  ASSERT_FALSE(inset.stopped) << inset.out;
  EXPECT_NE(inset.out.find("Matching up stream input to current link/node network \n"
                           "For input 0 the closest link/node pair is "),
            std::string::npos)
      << inset.out;
  pluvo::free_time_series();
}

}  // namespace

namespace {

// The head file of a nested pair: the outer strip simulates its aquifer (held at 9.5 m in the
// west column and 8 m in the east one) and writes the heads of an inset holding its two eastern
// columns; the inset, starting far lower, holds those cells at the outer heads and books the
// water it gains and loses to them.
TEST(NestedRun, TheInsetHoldsItsAquiferAtTheOuterRunsHeads) {
  pluvo_test::scratch_dir dir;
  write_file("wt.map", std::string(pluvo_test::strip_header()) + "9.5 9.0 8.0\n9.5 9.1 8.0\n");
  write_file("bot.map", pluvo_test::strip_map("0"));
  write_file("gwb.map", std::string(pluvo_test::strip_header()) + "2 1 2\n2 1 2\n");
  write_file("inset.msk", std::string(pluvo_test::strip_header()) + "0 1 1\n0 1 1\n");
  const std::string aquifer = "GW_SIMULATION\nGW_BOUNDFILE gwb.map\nWATER_TABLE wt.map\nAQUIFER_BOTTOM bot.map\n"
                              "GW_UNIF_HYCOND 3.6\nGW_UNIF_POROSITY 0.3\nGW_TIMESTEP 60\nGW_LSOR_CON 1e-13\n"
                              "GW_RELAX_COEFF 1.2\n";
  const std::string soil = pluvo_test::redistribution_soil("0.15");
  pluvo::free_time_series();
  const pluvo_test::project_result outer =
      pluvo_test::run_strip_project(soil + aquifer + "XYBDYOUTPUT_MASK inset.msk\nXYBDYOUTPUT_GWHEAD gw.xy\n");
  ASSERT_FALSE(outer.stopped) << outer.out;
  const std::string file = read_file("gw.xy");
  ASSERT_EQ(file.rfind("XY_GW_HEAD\n4\n", 0), 0u) << file;
  EXPECT_EQ(file.substr(file.size() - 7), "END_TS\n");
  auto [cells, rows] = read_xy_file(file);
  const int n = int(cells.size());
  ASSERT_EQ(rows.size(), 7u) << file;  // every 5 minutes over half an hour
  EXPECT_GT(std::fabs(rows[30][0] - rows[0][0]), 1e-3) << file;  // the middle column drained

  // The inset: its two columns, every cell held at its outer head (and far lower to begin with).
  const char* header = "north: 30\nsouth: 10\neast: 30\nwest: 10\nrows: 2\ncols: 2\n";
  write_file("i.msk", std::string(header) + "1 1\n1 1\n");
  write_file("i.ele", std::string(header) + "10.1 10.0\n10.1 10.05\n");
  write_file("wt.map", std::string(header) + "7 7\n7 7\n");
  write_file("bot.map", std::string(header) + "0 0\n0 0\n");
  write_file("gwb.map", std::string(header) + "2 2\n2 2\n");
  for (auto [name, v] : {std::pair<const char*, std::string>{"k.map", "1"}, {"h.map", "10"}, {"p.map", "0.45"},
                         {"w.map", "0.15"}, {"l.map", "0.3"}, {"r.map", "0.05"}})
    write_file(name, header + v + " " + v + "\n" + v + " " + v + "\n");
  std::string card_text = pluvo_test::strip_cards() + soil + aquifer + "XYBDYINPUT_GWHEAD gw.xy\n";
  for (auto [from, to] : {std::pair<std::string, std::string>{"w.msk", "i.msk"}, {"w.ele", "i.ele"},
                          {"COLS 3\nOUTROW 1\nOUTCOL 3", "COLS 2\nOUTROW 1\nOUTCOL 2"}})
    card_text.replace(card_text.find(from), from.size(), to);
  pluvo::free_time_series();
  int checked = 0;
  double worst = 0.0;
  const double start = pluvo::julian_date(2020, 6, 1, 10, 0, 0.0);
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (std::string(phase) != "groundwater_step") return;
    const long seconds = std::lround((m.cur_julian - start) * 86400.0);
    if (seconds == 0 || seconds % 60 != 0 || !rows.count(seconds / 60)) return;  // first step at 1 min
    const std::vector<double>& v = rows[seconds / 60];
    for (int i = 0; i < n; i++) worst = std::max(worst, std::fabs(m.elevgw[size_t(cells[size_t(i)])] - v[size_t(i)]));
    checked++;
  });
  const pluvo_test::project_result inset = pluvo_test::run_project_cards(card_text, 1);
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(inset.stopped) << inset.out;
  EXPECT_EQ(checked, 6) << checked;
  EXPECT_LT(worst, 1e-3) << file;  // the file holds millimetres
  const std::string sum = read_file("w.sum");
  const double gain = pluvo_test::number_after(sum, "Gain from XY boundaries          ");
  // Raised from 7 m to about 9, 8, 9.1 and 8 m on the first step, over 100 m2 at a porosity of 0.3.
  EXPECT_NEAR(gain, (2.0 + 1.0 + 2.1 + 1.0) * 100.0 * 0.3, 0.05) << sum;
  EXPECT_GT(pluvo_test::number_after(sum, "Loss to XY boundaries            "), 0.0) << sum;
  pluvo::free_time_series();
}

}  // namespace
