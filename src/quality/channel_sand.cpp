// Sand of the channel beds moved by stream power: each wet node of an erodible link carries what
// Yang's unit stream power formula allows from its bed stores to the next store in the direction
// of flow, and the bed of an erodible trapezoid follows the sand it holds.
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/error_state.hpp"
#include "quality/channel_sediment_routines.hpp"
#include "quality/quality_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;

// A destination or source of sand: a node's stores, a lake's stores, or outside the network.
struct sand_place {
  double* store = nullptr;  // slot 0 of a store laid out as ch_sand_vol; null: outside
  int key = 0;              // node key, 0 for a lake or outside
  int lake = 0;
};

struct sand_step {
  model_state& m;
  int classes;
  size_t stride;  // sand stores: classes + 2 slots
  size_t flux_stride;  // per-class node arrays: classes + 1 slots
  int positions;  // sand classes and the set-up bed
  double dt;
  std::vector<double> given;  // per position, what the last take moved

  double* node_store(int key) { return &m.ch_sand_vol[size_t(key) * stride]; }
  double* lake_store(int lake) { return &m.sand_vol_deposited_lakebank[size_t(lake) * stride]; }
  // Per-class slot of position p in [key][class] arrays: the class, or 0 for the set-up bed.
  size_t class_slot(int p) const { return p <= positions - 1 ? size_t(sand_store_slot(m, p)) : 0; }
};

// The representative sand diameter: the mean of the sand classes, SAND_SIZE without any.
double representative_diameter(const model_state& m) {
  const ov_sed_record& s = *m.ov_sed;
  double sum = 0.0;
  for (int p = 1; p <= s.num_sand_classes; ++p) sum += s.part_diam[size_t(s.sed_class[size_t(s.num_fine_classes + p)])];
  return s.num_sand_classes > 0 ? sum / s.num_sand_classes : m.sand_size;
}

double water_surface(const model_state& m, int key) { return m.bel[size_t(key)] + m.chan_depth[size_t(key)]; }

int key_of(const model_state& m, int link, int node) { return link * m.chan_node_extent + node; }

// The link below `link`, passing over structure links: sand sent into a structure goes straight
// on to the link below it. 0 at the outlet.
int receiving_link(const model_state& m, int link) {
  int d = m.dslink[size_t(link)];
  for (int guard = 0; d >= 1 && (m.ltype[size_t(d)] & sediment_structure_bit) && guard <= m.nlinks; ++guard)
    d = m.dslink[size_t(d)];
  return d;
}

sand_place next_place(sand_step& c, int link, int node) {
  model_state& m = c.m;
  if (node < sediment_node_count(m, link)) {
    const int key = key_of(m, link, node + 1);
    return {c.node_store(key), key, 0};
  }
  const int d = receiving_link(m, link);
  if (d < 1) return {};
  if (sediment_lake_like(m.ltype[size_t(d)])) {
    const int lake = m.lake2link[size_t(d)];
    if (lake < 1 || lake > m.nlakes) return {};
    return {c.lake_store(lake), 0, lake};
  }
  const int key = key_of(m, d, 1);
  return {c.node_store(key), key, 0};
}

bool place_wet(const model_state& m, const sand_place& p) {
  if (!p.store) return false;
  if (p.lake) return m.lake_volume[size_t(p.lake)] > tiny;
  return m.chan_depth[size_t(p.key)] >= tiny;
}

// Takes up to v from the stores in position order, each emptied before the next; what each
// position gave is left in c.given.
void take(sand_step& c, double* store, double v) {
  for (int p = 1; p <= c.positions; ++p) {
    double& s = store[sand_store_slot(c.m, p)];
    const double g = s > v ? v : std::max(s, 0.0);
    s -= g;
    v -= g;
    c.given[size_t(p)] = g;
  }
}

// Adds (sign 1) or removes (sign -1) what was given to a place, booking what enters or leaves
// a lake or the network.
void settle(sand_step& c, const sand_place& to, double sign) {
  model_state& m = c.m;
  for (int p = 1; p <= c.positions; ++p) {
    const double g = sign * c.given[size_t(p)];
    if (to.store) {
      to.store[sand_store_slot(m, p)] += g;
      if (to.lake) {
        m.lake_sand_inflow[size_t(to.lake) * c.flux_stride + c.class_slot(p)] += g;
        m.lake_sand_outflow[size_t(p)] += g;
      }
    } else {
      m.chan_sand_outflow[size_t(p)] += g / c.dt;
    }
  }
}

void record_fluxes(sand_step& c, int key, double sign) {
  for (int p = 1; p <= c.positions; ++p)
    c.m.qsmax[size_t(key) * c.flux_stride + c.class_slot(p)] = sign * c.given[size_t(p)] / c.dt;
}

// The energy slope at a node, from the water surfaces of it and the next node downstream.
double energy_slope(const model_state& m, int link, int node) {
  const double dx = m.link_dx[size_t(link)];
  const int key = key_of(m, link, node);
  const double w = water_surface(m, key);
  const auto bed_slope = [&] {
    return node >= 2 ? (m.bel[size_t(key - 1)] - m.bel[size_t(key)]) / dx : 0.0;
  };
  double s = 0.0;
  if (node < sediment_node_count(m, link)) {
    s = (w - water_surface(m, key + 1)) / dx;
  } else if (link == m.nlinks || m.dslink[size_t(link)] < 1) {
    s = bed_slope();
  } else {
    const int d = m.dslink[size_t(link)];
    const int type = m.ltype[size_t(d)];
    if (sediment_lake_like(type)) {
      const int lake = m.lake2link[size_t(d)];
      s = lake >= 1 && lake <= m.nlakes ? (w - m.lake_elev[size_t(lake)]) / (2.0 * dx) : bed_slope();
    } else if (type & sediment_structure_bit) {
      s = bed_slope();  // the structure has no water surface of its own to fall to
    } else {
      s = (w - water_surface(m, key_of(m, d, 1))) / ((dx + m.link_dx[size_t(d)]) / 2.0);
    }
  }
  return std::fabs(s);
}

// Capacity of every node of the taking-part links; false after a capacity that is not a number.
bool compute_capacities(sand_step& c, double diameter, double nu) {
  model_state& m = c.m;
  for (int link = 1; link <= m.nlinks; ++link) {
    const int type = m.ltype[size_t(link)];
    if (!sediment_sand_link(type)) continue;
    for (int node = 1; node <= sediment_node_count(m, link); ++node) {
      const int key = key_of(m, link, node);
      double& cap = m.chan_sand_capacity[size_t(key)];
      cap = 0.0;
      const double y = m.chan_depth[size_t(key)];
      if (!(y >= tiny)) continue;
      double a = 0.0, p = 0.0;
      if (type & sediment_breakpoint_bit) {
        channel_area_depth_lookup(m, key, y, a, p);
      } else {
        const double b = m.bottom[size_t(key)], z = m.sslope[size_t(key)];
        a = z * y * y + b * y;
        p = b + 2.0 * y * std::sqrt(1.0 + z * z);
      }
      const double r = p > tiny ? a / p : 0.0;
      cap = yang_sand_capacity(m.qp[size_t(key)], a, r, energy_slope(m, link, node), diameter, nu);
      if (std::isnan(cap)) {
        stop_run("bed load NaN\n");
        return false;
      }
    }
  }
  return true;
}

void move_sand(sand_step& c) {
  model_state& m = c.m;
  for (int link = 1; link <= m.nlinks; ++link) {
    if (!sediment_sand_link(m.ltype[size_t(link)])) continue;
    for (int node = 1; node <= sediment_node_count(m, link); ++node) {
      const int key = key_of(m, link, node);
      const double cap = m.chan_sand_capacity[size_t(key)];
      std::fill(c.given.begin(), c.given.end(), 0.0);
      if (cap > tiny && m.chan_depth[size_t(key)] >= tiny) {
        const sand_place to = next_place(c, link, node);
        take(c, c.node_store(key), cap * c.dt);
        settle(c, to, 1.0);
        record_fluxes(c, key, 1.0);
      } else if (cap < -tiny) {
        // Flow upstream: the sand comes from the next store down, when it lies under water.
        const sand_place from = next_place(c, link, node);
        if (place_wet(m, from)) {
          take(c, from.store, -cap * c.dt);
          if (from.lake)
            for (int p = 1; p <= c.positions; ++p) {
              m.lake_sand_inflow[size_t(from.lake) * c.flux_stride + c.class_slot(p)] -= c.given[size_t(p)];
              m.lake_sand_outflow[size_t(p)] -= c.given[size_t(p)];
            }
          for (int p = 1; p <= c.positions; ++p) c.node_store(key)[sand_store_slot(m, p)] += c.given[size_t(p)];
        }
        record_fluxes(c, key, -1.0);
      } else {
        record_fluxes(c, key, 1.0);
      }
    }
  }
}

// Sand that entered the channels from the cells this update joins the stores of its class.
void add_incoming_sand(sand_step& c) {
  model_state& m = c.m;
  for (int p = 1; p < c.positions; ++p) {
    const int k = sand_store_slot(m, p);
    for (int link = 1; link <= m.nlinks; ++link)
      for (int node = 1; node <= m.nx[size_t(link)]; ++node) {
        const int key = key_of(m, link, node);
        const double v = m.qlat_sed[size_t(key) * c.flux_stride + size_t(k)];
        if (v == 0.0) continue;
        c.node_store(key)[k] += v;
        m.chan_sand_inflow[size_t(k)] += v;
      }
    // Overland sand into a lake lies on the lake's cells; it is booked as the lake's deposit.
    if (!m.lakes_on || m.lake_depo_vol.size() < (size_t(m.nlakes) + 1) * c.flux_stride) continue;
    for (int l = 1; l <= m.nlakes; ++l) {
      const size_t i = size_t(l) * c.flux_stride + size_t(k);
      m.lake_depo_vol[i] += m.sed_vol_overland_to_lake[i];
    }
  }
}

// Bed of an erodible trapezoid: the erodible layer (bottom width by erodible depth under the
// set-up bed) empties from the top as the store drops below its volume; sand beyond it fills the
// section above the set-up bed.
void update_trapezoid_beds(sand_step& c) {
  model_state& m = c.m;
  const double solid = 1.0 - m.sed_porosity;
  for (int link = 1; link <= m.nlinks; ++link) {
    const int type = m.ltype[size_t(link)];
    if (!sediment_sand_link(type) || (type & sediment_breakpoint_bit) || !(type & sediment_trapezoid_bit)) continue;
    const double dx = m.link_dx[size_t(link)];
    if (dx <= tiny || solid <= tiny) continue;
    for (int node = 1; node <= sediment_node_count(m, link); ++node) {
      const int key = key_of(m, link, node);
      const double* store = c.node_store(key);
      double vs = 0.0;
      for (int p = 1; p <= c.positions; ++p) vs += store[sand_store_slot(m, p)];
      const double a = vs / dx / solid;
      const double b = m.bottom[size_t(key)], z = m.sslope[size_t(key)], depth = m.max_eros[size_t(key)];
      const double layer = b * depth, base = m.org_bel[size_t(key)];
      double bed = 0.0;
      if (a >= layer) {
        const double fill = a - layer;
        bed = base + (z > tiny ? (std::sqrt(b * b + 4.0 * z * fill) - b) / (2.0 * z) : (b > tiny ? fill / b : 0.0));
      } else {
        bed = base - depth + a / b;
      }
      m.new_bel[size_t(key)] = bed;
      if (m.adjust_channel_bed_on == 1) m.bel[size_t(key)] = bed;
    }
  }
}

void sum_stores(sand_step& c) {
  model_state& m = c.m;
  const auto total = [&](double* store) {
    double v = 0.0;
    for (int p = 1; p <= c.positions; ++p) v += store[sand_store_slot(m, p)];
    store[0] = v;
  };
  for (int link = 1; link <= m.nlinks; ++link)
    for (int node = 1; node <= m.nx[size_t(link)]; ++node) total(c.node_store(key_of(m, link, node)));
  if (m.lakes_on)
    for (int l = 1; l <= m.nlakes; ++l) total(c.lake_store(l));
}

}  // namespace

int sediment_node_count(const model_state& m, int link) {
  const int type = m.ltype[size_t(link)];
  if (!sediment_carrying_link(type)) {
    if (link == m.nlinks) return 1;
    return std::max(m.nx[size_t(link)], 1);  // a lake or structure keeps at least one face
  }
  return m.nx[size_t(link)];
}

int sand_store_slot(const model_state& m, int p) {
  const ov_sed_record& s = *m.ov_sed;
  return p <= s.num_sand_classes ? s.sed_class[size_t(s.num_fine_classes + p)] : s.num_sed_classes + 1;
}

double sand_fall_velocity(double d_mm, double nu) {
  const double d = d_mm / 1000.0;
  const double grain = d * std::cbrt(16.1865 / (nu * nu));
  return (8.0 * nu / d) * (std::sqrt(1.0 + 0.0139 * grain * grain * grain) - 1.0);
}

double yang_critical_velocity_ratio(double x) {
  if (!(x >= 1.2)) return 0.0;
  return x < 70.0 ? 2.5 / (std::log10(x) - 0.06) + 0.66 : 2.05;
}

double yang_sand_capacity(double q, double a, double r, double s, double d_mm, double nu) {
  if (std::isnan(q) || std::isnan(a) || std::isnan(r) || std::isnan(s)) return std::nan("");
  s = std::fabs(s);
  const double d = d_mm / 1000.0;
  const double w = sand_fall_velocity(d_mm, nu);
  const double settling = std::log10(w * d / nu);
  const double stress = 9810.0 * r * s;
  const double shear = stress > tiny ? std::sqrt(stress / 1000.0) : 0.0;
  const double vc = yang_critical_velocity_ratio(shear * d / nu);
  if (vc == 0.0) return 0.0;
  const double v = a > tiny ? std::fabs(q) / a : 0.0;
  if (v / w < vc) return 0.0;
  const double b = std::log10(shear / w);
  const double log_c = 5.435 - 0.286 * settling - 0.457 * b +
                       (1.799 - 0.409 * settling - 0.314 * b) * std::log10(v * s / w - vc * s);
  const double ppm = std::pow(10.0, log_c);
  return std::copysign(std::fabs(q) * ppm * 9810.0 / 2.59965e10, q);
}

void channel_area_depth_lookup(const model_state& m, int key, double y, double& area, double& perimeter) {
  area = perimeter = 0.0;
  const int t = m.table_num[size_t(key)];
  if (t < 1 || t > m.num_xsec_tables) return;
  const double h = m.ht_spc[size_t(t)];
  const int n = std::min(m.numhts[size_t(t)], m.max_num_interp);
  if (h <= tiny || n < 1) return;
  const auto at = [&](int i) { return size_t(t * (m.max_num_interp + 1) + i); };
  const auto level = [&](int i, double& a, double& p) {
    a = m.xarea[at(i)];
    p = m.xtw[at(i)] + m.xp[at(i)];
  };
  if (y < h) {
    const double f = std::pow(y / h, 5.0 / 3.0);
    double a1, p1;
    level(1, a1, p1);
    area = a1 * f;
    perimeter = p1 * f;
    return;
  }
  int i = int(std::floor(y / h));
  double f = (y - i * h) / h;
  if (y > n * h) {
    i = n - 1;
    f = (y - n * h) / h + 1.0;  // beyond level n, along the line through levels n - 1 and n
  }
  if (i >= n) i = n - 1, f = 1.0;
  double a0, p0, a1, p1;
  level(i, a0, p0);
  level(i + 1, a1, p1);
  area = a0 + (a1 - a0) * f;
  perimeter = p0 + (p1 - p0) * f;
}

void channel_sediment_transport(model_state& m, double dt) {
  if (!m.ov_sed || dt <= 0.0) return;
  const ov_sed_record& s = *m.ov_sed;
  sand_step c{m, s.num_sed_classes, size_t(s.num_sed_classes) + 2, size_t(s.num_sed_classes) + 1,
              s.num_sand_classes + 1, dt, std::vector<double>(size_t(s.num_sand_classes) + 2, 0.0)};
  if (m.ch_sand_vol.size() < size_t(m.chan_slot_count) * c.stride ||
      m.chan_sand_capacity.size() < size_t(m.chan_slot_count) ||
      m.qsmax.size() < size_t(m.chan_slot_count) * c.flux_stride)
    return;
  if (m.lakes_on && m.sand_vol_deposited_lakebank.size() < (size_t(m.nlakes) + 1) * c.stride) return;
  std::fill(m.chan_sand_outflow.begin(), m.chan_sand_outflow.end(), 0.0);
  add_incoming_sand(c);
  if (!compute_capacities(c, representative_diameter(m), s.kinematic_viscosity)) return;
  move_sand(c);
  update_trapezoid_beds(c);
  sum_stores(c);
}

}  // namespace pluvo
