// A tilted V whose valley is a stream made by the network generator, under steady rain: once
// the planes and the stream have filled, the outlet passes the rain that falls on the basin.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "run/scratch_dir.hpp"
#include "stream_network.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::run_command;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

constexpr int side = 21;
constexpr double dx = 10.0;

std::string v_grid(bool elevation) {
  char line[128];
  std::snprintf(line, sizeof line, "north: %.2f\nsouth: 0\neast: %.2f\nwest: 0\nrows: %d\ncols: %d\n", side * dx,
                side * dx, side, side);
  std::string text = line;
  for (int r = 0; r < side; r++) {
    for (int c = 0; c < side; c++) {
      // Side slopes of 2 % toward the valley column, the valley falling 0.5 % to the last row.
      const double z = 0.02 * dx * std::abs(c - side / 2) + 0.005 * dx * (side - 1 - r) + 100.0;
      std::snprintf(line, sizeof line, "%s%.3f", c ? " " : "", z);
      text += elevation ? line : (c ? " 1" : "1");
    }
    text += "\n";
  }
  return text;
}

// The last value of a two-column hydrograph file.
double last_discharge(const std::string& hydrograph) {
  const size_t end = hydrograph.find_last_not_of("\n");
  const size_t start = hydrograph.rfind('\n', end);
  double minutes = 0.0, q = -1.0;
  std::sscanf(hydrograph.c_str() + (start == std::string::npos ? 0 : start + 1), "%lf %lf", &minutes, &q);
  return q;
}

TEST(ValleyChannel, SteadyRainLeavesThroughTheStreamAtTheRateItFalls) {
  scratch_dir dir;
  write_file("v.msk", v_grid(false));
  write_file("v.ele", v_grid(true));
  using namespace pluvo::netgen;
  ascii_grid mask, elevation;
  std::string error;
  ASSERT_TRUE(read_ascii_grid("v.msk", mask, error)) << error;
  ASSERT_TRUE(read_ascii_grid("v.ele", elevation, error)) << error;
  network_options options;
  options.threshold = side;  // the valley line alone
  stream_network net;
  ASSERT_TRUE(build_stream_network(mask, elevation, options, net, error)) << error;
  ASSERT_EQ(net.links.size(), 2u);  // one link down the valley
  write_file("v.chn", channel_file_text(net));
  write_file("v.stm", grid_stream_file_text(net));
  write_file("v.lnk", link_map_text(net));
  write_file("v.nod", node_map_text(net));
  char cards[256];
  std::snprintf(cards, sizeof cards, "GRIDSIZE %.1f\nROWS %d\nCOLS %d\nOUTROW %d\nOUTCOL %d\n", dx, side, side, side,
                side / 2 + 1);
  write_file("v.prj", std::string("PLUVOPROJECT\nWATERSHED_MASK v.msk\nELEVATION v.ele\n") + cards +
                          "OUTSLOPE 0.005\nMANNING_N 0.05\nOVERTYPE 1\nTOT_TIME 240\nTIMESTEP 10\nHYD_FREQ 1\n"
                          "MAP_FREQ 60\nSTART_DATE 2026 6 1\nSTART_TIME 12 0\nPRECIP_UNIF\nRAIN_INTENSITY 25\n"
                          "RAIN_DURATION 240\nSUMMARY v.sum\nOUTLET_HYDRO v.otl\nCHAN_EXPLIC\n"
                          "CHANNEL_INPUT v.chn\nSTREAM_CELL v.stm\nLINKS v.lnk\nNODES v.nod\n");
  int status = -1;
  const std::string out = run_command(std::string(PLUVO_BINARY) + " v.prj 2>&1", status);
  ASSERT_EQ(status, 0) << out;
  const double rain_rate = 0.025 / 3600.0 * side * side * dx * dx;  // m3/s
  EXPECT_NEAR(last_discharge(read_file("v.otl")), rain_rate, 0.005 * rain_rate);
  const std::string summary = read_file("v.sum");
  EXPECT_NE(summary.find("Overall mass balance error =                              0.000000 percent"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("Total lateral inflow into channels="), std::string::npos) << summary;
}

}  // namespace
