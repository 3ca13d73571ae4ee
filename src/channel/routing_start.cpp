// The start of the channel routing: the outlet boundary, the sections and volume of the initial
// water surfaces, the initial constituent mass, the point-input file and the erosion cells; and
// the channels at each event's start.
#include <cmath>
#include <cstdio>

#include "channel/channel_phases.hpp"
#include "channel/channel_routines.hpp"
#include "channel/channel_services.hpp"
#include "channel/explicit_routing.hpp"
#include "channel/cross_sections.hpp"
#include "channel/network_setup.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/time_series.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// A node whose flow area is at most this holds no water (and no constituent mass).
constexpr double dry_area = 1e-16;

// Links that store channel water: not lakes, not structures, not taken over by a lake.
bool holds_channel_water(int ltype) {
  if (ltype & (ltype_lake | ltype_structure)) return false;
  return !((ltype & (4 | 8)) && (ltype & ltype_taken_by_lake));
}

bool start_outlet_boundary(model_state& m) {
  if (!m.head_bound_on) return true;
  if (m.bound_ts_on) {
    m.bound_ts = find_time_series(m.bound_ts_path.c_str());
    if (!m.bound_ts) {
      set_error(127, m.bound_ts_path);
      return false;
    }
  }
  set_outlet_boundary_depth(m);
  m.external_channel_inflow_on = 1;
  return !error_state.error_terminate;
}

// Initial volume (m3) and constituent mass (g) in the channels, summed in link and node order.
void total_initial_storage(model_state& m) {
  m.chan_volume_initial_run = 0.0;
  const bool constituents = m.chan_con_trans_on && m.num_constituents > 0 &&
                            m.chan_node_mass.row_count >= m.num_constituents &&
                            m.chan_node_conc.row_count >= m.num_constituents;
  if (constituents) m.chan_con_mass_initial.assign(size_t(m.num_constituents) + 1, 0.0);
  for (int link = 1; link <= m.nlinks; ++link) {
    if (!holds_channel_water(m.ltype[size_t(link)])) continue;
    const double dx = m.link_dx[size_t(link)];
    for (int node = 1; node <= m.nx[size_t(link)]; ++node) {
      const int key = link * m.chan_node_extent + node;
      const double area = m.area[size_t(key)];
      m.chan_volume_initial_run += area * dx;
      if (!constituents) continue;
      for (int k = 1; k <= m.num_constituents; ++k) {
        double& mass = m.chan_node_mass.rows[k][key];
        double& conc = m.chan_node_conc.rows[k][key];
        if (area > dry_area) {
          mass = area * dx * conc;
        } else {
          mass = 0.0;
          conc = 0.0;
        }
        m.chan_con_mass_initial[size_t(k)] += mass / 1000.0;
        m.GLOBAL_MASS_INIT[k] += mass / 1000.0;
      }
    }
  }
}

// Opens the point-input file and reads its head; false when the run must stop.
bool start_point_inputs(model_state& m) {
  if (m.chan_point_source_file.empty()) return true;
  if (!checked_file_open(m.chan_point_source_fp, m.chan_point_source_file.c_str(), 'r')) {
    message_out("Can't open %s to read channel point source input file \n", m.chan_point_source_file.c_str());
    message_out("There will be no point inputs to the channel file \n");
    return true;
  }
  m.chan_point_input_on = 1;
  m.external_channel_inflow_on = 1;
  m.chan_point_flow.assign(size_t(m.chan_slot_count) + 2, 0.0);
  m.pointconc.assign(size_t(m.num_constituents) + 1, std::vector<double>(size_t(m.chan_slot_count) + 2, 0.0));
  m.chan_point_count = 0;
  m.chan_point_record_count = 0;
  m.chan_point_records_read = 0;
  m.chan_point_date = date_record();
  m.chan_point_next_time = 0.0;
  const int r = read_chan_point_sources(m);
  if (r == 1) m.chan_point_next_time = chan_point_record_time(m);
  if (r == -1) {
    stop_run("Unexpected end of file in chan point data file.\n"
             "Check the format of the data file.\nProgram terminated.");
    return false;
  }
  return !error_state.error_terminate;
}

void mark_erosion_cells(model_state& m) {
  if (!m.gst_mode_on || !m.soil_erosion_on || m.gst_num_cells < 1 || !m.ov_sed) return;
  std::vector<int>& cells = m.ov_sed->channel_cells;
  for (int i = 1; i <= m.gst_num_cells; ++i)
    for (int e = 1; e <= m.gst_ncellsingrid[size_t(i)]; ++e) {
      const int g = m.gst_gnum[size_t(i)][size_t(e)];
      if (g >= 1 && size_t(g) < cells.size()) cells[size_t(g)] = 1;
    }
}

}  // namespace

void set_outlet_boundary_depth(model_state& m) {
  if (m.bound_ts_on) m.chan_bound_depth = time_series_value(m.cur_julian, m.bound_ts);
  if (m.nlinks < 1) return;
  const size_t key = size_t(m.nlinks) * size_t(m.chan_node_extent) + size_t(m.nx[size_t(m.nlinks)]);
  if (key >= m.yp.size() || key >= m.chan_depth.size()) return;
  m.yp[key] = m.bel[key] + m.chan_bound_depth;
  m.chan_depth[key] = m.chan_bound_depth;
}

namespace {

// The highest water of an erodible node starts at its initial surface, not at 0: a bed below
// sea level would otherwise show water it never had.
void start_highest_water(model_state& m) {
  if (m.max_yp.empty()) return;
  for (int l = 1; l <= m.nlinks; ++l) {
    const int q = m.bplink[size_t(l)];
    if (!((m.ltype[size_t(l)] & 8) && (m.ltype[size_t(l)] & 2)) || q < 1) continue;
    for (int j = 1; j <= m.nx[size_t(l)]; ++j)
      m.max_yp[size_t(q) * size_t(m.chan_node_extent) + size_t(j)] =
          m.yp[size_t(l) * size_t(m.chan_node_extent) + size_t(j)];
  }
}

}  // namespace

void init_channel_routing(model_state& m) {
  if (!start_outlet_boundary(m)) return;
  if (m.chan_explic_on) {
    int32_t table_exceeded = 0;
    ex_section(m, 2, table_exceeded);
    if (error_state.error_terminate) return;
    total_initial_storage(m);
    start_highest_water(m);
  }
  if (!start_point_inputs(m)) return;
  mark_erosion_cells(m);
}

namespace {

bool reads_channel_hotstart(const model_state& m) {
  return m.read_chan_hotstart_on || !m.chan_hotstart_list_path.empty();
}

// Without a hotstart the network starts each event dry, but for runs whose soil carries water
// from one event into the next: their channels keep what the last event left.
void empty_channels_for_event(model_state& m) {
  const bool carried = m.inf_richards_on || m.gw_simulation_on || m.soil_moisture_accounting_on;
  if ((carried && m.loop_pass != 1) || m.chan_explic_on != 1 || reads_channel_hotstart(m)) return;
  for (int l = 1; l <= m.nlinks; ++l)
    for (int n = 1; n <= m.nx[size_t(l)]; ++n) {
      const size_t k = size_t(chan_key(m, l, n));
      m.qp[k] = 0.0;
      m.qlat[k] = 0.0;
      m.yp[k] = m.bel[k];
      m.chan_depth[k] = 0.0;
    }
  if (m.head_bound_on && m.nlinks >= 1) {
    const size_t k = size_t(chan_key(m, m.nlinks, m.nx[size_t(m.nlinks)]));
    m.yp[k] = m.bel[k] + m.chan_bound_depth;
    m.chan_depth[k] = m.chan_bound_depth;
  }
  int32_t table_exceeded = 0;
  ex_section(m, 2, table_exceeded);
}

// The channel water the event starts with, over the nodes the event's final volume counts.
void sum_event_channel_volume(model_state& m) {
  m.event_chan_volume_initial = 0.0;
  if (!(m.chan_explic_on == 1 || m.chan_mesh_on == 1)) return;
  double sum = 0.0;
  for (int l = 1; l <= m.nlinks; ++l) {
    if (!routable_link(m, l)) continue;
    const int last = m.lakes_on ? m.og_nx1[size_t(l)] : m.nx[size_t(l)];
    for (int n = 1; n <= last; ++n) {
      const double a = m.area[size_t(chan_key(m, l, n))];
      if (std::isnan(a)) {
        std::printf("Negative Area Computed At Startup for [Node][Link]: [%d][%d] ltype: %d\n", n, l,
                    int(m.ltype[size_t(l)]));
        continue;
      }
      sum += a * m.link_dx[size_t(l)];
    }
  }
  m.event_chan_volume_initial = sum;
}

}  // namespace

void start_event_channels(model_state& m) {
  if (m.nlinks < 1 || m.nx.size() <= size_t(m.nlinks)) return;
  empty_channels_for_event(m);
  if (error_state.error_terminate) return;
  sum_event_channel_volume(m);
}

}  // namespace pluvo
