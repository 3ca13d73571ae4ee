// The layered snowpack of one cell: the pack compacts, takes new snow or stores rain, melts at the
// surface, freezes from the top in cold steps, holds liquid water in a wet layer and passes the
// rest down as wetting fronts that travel by the kinematic-wave law of flow through snow.
// Depths and water in cm, density in g/cm3, permeability in cm2, times in s.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "hydromet/snow_model.hpp"

namespace pluvo {

namespace {

constexpr int max_fronts = 50;
constexpr double new_grain = 5e-05;
constexpr double latent_heat = 3330464.0;

// Front record entries.
constexpr size_t f_start = 1, f_depth = 2, f_water = 3, f_arrival = 4, f_cutoff = 5;

double e_pow(double x) { return std::pow(2.718281828459, x); }

void report_front_fault() { std::fputs("error_code = 1", stdout); }

struct pack {
  // Step inputs.
  double P = 0.0, T = 0.0, U = 0.0, Ja = 0.0, Jb = 0.0;
  double dt = 0.0;
  // Parameter record, copied in and written back at the end.
  double prescribed = 0.0, n = 3.0, phi_e = 0.67, H = 0.0, S = 0.0, f_h = 0.07, rho = 0.3, k = 0.0;
  // Working values of the step.
  double c = 0.0;     // pack clock at the end of the step
  int m = 0;          // fronts
  double z_w = 0.0, z_p = 0.0, g_d = 0.0, g_w = 0.0, H_p = 0.0;
  double M = 0.0;     // mean air temperature deficit over the cold steps
  int N_c = 0;        // cold steps
  double F = 0.0;     // frozen depth
  double B = 0.0;     // held water
  double rain = 0.0;  // stored rain
  double C = 0.0;     // front coefficient
  double Q_in = 0.0, O = 0.0;
  snow_front_table* w = nullptr;

  std::array<double, 6>& rec(int i) { return (*w)[size_t(i)]; }
  double t(int i) { return -rec(i)[f_start]; }
  double D(int i) { return rec(i)[f_depth]; }
  double W(int i) { return rec(i)[f_water]; }
  double A(int i) { return rec(i)[f_arrival]; }
  double E(int i) { return rec(i)[f_cutoff]; }
  bool whole(int i) { return rec(i)[f_cutoff] == -1.0; }

  // The front law holds for n > 1 and C > 0; outside it every guarded term is 0.
  bool law() const { return n > 1.0 && C > 0.0; }

  // Depth reached by a lone front of water Wf after tau seconds.
  double z(double Wf, double tau) const {
    if (!law() || !(Wf > 0.0) || !(tau > 0.0)) return 0.0;
    return C * std::pow(Wf / (n - 1.0), (n - 1.0) / n) * std::pow(tau, 1.0 / n);
  }
  // Time a lone front of water Wf takes to reach depth Df.
  double arr(double Wf, double Df) const {
    if (!law() || !(Wf > 0.0) || !(Df > 0.0)) return 0.0;
    return std::pow(Df / C, n) * std::pow((n - 1.0) / Wf, n - 1.0);
  }
  // Water of a lone front not yet delivered at depth Df after tau seconds.
  double R(double Df, double tau) const {
    if (!law() || !(Df > 0.0) || !(tau > 0.0)) return 0.0;
    return (n - 1.0) * std::pow(Df / C, n / (n - 1.0)) * std::pow(tau, -1.0 / (n - 1.0));
  }
  // Shape factor of a front Delta seconds behind the one before it.
  double G(double tau, double Delta) const {
    return std::pow(1.0 - std::pow(tau / (Delta + tau), 1.0 / (n - 1.0)), (1.0 - n) / n);
  }
  double cut_water(int i) { return R(D(i), E(i)); }
  // Rate of change of the position p of a front Delta seconds behind another, at tau.
  double slope(double tau, double Delta, double p) const {
    const double a = 1.0 / (1.0 - n), b = n / (1.0 - n);
    return (1.0 / n - 1.0) / (std::pow(tau, a) - std::pow(Delta + tau, a)) * p *
           (std::pow(tau, b) / (1.0 - n) - std::pow(Delta + tau, b));
  }

  double position(int k, double tau);
  double arrival(int k);
  double iterate_behind_whole(int k);
  double iterate_behind_cut(int k, double T_l);
  void remove_front(int i);
  void merge_at_creation();
  void merge_on_arrival(double time);
  void add_front();

  void hold(double q);
  void freeze(double q);
  void update_holding();
  double conductivity() const;
  bool frost() const { return N_c != 0 || M > 0.0; }
  void clear_frost() { M = 0.0, N_c = 0, F = 0.0; }

  void property_substep();
  void compact();
  void new_snow();
  void frost_substep();
  void cut_frozen_fronts();
  void surface_substep();
  void wave_substep();
  void drain();
};

double pack::position(int k, double tau) {
  if (k == 1) return z(W(1), tau);
  const double Delta = t(k) - t(k - 1);
  const double Wk = W(k);
  if (whole(k - 1)) {
    if (tau == 0.0 || Wk == 0.0 || 1.0 - 1.0 / n == 0.0) return 0.0;
    if (Delta <= 0.0) return H;
    const double alone = z(Wk, tau);
    const double p = G(tau, Delta) * alone;
    if (0.99 * alone > p) report_front_fault();
    return p;
  }
  const double Wc = cut_water(k - 1);
  if (Wk <= 0.0 || Wc == 0.0) return 0.0;
  const double denominator = std::pow(Wk / Wc, n - 1.0) - 1.0;
  if (denominator == 0.0) return 0.0;
  const double tau_c = Delta / denominator;
  if (tau < tau_c || Wc > Wk) return z(Wk, tau);
  if (Delta <= 0.0) return H;
  return G(tau, Delta) * z(Wk - Wc, tau);
}

// Newton steps on the time at which front k, Delta seconds behind the one before it, reaches
// depth Dk: at most `limit` updates; a negative time restarts at `restart`, which then shrinks
// by `shrink` each time. where(tau, last) is the position at tau.
template <typename Where>
double newton_arrival(const pack& b, double Dk, double Delta, double restart, double shrink, int limit,
                      bool slope_needs_positive_tau, Where where) {
  double tau = b.dt / 2.0;
  double p = where(tau, 0.0);
  int updates = 0;
  while (std::fabs(p - Dk) >= 0.005 * Dk && updates < limit) {
    const bool formed = slope_needs_positive_tau ? tau > 0.0 && Delta + tau != 0.0 : tau != 0.0;
    const double s = formed ? b.slope(tau, Delta, p) : 0.0;
    if (s != 0.0 && std::isfinite(s)) tau -= (p - Dk) / s;
    if (tau < 0.0) {
      tau = restart;
      restart /= shrink;
    }
    p = where(tau, p);
    ++updates;
  }
  if (updates >= limit) report_front_fault();
  return tau;
}

double pack::iterate_behind_whole(int k) {
  const double Dk = D(k), Delta = t(k) - t(k - 1);
  const double tau =
      newton_arrival(*this, Dk, Delta, dt / 4.0, 4.0, 1000, true, [&](double at, double) { return position(k, at); });
  if (W(k) > 0.0 && n != 1.0 && Dk > 0.0 && C != 0.0 && tau > arr(W(k), Dk)) report_front_fault();
  return tau;
}

double pack::iterate_behind_cut(int k, double T_l) {
  const double Dk = D(k), Wk = W(k), Delta = t(k) - t(k - 1);
  const double Wc = cut_water(k - 1);
  auto where = [&](double tau, double last) {
    if (tau == 0.0 || Delta + tau == 0.0 || Wc == 0.0 || !(Wk > 0.0)) return last;
    if (z(Wk, tau) > z(Wc, Delta + tau) && Wk > Wc) return G(tau, Delta) * z(Wk - Wc, tau);
    return z(Wk, tau);
  };
  const double tau = newton_arrival(*this, Dk, Delta, dt / 2.0, 2.0, 100, false, where);
  if (tau > T_l) report_front_fault();
  return tau;
}

double pack::arrival(int k) {
  if (k == 1) return arr(W(1), D(1));
  if (D(k) <= 0.0) return 0.0;
  if (whole(k - 1)) return iterate_behind_whole(k);
  const double T_l = arr(W(k), D(k));
  if (t(k - 1) + E(k - 1) <= t(k) + T_l) return T_l;
  return iterate_behind_cut(k, T_l);
}

void pack::remove_front(int i) {
  // The record after the last takes part in the copy, as the table keeps one spare.
  for (int j = i; j <= m && j < max_fronts + 1; ++j) rec(j) = rec(j + 1);
  --m;
}

void pack::merge_at_creation() {
  while (m >= 2 && t(m - 1) + A(m - 1) > t(m) + A(m)) {
    auto& older = rec(m - 1);
    const auto& newer = rec(m);
    const bool cut = !whole(m - 1);
    older[f_start] = newer[f_start];
    older[f_depth] = newer[f_depth];
    older[f_water] = cut ? std::max(older[f_water] + newer[f_water] - R(newer[f_depth], older[f_cutoff]), 0.0)
                         : older[f_water] + newer[f_water];
    older[f_cutoff] = newer[f_cutoff];
    remove_front(m);
    rec(m)[f_arrival] = D(m) > 0.0 && W(m) > 0.0 ? arrival(m) : 0.0;
  }
}

void pack::merge_on_arrival(double time) {
  double Wr = R(D(1), time - t(1));
  if (!whole(1)) Wr -= cut_water(1);
  Wr = std::max(Wr, 0.0);
  auto& first = rec(1);
  const auto& second = rec(2);
  first[f_start] = second[f_start];
  first[f_depth] = second[f_depth];
  first[f_water] = Wr + second[f_water];
  first[f_arrival] = time + second[f_start];  // time - t_2
  first[f_cutoff] = second[f_cutoff];
  remove_front(2);
}

void pack::add_front() {
  if (m >= max_fronts) {
    // The table is full: the water joins the newest front, which travels on as one.
    rec(m)[f_water] += Q_in;
    rec(m)[f_arrival] = H > 0.0 ? arrival(m) : 0.0;
  } else {
    ++m;
    rec(m) = {0.0, -c, H, Q_in, 0.0, -1.0};
    rec(m)[f_arrival] = H > 0.0 ? arrival(m) : 0.0;
  }
  if (m >= 2) merge_at_creation();
}

void pack::hold(double q) {
  B += q;
  z_w = f_h > 0.0 ? std::min(B / f_h, H) : (B > 0.0 ? H : 0.0);
  if (!(z_w > 0.0)) z_w = 0.0;
}

void pack::freeze(double q) {
  double z_new = std::max(z_w - q, 0.0);
  if (z_new + F - H > 0.0) z_new = H - F;
  B = std::max(B - (z_w - z_new) * f_h, 0.0);
  z_w = z_new;
}

double limited_holding(double f) {
  f = std::min(f, 0.1);
  return f > 0.005 ? f : 0.005;
}

void pack::update_holding() {
  if (H <= 0.0) {
    f_h = 0.07;
    B = 0.0;
    z_w = 0.0;
  } else {
    const double phi_F = F > 0.0 ? std::min(F / H, 1.0) : 0.0;
    const double P_r = T >= 0.0 && P > 0.0 ? P : 0.0;
    f_h -= dt * (1.388888888888889e-09 * T + 1.1111111111111112e-05 * P_r + 4.166666666666666e-08 * phi_F +
                 4.1666666666666667e-07 * Q_in);
    f_h = limited_holding(f_h);
    if (H > H_p && c > 1.5 * dt) f_h = limited_holding(((H - H_p) * 0.07 + H_p * f_h) / H);
    z_w = std::min(B / f_h, H);
    if (!(z_w > 0.0)) z_w = 0.0;
  }
  H_p = H;
}

double pack::conductivity() const {
  if (!(rho > 0.0)) return 0.0045;
  const double r = 1000.0 * rho;
  return ((1.105e-06 * r * r + 7.775e-05 * r) * 2.267 + 0.023) * 0.01;
}

void pack::property_substep() {
  C = 0.0;
  double g = 0.0;
  k = 0.0;
  if (!(std::fabs(rho) > 0.0)) rho = 0.3;
  if (rho > 1.0) rho = 1.0;
  if (z_w > z_p) {
    g_w = (z_p * g_w + (z_w - z_p) * g_d) / z_w;
    if (H > H_p && H > z_w) g_d = ((H_p - z_w) * g_d + (H - H_p) * new_grain) / (H - z_w);
  } else if (z_w < z_p) {
    if (H <= H_p && H > z_w)
      g_d = ((z_p - z_w) * g_w + (H - z_p) * g_d) / (H - z_w);
    else if (H > H_p && H > z_w)
      g_d = ((H_p - z_p) * g_d + (H - H_p) * new_grain + (z_p - z_w) * g_w) / (H - z_w);
  } else if (H > H_p && H > z_w) {
    g_d = ((H_p - z_w) * g_d + (H - H_p) * new_grain) / (H - z_w);
  }
  if (z_w >= H) g_d = new_grain;
  H_p = H;
  z_p = z_w;
  g_d += 1.25e-11 * dt;
  const double theta = 100.0 * f_h / rho;
  g_w += (1.25e-11 + (theta > 0.0 ? 4.22e-13 * theta * theta * theta : 0.0)) * dt;
  if (!(H > 0.0) || (z_w * g_w + (H - z_w) * g_d) / H != 0.0) g = 0.2;
  if (!(7.8 * rho > 50.0) && g > 0.0) k = g * g * 0.077 * std::exp(-7.8 * rho);
  // Without pore space the water has no way down.
  const double factor = k > 0.0 && phi_e > 0.0 ? std::pow(k, 1.0 / n) / phi_e : 0.0;
  C = std::pow(54700.0, 1.0 / n) * n * factor;
  if (!std::isfinite(C)) C = 0.0;
}

// A compaction rate truncated to 1e-10 s^-1; the pack never swells.
double truncated_rate(double r) {
  const double t = std::trunc(r * 1e10) * 1e-10;
  return t > 0.0 ? 0.0 : t;
}

void pack::compact() {
  const double f_d = rho <= 0.1 ? 1.0 : e_pow(-46.0 * (rho - 0.1));
  const double f_w = std::min(1.0 + z_w / H, 2.0);
  double r_m = std::fabs(0.04 * T) >= 50.0 ? 0.0 : -2.778e-06 * f_d * f_w * e_pow(-0.04 * T);
  const double x = 0.08 * T + 23.0 * rho;
  double r_o = std::fabs(x) >= 50.0 ? 0.0 : -(rho * H * 0.5 * 981.0) / (9e6 * e_pow(x));
  r_m = truncated_rate(r_m);
  r_o = truncated_rate(r_o);
  const double H_new = H * (1.0 + (r_m + r_o) * dt);
  rho = S * (1.0 - f_h) / H;
  if (rho > 0.55) {
    rho = 0.55;
    f_h = 0.07;
    S = 0.55 * H_new / 0.93;
  }
  phi_e = (1.0 - rho) * (1.0 - f_h);
  H = H_new;
  if (H < 0.0) H = S = 0.0;
}

void pack::new_snow() {
  if (H + P / 0.08 > 0.0) {
    rho = (H * rho + P) / (H + P / 0.08);
    phi_e = (1.0 - rho) * (1.0 - f_h);
  }
  H += 12.5 * P;
  S += P;
  if (H < 0.0) H = S = 0.0;
}

// In a cold step the frozen layer reaches fronts near the surface: those inside it stop, the
// first one below it loses the water behind the frost line.
void pack::cut_frozen_fronts() {
  if (F >= H) {
    m = 0;
    return;
  }
  for (int j = m; j >= 1; --j) {
    double tau = c - t(j);
    if (!(tau > 0.0)) tau = 0.0;
    const double p = position(j, tau);
    if (F - p - H + D(j) > 0.0) {
      remove_front(j);
      continue;
    }
    const double x = D(j) + F - H;
    if (x > 0.0 && C != 0.0 && n != 1.0) {
      double tau_c = c - t(j);
      if (!(tau_c > 0.0)) tau_c = 1.0;
      const double Wp = (n - 1.0) * std::pow(x / C, n / (n - 1.0)) * std::pow(tau_c, -1.0 / (n - 1.0));
      if (Wp > 0.0) rec(j)[f_cutoff] = std::pow(D(j) / C, n) * std::pow((n - 1.0) / Wp, n - 1.0);
      if (A(j) > E(j)) remove_front(j);
    }
    return;
  }
}

void pack::frost_substep() {
  const double kappa = conductivity();
  if (Q_in > 0.0) {
    if (z_w > H) {
      z_w = H;
      if (frost()) clear_frost();
      return;
    }
    if (frost()) {
      const double L = Q_in * latent_heat, K = kappa * 1.0405 * F * M;
      if (L > K) {
        Q_in *= 1.0 - K / L;
        clear_frost();
      } else {
        Q_in = 0.0;
        M = (K - L) * 0.9611 / (kappa * F);
      }
    }
    const double cap = H > z_w ? (H - z_w) * f_h : 0.0;
    if (Q_in < cap) {
      hold(Q_in);
      Q_in = 0.0;
      if (frost()) {
        const int N_old = N_c;
        ++N_c;
        M = (N_old * M - T) / (N_old + 1);
        if (M < 0.0) clear_frost();
      }
    } else {
      hold(cap);
      Q_in -= cap;
      if (frost()) clear_frost();
    }
  } else if (T < 0.0) {
    M = (N_c * M - T) / (N_c + 1);
    ++N_c;
    // Without a holding fraction the frost formula has no bound: the pack freezes through.
    const double F_new = f_h > 0.0 ? std::sqrt(2.0 * kappa * M * dt * N_c / (f_h * 333.05)) : std::max(H, 0.0);
    const double F_old = F;
    F = F_new;
    if (F_new > F_old) freeze(F_new - F_old);
    cut_frozen_fronts();
    Q_in = 0.0;
  } else {
    Q_in = 0.0;
  }
}

void pack::surface_substep() {
  const double Ht = U == 10000.0 ? 10.0 * T : (6.0 * U + 1.8) * T;
  if (prescribed > 0.0) {
    H = prescribed;
    S = prescribed * rho;
  } else if (H > 0.0) {
    compact();
  }
  Q_in = H > 0.0 ? dt * (Ht + Ja + Jb) / latent_heat : 0.0;
  if (T >= 0.0) {
    Q_in += (T / 80.0 + 1.0) * P;
    rain = P;
  } else {
    new_snow();
  }
  frost_substep();
  update_holding();
  if (Q_in > 0.0001)
    add_front();
  else if (Q_in > 0.0 && m >= 2)
    rec(m - 1)[f_water] += Q_in;
}

void pack::wave_substep() {
  O = 0.0;
  if (m > 0 && H > 0.0) {
    int a = 0;
    for (int j = 1; j <= m; ++j)
      if (t(j) + A(j) < c + dt) ++a;
    double s = c;
    for (int i = 1; i <= a && s < c + dt && dt > 0.0; ++i) {
      const double start = std::max(s, t(1) + A(1));
      double end;
      bool remove = false, merge = false;
      if (i == a) {
        if (whole(1) || t(1) + E(1) > c + dt) {
          end = c + dt;
        } else {
          end = t(1) + E(1);
          remove = true;
        }
      } else {
        const double a2 = t(2) + A(2);
        if (whole(1) || t(1) + E(1) > a2) {
          end = a2;
          merge = true;
        } else {
          end = t(1) + E(1);
          remove = true;
        }
      }
      double from = start - t(1), to = end - t(1);
      if (!(from > 0.0)) from = 1.0;
      if (!(to > 0.0)) to = 1.0;
      O += R(D(1), from) - R(D(1), to);
      s = end;
      if (remove) remove_front(1);
      if (merge) merge_on_arrival(end);
    }
  } else if (m > 0) {
    for (int j = 1; j <= m; ++j) {
      if (c > t(j) + A(j)) {
        double tau = c - t(j);
        if (!(tau > 0.0)) tau = 1.0;
        O += R(D(j), tau);
      } else {
        O += W(j);
      }
    }
    m = 0;
  }
}

void pack::drain() {
  if (!(O > 0.0)) return;
  if (rain > O) {
    rain -= O;
    return;
  }
  if (S > 0.0) S -= O - rain;
  rain = 0.0;
  if (S < 0.0) S = H = rho = 0.0;
  if (H < 0.0) H = S = 0.0;
}

}  // namespace

void snow_pack_step(int, double P, double T, double, double U, double Ja, double Jb, double, double*,
                    double* prescribed_depth, double* exponent, double* porosity, double* depth, double* water,
                    double* holding, int dt, double* status, snow_front_table& fronts, double* density,
                    double* permeability, double* permeability_out) {
  pack p;
  p.P = P, p.T = T, p.U = U, p.Ja = Ja, p.Jb = Jb, p.dt = dt;
  p.prescribed = *prescribed_depth;
  p.n = *exponent, p.phi_e = *porosity, p.H = *depth, p.S = *water, p.f_h = *holding, p.rho = *density;
  p.w = &fronts;
  double* st = status;
  double clock = 0.0;
  if (int(st[21]) != 0) {
    p.H_p = st[1], p.H = st[2], p.rho = st[3], p.z_w = st[4], p.z_p = st[5], p.g_d = st[6], p.g_w = st[7];
    clock = st[8], p.M = st[9], p.phi_e = st[10], p.f_h = st[11], p.S = st[12], p.rain = st[13];
    p.N_c = int(st[14]), p.m = int(st[15]), p.n = st[16], p.F = st[17], p.B = st[18];
  } else {
    p.H_p = p.H;
    p.M = T;
  }
  p.m = std::clamp(p.m, 0, max_fronts);
  if (p.H == 0.0) p.m = 0, clock = 0.0;
  p.c = clock + dt;

  p.property_substep();
  *permeability = *permeability_out = p.k;
  p.surface_substep();
  const double H_surface = p.H_p;
  p.wave_substep();
  p.drain();

  if (p.H < 0.1) p.H = p.rho = 0.0;
  *depth = p.H, *water = p.S, *density = p.rho, *porosity = p.phi_e, *holding = p.f_h, *exponent = p.n;
  st[1] = H_surface, st[2] = p.H, st[3] = p.rho, st[4] = p.z_w, st[5] = p.z_p, st[6] = p.g_d, st[7] = p.g_w;
  st[8] = p.c, st[9] = p.M;
  if (p.phi_e > 0.0 && p.phi_e <= 1.0)
    st[10] = p.phi_e;
  else if (!(st[10] > 0.0 && st[10] <= 1.0))
    st[10] = 0.67;
  st[11] = p.f_h, st[12] = p.S, st[13] = p.rain, st[14] = p.N_c, st[15] = p.m, st[16] = p.n, st[17] = p.F;
  st[18] = p.B, st[19] = p.O, st[20] = *permeability, st[21] = 1.0, st[22] = *permeability_out;
}

}  // namespace pluvo
