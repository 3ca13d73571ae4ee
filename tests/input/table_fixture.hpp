#pragma once
// A small masked grid and a mapping-table file written into a private folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/grid.hpp"
#include "common/time_series.hpp"
#include "input/mapping_tables.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo_test {

// One table row: the id in columns 1-6, a description to column 86, the values from column 87.
inline std::string table_row(int id, const std::string& values, const std::string& description = "class") {
  char text[512];
  std::snprintf(text, sizeof text, "%6d%-80s%s\n", id, description.c_str(), values.c_str());
  return text;
}

// An index map of rows x cols 10 m cells holding the given ids.
inline std::string index_map_text(int rows, int cols, const std::string& ids) {
  char h[256];
  std::snprintf(h, sizeof h, "north: 100\nsouth: %d\neast: %d\nwest: 0\nrows: %d\ncols: %d\n", 100 - 10 * rows,
                10 * cols, rows, cols);
  return h + ids;
}

struct table_fixture {
  scratch_dir dir;
  pluvo::grid<int> mask;
  double north = 0, south = 0, east = 0, west = 0;
  int rows = 0, cols = 0;
  int cells = 0;
  pluvo::map_table_target target;

  // layout: one character per cell, '1' inside the watershed, '0' outside; rows end in '\n'.
  explicit table_fixture(const std::string& layout) {
    pluvo::error_state = pluvo::error_state_record();
    pluvo::error_log_file = nullptr;
    pluvo::time_series_index_loaded = 0;
    pluvo::free_time_series();
    int r = 0, c = 0, width = 0;
    for (char ch : layout) {
      if (ch == '\n') {
        ++r;
        width = c;
        c = 0;
      } else {
        ++c;
      }
    }
    mask.resize(r, width, 0);
    r = 1;
    c = 1;
    for (char ch : layout) {
      if (ch == '\n') {
        ++r;
        c = 1;
        continue;
      }
      if (ch == '1') mask(r, c) = ++cells;
      ++c;
    }
    target.grid_north = &north;
    target.grid_south = &south;
    target.grid_east = &east;
    target.grid_west = &west;
    target.grid_rows = &rows;
    target.grid_cols = &cols;
    target.cell_number_grid = &mask;
    target.project_rows = mask.rows();
    target.project_cols = mask.cols();
    target.silent_mode = 0;
  }
  ~table_fixture() {
    pluvo::free_time_series();
    pluvo::time_series_index_loaded = 0;
  }

  std::vector<double> per_cell() const { return std::vector<double>(size_t(cells) + 1, 0.0); }
  std::string map(const std::string& ids) const { return index_map_text(mask.rows(), mask.cols(), ids); }
};

}  // namespace pluvo_test
