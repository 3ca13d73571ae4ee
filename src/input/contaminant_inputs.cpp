// Contaminant set-up: the contaminant table or the uniform values, the soil layers that carry
// contaminants, and the per-constituent arrays of the water-quality block.
#include <cstdio>
#include <string>
#include <vector>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "input/ascii_map.hpp"
#include "input/constituents.hpp"
#include "input/grid_setup.hpp"
#include "input/input_phases.hpp"
#include "input/mapping_tables.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int tvx_soil_linked_count = 4;

// Element 0 of a row is not used, but it is not left undefined either.
void zero_row(double* row, int cells) {
  for (int i = 0; i <= cells; ++i) row[i] = 0.0;
}

// Owned zeroed rows until the table has target rows.
void grow_rows_to(checked_array_2d<double>& a, int target, int cells) {
  const int32_t old = a.row_count;
  if (target <= old) return;
  checked_array_2d_grow_rows(a, target - old, cells);
  for (int32_t r = old + 1; r <= a.row_count; ++r) zero_row(a.rows[r], cells);
}

// Appends the given rows as they are (not copies); a null one gets a zeroed row of its own.
void append_shared_rows(checked_array_2d<double>& a, double* const* given, int count, int cells) {
  for (int k = 0; k < count; ++k) {
    if (!given || !given[k]) {
      grow_rows_to(a, a.row_count + 1, cells);
      continue;
    }
    double* one[2] = {nullptr, given[k]};
    checked_array_2d_append_rows(a, 1, one, cells);
  }
}

void grow_values_to(checked_array<double>& a, int target, double value) {
  if (target > a.count) checked_array_grow_fill(a, target - a.count, value);
}

void grow_planes_to(checked_array_3d& a, int target, int cells, int layers) {
  if (target > a.plane_count) checked_array_3d_grow_fill(a, target - a.plane_count, 0.0, cells, layers);
}

void allocate_first_call_arrays(model_state& m, int cells) {
  if (!m.ov_infil_volume.empty()) return;
  m.ov_infil_volume.assign(size_t(cells) + 1, 0.0);
  m.ov_depth_prev.assign(size_t(cells) + 1, 0.0);
  if (m.soil_con_trans_on) grow_values_to(m.soil_layer_thickness, m.soil_contam_layers, 0.0);
  if (m.contam_map_on) m.contam_map.assign(size_t(cells) + 1, 0.0);
}

// Every one-value-per-constituent array; constituent_type is filled by the caller.
void grow_per_constituent_values(model_state& m, int target) {
#define PLUVO_GROW_VALUES(member) \
  if (&m.member != &m.constituent_type) grow_values_to(m.member, target, 0.0);
  PLUVO_NAMED_MASS_ARRAYS(PLUVO_GROW_VALUES)
#undef PLUVO_GROW_VALUES
  m.constituent_output_name.resize(size_t(target) + 1);
  m.constituent_map_output_on.resize(size_t(target) + 1, 0);
}

void grow_all_tables(model_state& m, int target, int cells) {
#define PLUVO_GROW_TABLE(member) grow_rows_to(m.member, target, cells);
  PLUVO_CONSTITUENT_CELL_TABLES(PLUVO_GROW_TABLE)
#undef PLUVO_GROW_TABLE
}

void set_types(model_state& m, int first, int last, double type) {
  grow_values_to(m.constituent_type, last, 0.0);  // constituents counted earlier keep type 0
  for (int c = first; c <= last; ++c) m.constituent_type[c] = type;
}

void append_nutrient_constituents(model_state& m, int n, int cells, int first, const tvx_shared_rows* shared) {
  const tvx_shared_rows none;
  const tvx_shared_rows& s = shared ? *shared : none;
  set_types(m, first, first + tvx_water_count - 1, 2.0);
  if (n > tvx_water_count) set_types(m, first + tvx_water_count, first + n - 1, 3.0);
  m.first_type2_constituent = first;
  const struct {
    checked_array_2d<double>* table;
    double* const* rows;
  } shared_tables[] = {{&m.ov_conc, s.ov_conc}, {&m.ov_mass, s.ov_mass}, {&m.ov_source_conc, s.ov_source_conc}};
  for (const auto& t : shared_tables) {
    grow_rows_to(*t.table, first - 1, cells);
    append_shared_rows(*t.table, t.rows, tvx_water_count, cells);
  }
  grow_all_tables(m, first + n - 1, cells);  // the soil-linked rows and every other table
  if (!m.soil_con_trans_on) return;
  const int layers = m.soil_contam_layers;
  grow_planes_to(m.soil_mass, first - 1, cells, layers);
  for (int k = 0; k < n; ++k) {
    double** plane = k < 13 ? s.soil_pools[k] : nullptr;
    if (!plane) {
      grow_planes_to(m.soil_mass, m.soil_mass.plane_count + 1, cells, layers);
      continue;
    }
    double** one[2] = {nullptr, plane};
    checked_array_3d_append_planes(m.soil_mass, 1, one, cells, layers);
  }
  grow_planes_to(m.soil_conc, first + n - 1, cells, layers);
  grow_planes_to(m.soil_frac_dissolved, first + n - 1, cells, layers);
}

void append_contaminants(model_state& m, int n, int cells, int first) {
  set_types(m, first, first + n - 1, 1.0);
  grow_all_tables(m, first + n - 1, cells);
  if (!m.soil_con_trans_on) return;
  for (checked_array_3d* a : {&m.soil_mass, &m.soil_conc, &m.soil_frac_dissolved})
    grow_planes_to(*a, first + n - 1, cells, m.soil_contam_layers);
}

}  // namespace

void allocate_constituent_arrays(model_state& m, int n, int cell_count, int tvx, const tvx_shared_rows* shared) {
  if (tvx) n = m.soil_con_trans_on && m.nutrients_on ? tvx_water_count + tvx_soil_linked_count : tvx_water_count;
  if (n < 0) n = 0;
  allocate_first_call_arrays(m, cell_count);
  // Constituents already counted (sediment classes carried as constituents) get their rows
  // too, so that every constituent 1..num_constituents can be addressed.
  const int first = m.num_constituents + 1;
  const int target = m.num_constituents + n;
  grow_per_constituent_values(m, target);
  if (tvx) {
    append_nutrient_constituents(m, n, cell_count, first, shared);
    m.num_tvx_constituents = n;
  } else {
    append_contaminants(m, n, cell_count, first);
    m.num_contaminants = n;
  }
  m.num_constituents = target;
}

int soil_contaminant_layers(model_state& m) {
  if (m.green_ampt_on || m.inf_redist_on) {
    if (m.top_layer_depth_cm < 1e-16) m.top_layer_depth_cm = m.soil_moist_depth_cm;
    if (m.mixing_layer_depth_cm < 1e-16) m.mixing_layer_depth_cm = m.top_layer_depth_cm;
  }
  int layers = m.soil_contam_layers;
  if (m.inf_redist_on) {
    layers = 1;
    if (m.soil_moist_depth_cm - m.top_layer_depth_cm > 1e-16) layers = 2;
    if (m.top_layer_depth_cm - m.mixing_layer_depth_cm > 1e-16) layers += 1;
  } else if (m.green_ampt_on) {
    layers = 1;
  } else if (m.inf_layered_soil_on) {
    layers = m.mixing_layer_depth_cm > 1e-16 ? 3 : 2;
  }
  return layers;
}

namespace {

bool contaminant_table_present(const model_state& m) {
  return m.mapping_table_on && m.grid_table_presence[presence_slot(map_table::contaminants)] != 0;
}

// The table's columns, in order, and where they go; the eighth column has no array of its own.
void read_table_into_constituents(model_state& m, int first) {
  const int cells = m.cell_count;
  std::vector<std::vector<double>> columns[8];
  std::vector<double> precip, ov_partition, chan_partition;
  contaminant_tables c;
  for (int k = 0; k < 8; ++k) c.per_cell[size_t(k)] = &columns[k];
  c.precip_conc = &precip;
  c.ov_partition_coef = &ov_partition;
  c.chan_partition_coef = &chan_partition;
  c.cell_count = cells;
  read_contaminant_table(map_table_target_of(m), m.mapping_table_path, c);
  if (error_state.error_terminate) return;
  allocate_constituent_arrays(m, c.count, cells, 0);
  checked_array_2d<double>* targets[7] = {&m.ov_conc,       &m.ov_source_conc, &m.ov_disp_cell, &m.ov_decay_rate,
                                          &m.ov_uptake_coef, &m.ov_land_load,   &m.soil_kd};
  for (int k = 0; k < c.count; ++k) {
    const int row = first + k;
    for (int col = 0; col < 7; ++col) {
      double* out = checked_array_2d_row(*targets[col], row);
      const std::vector<double>& in = columns[col][size_t(k)];
      for (int i = 1; out && i <= cells && size_t(i) < in.size(); ++i) out[i] = in[size_t(i)];
    }
    if (size_t(k) < precip.size()) m.precip_conc[row] = precip[size_t(k)];
    if (size_t(k) < ov_partition.size()) m.ov_partition_coef[row] = ov_partition[size_t(k)];
    if (size_t(k) < chan_partition.size()) m.chan_partition_coef[row] = chan_partition[size_t(k)];
    if (size_t(k) < c.output_file_names.size()) {
      m.constituent_output_name[size_t(row)] = c.output_file_names[size_t(k)];
      m.constituent_map_output_on[size_t(row)] = c.output_file_names[size_t(k)].empty() ? 0 : 1;
    }
  }
}

void fill_uniform_values(model_state& m, int first, int last) {
  const struct {
    checked_array_2d<double>* table;
    double value;
  } uniform[] = {{&m.ov_disp_cell, m.ov_disp_coef_value},
                 {&m.ov_decay_rate, m.ov_decay_coef_value},
                 {&m.ov_uptake_coef, m.ov_uptake_rate_value},
                 {&m.ov_land_load, m.ov_mass_load_value}};
  for (const auto& u : uniform)
    for (int j = first; j <= last; ++j) {
      double* row = checked_array_2d_row(*u.table, j);
      for (int i = 1; row && i <= m.cell_count; ++i) row[i] = u.value;
    }
}

void read_contaminant_load_map(model_state& m, int first_contaminant) {
  if (m.silent_mode != 1) message_out("reading contamimant load map from file: %s\n", m.contam_map_path.c_str());
  if (m.summary_fp.stream)
    std::fprintf(m.summary_fp.stream, "reading contaminant load map from file: %s\n", m.contam_map_path.c_str());
  if (m.contam_map.size() < size_t(m.cell_count) + 1) m.contam_map.assign(size_t(m.cell_count) + 1, 0.0);
  read_ascii_map(m.contam_map_fp, m.contam_map_path.c_str(), 1, m.grid_north, m.grid_south, m.grid_east,
                 m.grid_west, m.grid_rows, m.grid_cols, m.cell_number_grid, &m.contam_map, nullptr, nullptr,
                 m.project_rows, m.project_cols, m.silent_mode);
  checked_file_close(m.contam_map_fp);
  if (error_state.error_terminate) return;
  double* load = checked_array_2d_row(m.ov_land_load, first_contaminant);
  for (int i = 1; load && i <= m.cell_count; ++i) load[i] = m.contam_map[size_t(i)];
}

}  // namespace

void read_contaminant_inputs(model_state& m) {
  if (!m.ov_con_trans_on) return;
  const int first = m.num_constituents + 1;  // the first contaminant, after any sediment classes
  if (!contaminant_table_present(m) && !m.soil_erosion_on) {
    echo(m, m.silent_mode != 1, "using uniform contaminant transport values\n");
    if (m.num_contaminants < 0) {
      m.num_contaminants = 0;
      set_error(125);
      return;
    }
    // The uniform values fill one contaminant at least: without a table there is no other count.
    const int n = m.num_contaminants > 0 ? m.num_contaminants : 1;
    allocate_constituent_arrays(m, n, m.cell_count, 0);
    fill_uniform_values(m, first, first + n - 1);
  } else {
    m.soil_contam_layers = soil_contaminant_layers(m);
    if (m.THETA.empty()) m.THETA.assign(m.cell_count, m.soil_contam_layers);  // Richards columns keep theirs
    if (m.THETAS.empty()) m.THETAS.assign(m.cell_count, m.soil_contam_layers);
    if (m.ov_con_table_on && contaminant_table_present(m)) {
      m.contam_table_on = 1;
      echo(m, m.silent_mode != 1, "reading contaminant transport table and map from master table file\n");
      read_table_into_constituents(m, first);
      if (error_state.error_terminate) return;
    } else {
      allocate_constituent_arrays(m, m.num_contaminants, m.cell_count, 0);
    }
  }
  if (m.contam_map_on) {
    read_contaminant_load_map(m, first);
    if (error_state.error_terminate) return;
  }
  if (m.sediment_contam_on) {
    const int classes = m.ov_sed ? m.ov_sed->num_sed_classes : 0;
    const size_t size = (size_t(m.cell_count) + 1) * (size_t(classes) + 1);
    for (std::vector<double>* v : {&m.ov_sed_vol_qsx, &m.ov_sed_vol_qsy, &m.ov_sed_vol_susp, &m.ov_vol_sed_susp})
      v->assign(size, 0.0);
  }
}

}  // namespace pluvo
