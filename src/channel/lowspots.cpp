// Broad-crested weir flow across the low spots of overland dikes, from the higher water surface
// to the lower; a cell in an overland or a channel lake takes its level from the lake and books
// the exchange in the lake.
#include "channel/lowspots.hpp"

#include <algorithm>
#include <cmath>

#include "channel/channel_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// What stands in a cell for the exchange: its lake, a head boundary or its own water.
struct spot_side {
  enum kind_t { plain, overland_lake, channel_lake, boundary } kind = plain;
  int cell = 0;
  int lake = 0;
  double level = 0.0;
};

template <typename T>
T at(const std::vector<T>& v, int i) {
  return i >= 0 && size_t(i) < v.size() ? v[size_t(i)] : T();
}

spot_side side_of(const model_state& m, int cell) {
  spot_side s;
  s.cell = cell;
  const int olake = m.overland_lakes_on ? at(m.oland_lake_new, cell) : 0;
  const int clake = m.lakes_on ? at(m.lake_mask, cell) : 0;
  if (olake > 0 && size_t(olake) < m.overland_lake_records.size()) {
    s.kind = spot_side::overland_lake;
    s.lake = olake;
    s.level = m.overland_lake_records[size_t(olake)].wse;
    return s;
  }
  if (clake > 0 && size_t(clake) < m.lake_elev.size() && size_t(clake) < m.lake_volume.size()) {
    s.kind = spot_side::channel_lake;
    s.lake = clake;
    s.level = m.lake_elev[size_t(clake)];
    return s;
  }
  const int type = m.ov_boundary_on ? at(m.boundary_type, cell) : 0;
  if (type == 2 || type == 3 || type == 8 || type == 9) s.kind = spot_side::boundary;
  s.level = m.elevation[size_t(cell)] + m.ov_depth[size_t(cell)];
  return s;
}

int neighbour_cell(const model_state& m, const lowspot_record& s) {
  const grid<int32_t>& g = m.cell_number_grid;
  if (s.row < 1 || s.row > g.rows() || s.col < 1 || s.col > g.cols()) return 0;
  // The grid's border holds 0, so a side off the grid names no cell.
  switch (s.direction) {
    case 1: return g(s.row - 1, s.col);
    case 2: return g(s.row, s.col + 1);
    case 4: return g(s.row + 1, s.col);
    case 8: return g(s.row, s.col - 1);
    default: return 0;
  }
}

// The volume the higher side can give, no more than v: a plain cell keeps its level at the
// crest and its depth at 0 or more; a channel lake gives no more than it holds.
double available_volume(const model_state& m, const spot_side& giver, double v, double crest, double cell_area) {
  if (giver.kind == spot_side::channel_lake) return std::clamp(v, 0.0, m.lake_volume[size_t(giver.lake)]);
  if (giver.kind != spot_side::plain) return v;
  const double depth = m.ov_depth[size_t(giver.cell)];
  const double dh = std::max(std::min({v / cell_area, giver.level - crest, depth}), 0.0);
  return dh * cell_area;
}

void give(model_state& m, const spot_side& s, double v, double cell_area, double& bound_gain) {
  switch (s.kind) {
    case spot_side::overland_lake:
      m.overland_lake_records[size_t(s.lake)].added_volume -= v;
      break;
    case spot_side::channel_lake:
      m.lake_out_dv[size_t(s.lake)] += v;
      m.lake_volume[size_t(s.lake)] -= v;
      break;
    case spot_side::boundary:
      bound_gain += v;
      break;
    case spot_side::plain:
      m.ov_depth[size_t(s.cell)] = std::max(m.ov_depth[size_t(s.cell)] - v / cell_area, 0.0);
      break;
  }
}

void receive(model_state& m, const spot_side& s, double v, double cell_area, double& bound_loss) {
  switch (s.kind) {
    case spot_side::overland_lake:
      m.overland_lake_records[size_t(s.lake)].added_volume += v;
      break;
    case spot_side::channel_lake:
      m.lake_in_dv[size_t(s.lake)] += v;
      m.lake_volume[size_t(s.lake)] += v;
      break;
    case spot_side::boundary:
      bound_loss += v;
      break;
    case spot_side::plain:
      m.ov_depth[size_t(s.cell)] += v / cell_area;
      break;
  }
}

}  // namespace

double lowspot_submergence_factor(double h2, double h1) {
  const double x = std::pow(h2 / h1, 1.5);
  if (x < 0.76) return 1.0;
  if (x < 0.8) return 1.0 + (x - 0.76) / (0.8 - 0.76) * (0.947 - 1.0);
  if (x < 0.95) return 0.947 + (x - 0.8) / (0.95 - 0.8) * (0.75 - 0.947);
  if (x < 1.0) return 0.75 + (x - 0.95) / (1.0 - 0.95) * (0.0 - 0.75);
  return 0.0;
}

void lowspot_weir_flow(model_state& m, double dt, double& bound_loss, double& bound_gain) {
  const double w = m.cell_size, cell_area = w * w;
  const int count = std::min(m.lowspot_count, int(m.lowspot_records.size()) - 1);
  for (int j = 1; j <= count; j++) {
    lowspot_record& spot = m.lowspot_records[size_t(j)];
    spot.flow = 0.0;
    const grid<int32_t>& g = m.cell_number_grid;
    const int a = spot.row >= 1 && spot.row <= g.rows() && spot.col >= 1 && spot.col <= g.cols()
                      ? g(spot.row, spot.col)
                      : 0;
    const int b = neighbour_cell(m, spot);
    // A low spot onto a cell outside the watershed passes nothing.
    if (a <= 0 || b <= 0) continue;
    const spot_side sa = side_of(m, a), sb = side_of(m, b);
    const double z = spot.elevation;
    if (std::fabs(sa.level - sb.level) <= 0.001 || (sa.level <= z && sb.level <= z)) continue;
    if (size_t(std::max(a, b)) < m.low_spot_flow_cell.size()) {
      m.low_spot_flow_cell[size_t(a)] = 1;
      m.low_spot_flow_cell[size_t(b)] = 1;
    }
    const spot_side& giver = sa.level > sb.level ? sa : sb;
    const spot_side& taker = sa.level > sb.level ? sb : sa;
    const double h1 = giver.level - z;
    const double h2 = std::max(taker.level - z, 0.0);
    const double factor = h2 / h1 < 0.75 ? 1.0 : lowspot_submergence_factor(h2, h1);
    const double q = std::pow(h1, 1.5) * 1.48 * factor * (spot.fraction * w);
    // Limited at the giving side before either side changes.
    const double v = available_volume(m, giver, q * dt, z, cell_area);
    spot.flow = dt > 0.0 ? v / dt : 0.0;
    give(m, giver, v, cell_area, bound_gain);
    receive(m, taker, v, cell_area, bound_loss);
  }
}

}  // namespace pluvo
