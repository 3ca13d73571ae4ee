// The explicit channel router and the channel phase: sub-steps, continuity, lakes, and the
// volumes the balances read.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <string>

#include "channel/channel_phases.hpp"
#include "channel/channel_routines.hpp"
#include "channel/channel_services.hpp"
#include "channel/cross_sections.hpp"
#include "channel/explicit_routing.hpp"
#include "channel_fixture.hpp"

namespace pluvo {
namespace {

synthetic_link flat_link(int nodes, double depth, double dx = 100.0) {
  synthetic_link l;
  l.nodes = nodes;
  l.dx = dx;
  l.bed_top = 99.0;
  l.bed_slope = 0.0;
  l.depth = depth;
  return l;
}

// The channel phase is due now and routes a step of dt seconds.
void due_now(model_state& m, double dt) {
  m.time_tolerance = 0.01 / 86400.0;
  m.cur_julian = m.chan_next_time = m.chan_last_time = 2450000.0;
  m.chan_interval_s = dt;
  m.chan_interval = dt / 86400.0;
}

TEST(ChannelRouting, CourantSubSteps) {
  struct row {
    double dts, dx, q, area, limit, expected;
  };
  for (const row r : {
           row{1.0, 1.0, 0.04, 1.0, 0.04, 0.5},       // Cmax equal to the limit already splits
           row{1.0, 1.0, 0.039, 1.0, 0.04, 1.0},      // below it the step stays whole
           row{10.0, 100.0, 3.0, 1.0, 0.04, 10.0 / 8.0},  // C = 0.3: k = int(7.5 + 1)
           row{1.0, 1.0, 1e6, 1.0, 0.04, 0.0015},     // a split below 1 ms gives 1.5 ms
           row{1.0, 1.0, -1e6, 1.0, 0.04, 1.0},       // flows upstream never shorten it
           row{1.0, 1.0, 1e6, 1e-17, 0.04, 1.0},      // dry nodes are not tested
       }) {
    auto m = channel_model({{}, flat_link(2, 0.5, r.dx)}, {});
    m->max_courant_number_value = r.limit;
    m->qp[node_at(*m, 1, 1)] = r.q;
    m->area[node_at(*m, 1, 1)] = r.area;
    EXPECT_DOUBLE_EQ(courant_sub_step(*m, r.dts), r.expected) << r.q;
  }
}

TEST(ChannelRouting, LastSubStepTakesWhatIsLeft) {
  struct row {
    double dts, remaining, taken, left;
  };
  for (const row r : {row{0.0015, 0.004, 0.0015, 0.0025}, row{0.0015, 0.0025, 0.0025, 0.0},
                      row{3.0, 3.0005, 3.0005, 0.0}, row{2.0, 1.5, 1.5, 0.0}, row{1.0, 1.001, 1.001, 0.0}}) {
    double dts = r.dts, remaining = r.remaining;
    take_sub_step(dts, remaining);
    EXPECT_DOUBLE_EQ(dts, r.taken);
    EXPECT_NEAR(remaining, r.left, 1e-15);
  }
}

TEST(ChannelRouting, BadNodesStopTheRun) {
  struct row {
    double area, depth;
    const char* message;
  };
  for (const row r : {row{std::nan(""), 0.5, "In ex_flow_route 1:  cross-sectional area is not a number at link 1 node 2\n"},
                      row{0.5, -0.1, "in ex_flow_route 2, negative depth at link 1 node 2\nprogram stopped.\n"}}) {
    auto m = channel_model({{}, flat_link(3, 0.5)}, {});
    m->area[node_at(*m, 1, 2)] = r.area;
    m->yp[node_at(*m, 1, 2)] = m->bel[node_at(*m, 1, 2)] + r.depth;
    double sj = 0, g = 0, l = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(ex_flow_route(*m, 10.0, sj, g, l), -1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(r.message), std::string::npos) << out;
    EXPECT_EQ(error_state.error_terminate, 1);
  }
}

// A negative first-order inflow drains a dry link head: halving cannot help, and once the
// sub-step is below 1 ms the run stops with the four lines.
TEST(ChannelRouting, RepeatedHalvingStopsTheRun) {
  auto m = channel_model({{}, flat_link(3, 0.0)}, {});
  m->first_order_chan_q_value = -1.0;
  double sj = 0, g = 0, l = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(ex_flow_route(*m, 10.0, sj, g, l), -1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("The channel routing time step is getting really small\nless than 1/1000 of a second\n"
                     "Reduce the model time step and/or MAX_COURANT_NUMBER (default=0.04) \nProgram stopped.\n"),
            std::string::npos)
      << out;
}

// A deep head node on a steep link empties into dry nodes within one long step: the sub-step is
// halved until no node goes dry, and the water is all there afterwards.
TEST(ChannelRouting, HalvingKeepsNodesWet) {
  synthetic_link l = flat_link(3, 0.001);
  l.bed_slope = 0.01;
  auto m = channel_model({{}, l}, {});
  m->max_courant_number_value = 1e9;
  m->yp[node_at(*m, 1, 1)] = m->bel[node_at(*m, 1, 1)] + 1.0;
  m->chan_depth[node_at(*m, 1, 1)] = 1.0;
  ex_section(*m, 2, m->xsec_table_exceeded);
  const double before = channel_stored_volume(*m);
  double sj = 0, g = 0, lo = 0;
  EXPECT_EQ(ex_flow_route(*m, 600.0, sj, g, lo), 0);
  for (int n = 1; n <= 3; n++) EXPECT_GE(m->area[node_at(*m, 1, n)], 0.0);
  EXPECT_NEAR(channel_stored_volume(*m) + m->outlet_step_volume, before, 1e-10 * before);
}

TEST(ChannelRouting, ZeroStepRoutesNothing) {
  auto m = channel_model({{}, flat_link(3, 0.5)}, {});
  m->qp[node_at(*m, 1, 3)] = 1.0;
  m->outlet_step_volume = 7.0;
  const std::vector<double> area = m->area;
  double sj = 0, g = 0, l = 0;
  EXPECT_EQ(ex_flow_route(*m, 0.0, sj, g, l), 0);
  EXPECT_EQ(m->outlet_step_volume, 0.0);
  EXPECT_EQ(m->area, area);
}

// The lumped base flow reaches the stream once, and keeps reaching it in the sub-steps after
// the overbank return rebuilt the lateral inflow.
TEST(ChannelPhase, LumpedBaseFlowCountsOnceInEverySubStep) {
  synthetic_link l = flat_link(4, 0.5);
  l.bed_slope = 0.001;
  auto m = channel_model({{}, l}, {{1, 2, 0.0, 100.0, 0}});
  m->overbank_flow_on = 1;
  m->ov_water_on_land = 1;
  m->sacramento_on = 1;
  m->sac_flow_cms = 0.5;
  m->gst_sac_weight[1][1] = 1.0;
  m->first_order_chan_q_value = 0.3;
  due_now(*m, 60.0);
  const double before = channel_stored_volume(*m);
  route_channels_step(*m);
  ASSERT_EQ(error_state.error_terminate, 0);
  EXPECT_EQ(m->chan_step_count, 1);
  EXPECT_NEAR(m->chan_lat_in_volume, 30.0, 1e-9);
  EXPECT_GT(m->outlet_volume, 0.0);
  EXPECT_NEAR(channel_stored_volume(*m) - before, 30.0 + 18.0 - m->outlet_volume, 1e-9);
  EXPECT_EQ(m->chan_volume_final, channel_stored_volume(*m));
  EXPECT_EQ(m->chan_next_time, m->cur_julian + m->chan_interval);
}

// A stream 2 cm over its bank at the head of a steep link spills onto the cell; once it has
// fallen below the bank the rest of the spill stays in the stream. What the stream lost is what
// the cell got, or, for a head boundary cell, what the boundary lost.
TEST(ChannelPhase, OverbankSpillGoesBackWhenTheStreamFalls) {
  for (const int boundary : {0, 2}) {
    synthetic_link l = flat_link(4, 2.02);
    l.bed_slope = 0.01;
    auto m = channel_model({{}, l}, {{1, 1, 0.0, 100.0, boundary}});
    m->overbank_flow_on = 1;
    m->ov_water_on_land = 1;
    due_now(*m, 60.0);
    route_channels_step(*m);
    ASSERT_EQ(error_state.error_terminate, 0);
    const double spilled = 0.01 * (4.02 * 2.02 - 8.0) * 100.0;  // 1 % of the water above the bank
    const double lost = -m->chan_lat_out_volume;
    EXPECT_GT(lost, 0.0);
    EXPECT_LT(lost, 0.5 * spilled);
    if (boundary) {
      EXPECT_NEAR(m->ov_head_bound_loss, lost, 1e-12);
      EXPECT_EQ(m->ov_depth[1], 0.0);
    } else {
      EXPECT_NEAR(m->ov_depth[1] * 900.0, lost, 1e-12);
      EXPECT_EQ(m->ov_head_bound_loss, 0.0);
    }
  }
}

TEST(ChannelPhase, WaitsForItsTime) {
  auto m = channel_model({{}, flat_link(3, 0.5)}, {{1, 2, 0.1, 100.0, 0}});
  m->ov_water_on_land = 1;
  due_now(*m, 60.0);
  m->chan_next_time += 0.02 / 86400.0;
  route_channels_step(*m);
  EXPECT_EQ(m->ov_depth[1], 0.1);
  EXPECT_EQ(m->chan_phase_count, 0);
}

}  // namespace
}  // namespace pluvo
