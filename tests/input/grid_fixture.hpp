#pragma once
// A model record, a scratch folder per test, and small maps written into it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "run/scratch_dir.hpp"

#include "common/error_state.hpp"
#include "record/model_state.hpp"

namespace pluvo_test {

// A scratch folder entered for the test's lifetime (so "maskmap" lands there), with full paths.
struct temp_dir : scratch_dir {
  void enter() const {}  // entered already
  std::string file(const std::string& name) const { return path(name); }
  std::string write(const std::string& name, const std::string& text) const {
    pluvo::scratch_dir::write(name, text);
    return path(name);
  }
};

inline std::string read_text(const std::string& path) {
  return std::filesystem::exists(path) ? read_file(path) : "<missing>";
}

inline void clear_errors() {
  pluvo::error_state = pluvo::error_state_record();
  pluvo::error_log_file = nullptr;
}

inline std::unique_ptr<pluvo::model_state> new_model() {
  clear_errors();
  return std::make_unique<pluvo::model_state>();
}

// A header for a grid of 10 m cells with its north-west corner at (1000, 2000).
inline std::string header(int rows, int cols, double cell = 10.0) {
  char h[256];
  std::snprintf(h, sizeof h, "north: %g\nsouth: %g\neast: %g\nwest: %g\nrows: %d\ncols: %d\n",
                2000.0, 2000.0 - rows * cell, 1000.0 + cols * cell, 1000.0, rows, cols);
  return h;
}

}  // namespace pluvo_test
