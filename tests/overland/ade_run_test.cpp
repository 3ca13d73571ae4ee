// Whole runs through the project file with the alternating-direction schemes: a project
// without an OVERTYPE card takes ADE, and OVERTYPE ADE-PC takes the predictor-corrector.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "overland_fixture.hpp"
#include "run/driver.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

// The last discharge of an outlet hydrograph of "minutes discharge" lines.
double last_discharge(const std::string& hydrograph) {
  double minutes = 0.0, q = -1.0, value = 0.0;
  size_t at = 0;
  while (at < hydrograph.size()) {
    if (std::sscanf(hydrograph.c_str() + at, "%lf %lf", &minutes, &value) == 2) q = value;
    at = hydrograph.find('\n', at);
    if (at == std::string::npos) break;
    at++;
  }
  return q;
}

TEST(AdeRun, AProjectRoutesAStormWithEitherForm) {
  // The card NUM_THREADS 1 keeps the tiny grid off a thread team; the guard gives the
  // process its thread count back.
  pluvo_test::thread_count_guard keep(omp_get_max_threads());
  const char* overtype_cards[] = {"", "OVERTYPE ADE-PC\n"};
  for (const char* card : overtype_cards) {
    pluvo_test::scratch_dir dir;
    const std::string header = "north: 20\nsouth: 0\neast: 30\nwest: 0\nrows: 2\ncols: 3\n";
    write_file("w.msk", header + "1 1 1\n1 1 1\n");
    write_file("w.ele", header + "10.3 10.2 10.1\n10.2 10.1 10.0\n");
    write_file("w.prj", std::string("PLUVOPROJECT\nWATERSHED_MASK w.msk\nELEVATION w.ele\nGRIDSIZE 10\nROWS 2\n") +
                            "COLS 3\nOUTROW 2\nOUTCOL 3\nOUTSLOPE 0.01\nTIMESTEP 30\nTOT_TIME 60\nHYD_FREQ 1\n"
                            "MAP_FREQ 60\nMANNING_N 0.05\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\n"
                            "RAIN_INTENSITY 20\nRAIN_DURATION 40\nSUMMARY w.sum\nOUTLET_HYDRO w.hyd\nNUM_THREADS 1\n" +
                            card);
    testing::internal::CaptureStdout();
    const int result = pluvo::run_pluvo("w.prj", nullptr, "w.prj");
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 0) << card << console;
    EXPECT_GT(last_discharge(read_file("w.hyd")), 0.0) << card;
    // Closed to round-off: the summary prints 0.000000 percent, of either sign.
    const std::string summary = read_file("w.sum");
    const size_t at = summary.find("mass conservation error:");
    ASSERT_NE(at, std::string::npos) << card;
    double percent = 1.0;
    EXPECT_EQ(std::sscanf(summary.c_str() + at, "mass conservation error: %lf percent", &percent), 1) << card;
    EXPECT_LT(std::fabs(percent), 5e-7) << card;
  }
}

// A tilted V: planes falling 5 % toward a valley column that falls 2 % to the outlet at its
// foot, the valley 10 times rougher (n 0.15) than the planes, so the valley runs deeper than
// the 0.5 m step from the first plane cell: near-level faces between deep rough water and
// shallow smooth water, where the alternating sweeps used to swing from step to step.
TEST(AdeRun, ARoughValleyReachesTheRainsEquilibriumSteadily) {
  const int rows = 40, cols = 21, valley = 11;
  const double rain_mm_per_h = 200.0;
  const double equilibrium = rows * cols * 100.0 * rain_mm_per_h / 3.6e6;  // m3/s
  std::string header = "north: " + std::to_string(rows * 10) + "\nsouth: 0\neast: " + std::to_string(cols * 10) +
                       "\nwest: 0\nrows: " + std::to_string(rows) + "\ncols: " + std::to_string(cols) + "\n";
  std::string mask = header, ground = header, roughness = header;
  for (int r = 1; r <= rows; r++) {
    for (int c = 1; c <= cols; c++) {
      char z[32];
      std::snprintf(z, sizeof z, " %.3f", 100.0 + std::abs(c - valley) * 0.5 + (rows - r) * 0.2);
      mask += c > 1 ? " 1" : "1";
      ground += z;
      roughness += c == valley ? " 0.15" : " 0.015";
    }
    mask += "\n";
    ground += "\n";
    roughness += "\n";
  }
  const char* overtypes[] = {"ADE", "ADE-PC"};
  for (const char* overtype : overtypes) {
    pluvo_test::scratch_dir dir;
    write_file("v.msk", mask);
    write_file("v.ele", ground);
    write_file("v.rgh", roughness);
    write_file("v.prj", "PLUVOPROJECT\nWATERSHED_MASK v.msk\nELEVATION v.ele\nROUGHNESS v.rgh\nGRIDSIZE 10\n"
                        "ROWS 40\nCOLS 21\nOUTROW 40\nOUTCOL 11\nOUTSLOPE 0.02\nTIMESTEP 2\nTOT_TIME 30\n"
                        "HYD_FREQ 1\nMAP_FREQ 600\nSTART_DATE 2026 6 1\nSTART_TIME 12 0\nRAIN_INTENSITY 200\n"
                        "RAIN_DURATION 30\nSUMMARY v.sum\nOUTLET_HYDRO v.hyd\nOVERTYPE " +
                            std::string(overtype) + "\n");
    testing::internal::CaptureStdout();
    const int result = pluvo::run_pluvo("v.prj", nullptr, "v.prj");
    const std::string console = testing::internal::GetCapturedStdout();
    ASSERT_EQ(result, 0) << overtype << console;
    // The per-minute outlet discharge once the V drains what falls on it (from 25 min).
    const std::string hydrograph = read_file("v.hyd");
    double low = 1e300, high = -1e300, minutes = 0.0, q = 0.0;
    for (size_t at = 0; at < hydrograph.size();) {
      if (std::sscanf(hydrograph.c_str() + at, "%lf %lf", &minutes, &q) == 2 && minutes >= 25.0) {
        low = std::min(low, q);
        high = std::max(high, q);
      }
      at = hydrograph.find('\n', at);
      at = at == std::string::npos ? hydrograph.size() : at + 1;
    }
    const std::string summary = read_file("v.sum");
    const size_t at = summary.find("Event peak discharge (cubic meters per second):");
    ASSERT_NE(at, std::string::npos) << overtype;
    double peak = 0.0;
    ASSERT_EQ(std::sscanf(summary.c_str() + at, "Event peak discharge (cubic meters per second): %lf", &peak), 1);
    // ADE chooses its sub-steps; ADE-PC makes one pass of the whole 2 s step, whose error
    // the face limit bounds but does not remove.
    const double tolerance = std::string(overtype) == "ADE" ? 0.01 : 0.025;
    EXPECT_NEAR(low / equilibrium, 1.0, tolerance) << overtype;
    EXPECT_NEAR(high / equilibrium, 1.0, tolerance) << overtype;
    EXPECT_NEAR(peak / equilibrium, 1.0, tolerance) << overtype;
  }
}

}  // namespace
