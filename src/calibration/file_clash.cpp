#include "calibration/file_clash.hpp"

#include <cstdio>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/process.hpp"

namespace pluvo {

bool calibration_files_clash(const std::vector<calibration_file>& files, const std::string& owner) {
  std::vector<std::string> identity;
  for (const calibration_file& f : files) {
    const std::string& path = f.path.empty() ? f.name : f.path;
    identity.push_back(path.empty() ? std::string() : file_identity(path));
  }
  for (size_t i = 0; i < files.size(); ++i) {
    if (!files[i].output || identity[i].empty()) continue;
    for (size_t j = 0; j < i; ++j) {
      if (identity[j] != identity[i]) continue;
      stop_run("Error: %s, %.1000s, would overwrite %s, %.1000s; %.1100s must name other files. No file was "
               "written.\n",
               files[i].role.c_str(), files[i].name.c_str(), files[j].role.c_str(), files[j].name.c_str(),
               owner.c_str());
      return true;
    }
  }
  return false;
}

std::vector<calibration_file> evaluation_files(const std::string& input_role, const std::string& input_file,
                                               const std::string& project_file, const std::string& pair_file,
                                               const std::string& observation_file) {
  std::vector<calibration_file> files;
  const std::string names[] = {input_file, project_file, pair_file, observation_file};
  const std::string roles[] = {input_role, "the project file", "the pair file", "the observation file"};
  for (int k = 0; k < 4; ++k) files.push_back({roles[k], names[k], planned_file_path(names[k], 'r'), false});
  char cost[32], observed[32];
  std::snprintf(cost, sizeof cost, "%d_cost.out", process_index);
  std::snprintf(observed, sizeof observed, "%d_obs.log", process_index);
  for (const char* name : {"results_all.out", static_cast<const char*>(cost), static_cast<const char*>(observed)}) {
    const std::string path = planned_calibration_output(name, true);
    files.push_back({"an output of the calibration", path, path, true});
  }
  return files;
}

std::string planned_calibration_output(const std::string& name, bool prefixed) {
  const int saved_on = run_number_prefix_on, saved_number = run_number;
  // The runs number their files with the process index from the first evaluation on.
  run_number_prefix_on = prefixed ? 1 : 0;
  if (prefixed) run_number = process_index;
  const std::string path = planned_file_path(name, 'w');
  run_number_prefix_on = saved_on;
  run_number = saved_number;
  return path.empty() ? name : path;
}

}  // namespace pluvo
