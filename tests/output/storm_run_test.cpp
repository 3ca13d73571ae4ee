// A whole storm on a small tilted grid, through the driver, read back from the files it wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/julian.hpp"
#include "common/process.hpp"
#include "run/driver.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

// Three cells in a row falling 0.1 m per 10 m cell to the outlet in the east; 20 mm/h for
// 5 minutes, 10 minutes in all at 10 s steps, a hydrograph line every minute.
void give_tilted_strip(const std::string& phase, pluvo::model_state& m) {
  if (phase == "open_project_files") {
    const char* header = "north: 10\nsouth: 0\neast: 30\nwest: 0\nrows: 1\ncols: 3\n";
    write_file("strip.msk", std::string(header) + "1 1 1\n");
    write_file("strip.ele", std::string(header) + "10.2 10.1 10.0\n");
    m.watershed_mask_path = "strip.msk";
    m.elevation_path = "strip.ele";
    m.summary_path = "strip.sum";
    m.outlet_hydro_path = "strip.hyd";
    m.project_rows = m.mask_rows = m.rows = 1;
    m.project_cols = m.mask_cols = m.cols = 3;
    m.outlet_row = m.outrow = 1;
    m.outlet_col = m.outcol = 3;
    m.cell_size = m.gridsize = 10.0;
    m.manning_n_value = 0.03;
  }
  if (phase == "validate_project_options") {
    m.timestep = 10.0;
    m.tot_time = 10;
    m.outslope = 0.01;
    m.hyd_freq = 1.0;
    m.map_freq = 60;
    m.quiet = 1;
    m.overland_scheme = 1;  // the explicit scheme
    m.uniform_rain_on = 1;
    m.uniform_rain_duration = 5.0;
    m.uniform_rain_intensity = 20.0;
    m.cur_year = 2001, m.cur_month = 5, m.cur_day = 3, m.cur_hour = 6, m.cur_minute = 0;
    m.cur_julian = m.start_julian = pluvo::julian_date(2001, 5, 3, 6, 0, 0.0);
    m.event_start_dates[1] = m.event_start = m.cur_julian;
  }
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

double value_after(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  if (at == std::string::npos) return NAN;
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

TEST(StormRun, SummaryBalancesTheEventAndTheHydrographHasOneLinePerInterval) {
  std::string hydrographs[2];
  const int saved_threads = pluvo::thread_count;
  for (int threads : {1, 8}) {
    scratch_dir dir;
    pluvo::set_thread_count(threads);
    pluvo::set_phase_observer(
        [](const char* phase, int, pluvo::model_state& m) { give_tilted_strip(phase, m); });
    write_file("strip.prj", "PLUVOPROJECT\n");
    testing::internal::CaptureStdout();
    pluvo::run_pluvo("strip.prj", nullptr, "strip.prj");
    const std::string console = testing::internal::GetCapturedStdout();
    pluvo::set_phase_observer(nullptr);

    const std::string summary = read_file("strip.sum");
    // 20 mm/h for 5 minutes on 300 m2 is 0.5 m3.
    EXPECT_NEAR(value_after(summary, "volume of rainfall to overland:      "), 0.5, 1e-9) << summary;
    const double error = value_after(summary, "mass conservation error:");
    EXPECT_LE(std::fabs(error), 1e-6) << summary;
    const double in = value_after(summary, "Mass input + original mass:");
    const double out = value_after(summary, "Mass output + final mass:");
    EXPECT_NEAR(in, 0.5, 1e-6);
    EXPECT_NEAR(out, in, 1e-6);
    const double discharged = value_after(summary, "volume of discharge:                 ");
    const double left = value_after(summary, "volume remaining on surface:         ");
    EXPECT_GT(discharged, 0.0);
    EXPECT_NEAR(discharged + left, 0.5, 0.05);  // the table rounds to 0.1 m3
    EXPECT_LE(std::fabs(value_after(summary, "Overall mass balance error =")), 1e-6);

    hydrographs[threads == 1 ? 0 : 1] = read_file("strip.hyd");
    const std::vector<std::string> hydrograph = lines_of(read_file("strip.hyd"));
    ASSERT_EQ(hydrograph.size(), 11u) << console;  // minutes 0 to 10
    for (size_t i = 0; i < hydrograph.size(); ++i) {
      char expected_time[16];
      std::snprintf(expected_time, sizeof expected_time, "%8.2lf ", double(i));
      EXPECT_EQ(hydrograph[i].substr(0, 9), expected_time) << i;
      EXPECT_EQ(hydrograph[i].size(), 25u) << hydrograph[i];
    }
  }
  EXPECT_EQ(hydrographs[0], hydrographs[1]);  // the same on 1 and 8 threads
  pluvo::set_thread_count(saved_threads);
}

}  // namespace
