// Contaminants sorbed to the fine sediment of the overland grid: what the soil gives up when it
// erodes, carries across the cell faces, settles back on the soil or leaves at the outlet, and
// the split of every cell's mass between the water and the suspended sediment.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "quality/quality_phases.hpp"
#include "quality/sediment_contam.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;
constexpr int suspended_layer = 2;

// The index arithmetic of the per-constituent tables: [k][cell] and [k][cell][class].
struct pool_layout {
  size_t cells;  // cell_count + 1
  size_t slots;  // classes + 1
  size_t at(int k, int j) const { return size_t(k) * cells + size_t(j); }
  size_t at(int k, int j, int c) const { return at(k, j) * slots + size_t(c); }
  size_t cell(int j, int c) const { return size_t(j) * slots + size_t(c); }
};

pool_layout layout_of(const model_state& m) {
  return {size_t(m.cell_count) + 1, size_t(m.ov_sed ? m.ov_sed->num_sed_classes : 0) + 1};
}

int lake_of(const model_state& m, int j) {
  if (!m.lakes_on || j < 1 || size_t(j) >= m.lake_mask.size()) return 0;
  return std::max(m.lake_mask[size_t(j)], 0);
}

bool fine(const ov_sed_record& s, int c) { return s.sand[size_t(c)] == 0; }

// Every array this process reads or writes has its per-run size.
bool pools_sized(const model_state& m) {
  if (!m.ov_sed || m.num_constituents < 1) return false;
  const pool_layout p = layout_of(m);
  const size_t per_cell = p.at(m.num_constituents + 1, 0), per_class = per_cell * p.slots;
  const size_t cell_class = p.cells * p.slots;
  return m.ov_total_con_mass.size() == per_cell && m.ov_sed_con_conc.size() == per_class &&
         m.ov_sed_con_bound_frac.size() == per_class && m.ov_sed_vol_susp.size() == cell_class &&
         m.ov_vol_sed_susp.size() == cell_class && m.ov_sed_vol_qsx.size() == cell_class &&
         m.ov_sed_vol_qsy.size() == cell_class && m.ov_sed->ov_sed_vol_eroded.size() == cell_class &&
         m.ov_sed->ov_sed_vol_deposited.size() == cell_class && m.ov_sed->ov_sed_conc.size() == cell_class &&
         m.ov_sed_outlet_vol.size() == p.slots;
}

// Porosity of the cell's mixing layer: column 7 of its soil class under layered soils.
double mixing_porosity(const model_state& m, int j) {
  if (m.inf_layered_soil_on && size_t(j) < m.soiltype.size())
    return m.layered_soil_table[size_t(m.soiltype[size_t(j)])].values[soil_col_porosity];
  return size_t(j) < m.porosity_cell.size() ? m.porosity_cell[size_t(j)] : 0.0;
}

// Mixing depth (cm) of the cell: under layered soils without one, the first soil layer's.
double mixing_depth(const model_state& m, int j, double depth_cm) {
  if (depth_cm < tiny && m.inf_layered_soil_on && size_t(j) < m.soiltype.size())
    return m.layered_soil_table[size_t(m.soiltype[size_t(j)])].values[soil_col_thickness];
  return depth_cm;
}

void report_nan(double x, const char* what) {
  if (std::isnan(x)) std::printf("%s", what);
}

// Erosion moves sorbed mass from the soil's top layer into the cell's sorbed pool.
void erode_into_pool(model_state& m, const pool_layout& p, int k, int j, double depth_cm) {
  const ov_sed_record& s = *m.ov_sed;
  double* susp = m.ov_vol_sed_susp.data();
  const double* eroded = s.ov_sed_vol_eroded.data();
  for (int c = 1; c <= s.num_sed_classes; ++c) {
    double& v = susp[p.cell(j, c)];
    v = std::max(v + eroded[p.cell(j, c)], 0.0);
    if (fine(s, c)) susp[p.cell(j, 0)] = std::max(susp[p.cell(j, 0)] + eroded[p.cell(j, c)], 0.0);
  }
  const double dx = m.cell_size;
  const double solids = mixing_depth(m, j, depth_cm) * dx * dx / 100.0 * (1.0 - mixing_porosity(m, j));
  double F = 0.0;
  for (int c = 1; c <= s.num_sed_classes; ++c)
    if (fine(s, c)) F += s.sed_fract[s.cell_class_layer(j, c, 1)];
  if (!(F > tiny && solids > tiny)) return;
  const double top = m.soil_top_mass[size_t(j)], sorbed_share = 1.0 - m.soil_top_frac_diss[size_t(j)];
  const double cs = std::max(0.0, top / (F * solids) * sorbed_share);
  // All fine classes together take at most what the top layer holds sorbed.
  double left = std::max(0.0, top * sorbed_share);
  double& T = m.ov_total_con_mass[p.at(k, j)];
  double& exchange = m.ov_sed_con_soil_exchange[p.at(k, j)];
  for (int c = 1; c <= s.num_sed_classes; ++c) {
    if (!fine(s, c)) continue;
    const double x = std::min(cs * eroded[p.cell(j, c)], left);
    if (x > tiny) {
      T += x;
      exchange -= x;
      left -= x;
    }
    if (T < 0.0) {
      exchange += T;
      T = 0.0;
    }
    report_nan(T, "bad number 1");
  }
}

// One face of cell j: the net volume F of each class crossed it towards the downstream side
// (right or lower) of the face's upstream cell; inflow faces are the left and upper ones.
struct face_rule {
  const int* neighbour;     // leftcon, rightcon, abovecon or belowcon
  const double* flux;       // ov_sed_vol_qsx or ov_sed_vol_qsy
  bool inflow;              // left or upper face: the flux is the neighbour's
  const char* land_nan;
  const char* lake_nan;
};

void advect_cell(model_state& m, const pool_layout& p, int k, int j, const face_rule (&faces)[4], double* lake_change,
                 int* lake_hit) {
  const ov_sed_record& s = *m.ov_sed;
  double& T = m.ov_total_con_mass[p.at(k, j)];
  double* susp = m.ov_vol_sed_susp.data();
  const double* conc = m.ov_sed_con_conc.data();
  for (int f = 0; f < 4; ++f) {
    const face_rule& r = faces[f];
    const int nb = r.neighbour[j];
    lake_change[f] = 0.0;
    lake_hit[f] = 0;
    // A face without a neighbour carries nothing here: what leaves at the outlet is taken once,
    // by the outlet export.
    if (nb < 1) continue;
    const int lake = lake_of(m, nb);
    const double sign = r.inflow ? 1.0 : -1.0;
    double change = 0.0;
    for (int c = 1; c <= s.num_sed_classes; ++c) {
      const double F = (r.inflow ? r.flux[p.cell(nb, c)] : r.flux[p.cell(j, c)]);
      if (F == 0.0) continue;
      const bool neighbour_upwind = r.inflow ? F > 0.0 : F < 0.0;
      double C = conc[p.at(k, j, c)];
      if (neighbour_upwind && lake == 0) C = conc[p.at(k, nb, c)];
      if (neighbour_upwind && lake > 0) {
        const size_t at = (size_t(k) * size_t(m.nlakes + 2) + size_t(lake)) * p.slots + size_t(c);
        C = at < m.lake_sed_contam_conc.size() ? m.lake_sed_contam_conc[at] : 0.0;
      }
      if (fine(s, c)) change += sign * C * F;
      susp[p.cell(j, c)] += sign * F;
      if (fine(s, c)) susp[p.cell(j, 0)] += sign * F;
    }
    T += change;
    report_nan(T, lake == 0 ? r.land_nan : r.lake_nan);
    if (lake > 0) {
      lake_change[f] = -change;
      lake_hit[f] = lake;
    }
  }
}

// Settled sediment takes its sorbed mass back to the soil.
void deposit_from_pool(model_state& m, const pool_layout& p, int k, int j) {
  ov_sed_record& s = *m.ov_sed;
  double& T = m.ov_total_con_mass[p.at(k, j)];
  double& exchange = m.ov_sed_con_soil_exchange[p.at(k, j)];
  double* susp = m.ov_vol_sed_susp.data();
  for (int c = 1; c <= s.num_sed_classes; ++c) {
    if (!fine(s, c)) continue;
    double& v = susp[p.cell(j, c)];
    if (v < 0.0) v = 0.0;
    const double settled = std::min(s.ov_sed_vol_deposited[p.cell(j, c)], v);
    const double x = std::min(m.ov_sed_con_conc[p.at(k, j, c)] * settled, T);
    exchange += x;
    T -= x;
    report_nan(T, "bad number 10");
    if (T < 0.0) {
      exchange += T;
      T = 0.0;
    }
    v = std::max(v - settled, 0.0);
    double& all = susp[p.cell(j, 0)];
    all = std::max(all - settled, 0.0);
  }
}

// Without channels the sediment leaving the outlet carries its sorbed mass out of the grid.
void export_at_outlet(model_state& m, const pool_layout& p, int k) {
  const int o = m.outlet_cell;
  if (o < 1 || o > m.cell_count) return;
  const ov_sed_record& s = *m.ov_sed;
  double& T = m.ov_total_con_mass[p.at(k, o)];
  for (int c = 1; c <= s.num_sed_classes; ++c) {
    if (!fine(s, c)) continue;
    // The pool gives at most what it holds.
    const double x = std::min(m.ov_sed_con_conc[p.at(k, o, c)] * m.ov_sed_outlet_vol[size_t(c)], std::max(T, 0.0));
    m.ov_sed_con_outlet_mass[p.at(k, o)] += x;
    T -= x;
  }
}

void book_attached_outlet(model_state& m, int k, double x) {
  for (auto* terms : {&m.event_constituent_terms, &m.run_constituent_terms})
    if (size_t(k) < terms->size()) (*terms)[size_t(k)].ov_attached_out += x;
}

}  // namespace

void start_sediment_contaminants(model_state& m) {
  if (!m.sediment_contam_on || !m.ov_sed) return;
  const pool_layout p = layout_of(m);
  const size_t per_cell = p.at(m.num_constituents + 1, 0), per_class = per_cell * p.slots;
  for (auto* v : {&m.ov_total_con_mass, &m.ov_sed_con_soil_exchange, &m.ov_sed_con_source, &m.ov_sed_con_outlet_mass})
    v->assign(per_cell, 0.0);
  m.ov_con_frac_diss.assign(per_cell, 1.0);
  for (auto* v : {&m.ov_sed_con_conc, &m.ov_sed_con_bound_frac}) v->assign(per_class, 0.0);
  for (auto* v : {&m.ov_sed_vol_qsx, &m.ov_sed_vol_qsy, &m.ov_sed_vol_susp, &m.ov_vol_sed_susp, &m.ov_sed->ov_sed_conc})
    v->assign(p.cells * p.slots, 0.0);
  m.ov_sed_outlet_vol.assign(p.slots, 0.0);
  m.soil_top_frac_diss.assign(p.cells, 1.0);
  m.soil_top_mass.assign(p.cells, 0.0);
  for (int k = 1; k <= m.num_constituents; ++k) {
    const double* mass = checked_array_2d_row(m.ov_mass, k);
    for (int j = 1; mass && j <= m.cell_count; ++j) m.ov_total_con_mass[p.at(k, j)] = mass[j];
    // Channel nodes and lakes likewise start from their dissolved mass.
    if (m.chan_tot_node_mass.rows() >= k && m.chan_node_mass.row_count >= k)
      for (int key = 0; key < m.chan_slot_count && key <= m.chan_node_mass.row_length; ++key)
        m.chan_tot_node_mass[k][key] = m.chan_node_mass.rows[k][key];
    if (m.lakes_on && m.lake_tot_mass.rows() >= k && m.lake_con_mass.row_count >= k)
      for (int lake = 1; lake <= m.nlakes && lake <= m.lake_con_mass.row_length; ++lake)
        m.lake_tot_mass[k][lake] = m.lake_con_mass.rows[k][lake];
  }
}

void fraction_dissolved(model_state& m, int k, const double* susp) {
  ov_sed_record& s = *m.ov_sed;
  const pool_layout p = layout_of(m);
  const double K = m.ov_partition_coef[k] / 1e6, area = m.cell_size * m.cell_size;
  for (int j = 1; j <= m.cell_count; ++j) {
    if (lake_of(m, j) > 0) continue;
    double* Cc = &s.ov_sed_conc[p.cell(j, 0)];
    Cc[0] = 0.0;
    const double h = m.ov_depth[size_t(j)];
    // A dry cell keeps the split of its last wet step.
    if (h <= tiny) continue;
    const double W = area * h;
    double S = 0.0;
    for (int c = 1; c <= s.num_sed_classes; ++c) {
      Cc[c] = std::max(0.0, s.particle_density[size_t(c)] * susp[p.cell(j, c)] / W);
      if (!fine(s, c)) continue;
      Cc[0] += Cc[c];
      S += K * Cc[c];
    }
    double* fb = &m.ov_sed_con_bound_frac[p.at(k, j, 0)];
    double* conc = &m.ov_sed_con_conc[p.at(k, j, 0)];
    const double T = m.ov_total_con_mass[p.at(k, j)];
    fb[0] = 0.0;
    for (int c = 1; c <= s.num_sed_classes; ++c) {
      fb[c] = fine(s, c) ? K * Cc[c] / (1.0 + S) : 0.0;
      fb[0] += fb[c];
      const double v = susp[p.cell(j, c)];
      conc[c] = v > tiny ? fb[c] * T / v : 0.0;
      report_nan(conc[c], "bad number 13");
    }
    const double fd = 1.0 - fb[0];
    m.ov_con_frac_diss[p.at(k, j)] = fd;
    if (fd < 0.0) std::printf("fraction dissolved below zero");
    if (fd > 1.0) std::printf("fraction dissolved greater than 1");
  }
}

void contam_kinetics_step(model_state& m, int k, double mixing_depth_cm) {
  const pool_layout p = layout_of(m);
  const int n = m.cell_count;
  for (int j = 1; j <= n; ++j)
    if (lake_of(m, j) == 0) erode_into_pool(m, p, k, j, mixing_depth_cm);
  fraction_dissolved(m, k, m.ov_vol_sed_susp.data());
  const face_rule faces[4] = {
      {m.leftcon.data(), m.ov_sed_vol_qsx.data(), true, "bad number 2", "bad number 3"},
      {m.rightcon.data(), m.ov_sed_vol_qsx.data(), false, "bad number 4", "bad number 5"},
      {m.abovecon.data(), m.ov_sed_vol_qsy.data(), true, "bad number 6", "bad number 7"},
      {m.belowcon.data(), m.ov_sed_vol_qsy.data(), false, "bad number 8", "bad number 9"},
  };
  const bool lakes = m.lakes_on && m.ov_lake_sed_source.rows() >= k;
  for (int j = 1; j <= n; ++j) {
    if (lake_of(m, j) > 0) continue;
    double lake_change[4];
    int lake_hit[4];
    advect_cell(m, p, k, j, faces, lake_change, lake_hit);
    for (int f = 0; lakes && f < 4; ++f)
      if (lake_hit[f] > 0 && lake_hit[f] <= m.ov_lake_sed_source.cols()) m.ov_lake_sed_source[k][lake_hit[f]] += lake_change[f];
  }
  fraction_dissolved(m, k, m.ov_vol_sed_susp.data());
  for (int j = 1; j <= n; ++j)
    if (lake_of(m, j) == 0) deposit_from_pool(m, p, k, j);
  if (!m.chan_explic_on) export_at_outlet(m, p, k);
}

void check_sediment_contaminant_sources(model_state& m) {
  if (!m.sediment_contam_on || !(std::fabs(m.ov_con_next_time - m.cur_julian) < m.time_tolerance)) return;
  if (!pools_sized(m)) return;
  const pool_layout p = layout_of(m);
  ov_sed_record& s = *m.ov_sed;
  const int n = m.cell_count;
  for (int k = 1; k <= m.num_constituents; ++k) {
    double** soil = checked_array_3d_plane(m.soil_mass, k);
    double** soil_fd = checked_array_3d_plane(m.soil_frac_dissolved, k);
    const bool top_layer = soil && soil_fd && m.soil_mass.rows >= n && m.soil_frac_dissolved.rows >= n &&
                           m.soil_mass.columns >= 1 && m.soil_frac_dissolved.columns >= 1;
    for (int j = 1; j <= n; ++j) {
      // The top layer as the soil step will find it: with what the pool already gave or took.
      const double pending = m.ov_sed_con_soil_exchange[p.at(k, j)];
      m.soil_top_mass[size_t(j)] = top_layer ? std::max(soil[j][1] + pending, 0.0) : 0.0;
      m.soil_top_frac_diss[size_t(j)] = top_layer ? soil_fd[j][1] : 1.0;
    }
    m.ov_vol_sed_susp = m.ov_sed_vol_susp;
    contam_kinetics_step(m, k, m.mixing_layer_depth_cm);
    for (int j = 1; j <= n; ++j) {
      double all = 0.0;
      for (int c = 1; c <= s.num_sed_classes; ++c) {
        const double v = std::max(s.vol_sed[s.cell_class_layer(j, c, suspended_layer)], 0.0);
        m.ov_sed_vol_susp[p.cell(j, c)] = v;
        if (fine(s, c)) all += v;
      }
      m.ov_sed_vol_susp[p.cell(j, 0)] = std::max(all, 0.0);
    }
    fraction_dissolved(m, k, m.ov_sed_vol_susp.data());
    const double* dissolved = checked_array_2d_row(m.ov_mass, k);
    for (int j = 1; j <= n; ++j) {
      if (lake_of(m, j) > 0) continue;
      double& T = m.ov_total_con_mass[p.at(k, j)];
      const double d = T * m.ov_con_frac_diss[p.at(k, j)];
      double& source = m.ov_sed_con_source[p.at(k, j)];
      source += d - (dissolved ? dissolved[j] : 0.0);
      T -= d;
      if (std::isnan(source)) std::printf("Sed source contam %d cell %d NAN", k, j);
      if (m.chan_explic_on) continue;
      double& out = m.ov_sed_con_outlet_mass[p.at(k, j)];
      book_attached_outlet(m, k, out / 1000.0);
      out = 0.0;
    }
  }
  for (auto* v : {&s.ov_sed_vol_eroded, &s.ov_sed_vol_deposited, &m.ov_sed_vol_qsx, &m.ov_sed_vol_qsy})
    std::fill(v->begin(), v->end(), 0.0);
  if (!m.chan_explic_on) std::fill(m.ov_sed_outlet_vol.begin(), m.ov_sed_outlet_vol.end(), 0.0);
}

}  // namespace pluvo
