#pragma once
// Julian dates: every model time is a Julian day held as a double (day changes at noon).
// Offers: julian_date (calendar to Julian), calendar_from_julian (Julian to calendar,
// shifted by 0.01 s so a time just short of a whole second is not shown as the one before),
// is_calendar_date / is_time_of_day (tests of dated input), and ipow (a double to a signed integer power).
#include <cstdint>

namespace pluvo {

// 0.01 second in days: the tolerance within which two model times are the same.
constexpr double julian_hundredth_second = 1.1574074074074074e-7;

double julian_date(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                   double seconds);

void calendar_from_julian(double julian, int32_t& year, int32_t& month, int32_t& day,
                          int32_t& hour, int32_t& minute, double& seconds);

// The calendar dates and times of day that dated input may give: years 1 to 9999 of the
// Gregorian calendar (so the conversions stay far from the integer limits), a day that exists
// in its month, hours 0 to 23 and minutes 0 to 59.
constexpr int32_t first_calendar_year = 1;
constexpr int32_t last_calendar_year = 9999;
bool is_calendar_date(int32_t year, int32_t month, int32_t day);
bool is_time_of_day(int32_t hour, int32_t minute);

// x to the power n by repeated squaring; ipow(x, 0) is 1.
double ipow(double x, int32_t n);

}  // namespace pluvo
