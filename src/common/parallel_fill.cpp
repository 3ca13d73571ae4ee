#include "common/parallel_fill.hpp"

#include <omp.h>
#include <sys/mman.h>

#include <algorithm>
#include <utility>

#include "common/parallel_team.hpp"

namespace pluvo {

namespace {

constexpr std::uintptr_t page_bytes = 4096;
// The huge page of x86-64 and arm64 kernels. Slices start on its boundaries, so that no huge
// page is faulted by two threads.
constexpr std::uintptr_t huge_page_bytes = std::uintptr_t(2) << 20;

std::uintptr_t round_down(std::uintptr_t a, std::uintptr_t unit) { return a / unit * unit; }
std::uintptr_t round_up(std::uintptr_t a, std::uintptr_t unit) { return round_down(a + unit - 1, unit); }

}  // namespace

// A huge page takes one fault where small pages take 512, and the kernel zeroes it in the
// faulting thread, so the team shares the zeroing too. The advice is only advice: memory the
// kernel cannot give as huge pages comes as small ones, and a kernel that does not know the
// advice leaves the block to fault as it is written.
void prepare_fresh_pages(void* block, std::size_t bytes) {
  if (!block || bytes < std::size_t(min_cells_for_threads) * sizeof(double)) return;
  const std::uintptr_t start = round_up(reinterpret_cast<std::uintptr_t>(block), page_bytes);
  const std::uintptr_t end = round_down(reinterpret_cast<std::uintptr_t>(block) + bytes, page_bytes);
  if (end <= start) return;
#ifdef MADV_HUGEPAGE
  madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
  const std::uintptr_t first_huge = std::min(round_up(start, huge_page_bytes), end);
  const int huge_pages = int((end - first_huge + huge_page_bytes - 1) / huge_page_bytes);
  const int slices = std::max(1, std::min(omp_get_max_threads(), huge_pages));
  const auto slice_start = [&](int s) {
    if (s == 0) return start;
    if (s == slices) return end;
    return first_huge + std::uintptr_t(int64_t(huge_pages) * s / slices) * huge_page_bytes;
  };
#pragma omp parallel for schedule(static) if(slices > 1)
  for (int s = 0; s < slices; ++s) {
    const std::uintptr_t from = slice_start(s), to = slice_start(s + 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
  }
#endif
}

// Two threads must never make one array.
void fresh_arrays::note(const void* array, std::function<void()> job) {
  for (size_t k = 0; k < arrays_.size(); ++k)
    if (arrays_[k] == array) {
      jobs_[k] = std::move(job);
      return;
    }
  arrays_.push_back(array);
  jobs_.push_back(std::move(job));
}

void fresh_arrays::make_all() {
  const int count = int(jobs_.size());
#pragma omp parallel for schedule(static, 1) if(large_ && count > 1)
  for (int k = 0; k < count; ++k) jobs_[size_t(k)]();
  arrays_.clear();
  jobs_.clear();
  large_ = false;
}

void clamp_initial_moisture_parallel(int n, const double* class_porosity, double* initial_moisture,
                                     const double* class_residual, const int32_t* soiltype,
                                     const double* porosity_cell, const double* residual_cell,
                                     int residual_map_on, double uniform) {
  if (n < 1) return;
  const bool per_cell = residual_map_on == 1;
  parallel_for_cells(n, [=](int i) {
    double value = uniform;
    const double lower = per_cell ? residual_cell[i] : class_residual[soiltype[i]];
    const double upper = per_cell ? porosity_cell[i] : class_porosity[soiltype[i]];
    if (lower > value) value = lower + 0.01;
    if (value > upper) value = upper - 0.01;
    initial_moisture[i] = value;
  });
}

void assign_from_index_table_parallel(int record_index, int gauge_count, const int32_t* nearest,
                                      const checked_array_2d<double>& table, double* rain_rate, int n) {
  if (n < 1) return;
  const bool one_gauge = gauge_count == 1;
  // A record beyond the rows' length has no value to read.
  const bool record_ok = record_index >= 0 && record_index <= table.row_length;
  parallel_for_cells(n, [&](int i) {
    const double* row = checked_array_2d_row(table, one_gauge ? 1 : nearest[i]);
    rain_rate[i] = (row && record_ok) ? row[record_index] : 0.0;
  });
}

}  // namespace pluvo
