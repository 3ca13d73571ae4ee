#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/julian.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"

namespace {

using pluvo::model_state;

constexpr double minute = 1.0 / 1440.0;

// The last of three events of a long-term run, its rain over, on a grid of 4 cells of 10 m.
std::unique_ptr<model_state> long_term_event(int event_number) {
  auto m = std::make_unique<model_state>();
  m->long_term_on = 1;
  m->keep_running = 1;
  m->step_interval = minute;
  m->step_interval_s = 60.0;
  m->event_count = 3;
  m->event_start_dates = {0.0, 2452000.5, 2452010.5, 2452020.5};
  m->event_number = event_number;
  m->event_in_progress = 1;
  m->precip_state = 3;
  m->event_cutoff_q = 0.05;
  m->outlet_discharge = 0.01;
  m->event_peak_tracked = 2.0;
  m->cell_count = 4;
  m->cell_size = 10.0;
  m->ov_depth.assign(5, 0.0);
  m->cur_julian = 2452001.0;
  m->step_next_time = m->cur_julian + minute;
  return m;
}

struct end_case {
  const char* name;
  double surface_share;  // of the event's rain still on the ground
  int keep_running, event_in_progress, event_ended;
  const char* message;
};

TEST(EventEnd, LastEventWaitsWhileItsRainStandsOnTheSurface) {
  const end_case cases[] = {
      {"6 % on the surface", 0.06, 1, 1, 0, ""},
      {"4 % on the surface", 0.04, 0, 0, 1,
       "simulation ended normally; end of data for last event reached\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = long_term_event(3);
    m->rain_to_overland_volume = 1000.0;  // m3
    for (int j = 1; j <= 4; ++j) m->ov_depth[j] = c.surface_share * 1000.0 / 400.0;
    testing::internal::CaptureStdout();
    pluvo::check_event_end(*m);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    EXPECT_EQ(m->keep_running, c.keep_running);
    EXPECT_EQ(m->event_in_progress, c.event_in_progress);
    EXPECT_EQ(m->event_ended, c.event_ended);
    EXPECT_DOUBLE_EQ(m->surface_volume_final, c.surface_share * 1000.0);
  }
}

TEST(EventEnd, SmallPeakEndsWithTheCutoffMessage) {
  auto m = long_term_event(3);
  m->event_peak_tracked = 0.01;
  m->soil_moisture_accounting_on = 1;
  testing::internal::CaptureStdout();
  pluvo::check_event_end(*m);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "simulation ended normally; peak flow after last event fell below cutoff value.\n");
  EXPECT_EQ(m->keep_running, 0);
  EXPECT_EQ(m->last_event_ended, 1);
  EXPECT_EQ(m->event_closed, 1);
}

TEST(EventEnd, WindowMovesToTheNextEventOnly) {
  const struct {
    int event_number;
    bool moves;
  } cases[] = {{1, true}, {2, true}, {3, false}};
  for (const auto& c : cases) {
    auto m = long_term_event(c.event_number);
    const double before = m->step_next_time;
    testing::internal::CaptureStdout();
    pluvo::check_event_end(*m);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(m->event_ended, 1);
    EXPECT_EQ(m->keep_running, c.event_number < 3 ? 1 : 0);
    if (c.moves) {
      const double next = m->event_start_dates[size_t(c.event_number) + 1];
      EXPECT_EQ(m->step_next_time, next);
      EXPECT_EQ(m->step_last_time, next - minute);
    } else {
      // After the last event there is no next one to move to.
      EXPECT_EQ(m->step_next_time, before);
    }
  }
}

TEST(EventEnd, RainingOrHighFlowKeepsTheEventOpen) {
  auto raining = long_term_event(1);
  raining->precip_state = 1;
  pluvo::check_event_end(*raining);
  auto flowing = long_term_event(1);
  flowing->outlet_discharge = 0.5;
  pluvo::check_event_end(*flowing);
  for (const model_state* m : {raining.get(), flowing.get()}) {
    EXPECT_EQ(m->event_in_progress, 1);
    EXPECT_EQ(m->event_ended, 0);
    EXPECT_EQ(m->keep_running, 1);
  }
}

TEST(EventEnd, EndDateEndsTheRunOnTheFirstPassAfterIt) {
  const struct {
    double offset_min;
    int keep_running;
  } cases[] = {{-1.0, 1}, {0.0, 1}, {1.0, 0}};
  for (const auto& c : cases) {
    auto m = long_term_event(1);
    m->precip_state = 1;        // still raining
    m->outlet_discharge = 50.0;  // and flowing
    m->end_date_on = 1;
    m->end_date_julian = m->cur_julian - c.offset_min * minute;
    pluvo::check_event_end(*m);
    EXPECT_EQ(m->keep_running, c.keep_running) << c.offset_min;
    EXPECT_EQ(m->event_closed, 1 - c.keep_running) << c.offset_min;
  }
}

TEST(PeakTracking, EqualDischargeKeepsTheFirstPeakTime) {
  auto m = std::make_unique<model_state>();
  const double q[] = {1.0, 3.0, 3.0, 2.0};
  for (int step = 0; step < 4; ++step) {
    m->cur_julian = 2452000.5 + step * minute;
    m->cur_minute = step;
    m->outlet_discharge = q[step];
    pluvo::track_peak_discharge(*m);
  }
  EXPECT_EQ(m->event_peak_tracked, 3.0);
  EXPECT_EQ(m->peak_minute, 1);
  EXPECT_EQ(m->event_peak_julian, 2452000.5 + minute);
}

TEST(ProgressLine, PrintsOnRoutingStepsUnlessQuiet) {
  const struct {
    int quiet, cfs, on_step;
    const char* line;
  } cases[] = {
      {0, 0, 1, "event  1 elapsed time    90.00   6/05/2001 13:30:00 Qout=      1.25000000 cms\n"},
      {0, 1, 1, "event  1 elapsed time    90.00   6/05/2001 13:30:00 Qout=     35.31466700 cfs\n"},
      {1, 0, 1, ""},
      {0, 0, 0, ""},
  };
  for (const auto& c : cases) {
    auto m = std::make_unique<model_state>();
    m->quiet_on = c.quiet;
    m->qout_cfs_on = c.cfs;
    m->event_number = 1;
    m->elapsed_min = 90.0;
    m->cur_year = 2001;
    m->cur_month = 6;
    m->cur_day = 5;
    m->cur_hour = 13;
    m->cur_minute = 30;
    m->outlet_discharge = c.cfs ? 1.0 : 1.25;
    m->cur_julian = pluvo::julian_date(2001, 6, 5, 13, 30, 0.0);
    m->step_last_time = c.on_step ? m->cur_julian : m->cur_julian - minute;
    testing::internal::CaptureStdout();
    pluvo::print_progress(*m);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
  }
}

TEST(ProgressLine, NetworkExtremesCoverTheLastLink) {
  auto m = std::make_unique<model_state>();
  m->stream_info = 1;
  m->nlinks = 2;
  m->max_nodes = 2;
  m->nx = {0, 2, 1};
  m->qp.assign(9, 0.0);
  m->yp.assign(9, 0.0);
  m->bel.assign(9, 0.0);
  // link 1: nodes 1, 2; link 2: node 1 (flat index 3 * link + node)
  m->qp[4] = 1.0, m->qp[5] = 1.0, m->qp[7] = 4.0;
  m->yp[4] = 2.0, m->yp[5] = 0.5, m->yp[7] = 0.25;
  m->quiet_on = 0;
  m->super_quiet_on = 1;  // the extremes only
  testing::internal::CaptureStdout();
  pluvo::print_progress(*m);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "    ==> Max Yp (N 1, L 1) = 2.000000\n"
            "    ==> Min Yp (N 1, L 2) = 0.250000\n"
            "    ==> Max Qp (N 1, L 2) = 4.000000\n"
            "    ==> Min Qp (N 1, L 1) = 1.000000\n");
}

}  // namespace
