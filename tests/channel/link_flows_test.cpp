// Flows at junctions, lakes, structures and the outlet on small networks, and the weir laws
// against their closed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "channel/channel_routines.hpp"
#include "common/printed.hpp"
#include "common/time_series.hpp"
#include "input/neighbour_services.hpp"
#include "network_fixture.hpp"

namespace pluvo {
namespace {

using pluvo_test::link_spec;
using pluvo_test::make_network;
using pluvo_test::node_key;
using pluvo_test::set_node;

class LinkFlows : public ::testing::Test {
 protected:
  void SetUp() override { error_state = error_state_record{}; }
  void TearDown() override { error_state = error_state_record{}; }
};

// Link 1 (3 nodes, dx 100) joins link 2 (3 nodes, dx 50), the outlet, on a falling bed.
std::unique_ptr<model_state> junction() {
  auto m = make_network({link_spec{4, 3, 100.0, 2, {}}, link_spec{4, 3, 50.0, 0, {1}}});
  const double beds1[] = {10.2, 10.1, 10.0}, beds2[] = {9.0, 8.9, 8.8};
  for (int n = 1; n <= 3; n++) {
    set_node(*m, n, 1, beds1[n - 1], 0.5, 20.0 + n);
    set_node(*m, n, 2, beds2[n - 1], 0.5, 30.0 + n);
  }
  return m;
}

TEST_F(LinkFlows, JunctionFollowsTheSurfacesWithTheConveyanceOfTheNodeTheWaterLeaves) {
  struct junction_case {
    const char* name;
    double downstream_depth;  // at node 1 of link 2; link 1 ends at 10.5
  };
  for (const junction_case c : {junction_case{"equal surfaces", 1.5}, junction_case{"upstream lower", 1.8},
                                junction_case{"upstream higher", 0.7}}) {
    auto m = junction();
    set_node(*m, 1, 2, 9.0, c.downstream_depth, 31.0);
    std::vector<double> q(size_t(m->chan_slot_count), 0.0);
    ASSERT_EQ(link_boundary_flows(*m, q, 10.0, 60.0), 0) << c.name;
    const double s = (10.5 - (9.0 + c.downstream_depth)) / 75.0;
    const double want = s < 0.0 ? -std::sqrt(-s) * 31.0 : std::sqrt(s) * 23.0;
    EXPECT_NEAR(q[node_key(*m, 3, 1)], want, 1e-12) << c.name;
    // Inside a link: the upstream node's conveyance on a falling surface.
    EXPECT_NEAR(q[node_key(*m, 1, 1)], std::sqrt(0.1 / 100.0) * 21.0, 1e-12) << c.name;
  }
}

TEST_F(LinkFlows, AStreamNeverTakesWaterBackFromALake) {
  for (const double level : {10.8, 10.5, 10.2}) {
    auto m = make_network({link_spec{4, 3, 100.0, 2, {}}, link_spec{32, 2, 1.0, 3, {1}, 1},
                           link_spec{4, 3, 50.0, 0, {2}}},
                          1);
    for (int n = 1; n <= 3; n++) {
      set_node(*m, n, 1, 10.2 - 0.1 * n, 0.6, 20.0 + n);
      set_node(*m, n, 3, 9.0 - 0.1 * n, 0.5, 30.0);
    }
    m->lake_elev[1] = level;
    std::vector<double> q(size_t(m->chan_slot_count), -7.0);
    ASSERT_EQ(link_boundary_flows(*m, q, 10.0, 60.0), 0);
    const double s = (10.5 - level) / 200.0;
    if (s > 0.0)
      EXPECT_NEAR(q[node_key(*m, 3, 1)], std::sqrt(s) * 23.0, 1e-12) << level;
    else
      EXPECT_EQ(q[node_key(*m, 3, 1)], 0.0) << level;
    // The lake link is not evaluated: its nodes keep what the matrix held.
    EXPECT_EQ(q[node_key(*m, 1, 2)], -7.0);
  }
}

hydraulic_structure weir(double crest, double length, double forward, double reverse) {
  hydraulic_structure w;
  w.structtype = 1;
  w.upinvert = crest;
  w.length = length;
  w.inlet_disch_coeff = forward;
  w.rev_flow_disch_coeff = reverse;
  return w;
}

double weir_q(const hydraulic_structure& w, double up, double down) {
  std::vector<hydraulic_structure> s{hydraulic_structure(), w};
  double q = 99.0;
  weir_flow(s, 1, up, down, q);
  return q;
}

TEST_F(LinkFlows, WeirLawsMatchTheirClosedForms) {
  const hydraulic_structure w = weir(100.0, 3.0, 0.6, 0.5);
  EXPECT_EQ(weir_q(w, 99.9, 99.5), 0.0);
  EXPECT_EQ(weir_q(w, 99.5, 99.9), 0.0);
  // Free flow: (2/3) C L sqrt(2g/3) H^1.5, signed by the higher side with its coefficient.
  const double free_flow = 2.0 / 3.0 * 0.6 * 3.0 * std::sqrt(19.62 / 3.0) * std::pow(1.2, 1.5);
  EXPECT_NEAR(weir_q(w, 101.2, 100.1), free_flow, 1e-12 * free_flow);
  EXPECT_NEAR(weir_q(w, 100.1, 101.2), -free_flow * 0.5 / 0.6, 1e-12 * free_flow);
  // Submerged: the square-root form, and the linear form below dh = 0.01.
  EXPECT_NEAR(weir_q(w, 101.0, 100.9), std::sqrt(0.1 * 19.62) * 0.6 * 3.0 * 0.9, 1e-9);
  EXPECT_NEAR(weir_q(w, 100.9, 100.905), -std::sqrt(1962.0) * 0.5 * 3.0 * 0.9 * 0.005, 1e-12);
  // The two forms meet at dh = 0.01 (near a low crest, where levels resolve 1e-15 m).
  const hydraulic_structure low = weir(0.0, 3.0, 0.6, 0.5);
  const double below_level = 0.5 + 0.01 * (1.0 - 1e-13);
  ASSERT_LT(below_level - 0.5, 0.01);
  ASSERT_GE(0.51 - 0.5, 0.01);
  const double at = weir_q(low, 0.51, 0.5), below = weir_q(low, below_level, 0.5);
  EXPECT_NEAR(below, at, 1e-12 * at);
}

TEST_F(LinkFlows, SagWeirIsTheParabolicCrestClosedForm) {
  hydraulic_structure w = weir(5.0, 10.0, 0.62, 0.55);
  w.structtype = 2;
  w.size1 = -0.2;  // steep side
  w.size2 = 0.1;   // shallow side
  std::vector<hydraulic_structure> s{hydraulic_structure(), w};
  const double k = (0.1 - -0.2) / 20.0;
  for (const double h : {0.05, 0.8, 2.5}) {
    double q = 0.0;
    weir_flow_alt(s, 1, 5.0 + h, 4.0, q);
    const double want = std::sqrt(19.62) * 0.62 * h * h / std::sqrt(k);
    EXPECT_NEAR(q, want, 1e-12 * want) << h;
    weir_flow_alt(s, 1, 5.0 + h - 0.01, 5.0 + h, q);
    EXPECT_LT(q, 0.0) << h;
  }
  double q = 1.0;
  weir_flow_alt(s, 1, 5.0, 4.0, q);
  EXPECT_EQ(q, 0.0);
}

std::unique_ptr<model_state> structure_network(const std::vector<hydraulic_structure>& elements,
                                               bool lake_above = false) {
  return pluvo_test::structure_network(elements, 100.0, 1.5, 98.0, 1.0, lake_above);
}

TEST_F(LinkFlows, AStructureSumsItsElementsAndFeedsTheLinkAbove) {
  auto saved = neighbour_services.elevation_series_value;
  auto saved_step = neighbour_services.elevation_series_step_value;
  neighbour_services.elevation_series_value = [](double x, int series) { return 0.01 * x + series; };
  neighbour_services.elevation_series_step_value = [](double x, int series) { return 0.001 * x + 10 * series; };
  time_series release;
  release.times = {0.0, 1e9};
  release.values = {0.25, 0.25};
  release.count = 2;
  hydraulic_structure rating, step, scheduled;
  rating.structtype = 6;
  rating.elevation_series = 2;
  step.structtype = 8;
  step.elevation_series = 3;
  scheduled.structtype = 7;
  scheduled.release_series = &release;
  auto m = structure_network({weir(100.5, 2.0, 0.6, 0.6), rating, scheduled, step});
  std::vector<double> q(size_t(m->chan_slot_count), 0.0);
  ASSERT_EQ(link_boundary_flows(*m, q, 1.0, 60.0), 0);
  const double h_up = 100.0 - 0.03 + 1.5;
  const double weir_part = 2.0 / 3.0 * 0.6 * 2.0 * std::sqrt(19.62 / 3.0) * std::pow(h_up - 100.5, 1.5);
  const double want = weir_part + (0.01 * h_up + 2) + 0.25 + (0.001 * h_up + 30);
  EXPECT_NEAR(q[node_key(*m, 1, 2)], want, 1e-12);
  EXPECT_EQ(q[node_key(*m, 2, 2)], q[node_key(*m, 1, 2)]);
  EXPECT_EQ(q[node_key(*m, 3, 1)], q[node_key(*m, 1, 2)]);
  neighbour_services.elevation_series_value = saved;
  neighbour_services.elevation_series_step_value = saved_step;
}

TEST_F(LinkFlows, AStructurePassesNoMoreThanItsSupplyHolds) {
  const double dt_sub = 7.0, dt = 60.0;
  {  // Forward, from a stream node of 0.001 m2 over 100 m.
    auto m = structure_network({weir(99.0, 5.0, 0.6, 0.6)});
    m->area[node_key(*m, 3, 1)] = 0.001;
    std::vector<double> q(size_t(m->chan_slot_count), 0.0);
    link_boundary_flows(*m, q, dt_sub, dt);
    EXPECT_DOUBLE_EQ(q[node_key(*m, 1, 2)] * dt_sub, 0.1);
  }
  {  // Forward, from a lake: its share of the sub-step.
    auto m = structure_network({weir(99.0, 5.0, 0.6, 0.6)}, true);
    m->lake_elev[1] = 101.0;
    m->lake_volume[1] = 3.0;
    std::vector<double> q(size_t(m->chan_slot_count), 0.0);
    link_boundary_flows(*m, q, dt_sub, dt);
    EXPECT_DOUBLE_EQ(q[node_key(*m, 1, 2)] * dt_sub, dt_sub / dt * 3.0);
  }
  {  // Reverse, from the first node below of 0.002 m2 over 50 m.
    auto m = structure_network({weir(97.0, 5.0, 0.6, 0.6)});
    set_node(*m, 1, 3, 98.0, 4.0, 20.0, 0.002);
    std::vector<double> q(size_t(m->chan_slot_count), 0.0);
    link_boundary_flows(*m, q, dt_sub, dt);
    EXPECT_DOUBLE_EQ(q[node_key(*m, 1, 2)] * dt_sub, -0.1);
  }
}

TEST_F(LinkFlows, AnImposedOutletStageGivesOneFlowPerState) {
  auto m = junction();
  m->head_bound_on = 1;
  m->stream_loss_on = 1;
  m->chan_point_input_on = 1;
  m->outlet_storage_flow = 0.3;
  const size_t out = node_key(*m, 3, 2);
  m->qlat[out] = 0.001;
  m->qriv[out] = -0.0002;
  m->chan_point_flow[out] = 0.05;
  std::vector<double> q(size_t(m->chan_slot_count), 0.0);
  ASSERT_EQ(link_boundary_flows(*m, q, 10.0, 60.0), 0);
  const double first = q[out];
  EXPECT_NEAR(first, 0.3 + 0.05 + q[node_key(*m, 2, 2)] - 0.01 + 0.05, 1e-12);
  ASSERT_EQ(link_boundary_flows(*m, q, 10.0, 60.0), 0);
  EXPECT_EQ(q[out], first);
}

TEST_F(LinkFlows, OutletWithoutAStageRunsOnTheBedSlopeOrStops) {
  {
    auto m = junction();
    std::vector<double> q(size_t(m->chan_slot_count), 0.0);
    ASSERT_EQ(link_boundary_flows(*m, q, 10.0, 60.0), 0);
    EXPECT_NEAR(q[node_key(*m, 3, 2)], std::sqrt(0.1 / 50.0) * 33.0, 1e-12);
  }
  struct stop_case {
    const char* name;
    int outlet_nodes;
    double last_bed;
    const char* message;
  };
  const stop_case cases[] = {
      {"one node", 1, 8.8,
       "\nThere is one or less nodes in the outlet link \nThere must be two or more nodes in the outlet link \n"
       "Add one or more nodes to the outlet link \nRemember, there is one less PLUVO node in a link than VOK "
       "nodes \nProgram stopped.\n"},
      {"rising bed", 3, 8.95,
       "\nThe outlet slope is negative.  Make sure that the bed\nelevation of the most downstream node is lower "
       "than\nthe bed elevation of the node just upstream from it.\nProgram stopped.\n"},
  };
  for (const stop_case& c : cases) {
    error_state = error_state_record{};
    auto m = junction();
    m->nx[2] = c.outlet_nodes;
    m->bel[node_key(*m, 3, 2)] = c.last_bed;
    std::vector<double> q(size_t(m->chan_slot_count), 0.0);
    int result = 0;
    const std::string out = printed_by([&] { result = link_boundary_flows(*m, q, 10.0, 60.0); });
    EXPECT_EQ(result, -1) << c.name;
    EXPECT_EQ(out.substr(0, std::strlen(c.message)), c.message) << c.name;
    EXPECT_EQ(error_state.error_terminate, 1) << c.name;
  }
}

}  // namespace
}  // namespace pluvo
