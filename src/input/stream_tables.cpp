// The stream mapping-table file, stream map files and the check of which stream tables a file holds.
#include "input/stream_tables.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "input/mapping_table_io.hpp"
#include "input/mapping_tables.hpp"

namespace pluvo {

namespace {

struct stream_keyword {
  const char* keyword;
  int code;
  size_t compared;  // only this many characters are compared
  int columns;
};

// Tried in this order, ROUGHNESS aside.
constexpr stream_keyword stream_keywords[] = {
    {"TVX_N", stream_table::tvx_n, 5, 4},
    {"TVX_P", stream_table::tvx_p, 5, 3},
    {"TVX_OTH", stream_table::tvx_oth, 6, 3},
    {"TVX_C", stream_table::tvx_c, 5, 2},
    {"NUM_IDS", stream_table::num_ids, 7, 0},
    {"ST_INDEX_MAP", stream_table::st_index_map, 9, 0},
    {"DISPERSION", stream_table::dispersion, 5, 1},
};
constexpr stream_keyword roughness_keyword = {"ROUGHNESS", stream_table::roughness, 9, 1};

constexpr const char* stream_file_tag = "PLUVO_STREAM_INDEX_MAP_TABLES";

bool begins(const char* line, const char* prefix, size_t n) { return std::strncmp(line, prefix, n) == 0; }

// The next line is there to be read; a header with nothing after it is no block.
bool more_lines(checked_file& file) {
  const int c = std::fgetc(file.stream);
  if (c == EOF) return false;
  std::ungetc(c, file.stream);
  return true;
}

void report_code(int code, const std::string& kind, const std::string& name) {
  set_error(code, kind, name);
  report_error(error_state);
}

// Every link's node count must fit the stride of the flat arrays before anything is indexed.
bool shape_usable(const stream_network_shape& s) {
  char text[256];
  if (s.nlinks < 0 || s.max_nodes < 0 || !s.nx || s.nx->size() <= size_t(s.nlinks)) {
    std::snprintf(text, sizeof text, "Error: the stream network of %d links has no node count for every link\n",
                  s.nlinks);
    stop_run("%s", text);
    return false;
  }
  for (int l = 1; l <= s.nlinks; ++l) {
    const int n = (*s.nx)[size_t(l)];
    if (n < 0 || n > s.max_nodes) {
      std::snprintf(text, sizeof text, "Error: stream link %d has %d nodes, outside 0 to %d\n", l, n, s.max_nodes);
      stop_run("%s", text);
      return false;
    }
  }
  return true;
}

template <typename T>
void fit_flat(std::vector<T>& v, const stream_network_shape& s) {
  if (v.size() < s.flat_size()) v.resize(s.flat_size(), T());
}

// Every id of the map must name a row of the table (0: no class) before it indexes the values.
bool ids_within_table(const std::vector<int32_t>& ids, const stream_network_shape& s, int max_id,
                      const std::string& map_file) {
  for (int l = 1; l <= s.nlinks; ++l)
    for (int j = 1; j <= (*s.nx)[size_t(l)]; ++j) {
      const int id = ids[s.at(l, j)];
      if (id >= 0 && id <= max_id) continue;
      char text[1400];
      std::snprintf(text, sizeof text, "Error: stream map file %.1023s gives link %d the class id %d, outside 0 to %d\n",
                    map_file.c_str(), l, id, max_id);
      stop_run("%s", text);
      return false;
    }
  return true;
}

}  // namespace

int stream_table_card_code(const char* line) {
  for (const auto& k : stream_keywords)
    if (begins(line, k.keyword, k.compared)) return k.code;
  return 0;
}

int stream_table_line_code(const char* line) {
  if (begins(line, roughness_keyword.keyword, roughness_keyword.compared)) return roughness_keyword.code;
  return stream_table_card_code(line);
}

std::string stream_table_card_label(int code) {
  if (code == roughness_keyword.code) return std::string(roughness_keyword.keyword) + " (Stream)";
  for (const auto& k : stream_keywords)
    if (k.code == code) return std::string(k.keyword) + " (Stream)";
  return std::string();
}

int stream_table_value_columns(int code) {
  if (code == roughness_keyword.code) return roughness_keyword.columns;
  for (const auto& k : stream_keywords)
    if (k.code == code) return k.columns;
  return 0;
}

int seek_stream_table(checked_file& file, int code, std::string& stream_map_file) {
  stream_map_file.clear();
  line_buffer line;
  if (!read_line(line.data(), file) || !begins(line.data(), stream_file_tag, std::strlen(stream_file_tag))) return 0;
  std::vector<index_map_entry> entries;  // newest first: of two equal names the later line wins
  bool ended = !read_line(line.data(), file);
  while (!ended && stream_table_line_code(line.data()) == stream_table::st_index_map) {
    if (begins(line.data(), "ST_INDEX", 8)) entries.insert(entries.begin(), split_index_map_line(line.data()));
    ended = !read_line(line.data(), file);
  }
  while (!ended && stream_table_line_code(line.data()) != code) ended = !read_line(line.data(), file);
  if (ended || !more_lines(file)) return 0;
  const std::string name = header_name(line.data());
  for (const auto& e : entries)
    if (e.name == name) {
      stream_map_file = e.file;
      return 1;
    }
  return 0;
}

int read_stream_num_ids(checked_file& file) { return read_num_ids(file); }

int stream_map_error_code(int result) {
  switch (result) {
    case -1: return 115;
    case -2: return 116;
    case -3: return 117;
    case -4: return 118;
    case -5: return 4000;
    default: return 0;
  }
}

int read_stream_map(const std::string& file_name, const stream_network_shape& shape, std::vector<int32_t>* ids,
                    std::vector<double>* values, int mode) {
  checked_file file;
  if (!checked_file_open(file, file_name.c_str(), 'r')) return -1;
  line_buffer line;
  if (!read_line(line.data(), file) || !begins(line.data(), "STREAM_MAP", 10)) return -2;
  char word[7] = {};
  int links = 0;
  if (std::fscanf(file.stream, "%6s %d", word, &links) != 2 || links != shape.nlinks) return -3;
  if (!shape_usable(shape)) return -5;
  if (mode == 0 && ids) fit_flat(*ids, shape);
  if (mode == 2 && values) fit_flat(*values, shape);
  for (int l = 1; l <= shape.nlinks; ++l) {
    int id = 0;
    double value = 0.0;
    const int got = mode == 0 ? std::fscanf(file.stream, "%d\n", &id) : std::fscanf(file.stream, "%lf\n", &value);
    if (got != 1) return -4;
    for (int j = 1; j <= (*shape.nx)[size_t(l)]; ++j) {
      if (mode == 0 && ids) (*ids)[shape.at(l, j)] = id;
      if (mode == 2 && values) (*values)[shape.at(l, j)] = value;
    }
  }
  return 0;
}

int read_stream_index_map_tables(const std::string& file_name, int code, const stream_table_outputs& outputs,
                                 const stream_network_shape& shape) {
  if (!shape_usable(shape)) return 0;
  checked_file file;
  if (!open_mapping_table_file(file, file_name)) return 0;
  std::string map_file;
  const int n = seek_stream_table(file, code, map_file) ? read_stream_num_ids(file) : 0;
  if (n == 0) {
    report_code(66, stream_table_card_label(code), "");
    return 0;
  }
  if (!count_within(n, largest_row_count, "NUM_IDS", file_name)) return 0;
  const int columns = stream_table_value_columns(code);
  std::vector<int32_t> row_id(size_t(n), 0);
  std::vector<double> data(size_t(n) * size_t(columns), 0.0);
  skip_table_header_line(file);
  int max_id = 0;
  for (int r = 0; r < n; ++r) {
    int32_t id = 0;
    double row[max_generic_columns] = {};
    // An unreadable row gives nothing; ids fit six columns, so they stay small enough to index by.
    if (!read_index_table(file, id, columns, row)) continue;
    row_id[size_t(r)] = id;
    for (int k = 0; k < columns; ++k) data[size_t(r) * size_t(columns) + size_t(k)] = row[k];
    if (id > max_id) max_id = id;
  }
  std::vector<int32_t> ids(shape.flat_size(), 0);
  const int result = read_stream_map(map_file, shape, &ids, nullptr, 0);
  if (result == -5) return 0;  // reported already
  if (result != 0) {
    report_code(stream_map_error_code(result), "", map_file);
    return 0;
  }
  if (!ids_within_table(ids, shape, max_id, map_file)) return 0;
  std::vector<double> by_id(size_t(max_id) + 1, 0.0);
  for (int k = 0; k < columns && k < int(outputs.size()); ++k) {
    std::vector<double>* out = outputs[size_t(k)];
    if (!out) continue;
    fit_flat(*out, shape);
    std::fill(by_id.begin(), by_id.end(), 0.0);
    for (int r = 0; r < n; ++r)  // of two rows with one id, the later wins
      if (row_id[size_t(r)] >= 1) by_id[size_t(row_id[size_t(r)])] = data[size_t(r) * size_t(columns) + size_t(k)];
    for (int l = 1; l <= shape.nlinks; ++l)
      for (int j = 1; j <= (*shape.nx)[size_t(l)]; ++j) {
        const int id = ids[shape.at(l, j)];
        if (id != 0) (*out)[shape.at(l, j)] = by_id[size_t(id)];
      }
  }
  return 1;
}

namespace {

struct stream_check_row {
  int slot;  // position in stream_table_presence: roughness, N, P, other, carbon, dispersion
  int code;
  const char* display;
};

constexpr stream_check_row stream_check_rows[] = {
    {0, stream_table::roughness, "Roughness"},   {1, stream_table::tvx_n, "TVX Nitrogen"},
    {2, stream_table::tvx_p, "TVX Phosphorus"},  {4, stream_table::tvx_c, "TVX Carbon"},
    {3, stream_table::tvx_oth, "TVX Other"},     {5, stream_table::dispersion, "Dispersion"},
};

int check_stream_table(checked_file& file, int code, const char* display, int silent) {
  std::rewind(file.stream);
  std::string map_file;
  int flag = seek_stream_table(file, code, map_file);
  if (flag) {
    checked_file map;
    flag = checked_file_open(map, map_file.c_str(), 'r') ? 1 : 0;
  }
  if (silent != 1) print_table_check_row(display, flag);
  return flag;
}

}  // namespace

void print_stream_index_tables(const std::string& path, int* presence, int silent) {
  checked_file file;
  if (!open_mapping_table_file(file, path)) return;
  if (silent != 1) message_out("\nChecking stream mapping table file...\n");
  for (const auto& row : stream_check_rows) presence[row.slot] = check_stream_table(file, row.code, row.display, silent);
}

}  // namespace pluvo
