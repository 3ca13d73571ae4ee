// Multiple-flow-direction passes: each pass handles every cell whose higher neighbours are all
// done, in row-major order, so the result does not depend on the thread count (the passes run on
// one thread).
#include "soil/flow_passes.hpp"

#include <cmath>
#include <cstdio>

#include "common/error_state.hpp"

namespace pluvo {

namespace {

constexpr int max_passes = 1000;
constexpr int dr[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr int dc[8] = {-1, 0, 1, -1, 1, -1, 0, 1};

const char* const fix_your_dem =
    "want to do this, you can remove the TOPO_INDEX card from your\n"
    "PLUVO project file, and the PLUVO Sacramento Routine will the\n"
    "simply put its output into the channels uniformly.\n"
    "Program terminated.\n";

void too_many_passes() {
  stop_run("You have specified TOPO_INDEX in your PLUVO project file.\n"
           "After 1000 iterative passes through the DEM to calculate\n"
           "the topographic index map, the routine has not succeeded.\n"
           "This is rediculous.  Your DEM must be of very poor quality.\n"
           "Please make your DEM more representative of nature in terms\n"
           "of flow paths, removing digital dams and pits.  If you do not\n%s",
           fix_your_dem);
}

void negative_index() {
  stop_run("Warning: topodex routine has computed a negative topodex value\n"
           "Check your input elevation file for large flat areas with\n"
           "either the exact same elevation or nearly so (~0.0000x)\n%s",
           fix_your_dem);
}

struct dem {
  const grid<int32_t>& cells;
  const std::vector<double>& elevation;
  bool active(int r, int c) const {
    return r >= 1 && r <= cells.rows() && c >= 1 && c <= cells.cols() && cells(r, c) > 0;
  }
  double z(int r, int c) const { return elevation[size_t(cells(r, c))]; }
};

bool waits_for_higher(const dem& d, const grid<char>& done, int r, int c) {
  const double z = d.z(r, c);
  for (int k = 0; k < 8; ++k) {
    const int rr = r + dr[k], cc = c + dc[k];
    if (d.active(rr, cc) && d.z(rr, cc) > z && !done(rr, cc)) return true;
  }
  return false;
}

// Passes the cell's area down; false when the run stopped on its index.
bool pass_cell_down(const dem& d, double dx, int r, int c, grid<double>& area, grid<double>* index) {
  const double z = d.z(r, c);
  double w_tan[8] = {};
  double S = 0.0, rise = 0.0;
  for (int k = 0; k < 8; ++k) {
    const int rr = r + dr[k], cc = c + dc[k];
    if (!d.active(rr, cc)) continue;
    const bool diagonal = dr[k] != 0 && dc[k] != 0;
    const double distance = diagonal ? std::sqrt(2.0) * dx : dx;
    const double w = diagonal ? 0.25 * std::sqrt(2.0) * dx : 0.5 * dx;
    const double drop = z - d.z(rr, cc);
    if (drop > 0.0) {
      w_tan[k] = w * drop / distance;
      S += w_tan[k];
    } else if (drop < 0.0) {
      rise -= drop / distance;
    }
  }
  const double a = area(r, c);
  if (S > 0.0) {
    for (int k = 0; k < 8; ++k)
      if (w_tan[k] > 0.0) area(r + dr[k], c + dc[k]) += a / S * w_tan[k];
  } else {
    S = rise;
    if (index && S < 1e-6) {
      std::printf("sslope<1.0e-6 in read_sacramento : %.10lf\n", S);
      S = 1e-6;  // a pit without higher neighbours keeps a finite index
    }
  }
  if (!index) return true;
  (*index)(r, c) = std::log(a / S);
  if ((*index)(r, c) < 0.0) {
    negative_index();
    return false;
  }
  return true;
}

}  // namespace

void upslope_flow_passes(const grid<int32_t>& cells, const std::vector<double>& elevation, double dx,
                         grid<double>& area, grid<double>* index) {
  const int rows = cells.rows(), cols = cells.cols();
  const dem d{cells, elevation};
  area.resize(rows, cols, 0.0);
  if (index) index->resize(rows, cols, 0.0);
  grid<char> done(rows, cols, 1);
  int left = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c)
      if (cells(r, c) > 0) {
        area(r, c) = dx * dx;
        done(r, c) = 0;
        ++left;
      }
  for (int pass = 1; left > 0; ++pass) {
    if (pass > max_passes) {
      too_many_passes();
      return;
    }
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c) {
        if (done(r, c) || waits_for_higher(d, done, r, c)) continue;
        if (!pass_cell_down(d, dx, r, c, area, index)) return;
        done(r, c) = 1;
        --left;
      }
  }
}

}  // namespace pluvo
