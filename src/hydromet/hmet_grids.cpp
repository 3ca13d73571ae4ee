// Hourly weather as ASCII grids: a list file names each hour's eight grids by a base name ending
// in yyyymmddhh; every model cell takes the values of the weather-grid cell under its centre.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "hydromet/hmet_reader.hpp"
#include "hydromet/raster_header.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int grid_kinds = 8;
enum grid_kind { g_cloud, g_precip, g_pressure, g_rh, g_temperature, g_direct, g_global, g_wind };
const char* const suffix[grid_kinds] = {"_Clod.asc", "_Prcp.asc", "_Pres.asc", "_RlHm.asc",
                                        "_Temp.asc", "_Drad.asc", "_Grad.asc", "_WndS.asc"};
const char* const grid_word[grid_kinds] = {"Cloud", "Precip", "Pressure", "Relative Humidity",
                                           "Temperature", "Direct Radiation", "Global Radiation",
                                           "Wind Speed"};
const char* const filling_word[grid_kinds] = {"Cloud", "Precipitation", "Pressure",
                                              "Relative Humidity", "Temperature",
                                              "Direct Radiation", "Global Radiation", "Wind Speed"};
constexpr double no_data_limit = -9990.0;  // raw values at or below are no data
constexpr double missing_wind = 3.0;       // m/s for an hour without a wind grid
constexpr long long grid_value_limit = 100000000LL;

struct hour_date {
  int year = 0, month = 0, day = 0, hour = 0;
};

// The date of a list token from its last ten characters (yyyymmddhh); false when they are not
// ten digits or the token is not 10 to 199 characters long.
bool token_date(const std::string& token, hour_date& d) {
  if (token.size() < 10 || token.size() > 199) return false;
  const std::string tail = token.substr(token.size() - 10);
  for (char c : tail)
    if (c < '0' || c > '9') return false;
  const long long v = std::atoll(tail.c_str());
  const long long year = v / 1000000;
  const long long month = (v - 1000000 * year) / 10000;
  const long long day = (v - 10000 * (100 * year + month)) / 100;
  const long long hour = v - 100 * (100 * (100 * year + month) + day);
  d = {int(year), int(month), int(day), int(hour)};
  return true;
}

// The next token of the list (one per line, blank lines skipped); false at the end.
bool next_list_token(std::FILE* fp, std::string& token) {
  std::string line;
  while (read_hmet_line(fp, line)) {
    const size_t from = line.find_first_not_of(" \t");
    if (from == std::string::npos) continue;
    const size_t to = line.find_first_of(" \t", from);
    token = line.substr(from, to == std::string::npos ? std::string::npos : to - from);
    return true;
  }
  return false;
}

void list_error(int line) {
  std::printf("Error: Problem encountered in hmet_ASCII file, line %d \n\n", line);
  std::printf("Make sure your file is in the correct format, including making sure\n"
              "the dates are in integers and in the following format:\n");
  std::printf(" Format:\nyyyymmddhh\n2008050100int\n\n");
  error_state.error_code = 4000;
}

int scan_list(model_state& m) {
  std::FILE* fp = m.hmet_fp.stream;
  std::string token;
  int lines = 0;
  while (next_list_token(fp, token)) {
    ++lines;
    hour_date d;
    if (!token_date(token, d)) {
      list_error(lines);
      return -1;
    }
    note_scanned_date(m, lines == 1, d.year, d.month, d.day, d.hour);
  }
  if (!m.super_quiet_on) std::printf("End of hmet_ASCII file encountered after %d lines\n", lines);
  m.hmet_record_count = lines;
  std::rewind(fp);
  return 0;
}

struct hour_grid {
  bool open = false;
  raster_header h;
  std::vector<double> values;  // the header's columns x rows; no data where the file fell short
  long count = 0;              // values above -998000
};

// Reads one grid whole; false (reported, the run stops) for a header out of range.
bool read_grid(const std::string& name, hour_grid& g) {
  checked_file f;
  // A missing grid has its own message below, every hour.
  if (planned_file_path(name, 'r').empty() || !checked_file_open(f, name.c_str(), 'r')) return true;
  g.open = true;
  const bool header = read_raster_header(f, g.h);
  if (!header || g.h.cols < 1 || g.h.rows < 1 ||
      (long long)g.h.cols * g.h.rows > grid_value_limit || !(g.h.cell_size > 0.0)) {
    checked_file_close(f);
    stop_run("Error: weather grid %s gives %d columns, %d rows and cell size %lf; each count must\n"
             "be at least 1, their product at most %lld, and the cell size above 0.\n",
             name.c_str(), g.h.cols, g.h.rows, g.h.cell_size, grid_value_limit);
    return false;
  }
  g.values.assign(size_t(g.h.cols) * size_t(g.h.rows), -9999.0);
  for (double& v : g.values) {
    if (std::fscanf(f.stream, "%lf", &v) != 1) {
      v = -9999.0;
      break;
    }
    if (v > -998000.0) ++g.count;
  }
  checked_file_close(f);
  return true;
}

double convert(int kind, double raw) {
  switch (kind) {
    case g_cloud: return raw / 10.0;
    case g_pressure: return raw * 1013.25 / 29.92;
    case g_temperature: return (raw - 32.0) * 0.5555555555555556;
    default: return raw;
  }
}

void ensure_cells(std::vector<double>& v, int n) {
  if (v.size() < size_t(n) + 1) v.resize(size_t(n) + 1, 0.0);
}

// Watershed mean of a per-cell array over the cells that hold data, in cell order.
double watershed_mean(const std::vector<double>& v, int n) {
  double sum = 0.0;
  int counted = 0;
  for (int i = 1; i <= n; ++i) {
    if (v[size_t(i)] > no_data_limit) {
      sum += v[size_t(i)];
      ++counted;
    }
  }
  return counted > 0 ? sum / counted : 0.0;
}

int read_hour(model_state& m, int call_mode) {
  std::string token;
  if (!next_list_token(m.hmet_fp.stream, token)) return -1;
  hour_date d;
  if (!token_date(token, d)) {
    list_error(m.hmet_records_read - 1);
    return -1;
  }
  hour_grid grids[grid_kinds];
  int last_open = -1;
  for (int k = 0; k < grid_kinds; ++k) {
    if (!read_grid(token + suffix[k], grids[k])) return -1;
    if (grids[k].open) last_open = k;
  }
  if (last_open < 0) {
    stop_run("Error: none of the weather grids of hour %s (listed in %s) could be opened.\n",
             token.c_str(), m.hmet_path.c_str());
    return -1;
  }
  long first_count = -1;
  bool counts_match = true;
  for (int k = 0; k <= g_temperature; ++k) {
    if (!grids[k].open) continue;
    if (first_count < 0) first_count = grids[k].count;
    else if (grids[k].count != first_count) counts_match = false;
  }
  if (!counts_match) std::printf("\n\nERROR!!! Counts DO NOT MATCH\n\n");
  for (int k = 0; k < grid_kinds; ++k) {
    if (!grids[k].open) {
      std::printf("ERROR!!! CANNOT OPEN %s FILE\n", grid_word[k]);
      if (k == g_wind) std::printf("NO WIND VALUE READ, using %lf \n", missing_wind);
    } else if (call_mode == 2) {
      std::printf("Filling %s Array\n", filling_word[k]);
    }
  }

  const int n = m.cell_count;
  std::vector<double>* target[grid_kinds] = {&m.cloud_cover_gridded, nullptr, &m.pres_gridded,
                                             &m.rh_gridded,          &m.temper_gridded,
                                             &m.direct_gridded,      &m.diffuse_gridded,
                                             &m.vel_gridded};
  for (auto* v : target)
    if (v) ensure_cells(*v, n);
  const raster_header& geo = grids[last_open].h;
  const int nc = geo.cols, nr = geo.rows;
  const double ch = geo.cell_size;
  int i = 0;
  for (int r = 1; r <= m.mask_rows; ++r) {
    for (int c = 1; c <= m.mask_cols; ++c) {
      if (m.cell_number_grid(r, c) == 0) continue;
      if (++i > n) break;
      const double x = m.grid_west + m.cell_size / 2.0 + (c - 1) * m.cell_size;
      const double y = m.grid_north - m.cell_size / 2.0 - (r - 1) * m.cell_size;
      int ic = int((x - geo.ll_x) / ch);
      int ir = int((nr * ch + geo.ll_y - y) / ch);
      ic = ic < 0 ? 0 : (ic > nc - 1 ? nc - 1 : ic);
      ir = ir < 0 ? 0 : (ir > nr - 1 ? nr - 1 : ir);
      const size_t k = size_t(nc) * size_t(ir) + size_t(ic);
      for (int kind = 0; kind < grid_kinds; ++kind) {
        if (!target[kind]) continue;
        double& cell = (*target[kind])[size_t(i)];
        const hour_grid& g = grids[kind];
        if (!g.open && kind == g_wind) {
          cell = missing_wind;
          continue;
        }
        // No data, or no grid this hour: the cell keeps its previous hour.
        if (!g.open || k >= g.values.size() || g.values[k] <= no_data_limit) {
          ++m.hmet_repaired_count;
          continue;
        }
        // The cell's diffuse radiation is its global minus its direct radiation.
        cell = kind == g_global ? g.values[k] - m.direct_gridded[size_t(i)]
                                : convert(kind, g.values[k]);
      }
      check_hmet_grid_alignment(r, c, m.grid_north, m.grid_west, m.cell_size, m.mask_cols,
                                m.mask_rows, geo.ll_y, geo.ll_x, ch, ic, ir, nr);
    }
  }
  m.hmet_temperature = watershed_mean(m.temper_gridded, n);
  m.hmet_direct_rad = watershed_mean(m.direct_gridded, n);
  m.hmet_diffuse_rad = watershed_mean(m.diffuse_gridded, n);
  m.hmet_cloud_cover = watershed_mean(m.cloud_cover_gridded, n);
  m.hmet_rh = watershed_mean(m.rh_gridded, n);
  m.hmet_pressure = watershed_mean(m.pres_gridded, n);
  m.hmet_wind_speed = watershed_mean(m.vel_gridded, n);
  m.hmet_year = d.year;
  m.hmet_month = d.month;
  m.hmet_day = d.day;
  m.hmet_hour = d.hour;
  return 1;
}

}  // namespace

double check_hmet_grid_alignment(int r, int c, double grid_north, double grid_west,
                                 double cell_size, int, int, double y0, double x0, double ch,
                                 int ic, int ir, int nr) {
  if (ic < 0 || ir < 0) return 0.0;
  const double x = grid_west + cell_size / 2.0 + (c - 1) * cell_size;
  const double y = grid_north - cell_size / 2.0 - (r - 1) * cell_size;
  const double xh = x0 + ic * ch;
  const double yh = y0 + (nr - 1 - ir) * ch;
  const double dx = std::fabs(std::fabs(x) - std::fabs(xh));
  const double dy = std::fabs(std::fabs(y) - std::fabs(yh));
  if (dx > 1.3 * ch) std::printf("\nERROR!! in the conversion of X coordinates in the ASCII HMET");
  if (dy > 1.3 * ch) std::printf("\nERROR!! in the conversion of Y coordinates in the ASCII HMET");
  return dx > dy ? dx : dy;
}

int read_hmet_grids(model_state& m, int call_mode) {
  return call_mode == 1 ? scan_list(m) : read_hour(m, call_mode);
}

}  // namespace pluvo
