#pragma once
// Named x/y tables read from PLUVO_ES blocks: rating curves that turn a level, a depth or a head
// difference into a discharge. Overland boundaries, pumps and channel structures hold the
// position of their series in the list.
// Offers: read_elevation_series_file (card ELEV_SERIES_FILE), find_elevation_series (a whole
// name before a longer one that begins with it), elevation_series_value (interpolated) and
// elevation_series_step_value (the lower point of the bracketing pair), both clamped at the
// ends and safe to call from parallel loops; free_elevation_series empties the list at the end
// of a run, so the next run reads its own series with its own replacement values.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/checked_file.hpp"

namespace pluvo {

struct elevation_series {
  std::vector<double> x;  // ascending abscissae
  std::vector<double> y;
  std::string name;
  int32_t count = 0;
};

// Every series of the run in reading order; entries keep their address until released.
extern std::vector<std::unique_ptr<elevation_series>> elevation_series_list;

// Reads every block of the file; a file that does not open is only reported.
void read_elevation_series_file(const char* name);

// Reads the next block into a new series: 1 when a block was read, 0 when there is none (or the
// block was refused: the run then stops with a message naming the file, series and line).
int read_elevation_series(checked_file& file);

// Appends an empty series to the list.
elevation_series* new_elevation_series();

// Position in the list of the series named name, else of the first whose name begins with it;
// -1 when none.
int find_elevation_series(const char* name);

// The series at a position of the list, or none (-1 or out of range).
const elevation_series* elevation_series_at(int position);

// Value at x: interpolated, or the y of the lower end of the first bracketing pair. A missing or
// empty series stops the run.
double elevation_series_value(double x, const elevation_series* s);
double elevation_series_step_value(double x, const elevation_series* s);

void free_elevation_series();

}  // namespace pluvo
