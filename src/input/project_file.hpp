#pragma once
// The project-file reader: the format line, the cards and their option blocks.
//   read_project_file     reads a whole project file into the three option blocks
//   classify_project_card takes the keyword off a line and returns its card code
//   find_project_folder   pre-scans a project file for its project directory only
#include "record/option_blocks.hpp"

namespace pluvo {

// The longest card line a project file may hold.
constexpr int project_line_max = 255;

// Reads the project file into the blocks. Failures set run.project_open_error (file not
// found) or the error state (bad format line 4000, nutrient card order 79, CALIB_* 103/104).
void read_project_file(const char* name, option_files_block& files, run_parameters_block& run,
                       precip_options_block& precip, int silent);

// Removes the keyword from the front of line and returns its code, or 180 for empty lines,
// comments, ignored and unknown keywords (the last warned about unless silent is 1).
int classify_project_card(char* line, int silent);

// Sets the process-wide project directory from a PROJECT_FOLDER card or the file's own folder.
void find_project_folder(const char* name);

}  // namespace pluvo
