// The per-cell transfers of one constituent in the overland water. Each adds what it moves to
// an accumulator of the record; the cell mass update books them.
#include <algorithm>
#include <array>
#include <cmath>

#include "common/parallel_team.hpp"
#include "quality/constituent_tables.hpp"
#include "quality/overland_constituents.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

int flag(const std::vector<int32_t>& v, int i) { return size_t(i) < v.size() ? v[size_t(i)] : 0; }
double value(const std::vector<double>& v, int i) { return size_t(i) < v.size() ? v[size_t(i)] : 0.0; }

// Water (m) in the soil mixing layer of cell i, the layer from which the soil releases mass.
double mixing_layer_water(const model_state& m, int i) {
  const bool theta = m.THETA.rows() >= i && m.THETA.cols() >= 1;
  if (m.inf_redist_on) return theta ? m.THETA[i][1] * m.soil_layer_thickness[1] : 0.0;
  const double mix = m.mixing_layer_depth_cm;
  if (m.inf_layered_soil_on) {
    const int s = flag(m.soiltype, i);
    const double d22 = s >= 0 && size_t(s) < m.layered_soil_table.size() ? m.layered_soil_table[size_t(s)].values[22] : 0.0;
    const double d = mix > 1e-16 && d22 > mix ? mix / 100.0 : d22 / 100.0;
    return theta ? m.THETA[i][1] * d : 0.0;
  }
  return mix / 100.0 * value(m.surface_moisture, i);
}

}  // namespace

bool lake_cell_for_update(const model_state& m, int i) {
  if (!m.lakes_on) return false;
  const int flooded = flag(m.new_flooded_grid, i);
  return (flag(m.lake_mask, i) > 0 && flooded == 0) || flooded == -1;
}

bool channel_lake_cell(const model_state& m, int i) { return m.lakes_on && flag(m.lake_mask, i) > 0; }

void contam_rain_loading(model_state& m, int k, double dt) {
  double* load = checked_array_2d_row(m.ov_precip_load_step, k);
  double* mass = checked_array_2d_row(m.ov_mass, k);
  double* conc = checked_array_2d_row(m.ov_conc, k);
  const std::vector<double>& rain = m.interception_on == 1 ? m.ri_eff : m.cell_rain_rate;
  const int n = m.cell_count;
  if (!load || !mass || !conc || rain.size() <= size_t(n) || m.ov_depth_prev.size() <= size_t(n)) return;
  const double pc = m.precip_conc[k], area = m.cell_size * m.cell_size;
  parallel_for_cells(n, [&](int i) {
    // A channel lake takes the rain on its cells whole, a cell it has just flooded too.
    if (lake_cell_for_update(m, i) || channel_lake_cell(m, i)) return;
    const double r = rain[size_t(i)] / 3.6e6;
    const double x = r * pc * area * dt;
    mass[i] += x;
    const double h = r * dt + m.ov_depth_prev[size_t(i)];
    if (h > 1e-16) conc[i] = mass[i] / (h * area);
    load[i] += x;
  });
}

// Where infiltrated mass x of constituent k in cell i goes with soil transport on: the soil
// row of k, or of its soil partner for a nutrient; returns the share that has no soil row.
double infiltrated_to_soil(model_state& m, int k, int i, double x) {
  if (!m.soil_con_trans_on) return 0.0;  // it left with the water
  int row = k;
  const int type = int(m.constituent_type[k]);
  if (m.nutrients_on && (type == 2 || type == 3)) row = tvx_constituent_slot(m.first_type2_constituent, k, true);
  double* soil = row > 0 ? checked_array_2d_row(m.soil_inflow_mass, row) : nullptr;
  if (!soil) return x;
  soil[i] += x;
  return 0.0;
}

void infiltrate_constituent_mass(model_state& m, int k) {
  double* step = checked_array_2d_row(m.ov_infil_mass_step, k);
  double* mass = checked_array_2d_row(m.ov_mass, k);
  double* conc = checked_array_2d_row(m.ov_conc, k);
  const int n = m.cell_count;
  std::vector<double>& V = m.ov_infil_volume;
  if (!step || !mass || !conc || V.size() <= size_t(n)) return;
  const std::array<double, 2> moved = parallel_cell_sums<2>(n, [&](int i) -> std::array<double, 2> {
    if (lake_cell_for_update(m, i)) {
      step[i] = 0.0;
      return {0.0, 0.0};
    }
    const double v = V[size_t(i)];
    if (mass[i] > 1e-16 && m.ov_depth[size_t(i)] < 1e-16 && v > 1e-16) {
      // The water is gone into the soil: its mass goes with it, all at once.
      const double x = mass[i];
      mass[i] = 0.0;
      conc[i] = 0.0;
      return {x, infiltrated_to_soil(m, k, i, x)};
    }
    step[i] += conc[i] * v;
    return {0.0, 0.0};
  });
  m.ov_infil_dmt[k] += moved[0];
  m.ov_infil_lost_mass[k] += moved[1];
  if (k == m.num_constituents) std::fill(V.begin(), V.end(), 0.0);
}

void contam_soil_water_exchange(model_state& m, int k, double dt) {
  double* uptake = checked_array_2d_row(m.ov_uptake_mass_step, k);
  double* land = checked_array_2d_row(m.ov_land_load, k);
  const double* coef = checked_array_2d_row(m.ov_uptake_coef, k);
  const double* conc = checked_array_2d_row(m.ov_conc, k);
  const double* mass = checked_array_2d_row(m.ov_mass, k);
  const double* source = checked_array_2d_row(m.ov_source_conc, k);
  const double* exchange = checked_array_2d_row(m.soil_exchange_mass, k);
  double** soil = checked_array_3d_plane(m.soil_mass, k);
  double** dissolved = checked_array_3d_plane(m.soil_frac_dissolved, k);
  if (!uptake || !land || !coef || !conc || !mass || !source) return;
  const bool with_soil = m.soil_con_trans_on && soil && dissolved && exchange;
  if (m.soil_con_trans_on && !with_soil) return;
  const double area = m.cell_size * m.cell_size;
  parallel_for_cells(m.cell_count, [&](int i) {
    if (channel_lake_cell(m, i)) return;
    const double h = m.ov_depth[size_t(i)];
    if (!(h > 0.0001) || !(land[i] > 1e-16)) return;
    const double V = h * area, a = coef[i], c = conc[i];
    double f = 0.0;
    if (with_soil) {
      const double w = mixing_layer_water(m, i);
      if (w <= 1e-16) return;  // a dry mixing layer has no pore water to release from
      const double cs = soil[i][1] * dissolved[i][1] / (w * area);
      f = (cs - c) * a * area * dt;
      if (f > 0.0) {
        // What earlier steps took since the last soil update is no longer in the layer.
        const double pending = std::max(0.0, exchange[i] + uptake[i]);
        f = std::min(f, std::max(0.0, soil[i][1] - pending));
        const double e = (c * V + f) / V - cs;
        if (e > 1e-16) f -= e * V;
      } else if (mass[i] + f < 0.0) {
        f = -mass[i];
      }
    } else {
      const double e0 = source[i] - c;
      if (e0 <= 0.0) return;
      f = std::min(e0 * a * area * dt, land[i]);
      const double e = (c * V + f) / V - source[i];
      if (e > 1e-16) f -= e * V;
    }
    uptake[i] += f;
    land[i] -= f;
  });
}

void overland_decay_mass(model_state& m, int k, double dt) {
  double* decay = checked_array_2d_row(m.ov_decay_mass_step, k);
  const double* rate = checked_array_2d_row(m.ov_decay_rate, k);
  const double* conc = checked_array_2d_row(m.ov_conc, k);
  if (!decay || !rate || !conc || m.ov_depth_prev.size() <= size_t(m.cell_count)) return;
  const double area = m.cell_size * m.cell_size;
  parallel_for_cells(m.cell_count, [&](int i) {
    if (channel_lake_cell(m, i)) return;
    const double h = m.ov_depth[size_t(i)], c = conc[i], hp = m.ov_depth_prev[size_t(i)];
    if (h < 1e-16 || c < 1e-16) return;
    decay[i] += c * rate[i] * ((hp + h) / 2.0) * area * dt;
    const double bound = std::min(hp, h) * area * c;
    if (decay[i] > bound) decay[i] = bound;
  });
}

void exchange_grid_stream_mass(model_state& m, int k) {
  double* cell_step = checked_array_2d_row(m.ov_qlat_mass_step, k);
  const double* conc = checked_array_2d_row(m.ov_conc, k);
  const double* node_conc = checked_array_2d_row(m.chan_node_conc, k);
  if (!cell_step || !conc) return;
  const bool to_nodes = m.chan_qlat_mass.rows() >= k;
  for (int i = 1; i <= m.gst_num_cells; ++i) {
    const int entries = flag(m.gst_ncellsingrid, i);
    for (int j = 1; j <= entries; ++j) {
      const int l = m.gst_link[size_t(i)][size_t(j)], node = m.gst_node[size_t(i)][size_t(j)];
      const int c = m.gst_gnum[size_t(i)][size_t(j)];
      const double V = m.gst_Vlat[size_t(i)][size_t(j)];
      const int t = flag(m.ltype, l);
      if ((t & ltype_structure) || (t & ltype_lake) || ((t & (4 | 8 | 16)) && (t & ltype_taken_by_lake))) continue;
      if (c < 1 || c > m.cell_count || channel_lake_cell(m, c)) continue;
      const int p = l * m.chan_node_extent + node;
      const double stream = node_conc && p >= 0 && p <= m.chan_node_conc.row_length ? node_conc[p] : 0.0;
      const double x = V * (V >= 0.0 ? conc[c] : stream);
      if (to_nodes && p >= 0 && p <= m.chan_qlat_mass.cols()) m.chan_qlat_mass[k][p] += x;
      cell_step[c] += x;
    }
  }
}

double scale_loss_by_depth(double a, double b, double m) { return b - a > 0.5 ? m * a / b : m; }

}  // namespace pluvo
