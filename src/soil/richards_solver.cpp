// Richards' equation in every cell's soil column: adaptive sub-steps, a Picard-iterated implicit
// solve of each column, and an upper boundary that switches between a flux and a ponded head.
#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "common/error_state.hpp"
#include "common/parallel_team.hpp"
#include "common/tridiagonal.hpp"
#include "record/model_state.hpp"
#include "soil/hydraulic_functions.hpp"
#include "soil/infiltration_methods.hpp"
#include "soil/richards_columns.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;
constexpr double saturated_start_step = 0.001388888888888889;  // h: 5 s
constexpr double longest_limited_step = 0.02;                  // h
constexpr int ponded_iterations = 5;
constexpr int flux_boundary = 1, head_boundary = 2, saturated_boundary = 3;

// One thread's rows for the column in hand: sized for the deepest column of the run at each
// call, so a later run with deeper columns never writes past them.
struct column_scratch {
  std::vector<double> h_old, h_prev, theta_old, k, a, b, c, d;
  void fit(size_t n) {
    for (std::vector<double>* v : {&h_old, &h_prev, &theta_old, &k, &a, &b, &c, &d})
      if (v->size() < n) v->assign(n, 0.0);
  }
};

// What one cell adds to the totals, and the first non-real value it met.
struct column_result {
  double evaporated = 0.0;  // m
  double head_gain = 0.0;   // m of water a boundary cell's fixed depth supplied
  int bad_node = 0;
  const char* bad_what = nullptr;
};

struct solver_settings {
  bool long_term, water_table, frozen, gtfsm, cfgi, lakes, boundaries;
  int option, k_option, upper_option, max_iter;
  double weight, dtheta_max;
};

bool is_head_boundary_cell(const model_state& m, int i) {
  if (!m.ov_boundary_on || m.boundary_type.size() <= size_t(i)) return false;
  const int t = m.boundary_type[size_t(i)];
  return t == 2 || t == 3 || t == 9;
}

bool skipped(const model_state& m, const solver_settings& s, int i) {
  if (s.cfgi && size_t(i) < m.cfgi_cell.size() && m.cfgi_cell[size_t(i)] > m.cfgi_index_value) return true;
  return s.lakes && size_t(i) < m.lake_mask.size() && m.lake_mask[size_t(i)] >= 1;
}

// Every per-cell array the solve touches has the cells; a run without columns does nothing.
bool columns_ready(const model_state& m) {
  const size_t size = size_t(m.cell_count) + 1;
  for (const std::vector<int32_t>* v : {&m.numcells, &m.bound_type, &m.yes_exfil})
    if (v->size() != size) return false;
  for (const std::vector<double>* v : {&m.dtr, &m.root_depth, &m.infil_rate, &m.infil_depth, &m.inf_rich,
                                       &m.unsat_downward_flux, &m.ov_depth})
    if (v->size() != size) return false;
  if (m.long_term_on && (m.pot_et.size() != size || m.pot_aet.size() != size || m.direct_evap_cell.size() != size))
    return false;
  return m.PHEAD.rows() >= m.cell_count && m.PHEAD.cols() >= m.richards_nnodes;
}

// The solve of one column over one interval; the members are the state of the sub-step.
class column_solver {
 public:
  column_solver(model_state& m, const solver_settings& s, column_scratch& w, int i, double T)
      : m_(m), s_(s), w_(w), i_(i), n_(m.numcells[size_t(i)]), T_(T) {}

  column_result run();

 private:
  void start_sub_step();
  void pay_pond_evaporation();
  void set_upper_boundary();
  void interface_conductivities();
  void solve_heads();
  void compute_fluxes();
  bool flux_boundary_holds();
  void update_contents();
  void agree_heads_and_contents();
  void update_conductivity();
  double iteration_change();
  void restore_sub_step_start();
  void keep_top_flux_with_contents();
  void settle_surface();
  void book_sub_step();
  bool failed() const { return r_.bad_what != nullptr; }
  void fail(int node, const char* what) {
    if (!failed()) {
      r_.bad_node = node;
      r_.bad_what = what;
    }
  }

  model_state& m_;
  const solver_settings& s_;
  column_scratch& w_;
  const int i_, n_;
  const double T_;
  column_result r_;
  bool boundary_cell_ = false;
  double E_ = 0.0, R_ = 0.0, dt_ = 0.0, next_dt_ = 0.0, remaining_ = 0.0;
  double w_pond_ = 0.0, h0_ = 0.0, top_source_ = 0.0, soil_evap_ = 0.0;
  double table_trade_ = 0.0;  // cm the head-content agreement of the sub-step added to the soil nodes
  bool head_ = false, forced_switch_ = false, supply_limited_ = false;
  int bt_ = flux_boundary;
};

void column_solver::start_sub_step() {
  double* h = m_.PHEAD[i_];
  double* th = m_.THETA[i_];
  double* src = m_.SOURCE[i_];
  for (int j = 0; j <= n_; ++j) {
    w_.h_old[size_t(j)] = h[j];
    w_.h_prev[size_t(j)] = h[j];
    w_.theta_old[size_t(j)] = th[j];
    src[j] = 0.0;
  }
  h[0] = 0.0;
  m_.KHEAD[i_][0] = m_.KHEAD[i_][1];
  supply_limited_ = false;
  forced_switch_ = false;
}

// Step 2: the pond pays the evaporation demand first; in long-term runs the soil meets the rest.
void column_solver::pay_pond_evaporation() {
  const double pond = 100.0 * m_.ov_depth[size_t(i_)];
  w_pond_ = pond - E_ * dt_;
  if (!s_.long_term) return;
  if (w_pond_ < 0.0) {
    m_.direct_evap_cell[size_t(i_)] += pond;
    r_.evaporated += pond / 100.0;
    w_pond_ = dt_ * (1.0 - pond / E_) * (-3600.0 * m_.pot_aet[size_t(i_)]);
  } else {
    m_.direct_evap_cell[size_t(i_)] += E_ * dt_;
    r_.evaporated += E_ * dt_ / 100.0;
  }
}

// Step 3: a ponded or saturated top holds a head; otherwise rain or evaporation enter as sources.
void column_solver::set_upper_boundary() {
  const double* dz = m_.DZ[i_];
  const double* th = m_.THETA[i_];
  double* src = m_.SOURCE[i_];
  head_ = false;
  top_source_ = 0.0;
  soil_evap_ = 0.0;
  if (bt_ == saturated_boundary) {
    head_ = true;
    h0_ = -dz[0] / 2.0;
  } else if (bt_ == head_boundary && w_pond_ > tiny) {
    head_ = true;
    h0_ = w_pond_ - dz[0] / 2.0;
  } else if (bt_ == head_boundary && m_.PHEAD[i_][1] >= 0.0) {
    head_ = true;
    h0_ = -dz[0] / 2.0;
  }
  if (head_) {
    m_.PHEAD[i_][0] = h0_;
    return;
  }
  h0_ = 0.0;
  bt_ = flux_boundary;
  if (w_pond_ >= 0.0) {
    top_source_ = w_pond_ / remaining_ / dz[1];
    src[1] = top_source_;
    return;
  }
  // Soil evaporation spread over the root zone, each node limited by how dry it is.
  double covered = 0.0;
  for (int j = 1; j < n_ && covered < R_; ++j) {
    double stress = 1.0;
    if (th[j] <= m_.THETAWP[i_][j])
      stress = 0.0;
    else if (th[j] < m_.THETAFC[i_][j])
      stress = (th[j] - m_.THETAWP[i_][j]) / (m_.THETAFC[i_][j] - m_.THETAWP[i_][j]);
    src[j] = w_pond_ / (R_ * dt_) * stress;
    soil_evap_ -= src[j] * dz[j];
    covered += dz[j];
  }
  top_source_ = src[1];
}

void column_solver::interface_conductivities() {
  double* kr = m_.KHEAD[i_];
  if (bt_ == head_boundary) kr[0] = s_.upper_option == 3 ? 1.0 : kr[1];
  for (int j = 1; j <= n_; ++j) {
    const double mean = s_.k_option == 1 ? s_.weight * kr[j - 1] + (1.0 - s_.weight) * kr[j]
                                         : std::sqrt(kr[j - 1] * kr[j]);
    w_.k[size_t(j)] = mean * m_.KS[i_][j];
  }
  if (bt_ == head_boundary && s_.upper_option == 2) w_.k[1] = 1.0;
}

// Rows 1..n-1 of the implicit step; the flux boundary closes the top face for the solve.
void column_solver::solve_heads() {
  const double* dz = m_.DZ[i_];
  const double* C = m_.WATCAP[i_];
  double* h = m_.PHEAD[i_];
  const double k1 = w_.k[1];
  if (!head_) w_.k[1] = 0.0;
  const int last = n_ - 1;
  for (int j = 1; j <= last; ++j) {
    const double up = (dz[j] + dz[j + 1]) / 2.0, down = (dz[j] + dz[j - 1]) / 2.0;
    const double kp = w_.k[size_t(j) + 1], km = w_.k[size_t(j)];
    double a = -kp / (dz[j] * up), c = -km / (dz[j] * down);
    double b = -a - c + C[j] / dt_;
    double d = C[j] * h[j] / dt_ - kp / dz[j] + km / dz[j] + m_.SOURCE[i_][j];
    if (j == 1) {
      d -= c * h[0];
      c = 0.0;
    }
    if (j == last) {
      if (s_.water_table)
        d -= a * h[n_];
      else
        b += a;
      a = 0.0;
    }
    w_.a[size_t(j)] = a;
    w_.b[size_t(j)] = b;
    w_.c[size_t(j)] = c;
    w_.d[size_t(j)] = d;
  }
  w_.k[1] = k1;
  if (last >= 1) solve_tridiagonal(1, last, w_.a.data(), w_.b.data(), w_.c.data(), w_.d.data());
  for (int j = 1; j <= last; ++j) {
    if (std::isfinite(w_.d[size_t(j)]))
      h[j] = w_.d[size_t(j)];
    else if (!head_)
      forced_switch_ = true;
  }
  if (!s_.water_table) h[n_] = h[n_ - 1];
}

void column_solver::compute_fluxes() {
  const double* dz = m_.DZ[i_];
  const double* h = m_.PHEAD[i_];
  double* q = m_.WATFLUX[i_];
  for (int j = 1; j <= n_; ++j) {
    const double k = w_.k[size_t(j)];
    q[j] = k - k * (h[j] - h[j - 1]) / ((dz[j - 1] + dz[j]) / 2.0);
    if (!std::isfinite(q[j])) fail(j, "flux");
  }
}

// Step 4.6: the flux boundary stands when the soil takes what it is asked for.
bool column_solver::flux_boundary_holds() {
  const double* h = m_.PHEAD[i_];
  for (int j = 1; j < n_ && !forced_switch_; ++j)
    if (h[j] < -1e7 && m_.THETA[i_][j] > 0.95 * m_.THETAS[i_][j]) forced_switch_ = true;
  double* q = m_.WATFLUX[i_];
  const double asked = m_.DZ[i_][1] * m_.SOURCE[i_][1];
  if (asked <= q[1] && !forced_switch_) {
    q[1] = asked;
    m_.SOURCE[i_][1] = 0.0;
    return true;
  }
  return false;
}

void column_solver::update_contents() {
  const double* dz = m_.DZ[i_];
  const double* q = m_.WATFLUX[i_];
  double* th = m_.THETA[i_];
  double largest = 1e-4;
  for (int j = 1; j < n_; ++j) {
    const double before = w_.theta_old[size_t(j)];
    double t = before + ((q[j] - q[j + 1]) / dz[j] + m_.SOURCE[i_][j]) * dt_;
    if (!std::isfinite(t)) fail(j, "water content");
    t = std::max(t, m_.THETAR[i_][j]);
    th[j] = t;
    largest = std::max(largest, std::fabs(t - before));
  }
  next_dt_ = dt_ * s_.dtheta_max / largest;
  if (supply_limited_) next_dt_ = std::min(next_dt_, longest_limited_step);
}

void column_solver::agree_heads_and_contents() {
  double* th = m_.THETA[i_];
  const double* ts = m_.THETAS[i_];
  const auto head_from_content = [&](int j) {
    retention_head(m_.PHEAD, m_.THETA, m_.THETAS, m_.THETAR, m_.thehac, m_.ALPHA, m_.BETA, m_.LAM, m_.BP, i_, j,
                   s_.option);
  };
  if (supply_limited_ && th[1] < 0.999999 * ts[1] && m_.PHEAD[i_][1] >= 0.0) {
    head_from_content(1);
    supply_limited_ = false;
  }
  table_trade_ = 0.0;
  for (int j = 1; j < n_; ++j) {
    if (th[j] < ts[j] && th[j - 1] < ts[j - 1] && th[j + 1] < ts[j + 1]) {
      head_from_content(j);
    } else {
      const double before = th[j];
      retention_content(m_.PHEAD, m_.THETA, m_.THETAS, m_.THETAR, m_.thehac, m_.ALPHA, m_.BETA, m_.LAM, m_.BP,
                        m_.BChc, i_, j, s_.option);
      table_trade_ += (th[j] - before) * m_.DZ[i_][j];
    }
  }
  if (!s_.water_table) {
    m_.PHEAD[i_][n_] = m_.PHEAD[i_][n_ - 1];
    th[n_] = th[n_ - 1];
  }
}

void column_solver::update_conductivity() {
  update_column_conductivity(m_, i_);
  if (s_.frozen)
    freeze_richards_column(m_, i_);
  else if (s_.gtfsm && size_t(i_) < m_.SE.size())
    m_.KHEAD[i_][1] = bounded_power(m_.KHEAD[i_][1], m_.SE[size_t(i_)]);
}

// The largest relative change of a head since the previous iterate, in per cent.
double column_solver::iteration_change() {
  double* h = m_.PHEAD[i_];
  double p = 0.0;
  for (int j = 1; j < n_; ++j) {
    if (h[j] != 0.0) p = std::max(p, std::fabs(100.0 * (h[j] - w_.h_prev[size_t(j)]) / h[j]));
    w_.h_prev[size_t(j)] = h[j];
  }
  return p;
}

void column_solver::restore_sub_step_start() {
  for (int j = 1; j <= n_; ++j) {
    m_.PHEAD[i_][j] = w_.h_old[size_t(j)];
    m_.THETA[i_][j] = w_.theta_old[size_t(j)];
  }
}

// Without a water table, what the nodes set from their heads gained or lost came through the top
// face or stayed above it: the top flux is what the column took, so the pond keeps the rest.
void column_solver::keep_top_flux_with_contents() {
  if (!s_.water_table && table_trade_ != 0.0) m_.WATFLUX[i_][1] += table_trade_ / dt_;
}

// Step 5: the pond takes what the soil took and what evaporated; a boundary cell keeps its depth
// and books what it supplied.
void column_solver::settle_surface() {
  double& q1 = m_.WATFLUX[i_][1];
  double& depth = m_.ov_depth[size_t(i_)];
  const double before = depth;
  m_.infil_rate[size_t(i_)] = q1;
  if (w_pond_ <= 0.0) {
    depth = 0.0;
    bt_ = flux_boundary;
    if (q1 < 0.0) {
      q1 = -soil_evap_;
      m_.infil_rate[size_t(i_)] = soil_evap_;
    }
  } else {
    const double after = depth - (q1 + E_) * dt_ / 100.0;
    if (after > tiny) {
      depth = after;
      if (q1 + E_ > 0.0) next_dt_ = std::min(next_dt_, 100.0 * after / (q1 + E_));
    } else {
      depth = 0.0;
      if (m_.THETA[i_][1] == m_.THETAS[i_][1] && bt_ == head_boundary) {
        bt_ = saturated_boundary;
        next_dt_ = std::min(next_dt_, longest_limited_step);
      } else {
        bt_ = flux_boundary;
      }
    }
  }
  if (boundary_cell_) {
    r_.head_gain += before - depth;
    depth = before;
  }
}

void column_solver::book_sub_step() {
  const double q1 = m_.WATFLUX[i_][1], qn = m_.WATFLUX[i_][n_];
  if (q1 >= 0.0)
    m_.infil_depth[size_t(i_)] += q1 * dt_ / 100.0;
  else
    r_.evaporated += -q1 * dt_ / 100.0;
  m_.inf_rich[size_t(i_)] += q1 * dt_ / 100.0;
  // Nodes in touch with saturation take their content from their head; above a water table the
  // water that adds or removes is the table's, so the column and the aquifer together keep it.
  const double down = qn * dt_ - (s_.water_table ? table_trade_ : 0.0);
  m_.unsat_downward_flux[size_t(i_)] += down;
  if (!m_.unsat_recharge_depth.empty()) m_.unsat_recharge_depth[size_t(i_)] += down;
}

column_result column_solver::run() {
  boundary_cell_ = s_.boundaries && is_head_boundary_cell(m_, i_);
  const bool rain = size_t(i_) < m_.cell_rain_rate.size() && m_.cell_rain_rate[size_t(i_)] > 0.0;
  E_ = s_.long_term && !rain ? m_.pot_et[size_t(i_)] * 3600.0 : 0.0;
  R_ = m_.root_depth[size_t(i_)] * 100.0;
  dt_ = std::min(m_.dtr[size_t(i_)], T_);
  if (dt_ > 0.001 && m_.PHEAD[i_][1] >= 0.0) dt_ = saturated_start_step;
  next_dt_ = dt_;

  if (m_.yes_exfil[size_t(i_)] == 1) {  // the water table at the surface: only the pond evaporates
    double& depth = m_.ov_depth[size_t(i_)];
    const double pond = 100.0 * depth, w = pond - E_ * T_;
    const double gone = w < 0.0 ? pond : E_ * T_;
    if (gone > 0.0) m_.direct_evap_cell[size_t(i_)] += gone;
    r_.evaporated += gone / 100.0;
    if (boundary_cell_)
      r_.head_gain += gone / 100.0;
    else
      depth = w < 0.0 ? 0.0 : w / 100.0;
    return r_;
  }
  if (n_ < 2) {
    m_.infil_rate[size_t(i_)] = 0.0;
    return r_;
  }

  bt_ = m_.bound_type[size_t(i_)];
  remaining_ = T_;
  while (!failed()) {
    start_sub_step();
    pay_pond_evaporation();
    set_upper_boundary();
    const int iterations = head_ ? ponded_iterations : s_.max_iter;
    double change = 1.0;
    for (int it = 0; it < iterations && change > 0.1 && !failed(); ++it) {
      if (!head_) m_.SOURCE[i_][1] = top_source_;
      interface_conductivities();
      solve_heads();
      compute_fluxes();
      if (!head_ && !flux_boundary_holds()) {
        head_ = true;
        bt_ = head_boundary;
        h0_ = w_pond_ - m_.DZ[i_][0] / 2.0;
        m_.SOURCE[i_][1] = 0.0;
        for (int j = 0; j <= n_; ++j) m_.PHEAD[i_][j] = w_.h_old[size_t(j)];
        m_.PHEAD[i_][0] = h0_;
        solve_heads();
        compute_fluxes();
      }
      double& q1 = m_.WATFLUX[i_][1];
      if (q1 > 0.0 && q1 * dt_ > w_pond_) {
        q1 = std::max(w_pond_ / dt_, 0.0);
        supply_limited_ = true;
      }
      update_contents();
      agree_heads_and_contents();
      update_conductivity();
      change = iteration_change();
      if (it + 1 < iterations && change > 0.1) restore_sub_step_start();
    }
    if (failed()) break;
    keep_top_flux_with_contents();
    settle_surface();
    book_sub_step();
    remaining_ -= dt_;
    if (remaining_ <= tiny) break;
    dt_ = std::min(next_dt_, T_);
    if (dt_ > remaining_) dt_ = remaining_;
    if (remaining_ - dt_ < 1e-8) dt_ = remaining_;
  }
  m_.bound_type[size_t(i_)] = bt_;
  m_.dtr[size_t(i_)] = next_dt_;
  return r_;
}

}  // namespace

double solve_richards_columns(model_state& m, double dt) {
  const int n = m.cell_count;
  for (std::vector<double>* v : {&m.infil_depth, &m.infil_rate})
    if (v->size() != size_t(n) + 1) v->assign(size_t(n) + 1, 0.0);
  if (!columns_ready(m)) return 0.0;
  const solver_settings s{m.long_term_on != 0,
                          m.water_table_on != 0,
                          m.permafrost_gipl_flag != 0 || m.multi_layer_infil_gipl_flag != 0,
                          m.gtfsm_on != 0,
                          m.cfgi_on != 0,
                          m.lakes_on != 0,
                          m.ov_boundary_on != 0,
                          m.richards_c_option_value,
                          m.richards_k_option_value,
                          m.richards_upper_opt,
                          m.richards_max_iter,
                          m.richards_weight_value,
                          m.richards_dtheta_max_value};
  const double T = dt / 3600.0;
  std::vector<column_scratch> scratch(size_t(std::max(1, omp_get_max_threads())));
  std::vector<column_result> results(size_t(n) + 1);
  const size_t rows = size_t(m.richards_nnodes) + 2;
  const std::array<double, 2> sums = parallel_cell_sums<2>(n, [&](int i) -> std::array<double, 2> {
    if (skipped(m, s, i)) {
      m.infil_rate[size_t(i)] = 0.0;
      return {0.0, 0.0};
    }
    column_scratch& w = scratch[size_t(omp_get_thread_num())];
    w.fit(rows);
    results[size_t(i)] = column_solver(m, s, w, i, T).run();
    return {results[size_t(i)].evaporated, results[size_t(i)].head_gain};
  });
  for (int i = 1; i <= n; ++i) {
    const column_result& r = results[size_t(i)];
    if (r.bad_what == nullptr) continue;
    stop_run("Error: the Richards soil column of cell %d gave a %s that is not a number at node %d\n", i,
             r.bad_what, r.bad_node);
    break;
  }
  m.ov_head_bound_gain += sums[1] * m.cell_size * m.cell_size;
  return sums[0];
}

}  // namespace pluvo
