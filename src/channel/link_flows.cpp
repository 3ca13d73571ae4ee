// Flows at the ends of the links: between nodes, across junctions, into lakes, through the
// structure links, and at the outlet; with the two weir laws.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "channel/channel_routines.hpp"
#include "channel/culverts.hpp"
#include "common/elevation_series.hpp"
#include "common/error_state.hpp"
#include "common/time_series.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

bool is_lake_link(int type) { return (type & ltype_lake) != 0; }
bool is_structure_link(int type) { return (type & ltype_structure) != 0; }
bool is_channel_link(int type) { return (type & 12) != 0; }
bool is_captured(int type) { return is_channel_link(type) && (type & ltype_taken_by_lake) != 0; }

// The network as the flows read it: the node key and the water surface of a node.
struct network_view {
  const model_state& m;
  size_t key(int node, int link) const { return size_t(link) * size_t(m.chan_node_extent) + size_t(node); }
  double ws(int node, int link) const { return m.bel[key(node, link)] + m.chan_depth[key(node, link)]; }
  double conv(int node, int link) const { return m.conv[key(node, link)]; }
  int type(int link) const { return m.ltype[size_t(link)]; }
  double dx(int link) const { return m.link_dx[size_t(link)]; }
  double lake_elev_of(int link) const { return m.lake_elev[size_t(m.lake2link[size_t(link)])]; }
};

// Diffusive-wave flow between two water surfaces: the conveyance of the node the water leaves.
double slope_flow(double slope, double conv_up, double conv_down) {
  return slope >= 0.0 ? std::sqrt(slope) * conv_up : -std::sqrt(std::fabs(slope)) * conv_down;
}

void channel_link_flows(const network_view& v, std::vector<double>& q, int l) {
  const model_state& m = v.m;
  const int last = m.nx[size_t(l)];
  const int d = l == m.nlinks ? 0 : m.dslink[size_t(l)];
  const int dtype = d > 0 ? v.type(d) : 0;
  if (d > 0 && is_structure_link(dtype)) {
    q[v.key(last, l)] = q[v.key(1, d)];
  } else if (d > 0 && (is_lake_link(dtype) || is_captured(dtype))) {
    // A lake never flows back into a stream here.
    const double s = (v.ws(last, l) - v.lake_elev_of(d)) / (2.0 * v.dx(l));
    q[v.key(last, l)] = s > 0.0 ? std::sqrt(s) * v.conv(last, l) : 0.0;
  } else if (d > 0 && is_channel_link(dtype)) {
    const double s = (v.ws(last, l) - v.ws(1, d)) / ((v.dx(l) + v.dx(d)) * 0.5);
    q[v.key(last, l)] = s < 0.0 ? -std::sqrt(std::fabs(s)) * v.conv(1, d) : std::sqrt(s) * v.conv(last, l);
  }
  for (int n = last - 1; n >= 1; n--) {
    const double s = (v.ws(n, l) - v.ws(n + 1, l)) / v.dx(l);
    q[v.key(n, l)] = slope_flow(s, v.conv(n, l), v.conv(n + 1, l));
  }
}

void report_failed_culvert(int link, bool first_call) {
  // The culvert printed why; the run stops at the driver's next check.
  if (first_call)
    stop_run("Error in link number: %d \n", link);
  else
    stop_run("Error in link number %d: \n", link);
}

// A culvert element: its inlet coefficient worked out from two evaluations at heads of 1.5 and
// 1.49 rises over the inlet, then its flow. A failed evaluation adds nothing.
double culvert_element_flow(model_state& m, int s, int link, double h_up, double h_dn) {
  hydraulic_structure& e = m.structures[size_t(s)];
  // Dry at both inverts: skipped. The downstream invert is the one the barrel flows to, also
  // when it comes from the slope.
  if (!(h_up - e.upinvert >= 1e-16 || h_dn - culvert_exit_invert(e) >= 1e-16)) return 0.0;
  const double d = e.size1;
  double q1 = 0.0, q2 = 0.0, rise = 0.0, area = 0.0;
  e.inlet_coeff = 1.07;
  culv_flow(m.structures, s, e.upinvert + 1.5 * d, 0.0, q1, rise, area);
  if (q1 == culvert_failed_flow) report_failed_culvert(link, true);
  culv_flow(m.structures, s, e.upinvert + 1.49 * d, 0.0, q2, rise, area);
  if (q2 == culvert_failed_flow) report_failed_culvert(link, false);
  const double ci = q1 / (area * std::sqrt((1.49 * d - rise) * 19.62));
  // A coefficient above 1, or none at all (a dry or degenerate reference), is taken as 0.99.
  e.inlet_coeff = ci <= 1.0 ? ci : 0.99;
  double q = 0.0;
  culv_flow(m.structures, s, h_up, h_dn, q, rise, area);
  if (q == culvert_failed_flow) {
    report_failed_culvert(link, false);
    return 0.0;
  }
  return q;
}

double structure_element_flow(model_state& m, int s, int link, double h_up, double h_dn) {
  const hydraulic_structure& e = m.structures[size_t(s)];
  double q = 0.0;
  switch (e.structtype) {
    case 1:
      weir_flow(m.structures, s, h_up, h_dn, q);
      return q;
    case 2:
      weir_flow_alt(m.structures, s, h_up, h_dn, q);
      return q;
    case 3:
    case 4:
    case 5:
      return culvert_element_flow(m, s, link, h_up, h_dn);
    case 6:
      return elevation_series_value(h_up, elevation_series_at(e.elevation_series));
    case 7:
      return time_series_value(m.cur_julian, e.release_series);
    case 8:
      return elevation_series_step_value(h_up, elevation_series_at(e.elevation_series));
    default:
      return 0.0;
  }
}

void structure_link_flows(model_state& m, const network_view& v, std::vector<double>& q, int l, double dt_sub,
                          double dt) {
  const int u = m.ndep[size_t(l)] > 0 ? m.uslinks[size_t(l)][1] : 0;
  const int d = m.dslink[size_t(l)];
  // A structure with nothing upstream has nothing to pass.
  double flow = 0.0;
  if (u > 0) {
    const bool from_lake = is_lake_link(v.type(u));
    const double h_up = from_lake ? v.lake_elev_of(u) : m.yp[v.key(m.nx[size_t(u)], u)];
    const double h_dn = m.yp[v.key(1, d)];
    const std::array<int32_t, 3>& range = m.struct_range[size_t(l)];
    for (int s = range[1]; s <= range[2]; s++) flow += structure_element_flow(m, s, l, h_up, h_dn);
    // Forward flow takes no more than the upstream node or lake holds over the sub-step.
    if (flow > 1e-16) {
      const double available = from_lake || is_captured(v.type(u))
                                   ? (dt_sub / dt) * m.lake_volume[size_t(m.lake2link[size_t(u)])]
                                   : m.area[v.key(m.nx[size_t(u)], u)] * v.dx(u);
      if (available - dt_sub * flow < 0.0) flow = std::max(available / dt_sub, 0.0);
    }
    // Reverse flow takes no more than the first node below holds.
    if (flow < -1e-16) {
      const double available = m.area[v.key(1, d)] * v.dx(d);
      if (flow * dt_sub + available < 0.0) flow = std::min(-available / dt_sub, 0.0);
    }
  }
  q[v.key(1, l)] = flow;
  q[v.key(2, l)] = flow;
}

int outlet_flow(const network_view& v, std::vector<double>& q) {
  const model_state& m = v.m;
  const int l = m.nlinks;
  const int last = m.nx[size_t(l)];
  const size_t k = v.key(last, l);
  if (m.head_bound_on) {
    // The stage is imposed: the outlet passes what reaches it plus the storage change of the
    // imposed stage, which the channel phase sets once per update, so every evaluation of one
    // state gives one flow.
    double flow = m.outlet_storage_flow + m.qlat[k] * v.dx(l) + (last > 1 ? q[v.key(last - 1, l)] : 0.0);
    if (m.stream_loss_on) flow += m.qriv[k] * v.dx(l);
    if (m.chan_point_input_on && k < m.chan_point_flow.size()) flow += m.chan_point_flow[k];
    q[k] = flow;
    return 0;
  }
  if (last < 2) {
    stop_run("\nThere is one or less nodes in the outlet link \n"
             "There must be two or more nodes in the outlet link \n"
             "Add one or more nodes to the outlet link \n"
             "Remember, there is one less PLUVO node in a link than VOK nodes \n"
             "Program stopped.\n");
    return -1;
  }
  const double s0 = (m.bel[v.key(last - 1, l)] - m.bel[k]) / v.dx(l);
  if (s0 < 0.0) {
    stop_run("\nThe outlet slope is negative.  Make sure that the bed\n"
             "elevation of the most downstream node is lower than\n"
             "the bed elevation of the node just upstream from it.\n"
             "Program stopped.\n");
    return -1;
  }
  q[k] = std::sqrt(s0) * v.conv(last, l);
  return 0;
}

}  // namespace

void weir_flow(const std::vector<hydraulic_structure>& s, int element, double h_up, double h_dn, double& q) {
  const hydraulic_structure& w = s[size_t(element)];
  const double z = w.upinvert;
  if (z > h_up && z > h_dn) {
    q = 0.0;
    return;
  }
  const double c = h_up > h_dn ? w.inlet_disch_coeff : w.rev_flow_disch_coeff;
  const double high = std::max(h_up, h_dn), low = std::min(h_up, h_dn);
  const double head = high - z;
  double flow;
  if (low - z >= (2.0 / 3.0) * head) {
    // Submerged; linear in the head difference near zero so the flow stays smooth there.
    const double dh = high - low;
    flow = dh < 0.01 ? std::sqrt(1962.0) * c * w.length * (low - z) * dh
                     : std::sqrt(dh * 19.62) * c * w.length * (low - z);
  } else {
    flow = std::sqrt(head * head * head * 19.62 / 3.0) * (2.0 / 3.0) * c * w.length;
  }
  q = h_up > h_dn ? flow : -flow;
}

void weir_flow_alt(const std::vector<hydraulic_structure>& s, int element, double h_up, double h_dn,
                   double& q) {
  const hydraulic_structure& w = s[size_t(element)];
  const double length = w.length, a = w.size1, b = w.size2, z = w.upinvert;
  const double k = (b - a) / (2.0 * length);
  const double x0 = -a * length / (b - a);
  const double c = z - k * x0 * x0 - a * x0;
  if (z >= h_up && z >= h_dn) {
    q = 0.0;
    return;
  }
  const double coeff = h_up > h_dn ? w.inlet_disch_coeff : w.rev_flow_disch_coeff;
  const double high = std::max(h_up, h_dn);
  const double width = std::sqrt(4.0 * k * (high - c) + a * a);
  const double g = width * std::sqrt(high - z) * 2.0 * (a * a - 4.0 * k * (c + z - 2.0 * high)) / k * 0.03125;
  const double flow = std::sqrt(19.62) * coeff / k * g;
  q = h_up > h_dn ? flow : -flow;
}

int link_boundary_flows(model_state& m, std::vector<double>& q, double dt_sub, double dt) {
  const network_view v{m};
  // From the outlet up, so a structure link has its flow before the channel link above reads it.
  for (int l = m.nlinks; l >= 1; l--) {
    const int type = v.type(l);
    if (is_lake_link(type) || is_captured(type)) continue;
    if (is_structure_link(type))
      structure_link_flows(m, v, q, l, dt_sub, dt);
    else
      channel_link_flows(v, q, l);
  }
  return outlet_flow(v, q);
}

}  // namespace pluvo
