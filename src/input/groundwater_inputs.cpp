// Inputs of the two-dimensional groundwater solver: boundary types, wells or static boundary
// fluxes, aquifer conductivity and porosity, and the wells whose level is written out.
#include <cmath>
#include <cstdio>
#include <memory>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "common/process.hpp"
#include "input/grid_setup.hpp"
#include "input/input_phases.hpp"
#include "input/neighbour_services.hpp"
#include "input/property_readers.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int static_flux_type = 6;
constexpr double max_static_flux = 1e9;           // m3/day of one cell: far beyond any well or spring
constexpr double max_aquifer_conductivity = 1e6;  // cm/h: far beyond open gravel
constexpr int dynamic_well_type = 3;
constexpr double seconds_per_day = 86400.0;

bool stopped() {
  return error_state.error_terminate != 0;
}

// The console and the summary get different wordings of one echo.
void echo_split(model_state& m, const char* console_format, const char* summary_format,
                const std::string& name) {
  if (m.super_quiet_on == 0 && process_index == 0) message_out(console_format, name.c_str());
  if (m.summary_fp.is_open()) std::fprintf(m.summary_fp.stream, summary_format, name.c_str());
}
void echo_split(model_state& m, const char* console_text, const char* summary_text) {
  if (m.super_quiet_on == 0 && process_index == 0) message_out("%s", console_text);
  if (m.summary_fp.is_open()) std::fputs(summary_text, m.summary_fp.stream);
}

void read_boundary_types(model_state& m) {
  const int n = m.cell_count;
  if (!table_present(m, map_table::groundwater_boundary) || !m.gw_boundfile_path.empty()) {
    echo_split(m, "reading the groundwater boundary file: %s\n", "reading groundwater boundary file: %s\n",
               m.gw_boundfile_path);
    if (!open_or_stop(m.gw_boundary_fp, m.gw_boundfile_path, "Can't open groundwater boundary file: %s\n"))
      return;
    read_cell_index_map(m, m.gw_boundary_fp, m.gw_boundfile_path, m.gwbound);
    return;
  }
  echo_split(m, "reading the groundwater boundary file from the mapping table\n",
             "reading groundwater boundary file from the mapping table\n");
  table_outputs out{};
  out[0] = &m.gw_porosity;  // scratch until the porosity is read
  if (!read_table_columns(m, map_table::groundwater_boundary, out)) return;
  for (int i = 1; i <= n; ++i) m.gwbound[i] = static_cast<int32_t>(std::trunc(m.gw_porosity[i]));
}

// Rows of grid row, grid column and flux in m3/day; the flux is spread over the cell's area.
void read_static_flux_table(model_state& m) {
  const std::string& name = m.gw_fluxboundtable_path;
  if (!open_or_stop(m.gw_flux_table_fp, name, "Can't open static flux table file: %s\n")) return;
  auto line = std::make_unique<char[]>(line_buffer_size);
  int rows = 0;
  if (!read_line(line.get(), m.gw_flux_table_fp) || std::sscanf(line.get(), "%d", &rows) != 1 || rows < 0) {
    checked_file_close(m.gw_flux_table_fp);
    stop_run("Error: the static flux table %s does not begin with its number of rows\n", name.c_str());
    return;
  }
  m.gw_flux_cell_count = rows;
  const double area = m.cell_size * m.cell_size;
  for (int k = 1; k <= rows; ++k) {
    int r = 0, c = 0;
    double flux = 0.0;
    if (!read_line(line.get(), m.gw_flux_table_fp) ||
        std::sscanf(line.get(), "%d %d %lf", &r, &c, &flux) != 3) {
      checked_file_close(m.gw_flux_table_fp);
      stop_run("Error: the static flux table %s ends or is unreadable at row %d of %d\n", name.c_str(), k, rows);
      return;
    }
    const grid<int>& g = m.cell_number_grid;
    const int cell = (r >= 1 && r <= g.rows() && c >= 1 && c <= g.cols()) ? g(r, c) : 0;
    if (cell == 0) {
      checked_file_close(m.gw_flux_table_fp);
      stop_run(
          "Error: row %d of the static flux table %s names grid cell [%d,%d], which is not inside "
          "the watershed (%d rows, %d columns)\n",
          k, name.c_str(), r, c, g.rows(), g.cols());
      return;
    }
    if (!(std::fabs(flux) <= max_static_flux)) {
      checked_file_close(m.gw_flux_table_fp);
      stop_run("Error: row %d of the static flux table %s gives a flux of %g m3/day; it must be a number from %g to "
               "%g.\n",
               k, name.c_str(), flux, -max_static_flux, max_static_flux);
      return;
    }
    m.gw_static_flux[cell] = flux / seconds_per_day / area;
  }
  if (m.gw_dynamic_well_count >= 1)
    message_out(
        "You can't have a dynamic wells in the groundwater boundary map. You must use the\n"
        "WELL_TABLE table in the mapping table file\n");
  checked_file_close(m.gw_flux_table_fp);
}

void read_wells_or_fluxes(model_state& m) {
  if (m.use_wells == 1) {
    m.wells_on = 1;
    echo(m, true, "reading well map from the master table file\n");
    read_gw_boundary_table(map_table_target_of(m), m.mapping_table_path);
    return;
  }
  m.gw_flux_cell_count = m.gw_dynamic_well_count = 0;
  for (int i = 1; i <= m.cell_count; ++i) {
    if (m.gwbound[i] == static_flux_type) ++m.gw_flux_cell_count;
    if (m.gwbound[i] == dynamic_well_type) ++m.gw_dynamic_well_count;
  }
  if (m.gw_flux_cell_count >= 1 || m.gw_flux_boundtable_on == 1) read_static_flux_table(m);
}

// The last node of each cell's Richards column stands in for the aquifer; false when there
// are no columns to take it from.
bool take_from_richards_columns(const model_state& m, const node_matrix<double>& a,
                                std::vector<double>& out) {
  if (a.empty() || m.numcells.size() != size_t(m.cell_count) + 1) return false;
  for (int i = 1; i <= m.cell_count; ++i) {
    const int last = m.numcells[i];
    if (last < 0 || last > a.cols()) return false;
    out[i] = a[i][last];
  }
  return true;
}

bool read_conductivity(model_state& m, bool& table_read) {
  const int n = m.cell_count;
  if (m.gw_hycond_map_on == 1) {
    echo_split(m, "reading ground water hydraulic conductivity map from file: %s\n",
               "reading hyd. cond. map from file: %s\n", m.gw_hycond_map_path);
    read_cell_map(m, m.gw_hycond_fp, m.gw_hycond_map_path, 3, m.gw_hycond);
  } else if (table_present(m, map_table::groundwater)) {
    echo_split(m, "reading ground water hydraulic conductivity map from the master table file\n",
               "reading hyd. cond. map from the master table file\n");
    table_outputs out{};
    out[0] = &m.gw_hycond;
    out[1] = &m.gw_porosity;
    table_read = true;
    if (!read_table_columns(m, map_table::groundwater, out)) return false;
  } else if (m.gw_unif_hycond_on) {
    for (int i = 1; i <= n; ++i) m.gw_hycond[i] = m.gw_unif_hycond_value;
  } else if (!take_from_richards_columns(m, m.KS, m.gw_hycond)) {
    set_error(126);
    return false;
  }
  return !stopped();
}

// Where an aquifer value of a cell came from, for the message that refuses it.
std::string aquifer_source(const model_state& m, bool map_on, const std::string& map, bool uniform_on,
                           const char* uniform_card) {
  if (map_on) return "map " + map;
  if (table_present(m, map_table::groundwater)) return "the mapping-table file " + m.mapping_table_path;
  if (uniform_on) return std::string("card ") + uniform_card;
  return "the Richards soil columns";
}

// Every cell's value finite and in its range (written so that NaN fails), else the run stops.
bool aquifer_values_in_range(const std::vector<double>& v, int n, const char* what, double low, double high,
                             const std::string& source) {
  for (int i = 1; i <= n; ++i) {
    if (v[size_t(i)] >= low && v[size_t(i)] <= high) continue;
    stop_run("Error: The groundwater %s %g of cell %d from %s is outside the range %g to %g.\n", what, v[size_t(i)],
             i, source.c_str(), low, high);
    return false;
  }
  return true;
}

bool read_porosity(model_state& m, bool table_read) {
  const int n = m.cell_count;
  if (m.gw_porosity_map_on == 1) {
    echo_split(m, "reading ground water porosity map from file: %s\n",
               "reading ground water porosity map from file: %s\n", m.gw_porosity_map_path);
    read_cell_map(m, m.gw_porosity_fp, m.gw_porosity_map_path, 3, m.gw_porosity);
  } else if (table_present(m, map_table::groundwater)) {
    echo_split(m, "reading ground water porosity map from the master table file\n",
               "reading porosity map from the master table file\n");
    // Conductivity from its own map left the table unread: its porosity column is read here.
    if (!table_read) {
      table_outputs out{};
      out[1] = &m.gw_porosity;
      if (!read_table_columns(m, map_table::groundwater, out)) return false;
    }
  } else if (m.gw_unif_porosity_on) {
    for (int i = 1; i <= n; ++i) m.gw_porosity[i] = m.gw_unif_porosity_value;
  } else if (!take_from_richards_columns(m, m.THETAS, m.gw_porosity)) {
    set_error(126);
    return false;
  }
  return !stopped();
}

void read_well_level_locations(model_state& m) {
  if (!m.gw_well_level_on) return;
  auto line = std::make_unique<char[]>(line_buffer_size);
  int count = 0;
  if (!read_line(line.get(), m.well_location_fp) || std::sscanf(line.get(), "%d", &count) != 1 || count < 0) {
    stop_run("Error: the well location file %s does not begin with its number of wells\n",
             m.out_well_location_path.c_str());
    return;
  }
  m.gw_well_level_count = count;
  m.well_row.assign(size_t(count) + 2, 0);
  m.well_column.assign(size_t(count) + 2, 0);
  for (int k = 1; k <= count; ++k) {
    if (!read_line(line.get(), m.well_location_fp) ||
        std::sscanf(line.get(), "%d %d", &m.well_row[k], &m.well_column[k]) != 2) {
      stop_run("Error: the well location file %s ends or is unreadable at well %d of %d\n",
               m.out_well_location_path.c_str(), k, count);
      return;
    }
  }
}

}  // namespace

void read_groundwater_inputs(model_state& m) {
  if (m.gw_simulation_on != 1) return;
  const int n = m.cell_count;
  ensure_cells(m.gwbound, n);
  // The recharge maps count from the first step, before any map is written.
  for (std::vector<double>* v : {&m.gw_static_flux, &m.gw_hycond, &m.gw_hycond_copy, &m.gw_porosity,
                                 &m.gw_porosity_copy, &m.gw_cell_width_x, &m.gw_cell_width_y, &m.gw_recharge_cum,
                                 &m.gw_recharge_cum_prev})
    ensure_cells(*v, n);
  read_boundary_types(m);
  if (stopped()) return;
  neighbour_services.build_gw_xy_weights(m);
  if (stopped()) return;
  read_wells_or_fluxes(m);
  if (stopped()) return;
  bool table_read = false;
  if (!read_conductivity(m, table_read) || !read_porosity(m, table_read)) return;
  if (!aquifer_values_in_range(m.gw_hycond, n, "hydraulic conductivity (cm/h)", 0.0, max_aquifer_conductivity,
                               aquifer_source(m, m.gw_hycond_map_on == 1, m.gw_hycond_map_path,
                                              m.gw_unif_hycond_on, "GW_UNIF_HYCOND")) ||
      !aquifer_values_in_range(m.gw_porosity, n, "porosity", 0.0, 1.0,
                               aquifer_source(m, m.gw_porosity_map_on == 1, m.gw_porosity_map_path,
                                              m.gw_unif_porosity_on, "GW_UNIF_POROSITY")))
    return;
  for (int i = 1; i <= n; ++i) {
    m.gw_hycond[i] = m.gw_hycond[i] / 100.0 / 3600.0;  // cm/h to m/s
    m.gw_hycond_copy[i] = m.gw_hycond[i];
    m.gw_cell_width_x[i] = m.gw_cell_width_y[i] = m.cell_size;
    m.gw_porosity_copy[i] = m.gw_porosity[i];
  }
  read_well_level_locations(m);
}

}  // namespace pluvo
