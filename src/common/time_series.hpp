#pragma once
// Named time series read from PLUVO_TS blocks.

namespace pluvo {

// Counts every RELATIVE series from origin (a Julian date).
void shift_relative_time_series(double origin);

// Empties the process-wide series list.
void free_time_series();

}  // namespace pluvo
