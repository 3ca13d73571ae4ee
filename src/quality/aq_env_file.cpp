// The aquatic-environment file of the nutrient module: a table of 52 environment values per
// index ID, the overland index map that gives every cell its ID, and the stream map.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "input/ascii_map.hpp"
#include "input/stream_tables.hpp"
#include "quality/tvx.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr const char* magic = "AQUATIC_ENV_TVX10";
constexpr size_t magic_length = 17;
constexpr int largest_num_ids = 1000000;

// Row slots filled by the ten value lines of an ID block: even slots from the first line of
// each pair, odd ones from the second.
struct value_line {
  int first;
  int count;
  int stride;
};
constexpr value_line value_lines[10] = {{0, 7, 2},  {1, 7, 2},  {14, 4, 2}, {15, 4, 2}, {22, 4, 2},
                                        {23, 4, 2}, {30, 7, 2}, {31, 7, 2}, {44, 4, 1}, {48, 4, 1}};

// The file's lines, counted so that a malformed one can be named.
struct aq_env_lines {
  checked_file& file;
  std::unique_ptr<char[]> text = std::make_unique<char[]>(line_buffer_size);
  int number = 0;

  explicit aq_env_lines(checked_file& f) : file(f) {}
  bool next() {
    if (!read_line(text.get(), file)) return false;
    ++number;
    return true;
  }
  void rewind() {
    std::rewind(file.stream);
    number = 0;
  }
  char* line() { return text.get(); }
};

// The line's first token as an integer; false when it is none.
bool integer_token(char* line, int& value) {
  std::string token;
  if (!next_token(line, token)) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(token.c_str(), &end, 10);
  if (end == token.c_str() || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  value = int(v);
  return true;
}

void malformed(const aq_env_record& r, int line, const char* problem) {
  stop_run("Error: The aquatic environment file %s is malformed at line %d: %s.\n", r.aq_env_file.c_str(), line,
           problem);
}

// Second token of a card line, whole.
std::string card_argument(const char* line) {
  std::string copy = line;
  std::string token;
  next_token(copy.data(), token);
  token.clear();
  next_token(copy.data(), token);
  return token;
}

int scan_maps(aq_env_lines& lines, aq_env_record& r) {
  lines.rewind();
  int seen = 0;
  while (seen < 2 && lines.next()) {
    if (line_begins_with(lines.line(), "OV_MAP")) {
      r.ov_map_file = card_argument(lines.line());
      ++seen;
    } else if (line_begins_with(lines.line(), "ST_MAP")) {
      r.st_map_file = card_argument(lines.line());
      ++seen;
    }
  }
  return seen;
}

bool scan_num_ids(aq_env_lines& lines, aq_env_record& r) {
  lines.rewind();
  while (lines.next()) {
    if (!line_begins_with(lines.line(), "NUM_IDS")) continue;
    char* rest = lines.line() + std::strlen("NUM_IDS");
    int32_t n = 0;
    next_int(rest, n);
    r.num_ids = n;
    return true;
  }
  return false;
}

void read_value_line(char* line, aq_env_row& row, const value_line& v) {
  for (int i = 0; i < v.count; ++i) next_double(line, row.values[v.first + i * v.stride]);
}

// 1 at the end of the file, 0 after a reported error.
int read_params(aq_env_lines& lines, aq_env_record& r) {
  while (lines.next()) {
    if (line_is_blank(lines.line())) continue;
    int id = 0;
    if (!integer_token(lines.line(), id)) {
      malformed(r, lines.number, "the line of an ID block does not begin with an integer ID");
      return 0;
    }
    if (id > r.num_ids) {
      error_state.error_arg1 = id;
      error_state.error_arg2 = r.num_ids;
      set_error(78);
      return 0;
    }
    if (id < 0) {
      malformed(r, lines.number, "an ID below 0");
      return 0;
    }
    if (!lines.next()) return 1;
    if (line_begins_with(lines.line(), "DEFAULT")) continue;
    aq_env_row& row = r.id_rows[id];
    read_value_line(lines.line(), row, value_lines[0]);
    for (int k = 1; k < 10; ++k) {
      if (!lines.next()) return 1;
      read_value_line(lines.line(), row, value_lines[k]);
    }
  }
  return 1;
}

}  // namespace

bool read_aq_env_header(checked_file& f) {
  aq_env_lines lines(f);
  return lines.next() && std::strncmp(lines.line(), magic, magic_length) == 0;
}

int read_aq_env_maps(checked_file& f, aq_env_record& r) {
  aq_env_lines lines(f);
  return scan_maps(lines, r);
}

bool read_aq_env_num_ids(checked_file& f, aq_env_record& r) {
  aq_env_lines lines(f);
  return scan_num_ids(lines, r);
}

int read_aq_env_params(checked_file& f, aq_env_record& r) {
  aq_env_lines lines(f);
  return read_params(lines, r);
}

void read_aq_env_index_map(aq_env_record& r, model_state& m) {
  r.ncells = m.cell_count;
  checked_file map;
  if (!checked_file_open(map, r.ov_map_file.c_str(), 'r')) {
    if (!error_state.error_code) set_error(81);
    return;
  }
  checked_array_destroy(r.ov_index);
  checked_int_array_grow_fill(r.ov_index, r.ncells, 0);
  std::vector<int> ids(size_t(r.ncells) + 1, 0);
  read_ascii_map(map, r.ov_map_file.c_str(), 4, m.grid_north, m.grid_south, m.grid_east, m.grid_west, m.grid_rows,
                 m.grid_cols, m.cell_number_grid, nullptr, nullptr, &ids, m.project_rows, m.project_cols,
                 m.silent_mode);
  for (int c = 1; c <= r.ncells; ++c) r.ov_index[c] = ids[size_t(c)];
  checked_file_close(map);
}

void read_aq_env_file(aq_env_record& r, model_state& m) {
  if (m.silent_mode != 1) message_out("Reading the aquatic environment file %s.\n", r.aq_env_file.c_str());
  checked_file f;
  if (!checked_file_open(f, r.aq_env_file.c_str(), 'r')) {
    set_error(76, "", r.aq_env_file);
    return;
  }
  aq_env_lines lines(f);
  if (!lines.next() || std::strncmp(lines.line(), magic, magic_length) != 0) {
    set_error(77, magic, r.aq_env_file);
    return;
  }
  scan_maps(lines, r);
  if (!scan_num_ids(lines, r)) {
    malformed(r, lines.number, "the file ends without a NUM_IDS line");
    return;
  }
  if (r.num_ids < 0 || r.num_ids > largest_num_ids) {
    malformed(r, lines.number, "NUM_IDS is not between 0 and 1000000");
    return;
  }
  checked_array_destroy(r.id_rows);
  checked_array_grow_records(r.id_rows, r.num_ids);
  if (r.id_rows.data) r.id_rows.data[0] = aq_env_row();
  lines.next();  // the column headings
  if (!read_params(lines, r) && error_state.error_code != 78) return;
  read_aq_env_index_map(r, m);
}

void read_aq_env_stream_map(aq_env_record& r, model_state& m) {
  r.st_index.assign(size_t(m.chan_slot_count), 1);
  if (r.st_map_file.empty()) return;
  stream_network_shape shape;
  shape.nlinks = m.nlinks;
  shape.max_nodes = m.chan_node_extent - 1;
  shape.nx = &m.nx;
  std::vector<int32_t> ids = r.st_index;
  const int result = read_stream_map(r.st_map_file, shape, &ids, nullptr, 0);
  if (result == -1) return;  // no stream map: every node keeps ID 1
  if (result < 0) {
    set_error(stream_map_error_code(result), "", r.st_map_file);
    return;
  }
  r.st_index = ids;
}

}  // namespace pluvo
