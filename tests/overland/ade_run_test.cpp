// Whole runs through the project file with the alternating-direction schemes: a project
// without an OVERTYPE card takes ADE, and OVERTYPE ADE-PC takes the predictor-corrector.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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

}  // namespace
