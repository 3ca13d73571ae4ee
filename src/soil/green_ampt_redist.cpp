// Green and Ampt with redistribution: between bursts the wetting profile drains, and a burst
// on a draining profile starts a second profile above it.
#include <algorithm>
#include <array>
#include <cmath>

#include "common/error_state.hpp"
#include "common/parallel_team.hpp"
#include "record/model_state.hpp"
#include "soil/hydraulic_functions.hpp"
#include "soil/infiltration_methods.hpp"

namespace pluvo {

namespace {

constexpr double m_per_s_to_cm_per_h = 360000.0;

template <typename V>
bool holds(const V& v, int n) {
  return v.size() > size_t(n);
}

bool inputs_fit(const model_state& m) {
  const int n = m.cell_count;
  return holds(m.ov_depth, n) && holds(m.ks_cell, n) && holds(m.hc_cell, n) && holds(m.porosity_cell, n) &&
         holds(m.residual_sat_cell, n) && holds(m.pore_index_cell, n) && holds(m.initial_moisture_cell, n) &&
         holds(m.redist_theta, n) && holds(m.redist_depth, n) && holds(m.redist_surface_theta, n) &&
         holds(m.no_wat_prof, n) && holds(m.iter_pond_1, n) && holds(m.iter_n, n) && holds(m.iter_i_less_k, n);
}

// The soil of one cell: conductivity at a content and the capillary drive between the initial
// content and th0.
struct soil_curve {
  double k, psi, phi, thr, thi, a, b;
  double se(double th) const { return (th - thr) / (phi - thr); }
  double conductivity(double th) const { return k * std::pow(se(th), b); }
  double drive(double th0) const {
    const double si = std::pow(se(thi), a);
    if (!(se(thi) < 1.0)) return psi;
    return psi * (std::pow(se(th0), a) - si) / (1.0 - si);
  }
};

}  // namespace

void green_ampt_redist_parallel(model_state& m, double dt) {
  const int n = m.cell_count;
  if (!inputs_fit(m)) {
    stop_run("Green and Ampt infiltration with redistribution needs the conductivity, capillary head, porosity, "
             "residual moisture, pore distribution index and initial moisture of every cell.\n");
    return;
  }
  for (auto* v : {&m.infil_depth, &m.infil_rate})
    if (v->size() != size_t(n) + 1) v->assign(size_t(n) + 1, 0.0);
  const int step = m.infil_step_count;
  const double area = m.cell_size * m.cell_size;
  const bool overland_lakes = m.overland_lakes_on && holds(m.oland_lake_new, n);
  const bool lakes = m.lakes_on && holds(m.lake_mask, n);
  const bool reduce = m.area_reduction_on && holds(m.area_reduction_factor, n);
  const bool frozen = m.gtfsm_on && holds(m.SE, n);
  const bool exfil = holds(m.yes_exfil, n);
  const bool boundaries = m.ov_boundary_on && holds(m.boundary_type, n);
  const bool snow_sealed = m.long_term_on && m.snow_no_infiltrate_on && holds(m.snow_no_infil_cell, n);

  const std::array<double, 1> gain = parallel_cell_sums<1>(n, [&](int i) -> std::array<double, 1> {
    if (overland_lakes && m.oland_lake_new[i] > 0) return {0.0};
    if (snow_sealed && m.snow_no_infil_cell[i] == 1) {
      m.infil_rate[i] = 0.0;
      return {0.0};
    }
    if (lakes && m.lake_mask[i] > 0) return {0.0};
    const double phi = m.porosity_cell[i], thi = m.initial_moisture_cell[i];
    double& th0 = m.redist_theta[i];
    double& surface = m.redist_surface_theta[i];
    if (step < 2) {
      th0 = thi;
      surface = thi;
    }
    if (exfil && m.yes_exfil[i] == 1) {
      th0 = phi;
      return {0.0};
    }
    const double lambda = m.pore_index_cell[i];
    soil_curve s{m.ks_cell[i], m.hc_cell[i], phi, m.residual_sat_cell[i], thi, 1.0 / lambda + 3.0,
                 2.0 / lambda + 3.0};
    if (frozen) s.k = bounded_power(s.k, m.SE[i]);
    const double factor = reduce ? m.area_reduction_factor[i] : 1.0;
    const double ke = s.k * factor;
    const bool boundary = boundaries && (m.boundary_type[i] == 2 || m.boundary_type[i] == 3 || m.boundary_type[i] == 9);
    double& h = m.ov_depth[i];
    double& f_total = m.infil_depth[i];
    double& f1 = m.redist_depth[i];
    double& rate = m.infil_rate[i];
    int& profiles = m.no_wat_prof[i];
    int& pond = m.iter_pond_1[i];
    int& redistributed = m.iter_n[i];
    double booked = 0.0;
    // All the water present leaves the surface.
    const auto water_goes = [&] {
      if (boundary)
        booked += h * area;
      else
        h = 0.0;
    };
    const double supply = h / dt;

    if (m.iter_i_less_k[i] == step - 1 && ke >= supply) {  // the opening period
      rate = supply * m_per_s_to_cm_per_h;
      f_total += h;
      water_goes();
      m.iter_i_less_k[i] = step;
      surface = thi;
      return {booked};
    }
    if (ke <= supply) {  // capacity-limited or ponded
      double fw = f_total, dtheta = phi - thi;
      if (redistributed >= 1 && profiles != 1) {
        profiles = 1;
        const double old_front = (th0 > thi && f1 > 0.0) ? f1 / (th0 - thi) : 0.0;
        if (old_front > (f_total - f1) / std::max(phi - th0, 1e-20)) {
          profiles = 2;
          const double change =
              (-s.conductivity(thi) - s.conductivity(th0) - s.k * s.drive(th0) * (th0 - thi) / f1) * (th0 - thi) *
              dt / f1;
          th0 = std::clamp(th0 + change, thi, phi);
          fw = f_total - f1;
          dtheta = phi - th0;
        }
      }
      const double a = s.k * dt - 2.0 * fw;
      double f = (std::sqrt(a * a + 8.0 * s.k * dt * (fw + dtheta * s.psi)) + a) / (2.0 * dt) * factor;
      rate = f * m_per_s_to_cm_per_h;
      if (f >= supply) {  // the supply limits: the surface content rises toward saturation
        f = supply;
        rate = f * m_per_s_to_cm_per_h;
        if (pond == 0 && redistributed == 0) {
          if (f - s.k < 1e-6) {
            th0 += (phi - th0) * dt / 100000.0;
          } else {
            const double t = (phi - th0) * s.psi * s.k / ((f - s.k) * f);
            th0 = t != 0.0 ? th0 + (phi - th0) * dt / t : phi;
          }
          if (th0 > phi) {
            th0 = phi;
            pond = step;
          }
        }
        water_goes();
      } else {  // ponded
        if (boundary)
          booked += f * dt * area;
        else
          h -= f * dt;
        if (pond == 0) {
          pond = step;
          if (redistributed == 0) th0 = phi;
        }
      }
      f_total += f * dt;
      if (profiles == 1) th0 = phi;
      surface = profiles == 2 ? phi : th0;
      return {booked};
    }
    // The supply is below the conductivity: the profile redistributes.
    if (profiles == 1) {
      th0 = phi;
      profiles = 0;
    } else if (profiles == 2) {
      th0 = std::min(phi, ((th0 + phi - 2.0 * thi) * (f_total - f1) + (th0 - thi) * f1) / f_total + thi);
      profiles = 0;
    }
    if (f_total + h < 0.0) {
      f_total = 0.0;
      f1 = 0.0;
      water_goes();
      surface = thi;
      return {booked};
    }
    f_total += h;
    f1 = f_total;
    rate = supply * m_per_s_to_cm_per_h;
    if (th0 == thi || !(f_total > 0.0)) {
      redistributed = step;
      surface = th0;
      water_goes();
      return {booked};
    }
    const double change = (supply - s.conductivity(thi) - s.conductivity(th0) -
                           s.k * s.drive(th0) * (th0 - thi) / f_total) *
                          (th0 - thi) * dt / f_total;
    th0 = std::clamp(th0 + change, thi, phi);
    redistributed = step;
    surface = th0;
    water_goes();
    return {booked};
  });
  m.ov_head_bound_gain += gain[0];
}

}  // namespace pluvo
