// Radar rainfall grids: the radar cell under each model cell, the rates of each record's grid,
// and their copy onto the cells.
#include "hydromet/radar_precip.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "hydromet/raster_header.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// Every header keeps its grid within this many values: more is a broken header, not rain.
constexpr long long radar_value_limit = 100000000LL;

bool header_fits(const raster_header& h, const char* name) {
  if (h.cols >= 1 && h.rows >= 1 && (long long)h.cols * h.rows <= radar_value_limit &&
      h.cell_size > 0.0)
    return true;
  stop_run("Error: radar file %s gives %d columns, %d rows and cell size %lf; each count must\n"
           "be at least 1, their product at most %lld, and the cell size above 0.\n",
           name, h.cols, h.rows, h.cell_size, radar_value_limit);
  return false;
}

// The values of a radar file as rates in mm/h, capped at 100; false when one is missing.
bool read_rates(std::FILE* fp, const model_state& m, std::vector<double>& values, double& peak) {
  const int cols = m.radar_cols;
  peak = 0.0;
  for (int r = 0; r < m.radar_rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      double v = 0.0;
      if (std::fscanf(fp, "%lf", &v) != 1) return false;
      if (std::fabs(v - m.radar_nodata) < 0.01) v = 0.0;
      if (!(v > 0.0)) v = 0.0;
      else if (!m.radar_mm) v *= 25.4;
      if (v > 100.0) {
        std::printf("Warning: really big precip value (%lf) in cell (%d,%d) from radar rainfall.\n"
                    " resetting value to 100.0\n",
                    v, r, c);
        v = 100.0;
      }
      if (v > peak) peak = v;
      values[size_t(r) * size_t(cols) + size_t(c)] = v;
    }
  }
  return true;
}

void keep_previous_grid(const char* name, const char* why) {
  std::printf("Warning: radar rainfall file %s %s; the previous radar rates stay.\n", name, why);
}

}  // namespace

int read_radar_grid_header(model_state& m, const char* name) {
  checked_file f;
  if (!checked_file_open(f, name, 'r')) return -1;
  raster_header h;
  const bool read = read_raster_header(f, h);
  checked_file_close(f);
  if (!read) return -1;
  if (!header_fits(h, name)) return -2;
  m.radar_ll_x = h.ll_x;
  m.radar_ll_y = h.ll_y;
  m.radar_cell_size = h.cell_size;
  m.radar_nodata = h.nodata;
  m.radar_west = h.ll_x;
  m.radar_north = h.ll_y + h.rows * h.cell_size;
  if (h.cols != m.radar_cols || h.rows != m.radar_rows || m.precip_data.empty()) {
    m.radar_cols = h.cols;
    m.radar_rows = h.rows;
    // New dimensions start dry, never with what memory held.
    m.precip_data.assign(size_t(h.cols) * size_t(h.rows), 0.0);
  }
  return 0;
}

void map_cells_to_radar_grid(model_state& m, const char* first_file) {
  const int header = read_radar_grid_header(m, first_file);
  if (header == -2) return;  // reported
  if (header != 0) {
    std::printf("Error: unable to read radar header in file %s\n", first_file);
    return;
  }
  if (m.precip_data.empty()) {
    std::printf("Error: precip data not allocated\n");
    return;
  }
  m.pluvo_to_precip.assign(size_t(m.cell_count) + 1, 0);
  const double size = m.cell_size;
  int k = 0;
  for (int i = 1; i <= m.mask_rows; ++i) {
    for (int j = 1; j <= m.mask_cols; ++j) {
      if (m.cell_number_grid(i, j) == 0) continue;
      ++k;
      if (k > m.cell_count) return;
      const double x = m.grid_west + size / 2.0 + (j - 1) * size;
      const double y = m.grid_north - size / 2.0 - (i - 1) * size;
      const long p = y > m.radar_north ? 0 : long((m.radar_north - y) / m.radar_cell_size);
      const long q = m.radar_west > x ? 0 : long((x - m.radar_west) / m.radar_cell_size);
      if (p > m.radar_rows - 1 || q > m.radar_cols - 1) {
        std::printf("Error!! p_I=%d, p_J=%d\n", int(p), int(q));
        error_state.error_code = 102;
        error_state.error_terminate = 1;
        return;
      }
      m.pluvo_to_precip[size_t(k)] = int32_t(m.radar_cols * p + q);
    }
  }
}

int read_radar_precip_file(model_state& m, const char* name) {
  checked_file f;
  if (!checked_file_open(f, name, 'r')) {
    keep_previous_grid(name, "cannot be opened");
    return -1;
  }
  raster_header h;
  if (!read_raster_header(f, h) || h.cols != m.radar_cols || h.rows != m.radar_rows) {
    checked_file_close(f);
    keep_previous_grid(name, "does not have the dimensions of the event's first radar file");
    return -1;
  }
  // Read whole before anything is kept, so a short file leaves the previous record's rates.
  std::vector<double> values(m.precip_data.size(), 0.0);
  double peak = 0.0;
  const bool whole = read_rates(f.stream, m, values, peak);
  checked_file_close(f);
  if (!whole) {
    std::printf("Error in reading radar precip file %s\n", name);
    keep_previous_grid(name, "holds too few values");
    return -1;
  }
  m.precip_data.swap(values);
  std::printf("Peak rainfall rate read: %lf mm/hr\n", peak);
  return 0;
}

void apply_radar_precip(model_state& m) {
  const long total = long(m.radar_cols) * long(m.radar_rows);
  double peak = 0.0;
  for (int k = 1; k <= m.cell_count && size_t(k) < m.pluvo_to_precip.size(); ++k) {
    const long index = m.pluvo_to_precip[size_t(k)];
    if (index < 0 || index >= total || size_t(index) >= m.precip_data.size()) {
      std::printf("Error: cellnum=%ld, totcells=%ld\n", index, total);
      return;
    }
    const double rate = m.precip_data[size_t(index)] < 0.0 ? 0.0 : m.precip_data[size_t(index)];
    m.cell_rain_rate[size_t(k)] = rate;
    if (rate > peak) peak = rate;
  }
  std::printf("Peak rainfall applied to watershed: %lf mm/hr\n", peak);
}

}  // namespace pluvo
