// Green and Ampt through three soil layers: a front crossing layers 1 and 2 of given thickness
// into a layer 3 without bottom, under the harmonic mean conductivity of the wetted depth.
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "common/parallel_team.hpp"
#include "record/model_state.hpp"
#include "soil/hydraulic_functions.hpp"
#include "soil/infiltration_methods.hpp"
#include "soil/soil_phases.hpp"
#include "soil/soil_temperature.hpp"

namespace pluvo {

namespace {

// Columns of a layered soil entry (layer L at offset L - 1).
constexpr int col_suction = 0;
constexpr int col_conductivity = 4;
constexpr int col_porosity = 7;
constexpr int col_initial = 10;
constexpr int col_wilting = 13;
constexpr int col_field_capacity = 16;
constexpr int col_residual = 19;
constexpr int col_thickness = 22;
constexpr int col_pore_index = 25;

constexpr int newton_iteration_limit = 100;
constexpr double newton_tolerance_cm = 0.0001;

template <typename V>
bool holds(const V& v, int n) {
  return v.size() > size_t(n);
}

// Front depth Fn (cm) after dt_h hours from F: Fn - F - P ln((Fn + P)/(F + P)) = K dt_h.
// False when the solve does not settle or leaves the real numbers.
bool layered_front(double k, double p, double f, double dt_h, double& fn) {
  if (p == 0.0) {  // no suction: the front takes water at the conductivity
    fn = f + k * dt_h;
    return std::isfinite(fn);
  }
  fn = f + 0.1;
  double r = p * std::log((fn + p) / (f + p)) + k * dt_h - fn + f;
  for (int it = 0; !(std::fabs(r) <= newton_tolerance_cm); it++) {
    if (it == newton_iteration_limit || !std::isfinite(r)) return false;
    fn -= r / (p / (fn + p) - 1.0);
    r = p * std::log((fn + p) / (f + p)) + k * dt_h - fn + f;
  }
  return std::isfinite(fn);
}

}  // namespace

void read_layered_soil_table(checked_file& file, model_state& m) {
  auto line = std::make_unique<char[]>(line_buffer_size);
  int32_t classes = 0, unused = 0;
  if (!read_line(line.get(), file)) return;
  next_int(line.get(), classes);
  if (!read_line(line.get(), file)) return;
  next_int(line.get(), unused);
  const int largest = int(layered_soil_table_size) - 1;
  for (int c = 0; c < classes; c++) {
    if (!read_line(line.get(), file)) return;
    int32_t id = 0;
    next_int(line.get(), id);
    if (id < 0 || id > largest) {
      stop_run("Error: soil class %d in the multi-layer soil table %s is outside 0 to %d\n", id,
               file.path.c_str(), largest);
      return;
    }
    std::array<std::array<double, 9>, 3> layers{};
    for (auto& values : layers) {
      if (!read_line(line.get(), file)) return;
      for (double& v : values) next_double(line.get(), v);  // a missing value reads as 0
    }
    double* row = m.layered_soil_table[size_t(id)].values;
    for (int l = 0; l < 3; l++) {
      const auto& v = layers[size_t(l)];
      row[col_conductivity + l] = v[0];
      row[col_pore_index + l] = v[1];
      row[col_suction + l] = v[2];
      row[col_porosity + l] = v[3];
      row[col_field_capacity + l] = v[4];
      row[col_wilting + l] = v[5];
      row[col_residual + l] = v[6];
      row[col_initial + l] = v[7];
      if (l < 2) row[col_thickness + l] = v[8];
    }
  }
}

bool layered_top_conductance(const model_state& m, int cell, double& k_cm_h, double& depth_cm) {
  if (!holds(m.soiltype, m.cell_count) || cell < 1 || cell > m.cell_count) return false;
  const int s = m.soiltype[size_t(cell)];
  if (s < 0 || size_t(s) >= layered_soil_table_size) return false;
  const double* row = m.layered_soil_table[size_t(s)].values;
  k_cm_h = row[col_conductivity];
  depth_cm = row[col_thickness] + row[col_thickness + 1];
  return true;
}

void infiltration_mlga_parallel(model_state& m, double dt) {
  const int n = m.cell_count;
  if (!holds(m.ov_depth, n) || !holds(m.soiltype, n) || !holds(m.THETA_ML, n) || !holds(m.wetdep, n)) {
    stop_run("Multi-layer Green and Ampt infiltration needs the soil class and layer moistures of every cell.\n");
    return;
  }
  for (auto* v : {&m.infil_depth, &m.infil_rate})
    if (v->size() != size_t(n) + 1) v->assign(size_t(n) + 1, 0.0);
  const double dt_h = dt / 3600.0;
  const double area = m.cell_size * m.cell_size;
  const bool lakes = m.lakes_on && holds(m.lake_mask, n);
  const bool reduce = m.area_reduction_on && holds(m.area_reduction_factor, n);
  const bool gipl = m.permafrost_gipl_flag || m.multi_layer_infil_gipl_flag;
  const bool frozen = !gipl && m.gtfsm_on && holds(m.SE, n);
  const bool boundaries = m.ov_boundary_on && holds(m.boundary_type, n);
  const bool snow_sealed = m.long_term_on && m.snow_no_infiltrate_on && holds(m.snow_no_infil_cell, n);
  const double nan = std::numeric_limits<double>::quiet_NaN();

  // Sums the volume booked to head boundaries, counts the cells whose front solve failed (their
  // rate is left non-real) and those whose depth became non-real.
  const std::array<double, 3> sums = parallel_cell_sums<3>(n, [&](int i) -> std::array<double, 3> {
    double& depth = m.ov_depth[i];
    double& rate = m.infil_rate[i];
    if (depth < 1e-16 || (lakes && m.lake_mask[i] > 0) || (snow_sealed && m.snow_no_infil_cell[i] == 1)) {
      rate = 0.0;
      return {0.0, 0.0, 0.0};
    }
    const double h = depth * 100.0;
    const double* row = m.layered_soil_table[size_t(m.soiltype[i])].values;
    std::array<double, 3> dtheta{}, k{};
    for (int l = 0; l < 3; l++) {
      const double phi = row[col_porosity + l];
      dtheta[size_t(l)] = phi - m.THETA_ML[i][size_t(l) + 1];
      if (dtheta[size_t(l)] == 0.0) dtheta[size_t(l)] = 0.01 * phi;
      k[size_t(l)] = row[col_conductivity + l];
    }
    if (gipl)
      for (int l = 0; l < 3; l++) k[size_t(l)] = frozen_soil_conductivity(m, i, l + 1, k[size_t(l)]);
    else if (frozen)
      k[0] = bounded_power(k[0], m.SE[i]);
    const double d1 = row[col_thickness], d2 = row[col_thickness + 1];
    const double z = m.wetdep[i], f = m.infil_depth[i] * 100.0;
    double layer_dtheta, psi, keff;
    if (z > d1 + d2) {
      const double z3 = (f - d1 * dtheta[0] - d2 * dtheta[1]) / dtheta[2];
      layer_dtheta = dtheta[2];
      psi = row[col_suction + 2];
      keff = (z3 + d1 + d2) / (d1 / k[0] + d2 / k[1] + z3 / k[2]);
    } else if (z > d1) {
      const double z2 = (f - d1 * dtheta[0]) / dtheta[1];
      layer_dtheta = dtheta[1];
      psi = row[col_suction + 1];
      keff = (z2 + d1) / (d1 / k[0] + z2 / k[1]);
    } else {
      layer_dtheta = dtheta[0];
      psi = row[col_suction];
      keff = k[0];
    }
    const double p = psi * layer_dtheta;
    double fn = 0.0;
    if (!layered_front(keff, p, f, dt_h, fn)) {
      rate = nan;
      return {0.0, 1.0, 0.0};
    }
    double capacity = fn > 1e-16 ? keff * (1.0 + p / fn) : keff;
    double z_new = fn / dtheta[0];
    if (z_new > d1) z_new = d1 + (fn - d1 * dtheta[0]) / dtheta[1];
    if (z_new > d1 + d2) z_new = d1 + d2 + (fn - d1 * dtheta[0] - d2 * dtheta[1]) / dtheta[2];
    if (reduce && m.area_reduction_factor[i] < 1.0) capacity *= m.area_reduction_factor[i];
    const bool boundary =
        boundaries && (m.boundary_type[i] == 2 || m.boundary_type[i] == 3 || m.boundary_type[i] == 9);
    double gain = 0.0;
    if (capacity * dt_h <= h) {  // ponded
      rate = capacity;
      if (boundary)
        gain = capacity * dt_h / 100.0 * area;
      else
        depth -= capacity * dt_h / 100.0;
      m.infil_depth[i] += capacity * dt_h / 100.0;
      m.wetdep[i] = z_new;
    } else {  // all the water enters
      rate = h / dt_h;
      if (boundary)
        gain = h / 100.0 * area;
      else
        depth = 0.0;
      m.infil_depth[i] += h / 100.0;
      m.wetdep[i] += h / layer_dtheta;
    }
    return {gain, 0.0, std::isnan(depth) ? 1.0 : 0.0};
  });
  m.ov_head_bound_gain += sums[0];
  if (sums[2] > 0.0)
    for (int i = 1; i <= n; i++)
      if (std::isnan(m.ov_depth[i]))
        std::printf("A non-real number for water depth has been detected for overland cell %d in MLGA \n", i);
  if (sums[1] > 0.0) {
    int failed = 1;
    while (failed < n && !std::isnan(m.infil_rate[failed])) failed++;
    stop_run("Multi-layer Green and Ampt infiltration failed to converge in cell %d: check the layers of its soil "
             "class in the multi-layer soil table.\n",
             failed);
  }
}

}  // namespace pluvo
