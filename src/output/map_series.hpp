#pragma once
// The file forms of gridded outputs: an ASCII grid or a GRASS grid per output time, and ASCII or
// binary datasets holding every output time of one quantity; and the writer of one gridded series.
// Values are given per active cell (1-based, in row-major order of the mask); cells outside the
// mask are written as the form's no-data value.
#include <cstdio>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/grid.hpp"

namespace pluvo {

struct model_state;
struct map_series_writer;

// No-data value of an ASCII grid, in its header and in its cells alike.
constexpr double ascii_grid_nodata = -9999.99;

void write_ascii_grid_header(std::FILE* f, const grid<int32_t>& mask, double north, double south, double east,
                             double west, int rows, int cols, const double* values, double cell_size);
// The six bound lines of a GRASS map; write_grass_header adds the values.
void write_grass_bounds(std::FILE* f, double north, double south, double east, double west, int rows, int cols);
void write_grass_header(std::FILE* f, const grid<int32_t>& mask, double north, double south, double east,
                        double west, int rows, int cols, const double* values);

// Open path into file and write a dataset header; on failure error 59 with the path.
// The counts are rows x cols of the grid.
bool write_ascii_dataset_header(const std::string& path, checked_file& file, int object_id, const std::string& name,
                                int rows, int cols);
bool write_binary_dataset_header(const std::string& path, checked_file& file, int object_id, const std::string& name,
                                 int rows, int cols);
// The header form the run's MAP_TYPE asks for (binary, ASCII, none for numbered grids).
void write_dataset_header(int object_id, const std::string& path, const std::string& name, checked_file& file,
                          const model_state& m);

// One step record of a dataset: the time, a status per grid cell and a value per grid cell.
void write_map_step_record(std::FILE* f, double time, int rows, int cols, const grid<int32_t>& mask,
                           const double* values, bool binary);
// The end of a dataset: "ENDDS" or the binary end code.
void write_dataset_end(std::FILE* f, bool binary);

// A directory value as a path prefix: '/' added unless empty or already ending in a separator.
std::string directory_prefix(const std::string& directory);

void map_series_writer_init(map_series_writer& w);
// A fresh writer over the run's grid (mask, edges, size) and the given per-cell values.
void place_map_on_grid(map_series_writer& w, const double* values, const model_state& m);
// The writer type MAP_TYPE gives: 1 numbered grids (MAP_TYPE 0), 3 binary (2), else 2 ASCII.
int map_series_output_type(const model_state& m);
// A per-cell array sized for every cell (zeros) unless it is already.
void size_cell_array(std::vector<double>& v, const model_state& m);
void map_series_write_step(map_series_writer& w, double time);
void map_series_accumulate(map_series_writer& w);
void map_series_writer_close(map_series_writer& w);

}  // namespace pluvo
