#pragma once
// The nutrient module's state: one object, made by the NUTRIENTS card and owned by the model
// record, holding the aquatic-environment table, the nine water constituents of the overland
// cells, the stream nodes and the lakes, the thirteen soil pools, and the values of the
// nutrient cards. The records are built empty; the set-up sizes them once the grid and the
// channel network are known. Arrays no operation reads or writes are not kept.
#include <cstdint>
#include <string>
#include <vector>

#include "common/checked_array.hpp"
#include "common/node_matrix.hpp"

namespace pluvo {

constexpr int tvx_water_count = 9;       // NO2, NO3, NH4, ON, OP, DP, Alg, CBOD, DO
constexpr int tvx_soil_pool_count = 13;  // in the order of the soil pool names
constexpr int aq_env_row_size = 52;

// One initial-condition entry of a nutrient card: kind 0 absent, 1 map file, 2 no argument
// (the mapping table), 3 uniform value.
struct tvx_init_entry {
  int kind = 0;
  std::string file;
  double value = 0.0;
};

// One output entry of a nutrient card: flag 1 when requested.
struct tvx_output_entry {
  int flag = 0;
  std::string file;
};

struct tvx_object;

// One water constituent over the elements of a water body (cells, node keys or lakes).
struct tvx_constituent {
  checked_array<double> conc;
  checked_array<double> mass;
  checked_array<double> dmdt;
  checked_array<double> fracdiss;
  checked_array<double> fracbnd;
  checked_array<double> Km;
  checked_array<double> fsum;
  checked_array<double> maxconc;  // the concentration the land surface releases towards
};

// Writes "<base>-conc" .. "<base>-maxconc" into the eight array names.
void name_tvx_constituent_arrays(tvx_constituent& c, const char* base);

// The slot list of a water body: slot k (0-based) holds water constituent k.
using tvx_slot_list = checked_array<tvx_constituent*>;

// The 52 environment values of one ID of the aquatic-environment table.
struct aq_env_row {
  double values[aq_env_row_size] = {};
};

struct aq_env_record {
  std::string aq_env_file;
  std::string ov_map_file;
  std::string st_map_file;
  int num_ids = 0;
  checked_array<aq_env_row> id_rows;  // IDs 0..num_ids
  int ncells = 0;
  checked_array<int32_t> ov_index;    // cells 1..ncells
  std::vector<int32_t> st_index;      // per node key link x node extent + node
  aq_env_record();
};

struct tvx_overland {
  const std::vector<double>* depth = nullptr;  // the model record's ov_depth
  checked_array<double> dissOrgC;
  checked_array<double> dissOrgC_FOC;
  checked_array<double> dispersion;
  tvx_constituent species[tvx_water_count];
  tvx_slot_list slots;
  double km_koc[12] = {};
  int ncells = 0;
  double cell_area = 0.0;  // m2, set when sized; the ammonia total uses it
  tvx_object* owner = nullptr;
  double h_ion = 0.0;
  double Ka = 0.0;
  checked_array<double> total_N;
  checked_array<double> total_P;
  checked_array<double> unionized_NH3;
};

// Stream nodes: every per-node array is indexed by link x node_extent + node.
struct tvx_streams {
  const std::vector<double>* area = nullptr;  // borrowed from the channel network
  const std::vector<double>* link_dx = nullptr;
  const std::vector<double>* yp = nullptr;
  const std::vector<double>* bel = nullptr;
  checked_array<double> dissOrgC;
  checked_array<double> dissOrgC_FOC;
  checked_array<double> dispersion;
  tvx_constituent species[tvx_water_count];
  tvx_slot_list slots;
  double km_koc[12] = {};
  int node_extent = 0;
  int nlinks = 0;
  int node_count = 0;
  const std::vector<int32_t>* ltype = nullptr;
  const std::vector<int32_t>* nx = nullptr;
  double h_ion = 0.0;
  double Ka = 0.0;
  tvx_object* owner = nullptr;
  checked_array_2d<double> total_P;  // [node][link]
  checked_array_2d<double> total_N;
  checked_array_2d<double> total_KN;
  checked_array_2d<double> unionized_NH3;
  tvx_streams();
};

// Writes the names of the nine stream constituents ("nutr_st-NO2" ..) and of the stream arrays.
void name_tvx_stream_constituents(tvx_streams& s);

struct tvx_lakes {
  const std::vector<double>* volume = nullptr;  // the model record's lake_volume
  tvx_constituent species[tvx_water_count];
  tvx_slot_list slots;
  double km_koc[12] = {};
  int nlakes = 0;
  double h_ion = 0.0;
  double Ka = 0.0;
  tvx_object* owner = nullptr;
  int last_link = 0;  // link extent - 1
  const std::vector<int32_t>* ltype = nullptr;
  const std::vector<int32_t>* lake2link = nullptr;
  checked_array<double> total_P;
  checked_array<double> total_N;  // also total Kjeldahl nitrogen
  // The Kjeldahl total kept apart, so that the nitrogen and the Kjeldahl series both have theirs.
  checked_array<double> total_KN;
  checked_array<double> unionized_NH3;
};

// Soil pools [cell][layer]: the content of each pool; slot s (1-based) holds pool s - 1.
struct tvx_soils {
  const node_matrix<double>* theta = nullptr;  // the model record's THETA
  checked_array_2d<double> pools[tvx_soil_pool_count];
  checked_array<checked_array_2d<double>*> slots;
  checked_array_2d<double> km_koc_rows;  // per cell: [0..5] Km, [6..11] Koc of NO2 .. DP
  int ncells = 0;
  int nlayers = 0;
  tvx_object* owner = nullptr;
};

struct tvx_object {
  aq_env_record aq_env;
  tvx_overland overland;
  tvx_soils* soil_record = nullptr;  // set once the soil parameters are assigned
  tvx_streams streams;
  tvx_lakes lakes;
  tvx_soils soils;
  // NO2 .. DO, then OV_DOC_INIT, OV_DOC_FOC, OV_DISPERSION.
  tvx_init_entry ov_init[12];
  tvx_output_entry out_ov[tvx_water_count];
  tvx_init_entry st_init[tvx_water_count];
  tvx_output_entry out_st[tvx_water_count];
  tvx_output_entry out_hyd[tvx_water_count];
};

}  // namespace pluvo
