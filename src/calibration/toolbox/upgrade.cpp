// Damped, scaled normal equations and the bounded step of the Levenberg-Marquardt engines.
#include "calibration/toolbox/upgrade.hpp"

#include <cmath>

namespace pluvo::toolbox {

std::vector<double> adjustable_values(const toolbox_control& c, const std::vector<int>& adj) {
  std::vector<double> x(adj.size(), 0.0);
  for (size_t k = 1; k < adj.size(); ++k) x[k] = c.parameters[size_t(adj[k])].value;
  return x;
}

std::vector<double> prior_values_at(const matrix_cal& p, const toolbox_control& c,
                                    const std::vector<double>& x) {
  std::vector<double> pi(size_t(c.nprior) + 1, 0.0);
  if (c.nprior > 0) dmvmult(p, c.nprior, int(x.size()) - 1, x, int(x.size()) - 1, pi);
  return pi;
}

void follow_parents(toolbox_control& c) {
  for (int k = 1; k <= c.npar; ++k) {
    toolbox_parameter& t = c.parameters[size_t(k)];
    if (t.parent_index < 1 || t.parent_index > c.npar) continue;
    const toolbox_parameter& parent = c.parameters[size_t(t.parent_index)];
    t.value = t.tied_ratio * (parent.partrans == "log" ? std::pow(10.0, parent.value) : parent.value);
  }
}

namespace {

int rows_of(const toolbox_control& c) { return c.nobs + c.nprior; }

// Residuals: measured minus the base run for observations, provided minus P x for prior items.
std::vector<double> residuals(const toolbox_control& c, const std::vector<double>& pi) {
  std::vector<double> r(size_t(rows_of(c)) + 1, 0.0);
  for (int i = 1; i <= c.nobs; ++i)
    r[size_t(i)] = c.observations[size_t(i)].measured - c.observations[size_t(i)].simulated[0];
  for (int j = 1; j <= c.nprior; ++j)
    r[size_t(c.nobs + j)] = c.prior[size_t(j)].provided - pi[size_t(j)];
  return r;
}

double row_weight(const toolbox_control& c, int i) {
  return i <= c.nobs ? c.observations[size_t(i)].weight : c.prior[size_t(i - c.nobs)].weight;
}

// u = S z with (S A S + mu D) z = S B r, A = Jt Q J, B = Jt Q, mu = lambda x the smallest
// positive diagonal of A. A column with a zero diagonal gets no step.
void solve_damped(const matrix_cal& j, int m, int k, const matrix_cal& q,
                  const std::vector<double>& r, double lambda, std::vector<double>& u) {
  u.assign(size_t(k) + 1, 0.0);
  if (k < 1) return;
  matrix_cal jt(1, k, 1, m), b(1, k, 1, m), a(1, k, 1, k);
  dmtranspose(j, m, k, jt);
  dmmult(jt, k, m, q, m, m, b);
  dmmult(b, k, m, j, m, k, a);
  std::vector<double> s(size_t(k) + 1, 0.0), d(size_t(k) + 1, 0.0);
  double dmax = 0.0;
  for (int i = 1; i <= k; ++i) {
    if (a[i][i] > 0.0) {
      s[size_t(i)] = 1.0 / std::sqrt(a[i][i]);
      d[size_t(i)] = 1.0 / a[i][i];
      dmax = std::fmax(dmax, d[size_t(i)]);
    }
  }
  const double mu = dmax > 0.0 ? lambda / dmax : 0.0;
  matrix_cal mm(1, k, 1, k);
  for (int i = 1; i <= k; ++i)
    for (int l = 1; l <= k; ++l) mm[i][l] = s[size_t(i)] * a[i][l] * s[size_t(l)];
  for (int i = 1; i <= k; ++i) {
    mm[i][i] += mu * d[size_t(i)];
    if (s[size_t(i)] == 0.0) mm[i][i] = 1.0;  // keeps the system definite; its step is 0
  }
  std::vector<double> br(size_t(k) + 1, 0.0), g(size_t(k) + 1, 0.0), z(size_t(k) + 1, 0.0),
      p(size_t(k) + 1, 0.0);
  dmvmult(b, k, m, r, m, br);
  for (int i = 1; i <= k; ++i) g[size_t(i)] = s[size_t(i)] * br[size_t(i)];
  choldc(mm, k, p);
  cholsl(mm, k, p, g, z);
  for (int i = 1; i <= k; ++i) u[size_t(i)] = s[size_t(i)] * z[size_t(i)];
}

// u scaled by the factor that minimises the weighted residual along it.
void optimal_length(const matrix_cal& j, int k, const toolbox_control& c,
                    const std::vector<double>& r, std::vector<double>& u) {
  const int m = rows_of(c);
  std::vector<double> v(size_t(m) + 1, 0.0);
  dmvmult(j, m, k, u, k, v);
  double num = 0.0, den = 0.0;
  for (int i = 1; i <= m; ++i) {
    const double w = row_weight(c, i);
    num += w * w * r[size_t(i)] * v[size_t(i)];
    den += (w * v[size_t(i)]) * (w * v[size_t(i)]);
  }
  if (den == 0.0) return;  // no change of the residuals along u: keep it as solved
  const double beta = num / den;
  for (int i = 1; i <= k; ++i) u[size_t(i)] *= beta;
}

// The columns of the adjustable parameters that are still free.
matrix_cal reduced_columns(const matrix_cal& j, const toolbox_control& c,
                           const std::vector<int>& adj, bool skip_frozen, int& k) {
  const int m = rows_of(c);
  k = 0;
  for (size_t a = 1; a < adj.size(); ++a) {
    const toolbox_parameter& p = c.parameters[size_t(adj[a])];
    if (!p.no_effect && !(skip_frozen && p.frozen)) ++k;
  }
  matrix_cal jr(1, m, 1, k > 0 ? k : 0);
  int col = 0;
  for (size_t a = 1; a < adj.size(); ++a) {
    const toolbox_parameter& p = c.parameters[size_t(adj[a])];
    if (p.no_effect || (skip_frozen && p.frozen)) continue;
    ++col;
    for (int i = 1; i <= m; ++i) jr[i][col] = j[i][int(a)];
  }
  return jr;
}

std::vector<double> gradient(const matrix_cal& j, const matrix_cal& q, const toolbox_control& c,
                             int n, const std::vector<double>& r) {
  const int m = rows_of(c);
  std::vector<double> g(size_t(n) + 1, 0.0);
  for (int k = 1; k <= n; ++k) {
    double sum = 0.0;
    for (int i = 1; i <= m; ++i) sum += j[i][k] * q[i][i] * r[size_t(i)];
    g[size_t(k)] = 2.0 * sum;
  }
  return g;
}

void freeze(toolbox_parameter& p, toolbox_control& c, std::FILE* record, bool gradient_out) {
  if (p.frozen) return;
  p.frozen = 1;
  ++c.frozen_count;
  const char* format = gradient_out
                           ? "      parameter \"%s\" frozen: gradient and update vectors out of bounds\n"
                           : "      parameter \"%s\" frozen: update vectors out of bounds\n";
  std::printf(format, p.name.c_str());
  if (record) std::fprintf(record, format, p.name.c_str());
}

// Adds the step and pulls a parameter that leaves a bound it was not on back onto it.
void step_within_bounds(toolbox_parameter& p, double& uk) {
  p.value += uk;
  if (p.upper > p.value && p.at_upper) p.at_upper = 0;
  if (p.value > p.lower && p.at_lower) p.at_lower = 0;
  if (p.value > p.upper && !p.at_upper) {
    uk -= p.value - p.upper;
    p.value = p.upper;
    p.at_upper = 1;
  }
  if (p.lower > p.value && !p.at_lower) {
    uk += p.lower - p.value;
    p.value = p.lower;
    p.at_lower = 1;
  }
}

}  // namespace

int calc_upgrade_vector(const matrix_cal& j, const matrix_cal& p, const matrix_cal& q,
                        const toolbox_control& c, std::vector<double>& u) {
  std::vector<int> adj(1, 0);
  list_adjustable_parameters(c, adj);
  const std::vector<double> x = adjustable_values(c, adj);
  const std::vector<double> r = residuals(c, prior_values_at(p, c, x));
  solve_damped(j, rows_of(c), int(adj.size()) - 1, q, r, c.rlambda1, u);
  return 0;
}

int calc_upgrade_vector_reduced(const matrix_cal& jr, const std::vector<double>& prior_values,
                                int m, int k, const matrix_cal& q, const toolbox_control& c,
                                std::vector<double>& u) {
  solve_damped(jr, m, k, q, residuals(c, prior_values), c.rlambda1, u);
  return 0;
}

int optimal_upgrade_length_all(const matrix_cal& j, const matrix_cal& p, const matrix_cal&,
                               const toolbox_control& c, std::vector<double>& u) {
  std::vector<int> adj(1, 0);
  list_adjustable_parameters(c, adj);
  const std::vector<double> x = adjustable_values(c, adj);
  optimal_length(j, int(adj.size()) - 1, c, residuals(c, prior_values_at(p, c, x)), u);
  return 0;
}

int optimal_upgrade_length(const matrix_cal& jr, const std::vector<double>& prior_values,
                           const matrix_cal&, const toolbox_control& c, std::vector<double>& u) {
  int n = 0;
  for (int k = 1; k <= c.npar; ++k) n += is_adjustable(c.parameters[size_t(k)]);
  optimal_length(jr, n - c.no_effect_count - c.frozen_count, c, residuals(c, prior_values), u);
  return 0;
}

int optimal_upgrade_length_2(const matrix_cal& jr, const std::vector<double>& prior_values,
                             const matrix_cal&, const toolbox_control& c,
                             std::vector<double>& u) {
  int n = 0;
  for (int k = 1; k <= c.npar; ++k) n += is_adjustable(c.parameters[size_t(k)]);
  optimal_length(jr, n - c.no_effect_count, c, residuals(c, prior_values), u);
  return 0;
}

int upgrade_parameters(const matrix_cal& j, const matrix_cal& p, const matrix_cal& q,
                       toolbox_control& c, std::vector<double>& u, const std::vector<int>& adj,
                       std::FILE* record) {
  const int n = int(adj.size()) - 1;
  const int m = rows_of(c);
  u.resize(size_t(n) + 1, 0.0);
  const std::vector<double> x = adjustable_values(c, adj);
  const std::vector<double> pi = prior_values_at(p, c, x);
  const std::vector<double> r = residuals(c, pi);
  if (c.no_effect_count >= 1) {
    int k = 0;
    const matrix_cal jr = reduced_columns(j, c, adj, false, k);
    std::vector<double> ur;
    calc_upgrade_vector_reduced(jr, pi, m, k, q, c, ur);
    optimal_upgrade_length_2(jr, pi, q, c, ur);
    int next = 0;
    for (int a = 1; a <= n; ++a)
      u[size_t(a)] = c.parameters[size_t(adj[size_t(a)])].no_effect ? 0.0 : ur[size_t(++next)];
  }
  std::vector<double> g;
  auto grad = [&](int a) {
    if (g.empty()) g = gradient(j, q, c, n, r);
    return g[size_t(a)];
  };
  // First pass.
  for (int a = 1; a <= n; ++a) {
    toolbox_parameter& prm = c.parameters[size_t(adj[size_t(a)])];
    if (prm.frozen) continue;
    double& uk = u[size_t(a)];
    step_within_bounds(prm, uk);
    if (prm.value > prm.upper && prm.at_upper && prm.value - uk + grad(a) > prm.upper) {
      prm.value = prm.upper;
      freeze(prm, c, record, true);
    }
    if (prm.lower > prm.value && prm.at_lower && prm.lower > prm.value - uk + grad(a)) {
      prm.value = prm.lower;
      freeze(prm, c, record, true);
    }
  }
  // Second pass: pushed outward from a bound although the gradient points inward.
  if (c.frozen_count == 0) {
    for (int a = 1; a <= n; ++a) {
      toolbox_parameter& prm = c.parameters[size_t(adj[size_t(a)])];
      if (prm.value - prm.upper > 1e-8 && prm.at_upper) {
        prm.value = prm.upper;
        freeze(prm, c, record, false);
      }
      if (prm.lower - prm.value > 1e-8 && prm.at_lower) {
        prm.value = prm.lower;
        freeze(prm, c, record, false);
      }
    }
  }
  // Re-solve without the frozen parameters until no more freeze.
  while (c.frozen_count >= 1 && c.frozen_count + c.no_effect_count < n) {
    for (int a = 1; a <= n; ++a) {
      toolbox_parameter& prm = c.parameters[size_t(adj[size_t(a)])];
      if (prm.frozen || prm.no_effect) continue;
      prm.value -= u[size_t(a)];
      prm.at_upper = prm.value >= prm.upper || std::fabs(prm.value - prm.upper) < 1e-8;
      prm.at_lower = prm.lower >= prm.value || std::fabs(prm.value - prm.lower) < 1e-8;
    }
    int k = 0;
    const matrix_cal jr = reduced_columns(j, c, adj, true, k);
    std::vector<double> ur;
    calc_upgrade_vector_reduced(jr, pi, m, k, q, c, ur);
    optimal_upgrade_length(jr, pi, q, c, ur);
    int next = 0, newly_frozen = 0;
    for (int a = 1; a <= n; ++a) {
      toolbox_parameter& prm = c.parameters[size_t(adj[size_t(a)])];
      double& uk = u[size_t(a)];
      if (prm.frozen || prm.no_effect) {
        uk = 0.0;
        continue;
      }
      uk = ur[size_t(++next)];
      step_within_bounds(prm, uk);
      if (prm.value > prm.upper && prm.at_upper) {
        const bool out = prm.value - uk + grad(a) > prm.upper;
        uk = 0.0;
        prm.value = prm.upper;
        newly_frozen += !prm.frozen;
        freeze(prm, c, record, out);
      } else if (prm.lower > prm.value && prm.at_lower) {
        const bool out = prm.lower > prm.value - uk + grad(a);
        uk = 0.0;
        prm.value = prm.lower;
        newly_frozen += !prm.frozen;
        freeze(prm, c, record, out);
      }
    }
    if (newly_frozen == 0) break;
  }
  // Final clamp.
  for (int a = 1; a <= n; ++a) {
    toolbox_parameter& prm = c.parameters[size_t(adj[size_t(a)])];
    if (prm.frozen) continue;
    if (prm.at_lower && prm.lower > prm.value) {
      prm.value = prm.lower;
      u[size_t(a)] = 0.0;
    }
    if (prm.at_upper && prm.value > prm.upper) {
      prm.value = prm.upper;
      u[size_t(a)] = 0.0;
    }
  }
  follow_parents(c);
  return 0;
}

}  // namespace pluvo::toolbox
