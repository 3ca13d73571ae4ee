// The calibration criteria against hand-worked cases, their files byte for byte, and the
// observation reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "calibration/objectives.hpp"
#include "common/error_state.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo {
namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

objective_record observations(const std::string& text) {
  write_file("obs.in", text);
  objective_record r;
  EXPECT_EQ(read_calibration_observations(r, "obs.in"), 1) << text;
  return r;
}

TEST(Objectives, OneWeightedPeakGivesEveryCriterionAndItsFiles) {
  pluvo_test::scratch_dir dir;
  objective_record r = observations("1\n100, 1, 500, 0\n");
  const double sp[] = {0, 80, 0}, sv[] = {0, 50, 0}, x[] = {0, 0.5};
  const double cost = evaluate_objectives(r, sp, sv, 0, 1, x);
  EXPECT_DOUBLE_EQ(cost, 0.2);
  EXPECT_DOUBLE_EQ(r.cost, 0.2);
  EXPECT_DOUBLE_EQ(r.rmse, 20.0);
  EXPECT_DOUBLE_EQ(r.log_error, std::fabs(std::log(80.0) - std::log(100.0)));
  EXPECT_DOUBLE_EQ(r.max_peak, 80.0);
  EXPECT_DOUBLE_EQ(r.max_volume, no_maximum);
  // One peak: every lambda balances the condition, and the estimator is the squared error.
  EXPECT_NEAR(r.hmle, 400.0, 1e-9);
  EXPECT_EQ(read_file("0_cost.out"),
            "p:80.000000, -20.000000  Total Points: 1\ncost: 0.200000\n" + std::string(79, '-') + "\n");
  EXPECT_EQ(read_file("0_obs.log"),
            std::string(55, '-') +
                "\nEvent\tWeight\tObs Peak   \tSim Peak    \tDiff        \tWeight\tObs Vol     \tSim Vol     \tDiff\n"
                "1    \t1.00  \t100.00      \t80.00       \t20.00       \t0.00  \t500.00      \t50.00       \t450.00      \n\n\n");
  collect_calibration_results(r, 0);
  evaluate_objectives(r, sp, sv, 0, 1, x);
  collect_calibration_results(r, 0);
  const std::string line =
      "0.20    \t400.0000    \t20.00       \t0.223144    \t80.00       \t-100000.00  \t: 0.5000  \n";
  EXPECT_EQ(read_file("results_all.out"),
            "--Cost--\t----HMLE----\t----RMSE----\t-Log Error--\t--Max Peak--\t--Max Vol---\t: params\n" + line +
                line);
  EXPECT_TRUE(r.results.results.empty());
}

TEST(Objectives, BadDataAndSwitchedOffComparisons) {
  pluvo_test::scratch_dir dir;
  const struct {
    const char* file;
    std::vector<double> sp, sv;
    double cost, hmle, rmse, log_error, max_peak, max_volume;
  } cases[] = {
      // All weights 0: nothing compared.
      {"2\n100 0 500 0\n50 0 200 0\n", {0, 80, 40}, {0, 400, 100}, no_comparison, no_comparison, 0, 0, no_maximum,
       no_maximum},
      // A negative peak on an unweighted entry: the cost and HMLE pass it by, the others stop.
      {"2\n100 0 500 0\n100 1 500 0\n", {0, -5, 80}, {0, 400, 100}, 0.2, 400, bad_criterion, bad_criterion,
       no_maximum, no_maximum},
      // A weighted volume observed as 0: its error is the plain difference.
      {"2\n10 0 0 1\n10 0 100 0\n", {0, 8, 8}, {0, 3, 50}, 3.0, bad_criterion, 0.3, INFINITY, no_maximum, 3.0},
      // Volumes alone: the estimator of the peaks has nothing to work on.
      {"1\n10 0 100 1\n", {0, 8}, {0, 90}, 0.1, bad_criterion, 1.0, std::log(10.0 / 9.0), no_maximum, 90.0},
      // Observed peaks of 1: their mean log is 0.
      {"1\n1 1 100 0\n", {0, 2}, {0, 90}, 1.0, bad_criterion, 1.0, std::log(2.0), 2.0, no_maximum},
      // A peak that is not positive has no logarithm.
      {"1\n0 1 100 0\n", {0, 2}, {0, 90}, 2.0, bad_criterion, 2.0, INFINITY, 2.0, no_maximum},
  };
  for (const auto& k : cases) {
    objective_record r = observations(k.file);
    const double x[] = {0};
    evaluate_objectives(r, k.sp.data(), k.sv.data(), 0, 0, x);
    EXPECT_DOUBLE_EQ(r.cost, k.cost) << k.file;
    EXPECT_NEAR(r.hmle, k.hmle, 1e-9) << k.file;
    EXPECT_DOUBLE_EQ(r.rmse, k.rmse) << k.file;
    EXPECT_DOUBLE_EQ(r.log_error, k.log_error) << k.file;
    EXPECT_DOUBLE_EQ(r.max_peak, k.max_peak) << k.file;
    EXPECT_DOUBLE_EQ(r.max_volume, k.max_volume) << k.file;
  }
  // A run that gave no arrays.
  objective_record r = observations("1\n100 1 500 1\n");
  const double x[] = {0};
  EXPECT_DOUBLE_EQ(evaluate_objectives(r, nullptr, nullptr, 0, 0, x), bad_criterion);
  EXPECT_DOUBLE_EQ(r.hmle, bad_criterion);
  EXPECT_DOUBLE_EQ(r.max_peak, no_maximum);
}

TEST(Objectives, HmleOfEqualPeaksIsTheMeanSquaredError) {
  pluvo_test::scratch_dir dir;
  objective_record r = observations("3\n50 1 0 0\n50 1 0 0\n50 1 0 0\n");
  const double sp[] = {0, 40, 55, 50}, sv[] = {0, 1, 1, 1};
  EXPECT_NEAR(compute_hmle(r, sp, sv), (100.0 + 25.0 + 0.0) / 3.0, 1e-9);
}

TEST(Objectives, LambdaSearchStaysInItsBracket) {
  const struct {
    std::function<double(double)> condition;
    double expected;
    double tolerance;
  } cases[] = {
      {[](double l) { return l - 1.7; }, 1.7, 1e-5},
      {[](double l) { return (l - 0.4) * (l - 0.4) * (l - 0.4); }, 0.4, 1e-2},
      {[](double l) { return l + 5.0; }, 0.1, 0.0},   // no root: the lower end
      {[](double l) { return 10.0 - l; }, 3.0, 0.0},  // no root: the upper end
  };
  for (const auto& k : cases) {
    std::vector<double> tried;
    const double best = hmle_lambda_search([&](double l) {
      tried.push_back(l);
      return k.condition(l);
    });
    for (double l : tried) {
      EXPECT_GE(l, 0.1);
      EXPECT_LE(l, 3.0);
    }
    EXPECT_NE(std::find(tried.begin(), tried.end(), best), tried.end());
    EXPECT_NEAR(best, k.expected, k.tolerance);
  }
}

TEST(Objectives, ObservationFilesThatAreRefused) {
  pluvo_test::scratch_dir dir;
  const struct {
    const char* text;
    int code;
  } cases[] = {
      {"0\n100 1 500 1\n", 0},
      {"2\n100 1 500 1\n", 0},  // one line short
      {"1\n100 1 500\n", 135},
      {"", 0},
  };
  for (const auto& k : cases) {
    write_file("obs.in", k.text);
    error_state = error_state_record();
    objective_record r;
    EXPECT_EQ(read_calibration_observations(r, "obs.in"), -1) << k.text;
    EXPECT_EQ(error_state.error_code, k.code) << k.text;
    EXPECT_EQ(r.entry_count, 0) << k.text;
  }
  objective_record r;
  EXPECT_EQ(read_calibration_observations(r, "missing.in"), -1);
  EXPECT_TRUE(r.observed_peak.empty());
  error_state = error_state_record();
}

}  // namespace
}  // namespace pluvo
