// One explicit overland step on synthetic tilted grids, and a STREAM-like triad that
// measures the memory bandwidth the step is bounded by.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <memory>
#include <vector>

#include "overland/ade_scheme.hpp"
#include "overland/explicit_scheme.hpp"
#include "record/model_state.hpp"

namespace {

// Bytes one cell sub-step moves through memory: the face loop reads depth, retention,
// roughness, two slopes and two neighbour numbers (48) and writes two discharges and two
// transfers (32); the gather reads two transfers, two neighbour numbers and the depth (32)
// and writes the new depth (8). Neighbours' values come from cache.
constexpr double bytes_per_cell_substep = 120.0;

// A plane of side x side cells of 30 m falling 1 % to the east and 0.5 % to the south,
// with 1 cm of water everywhere: one step of 10 s needs no division.
std::unique_ptr<pluvo::model_state> tilted_grid(int side) {
  auto m = std::make_unique<pluvo::model_state>();
  const int n = side * side;
  const size_t size = size_t(n) + 1;
  m->cell_count = n;
  m->cell_size = 30.0;
  for (auto* v : {&m->rightcon, &m->belowcon, &m->leftcon, &m->abovecon}) v->assign(size, 0);
  for (auto* v : {&m->elevation, &m->slope_x, &m->slope_y, &m->ov_qx, &m->ov_qy, &m->retent_dep})
    v->assign(size, 0.0);
  m->ov_depth.assign(size, 0.01);
  m->dist_rough.assign(size, 0.05);
  for (int r = 0; r < side; r++)
    for (int c = 0; c < side; c++) {
      const int i = r * side + c + 1;
      if (c + 1 < side) m->rightcon[i] = i + 1;
      if (c > 0) m->leftcon[i] = i - 1;
      if (r + 1 < side) m->belowcon[i] = i + side;
      if (r > 0) m->abovecon[i] = i - side;
      // The explicit scheme reads the face slopes, the alternating-direction one the ground.
      m->elevation[i] = 30.0 * (0.01 * (side - 1 - c) + 0.005 * (side - 1 - r));
      m->slope_x[i] = m->rightcon[i] ? 0.01 : 0.0;
      m->slope_y[i] = m->belowcon[i] ? 0.005 : 0.0;
    }
  m->outlet_cell = n;
  m->outlet_slope = 0.01;
  m->overland_scheme = 1;
  m->quiet_on = 1;
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
