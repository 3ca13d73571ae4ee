// Water retention and conductivity of soil columns.
#include "soil/hydraulic_functions.hpp"

#include <algorithm>
#include <cmath>

#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double least_conductivity_ratio = 1e-6;

// Nodes 1..numcells of the cell's column; 0 when the column is not set up.
int column_nodes(const model_state& m, int cell) {
  if (size_t(cell) >= m.numcells.size()) return 0;
  return std::min(int(m.numcells[size_t(cell)]), m.KHEAD.cols());
}

void copy_node_one(model_state& m, int cell) {
  if (m.KHEAD.cols() < 1 || m.WATCAP.cols() < 1) return;
  m.KHEAD[cell][0] = m.KHEAD[cell][1];
  m.WATCAP[cell][0] = m.WATCAP[cell][1];
}

// The saturation where the Brooks and Corey curve meets the parabola.
double transition_saturation(double theta_c, double theta_r, double theta_s) {
  return (theta_c - theta_r) / (theta_s - theta_r);
}

}  // namespace

double bounded_power(double x, double b) {
  return std::min(x, std::exp((1.0 - b) * std::log(least_conductivity_ratio) + b * std::log(x)));
}

void brooks_corey_layer_functions(model_state& m, int c) {
  const int nodes = column_nodes(m, c);
  for (int j = 1; j <= nodes; j++) {
    const double h = m.PHEAD[c][j], hb = m.BP[c][j], lam = m.LAM[c][j];
    const double ts = m.THETAS[c][j], tr = m.THETAR[c][j];
    if (h > 0.0) {
      m.KHEAD[c][j] = 1.0;
      m.WATCAP[c][j] = 0.0;
    } else if (h <= m.BChc[c][j]) {
      m.KHEAD[c][j] = std::pow(h / hb, -3.0 * lam - 2.0);
      m.WATCAP[c][j] = -(ts - tr) * (lam / hb) * std::pow(h / hb, -lam - 1.0);
    } else {
      const double se = (m.THETA[c][j] - tr) / (ts - tr);
      const double sc = transition_saturation(m.thehac[c][j], tr, ts);
      const double scale = hb * std::pow(sc, -1.0 / lam);
      m.KHEAD[c][j] = std::pow(se, 3.0 + 2.0 / lam);
      m.WATCAP[c][j] = -2.0 * h * (ts - tr) * (1.0 - sc) / (scale * scale);
    }
  }
  copy_node_one(m, c);
}

void soil_retention_curve(model_state& m, int c) {
  const int nodes = column_nodes(m, c);
  for (int j = 1; j <= nodes; j++) {
    const double h = m.PHEAD[c][j];
    if (h >= 0.0) {
      m.KHEAD[c][j] = 1.0;
      m.WATCAP[c][j] = 0.0;
      m.THETA[c][j] = m.THETAS[c][j];
      continue;
    }
    const double a = m.ALPHA[c][j], beta = m.BETA[c][j], x = std::fabs(h) / a;
    const double denominator = std::pow(x, beta) + 1.0;
    m.KHEAD[c][j] = m.AHAV[c][j] / (m.AHAV[c][j] + std::pow(std::fabs(h), m.BHAV[c][j]));
    m.WATCAP[c][j] = (m.THETAS[c][j] - m.THETAR[c][j]) * (beta / a) * std::pow(x, beta - 1.0) /
                     (denominator * denominator);
  }
  copy_node_one(m, c);
}

void retention_head(node_matrix<double>& head, const node_matrix<double>& theta,
                    const node_matrix<double>& theta_s, const node_matrix<double>& theta_r,
                    const node_matrix<double>& theta_c, const node_matrix<double>& alpha,
                    const node_matrix<double>& beta, const node_matrix<double>& lambda,
                    const node_matrix<double>& bubbling, int c, int j, int option) {
  const double ts = theta_s[c][j], tr = theta_r[c][j], t = theta[c][j];
  const double se = (t - tr) / (ts - tr);
  if (option != brooks_corey_option) {
    if (se > 0.0) head[c][j] = -alpha[c][j] * std::pow(1.0 / se - 1.0, 1.0 / beta[c][j]);
    return;
  }
  const double hb = bubbling[c][j], lam = lambda[c][j];
  if (t > theta_c[c][j]) {
    const double sc = transition_saturation(theta_c[c][j], tr, ts);
    head[c][j] = hb * std::pow(sc, -1.0 / lam) * std::sqrt((1.0 - se) / (1.0 - sc));
  } else if (se > 0.0) {
    head[c][j] = hb / std::pow(se, 1.0 / lam);
  }
}

int retention_content(const node_matrix<double>& head, node_matrix<double>& theta,
                      const node_matrix<double>& theta_s, const node_matrix<double>& theta_r,
                      const node_matrix<double>& theta_c, const node_matrix<double>& alpha,
                      const node_matrix<double>& beta, const node_matrix<double>& lambda,
                      const node_matrix<double>& bubbling, const node_matrix<double>& transition,
                      int c, int j, int option) {
  const double h = head[c][j], ts = theta_s[c][j], tr = theta_r[c][j];
  if (h >= 0.0) {
    theta[c][j] = ts;
  } else if (option != brooks_corey_option) {
    theta[c][j] = tr + (ts - tr) / (1.0 + std::pow(std::fabs(h) / alpha[c][j], beta[c][j]));
  } else {
    const double hb = bubbling[c][j], lam = lambda[c][j];
    if (h <= transition[c][j]) {
      theta[c][j] = tr + (ts - tr) * std::pow(hb / h, lam);
    } else {
      const double sc = transition_saturation(theta_c[c][j], tr, ts);
      const double x = h / (hb * std::pow(sc, -1.0 / lam));
      theta[c][j] = tr + (ts - tr) * (1.0 - (1.0 - sc) * x * x);
    }
  }
  return 0;
}

}  // namespace pluvo
