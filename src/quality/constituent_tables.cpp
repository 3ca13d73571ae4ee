// Constituent names, the water-to-soil pairing of the nutrients and the soil-layer water contents.
#include "quality/constituent_tables.hpp"

#include <cstdio>
#include <cstring>

#include "record/model_state.hpp"

namespace pluvo {

void tvx_constituent_name(char* out, int index, bool soil) {
  const char* const* names = soil ? tvx_soil_pool_names : tvx_water_constituent_names;
  const int count = soil ? 13 : 12;
  if (!out || index < 0 || index >= count) return;
  std::strcpy(out, names[index]);
}

int tvx_constituent_slot(int base, int number, bool water_to_soil_direction) {
  if (number < base || number >= base + 13) return number;
  const int e = (water_to_soil_direction ? tvx_water_to_soil : tvx_soil_to_water)[number - base];
  return e < 0 ? -1 : base + e;
}

void weight_soil_layers(const model_state& m, int c, const double* t, int n, node_matrix<double>& THETA,
                        node_matrix<double>& THETAS) {
  const double A = m.sm_water_top[size_t(c)], B = m.sm_water_lower[size_t(c)];
  const double* entry = m.layered_soil_table[size_t(m.soiltype[size_t(c)])].values;
  const double e7 = entry[7], e8 = entry[8];
  const double T1 = 100.0 * t[1], T12 = 100.0 * (t[1] + t[2]), T123 = 100.0 * (t[1] + t[2] + (n == 3 ? t[3] : 0.0));
  const double D = m.water_table_on ? (m.elevation[size_t(c)] - m.elevgw[size_t(c)]) * 100.0 : entry[22] + entry[23] + 1.0;
  double theta[4] = {}, sat[4] = {};
  if (D <= 1e-16) {  // saturated to the surface
    theta[1] = sat[1] = e7;
    theta[2] = sat[2] = n == 3 ? e7 : e8;
    theta[3] = sat[3] = e8;
  } else {
    sat[1] = e7;
    if (n == 2)
      theta[1] = T1 > D ? (A + (T1 - D) * e7) / T1 : A / T1;
    else if (D > T12)
      theta[1] = t[1] / (t[1] + t[2]) * A / T1;
    else if (T1 > D)
      theta[1] = ((T1 - D) * e7 + A) / T1;
    else
      theta[1] = A / D;
    if (n == 3) {
      sat[2] = e7;
      if (T1 > D)
        theta[2] = e7;
      else if (T12 > D)
        theta[2] = ((D - T1) * A / D + (T12 - D) * e7) / (100.0 * t[2]);
      else
        theta[2] = t[2] / (t[1] + t[2]) * A / (100.0 * t[2]);
      sat[3] = e8;
      if (T12 > D)
        theta[3] = e8;
      else if (T123 > D)
        theta[3] = ((T123 - D) * e8 + B) / (100.0 * t[3]);
      else
        theta[3] = B / (100.0 * t[3]);
    } else {
      sat[2] = e8;
      if (T1 > D)
        theta[2] = e8;
      else if (T12 > D)
        theta[2] = ((T12 - D) * e8 + B) / (100.0 * t[2]);
      else
        theta[2] = B / (100.0 * t[2]);
    }
  }
  for (int k = 1; k <= n; ++k) {
    THETA[c][k] = theta[k];
    THETAS[c][k] = sat[k];
  }
}

}  // namespace pluvo

namespace pluvo {

double soil_layer_water_content(const model_state& m, int c, int L, int layers) {
  const double Wt = m.sm_water_top[size_t(c)], Wl = m.sm_water_lower[size_t(c)];
  const double Dt = m.top_layer_depth_cm, Dm = m.soil_moist_depth_cm, Dx = m.mixing_layer_depth_cm;
  const double phi = m.porosity_cell[size_t(c)];
  const checked_array<double>& T = m.soil_layer_thickness;
  double theta = 0.0;
  if (!m.water_table_on) {
    if (L == 1)
      theta = Wt / Dt;
    else if (L == 2)
      theta = layers == 3 || Dm - Dt < 1e-16 ? Wt / Dt : Wl / (Dm - Dt);
    else
      theta = Wl / (Dm - Dt);
  } else {
    const double g = m.elevation[size_t(c)] - m.elevgw[size_t(c)];
    if (g <= 1e-16) return phi;
    const double x = Dx / 100.0, t = Dt / 100.0;
    if (L == 1) {
      theta = Dx / Dt * Wt / 100.0;
      if (x > g) theta += (x - g) * phi;
      theta /= x;
    } else if (L == 2 && layers == 2 && Dt - Dx > 1e-16) {
      theta = (Dt - Dx) * Wt / Dt / 100.0;
      if (t > g) {
        if (x > g) return phi;
        theta += (t - g) * phi;
      }
      theta /= T[2];
    } else if (L == 2) {
      theta = (layers == 3 ? (Dt - Dx) * Wt / Dt : Wl) / 100.0;
      const double z = layers == 3 ? Dt / 100.0 : Dm / 100.0, z2 = layers == 3 ? Dx / 100.0 : Dt / 100.0;
      if (z > g) {
        if (z2 > g) return phi;
        theta += (z - g) * phi;
      }
      theta /= T[2];
    } else {
      theta = Wl / 100.0;
      const double z = Dm / 100.0;
      if (z > g) {
        if (t > g) return phi;
        theta += (z - g) * phi;
      }
      theta /= T[3];
    }
  }
  if (theta > 1.0) std::fputs("oy", stdout);
  return theta;
}

}  // namespace pluvo
