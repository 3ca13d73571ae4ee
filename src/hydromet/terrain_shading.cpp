// Terrain shading: for each hour of a day, a ray is marched from every cell towards the sun over
// the elevation grid; the cell is shaded when the terrain rises above the ray. Each cell's ray is
// independent, so the rows are marched on the thread team.
#include <cmath>
#include <cstdio>

#include "hydromet/solar_energy.hpp"
#include "hydromet/sun_and_bands.hpp"
#include "common/parallel_team.hpp"
#include "record/model_state.hpp"

namespace pluvo {

ray_step ray_step_direction(double a) {
  constexpr double tol = 0.0001;
  const auto near = [&](double v) { return std::fabs(a - v) < tol; };
  ray_step s;
  s.valid = true;
  if (near(0.0) || near(6.283185308)) s.row = -1, s.col = 0;
  else if (near(0.7853981635)) s.row = -1, s.col = 1;
  else if (near(1.570796327)) s.row = 0, s.col = 1;
  else if (near(2.3561944905)) s.row = 1, s.col = 1;
  else if (near(3.141592654)) s.row = 1, s.col = 0;
  else if (near(3.9269908175)) s.row = 1, s.col = -1;
  else if (near(4.712388981)) s.row = 0, s.col = -1;
  else if (near(5.4977871445)) s.row = -1, s.col = -1;
  else if (a > 0.0 && a < 0.7853981635) s.row = -1, s.col = std::tan(a);
  else if (a > 0.7853981635 && a < 1.570796327) s.row = -std::tan(1.570796327 - a), s.col = 1;
  else if (a > 1.570796327 && a < 2.3561944905) s.row = std::tan(a - 1.570796327), s.col = 1;
  else if (a > 2.3561944905 && a < 3.141592654) s.row = 1, s.col = std::tan(3.141592654 - a);
  else if (a > 3.141592654 && a < 3.9269908175) s.row = 1, s.col = -std::tan(a - 3.141592654);
  else if (a > 3.9269908175 && a < 4.712388981) s.row = std::tan(4.712388981 - a), s.col = -1;
  else if (a > 4.712388981 && a < 5.4977871445) s.row = -std::tan(a - 4.712388981), s.col = -1;
  else if (a > 5.4977871445 && a < 6.283185308) s.row = -1, s.col = -std::tan(6.283185308 - a);
  else {
    s = ray_step();
    std::fputs("\n\n\n\nERROR IN FINDING THE NEXT CELL, THE ANGLE IS RIDONKULOUS!!!!!!!!!!!!!!! \n\n", stdout);
    std::fputs("Please Fix and Start Over!!!   ", stdout);
  }
  s.length = std::sqrt(s.row * s.row + s.col * s.col);
  return s;
}

namespace {
int rounded(double f) {
  const double a = std::fabs(f);
  int i = int(a);
  if (a - i > 0.5001) i++;
  return f < 0.0 ? -i : i;
}
int towards(double f, int off) {
  if (std::fabs(f - off) <= 0.01) return off;
  return f > off ? off + 1 : off - 1;
}
}  // namespace

double grid_distance(int n, double row_step, double col_step, ray_offsets& out) {
  const double fr = n * row_step, fc = n * col_step;
  out.length = std::sqrt(fr * fr + fc * fc);
  out.row = rounded(fr);
  out.col = rounded(fc);
  out.row2 = towards(fr, out.row);
  out.col2 = towards(fc, out.col);
  const double dr = std::fabs(fr - out.row), dc = std::fabs(fc - out.col);
  double f = 0.0;
  if (dr > 0.01) f = dr;
  if (dc > 0.01 && dc > f) f = dc;
  return f;
}

namespace {
double elevation_at(const std::vector<double>& elevation, const grid<int32_t>& cells, int row,
                    int col, int rows, int cols) {
  if (row < 1 || row > rows || col < 1 || col > cols) return -9999.0;
  const int k = cells(row, col);
  return k > 0 ? elevation[size_t(k)] : -9999.0;
}
}  // namespace

double find_elevation(const std::vector<double>& elevation, const grid<int32_t>& cells, int row1,
                      int col1, int row2, int col2, int rows, int cols, double fraction) {
  const double e1 = elevation_at(elevation, cells, row1, col1, rows, cols);
  const double e2 = elevation_at(elevation, cells, row2, col2, rows, cols);
  if (e1 >= -999.9) {
    if (e2 < -999.9) return e1;
    if (fraction > 1.0) {
      std::fputs("WE HAVE AN ERROR IN THE ELEVATION FINDER!!!!!!!!!!!!!!!!!!", stdout);
      return e1;
    }
    return e1 + (e2 - e1) * fraction;
  }
  return e2 >= -999.9 ? e2 : 99999999.99;
}

double sun_ray_rise(double z, double L) {
  constexpr double tol = 0.001;
  if (z < 0.0 || z > 3.14159265) {
    std::fputs("We have an Issue with the Zenith Angle, Please Fix!!!!     ", stdout);
    return 0.0;
  }
  if (std::fabs(z) < tol) return 999999999.9;
  if (std::fabs(z - 0.7853981625) < tol) return L;
  if (std::fabs(z - 1.570796325) < tol) return 0.0;
  if (std::fabs(z - 2.3561944875000003) < tol) return -L;
  if (std::fabs(z - 3.14159265) < tol) return -999999999.9;
  if (z < 0.7853981625) return L / std::tan(z);
  if (z < 1.570796325) return std::tan(1.570796325 - z) * L;
  if (z < 2.3561944875000003) return -std::tan(z - 1.570796325) * L;
  return -L / std::tan(3.14159265 - z);
}

int trace_sun_ray(const grid<int32_t>& cells, const std::vector<double>& elevation, int row,
                  int col, int rows, int cols, int step_limit, double zenith, double azimuth,
                  double cell_size, const ray_step& step) {
  if (!step.valid || azimuth > 6.283185308 || azimuth < 0.0) return 0;
  const double e0 = elevation[size_t(cells(row, col))];
  double terrain = 0.0;
  ray_offsets o;
  for (int n = 1; n <= step_limit; n++) {
    const double fraction = grid_distance(n, step.row, step.col, o);
    const double distance = cell_size * o.length;
    const int r = row + o.row, c = col + o.col;
    if (r >= rows || r < 2 || c >= cols || c < 2) return 0;
    if (cells(r, c) > 0)
      terrain = find_elevation(elevation, cells, r, c, row + o.row2, col + o.col2, rows, cols, fraction);
    if (terrain > e0 + sun_ray_rise(zenith, distance)) return 1;
  }
  return 0;
}

double Calculate_Shaded_Raster(std::vector<std::array<uint8_t, 24>>& shade,
                               const grid<int32_t>& cells, const std::vector<double>& elevation,
                               int cols, int rows, int step_limit, double cell_size, double zenith,
                               double azimuth, int hour) {
  // The numbering check walks the grid once, in order, before the rays are marched.
  int count = 0;
  for (int r = 1; r <= rows; r++)
    for (int c = 1; c <= cols; c++) {
      if (cells(r, c) <= 0) continue;
      if (++count != cells(r, c)) std::fputs("\nError With 'Calculate_Shaded_Raster' function!!", stdout);
    }
  if (count == 0) return 0.0;
  const bool night = zenith > 1.570796325;
  const ray_step step = night ? ray_step() : ray_step_direction(azimuth);
  const size_t h = size_t(hour);
  int shaded = 0;
#pragma omp parallel for schedule(static) reduction(+ : shaded) if (count >= min_cells_for_threads)
  for (int r = 1; r <= rows; r++)
    for (int c = 1; c <= cols; c++) {
      const int k = cells(r, c);
      if (k <= 0) continue;
      const bool dark = night || trace_sun_ray(cells, elevation, r, c, rows, cols, step_limit, zenith,
                                               azimuth, cell_size, step) > 0;
      shade[size_t(k)][h] = dark ? 1 : 0;
      shaded += dark ? 1 : 0;
    }
  return 100.0 * shaded / count;
}

double compute_daily_shading(model_state& m, int, int, int, double latitude_deg, int day_of_year,
                             double declination) {
  const int n = m.cell_count;
  if (m.shade_by_hour.size() < size_t(n) + 1) m.shade_by_hour.assign(size_t(n) + 1, {});
  const double phi = latitude_deg * 3.14159265 / 180.0;
  double percent = 0.0;
  for (int h = 0; h < 24; h++) {
    const double omega = std::fabs(h - 12.0) < 0.01 ? 0.0 : (h - 12.0) * 0.26179938750000004;
    const double zenith = std::acos(std::cos(phi) * std::cos(declination) * std::cos(omega) +
                                    std::sin(phi) * std::sin(declination));
    const double azimuth = compute_solar_azimuth(0, 0, 0, 0, latitude_deg, day_of_year, omega, declination);
    percent = Calculate_Shaded_Raster(m.shade_by_hour, m.cell_number_grid, m.elevation, m.grid_cols,
                                      m.grid_rows, n, m.cell_size, zenith, azimuth, h);
  }
  return percent;
}

}  // namespace pluvo
