// The Monte Carlo sampler: its draws, its best run and its files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "calibration/calibration_modes.hpp"
#include "common/printed.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo {
namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

TEST(MonteCarlo, EveryDrawLiesWithinItsBounds) {
  pluvo_test::scratch_dir dir;
  write_file("mc.in", "w.prj\npairs.in\nobs.in\n5\n0.5 0.75\n-10, 10\n1e-3\t2e-3\n0.25 # fixed\n0.25\n");
  montecarlo sampler(1, "mc.in", row_decomposition);
  ASSERT_EQ(sampler.input_ok, 1);
  ASSERT_EQ(sampler.parameter_count, 5);
  double smallest[4] = {1e300, 1e300, 1e300, 1e300}, largest[4] = {-1e300, -1e300, -1e300, -1e300};
  for (int draw = 0; draw < 100000; ++draw) {
    sampler.sample_parameters();
    for (int i = 1; i <= 3; ++i) {
      const double p = sampler.parameters[size_t(i)];
      ASSERT_GE(p, sampler.lower[size_t(i)]) << i;
      ASSERT_LT(p, sampler.upper[size_t(i)]) << i;
      smallest[i] = std::min(smallest[i], p);
      largest[i] = std::max(largest[i], p);
    }
    ASSERT_EQ(sampler.parameters[4], 0.25);
    ASSERT_EQ(sampler.parameters[5], 0.25);
  }
  // The draws fill their range.
  for (int i = 1; i <= 3; ++i) {
    const double range = sampler.upper[size_t(i)] - sampler.lower[size_t(i)];
    EXPECT_LT(smallest[i] - sampler.lower[size_t(i)], 1e-3 * range) << i;
    EXPECT_LT(sampler.upper[size_t(i)] - largest[i], 1e-3 * range) << i;
  }
}

double scripted_costs[] = {-3.0, 2.0, -2.0};
int cost_calls = 0;
double scripted(const char*, const char*, const double*, objective_record&, int, const char*) {
  return scripted_costs[cost_calls++ % 3];
}

TEST(MonteCarlo, TheSmallestAbsoluteCostIsBestAndTheLogIsAppended) {
  pluvo_test::scratch_dir dir;
  write_file("pairs.in", "2\n[A] \"%lf\"\n[B] \"%d\"\n");
  write_file("mc.in", "w.prj\npairs.in\nobs.in\n2\n1 2\n3 4\n");
  for (int pass = 0; pass < 2; ++pass) {
    montecarlo sampler(3, "mc.in", row_decomposition);
    sampler.set_model_run(scripted);
    cost_calls = 0;
    std::string out = printed_by([&] {
      EXPECT_EQ(sampler.run(), 1);
      sampler.write_best();
    });
    // A later equal absolute cost does not replace the best.
    EXPECT_EQ(sampler.best_cost, 2.0);
    EXPECT_NE(out.find("\n\nBest objective function value: 2.000000\nParameters:\n "), std::string::npos) << out;
    EXPECT_EQ(read_file("best.out").substr(0, 11), "2.000000:  ");
  }
  const std::string log = read_file("log_file_p0.log");
  EXPECT_EQ(log.substr(0, 16), "Cost  \t[A]\t[B]\t\n");
  EXPECT_EQ(log.find("Cost", 1), std::string::npos);  // one header for both samplers
  int lines = 0;
  for (char c : log) lines += c == '\n';
  EXPECT_EQ(lines, 7);
  EXPECT_NE(log.find("-3.000000\t"), std::string::npos);
}

TEST(MonteCarlo, InputThatCannotBeUsedMakesNoRun) {
  pluvo_test::scratch_dir dir;
  write_file("pairs.in", "2\n[A] \"%lf\"\n[B] \"%lf\"\n");
  const struct {
    const char* input;
    const char* message;
  } cases[] = {
      {nullptr, "Error: unable to read the input monte carlo file.\n"},
      {"w.prj\npairs.in\nobs.in\n2\n1 2\n", "Error: unable to read the input monte carlo file.\n"},
      {"w.prj\nnone.in\nobs.in\n1\n1 2\n",
       "Error: unable to read the replacement parameter file none.in; the calibration ends.\n"},
      {"w.prj\npairs.in\nobs.in\n1\n1 2\n",
       "Error: the replacement parameter file pairs.in holds 2 parameters, but the calibration gives values for "
       "only 1; the model is not run.\n"},
  };
  for (const auto& k : cases) {
    std::remove("mc.in");
    if (k.input) write_file("mc.in", k.input);
    cost_calls = 0;
    int made = -1;
    const std::string out = printed_by([&] { made = run_monte_carlo(row_decomposition, 5, "mc.in"); });
    EXPECT_EQ(made, 0) << out;
    EXPECT_NE(out.find(k.message), std::string::npos) << out;
    EXPECT_EQ(out.find("Best objective"), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace pluvo
