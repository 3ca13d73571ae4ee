// Constituent mass of the soil layers: reactions take mass out of one layer; the drained water
// carries the dissolved share down (or, where groundwater comes up, up) through the layers.
#include "soil/soil_layer_mass.hpp"

#include <cmath>

#include "record/model_state.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

constexpr double particle_density = 2.65;
constexpr double fraction_mark = -10000.0;  // a flux below -999.99 carries a share of the infiltrating mass

double cell_value(const std::vector<double>& v, int i) { return v.size() > size_t(i) ? v[i] : 0.0; }
int cell_flag(const std::vector<int32_t>& v, int i) { return v.size() > size_t(i) ? v[i] : 0; }

// Porosity of the soil that holds constituent layer l of cell i.
double layer_porosity_of(const model_state& m, int i, int l, int layers) {
  const layered_soil_entry* soil = m.inf_layered_soil_on ? soil_class_of(m, i) : nullptr;
  if (!soil) return cell_value(m.porosity_cell, i);
  const bool first = l == 1 || (layers == 3 && l == 2);
  return soil->values[soil_col_porosity + (first ? 0 : 1)];
}

double concentration(const model_state& m, int i, int l, int layers, double mass, double depth) {
  const double phi = layer_porosity_of(m, i, l, layers);
  return mass / ((1.0 - phi) * depth * particle_density * 1000.0 * m.cell_size * m.cell_size) * 1000.0;
}

bool skipped(const model_state& m, int i) {
  if (m.overland_lakes_on && cell_flag(m.oland_lake_new, i) > 0) return true;
  if (!m.lakes_on) return false;
  const int flooded = cell_flag(m.new_flooded_grid, i);
  return (cell_flag(m.lake_mask, i) > 0 && flooded == 0) || flooded == -1;
}

// The cell's layers, their water (m) and the water crossing each interface (m); returns the
// layer count.
int water_of_layers(const model_state& m, soil_constituent_block& b, soil_constituent_tables& t, int i) {
  std::array<double, 4>& A = b.layer_water;
  std::array<double, 4>& F = b.flux;
  F.fill(0.0);
  A.fill(0.0);
  const double mix = m.mixing_layer_depth_cm;
  const std::array<double, 4>& theta = b.layer_theta[i];
  int L = 1;
  if (m.inf_redist_on) {
    L = m.soil_contam_layers < 1 ? 1 : (m.soil_contam_layers > 3 ? 3 : m.soil_contam_layers);
    for (int l = 1; l <= L; ++l) A[l] = theta[l] * t.layer_depth[l];
  } else if (const layered_soil_entry* soil = m.inf_layered_soil_on ? soil_class_of(m, i) : nullptr) {
    const double t1 = soil->values[soil_col_thickness], t2 = soil->values[soil_col_thickness + 1];
    if (mix > 1e-16 && t1 > mix) {
      L = 3;
      t.layer_depth = {0.0, mix / 100.0, t1 / 100.0 - mix / 100.0, t2 / 100.0};
    } else {
      L = 2;
      t.layer_depth = {0.0, t1 / 100.0, t2 / 100.0, 0.0};
    }
    for (int l = 1; l <= L; ++l) A[l] = theta[l] * t.layer_depth[l];
  } else {
    A[1] = mix * cell_value(m.surface_moisture, i) / 100.0;
    return 1;
  }
  if (m.soil_noflux_on == 1) return L;
  if (m.water_table_on && cell_flag(m.yes_exfil, i) == 1) {
    for (int l = 0; l <= L; ++l) F[l] = -cell_value(m.soil_gw_volume_cell, i);
    return L;
  }
  const double top = cell_value(m.sm_top_drainage, i) / 100.0, bottom = cell_value(m.sm_bottom_drainage, i) / 100.0;
  if (m.inf_redist_on) {
    if (L >= 2) {
      const double Dn = m.soil_moist_depth_cm;
      F[1] = Dn - m.top_layer_depth_cm > 1e-16 ? top : (Dn - mix) / Dn + fraction_mark;
    }
    if (L == 3) F[2] = top;
  } else {
    F[1] = top;
    if (L == 3) F[2] = top;
  }
  F[L] = bottom;
  return L;
}

}  // namespace

void exchange_soil_layer_mass(const model_state& m, int i, int l, double rate, double factor, double availability,
                              std::array<double, 4>& mass, std::array<double, 4>& conc,
                              const std::array<double, 4>& layer_depth, double& removed_total) {
  const double available = availability * mass[l];
  double removed = available * rate * factor;
  if (removed > available) removed = available;
  removed_total += removed;
  if (m.soil_static_conc_on && l != 0) return;
  mass[l] -= removed;
  conc[l] = concentration(m, i, l, m.soil_contam_layers, mass[l], layer_depth[l]);
}

void update_soil_layer_mass(model_state& m, soil_constituent_block& b, soil_constituent_tables& t) {
  const int n = m.cell_count;
  const double area = m.cell_size * m.cell_size;
  const bool moving = !m.soil_static_conc_on;
  for (int i = 1; i <= n; ++i) {
    if (skipped(m, i)) continue;
    std::array<double, 4>& mass = t.mass[i];
    if (m.sediment_contam_on && moving) {
      const double x = t.sed_exchange_mass[i];
      if (std::fabs(x) > 1e-16) mass[1] += x;
      if (mass[1] < -1e-16) {
        t.sed_exchange_mass[i] -= mass[1];
        mass[1] = 0.0;
      }
    }
    const int L = water_of_layers(m, b, t, i);
    std::array<double, 4>& F = b.flux;
    const double gw_volume = cell_value(m.soil_gw_volume_cell, i);
    const bool upward = m.water_table_on && cell_flag(m.yes_exfil, i) == 1 && m.soil_noflux_on != 1;
    if (upward && gw_volume > 1e-16) {
      const double g = t.gw_conc ? cell_value(*t.gw_conc, i) : 0.0;
      for (int l = 0; l <= L; ++l) F[l] *= g;
    } else {
      // An exfiltrating cell without upward exchange moves no mass through its interfaces.
      if (upward) F.fill(0.0);
      F[0] = t.infil_mass[i] > 1e-16 ? t.infil_mass[i] : 0.0;
      for (int l = 1; l <= L; ++l) {
        if (F[l] < -999.99) {
          F[l] = (F[l] - fraction_mark) * t.infil_mass[i];
          continue;
        }
        const double A = b.layer_water[l];
        const double C = A > 1e-16 ? mass[l] * t.dissolved_fraction[i][l] / (area * A) : 0.0;
        F[l] = C * F[l] * area;
      }
    }
    const bool up_path = upward && gw_volume > 1e-16;
    auto settle = [&](int l) {
      if (moving) {
        if (l == 1) mass[1] -= t.tvx_uptake_mass[i];
        mass[l] += F[l - 1] - F[l];
        if (mass[l] < 0.0) {
          // The layer gives what it holds: the flux that leaves it carries the rest less.
          if (up_path)
            F[l - 1] -= mass[l];
          else
            F[l] += mass[l];
          mass[l] = 0.0;
        }
      }
      t.conc[i][l] = concentration(m, i, l, L, mass[l], t.layer_depth[l]);
    };
    if (up_path) {
      for (int l = L; l >= 1; --l) settle(l);
    } else {
      for (int l = 1; l <= L; ++l) settle(l);
    }
    // Booked as they moved, so the layers and the totals balance.
    if (F[L] >= 0.0)
      t.seepage_down_mass += F[L];
    else
      t.seepage_up_mass -= F[L];
    if (up_path) t.exfil_mass[i] -= F[0];
  }
}

void consume_soil_drainage(model_state& m) {
  for (auto* v : {&m.sm_top_drainage, &m.sm_bottom_drainage})
    for (double& x : *v) x = 0.0;
}

}  // namespace pluvo
