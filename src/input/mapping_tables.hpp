#pragma once
// Mapping-table file and index maps.

namespace pluvo {

// Set once the TIME_SERIES_INDEX table has been loaded in this run.
extern int time_series_index_loaded;

}  // namespace pluvo
