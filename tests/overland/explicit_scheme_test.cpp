#include <gtest/gtest.h>
#include <omp.h>

#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "common/parallel_team.hpp"
#include "overland/explicit_scheme.hpp"
#include "overland/face_law.hpp"
#include "overland_fixture.hpp"

namespace {

using pluvo_test::due_in;
using pluvo_test::grid_spec;
using pluvo_test::make_overland_grid;
using pluvo_test::rain_and_route;
using pluvo_test::stored_volume;

// Kinematic wave on a plane: equilibrium outflow is rain x area, reached after
// te = (L / (alpha i^(m-1)))^(1/m), alpha = sqrt(S)/n, m = 5/3.
TEST(ExplicitScheme, TiltedPlaneReachesKinematicEquilibrium) {
  pluvo_test::thread_count_guard one_thread(1);
  const int cells = 50;
  const double dx = 10.0, slope = 0.01, n = 0.03, rain = 50.0 / 3600000.0, dt = 10.0;
  grid_spec g;
  g.cols = cells;
  g.dx = dx;
  g.n = n;
  g.elevation = [&](int, int c) { return (cells - c) * dx * slope; };
  g.outlet_col = cells;
  g.outlet_slope = slope;
  auto m = make_overland_grid(g);

  const double length = cells * dx;
  const double alpha = std::sqrt(slope) / n;
  const double te = std::pow(length / (alpha * std::pow(rain, 2.0 / 3.0)), 0.6);
  const double equilibrium = rain * length * dx;
  double reached = -1.0, q = 0.0;
  for (int step = 1; step * dt <= 3.0 * te; step++) {
    rain_and_route(*m, rain, dt);
    q = m->outlet_discharge;
    // The kinematic rising limb gives 97 % of the equilibrium flow at 0.982 te.
    if (reached < 0.0 && q >= 0.97 * equilibrium) reached = step * dt / 0.982;
  }
  EXPECT_NEAR(q, equilibrium, 0.005 * equilibrium);
  EXPECT_NEAR(reached, te, 0.15 * te);
}

struct run_result {
  std::vector<double> depth;
  double rain = 0.0, out = 0.0, start = 0.0, end = 0.0;
};

// A random masked surface with random roughness and retention, some wetlands and dikes,
// large enough to run on a thread team.
run_result route_random_grid(int threads) {
  pluvo_test::thread_count_guard guard(threads);
  const int rows = 64, cols = 80;
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> z(rows * cols), keep(rows * cols);
  for (auto& v : z) v = 0.3 * u(rng);
  for (auto& v : keep) v = u(rng);
  const auto at = [&](int r, int c) { return size_t((r - 1) * cols + c - 1); };
  grid_spec g;
  g.rows = rows;
  g.cols = cols;
  g.dx = 10.0;
  g.elevation = [&](int r, int c) { return z[at(r, c)] + 0.1 * c; };
  g.active = [&](int r, int c) { return (r == rows / 2 && c == cols) || keep[at(r, c)] > 0.12; };
  g.outlet_row = rows / 2;
  g.outlet_col = cols;
  auto m = make_overland_grid(g);
  EXPECT_GE(m->cell_count, pluvo::min_cells_for_threads);
  m->dike_map_on = 1;
  m->dike_mask.assign(size_t(m->cell_count) + 1, 0);
  m->wetland_on = 1;
  m->wetland_mask.assign(size_t(m->cell_count) + 1, 0);
  m->wetland_properties.assign(2, {0.0, 0.02, 1e-4, 0.01, 1e-3, 0.0, 0.2, 0.0});
  for (int i = 1; i <= m->cell_count; i++) {
    m->dist_rough[i] = 0.02 + 0.08 * u(rng);
    m->retent_dep[i] = 0.002 * u(rng);
    m->ov_depth[i] = 0.02 * u(rng);
    if (u(rng) < 0.1) m->dike_mask[i] = 2 | 4;
    if (u(rng) < 0.1) m->wetland_mask[i] = 1;
  }
  run_result r;
  r.start = stored_volume(*m);
  const double rate = 30.0 / 3600000.0, dt = 10.0;
  for (int step = 0; step < 20; step++) {
    rain_and_route(*m, rate, dt);
    r.rain += rate * dt * m->cell_count * g.dx * g.dx;
  }
  r.out = m->total_discharge_volume;
  r.end = stored_volume(*m);
  r.depth = m->ov_depth;
  return r;
}

TEST(ExplicitScheme, RandomGridClosesMassAndIgnoresThreadCount) {
  const run_result one = route_random_grid(1);
  const run_result eight = route_random_grid(8);
  EXPECT_GT(one.out, 0.0);
  const double input = one.start + one.rain;
  EXPECT_LT(std::fabs(input - one.out - one.end) / input, 1e-10);
  ASSERT_EQ(one.depth.size(), eight.depth.size());
  for (size_t i = 1; i < one.depth.size(); i++) ASSERT_EQ(one.depth[i], eight.depth[i]) << "cell " << i;
  EXPECT_EQ(one.out, eight.out);
}

TEST(ExplicitScheme, FaceLaws) {
  using pluvo::plain_face_discharge;
  using pluvo::water_surface_slope;
  // A level face still passes a tiny flow from j to nb.
  const double level = water_surface_slope(0.0, 0.1, 0.1, 10.0, 1e-30);
  EXPECT_EQ(level, 1e-20);
  EXPECT_GT(plain_face_discharge(level, 0.1, 0.1, 0.0, 0.0, 0.03, 0.03), 0.0);
  // Water runs from a higher neighbour into a dry cell that holds a retention depth, with
  // the roughness of the cell it comes from.
  const double back = water_surface_slope(0.0, 0.0, 0.2, 10.0, 1e-30);
  const double q = plain_face_discharge(back, 0.0, 0.2, 0.01, 0.0, 0.08, 0.03);
  EXPECT_NEAR(q, -std::sqrt(0.02) / 0.03 * std::pow(0.2, 5.0 / 3.0), 1e-12);
  EXPECT_EQ(plain_face_discharge(-back, 0.2, 0.0, 0.0, 0.01, 0.03, 0.08), -q);
  // Below the upwind cell's retention nothing moves.
  EXPECT_EQ(plain_face_discharge(back, 0.0, 0.2, 0.0, 0.25, 0.03, 0.03), 0.0);
}

// A grid and its mirror image (left to right) with their roughness, retention, ground
// and water mirrored route to mirrored depths: each face takes the upwind cell's
// roughness and retention whichever way the water flows.
TEST(ExplicitScheme, MirroredGridGivesMirroredDepths) {
  pluvo_test::thread_count_guard one_thread(1);
  struct row {
    const char* name;
    int rows, cols;
  };
  const row cases[] = {{"1 x 2 strip", 1, 2}, {"random 5 x 6 grid", 5, 6}};
  for (const row& k : cases) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const size_t cells = size_t(k.rows * k.cols);
    std::vector<double> z(cells), n(cells), r(cells), h(cells);
    for (size_t i = 0; i < cells; i++) {
      z[i] = 0.05 * u(rng);
      n[i] = 0.02 + 0.08 * u(rng);
      r[i] = 0.002 * u(rng);
      h[i] = 0.03 * u(rng);
    }
    if (k.rows == 1) {  // water on the rough side flows into the smooth, dry side
      z = {0.0, 0.0};
      n = {0.02, 0.08};
      r = {0.0, 0.0};
      h = {0.0, 0.05};
    }
    std::vector<double> depth[2];
    for (int mirrored = 0; mirrored < 2; mirrored++) {
      // Cell (row, col) of the mirrored grid holds the values of (row, cols + 1 - col).
      const auto at = [&](int row, int col) {
        return size_t((row - 1) * k.cols + (mirrored ? k.cols + 1 - col : col) - 1);
      };
      grid_spec g;
      g.rows = k.rows;
      g.cols = k.cols;
      g.elevation = [&](int row, int col) { return z[at(row, col)]; };
      auto m = make_overland_grid(g);
      m->chan_explic_on = 1;  // no outlet: nothing breaks the mirror
      for (int row = 1; row <= k.rows; row++)
        for (int col = 1; col <= k.cols; col++) {
          const int i = m->cell_number_grid(row, col);
          m->dist_rough[i] = n[at(row, col)];
          m->retent_dep[i] = r[at(row, col)];
          m->ov_depth[i] = h[at(row, col)];
        }
      for (int step = 0; step < 30; step++) pluvo::route_overland_explicit(*m, 10.0);
      for (int row = 1; row <= k.rows; row++)
        for (int col = 1; col <= k.cols; col++)
          depth[mirrored].push_back(m->ov_depth[size_t(m->cell_number_grid(row, mirrored ? k.cols + 1 - col : col))]);
    }
    EXPECT_GT(depth[0][0], 0.001) << k.name;  // water has crossed
    for (size_t i = 0; i < cells; i++) EXPECT_NEAR(depth[0][i], depth[1][i], 1e-14) << k.name << " cell " << i;
  }
}

TEST(ExplicitScheme, WetlandLaw) {
  using pluvo::wetland_face_discharge;
  // hw 0.1 m, k1 0.01 m/s, transition 0.05 m, k2 0.02 m/s, n over the wetland 0.2.
  const std::array<double, 8> w = {0.0, 0.1, 0.01, 0.05, 0.02, 0.0, 0.2, 0.0};
  const double s = 0.01;
  struct row {
    const char* name;
    double s, hj, hnb, rnb;
    bool nb_wetland;
    double expected;
  };
  const double over = std::sqrt(s) / 0.2 * std::pow(0.03, 5.0 / 3.0);
  const row rows[] = {
      {"below the wetland height", s, 0.08, 0.0, 0.0, true, 0.01 * s * 0.08},
      {"from an ordinary cell below its retention", -s, 0.0, 0.08, 0.1, false, 0.0},
      {"in the transition", s, 0.13, 0.0, 0.0, true,
       0.01 * 0.1 * s + (1.0 - 0.03 / 0.05) * 0.02 * 0.03 * s + over * 0.03 / 0.05},
      {"to an ordinary cell, its roughness", s, 0.13, 0.0, 0.0, false,
       std::sqrt(s) / 0.05 * std::pow(0.03, 5.0 / 3.0)},
      {"from an ordinary cell above its retention", -s, 0.0, 0.04, 0.01, false,
       -std::sqrt(s) / 0.05 * std::pow(0.03, 5.0 / 3.0)},
  };
  for (const row& r : rows)
    EXPECT_NEAR(wetland_face_discharge(r.s, r.hj, r.hnb, r.rnb, r.nb_wetland, w, 0.05), r.expected, 1e-15)
        << r.name;
  // The blend meets the full law at the top of the transition.
  const double top = wetland_face_discharge(s, 0.15, 0.0, 0.0, true, w, 0.05);
  const double above = wetland_face_discharge(s, 0.15 + 1e-12, 0.0, 0.0, true, w, 0.05);
  EXPECT_NEAR(top, above, 1e-12);
}

TEST(ExplicitScheme, SubstepsEndExactlyAtTheStepEnd) {
  struct row {
    double dt, dts;
    std::vector<double> expected;
  };
  const row rows[] = {
      {30.0, 10.0, {10.0, 10.0, 10.0}},
      {10.0, 4.0, {4.0, 4.0, 2.0}},
      {30.0, 30.0, {30.0}},
      {8.00009, 4.0, {4.0, 4.00009}},  // a sliver below 0.0001 s joins the last sub-step
      {5.0, 10.0, {5.0}},                   // a reduced sub-step longer than the step
  };
  for (const row& r : rows) {
    std::vector<double> got;
    double t = 0.0;
    while (r.dt - t > 0.0 && got.size() < 20) {
      const double s = pluvo::explicit_next_substep(r.dt, t, r.dts);
      got.push_back(s);
      t = s >= r.dt - t ? r.dt : t + s;
    }
    ASSERT_EQ(got.size(), r.expected.size()) << r.dt << " " << r.dts;
    for (size_t k = 0; k < got.size(); k++) EXPECT_NEAR(got[k], r.expected[k], 1e-9);
  }
}

TEST(ExplicitScheme, ReducedSubstepCarriesOverFourCalls) {
  pluvo::explicit_step_control c;
  testing::internal::CaptureStdout();
  double dts = pluvo::explicit_first_substep(c, 30.0, false);
  dts = pluvo::explicit_divide_substep(c, dts, false);
  std::vector<double> starts;
  for (int call = 0; call < 6; call++) starts.push_back(pluvo::explicit_first_substep(c, 30.0, false));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            " *Changing overland time step to 10.00 seconds...\n"
            "Resetting time step to 30.00 for overland flow...\n");
  EXPECT_EQ(starts, (std::vector<double>{10.0, 10.0, 10.0, 10.0, 30.0, 30.0}));
}

std::string lines_starting_with(const std::string& text, const std::string& prefix) {
  std::string kept;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at + 1);
    if (line.rfind(prefix, 0) == 0) kept += line;
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return kept;
}

TEST(ExplicitScheme, FiveDivisionsThenFinishesTheStep) {
  grid_spec g;
  g.cols = 2;
  g.dx = 100.0;
  g.n = 0.01;
  g.outlet_col = 2;
  auto m = make_overland_grid(g);
  m->quiet_on = 0;
  m->chan_explic_on = 1;  // no outlet drain: the two cells keep their water
  m->ov_depth[1] = 10.0;
  testing::internal::CaptureStdout();
  pluvo::route_overland_explicit(*m, 30.0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(lines_starting_with(out, " *"),
            " *Changing overland time step to 10.00 seconds...\n"
            " *Changing overland time step to 3.33 seconds...\n"
            " *Changing overland time step to 1.11 seconds...\n"
            " *Changing overland time step to 0.37 seconds...\n"
            " *Changing overland time step to 0.12 seconds...\n"
            " *Time step to small to divide, continuing with current time step\n");
  EXPECT_NEAR(m->ov_depth[1] + m->ov_depth[2], 10.0, 1e-9);
  EXPECT_EQ(m->explicit_control.calls_left, 4);
  EXPECT_NEAR(m->explicit_control.reduced_substep, 30.0 / 243.0, 1e-12);
}

// Four outflows that each pass the face test can together drain a cell below zero.
TEST(ExplicitScheme, CellDrainedByAllItsFacesDividesTheStep) {
  grid_spec g;
  g.rows = 3;
  g.cols = 3;
  g.dx = 1.0;
  g.n = 0.1;
  g.outlet_row = 3;
  g.outlet_col = 3;
  auto m = make_overland_grid(g);
  m->quiet_on = 0;
  m->chan_explic_on = 1;
  m->ov_depth[5] = 0.1;
  testing::internal::CaptureStdout();
  pluvo::route_overland_explicit(*m, 0.6);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(lines_starting_with(out, " *"), " *Changing overland time step to 0.20 seconds...\n");
  for (int i = 1; i <= 9; i++) EXPECT_GE(m->ov_depth[i], -0.0001) << "cell " << i;
  EXPECT_NEAR(stored_volume(*m), 0.1, 1e-12);
  // Symmetric spreading: the four side cells get the same depth.
  EXPECT_DOUBLE_EQ(m->ov_depth[2], m->ov_depth[8]);
  EXPECT_DOUBLE_EQ(m->ov_depth[4], m->ov_depth[6]);
  EXPECT_NEAR(m->ov_depth[2], m->ov_depth[4], 1e-15);
}

TEST(ExplicitScheme, OutletDrainsAtMostWhatTheCellHolds) {
  struct row {
    double depth, dt, expected_volume, expected_depth;
  };
  // One 10 m cell, n = 0.03, outlet slope 0.01.
  const double rate = std::sqrt(0.01) * 10.0 / 0.03;  // m3/s per m^(5/3) of depth
  const double law = std::pow(0.5, 1.666667) * rate;
  const row rows[] = {
      {0.0, 600.0, 0.0, 0.0},
      {0.001, 600.0, 0.1, 0.0},  // the law would take 0.2 m3 of the 0.1 m3 there
      {0.5, 1.0, law, 0.5 - law / 100.0},
  };
  for (const row& r : rows) {
    auto m = make_overland_grid(grid_spec{});
    m->ov_depth[1] = r.depth;
    const double v = pluvo::route_overland_explicit(*m, r.dt);
    EXPECT_NEAR(v, r.expected_volume, 1e-12) << r.depth;
    EXPECT_NEAR(m->ov_depth[1], r.expected_depth, 1e-12) << r.depth;
    EXPECT_GE(m->ov_depth[1], 0.0);
  }
}

}  // namespace
