// The precipitation file turned into rain: every period's depth falls, the rain ends on time.
#include <gtest/gtest.h>

#include "hydromet/precip_file.hpp"
#include "precip_fixture.hpp"

namespace {

using namespace precip_test;

struct storm_case {
  const char* name;
  const char* records;  // after the one-gauge header
  int year, month, day, hour, minute;  // first record
  double step_s;
  double depth_mm;      // depth that falls on the gauge's cell
  double rain_end_min;  // end of the last step with rain, after the first record
  bool long_delta_t;
};

const storm_case storms[] = {
    {"gages 0 5 5", "GAGES 2020 6 1 10 0 0\nGAGES 2020 6 1 10 30 5\nGAGES 2020 6 1 11 0 5\n",
     2020, 6, 1, 10, 0, 60.0, 10.0, 60.0, false},
    {"accum 0 6 6", "ACCUM 2020 6 1 10 0 0\nACCUM 2020 6 1 11 0 6\nACCUM 2020 6 1 12 0 6\n",
     2020, 6, 1, 10, 0, 60.0, 6.0, 60.0, false},
    {"rates 12 then 0", "RATES 2020 6 1 10 0 12\nRATES 2020 6 1 10 15 0\n",
     2020, 6, 1, 10, 0, 60.0, 3.0, 15.0, false},
    {"over midnight", "GAGES 2020 6 1 23 0 0\nGAGES 2020 6 2 1 0 4\n",
     2020, 6, 1, 23, 0, 300.0, 4.0, 120.0, false},
    {"no leap day", "GAGES 2023 2 28 23 0 0\nGAGES 2023 3 1 0 0 2\n",
     2023, 2, 28, 23, 0, 300.0, 2.0, 60.0, false},
    {"leap day", "GAGES 2024 2 28 23 0 0\nGAGES 2024 3 1 0 0 25\n",
     2024, 2, 28, 23, 0, 600.0, 25.0, 1500.0, true},
    {"two days apart", "GAGES 2020 6 1 10 0 0\nGAGES 2020 6 3 10 0 48\n",
     2020, 6, 1, 10, 0, 600.0, 48.0, 2880.0, true},
    {"two-digit year", "GAGES 99 6 1 10 0 0\nGAGES 99 6 1 11 0 7\n",
     1999, 6, 1, 10, 0, 60.0, 7.0, 60.0, false},
};

TEST(PrecipEvent, EveryPeriodDepthFallsAndTheRainEndsAtTheLastRecord) {
  for (const auto& s : storms) {
    SCOPED_TRACE(s.name);
    clear_errors();
    pluvo::scratch_dir dir;
    const std::string nrpds = std::to_string(std::count(s.records, s.records + std::strlen(s.records), '\n'));
    const auto path = file_in(dir, "storm.gag", std::string("EVENT \"test storm\"\nNRGAG 1\nNRPDS ") +
                                                nrpds + "\nCOORD 15 15 \"gauge\"\n" + s.records);
    auto m = make_grid(1, 1, 30.0);
    m->rain_thiessen_on = 1;
    const double start = pluvo::julian_date(s.year, s.month, s.day, s.hour, s.minute, 0.0);
    ASSERT_TRUE(open_precip(*m, path, start));
    testing::internal::CaptureStdout();
    const auto out = step_event(*m, start, s.step_s, 100000);
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(pluvo::error_state.error_terminate, 0) << text;
    EXPECT_EQ(m->event_start_year, s.year);
    EXPECT_NEAR(out.depth_mm, s.depth_mm, 1e-9);
    EXPECT_DOUBLE_EQ(out.rain_end_min, s.rain_end_min);
    EXPECT_EQ(text.find("WARNING: you have a long delta t in your precip file\n") != std::string::npos,
              s.long_delta_t);
    EXPECT_DOUBLE_EQ(m->cell_rain_rate[1], 0.0);  // nothing lingers after the rain
  }
}

TEST(PrecipEvent, RainVolumeIsDepthTimesCellsTimesArea) {
  clear_errors();
  pluvo::scratch_dir dir;
  const auto path = file_in(dir, "storm.gag",
                             "EVENT \"two gauges\"\nNRGAG 2\nNRPDS 3\n"
                             "COORD 0 0 \"south-west\"\nCOORD 120 90 \"north-east\"\n"
                             "GAGES 2020 6 1 10 0 0 0\nGAGES 2020 6 1 10 30 5 5\n"
                             "GAGES 2020 6 1 11 0 5 5\n");
  auto m = make_grid(3, 4, 30.0);
  m->rain_inv_distance_on = 1;
  const double start = pluvo::julian_date(2020, 6, 1, 10, 0, 0.0);
  ASSERT_TRUE(open_precip(*m, path, start));
  testing::internal::CaptureStdout();
  step_event(*m, start, 60.0, 1000);
  testing::internal::GetCapturedStdout();
  for (int c = 1; c <= m->cell_count; ++c) EXPECT_NEAR(m->ov_depth[c], 0.010, 1e-12) << c;
  EXPECT_NEAR(m->rain_volume_total, 0.010 * 12 * 900.0, 1e-9);
  EXPECT_NEAR(m->rain_to_overland_volume, m->rain_volume_total, 1e-12);
}

TEST(PrecipEvent, UniformRainOfHalfAnHourAtOneMinuteSteps) {
  clear_errors();
  auto m = make_grid(2, 3, 30.0);
  m->uniform_rain_on = 1;
  m->uniform_rain_intensity = 36.0;
  // What the clock set-up does for uniform rain of 30 minutes at 60 s steps.
  m->precip_record_count = 30;
  m->uniform_rain_step = 1;
  m->precip_state = 1;
  m->awaiting_first_rain = 1;
  const double step_days = 60.0 / 86400.0, start = 2459000.5;
  int rainy_steps = 0;
  for (int n = 0; n < 40; ++n) {
    m->step_count = n;
    m->elapsed_min = n;
    m->cur_julian = start + n * step_days;
    m->step_last_time = m->cur_julian - step_days;
    m->step_next_time = m->cur_julian;
    pluvo::update_precipitation(*m);
    const double before = m->ov_depth[1];
    pluvo::apply_rainfall(*m);
    const double added = m->ov_depth[1] - before;
    if (added > 0.0) {
      ++rainy_steps;
      EXPECT_NEAR(added, 0.0006, 1e-15);
    }
  }
  EXPECT_EQ(rainy_steps, 30);
  EXPECT_EQ(m->precip_state, 3);
  EXPECT_EQ(m->rain_on, 0);
  EXPECT_DOUBLE_EQ(m->rain_start_min, 0.0);
  EXPECT_NEAR(m->ov_depth[1], 0.018, 1e-14);
  EXPECT_NEAR(m->rain_volume_total, 0.018 * 6 * 900.0, 1e-10);
}

TEST(PrecipEvent, NoEventLeftEndsThePrecipitation) {
  clear_errors();
  pluvo::scratch_dir dir;
  const auto path = file_in(dir, "one.gag",
                             "EVENT one\nNRGAG 1\nNRPDS 2\nCOORD 15 15 g\n"
                             "RATES 2020 6 1 10 0 1\nRATES 2020 6 1 10 5 0\n\n\n");
  auto m = make_grid(1, 1, 30.0);
  m->rain_thiessen_on = 1;
  const double start = pluvo::julian_date(2020, 6, 1, 10, 0, 0.0);
  ASSERT_TRUE(open_precip(*m, path, start));
  testing::internal::CaptureStdout();
  step_event(*m, start, 60.0, 100);
  // A second event was never announced by the scan: the file is read once more by hand.
  EXPECT_EQ(pluvo::read_precip_event(m->raingage_fp.stream, *m, path.c_str()), 0);
  const std::string text = testing::internal::GetCapturedStdout();
  EXPECT_EQ(pluvo::error_state.error_terminate, 0);
  EXPECT_EQ(text, "reading precip data from file: " + path + "\n");
}

}  // namespace

namespace {

using namespace precip_test;

// A run that starts at its START_DATE reads through to the event that follows, and a second
// run of the same process does the same.
TEST(PrecipEvent, StartDateRunsReadTheSameEventEveryRun) {
  pluvo::scratch_dir dir;
  const auto path = file_in(dir, "two.gag",
                             "EVENT first\nNRGAG 1\nNRPDS 2\nCOORD 15 15 g\n"
                             "RATES 2020 6 1 10 0 5\nRATES 2020 6 1 11 0 0\n"
                             "EVENT second\nNRGAG 1\nNRPDS 2\nCOORD 15 15 g\n"
                             "RATES 2020 7 1 10 0 9\nRATES 2020 7 1 11 0 0\n");
  const double first = pluvo::julian_date(2020, 6, 1, 10, 0, 0.0);
  const double second = pluvo::julian_date(2020, 7, 1, 10, 0, 0.0);
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    clear_errors();
    auto m = make_grid(1, 1, 30.0);
    m->rain_thiessen_on = 1;
    ASSERT_TRUE(open_precip(*m, path, first));
    m->event_count = 2;
    m->event_start_dates = {0.0, first, second};
    m->long_term_on = 1;
    m->start_date_given = 1;
    m->event_number = 1;  // the clock starts at the second event
    m->hmet_year = m->hmet_last_year = 2020;
    m->hmet_month = 1;
    m->hmet_last_month = 12;
    m->cur_julian = second;
    testing::internal::CaptureStdout();
    pluvo::read_event_precip(*m);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(pluvo::error_state.error_terminate, 0);
    EXPECT_EQ(m->event_number, 2);
    EXPECT_EQ(m->event_start_month, 7);
    EXPECT_EQ(m->precip_table.rows[1][1], 9.0);
    EXPECT_EQ(m->precip_record_count, 3);
  }
}

}  // namespace

namespace {

using namespace precip_test;

struct refused_storm {
  const char* name;
  const char* records;
  const char* message;
};

TEST(PrecipEvent, NegativeRainStopsTheRun) {
  const refused_storm cases[] = {
      {"negative depth", "GAGES 2020 6 1 10 0 0\nGAGES 2020 6 1 10 30 -5\n",
       "You have a negative precip value for gage 1, rain period 1\n"
       "Check your rainfall inputs for event 1 \n\n"},
      {"negative rate", "RATES 2020 6 1 10 0 -12\nRATES 2020 6 1 10 15 0\n",
       "A negative rainfall has been detected for overland cell 1, check your rainfall input "
       "for negative values\n\n"},
      {"depth in no time", "GAGES 2020 6 1 10 0 0\nGAGES 2020 6 1 10 0 5\n",
       "Records 1 and 2 of event 1 have the same time, but gage 1 has 5.000000 mm between them\n"
       "Check your rainfall inputs for event 1 \n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clear_errors();
    pluvo::scratch_dir dir;
    const auto path = file_in(dir, "bad.gag", std::string("EVENT bad\nNRGAG 1\nNRPDS 2\nCOORD 15 15 g\n") +
                                              c.records);
    auto m = make_grid(1, 1, 30.0);
    m->rain_thiessen_on = 1;
    const double start = pluvo::julian_date(2020, 6, 1, 10, 0, 0.0);
    ASSERT_TRUE(open_precip(*m, path, start));
    testing::internal::CaptureStdout();
    step_event(*m, start, 60.0, 100);
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text.substr(text.find('\n') + 1), c.message);  // after the reading line
    EXPECT_EQ(pluvo::error_state.error_terminate, 1);
    EXPECT_EQ(m->ov_depth[1], 0.0);
  }
  clear_errors();
}

}  // namespace

namespace {

using namespace precip_test;

// In a long-term run, an event that begins before the previous one was closed closes it first.
TEST(PrecipEvent, AnUnclosedEventIsClosedBeforeTheNextBegins) {
  for (int closed : {0, 1}) {
    SCOPED_TRACE(closed);
    clear_errors();
    pluvo::scratch_dir dir;
    const auto path = file_in(dir, "one.gag", "EVENT e\nNRGAG 1\nNRPDS 2\nCOORD 15 15 g\n"
                                          "RATES 2020 7 1 10 0 9\nRATES 2020 7 1 11 0 0\n");
    auto m = make_grid(1, 1, 30.0);
    const double start = pluvo::julian_date(2020, 7, 1, 10, 0, 0.0);
    ASSERT_TRUE(open_precip(*m, path, start));
    m->long_term_on = 1;
    m->event_count = 2;
    m->event_start_dates = {0.0, start - 10.0, start};
    m->event_number = 1;
    m->events_done = closed;
    m->hmet_year = m->hmet_last_year = 2020;
    m->hmet_month = 1;
    m->hmet_last_month = 12;
    m->cur_julian = start;
    testing::internal::CaptureStdout();
    pluvo::read_event_precip(*m);
    testing::internal::GetCapturedStdout();
    // Either way the previous event stands closed once, and the flag is consumed.
    EXPECT_EQ(m->events_done, 1);
    EXPECT_EQ(m->event_ended, 0);
    EXPECT_EQ(m->event_number, 2);
    EXPECT_EQ(m->precip_state, 1);
  }
}

}  // namespace
