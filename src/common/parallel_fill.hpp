#pragma once
// Parallel per-cell fills over cells 1..n (static schedule; each cell writes only its own element).
// Offers: clamp_initial_moisture_parallel (a uniform initial water content clamped into
// each cell's residual..porosity range), assign_from_index_table_parallel (each cell's
// rain rate from its nearest gauge's row of the gauge table), assign_fresh with
// prepare_fresh_pages (a large array's fresh memory made present before it is first written),
// and fresh_arrays (many such arrays made at once, each by one thread of the team).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <vector>

#include "common/checked_array.hpp"
#include "common/parallel_team.hpp"

namespace pluvo {

// Makes the pages of a freshly allocated block of bytes present, before the block is first
// written: the first touch of each page otherwise costs a page fault, and the set-up arrays of
// a million cells take tens of thousands of them. A block of at least min_cells_for_threads
// doubles is asked for as huge pages and populated by the team, each thread a slice. Nothing
// happens on a kernel that offers neither: the block then faults page by page as it is written.
void prepare_fresh_pages(void* block, std::size_t bytes);

// v becomes count copies of value, as v.assign(count, value); a block that must be allocated
// for it has its pages made present first.
template <typename T>
void assign_fresh(std::vector<T>& v, std::size_t count, const T& value = T()) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (count > v.capacity()) {
    std::vector<T>().swap(v);  // the old block goes before the new one is taken
    v.reserve(count);
    prepare_fresh_pages(v.data(), count * sizeof(T));
  }
  v.assign(count, value);
}

// Arrays made together: each is made by assign_fresh on one thread of the team, so that the
// first writes of many fresh arrays, which cost a page fault per page, run on all cores at once.
// add() only notes the array (an array noted twice is made as noted last); make_all() makes
// every array noted and forgets them.
class fresh_arrays {
 public:
  template <typename T>
  void add(std::vector<T>& v, std::size_t count, const T& value = T()) {
    if (count >= std::size_t(min_cells_for_threads)) large_ = true;
    note(&v, [&v, count, value] { assign_fresh(v, count, value); });
  }
  void make_all();

 private:
  void note(const void* array, std::function<void()> job);

  std::vector<const void*> arrays_;
  std::vector<std::function<void()>> jobs_;
  bool large_ = false;
};

// initial_moisture[i] = uniform, raised to lower + 0.01 when below lower and then lowered to
// upper - 0.01 when above upper. Bounds are residual_cell[i] and porosity_cell[i] when
// residual_map_on is 1, else the class tables at soiltype[i].
void clamp_initial_moisture_parallel(int n, const double* class_porosity, double* initial_moisture,
                                     const double* class_residual, const int32_t* soiltype,
                                     const double* porosity_cell, const double* residual_cell,
                                     int residual_map_on, double uniform);

// rain_rate[i] = row nearest[i] (row 1 with exactly one gauge) of table at record_index.
// A cell whose row or record does not exist gets 0.
void assign_from_index_table_parallel(int record_index, int gauge_count, const int32_t* nearest,
                                      const checked_array_2d<double>& table, double* rain_rate, int n);

}  // namespace pluvo
