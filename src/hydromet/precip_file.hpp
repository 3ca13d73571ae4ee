#pragma once
// The precipitation file: events of gauge depths, rates, accumulations or radar file names.
#include <cstdio>

#include "record/hydromet_state.hpp"

namespace pluvo {

// EVENT cards found by every read in the process; used only in a message.
extern int event_cards_found;

// Reads the next event from fp into ev. file_name is used in range messages only.
// Radar file names go into ev.radar_filenames when that table exists (not empty).
// Returns 1 when an event was read; 0 at the end of the file before an EVENT card, or after
// a format error (then code 4000 has been reported); -1 when the file ends inside the event
// or a gauge value cannot be read (no code set: the caller reports it).
int read_precip_event(std::FILE* fp, hydromet_state& ev, const char* file_name);

// Whether an event starting at (year, month, day, hour) lies inside the hourly data that run
// from the current record to the last one: 1 go on, 0 stop. Day and hour differences only warn.
int check_precip_hmet_dates(long hmet_year, long hmet_month, long hmet_day, long hmet_hour,
                            long last_year, long last_month, long last_day, long last_hour,
                            long event_year, long event_month, long event_day, long event_hour);

// Names in the radar file table of a radar event (entries 0..2000).
constexpr int radar_filename_slots = 2001;

}  // namespace pluvo
