#include "common/julian.hpp"

#include <gtest/gtest.h>

namespace {

using namespace pluvo;

struct calendar {
  int32_t year, month, day, hour, minute;
  double seconds;
};

calendar from_julian(double julian) {
  calendar c{};
  calendar_from_julian(julian, c.year, c.month, c.day, c.hour, c.minute, c.seconds);
  return c;
}

TEST(JulianDate, KnownEpochs) {
  EXPECT_EQ(julian_date(2000, 1, 1, 12, 0, 0.0), 2451545.0);  // J2000
  EXPECT_EQ(julian_date(2000, 1, 1, 0, 0, 0.0), 2451544.5);
  EXPECT_EQ(julian_date(0, 0, 0, 0, 0, 0.0), 1721028.5);  // origin of relative time series
  EXPECT_EQ(julian_date(1858, 11, 17, 0, 0, 0.0), 2400000.5);  // modified Julian day 0
}

TEST(JulianDate, DayLengthsFollowTheGregorianLeapRule) {
  struct tc {
    int32_t year;
    double february_days;
  } years[] = {{1900, 28}, {2000, 29}, {2023, 28}, {2024, 29}, {2100, 28}};
  for (const tc& c : years)
    EXPECT_EQ(julian_date(c.year, 3, 1, 0, 0, 0) - julian_date(c.year, 2, 1, 0, 0, 0), c.february_days) << c.year;
  EXPECT_EQ(julian_date(2024, 1, 1, 0, 0, 0) - julian_date(2023, 1, 1, 0, 0, 0), 365.0);
  EXPECT_EQ(julian_date(2025, 1, 1, 0, 0, 0) - julian_date(2024, 1, 1, 0, 0, 0), 366.0);
}

TEST(CalendarFromJulian, NoonOfJ2000AndAHundredthBeforeMidnight) {
  struct tc {
    double julian;
    calendar expected;
  } cases[] = {
      {2451545.0, {2000, 1, 1, 12, 0, 0.0}},
      {julian_date(2023, 12, 31, 23, 59, 59.99), {2024, 1, 1, 0, 0, 0.0}},  // shown as the next midnight
      {julian_date(2024, 2, 29, 6, 30, 15.5), {2024, 2, 29, 6, 30, 15.5}},
  };
  for (const tc& c : cases) {
    const calendar got = from_julian(c.julian);
    const calendar& e = c.expected;
    EXPECT_EQ(got.year * 100000000LL + got.month * 1000000 + got.day * 10000 + got.hour * 100 + got.minute,
              e.year * 100000000LL + e.month * 1000000 + e.day * 10000 + e.hour * 100 + e.minute)
        << c.julian;
    EXPECT_NEAR(got.seconds, e.seconds, 0.011) << c.julian;
  }
}

// Every minute of the days around 29 February and the year end comes back as itself.
TEST(CalendarFromJulian, RoundTripEveryMinute) {
  const calendar days[] = {{2024, 2, 28, 0, 0, 0}, {2024, 2, 29, 0, 0, 0}, {2024, 3, 1, 0, 0, 0},
                           {2023, 12, 31, 0, 0, 0}, {2024, 1, 1, 0, 0, 0}, {1900, 2, 28, 0, 0, 0}};
  for (const calendar& d : days) {
    for (int32_t minute_of_day = 0; minute_of_day < 1440; ++minute_of_day) {
      const int32_t hour = minute_of_day / 60, minute = minute_of_day % 60;
      const calendar c = from_julian(julian_date(d.year, d.month, d.day, hour, minute, 0.0));
      ASSERT_EQ(c.year, d.year);
      ASSERT_EQ(c.month, d.month);
      ASSERT_EQ(c.day, d.day) << d.year << "-" << d.month;
      ASSERT_EQ(c.hour, hour);
      ASSERT_EQ(c.minute, minute);
      ASSERT_GE(c.seconds, 0.0);
      ASSERT_LT(c.seconds, 0.011);
    }
  }
  const calendar after_leap_day = from_julian(julian_date(2024, 2, 29, 23, 59, 0.0) + 1.0 / 1440.0);
  EXPECT_EQ(after_leap_day.month, 3);
  EXPECT_EQ(after_leap_day.day, 1);
}

TEST(IntegerPower, Table) {
  struct tc {
    double x;
    int32_t n;
    double expected;
  } cases[] = {{2, 10, 1024}, {2, -2, 0.25}, {7.5, 0, 1}, {0, 0, 1}, {-3, 3, -27}, {10, 1, 10}, {0.5, -3, 8}};
  for (const tc& c : cases) EXPECT_EQ(ipow(c.x, c.n), c.expected) << c.x << "^" << c.n;
}

}  // namespace

namespace {

TEST(CalendarCheck, RealDatesAndTimesOnly) {
  const struct {
    int32_t year, month, day;
    bool ok;
  } dates[] = {{2024, 2, 29, true},  {2023, 2, 29, false}, {2000, 2, 29, true}, {1900, 2, 29, false},
               {2026, 2, 30, false}, {2026, 13, 1, false}, {2026, 0, 1, false}, {2026, 4, 31, false},
               {2026, 12, 31, true}, {-5, 6, 1, false},    {0, 6, 1, false},    {9999, 12, 31, true},
               {10000, 1, 1, false}, {2147483647, 1, 1, false}, {2026, 6, 0, false}};
  for (const auto& d : dates)
    EXPECT_EQ(pluvo::is_calendar_date(d.year, d.month, d.day), d.ok) << d.year << "-" << d.month << "-" << d.day;
  EXPECT_TRUE(pluvo::is_time_of_day(0, 0));
  EXPECT_TRUE(pluvo::is_time_of_day(23, 59));
  EXPECT_FALSE(pluvo::is_time_of_day(24, 0));
  EXPECT_FALSE(pluvo::is_time_of_day(25, 0));
  EXPECT_FALSE(pluvo::is_time_of_day(12, 61));
  EXPECT_FALSE(pluvo::is_time_of_day(-1, 0));
}

}  // namespace
