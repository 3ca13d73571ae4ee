// The routed network against physical truths: Manning normal depth in a long uniform link,
// closed volume balances of a junction network and of a lake taking and giving back nodes, and
// the same state on any number of threads.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>

#include "channel/channel_phases.hpp"
#include "channel/channel_routines.hpp"
#include "channel/channel_services.hpp"
#include "channel/explicit_routing.hpp"
#include "channel_fixture.hpp"

namespace pluvo {
namespace {


// The next update of the phase is due.
void advance(model_state& m) { m.cur_julian = m.chan_next_time; }

// The length of the update that is due, as the phase takes it from the clock.
double due_seconds(const model_state& m) {
  return m.cur_julian - m.chan_last_time > 1e-6 ? (m.cur_julian - m.chan_last_time) * 86400.0 : m.chan_interval_s;
}

// Depth at which a trapezoid carries q in uniform flow, by bisection on Manning's law.
double normal_depth(double q, double n, double s0, double b, double z) {
  double lo = 0.0, hi = 20.0;
  for (int i = 0; i < 200; i++) {
    const double y = 0.5 * (lo + hi);
    const double a = (b + z * y) * y;
    const double p = b + 2.0 * y * std::sqrt(1.0 + z * z);
    const double flow = a * std::pow(a / p, 2.0 / 3.0) * std::sqrt(s0) / n;
    (flow < q ? lo : hi) = y;
  }
  return 0.5 * (lo + hi);
}

TEST(RoutingPhysics, UniformFlowReachesManningNormalDepth) {
  synthetic_link l;
  l.nodes = 60;
  l.dx = 100.0;
  l.bed_top = 100.0;
  l.bed_slope = 0.001;
  l.bottom = 2.0;
  l.side_slope = 1.5;
  l.mannings_n = 0.035;
  l.depth = 0.2;
  auto m = channel_model({{}, l}, {});
  m->first_order_chan_q_value = 2.0;
  m->external_channel_inflow_on = 1;
  due_now(*m, 60.0);
  const int out = int(node_at(*m, 1, 60));
  for (int step = 0; step < 3000; step++) {
    route_channels_step(*m);
    ASSERT_EQ(error_state.error_terminate, 0);
    advance(*m);
  }
  const double yn = normal_depth(2.0, 0.035, 0.001, 2.0, 1.5);
  for (int n = 21; n <= 40; n++) EXPECT_NEAR(m->chan_depth[node_at(*m, 1, n)] / yn, 1.0, 0.01) << n;
  EXPECT_NEAR(m->qp[size_t(out)], 2.0, 2e-6);
}

// Two head links join a third; lateral inflow from wet cells, a point input and the head
// inflows in, the outlet out: storage change = inflow - outflow over 1000 updates.
TEST(RoutingPhysics, JunctionNetworkKeepsItsVolume) {
  std::vector<synthetic_link> links(4);
  for (int i = 1; i <= 3; i++) {
    links[size_t(i)].nodes = 5;
    links[size_t(i)].bed_slope = 0.002;
    links[size_t(i)].depth = 0.1;
  }
  links[1].bed_top = links[2].bed_top = 12.0;
  links[1].downstream = links[2].downstream = 3;
  links[3].bed_top = 11.0;
  // Free outflow at normal depth, then the outlet held at its stage (its lateral and point
  // inflows and what reaches it leave through the outlet).
  for (const int held : {0, 1}) {
    auto m = channel_model(links, {{1, 2, 0.0, 13.0, 0}, {2, 4, 0.0, 12.5, 0}, {3, 3, 0.0, 11.0, 0},
                                   {3, 5, 0.0, 10.0, 0}});
    m->head_bound_on = held;
    m->first_order_chan_q_value = 0.05;
    m->chan_point_input_on = 1;
    m->chan_point_flow[node_at(*m, 3, 2)] = 0.2;
    m->chan_point_flow[node_at(*m, 3, 5)] = 0.1;  // at the outlet node
    due_now(*m, 10.0);
    const double start = channel_stored_volume(*m);
    double head_inflow = 0.0;
    for (int step = 0; step < 1000; step++) {
      head_inflow += 2 * 0.05 * due_seconds(*m);
      // Rain keeps the cells wet for the first half.
      if (step < 500)
        for (int c = 1; c <= 4; c++) m->ov_depth[size_t(c)] += 0.002;
      m->ov_water_on_land = 1;
      route_channels_step(*m);
      ASSERT_EQ(error_state.error_terminate, 0);
      advance(*m);
    }
    const double inflow = m->chan_lat_net_total + m->chan_point_total + head_inflow;
    const double change = channel_stored_volume(*m) - start;
    EXPECT_GT(m->chan_lat_in_volume, 100.0);
    EXPECT_NEAR(change, inflow - m->outlet_volume_total, 1e-10 * (inflow + start)) << held;
    // The balance books the point inputs and the head inflow as stream point sources.
    EXPECT_NEAR(m->stream_point_source_total - m->stream_point_sink_total, m->chan_point_total + head_inflow,
                1e-10 * inflow)
        << held;
  }
}

// A link flowing into a lake: the lake takes its lower nodes while their cells lie in the lake
// and gives them back once the cells are dry, and lake + channel volume stays what came in.
TEST(RoutingPhysics, LakeTakesAndGivesBackNodes) {
  std::vector<synthetic_link> links(3);
  links[1].nodes = 5;
  links[1].bed_top = 12.0;
  links[1].bed_slope = 0.002;
  links[1].depth = 0.3;
  links[1].downstream = 2;
  links[2].nodes = 2;
  links[2].bed_top = 10.0;
  links[2].bed_slope = 0.0;
  std::vector<stream_cell> cells;
  for (int n = 1; n <= 5; n++) cells.push_back({1, n, 0.0, 20.0, 0});
  auto m = channel_model(links, cells);
  m->ltype[2] = 32;  // the lake at the outlet
  m->nlakes = 1;
  m->lakes_on = 1;
  m->lake2link[2] = 1;
  m->lake_volume.assign(3, 0.0);
  m->lake_volume[1] = 500.0;
  m->lake_elev.assign(3, 0.0);
  m->lake_elev[1] = 11.3;
  m->lake_in_dv.assign(3, 0.0);
  m->lake_out_dv.assign(3, 0.0);
  m->lake_cells_unmarked = 0;
  m->first_order_chan_q_value = 0.1;
  due_now(*m, 10.0);
  const double start = channel_stored_volume(*m) + m->lake_volume[1];
  int least_nodes = 5;
  double balance_error = 0.0;
  double inflow = 0.0;
  testing::internal::CaptureStdout();
  for (int step = 0; step < 300; step++) {
    inflow += 0.1 * due_seconds(*m);
    for (int n = 3; n <= 5; n++) m->lake_mask[size_t(n)] = step >= 100 && step < 200 ? 1 : 0;
    route_channels_step(*m);
    if (error_state.error_terminate) break;
    least_nodes = std::min(least_nodes, m->nx[1]);
    const double held = channel_stored_volume(*m) + m->lake_volume[1] + m->outlet_volume_total;
    balance_error = std::max(balance_error, std::fabs(held - start - inflow));
    advance(*m);
  }
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(error_state.error_terminate, 0);
  EXPECT_LT(balance_error, 1e-11 * start);
  EXPECT_EQ(least_nodes, 2);
  EXPECT_EQ(m->nx[1], 5);
  EXPECT_NE(printed.find("stream node taken: [5][1] lake_elev:   11.30, dslink:2 nx: 4\n"), std::string::npos) << printed;
  EXPECT_NE(printed.find("node released:[3][1], elev:11.6"), std::string::npos) << printed;
}

// The state after many updates is the same on one thread and on eight, with the superjunction
// sum over more junctions than the threading threshold.
TEST(RoutingPhysics, SameStateOnOneAndEightThreads) {
  auto run = [](int threads) {
    omp_set_num_threads(threads);
    auto m = channel_model(dendritic_network(300, 10, 0.2), {{1, 2, 0.0, 30.0, 0}});
    m->storm_sewer_on = 1;
    const int j = 5000;
    m->num_superjunctions = j;
    m->inlet_type.assign(1, j, 999);
    m->superlink_chan_con_link.assign(size_t(j) + 1, 1);
    m->superlink_chan_con_node.assign(size_t(j) + 1, 3);
    m->superlink_chan_con_flow.assign(size_t(j) + 1, 0.0);
    due_now(*m, 10.0);
    for (int step = 0; step < 20; step++) {
      for (int i = 1; i <= j; i++) m->superlink_chan_con_flow[size_t(i)] = 1e-4 * (1 + i % 7) / 3.0;
      m->ov_depth[1] = 0.05;
      m->ov_water_on_land = 1;
      route_channels_step(*m);
      advance(*m);
    }
    return m;
  };
  auto one = run(1);
  auto eight = run(8);
  omp_set_num_threads(omp_get_num_procs());
  EXPECT_EQ(one->area, eight->area);
  EXPECT_EQ(one->qp, eight->qp);
  EXPECT_EQ(one->superlink_to_chan_total, eight->superlink_to_chan_total);
  EXPECT_EQ(one->outlet_volume_total, eight->outlet_volume_total);
  EXPECT_GT(one->superlink_to_chan_total, 0.0);
}

}  // namespace
}  // namespace pluvo
