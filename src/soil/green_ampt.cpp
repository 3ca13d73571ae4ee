// Plain Green and Ampt infiltration from the ponded depth of every cell.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/parallel_fill.hpp"
#include "common/parallel_team.hpp"
#include "record/model_state.hpp"
#include "soil/infiltration_methods.hpp"

namespace pluvo {

namespace {

constexpr int newton_iteration_limit = 100;
// Newton stops once the error left after its last update, about c x step^2 with
// c = |r''| / (2 |r'|), is below this fraction of the increment: the root to round-off.
constexpr double newton_relative_error = 1e-14;

// Boundary types per cell when head boundaries can take the water, else null.
const int* head_boundary_types(const model_state& m) {
  if (!m.ov_boundary_on || m.boundary_type.size() <= size_t(m.cell_count)) return nullptr;
  return m.boundary_type.data();
}

inline bool is_head_boundary(const int* types, int i) {
  if (!types) return false;
  const int t = types[i];
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

// ln(1 + u) for |u| <= 2^-8 by its series to u^8 (the next term is below 1e-20 of the
// sum), a few multiply-adds where the library's log1p costs as much as the rest of the
// solve; beyond that the library's.
constexpr double log1p_series_bound = 0x1p-8;

inline double log1p_series(double u) {
  return u * (1.0 + u * (-0.5 + u * (1.0 / 3.0 + u * (-0.25 + u * (0.2 + u * (-1.0 / 6.0 + u * (1.0 / 7.0 - u * 0.125)))))));
}

inline double log1p_near_zero(double u) {
  return std::fabs(u) <= log1p_series_bound ? log1p_series(u) : std::log1p(u);
}

// The start of the solve below for q = F0 + P.
inline double expansion_start(double kdt, double p, double f0, double q) {
  const double x = 2.0 * kdt * q / (f0 + std::sqrt(f0 * f0 + 2.0 * p * kdt));
  return x + p * x * x * x / (3.0 * q * (f0 * q + p * x));
}

// Newton's step for the residual r at x.
inline double newton_step(double r, double f0, double q, double x) { return -r * (q + x) / (f0 + x); }

// True once the step just taken to x leaves an error below round-off.
inline bool at_root(double step, double p, double f0, double q, double x) {
  return p * step * step <= newton_relative_error * 2.0 * (x + f0) * (q + x) * x;
}

// Solves K dt = x - P ln(1 + x / (F0 + P)) for the step's increment x = F - F0 by Newton.
// With q = F0 + P the left side is x F0 / q + P x^2 / (2 q^2) - P x^3 / (3 q^3) + ...; the
// start is the root of the first two terms, x = 2 K dt q / (F0 + sqrt(F0^2 + 2 P K dt))
// (sound for a front at 0, where it is sqrt(2 P K dt)), moved by the third, so that one
// Newton step usually reaches round-off. Using log1p of the increment keeps the residual
// exact when x is small beside q. The slope of the residual, P / (q + x) - 1, is
// -(F0 + x) / (q + x), so a Newton step takes one division.
inline bool front_increment(double k, double p, double f0, double dt, double& f) {
  const double kdt = k * dt;
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
  double x = expansion_start(kdt, p, f0, q);
  for (int it = 0; it < newton_iteration_limit; it++) {
    const double step = newton_step(kdt - x + p * log1p_near_zero(x / q), f0, q, x);
    x -= step;
    if (!std::isfinite(x)) return false;
    if (at_root(step, p, f0, q, x)) {
      f = f0 + x;
      return true;
    }
  }
  return false;
}

// Cells solved together: their starts and first Newton steps run side by side in vector
// registers, where one cell alone waits on a chain of divisions and a square root.
constexpr int chunk_cells = 256;

struct chunk_capacity {
  double capacity[chunk_cells];  // K (1 + P / F) at the step's end, m/s
  double done[chunk_cells];      // 1 where the front reached its root in the first Newton step, else 0
};

// front_increment's start and first Newton step for cells first..first+count-1, without
// branches: the same operations in the same order, so a cell marked done has the front the
// cell-by-cell solve gives. Cells off its common path (a saturated, unsound or dry soil, an
// increment too large for the series of the logarithm, a second step needed) are left to it.
// Copies for wider vector units are chosen when the program starts; none fuses a multiply
// and an add, so all give the same numbers.
__attribute__((target_clones("avx512f", "avx2", "default")))
void solve_chunk(const double* ks, const double* hc, const double* porosity, const double* moisture,
                 const double* front, int first, int count, double dt, chunk_capacity& c) {
#pragma omp simd
  for (int j = 0; j < count; j++) {
    const int i = first + j;
    const double k = ks[i], p = hc[i] * (porosity[i] - moisture[i]), f0 = front[i], kdt = k * dt;
    const bool sound = (p > 0.0) & (kdt > 0.0) & (f0 >= 0.0);
    // Harmless operands where the cell is not solved here.
    const double ps = sound ? p : 1.0, kdts = sound ? kdt : 1.0, fs = sound ? f0 : 0.0;
    const double q = fs + ps;
    double x = expansion_start(kdts, ps, fs, q);
    const double u = x / q;
    const double step = newton_step(kdts - x + ps * log1p_series(u), fs, q, x);
    x -= step;
    const double f_end = fs + x, capacity = k * (1.0 + ps / f_end);  // made for every lane, kept where sound
    c.capacity[j] = f_end > 1e-16 ? capacity : k;
    // Flags as 1 or 0 multiplied: with bools mixed in, the loop is not vectorized.
    const double small = std::fabs(u) <= log1p_series_bound ? 1.0 : 0.0;
    const double root = at_root(step, ps, fs, q, x) ? 1.0 : 0.0;
    const double finite = x - x == 0.0 ? 1.0 : 0.0;
    c.done[j] = (sound ? 1.0 : 0.0) * small * root * finite;
  }
}

}  // namespace

bool green_ampt_front(double k, double psi_dtheta, double f0, double dt, double& f) {
  return front_increment(k, psi_dtheta, f0, dt, f);
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
    if (v->size() != size) assign_fresh(*v, size);

  const int* lake = m.lakes_on && m.lake_mask.size() > size_t(m.cell_count) ? m.lake_mask.data() : nullptr;
  const double* reduction =
      m.area_reduction_on && m.area_reduction_factor.size() > size_t(m.cell_count) ? m.area_reduction_factor.data()
                                                                                   : nullptr;
  const int* types = head_boundary_types(m);
  const double* ks = m.ks_cell.data();
  const double* hc = m.hc_cell.data();
  const double* porosity = m.porosity_cell.data();
  const double* moisture = m.initial_moisture_cell.data();
  const double area = m.cell_size * m.cell_size;
  double* h = m.ov_depth.data();
  double* front = m.infil_depth.data();
  double* rate = m.infil_rate.data();
  // Takes the step's infiltration from cell i at capacity cap (m/s, before any area
  // reduction); returns the volume gained by a head boundary.
  const auto infiltrate = [=](int i, double depth, double cap) {
    double f = cap;
    if (reduction) f *= reduction[i];
    const bool boundary = is_head_boundary(types, i);
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
    return gain;
  };
  // Sums the volume gained by head boundaries and counts the cells whose wetting-front
  // solve failed; those are marked by a non-real rate. The pointers are taken by value: the
  // loop reads them once, not through a reference after every store.
  const std::array<double, 2> sums = parallel_block_sums<2>(n, [=](int first, int last) {
    std::array<double, 2> sum{};
    chunk_capacity c;
    for (int start = first; start <= last; start += chunk_cells) {
      const int count = std::min(chunk_cells, last - start + 1);
      // One wet cell is enough to solve the chunk.
      bool any_wet = false;
      for (int i = start; i < start + count && !any_wet; i++) any_wet = h[i] >= 1e-16;
      if (any_wet) solve_chunk(ks, hc, porosity, moisture, front, start, count, dt, c);
      for (int j = 0; j < count; j++) {
        const int i = start + j;
        const double depth = h[i];
        if (depth < 1e-16) {
          rate[i] = 0.0;
          h[i] = 0.0;
          continue;
        }
        if (lake && lake[i] >= 1) {
          rate[i] = 0.0;
          continue;
        }
        double cap = c.capacity[j];
        if (c.done[j] == 0.0) {
          const double k = ks[i];
          // psi x delta theta, made where it is used rather than kept in an array of its own.
          const double psi_dtheta = hc[i] * (porosity[i] - moisture[i]);
          double f_end;
          if (!front_increment(k, psi_dtheta, front[i], dt, f_end)) {
            rate[i] = std::numeric_limits<double>::quiet_NaN();
            sum[1] += 1.0;
            continue;
          }
          cap = f_end > 1e-16 ? k * (1.0 + psi_dtheta / f_end) : k;
        }
        sum[0] += infiltrate(i, depth, cap);
      }
    }
    return sum;
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
