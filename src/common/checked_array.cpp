#include "common/checked_array.hpp"

namespace pluvo {

namespace {

void free_guard_copies(checked_array_3d& a) {
  if (a.guard_row_tables)
    for (int32_t i = 1; i <= a.guard_plane_count; ++i) delete[] a.guard_row_tables[i];
  delete[] a.guard_row_tables;
  delete[] a.guard_planes;
  a.guard_row_tables = nullptr;
  a.guard_planes = nullptr;
}

// Frees the rows of a plane the array made, then its row table.
void free_plane(double** plane, int32_t rows) {
  if (!plane) return;
  for (int32_t r = 1; r <= rows; ++r) delete[] plane[r];
  delete[] plane;
}

// Adds n planes: filled owned ones when given is null, else given[1..n], not owned.
void add_planes(checked_array_3d& a, int n, double*** given, double value, int rows, int columns) {
  if (!checked_array_3d_verify(a, false)) return;
  if (n < 0) n = 0;
  if (rows >= 0) a.rows = rows;
  if (columns >= 0) a.columns = columns;
  const int32_t old = a.plane_count;
  const size_t count = size_t(old) + size_t(n) + 1;
  double*** planes = new double**[count];
  unsigned char* owned = new unsigned char[count];
  int32_t* plane_rows = new int32_t[count];
  planes[0] = nullptr;
  owned[0] = 0;
  plane_rows[0] = 0;
  for (int32_t i = 1; i <= old; ++i) {
    planes[i] = a.planes[i];
    owned[i] = a.owned[i];
    plane_rows[i] = a.plane_rows[i];
  }
  for (int32_t i = 1; i <= n; ++i) {
    planes[old + i] = given ? given[i] : alloc_matrix_filled(a.rows, a.columns, value);
    owned[old + i] = given ? 0 : 1;
    plane_rows[old + i] = a.rows;
  }
  delete[] a.planes;
  delete[] a.owned;
  delete[] a.plane_rows;
  a.planes = planes;
  a.owned = owned;
  a.plane_rows = plane_rows;
  a.plane_count = old + n;
  checked_array_3d_sync(a);
}

}  // namespace

// Each plane's guard covers the rows it was added with, so a later change of the rows per
// plane never reads or frees beyond an older plane's row table.
bool checked_array_3d_verify(const checked_array_3d& a, bool owned_only) {
  bool holds = a.guard_rows == a.rows && a.guard_plane_count == a.plane_count && a.guard_plane_table == a.planes;
  if (holds && a.guard_plane_count >= 1) {
    for (int32_t i = 0; i <= a.guard_plane_count && holds; ++i) holds = a.planes[i] == a.guard_planes[i];
    for (int32_t i = 1; i <= a.guard_plane_count && holds; ++i) {
      if (owned_only && !a.owned[i]) continue;
      if (!a.planes[i]) continue;
      for (int32_t r = 0; r <= a.plane_rows[i] && holds; ++r) holds = a.planes[i][r] == a.guard_row_tables[i][r];
    }
  }
  if (!holds) std::printf("\n\nError!!!  Bad pointers found in 3D array.\n\n");
  return holds;
}

void checked_array_3d_append_planes(checked_array_3d& a, int n, double*** planes, int rows, int columns) {
  if (n > 0 && !planes) return;
  add_planes(a, n, planes, 0.0, rows, columns);
}

void checked_array_3d_grow_fill(checked_array_3d& a, int n, double value, int rows, int columns) {
  add_planes(a, n, nullptr, value, rows, columns);
}

void checked_array_3d_sync(checked_array_3d& a) {
  a.guard_plane_table = a.planes;
  free_guard_copies(a);
  if (a.plane_count > 0) {
    const size_t count = size_t(a.plane_count) + 1;
    a.guard_planes = new double**[count];
    a.guard_row_tables = new double**[count];
    a.guard_row_tables[0] = nullptr;
    for (int32_t i = 0; i <= a.plane_count; ++i) a.guard_planes[i] = a.planes[i];
    for (int32_t i = 1; i <= a.plane_count; ++i) {
      const int32_t rows = a.plane_rows[i];
      a.guard_row_tables[i] = new double*[size_t(rows) + 1];
      for (int32_t r = 0; r <= rows; ++r) a.guard_row_tables[i][r] = a.planes[i] ? a.planes[i][r] : nullptr;
    }
  }
  a.guard_plane_count = a.plane_count;
  a.guard_rows = a.rows;
}

void checked_array_3d_destroy(checked_array_3d& a) {
  if (!a.planes && !a.guard_planes) return;
  if (!checked_array_3d_verify(a, true)) return;
  for (int32_t i = 1; i <= a.plane_count; ++i)
    if (a.owned[i]) free_plane(a.planes[i], a.plane_rows[i]);
  free_guard_copies(a);
  delete[] a.planes;
  delete[] a.owned;
  delete[] a.plane_rows;
  a.planes = a.guard_plane_table = nullptr;
  a.owned = nullptr;
  a.plane_rows = nullptr;
  a.plane_count = a.guard_plane_count = 0;
}

checked_array_3d::~checked_array_3d() { checked_array_3d_destroy(*this); }

double** checked_array_3d_plane(const checked_array_3d& a, int64_t i) {
  if (i < 1 || i > a.plane_count || !a.planes) return nullptr;
  return a.planes[i];
}

double** alloc_matrix_filled(int rows, int columns, double value) {
  if (rows < 0) rows = 0;
  if (columns < 0) columns = 0;
  double** plane = new double*[size_t(rows) + 1];
  plane[0] = nullptr;
  for (int r = 1; r <= rows; ++r) {
    plane[r] = new double[size_t(columns) + 1];
    for (int c = 1; c <= columns; ++c) plane[r][c] = value;
  }
  return plane;
}

}  // namespace pluvo
