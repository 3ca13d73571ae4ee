#include "common/scan_int.hpp"

#include <climits>

namespace pluvo {

namespace {

bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }

}  // namespace

int scan_int(std::FILE* f, int& value) {
  int c = 0;
  do c = getc_unlocked(f);
  while (is_space(c));
  if (c == EOF) return EOF;
  const bool negative = c == '-';
  if (c == '-' || c == '+') c = getc_unlocked(f);
  if (!is_digit(c)) {
    if (c != EOF) std::ungetc(c, f);
    return 0;
  }
  // The digits convert as strtol converts them: held at LONG_MAX, or LONG_MIN when negative.
  const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : static_cast<unsigned long>(LONG_MAX);
  unsigned long magnitude = 0;
  do {
    const unsigned long digit = static_cast<unsigned long>(c - '0');
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    c = getc_unlocked(f);
  } while (is_digit(c));
  if (c != EOF) std::ungetc(c, f);
  const long whole = negative ? static_cast<long>(0UL - magnitude) : static_cast<long>(magnitude);
  value = static_cast<int>(whole);  // %d stores the long's low 32 bits
  return 1;
}

}  // namespace pluvo
