#pragma once
// A fresh temporary directory for one test; on destruction the working directory and the
// process-wide directory and run-number state are restored and the directory removed.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/checked_file.hpp"
#include "common/process.hpp"

namespace pluvo {

class scratch_dir {
 public:
  scratch_dir() {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) saved_cwd_ = cwd;
    std::string pattern = (std::filesystem::temp_directory_path() / "pluvo_test_XXXXXX").string();
    if (mkdtemp(pattern.data())) root_ = pattern;
  }
  ~scratch_dir() {
    if (!saved_cwd_.empty() && chdir(saved_cwd_.c_str()) != 0) saved_cwd_.clear();
    project_directory.clear();
    output_directory.clear();
    output_directory_set = false;
    run_number = 0;
    run_number_prefix_on = 0;
    std::error_code ec;
    if (!root_.empty()) std::filesystem::remove_all(root_, ec);
  }
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;

  // The directory with a trailing '/'.
  std::string root() const { return root_ + "/"; }
  std::string path(const std::string& name) const { return root_ + "/" + name; }

  void write(const std::string& name, const std::string& text) const {
    std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
    std::ofstream(path(name), std::ios::binary) << text;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }

 private:
  std::string root_;
  std::string saved_cwd_;
};

}  // namespace pluvo
