// The record, parameter and sensitivity files of a tiny case, byte for byte.
#include "calibration/toolbox/record_files.hpp"

#include <gtest/gtest.h>

#include <string>

#include "calibration/toolbox/estimation_tests.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo::toolbox {
namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

// Two adjustable parameters (one log), a fixed one last; a zero-weight group.
const char* tiny_case =
    "pcf\n* control data\nrestart estimation\n3 3 1 0 2\n0 1 single point 1 0 0\n"
    "5.0 2.0 0.3 0.03 10\n3.0 3.0 0.001 0\n0.1 noaptmax\n30 0.01 3 3 0.01 3\n1 1 1\n"
    "0 0 0.9 2 0.5 project.prj\n"
    "* parameter groups\ng relative 0.01 0.0 switch 2.0 parabolic\n"
    "* parameter data\n"
    "a none factor 2.0 0.1 5.0 g 1.0 0.0 1\n"
    "b log factor 10.0 1.0 100.0 g 1.0 0.0 1\n"
    "n fixed factor 0.035 0.01 0.1 g 1.0 0.0 1\n"
    "* observation groups\nflows\nvols\n"
    "* observation data\nq1 12.5 1.0 flows\nq2 30.0 0.5 flows\nv1 100.0 0.0 vols\n"
    "* model command line\npre.bat post.bat\n"
    "* model input/output\n"
    "* prior information\n";

toolbox_control read_tiny() {
  write_file("case.pst", tiny_case);
  toolbox_control c;
  char prog[] = "pluvo", mode[] = "-slm", name[] = "case.pst";
  char* argv[] = {prog, mode, name, nullptr};
  EXPECT_EQ(read_control_file(c, 3, argv), 0);
  count_parameter_kinds(c);
  c.observations[1].simulated[0] = 12.0;
  c.observations[2].simulated[0] = 31.0;
  return c;
}

std::string captured(std::FILE* f) {
  std::string text;
  std::rewind(f);
  for (int ch; (ch = std::fgetc(f)) != EOF;) text.push_back(char(ch));
  std::fclose(f);
  return text;
}

TEST(ToolboxRecordFiles, InitialRecordIterationHeaderAndResults) {
  pluvo_test::scratch_dir dir;
  toolbox_control c = read_tiny();
  double phi = 0.0;
  calc_phi(c, 0, phi);
  std::FILE* rec = std::tmpfile();
  std::FILE* par = std::tmpfile();
  write_initial_record(rec, par, phi, 0.0, phi, c);
  write_iteration_header(c, rec, 1, 3, phi, 0.0, phi);
  matrix_cal cov(1, 2, 1, 2), cor(1, 2, 1, 2), vec(1, 2, 1, 2), prior;
  cov[1][1] = 0.04;
  cov[1][2] = cov[2][1] = 0.00005;
  cov[2][2] = 0.01;
  cor[1][1] = cor[2][2] = 1.0;
  vec[1][1] = vec[2][2] = 1.0;
  write_optimisation_results(rec, phi, cov, cor, vec, {0, 0.0401, 0.0000999}, c, 0, prior);
  EXPECT_EQ(captured(par), "2.000000\n10.000000\n0.035000\n");
  EXPECT_EQ(
      captured(rec),
      "                            OPTIMIZATION RECORD\n\n"
      "INITIAL CONDITIONS:\n"
      "   Sum of squared weighted residuals = 5.000000E-01\n"
      "   Contribution to phi from observation group 'flows' = 5.000000E-01\n"
      "   Contribution to phi from observation group 'vols' = 0.000000E+00\n"
      "\n"
      "      Current parameter values\n"
      "      a               2.000000\n"
      "      b               10.000000\n"
      "      n               0.035000\n"
      "\n"
      "OPTIMIZATION ITERATION NO.\t\t\t\t: 1\n"
      "Model Calls so far\t\t\t\t\t: 3\n"
      "Starting objective function value for this iteration\t: 5.000000E-01\n"
      "Contribution to phi from observation group 'flows'\t= 5.000000E-01\n"
      "Contribution to phi from observation group 'vols'\t= 0.000000E+00\n"
      "\n"
      "\n\n                            OPTIMISATION RESULTS\n\n\n"
      "Adjustable Parameters ----->\n\n"
      "Parameter        Estimated         95 percent confidence limits\n"
      "                 value             lower limit       upper limit\n"
      "a                2.000000          -0.541200          4.541200\n"
      "b               10.000000           0.536290        186.466148\n"
      "\n"
      "Note: confidence limits provide only an indication of parameter uncertainty.\n"
      "      They rely on a linearity assumption which  may not extend as far in\n"
      "      parameter space as the confidence limits themselves.\n\n\n"
      "Fixed parameters ----->\n\n"
      "Parameter        Fixed value\n"
      "n                0.035000\n\n\n"
      "Observations ----->\n\n"
      "Observation            Measured       Calculated     Residual       Weight     Group\n"
      "                       value          value\n"
      "q1\t\t12.50000000000000000000\t12.00000000000000000000\t0.50000000000000000000\t1.000000\tflows\n"
      "q2\t\t30.00000000000000000000\t31.00000000000000000000\t-1.00000000000000000000\t0.500000\tflows\n"
      "v1\t\t100.00000000000000000000\t0.00000000000000000000\t100.00000000000000000000\t0.000000\tvols\n"
      "\n\n"
      "\nObjective function ----->\n\n"
      "Sum of squared weighted residuals (ie phi)\t\t: 5.000000E-01\n"
      "Contribution to phi from observation group 'flows'\t= 5.000000E-01\n"
      "Contribution to phi from observation group 'vols'\t= 0.000000E+00\n"
      "\n\n"
      "Parameter covariance matrix ----->\n"
      "\t\ta\tb\t\n"
      "a\t0.040000\t5.0000E-05\t\n"
      "b\t5.0000E-05\t0.010000\t\n"
      "\n\n"
      "Parameter correlation coefficient matrix ----->\n"
      "\t\ta\tb\t\n"
      "a\t1.000000\t0.000000\t\n"
      "b\t0.000000\t1.000000\t\n"
      "\n\n"
      "Normalized eigenvectors of covariance matrix ----->\n"
      "\t\ta\tb\t\n"
      "a\t1.000000\t0.000000\t\n"
      "b\t0.000000\t1.000000\t\n"
      "\n\n"
      "Eigenvalues ----->\n\n\t0.040100\t9.9900E-05\t");
}

TEST(ToolboxRecordFiles, NoStatisticsWithoutIterations) {
  pluvo_test::scratch_dir dir;
  toolbox_control c = read_tiny();
  c.noptmax = 0;
  std::FILE* rec = std::tmpfile();
  matrix_cal none;
  write_optimisation_results(rec, 0.5, none, none, none, {}, c, 0, none);
  const std::string text = captured(rec);
  EXPECT_NE(text.find("Covariance matrix and parameter confidence intervals cannot be determined:\n"
                      "No optimisation iterations carried out so Jacobian never calculated..\n\n"
                      "Adjustable Parameters ----->\n\nParameter        Estimated\n"
                      "                 value\na                2.000000\n"
                      "b               10.000000\n\n\n\n"),
            std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 134),
            "Covariance and other statistical matricies cannot be determined:\n"
            "No optimisation iterations carried out so Jacobian never calculated.\n");
}

TEST(ToolboxRecordFiles, StudentT) {
  const struct {
    int dof;
    double t;
  } cases[] = {{2, 4.303}, {10, 2.228}, {30, 2.042}, {35, 2.0315}, {40, 2.021},
               {90, 1.99}, {120, 1.98}, {9999999, 1.96}, {1, -1.0}, {0, -1.0}, {10000000, -1.0}};
  for (const auto& k : cases) {
    double t = -1.0;
    student_t_95(k.dof, t);
    EXPECT_NEAR(t, k.t, 1e-12) << k.dof;
  }
}

TEST(ToolboxRecordFiles, CompositeSensitivitiesPerGroupAndOverall) {
  pluvo_test::scratch_dir dir;
  toolbox_control c = read_tiny();
  matrix_cal j(1, 3, 1, 2), j2(1, 3, 1, 2);
  const double rows[3][2] = {{2, 4}, {6, 8}, {100, 100}};
  for (int r = 0; r < 3; ++r)
    for (int p = 0; p < 2; ++p) j[r + 1][p + 1] = rows[r][p];
  toolbox_output_names names;
  names.case_name = "case";
  std::FILE* sen = std::tmpfile();
  write_sensitivities(c, j, j2, names, 1, sen, 0);
  write_sensitivities(c, j, j2, names, 1, sen, 1);
  const char* table =
      " Parameter name    Group          Current value    Sensitivity       \n"
      "a\tg\t2.000000\t1.802776\n"
      "b\tg\t10.000000\t2.828427\n";
  EXPECT_EQ(captured(sen),
            std::string("                        PARAMETER SENSITIVITIES: CASE case\n\n\n"
                        " OPTIMISATION ITERATION NO.\t1 ----->\n"
                        " Parameter name    Group          Current value    Sensitivity       \n"
                        "a\tg\t2.000000\t0.000000\n"
                        "b\tg\t10.000000\t0.000000\n\n\n"
                        "\n                        COMPLETION OF OPTIMISATION PROCESS\n\n"
                        " Composite sensitivities for observation group \"flows\" ----->\n\n"
                        " Number of observations with non-zero weight =\t2\n") +
                table +
                "\n\n"
                " Composite sensitivities for observation group \"vols\" ----->\n\n"
                "\n No observations/prior_info with non-zero weight belong to this group.\n\n"
                "\n\n"
                " Composite sensitivities for all observations/prior info ----->\n\n"
                " Number of observations with non-zero weight =\t2\n" +
                table);
}

}  // namespace
}  // namespace pluvo::toolbox
