#pragma once
// The restart snapshot of an estimation and the stop file polled between model runs.
#include <string>
#include <vector>

#include "calibration/toolbox/control_file.hpp"
#include "calibration/toolbox/numerics.hpp"

namespace pluvo::toolbox {

// The case name and the files named after it: ".rec", ".sen", ".mtt", ".par", ".rst".
struct toolbox_output_names {
  std::string case_name;
  std::string rec;
  std::string sen;
  std::string mtt;
  std::string par;
  std::string rst;
};

// The case name is argv[2] up to its first '.'.
int FilesNamesForWrite(char** argv, toolbox_output_names& names);

// The engine's part of the snapshot; the rest lives in the control record. Rows of both
// sensitivity matrices: observations, then prior items; columns: adjustable parameters.
struct restart_state {
  matrix_cal jacobian;
  matrix_cal jacobian_2;
  int iteration = 0;
  double phi = 0.0;
  double previous_phi = 0.0;
  std::vector<double> iteration_phi;       // from 1, one per iteration
  std::vector<double> best_parameters;     // from 1, NPAR
  std::vector<double> best_simulated;      // from 1, NOBS
  double lowest_phi = 0.0;
  int lowest_reference = 0;
  int three_point = 0;
  double largest_relative_change = 0.0;
  int small_change_count = 0;
  double last_relative_change = 0.0;
  std::vector<double> start_values;        // from 1, adjustable parameters
  int model_calls = 0;
  int cyclic_position = 0;
};

int write_restart_file(const restart_state& s, const toolbox_control& c,
                       const toolbox_output_names& names);
// Ends the process with status 1 when the file is missing or incomplete.
int read_restart_file(restart_state& s, toolbox_control& c, const toolbox_output_names& names);
// 0 when the estimation may go on; stop requests end the process.
int check_stop_file();

}  // namespace pluvo::toolbox
