// One implicit step of the unconfined aquifer: net sources, then Picard passes of the head-
// dependent transmissivity, each solved by line sweeps over the mask rows or columns.
#include "groundwater/groundwater_solver.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/error_state.hpp"
#include "common/console.hpp"
#include "common/parallel_team.hpp"
#include "common/time_series.hpp"
#include "common/tridiagonal.hpp"
#include "groundwater/korp_linkage.hpp"
#include "record/model_state.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

constexpr double min_thickness = 0.001;
constexpr double picard_tolerance = 0.001;
constexpr int picard_warning_pass = 50;
constexpr int picard_limit = 1000;

bool held(const model_state& m, int c) { return gw_held_cell(m, c); }

void size_work(std::vector<double>& v, size_t n) {
  if (v.size() != n) v.assign(n, 0.0);
}

}  // namespace

bool gw_held_cell(const model_state& m, int c) {
  const int t = m.gwbound[size_t(c)];
  return t == gw_fixed_head || t == gw_held_head;
}

void size_groundwater_arrays(model_state& m) {
  const size_t n = size_t(m.cell_count) + 1;
  for (std::vector<double>* v :
       {&m.gw_storage_coeff, &m.gw_trans_x, &m.gw_trans_y, &m.gw_sat_thickness, &m.gw_coef_above,
        &m.gw_coef_left, &m.gw_coef_diag, &m.gw_coef_right, &m.gw_coef_below, &m.gw_rhs, &m.gw_net_sink,
        &m.gw_well_rate, &m.gw_bottom_leakage, &m.gw_extracted_depth, &m.gw_unsat_exchange_cm, &m.gw_flux,
        &m.gw_head_old, &m.cell_stream_exchange_volume, &m.gw_head_start, &m.gw_head_iterate,
        &m.gw_static_flux, &m.unsat_downward_flux})
    size_work(*v, n);
  const size_t line = size_t(std::max(m.cell_number_grid.rows(), m.cell_number_grid.cols())) + 2;
  for (std::vector<double>* v : {&m.gw_line_a, &m.gw_line_b, &m.gw_line_c, &m.gw_line_r}) size_work(*v, line);
  if (m.gw_line_cells.size() != line) m.gw_line_cells.assign(line, 0);
  if (m.yes_exfil.size() != n) m.yes_exfil.assign(n, 0);
}

namespace {

double take(std::vector<double>& v, int c) {
  const double x = v[size_t(c)];
  v[size_t(c)] = 0.0;
  return x;
}

// The cell's net rate out of the aquifer; consumes the exchange volumes handed over since the
// last step. Returns the volume the net source adds to the aquifer.
double gw_net_source_body(model_state& m, int c, double dt) {
  if (held(m, c)) return 0.0;
  const size_t i = size_t(c);
  const double area = m.gw_cell_width_x[i] * m.gw_cell_width_y[i];
  const double b = m.elevgw[i] - m.bottom_elev[i];
  const double recharge = m.unsat_downward_flux[i] / 100.0 / dt;
  double tile = 0.0;
  if (m.leaky_pipes_on && i < m.vol_tile_grid.size()) tile = take(m.vol_tile_grid, c) / dt / area;
  double lake = 0.0;
  if (m.lakes_on && m.lake_gw_exchange_on == 1 && i < m.lake_source.size()) {
    lake = m.lake_source[i] / dt / area;
    if (lake != 0.0) m.lake_source[i] = 0.0;
  }
  const double stream = m.chan_explic_on ? take(m.cell_stream_exchange_volume, c) / dt / area : 0.0;
  const double extracted = take(m.gw_extracted_depth, c) / dt;
  const double unsat = -m.gw_unsat_exchange_cm[i] / 100.0 / dt;
  if (!m.inf_richards_on) m.gw_unsat_exchange_cm[i] = 0.0;
  double leak = m.gw_leakage_rate_value / 100.0 / 3600.0;
  if (b < 0.01) leak = 0.0;
  if (leak * dt > b) leak = b / dt;
  m.gw_bottom_leakage[i] = leak;
  if (!m.wells_on) m.gw_well_rate[i] = m.gw_static_flux[i];
  if (m.gw_well_rate[i] > 0.0 && b < 0.01) m.gw_well_rate[i] = 0.0;
  double sink = m.gw_well_rate[i] - recharge + leak + unsat + extracted + stream + lake + tile;
  if (sink > 0.0 && b < min_thickness) sink = 0.0;
  if (sink > 0.0 && b - dt * sink < min_thickness) sink = (b - min_thickness) / dt;
  m.gw_net_sink[i] = sink;
  return -dt * sink * area;
}

// Storage coefficient of a cell whose soil column sits on the water table, and the number of
// column layers the table would cross in dts.
int column_storage(model_state& m, int c, double dts) {
  const size_t i = size_t(c);
  const int n = m.numcells[i];
  const double q = m.gw_net_sink[i];
  double& s = m.gw_storage_coeff[i];
  if (m.elevgw[i] >= m.elevation[i]) {
    s = m.THETAS[i][1];
    return 0;
  }
  if (n <= 2) {
    s = m.THETAS[i][std::max(n - 1, 1)];
    return 0;
  }
  if (q > 0.0) {
    s = m.THETAS[i][n - 1];
    return int(std::floor(dts * q * 100.0 / s / m.DZ[i][n]));
  }
  double water = -q * dts * 100.0;
  double stored = 0.0;
  double thickness = 0.0;
  int walked = 0;
  int k = n - 1;
  for (;; k--) {
    const double dz = k >= 1 ? m.DZ[i][k] : m.layered_soil_table[size_t(m.soiltype[i])].values[31];
    const double content = k >= 1 ? m.THETAS[i][k] : 1.0;
    const double offer = dz * content;
    walked++;
    if (water <= offer || content <= 0.0) {
      const double part = content > 0.0 ? water / content : 0.0;
      stored += part * content;
      thickness += part;
      break;
    }
    water -= offer;
    stored += offer;
    thickness += dz;
  }
  s = thickness > 0.0 ? stored / thickness : m.THETAS[i][n - 1];
  if (k >= 1 && m.DZ[i][k] >= thickness) s = m.THETAS[i][n - 1];
  return walked;
}

// The soil-column coupling chooses the storage coefficients and may shorten the sub-step so the
// water table crosses at most two column layers in it.
double couple_soil_columns(model_state& m, double dts) {
  if (!m.inf_richards_on || m.numcells.size() <= size_t(m.cell_count)) return dts;
  for (;;) {
    int crossed = 0;
    for (int c = 1; c <= m.cell_count; c++) {
      if (held(m, c)) continue;
      const size_t i = size_t(c);
      const int n = m.numcells[i];
      const double q = m.gw_net_sink[i];
      if (n <= 2 && m.elevgw[i] < m.elevation[i] && q != 0.0) {
        const int k = std::max(n - 1, 1);
        const double f = m.THETAS[i][k] - m.THETA[i][k];
        const double d = m.DZ[i][k];
        if (f > 0.0 && -(q * 100.0 * dts) / (d * f) > d) dts = std::max(-f * d / (q * 100.0), 1.0);
      }
      crossed = std::max(crossed, column_storage(m, c, dts));
    }
    if (crossed <= 2) return dts;
    dts *= 0.5;
    if (dts <= 1.0) return dts;
  }
}

double harmonic_conductance(double tc, double tn, double wc, double wn) {
  const double d = tc * wn + tn * wc;
  return d > 0.0 ? 2.0 * tc * tn / d / wc : 0.0;
}

void gw_transmissivity_body(model_state& m, int c) {
  const size_t i = size_t(c);
  m.gw_head_iterate[i] = m.elevgw[i];
  double b = m.elevgw[i] - m.bottom_elev[i];
  if (m.permafrost_gipl_flag && i < m.extent_GIPLgw.size() && m.extent_GIPLgw[i] > 0.0) b = m.extent_GIPLgw[i];
  m.gw_sat_thickness[i] = b;
  const double t = std::max(b, min_thickness) * m.gw_hycond[i];
  m.gw_trans_x[i] = t;
  m.gw_trans_y[i] = t;
  m.elevgw[i] = m.gw_head_start[i];
}

void gw_conductance_body(model_state& m, int c, double dts) {
  const size_t i = size_t(c);
  if (held(m, c)) {
    m.gw_coef_above[i] = m.gw_coef_left[i] = m.gw_coef_right[i] = m.gw_coef_below[i] = 0.0;
    m.gw_coef_diag[i] = 1.0;
    m.gw_rhs[i] = m.elevgw[i];
    return;
  }
  const double dx = m.gw_cell_width_x[i];
  const double dy = m.gw_cell_width_y[i];
  auto across_rows = [&](int n) {
    return n > 0 ? harmonic_conductance(m.gw_trans_y[i], m.gw_trans_y[size_t(n)], dy, m.gw_cell_width_y[size_t(n)]) : 0.0;
  };
  auto across_cols = [&](int n) {
    return n > 0 ? harmonic_conductance(m.gw_trans_x[i], m.gw_trans_x[size_t(n)], dx, m.gw_cell_width_x[size_t(n)]) : 0.0;
  };
  const double above = across_rows(m.abovecon[i]);
  const double below = across_rows(m.belowcon[i]);
  const double left = across_cols(m.leftcon[i]);
  const double right = across_cols(m.rightcon[i]);
  const double storage = m.gw_storage_coeff[i] / dts;
  m.gw_coef_above[i] = above;
  m.gw_coef_below[i] = below;
  m.gw_coef_left[i] = left;
  m.gw_coef_right[i] = right;
  m.gw_coef_diag[i] = -(above + left + right + below + storage);
  m.gw_rhs[i] = m.gw_net_sink[i] - storage * m.elevgw[i];
}

void groundwater_floor_heads(model_state& m, int c) {
  const size_t i = size_t(c);
  if (held(m, c) || m.elevgw[i] - m.bottom_elev[i] >= min_thickness) return;
  m.elevgw[i] = m.bottom_elev[i] + min_thickness;
  if (m.gw_net_sink[i] > 0.0) m.gw_net_sink[i] = 0.0;
}

void gw_fixed_head_flux_body(model_state& m, int c, double dts) {
  const size_t i = size_t(c);
  if (m.gwbound[i] != gw_fixed_head) return;
  const double h = m.elevgw[i];
  const double b = h - m.bottom_elev[i];
  const double dx = m.gw_cell_width_x[i];
  const double dy = m.gw_cell_width_y[i];
  const double k = m.gw_hycond[i];
  auto open = [&](int n) { return n > 0 && m.gwbound[size_t(n)] != 0 && m.gwbound[size_t(n)] != gw_fixed_head; };
  double flux = 0.0;
  for (int n : {m.abovecon[i], m.belowcon[i]})
    if (open(n)) flux += (h - m.elevgw[size_t(n)]) / dy * b * dx * k * dts;
  for (int n : {m.leftcon[i], m.rightcon[i]})
    if (open(n)) flux += (h - m.elevgw[size_t(n)]) / dx * b * dy * k * dts;
  m.gw_flux[i] += flux;
}

bool nan_head(model_state& m) {
  for (int c = 1; c <= m.cell_count; c++) {
    if (!std::isnan(m.elevgw[size_t(c)])) continue;
    stop_run("elevgw NaN in main()- point 7, grid cell %d\n", c);
    return true;
  }
  return false;
}

// Picard passes until the head stops changing; false after the pass limit (reported).
bool picard_solve(model_state& m, double dts) {
  const int n = m.cell_count;
  const gw_line_system system{m.gw_coef_above.data(), m.gw_coef_left.data(),  m.gw_coef_diag.data(),
                              m.gw_coef_right.data(), m.gw_coef_below.data(), m.gw_rhs.data(),
                              &m.cell_number_grid,    m.gw_relax_coeff_value, m.gw_lsor_con_value,
                              m.gw_step_toggle,       m.gw_lsor_direction};
  int counter = 1;
  for (;;) {
    counter++;
    if (counter >= picard_warning_pass) message_out("GW IS NOT CONVERGING \n");
    if (counter > picard_limit) {
      stop_run("Error: Non-convergence in the groundwater after 1000 tries.\n");
      return false;
    }
    if (m.permafrost_gipl_flag) gw_transmissivity_linkage(m);
    parallel_for_cells(n, [&](int c) { gw_transmissivity_body(m, c); });
    parallel_for_cells(n, [&](int c) { gw_conductance_body(m, c, dts); });
    solve_groundwater_sweeps(m.elevgw.data(), system, m);
    double change = 0.0;
    for (int c = 1; c <= n; c++) {
      const size_t i = size_t(c);
      change = std::max(change, std::fabs(m.elevgw[i] - m.gw_head_iterate[i]));
      m.gw_head_iterate[i] = m.elevgw[i];
    }
    if (change <= picard_tolerance) return true;
    if (m.inf_richards_on)
      for (int c = 1; c <= n; c++)
        if (!held(m, c)) layered_storage_change(m, c);
  }
}

// Hands the soil columns' exchange of the sub-step to the aquifer's remaining time.
double exchange_with_soil_columns(model_state& m, double remaining) {
  double volume = 0.0;
  for (int c = 1; c <= m.cell_count; c++) m.gw_to_unsat_step_cm += update_soil_column_profile(m, c);
  if (remaining <= 0.0) return 0.0;
  for (int c = 1; c <= m.cell_count; c++) {
    const size_t i = size_t(c);
    const double cm = m.gw_unsat_exchange_cm[i];
    if (!held(m, c)) {
      m.gw_to_unsat_step_cm += cm;
      m.gw_net_sink[i] += -cm / 100.0 / remaining;
      // Positive when the column hands water down into the aquifer.
      volume += cm / 100.0 * m.gw_cell_width_x[i] * m.gw_cell_width_y[i];
    }
    m.unsat_downward_flux[i] += cm;
    m.gw_unsat_exchange_cm[i] = 0.0;
  }
  return volume;
}

}  // namespace

int solve_groundwater_sweeps(double* head, const gw_line_system& s, model_state& m) {
  const grid<int32_t>& g = *s.cells;
  const bool rows = s.direction == 1;
  const int lines = rows ? g.rows() : g.cols();
  const int length = rows ? g.cols() : g.rows();
  double* a = m.gw_line_a.data();
  double* b = m.gw_line_b.data();
  double* cc = m.gw_line_c.data();
  double* r = m.gw_line_r.data();
  int32_t* cell = m.gw_line_cells.data();
  int passes = 0;
  for (;;) {
    double largest = 1e-20;
    for (int step = 1; step <= lines; step++) {
      const int line = s.sweep_order == 1 ? step : lines + 1 - step;
      int count = 0;
      for (int j = 1; j <= length; j++) {
        const int c = rows ? g(line, j) : g(j, line);
        if (c == 0) continue;
        const size_t i = size_t(c);
        count++;
        cell[count] = c;
        b[count] = s.diag[i];
        if (rows) {
          cc[count] = s.left[i];
          a[count] = s.right[i];
          const int up = m.abovecon[i], down = m.belowcon[i];
          r[count] = s.rhs[i] - (up > 0 ? s.above[i] * head[up] : 0.0) - (down > 0 ? s.below[i] * head[down] : 0.0);
        } else {
          cc[count] = s.above[i];
          a[count] = s.below[i];
          const int lf = m.leftcon[i], rt = m.rightcon[i];
          r[count] = s.rhs[i] - (lf > 0 ? s.left[i] * head[lf] : 0.0) - (rt > 0 ? s.right[i] * head[rt] : 0.0);
        }
      }
      if (count == 0) continue;
      solve_tridiagonal(1, count, a, b, cc, r);
      for (int k = 1; k <= count; k++) {
        double& h = head[cell[k]];
        const double change = std::fabs(r[k] - h);
        if (change > largest) largest = change;
        h += s.relax * (r[k] - h);
      }
    }
    passes++;
    if (!(largest >= s.tolerance) || passes >= gw_sweep_pass_limit) return passes;
  }
}

double groundwater_solve(model_state& m, double dt) {
  const int n = m.cell_count;
  size_groundwater_arrays(m);
  m.gw_to_unsat_step_cm = 0.0;
  if (m.wells_on) gw_time_series_value_by_index(m.gw_well_rate.data(), m.cur_julian, m.cell_size);
  double volume = 0.0;
  if (dt > 0.0) volume = parallel_cell_sums<1>(n, [&](int c) {
                           return std::array<double, 1>{gw_net_source_body(m, c, dt)};
                         })[0];
  if (dt <= 0.0) return volume;
  double remaining = dt;
  double dts = dt;
  for (;;) {
    if (nan_head(m)) return 0.0;
    std::copy(m.elevgw.begin(), m.elevgw.begin() + n + 1, m.gw_head_start.begin());
    dts = couple_soil_columns(m, dts);
    if (remaining - dts < 0.0) dts = remaining;
    remaining -= dts;
    if (!picard_solve(m, dts)) return 0.0;
    parallel_for_cells(n, [&](int c) { groundwater_floor_heads(m, c); });
    if (m.inf_richards_on) volume += exchange_with_soil_columns(m, remaining);
    parallel_for_cells(n, [&](int c) { gw_fixed_head_flux_body(m, c, dts); });
    if (remaining <= 0.0) return volume;
  }
}

}  // namespace pluvo
