// The channel network of a run: read, given its per-node state, tied to the grid and reported.
#include "channel/network_setup.hpp"

#include <cstdio>
#include <string>

#include "channel/channel_phases.hpp"
#include "channel/channel_routines.hpp"
#include "common/checked_file.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "output/xy_boundaries.hpp"
#include "quality/quality_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

bool quiet(const model_state& m) { return m.super_quiet_on != 0 || m.silent_mode == 1; }

// Per-node state of the set-up: every array is made anew, so run N of a batch starts as run 1.
void fresh(std::vector<double>& v, const model_state& m) { v.assign(size_t(m.chan_slot_count), 0.0); }

void book_channel_lakes(model_state& m) {
  for (int lake = 1; lake <= m.nlakes && size_t(lake) < m.lake_volume.size(); ++lake)
    m.lake_volume_initial_run += m.lake_volume[size_t(lake)];
  if (m.gw_simulation_on) m.og_gwbound_type = m.gwbound;
}

// A report that cannot be written stops the run with the numbered message naming it.
bool open_report(checked_file& f, const char* name) {
  if (checked_file_open(f, name, 'w')) return true;
  set_error(59, "", name);
  return false;
}

}  // namespace

void cconnect(int cell_count, int node_extent, const grid<int32_t>& cell_numbers,
              const std::vector<int32_t>& cell_link, const std::vector<int32_t>& cell_node,
              std::vector<int32_t>& con_vect) {
  for (int r = 1; r <= cell_numbers.rows(); ++r)
    for (int c = 1; c <= cell_numbers.cols(); ++c) {
      const int g = cell_numbers(r, c);
      if (g > cell_count) {
        message_out("Warning in cconnect, vect>GNUM\n");
        continue;  // no per-cell link or node exists for it
      }
      if (g <= 0 || size_t(g) >= cell_link.size() || cell_link[size_t(g)] == 0) continue;
      const int link = cell_link[size_t(g)];
      const int node = size_t(g) < cell_node.size() ? cell_node[size_t(g)] : 0;
      const long long key = (long long)link * node_extent + node;
      if (link < 0 || node < 0 || node >= node_extent || key >= (long long)con_vect.size()) {
        stop_run("Error: cell %d names link %d node %d, which lies outside the channel network.\n", g, link, node);
        return;
      }
      con_vect[size_t(key)] = g;
    }
}

void write_short_links(const model_state& m) {
  checked_file f;
  if (!open_report(f, "short_links.out")) return;
  std::fputs("Links with 1 node:\n", f.stream);
  for (int link = 1; link <= m.nlinks; ++link)
    if (m.nx[size_t(link)] == 1) std::fprintf(f.stream, "%d\n", link);
  checked_file_close(f);
}

void write_bad_thalweg(const model_state& m) {
  checked_file f;
  if (!open_report(f, "bad_thalweg.out")) return;
  std::fputs("Problem    link    node    thalweg     cell    elev\n", f.stream);
  std::fputs("--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, 3=difference>3.5\n",
             f.stream);
  if (m.gst_mode_on) {
    for (int i = 1; i <= m.gst_num_cells; ++i)
      for (int e = 1; e <= m.gst_ncellsingrid[size_t(i)]; ++e) {
        const int link = m.gst_link[size_t(i)][size_t(e)];
        const int node = m.gst_node[size_t(i)][size_t(e)];
        const int cell = m.gst_gnum[size_t(i)][size_t(e)];
        const size_t key = size_t(link) * size_t(m.chan_node_extent) + size_t(node);
        if (key >= m.bel.size() || cell < 1 || size_t(cell) >= m.elevation.size()) continue;
        if (m.bel[key] > m.elevation[size_t(cell)])
          std::fprintf(f.stream, "0     %4d    %4d   %lf   %d   %lf\n", link, node, m.bel[key], cell,
                       m.elevation[size_t(cell)]);
      }
  }
  checked_file_close(f);
}

void setup_channel_network(model_state& m) {
  if (!m.chan_explic_on) return;
  const std::string reading = format_text("reading channel input data from file %s\n", m.channel_input_path.c_str());
  if (!quiet(m)) message_out("%s", reading.c_str());
  if (m.summary_fp.is_open()) std::fputs(reading.c_str(), m.summary_fp.stream);
  read_chan_input(m);
  if (error_state.error_terminate && error_state.error_code != 301) return;  // a warning goes on
  fresh(m.yp_max_flood, m);
  if (m.chan_sed_transport_on && m.ov_sed && m.ov_sed->sed_constituent_mode == 2) m.chan_con_trans_on = 1;
  allocate_channel_sediment_arrays(m);
  if (error_state.error_terminate) return;
  if (m.lakes_on) book_channel_lakes(m);
  for (auto* v : {&m.chan_depth, &m.area, &m.area_old, &m.conv, &m.dconv, &m.topw}) fresh(*v, m);
  read_channel_hotstart(m);
  if (error_state.error_terminate) return;
  // The nutrient records first: the constituent lists take their arrays as rows.
  size_tvx_stream_records(m);
  allocate_channel_contaminant_arrays(m);
  if (error_state.error_terminate) return;
  // Stream inputs of a nested run are placed on the network (no phase applies them yet).
  if (m.xybdy_inputs.st_point_count > 0)
    match_stream_xy_inputs(m.xybdy_inputs, m.nlinks, m.nx1, m.ltype, m.lnx, m.lny, m.chan_node_extent);
  if (m.stream_loss_on || m.chan_con_trans_on) {
    fresh(m.qriv, m);
    fresh(m.av_qriv, m);
  }
  if (m.lakes_on && m.lake_losses_on) m.lake_source.assign(size_t(m.cell_count) + 1, 0.0);
  m.con_vect.assign(size_t(m.chan_slot_count), 0);
  fresh(m.qlat, m);
  if (m.silent_mode != 1) message_out("Setting up the grid-stream data... \n");
  allocate_gst_arrays(m);
  if (!quiet(m)) message_out("done.\n");
  if (!m.gst_mode_on) cconnect(m.cell_count, m.chan_node_extent, m.cell_number_grid, m.con_link, m.con_node, m.con_vect);
  if (error_state.error_terminate) return;
  assign_tvx_stream_state(m);
  if (error_state.error_code || error_state.error_terminate) return;
  compute_sacramento_weights(m);
  compute_cgw_weights(m);
  if (error_state.error_terminate) return;
  write_short_links(m);
  write_bad_thalweg(m);
}

}  // namespace pluvo
