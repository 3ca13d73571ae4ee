#include "input/ascii_map.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"

namespace pluvo {

int category_histogram[category_histogram_size];

namespace {

void fail_end_of_file(const char* map_name) {
  message_out("Unexpected end of file in file: %s\n", map_name);
  report_printed();
}

// Both extents wrong give one message that names both.
void fail_extent(const char* map_name, bool rows_differ, bool cols_differ) {
  if (rows_differ && cols_differ)
    message_out("Incorrect number of rows and columns in map: %s\n", map_name);
  else if (rows_differ)
    message_out("Incorrect number of rows in map: %s\n", map_name);
  else
    message_out("Incorrect number of columns in map: %s\n", map_name);
  report_printed();
}

// The next value of a row, 0 when the row has no more; delimiters and conversion as next_double.
// A forward scan: next_double shifts the rest of the row at every value, which is quadratic in
// the row length and too slow for rows of thousands of cells.
double take_value(char*& p) {
  while (*p == ' ' || *p == '\t' || *p == ',' || *p == '\n') ++p;
  if (!*p) return 0.0;
  char* end = p;
  while (*end && *end != ' ' && *end != '\t' && *end != ',' && *end != '\n') ++end;
  const char saved = *end;
  *end = 0;
  const double v = std::strtod(p, nullptr);
  *end = saved;
  p = end;
  return v;
}

struct read_tally {
  bool any_non_zero = false;
  int zero_cells = 0;
};

bool read_real_rows(checked_file& f, const char* map_name, int rows, int cols,
                    const grid<int>& mask, std::vector<double>* out, read_tally& t) {
  auto line = std::make_unique<char[]>(line_buffer_size);
  size_t k = 1;
  for (int r = 1; r <= rows; ++r) {
    // The line reader substitutes replacement keys and drops the line end.
    if (!read_line(line.get(), f)) {
      fail_end_of_file(map_name);
      return false;
    }
    char* p = line.get();
    for (int c = 1; c <= cols; ++c) {
      const double v = take_value(p);
      if (v != 0.0) t.any_non_zero = true;
      if (mask(r, c) == 0) continue;
      if (out && k < out->size()) (*out)[k] = v;
      ++k;
      if (v == 0.0) ++t.zero_cells;
    }
  }
  return true;
}

// One integer of an integer map; false (after the message) at end of file or on a non-number.
bool read_int(std::FILE* f, const char* map_name, int r, int c, int& v) {
  const int got = std::fscanf(f, "%d", &v);
  if (got == 1) return true;
  if (got == EOF) {
    fail_end_of_file(map_name);
  } else {
    message_out("Invalid integer value in map: %s [row %d:col %d]\n", map_name, r, c);
    report_printed();
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

}  // namespace

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
  // Header items are taken by position; their tags are not compared.
  char tag[8];
  rows = cols = 0;
  if (std::fscanf(f, "%6s %lf\n", tag, &north) != 2 || std::fscanf(f, "%6s %lf\n", tag, &south) != 2 ||
      std::fscanf(f, "%5s %lf\n", tag, &east) != 2 || std::fscanf(f, "%5s %lf\n", tag, &west) != 2 ||
      std::fscanf(f, "%5s %d\n", tag, &rows) != 2 || std::fscanf(f, "%5s %d\n", tag, &cols) != 2) {
    // A header cut short leaves no values to read.
    if (std::feof(f)) {
      fail_end_of_file(map_name);
      return;
    }
  }
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
  if (!t.any_non_zero) message_out("Warning: Map contains only zero values. Map: %s\n", map_name);
  if (t.zero_cells >= 1 && quiet != 1)
    message_out("Warning: Map contains %d cells with zero values. Map: %s\n", t.zero_cells, map_name);
}

}  // namespace pluvo
