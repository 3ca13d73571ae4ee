// Pieces the global modes share.
#include "calibration/toolbox/global_common.hpp"

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
