#include "calibration/random_generators.hpp"

namespace pluvo {

namespace {
constexpr long modulus = 2147483647;
constexpr long multiplier = 16807;
constexpr long ndiv = 67108864;  // 1 + (modulus - 1) / 32
constexpr double largest = 0.99999988;

// Seeds are reduced first so that the product never overflows.
inline long advance(long seed) { return (multiplier * (seed % modulus)) % modulus; }
}  // namespace

double shuffle_generator::next(long& seed) {
  if (seed <= 0 || last_ == 0) {
    seed = -seed > 1 ? -seed : 1;
    for (int j = 39; j >= 0; --j) {
      seed = advance(seed);
      if (j < 32) table_[j] = seed;
    }
    last_ = table_[0];
  }
  seed = advance(seed);
  const long j = last_ / ndiv;
  last_ = table_[j];
  table_[j] = seed;
  const double value = static_cast<double>(last_) * 4.656612875245797e-10;
  return value > largest ? largest : value;
}

int fifteen_bit_generator::next() {
  // Unsigned arithmetic wraps modulo 2^32 by definition; the high bits are the better ones.
  state_ = state_ * uint32_t(1103515245u) + uint32_t(12345u);
  return static_cast<int>((state_ >> 16) & 0x7fffu);
}

}  // namespace pluvo
