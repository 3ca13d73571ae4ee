// Interception, retention and roughness of the overland surface.
#include <cstdio>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "input/ascii_map.hpp"
#include "input/grid_setup.hpp"
#include "input/mapping_tables.hpp"
#include "input/property_readers.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

void read_real_map(model_state& m, checked_file& f, const std::string& name, std::vector<double>& out) {
  read_ascii_map(f, name.c_str(), 1, m.grid_north, m.grid_south, m.grid_east, m.grid_west,
                 m.grid_rows, m.grid_cols, m.cell_number_grid, &out, nullptr, nullptr,
                 m.project_rows, m.project_cols, m.silent_mode);
  checked_file_close(f);
}

// Columns of one mapping table spread onto the given per-cell arrays.
void read_table(model_state& m, int id, const table_outputs& outputs) {
  read_index_map_table(map_table_target_of(m), m.mapping_table_path, id, outputs);
}

void fill(std::vector<double>& v, int n, double value) {
  for (int k = 1; k <= n && size_t(k) < v.size(); ++k) v[k] = value;
}

}  // namespace

void read_interception_maps(model_state& m) {
  if (m.interception_on != 1) return;
  const bool silent = m.silent_mode == 1;
  if (table_present(m, map_table::interception)) {
    read_table(m, map_table::interception, {&m.icep_stor, &m.icep_coef});
    if (error_state.error_terminate) return;
  }
  const bool storage_file = m.interception_storage_fp.is_open(), coeff_file = m.interception_coeff_fp.is_open();
  if (m.interception_storage_fp.is_open()) {
    echo(m, true, "reading interception storage from file: %s\n", m.storage_capacity_path.c_str());
    read_real_map(m, m.interception_storage_fp, m.storage_capacity_path, m.icep_stor);
    if (error_state.error_terminate) return;
  } else {
    echo(m, !silent, "reading interception storage table and map from master table file\n");
  }
  if (m.interception_coeff_fp.is_open()) {
    echo(m, true, "reading interception coeff. from file: %s\n", m.interception_coeff_path.c_str());
    read_real_map(m, m.interception_coeff_fp, m.interception_coeff_path, m.icep_coef);
    if (error_state.error_terminate) return;
  } else {
    echo(m, !silent, "reading interception coeff. table and map from the master table file\n");
  }
  if (cells_in_range(m, m.icep_stor, "interception storage", property_source(storage_file, m.storage_capacity_path, m),
                     {0.0, 1e4, false, " mm"}))
    cells_in_range(m, m.icep_coef, "interception coefficient",
                   property_source(coeff_file, m.interception_coeff_path, m), {0.0, 1.0, false, ""});
}

void read_overland_lake_map(model_state& m) {
  if (m.overland_lakes_on != 1) return;
  echo(m, true, "reading overland lake map from file: %s\n", m.overland_lake_map_path.c_str());
  read_ascii_map(m.overland_lake_map_fp, m.overland_lake_map_path.c_str(), 4, m.grid_north,
                 m.grid_south, m.grid_east, m.grid_west, m.grid_rows, m.grid_cols, m.cell_number_grid,
                 nullptr, nullptr, &m.oland_lake_mask, m.project_rows, m.project_cols, m.silent_mode);
  checked_file_close(m.overland_lake_map_fp);
  if (error_state.error_terminate) return;
  m.oland_lake_new = m.oland_lake_mask;
  int count = 0;
  for (int k = 1; k <= m.cell_count; ++k)
    if (m.oland_lake_mask[k] > count) count = m.oland_lake_mask[k];
  m.overland_lake_count = count;
  m.overland_lake_records.assign(size_t(count) + 1, overland_lake_record());
}

void sum_overland_lake_volumes(model_state& m) {
  if (m.overland_lakes_on != 1) return;
  auto& lakes = m.overland_lake_records;
  for (int j = 1; j <= m.overland_lake_count; ++j) {
    lakes[j].lake_cell_count = 0;
    lakes[j].volume = 0.0;
  }
  const double area = m.cell_size * m.cell_size;
  for (int k = 1; k <= m.cell_count; ++k) {
    const int lake = m.oland_lake_mask[k];
    if (lake <= 0) continue;
    overland_lake_record& l = lakes[lake];
    ++l.lake_cell_count;
    if (m.elevation[k] > l.wse) {
      stop_run("There is a lake cell in lake %d that is above the initial lake water surface\n"
               "elevation in that lake, which is specified as %f.  This situation is not\n"
               "physically realistic.  Check your lake map.  Program terminated.\n",
               lake, l.wse);
      return;
    }
    l.volume += (l.wse - m.elevation[k]) * area;
  }
  m.olake_volume_initial = 0.0;
  for (int j = 1; j <= m.overland_lake_count; ++j) m.olake_volume_initial += lakes[j].volume;
}

void read_retention_map(model_state& m) {
  const int n = m.cell_count;
  const bool silent = m.silent_mode == 1;
  if (m.retention_map_on == 1) {
    const std::string source = property_source(m.retention_depth_fp.is_open(), m.reten_depth_path, m);
    if (m.retention_depth_fp.is_open()) {
      echo(m, !silent, "reading retention storage map from file: %s\n", m.reten_depth_path.c_str());
      read_real_map(m, m.retention_depth_fp, m.reten_depth_path, m.retent_dep);
      if (error_state.error_terminate) return;
    } else {
      echo(m, !silent, "reading retention storage table and map from master table file\n");
      if (table_present(m, map_table::retention)) read_table(m, map_table::retention, {&m.retent_dep});
      if (error_state.error_terminate) return;
    }
    if (!cells_in_range(m, m.retent_dep, "retention depth", source, {0.0, 1e4, false, " mm"})) return;
    for (int k = 1; k <= n && size_t(k) < m.retent_dep.size(); ++k) m.retent_dep[k] /= 1000.0;
  } else if (m.retention_uniform_on == 1) {
    fill(m.retent_dep, n, m.retention_value / 1000.0);
  } else {
    fill(m.retent_dep, n, 0.0);
  }
}

namespace {

void read_roughness_inputs(model_state& m) {
  const int n = m.cell_count;
  const bool silent = m.silent_mode == 1;
  if (m.roughness_map_on) {
    const std::string source = property_source(m.roughness_map_fp.is_open(), m.roughness_path, m);
    if (m.roughness_map_fp.is_open()) {
      echo(m, !silent, "reading roughness map from file: %s\n", m.roughness_path.c_str());
      read_real_map(m, m.roughness_map_fp, m.roughness_path, m.dist_rough);
      if (error_state.error_terminate) return;
    } else {
      echo(m, !silent, "reading roughness table and map from master table file\n");
      if (table_present(m, map_table::roughness)) read_table(m, map_table::roughness, {&m.dist_rough});
      if (error_state.error_terminate) return;
      if (table_present(m, map_table::rough_exp)) {
        echo(m, !silent, "reading roughness_exp table and map from master table file\n");
        read_table(m, map_table::rough_exp, {&m.roughness_exp});
        if (error_state.error_terminate) return;
      } else {
        fill(m.roughness_exp, n, 0.0);
      }
    }
    for (int k = 1; k <= n; ++k) {
      if (m.dist_rough[k] <= 0.0) {
        stop_run("Overland Manning n=0 at grid cell %d.  Program terminating.\n"
                 "Check your overland roughness inputs, mapping table and index map \n",
                 k);
        return;
      }
    }
    cells_in_range(m, m.dist_rough, "Manning n", source, {0.0, 1e3, false, ""});
    return;
  }
  if (m.manning_n_value <= 1e-6) {
    stop_run("\nInvalid spatially uniform overland flow Manning n value=%lf\n"
             "Check your overland roughness inputs \n"
             "If you specified a overland roughness mapping table, you either didn't assign an "
             "index map or your index map has invalid zero values\n"
             "PLUVO exiting.\n",
             m.manning_n_value);
    return;
  }
  fill(m.dist_rough, n, m.manning_n_value);
  fill(m.roughness_exp, n, 0.0);
}

}  // namespace

// Whether any exponent is non-zero is decided here, once per run: without one the effective
// roughness is the base roughness and no exponential need be taken per cell and step.
void read_roughness_map(model_state& m) {
  read_roughness_inputs(m);
  m.roughness_exp_on = 0;
  for (int k = 1; k <= m.cell_count && size_t(k) < m.roughness_exp.size(); ++k)
    if (m.roughness_exp[size_t(k)] != 0.0) {
      m.roughness_exp_on = 1;
      break;
    }
}

void setup_snow_roughness(model_state& m) {
  if (m.snow_roughness_on == 1 && m.snow_darcy_on != 1) {
    m.snow_roughness_value = m.snow_roughness;
    m.dist_rough_copy = m.dist_rough;
  } else if (m.snow_roughness_on == 1 && m.snow_darcy_on == 1) {
    m.snow_roughness_on = 0;
    message_out("Both manning and darcy flow are turned on for when snow is present \n");
    message_out("Turning off manning flow for when snow is present.  Darcy still turned on. \n");
  }
}

void read_overland_blockage_table(model_state& m) {
  if (!m.ovr_flow_block_on || !table_present(m, map_table::ovr_flow_block)) return;
  const int n = m.cell_count;
  std::vector<double> faces[4];
  for (auto& f : faces) f.assign(size_t(n) + 1, 0.0);
  echo(m, m.silent_mode != 1, "reading overland blockage table and map from master table file\n");
  read_table(m, map_table::ovr_flow_block,
             {&m.ovr_flow_block_value1, &faces[0], &faces[1], &faces[2], &faces[3]});
  if (error_state.error_terminate) return;
  for (int k = 1; k <= n; ++k)
    for (int face = 1; face <= 4; ++face) m.ovr_flow_block_frac[k][face] = faces[face - 1][size_t(k)];
}

}  // namespace pluvo
