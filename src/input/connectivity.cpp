// Neighbour arrays, dike low-spot checks and the slopes of every cell.
#include <cstdio>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/parallel_team.hpp"
#include "common/process.hpp"
#include "input/grid_setup.hpp"
#include "input/input_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

void build_cell_neighbours(int rows, int cols, std::vector<int>& rightcon, std::vector<int>& belowcon,
                           std::vector<int>& abovecon, std::vector<int>& leftcon,
                           const grid<int>& cell_number_grid) {
  // The cell number is the grid entry itself, so rows are independent.
#pragma omp parallel for schedule(static) if(rows * cols >= min_cells_for_threads)
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      const int k = cell_number_grid(r, c);
      if (k == 0) continue;
      rightcon[k] = c < cols ? cell_number_grid(r, c + 1) : 0;
      leftcon[k] = c > 1 ? cell_number_grid(r, c - 1) : 0;
      belowcon[k] = r < rows ? cell_number_grid(r + 1, c) : 0;
      abovecon[k] = r > 1 ? cell_number_grid(r - 1, c) : 0;
    }
}

namespace {

const char* side_word(int direction) {
  switch (direction) {
    case 1: return "top";
    case 2: return "right";
    case 4: return "bottom";
    default: return "left";
  }
}

std::string side_line(int direction) {
  return format_text("Dike / low spot on %s side of cell\n", side_word(direction));
}

// The bit of the neighbour's side that faces the cell.
int facing_bit(int direction) {
  switch (direction) {
    case 1: return 4;
    case 2: return 8;
    case 4: return 1;
    default: return 2;
  }
}

const char* along_the_dike(int direction) {
  switch (direction) {
    case 1:
      return "at this low spot across the top boundary of the cell, while the dike\n"
             "is running in a different direction than along the top of the cell.\n";
    case 2:
      return "at this low spot across the right boundary of the cell, while the dike\n"
             "is running in a different direction than along the right side of the cell.\n";
    case 4:
      return "at this low spot across the bottom boundary of the cell, while the dike\n"
             "is running in a different direction than along the bottom of the cell.\n";
    default:
      return "at this low spot across the left boundary of the cell, while the dike\n"
             "is running in a different direction than along the left side of the cell.\n";
  }
}

int dike_at(const model_state& m, int k) {
  return k > 0 && size_t(k) < m.dike_mask.size() ? m.dike_mask[size_t(k)] : 0;
}

// The message of the first failing test, or "" when the low spot is sound.
std::string lowspot_problem(model_state& m, lowspot_record& s) {
  s.cell = 0;
  std::string text;
  const grid<int>& g = m.cell_number_grid;
  // A position off the grid is refused before the grid is touched.
  if (s.row < 1 || s.row > g.rows() || s.col < 1 || s.col > g.cols()) {
    text += format_text("\nThe low spot in row %d col %d of the file %s lies outside the grid\n", s.row,
                s.col, m.lowspot_path.c_str());
    text += format_text("of %d rows and %d columns.  Program terminated.\n", g.rows(), g.cols());
    return text;
  }
  const int cell = g(s.row, s.col);
  if (s.fraction < 0.0 || s.fraction > 1.5) {
    text += format_text("\nThe fraction of the grid-size specified for the lowspot in the grid at\n");
    text += format_text("row %d col %d is unreasonable, with a value of %f.  Acceptable\n", s.row, s.col,
                s.fraction);
    text += format_text(" values range from 0.0 to 1.5.  Change the value.  Program terminated.\n");
    return text;
  }
  const int d = s.direction;
  if (d != 1 && d != 2 && d != 4 && d != 8) {
    text += format_text("\nThe low spot flow direction specified in row %d col %d in the file %s\n", s.row,
                s.col, m.lowspot_path.c_str());
    text += format_text("is not valid.  The only possible directions are: 1- top boundary, 2- right\n");
    text += format_text("boundary, 4- bottom boundary, or 8- left boundary.\n");
    text += format_text("Edit your lowspot file and try again.  Program terminated.\n");
    return text;
  }
  if (dike_at(m, cell) == 0) {
    text += format_text("\nYou have specified an overland flow dike in row %d col %d\n", s.row, s.col);
    text += format_text("There is no dike adjacent to this grid cell.  Program stopped.\n");
    return text;
  }
  const int nb = d == 1 ? m.abovecon[cell] : d == 2 ? m.rightcon[cell] : d == 4 ? m.belowcon[cell]
                                                                          : m.leftcon[cell];
  if (dike_at(m, nb) == 0) {
    text += format_text("\nYou have specified a low spot on the %s boundary of the grid\n", side_word(d));
    text += format_text("cell at row %d col %d.  Either the side you have specified is not on\n", s.row, s.col);
    text += format_text("an overland flow dike, or the cell on the other side is out of the\n");
    text += format_text("watershed.  Check your low spot file.  Program terminated.\n");
    return text;
  }
  const bool cell_high = m.elevation[cell] > s.elevation;
  if (cell_high || m.elevation[nb] > s.elevation) {
    text += format_text("\nThe elevation of the overland flow dike low spot you specified in the grid\n");
    text += format_text("cell located at row %d col %d is %f m.  This elevation is lower than the\n", s.row,
                s.col, s.elevation);
    if (cell_high) {
      text += format_text("elevation of the grid cell, which is %f m.  This situation is impossible.\n",
                  m.elevation[cell]);
      text += format_text("Please raise the low spot elevation to be greater than the grid cell elevation.\n");
    } else {
      text += format_text("elevation of the grid cell on the other side of the dike, which is %f m.\n",
                  m.elevation[nb]);
      text += format_text("This situation is impossible.  Please raise the low spot elevation to be\n");
      text += format_text("greater than the grid cell elevation.\n");
    }
    text += side_line(d);
    text += format_text("Program terminated\n");
    return text;
  }
  if ((dike_at(m, nb) & facing_bit(d)) == 0) {
    text += format_text("\nThe low spot you have specified in the grid at row %d  col %d does not\n", s.row,
                s.col);
    text += format_text("cross the dike.  Rather, it runs _along_ the dike.  You specified flow\n");
    text += along_the_dike(d);
    text += format_text("Program terminated.\n");
    return text;
  }
  return std::string();
}

void validate_lowspots(model_state& m) {
  m.low_spot_flow_cell.assign(size_t(m.cell_count) + 1, 0);
  for (int j = 1; j <= m.lowspot_count && size_t(j) < m.lowspot_records.size(); ++j) {
    const std::string problem = lowspot_problem(m, m.lowspot_records[size_t(j)]);
    if (!problem.empty()) {
      stop_run("%s", problem.c_str());
      return;
    }
  }
}

}  // namespace

void build_cell_connectivity(model_state& m) {
  if (m.super_quiet_on == 0 && process_index == 0 && m.silent_mode != 1)
    message_out("building cell to cell connectivity information\n");
  if (m.cell_count > 0)
    build_cell_neighbours(m.grid_rows, m.grid_cols, m.rightcon, m.belowcon, m.abovecon, m.leftcon,
                          m.cell_number_grid);
  if (m.dike_map_on && m.lowspot_on) validate_lowspots(m);
}

void compute_face_slopes(model_state& m) {
  const int n = m.cell_count;
  if (n <= 0) return;
  const double dx = m.cell_size;
  const std::vector<double>& e = m.elevation;
  m.slope_x[0] = 0.0;
  for (int k = 1; k <= n; ++k) {
    const int r = m.rightcon[k];
    // A cell on the east edge takes the slope of the cell before it.
    m.slope_x[k] = r ? (e[k] - e[r]) / dx : m.slope_x[k - 1];
  }
  for (int k = 1; k <= n; ++k) {
    const int b = m.belowcon[k];
    if (b == 0) continue;
    m.slope_y[k] = (e[k] - e[b]) / dx;
    if (m.belowcon[b] == 0) m.slope_y[b] = m.slope_y[k];
  }
}

namespace {

// The mean of the two one-sided slopes falling from the cell away from side a (towards b);
// one side alone when only one neighbour exists, the previous cell's slope with none.
double centred_slope(const std::vector<double>& e, int k, int a, int b, double previous, double dx) {
  if (a && b) return ((e[k] - e[a]) / dx + (e[b] - e[k]) / dx) * 0.5;
  if (a) return (e[k] - e[a]) / dx;
  if (b) return (e[b] - e[k]) / dx;
  return previous;
}

}  // namespace

void compute_centered_slopes(model_state& m) {
  const int n = m.cell_count;
  if (n <= 0) return;
  const double dx = m.cell_size;
  m.slope_cx[0] = 0.0;
  m.slope_cy[0] = 0.0;
  for (int k = 1; k <= n; ++k) {
    m.slope_cx[k] = centred_slope(m.elevation, k, m.rightcon[k], m.leftcon[k], m.slope_cx[k - 1], dx);
    // Positive towards the north: the negative gradient with y pointing north.
    m.slope_cy[k] = centred_slope(m.elevation, k, m.abovecon[k], m.belowcon[k], m.slope_cy[k - 1], dx);
  }
}

}  // namespace pluvo
