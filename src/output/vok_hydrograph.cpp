// The VOK hydrograph file: the run's outlet and point hydrographs as plain columns of numbers,
// ten to a line, after a short header.
#include <cstdio>
#include <vector>

#include "output/series_files.hpp"

namespace pluvo {

namespace {

// Values numbered from 1: a line end after every tenth, a blank after the others.
void write_ten_to_a_line(std::FILE* f, const std::vector<double>& values) {
  for (size_t i = 1; i <= values.size(); ++i) {
    std::fprintf(f, "%11.4lf", values[i - 1]);
    std::fputc(i % 10 == 0 ? '\n' : ' ', f);
  }
}

// Second number of each outlet line, up to count lines; an early end gives fewer values.
std::vector<double> outlet_discharges(std::FILE* f, long count) {
  std::vector<double> q;
  for (long i = 1; i <= count; ++i) {
    double time = 0.0, discharge = 0.0;
    if (std::fscanf(f, "%lf %lf", &time, &discharge) != 2) break;
    q.push_back(discharge);
  }
  return q;
}

// The point discharges regrouped by point: table[p] holds point p's rows (0 where the file
// ended early).
std::vector<std::vector<double>> point_discharges(std::FILE* f, int points, long rows) {
  std::vector<std::vector<double>> table(size_t(points) + 1, std::vector<double>(size_t(rows), 0.0));
  for (long r = 0; r < rows; ++r) {
    double time = 0.0;
    if (std::fscanf(f, "%lf", &time) != 1) break;
    for (int p = 1; p <= points; ++p)
      if (std::fscanf(f, "%lf", &table[size_t(p)][size_t(r)]) != 1) return table;
  }
  return table;
}

}  // namespace

void write_vok_hydrograph_file(std::FILE* vok, const vok_sources& in) {
  const int points = in.points && in.point_count > 0 ? in.point_count : 0;
  std::fputs("PLUVEIA_VOK_HYDROGRAPH_FILE\n", vok);
  for (long value : {long(points), in.start_date, in.start_time, in.hyd_write_steps, in.line_count})
    std::fprintf(vok, "%ld\n", value);
  // The point file holds data lines only: each point's place comes from the run's point list.
  for (int p = 1; p <= points; ++p)
    std::fprintf(vok, "%d %d\n", in.point_links ? in.point_links[p] : 0, in.point_nodes ? in.point_nodes[p] : 0);
  write_ten_to_a_line(vok, outlet_discharges(in.outlet, in.line_count));
  if (points == 0) return;
  const std::vector<std::vector<double>> table =
      point_discharges(in.points, points, in.line_count > 0 ? in.line_count : 0);
  for (int p = 1; p <= points; ++p) {
    std::fputc('\n', vok);
    write_ten_to_a_line(vok, table[size_t(p)]);
  }
}

}  // namespace pluvo
