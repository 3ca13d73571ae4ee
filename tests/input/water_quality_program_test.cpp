#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "grid_fixture.hpp"
#include "overland/overland_phases.hpp"
#include "run/whole_project.hpp"
#include "table_fixture.hpp"

namespace {

// The Luxembourg basin with soil erosion, a sediment table and a stream mapping-table file.
TEST(Program, ReadsSedimentClassesAndChecksTheStreamTables) {
  pluvo_test::temp_dir dir;
  for (const char* f : {"luxa.msk", "luxa.ele"})
    std::filesystem::copy_file(std::string(PLUVO_TEST_DATA "/input/lux-a/") + f, dir.file(f));
  std::string ones;  // every cell in class 1
  for (int r = 0; r < 33; ++r) {
    for (int c = 0; c < 28; ++c) ones += c ? " 1" : "1";
    ones += "\n";
  }
  const std::string text = pluvo_test::read_text(dir.file("luxa.msk"));
  size_t header_end = 0;
  for (int line = 0; line < 6; ++line) header_end = text.find('\n', header_end) + 1;
  dir.write("land.idx", text.substr(0, header_end) + ones);
  char sediments[3][96];
  std::snprintf(sediments[0], sizeof sediments[0], "%-40s%s\n", "clay", "2.65 0.002 0.1 clay.out");
  std::snprintf(sediments[1], sizeof sediments[1], "%-40s%s\n", "silt", "2.65 0.02 0.1 silt.out");
  std::snprintf(sediments[2], sizeof sediments[2], "%-40s%s\n", "sand", "2.65 0.5 0.1 sand.out");
  dir.write("t.cmt", std::string("PLUVO_INDEX_MAP_TABLES\nINDEX_MAP land.idx Land\nSEDIMENTS\nNUM_SED 3\nheader\n") +
                         sediments[0] + sediments[1] + sediments[2] +
                         "SOIL_EROSION_PROPS Land\nNUM_IDS 1\nNUM_SED 3\nheader\n" +
                         pluvo_test::table_row(1, "1 2 3 4 5 0.2 0.3 0.5"));
  dir.write("s.map", "STREAM_MAP\nNLINKS 0\n");
  dir.write("st.cmt", "PLUVO_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP s.map chan\nDISPERSION chan\nNUM_IDS 1\nhdr\n" +
                          pluvo_test::table_row(1, "0.5"));
  const std::string project = dir.write(
      "basin.prj",
      "PLUVOPROJECT\nWATERSHED_MASK luxa.msk\nELEVATION luxa.ele\nGRIDSIZE 500\nROWS 33\nCOLS 28\nOUTROW 19\n"
      "OUTCOL 27\nOUTSLOPE 0.022\nMANNING_N 0.05\nTIMESTEP 10\nTOT_TIME 10\nHYD_FREQ 1\nMAP_FREQ 60\n"
      "START_DATE 2020 6 1\nSTART_TIME 10 0\nOVERTYPE 1\nRAIN_INTENSITY 10\nRAIN_DURATION 30\nSUMMARY basin.sum\nOUTLET_HYDRO basin.hyd\nMAPPING_TABLE t.cmt\n"
      "ST_MAPPING_TABLE st.cmt\nSOIL_EROSION 1\nSAND_SIZE 0.062\nWATER_TEMP 20\nOUTLET_SED_FLUX sed.hyd\n");
  // Overland erosion runs and writes the outlet sediment line at every hydrograph time.
  int status = -1;
  const std::string ran = pluvo_test::run_command(std::string(PLUVO_BINARY " ") + project, status);
  EXPECT_EQ(status, 0) << ran;
  const std::string sediment = pluvo_test::read_text(dir.file("sed.hyd"));
  EXPECT_EQ(std::count(sediment.begin(), sediment.end(), '\n'), 11) << sediment;  // minutes 0..10
  bool erosion_reached = false;
  const pluvo_test::set_up_result set_up = pluvo_test::set_up_past_refusal(
      project.c_str(), [&](pluvo::model_state& m) { erosion_reached = pluvo::overland_erosion_on(m); });
  EXPECT_TRUE(erosion_reached);  // the switch the overland step tests comes from the card
  EXPECT_FALSE(set_up.refused);
  EXPECT_FALSE(set_up.stopped) << set_up.out;
  const std::string& out = set_up.out;
  for (const char* line : {"\nChecking stream mapping table file...\n  Roughness..........................N\n",
                           "  Dispersion.........................Y\n",
                           "Reading sediments table from mapping table file\n"
                           "Reading soil erosion properties table from mapping table file\n"
                           "In map land.idx category 1 has 524 values\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  EXPECT_TRUE(std::filesystem::exists(dir.file("sed.hyd")));
}

}  // namespace
