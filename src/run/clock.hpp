#pragma once
// Calendar helpers of the simulation clock and the event table.
#include <cstdint>

namespace pluvo {

struct model_state;

// Length of a month of the given year; February has 29 days in every year divisible by 4
// (the clock's calendar has no century rule). Worked out from the year at hand on every call.
int32_t days_in_month(int32_t year, int32_t month);

// Day of the year (1 on 1 January) by the same calendar.
int32_t day_of_year_of(int32_t year, int32_t month, int32_t day);

// A record stamped hour 24 becomes hour 0 of the next day, rolling month and year.
void roll_hour_24(int32_t& year, int32_t& month, int32_t& day, int32_t& hour);

// Julian start date of event k (1-based), or no_event_due when there is no such event.
double event_start_date(const model_state& m, int32_t k);

// A time that the clock never reaches: nothing that waits for it happens.
constexpr double no_event_due = 1.0e30;

}  // namespace pluvo
