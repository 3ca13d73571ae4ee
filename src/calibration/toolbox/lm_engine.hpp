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

// What a global mode keeps across its local searches: the points visited (one column of all
// parameter values each, rows 1..NPAR), their objective functions for the multi-level search,
// the count of columns in use (the search's start point included at entry), the room, and where
// the search's model-run count goes. A search ends once its iterate comes near a point stored
// before it began.
struct local_search_store {
  matrix_cal* trajectory = nullptr;
  matrix_cal* objectives = nullptr;  // one row; the multi-level search only
  int* count = nullptr;
  int capacity = 0;
  int* runs = nullptr;
  bool mlsl = false;  // relative changes on the stored values
};

// 0, or the first non-zero status of a step, which ends the estimation at once. With a store it
// is the local search of a global mode.
int lm_optimise(int argc, char** argv, toolbox_control& c, const toolbox_output_names& names,
                toolbox_files& files, toolbox_file_handles& templates,
                toolbox_file_handles& instructions, local_search_store* store = nullptr);
// The local searches of the global modes: lm_optimise with the points visited stored in
// `trajectory` (columns 1..*count in use, the search's start point included at entry; the
// multi-level search also keeps each point's objective function), ended once its iterate comes
// near a point stored before it began. *runs receives the model runs the search made.
int lm_optimise_tr(int argc, char** argv, toolbox_control& c, const toolbox_output_names& names,
                   toolbox_files& files, toolbox_file_handles& templates,
                   toolbox_file_handles& instructions, matrix_cal& trajectory, int* count,
                   int* runs);
int lm_optimise_mlsl(int argc, char** argv, toolbox_control& c, const toolbox_output_names& names,
                     toolbox_files& files, toolbox_file_handles& templates,
                     toolbox_file_handles& instructions, matrix_cal& trajectory,
                     matrix_cal& trajectory_objective, int* count, int* runs);
// Sets `terminate` when the current values lie within the repulsion distance (normalised by the
// bounds) of one of the first m stored points, but farther than 1e-10 from it.
int near_previous_point(int m, const matrix_cal& trajectory, int count, const toolbox_control& c,
                        int& terminate);
// Broyden's rank-one update of the sensitivity matrix with the trial values in place.
int slm_update_jacobian(const toolbox_control& c, matrix_cal& j, const matrix_cal& p,
                        const std::vector<int>& adj);
void calc_covariance_matrix(const matrix_cal& best_j, const matrix_cal& q, double phi,
                            matrix_cal& covariance, const toolbox_control& c, int& singular);
void scale_by_diagonal(const matrix_cal& c2, matrix_cal& r, const toolbox_control& c);
// The ".par" file anew: every parameter of the stored values (1-based), log ones raised again.
void rewrite_par(std::FILE* par, const toolbox_control& c, const std::vector<double>& values);

}  // namespace pluvo::toolbox
