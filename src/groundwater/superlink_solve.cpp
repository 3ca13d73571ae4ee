// The implicit superlink scheme: inside each superlink a forward and a backward recurrence
// reduce the pipes' momentum and the nodes' continuity to two relations between the end flows
// and the heads of the two superjunctions; the superjunctions' continuity then forms one linear
// system in their heads; depths and flows follow by back-substitution.
#include "groundwater/superlink_solve.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/checked_file.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "groundwater/pipe_hydraulics.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double g = 9.81;
constexpr double min_depth = 0.0001;
constexpr int channel_outfall = 999;
constexpr int overland_outfall = 888;
constexpr const char* flows_log = "superlink_flows.out";

superlink_solve_work& work(model_state& m) { return m.superlink_work; }

int pipes_of(const model_state& m, int l) {
  return m.superlink_c_opt_on ? m.superlink_cnodes[size_t(l)] : m.nnodes[size_t(l)];
}

// Flow area, wetted perimeter and top width of pipe k at the depth of its upstream node; a pipe
// whose mean depth reaches its size runs full with a small top width that keeps its storage term.
pipe_section pipe_geometry(const model_state& m, int k, int l, double y_up, double mean_depth) {
  const double D = m.diameter[k][l];
  if (D <= mean_depth) return {3.14159 * D * D / 4.0, 3.14159 * D, 0.01 * D};
  return pipe_section_properties(D, y_up, m.width[k][l], m.sec_type[k][l]);
}

double superlink_volume(const model_state& m, int l) {
  const superlink_solve_work& w = m.superlink_work;
  const int N = w.numnodes[size_t(l)];
  double v = 0.0;
  for (int k = 1; k <= N; k++) {
    const double mean = 0.5 * (m.slink_node_depth[k][l] + m.slink_node_depth[k + 1][l]);
    v += pipe_geometry(m, k, l, m.slink_node_depth[k][l], mean).pipe_area * m.dxc[k][l];
  }
  for (int k = 2; k <= N; k++) v += m.As[k][l] * m.slink_node_depth[k][l];
  return v;
}

double stored_volume(const model_state& m) {
  const superlink_solve_work& w = m.superlink_work;
  double v = 0.0;
  for (int l = 1; l <= m.num_superlinks; l++) v += w.stored_volume[size_t(l)];
  for (int j = 1; j <= m.num_superjunctions; j++)
    v += m.sjunc_area[size_t(j)] * (m.sjunc_head[size_t(j)] - m.sjunc_invert_elev[size_t(j)]);
  return v;
}

double fixed_head(const model_state& m, int j) {
  const double invert = m.sjunc_invert_elev[size_t(j)];
  if (m.inlet_type[0][j] == channel_outfall && size_t(j) < m.sjunc_bound_head.size())
    return std::max(invert, m.sjunc_bound_head[size_t(j)]);
  return invert;
}

int set_up(model_state& m) {
  superlink_solve_work& w = work(m);
  const int links = m.num_superlinks, n = m.num_superjunctions;
  w.numnodes.assign(size_t(links) + 1, 0);
  int most = 1;
  for (int l = 1; l <= links; l++) most = std::max(most, w.numnodes[size_t(l)] = pipes_of(m, l));
  for (node_matrix<double>* x : {&w.a, &w.b, &w.c, &w.D, &w.E, &w.O, &w.X, &w.Y, &w.Z, &w.T, &w.U, &w.V, &w.W,
                                 &w.P, &w.ldepth, &w.Q, &w.A, &w.hyd_R, &w.top_width, &w.wet_per, &w.n_veloc,
                                 &w.l_veloc, &w.C, &w.Ac})
    x->assign(most + 2, links);
  for (std::vector<double>* x :
       {&w.Q_up, &w.Q_dn, &w.z_up, &w.z_dn, &w.stored_volume, &w.end_area_dn, &w.gamma_u, &w.gamma_d, &w.k_u,
        &w.k_d, &w.zeta_u, &w.zeta_d, &w.kappa, &w.alpha_u, &w.beta_u, &w.chi_u, &w.alpha_d, &w.beta_d, &w.chi_d})
    x->assign(size_t(links) + 1, 0.0);
  for (std::vector<double>* x : {&w.fixed_head, &w.rhs, &w.S1, &w.S2, &w.S3, &w.S4, &w.lu_scale})
    x->assign(size_t(n) + 1, 0.0);
  w.permutation.assign(size_t(n) + 1, 0);
  w.F.assign(n, n);
  m.sjunc_ov_volume.assign(size_t(n) + 1, 0.0);
  if (m.sjunc_bound_head.size() <= size_t(n)) m.sjunc_bound_head.assign(size_t(n) + 1, 0.0);
  if (m.superlink_chan_con_flow.size() <= size_t(n)) m.superlink_chan_con_flow.assign(size_t(n) + 1, 0.0);
  m.ov_to_superlink_cell_volume.assign(size_t(m.cell_count) + 1, 0.0);

  checked_file log;
  if (!checked_file_open(log, flows_log, 'w')) {
    message_out("Can't open file superlink_flows.out'");
    return -9;
  }
  std::fputs("Call# VtoSL VtoPLUVO   QtoSL    QtoPLUVO \n", log.stream);
  checked_file_close(log);

  for (int l = 1; l <= links; l++) {
    const int N = w.numnodes[size_t(l)];
    w.z_up[size_t(l)] = m.slink_node_Zinv[1][l];
    w.z_dn[size_t(l)] = m.slink_node_Zinv[N + 1][l];
    for (int k = 1; k <= N + 1; k++) {
      m.slink_node_depth[k][l] = min_depth;
      m.Q_node[k][l] = 0.0;
      w.C[k][l] = 1.0;
    }
  }
  for (int j = 1; j <= n; j++) {
    m.sjunc_head[size_t(j)] = m.sjunc_invert_elev[size_t(j)];
    m.sjunc_ext_inflow[size_t(j)] = 0.0;
    if (m.bound[size_t(j)] == 1) m.sjunc_head[size_t(j)] = w.fixed_head[size_t(j)] = fixed_head(m, j);
  }
  for (int l = 1; l <= links; l++) w.stored_volume[size_t(l)] = superlink_volume(m, l);
  m.superlink_initial_volume = stored_volume(m);
  return 0;
}

int cell_of_junction(const model_state& m, int j) {
  return size_t(j) < m.superlink_junc_gnum.size() ? m.superlink_junc_gnum[size_t(j)] : 0;
}

int channel_node_of(const model_state& m, int j) {
  return size_t(j) < m.superlink_chan_con_node.size() ? m.superlink_chan_con_node[size_t(j)] : 0;
}

int cell_of_node(const model_state& m, int k, int l) {
  const node_matrix<int32_t>& g = m.superlink_node_gnum;
  return k <= g.rows() && l <= g.cols() ? g[k][l] : 0;
}

// Water a surface inlet exchanged with its cell: taken water is counted into the network,
// released water goes back onto the cell and into the volume the superjunction gave the surface.
void book_inlet(model_state& m, int cell, double volume, int release_junction, bool node, double cell_area,
                superlink_volumes& out) {
  if (volume >= -1e-16) {
    m.ov_to_superlink_cell_volume[size_t(cell)] += volume;
    out.ov_taken += volume;
    if (node) out.into_network += volume;  // a superjunction's inflow is counted with its external inflow
    return;
  }
  out.to_surface -= volume;
  m.ov_to_superlink_cell_volume[size_t(cell)] += volume;
  m.ov_depth[size_t(cell)] -= volume / cell_area;
  m.sjunc_ov_volume[size_t(release_junction)] -= volume;
  m.superlink_ov_flag = 1;
}

void surface_inlets(model_state& m, double dt, double cell_area, superlink_volumes& out) {
  const superlink_solve_work& w = m.superlink_work;
  for (int j = 1; j <= m.num_superjunctions; j++) {
    const size_t j_ = size_t(j);
    m.sjunc_ext_inflow[j_] = 0.0;
    const int cell = cell_of_junction(m, j);
    const int kind = m.inlet_type[0][j];
    if (cell >= 1 && kind >= 1 && kind <= 10) {
      double volume = 0.0;
      m.sjunc_ext_inflow[j_] =
          inlet_flow(kind, m.high_head_release_on, m.sjunc_head[j_], m.sjunc_ground_elev[j_], m.sjunc_area[j_], dt,
                     m.ov_depth, cell, cell_area, m.sjunc_grate_sidelength[j_], m.sjunc_grate_dia[j_], volume);
      book_inlet(m, cell, volume, j, false, cell_area, out);
    }
    if (m.storm_drain_on && m.drain_net && j_ < m.drain_net->q_to_superlink.size())
      m.sjunc_ext_inflow[j_] += m.drain_net->q_to_superlink[j_] / dt;
  }
  if (m.superlink_tile_active && !m.superlink_tile_flow.empty())
    for (int l = 1; l <= m.num_superlinks; l++)
      for (int k = 1; k <= m.nnodes[size_t(l)] + 1 && k <= m.superlink_tile_flow.rows(); k++)
        m.sjunc_ext_inflow[size_t(m.us_sjunc[size_t(l)])] += m.superlink_tile_flow[k][l];
  for (int l = 1; l <= m.num_superlinks; l++) {
    const int N = w.numnodes[size_t(l)];
    for (int k = 2; k <= N; k++) {
      m.Q_node[k][l] = 0.0;
      const int cell = cell_of_node(m, k, l);
      const int kind = m.inlet_type[k][l];
      if (cell < 1 || kind < 1 || kind > 10) continue;
      double volume = 0.0;
      m.Q_node[k][l] = inlet_flow(kind, m.high_head_release_on, m.slink_node_Zinv[k][l] + m.slink_node_depth[k][l],
                                  m.node_ground_elev[k][l], m.As[k][l], dt, m.ov_depth, cell, cell_area,
                                  m.grate_sidelength_node[k][l], m.grate_dia_node[k][l], volume);
      book_inlet(m, cell, volume, m.ds_sjunc[size_t(l)], true, cell_area, out);
    }
  }
  for (int j = 1; j <= m.num_superjunctions; j++)
    if (m.inlet_type[0][j] < overland_outfall && m.sjunc_ext_inflow[size_t(j)] > 0.0)
      out.into_network += dt * m.sjunc_ext_inflow[size_t(j)];
}

double courant_step(const model_state& m) {
  const superlink_solve_work& w = m.superlink_work;
  double dtc = 100000.0;
  for (int l = 1; l <= m.num_superlinks; l++)
    for (int k = 1; k <= w.numnodes[size_t(l)]; k++) {
      const double c = m.dxc[k][l] / (std::sqrt(g * w.ldepth[k][l]) + std::fabs(w.n_veloc[k][l]));
      if (c > 1e-8 && c < dtc) dtc = c;
    }
  return dtc;
}

// Upstream or downstream control of one end: the end depth follows the superjunction head, or,
// for outflow that the head cannot back up, the smaller of critical and normal depth.
struct end_control {
  double k, zeta, gamma;
};

end_control end_relation(const model_state& m, int pipe, int l, double Q, double head_above_invert, double z,
                         bool leaving, double exit_loss) {
  if (!leaving) return {1.0, -z, exit_loss};
  const int kind = m.sec_type[pipe][l];
  const double D = m.diameter[pipe][l], B = m.width[pipe][l];
  double crit = 0.0;
  superlink_crit_calc(kind, D, B, std::fabs(Q), crit);
  // A superjunction head at or below the pipe invert cannot back the water up: free outflow.
  if (crit <= head_above_invert && head_above_invert > 0.0) return {1.0, -z, exit_loss};
  double normal = crit;
  superlink_norm_calc(kind, D, B, m.M_n[pipe][l], std::fabs(Q), std::fabs(m.S0[pipe][l]), normal);
  return {0.0, 0.0, std::fabs(Q) < 1e-11 ? 0.0 : std::min(crit, normal) / Q};
}

// Steps a to j of one superlink in one internal step: its end relations.
void superlink_coefficients(model_state& m, int l, double dt) {
  superlink_solve_work& w = work(m);
  const int N = w.numnodes[size_t(l)];
  const size_t L_ = size_t(l);
  auto y = [&](int k) -> double& { return m.slink_node_depth[k][l]; };
  for (int k = 1; k <= N + 1; k++)
    if (y(k) < min_depth) y(k) = min_depth;
  for (int k = 1; k <= N; k++) {
    w.ldepth[k][l] = 0.5 * (y(k) + y(k + 1));
    const pipe_section s = pipe_geometry(m, k, l, y(k), w.ldepth[k][l]);
    w.A[k][l] = s.pipe_area;
    w.wet_per[k][l] = s.pipe_wet_perim;
    w.top_width[k][l] = s.pipe_top_width;
    w.l_veloc[k][l] = s.pipe_area > 0.0 ? w.Q[k][l] / s.pipe_area : 0.0;
    w.hyd_R[k][l] = s.pipe_wet_perim > 0.0 ? s.pipe_area / s.pipe_wet_perim : 0.0;
    w.Ac[k][l] = s.pipe_area;
  }
  w.end_area_dn[L_] = pipe_geometry(m, N, l, y(N + 1), y(N + 1)).pipe_area;
  for (int k = 2; k <= N; k++) {
    const double L0 = m.dxc[k - 1][l], L1 = m.dxc[k][l];
    w.n_veloc[k][l] = (w.l_veloc[k - 1][l] * L0 + w.l_veloc[k][l] * L1) / (L0 + L1);
  }
  for (int k = 1; k <= N; k++) {
    const double L = m.dxc[k][l], n = m.M_n[k][l], A = w.A[k][l], R = w.hyd_R[k][l], Q = w.Q[k][l];
    const double u = w.n_veloc[k][l], u_next = w.n_veloc[k + 1][l];
    w.a[k][l] = u > 0.0 ? -u : 0.0;
    w.c[k][l] = u_next < 0.0 ? u_next : 0.0;
    double b = L / dt - w.a[k][l] - w.c[k][l];
    if (A > 0.0) {
      // The local loss of a contraction (discharge coefficient C, contracted area Ac) beyond
      // what a plain pipe of area A carries: none for a plain pipe, so cutting a pipe into
      // pieces leaves its head loss alone and uniform flow reaches its Manning depth.
      const double CA = w.C[k][l] * w.Ac[k][l];
      b += (A / (CA * CA) - 1.0 / A) * std::fabs(Q);
      if (R > 0.0) b += n * n * g * std::fabs(Q) * L / (std::pow(R, 4.0 / 3.0) * A);
    }
    w.b[k][l] = b;
    w.P[k][l] = A * g * m.S0[k][l] * L + L * Q / dt;
  }
  for (int k = 1; k <= N + 1; k++) {
    const double here = k <= N ? w.top_width[k][l] * m.dxc[k][l] / 2.0 : 0.0;
    const double before = k >= 2 ? w.top_width[k - 1][l] * m.dxc[k - 1][l] / 2.0 : 0.0;
    w.E[k][l] = (here + before + m.As[k][l]) / dt;
    w.D[k][l] = w.E[k][l] * y(k) + m.Q_node[k][l];
  }
  // Forward recurrence: Q_k = U_k y_(k+1) + V_k + W_k y_1.
  {
    const double T = w.a[1][l] + w.b[1][l] + w.c[1][l];
    w.T[1][l] = T;
    w.U[1][l] = (w.E[2][l] * w.c[1][l] - g * w.A[1][l]) / T;
    w.V[1][l] = (w.P[1][l] - w.D[2][l] * w.c[1][l]) / T;
    w.W[1][l] = g * w.A[1][l] / T;
  }
  for (int k = 2; k <= N; k++) {
    const double s = (g * w.A[k][l] - w.E[k][l] * w.a[k][l]) / (w.U[k - 1][l] - w.E[k][l]);
    const double T = w.a[k][l] + w.b[k][l] + w.c[k][l] - s;
    w.T[k][l] = T;
    w.U[k][l] = (w.E[k + 1][l] * w.c[k][l] - g * w.A[k][l]) / T;
    w.V[k][l] = (w.D[k][l] * w.a[k][l] + w.P[k][l] - w.D[k + 1][l] * w.c[k][l] - s * (w.D[k][l] + w.V[k - 1][l])) / T;
    w.W[k][l] = -s * w.W[k - 1][l] / T;
  }
  // Backward recurrence: Q_k = X_k y_k + Y_k + Z_k y_(N+1).
  {
    const double O = w.a[N][l] + w.b[N][l] + w.c[N][l];
    w.O[N][l] = O;
    w.X[N][l] = (g * w.A[N][l] - w.E[N][l] * w.a[N][l]) / O;
    w.Y[N][l] = (w.D[N][l] * w.a[N][l] + w.P[N][l]) / O;
    w.Z[N][l] = -g * w.A[N][l] / O;
  }
  for (int k = N - 1; k >= 1; k--) {
    const double r = (g * w.A[k][l] - w.E[k + 1][l] * w.c[k][l]) / (w.E[k + 1][l] + w.X[k + 1][l]);
    const double O = w.a[k][l] + w.b[k][l] + w.c[k][l] + r;
    w.O[k][l] = O;
    w.X[k][l] = (g * w.A[k][l] - w.E[k][l] * w.a[k][l]) / O;
    w.Y[k][l] = (w.D[k][l] * w.a[k][l] + w.P[k][l] - w.D[k + 1][l] * w.c[k][l] - r * (w.D[k + 1][l] - w.Y[k + 1][l])) / O;
    w.Z[k][l] = r * w.Z[k + 1][l] / O;
  }
  const int us = m.us_sjunc[L_], ds = m.ds_sjunc[L_];
  const double Q_up = w.Q_up[L_], Q_dn = w.Q_dn[L_];
  const end_control up = end_relation(m, 1, l, Q_up, m.sjunc_head[size_t(us)] - w.z_up[L_], w.z_up[L_],
                                      Q_up < 0.0, 0.0);
  const double CA = w.C[N + 1][l] * w.C[N + 1][l] * w.end_area_dn[L_] * w.end_area_dn[L_] * g;
  const double exit_loss = std::fabs(2.0 * CA) <= 1e-9 ? 0.0 : std::fabs(Q_dn) / (2.0 * CA);
  const end_control dn = end_relation(m, N, l, Q_dn, m.sjunc_head[size_t(ds)] - w.z_dn[L_], w.z_dn[L_],
                                      Q_dn > 0.0, exit_loss);
  w.k_u[L_] = up.k, w.zeta_u[L_] = up.zeta, w.gamma_u[L_] = up.gamma;
  w.k_d[L_] = dn.k, w.zeta_d[L_] = dn.zeta, w.gamma_d[L_] = dn.gamma;
  const double X1 = w.X[1][l], Y1 = w.Y[1][l], Z1 = w.Z[1][l];
  const double UN = w.U[N][l], VN = w.V[N][l], WN = w.W[N][l];
  const double gu = up.gamma, gd = dn.gamma, ku = up.k, kd = dn.k, zu = up.zeta, zd = dn.zeta;
  const double kappa = (1.0 - gd * UN) * (1.0 - gu * X1) - gu * WN * gd * Z1;
  w.kappa[L_] = kappa;
  w.alpha_u[L_] = ((1.0 - gd * UN) * X1 * ku + gd * Z1 * WN * ku) / kappa;
  w.beta_u[L_] = Z1 * kd / kappa;
  w.chi_u[L_] = ((zu * X1 + Y1 + Z1 * zd) * (1.0 - gd * UN) + (zu * WN + VN + UN * zd) * Z1 * gd) / kappa;
  w.alpha_d[L_] = WN * ku / kappa;
  w.beta_d[L_] = ((1.0 - gu * X1) * UN * kd + gu * WN * Z1 * kd) / kappa;
  w.chi_d[L_] = ((WN * zu + VN + zd * UN) * (1.0 - gu * X1) + (X1 * zu + Y1 + zd * Z1) * gu * WN) / kappa;
}

// The superjunctions' continuity as one linear system in their heads. Every superlink counts,
// so parallel superlinks between one pair of superjunctions add their entries.
int solve_heads(model_state& m, double dt) {
  superlink_solve_work& w = work(m);
  const int n = m.num_superjunctions;
  w.F.assign(n, n);
  std::fill(w.S1.begin(), w.S1.end(), 0.0);
  std::fill(w.S2.begin(), w.S2.end(), 0.0);
  std::fill(w.S3.begin(), w.S3.end(), 0.0);
  std::fill(w.S4.begin(), w.S4.end(), 0.0);
  for (int l = 1; l <= m.num_superlinks; l++) {
    const size_t L_ = size_t(l);
    const int us = m.us_sjunc[L_], ds = m.ds_sjunc[L_];
    w.S1[size_t(ds)] += w.beta_d[L_];
    w.S2[size_t(ds)] += w.chi_d[L_];
    if (us == ds) continue;
    w.S3[size_t(us)] += w.alpha_u[L_];
    w.S4[size_t(us)] += w.chi_u[L_];
    w.F[us][ds] += w.beta_u[L_];
    w.F[ds][us] -= w.alpha_d[L_];
  }
  for (int j = 1; j <= n; j++) {
    const size_t j_ = size_t(j);
    if (m.bound[j_] == 1) {
      for (int i = 1; i <= n; i++) w.F[j][i] = 0.0;
      w.F[j][j] = 1.0;
      w.rhs[j_] = w.fixed_head[j_];
      continue;
    }
    const double storage = m.sjunc_area[j_] / dt;
    w.F[j][j] = storage - w.S1[j_] + w.S3[j_];
    w.rhs[j_] = storage * m.sjunc_head[j_] + w.S2[j_] - w.S4[j_];
    if (m.inlet_type[0][j] < overland_outfall) w.rhs[j_] += m.sjunc_ext_inflow[j_];
  }
  double sign = 1.0;
  if (ludcmp_oxa(w.F, n, w.permutation, sign, w.lu_scale) != 0) {
    set_error(134);
    return -1;
  }
  superlink_lubksb(w.F, n, w.permutation, w.rhs);
  for (int j = 1; j <= n; j++) {
    const size_t j_ = size_t(j);
    const double invert = m.sjunc_invert_elev[j_];
    m.sjunc_head[j_] = w.rhs[j_] < invert - 0.001 ? invert : w.rhs[j_];
  }
  return 0;
}

void back_substitute(model_state& m, int l, double dt) {
  superlink_solve_work& w = work(m);
  const size_t L_ = size_t(l);
  const int N = w.numnodes[L_];
  const double Hu = m.sjunc_head[size_t(m.us_sjunc[L_])], Hd = m.sjunc_head[size_t(m.ds_sjunc[L_])];
  const double Q_up = w.alpha_u[L_] * Hu + w.beta_u[L_] * Hd + w.chi_u[L_];
  const double Q_dn = w.alpha_d[L_] * Hu + w.beta_d[L_] * Hd + w.chi_d[L_];
  w.Q_up[L_] = Q_up;
  w.Q_dn[L_] = Q_dn;
  auto y = [&](int k) -> double& { return m.slink_node_depth[k][l]; };
  y(1) = w.k_u[L_] * Hu + w.gamma_u[L_] * Q_up + w.zeta_u[L_];
  y(N + 1) = w.k_d[L_] * Hd + w.gamma_d[L_] * Q_dn + w.zeta_d[L_];
  w.Q[1][l] = Q_up;
  w.Q[N][l] = Q_dn;
  double node_inflow = 0.0;
  for (int k = N; k >= 2; k--) {
    double d = (w.Q[k][l] - w.Y[k][l] - w.Z[k][l] * y(N + 1)) / w.X[k][l];
    const double D = m.diameter[k][l];
    if (d > 10.0 * D || d < -10.0 * D) d = 0.0;
    if (d < 0.0) d = min_depth;
    y(k) = d;
    if (k > 2) w.Q[k - 1][l] = w.U[k - 1][l] * y(k) + w.V[k - 1][l] + w.W[k - 1][l] * y(1);
    node_inflow += m.Q_node[k][l];
  }
  w.stored_volume[L_] += dt * (Q_up - Q_dn + node_inflow);
}

bool outfall_nan(const model_state& m, int j, double v, bool to_channel) {
  if (!std::isnan(v)) return false;
  const char* where = to_channel ? "channel node" : "overland cell";
  const long target = to_channel ? long(channel_node_of(m, j)) : long(cell_of_junction(m, j));
  stop_run("Flow from supernode %ld to %s %ld is NaN \nCheck your superlink network \n \n", long(j), where, target);
  return true;
}

// What each superlink delivers at an outfall superjunction: into its channel node or onto its
// cell. Water drawn back from an outfall is taken from the node or cell it serves.
int outfalls(model_state& m, double dt, double cell_area, superlink_volumes& out) {
  superlink_solve_work& w = work(m);
  for (int l = 1; l <= m.num_superlinks; l++) {
    const int j = m.ds_sjunc[size_t(l)];
    const size_t j_ = size_t(j);
    const int kind = m.inlet_type[0][j];
    if (kind != channel_outfall && kind != overland_outfall) continue;
    const double Q = w.Q_dn[size_t(l)];
    const double v = dt * Q;
    if (kind == channel_outfall) {
      if (outfall_nan(m, j, v, true)) return -1;
      if (v < 0.0)
        message_out("Flow from supernode %ld to channel node %ld is negative \nCheck your superlink network \n \n",
                    long(j), long(channel_node_of(m, j)));
      out.to_surface += v;
      out.to_channels += v;
      m.superlink_chan_con_flow[j_] += v;
      m.sjunc_ext_inflow[j_] -= v;
      if (Q > 1e-8) m.superlink_active = 1;
      continue;
    }
    if (outfall_nan(m, j, v, false)) return -1;
    const int cell = cell_of_junction(m, j);
    if (v < 0.0)
      message_out("Flow from supernode %ld to overland cell %ld is negative \nCheck your superlink network \n \n",
                  long(j), long(cell));
    if (cell < 1) continue;
    out.to_surface += v;
    m.sjunc_ov_volume[j_] += v;
    m.ov_depth[size_t(cell)] += v / cell_area;
    m.ov_to_superlink_cell_volume[size_t(cell)] -= v;
    m.sjunc_ext_inflow[j_] -= v;
    if (std::fabs(Q) > 1e-8) m.superlink_ov_flag = 1;
  }
  return 0;
}

void write_log_row(const model_state& m, const superlink_volumes& out, double dt) {
  checked_file log;
  if (!checked_file_open(log, flows_log, 'a')) return;
  std::fprintf(log.stream, "%d %16.8lf %16.8lf %16.8lf %16.8lf \n", m.superlink_call_count, out.into_network,
               out.to_surface, out.into_network / dt, out.to_surface / dt);
  checked_file_close(log);
}

}  // namespace

std::vector<double> superlink_internal_steps(double dt, double dtc) {
  double step = dt;
  if (dtc > 1e-8 && dtc < dt) step = dtc >= 1.0 ? dtc : std::min(1.0, dt);
  std::vector<double> steps;
  double elapsed = 0.0;
  while (elapsed < dt - 1e-16) {
    const double remain = dt - elapsed;
    const double h = remain - step < 0.5 * step ? remain : step;
    steps.push_back(h);
    elapsed += h;
  }
  return steps;
}

int solve_superlink_network(model_state& m, double dt, superlink_volumes& out) {
  out = superlink_volumes();
  if (m.superlink_call_count == 0) {
    const int r = set_up(m);
    if (r != 0) return r;
  }
  superlink_solve_work& w = work(m);
  for (int j = 1; j <= m.num_superjunctions; j++)
    if (m.bound[size_t(j)] == 1) w.fixed_head[size_t(j)] = fixed_head(m, j);
  const double cell_area = m.cell_size * m.cell_size;
  const double dtc = courant_step(m);
  surface_inlets(m, dt, cell_area, out);
  for (const double h : superlink_internal_steps(dt, dtc)) {
    for (int l = 1; l <= m.num_superlinks; l++) superlink_coefficients(m, l, h);
    if (solve_heads(m, h) != 0) return -1;
    for (int l = 1; l <= m.num_superlinks; l++) back_substitute(m, l, h);
    if (outfalls(m, h, cell_area, out) != 0) return -1;
  }
  if (m.leaky_pipes_on && !m.superlink_tile_flow.empty())
    for (int l = 1; l <= m.num_superlinks; l++)
      for (int k = 1; k <= m.superlink_tile_flow.rows(); k++) m.superlink_tile_flow[k][l] = 0.0;
  for (int j = 1; j <= m.num_superjunctions; j++)
    if (m.inlet_type[0][j] > 10) m.sjunc_ext_inflow[size_t(j)] /= dt;
  out.stored = stored_volume(m);
  write_log_row(m, out, dt);
  return 0;
}

int ludcmp_oxa(node_matrix<double>& a, int n, std::vector<int32_t>& permutation, double& sign,
               std::vector<double>& scale) {
  sign = 1.0;
  scale.assign(size_t(n) + 1, 0.0);
  permutation.assign(size_t(n) + 1, 0);
  for (int i = 1; i <= n; i++) {
    double big = 0.0;
    for (int j = 1; j <= n; j++) big = std::max(big, std::fabs(a[i][j]));
    if (big == 0.0) {
      message_out("problem at superjunc %d \n", i);
      std::fputs("Numerical Recipes run-time error...\n", stderr);
      std::fputs("Singular matrix in routine ludcmp_oxa.\n", stderr);
      std::fputs("...now exiting to system...\n", stderr);
      return -1;
    }
    scale[size_t(i)] = 1.0 / big;
  }
  for (int j = 1; j <= n; j++) {
    for (int i = 1; i < j; i++) {
      double sum = a[i][j];
      for (int k = 1; k < i; k++) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
    }
    double big = 0.0;
    int imax = j;
    for (int i = j; i <= n; i++) {
      double sum = a[i][j];
      for (int k = 1; k < j; k++) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
      const double dum = scale[size_t(i)] * std::fabs(sum);
      if (dum >= big) {
        big = dum;
        imax = i;
      }
    }
    if (j != imax) {
      for (int k = 1; k <= n; k++) std::swap(a[imax][k], a[j][k]);
      sign = -sign;
      scale[size_t(imax)] = scale[size_t(j)];
    }
    permutation[size_t(j)] = imax;
    if (a[j][j] == 0.0) a[j][j] = 1e-20;
    if (j != n) {
      const double dum = 1.0 / a[j][j];
      for (int i = j + 1; i <= n; i++) a[i][j] *= dum;
    }
  }
  return 0;
}

void superlink_lubksb(const node_matrix<double>& a, int n, const std::vector<int32_t>& permutation,
                      std::vector<double>& b) {
  int first = 0;
  for (int i = 1; i <= n; i++) {
    const int ip = permutation[size_t(i)];
    double sum = b[size_t(ip)];
    b[size_t(ip)] = b[size_t(i)];
    if (first)
      for (int j = first; j < i; j++) sum -= a[i][j] * b[size_t(j)];
    else if (sum != 0.0)
      first = i;
    b[size_t(i)] = sum;
  }
  for (int i = n; i >= 1; i--) {
    double sum = b[size_t(i)];
    for (int j = i + 1; j <= n; j++) sum -= a[i][j] * b[size_t(j)];
    b[size_t(i)] = sum / a[i][i];
    if (std::isnan(b[size_t(i)])) message_out("head is NaN in lubksb, for superjunc %d ", i);
  }
}

int gw_tile_drain_flux(const model_state& m, tile_network& t) {
  if (t.gpi_num_cells <= 0) return 0;
  const bool frozen_skip = m.long_term_on && m.cfgi_on && !m.cfgi_cell.empty();
  const auto skipped = [&](int c) { return frozen_skip && size_t(c) < m.cfgi_cell.size() && m.cfgi_cell[size_t(c)] > 83.0; };
  struct entry_place {
    int na, nb, p;
    double z, w;
  };
  const auto place = [&](int l, int k, int c) {
    entry_place e{k, k + 1, k, 0.0, 0.0};
    if (t.otc_node) {
      e.na = (*t.otc_node)[k][l];
      e.nb = (*t.otc_node)[k + 1][l];
      e.p = (*t.otc_pipe)[k][l];
    }
    const auto burial = [&](int n) {
      const int cell = (*t.node_gnum)[n][l];
      return (cell >= 1 ? m.elevation[size_t(cell)] : 0.0) - (*t.invert)[n][l];
    };
    const double offset = (burial(e.na) + burial(e.nb)) / 2.0;
    e.z = m.elevation[size_t(c)] - offset;
    e.w = ((*t.depth)[e.na][l] + (*t.depth)[e.nb][l]) / 2.0 + e.z;
    return e;
  };
  bool any = false;
  for (int i = 1; i <= t.gpi_num_cells && !any; i++)
    for (int e = 1; e <= (*t.gpi_ncellsingrid)[size_t(i)]; e++) {
      const int c = (*t.gpi_gnum)[i][e], l = (*t.gpi_link)[i][e], k = (*t.gpi_node)[i][e];
      if (skipped(c)) continue;
      const entry_place p = place(l, k, c);
      if (m.elevgw[size_t(c)] > p.w && (*t.conductivity)[p.p][l] / 100.0 > 1e-16) {
        any = true;
        break;
      }
    }
  if (!any) return 0;
  for (int i = 1; i <= t.gpi_num_cells; i++)
    for (int e = 1; e <= (*t.gpi_ncellsingrid)[size_t(i)]; e++) {
      const int c = (*t.gpi_gnum)[i][e], l = (*t.gpi_link)[i][e], k = (*t.gpi_node)[i][e];
      if (skipped(c)) continue;
      const entry_place p = place(l, k, c);
      const double h = m.elevgw[size_t(c)] - p.w;
      const double K = (*t.conductivity)[p.p][l] / 100.0;
      const double L = (*t.spacing)[p.p][l];
      if (!(h > 1e-16 && K >= 1e-16 && L >= 1e-16)) continue;
      const double d = p.z - m.bottom_elev[size_t(c)];
      if (d < 0.0) {
        message_out("\n Node elevation must be above bottom of groundwater media: Link %d Node %d Comp Node %d", l, k,
                    p.na);
        set_error(131);
        return 1;
      }
      const double D = (*t.diameter)[p.p][l];
      const double r = D / 2.0;
      double rate;
      if (m.superlink_drainmod_on == 1) {
        double de;
        if (d / L < 0.3)
          de = d / (1.0 + (d / L) * (2.5477707006369426 * std::log(d / r) - 2.0 * (2.0 / L) * (2.0 / L) - 3.55 +
                                      1.6 * d / L));
        else
          de = 3.14 * L / (8.0 * (std::log(L / r) - 1.15));
        rate = (8.0 * K * de * h + 4.0 * K * h * h) / (L * L) * 3.14 * D / 3600.0;
      } else {
        const double Lh = L / 2.0, x = 6.28 * d / Lh;
        const double e1 = std::exp(-2.0 * x), e3 = std::exp(-6.0 * x), e5 = std::exp(-10.0 * x);
        const double de = (3.14 * Lh / 8.0) / (std::log(Lh / (3.14 * D / 2.0)) + 4.0 * e1 / (1.0 - e1) +
                                               4.0 * e3 / (1.0 - e3) + 4.0 * e5 / (1.0 - e5));
        rate = (2.0 * h * de + h * h) * (K / Lh) * 2.0 / 3600.0;
      }
      rate *= (*t.gpi_pct)[i][e] * (*t.dx)[k][l];
      const double mult = (*t.multiplier)[p.p][l];
      if (mult > 1.0) rate *= mult;
      if (std::isnan(rate)) {
        message_out("\n NaN error in groundwater tile exchange: Link %d Node %d Comp Node %d", l, k, p.na);
        set_error(133);
        return 1;
      }
      (*t.Q_tile_grid)[size_t(c)] += rate;
      (*t.tile_flow)[k][l] += rate;
    }
  return 1;
}

}  // namespace pluvo
