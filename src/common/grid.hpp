#pragma once
// A row-major grid with a border: rows 0..rows+1 and columns 0..cols+1, row 1 the northernmost.
#include <cstddef>
#include <vector>

#include "common/parallel_fill.hpp"

namespace pluvo {

template <typename T>
class grid {
 public:
  grid() = default;
  grid(int rows, int cols, T fill = T()) { resize(rows, cols, fill); }

  void resize(int rows, int cols, T fill = T()) {
    rows_ = rows;
    cols_ = cols;
    assign_fresh(data_, size_t(rows + 2) * size_t(cols + 2), fill);
  }
  void clear() {
    rows_ = cols_ = 0;
    data_.clear();
    data_.shrink_to_fit();
  }

  int rows() const { return rows_; }
  int cols() const { return cols_; }
  bool empty() const { return data_.empty(); }

  T& operator()(int row, int col) { return data_[index(row, col)]; }
  const T& operator()(int row, int col) const { return data_[index(row, col)]; }

  T* data() { return data_.data(); }
  const T* data() const { return data_.data(); }

 private:
  size_t index(int row, int col) const { return size_t(row) * size_t(cols_ + 2) + size_t(col); }

  int rows_ = 0;
  int cols_ = 0;
  std::vector<T> data_;
};

}  // namespace pluvo
