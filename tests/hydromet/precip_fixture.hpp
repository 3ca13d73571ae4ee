#pragma once
// Small grids, precipitation files and a stepping loop for the precipitation tests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "common/scratch_dir.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "record/model_state.hpp"

namespace precip_test {

// A rows x cols grid, every cell active, north-west corner at (0, rows * size).
inline std::unique_ptr<pluvo::model_state> make_grid(int rows, int cols, double cell_size) {
  auto m = std::make_unique<pluvo::model_state>();
  m->mask_rows = rows;
  m->mask_cols = cols;
  m->cell_size = cell_size;
  m->grid_west = 0.0;
  m->grid_north = rows * cell_size;
  m->cell_number_grid.resize(rows, cols, 0);
  int n = 0;
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) m->cell_number_grid(i, j) = ++n;
  m->cell_count = n;
  const size_t size = size_t(n) + 1;
  m->cell_rain_rate.assign(size, 0.0);
  m->ri_eff.assign(size, 0.0);
  m->ov_depth.assign(size, 0.0);
  m->ov_depth_change.assign(size, 0.0);
  m->nearest.assign(size, 0);
  return m;
}

// Writes a file into a test's scratch directory and gives its path.
inline std::string file_in(const pluvo::scratch_dir& dir, const std::string& name,
                           const std::string& text) {
  dir.write(name, text);
  return dir.path(name);
}

inline void clear_errors() { pluvo::error_state = pluvo::error_state_record{}; }

// Opens a precipitation file as the project would and makes the run an event run whose one
// event starts at start (Julian).
inline bool open_precip(pluvo::model_state& m, const std::string& path, double start) {
  m.precip_on = 1;
  m.precip_path = path;
  m.event_count = 1;
  m.event_start_dates = {0.0, start};
  return pluvo::checked_file_open(m.raingage_fp, path.c_str(), 'r');
}

// What one stepped event left behind.
struct event_outcome {
  double depth_mm = 0.0;        // rain on cell 1
  double rain_end_min = -1.0;   // minutes after the start at which the last rainy step ended
  int steps_with_rain = 0;
};

// Steps the precipitation phases from start at step seconds until the rain of the event ends
// (or max_steps pass), with the clock's event start and the overland step timer as the run
// keeps them: the event start opens the first step, each step's rain falls at its end.
inline event_outcome step_event(pluvo::model_state& m, double start, double step, int max_steps) {
  event_outcome out;
  const double step_days = step / 86400.0;
  m.step_interval = step_days;
  m.step_next_time = start;
  for (int n = 0; n < max_steps; ++n) {
    m.step_count = n;
    m.cur_julian = start + n * step_days;
    const int state_before = m.precip_state;
    pluvo::read_event_precip(m);
    if (pluvo::error_state.error_terminate) break;  // the driver stops after a reported error
    if (state_before == 0 && m.precip_state == 1) {
      m.precip_record_index = 1;
      m.step_last_time = m.cur_julian;
      m.step_next_time = m.cur_julian + step_days;
    }
    pluvo::update_precipitation(m);
    if (pluvo::error_state.error_terminate) break;
    const double before = m.ov_depth[1];
    pluvo::apply_rainfall(m);
    if (m.ov_depth[1] > before) {
      ++out.steps_with_rain;
      out.rain_end_min = n * step / 60.0;
    }
    if (std::fabs(m.cur_julian - m.step_next_time) < m.time_tolerance) {
      m.step_last_time = m.cur_julian;
      m.step_next_time = m.cur_julian + step_days;
    }
    if (pluvo::error_state.error_terminate) break;
    if (n > 0 && m.precip_state != 1) break;
  }
  out.depth_mm = m.ov_depth[1] * 1000.0;
  return out;
}

}  // namespace precip_test
