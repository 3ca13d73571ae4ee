// The precipitation file reader's refusals: each bad file with its message and result.
#include <gtest/gtest.h>

#include "hydromet/precip_file.hpp"
#include "precip_fixture.hpp"

namespace {

using namespace precip_test;

struct bad_file {
  const char* name;
  std::string text;
  int result;
  bool stops;  // a format error: code 4000 reported, the run stops
  std::string message;
};

const std::string head1 = "EVENT \"storm A\"\nNRGAG 1\nNRPDS 2\nCOORD 0 0 g1\n";

std::vector<bad_file> bad_files() {
  return {
      {"two card kinds", head1 + "GAGES 2020 1 1 0 0 1\nRATES 2020 1 1 1 0 1\n", 0, true,
       "\nERROR:\n\nThere is a problem in the precipitation input file.\n"
       "More than one precipitation data card type has been specified.\n"
       "There may only be one of the following card types per event:\n\n"
       "     1) RADAR\n     2) GAGES\n     3) RATES\n\n"
       "Check the precipitation input file.  PLUVO exiting\n\n"},
      {"unknown card kind", head1 + "DEPTH 2020 1 1 0 0 1\n", 0, true,
       "\nERROR:\n\nThere is a problem in the precipitation input file.\n"
       "At least one precipitation data card type must be specified.\n"
       "There may only be one of the following card types per event:\n\n"
       "     1) RADAR\n     2) GAGES\n     3) RATES    4) ACCUM\n\n"
       "Check the precipitation input file.  PLUVO exiting\n\n"},
      {"earlier date", head1 + "GAGES 2020 1 1 10 5 0\nGAGES 2020 1 1 10 4 1\n", 0, true,
       "\nERROR:\nThere is a data error in the precipitation file.  This error occurred in the\n"
       "EVENT titled:\n \"storm A\"\n"
       "On line no. 2, the given time of the recorded data is:    2020/1/1 10:04\n"
       "Which is earlier than the date/time on the previous line:  2020/1/1 10:05\n"
       "This error in your precipitation input file must be corrected before PLUVO\n"
       "can continue.  Program exiting on error.\n\n\n"},
      {"accumulation falls",
       "EVENT \"storm A\"\nNRGAG 1\nNRPDS 3\nCOORD 0 0 g1\n"
       "ACCUM 2020 1 1 0 0 0\nACCUM 2020 1 1 1 0 3\nACCUM 2020 1 1 2 0 2\n", 0, true,
       "\nERROR:\nThere is a data error in the precipitation file.  This error occurred in the\n"
       "EVENT titled:\n \"storm A\"\n"
       "On line no. 3, the accumulated precip. for gage number 1 is:  2.00000 mm\n"
       "Which is less than the accumulated precip. on the previous line:  3.00000 mm\n"
       "This error in your precipitation input file must be corrected before PLUVO\n"
       "can continue.  Accumulated precip is CUMULATIVE.  The values should increase\n"
       "monotonically.  Program exiting on error.\n\n\n"},
      {"coordinate card missing", "EVENT \"storm A\"\nNRGAG 2\nNRPDS 1\nCOORD 0 0 g1\n"
       "GAGES 2020 1 1 0 0 1 1\n", 0, true,
       "\nCannot find gage coordinate card in rainfall input file for event entitled:\n"
       "       \"storm A\"\n\nCheck rainfall input file format.\n\n"},
      {"gauge count out of range", "EVENT \"storm A\"\nNRGAG 0\nNRPDS 1\n", 0, true,
       "\nERROR: the NRGAG card of the event entitled:\n   \"storm A\"\n"
       "in the precipitation file @ gives 0; it must lie between 1 and 10000.\n\n"},
      {"gauge count is a word", "EVENT \"storm A\"\nNRGAG many\nNRPDS 1\n", 0, true,
       "\nERROR: the NRGAG card of the event entitled:\n   \"storm A\"\n"
       "in the precipitation file @ gives \"many\", neither a gauge count nor FILES.\n\n"},
      {"value line short", head1 + "GAGES 2020 1 1 0 0 1\nGAGES 2020 1 1 1 0\n", -1, false,
       "\n ERROR: \n\n check out gage input for precip record 2\n look at gage 1 \n"},
      {"file ends inside the records", head1 + "GAGES 2020 1 1 0 0 1\n", -1, false,
       "\n last year 2020 last month 1 last day 1 last hour 0 last minute 0 \n"},
      {"file ends before the counts", "EVENT \"storm A\"\nNRGAG 1\n", -1, false, ""},
      {"no event card", "just some words\n", 0, false, ""},
      {"no event card within the token limit", std::string(10001 * 2, ' ').replace(0, 1, "x") +
       [] { std::string s; for (int i = 0; i < 10001; ++i) s += "x "; return s; }(), 0, true,
       "There is a problem with your rainfall input file.  PLUVO cannot\n"
       "find the first event card.  Check the format of the rainfall input for event 0\n"
       "file.\n\n\n"},
      {"no counts within the token limit",
       "EVENT \"storm A\"\n" + [] { std::string s; for (int i = 0; i < 10001; ++i) s += "x "; return s; }(),
       0, true,
       "\nThere is a problem with your rainfall input file.  PLUVO cannot\n"
       "find the NRPDS or NRGAG card for the event entitled:\n   \"storm A\"\n\n"
       "Check the format of the rainfall input file.\n\n"},
  };
}

TEST(PrecipFile, BadFilesGiveTheirMessageAndResult) {
  for (const auto& c : bad_files()) {
    SCOPED_TRACE(c.name);
    clear_errors();
    pluvo::event_cards_found = 0;
    temp_dir dir;
    const auto path = dir.file("bad.gag", c.text);
    std::FILE* fp = std::fopen(path.c_str(), "r");
    ASSERT_NE(fp, nullptr);
    auto m = make_grid(1, 1, 30.0);
    testing::internal::CaptureStdout();
    const int result = pluvo::read_precip_event(fp, *m, path.c_str());
    const std::string text = testing::internal::GetCapturedStdout();
    std::fclose(fp);
    std::string expected = c.message;
    if (const auto at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, path);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(text, expected);
    EXPECT_EQ(pluvo::error_state.error_terminate, c.stops ? 1 : 0);
  }
}

TEST(PrecipFile, CardsInAnyCaseAndTheEventFieldsOfAGoodFile) {
  clear_errors();
  temp_dir dir;
  const auto path = dir.file("good.gag",
                             "Some header words EVE\r\nEvents \"first\"\r\nnrpds 2 skip nrgag 2\r\n"
                             "coord 100.5 200.25 \"north gauge\"\r\nCoord 300 400\r\n"
                             "gages 05 6 1 10 0 1.5\r\n 2.5\r\nGAGES 2005 6 1 10 30 3 4\r\n\r\n\r\n");
  std::FILE* fp = std::fopen(path.c_str(), "r");
  auto m = make_grid(1, 1, 30.0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(pluvo::read_precip_event(fp, *m, path.c_str()), 1);
  EXPECT_EQ(m->precip_gages_card, 1);
  EXPECT_EQ(pluvo::read_precip_event(fp, *m, path.c_str()), 0);  // only blank lines follow
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  std::fclose(fp);
  EXPECT_EQ(pluvo::error_state.error_terminate, 0);
  EXPECT_EQ(m->gauge_count, 2);
  EXPECT_EQ(m->precip_record_count, 2);
  EXPECT_EQ(m->gauge_x[1], 100.5);
  EXPECT_EQ(m->gauge_y[1], 200.25);
  EXPECT_EQ(m->gauge_x[2], 300.0);
  EXPECT_EQ(m->precip_dates[1].year, 1905);
  EXPECT_EQ(m->precip_dates[2].minute, 30);
  EXPECT_EQ(m->precip_table.rows[1][1], 1.5);
  EXPECT_EQ(m->precip_table.rows[2][1], 2.5);
  EXPECT_EQ(m->precip_table.rows[2][2], 4.0);
  EXPECT_EQ(m->event_title, "s \"first\"");  // a long word is read five letters at a time
}

TEST(PrecipFile, RadarFileNamesKeepNoLineEnd) {
  clear_errors();
  temp_dir dir;
  const auto path = dir.file("radar.gag",
                             "EVENT radar\r\nNRGAG FILES\r\nNRPDS 3\r\n"
                             "RADAR 2020 6 1 10 0 \"radar one.asc\"\r\n"
                             "RADAR 2020 6 1 10 15 radar2.asc\r\n"
                             "RADAR 2020 6 1 10 30 radar3.asc\r\n");
  std::FILE* fp = std::fopen(path.c_str(), "r");
  auto m = make_grid(1, 1, 30.0);
  m->radar_filenames.assign(pluvo::radar_filename_slots, std::string());
  EXPECT_EQ(pluvo::read_precip_event(fp, *m, path.c_str()), 1);
  std::fclose(fp);
  EXPECT_EQ(m->precip_kind, 2);
  EXPECT_EQ(m->gauge_count, 1);
  EXPECT_EQ(m->radar_filenames[0], "radar one.asc");
  EXPECT_EQ(m->radar_filenames[1], "radar2.asc");
  EXPECT_EQ(m->radar_filenames[2], "radar3.asc");
  EXPECT_EQ(m->radar_filenames[3], "radar3.asc");
}

struct date_case {
  const char* name;
  long event[4];  // year, month, day, hour
  int result;
  const char* message;
};

TEST(PrecipFile, EventStartInsideTheHourlyData) {
  // Hourly data from 2020-03-10 06:00 to 2020-09-20 18:00.
  const date_case cases[] = {
      {"inside", {2020, 5, 1, 0}, 1, ""},
      {"one hour early", {2020, 3, 10, 5}, 1,
       "\nRaingage data starts on hour 5 day 10 month 3 in year 2020\n"
       "while the hmet data begins on hour 6 day 10 of month 3 in year 2020\n"
       "Check your times and dates.\n"},
      {"one month early", {2020, 2, 10, 6}, 0,
       "\nRaingage Data starts in month 2 of 2020 while hmet data starts in\n"
       "month 3 of 2020\nProgram terminating.  Check your dates.\n"},
      {"a year late", {2021, 1, 1, 0}, 0,
       "\nRaingage Data starts in 2021, hydromet data ends in 2020.\n"
       "Program terminating.  Check your dates.\n"},
      {"a day late", {2020, 9, 21, 0}, 1,
       "\nRaingage data starts on day 21 of month 9 in year 2020\n"
       "while the hmet data ends on day 20 of month 9 in year 2020\nCheck your dates.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::internal::CaptureStdout();
    const int r = pluvo::check_precip_hmet_dates(2020, 3, 10, 6, 2020, 9, 20, 18, c.event[0],
                                                 c.event[1], c.event[2], c.event[3]);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    EXPECT_EQ(r, c.result);
  }
}

}  // namespace
