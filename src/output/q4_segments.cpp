// Q4 segment fluxes: the flow that crosses into each water-body segment of the water-quality
// model, summed every step and written as a mean at each hydrograph output time.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "input/property_readers.hpp"
#include "output/output_phases.hpp"
#include "output/series_files.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// The segment of every cell and the segments that occur; false when the map holds none.
bool read_segments(model_state& m, q4_data& q) {
  checked_file map;
  if (!checked_file_open(map, m.q4_segment_map_file.c_str(), 'r')) return false;
  read_cell_index_map(m, map, m.q4_segment_map_file, q.seg_map);
  if (error_state.error_terminate) return false;
  q.segment_count = 0;
  for (int c = 1; c <= m.cell_count; c++) q.segment_count = std::max(q.segment_count, q.seg_map[size_t(c)]);
  if (q.segment_count < 1) {
    set_error(95);
    report_error(error_state);
    return false;
  }
  q.flux_sum.assign(size_t(q.segment_count) + 1, 0.0);
  q.active_array.assign(size_t(q.segment_count) + 1, 0);
  for (int c = 1; c <= m.cell_count; c++)
    if (q.seg_map[size_t(c)] > 0) q.active_array[size_t(q.seg_map[size_t(c)])] = 1;
  return true;
}

// The link/node pairs that feed segments. A pair off the network stops the run; one whose segment
// is not in the map is refused with code 97.
void read_pairs(model_state& m, q4_data& q) {
  checked_file f;
  if (!checked_file_open(f, m.q4_nodes_to_segs_file.c_str(), 'r')) return;
  std::vector<char> line(size_t(line_buffer_size), 0);
  if (!read_line(line.data(), f)) return;
  int32_t n = 0;
  next_int(line.data(), n);
  bool bad = false;
  for (int i = 0; i < n && read_line(line.data(), f); i++) {
    int32_t link = 0, node = 0, segment = 0;
    next_int(line.data(), link);
    next_int(line.data(), node);
    next_int(line.data(), segment);
    if (m.chan_explic_on && (link < 1 || link > m.nlinks || node < 1 || node >= m.chan_node_extent)) {
      stop_run("Error: the Q4 link/node to segment file %s names link %d node %d; the network has links 1 to %d "
               "and nodes 1 to %d.\n",
               m.q4_nodes_to_segs_file.c_str(), link, node, m.nlinks, m.chan_node_extent - 1);
      return;
    }
    if (segment < 1 || segment > q.segment_count || !q.active_array[size_t(segment)]) bad = true;
    q.link.push_back(link);
    q.node.push_back(node);
    q.segment.push_back(segment);
  }
  q.pair_count = int32_t(q.link.size());
  if (bad) set_error(97);
}

}  // namespace

int read_q4_segment_map(model_state& m) {
  if (!m.q4_fluxes) return 0;
  q4_data& q = m.q4;
  q = q4_data{};
  q.first_line = 1;
  const bool segments = read_segments(m, q);
  if (error_state.error_terminate) return 0;
  if (!segments) {
    // Without segments the pairs have nothing to feed: the run goes on without segment output.
    q.segment_count = std::max(q.segment_count, 0);
    set_error(96);
    report_error(error_state);
    return 0;
  }
  read_pairs(m, q);
  if (error_state.error_terminate) return 0;
  if (!checked_file_open(q.flux_file, m.q4_segment_fluxes_file.c_str(), 'w')) {
    set_error(98, "", m.q4_segment_fluxes_file);
    return -1;
  }
  std::fputs("   jday   ", q.flux_file.stream);
  for (int s = 1; s <= q.segment_count; s++)
    if (q.active_array[size_t(s)]) std::fprintf(q.flux_file.stream, "%-8d  ", s);
  std::fputs("\n", q.flux_file.stream);
  return 0;
}

void sum_q4_segment_fluxes(model_state& m) {
  q4_data& q = m.q4;
  if (q.segment_count <= 0) return;
  q.q4_step_count++;
  const int n = m.cell_count;
  // Only flow across the edge between a segment and cells outside every segment counts. The
  // face discharges are m3/s already.
  const auto across = [&q](int c, int nb, double flow) {
    const int a = q.seg_map[size_t(c)], b = q.seg_map[size_t(nb)];
    if ((a != 0) != (b != 0)) q.flux_sum[size_t(std::max(a, b))] += std::fabs(flow);
  };
  if (m.ov_qx.size() > size_t(n) && m.ov_qy.size() > size_t(n))
    for (int c = 1; c <= n; c++) {
      const int right = m.rightcon[size_t(c)], below = m.belowcon[size_t(c)];
      if (right > 0) across(c, right, m.ov_qx[size_t(c)]);
      if (below > 0) across(c, below, m.ov_qy[size_t(c)]);
    }
  if (!m.chan_explic_on) return;
  for (int i = 0; i < q.pair_count; i++) {
    const size_t key = size_t(q.link[size_t(i)]) * size_t(m.chan_node_extent) + size_t(q.node[size_t(i)]);
    if (key < m.qp.size()) q.flux_sum[size_t(q.segment[size_t(i)])] += std::fabs(m.qp[key]);
  }
}

void write_q4_segment_fluxes(model_state& m, double day) {
  q4_data& q = m.q4;
  if (q.q4_step_count == 0 || !q.flux_file.is_open()) return;
  if (q.first_line) {
    q.base_day = day;
    q.first_line = 0;
  }
  std::FILE* f = q.flux_file.stream;
  std::fprintf(f, "%-8.3lf  ", day - q.base_day + 1.0);
  for (int s = 1; s <= q.segment_count; s++) {
    if (!q.active_array[size_t(s)]) continue;
    std::fprintf(f, "%-8.2lf  ", q.flux_sum[size_t(s)] / q.q4_step_count);
    q.flux_sum[size_t(s)] = 0.0;
  }
  std::fputs("\n", f);
  q.q4_step_count = 0;
}

void free_q4_data(q4_data& q) {
  checked_file_close(q.flux_file);
  q = q4_data{};
}

}  // namespace pluvo
