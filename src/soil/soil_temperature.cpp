// Soil-temperature columns of frozen ground: fully implicit heat conduction with freezing and
// thawing, the air or the snow cover above and a fixed geothermal gradient below.
#include "soil/soil_temperature.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "common/checked_file.hpp"
#include "common/console.hpp"
#include "common/parallel_team.hpp"
#include "record/model_state.hpp"
#include "soil/soil_phases.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

constexpr double half_width = 0.08;          // deg C either side of T* over which the soil freezes
constexpr double latent_heat = 1.671e8;      // J/m3 of ice melted per unit of water content / 0.08
constexpr double bottom_gradient = 0.015;    // deg C per m, warming downward
constexpr double snow_surface_resistance = 0.06605019815059444;
constexpr int profile_iterations = 7;
constexpr double profile_tolerance = 1e-6;
constexpr int shown_cell = 45;
constexpr int shown_steps[] = {1349, 3034, 5056, 7078};

bool gipl_on(const model_state& m) { return m.permafrost_gipl_flag == 1 || m.multi_layer_infil_gipl_flag == 1; }

int node_count(const gipl_soil_table& g, int type) {
  return type >= 1 && size_t(type) < g.Dn_nums.size() ? g.Dn_nums[size_t(type)] : 0;
}

// The column's type when cell i has one that the set-up sized, else 0.
int column_type(const model_state& m, int i) {
  if (size_t(i) >= m.permaf_mask.size() || m.permaf_mask[size_t(i)] <= 0) return 0;
  if (size_t(i) >= m.GIPL_soiltype.size()) return 0;
  const int type = m.GIPL_soiltype[size_t(i)];
  if (type < 1 || type > m.gipl_state.type_count) return 0;
  const int n = node_count(m.gipl_state, type);
  return n >= 2 && n <= m.perma_tem.cols() ? type : 0;
}

// Per-thread work rows of one column.
struct column_scratch {
  std::vector<double> k, c, alpha, beta, t, t_old;
  explicit column_scratch(int nodes)
      : k(size_t(nodes) + 2), c(size_t(nodes) + 2), alpha(size_t(nodes) + 2), beta(size_t(nodes) + 2),
        t(size_t(nodes) + 2), t_old(size_t(nodes) + 2) {}
};

// One implicit pass over the column with properties at the temperatures s.t; returns the largest
// change of a node against the previous iterate.
double column_pass(const gipl_soil_table& g, int type, const double* z, int n, double dt, double t_air,
                   double snow_depth, double snow_density, column_scratch& s) {
  for (int j = 1; j <= n; ++j) {
    s.k[size_t(j)] = permafrost_thermal_conductivity(g, type, z[j], s.t[size_t(j)]);
    s.c[size_t(j)] = permafrost_heat_capacity(g, type, z[j], s.t[size_t(j)]);
  }
  const auto dz = [&](int j) { return z[j + 1] - z[j]; };
  // Upper boundary: the top node takes the air temperature unless a snow cover lies on a
  // column at or below 0 deg C.
  if (snow_depth < 1e-6 || s.t[1] > 1e-6) {
    s.alpha[2] = 0.0;
    s.beta[2] = t_air;
  } else {
    const double h = 1.0 / (1.0 / ((0.018 + 0.00087 * snow_density) / snow_depth) + snow_surface_resistance);
    const double d = dz(1), km = 0.5 * (s.k[1] + s.k[2]);
    const double B = h * d / km, A = d * d * 0.5 * s.c[1] / km / dt;
    s.alpha[2] = 1.0 / (A + 1.0 + B);
    s.beta[2] = (A * s.t_old[1] + B * t_air) / (A + 1.0 + B);
  }
  for (int j = 2; j <= n - 1; ++j) {
    const double dzm = 0.5 * (dz(j - 1) + dz(j));
    const double k_up = 0.5 * (s.k[size_t(j) - 1] + s.k[size_t(j)]);
    const double k_down = 0.5 * (s.k[size_t(j)] + s.k[size_t(j) + 1]);
    const double a = dt * k_up / (s.c[size_t(j)] * dzm * dz(j - 1));
    const double c = dt * k_down / (s.c[size_t(j)] * dzm * dz(j));
    const double b = 1.0 + a + c;
    s.alpha[size_t(j) + 1] = c / (b - a * s.alpha[size_t(j)]);
    s.beta[size_t(j) + 1] = (a * s.beta[size_t(j)] + s.t_old[size_t(j)]) * s.alpha[size_t(j) + 1] / c;
  }
  const double d = dz(n - 1);
  const double A = d * d * 0.5 * s.c[size_t(n)] / s.k[size_t(n)] / dt;
  const double g1 = 1.0 / (A + 1.0);
  const double beta_bottom = (A * s.t_old[size_t(n)] + bottom_gradient * d) * g1;
  double largest = 0.0;
  const double t_n = (g1 * s.beta[size_t(n)] + beta_bottom) / (1.0 - g1 * s.alpha[size_t(n)]);
  largest = std::fabs(t_n - s.t[size_t(n)]);
  s.t[size_t(n)] = t_n;
  for (int j = n - 1; j >= 1; --j) {
    const double t_j = s.alpha[size_t(j) + 1] * s.t[size_t(j) + 1] + s.beta[size_t(j) + 1];
    largest = std::max(largest, std::fabs(t_j - s.t[size_t(j)]));
    s.t[size_t(j)] = t_j;
  }
  return largest;
}

// The rows of the shown cell at the four shown steps, into "temprof_out.txt" held for the run.
void write_shown_column(model_state& m) {
  const int step = m.gipl_state.column_step_count;
  if (std::find(std::begin(shown_steps), std::end(shown_steps), step) == std::end(shown_steps)) return;
  if (m.cell_count < shown_cell) return;
  const int type = column_type(m, shown_cell);
  if (type == 0) return;
  if (!m.temprof_fp.is_open() && !checked_file_open(m.temprof_fp, "temprof_out.txt", 'w')) {
    message_out("Can't open file 'temprof_out.txt'\n");
    return;
  }
  for (int j = 1; j <= node_count(m.gipl_state, type); ++j)
    std::fprintf(m.temprof_fp.stream, " %d   %d   %lf  \n", step, j, m.perma_tem[shown_cell][j]);
}

}  // namespace

double frozen_liquid_fraction(double x) {
  if (!(x < 0.0)) return 1.0;
  const double y = std::fabs(1.22 * x) * 0.7;
  return std::pow(1.0 / (y * y + 1.0), 0.6667);
}

double frozen_conductivity(double K, double f) { return std::exp(std::log(0.01) * (1.0 - f) + std::log(K) * f); }

int build_gipl_node_maps(model_state& m, int cell) {
  const int type = column_type(m, cell);
  if (type == 0 || size_t(cell) >= m.soiltype.size()) return 0;
  const int n = std::min(node_count(m.gipl_state, type), m.node_toGIPL.cols());
  const std::vector<double>& z = m.gipl_state.Depth[size_t(type)];
  const size_t i = size_t(cell);
  // The soil's layers: the three of the layered class, or the nodes of the Richards column.
  const bool nodes = m.inf_layered_soil_on != 1 && m.inf_richards_on != 0;
  constexpr int thickness_col = 22;
  const double* entry = nodes ? nullptr : m.layered_soil_table[size_t(m.soiltype[i])].values;
  const int layers = nodes ? std::min({m.numcells[i], m.DZ.cols(), m.node_fromGIPL.cols()}) : 3;
  if (layers < 1) return 0;
  const auto thickness_m = [&](int k) { return (nodes ? m.DZ[cell][k] : entry[thickness_col + k - 1]) / 100.0; };
  for (int j = 1; j <= n; ++j) {
    double bottom = 0.0;
    int k = 1;
    for (; k <= layers; ++k) {
      bottom += thickness_m(k);
      if (bottom >= z[size_t(j)]) break;
    }
    m.node_toGIPL[i][j] = std::min(k, layers);
  }
  double bottom = 0.0;
  for (int k = 1; k <= layers && k <= m.node_fromGIPL.cols(); ++k) {
    bottom += thickness_m(k);
    int j = 1;
    while (j < n && z[size_t(j)] < bottom) ++j;
    m.node_fromGIPL[i][k] = j;
  }
  return n;
}

void freeze_richards_column(model_state& m, int cell) {
  const size_t i = size_t(cell);
  if (i >= m.permaf_mask.size() || m.permaf_mask[i] <= 0 || m.fr_lq_wat.empty() || m.K_init.empty()) return;
  const int n = std::min({m.numcells[i], m.fr_lq_wat.cols(), m.K_init.cols(), m.node_fromGIPL.cols()});
  double* k = m.KHEAD[cell];
  for (int j = 1; j <= n; ++j) {
    m.K_init[cell][j] = k[j];
    m.fr_lq_wat[cell][j] = 1.0;
    const int node = m.node_fromGIPL[cell][j];
    if (node < 1 || node > m.perma_tem.cols()) continue;
    const double T = m.perma_tem[cell][node];
    if (T >= 0.0) continue;
    const double f = frozen_liquid_fraction(T);
    m.fr_lq_wat[cell][j] = f;
    // Ice only takes pore room from the water: below 0.01 the pull toward 0.01 would let a dry
    // node conduct more frozen than thawed, so the thawed value bounds it.
    k[j] = std::min(k[j], frozen_conductivity(k[j], f));
  }
}

const gipl_layer& permafrost_layer_at(const gipl_soil_table& g, int type, double z) {
  const std::vector<gipl_layer>& l = g.layers[size_t(type)];
  for (size_t k = 1; k + 1 < l.size(); ++k)
    if (l[k].Thick > z - 0.001) return l[k];
  return l.back();
}

double unfrozen_water(const gipl_layer& l, double T) { return l.Tfr_a * std::pow(std::fabs(l.Cclv - T), l.Bclv); }

double permafrost_thermal_conductivity(const gipl_soil_table& g, int type, double z, double T) {
  const gipl_layer& l = permafrost_layer_at(g, type, z);
  if (T > l.Tfr + half_width) return l.Cond_th;
  if (T < l.Tfr - half_width) {
    // A layer without water holds no ice: it keeps its thawed conductivity.
    const double ice_share = l.Wvol > 0.0 ? (l.Wvol - unfrozen_water(l, T)) / l.Wvol : 0.0;
    return l.Cond_th + (l.Cond_fr - l.Cond_th) * ice_share;
  }
  return 0.5 * (l.Cond_fr + l.Cond_th);
}

double permafrost_heat_capacity(const gipl_soil_table& g, int type, double z, double T) {
  const gipl_layer& l = permafrost_layer_at(g, type, z);
  const double thawed = l.Wvol * 1e6 + l.Cvol;
  if (T > l.Tfr + half_width) return thawed;
  const double theta_u = unfrozen_water(l, T);
  const double frozen = 500.0 * (l.Wvol - theta_u) + l.Cvol + 1e6 * theta_u;
  if (T < l.Tfr - half_width) return frozen;
  return 0.5 * (thawed + frozen) + latent_heat * (l.Wvol - theta_u) / half_width;
}

double frozen_soil_conductivity(model_state& m, int cell, int layer, double K) {
  const size_t i = size_t(cell);
  if (i >= m.permaf_mask.size() || m.permaf_mask[i] <= 0) return K;
  if (m.fr_lq_wat.empty() || layer > m.fr_lq_wat.cols()) return K;
  m.fr_lq_wat[i][layer] = 1.0;
  const int node = m.node_fromGIPL[i][layer];
  if (node < 1) return K;
  const double T = m.perma_tem[i][node];
  if (T >= 0.0) return K;
  const double f = frozen_liquid_fraction(T);
  m.fr_lq_wat[i][layer] = f;
  return frozen_conductivity(K, f);
}

void permafrost_exchange(model_state& m) {
  const bool richards = m.inf_richards_on != 0;
  for (int i = 1; i <= m.cell_count; ++i) {
    const int type = column_type(m, i);
    if (type == 0 || in_lake(m, i)) continue;
    for (int j = 1; j <= node_count(m.gipl_state, type); ++j) {
      const int k = m.node_toGIPL[i][j];
      if (richards) {
        if (k >= 1 && k <= m.THETA.cols()) m.THETA_GIPL[i][j] = m.THETA[i][k];
      } else if (k >= 1 && k <= 3 && size_t(i) < m.THETA_ML.size()) {
        m.THETA_GIPL[i][j] = m.THETA_ML[size_t(i)][size_t(k)];
      }
    }
  }
}

void permafrost_temperature_profile(model_state& m, int dt) {
  const gipl_soil_table& g = m.gipl_state;
  const int n_cells = m.cell_count;
  const int widest = m.perma_tem.cols();
  const bool snow = m.snow_depth.size() > size_t(n_cells) && m.snow_swe.size() > size_t(n_cells);
  const double t_air = m.hmet_temperature;
#pragma omp parallel if (n_cells >= min_cells_for_threads)
  {
    column_scratch s(widest);
#pragma omp for schedule(static)
    for (int i = 1; i <= n_cells; ++i) {
      const int type = column_type(m, i);
      if (type == 0 || in_lake(m, i)) continue;
      const int n = node_count(g, type);
      const double* z = g.Depth[size_t(type)].data();
      double* temp = m.perma_tem[i];
      // The snow cover of the cell: its depth (m) and density from its water equivalent.
      const double depth = snow ? m.snow_depth[size_t(i)] : 0.0;
      const double density = depth > 0.0 ? m.snow_swe[size_t(i)] / depth * 1000.0 : 0.0;
      for (int j = 1; j <= n; ++j) s.t[size_t(j)] = s.t_old[size_t(j)] = temp[j];
      for (int it = 0; it < profile_iterations; ++it)
        if (column_pass(g, type, z, n, double(dt), t_air, depth, density, s) <= profile_tolerance) break;
      for (int j = 1; j <= n; ++j) temp[j] = s.t[size_t(j)];
    }
  }
  write_shown_column(m);
}

void update_soil_temperature(model_state& m) {
  if (!gipl_on(m)) return;
  if (m.inf_richards_on || m.inf_layered_soil_on) permafrost_exchange(m);
  gipl_soil_table& g = m.gipl_state;
  g.substep_count++;
  if (m.cur_julian < m.soil_temp_next_time - m.time_tolerance) return;
  const double end = m.gipl_timestep_flag == 1 ? m.soil_temp_next_time : m.cur_julian;
  const int dt = int(std::lround((end - m.soil_temp_last_time) * 86400.0));
  if (dt > 0) permafrost_temperature_profile(m, dt);
  for (int i = 1; i <= m.cell_count; ++i) {
    const int type = column_type(m, i);
    for (int j = 1; type != 0 && j <= node_count(g, type); ++j) m.THETA_GIPL[i][j] = 0.0;
  }
  g.column_step_count++;
  g.substep_count = 0;
  if (m.gipl_timestep_flag == 1) {
    m.soil_temp_last_time = m.cur_julian;
    m.soil_temp_next_time = m.cur_julian + m.soil_temp_interval;
  } else {
    m.soil_temp_last_time = m.infil_last_time;
    m.soil_temp_next_time = m.infil_next_time;
  }
}

}  // namespace pluvo
