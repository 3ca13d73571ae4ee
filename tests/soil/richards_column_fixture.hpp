#pragma once
// Richards soil columns set up by the real soil-table reader and column set-up: every cell of
// soil class 1, read from a plain soil table written to the scratch folder.
#include <cstdio>
#include <memory>
#include <string>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "input/property_readers.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo_test {

// A Brooks and Corey soil of 1 cm/h in three layers (10, 40 and 50 cm), nodes `spacing` cm apart.
inline std::string brooks_soil_table(double initial, double spacing, double saturated = 0.45) {
  char layer[256];
  std::snprintf(layer, sizeof layer, "1.0 %g 0.05 %g 0.1 0.3 %%g 0.4 20 %g\n", saturated, initial, spacing);
  std::string text = "1\n0\n1\n";
  for (double t : {10.0, 40.0, 50.0}) {
    char line[256];
    std::snprintf(line, sizeof line, layer, t);
    text += line;
  }
  return text;
}

struct richards_columns {
  std::unique_ptr<pluvo::model_state> owner = std::make_unique<pluvo::model_state>();
  pluvo::model_state& m = *owner;

  // cells columns of the soil table text; water_table puts the table 1 m below the surface.
  richards_columns(int cells, const std::string& table, bool water_table = false) {
    pluvo::wire_neighbour_services();
    pluvo::error_state = pluvo::error_state_record();
    write_file("soil.tab", table);
    m.cell_count = cells;
    m.inf_richards_on = 1;
    m.richards_c_option_value = 1;
    // Upstream conductivities with a wet surface node: the geometric mean and a surface node as
    // dry as the soil let almost nothing into a dry column.
    m.richards_k_option_value = 1;
    m.richards_max_iter = 1;
    m.richards_upper_opt = 3;
    m.richards_weight_value = 1.0;
    m.richards_dtheta_max_value = 0.0025;
    m.time_step = 10.0;
    m.soiltype.assign(size_t(cells) + 1, 1);
    m.water_table_on = water_table ? 1 : 0;
    m.elevation.assign(size_t(cells) + 1, 10.0);
    m.bottom_elev.assign(size_t(cells) + 1, 9.0);
    m.aquifer_delta_z_value = 0.1;
    for (std::vector<double>* v : {&m.ov_depth, &m.infil_rate, &m.infil_depth, &m.unsat_downward_flux})
      v->assign(size_t(cells) + 1, 0.0);
    m.soil_layer_input_path = "soil.tab";
    pluvo::checked_file_open(m.soil_layer_table_fp, "soil.tab", "r");
    pluvo::setup_richards_soil_columns(m);
  }

  // Water of the soil nodes 1..numcells - 1 of a cell, cm.
  double storage(int cell) const {
    double w = 0.0;
    for (int j = 1; j < m.numcells[size_t(cell)]; ++j) w += m.THETA[cell][j] * m.DZ[cell][j];
    return w;
  }
};

}  // namespace pluvo_test
