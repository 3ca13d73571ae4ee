// Shares of the lumped Sacramento and conceptual-groundwater outflows over the channel cells,
// fixed once at set-up. Both sets of shares sum to 1 so that the lumped outflow enters the
// channels whole.
#include <cmath>
#include <cstdio>

#include "channel/channel_routines.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/process.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

bool console_quiet(const model_state& m) { return m.super_quiet_on || m.silent_mode == 1 || quiet_console; }

// Every grid-stream entry names a cell and a link that exist.
bool entries_fit(const model_state& m) {
  for (int i = 1; i <= m.gst_num_cells; ++i)
    for (int e = 1; e <= m.gst_ncellsingrid[size_t(i)]; ++e) {
      const int cell = m.gst_gnum[size_t(i)][size_t(e)], link = m.gst_link[size_t(i)][size_t(e)];
      if (cell < 1 || cell > m.cell_count) {
        stop_run("Error: grid-stream cell %d entry %d names cell %d, outside the %d cells of the grid.\n", i, e, cell,
                 m.cell_count);
        return false;
      }
      if (link < 1 || link > m.nlinks) {
        stop_run("Error: grid-stream cell %d entry %d names link %d, outside the channel network of %d links.\n", i,
                 e, link, m.nlinks);
        return false;
      }
    }
  return true;
}

bool topo_dex_sum_positive(const model_state& m) {
  if (m.topo_dex_chan_sum >= 1e-10) return true;
  stop_run("Problem, sum of the topographic indices in all channel-containing grids is <=0.0\nProgram terminated\n");
  return false;
}

// The topographic index of each channel cell (counted once however many entries list it),
// normalised over the channel cells, shared among the cell's entries by channel length.
void sacramento_grid_stream_weights(model_state& m) {
  m.sac_cell_weight.assign(size_t(m.cell_count) + 1, 0.0);
  m.gst_sac_weight.assign(size_t(m.gst_num_cells) + 1, std::vector<double>(size_t(m.gst_max_entries) + 1, 0.0));
  std::vector<char> counted(size_t(m.cell_count) + 1, 0);
  const bool topo = m.topo_dex_on && m.topo_dex.size() > size_t(m.cell_count);
  for (int i = 1; i <= m.gst_num_cells; ++i)
    for (int e = 1; e <= m.gst_ncellsingrid[size_t(i)]; ++e) {
      const int cell = m.gst_gnum[size_t(i)][size_t(e)], link = m.gst_link[size_t(i)][size_t(e)];
      if (!counted[size_t(cell)]) {
        counted[size_t(cell)] = 1;
        m.sac_chan_cell_count += 1.0;
        if (topo) {
          m.topo_dex_chan_sum += m.topo_dex[size_t(cell)];
          m.sac_cell_weight[size_t(cell)] = m.topo_dex[size_t(cell)];
        }
      }
      m.gst_length_sum += m.link_dx[size_t(link)] * m.gst_pct[size_t(i)][size_t(e)];
    }
  for (int c = 1; c <= m.cell_count; ++c) {
    if (m.sac_cell_weight[size_t(c)] <= 0.0) continue;
    if (!topo_dex_sum_positive(m)) return;
    m.sac_cell_weight[size_t(c)] /= m.topo_dex_chan_sum;
  }
  for (int i = 1; i <= m.gst_num_cells; ++i)
    for (int e = 1; e <= m.gst_ncellsingrid[size_t(i)]; ++e) {
      const int cell = m.gst_gnum[size_t(i)][size_t(e)], link = m.gst_link[size_t(i)][size_t(e)];
      double& w = m.gst_sac_weight[size_t(i)][size_t(e)];
      w = m.link_dx[size_t(link)] * m.gst_pct[size_t(i)][size_t(e)] / m.gst_length_sum * m.sac_cell_weight[size_t(cell)];
      if (!(w > 0.0)) {
        stop_run("Problem, gst_sac_weight <=0.0\nProgram terminated\n");
        return;
      }
      m.sac_weight_sum += w;
    }
  const double raw = m.sac_weight_sum;
  m.sac_weight_sum = 0.0;
  for (int i = 1; i <= m.gst_num_cells; ++i)
    for (int e = 1; e <= m.gst_ncellsingrid[size_t(i)]; ++e) {
      double& w = m.gst_sac_weight[size_t(i)][size_t(e)];
      w /= raw;
      m.sac_weight_sum += w;
    }
  if (!console_quiet(m)) std::printf("Sac Weights: %lf\n", m.sac_weight_sum);
  if (std::fabs(m.sac_weight_sum - 1.0) > 1e-9)
    stop_run("Problem, summation of the Sacramento weights is not equal to 1.0.\nProgram terminated.\n");
}

// Without a grid-stream file the cells tied to links carry the shares, by topographic index.
void sacramento_cell_weights(model_state& m) {
  const bool topo = m.topo_dex_on && m.topo_dex.size() > size_t(m.cell_count);
  const auto channel_cell = [&](int c) { return size_t(c) < m.con_link.size() && m.con_link[size_t(c)] > 0; };
  for (int c = 1; c <= m.cell_count; ++c) {
    if (!channel_cell(c)) continue;
    m.sac_chan_cell_count += 1.0;
    if (topo) m.topo_dex_chan_sum += m.topo_dex[size_t(c)];
  }
  if (!topo) return;
  // A zero sum would make every share infinite or undefined: the outflow would have no home.
  if (!topo_dex_sum_positive(m)) return;
  for (int c = 1; c <= m.cell_count; ++c) {
    if (!channel_cell(c)) continue;
    m.topo_dex[size_t(c)] /= m.topo_dex_chan_sum;
    m.sac_weight_sum += m.topo_dex[size_t(c)];
  }
}

// Largest and smallest upslope area over each link's grid-stream entries.
void link_area_range(const model_state& m, std::vector<double>& amax, std::vector<double>& amin) {
  const size_t links = size_t(m.nlinks) + 1;
  amax.assign(links, -99999.0);
  amin.assign(links, 999999999999.0);
  for (int i = 1; i <= m.gst_num_cells; ++i)
    for (int e = 1; e <= m.gst_ncellsingrid[size_t(i)]; ++e) {
      const size_t link = size_t(m.gst_link[size_t(i)][size_t(e)]);
      const double a = m.upslope_area[size_t(m.gst_gnum[size_t(i)][size_t(e)])];
      if (a > amax[link]) amax[link] = a;
      if (a < amin[link]) amin[link] = a;
    }
}

// The largest area of link's entries strictly between low and high; low when there is none.
double largest_area_between(const model_state& m, int link, double low, double high) {
  double third = low;
  for (int i = 1; i <= m.gst_num_cells; ++i)
    for (int e = 1; e <= m.gst_ncellsingrid[size_t(i)]; ++e) {
      if (m.gst_link[size_t(i)][size_t(e)] != link) continue;
      const double a = m.upslope_area[size_t(m.gst_gnum[size_t(i)][size_t(e)])];
      if (a > third && a < high) third = a;
    }
  return third;
}

// The area each link drains of its own: a headwater link its largest upslope area, any other
// the growth over its first upstream link, less what the other branches at its junction bring.
std::vector<double> own_link_areas(const model_state& m) {
  std::vector<double> amax, amin;
  link_area_range(m, amax, amin);  // all links first: an upstream link may carry a higher number
  std::vector<double> third(amin);
  for (int l = 1; l <= m.nlinks; ++l) {
    const size_t l_ = size_t(l);
    if (m.ndep[l_] > 0) {
      amin[l_] = amax[size_t(m.uslinks[l_][1])];
      if (amax[l_] - amin[l_] <= 0.0) {
        third[l_] = amin[l_];
        continue;
      }
    }
    if (amax[l_] != amin[l_] && amin[l_] <= amax[l_]) third[l_] = largest_area_between(m, l, third[l_], amax[l_]);
  }
  const double cell_area = m.cell_size * m.cell_size;
  std::vector<double> area(size_t(m.nlinks) + 1, 0.0);
  for (int l = 1; l <= m.nlinks; ++l) {
    const size_t l_ = size_t(l);
    double a = m.ndep[l_] > 0 ? amax[l_] - amin[l_] : amax[l_];
    if (a <= 0.0) {
      area[l_] = cell_area;
      continue;
    }
    const int down = m.dslink[l_];
    if (down > 0 && m.ndep[size_t(down)] > 1) {
      for (int k = 1; k <= m.ndep[size_t(down)]; ++k) {
        const int u = m.uslinks[size_t(down)][size_t(k)];
        if (u != l && amax[size_t(u)] - amin[size_t(u)] > 0.0) a -= third[size_t(u)];
      }
      if (a <= 0.0) a = cell_area;
    }
    area[l_] = a;
  }
  return area;
}

// Every link number the weights follow lies in the network.
bool link_ties_fit(const model_state& m) {
  for (int l = 1; l <= m.nlinks; ++l) {
    const int down = m.dslink[size_t(l)];
    bool fits = down >= 0 && down <= m.nlinks;
    for (int k = 1; fits && k <= m.ndep[size_t(l)]; ++k) {
      const int u = m.uslinks[size_t(l)][size_t(k)];
      fits = u >= 1 && u <= m.nlinks;
    }
    if (fits) continue;
    stop_run("Error: link %d of the channel network is joined to a link outside its %d links.\n", l, m.nlinks);
    return false;
  }
  return true;
}

}  // namespace

void compute_sacramento_weights(model_state& m) {
  if (m.sacramento_on != 1 || m.chan_explic_on != 1) return;
  m.sac_chan_cell_count = m.topo_dex_chan_sum = m.gst_length_sum = m.sac_weight_sum = 0.0;
  if (!m.gst_mode_on) {
    sacramento_cell_weights(m);
    return;
  }
  if (entries_fit(m)) sacramento_grid_stream_weights(m);
}

void compute_cgw_weights(model_state& m) {
  if (m.conceptual_gw_on != 1 || m.chan_explic_on != 1) return;
  m.gst_cgw_weight.assign(size_t(m.gst_num_cells) + 1, std::vector<double>(size_t(m.gst_max_entries) + 1, 0.0));
  m.cgw_weight_sum = 0.0;
  if (m.upslope_area.size() <= size_t(m.cell_count)) m.upslope_area.resize(size_t(m.cell_count) + 1, 0.0);
  if (!entries_fit(m) || !link_ties_fit(m)) return;
  double amax_all = -999.0;
  for (int c = 1; c <= m.cell_count; ++c) {
    const int link = size_t(c) < m.con_link.size() ? m.con_link[size_t(c)] : 0;
    if (link <= 0) continue;
    const double a = m.upslope_area[size_t(c)];
    if (!m.super_quiet_on) std::printf("%d  link  %d area %8.2lf \n", c, link, a);
    if (a > amax_all) amax_all = a;
  }
  const std::vector<double> area = own_link_areas(m);
  // The shares are divided by their sum below, so the largest area only scales them; without a
  // positive one it is left out.
  const double scale = amax_all > 0.0 ? amax_all : 1.0;
  double raw = 0.0;
  for (int i = 1; i <= m.gst_num_cells; ++i)
    for (int e = 1; e <= m.gst_ncellsingrid[size_t(i)]; ++e) {
      const int link = m.gst_link[size_t(i)][size_t(e)];
      const int intervals = m.nx1[size_t(link)] - 1 > 0 ? m.nx1[size_t(link)] - 1 : 1;
      double& w = m.gst_cgw_weight[size_t(i)][size_t(e)];
      w = area[size_t(link)] / intervals / scale * m.gst_pct[size_t(i)][size_t(e)];
      raw += w;
    }
  if (!console_quiet(m)) std::printf("CGW Weights: %lf\n", raw);
  if (std::fabs(raw - 1.0) > 1e-9) message_out("Summation of the cgw weights is not equal to 1.0.\n");
  if (!(raw > 0.0)) {
    if (m.gst_num_cells > 0)
      stop_run("Problem, summation of the cgw weights is <=0.0\nProgram terminated\n");
    return;
  }
  for (int i = 1; i <= m.gst_num_cells; ++i)
    for (int e = 1; e <= m.gst_ncellsingrid[size_t(i)]; ++e) {
      double& w = m.gst_cgw_weight[size_t(i)][size_t(e)];
      w /= raw;
      m.cgw_weight_sum += w;
    }
}

}  // namespace pluvo
