#pragma once
// A model record on the heap, a private temporary folder and whole-file reading for the output tests.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "record/model_state.hpp"

namespace pluvo_test {

inline std::string make_temp_dir() {
  std::string pattern = ::testing::TempDir() + "pluvo_output_XXXXXX";
  char* made = mkdtemp(pattern.data());
  EXPECT_NE(made, nullptr);
  return pattern;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Text written by fn to a stream, read back whole.
template <class writer>
std::string capture(writer fn) {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* f = open_memstream(&buffer, &size);
  fn(f);
  std::fclose(f);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

inline std::unique_ptr<pluvo::model_state> new_record() {
  return std::make_unique<pluvo::model_state>();
}

// A grid of n cells of the given size with every per-cell array of these tests sized.
inline void size_cells(pluvo::model_state& m, int n, double cell_size) {
  m.cell_count = n;
  m.cell_size = cell_size;
  const size_t count = size_t(n) + 1;
  m.ov_depth.assign(count, 0.0);
  m.ov_qx.assign(count, 0.0);
  m.ov_qy.assign(count, 0.0);
  m.depth_map.assign(count, 0.0);
  m.infil_depth.assign(count, 0.0);
  m.elevation.assign(count, 0.0);
  m.surface_moisture.assign(count, 0.0);
}

}  // namespace pluvo_test
