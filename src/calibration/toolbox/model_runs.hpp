#pragma once
// One toolbox model run (values file, the model in process, the post-model command, the
// observations read back) and the finite-difference sensitivity matrix built from such runs.
#include <cstdio>
#include <vector>

#include "calibration/toolbox/control_file.hpp"
#include "calibration/toolbox/numerics.hpp"
#include "calibration/toolbox/restart_file.hpp"
#include "calibration/toolbox/template_files.hpp"

namespace pluvo::toolbox {

enum class value_field { stored, perturbed_1, perturbed_2 };

// Status of the last observation read (or 1 when no run could be made). The final runs of an
// estimation neither count nor poll the stop file.
int run_toolbox_model(toolbox_control& c, value_field field, int slot,
                      const toolbox_output_names& names, toolbox_file_handles& instructions,
                      char** argv, int& model_calls, bool final_run = false);
int calc_jacobian(toolbox_control& c, const std::vector<int>& adj,
                  const toolbox_output_names& names, matrix_cal& j, int& model_calls,
                  int switched, toolbox_file_handles& templates,
                  toolbox_file_handles& instructions, int iteration, int& cyclic_position,
                  char** argv);
// The parameters whose columns are due this iteration (repeats possible in the cyclic list).
std::vector<int> due_parameters(const toolbox_control& c, int iteration, int& cyclic_position,
                                bool& cyclic);
int count_jacobian_runs(const toolbox_control& c, int switched, const std::vector<int>& due,
                        bool cyclic, int iteration, int& count);
// The one (two-point) or two (three-point) perturbed stored values of a parameter.
void perturbed_points(const toolbox_parameter& prm, bool three, double& p1, double& p2);
int check_parameter_effect(toolbox_control& c, const matrix_cal& j, const matrix_cal& p,
                           std::FILE* record);

}  // namespace pluvo::toolbox
