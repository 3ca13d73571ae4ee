#pragma once
// Julian dates: every model time is a Julian day held as a double (day changes at noon).
// Offers: julian_date (calendar to Julian), calendar_from_julian (Julian to calendar,
// shifted by 0.01 s so a time just short of a whole second is not shown as the one before),
// and ipow (a double to a signed integer power).
#include <cstdint>

namespace pluvo {

// 0.01 second in days: the tolerance within which two model times are the same.
constexpr double julian_hundredth_second = 1.1574074074074074e-7;

double julian_date(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                   double seconds);

void calendar_from_julian(double julian, int32_t& year, int32_t& month, int32_t& day,
                          int32_t& hour, int32_t& minute, double& seconds);

// x to the power n by repeated squaring; ipow(x, 0) is 1.
double ipow(double x, int32_t n);

}  // namespace pluvo
