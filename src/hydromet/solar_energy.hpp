#pragma once
// Solar geometry, terrain shading and the cell energy balance: what the hourly weather phase
// calls in them.
#include <vector>

namespace pluvo {

struct model_state;

// Day of the year; prints a message and gives 0 for a month above 12.
int check_julian_day(int year, int month, int day);
// Hour angle (radians) of an hour of the day; prints a message and gives 0 outside 0..24.
double check_hour_angle(double hour);
// Solar azimuth (radians); only the latitude (degrees), hour angle and declination are used.
double compute_solar_azimuth(int year, int month, int day, int unused, double latitude_deg,
                             int day_of_year, double hour_angle, double declination);
// Clear-sky radiation of the day at solar noon (W/m2); entry n + 1 of `scratch` is overwritten.
double extraterrestrial_radiation(int n, int year, int month, int day, double hour,
                                  double latitude_deg, std::vector<double>& scratch,
                                  double elevation);
// Fills the terrain-shading table of the 24 hours of a day (shade_by_hour); gives the shaded
// percentage of the last hour.
double compute_daily_shading(model_state& m, int year, int month, int day, double latitude_deg,
                             int day_of_year, double declination);
// The hour's energy balance of every cell: temperature, pressure, humidity and radiation by
// elevation band and station distance; single-station mode uses the two station values given.
void compute_cell_energy_balance(int energy_balance_mode, model_state& m, int year, int month,
                                 int day, int hour, double station_temperature,
                                 double station_pressure);

}  // namespace pluvo
