// One hour of evapotranspiration (Penman-Monteith with the Newton ground temperature of every
// cell) on 1024 x 1024 cells of rolling slopes, on one thread and on all of them.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cmath>
#include <memory>

#include "record/model_state.hpp"
#include "soil/evapotranspiration.hpp"

namespace {

std::unique_ptr<pluvo::model_state> june_hour(int side) {
  auto m = std::make_unique<pluvo::model_state>();
  const int n = side * side;
  const size_t size = size_t(n) + 1;
  m->long_term_on = 1;
  m->et_calc_penman_on = 1;
  m->cell_count = n;
  m->cell_size = 30.0;
  m->site_latitude = 40.0;
  for (auto* v : {&m->slope_x, &m->slope_y, &m->ov_depth, &m->snow_depth, &m->pot_et, &m->pot_aet,
                  &m->ground_temp, &m->ground_energy_residual})
    v->assign(size, 0.0);
  m->albedo_w_snow.assign(size, 0.2);
  m->veg.assign(size, 0.5);
  m->Kt.assign(size, 0.8);
  m->Rs.assign(size, 60.0);
  for (int k = 1; k <= n; ++k) {
    const int r = (k - 1) / side, c = (k - 1) % side;
    m->slope_x[size_t(k)] = 0.08 * std::sin(r * 0.05) * std::sin(c * 0.04);
    m->slope_y[size_t(k)] = 0.1 * std::cos(r * 0.05) * std::cos(c * 0.04);
  }
  m->cur_year = 2020;
  m->cur_month = 6;
  m->cur_day = 15;
  m->cur_hour = 11;
  m->hmet_temperature = 22.0;
  m->hmet_pressure = 900.0;
  m->hmet_rh = 45.0;
  m->hmet_cloud_cover = 2.0;
  m->hmet_wind_speed = 3.0;
  m->hmet_direct_rad = 600.0;
  m->hmet_diffuse_rad = 150.0;
  m->hmet_records_read = 3;
  pluvo::evapo_trans_body(*m);
  m->hmet_records_read = 4;  // later hours start from the last ground temperature
  return m;
}

int threads_of(const benchmark::State& state) {
  return state.range(1) == 0 ? omp_get_num_procs() : int(state.range(1));
}

void bm_evapo_trans_hour(benchmark::State& state) {
  const int side = int(state.range(0));
  omp_set_num_threads(threads_of(state));
  auto m = june_hour(side);
  for (auto _ : state) pluvo::evapo_trans(*m);
  const double cells = double(side) * side * double(state.iterations());
  state.counters["threads"] = threads_of(state);
  state.counters["cells_per_s"] = benchmark::Counter(cells, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(bm_evapo_trans_hour)
    ->ArgsProduct({{1024}, {1, 0}})
    ->ArgNames({"side", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
