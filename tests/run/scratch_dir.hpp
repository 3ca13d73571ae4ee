#pragma once
// A private temporary directory for one test, entered on construction; the
// previous working directory is restored and the directory removed afterwards.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace pluvo_test {

class scratch_dir {
 public:
  scratch_dir() : previous_(std::filesystem::current_path()) {
    char pattern[] = "/tmp/pluvo_test_XXXXXX";
    path_ = mkdtemp(pattern);
    std::filesystem::current_path(path_);
  }
  ~scratch_dir() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::string path_;
};

inline void write_file(const std::string& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

inline std::string read_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
