// XY outputs of an outer run: the depth and head at the points of an inset's boundary (from a
// points file or the inset's mask) and the discharge where stream links cross that boundary,
// written as the files the inset run reads.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/julian.hpp"
#include "common/line_reader.hpp"
#include "input/ascii_map.hpp"
#include "output/output_phases.hpp"
#include "output/series_files.hpp"
#include "output/xy_boundaries.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double min_distance = 0.0001;

// Errors of the set-up go to the error stream and the console.
void say_twice(const char* text) {
  std::fputs(text, stderr);
  std::fputs(text, stdout);
}

bool inside(const xy_grid& g, int row, int col) { return row >= 1 && row <= g.rows && col >= 1 && col <= g.cols; }

void add_cell(xy_output_point& p, const xy_grid& g, int row, int col, double distance) {
  p.cells[p.cell_count] = (*g.cells)(row, col);
  p.weights[p.cell_count] = distance;  // turned into a weight once every cell is known
  p.cell_count++;
}

double centre_distance(const xy_grid& g, int row, int col, double x, double y) {
  const double dx = g.west + (col - 0.5) * g.size - x;
  const double dy = g.north - (row - 0.5) * g.size - y;
  if (std::fabs(dx) < 1e-5 && std::fabs(dy) < 1e-5) return 0.0;
  return std::sqrt(dx * dx + dy * dy);
}

// A point off the active cells takes the single nearest active cell.
void nearest_single_cell(xy_output_point& p, const xy_grid& g) {
  char text[256];
  std::snprintf(text, sizeof text,
                "Warning... an XY output point (x=%8.2lf, y=%8.2lf) is not located in an active cell. \n    The "
                "result will be the value of the single nearest neighbor.\n",
                p.x, p.y);
  say_twice(text);
  double best = 9e16;
  int best_row = 0, best_col = 0;
  for (int r = 1; r <= g.rows; r++)
    for (int c = 1; c <= g.cols; c++) {
      if ((*g.cells)(r, c) <= 0) continue;
      const double d = centre_distance(g, r, c, p.x, p.y);
      if (d < best) {
        best = d;
        best_row = r;
        best_col = c;
      }
    }
  if (best_row == 0) {
    say_twice("Error: unable to find nearest neighbor for out-of-bound x/y value. Something is really messed up "
              "with your input. Reverting to cell id 1.\n");
    p.cells[0] = 1;
    p.weights[0] = 1.0;
    p.cell_count = 1;
    return;
  }
  add_cell(p, g, best_row, best_col, 1.0);
}

}  // namespace

int grid_cell_of_xy(const xy_grid& g, double x, double y) {
  int bits = 0;
  if (std::fmod(x - g.west, g.size) / g.size >= 0.5) bits |= 1;
  if (std::fmod(g.north - y, g.size) / g.size >= 0.5) bits |= 2;
  return bits;
}

void locate_xy_point(xy_output_point& p, const xy_grid& g) {
  p.cell_count = 0;
  const int col = int(std::floor((p.x - g.west) / g.size)) + 1;
  const int row = int(std::floor((g.north - p.y) / g.size)) + 1;
  if (inside(g, row, col) && (*g.cells)(row, col) > 0) {
    const int bits = grid_cell_of_xy(g, p.x, p.y);
    const int row_up[] = {-1, -1, 0, 0}, row_down[] = {0, 0, 1, 1};
    const int col_left[] = {-1, 0, -1, 0}, col_right[] = {0, 1, 0, 1};
    const int* dr = bits & 2 ? row_down : row_up;
    const int* dc = bits & 1 ? col_right : col_left;
    for (int k = 0; k < 4; k++) {
      const int r = row + dr[k], c = col + dc[k];
      if (inside(g, r, c) && (*g.cells)(r, c) > 0) add_cell(p, g, r, c, centre_distance(g, r, c, p.x, p.y));
    }
  } else {
    nearest_single_cell(p, g);
  }
  if (p.cell_count == 1) {
    p.weights[0] = 1.0;
    p.weight_sum = 1.0;
    return;
  }
  p.weight_sum = 0.0;
  for (int k = 0; k < p.cell_count; k++) {
    const double d = std::max(p.weights[k], min_distance);
    p.weights[k] = 1.0 / (d * d);
    p.weight_sum += p.weights[k];
  }
}

double xy_point_value(const xy_output_point& p, const double* values) {
  double sum = 0.0;
  for (int k = 0; k < p.cell_count; k++) sum += values[p.cells[k]] * p.weights[k];
  return sum / p.weight_sum;
}

void read_xy_output_points(std::vector<xy_output_point>& points, const std::string& name) {
  checked_file f;
  if (name.empty() || !checked_file_open(f, name.c_str(), 'r')) {
    if (name.empty()) std::printf("Error: filename for XY Output File not specified.\n");
    else std::printf("Error: unable to open the xy output file %s.\n", name.c_str());
    return;
  }
  std::vector<char> line(size_t(line_buffer_size), 0);
  if (!read_line(line.data(), f)) return;
  int32_t n = 0;
  next_int(line.data(), n);
  for (int i = 0; i < n; i++) {
    if (!read_line(line.data(), f)) {
      std::printf("Warning!!! The number of points specified in the xy output file is more than the actual points "
                  "in the file.\n");
      return;
    }
    xy_output_point p;
    next_double(line.data(), p.x);
    next_double(line.data(), p.y);
    next_int(line.data(), p.id);
    points.push_back(p);
  }
}

bool is_mask_edge_cell(const inset_mask& mask, int row, int col) {
  const int dr[] = {-1, 0, 1, 0}, dc[] = {0, 1, 0, -1};
  for (int k = 0; k < 4; k++) {
    const int r = row + dr[k], c = col + dc[k];
    if (r < 1 || r > mask.rows || c < 1 || c > mask.cols || mask.mask(r, c) == 0) return true;
  }
  return false;
}

void read_xy_output_mask(xy_output& out, const std::string& name) {
  inset_mask& k = out.inset;
  checked_file f;
  if (!checked_file_open(f, name.c_str(), 'r')) {
    std::printf("Error: unable to open the XY output mask file.\n");
    return;
  }
  // The header gives the mask's own grid; the map reader then reads it on that grid.
  std::vector<char> line(size_t(line_buffer_size), 0);
  double header[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  for (double& v : header) {
    if (!read_line(line.data(), f)) break;
    v = std::atof(find_second_token(line.data()));
  }
  const int rows = int(header[4]), cols = int(header[5]);
  if (rows < 1 || cols < 1 || rows > 100000 || cols > 100000 || !(header[0] > header[1])) {
    std::printf("Error: the XY output mask file %s has no valid grid header.\n", name.c_str());
    return;
  }
  std::rewind(f.stream);
  k.mask.resize(rows, cols, 0);
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
  int r = 0, c = 0;
  read_ascii_map(f, name.c_str(), 2, north, south, east, west, r, c, k.mask, nullptr, nullptr, nullptr, rows, cols,
                 1);
  k.north = north;
  k.south = south;
  k.east = east;
  k.west = west;
  k.rows = rows;
  k.cols = cols;
  k.cell_size = (north - south) / rows;
  int id = 0;
  for (int i = 1; i <= rows; i++)
    for (int j = 1; j <= cols; j++) {
      if (k.mask(i, j) == 0) continue;
      id++;
      if (!is_mask_edge_cell(k, i, j)) continue;
      xy_output_point p;
      p.x = west + (j - 0.5) * k.cell_size;
      p.y = north - (i - 0.5) * k.cell_size;
      p.id = id;
      out.points.push_back(p);
    }
  k.loaded = 1;
}

namespace {

inset_segment make_segment(double x1, double y1, double x2, double y2) {
  inset_segment s;
  s.x1 = x1;
  s.y1 = y1;
  s.x2 = x2;
  s.y2 = y2;
  s.length = std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
  if (s.length > 0.0) {
    s.ux = (x2 - x1) / s.length;
    s.uy = (y2 - y1) / s.length;
  }
  return s;
}

// The open sides of one edge cell: above, right, below, left.
void add_cell_segments(inset_mask& k, int row, int col) {
  const double xw = k.west + (col - 1) * k.cell_size, xe = k.west + col * k.cell_size;
  const double yn = k.north - (row - 1) * k.cell_size, ys = k.north - row * k.cell_size;
  const auto open = [&k](int r, int c) { return r < 1 || r > k.rows || c < 1 || c > k.cols || k.mask(r, c) == 0; };
  if (open(row - 1, col)) k.segments.push_back(make_segment(xw, yn, xe, yn));
  if (open(row, col + 1)) k.segments.push_back(make_segment(xe, yn, xe, ys));
  if (open(row + 1, col)) k.segments.push_back(make_segment(xw, ys, xe, ys));
  if (open(row, col - 1)) k.segments.push_back(make_segment(xw, yn, xw, ys));
}

// The link segment (ax, ay)-(bx, by) crosses the boundary side: 0 <= s <= 1 along the side,
// 0 < u <= 1 along the link; parallel segments never cross.
bool segment_crosses(const inset_segment& b, double ax, double ay, double bx, double by) {
  if (std::max(ax, bx) < std::min(b.x1, b.x2) || std::min(ax, bx) > std::max(b.x1, b.x2) ||
      std::max(ay, by) < std::min(b.y1, b.y2) || std::min(ay, by) > std::max(b.y1, b.y2))
    return false;
  const double sx = b.x2 - b.x1, sy = b.y2 - b.y1;
  const double lx = bx - ax, ly = by - ay;
  const double denom = sx * ly - sy * lx;
  if (denom == 0.0) return false;
  const double qx = ax - b.x1, qy = ay - b.y1;
  const double s = (qx * ly - qy * lx) / denom;
  const double u = (qx * sy - qy * sx) / denom;
  return s >= 0.0 && s <= 1.0 && u > 0.0 && u <= 1.0;
}

void record_crossing(std::vector<xy_output_point>& crossings, double x, double y, int link, int node) {
  for (xy_output_point& c : crossings)
    if (c.link == link) {
      if (node > c.node) {
        c.x = x;
        c.y = y;
        c.node = node;
      }
      return;
    }
  xy_output_point c;
  c.x = x;
  c.y = y;
  c.link = link;
  c.node = node;
  crossings.push_back(c);
}

}  // namespace

void find_inset_crossings(xy_output& out, const std::string& channel_file) {
  inset_mask& k = out.inset;
  k.segments.clear();
  for (int i = 1; i <= k.rows; i++)
    for (int j = 1; j <= k.cols; j++)
      if (k.mask(i, j) != 0 && is_mask_edge_cell(k, i, j)) add_cell_segments(k, i, j);
  checked_file f;
  if (!checked_file_open(f, channel_file.c_str(), 'r')) {
    std::printf("Error: unable to open the .cif file for reading for the stream boundary XY hydrograph ouput file\n");
    out.st_on = 0;
    return;
  }
  std::vector<char> line(size_t(line_buffer_size), 0);
  int link = 0, node = 0, previous_node = 0;
  bool have_previous = false;
  double px = 0.0, py = 0.0;
  while (read_line(line.data(), f)) {
    if (line_begins_with(line.data(), "LINK ")) {
      link = std::atoi(find_second_token(line.data()));
      have_previous = false;
    } else if (line_begins_with(line.data(), "NODE ")) {
      node = std::atoi(find_second_token(line.data()));
    } else if (line_begins_with(line.data(), "X_Y ")) {
      double x = 0.0, y = 0.0;
      char* rest = line.data() + 4;
      next_double(rest, x);
      next_double(rest, y);
      if (have_previous)
        for (const inset_segment& s : k.segments)
          if (segment_crosses(s, px, py, x, y)) {
            record_crossing(out.crossings, 0.5 * (px + x), 0.5 * (py + y), link, previous_node);
            break;
          }
      px = x;
      py = y;
      previous_node = node;
      have_previous = true;
    }
  }
  std::printf("PLUVO identified %d stream link/nodes as crossing the inset mask boundary.\n",
              int(out.crossings.size()));
  for (const xy_output_point& c : out.crossings) std::printf("%d,%d\t", c.link, c.node);
  std::printf("\n");
}

void write_xy_output_header(const std::vector<xy_output_point>& points, std::FILE* f, const char* header) {
  std::fprintf(f, "%s\n%d\nDATE       TIME \t", header, int(points.size()));
  for (const xy_output_point& p : points) std::fprintf(f, "  %8d", p.id);
  std::fputs("\n", f);
}

void write_xy_stream_header(const std::vector<xy_output_point>& crossings, std::FILE* f) {
  std::fprintf(f, "XY_STREAM_HYDROGRAPHS\n%d\nX                 \t", int(crossings.size()));
  for (const xy_output_point& c : crossings) std::fprintf(f, "   %12.3lf", c.x);
  std::fputs("\nY                 \t", f);
  for (const xy_output_point& c : crossings) std::fprintf(f, "   %12.3lf", c.y);
  std::fputs("\n", f);
}

void setup_xy_outputs(model_state& m) {
  if (!m.xybdyoutput_flag) return;
  xy_output& out = m.xybdy_outputs;
  if (m.xybdyoutput_is_mask == 1) read_xy_output_mask(out, m.xybdyoutput_file);
  else read_xy_output_points(out.points, m.xybdyoutput_file);
  if (m.gw_simulation_on && !m.xybdyoutput_gwhead_file.empty()) {
    out.gw_on = checked_file_open(out.gw_file, m.xybdyoutput_gwhead_file.c_str(), 'w');
    if (!out.gw_on) say_twice("Error: XY Groundwater output file name is not valid\n");
  }
  if (!m.xybdyoutput_ovdep_file.empty()) {
    out.ov_on = checked_file_open(out.ov_file, m.xybdyoutput_ovdep_file.c_str(), 'w');
    if (!out.ov_on) say_twice("Error: XY Overland Flow output file name is not valid\n");
  }
  const xy_grid g{m.grid_north, m.grid_west, m.mask_rows, m.mask_cols, m.cell_size, &m.cell_number_grid};
  for (xy_output_point& p : out.points) locate_xy_point(p, g);
  if (out.ov_on) write_xy_output_header(out.points, out.ov_file.stream, "XY_OV_DEPTH");
  if (out.gw_on) write_xy_output_header(out.points, out.gw_file.stream, "XY_GW_HEAD");
  // The stream crossings need the network and a file to write them to.
  if (!m.chan_explic_on || m.channel_input_path.empty() || m.xybdyoutput_stflow_file.empty()) return;
  out.st_on = 1;
  find_inset_crossings(out, m.channel_input_path);
  if (!out.st_on) return;
  if (!checked_file_open(out.st_file, m.xybdyoutput_stflow_file.c_str(), 'w')) {
    std::printf("Error: unable to open the stream boundary XY hydrograph ouput file\n");
    out.st_on = 0;
    return;
  }
  write_xy_stream_header(out.crossings, out.st_file.stream);
}

namespace {

void write_values(const std::vector<xy_output_point>& points, std::FILE* f, const char* date, const double* values) {
  std::fputs(date, f);
  for (const xy_output_point& p : points) std::fprintf(f, "  %8.3lf", xy_point_value(p, values));
  std::fputs("\n", f);
}

}  // namespace

void write_xy_output_step(model_state& m, double julian) {
  xy_output& out = m.xybdy_outputs;
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  calendar_from_julian(julian + julian_hundredth_second, year, month, day, hour, minute, seconds);
  char date[64];
  std::snprintf(date, sizeof date, "%4d %02d %02d %02d %02d\t", year, month, day, hour, minute);
  if (out.ov_on && m.ov_depth.size() > size_t(m.cell_count))
    write_values(out.points, out.ov_file.stream, date, m.ov_depth.data());
  if (out.gw_on && m.elevgw.size() > size_t(m.cell_count))
    write_values(out.points, out.gw_file.stream, date, m.elevgw.data());
  if (out.st_on) {
    std::fputs(date, out.st_file.stream);
    for (const xy_output_point& c : out.crossings) {
      const size_t key = size_t(c.link) * size_t(m.chan_node_extent) + size_t(c.node);
      std::fprintf(out.st_file.stream, "   %12.4lf", key < m.qp.size() ? m.qp[key] : 0.0);
    }
    std::fputs("\n", out.st_file.stream);
  }
}

void close_coupling_files(model_state& m) {
  close_xy_outputs(m.xybdy_outputs);
  free_q4_data(m.q4);
}

void close_xy_outputs(xy_output& out) {
  for (checked_file* f : {&out.ov_file, &out.gw_file, &out.st_file}) {
    if (!f->is_open()) continue;
    std::fputs("END_TS\n", f->stream);
    checked_file_close(*f);
  }
  out.ov_on = out.gw_on = out.st_on = 0;
  out.crossings.clear();
  out.inset.segments.clear();
  out.points.clear();
}

}  // namespace pluvo
