// The starting depths and discharges of the channel nodes, from a hotstart list or depth file.
#include <cstdio>
#include <vector>

#include "channel/network_setup.hpp"
#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// Water deeper than this counts as water in the channel.
constexpr double wet_depth = 1e-16;

size_t node_key(const model_state& m, int link, int node) {
  return size_t(link) * size_t(m.chan_node_extent) + size_t(node);
}

bool in_network(const model_state& m, int link, int node) {
  return link >= 1 && link <= m.nlinks && node >= 1 && node <= m.nx[size_t(link)] &&
         node_key(m, link, node) < m.yp.size();
}

void note_water(model_state& m, double depth) {
  if (depth <= wet_depth) return;
  m.external_channel_inflow_on = 1;
  m.chan_hotstart_water = 1;
}

// One node a line: node, link, depth (m), discharge (m3/s). Lines that do not give all four, or
// that name a node outside the network, are passed over.
void read_hotstart_list(model_state& m) {
  checked_file f;
  if (!checked_file_open(f, m.chan_hotstart_list_path.c_str(), 'r')) {
    stop_run("Can't open channel hotstart file named %s\n", m.chan_hotstart_list_path.c_str());
    return;
  }
  std::vector<char> line(line_buffer_size);
  while (read_line(line.data(), f)) {
    int node = 0, link = 0;
    double depth = 0.0, q = 0.0;
    if (std::sscanf(line.data(), "%d %d %lf %lf", &node, &link, &depth, &q) != 4) continue;
    if (!in_network(m, link, node)) continue;
    const size_t k = node_key(m, link, node);
    m.chan_depth[k] = depth;
    m.yp[k] = m.bel[k] + depth;
    m.qp[k] = q;
    note_water(m, depth);
  }
  checked_file_close(f);
}

// One line per computational node of every channel link, in link and node order: node, link,
// water surface and optionally the flow area. Past the end of the file the remaining nodes take
// the last water surface read.
void read_hotstart_depths(model_state& m) {
  checked_file& f = m.chan_hotstart_depth_in;
  if (!f.is_open()) return;
  std::vector<char> line(line_buffer_size);
  bool more = true;
  int line_number = 0;
  double surface = 0.0;
  for (int link = 1; link <= m.nlinks; ++link) {
    if (m.ltype[size_t(link)] & (ltype_lake | ltype_structure)) continue;
    for (int node = 1; node <= m.nx[size_t(link)]; ++node) {
      const size_t k = node_key(m, link, node);
      if (k >= m.yp.size()) continue;
      bool with_area = false;
      double area = 0.0;
      if (more && read_line(line.data(), f)) {
        ++line_number;
        int file_node = 0, file_link = 0;
        const int n = std::sscanf(line.data(), "%d %d %lf %lf", &file_node, &file_link, &surface, &area);
        if (n < 3) {
          stop_run("Error: line %d of the channel hotstart file %s does not give a node, a link and a water surface.\n",
                   line_number, f.path.c_str());
          return;
        }
        with_area = n == 4;
      } else {
        more = false;
      }
      m.yp[k] = surface;
      if (with_area) m.area[k] = area;
      m.chan_depth[k] = m.yp[k] - m.bel[k];
      if (m.chan_depth[k] < 0.0) {
        m.yp[k] = m.bel[k];
        m.chan_depth[k] = 0.0;
      }
      note_water(m, m.chan_depth[k]);
    }
  }
}

}  // namespace

void read_channel_hotstart(model_state& m) {
  if (m.read_chan_hotstart_on)
    read_hotstart_depths(m);
  else if (!m.chan_hotstart_list_path.empty())
    read_hotstart_list(m);
}

}  // namespace pluvo
