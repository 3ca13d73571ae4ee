#pragma once
// A scratch directory that is the working directory while a test runs (runs write
// "out_time.out" and their outputs there), and a runner for the built program.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
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

// The demo project and every input it reads, in the working directory, with its map folder; a
// total time other than the demo's six hours when one is given ("TOT_TIME 150").
inline void copy_demo_project(const char* tot_time = nullptr) {
  const std::string demo = std::string(PLUVO_TEST_DATA) + "/../examples/demo/";
  std::filesystem::create_directories("out");
  for (const char* name : {"luxa.msk", "luxa.ele", "luxa.chn", "luxa.stm", "luxa.lnk", "luxa.nod", "demo_storm.gag"})
    write_file(name, read_file(demo + name));
  std::string project = read_file(demo + "demo.prj");
  const size_t at = project.find("TOT_TIME 360");
  EXPECT_NE(at, std::string::npos);
  if (tot_time && at != std::string::npos) project.replace(at, 12, tot_time);
  write_file("demo.prj", project);
}

// Every file of the shipped example project folder (examples/<folder>) into the working directory.
inline void copy_example(const std::string& folder) {
  const std::filesystem::path from = std::filesystem::path(PLUVO_TEST_DATA) / ".." / "examples" / folder;
  for (const auto& entry : std::filesystem::directory_iterator(from))
    if (entry.is_regular_file()) write_file(entry.path().filename().string(), read_file(entry.path().string()));
}

}  // namespace pluvo_test
