#pragma once
// node_matrix<T>: a zeroed matrix with inclusive bounds [0..rows][0..cols] in one contiguous
// row-major block, for per-cell columns of nodes (m.THETA[cell][node]). Empty until assigned.
#include <cstddef>
#include <vector>

namespace pluvo {

template <typename T>
class node_matrix {
 public:
  // Elements [0..rows][0..cols], every one value.
  void assign(int rows, int cols, T value = T()) {
    rows_ = rows;
    cols_ = cols;
    data_.assign(size_t(rows + 1) * size_t(cols + 1), value);
  }
  void clear() {
    rows_ = cols_ = 0;
    data_.clear();
    data_.shrink_to_fit();
  }
  bool empty() const { return data_.empty(); }
  int rows() const { return rows_; }
  int cols() const { return cols_; }

  T* operator[](int row) { return data_.data() + size_t(row) * size_t(cols_ + 1); }
  const T* operator[](int row) const { return data_.data() + size_t(row) * size_t(cols_ + 1); }

 private:
  int rows_ = 0;
  int cols_ = 0;
  std::vector<T> data_;
};

}  // namespace pluvo
