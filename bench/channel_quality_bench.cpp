// One channel water-quality update (the source step and the routing of four dissolved
// constituents) on synthetic binary dendritic networks of 10^4, 10^5 and 10^6 nodes: links of 10
// nodes 100 m apart under 30 cm of water, every node passing 0.2 m3/s over a 10 s update, so the
// interval is one Courant sub-step. Node updates = nodes x constituents per update.
#include <benchmark/benchmark.h>

#include <memory>

#include "channel/channel_routines.hpp"
#include "input/constituents.hpp"
#include "quality/quality_phases.hpp"
#include "synthetic_network.hpp"

namespace {

using namespace pluvo;

constexpr int constituents = 4;
constexpr double dt = 10.0;

void bm_channel_quality_update(benchmark::State& state) {
  auto m = std::make_unique<model_state>();
  build_synthetic_network(*m, dendritic_network(int(state.range(0))));
  int nodes = 0;
  for (int l = 1; l <= m->nlinks; l++) nodes += m->nx[size_t(l)];
  m->area_old = m->area;
  m->lake_volume.assign(2, 0.0);
  m->chan_con_trans_on = 1;
  m->chan_contam_out_name.clear();
  m->init_chan_conc_value = 5.0;
  m->chan_disp_coef_value = 1.0;
  m->chan_decay_coef_value = 0.1;
  m->contam_table_on = 1;
  allocate_constituent_arrays(*m, constituents, 0, 0);
  allocate_channel_contaminant_arrays(*m);
  m->cur_julian = 2450000.0;
  m->chan_interval = dt / 86400.0;
  m->chan_wq_next_time = m->chan_source_next_time = m->chan_outlet_next_time = m->cur_julian;
  m->chan_wq_last_time = m->chan_source_last_time = m->chan_outlet_last_time = m->cur_julian - m->chan_interval;
  for (int l = 1; l <= m->nlinks; l++)
    for (int n = 1; n <= m->nx[size_t(l)]; n++)
      for (int k = 1; k <= constituents; k++) {
        const int a = l * m->chan_node_extent + n;
        m->chan_node_mass.rows[k][a] = m->area[size_t(a)] * m->link_dx[size_t(l)] * 5.0;
        m->chan_node_conc.rows[k][a] = 5.0;
      }
  for (auto _ : state) {
    m->chan_next_time = m->cur_julian + m->chan_interval;
    for (int l = 1; l <= m->nlinks; l++)
      for (int n = 1; n <= m->nx[size_t(l)]; n++) m->qp_vol[size_t(l * m->chan_node_extent + n)] = 0.2 * dt;
    m->chan_outlet_volume = 0.2 * dt;
    step_channel_contaminant_sources(*m);
    step_channel_lake_water_quality(*m);
    m->cur_julian = m->chan_next_time;
  }
  state.counters["nodes"] = nodes;
  state.counters["node_updates_per_s"] =
      benchmark::Counter(double(nodes) * constituents * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(bm_channel_quality_update)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgName("nodes")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
