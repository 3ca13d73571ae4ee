#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <memory>
#include <string>

#include "common/error_state.hpp"
#include "record/model_state.hpp"
#include "soil/infiltration_methods.hpp"
#include "soil/ponded_curve.hpp"
#include "soil/soil_phases.hpp"

namespace {

// These cases hold a few cells: one thread spares them the cost of parallel regions on a
// loaded machine.
class GreenAmpt : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = omp_get_max_threads();
    omp_set_num_threads(1);
  }
  void TearDown() override { omp_set_num_threads(saved_); }

 private:
  int saved_ = 1;
};
using InfiltrationPhase = GreenAmpt;

// Cells of one soil: Ks (m/s), capillary head (m), porosity, initial moisture.
std::unique_ptr<pluvo::model_state> make_soil(int cells, double ks, double hc, double porosity,
                                              double moisture) {
  auto m = std::make_unique<pluvo::model_state>();
  m->cell_count = cells;
  m->cell_size = 10.0;
  const size_t size = size_t(cells) + 1;
  m->ov_depth.assign(size, 0.0);
  m->ks_cell.assign(size, ks);
  m->hc_cell.assign(size, hc);
  m->porosity_cell.assign(size, porosity);
  m->initial_moisture_cell.assign(size, moisture);
  m->green_ampt_on = 1;
  return m;
}

using pluvo_test::implicit_green_ampt;

TEST_F(GreenAmpt, FrontSolvesTheStepEquation) {
  struct row {
    double k, p, f0, dt;
  };
  const row rows[] = {{1e-6, 0.033, 0.0, 60.0}, {1e-5, 0.05, 0.02, 3600.0}, {3e-7, 0.2, 0.5, 10.0},
                      {1e-6, 0.0, 0.01, 60.0}};
  for (const row& r : rows) {
    double f = 0.0;
    ASSERT_TRUE(pluvo::green_ampt_front(r.k, r.p, r.f0, r.dt, f));
    const double residual =
        r.p > 0.0 ? r.k * r.dt - (f - r.f0) + r.p * std::log((f + r.p) / (r.f0 + r.p))
                  : r.k * r.dt - (f - r.f0);
    EXPECT_LT(std::fabs(residual), 1e-9) << r.k << " " << r.p;
    EXPECT_GT(f, r.f0);
  }
}

// The step's increment x = F - F0 solves x - P ln(1 + x / (F0 + P)) = K dt; the left side
// grows with x, so bisection in long double gives the root.
long double front_increment(long double k, long double p, long double f0, long double dt) {
  const auto excess = [&](long double x) { return x - p * std::log1p(x / (f0 + p)) - k * dt; };
  long double lo = 0.0L, hi = k * dt + 1e-6L;
  while (excess(hi) < 0.0L) hi *= 2.0L;
  for (int i = 0; i < 200; i++) {
    const long double x = 0.5L * (lo + hi);
    (excess(x) < 0.0L ? lo : hi) = x;
  }
  return 0.5L * (lo + hi);
}

TEST_F(GreenAmpt, FrontIsTheRootToRoundOff) {
  struct row {
    const char* name;
    double k, p, f0, dt;
  };
  const row rows[] = {
      {"first ponded step", 1e-6, 0.033, 0.0, 10.0},
      {"tiny front", 1e-6, 0.033, 1e-12, 10.0},
      {"step far smaller than the old 1e-6 m tolerance", 1e-7, 0.001, 0.0, 2.0},
      {"deep front", 1e-6, 0.033, 0.3, 10.0},
      {"long step", 1e-5, 0.2, 0.02, 3600.0},
      {"fast soil, short step", 1e-4, 0.2, 0.001, 2.0},
      {"saturated soil", 1e-5, 0.0, 0.01, 60.0},
  };
  for (const row& r : rows) {
    double f = 0.0;
    ASSERT_TRUE(pluvo::green_ampt_front(r.k, r.p, r.f0, r.dt, f)) << r.name;
    const double x = r.p > 0.0 ? double(front_increment(r.k, r.p, r.f0, r.dt)) : r.k * r.dt;
    EXPECT_NEAR(f - r.f0, x, 1e-12 * x + 1e-15 * f) << r.name;  // f - f0 rounds at f
    EXPECT_NEAR(f, r.f0 + x, 1e-13 * f) << r.name;
  }
}

// A grid of cells cycling through a table of soils and waters, more cells than one block of
// the solve holds and enough for a team: every cell's front, depth and rate match the root of
// its own step equation (bisection in long double) to 1e-12, and 1 and 8 threads give the
// same bytes.
TEST_F(GreenAmpt, EveryCellOfAMixedGridTakesItsOwnRoot) {
  struct row {
    const char* name;
    double ks, hc, porosity, moisture, f0, depth;
  };
  const row rows[] = {
      {"ponded, deep front", 3.7e-6, 0.0889, 0.463, 0.22, 0.01, 0.05},
      {"ponded, first step", 1e-6, 0.11, 0.45, 0.15, 0.0, 0.05},
      {"ponded, tiny front", 1e-6, 0.11, 0.45, 0.15, 1e-12, 0.05},
      {"ponded, front far behind a long step", 1e-4, 0.2, 0.45, 0.15, 0.001, 0.5},
      {"unponded: all the water enters", 1e-6, 0.11, 0.45, 0.15, 0.02, 1e-6},
      {"saturated", 1e-5, 0.11, 0.45, 0.45, 0.01, 0.05},
      {"dry cell", 1e-6, 0.11, 0.45, 0.15, 0.01, 0.0},
  };
  const int n = 5000, count = int(std::size(rows));
  const double dt = 10.0;
  auto build = [&] {
    auto m = make_soil(n, 0.0, 0.0, 0.0, 0.0);
    m->infil_depth.assign(size_t(n) + 1, 0.0);
    for (int i = 1; i <= n; i++) {
      const row& r = rows[i % count];
      m->ks_cell[i] = r.ks;
      m->hc_cell[i] = r.hc;
      m->porosity_cell[i] = r.porosity;
      m->initial_moisture_cell[i] = r.moisture;
      m->infil_depth[i] = r.f0;
      m->ov_depth[i] = r.depth;
    }
    return m;
  };
  auto one = build(), eight = build();
  ASSERT_TRUE(pluvo::green_ampt_parallel(*one, dt));
  omp_set_num_threads(8);
  ASSERT_TRUE(pluvo::green_ampt_parallel(*eight, dt));
  omp_set_num_threads(1);
  EXPECT_EQ(one->infil_depth, eight->infil_depth);
  EXPECT_EQ(one->ov_depth, eight->ov_depth);
  EXPECT_EQ(one->infil_rate, eight->infil_rate);
  for (int i = 1; i <= n; i++) {
    const row& r = rows[i % count];
    const double p = r.hc * (r.porosity - r.moisture);
    double front = r.f0, depth = r.depth, rate = 0.0;
    if (r.depth > 0.0) {
      const double x = p > 0.0 ? double(front_increment(r.ks, p, r.f0, dt)) : r.ks * dt;
      const double capacity = r.ks * (1.0 + p / (r.f0 + x));
      const double taken = std::min(capacity * dt, r.depth);
      front += taken;
      depth -= taken;
      rate = taken / dt * 360000.0;
    }
    ASSERT_NEAR(one->infil_depth[i], front, 1e-12 * front) << r.name;
    ASSERT_NEAR(one->ov_depth[i], depth, 1e-12 * r.depth) << r.name;
    ASSERT_NEAR(one->infil_rate[i], rate, 1e-12 * rate) << r.name;
  }
}

TEST_F(GreenAmpt, DeepPondingFollowsTheCumulativeInfiltrationEquation) {
  // The capacity of a step is taken at its end, so the front lags by less than 1 % at 10 s.
  const double ks = 1e-6, p = 0.11 * 0.3, dt = 10.0;
  auto m = make_soil(1, ks, 0.11, 0.45, 0.15);
  m->ov_depth[1] = 10.0;
  for (int step = 1; step <= 6 * 360; step++) {
    ASSERT_TRUE(pluvo::green_ampt_parallel(*m, dt));
    if (step % 360 == 0) {
      const double exact = implicit_green_ampt(ks, p, step * dt);
      EXPECT_NEAR(m->infil_depth[1], exact, 0.01 * exact) << "hour " << step / 360;
    }
  }
  EXPECT_NEAR(m->ov_depth[1] + m->infil_depth[1], 10.0, 1e-12);
}

TEST_F(GreenAmpt, PondingTimeUnderSteadyRain) {
  const double ks = 1e-6, hc = 0.11, dtheta = 0.3, dt = 10.0;
  for (double ratio : {2.0, 5.0, 10.0}) {
    const double rain = ratio * ks;
    auto m = make_soil(1, ks, hc, 0.45, 0.15);
    double ponded_at = -1.0;
    for (int step = 1; step <= 20000 && ponded_at < 0.0; step++) {
      m->ov_depth[1] += rain * dt;
      ASSERT_TRUE(pluvo::green_ampt_parallel(*m, dt));
      if (m->ov_depth[1] > 0.0) ponded_at = step * dt;
    }
    const double tp = ks * hc * dtheta / (rain * (rain - ks));
    EXPECT_NEAR(ponded_at, tp, dt) << "rain/K " << ratio;
  }
}

TEST_F(GreenAmpt, CellCases) {
  auto m = make_soil(4, 1e-5, 0.1, 0.4, 0.1);
  m->lakes_on = 1;
  m->lake_mask = {0, 0, 1, 0, 0};
  m->ov_boundary_on = 1;
  m->boundary_type = {0, 0, 0, 0, 3};
  m->ov_depth = {0.0, 1e-17, 0.2, 1e-4, 1.0};
  ASSERT_TRUE(pluvo::green_ampt_parallel(*m, 60.0));
  // Dry cell: exactly dry, no rate.
  EXPECT_EQ(m->ov_depth[1], 0.0);
  EXPECT_EQ(m->infil_rate[1], 0.0);
  // Channel-lake cell keeps its water and front.
  EXPECT_EQ(m->ov_depth[2], 0.2);
  EXPECT_EQ(m->infil_depth[2], 0.0);
  // Capacity above the water: all of it goes, at h/dt.
  EXPECT_EQ(m->ov_depth[3], 0.0);
  EXPECT_EQ(m->infil_depth[3], 1e-4);
  EXPECT_DOUBLE_EQ(m->infil_rate[3], 1e-4 / 60.0 * 360000.0);
  // Head boundary cell keeps its depth and books the infiltrated volume as gained.
  EXPECT_EQ(m->ov_depth[4], 1.0);
  EXPECT_DOUBLE_EQ(m->ov_head_bound_gain, m->infil_depth[4] * 100.0);
}

TEST_F(GreenAmpt, NonRealFrontStopsTheRunNamingTheCell) {
  auto m = make_soil(3, 1e-6, 0.1, 0.4, 0.1);
  m->initial_moisture_cell[2] = 0.9;  // wetter than its porosity
  m->ov_depth = {0.0, 0.01, 0.01, 0.01};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(pluvo::green_ampt_parallel(*m, 60.0));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Green and Ampt infiltration failed to converge in cell 2: check its conductivity, capillary head, porosity and initial moisture.\n"),
            std::string::npos);
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  pluvo::error_state = pluvo::error_state_record();
}

TEST_F(InfiltrationPhase, BooksTotalsAndReschedules) {
  auto m = make_soil(2, 1e-5, 0.1, 0.4, 0.1);
  m->ov_depth = {0.0, 0.05, 0.0};
  m->infil_interval = 60.0 / 86400.0;
  m->cur_julian = 2451545.0;
  m->infil_last_time = m->cur_julian - m->infil_interval;
  m->infil_next_time = m->cur_julian;
  pluvo::compute_infiltration(*m);
  EXPECT_GT(m->cum_infil_depth[1], 0.0);
  EXPECT_DOUBLE_EQ(m->infil_volume_total, m->cum_infil_depth[1] * 100.0);
  EXPECT_NEAR(m->ov_depth[1] + m->cum_infil_depth[1], 0.05, 1e-15);
  EXPECT_EQ(m->infil_next_time, m->cur_julian + m->infil_interval);
  // Not due 0.02 s later: nothing changes.
  const double total = m->infil_volume_total;
  m->cur_julian += 0.02 / 86400.0;
  pluvo::compute_infiltration(*m);
  EXPECT_EQ(m->infil_volume_total, total);
}

}  // namespace
