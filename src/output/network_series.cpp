// Time-series outputs of the pipe networks, the channel sediment, the soil temperature and the
// nutrients at the outlet.
#include <cstdio>
#include <vector>

#include "output/linknode_series.hpp"
#include "output/record_values.hpp"
#include "output/series_files.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

double cfs(const model_state& m) { return m.qout_cfs_on ? m.cfs_factor : 1.0; }

// Drain junctions that hand their water on: to a channel node, onto their cell, into a
// superjunction.
bool drain_outlet_kind(int kind) { return kind == 888 || kind == 999 || kind == 666; }

// A node's sediment discharge of class k (m3/s); past the last class, the sand total: the sand
// classes and the bed laid at set-up (slot 0).
double node_sediment(const model_state& m, size_t key, int k) {
  const ov_sed_record& s = *m.ov_sed;
  const size_t base = key * size_t(s.num_sed_classes + 1);
  if (k <= s.num_sed_classes) return entry(m.qsmax, base + size_t(k));
  double sand = entry(m.qsmax, base);
  for (int c = s.num_fine_classes + 1; c <= s.num_sed_classes; ++c) sand += entry(m.qsmax, base + size_t(c));
  return sand;
}

// Fine classes 1..num_fine_classes, then sand classes and the sand total.
template <class value_of>
void for_each_sediment_class(const model_state& m, value_of value) {
  const ov_sed_record& s = *m.ov_sed;
  for (int k = 1; k <= s.num_fine_classes; ++k) value(k);
  for (int k = 1; k <= s.num_sand_classes + 1; ++k) value(s.num_fine_classes + k);
}

// Total suspended sediment at a node, mg/L.
double node_tss(const model_state& m, size_t key) {
  return entry(m.chan_sed_conc, key * size_t(m.ov_sed->num_sed_classes + 1));
}

size_t outlet_key(const model_state& m) {
  if (!m.chan_explic_on || m.nlinks < 1) return 0;
  return size_t(m.nlinks) * size_t(m.chan_node_extent) + size_t(entry(m.nx, size_t(m.nlinks)));
}

double hydrograph_time_column(const model_state& m) {
  if (m.long_term_on) return m.hydrograph_time;
  return m.strict_julian_date_on ? m.cur_julian : m.elapsed_min;
}

// One series record: per superlink the number of values and the values.
void write_superlink_record(std::FILE* f, int& counter, const model_state& m, const node_matrix<double>& values,
                            int extra) {
  std::fprintf(f, "TS    %d\n", counter++);
  for (int s = 1; s <= m.num_superlinks; ++s) {
    const int count = entry(m.nnodes, size_t(s)) + extra;
    std::fprintf(f, "%d   ", count);
    for (int p = 1; p <= count; ++p) std::fprintf(f, "1  %6.5lf   ", matrix_entry(values, p, s));
    std::fputc('\n', f);
  }
  std::fputc('\n', f);
}

}  // namespace

void write_pipe_point_files(const model_state& m) {
  std::FILE* f = open_stream(m.superjunction_output_fp);
  if (m.storm_sewer_on && m.superlink_junc_flow_on == 1 && f) {
    write_point_time_prefix(m, f, false);
    for (int j = 1; j <= m.sjunc_count; ++j)
      std::fprintf(f, "%16.8lf ", entry(m.superjunction_flow, size_t(entry(m.sjunc, size_t(j)))) * cfs(m));
    std::fputc('\n', f);
  }
  f = open_stream(m.superlink_node_output_fp);
  if (m.storm_sewer_on && m.superlink_node_flow_on == 1 && f) {
    write_point_time_prefix(m, f, false);
    for (int i = 1; i <= m.sl_location_count; ++i)
      std::fprintf(f, "%16.8lf ",
                   matrix_entry(m.superlink_node_flow, entry(m.sl_node, size_t(i)), entry(m.sl_link, size_t(i))) *
                       cfs(m));
    std::fputc('\n', f);
  }
  f = open_stream(m.drain_out_file);
  if (m.storm_drain_on && m.drain_output_on == 1 && m.drain_net && f) {
    write_point_time_prefix(m, f, false);
    const drain_network_record& d = *m.drain_net;
    for (int j = 1; j <= d.junctions; ++j)
      if (drain_outlet_kind(j <= d.inlet_type.cols() ? d.inlet_type[0][j] : 0))
        std::fprintf(f, "%16.8lf ", entry(m.drain_junction_flow, size_t(j)) * cfs(m));
    std::fputc('\n', f);
  }
}

void write_channel_outlet_sediment(const model_state& m) {
  std::FILE* f = open_stream(m.sed_outlet_hydro_file);
  if (!m.soil_erosion_on || !m.ov_sed || !m.chan_sed_transport_on || !f) return;
  const double time = hydrograph_time_column(m);
  if (m.long_term_on)
    std::fprintf(f, "%16.8lf", time);
  else if (!m.qout_cfs_on)
    std::fprintf(f, "%16.10lf", time);
  else
    std::fprintf(f, m.strict_julian_date_on ? "%16.8lf " : "%16.8lf", time);
  for_each_sediment_class(
      m, [&](int k) { std::fprintf(f, " %16.10lf", node_sediment(m, outlet_key(m), k) * cfs(m)); });
  std::fputc('\n', f);
  std::FILE* tss = open_stream(m.sed_outlet_tss_file);
  if (m.ov_sed->outlet_sed_tss_on && tss)
    std::fprintf(tss, "%16.4lf %16.4lf \n", time, node_tss(m, outlet_key(m)));
}

void write_sediment_point_files(const model_state& m) {
  if (!m.ov_sed || !m.chan_sed_transport_on) return;
  const auto key_of = [&](int i) {
    return size_t(entry(m.slink, size_t(i))) * size_t(m.chan_node_extent) + size_t(entry(m.snode, size_t(i)));
  };
  std::FILE* f = open_stream(m.sed_tss_hydrograph_location_fp);
  if (m.ov_sed->sed_hydro_locations_on && f) {
    write_point_time_prefix(m, f, false);
    for (int i = 1; i <= m.sed_hydrograph_point_count; ++i)
      for_each_sediment_class(m, [&](int k) {
        std::fprintf(f, "%16.10lf ", node_sediment(m, key_of(i), k) * cfs(m));
      });
    std::fputc('\n', f);
  }
  f = open_stream(m.sed_tss_loc_file);
  if (m.ov_sed->out_tss_loc_on && f) {
    write_point_time_prefix(m, f, false);
    for (int i = 1; i <= m.sed_hydrograph_point_count; ++i) std::fprintf(f, "%16.4lf", node_tss(m, key_of(i)));
    std::fputc('\n', f);
  }
}

void write_sediment_linknode_step(model_state& m) {
  std::FILE* f = open_stream(m.out_stream_sed_flux_fp);
  if (!m.chan_explic_on || !m.chan_sed_transport_on || !m.ov_sed || m.nlinks < 1 || !f) return;
  // Per node the classes' fluxes summed in class order, in cm3/s.
  std::vector<double> sum(size_t(m.nlinks + 1) * size_t(m.chan_node_extent) + 1, 0.0);
  for (int l = 1; l <= m.nlinks; ++l)
    for (int n = 1; n <= entry(m.nx, size_t(l)); ++n) {
      const size_t key = size_t(l) * size_t(m.chan_node_extent) + size_t(n);
      if (key >= sum.size()) continue;
      for (int k = 1; k <= m.ov_sed->num_sed_classes; ++k)
        sum[key] += node_sediment(m, key, k) * 1000000.0;
    }
  write_linknode_step(f, m.nlinks, m.nx.data(), printed_node_counts(m), m.ltype.data(), m.chan_sed_flux_series_step,
                      sum.data(), nullptr, m.chan_node_extent, 0, m.lake2link.data(),
                      m.lake_elev.empty() ? nullptr : m.lake_elev.data());
  m.chan_sed_flux_series_step++;
}

void write_superlink_series(model_state& m) {
  if (!m.storm_sewer_on) return;
  if (std::FILE* f = open_stream(m.pipe_flow_fp); m.pipe_flow_flag && f)
    write_superlink_record(f, m.superlink_flow_series_step, m, m.superlink_pipe_flow, 0);
  if (std::FILE* f = open_stream(m.pipe_head_fp); m.pipe_head_flag && f)
    write_superlink_record(f, m.superlink_head_series_step, m, m.superlink_node_head, 1);
  if (std::FILE* f = open_stream(m.pipe_tile_fp); m.pipe_tile_flag && m.leaky_pipes_on && f)
    write_superlink_record(f, m.superlink_tile_series_step, m, m.superlink_tile_flow, 0);
}

// The soil column shown is the one of cell 45, when the grid has one; the file only reads it.
void write_soil_temperature_line(const model_state& m) {
  std::FILE* f = open_stream(m.permafrost_temperature_fp);
  if ((!m.permafrost_gipl_flag && !m.multi_layer_infil_gipl_flag) || !f) return;
  if (m.elapsed_min < 1e-16) {
    std::fputs("Time             Air Temp(C) ", f);
    for (size_t d = 0; d < m.gipl_output_depths.size(); ++d) std::fputs("Depth(m) Soil Temp(C)", f);
    std::fputc('\n', f);
  }
  std::fprintf(f, "%16.8lf %8.3lf ", m.long_term_on ? m.cur_julian : m.elapsed_min, m.hmet_temperature);
  constexpr int shown_cell = 45;
  const gipl_soil_table& g = m.gipl_state;
  const int type = m.cell_count >= shown_cell ? entry(m.GIPL_soiltype, size_t(shown_cell)) : 0;
  if (type >= 1 && type <= g.type_count && size_t(type) < g.Depth.size()) {
    const std::vector<double>& depth = g.Depth[size_t(type)];
    for (int j = 1; j <= entry(g.Dn_nums, size_t(type)) && size_t(j) < depth.size(); ++j)
      for (double shown : m.gipl_output_depths)
        if (shown == depth[size_t(j)])
          std::fprintf(f, "%8.4lf  %11.4lf", depth[size_t(j)], matrix_entry(m.perma_tem, shown_cell, j));
  }
  std::fputs(" \n", f);
}

namespace {

// The outlet's water at an output time, per nutrient constituent c: its concentration (g/m3) and
// the run's mass through the outlet so far (g, as the stream masses, so that a small basin's
// interval masses still show in the file's four decimals). With channel transport the outlet is the last
// node of the last link; without channels it is the outlet cell's overland water.
void outlet_water(const model_state& m, int c, double& conc, double& mass_so_far) {
  conc = 0.0;
  mass_so_far = 0.0;
  if (m.chan_explic_on) {
    if (!m.chan_con_trans_on || m.nlinks < 1 || c > m.chan_node_conc.row_count) return;
    const size_t outlet = size_t(m.nlinks) * size_t(m.chan_node_extent) + size_t(entry(m.nx, size_t(m.nlinks)));
    if (outlet < size_t(m.chan_slot_count)) conc = m.chan_node_conc.rows[c][outlet];
    if (size_t(c) < m.run_constituent_terms.size()) mass_so_far = 1000.0 * m.run_constituent_terms[size_t(c)].chan_out;
    return;
  }
  const double* row = checked_array_2d_row(m.ov_conc, c);
  if (row && m.outlet_cell >= 1 && m.outlet_cell <= m.cell_count) conc = row[m.outlet_cell];
  if (c <= m.OV_MASS_OUT.count) mass_so_far = 1000.0 * m.OV_MASS_OUT[c];
}

}  // namespace

void fill_tvx_outlet_values(model_state& m) {
  if (!m.tvx_state || m.first_type2_constituent < 1) return;
  for (int k = 0; k < 9; ++k) {
    double so_far = 0.0;
    outlet_water(m, m.first_type2_constituent + k, m.tvx_outlet_conc[k], so_far);
    m.tvx_outlet_mass[k] = so_far - m.tvx_outlet_mass_written[k];
    m.tvx_outlet_mass_written[k] = so_far;
  }
}

void write_tvx_hydrograph_step(const model_state& m) {
  if (!m.tvx_state) return;
  const double time = m.long_term_on ? m.hydrograph_time : m.elapsed_min;
  for (int k = 0; k < 9; ++k) {
    if (m.tvx_state->out_hyd[k].flag != 1) continue;
    if (std::FILE* f = open_stream(m.tvx_hyd_conc_fp[k])) std::fprintf(f, "%16.8lf %11.4lf\n", time, m.tvx_outlet_conc[k]);
    if (std::FILE* f = open_stream(m.tvx_hyd_mass_fp[k])) std::fprintf(f, "%16.8lf %11.4lf\n", time, m.tvx_outlet_mass[k]);
  }
}

void write_contaminant_linknode_steps(model_state& m) {
  if (!m.chan_con_trans_on) return;
  for (int i = 1; i <= m.contam_chan_writer_count && size_t(i) < m.contaminant_writers.size(); ++i) {
    linknode_series_write_step(m.contaminant_writers[size_t(i)].chan_conc);
    linknode_series_write_step(m.contaminant_writers[size_t(i)].chan_mass_series);
  }
}

}  // namespace pluvo
