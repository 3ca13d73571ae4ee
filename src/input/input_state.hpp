#pragma once
// Project options and the files the project names. The three option blocks are bases, so
// every card field is reached by its own name (m.timestep, m.albedo_file).
#include "common/checked_file.hpp"
#include "input/option_blocks.hpp"

namespace pluvo {

struct input_state : option_files_block, run_parameters_block, precip_options_block {
  checked_file summary_fp;  // run summary; the error log once open
};

}  // namespace pluvo
