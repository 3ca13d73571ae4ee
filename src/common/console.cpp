#include "common/console.hpp"

#include <cstdarg>

#include "common/process.hpp"

namespace pluvo {

int message_out(const char* format, ...) {
  if (quiet_console) return 0;
  va_list args;
  va_start(args, format);
  int n = std::vprintf(format, args);
  va_end(args);
  return n < 0 ? 0 : n;
}

void write_log_message(std::FILE* log, const char* text) {
  std::fputs(text, stdout);
  if (log) std::fputs(text, log);
}

}  // namespace pluvo
