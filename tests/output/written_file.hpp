#pragma once
// What a writer puts into a file, as text or as hex bytes, for byte-exact comparisons.
#include <cstdio>
#include <string>

#include "run/scratch_dir.hpp"

namespace pluvo_test {

// Runs write on a fresh file "f.out" of the working directory and returns the file's bytes.
template <typename Write>
std::string written(Write write) {
  std::FILE* f = std::fopen("f.out", "wb");
  write(f);
  std::fclose(f);
  return read_file("f.out");
}

inline std::string hex(const std::string& bytes) {
  std::string out;
  char two[3];
  for (unsigned char b : bytes) {
    std::snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

}  // namespace pluvo_test
