#include "common/stop_message.hpp"

#include <cstdarg>

#include "common/console.hpp"
#include "common/error_state.hpp"

namespace pluvo {

void stop_with_message(std::FILE* log, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  write_log_message(log, text);
  set_error(4000);
}

}  // namespace pluvo
