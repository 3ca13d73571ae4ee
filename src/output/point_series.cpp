// Point files of the time series: channel points, wells, the soil-moisture forms and the
// water-quality inflow line.
#include <cstdio>
#include <vector>

#include "common/checked_array.hpp"
#include "common/checked_file.hpp"
#include "input/run_parameters.hpp"
#include "output/series_files.hpp"
#include "output/record_values.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

size_t point_key(const model_state& m, int link, int node) {
  return size_t(link) * size_t(m.chan_node_extent) + size_t(node);
}

double cfs(const model_state& m) { return m.qout_cfs_on ? m.cfs_factor : 1.0; }

void write_hydrograph_points(const model_state& m) {
  std::FILE* f = open_stream(m.out_hydrograph_fp);
  if (m.hyd_location_on != 1 || !f) return;
  write_point_time_prefix(m, f, false);
  for (int i = 1; i <= m.hydrograph_link_count; ++i) {
    const size_t k = point_key(m, entry(m.hlink, size_t(i)), entry(m.hnode, size_t(i)));
    std::fprintf(f, "%16.8lf ", entry(m.qp, k) * cfs(m));
  }
  std::fputc('\n', f);
}

// The stream-aquifer exchange averaged over the interval; each point's average starts again
// once the line is written (after all points, so two points at one node show the same value).
void write_gw_flux_points(model_state& m) {
  std::FILE* f = open_stream(m.out_gw_flux_fp);
  if (m.gwflux_location_on != 1 || !f) return;
  write_point_time_prefix(m, f, false);
  const double steps = m.hyd_write_steps > 0 ? double(m.hyd_write_steps) : 1.0;
  for (int i = 1; i <= m.gw_flux_point_count; ++i) {
    const int link = entry(m.gwflink, size_t(i));
    const size_t k = point_key(m, link, entry(m.gwfnode, size_t(i)));
    std::fprintf(f, "%16.8lf ", entry(m.av_qriv, k) / steps * entry(m.link_dx, size_t(link)) * cfs(m));
  }
  std::fputc('\n', f);
  for (int i = 1; i <= m.gw_flux_point_count; ++i) {
    const size_t k = point_key(m, entry(m.gwflink, size_t(i)), entry(m.gwfnode, size_t(i)));
    if (k < m.av_qriv.size()) m.av_qriv[k] = 0.0;
  }
}

void write_depth_points(const model_state& m) {
  std::FILE* f = open_stream(m.out_dep_location_fp);
  if (m.dep_location_on != 1 || !f) return;
  write_point_time_prefix(m, f, false);
  for (int i = 1; i <= m.hydrograph_link_count; ++i)
    std::fprintf(f, "%12.6lf ",
                 entry(m.chan_depth, point_key(m, entry(m.hlink, size_t(i)), entry(m.hnode, size_t(i)))));
  std::fputc('\n', f);
}

double node_concentration(const model_state& m, int constituent, size_t key) {
  const double* row = checked_array_2d_row(m.chan_node_conc, constituent);
  return row && key <= size_t(m.chan_node_conc.row_length) ? row[key] : 0.0;
}

void write_concentration_points(const model_state& m) {
  std::FILE* f = open_stream(m.out_con_location_fp);
  if (m.con_location_on != 1 || !f) return;
  write_point_time_prefix(m, f, false);
  for (int i = 1; i <= m.hydrograph_link_count; ++i) {
    const size_t k = point_key(m, entry(m.hlink, size_t(i)), entry(m.hnode, size_t(i)));
    for (int c = 1; c <= m.num_constituents; ++c) std::fprintf(f, "%12.6lf ", node_concentration(m, c, k));
  }
  std::fputc('\n', f);
}

void write_mass_points(const model_state& m) {
  std::FILE* f = open_stream(m.out_mass_location_fp);
  if (m.mass_location_on != 1 || !f) return;
  write_point_time_prefix(m, f, false);
  for (int i = 1; i <= m.hydrograph_link_count; ++i) {
    const size_t k = point_key(m, entry(m.hlink, size_t(i)), entry(m.hnode, size_t(i)));
    for (int c = 1; c <= m.num_constituents; ++c) {
      std::fprintf(f, "%12.6lf ", matrix_entry(m.dissolved_chan_flux, c, k));
      if (m.sediment_contam_on) std::fprintf(f, "%12.6lf ", matrix_entry(m.attached_chan_flux, c, k));
    }
  }
  std::fputc('\n', f);
}

// The long-term soil-moisture pair of one cell: top-layer moisture, and the lower layer's (999.99
// when the top layer reaches below the column).
void write_soil_layer_pair(const model_state& m, std::FILE* f, int cell) {
  double top_depth = m.top_layer_depth_cm;
  if (m.inf_layered_soil_on) {
    const int soil = entry(m.soiltype, size_t(cell));
    if (soil >= 0 && size_t(soil) < layered_soil_table_size)
      top_depth = m.layered_soil_table[size_t(soil)].values[soil_col_thickness];
  }
  const double column = entry(m.sm_depth_cell, size_t(cell));
  const double top_water = entry(m.sm_water_top, size_t(cell));
  if (top_depth > column) {
    std::fprintf(f, "%12.6lf %12.6lf ", column > 0.0 ? top_water / column : 0.0, 999.99);
    return;
  }
  const double lower = column - top_depth;
  std::fprintf(f, "%12.6lf %12.6lf ", top_depth > 0.0 ? top_water / top_depth : 0.0,
               lower > 0.0 ? entry(m.sm_water_lower, size_t(cell)) / lower : 0.0);
}

}  // namespace

void write_point_time_prefix(const model_state& m, std::FILE* f, bool cell_file) {
  if (m.long_term_on)
    std::fprintf(f, cell_file ? "%16.8lf     " : "%16.8lf ", m.hydrograph_time);
  else
    std::fprintf(f, cell_file ? "%14.8lf     " : "%14.8lf ", m.elapsed_min);
}

double decimal_day_of_year(const model_state& m) {
  return m.day_of_year + m.cur_hour / 24.0 + m.cur_minute / 1440.0;
}

void write_q4_inflow_line(const model_state& m) {
  if (!m.q4_input_flag || !q4_inflow_file.is_open()) return;
  std::fprintf(q4_inflow_file.stream, "%-8.1lf %-7.1f\n", decimal_day_of_year(m), double(float(m.outlet_discharge)));
}

void write_channel_point_files(model_state& m) {
  write_hydrograph_points(m);
  write_gw_flux_points(m);
}

void write_channel_state_point_files(const model_state& m) {
  write_depth_points(m);
  write_concentration_points(m);
  write_mass_points(m);
}

void write_soil_moisture_file(const model_state& m) {
  std::FILE* f = open_stream(m.out_theta_location_fp);
  if (m.theta_out_on != 1 || !f) return;
  write_point_time_prefix(m, f, false);
  const size_t locations = m.theta_cells.size();
  for (size_t i = 0; i < locations; ++i) {
    const int cell = m.theta_cells[i];
    if (m.inf_richards_on) {
      for (int node : entry(m.theta_soil_nodes, i))
        std::fprintf(f, "%12.6lf ", matrix_entry(m.THETA, cell, size_t(node)));
    } else if (m.soil_moisture_accounting_on && m.long_term_on) {
      write_soil_layer_pair(m, f, cell);
    } else {
      std::fprintf(f, "%12.6lf ", entry(m.surface_moisture, size_t(cell)));
    }
  }
  std::fputc('\n', f);
}

void write_well_file(const model_state& m) {
  std::FILE* f = open_stream(m.well_level_fp);
  if (!m.gw_well_level_on || !f) return;
  write_point_time_prefix(m, f, false);
  const grid<int32_t>& cells = m.cell_number_grid;
  for (int w = 1; w <= m.gw_well_level_count; ++w) {
    const int r = entry(m.well_row, size_t(w)), c = entry(m.well_column, size_t(w));
    const int cell = r >= 1 && c >= 1 && r <= cells.rows() && c <= cells.cols() ? cells(r, c) : 0;
    std::fprintf(f, "%12.6lf ", entry(m.elevgw, size_t(cell)));
  }
  std::fputc('\n', f);
}

void close_aux_series_file() { checked_file_close_void(q4_inflow_file); }

}  // namespace pluvo
