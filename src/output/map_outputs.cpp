// The gridded outputs of a run: the dataset files opened at set-up and the maps of every map
// output time, as numbered ASCII grids (MAP_TYPE 0) or as dataset step records.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/parallel_team.hpp"
#include "common/process.hpp"
#include "output/map_outputs.hpp"
#include "output/map_series.hpp"
#include "output/output_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// The dataset kinds: NAME text and object id by kind.
struct dataset_kind {
  const char* name;
  int object_id;
};
constexpr dataset_kind dataset_kinds[] = {
    {"depth", 1010},           {"discharge", 1011},        {"rain", 1012},
    {"infiltrated_depth", 1013}, {"infiltration_rate", 1014}, {"surface_moisture", 1015},
    {"groundwater_head", 1016}, {"sediment_flux", 1017},    {"sediment_volume", 1018},
    {"suspended_sediment_conc", 1019}, {"contaminant_conc", 1020}, {"flood_grid", 1021},
    {"gw_recharge_cum", 1022}, {"gw_recharge_inc", 1023},  {"snow_water_equivalent", 1024},
};

// Per kind: whether it is on, the path its card gives and its file record.
struct dataset_slot {
  bool on;
  const std::string* path;
  checked_file* file;
};

dataset_slot dataset_of(model_state& m, int kind) {
  const bool erosion = m.soil_erosion_on && m.ov_sed;
  switch (kind) {
    case 0: return {m.map_out_depth != 0, &m.depth_file, &m.depth_dataset_fp};
    case 1: return {m.map_out_discharge != 0, &m.discharge_file, &m.discharge_dataset_fp};
    case 2: return {m.map_out_dis_rain != 0, &m.dis_rain_file, &m.dis_rain_dataset_fp};
    case 3: return {m.map_out_inf_depth != 0, &m.inf_depth_file, &m.inf_depth_dataset_fp};
    case 4: return {m.map_out_rate_of_infil != 0, &m.rate_of_infil_file, &m.rate_of_infil_dataset_fp};
    case 5: return {m.map_out_surf_moist != 0, &m.surf_moist_file, &m.surf_moist_dataset_fp};
    case 6: return {m.gw_output_on != 0, &m.gw_output_file, &m.gw_head_dataset_fp};
    case 7: return {erosion && m.ov_sed->max_sed_flux_on, &m.max_sed_flux_file, &m.max_sed_flux_fp};
    case 8: return {erosion && m.ov_sed->net_sed_volume_on, &m.net_sed_volume_file, &m.net_sed_depth_dataset_fp};
    case 9: return {erosion && m.ov_sed->vol_sed_susp_on, &m.vol_sed_susp_file, &m.vol_sed_susp_fp};
    case 10: return {m.ov_con_trans_on && m.map_out_ov_con, &m.ov_con_map_file, &m.ov_con_dataset_fp};
    case 11: return {m.flood_grid_on != 0, &m.flood_grid_file, &m.max_depth_map_fp};
    case 12: return {m.map_out_gw_recharge_cum != 0, &m.gw_recharge_cum_file, &m.gw_recharge_cum_dataset_fp};
    case 13: return {m.map_out_gw_recharge_inc != 0, &m.gw_recharge_inc_file, &m.gw_recharge_inc_dataset_fp};
    default: return {m.snow_swe_file_flag != 0, &m.snow_swe_file, &m.swe_dataset_fp};
  }
}

void open_dataset_output(int kind, model_state& m) {
  const dataset_slot d = dataset_of(m, kind);
  if (!d.on) return;
  // The sediment reader has already opened some of these under the same name; the dataset
  // starts the file afresh rather than warn of a file left open.
  const bool dataset = m.map_output_type2 || !m.map_type_zero_on;
  if (dataset && d.file->is_open()) checked_file_close(*d.file);
  write_dataset_header(dataset_kinds[kind].object_id, *d.path, dataset_kinds[kind].name, *d.file, m);
}

// Per-cell values of a map: the array when it holds every cell, zeros while its process has
// not filled it.
struct cell_values {
  model_state& m;
  std::vector<double> zeros;
  const double* operator()(const std::vector<double>& v) {
    const size_t n = size_t(m.cell_count) + 1;
    if (v.size() >= n) return v.data();
    if (zeros.size() < n) zeros.assign(n, 0.0);
    return zeros.data();
  }
};

void fill_discharge_magnitude(model_state& m) {
  size_cell_array(m.ov_discharge_magnitude, m);
  if (m.ov_qx.size() <= size_t(m.cell_count) || m.ov_qy.size() <= size_t(m.cell_count)) return;
  double* out = m.ov_discharge_magnitude.data();
  const double* qx = m.ov_qx.data();
  const double* qy = m.ov_qy.data();
  parallel_for_cells(m.cell_count, [=](int i) { out[i] = std::sqrt(qx[i] * qx[i] + qy[i] * qy[i]); });
}

void fill_recharge_increment(model_state& m) {
  size_cell_array(m.gw_recharge_cum, m);
  size_cell_array(m.gw_recharge_cum_prev, m);
  size_cell_array(m.map_work, m);
  double* out = m.map_work.data();
  const double* cum = m.gw_recharge_cum.data();
  const double* prev = m.gw_recharge_cum_prev.data();
  parallel_for_cells(m.cell_count, [=](int i) { out[i] = cum[i] - prev[i]; });
}

// After the incremental recharge map is written the next one counts from here.
void keep_recharge(model_state& m) { m.gw_recharge_cum_prev = m.gw_recharge_cum; }

void fill_sediment_flux_sum(model_state& m) {
  size_cell_array(m.map_work, m);
  const ov_sed_record& s = *m.ov_sed;
  double* out = m.map_work.data();
  if (s.ov_qsmax.size() < s.cell_class(m.cell_count, s.num_sed_classes) + 1) {
    for (int i = 1; i <= m.cell_count; i++) out[i] = 0.0;
    return;
  }
  const int classes = s.num_sed_classes;
  parallel_for_cells(m.cell_count, [&s, out, classes](int i) {
    double sum = 0.0;
    for (int k = 1; k <= classes; k++) sum += s.ov_qsmax[s.cell_class(i, k)] * 1000000.0;
    out[i] = sum;
  });
}

// The cell's own books at the output time: what settled on it less what was torn from it
// (erosion is held negative), over every class; as a depth in mm over the cell.
void fill_net_sediment_volume(model_state& m) {
  size_cell_array(m.map_work, m);
  ov_sed_record& s = *m.ov_sed;
  size_cell_array(s.ov_net_sed, m);
  const int classes = s.num_sed_classes;
  if (s.vol_sed.size() < s.cell_class_layer(m.cell_count, classes, ov_sed_record::layers - 1) + 1) return;
  double* net = s.ov_net_sed.data();
  double* out = m.map_work.data();
  const double area = m.cell_size * m.cell_size;
  parallel_for_cells(m.cell_count, [&s, net, out, classes, area](int i) {
    double v = 0.0;
    for (int k = 1; k <= classes; k++) v += s.vol_sed[s.cell_class_layer(i, k, 1)] + s.vol_sed[s.cell_class_layer(i, k, 3)];
    net[i] = v;
    out[i] = v * 1000.0 / area;
  });
}

// The suspended volume of every class together: slot 0 of the cell's entry.
void fill_suspended_sediment(model_state& m) {
  size_cell_array(m.map_work, m);
  const ov_sed_record& s = *m.ov_sed;
  double* out = m.map_work.data();
  const bool filled = s.ov_qsconc.size() >= s.cell_class(m.cell_count, s.num_sed_classes) + 1;
  for (int i = 1; i <= m.cell_count; i++) out[i] = filled ? s.ov_qsconc[s.cell_class(i, 0)] : 0.0;
}

void build_depth_map(model_state& m) {
  size_cell_array(m.depth_map, m);
  size_cell_array(m.ov_depth, m);
  build_depth_map_parallel(m.nlakes, m.lake_search, m.elevation, m.cell_number_grid, m.lake_elev, m.lake_cells,
                           m.cell_count, m.ov_depth, m.depth_map, m.lakes_on);
}

// One numbered grid: directory, base name, ".%04d.asc".
bool write_numbered_map(model_state& m, const std::string& directory, const char* base, const double* values,
                        const char* failure) {
  char number[16];
  std::snprintf(number, sizeof number, "%04d.asc", m.map_index);
  const std::string path = directory_prefix(directory) + base + "." + number;
  std::printf("opening file %s\n", path.c_str());
  checked_file f;
  if (!checked_file_open(f, path.c_str(), 'w')) {
    std::printf(failure, path.c_str());
    set_error(4000);
    report_error(error_state);
    return false;
  }
  write_ascii_grid_header(f.stream, m.cell_number_grid, m.grid_north, m.grid_south, m.grid_east, m.grid_west,
                          m.grid_rows, m.grid_cols, values, m.cell_size);
  checked_file_close(f);
  return true;
}

bool ends_in_separator(const std::string& s) { return !s.empty() && (s.back() == '/' || s.back() == '\\'); }

// MAP_TYPE 0: every switched-on map as a numbered grid; false when one could not be opened.
bool write_numbered_maps(model_state& m, cell_values& cells) {
  m.map_index++;
  const bool erosion = m.soil_erosion_on && m.ov_sed;
  if (m.map_out_depth) {
    build_depth_map(m);
    if (!write_numbered_map(m, m.depth_file, "depth", m.depth_map.data(), "Can't open depth map for writing: %s\n"))
      return false;
  }
  if (m.snow_swe_file_flag &&
      !write_numbered_map(m, m.snow_swe_file, "swe", cells(m.snow_swe),
                          "Can't open snow water equivalent map for writing: %s\n"))
    return false;
  if (m.snow_sd_file_flag && !write_numbered_map(m, m.snow_sd_file, "sd", cells(m.snow_depth),
                                                 "Can't open snow depth map for writing: %s\n"))
    return false;
  if (m.map_out_discharge) {
    fill_discharge_magnitude(m);
    if (!write_numbered_map(m, m.discharge_file, "discharge", m.ov_discharge_magnitude.data(),
                            "Can't open discharge map for writing: %s\n"))
      return false;
  }
  if (m.map_out_dis_rain && !write_numbered_map(m, m.dis_rain_file, "rain", cells(m.cell_rain_rate),
                                                "Can't open rainfall map for writing: %s\n"))
    return false;
  if (m.map_out_inf_depth && !write_numbered_map(m, m.inf_depth_file, "infdep", cells(m.cum_infil_depth),
                                                 "Can't open Cum. infilt. depth map for writing: %s\n"))
    return false;
  if (m.map_out_rate_of_infil && !write_numbered_map(m, m.rate_of_infil_file, "infrate", cells(m.infil_rate),
                                                     "Can't open infiltration rate map for writing: %s\n"))
    return false;
  if (m.map_out_surf_moist &&
      !write_numbered_map(m, m.surf_moist_file, ends_in_separator(m.surf_moist_file) ? "surf" : "smoist",
                          cells(m.surface_moisture), "Can't open surface moisture content map for writing: %s\n"))
    return false;
  if (erosion && m.ov_sed->max_sed_flux_on) {
    fill_sediment_flux_sum(m);
    if (!write_numbered_map(m, m.max_sed_flux_file, "max_sed_flux", m.map_work.data(),
                            "Can't open sediment flux map for writing: %s\n"))
      return false;
  }
  if (m.gw_output_on && !write_numbered_map(m, m.gw_output_file, "gw_head", cells(m.elevgw),
                                            "Can't open groundwater head map for writing: %s\n"))
    return false;
  if (m.map_out_gw_recharge_cum && !write_numbered_map(m, m.gw_recharge_cum_file, "gwrechargecum",
                                                       cells(m.gw_recharge_cum),
                                                       "Can't open cum gw recharge map for writing: %s\n"))
    return false;
  if (m.map_out_gw_recharge_inc) {
    fill_recharge_increment(m);
    if (!write_numbered_map(m, m.gw_recharge_inc_file, "gwrechargeinc", m.map_work.data(),
                            "Can't open incremental groundwater recharge map for writing: %s\n"))
      return false;
    keep_recharge(m);
  }
  if (erosion && m.ov_sed->net_sed_volume_on) {
    fill_net_sediment_volume(m);
    if (!write_numbered_map(m, m.net_sed_volume_file, "net_sed_volume", m.map_work.data(),
                            "Can't open net sediment volume map for writing: %s\n"))
      return false;
  }
  return true;
}

// Otherwise one step record into each switched-on dataset (a file not open is passed over).
void write_dataset_steps(model_state& m, cell_values& cells) {
  const bool binary = m.map_output_type2 != 0;
  const auto step = [&](checked_file& f, const double* values) {
    if (f.is_open())
      write_map_step_record(f.stream, m.elapsed_min, m.grid_rows, m.grid_cols, m.cell_number_grid, values, binary);
  };
  if (m.map_out_depth) {
    build_depth_map(m);
    step(m.depth_dataset_fp, m.depth_map.data());
  }
  if (m.long_term_on) {
    if (m.snow_swe_file_flag) step(m.swe_dataset_fp, cells(m.snow_swe));
    if (m.snow_sd_file_flag) step(m.snow_depth_dataset_fp, cells(m.snow_depth));
  }
  if (m.map_out_discharge) {
    fill_discharge_magnitude(m);
    step(m.discharge_dataset_fp, m.ov_discharge_magnitude.data());
  }
  if (m.gw_output_on) step(m.gw_head_dataset_fp, cells(m.elevgw));
  if (m.map_out_dis_rain) step(m.dis_rain_dataset_fp, cells(m.cell_rain_rate));
  if (m.map_out_gw_recharge_cum) step(m.gw_recharge_cum_dataset_fp, cells(m.gw_recharge_cum));
  if (m.map_out_gw_recharge_inc) {
    fill_recharge_increment(m);
    step(m.gw_recharge_inc_dataset_fp, m.map_work.data());
    keep_recharge(m);
  }
  if (m.map_out_inf_depth) step(m.inf_depth_dataset_fp, cells(m.cum_infil_depth));
  if (m.map_out_rate_of_infil) step(m.rate_of_infil_dataset_fp, cells(m.infil_rate));
  if (m.map_out_surf_moist) step(m.surf_moist_dataset_fp, cells(m.surface_moisture));
  if (m.soil_erosion_on && m.ov_sed) {
    ov_sed_record& s = *m.ov_sed;
    if (s.max_sed_flux_on) {
      fill_sediment_flux_sum(m);
      step(m.max_sed_flux_fp, m.map_work.data());
    }
    if (s.net_sed_volume_on) {
      fill_net_sediment_volume(m);
      step(m.net_sed_depth_dataset_fp, m.map_work.data());
    }
    if (s.vol_sed_susp_on) {
      fill_suspended_sediment(m);
      step(m.vol_sed_susp_fp, m.map_work.data());
    }
  }
}

}  // namespace

void build_depth_map_parallel(int lake_count, const std::vector<std::vector<grid_position>>& lake_cell_lists,
                              const std::vector<double>& elevation, const grid<int32_t>& cell_numbers,
                              const std::vector<double>& lake_stage, const std::vector<int32_t>& lake_cell_count,
                              int cell_count, const std::vector<double>& ov_depth, std::vector<double>& depth_map,
                              int lakes_on) {
  double* out = depth_map.data();
  const double* depth = ov_depth.data();
  parallel_for_cells(cell_count, [=](int i) { out[i] = depth[i]; });
  if (!lakes_on || lake_count <= 0) return;
  // Lakes hold disjoint cells, so each writes only its own.
  parallel_for_cells(lake_count, [&, out](int l) {
    if (size_t(l) >= lake_cell_lists.size() || size_t(l) >= lake_cell_count.size()) return;
    const std::vector<grid_position>& cells = lake_cell_lists[size_t(l)];
    const int n = lake_cell_count[size_t(l)];
    for (int k = 1; k <= n && size_t(k) < cells.size(); k++) {
      const int cell = cell_numbers(cells[size_t(k)].row, cells[size_t(k)].col);
      if (cell >= 1 && cell <= cell_count) out[cell] = lake_stage[size_t(l)] - elevation[size_t(cell)];
    }
  });
}

void open_dataset_outputs(model_state& m) {
  for (int kind : {0, 1, 2, 12, 13, 3, 4, 5, 6}) {
    open_dataset_output(kind, m);
    if (error_state.error_code) return;
  }
  const int later[] = {7, 8, 9, 10, 11, 14};
  for (int kind : later) {
    open_dataset_output(kind, m);
    if (error_state.error_code) return;
  }
  if (m.snow_temp_flag) {
    size_cell_array(m.snow_temperature, m);
    place_map_on_grid(m.snow_temp_writer, m.snow_temperature.data(), m);
    map_series_writer_open(m.snow_temp_writer, map_series_output_type(m), m.snow_temp_file, "", "", 1060,
                           "Snow_Temperature", m);
    if (error_state.error_code) return;
  }
  if (m.nutrients_on) open_tvx_overland_outputs(m);
}

void write_dataset_ends(model_state& m) {
  if (!m.chan_drain_on && m.map_output_on) {
    const bool binary = m.map_output_type2 != 0;
    for (int kind = 0; kind <= 13; kind++) {
      if (kind == 11) continue;  // the maximum-depth dataset is ended where it is written
      const dataset_slot d = dataset_of(m, kind);
      if (d.on && d.file->is_open()) write_dataset_end(d.file->stream, binary);
    }
    std::vector<map_series_writer*> writers = {&m.tvx_writers.total_ov_n, &m.tvx_writers.total_ov_p};
    for (int k = 0; k < 9; k++) {
      writers.push_back(&m.tvx_writers.ov_mass_maps[k]);
      writers.push_back(&m.tvx_writers.ov_conc_maps[k]);
    }
    for (int i = 1; i <= m.contam_map_writer_count && size_t(i) < m.contaminant_writers.size(); i++) {
      writers.push_back(&m.contaminant_writers[size_t(i)].conc);
      writers.push_back(&m.contaminant_writers[size_t(i)].mass);
    }
    for (map_series_writer* w : writers)
      if (w->file.is_open()) write_dataset_end(w->file.stream, w->output_type == 3);
  }
  if (m.snow_temp_flag && m.snow_temp_writer.file.is_open())
    write_dataset_end(m.snow_temp_writer.file.stream, m.snow_temp_writer.output_type == 3);
  if (m.snow_swe_file_flag && m.swe_dataset_fp.is_open())
    write_dataset_end(m.swe_dataset_fp.stream, m.map_output_type2 != 0);
  if (m.snow_sd_file_flag && m.snow_depth_dataset_fp.is_open())
    write_dataset_end(m.snow_depth_dataset_fp.stream, m.map_output_type2 != 0);
}

void write_map_outputs(model_state& m) {
  if (m.map_write_steps <= 0 || (m.step_count - 1) % m.map_write_steps != 0) return;
  if (row_decomposition.this_process != 0) return;
  cell_values cells{m, {}};
  if (m.map_type_zero_on) {
    if (!write_numbered_maps(m, cells)) return;
  } else if (m.map_output_on) {
    write_dataset_steps(m, cells);
  }
  if (m.nutrients_on) write_tvx_step_outputs(m);
  for (int i = 1; i <= m.contam_map_writer_count && size_t(i) < m.contaminant_writers.size(); i++) {
    contaminant_output_writers& w = m.contaminant_writers[size_t(i)];
    map_series_write_step(w.conc, m.elapsed_min);
    if (error_state.error_terminate) return;
    map_series_write_step(w.mass, m.elapsed_min);
    if (error_state.error_terminate) return;
  }
  if (m.snow_temp_flag) map_series_write_step(m.snow_temp_writer, m.elapsed_min);
}

}  // namespace pluvo
