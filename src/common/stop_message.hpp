#pragma once
// A fatal message a routine prints itself: formatted with a constant printf format, written
// to the console and the log, with error code 4000 set so the reporter stops the run.
#include <cstdio>

namespace pluvo {

void stop_with_message(std::FILE* log, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace pluvo
