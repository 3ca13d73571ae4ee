#pragma once
// Template files (checked and indexed) and instruction files (read against the model's output
// after every run) of the estimation toolbox.
#include <array>
#include <cstdio>

#include "calibration/toolbox/control_file.hpp"
#include "calibration/toolbox/restart_file.hpp"

namespace pluvo::toolbox {

constexpr int max_toolbox_files = 25;
constexpr int max_template_markers = 10000;
using toolbox_file_handles = std::array<std::FILE*, max_toolbox_files>;

// Each gives 0, or 1 after its message (the mode then ends with that status).
int open_template_files(toolbox_control& c, toolbox_file_handles& handles);
int check_template_files(toolbox_control& c, toolbox_file_handles& handles);
int close_template_files(toolbox_control& c, toolbox_file_handles& handles);
int open_instruction_files(toolbox_control& c, toolbox_file_handles& handles);
int close_instruction_files(toolbox_control& c, toolbox_file_handles& handles);
// Reads model output file k through instruction file k into simulated slot `slot`.
int read_model_output_observation(toolbox_control& c, const toolbox_output_names& names, int k,
                                  int slot, toolbox_file_handles& handles);

}  // namespace pluvo::toolbox
