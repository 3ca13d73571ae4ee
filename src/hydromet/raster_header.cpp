#include "hydromet/raster_header.hpp"

#include <vector>

#include "common/line_reader.hpp"

namespace pluvo {

namespace {

// The value after the label of the next line.
bool header_value(checked_file& file, std::vector<char>& line, double& value) {
  if (!read_line(line.data(), file)) return false;
  char label[token_buffer_size];
  next_token(line.data(), label);
  value = 0.0;
  next_double(line.data(), value);
  return true;
}

}  // namespace

bool read_raster_header(checked_file& file, raster_header& h) {
  std::vector<char> line(size_t(line_buffer_size), '\0');
  double v[6] = {};
  for (double& value : v)
    if (!header_value(file, line, value)) return false;
  // Counts beyond what an int holds are nonsense; the callers refuse anything below 1.
  h.cols = v[0] >= 1.0 && v[0] < 2e9 ? int32_t(v[0]) : 0;
  h.rows = v[1] >= 1.0 && v[1] < 2e9 ? int32_t(v[1]) : 0;
  h.ll_x = v[2];
  h.ll_y = v[3];
  h.cell_size = v[4];
  h.nodata = v[5];
  return true;
}

}  // namespace pluvo
