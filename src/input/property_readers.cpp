// Steps shared by the property readers.
#include "input/property_readers.hpp"

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
      message_out("Error: soil class %d of cell %d in %s is outside the soil table (0 to %d)\n", s, i,
                  source.c_str(), limit);
      report_printed();
      return false;
    }
  }
  return true;
}

bool table_present(const model_state& m, int id) {
  const int slot = presence_slot(id);
  return m.mapping_table_on && slot >= 0 && slot < grid_table_presence_size && m.grid_table_presence[slot];
}

bool read_table_columns(model_state& m, int id, const table_outputs& outputs) {
  for (std::vector<double>* out : outputs)
    if (out) ensure_cells(*out, m.cell_count);
  return read_index_map_table(map_table_target_of(m), m.mapping_table_path, id, outputs) == 1 &&
         !error_state.error_terminate;
}

}  // namespace pluvo
