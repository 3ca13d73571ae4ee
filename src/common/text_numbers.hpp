#pragma once
// Numbers of large text grids, read as the C library reads them but without its per-value cost.
// Offers: scan_int (one integer from a stream as fscanf's %d reads it), stream_lock (holds a
// stream's lock while many values are read), read_whole_real (a token wholly a number, as
// strtod reads it).
#include <cstdio>

namespace pluvo {

// One integer read from f exactly as std::fscanf(f, "%d", &value) reads it: white space
// skipped, an optional sign, the decimal digits, the character after them left in the stream;
// a number beyond the range of a long is held at the long's limit, then its low 32 bits kept.
// 1 when an integer was read into value; 0 when the next characters are not one (a sign taken
// without a digit stays taken); EOF at end of file or on a read error before any character.
int scan_int(std::FILE* f, int& value);

// The stream's lock held for a scope: every read of the stream in it then takes the lock
// without waiting on it.
class stream_lock {
 public:
  explicit stream_lock(std::FILE* f) : f_(f) {
    if (f_) flockfile(f_);
  }
  ~stream_lock() {
    if (f_) funlockfile(f_);
  }
  stream_lock(const stream_lock&) = delete;
  stream_lock& operator=(const stream_lock&) = delete;

 private:
  std::FILE* f_;
};

// True when the token [token, end), which a NUL ends at end, is wholly a number as std::strtod
// reads it (leading '+', exponents, hexadecimal, inf and nan included); value is then strtod's,
// bit for bit. Plain decimals are converted by std::from_chars, which rounds them as strtod
// does but without its cost.
bool read_whole_real(const char* token, const char* end, double& value);

}  // namespace pluvo
