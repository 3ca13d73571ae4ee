#include "common/time_series.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "common/line_reader.hpp"

namespace pluvo {

std::vector<std::unique_ptr<time_series>> time_series_list;
std::vector<time_series_index_entry> time_series_index_list;
std::vector<well_cell_entry> well_cell_list;

namespace {

std::string trimmed_name(const char* line) {
  std::string name(line);
  const size_t first = name.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  name = name.substr(first, name.find_last_not_of(" \t") - first + 1);
  std::vector<char> text(name.begin(), name.end());
  text.push_back(0);
  unquote_string(text.data());
  return text.data();
}

// Index of the first entry whose time falls before the one preceding it, or 0 when they ascend.
int32_t first_descending_entry(const time_series& s) {
  for (int32_t i = 1; i < s.count; i++)
    if (!(s.times[size_t(i)] >= s.times[size_t(i) - 1])) return i + 1;
  return 0;
}

// A series whose times do not ascend would answer wrongly: the reason it is refused, or "".
std::string descending_problem(const time_series& s) {
  const int32_t entry = first_descending_entry(s);
  if (entry == 0) return std::string();
  return format_text("Error: the times of time series [%.200s] do not ascend at entry %d.\n", s.name.c_str(), entry);
}

void remove_series(const time_series* s) {
  auto it = std::find_if(time_series_list.begin(), time_series_list.end(),
                         [s](const std::unique_ptr<time_series>& p) { return p.get() == s; });
  if (it != time_series_list.end()) time_series_list.erase(it);
}

// A lookup that cannot answer prints why and stops the run (from any thread).
double failed_lookup(const char* text) {
  stop_run("%s", text);
  return 0.0;
}

// Reads one block after its PLUVO_TS line; false when the series was refused.
bool read_block(checked_file& file, char* line) {
  time_series* s = new_time_series();
  if (read_line(line, file)) s->name = trimmed_name(line);
  if (read_line(line, file) && time_series_keyword(line) == 1) s->relative = 1;
  const double origin = s->relative ? relative_time_origin : 0.0;
  bool readable = true;
  for (int number = 1; read_line(line, file) && time_series_keyword(line) != 3; number++) {
    if (line_is_blank(line)) continue;
    int year, month, day, hour, minute;
    double value;
    if (std::sscanf(line, "%d %d %d %d %d %lf", &year, &month, &day, &hour, &minute, &value) != 6) {
      if (readable)
        stop_run("Error: line %d of time series [%.200s] does not hold a date and a value: %.200s\n", number,
                 s->name.c_str(), line);
      readable = false;
      continue;
    }
    s->times.push_back(julian_date(year, month, day, hour, minute, 0.0) - origin);
    s->values.push_back(value);
  }
  s->count = int32_t(s->times.size());
  const std::string descending = readable ? descending_problem(*s) : std::string();
  if (!descending.empty()) stop_run("%s", descending.c_str());
  if (!readable || !descending.empty()) {
    remove_series(s);
    return false;
  }
  message_out("Read time series %s\n", s->name.c_str());
  return true;
}

// Searches the intervals from first on; -1 when none holds t.
int32_t find_interval(const time_series& s, double t, int32_t first) {
  for (int32_t i = std::max(first, 0); i < s.count - 1; i++)
    if (s.times[size_t(i)] <= t && t <= s.times[size_t(i) + 1]) return i;
  return -1;
}

}  // namespace

time_series* new_time_series() {
  time_series_list.push_back(std::make_unique<time_series>());
  return time_series_list.back().get();
}

void free_time_series() {
  time_series_index_list.clear();  // its entries point into the series
  well_cell_list.clear();          // filled again with the next run's well table
  time_series_list.clear();
}

int time_series_keyword(const char* line) {
  if (line_begins_with(line, "END_TS")) return 3;
  if (line_begins_with(line, "ABSOLUTE")) return 2;
  if (line_begins_with(line, "RELATIVE")) return 1;
  if (line_begins_with(line, "PLUVO_TS")) return 0;
  return 4;
}

int read_time_series(checked_file& file) {
  std::vector<char> line(line_buffer_size, 0);
  int result = 0;
  while (result == 0 && read_line(line.data(), file)) {
    if (time_series_keyword(line.data()) != 0) continue;
    read_block(file, line.data());
    result = 1;
  }
  return result;
}

void load_time_series_file(const char* name) {
  checked_file file;
  if (!checked_file_open(file, name, 'r')) {
    std::printf("Error: Time series file not found [%s]\n", name);
    return;
  }
  const size_t before = time_series_list.size();
  while (read_time_series(file)) {
  }
  message_out("%d time series read from file %s\n", int(time_series_list.size() - before), name);
  checked_file_close(file);
}

time_series* find_time_series(const char* name) {
  const size_t n = std::strlen(name);
  for (const auto& s : time_series_list)
    if (std::strncmp(s->name.c_str(), name, n) == 0) return s.get();
  return nullptr;
}

time_series* find_time_series_exact_first(const char* name) {
  if (!*name) return nullptr;  // an empty name would begin every name
  for (const auto& s : time_series_list)
    if (s->name == name) return s.get();
  return find_time_series(name);
}

double time_series_value(double t, time_series* s) {
  if (!s) return failed_lookup("Error: attempting to extract a value from a time series that does not exist.\n");
  if (s->count == 0) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "Error: attempting to extract a value from a time series [%.200s] with no entries.\n",
                  s->name.c_str());
    return failed_lookup(text);
  }
  const std::vector<double>& times = s->times;
  const std::vector<double>& values = s->values;
  if (s->count == 1) return values[0];
  if (t <= times.front()) return values.front();
  if (t >= times.back()) return values.back();
  // Time mostly moves forward: start where the previous lookup ended, then from the start.
  int32_t i = find_interval(*s, t, s->last_interval.load(std::memory_order_relaxed));
  if (i < 0) i = find_interval(*s, t, 0);
  if (i < 0) {
    std::printf("Error: something is really messed up with your time series [%s].\n", s->name.c_str());
    return 0.0;
  }
  s->last_interval.store(i, std::memory_order_relaxed);
  const double width = times[size_t(i) + 1] - times[size_t(i)];
  if (width <= 0.0) return values[size_t(i)];  // two entries at one time: a step
  const double w = (t - times[size_t(i)]) / width;
  return (1.0 - w) * values[size_t(i)] + w * values[size_t(i) + 1];
}

namespace {

time_series* indexed_series(int32_t index, bool& found) {
  for (const auto& entry : time_series_index_list)
    if (entry.index == index) {
      found = true;
      return entry.series;
    }
  found = false;
  return nullptr;
}

double unknown_index(int32_t index) {
  char text[400];
  std::snprintf(text, sizeof text,
                "Error: attempting to extract a value from an unknown time series in the time series table.    "
                "Check the mapping table file (.cmt). The specified time series index is %d, but the \nindex is "
                "not found in the time series index table.\n",
                index);
  return failed_lookup(text);
}

}  // namespace

double time_series_value_by_index(int32_t index, double t) {
  bool found = false;
  time_series* s = indexed_series(index, found);
  return found ? time_series_value(t, s) : unknown_index(index);
}

void gw_time_series_value_by_index(double* cell_values, double t, double cell_size) {
  const double area = cell_size * cell_size;
  for (const auto& well : well_cell_list) {
    double rate = well.rate;
    if (well.from_series) {
      bool found = false;
      time_series* s = indexed_series(well.series_index, found);
      rate = found ? time_series_value(t, s) : unknown_index(well.series_index);
    }
    cell_values[well.cell] = rate / area;
  }
}

time_series* read_embedded_time_series(checked_file& file, int n, const char* base_name) {
  if (n <= 0) return nullptr;
  // Count the dated lines first, each whole whatever its length, then read them as written.
  std::string line;
  const long start = std::ftell(file.stream);
  int lines = 0;
  while (read_whole_line(file, line) && time_series_keyword(line.c_str()) != 3 && line[0] >= '0' && line[0] <= '9')
    lines++;
  std::clearerr(file.stream);
  std::fseek(file.stream, start, SEEK_SET);

  const std::string base = std::string(base_name).substr(0, 100);
  const size_t first = time_series_list.size();
  for (int k = 0; k < n; k++) {
    time_series* s = new_time_series();
    char name[128];
    std::snprintf(name, sizeof name, "%s_%04d", base.c_str(), k);
    s->name = name;
    s->times.assign(size_t(lines), 0.0);
    s->values.assign(size_t(lines), 0.0);
    s->count = lines;
  }
  std::string raw;
  std::string problems;  // every refused line, then the first series out of order: one stop
  for (int row = 0; row < lines; row++) {
    raw.clear();
    for (int c; (c = std::fgetc(file.stream)) != EOF && c != '\n';) raw.push_back(char(c));
    const char* p = raw.c_str();
    int year, month, day, hour, minute, used = 0;
    double time = -1.0;
    if (std::sscanf(p, "%d %d %d %d %d%n", &year, &month, &day, &hour, &minute, &used) == 5) {
      time = julian_date(year, month, day, hour, minute, 0.0);
      p += used;
    } else {
      problems += format_text("Error: dated line %d of the series %.100s_* does not begin with a date: %.200s\n",
                              row + 1, base.c_str(), raw.c_str());
    }
    for (int k = 0; k < n; k++) {
      double value = 0.0;
      if (std::sscanf(p, "%lf%n", &value, &used) == 1) p += used;
      time_series& s = *time_series_list[first + size_t(k)];
      s.times[size_t(row)] = time;
      s.values[size_t(row)] = value;
    }
  }
  for (size_t k = first; k < time_series_list.size(); k++) {
    const std::string descending = descending_problem(*time_series_list[k]);
    problems += descending;
    if (!descending.empty()) break;
  }
  if (!problems.empty()) stop_run("%s", problems.c_str());
  return time_series_list[first].get();
}

void shift_relative_time_series(double origin) {
  for (const auto& s : time_series_list)
    if (s->relative && s->count > 0)
      for (double& t : s->times) t += origin;
}

}  // namespace pluvo
