// Sizing of the nutrient records once the grid, the soil layers and the channel network are
// known, and the chemistry constants they carry.
#include <cmath>
#include <vector>

#include "common/console.hpp"
#include "quality/tvx.hpp"

namespace pluvo {

namespace {

// count + 1 elements (0..count), every one value; a record is sized once per run.
void sized(checked_array<double>& a, int count, double value) {
  checked_array_destroy(a);
  checked_array_grow_fill(a, count < 0 ? 0 : count, value);
  if (a.data) a.data[0] = value;
}

// rows 1..rows of elements 0..length, every one value.
void sized_table(checked_array_2d<double>& a, int rows, int length, double value) {
  checked_array_2d_destroy(a);
  if (rows < 1) return;
  checked_array_2d_grow_fill(a, rows, value, length);
  for (int i = 1; i <= a.row_count; ++i) a.rows[i][0] = value;
}

void size_constituent(tvx_constituent& c, int count) {
  for (checked_array<double>* a : {&c.conc, &c.mass, &c.dmdt, &c.fracdiss, &c.fracbnd, &c.Km, &c.fsum, &c.maxconc})
    sized(*a, count, 0.0);
}

// The slot list with constituent k in slot k, each constituent sized for count + 1 elements.
void place_constituents(tvx_slot_list& slots, tvx_constituent* species, int count) {
  grow_pointer_list(slots);
  for (int k = 0; k < tvx_water_count; ++k) {
    slots[k] = &species[k];
    size_constituent(species[k], count);
  }
}

void copy_km_koc(double* to, const double* from) {
  for (int i = 0; i < 12; ++i) to[i] = from ? from[i] : 0.0;
}

}  // namespace

double tvx_Ka(double t) { return std::pow(10.0, -(0.09018 + 2729.92 / (t + 273.15))); }

double tvx_h_ion(double pH) { return std::pow(10.0, -pH); }

void grow_pointer_list(tvx_slot_list& list) {
  const int32_t old = list.count;
  checked_array_grow_records(list, 10);
  for (int32_t i = old == 0 ? 0 : old + 1; list.data && i <= list.count; ++i) list.data[i] = nullptr;
}

void alloc_tvx_overland(tvx_overland& r, int n, const std::vector<double>* depth, double cell_size, double t,
                        const double* km_koc) {
  message_out("Allocating memory for overland TVX...");
  r.ncells = n;
  r.cell_area = cell_size * cell_size;
  place_constituents(r.slots, r.species, n);
  r.depth = depth;
  for (checked_array<double>* a : {&r.dissOrgC, &r.dissOrgC_FOC, &r.dispersion}) sized(*a, n, 0.0);
  r.Ka = tvx_Ka(t);
  sized(r.total_N, n, 0.0);
  sized(r.total_P, n, 0.0);
  copy_km_koc(r.km_koc, km_koc);
  message_out("Done\n");
}

void init_tvx_overland_parameters(tvx_overland& r, tvx_object* owner, double pH) {
  r.owner = owner;
  r.h_ion = tvx_h_ion(pH);
  for (checked_array<double>* a : {&r.total_N, &r.total_P, &r.unionized_NH3}) sized(*a, r.ncells, 0.0);
}

void alloc_tvx_soils(tvx_soils& r, int n, int layers, tvx_object* owner, const node_matrix<double>* theta) {
  r.ncells = n;
  r.nlayers = layers;
  message_out("Allocating memory for TVX Soils...");
  for (checked_array_2d<double>& pool : r.pools) sized_table(pool, n, layers, 0.0);
  r.theta = theta;
  r.owner = owner;
  checked_array_destroy(r.slots);
  checked_array_grow_records(r.slots, tvx_soil_pool_count);
  if (r.slots.data) {
    r.slots.data[0] = nullptr;
    for (int s = 1; s <= tvx_soil_pool_count; ++s) r.slots.data[s] = &r.pools[s - 1];
  }
  message_out("Done\n");
}

void alloc_tvx_streams(tvx_streams& r, int links, int node_extent, const std::vector<double>* area,
                       const std::vector<double>* link_dx, double t, const std::vector<double>* yp,
                       const std::vector<double>* bel, const double* km_koc) {
  message_out("Allocating memory for TVX Streams...");
  r.area = area;
  r.link_dx = link_dx;
  r.yp = yp;
  r.bel = bel;
  r.nlinks = links;
  r.node_extent = node_extent;
  r.node_count = node_extent - 1;
  const int last_key = node_extent * (links + 1) - 1;
  for (checked_array<double>* a : {&r.dissOrgC, &r.dissOrgC_FOC, &r.dispersion}) sized(*a, last_key, 0.0);
  r.Ka = tvx_Ka(t);
  place_constituents(r.slots, r.species, last_key);
  copy_km_koc(r.km_koc, km_koc);
  message_out("Done\n");
}

void init_tvx_stream_parameters(tvx_streams& r, const std::vector<int32_t>* nx, const std::vector<int32_t>* ltype,
                                tvx_object* owner, double pH) {
  r.nx = nx;
  r.ltype = ltype;
  r.owner = owner;
  r.h_ion = tvx_h_ion(pH);
  for (checked_array_2d<double>* a : {&r.total_P, &r.total_N, &r.total_KN, &r.unionized_NH3})
    sized_table(*a, r.node_extent, r.nlinks, 0.0);
}

void alloc_tvx_lakes(tvx_lakes& r, int nlakes, const std::vector<double>* volume, double t, const double* km_koc) {
  message_out("Allocating memory for TVX Lakes...");
  r.nlakes = nlakes;
  r.volume = volume;
  r.Ka = tvx_Ka(t);
  // Lakes 0..nlakes + 1, the extent of the channel lake lists that share these arrays.
  place_constituents(r.slots, r.species, nlakes + 1);
  copy_km_koc(r.km_koc, km_koc);
  message_out("Done\n");
}

void init_tvx_lake_parameters(tvx_lakes& r, tvx_object* owner, double pH, int last_link,
                              const std::vector<int32_t>* ltype, const std::vector<int32_t>* lake2link) {
  r.owner = owner;
  r.h_ion = tvx_h_ion(pH);
  r.last_link = last_link;
  r.ltype = ltype;
  r.lake2link = lake2link;
  for (checked_array<double>* a : {&r.total_P, &r.total_N, &r.total_KN, &r.unionized_NH3}) sized(*a, r.nlakes, 0.0);
}

}  // namespace pluvo
