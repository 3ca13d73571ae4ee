#pragma once
// Allocation helpers with inclusive bounds: a request for n gives elements 0..n.
// Offers: dmatrix / imatrix / cmatrix (row pointers into one contiguous row-major block),
// d3tensor / i3tensor (plane table, row table, one data block), fill_dmatrix, fill_d3tensor,
// the zeroed wrappers that name the variable in their message, alloc_dvector / alloc_ivector,
// free_matrix / free_d3tensor (null-safe, leave the pointer null), and the named allocators
// of the channel reader. Vectors are freed by their owner with delete[].
// An extent of 0 prints "Error: Attempting to allocate array of size 0" and gives null;
// memory that cannot be had stops the run with "Error allocating memory for variable %s"
// instead of using a missing block.
#include <cstddef>

namespace pluvo {

double** dmatrix(int nr, int nc);
int** imatrix(int nr, int nc);
char** cmatrix(int nr, int nc);
double*** d3tensor(int np, int nr, int nc);
int*** i3tensor(int np, int nr, int nc);

void fill_dmatrix(double** m, int nr, int nc, double value);
void fill_d3tensor(double*** t, int np, int nr, int nc, double value);

void alloc_dmatrix_zeroed(int nr, int nc, double**& out, const char* name);
void alloc_cmatrix_zeroed(int nr, int nc, char**& out, const char* name);
void alloc_imatrix_zeroed(int**& out, int nr, int nc, const char* name);
void alloc_d3tensor_zeroed(int np, int nr, int nc, double***& out, const char* name);

// n + 1 zeroed elements; n = 0 gives null silently, n = -1 gives null with the size-0 message.
void alloc_dvector(double*& out, int n, const char* name);
void alloc_ivector(int*& out, int n, const char* name);

// The "lake_search" int array [0..np][0..3][0..nc], all 0.
void alloc_lake_search(int np, int unused, int nc, int***& out);
// The "stream_pointsource" matrix [0..n+1][0..m] and "stream_pumps" matrix [0..n][0..m], all 0.
void alloc_stream_pointsource(double**& out, int n, int m);
void alloc_stream_pumps(double**& out, int n, int m);

// Frees a matrix of any element type made above; nothing when null; the pointer ends null.
template <typename T>
void free_matrix(T**& m) {
  if (!m) return;
  delete[] m[0];
  delete[] m;
  m = nullptr;
}

// Frees a three-dimensional array made above; nothing when null; the pointer ends null.
template <typename T>
void free_d3tensor(T***& t) {
  if (!t) return;
  delete[] t[0][0];
  delete[] t[0];
  delete[] t;
  t = nullptr;
}

}  // namespace pluvo
