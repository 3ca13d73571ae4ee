// The sediment part of a channel update: the sediment the overland erosion left on the grid-stream
// cells goes into the stream nodes (overbank outflow brings wash load back), the channel transport
// carries it, and the sand, wash-load and lake totals of the summaries are booked.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_routines.hpp"
#include "common/error_state.hpp"
#include "quality/quality_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;
constexpr int channel_bits = 4 | 8;
constexpr int lake_bit = 32;
constexpr int structure_bit = 64;
constexpr int captured_bit = 128;
constexpr int overbank_bit = 256;
constexpr int backwater_bit = 512;
// The two loose layers of an overland cell that flow can carry into a stream.
constexpr int suspended_layer = 2;
constexpr int deposit_layer = 3;

void fit(std::vector<double>& v, size_t n) {
  if (v.size() != n) v.assign(n, 0.0);
}

double at(const std::vector<double>& v, size_t i) { return i < v.size() ? v[i] : 0.0; }

// Nodes of a link as read (og_nx1 is kept only with lakes; it equals nx).
int read_node_count(const model_state& m, int link) {
  return size_t(link) < m.og_nx1.size() ? m.og_nx1[size_t(link)] : m.nx[size_t(link)];
}

// An entry whose link can take sediment from its cell.
bool takes_sediment(int type) {
  if (type & (lake_bit | structure_bit)) return false;
  return !((type & channel_bits) && (type & captured_bit));
}

// The cell's water runs into the node: the link does not exchange water with the cell both ways
// (backwater, or overbank flow on an overbank link, where the sign of qlat says which way), or
// qlat brings water in; and the cell holds water.
bool cell_drains_to_node(const model_state& m, int type, double qlat, double depth) {
  const bool channel = (type & (channel_bits | 16)) != 0;
  const bool backwater = m.overland_backwater_on && channel && (type & backwater_bit);
  const bool overbank = m.overbank_flow_on && (type & channel_bits) && (type & overbank_bit);
  return (!(backwater || overbank) || qlat >= tiny) && depth >= tiny;
}

struct step_context {
  model_state& m;
  ov_sed_record& s;
  int classes;
  size_t slots;  // classes + 1
  double dt;
  std::vector<double> held;  // per class: the cell's suspended and deposited volume, 2k and 2k + 1
  // With sediment-bound constituents: per constituent the sorbed mass per m3 of deposit in the
  // cell's mixing layer, as the cell held it when its first entry came up.
  std::vector<double> soil_sorbed;

  size_t node_class(int key, int k) const { return size_t(key) * slots + size_t(k); }
  double& layer(int cell, int k, int l) { return s.vol_sed[s.cell_class_layer(cell, k, l)]; }
  bool wash(int k) const { return s.sand[size_t(k)] == 0; }
};

// ---- sediment-bound constituents

bool attached_on(const model_state& m) {
  if (!m.sediment_contam_on || m.num_constituents < 1 || !m.ov_sed) return false;
  const size_t cells = size_t(m.cell_count) + 1, n = size_t(m.num_constituents) + 1;
  return m.ov_total_con_mass.size() >= n * cells &&
         m.ov_sed_con_conc.size() >= n * cells * size_t(m.ov_sed->num_sed_classes + 1) &&
         m.chan_qlat_sed_mass.size() >= n * size_t(m.chan_slot_count) * size_t(m.ov_sed->num_sed_classes + 1) &&
         m.attached_to_chan_total.size() >= n && m.event_attached_to_chan.size() >= n;
}

// Top soil layer of the cell: g of constituent c in it (null without one).
double* soil_top(model_state& m, int c, int cell) {
  double** plane = checked_array_3d_plane(m.soil_mass, c);
  return plane && cell <= m.soil_mass.rows && m.soil_mass.columns >= 1 ? &plane[cell][1] : nullptr;
}

double soil_top_dissolved(const model_state& m, int c, int cell) {
  double** plane = checked_array_3d_plane(m.soil_frac_dissolved, c);
  return plane && cell <= m.soil_frac_dissolved.rows && m.soil_frac_dissolved.columns >= 1 ? plane[cell][1] : 1.0;
}

// The cell's mixing layer: the sorbed mass of each constituent per m3 of fine solids in it. Under
// layered soils the layer is at most the top soil layer, with that layer's porosity.
void prepare_mixing_layer(step_context& c, int cell) {
  model_state& m = c.m;
  double depth = m.mixing_layer_depth_cm, porosity = 0.0;
  if (m.inf_layered_soil_on) {
    const double* entry = m.layered_soil_table[size_t(m.soiltype[size_t(cell)])].values;
    const double top = entry[soil_col_thickness];
    if (depth < tiny || depth > top) depth = top;
    porosity = entry[soil_col_porosity];
  } else if (size_t(cell) < m.porosity_cell.size()) {
    porosity = m.porosity_cell[size_t(cell)];
  }
  const double solids = m.cell_size * m.cell_size * depth / 100.0 * (1.0 - porosity);
  double fines = 0.0;  // share of the fine classes in the parent soil
  for (int k = 1; k <= c.classes; ++k)
    if (c.wash(k)) fines += c.s.sed_fract[c.s.cell_class_layer(cell, k, 1)];
  c.soil_sorbed.assign(size_t(m.num_constituents) + 1, 0.0);
  if (fines * solids <= tiny) return;
  for (int q = 1; q <= m.num_constituents; ++q) {
    const double* mass = soil_top(m, q, cell);
    if (mass) c.soil_sorbed[size_t(q)] = (1.0 - soil_top_dissolved(m, q, cell)) * *mass / (fines * solids);
  }
}

// Moves the sorbed mass carried by one entry's share of class k (moved1 suspended, moved2 from
// the deposit) out of the cell's surface and soil stores into the node. A store gives at most
// what it holds.
void deliver_attached(step_context& c, int cell, int key, int k, double moved1, double moved2) {
  model_state& m = c.m;
  const size_t cells = size_t(m.cell_count) + 1;
  for (int q = 1; q <= m.num_constituents; ++q) {
    double* soil = soil_top(m, q, cell);
    double& surface = m.ov_total_con_mass[size_t(q) * cells + size_t(cell)];
    double from_soil = c.soil_sorbed[size_t(q)] * moved2;
    double from_surface = moved1 * m.ov_sed_con_conc[(size_t(q) * cells + size_t(cell)) * c.slots + size_t(k)];
    from_soil = soil ? std::clamp(from_soil, 0.0, std::max(*soil, 0.0)) : 0.0;
    from_surface = std::clamp(from_surface, 0.0, std::max(surface, 0.0));
    if (soil) *soil -= from_soil;
    surface -= from_surface;
    const double moved = from_soil + from_surface;
    const size_t node = (size_t(q) * size_t(m.chan_slot_count) + size_t(key)) * c.slots;
    m.chan_qlat_sed_mass[node + size_t(k)] += moved;
    m.chan_qlat_sed_mass[node] += moved;
    m.event_attached_to_chan[size_t(q)] += moved / 1000.0;
    m.attached_to_chan_total[size_t(q)] += moved / 1000.0;
  }
}

// Books v of class k as moved into the node (negative: given back to the cell).
void book_lateral(step_context& c, int key, int k, double v) {
  model_state& m = c.m;
  m.ov_to_chan_sed_total[size_t(k)] += v;
  m.event_sed_to_chan[size_t(k)] += v;
  m.qlat_sed[c.node_class(key, k)] += v;
  m.qlat_tot_sed[c.node_class(key, k)] += v;
  if (!c.wash(k)) return;
  m.ov_to_chan_sed_total[0] += v;
  m.event_sed_to_chan[0] += v;
}

// Moves one entry's share of the cell's loose sediment (as the cell held it when its first entry
// came up) into the node; false after a NaN (run stopped).
bool deliver_entry(step_context& c, int cell, int key, double share, bool attached) {
  for (int k = 1; k <= c.classes; ++k) {
    const double moved1 = share * c.held[2 * size_t(k)], moved2 = share * c.held[2 * size_t(k) + 1];
    book_lateral(c, key, k, moved1 + moved2);
    c.layer(cell, k, suspended_layer) -= moved1;
    c.layer(cell, k, deposit_layer) -= moved2;
    if (std::isnan(c.m.qlat_sed[c.node_class(key, k)])) {
      stop_run("qlat_sed is not a number, exiting.\n");
      return false;
    }
    if (attached && c.wash(k)) deliver_attached(c, cell, key, k, moved1, moved2);
  }
  return true;
}

// Overbank outflow leaves the node's suspended wash load on the cell.
void return_overbank_wash(step_context& c, int link, int cell, int key, double share, double qlat) {
  for (int k = 1; k <= c.classes; ++k) {
    if (!c.wash(k)) continue;
    const double v = share * c.m.link_dx[size_t(link)] * qlat * at(c.m.SS_node_conc_vol, c.node_class(key, k)) * c.dt;
    book_lateral(c, key, k, v);
    c.layer(cell, k, suspended_layer) -= v;
  }
}

bool move_cell_sediment(step_context& c) {
  model_state& m = c.m;
  const bool attached = attached_on(m);
  c.held.assign(2 * c.slots, 0.0);
  for (int g = 1; g <= m.gst_num_cells; ++g) {
    const int first_cell = m.gst_ncellsingrid[size_t(g)] >= 1 ? m.gst_gnum[size_t(g)][1] : 0;
    if (first_cell < 1 || first_cell > m.cell_count) continue;
    // Each entry takes its share of what the cell holds now, so shares that add to one move it all.
    for (int k = 1; k <= c.classes; ++k) {
      c.held[2 * size_t(k)] = c.layer(first_cell, k, suspended_layer);
      c.held[2 * size_t(k) + 1] = c.layer(first_cell, k, deposit_layer);
    }
    if (attached) prepare_mixing_layer(c, first_cell);
    for (int e = 1; e <= m.gst_ncellsingrid[size_t(g)]; ++e) {
      const int link = m.gst_link[size_t(g)][size_t(e)];
      const int node = m.gst_node[size_t(g)][size_t(e)];
      const int cell = m.gst_gnum[size_t(g)][size_t(e)];
      const double share = m.gst_pct[size_t(g)][size_t(e)];
      const int type = m.ltype[size_t(link)];
      if (!takes_sediment(type) || cell < 1 || cell > m.cell_count) continue;
      const int key = link * m.chan_node_extent + node;
      const double qlat = m.qlat[size_t(key)];
      if (cell_drains_to_node(m, type, qlat, m.ov_depth[size_t(cell)])) {
        if (!deliver_entry(c, cell, key, share, attached)) return false;
      } else if (m.overbank_flow_on && qlat < -tiny) {
        return_overbank_wash(c, link, cell, key, share, qlat);
      }
    }
  }
  return true;
}

void book_outflows(step_context& c) {
  model_state& m = c.m;
  for (int k = 1; k <= c.classes; ++k) {
    if (c.wash(k)) continue;
    const double v = m.chan_sand_inflow[size_t(k)];
    m.sand_to_chan_total += v;
    m.event_sand_to_chan += v;
    m.chan_sand_inflow[size_t(k)] = 0.0;
  }
  for (int p = 1; p <= c.s.num_sand_classes + 1; ++p) {
    const double v = c.dt * m.chan_sand_outflow[size_t(p)];
    m.event_sand_out += v;
    m.sand_out_total += v;
  }
  m.event_wash_out += c.dt * m.chan_wash_outflow;
  m.wash_out_total += c.dt * m.chan_wash_outflow;
  m.max_wash_outflow_rate = std::max(m.max_wash_outflow_rate, m.chan_wash_outflow);
}

void book_sediment_points(step_context& c) {
  model_state& m = c.m;
  if (!(m.optimize_on && m.optimize_sed_on && c.s.sed_hydro_locations_on)) return;
  int last_wash = 0;
  for (int k = 1; k <= c.classes; ++k)
    if (c.wash(k)) last_wash = k;
  for (int i = 1; i <= m.sed_hydrograph_point_count; ++i) {
    if (size_t(i) >= m.slink.size() || size_t(i) >= m.snode.size() || size_t(i) >= m.point_event_volume.size() ||
        size_t(i) >= m.point_peak_discharge.size())
      break;
    const int key = m.slink[size_t(i)] * m.chan_node_extent + m.snode[size_t(i)];
    for (int k = 1; k <= c.classes; ++k)
      if (c.wash(k)) m.point_event_volume[size_t(i)] += c.dt * at(m.qsmax, c.node_class(key, k));
    if (last_wash == 0) continue;
    const double q = at(m.qsmax, c.node_class(key, last_wash));
    if (q > m.point_peak_discharge[size_t(i)]) m.point_peak_discharge[size_t(i)] = q;
  }
}

// Moves one per-update lake figure into the lake's run total (class and slot 0) and its event
// total, and clears it.
void book_lake_figure(std::vector<double>& update, std::vector<double>& run, std::vector<double>* event, double sign,
                      size_t at_class, size_t at_zero, int lake, bool keep = false) {
  const double v = update[at_class];
  run[at_class] += v;
  run[at_zero] += v;
  if (event) (*event)[size_t(lake)] += sign * v;
  if (!keep) update[at_class] = 0.0;
}

void book_lake_sand(model_state& m, double v, int lake) {
  m.tot_lake_sand_in[size_t(lake)] += v;
  m.event_lake_sand_in[size_t(lake)] += v;
}

void book_lakes(step_context& c) {
  model_state& m = c.m;
  for (int l = 1; l <= m.nlakes; ++l) {
    const size_t zero = size_t(l) * c.slots;
    // Slot 0: the bed laid at set-up, carried into the lake.
    book_lake_sand(m, m.lake_sand_inflow[zero], l);
    m.lake_sand_inflow[zero] = 0.0;
    for (int k = 1; k <= c.classes; ++k) {
      const size_t i = zero + size_t(k);
      if (c.wash(k)) {
        book_lake_figure(m.SS_vol_lake_to_chan, m.GLOBAL_SS_vol_lake_to_chan, &m.event_lake_ss_to_chan, 1.0, i, zero, l);
        book_lake_figure(m.SS_vol_chan_to_lake, m.GLOBAL_SS_vol_chan_to_lake, &m.event_chan_ss_to_lake, 1.0, i, zero, l);
        // Kept until the next update: the sediment-bound contaminants settle with it afterwards.
        book_lake_figure(m.SS_vol_lake_settled, m.GLOBAL_SS_vol_lake_settled, &m.event_lake_ss_settled, 1.0, i, zero, l,
                         true);
        book_lake_figure(m.sed_vol_overland_to_lake, m.GLOBAL_sed_vol_overland_to_lake, &m.event_ov_ss_to_lake, 1.0, i,
                         zero, l);
      } else {
        book_lake_sand(m, m.lake_sand_inflow[i], l);
        m.lake_sand_inflow[i] = 0.0;
        // Overland sand lies on the lake's cells; the transport booked it as the lake's deposit.
        m.GLOBAL_sed_vol_overland_to_lake[i] += m.sed_vol_overland_to_lake[i];
        m.sed_vol_overland_to_lake[i] = 0.0;
      }
      const double d = m.lake_depo_vol[i];
      m.tot_lake_depo_in[size_t(l)] += d;
      m.event_lake_depo_in[size_t(l)] += d;
      m.lake_depo_vol[i] = 0.0;
    }
  }
  for (int p = 1; p <= c.s.num_sand_classes + 1; ++p) {
    m.sand_to_lakes_total += m.lake_sand_outflow[size_t(p)];
    m.event_sand_to_lakes += m.lake_sand_outflow[size_t(p)];
    m.lake_sand_outflow[size_t(p)] = 0.0;
  }
}

}  // namespace

void size_channel_sediment_totals(model_state& m) {
  const int classes = m.ov_sed ? m.ov_sed->num_sed_classes : 0;
  const int sand = m.ov_sed ? m.ov_sed->num_sand_classes : 0;
  const size_t slots = size_t(classes) + 1, lakes = size_t(m.nlakes) + 2;
  for (auto* v : {&m.ov_to_chan_sed_total, &m.event_sed_to_chan, &m.chan_sand_inflow}) v->assign(slots, 0.0);
  for (auto* v : {&m.attached_to_chan_total, &m.event_attached_to_chan})
    v->assign(size_t(std::max(m.num_constituents, 0)) + 1, 0.0);
  for (auto* v : {&m.chan_sand_outflow, &m.lake_sand_outflow}) v->assign(size_t(sand) + 2, 0.0);
  m.qsmax.assign(size_t(m.chan_slot_count) * slots, 0.0);
  m.lake_sand_inflow.assign(lakes * slots, 0.0);
  for (auto* v : {&m.event_lake_ss_to_chan, &m.event_chan_ss_to_lake, &m.event_ov_ss_to_lake, &m.event_lake_ss_settled,
                  &m.event_start_lake_ss})
    v->assign(lakes, 0.0);
  m.chan_wash_outflow = 0.0;
  m.sand_to_chan_total = m.event_sand_to_chan = m.sand_out_total = m.event_sand_out = 0.0;
  m.wash_out_total = m.event_wash_out = m.sand_to_lakes_total = m.event_sand_to_lakes = 0.0;
  m.max_wash_outflow_rate = 0.0;
  m.event_start_sand = m.total_chan_sand_vol;
  m.event_start_wash = 0.0;
}

void channel_sediment_step(model_state& m, double dt) {
  if (!m.ov_sed) return;
  step_context c{m, *m.ov_sed, m.ov_sed->num_sed_classes, size_t(m.ov_sed->num_sed_classes) + 1, dt, {}, {}};
  if (m.ov_to_chan_sed_total.size() != c.slots) size_channel_sediment_totals(m);
  fit(m.qlat_sed, size_t(m.chan_slot_count) * c.slots);
  fit(m.qlat_tot_sed, size_t(m.chan_slot_count) * c.slots);
  for (int link = 1; link <= m.nlinks; ++link)
    for (int node = 1; node <= read_node_count(m, link); ++node)
      for (int k = 1; k <= c.classes; ++k) m.qlat_sed[c.node_class(link * m.chan_node_extent + node, k)] = 0.0;
  // The sorbed mass that comes with it is, like the volumes, what entered in this update.
  if (attached_on(m)) std::fill(m.chan_qlat_sed_mass.begin(), m.chan_qlat_sed_mass.end(), 0.0);
  if (!move_cell_sediment(c)) return;
  channel_sediment_transport(m, dt);
  if (error_state.error_terminate) return;
  channel_suspended_sediment_advection(m, dt);
  if (error_state.error_terminate) return;
  for (int link = 1; link < m.chan_link_extent; ++link)
    for (int node = 1; node <= std::max(m.nx[size_t(link)], 1); ++node)
      m.qp_vol_sed[size_t(link * m.chan_node_extent + node)] = 0.0;
  book_channel_sediment_update(m, dt);
}

void book_channel_sediment_update(model_state& m, double dt) {
  if (!m.ov_sed) return;
  step_context c{m, *m.ov_sed, m.ov_sed->num_sed_classes, size_t(m.ov_sed->num_sed_classes) + 1, dt, {}, {}};
  book_outflows(c);
  book_sediment_points(c);
  if (m.lakes_on && m.SS_vol_lake_to_chan.size() >= size_t(m.nlakes + 1) * c.slots) book_lakes(c);
}

}  // namespace pluvo
