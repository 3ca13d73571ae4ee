#pragma once
// Small overland grids built in memory, with the clock stepping the overland phase.
#include <omp.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "common/error_state.hpp"
#include "overland/overland_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo_test {

struct grid_spec {
  int rows = 1;
  int cols = 1;
  double dx = 10.0;
  double n = 0.03;
  double retention = 0.0;
  std::function<double(int, int)> elevation = [](int, int) { return 0.0; };
  std::function<bool(int, int)> active = [](int, int) { return true; };
  int outlet_row = 1;
  int outlet_col = 1;
  double outlet_slope = 0.01;
};

// A V of side x side cells of 20 m: two planes falling 5 % toward the middle column, which
// falls 1 % toward its outlet on the bottom row.
inline grid_spec tilted_v(int side) {
  grid_spec g;
  g.rows = side;
  g.cols = side;
  g.dx = 20.0;
  g.n = 0.04;
  g.retention = 0.0005;
  const int valley = (side + 1) / 2;
  g.elevation = [=](int r, int c) { return 0.05 * 20.0 * std::abs(c - valley) + 0.01 * 20.0 * (side - r); };
  g.outlet_row = side;
  g.outlet_col = valley;
  return g;
}

// A record holding a masked grid numbered in row-major order, with its neighbours and
// face slopes, dry, routed by the explicit scheme.
inline std::unique_ptr<pluvo::model_state> make_overland_grid(const grid_spec& g) {
  auto m = std::make_unique<pluvo::model_state>();
  m->mask_rows = g.rows;
  m->mask_cols = g.cols;
  m->cell_size = g.dx;
  m->cell_number_grid.resize(g.rows, g.cols, 0);
  int n = 0;
  for (int r = 1; r <= g.rows; r++)
    for (int c = 1; c <= g.cols; c++)
      if (g.active(r, c)) m->cell_number_grid(r, c) = ++n;
  m->cell_count = n;
  const size_t size = size_t(n) + 1;
  for (auto* v : {&m->rightcon, &m->belowcon, &m->leftcon, &m->abovecon}) v->assign(size, 0);
  for (auto* v : {&m->elevation, &m->slope_x, &m->slope_y, &m->ov_depth, &m->ov_qx, &m->ov_qy,
                  &m->retent_dep, &m->dist_rough, &m->dist_rough_copy})
    v->assign(size, 0.0);
  for (int r = 1; r <= g.rows; r++)
    for (int c = 1; c <= g.cols; c++) {
      const int i = m->cell_number_grid(r, c);
      if (!i) continue;
      m->elevation[i] = g.elevation(r, c);
      m->rightcon[i] = m->cell_number_grid(r, c + 1);
      m->belowcon[i] = m->cell_number_grid(r + 1, c);
      m->leftcon[i] = m->cell_number_grid(r, c - 1);
      m->abovecon[i] = m->cell_number_grid(r - 1, c);
      m->dist_rough[i] = m->dist_rough_copy[i] = g.n;
      m->retent_dep[i] = g.retention;
    }
  for (int i = 1; i <= n; i++) {
    if (m->rightcon[i]) m->slope_x[i] = (m->elevation[i] - m->elevation[m->rightcon[i]]) / g.dx;
    if (m->belowcon[i]) m->slope_y[i] = (m->elevation[i] - m->elevation[m->belowcon[i]]) / g.dx;
  }
  m->outlet_cell = m->cell_number_grid(g.outlet_row, g.outlet_col);
  m->outlet_slope = g.outlet_slope;
  m->overland_scheme = 1;
  m->quiet_on = 1;
  return m;
}

// Sets the overland clock so that the next call of the phase routes one step of dt seconds.
inline void due_in(pluvo::model_state& m, double dt) {
  m.step_interval = dt / 86400.0;
  m.step_last_time = m.cur_julian;
  m.cur_julian += m.step_interval;
  m.step_next_time = m.cur_julian;
}

// Rain of rate (m/s) for dt seconds onto every cell, then one overland step.
inline void rain_and_route(pluvo::model_state& m, double rate, double dt) {
  for (int i = 1; i <= m.cell_count; i++) m.ov_depth[i] += rate * dt;
  m.rain_on = 1;
  due_in(m, dt);
  pluvo::route_overland_step(m);
}

inline double stored_volume(const pluvo::model_state& m) {
  double v = 0.0;
  for (int i = 1; i <= m.cell_count; i++) v += m.ov_depth[i];
  return v * m.cell_size * m.cell_size;
}

// Runs a test on a given number of threads and gives the previous count back. Small
// grids run on one thread: a loaded machine makes every parallel region costly.
class thread_count_guard {
 public:
  explicit thread_count_guard(int threads) : saved_(omp_get_max_threads()) { omp_set_num_threads(threads); }
  ~thread_count_guard() { omp_set_num_threads(saved_); }
  thread_count_guard(const thread_count_guard&) = delete;
  thread_count_guard& operator=(const thread_count_guard&) = delete;

 private:
  int saved_;
};

// Clears what a test's reported error left in the process-wide error state.
inline void clear_error_state() { pluvo::error_state = pluvo::error_state_record(); }

}  // namespace pluvo_test
