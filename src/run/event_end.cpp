// Watching the outlet: the event's peak, the progress line, and the end of events and of
// the run.
#include <array>
#include <cstdio>

#include "common/parallel_team.hpp"
#include "output/output_phases.hpp"
#include "run/clock.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"

namespace pluvo {

namespace {

size_t node_index(const model_state& m, int32_t link, int32_t node) {
  return size_t(m.max_nodes + 1) * size_t(link) + size_t(node);
}

bool network_holds(const model_state& m, const std::vector<double>& v) {
  return m.nlinks > 0 && m.nx.size() > size_t(m.nlinks) &&
         v.size() >= size_t(m.max_nodes + 1) * size_t(m.nlinks + 1);
}

struct extreme {
  double value;
  int32_t node = -1;
  int32_t link = -1;
};

void print_network_extremes(const model_state& m) {
  if (!network_holds(m, m.qp) || !network_holds(m, m.yp) || !network_holds(m, m.bel)) return;
  extreme max_y{-5000.0}, min_y{5000.0}, max_q{-5000.0}, min_q{5000.0};
  for (int32_t link = 1; link <= m.nlinks; ++link) {
    for (int32_t node = 1; node <= m.nx[size_t(link)]; ++node) {
      const size_t k = node_index(m, link, node);
      const double depth = m.yp[k] - m.bel[k];
      const double q = m.qp[k];
      if (depth > max_y.value) max_y = {depth, node, link};
      if (depth < min_y.value) min_y = {depth, node, link};
      if (q > max_q.value) max_q = {q, node, link};
      if (q < min_q.value) min_q = {q, node, link};
    }
  }
  std::printf("    ==> Max Yp (N %d, L %d) = %lf\n", max_y.node, max_y.link, max_y.value);
  std::printf("    ==> Min Yp (N %d, L %d) = %lf\n", min_y.node, min_y.link, min_y.value);
  std::printf("    ==> Max Qp (N %d, L %d) = %lf\n", max_q.node, max_q.link, max_q.value);
  std::printf("    ==> Min Qp (N %d, L %d) = %lf\n", min_q.node, min_q.link, min_q.value);
}

bool any_node_above(const model_state& m, double q) {
  if (!network_holds(m, m.qp)) return false;
  for (int32_t link = 1; link <= m.nlinks; ++link)
    for (int32_t node = 1; node <= m.nx[size_t(link)]; ++node)
      if (m.qp[node_index(m, link, node)] > q) return true;
  return false;
}

void end_event_flags(model_state& m) {
  m.event_in_progress = 0;
  m.event_closed = 1;
  m.event_ended = 1;
}

double surface_volume(const model_state& m) {
  const int32_t n = m.cell_count;
  const double area = m.cell_size * m.cell_size;
  const double* depth = m.ov_depth.data();
  if (m.ov_depth.size() <= size_t(n)) return 0.0;
  return parallel_cell_sums<1>(n, [=](int j) { return std::array<double, 1>{depth[j] * area}; })[0];
}

// Moves the stepping window of a long-term run to the next event's start; after the last
// event there is none, and the window stays.
void advance_window(model_state& m, bool after_cutoff) {
  if (m.inf_richards_on || m.gw_simulation_on || m.ov_point_source_on || m.inf_redist_on ||
      m.chan_lake_step_switch || m.bmp_keep_stepping)
    return;
  const int32_t next = m.event_number + 1;
  if (next > m.event_count) return;
  const double start = event_start_date(m, next);
  m.step_next_time = start;
  m.step_last_time = start - m.step_interval;
  if (m.chan_explic_on) {
    m.chan_next_time = start;
    if (after_cutoff) m.routing_between_events = 0;
  }
  if (m.ov_con_trans_on) {
    m.ov_con_next_time = start;
    m.ov_con_last_time = start - m.step_interval;
  }
  if (m.ov_bmp_on) {
    m.bmp_next_time = start;
    m.bmp_last_time = start - m.step_interval;
  }
}

void end_with_message(model_state& m, bool last, const char* text, bool after_cutoff) {
  end_event_flags(m);
  if (last) {
    m.keep_running = 0;
    if (m.silent_mode == 0) std::fputs(text, stdout);
  }
  if (after_cutoff && m.soil_moisture_accounting_on) m.last_event_ended = 1;
  advance_window(m, after_cutoff);
}

void test_long_term_event_end(model_state& m) {
  if (!m.event_in_progress || !(m.precip_state == 0 || m.precip_state == 3)) return;
  const bool last = m.event_number == m.event_count;
  const double cutoff = m.event_cutoff_q + m.event_min_q_offset;
  if (m.outlet_discharge < cutoff) {
    if (last) {
      m.surface_volume_final = surface_volume(m);
      // Not ended while 5 % or more of the event's rain still stands on the surface.
      if (m.rain_to_overland_volume > 0.0 &&
          m.surface_volume_final - m.event_ov_volume_initial >= 0.05 * m.rain_to_overland_volume &&
          !m.water_table_on && !m.sacramento_on) {
        m.keep_running = 1;
        return;
      }
    }
    if (m.event_peak_tracked < m.event_cutoff_q) {
      if (m.chan_explic_on && any_node_above(m, m.event_cutoff_q)) {
        m.keep_running = 1;
        return;
      }
      end_with_message(m, last,
                       "simulation ended normally; peak flow after last event fell below cutoff value.\n",
                       true);
    } else {
      end_with_message(m, last, "simulation ended normally; end of data for last event reached\n",
                       false);
    }
  } else if (last && (m.water_table_on || m.sacramento_on) && m.et_next_time == -10.0) {
    end_event_flags(m);
    m.keep_running = 0;
  }
}

}  // namespace

void track_peak_discharge(model_state& m) {
  if (m.outlet_discharge > m.event_peak_tracked) {
    m.event_peak_tracked = m.outlet_discharge;
    m.peak_year = m.cur_year;
    m.peak_month = m.cur_month;
    m.peak_day = m.cur_day;
    m.peak_hour = m.cur_hour;
    m.peak_minute = m.cur_minute;
    m.peak_second = m.cur_second;
    m.event_peak_julian = m.cur_julian;
  }
  if (!(m.optimize_on && m.hyd_location_on && m.chan_explic_on && !m.optimize_sed_on)) return;
  if (!network_holds(m, m.qp)) return;
  for (int32_t i = 1; i <= m.hydrograph_link_count; ++i) {
    if (size_t(i) >= m.point_peak_discharge.size() || size_t(i) >= m.hnode.size() ||
        size_t(i) >= m.hlink.size())
      break;
    const int32_t link = m.hlink[size_t(i)], node = m.hnode[size_t(i)];
    if (link < 1 || link > m.nlinks || node < 1 || node > m.max_nodes) continue;
    const double q = m.qp[node_index(m, link, node)];
    if (q >= m.point_peak_discharge[size_t(i)]) m.point_peak_discharge[size_t(i)] = q;
  }
}

void print_progress(model_state& m) {
  // Exactly on a routing step: the owning phase sets its last time to the clock itself.
  const double routed = (m.chan_explic_on || m.chan_mesh_on) ? m.chan_last_time : m.step_last_time;
  if (m.cur_julian != routed) return;
  if (m.quiet_on) return;
  if (!m.super_quiet_on && m.silent_mode != 1) {
    if (m.qout_cfs_on)
      std::printf("event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%16.8lf cfs\n",
                  m.event_number, m.elapsed_min, m.cur_month, m.cur_day, m.cur_year, m.cur_hour,
                  m.cur_minute, m.cur_second, m.outlet_discharge * m.cfs_factor);
    else
      std::printf("event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%16.8lf cms\n",
                  m.event_number, m.elapsed_min, m.cur_month, m.cur_day, m.cur_year, m.cur_hour,
                  m.cur_minute, m.cur_second, m.outlet_discharge);
  }
  if (m.flush_buffer_on) {
    m.progress_line_count += 1;
    if (m.progress_line_count == m.flush_buffer_lines) {
      std::fflush(stdout);
      m.progress_line_count = 0;
    }
  }
  if (m.stream_info) print_network_extremes(m);
}

void check_event_end(model_state& m) {
  if (m.end_date_on && m.cur_julian > m.end_date_julian) {
    end_event_flags(m);
    m.keep_running = 0;
    return;
  }
  if (!m.long_term_on && !m.qir_mode) {
    if (m.cur_julian >= m.run_end_julian) {
      m.keep_running = 0;
      end_event_flags(m);
    }
  } else {
    test_long_term_event_end(m);
  }
  if (m.event_closed) run_analyzers(m, 4);
}

}  // namespace pluvo
