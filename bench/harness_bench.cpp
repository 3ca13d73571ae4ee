// Harness check: the benchmark programs build and run.
#include <benchmark/benchmark.h>

#include <vector>

static void bm_triad(benchmark::State& state) {
  const size_t n = size_t(state.range(0));
  std::vector<double> a(n), b(n, 1.0), c(n, 2.0);
  for (auto _ : state) {
    for (size_t i = 0; i < n; i++) a[i] = b[i] + 3.0 * c[i];
    benchmark::DoNotOptimize(a.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n) * 24);
}
BENCHMARK(bm_triad)->Arg(1 << 20);
