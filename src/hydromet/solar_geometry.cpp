// Day of year, hour angle, sun position, the sun's incidence on a sloped cell and the clear-sky
// radiation of a day. Each routine keeps its own value of pi: the results depend on them.
#include <cmath>
#include <cstdio>

#include "hydromet/solar_energy.hpp"
#include "hydromet/sun_and_bands.hpp"

namespace pluvo {

namespace {
// February always has 28 days here.
constexpr int days_before_month[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
}  // namespace

int check_julian_day(int, int month, int day) {
  if (month > 12 || month < 0) {
    std::fputs("We have an Issue with the Julian Day, Please Fix!!!!     ", stdout);
    return 0;
  }
  return days_before_month[month] + day;
}

double check_hour_angle(double hour) {
  if (hour < 0.0 || hour > 24.0) {
    std::fputs("We have an Issue with the Hour Angle, Please Fix!!!!     ", stdout);
    return 0.0;
  }
  if (std::fabs(hour - 12.0) < 0.01) return 0.0;
  return (hour - 12.0) * 0.26179938750000004;
}

double solar_declination_of_day(int day_of_year) {
  return 0.409279709125 * std::sin(day_of_year * 0.017214206301369866 - 1.405);
}

double compute_solar_azimuth(int, int, int, int, double latitude_deg, int, double hour_angle,
                             double declination) {
  const double phi = latitude_deg * 3.14159265 / 180.0;
  // The quadrant follows the signs of both terms, so the afternoon sun stands west of the
  // meridian as the morning sun stands east of it (a plain arctangent turns it by half a circle).
  return 3.14159265 + std::atan2(std::sin(hour_angle), std::sin(phi) * std::cos(hour_angle) -
                                                           std::cos(phi) * std::tan(declination));
}

double aspect_from_gradient(double sx, double sy) {
  constexpr double t = 1e-16, quarter = 1.5714285714285714, full = 6.285714285714286;
  if (std::fabs(sy) < t) {
    if (sx < t) return quarter;
    if (sx > t) return -quarter;
    return 0.0;
  }
  if (std::fabs(sx) < t) {
    if (sy > t) return full;
    if (sy < t) return 0.0;
    return 0.0;
  }
  const double a = std::atan(std::fabs(sy) / std::fabs(sx));
  if (sy > t && sx > t) return -quarter - a;
  if (sy < t && sx > t) return a - quarter;
  if (sy < t && sx < t) return quarter - a;
  if (sy > t && sx < t) return a + quarter;
  return 0.0;
}

void solar_incidence_on_slope(int k, std::vector<double>& out, double sx, double sy,
                              double declination, double hour_angle, double latitude_rad) {
  const double beta = std::atan(std::sqrt(sx * sx + sy * sy));
  double gamma = aspect_from_gradient(sx, sy);
  if (gamma > 3.14159265) gamma -= 3.14159265;
  if (gamma < -3.14159265) gamma += 3.14159265;
  const double sd = std::sin(declination), cd = std::cos(declination);
  const double sp = std::sin(latitude_rad), cp = std::cos(latitude_rad);
  const double sb = std::sin(beta), cb = std::cos(beta);
  const double sg = std::sin(gamma), cg = std::cos(gamma);
  const double so = std::sin(hour_angle), co = std::cos(hour_angle);
  const double cos_theta = sd * sp * cb - sd * cp * sb * cg + cd * cp * cb * co +
                           cd * sp * sb * cg * co + cd * sb * sg * so;
  out[size_t(k)] = cos_theta >= 1e-16 ? cos_theta : 0.0;
}

double extraterrestrial_radiation(int n, int year, int month, int day, double, double latitude_deg,
                                  std::vector<double>& scratch, double elevation) {
  const int d = check_julian_day(year, month, day);
  const double declination = solar_declination_of_day(d);
  if (scratch.size() < size_t(n) + 2) scratch.resize(size_t(n) + 2, 0.0);
  solar_incidence_on_slope(n + 1, scratch, 0.0, 0.0, declination, check_hour_angle(12.0),
                           latitude_deg * 3.142857142857143 / 180.0);
  const double r = 1.0 + 0.017 * std::cos((186 - d) * 0.01722113502935421);
  return (0.75 + 2e-5 * elevation) * 1366.0 / (r * r) * scratch[size_t(n) + 1];
}

}  // namespace pluvo
