#include "common/checked_file.hpp"

#include <cstdio>

namespace pluvo {

bool checked_file_open(checked_file& file, const char* name, char mode) {
  if (file.stream) checked_file_close(file);
  const char m[2] = {mode, 0};
  std::FILE* f = std::fopen(name, m);
  if (!f) return false;
  file.stream = f;
  file.guard = f;
  file.path = name;
  file.mode = mode;
  return true;
}

void checked_file_close(checked_file& file) {
  if (!file.stream) return;
  if (file.stream != file.guard)
    std::printf("\n\n\nError with the file %s. The file pointer is corrupt.\n\n\n\n", file.path.c_str());
  std::fclose(file.stream);
  file.stream = nullptr;
  file.guard = nullptr;
  file.path.clear();
  file.mode = 0;
}

}  // namespace pluvo
