#include "input/ascii_map.hpp"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "common/replace_params.hpp"
#include "common/text_numbers.hpp"

namespace pluvo {

int category_histogram[category_histogram_size];

namespace {

void fail_end_of_file(const char* map_name) {
  stop_run("Unexpected end of file in file: %s\n", map_name);
}

// Both extents wrong give one message that names both.
void fail_extent(const char* map_name, bool rows_differ, bool cols_differ) {
  const char* extent = rows_differ && cols_differ ? "rows and columns" : rows_differ ? "rows" : "columns";
  stop_run("Incorrect number of %s in map: %s\n", extent, map_name);
}

// A row read whole, whatever its length, without its line end; false at end of file.
bool read_row(checked_file& f, std::string& row) {
  row.clear();
  char chunk[4096];
  bool any = false;
  while (std::fgets(chunk, sizeof chunk, f.stream)) {
    any = true;
    row += chunk;
    if (!row.empty() && row.back() == '\n') break;
  }
  if (!any) return false;
  if (!row.empty() && row.back() == '\n') row.pop_back();
  if (!row.empty() && row.back() == '\r') row.pop_back();
  return true;
}

// Bracketed replacement keys may stand in a row like in any other line of input.
void substitute_keys(std::string& row, std::vector<char>& buffer) {
  if (!replace_pairs_active) return;
  buffer.assign(row.begin(), row.end());
  buffer.resize(row.size() + line_buffer_size, 0);
  replace_params_in_line(buffer.data(), int(buffer.size()));
  row.assign(buffer.data());
}

bool is_value_delimiter(char c) { return c == ' ' || c == '\t' || c == ','; }

// Splits a row into its values; a token that is not wholly a number is refused with its place.
bool parse_row(const char* map_name, int r, std::string& row, std::vector<double>& values) {
  values.clear();
  char* p = row.data();
  for (;;) {
    while (*p && is_value_delimiter(*p)) ++p;
    if (!*p) return true;
    char* end = p;
    while (*end && !is_value_delimiter(*end)) ++end;
    const char saved = *end;
    *end = 0;
    double v = 0.0;
    if (!read_whole_real(p, end, v)) {
      stop_run("Error: Value \"%.40s\" in row %d, column %d of map %s is not a number.\n", p, r,
               int(values.size()) + 1, map_name);
      return false;
    }
    *end = saved;
    values.push_back(v);
    p = end;
  }
}

struct read_tally {
  bool any_non_zero = false;
  int zero_cells = 0;
};

// Every row holds exactly cols values: a short or long row would shift the cells after it.
bool read_real_rows(checked_file& f, const char* map_name, int rows, int cols,
                    const grid<int>& mask, std::vector<double>* out, read_tally& t) {
  std::string row;
  std::vector<char> buffer;
  std::vector<double> values;
  values.reserve(size_t(cols));
  size_t k = 1;
  for (int r = 1; r <= rows; ++r) {
    if (!read_row(f, row)) {
      fail_end_of_file(map_name);
      return false;
    }
    substitute_keys(row, buffer);
    if (!parse_row(map_name, r, row, values)) return false;
    if (values.size() != size_t(cols)) {
      stop_run("Error: Row %d of map %s holds %d values; the map has %d columns.\n", r, map_name,
               int(values.size()), cols);
      return false;
    }
    for (int c = 1; c <= cols; ++c) {
      const double v = values[size_t(c - 1)];
      if (v != 0.0) t.any_non_zero = true;
      if (mask(r, c) == 0) continue;
      if (!std::isfinite(v)) {
        stop_run("Error: Value %g in row %d, column %d of map %s lies inside the watershed mask and is not a "
                 "finite number.\n",
                 v, r, c, map_name);
        return false;
      }
      if (out && k < out->size()) (*out)[k] = v;
      ++k;
      if (v == 0.0) ++t.zero_cells;
    }
  }
  return true;
}

// One integer of an integer map; false (after the message) at end of file or on a non-number.
bool read_int(std::FILE* f, const char* map_name, int r, int c, int& v) {
  const int got = scan_int(f, v);
  if (got == 1) return true;
  if (got == EOF) {
    fail_end_of_file(map_name);
  } else {
    stop_run("Invalid integer value in map: %s [row %d:col %d]\n", map_name, r, c);
  }
  return false;
}

bool read_int_grid(std::FILE* f, const char* map_name, int rows, int cols, grid<int>& dest,
                   read_tally& t) {
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      int v = 0;
      if (!read_int(f, map_name, r, c, v)) return false;
      if (v != 0) t.any_non_zero = true;
      dest(r, c) = v;
    }
  return true;
}

bool read_categories(std::FILE* f, const char* map_name, int rows, int cols,
                     const grid<int>& mask, std::vector<int>* out, read_tally& t, int quiet) {
  for (int i = 1; i < category_histogram_size; ++i) category_histogram[i] = 0;
  size_t k = 1;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      int v = 0;
      if (!read_int(f, map_name, r, c, v)) return false;
      if (v != 0) t.any_non_zero = true;
      if (mask(r, c) == 0) continue;
      if (out && k < out->size()) (*out)[k] = v;
      ++k;
      if (v >= 0 && v < category_histogram_size) ++category_histogram[v];
    }
  if (quiet != 1)
    for (int i = 1; i < category_histogram_size; ++i)
      if (category_histogram[i] > 0)
        message_out("In map %s category %d has %d values\n", map_name, i, category_histogram[i]);
  return true;
}

struct map_header {
  double north = 0, south = 0, east = 0, west = 0;
  int rows = 0, cols = 0;
};

// Header items are taken by position; their tags are not compared. A header that cannot be
// read, or whose edges are not numbers, is refused before any value is read.
bool read_header(std::FILE* f, const char* map_name, map_header& h) {
  char tag[8];
  const bool read = std::fscanf(f, "%6s %lf\n", tag, &h.north) == 2 && std::fscanf(f, "%6s %lf\n", tag, &h.south) == 2 &&
                    std::fscanf(f, "%5s %lf\n", tag, &h.east) == 2 && std::fscanf(f, "%5s %lf\n", tag, &h.west) == 2 &&
                    std::fscanf(f, "%5s %d\n", tag, &h.rows) == 2 && std::fscanf(f, "%5s %d\n", tag, &h.cols) == 2;
  if (!read && std::feof(f)) {
    fail_end_of_file(map_name);
    return false;
  }
  if (!read || !std::isfinite(h.north) || !std::isfinite(h.south) || !std::isfinite(h.east) ||
      !std::isfinite(h.west) || h.north <= h.south || h.east <= h.west || h.rows < 1 || h.cols < 1) {
    stop_run("Error: The header of map %s is not north, south, east, west, rows and cols of a grid "
             "(north above south, east beyond west, at least one row and column).\n",
             map_name);
    return false;
  }
  return true;
}

// Edges may differ by the round-off of the programs that wrote them, not by a part of a cell.
bool same_grid(const char* map_name, const map_header& h, const map_header& mask) {
  const double tolerance = 0.01 * (mask.north - mask.south) / mask.rows;
  const bool same = std::fabs(h.north - mask.north) <= tolerance && std::fabs(h.south - mask.south) <= tolerance &&
                    std::fabs(h.east - mask.east) <= tolerance && std::fabs(h.west - mask.west) <= tolerance;
  if (same) return true;
  stop_run("Error: The edges of map %s (north %.2f, south %.2f, east %.2f, west %.2f) differ from the "
           "watershed mask's (north %.2f, south %.2f, east %.2f, west %.2f) by more than %g m.\n",
           map_name, h.north, h.south, h.east, h.west, mask.north, mask.south, mask.east, mask.west, tolerance);
  return false;
}

}  // namespace

bool map_file_can_hold(checked_file& file, const char* map_name, int rows, int cols) {
  struct stat st {};
  if (!file.stream || fstat(fileno(file.stream), &st) != 0 || !S_ISREG(st.st_mode)) return true;
  // Each value takes a character and a separator at the least.
  const double needed = 2.0 * double(rows) * double(cols) - 1.0;
  if (double(st.st_size) >= needed) return true;
  stop_run("Error: Map %s holds %lld bytes, too few for the %d x %d values of ROWS and COLS "
           "(at least %.0f bytes).\n",
           map_name, static_cast<long long>(st.st_size), rows, cols, needed);
  return false;
}

void read_ascii_map(checked_file& file, const char* map_name, int mode, double& north,
                    double& south, double& east, double& west, int& rows, int& cols,
                    grid<int>& mask_grid, std::vector<double>* real_out_a,
                    std::vector<double>* real_out_b, std::vector<int>* index_out,
                    int expected_rows, int expected_cols, int quiet) {
  std::FILE* f = file.stream;
  if (!f) {
    fail_end_of_file(map_name);
    return;
  }
  // The first map read into a header (the watershed mask) sets it; every later map must lie
  // on the same grid, and leaves the header as it is.
  map_header reference{north, south, east, west, rows, cols};
  const bool has_reference = rows > 0 && cols > 0 && north > south && east > west;
  map_header h;
  if (!read_header(f, map_name, h)) return;
  if (!has_reference) {
    north = h.north;
    south = h.south;
    east = h.east;
    west = h.west;
  }
  rows = h.rows;
  cols = h.cols;
  const bool rows_differ = rows != expected_rows;
  const bool cols_differ = cols != expected_cols;
  // A header larger than the grid is refused before any value lands outside it.
  if (rows > expected_rows || cols > expected_cols || rows > mask_grid.rows() ||
      cols > mask_grid.cols()) {
    fail_extent(map_name, rows_differ || rows > mask_grid.rows(), cols_differ || cols > mask_grid.cols());
    return;
  }

  read_tally t;
  bool ok = false;
  const stream_lock held(f);
  switch (mode) {
    case 1: ok = read_real_rows(file, map_name, rows, cols, mask_grid, real_out_a, t); break;
    case 2: ok = read_int_grid(f, map_name, rows, cols, mask_grid, t); break;
    case 3: ok = read_real_rows(file, map_name, rows, cols, mask_grid, real_out_b, t); break;
    case 4: ok = read_categories(f, map_name, rows, cols, mask_grid, index_out, t, quiet); break;
    default: break;
  }
  if (!ok) return;
  if (rows_differ || cols_differ) {
    fail_extent(map_name, rows_differ, cols_differ);
    return;
  }
  if (has_reference) {
    rows = reference.rows;
    cols = reference.cols;
    if (!same_grid(map_name, h, reference)) return;
  }
  if (!t.any_non_zero) message_out("Warning: Map contains only zero values. Map: %s\n", map_name);
  if (t.zero_cells >= 1 && quiet != 1)
    message_out("Warning: Map contains %d cells with zero values. Map: %s\n", t.zero_cells, map_name);
}

}  // namespace pluvo
