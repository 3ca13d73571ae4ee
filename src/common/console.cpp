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

std::string format_text(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(n > 0 ? size_t(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), size_t(n) + 1, format, again);
  va_end(again);
  return text;
}

void write_log_message(std::FILE* log, const char* text) {
  std::fputs(text, stdout);
  if (log) std::fputs(text, log);
}

}  // namespace pluvo
