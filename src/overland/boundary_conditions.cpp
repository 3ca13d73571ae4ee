// The overland sources and sinks phase: the boundary conditions of single cells (grid-edge
// slope, fixed or series stages, series discharges, rating-curve exchange with neighbours), the
// XY boundary input and the pumps, every volume that crosses the model's edge booked in one of
// six run totals.
#include <algorithm>
#include <array>
#include <cmath>

#include "common/elevation_series.hpp"
#include "common/error_state.hpp"
#include "common/parallel_team.hpp"
#include "common/time_series.hpp"
#include "output/xy_boundaries.hpp"
#include "overland/overland_phases.hpp"
#include "overland/sources_sinks.hpp"
#include "quality/quality_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double cubic_metres_per_cubic_foot = 0.0283168466;
constexpr double slope_power = 1.666667;  // kept as given, not 5/3
constexpr double wet = 1e-16;
constexpr double level_tolerance = 1e-8;  // surfaces closer than this exchange nothing
constexpr int exchange_type = 99;         // the cells types 6 and 7 exchange with

struct boundary_totals {
  double head_loss = 0.0;
  double head_gain = 0.0;
  double slope_loss = 0.0;
  double discharge_gain = 0.0;
  double discharge_loss = 0.0;
  double unmet = 0.0;
};

// The channel lakes as the boundaries see them: a cell either holds depth or belongs to a lake.
struct lake_cells {
  bool on = false;
  int count = 0;
  const int32_t* mask = nullptr;
  double* elev = nullptr;
  double* volume = nullptr;
  double* in_dv = nullptr;
  double* out_dv = nullptr;

  explicit lake_cells(model_state& m) {
    on = m.lakes_on && m.lake_mask.size() > size_t(m.cell_count) && m.nlakes > 0 &&
         m.lake_elev.size() > size_t(m.nlakes) && m.lake_volume.size() > size_t(m.nlakes) &&
         m.lake_in_dv.size() > size_t(m.nlakes) && m.lake_out_dv.size() > size_t(m.nlakes);
    if (!on) return;
    count = m.nlakes;
    mask = m.lake_mask.data();
    elev = m.lake_elev.data();
    volume = m.lake_volume.data();
    in_dv = m.lake_in_dv.data();
    out_dv = m.lake_out_dv.data();
  }
  int lake_of(int cell) const {
    const int l = on ? mask[cell] : 0;
    return l <= count ? l : 0;  // a number beyond the lakes is no lake (the routing reports it)
  }

  // Takes up to v m3 from lake l; what it gave.
  double take(int l, double v) const {
    v = std::min(v, std::max(volume[l], 0.0));
    volume[l] -= v;
    out_dv[l] += v;
    return v;
  }
  void give(int l, double v) const {
    volume[l] += v;
    in_dv[l] += v;
  }
};

// One step's view of the grid for the per-cell boundaries.
struct boundary_grid {
  model_state& m;
  const lake_cells lakes;
  double* depth;
  const double* elevation;
  const int32_t* type;
  double dt;
  double area;

  boundary_grid(model_state& state, double step)
      : m(state),
        lakes(state),
        depth(state.ov_depth.data()),
        elevation(state.elevation.data()),
        type(state.boundary_type.data()),
        dt(step),
        area(state.cell_size * state.cell_size) {}

  // The four neighbours in the order the exchange types use: above, right, below, left.
  std::array<int, 4> exchange_neighbours(int i) const {
    return {m.abovecon[size_t(i)], m.rightcon[size_t(i)], m.belowcon[size_t(i)], m.leftcon[size_t(i)]};
  }
  bool exchanges_with(int nb) const { return nb > 0 && type[nb] == exchange_type; }
  double surface(int cell) const {
    const int l = lakes.lake_of(cell);
    return l > 0 ? lakes.elev[l] : depth[cell] + elevation[cell];
  }
  // Takes up to q m of depth from a cell, or its volume from the cell's lake; the depth it gave.
  double take(int cell, double q) const {
    const int l = lakes.lake_of(cell);
    if (l > 0) return lakes.take(l, q * area) / area;
    q = std::min(q, depth[cell]);
    depth[cell] -= q;
    return q;
  }
  void give(int cell, double q) const {
    const int l = lakes.lake_of(cell);
    if (l > 0) lakes.give(l, q * area);
    else depth[cell] += q;
  }
  // The depth a rating-curve discharge moves in the step; never negative, so a curve that gives
  // a negative discharge cannot push water against the head.
  double rating_depth(const elevation_series* curve, double head) const {
    return std::max(elevation_series_value(head, curve) * dt / area, 0.0);
  }
};

// Type 1: outflow down the given slope across every open face at the grid's edge.
void slope_outflow(const boundary_grid& g, int i, double slope, boundary_totals& t) {
  model_state& m = g.m;
  const size_t c = size_t(i);
  const int open = (m.rightcon[c] == 0) + (m.leftcon[c] == 0) + (m.abovecon[c] == 0) + (m.belowcon[c] == 0);
  if (open == 0) return;
  const double dx = m.cell_size;
  const double rate = std::sqrt(slope) * dx / m.ov_mann_exp[c] * g.dt;  // m3 per m^(5/3) of head
  const int l = g.lakes.lake_of(i);
  if (l > 0) {
    const double head = g.lakes.elev[l] - g.elevation[i];
    if (!(head > 0.0)) return;  // a lake at or below the ground has nothing to spill here
    t.slope_loss += g.lakes.take(l, open * std::pow(head, slope_power) * rate);
    return;
  }
  const double h = g.depth[i];
  if (!(h > 0.0)) return;
  const double q = open * std::pow(h, slope_power) * rate / g.area;
  if (q > h) {
    t.slope_loss += h * g.area;
    g.depth[i] = 0.0;
  } else {
    g.depth[i] = h - q;
    t.slope_loss += q * g.area;
  }
}

// Types 2 and 3: the water surface held at the given elevation; lake cells keep their lake.
void fixed_stage(const boundary_grid& g, int i, double stage, boundary_totals& t) {
  if (g.lakes.lake_of(i) > 0) return;
  const double target = std::max(stage - g.elevation[i], 0.0);
  const double change = (target - g.depth[i]) * g.area;
  g.depth[i] = target;
  if (change < 0.0) t.head_loss -= change;
  else t.head_gain += change;
}

// Types 4 and 5: a discharge Q (m3/s) into the cell, negative out of it.
void given_discharge(const boundary_grid& g, int i, double discharge, boundary_totals& t) {
  const double q = discharge * g.dt / g.area;
  const int l = g.lakes.lake_of(i);
  if (l > 0) {
    const double v = q * g.area;
    if (q > 0.0) {
      g.lakes.give(l, v);
      t.discharge_gain += v;
    } else {
      const double taken = g.lakes.take(l, -v);
      t.discharge_loss += taken;
      t.unmet += -v - taken;
    }
    return;
  }
  const double h = g.depth[i];
  if (q < -wet) {
    if (-q > h) {
      t.unmet += (-q - h) * g.area;
      t.discharge_loss += h * g.area;
      g.depth[i] = 0.0;
    } else {
      g.depth[i] = h + q;
      t.discharge_loss -= q * g.area;
    }
  } else {
    g.depth[i] = h + q;
    t.discharge_gain += discharge * g.dt;
  }
}

// Type 6: two-way exchange with the neighbours of type 99 through the cell's rating curve of
// discharge against head difference; inflow faces first, heads taken once before both passes.
void two_way_exchange(const boundary_grid& g, int i, const elevation_series* curve) {
  const std::array<int, 4> nb = g.exchange_neighbours(i);
  std::array<int, 4> dir{};
  std::array<double, 4> head{};
  const double own = g.surface(i);
  const int own_lake = g.lakes.lake_of(i);
  for (int k = 0; k < 4; k++) {
    if (!g.exchanges_with(nb[size_t(k)])) continue;
    if (own_lake > 0 && g.lakes.lake_of(nb[size_t(k)]) == own_lake) continue;  // one lake: no exchange
    head[size_t(k)] = own - g.surface(nb[size_t(k)]);
    if (head[size_t(k)] > level_tolerance) dir[size_t(k)] = 1;
    else if (head[size_t(k)] < -level_tolerance) dir[size_t(k)] = -1;
  }
  for (int k = 0; k < 4; k++) {
    if (dir[size_t(k)] != -1) continue;
    const double q = std::min(g.rating_depth(curve, -head[size_t(k)]), -head[size_t(k)]);
    g.give(i, g.take(nb[size_t(k)], q));
  }
  for (int k = 0; k < 4; k++) {
    if (dir[size_t(k)] != 1) continue;
    const double q = std::min(g.rating_depth(curve, head[size_t(k)]), head[size_t(k)]);
    g.give(nb[size_t(k)], g.take(i, q));
  }
}

// Type 7: outflow to the neighbours of type 99 by the cell's own head through its rating curve.
void head_outflow(const boundary_grid& g, int i, const elevation_series* curve) {
  const int l = g.lakes.lake_of(i);
  const double lake_head = l > 0 ? g.lakes.elev[l] - g.elevation[i] : 0.0;
  if (!((l > 0 ? lake_head : g.depth[i]) > wet)) return;
  for (int nb : g.exchange_neighbours(i)) {
    if (!g.exchanges_with(nb)) continue;
    const double head = l > 0 ? lake_head : g.depth[i];
    g.give(nb, g.take(i, g.rating_depth(curve, head)));
  }
}

void add_to_run_totals(model_state& m, const boundary_totals& t) {
  m.ov_head_bound_loss += t.head_loss;
  m.ov_head_bound_gain += t.head_gain;
  m.ov_slope_bound_loss += t.slope_loss;
  m.ov_discharge_bound_gain += t.discharge_gain;
  m.ov_discharge_bound_loss += t.discharge_loss;
  m.ov_discharge_bound_unmet += t.unmet;
}

// The depths (or water surfaces) of the XY boundary input; what they add and remove is booked
// with the head boundaries.
void impose_overland_xy_boundary(model_state& m, boundary_totals& t) {
  const xy_input& xy = m.xybdy_inputs;
  if (xy.ovpts.empty() && xy.ovInterpPts.empty()) return;
  double gain = 0.0, loss = 0.0;
  if (m.ov_xy_stage_on)
    apply_ov_xy_stage_boundary(xy, m.ov_depth.data(), m.elevation.data(), m.cell_size, gain, loss, m.cur_julian);
  else
    apply_ov_xy_boundary(xy, m.ov_depth.data(), m.cell_size, gain, loss, m.cur_julian);
  t.head_gain += gain;
  t.head_loss += loss;
}

const elevation_series* rating_curve_of(const model_state& m, int i) {
  return size_t(i) < m.ov_rating_curves.size() ? elevation_series_at(m.ov_rating_curves[size_t(i)]) : nullptr;
}

}  // namespace

void update_overland_boundary_values(int cell_count, const double* bound_input, const int32_t* boundary_type,
                                     double* bound_value, double t) {
#pragma omp parallel for schedule(static) if(cell_count >= min_cells_for_threads)
  for (int i = 1; i <= cell_count; i++) {
    switch (boundary_type[i]) {
      case 1:
      case 2:
        bound_value[i] = bound_input[i];
        break;
      case 3:
      case 4:
      case 5:
        bound_value[i] = time_series_value_by_index(int32_t(std::trunc(bound_input[i])), t);
        break;
      default:
        bound_value[i] = 0.0;
    }
  }
}

void apply_overland_boundary_conditions(model_state& m, double dt) {
  boundary_totals t;
  impose_overland_xy_boundary(m, t);
  update_effective_roughness(m);
  const boundary_grid g(m, dt);
  const int n = m.cell_count;
  for (int i = 1; i <= n && !error_state.error_terminate; i++) {
    const double v = m.ov_bound_value[size_t(i)];
    switch (g.type[i]) {
      case 1: slope_outflow(g, i, v, t); break;
      case 2:
      case 3: fixed_stage(g, i, v, t); break;
      case 4: given_discharge(g, i, v * cubic_metres_per_cubic_foot, t); break;
      case 5: given_discharge(g, i, v, t); break;
      case 6: two_way_exchange(g, i, rating_curve_of(m, i)); break;
      case 7: head_outflow(g, i, rating_curve_of(m, i)); break;
      default: break;
    }
  }
  add_to_run_totals(m, t);
}

void apply_overland_sources_sinks(model_state& m) {
  if (!(std::fabs(m.step_next_time - m.cur_julian) < m.time_tolerance)) return;
  // Julian days near 2.5e6 carry only about 1e-4 s: the step is taken to the model's 0.01 s.
  const double dt = std::round((m.cur_julian - m.step_last_time) * 8640000.0) / 100.0;
  if (m.ov_boundary_on) {
    update_overland_boundary_values(m.cell_count, m.ov_bound_input.data(), m.boundary_type.data(),
                                    m.ov_bound_value.data(), m.cur_julian);
    if (error_state.error_terminate) return;
    apply_overland_boundary_conditions(m, dt);
    if (error_state.error_terminate) return;
  }
  if (m.ov_pump_flag)
    apply_overland_pumps(m.ov_pumps, m.ov_depth.data(), dt, m.cur_julian, m.cell_size, m.ov_discharge_bound_gain,
                         m.ov_discharge_bound_loss);
}

}  // namespace pluvo
