// One channel update of the explicit router on synthetic binary dendritic networks of 10^3,
// 10^4 and 10^5 nodes (links of 10 nodes 100 m apart, 30 cm of water, every head link fed
// 0.5 m3/s). Each iteration is one Courant sub-step, so node sub-steps = nodes per iteration.
#include <benchmark/benchmark.h>

#include <memory>

#include "channel/channel_routines.hpp"
#include "channel/explicit_routing.hpp"
#include "synthetic_network.hpp"

namespace {

using namespace pluvo;

void bm_channel_update(benchmark::State& state) {
  auto m = std::make_unique<model_state>();
  build_synthetic_network(*m, dendritic_network(int(state.range(0))));
  m->first_order_chan_q_value = 0.5;
  int nodes = 0;
  for (int l = 1; l <= m->nlinks; l++) nodes += m->nx[size_t(l)];
  // Let the network fill before timing, so the flows are those of a running network.
  for (int i = 0; i < 200; i++) {
    double sj = 0, g = 0, lo = 0;
    ex_flow_route(*m, courant_sub_step(*m, 10.0), sj, g, lo);
  }
  for (auto _ : state) {
    double sj = 0, g = 0, lo = 0;
    const double dts = courant_sub_step(*m, 10.0);
    benchmark::DoNotOptimize(ex_flow_route(*m, dts, sj, g, lo));
  }
  state.counters["nodes"] = nodes;
  state.counters["node_substeps_per_s"] =
      benchmark::Counter(double(nodes) * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(bm_channel_update)->Arg(1000)->Arg(10000)->Arg(100000)->ArgName("nodes")->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
