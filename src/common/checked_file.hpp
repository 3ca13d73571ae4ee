#pragma once
// The record through which every file of a run is opened and closed, and the resolution of
// the names users give against the project and output directories.
// Offers: checked_file (stream with a guard copy, resolved path, mode; closes itself when
// destroyed; movable, not copyable), checked_file_init / _open / _close / _close_void,
// resolve_file_name, planned_file_path, file_identity, find_file_path, make_output_subdirectory, set_output_directory,
// set_project_directory, and the process-wide directory state.
// Names may separate directories with '/' or '\\'; the paths built here use '/'. In numbered
// runs (run_number_prefix_on) a file opened for writing or appending gets the "%04d_" prefix
// in front of its file name.
#include <cstdio>
#include <string>

namespace pluvo {

struct checked_file {
  std::FILE* stream = nullptr;
  std::FILE* guard = nullptr;  // copy of stream; a mismatch means something else changed it
  std::string path;            // resolved path, at most 1023 characters
  char mode = 0;               // first letter of the open mode: 'r', 'w' or 'a'; 0 when closed

  bool is_open() const { return stream != nullptr; }

  checked_file() = default;
  checked_file(const checked_file&) = delete;
  checked_file& operator=(const checked_file&) = delete;
  // A moved record takes the stream over; the source is left empty.
  checked_file(checked_file&& other) noexcept;
  checked_file& operator=(checked_file&& other) noexcept;
  ~checked_file();
};

constexpr size_t file_name_capacity = 1024;  // a resolved path holds at most 1023 characters

// Empties the record without closing anything.
void checked_file_init(checked_file& file);

// Opens name with mode ("r", "w", "a" and their variants) after resolving it; true when open.
// Empty names and other modes give false without a message. A record that still holds a
// stream is reported and its old stream closed first.
bool checked_file_open(checked_file& file, const char* name, const char* mode);
bool checked_file_open(checked_file& file, const char* name, char mode);

// Closes the record's stream (reporting a corrupt guard) and empties it; nothing for an
// empty record. Returns 0.
int checked_file_close(checked_file& file);

// The same, but the guard is compared also when there is no stream.
void checked_file_close_void(checked_file& file);

// Process-wide directory state; it outlives a run.
extern std::string project_directory;  // with a trailing separator, or empty
extern std::string output_directory;   // with a trailing separator, or empty
extern bool output_directory_set;

// Removes one pair of surrounding quotes from name (in place) and writes the path to open
// into resolved. false (with "Error getting new filename from %s") when no candidate opens;
// resolved then holds the last candidate tried.
bool resolve_file_name(char* name, const char* mode, std::string& resolved);

// The path name would be opened at with mode, found as resolve_file_name finds it but without
// creating or truncating anything; "" when no candidate would open.
std::string planned_file_path(const std::string& name, char mode);

// One file on disk, however its path was written ('./a', 'b/../a' and 'a' are one file).
std::string file_identity(const std::string& path);

// Tries the candidate paths by opening them with mode (so a write candidate is created);
// true with the first that opens in resolved.
bool find_file_path(const std::string& project_dir, const std::string& output_dir, const std::string& name,
                    const char* mode, bool for_writing, std::string& resolved);

// The part of output_dir below project_dir, made the current directory (created when
// missing) and stored as the new, relative output directory; output_dir unchanged otherwise.
void make_output_subdirectory(const std::string& output_dir, const std::string& project_dir,
                              std::string& subdirectory);

void set_output_directory(const std::string& directory);
// Stores the first length characters of directory with a trailing separator.
void set_project_directory(const std::string& directory, size_t length);

}  // namespace pluvo
