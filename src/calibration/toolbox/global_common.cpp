// Pieces the global modes share.
#include "calibration/toolbox/global_common.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pluvo::toolbox {

int no_command_line_arguments() {
  std::printf("\n");
  std::printf("No command line arguments.\n");
  std::printf("At the command prompt, please enter appropriate additional information.\n");
  std::printf("Review the PLUVO user's manual as needed.\n");
  return 1;
}

bool count_in_range(const char* file, const char* what, long value, long low, long high) {
  if (value >= low && value <= high) return true;
  std::printf("Error: %s: %s is %ld; it must lie between %ld and %ld\n", file, what, value, low, high);
  return false;
}

bool trajectory_fits(const toolbox_control& c, long searches, const char* file) {
  // 16 M values (128 MB) hold any sensible search.
  constexpr double room = 16.0 * 1024 * 1024;
  const double values = (std::max(c.noptmax, 0) + 1.0) * double(searches) * (c.npar + 1.0);
  if (values <= room) return true;
  std::printf("Error: %s: %ld searches of up to NOPTMAX %d iterations over %d parameters would keep %.0f "
              "points; at most %.0f fit\n",
              file, searches, c.noptmax, c.npar, values, room);
  return false;
}

const char* const ms2_prediction_lines[] = {
    "\n", "Currently, the slm_vyn_ms2 does not support prediction capabilities.\n",
    "Please change the PESTMODE parameter in the input control\n",
    "file to 'estimation' and recommence execution of slm_vyn_ms2.\n", "\n", nullptr};

double shown(const toolbox_parameter& p, double stored) {
  return p.partrans == "log" ? std::pow(10.0, stored) : stored;
}

std::vector<double> current_point(const toolbox_control& c) {
  std::vector<double> v(size_t(c.npar) + 1, 0.0);
  for (int k = 1; k <= c.npar; ++k) v[size_t(k)] = c.parameters[size_t(k)].value;
  return v;
}

std::vector<double> objectives_of(const toolbox_control& c, bool failed) {
  std::vector<double> v(size_t(c.nobsgp) + 1, failed ? failed_objective : 0.0);
  if (failed) return v;
  for (int g = 1; g <= c.nobsgp; ++g) {
    v[size_t(g)] = c.observation_groups[size_t(g)].contribution;
    v[0] += v[size_t(g)];
  }
  return v;
}

}  // namespace pluvo::toolbox
