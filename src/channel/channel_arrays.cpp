// The per-node arrays of the channel sediment, grid-stream exchange and channel constituent
// code, made afresh for each run with their starting values.
#include <cmath>
#include <cstdio>

#include "channel/channel_routines.hpp"
#include "channel/cross_sections.hpp"
#include "common/error_state.hpp"
#include "quality/quality_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int lake_link = 32;
constexpr int structure_link = 64;
constexpr int nutrient_water_species = 9;

int sediment_classes(const model_state& m) { return m.ov_sed ? m.ov_sed->num_sed_classes : 0; }

bool lake_or_structure(const model_state& m, int link) {
  return (m.ltype[size_t(link)] & (lake_link | structure_link)) != 0;
}

int node_key(const model_state& m, int link, int node) { return link * m.chan_node_extent + node; }

void zeroed(std::vector<double>& v, size_t n) { v.assign(n, 0.0); }

// Initial sand of an erodible node: the bed down to the largest erosion depth over the node's
// length. A trapezoid holds its bottom width by that depth; a break-point node the band between
// its section's width at the top of the table plus that depth and the table's full area.
double erodible_trapezoid_sand(const model_state& m, int link, int key) {
  return (1.0 - m.sed_porosity) * m.max_eros[size_t(key)] * m.bottom[size_t(key)] * m.link_dx[size_t(link)];
}

double erodible_breakpoint_sand(const model_state& m, int link, int node, int key) {
  const int t = m.table_num[size_t(key)];
  const int e = m.bplink[size_t(link)];
  if (t < 1 || t > m.num_xsec_tables || e < 1 || e > m.num_erodible_bp_links) return 0.0;
  const int pairs = m.numpairs[size_t(t)];
  const int steps = m.numhts[size_t(t)] < m.max_num_interp ? m.numhts[size_t(t)] : m.max_num_interp;
  const size_t polyline = size_t(e * m.chan_node_extent + node) * size_t(m.max_npairs + 1);
  const double width = pairs >= 1 && pairs <= m.max_npairs && polyline + size_t(pairs) < m.xbp_lnn.size()
                           ? std::fabs(m.xbp_lnn[polyline + size_t(pairs)] - m.xbp_lnn[polyline + 1])
                           : 0.0;
  const double dx = m.link_dx[size_t(link)];
  const double full_area = m.xarea[size_t(xsec_key(m, t, steps))];
  return (1.0 - m.sed_porosity) *
         (width * (steps * m.ht_spc[size_t(t)] + m.max_eros[size_t(key)]) * dx - full_area * dx);
}

void set_initial_sand(model_state& m, int classes) {
  m.total_chan_sand_vol = 0.0;
  const size_t reference = size_t(m.num_erodible_bp_links + 1) * size_t(m.chan_node_extent);
  if (m.ch_sand_vol0.size() < reference) m.ch_sand_vol0.resize(reference, 0.0);
  const size_t slots = size_t(classes) + 2;
  for (int link = 1; link <= m.nlinks; ++link) {
    const int type = m.ltype[size_t(link)];
    const bool trapezoid = (type & 4) && (type & 2) && !(type & 8);
    const bool breakpoint = (type & 8) && (type & 2);
    if (!trapezoid && !breakpoint) continue;
    for (int node = 1; node <= m.nx[size_t(link)] && node <= m.max_nodes; ++node) {
      const int key = node_key(m, link, node);
      const double v = trapezoid ? erodible_trapezoid_sand(m, link, key) : erodible_breakpoint_sand(m, link, node, key);
      m.ch_sand_vol[size_t(key) * slots] = v;
      m.ch_sand_vol[size_t(key) * slots + size_t(classes) + 1] = v;
      if (breakpoint && m.bplink[size_t(link)] >= 1)
        m.ch_sand_vol0[size_t(m.bplink[size_t(link)] * m.chan_node_extent + node)] = v;
      m.total_chan_sand_vol += v;
    }
  }
}

void allocate_lake_sediment(model_state& m, int classes) {
  const size_t lakes = size_t(m.nlakes) + 2;
  for (auto* v : {&m.tot_lake_depo_in, &m.tot_lake_sand_in, &m.event_lake_sand_in, &m.event_lake_depo_in,
                  &m.init_sed_vol_lake})
    zeroed(*v, lakes);
  for (auto* v : {&m.lake_depo_vol, &m.qlat_lake_sed, &m.qlat_lake, &m.sed_vol_overland_to_lake, &m.SS_conc_lake,
                  &m.SS_conc_vol_lake, &m.SS_vol_lake, &m.SS_vol_lake_settled, &m.SS_vol_chan_to_lake,
                  &m.SS_vol_lake_to_chan, &m.GLOBAL_SS_vol_lake_to_chan, &m.GLOBAL_SS_vol_chan_to_lake,
                  &m.GLOBAL_sed_vol_overland_to_lake, &m.GLOBAL_SS_vol_lake_settled})
    zeroed(*v, lakes * size_t(classes + 1));
  zeroed(m.sand_vol_deposited_lakebank, lakes * size_t(classes + 2));
}

// Rows 1..constituents of a per-node list, made afresh: the nine nutrient water species take the
// nutrient module's own rows where it has them, every other constituent a zeroed row.
void rebuild_node_rows(model_state& m, checked_array_2d<double>& list, int which, int keys) {
  checked_array_2d_destroy(list);
  for (int c = 1; c <= m.num_constituents; ++c) {
    const int species = m.first_type2_constituent > 0 ? c - m.first_type2_constituent : -1;
    double* shared = species >= 0 && species < nutrient_water_species ? tvx_stream_row(m, species, which) : nullptr;
    if (shared) {
      double* one[2] = {nullptr, shared};
      checked_array_2d_append_rows(list, 1, one, keys - 1);
      continue;
    }
    checked_array_2d_grow_rows(list, 1, keys - 1);
    double* row = list.rows[list.row_count];
    for (int k = 0; k < keys; ++k) row[k] = 0.0;
  }
}

// The same for a per-lake list (lakes 0..nlakes + 1).
void rebuild_lake_rows(model_state& m, checked_array_2d<double>& list, int which) {
  checked_array_2d_destroy(list);
  const int last = m.nlakes + 1;
  for (int c = 1; c <= m.num_constituents; ++c) {
    const int species = m.first_type2_constituent > 0 ? c - m.first_type2_constituent : -1;
    double* shared = species >= 0 && species < nutrient_water_species ? tvx_lake_row(m, species, which) : nullptr;
    if (shared) {
      double* one[2] = {nullptr, shared};
      checked_array_2d_append_rows(list, 1, one, last);
      continue;
    }
    checked_array_2d_grow_rows(list, 1, last);
    double* row = list.rows[list.row_count];
    for (int k = 0; k <= last; ++k) row[k] = 0.0;
  }
}

void allocate_constituent_node_arrays(model_state& m, int classes) {
  const int n = m.num_constituents, keys = m.chan_slot_count;
  for (auto* t : {&m.chan_tvx_source, &m.q_node_mass, &m.chan_point_mass_flux, &m.conc_qlat, &m.chan_qlat_mass,
                  &m.chan_node_decay_coef, &m.chan_mass, &m.chan_gw_mass, &m.dissolved_chan_flux})
    t->assign(n, keys - 1);
  if (m.stream_loss_on) m.qriv_mass.assign(n, keys - 1);
  rebuild_node_rows(m, m.chan_node_conc, 0, keys);
  rebuild_node_rows(m, m.chan_node_mass, 1, keys);
  rebuild_node_rows(m, m.chan_disp, 2, keys);
  if (!m.sediment_contam_on) return;
  zeroed(m.chan_soil_water_partition, size_t(n) + 1);
  for (auto* t : {&m.chan_tot_node_mass, &m.chan_node_fraction_dissolved, &m.chan_node_sed_source_mass,
                  &m.attached_chan_flux})
    t->assign(n, keys - 1);
  const size_t per_class = size_t(n + 1) * size_t(keys) * size_t(classes + 1);
  for (auto* v : {&m.chan_qlat_sed_mass, &m.chan_sed_contam_node_conc, &m.chan_sed_fract_attached})
    zeroed(*v, per_class);
}

void allocate_constituent_lake_arrays(model_state& m, int classes) {
  const int n = m.num_constituents, last = m.nlakes + 1;
  for (auto* t : {&m.lake_tvx_source, &m.lake_decay_coef, &m.lake_chan_inflow_mass, &m.lake_ov_inflow_mass,
                  &m.lake_point_mass, &m.lake_decay_mass, &m.lake_precip_mass, &m.lake_gw_mass,
                  &m.lake_chan_outflow_mass, &m.lake_chan_exchange_mass})
    t->assign(n, last);
  rebuild_lake_rows(m, m.lake_con_conc, 0);
  rebuild_lake_rows(m, m.lake_con_mass, 1);
  zeroed(m.lake_con_mass_initial, size_t(n) + 1);
  if (!m.sediment_contam_on) return;
  for (auto* v : {&m.lake_sed_contam_dmt, &m.event_ov_lake_sed_contam_mass, &m.event_chan_lake_sed_contam_mass,
                  &m.event_lake_sed_contam_source_mass, &m.event_lake_settled_sed_mass, &m.OV_LAKE_SED_CONTAM_MASS,
                  &m.CHAN_LAKE_SED_CONTAM_MASS, &m.LAKE_SED_CONTAM_SOURCE_MASS, &m.LAKE_SETTLED_SED_MASS})
    zeroed(*v, size_t(n) + 1);
  for (auto* t : {&m.ov_lake_sed_source, &m.chan_lake_sed_source, &m.lake_tot_mass, &m.lake_settled_sed_mass,
                  &m.lake_sed_contam_source, &m.lake_fraction_dissolved})
    t->assign(n, last);
  const size_t per_class = size_t(n + 1) * size_t(last + 1) * size_t(classes + 1);
  for (auto* v : {&m.lake_sed_contam_conc, &m.lake_sed_fract_attached}) zeroed(*v, per_class);
}

// Decay, dispersion and concentration of the water in every channel node, and each lake's
// initial mass, which joins the run's initial mass of the constituent (kg).
void set_initial_constituent_state(model_state& m, int classes) {
  const double decay = m.chan_decay_coef_value / 86400.0;
  const double conc = m.init_chan_conc_value;
  for (int link = 1; link <= m.nlinks; ++link) {
    if (lake_or_structure(m, link)) continue;
    for (int node = 1; node <= m.nx[size_t(link)] && node <= m.max_nodes; ++node) {
      const int key = node_key(m, link, node);
      const bool wet = size_t(key) < m.area.size() && m.area[size_t(key)] > 1e-16;
      for (int c = 1; c <= m.num_constituents; ++c) {
        m.chan_node_decay_coef[c][key] = decay;
        m.chan_disp.rows[c][key] = m.chan_disp_coef_value;
        if (wet) m.chan_node_conc.rows[c][key] = conc;
      }
    }
  }
  for (int link = 1; m.lakes_on && link <= m.nlinks; ++link) {
    if (!(m.ltype[size_t(link)] & lake_link)) continue;
    const int lake = m.ldex[size_t(link)];
    if (lake < 1 || lake > m.nlakes) continue;
    const double volume = size_t(lake) < m.lake_volume.size() ? m.lake_volume[size_t(lake)] : 0.0;
    for (int c = 1; c <= m.num_constituents; ++c) {
      const double mass = conc * volume;
      m.lake_con_conc.rows[c][lake] = conc;
      m.lake_con_mass.rows[c][lake] = mass;
      m.lake_con_mass_initial[size_t(c)] += mass / 1000.0;
      m.GLOBAL_MASS_INIT[c] += mass / 1000.0;
      m.lake_decay_coef[c][lake] = decay;
    }
  }
  if (!m.sediment_contam_on) return;
  for (int c = 1; c <= m.num_constituents; ++c) m.chan_soil_water_partition[size_t(c)] = m.ov_partition_coef[c];
  for (size_t i = 0; i < m.chan_sed_fract_attached.size(); ++i)
    if (classes > 0 && i % size_t(classes + 1) != 0) m.chan_sed_fract_attached[i] = 0.33;
  for (size_t i = 0; i < m.lake_sed_fract_attached.size(); ++i)
    if (classes > 0 && i % size_t(classes + 1) != 0) m.lake_sed_fract_attached[i] = 0.33;
}

}  // namespace

void allocate_channel_sediment_arrays(model_state& m) {
  if (m.chan_sed_transport_on != 1) return;
  const int classes = sediment_classes(m);
  const size_t keys = size_t(m.chan_slot_count), per_class = keys * size_t(classes + 1);
  // The tracked bed starts where the bed lies.
  m.new_bel = m.bel;
  m.org_bel = m.bel;
  m.new_bel.resize(keys, 0.0);
  m.org_bel.resize(keys, 0.0);
  for (auto* v : {&m.ch_wash_vol, &m.qlat_sed, &m.qlat_tot_sed, &m.SS_node_conc_vol,
                  &m.chan_sed_conc})
    zeroed(*v, per_class);
  zeroed(m.ch_sand_vol, keys * size_t(classes + 2));
  zeroed(m.chan_sand_capacity, keys);
  for (auto* v : {&m.advect_flux, &m.temp_flux, &m.temp_mass, &m.temp_conc}) zeroed(*v, per_class);
  if (m.lakes_on) allocate_lake_sediment(m, classes);
  set_initial_sand(m, classes);
  size_channel_sediment_totals(m);
}

void allocate_gst_arrays(model_state& m) {
  if (!m.gst_mode_on) return;
  // A lake or structure link has no node spacing of its own; every other link needs one.
  for (int link = 1; link <= m.nlinks; ++link) {
    if (lake_or_structure(m, link) || m.link_dx[size_t(link)] >= 0.0001) continue;
    stop_run("\nYour channel node spacing is %f in link %d\nYou must specify a realistic value.  Program terminated.\n",
             m.link_dx[size_t(link)], link);
    return;
  }
  const std::vector<double> entries(size_t(m.gst_max_entries) + 1, 0.0);
  const size_t cells = size_t(m.gst_num_cells) + 1;
  m.gst_qlat.assign(cells, entries);
  if (m.gw_simulation_on || m.stream_loss_on || m.chan_con_trans_on) {
    m.gst_qriv.assign(cells, entries);
    m.gst_qriv_vol.assign(cells, entries);
    zeroed(m.gst_Vp, size_t(m.chan_slot_count));
  }
  bool lake_losses = false;
  for (int lake = 1; m.lakes_on && lake <= m.nlakes && size_t(lake) < m.calc_loss.size(); ++lake)
    lake_losses = lake_losses || m.calc_loss[size_t(lake)] != 0;
  if (lake_losses) zeroed(m.lake_seepage_cell, size_t(m.cell_count) + 1);
}

void allocate_channel_contaminant_arrays(model_state& m) {
  if (!m.chan_con_trans_on) return;
  const std::string& name = m.chan_contam_out_name;
  if (!name.empty() && !m.chan_contam_out_fp.is_open() && !checked_file_open(m.chan_contam_out_fp, name.c_str(), 'w')) {
    stop_run("Can't open %s to write channel contam data \n", name.c_str());
    return;
  }
  const int classes = sediment_classes(m);
  allocate_constituent_node_arrays(m, classes);
  if (m.lakes_on) allocate_constituent_lake_arrays(m, classes);
  set_initial_constituent_state(m, classes);
}

}  // namespace pluvo
