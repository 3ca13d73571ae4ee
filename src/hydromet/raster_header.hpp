#pragma once
// The six-line header of the ASCII rasters the weather readers take (radar rainfall grids and
// hourly weather grids): a label and a value per line.
#include <cstdint>

#include "common/checked_file.hpp"

namespace pluvo {

struct raster_header {
  int32_t cols = 0;
  int32_t rows = 0;
  double ll_x = 0.0;  // lower-left corner
  double ll_y = 0.0;
  double cell_size = 0.0;
  double nodata = 0.0;
};

// Reads the header lines (labels whatever they say); false when the file ends before them.
bool read_raster_header(checked_file& file, raster_header& h);

}  // namespace pluvo
