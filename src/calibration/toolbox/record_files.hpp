#pragma once
// The fixed sections of the toolbox's record (".rec"), parameter (".par") and sensitivity
// (".sen") files, and their screen twins.
#include <cstdio>

#include "calibration/toolbox/control_file.hpp"
#include "calibration/toolbox/numerics.hpp"
#include "calibration/toolbox/restart_file.hpp"

namespace pluvo::toolbox {

int write_record_header(char** argv, const toolbox_control& c, std::FILE* rec);
int write_initial_record(std::FILE* rec, std::FILE* par, double measurement_phi,
                         double regularisation_phi, double phi, const toolbox_control& c);
int print_run_record(const toolbox_output_names& names, double measurement_phi,
                     double regularisation_phi, double phi, const toolbox_control& c);
int write_iteration_header(const toolbox_control& c, std::FILE* rec, int iteration,
                           int model_calls, double phi, double regularisation_phi,
                           double start_phi);
int print_iteration_header(const toolbox_control& c, int iteration, int model_calls, double phi,
                           double regularisation_phi, double start_phi);
int write_optimisation_results(std::FILE* rec, double phi, const matrix_cal& covariance,
                               const matrix_cal& correlation, const matrix_cal& eigenvectors,
                               const std::vector<double>& eigenvalues, const toolbox_control& c,
                               int singular, const matrix_cal& prior_coefficients);
// Two-sided 95 % point of Student's t; `t` is left alone outside 2..9999999.
void student_t_95(int degrees_of_freedom, double& t);
int write_sensitivities(toolbox_control& c, const matrix_cal& jacobian,
                        const matrix_cal& regularisation_jacobian,
                        const toolbox_output_names& names, int iteration, std::FILE* sen,
                        int final_flag);

// A parameter's value as the user gave it: stored logarithms are raised again.
double untransformed(const toolbox_parameter& p);

}  // namespace pluvo::toolbox
