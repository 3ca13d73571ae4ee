#pragma once
// What every toolbox mode opens before its first model run and closes at its end: the control
// record checked, the template and instruction files, and the case's output files.
#include "calibration/toolbox/control_file.hpp"
#include "calibration/toolbox/lm_engine.hpp"
#include "calibration/toolbox/restart_file.hpp"
#include "calibration/toolbox/template_files.hpp"

namespace pluvo::toolbox {

struct toolbox_session {
  toolbox_file_handles templates{};
  toolbox_file_handles instructions{};
  toolbox_output_names names;
  toolbox_files files;
};

// Reads and checks the control, template and instruction files, removes a stale stop file,
// refuses prediction mode (with the mode's own lines), models without adjustable parameters,
// values outside their bounds and NUMLAM below 1, and opens the output files. 0 when the mode
// may go on; otherwise the status to end it with, after the message.
int open_toolbox_session(int argc, char** argv, toolbox_control& c, toolbox_session& s,
                         const char* const* prediction_lines);
void close_toolbox_session(toolbox_control& c, toolbox_session& s);

// The shared argument check: no control file, or a fourth word other than "/r".
int check_toolbox_arguments(int argc, char** argv, const char* mode);

}  // namespace pluvo::toolbox
