// One groundwater step (groundwater_solve) on square aquifers, at 1 thread and at all threads.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <memory>
#include <vector>

#include "common/process.hpp"
#include "groundwater/groundwater_solver.hpp"
#include "synthetic_aquifer.hpp"
#include "record/model_state.hpp"

namespace {

int threads_of(const benchmark::State& state) {
  return state.range(1) == 0 ? omp_get_num_procs() : int(state.range(1));
}

// side x side cells of 30 m, 20 m of water over a flat bottom, conductivity 1e-4 m/s, specific
// yield 0.2, held at its head on the edges; 2 mm of recharge over the hour and a well of
// 0.01 m3/s every 64 cells in each direction.
std::unique_ptr<pluvo::model_state> aquifer(int side) {
  pluvo::aquifer_spec a;
  a.rows = a.cols = side;
  a.cell = 30.0;
  a.ground = 100.0;
  auto m = pluvo::make_aquifer(a);
  m->unsat_downward_flux.assign(m->unsat_downward_flux.size(), 0.2);
  for (int r = 1; r <= side; ++r)
    for (int c = 1; c <= side; ++c) {
      const int i = pluvo::cell_at(*m, r, c);
      if (r == 1 || c == 1 || r == side || c == side) m->gwbound[size_t(i)] = 2;
      if (r % 64 == 32 && c % 64 == 32) m->gw_static_flux[size_t(i)] = 0.01 / 900.0;
    }
  m->gw_relax_coeff_value = 1.5;
  m->gw_lsor_con_value = 1e-5;
  return m;
}

void bm_groundwater_step(benchmark::State& state) {
  const int side = int(state.range(0));
  pluvo::set_thread_count(threads_of(state));
  auto m = aquifer(side);
  const std::vector<double> head = m->elevgw;
  const std::vector<double> recharge = m->unsat_downward_flux;
  for (auto _ : state) {
    state.PauseTiming();
    m->elevgw = head;
    m->unsat_downward_flux = recharge;
    state.ResumeTiming();
    benchmark::DoNotOptimize(pluvo::groundwater_solve(*m, 3600.0));
  }
  state.counters["threads"] = threads_of(state);
  state.counters["cells_per_s"] =
      benchmark::Counter(double(side) * side * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(bm_groundwater_step)->ArgsProduct({{256, 1024}, {1, 0}})->ArgNames({"side", "threads"})->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
