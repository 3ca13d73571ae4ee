// The gatherings that feed the channel and lake routing: first-order decay, the outflow at the
// outlet, exchange with the aquifer and rain on the lakes, each on its own clock. Nothing moves
// between nodes here; the routing empties the stores.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "quality/channel_quality.hpp"
#include "quality/quality_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;

bool due(const model_state& m, double next) { return std::fabs(next - m.cur_julian) < m.time_tolerance; }

int address(const model_state& m, int link, int node) { return link * m.chan_node_extent + node; }

void gather_outlet(model_state& m) {
  const double dt = (m.cur_julian - m.chan_outlet_last_time) * 86400.0;
  if (m.chan_outlet_volume > tiny) {
    const int outlet = address(m, m.nlinks, m.nx[size_t(m.nlinks)]);
    for (int k = 1; k <= m.num_constituents; ++k)
      m.chan_outlet_mass_pending[size_t(k)] += m.chan_node_conc.rows[k][outlet] * m.chan_outlet_volume;
  }
  m.chan_outlet_dt = dt;
  m.ov_outlet_volume = 0.0;
  m.chan_outlet_last_time = m.cur_julian;
  m.chan_outlet_volume = 0.0;
  m.chan_outlet_next_time = m.chan_next_time;
}

void gather_lake_precipitation(model_state& m) {
  if (m.lake_precip_mass.empty()) return;
  for (int k = 1; k <= m.num_constituents; ++k)
    for (int lake = 1; lake <= m.nlakes; ++lake) {
      double& volume = m.lake_precip_volume[size_t(lake)];
      m.lake_precip_mass[k][lake] += volume * m.precip_conc[k];
      if (k == m.num_constituents) volume = 0.0;
    }
}

}  // namespace

void channel_contaminant_sources_decay(model_state& m, double dt, int k) {
  for (int l = m.nlinks; l >= 1; --l) {
    if (wq_structure_link(m, l)) continue;
    const int lake = size_t(l) < m.lake2link.size() ? m.lake2link[size_t(l)] : 0;
    if (wq_lake_link(m, l) && lake >= 1 && lake <= m.nlakes && !m.lake_decay_mass.empty())
      m.lake_decay_mass[k][lake] += m.lake_con_conc.rows[k][lake] * m.lake_volume[size_t(lake)] *
                                    m.lake_decay_coef[k][lake] * dt;
    const double dx = m.link_dx[size_t(l)];
    for (int n = m.nx[size_t(l)]; n >= 1; --n) {
      const size_t a = size_t(address(m, l, n));
      if (m.area[a] < 0.0 || m.area_old[a] < 0.0) std::printf("area negative");
      const double v = std::min(m.area[a], m.area_old[a]) * dx;
      if (v >= tiny) m.chan_mass[k][int(a)] += v * m.chan_node_conc.rows[k][a] * m.chan_node_decay_coef[k][int(a)] * dt;
      if (m.chan_mass[k][int(a)] < 0.0) std::printf("decay negative");
    }
  }
}

void channel_gw_exchange_mass(model_state& m, double dt, int k) {
  if (m.chan_gw_mass.empty()) return;
  const double* conc = m.chan_node_conc.rows[k];
  if (m.water_table_on) {
    for (int g = 1; g <= m.gst_num_cells; ++g)
      for (int e = 1; e <= m.gst_ncellsingrid[size_t(g)]; ++e) {
        const int l = m.gst_link[size_t(g)][size_t(e)];
        const int cell = m.gst_gnum[size_t(g)][size_t(e)];
        if (l < 1 || l > m.nlinks || !wq_active_link(m, l)) continue;
        if (m.gw_simulation_on && m.gwbound[size_t(cell)] != gw_stream_cell) continue;
        const int a = address(m, l, m.gst_node[size_t(g)][size_t(e)]);
        const double v = m.gst_qriv_vol[size_t(g)][size_t(e)];
        m.chan_gw_mass[k][a] += v * (v >= 0.0 ? m.gw_cell_conc[k][cell] : conc[a]);
      }
    return;
  }
  for (int l = 1; l <= m.nlinks; ++l) {
    if (!wq_active_link(m, l)) continue;
    for (int n = 1; n <= m.nx[size_t(l)]; ++n) {
      const int a = address(m, l, n);
      m.chan_gw_mass[k][a] += m.qriv[size_t(a)] * conc[a] * dt;
    }
  }
}

void lake_gw_exchange_mass(model_state& m, int k) {
  if (m.lake_gw_mass.empty()) return;
  for (int lake = 1; lake <= m.nlakes; ++lake) {
    if (size_t(lake) >= m.calc_loss.size() || m.calc_loss[size_t(lake)] == 0) continue;
    const auto& cells = m.lake_search[size_t(lake)];
    for (int i = 1; i <= m.lake_cells[size_t(lake)] && size_t(i) < cells.size(); ++i) {
      const grid_position g = cells[size_t(i)];
      const auto& grid = m.cell_number_grid;
      if (g.row < 1 || g.row > grid.rows() || g.col < 1 || g.col > grid.cols()) continue;
      const int cell = grid(g.row, g.col);
      if (cell < 1 || cell > m.cell_count) continue;
      if (m.gw_simulation_on && m.gwbound[size_t(cell)] != 7) continue;
      double& v = m.lake_gw_exchange_volume[size_t(cell)];
      m.lake_gw_mass[k][lake] += v * (v > 0.0 ? m.gw_cell_conc[k][cell] : m.lake_con_conc.rows[k][lake]);
      if (k == m.num_constituents) v = 0.0;
    }
  }
}

void step_channel_contaminant_sources(model_state& m) {
  if (m.chan_con_trans_on) {
    size_channel_quality_arrays(m);
    const double period = m.chan_interval * m.kinetics_step_factor;
    if (m.contam_table_on && due(m, m.chan_source_next_time)) {
      const double dt = (m.cur_julian - m.chan_source_last_time) * 86400.0;
      for (int k = 1; k <= m.num_constituents; ++k)
        if (int(m.constituent_type[k]) == 1) channel_contaminant_sources_decay(m, dt, k);
      m.chan_source_dt = dt;
      m.chan_source_last_time = m.cur_julian;
      m.chan_source_next_time = m.cur_julian + period;
    }
    if (m.nutrients_on && due(m, m.chan_tvx_next_time)) {
      m.chan_tvx_dt = m.cur_julian - m.chan_tvx_last_time;
      m.chan_tvx_last_time = m.cur_julian;
      m.chan_tvx_next_time = m.cur_julian + period;
    }
    if (due(m, m.chan_outlet_next_time)) gather_outlet(m);
  }
  if ((m.stream_loss_on || m.lake_gw_exchange_on) && due(m, m.chan_exchange_next_time)) {
    const double dt = (m.cur_julian - m.chan_exchange_last_time) * 86400.0;
    for (int k = 1; k <= m.num_constituents; ++k) {
      if (m.stream_loss_on) channel_gw_exchange_mass(m, dt, k);
      if (m.lake_gw_exchange_on) lake_gw_exchange_mass(m, k);
    }
    m.chan_exchange_dt = dt;
    m.chan_exchange_last_time = m.cur_julian;
    m.chan_exchange_next_time = m.chan_next_time;
  }
  if (m.lakes_on && m.chan_con_trans_on && due(m, m.chan_wq_next_time)) gather_lake_precipitation(m);
}

}  // namespace pluvo
