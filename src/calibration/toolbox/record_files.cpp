// Record, parameter and sensitivity files of the estimation toolbox.
#include "calibration/toolbox/record_files.hpp"

#include <cmath>
#include <string>

namespace pluvo::toolbox {

double untransformed(const toolbox_parameter& p) {
  return p.partrans == "log" ? std::pow(10.0, p.value) : p.value;
}

namespace {

// Numbers of the adjustable parameters in file order, from 1.
std::vector<int> adjustable_list(const toolbox_control& c) {
  std::vector<int> list(1, 0);
  list_adjustable_parameters(c, list);
  int n = 0;
  for (int k = 1; k <= c.npar; ++k) n += is_adjustable(c.parameters[size_t(k)]);
  list.resize(size_t(n) + 1);
  return list;
}

void group_lines(std::FILE* f, const toolbox_control& c, const char* format) {
  for (int g = 1; g <= c.nobsgp; ++g)
    std::fprintf(f, format, c.observation_groups[size_t(g)].name.c_str(),
                 c.observation_groups[size_t(g)].contribution);
}

// One row over the adjustable parameters; the line ends at the control file's last parameter,
// so a trailing tied or fixed parameter leaves a tab before the line end.
template <class Cell>
void matrix_row(std::FILE* f, const toolbox_control& c, Cell&& cell) {
  int column = 0;
  for (int p = 1; p <= c.npar; ++p) {
    if (is_adjustable(c.parameters[size_t(p)])) {
      cell(++column, p);
      std::fputs(p == c.npar ? "\n" : "\t", f);
    } else if (p == c.npar) {
      std::fputs("\n", f);
    }
  }
}

void write_matrix(std::FILE* f, const toolbox_control& c, const std::vector<int>& adj,
                  const char* title, const matrix_cal& m, bool small_in_exponent_form) {
  std::fputs(title, f);
  std::fputs("\t\t", f);
  matrix_row(f, c, [&](int, int p) { std::fputs(c.parameters[size_t(p)].name.c_str(), f); });
  for (size_t i = 1; i < adj.size(); ++i) {
    std::fprintf(f, "%s\t", c.parameters[size_t(adj[i])].name.c_str());
    matrix_row(f, c, [&](int j, int) {
      const double v = m[int(i)][j];
      if (small_in_exponent_form && !(std::fabs(v) > 0.0001))
        std::fprintf(f, "%.4E", v);
      else
        std::fprintf(f, "%lf", v);
    });
  }
  std::fputs("\n\n", f);
}

void iteration_header(std::FILE* f, const toolbox_control& c, int iteration, int model_calls,
                      double phi, double regularisation_phi, double start_phi) {
  const bool regularising = regularisation_mode(c);
  if (!regularising && c.pestmode != "estimation") return;
  std::fputs("\n", f);
  std::fprintf(f, "OPTIMIZATION ITERATION NO.\t\t\t\t: %d\n", iteration);
  std::fprintf(f, "Model Calls so far\t\t\t\t\t: %d\n", model_calls);
  if (regularising) {
    std::fprintf(f, "Current regularization weight factor                      =  %E\n",
                 c.weight_factor);
    std::fprintf(f, "Current value of measurement objective function           =  %E\n", phi);
    std::fprintf(f, "Current value of regularisation objective function        =  %E\n\n",
                 regularisation_phi);
    std::fprintf(f, "Starting objective function value for this iteration\t: %E\n", start_phi);
  } else {
    std::fprintf(f, "Starting objective function value for this iteration\t: %E\n", phi);
  }
  group_lines(f, c, "Contribution to phi from observation group '%s'\t= %E\n");
  std::fputs("\n", f);
}

void estimates_only(std::FILE* rec, const toolbox_control& c, const std::vector<int>& adj) {
  std::fputs("Adjustable Parameters ----->\n", rec);
  std::fputs("\n", rec);
  std::fputs("Parameter        Estimated\n", rec);
  std::fputs("                 value\n", rec);
  for (size_t m = 1; m < adj.size(); ++m) {
    const toolbox_parameter& p = c.parameters[size_t(adj[m])];
    std::fprintf(rec, "%s              %10lf\n", p.name.c_str(), untransformed(p));
  }
  std::fputs("\n\n\n", rec);
}

}  // namespace

int write_record_header(char** argv, const toolbox_control& c, std::FILE* rec) {
  std::fputs("\n                            RECORD FILE \n\n", rec);
  std::fputs("\nINPUT INFORMATION \n\n", rec);
  std::fputs("\nINPUT CONTROL FILE \n\n", rec);
  std::fprintf(rec, "Input control file case name: %s\n\n", argv && argv[2] ? argv[2] : "");
  std::fputs("\nALGORITHM \n\n", rec);
  if (c.method == 0) {
    std::fputs("The LM method is employed for this case.", rec);
  } else if (c.method == 1) {
    std::fputs("The SLM method is employed for this case.", rec);
    std::fprintf(rec,
                 "\n\nThe number of columns used for cyclic updating with the SLM method for "
                 "this case is: %d.",
                 c.cyclic_columns);
    if (c.full_update == 1) {
      std::fputs("\n\nFull updating of the model sensitivity matrix was activated with the SLM "
                 "method for this case.",
                 rec);
      std::fprintf(rec,
                   "\n\nThe threshold value (i.e., the ratio of the current to the previous "
                   "objective function value) specified to activate a full update with the SLM "
                   "method for this case is %lf.",
                   c.full_update_threshold);
    }
  }
  std::fputs("\n\n\nCONTROL DATA INPUT", rec);
  std::fprintf(rec,
               "\n\nThe number of parameters specified in the input control file is:\t\t\t\t%d",
               c.npar);
  std::fprintf(rec,
               "\nThe number of adjustable model parameters specified in the input control "
               "file is:\t\t%d",
               c.adjustable_count);
  std::fprintf(rec,
               "\nThe number of fixed model parameters specified in the input control file "
               "is:\t\t\t%d",
               c.fixed_count);
  std::fprintf(rec,
               "\nThe number of tied model parameters specified in the input control file "
               "is:\t\t\t%d",
               c.tied_count);
  std::fprintf(rec,
               "\nThe number of observations specified in the input control file is:\t\t\t\t%d",
               c.nobs);
  std::fprintf(rec,
               "\nThe number of pieces of prior information specified in the input control file "
               "is:\t\t%d",
               c.nprior);
  std::fprintf(rec,
               "\nThe number of parameter groups specified in the input control file "
               "is:\t\t\t\t%d",
               c.npargp);
  std::fprintf(rec,
               "\nThe number of observation groups specified in the input control file "
               "is:\t\t\t%d",
               c.nobsgp);
  std::fputs("\n\n\n", rec);
  return 0;
}

int write_initial_record(std::FILE* rec, std::FILE* par, double measurement_phi,
                         double regularisation_phi, double phi, const toolbox_control& c) {
  std::fputs("                            OPTIMIZATION RECORD\n\n", rec);
  std::fputs("INITIAL CONDITIONS:\n", rec);
  if (regularisation_mode(c)) {
    std::fprintf(rec, "  Current regularization weight factor                      =  %E\n",
                 c.regularisation[3]);
    std::fprintf(rec, "  Current value of measurement objective function           =  %E\n",
                 measurement_phi);
    std::fprintf(rec, "  Current value of regularisation objective function        =  %E\n\n",
                 regularisation_phi);
  }
  std::fprintf(rec, "   Sum of squared weighted residuals = %E\n", phi);
  group_lines(rec, c, "   Contribution to phi from observation group '%s' = %E\n");
  std::fputs("\n", rec);
  std::fputs("      Current parameter values\n", rec);
  for (int k = 1; k <= c.npar; ++k) {
    const toolbox_parameter& p = c.parameters[size_t(k)];
    std::fprintf(rec, "      %s               %lf\n", p.name.c_str(), untransformed(p));
    std::fprintf(par, "%lf\n", untransformed(p));
  }
  return 0;
}

int print_run_record(const toolbox_output_names& names, double measurement_phi,
                     double regularisation_phi, double phi, const toolbox_control& c) {
  std::printf("\n");
  std::printf("Run record: case %s\n", names.case_name.c_str());
  std::printf("\n");
  std::printf("Model command line:\n");
  std::printf("pre PLUVO batch file : %s\n", c.pre_batch.c_str());
  std::printf("post PLUVO batch file : %s\n", c.post_batch.c_str());
  std::printf("\n");
  std::printf("Running model ...\n");
  std::printf("\n");
  if (regularisation_mode(c)) {
    std::printf("  Current regularization weight factor                      =  %E\n",
                c.regularisation[3]);
    std::printf("  Current value of measurement objective function           =  %E\n",
                measurement_phi);
    std::printf("  Current value of regularisation objective function        =  %E\n\n",
                regularisation_phi);
  }
  std::printf("Sum of squared weighted residuals = %E\n", phi);
  group_lines(stdout, c, "Contribution to phi from observation group '%s' = %E\n");
  std::printf("\n");
  return 0;
}

int write_iteration_header(const toolbox_control& c, std::FILE* rec, int iteration,
                           int model_calls, double phi, double regularisation_phi,
                           double start_phi) {
  iteration_header(rec, c, iteration, model_calls, phi, regularisation_phi, start_phi);
  return 0;
}

int print_iteration_header(const toolbox_control& c, int iteration, int model_calls, double phi,
                           double regularisation_phi, double start_phi) {
  iteration_header(stdout, c, iteration, model_calls, phi, regularisation_phi, start_phi);
  return 0;
}

void student_t_95(int dof, double& t) {
  static constexpr double table[] = {4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262,
                                     2.228, 2.201, 2.179, 2.160, 2.145, 2.131, 2.120, 2.110,
                                     2.101, 2.093, 2.086, 2.080, 2.074, 2.069, 2.064, 2.060,
                                     2.056, 2.052, 2.048, 2.045, 2.042};
  static constexpr double anchor_dof[] = {30, 40, 60, 120, 9999999};
  static constexpr double anchor_t[] = {2.042, 2.021, 2.000, 1.980, 1.960};
  if (dof >= 2 && dof <= 30) {
    t = table[dof - 2];
    return;
  }
  for (int a = 0; a < 4; ++a) {
    if (dof > anchor_dof[a] && dof <= anchor_dof[a + 1]) {
      const double share = (dof - anchor_dof[a]) / (anchor_dof[a + 1] - anchor_dof[a]);
      t = anchor_t[a] + share * (anchor_t[a + 1] - anchor_t[a]);
      return;
    }
  }
}

int write_optimisation_results(std::FILE* rec, double phi, const matrix_cal& covariance,
                               const matrix_cal& correlation, const matrix_cal& eigenvectors,
                               const std::vector<double>& eigenvalues, const toolbox_control& c,
                               int singular, const matrix_cal& prior_coefficients) {
  const std::vector<int> adj = adjustable_list(c);
  const int n_adj = static_cast<int>(adj.size()) - 1;
  const bool no_statistics = singular == 1 || c.noptmax == 0;
  std::fputs("\n\n", rec);
  std::fputs("                            OPTIMISATION RESULTS\n", rec);
  std::fputs("\n\n", rec);
  if (no_statistics) {
    std::fputs("Covariance matrix and parameter confidence intervals cannot be determined:\n", rec);
    if (singular == 1) std::fputs("Normal matrix nearly singular; cannot be inverted.\n\n", rec);
    if (c.noptmax == 0)
      std::fputs("No optimisation iterations carried out so Jacobian never calculated..\n\n", rec);
    estimates_only(rec, c, adj);
  } else {
    const int dof = c.nobs + c.nprior - n_adj;
    double t = 0.0;
    if (dof == 1)
      t = 12.706;
    else
      student_t_95(dof, t);
    std::fputs("Adjustable Parameters ----->\n", rec);
    std::fputs("\n", rec);
    std::fputs("Parameter        Estimated         95 percent confidence limits\n", rec);
    std::fputs("                 value             lower limit       upper limit\n", rec);
    for (int m = 1; m <= n_adj; ++m) {
      const toolbox_parameter& p = c.parameters[size_t(adj[size_t(m)])];
      const double s = std::sqrt(covariance[m][m]);
      double v = p.value, lo = p.value - t * s, hi = p.value + t * s;
      if (p.partrans == "log") {
        v = std::pow(10.0, v);
        lo = std::pow(10.0, lo);
        hi = std::pow(10.0, hi);
      }
      std::fprintf(rec, "%s              %10lf         %10lf        %10lf\n", p.name.c_str(), v,
                   lo, hi);
    }
    std::fputs("\n", rec);
    std::fputs("Note: confidence limits provide only an indication of parameter uncertainty.\n",
               rec);
    std::fputs("      They rely on a linearity assumption which  may not extend as far in\n", rec);
    std::fputs("      parameter space as the confidence limits themselves.\n\n\n", rec);
  }
  bool any_tied = false, any_fixed = false;
  for (int k = 1; k <= c.npar; ++k) {
    any_tied |= c.parameters[size_t(k)].partrans == "tied";
    any_fixed |= c.parameters[size_t(k)].partrans == "fixed";
  }
  if (any_tied) {
    std::fputs("Tied parameters ----->\n\n", rec);
    for (int k = 1; k <= c.npar; ++k)
      if (c.parameters[size_t(k)].partrans == "tied")
        std::fprintf(rec, "%s              %10lf\n", c.parameters[size_t(k)].name.c_str(),
                     untransformed(c.parameters[size_t(k)]));
    std::fputs("\n\n", rec);
  }
  if (any_fixed) {
    std::fputs("Fixed parameters ----->\n\n", rec);
    std::fputs("Parameter        Fixed value\n", rec);
    for (int k = 1; k <= c.npar; ++k)
      if (c.parameters[size_t(k)].partrans == "fixed")
        std::fprintf(rec, "%s              %10lf\n", c.parameters[size_t(k)].name.c_str(),
                     untransformed(c.parameters[size_t(k)]));
    std::fputs("\n\n", rec);
  }
  std::fputs("Observations ----->\n", rec);
  std::fputs("\n", rec);
  std::fputs("Observation            Measured       Calculated     Residual       Weight     Group\n",
             rec);
  std::fputs("                       value          value\n", rec);
  for (int k = 1; k <= c.nobs; ++k) {
    const toolbox_observation& o = c.observations[size_t(k)];
    std::fprintf(rec, "%s\t\t%.20lf\t%.20lf\t%.20lf\t%lf\t%s\n", o.name.c_str(), o.measured,
                 o.simulated[0], o.measured - o.simulated[0], o.weight, o.group.c_str());
  }
  std::fputs("\n\n", rec);
  if (c.nprior > 0) {
    std::vector<double> values(size_t(n_adj) + 1, 0.0), calculated(size_t(c.nprior) + 1, 0.0);
    for (int m = 1; m <= n_adj; ++m) values[size_t(m)] = c.parameters[size_t(adj[size_t(m)])].value;
    dmvmult(prior_coefficients, c.nprior, n_adj, values, n_adj, calculated);
    std::fputs("Prior information ----->\n", rec);
    std::fputs("\n", rec);
    std::fputs("Prior                  Provided       Calculated     Residual       Weight     Group\n",
               rec);
    std::fputs("information            value          value\n", rec);
    for (int k = 1; k <= c.nprior; ++k) {
      const toolbox_prior_item& item = c.prior[size_t(k)];
      std::fprintf(rec, "%s\t\t%.20lf\t%.20lf\t%.20lf\t%lf\t%s\n", item.label.c_str(),
                   item.provided, calculated[size_t(k)], item.provided - calculated[size_t(k)],
                   item.weight, item.group.c_str());
    }
    std::fputs("\n\n", rec);
  }
  std::fputs("\n", rec);
  std::fputs("Objective function ----->\n", rec);
  std::fputs("\n", rec);
  std::fprintf(rec, "Sum of squared weighted residuals (ie phi)\t\t: %E\n", phi);
  group_lines(rec, c, "Contribution to phi from observation group '%s'\t= %E\n");
  std::fputs("\n\n", rec);
  if (!no_statistics) {
    write_matrix(rec, c, adj, "Parameter covariance matrix ----->\n", covariance, true);
    write_matrix(rec, c, adj, "Parameter correlation coefficient matrix ----->\n", correlation,
                 false);
    write_matrix(rec, c, adj, "Normalized eigenvectors of covariance matrix ----->\n",
                 eigenvectors, false);
    std::fputs("Eigenvalues ----->\n", rec);
    std::fputs("\n", rec);
    std::fputs("\t", rec);
    for (int m = 1; m <= n_adj; ++m) {
      const double v = eigenvalues[size_t(m)];
      if (std::fabs(v) > 0.0001)
        std::fprintf(rec, "%lf\t", v);
      else
        std::fprintf(rec, "%.4E\t", v);
    }
  } else {
    std::fputs("Covariance and other statistical matricies cannot be determined:\n", rec);
    if (singular == 1) std::fputs("Normal matrix nearly singular; cannot be inverted.\n", rec);
    if (c.noptmax == 0)
      std::fputs("No optimisation iterations carried out so Jacobian never calculated.\n", rec);
  }
  return 0;
}

namespace {

// Composite sensitivity of every adjustable parameter over the weighted rows of one group (or of
// all groups when `group` is null); gives the number of rows.
int composite(toolbox_control& c, const matrix_cal& jacobian, const matrix_cal& regularisation,
              const std::vector<int>& adj, const std::string* group) {
  const bool regularising = regularisation_mode(c);
  struct row {
    const matrix_cal* matrix;
    int index;
    double weight;
  };
  std::vector<row> rows;
  for (int k = 1; k <= c.nobs; ++k) {
    const toolbox_observation& o = c.observations[size_t(k)];
    if (o.weight > 0.0 && (!group || o.group == *group)) rows.push_back({&jacobian, k, o.weight});
  }
  for (int k = 1; k <= c.nprior; ++k) {
    const toolbox_prior_item& p = c.prior[size_t(k)];
    if (!(p.weight > 0.0) || (group && p.group != *group)) continue;
    if (regularising)
      rows.push_back({&regularisation, c.nobs + k, p.weight * c.weight_factor});
    else
      rows.push_back({&jacobian, c.nobs + k, p.weight});
  }
  if (rows.empty()) return 0;
  for (size_t m = 1; m < adj.size(); ++m) {
    double sum = 0.0;
    for (const row& r : rows) {
      const double v = r.weight * (*r.matrix)[r.index][int(m)];
      sum += v * v;
    }
    c.parameters[size_t(adj[m])].sensitivity = std::sqrt(sum) / double(rows.size());
  }
  return static_cast<int>(rows.size());
}

void sensitivity_table(std::FILE* sen, const toolbox_control& c, const std::vector<int>& adj) {
  std::fputs(" Parameter name    Group          Current value    Sensitivity       \n", sen);
  for (size_t m = 1; m < adj.size(); ++m) {
    const toolbox_parameter& p = c.parameters[size_t(adj[m])];
    std::fprintf(sen, "%s\t%s\t%lf\t%lf\n", p.name.c_str(), p.group.c_str(), untransformed(p),
                 p.sensitivity);
  }
}

}  // namespace

int write_sensitivities(toolbox_control& c, const matrix_cal& jacobian,
                        const matrix_cal& regularisation_jacobian,
                        const toolbox_output_names& names, int iteration, std::FILE* sen,
                        int final_flag) {
  const std::vector<int> adj = adjustable_list(c);
  if (final_flag == 0) {
    if (iteration == 1) {
      std::fprintf(sen, "                        PARAMETER SENSITIVITIES: CASE %s\n",
                   names.case_name.c_str());
      std::fputs("\n\n", sen);
    }
    std::fprintf(sen, " OPTIMISATION ITERATION NO.\t%d ----->\n", iteration);
    sensitivity_table(sen, c, adj);
    std::fputs("\n\n", sen);
    return 0;
  }
  std::fputs("\n", sen);
  std::fputs("                        COMPLETION OF OPTIMISATION PROCESS\n\n", sen);
  for (int g = 1; g <= c.nobsgp; ++g) {
    const std::string name = c.observation_groups[size_t(g)].name;
    std::fprintf(sen, " Composite sensitivities for observation group \"%s\" ----->\n\n",
                 name.c_str());
    const int rows = composite(c, jacobian, regularisation_jacobian, adj, &name);
    if (rows == 0) {
      std::fputs("\n No observations/prior_info with non-zero weight belong to this group.\n\n",
                 sen);
    } else {
      std::fprintf(sen, " Number of observations with non-zero weight =\t%d\n", rows);
      sensitivity_table(sen, c, adj);
    }
    std::fputs("\n\n", sen);
  }
  std::fputs(" Composite sensitivities for all observations/prior info ----->\n\n", sen);
  const int rows = composite(c, jacobian, regularisation_jacobian, adj, nullptr);
  std::fprintf(sen, " Number of observations with non-zero weight =\t%d\n", rows);
  sensitivity_table(sen, c, adj);
  return 0;
}

}  // namespace pluvo::toolbox
