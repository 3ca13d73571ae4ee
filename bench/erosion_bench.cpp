// One overland erosion step on synthetic tilted grids with three size classes, on one thread
// and on all of them.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <memory>

#include "quality/quality_services.hpp"
#include "record/model_state.hpp"
#include "tilted_grid.hpp"

namespace {

// side x side cells of 30 m falling 1 % east and 0.5 % south, 1 cm of water flowing out of
// every cell, 50 mm/h of rain; sand, silt and clay in the parent soil.
std::unique_ptr<pluvo::model_state> eroding_grid(int side) {
  auto m = bench::tilted_grid(side);
  const size_t size = size_t(m->cell_count) + 1;
  m->cell_rain_rate.assign(size, 50.0);
  for (int i = 1; i <= m->cell_count; i++) {
    m->ov_qx[size_t(i)] = m->rightcon[size_t(i)] ? 0.002 : 0.0;
    m->ov_qy[size_t(i)] = m->belowcon[size_t(i)] ? 0.001 : 0.0;
  }
  m->outlet_discharge = 0.01;
  m->soil_erosion_on = 1;
  m->ov_sed = std::make_unique<pluvo::ov_sed_record>();
  pluvo::ov_sed_record& s = *m->ov_sed;
  s.soil_erosion_value = 5;
  s.num_sed_classes = 3;
  s.part_diam = {0.0, 0.5, 0.02, 0.002};
  s.spec_grav = {0.0, 2.65, 2.65, 2.65};
  s.settling_velocity = {0.0, 0.07, 3.6e-4, 3.6e-6};
  s.sand = {0, 1, 0, 0};
  s.num_fine_classes = 2;
  s.num_sand_classes = 1;
  s.sed_class = {0, 2, 3, 1};
  for (auto* v : {&s.qsx, &s.qsy, &s.splash_K, &s.sed_K, &s.detach_coef, &s.detach_crit, &s.detach_exp})
    v->assign(size, 0.0);
  s.sed_K.assign(size, 1.0);
  const size_t per_cell_class = size * 4;
  s.vol_sed.assign(per_cell_class * pluvo::ov_sed_record::layers, 0.0);
  s.sed_fract.assign(per_cell_class * pluvo::ov_sed_record::layers, 0.0);
  s.ov_sed_vol_eroded.assign(per_cell_class, 0.0);
  s.ov_sed_vol_deposited.assign(per_cell_class, 0.0);
  const double parent[4] = {0.0, 0.3, 0.5, 0.2};
  for (int i = 1; i <= m->cell_count; ++i)
    for (int k = 1; k <= 3; ++k) s.sed_fract[s.cell_class_layer(i, k, 1)] = parent[k];
  return m;
}

int threads_of(const benchmark::State& state) {
  return state.range(1) == 0 ? omp_get_num_procs() : int(state.range(1));
}

void bm_erosion_step(benchmark::State& state) {
  const int side = int(state.range(0));
  omp_set_num_threads(threads_of(state));
  auto m = eroding_grid(side);
  for (auto _ : state) pluvo::compute_overland_erosion(*m, 10.0);
  const double cells = double(side) * side * double(state.iterations());
  state.counters["threads"] = threads_of(state);
  state.counters["cell_updates_per_s"] = benchmark::Counter(cells, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(bm_erosion_step)
    ->ArgsProduct({{256, 1024}, {1, 0}})
    ->ArgNames({"side", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
