// One day's terrain-shading table and one hour of the cell energy balance on synthetic hilly
// terrains, on one thread and on all of them.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "hydromet/hydromet_phases.hpp"
#include "hydromet/solar_energy.hpp"
#include "record/model_state.hpp"

namespace {

// side x side cells of 30 m: rolling hills of 400 m relief on a gentle southward rise, with the
// station and band set-up of a long-term run done.
std::unique_ptr<pluvo::model_state> hilly_grid(int side) {
  auto m = std::make_unique<pluvo::model_state>();
  const int n = side * side;
  const size_t size = size_t(n) + 1;
  m->long_term_on = 1;
  m->cell_count = n;
  m->cell_size = 30.0;
  m->grid_rows = m->grid_cols = side;
  m->site_latitude = 45.0;
  m->cell_number_grid.resize(side, side, 0);
  for (auto* v : {&m->elevation, &m->cell_x, &m->cell_y, &m->slope_cx, &m->slope_cy}) v->assign(size, 0.0);
  double lo = 1e30, hi = -1e30;
  for (int r = 1; r <= side; r++)
    for (int c = 1; c <= side; c++) {
      const int k = (r - 1) * side + c;
      m->cell_number_grid(r, c) = k;
      const double e = 600.0 + 200.0 * std::sin(r * 0.05) * std::cos(c * 0.04) + 0.2 * r;
      m->elevation[size_t(k)] = e;
      m->cell_x[size_t(k)] = (c - 0.5) * 30.0;
      m->cell_y[size_t(k)] = (side - r + 0.5) * 30.0;
      m->slope_cx[size_t(k)] = -200.0 * std::sin(r * 0.05) * std::sin(c * 0.04) * 0.04 / 30.0;
      m->slope_cy[size_t(k)] = 200.0 * std::cos(r * 0.05) * std::cos(c * 0.04) * 0.05 / 30.0;
      lo = std::min(lo, e);
      hi = std::max(hi, e);
    }
  m->watershed_min_elev = lo;
  m->watershed_max_elev = hi;
  m->elev_scale_count = 4 - int((hi - lo) / -100.0);
  m->hmet_station_elev = lo;  // the station on the lowest cell
  m->hmet_rh = 60.0;
  m->hmet_cloud_cover = 2.0;
  m->hmet_wind_speed = 3.0;
  pluvo::init_hmet_stations_and_bands(*m);
  return m;
}

int threads_of(const benchmark::State& state) {
  return state.range(1) == 0 ? omp_get_num_procs() : int(state.range(1));
}

void bm_daily_shading(benchmark::State& state) {
  const int side = int(state.range(0));
  omp_set_num_threads(threads_of(state));
  auto m = hilly_grid(side);
  const int day = pluvo::check_julian_day(2020, 3, 21);
  const double declination = 0.409279709125 * std::sin(day * 0.017214206301369866 - 1.405);
  for (auto _ : state) pluvo::compute_daily_shading(*m, 2020, 3, 21, 45.0, day, declination);
  const double cell_hours = 24.0 * double(side) * side * double(state.iterations());
  state.counters["threads"] = threads_of(state);
  state.counters["cell_hours_per_s"] = benchmark::Counter(cell_hours, benchmark::Counter::kIsRate);
}

void bm_energy_balance_hour(benchmark::State& state) {
  const int side = int(state.range(0));
  omp_set_num_threads(threads_of(state));
  auto m = hilly_grid(side);
  for (auto _ : state) pluvo::compute_cell_energy_balance(1, *m, 2020, 3, 21, 11, 8.0, 950.0);
  const double cells = double(side) * side * double(state.iterations());
  state.counters["threads"] = threads_of(state);
  state.counters["cells_per_s"] = benchmark::Counter(cells, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(bm_daily_shading)
    ->ArgsProduct({{256, 1024}, {1, 0}})
    ->ArgNames({"side", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(bm_energy_balance_hour)
    ->ArgsProduct({{256, 1024}, {1, 0}})
    ->ArgNames({"side", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
