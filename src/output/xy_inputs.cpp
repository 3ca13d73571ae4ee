// XY boundary inputs of an inset run: the files read at card time, the nearest-point weights of
// interpolated boundary cells, and the values imposed on the boundary cells at a time.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "common/time_series.hpp"
#include "output/output_phases.hpp"
#include "output/xy_boundaries.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int max_interp_points = 5;
constexpr double min_distance = 0.0001;
constexpr double same_place = 1e-5;
constexpr double no_pair_yet = 999999.99;

double point_distance(double dx, double dy) {
  if (std::fabs(dx) < same_place && std::fabs(dy) < same_place) return 0.0;
  return std::sqrt(dx * dx + dy * dy);
}

// The numbers of a label line after its first `skip` words: n of them, 0 where missing.
template <typename T>
std::vector<T> label_line_values(const std::string& line, int skip, int n) {
  std::vector<T> v(size_t(std::max(n, 0)), T(0));
  const char* p = line.c_str();
  const auto skip_blanks = [&p] {
    while (*p == ' ' || *p == '\t' || *p == ',') ++p;
  };
  for (int w = 0; w < skip; w++) {
    skip_blanks();
    while (*p && *p != ' ' && *p != '\t' && *p != ',') ++p;
  }
  for (int i = 0; i < n; i++) {
    skip_blanks();
    char* end = nullptr;
    const double d = std::strtod(p, &end);
    if (end == p) break;
    v[size_t(i)] = T(d);
    p = end;
  }
  return v;
}

// The first line of a file with its keys substituted.
bool read_first_line(checked_file& f, std::vector<char>& line) {
  line.assign(size_t(line_buffer_size), 0);
  return read_line(line.data(), f) == 1;
}

}  // namespace

void read_xy_boundary_file(xy_input&, const char* name, const char* kind, const char* header, time_series*& head,
                           std::vector<xy_point>& points, bool cell_form) {
  checked_file f;
  if (!checked_file_open(f, name, 'r')) {
    std::printf("Error: unable to open %s xy boundary input file.\n", kind);
    return;
  }
  std::vector<char> line;
  if (!read_first_line(f, line) || std::strncmp(line.data(), header, std::strlen(header)) != 0) {
    std::printf("Error: file used for %s xy boundary input file is not of appropriate type. File header does not "
                "match %s.\n",
                kind, header);
    return;
  }
  line.assign(line.size(), 0);
  read_line(line.data(), f);
  const int n = std::atoi(line.data());
  if (n < 1) {
    std::printf("Warning: No points in %s xy boundary input file.\n", kind);
    return;
  }
  std::string first, second;
  read_whole_line(f, first);
  if (!cell_form) read_whole_line(f, second);
  time_series* s = read_embedded_time_series(f, n, header);
  if (!s) return;
  const size_t first_series = time_series_list.size() - size_t(n);
  const std::vector<int32_t> cells = cell_form ? label_line_values<int32_t>(first, 2, n) : std::vector<int32_t>();
  const std::vector<double> xs = cell_form ? std::vector<double>() : label_line_values<double>(first, 1, n);
  const std::vector<double> ys = cell_form ? std::vector<double>() : label_line_values<double>(second, 1, n);
  for (int i = 0; i < n; i++) {
    xy_point p;
    if (cell_form) p.cell = cells[size_t(i)];
    else {
      p.x = xs[size_t(i)];
      p.y = ys[size_t(i)];
    }
    p.series = time_series_list[first_series + size_t(i)].get();
    points.push_back(p);
  }
  head = s;
}

void read_xy_stream_boundary_file(xy_input& xy, const char* name) {
  checked_file f;
  if (!checked_file_open(f, name, 'r')) {
    std::printf("Error: unable to open stream xy boundary input file.\n");
    return;
  }
  std::vector<char> line;
  if (!read_first_line(f, line) || !first_tokens_equal_nocase(line.data(), "XY_STREAM_HYDROGRAPHS")) {
    std::printf("Error: file used for stream xy boundary input file is not of appropriate type. File header does "
                "not match XY_STREAM_HYDROGRAPHS.\n");
    return;
  }
  line.assign(line.size(), 0);
  read_line(line.data(), f);
  const int n = std::atoi(line.data());
  if (n < 1) {
    std::printf("Warning: No points in the stream xy boundary input file.\n");
    return;
  }
  std::string xl, yl;
  read_whole_line(f, xl);
  read_whole_line(f, yl);
  time_series* s = read_embedded_time_series(f, n, "XY_STREAM_HYDROGRAPHS");
  if (!s) return;
  const size_t first_series = time_series_list.size() - size_t(n);
  const std::vector<double> xs = label_line_values<double>(xl, 1, n);
  const std::vector<double> ys = label_line_values<double>(yl, 1, n);
  // The stream file's inputs come first: they are the ones matched to the network.
  std::vector<xy_stream_point> added(static_cast<size_t>(n));
  for (int i = 0; i < n; i++) {
    added[size_t(i)].x = xs[size_t(i)];
    added[size_t(i)].y = ys[size_t(i)];
    added[size_t(i)].series = time_series_list[first_series + size_t(i)].get();
  }
  xy.stpts.insert(xy.stpts.begin() + xy.st_point_count, added.begin(), added.end());
  xy.st_point_count += n;
  xy.st_series_head = s;
}

void read_xy_stream_ts_file(xy_input& xy, const char* name) {
  checked_file f;
  if (!checked_file_open(f, name, 'r')) {
    std::printf("Error: unable to open stream xy boundary input file.\n");
    return;
  }
  std::vector<char> line;
  if (!read_first_line(f, line) || !first_tokens_equal_nocase(line.data(), "PLUVO_XY_ST_BDY_TS")) {
    std::printf("Error: incorrectly formatted header for stream xy time series boundary input file.\n");
    return;
  }
  const long body = std::ftell(f.stream);
  int blocks = 0;
  while (read_line(line.data(), f))
    if (first_tokens_equal_nocase(line.data(), "PLUVO_TS")) blocks++;
  std::clearerr(f.stream);
  std::fseek(f.stream, body, SEEK_SET);
  size_t at = xy.stpts.size();
  const size_t end = at + size_t(blocks);
  xy.stpts.resize(end);
  while (at < end && read_line(line.data(), f)) {
    xy_stream_point& p = xy.stpts[at];
    char word[token_buffer_size];
    if (first_tokens_equal_nocase(line.data(), "END_TS")) {
      at++;
    } else if (first_tokens_equal_nocase(line.data(), "XY")) {
      next_token(line.data(), word);
      next_double(line.data(), p.x);
      next_double(line.data(), p.y);
    } else if (first_tokens_equal_nocase(line.data(), "LINKNODE")) {
      next_token(line.data(), word);
      next_int(line.data(), p.link);
      next_int(line.data(), p.node);
      p.fixed = 1;
    } else if (first_tokens_equal_nocase(line.data(), "TIMESERIES")) {
      next_token(line.data(), word);
      std::string series_name;
      next_token(line.data(), series_name);
      p.series = find_time_series(series_name.c_str());
      if (!p.series) {
        std::printf("Error!!! unable to find time series [%s] for the xy boundary stream time series file.\n",
                    series_name.c_str());
        std::printf("         Perhaps the related TIME_SERIES_FILE card in the project file is below the "
                    "XYBDYINPUT_STTIMESERIES card?\n");
      }
    }
  }
}

void read_xy_boundary_input(int code, const char* name, option_files_block& o) {
  xy_input& xy = o.xybdy_inputs;
  switch (code) {
    case xybdyinput_ovdep:
      xy.ov_points_file = name;
      read_xy_boundary_file(xy, name, "overland", "XY_OV_DEPTH", xy.ov_series_head, xy.ovpts, true);
      break;
    case xybdyinput_gwhead:
      xy.gw_points_file = name;
      read_xy_boundary_file(xy, name, "groundwater", "XY_GW_HEAD", xy.gw_series_head, xy.gwpts, true);
      break;
    case xybdyinput_stflow: read_xy_stream_boundary_file(xy, name); break;
    case xybdyinput_sttimeseries: read_xy_stream_ts_file(xy, name); break;
    case xybdyinput_gwheadinterp:
      read_xy_boundary_file(xy, name, "groundwater", "XY_GW_HEAD_INTERP", xy.gw_series_head, xy.gwInterpSrcPts,
                            false);
      break;
    case xybdyinput_ovdepthinterp:
    case xybdyinput_ov_stage_interp:
      read_xy_boundary_file(xy, name, "overland", "XY_OV_DEPTH_INTERP", xy.ov_series_head, xy.ovInterpSrcPts,
                            false);
      break;
    default: break;
  }
}

void sort_index_by_key(const std::vector<double>& keys, std::vector<int>& index, int first, int last) {
  if (last <= first) return;
  // Stable: points at equal distance keep their file order.
  std::stable_sort(index.begin() + first, index.begin() + last + 1,
                   [&keys](int a, int b) { return keys[size_t(a)] < keys[size_t(b)]; });
}

void build_interp_cells(const std::vector<xy_point>& sources, const int32_t* code, int cell_count,
                        const double* cell_x, const double* cell_y, std::vector<xy_interp_cell>& cells) {
  cells.clear();
  const int points = int(sources.size());
  const int k = std::min(points, max_interp_points);
  std::vector<double> weight(static_cast<size_t>(points));
  std::vector<int> order(static_cast<size_t>(points));
  for (int c = 1; c <= cell_count; c++) {
    if (code[c] != 8) continue;
    for (int i = 0; i < points; i++) {
      const double d = std::max(point_distance(cell_x[c] - sources[size_t(i)].x, cell_y[c] - sources[size_t(i)].y),
                                min_distance);
      weight[size_t(i)] = 1.0 / (d * d);
      order[size_t(i)] = i;
    }
    if (points > max_interp_points) {
      std::vector<double> distance(static_cast<size_t>(points));
      for (int i = 0; i < points; i++) distance[size_t(i)] = 1.0 / weight[size_t(i)];
      sort_index_by_key(distance, order, 0, points - 1);
    }
    xy_interp_cell e;
    e.cell = c;
    e.count = k;
    for (int j = 0; j < k; j++) {
      e.series.push_back(sources[size_t(order[size_t(j)])].series);
      e.weights.push_back(weight[size_t(order[size_t(j)])]);
    }
    cells.push_back(std::move(e));
  }
}

namespace {

// Every cell number of a cell-form file lies on the grid; else the run stops naming the file.
bool point_cells_on_grid(const std::vector<xy_point>& points, int cell_count, const std::string& file) {
  for (const xy_point& p : points)
    if (p.cell < 1 || p.cell > cell_count) {
      stop_run("Error: the XY boundary input file %s names cell %d; the cells of this grid are 1 to %d.\n",
               file.c_str(), p.cell, cell_count);
      return false;
    }
  return true;
}

}  // namespace

void build_xy_weights(model_state& m) {
  xy_input& xy = m.xybdy_inputs;
  if (!point_cells_on_grid(xy.ovpts, m.cell_count, xy.ov_points_file)) return;
  if (m.boundary_type.size() <= size_t(m.cell_count)) return;
  build_interp_cells(xy.ovInterpSrcPts, m.boundary_type.data(), m.cell_count, m.cell_x.data(), m.cell_y.data(),
                     xy.ovInterpPts);
}

void build_gw_xy_weights(model_state& m) {
  xy_input& xy = m.xybdy_inputs;
  if (!point_cells_on_grid(xy.gwpts, m.cell_count, xy.gw_points_file)) return;
  if (m.gwbound.size() <= size_t(m.cell_count)) return;
  build_interp_cells(xy.gwInterpSrcPts, m.gwbound.data(), m.cell_count, m.cell_x.data(), m.cell_y.data(),
                     xy.gwInterpPts);
  // Interpolated groundwater cells are held at their imposed head.
  for (const xy_interp_cell& e : xy.gwInterpPts) m.gwbound[size_t(e.cell)] = 2;
}

double weighted_series_value(const std::vector<time_series*>& series, const std::vector<double>& weights, int count,
                             double t) {
  double sum = 0.0, wsum = 0.0;
  for (int i = 0; i < count; i++) {
    sum += weights[size_t(i)] * time_series_value(t, series[size_t(i)]);
    wsum += weights[size_t(i)];
  }
  return sum / wsum;
}

namespace {

// Sets one cell to v and books the change of its volume (scaled by factor).
void impose(double& target, double v, double volume_per_metre, double& gain, double& loss) {
  const double d = v - target;
  if (d < 0.0) loss += -d * volume_per_metre;
  else gain += d * volume_per_metre;
  target = v;
}

// The overland forms differ only in what the series value means: depth or water surface.
template <typename ToDepth>
void apply_overland(const xy_input& xy, double* depth, double dx, double& gain, double& loss, double t,
                    ToDepth to_depth) {
  gain = loss = 0.0;
  const double area = dx * dx;
  for (const xy_point& p : xy.ovpts)
    impose(depth[p.cell], std::max(to_depth(time_series_value(t, p.series), p.cell), 0.0), area, gain, loss);
  for (const xy_interp_cell& e : xy.ovInterpPts) {
    if (e.count < 1) continue;  // no interpolation point: nothing to impose
    const double v = weighted_series_value(e.series, e.weights, e.count, t);
    impose(depth[e.cell], std::max(to_depth(v, e.cell), 0.0), area, gain, loss);
  }
}

}  // namespace

void apply_ov_xy_boundary(const xy_input& xy, double* depth, double dx, double& gain, double& loss, double t) {
  apply_overland(xy, depth, dx, gain, loss, t, [](double v, int) { return v; });
}

void apply_ov_xy_stage_boundary(const xy_input& xy, double* depth, const double* ground, double dx, double& gain,
                                double& loss, double t) {
  apply_overland(xy, depth, dx, gain, loss, t, [ground](double v, int c) { return v - ground[c]; });
}

void apply_gw_xy_boundary(const xy_input& xy, double* head, const double* factor, double dx, double& gain,
                          double& loss, double t) {
  gain = loss = 0.0;
  const double area = dx * dx;
  for (const xy_point& p : xy.gwpts)
    impose(head[p.cell], time_series_value(t, p.series), area * factor[p.cell], gain, loss);
  for (const xy_interp_cell& e : xy.gwInterpPts) {
    if (e.count < 1) continue;
    impose(head[e.cell], weighted_series_value(e.series, e.weights, e.count, t), area * factor[e.cell], gain, loss);
  }
}

void match_stream_xy_inputs(xy_input& xy, int nlinks, const std::vector<int32_t>& nx1,
                            const std::vector<int32_t>& ltype, const std::vector<double>& lnx,
                            const std::vector<double>& lny, int node_extent) {
  std::printf("Matching up stream input to current link/node network \n");
  for (int i = 0; i < xy.st_point_count && size_t(i) < xy.stpts.size(); i++) {
    xy_stream_point& p = xy.stpts[size_t(i)];
    if (p.fixed) continue;
    double best = no_pair_yet;
    for (int l = 1; l <= nlinks; l++) {
      if (!(ltype[size_t(l)] & (4 | 8 | 16)) || nx1[size_t(l)] <= 1) continue;
      for (int k = 1; k < nx1[size_t(l)]; k++) {
        const size_t a = size_t(l) * size_t(node_extent) + size_t(k);
        const double mx = 0.5 * (lnx[a] + lnx[a + 1]);
        const double my = 0.5 * (lny[a] + lny[a + 1]);
        const double d = point_distance(mx - p.x, my - p.y);
        if (d < best) {
          best = d;
          p.link = l;
          p.node = k;
        }
      }
    }
    std::printf("For input %d the closest link/node pair is %lf m from link %d node %d \n \n", i, best, p.link,
                p.node);
  }
  std::printf("\n");
}

}  // namespace pluvo
