// The start of the redistribution state of Green and Ampt with redistribution.
#include <cmath>
#include <cstdio>

#include "record/model_state.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

template <typename V>
bool holds(const V& v, int32_t n) {
  return v.size() > size_t(n);
}

template <typename T>
void size_for(std::vector<T>& v, size_t n) {
  if (v.size() != n) v.assign(n, T());
}

// Sizes the scheme's own state; true when the soil of every cell is there too (and, in
// long-term runs, the soil-moisture store it starts from).
bool redistribution_arrays_ready(model_state& m) {
  const int32_t n = m.cell_count;
  const size_t size = size_t(n) + 1;
  for (auto* v : {&m.no_wat_prof, &m.iter_pond_1, &m.iter_n, &m.iter_i_less_k}) size_for(*v, size);
  for (auto* v : {&m.infil_depth, &m.infil_depth_prev, &m.redist_depth}) size_for(*v, size);
  if (!holds(m.initial_moisture_cell, n) || !holds(m.porosity_cell, n) || !holds(m.residual_sat_cell, n))
    return false;
  for (auto* v : {&m.redist_theta, &m.redist_surface_theta})
    if (v->size() != size) *v = m.initial_moisture_cell;
  return !m.long_term_on || (holds(m.sm_depth_cell, n) && holds(m.sm_water_top, n));
}

}  // namespace

const layered_soil_entry* soil_class_of(const model_state& m, int32_t j) {
  if (size_t(j) >= m.soiltype.size()) return nullptr;
  const int32_t k = m.soiltype[size_t(j)];
  if (k < 0 || size_t(k) >= m.layered_soil_table.size()) return nullptr;
  return &m.layered_soil_table[size_t(k)];
}

void move_cm_to_total(std::vector<double>& cm, int32_t j, double area, double& total) {
  if (cm.empty()) return;
  total += cm[size_t(j)] / 100.0 * area;
  cm[size_t(j)] = 0.0;
}

// Redistribution state of every cell, and in long-term runs the moisture the soil-moisture
// accounting left in the top layer.
void start_redistribution(model_state& m) {
  m.inf_redist_initialized = 1;
  m.initial_soil_water = 0.0;
  const int32_t n = m.cell_count;
  const double area = m.cell_size * m.cell_size;
  if (!redistribution_arrays_ready(m)) return;
  for (int32_t j = 1; j <= n; ++j) {
    const size_t c = size_t(j);
    m.no_wat_prof[c] = 0;
    m.iter_pond_1[c] = 0;
    m.iter_n[c] = 0;
    m.iter_i_less_k[c] = 0;
    m.infil_depth[c] = 0.0;
    m.infil_depth_prev[c] = 0.0;
    m.redist_depth[c] = 0.0;
    if (!m.long_term_on) {
      m.redist_theta[c] = m.initial_moisture_cell[c];
      m.redist_surface_theta[c] = m.initial_moisture_cell[c];
      continue;
    }
    const double phi = m.porosity_cell[c];
    const double thr = m.residual_sat_cell[c];
    double& thi = m.initial_moisture_cell[c];
    const double depth = m.sm_depth_cell[c];
    thi = depth > 1e-16 ? m.sm_water_top[c] / std::fmin(m.top_layer_depth_cm, depth) : phi;
    if (thr > thi || thi > phi) std::printf("cell: %d  thi: %lf  thr: %lf   phi: %lf\n", j, thi, thr, phi);
    if (thi < thr) {
      thi = thr + 0.01;
      std::printf("Problem initializing inf_redist in main loop, thi<thr at grid cell %d, increasing it to %lf\n",
                  j, thi);
    } else if (thi > phi) {
      thi = phi - 0.01;
      std::printf("Problem initializing inf_redist in main loop, thi>phi at grid cell %d, decreasing it to %lf\n",
                  j, thi);
    }
    const double relative = thi / phi;
    m.initial_soil_water += relative;
    if (std::isnan(relative) && m.silent_mode != 1) std::printf("bad initial value of soil moisture cell %d\n", j);
    if (!m.gw_simulation_on) move_cm_to_total(m.unsat_downward_flux, j, area, m.unsat_downward_volume);
    move_cm_to_total(m.direct_evap_cell, j, area, m.direct_evap_volume_total);
    m.redist_theta[c] = thi;
    m.redist_surface_theta[c] = thi;
  }
  if (n > 0) m.initial_soil_water /= double(n);
}

}  // namespace pluvo
