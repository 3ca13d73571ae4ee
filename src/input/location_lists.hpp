#pragma once
// Location lists of the point output files: a count, then one record per location.
#include <cstdint>
#include <functional>
#include <vector>

namespace pluvo {

struct checked_file;
struct model_state;

// Reads the count ("%d") and then count records of one or two integers into first and second
// (count + 1 entries each, element 0 unused). fits(i) checks record i as soon as it is read and
// stops the run itself when the record does not fit. A file without a count gives an empty
// list; one that ends before its last record stops the run. false after any stop.
bool read_location_list(checked_file& f, int fields, int& count, std::vector<int32_t>& first,
                        std::vector<int32_t>& second, const std::function<bool(int)>& fits);

// A row and column on the grid; otherwise stops the run naming location i of file f.
bool grid_place_fits(const model_state& m, const checked_file& f, int i, int row, int col);
// The cell number at a row and column on the grid, 0 outside the watershed.
int cell_at(const model_state& m, int row, int col);

// The channel, groundwater-flux, cell, sediment, superjunction and superlink-node output
// locations, each under its own switch, in that order; every position is checked against the
// grid or network it names.
void read_output_location_lists(model_state& m);

}  // namespace pluvo
