#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "run/clock.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"

namespace {

using pluvo::model_state;

constexpr double second = 1.0 / 86400.0;

std::unique_ptr<model_state> uniform_rain_run(double step_s, int minutes) {
  auto m = std::make_unique<model_state>();
  m->uniform_rain_on = 1;
  m->timestep = step_s;
  m->time_step = step_s;
  m->total_time_min = minutes;
  m->uniform_rain_duration = minutes;
  m->start_year = m->cur_year = 2004;
  m->start_month = m->cur_month = 2;
  m->start_day = m->cur_day = 28;
  m->start_hour = m->cur_hour = 23;
  m->cur_julian = m->start_julian = pluvo::julian_date(2004, 2, 28, 23, 0, 0.0);
  m->event_start_dates[1] = m->event_start = m->cur_julian;
  m->event_count = 1;
  return m;
}

// The phases of the clock in their loop order, until the run ends.
void run_clock(model_state& m, int max_passes) {
  for (int pass = 0; pass < max_passes && m.keep_running; ++pass) {
    pluvo::advance_clock(m);
    pluvo::begin_event(m);
    pluvo::check_event_end(m);
  }
}

TEST(SimulationClock, HalfSecondStepsLandExactlyOnTheEndTime) {
  auto m = uniform_rain_run(0.5, 60);
  pluvo::init_simulation_clock(*m);
  ASSERT_EQ(m->keep_running, 1);
  testing::internal::CaptureStdout();
  run_clock(*m, 10000);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Initialized Arrays\nsimulation duration 60 minutes\n");
  EXPECT_EQ(m->keep_running, 0);
  EXPECT_EQ(m->step_count, 7200);
  EXPECT_EQ(m->cur_julian, m->clock_origin_julian + 7200 * m->time_step_days);
  EXPECT_NEAR(m->cur_julian, m->start_julian + 60.0 / 1440.0, 1e-9);
  // The clock crossed midnight into a leap day.
  EXPECT_EQ(m->cur_month, 2);
  EXPECT_EQ(m->cur_day, 29);
  EXPECT_EQ(m->cur_hour, 0);
  EXPECT_EQ(m->cur_minute, 0);
  EXPECT_EQ(m->day_of_year, 60);
}

TEST(SimulationClock, FirstPassKeepsTheStartTime) {
  auto m = uniform_rain_run(30.0, 10);
  pluvo::init_simulation_clock(*m);
  const double start = m->cur_julian;
  pluvo::advance_clock(*m);
  EXPECT_EQ(m->cur_julian, start);
  EXPECT_EQ(m->step_count, 0);
  pluvo::advance_clock(*m);
  EXPECT_EQ(m->step_count, 1);
  EXPECT_EQ(m->elapsed_min, 0.5);
}

TEST(SimulationClock, UniformRainWithoutStartDateStops) {
  auto m = uniform_rain_run(30.0, 10);
  m->cur_year = 0;
  testing::internal::CaptureStdout();
  pluvo::init_simulation_clock(*m);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("You did not specify the starting date and time in the\n"
                      "project file.  You must do this for simulations with\n"
                      "uniform precipitation using the START_DATE and START_TIME\n"
                      "cards.  Edit the project file.   Program terminated.\n",
                      0),
            0u);
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  EXPECT_EQ(m->keep_running, 0);
  pluvo::error_state.error_terminate = 0;
}

struct calendar_case {
  int year, month, day, hour;
  int day_of_year;
};

TEST(SimulationClock, DayOfYearCountsFebruaryOfTheYearAtHand) {
  const calendar_case cases[] = {
      {1900, 3, 1, 0, 61},  // every fourth year has 29 days in February
      {2001, 3, 1, 0, 60},  {2000, 12, 31, 23, 366}, {2001, 1, 5, 12, 5},
      {2004, 3, 1, 0, 61},  {2003, 3, 1, 0, 60},
  };
  auto m = std::make_unique<model_state>();
  for (const auto& c : cases) {
    m->clock_origin_julian = pluvo::julian_date(c.year, c.month, c.day, c.hour, 0, 0.0);
    m->cur_julian = m->clock_origin_julian;
    m->loop_pass = 0;
    pluvo::advance_clock(*m);
    EXPECT_EQ(m->day_of_year, c.day_of_year) << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST(SimulationClock, Hour24RollsToTheNextDay) {
  const int cases[][8] = {
      // year, month, day, hour -> year, month, day, hour
      {1999, 12, 31, 24, 2000, 1, 1, 0}, {2004, 2, 28, 24, 2004, 2, 29, 0},
      {2005, 2, 28, 24, 2005, 3, 1, 0},  {2004, 2, 29, 24, 2004, 3, 1, 0},
      {2001, 4, 30, 24, 2001, 5, 1, 0},  {2001, 4, 30, 23, 2001, 4, 30, 23},
  };
  for (const auto& c : cases) {
    int32_t y = c[0], mo = c[1], d = c[2], h = c[3];
    pluvo::roll_hour_24(y, mo, d, h);
    EXPECT_EQ(y, c[4]);
    EXPECT_EQ(mo, c[5]);
    EXPECT_EQ(d, c[6]);
    EXPECT_EQ(h, c[7]);
  }
}

// A long-term run with three events, hourly data from 1 May 2001 00:00.
std::unique_ptr<model_state> long_term_run() {
  auto m = std::make_unique<model_state>();
  m->long_term_on = 1;
  m->precip_on = 1;
  m->timestep = m->time_step = 60.0;
  m->hmet_year = m->hmet_last_year = 2001;
  m->hmet_month = 5;
  m->hmet_day = 1;
  m->hmet_last_month = 9;
  m->hmet_last_day = 30;
  m->event_count = 3;
  m->event_start_dates = {0.0, pluvo::julian_date(2001, 5, 3, 6, 0, 0.0),
                          pluvo::julian_date(2001, 6, 10, 12, 30, 0.0),
                          pluvo::julian_date(2001, 7, 1, 0, 0, 0.0)};
  m->green_ampt_on = 1;
  return m;
}

struct timer_case {
  const char* name;
  int start_year, start_month, start_day;  // START_DATE, 0 when not given
  bool water_on_grid;
  double cur, step_last, step_next, infil_last, precip_next;
  int start_event_index, event_number;
};

TEST(SimulationClock, TimersStartFromTheClockOrTheEvent) {
  const double dt = 60.0 * second;
  const double hmet0 = pluvo::julian_date(2001, 5, 1, 0, 0, 0.0);
  const double e1 = pluvo::julian_date(2001, 5, 3, 6, 0, 0.0);
  const double e2 = pluvo::julian_date(2001, 6, 10, 12, 30, 0.0);
  const double s = pluvo::julian_date(2001, 6, 1, 0, 0, 0.0);
  const double after = pluvo::julian_date(2001, 8, 1, 0, 0, 0.0);
  const timer_case cases[] = {
      {"wet start", 0, 0, 0, true, hmet0, hmet0 - dt, hmet0, hmet0, e1, 0, 0},
      {"dry start", 0, 0, 0, false, hmet0, e1 - dt, e1, e1, e1, 0, 0},
      {"START_DATE", 2001, 6, 1, false, s, e2, e2 + dt, s, e2, 2, 1},
      // No event is due after the last one: nothing that waits for an event starts.
      {"START_DATE after every event", 2001, 8, 1, false, after, pluvo::no_event_due,
       pluvo::no_event_due + dt, after, pluvo::no_event_due, 4, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = long_term_run();
    m->start_year = c.start_year;
    m->start_month = c.start_month;
    m->start_day = c.start_day;
    m->ov_water_present = c.water_on_grid;
    pluvo::init_simulation_clock(*m);
    EXPECT_DOUBLE_EQ(m->cur_julian, c.cur);
    EXPECT_DOUBLE_EQ(m->clock_origin_julian, c.cur);
    EXPECT_DOUBLE_EQ(m->step_last_time, c.step_last);
    EXPECT_DOUBLE_EQ(m->step_next_time, c.step_next);
    EXPECT_DOUBLE_EQ(m->precip_next_time, c.precip_next);
    EXPECT_EQ(m->start_event_index, c.start_event_index);
    EXPECT_EQ(m->event_number, c.event_number);
    EXPECT_DOUBLE_EQ(m->hmet_last_time, c.cur - 1.0 / 24.0);
    EXPECT_DOUBLE_EQ(m->hmet_next_time, c.cur);
    EXPECT_DOUBLE_EQ(m->snow_next_time, c.cur + 1.0 / 24.0 - dt);
    EXPECT_DOUBLE_EQ(m->step_interval_s, 60.0);
    if (c.start_year == 0) {
      EXPECT_DOUBLE_EQ(m->infil_last_time, c.infil_last);
      EXPECT_DOUBLE_EQ(m->infil_next_time, c.infil_last + dt);
    }
    EXPECT_EQ(m->keep_running, 1);
    EXPECT_EQ(m->loop_pass, 0);
  }
}

TEST(EventStart, ActsOnlyWithinTheTolerance) {
  const struct {
    double offset_s;
    bool acts;
  } cases[] = {{0.0, true}, {0.005, true}, {-0.005, true}, {0.02, false}, {-0.02, false}};
  for (const auto& c : cases) {
    auto m = uniform_rain_run(1.0, 10);
    pluvo::init_simulation_clock(*m);
    m->event_start = m->cur_julian + c.offset_s * second;
    m->event_peak_tracked = 5.0;
    testing::internal::CaptureStdout();
    pluvo::begin_event(*m);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(m->event_peak_tracked == 0.0, c.acts) << c.offset_s;
    EXPECT_EQ(out.find("Initialized Arrays\n") != std::string::npos, c.acts) << c.offset_s;
  }
}

// The event's interception and clean-up figures are run totals less their values here, so an
// event must not report what earlier events held.
TEST(EventStart, RunTotalsThatEventsReportAreMarked) {
  auto m = uniform_rain_run(1.0, 10);
  pluvo::init_simulation_clock(*m);
  m->interception_on = 1;
  m->intercepted_volume = 3.5;
  m->ov_cleanup_volume = 0.25;
  testing::internal::CaptureStdout();
  pluvo::begin_event(*m);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(m->intercepted_volume_start, 3.5);
  EXPECT_EQ(m->ov_cleanup_volume_start, 0.25);
}

TEST(EventStart, WetlandGroundIsLoweredOnce) {
  auto m = uniform_rain_run(1.0, 10);
  m->cell_count = 2;
  m->cell_size = 10.0;
  m->wetland_on = 1;
  m->wetland_mask = {0, 1, 0};
  m->wetland_properties.assign(2, {});
  m->wetland_properties[1][0] = 0.2;  // initial depth
  m->wetland_properties[1][7] = 0.5;  // ground below the map
  m->elevation = {0.0, 100.0, 100.0};
  m->ov_depth = {0.0, 0.0, 0.3};
  pluvo::init_simulation_clock(*m);
  testing::internal::CaptureStdout();
  for (int event = 0; event < 3; ++event) pluvo::begin_event(*m);
  testing::internal::GetCapturedStdout();
  EXPECT_DOUBLE_EQ(m->elevation[1], 99.5);
  EXPECT_DOUBLE_EQ(m->elevation[2], 100.0);
  EXPECT_DOUBLE_EQ(m->ov_depth[1], 0.2);
  EXPECT_DOUBLE_EQ(m->ov_depth[2], 0.0);
  // The event's starting water is what stands on the cells.
  EXPECT_DOUBLE_EQ(m->event_ov_volume_initial, 0.2 * 100.0);
  EXPECT_EQ(m->awaiting_first_rain, 0);
}

}  // namespace

namespace {

TEST(EventStart, LongTermMoistureIsKeptInsideItsRange) {
  const struct {
    double water_top;  // cm in a 30 cm top layer
    double moisture;
    const char* message;
  } cases[] = {
      {9.0, 0.3, ""},
      {0.9, 0.06,
       "cell: 1  thi: 0.030000  thr: 0.050000   phi: 0.450000\n"
       "Problem initializing inf_redist in main loop, thi<thr at grid cell 1, increasing it to 0.060000\n"},
      {15.0, 0.44,
       "cell: 1  thi: 0.500000  thr: 0.050000   phi: 0.450000\n"
       "Problem initializing inf_redist in main loop, thi>phi at grid cell 1, decreasing it to 0.440000\n"},
  };
  for (const auto& c : cases) {
    auto m = uniform_rain_run(60.0, 10);
    m->long_term_on = 1;
    m->inf_redist_on = 1;
    m->cell_count = 1;
    m->cell_size = 10.0;
    m->top_layer_depth_cm = 30.0;
    for (auto* v : {&m->infil_depth, &m->infil_depth_prev, &m->redist_depth, &m->redist_theta,
                    &m->redist_surface_theta, &m->initial_moisture_cell, &m->sm_water_top,
                    &m->ov_depth})
      v->assign(2, 0.0);
    for (auto* v : {&m->no_wat_prof, &m->iter_pond_1, &m->iter_n, &m->iter_i_less_k}) v->assign(2, 7);
    m->porosity_cell.assign(2, 0.45);
    m->residual_sat_cell.assign(2, 0.05);
    m->sm_depth_cell.assign(2, 100.0);
    m->sm_water_top[1] = c.water_top;
    m->event_start = m->cur_julian;
    testing::internal::CaptureStdout();
    pluvo::begin_event(*m);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, std::string("Initialized Arrays\n") + c.message);
    EXPECT_NEAR(m->initial_moisture_cell[1], c.moisture, 1e-12);
    EXPECT_EQ(m->redist_theta[1], m->initial_moisture_cell[1]);
    EXPECT_EQ(m->iter_n[1], 0);
    EXPECT_NEAR(m->initial_soil_water, c.moisture / 0.45, 1e-12);
    EXPECT_EQ(m->inf_redist_initialized, 1);
  }
}

TEST(EventStart, CalibrationPointsStartUnset) {
  auto m = uniform_rain_run(60.0, 10);
  pluvo::calibration_results results;
  results.num_columns = 3;
  results.point_peaks.assign(4, 1.0);
  results.point_volumes.assign(4, 1.0);
  m->external_results = &results;
  m->optimize_on = 1;
  m->hyd_location_on = 1;
  m->hydrograph_link_count = 2;
  m->point_peak_discharge.assign(3, 4.0);
  m->point_event_volume.assign(3, 4.0);
  m->event_start = m->cur_julian;
  testing::internal::CaptureStdout();
  pluvo::begin_event(*m);
  testing::internal::GetCapturedStdout();
  for (int i = 1; i <= 2; ++i) {
    EXPECT_EQ(results.point_peaks[size_t(i)], -999.99);
    EXPECT_EQ(results.point_volumes[size_t(i)], -999.99);
    EXPECT_EQ(m->point_peak_discharge[size_t(i)], 0.0);
    EXPECT_EQ(m->point_event_volume[size_t(i)], 0.0);
  }
  m->external_results = nullptr;
}

}  // namespace
