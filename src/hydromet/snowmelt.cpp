// The hourly snow step of continuous runs and the melt of each cell's pack by one of four
// models: temperature index (seasonal melt factor, or constant factor with radiation), energy
// balance, and the hybrid of the energy balance with the temperature-index pack accounting.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

#include "hydromet/hydromet_phases.hpp"
#include "hydromet/snow_model.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;

struct snow_modes {
  bool temperature_index;  // NWSRFS_SNOW or NWSRFS_SNOW_W_RAD
  bool hybrid;
  bool energy_balance;     // none of the three above
  bool accounting;         // temperature index or hybrid
};

snow_modes modes_of(const model_state& m) {
  snow_modes s{};
  s.temperature_index = m.nwsrfs_snow_on == 1 || m.nwsrfs_snow_w_rad_on == 1;
  s.hybrid = m.hy_snow_on == 1;
  s.energy_balance = !s.temperature_index && !s.hybrid;
  s.accounting = s.temperature_index || s.hybrid;
  return s;
}

bool skipped_cell(const model_state& m, int c) {
  const size_t i = size_t(c);
  if (m.ov_boundary_on && i < m.boundary_type.size()) {
    const int t = m.boundary_type[i];
    if (t == 2 || t == 3 || t == 9) return true;
  }
  if (m.overland_lakes_on && i < m.oland_lake_new.size() && m.oland_lake_new[i] > 0) return true;
  if (m.lakes_on && i < m.lake_mask.size() && m.lake_mask[i] > 0) return true;
  return m.snow_swe[i] < tiny;
}

// The date's offset from 21 March; outside 1..12 the console gives it, when there is one.
int day_number_or_ask(int month, int day) {
  int n = 0;
  if (snow_day_number(month, day, n)) return n;
  std::printf("WE HAVE A PROBLEM WITH THE DATES!!!\n");
  std::printf(" Hit a Key and Try Again \n");
  int offset = 0;
  if (isatty(fileno(stdin)) && std::scanf("%d", &offset) != 1) offset = 0;
  return day + offset;
}

// The antecedent temperature index after a step at air temperature T with P1 mm of precipitation;
// returns min(previous index, 0).
double update_antecedent_index(model_state& m, int c, double T, double P1, double dt_h, bool heavy_snow_resets) {
  const size_t i = size_t(c);
  const double a0 = m.ATI_2[i];
  const double k = 1.0 - std::pow(1.0 - m.snow_tipm_cell[i], dt_h / 6.0);
  if (heavy_snow_resets && P1 > 1.5 * dt_h && T <= 0.0)
    m.ATI_2[i] = T;
  else
    m.ATI_2[i] = a0 + (T - a0) * k;
  m.ATI_2[i] = std::min(m.ATI_2[i], 0.0);
  return std::min(a0, 0.0);
}

// Snow-free cells hand the melt-wave lag an empty pack.
double travel_time_hours(const model_state& m, int c, double melt) {
  const auto& p = m.snap_pluvo_params[size_t(c)];
  const double h = p[5], pe = p[4], kp = p[11];
  const double K = m.snow_darcy_value >= 0.0 ? m.snow_darcy_value : kp / 10000.0 * 6252390.0573613765;
  if (pe <= 0.0) return 1.0;
  const double celerity = std::pow(melt / 3600.0, 2.0 / 3.0) * std::cbrt(K) * 3.0 / pe * 3600.0;
  if (celerity <= tiny) return 1.0;
  return std::clamp((h / 100.0) / celerity, 1.0, 6.0);
}

void check_wave_total(const model_state& m, int c) {
  const size_t i = size_t(c);
  double sum = 0.0;
  for (int k = 1; k <= m.melt_wave_count; ++k) sum += m.Melt_Waves[i][size_t(k)][0];
  if (std::fabs(sum - m.snow_melt_to_ov[i]) > 1e-8)
    std::printf("\nMelt Water Amount is not matching what it should be in cell %d", c);
}

void route_melt(model_state& m, int c, double melt) {
  const size_t i = size_t(c);
  auto& waves = m.Melt_Waves[i];
  const int count = m.melt_wave_count;
  m.snow_melt_to_ov[i] += melt;
  if (m.snap_retention_on) {
    for (int k = 1; k < count; ++k) {
      auto& w = waves[size_t(k)];
      auto& next = waves[size_t(k) + 1];
      w[0] += next[0];
      w[1] = next[1];
      next = {0.0, 0.0};
      if (w[0] / k > w[1]) w[1] = w[0] / k;
      if (w[1] > w[0]) w[1] = w[0];
    }
    const double tl = travel_time_hours(m, c, melt);
    double r = std::min(std::max(melt / 6.0, melt / tl), melt);
    if (r < melt / 6.0) r = melt / 6.0;
    waves[size_t(count)] = {melt, r};
  } else {
    auto& w = waves[size_t(count)];
    w[0] += melt;
    w[1] = w[0];
  }
  check_wave_total(m, c);
  if (m.snow_melt_to_ov[i] > tiny) m.melt_occurring = 1;
}

// Depth and density of the pack after the step by compaction, settling of new snow and the
// snow temperature the compaction depends on.
void compact_pack(model_state& m, int c, double melt, double T, double dt) {
  const size_t i = size_t(c);
  const double S = m.snow_swe[i];
  if (S <= tiny) {
    m.snow_depth[i] = 0.0;
    m.snow_temperature[i] = 0.0;
    m.snow_density[i] = 0.0;
    m.snow_prev_air_temp[i] = T;
    return;
  }
  const bool snowfall = T <= m.snow_base_temp;
  const double Lw = (m.snow_melt_to_ov[i] + melt) * 1000.0;
  const double Pn = m.H_Val[i];
  double rho = m.snow_density[i];
  if (m.snow_depth[i] * 100.0 <= tiny || rho <= tiny) rho = 0.0;
  double W0 = snowfall && Pn > tiny ? S * 1000.0 - Pn : S * 1000.0;
  if (W0 < 1e-6) W0 = 0.0;
  const double c5 = Lw > tiny ? 2.0 : 0.0;
  const double Ts = m.snow_temperature[i];
  const double B = std::exp(0.08 * Ts - 21.0 * rho) * 0.026 * dt * 0.1 * W0;
  const double C3 = rho > 0.15 ? std::exp(0.1 * Ts - 3473.0 * (rho - 0.15)) : std::exp(0.1 * Ts);
  // Without old snow there is nothing to compact: the factor takes its limit 1.
  const double settling = B == 0.0 ? 1.0 : std::expm1(B) / B;
  const double rho2 = rho > 0.0 ? rho * std::exp(c5 * 0.005 * dt * C3) * settling : 0.0;
  const double h0 = rho2 > tiny ? W0 * 0.1 / rho2 : 0.0;
  const double rn = T <= -15.0 ? 0.05 : 0.05 + 0.0017 * std::pow(T + 15.0, 1.5);

  double hn = 0.0, depth = 0.0, density = 0.0, water_cm = 0.0;
  if (snowfall) {
    hn = Pn * 0.1 / rn;
    depth = hn + h0;
    if (h0 > tiny) {
      water_cm = (W0 + Pn) * 0.1;
      density = water_cm / depth;
    } else {
      density = rn;
      water_cm = rn * depth;
    }
  } else {
    density = rho2;
    depth = h0;
    water_cm = W0 * 0.1;
  }
  // The cap keeps the pack's water: depth from the water it holds, even when the compaction
  // factor ran past what a double holds.
  if (density > 0.6) {
    density = 0.6;
    depth = water_cm / 0.6;
  }

  if (W0 > tiny && h0 > tiny && W0 + Lw >= tiny && hn + h0 >= tiny && std::fabs(h0 - hn) >= 1e-5) {
    const double fl = Lw / (W0 + Lw);
    // Heat flows through the pack at the density it keeps.
    const double rk = std::min(rho2, 0.6);
    const double k = std::sqrt((2.1e6 * rk * (1.0 - rk - fl) + 4.2e6 * fl) * 3.14159 /
                               (0.0442 * std::exp(5.181 * rk) * 2.0 * 3600.0 * dt));
    double dT = T - m.snow_prev_air_temp[i];
    if (T > tiny && m.snow_prev_air_temp[i] > tiny)
      dT = std::fabs(dT);
    else if (m.snow_prev_air_temp[i] > tiny)
      dT = T;
    double g;
    if (hn > tiny)
      g = (std::exp(-0.01 * k * hn) - std::exp(-0.01 * k * h0)) / (0.01 * k * (h0 - hn)) * dT;
    else
      g = (1.0 - std::exp(-0.01 * k * h0)) / (0.01 * k * h0) * dT;
    m.snow_temperature[i] = ((g + Ts) * h0 + hn * T) / (hn + h0);
  } else if (W0 <= tiny || h0 <= tiny) {
    m.snow_temperature[i] = T;
  }
  if (m.snow_temperature[i] > tiny) m.snow_temperature[i] = 0.0;
  m.snow_depth[i] = depth / 100.0;
  m.snow_density[i] = density;
  m.snow_prev_air_temp[i] = T;
}

// Depth from the cell's layered pack, which starts each step from the pack's water equivalent
// and depth; a cell the melt left bare starts again from the reset pack.
void layered_pack_depth(model_state& m, int c) {
  const size_t i = size_t(c);
  if (m.snow_swe[i] <= tiny) return;  // the cell's pack is reset with its other snow state
  auto& p = m.snap_pluvo_params[i];
  auto& st = m.sn_stat[i];
  const double swe_cm = m.snow_swe[i] * 100.0;
  st[12] = p[6] = swe_cm;
  p[5] = m.snow_depth[i] > tiny ? m.snow_depth[i] * 100.0 : 10.0 * swe_cm;
  st[21] = 0.0;
  snow_pack_step(0, m.H_Val[i] / 10.0, m.hmet_temperature, m.rh_gridded[i], m.vel_gridded[i], 0.0, 0.0, 0.0, &p[1],
                 &p[2], &p[3], &p[4], &p[5], &p[6], &p[7], int(p[8] + 0.01), st.data(), m.wave[i], &p[9], &p[10],
                 &p[11]);
  m.snow_depth[i] = st[2] / 100.0;
}

struct step_constants {
  double dt, dt_h, sv;
  snow_modes mode;
};

// The melt of one cell (m), taken from its pack; the pack's accounting updated.
double cell_melt(model_state& m, int c, const step_constants& k) {
  const size_t i = size_t(c);
  const double sigma = 6.12e-10;
  const double T = m.temper_gridded[i], RH = m.rh_gridded[i], P = m.pres_gridded[i], U = m.vel_gridded[i];
  const double Te = m.nwsrfs_snow_w_rad_on ? m.eff_temp_gridded[i] : 0.0;
  const double f = U * 0.0002 / 1000.0 * 3600.0;
  const double es = 2.749e8 * std::exp(-4278.6 / (T + 242.8));
  const double L4 = std::pow(T + 273.15, 4);
  const double L4_long = m.reb_snow_on ? std::pow(T + Te + 273.15, 4) : L4;
  const double freezing4 = std::pow(273.15, 4);
  const double dt_h = k.dt_h;

  double Mf = 0.0, P1 = 0.0;
  bool rain_on_snow = false;
  auto& window = m.SNOW_PRECIP_6HR[i];
  if (!k.mode.energy_balance) {
    window[1] += m.H_Val[i];
    P1 = window[1];
    double sum = 0.0;
    for (int e = 1; e <= 6; ++e) sum += window[size_t(e)];
    rain_on_snow = sum / 6.0 > 1.5 && P1 > 0.25;
    if (m.nwsrfs_snow_w_rad_on)
      Mf = m.melt_factor_const / 6.0;
    else
      Mf = (m.snow_mf_min_cell[i] + (m.snow_mf_max_cell[i] - m.snow_mf_min_cell[i]) * k.sv) * dt_h / 6.0;
  }

  double Q = 0.0, Hr = 0.0, melt_eb = 0.0;
  if (k.mode.energy_balance || k.mode.hybrid || m.reb_snow_on) {
    Hr = (m.H_Val[i] / 10.0) * T / dt_h;
    Q = 4.956e-9 * L4_long - m.snow_longwave_offset + (RH / 100.0 * es - 6.11) * f * 600.0 +
        P * 0.00061 * 600.0 * f * T + Hr;
    melt_eb = Q / m.snow_fusion_heat * 0.01 * k.dt / 3600.0;
  }

  double melt_rs = 0.0, melt_nr = 0.0, Nm = 0.0, fr = 0.0;
  if (k.mode.temperature_index) {
    fr = m.snow_fr_use_cell[i];
    double Tp = T;
    if (!(T > tiny)) {
      fr = 0.0;
      Tp = 0.0;
    }
    const double Ta = T + Te;
    if (Ta <= tiny) {
      const double A = update_antecedent_index(m, c, T, P1, dt_h, true);
      const double mf_max = m.snow_mf_max_cell[i];
      double R = 0.0;
      if (m.nwsrfs_snow_w_rad_on)
        R = m.max_daily_radiation_index > 0.0 ? m.daily_radiation_index / m.max_daily_radiation_index : 0.0;
      else
        R = mf_max > 0.0 ? Mf / mf_max : 0.0;
      Nm = std::max(dt_h / 6.0 * m.snow_nmf_cell[i] * R * (A - T), 0.0);
    } else if (rain_on_snow) {
      melt_rs = sigma * (std::pow(Ta + 273.15, 4) - freezing4) + P1 * 0.0125 * fr * Tp;
    } else {
      melt_nr = (Ta - m.snow_base_temp) * Mf + P1 * 0.0125 * fr * Tp;
    }
  }

  double hybrid_input = 0.0;
  if (k.mode.hybrid) {
    double melt = (Q - Hr) / m.snow_fusion_heat * dt_h / 100.0;
    if (rain_on_snow) {
      const double Tpos = T > 0.0 ? T : 0.0;
      const double extra = sigma * (L4 - freezing4) + P1 * 0.0125 * Tpos;
      if (extra > 0.0) melt += extra / 1000.0;
    }
    const double A = update_antecedent_index(m, c, T, P1, dt_h, false);
    Nm = std::max(dt_h / 6.0 * m.snow_nmf_cell[i] * (A - T), 0.0);
    if (melt < 0.0) melt = 0.0;
    hybrid_input = melt * 1000.0;
  }

  double melt = melt_eb;
  if (k.mode.accounting) {
    const double PL = m.snow_plwhc_cell[i];
    const double Dn = P1 > 0.0 && T <= 0.0 ? P1 * std::min(T, 0.0) / -40.0 : 0.0;
    m.Wi[i] = (1.0 - PL) * m.snow_swe[i];
    if (melt_rs > 0.0 && melt_nr > 0.0)
      std::printf("ERROR, Can't have melting form non-precip and precip functions\n\n");
    double W = 0.0;
    if (k.mode.temperature_index && !k.mode.hybrid) {
      W = fr * P1 + melt_nr + melt_rs;
    } else if (k.mode.temperature_index && k.mode.hybrid) {
      std::printf("ERROR, Can't have Temp Index AND Hybrid Snow Models at same time \n\n");
    } else {
      W = hybrid_input;
    }
    if (W < 0.0) W = 0.0;
    double D0 = m.D_2[i];
    m.D_2[i] = std::max(D0 + Dn + Nm, 0.0);
    if (m.snow_swe[i] < tiny) D0 = m.D_2[i] = 0.0;
    const double Cw = m.Wi[i] * PL;
    const double D = m.D_2[i];
    const double E = W + m.Wq[i] - Cw - D - D * PL;
    double X = 0.0;
    if (E >= 0.0) {
      m.Wq[i] = Cw;
      X = E;
      m.Wi[i] += D;
      D0 = m.D_2[i] = 0.0;
    } else if (W + m.Wq[i] - D > 0.0) {
      m.Wq[i] = W + m.Wq[i] - D;
      m.Wi[i] += D;
      D0 = m.D_2[i] = 0.0;
    } else {
      m.D_2[i] -= W;
      m.Wi[i] += W;
    }
    if (m.D_2[i] < 0.0) m.D_2[i] = 0.0;
    if (D0 < 0.0 || m.D_2[i] < 0.0) std::printf("\nThe Heat Deficit(s) are below 0, THIS IS A PROBLEM!!!\n");
    m.Wi[i] = std::max(m.Wi[i] - X - m.Wq[i], 0.0);
    melt = X / 1000.0;
  }

  const bool warm_enough = !k.mode.temperature_index || T + Te >= m.snow_base_temp;
  if (!(melt > tiny && warm_enough)) return 0.0;
  ++m.melt_occurred[i];
  melt = std::min(melt, m.snow_swe[i]);
  m.snow_swe[i] -= melt;
  if (m.snow_swe[i] <= tiny) m.Wq[i] = 0.0;
  return melt;
}

}  // namespace

bool snow_day_number(int month, int day, int& n) {
  static const int offset[13] = {0, 285, 316, 0, 10, 40, 71, 101, 132, 163, 193, 224, 254};
  if (month < 1 || month > 12) return false;
  if (month == 3)
    n = day >= 21 ? day - 21 : day + 344;
  else
    n = day + offset[month];
  return true;
}

double seasonal_melt_weight(int n) { return 0.5 * std::sin(2.0 * n * 3.14159265 / 366.0) + 0.5; }

void reset_snow_pack_params(model_state& m, int cell) {
  auto& p = m.snap_pluvo_params[size_t(cell)];
  p = {0.0, 0.0, 0.0, m.snowpack_const_1, m.snowpack_const_2, 0.0, 0.0, 0.07, double(m.snowpack_step_s),
       0.3, 0.077, 0.077};
}

int compute_snowmelt(model_state& m, double dt) {
  step_constants k{};
  k.dt = dt;
  k.dt_h = dt / 3600.0;
  k.mode = modes_of(m);
  if (!k.mode.energy_balance) k.sv = seasonal_melt_weight(day_number_or_ask(m.hmet_month, m.hmet_day));
  int snow_left = 0;
  for (int c = 1; c <= m.cell_count; ++c) {
    const size_t i = size_t(c);
    m.Wi[i] = 0.0;
    if (skipped_cell(m, c)) {
      m.Wq[i] = 0.0;
      continue;
    }
    const double melt = cell_melt(m, c, k);
    if (m.snap_snow_depth_on)
      layered_pack_depth(m, c);
    else
      compact_pack(m, c, melt, m.temper_gridded[i], dt);
    route_melt(m, c, melt);
    if (m.snow_swe[i] <= tiny) {
      m.Wi[i] = m.Wq[i] = m.snow_depth[i] = m.snow_density[i] = 0.0;
      reset_snow_pack_params(m, c);
    } else {
      snow_left = 1;
    }
    m.H_Val[i] = 0.0;
  }
  return snow_left;
}

void long_term_snow_step(model_state& m) {
  if (!m.long_term_on || !(std::fabs(m.snow_next_time - m.cur_julian) < m.time_tolerance)) return;
  const double dt = (m.cur_julian - m.snow_last_time) * 86400.0;
  m.snow_hours_accumulated += dt / 3600.0;
  bool due = m.eb_snow_on == 1;
  if (!due && m.snow_hours_accumulated > 0.999861111) {
    due = true;
    m.snow_hours_accumulated = 0.0;
  }
  if (m.snow_present == 1 && due) {
    m.melt_occurring = 0;
    const int canopy_snow = m.snow_canopy_intercept_on == 1 ? snow_canopy_interception(m, dt) : 0;
    // Snow on a canopy keeps the snow step going as snow on the ground does.
    m.snow_present = compute_snowmelt(m, dt) | canopy_snow;
    if (m.melt_occurring == 1 && m.melt_stepping_on == 0) {
      m.melt_stepping_on = 1;
      m.melt_step_next_time = m.cur_julian;
      m.melt_step_last_time = m.cur_julian - m.melt_step_interval;
    }
    if (m.melt_stepping_on == 1 && m.melt_occurring == 0) {
      m.melt_stepping_on = 0;
      m.melt_step_next_time = m.precip_next_time;
    }
  }
  const int n = m.cell_count;
  if (m.eb_snow_on == 0 && due)
    for (int c = 1; c <= n; ++c) {
      auto& w = m.SNOW_PRECIP_6HR[size_t(c)];
      for (int e = 6; e >= 2; --e) w[size_t(e)] = w[size_t(e) - 1];
      w[1] = 0.0;
    }
  if (m.snow_no_infiltrate_on == 1)
    for (int c = 1; c <= n; ++c) {
      const size_t i = size_t(c);
      const bool in_lake = (m.overland_lakes_on && m.oland_lake_new[i] > 0) || (m.lakes_on && m.lake_mask[i] > 0);
      m.snow_no_infil_cell[i] = !in_lake && m.snow_swe[i] > tiny ? 1 : 0;
    }
  m.snow_last_time = m.cur_julian;
  m.snow_next_time = m.cur_julian + m.snow_interval;
}

}  // namespace pluvo
