// The per-direction kernels of the alternating-direction scheme: face flows, the depth
// update with its grading, and the estimate that chooses the sub-step.
#include <algorithm>
#include <array>
#include <cmath>

#include "common/parallel_team.hpp"
#include "overland/ade_scheme.hpp"
#include "overland/face_law.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;
constexpr double grain_to_conductivity = 5489647.45;  // turns grain size / 10000 into m/s
constexpr int snow_porosity = 4;
constexpr int snow_grain = 11;

// d^(2/3) x d without a general pow: the hot loop calls it for every wet face.
inline double manning_depth_term(double d) { return depth_five_thirds(d); }

const std::array<double, 8>* wetland_of(const ade_view& v, int cell) {
  const int id = v.wet[cell];
  return id >= 1 && id <= v.wet_count ? &v.wet_props[id] : nullptr;
}

// Depth as a head: water in a snowpack stands higher by its effective porosity.
inline double snow_head_depth(const ade_view& v, int cell, double h) {
  if (v.swe[cell] > tiny) {
    const double pe = v.snow_params[cell][snow_porosity];
    if (pe > 0.0) return h / pe;  // no pack porosity: the depth is its own head
  }
  return h;
}

// Flow (m3/s) across the face from i to its downstream neighbour w, positive toward w. The
// plain form leaves out dikes, lakes, wetlands, snow and blockage. With a transfer time
// above 0, a Manning face between two ordinary cells moves in that time at most what levels
// the two heads: the law's conductance grows without bound as the heads meet (deep rough
// water beside shallow smooth water), and a longer transfer would make them swap places and
// cycle from one sweep to the next.
template <bool Full>
inline double face_flow(const ade_view& v, const double* h, int i, int w, bool x, double transfer_time) {
  if constexpr (Full) {
    if (v.dike && (v.dike[i] & (x ? 2 : 4))) return 0.0;
  }
  double hi = h[i], hw = h[w];
  if constexpr (Full) {
    if (v.swe) {
      hi = snow_head_depth(v, i, hi);
      hw = snow_head_depth(v, w, hw);
    }
  }
  double head_i = hi + v.z[i], head_w = hw + v.z[w];
  const std::array<double, 8>* wet_i = nullptr;
  const std::array<double, 8>* wet_w = nullptr;
  bool lake_face = false;
  if constexpr (Full) {
    lake_face = v.is_lake(i) || v.is_lake(w);
    if (v.olake) {
      const int li = v.olake[i], lw = v.olake[w];
      if (li > 0 && lw > 0) return 0.0;
      if (li > 0) head_i = v.olakes[li].wse;
      if (lw > 0) head_w = v.olakes[lw].wse;
    }
    if (v.clake) {
      const int li = v.clake[i], lw = v.clake[w];
      if (li > 0 && lw > 0) return 0.0;
      if (li > 0) head_i = v.clake_elev[li];
      if (lw > 0) head_w = v.clake_elev[lw];
    }
    if (v.wet) {
      wet_i = wetland_of(v, i);
      wet_w = wetland_of(v, w);
    }
  }
  const double s = (head_i - head_w) / v.dx;
  if (std::fabs(s) < tiny) return 0.0;
  double blocked = 0.0;
  if constexpr (Full) {
    if (v.face_block)
      blocked = x ? std::max(v.face_block[i][2], v.face_block[w][4])
                  : std::max(v.face_block[i][3], v.face_block[w][1]);
  }
  const bool from_i = s > 0.0;
  const int up = from_i ? i : w;
  const double sign = from_i ? 1.0 : -1.0;
  const std::array<double, 8>* wet = from_i ? wet_i : wet_w;
  double d = (from_i ? head_i : head_w) - v.z[up];
  if constexpr (Full) {
    // A lake passes only its water above its outlet level and the higher ground of the face.
    if (v.olake && v.olake[up] > 0) {
      const overland_lake_record& lake = v.olakes[v.olake[up]];
      d = lake.wse - std::max({v.z[i], v.z[w], lake.initial_wse});
    }
  }
  if (!wet) d -= v.retention[up];
  if (d < tiny) return 0.0;

  double q = 0.0;
  if constexpr (Full) {
    if (wet) {
      const std::array<double, 8>& r = *wet;
      // Below its height the wetland body conducts linearly; no face blockage applies there.
      if (r[wetland_height] >= d) return d * s * r[wetland_k1] * v.dx;
      q = r[wetland_height] * s * r[wetland_k1] * v.dx;
      d -= r[wetland_height];
    }
  }
  double velocity;
  if (Full && v.swe && v.swe[up] > tiny) {
    const double k = v.darcy >= tiny ? v.darcy : v.snow_params[up][snow_grain] / 10000.0 * grain_to_conductivity;
    velocity = k * s;
    q += velocity * d * v.dx;
  } else if (Full && wet) {
    const std::array<double, 8>& r = *wet;
    const double manning = sign / r[wetland_manning] * std::sqrt(std::fabs(s));
    const double vm = manning * std::cbrt(d * d);
    velocity = d >= r[wetland_transition]
                   ? vm
                   : (1.0 - d / r[wetland_transition]) * s * r[wetland_k2] + vm * d / r[wetland_transition];
    q += velocity * d * v.dx;
  } else {
    q += sign / v.roughness[up] * std::sqrt(std::fabs(s)) * manning_depth_term(d) * v.dx;
    if (transfer_time > 0.0 && !lake_face) {
      // Each cell's depth moves by q t / (open area); the heads meet when the two moves add
      // up to their difference.
      const double open = Full ? std::min(v.open_share(i), v.open_share(w)) : 1.0;
      const double level = std::fabs(head_i - head_w) * v.dx * v.dx * open / (2.0 * transfer_time);
      q = std::clamp(q, -level, level);
    }
  }
  return q * (1.0 - blocked);
}

template <bool Full>
void all_faces(const ade_view& v, const double* h, double* q, bool x, double transfer_time) {
  const int* down = x ? v.right : v.below;
  parallel_for_cells(v.n, [&](int i) {
    const int w = down[i];
    q[i] = w ? face_flow<Full>(v, h, i, w, x, transfer_time) : 0.0;
  });
}

bool plain(const ade_view& v) {
  return !v.dike && !v.olake && !v.clake && !v.wet && !v.swe && !v.face_block;
}

enum update_sum { sum_gain, sum_loss, sum_outlet, sum_clipped, sum_status1, sum_status2, update_sums };

}  // namespace

void ade_fluxes(const ade_view& v, const double* h, double* q, bool x_direction, double transfer_time) {
  if (plain(v))
    all_faces<false>(v, h, q, x_direction, transfer_time);
  else
    all_faces<true>(v, h, q, x_direction, transfer_time);
}

int ade_update_depths(const ade_view& v, double* h, double* change, double* ref, const double* q,
                      const int* upstream, double h_step, double scale, ade_update_totals& totals) {
  const double area = v.dx * v.dx;
  const double c = h_step / area;
  // Every cell is updated and graded on its own, so the status does not depend on how the
  // cells are shared among threads.
  const auto sums = parallel_cell_sums<update_sums>(v.n, [&](int i) {
    std::array<double, update_sums> r{};
    if (v.is_lake(i)) return r;
    const double net = (q[upstream[i]] - q[i]) * c;
    const double e = v.open_share_change(i, net);
    change[i] = e;
    if (v.is_held(i)) {
      // The boundary takes what the held cell would have gained and supplies what it would
      // have lost; with channel routing off the outlet's share leaves the grid there.
      const double vol = net * area;
      if (!v.channel_routing && i == v.outlet)
        r[sum_outlet] = vol;
      else if (vol > 0.0)
        r[sum_loss] = vol;
      else
        r[sum_gain] = -vol;
      return r;
    }
    double d = h[i] + e;
    int s = 0;
    if (std::isnan(d)) {
      s = 2;
    } else if (d < 0.0) {
      if (d < -1e-5)
        s = 2;
      else if (d < -1e-8)
        s = 1;
      r[sum_clipped] = -d * area * v.open_share(i);
      d = 0.0;
    }
    if (s == 0 && std::fabs(e) > 0.5 * scale * ref[i] && ref[i] > 0.01 && h_step > 0.1) s = 1;
    h[i] = d;
    ref[i] = d;  // the next sweep measures its changes from here
    r[s == 1 ? sum_status1 : sum_status2] = s ? 1.0 : 0.0;
    return r;
  });
  const int status = sums[sum_status2] > 0.0 ? 2 : sums[sum_status1] > 0.0 ? 1 : 0;
  if (status == 2) {
    totals = ade_update_totals();
    return 2;
  }
  totals.gain = sums[sum_gain];
  totals.loss = sums[sum_loss];
  totals.outlet = sums[sum_outlet];
  totals.clipped = sums[sum_clipped];
  return status;
}

namespace {

// How close a face comes in one sub-step to levelling the two heads it joins: its transfer
// (the depth it moves on each side) against tolerance t of their difference; at t = 0.25 a
// ratio of 1 moves a quarter of it. Near level, Manning's law is stiff (its conductance
// q / 2dH grows without bound), and sub-steps the relative depth change lets through make
// such faces, and with them the sweep of the other direction, swing from step to step. A
// face whose transfer is a small part of the depth it draws from cannot swing far and is not
// counted, nor are faces of lakes, wetlands or snow, whose flows follow other laws.
double level_face_ratio(const ade_view& v, const double* h, const double* q, int i, int w, double h_step,
                        double t) {
  if (!w || q[i] == 0.0 || v.is_lake(i) || v.is_lake(w)) return 0.0;
  if (v.wet && (v.wet[i] > 0 || v.wet[w] > 0)) return 0.0;
  if (v.swe && (v.swe[i] > tiny || v.swe[w] > tiny)) return 0.0;
  const double level = std::fabs(h[i] + v.z[i] - h[w] - v.z[w]);
  const double transfer = std::fabs(q[i]) * h_step / (v.dx * v.dx);
  const double source = q[i] > 0.0 ? h[i] : h[w];
  if (transfer <= 0.1 * t * source || !(level > 0.0)) return 0.0;
  return transfer / (t * level);
}

}  // namespace

int ade_substep_estimate(const ade_view& v, const double* h, double* change, const double* q,
                         const int* upstream, double h_step, double scale, double& ratio, int& worst) {
  const double c = h_step / (v.dx * v.dx);
  const double t = 0.25 * scale;
  struct block_result {
    double ratio = 0.0;
    int cell = 0;
    int status = 0;
  };
  constexpr int blocks = 64;
  std::array<block_result, blocks> part{};
  const int n = v.n;
  const int* down = upstream == v.left ? v.right : v.below;
#pragma omp parallel for schedule(static) if(n >= min_cells_for_threads)
  for (int b = 0; b < blocks; b++) {
    block_result r;
    const int first = int(int64_t(n) * b / blocks) + 1, last = int(int64_t(n) * (b + 1) / blocks);
    for (int i = first; i <= last; i++) {
      const double face_ratio = level_face_ratio(v, h, q, i, down[i], h_step, t);
      if (face_ratio > r.ratio) {
        r.ratio = face_ratio;
        r.cell = i;
      }
      if (h_step > 0.1 && face_ratio > 1.0) r.status = 1;
      if (v.is_lake(i) || h[i] <= 0.01) continue;
      if (v.boundary) {
        const int type = v.boundary[i];
        if (type == 2 || type == 3 || type == 4 || type == 5 || type == 8 || type == 9) continue;
      }
      double e = (q[upstream[i]] - q[i]) * c;
      if (v.area_block) e = v.area_block[i] < 1.0 ? e / (1.0 - v.area_block[i]) : 0.0;
      change[i] = e;
      const double cell_ratio = std::fabs(e) / (t * h[i]);
      if (cell_ratio > r.ratio) {
        r.ratio = cell_ratio;
        r.cell = i;
      }
      if (h_step > 0.1 && std::fabs(e) / h[i] > t) r.status = 1;
    }
    part[size_t(b)] = r;
  }
  // Blocks in cell order with a strict comparison: the first cell of the largest ratio wins,
  // as a serial pass would find it.
  double largest = 0.0;
  int status = 0;
  for (const block_result& r : part) {
    if (r.ratio > largest) {
      largest = r.ratio;
      worst = r.cell;
    }
    status |= r.status;
  }
  ratio = largest;
  return status;
}

double ade_substep_clock::predicted(double dt, double h, int status_y, int status_x, double ratio,
                                    double dtmin, int& good_steps) {
  if (status_y == 0 && status_x == 0) {
    if (ratio < 0.5) {
      good_steps++;
      if (dt - 1.4 * h > -1e-16) h *= 1.4;  // never beyond the step
    }
    return h;
  }
  h /= ratio;
  if (h < dtmin) h = dtmin + dtmin / 10.0;
  return h;
}

double ade_substep_clock::next(int status, double dtmin, double& last) {
  if (status == 1) {
    h *= 0.6;
    if (h < dtmin) h = dtmin + dtmin / 10.0;
  }
  last = h;
  remaining -= h;
  if (remaining < 0.5 * h) {  // a short rest joins this sub-step
    h += remaining;
    remaining = 0.0;
  }
  return h;
}

ade_view make_ade_view(model_state& m) {
  ade_view v;
  const size_t size = size_t(m.cell_count) + 1;
  v.n = m.cell_count;
  v.dx = m.cell_size;
  v.z = m.elevation.data();
  v.retention = m.retent_dep.data();
  v.roughness = m.ov_mann_exp.data();
  v.right = m.rightcon.data();
  v.below = m.belowcon.data();
  v.left = m.leftcon.data();
  v.above = m.abovecon.data();
  if (m.dike_map_on && m.dike_mask.size() >= size) v.dike = m.dike_mask.data();
  if (m.overland_lakes_on && m.oland_lake_new.size() >= size) {
    v.olake = m.oland_lake_new.data();
    v.olakes = m.overland_lake_records.data();
  }
  if (m.lakes_on && m.lake_mask.size() >= size) {
    v.clake = m.lake_mask.data();
    v.clake_elev = m.lake_elev.data();
  }
  if (m.wetland_on && m.wetland_mask.size() >= size) {
    v.wet = m.wetland_mask.data();
    v.wet_props = m.wetland_properties.data();
    v.wet_count = int(m.wetland_properties.size()) - 1;
  }
  if (m.route_lat_snow_on && m.snow_swe.size() >= size && m.snap_pluvo_params.size() >= size) {
    v.swe = m.snow_swe.data();
    v.snow_params = m.snap_pluvo_params.data();
    v.darcy = m.snow_darcy_value;
  }
  if (m.ovr_flow_block_on) {
    const node_matrix<double>& faces = m.ovr_flow_block_frac;
    if (faces.cols() == 5 && size_t(faces.rows()) + 1 >= size)
      v.face_block = reinterpret_cast<const double(*)[6]>(faces[0]);
    if (m.ovr_flow_block_value1.size() >= size) v.area_block = m.ovr_flow_block_value1.data();
  }
  if (m.ov_boundary_on && m.boundary_type.size() >= size) v.boundary = m.boundary_type.data();
  v.outlet = m.outlet_cell >= 1 && m.outlet_cell <= m.cell_count ? m.outlet_cell : 0;
  v.channel_routing = m.chan_explic_on != 0;
  return v;
}

}  // namespace pluvo
