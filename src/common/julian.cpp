#include "common/julian.hpp"

#include <cmath>

namespace pluvo {

// Day numbers of Algorithm 199 (Communications of the ACM); every division truncates,
// which the relative time-series origin (year 0, month 0) depends on.
double julian_date(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                   double seconds) {
  const double s = 60.0 * minute + 3600.0 * hour + seconds;
  int64_t y = year, m = month;
  if (month < 3) {
    y = int64_t(year) - 1;
    m = int64_t(month) + 9;
  } else {
    m = int64_t(month) - 3;
  }
  const int64_t c = y / 100;
  const int64_t r = y - 100 * c;
  const int64_t n = (146097 * c) / 4 + (1461 * r) / 4 + (153 * m + 2) / 5 + day + 1721119;
  if (s < 43200.0) return double(n - 1) + (s + 43200.0) / 86400.0;
  return double(n) + (s - 43200.0) / 86400.0;
}

void calendar_from_julian(double julian, int32_t& year, int32_t& month, int32_t& day,
                          int32_t& hour, int32_t& minute, double& seconds) {
  julian += julian_hundredth_second;
  int64_t n = int64_t(julian);
  double f = julian - double(n);
  if (f >= 0.5) {
    n += 1;
    f -= 0.5;
  } else {
    f += 0.5;
  }
  const int64_t j4 = 4 * (n - 1721119);
  const int64_t c = (j4 - 1) / 146097;
  int64_t d = (j4 - 1 - 146097 * c) / 4;
  const int64_t y = (4 * d + 3) / 1461;
  d = (4 * d + 7 - 1461 * y) / 4;
  const int64_t m = (5 * d - 3) / 153;
  day = int32_t((5 * d + 2 - 153 * m) / 5);
  year = int32_t(100 * c + y);
  if (m >= 10) {
    month = int32_t(m - 9);
    year += 1;
  } else {
    month = int32_t(m + 3);
  }
  double s = f * 86400.0;
  hour = int32_t(s / 3600.0);
  s -= 3600.0 * hour;
  minute = int32_t(s / 60.0);
  seconds = s - 60.0 * minute;
}

double ipow(double x, int32_t n) {
  uint32_t u = n < 0 ? uint32_t(-(int64_t)n) : uint32_t(n);
  double r = 1.0;
  while (u != 0) {
    if (u & 1u) r *= x;
    u >>= 1;
    x *= x;
  }
  return n >= 0 ? r : 1.0 / r;
}

bool is_calendar_date(int32_t year, int32_t month, int32_t day) {
  if (year < first_calendar_year || year > last_calendar_year || month < 1 || month > 12 || day < 1) return false;
  static const int32_t days_in_month[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= days_in_month[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool is_time_of_day(int32_t hour, int32_t minute) { return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59; }

}  // namespace pluvo
