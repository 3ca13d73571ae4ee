// The soil column of a cell follows the water table of the groundwater solver: the storage
// property of the soil the table crosses, and the column rebuilt down to the new table with the
// water it hands to (or takes from) the saturated zone.
#include <algorithm>
#include <cmath>
#include <vector>

#include "record/model_state.hpp"
#include "soil/hydraulic_functions.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;

bool held_cell(const model_state& m, int i) {
  if (size_t(i) >= m.gwbound.size()) return false;
  const int t = m.gwbound[size_t(i)];
  return t == 2 || t == 5;
}

// The rebuild of one column; the members are what the steps share.
class profile_update {
 public:
  profile_update(model_state& m, int i) : m_(m), i_(i), x_(m.layered_soil_table[size_t(m.soiltype[size_t(i)])].values) {}
  double run();

 private:
  double t(int l) const { return x_[soil_col_thickness + l]; }
  double dz(int l) const { return x_[soil_col_node_spacing + l]; }
  double ts(int l) const { return x_[soil_col_porosity + l]; }
  void place(int j);
  void write_table_node(int n);
  void flood(double theta_1);
  void lay_preset_nodes();
  void walk_down();
  void against_old_count();
  void join_thin_node();
  void saturated_run();

  model_state& m_;
  const int i_;
  const double* x_;
  double E_ = 0.0, W_ = 0.0, B_ = 0.0, Zb_ = 0.0, z_ = 0.0, s_ = 0.0, theta_star_ = 0.0, h_star_ = 0.0, S_ = 0.0;
  int n_old_ = 0;
  bool done_ = false;
  // Old thicknesses and contents of nodes 0..n_old; grown to the column in hand at each call.
  std::vector<double> old_dz_, old_theta_;
};

int& count(model_state& m, int i) { return m.numcells[size_t(i)]; }

void profile_update::place(int j) {
  if (m_.THETA[i_][j] < m_.THETAS[i_][j]) {
    retention_head(m_.PHEAD, m_.THETA, m_.THETAS, m_.THETAR, m_.thehac, m_.ALPHA, m_.BETA, m_.LAM, m_.BP, i_, j,
                   m_.richards_c_option_value);
    return;
  }
  m_.PHEAD[i_][j] = m_.DZ[i_][j] / 2.0;
  h_star_ = m_.PHEAD[i_][j] + (m_.DZ[i_][j] + m_.DZ[i_][j + 1]) / 2.0;
}

void profile_update::write_table_node(int n) {
  m_.DZ[i_][n] = s_;
  m_.PHEAD[i_][n] = h_star_;
  m_.THETA[i_][n] = theta_star_;
}

// The table at or just below the surface: one node of the layer-1 spacing under a head.
void profile_update::flood(double theta_1) {
  m_.yes_exfil[size_t(i_)] = 1;
  count(m_, i_) = 1;
  m_.THETA[i_][1] = theta_1;
  m_.DZ[i_][1] = dz(0);
  m_.PHEAD[i_][1] = 100.0 * (W_ - E_) + dz(0) / 2.0;
  done_ = true;
}

void profile_update::lay_preset_nodes() {
  const int c = m_.soiltype[size_t(i_)];
  const int k1 = m_.num1[size_t(c)], k2 = m_.num2[size_t(c)], k3 = m_.num3[size_t(c)];
  int p = 0;
  if (W_ > E_ - t(0) / 100.0) {
    z_ = E_;
    s_ = dz(0);
    theta_star_ = ts(0);
    h_star_ = dz(0) / 2.0;
  } else if (W_ > E_ - (t(0) + t(1)) / 100.0) {
    p = k1;
    z_ = E_ - t(0) / 100.0;
    s_ = dz(1);
    theta_star_ = ts(1);
    h_star_ = dz(1) / 2.0;
  } else if (W_ > E_ - (t(0) + t(1) + t(2)) / 100.0) {
    p = k2;
    z_ = E_ - (t(0) + t(1)) / 100.0;
    s_ = dz(2);
    theta_star_ = ts(2);
    h_star_ = dz(2) / 2.0;
  } else {
    const double da = m_.aquifer_delta_z_value;
    p = k3;
    z_ = E_ - (t(0) + t(1) + t(2)) / 100.0;
    s_ = 100.0 * da;
    theta_star_ = ts(2);
    h_star_ = B_ > W_ ? 100.0 * (B_ - da / 2.0 - W_) : 100.0 * da / 2.0;
  }
  for (int j = 1; j <= p; ++j) m_.DZ[i_][j] = j <= k1 ? dz(0) : (j <= k2 ? dz(1) : dz(2));
  count(m_, i_) = p;
}

// Nodes of the spacing s down to the table; the last is cut at the table.
void profile_update::walk_down() {
  int& n = count(m_, i_);
  const int last = m_.DZ.cols() - 1;  // room for the water-table node after the walk
  while (z_ > W_ && z_ > B_ && n < last) {
    z_ -= s_ / 100.0;
    ++n;
    m_.DZ[i_][n] = s_;
    if (z_ < W_ - tiny) {
      const double d = 100.0 * (z_ + s_ / 100.0 - W_);
      m_.DZ[i_][n] = d;
      if (d < s_ / 10000.0 && n > 1) {
        m_.DZ[i_][n - 1] += d;
        --n;
      }
      break;
    }
  }
}

void profile_update::against_old_count() {
  const int n = count(m_, i_);
  double* th = m_.THETA[i_];
  double* dzs = m_.DZ[i_];
  if (n == n_old_) {
    const int m = n - 1;
    if (m >= 1) {
      th[m] = th[m] * old_dz_[size_t(m)] / dzs[m];
      place(m);
    }
    return;
  }
  if (n < n_old_) {
    for (int j = n; j <= n_old_ - 1; ++j) S_ += old_theta_[size_t(j)] * old_dz_[size_t(j)];
    // The node the table now cuts hands over the part of its water below the table.
    if (n - 1 >= 1) S_ += th[n - 1] * (old_dz_[size_t(n - 1)] - dzs[n - 1]);
    return;
  }
  if (n == 2) {
    if (dzs[1] < dz(0)) {
      flood(m_.THETAS[i_][1]);
      S_ = 0.0;
      return;
    }
    for (int j = 1; j >= std::max(n_old_, 1); --j) {
      m_.PHEAD[i_][j] = m_.PHEAD[i_][j + 1] - dzs[j + 1] / 2.0 - dzs[j] / 2.0;
      retention_content(m_.PHEAD, m_.THETA, m_.THETAS, m_.THETAR, m_.thehac, m_.ALPHA, m_.BETA, m_.LAM, m_.BP,
                        m_.BChc, i_, j, m_.richards_c_option_value);
      S_ -= th[j] * dzs[j];
    }
    return;
  }
  // The table fell: the water of the old bottom soil node spreads from its top down to the table.
  const int m = n - 1;
  const int k0 = std::max(n_old_ - 1, 1);
  const double spread =
      old_theta_[size_t(k0)] * old_dz_[size_t(k0)] / (old_dz_[size_t(k0)] + 100.0 * (Zb_ - W_));
  const bool join = dzs[m - 1] / 2.0 > dzs[m];
  if (join && m - 1 <= n_old_ - 1) {
    count(m_, i_) = m;
    dzs[m - 1] += dzs[m];
    th[m - 1] = old_theta_[size_t(m - 1)] * old_dz_[size_t(m - 1)] / dzs[m - 1];
    place(m - 1);
    write_table_node(m);
    return;
  }
  for (int j = k0; j <= m; ++j) {
    th[j] = spread;
    place(j);
  }
  if (n_old_ <= 1)  // a flooded column held no soil water: the aquifer gives it all
    for (int j = 1; j <= m; ++j) S_ -= th[j] * dzs[j];
  if (join) {  // beyond the saved old nodes: the joined node keeps the spread content
    count(m_, i_) = m;
    dzs[m - 1] += dzs[m];
    place(m - 1);
    write_table_node(m);
    return;
  }
  if (th[m] < 0.75 * m_.THETAS[i_][m]) {
    const double y = m_.PHEAD[i_][m + 1] - dzs[m + 1] / 2.0 - dzs[m];
    if (y > m_.PHEAD[i_][m]) {
      const double before = th[m];
      m_.PHEAD[i_][m] = y;
      retention_content(m_.PHEAD, m_.THETA, m_.THETAS, m_.THETAR, m_.thehac, m_.ALPHA, m_.BETA, m_.LAM, m_.BP,
                        m_.BChc, i_, m, m_.richards_c_option_value);
      if (m < m_.numtot[size_t(i_)]) S_ -= (th[m] - before) * dzs[m];
    }
  }
}

void profile_update::join_thin_node() {
  double* th = m_.THETA[i_];
  double* dzs = m_.DZ[i_];
  const int m = count(m_, i_) - 1;
  if (m > 1 && dzs[m - 1] / 2.0 > dzs[m]) {
    count(m_, i_) = m;
    th[m - 1] = (th[m] * dzs[m] + th[m - 1] * dzs[m - 1]) / (dzs[m] + dzs[m - 1]);
    dzs[m - 1] += dzs[m];
    place(m - 1);
    write_table_node(m);
  } else if (dzs[1] < dz(0)) {
    S_ += th[1] * dzs[1];
    flood(m_.THETAS[i_][1]);
  }
}

// Saturated nodes above the table hand their excess over and lift the table to their top.
void profile_update::saturated_run() {
  const int n = count(m_, i_);
  double* th = m_.THETA[i_];
  double* dzs = m_.DZ[i_];
  int j = n - 1;
  for (; j >= 1 && th[j] >= m_.THETAS[i_][j]; --j) {
    S_ += (th[j] - m_.THETAS[i_][j]) * dzs[j];
    th[j] = m_.THETAS[i_][j];
  }
  const int top = j + 1;
  if (top > n - 1) return;
  h_star_ = dzs[n] / 2.0;
  for (int k = top; k <= n - 1; ++k) h_star_ += dzs[k];
  m_.PHEAD[i_][n] = h_star_;
  for (int k = n - 1; k >= top; --k) m_.PHEAD[i_][k] = m_.PHEAD[i_][k + 1] - dzs[k + 1] / 2.0 - dzs[k] / 2.0;
}

double profile_update::run() {
  n_old_ = count(m_, i_);
  E_ = m_.elevation[size_t(i_)];
  W_ = m_.elevgw[size_t(i_)];
  B_ = m_.bottom_elev[size_t(i_)];
  const size_t rows = size_t(std::max(n_old_, 0)) + 2;
  old_dz_.assign(rows, 0.0);
  old_theta_.assign(rows, 0.0);
  for (int j = 0; j <= n_old_; ++j) {
    old_dz_[size_t(j)] = m_.DZ[i_][j];
    old_theta_[size_t(j)] = m_.THETA[i_][j];
  }
  m_.yes_exfil[size_t(i_)] = 0;
  double above = 0.0;
  for (int j = 1; j <= n_old_ - 1; ++j) above += m_.DZ[i_][j];
  Zb_ = E_ - above / 100.0;
  if (W_ >= E_) {
    flood(m_.THETA[i_][1]);
    return 0.0;
  }
  lay_preset_nodes();
  walk_down();
  const int n = ++count(m_, i_);
  write_table_node(n);
  against_old_count();
  if (done_) return S_;
  join_thin_node();
  if (done_) return S_;
  saturated_run();
  write_table_node(count(m_, i_));
  return S_;
}

}  // namespace

double update_soil_column_profile(model_state& m, int i) {
  double exchange = 0.0;
  if (!held_cell(m, i)) exchange = profile_update(m, i).run();
  // The column's nodes moved with the table: its soil-temperature links follow them.
  if (m.permafrost_gipl_flag == 1 || m.multi_layer_infil_gipl_flag == 1) build_gipl_node_maps(m, i);
  if (size_t(i) < m.gw_unsat_exchange_cm.size()) m.gw_unsat_exchange_cm[size_t(i)] = exchange;
  return 0.0;
}

}  // namespace pluvo

namespace pluvo {

// The storage coefficient as the table moves from the sub-step's start head to the latest one:
// the thickness-weighted saturated content of the nodes it crosses.
void layered_storage_change(model_state& m, int i) {
  if (size_t(i) >= m.gw_storage_coeff.size() || size_t(i) >= m.gw_head_start.size()) return;
  const int n = m.numcells[size_t(i)];
  const int bottom = std::max(n - 1, 1);
  const double* dzs = m.DZ[i];
  const double* ts = m.THETAS[i];
  double& s = m.gw_storage_coeff[size_t(i)];
  const double E = m.elevation[size_t(i)], W = m.elevgw[size_t(i)];
  const double delta = (W - m.gw_head_start[size_t(i)]) * 100.0;
  if (W >= E) {
    s = ts[1];
    return;
  }
  if (delta == 0.0) {
    s = ts[bottom];
    return;
  }
  const double* x = m.layered_soil_table[size_t(m.soiltype[size_t(i)])].values;
  const double depth = (E - W) * 100.0;
  double reference = 100.0 * m.aquifer_delta_z_value;
  if (depth < x[soil_col_thickness])
    reference = x[soil_col_node_spacing];
  else if (depth < x[soil_col_thickness] + x[soil_col_thickness + 1])
    reference = x[soil_col_node_spacing + 1];
  else if (depth < x[soil_col_thickness] + x[soil_col_thickness + 1] + x[soil_col_thickness + 2])
    reference = x[soil_col_node_spacing + 2];
  double left = std::fabs(delta), crossed = 0.0, weighted = 0.0;
  const int step = delta > 0.0 ? -1 : 1;
  const int last = m.DZ.cols();
  for (int k = bottom; k >= 1 && k <= last && left > 0.0; k += step) {
    const double part = std::min(left, dzs[k]);
    crossed += part;
    weighted += part * ts[k];
    left -= part;
  }
  const bool within = delta > 0.0 ? std::fabs(delta) <= dzs[bottom] : crossed + dzs[bottom] <= 1.5 * reference;
  s = within || crossed <= 0.0 ? ts[bottom] : weighted / crossed;
}

}  // namespace pluvo
