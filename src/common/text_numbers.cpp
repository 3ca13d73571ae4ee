#include "common/text_numbers.hpp"

#include <charconv>
#include <climits>
#include <cstdlib>
#include <system_error>

namespace pluvo {

namespace {

bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }

const char* skip_digits(const char* p, const char* end, int& count) {
  while (p < end && is_digit(*p)) {
    ++p;
    ++count;
  }
  return p;
}

// [+-] digits [. digits] [(e|E) [+-] digits], a digit at least before the exponent and in it:
// the form from_chars and strtod read alike.
bool plain_decimal(const char* p, const char* end) {
  if (p < end && (*p == '+' || *p == '-')) ++p;
  int digits = 0;
  p = skip_digits(p, end, digits);
  if (p < end && *p == '.') p = skip_digits(p + 1, end, digits);
  if (digits == 0) return false;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p < end && (*p == '+' || *p == '-')) ++p;
    int exponent_digits = 0;
    p = skip_digits(p, end, exponent_digits);
    if (exponent_digits == 0) return false;
  }
  return p == end;
}

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

bool read_whole_real(const char* token, const char* end, double& value) {
  if (plain_decimal(token, end)) {
    // A number out of a double's range is left to strtod, which gives it as infinity or zero.
    double v = 0.0;
    const std::from_chars_result r = std::from_chars(*token == '+' ? token + 1 : token, end, v);
    if (r.ec == std::errc() && r.ptr == end) {
      value = v;
      return true;
    }
  }
  char* stop = nullptr;
  value = std::strtod(token, &stop);
  return stop == end;
}

}  // namespace pluvo
