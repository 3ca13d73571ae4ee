// Nitrogen and phosphorus totals of the nutrient records for the output writers: masses,
// recomputed from the constituents' current masses at every call.
#include "quality/tvx.hpp"

namespace pluvo {

namespace {

enum species_index { NO2, NO3, NH4, ON, OP, DP };

constexpr double nh4_molar_mass = 18.039;
constexpr double nh3_molar_mass = 17.031;

// Un-ionized ammonia (mass) of NH4 mass m in volume v; concentrations below threshold give 0.
double unionized(double m, double v, double Ka, double h_ion, double threshold) {
  if (v < 0.0001) return 0.0;
  const double c = m / nh4_molar_mass / v;
  if (c < threshold) return 0.0;
  return c * Ka / h_ion * nh3_molar_mass * v;
}

// The mass of constituent k at element i through the record's slot list.
template <typename R>
double mass_at(const R& r, int k, int64_t i) {
  return r.slots[k]->mass[i];
}

template <typename R>
bool sized(const R& r) {
  return r.slots.count > DP && r.slots.data && r.slots[NO2];
}

}  // namespace

void overland_unionized_ammonia(tvx_overland& r) {
  if (!sized(r) || !r.depth) return;
  for (int c = 1; c <= r.ncells; ++c) {
    const double v = (*r.depth)[size_t(c)] * r.cell_area;
    r.unionized_NH3[c] = unionized(mass_at(r, NH4, c), v, r.Ka, r.h_ion, 1e-7);
  }
}

namespace {

// The totals of a record of n elements 1..n (cells or lakes).
template <typename R>
double* total_phosphorus(R& r, int n) {
  if (!sized(r)) return r.total_P.data;
  for (int i = 1; i <= n; ++i) {
    r.total_P[i] = mass_at(r, OP, i);
    r.total_P[i] += mass_at(r, DP, i);
  }
  return r.total_P.data;
}

// Nitrogen from NO2 on, Kjeldahl nitrogen from NH4 on, into the nitrogen array.
template <typename R>
double* total_nitrogen(R& r, int n, int first) {
  if (!sized(r)) return r.total_N.data;
  for (int i = 1; i <= n; ++i) {
    double& t = r.total_N[i];
    t = mass_at(r, first, i);
    for (int k = first + 1; k <= ON; ++k) t += mass_at(r, k, i);
    t += r.unionized_NH3[i];
  }
  return r.total_N.data;
}

}  // namespace

double* overland_total_phosphorus(tvx_overland& r) { return total_phosphorus(r, r.ncells); }

double* overland_total_nitrogen(tvx_overland& r) { return total_nitrogen(r, r.ncells, NO2); }

namespace {

// Calls f(link, node, key) for nodes 1..nx of links 1..nlinks.
template <typename F>
void for_stream_nodes(const tvx_streams& r, F f) {
  if (!sized(r) || !r.nx || r.total_KN.row_count < 1) return;
  for (int l = 1; l <= r.nlinks && size_t(l) < r.nx->size(); ++l)
    for (int n = 1; n <= (*r.nx)[size_t(l)] && n < r.node_extent; ++n) f(l, n, int64_t(l) * r.node_extent + n);
}

}  // namespace

void stream_unionized_ammonia(tvx_streams& r) {
  if (!r.area || !r.link_dx) return;
  for_stream_nodes(r, [&](int l, int n, int64_t key) {
    const double v = (*r.area)[size_t(key)] * (*r.link_dx)[size_t(l)];
    r.unionized_NH3.rows[n][l] = unionized(mass_at(r, NH4, key), v, r.Ka, r.h_ion, 1e-8);
  });
}

double** stream_total_phosphorus(tvx_streams& r) {
  for_stream_nodes(r, [&](int l, int n, int64_t key) {
    double& t = r.total_P.rows[n][l];
    t = mass_at(r, OP, key);
    t += mass_at(r, DP, key);
  });
  return r.total_P.rows;
}

namespace {

// Nitrogen from NO2 on, or Kjeldahl nitrogen from NH4 on, into out.
double** stream_nitrogen(tvx_streams& r, checked_array_2d<double>& out, int first) {
  for_stream_nodes(r, [&](int l, int n, int64_t key) {
    double& t = out.rows[n][l];
    t = mass_at(r, first, key);
    for (int k = first + 1; k <= ON; ++k) t += mass_at(r, k, key);
    t += r.unionized_NH3.rows[n][l];
  });
  return out.rows;
}

}  // namespace

double** stream_total_nitrogen(tvx_streams& r) { return stream_nitrogen(r, r.total_N, NO2); }

double** stream_total_kjeldahl_nitrogen(tvx_streams& r) { return stream_nitrogen(r, r.total_KN, NH4); }

void lake_unionized_ammonia(tvx_lakes& r) {
  if (!sized(r) || !r.volume) return;
  for (int l = 1; l <= r.nlakes && size_t(l) < r.volume->size(); ++l)
    r.unionized_NH3[l] = unionized(mass_at(r, NH4, l), (*r.volume)[size_t(l)], r.Ka, r.h_ion, 1e-7);
}

double* lake_total_phosphorus(tvx_lakes& r) { return total_phosphorus(r, r.nlakes); }

double* lake_total_nitrogen(tvx_lakes& r) { return total_nitrogen(r, r.nlakes, NO2); }

// The Kjeldahl total shares the nitrogen array: a caller writes it before the next total.
double* lake_total_kjeldahl_nitrogen(tvx_lakes& r) { return total_nitrogen(r, r.nlakes, NH4); }

}  // namespace pluvo
