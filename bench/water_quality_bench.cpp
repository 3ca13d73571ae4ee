// The overland water-quality step and the cell mass update for four dissolved constituents on
// synthetic tilted grids, on one thread and on all of them.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <memory>

#include "input/constituents.hpp"
#include "quality/quality_phases.hpp"
#include "record/model_state.hpp"
#include "tilted_grid.hpp"

namespace {

constexpr int constituents = 4;

// side x side cells of 30 m, 1 cm of water leaving every cell to the east and south, 50 mm/h of
// rain of 1 g/m3, infiltration, release from a land load, decay and dispersion.
std::unique_ptr<pluvo::model_state> quality_grid(int side) {
  auto m = bench::tilted_grid(side);
  const int n = m->cell_count;
  const size_t size = size_t(n) + 1;
  m->cell_rain_rate.assign(size, 50.0);
  for (int i = 1; i <= n; i++) {
    m->ov_qx[size_t(i)] = m->rightcon[size_t(i)] ? 0.002 : 0.0;
    m->ov_qy[size_t(i)] = m->belowcon[size_t(i)] ? 0.001 : 0.0;
  }
  m->ov_con_trans_on = 1;
  m->contam_table_on = 1;
  m->rain_on = 1;
  pluvo::allocate_constituent_arrays(*m, constituents, n, 0);
  m->ov_infil_volume.assign(size, 0.5);
  m->ov_depth_prev.assign(size, 0.01);
  for (int k = 1; k <= constituents; ++k) {
    m->precip_conc[k] = 1.0;
    for (int i = 1; i <= n; ++i) {
      m->ov_conc.rows[k][i] = 2.0;
      m->ov_mass.rows[k][i] = 2.0 * 0.01 * 900.0;
      m->ov_source_conc.rows[k][i] = 10.0;
      m->ov_disp_cell.rows[k][i] = 0.1;
      m->ov_decay_rate.rows[k][i] = 1e-5;
      m->ov_uptake_coef.rows[k][i] = 1e-4;
      m->ov_land_load.rows[k][i] = 1e6;
    }
  }
  m->ov_con_interval = 10.0 / 86400.0;
  m->kinetics_step_factor = 1.0;
  m->cur_julian = 2459000.5;
  return m;
}

// Every sub-step due now, over the last 10 s.
void make_due(pluvo::model_state& m) {
  const double now = m.cur_julian, before = now - m.ov_con_interval;
  for (auto* p : {&m.ov_precip_load_next_time, &m.ov_infil_wq_next_time, &m.ov_uptake_next_time,
                  &m.ov_decay_next_time, &m.ov_outlet_wq_next_time, &m.ov_con_next_time})
    *p = now;
  for (auto* p : {&m.ov_precip_load_last_time, &m.ov_infil_wq_last_time, &m.ov_uptake_last_time,
                  &m.ov_decay_last_time, &m.ov_outlet_wq_last_time, &m.ov_con_last_time})
    *p = before;
  m.step_next_time = m.infil_next_time = now + m.ov_con_interval;
}

int threads_of(const benchmark::State& state) {
  return state.range(1) == 0 ? omp_get_num_procs() : int(state.range(1));
}

void bm_overland_water_quality(benchmark::State& state) {
  const int side = int(state.range(0));
  omp_set_num_threads(threads_of(state));
  auto m = quality_grid(side);
  for (auto _ : state) {
    make_due(*m);
    pluvo::step_overland_water_quality(*m);
    pluvo::total_cell_contaminant_mass(*m);
  }
  const double updates = double(side) * side * constituents * double(state.iterations());
  state.counters["threads"] = threads_of(state);
  state.counters["cell_constituent_updates_per_s"] = benchmark::Counter(updates, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(bm_overland_water_quality)
    ->ArgsProduct({{256, 1024}, {1, 0}})
    ->ArgNames({"side", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
