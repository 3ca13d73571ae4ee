#pragma once
// A rectangular aquifer of rows x cols square cells on a flat bottom, every cell solved, for
// calling the groundwater solver directly (tests and benchmarks).
#include <memory>

#include "input/grid_setup.hpp"
#include "record/model_state.hpp"

namespace pluvo {

struct aquifer_spec {
  int rows = 21;
  int cols = 21;
  double cell = 10.0;         // m
  double head = 20.0;         // m above the bottom at 0
  double conductivity = 1e-4; // m/s
  double porosity = 0.2;
  double ground = 1000.0;     // land surface, far above the water table
};

inline std::unique_ptr<model_state> make_aquifer(const aquifer_spec& a) {
  auto m = std::make_unique<model_state>();
  m->cell_size = a.cell;
  m->mask_rows = a.rows;
  m->mask_cols = a.cols;
  m->cell_number_grid.resize(a.rows, a.cols, 0);
  int n = 0;
  for (int r = 1; r <= a.rows; ++r)
    for (int c = 1; c <= a.cols; ++c) m->cell_number_grid(r, c) = ++n;
  m->cell_count = n;
  const size_t size = size_t(n) + 1;
  for (auto* v : {&m->rightcon, &m->belowcon, &m->abovecon, &m->leftcon}) v->assign(size, 0);
  build_cell_neighbours(a.rows, a.cols, m->rightcon, m->belowcon, m->abovecon, m->leftcon, m->cell_number_grid);
  m->gw_simulation_on = 1;
  m->elevgw.assign(size, a.head);
  m->bottom_elev.assign(size, 0.0);
  m->elevation.assign(size, a.ground);
  m->gwbound.assign(size, 1);
  m->gw_hycond.assign(size, a.conductivity);
  m->gw_porosity.assign(size, a.porosity);
  m->gw_storage_coeff.assign(size, a.porosity);
  m->gw_cell_width_x.assign(size, a.cell);
  m->gw_cell_width_y.assign(size, a.cell);
  m->gw_static_flux.assign(size, 0.0);
  m->unsat_downward_flux.assign(size, 0.0);
  m->gw_relax_coeff_value = 1.0;
  m->gw_lsor_con_value = 1e-10;
  m->gw_lsor_direction = 1;
  m->gw_step_toggle = 1;
  return m;
}

inline int cell_at(const model_state& m, int row, int col) { return m.cell_number_grid(row, col); }

}  // namespace pluvo
