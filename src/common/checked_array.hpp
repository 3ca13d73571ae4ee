#pragma once
// Named, growable, bounds-checked arrays with guard copies of their storage.
// Offers:
//  - checked_array<T> (1-D, 1-based, element 0 unused): operator[] records a bad index in
//    out_of_range and then reads or writes a sink element, never memory outside the block;
//    the destructor reports "Error: bad range addressed in array %s" once.
//    checked_array_grow / checked_int_array_grow (+ _fill), checked_array_grow_records (any
//    record type, checked_file among them), checked_array_copy,
//    checked_file_array_copy, checked_array_destroy / checked_file_array_destroy.
//  - checked_array_2d<T> (table of rows 1..row_count, each of row_length + 1 elements):
//    checked_array_2d_grow / checked_int_array_2d_grow (+ _fill, _zero), _append_rows, _sync,
//    _row (null outside 1..row_count), _verify, _destroy. checked_array_2d_grow_rows<T> grows
//    rows of any default-constructible record (the output writers build on it).
//  - checked_array_3d (planes 1..plane_count of rows 1..rows of columns 1..columns doubles):
//    checked_array_3d_append_planes, _grow_fill, _sync, _plane, _verify, _destroy,
//    alloc_matrix_filled.
// Growth refuses to touch storage whose guard copy no longer matches and prints the bad
// pointers message instead. No operation sets the error state.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>

#include "common/checked_file.hpp"

namespace pluvo {

// ---------------------------------------------------------------- one dimension

template <typename T>
struct checked_array {
  T* guard_data = nullptr;
  int32_t guard_count = 0;
  T* data = nullptr;
  int32_t count = 0;                // largest valid index
  mutable unsigned char out_of_range = 0;  // set by any access outside 0..count; reported at destruction
  char name[50] = {};
  unsigned char index_offset = 0;   // when 1, index i addresses element i + 1

  checked_array() = default;
  checked_array(const checked_array&) = delete;
  checked_array& operator=(const checked_array&) = delete;
  ~checked_array();

  void set_name(const char* text) { std::snprintf(name, sizeof name, "%s", text ? text : ""); }

  T& operator[](int64_t i) { return element(i); }
  const T& operator[](int64_t i) const { return element(i); }

 private:
  // A bad index sets the flag and lands on the sink, never outside the block.
  T& element(int64_t i) const {
    const int64_t e = i + index_offset;
    if (e >= 0 && e <= count && data) return data[e];
    out_of_range = 1;
    if constexpr (std::is_arithmetic_v<T>) sink_ = T();
    return sink_;
  }
  mutable T sink_{};
};

namespace detail {

template <typename T>
bool checked_array_guard_holds(const checked_array<T>& a) {
  if (a.data == a.guard_data && a.count == a.guard_count) return true;
  std::printf("\n\nError!! Bad pointers found in array %s.\n\n", a.name);
  return false;
}

// Adds n elements, keeping 0..count; false (nothing changed) when the guard fails.
template <typename T>
bool checked_array_add(checked_array<T>& a, int n) {
  if (!checked_array_guard_holds(a)) return false;
  if (n < 0) return true;
  const int64_t new_count = int64_t(a.count) + n;
  if (new_count > INT32_MAX - 1) return false;
  T* block = new T[size_t(new_count) + 1];
  if (a.data) {
    for (int64_t i = 0; i <= a.count; ++i) block[i] = std::move(a.data[i]);
    delete[] a.data;
  }
  a.data = a.guard_data = block;
  a.count = a.guard_count = int32_t(new_count);
  return true;
}

template <typename T>
void checked_array_fill_new(checked_array<T>& a, int32_t old_count, int n, T value) {
  for (int64_t i = int64_t(old_count) + 1; i <= int64_t(old_count) + n; ++i) a.data[i] = value;
}

}  // namespace detail

// Adds n default-built records of any type (checked_file records among them), moving the
// old ones over; returns the new count (unchanged when refused).
template <typename T>
int32_t checked_array_grow_records(checked_array<T>& a, int n) {
  detail::checked_array_add(a, n);
  return a.count;
}

// Adds n elements (not initialised); returns the new count (unchanged when refused).
inline int32_t checked_array_grow(checked_array<double>& a, int n) {
  detail::checked_array_add(a, n);
  return a.count;
}
inline void checked_int_array_grow(checked_array<int32_t>& a, int n) { detail::checked_array_add(a, n); }

// Adds n elements set to value; returns the new count (unchanged when refused).
inline int32_t checked_array_grow_fill(checked_array<double>& a, int n, double value) {
  const int32_t old = a.count;
  if (detail::checked_array_add(a, n) && n > 0) detail::checked_array_fill_new(a, old, n, value);
  return a.count;
}
inline void checked_int_array_grow_fill(checked_array<int32_t>& a, int n, int32_t value) {
  const int32_t old = a.count;
  if (detail::checked_array_add(a, n) && n > 0) detail::checked_array_fill_new(a, old, n, value);
}

// Copies elements 1..min(counts) of source; counts, names and element 0 stay.
template <typename T>
checked_array<T>& checked_array_copy(checked_array<T>& destination, const checked_array<T>& source) {
  const int32_t n = destination.count < source.count ? destination.count : source.count;
  if (destination.data && source.data)
    for (int32_t i = 1; i <= n; ++i) destination.data[i] = source.data[i];
  return destination;
}

// Hands the open records 1..min(counts) of source over to destination. Each stream keeps
// exactly one owner: a record of destination that was open is closed first, and the source
// record is left empty, so no stream is lost or closed twice.
inline checked_array<checked_file>& checked_file_array_copy(checked_array<checked_file>& destination,
                                                            checked_array<checked_file>& source) {
  const int32_t n = destination.count < source.count ? destination.count : source.count;
  if (destination.data && source.data && destination.data != source.data)
    for (int32_t i = 1; i <= n; ++i) destination.data[i] = std::move(source.data[i]);
  return destination;
}

// Reports a recorded bad index and frees the block. A block whose guard no longer matches
// is not the array's to free: it is reported and left alone.
template <typename T>
void checked_array_destroy(checked_array<T>& a) {
  if (a.out_of_range) std::printf("Error: bad range addressed in array %s\n", a.name);
  a.out_of_range = 0;
  if (!a.data && !a.guard_data) return;
  if (!detail::checked_array_guard_holds(a)) return;
  if constexpr (std::is_same_v<T, checked_file>)
    for (int32_t i = 0; i <= a.count; ++i) checked_file_close(a.data[i]);
  delete[] a.data;
  a.data = a.guard_data = nullptr;
  a.count = a.guard_count = 0;
}

inline void checked_file_array_destroy(checked_array<checked_file>& a) { checked_array_destroy(a); }

template <typename T>
checked_array<T>::~checked_array() {
  checked_array_destroy(*this);
}

// ---------------------------------------------------------------- two dimensions

template <typename T>
struct checked_array_2d {
  T** guard_table = nullptr;       // copy of rows (the table pointer)
  T** guard_rows = nullptr;        // separate copy of the row pointers 0..guard_row_count
  int32_t guard_row_count = 0;
  int32_t row_length = 0;          // largest column index of an owned row
  int32_t row_count = 0;
  T** rows = nullptr;              // row pointers 0..row_count; entry 0 is null
  unsigned char* owned = nullptr;  // 1 for a row the array made and frees
  int32_t adopt_rows = 0;          // while set, appended rows become owned without a guard check

  checked_array_2d() = default;
  checked_array_2d(const checked_array_2d&) = delete;
  checked_array_2d& operator=(const checked_array_2d&) = delete;
  ~checked_array_2d();
};

template <typename T>
bool checked_array_2d_verify(const checked_array_2d<T>& a) {
  bool holds = a.guard_table == a.rows && a.guard_row_count == a.row_count;
  if (holds && a.guard_row_count >= 1)
    for (int32_t i = 0; i <= a.guard_row_count; ++i)
      if (a.guard_rows[i] != a.rows[i]) holds = false;
  if (!holds) std::printf("\n\nError!! Bad pointers found in 2D array.\n\n");
  return holds;
}

// Rebuilds the guard copies from the live table; returns the row count.
template <typename T>
int32_t checked_array_2d_sync(checked_array_2d<T>& a) {
  delete[] a.guard_rows;
  a.guard_rows = nullptr;
  a.guard_table = a.rows;
  a.guard_row_count = a.row_count;
  if (a.rows) {
    a.guard_rows = new T*[size_t(a.row_count) + 1];
    for (int32_t i = 0; i <= a.row_count; ++i) a.guard_rows[i] = a.rows[i];
  }
  return a.row_count;
}

namespace detail {

// A longer row length than the array has makes every owned row longer (data kept), so that
// no row is ever addressed beyond its block; rows the array only points at are the owner's.
template <typename T>
void checked_array_2d_set_row_length(checked_array_2d<T>& a, int row_length) {
  if (row_length > a.row_length) {
    for (int32_t i = 1; i <= a.row_count; ++i) {
      if (!a.owned[i] || !a.rows[i]) continue;
      T* longer = new T[size_t(row_length) + 1];
      for (int32_t j = 0; j <= a.row_length; ++j) longer[j] = std::move(a.rows[i][j]);
      delete[] a.rows[i];
      a.rows[i] = longer;
    }
    a.row_length = row_length;
  }
  if (a.row_length == 0) a.row_length = 1;
}

// Adds n rows: made by the array when given is null, else taken from given[1..n].
template <typename T>
void checked_array_2d_add(checked_array_2d<T>& a, int n, int row_length, T** given, unsigned char flag) {
  checked_array_2d_set_row_length(a, row_length);
  if (n < 0) n = 0;
  const int32_t old = a.row_count;
  const int32_t count = old + n;
  T** table = new T*[size_t(count) + 1];
  unsigned char* owned = new unsigned char[size_t(count) + 1];
  table[0] = nullptr;
  owned[0] = 0;
  for (int32_t i = 1; i <= old; ++i) {
    table[i] = a.rows[i];
    owned[i] = a.owned[i];
  }
  for (int32_t i = 1; i <= n; ++i) {
    table[old + i] = given ? given[i] : new T[size_t(a.row_length) + 1];
    owned[old + i] = flag;
  }
  delete[] a.rows;
  delete[] a.owned;
  a.rows = table;
  a.owned = owned;
  a.row_count = count;
  checked_array_2d_sync(a);
}

template <typename T>
void checked_array_2d_fill_new(checked_array_2d<T>& a, int32_t old, int length, T value) {
  const int32_t last = length < 0 ? a.row_length : length;
  for (int32_t i = old + 1; i <= a.row_count; ++i)
    for (int32_t j = 1; j <= last; ++j) a.rows[i][j] = value;
}

}  // namespace detail

// Adds n owned rows of row_length + 1 default-built records (-1 keeps the array's length);
// returns the new row count, 0 when the guard fails.
template <typename T>
int32_t checked_array_2d_grow_rows(checked_array_2d<T>& a, int n, int row_length) {
  if (!checked_array_2d_verify(a)) return 0;
  detail::checked_array_2d_add<T>(a, n, row_length, nullptr, 1);
  return a.row_count;
}

inline int32_t checked_array_2d_grow(checked_array_2d<double>& a, int n, int row_length) {
  return checked_array_2d_grow_rows(a, n, row_length);
}
inline void checked_int_array_2d_grow(checked_array_2d<int32_t>& a, int n, int row_length) {
  checked_array_2d_grow_rows(a, n, row_length);
}

// Grows by n rows, at least one, and sets elements 1..row_length of the new rows to value.
inline void checked_array_2d_grow_fill(checked_array_2d<double>& a, int n, double value, int row_length) {
  const int32_t old = a.row_count;
  if (checked_array_2d_grow_rows(a, n < 1 ? 1 : n, row_length))
    detail::checked_array_2d_fill_new(a, old, row_length, value);
}
inline void checked_int_array_2d_grow_fill(checked_array_2d<int32_t>& a, int n, int32_t value,
                                           int row_length) {
  const int32_t old = a.row_count;
  if (checked_array_2d_grow_rows(a, n < 1 ? 1 : n, row_length))
    detail::checked_array_2d_fill_new(a, old, row_length, value);
}
inline void checked_int_array_2d_grow_zero(checked_array_2d<int32_t>& a, int n, int row_length) {
  checked_int_array_2d_grow_fill(a, n, 0, row_length);
}

// Appends the n (at least 1) rows given in rows[1..n]; they are owned while adopt_rows is set.
template <typename T>
void checked_array_2d_append_rows(checked_array_2d<T>& a, int n, T** rows, int row_length) {
  if (!a.adopt_rows && !checked_array_2d_verify(a)) return;
  detail::checked_array_2d_add<T>(a, n < 1 ? 1 : n, row_length, rows, a.adopt_rows ? 1 : 0);
}

// Row i for 1 <= i <= row_count, else null.
template <typename T>
T* checked_array_2d_row(const checked_array_2d<T>& a, int64_t i) {
  if (i < 1 || i > a.row_count || !a.rows) return nullptr;
  return a.rows[i];
}

// Frees the owned rows and the tables; a table whose guard fails is left alone.
template <typename T>
void checked_array_2d_destroy(checked_array_2d<T>& a) {
  if (!a.rows && !a.guard_rows && !a.guard_table) return;
  if (!checked_array_2d_verify(a)) return;
  for (int32_t i = 1; i <= a.row_count; ++i)
    if (a.owned[i]) delete[] a.rows[i];
  delete[] a.rows;
  delete[] a.owned;
  delete[] a.guard_rows;
  a.rows = a.guard_table = a.guard_rows = nullptr;
  a.owned = nullptr;
  a.row_count = a.guard_row_count = a.row_length = 0;
}

template <typename T>
checked_array_2d<T>::~checked_array_2d() {
  checked_array_2d_destroy(*this);
}

// ---------------------------------------------------------------- three dimensions

struct checked_array_3d {
  int32_t guard_plane_count = 0;
  int32_t guard_rows = 0;
  double*** guard_plane_table = nullptr;
  double*** guard_planes = nullptr;       // separate copy of the plane pointers 0..plane_count
  double*** guard_row_tables = nullptr;   // for each plane, a copy of its row pointers
  int32_t plane_count = 0;
  int32_t rows = 0;                       // rows per plane
  int32_t columns = 0;                    // columns per row
  double*** planes = nullptr;             // plane pointers 0..plane_count
  unsigned char* owned = nullptr;         // 1 for a plane the array made
  int32_t* plane_rows = nullptr;          // rows each plane was added with

  checked_array_3d() = default;
  checked_array_3d(const checked_array_3d&) = delete;
  checked_array_3d& operator=(const checked_array_3d&) = delete;
  ~checked_array_3d();
};

bool checked_array_3d_verify(const checked_array_3d& a, bool owned_only);
// Appends the n planes given in planes[1..n] (not owned); rows/columns of 0 or more replace
// the array's, -1 keeps them.
void checked_array_3d_append_planes(checked_array_3d& a, int n, double*** planes, int rows, int columns);
// Appends n owned planes whose elements 1..columns of rows 1..rows are value.
void checked_array_3d_grow_fill(checked_array_3d& a, int n, double value, int rows, int columns);
void checked_array_3d_sync(checked_array_3d& a);
void checked_array_3d_destroy(checked_array_3d& a);
// Plane i for 1 <= i <= plane_count, else null.
double** checked_array_3d_plane(const checked_array_3d& a, int64_t i);
// One plane: rows + 1 row pointers (row 0 null), rows 1..rows of columns + 1 doubles,
// elements 1..columns set to value.
double** alloc_matrix_filled(int rows, int columns, double value);

}  // namespace pluvo
