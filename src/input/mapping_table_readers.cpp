// Readers that turn one table of the mapping-table file into model data: the generic reader of
// plain value columns and the variants whose blocks carry counts, classes or sections of their own.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "common/time_series.hpp"
#include "input/ascii_map.hpp"
#include "input/mapping_table_io.hpp"
#include "input/mapping_tables.hpp"
#include "record/model_state.hpp"

namespace pluvo {

map_table_target map_table_target_of(model_state& m) {
  map_table_target t;
  t.grid_north = &m.grid_north;
  t.grid_south = &m.grid_south;
  t.grid_east = &m.grid_east;
  t.grid_west = &m.grid_west;
  t.grid_rows = &m.grid_rows;
  t.grid_cols = &m.grid_cols;
  t.cell_number_grid = &m.cell_number_grid;
  t.project_rows = m.project_rows;
  t.project_cols = m.project_cols;
  t.summary_fp = m.summary_fp.stream;
  t.silent_mode = m.silent_mode;
  return t;
}

namespace {

void report_code(int code, const std::string& kind, const std::string& name) {
  set_error(code, kind, name);
  report_error(error_state);
}

// The rows of one table: ids in file order and their values, row-major.
struct table_rows {
  int columns = 0;
  std::vector<int32_t> ids;
  std::vector<double> data;
  int max_id = 0;
  double value(size_t r, int c) const { return data[r * size_t(columns) + size_t(c)]; }
};

}  // namespace

bool count_within(int count, int limit, const char* keyword, const std::string& path) {
  if (count <= limit) return true;
  stop_run("Error: %s %d in the mapping-table file %.1023s exceeds the limit %d\n", keyword, count, path.c_str(),
           limit);
  return false;
}

namespace {

// Reads n rows; an unreadable row keeps what was read. Ids fit in six columns, so the largest
// id (999999) bounds the arrays sized by id.
void read_table_rows(checked_file& file, int n, int columns, table_rows& rows) {
  rows.columns = columns;
  rows.ids.assign(size_t(n), 0);
  rows.data.assign(size_t(n) * size_t(columns), 0.0);
  rows.max_id = 0;
  for (int r = 0; r < n; ++r) {
    read_index_table(file, rows.ids[size_t(r)], columns, rows.data.data() + size_t(r) * size_t(columns));
    rows.max_id = std::max(rows.max_id, rows.ids[size_t(r)]);
  }
}

// One column gathered by id: later rows win, rows with an id below 1 take no part.
std::vector<double> values_by_id(const table_rows& rows, int column) {
  std::vector<double> v(size_t(rows.max_id) + 1, 0.0);
  for (size_t r = 0; r < rows.ids.size(); ++r)
    if (rows.ids[r] >= 1) v[size_t(rows.ids[r])] = rows.value(r, column);
  return v;
}

// 0 when the index map does not open (error 65, reported); 1 when it was read, even when
// read_index_map reported an error (the run then stops after the phase).
int read_table_index_map(const map_table_target& t, const std::string& file_name, int max_id, int min_id,
                         index_grid& ids) {
  checked_file map;
  if (!checked_file_open(map, file_name.c_str(), 'r')) {
    report_code(65, "", file_name);
    return 0;
  }
  read_index_map(map, file_name, t, ids, max_id, min_id);
  return 1;
}

void spread(std::vector<double>* out, const table_rows& rows, int column, const index_grid& ids,
            const map_table_target& t) {
  if (out) map_values_to_cells(*out, values_by_id(rows, column), ids, *t.cell_number_grid);
}

// Reads the lines between NUM_IDS and the rows (and may widen the rows); false stops the read.
using before_rows_step = std::function<bool(checked_file& file, int& columns)>;

struct table_read_plan {
  int id = 0;
  int columns = 0;
  bool load_series_index = true;
  int min_map_id = 1;                // wells and wetlands use 0 for cells without one
  int map_bound = 0;                 // index-map bound; 0: the table's largest id
  before_rows_step before_rows;      // default: the column-header line
};

// The shared steps: open, seek, NUM_IDS, the lines before the rows, the rows and the index map.
// 1 when the table and its map were read, 0 after a reported error.
int read_table_and_map(const map_table_target& t, const std::string& path, const table_read_plan& plan,
                       table_rows& rows, index_grid& ids) {
  if (plan.load_series_index && !time_series_index_loaded) load_time_series_index(path);
  checked_file file;
  if (!open_mapping_table_file(file, path)) return 0;
  std::string map_file;
  int n = 0;
  if (seek_map_table(file, plan.id, map_file)) n = read_num_ids(file);
  if (n == 0) {
    report_code(66, map_table_card_name(plan.id), "");
    return 0;
  }
  if (!count_within(n, largest_row_count, "NUM_IDS", path)) return 0;
  int columns = plan.columns;
  if (plan.before_rows) {
    if (!plan.before_rows(file, columns)) return 0;
  } else {
    skip_table_header_line(file);
  }
  read_table_rows(file, n, columns, rows);
  const int bound = plan.map_bound > 0 ? plan.map_bound : rows.max_id;
  return read_table_index_map(t, map_file, bound, plan.min_map_id, ids);
}

}  // namespace

int read_index_map_table(const map_table_target& t, const std::string& path, int id, const table_outputs& outputs,
                         int precip_conc_count, std::vector<double>* precip_conc) {
  table_read_plan plan;
  plan.id = id;
  plan.columns = map_table_value_columns(id);
  if (precip_conc_count > 0 && precip_conc) {
    plan.before_rows = [&](checked_file& file, int&) {
      line_buffer line;
      if (!read_line(line.data(), file)) return true;
      if (std::strncmp(line.data(), "PRECIP_CONC", 11) != 0) return true;  // that was the header line
      if (precip_conc->size() < size_t(precip_conc_count) + 1) precip_conc->resize(size_t(precip_conc_count) + 1);
      char* rest = line.data() + 11;
      for (int k = 1; k <= precip_conc_count; ++k) {
        double v = 0.0;
        next_double(rest, v);
        (*precip_conc)[size_t(k)] = v;
      }
      read_line(line.data(), file);  // the column-header line
      return true;
    };
  }
  table_rows rows;
  index_grid ids;
  if (!read_table_and_map(t, path, plan, rows, ids)) return 0;
  for (int c = 0; c < std::min(rows.columns, max_generic_columns); ++c) spread(outputs[size_t(c)], rows, c, ids, t);
  return 1;
}

namespace {

// Tables whose NUM_IDS line is followed by a count of per-class columns (size classes, contaminants)
// that must equal the model's; the fixed columns come first, then one column per class.
int read_counted_table(const map_table_target& t, const std::string& path, int id, int (*read_count)(checked_file&),
                       int expected, const std::function<void(int found)>& report_mismatch,
                       const std::vector<std::vector<double>*>& fixed, const std::vector<std::vector<double>*>& per_class) {
  const int fixed_columns = int(fixed.size());
  table_read_plan plan;
  plan.id = id;
  plan.before_rows = [&](checked_file& file, int& columns) {
    const int k = read_count(file);
    if (k != expected) {
      error_state.error_arg1 = expected;
      error_state.error_arg2 = k;
      report_mismatch(k);
      return false;
    }
    skip_table_header_line(file);
    columns = fixed_columns + k;
    return true;
  };
  table_rows rows;
  index_grid ids;
  if (!read_table_and_map(t, path, plan, rows, ids)) return 0;
  for (int c = 0; c < fixed_columns; ++c) spread(fixed[size_t(c)], rows, c, ids, t);
  for (int k = 1; k <= expected && size_t(k) <= per_class.size(); ++k)
    spread(per_class[size_t(k - 1)], rows, fixed_columns - 1 + k, ids, t);
  return 1;
}

}  // namespace

int read_soil_erosion_table(const map_table_target& t, const std::string& path,
                            const std::array<std::vector<double>*, 5>& outputs,
                            const std::vector<std::vector<double>*>& class_fractions, int num_sed_classes) {
  return read_counted_table(t, path, map_table::soil_erosion, read_num_sed, num_sed_classes,
                            [](int) { report_code(91, "", ""); }, {outputs.begin(), outputs.end()},
                            class_fractions);
}

int read_bmp_map_table(const map_table_target& t, const std::string& path,
                       const std::array<std::vector<double>*, 10>& outputs,
                       const std::vector<std::vector<double>*>& contaminant_outputs, int contaminant_count) {
  return read_counted_table(
      t, path, map_table::bmps, read_num_con, contaminant_count,
      [&](int found) {
        stop_run("Error: The BMPS table of the mapping-table file gives NUM_CON %d, but the model has %d "
                 "contaminants. The values must match.\n",
                 found, contaminant_count);
      },
      {outputs.begin(), outputs.end()}, contaminant_outputs);
}

int read_gw_boundary_table(const map_table_target& t, const std::string& path) {
  table_read_plan plan;
  plan.id = map_table::wells;
  plan.columns = 3;
  plan.min_map_id = 0;                  // 0: the cell has no well
  plan.map_bound = std::numeric_limits<int>::max();  // a well id without a row is named by the well check
  table_rows rows;
  index_grid ids;
  if (!read_table_and_map(t, path, plan, rows, ids)) return 0;
  std::vector<well_cell_entry> table;   // newest first, so the last row of an id is found
  std::vector<int32_t> table_ids;
  for (size_t r = 0; r < rows.ids.size(); ++r) {
    well_cell_entry e;
    const double kind = rows.value(r, 0);
    if (kind == 0.0) {
      e.rate = rows.value(r, 1);
    } else {
      e.from_series = int32_t(kind);
      e.series_index = int32_t(rows.value(r, 1));
    }
    table.insert(table.begin(), e);
    table_ids.insert(table_ids.begin(), rows.ids[r]);
  }
  const grid<int>& mask = *t.cell_number_grid;
  for (int i = 1; i <= ids.rows; ++i)
    for (int j = 1; j <= ids.cols; ++j) {
      const int id = ids.at(i, j);
      if (id == 0) continue;
      size_t e = 0;
      while (e < table_ids.size() && table_ids[e] != id) ++e;
      if (e == table_ids.size()) {
        stop_run("Error: A well was found in the index map (cell [%d,%d]) that \n  was not found in the well "
                 "table.\n",
                 i, j);
        return 0;
      }
      well_cell_entry cell = table[e];
      cell.cell = mask(i, j);
      well_cell_list.insert(well_cell_list.begin(), cell);
    }
  return 1;
}

int read_wetland_table(const map_table_target& t, const std::string& path, int& wetland_count,
                       std::vector<std::array<double, 8>>& wetlands, std::vector<int32_t>& wetland_number) {
  table_read_plan plan;
  plan.id = map_table::wetlands;
  plan.columns = 7;
  plan.load_series_index = false;
  plan.min_map_id = 0;  // 0: the cell is no wetland
  table_rows rows;
  index_grid ids;
  if (!read_table_and_map(t, path, plan, rows, ids)) return 0;
  if (error_state.error_terminate) return 0;
  int largest = 0;
  for (int id : ids.ids) largest = std::max(largest, id);
  // Wetlands are numbered in row-major order of their first cell.
  std::vector<int> number(size_t(largest) + 1, 0);
  int count = 0;
  for (int id : ids.ids)
    if (id >= 1 && number[size_t(id)] == 0) number[size_t(id)] = ++count;
  const int n = int(rows.ids.size());
  if (count != n) {
    error_state.error_arg1 = count;
    error_state.error_arg2 = n;
    report_code(67, "", "");
    return 0;
  }
  wetland_count = count;
  if (largest > 300) {
    report_code(68, "", "");
    return 0;
  }
  wetlands.assign(size_t(largest) + 1, std::array<double, 8>{});
  for (size_t r = 0; r < rows.ids.size(); ++r) {
    const int32_t id = rows.ids[r];
    // A row that no cell uses would otherwise land on record 0 or beyond the records.
    if (id < 1 || id > largest || number[size_t(id)] == 0) {
      stop_run("Error: wetland id %d of the WETLAND_PROPERTIES table is not in its index map.\n", id);
      return 0;
    }
    std::array<double, 8>& w = wetlands[size_t(number[size_t(id)])];
    w[0] = rows.value(r, 0) / 1000.0;
    w[1] = rows.value(r, 1) / 1000.0;
    w[2] = rows.value(r, 2) / 86400.0;
    w[3] = rows.value(r, 3) / 1000.0;
    w[4] = rows.value(r, 4) / 86400.0;
    w[5] = 0.0;
    w[6] = rows.value(r, 5);
    w[7] = rows.value(r, 6) / 1000.0;
  }
  const grid<int>& mask = *t.cell_number_grid;
  for (int i = 1; i <= ids.rows; ++i)
    for (int j = 1; j <= ids.cols; ++j) {
      const int k = mask(i, j);
      if (k <= 0 || size_t(k) >= wetland_number.size()) continue;
      wetland_number[size_t(k)] = number[size_t(ids.at(i, j))];
    }
  return 1;
}

int read_sediments_table(const map_table_target&, const std::string& path, int& count,
                         std::vector<double>& spec_grav, std::vector<double>& part_diam,
                         std::vector<std::string>& file_names, std::vector<double>& f_bind) {
  count = 0;
  checked_file file;
  if (!open_mapping_table_file(file, path)) return 0;
  if (!seek_sediments_block(file)) return 0;
  const int s = read_num_sed(file);
  if (!count_within(s, largest_class_count, "NUM_SED", path)) return 0;
  count = s;
  if (s == 0) return 0;  // the caller decides what a missing table means
  spec_grav.assign(size_t(s) + 1, 0.0);
  part_diam.assign(size_t(s) + 1, 0.0);
  f_bind.assign(size_t(s) + 1, 0.0);
  file_names.assign(size_t(s) + 1, std::string());
  line_buffer line;
  read_line(line.data(), file);  // column header
  for (int k = 1; k <= s; ++k) {
    if (!read_line(line.data(), file)) break;
    constexpr size_t value_column = 40;  // values from column 41
    if (std::strlen(line.data()) <= value_column) continue;
    char* rest = line.data() + value_column;
    next_double(rest, spec_grav[size_t(k)]);
    next_double(rest, part_diam[size_t(k)]);
    next_double(rest, f_bind[size_t(k)]);
    char token[token_buffer_size];
    if (next_token(rest, token)) file_names[size_t(k)] = token;
  }
  return 1;
}

namespace {

// Reads "KEYWORD value" into out; false when the line is not that keyword.
bool keyword_value(const char* line, const char* keyword, double& out) {
  const size_t len = std::strlen(keyword);
  if (std::strncmp(line, keyword, len) != 0) return false;
  out = std::strtod(line + len, nullptr);
  return true;
}

// "  Checking <description>" padded with dots to 35 characters.
void print_checking(const std::string& description) {
  const std::string dots(description.size() < 35 ? 35 - description.size() : 0, '.');
  message_out("  Checking %s%s", description.c_str(), dots.c_str());
}

struct constituent_lines {
  std::string description, map_name, output_file;
  double precip = 0.0, ov_partition = 0.0, chan_partition = 0.0;
};

// The name line and the three value lines of one constituent. false (after a message) when a
// line is not what it must be: later constituents would otherwise be read from the wrong lines.
bool read_constituent_head(checked_file& file, int k, constituent_lines& c) {
  line_buffer line;
  char token[token_buffer_size];
  if (!read_line(line.data(), file)) return false;
  if (next_token(line.data(), token)) c.description = token;
  // The index-map name keeps its quotes, as INDEX_MAP names do.
  const char* p = line.data();
  while (*p == ' ' || *p == '\t' || *p == ',') ++p;
  const char* q = *p == '"' ? std::strchr(p + 1, '"') : nullptr;
  if (q) {
    c.map_name.assign(p, size_t(q - p) + 1);
    shift_string_left(line.data(), int(q + 1 - line.data()));
  } else if (next_token(line.data(), token)) {
    c.map_name = token;
  }
  if (next_token(line.data(), token)) c.output_file = token;
  struct {
    const char* keyword;
    double* value;
    const char* what;
  } const values[] = {{"PRECIP_CONC", &c.precip, "precip concentration"},
                      {"OV_PARTITION", &c.ov_partition, "overland partition coefficient"},
                      {"CHAN_PARTITION", &c.chan_partition, "channel partition coefficient"}};
  for (const auto& v : values) {
    if (!read_line(line.data(), file) || !keyword_value(line.data(), v.keyword, *v.value)) {
      message_out("Error in reading the %s of constituent #%d\n", v.what, k);
      return false;
    }
    if (v.value != &c.precip) print_checking(c.description);
  }
  return true;
}

const std::string* find_index_map(const std::vector<index_map_entry>& entries, const std::string& name) {
  for (const auto& e : entries)
    if (e.name == name) return &e.file;
  return nullptr;
}

}  // namespace

int read_contaminant_table(const map_table_target& t, const std::string& path, contaminant_tables& c) {
  c.count = 0;
  checked_file file;
  if (!open_mapping_table_file(file, path)) return 0;
  std::vector<index_map_entry> maps;
  {
    line_buffer line;
    read_index_map_section(file, line.data(), maps);
  }
  std::string unused;
  if (!seek_map_table(file, map_table::contaminants, unused)) {
    report_code(69, "", "");
    return 0;
  }
  message_out("\nReading contaminant table...  ");
  const int n = read_num_contam(file);
  message_out("%d contaminants found\n", n);
  if (!count_within(n, largest_class_count, "NUM_CONTAM", path)) return 0;
  c.count = n;
  if (n == 0) return 1;
  const size_t first = c.per_cell[0] ? c.per_cell[0]->size() : 0;
  for (auto* a : c.per_cell)
    if (a) a->resize(first + size_t(n), std::vector<double>(size_t(c.cell_count) + 1, 0.0));
  bool failed = false;
  for (int k = 1; k <= n; ++k) {
    constituent_lines head;
    if (!read_constituent_head(file, k, head)) {
      failed = true;
      break;
    }
    c.descriptions.push_back(head.description);
    c.output_file_names.push_back(head.output_file);
    if (c.precip_conc) c.precip_conc->push_back(head.precip);
    if (c.ov_partition_coef) c.ov_partition_coef->push_back(head.ov_partition);
    if (c.chan_partition_coef) c.chan_partition_coef->push_back(head.chan_partition);
    const std::string* map_file = find_index_map(maps, head.map_name);
    if (!map_file) {
      message_out("unable to match index map\n");
      failed = true;
      continue;  // the next line is taken as the next constituent's name line
    }
    const int rows_n = read_num_ids(file);
    if (rows_n == 0) continue;
    if (!count_within(rows_n, largest_row_count, "NUM_IDS", path)) return 0;
    skip_table_header_line(file);
    table_rows rows;
    read_table_rows(file, rows_n, 8, rows);
    index_grid ids;
    checked_file map;
    if (!checked_file_open(map, map_file->c_str(), 'r')) {
      message_out("unable to open index map file.\n");
      report_code(65, "", *map_file);
      return 0;
    }
    if (!read_index_map(map, *map_file, t, ids, rows.max_id, 1)) return 0;
    // A row that no cell uses points at a map that does not go with this table.
    for (int32_t id : rows.ids)
      if (id >= 1 && std::find(ids.ids.begin(), ids.ids.end(), id) == ids.ids.end()) {
        stop_run("Error: contaminant table id %d of constituent #%d is not in its index map %.1023s\n", id, k,
                 map_file->c_str());
        return 0;
      }
    for (int col = 0; col < 8; ++col)
      if (c.per_cell[size_t(col)]) {
        std::vector<double>& row = (*c.per_cell[size_t(col)])[first + size_t(k - 1)];
        map_values_to_cells(row, values_by_id(rows, col), ids, *t.cell_number_grid);
      }
    message_out("found and read index map\n");
  }
  if (failed) {
    report_code(69, "", "");
    return 0;
  }
  return 1;
}

void find_richards_index_map(const std::string& path, int richards_scheme, std::string& index_map_file) {
  index_map_file.clear();
  if (richards_scheme != 1 && richards_scheme != 2) return;
  checked_file file;
  if (!checked_file_open(file, path.c_str(), 'r')) return;
  seek_map_table(file, richards_scheme == 1 ? map_table::richards_brooks : map_table::richards_havercamp,
                 index_map_file);
}

namespace {

// Seeks id, reads its index map into the soil-type grid and hands the positioned file to reader.
// missing_code: the error of an index map that does not open (0: a message of its own).
int read_soil_block(model_state& m, int id, int missing_code, const char* what, const soil_block_reader& reader) {
  checked_file file;
  if (!open_mapping_table_file(file, m.mapping_table_path)) return 0;
  std::string map_file;
  seek_map_table(file, id, map_file);
  checked_file map;
  if (!checked_file_open(map, map_file.c_str(), 'r')) {
    error_state.error_file_name = map_file;
    if (missing_code) {
      report_code(missing_code, "", map_file);
    } else {
      stop_run("Error: unable to open the %s soil-type index map %.1023s\n", what, map_file.c_str());
    }
    return -1;
  }
  read_ascii_map(map, map_file.c_str(), 4, m.grid_north, m.grid_south, m.grid_east, m.grid_west, m.grid_rows,
                 m.grid_cols, m.cell_number_grid, nullptr, nullptr, &m.soiltype, m.project_rows, m.project_cols,
                 m.silent_mode);
  checked_file_close(map);
  return reader(file);
}

}  // namespace

int read_layered_soil_map_table(model_state& m, int richards_scheme, const soil_block_reader& reader) {
  if (richards_scheme != 1 && richards_scheme != 2) return 0;
  const int id = richards_scheme == 1 ? map_table::richards_brooks : map_table::richards_havercamp;
  return read_soil_block(m, id, 132, "Richards", reader);
}

int read_multilayer_ga_table(model_state& m, const soil_block_reader& reader, const std::string* problem) {
  return read_soil_block(m, map_table::multi_layer_soil, 136, "multi-layer", [&](checked_file& file) {
    const int result = reader(file);
    if (result < 1)
      stop_run("%s\nProblems in your multi layer G&A table \nPLUVO termanating \n", problem ? problem->c_str() : "");
    return result;
  });
}

int read_permafrost_soil_table(model_state& m, const soil_block_reader& reader) {
  return read_soil_block(m, map_table::permafrost_soil, 0, "permafrost", reader);
}

int read_rating_curves(const std::string& path, int cell_count, const std::vector<int32_t>& boundary_type,
                       const std::vector<double>& ov_bound_input, const elevation_series_finder& find_series,
                       std::vector<rating_curve_record>& ov_rating_curves) {
  ov_rating_curves.assign(size_t(cell_count) + 1, rating_curve_record{});
  bool any = false;
  for (int k = 1; k <= cell_count && size_t(k) < boundary_type.size(); ++k)
    any = any || boundary_type[size_t(k)] == 6 || boundary_type[size_t(k)] == 7;
  if (!any) return 1;
  // The file is read once: the rows by id, the last row of an id standing.
  checked_file file;
  if (!open_mapping_table_file(file, path)) return 0;
  std::map<int32_t, std::string> names;
  if (seek_rating_curves_block(file)) {
    const int n = read_num_ids(file);
    skip_table_header_line(file);
    line_buffer line;
    for (int r = 0; r < n; ++r) {
      int32_t id = 0;
      if (!read_line(line.data(), file) || !read_row_id(line.data(), id)) return 0;
      char token[token_buffer_size] = {};
      if (std::strlen(line.data()) > 6) next_token(line.data() + 6, token);
      names[id] = token;
    }
  }
  for (int k = 1; k <= cell_count && size_t(k) < boundary_type.size(); ++k) {
    if (boundary_type[size_t(k)] != 6 && boundary_type[size_t(k)] != 7) continue;
    const double input = size_t(k) < ov_bound_input.size() ? ov_bound_input[size_t(k)] : 0.0;
    const auto row = names.find(int32_t(input));
    if (row == names.end()) continue;
    const int series = find_series(row->second.c_str());
    if (series < 0) {
      report_code(86, "", "");
      return 0;
    }
    ov_rating_curves[size_t(k)].elevation_series = series;
  }
  return 1;
}

}  // namespace pluvo
