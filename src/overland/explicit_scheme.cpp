#include "overland/explicit_scheme.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "channel/channel_services.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "overland/face_law.hpp"
#include "run/model_state.hpp"

namespace pluvo {

namespace {

constexpr double max_face_depth_change = 0.06;  // m moved across one face in one sub-step
constexpr double min_depth_after_step = -0.0001;
constexpr double smallest_substep = 0.005;     // s
constexpr int max_divisions_per_call = 5;
constexpr double plain_slope_addend = 1e-30;

// Flat views of the record that one sub-step reads and writes.
struct face_inputs {
  int n = 0;
  double dx = 0.0;
  const double* h = nullptr;
  const double* r = nullptr;
  const double* rough = nullptr;
  const double* sx = nullptr;
  const double* sy = nullptr;
  const int* right = nullptr;
  const int* below = nullptr;
  const int* left = nullptr;
  const int* above = nullptr;
  const int* dike = nullptr;
  const int* wet = nullptr;
  const std::array<double, 8>* wet_props = nullptr;
  int wet_count = 0;
  double* qx = nullptr;
  double* qy = nullptr;
  double* tx = nullptr;
  double* ty = nullptr;
  double* next = nullptr;
};

template <bool Wetlands>
inline double face_discharge(const face_inputs& f, int j, int nb, double ground_slope) {
  const double hj = f.h[j], hnb = f.h[nb];
  const double s = water_surface_slope(ground_slope, hj, hnb, f.dx, plain_slope_addend);
  if constexpr (Wetlands) {
    const int id = f.wet[j];
    if (id >= 1 && id <= f.wet_count)
      return wetland_face_discharge(s, hj, hnb, f.r[nb], f.wet[nb] >= 1, f.wet_props[id],
                                    f.rough[nb]);
  }
  return plain_face_discharge(s, hj, hnb, f.r[j], f.r[nb], f.rough[j]);
}

// Both faces of every cell; each face is written only by its left or upper cell, so the
// loop has no shared writes. Returns the number of faces that move too much water.
template <bool Wetlands, bool Dikes>
int compute_faces(const face_inputs& f, double dts) {
  const double to_depth = dts / f.dx;
  int celerity_failures = 0;
#pragma omp parallel for schedule(static) reduction(+ : celerity_failures)
  for (int j = 1; j <= f.n; j++) {
    const int dike = Dikes ? f.dike[j] : 0;
    const int r = f.right[j];
    if (r == 0 || (dike & 2)) {  // closed face
      f.qx[j] = 0.0;
      f.tx[j] = 0.0;
    } else {
      const double q = face_discharge<Wetlands>(f, j, r, f.sx[j]);
      f.qx[j] = q;
      f.tx[j] = q * to_depth;
      if (std::fabs(f.tx[j]) >= max_face_depth_change) celerity_failures++;
    }
    const int b = f.below[j];
    if (b == 0 || (dike & 4)) {
      f.qy[j] = 0.0;
      f.ty[j] = 0.0;
    } else {
      const double q = face_discharge<Wetlands>(f, j, b, f.sy[j]);
      f.qy[j] = q;
      f.ty[j] = q * to_depth;
      if (std::fabs(f.ty[j]) >= max_face_depth_change) celerity_failures++;
    }
  }
  return celerity_failures;
}

// Gathers the face transfers into each cell's new depth in a fixed order, so the sums are
// the same on any thread count. Returns the number of cells that would fall below
// min_depth_after_step.
int gather_faces(const face_inputs& f) {
  int dry_failures = 0;
#pragma omp parallel for schedule(static) reduction(+ : dry_failures)
  for (int i = 1; i <= f.n; i++) {
    double change = -f.tx[i] - f.ty[i];
    if (f.left[i]) change += f.tx[f.left[i]];
    if (f.above[i]) change += f.ty[f.above[i]];
    f.next[i] = f.h[i] + change;
    if (f.next[i] < min_depth_after_step) dry_failures++;
  }
  return dry_failures;
}

int sub_step(const face_inputs& f, double dts, bool wetlands, bool dikes) {
  int failures;
  if (wetlands)
    failures = dikes ? compute_faces<true, true>(f, dts) : compute_faces<true, false>(f, dts);
  else
    failures = dikes ? compute_faces<false, true>(f, dts) : compute_faces<false, false>(f, dts);
  return failures + gather_faces(f);
}

// Names the failing faces and cells, in sweep order; at most limit lines.
void print_failures(const face_inputs& f, int sweep_order, int limit) {
  int printed = 0;
  const bool y_first = sweep_order == 1;
  for (int pass = 0; pass < 2; pass++) {
    const bool y = (pass == 0) == y_first;
    const double* t = y ? f.ty : f.tx;
    for (int j = 1; j <= f.n && printed < limit; j++) {
      if (std::fabs(t[j]) < max_face_depth_change) continue;
      if (y)
        message_out("need to split...(y-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n",
                    std::fabs(t[j]), -t[j], f.h[j] - t[j]);
      else
        message_out("need to split...(x-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n",
                    std::fabs(t[j]), -t[j], f.h[j] - t[j]);
      printed++;
    }
  }
  // A cell drained below zero by all its faces together, named with the last sweep.
  for (int i = 1; i <= f.n && printed < limit; i++) {
    if (f.next[i] >= min_depth_after_step) continue;
    const double du = std::max(std::fabs(f.tx[i]), std::fabs(f.ty[i]));
    const double dh = f.next[i] - f.h[i];
    if (y_first)
      message_out("need to split...(x-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n", du, dh,
                  f.next[i]);
    else
      message_out("need to split...(y-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n", du, dh,
                  f.next[i]);
    printed++;
  }
}

template <typename T>
void size_for(std::vector<T>& v, size_t n) {
  if (v.size() != n) v.assign(n, T());
}

face_inputs bind_inputs(model_state& m) {
  const size_t size = size_t(m.cell_count) + 1;
  size_for(m.ov_qx, size);
  size_for(m.ov_qy, size);
  size_for(m.explicit_saved_depth, size);
  size_for(m.explicit_next_depth, size);
  size_for(m.explicit_transfer_x, size);
  size_for(m.explicit_transfer_y, size);
  face_inputs f;
  f.n = m.cell_count;
  f.dx = m.cell_size;
  f.h = m.ov_depth.data();
  f.r = m.retent_dep.data();
  f.rough = m.dist_rough.data();
  f.sx = m.slope_x.data();
  f.sy = m.slope_y.data();
  f.right = m.rightcon.data();
  f.below = m.belowcon.data();
  f.left = m.leftcon.data();
  f.above = m.abovecon.data();
  f.dike = m.dike_mask.data();
  f.wet = m.wetland_mask.data();
  f.wet_props = m.wetland_properties.data();
  f.wet_count = int(m.wetland_properties.size()) - 1;
  f.qx = m.ov_qx.data();
  f.qy = m.ov_qy.data();
  f.tx = m.explicit_transfer_x.data();
  f.ty = m.explicit_transfer_y.data();
  f.next = m.explicit_next_depth.data();
  return f;
}

void copy_depths(double* to, const double* from, int n) {
#pragma omp parallel for schedule(static)
  for (int i = 1; i <= n; i++) to[i] = from[i];
}

// Sub-steps the whole step; after a failure the step starts again from the saved depths
// with a third of the sub-step.
void route_plain(model_state& m, double dt, double dts) {
  const bool quiet = m.quiet_on != 0;
  const bool wetlands = m.wetland_on != 0 && !m.wetland_mask.empty();
  const bool dikes = m.dike_map_on != 0 && !m.dike_mask.empty();
  int divisions = 0;
  bool too_small = false;
  for (;;) {
    copy_depths(m.ov_depth.data(), m.explicit_saved_depth.data(), m.cell_count);
    bool restart = false;
    double t = 0.0;
    while (dt - t > 0.0) {
      const double step = explicit_next_substep(dt, t, dts);
      face_inputs f = bind_inputs(m);
      const int failures = sub_step(f, step, wetlands, dikes);
      if (failures > 0 && !too_small) {
        const bool at_limit = dts <= smallest_substep;
        print_failures(f, m.explicit_control.sweep_order, at_limit ? 1 : failures);
        if (at_limit) {
          too_small = true;
        } else if (divisions < max_divisions_per_call) {
          dts = explicit_divide_substep(m.explicit_control, dts, quiet);
          divisions++;
          restart = true;
          break;
        } else {
          too_small = true;
          if (!quiet) message_out(" *Time step to small to divide, continuing with current time step\n");
        }
      }
      std::swap(m.ov_depth, m.explicit_next_depth);
      t = step >= dt - t ? dt : t + step;
    }
    if (!restart) return;
  }
}

// Drains the outlet cell over the outlet slope; never more than the cell holds.
double drain_outlet(model_state& m, double dt) {
  if (m.chan_explic_on) return 0.0;
  const int o = m.outlet_cell;
  if (o < 1 || o > m.cell_count) return 0.0;
  const double h = m.ov_depth[o];
  if (!(h > 0.0)) return 0.0;
  const double dx = m.cell_size;
  const double q = std::pow(h, 1.666667) * std::sqrt(m.outlet_slope) * dx / m.dist_rough[o];
  const double held = h * dx * dx;
  double volume = q * dt;
  if (volume >= held) {
    volume = held;
    m.ov_depth[o] = 0.0;
  } else {
    m.ov_depth[o] = h - volume / (dx * dx);
  }
  return volume;
}

}  // namespace

double explicit_first_substep(explicit_step_control& c, double dt, bool quiet) {
  if (c.calls_left >= 1) {
    c.calls_left--;
    c.changed = 1;
    return c.reduced_substep;
  }
  if (c.changed) {
    if (!quiet) message_out("Resetting time step to %4.2lf for overland flow...\n", dt);
    c.changed = 0;
  }
  return dt;
}

double explicit_divide_substep(explicit_step_control& c, double dts, bool quiet) {
  dts /= 3.0;
  if (!quiet) message_out(" *Changing overland time step to %4.2lf seconds...\n", dts);
  c.calls_left = 4;
  c.reduced_substep = dts;
  return dts;
}

double explicit_next_substep(double dt, double t, double dts) {
  const double rest = dt - t;
  return rest - dts < 0.0001 ? rest : dts;
}

double route_overland_explicit(model_state& m, double dt) {
  explicit_step_control& c = m.explicit_control;
  c.sweep_order ^= 1;
  if (m.overland_lakes_on || m.lakes_on) {
    write_log_message(m.summary_fp.stream,
                      "The explicit overland scheme cannot route overland or channel lakes in this version.\n");
    set_error(4000);
    return 0.0;
  }
  const double dts = explicit_first_substep(c, dt, m.quiet_on != 0);
  bind_inputs(m);  // sizes the work arrays for this run's grid
  copy_depths(m.explicit_saved_depth.data(), m.ov_depth.data(), m.cell_count);
  route_plain(m, dt, dts);

  if (m.lowspot_on) {
    double lost = 0.0, gained = 0.0;
    overland_dike_flow(m, dt, lost, gained);
    m.ov_head_bound_loss += lost;
    m.ov_head_bound_gain += gained;
  }
  const double outflow = drain_outlet(m, dt);

  const double dx = m.cell_size;
  double* qx = m.ov_qx.data();
  double* qy = m.ov_qy.data();
#pragma omp parallel for schedule(static)
  for (int i = 1; i <= m.cell_count; i++) {
    qx[i] *= dx;
    qy[i] *= dx;
  }
  return outflow;
}

}  // namespace pluvo
