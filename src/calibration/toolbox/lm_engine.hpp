#pragma once
// The Levenberg-Marquardt and secant Levenberg-Marquardt estimation engine of the toolbox.
#include <cstdio>

#include "calibration/toolbox/control_file.hpp"
#include "calibration/toolbox/numerics.hpp"
#include "calibration/toolbox/restart_file.hpp"
#include "calibration/toolbox/template_files.hpp"

namespace pluvo::toolbox {

struct toolbox_files {
  std::FILE* rec = nullptr;
  std::FILE* sen = nullptr;
  std::FILE* mtt = nullptr;
  std::FILE* par = nullptr;
};

// 0, or the first non-zero status of a step, which ends the estimation at once.
int lm_optimise(int argc, char** argv, toolbox_control& c, const toolbox_output_names& names,
                toolbox_files& files, toolbox_file_handles& templates,
                toolbox_file_handles& instructions);
// Broyden's rank-one update of the sensitivity matrix with the trial values in place.
int slm_update_jacobian(const toolbox_control& c, matrix_cal& j, const matrix_cal& p,
                        const std::vector<int>& adj);
void calc_covariance_matrix(const matrix_cal& best_j, const matrix_cal& q, double phi,
                            matrix_cal& covariance, const toolbox_control& c, int& singular);
void scale_by_diagonal(const matrix_cal& c2, matrix_cal& r, const toolbox_control& c);

}  // namespace pluvo::toolbox
