// Soil and vegetation property maps: area reduction, Green and Ampt parameters, layered soil
// classes, evapotranspiration surface maps, initial moisture, snow canopy, water table and
// aquifer bottom, then the Richards columns and a uniform initial moisture.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/parallel_fill.hpp"
#include "common/process.hpp"
#include "input/ascii_map.hpp"
#include "input/grid_setup.hpp"
#include "input/input_phases.hpp"
#include "input/neighbour_services.hpp"
#include "input/property_readers.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double cm_per_hour_in_m_per_s = 360000.0;
constexpr double cm_per_m = 100.0;
constexpr int layer_moisture_col = 10;  // initial moisture of layers 1..3 at 10, 11, 12
constexpr int layer_porosity_col = 7;
constexpr int layer_residual_col = 19;

bool stopped() {
  return error_state.error_terminate != 0;
}

// A map from its file when that file is open, else the values a table gave already; either
// must lie in the range of the property.
void map_or_table(model_state& m, checked_file& file, const std::string& name, const char* file_line,
                  const char* table_line, std::vector<double>& out, const char* what, const value_range& range) {
  ensure_cells(out, m.cell_count);
  const bool from_file = file.is_open();
  if (from_file) {
    echo(m, m.silent_mode != 1, file_line, name.c_str());
    read_cell_map(m, file, name, 1, out);
    if (stopped()) return;
  } else {
    echo(m, m.silent_mode != 1, "%s", table_line);
  }
  cells_in_range(m, out, what, property_source(from_file, name, m), range);
}

const value_range non_negative{0.0, 1e12, false, ""};
const value_range fraction{0.0, 1.0, false, ""};
const value_range below_one{0.0, 1.0, true, ""};

void scale_cells(std::vector<double>& v, int n, double divisor) {
  for (int i = 1; i <= n; ++i) v[i] /= divisor;
}

void read_area_reduction_map(model_state& m) {
  if (!m.area_reduction_on) return;
  const int n = m.cell_count;
  ensure_cells(m.area_reduction_factor, n);
  const std::string source = property_source(!m.area_reduction_file.empty(), m.area_reduction_file, m);
  if (!m.area_reduction_file.empty()) {
    if (!open_or_stop(m.area_reduction_fp, m.area_reduction_file,
                      "Can't open area reduction file named: %s\n"))
      return;
    echo(m, m.silent_mode != 1, "reading area reduction map from file: %s\n", m.area_reduction_file.c_str());
    read_cell_map(m, m.area_reduction_fp, m.area_reduction_file, 3, m.area_reduction_factor);
    if (stopped()) return;
  } else if (table_present(m, map_table::area_reduction)) {
    echo(m, m.silent_mode != 1, "reading area reduction map from the mapping table file.\n");
    table_outputs out{};
    out[0] = &m.area_reduction_factor;
    if (!read_table_columns(m, map_table::area_reduction, out)) return;
  }
  // The map gives the fraction of the cell taken away (a percentage would remove more than the cell).
  if (!cells_in_range(m, m.area_reduction_factor, "area reduction fraction", source, {0.0, 1.0, false, ""})) return;
  for (int i = 1; i <= n; ++i) m.area_reduction_factor[i] = 1.0 - m.area_reduction_factor[i];
}

// Redistribution needs the map or the Green and Ampt table; without either the run stops.
bool redistribution_source(bool present, const char* what) {
  if (present) return true;
  stop_run("For infiltration redistribution, %s map must be specified\nProgram stopped.\n", what);
  return false;
}

void read_green_ampt_maps(model_state& m) {
  if (!m.green_ampt_on && !m.inf_redist_on) return;
  const int n = m.cell_count;
  const bool table = table_present(m, map_table::green_ampt_infiltration);
  if (table) {
    const table_outputs out{&m.ks_cell,           &m.hc_cell,           &m.porosity_cell,
                            &m.pore_index_cell,   &m.residual_sat_cell, &m.field_capacity_cell,
                            &m.wilting_point_cell};
    if (!read_table_columns(m, map_table::green_ampt_infiltration, out)) return;
  }
  if (m.conductivity_map_on == 1) {
    map_or_table(m, m.conductivity_map_fp, m.conductivity_path,
                 "reading saturated hydraulic conductivity map from file: %s\n",
                 "reading saturated hydraulic conductivity table and map from the master table file\n",
                 m.ks_cell, "hydraulic conductivity", non_negative);
    if (stopped()) return;
    scale_cells(m.ks_cell, n, cm_per_hour_in_m_per_s);
  }
  if (m.capillary_map_on == 1) {
    map_or_table(m, m.capillary_map_fp, m.capillary_path, "reading capillary drive map from file: %s\n",
                 "reading capillary drive map from the master table file\n", m.hc_cell, "capillary head",
                 non_negative);
    if (stopped()) return;
    scale_cells(m.hc_cell, n, cm_per_m);
  }
  if (m.porosity_map_on == 1) {
    map_or_table(m, m.porosity_map_fp, m.porosity_path, "reading porosity map from file: %s\n",
                 "reading porosity table and map from the master table file\n", m.porosity_cell, "porosity",
                 below_one);
    if (stopped()) return;
  }
  if (m.inf_redist_on != 1) return;
  if (!redistribution_source(m.pore_index_map_on || table, "pore index")) return;
  map_or_table(m, m.pore_index_map_fp, m.pore_index_path,
               "reading pore distribution index map from file: %s\n",
               "reading pore distribution index map from master table file\n", m.pore_index_cell,
               "pore distribution index", non_negative);
  if (stopped()) return;
  if (!redistribution_source(m.residual_sat_map_on || table, "residual saturation")) return;
  map_or_table(m, m.residual_sat_map_fp, m.residual_sat_path,
               "reading residual saturation map from file: %s\n",
               "reading residual saturation map from the master table file\n", m.residual_sat_cell,
               "residual saturation", below_one);
}

}  // namespace

bool read_soil_type_map(model_state& m) {
  echo(m, m.silent_mode != 1, "reading soil map from file: %s\n", m.soil_type_map_path.c_str());
  read_ascii_map(m.soil_type_fp, m.soil_type_map_path.c_str(), 2, m.grid_north, m.grid_south, m.grid_east,
                 m.grid_west, m.grid_rows, m.grid_cols, m.data_grid, nullptr, nullptr, nullptr, m.project_rows,
                 m.project_cols, m.silent_mode);
  checked_file_close(m.soil_type_fp);
  if (stopped()) return false;
  for (int r = 1; r <= m.cell_number_grid.rows(); ++r)
    for (int c = 1; c <= m.cell_number_grid.cols(); ++c)
      if (const int k = m.cell_number_grid(r, c); k != 0) m.soiltype[k] = m.data_grid(r, c);
  return true;
}

namespace {

void read_layered_soil(model_state& m) {
  if (m.inf_layered_soil_on != 1) return;
  const int n = m.cell_count;
  ensure_cells(m.soiltype, n);
  std::string source;
  if (table_present(m, map_table::multi_layer_soil)) {
    source = m.mapping_table_path;
    std::string problem;
    const int soils = read_multilayer_ga_table(
        m, [&m, &problem](checked_file& f) { return read_multilayer_soil_table(f, m, problem); }, &problem);
    // Every failure below one soil has stopped the run with its message.
    if (soils < 1) return;
  } else {
    source = m.soil_type_map_path;
    if (!read_soil_type_map(m)) return;
    neighbour_services.read_layered_soil_table(m.soil_layer_table_fp, m);
    checked_file_close(m.soil_layer_table_fp);
    if (stopped()) return;
  }
  if (!soil_classes_in_table(m, source)) return;
  if (m.permafrost_gipl_flag == 1 || m.multi_layer_infil_gipl_flag == 1)
    for (int i = 1; i <= n; ++i) neighbour_services.build_gipl_layer_links(i, m);
  ensure_cells(m.surface_moisture, n);
  ensure_cells(m.THETA_ML, n);
  for (int i = 1; i <= n; ++i) {
    const double* v = m.layered_soil_table[size_t(m.soiltype[i])].values;
    m.surface_moisture[i] = v[layer_moisture_col];
    for (int l = 1; l <= 3; ++l) m.THETA_ML[i][l] = v[layer_moisture_col + l - 1];
  }
}

void read_et_property_maps(model_state& m) {
  const int n = m.cell_count;
  if (table_present(m, map_table::evapotranspiration)) {
    table_outputs out{};
    out[0] = &m.albedo_cell;
    out[1] = &m.veg;
    out[2] = &m.Kt;
    out[3] = &m.Rs;
    if (!read_table_columns(m, map_table::evapotranspiration, out)) return;
  }
  if (m.albedo_map_on == 1 && m.long_term_on) {
    map_or_table(m, m.albedo_map_fp, m.albedo_path, "reading albedo map from file: %s\n",
                 "reading albedo table and map from the master table file\n", m.albedo_cell, "albedo", fraction);
    if (stopped()) return;
    m.albedo_w_snow = m.albedo_cell;
  }
  if (m.et_calc_penman_on && m.long_term_on) {
    struct et_map {
      int on;
      checked_file& file;
      const std::string& name;
      const char* file_line;
      const char* table_line;
      std::vector<double>& out;
      const char* what;
      value_range range;
    } maps[] = {
        {m.vheight_map_on, m.vheight_map_fp, m.vheight_path, "reading vegetation-height map from file: %s\n",
         "reading vegetation-height table and map from the master table file\n", m.veg, "vegetation height",
         non_negative},
        {m.tcoeff_map_on, m.tcoeff_map_fp, m.tcoeff_path,
         "reading transmission-coefficient map from file: %s\n",
         "reading transmission-coefficient table and map from the master table file\n", m.Kt,
         "transmission coefficient", fraction},
        {m.canopy_map_on, m.canopy_map_fp, m.canopy_path, "reading canopy resistance map from file: %s\n",
         "reading canopy resistance table and map from the master table file\n", m.Rs, "canopy resistance",
         non_negative},
        {m.wilting_point_map_on, m.wilting_point_map_fp, m.wilting_point_path,
         "reading wilting point map from file: %s\n",
         "reading wilting point table and map from the master table file\n", m.wilting_point_cell,
         "wilting point", below_one},
    };
    for (et_map& e : maps) {
      if (!e.on) continue;
      map_or_table(m, e.file, e.name, e.file_line, e.table_line, e.out, e.what, e.range);
      if (stopped()) return;
    }
  }
  ensure_cells(m.initial_moisture_cell, n);
  const bool moisture_file = m.moisture_map_on == 1 && m.moisture_map_fp.is_open();
  if (moisture_file) {
    echo(m, m.silent_mode != 1, "reading soil moisture map from file: %s\n", m.moisture_path.c_str());
    read_cell_map(m, m.moisture_map_fp, m.moisture_path, 1, m.initial_moisture_cell);
  } else {
    echo(m, m.silent_mode != 1, "reading soil moisture table and map from the master table file\n");
    if (table_present(m, map_table::green_ampt_moisture)) {
      table_outputs out{};
      out[0] = &m.initial_moisture_cell;
      read_table_columns(m, map_table::green_ampt_moisture, out);
    }
  }
  if (!stopped())
    cells_in_range(m, m.initial_moisture_cell, "initial soil moisture", property_source(moisture_file, m.moisture_path, m),
                   fraction);
}

// The Green and Ampt schemes start from the initial moisture once every source of it has been
// read. A value above the porosity cannot be held by the soil and is lowered to it.
void take_green_ampt_surface_moisture(model_state& m) {
  if (!m.green_ampt_on && !m.inf_redist_on) return;
  const int n = m.cell_count;
  ensure_cells(m.surface_moisture, n);
  const bool porosity_known = m.porosity_cell.size() == size_t(n) + 1;
  for (int i = 1; i <= n; ++i) {
    double& theta = m.initial_moisture_cell[i];
    if (m.inf_redist_on != 1 && porosity_known && theta > m.porosity_cell[i]) {
      message_out("Warning: initial water content > phi at grid %d\n", i);
      theta = m.porosity_cell[i];
    }
    m.surface_moisture[i] = theta;
  }
  if (m.inf_redist_on == 1) {
    m.redist_theta = m.initial_moisture_cell;
    m.redist_surface_theta = m.initial_moisture_cell;
  }
}

void read_snow_canopy_table(model_state& m) {
  if (m.snow_canopy_intercept_on != 1) return;
  table_outputs out{};
  out[0] = &m.snow_canopy_value1;
  out[1] = &m.snow_canopy_value2;
  out[2] = &m.snow_canopy_value3;
  read_table_columns(m, map_table::snow_canopy, out);
}

void read_water_table_maps(model_state& m) {
  if (!m.water_table_on) return;
  const int n = m.cell_count;
  echo(m, m.silent_mode != 1, "reading water table map from file: %s\n", m.water_table_path.c_str());
  read_cell_map(m, m.water_table_fp, m.water_table_path, 3, m.elevgw);
  if (stopped()) return;
  ensure_cells(m.bottom_elev, n);
  if (m.gw_simulation_on) {
    echo(m, m.silent_mode != 1, "reading aquifer bottom map from file: %s\n", m.aquifer_bottom_path.c_str());
    read_cell_map(m, m.aquifer_bottom_fp, m.aquifer_bottom_path, 3, m.bottom_elev);
    if (stopped()) return;
  } else if (m.inf_richards_on) {
    m.aquifer_delta_z_value = 0.1;
    for (int i = 1; i <= n; ++i) m.bottom_elev[i] = m.elevgw[i] - 0.1;
  }
  for (int i = 1; i <= n; ++i) {
    if (m.bottom_elev[i] < m.elevation[i]) continue;
    message_out("Aquifer bottom elevation %lf for cell %d is at or above ground surface elevation %lf \n",
                m.bottom_elev[i], i, m.elevation[i]);
    message_out("Aquifer bottom elevation set to ground elevation \n");
    m.bottom_elev[i] = m.elevation[i];
  }
}

void set_uniform_initial_moisture(model_state& m) {
  if (m.uniform_moisture_on != 1 || m.inf_layered_soil_on != 0) return;
  const int n = m.cell_count;
  if (m.super_quiet_on == 0 && process_index == 0)
    message_out("initializing uniform initial soil water content\n");
  ensure_cells(m.initial_moisture_cell, n);
  ensure_cells(m.surface_moisture, n);
  std::vector<double> class_porosity, class_residual;
  if (m.residual_sat_map_on == 1) {
    ensure_cells(m.residual_sat_cell, n);
    ensure_cells(m.porosity_cell, n);
  } else {
    ensure_cells(m.soiltype, n);
    if (!soil_classes_in_table(m, "the soil table")) return;
    int top = 0;
    for (int i = 1; i <= n; ++i) top = std::max(top, int(m.soiltype[i]));
    class_porosity.assign(size_t(top) + 1, 0.0);
    class_residual.assign(size_t(top) + 1, 0.0);
    for (int s = 0; s <= top; ++s) {
      class_porosity[s] = m.layered_soil_table[size_t(s)].values[layer_porosity_col];
      class_residual[s] = m.layered_soil_table[size_t(s)].values[layer_residual_col];
    }
  }
  clamp_initial_moisture_parallel(
      n, class_porosity.data(), m.initial_moisture_cell.data(), class_residual.data(), m.soiltype.data(),
      m.porosity_cell.data(), m.residual_sat_cell.data(), m.residual_sat_map_on, m.uniform_initial_moisture);
  for (int i = 1; i <= n; ++i) m.surface_moisture[i] = m.uniform_initial_moisture;
}

}  // namespace

void read_soil_property_maps(model_state& m) {
  if (!(m.green_ampt_on == 1 || m.inf_redist_on == 1 || m.inf_layered_soil_on || m.inf_richards_on)) return;
  using step = void (*)(model_state&);
  const step steps[] = {read_area_reduction_map,
                        read_green_ampt_maps,
                        read_layered_soil,
                        read_et_property_maps,
                        take_green_ampt_surface_moisture,
                        read_snow_canopy_table,
                        read_water_table_maps,
                        setup_richards_soil_columns,
                        set_uniform_initial_moisture};
  for (step s : steps) {
    s(m);
    if (stopped()) return;
  }
}

}  // namespace pluvo
