#include <gtest/gtest.h>

#include <filesystem>

#include "grid_fixture.hpp"

namespace {

// The Luxembourg basin as a project in the test's own folder.
std::string basin_project(const pluvo_test::temp_dir& dir, const std::string& mask) {
  for (const char* f : {"luxa.msk", "luxa.ele"})
    std::filesystem::copy_file(std::string(PLUVO_TEST_DATA "/input/lux-a/") + f, dir.file(f));
  return dir.write("basin.prj",
                   "PLUVOPROJECT\nWATERSHED_MASK " + mask +
                       "\nELEVATION luxa.ele\nGRIDSIZE 500\nROWS 33\nCOLS 28\nOUTROW 19\nOUTCOL 27\n"
                       "OUTSLOPE 0.022\nMANNING_N 0.05\nTIMESTEP 10\nTOT_TIME 10\nHYD_FREQ 1\nMAP_FREQ 60\n"
                       "RAIN_INTENSITY 10\nRAIN_DURATION 30\nSUMMARY basin.sum\nOUTLET_HYDRO basin.hyd\n");
}

TEST(Program, ReadsTheBasinOrStopsOnAMissingMask) {
  pluvo_test::temp_dir dir;
  int status = -1;
  const std::string out =
      pluvo_test::run_command(std::string(PLUVO_BINARY " ") + basin_project(dir, "luxa.msk"), status);
  EXPECT_EQ(status, 0);
  for (const char* line : {"number of grid cells in watershed: 524\n", "outlet is in grid cell: 309\n",
                           "building cell to cell connectivity information\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line;
  EXPECT_EQ(pluvo_test::read_text(dir.file("maskmap")).substr(0, 19), "north: 5541523.80\ns");

  pluvo_test::temp_dir other;
  const std::string missing =
      pluvo_test::run_command(std::string(PLUVO_BINARY " ") + basin_project(other, "nowhere.msk"), status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(missing.find("Error: Unable to open watershed mask file.\n  (File: nowhere.msk)\n"),
            std::string::npos)
      << missing;
  EXPECT_EQ(missing.find("reading watershed mask"), std::string::npos);
}

}  // namespace
