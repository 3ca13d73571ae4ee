// Snow on forest canopies: the canopy holds part of each snowfall, loses some of it to the air by
// sublimation and drops the rest onto the pack when the air is above freezing.
#include <algorithm>
#include <cmath>

#include "hydromet/snow_model.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;

// Sublimation (m) from a load L (m) in the step: one ice sphere of radius 0.0005 m stands for
// the intercepted snow.
double canopy_sublimation(const model_state& m, size_t i, double L, double lai, double imax, double dt) {
  const double h = i < m.veg.size() ? m.veg[i] : 0.0;
  // The wind is taken at 0.6 of the vegetation height: without vegetation there is none.
  if (!(h > 0.0) || !(imax > 0.0)) return 0.0;
  const double Tk = m.temper_gridded[i] + 273.15;
  const double u = std::exp(-0.9 * lai * (1.0 - 0.6 * h / h)) * m.vel_gridded[i];
  const double Re = u * 0.001 / 1.3e-5;
  const double Sh = 1.79 + 0.606 * std::sqrt(Re);
  const double a = 2.832e6 * 18.01 / (Tk * 8313.0);
  const double b = 1.0 / (Tk * 0.024 * Sh);
  const double albedo = i < m.albedo_w_snow.size() ? m.albedo_w_snow[i] : 0.0;
  const double Q = (1.0 - albedo) * 7.853975e-7 * m.inc_solar_rad[i];
  const double rhov = std::exp(22.452 * (Tk - 273.16) / (Tk - 0.61)) * 611.15 * 0.622 / (Tk * 287.0);
  const double Dv = 2.06e-5 * std::pow(Tk / 273.0, 1.75);
  const double dm = (0.00314159 * (m.rh_gridded[i] / 100.0 - 1.0) - Q * (a - 1.0) * b) /
                    (1.0 / (rhov * Dv * Sh) + (a - 1.0) * b * 2.832e6);
  const double Vs = dm / (0.0005 * 0.0005 * 0.0005 * 3839.860737333333);
  const double Ce = 0.01 * std::pow(1000.0 * L / imax, -0.4) * 1000.0 * L;
  return -Vs * Ce * dt / 1000.0;
}

}  // namespace

void canopy_season_weights(int month, double& leaf_off, double& leaf_on) {
  leaf_off = leaf_on = 0.0;
  if (month == 1 || month == 2 || month == 3 || month == 11 || month == 12)
    leaf_off = 1.0;
  else if (month == 4 || month == 10)
    leaf_off = leaf_on = 0.5;
  else if (month >= 5 && month <= 9)
    leaf_on = 1.0;
}

int snow_canopy_interception(model_state& m, double dt) {
  double leaf_off = 0.0, leaf_on = 0.0;
  canopy_season_weights(m.cur_month, leaf_off, leaf_on);
  const double area = m.cell_size * m.cell_size;
  bool canopy_snow_left = false;
  for (int c = 1; c <= m.cell_count; ++c) {
    const size_t i = size_t(c);
    m.canopy_snow_sublimation[i] = 0.0;
    m.canopy_snow_unload[i] = 0.0;
    if (!(m.snow_canopy_value1[i] >= tiny && m.snow_canopy_value2[i] >= tiny)) continue;
    double& load = m.canopy_snow_load[i];
    if (m.H_Val[i] <= tiny && load <= tiny) continue;
    const double lai = leaf_off * m.snow_canopy_value3[i] + leaf_on * m.snow_canopy_value2[i];
    const double imax = 4.4 * lai;  // mm
    const double Pn = m.H_Val[i];
    if (Pn > tiny && m.snow_px_temp >= m.temper_gridded[i] && imax > 0.0) {
      // Only the step's new interception leaves the pack the rainfall put the snowfall on; what
      // the canopy held already stays there.
      const double held = load * 1000.0;
      const double I = std::clamp(held + 0.7 * (imax - held) * (1.0 - std::exp(-Pn / imax)), 0.0, imax);
      const double caught = std::max(std::min(I - held, Pn), 0.0);
      load = (held + caught) / 1000.0;
      m.H_Val[i] = Pn - caught;
      m.snow_swe[i] -= caught / 1000.0;
    }
    if (load > tiny) {
      const double S = canopy_sublimation(m, i, load, lai, imax, dt);
      if (S > tiny) {
        const double lost = std::min(S, load);
        load -= lost;
        m.canopy_sublimation_total += lost * area;
        m.canopy_snow_sublimation[i] = lost;
      }
      const double Tk = m.temper_gridded[i] + 273.15;
      if (Tk > 273.16) {
        const double dropped = std::min(5.8e-5 * (Tk - 273.16) * dt / 1000.0, load);
        load -= dropped;
        m.snow_swe[i] += dropped;
        m.canopy_snow_unload[i] = dropped;
      }
    }
    if (load > tiny) canopy_snow_left = true;
  }
  if (canopy_snow_left) m.snow_present = 1;
  return canopy_snow_left ? 1 : 0;
}

}  // namespace pluvo
