#pragma once
// A scratch directory that is the working directory while a test runs (runs write
// "out_time.out" and their outputs there), and a runner for the built program.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/scratch_dir.hpp"

namespace pluvo_test {

class scratch_dir : public pluvo::scratch_dir {
 public:
  scratch_dir() {
    if (chdir(root().c_str()) != 0) ADD_FAILURE() << "cannot enter " << root();
  }
};

// Files of the working directory.
inline void write_file(const std::string& name, const std::string& text) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

inline std::string read_file(const std::string& name) {
  std::string text;
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return text;
  for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(char(c));
  std::fclose(f);
  return text;
}

// Runs a shell command; returns its standard output and stores its exit status.
inline std::string run_command(const std::string& command, int& status) {
  std::string out;
  std::FILE* p = popen(command.c_str(), "r");
  if (!p) {
    status = -1;
    return out;
  }
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  const int raw = pclose(p);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

}  // namespace pluvo_test
