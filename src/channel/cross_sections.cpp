// Node section properties (trapezoids and break-point tables) and the building of the tables.
#include "channel/cross_sections.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/error_state.hpp"

namespace pluvo {

namespace {

constexpr double negative_tolerance = -0.0001;
constexpr int max_intervals = 50;
constexpr int max_num_interp_allowed = 30000;

int node_key(const channel_state& ch, int link, int node) {
  return link * ch.chan_node_extent + node;
}

double third_power(double v, double thirds) { return std::pow(v, thirds / 3.0); }

// Trapezoid, water surface to properties. False after a stop.
bool trapezoid_forward(channel_state& ch, int link, int node) {
  const int k = node_key(ch, link, node);
  const int s_key = node_key(ch, ch.ldex[link], node);
  const double b = ch.bottom[s_key];
  const double s = ch.sslope[s_key];
  const double d = ch.yp[k] - ch.bel[k];
  if (d < negative_tolerance) {
    stop_run("In ex_section.c - 1\nprogram stopped for negative depth, node %d, link %d\n", node,
             link);
    return false;
  }
  if (d <= 0.0) {
    ch.area[k] = ch.topw[k] = ch.conv[k] = ch.dconv[k] = 0.0;
    return true;
  }
  const double root = std::sqrt(1.0 + s * s);
  const double t = b + 2.0 * s * d;
  const double p = b + 2.0 * d * root;
  const double a = (b + s * d) * d;
  const double n_inv = ch.inv_mannings_n[link];
  ch.topw[k] = t;
  ch.area[k] = a;
  ch.conv[k] = third_power(a / p, 2.0) * a * n_inv;
  ch.dconv[k] = (5.0 / 3.0 * third_power(a, 2.0) * third_power(p, -2.0) * t -
                 2.0 / 3.0 * third_power(a, 5.0) * third_power(p, -5.0) * 2.0 * root) *
                n_inv;
  return true;
}

// Trapezoid, area to depth. False after a stop.
bool trapezoid_inverse(channel_state& ch, int link, int node) {
  const int k = node_key(ch, link, node);
  const int s_key = node_key(ch, ch.ldex[link], node);
  const double b = ch.bottom[s_key];
  const double s = ch.sslope[s_key];
  double a = ch.area[k];
  if (a < 0.0) {
    if (a <= negative_tolerance) {
      stop_run("In ex_section.c - 1\nprogram stopped for negative area, node %d, link %d\n", node,
               link);
      return false;
    }
    a = ch.area[k] = 0.0;
  }
  double d = 0.0;
  if (a != 0.0) {
    // The root of s d^2 + b d - A written without the difference of near-equal terms: exact
    // for a rectangle (s = 0, d = A/b) and free of cancellation for gentle side slopes.
    const double denom = std::sqrt(4.0 * s * a + b * b) + b;
    if (!(denom > 0.0)) {
      stop_run("In ex_section.c - 1\nprogram stopped for a section without width, node %d, "
               "link %d\n",
               node, link);
      return false;
    }
    d = 2.0 * a / denom;
    if (d > negative_tolerance && d < 0.0) d = 0.0;
  }
  ch.chan_depth[k] = d;
  ch.yp[k] = ch.bel[k] + d;
  if (d > 0.0) {
    const double p = b + 2.0 * d * std::sqrt(1.0 + s * s);
    ch.conv[k] = a * third_power(a / p, 2.0) * ch.inv_mannings_n[link];
  } else {
    ch.conv[k] = 0.0;
  }
  return true;
}

bool breakpoint_forward(channel_state& ch, int link, int node, bool& exceeded) {
  const int k = node_key(ch, link, node);
  const double d = ch.yp[k] - ch.bel[k];
  if (d < negative_tolerance) {
    stop_run("In ex_section.c - 3\nprogram stopped for negative depth, node %d, link %d\n", node,
             link);
    return false;
  }
  const int t = ch.table_num[k];
  if (t > ch.num_xsec_tables) {
    stop_run("Error in section node %d link %d: Request for table beyond max. table number.\n", node, link);
    return false;
  }
  if (t < 1) {
    stop_run("Error in section node %d link %d: No table specified for node\n", node, link);
    return false;
  }
  if (d <= 0.0) {
    ch.area[k] = ch.topw[k] = ch.conv[k] = ch.dconv[k] = 0.0;
    return true;
  }
  const double h = ch.ht_spc[t];
  const int n = ch.numhts[t];
  auto at = [&](const std::vector<double>& x, int i) { return x[xsec_key(ch, t, i)]; };
  if (d < h) {
    const double r = third_power(d, 5.0) / third_power(h, 5.0);
    ch.area[k] = at(ch.xarea, 1) * r;
    ch.topw[k] = at(ch.xtw, 1) * r;
    ch.conv[k] = at(ch.xk, 1) * r;
    ch.dconv[k] = at(ch.xk, 1) * third_power(d, 2.0) / third_power(h, 5.0);
  } else if (d > n * h) {
    exceeded = true;
    const double w = (d - n * h) / h;
    ch.area[k] = at(ch.xarea, n) + (at(ch.xarea, n) - at(ch.xarea, n - 1)) * w;
    ch.topw[k] = at(ch.xtw, n) + (at(ch.xtw, n) - at(ch.xtw, n - 1)) * w;
    ch.conv[k] = at(ch.xk, n) + (at(ch.xk, n) - at(ch.xk, n - 1)) * w;
    ch.dconv[k] = (at(ch.xk, n) - at(ch.xk, n - 1)) / h;
  } else {
    const int i = std::min(static_cast<int>(d / h), n - 1);
    const double w = (d - i * h) / h;
    ch.area[k] = at(ch.xarea, i) + (at(ch.xarea, i + 1) - at(ch.xarea, i)) * w;
    ch.topw[k] = at(ch.xtw, i) + (at(ch.xtw, i + 1) - at(ch.xtw, i)) * w;
    ch.conv[k] = at(ch.xk, i) + (at(ch.xk, i + 1) - at(ch.xk, i)) * w;
    ch.dconv[k] = (at(ch.xk, i + 1) - at(ch.xk, i)) / h;
  }
  return true;
}

bool breakpoint_inverse(channel_state& ch, int link, int node, bool& exceeded) {
  const int k = node_key(ch, link, node);
  const double a = ch.area[k];
  if (a < negative_tolerance) {
    stop_run("In ex_section.c - 4\nprogram stopped for negative area, node %d, link %d\n", node,
             link);
    return false;
  }
  const int t = ch.table_num[k];
  if (t > ch.num_xsec_tables) {
    // The set-up's forward pass stops the run on such a node; here it has no table to read,
    // so it keeps what it holds.
    std::fputs("Error in section: Request for table beyond max. table number.\n", stderr);
    return true;
  }
  if (t < 1) return true;  // no table to read: the node keeps what it holds
  if (a <= 0.0) {
    ch.yp[k] = ch.bel[k];
    ch.conv[k] = 0.0;
    ch.chan_depth[k] = 0.0;
    return true;
  }
  const double h = ch.ht_spc[t];
  const int n = ch.numhts[t];
  auto at = [&](const std::vector<double>& x, int i) { return x[xsec_key(ch, t, i)]; };
  double d = 0.0;
  if (a < at(ch.xarea, 1)) {
    d = h * std::pow(a / at(ch.xarea, 1), 0.6);
    ch.conv[k] = at(ch.xk, 1) * third_power(d, 5.0) / third_power(h, 5.0);
  } else if (a > at(ch.xarea, n)) {
    exceeded = true;
    d = n * h + (a - at(ch.xarea, n)) * h / (at(ch.xarea, n) - at(ch.xarea, n - 1));
    ch.conv[k] = at(ch.xk, n) + (at(ch.xk, n) - at(ch.xk, n - 1)) * (d - n * h) / h;
  } else {
    int step = n - 1;
    for (int i = 1; i <= n - 1; ++i) {
      if (at(ch.xarea, i) <= a && a < at(ch.xarea, i + 1)) {
        step = i;
        break;
      }
    }
    d = step * h + (a - at(ch.xarea, step)) * h / (at(ch.xarea, step + 1) - at(ch.xarea, step));
    ch.conv[k] = at(ch.xk, step) + (at(ch.xk, step + 1) - at(ch.xk, step)) * (d - step * h) / h;
  }
  ch.chan_depth[k] = d;
  ch.yp[k] = ch.bel[k] + d;
  return true;
}

// Area, top width and wetted perimeter of a polyline (pairs 0..M-1 here) under the water
// surface eta. False after a stop: a jagged section, or with check_flat an entering segment
// that lies flat at the water surface.
struct row_properties {
  double area = 0.0;
  double top_width = 0.0;
  double perimeter = 0.0;
};

}  // namespace

bool find_wet_intervals(const double* x, const double* y, int m, double eta, int link, bool check_flat,
                        bool lead_newlines, wet_intervals& out) {
  int* starts = out.start;
  int* ends = out.end;
  double* left = out.left;
  double* right = out.right;
  int count = 0;
  bool in_water = false;
  int opener = -1;
  auto open = [&](int s, double xl, int by) -> bool {
    if (count + 1 >= max_intervals) {
      stop_run(lead_newlines ? "\n\n%s%d%s" : "%s%d%s",
               "There is a serious problem with a channel cross-section in\nlink ", link,
               ".  The cross-section interpolation routine has found\n"
               "that this cross-section is very jagged, with over 50 'islands'\n"
               "for certain depths.  Calculating cross-section properties in\n"
               "this case is very dubious.  Check your cross section, smooth\n"
               "it if necessary and try again.\n");
      return false;
    }
    starts[count] = s;
    left[count] = xl;
    opener = by;
    in_water = true;
    return true;
  };
  if (eta >= y[0] && !open(0, x[0], 0)) return false;
  for (int i = 0; i < m; ++i) {
    if (!in_water) {
      if (eta >= y[i]) {
        const int s = i > 0 ? i - 1 : 0;
        double xl = x[0];
        if (i > 0) {
          if (y[i] == y[i - 1]) {
            if (check_flat) {
              stop_run("Error in your channel (%d). Each Z values must be different from it's "
                       "neighbor\n",
                       link);
              wait_for_key_on_exit();
              return false;
            }
            xl = x[i - 1];
          } else {
            xl = x[i - 1] + (eta - y[i - 1]) * (x[i] - x[i - 1]) / (y[i] - y[i - 1]);
          }
        }
        if (!open(s, xl, i)) return false;
      }
    } else if (i != opener && y[i] >= eta) {
      ends[count] = i;
      // A segment lying flat at the surface holds no water: the interval ends where it begins.
      right[count] = y[i] == y[i - 1] ? x[i - 1]
                                      : x[i - 1] + (eta - y[i - 1]) * (x[i] - x[i - 1]) /
                                                       (y[i] - y[i - 1]);
      ++count;
      in_water = false;
    }
  }
  if (in_water) {
    ends[count] = m - 1;
    right[count] = x[m - 1];
    ++count;
  }
  out.count = count;
  return true;
}

namespace {

bool wet_row(const double* x, const double* y, int m, double eta, int link, bool check_flat,
             bool lead_newlines, row_properties& out) {
  wet_intervals w;
  if (!find_wet_intervals(x, y, m, eta, link, check_flat, lead_newlines, w)) return false;
  const int count = w.count;
  const int* starts = w.start;
  const int* ends = w.end;
  const double* left = w.left;
  const double* right = w.right;
  auto length = [](double dx, double dy) { return std::sqrt(dy * dy + dx * dx); };
  row_properties r;
  for (int v = 0; v < count; ++v) {
    r.top_width += right[v] - left[v];
    const int s = starts[v];
    const int e = ends[v];
    const double xl = left[v];
    const double xr = right[v];
    r.perimeter += length(x[s + 1] - xl, eta - y[s + 1]);
    r.area += (x[s + 1] - xl) * 0.5 * (eta - y[s + 1]);
    for (int p = s + 2; p <= e - 1; ++p) {
      r.perimeter += length(x[p] - x[p - 1], y[p] - y[p - 1]);
      r.area += ((eta - y[p]) + (eta - y[p - 1])) * (x[p] - x[p - 1]) * 0.5;
    }
    r.perimeter += length(xr - x[e - 1], eta - y[e - 1]);
    r.area += (xr - x[e - 1]) * 0.5 * (eta - y[e - 1]);
  }
  out = r;
  return true;
}

// Rows 1..N of table t from a polyline; h already stored.
bool build_rows(channel_state& ch, int t, const double* x, const double* y, int m, double ymin,
                double inv_n, int link, bool check_flat, bool lead_newlines, int chan_mesh_on) {
  const int n = ch.numhts[t];
  const double h = ch.ht_spc[t];
  for (int i = 1; i <= n; ++i) {
    row_properties r;
    if (!wet_row(x, y, m, ymin + i * h, link, check_flat, lead_newlines, r)) return false;
    const int k = xsec_key(ch, t, i);
    ch.xarea[k] = r.area;
    ch.xtw[k] = r.top_width;
    ch.xp[k] = r.perimeter;
    ch.xk[k] = r.perimeter > 0.0 ? third_power(r.area / r.perimeter, 2.0) * r.area * inv_n : 0.0;
  }
  if (chan_mesh_on) {
    auto at = [&](const std::vector<double>& v, int i) { return v[xsec_key(ch, t, i)]; };
    ch.xi1[xsec_key(ch, t, 1)] = h * h * at(ch.xtw, 1) * 0.5;
    for (int i = 2; i <= n; ++i) {
      double sum = 0.0;
      for (int k = 1; k <= i - 1; ++k) sum += at(ch.xtw, k) * h * ((i - k) * h);
      ch.xi1[xsec_key(ch, t, i)] = sum;
    }
    auto slope = [&](int i) {  // difference between steps i-1 and i
      return (at(ch.xk, i) - at(ch.xk, i - 1)) / (at(ch.xarea, i) - at(ch.xarea, i - 1));
    };
    if (n == 1) {
      ch.xdkda[xsec_key(ch, t, 1)] = slope(1);
    } else {
      ch.xdkda[xsec_key(ch, t, 1)] = slope(2);
      ch.xdkda[xsec_key(ch, t, n)] = slope(n);
      for (int i = 2; i <= n - 1; ++i)
        ch.xdkda[xsec_key(ch, t, i)] = 0.5 * (slope(i) + slope(i + 1));
    }
  }
  return true;
}

// A table number past the allocated tables would write outside them.
bool table_in_range(const channel_state& ch, int t, int link) {
  if (t >= 1 && t <= ch.num_xsec_tables) return true;
  stop_run("Error: link %d needs cross-section table %d but only %d tables exist.\n", link, t,
           ch.num_xsec_tables);
  return false;
}

// Value of property v of table t at depth d, linear below the first step.
double table_value(const channel_state& ch, const std::vector<double>& v, int t, int n, double d) {
  const double hs = ch.ht_spc[t];
  auto at = [&](int i) { return v[xsec_key(ch, t, i)]; };
  if (d < hs) return d / hs * at(1);
  if (d <= n * hs) {
    const int k = std::min(static_cast<int>(d / hs), n - 1);
    return at(k) + (at(k + 1) - at(k)) * (d - k * hs) / hs;
  }
  return at(n - 1) + (at(n) - at(n - 1)) * (d - (n - 1) * hs) / hs;
}

}  // namespace

void size_xsec_tables(channel_state& ch) {
  const size_t tables = static_cast<size_t>(ch.num_xsec_tables) + 1;
  const size_t rows = tables * static_cast<size_t>(ch.max_num_interp + 1);
  ch.numhts.assign(tables, 0);
  ch.numpairs.assign(tables, 0);
  ch.ht_spc.assign(tables, 0.0);
  for (auto* v : {&ch.xarea, &ch.xtw, &ch.xp, &ch.xk, &ch.xi1, &ch.xdkda}) v->assign(rows, 0.0);
  const size_t polylines = static_cast<size_t>(ch.num_erodible_bp_links + 1) *
                           static_cast<size_t>(ch.chan_node_extent) *
                           static_cast<size_t>(ch.max_npairs + 1);
  ch.xbp_lnn.assign(polylines, 0.0);
  ch.ybp_lnn.assign(polylines, 0.0);
}

bool ex_section_node(channel_state& ch, int mode, int link, int node, int32_t& table_exceeded) {
  if (mode != 1 && mode != 2) return true;
  const int type = ch.ltype[link];
  bool exceeded = false;
  bool ok = true;
  if (type & 4) {
    ok = mode == 2 ? trapezoid_forward(ch, link, node) : trapezoid_inverse(ch, link, node);
  } else if (type & 8) {
    ok = mode == 2 ? breakpoint_forward(ch, link, node, exceeded)
                   : breakpoint_inverse(ch, link, node, exceeded);
  }
  if (exceeded) table_exceeded = 1;
  return ok;
}

void ex_section(channel_state& ch, int mode, int32_t& table_exceeded) {
  if (mode != 1 && mode != 2) return;
  bool ok = true;
  for (int link = 1; link <= ch.nlinks && ok; ++link) {
    if (!(ch.ltype[link] & (4 | 8))) continue;
    for (int node = 1; node <= ch.nx[link] && ok; ++node)
      ok = ex_section_node(ch, mode, link, node, table_exceeded);
  }
}

bool xsec_properties_table(channel_state& ch, int chan_mesh_on, int link, int node) {
  const int t = ch.table_num[node_key(ch, link, node)];
  if (t < 1 || t > ch.num_xsec_tables || ch.numpairs[t] < 3) {
    stop_run("\n Your breakpoint channel cross section table is invalid for link %d \n"
             "Check your cross section\n",
             link);
    return false;
  }
  const int m = ch.numpairs[t];
  const size_t base =
      (static_cast<size_t>(ch.bplink[link]) * ch.chan_node_extent + node) * (ch.max_npairs + 1);
  const double* x = &ch.xbp_lnn[base + 1];
  const double* y = &ch.ybp_lnn[base + 1];
  const double ymax = *std::max_element(y, y + m);
  const double ymin = *std::min_element(y, y + m);
  ch.ht_spc[t] = (ymax - ymin) / ch.numhts[t];
  return build_rows(ch, t, x, y, m, ymin, ch.inv_mannings_n[link], link, false, false,
                    chan_mesh_on);
}

void interp_breakpoint_xsecs(channel_state& ch, int& table_counter, const breakpoint_link& bp,
                             int chan_mesh_on) {
  const int link = bp.link;
  const int nsec = static_cast<int>(bp.sections.size());
  if (nsec < 1) return;
  const bool erodible = (bp.ltype & 2) != 0;
  if (link < 1 || link > ch.nlinks || bp.nodes < 1 || bp.nodes >= ch.chan_node_extent ||
      (erodible && (ch.bplink[link] < 1 || ch.bplink[link] > ch.num_erodible_bp_links))) {
    stop_run("Error: the cross sections of link %d do not fit the sizes read for the file.\n",
             link);
    return;
  }
  const breakpoint_section& first = bp.sections.front();
  const breakpoint_section& last = bp.sections.back();
  const int f_node = first.node;
  const int l_node = last.node;
  const int t0 = ++table_counter;
  int npairs = static_cast<int>(first.x.size());
  int nhts = first.num_interp;

  // Table numbers.
  if (erodible) {
    table_counter = t0 + bp.nodes - 1;
    if (!table_in_range(ch, table_counter, link)) return;
    for (int j = 1; j <= bp.nodes; ++j) {
      ch.table_num[node_key(ch, link, j)] = t0 + j - 1;
      ch.numhts[t0 + j - 1] = nhts;
      ch.numpairs[t0 + j - 1] = npairs;
    }
  } else if (nsec == 1) {
    if (!table_in_range(ch, t0, link)) return;
    for (int j = 1; j <= bp.nodes; ++j) ch.table_num[node_key(ch, link, j)] = t0;
    ch.numhts[t0] = nhts;
    ch.numpairs[t0] = npairs;
  } else {
    const int p1 = static_cast<int>(first.x.size());
    const int p2 = static_cast<int>(last.x.size());
    if (p1 != p2) {
      std::printf("\n\nWARNING!!!! When using two break-point cross-sections the number of pairs "
                  "\n            must be equal, which they are not for link %d.\n\n",
                  link);
      if (p1 > p2)
        std::printf("  ---> Disregarding the last %d pairs of the first cross-section. <---\n\n",
                    p1 - p2);
      else
        std::printf("  ---> Disregarding the last %d pairs of the second cross-section. <---\n\n",
                    p2 - p1);
      npairs = std::min(p1, p2);
    }
    if (first.num_interp != last.num_interp) {
      std::printf("\nUsing the greater of the two number of interpolation points \nfor both "
                  "cross-section in link %d.\n",
                  link);
      nhts = std::max(first.num_interp, last.num_interp);
    }
    const int last_table = t0 + std::max(l_node - f_node, 0);
    if (!table_in_range(ch, last_table, link)) return;
    for (int j = 1; j <= bp.nodes; ++j) {
      int t = t0;
      if (j > f_node && j <= l_node) t = t0 + (j - f_node);
      if (j > l_node) t = last_table;
      ch.table_num[node_key(ch, link, j)] = t;
    }
    table_counter = last_table;
    for (int t = t0; t <= last_table; ++t) {
      ch.numhts[t] = nhts;
      ch.numpairs[t] = npairs;
    }
  }
  if (!erodible && (nhts < 1 || nhts > max_num_interp_allowed)) {
    // The sections share one N, so the first defined section is the one named.
    stop_run("\n\nError: The number of interpolation points [%d] for table %d in link %d is "
             "invalid. (Range is 1-30000.) \n",
             nhts, 1, link);
    return;
  }
  // The table and polyline arrays were sized from the file's largest values.
  bool fits = nhts >= 1 && nhts <= ch.max_num_interp && npairs >= 2 && npairs <= ch.max_npairs;
  for (const breakpoint_section& sec : bp.sections)
    fits = fits && sec.node >= 1 && sec.node <= bp.nodes && bp.nodes < ch.chan_node_extent &&
           static_cast<int>(sec.x.size()) >= npairs && static_cast<int>(sec.y.size()) >= npairs;
  if (!fits) {
    stop_run("Error: the cross sections of link %d do not fit the sizes read for the file.\n",
             link);
    return;
  }
  const double inv_n = 1.0 / bp.mannings_n;

  if (erodible) {
    // Every node gets its own polyline, resampled at equal spacing, and its own table.
    const int m = npairs;
    auto polyline = [&](int node) {
      return (static_cast<size_t>(ch.bplink[link]) * ch.chan_node_extent + node) *
             (ch.max_npairs + 1);
    };
    for (const breakpoint_section& sec : bp.sections) {
      const double xmin = *std::min_element(sec.x.begin(), sec.x.begin() + m);
      const double xmax = *std::max_element(sec.x.begin(), sec.x.begin() + m);
      const double dx = m > 1 ? (xmax - xmin) / (m - 1) : 0.0;
      const size_t base = polyline(sec.node);
      for (int p = 1; p <= m; ++p) {
        const double xp = xmin + (p - 1) * dx;
        int q = 0;
        while (q < m - 1 && sec.x[q] < xp) ++q;
        double yp = sec.y[q];
        if (p == m) {
          yp = sec.y[m - 1];
        } else if (p > 1 && q > 0 && sec.x[q] != sec.x[q - 1]) {
          yp = sec.y[q - 1] + (xp - sec.x[q - 1]) * (sec.y[q] - sec.y[q - 1]) /
                                  (sec.x[q] - sec.x[q - 1]);
        }
        ch.xbp_lnn[base + p] = xp;
        ch.ybp_lnn[base + p] = yp;
      }
    }
    for (int j = 1; j <= bp.nodes; ++j) {
      int below = 0;  // index of the nearest defined section at or below j
      int above = -1;
      for (int s = 0; s < nsec; ++s) {
        if (bp.sections[s].node <= j) below = s;
        if (above < 0 && bp.sections[s].node >= j) above = s;
      }
      const size_t base = polyline(j);
      if (j <= f_node || j >= l_node || bp.sections[below].node == j) {
        const int src = j <= f_node ? 0 : (j >= l_node ? nsec - 1 : below);
        if (bp.sections[src].node == j) continue;
        const size_t from = polyline(bp.sections[src].node);
        for (int p = 1; p <= m; ++p) {
          ch.xbp_lnn[base + p] = ch.xbp_lnn[from + p];
          ch.ybp_lnn[base + p] = ch.ybp_lnn[from + p];
        }
        continue;
      }
      const int a = bp.sections[below].node;
      const int b = bp.sections[above].node;
      const size_t fa = polyline(a);
      const size_t fb = polyline(b);
      const double w = static_cast<double>(j - b) / (a - b);
      for (int p = 1; p <= m; ++p) {
        ch.xbp_lnn[base + p] = ch.xbp_lnn[fb + p] + (ch.xbp_lnn[fa + p] - ch.xbp_lnn[fb + p]) * w;
        ch.ybp_lnn[base + p] = ch.ybp_lnn[fb + p] + (ch.ybp_lnn[fa + p] - ch.ybp_lnn[fb + p]) * w;
      }
    }
    for (int j = 1; j <= bp.nodes; ++j)
      if (!xsec_properties_table(ch, chan_mesh_on, link, j)) return;
    return;
  }

  // Tables of the defined sections.
  for (int s = 0; s < nsec; ++s) {
    const breakpoint_section& sec = bp.sections[s];
    const int t = ch.table_num[node_key(ch, link, sec.node)];
    const int m = npairs;
    const double ymax = *std::max_element(sec.y.begin(), sec.y.begin() + m);
    const double ymin = *std::min_element(sec.y.begin(), sec.y.begin() + m);
    const double h = (ymax - ymin) / nhts;
    ch.ht_spc[t] = h;
    if (h < 0.0001 || h > 1.0) {
      std::printf("\n\nError: The interpolation distance [%6.5lf] produced by the number of "
                  "interpolation points [%d]\nfor table %d in link %d is invalid. (Range is "
                  "0.0001 to 1.0)\n",
                  h, nhts, s + 1, link);
      set_error(200, "", ch.channel_input_path);
      return;
    }
    if (!build_rows(ch, t, sec.x.data(), sec.y.data(), m, ymin, inv_n, link, true, true,
                    chan_mesh_on))
      return;
  }

  // Nodes between the two defined sections: tables interpolated by node index.
  if (nsec < 2 || l_node - f_node <= 1) return;
  const int a = f_node;
  const int b = l_node;
  const int ta = ch.table_num[node_key(ch, link, a)];
  const int tb = ch.table_num[node_key(ch, link, b)];
  std::vector<std::vector<double>*> props = {&ch.xarea, &ch.xtw, &ch.xp, &ch.xk};
  if (chan_mesh_on) {
    props.push_back(&ch.xi1);
    props.push_back(&ch.xdkda);
  }
  for (int j = a + 1; j < b; ++j) {
    const int t = ch.table_num[node_key(ch, link, j)];
    const double hj = ch.ht_spc[ta] + (j - a) * (ch.ht_spc[tb] - ch.ht_spc[ta]) / (b - a);
    ch.ht_spc[t] = hj;
    const double w = static_cast<double>(j - b) / (a - b);
    for (int i = 1; i <= nhts; ++i) {
      const double d = i * hj;
      for (std::vector<double>* v : props) {
        const double xa = table_value(ch, *v, ta, nhts, d);
        const double xb = table_value(ch, *v, tb, nhts, d);
        (*v)[xsec_key(ch, t, i)] = xb + (xa - xb) * w;
      }
    }
  }
}

}  // namespace pluvo
