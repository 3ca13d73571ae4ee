#pragma once
// How the toolbox measures fit and decides when the lambda trials and the estimation stop.
#include <cstdio>
#include <vector>

#include "calibration/toolbox/control_file.hpp"
#include "calibration/toolbox/numerics.hpp"

namespace pluvo::toolbox {

// Weighted sum of squared residuals per observation group, from simulated slot 0 or 1.
int calc_phi(toolbox_control& c, int slot, double& phi);
// Adds the prior-information terms to their groups; `prior_phi` is their part of phi. Follows
// calc_phi in the same evaluation.
int calc_prior_values(toolbox_control& c, const matrix_cal& prior_coefficients, double& prior_phi);
// The Marquardt lambda of the next trial, kept in c.rlambda1.
int adjust_lambda(double start_lambda, double& previous_lambda, int& increasing,
                  double trial_phi_now, const std::vector<double>& trial_phi, int trial,
                  toolbox_control& c);
// When the trials stop, `keep` gets the trial to keep (0: none qualifies, keep the starting
// parameters); otherwise it is left alone.
int check_lambda_termination(std::FILE* record, double start_phi, int trials,
                             const std::vector<double>& trial_phi, const toolbox_control& c,
                             int& keep);
int check_termination(std::FILE* record, int iteration, int lowest_reference,
                      int small_change_count, const std::vector<double>& iteration_phi,
                      double lowest_phi, double phi, const toolbox_control& c, int& stop,
                      int model_calls);

}  // namespace pluvo::toolbox
