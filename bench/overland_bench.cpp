// One explicit overland step on synthetic tilted grids, and a STREAM-like triad that
// measures the memory bandwidth the step is bounded by.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "overland/ade_scheme.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "overland/explicit_scheme.hpp"
#include "record/model_state.hpp"
#include "soil/infiltration_methods.hpp"
#include "tilted_grid.hpp"

namespace {

using bench::tilted_grid;

// Bytes one cell sub-step moves through memory: the face loop reads depth, depth term,
// roughness, two slopes and two neighbour numbers (48) and writes two discharges (16); the
// gather reads two discharges, two neighbour numbers, the depth and the retention (40) and
// writes the new depth and its depth term (16). Neighbours' values come from cache.
constexpr double bytes_per_cell_substep = 120.0;

// The tilted V of make_tilted_v in memory: side x side cells of 10 m, side slopes of 2 %
// toward the central column, which falls 0.5 % toward the outlet on the bottom row.
std::unique_ptr<pluvo::model_state> tilted_v(int side) {
  auto m = tilted_grid(side);
  const double dx = 10.0;
  m->cell_size = dx;
  const int valley = side / 2;
  for (int r = 0; r < side; r++)
    for (int c = 0; c < side; c++)
      m->elevation[size_t(r * side + c + 1)] = 0.02 * dx * std::abs(c - valley) + 0.005 * dx * (side - 1 - r);
  for (int i = 1; i <= m->cell_count; i++) {
    const size_t k = size_t(i);
    m->slope_x[k] = m->rightcon[k] ? (m->elevation[k] - m->elevation[size_t(m->rightcon[k])]) / dx : 0.0;
    m->slope_y[k] = m->belowcon[k] ? (m->elevation[k] - m->elevation[size_t(m->belowcon[k])]) / dx : 0.0;
  }
  m->ov_depth.assign(m->ov_depth.size(), 0.0);
  m->outlet_cell = (side - 1) * side + valley + 1;
  m->outlet_slope = 0.005;
  return m;
}

int threads_of(const benchmark::State& state) {
  return state.range(1) == 0 ? omp_get_num_procs() : int(state.range(1));
}

using route_routine = double (*)(pluvo::model_state&, double);

// Times one overland step of 10 s by routine; every step starts from the same 1 cm of water,
// so the step measured never divides.
void bm_route_step(benchmark::State& state, int scheme, route_routine route, double bytes) {
  const int side = int(state.range(0));
  omp_set_num_threads(threads_of(state));
  auto m = tilted_grid(side);
  m->overland_scheme = scheme;
  const std::vector<double> start = m->ov_depth;
  route(*m, 10.0);  // sizes the work arrays
  for (auto _ : state) {
    state.PauseTiming();
    m->ov_depth = start;
    state.ResumeTiming();
    route(*m, 10.0);
    benchmark::DoNotOptimize(m->ov_depth.data());
  }
  const double cells = double(side) * side * double(state.iterations());
  state.counters["threads"] = threads_of(state);
  state.counters["cell_substeps_per_s"] = benchmark::Counter(cells, benchmark::Counter::kIsRate);
  state.counters["bytes_per_cell_substep"] = bytes;
  state.SetBytesProcessed(int64_t(cells * bytes));
}

void bm_explicit_step(benchmark::State& state) {
  bm_route_step(state, 1, pluvo::route_overland_explicit, bytes_per_cell_substep);
}
BENCHMARK(bm_explicit_step)
    ->ArgsProduct({{256, 1024, 2048}, {1, 0}})
    ->ArgNames({"side", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Bytes one cell moves per ADE step of one sub-step: per sweep the face flows (depth, ground,
// retention, roughness, one neighbour number read, one flow written: 44), the update (flow,
// neighbour number, depth and reference depth read; change, depth and reference written: 52)
// and the face volumes (24); per call the entry check, the roughness copy, the step start and
// the restore (88).
constexpr double ade_bytes_per_cell_step = 2 * (44 + 52 + 24) + 88;
// ADE-PC per direction: two flux passes (88), predictor (36), saved flows (16), average (24),
// corrector (36); per call the entry check, the roughness copy and the initialisation (64).
constexpr double ade_pc_bytes_per_cell_step = 2 * (88 + 36 + 16 + 24 + 36) + 64;

// The alternating-direction scheme (2) and its predictor-corrector form (3); the first routed
// step of a run takes the whole step as its one sub-step.
void bm_ade(benchmark::State& state) { bm_route_step(state, 2, pluvo::route_overland_ade, ade_bytes_per_cell_step); }
void bm_ade_pc(benchmark::State& state) {
  bm_route_step(state, 3, pluvo::route_overland_ade, ade_pc_bytes_per_cell_step);
}
BENCHMARK(bm_ade)
    ->ArgsProduct({{256, 1024, 2048}, {1, 0}})
    ->ArgNames({"side", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(bm_ade_pc)
    ->ArgsProduct({{256, 1024, 2048}, {1, 0}})
    ->ArgNames({"side", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The whole storm step of a cell: 25 mm/h of rain onto the depth, Green and Ampt from it
// (a loam with 1 cm already infiltrated, ponded), then the explicit overland step.
void bm_storm_step(benchmark::State& state) {
  const int side = int(state.range(0));
  omp_set_num_threads(threads_of(state));
  auto m = tilted_grid(side);
  const size_t size = m->ov_depth.size();
  const double dt = 10.0;
  m->cell_rain_rate.assign(size, 25.0);
  m->ov_depth_change.assign(size, 0.0);
  m->ks_cell.assign(size, 1.32 / 360000.0);
  m->hc_cell.assign(size, 0.0889);
  m->porosity_cell.assign(size, 0.463);
  m->initial_moisture_cell.assign(size, 0.22);
  m->infil_depth.assign(size, 0.01);
  m->green_ampt_on = 1;
  m->precip_state = 1;
  m->cur_julian = 2461193.0;
  m->step_last_time = m->cur_julian - dt / 86400.0;
  m->step_next_time = m->cur_julian;
  const std::vector<double> start = m->ov_depth, front = m->infil_depth;
  pluvo::route_overland_explicit(*m, dt);  // sizes the work arrays
  for (auto _ : state) {
    state.PauseTiming();
    m->ov_depth = start;
    m->infil_depth = front;
    state.ResumeTiming();
    pluvo::apply_rainfall(*m);
    pluvo::green_ampt_parallel(*m, dt);
    pluvo::route_overland_explicit(*m, dt);
    benchmark::DoNotOptimize(m->ov_depth.data());
  }
  const double cells = double(side) * side * double(state.iterations());
  state.counters["threads"] = threads_of(state);
  state.counters["cell_steps_per_s"] = benchmark::Counter(cells, benchmark::Counter::kIsRate);
}
BENCHMARK(bm_storm_step)
    ->ArgsProduct({{1024}, {1, 0}})
    ->ArgNames({"side", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Three hours in steps of 2 s on a 127 x 127 tilted V (16,129 cells) under 25 mm/h for
// the first 30 minutes: the sub-steps the step control gathers, those it kept, and those
// whose discharges came from a failed first sub-step instead of being computed again.
void bm_tilted_v_substeps(benchmark::State& state) {
  omp_set_num_threads(1);
  const double dt = 2.0, rain = 25.0 / 3600000.0;
  const int steps = 5400;
  int64_t run = 0, reused = 0, kept = 0;
  for (auto _ : state) {
    auto m = tilted_v(127);
    for (int step = 0; step < steps; step++) {
      if (step * dt < 1800.0)
        for (int i = 1; i <= m->cell_count; i++) m->ov_depth[size_t(i)] += rain * dt;
      pluvo::route_overland_explicit(*m, dt);
    }
    run = m->explicit_control.substeps_run;
    reused = m->explicit_control.substeps_reused;
    kept = m->explicit_control.substeps_kept;
  }
  state.counters["steps"] = steps;
  state.counters["substeps_gathered"] = double(run);
  state.counters["faces_computed"] = double(run - reused);
  state.counters["kept"] = double(kept);
  state.counters["thrown_away"] = double(run - kept);
}
BENCHMARK(bm_tilted_v_substeps)->Iterations(1)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// a = b + 3 c over 3 arrays of 2^25 doubles (768 MB moved per pass, far beyond the caches).
void bm_stream_triad(benchmark::State& state) {
  omp_set_num_threads(threads_of(state));
  const long n = 1L << 25;
  std::vector<double> a(static_cast<size_t>(n)), b(static_cast<size_t>(n)), c(static_cast<size_t>(n));
#pragma omp parallel for schedule(static)
  for (long i = 0; i < n; i++) {
    a[size_t(i)] = 0.0;
    b[size_t(i)] = 1.0;
    c[size_t(i)] = 2.0;
  }
  for (auto _ : state) {
#pragma omp parallel for schedule(static)
    for (long i = 0; i < n; i++) a[size_t(i)] = b[size_t(i)] + 3.0 * c[size_t(i)];
    benchmark::DoNotOptimize(a.data());
  }
  state.counters["threads"] = threads_of(state);
  state.SetBytesProcessed(int64_t(state.iterations()) * n * 24);
}
BENCHMARK(bm_stream_triad)->ArgsProduct({{0}, {1, 0}})->ArgNames({"x", "threads"})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
