// Soil-moisture accounting: the phase and its two per-cell routines. Cells are visited in order
// and their sums are plain accumulations, so results are the same on any thread count.
#include "soil/soil_moisture.hpp"

#include <cmath>
#include <cstdio>
#include <vector>

#include "record/model_state.hpp"
#include "soil/hydraulic_functions.hpp"
#include "soil/soil_phases.hpp"
#include "soil/soil_services.hpp"
#include "soil/soil_temperature.hpp"

namespace pluvo {

namespace {

// One store of a column: thickness (cm) and its water contents.
struct store {
  double t = 0.0, phi = 0.0, thr = 0.0, fc = 0.0, wp = 0.0;
};

struct column {
  store top, low;
  bool two = false;
  double Dn = 0.0;  // nominal depth of the column, cm
};

store store_of(double t, double phi, double thr, double fc, double wp) { return {t, phi, thr, fc, wp}; }

// Field capacity and wilting point come with the Green and Ampt table only; without it they are 0.
double value_or_zero(const std::vector<double>& v, int i) { return v.size() > size_t(i) ? v[i] : 0.0; }

bool skipped(const model_state& m, int i) {
  if (m.overland_lakes_on && m.oland_lake_new.size() > size_t(i) && m.oland_lake_new[i] > 0) return true;
  return m.lakes_on && m.lake_mask.size() > size_t(i) && m.lake_mask[i] > 0;
}

bool takes_evapotranspiration(const model_state& m, int i) {
  if (!m.long_term_on || m.cell_rain_rate[i] > 1e-16) return false;
  if (m.snow_present && m.snow_swe.size() > size_t(i) && m.snow_swe[i] >= 1e-16) return false;
  if (m.ov_boundary_on && m.boundary_type.size() > size_t(i)) {
    const int b = m.boundary_type[i];
    if (b == 2 || b == 3 || b == 9) return false;
  }
  return true;
}

// The share of the demand a store meets, at most 1.
double store_factor(const model_state& m, const store& s, double w) {
  double f;
  if (m.et_calc_deardorff_on) {
    f = w > s.t * s.thr ? w / (s.t * s.fc) : 0.0;
  } else {
    const double wp = s.t * s.wp, fc = s.t * s.fc;
    f = w >= fc ? 1.0 : (w > wp ? (w - wp) / (fc - wp) : 0.0);
  }
  return f < 1.0 ? f : 1.0;
}

struct uptake {
  double E1 = 0.0, E2 = 0.0, Eg = 0.0;
};

// Evapotranspiration of one cell over dt: ponded water first, then the stores and the water
// table. Adds what evaporates to the total (m).
uptake evapotranspire(model_state& m, int i, double dt, const column& c, double I, double& total) {
  uptake u;
  const double D = m.sm_depth_cell[i];
  const double P = dt * m.pot_et[i];
  double A = dt * m.pot_aet[i];
  const double W = m.ov_depth[i] * 100.0;
  if (W > 1e-14) {
    double E;
    if (P <= W) {
      m.ov_depth[i] -= P / 100.0;
      E = P;
      A = 0.0;  // the ponded water meets the whole demand
    } else {
      A = (dt - (W / P) * dt) * m.pot_aet[i];
      E = W;
      m.ov_depth[i] = 0.0;
    }
    if (m.ovr_flow_block_on && m.ovr_flow_block_value1.size() > size_t(i) && m.ovr_flow_block_value1[i] < 1.0)
      E *= 1.0 - m.ovr_flow_block_value1[i];
    // Held in cm, as every reader of the direct evaporation takes it.
    m.direct_evap_cell[i] += E;
    total += E / 100.0;
  }
  if (m.inf_layered_soil_on && std::isnan(m.ov_depth[i]))
    std::printf("A non-real number for water depth has been detected for overland cell %d in the soil moisture routine\n", i);
  if (!(A > 1e-16)) return u;
  double f1 = 1.0, f2 = 1.0;
  if (D >= 1e-16) {
    f1 = store_factor(m, c.top, m.sm_water_top[i]);
    f2 = c.two ? store_factor(m, c.low, m.sm_water_lower[i]) : 0.0;
    if (c.two) {
      f1 *= c.top.t / c.Dn;
      f2 *= c.low.t / c.Dn;
    }
  } else {
    f2 = 0.0;
  }
  u.E1 = A * f1;
  u.E2 = A * f2;
  double d = c.top.t * c.top.thr - (m.sm_water_top[i] - u.E1);
  if (d > 0.0 && d > I) u.E1 -= d - I;
  if (c.two) {
    d = c.low.t * c.low.thr - (m.sm_water_lower[i] - u.E2);
    if (d > 0.0) u.E2 -= d;
  }
  total += (u.E1 + u.E2) / 100.0;
  if (c.Dn - D > 1e-16 && u.E1 + u.E2 < A) {
    u.Eg = A - (u.E1 + u.E2);
    total += u.Eg / 100.0;
  }
  return u;
}

// Moves a store's water back within residual and saturation; the difference goes into the
// drainage that leaves it.
void clamp_store(const store& s, double& water, double& drainage) {
  const double theta = water / s.t;
  if (theta > s.phi) {
    drainage += (theta - s.phi) * s.t;
    water = s.t * s.phi;
  } else if (theta < s.thr) {
    drainage -= (s.thr - theta) * s.t;
    water = s.t * s.thr;
  }
}

void book_drainage(model_state& m, int i, double q1, double q2, double I) {
  m.unsat_downward_flux[i] += q2;
  m.unsat_recharge_depth[i] += q2;
  m.sm_bottom_drainage[i] += q2;
  m.sm_top_drainage[i] += q1;
  m.sm_infil_total += I / 100.0;
  m.sm_infil_depth[i] = 0.0;
}

void book_water_table_uptake(model_state& m, int i, double Eg) {
  m.unsat_downward_flux[i] -= Eg;
  m.unsat_recharge_depth[i] -= Eg;
  m.gw_et_depth_total += Eg / 100.0;
}

struct drainage {
  double q1 = 0.0, q2 = 0.0;
};

// Steps common to both schemes for one cell; drain(theta1, theta2, I) gives the drainage of
// the stores before their clamps.
template <class Drain>
void update_cell(model_state& m, int i, double dt, const column& c, Drain drain, double& total) {
  if (skipped(m, i)) return;
  const double I = m.sm_infil_depth[i] * 100.0;
  const uptake u = takes_evapotranspiration(m, i) ? evapotranspire(m, i, dt, c, I, total) : uptake{};
  const double Etot = u.E1 + u.E2 + u.Eg;
  if (m.yes_exfil[i] == 1 || m.sm_depth_cell[i] < 1e-16) {
    // No column: the water table supplies the demand and takes the infiltration.
    m.yes_exfil[i] = 1;
    book_water_table_uptake(m, i, Etot);
    book_drainage(m, i, I, I, I);
    return;
  }
  const double theta2 = c.two ? m.sm_water_lower[i] / c.low.t : 0.0;
  drainage q = drain(m.sm_water_top[i] / c.top.t, theta2, I);
  double top = I + m.sm_water_top[i] - q.q1 - u.E1;
  clamp_store(c.top, top, q.q1);
  m.sm_water_top[i] = top;
  m.sm_water_cell[i] = top;
  if (c.two) {
    double lower = q.q1 + m.sm_water_lower[i] - q.q2 - u.E2;
    clamp_store(c.low, lower, q.q2);
    m.sm_water_lower[i] = lower;
    m.sm_water_cell[i] += lower;
  } else {
    q.q2 = q.q1;
  }
  book_water_table_uptake(m, i, u.Eg);
  book_drainage(m, i, q.q1, q.q2, I);
}

double effective_saturation(double theta, const store& s) { return (theta - s.thr) / (s.phi - s.thr); }

double brooks_corey(double ks, double se, double lambda) { return ks * std::pow(se, 3.0 / lambda + 2.0); }

bool frozen_factor_on(const model_state& m) { return m.gtfsm_on && m.SE.size() == m.sm_depth_cell.size(); }

}  // namespace

double soil_moisture_routine(model_state& m, double dt) {
  double total = 0.0;
  const double T1 = m.top_layer_depth_cm;
  const bool frozen = frozen_factor_on(m);
  for (int i = 1; i <= m.cell_count; ++i) {
    const double D = m.sm_depth_cell[i];
    const store s = store_of(0.0, m.porosity_cell[i], m.residual_sat_cell[i], value_or_zero(m.field_capacity_cell, i),
                             value_or_zero(m.wilting_point_cell, i));
    column c;
    c.two = D > T1;
    c.top = s;
    c.top.t = c.two ? T1 : D;
    c.low = s;
    c.low.t = c.two ? D - T1 : 0.0;
    c.Dn = m.soil_moist_depth_cm;
    const double ks = m.ks_cell[i], lambda = m.pore_index_cell[i];
    auto drain = [&](double theta1, double theta2, double I) {
      drainage q;
      if (theta1 >= s.phi) {
        q.q1 = I;
      } else if (theta1 > s.fc) {
        double K = brooks_corey(ks, effective_saturation(theta1, s), lambda);
        if (frozen) K = bounded_power(K, m.SE[i]);
        q.q1 = K * dt * 100.0;
      }
      if (c.two) {
        if (theta2 >= s.phi)
          q.q2 = q.q1;
        else if (theta2 > s.fc)
          q.q2 = brooks_corey(ks, effective_saturation(theta2, s), lambda) * dt * 100.0;
      }
      return q;
    };
    update_cell(m, i, dt, c, drain, total);
  }
  return total;
}

double soil_moisture_routine_layered(model_state& m, double dt) {
  double total = 0.0;
  const bool columns = m.permafrost_gipl_flag || m.multi_layer_infil_gipl_flag;
  const bool frozen = !columns && frozen_factor_on(m);
  for (int i = 1; i <= m.cell_count; ++i) {
    const layered_soil_entry* soil = soil_class_of(m, i);
    if (!soil) continue;
    const double* v = soil->values;
    auto layer = [v](int L, double t) {
      return store_of(t, v[soil_col_porosity + L - 1], v[soil_col_residual + L - 1],
                      v[soil_col_field_capacity + L - 1], v[soil_col_wilting + L - 1]);
    };
    const double th1 = v[soil_col_thickness], th2 = v[soil_col_thickness + 1];
    const double D = m.sm_depth_cell[i];
    column c;
    c.two = D > th1;
    c.top = layer(1, c.two ? th1 : D);
    c.low = layer(2, c.two ? D - th1 : 0.0);
    c.Dn = th1 + th2;
    const bool three = D >= th1 + th2;
    const double ks1 = v[soil_col_conductivity], ks2 = v[soil_col_conductivity + 1],
                 ks3 = v[soil_col_conductivity + 2];
    const double l1 = v[soil_col_pore_index], l2 = v[soil_col_pore_index + 1], l3 = v[soil_col_pore_index + 2];
    // With soil-temperature columns each layer's term passes through its frozen-soil factor.
    auto layer_k = [&](int L, double K) { return columns ? frozen_soil_conductivity(m, i, L, K) : K; };
    auto drain = [&](double theta1, double theta2, double I) {
      drainage q;
      if (theta1 >= c.top.phi) {
        q.q1 = I;
      } else if (theta1 - c.top.fc >= 1e-16) {
        const double se = effective_saturation(theta1, c.top);
        double K = layer_k(1, brooks_corey(ks1, se, l1));
        if (frozen) K = bounded_power(K, m.SE[i]);
        if (c.two) K = std::sqrt(K * layer_k(2, brooks_corey(ks2, se, l2)));
        q.q1 = K * dt / 3600.0;
      }
      if (c.two) {
        if (theta2 >= c.low.phi) {
          q.q2 = q.q1;
        } else if (theta2 - c.low.fc >= 1e-16) {
          const double se = effective_saturation(theta2, c.low);
          double K = layer_k(2, brooks_corey(ks2, se, l2));
          if (three) K = std::sqrt(K * layer_k(3, brooks_corey(ks3, se, l3)));
          q.q2 = K * dt / 3600.0;
          if (q.q1 > q.q2) q.q1 = q.q2;
        }
      }
      return q;
    };
    update_cell(m, i, dt, c, drain, total);
  }
  return total;
}

void update_soil_moisture(model_state& m) {
  if (!m.soil_moisture_accounting_on || !(std::fabs(m.soil_moisture_next_time - m.cur_julian) < m.time_tolerance) ||
      m.snow_calibrate_on == 1)
    return;
  const double dt = (m.cur_julian - m.soil_moisture_last_time) * 86400.0;
  // The columns may step before the first storm has infiltrated anything.
  const size_t size = size_t(m.cell_count) + 1;
  for (auto* v : {&m.sm_infil_depth, &m.direct_evap_cell, &m.pot_et, &m.pot_aet, &m.unsat_recharge_depth,
                  &m.sm_top_drainage, &m.sm_bottom_drainage})
    if (v->size() != size) v->assign(size, 0.0);
  if (m.yes_exfil.size() != size) m.yes_exfil.assign(size, 0);
  if (m.inf_redist_on) m.soil_evap_depth = soil_moisture_routine(m, dt);
  if (m.inf_layered_soil_on) m.soil_evap_depth = soil_moisture_routine_layered(m, dt);
  m.evap_volume_total += m.cell_size * m.cell_size * m.soil_evap_depth;
  m.soil_moisture_last_time = m.cur_julian;
  m.soil_moisture_next_time = m.cur_julian + m.soil_moisture_interval;

  for (int i = 1; i <= m.cell_count; ++i) {
    const layered_soil_entry* soil = m.inf_layered_soil_on ? soil_class_of(m, i) : nullptr;
    double& theta = m.surface_moisture[i];
    if (m.sm_depth_cell[i] < 1e-16)
      theta = soil ? soil->values[soil_col_porosity] : m.porosity_cell[i];
    else if (m.inf_layered_soil_on)
      theta = soil ? m.sm_water_top[i] / soil->values[soil_col_thickness] : theta;
    else if (m.inf_redist_initialized == 1)
      theta = m.redist_theta[i];
    else
      theta = m.sm_water_top[i] / m.top_layer_depth_cm;
  }
}

}  // namespace pluvo
