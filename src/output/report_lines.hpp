#pragma once
// Small parts shared by the hydrograph, summary and balance writers.
#include <cstdint>
#include <cstdio>
#include <vector>

namespace pluvo {

// Cubic feet in a cubic metre as the optimisation lines write volumes.
constexpr double cubic_feet_per_cubic_metre = 35.32;

// True on a step whose count is a multiple of the hydrograph interval.
bool hydrograph_output_time(int step_count, int hyd_write_steps);

// Decimal year of a long-term hydrograph line; (year - 1900) divisible by 4 counts as a leap year.
double decimal_year(int year, int day_of_year, int hour, int minute);

// The time column and discharge of one outlet hydrograph output time.
struct hydrograph_line {
  int long_term = 0;
  int strict_julian = 0;
  int cfs = 0;
  double time = 0.0;       // elapsed minutes, Julian date or decimal year, as the run kind says
  double discharge = 0.0;  // already in the unit written
};

// Writes the outlet hydrograph line to main and, when six is given, the six-decimal line.
void write_hydrograph_lines(std::FILE* main, std::FILE* six, const hydrograph_line& line);

// Value formats of dotted summary lines: amounts and the finer percentages.
enum class summary_format { amount, fine };

// Label, a blank and dots to column 50, blanks that put the decimal point in column 66, the
// value, then 1 + extra_newlines line ends.
void write_summary_line(std::FILE* f, const char* label, double value, summary_format format,
                        int extra_newlines);

// Writes text and a line end.
void put_line(std::FILE* f, const char* text);

// The entry of a per-cell (or per-item) list, 0 for an index the list does not hold.
int32_t entry_or_zero(const std::vector<int32_t>& list, int index);

// numerator x 100 / divisor, or 0 when the divisor is not positive: a balance with nothing to
// divide by shows no error rather than an infinity or NaN.
double balance_percent(double numerator, double divisor);

}  // namespace pluvo
