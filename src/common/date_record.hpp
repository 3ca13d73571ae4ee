#pragma once
// A calendar date and time of day, as the dated input records carry it.
#include <cstdint>

namespace pluvo {

struct date_record {
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
};

}  // namespace pluvo
