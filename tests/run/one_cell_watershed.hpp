#pragma once
#include <string>

#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo_test {

// A one-cell watershed for a bare project, given just before the project's files are opened.
inline void give_one_cell_watershed(pluvo::model_state& m) {
  const char* header = "north: 10\nsouth: 0\neast: 10\nwest: 0\nrows: 1\ncols: 1\n";
  write_file("one.msk", std::string(header) + "1\n");
  write_file("one.ele", std::string(header) + "5\n");
  m.watershed_mask_path = "one.msk";
  m.elevation_path = "one.ele";
  m.summary_path = "one.sum";
  m.outlet_hydro_path = "one.hyd";
  m.project_rows = m.project_cols = m.mask_rows = m.mask_cols = 1;
  m.outlet_row = m.outlet_col = 1;
  m.cell_size = 10.0;
  // The cards the time options copy from.
  m.rows = m.cols = 1;
  m.outrow = m.outcol = 1;
  m.gridsize = 10.0;
  m.manning_n_value = 0.03;
}

}  // namespace pluvo_test
