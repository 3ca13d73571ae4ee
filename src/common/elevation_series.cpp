#include "common/elevation_series.hpp"

#include <cstdio>
#include <cstring>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"

namespace pluvo {

std::vector<std::unique_ptr<elevation_series>> elevation_series_list;

namespace {

bool starts_with(const char* line, const char* word) { return std::strncmp(line, word, std::strlen(word)) == 0; }

bool is_blank_line(const char* line) {
  for (; *line; line++)
    if (!std::strchr(" \t\r\n,", *line)) return false;
  return true;
}

// The number of the file's line that starts at byte offset start (counted only when a line is
// refused, so the reading itself keeps no count).
int line_number_at(std::FILE* stream, long start) {
  const long here = std::ftell(stream);
  std::rewind(stream);
  int number = 1;
  for (long at = 0; at < start; at++) {
    const int c = std::fgetc(stream);
    if (c == EOF) break;
    if (c == '\n') number++;
  }
  std::fseek(stream, here, SEEK_SET);
  return number;
}

// Reads the points up to END_ES (or the end of the file); false when a line was refused.
bool read_points(checked_file& file, const char* file_name, elevation_series& s, char* line) {
  for (long start = std::ftell(file.stream); read_line(line, file) && !starts_with(line, "END_ES");
       start = std::ftell(file.stream)) {
    if (is_blank_line(line)) continue;
    double x = 0.0, y = 0.0;
    if (std::sscanf(line, "%lf %lf", &x, &y) != 2) {
      stop_run("Error: line %d of elevation series [%s] in file %s does not hold two numbers: %s\n",
               line_number_at(file.stream, start), s.name.c_str(), file_name, line);
      return false;
    }
    // A lookup needs ascending abscissae: one out of order would make later lookups answer 0.
    if (!s.x.empty() && !(x > s.x.back())) {
      stop_run("Error: line %d of elevation series [%s] in file %s: the abscissa %g does not ascend after %g.\n",
               line_number_at(file.stream, start), s.name.c_str(), file_name, x, s.x.back());
      return false;
    }
    s.x.push_back(x);
    s.y.push_back(y);
  }
  s.count = int32_t(s.x.size());
  return true;
}

int read_block(checked_file& file, const char* file_name) {
  std::vector<char> line(line_buffer_size, 0);
  bool found = false;
  while (!found && read_line(line.data(), file)) found = starts_with(line.data(), "PLUVO_ES");
  if (!found) return 0;
  elevation_series* s = new_elevation_series();
  char token[token_buffer_size] = {};
  if (read_line(line.data(), file)) next_token(line.data(), token);
  s->name = token;
  if (read_points(file, file_name, *s, line.data())) return 1;
  elevation_series_list.pop_back();
  return 0;
}

double failed_lookup(const elevation_series* s) {
  if (!s)
    stop_run("Error: attempting to extract a value from an elevation series that does not exist.\n");
  else
    stop_run("Error: attempting to extract a value from an elevation series [%s] with no entries.\n",
             s->name.c_str());
  return 0.0;
}

// Both lookups: the first pair that brackets x gives the value.
double lookup(double x, const elevation_series* s, bool step) {
  if (!s || s->count == 0) return failed_lookup(s);
  const std::vector<double>& xs = s->x;
  const std::vector<double>& ys = s->y;
  const size_t n = size_t(s->count);
  if (n == 1) return ys[0];
  if (x <= xs[0]) return ys[0];
  if (x >= xs[n - 1]) return ys[n - 1];
  for (size_t i = 0; i + 1 < n; i++) {
    if (!(xs[i] <= x && x <= xs[i + 1])) continue;
    if (step) return ys[i];
    const double f = (x - xs[i]) / (xs[i + 1] - xs[i]);
    return (1.0 - f) * ys[i] + f * ys[i + 1];
  }
  std::printf("Error: something is really messed up with your elevation series [%s].\n", s->name.c_str());
  return 0.0;
}

}  // namespace

elevation_series* new_elevation_series() {
  elevation_series_list.push_back(std::make_unique<elevation_series>());
  return elevation_series_list.back().get();
}

int read_elevation_series(checked_file& file) { return read_block(file, file.path.c_str()); }

void read_elevation_series_file(const char* name) {
  checked_file file;
  if (!checked_file_open(file, name, 'r')) {
    std::printf("Error: Elevation series file not found [%s]\n", name);
    return;
  }
  int blocks = 0;
  while (read_block(file, name)) blocks++;
  message_out("%d elevation series read from file %s\n", blocks, name);
  checked_file_close(file);
}

int find_elevation_series(const char* name) {
  const size_t n = std::strlen(name);
  int prefix = -1;
  for (size_t k = 0; k < elevation_series_list.size(); k++) {
    const std::string& stored = elevation_series_list[k]->name;
    if (stored == name) return int(k);
    if (prefix < 0 && std::strncmp(stored.c_str(), name, n) == 0) prefix = int(k);
  }
  return prefix;
}

const elevation_series* elevation_series_at(int position) {
  if (position < 0 || size_t(position) >= elevation_series_list.size()) return nullptr;
  return elevation_series_list[size_t(position)].get();
}

double elevation_series_value(double x, const elevation_series* s) { return lookup(x, s, false); }

double elevation_series_step_value(double x, const elevation_series* s) { return lookup(x, s, true); }

void free_elevation_series() { elevation_series_list.clear(); }

}  // namespace pluvo
