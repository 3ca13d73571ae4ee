#include "common/checked_file.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/line_reader.hpp"
#include "common/process.hpp"

namespace pluvo {

std::string project_directory;
std::string output_directory;
bool output_directory_set = false;

checked_file::checked_file(checked_file&& other) noexcept
    : stream(other.stream), guard(other.guard), path(std::move(other.path)), mode(other.mode) {
  checked_file_init(other);
}

checked_file& checked_file::operator=(checked_file&& other) noexcept {
  if (this != &other) {
    checked_file_close(*this);
    stream = other.stream;
    guard = other.guard;
    path = std::move(other.path);
    mode = other.mode;
    checked_file_init(other);
  }
  return *this;
}

checked_file::~checked_file() { checked_file_close(*this); }

void checked_file_init(checked_file& file) {
  file.stream = nullptr;
  file.guard = nullptr;
  file.path.clear();
  file.mode = 0;
}

namespace {

void print_corrupt(const checked_file& file) {
  std::printf("\n\n\nError with the file %s. The file pointer is corrupt.\n\n\n\n", file.path.c_str());
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

// Paths are built with '/', whichever separator the user wrote.
std::string with_slashes(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

// A candidate is tested by opening it, so a candidate for writing is created by the test.
bool opens(const std::string& path, const char* mode) {
  std::FILE* f = std::fopen(path.c_str(), mode);
  if (!f) return false;
  std::fclose(f);
  return true;
}

// The same answer without touching anything: a file to read must open; a file to write must
// be writable, or its folder must let it be created.
bool would_open(const std::string& path, const char* mode) {
  if (mode[0] == 'r') return opens(path, mode);
  if (access(path.c_str(), F_OK) == 0) return access(path.c_str(), W_OK) == 0;
  const size_t cut = path.find_last_of('/');
  const std::string folder = cut == std::string::npos ? std::string(".") : path.substr(0, cut == 0 ? 1 : cut);
  return access(folder.c_str(), W_OK | X_OK) == 0;
}

using path_test = bool (*)(const std::string&, const char*);

bool find_path_with(path_test test, const std::string& project_dir, const std::string& output_dir,
                    const std::string& name, const char* mode, bool for_writing, std::string& resolved);

bool resolve_with(path_test test, char* name, const char* mode, std::string& resolved);

// The run number goes in front of the file's own name, so a name with a directory part
// still lands in that directory.
std::string with_run_prefix(const char* name) {
  const char* base = name;
  for (const char* p = name; *p; ++p)
    if (is_separator(*p)) base = p + 1;
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%04d_", run_number);
  return std::string(name, size_t(base - name)) + prefix + base;
}

}  // namespace

bool checked_file_open(checked_file& file, const char* name, const char* mode) {
  if (file.stream != file.guard) print_corrupt(file);
  if (!name || !*name || !mode || (mode[0] != 'w' && mode[0] != 'a' && mode[0] != 'r')) return false;
  if (file.stream) {
    std::printf("\n\nError!!!!!!! opening a file when the previous file was not closed.\nOriginal file: %s\nNew file: %s\n\n\n",
                file.path.c_str(), name);
    // The old stream would otherwise be lost while still open.
    std::fclose(file.stream);
    checked_file_init(file);
  }
  std::vector<char> unquoted(name, name + std::strlen(name) + 1);
  std::string resolved;
  resolve_file_name(unquoted.data(), mode, resolved);
  if (resolved.size() > file_name_capacity - 1) std::printf("Error.... name too long!!!\n\n\n");
  std::FILE* stream = resolved.empty() ? nullptr : std::fopen(resolved.c_str(), mode);
  if (!stream) return false;
  file.stream = stream;
  file.guard = stream;
  file.path = resolved.substr(0, file_name_capacity - 1);
  file.mode = mode[0];
  return true;
}

bool checked_file_open(checked_file& file, const char* name, char mode) {
  const char text[2] = {mode, 0};
  return checked_file_open(file, name, text);
}

int checked_file_close(checked_file& file) {
  if (!file.stream) return 0;
  if (file.stream != file.guard) print_corrupt(file);
  std::fclose(file.stream);
  checked_file_init(file);
  return 0;
}

void checked_file_close_void(checked_file& file) {
  if (file.stream != file.guard) print_corrupt(file);
  if (file.stream) std::fclose(file.stream);
  checked_file_init(file);
}

bool resolve_file_name(char* name, const char* mode, std::string& resolved) {
  return resolve_with(opens, name, mode, resolved);
}

std::string planned_file_path(const std::string& name, char mode) {
  std::vector<char> unquoted(name.begin(), name.end());
  unquoted.push_back(0);
  const char text[2] = {mode, 0};
  std::string resolved;
  return resolve_with(would_open, unquoted.data(), text, resolved) ? resolved : std::string();
}

std::string file_identity(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
  return ec ? path : p.string();
}

bool find_file_path(const std::string& project_dir, const std::string& output_dir, const std::string& name,
                    const char* mode, bool for_writing, std::string& resolved) {
  return find_path_with(opens, project_dir, output_dir, name, mode, for_writing, resolved);
}

namespace {

bool resolve_with(path_test test, char* name, const char* mode, std::string& resolved) {
  resolved.clear();
  unquote_string(name);
  if (!name || !*name) return false;
  const bool writing = mode && (mode[0] == 'w' || mode[0] == 'a');
  const bool quiet = test != opens;
  if (run_number_prefix_on && writing) {
    const std::string prefixed = with_run_prefix(name);
    if (find_path_with(test, project_directory, output_directory_set ? output_directory : std::string(), prefixed,
                       mode, true, resolved))
      return true;
    if (!quiet) std::printf("Error getting new filename from %s\n", prefixed.c_str());
    return false;
  }
  if (find_path_with(test, project_directory, output_directory, name, mode, writing, resolved)) return true;
  if (!quiet) std::printf("Error getting new filename from %s\n", name);
  return false;
}

bool find_path_with(path_test test, const std::string& project_dir, const std::string& output_dir,
                    const std::string& name, const char* mode, bool for_writing, std::string& resolved) {
  auto tried = [&](const std::string& candidate) {
    resolved = with_slashes(candidate);
    return test(resolved, mode);
  };
  std::string subdirectory;
  if (for_writing) {
    make_output_subdirectory(output_dir, project_dir, subdirectory);
    return tried(project_dir + subdirectory + name) || tried(name) || tried(project_dir + name);
  }
  if (tried(name)) return true;
  make_output_subdirectory(output_dir, project_dir, subdirectory);
  // An input beside the project file is found even once an output folder is in use.
  return tried(project_dir + subdirectory + name) || tried(project_dir + name);
}

}  // namespace

void make_output_subdirectory(const std::string& output_dir, const std::string& project_dir,
                              std::string& subdirectory) {
  subdirectory = output_dir;
  const std::string output = with_slashes(output_dir), project = with_slashes(project_dir);
  // Only an output directory that lies under the project directory has a part below it.
  if (project.empty() || output.compare(0, project.size(), project) != 0) return;
  subdirectory = output_dir.substr(project_dir.size());
  const std::string full = with_slashes(project_dir + subdirectory);
  // The current directory is about to change: a relative project directory must keep
  // pointing where it did.
  if (!std::filesystem::path(project).is_absolute() && project_dir == project_directory) {
    std::error_code ec;
    const std::string absolute = std::filesystem::absolute(project, ec).string();
    if (!ec) set_project_directory(absolute, absolute.size());
  }
  if (chdir(full.c_str()) != 0) {
    std::error_code ec;
    std::filesystem::create_directories(full, ec);
    // A directory just made is entered too, so later runs see the same current directory.
    if (ec || chdir(full.c_str()) != 0) subdirectory.clear();
  }
  set_output_directory(subdirectory);
}

void set_output_directory(const std::string& directory) {
  output_directory = directory;
  if (output_directory.empty() || !is_separator(output_directory.back())) output_directory += '/';
  output_directory_set = true;
}

void set_project_directory(const std::string& directory, size_t length) {
  project_directory = directory.substr(0, length);
  if (!project_directory.empty() && !is_separator(project_directory.back())) project_directory += '/';
}

}  // namespace pluvo
