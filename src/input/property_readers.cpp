// Steps shared by the property readers.
#include "input/property_readers.hpp"

#include <algorithm>
#include <cmath>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "input/ascii_map.hpp"
#include "input/grid_setup.hpp"
#include "record/model_state.hpp"

namespace pluvo {

bool open_for_reading(checked_file& file, const std::string& name) {
  return file.is_open() || checked_file_open(file, name.c_str(), 'r');
}

bool open_or_stop(checked_file& file, const std::string& name, const char* message) {
  if (open_for_reading(file, name)) return true;
  stop_run(message, name.c_str());
  return false;
}

void read_cell_map(model_state& m, checked_file& file, const std::string& name, int mode,
                   std::vector<double>& out) {
  ensure_cells(out, m.cell_count);
  read_ascii_map(file, name.c_str(), mode, m.grid_north, m.grid_south, m.grid_east, m.grid_west, m.grid_rows,
                 m.grid_cols, m.cell_number_grid, mode == 1 ? &out : nullptr, mode == 3 ? &out : nullptr,
                 nullptr, m.project_rows, m.project_cols, m.silent_mode);
  checked_file_close(file);
}

void read_cell_index_map(model_state& m, checked_file& file, const std::string& name,
                         std::vector<int32_t>& out) {
  ensure_cells(out, m.cell_count);
  read_ascii_map(file, name.c_str(), 4, m.grid_north, m.grid_south, m.grid_east, m.grid_west, m.grid_rows,
                 m.grid_cols, m.cell_number_grid, nullptr, nullptr, &out, m.project_rows, m.project_cols,
                 m.silent_mode);
  checked_file_close(file);
}

// Every soil class indexes the layered soil table: one outside it is refused before any use.
bool soil_classes_in_table(const model_state& m, const std::string& source) {
  const int limit = int(layered_soil_table_size) - 1;
  for (int i = 1; i <= m.cell_count; ++i) {
    const int s = m.soiltype[i];
    if (s < 0 || s > limit) {
      stop_run("Error: soil class %d of cell %d in %s is outside the soil table (0 to %d)\n", s, i, source.c_str(),
               limit);
      return false;
    }
  }
  return true;
}

bool cells_in_range(const model_state& m, const std::vector<double>& v, const char* what, const std::string& source,
                    const value_range& range) {
  const int n = std::min(m.cell_count, int(v.size()) - 1);
  for (int k = 1; k <= n; ++k) {
    const double x = v[size_t(k)];
    const bool inside = std::isfinite(x) && x >= range.low && (range.high_excluded ? x < range.high : x <= range.high);
    if (inside) continue;
    const bool located = size_t(k) < m.cell_row.size() && size_t(k) < m.cell_col.size();
    stop_run("Error: The %s %g%s of cell %d (row %d, column %d) from %s is outside the range %g%s to %s%g%s.\n",
             what, x, range.unit, k, located ? m.cell_row[size_t(k)] : 0, located ? m.cell_col[size_t(k)] : 0,
             source.c_str(), range.low, range.unit, range.high_excluded ? "below " : "", range.high, range.unit);
    return false;
  }
  return true;
}

std::string property_source(bool from_file, const std::string& name, const model_state& m) {
  return from_file ? "map " + name : "the mapping-table file " + m.mapping_table_path;
}

bool table_present(const model_state& m, int id) {
  const int slot = presence_slot(id);
  return m.mapping_table_on && slot >= 0 && slot < grid_table_presence_size && m.grid_table_presence[slot];
}

bool read_table_columns(model_state& m, int id, const table_outputs& outputs) {
  // As ensure_cells on each column, the columns made together.
  const size_t cells = size_t(m.cell_count) + 1;
  fresh_arrays columns;
  for (std::vector<double>* out : outputs)
    if (out && out->size() != cells) columns.add(*out, cells);
  columns.make_all();
  return read_index_map_table(map_table_target_of(m), m.mapping_table_path, id, outputs) == 1 &&
         !error_state.error_terminate;
}

}  // namespace pluvo
