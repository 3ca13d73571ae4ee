// Flow blockage through the real project reader: water stands on the open share of a blocked
// cell, a face passes the open share of the flow its heads drive, and rain on the blocked share
// never reaches the ground, so the books of every event close under each overland scheme.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "input/table_fixture.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/whole_project.hpp"
#include "soil/long_term_project.hpp"

namespace {

using pluvo_test::number_after;
using pluvo_test::numbers_after;
using pluvo_test::read_file;
using pluvo_test::write_file;

// The blockage cards with one class per cell of the index map: the blocked share of the area,
// then of the faces toward the above, right, below and left neighbour.
std::string blockage_cards(const std::string& index_map, const std::vector<std::string>& classes) {
  write_file("land.idx", std::string(pluvo_test::strip_header()) + index_map);
  std::string table = "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP land.idx Land use\nOVR_FLOW_BLOCK Land use\nNUM_IDS " +
                      std::to_string(classes.size()) + "\nid\n";
  for (size_t k = 0; k < classes.size(); ++k) table += pluvo_test::table_row(int(k) + 1, classes[k]);
  write_file("w.cmt", table);
  return "MAPPING_TABLE w.cmt\nOVR_FLOW_BLOCK\n";
}

std::string with_overtype(std::string cards, const char* overtype) {
  cards.replace(cards.find("OVERTYPE 1"), 10, overtype);
  return cards;
}

// What a run's overland step left: the depths and face flows (m3/s) of the first step that moved
// water, and the x and y flows of every step at its end.
struct routed {
  std::vector<double> first_depth, first_qx, first_qy;
  std::vector<double> last_qx, last_qy;
  double rain_booked = 0.0, surface = 0.0;
};

routed run_strip(const std::string& cards) {
  routed r;
  pluvo::set_phase_observer([&r](const char* phase, int, pluvo::model_state& m) {
    // Observed before the phase runs: the overland step is done when the pipe step starts.
    if (std::string(phase) != "drain_network_step") return;
    const size_t n = size_t(m.cell_count) + 1;
    if (m.ov_qx.size() < n || m.ov_qy.size() < n) return;  // nothing routed yet
    r.last_qx.assign(m.ov_qx.begin(), m.ov_qx.begin() + long(n));
    r.last_qy.assign(m.ov_qy.begin(), m.ov_qy.begin() + long(n));
    r.rain_booked = m.rain_volume_total;
    bool moved = false;
    for (size_t i = 1; i < n; ++i) moved = moved || m.ov_qx[i] != 0.0 || m.ov_qy[i] != 0.0;
    if (moved && r.first_depth.empty()) {
      r.first_depth.assign(m.ov_depth.begin(), m.ov_depth.begin() + long(n));
      r.first_qx = r.last_qx;
      r.first_qy = r.last_qy;
    }
  });
  const auto run = pluvo_test::run_strip_cards(cards);
  pluvo::set_phase_observer(nullptr);
  EXPECT_FALSE(run.stopped) << run.out;
  return r;
}

// The Parts' "half the flow": a face whose blocked share is b passes (1 - b) of the flow the same
// heads drive across an open face, and a cell's depth changes by its net inflow over its open
// area. So a strip blocked by half everywhere, whose rain reaches the ground on its open half
// only, is an open strip of half the width: from the same depths every face passes exactly half
// the flow, and the depths stay the same; in a steady state every face passes half the flow of
// the open strip. The outlet's Manning outflow is that of the full cell width, so the outlet
// cell alone drains its smaller volume faster.
TEST(FlowBlockageProject, AStripBlockedByHalfPassesHalfTheFlow) {
  for (const char* overtype : {"OVERTYPE 1", "OVERTYPE 2", "OVERTYPE 3"}) {
    SCOPED_TRACE(overtype);
    pluvo_test::scratch_dir dir;
    // An hour of rain: the strip is steady long before it ends.
    std::string cards = with_overtype(pluvo_test::strip_cards(), overtype);
    cards.replace(cards.find("RAIN_DURATION 10"), 16, "RAIN_DURATION 60");
    cards.replace(cards.find("TOT_TIME 30"), 11, "TOT_TIME 60");
    const routed open = run_strip(cards);
    const routed half = run_strip(cards + blockage_cards("1 1 1\n1 1 1\n", {"0.5 0.5 0.5 0.5 0.5"}));
    ASSERT_EQ(open.first_qx.size(), 7u);
    ASSERT_EQ(half.first_qx.size(), 7u);
    const int outlet = 3;
    // ADE-PC's predictor carries the outlet's faster draining to its neighbours within the step.
    const double near = std::string(overtype) == "OVERTYPE 3" ? 1e-5 : 0.0;
    for (size_t i = 1; i <= 6; ++i) {
      EXPECT_NEAR(half.first_qx[i], 0.5 * open.first_qx[i], near * std::fabs(open.first_qx[i]) + 1e-12) << i;
      EXPECT_NEAR(half.first_qy[i], 0.5 * open.first_qy[i], near * std::fabs(open.first_qy[i]) + 1e-12) << i;
      if (int(i) != outlet) {
        EXPECT_NEAR(half.first_depth[i], open.first_depth[i], near * open.first_depth[i]) << i;
      }
    }
    EXPECT_GT(open.first_qx[1], 0.0);
    // Steady: each face carries the rain of the ground above it.
    for (size_t i : {1u, 2u, 4u, 5u}) {
      EXPECT_GT(open.last_qx[i], 1e-4) << i;
      EXPECT_NEAR(half.last_qx[i] / open.last_qx[i], 0.5, 0.005) << i;
    }
    EXPECT_GT(open.rain_booked, 20.0);
    EXPECT_EQ(half.rain_booked, 0.5 * open.rain_booked);
  }
}

// A long run of three storms over cells blocked by different shares, the outlet among them:
// every event's water balance and the run's close under the explicit scheme and ADE, and the rain booked is the
// rain on the open ground.
TEST(FlowBlockageProject, ThreeStormsCloseTheirBooksUnderEveryScheme) {
  // ADE-PC makes one pass per step without sub-steps: at the minute steps of a long run it is
  // unstable on this strip, blocked or not.
  for (const char* overtype : {"OVERTYPE 1", "OVERTYPE 2"}) {
    SCOPED_TRACE(overtype);
    pluvo_test::scratch_dir dir;
    pluvo_test::write_long_term_inputs(4);
    write_file("storms.gag", pluvo_test::three_storms());
    // A soil that takes little water, so that the storms run off the land.
    std::string soil = pluvo_test::redistribution_soil("0.25");
    write_file("k.map", pluvo_test::strip_map("0.001"));
    const std::string cards = with_overtype(pluvo_test::long_term_cards(soil), overtype);
    const routed open = run_strip(cards);
    const routed blocked =
        run_strip(cards + blockage_cards("1 2 1\n1 2 2\n", {"0.5 0.1 0.2 0.3 0.4", "0.2 0 0.5 0 0.25"}));
    const std::string sum = read_file("w.sum");
    const auto errors = numbers_after(sum, "mass conservation error:");
    ASSERT_EQ(errors.size(), 3u) << sum;
    for (double e : errors) EXPECT_NEAR(e, 0.0, 1e-6);
    EXPECT_NEAR(number_after(sum, "Overall mass balance error ="), 0.0, 1e-6);
    // Cells 1, 3 and 4 are open by half, 2, 5 and 6 by four fifths.
    EXPECT_GT(open.rain_booked, 30.0);
    EXPECT_NEAR(blocked.rain_booked, 0.65 * open.rain_booked, 1e-9 * open.rain_booked);
    EXPECT_GT(number_after(sum, "Total amount of discharge="), 1.0);
  }
}

}  // namespace
