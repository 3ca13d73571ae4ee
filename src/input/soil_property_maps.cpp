// Soil property maps of the Green and Ampt schemes: each from its map file, or spread from the
// mapping tables, then converted once to SI units.
#include <cstdio>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "input/ascii_map.hpp"
#include "input/grid_setup.hpp"
#include "input/input_phases.hpp"
#include "input/mapping_tables.hpp"
#include "run/model_state.hpp"

namespace pluvo {

namespace {

bool table_present(const model_state& m, int id) {
  return m.mapping_table_on && m.grid_table_presence[presence_slot(id)] != 0;
}

void size_per_cell(model_state& m, std::vector<double>& v) {
  if (v.size() < size_t(m.cell_count) + 1) v.resize(size_t(m.cell_count) + 1, 0.0);
}

// One map: from its open file (file_line names it) or, failing that, from the table already
// spread (table_line says so). false when reading the file stopped the run.
bool read_soil_map(model_state& m, checked_file& f, const std::string& path, std::vector<double>& out,
                   const char* file_line, const char* table_line) {
  size_per_cell(m, out);
  const bool silent = m.silent_mode == 1;
  if (!f.is_open()) {
    echo(m, !silent, "%s", table_line);
    return true;
  }
  echo(m, !silent, file_line, path.c_str());
  read_ascii_map(f, path.c_str(), 1, m.grid_north, m.grid_south, m.grid_east, m.grid_west, m.grid_rows,
                 m.grid_cols, m.cell_number_grid, &out, nullptr, nullptr, m.project_rows, m.project_cols,
                 m.silent_mode);
  checked_file_close(f);
  return !error_state.error_terminate;
}

void scale(std::vector<double>& v, int n, double divisor) {
  for (int k = 1; k <= n && size_t(k) < v.size(); ++k) v[size_t(k)] /= divisor;
}

void read_area_reduction_map(model_state& m) {
  if (!m.area_reduction_on) return;
  size_per_cell(m, m.area_reduction_factor);
  const bool silent = m.silent_mode == 1;
  if (!m.area_reduction_file.empty()) {
    if (!m.area_reduction_fp.is_open() &&
        !checked_file_open(m.area_reduction_fp, m.area_reduction_file.c_str(), 'r')) {
      message_out("Can't open area reduction file named: %s\n", m.area_reduction_file.c_str());
      fail_printed();
      return;
    }
    echo(m, !silent, "reading area reduction map from file: %s\n", m.area_reduction_file.c_str());
    read_ascii_map(m.area_reduction_fp, m.area_reduction_file.c_str(), 3, m.grid_north, m.grid_south,
                   m.grid_east, m.grid_west, m.grid_rows, m.grid_cols, m.cell_number_grid, nullptr,
                   &m.area_reduction_factor, nullptr, m.project_rows, m.project_cols, m.silent_mode);
    checked_file_close(m.area_reduction_fp);
    if (error_state.error_terminate) return;
  } else if (table_present(m, map_table::area_reduction)) {
    echo(m, !silent, "reading area reduction map from the mapping table file.\n");
    read_index_map_table(map_table_target_of(m), m.mapping_table_path, map_table::area_reduction,
                         {&m.area_reduction_factor});
    if (error_state.error_terminate) return;
  }
  // Stored as the part of the cell that stays open to infiltration.
  for (int k = 1; k <= m.cell_count; ++k) m.area_reduction_factor[size_t(k)] = 1.0 - m.area_reduction_factor[size_t(k)];
}

void read_green_ampt_maps(model_state& m) {
  for (auto* v : {&m.ks_cell, &m.hc_cell, &m.porosity_cell, &m.pore_index_cell, &m.residual_sat_cell,
                  &m.field_capacity_cell, &m.wilting_point_cell, &m.initial_moisture_cell, &m.surface_moisture})
    size_per_cell(m, *v);
  if (table_present(m, map_table::green_ampt_infiltration)) {
    read_index_map_table(map_table_target_of(m), m.mapping_table_path, map_table::green_ampt_infiltration,
                         {&m.ks_cell, &m.hc_cell, &m.porosity_cell, &m.pore_index_cell, &m.residual_sat_cell,
                          &m.field_capacity_cell, &m.wilting_point_cell});
    if (error_state.error_terminate) return;
  }
  const int n = m.cell_count;
  if (m.conductivity_map_on == 1) {
    if (!read_soil_map(m, m.conductivity_map_fp, m.conductivity_path, m.ks_cell,
                       "reading saturated hydraulic conductivity map from file: %s\n",
                       "reading saturated hydraulic conductivity table and map from the master table file\n"))
      return;
    scale(m.ks_cell, n, 360000.0);  // cm/h to m/s
  }
  if (m.capillary_map_on == 1) {
    if (!read_soil_map(m, m.capillary_map_fp, m.capillary_path, m.hc_cell,
                       "reading capillary drive map from file: %s\n",
                       "reading capillary drive map from the master table file\n"))
      return;
    scale(m.hc_cell, n, 100.0);  // cm to m
  }
  if (m.porosity_map_on == 1 &&
      !read_soil_map(m, m.porosity_map_fp, m.porosity_path, m.porosity_cell, "reading porosity map from file: %s\n",
                     "reading porosity table and map from the master table file\n"))
    return;
  if (m.inf_redist_on != 1) return;  // surface moisture follows the initial moisture once it is read
  const bool ga_table = table_present(m, map_table::green_ampt_infiltration);
  if (m.pore_index_map_on == 0 && !ga_table) {
    std::fputs("For infiltration redistribution, pore index map must be specified\nProgram stopped.\n", stderr);
    fail_printed();
    return;
  }
  if (!read_soil_map(m, m.pore_index_map_fp, m.pore_index_path, m.pore_index_cell,
                     "reading pore distribution index map from file: %s\n",
                     "reading pore distribution index map from master table file\n"))
    return;
  if (m.residual_sat_map_on == 0 && !ga_table) {
    std::fputs("For infiltration redistribution, residual saturation map must be specified\nProgram stopped.\n",
               stderr);
    fail_printed();
    return;
  }
  read_soil_map(m, m.residual_sat_map_fp, m.residual_sat_path, m.residual_sat_cell,
                "reading residual saturation map from file: %s\n",
                "reading residual saturation map from the master table file\n");
}

void read_initial_moisture_map(model_state& m) {
  size_per_cell(m, m.initial_moisture_cell);
  size_per_cell(m, m.surface_moisture);
  if (m.moisture_map_on == 1 && m.moisture_map_fp.is_open()) {
    if (!read_soil_map(m, m.moisture_map_fp, m.moisture_path, m.initial_moisture_cell,
                       "reading soil moisture map from file: %s\n", ""))
      return;
  } else {
    echo(m, m.silent_mode != 1, "reading soil moisture table and map from the master table file\n");
    if (table_present(m, map_table::green_ampt_moisture))
      read_index_map_table(map_table_target_of(m), m.mapping_table_path, map_table::green_ampt_moisture,
                           {&m.initial_moisture_cell});
    if (error_state.error_terminate) return;
  }
  // The surface layer starts at the initial moisture just read, not at what the array held before.
  if (m.green_ampt_on || m.inf_redist_on)
    for (int k = 1; k <= m.cell_count; ++k) m.surface_moisture[size_t(k)] = m.initial_moisture_cell[size_t(k)];
}

}  // namespace

void read_soil_property_maps(model_state& m) {
  if (!(m.green_ampt_on == 1 || m.inf_redist_on == 1 || m.inf_layered_soil_on || m.inf_richards_on)) return;
  read_area_reduction_map(m);
  if (error_state.error_terminate) return;
  if (m.green_ampt_on || m.inf_redist_on) read_green_ampt_maps(m);
  if (error_state.error_terminate) return;
  read_initial_moisture_map(m);
}

}  // namespace pluvo
