// Objective function, lambda schedule, stopping rules, restart snapshot and stop file.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calibration/toolbox/estimation_tests.hpp"
#include "calibration/toolbox/restart_file.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo::toolbox {
namespace {

// Two groups, three observations (one in no group) and two adjustable parameters.
toolbox_control small_case() {
  toolbox_control c;
  c.npar = 3;
  c.nobs = 3;
  c.nobsgp = 2;
  c.nprior = 1;
  c.parameters.resize(4);
  const char* kinds[] = {"", "none", "fixed", "log"};
  const double values[] = {0.0, 2.0, 7.0, 1.0};
  for (int k = 1; k <= 3; ++k) {
    c.parameters[size_t(k)].name = std::string(1, char('a' + k - 1));
    c.parameters[size_t(k)].partrans = kinds[k];
    c.parameters[size_t(k)].value = values[k];
  }
  c.observation_groups = {{}, {"g1", 0.0}, {"g2", 0.0}};
  c.observations.resize(4);
  c.observations[1] = {.name = "o1", .measured = 10.0, .simulated = {8.0, 9.0, 0.0}, .weight = 2.0, .group = "g1"};
  c.observations[2] = {.name = "o2", .measured = 5.0, .simulated = {6.0, 5.0, 0.0}, .weight = 1.0, .group = "g2"};
  c.observations[3] = {.name = "o3", .measured = 1.0, .simulated = {0.0, 0.0, 0.0}, .weight = 1.0, .group = "nowhere"};
  c.prior.resize(2);
  c.prior[1].provided = 1.0;
  c.prior[1].weight = 3.0;
  c.prior[1].group = "g2";
  return c;
}

TEST(ToolboxObjective, PhiPerGroupAndPriorTerms) {
  toolbox_control c = small_case();
  double phi = -1.0;
  calc_phi(c, 0, phi);
  EXPECT_EQ(c.observation_groups[1].contribution, 16.0);  // ((10 - 8) * 2)^2
  EXPECT_EQ(c.observation_groups[2].contribution, 1.0);
  EXPECT_EQ(phi, 17.0);  // o3 belongs to no group and counts nowhere
  calc_phi(c, 1, phi);
  EXPECT_EQ(phi, 4.0);
  calc_phi(c, 2, phi);
  EXPECT_EQ(phi, 0.0);
  EXPECT_EQ(c.observation_groups[1].contribution, 0.0);
  // Prior: 0.5 a + 1.0 log c = 2.0; residual (1 - 2) * 3.
  calc_phi(c, 0, phi);
  matrix_cal coef(1, 1, 1, 2);
  coef[1][1] = 0.5;
  coef[1][2] = 1.0;
  double prior_phi = 0.0;
  calc_prior_values(c, coef, prior_phi);
  EXPECT_EQ(prior_phi, 9.0);
  EXPECT_EQ(c.observation_groups[2].contribution, 10.0);
}

TEST(ToolboxObjective, LambdaScheduleTurnsUpwardsWhenPhiRises) {
  toolbox_control c;
  c.rlambda1 = 8.0;
  c.rlamfac = 2.0;
  const double start = 8.0;
  double previous = 0.0;
  int increasing = 0;
  std::vector<double> trials = {0, 100.0, 120.0, 90.0};
  adjust_lambda(start, previous, increasing, trials[1], trials, 1, c);
  EXPECT_EQ(c.rlambda1, 4.0);
  EXPECT_EQ(previous, 8.0);
  // Trial 2 is worse than trial 1: lambdas turn upwards from the start lambda.
  adjust_lambda(start, previous, increasing, trials[2], trials, 2, c);
  EXPECT_EQ(c.rlambda1, 16.0);
  EXPECT_EQ(increasing, 1);
  // Trial 3 improves: keep going upwards.
  adjust_lambda(start, previous, increasing, trials[3], trials, 3, c);
  EXPECT_EQ(c.rlambda1, 32.0);
}

TEST(ToolboxObjective, LambdaTrialsStopByTheFirstRuleThatApplies) {
  toolbox_control c;
  c.numlam = 5;
  c.phiratsuf = 0.3;
  c.phiredlam = 0.03;
  const struct {
    std::vector<double> phi;
    int numlam;
    int keep;  // -1: the trials go on
    const char* line;
  } cases[] = {
      {{0, 80.0}, 1, 1, "No more lambdas: allowed lambdas per iteration =  1\n\n"},
      {{0, 80.0, 70.0, 70.0}, 3, 3, "No more lambdas: allowed lambdas per iteration =  3\n\n"},
      {{0, 80.0, 20.0}, 5, 2, "No more lambdas: phi is less than 0.300000 of starting phi\n\n"},
      {{0, 80.0, 90.0}, 5, -1, ""},
      {{0, 80.0, 70.0, 75.0}, 5, 2, "No more lambdas: phi rising\n\n"},
      {{0, 80.0, 79.0}, 5, 2,
       "No more lambdas: relative phi reduction between lambdas less than 0.030000\n\n"},
      {{0, 80.0, 60.0}, 5, -1, ""},
      {{0, 1e30, 2e30}, 2, 0, "No more lambdas: allowed lambdas per iteration =  2\n\n"},
  };
  for (const auto& k : cases) {
    c.numlam = k.numlam;
    int keep = -1;
    testing::internal::CaptureStdout();
    check_lambda_termination(nullptr, 100.0, int(k.phi.size()) - 1, k.phi, c, keep);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), k.line);
    EXPECT_EQ(keep, k.keep) << k.line;
  }
}

TEST(ToolboxObjective, EstimationStopsAndSaysWhyOnScreenAndInTheRecord) {
  toolbox_control c;
  c.phiredstp = 0.01;
  c.nphistp = 3;
  c.nphinored = 2;
  c.relparstp = 0.01;
  c.nrelpar = 3;
  const std::vector<double> history = {0, 100.0, 50.0, 49.9, 49.8};
  const struct {
    int iteration, reference, small_changes;
    double phi;
    std::string lines;
  } cases[] = {
      {1, 1, 0, 0.0, "Optimization complete: the objective function equals zero\n"},
      {4, 4, 0, 49.8,
       "Optimization complete: the  3 lowest phi's are within a relative distance\n"
       "                       of each other of 0.010000\n"},
      {2, 1, 0, 50.0, ""},
      {3, 1, 0, 100.0, ""},
      {2, 1, 3, 50.0,
       "Optimization complete: relative parameter change less than 0.010000\n"
       "                       over 3 successive iterations.\n"},
  };
  for (const auto& k : cases) {
    std::FILE* record = std::tmpfile();
    int stop = 0;
    testing::internal::CaptureStdout();
    check_termination(record, k.iteration, k.reference, k.small_changes, history, 49.8, k.phi, c,
                      stop, 7);
    const std::string screen = testing::internal::GetCapturedStdout();
    std::rewind(record);
    std::string written;
    for (int ch; (ch = std::fgetc(record)) != EOF;) written.push_back(char(ch));
    std::fclose(record);
    const std::string expected = k.lines.empty() ? "" : k.lines + "Total Model Calls:\t7\n";
    EXPECT_EQ(screen, expected);
    EXPECT_EQ(written, expected);
    EXPECT_EQ(stop, k.lines.empty() ? 0 : 1);
  }
  // Iterations since the lowest phi.
  c.nphistp = 99;
  int stop = 0;
  testing::internal::CaptureStdout();
  check_termination(nullptr, 4, 1, 0, history, 10.0, 49.8, c, stop, 7);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Optimization complete:   2 optimization iterations have elapsed since lowest\n"
            "                       phi was achieved.\nTotal Model Calls:\t7\n");
}

TEST(ToolboxRestart, SnapshotReadsBackBitForBit) {
  pluvo_test::scratch_dir dir;
  toolbox_control c = small_case();
  c.method = 1;
  c.full_update = 1;
  c.full_update_threshold = 1.0 / 3.0;
  c.cyclic_columns = 2;
  c.rlambda1 = 1e-300;
  restart_state s;
  s.jacobian = matrix_cal(1, 4, 1, 2);
  s.jacobian_2 = matrix_cal(1, 4, 1, 2);
  for (int r = 1; r <= 4; ++r)
    for (int p = 1; p <= 2; ++p) {
      s.jacobian[r][p] = std::pow(-1.7, r * p) * 1e-25;
      s.jacobian_2[r][p] = 1.0 / (r + p);
    }
  s.iteration = 3;
  s.phi = 12.25;
  s.previous_phi = 49.0;
  s.iteration_phi = {0, 100.0 / 3.0, 49.0, 12.25};
  s.best_parameters = {0, 2.0, 7.0, 0.1};
  s.best_simulated = {0, 8.5, 6.1, 1e-300};
  s.lowest_phi = 12.25;
  s.lowest_reference = 3;
  s.three_point = 1;
  s.largest_relative_change = 0.123456789012345678;
  s.small_change_count = 2;
  s.last_relative_change = 2.0 / 3.0;
  s.start_values = {0, 1.9, 0.95};
  s.model_calls = 17;
  s.cyclic_position = 1;
  toolbox_output_names names;
  char prog[] = "pluvo", mode[] = "-slm", control[] = "case1.b2.pst";
  char* argv[] = {prog, mode, control, nullptr};
  FilesNamesForWrite(argv, names);
  EXPECT_EQ(names.rec, "case1.rec");
  EXPECT_EQ(names.rst, "case1.rst");
  write_restart_file(s, c, names);

  toolbox_control d = small_case();
  restart_state t;
  read_restart_file(t, d, names);
  EXPECT_EQ(d.full_update_threshold, 1.0 / 3.0);
  EXPECT_EQ(d.rlambda1, 1e-300);
  EXPECT_EQ(d.phi_ratio, 0.25);  // recomputed from the current and previous phi
  for (int r = 1; r <= 4; ++r)
    for (int p = 1; p <= 2; ++p) {
      EXPECT_EQ(t.jacobian[r][p], s.jacobian[r][p]);
      EXPECT_EQ(t.jacobian_2[r][p], s.jacobian_2[r][p]);
    }
  EXPECT_EQ(t.iteration_phi, s.iteration_phi);
  EXPECT_EQ(t.best_simulated, s.best_simulated);
  EXPECT_EQ(t.largest_relative_change, s.largest_relative_change);
  EXPECT_EQ(t.last_relative_change, s.last_relative_change);
  EXPECT_EQ(t.start_values, s.start_values);
  EXPECT_EQ(t.model_calls, 17);
  EXPECT_EQ(t.cyclic_position, 1);
  EXPECT_EQ(d.observations[2].simulated[1], 5.0);
  EXPECT_EQ(d.parameters[3].value, 1.0);
}

TEST(ToolboxRestartDeathTest, MissingOrCutRestartFilesEndWithStatusOne) {
  pluvo_test::scratch_dir dir;
  toolbox_control c = small_case();
  restart_state s;
  toolbox_output_names names;
  names.rst = "none.rst";
  EXPECT_EXIT(read_restart_file(s, c, names), testing::ExitedWithCode(1), "");
  pluvo_test::write_file("cut.rst", "1\n0\n0.5\n");
  names.rst = "cut.rst";
  EXPECT_EXIT(read_restart_file(s, c, names), testing::ExitedWithCode(1), "");
}

TEST(ToolboxStopFileDeathTest, StopValuesEndTheProcessAndOthersAreDeleted) {
  pluvo_test::scratch_dir dir;
  for (const char* text : {"0\n", "stop please\n"}) {
    pluvo_test::write_file("pest.stp", text);
    EXPECT_EQ(check_stop_file(), 0);
    EXPECT_EQ(std::fopen("pest.stp", "r"), nullptr);  // acted on once, then removed
  }
  EXPECT_EQ(check_stop_file(), 0);
  for (const char* text : {"1\n", "2\n", "3\n"}) {
    pluvo_test::write_file("pest.stp", text);
    EXPECT_EXIT(check_stop_file(), testing::ExitedWithCode(0), "");
  }
}

}  // namespace
}  // namespace pluvo::toolbox
