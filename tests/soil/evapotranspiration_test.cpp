// One cell-hour of evapotranspiration against the routine's own formulas worked by hand, the
// ground's energy balance at night, snow, the frozen-ground factor and index, and 1 vs 8 threads.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "common/process.hpp"
#include "record/model_state.hpp"
#include "soil/evapotranspiration.hpp"

namespace {

using pluvo::model_state;

// A flat grid of n cells under the hour of 15 June 2020 at the given hour, 20 C, 900 mb, 50 %.
std::unique_ptr<model_state> hour_record(int n, int hour, double wind) {
  auto m = std::make_unique<model_state>();
  m->cell_count = n;
  const size_t s = size_t(n) + 1;
  for (auto* v : {&m->slope_x, &m->slope_y, &m->ov_depth, &m->snow_depth, &m->pot_et, &m->pot_aet,
                  &m->ground_temp, &m->ground_energy_residual})
    v->assign(s, 0.0);
  m->albedo_w_snow.assign(s, 0.2);
  m->veg.assign(s, 0.5);
  m->Kt.assign(s, 0.9);
  m->Rs.assign(s, 50.0);
  m->et_calc_penman_on = 1;
  m->site_latitude = 40.0;
  m->cur_year = 2020;
  m->cur_month = 6;
  m->cur_day = 15;
  m->cur_hour = hour;
  m->hmet_temperature = 20.0;
  m->hmet_pressure = 900.0;
  m->hmet_rh = 50.0;
  m->hmet_cloud_cover = 2.0;
  m->hmet_wind_speed = wind;
  m->hmet_direct_rad = 400.0;
  m->hmet_diffuse_rad = 100.0;
  m->hmet_records_read = 3;  // the first hour: the ground starts at the air temperature
  return m;
}

double es_kpa(double c) { return 0.6108 * std::exp(17.27 * c / (c + 237.3)); }

// The hour's sun worked by hand: day 167, hour angle, declination, altitude, air mass, azimuth.
struct sun_by_hand {
  double sin_alt, alt, air_mass, az;
};

sun_by_hand sun_at(int hour) {
  const double pi = 22.0 / 7.0;
  const int doy = 31 + 29 + 31 + 30 + 31 + 15;  // 2020 is a leap year
  const double H = (hour <= 12 ? 15.0 * (hour + 12) : 15.0 * (hour - 12)) * pi / 180.0;
  const double decl = 23.45 * pi / 180.0 * std::cos((172.0 - doy) * 2.0 * pi / 365.0);
  const double lat = 40.0 * pi / 180.0;
  sun_by_hand s;
  s.sin_alt = std::cos(lat) * std::cos(decl) * std::cos(H) + std::sin(lat) * std::sin(decl);
  s.alt = std::asin(s.sin_alt);
  const double deg = s.alt * 180.0 / pi;
  s.air_mass = deg > 0 ? 1.0 / (s.sin_alt + 0.15 * std::pow(deg + 3.885, -1.253)) : 0.0;
  s.az = std::asin(std::sin(H) * std::cos(decl) / std::cos(s.alt));
  return s;
}

// Net radiation, sensible heat and evaporation at ground temperature Tg (kW/m2, kg/m2/s).
struct surface_terms {
  double Rn, H, E;
};

surface_terms terms_at(double Tg, double Sn, double wind) {
  const double P = 90.0, Ta = 293.15, sigma = 5.67e-8, Ch = 0.0025, cp = 1.013;
  const double ea = es_kpa(20.0) * 0.5, u = wind > 0.0001 ? wind : 0.0001;
  const double rho = 3.486 * P / 295.0, qa = 0.622 * ea / (P - 0.378 * ea);
  const double L = (1.0 + 0.17 * 0.04) * (0.74 + 0.0049 * ea) * sigma * std::pow(Ta, 4);
  const double es = es_kpa(Tg - 273.15), qs = 0.622 * es / (P - 0.378 * es);
  return {(Sn + L - sigma * std::pow(Tg, 4)) / 1000.0, cp * rho * Ch * u * (Tg - Ta),
          qs > qa ? Ch * rho * u * (qs - qa) : 0.0};
}

// Rates of Penman-Monteith at the cell's solved ground temperature (cm/s).
void penman_by_hand(double Tg, double Sn, double wind, double rs, double& pet, double& aet) {
  const double lv = 1000.0 * (2.501 - 0.002361 * 20.0), P = 90.0, cp = 1.013;
  const double delta = 4098.0 * es_kpa(20.0) / (257.3 * 257.3);
  const double gamma = cp * P / (0.622 * lv);
  const double rho = 3.486 * P / 295.0;
  const surface_terms t = terms_at(Tg, Sn, wind);
  const double A = delta * (t.Rn - t.H / 3.0);
  if (wind <= 0.0001) {
    pet = aet = A / (delta + gamma) / (lv * 1000.0) * 100.0;
    return;
  }
  const double h = 0.5, z = h + 2.0 - 0.67 * h;
  const double ra = std::log(z / (0.0123 * h)) * std::log(z / (0.123 * h)) / (0.41 * 0.41 * wind);
  const double vpd = es_kpa(Tg - 273.15) - es_kpa(20.0) * 0.5;
  const double top = A + cp * rho * vpd / ra;
  pet = top / (delta + gamma) / (lv * 1000.0) * 100.0;
  aet = top / (delta + gamma * (1.0 + rs / ra)) / (lv * 1000.0) * 100.0;
}

double flat_noon_shortwave(int hour) {
  const sun_by_hand s = sun_at(hour);
  // Flat ground: cos i = sin(alt); the recorded beam is scaled by the air mass.
  return (100.0 + 0.9 * s.air_mass * 400.0 * s.sin_alt) * (1.0 - 0.2);
}

TEST(Evapotranspiration, PenmanMonteithOfOneCellHourMatchesTheFormulasByHand) {
  for (const double wind : {3.0, 0.0}) {
    auto m = hour_record(1, 12, wind);
    pluvo::evapo_trans(*m);
    const double Tg = m->ground_temp[1];
    const double Sn = flat_noon_shortwave(12);
    double pet = 0.0, aet = 0.0;
    penman_by_hand(Tg, Sn, wind, 1.0 * 50.0, pet, aet);  // canopy multiplier 1.0 at noon
    if (wind == 0.0) {
      // Still air barely carries heat away: the ground warms until the available energy is
      // small, a difference of large terms that the last Newton step still moves by a few %.
      EXPECT_NEAR(m->pot_et[1], pet, 0.05 * pet);
      EXPECT_EQ(m->pot_et[1], m->pot_aet[1]);  // the radiation term alone: no canopy resistance
      EXPECT_GT(Tg, 293.15 + 20.0);
    } else {
      EXPECT_NEAR(m->pot_et[1], pet, 1e-4 * pet);
      EXPECT_NEAR(m->pot_aet[1], aet, 1e-4 * aet);
      EXPECT_LT(m->pot_aet[1], m->pot_et[1]);
      EXPECT_GT(pet, 1e-6);
    }
  }
}

TEST(Evapotranspiration, AtNightTheGroundTemperatureClosesItsEnergyBalance) {
  auto m = hour_record(1, 0, 2.0);
  m->ground_temp[1] = 290.0;
  m->hmet_records_read = 10;  // a later hour: the ground starts from its last temperature
  pluvo::evapo_trans(*m);
  const double Tg = m->ground_temp[1];
  // Sn = 0: long-wave, latent, sensible and ground heat balance within the Newton tolerance.
  auto F = [](double T) {
    const surface_terms t = terms_at(T, 0.0, 2.0);
    return (1000.0 * (2.501 - 0.002361 * 20.0)) * t.E + t.H * 4.0 / 3.0 - t.Rn;
  };
  EXPECT_LT(F(Tg - 0.002) * F(Tg + 0.002), 0.0) << Tg;
  EXPECT_LT(Tg, 293.15);  // the clear night sky cools the ground below the air
  const surface_terms t = terms_at(Tg, 0.0, 2.0);
  EXPECT_NEAR(m->ground_energy_residual[1], t.Rn - (1000.0 * (2.501 - 0.002361 * 20.0)) * t.E - t.H, 1e-5);
}

TEST(Evapotranspiration, SnowCoveredCellHasNoRatesAndNoWarmGround) {
  auto m = hour_record(2, 12, 3.0);
  m->snow_depth[1] = 0.3;
  m->hmet_records_read = 10;
  m->ground_temp[1] = 280.0;
  m->ground_temp[2] = 280.0;
  pluvo::evapo_trans(*m);
  EXPECT_EQ(m->pot_et[1], 0.0);
  EXPECT_EQ(m->pot_aet[1], 0.0);
  EXPECT_EQ(m->ground_temp[1], 273.15);
  EXPECT_GT(m->pot_et[2], 0.0);
}

TEST(Evapotranspiration, UnfrozenWaterFactorRunsFromZeroToOne) {
  const double lambda = 0.3, psi_b = -0.2;
  const double mid = std::pow((268.15 - 273.15) * 334000.0 / 268.15 / (psi_b * 9.81), -1.0 / lambda);
  const struct {
    double T, factor;
  } cases[] = {{300.0, 1.0}, {273.15, 1.0}, {268.15, mid}, {263.15, 0.0}, {250.0, 0.0}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(pluvo::unfrozen_water_factor(c.T, lambda, psi_b), c.factor) << c.T;
  EXPECT_GT(mid, 0.0);
  EXPECT_LT(mid, 1.0);
}

TEST(Evapotranspiration, FrozenIndexFollowsItsRecurrenceAndSnowDampsIt) {
  auto m = hour_record(2, 3, 1.0);
  m->temper_gridded.assign(3, -10.0);
  m->snow_depth[2] = 0.1;  // 10 cm of snow on cell 2
  m->cfgi_k_value = 0.5;
  // A constant cold hour: Tm = -10, a = 0.99875 without snow, so cfgi(n) = 0.99875 cfgi(n-1) + 10/24.
  const double bare[] = {0.4166666666666667, 0.8328124999999999, 1.2484381510416667};
  const double damping = std::exp(-0.4 * 0.16 * 0.5 * 10.0);
  const double a = 0.99875 + 0.00125 * (1.0 - std::exp(-0.4 * 0.5 * 10.0));
  double snow = 0.0;
  for (double expected : bare) {
    pluvo::update_frozen_index_parallel(*m);
    snow = a * snow + damping * 10.0 / 24.0;
    EXPECT_NEAR(m->cfgi_cell[1], expected, 1e-12);
    EXPECT_NEAR(m->cfgi_cell[2], snow, 1e-12);
  }
  EXPECT_LT(m->cfgi_cell[2], m->cfgi_cell[1]);
  EXPECT_DOUBLE_EQ(m->daily_temp[1], -240.0);
}

TEST(Evapotranspiration, SameRatesOnOneAndEightThreads) {
  const int n = 128 * 128;
  std::vector<double> rates[2], ground[2];
  for (int t = 0; t < 2; ++t) {
    auto m = hour_record(n, 11, 2.5);
    for (int i = 1; i <= n; ++i) {
      m->slope_x[size_t(i)] = 0.001 * (i % 97) - 0.04;
      m->slope_y[size_t(i)] = 0.002 * (i % 31) - 0.03;
      m->ov_depth[size_t(i)] = (i % 7 == 0) ? 0.6 : 0.0;
    }
    const int threads = pluvo::thread_count;
    pluvo::set_thread_count(t == 0 ? 1 : 8);
    pluvo::evapo_trans(*m);
    pluvo::set_thread_count(threads);
    rates[t] = m->pot_aet;
    ground[t] = m->ground_temp;
  }
  EXPECT_EQ(rates[0], rates[1]);
  EXPECT_EQ(ground[0], ground[1]);
}

}  // namespace
