#pragma once
// Pieces of the explicit channel routing that its tests and the channel phase reach.
#include <vector>

#include "record/model_state.hpp"

namespace pluvo {

struct model_state;

inline int chan_key(const channel_state& ch, int link, int node) {
  return link * ch.chan_node_extent + node;
}

// A link whose nodes the routing sizes and updates: neither a lake link nor a structure link,
// nor a channel link that a lake has taken whole.
inline bool routable_link(const channel_state& ch, int link) {
  const int t = ch.ltype[link];
  if (t & (ltype_lake | ltype_structure)) return false;
  return !((t & (4 | 8)) && (t & ltype_taken_by_lake));
}

// A channel link that a lake has taken whole.
inline bool captured_link(const channel_state& ch, int link) {
  const int t = ch.ltype[link];
  return (t & (4 | 8)) && (t & ltype_taken_by_lake);
}

// An overland cell held at its head by a boundary (types 2, 3, 8 and 9): water it gives the
// stream enters the basin there, water it receives leaves it.
inline bool head_boundary_cell(const model_state& m, int c) {
  if (!m.ov_boundary_on || size_t(c) >= m.boundary_type.size()) return false;
  const int t = m.boundary_type[size_t(c)];
  return t == 2 || t == 3 || t == 8 || t == 9;
}

// Lumped base flow (m3/s) of grid-stream entry i of cell g: its shares of the Sacramento and
// conceptual groundwater outflows of the step.
double base_flow_share(const model_state& m, int g, int i);

// The superjunction flows (m3 over the channel step, per second of it) of every node key; empty
// without the superlink network. Scratch of the calling thread, valid until its next call.
std::vector<double>& superjunction_node_flows(const model_state& m);

// Continuity over one pass of sub-step dt_sub with the flows q on the areas a (updated in
// place). Returns the positive lateral volume of the pass; sets superjunction_volume to the
// pass's superjunction exchange volume and adds its negative lateral volume to lateral_out.
double channel_volume_balance(model_state& m, const std::vector<double>& q, std::vector<double>& a,
                              double dt_sub, double dt, double& superjunction_volume,
                              double& lateral_out);

// Sub-step for a channel step: dt_sub shortened by the largest downstream Courant number of the
// routable nodes. -1 after a fatal stop (printed, code 4000).
double courant_sub_step(model_state& m, double dt_sub);

// Takes sub-step dts from what remains of the channel step; when less than 1 ms would be left,
// this sub-step takes it too.
inline void take_sub_step(double& dts, double& remaining) {
  remaining -= dts;
  if (remaining <= 0.001) {
    dts += remaining;
    remaining = 0.0;
  }
}

// Water held in the channel links, m3.
double channel_link_volume(const channel_state& ch, int lakes_on);

}  // namespace pluvo
