#pragma once
// A superlink network read by the real network reader onto a one-row grid of 10 m cells, and
// the calls of the solve as the superlink step makes them.
#include <memory>
#include <string>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "groundwater/superlink_solve.hpp"
#include "input/input_phases.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo_test {

// The cells fall 0.1 m from 10.2 m; grid_pipes, when given, is the network's grid-pipe file.
inline std::unique_ptr<pluvo::model_state> superlink_model(const std::string& network, int cells = 4,
                                                           const std::string& grid_pipes = "") {
  write_file("s.sl", network);
  auto m = std::make_unique<pluvo::model_state>();
  if (!grid_pipes.empty()) {
    write_file("s.gpi", grid_pipes);
    m->grid_pipe_path = "s.gpi";
  }
  m->elevation.assign(size_t(cells) + 1, 0.0);
  for (int j = 1; j <= cells; ++j) m->elevation[size_t(j)] = 10.3 - 0.1 * j;
  m->cell_number_grid.resize(1, cells, 0);
  for (int j = 1; j <= cells; ++j) m->cell_number_grid(1, j) = j;
  m->cell_count = cells;
  m->cell_size = 10.0;
  m->ov_depth.assign(size_t(cells) + 1, 0.0);
  m->storm_sewer_on = 1;
  m->storm_sewer_path = "s.sl";
  pluvo::wire_neighbour_services();
  pluvo::printed_by([&] { pluvo::setup_superlink_grid_links(*m); });
  return m;
}

// One solve of dt seconds, counted as the step counts it; the solve's result.
inline int solve_once(pluvo::model_state& m, double dt, pluvo::superlink_volumes& out) {
  int r = 0;
  pluvo::printed_by([&] { r = pluvo::solve_superlink_network(m, dt, out); });
  m.superlink_call_count += 1;
  return r;
}

}  // namespace pluvo_test
