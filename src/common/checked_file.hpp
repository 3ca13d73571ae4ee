#pragma once
// The record through which every file of a run is opened and closed.
#include <cstdio>
#include <string>

namespace pluvo {

struct checked_file {
  std::FILE* stream = nullptr;
  std::FILE* guard = nullptr;  // copy of stream; a mismatch at close means corruption
  std::string path;            // resolved path, at most 1023 characters
  char mode = 0;               // 'r', 'w' or 'a'; 0 when closed

  bool is_open() const { return stream != nullptr; }
};

}  // namespace pluvo

namespace pluvo {

// Opens name for mode 'r', 'w' or 'a' into the record; false when it cannot be opened.
bool checked_file_open(checked_file& file, const char* name, char mode);

// Closes the record's stream (reporting a corrupt guard) and empties the record.
void checked_file_close(checked_file& file);

}  // namespace pluvo
