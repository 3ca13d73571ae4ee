// The files a run writes once at its normal end, after the summary: the optimisation closing
// line, the maximum depths, the dataset end marks, the hotstarts and state maps, the VOK file.
#include <cstdio>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "output/linknode_series.hpp"
#include "output/map_outputs.hpp"
#include "output/map_series.hpp"
#include "output/record_values.hpp"
#include "output/report_lines.hpp"
#include "output/run_summary.hpp"
#include "output/series_files.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int lake_bit = 32;
constexpr int structure_bit = 64;
constexpr int captured_bit = 128;

// Per-cell values for a map: the array when it holds every cell, else zeros (its process has
// not filled it).
const double* cells_of(const std::vector<double>& v, std::vector<double>& zeros, const model_state& m) {
  const size_t n = size_t(m.cell_count) + 1;
  if (v.size() >= n) return v.data();
  zeros.assign(n, 0.0);
  return zeros.data();
}

void write_optimisation_close(model_state& m) {
  if (!m.optimize_on || !m.optimize_output_fp.is_open()) return;
  double volume = 0.0;
  if (m.optimize_sed_on)
    volume = m.wash_out_total;
  else
    volume = run_discharge_volume(m) * (m.qout_cfs_on ? cubic_feet_per_cubic_metre : 1.0);
  std::fprintf(m.optimize_output_fp.stream, "%d %13lf", m.event_number + 1, volume);
  std::fflush(m.optimize_output_fp.stream);
  checked_file_close(m.optimize_output_fp);
}

void write_maximum_depth(model_state& m) {
  if (!m.flood_grid_on) return;
  std::vector<double> zeros;
  const double* values = cells_of(m.max_flood_depth, zeros, m);
  if (m.map_type_zero_on) {
    checked_file f;
    // A maximum-depth map is the one product of a long flood run: never lose it to a bad name.
    if (!checked_file_open(f, m.flood_grid_file.c_str(), 'w') && !checked_file_open(f, "maxdep_failsafe.asc", 'w'))
      return;
    write_ascii_grid_header(f.stream, m.cell_number_grid, m.grid_north, m.grid_south, m.grid_east, m.grid_west,
                            m.grid_rows, m.grid_cols, values, m.cell_size);
    checked_file_close(f);
    return;
  }
  if (!m.max_depth_map_fp.is_open()) return;
  const bool binary = m.map_output_type2 != 0;
  write_map_step_record(m.max_depth_map_fp.stream, m.elapsed_min, m.grid_rows, m.grid_cols, m.cell_number_grid,
                        values, binary);
  write_dataset_end(m.max_depth_map_fp.stream, binary);
}

void write_maximum_stream_depth(model_state& m) {
  if (!m.flood_stream_on || !m.flood_stream_fp.is_open() || m.nlinks < 1 || m.yp_max_flood.empty()) return;
  write_linknode_step(m.flood_stream_fp.stream, m.nlinks, m.nx.data(), printed_node_counts(m), m.ltype.data(), 0,
                      m.yp_max_flood.data(), m.bel.data(), m.chan_node_extent, 1, m.lake2link.data(),
                      m.lake_elev.empty() ? nullptr : m.lake_elev.data());
}

void write_channel_hotstart_files(model_state& m) {
  if (!m.write_chan_hotstart_on) return;
  write_channel_hotstart(m, m.chan_hotstart_depth_out.is_open() ? m.chan_hotstart_depth_out.stream : nullptr,
                         m.chan_hotstart_flow_out.is_open() ? m.chan_hotstart_flow_out.stream : nullptr);
  if (!m.chan_explic_on || !m.chan_hotstart_out_fp.is_open()) return;
  std::FILE* f = m.chan_hotstart_out_fp.stream;
  for (int l = 1; l <= m.nlinks; ++l) {
    if (entry(m.ltype, size_t(l)) & (lake_bit | structure_bit)) continue;
    for (int n = 1; n <= entry(m.nx, size_t(l)); ++n) {
      const size_t k = size_t(l) * size_t(m.chan_node_extent) + size_t(n);
      std::fprintf(f, "%4d %4d %8.3f %8.3f\n", n, l, entry(m.yp, k) - entry(m.bel, k), entry(m.qp, k));
    }
  }
}

// A per-cell map in GRASS form; false when the file cannot be opened.
bool write_cell_map(const std::string& path, const std::vector<double>& values, const model_state& m) {
  checked_file f;
  if (!checked_file_open(f, path.c_str(), 'w')) return false;
  std::vector<double> zeros;
  write_grass_header(f.stream, m.cell_number_grid, m.grid_north, m.grid_south, m.grid_east, m.grid_west,
                     m.grid_rows, m.grid_cols, cells_of(values, zeros, m));
  checked_file_close(f);
  return true;
}

// The state maps the end of the run must not lose: false after the message, code 4000 and its
// report.
bool write_state_map(const std::string& path, const std::vector<double>& values, const char* failure,
                     const model_state& m) {
  if (write_cell_map(path, values, m)) return true;
  std::printf(failure, path.c_str());
  set_error(4000);
  report_error(error_state);
  return false;
}

bool write_saturated_source_map(model_state& m) {
  if (!m.satsource_out_on || m.exfil_cells_present != 1) return true;
  checked_file& file = m.sat_source_map_fp;
  if (!checked_file_open(file, "satsource_file", 'w')) {
    std::printf("Can't open map for writing out sat. source info: %s\n", "satsource_file");
    set_error(4000);
    report_error(error_state);
    return false;
  }
  std::FILE* f = file.stream;
  write_grass_bounds(f, m.grid_north, m.grid_south, m.grid_east, m.grid_west, m.grid_rows, m.grid_cols);
  const grid<int32_t>& cells = m.cell_number_grid;
  for (int r = 1; r <= m.grid_rows; ++r) {
    for (int c = 1; c <= m.grid_cols; ++c) {
      const int cell = r <= cells.rows() && c <= cells.cols() ? cells(r, c) : 0;
      if (cell > 0)
        std::fprintf(f, "%d ", entry(m.yes_exfil, size_t(cell)));
      else
        std::fputs("0 ", f);
    }
    std::fputc('\n', f);
  }
  checked_file_close(file);
  return true;
}

// The outlet and point hydrographs are still open for writing: they are flushed and read
// through a second handle of their own.
bool open_for_reading(checked_file& writer, checked_file& reader) {
  if (!writer.is_open()) return false;
  std::fflush(writer.stream);
  return checked_file_open(reader, writer.path.c_str(), 'r');
}

void write_vok_file(model_state& m) {
  if (!m.vok_hydro_on) return;
  checked_file outlet, points;
  const bool with_points = m.hyd_location_on == 1;
  const bool opened = open_for_reading(m.outlet_hydrograph_fp, outlet) &&
                      (!with_points || open_for_reading(m.out_hydrograph_fp, points)) &&
                      checked_file_open(m.vok_hydrograph_out_fp, m.vok_hydro_path.c_str(), 'w');
  if (!opened) {
    std::printf("\n\nError: Unable to open files to write the VOK hydrograph file.\n Write aborted.\n");
    return;
  }
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  calendar_from_julian(m.start_julian, year, month, day, hour, minute, seconds);
  vok_sources in;
  in.outlet = outlet.stream;
  in.points = with_points ? points.stream : nullptr;
  in.point_count = with_points ? m.hydrograph_link_count : 0;
  // A list shorter than its count names its missing points 0 0 rather than be read past.
  const size_t listed = size_t(in.point_count < 0 ? 0 : in.point_count) + 1;
  in.point_links = m.hlink.size() >= listed ? m.hlink.data() : nullptr;
  in.point_nodes = m.hnode.size() >= listed ? m.hnode.data() : nullptr;
  in.start_date = long(year) * 10000 + long(month) * 100 + day;
  in.start_time = long(hour) * 100 + minute;
  in.hyd_write_steps = m.hyd_write_steps;
  in.line_count = m.hydrograph_line_count;
  write_vok_hydrograph_file(m.vok_hydrograph_out_fp.stream, in);
  checked_file_close(m.vok_hydrograph_out_fp);
}

// One line per size class: the class's suspended-sediment concentration at every node, links
// and nodes in order. Appended, so a series of runs builds one file.
void write_fractional_sediment_file(const model_state& m) {
  if (!m.soil_erosion_on || !m.chan_sed_transport_on || !m.fyssi_flag || !m.ov_sed) return;
  checked_file file;
  if (!checked_file_open(file, m.fyssi_file.c_str(), 'a')) {
    std::printf("Can't open fractional sediment file for writing: %s\n", m.fyssi_file.c_str());
    return;
  }
  const size_t stride = size_t(m.ov_sed->num_sed_classes) + 1;
  for (int k = 1; k <= m.ov_sed->num_sed_classes; ++k) {
    for (int l = 1; l <= m.nlinks; ++l)
      for (int n = 1; n <= entry(m.nx, size_t(l)); ++n) {
        const size_t key = size_t(l) * size_t(m.chan_node_extent) + size_t(n);
        std::fprintf(file.stream, "%6.2lf ", entry(m.chan_sed_conc, key * stride + size_t(k)));
      }
    std::fputc('\n', file.stream);
  }
  checked_file_close(file);
}

}  // namespace

void write_channel_hotstart(model_state& m, std::FILE* depth, std::FILE* flow) {
  // With channel lakes the file lists the network as read, a lake's nodes at its stage.
  const bool as_read = m.lakes_on && !m.og_nx1.empty() && !m.og_lytpe.empty();
  const int links = as_read ? m.og_nlinks : m.nlinks;
  for (int l = 1; l <= links; ++l) {
    const int type = as_read ? entry(m.og_lytpe, size_t(l)) : entry(m.ltype, size_t(l));
    if (type & structure_bit) continue;
    if (as_read && (type & lake_bit)) continue;
    const int nodes = as_read ? entry(m.og_nx1, size_t(l)) : entry(m.nx, size_t(l));
    const int lake = entry(m.lake2link, size_t(l));
    for (int n = 1; n <= nodes; ++n) {
      const size_t k = size_t(l) * size_t(m.chan_node_extent) + size_t(n);
      double surface = entry(m.yp, k), q = entry(m.qp, k);
      const bool taken = (entry(m.ltype, size_t(l)) & captured_bit) || n > entry(m.nx, size_t(l));
      if (as_read && taken && lake >= 1 && lake <= m.nlakes) {
        surface = entry(m.lake_elev, size_t(lake));
        q = 0.0;
      }
      // One node a line, as the hotstart reader takes it.
      if (depth) std::fprintf(depth, "%d %d %lf\n", n, l, surface);
      if (flow) std::fprintf(flow, "%d %d %lf\n", n, l, q);
    }
  }
}

void write_end_of_run_files(model_state& m) {
  write_optimisation_close(m);
  write_maximum_depth(m);
  write_maximum_stream_depth(m);
  write_dataset_ends(m);
  write_channel_hotstart_files(m);
  if (m.gw_simulation_on &&
      !write_state_map("hotstart_file", m.elevgw,
                       "Can't open gw hot start map for writing out hotstart info: %s\n", m))
    return;
  if (m.ov_sed && m.ov_sed->adjust_elev_on == 1 &&
      !write_state_map(m.ov_sed->adjust_elev_path, m.elevation,
                       "Can't open adjusted elevation map for writing: %s\n", m))
    return;
  if (!write_saturated_source_map(m)) return;
  write_vok_file(m);
  if (m.map_type != 4) close_aux_series_file();
  checked_file_close(m.ov_hotstart_fp);
  if (m.write_ov_hotstart_flag && !write_cell_map(m.write_ov_hotstart_file, m.ov_depth, m))
    std::printf("Can't open overland hotstart file for writing: %s\n", m.write_ov_hotstart_file.c_str());
  checked_file_close(m.sm_hotstart_fp);
  if (m.write_sm_hotstart_flag) write_cell_map(m.write_sm_hotstart_file, m.surface_moisture, m);
  write_fractional_sediment_file(m);
}

}  // namespace pluvo
