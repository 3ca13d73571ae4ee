// Channel lakes cover grid cells: the cells under a lake follow its level, taken and given up in
// the order of the lake's list of cells, and a cell the lake floods hands its water to the lake.
#include "channel/channel_lakes.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "channel/channel_phases.hpp"
#include "channel/channel_routines.hpp"
#include "channel/channel_services.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;
constexpr double ground_margin = 1e-7;  // m: a cell joins only once the level is this far above its ground

int listed_cell(const model_state& m, int l, int p) {
  const grid_position& g = m.lake_search[size_t(l)][size_t(p)];
  const auto& grid = m.cell_number_grid;
  if (g.row < 1 || g.row > grid.rows() || g.col < 1 || g.col > grid.cols()) return 0;
  return grid(g.row, g.col);
}

void print_everywhere(model_state& m, const char* text) {
  message_out("%s", text);
  if (m.summary_fp.is_open()) std::fputs(text, m.summary_fp.stream);
}

// Cell c joins lake l; the water it held goes to the lake. False after a merge with another
// lake, which stops the run. Adds the taken volume to taken.
bool join_lake(model_state& m, int l, int c, bool rated, double& taken) {
  if (m.lake_mask[size_t(c)] != 0) {
    stop_run("Your lake has potentially merged with another lake.....\n"
             "Current PLUVO formulation is not up for this. Will be soon.\n"
             "PLUVO Terminating.\n");
    return false;
  }
  m.lake_mask[size_t(c)] = l;
  m.new_flooded_grid[size_t(c)] = 1;
  m.lake_cells[size_t(l)]++;
  if (m.ov_boundary_on && m.boundary_type.size() > size_t(c)) {
    m.lake_saved_boundary_type[size_t(c)] = m.boundary_type[size_t(c)];
    m.boundary_type[size_t(c)] = 7;
  }
  double& depth = m.ov_depth[size_t(c)];
  if (depth > (rated ? tiny : 0.0)) {
    const double v = depth * m.cell_size * m.cell_size;
    m.lake_volume[size_t(l)] += v;
    m.lake_flooded_volume[size_t(l)] += v;
    m.lake_in_dv[size_t(l)] += v;  // land water into the lake: booked with its inflow
    taken += v;
    message_out("Lake %d is taking cell %d with depth %lf\n", l, c, depth);
    // Overland sediment and constituents are not carried yet; once they are, the cell's share
    // moves to the lake here, before its depth is cleared.
    depth = 0.0;
  }
  return true;
}

void leave_lake(model_state& m, int l, int c) {
  m.lake_mask[size_t(c)] = 0;
  m.new_flooded_grid[size_t(c)] = -1;
  m.lake_cells[size_t(l)]--;
  m.ov_depth[size_t(c)] = 0.0;
  if (m.ov_boundary_on && m.boundary_type.size() > size_t(c))
    m.boundary_type[size_t(c)] = m.lake_saved_boundary_type[size_t(c)];
  message_out("Removing cell %d from lake %d\n", c, l);
}

void warn_full_extent(model_state& m, int l) {
  if (m.lake_extent_warned) return;
  m.lake_extent_warned = 1;
  const int last = m.numpts[size_t(l)];
  const grid_position g = last >= 1 ? m.lake_search[size_t(l)][size_t(last)] : grid_position{};
  char text[512];
  std::snprintf(text, sizeof text,
                "Warning: Lake #%d has reached your specified maximum areal extent\n"
                "This likely means you should increase the maximum water surface elevation\n"
                "The last grid cell coordinates defined in your input file are: [%d][%d] \n",
                l, g.row, g.col);
  print_everywhere(m, text);
}

// A lake with a rating curve: level and area from the curve at its volume; its listed cells
// below the level join, those above it leave.
bool update_rated_lake(model_state& m, int l, double dv, double& z, double& area) {
  const int rows = m.numrate[size_t(l)];
  const double volume = m.lake_volume[size_t(l)];
  const std::vector<double>& volumes = m.lake_rate_volume[size_t(l)];
  // Off its curve the lake has no level: held at the curve's end it would run on with a level
  // and area that do not hold its water.
  const bool curve = rows >= 1 && volumes.size() > size_t(rows);
  const double low = curve ? volumes[1] : 0.0, high = curve ? volumes[size_t(rows)] : 0.0;
  if (!curve || !(volume >= low && volume <= high)) {
    stop_run("Error: lake %d of the channel input file %s holds %g m3, outside the volumes %g..%g of its rating "
             "curve (NUMRATE %d); the curve must cover every volume the lake reaches.\n",
             l, m.channel_input_path.c_str(), volume, low, high, rows);
    return false;
  }
  z = lake_rating_curve(l, volume, rows, m.lake_rate_volume[size_t(l)], m.lake_rate_elev[size_t(l)]);
  area = lake_rating_curve(l, volume, rows, m.lake_rate_volume[size_t(l)], m.lake_rate_area[size_t(l)]);
  if (m.yes_static_lake[size_t(l)]) return true;
  double taken = 0.0;
  for (int p = 1; p <= m.numpts[size_t(l)]; p++) {
    const int c = listed_cell(m, l, p);
    if (c < 1) continue;
    const int owner = m.lake_mask[size_t(c)];
    if (dv >= 0.0 && owner != l && m.elevation[size_t(c)] < z - ground_margin) {
      if (!join_lake(m, l, c, true, taken)) return false;
    } else if (dv < 0.0 && owner == l && m.lake_cells[size_t(l)] > 0 && m.elevation[size_t(c)] > z) {
      leave_lake(m, l, c);
    }
  }
  return true;
}

// Growth of a lake without a curve: the level rises by the volume over the area, taking the
// next listed cells one at a time as it reaches their ground.
bool grow_plain_lake(model_state& m, int l, double dv, double& z) {
  const double a = m.cell_size * m.cell_size;
  double area = m.lake_cells[size_t(l)] * a;
  auto rise = [&] { return area > tiny ? dv / area : dv / a; };
  // The listed cells not yet in the lake, in list order: the list is the order of taking.
  for (int p = 1;; p++) {
    const double dz = rise();
    if (p > m.numpts[size_t(l)]) {
      // No further cell to take: the lake rises over the cells it has.
      warn_full_extent(m, l);
      z += dz;
      return true;
    }
    const int c = listed_cell(m, l, p);
    if (c < 1 || m.lake_mask[size_t(c)] == l) continue;
    const double need = m.elevation[size_t(c)] - z;
    if (need + ground_margin > dz) {
      z += dz;
      return true;
    }
    z = m.elevation[size_t(c)];
    dv -= need * area;
    double taken = 0.0;
    if (!join_lake(m, l, c, false, taken)) return false;
    dv += taken;
    area += a;
  }
}

// Shrinking of a lake without a curve: its cells leave from the last taken backwards as the
// falling level uncovers their ground.
void shrink_plain_lake(model_state& m, int l, double dv, double& z) {
  const double a = m.cell_size * m.cell_size;
  double left = -dv;
  for (int p = m.numpts[size_t(l)]; p >= 1 && m.lake_cells[size_t(l)] > 0; p--) {
    const int c = listed_cell(m, l, p);
    if (c < 1 || m.lake_mask[size_t(c)] != l) continue;
    const double area = m.lake_cells[size_t(l)] * a;
    const double fall = z - m.elevation[size_t(c)];
    if (fall > left / area) break;
    leave_lake(m, l, c);
    z = m.elevation[size_t(c)];
    left -= fall * area;
  }
  if (m.lake_cells[size_t(l)] <= 0) {
    message_out("Lake %d has gone completely dry and has no inundated overland flow cells \n"
                "PLUVO will proceed assuming there is one cell inundated \n"
                "Consider increasing the initial water surface elevation, or using the static lake option \n",
                l);
    m.lake_cells[size_t(l)] = 1;
  }
  z -= left / (m.lake_cells[size_t(l)] * a);
}

bool update_one_lake(model_state& m, int l) {
  const double a = m.cell_size * m.cell_size;
  const double dv = m.lake_volume[size_t(l)] - m.prevlake_volume[size_t(l)];
  double z = m.lake_elev[size_t(l)];
  double area = m.lake_area[size_t(l)];
  if (m.yes_defined_curve_lake[size_t(l)] == 1) {
    if (!update_rated_lake(m, l, dv, z, area)) return false;
  } else {
    if (!m.yes_static_lake[size_t(l)]) {
      if (dv > tiny) {
        if (!grow_plain_lake(m, l, dv, z)) return false;
      } else if (dv < -tiny) {
        shrink_plain_lake(m, l, dv, z);
      }
    } else if (std::fabs(dv) > tiny) {
      z += dv / (m.lake_cells[size_t(l)] > 0 ? m.lake_cells[size_t(l)] * a : a);
    }
    area = m.lake_cells[size_t(l)] * a;
  }
  m.prevlake_volume[size_t(l)] = m.lake_volume[size_t(l)];
  m.lake_elev[size_t(l)] = z;
  m.lake_area[size_t(l)] = area;
  return true;
}

// The per-lake tables the channel reader sizes; a network without them has no lake extents.
bool lake_tables_fit(const model_state& m) {
  const size_t need = size_t(m.nlakes) + 1;
  for (size_t size : {m.lake_volume.size(), m.prevlake_volume.size(), m.lake_elev.size(), m.lake_area.size(),
                      m.lake_cells.size(), m.numpts.size(), m.lake_search.size(), m.yes_static_lake.size(),
                      m.yes_defined_curve_lake.size(), m.numrate.size(), m.lake_rate_elev.size(),
                      m.lake_rate_area.size(), m.lake_rate_volume.size(), m.cumulative_lake_evap.size(),
                      m.lake_in_dv.size(), m.lake_out_dv.size()})
    if (size < need) return false;
  return m.lake_mask.size() > size_t(m.cell_count) && m.elevation.size() > size_t(m.cell_count);
}

void size_lake_work(model_state& m) {
  const size_t lakes = size_t(m.nlakes) + 2, cells = size_t(m.cell_count) + 1;
  if (m.lake_flooded_volume.size() < lakes) m.lake_flooded_volume.resize(lakes, 0.0);
  if (m.new_flooded_grid.size() < cells) m.new_flooded_grid.resize(cells, 0);
  if (m.ov_depth.size() < cells) m.ov_depth.resize(cells, 0.0);
  if (m.ov_boundary_on && m.lake_saved_boundary_type.size() < cells) {
    m.lake_saved_boundary_type.assign(cells, 0);
    // A cell a lake held from the start returns to open ground when it leaves.
    for (size_t c = 1; c < cells && c < m.boundary_type.size(); c++)
      if (m.lake_mask[c] == 0) m.lake_saved_boundary_type[c] = m.boundary_type[c];
  }
}

}  // namespace

double lake_rating_curve(int lake, double x, int rows, const std::vector<double>& xs, const std::vector<double>& ys) {
  for (int i = 1; i < rows; ++i) {
    if (x >= xs[size_t(i)] && x <= xs[size_t(i) + 1]) {
      if (xs[size_t(i) + 1] == xs[size_t(i)]) return ys[size_t(i)];
      return ys[size_t(i)] + (x - xs[size_t(i)]) * (ys[size_t(i) + 1] - ys[size_t(i)]) / (xs[size_t(i) + 1] - xs[size_t(i)]);
    }
  }
  const std::string name = std::to_string(lake);
  message_out("Error: something is really messed up with your lake rating curve for lake [%s].\n", name.c_str());
  if (rows < 1) return 0.0;
  // Off the table the curve is held at its end: a level of 0 m would empty the lake's extent.
  return x > xs[size_t(rows)] ? ys[size_t(rows)] : ys[1];
}

// Lakes are updated one after another in lake order: two lakes reaching for one free cell must
// not both take it and both book its water.
void update_lake_extent(model_state& m) {
  if (!m.lakes_on || m.nlakes < 1 || !lake_tables_fit(m)) return;
  size_lake_work(m);
  std::fill(m.new_flooded_grid.begin(), m.new_flooded_grid.end(), 0);
  for (int l = 1; l <= m.nlakes; l++)
    if (!update_one_lake(m, l)) return;
}

void compute_lake_evaporation(model_state& m, double wind_speed, double temperature, double rh) {
  if (!m.lakes_on || m.nlakes < 1 || !lake_tables_fit(m)) return;
  const double w = wind_speed * 0.001 * 86400.0;  // km per day
  const double es = 6.11 * std::exp(17.3 * temperature / (temperature + 273.3));  // mb
  double sum = 0.0;
  for (int l = 1; l <= m.nlakes; l++) {
    const double area = m.lake_area[size_t(l)];
    const double e = 0.000169 * std::pow(std::max(area / 1e6, 1e-6), -0.05) * w * (1.0 - rh / 100.0) * es /
                     24.0 * area / 100.0;
    double& v = m.lake_volume[size_t(l)];
    const double taken = v > e ? e : v;
    v -= taken;
    m.cumulative_lake_evap[size_t(l)] += taken;
    sum += taken;
  }
  m.lake_evap_volume += sum;
  update_lake_extent(m);
}

void close_lakes_at_event_end(model_state& m) {
  if (!m.event_ended || !m.lakes_on) return;
  update_lake_extent(m);
  if (error_state.error_terminate) return;
  for (int k = 1; k <= m.nlakes; k++) {
    double& in = m.lake_in_dv[size_t(k)];
    double& out = m.lake_out_dv[size_t(k)];
    if (in > tiny || out > tiny) m.lake_exchange_seen = 1;
    m.lake_rain_volume += in;
    m.ov_to_lake_volume += in;
    m.lake_outflow_volume += out;
    m.ov_from_lake_volume += out;
    in = out = 0.0;
  }
}

}  // namespace pluvo
