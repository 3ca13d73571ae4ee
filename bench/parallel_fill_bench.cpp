// The two per-cell fills on synthetic grids: the nearest-gauge rain rate runs every step.
#include <benchmark/benchmark.h>

#include <vector>

#include "common/parallel_fill.hpp"

namespace {

using namespace pluvo;

void bm_nearest_gauge_rain(benchmark::State& state) {
  const int n = int(state.range(0));
  const int gauges = 16, records = 48;
  checked_array_2d<double> table;
  checked_array_2d_grow(table, gauges, records);
  for (int g = 1; g <= gauges; ++g)
    for (int r = 0; r <= records; ++r) table.rows[g][r] = 0.1 * g + r;
  std::vector<int32_t> nearest(size_t(n) + 1);
  for (int i = 1; i <= n; ++i) nearest[size_t(i)] = 1 + (i / 97) % gauges;
  std::vector<double> rain(size_t(n) + 1);
  int record = 0;
  for (auto _ : state) {
    assign_from_index_table_parallel(record, gauges, nearest.data(), table, rain.data(), n);
    record = (record + 1) % records;
    benchmark::DoNotOptimize(rain.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * n);
  state.SetBytesProcessed(int64_t(state.iterations()) * n * int64_t(sizeof(int32_t) + sizeof(double)));
}
BENCHMARK(bm_nearest_gauge_rain)->Arg(10000)->Arg(1 << 20)->Arg(4000000)->UseRealTime();

void bm_moisture_clamp(benchmark::State& state) {
  const int n = int(state.range(0));
  std::vector<double> porosity(size_t(n) + 1, 0.45), residual(size_t(n) + 1, 0.05), out(size_t(n) + 1);
  std::vector<int32_t> soiltype(size_t(n) + 1, 1);
  const double class_porosity[] = {0, 0.45}, class_residual[] = {0, 0.05};
  for (auto _ : state) {
    clamp_initial_moisture_parallel(n, class_porosity, out.data(), class_residual, soiltype.data(), porosity.data(),
                                    residual.data(), 1, 0.3);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * n);
  state.SetBytesProcessed(int64_t(state.iterations()) * n * int64_t(3 * sizeof(double)));
}
BENCHMARK(bm_moisture_clamp)->Arg(10000)->Arg(1 << 20)->Arg(4000000)->UseRealTime();

}  // namespace
