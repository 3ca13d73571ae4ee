#pragma once
// A temporary folder per test, and small maps written into it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "common/error_state.hpp"
#include "run/model_state.hpp"

namespace pluvo_test {

struct temp_dir {
  std::string path;
  std::string previous;
  temp_dir() {
    char tmpl[] = "/tmp/pluvo_grid_XXXXXX";
    path = mkdtemp(tmpl);
    previous = std::filesystem::current_path().string();
  }
  // Enters the folder for the test's lifetime; writers of fixed names (maskmap) land here.
  void enter() { std::filesystem::current_path(path); }
  ~temp_dir() {
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(path);
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
  std::string write(const std::string& name, const std::string& text) const {
    const std::string p = file(name);
    std::FILE* f = std::fopen(p.c_str(), "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
    return p;
  }
};

inline std::string read_text(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return "<missing>";
  std::string s;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  std::fclose(f);
  return s;
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
