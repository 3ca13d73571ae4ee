#include "common/alloc.hpp"

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <new>

#include "common/error_state.hpp"

namespace pluvo {

namespace {

enum class made { ok, size_zero, no_memory };

void print_size_zero() { std::printf("Error: Attempting to allocate array of size 0\n"); }

void print_no_block(const char* name) { std::printf("Error allocating memory for variable %s\n", name ? name : ""); }

// Memory that cannot be had stops the run.
void report_no_memory(const char* name) { stop_run("Error allocating memory for variable %s\n", name ? name : ""); }

// Number of elements of extents 0..e each, in size_t; false when it cannot be held.
template <typename T>
bool element_count(std::initializer_list<int> extents, size_t& count) {
  count = 1;
  for (int e : extents) {
    if (__builtin_mul_overflow(count, size_t(e) + 1, &count)) return false;
  }
  return count <= size_t(PTRDIFF_MAX) / sizeof(T);
}

template <typename T>
made make_matrix(int nr, int nc, T**& out) {
  out = nullptr;
  if (nr <= 0 || nc <= 0) {
    print_size_zero();
    return made::size_zero;
  }
  size_t cells = 0;
  if (!element_count<T>({nr, nc}, cells)) return made::no_memory;
  const size_t row_size = size_t(nc) + 1;
  T** table = new (std::nothrow) T*[size_t(nr) + 1];
  if (!table) return made::no_memory;
  T* block = new (std::nothrow) T[cells];
  if (!block) {
    delete[] table;
    return made::no_memory;
  }
  for (size_t i = 0; i <= size_t(nr); ++i) table[i] = block + i * row_size;
  out = table;
  return made::ok;
}

template <typename T>
made make_tensor(int np, int nr, int nc, T***& out) {
  out = nullptr;
  if (np <= 0 || nr <= 0 || nc <= 0) {
    print_size_zero();
    return made::size_zero;
  }
  size_t row_count = 0, cells = 0;
  if (!element_count<T*>({np, nr}, row_count) || !element_count<T>({np, nr, nc}, cells)) return made::no_memory;
  T*** planes = new (std::nothrow) T**[size_t(np) + 1];
  if (!planes) return made::no_memory;
  T** rows = new (std::nothrow) T*[row_count];
  if (!rows) {
    delete[] planes;
    return made::no_memory;
  }
  T* block = new (std::nothrow) T[cells];
  if (!block) {
    delete[] rows;
    delete[] planes;
    return made::no_memory;
  }
  const size_t rows_per_plane = size_t(nr) + 1, row_size = size_t(nc) + 1;
  for (size_t i = 0; i <= size_t(np); ++i) planes[i] = rows + i * rows_per_plane;
  for (size_t r = 0; r < row_count; ++r) rows[r] = block + r * row_size;
  out = planes;
  return made::ok;
}

// Zero-fills a whole matrix block, row 0 and column 0 included.
template <typename T>
void zero_matrix(T** m, int nr, int nc) {
  for (int i = 0; i <= nr; ++i)
    for (int j = 0; j <= nc; ++j) m[i][j] = T(0);
}

template <typename T>
void zero_tensor(T*** t, int np, int nr, int nc) {
  for (int k = 0; k <= np; ++k) zero_matrix(t[k], nr, nc);
}

template <typename T>
T** matrix_named(int nr, int nc, const char* function) {
  T** m = nullptr;
  if (make_matrix(nr, nc, m) == made::no_memory) report_no_memory(function);
  return m;
}

// The zeroed wrappers: a refused extent or missing memory names the variable.
template <typename T>
void matrix_zeroed(int nr, int nc, T**& out, const char* name) {
  const made result = make_matrix(nr, nc, out);
  if (result == made::no_memory) {
    report_no_memory(name);
  } else if (!out) {
    print_no_block(name);
  } else {
    zero_matrix(out, nr, nc);
  }
}

template <typename T>
void vector_zeroed(T*& out, int n, const char* name, bool name_refusal) {
  out = nullptr;
  if (n == 0) return;
  if (n < 0) {
    print_size_zero();
    if (name_refusal) print_no_block(name);
    return;
  }
  out = new (std::nothrow) T[size_t(n) + 1]();
  if (!out) report_no_memory(name);
}

}  // namespace

double** dmatrix(int nr, int nc) { return matrix_named<double>(nr, nc, "dmatrix"); }
int** imatrix(int nr, int nc) { return matrix_named<int>(nr, nc, "imatrix"); }
char** cmatrix(int nr, int nc) { return matrix_named<char>(nr, nc, "cmatrix"); }

double*** d3tensor(int np, int nr, int nc) {
  double*** t = nullptr;
  if (make_tensor(np, nr, nc, t) == made::no_memory) report_no_memory("d3tensor");
  return t;
}

int*** i3tensor(int np, int nr, int nc) {
  int*** t = nullptr;
  if (make_tensor(np, nr, nc, t) == made::no_memory) report_no_memory("i3tensor");
  return t;
}

void fill_dmatrix(double** m, int nr, int nc, double value) {
  if (!m || nr < 0) return;
  for (int i = 0; i <= nr; ++i)
    for (int j = 0; j <= nc; ++j) m[i][j] = value;
}

void fill_d3tensor(double*** t, int np, int nr, int nc, double value) {
  if (!t) return;
  for (int k = 0; k <= np; ++k) fill_dmatrix(t[k], nr, nc, value);
}

void alloc_dmatrix_zeroed(int nr, int nc, double**& out, const char* name) { matrix_zeroed(nr, nc, out, name); }
void alloc_cmatrix_zeroed(int nr, int nc, char**& out, const char* name) { matrix_zeroed(nr, nc, out, name); }
void alloc_imatrix_zeroed(int**& out, int nr, int nc, const char* name) { matrix_zeroed(nr, nc, out, name); }

void alloc_d3tensor_zeroed(int np, int nr, int nc, double***& out, const char* name) {
  const made result = make_tensor(np, nr, nc, out);
  if (result == made::no_memory) {
    report_no_memory(name);
  } else if (!out) {
    print_no_block(name);
  } else {
    zero_tensor(out, np, nr, nc);
  }
}

void alloc_dvector(double*& out, int n, const char* name) { vector_zeroed(out, n, name, false); }
void alloc_ivector(int*& out, int n, const char* name) { vector_zeroed(out, n, name, true); }

void alloc_lake_search(int np, int, int nc, int***& out) {
  const made result = make_tensor(np, 3, nc, out);
  if (result == made::no_memory) {
    report_no_memory("lake_search");
  } else if (!out) {
    print_no_block("lake_search");
  } else {
    zero_tensor(out, np, 3, nc);
  }
}

namespace {
void stream_matrix(double**& out, int nr, int nc, bool refused, const char* name) {
  if (refused) {
    print_size_zero();
    print_no_block(name);
  }
  if (make_matrix(nr, nc, out) == made::no_memory) report_no_memory(name);
  if (out) zero_matrix(out, nr, nc);
}
}  // namespace

void alloc_stream_pointsource(double**& out, int n, int m) {
  stream_matrix(out, n + 1, m, n == 0 || m == 0, "stream_pointsource");
}

void alloc_stream_pumps(double**& out, int n, int m) { stream_matrix(out, n, m, n == 0 || m == 0, "stream_pumps"); }

}  // namespace pluvo
