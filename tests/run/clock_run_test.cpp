#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/julian.hpp"
#include "run/driver.hpp"
#include "record/model_state.hpp"
#include "run/one_cell_watershed.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::scratch_dir;
using pluvo_test::write_file;

struct run_result {
  std::string console;
  int passes = 0;
  bool summary_written = false;
  double end_julian = 0.0;
  double start_julian = 0.0;
  double depth = 0.0;  // m, on the cell at the end
};

// A uniform-rain run on one cell, 10 minutes at 30 s steps from 3 May 2001 06:00, as the run
// parameters leave it. The overland phase keeps its step timer as it would when routing.
run_result run_uniform_rain(int quiet) {
  run_result r;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    const std::string name = phase;
    if (name == "open_project_files") pluvo_test::give_one_cell_watershed(m);
    if (name == "validate_project_options") {
      m.timestep = 30.0;
      m.tot_time = 10;
      m.outslope = 0.01;
      m.hyd_freq = 1.0;
      m.map_freq = 60;
      m.quiet = quiet;
      m.uniform_rain_on = 1;
      m.uniform_rain_duration = 5.0;
      m.uniform_rain_intensity = 20.0;
      m.cur_year = 2001, m.cur_month = 5, m.cur_day = 3, m.cur_hour = 6, m.cur_minute = 0;
      m.cur_julian = m.start_julian = pluvo::julian_date(2001, 5, 3, 6, 0, 0.0);
      m.event_start_dates[1] = m.event_start = m.cur_julian;
    }
    if (name == "build_cell_connectivity")  // the per-cell water arrays of the one cell
      for (auto* v : {&m.ov_depth, &m.ov_depth_change, &m.cell_rain_rate}) v->assign(2, 0.0);
    if (name == "advance_clock") r.passes++;
    if (name == "route_overland_step" && std::fabs(m.cur_julian - m.step_next_time) < m.time_tolerance) {
      m.step_last_time = m.cur_julian;
      m.step_next_time = m.cur_julian + m.step_interval;
    }
    if (name == "write_run_summary") {
      r.summary_written = true;
      r.end_julian = m.cur_julian;
      r.start_julian = m.start_julian;
      r.depth = m.ov_depth[1];
    }
  });
  write_file("u.prj", "PLUVOPROJECT\n");
  testing::internal::CaptureStdout();
  pluvo::run_pluvo("u.prj", nullptr, "u.prj");
  r.console = testing::internal::GetCapturedStdout();
  pluvo::set_phase_observer(nullptr);
  return r;
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(ClockRun, UniformRainRunsItsWholeDurationAndEndsNormally) {
  scratch_dir dir;
  const run_result r = run_uniform_rain(0);
  EXPECT_TRUE(r.summary_written) << r.console;
  EXPECT_EQ(r.passes, 21);  // the start and 20 steps of 30 s
  EXPECT_NEAR(r.end_julian - r.start_julian, 10.0 / 1440.0, 1e-9);
  // 20 mm/h for 5 minutes fell on the cell, and no more.
  EXPECT_NEAR(r.depth, 0.020 * 5.0 / 60.0, 1e-12);
  EXPECT_EQ(count(r.console, "Initialized Arrays\n"), 1u);
  EXPECT_EQ(count(r.console, "simulation duration 10 minutes\n"), 1u);
  EXPECT_EQ(count(r.console, "event  1 elapsed time"), 21u);
  EXPECT_NE(r.console.find("event  1 elapsed time     0.00   5/03/2001 06:00:00 Qout=      0.00000000 cms\n"),
            std::string::npos);
  EXPECT_NE(r.console.find("event  1 elapsed time    10.00   5/03/2001 06:10:00 Qout=      0.00000000 cms\n"),
            std::string::npos);
}

TEST(ClockRun, QuietSilencesOnlyTheProgressLines) {
  scratch_dir dir;
  const run_result r = run_uniform_rain(1);
  EXPECT_TRUE(r.summary_written);
  EXPECT_EQ(r.passes, 21);
  EXPECT_EQ(count(r.console, "event  1 elapsed time"), 0u);
  EXPECT_EQ(count(r.console, "Initialized Arrays\n"), 1u);
  EXPECT_EQ(count(r.console, "simulation duration 10 minutes\n"), 1u);
}

}  // namespace
