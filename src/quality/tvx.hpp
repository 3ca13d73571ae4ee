#pragma once
// The nutrient module's set-up and output totals: sizing of its records and their chemistry
// constants, the aquatic-environment file, the assignment of the initial concentrations and
// parameters from the nutrient cards and mapping tables, and the nitrogen and phosphorus totals.
#include <vector>

#include "record/tvx_state.hpp"

namespace pluvo {

struct model_state;

// NH3/NH4+ dissociation constant at water temperature t (degrees C), and 10^-pH.
double tvx_Ka(double t);
double tvx_h_ion(double pH);

// One grow step of a slot list: 10 slots (0..10).
void grow_pointer_list(tvx_slot_list& list);

// Sizing (each prints its allocation line and "Done\n").
void alloc_tvx_overland(tvx_overland& r, int n, const std::vector<double>* depth, double cell_size, double t,
                        const double* km_koc);
void init_tvx_overland_parameters(tvx_overland& r, tvx_object* owner, double pH);
void alloc_tvx_soils(tvx_soils& r, int n, int layers, tvx_object* owner, const node_matrix<double>* theta);
// Streams are sized for every node key: keys link x node_extent + node, node_extent x
// (links + 1) of them.
void alloc_tvx_streams(tvx_streams& r, int links, int node_extent, const std::vector<double>* area,
                       const std::vector<double>* link_dx, double t, const std::vector<double>* yp,
                       const std::vector<double>* bel, const double* km_koc);
void init_tvx_stream_parameters(tvx_streams& r, const std::vector<int32_t>* nx, const std::vector<int32_t>* ltype,
                                tvx_object* owner, double pH);
void alloc_tvx_lakes(tvx_lakes& r, int nlakes, const std::vector<double>* volume, double t, const double* km_koc);
void init_tvx_lake_parameters(tvx_lakes& r, tvx_object* owner, double pH, int last_link,
                              const std::vector<int32_t>* ltype, const std::vector<int32_t>* lake2link);

// The aquatic-environment file; the outcome is the error state.
void read_aq_env_file(aq_env_record& r, model_state& m);
bool read_aq_env_header(checked_file& f);
int read_aq_env_maps(checked_file& f, aq_env_record& r);
bool read_aq_env_num_ids(checked_file& f, aq_env_record& r);
int read_aq_env_params(checked_file& f, aq_env_record& r);
void read_aq_env_index_map(aq_env_record& r, model_state& m);
// The stream index map, read at channel set-up; every entry 1 when the file cannot be opened.
void read_aq_env_stream_map(aq_env_record& r, model_state& m);

// Parameter assignment.
void assign_constituent_parameters(tvx_object& t, model_state& m);
void assign_mapped_nutrient_tables(model_state& m);
void assign_stream_constituents(tvx_object& t, model_state& m);
void assign_soil_nutrient_tables(model_state& m);

// Output totals: masses, recomputed from the constituents' mass arrays at each call.
void overland_unionized_ammonia(tvx_overland& r);
double* overland_total_phosphorus(tvx_overland& r);
double* overland_total_nitrogen(tvx_overland& r);
void stream_unionized_ammonia(tvx_streams& r);
double** stream_total_phosphorus(tvx_streams& r);
double** stream_total_nitrogen(tvx_streams& r);
double** stream_total_kjeldahl_nitrogen(tvx_streams& r);
void lake_unionized_ammonia(tvx_lakes& r);
double* lake_total_phosphorus(tvx_lakes& r);
double* lake_total_nitrogen(tvx_lakes& r);
double* lake_total_kjeldahl_nitrogen(tvx_lakes& r);

}  // namespace pluvo
