// Interception and retention: the seasonal factor by month and the water each cell holds.
#include <gtest/gtest.h>

#include <memory>

#include "record/model_state.hpp"
#include "soil/seasonal_retention.hpp"

namespace {

TEST(SeasonalRetention, FactorByMonth) {
  const double shaped[12] = {4, 4, 4, 3, 2, 1, 1, 1, 2, 3, 4, 4};  // spring 3, summer 6-8, fall 11
  const double south[12] = {4, 4, 4, 2.5, 1, 1, 1, 1, 1, 2.5, 4, 4};
  const double north[12] = {4, 4, 4, 4, 3, 2, 1, 1, 1, 2.5, 4, 4};
  for (int month = 1; month <= 12; ++month) {
    SCOPED_TRACE(month);
    EXPECT_DOUBLE_EQ(pluvo::seasonal_factor(month, 1, 45.0, 3, 11, 6, 8), shaped[month - 1]);
    EXPECT_DOUBLE_EQ(pluvo::seasonal_factor(month, 1, 36.9, 0, 0, 0, 0), south[month - 1]);
    EXPECT_DOUBLE_EQ(pluvo::seasonal_factor(month, 1, 37.0, 0, 0, 0, 0), north[month - 1]);
    EXPECT_DOUBLE_EQ(pluvo::seasonal_factor(month, 0, 45.0, 3, 11, 6, 8), 1.0);
  }
}

struct cell_case {
  const char* name;
  int month;            // with spring 3, summer 6-8, fall 11 (January: factor 4)
  double storage, coefficient, held_before, rate;  // mm, fraction, mm, mm/h
  int lake;             // channel-lake number of the cell
  double air;           // degrees C, with canopy snow interception on below 0
  double effective;     // mm/h
  double held;          // mm added to the store in the step
};

TEST(SeasonalRetention, EachCellPassesWhatItDoesNotHold) {
  const double dt = 60.0;  // 36 mm/h gives 0.6 mm in the step
  const cell_case cases[] = {
      {"store takes the whole step", 7, 2.0, 0.1, 0.0, 36.0, 0, 20.0, 0.0, 0.6},
      {"store fills within the step", 7, 2.0, 0.1, 1.8, 36.0, 0, 20.0, 21.6, 0.24},
      {"full store passes 1 - c", 7, 2.0, 0.1, 2.0, 36.0, 0, 20.0, 32.4, 0.06},
      {"dormant season: a quarter of store and c", 1, 2.0, 0.1, 0.5, 36.0, 0, 20.0, 35.1, 0.015},
      {"negative rate", 7, 2.0, 0.1, 0.0, -5.0, 0, 20.0, 0.0, 0.0},
      {"channel-lake cell", 7, 2.0, 0.1, 0.0, 36.0, 3, 20.0, 36.0, 0.0},
      {"snow onto the canopy", 7, 2.0, 0.1, 0.0, 36.0, 0, -2.0, 36.0, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = std::make_unique<pluvo::model_state>();
    m->cell_count = 1;
    m->cell_size = 10.0;
    m->cur_month = c.month;
    m->seasonal_rs_on = 1;
    m->rs_spring_month = 3;
    m->rs_summer_start_month = 6;
    m->rs_summer_end_month = 8;
    m->rs_fall_month = 11;
    m->lakes_on = 1;
    m->lake_mask = {0, c.lake};
    m->snow_canopy_intercept_on = 1;
    m->snow_px_temp = 0.0;
    m->temper_gridded = {0.0, c.air};
    m->icep_stor = {0.0, c.storage};
    m->icep_coef = {0.0, c.coefficient};
    m->icep_dep = {0.0, c.held_before};
    m->cell_rain_rate = {0.0, c.rate};
    m->ri_eff = {0.0, -1.0};
    pluvo::seasonal_retention_abstraction(*m, dt);
    EXPECT_NEAR(m->ri_eff[1], c.effective, 1e-12);
    EXPECT_NEAR(m->icep_dep[1] - c.held_before, c.held, 1e-15);
    EXPECT_NEAR(m->intercepted_volume, c.held * 100.0 / 1000.0, 1e-15);
    // Every drop of the step is either passed on or held.
    if (c.rate >= 0.0 && c.lake == 0 && c.air > 0.0) {
      EXPECT_NEAR(m->ri_eff[1] * dt / 3600.0 + c.held, c.rate * dt / 3600.0, 1e-15);
    }
  }
}

}  // namespace
