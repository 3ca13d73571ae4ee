// Each step's rain goes, by the first rule that applies, to a lake, a boundary, snow or the depth.
#include <gtest/gtest.h>
#include <omp.h>

#include <vector>

#include "precip_fixture.hpp"

namespace {

using namespace precip_test;

constexpr double step_s = 60.0;
constexpr double d = 0.0006;    // 36 mm/h for 60 s, m
constexpr double v = d * 900.0;  // on a 30 m cell, m3

// A 1 x n grid with 36 mm/h everywhere, due for its rain now.
std::unique_ptr<pluvo::model_state> raining_grid(int n) {
  auto m = make_grid(1, n, 30.0);
  for (int c = 1; c <= n; ++c) m->cell_rain_rate[size_t(c)] = 36.0;
  m->precip_state = 1;
  m->cur_julian = 2459000.5;
  m->step_next_time = m->cur_julian;
  m->step_last_time = m->cur_julian - step_s / 86400.0;
  m->awaiting_first_rain = 1;
  m->elapsed_min = 7.0;
  return m;
}

TEST(Rainfall, LakeBoundaryBlockageAndPlainCells) {
  clear_errors();
  auto m = raining_grid(4);
  m->lakes_on = 1;
  m->lake_mask = {0, 0, 1, 0, 0};
  m->lake_volume = {0.0, 100.0};
  m->ov_boundary_on = 1;
  m->boundary_type = {0, 0, 0, 2, 0};
  m->ovr_flow_block_on = 1;
  m->ovr_flow_block_value1 = {0, 0, 0, 0, 0.25};
  pluvo::apply_rainfall(*m);
  EXPECT_EQ(pluvo::error_state.error_terminate, 0);
  // The held cell's rain leaves through its boundary; the blocked cell's rain reaches its open
  // three quarters only, where it stands as deep as on an open cell, and only that is booked.
  const double depth[] = {0.0, d, 0.0, 0.0, d};
  for (int c = 1; c <= 4; ++c) EXPECT_NEAR(m->ov_depth[size_t(c)], depth[c], 1e-18) << c;
  EXPECT_NEAR(m->lake_volume[1], 100.0 + v, 1e-12);
  EXPECT_NEAR(m->precip_to_lake_volume, v, 1e-15);
  EXPECT_NEAR(m->rain_volume_total, 3.75 * v, 1e-14);
  EXPECT_NEAR(m->rain_to_overland_volume, 2.75 * v, 1e-14);
  EXPECT_NEAR(m->ov_head_bound_loss, v, 1e-15);
  EXPECT_DOUBLE_EQ(m->rain_rate_sum, 108.0);
  EXPECT_EQ(m->rain_step_count, 1);
  EXPECT_DOUBLE_EQ(m->rain_start_min, 7.0);
  EXPECT_EQ(m->awaiting_first_rain, 0);
}

TEST(Rainfall, SnowFallsOnlyInLongTermRuns) {
  for (int long_term : {0, 1}) {
    SCOPED_TRACE(long_term);
    clear_errors();
    auto m = raining_grid(3);
    m->long_term_on = long_term;
    m->snow_px_temp = 0.0;
    m->temper_gridded = {0.0, -5.0, 5.0, 5.0};  // snowfall, rain on snow, rain
    m->snow_swe = {0.0, 0.0, 0.01, 0.0};
    m->snow_scf_cell = {0.0, 1.0, 1.0, 1.0};
    m->H_Val = {0.0, 0.0, 0.0, 0.0};
    m->Snow_Accumulated_Hr = {0.0, 0.0, 0.0, 0.0};
    pluvo::apply_rainfall(*m);
    if (long_term) {
      EXPECT_NEAR(m->snow_swe[1], d, 1e-18);
      EXPECT_NEAR(m->snow_swe[2], 0.01 + d, 1e-18);
      EXPECT_NEAR(m->H_Val[2], d * 1000.0, 1e-15);
      EXPECT_EQ(m->snow_present, 1);
      EXPECT_EQ(m->Snow_Accumulated_Hr[1], 1.0);
      EXPECT_EQ(m->ov_depth[1] + m->ov_depth[2], 0.0);
    } else {
      EXPECT_EQ(m->snow_present, 0);
      EXPECT_NEAR(m->ov_depth[1], d, 1e-18);
      EXPECT_NEAR(m->ov_depth[2], d, 1e-18);
    }
    EXPECT_NEAR(m->ov_depth[3], d, 1e-18);
  }
}

TEST(Rainfall, InterceptionOnCountsTheEffectiveRain) {
  clear_errors();
  auto m = raining_grid(2);
  m->interception_on = 1;
  m->cur_month = 7;
  m->icep_stor = {0.0, 0.6, 0.0};  // cell 1 holds the whole step, cell 2 holds nothing
  m->icep_coef = {0.0, 0.0, 0.0};
  m->icep_dep = {0.0, 0.0, 0.0};
  pluvo::apply_rainfall(*m);
  EXPECT_NEAR(m->ov_depth[1], 0.0, 1e-18);
  EXPECT_NEAR(m->ov_depth[2], d, 1e-18);
  EXPECT_NEAR(m->rain_volume_total, v, 1e-15);
  EXPECT_NEAR(m->intercepted_volume, v, 1e-15);
}

TEST(Rainfall, NegativeRainStopsAtTheFirstBadCell) {
  clear_errors();
  auto m = raining_grid(3);
  m->cell_rain_rate[2] = -36.0;
  m->cell_rain_rate[3] = -36.0;
  testing::internal::CaptureStdout();
  pluvo::apply_rainfall(*m);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "A negative depth has been detected for overland cell 2 after applying rainfall, "
            "check your rainfall input for negative values\n\n");
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  clear_errors();
}


// Cells that only take rain on their depth get the same bits whether or not another rule is on
// anywhere, with rates that change from cell to cell, on one thread and on eight.
TEST(Rainfall, PlainCellsTakeTheSameRainWhateverRulesAreOn) {
  const int n = 5000;  // enough cells for a thread team
  struct outcome {
    std::vector<double> depth;
    double volume, rate_sum;
  };
  const auto rain = [&](bool boundaries_on, int threads) {
    clear_errors();
    auto m = raining_grid(n);
    for (int c = 1; c <= n; ++c) {
      m->cell_rain_rate[size_t(c)] = 36.0 + double((c / 7) % 5) * 3.3;  // runs of equal rates
      m->ov_depth[size_t(c)] = 0.001 * double(c % 3);
    }
    if (boundaries_on) {
      m->ov_boundary_on = 1;
      m->boundary_type.assign(size_t(n) + 1, 0);  // no cell is a boundary
    }
    const int saved = omp_get_max_threads();
    omp_set_num_threads(threads);
    pluvo::apply_rainfall(*m);
    omp_set_num_threads(saved);
    EXPECT_EQ(pluvo::error_state.error_terminate, 0);
    return outcome{m->ov_depth, m->rain_volume_total, m->rain_rate_sum};
  };
  const outcome reference = rain(true, 1);
  double expected_volume = 0.0;
  for (int c = 1; c <= n; ++c) expected_volume += (reference.depth[size_t(c)] - 0.001 * double(c % 3)) * 900.0;
  EXPECT_NEAR(reference.volume, expected_volume, 1e-9);
  for (bool boundaries_on : {true, false})
    for (int threads : {1, 8}) {
      SCOPED_TRACE(testing::Message() << boundaries_on << " " << threads);
      const outcome o = rain(boundaries_on, threads);
      EXPECT_EQ(o.depth, reference.depth);
      EXPECT_EQ(o.volume, reference.volume);
      EXPECT_EQ(o.rate_sum, reference.rate_sum);
    }
}

}  // namespace
