// BMP units (ponds, basins, trenches) on single cells: they take water from the cell's ponded
// depth, lose it to seepage and evaporation, and give it back over their outlet.
#include "overland/bmps.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "common/error_state.hpp"
#include "input/grid_setup.hpp"
#include "input/mapping_tables.hpp"
#include "overland/overland_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;

// Open-water evaporation of the hour's weather, m/s; 0 outside long-term runs and at or below
// 0 degrees C.
double bmp_evaporation_rate(const model_state& m) {
  const double t = m.hmet_temperature;
  if (!m.long_term_on || t <= tiny) return 0.0;
  return 6.11 * std::exp(17.3 * t / (t + 273.3)) * (1.0 - m.hmet_rh / 100.0) *
         (m.hmet_wind_speed * 0.001 * 86400.0 * 0.000169) / 8.64e6;
}

int as_rule(double v) { return int(v); }

}  // namespace

double bmp_outlet_flow(int rule, double p, double h, double v, double dt, double sx, double sy, double n) {
  if (v <= tiny) return 0.0;
  double q = 0.0;
  switch (rule) {
    case 1: q = p / 100.0 * v; break;
    case 2: q = p * dt; break;
    case 3: {
      const double hc = 2.0 * h / 3.0;
      q = std::sqrt(9.81 * hc) * hc * p * dt;
      break;
    }
    case 4: q = std::pow(sx * sx + sy * sy, 0.25) / n * std::pow(h, 1.6666666666666667) * p * dt; break;
    default: return 0.0;
  }
  if (!(q > 0.0)) return 0.0;  // a negative parameter or a zero roughness moves nothing
  return std::min(q, v);
}

bmp_flows bmp_cell_water_balance(bmp_record& b, int u, double dt, const bmp_cell_inputs& cell, double e) {
  bmp_flows f;
  const int c = b.GNUM[size_t(u)];
  const double area = b.area[size_t(u)];
  double& storage = b.storage[size_t(u)];
  const double depth = cell.depth[c];
  const double sx = cell.sx[c], sy = cell.sy[c], n = cell.rough[c];
  f.inflow = bmp_outlet_flow(b.inflow_type[size_t(u)], b.inflow_param[size_t(u)], depth, depth * cell.cell_area,
                             dt, sx, sy, n);
  storage += f.inflow;
  const double rate = b.seepage_rate[size_t(u)] / 360000.0;  // cm/h to m/s
  f.seepage = rate * area * dt;
  if (f.seepage > storage) {
    f.seepage = storage;
    storage = 0.0;
  } else {
    storage -= f.seepage;
    const double below_outlet = area * b.outlet_height[size_t(u)];
    if (storage > below_outlet + tiny && area > tiny) {
      // Only the water above the outlet can leave through it.
      f.outflow = std::min(bmp_outlet_flow(b.outflow_type[size_t(u)], b.outflow_param[size_t(u)], storage / area,
                                           storage, dt, sx, sy, n),
                           storage - below_outlet);
      storage -= f.outflow;
    }
  }
  if (area > tiny) {
    // The channel-lake formula's area exponent, as the unit's rate is copied from it.
    f.evaporation = std::min(storage, std::pow(area / 1e6, -0.05) * e * area * dt);
    storage -= f.evaporation;
  }
  cell.depth[c] -= (f.inflow - f.outflow) / cell.cell_area;
  const double soil_depth = b.soil_depth[size_t(u)];
  if (soil_depth > tiny && area > tiny) {
    double& soil = b.soil_storage[size_t(u)];
    soil += f.seepage;
    f.percolation = std::min(soil, std::pow(soil / (area * soil_depth) / 0.45, 6.285714285714286) * rate * area * dt);
    soil -= f.percolation;
  } else {
    f.percolation = f.seepage;
  }
  return f;
}

void read_bmp_table(model_state& m) {
  if (!m.ov_bmp_on) return;
  echo(m, m.quiet_on == 0, "Reading BMP properties table from mapping table file\n");
  const int n = m.cell_count;
  std::array<std::vector<double>, 10> columns;
  std::array<std::vector<double>*, 10> outputs{};
  for (size_t k = 0; k < columns.size(); k++) {
    columns[k].assign(size_t(n) + 1, 0.0);
    outputs[k] = &columns[k];
  }
  const int constituents = m.ov_con_trans_on ? m.num_constituents : 0;
  std::vector<std::vector<double>> con(size_t(constituents), std::vector<double>(size_t(n) + 1, 0.0));
  std::vector<std::vector<double>*> con_outputs;
  for (std::vector<double>& v : con) con_outputs.push_back(&v);
  if (read_bmp_map_table(map_table_target_of(m), m.mapping_table_path, outputs, con_outputs, constituents) != 1) {
    if (!error_state.error_terminate)
      stop_run("Error: OV_BMP is given but the mapping-table file %s holds no BMPS table.\n",
               m.mapping_table_path.c_str());
    return;
  }
  bmp_record& b = m.BMP;
  b = bmp_record();
  b.GNUM_num.assign(size_t(n) + 1, 0);
  for (int i = 1; i <= n; i++)
    if (as_rule(columns[0][size_t(i)]) > 0) b.GNUM_num[size_t(i)] = ++b.unit_count;
  const size_t units = size_t(b.unit_count) + 1;
  for (auto* v : {&b.type, &b.GNUM, &b.inflow_type, &b.outflow_type}) v->assign(units, 0);
  for (auto* v : {&b.area, &b.storage, &b.seepage_rate, &b.outlet_height, &b.inflow_param, &b.outflow_param,
                  &b.soil_depth, &b.soil_storage, &b.TSS_TE})
    v->assign(units, 0.0);
  for (int i = 1; i <= n; i++) {
    const size_t u = size_t(b.GNUM_num[size_t(i)]);
    if (u == 0) continue;
    b.GNUM[u] = i;
    b.type[u] = as_rule(columns[0][size_t(i)]);
    b.inflow_type[u] = as_rule(columns[1][size_t(i)]);
    b.outflow_type[u] = as_rule(columns[2][size_t(i)]);
    b.area[u] = columns[3][size_t(i)];
    b.outlet_height[u] = columns[4][size_t(i)] / 1000.0;
    b.seepage_rate[u] = columns[5][size_t(i)];
    b.inflow_param[u] = columns[6][size_t(i)];
    b.outflow_param[u] = columns[7][size_t(i)];
    b.soil_depth[u] = columns[8][size_t(i)] / 100.0;
    b.TSS_TE[u] = columns[9][size_t(i)];
  }
}

void bmp_step(model_state& m) {
  if (std::fabs(m.bmp_next_time - m.cur_julian) >= m.time_tolerance) return;
  if (m.ov_bmp_on) {
    const double dt = (m.cur_julian - m.step_last_time) * 86400.0;
    m.bmp_water_present = 0;
    const double e = bmp_evaporation_rate(m);
    const double area = m.cell_size * m.cell_size;
    const bmp_cell_inputs cell{m.ov_depth.data(), area, m.dist_rough.data(), m.slope_x.data(), m.slope_y.data()};
    const bool soil_flux = m.unsat_downward_flux.size() > size_t(m.cell_count);
    double in = 0.0, out = 0.0;
    for (int u = 1; u <= m.BMP.unit_count; u++) {
      const bmp_flows f = bmp_cell_water_balance(m.BMP, u, dt, cell, e);
      in += f.inflow;
      out += f.outflow;
      if (f.outflow > tiny) m.bmp_water_present = 1;
      m.bmp_seepage_volume += f.seepage;
      m.bmp_seepage_total += f.seepage;
      m.bmp_to_gw_volume += f.percolation;
      m.bmp_to_gw_total += f.percolation;
      if (soil_flux) m.unsat_downward_flux[size_t(m.BMP.GNUM[size_t(u)])] += f.percolation / area * 100.0;
    }
    m.bmp_from_ov_volume += in;
    m.bmp_from_ov_total += in;
    m.bmp_to_ov_volume += out;
    m.bmp_to_ov_total += out;
  }
  m.bmp_last_time = m.cur_julian;
  m.bmp_next_time = m.cur_julian + m.bmp_interval;
}

}  // namespace pluvo
