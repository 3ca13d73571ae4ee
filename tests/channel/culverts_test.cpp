// Culvert flows, one case per regime against the hand calculation, the critical depth, the root
// finder and the failures that stop a run.
#include "channel/culverts.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "channel/channel_routines.hpp"
#include "common/printed.hpp"
#include "network_fixture.hpp"

namespace pluvo {
namespace {

constexpr double pi_short = 3.14159;  // the full area of the long-barrel branch
constexpr double pi_long = 3.1415926;  // the section routines
constexpr double n_value = 0.013;

class Culverts : public ::testing::Test {
 protected:
  void SetUp() override { error_state = error_state_record{}; }
  void TearDown() override { error_state = error_state_record{}; }
};

// A culvert whose entrance invert is at 10 m, falling `slope` over `length`.
hydraulic_structure culvert(int type, double length, double slope, double width = 1.0, double height = 0.0) {
  hydraulic_structure c;
  c.structtype = type;
  c.length = length;
  c.upinvert = 10.0;
  c.slope = slope;
  c.inlet_disch_coeff = 0.6;
  c.rev_flow_disch_coeff = 0.5;
  c.inlet_coeff = 0.9;
  c.size1 = width;
  c.size2 = height;
  c.rough_coeff = n_value;
  return c;
}

double flow(const hydraulic_structure& c, double up, double down, double* rise = nullptr) {
  std::vector<hydraulic_structure> s{hydraulic_structure(), c};
  double q = 0.0, r = 0.0, a = 0.0;
  culv_flow(s, 1, up, down, q, r, a);
  if (rise) *rise = r;
  return q;
}

// Circle of diameter 1 at depth y.
double circle_area(double y) {
  const double t = std::acos((0.5 - y) / 0.5);
  return 0.25 * t - (0.5 - y) * 0.5 * std::sin(t);
}
double circle_perimeter(double y) { return std::acos((0.5 - y) / 0.5); }

// Friction and exit term of a long barrel of length 100 m.
double friction(double r) { return n_value * n_value * 100.0 * 100.0 / std::pow(r, 4.0 / 3.0) + 1.0 / 19.62; }

TEST_F(Culverts, EachRegimeMatchesItsHandCalculation) {
  const double full_circle = pi_short * 0.25, full_round = pi_long / 4.0;
  // Long mild round barrel: 100 m at 0.001, exit invert 9.9.
  const hydraulic_structure long_mild = culvert(3, 100.0, 0.001);
  // Short mild round barrel: 10 m at 0.001, exit invert 9.99.
  const hydraulic_structure short_mild = culvert(3, 10.0, 0.001);
  // Short steep round barrel: 10 m at 0.15, exit invert 8.5.
  const hydraulic_structure short_steep = culvert(3, 10.0, 0.15);
  const double k20 = 29.0 * 0.36 * n_value * n_value * 20.0 / std::pow(0.25, 4.0 / 3.0) + 1.0;
  struct regime {
    const char* name;
    hydraulic_structure c;
    double up, down, want;
  };
  const regime cases[] = {
      {"long, low head, tailwater in the barrel", long_mild, 11.0, 10.4,
       circle_area(0.6) * std::sqrt(0.6 / friction(circle_area(0.6) / circle_perimeter(0.6)))},
      {"long, low head, tailwater below the exit", long_mild, 11.0, 9.5,
       circle_area(0.5) * std::sqrt(1.5 / friction(circle_area(0.5) / circle_perimeter(0.5)))},
      {"long, low head, tailwater over the crown", long_mild, 11.0, 10.95,
       full_circle * std::sqrt(0.05 / friction(0.25))},
      {"long, high head, tailwater over mid-barrel", long_mild, 11.5, 10.5,
       full_circle * std::sqrt(1.0 / friction(0.25))},
      {"long, high head, low tailwater", long_mild, 11.5, 9.0, full_circle * std::sqrt(1.1 / friction(0.25))},
      {"short box, inlet control", culvert(5, 10.0, 0.001, 2.0, 1.0), 10.9, 9.5,
       std::sqrt(0.91 - 0.91 * 2.0 / 3.0) * (0.91 * 2.0 / 3.0) * 2.0 * 0.9 * std::sqrt(19.62)},
      {"short oval, inlet control", culvert(4, 10.0, 0.001, 1.5, 1.0), 10.9, 9.5, 0.0},
      {"short, tailwater high in the barrel", short_mild, 10.8, 10.6,
       circle_area(0.61) * 0.6 * std::sqrt(0.2 * 19.62)},
      {"short, both ends submerged, 10 m", short_mild, 12.0, 11.5, full_round * 0.6 * std::sqrt(19.62 * 0.5)},
      {"short, both ends submerged, 15 m", culvert(3, 15.0, 0.001), 12.0, 11.5,
       full_round * 0.6 * std::sqrt(19.62 * 0.5)},
      {"short, both ends submerged, 20 m", culvert(3, 20.0, 0.001), 12.0, 11.5,
       full_round * 0.6 * std::sqrt(19.62 * 0.5 / k20)},
      {"short, outlet orifice", short_mild, 11.8, 9.5, std::sqrt((11.8 - 10.99) * 19.62) * full_round * 0.6},
      {"short steep, inlet orifice", short_steep, 12.0, 9.0, std::sqrt(2.0 * 19.62) * full_round * 0.6},
      {"reverse, both ends submerged", short_mild, 11.5, 12.0, -full_round * 0.5 * std::sqrt(19.62 * 0.5)},
      {"headwater at the higher invert", short_mild, 10.0, 9.0, 0.0},
      {"headwater at the higher invert, reverse", short_mild, 9.0, 10.0, 0.0},
  };
  for (const regime& c : cases) {
    const double q = flow(c.c, c.up, c.down);
    EXPECT_NEAR(q, c.want, 1e-12 * std::max(1.0, std::fabs(c.want))) << c.name;
  }
  EXPECT_EQ(error_state.error_code, 0);
}

TEST_F(Culverts, ShortRoundBarrelSolvesForCriticalFlowAtTheInlet) {
  const hydraulic_structure c = culvert(3, 10.0, 0.001);
  double yc = 0.0;
  const double q = flow(c, 10.8, 9.5, &yc);
  // The blended coefficient at r = 0.81 and the energy equation at the critical depth.
  const double r = 0.81, coeff = (1.0 - r / 1.5) * 0.6 + r * 0.9 / 1.5;
  ASSERT_GT(q, 0.0);
  double check = 0.0;
  culvert_critical_depth(1, 1.0, 1.0, q, check);
  EXPECT_DOUBLE_EQ(yc, check);
  EXPECT_NEAR(q, circle_area(yc) * coeff * std::sqrt(19.62 * (0.81 - yc)), 2e-4);
  EXPECT_EQ(error_state.error_code, 0);
}

TEST_F(Culverts, CircularCriticalDepthMeetsTheCriticalCondition) {
  for (const double d : {0.3, 1.0, 2.5})
    for (const double scaled : {0.001, 0.05, 0.3, 0.8}) {
      // Q / D^2.5 up to 0.8 keeps the critical depth inside the barrel.
      const double q = scaled * std::pow(d, 2.5);
      double yc = -1.0;
      culvert_critical_depth(1, d, d, q, yc);
      ASSERT_GT(yc, 0.0) << d << " " << q;
      ASSERT_LT(yc, d) << d << " " << q;
      double a = 0.0, p = 0.0, t = 0.0;
      culvert_section_props(d, yc, d, 1, a, p, t);
      EXPECT_NEAR(q * q * t / (9.81 * a * a * a), 1.0, 1e-8) << d << " " << q;
    }
  double yc = 0.0;
  culvert_critical_depth(3, 1.0, 2.0, 1.2, yc);
  EXPECT_NEAR(yc, std::cbrt(0.36 / 9.81), 1e-12);
  EXPECT_EQ(error_state.error_code, 0);
  culvert_critical_depth(2, 1.0, 2.0, 1.2, yc);
  EXPECT_EQ(error_state.error_code, 123);
  EXPECT_EQ(error_state.error_terminate, 1);
}

TEST_F(Culverts, DownstreamInvertComesFromTheSlopeUnlessGiven) {
  hydraulic_structure by_slope = culvert(3, 10.0, 0.02);
  hydraulic_structure given = by_slope;
  given.downinvert = 9.8;  // the slope card says 0.02, the invert 0.02 as well
  EXPECT_DOUBLE_EQ(flow(by_slope, 12.0, 9.0), flow(given, 12.0, 9.0));
  given.downinvert = 9.5;  // now 0.05: another regime
  EXPECT_NE(flow(by_slope, 12.0, 10.6), flow(given, 12.0, 10.6));
}

TEST_F(Culverts, FailuresGiveTheFailedFlowWithTheirLines) {
  hydraulic_structure zero = culvert(3, 0.0, 0.001);
  std::string out = printed_by([&] { EXPECT_EQ(flow(zero, 11.0, 9.0), culvert_failed_flow); });
  EXPECT_EQ(out,
            "Problem in culv_flow (ex_flow_route.c).  The culvert barrel length\n"
            "in culvert number 1 is 0.0.  This is not possible. Program terminated.\n");
  int iterations = 0;
  // Both ends above the root: the residual is positive at both bounds.
  out = printed_by([&] { EXPECT_EQ(zbrent(1, 1.0, 1.0, 0.6, 0.5, 2.0, 3.0, 0.0001, iterations), culvert_failed_flow); });
  EXPECT_EQ(out, "Problem in ZBRENT root finder\nRoot must be bracketed\n");
  // Brent's method finds the root of a bracket within its tolerance.
  const double root = zbrent(1, 1.0, 1.0, 0.6, 0.5, 0.0001, 2.0, 1e-9, iterations);
  EXPECT_NEAR(culvert_energy_residual(1, 1.0, 1.0, 0.6, 0.5, root), 0.0, 1e-8);
  EXPECT_LE(iterations, 100);
}

TEST_F(Culverts, AFailedCulvertStopsTheRunThroughTheLinkFlows) {
  struct failure {
    const char* name;
    hydraulic_structure barrel;
    double headwater;
    const char* line;
  };
  const failure cases[] = {
      {"no barrel length", culvert(3, 0.0, 0.001), 11.5, "in culvert number 1 is 0.0."},
      // A 1 cm barrel under 1.2 cm of head: no critical flow lies between the search's bounds.
      {"unbracketed root", culvert(3, 0.3, 0.001, 0.01), 10.012, "Root must be bracketed\n"},
  };
  for (const failure& c : cases) {
    error_state = error_state_record{};
    // The last node above the culvert at the headwater; the first node below at 9 m.
    auto m = pluvo_test::structure_network({c.barrel}, 9.53, c.headwater - 9.5, 9.01, 0.0);
    std::vector<double> q(size_t(m->chan_slot_count), 0.0);
    int result = 1;
    const std::string out = printed_by([&] { result = link_boundary_flows(*m, q, 1.0, 60.0); });
    EXPECT_EQ(result, 0) << c.name;
    EXPECT_NE(out.find(c.line), std::string::npos) << c.name << "\n" << out;
    EXPECT_NE(out.find("Error in link number 2: \n"), std::string::npos) << c.name << "\n" << out;
    // The stop is reported (code 4000) and the failed flow is not passed on.
    EXPECT_EQ(error_state.error_terminate, 1) << c.name;
    EXPECT_EQ(q[pluvo_test::node_key(*m, 1, 2)], 0.0) << c.name;
  }
}

TEST_F(Culverts, TheLinkFlowsSkipABarrelDryAtBothInverts) {
  for (const double headwater : {9.9, 10.3}) {
    auto m = pluvo_test::structure_network({culvert(3, 10.0, 0.001)}, 9.43, headwater - 9.4, 9.01, 0.0);
    std::vector<double> q(size_t(m->chan_slot_count), 0.0);
    ASSERT_EQ(link_boundary_flows(*m, q, 1.0, 60.0), 0);
    const bool wet = headwater > 10.0;
    // Dry: the inlet coefficient is not worked out again and nothing passes.
    EXPECT_EQ(m->structures[1].inlet_coeff == 0.9, !wet) << headwater;
    EXPECT_EQ(q[pluvo_test::node_key(*m, 1, 2)] > 0.0, wet) << headwater;
  }
}

}  // namespace
}  // namespace pluvo
