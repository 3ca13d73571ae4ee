#pragma once
// The parameter upgrade of a Levenberg-Marquardt lambda trial: damped normal equations, the
// optimal step length, and the step applied within the parameter bounds.
#include <cstdio>
#include <vector>

#include "calibration/toolbox/control_file.hpp"
#include "calibration/toolbox/numerics.hpp"

namespace pluvo::toolbox {

int calc_upgrade_vector(const matrix_cal& j, const matrix_cal& p, const matrix_cal& q,
                        const toolbox_control& c, std::vector<double>& u);
int calc_upgrade_vector_reduced(const matrix_cal& jr, const std::vector<double>& prior_values,
                                int m, int k, const matrix_cal& q, const toolbox_control& c,
                                std::vector<double>& u);
int optimal_upgrade_length_all(const matrix_cal& j, const matrix_cal& p, const matrix_cal& q,
                               const toolbox_control& c, std::vector<double>& u);
int optimal_upgrade_length(const matrix_cal& jr, const std::vector<double>& prior_values,
                           const matrix_cal& q, const toolbox_control& c, std::vector<double>& u);
int optimal_upgrade_length_2(const matrix_cal& jr, const std::vector<double>& prior_values,
                             const matrix_cal& q, const toolbox_control& c,
                             std::vector<double>& u);
// Leaves the parameters at the trial point and u equal to the step each one took.
int upgrade_parameters(const matrix_cal& j, const matrix_cal& p, const matrix_cal& q,
                       toolbox_control& c, std::vector<double>& u, const std::vector<int>& adj,
                       std::FILE* record);

// Stored values of the adjustable parameters, from 1; the prior values P x at them.
std::vector<double> adjustable_values(const toolbox_control& c, const std::vector<int>& adj);
std::vector<double> prior_values_at(const matrix_cal& p, const toolbox_control& c,
                                    const std::vector<double>& x);
// Every tied parameter follows its parent.
void follow_parents(toolbox_control& c);

}  // namespace pluvo::toolbox
