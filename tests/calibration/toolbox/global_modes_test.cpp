// Multistart and trajectory repulsion on a function with one global and one local minimum, and
// the sampling routines they stand on.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "calibration/toolbox/lm_engine.hpp"
#include "calibration/toolbox/numerics.hpp"
#include "calibration/toolbox/sampling.hpp"
#include "estimation_fixture.hpp"

namespace pluvo_test {
namespace {

using pluvo::toolbox::toolbox_control;

TEST(GlobalSampling, CriticalDistanceUsesTheRealGammaFunction) {
  for (int n : {2, 3}) {
    toolbox_control c;
    c.npar = n;
    c.parameters.resize(size_t(n) + 1);
    for (int k = 1; k <= n; ++k) {
      c.parameters[size_t(k)].partrans = "none";
      c.parameters[size_t(k)].upper = 1.0 + k;  // box sides 2, 3, 4
    }
    c.mlsl_sigma = 2.0;
    double r = 0.0;
    pluvo::toolbox::mlsl_critical_distance(c, 10, r);
    const double volume = n == 2 ? 6.0 : 24.0;
    const double pi = 4.0 * std::atan(1.0);
    const double expected =
        std::pow(std::tgamma(n / 2.0 + 1.0) * volume * 2.0 * std::log(10.0) / 10.0, 1.0 / n) /
        std::sqrt(pi);
    EXPECT_NEAR(r, expected, 1e-12 * expected) << n;
  }
}

TEST(GlobalSampling, RandomVectorsFollowRan1WithinTheBoundsAndLeaveTiedAndFixedAlone) {
  toolbox_control c;
  c.npar = 4;
  c.parameters.resize(5);
  const char* kinds[] = {"", "none", "log", "fixed", "tied"};
  for (int k = 1; k <= 4; ++k) {
    c.parameters[size_t(k)].partrans = kinds[k];
    c.parameters[size_t(k)].value = 7.0;
  }
  c.parameters[1].upper = 10.0;
  c.parameters[2].upper = 2.0;  // 1 to 100
  for (long start : {-1L, -506952111L}) {
    long seed = start;
    const double u1 = pluvo::toolbox::ran1(seed);
    const double u2 = pluvo::toolbox::ran1(seed);
    seed = start;
    pluvo::toolbox::random_parameter_vector(c, seed);
    EXPECT_DOUBLE_EQ(c.parameters[1].value, 10.0 * u1);
    EXPECT_DOUBLE_EQ(c.parameters[2].value, std::log10(1.0 + u2 * 99.0));
    EXPECT_EQ(c.parameters[3].value, 7.0);
    EXPECT_EQ(c.parameters[4].value, 7.0);
  }
  pluvo::toolbox::sample_seed_generator g{0};
  EXPECT_EQ(g.next(), -506952111);
}

TEST(GlobalSampling, NearPreviousPointRepelsWithinTheNormalisedDistanceOnly) {
  toolbox_control c;
  c.npar = 3;
  c.parameters.resize(4);
  const char* kinds[] = {"", "none", "log", "fixed"};
  for (int k = 1; k <= 3; ++k) {
    c.parameters[size_t(k)].partrans = kinds[k];
    c.parameters[size_t(k)].upper = k == 1 ? 10.0 : 1.0;  // sides 10, 1 and 1
  }
  // Two stored points; the current point is point 1 moved by (dp1, dp2).
  pluvo::toolbox::matrix_cal trajectory(1, 3, 1, 2);
  const double stored[2][3] = {{5.0, 0.5, 0.2}, {1.0, 0.1, 0.2}};
  for (int t = 1; t <= 2; ++t)
    for (int q = 1; q <= 3; ++q) trajectory[q][t] = stored[t - 1][q - 1];
  const struct {
    double dp1, dp2;
    int m;
    double repulsion;
    int repelled;
  } cases[] = {
      {0.0, 0.0, 2, 0.1, 0},        // the stored point itself
      {1e-10, 0.0, 2, 0.1, 0},      // normalised 1e-11: the same point
      {0.5, 0.0, 2, 0.1, 1},        // normalised 0.05
      {0.0, 0.05, 2, 0.1, 1},       // normalised 0.05 on the unit side
      {0.9, 0.06, 2, 0.1, 0},       // normalised 0.108
      {0.5, 0.0, 2, 1e-10, 0},      // a distance of 1e-10 never repels
      {-3.9, -0.4, 1, 0.1, 0},      // near point 2, which is not compared
      {-3.9, -0.4, 2, 0.1, 1},
  };
  for (const auto& k : cases) {
    c.parameters[1].value = 5.0 + k.dp1;
    c.parameters[2].value = 0.5 + k.dp2;
    c.parameters[3].value = 0.2;
    c.repulsion_distance = k.repulsion;
    int terminate = -1;
    EXPECT_EQ(pluvo::toolbox::near_previous_point(k.m, trajectory, 2, c, terminate), 0);
    EXPECT_EQ(terminate, k.repelled) << k.dp1 << " " << k.dp2 << " " << k.m << " " << k.repulsion;
  }
}

std::string run_mode(const char* mode) {
  pluvo::set_model_run_function(pluvo::run_pluvo);
  char program[] = "pluvo", name[] = "case.pst";
  std::string m = mode;
  char* argv[] = {program, m.data(), name, nullptr};
  return pluvo::printed_by([&] { pluvo::pluvo_main(3, argv); });
}

double after(const std::string& text, const std::string& label) { return number_after(text, label); }

TEST(GlobalModes, MultistartFindsTheGlobalMinimumAndRepeatsFromItsSeed) {
  scratch_dir dir;
  write_estimation_case(two_minima());
  write_file("ms.in", "0 3\n");
  run_mode("-ms");
  const std::string rec = read_file("slm_vyn_ms1.rec");
  EXPECT_EQ(rec.rfind("                        CT_MS1 CONTROL INFORMATION\n\n"
                      "Input unsigned long random seed                             : 0\n"
                      "Number of pre-inversion runs to carry out                   : 3\n",
                      0),
            0u)
      << rec;
  EXPECT_EQ(read_file("RandomNumberSeeds.prn").substr(0, 11), "-506952111\n");
  // Some inversion ends at the global minimum.
  double best = 1e300;
  for (size_t at = rec.find("\ttotal\t"); at != std::string::npos; at = rec.find("\ttotal\t", at + 1)) {
    char* end = nullptr;
    std::strtod(rec.c_str() + at + 7, &end);
    best = std::fmin(best, std::strtod(end, nullptr));
  }
  EXPECT_LT(best, 1e-6) << rec;
  run_mode("-ms");
  EXPECT_EQ(read_file("slm_vyn_ms1.rec"), rec);
}

TEST(GlobalModes, TrajectoryRepulsionReportsTheGlobalMinimumAndReproducesItsSamples) {
  scratch_dir dir;
  write_estimation_case(two_minima());
  write_file("tr.in", "Y 3 6 3 2 0.01\n");
  run_mode("-tr");
  const std::string rec = read_file("slm_vyn_ms2.rec");
  EXPECT_NE(rec.find("                        CT_MS2 CONTROL INFORMATION\n\n"), std::string::npos);
  EXPECT_LT(after(rec, "The global search process yielded a total objective function value of "), 1e-6)
      << rec;
  // "N" reads the seeds back and draws the same samples; K = 0 ends the search after its first
  // inversion.
  const std::string samples = rec.substr(0, rec.find("RESULTS OF CT OPTIMIZATION RUNS"));
  write_file("tr.in", "N 3 6 3 0 0.01\n");
  run_mode("-tr");
  const std::string one = read_file("slm_vyn_ms2.rec");
  const std::string header_k = "Number of CT runs with no objective function improvement    : ";
  EXPECT_EQ(one.substr(0, samples.size()).replace(one.find(header_k) + header_k.size(), 1, "2"),
            samples);
  EXPECT_NE(one.find(" Results of CT inversion run number 1 --->"), std::string::npos);
  EXPECT_EQ(one.find(" Results of CT inversion run number 2 --->"), std::string::npos);
  EXPECT_NE(one.find("This value was obtained from inversion run number 1\n"), std::string::npos);
}

TEST(GlobalModes, TrajectoryRepulsionKeepsTheEarlierOfEqualInversions) {
  scratch_dir dir;
  // Observations the parameters cannot move: every inversion ends with the same objective.
  estimation_case e = two_minima();
  e.model = "1";
  write_estimation_case(e);
  write_file("tr.in", "Y 3 3 3 5 0.0\n");
  run_mode("-tr");
  const std::string rec = read_file("slm_vyn_ms2.rec");
  EXPECT_NE(rec.find(" Results of CT inversion run number 3 --->"), std::string::npos) << rec;
  EXPECT_EQ(after(rec, "The global search process yielded a total objective function value of "), 3.0);
  EXPECT_NE(rec.find("This value was obtained from inversion run number 1\n"), std::string::npos) << rec;
}

TEST(GlobalModes, MissingOrBadInputFilesEndWithTheirMessage) {
  scratch_dir dir;
  write_estimation_case(two_minima());
  const struct {
    const char* mode;
    const char* file;
    const char* text;  // null: no file
    const char* message;
  } cases[] = {
      {"-ms", "ms.in", nullptr, "Error: ms.in must hold the random seed and the number of pre-inversion runs\n"},
      {"-ms", "ms.in", "5\n", "Error: ms.in must hold the random seed and the number of pre-inversion runs\n"},
      {"-tr", "tr.in", "Y 3 6\n", "Error: tr.in must hold the seed mode, the seed, N, M, K and f\n"},
      {"-tr", "tr.in", "Y 3 2 3 1 0.01\n",
       "Error: tr.in asks for 2 samples and 3 inversions; both must be at least 1 and the inversions no "
       "more than the samples\n"},
      {"-tr", "tr.in", "N 3 6 3 1 0.01\n", "Error: RandomNumberSeeds.prn holds 0 seeds; 6 samples need one each\n"},
  };
  for (const auto& k : cases) {
    std::remove(k.file);
    std::remove("RandomNumberSeeds.prn");
    if (k.text) write_file(k.file, k.text);
    int status = 0;
    const std::string out =
        run_command(std::string(PLUVO_BINARY) + " " + k.mode + " case.pst 2>&1", status);
    EXPECT_NE(out.find(k.message), std::string::npos) << out;
    EXPECT_EQ(status, 1) << k.message;
  }
}

}  // namespace
}  // namespace pluvo_test

namespace pluvo_test {
namespace {

TEST(GlobalModes, MlslFindsBothMinimaAndStopsForEachReason) {
  scratch_dir dir;
  write_estimation_case(two_minima());
  // N gamma sigma D, seed mode, seed, iterations, searches, no-gain searches, no-gain iterations, f.
  write_file("mlsl.in", "6 0.5 2.0 0.01 Y 5 3 4 3 2 0.01\n");
  run_mode("-mlsl");
  const std::string rec = read_file("slm_vyn_mlsl.rec");
  EXPECT_NE(rec.find("                        CT_MLSL CONTROL INFORMATION\n\n"), std::string::npos);
  EXPECT_LT(after(rec, "The global search process yielded a total objective function value of "), 1e-6)
      << rec;
  EXPECT_EQ(after(rec, "The number of local searches that yielded distinct local minima: "), 2.0) << rec;
  const struct {
    const char* input;
    const char* reason;
  } stops[] = {
      {"6 0.5 2.0 0.01 Y 5 3 4 0 2 0.01\n",
       "Stopped because there have been 0 actual local searches with no objective function improvement.\n"},
      {"6 0.5 2.0 0.01 Y 5 3 4 3 0 0.01\n",
       "Stopped because there have been 0 MLSL iterations with no objective function improvement.\n"},
      {"6 0.5 2.0 0.01 Y 5 3 1 3 2 0.01\n",
       "Stopped because there have been 1 local searches, the maximum set with input.\n"},
  };
  for (const auto& stop : stops) {
    write_file("mlsl.in", stop.input);
    run_mode("-mlsl");
    const std::string text = read_file("slm_vyn_mlsl.rec");
    EXPECT_NE(text.find(stop.reason), std::string::npos) << stop.input << text.substr(text.size() > 600 ? text.size() - 600 : 0);
    EXPECT_EQ(after(text, "The number of MLSL iterations is: "), 1.0) << stop.input;
  }
}

TEST(GlobalModes, MlslRefusesSettingsThatOverrunItsTables) {
  scratch_dir dir;
  write_estimation_case(two_minima());
  write_file("mlsl.in", "6 1.5 2.0 0.01 Y 5 3 4 3 2 0.01\n");
  int status = 0;
  const std::string out = run_command(std::string(PLUVO_BINARY) + " -mlsl case.pst 2>&1", status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("Error: mlsl.in: gamma must lie in (0, 1]"), std::string::npos) << out;
}

}  // namespace
}  // namespace pluvo_test
