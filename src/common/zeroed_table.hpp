#pragma once
// zeroed_table<T, N>: a fixed table of N entries on the heap, all bytes zero when built.
// The block comes from calloc, whose fresh pages cost nothing until they are written,
// so a record that holds a big table can be built thousands of times cheaply.
// T must be valid with every byte zero (plain numbers and arrays of them).
#include <cstddef>
#include <cstdlib>
#include <type_traits>

namespace pluvo {

template <class T, std::size_t N>
class zeroed_table {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  zeroed_table() : data_(static_cast<T*>(std::calloc(N, sizeof(T)))) {}
  ~zeroed_table() { std::free(data_); }
  zeroed_table(const zeroed_table&) = delete;
  zeroed_table& operator=(const zeroed_table&) = delete;

  // Entries 0..N-1; a table whose block could not be had holds none.
  std::size_t size() const { return data_ ? N : 0; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + size(); }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size(); }

 private:
  T* data_;
};

}  // namespace pluvo
