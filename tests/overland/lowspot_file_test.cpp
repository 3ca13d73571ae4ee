#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "overland/overland_phases.hpp"
#include "overland_fixture.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::scratch_dir;
using pluvo_test::write_file;

void write_map(const std::string& name, const std::string& values) {
  write_file(name, "north: 20\nsouth: 0\neast: 20\nwest: 0\nrows: 2\ncols: 2\n" + values);
}

// A 2 x 2 watershed with a dike between its two upper cells and the given low-spot file, read by
// the set-up of a run; returns 1 when the set-up stopped.
int run_with_lowspots(const std::string& spots, std::string& out) {
  write_map("mask.asc", "1 1\n1 1\n");
  write_map("elev.asc", "100 99\n99 98\n");
  write_map("dike.asc", "2 8\n0 0\n");
  write_file("spots.txt", spots);
  write_file("p.prj",
             "PLUVOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 10\nROWS 2\nCOLS 2\nOUTROW 2\n"
             "OUTCOL 2\nOUTSLOPE 0.01\nTIMESTEP 10\nTOT_TIME 10\nHYD_FREQ 1\nMAP_FREQ 60\nSTART_DATE 2020 6 1\n"
             "START_TIME 10 0\nRAIN_INTENSITY 10\nRAIN_DURATION 5\nMANNING_N 0.05\nSUMMARY run.sum\n"
             "OUTLET_HYDRO run.hyd\nDIKE_MAP dike.asc\nLOWSPOT_FILE spots.txt\nNUM_THREADS 1\n");
  // The reader stops the run through the one stop path: its message goes to the console.
  const pluvo_test::set_up_result r = pluvo_test::set_up_past_refusal("p.prj");
  out = r.out;
  EXPECT_FALSE(r.refused);  // low spots are built
  return r.stopped ? 1 : 0;
}

TEST(LowSpotFile, AProjectReadsItOrStopsWithItsMessages) {
  struct file_case {
    const char* name;
    const char* text;
    int status;
    const char* message;  // "" when the set-up goes on
  };
  const file_case cases[] = {
      {"valid", "LOWSPOT\nSPOT 1 1 2 0.5 101.0\n", 0, ""},
      {"no SPOT card", "LOWSPOT\nSPOTS 1 1 2 0.5 101.0\n", 1,
       "Premature end-of-file in the lowspot input file.\nNo SPOT cards encountered before end of file.\n"
       "Program terminated.\n"},
      {"nothing after the card", "LOWSPOT\n", 1,
       "Premature end-of-file in the lowspot input file.\nNo SPOT cards encountered before end of file.\n"
       "Program terminated.\n"},
      {"wrong card", "LOWSPOTS\nSPOT 1 1 2 0.5 101.0\n", 1,
       "The lowspot input file: spots.txt does not start with the LOWSPOT card.\n"
       "The file format is invalid.  Program terminated.\n"},
  };
  for (const file_case& c : cases) {
    scratch_dir dir;
    std::string out;
    EXPECT_EQ(run_with_lowspots(c.text, out), c.status) << c.name << "\n" << out;
    if (*c.message) {
      EXPECT_NE(out.find(c.message), std::string::npos) << c.name << "\n" << out;
    }
  }
}

TEST(LowSpotFile, CountsSpotCardsInAnyCaseAndReadsMissingValuesAsZero) {
  scratch_dir dir;
  write_file("spots.txt",
             "low\nspot 1 2 2 0.5\nSPOTS 9 9 9 9 9\n# SPOT 9 9 9 9 9\nSpot\t2 1 4 1.0 100.5\n  SPOT 3,3,8,0.25,7\n");
  pluvo::checked_file file;
  ASSERT_TRUE(pluvo::checked_file_open(file, "spots.txt", "r"));
  int count = 0;
  std::vector<pluvo::lowspot_record> spots;
  pluvo::read_lowspot_file(file, "spots.txt", count, spots);
  pluvo::checked_file_close(file);
  ASSERT_EQ(count, 3);
  ASSERT_EQ(spots.size(), 4u);
  struct expected {
    int row, col, side;
    double fraction, elevation;
  };
  const expected want[] = {{1, 2, 2, 0.5, 0.0}, {2, 1, 4, 1.0, 100.5}, {3, 3, 8, 0.25, 7.0}};
  for (int k = 1; k <= 3; k++) {
    const pluvo::lowspot_record& s = spots[size_t(k)];
    const expected& w = want[k - 1];
    EXPECT_EQ(s.row, w.row) << k;
    EXPECT_EQ(s.col, w.col) << k;
    EXPECT_EQ(s.direction, w.side) << k;
    EXPECT_EQ(s.fraction, w.fraction) << k;
    EXPECT_EQ(s.elevation, w.elevation) << k;
  }
}

TEST(LowSpotFile, SpotCardTest) {
  struct card_case {
    const char* line;
    int result;
    const char* rest;
  };
  const card_case cases[] = {
      {"SPOT 1 2", 0, " 1 2"}, {"  spot\t1", 0, "\t1"}, {"SpOt", 0, ""},  {"SPOTS 1", 1, " 1"},
      {"SPOT,1,2", 1, ""},     {"", 1, ""},             {" \t", 1, ""},
  };
  for (const card_case& c : cases) {
    char line[64];
    std::strcpy(line, c.line);
    EXPECT_EQ(pluvo::is_spot_card(line), c.result) << c.line;
    EXPECT_STREQ(line, c.rest) << c.line;
  }
}

}  // namespace
