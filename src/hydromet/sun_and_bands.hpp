#pragma once
// Helpers of the solar geometry, the terrain shading, the elevation bands and the cell energy
// balance that only those routines (and their tests) call.
#include <array>
#include <cstdint>
#include <vector>

#include "common/grid.hpp"

namespace pluvo {

struct model_state;

// ---- solar geometry
double aspect_from_gradient(double sx, double sy);
// Stores the cosine of the sun's incidence on a slope (0 behind the slope or at night) at out[k].
void solar_incidence_on_slope(int k, std::vector<double>& out, double sx, double sy,
                              double declination, double hour_angle, double latitude_rad);
double solar_declination_of_day(int day_of_year);

// ---- terrain shading
struct ray_step {
  double row = 0.0;
  double col = 0.0;
  double length = 0.0;
  bool valid = false;  // false: the azimuth is outside 0..2 pi
};
// The ray's step; an azimuth outside 0..2 pi prints its two lines and gives no step.
ray_step ray_step_direction(double azimuth);
struct ray_offsets {
  int row = 0, col = 0, row2 = 0, col2 = 0;
  double length = 0.0;  // cells
};
// Offsets of step n; returns the interpolation fraction.
double grid_distance(int n, double row_step, double col_step, ray_offsets& out);
double find_elevation(const std::vector<double>& elevation, const grid<int32_t>& cells, int row1,
                      int col1, int row2, int col2, int rows, int cols, double fraction);
double sun_ray_rise(double zenith, double distance);
// 1 when the terrain rises above the ray from the cell at (row, col) towards the sun.
int trace_sun_ray(const grid<int32_t>& cells, const std::vector<double>& elevation, int row,
                  int col, int rows, int cols, int step_limit, double zenith, double azimuth,
                  double cell_size, const ray_step& step);
// Fills entry hour of every cell; gives the shaded percentage.
double Calculate_Shaded_Raster(std::vector<std::array<uint8_t, 24>>& shade,
                               const grid<int32_t>& cells, const std::vector<double>& elevation,
                               int cols, int rows, int step_limit, double cell_size, double zenith,
                               double azimuth, int hour);

// ---- stations and bands
// Lays out the band elevations of the first station around the anchor row and gives every cell
// its band row; returns 0.
int assign_elevation_bands(int cell_count, const std::vector<double>& elevation, double step,
                           double highest, double lowest, double anchor_elevation,
                           int anchor_row, int last_row, std::vector<int>& LR_Num,
                           std::array<double, 6>* bands);

// ---- energy balance
// Fills the band rows 0..row_count-1 of one station from its hour's values.
void elevation_band_lapse_rates(double highest, double lowest, double step,
                                double station_elevation, int station_row, int row_count,
                                double temperature, double pressure, double rh_fraction,
                                std::array<double, 6>* bands);
// Pressure, vapour pressures of one band row; returns the lapse rate of the next step.
double psychrometric_terms(double station_temperature, double station_pressure, double rh,
                           double station_kelvin, double vapour_ratio, double band_temperature,
                           double lapse, int unused, std::array<double, 6>& row);
struct cell_weather {
  double temperature = 0.0, rh = 0.0, pressure = 0.0, cloud = 0.0, wind = 0.0, e = 0.0, es = 0.0;
};
// The cell's weather between band rows b-1 and b of every station, by inverse squared distance.
// Gives false when the cell lies outside the two rows (the values are then extrapolated).
bool assign_cell_elevation_band(const model_state& m, int cell, int b, cell_weather& out);
void update_snow_albedo(model_state& m, int cell, int hour_count);
struct hour_sun {
  int day_of_year = 0;
  int hour = 0;
  double zenith = 0.0;
};
void net_radiation(model_state& m, int cell, double e, double canopy, double transmission,
                   const hour_sun& sun);

}  // namespace pluvo
