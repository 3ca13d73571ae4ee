// The nutrient module's share of the grid and channel set-up: its records sized in turn, the
// model's constituent tables built on the records' own arrays, and the parameters assigned.
#include "common/error_state.hpp"
#include "input/constituents.hpp"
#include "quality/quality_phases.hpp"
#include "quality/quality_services.hpp"
#include "quality/tvx.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

bool failed() { return error_state.error_code != 0 || error_state.error_terminate != 0; }

tvx_object* nutrient_object(model_state& m) { return m.nutrients_on ? m.tvx_state.get() : nullptr; }

const double* km_koc_cards(const model_state& m) {
  return m.tvx_soil_km_koc.size() >= 12 ? m.tvx_soil_km_koc.data() : nullptr;
}

// The overland records' arrays become the rows of the constituent tables, and the soil pools
// the soil planes, so that transport and output see one set of values.
tvx_shared_rows shared_rows(tvx_object& t, bool soils) {
  tvx_shared_rows s;
  for (int k = 0; k < tvx_water_count; ++k) {
    tvx_constituent& c = *t.overland.slots[k];
    s.ov_conc[k] = c.conc.data;
    s.ov_mass[k] = c.mass.data;
    s.ov_source_conc[k] = c.maxconc.data;
  }
  for (int p = 0; soils && p < tvx_soil_pool_count; ++p) s.soil_pools[p] = t.soils.slots[p + 1]->rows;
  return s;
}

}  // namespace

void setup_nutrient_grid(model_state& m) {
  tvx_object* t = nutrient_object(m);
  if (!t) return;
  read_aq_env_file(t->aq_env, m);
  if (failed()) return;
  alloc_tvx_overland(t->overland, m.cell_count, &m.ov_depth, m.cell_size, m.water_temp, km_koc_cards(m));
  const bool soils = m.soil_con_trans_on != 0;
  if (soils) alloc_tvx_soils(t->soils, m.cell_count, m.soil_contam_layers, t, &m.THETA);
  const tvx_shared_rows shared = shared_rows(*t, soils);
  allocate_constituent_arrays(m, 0, m.cell_count, 1, &shared);
  assign_constituent_parameters(*t, m);
  if (failed()) return;
  assign_mapped_nutrient_tables(m);
  if (failed()) return;
  init_tvx_overland_parameters(t->overland, t, m.chan_ph);
  m.ov_con_trans_on = 1;
  m.global_transport_on = 1;
}

void setup_nutrient_soils(model_state& m) {
  tvx_object* t = nutrient_object(m);
  if (!t || !m.soil_con_trans_on) return;
  assign_soil_nutrient_tables(m);
  if (failed()) return;
  t->soil_record = &t->soils;
}

void size_tvx_stream_records(model_state& m) {
  tvx_object* t = nutrient_object(m);
  if (!t) return;
  alloc_tvx_streams(t->streams, m.nlinks, m.chan_node_extent, &m.area, &m.link_dx, m.water_temp, &m.yp, &m.bel,
                    km_koc_cards(m));
  if (m.lakes_on) alloc_tvx_lakes(t->lakes, m.nlakes, &m.lake_volume, m.water_temp, km_koc_cards(m));
}

void assign_tvx_stream_state(model_state& m) {
  tvx_object* t = nutrient_object(m);
  if (!t) return;
  init_tvx_stream_parameters(t->streams, &m.nx, &m.ltype, t, m.chan_ph);
  if (m.lakes_on)
    init_tvx_lake_parameters(t->lakes, t, m.chan_ph, m.chan_link_extent - 1, &m.ltype, &m.lake2link);
  read_aq_env_stream_map(t->aq_env, m);
  if (failed()) return;
  assign_stream_constituents(*t, m);
}

void compute_nutrient_totals(model_state& m) {
  tvx_object* t = nutrient_object(m);
  if (!t) return;
  overland_unionized_ammonia(t->overland);
  overland_total_nitrogen(t->overland);
  overland_total_phosphorus(t->overland);
  if (t->streams.total_KN.row_count > 0) {
    stream_unionized_ammonia(t->streams);
    stream_total_nitrogen(t->streams);
    stream_total_kjeldahl_nitrogen(t->streams);
    stream_total_phosphorus(t->streams);
  }
  // The Kjeldahl total shares the nitrogen array: it is copied aside before the nitrogen one.
  tvx_lakes& lakes = t->lakes;
  lake_unionized_ammonia(lakes);
  if (lakes.total_KN.count >= lakes.nlakes && lakes.total_N.count >= lakes.nlakes) {
    lake_total_kjeldahl_nitrogen(lakes);
    for (int l = 1; l <= lakes.nlakes; ++l) lakes.total_KN[l] = lakes.total_N[l];
  }
  lake_total_nitrogen(lakes);
  lake_total_phosphorus(lakes);
}

double* tvx_stream_row(model_state& m, int species, int list) {
  tvx_object* t = nutrient_object(m);
  if (!t || species < 0 || species >= tvx_water_count || t->streams.slots.count < tvx_water_count) return nullptr;
  tvx_constituent& c = *t->streams.slots[species];
  if (c.conc.count < m.chan_slot_count - 1) return nullptr;
  return list == 0 ? c.conc.data : list == 1 ? c.mass.data : t->streams.dispersion.data;
}

double* tvx_lake_row(model_state& m, int species, int list) {
  tvx_object* t = nutrient_object(m);
  if (!t || species < 0 || species >= tvx_water_count || t->lakes.slots.count < tvx_water_count) return nullptr;
  tvx_constituent& c = *t->lakes.slots[species];
  if (c.conc.count < m.nlakes + 1) return nullptr;
  return list == 0 ? c.conc.data : c.mass.data;
}

}  // namespace pluvo
