#pragma once
// Named time series read from PLUVO_TS blocks, shared by every process.
// Offers: load_time_series_file (card TIME_SERIES_FILE), find_time_series (by name prefix),
// time_series_value (linear interpolation, held constant beyond both ends; safe to call
// from parallel loops), lookups through the TIME_SERIES_INDEX ids and the well list,
// read_embedded_time_series for files that carry dated columns inline.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/checked_file.hpp"

namespace pluvo {

struct time_series {
  std::vector<double> times;   // ascending Julian dates (days from the origin while relative)
  std::vector<double> values;
  int32_t relative = 0;
  std::string name;
  int32_t count = 0;
  std::atomic<int32_t> last_interval{0};  // where the previous lookup found its interval
};

// Every series of the run in creation order; entries keep their address until released.
extern std::vector<std::unique_ptr<time_series>> time_series_list;

// TIME_SERIES_INDEX ids of the mapping-table file tied to series of the list.
struct time_series_index_entry {
  int32_t index = 0;
  time_series* series = nullptr;
};
extern std::vector<time_series_index_entry> time_series_index_list;

// Groundwater well cells: a constant rate or a series id, per cell.
struct well_cell_entry {
  int32_t cell = 0;
  int32_t from_series = 0;
  double rate = 0.0;
  int32_t series_index = 0;
};
extern std::vector<well_cell_entry> well_cell_list;

// Julian date of year 0, month 0, day 0 at midnight: the origin of relative series.
constexpr double relative_time_origin = 1721028.5;

// Reads every block of the file and says how many it read.
void load_time_series_file(const char* name);

// Reads the next block into a new series: 1 when a block was read, 0 at the end of the file.
int read_time_series(checked_file& file);

// Creates an empty absolute series at the tail of the list.
time_series* new_time_series();

// Releases every series and the index entries that refer to them.
void free_time_series();

// 3 "END_TS", 2 "ABSOLUTE", 1 "RELATIVE", 0 "PLUVO_TS", else 4.
int time_series_keyword(const char* line);

// The first series whose name begins with name, or none.
time_series* find_time_series(const char* name);
// The series named name, else the first whose name begins with it, or none: a pump named
// "pump" must not take an earlier "pump2".
time_series* find_time_series_exact_first(const char* name);

// The value of the series at time t; a missing or empty series stops the run.
double time_series_value(double t, time_series* series);
double time_series_value_by_index(int32_t index, double t);

// Sets the element of every well cell to its rate divided by the cell area.
void gw_time_series_value_by_index(double* cell_values, double t, double cell_size);

// Reads n dated columns into n consecutive series named base_0000...; returns the first.
time_series* read_embedded_time_series(checked_file& file, int n, const char* base_name);

// Counts every relative series from origin (a Julian date).
void shift_relative_time_series(double origin);

}  // namespace pluvo
