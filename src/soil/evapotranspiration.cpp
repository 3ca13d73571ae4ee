// The hourly soil step of a long-term run: evapotranspiration of every cell, the channel-lake
// evaporation, the frozen-ground index and factor, and the hour's watershed averages.
#include "soil/evapotranspiration.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "channel/channel_services.hpp"
#include "common/parallel_team.hpp"
#include "record/model_state.hpp"
#include "soil/seasonal_retention.hpp"
#include "soil/soil_phases.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

// The routine's own constants; its pi is 22/7 for every angle.
constexpr double et_pi = 22.0 / 7.0;
constexpr double solar_constant = 1353.0;  // W/m2
constexpr double stefan_boltzmann = 5.67e-8;
constexpr double bulk_transfer = 0.0025;   // Ch
constexpr double air_heat = 1.013;         // cp, kJ/(kg K)
constexpr double water_density = 1000.0;  // kg/m3
constexpr double vapour_gas_constant = 0.461;  // kJ/(kg K)
constexpr double von_karman = 0.41;
constexpr double cloud_transmission = 0.18 + 0.0853 * 0.4;
constexpr double water_albedo = 0.08;
constexpr double minimum_wind = 0.0001;  // m/s
constexpr int newton_limit = 1000;
constexpr int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
// The canopy resistance through the day, by hour 0..23.
constexpr double canopy_hour_factor[24] = {
    4.023803564, 3.837220945, 3.588557905, 3.210454452, 2.430375714, 1.617231413,
    1.196049428, 1.066950368, 1.014336754, 0.995198325, 0.976059896, 0.976059896,
    1.0,         1.052613613, 1.167444189, 1.354095078, 1.636506383, 2.043283344,
    2.660309947, 3.215256127, 3.507134242, 3.688915186, 3.818082516, 3.923343877};

// What a cell's hour has to report; the notes are printed after the parallel loop, in cell order.
enum cell_note : uint8_t {
  kt_zero = 1,
  kt_negative = 2,
  not_converging = 4,
  ra_negative = 8,
  ra_not_a_number = 16,
  pet_not_a_number = 32,
  aet_not_a_number = 64,
};

double saturation_vapour_kpa(double celsius) {
  return 0.6108 * std::exp(17.27 * celsius / (celsius + 237.3));
}

// The sun and the air of the hour, shared by every cell.
struct hour_terms {
  bool penman = false;
  double P = 0.0;        // kPa
  double Tc = 0.0, Ta = 0.0;
  double C = 0.0;        // cloud fraction
  double wind = 0.0;     // as recorded, m/s
  double u = 0.0;        // never below the minimum
  double direct = 0.0, diffuse = 0.0;
  bool sun_up = false;
  double sin_alt = 0.0, cos_alt = 0.0, azimuth = 0.0, air_mass = 0.0, tau = 0.0, orbit = 0.0;
  double es_a = 0.0, ea = 0.0, qa = 0.0, rho = 0.0, lv = 0.0, longwave = 0.0;
  double canopy_factor = 1.0;  // hourly multiplier x seasonal factor
};

int day_of_year(int year, int month, int day) {
  int doy = day;
  for (int k = 1; k < month && k <= 12; ++k) doy += month_days[k - 1];
  if (month > 2 && year % 4 == 0) doy += 1;
  return doy;
}

hour_terms terms_of_hour(const model_state& m) {
  hour_terms h;
  h.penman = m.et_calc_penman_on != 0;
  h.P = m.hmet_pressure * 0.1;
  h.Tc = m.hmet_temperature;
  h.Ta = h.Tc + 273.15;
  const double rh = m.hmet_rh / 100.0;
  h.C = m.hmet_cloud_cover / 10.0;
  if (h.C > 1.0) {
    std::printf("WARNING: Cloud cover > 1.0 in evapo_trans - possible problem with hmet file \n");
    h.C = 1.0;
  }
  h.wind = m.hmet_wind_speed;
  h.u = h.wind > minimum_wind ? h.wind : minimum_wind;
  h.direct = m.hmet_direct_rad;
  h.diffuse = m.hmet_diffuse_rad;

  const int doy = day_of_year(m.cur_year, m.cur_month, m.cur_day);
  const int hour = m.cur_hour;
  const double fs = seasonal_factor(m.cur_month, m.seasonal_rs_on, m.site_latitude, m.rs_spring_month,
                                    m.rs_fall_month, m.rs_summer_start_month, m.rs_summer_end_month);
  h.canopy_factor = canopy_hour_factor[(hour % 24 + 24) % 24] * fs;

  const double hour_deg = hour <= 12 ? 15.0 * (hour + 12) : 15.0 * (hour - 12);
  const double H = hour_deg * et_pi / 180.0;
  const double decl = (23.45 * et_pi / 180.0) * std::cos((172.0 - doy) * 2.0 * et_pi / 365.0);
  const double lat = m.site_latitude * et_pi / 180.0;
  h.sin_alt = std::cos(lat) * std::cos(decl) * std::cos(H) + std::sin(lat) * std::sin(decl);
  const double alt = std::asin(h.sin_alt);
  const double alt_deg = alt * 180.0 / et_pi;
  h.cos_alt = std::cos(alt);
  h.sun_up = alt_deg > 0.0;
  if (h.sun_up) {
    h.air_mass = 1.0 / (h.sin_alt + 0.15 * std::pow(alt_deg + 3.885, -1.253));
    h.tau = 0.128 - 0.054 * std::log10(h.air_mass);
  }
  h.azimuth = std::asin(std::sin(H) * std::cos(decl) / h.cos_alt);
  const double G = (doy - 1) * 2.0 * et_pi / 365.0;
  h.orbit = 1.00011 + 0.034221 * std::cos(G) + 0.00128 * std::sin(G) + 0.000719 * std::cos(2.0 * G) +
            0.000077 * std::sin(2.0 * G);

  h.es_a = saturation_vapour_kpa(h.Tc);
  h.ea = h.es_a * rh;
  h.longwave = (1.0 + 0.17 * h.C * h.C) * (0.74 + 0.0049 * h.ea) * stefan_boltzmann * std::pow(h.Ta, 4);
  h.qa = 0.622 * h.ea / (h.P - 0.378 * h.ea);
  h.rho = 3.486 * h.P / (275.0 + h.Tc);
  h.lv = 1000.0 * (2.501 - 0.002361 * h.Tc);
  return h;
}

double aerodynamic_resistance(double height, double u) {
  const double z = height + 2.0 - 0.67 * height;
  return std::log(z / (0.0123 * height)) * std::log(z / (0.123 * height)) / (von_karman * von_karman * u);
}

// Net short-wave radiation on the cell's slope, W/m2.
double net_shortwave(const hour_terms& h, double slope_x, double slope_y, double kt, double albedo) {
  if (!h.sun_up) return 0.0;
  const double sx = slope_x, sy = -slope_y;
  const double beta = std::atan(std::sqrt(sx * sx + sy * sy));
  const double aspect = sx == 0.0 ? 0.0 : et_pi / 2.0 - std::atan(sy / sx);
  const double cos_i = std::cos(h.azimuth - aspect) * std::sin(beta) * h.cos_alt + std::cos(beta) * h.sin_alt;
  const double beam = h.direct >= 9999.0
                          ? solar_constant * h.orbit * cos_i * std::exp(-2.0 * h.tau * h.air_mass) *
                                (1.0 - (1.0 - cloud_transmission) * h.C)
                          : h.air_mass * h.direct * cos_i;
  const double c = std::cos(beta / 2.0);
  return (c * c * h.diffuse + std::fmax(0.0, kt * beam)) * (1.0 - albedo);
}

// The ground's energy balance at the last Newton iterate.
struct ground_balance {
  double Tg = 0.0;
  double es = 0.0;       // kPa at the last iterate
  double E = 0.0;        // kg/m2/s
  double H = 0.0, Rn = 0.0;  // kW/m2
  double residual = 0.0;
  bool converged = true;
};

ground_balance solve_ground_temperature(const hour_terms& h, double start, double Sn) {
  ground_balance g;
  double Tg = start;
  const double Ch = bulk_transfer, cp = air_heat, rho = h.rho, lv = h.lv, u = h.u, P = h.P;
  for (int iteration = 1;; ++iteration) {
    const double es = saturation_vapour_kpa(Tg - 273.15);
    const double qs = 0.622 * es / (P - 0.378 * es);
    const double E = qs > h.qa ? Ch * rho * u * (qs - h.qa) : 0.0;
    const double LE = lv * E;
    const double H = cp * rho * Ch * u * (Tg - h.Ta);
    const double Rn = (Sn + h.longwave - stefan_boltzmann * std::pow(Tg, 4)) / 1000.0;
    g.es = es;
    g.E = E;
    g.H = H;
    g.Rn = Rn;
    g.residual = Rn - LE - H;
    const double F = LE + H + H / 3.0 - Rn;
    const double dF = lv / (Tg * Tg * vapour_gas_constant) * P / (P - 0.378 * es) * qs * (Ch * rho * lv * u) +
                      4.0 * stefan_boltzmann * std::pow(Tg, 3) / 1000.0 + cp * rho * Ch * u +
                      (rho / 3.0) * cp * Ch * u;
    const double next = Tg - F / dF;
    const double change = std::fabs(next - Tg);
    Tg = next;
    if (change <= 0.001) break;
    if (iteration >= newton_limit) {
      g.converged = false;
      if (change > 0.002) Tg = start;
      break;
    }
  }
  g.Tg = Tg;
  return g;
}

uint8_t evapotranspire_cell(model_state& m, const hour_terms& h, int i) {
  uint8_t notes = 0;
  if (m.snow_depth.size() > size_t(i) && m.snow_depth[i] > 1e-16) {
    m.pot_et[i] = 0.0;
    m.pot_aet[i] = 0.0;
    if (m.ground_temp[i] > 273.15) m.ground_temp[i] = 273.15;
    return 0;
  }
  const double depth = m.ov_depth[i];
  double albedo = m.albedo_w_snow.size() > size_t(i) ? m.albedo_w_snow[i] : 0.0;
  if (h.penman ? depth >= m.veg[i] : depth >= 0.001) albedo = water_albedo;
  double kt = 1.0;
  if (h.penman) {
    kt = m.Kt[i];
    if (kt < 1e-16) notes |= kt_zero;
    if (kt < -1e-16) {
      notes |= kt_negative;
      kt = 1.0;
    }
  }
  const double Sn = net_shortwave(h, m.slope_x[i], m.slope_y[i], kt, albedo);
  const ground_balance g = solve_ground_temperature(h, m.ground_temp[i], Sn);
  if (!g.converged) notes |= not_converging;
  m.ground_temp[i] = g.Tg;
  m.ground_energy_residual[i] = g.residual;

  double pet = 0.0, aet = 0.0;  // m/s
  if (h.penman) {
    const double delta = 4098.0 * h.es_a / ((h.Tc + 237.3) * (h.Tc + 237.3));
    const double vpd = g.es - h.ea;
    const double gamma = 1.6286173633440513 * h.P / h.lv;
    const double available = delta * (g.Rn - g.H / 3.0);
    const double to_metres = h.lv * water_density;
    if (h.wind > minimum_wind) {
      if (m.veg[i] < 0.001) m.veg[i] = 0.001;
      const double ra = aerodynamic_resistance(m.veg[i], h.u);
      if (ra < 0.0) notes |= ra_negative;
      if (std::isnan(ra)) notes |= ra_not_a_number;
      const double rs = h.canopy_factor * m.Rs[i];
      const double numerator = available + air_heat * h.rho * vpd / ra;
      aet = numerator / (delta + gamma * (1.0 + rs / ra)) / to_metres;
      pet = numerator / (delta + gamma) / to_metres;
    } else {
      aet = pet = available / (delta + gamma) / to_metres;
    }
  } else {
    aet = pet = g.E / water_density;
  }
  double& pot_et = m.pot_et[i];
  double& pot_aet = m.pot_aet[i];
  pot_et = pet * 100.0;
  pot_aet = aet * 100.0;
  if (m.area_reduction_on && m.area_reduction_factor.size() > size_t(i)) pot_aet *= m.area_reduction_factor[i];
  if (pot_et < 0.0) pot_et = 0.0;
  if (std::isnan(pot_et)) notes |= pet_not_a_number;
  if (std::isnan(pot_aet)) notes |= aet_not_a_number;
  if (pot_aet < 0.0) pot_aet = 0.0;
  return notes;
}

void print_cell_notes(const model_state& m, const hour_terms& h, int i, uint8_t notes) {
  if (notes & kt_zero) std::printf("You have a vegetation transmission coefficient of 0.0 in cell %d \n", i);
  if (notes & kt_negative) {
    std::printf("Your vegetation transmission coefficient for cell %d is less than zero, this is not allowed \n", i);
    std::printf("PLUVO will set the value to 1.0.  Check your evapotranspiration inputs \n");
  }
  if (notes & not_converging) {
    std::printf("Ground temperature not converging in cell %d, check your hydrometeorological inputs \n", i);
    std::printf("P= %4.0lf KPa T= %4.0lf K rh= %4.3lf v= %4.2lf m/s cloud cover= %4.3lf direct= %6.0lf "
                "W/m^2 diffuse= %6.0lf W/m^2 \n",
                h.P, h.Ta, m.hmet_rh / 100.0, h.u, h.C, h.direct, h.diffuse);
  }
  if (notes & ra_negative) std::printf("%d %lf %lf\n", i, aerodynamic_resistance(m.veg[i], h.u), h.u);
  if (notes & ra_not_a_number) std::printf("Ra is not a number in evapo-trans \n");
  if (notes & pet_not_a_number) std::printf("A non-real number for PET has been detected for overland cell %d \n", i);
  if (notes & aet_not_a_number) std::printf("A non-real number AET has been detected for overland cell %d \n", i);
}

void update_frozen_index_body(model_state& m, int i) {
  std::array<double, 25>& hours = m.temp_hr[i];
  double& sum = m.daily_temp[i];
  sum -= hours[24];
  for (int k = 24; k > 1; --k) hours[size_t(k)] = hours[size_t(k) - 1];
  hours[1] = m.temper_gridded[i];
  sum += hours[1];
  const double Tm = sum / 24.0;
  if (in_lake(m, i)) {
    m.cfgi_cell[i] = 0.0;
    return;
  }
  const double D = (m.snow_depth.size() > size_t(i) ? m.snow_depth[i] : 0.0) * 100.0;
  const double K = m.cfgi_k_value;
  const double Kd = Tm < 0.0 ? 0.16 * K : K;
  const double a = 0.99875 + 0.00125 * (1.0 - std::exp(-0.4 * K * D));
  double index = a * m.cfgi_cell[i] - std::exp(-0.4 * Kd * D) * Tm / 24.0;
  m.cfgi_cell[i] = index < 0.0 ? 0.0 : index;
}

void start_frozen_index_memory(model_state& m) {
  const int n = m.cell_count;
  if (m.temp_hr.size() == size_t(n) + 1) return;
  m.temp_hr.assign(size_t(n) + 1, std::array<double, 25>{});
  m.daily_temp.assign(size_t(n) + 1, 0.0);
  for (int i = 1; i <= n; ++i) {
    for (int k = 1; k <= 24; ++k) m.temp_hr[i][size_t(k)] = m.temper_gridded[i];
    double sum = 0.0;
    for (int k = 1; k <= 24; ++k) sum += m.temp_hr[i][size_t(k)];
    m.daily_temp[i] = sum;
  }
}

void update_frozen_ground_factor(model_state& m) {
  const int n = m.cell_count;
  if (m.SE.size() != size_t(n) + 1) m.SE.assign(size_t(n) + 1, 1.0);
  if (m.inf_richards_on) {
    // The top node's retention curve: its bubbling head is kept in cm.
    for (int i = 1; i <= n; ++i) {
      if (in_lake(m, i) || m.numcells[size_t(i)] < 2) continue;
      m.SE[i] = unfrozen_water_factor(m.ground_temp[i], m.LAM[i][1], m.BP[i][1] / 100.0);
    }
  } else if (m.inf_layered_soil_on) {
    for (int i = 1; i <= n; ++i) {
      const layered_soil_entry* soil = soil_class_of(m, i);
      if (!soil) continue;
      const double psi_b = soil->values[soil_col_capillary] / -0.7 / 100.0;
      m.SE[i] = unfrozen_water_factor(m.ground_temp[i], soil->values[soil_col_pore_index], psi_b);
    }
  } else if (m.soil_moisture_accounting_on) {
    for (int i = 1; i <= n; ++i)
      m.SE[i] = unfrozen_water_factor(m.ground_temp[i], m.pore_index_cell[i], m.hc_cell[i] / -0.7);
  }
}

// The hour's averages over the cells in no lake, in cell order.
void average_the_hour(model_state& m, double& avg_pet, double& avg_cfgi, double& avg_air,
                      double& avg_ground, double& theta_top, double& theta_lower) {
  const int n = m.cell_count;
  double infil = 0.0, flux = 0.0, moisture = 0.0, pet = 0.0, cfgi = 0.0, air = 0.0, ground = 0.0;
  double top = 0.0, lower = 0.0;
  int counted = 0, top_count = 0, lower_count = 0;
  const bool accounting = m.soil_moisture_accounting_on != 0;
  for (int i = 1; i <= n; ++i) {
    if (in_lake(m, i)) continue;
    ++counted;
    infil += m.infil_rate[i];
    flux += m.unsat_downward_flux[i];
    // The Richards column's surface water is its top node's.
    if (m.inf_richards_on && m.numcells[size_t(i)] > 1) {
      m.surface_moisture[i] = m.THETA[i][1];
      if (std::isnan(m.surface_moisture[i])) std::printf("Theta_all for cell %d is not a number \n", i);
    }
    moisture += m.surface_moisture[i];
    pet += m.pot_et[i] * 3600.0;
    if (!m.cfgi_cell.empty()) cfgi += m.cfgi_cell[i];
    air += m.temper_gridded[i];
    ground += m.ground_temp[i] - 273.15;
    if (!accounting) continue;
    if (m.inf_layered_soil_on) {
      const layered_soil_entry* soil = soil_class_of(m, i);
      m.top_layer_depth_cm = soil ? soil->values[soil_col_thickness] : 0.0;
    }
    const double t1 = m.top_layer_depth_cm;
    const double D = m.sm_depth_cell[i];
    if (D > t1) {
      top += m.sm_water_top[i] / t1;
      ++top_count;
      lower += m.sm_water_lower[i] / (D - t1);
      ++lower_count;
    } else if (D > 1e-16) {
      top += m.sm_water_top[i] / D;
      ++top_count;
    }
  }
  const double c = counted > 0 ? double(counted) : 0.0;
  auto mean = [c](double s) { return c > 0.0 ? s / c : 0.0; };
  m.avg_infil_rate = mean(infil);
  m.avg_unsat_flux = mean(flux);
  m.avg_surface_moisture = mean(moisture);
  avg_pet = mean(pet);
  avg_cfgi = mean(cfgi);
  avg_air = mean(air);
  avg_ground = mean(ground);
  theta_top = top_count > 0 ? top / top_count : 999.99;
  theta_lower = lower_count > 0 ? lower / lower_count : 999.99;
  const double area = m.cell_size * m.cell_size;
  m.aet_avg = c > 0.0 ? (m.evap_volume_total - m.evap_volume_at_last_hour) / (area * c) * 100.0 : 0.0;
  m.evap_volume_at_last_hour = m.evap_volume_total;
}

void report_the_hour(model_state& m) {
  const bool console = !m.super_quiet_on && m.silent_mode != 1;
  if (!(m.inf_richards_on || m.soil_moisture_accounting_on)) {
    if (!console) return;
    std::printf("longterm %d/%d/%d  %2d:00 Avg. Soil Moisture: %7.2lf  \n", m.cur_year, m.cur_month,
                m.cur_day, m.cur_hour, m.avg_surface_moisture);
    if (m.flush_buffer_on && ++m.longterm_line_count >= m.flush_buffer_lines) {
      std::fflush(stdout);
      m.longterm_line_count = 0;
    }
    return;
  }
  double pet = 0.0, cfgi = 0.0, air = 0.0, ground = 0.0, top = 0.0, lower = 0.0;
  average_the_hour(m, pet, cfgi, air, ground, top, lower);
  if (console)
    std::printf("%d/%d/%d %2d:00 PET cm/h %6.4lf AET cm/h %6.4lf Infil cm/h %6.4lf Theta %5.2lf \n",
                m.cur_year, m.cur_month, m.cur_day, m.cur_hour, pet, m.aet_avg, m.avg_infil_rate,
                m.avg_surface_moisture);
  if (!m.evap_out_fp.is_open()) return;
  std::FILE* f = m.evap_out_fp.stream;
  std::fprintf(f, "%d/%d/%d  %2d:00 %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf",
               m.cur_year, m.cur_month, m.cur_day, m.cur_hour, m.avg_surface_moisture, pet, m.aet_avg,
               m.avg_infil_rate, m.avg_unsat_flux, cfgi, m.hmet_temperature, air, ground);
  if (m.soil_moisture_accounting_on) std::fprintf(f, "%12.6lf   %12.6lf", top, lower);
  std::fputc('\n', f);
}

}  // namespace

double unfrozen_water_factor(double T, double lambda, double psi_b) {
  if (T >= 273.15) return 1.0;
  if (T <= 263.15) return 0.0;
  return std::pow((T - 273.15) * 334000.0 / T / (psi_b * 9.81), -1.0 / lambda);
}

void evapo_trans_body(model_state& m) {
  const double start = m.hmet_temperature + 273.15;
  double* ground = m.ground_temp.data();
  parallel_for_cells(m.cell_count, [=](int i) { ground[i] = start; });
}

double evapo_trans(model_state& m) {
  const int n = m.cell_count;
  for (auto* v : {&m.pot_et, &m.pot_aet, &m.ground_temp, &m.ground_energy_residual})
    if (v->size() != size_t(n) + 1) v->assign(size_t(n) + 1, 0.0);
  if (m.hmet_records_read == 3) evapo_trans_body(m);
  const hour_terms h = terms_of_hour(m);
  std::vector<uint8_t> notes(size_t(n) + 1, 0);
  uint8_t* note = notes.data();
  parallel_for_cells(n, [&m, &h, note](int i) { note[i] = evapotranspire_cell(m, h, i); });
  for (int i = 1; i <= n; ++i)
    if (note[i]) print_cell_notes(m, h, i, note[i]);
  return m.hmet_temperature;
}

void update_frozen_index_parallel(model_state& m) {
  start_frozen_index_memory(m);
  if (m.cfgi_cell.size() != size_t(m.cell_count) + 1) m.cfgi_cell.assign(size_t(m.cell_count) + 1, 0.0);
  parallel_for_cells(m.cell_count, [&m](int i) { update_frozen_index_body(m, i); });
}

void hourly_et_and_soil_moisture(model_state& m) {
  if (!m.long_term_on || !(std::fabs(m.et_next_time - m.cur_julian) < m.time_tolerance) ||
      m.snow_calibrate_on == 1)
    return;
  m.hmet_temperature = evapo_trans(m);
  if (m.lakes_on) compute_lake_evaporation(m, m.hmet_wind_speed, m.hmet_temperature, m.hmet_rh);
  if (m.cfgi_on) update_frozen_index_parallel(m);
  if (m.gtfsm_on) update_frozen_ground_factor(m);
  report_the_hour(m);
  m.et_last_time = m.cur_julian;
  m.et_next_time = m.cur_julian + m.et_interval;
}

bool in_lake(const model_state& m, int i) {
  if (m.overland_lakes_on && m.oland_lake_new.size() > size_t(i) && m.oland_lake_new[i] > 0) return true;
  return m.lakes_on && m.lake_mask.size() > size_t(i) && m.lake_mask[i] > 0;
}

}  // namespace pluvo
