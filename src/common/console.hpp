#pragma once
// Console output shared by every subsystem.
#include <cstdio>
#include <string>

namespace pluvo {

// Formats like printf and writes to the console unless the quiet switch is on.
// Returns the number of characters written, 0 when quiet.
int message_out(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats like printf into a string: a message built in pieces is printed as one whole.
std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes text as it is (never as a format) to the console and, when given and open, to the log.
void write_log_message(std::FILE* log, const char* text);

}  // namespace pluvo
