// The starting soil water of every cell and the starting volumes below and on the ground.
#include <cstdio>

#include "common/error_state.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"
#include "soil/richards_columns.hpp"
#include "soil/soil_layers.hpp"

namespace pluvo {

namespace {

template <typename V>
bool holds(const V& v, int32_t n) {
  return v.size() > size_t(n);
}

template <typename V>
void clear_cell(V& v, int32_t j) {
  if (holds(v, j)) v[size_t(j)] = 0;
}

bool any_infiltration(const model_state& m) {
  return m.green_ampt_on || m.inf_redist_on || m.inf_layered_soil_on || m.inf_richards_on;
}

bool in_channel_lake(const model_state& m, int32_t j) {
  return m.lakes_on && holds(m.lake_mask, j) && m.lake_mask[size_t(j)] != 0;
}

void reset_cell_infiltration(model_state& m, int32_t j) {
  clear_cell(m.infil_rate, j);
  clear_cell(m.infil_depth, j);
  clear_cell(m.infil_depth_prev, j);
  clear_cell(m.cum_infil_depth, j);
  clear_cell(m.unsat_downward_flux, j);
  if (m.inf_richards_on) {
    if (holds(m.bound_type, j)) m.bound_type[size_t(j)] = 1;
    clear_cell(m.inf_rich, j);
  }
  if (m.inf_redist_on) {
    clear_cell(m.no_wat_prof, j);
    clear_cell(m.iter_pond_1, j);
    clear_cell(m.iter_n, j);
    clear_cell(m.iter_i_less_k, j);
    const double theta = m.initial_moisture_cell[size_t(j)];
    if (holds(m.redist_theta, j)) m.redist_theta[size_t(j)] = theta;
    if (holds(m.redist_surface_theta, j)) m.redist_surface_theta[size_t(j)] = theta;
    clear_cell(m.redist_depth, j);
  }
}

// Soil column of the cell, limited by a water table; a table at or above the ground
// saturates the cell and lets groundwater out at the surface.
void set_soil_column(model_state& m, int32_t j) {
  const size_t c = size_t(j);
  const layered_soil_entry* soil = m.inf_layered_soil_on ? soil_class_of(m, j) : nullptr;
  clear_cell(m.yes_exfil, j);
  if (m.inf_redist_on)
    m.sm_depth_cell[c] = m.soil_moist_depth_cm;
  else if (soil)
    m.sm_depth_cell[c] = layer_thickness(*soil, 1) + layer_thickness(*soil, 2);
  if (!m.water_table_on || !holds(m.elevgw, j)) return;
  const double table_depth = m.elevation[c] - m.elevgw[c];
  if (table_depth <= 0.0) {
    if (m.inf_redist_on) {
      m.initial_moisture_cell[c] = m.porosity_cell[c];
    } else if (soil) {
      for (int L = 1; L <= 3; ++L) m.THETA_ML[c][size_t(L)] = layer_porosity(*soil, L);
    }
    m.sm_depth_cell[c] = 0.0;
    if (!in_channel_lake(m, j)) {
      if (holds(m.yes_exfil, j)) m.yes_exfil[c] = 1;
      m.exfil_cells_present = 1;
    }
  } else {
    if (soil) m.soil_moist_depth_cm = layer_thickness(*soil, 1) + layer_thickness(*soil, 2);
    if (m.soil_moist_depth_cm / 100.0 > table_depth) m.sm_depth_cell[c] = table_depth * 100.0;
    if (m.gw_simulation_on && holds(m.gw_inf_redist_theta, j) && holds(m.gw_porosity, j))
      m.gw_inf_redist_theta[c] = m.gw_porosity[c] * m.gw_moisture_factor;
  }
}

void set_soil_water(model_state& m, int32_t j) {
  const size_t c = size_t(j);
  const double depth = m.sm_depth_cell[c];
  if (m.inf_redist_on) {
    const double theta = m.initial_moisture_cell[c];
    m.sm_water_cell[c] = depth * theta;
    if (depth > m.top_layer_depth_cm) {
      m.sm_water_top[c] = m.top_layer_depth_cm * theta;
      m.sm_water_lower[c] = (depth - m.top_layer_depth_cm) * theta;
    } else {
      m.sm_water_top[c] = depth * theta;
      m.sm_water_lower[c] = 0.0;
    }
  } else if (const layered_soil_entry* soil = soil_class_of(m, j); m.inf_layered_soil_on && soil) {
    const std::array<double, 3> theta = {m.THETA_ML[c][1], m.THETA_ML[c][2], m.THETA_ML[c][3]};
    if (layer_thickness(*soil, 1) >= depth) {
      m.sm_water_top[c] = depth * theta[0];
      m.sm_water_lower[c] = 0.0;
    } else {
      m.sm_water_top[c] = layer_thickness(*soil, 1) * theta[0];
      m.sm_water_lower[c] = lower_layer_water(*soil, depth, theta[1]);
    }
    m.sm_water_cell[c] = m.sm_water_top[c] + m.sm_water_lower[c];
  }
  m.sm_volume_initial += m.sm_water_cell[c] / 100.0 * m.cell_size * m.cell_size;
}

bool soil_accounting_arrays_ready(const model_state& m) {
  const int32_t n = m.cell_count;
  if (!(holds(m.sm_depth_cell, n) && holds(m.sm_water_cell, n) && holds(m.sm_water_top, n) &&
        holds(m.sm_water_lower, n) && holds(m.elevation, n)))
    return false;
  if (m.inf_redist_on && !(holds(m.initial_moisture_cell, n) && holds(m.porosity_cell, n)))
    return false;
  if (m.inf_layered_soil_on && !holds(m.THETA_ML, n)) return false;
  return true;
}

// The lake's starting water above each of its cells; false when a cell's ground stands
// above the lake's initial level.
bool add_overland_lake_water(model_state& m, int32_t j) {
  const int32_t lake = m.oland_lake_mask[size_t(j)];
  if (lake < 1 || size_t(lake) >= m.overland_lake_records.size()) return true;
  const double level = m.overland_lake_records[size_t(lake)].initial_wse;
  const double depth = level - m.elevation[size_t(j)];
  if (depth < 0.0) {
    stop_run("\nWARNING: initial water surface elevation in lake %d is %f which is\n"
             "less than the land surface elevation in grid cell %d, %f.\n"
             "You should either raise your initial lake elevation or lower that grid\n"
             "cell elevation.  Program stopped.\n",
             lake, level, j, m.elevation[size_t(j)]);
    return false;
  }
  m.lake_cell_volume_initial += depth * m.cell_size * m.cell_size;
  return true;
}

// The snowpack of a continuous run starts empty, or with the initial water equivalent read with
// the maps; the layered pack starts from the run-wide pack values.
void reset_snow_state(model_state& m) {
  const int32_t n = m.cell_count;
  m.snowpack_const_1 = 3.0;
  m.snowpack_const_2 = 0.67;
  m.snowpack_const_7 = 0.077;
  m.snowpack_step_s = 3600;
  const bool pack = holds(m.sn_stat, n) && holds(m.snap_pluvo_params, n);
  const bool waves = holds(m.Melt_Waves, n);
  const bool initial_swe = m.init_swe_depth_kind >= 1;
  for (int32_t j = 1; j <= n; ++j) {
    const size_t c = size_t(j);
    if (pack) {
      m.sn_stat[c] = {};
      m.sn_stat[c][10] = 0.67;
      m.sn_stat[c][16] = 3.0;
      m.snap_pluvo_params[c] = {0.0, 0.0, 0.0, m.snowpack_const_1, m.snowpack_const_2,
                                m.snowpack_const_3, m.snowpack_const_4, 0.0,
                                double(m.snowpack_step_s), m.snowpack_const_6, m.snowpack_const_7,
                                m.snowpack_const_7};
    }
    for (auto* v : {&m.snow_temperature, &m.snow_density, &m.snow_prev_air_temp}) clear_cell(*v, j);
    if (holds(m.wave, j)) m.wave[c] = {};
    if (waves) m.Melt_Waves[c] = {};
    if (!initial_swe) {
      clear_cell(m.snow_swe, j);
      clear_cell(m.snow_depth, j);
    } else if (m.snow_no_infiltrate_on && holds(m.snow_no_infil_cell, j) && holds(m.snow_swe, j) &&
               m.snow_swe[c] > 0.0) {
      m.snow_no_infil_cell[c] = 1;
    }
  }
}

}  // namespace

void init_soil_water_state(model_state& m) {
  const int32_t n = m.cell_count;
  const double area = m.cell_size * m.cell_size;
  m.sm_volume_initial = 0.0;
  if (m.green_ampt_on || m.inf_redist_on) {
    if (m.top_layer_depth_cm < 1e-16) m.top_layer_depth_cm = m.soil_moist_depth_cm;
    if (m.mixing_layer_depth_cm < 1e-16) m.mixing_layer_depth_cm = m.top_layer_depth_cm;
  }
  const bool accounting = m.soil_moisture_accounting_on && soil_accounting_arrays_ready(m);
  const bool redist_ready = !m.inf_redist_on || holds(m.initial_moisture_cell, n);
  for (int32_t j = 1; j <= n; ++j) {
    if (any_infiltration(m) && redist_ready) {
      reset_cell_infiltration(m, j);
      if (accounting) {
        set_soil_column(m, j);
        set_soil_water(m, j);
      }
    }
    if (m.inf_layered_soil_on) clear_cell(m.wetdep, j);
  }
  if (m.long_term_on) reset_snow_state(m);

  // Starting volumes below and on the ground, all in cubic metres.
  m.subsurface_volume_initial = 0.0;
  m.gw_column_initial = 0.0;
  m.subsurface_total_initial = 0.0;
  m.soil_volume_initial_simple = 0.0;
  m.gw_volume_initial = 0.0;
  const bool gw = m.gw_simulation_on && holds(m.elevgw, n) && holds(m.bottom_elev, n) &&
                  holds(m.gw_porosity, n);
  const bool olakes = m.overland_lakes_on && holds(m.oland_lake_mask, n) && holds(m.elevation, n);
  for (int32_t j = 1; j <= n; ++j) {
    const size_t c = size_t(j);
    if (gw) m.gw_volume_initial += (m.elevgw[c] - m.bottom_elev[c]) * m.gw_porosity[c] * area;
    if (olakes && !add_overland_lake_water(m, j)) return;
    if (m.inf_richards_on && holds(m.numcells, j)) {
      const double column = column_water_cm(m, j) / 100.0 * area;
      m.subsurface_volume_initial += column;
      m.soil_volume_initial_simple += column;
    }
    if (!accounting) continue;
    const double column_m = m.sm_depth_cell[c] / 100.0;
    const double table_depth = m.elevation[c] - (holds(m.elevgw, j) ? m.elevgw[c] : 0.0);
    if (gw && table_depth >= column_m && holds(m.gw_inf_redist_theta, j))
      m.subsurface_volume_initial +=
          ((table_depth - column_m) * m.gw_inf_redist_theta[c] + m.sm_water_cell[c] / 100.0) * area;
    else
      m.subsurface_volume_initial += m.sm_water_cell[c] / 100.0 * area;
  }
  m.gw_column_initial = m.gw_volume_initial;
  if (m.soil_moisture_accounting_on) m.soil_volume_initial_simple = m.subsurface_volume_initial;
  m.subsurface_total_initial = m.subsurface_volume_initial + m.gw_column_initial;
}

}  // namespace pluvo
