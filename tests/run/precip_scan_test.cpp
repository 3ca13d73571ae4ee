#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

// One gauge event of two hourly records starting on day d of May 2001 at 06:00.
std::string event_on(int d) {
  char text[200];
  std::snprintf(text, sizeof text,
                "EVENT \"storm\"\nNRGAG 1\nNRPDS 2\nCOORD 0 0 g1\n"
                "GAGES 2001 5 %d 6 0 0\nGAGES 2001 5 %d 7 0 5\n",
                d, d);
  return text;
}

std::unique_ptr<model_state> scan(const std::string& file_text, int long_term, std::string& console) {
  write_file("rain.gag", file_text);
  auto m = std::make_unique<model_state>();
  m->long_term_on = long_term;
  m->precip_on = 1;
  m->precip_path = "rain.gag";
  EXPECT_TRUE(pluvo::checked_file_open(m->raingage_fp, "rain.gag", 'r'));
  testing::internal::CaptureStdout();
  pluvo::scan_precip_events(*m);
  console = testing::internal::GetCapturedStdout();
  return m;
}

TEST(PrecipScan, CountsEventsAndNotesTheirStarts) {
  scratch_dir dir;
  const std::string three = event_on(3) + event_on(10) + event_on(20);
  const struct {
    int long_term, event_count;
    const char* console;
  } cases[] = {
      {1, 3, "End of precipitation input file reached.\nPrecip. file contains 3 events\n"},
      {0, 1,
       "End of precipitation input file reached.\n"
       "Precip. file contains 3 events, simulating first event only\n"
       "because LONG_TERM project file card not set in project file.\n"},
  };
  for (const auto& c : cases) {
    std::string console;
    auto m = scan(three, c.long_term, console);
    EXPECT_EQ(console, c.console);
    EXPECT_EQ(m->event_count, c.event_count);
    ASSERT_GE(m->event_start_dates.size(), 4u);
    EXPECT_EQ(m->event_start_dates[1], pluvo::julian_date(2001, 5, 3, 6, 0, 0.0));
    EXPECT_EQ(m->event_start_dates[3], pluvo::julian_date(2001, 5, 20, 6, 0, 0.0));
    // Rewound, so the event phase reads the first event again.
    EXPECT_EQ(std::ftell(m->raingage_fp.stream), 0L);
    pluvo::checked_file_close(m->raingage_fp);
  }
}

TEST(PrecipScan, KeepsEveryEventBeyondTwoThousand) {
  scratch_dir dir;
  std::string many;
  for (int k = 0; k < 2100; ++k) many += event_on(1 + k % 28);
  std::string console;
  auto m = scan(many, 1, console);
  EXPECT_EQ(m->event_count, 2100);
  ASSERT_EQ(m->event_start_dates.size(), 2101u);
  EXPECT_EQ(m->event_start_dates[2100], pluvo::julian_date(2001, 5, 1 + 2099 % 28, 6, 0, 0.0));
  pluvo::checked_file_close(m->raingage_fp);
}

TEST(PrecipScan, FileWithoutEventsStops) {
  scratch_dir dir;
  std::string console;
  auto m = scan("", 0, console);
  EXPECT_NE(console.find("Precipitation file rain.gag holds no rain event.  Program terminated.\n"),
            std::string::npos);
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  pluvo::error_state.error_terminate = 0;
  pluvo::checked_file_close(m->raingage_fp);
}

TEST(PrecipScan, OptimizationPeaksHoldEveryHydrographPoint) {
  scratch_dir dir;
  auto m = std::make_unique<model_state>();
  m->uniform_rain_on = 1;
  m->optimize_on = 1;
  m->super_quiet_on = 1;
  m->hydrograph_link_count = 150;
  pluvo::scan_precip_events(*m);
  EXPECT_TRUE(m->optimize_output_fp.is_open());
  EXPECT_EQ(m->optimize_output_file_name, "pluvo_optim.out");
  EXPECT_EQ(m->point_peak_discharge.size(), 151u);
  EXPECT_EQ(m->point_event_volume.size(), 151u);
  pluvo::checked_file_close(m->optimize_output_fp);
}

}  // namespace
