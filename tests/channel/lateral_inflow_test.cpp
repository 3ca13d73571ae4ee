// Water between the stream cells and the stream nodes: the weir over the bank, the overbank
// spill and its limit, the boundary cells, and the submergence factor.
#include <gtest/gtest.h>

#include <cmath>

#include "channel/channel_routines.hpp"
#include "channel_fixture.hpp"

namespace pluvo {
namespace {

constexpr double weir = 3.40978982734;

TEST(LateralInflow, SubmergenceFactors) {
  struct row {
    double x, factor;
  };
  for (const row r : {row{0.0, 1.0}, row{0.5, 1.0}, row{0.76, 1.0}, row{0.8, 0.947}, row{0.95, 0.75},
                      row{0.975, 0.375}, row{1.0, 0.0}, row{1.3, 0.0}, row{0.78, 0.9735}})
    EXPECT_NEAR(weir_submergence_factor(r.x), r.factor, 1e-12) << r.x;
}

// One 3-node link; the cell beside node 2 holds h over a bed 1 m below the ground.
std::unique_ptr<model_state> one_cell(double h, int boundary = 0) {
  synthetic_link l;
  l.nodes = 3;
  l.bed_top = 99.0;
  l.bed_slope = 0.0;
  l.depth = 0.2;
  return channel_model({{}, l}, {{1, 2, h, 100.0, boundary}});
}

TEST(LateralInflow, PlainWeirMovesTheCellsWaterIntoTheNode) {
  struct row {
    double h;
    bool empties;
  };
  // 1 cm flows at 0.341 m3/s for 10 s and leaves water; 10 cm would take 108 m3 from the 90
  // the cell holds, and the cell is emptied exactly.
  for (const row r : {row{0.01, false}, row{0.1, true}}) {
    auto m = one_cell(r.h);
    double boundary = 0.0;
    EXPECT_EQ(compute_channel_lateral_inflow(*m, 10.0, boundary), 0.0);
    const double moved = m->qlat[node_at(*m, 1, 2)] * 100.0 * 10.0;
    EXPECT_NEAR(moved, (r.h - m->ov_depth[1]) * 900.0, 1e-12 * 900.0);
    EXPECT_DOUBLE_EQ(m->gst_qlat[1][1] * 10.0, moved);
    if (r.empties) {
      EXPECT_EQ(m->ov_depth[1], 0.0);
      EXPECT_NEAR(moved, 90.0, 1e-12);
    } else {
      EXPECT_NEAR(moved, std::pow(r.h, 1.5) * 100.0 * weir * 10.0, 1e-12);
    }
    EXPECT_EQ(boundary, 0.0);
  }
}

// A boundary cell keeps its depth: what it gives the stream enters the basin through the head
// boundary.
TEST(LateralInflow, BoundaryCellGivesWithoutLosingDepth) {
  auto m = one_cell(0.01, 2);
  double boundary = 0.0;
  compute_channel_lateral_inflow(*m, 10.0, boundary);
  EXPECT_EQ(m->ov_depth[1], 0.01);
  EXPECT_NEAR(m->ov_head_bound_gain, m->qlat[node_at(*m, 1, 2)] * 100.0 * 10.0, 1e-12);
  EXPECT_GT(m->ov_head_bound_gain, 0.0);
  EXPECT_EQ(boundary, 0.0);
}

// A stream 0.5 m above its bank spills onto a dry cell at most 1 % of the water above the bank
// per step (3.25 m2 x 100 m here), and the cell gets exactly what the node loses; onto a
// boundary cell the same volume is booked as sent to the boundary.
TEST(LateralInflow, OverbankSpillTakesAtMostItsShareOfTheWaterAboveTheBank) {
  for (const int boundary : {0, 2}) {
    synthetic_link l;
    l.nodes = 3;
    l.bed_top = 99.0;
    l.bed_slope = 0.0;
    l.depth = 2.5;
    auto m = channel_model({{}, l}, {{1, 2, 0.0, 100.0, boundary}});
    m->overbank_flow_on = 1;
    double sent = 0.0;
    compute_channel_lateral_inflow(*m, 10.0, sent);
    const double lost = -m->qlat[node_at(*m, 1, 2)] * 100.0 * 10.0;
    EXPECT_NEAR(lost, 0.01 * 3.25 * 100.0, 1e-12);
    EXPECT_NEAR(m->yp[node_at(*m, 1, 2)], 101.5, 1e-12);  // the node is left at its stage
    if (boundary) {
      EXPECT_NEAR(sent, lost, 1e-12);
      EXPECT_EQ(m->ov_depth[1], 0.0);
    } else {
      EXPECT_EQ(sent, 0.0);
      EXPECT_NEAR(m->ov_depth[1] * 900.0, lost, 1e-12);
    }
  }
}

// Entries in lake cells, beyond a link's active nodes and on captured links are left alone.
TEST(LateralInflow, SkipsLakeCellsAndCapturedLinks) {
  auto m = one_cell(0.05);
  m->lakes_on = 1;
  m->nlakes = 1;
  m->lake_mask[1] = 1;
  double boundary = 0.0;
  compute_channel_lateral_inflow(*m, 10.0, boundary);
  EXPECT_EQ(m->ov_depth[1], 0.05);
  m->lake_mask[1] = 0;
  m->ltype[1] |= 128;
  compute_channel_lateral_inflow(*m, 10.0, boundary);
  EXPECT_EQ(m->ov_depth[1], 0.05);
  EXPECT_EQ(m->qlat[node_at(*m, 1, 2)], 0.0);
}

}  // namespace
}  // namespace pluvo
