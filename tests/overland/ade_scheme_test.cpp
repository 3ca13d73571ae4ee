#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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
      for (int step = 0; step < 800; step++) rain_and_route(*m, plane_rain, 5.0);
      ASSERT_EQ(pluvo::error_state.error_code, 0) << c.name << " scheme " << scheme;
      EXPECT_NEAR(outflow_of_two_steps(*m, 5.0), equilibrium, 0.005 * equilibrium) << c.name << " scheme " << scheme;
      if (scheme == 1) steady = m->ov_depth;
    }
    // The schemes differ by terms of the order of the step; at 0.25 s that is below 0.1 %.
    std::vector<double> depth[4];
    for (int scheme = 1; scheme <= 3; scheme++) {
      auto m = tilted_plane(c, scheme);
      m->ov_depth = steady;
      for (int step = 0; step < 2000; step++) rain_and_route(*m, plane_rain, 0.25);
      depth[scheme] = m->ov_depth;
    }
    for (int scheme = 2; scheme <= 3; scheme++)
      for (size_t i = 1; i < depth[1].size(); i++)
        EXPECT_NEAR(depth[scheme][i], depth[1][i], 0.001 * depth[1][i])
            << c.name << " scheme " << scheme << " cell " << i;
  }
}

struct balance_run {
  std::vector<double> depth;
  double start = 0.0, rain = 0.0, storage = 0.0, lakes = 0.0, outlet = 0.0, loss = 0.0, gain = 0.0;
  double cleanup = 0.0;
};

bool lake_cell(const pluvo::model_state& m, int i) {
  return (m.overland_lakes_on && m.oland_lake_new[size_t(i)] > 0) || (m.lakes_on && m.lake_mask[size_t(i)] > 0);
}

double land_storage(const pluvo::model_state& m) {
  double v = 0.0;
  for (int i = 1; i <= m.cell_count; i++)
    if (!lake_cell(m, i)) v += m.ov_depth[size_t(i)];
  return v * m.cell_size * m.cell_size;
}

double lake_storage(const pluvo::model_state& m) {
  double v = 0.0;
  for (int k = 1; k <= m.nlakes; k++) v += m.lake_volume[size_t(k)];
  for (int k = 1; k <= m.overland_lake_count; k++) v += m.overland_lake_records[size_t(k)].added_volume;
  return v;
}

// A random surface of more than 4096 cells with held boundary cells of types 2, 3, 8 and 9,
// an overland lake and a channel lake.
balance_run route_random_grid(int scheme, int threads) {
  pluvo_test::thread_count_guard guard(threads);
  const int rows = 64, cols = 66;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> z(size_t(rows * cols));
  for (auto& v : z) v = 0.05 * u(rng);
  grid_spec g;
  g.rows = rows;
  g.cols = cols;
  g.dx = 10.0;
  g.elevation = [&](int r, int c) { return z[size_t((r - 1) * cols + c - 1)] + 0.1 * (cols - c) + 0.02 * r; };
  g.outlet_row = rows / 2;
  g.outlet_col = cols;
  auto m = make_overland_grid(g);
  EXPECT_GE(m->cell_count, pluvo::min_cells_for_threads);
  m->overland_scheme = scheme;
  const size_t size = size_t(m->cell_count) + 1;
  const auto cell = [&](int r, int c) { return m->cell_number_grid(r, c); };
  m->ov_boundary_on = 1;
  m->boundary_type.assign(size, 0);
  const int held_types[] = {2, 3, 8, 9};
  for (int k = 0; k < 40; k++) m->boundary_type[size_t(cell(2 + k, 5 + k))] = held_types[k % 4];
  m->lakes_on = 1;
  m->nlakes = 1;
  m->lake_mask.assign(size, 0);
  for (int r = 20; r <= 24; r++)
    for (int c = 30; c <= 34; c++) m->lake_mask[size_t(cell(r, c))] = 1;
  m->lake_elev = {0.0, m->elevation[size_t(cell(20, 34))] + 0.02};
  m->lake_volume = {0.0, 5000.0};
  m->lake_in_dv = m->lake_out_dv = {0.0, 0.0};
  m->overland_lakes_on = 1;
  m->overland_lake_count = 1;
  m->oland_lake_new.assign(size, 0);
  for (int r = 40; r <= 43; r++)
    for (int c = 50; c <= 53; c++) m->oland_lake_new[size_t(cell(r, c))] = 1;
  m->overland_lake_records.resize(2);
  m->overland_lake_records[1].wse = m->elevation[size_t(cell(41, 51))] - 0.05;
  for (int i = 1; i <= m->cell_count; i++) {
    m->dist_rough[size_t(i)] = 0.05 + 0.1 * u(rng);
    m->retent_dep[size_t(i)] = 0.002 * u(rng);
    m->ov_depth[size_t(i)] = 0.005 * u(rng);
  }
  balance_run r;
  r.start = land_storage(*m) + lake_storage(*m);
  const double rate = 30.0 / 3600000.0, dt = 10.0;
  for (int step = 0; step < 4; step++) {
    for (int i = 1; i <= m->cell_count; i++)
      if (!lake_cell(*m, i)) {
        m->ov_depth[size_t(i)] += rate * dt;
        r.rain += rate * dt * 100.0;
      }
    m->rain_on = 1;
    pluvo_test::due_in(*m, dt);
    pluvo::route_overland_step(*m);
    EXPECT_EQ(pluvo::error_state.error_code, 0) << "scheme " << scheme << " step " << step;
  }
  r.storage = land_storage(*m);
  r.lakes = lake_storage(*m);
  r.outlet = m->total_discharge_volume;
  r.loss = m->ov_head_bound_loss;
  r.gain = m->ov_head_bound_gain;
  r.cleanup = m->ov_cleanup_volume;
  r.depth = m->ov_depth;
  return r;
}

TEST(AdeScheme, RandomGridWithLakesAndHeldCellsClosesMassOnAnyThreadCount) {
  for (int scheme = 2; scheme <= 3; scheme++) {
    const balance_run one = route_random_grid(scheme, 1);
    const balance_run eight = route_random_grid(scheme, 8);
    EXPECT_GT(one.outlet, 0.0);
    EXPECT_GT(one.loss + one.gain, 0.0);
    const double input = one.start + one.rain;
    const double output = one.storage + one.lakes + one.outlet + one.loss - one.gain - one.cleanup;
    EXPECT_LT(std::fabs(input - output) / input, 1e-10) << "scheme " << scheme;
    ASSERT_EQ(one.depth.size(), eight.depth.size());
    for (size_t i = 1; i < one.depth.size(); i++) ASSERT_EQ(one.depth[i], eight.depth[i]) << "cell " << i;
    EXPECT_EQ(one.outlet, eight.outlet);
    EXPECT_EQ(one.loss, eight.loss);
    EXPECT_EQ(one.gain, eight.gain);
    EXPECT_EQ(one.lakes, eight.lakes);
  }
}

// The two sides of a V mirror each other, and so do their depths.
TEST(AdeScheme, MirrorSymmetricValleyGivesMirrorSymmetricDepths) {
  pluvo_test::thread_count_guard one_thread(1);
  const int side = 15, mid = 8;
  for (int scheme = 2; scheme <= 3; scheme++) {
    auto m = make_overland_grid(pluvo_test::tilted_v(side));
    m->overland_scheme = scheme;
    for (int step = 0; step < 60; step++) rain_and_route(*m, 60.0 / 3600000.0, 10.0);
    for (int r = 1; r <= side; r++)
      for (int k = 1; k < mid; k++)
        EXPECT_EQ(m->ov_depth[size_t(m->cell_number_grid(r, mid - k))],
                  m->ov_depth[size_t(m->cell_number_grid(r, mid + k))])
            << "scheme " << scheme << " row " << r << " offset " << k;
  }
}

TEST(AdeStepControl, PredictionTable) {
  const double dtmin = 0.0001;
  struct prediction_case {
    const char* name;
    double dt, h;
    int status_y, status_x;
    double ratio;
    double expected;
    int good_steps_added;
  };
  const prediction_case cases[] = {
      {"quiet growth refused at dt", 10.0, 10.0, 0, 0, 0.1, 10.0, 1},
      {"quiet growth", 10.0, 5.0, 0, 0, 0.1, 7.0, 1},
      {"quiet growth up to dt exactly", 14.0, 10.0, 0, 0, 0.1, 14.0, 1},
      {"not quiet enough to grow", 10.0, 5.0, 0, 0, 0.5, 5.0, 0},
      {"h / r", 10.0, 5.0, 0, 1, 2.5, 2.0, 0},
      {"h / r below dtmin", 10.0, 5.0, 1, 0, 1e6, dtmin * 1.1, 0},
  };
  for (const prediction_case& c : cases) {
    int good = 3;
    EXPECT_DOUBLE_EQ(pluvo::ade_substep_clock::predicted(c.dt, c.h, c.status_y, c.status_x, c.ratio, dtmin, good),
                     c.expected)
        << c.name;
    EXPECT_EQ(good, 3 + c.good_steps_added) << c.name;
  }
}

TEST(AdeStepControl, SubstepsAddUpToTheStep) {
  struct clock_case {
    const char* name;
    double dt, h;
    std::vector<int> statuses;  // status of each sub-step before the next
    std::vector<double> lengths;
  };
  const clock_case cases[] = {
      {"whole step", 10.0, 10.0, {0}, {10.0}},
      {"a short rest merged", 9.0, 4.0, {0, 0}, {4.0, 5.0}},
      {"a long rest kept", 10.0, 4.0, {0, 0, 0}, {4.0, 4.0, 2.0}},
      {"shortened to 0.6", 10.0, 5.0, {0, 1, 0}, {5.0, 3.0, 2.0}},
  };
  for (const clock_case& c : cases) {
    pluvo::ade_substep_clock clock;
    clock.remaining = c.dt;
    clock.h = c.h;
    std::vector<double> lengths;
    double last = 0.0, sum = 0.0;
    for (size_t k = 0; clock.remaining > 1e-16 && k < 10; k++) {
      lengths.push_back(clock.next(k < c.statuses.size() ? c.statuses[k] : 0, 1e-4, last));
      sum += lengths.back();
    }
    ASSERT_EQ(lengths.size(), c.lengths.size()) << c.name;
    for (size_t k = 0; k < lengths.size(); k++) EXPECT_NEAR(lengths[k], c.lengths[k], 1e-12) << c.name << " " << k;
    EXPECT_EQ(sum, c.dt) << c.name;
  }
  // The merged sub-step keeps its length before the merge as the one to start from.
  pluvo::ade_substep_clock clock{9.0, 4.0};
  double last = 0.0;
  clock.next(0, 1e-4, last);
  clock.next(0, 1e-4, last);
  EXPECT_EQ(last, 4.0);
}

// Water on a steep line with a held cell and a channel lake: the first sweeps over the whole
// step drain cells below empty and fail; each restart begins from the step start, so the
// water of the step is counted once.
TEST(AdeStepControl, AFailedSweepStartsAgainFromTheStepStart) {
  auto m = make_overland_grid(grid_spec{.cols = 6, .dx = 10.0, .elevation = [](int, int c) { return (6 - c) * 5.0; },
                                        .outlet_col = 2});
  m->overland_scheme = 2;
  m->ov_depth = {0.0, 1.0, 0.2, 0.1, 0.0, 0.3, 0.0};
  m->ov_boundary_on = 1;
  m->boundary_type = {0, 0, 0, 0, 0, 0, 2};
  m->lakes_on = 1;
  m->nlakes = 1;
  m->lake_mask = {0, 0, 0, 0, 1, 0, 0};
  m->lake_elev = {0.0, 5.5};
  m->lake_volume = {0.0, 50.0};
  m->lake_in_dv = m->lake_out_dv = {0.0, 0.0};
  const double start = land_storage(*m) + m->lake_volume[1];
  const double outlet = pluvo::route_overland_ade(*m, 60.0);
  ASSERT_EQ(pluvo::error_state.error_code, 0);
  EXPECT_LT(m->ade_scale, 0.5);
  EXPECT_EQ(std::log2(m->ade_scale), std::round(std::log2(m->ade_scale)));  // halved, never otherwise changed
  EXPECT_NEAR(m->lake_volume[1] - 50.0, m->lake_in_dv[1] - m->lake_out_dv[1], 1e-12);
  const double end = land_storage(*m) + m->lake_volume[1] + outlet + m->ov_head_bound_loss -
                     m->ov_head_bound_gain - m->ov_cleanup_volume;
  EXPECT_NEAR(end, start, 1e-10 * start);
}

// A channel lake that holds less than a face would take from it gives nothing, and its
// neighbour gets nothing either.
TEST(AdeScheme, AnEmptyChannelLakeFeedsNoNeighbour) {
  for (int scheme = 2; scheme <= 3; scheme++) {
    auto m = make_overland_grid(grid_spec{.cols = 2, .dx = 10.0, .outlet_col = 1});
    m->chan_explic_on = 1;
    m->overland_scheme = scheme;
    m->lakes_on = 1;
    m->nlakes = 1;
    m->lake_mask = {0, 1, 0};
    m->lake_elev = {0.0, 0.05};
    m->lake_volume = {0.0, 0.01};
    m->lake_in_dv = m->lake_out_dv = {0.0, 0.0};
    pluvo::route_overland_ade(*m, 1.0);
    ASSERT_EQ(pluvo::error_state.error_code, 0);
    EXPECT_NEAR(m->ov_depth[2], 0.0, 1e-15) << "scheme " << scheme;
    EXPECT_EQ(m->lake_volume[1], 0.01) << "scheme " << scheme;
    EXPECT_EQ(m->lake_out_dv[1], 0.0) << "scheme " << scheme;
    EXPECT_EQ(m->ov_qx[1], 0.0) << "scheme " << scheme;
  }
}

struct entry_case {
  const char* name;
  double depth;
  const char* printed;
  double result;
  double cleanup;  // m3
};

// The entry check: a slightly negative depth is set to 0 and the water that puts in is
// counted; a strongly negative or NaN depth stops the run.
TEST(AdeScheme, EntryDepthCheck) {
  const entry_case cases[] = {
      {"slightly negative", -5e-6,
       "Negative depth encountered at the beginning of the overland routing time step in cell 2 \n", 0.0, 5e-4},
      {"strongly negative", -2e-5,
       "Negative depth encountered at the beginning of the overland routing time step in cell 2 \nProgram stopped.\n",
       -1.0, 0.0},
      {"not a number", std::numeric_limits<double>::quiet_NaN(),
       "Overland depth is NaN at beginning of overland routing time step in cell 2 \nProgram stopped.\n", -1.0, 0.0},
  };
  for (const entry_case& c : cases) {
    for (int scheme = 2; scheme <= 3; scheme++) {
      auto m = make_overland_grid(grid_spec{.cols = 3, .dx = 10.0, .outlet_col = 1});
      m->quiet_on = 0;
      m->chan_explic_on = 1;
      m->overland_scheme = scheme;
      m->ov_depth[2] = c.depth;
      testing::internal::CaptureStdout();
      const double result = pluvo::route_overland_ade(*m, 10.0);
      const std::string out = testing::internal::GetCapturedStdout();
      EXPECT_EQ(out.substr(0, std::strlen(c.printed)), c.printed) << c.name;
      EXPECT_EQ(result, c.result) << c.name;
      EXPECT_DOUBLE_EQ(m->ov_cleanup_volume, c.cleanup) << c.name;
      EXPECT_EQ(pluvo::error_state.error_terminate, c.result < 0.0 ? 1 : 0) << c.name;
      pluvo_test::clear_error_state();
    }
  }
}

// Sweeps that fail at every length halve the sub-step below the smallest one allowed.
TEST(AdeStepControl, TooSmallASubstepStopsTheRun) {
  auto m = make_overland_grid(grid_spec{.cols = 3, .dx = 10.0, .elevation = [](int, int c) { return 3.0 - c; },
                                        .outlet_col = 3});
  m->overland_scheme = 2;
  m->dist_rough[1] = 0.0;  // an infinite discharge: no sub-step is short enough
  m->ov_depth[1] = 0.5;
  testing::internal::CaptureStdout();
  const double result = pluvo::route_overland_ade(*m, 10.0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "The ADE overland routing time step is getting really small\n"
            "Your time step is 0.000076 seconds \n"
            "Minimum time step allowed for your problem is 0.000100 seconds \n"
            "The biggest instability problem was encountered at cell 0 \n"
            "Reduce the model time step by a factor of 2 and try again.\n"
            "Program stopped.\n\n");  // with the reporter's line
  EXPECT_EQ(result, -1.0);
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  pluvo_test::clear_error_state();
}

}  // namespace
