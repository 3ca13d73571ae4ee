#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "overland_fixture.hpp"

namespace {

using pluvo_test::clear_error_state;
using pluvo_test::due_in;
using pluvo_test::grid_spec;
using pluvo_test::make_overland_grid;

TEST(OverlandPhase, DryGridAdvancesTheClockWithoutRouting) {
  auto m = make_overland_grid(grid_spec{.cols = 3});
  m->overland_scheme = 2;  // would stop the run if a scheme were called
  m->rain_on = 1;
  due_in(*m, 30.0);
  pluvo::route_overland_step(*m);
  EXPECT_EQ(pluvo::error_state.error_code, 0);
  EXPECT_EQ(m->outlet_discharge, 0.0);
  EXPECT_EQ(m->ov_routed_steps, 0);
  EXPECT_EQ(m->step_last_time, m->cur_julian);
  EXPECT_EQ(m->step_next_time, m->cur_julian + m->step_interval);
  // Not due: nothing happens.
  const double next = m->step_next_time;
  pluvo::route_overland_step(*m);
  EXPECT_EQ(m->step_next_time, next);
}

TEST(OverlandPhase, BooksTheOutletOutflow) {
  auto m = make_overland_grid(grid_spec{.cols = 2, .outlet_col = 2});
  m->ov_depth[2] = 0.1;
  m->rain_on = 1;
  due_in(*m, 10.0);
  pluvo::route_overland_step(*m);
  const double volume = m->total_discharge_volume;
  EXPECT_GT(volume, 0.0);
  EXPECT_EQ(m->event_ov_outflow_volume, volume);
  EXPECT_DOUBLE_EQ(m->outlet_discharge, volume / 10.0);
  EXPECT_NEAR(m->ov_depth[1] + m->ov_depth[2] + volume / 100.0, 0.1, 1e-15);
  EXPECT_EQ(m->ov_routed_steps, 1);
}

struct stop_case {
  const char* name;
  int scheme;
  bool nan_depth;
  bool no_slopes;
  const char* message;
};

TEST(OverlandPhase, StopsWithItsMessage) {
  const stop_case cases[] = {
      {"nan", 1, true, false,
       "A non-real overland flow water depth has been detected in cell 2 after applying overland boundary conditions and overland pumping.\n"},
      {"no slopes", 1, false, true, "The overland flow arrays are not set up for the 3 cells of the grid.\n"},
  };
  for (const stop_case& c : cases) {
    auto m = make_overland_grid(grid_spec{.cols = 3});
    m->overland_scheme = c.scheme;
    m->ov_depth[1] = 0.1;
    if (c.nan_depth) m->ov_depth[2] = std::numeric_limits<double>::quiet_NaN();
    if (c.no_slopes) m->slope_x.clear();
    due_in(*m, 30.0);
    testing::internal::CaptureStdout();
    pluvo::route_overland_step(*m);
    pluvo::report_error(pluvo::error_state);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(0, std::strlen(c.message)), c.message) << c.name;
    EXPECT_EQ(pluvo::error_state.error_terminate, 1) << c.name;
    clear_error_state();
  }
}

TEST(OverlandPhase, EndsTheRunoffOfASingleEvent) {
  const auto dir = std::filesystem::temp_directory_path() / ("pluvo_overland_end_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string summary = (dir / "summary.txt").string();
  auto m = make_overland_grid(grid_spec{.cols = 2});
  m->chan_explic_on = 1;
  m->rain_to_overland_volume = 50.0;
  m->keep_running = 1;
  m->event_in_progress = 1;
  m->summary_fp.stream = std::fopen(summary.c_str(), "w");
  due_in(*m, 30.0);
  testing::internal::CaptureStdout();
  pluvo::route_overland_step(*m);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Rainfall for this event has ended.\n");
  std::fclose(m->summary_fp.stream);
  m->summary_fp.stream = nullptr;
  std::ifstream in(summary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "Rainfall for this event ended. Runoff is complete\n");
  EXPECT_EQ(m->keep_running, 0);
  EXPECT_EQ(m->event_ended, 1);
  EXPECT_EQ(m->event_in_progress, 0);
  std::filesystem::remove_all(dir);
}

TEST(OverlandPhase, LongTermClockSleepsUntilTheNextEvent) {
  auto m = make_overland_grid(grid_spec{.cols = 2});
  m->long_term_on = 1;
  m->event_number = 1;  // the first event has run: the second is next
  m->event_start_dates = {0.0, 2451500.0, 2451600.5};
  m->cur_julian = 2451545.0;
  due_in(*m, 60.0);
  pluvo::route_overland_step(*m);
  EXPECT_EQ(m->step_next_time, 2451600.5);
  EXPECT_DOUBLE_EQ(m->step_last_time, 2451600.5 - 60.0 / 86400.0);
  EXPECT_EQ(m->infil_next_time, m->step_next_time);
  EXPECT_EQ(m->infil_last_time, m->step_last_time);
}

}  // namespace
