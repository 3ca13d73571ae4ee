// The alternating-direction overland scheme: an x sweep and a y sweep per sub-step, each
// computing its face flows from the depths at its start and then updating the depths. ADE
// chooses adaptive sub-steps and restarts a step whose sweep failed; ADE-PC makes one
// predictor-corrector pass per direction over the whole step.
#include "overland/ade_scheme.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_services.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/parallel_team.hpp"
#include "overland/overland_lakes.hpp"
#include "overland/scheme_checks.hpp"
#include "quality/quality_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double five_thirds = 5.0 / 3.0;

// What one step moved across the grid's edges, m3.
struct step_totals {
  double outlet = 0.0;
  double gain = 0.0;
  double loss = 0.0;
  double clipped = 0.0;
};

template <typename T>
void size_for(std::vector<T>& v, size_t n) {
  if (v.size() != n) v.assign(n, T());
}

void size_work_arrays(model_state& m) {
  const size_t size = size_t(m.cell_count) + 1;
  for (auto* v : {&m.ov_qx, &m.ov_qy, &m.ov_vol_x, &m.ov_vol_y, &m.ov_depth_change, &m.ov_mann_exp,
                  &m.ov_depth_step_start, &m.ade_reference_depth})
    size_for(*v, size);
  if (m.overland_scheme == 3) {
    size_for(m.ov_depth_pred, size);
    size_for(m.ov_q_saved, size);
  }
  m.ade_lake_change.assign(m.overland_lakes_on ? size_t(std::max(m.overland_lake_count, 0)) + 1 : 0, 0.0);
}

// The effective roughness falls with depth only where a roughness exponent is given; without
// one it is the base roughness, set once per call.
struct roughness_law {
  const double* base = nullptr;
  const double* exponent = nullptr;  // null: no cell has one
  double* effective = nullptr;
  int n = 0;

  void from_depths(const double* h) const {
    if (exponent) first_order_decay(n, base, exponent, h, effective);
  }
  double at(int i, double h) {
    effective[i] = exponent ? base[i] * std::exp(-exponent[i] * h) : base[i];
    return effective[i];
  }
};

roughness_law make_roughness_law(model_state& m) {
  roughness_law r;
  r.n = m.cell_count;
  r.base = m.dist_rough.data();
  r.effective = m.ov_mann_exp.data();
  if (m.roughness_exp_on) r.exponent = m.roughness_exp.data();
  if (!r.exponent) std::copy(m.dist_rough.begin(), m.dist_rough.begin() + m.cell_count + 1, m.ov_mann_exp.begin());
  return r;
}

// Entry check: a NaN or strongly negative depth stops the run; a slightly negative one is set
// to 0 and the water that puts in is counted.
bool check_entry_depths(model_state& m, const ade_view& v, double& clipped) {
  char text[160];
  const double area = m.cell_size * m.cell_size;
  for (int i = 1; i <= m.cell_count; i++) {
    double& d = m.ov_depth[size_t(i)];
    if (std::isnan(d)) {
      stop_run("Overland depth is NaN at beginning of overland routing time step in cell %ld \nProgram stopped.\n",
               long(i));
      return false;
    }
    if (d < 0.0) {
      if (d < -1e-5) {
        stop_run("Negative depth encountered at the beginning of the overland routing time step in cell %ld \n"
                 "Program stopped.\n",
                 long(i));
        return false;
      }
      std::snprintf(text, sizeof text,
                    "Negative depth encountered at the beginning of the overland routing time step in cell %ld \n",
                    long(i));
      write_log_message(m.summary_fp.stream, text);
      clipped += -d * area * v.open_share(i);
      d = 0.0;
    }
  }
  return true;
}

// A face's exchange took water to ordinary cell nb that the lake could not supply: nb gives
// it back (a held cell's boundary count instead), so no water is made.
void give_back(model_state& m, const ade_view& v, int nb, double volume, double* ref, step_totals& t) {
  if (v.is_held(nb)) {
    const double counted = -volume;  // the held cell's net inflow falls by the volume
    if (!v.channel_routing && nb == v.outlet)
      t.outlet += counted;
    else if (counted > 0.0)
      t.loss += counted;
    else
      t.gain -= counted;
    return;
  }
  const double e = v.open_share_change(nb, volume / (v.dx * v.dx));
  m.ov_depth[size_t(nb)] -= e;
  m.ov_depth_change[size_t(nb)] -= e;
  if (ref) ref[nb] = m.ov_depth[size_t(nb)];
}

// Channel lake k and its ordinary neighbour nb across one face; flow (m3/s) positive into the
// lake, over seconds. A lake that cannot supply an outflow gives nothing; returns the flow
// kept.
double channel_lake_face(model_state& m, const ade_view& v, int k, int nb, double flow, double seconds,
                         double* ref, step_totals& t) {
  double vol = seconds * flow;
  if (vol > 0.0) {
    m.lake_in_dv[size_t(k)] += vol;
  } else {
    if (std::fabs(vol) > m.lake_volume[size_t(k)]) {
      give_back(m, v, nb, -vol, ref, t);
      vol = 0.0;
      flow = 0.0;
    }
    m.lake_out_dv[size_t(k)] -= vol;
  }
  m.lake_volume[size_t(k)] += vol;
  return flow;
}

// Overland lake k and its ordinary neighbour nb across one face, as channel_lake_face: the lake
// gives no more than it holds above its outlet level; the rest nb gives back.
double overland_lake_face(model_state& m, const ade_view& v, int k, int nb, double flow, double seconds,
                          double* ref, step_totals& t) {
  const double out = -seconds * flow;
  const double given = olake_release(m, k, out);
  if (given < out) {
    give_back(m, v, nb, out - given, ref, t);
    flow = -given / seconds;
  }
  m.ade_lake_change[size_t(k)] -= given;
  return flow;
}

// Lake exchanges of one direction's faces after a sweep (or the whole step in ADE-PC).
void exchange_with_lakes(model_state& m, const ade_view& v, double* q, const int* up, const int* down,
                         double seconds, double* ref, step_totals& t) {
  if (v.olake) {
    for (int i = 1; i <= v.n; i++) {
      const int lake = v.olake[i];
      if (lake <= 0) continue;
      const int u = up[i], w = down[i];
      if (u && v.olake[u] == 0) q[u] = overland_lake_face(m, v, lake, u, q[u], seconds, ref, t);
      if (w && v.olake[w] == 0) q[i] = -overland_lake_face(m, v, lake, w, -q[i], seconds, ref, t);
    }
  }
  if (v.clake) {
    for (int i = 1; i <= v.n; i++) {
      const int lake = v.clake[i];
      if (lake <= 0) continue;
      const int u = up[i], w = down[i];
      if (u && v.clake[u] == 0) q[u] = channel_lake_face(m, v, lake, u, q[u], seconds, ref, t);
      if (w && v.clake[w] == 0) q[i] = -channel_lake_face(m, v, lake, w, -q[i], seconds, ref, t);
    }
  }
}

struct direction {
  double* q;
  const int* down;
  const int* up;
  double* volume;
};

direction direction_of(model_state& m, bool x) {
  if (x) return {m.ov_qx.data(), m.rightcon.data(), m.leftcon.data(), m.ov_vol_x.data()};
  return {m.ov_qy.data(), m.belowcon.data(), m.abovecon.data(), m.ov_vol_y.data()};
}

double outlet_discharge_of(const model_state& m, double depth, double roughness) {
  if (!(depth > 0.0)) return 0.0;
  return std::pow(depth, five_thirds) / roughness * std::sqrt(m.outlet_slope) * m.cell_size;
}

bool outlet_drains(const ade_view& v) { return !v.channel_routing && v.outlet && !v.is_held(v.outlet); }

// One sweep of ADE: 2 when it failed.
int ade_sweep(model_state& m, const ade_view& v, roughness_law& rough, bool x, double h, step_totals& t) {
  const direction d = direction_of(m, x);
  double* depth = m.ov_depth.data();
  rough.from_depths(depth);
  ade_fluxes(v, depth, d.q, x, h);
  ade_update_totals u;
  const int status = ade_update_depths(v, depth, m.ov_depth_change.data(), m.ade_reference_depth.data(), d.q,
                                       d.up, h, m.ade_scale, u);
  if (status == 2) return 2;
  t.gain += u.gain;
  t.loss += u.loss;
  t.outlet += u.outlet;
  t.clipped += u.clipped;
  m.ade_status = std::max(m.ade_status, status);
  exchange_with_lakes(m, v, d.q, d.up, d.down, h, m.ade_reference_depth.data(), t);
  const double* q = d.q;
  double* vol = d.volume;
  parallel_for_cells(v.n, [&](int i) {
    if (!v.is_lake(i)) vol[i] += q[i] * h;
  });
  return status;
}

void drain_outlet_ade(model_state& m, const ade_view& v, roughness_law& rough, double h, step_totals& t) {
  if (!outlet_drains(v)) return;
  const int o = v.outlet;
  double& depth = m.ov_depth[size_t(o)];
  const double q = outlet_discharge_of(m, depth, rough.at(o, depth));
  const double area = m.cell_size * m.cell_size;
  const double vol = h * q, e = v.open_share_change(o, vol / area);
  m.ov_depth_change[size_t(o)] = e;
  if (e > depth) {
    t.outlet += area * depth * v.open_share(o);
    depth = 0.0;
  } else {
    depth -= e;
    t.outlet += vol;
  }
  m.ade_reference_depth[size_t(o)] = depth;
}

void stop_too_small(double h, double dtmin, long cell) {
  stop_run("The ADE overland routing time step is getting really small\n"
           "Your time step is %lf seconds \n"
           "Minimum time step allowed for your problem is %lf seconds \n"
           "The biggest instability problem was encountered at cell %ld \n"
           "Reduce the model time step by a factor of 2 and try again.\n"
           "Program stopped.\n",
           h, dtmin, cell);
}

// ADE: adaptive sub-steps; a failed sweep starts the step again with half the sub-step.
bool route_ade_substeps(model_state& m, const ade_view& v, roughness_law& rough, double dt, step_totals& t) {
  const double dtmin = m.cell_size * 0.001 / 100.0;
  double h = dt;
  int worst_x = 0, worst_y = 0;
  if (m.ov_routed_steps > 1) {
    if (dt - m.ade_last_substep > 0.001) h = m.ade_last_substep;
    double ratio_y = 0.0, ratio_x = 0.0;
    const int status_y = ade_substep_estimate(v, m.ov_depth.data(), m.ov_depth_change.data(), m.ov_qy.data(),
                                              m.abovecon.data(), h, m.ade_scale, ratio_y, worst_y);
    const int status_x = ade_substep_estimate(v, m.ov_depth.data(), m.ov_depth_change.data(), m.ov_qx.data(),
                                              m.leftcon.data(), h, m.ade_scale, ratio_x, worst_x);
    h = ade_substep_clock::predicted(dt, h, status_y, status_x, std::max(ratio_x, ratio_y), dtmin,
                                     m.ade_good_steps);
    if (m.ade_scale < 1.0 && m.ade_good_steps > 100) {
      m.ade_scale *= 2.0;
      m.ade_good_steps = 0;
    }
  }
  double* depth = m.ov_depth.data();
  double* start = m.ov_depth_step_start.data();
  double* ref = m.ade_reference_depth.data();
  double* vol_x = m.ov_vol_x.data();
  double* vol_y = m.ov_vol_y.data();
  // The step's start is kept and its volumes cleared in one pass; a restart puts the depths
  // back and clears the volumes again.
  parallel_for_cells(v.n, [&](int i) {
    if (!v.is_lake(i)) start[i] = ref[i] = depth[i];
    vol_x[i] = vol_y[i] = 0.0;
  });
  const size_t lakes = v.clake ? size_t(m.nlakes) + 1 : 0;
  bool failed = false;
  for (;;) {
    for (size_t k = 1; k < lakes; k++) {
      if (failed) m.lake_volume[k] -= m.lake_in_dv[k] - m.lake_out_dv[k];
      m.lake_in_dv[k] = m.lake_out_dv[k] = 0.0;
    }
    m.ade_status = 0;
    std::fill(m.ade_lake_change.begin(), m.ade_lake_change.end(), 0.0);
    if (v.olake) olake_release_limits(m);
    if (h < dtmin) {
      stop_too_small(h, dtmin, worst_x ? worst_x : worst_y);
      return false;
    }
    if (failed)
      parallel_for_cells(v.n, [&](int i) {
        if (!v.is_lake(i)) depth[i] = ref[i] = start[i];
        vol_x[i] = vol_y[i] = 0.0;
      });
    t = step_totals();
    ade_substep_clock clock;
    clock.remaining = dt;
    clock.h = h;
    failed = false;
    while (clock.remaining > 1e-16 && !failed) {
      const double hs = clock.next(m.ade_status, dtmin, m.ade_last_substep);
      m.ade_status = 0;
      for (int sweep = 0; sweep < 2 && !failed; sweep++) {
        const bool x = (m.ade_sweep_order == 1) == (sweep == 0);
        if (ade_sweep(m, v, rough, x, hs, t) == 2) {
          m.ade_good_steps = 0;
          h = 0.5 * hs;
          m.ade_scale *= 0.5;
          failed = true;
        }
      }
      if (!failed) drain_outlet_ade(m, v, rough, hs, t);
    }
    if (!failed) break;
  }
  for (size_t k = 1; k < m.ade_lake_change.size(); k++)
    m.overland_lake_records[k].added_volume += m.ade_lake_change[k];
  return true;
}

// ADE-PC: per direction a predictor from the current depths, a corrector with the mean of
// the predictor's and the predicted depths' face flows.
void route_ade_pc(model_state& m, const ade_view& v, roughness_law& rough, double dt, step_totals& t) {
  const double area = m.cell_size * m.cell_size;
  const double c = dt / area;
  double* depth = m.ov_depth.data();
  double* pred = m.ov_depth_pred.data();
  double* change = m.ov_depth_change.data();
  double* saved = m.ov_q_saved.data();
  double* qx = m.ov_qx.data();
  double* qy = m.ov_qy.data();
  parallel_for_cells(v.n, [&](int i) {
    pred[i] = depth[i];
    change[i] = qx[i] = qy[i] = 0.0;
  });
  const int o = v.outlet;
  for (int pass = 0; pass < 2; pass++) {
    const bool x = (m.ade_sweep_order == 1) == (pass == 0);
    const direction d = direction_of(m, x);
    double* q = d.q;
    const int* up = d.up;
    rough.from_depths(depth);
    ade_fluxes(v, depth, q, x, dt);
    parallel_for_cells(v.n, [&](int i) {
      if (v.is_lake(i) || v.is_held(i)) return;
      const double p = v.open_share_change(i, (q[up[i]] - q[i]) * c);
      pred[i] = depth[i] + p;  // both directions predict from the current depth
      if (!x) change[i] = p;
    });
    if (!v.channel_routing && o) {
      const double q_star = outlet_discharge_of(m, pred[o], rough.at(o, pred[o]));
      if (!v.is_held(o)) pred[o] -= v.open_share_change(o, 0.5 * q_star * c);
    }
    parallel_for_cells(v.n, [&](int i) { saved[i] = q[i]; });
    rough.from_depths(pred);
    ade_fluxes(v, pred, q, x, dt);
    parallel_for_cells(v.n, [&](int i) { q[i] = (saved[i] + q[i]) * 0.5; });
    const auto sums = parallel_cell_sums<3>(v.n, [&](int i) {
      std::array<double, 3> r{};
      if (v.is_lake(i)) return r;
      const double net = (q[up[i]] - q[i]) * c;
      if (!v.is_held(i)) {
        const double e = v.open_share_change(i, net);
        change[i] = e;
        depth[i] += e;
        return r;
      }
      change[i] = net;
      const double vol = net * area;  // the water the faces moved, in both directions alike
      if (!v.channel_routing && i == v.outlet)
        r[0] = vol;
      else if (vol > 0.0)
        r[1] = vol;
      else
        r[2] = -vol;
      return r;
    });
    t.outlet += sums[0];
    t.loss += sums[1];
    t.gain += sums[2];
    if (outlet_drains(v)) {
      const double q_out = outlet_discharge_of(m, depth[o], rough.at(o, depth[o]));
      const double e = v.open_share_change(o, 0.5 * q_out * c);
      change[o] = e;
      if (e > depth[o]) {
        t.outlet += area * depth[o] * v.open_share(o);  // the water the cell held
        depth[o] = 0.0;
      } else {
        depth[o] -= e;
        t.outlet += 0.5 * q_out * dt;
      }
    }
  }
  // The lakes exchange what the faces carried over the whole step.
  std::fill(m.ade_lake_change.begin(), m.ade_lake_change.end(), 0.0);
  if (v.olake) {
    olake_release_limits(m);
    for (int i = 1; i <= v.n; i++) {
      const int lake = v.olake[i];
      if (lake <= 0) continue;
      const int r = v.right[i], l = v.left[i], a = v.above[i], b = v.below[i];
      if (r && v.olake[r] == 0) qx[i] = -overland_lake_face(m, v, lake, r, -qx[i], dt, nullptr, t);
      if (l && v.olake[l] == 0) qx[l] = overland_lake_face(m, v, lake, l, qx[l], dt, nullptr, t);
      if (a && v.olake[a] == 0) qy[a] = overland_lake_face(m, v, lake, a, qy[a], dt, nullptr, t);
      if (b && v.olake[b] == 0) qy[i] = -overland_lake_face(m, v, lake, b, -qy[i], dt, nullptr, t);
    }
    for (size_t k = 1; k < m.ade_lake_change.size(); k++)
      m.overland_lake_records[k].added_volume += m.ade_lake_change[k];
  }
  if (v.clake) {
    for (int i = 1; i <= v.n; i++) {
      const int lake = v.clake[i];
      if (lake <= 0) continue;
      const int a = v.above[i], b = v.below[i], l = v.left[i], r = v.right[i];
      if (a && v.clake[a] == 0) qy[a] = channel_lake_face(m, v, lake, a, qy[a], dt, nullptr, t);
      if (b && v.clake[b] == 0) qy[i] = -channel_lake_face(m, v, lake, b, -qy[i], dt, nullptr, t);
      if (l && v.clake[l] == 0) qx[l] = channel_lake_face(m, v, lake, l, qx[l], dt, nullptr, t);
      if (r && v.clake[r] == 0) qx[i] = -channel_lake_face(m, v, lake, r, -qx[i], dt, nullptr, t);
    }
  }
}

bool inputs_fit(model_state& m) {
  if (!cell_arrays_fit(m)) return false;
  if (m.lakes_on && !lake_numbers_fit(m, m.lake_mask, channel_lake_tables(m), "channel")) return false;
  if (m.overland_lakes_on &&
      !lake_numbers_fit(m, m.oland_lake_new,
                        std::min(m.overland_lake_records.size(), size_t(std::max(m.overland_lake_count, 0)) + 1),
                        "overland"))
    return false;
  return true;
}

}  // namespace

double route_overland_ade(model_state& m, double dt) {
  if (m.ade_last_substep <= 0.0) m.ade_last_substep = dt;
  if (m.ov_routed_steps == 0) {
    m.ade_scale = 1.0;
    m.ade_good_steps = 0;
  }
  if (!inputs_fit(m)) return -1.0;
  size_work_arrays(m);
  const ade_view v = make_ade_view(m);
  double entry_clipped = 0.0;
  if (!check_entry_depths(m, v, entry_clipped)) return -1.0;
  step_totals t;
  roughness_law rough = make_roughness_law(m);
  if (m.overland_scheme == 2) {
    if (!route_ade_substeps(m, v, rough, dt, t)) return -1.0;
  } else if (m.overland_scheme == 3) {
    route_ade_pc(m, v, rough, dt, t);
  }
  m.ov_cleanup_volume += entry_clipped + t.clipped;
  if (m.lowspot_on) {
    double loss = 0.0, gain = 0.0;
    lowspot_weir_flow(m, dt, loss, gain);
    t.loss += loss;
    t.gain += gain;
  }
  m.ov_head_bound_loss += t.loss;
  m.ov_head_bound_gain += t.gain;
  return t.outlet;
}

}  // namespace pluvo
