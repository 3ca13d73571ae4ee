// Pumps: the channel pumps of PUMPTO lines, the overland pumps of the OV_PUMP file, and the
// overland pumps' step.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/console.hpp"
#include "common/elevation_series.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "common/time_series.hpp"
#include "overland/overland_phases.hpp"
#include "overland/sources_sinks.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int elevation_flow = 0;
constexpr int time_series_flow = 1;

// 0 for ELEV, 1 for TS (as written, in capitals), -1 otherwise.
int flow_type_of(const char* word) {
  if (std::strncmp(word, "ELEV", 4) == 0) return elevation_flow;
  if (std::strncmp(word, "TS", 2) == 0) return time_series_flow;
  return -1;
}

// Ties the pump to its series, the whole name before a longer one that begins with it.
void find_pump_series(pump_record& p, const char* name) {
  if (p.flow_type == elevation_flow) p.elevation_series = find_elevation_series(name);
  else p.series = find_time_series_exact_first(name);
}

bool whole_int(const char* token, int& value) {
  int used = 0;
  return std::sscanf(token, "%d%n", &value, &used) == 1 && token[used] == 0;
}

bool is_blank_line(const char* line) {
  for (; *line; line++)
    if (!std::strchr(" \t\r\n,", *line)) return false;
  return true;
}

// One line "row column ELEV|TS name" into a pump; false after a stop naming the file and line.
bool read_pump_line(model_state& m, char* line, int number, const char* file, pump_record& p) {
  const std::string text = line;
  char row_text[token_buffer_size] = {}, col_text[token_buffer_size] = {};
  char word[token_buffer_size] = {}, name[token_buffer_size] = {};
  next_token(line, row_text);
  next_token(line, col_text);
  next_token(line, word);
  next_token(line, name);
  int row = 0, col = 0;
  if (!whole_int(row_text, row) || !whole_int(col_text, col) || name[0] == 0) {
    stop_run("Error: line %d of the overland pump file %s must give a row, a column, ELEV or TS and a series "
             "name: %s\n",
             number, file, text.c_str());
    return false;
  }
  const int rows = m.cell_number_grid.rows(), cols = m.cell_number_grid.cols();
  if (row < 1 || row > rows || col < 1 || col > cols) {
    stop_run("Error: line %d of the overland pump file %s names row %d, column %d; the grid has %d rows and %d "
             "columns.\n",
             number, file, row, col, rows, cols);
    return false;
  }
  p.cell = m.cell_number_grid(row, col);
  if (p.cell < 1) {
    stop_run("Error: line %d of the overland pump file %s names row %d, column %d, which lies outside the "
             "watershed.\n",
             number, file, row, col);
    return false;
  }
  p.flow_type = flow_type_of(word);
  if (p.flow_type < 0) {
    stop_run("Error: line %d of the overland pump file %s: the flow type %s must be ELEV or TS.\n", number, file,
             word);
    return false;
  }
  find_pump_series(p, name);
  if (p.flow_type == elevation_flow ? p.elevation_series < 0 : p.series == nullptr) {
    stop_run("Error: line %d of the overland pump file %s: there is no %s series named %s.\n", number, file,
             p.flow_type == elevation_flow ? "elevation" : "time", name);
    return false;
  }
  return true;
}

}  // namespace

int read_channel_pump(char* rest_of_line, int link, int link_type) {
  channel_pump_list.emplace_back();
  pump_record& p = channel_pump_list.back();
  next_int(rest_of_line, p.first_value);
  next_int(rest_of_line, p.second_value);
  if (link_type == 4) p.second_value = 1;
  char word[token_buffer_size] = {}, name[token_buffer_size] = {};
  next_token(rest_of_line, word);
  next_token(rest_of_line, name);
  p.flow_type = flow_type_of(word);
  if (p.flow_type < 0) {
    stop_run("\n\nError in the channel input file: Flow type for pump is incorrectly\ndefined for link %d. Must be "
             "ELEV or TS.\n",
             link);
    return 0;
  }
  find_pump_series(p, name);  // a name that matches nothing stops the run when the pump is used
  return int(channel_pump_list.size());
}

void read_overland_pump_file(model_state& m) {
  m.ov_pumps.clear();
  if (!m.ov_pump_flag) return;
  checked_file file;
  if (!checked_file_open(file, m.ov_pump_file.c_str(), 'r')) {
    set_error(83);
    return;
  }
  std::vector<char> line(line_buffer_size, 0);
  for (int number = 1; read_line(line.data(), file); number++) {
    if (is_blank_line(line.data())) continue;
    pump_record p;
    if (!read_pump_line(m, line.data(), number, m.ov_pump_file.c_str(), p)) return;
    m.ov_pumps.push_back(p);
  }
  message_out("%d overland pumps read from file %s\n", int(m.ov_pumps.size()), m.ov_pump_file.c_str());
  checked_file_close(file);
}

void apply_overland_pumps(const std::vector<pump_record>& pumps, double* depth, double dt, double t, double dx,
                          double& gain, double& loss) {
  const double area = dx * dx;
  for (const pump_record& p : pumps) {
    double& h = depth[p.cell];
    const double removed = std::min(pump_rate(p, t, h) * dt / area, h);  // a negative rate adds water
    h -= removed;
    if (removed > 0.0) loss += removed * area;
    else gain -= removed * area;
  }
}

}  // namespace pluvo
