#include "input/grid_setup.hpp"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "common/checked_file.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/parallel_fill.hpp"
#include "common/process.hpp"
#include "input/ascii_map.hpp"
#include "input/property_readers.hpp"
#include "record/model_state.hpp"

namespace pluvo {

void echo(model_state& m, bool console_too, const char* format, ...) {
  char text[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (m.summary_fp.is_open()) std::fputs(text, m.summary_fp.stream);
  if (console_too && m.super_quiet_on == 0 && process_index == 0) message_out("%s", text);
}

namespace {

// Sizes agree when they match at 0.1 m after adding 1 mm.
bool same_cell_size(double a, double b) {
  return std::trunc((a + 0.001) * 10.0) == std::trunc((b + 0.001) * 10.0);
}

void write_mask_map(const model_state& m) {
  checked_file out;
  if (!checked_file_open(out, "maskmap", 'w')) {
    message_out("Error: unable to open mask map file for writing\n");
    return;
  }
  std::FILE* f = out.stream;
  std::fprintf(f, "north: %9.2lf\n", m.grid_north);
  std::fprintf(f, "south: %9.2lf\n", m.grid_south);
  std::fprintf(f, "east: %9.2lf\n", m.grid_east);
  std::fprintf(f, "west: %9.2lf\n", m.grid_west);
  std::fprintf(f, "rows: %5d\n", m.grid_rows);
  std::fprintf(f, "cols: %5d\n", m.grid_cols);
  // Each row as "%d " per cell and a line end, formatted in a buffer: a million-cell mask
  // would otherwise take a million calls of fprintf.
  std::string row;
  char number[16];
  for (int r = 1; r <= m.grid_rows; ++r) {
    row.clear();
    for (int c = 1; c <= m.grid_cols; ++c) {
      row.append(number, std::to_chars(number, number + sizeof number, m.cell_number_grid(r, c)).ptr);
      row += ' ';
    }
    row += '\n';
    std::fwrite(row.data(), 1, row.size(), f);
  }
  checked_file_close(out);
}

}  // namespace

void read_watershed_mask(model_state& m) {
  m.map_header_kind = 2;
  echo(m, m.silent_mode != 1, "reading watershed mask from file: %s\n", m.watershed_mask_path.c_str());
  read_ascii_map(m.watershed_mask_fp, m.watershed_mask_path.c_str(), 2, m.grid_north, m.grid_south,
                 m.grid_east, m.grid_west, m.grid_rows, m.grid_cols, m.cell_number_grid, nullptr,
                 nullptr, nullptr, m.project_rows, m.project_cols, m.silent_mode);
  checked_file_close(m.watershed_mask_fp);
  if (error_state.error_terminate) return;

  const int rows = m.grid_rows, cols = m.grid_cols;
  const double dy = (m.grid_north - m.grid_south) / rows;
  const double dx = (m.grid_east - m.grid_west) / cols;
  const bool ns_ok = same_cell_size(m.cell_size, dy);
  if (!ns_ok || !same_cell_size(m.cell_size, dx)) {
    stop_run("\nThe grid size specified in the project file: %7.4f m differs from\n"
             "the %s dimension of the raster grid cells %7.4f m as calculated\n"
             "from the WATERSHED_MASK header.  Check your data to make sure they agree.\n"
             "PLUVO terminating.\n\n",
             m.cell_size, ns_ok ? "east-west" : "north-south", ns_ok ? dx : dy);
    return;
  }

  int n = 0;
  for (int r = 0; r <= rows + 1; ++r)
    for (int c = 0; c <= cols + 1; ++c)
      if (m.cell_number_grid(r, c) != 0) m.cell_number_grid(r, c) = ++n;
  m.cell_count = n;

  fresh_arrays places;
  places.add(m.cell_row, size_t(n) + 1);
  places.add(m.cell_col, size_t(n) + 1);
  places.add(m.cell_x, size_t(n) + 1);
  places.add(m.cell_y, size_t(n) + 1);
  places.make_all();
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      const int k = m.cell_number_grid(r, c);
      if (k == 0) continue;
      m.cell_row[k] = r;
      m.cell_col[k] = c;
      m.cell_y[k] = m.grid_north - (r - 0.5) * dy;
      m.cell_x[k] = m.grid_west + (c - 0.5) * dx;
    }
  write_mask_map(m);
  echo(m, m.silent_mode != 1, "number of grid cells in watershed: %d\n", n);
  m.watershed_area = m.cell_size * m.cell_size * n;
}

// Land surfaces lie between the shores of the Dead Sea and the highest summits.
constexpr double lowest_elevation = -1000.0;
constexpr double highest_elevation = 10000.0;

void read_elevation_map(model_state& m) {
  m.map_header_kind = 1;
  echo(m, m.silent_mode != 1, "reading elevation map from file: %s\n", m.elevation_path.c_str());
  read_ascii_map(m.elevation_fp, m.elevation_path.c_str(), 1, m.grid_north, m.grid_south,
                 m.grid_east, m.grid_west, m.grid_rows, m.grid_cols, m.cell_number_grid,
                 &m.elevation, nullptr, nullptr, m.project_rows, m.project_cols, m.silent_mode);
  checked_file_close(m.elevation_fp);
  if (error_state.error_terminate) return;
  // A no-data value inside the mask (-9999, -3.4e38) would become a pit thousands of metres deep.
  if (!cells_in_range(m, m.elevation, "elevation", "map " + m.elevation_path, {lowest_elevation, highest_elevation, false, " m"}))
    return;

  const grid<int>& g = m.cell_number_grid;
  const bool inside = m.outlet_row >= 1 && m.outlet_row <= g.rows() && m.outlet_col >= 1 &&
                      m.outlet_col <= g.cols();
  m.outlet_cell = inside ? g(m.outlet_row, m.outlet_col) : 0;
  if (m.outlet_cell == 0 && !m.chan_explic_on) {
    stop_run("\nThe outlet row and column you specified in the project file are not\n"
             "inside the watershed mask.  Check the outlet row and column again, and\n"
             "make sure they are correctly specified in the project file using the\n"
             "OUTROW and OUTCOL project file cards.  PLUVO terminating.\n\n");
    return;
  }
  echo(m, m.silent_mode != 1, "outlet is in grid cell: %d\n", m.outlet_cell);
}

void set_elevation_range(model_state& m) {
  m.hmet_reference_elevation = m.hmet_elev_gage;
  double hi = -999999999999.9, lo = 999999999999.9;
  for (int k = 1; k <= m.cell_count && size_t(k) < m.elevation.size(); ++k) {
    if (m.elevation[k] > hi) hi = m.elevation[k];
    if (m.elevation[k] < lo) lo = m.elevation[k];
  }
  if (m.hmet_reference_elevation < 1e-16) m.hmet_reference_elevation = lo;
  if (m.hmet_reference_elevation > hi) hi = m.hmet_reference_elevation;
  if (lo > m.hmet_reference_elevation) lo = m.hmet_reference_elevation;
  m.watershed_max_elev = hi;
  m.watershed_min_elev = lo;
  m.elev_scale_step = 100.0;
  m.elev_scale_count = 4 - int((hi - lo) / -100.0);
}

void read_initial_snow_and_overland_state(model_state& m) {
  const int n = m.cell_count;
  if (m.init_swe_depth_kind != 0) {
    // Snow state exists only in continuous runs; silently dropping the map would lose the snow.
    if (!m.long_term_on) {
      stop_run("Error: INIT_SWE_DEPTH needs a continuous (LONG_TERM) simulation;\n"
               "an event simulation keeps no snow.  Remove the card or run LONG_TERM.\n");
      return;
    }
    if (m.init_swe_depth_kind == 1) {
      echo(m, true, "reading initial snow swe map from file: %s\n", m.init_swe_depth_file.c_str());
      read_ascii_map(m.swe_hotstart_fp, m.init_swe_depth_file.c_str(), 1, m.grid_north,
                     m.grid_south, m.grid_east, m.grid_west, m.grid_rows, m.grid_cols,
                     m.cell_number_grid, &m.snow_swe, nullptr, nullptr, m.project_rows,
                     m.project_cols, m.silent_mode);
      checked_file_close(m.swe_hotstart_fp);
      if (error_state.error_terminate) return;
      for (int k = 1; k <= n; ++k) m.snow_depth[k] = 10.0 * m.snow_swe[k];
    } else if (m.init_swe_depth_kind == 3) {
      for (int k = 1; k <= n; ++k) {
        m.snow_swe[k] = m.init_swe_depth;
        m.snow_depth[k] = 10.0 * m.init_swe_depth;
      }
    }
    m.snow_present = 1;
    // The run's books start with this snow, as they end with the snow left.
    double held = 0.0;
    for (int k = 1; k <= n; ++k) held += m.snow_swe[k];
    m.snow_volume_initial_run = held * m.cell_size * m.cell_size;
  }
  if (m.ov_init_depth_flag) {
    echo(m, true, "reading overland hotstart map from file: %s\n", m.ov_init_depth_file.c_str());
    read_ascii_map(m.ov_hotstart_fp, m.ov_init_depth_file.c_str(), 1, m.grid_north, m.grid_south,
                   m.grid_east, m.grid_west, m.grid_rows, m.grid_cols, m.cell_number_grid,
                   &m.ov_depth, nullptr, nullptr, m.project_rows, m.project_cols, m.silent_mode);
    if (error_state.error_terminate) return;
    m.ov_depth_2 = m.ov_depth;
    m.ov_depth_3 = m.ov_depth;
    m.ov_init_depth_on = 1;  // the event balance counts the water the run starts with
  }
  if (m.init_elev_head_flag) {
    m.init_elev_head_on = 1;
    for (int k = 1; k <= n; ++k)
      if (m.elevation[k] < m.init_elev_head) m.ov_depth[k] = m.init_elev_head - m.elevation[k];
    m.ov_depth_2 = m.ov_depth;
    m.ov_depth_3 = m.ov_depth;
  }
  if (m.long_term_on) {
    for (int k = 1; k <= n; ++k) {
      if (m.ov_depth[k] > 1e-16) m.ov_water_present = 1;
      if (size_t(k) < m.snow_swe.size() && m.snow_swe[k] > 1e-16) m.snow_present = 1;
    }
  }
}

void read_soil_moisture_hotstart(model_state& m) {
  if (!m.read_sm_hotstart_flag) return;
  echo(m, true, "reading soil moisture hotstart map from file: %s\n", m.read_sm_hotstart_file.c_str());
  if (m.surface_moisture.empty()) m.surface_moisture.assign(size_t(m.cell_count) + 1, 0.0);
  read_ascii_map(m.sm_hotstart_fp, m.read_sm_hotstart_file.c_str(), 1, m.grid_north, m.grid_south,
                 m.grid_east, m.grid_west, m.grid_rows, m.grid_cols, m.cell_number_grid,
                 &m.surface_moisture, nullptr, nullptr, m.project_rows, m.project_cols,
                 m.silent_mode);
  if (error_state.error_terminate) return;
  // Every active infiltration scheme starts from the hotstart moisture.
  for (int k = 1; k <= m.cell_count; ++k) {
    const double moisture = m.surface_moisture[k];
    if ((m.green_ampt_on || m.inf_redist_on) && size_t(k) < m.initial_moisture_cell.size())
      m.initial_moisture_cell[k] = moisture;
    if (m.inf_layered_soil_on && size_t(k) < m.THETA_ML.size()) m.THETA_ML[k][1] = moisture;
  }
}

}  // namespace pluvo
