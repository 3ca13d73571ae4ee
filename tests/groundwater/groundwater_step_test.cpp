// The groundwater phase applying the stream exchange while the channels are not routed.
#include <gtest/gtest.h>

#include "channel/channel_fixture.hpp"
#include "groundwater/groundwater_phases.hpp"

namespace pluvo {
namespace {

// One link of three nodes over cells 1..3 (type 4 stream cells), the phase due now with a step
// of one hour and the channels idle.
std::unique_ptr<model_state> idle_stream(double depth, double head) {
  auto m = stream_over_aquifer(depth, head);
  m->chan_explic_on = 1;
  m->external_channel_inflow_on = 0;
  m->time_tolerance = 0.01 / 86400.0;
  m->gw_interval_s = 7200.0;
  m->gw_interval = 7200.0 / 86400.0;
  m->cur_julian = m->gw_next_time = 2450000.0;
  m->gw_last_time = m->cur_julian - 3600.0 / 86400.0;
  return m;
}

// Each node holds 2 mm over its 2.002 m wide bed and would lose far more in the hour: it
// loses exactly what it holds, and its cell books that volume for the aquifer.
TEST(GroundwaterStep, LosingNodeEmptiedWithoutRoutingEndsWithZeroArea) {
  auto m = idle_stream(0.002, 5.0);
  std::vector<double> held(4, 0.0);
  for (int n = 1; n <= 3; ++n) held[size_t(n)] = m->area[node_at(*m, 1, n)] * m->link_dx[1];
  groundwater_step(*m);
  ASSERT_EQ(error_state.error_code, 0);
  EXPECT_EQ(m->stream_gw_exchange_state, 2);
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(m->area[node_at(*m, 1, n)], 0.0) << "node " << n;
    EXPECT_NEAR(m->cell_stream_exchange_volume[size_t(n)], -held[size_t(n)], 1e-12) << "node " << n;
  }
  EXPECT_DOUBLE_EQ(m->gw_next_time, m->cur_julian + 7200.0 / 86400.0);
}

TEST(GroundwaterStep, GainingStreamRestartsRoutingNow) {
  auto m = idle_stream(0.1, 11.0);
  groundwater_step(*m);
  EXPECT_EQ(m->stream_gw_exchange_state, 1);
  EXPECT_EQ(m->external_channel_inflow_on, 1);
  EXPECT_EQ(m->chan_next_time, m->cur_julian);
  EXPECT_DOUBLE_EQ(m->chan_interval_s, 3600.0);
  EXPECT_GT(m->av_qriv[node_at(*m, 1, 2)], 0.0);
}

}  // namespace
}  // namespace pluvo
