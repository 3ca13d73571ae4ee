#pragma once
// Safe reads of record arrays for the writers: an index an array does not hold reads as zero,
// a file that is not open as no stream.
#include <cstdio>
#include <vector>

#include "common/checked_file.hpp"
#include "common/node_matrix.hpp"

namespace pluvo {

inline std::FILE* open_stream(const checked_file& f) { return f.is_open() ? f.stream : nullptr; }

template <class T>
T entry(const std::vector<T>& v, size_t i) {
  return i < v.size() ? v[i] : T();
}

inline double matrix_entry(const node_matrix<double>& a, long row, long col) {
  return row >= 0 && col >= 0 && row <= a.rows() && col <= a.cols() ? a[int(row)][size_t(col)] : 0.0;
}

}  // namespace pluvo
