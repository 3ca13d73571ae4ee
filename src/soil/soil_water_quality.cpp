// Constituents in the soil under each cell: the layers' water contents, the dissolved share of
// each contaminant, soil decay, the vertical movement with the drained water, and the booking
// of what moved.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "quality/constituent_tables.hpp"
#include "record/model_state.hpp"
#include "soil/soil_layer_mass.hpp"
#include "soil/soil_phases.hpp"

namespace pluvo {

namespace {

// Layer count and thicknesses (m) of cell c under layered soils; the other schemes share one set.
int cell_layers(const model_state& m, int c, std::array<double, 4>& t) {
  if (!m.inf_layered_soil_on) {
    for (int L = 1; L <= 3; ++L) t[size_t(L)] = L <= m.soil_layer_thickness.count ? m.soil_layer_thickness[L] : 0.0;
    return m.soil_contam_layers;
  }
  const double* entry = m.layered_soil_table[size_t(m.soiltype[size_t(c)])].values;
  const double d22 = entry[22], d23 = entry[23], mix = m.mixing_layer_depth_cm;
  if (mix > 1e-16 && d22 > mix) {
    t = {0.0, mix / 100.0, (d22 - mix) / 100.0, d23 / 100.0};
    return 3;
  }
  t = {0.0, d22 / 100.0, d23 / 100.0, 0.0};
  return 2;
}

void set_layer_water(model_state& m) {
  for (int c = 1; c <= m.cell_count; ++c) {
    if (m.inf_redist_on) {
      for (int L = 1; L <= m.soil_contam_layers; ++L)
        m.THETA[c][L] = soil_layer_water_content(m, c, L, m.soil_contam_layers);
    } else if (m.inf_layered_soil_on) {
      std::array<double, 4> t{};
      const int L = cell_layers(m, c, t);
      weight_soil_layers(m, c, t.data(), L, m.THETA, m.THETAS);
    } else {
      m.THETA[c][1] = m.surface_moisture[size_t(c)];
    }
  }
  soil_constituent_block& b = m.soil_constituent_block;
  if (b.cell_count == -1) {
    // Sized for three layers: under layered soils each cell has two or three.
    b.layer_theta.assign(size_t(m.cell_count) + 1, {});
    b.cell_count = m.cell_count;
    b.layer_count = 3;
    b.redist_on = m.inf_redist_on;
  }
  for (int c = 1; c <= m.cell_count; ++c)
    for (int L = 1; L <= 3 && L <= m.THETA.cols(); ++L) b.layer_theta[size_t(c)][size_t(L)] = m.THETA[c][L];
}

// Porosity of layer L of cell c in the dissolved fraction.
double layer_porosity(const model_state& m, int c, int L) {
  if (m.inf_layered_soil_on && m.THETAS.rows() >= c && m.THETAS.cols() >= L) return m.THETAS[c][L];
  return m.porosity_cell[size_t(c)];
}

struct soil_scratch {
  std::vector<std::array<double, 4>> mass, conc, fraction;
  std::vector<double> infil, uptake, exfil, sediment;
  void size(int n) {
    for (auto* v : {&mass, &conc, &fraction}) v->assign(size_t(n) + 1, {});
    for (auto* v : {&infil, &uptake, &exfil, &sediment}) v->assign(size_t(n) + 1, 0.0);
  }
};

void add(checked_array<double>& total, int k, double x) { total[k] += x / 1000.0; }

// Days between soil steps: without soil-moisture accounting the soil keeps infiltration time.
double soil_step_interval(const model_state& m) {
  return m.soil_moisture_accounting_on ? m.soil_moisture_interval : m.infil_interval;
}

// Kinetics and movement of constituent k over dt s; books what moved.
void step_constituent(model_state& m, int k, double dt, soil_scratch& s) {
  double** mass = checked_array_3d_plane(m.soil_mass, k);
  double** conc = checked_array_3d_plane(m.soil_conc, k);
  double** frac = checked_array_3d_plane(m.soil_frac_dissolved, k);
  double* infil = checked_array_2d_row(m.soil_inflow_mass, k);
  double* exchange = checked_array_2d_row(m.soil_exchange_mass, k);
  double* exfil = checked_array_2d_row(m.soil_exfil_mass, k);
  double* land = checked_array_2d_row(m.ov_land_load, k);
  double* ov_exfil = checked_array_2d_row(m.ov_exfil_mass_step, k);
  const double* kd = checked_array_2d_row(m.soil_kd, k);
  const double* decay = checked_array_2d_row(m.soil_decay_rate, k);
  if (!mass || !conc || !frac || !infil || !exchange || !exfil || !land || !ov_exfil || !kd || !decay) return;
  const int type = int(m.constituent_type[k]);
  const int columns = m.soil_mass.columns, n = m.cell_count;
  const int held_layers = m.soil_contam_layers;
  std::array<double, 4> depth{};
  double decayed = 0.0;
  for (int c = 1; c <= n; ++c) {
    const int layers = std::min(cell_layers(m, c, depth), columns);
    s.mass[size_t(c)] = {};
    s.conc[size_t(c)] = {};
    s.fraction[size_t(c)] = {};
    m.soil_contam_layers = layers;  // the layer porosity of the kinetics follows the cell's layers
    for (int L = 1; L <= layers; ++L) {
      s.mass[size_t(c)][size_t(L)] = mass[c][L];
      s.conc[size_t(c)][size_t(L)] = conc[c][L];
      double fd = 1.0;
      if (type == 1) {
        const double theta = m.THETA.cols() >= L ? m.THETA[c][L] : 0.0;
        fd = soil_dissolved_fraction(theta, layer_porosity(m, c, L), kd[c]);
      }
      s.fraction[size_t(c)][size_t(L)] = frac[c][L] = fd;
      if (type == 1)
        exchange_soil_layer_mass(m, c, L, decay[c], dt, fd, s.mass[size_t(c)], s.conc[size_t(c)], depth, decayed);
    }
  }
  m.soil_contam_layers = held_layers;
  m.soil_decay_step[k] += decayed;
  if (type == 2 || type == 3) m.soil_noflux_on = 1;

  // What the sorbed pool of the surface took from (-) or gave to (+) the top layer since the last
  // soil update, [k][cell] like the pool.
  const size_t cells = size_t(n) + 1;
  double* sediment = m.sediment_contam_on && m.ov_sed_con_soil_exchange.size() >= (size_t(k) + 1) * cells
                         ? &m.ov_sed_con_soil_exchange[size_t(k) * cells]
                         : nullptr;
  for (int c = 1; c <= n; ++c) {
    s.infil[size_t(c)] = infil[c];
    s.uptake[size_t(c)] = exchange[c];
    s.exfil[size_t(c)] = exfil[c];
    s.sediment[size_t(c)] = sediment ? sediment[c] : 0.0;
  }
  double down = 0.0, up = 0.0;
  cell_layers(m, 1, depth);
  soil_constituent_tables t{s.mass, s.conc, s.fraction, depth, s.infil, s.uptake, s.exfil, s.sediment, nullptr, down, up};
  update_soil_layer_mass(m, m.soil_constituent_block, t);

  double exfiltrated = 0.0, inflow = 0.0, released = 0.0, gained = 0.0, exchanged = 0.0, sediment_total = 0.0;
  for (int c = 1; c <= n; ++c) {
    land[c] = 0.0;
    for (int L = 1; L <= columns; ++L) {
      double& x = mass[c][L];
      x = s.mass[size_t(c)][size_t(L)];
      conc[c][L] = s.conc[size_t(c)][size_t(L)];
      if (x < 0.0) x = conc[c][L] = 0.0;
      land[c] += x;
    }
    const double e = s.exfil[size_t(c)];
    ov_exfil[c] += e;
    exfiltrated += e;
    exfil[c] = 0.0;
    inflow += infil[c];
    // Positive: the soil gave mass up to the surface water.
    const double x = exchange[c];
    if (x > 1e-16) released += x;
    if (x < -1e-16) gained -= x;
    exchanged += x;
    exchange[c] = infil[c] = 0.0;
    if (!sediment) continue;
    sediment_total += s.sediment[size_t(c)];
    sediment[c] = 0.0;
  }
  add(m.soil_exfil_total, k, exfiltrated);
  add(m.event_soil_inflow_mass, k, inflow);
  add(m.soil_inflow_total, k, inflow);
  add(m.event_soil_exchange_loss, k, released);
  add(m.event_soil_exchange_gain, k, gained);
  add(m.soil_exchange_total, k, exchanged);
  m.soil_out_step[k] += down;
  m.soil_deep_step[k] += down;
  for (auto* terms : {&m.event_constituent_terms, &m.run_constituent_terms}) {
    if (terms->size() <= size_t(k)) continue;
    output_state::constituent_terms& x = (*terms)[size_t(k)];
    x.soil_seep_up += up / 1000.0;
    x.soil_exfil += exfiltrated / 1000.0;
    x.soil_uptake += exchanged / 1000.0;
    x.soil_sed_exchange += sediment_total / 1000.0;
  }
  for (auto* total : {&m.soil_out_total, &m.event_soil_out, &m.GLOBAL_MASS_OUT}) add(*total, k, m.soil_out_step[k]);
  for (auto* total : {&m.soil_deep_total, &m.event_soil_deep}) add(*total, k, m.soil_deep_step[k]);
  for (auto* total : {&m.soil_decay_total, &m.event_soil_decay, &m.GLOBAL_MASS_DECAY}) add(*total, k, m.soil_decay_step[k]);
  m.soil_out_step[k] = m.soil_deep_step[k] = m.soil_decay_step[k] = 0.0;
}

}  // namespace

double soil_dissolved_fraction(double theta, double phi, double kd) {
  // A dry layer without sorption would give 0/0: it holds nothing dissolved.
  const double d = (1.0 - phi) * kd * 2650.0 / 1000.0 + theta;
  return d > 1e-16 ? theta / d : 0.0;
}

void step_soil_water_quality(model_state& m) {
  if (!m.soil_con_trans_on || !(std::fabs(m.soil_con_next_time - m.cur_julian) < m.time_tolerance)) return;
  const double dt = (m.cur_julian - m.soil_wq_last_time) * 86400.0;
  set_layer_water(m);
  // The soil nutrient kinetics keep a clock of their own, a whole number of soil steps long.
  if (m.tvx_state && std::fabs(m.soil_wq_next_time - m.cur_julian) < m.time_tolerance) {
    m.ov_tvx_dt = dt;
    m.soil_tvx_last_time = m.cur_julian;
    m.soil_wq_next_time = m.cur_julian + soil_step_interval(m) * m.soil_kinetics_step_factor;
  }
  static soil_scratch scratch;
  scratch.size(m.cell_count);
  for (int k = 1; k <= m.num_constituents; ++k) step_constituent(m, k, dt, scratch);
  if (m.num_constituents > 0) consume_soil_drainage(m);
  m.soil_wq_last_time = m.cur_julian;
  m.soil_con_next_time = m.soil_moisture_accounting_on ? m.soil_moisture_next_time : m.infil_next_time;
}

}  // namespace pluvo
