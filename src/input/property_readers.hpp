#pragma once
// Readers of the process property maps and tables, and the small steps they share.
#include <cstdint>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/parallel_fill.hpp"
#include "input/mapping_tables.hpp"

namespace pluvo {

struct model_state;

// Fills temperature[1..node_count] from the profile (depth, temp) of points 1..point_count at
// the node depths. Each node takes the segment that holds it; nodes above the first or below
// the last point continue the nearest segment; a zero-length segment gives its lower value.
void interpolate_temperature_profile(int node_count, const double* node_depth, int point_count,
                                     const double* depth, const double* temp, double* temperature);

// Richards soil columns, called last but one by the soil property maps.
void setup_richards_soil_columns(model_state& m);
// The soil classes of the cells from SOIL_TYPE_MAP (the file is closed); false when the run stops.
bool read_soil_type_map(model_state& m);

// Reads the MULTI_LAYER_SOIL block (file positioned at its first count line) into the layered
// soil table; the number of soils, 0 after a failed check (its reason in problem), or the count
// itself when it is below 1.
int read_multilayer_soil_table(checked_file& file, model_state& m, std::string& problem);

// Shared steps.
// Cells 1..n of a per-cell array, zeroed when it does not have them yet.
template <typename T>
void ensure_cells(std::vector<T>& v, int n) {
  if (v.size() != size_t(n) + 1) assign_fresh(v, size_t(n) + 1);
}
// The file stays as it is when open; otherwise it is opened for reading. true when open.
bool open_for_reading(checked_file& file, const std::string& name);
// As open_for_reading; when the file does not open, prints the message (a format of one %s
// that takes the name), stops the run and gives false.
bool open_or_stop(checked_file& file, const std::string& name, const char* message);
// Reads a real map (mode 1 or 3) into the cells of out and closes the file.
void read_cell_map(model_state& m, checked_file& file, const std::string& name, int mode,
                   std::vector<double>& out);
// Reads an index map (mode 4) into the cells of out and closes the file.
void read_cell_index_map(model_state& m, checked_file& file, const std::string& name,
                         std::vector<int32_t>& out);
// Every soil class indexes the layered soil table: one outside it stops the run with a message
// naming the class, its cell, its source and the table's bounds.
bool soil_classes_in_table(const model_state& m, const std::string& source);
// The values a property may take in a cell. A value that is not finite, or lies outside, stops
// the run with a message naming the property, the value, its cell and source and the range.
struct value_range {
  double low;
  double high;
  bool high_excluded;  // a porosity must stay below 1
  const char* unit;    // printed after the numbers, e.g. " m"
};
bool cells_in_range(const model_state& m, const std::vector<double>& v, const char* what, const std::string& source,
                    const value_range& range);
// The source of a property for messages: its map file, or the mapping-table file.
std::string property_source(bool from_file, const std::string& name, const model_state& m);
// The mapping-table file is on and holds the table.
bool table_present(const model_state& m, int id);
// Spreads the value columns of a table onto the cells; false after a reported error.
bool read_table_columns(model_state& m, int id, const table_outputs& outputs);

}  // namespace pluvo
