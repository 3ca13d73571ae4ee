// The overland water-quality step: each sub-step keeps its own clock and leaves what it moved
// in the accumulators for the cell mass update; and the constituent state at the start of a run.
#include <algorithm>
#include <cmath>

#include "quality/constituent_tables.hpp"
#include "quality/overland_constituents.hpp"
#include "quality/quality_phases.hpp"
#include "quality/sediment_contam.hpp"
#include "quality/water_quality_clocks.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double particle_density = 2.65;

struct sub_step_clock {
  double& next;
  double& last;
  double& kept;  // interval of the last update
};

// Returns the interval (s, or days when in_days) when the sub-step is due, else a negative value.
double due(const model_state& m, const sub_step_clock& c, bool in_days = false) {
  if (!(std::fabs(c.next - m.cur_julian) < m.time_tolerance)) return -1.0;
  const double dt = (m.cur_julian - c.last) * (in_days ? 1.0 : 86400.0);
  c.kept = dt;
  c.last = m.cur_julian;
  return dt;
}

bool contaminant(const model_state& m, int k) { return int(m.constituent_type[k]) == 1; }

void precipitation_sub_step(model_state& m) {
  if (!m.rain_on) return;
  const double dt = due(m, {m.ov_precip_load_next_time, m.ov_precip_load_last_time, m.ov_precip_load_dt});
  if (dt < 0.0) return;
  for (int k = 1; k <= m.num_constituents; ++k) contam_rain_loading(m, k, dt);
  m.ov_precip_load_next_time = m.step_next_time;
}

void infiltration_sub_step(model_state& m) {
  if (due(m, {m.ov_infil_wq_next_time, m.ov_infil_wq_last_time, m.ov_infil_wq_dt}) < 0.0) return;
  for (int k = 1; k <= m.num_constituents; ++k) infiltrate_constituent_mass(m, k);
  m.ov_infil_wq_next_time = m.infil_next_time;
}

void uptake_sub_step(model_state& m) {
  if (!m.contam_table_on) return;
  const double dt = due(m, {m.ov_uptake_next_time, m.ov_uptake_last_time, m.ov_uptake_dt});
  if (dt < 0.0) return;
  for (int k = 1; k <= m.num_constituents; ++k)
    if (contaminant(m, k)) contam_soil_water_exchange(m, k, dt);
  m.ov_uptake_next_time =
      m.cur_julian + m.ov_con_interval * (m.soil_con_trans_on ? 1.0 : m.kinetics_step_factor);
}

void decay_sub_step(model_state& m) {
  if (!m.contam_table_on) return;
  const double dt = due(m, {m.ov_decay_next_time, m.ov_decay_last_time, m.ov_decay_dt});
  if (dt < 0.0) return;
  for (int k = 1; k <= m.num_constituents; ++k)
    if (contaminant(m, k)) overland_decay_mass(m, k, dt);
  m.ov_decay_next_time = m.cur_julian + m.ov_con_interval * m.kinetics_step_factor;
}

// The nutrient kinetics compute no reactions of their own: the clocks keep time, and the soil
// exchange asks for nothing.
void nutrient_sub_steps(model_state& m) {
  if (!m.nutrients_on) return;
  if (due(m, {m.ov_tvx_next_time, m.ov_tvx_last_time, m.ov_tvx_dt}, true) >= 0.0)
    m.ov_tvx_next_time = m.cur_julian + m.ov_con_interval * m.kinetics_step_factor;
  if (!m.soil_con_trans_on) return;
  if (due(m, {m.ov_tvx_soil_next_time, m.ov_tvx_soil_last_time, m.ov_tvx_soil_dt}, true) < 0.0) return;
  for (int c = 1; c <= m.cell_count && m.THETA.rows() >= c; ++c)
    for (int L = 1; L <= m.soil_contam_layers && L <= m.THETA.cols(); ++L)
      m.THETA[c][L] = m.inf_redist_on ? soil_layer_water_content(m, c, L, m.soil_contam_layers)
                                      : m.surface_moisture[size_t(c)];
  m.ov_tvx_soil_next_time = m.cur_julian + m.ov_con_interval * m.kinetics_step_factor;
}

void outlet_sub_step(model_state& m) {
  if (m.chan_explic_on) return;
  if (due(m, {m.ov_outlet_wq_next_time, m.ov_outlet_wq_last_time, m.ov_outlet_wq_dt}) < 0.0) return;
  for (int k = 1; k <= m.num_constituents; ++k) {
    const double* conc = checked_array_2d_row(m.ov_conc, k);
    if (conc && m.outlet_cell >= 1 && m.outlet_cell <= m.cell_count)
      m.ov_exit_mass[k] += conc[m.outlet_cell] * m.ov_outlet_volume;
  }
  m.ov_outlet_volume = 0.0;
  m.ov_outlet_wq_next_time = m.cur_julian + m.ov_con_interval;
}

void stream_sub_step(model_state& m) {
  if (!m.chan_explic_on) return;
  if (due(m, {m.ov_chan_wq_next_time, m.ov_chan_wq_last_time, m.ov_chan_wq_dt}) < 0.0) return;
  for (int k = 1; k <= m.num_constituents; ++k) exchange_grid_stream_mass(m, k);
  for (int i = 1; i <= m.gst_num_cells && size_t(i) < m.gst_Vlat.size(); ++i)
    for (int j = 1; j <= m.gst_ncellsingrid[size_t(i)] && size_t(j) < m.gst_Vlat[size_t(i)].size(); ++j)
      m.gst_Vlat[size_t(i)][size_t(j)] = 0.0;
  m.ov_chan_wq_next_time = m.cur_julian + m.ov_con_interval;
}

// Thicknesses (m) of the soil constituent layers where one scheme fixes them for every cell.
void set_soil_layer_thickness(model_state& m) {
  const double Dm = m.mixing_layer_depth_cm, Dt = m.top_layer_depth_cm, Ds = m.soil_moist_depth_cm;
  checked_array<double>& t = m.soil_layer_thickness;
  const int size = m.inf_redist_on || m.inf_layered_soil_on ? 3 : (m.green_ampt_on ? 1 : 0);
  if (t.count < size) checked_array_grow_fill(t, size - t.count, 0.0);
  if (m.inf_redist_on) {
    t[1] = Dm / 100.0;
    if (m.soil_contam_layers == 2) t[2] = (Ds - Dm) / 100.0;
    if (m.soil_contam_layers == 3) {
      t[2] = (Dt - Dm) / 100.0;
      t[3] = (Ds - Dt) / 100.0;
    }
  } else if (m.green_ampt_on) {
    t[1] = Dm / 100.0;
  }
}

// Initial soil mass of a layer-1 concentration conc in cell c.
double initial_soil_mass(const model_state& m, int c, double conc) {
  const double area = m.cell_size * m.cell_size, Dm = m.mixing_layer_depth_cm;
  if (!m.inf_layered_soil_on) {
    const double phi = m.porosity_cell[size_t(c)];
    return conc * m.soil_layer_thickness[1] * area * particle_density * 1000.0 * (1.0 - phi) / 1000.0;
  }
  const int s = m.soiltype[size_t(c)];
  const double* entry = m.layered_soil_table[size_t(s)].values;
  const double d = Dm > 1e-16 && entry[22] > Dm ? Dm / 100.0 : entry[22] / 100.0;
  return d * conc * area * particle_density * 1000.0 * (1.0 - entry[7]) / 1000.0;
}

}  // namespace

void step_overland_water_quality(model_state& m) {
  if (!m.ov_con_trans_on) return;
  precipitation_sub_step(m);
  infiltration_sub_step(m);
  uptake_sub_step(m);
  decay_sub_step(m);
  nutrient_sub_steps(m);
  outlet_sub_step(m);
  stream_sub_step(m);
}

void init_overland_nutrient_state(model_state& m) {
  if (!m.ov_con_trans_on) return;
  set_soil_layer_thickness(m);
  if (m.soil_con_trans_on) {
    // The uniform values leave the layers' water tables to the soil step.
    const int layers = m.inf_layered_soil_on ? 3 : std::max(m.soil_contam_layers, 1);
    if (m.THETA.rows() < m.cell_count || m.THETA.cols() < layers) m.THETA.assign(m.cell_count, layers);
    if (m.THETAS.rows() < m.cell_count || m.THETAS.cols() < layers) m.THETAS.assign(m.cell_count, layers);
  }
  const double area = m.cell_size * m.cell_size;
  for (int k = 1; k <= m.num_constituents; ++k) {
    m.OV_MASS_INIT[k] = 0.0;
    m.OV_LAND_MASS_INIT[k] = 0.0;
    const int type = int(m.constituent_type[k]);
    double* conc = checked_array_2d_row(m.ov_conc, k);
    double* mass = checked_array_2d_row(m.ov_mass, k);
    double* land = checked_array_2d_row(m.ov_land_load, k);
    double* decay = checked_array_2d_row(m.ov_decay_rate, k);
    double* uptake = checked_array_2d_row(m.ov_uptake_coef, k);
    double* soil_decay = checked_array_2d_row(m.soil_decay_rate, k);
    double** soil = checked_array_3d_plane(m.soil_mass, k);
    double** soil_conc = checked_array_3d_plane(m.soil_conc, k);
    if (!conc || !mass || !land) continue;
    const bool soil_layers = type != 3 && m.soil_con_trans_on && soil && soil_conc;
    const int layers = std::min(m.soil_contam_layers, m.soil_mass.columns);
    for (int c = 1; c <= m.cell_count; ++c) {
      if (type == 1 && decay && uptake) {
        decay[c] /= 86400.0;
        uptake[c] /= 86400.0;
        if (m.soil_con_trans_on && soil_decay) soil_decay[c] = decay[c];
      }
      land[c] *= 1000.0;
      const double h = m.ov_depth[size_t(c)];
      if (h > 1e-16) {
        mass[c] = h * conc[c] * area;
      } else {
        mass[c] = 0.0;
        conc[c] = 0.0;
      }
      if (channel_lake_cell(m, c)) {
        mass[c] = 0.0;
        conc[c] = 0.0;
      } else {
        m.OV_MASS_INIT[k] += mass[c] / 1000.0;
      }
      if (soil_layers) {
        for (int L = 1; L <= layers; ++L) soil[c][L] = soil_conc[c][L] = 0.0;
        soil_conc[c][1] = land[c] / 1000.0;
        land[c] = soil[c][1] = initial_soil_mass(m, c, soil_conc[c][1]);
      }
      m.OV_LAND_MASS_INIT[k] += land[c] / 1000.0;
      m.GLOBAL_MASS_INIT[k] += (mass[c] + land[c]) / 1000.0;
    }
  }
  // Rain on water already standing mixes into that water.
  m.ov_depth_prev.assign(m.ov_depth.begin(), m.ov_depth.end());
  start_sediment_contaminants(m);
  start_constituent_balance(m);
}

}  // namespace pluvo
