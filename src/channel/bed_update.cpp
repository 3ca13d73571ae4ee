// Cross sections that follow the bed: the sand an erodible break-point node lost or gained
// becomes a lowered or raised polyline, weighted towards the bottom of the wetted section.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "channel/channel_services.hpp"
#include "channel/cross_sections.hpp"
#include "common/error_state.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;
constexpr double tolerance = 1e-5;
constexpr int most_passes = 500;

void stop_with(const model_state& m, const char* first, const char* second, int node, int link) {
  std::printf("%s", first);
  std::printf(second, node, link);
  set_error(200, "", m.channel_input_path);
}

bool erodible_breakpoint(int type) { return (type & 8) && (type & 2); }

// One node's polyline moved by the sand volume delta (m3 of bed, positive when eroded).
struct moved_section {
  std::vector<double> x, y0, y;  // pairs 1..n; y0 the stored polyline, y the moved one
};

// The iteration of the bed shift over the wet intervals; false after a stop.
bool spread_change(const model_state& m, int link, int node, double delta, double dz, double ymin, double depth,
                   const wet_intervals& wet, moved_section& s) {
  const double dx = m.link_dx[size_t(link)];
  const bool deposition = delta < 0.0;
  double error = 0.0;
  int pass = 0;
  do {
    ++pass;
    double volume = 0.0;
    double bed = 0.0;
    for (int v = 0; v < wet.count; ++v) {
      const int first = wet.start[v] + 1;  // 0-based opener -> 1-based pair
      const int last = wet.end[v] + 1;
      for (int i = first + 1; i <= last; ++i) {
        double w = std::min((s.y0[size_t(i)] - ymin) / depth, 1.0);
        if (deposition) w = std::sqrt(w);
        s.y[size_t(i)] -= (1.0 - w) * dz;
      }
      for (int i = first + 1; i <= last; ++i) {
        const double run = s.x[size_t(i)] - s.x[size_t(i - 1)];
        const double rise = s.y[size_t(i)] - s.y[size_t(i - 1)];
        volume += ((s.y0[size_t(i)] - s.y[size_t(i)]) + (s.y0[size_t(i - 1)] - s.y[size_t(i - 1)])) * run * 0.5 * dx;
        bed += std::sqrt(rise * rise + run * run);
      }
    }
    bed *= dx;
    dz = (delta - volume) / bed;
    error = std::fabs((volume - delta) / delta);
    if (pass > most_passes) {
      stop_with(m, "In xsec_update- \n", "program stopped for difficulty in convergence, node %d, link %d\n", node,
                link);
      return false;
    }
  } while (error > tolerance);
  return true;
}

// One node; false after a stop.
bool update_node(model_state& m, int link, int node, int sand_slots) {
  const int ext = m.chan_node_extent;
  const size_t key = size_t(link) * size_t(ext) + size_t(node);
  const int q = m.bplink[size_t(link)];
  const size_t erodible_key = size_t(q) * size_t(ext) + size_t(node);
  double delta = (m.ch_sand_vol0[erodible_key] - m.ch_sand_vol[key * size_t(sand_slots)]) / (1.0 - m.sed_porosity);
  if (std::fabs(delta) <= tiny || (delta > tiny && m.new_bel[key] <= m.min_bel[key])) return true;
  const int t = m.table_num[key];
  // A node without a table of its own cannot be moved (its table number would reach outside the tables).
  if (t < 1 || t > m.num_xsec_tables) {
    stop_with(m, "In read_chan_input.c - 3\n", "program stopped for negative depth, node %d, link %d\n", node, link);
    return false;
  }
  const int n = m.numpairs[size_t(t)];
  const size_t base = erodible_key * size_t(m.max_npairs + 1);
  moved_section s;
  s.x.assign(m.xbp_lnn.begin() + long(base), m.xbp_lnn.begin() + long(base) + n + 1);
  s.y0.assign(m.ybp_lnn.begin() + long(base), m.ybp_lnn.begin() + long(base) + n + 1);
  s.y = s.y0;
  const double depth = m.max_yp[erodible_key] - m.bel[key];
  if (depth < 0.0) {
    stop_with(m, "In read_chan_input.c - 3\n", "program stopped for negative depth, node %d, link %d\n", node, link);
    return false;
  }
  // Water never stood on the bed: there is no wetted section to spread the change over.
  if (depth == 0.0) return true;
  const double ymin = *std::min_element(s.y0.begin() + 1, s.y0.end());
  const double h = m.ht_spc[size_t(t)];
  const int k = std::min(m.numhts[size_t(t)], int(depth / h) + 1);
  const double perimeter = m.xp[size_t(xsec_key(m, t, k))];
  const double dx = m.link_dx[size_t(link)];
  double dz = delta / (perimeter * dx);
  if (std::fabs(dz) > depth) {
    std::printf("In xsec_update.c - 3\n");
    std::printf("It is impossible that change of stream bed elevation is greater than maximum channel depth\n");
    std::printf("Setting the change in stream bed elevation equal to the depth of the channel\n");
    dz = dz < -tiny ? -depth : depth;
    delta = perimeter * dx * dz;
  }
  wet_intervals wet;
  if (!find_wet_intervals(&s.x[1], &s.y0[1], n, ymin + k * h, link, false, false, wet)) return false;
  if (!spread_change(m, link, node, delta, dz, ymin, depth, wet, s)) return false;
  const double lowest = *std::min_element(s.y.begin() + 1, s.y.end());
  m.new_bel[key] += lowest - ymin;
  if (m.min_bel[key] > m.new_bel[key]) m.new_bel[key] = m.min_bel[key];
  if (m.adjust_channel_bed_on != 1) return true;
  std::copy(s.y.begin() + 1, s.y.end(), m.ybp_lnn.begin() + long(base) + 1);
  m.bel[key] = m.new_bel[key];
  return xsec_properties_table(m, m.chan_mesh_on, link, node);
}

}  // namespace

void xsec_update(model_state& m) {
  const size_t keys = size_t(m.chan_slot_count);
  if (keys == 0 || m.ch_sand_vol.size() < keys || m.new_bel.size() < keys) return;
  const int sand_slots = int(m.ch_sand_vol.size() / keys);
  // The floors are the run's: fixed at its first update from the beds of that moment.
  if (m.min_bel.size() != keys) {
    m.min_bel.assign(keys, 0.0);
    for (size_t k = 0; k < keys; ++k) m.min_bel[k] = m.bel[k] - (k < m.max_eros.size() ? m.max_eros[k] : 0.0);
  }
  for (int link = 1; link <= m.nlinks; ++link) {
    if (!erodible_breakpoint(m.ltype[size_t(link)])) continue;
    for (int node = 1; node <= m.nx[size_t(link)]; ++node)
      if (!update_node(m, link, node, sand_slots)) return;
  }
}

void follow_channel_bed_change(model_state& m) {
  if (m.num_erodible_bp_links > 0) {
    xsec_update(m);
    if (error_state.error_code != 0) return;
  }
  int32_t exceeded = 0;
  for (int link = 1; link <= m.nlinks; ++link) {
    const int type = m.ltype[size_t(link)];
    const bool trapezoid = (type & 4) && (type & 2) && !(type & 8);
    const bool rebuilt = erodible_breakpoint(type) && m.adjust_channel_bed_on == 1;
    if (!trapezoid && !rebuilt) continue;
    for (int node = 1; node <= m.nx[size_t(link)]; ++node)
      if (!ex_section_node(m, 1, link, node, exceeded)) return;
  }
  if (exceeded) m.xsec_table_exceeded = 1;
}

}  // namespace pluvo
