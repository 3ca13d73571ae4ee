// The mapping-table file: keywords, the table search, count, header and row lines, index maps,
// the spreading of values onto cells, the TIME_SERIES_INDEX table and the table check.
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <map>
#include <cstring>
#include <memory>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "common/parallel_fill.hpp"
#include "common/text_numbers.hpp"
#include "common/time_series.hpp"
#include "input/mapping_table_io.hpp"
#include "input/mapping_tables.hpp"
#include "record/model_state.hpp"

namespace pluvo {

int time_series_index_loaded = 0;

namespace {

struct keyword_entry {
  const char* keyword;
  int id;
  int columns;  // values per row in the generic row format, 0 for the others
};

// Tried in this order; the first whose whole keyword begins the line wins, so a keyword that
// begins another (NUM_CONTAM and NUM_CON, GROUNDWATER_BOUNDARY and GROUNDWATER) comes first.
constexpr keyword_entry keywords[] = {
    {"ROUGHNESS", 1, 1},
    {"ROUGH_EXP", 33, 1},
    {"OVR_FLOW_BLOCK", 34, 5},
    {"INTERCEPTION", 2, 2},
    {"RETENTION", 3, 1},
    {"GREEN_AMPT_INFILTRATION", 4, 7},
    {"GREEN_AMPT_INITIAL_SOIL_MOISTURE", 5, 1},
    {"RICHARDS_EQN_INFILTRAIION_HAVERCAMP", 6, 9},  // the misspelling is part of the format
    {"RICHARDS_EQN_INFILTRATION_BROOKS", 7, 11},
    {"EVAPOTRANSPIRATION", 8, 4},
    {"SNOW_CANOPY_INTERCEPTION", 36, 3},
    {"SEDIMENTS", 9, 0},
    {"SOIL_EROSION_PROPS", 10, 5},
    {"MATERIAL_INDEX", 13, 0},
    {"NUM_IDS", 137, 0},
    {"NUM_CONTAM", 139, 0},
    {"NUM_SED", 140, 0},
    {"BMPS", 35, 10},
    {"NUM_CON", 301, 0},
    {"MULTI_LAYER_SOIL", 201, 0},
    {"PERMAFROST_LAYER_SOIL", 203, 0},
    {"RATINGCURVES", 202, 0},
    {"INDEX_MAP", 138, 0},
    {"CONTAMINANT_TRANSPORT", 11, 8},
    {"WETLAND_PROPERTIES", 12, 7},
    {"OVERLAND_BOUNDARY", 14, 2},
    {"GROUNDWATER_BOUNDARY", 18, 1},
    {"TIME_SERIES_INDEX", 15, 1},
    {"WELL_TABLE", 16, 3},
    {"GROUNDWATER", 17, 2},
    {"AREA_REDUCTION", 19, 1},
    {"TVX_N", 20, 4},
    {"TVX_P", 21, 3},
    {"TVX_C", 22, 2},
    {"TVX_OTH", 23, 3},
    {"DISPERSION", 24, 1},
    {"PRECIP_CONC", 50000, 0},
    {"PARTITION", 60000, 0},
    {"OV_PARTITION", 60001, 0},
    {"CHAN_PARTITION", 60002, 0},
    {"TVX_SOIL_C", 25, 2},
    {"TVX_SOIL_N", 26, 5},
    {"TVX_SOIL_P", 27, 6},
    {"TVX_GW_N", 28, 4},
    {"TVX_GW_P", 29, 4},
    {"TVX_GW_OTH", 30, 2},
    {"TVX_SOIL_KM", 31, 6},
    {"TVX_SOIL_KOC", 32, 6},
};

constexpr const char* file_tag = "PLUVO_INDEX_MAP_TABLES";

bool begins_with(const char* line, const char* prefix) {
  return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

// Reads lines until one with table id is the current line; false at the end of the file.
bool find_block(checked_file& file, char* line, int id) {
  do {
    if (map_table_card_id(line) == id) return true;
  } while (read_line(line, file));
  return false;
}

}  // namespace

// INDEX_MAP <file, maybe quoted> <name: the rest of the line, kept exactly>.
index_map_entry split_index_map_line(const char* text) {
  std::string copy(text);
  std::vector<char> line(copy.begin(), copy.end());
  line.push_back(0);
  char token[token_buffer_size];
  next_token(line.data(), token);  // the keyword
  index_map_entry e;
  if (next_token(line.data(), token)) e.file = token;
  e.name = line.data();
  return e;
}

// The header's name: from its second blank-separated token to the end of the line.
std::string header_name(const char* line) {
  const char* p = line;
  auto separator = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
  while (*p && separator(*p)) ++p;
  while (*p && !separator(*p)) ++p;
  while (*p && separator(*p)) ++p;
  return std::string(p);
}

bool read_index_map_section(checked_file& file, char* line, std::vector<index_map_entry>& entries) {
  std::rewind(file.stream);
  if (!read_line(line, file) || !begins_with(line, file_tag)) return false;
  if (!read_line(line, file)) {
    line[0] = 0;
    return true;
  }
  while (map_table_card_id(line) == map_table::index_map) {
    entries.insert(entries.begin(), split_index_map_line(line));
    if (!read_line(line, file)) {
      line[0] = 0;
      break;
    }
  }
  return true;
}

namespace {

int count_after(checked_file& file, const char* keyword) {
  line_buffer line;
  if (!read_line(line.data(), file) || !begins_with(line.data(), keyword)) return 0;
  const long n = std::strtol(line.data() + std::strlen(keyword), nullptr, 10);
  // A negative count reads as none; one beyond int stays beyond every limit the readers check.
  return n > 0 ? int(std::min<long>(n, std::numeric_limits<int>::max())) : 0;
}

void print_to_summary(std::FILE* summary, const char* text) {
  if (summary) std::fputs(text, summary);
}

}  // namespace

line_buffer::line_buffer() : text(new char[line_buffer_size]) { text[0] = 0; }

int map_table_card_id(const char* line) {
  for (const auto& k : keywords)
    if (begins_with(line, k.keyword)) return k.id;
  return 0;
}

std::string map_table_card_name(int id) {
  for (const auto& k : keywords)
    if (k.id == id) return k.keyword;
  return std::string();
}

int map_table_value_columns(int id) {
  for (const auto& k : keywords)
    if (k.id == id) return k.columns;
  return 0;
}

int seek_map_table(checked_file& file, int id, std::string& index_map_file) {
  index_map_file.clear();
  line_buffer line;
  std::vector<index_map_entry> entries;
  if (!read_index_map_section(file, line.data(), entries)) return 0;
  if (!find_block(file, line.data(), id)) return 0;
  if (id == map_table::contaminants || id == map_table::time_series_index) return 1;
  const std::string name = header_name(line.data());
  for (const auto& e : entries)
    if (e.name == name) {
      index_map_file = e.file;
      return 1;
    }
  return 0;
}

namespace {

int seek_unnamed_block(checked_file& file, int id) {
  line_buffer line;
  std::rewind(file.stream);
  if (!read_line(line.data(), file) || !begins_with(line.data(), file_tag)) return 0;
  if (!read_line(line.data(), file)) return 0;
  return find_block(file, line.data(), id) ? 1 : 0;
}

}  // namespace

int seek_sediments_block(checked_file& file) { return seek_unnamed_block(file, map_table::sediments); }
int seek_rating_curves_block(checked_file& file) { return seek_unnamed_block(file, map_table::rating_curves); }

int read_num_ids(checked_file& file) { return count_after(file, "NUM_IDS"); }
int read_num_sed(checked_file& file) { return count_after(file, "NUM_SED"); }
int read_num_con(checked_file& file) { return count_after(file, "NUM_CON"); }
int read_num_contam(checked_file& file) { return count_after(file, "NUM_CONTAM"); }

void skip_table_header_line(checked_file& file) {
  line_buffer line;
  while (read_line(line.data(), file) && map_table_card_id(line.data()) != 0) {
  }
}

bool read_row_id(const char* line, int32_t& id) {
  char field[7] = {};
  std::strncpy(field, line, 6);
  char* end = nullptr;
  const long v = std::strtol(field, &end, 10);
  if (end == field) return false;
  id = int32_t(v);
  return true;
}

int read_index_table(checked_file& file, int32_t& id, int count, double* values) {
  line_buffer line;
  if (!read_line(line.data(), file)) return 0;
  return parse_table_row(line.data(), id, count, values);
}

int parse_table_row(const char* line, int32_t& id, int count, double* values) {
  if (!read_row_id(line, id)) return 0;
  constexpr size_t value_column = 86;  // values start at column 87
  if (std::strlen(line) < value_column) return count == 0 ? 1 : 0;
  const char* p = line + value_column;
  for (int v = 0; v < count; ++v) {
    char* end = nullptr;
    const double x = std::strtod(p, &end);
    if (end == p) return 0;
    values[v] = x;
    p = end;
  }
  return 1;
}

bool read_index_map(checked_file& file, const std::string& name, const map_table_target& t, index_grid& ids,
                    int max_id, int min_id) {
  std::FILE* f = file.stream;
  ids.rows = t.project_rows;
  ids.cols = t.project_cols;
  assign_fresh(ids.ids, size_t(std::max(0, ids.rows)) * size_t(std::max(0, ids.cols)), 0);
  std::map<int, int> count;  // sparse: a bound may be far above the ids in use
  char tag[8];
  int rows = 0, cols = 0;
  // Header items are taken by position; their tags are not compared.
  if (std::fscanf(f, "%6s %lf", tag, t.grid_north) != 2 || std::fscanf(f, "%6s %lf", tag, t.grid_south) != 2 ||
      std::fscanf(f, "%5s %lf", tag, t.grid_east) != 2 || std::fscanf(f, "%5s %lf", tag, t.grid_west) != 2 ||
      std::fscanf(f, "%5s %d", tag, &rows) != 2 || std::fscanf(f, "%5s %d", tag, &cols) != 2) {
    set_error(70, "", name);
    report_error(error_state);
    return false;
  }
  *t.grid_rows = rows;
  *t.grid_cols = cols;
  if (rows != t.project_rows || cols != t.project_cols) {
    set_error(rows != t.project_rows ? (cols != t.project_cols ? 72 : 73) : 74, "", name);
    report_error(error_state);
    return false;
  }
  const grid<int>& mask = *t.cell_number_grid;
  const stream_lock held(f);
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) {
      int id = 0;
      const int got = scan_int(f, id);
      if (got != 1) {
        // A map cut short would leave cells without their class: the run must not go on.
        set_error(70, "", name);
        report_error(error_state);
        return false;
      }
      const bool inside = i <= mask.rows() && j <= mask.cols() && mask(i, j) != 0;
      if (!inside) continue;
      if (id > max_id) {
        error_state.error_arg1 = i;
        error_state.error_arg2 = j;
        set_error(71, "", name);
        report_error(error_state);
        return false;
      }
      if (id < min_id) {
        char text[1400];
        std::snprintf(text, sizeof text, "Index ID %d is below %d, file: %.1023s [row %d:col %d]\n", id, min_id,
                      name.c_str(), i, j);
        stop_run("%s", text);
        return false;
      }
      ids.ids[size_t(i - 1) * size_t(cols) + size_t(j - 1)] = id;
      if (id >= 1) ++count[id];
    }
  for (const auto& [id, n] : count) {
    char text[1400];
    std::snprintf(text, sizeof text, "In map %.1023s category %d has %d values\n", name.c_str(), id, n);
    if (t.silent_mode != 1) message_out("%s", text);
    print_to_summary(t.summary_fp, text);
  }
  return true;
}

void map_values_to_cells(std::vector<double>& out, const std::vector<double>& values_by_id, const index_grid& ids,
                         const grid<int>& cell_number_grid) {
  const int rows = std::min(ids.rows, cell_number_grid.rows());
  const int cols = std::min(ids.cols, cell_number_grid.cols());
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) {
      const int k = cell_number_grid(i, j);
      if (k <= 0 || size_t(k) >= out.size()) continue;
      const int id = ids.at(i, j);
      out[size_t(k)] = id >= 1 && size_t(id) < values_by_id.size() ? values_by_id[size_t(id)] : 0.0;
    }
}

int load_time_series_index(const std::string& path) {
  time_series_index_loaded = 1;
  checked_file file;
  if (!open_mapping_table_file(file, path)) return 0;
  std::string unused;
  if (!seek_map_table(file, map_table::time_series_index, unused)) return 1;
  const int n = read_num_ids(file);
  if (n == 0) return 1;
  skip_table_header_line(file);
  line_buffer line;
  for (int r = 0; r < n; ++r) {
    int32_t id = 0;
    if (!read_line(line.data(), file) || !read_row_id(line.data(), id)) {
      message_out("Error: a row of the TIME_SERIES_INDEX table has no id; the rest of the table is not read.\n");
      return 0;
    }
    char token[token_buffer_size] = {};
    if (std::strlen(line.data()) > 6) next_token(line.data() + 6, token);
    message_out("Adding table to list: %s... ", token);
    time_series* series = find_time_series(token);
    message_out(series ? "Success!\n" : "Failure, table not found.\n");
    // Newest first: of two rows with one id, the later row is the one found.
    time_series_index_list.insert(time_series_index_list.begin(), time_series_index_entry{id, series});
  }
  return 1;
}

bool open_mapping_table_file(checked_file& file, const std::string& path) {
  if (checked_file_open(file, path.c_str(), 'r')) return true;
  set_error(64, "", path);
  report_error(error_state);
  return false;
}

namespace {

struct presence_row {
  int id;
  const char* display;
};

// In the order the check runs and prints.
constexpr presence_row presence_rows[] = {
    {1, "Roughness"},
    {33, "Rough_exp"},
    {34, "Ovr_flow_block"},
    {2, "Interception"},
    {3, "Retention"},
    {4, "G&A Infiltration"},
    {5, "G&A Soil Moisture"},
    {201, "Multi layer G&A Infiltration"},
    {6, "Richards Havercamp"},
    {7, "Richards Brooks"},
    {8, "Evapotranspiration"},
    {36, "Snow Canopy Interception"},
    {9, "Sediments"},
    {10, "Sediment Erosion Properties"},
    {11, "Contaminants"},
    {12, "Wetlands"},
    {14, "Overland Boundary"},
    {16, "Groundwater Wells"},
    {17, "Groundwater"},
    {18, "Groundwater Boundary"},
    {19, "Area Reduction"},
    {20, "TVX Nitrogen"},
    {21, "TVX Phosphorus"},
    {23, "TVX Other"},
    {22, "TVX Carbon"},
    {24, "TVX Dispersion"},
    {25, "TVX Soil Carbon"},
    {26, "TVX Soil Nitrogen"},
    {27, "TVX Soil Phosphorus"},
    {28, "TVX Groundwater Nitrogen"},
    {29, "TVX Groundwater Phosphorus"},
    {30, "TVX Groundwater Other"},
    {31, "TVX Soil Km"},
    {32, "TVX Soil Koc"},
    {35, "BMP Point Models"},
};

// The block is there and the line after its header carries a positive count.
int counted_block_present(checked_file& file, int id, const char* count_keyword) {
  std::string unused;
  const int found = id == map_table::sediments ? seek_sediments_block(file) : seek_map_table(file, id, unused);
  if (!found) return 0;
  line_buffer line;
  if (!read_line(line.data(), file)) return 0;
  char token[token_buffer_size];
  if (!next_token(line.data(), token) || std::strcmp(token, count_keyword) != 0) return 0;
  int32_t n = 0;
  return next_int(line.data(), n) && n > 0 ? 1 : 0;
}

// missing_map receives the index-map file of a block whose map does not open.
int check_map_table(const std::string& path, int id, std::string& missing_map) {
  checked_file file;
  if (!checked_file_open(file, path.c_str(), 'r')) return 0;
  if (id == map_table::contaminants) return counted_block_present(file, id, "NUM_CONTAM");
  if (id == map_table::sediments) return counted_block_present(file, id, "NUM_SED");
  std::string index_map;
  if (!seek_map_table(file, id, index_map)) return 0;
  checked_file map;
  if (checked_file_open(map, index_map.c_str(), 'r')) return 1;
  if (missing_map.empty()) missing_map = index_map;
  return 0;
}

}  // namespace

void print_table_check_row(const char* display, int flag) {
  const size_t len = std::strlen(display);
  const std::string dots(len < 35 ? 35 - len : 0, '.');
  message_out("  %s%s%s", display, dots.c_str(), flag ? "Y\n" : "N\n");
}

int presence_slot(int id) { return id == map_table::multi_layer_soil ? 0 : id; }

void check_mapping_tables(const std::string& path, int* presence, int silent) {
  {
    checked_file file;
    if (!open_mapping_table_file(file, path)) return;
  }
  if (silent != 1) message_out("\nChecking 2D grid mapping tables...\n");
  std::string missing_map;
  for (const auto& row : presence_rows) {
    const int flag = check_map_table(path, row.id, missing_map);
    presence[presence_slot(row.id)] = flag;
    if (silent != 1) print_table_check_row(row.display, flag);
  }
  // A table whose index map is missing would leave its cells at defaults without a word.
  if (!missing_map.empty()) {
    set_error(65, "", missing_map);
    report_error(error_state);
  }
}

}  // namespace pluvo
