// A whole run from a gauge file: the rain that falls on the grid is the file's depths.
#include <gtest/gtest.h>

#include <string>

#include "run/driver.hpp"
#include "run/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::write_file;

TEST(StormRun, RainVolumeOfTheRunIsTheGaugeDepths) {
  pluvo_test::scratch_dir dir;
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
             "SUMMARY w.sum\nOUTLET_HYDRO w.hyd\n");
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

}  // namespace
