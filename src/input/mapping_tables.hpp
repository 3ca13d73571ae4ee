#pragma once
// Mapping-table file and index maps.

#include <string>

namespace pluvo {

// Sets presence[table id] for every usable property table of the mapping-table file.
void check_mapping_tables(const std::string& path, int* presence, int silent);

// Sets the six stream-table flags from the stream mapping-table file.
void print_stream_index_tables(const std::string& path, int* presence, int silent);

// Set once the TIME_SERIES_INDEX table has been loaded in this run.
extern int time_series_index_loaded;

}  // namespace pluvo
