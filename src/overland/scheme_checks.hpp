#pragma once
// Checks both overland schemes make before they touch the record: each failure prints its
// message and stops the run (code 4000).
#include <cstddef>
#include <vector>

namespace pluvo {

struct model_state;

// Every per-cell array a scheme reads covers the grid.
bool cell_arrays_fit(model_state& m);

// Lake numbers index the lake tables: one out of range stops the run before any access.
bool lake_numbers_fit(model_state& m, const std::vector<int>& mask, size_t tables, const char* kind);

// Number of entries every channel-lake table holds (lakes 0..nlakes at most).
size_t channel_lake_tables(const model_state& m);

}  // namespace pluvo
