// One update of Green and Ampt with redistribution and of three-layer Green and Ampt on a grid
// of ponded cells, at 1 thread and at all threads.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <memory>
#include <vector>

#include "record/model_state.hpp"
#include "soil/infiltration_methods.hpp"
#include "soil/soil_services.hpp"

namespace {

int threads_of(const benchmark::State& state) {
  return state.range(1) == 0 ? omp_get_num_procs() : int(state.range(1));
}

// side x side cells of 30 m under 1 cm of water, 1 cm already infiltrated.
std::unique_ptr<pluvo::model_state> ponded_grid(int side, bool layered) {
  auto m = std::make_unique<pluvo::model_state>();
  const int n = side * side;
  const size_t size = size_t(n) + 1;
  m->cell_count = n;
  m->cell_size = 30.0;
  m->ov_depth.assign(size, 0.01);
  if (layered) {
    m->inf_layered_soil_on = 1;
    m->soiltype.assign(size, 1);
    m->THETA_ML.assign(size, {0.0, 0.2, 0.25, 0.3});
    m->wetdep.assign(size, 0.0);
    double* row = m->layered_soil_table[1].values;
    const double k[] = {1.3, 0.6, 0.2}, psi[] = {9.0, 12.0, 20.0};
    for (int l = 0; l < 3; l++) {
      row[0 + l] = psi[l];
      row[4 + l] = k[l];
      row[7 + l] = 0.45;
    }
    row[22] = 10.0;
    row[23] = 20.0;
    m->infil_depth.assign(size, 0.01);
    for (int i = 1; i <= n; i++) m->wetdep[size_t(i)] = 1.0 / 0.25;
    return m;
  }
  m->inf_redist_on = 1;
  m->ks_cell.assign(size, 3.7e-6);
  m->hc_cell.assign(size, 0.089);
  m->porosity_cell.assign(size, 0.463);
  m->residual_sat_cell.assign(size, 0.027);
  m->pore_index_cell.assign(size, 0.252);
  m->initial_moisture_cell.assign(size, 0.22);
  pluvo::start_redistribution(*m);
  m->infil_depth.assign(size, 0.01);
  m->infil_step_count = 5;
  return m;
}

void bm_update(benchmark::State& state, bool layered) {
  const int side = int(state.range(0));
  omp_set_num_threads(threads_of(state));
  auto m = ponded_grid(side, layered);
  const std::vector<double> start = m->ov_depth;
  for (auto _ : state) {
    state.PauseTiming();
    m->ov_depth = start;
    state.ResumeTiming();
    if (layered)
      pluvo::infiltration_mlga_parallel(*m, 10.0);
    else
      pluvo::green_ampt_redist_parallel(*m, 10.0);
    benchmark::DoNotOptimize(m->ov_depth.data());
  }
  state.counters["threads"] = threads_of(state);
  state.counters["cells_per_s"] =
      benchmark::Counter(double(side) * side * double(state.iterations()), benchmark::Counter::kIsRate);
}

void bm_redistribution(benchmark::State& state) { bm_update(state, false); }
void bm_layered(benchmark::State& state) { bm_update(state, true); }

BENCHMARK(bm_redistribution)->ArgsProduct({{1024}, {1, 0}})->ArgNames({"side", "threads"})->UseRealTime();
BENCHMARK(bm_layered)->ArgsProduct({{1024}, {1, 0}})->ArgNames({"side", "threads"})->UseRealTime();

}  // namespace
