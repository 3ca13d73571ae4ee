// Gridded output forms and the writer of one gridded series.
#include "output/map_series.hpp"

#include <cstdint>
#include <cstring>

#include "common/error_state.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// Binary datasets are little-endian whatever the machine.
void put_int32(std::FILE* f, int32_t v) {
  const uint32_t u = uint32_t(v);
  const unsigned char b[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
  std::fwrite(b, 1, 4, f);
}

void put_int16(std::FILE* f, int16_t v) {
  const uint16_t u = uint16_t(v);
  const unsigned char b[2] = {uint8_t(u), uint8_t(u >> 8)};
  std::fwrite(b, 1, 2, f);
}

void put_double(std::FILE* f, double v) {
  uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  unsigned char b[8];
  for (int i = 0; i < 8; i++) b[i] = uint8_t(u >> (8 * i));
  std::fwrite(b, 1, 8, f);
}

bool active(const grid<int32_t>& mask, int r, int c) { return mask(r, c) != 0; }

// Each dataset header failure stops the run with the path named.
bool open_dataset(const std::string& path, checked_file& file, const char* mode) {
  if (checked_file_open(file, path.c_str(), mode)) return true;
  set_error(59, "", path);
  return false;
}

}  // namespace

void write_ascii_grid_header(std::FILE* f, const grid<int32_t>& mask, double north, double south, double east,
                             double west, int rows, int cols, const double* values, double cell_size) {
  std::fprintf(f, "ncols \t%d\n", cols);
  std::fprintf(f, "nrows \t%d\n", rows);
  std::fprintf(f, "xllcenter %9.2lf\n", (east < west ? east : west) + cell_size / 2.0);
  std::fprintf(f, "yllcenter %9.2lf\n", (north < south ? north : south) + cell_size / 2.0);
  std::fprintf(f, "cellsize %9.2lf\n", cell_size);
  std::fprintf(f, "NODATA_value -9999.99\n");
  int k = 0;
  for (int r = 1; r <= rows; r++) {
    for (int c = 1; c <= cols; c++)
      std::fprintf(f, "%6.4lf ", active(mask, r, c) ? values[++k] : ascii_grid_nodata);
    std::fputc('\n', f);
  }
}

void write_grass_bounds(std::FILE* f, double north, double south, double east, double west, int rows, int cols) {
  std::fprintf(f, "north: %9.2lf\n", north);
  std::fprintf(f, "south: %9.2lf\n", south);
  std::fprintf(f, "east: %9.2lf\n", east);
  std::fprintf(f, "west: %9.2lf\n", west);
  std::fprintf(f, "rows: %5d\n", rows);
  std::fprintf(f, "cols: %5d\n", cols);
}

void write_grass_header(std::FILE* f, const grid<int32_t>& mask, double north, double south, double east,
                        double west, int rows, int cols, const double* values) {
  write_grass_bounds(f, north, south, east, west, rows, cols);
  int k = 0;
  for (int r = 1; r <= rows; r++) {
    for (int c = 1; c <= cols; c++) std::fprintf(f, "%lf ", active(mask, r, c) ? values[++k] : 0.0);
    std::fputc('\n', f);
  }
}

bool write_ascii_dataset_header(const std::string& path, checked_file& file, int object_id, const std::string& name,
                                int rows, int cols) {
  if (!open_dataset(path, file, "w")) return false;
  std::FILE* f = file.stream;
  std::fprintf(f, "DATASET\n");
  std::fprintf(f, "OBJTYPE grid2d\n");
  std::fprintf(f, "BEGSCL\n");
  std::fprintf(f, "OBJID %d\n", object_id);
  std::fprintf(f, "ND %d\n", rows * cols);
  std::fprintf(f, "NC %d\n", rows * cols);
  std::fprintf(f, "NAME %s\n", name.c_str());
  return true;
}

bool write_binary_dataset_header(const std::string& path, checked_file& file, int object_id, const std::string& name,
                                 int rows, int cols) {
  if (!open_dataset(path, file, "wb")) return false;
  std::FILE* f = file.stream;
  const int32_t head[] = {3000, 100, 4, 110, 8, 120, 2, 130, 160, object_id, 170, rows * cols, 180, rows * cols, 190};
  for (int32_t v : head) put_int32(f, v);
  // The name field is 40 bytes: the name, cut at 40, padded with zero bytes.
  char text[40] = {};
  std::memcpy(text, name.data(), name.size() < sizeof text ? name.size() : sizeof text);
  std::fwrite(text, 1, sizeof text, f);
  return true;
}

void write_dataset_header(int object_id, const std::string& path, const std::string& name, checked_file& file,
                          const model_state& m) {
  if (m.map_output_type2)
    write_binary_dataset_header(path, file, object_id, name, m.grid_rows, m.grid_cols);
  else if (!m.map_type_zero_on)
    write_ascii_dataset_header(path, file, object_id, name, m.grid_rows, m.grid_cols);
}

void write_map_step_record(std::FILE* f, double time, int rows, int cols, const grid<int32_t>& mask,
                           const double* values, bool binary) {
  if (binary) {
    put_int32(f, 200);
    put_int16(f, 1);
    put_double(f, time);
    for (int r = 1; r <= rows; r++)
      for (int c = 1; c <= cols; c++) put_int16(f, active(mask, r, c) ? 1 : 0);
    int k = 0;
    for (int r = 1; r <= rows; r++)
      for (int c = 1; c <= cols; c++) put_double(f, active(mask, r, c) ? values[++k] : 0.0);
    return;
  }
  std::fprintf(f, "TS 1 %lf\n", time);
  for (int r = 1; r <= rows; r++)
    for (int c = 1; c <= cols; c++) std::fprintf(f, "%d\n", active(mask, r, c) ? 1 : 0);
  int k = 0;
  for (int r = 1; r <= rows; r++)
    for (int c = 1; c <= cols; c++) std::fprintf(f, "%lf\n", active(mask, r, c) ? values[++k] : 0.0);
}

void write_dataset_end(std::FILE* f, bool binary) {
  if (binary)
    put_int32(f, 210);
  else
    std::fprintf(f, "ENDDS\n");
}

std::string directory_prefix(const std::string& directory) {
  if (directory.empty() || directory.back() == '/' || directory.back() == '\\') return directory;
  return directory + "/";
}

void map_series_writer_init(map_series_writer& w) {
  w = map_series_writer();
}

void place_map_on_grid(map_series_writer& w, const double* values, const model_state& m) {
  map_series_writer_init(w);
  w.values = values;
  w.cell_map = &m.cell_number_grid;
  w.north = m.grid_north;
  w.south = m.grid_south;
  w.east = m.grid_east;
  w.west = m.grid_west;
  w.rows = m.grid_rows;
  w.cols = m.grid_cols;
  w.cell_size = m.cell_size;
}

int map_series_output_type(const model_state& m) {
  if (m.map_type_zero_on) return 1;
  return m.map_output_type2 ? 3 : 2;
}

void size_cell_array(std::vector<double>& v, const model_state& m) {
  const size_t n = size_t(m.cell_count) + 1;
  if (v.size() < n) v.assign(n, 0.0);
}

void map_series_writer_open(map_series_writer& w, int output_type, const std::string& name, const char* extension,
                            const char* dataset_extension, int series_number, const std::string& dataset_name,
                            model_state&) {
  w.output_type = output_type;
  w.name = name;
  w.extension = extension ? extension : "";
  w.dataset_extension = dataset_extension ? dataset_extension : "";
  w.series_number = series_number;
  w.dataset_name = dataset_name;
  const int rows = w.rows;
  const int cols = w.cols;
  const std::string path = w.name + w.extension;
  if (output_type == 3)
    write_binary_dataset_header(path, w.file, series_number, dataset_name, rows, cols);
  else if (output_type == 2)
    write_ascii_dataset_header(path, w.file, series_number, dataset_name, rows, cols);
}

void map_series_accumulate(map_series_writer& w) {
  const size_t n = size_t(w.outer_count < 0 ? 0 : w.outer_count) + 1;
  if (w.sum_a.size() < n) w.sum_a.assign(n, 0.0);
  if (w.source_b && w.sum_b.size() < n) w.sum_b.assign(n, 0.0);
  if (w.difference_on && w.difference.size() < n) w.difference.assign(n, 0.0);
  for (int r = 1; r <= w.outer_count; r++) {
    double a = 0.0;
    for (int c = 1; c <= w.inner_count; c++) a += w.source_a[r][c];
    w.sum_a[size_t(r)] = a;
    if (w.source_b) {
      double b = 0.0;
      for (int c = 1; c <= w.inner_count; c++) b += w.source_b[r][c];
      w.sum_b[size_t(r)] = b;
    }
    if (w.difference_on) w.difference[size_t(r)] = w.sum_a[size_t(r)] - (w.source_b ? w.sum_b[size_t(r)] : 0.0);
  }
}

void map_series_write_step(map_series_writer& w, double time) {
  if (w.accumulate_on && w.source_a) map_series_accumulate(w);
  if (!w.cell_map || !w.values) return;
  const grid<int32_t>& mask = *w.cell_map;
  if (w.output_type == 1) {
    char number[16];
    std::snprintf(number, sizeof number, ".%04d", w.file_number);
    const std::string path = directory_prefix(w.name) + w.dataset_name + w.extension + number + w.dataset_extension;
    std::printf("opening file %s\n", path.c_str());
    checked_file grid_file;
    if (!checked_file_open(grid_file, path.c_str(), 'w')) {
      std::printf("Can't open map for writing: %s\n", path.c_str());
      set_error(4000);
      report_error(error_state);
      return;
    }
    write_ascii_grid_header(grid_file.stream, mask, w.north, w.south, w.east, w.west, w.rows, w.cols, w.values,
                            w.cell_size);
    checked_file_close(grid_file);
    w.file_number++;
  } else if ((w.output_type == 2 || w.output_type == 3) && w.file.is_open()) {
    write_map_step_record(w.file.stream, time, w.rows, w.cols, mask, w.values, w.output_type == 3);
  }
}

void map_series_writer_close(map_series_writer& w) {
  if (w.file.is_open() && w.output_type == 1) std::fprintf(w.file.stream, "ENDDS\n");
  const char* names[3] = {"sum_a", "sum_b", "difference"};
  for (int i = 0; i < 3; i++)
    if (w.sums_out_of_range[i]) std::printf("Error: bad range addressed in array %s\n", names[i]);
  w.sum_a.clear();
  w.sum_b.clear();
  w.difference.clear();
  checked_file_close_void(w.file);
}

}  // namespace pluvo
