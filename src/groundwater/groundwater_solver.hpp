#pragma once
// The two-dimensional saturated zone under the grid: one implicit step of the unconfined
// aquifer, with the line sweeps that solve each linear system.
#include <cstdint>
#include <vector>

#include "common/grid.hpp"

namespace pluvo {

struct model_state;

// Boundary types held at their head: 2 books what it gives the aquifer, 5 does not.
constexpr int gw_fixed_head = 2;
constexpr int gw_held_head = 5;

// The cell is held at its head and takes no sources.
bool gw_held_cell(const model_state& m, int cell);

// Sizes the per-cell solver and exchange arrays for the run's grid (kept while it holds).
void size_groundwater_arrays(model_state& m);

// Advances elevgw over dt seconds; returns the volume (m3) the step's net sources added to the
// aquifer (negative when it lost water), or 0 after a reported failure.
double groundwater_solve(model_state& m, double dt);

// Everything one linear solve of the head reads: the five-point rows, the grid of cell numbers
// and the sweep settings.
struct gw_line_system {
  const double* above;
  const double* left;
  const double* diag;
  const double* right;
  const double* below;
  const double* rhs;
  const grid<int32_t>* cells;
  double relax;
  double tolerance;
  int sweep_order;  // 1: first line to last; otherwise last to first
  int direction;    // 1: row lines; otherwise column lines
};

// Line successive over-relaxation of the system in place in head; returns the passes made.
// A system that never meets the tolerance stops after max_passes.
int solve_groundwater_sweeps(double* head, const gw_line_system& s, model_state& m);

constexpr int gw_sweep_pass_limit = 1000;

}  // namespace pluvo
