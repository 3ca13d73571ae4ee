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
  const calendar noon = from_julian(2451545.0);
  EXPECT_EQ(noon.year, 2000);
  EXPECT_EQ(noon.month, 1);
  EXPECT_EQ(noon.day, 1);
  EXPECT_EQ(noon.hour, 12);
  EXPECT_EQ(noon.minute, 0);
  EXPECT_NEAR(noon.seconds, 0.0, 0.011);

  const calendar next = from_julian(julian_date(2023, 12, 31, 23, 59, 59.99));
  EXPECT_EQ(next.year, 2024);
  EXPECT_EQ(next.month, 1);
  EXPECT_EQ(next.day, 1);
  EXPECT_EQ(next.hour, 0);
  EXPECT_EQ(next.minute, 0);
  EXPECT_NEAR(next.seconds, 0.0, 0.011);
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
