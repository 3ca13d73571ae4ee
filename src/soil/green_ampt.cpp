// Plain Green and Ampt infiltration from the ponded depth of every cell.
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/parallel_team.hpp"
#include "record/model_state.hpp"
#include "soil/infiltration_methods.hpp"

namespace pluvo {

namespace {

constexpr int newton_iteration_limit = 100;
// Newton stops once the error left after its last update, about c x step^2 with
// c = |r''| / (2 |r'|), is below this fraction of the increment: the root to round-off.
constexpr double newton_relative_error = 1e-14;

bool is_head_boundary(const model_state& m, int i) {
  if (!m.ov_boundary_on || m.boundary_type.size() <= size_t(m.cell_count)) return false;
  const int t = m.boundary_type[i];
  return t == 2 || t == 3 || t == 9;
}

// A soil wetter than its porosity, a negative or non-real conductivity or front: the
// front equation has no sound root; the plain Newton solve from 1 mm beyond the front is
// kept for them, and reports what it cannot solve.
bool unsound_front(double k, double psi_dtheta, double f0, double dt, double& f) {
  f = f0 + 0.001;
  for (int it = 0; it < newton_iteration_limit; it++) {
    const double r = k * dt - (f - f0) + psi_dtheta * std::log((f + psi_dtheta) / (f0 + psi_dtheta));
    f -= r / (psi_dtheta / (f + psi_dtheta) - 1.0);
    if (!std::isfinite(f)) return false;
    if (std::fabs(r) <= 1e-6) return true;
  }
  return false;
}

}  // namespace

// Solves K dt = x - P ln(1 + x / (F0 + P)) for the step's increment x = F - F0 by Newton.
// With q = F0 + P the left side is x F0 / q + P x^2 / (2 q^2) - P x^3 / (3 q^3) + ...; the
// start is the root of the first two terms, x = 2 K dt q / (F0 + sqrt(F0^2 + 2 P K dt))
// (sound for a front at 0, where it is sqrt(2 P K dt)), moved by the third, so that one
// Newton step usually reaches round-off. Using log1p of the increment keeps the residual
// exact when x is small beside q.
bool green_ampt_front(double k, double psi_dtheta, double f0, double dt, double& f) {
  const double p = psi_dtheta, kdt = k * dt;
  if (p == 0.0) {  // a saturated soil takes water at its conductivity
    f = f0 + kdt;
    return std::isfinite(f);
  }
  if (kdt == 0.0) {  // nothing enters: the front stays
    f = f0;
    return std::isfinite(f);
  }
  if (!(p > 0.0) || !(kdt > 0.0) || !(f0 >= 0.0)) return unsound_front(k, p, f0, dt, f);
  const double q = f0 + p;
  double x = 2.0 * kdt * q / (f0 + std::sqrt(f0 * f0 + 2.0 * p * kdt));
  x += p * x * x * x / (3.0 * q * (f0 * q + p * x));
  for (int it = 0; it < newton_iteration_limit; it++) {
    const double r = kdt - x + p * std::log1p(x / q);
    const double step = r / (p / (q + x) - 1.0);
    x -= step;
    if (!std::isfinite(x)) return false;
    if (p * step * step <= newton_relative_error * 2.0 * (x + f0) * (q + x) * x) {
      f = f0 + x;
      return true;
    }
  }
  return false;
}

bool green_ampt_parallel(model_state& m, double dt) {
  const int n = m.cell_count;
  const size_t size = size_t(n) + 1;
  for (const auto* v : {&m.ov_depth, &m.ks_cell, &m.hc_cell, &m.porosity_cell, &m.initial_moisture_cell}) {
    if (v->size() >= size) continue;
    stop_run(
                      "Green and Ampt infiltration needs the conductivity, capillary head, porosity and initial moisture of every cell.\n");
    report_error(error_state);
    return false;
  }
  for (auto* v : {&m.infil_depth, &m.infil_rate})
    if (v->size() != size) v->assign(size, 0.0);

  const bool lakes = m.lakes_on && m.lake_mask.size() > size_t(m.cell_count);
  const bool reduce = m.area_reduction_on && m.area_reduction_factor.size() > size_t(m.cell_count);
  const double area = m.cell_size * m.cell_size;
  double* h = m.ov_depth.data();
  double* front = m.infil_depth.data();
  double* rate = m.infil_rate.data();
  // Sums the volume gained by head boundaries and counts the cells whose wetting-front
  // solve failed; those are marked by a non-real rate.
  const std::array<double, 2> sums = parallel_cell_sums<2>(n, [&](int i) -> std::array<double, 2> {
    const double depth = h[i];
    if (depth < 1e-16) {
      rate[i] = 0.0;
      h[i] = 0.0;
      return {0.0, 0.0};
    }
    if (lakes && m.lake_mask[i] >= 1) {
      rate[i] = 0.0;
      return {0.0, 0.0};
    }
    const double k = m.ks_cell[i];
    // psi x delta theta, made where it is used rather than kept in an array of its own.
    const double psi_dtheta = m.hc_cell[i] * (m.porosity_cell[i] - m.initial_moisture_cell[i]);
    double f_end;
    if (!green_ampt_front(k, psi_dtheta, front[i], dt, f_end)) {
      rate[i] = std::numeric_limits<double>::quiet_NaN();
      return {0.0, 1.0};
    }
    double f = f_end > 1e-16 ? k * (1.0 + psi_dtheta / f_end) : k;
    if (reduce) f *= m.area_reduction_factor[i];
    const bool boundary = is_head_boundary(m, i);
    double gain = 0.0;
    if (f * dt >= depth) {
      f = depth / dt;
      if (boundary)
        gain = depth * area;
      else
        h[i] = 0.0;
    } else if (boundary) {
      gain = f * dt * area;
    } else {
      h[i] = depth - f * dt;
    }
    front[i] += f * dt;
    rate[i] = f * 360000.0;
    return {gain, 0.0};
  });
  m.ov_head_bound_gain += sums[0];
  if (sums[1] > 0.0) {
    int failed_cell = 1;
    while (failed_cell < n && !std::isnan(rate[failed_cell])) failed_cell++;
    stop_run(
                      "Green and Ampt infiltration failed to converge in cell %d: check its conductivity, capillary head, porosity and initial moisture.\n",
                      failed_cell);
    report_error(error_state);
    return false;
  }
  return true;
}

}  // namespace pluvo
