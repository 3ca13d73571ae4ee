#pragma once
// scan_int: one integer read from a stream exactly as std::fscanf(f, "%d", &value) reads it
// (white space skipped, an optional sign, the decimal digits; the character after them left
// in the stream; a number beyond the range of a long held at the long's limit, then its low
// 32 bits kept), without the cost of interpreting a format for every value of a large map.
#include <cstdio>

namespace pluvo {

// 1 when an integer was read into value; 0 when the next characters are not one (a sign taken
// without a digit stays taken); EOF at end of file or on a read error before any character.
int scan_int(std::FILE* f, int& value);

}  // namespace pluvo
