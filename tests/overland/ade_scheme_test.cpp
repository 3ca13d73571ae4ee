#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/parallel_team.hpp"
#include "overland/ade_scheme.hpp"
#include "overland_fixture.hpp"

namespace {

using pluvo_test::grid_spec;
using pluvo_test::make_overland_grid;
using pluvo_test::rain_and_route;

struct plane_case {
  const char* name;
  int rows, cols;
  double slope_y;  // the planes fall 1 % to the east, and this to the south
};

constexpr double plane_dx = 30.0;
constexpr double plane_rain = 50.0 / 3600000.0;  // m/s

std::unique_ptr<pluvo::model_state> tilted_plane(const plane_case& c, int scheme) {
  grid_spec g;
  g.rows = c.rows;
  g.cols = c.cols;
  g.dx = plane_dx;
  g.n = 0.03;
  g.elevation = [&](int r, int col) { return ((c.cols - col) * 0.01 + (c.rows - r) * c.slope_y) * plane_dx; };
  g.outlet_row = c.rows;
  g.outlet_col = c.cols;
  g.outlet_slope = 0.0005;
  auto m = make_overland_grid(g);
  m->overland_scheme = scheme;
  return m;
}

// Mean outflow (m3/s) of the next two steps: the sweep order alternates step by step.
double outflow_of_two_steps(pluvo::model_state& m, double dt) {
  const double before = m.total_discharge_volume;
  rain_and_route(m, plane_rain, dt);
  rain_and_route(m, plane_rain, dt);
  return (m.total_discharge_volume - before) / (2.0 * dt);
}

// Steady rain on a plane, well past the time to equilibrium: every scheme sends rain x area
// to the outlet; at a short step the alternating-direction schemes hold the explicit depths.
TEST(AdeScheme, TiltedPlanesReachRainTimesAreaAndTheExplicitDepths) {
  pluvo_test::thread_count_guard one_thread(1);
  const plane_case cases[] = {{"L x 1", 1, 12, 0.0}, {"L x L", 6, 6, 0.01}};
  for (const plane_case& c : cases) {
    const double equilibrium = plane_rain * c.rows * c.cols * plane_dx * plane_dx;
    std::vector<double> steady;
    for (int scheme = 1; scheme <= 3; scheme++) {
      auto m = tilted_plane(c, scheme);
      for (int step = 0; step < 1200; step++) rain_and_route(*m, plane_rain, 5.0);
      ASSERT_EQ(pluvo::error_state.error_code, 0) << c.name << " scheme " << scheme;
      EXPECT_NEAR(outflow_of_two_steps(*m, 5.0), equilibrium, 0.005 * equilibrium) << c.name << " scheme " << scheme;
      if (scheme == 1) steady = m->ov_depth;
    }
    // The schemes differ by terms of the order of the step; at 0.25 s that is below 0.1 %.
    std::vector<double> depth[4];
    for (int scheme = 1; scheme <= 3; scheme++) {
      auto m = tilted_plane(c, scheme);
      m->ov_depth = steady;
      for (int step = 0; step < 4000; step++) rain_and_route(*m, plane_rain, 0.25);
      depth[scheme] = m->ov_depth;
    }
    for (int scheme = 2; scheme <= 3; scheme++)
      for (size_t i = 1; i < depth[1].size(); i++)
        EXPECT_NEAR(depth[scheme][i], depth[1][i], 0.001 * depth[1][i])
            << c.name << " scheme " << scheme << " cell " << i;
  }
}

}  // namespace
