#pragma once
// Per-cell loops on a thread team. min_cells_for_threads: below this many cells the fork and
// join of the team cost more than the loop, most of all on a loaded machine.
// parallel_for_cells: runs a per-cell step over cells 1..n, on the team only from the threshold.
// parallel_cell_sums: runs a per-cell step over cells 1..n and sums what it returns, in a
// fixed order of fixed blocks, so the sums are the same on any number of threads.
// team_share: inside a team that one region keeps for several loops, the calling thread's
// static share of cells 1..n (all of them outside a team).
#include <array>
#include <cstddef>
#include <cstdint>

#include <omp.h>

namespace pluvo {

constexpr int min_cells_for_threads = 4096;

struct cell_share {
  int first;
  int last;
};

inline cell_share team_share(int n) {
  const int t = omp_get_thread_num(), k = omp_get_num_threads();
  return {int(int64_t(n) * t / k) + 1, int(int64_t(n) * (t + 1) / k)};
}

// step(i) does the work of cell i and writes only what belongs to cell i.
template <typename Step>
void parallel_for_cells(int n, Step step) {
#pragma omp parallel for schedule(static) if(n >= min_cells_for_threads)
  for (int i = 1; i <= n; i++) step(i);
}

// block(first, last) does the work of cells first..last and returns their K contributions
// summed in cell order; the blocks are fixed, so the sums are the same on any thread count.
template <std::size_t K, typename Block>
std::array<double, K> parallel_block_sums(int n, Block block) {
  constexpr int blocks = 64;
  std::array<std::array<double, K>, blocks> partial{};
#pragma omp parallel for schedule(static) if(n >= min_cells_for_threads)
  for (int b = 0; b < blocks; b++) {
    const int first = int(int64_t(n) * b / blocks) + 1;
    const int last = int(int64_t(n) * (b + 1) / blocks);
    partial[size_t(b)] = block(first, last);
  }
  std::array<double, K> total{};
  for (const auto& p : partial)
    for (std::size_t k = 0; k < K; k++) total[k] += p[k];
  return total;
}

// step(i) does the work of cell i and returns its K contributions to the sums.
template <std::size_t K, typename Step>
std::array<double, K> parallel_cell_sums(int n, Step step) {
  return parallel_block_sums<K>(n, [&step](int first, int last) {
    std::array<double, K> sum{};
    for (int i = first; i <= last; i++) {
      const std::array<double, K> v = step(i);
      for (std::size_t k = 0; k < K; k++) sum[k] += v[k];
    }
    return sum;
  });
}

}  // namespace pluvo
