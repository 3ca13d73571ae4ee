// A whole run from a gauge file: the rain that falls on the grid is the file's depths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "run/driver.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::write_file;

// A 2 x 3 grid of 10 m cells under two gauges, Thiessen-weighted, 60 minutes in 30 s steps.
void write_two_gauge_project(const std::string& extra_cards) {
  const std::string header = "north: 20\nsouth: 0\neast: 30\nwest: 0\nrows: 2\ncols: 3\n";
  write_file("w.msk", header + "1 1 1\n1 1 1\n");
  write_file("w.ele", header + "10.3 10.2 10.1\n10.2 10.1 10.0\n");
  // Cells of x 5 and 15 m lie nearer gauge 1 (the middle column ties: the first gauge wins).
  write_file("w.gag",
             "EVENT \"two gauges\"\nNRGAG 2\nNRPDS 3\nCOORD 0 10 west\nCOORD 30 10 east\n"
             "GAGES 2020 6 1 10 0 0 0\nGAGES 2020 6 1 10 15 5 2\nGAGES 2020 6 1 10 30 5 4\n");
  write_file("w.prj",
             "PLUVOPROJECT\nWATERSHED_MASK w.msk\nELEVATION w.ele\nGRIDSIZE 10\nROWS 2\nCOLS 3\n"
             "OUTROW 2\nOUTCOL 3\nOUTSLOPE 0.01\nTIMESTEP 30\nTOT_TIME 60\nHYD_FREQ 1\n"
             "MAP_FREQ 60\nMANNING_N 0.05\nOVERTYPE 1\nPRECIP_FILE w.gag\nRAIN_THIESSEN\n"
             "SUMMARY w.sum\nOUTLET_HYDRO w.hyd\n" + extra_cards);
}

TEST(StormRun, RainVolumeOfTheRunIsTheGaugeDepths) {
  pluvo_test::scratch_dir dir;
  write_two_gauge_project("");
  double rain_volume = -1.0, overland_volume = -1.0;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (std::string(phase) == "write_run_summary") {
      rain_volume = m.rain_volume_total;
      overland_volume = m.rain_to_overland_volume;
    }
  });
  testing::internal::CaptureStdout();
  const int result = pluvo::run_pluvo("w.prj", nullptr, "w.prj");
  const std::string console = testing::internal::GetCapturedStdout();
  pluvo::set_phase_observer(nullptr);
  EXPECT_EQ(result, 0) << console;
  const double expected = (4 * 0.010 + 2 * 0.006) * 100.0;  // m3 on 10 m cells
  EXPECT_NEAR(rain_volume, expected, 1e-12) << console;
  EXPECT_NEAR(overland_volume, expected, 1e-12);
}


// With RAINFALL_MMPH the basin's rain each step is the mean of the cells' rates.
TEST(StormRun, BasinRainIsTheMeanOfTheCellRates) {
  pluvo_test::scratch_dir dir;
  write_two_gauge_project("RAINFALL_MMPH w.rmm\n");
  int raining_steps = 0;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (std::string(phase) != "apply_rainfall") return;
    double sum = 0.0;
    for (int c = 1; c <= m.cell_count; ++c) sum += m.cell_rain_rate[size_t(c)];
    EXPECT_DOUBLE_EQ(m.avg_rain_rate, sum / m.cell_count);
    if (sum > 0.0) ++raining_steps;
  });
  testing::internal::CaptureStdout();
  const int result = pluvo::run_pluvo("w.prj", nullptr, "w.prj");
  const std::string console = testing::internal::GetCapturedStdout();
  pluvo::set_phase_observer(nullptr);
  EXPECT_EQ(result, 0) << console;
  EXPECT_GT(raining_steps, 0);
  EXPECT_TRUE(std::filesystem::exists("w.rmm"));
}

}  // namespace

namespace {

// The demo storm over the Luxembourg basin (524 cells of 500 m): the run's rain volume is each
// cell's nearest gauge depth (28, 33 and 28 mm in the file) times the cell area.
TEST(StormRun, DemoStormPutsTheGaugeDepthsOnTheBasin) {
  pluvo_test::scratch_dir dir;
  pluvo_test::copy_demo_project("TOT_TIME 125");  // the rain ends after two hours

  const double gauge_x[] = {272000, 278000, 282000}, gauge_y[] = {5538000, 5533000, 5527000};
  const double depth_m[] = {0.028, 0.033, 0.028};
  double rain_volume = -1.0, expected = 0.0;
  int cells = 0;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (std::string(phase) != "write_run_summary") return;
    rain_volume = m.rain_volume_total;
    cells = m.cell_count;
    for (int c = 1; c <= m.cell_count; ++c) {
      int best = 0;
      for (int g = 1; g < 3; ++g)
        if (std::hypot(gauge_x[g] - m.cell_x[c], gauge_y[g] - m.cell_y[c]) <
            std::hypot(gauge_x[best] - m.cell_x[c], gauge_y[best] - m.cell_y[c]))
          best = g;
      expected += depth_m[best] * m.cell_size * m.cell_size;
    }
  });
  testing::internal::CaptureStdout();
  const int result = pluvo::run_pluvo("demo.prj", nullptr, "demo.prj");
  const std::string console = testing::internal::GetCapturedStdout();
  pluvo::set_phase_observer(nullptr);
  EXPECT_EQ(result, 0) << console;
  EXPECT_EQ(cells, 524);
  EXPECT_NEAR(rain_volume, expected, 1e-9 * expected);
}

}  // namespace

namespace {

// Gauge events read from a project's precipitation file and stepped at 7 s, a step that does
// not divide the 15-minute records: the rain on the grid is exactly the depth the records give
// for the periods inside the run, and so it is when several records fall in one step. A GAGES
// depth is what fell in the period ending at its record, so the first record's depth falls
// before the event.
struct gauge_event {
  const char* name;
  const char* records;
  double depth_mm;
  const char* step_s = "7";
};

const gauge_event gauge_events[] = {
    {"one depth, before the event", "GAGES 2020 6 1 10 0 4\n", 0.0},
    {"two depths", "GAGES 2020 6 1 10 0 3\nGAGES 2020 6 1 10 15 5\n", 5.0},
    {"three depths", "GAGES 2020 6 1 10 0 1\nGAGES 2020 6 1 10 15 5\nGAGES 2020 6 1 10 30 2\n", 7.0},
    {"three depths, uneven periods",
     "GAGES 2020 6 1 10 0 0\nGAGES 2020 6 1 10 13 2.6\nGAGES 2020 6 1 10 44 6.2\n", 8.8},
    {"two accumulated", "ACCUM 2020 6 1 10 0 1\nACCUM 2020 6 1 10 15 6\n", 5.0},
    {"three accumulated", "ACCUM 2020 6 1 10 0 0\nACCUM 2020 6 1 10 15 2\nACCUM 2020 6 1 10 30 9\n", 9.0},
    {"two rates", "RATES 2020 6 1 10 0 12\nRATES 2020 6 1 10 15 0\n", 3.0},
    {"three rates", "RATES 2020 6 1 10 0 12\nRATES 2020 6 1 10 15 20\nRATES 2020 6 1 10 30 99\n", 8.0},
    {"records closer than the step",
     "GAGES 2020 6 1 10 0 0\nGAGES 2020 6 1 10 1 3\nGAGES 2020 6 1 10 2 1\n", 4.0, "90"},
};

TEST(StormRun, GaugeEventsPutTheirRecordedDepthWhateverTheStep) {
  const std::string header = "north: 20\nsouth: 0\neast: 30\nwest: 0\nrows: 2\ncols: 3\n";
  for (const auto& e : gauge_events) {
    SCOPED_TRACE(e.name);
    pluvo_test::scratch_dir dir;
    write_file("w.msk", header + "1 1 1\n1 1 1\n");
    write_file("w.ele", header + "10.3 10.2 10.1\n10.2 10.1 10.0\n");
    const std::string records = e.records;
    const auto count = std::count(records.begin(), records.end(), '\n');
    write_file("w.gag", "EVENT \"storm\"\nNRGAG 1\nNRPDS " + std::to_string(count) +
                            "\nCOORD 15 10 middle\n" + records);
    write_file("w.prj",
               "PLUVOPROJECT\nWATERSHED_MASK w.msk\nELEVATION w.ele\nGRIDSIZE 10\nROWS 2\nCOLS 3\n"
               "OUTROW 2\nOUTCOL 3\nOUTSLOPE 0.01\nTIMESTEP " + std::string(e.step_s) +
               "\nTOT_TIME 60\nHYD_FREQ 1\n"
               "MAP_FREQ 60\nMANNING_N 0.05\nOVERTYPE 1\nPRECIP_FILE w.gag\nRAIN_INV_DISTANCE\n"
               "SUMMARY w.sum\nOUTLET_HYDRO w.hyd\n");
    double rain_volume = -1.0;
    pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
      if (std::string(phase) == "write_run_summary") rain_volume = m.rain_volume_total;
    });
    testing::internal::CaptureStdout();
    const int result = pluvo::run_pluvo("w.prj", nullptr, "w.prj");
    const std::string console = testing::internal::GetCapturedStdout();
    pluvo::set_phase_observer(nullptr);
    EXPECT_EQ(result, 0) << console;
    const double expected = e.depth_mm / 1000.0 * 6 * 100.0;  // m3 on six 10 m cells
    EXPECT_NEAR(rain_volume, expected, 1e-12 * (1.0 + expected)) << console;
  }
}

}  // namespace
