#pragma once
// The uniform generators of the calibration drivers.

#include <cstdint>

namespace pluvo {

// Minimal-standard multiplicative congruential generator with a 32-entry Bays-Durham shuffle.
// The seed belongs to the caller; the shuffle table belongs to the instance, so each user keeps
// its own instance: the toolbox's ran1 and SCE-UA's sce_ran1 draw separate sequences. A seed of
// 0 or below starts the table afresh.
class shuffle_generator {
 public:
  double next(long& seed);
  void reset() { last_ = 0; }

 private:
  long table_[32] = {};
  long last_ = 0;
};

// Integers 0..32767 from a linear congruential generator of the program's own, so that the
// range is the same wherever the program is built (a library rand() may give 31 bits).
class fifteen_bit_generator {
 public:
  void seed(uint32_t value) { state_ = value; }
  int next();

 private:
  uint32_t state_ = 1;
};

}  // namespace pluvo
