// Overland erosion and deposition by size class: water-surface slopes, detachment, advection
// between cells (and into and out of channel lakes), settling, the output accumulators and a
// NaN report.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/parallel_team.hpp"
#include "quality/overland_erosion.hpp"
#include "quality/quality_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;
constexpr double gravity = 9.81;

double& vol(ov_sed_record& s, int cell, int k, int layer) { return s.vol_sed[s.cell_class_layer(cell, k, layer)]; }
double& fract(ov_sed_record& s, int cell, int k, int layer) { return s.sed_fract[s.cell_class_layer(cell, k, layer)]; }

double layer_total(ov_sed_record& s, int cell, int layer) {
  double sum = 0.0;
  for (int k = 1; k <= s.num_sed_classes; ++k) sum += vol(s, cell, k, layer);
  return sum;
}

// Totals of the suspended load and the deposit into slot 0, and their class fractions where
// the layer holds anything.
void refresh_loose_layers(ov_sed_record& s, int cell) {
  for (int layer : {int(suspended), int(deposit)}) {
    const double total = layer_total(s, cell, layer);
    vol(s, cell, 0, layer) = total;
    if (total < tiny) continue;
    for (int k = 1; k <= s.num_sed_classes; ++k) fract(s, cell, k, layer) = vol(s, cell, k, layer) / total;
  }
}

// The layer whose composition stands for the cell's loose sediment.
int composition_layer(ov_sed_record& s, int cell) {
  refresh_loose_layers(s, cell);
  if (vol(s, cell, 0, suspended) >= tiny) return suspended;
  if (vol(s, cell, 0, deposit) >= tiny) return deposit;
  return parent_soil;
}

// Moves v of class k from layer `from` to the suspended load and books it as eroded.
void suspend(ov_sed_record& s, int cell, int k, int from, double v, double* eroded) {
  vol(s, cell, k, from) -= v;
  vol(s, cell, k, suspended) += v;
  eroded[s.cell_class(cell, k)] += v;
  eroded[s.cell_class(cell, 0)] += v;
}

// Detaches d: from the deposit alone when it holds more than d; otherwise, off channel cells,
// the whole deposit and the parent soil's share (d - deposit) x parent_part / d.
void detach(ov_sed_record& s, int cell, double d, double parent_part, const int* channel_cells, double* eroded) {
  const int n = s.num_sed_classes;
  const double d3 = layer_total(s, cell, deposit);
  if (d3 > tiny && d3 > d) {
    for (int k = 1; k <= n; ++k) suspend(s, cell, k, deposit, d * vol(s, cell, k, deposit) / d3, eroded);
    return;
  }
  if (channel_cells && channel_cells[cell] != 0) return;
  for (int k = 1; k <= n; ++k) {
    suspend(s, cell, k, deposit, vol(s, cell, k, deposit), eroded);
    vol(s, cell, k, deposit) = 0.0;  // exactly empty, not a rounding remainder
    suspend(s, cell, k, parent_soil, parent_part * fract(s, cell, k, parent_soil), eroded);
  }
}

struct rain_coefficients {
  double a, b;
};

rain_coefficients splash_coefficients(double i) {
  if (i < 10.0) return {2.69e-8, 1.6896};
  if (i < 50.0) return {3.75e-8, 1.5545};
  if (i < 100.0) return {6.12e-8, 1.4242};
  return {1.175e-7, 1.2821};
}

double or_default(double v, double fallback) { return v <= tiny ? fallback : v; }

template <class T>
T at(const std::vector<T>& v, int i) {
  return i >= 0 && size_t(i) < v.size() ? v[size_t(i)] : T();
}

struct erosion_context {
  model_state& m;
  ov_sed_record& s;
  double dt, dx, scale;
  int method;
  bool lakes;

  int lake_of(int cell) const { return lakes && cell > 0 ? std::max(at(m.lake_mask, cell), 0) : 0; }
  double surface(int cell) const { return m.elevation[size_t(cell)] + m.ov_depth[size_t(cell)]; }
  double rain(int cell) const { return at(m.interception_on ? m.ri_eff : m.cell_rain_rate, cell); }
  bool blocked() const { return m.ovr_flow_block_on && !m.ovr_flow_block_value1.empty(); }
  // The open side of the outlet: 1 the x face, 2 the y face, 0 none.
  int outlet_side() const {
    const int o = m.outlet_cell;
    if (o < 1) return 0;
    if (m.rightcon[size_t(o)] == 0) return 1;
    if (m.belowcon[size_t(o)] == 0) return 2;
    return 0;
  }
};

// Water-surface slopes of the cell's two faces; false when the cell touches a lake and so is
// not detached in this step.
bool face_slopes(const erosion_context& e, int c) {
  model_state& m = e.m;
  ov_sed_record& s = e.s;
  const int right = m.rightcon[size_t(c)], below = m.belowcon[size_t(c)];
  const int own_lake = e.lake_of(c);
  double sx = 0.0, sy = 0.0;
  bool detach = true;
  if (own_lake > 0) {
    if (right > 0 && e.lake_of(right) == 0) sx = (m.lake_elev[size_t(own_lake)] - e.surface(right)) / e.dx;
    detach = false;
  } else {
    const double h = e.surface(c);
    if (right > 0) {
      const int l = e.lake_of(right);
      sx = (h - (l > 0 ? m.lake_elev[size_t(l)] : e.surface(right))) / e.dx;
      if (l > 0) detach = false;
    }
    if (below > 0) {
      const int l = e.lake_of(below);
      sy = (h - (l > 0 ? m.lake_elev[size_t(l)] : e.surface(below))) / e.dx;
      if (l > 0) detach = false;
    }
  }
  if (c == m.outlet_cell && !m.chan_explic_on) {
    const int side = e.outlet_side();
    if (side == 1) sx = m.outlet_slope;
    if (side == 2) sy = m.outlet_slope;
  }
  s.sed_slope_x[size_t(c)] = sx;
  s.sed_slope_y[size_t(c)] = sy;
  return detach;
}

// Outflow magnitude of the cell across its four faces.
double outflow_magnitude(const model_state& m, int c) {
  const double right = m.ov_qx[size_t(c)], down = m.ov_qy[size_t(c)];
  const int left = m.leftcon[size_t(c)], above = m.abovecon[size_t(c)];
  const double west = left > 0 ? m.ov_qx[size_t(left)] : 0.0, north = above > 0 ? m.ov_qy[size_t(above)] : 0.0;
  double sum = 0.0;
  if (right > tiny) sum += right * right;
  if (west < -tiny) sum += west * west;
  if (down > tiny) sum += down * down;
  if (north < -tiny) sum += north * north;
  return std::sqrt(sum);
}

void detach_cell(const erosion_context& e, int c) {
  model_state& m = e.m;
  ov_sed_record& s = e.s;
  const bool may_detach = face_slopes(e, c);
  if (e.lake_of(c) > 0) return;
  const double Qt = outflow_magnitude(m, c);
  s.sed_flow_total[size_t(c)] = Qt;
  if (!may_detach) return;
  const double h = m.ov_depth[size_t(c)];
  const double S = std::hypot(s.sed_slope_x[size_t(c)], s.sed_slope_y[size_t(c)]);
  const int* channel = s.channel_cells.empty() ? nullptr : s.channel_cells.data();
  double* eroded = s.ov_sed_vol_eroded.data();
  const double i = e.rain(c);
  if (i > tiny) {
    const rain_coefficients r = splash_coefficients(i);
    rain_splash_detachment(c, i, h, s, e.dt, e.dx, or_default(s.splash_K[size_t(c)], 60.0), r.a, r.b, channel,
                           eroded);
  }
  double q = Qt / e.dx, open = 1.0, v = 0.0;
  if (e.blocked()) {
    v = m.ovr_flow_block_value1[size_t(c)];
    if (v < 1.0) {
      q /= 1.0 - v;
      open = 1.0 - std::sqrt(v);
    }
  }
  const double C = sediment_transport_capacity(e.method, c, S, h, q, e.dt, e.dx, s, s.sed_K[size_t(c)], e.scale, open);
  if (q > tiny)
    flow_detachment(c, S, h, s, e.dt, e.dx, or_default(s.detach_coef[size_t(c)], 2e-5),
                    or_default(s.detach_exp[size_t(c)], 1.0), or_default(s.detach_crit[size_t(c)], 0.0), channel,
                    eroded, C, e.blocked() ? 1 : 0, v);
}

// One face of cell c: x (side 1) toward rightcon or y (side 2) toward belowcon; neighbour 0 is
// the outlet's sink slot.
void advect_face(const erosion_context& e, int c, int side) {
  model_state& m = e.m;
  ov_sed_record& s = e.s;
  const int n = s.num_sed_classes;
  const int nb = side == 1 ? m.rightcon[size_t(c)] : m.belowcon[size_t(c)];
  const bool open_outlet = c == m.outlet_cell && e.outlet_side() == side;
  if (nb == 0 && !open_outlet) return;
  double Q = side == 1 ? m.ov_qx[size_t(c)] : m.ov_qy[size_t(c)];
  if (open_outlet && !m.chan_explic_on) Q = m.outlet_discharge;
  const double sign = Q >= 0.0 ? 1.0 : -1.0;
  const int src = Q >= 0.0 ? c : nb, dst = Q >= 0.0 ? nb : c;
  const int face = side == 1 ? (Q >= 0.0 ? 4 : 2) : (Q >= 0.0 ? 1 : 3);
  const int src_lake = e.lake_of(src), dst_lake = e.lake_of(dst);
  const double absQ = std::fabs(Q);
  if (src_lake == 0) {
    double q = absQ / e.dx, open = 1.0;
    if (e.blocked() && dst > 0 && !m.ovr_flow_block_frac.empty()) {
      const double f = m.ovr_flow_block_frac[dst][face];
      if (f < 1.0) {
        q /= 1.0 - f;
        open = 1.0 - f;
      }
    }
    const double slope = std::fabs(side == 1 ? s.sed_slope_x[size_t(c)] : s.sed_slope_y[size_t(c)]);
    double C = sediment_transport_capacity(e.method, src, slope, m.ov_depth[size_t(src)], q, e.dt, e.dx, s,
                                           s.sed_K[size_t(src)], e.scale, open);
    (side == 1 ? s.qsx : s.qsy)[size_t(src)] = C;
    C = std::fabs(C);
    const double S2 = layer_total(s, src, suspended);
    if (!(C > tiny && S2 > tiny)) return;
    const double M = std::min(C, S2);
    std::vector<double>* faces = m.sediment_contam_on ? (side == 1 ? &m.ov_sed_vol_qsx : &m.ov_sed_vol_qsy) : nullptr;
    if (faces && faces->size() < s.vol_sed.size() / ov_sed_record::layers) faces = nullptr;
    for (int k = 1; k <= n; ++k) {
      const double f = vol(s, src, k, suspended) / S2;
      fract(s, src, k, suspended) = f;
      const double moved = f * M;
      vol(s, src, k, suspended) -= moved;
      if (faces) {
        (*faces)[s.cell_class(c, k)] += sign * moved;
        (*faces)[s.cell_class(c, 0)] += sign * moved;
      }
      if (dst_lake == 0) {
        vol(s, dst, k, suspended) += moved;
      } else {
        if (s.sand[size_t(k)]) vol(s, dst, k, deposit) += moved;
        m.sed_vol_overland_to_lake[size_t(dst_lake) * size_t(n + 1) + size_t(k)] += moved;
      }
      if (s.max_sed_flux_on) s.ov_qsmax[s.cell_class(src, k)] += moved / e.dt;
    }
  } else if (dst_lake == 0) {
    for (int j = 1; j <= s.num_fine_classes; ++j) {
      const int k = s.sed_class[size_t(j)];
      const size_t lake_class = size_t(src_lake) * size_t(n + 1);
      // The lake gives at most what it holds with what overland flow brought it since the
      // channels last took its balance.
      const double held = std::max(m.SS_vol_lake[lake_class + size_t(k)] + m.sed_vol_overland_to_lake[lake_class + size_t(k)], 0.0);
      const double moved = m.event_step_count == 0
                               ? 0.0
                               : std::min(std::fabs(m.SS_conc_vol_lake[lake_class + size_t(k)]) * absQ * e.dt, held);
      vol(s, dst, k, suspended) += moved;
      m.sed_vol_overland_to_lake[lake_class + size_t(k)] -= moved;
      if (s.max_sed_flux_on) s.ov_qsmax[s.cell_class(src, k)] += moved / e.dt;
    }
  }
}

// What reached the outlet's sink slot leaves the grid: layer 4 of the outlet cell.
void export_at_outlet(const erosion_context& e) {
  model_state& m = e.m;
  ov_sed_record& s = e.s;
  const int o = m.outlet_cell;
  const bool contam = m.sediment_contam_on && m.ov_sed_outlet_vol.size() > size_t(s.num_sed_classes);
  for (int k = 1; k <= s.num_sed_classes; ++k) {
    const double v = vol(s, 0, k, suspended);
    vol(s, o, k, exported) += v;
    vol(s, o, 0, exported) += v;
    s.outlet_sed_volume_step += v;
    if (contam) {
      m.ov_sed_outlet_vol[size_t(k)] += v;
      m.ov_sed_outlet_vol[0] += v;
    }
    vol(s, 0, k, suspended) = 0.0;
  }
}

void settle_cell(const erosion_context& e, int c) {
  model_state& m = e.m;
  ov_sed_record& s = e.s;
  if (e.lake_of(c) > 0) return;
  const double h = m.ov_depth[size_t(c)];
  double V = h > tiny ? s.sed_flow_total[size_t(c)] / (e.dx * h) : 0.0;
  if (e.blocked()) {
    const double v = m.ovr_flow_block_value1[size_t(c)];
    if (v < 1.0) V /= 1.0 - v;
  }
  for (int k = 1; k <= s.num_sed_classes; ++k) {
    const double trapped =
        V <= tiny || h <= tiny ? 1.0 : 1.0 - std::exp(-e.dx * s.settling_velocity[size_t(k)] / (V * h));
    const double v = trapped * vol(s, c, k, suspended);
    vol(s, c, k, suspended) -= v;
    vol(s, c, k, deposit) += v;
    s.ov_sed_vol_deposited[s.cell_class(c, k)] += v;
    s.ov_sed_vol_deposited[s.cell_class(c, 0)] += v;
  }
}

void size_working_arrays(model_state& m, ov_sed_record& s) {
  const size_t cells = size_t(m.cell_count) + 1;
  for (std::vector<double>* v : {&s.sed_slope_x, &s.sed_slope_y, &s.sed_flow_total})
    if (v->size() != cells) v->assign(cells, 0.0);
  if (s.channel_cells.size() != cells) s.channel_cells.assign(cells, 0);
  if (m.sediment_contam_on && m.ov_sed_outlet_vol.size() != size_t(s.num_sed_classes) + 1)
    m.ov_sed_outlet_vol.assign(size_t(s.num_sed_classes) + 1, 0.0);
}

void report_nans(ov_sed_record& s, int cells) {
  for (int c = 1; c <= cells; ++c) {
    for (int k = 1; k <= s.num_sed_classes; ++k) {
      if (std::isnan(vol(s, c, k, suspended))) std::printf("PT 3 suspended soil particle %2d=Nan at grid %d\n", k, c);
      if (std::isnan(vol(s, c, k, parent_soil))) std::printf("PT 3 eroded soil particle %2d=Nan at grid %d\n", k, c);
      if (std::isnan(vol(s, c, k, deposit))) std::printf("PT 3 deposited soil particle %2d=Nan at grid %d\n", k, c);
    }
    std::fflush(stdout);
  }
}

}  // namespace

double median_particle_diameter(int cell, ov_sed_record& s) {
  const int n = s.num_sed_classes;
  const int layer = composition_layer(s, cell);
  const double* d = s.part_diam.data();
  double running = 0.0;
  for (int k = n; k >= 1; --k) {
    running += fract(s, cell, k, layer);
    if (running < 0.5) continue;
    if (k == n) return d[n] * 1000.0;
    // Weighted between classes k+1 and k with the fraction of class k+1 alone.
    const double next = fract(s, cell, k + 1, layer);
    const double w = (0.5 - next) / (running - next);
    return 1000.0 * std::exp(std::log(d[k + 1]) + w * std::log(d[k] / d[k + 1]));
  }
  return d[n] * 1000.0;
}

double sediment_transport_capacity(int method, int cell, double S, double h, double q, double dt, double dx,
                                   ov_sed_record& s, double K, double scale, double open_factor) {
  if (q < tiny || h < tiny) return 0.0;
  if (method < 1 || method > 6) return q;
  const double V = q / h;
  switch (method) {
    case 1: {
      const int layer = composition_layer(s, cell);
      double sum = 0.0;
      for (int k = 1; k <= s.num_sed_classes; ++k) {
        const double sg = s.spec_grav[size_t(k)] - 1.0;
        sum += fract(s, cell, k, layer) * 0.05 * dx * V * V * std::pow(S * h, 1.5) /
               (sg * sg * (s.part_diam[size_t(k)] / 1000.0) * std::sqrt(gravity));
      }
      return sum * dt * K * open_factor;
    }
    case 2:
      return 1.7e8 * std::pow(S, 1.6667) * std::pow(q, 2.035) * K * scale;
    case 3: {
      const double P = 100.0 * V * S, d50 = median_particle_diameter(cell, s);
      const double c = d50 < 122.0 ? 0.006025596 * std::pow(P, 1.52) * std::pow(d50, 0.59)
                                   : 0.316227766 * std::pow(P, 2.59) * std::pow(d50, -0.39);
      return c / 10.0 * scale * open_factor;
    }
    case 4: {
      const double W = std::pow(1000.0 * water_unit_weight * h * S * V, 1.5), d50 = median_particle_diameter(cell, s);
      const double c = d50 < 122.0 ? 1.977e-6 * std::pow(W, 1.044) * std::pow(d50, 0.478)
                                   : 4.6e-7 * std::pow(W, 1.75) * std::pow(d50, -0.56);
      return c / 10.0 * scale * open_factor;
    }
    case 5: {
      const double Q = 10000.0 * q, d50 = median_particle_diameter(cell, s);
      double c;
      if (d50 < 33.0)
        c = 6.16595 * std::pow(S, 1.9) * std::pow(Q, 1.1);
      else if (d50 < 61.0)
        c = 10.96478 * std::pow(S, 1.94) * std::pow(Q, 1.19);
      else if (d50 < 122.0)
        c = 9.332543 * std::pow(S, 1.77) * std::pow(Q, 1.79);
      else if (d50 < 190.0)
        c = 64.56542 * std::pow(S, 2.96) * std::pow(Q, 2.18);
      else
        c = 20.41738 * std::pow(S, 2.81) * std::pow(Q, 3.1);
      return c / 10.0 * scale * open_factor;
    }
    default: {
      const double U = 100.0 * std::sqrt(water_unit_weight * h * S / 998.2), d50 = median_particle_diameter(cell, s);
      struct row {
        double below, coef, threshold, exponent;
      };
      static constexpr row rows[] = {{33.0, 0.035, 1.4, 2.88},
                                     {61.0, 0.052, 1.4, 2.95},
                                     {122.0, 0.029, 1.45, 3.74},
                                     {190.0, 0.024, 1.55, 4.14},
                                     {INFINITY, 0.0092, 1.8, 5.06}};
      const row* r = rows;
      while (d50 >= r->below) ++r;
      const double c = U > r->threshold ? r->coef * std::pow(U - r->threshold, r->exponent) : 0.0;
      return c / 10.0 * scale * open_factor;
    }
  }
}

void rain_splash_detachment(int cell, double i, double h, ov_sed_record& s, double dt, double dx, double K_splash,
                            double a, double b, const int* channel_cells, double* eroded) {
  const double hc = 0.00124 * std::pow(i, 0.182);
  const double damping = h > hc ? std::exp(1.0 - h / hc) : 1.0;
  const double D = damping * K_splash * a * std::pow(i, b) * dt * dx * dx / sediment_density;
  const double d3 = layer_total(s, cell, deposit);
  detach(s, cell, D, D - d3, channel_cells, eroded);
}

void flow_detachment(int cell, double S, double h, ov_sed_record& s, double dt, double dx, double coef, double exp,
                     double tau_crit, const int* channel_cells, double* eroded, double capacity, int block_on,
                     double block_value1) {
  if (!(h > tiny && S > tiny)) return;
  const double area = block_on ? dx * dx * (1.0 - block_value1) : dx * dx;
  const double S2 = layer_total(s, cell, suspended);
  if (!(capacity > S2)) return;
  const double f = 1.0 - S2 / capacity;
  const double tau = water_unit_weight * h * S;
  const double Dd = coef * std::pow(tau, exp) * f * dt * area / sediment_density;
  const double Dp = tau > tau_crit ? coef * std::pow(tau - tau_crit, exp) * f * dt * area / sediment_density : 0.0;
  const double d3 = layer_total(s, cell, deposit);
  // The parent soil gives the share of its own rate that the deposit could not supply.
  const double parent = Dd > tiny ? (1.0 - d3 / Dd) * Dp : 0.0;
  detach(s, cell, Dd, parent, channel_cells, eroded);
}

void compute_overland_erosion(model_state& m, double dt) {
  if (!m.ov_sed || m.cell_count < 1 || m.ov_sed->num_sed_classes < 1) return;
  ov_sed_record& s = *m.ov_sed;
  size_working_arrays(m, s);
  s.outlet_sed_volume_step = 0.0;
  const double dx = m.cell_size;
  const erosion_context e{m, s, dt, dx, dt * dx / sediment_density, s.soil_erosion_value,
                          m.lakes_on != 0 && !m.lake_mask.empty()};
  const int cells = m.cell_count;

  parallel_for_cells(cells, [&](int c) { detach_cell(e, c); });

  // In cell order: what one cell passes on may travel further in the same sweep.
  const int open_side = e.outlet_side();
  for (int c = 1; c <= cells; ++c) {
    if (s.max_sed_flux_on)
      for (int k = 0; k <= s.num_sed_classes; ++k) s.ov_qsmax[s.cell_class(c, k)] = 0.0;
    for (int side : {1, 2}) {
      advect_face(e, c, side);
      if (c == m.outlet_cell && side == open_side) export_at_outlet(e);
    }
  }

  parallel_for_cells(cells, [&](int c) { settle_cell(e, c); });

  if (s.max_sed_flux_on || s.net_sed_volume_on || s.vol_sed_susp_on)
    parallel_for_cells(cells, [&](int c) {
      if (s.max_sed_flux_on) {
        double sum = 0.0;
        for (int k = 1; k <= s.num_sed_classes; ++k) sum += s.ov_qsmax[s.cell_class(c, k)];
        s.ov_qsmax[s.cell_class(c, 0)] = sum;
      }
      if (s.vol_sed_susp_on) {
        double sum = 0.0;
        for (int k = 1; k <= s.num_sed_classes; ++k) sum += (s.ov_qsconc[s.cell_class(c, k)] = vol(s, c, k, suspended));
        s.ov_qsconc[s.cell_class(c, 0)] = sum;
      }
    });

  report_nans(s, cells);
}

}  // namespace pluvo
