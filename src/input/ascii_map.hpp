#pragma once
// ASCII grid maps: a six-line header (north, south, east, west, rows, cols) and the values row by row.
#include <vector>

#include "common/checked_file.hpp"
#include "common/grid.hpp"

namespace pluvo {

// Counts of the category values of the inside cells of the last mode-4 map, entries 0..10000.
constexpr int category_histogram_size = 10001;
extern int category_histogram[category_histogram_size];

// A map file too small for rows x cols values stops the run with its message before any grid
// of that size is allocated; true when it may hold them.
bool map_file_can_hold(checked_file& file, const char* map_name, int rows, int cols);

// The header destinations: the first map read into them (no grid held on entry: the watershed
// mask) sets north, south, east and west; a later map must have the same edges,
// beyond round-off, and leaves them unchanged.
// Real rows are read whole; a row with other than cols values, a value that is not a number,
// or one inside the mask that is not finite is refused with its row.
// Modes: 1 and 3 real values onto the inside cells of mask_grid (into real_out_a and real_out_b),
// 2 integers into mask_grid itself, 4 integer categories onto the inside cells (into index_out).
// On failure the run has been stopped with its message; the file stays open.
void read_ascii_map(checked_file& file, const char* map_name, int mode, double& north,
                    double& south, double& east, double& west, int& rows, int& cols,
                    grid<int>& mask_grid, std::vector<double>* real_out_a,
                    std::vector<double>* real_out_b, std::vector<int>* index_out,
                    int expected_rows, int expected_cols, int quiet);

}  // namespace pluvo
