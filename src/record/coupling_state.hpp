#pragma once
// The records of the coupling files: the XY boundary inputs a nested (inset) run imposes, the XY
// outputs an outer run writes for it, and the Q4 water-quality segment fluxes.
#include <cstdint>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/grid.hpp"

namespace pluvo {

struct time_series;

// A boundary point: a cell number (cell-form files) or x and y (coordinate-form files), and
// its series in the process-wide time-series list.
struct xy_point {
  int32_t cell = 0;
  double x = 0.0;
  double y = 0.0;
  time_series* series = nullptr;
};

// A stream input; fixed when its file gave the link and node, so matching leaves them alone.
struct xy_stream_point {
  int32_t link = 0;
  int32_t node = 0;
  double x = 0.0;
  double y = 0.0;
  time_series* series = nullptr;
  uint8_t fixed = 0;
};

// An interpolated boundary cell: the nearest (at most 5) interpolation points and their weights.
struct xy_interp_cell {
  std::vector<time_series*> series;
  std::vector<double> weights;
  int32_t count = 0;
  int32_t cell = 0;
};

// What the XYBDYINPUT_* cards read. The point counts are the sizes of the point arrays; the
// stream count is the entries of stpts that came from the stream file and are matched.
struct xy_input {
  std::vector<xy_point> ovpts;
  time_series* ov_series_head = nullptr;  // first series of the last overland file read
  time_series* gw_series_head = nullptr;  // and of the last groundwater file
  time_series* st_series_head = nullptr;  // first series of the stream file
  int32_t st_point_count = 0;
  std::vector<xy_point> gwpts;
  std::vector<xy_point> gwInterpSrcPts;
  std::vector<xy_point> ovInterpSrcPts;
  std::vector<xy_stream_point> stpts;
  std::vector<xy_interp_cell> gwInterpPts;
  std::vector<xy_interp_cell> ovInterpPts;
  // The files the cell numbers of ovpts and gwpts came from, named when one lies off the grid.
  std::string ov_points_file;
  std::string gw_points_file;
};

// A point of the XY outputs (or a link crossing of the inset boundary) and the cells it is
// interpolated from.
struct xy_output_point {
  double x = 0.0;
  double y = 0.0;
  int32_t id = 0;
  int32_t link = 0;
  int32_t node = 0;
  int32_t cell_count = 0;
  int32_t cells[4] = {0, 0, 0, 0};
  double weights[4] = {0.0, 0.0, 0.0, 0.0};
  double weight_sum = 0.0;
  int32_t flag = 0;
};

// One side of an edge cell of the inset mask.
struct inset_segment {
  double x1 = 0.0;
  double y1 = 0.0;
  double x2 = 0.0;
  double y2 = 0.0;
  double ux = 0.0;  // unit direction
  double uy = 0.0;
  double length = 0.0;
  int32_t flag = 0;
};

// The inset's mask on its own grid.
struct inset_mask {
  double north = 0.0;
  double west = 0.0;
  double south = 0.0;
  double east = 0.0;
  int32_t rows = 0;
  int32_t cols = 0;
  double cell_size = 0.0;
  grid<int> mask;
  int32_t loaded = 0;
  std::vector<inset_segment> segments;
};

// The XY outputs of an outer run; the selection and the file names are cards of the option
// block (xybdyoutput_*). The writers read the depth, head and discharge from the record.
struct xy_output {
  int32_t gw_on = 0;
  int32_t ov_on = 0;
  int32_t st_on = 0;
  std::vector<xy_output_point> points;
  inset_mask inset;
  std::vector<xy_output_point> crossings;
  checked_file gw_file;
  checked_file ov_file;
  checked_file st_file;
};

// The Q4 segment map and the flows summed into its segments since the last written line.
struct q4_data {
  int32_t segment_count = -1;
  std::vector<int32_t> seg_map;       // per cell 1..N: segment, 0 for none
  std::vector<int32_t> active_array;  // 1..segment_count: 1 when the segment is in the map
  std::vector<double> flux_sum;       // 0..segment_count
  int32_t q4_step_count = 0;
  checked_file flux_file;
  int32_t pair_count = 0;
  std::vector<int32_t> link;  // 0..pair_count - 1
  std::vector<int32_t> node;
  std::vector<int32_t> segment;
  int32_t first_line = 0;  // set when the map is read: the next line takes its day as day 1
  double base_day = 0.0;
};

}  // namespace pluvo
