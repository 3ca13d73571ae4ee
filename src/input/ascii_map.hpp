#pragma once
// ASCII grid maps: a six-line header (north, south, east, west, rows, cols) and the values row by row.
#include <vector>

#include "common/checked_file.hpp"
#include "common/grid.hpp"

namespace pluvo {

// Counts of the category values of the inside cells of the last mode-4 map, entries 0..10000.
constexpr int category_histogram_size = 10001;
extern int category_histogram[category_histogram_size];

// Modes: 1 and 3 real values onto the inside cells of mask_grid (into real_out_a and real_out_b),
// 2 integers into mask_grid itself, 4 integer categories onto the inside cells (into index_out).
// On failure error_state holds 4000 and the error has been reported; the file stays open.
void read_ascii_map(checked_file& file, const char* map_name, int mode, double& north,
                    double& south, double& east, double& west, int& rows, int& cols,
                    grid<int>& mask_grid, std::vector<double>* real_out_a,
                    std::vector<double>* real_out_b, std::vector<int>* index_out,
                    int expected_rows, int expected_cols, int quiet);

}  // namespace pluvo
