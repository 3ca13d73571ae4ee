// The outlets of the two pipe networks tied to the channel network: every channel node, link
// and superjunction a network names is checked against what exists before it is used.
#include <cstdio>
#include <string>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "input/input_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int channel_outlet = 999;
constexpr int overland_outlet = 888;
constexpr int superlink_inlet = 666;

// A channel link and node named by junction j of a network file; a 0 is left to the caller's
// not-found message.
bool channel_tie_fits(const model_state& m, const std::string& file, int j, int link, int node) {
  if (link < 0 || link > m.nlinks || size_t(link) >= m.nx1.size()) {
    stop_run("Error: channel link %d of junction %d in file %s is outside the channel network of %d links.\n", link,
             j, file.c_str(), m.nlinks);
    return false;
  }
  const int nodes = link == 0 ? m.max_nodes : (m.nx1[size_t(link)] < m.max_nodes ? m.nx1[size_t(link)] : m.max_nodes);
  if (node < 0 || node > nodes) {
    stop_run("Error: channel node %d of junction %d in file %s is outside the %d nodes of link %d.\n", node, j,
             file.c_str(), nodes, link);
    return false;
  }
  return true;
}

// Prints the not-found lines of an outlet whose channel node or link is 0 (code 4000, reported
// by the driver's check after the phase).
bool outlet_found(const char* network, const char* file_kind, int j, int node, int link) {
  if (node != 0 && link != 0) return true;
  std::string text;
  if (node == 0) text += format_text("%s outlet channel node not found, at superjunction %d\n", network, j);
  if (link == 0) text += format_text("%s outlet channel link not found, at superjunction %d\n", network, j);
  text += format_text("Check your %s input file to insure that superlink outlets\n", file_kind);
  text += "terminate on stream arcs.\n";
  write_log_message(error_log_file ? error_log_file->stream : nullptr, text.c_str());
  set_error(4000);
  return false;
}

bool junction_fits(const drain_network_record& d, const std::string& file, int k, int junction) {
  if (junction >= 1 && junction <= d.junctions) return true;
  stop_run("Error: junction %d of drain link %d in file %s is outside the network of %d junctions.\n", junction, k,
           file.c_str(), d.junctions);
  return false;
}

bool invalid_network(const std::string& text) {
  stop_run("%s", ("invalid network for drains\n" + text).c_str());
  return false;
}

// Each link's upstream junction is inside the network, and no link leaves an outlet, shares its
// upstream junction with an earlier link or ends where an earlier link starts.
bool drain_links_valid(const drain_network_record& d, const std::string& file) {
  for (int k = 1; k <= d.links; ++k) {
    const int u = d.us_junc[size_t(k)], dn = d.ds_junc[size_t(k)];
    if (!junction_fits(d, file, k, u) || !junction_fits(d, file, k, dn)) return false;
    const int kind = d.inlet_type[0][u];
    if (kind == channel_outlet)
      return invalid_network(format_text("within network junction %d is a channel outlet \n", u));
    if (kind == overland_outlet)
      return invalid_network(format_text("within network junction %d is a overland outlet \n", u));
    if (kind == superlink_inlet)
      return invalid_network(format_text("within network junction %d is a superlink inlet junction \n", u));
    if (u > dn)
      message_out("For link %d upstream junc %d has higher number than downstream junc %d \n"
                  "Junction numbers should increase in the downstream direction \n",
                  k, u, dn);
    for (int e = 1; e < k; ++e) {
      if (u == d.us_junc[size_t(e)])
        return invalid_network(format_text("Superjunction %d is upstream of more than one link \n", u));
      if (dn == d.us_junc[size_t(e)])
        return invalid_network(format_text("Link %d has higher number than downstream links \n"
                                           "Link numbers must increase in the downstream direction \n",
                                           k));
    }
  }
  return true;
}

}  // namespace

int check_drain_network(model_state& m) {
  if (!m.storm_drain_on || !m.drain_net) return 0;
  drain_network_record& d = *m.drain_net;
  const std::string& file = m.storm_drain_name;
  const size_t junctions = size_t(d.junctions) + 1;
  if (d.inlet_type.cols() < d.junctions || d.junct_i.size() < junctions || d.junct_j.size() < junctions ||
      d.us_junc.size() <= size_t(d.links) || d.ds_junc.size() <= size_t(d.links)) {
    stop_run("Error: the drain network of %d junctions and %d links in file %s is incomplete.\n", d.junctions,
             d.links, file.c_str());
    return -1;
  }
  d.chan_con_node.assign(junctions, 0);
  d.chan_con_link.assign(junctions, 0);
  d.drain_junc_gnum.resize(junctions, 0);
  if (m.storm_sewer_on) {
    d.q_to_superlink.assign(size_t(m.num_superjunctions) + 1, 0.0);
    d.superlink_junc.assign(junctions, 0);
    d.superlink_drain_junc.assign(size_t(m.num_superjunctions) + 1, 0);
  }
  int channel_outlets = 0, overland_outlets = 0;
  for (int j = 1; j <= d.junctions; ++j) {
    const size_t j_ = size_t(j);
    const int kind = d.inlet_type[0][j];
    if (kind == channel_outlet) {
      const int link = d.junct_i[j_], node = d.junct_j[j_];
      if (!channel_tie_fits(m, file, j, link, node)) return -1;
      d.chan_con_node[j_] = node;
      d.chan_con_link[j_] = link;
      if (!outlet_found("Drain", "drain", j, node, link)) return -1;
      ++channel_outlets;
    }
    if (kind == overland_outlet) ++overland_outlets;
    if (kind == superlink_inlet) {
      if (!m.storm_sewer_on) {
        stop_run("Error: drain junction %d in file %s feeds a superlink network, but the project has none.\n", j,
                 file.c_str());
        return -1;
      }
      const int s = d.junct_i[j_];
      if (s < 1 || s > m.num_superjunctions || size_t(s) >= m.superlink_junc_gnum.size()) {
        stop_run("Error: superjunction %d of drain junction %d in file %s is outside the network of %d "
                 "superjunctions.\n",
                 s, j, file.c_str(), m.num_superjunctions);
        return -1;
      }
      d.superlink_junc[j_] = s;
      d.superlink_drain_junc[size_t(s)] = j;
      d.drain_junc_gnum[j_] = m.superlink_junc_gnum[size_t(s)];
    }
  }
  if (!drain_links_valid(d, file)) return -1;
  message_out("Your drain network has %d channel outlets and %d overland outlets \n", channel_outlets,
              overland_outlets);
  return 0;
}

void connect_superlink_to_channel(model_state& m) {
  if (!m.storm_sewer_on) return;
  const size_t junctions = size_t(m.num_superjunctions) + 1;
  m.superlink_chan_con_node.assign(junctions, 0);
  m.superlink_chan_con_link.assign(junctions, 0);
  m.superlink_chan_con_flow.assign(junctions, 0.0);
  if (m.inlet_type.cols() < m.num_superjunctions || m.superjunct_i.size() < junctions ||
      m.superjunct_j.size() < junctions)
    return;  // the grid tie has already refused an incomplete network
  for (int j = 1; j <= m.num_superjunctions; ++j) {
    const size_t j_ = size_t(j);
    if (m.inlet_type[0][j] != channel_outlet) continue;
    const int link = m.superjunct_i[j_], node = m.superjunct_j[j_];
    if (!channel_tie_fits(m, m.storm_sewer_path, j, link, node)) return;
    m.superlink_chan_con_node[j_] = node;
    m.superlink_chan_con_link[j_] = link;
    if (!outlet_found("Superlink", "superlink", j, node, link)) return;
  }
}

}  // namespace pluvo
