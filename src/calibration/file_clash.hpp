#pragma once
// The check that no output of a calibration or estimation overwrites one of its inputs, or
// another of its outputs, made before any of them is written.
#include <string>
#include <vector>

namespace pluvo {

struct calibration_file {
  std::string role;  // "the pair file", "a file of the case", ...
  std::string name;  // as the user wrote it, or as it will be written
  std::string path;  // where it is read or written; "" compares name
  bool output = false;
};

// True, after the numbered stop message naming both files, when an output is an input or an
// earlier output; owner names the file that must name other files ("the control file case.pst").
bool calibration_files_clash(const std::vector<calibration_file>& files, const std::string& owner);

// The input file of a -c or -m calibration, the three files it names, and the files every model
// evaluation writes; the driver adds its own outputs and checks the whole list.
std::vector<calibration_file> evaluation_files(const std::string& input_role, const std::string& input_file,
                                               const std::string& project_file, const std::string& pair_file,
                                               const std::string& observation_file);

// The path a calibration output of this process will be written at: its runs put the "%04d_"
// prefix in front of it (prefixed), or not (the files opened before the first run).
std::string planned_calibration_output(const std::string& name, bool prefixed);

}  // namespace pluvo
