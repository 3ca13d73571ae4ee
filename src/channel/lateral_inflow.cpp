// Water between the grid cells that hold stream nodes and those nodes, once per channel step:
// overland water spills over the bank like a weir, a stream above its bank spills back onto the
// cell, and the lumped base flows join the nodes.
#include <cmath>
#include <cstdio>

#include "channel/channel_routines.hpp"
#include "channel/cross_sections.hpp"
#include "channel/explicit_routing.hpp"
#include "quality/quality_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double weir_coefficient = 3.40978982734;

enum class exchange_mode { none, weir, level };

// What one entry exchanges before the limits: direction, the weir flow and the head over the
// crest of an outflow.
struct exchange {
  exchange_mode mode = exchange_mode::none;
  bool outflow = false;
  double qw = 0.0;
  double hu = 0.0;
  double ybar = 0.0;
};

double weir_term(double hu, double x, double p, double dx) {
  const double s = x < 1e-7 ? 1.0 : weir_submergence_factor(x);
  return std::pow(hu, 1.5) * p * dx * weir_coefficient * s;
}

// The inflow a backwater stream lets through (no exchange when the stream stands higher).
exchange backwater_inflow(double h, double dn, double e, double wsc, double wsn, double bank,
                          double p, double dx) {
  exchange x;
  if (!(wsn < wsc && bank < wsc)) return x;
  double hu = 0.0;
  double hd = 0.0;
  if (e > bank) {
    hu = h;
    hd = dn;
  } else {
    hu = wsc - bank;
    hd = std::fmax(wsn - bank, 0.0);
  }
  if (hu <= 1e-16) return x;
  const double ratio = hd / hu;
  x.qw = weir_term(hu, std::pow(ratio, 1.5), p, dx);
  x.mode = ratio <= 0.66 ? exchange_mode::weir : exchange_mode::level;
  x.ybar = (h + dn) * 0.5;
  return x;
}

exchange decide(const model_state& m, int l, int k, int c, double p, double dx) {
  const double h = m.ov_depth[size_t(c)];
  const double e = m.elevation[size_t(c)];
  const double wsc = e + h;
  const double wsn = m.yp[size_t(k)];
  const double bel = m.bel[size_t(k)];
  const double bank = bel + m.bankfull_dep[size_t(k)];
  const double dn = std::fmax(wsn - e, 0.0);
  const bool overbank = m.overbank_flow_on || (m.ltype[l] & 256);
  const bool backwater = m.overland_backwater_on || (m.ltype[l] & 512);
  exchange x;
  if (!overbank && !backwater) {
    x.mode = exchange_mode::weir;
    x.qw = h > 1e-16 ? std::pow(h, 1.5) * p * dx * weir_coefficient : 0.0;
    return x;
  }
  const exchange behind = backwater ? backwater_inflow(h, dn, e, wsc, wsn, bank, p, dx) : exchange{};
  if (!overbank) return behind;
  if (bank <= e && wsn > wsc) {
    if (e <= bel) return behind;
    x.outflow = true;
    x.hu = dn;
    x.qw = weir_term(dn, std::pow(h / dn, 1.5), p, dx);
    x.mode = exchange_mode::level;
    x.ybar = (h + dn) * 0.5;
    return x;
  }
  if (bank > e && wsn > bank && wsn > wsc) {
    x.outflow = true;
    x.hu = wsn - bank;
    x.qw = weir_term(x.hu, std::pow(std::fmax(wsc - bank, 0.0) / x.hu, 1.5), p, dx);
    x.mode = exchange_mode::level;
    x.ybar = (h + dn) * 0.5;
    return x;
  }
  if (backwater) return behind;
  if (h > 1e-16) {
    const double ratio = dn / h;
    x.qw = weir_term(h, std::pow(ratio, 1.5), p, dx);
    x.mode = ratio <= 0.66 ? exchange_mode::weir : exchange_mode::level;
    x.ybar = (h + dn) * 0.5;
  }
  return x;
}

double entry_flow(const model_state& m, const exchange& x, int c, double wsn, double wsc, double p,
                  double dx) {
  double q = 0.0;
  if (x.mode == exchange_mode::weir) {
    q = x.qw;
  } else if (x.mode == exchange_mode::level && x.ybar > 1e-16) {
    const double manning = std::sqrt(std::fabs(wsn - wsc) / (m.cell_size * 0.5)) *
                           std::pow(x.ybar, 2.0 / 3.0) / m.ov_mann_exp[size_t(c)] * x.ybar * dx *
                           2.0 * p;
    q = std::fmin(x.qw, manning);
  }
  if (x.outflow && x.hu > 1e-16) {
    const double yc = 2.0 / 3.0 * x.hu;
    q = std::fmin(q, std::sqrt(yc * 9.81) * 0.8944 * yc * 2.0 * p * dx);
  }
  return q;
}

// Flow area of the node with its water surface at ws (the node is left there).
double area_at(model_state& m, int l, int n, int k, double ws) {
  m.yp[size_t(k)] = ws;
  m.chan_depth[size_t(k)] = ws - m.bel[size_t(k)];
  ex_section_node(m, 2, l, n, m.xsec_table_exceeded);
  return m.area[size_t(k)];
}

}  // namespace

double weir_submergence_factor(double x) {
  static constexpr double ratio[] = {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.76, 0.8, 0.95, 1.0};
  static constexpr double factor[] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 0.947, 0.75, 0.0};
  constexpr int count = 11;
  if (x > 1.0 - 1e-7) return 0.0;
  for (int i = 0; i < count; i++)
    if (std::fabs(x - ratio[i]) < 0.0001) return factor[i];
  for (int i = 0; i + 1 < count; i++)
    if (x > ratio[i] && x < ratio[i + 1])
      return factor[i] + (factor[i + 1] - factor[i]) * (x - ratio[i]) / (ratio[i + 1] - ratio[i]);
  return 0.0;
}

double base_flow_share(const model_state& m, int g, int i) {
  double q = 0.0;
  if (m.sacramento_on) q += m.sac_flow_cms * m.gst_sac_weight[size_t(g)][size_t(i)];
  if (m.conceptual_gw_on) q += m.cgw_flow_cms * m.gst_cgw_weight[size_t(g)][size_t(i)];
  return q;
}

double compute_channel_lateral_inflow(model_state& m, double dt, double& boundary_total) {
  const int cells = m.cell_count;
  if (cells > 0) update_effective_roughness(m);
  const double cell_area = m.cell_size * m.cell_size;
  double base_total = 0.0;
  long last_node = 0;
  long last_link = 0;
  for (int g = 1; g <= m.gst_num_cells; g++)
    for (int i = 1; i <= m.gst_ncellsingrid[size_t(g)]; i++) m.gst_qlat[size_t(g)][size_t(i)] = 0.0;
  for (int g = 1; g <= m.gst_num_cells; g++) {
    for (int i = 1; i <= m.gst_ncellsingrid[size_t(g)]; i++) {
      const int l = m.gst_link[size_t(g)][size_t(i)];
      const int n = m.gst_node[size_t(g)][size_t(i)];
      const int c = m.gst_gnum[size_t(g)][size_t(i)];
      const double area = cell_area * open_share(m, c);  // the ground the cell's water stands on
      const int t = m.ltype[l];
      if ((t & (ltype_lake | ltype_structure)) || captured_link(m, l)) continue;
      if (m.lakes_on && (m.lake_mask[size_t(c)] > 0 || n > m.nx[l])) continue;
      last_node = n;
      last_link = l;
      const int k = chan_key(m, l, n);
      const double dx = m.link_dx[l];
      const double p = m.gst_pct[size_t(g)][size_t(i)];
      const double base = base_flow_share(m, g, i);
      if (m.sacramento_on || m.conceptual_gw_on) {
        m.qlat[size_t(k)] += base / dx;
        base_total += base * dt;
      }
      double& h = m.ov_depth[size_t(c)];
      const double e = m.elevation[size_t(c)];
      const double wsn = m.yp[size_t(k)];
      const exchange x = decide(m, l, k, c, p, dx);
      double q = entry_flow(m, x, c, wsn, e + h, p, dx);
      const bool boundary = head_boundary_cell(m, c);
      if (!x.outflow) {
        const double dv = q * dt;
        if (boundary) {
          // A head boundary cell keeps its depth: what it gives the stream enters the basin.
          m.ov_head_bound_gain += dv;
        } else if (h * area - dv < -1e-16) {
          q = h * area / dt;
          h = 0.0;
        } else {
          h -= dv / area;
        }
      } else {
        const double above =
            (area_at(m, l, n, k, wsn) - area_at(m, l, n, k, wsn - x.hu)) * dx * p;
        area_at(m, l, n, k, wsn);
        if (!(above > 0.0)) {
          q = 0.0;
        } else if ((above - q * dt) / above < 1.0 - m.overbank_max_dv_value) {
          q = above * m.overbank_max_dv_value / dt;
        }
        q = -q;
        if (boundary) {
          boundary_total += -q * dt;
        } else {
          h += -q * dt / area;
          const double excess = e + h - wsn;
          if (excess > 1e-12) {
            h -= excess;
            q += excess * area / dt;
          }
          if (h < -1e-16) {
            q += h * area / dt;
            h = 0.0;
          }
        }
      }
      m.qlat[size_t(k)] += q / dx;
      m.gst_qlat[size_t(g)][size_t(i)] += q;
      if (m.global_transport_on) {
        m.cell_to_channel_volume[size_t(c)] += q * dt;
        m.gst_Vlat[size_t(g)][size_t(i)] += q * dt;
      }
    }
  }
  if (std::isnan(base_total))
    std::printf("lateral inflow for node %ld link %ld is not a number \n", last_node, last_link);
  return base_total;
}

}  // namespace pluvo
