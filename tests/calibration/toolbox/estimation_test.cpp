// The estimation engine on problems with known answers: straight lines, bounds, the iteration
// limits, derivative switching, restarts and a certified nonlinear regression.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "calibration/toolbox/model_runs.hpp"
#include "calibration/toolbox/record_files.hpp"
#include "estimation_fixture.hpp"

namespace pluvo_test {
namespace {

using pluvo::toolbox::toolbox_control;

double value_of(const toolbox_control& c, int k) { return c.parameters[size_t(k)].value; }

estimation_case straight_line(const std::vector<double>& noise) {
  estimation_case e;
  e.parameters = {"a none factor 1.0 -10.0 10.0 g 1.0 0.0 1", "b none factor 1.0 -10.0 10.0 g 1.0 0.0 1"};
  e.model = "p1 + p2 * x";
  e.x = {1, 2, 3, 4, 5};
  for (size_t i = 0; i < e.x.size(); ++i) e.y.push_back(2.0 + 0.5 * e.x[i] + noise[i]);
  e.stopping = "1e-14 3 3 1e-12 3";
  return e;
}

TEST(Estimation, StraightLineWithExactDataEndsAtItsParameters) {
  scratch_dir dir;
  estimation_case e = straight_line({0, 0, 0, 0, 0});
  e.noptmax = 40;
  write_estimation_case(e);
  const estimation_result r = estimate();
  ASSERT_EQ(r.status, 0) << r.out;
  // The model sees the values as "values.in" holds them, to eight digits.
  EXPECT_NEAR(value_of(r.control, 1), 2.0, 5e-8) << r.rec;
  EXPECT_NEAR(value_of(r.control, 2), 0.5, 5e-8);
  EXPECT_NE(r.rec.find("Optimization complete"), std::string::npos);
}

TEST(Estimation, StraightLineOfSmallParametersEndsAtThemTo1e8) {
  // values.in carries eight significant digits: parameters below one are resolved to 1e-8.
  scratch_dir dir;
  estimation_case e = straight_line({0, 0, 0, 0, 0});
  for (size_t i = 0; i < e.x.size(); ++i) e.y[i] = 0.2 + 0.05 * e.x[i];
  e.noptmax = 40;
  write_estimation_case(e);
  const estimation_result r = estimate();
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NEAR(value_of(r.control, 1), 0.2, 1e-8) << r.rec;
  EXPECT_NEAR(value_of(r.control, 2), 0.05, 1e-8);
}

TEST(Estimation, NoisyLineGivesTheLeastSquaresCovarianceAndLimits) {
  scratch_dir dir;
  const std::vector<double> noise = {1.0, -2.0, 0.5, 1.5, -1.0};
  write_estimation_case(straight_line(noise));
  const estimation_result r = estimate();
  ASSERT_EQ(r.status, 0) << r.out;
  // Ordinary least squares by hand: X = [1 x], s2 = SSR / (5 - 2).
  double sx = 0, sxx = 0, sy = 0, sxy = 0;
  const double n = 5;
  for (int i = 0; i < 5; ++i) {
    const double x = i + 1, y = 2.0 + 0.5 * x + noise[size_t(i)];
    sx += x, sxx += x * x, sy += y, sxy += x * y;
  }
  const double det = n * sxx - sx * sx;
  const double b = (n * sxy - sx * sy) / det, a = (sy - b * sx) / n;
  double ssr = 0;
  for (int i = 0; i < 5; ++i) {
    const double x = i + 1, res = 2.0 + 0.5 * x + noise[size_t(i)] - a - b * x;
    ssr += res * res;
  }
  const double s2 = ssr / 3.0;
  const double caa = s2 * sxx / det, cab = -s2 * sx / det, cbb = s2 * n / det;
  EXPECT_NEAR(value_of(r.control, 1), a, 1e-7);
  EXPECT_NEAR(value_of(r.control, 2), b, 1e-7);
  // The covariance rows as printed, and the limits with t of three degrees of freedom.
  char rows[256];
  std::snprintf(rows, sizeof rows, "a\t%lf\t%lf\nb\t%lf\t%lf\n", caa, cab, cab, cbb);
  EXPECT_NE(r.rec.find(rows), std::string::npos) << rows << r.rec;
  double t = 0.0;
  pluvo::toolbox::student_t_95(3, t);
  char limits[160];
  std::snprintf(limits, sizeof limits, "a              %10lf         %10lf        %10lf\n", a,
                a - t * std::sqrt(caa), a + t * std::sqrt(caa));
  EXPECT_NE(r.rec.find(limits), std::string::npos) << limits;
}

TEST(Estimation, AnOptimumOutsideTheBoxEndsOnTheBoundFrozen) {
  scratch_dir dir;
  estimation_case e = straight_line({0, 0, 0, 0, 0});
  e.parameters[0] = "a none factor 1.0 0.0 1.5 g 1.0 0.0 1";
  write_estimation_case(e);
  const estimation_result r = estimate();
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(value_of(r.control, 1), 1.5);
  // With a held at 1.5 the best slope fits y - 1.5 = b x: b = 35 / 55.
  EXPECT_NEAR(value_of(r.control, 2), 35.0 / 55.0, 1e-7);
  EXPECT_NE(r.rec.find("      parameter \"a\" frozen: gradient and update vectors out of bounds\n"),
            std::string::npos)
      << r.rec;
}

TEST(Estimation, IterationLimitsZeroMinusOneAndTwo) {
  const std::vector<double> noise = {1.0, -2.0, 0.5, 1.5, -1.0};
  {
    scratch_dir dir;
    estimation_case e = straight_line(noise);
    e.noptmax = 0;
    write_estimation_case(e);
    const estimation_result r = estimate();
    EXPECT_EQ(r.runs, 1);
    EXPECT_NE(r.rec.find("No optimisation iterations carried out so Jacobian never calculated..\n"),
              std::string::npos);
    EXPECT_EQ(r.rec.find("OPTIMIZATION ITERATION NO."), std::string::npos);
  }
  {
    scratch_dir dir;
    estimation_case e = straight_line(noise);
    e.noptmax = -1;
    write_estimation_case(e);
    const estimation_result r = estimate();
    EXPECT_EQ(r.runs, 3);  // the initial run and a two-column Jacobian, no trial, no final run
    EXPECT_EQ(r.rec.find("Lambda ="), std::string::npos);
    EXPECT_NE(r.rec.find("Parameter covariance matrix ----->\n"), std::string::npos);
    EXPECT_NE(read_file("case.sen").find(" OPTIMISATION ITERATION NO.\t1 ----->\n"), std::string::npos);
  }
  {
    scratch_dir dir;
    estimation_case e = straight_line(noise);
    e.noptmax = 2;
    write_estimation_case(e);
    const estimation_result r = estimate();
    EXPECT_NE(r.rec.find("OPTIMIZATION ITERATION NO.\t\t\t\t: 2\n"), std::string::npos);
    EXPECT_EQ(r.rec.find("OPTIMIZATION ITERATION NO.\t\t\t\t: 3\n"), std::string::npos);
    const size_t done = r.rec.find("Optimization complete: Maximum number of optimization iterations completed.\n");
    ASSERT_NE(done, std::string::npos) << r.rec;
    // The final run is not among the calls counted before it.
    char calls[64];
    std::snprintf(calls, sizeof calls, "Total Model Calls:\t%d\n", r.runs - 1);
    EXPECT_EQ(r.rec.find(calls, done), r.rec.find("Total Model Calls:", done)) << r.rec;
  }
}

TEST(Estimation, SwitchGroupMovesToThreePointDerivativesAfterAFailedFirstIteration) {
  scratch_dir dir;
  // Near the minimum of (p - 1)^2 a 1 % forward difference has the wrong sign.
  estimation_case e;
  e.parameters = {"p none factor 0.999 0.5 2.0 g 1.0 0.0 1"};
  e.model = "(p1 - 1) * (p1 - 1) + 0 * x";
  e.x = {1};
  e.y = {0.0};
  e.forcen = "switch";
  write_estimation_case(e);
  const estimation_result r = estimate();
  ASSERT_EQ(r.status, 0) << r.out;
  const size_t two_point = r.out.find("Calculating Jacobian matrix: running model 1 times ...\n");
  const size_t three_point = r.out.find("Calculating Jacobian matrix: running model 2 times ...\n");
  ASSERT_NE(two_point, std::string::npos) << r.out;
  ASSERT_NE(three_point, std::string::npos) << r.out;
  EXPECT_LT(two_point, three_point);
  EXPECT_NEAR(value_of(r.control, 1), 1.0, 1e-3) << r.rec;
}

TEST(Estimation, StoppedAndRestartedEndsWithTheSameParameters) {
  const std::vector<double> noise = {1.0, -2.0, 0.5, 1.5, -1.0};
  estimation_case e = straight_line(noise);
  e.parameters[0] = "a log factor 1.0 0.01 100.0 g 1.0 0.0 1";
  e.model = "p1 * exp(p2 * x / 10)";
  e.noptmax = 6;
  std::string whole;
  {
    scratch_dir dir;
    write_estimation_case(e);
    const estimation_result r = estimate();
    ASSERT_EQ(r.status, 0) << r.out;
    whole = read_file("case.par");
  }
  scratch_dir dir;
  e.stop_at_run = 9;  // within the third iteration
  write_estimation_case(e);
  int status = -1;
  run_command(std::string(PLUVO_BINARY) + " -slm case.pst > first.txt 2>&1", status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(read_file("case.rst"), "");
  std::remove("pest.stp");
  e.stop_at_run = 0;
  const std::string rec_before = read_file("case.rec");
  write_file("model.sh", read_file("model.sh").replace(read_file("model.sh").find("if ["), 0, "#"));
  run_command(std::string(PLUVO_BINARY) + " -slm case.pst /r > second.txt 2>&1", status);
  EXPECT_EQ(status, 0) << read_file("second.txt");
  EXPECT_EQ(read_file("case.par"), whole);
  const std::string rec = read_file("case.rec");
  EXPECT_EQ(rec.rfind(rec_before, 0), 0u);  // the record grew
  EXPECT_NE(rec.find(".....RESTART.....", rec_before.size()), std::string::npos);
}

TEST(Estimation, JacobianRunCountsAndCyclicColumns) {
  toolbox_control c;
  c.npar = 5;
  c.npargp = 1;
  c.groups.resize(2);
  c.groups[1].name = "g";
  c.parameters.resize(6);
  for (int k = 1; k <= 5; ++k) {
    c.parameters[size_t(k)].name = "p" + std::to_string(k);
    c.parameters[size_t(k)].partrans = "none";
    c.parameters[size_t(k)].group = "g";
  }
  int cyclic_position = 0;
  bool cyclic = false;
  for (const char* forcen : {"always_2", "always_3"}) {
    c.groups[1].forcen = forcen;
    const std::vector<int> due = pluvo::toolbox::due_parameters(c, 1, cyclic_position, cyclic);
    int count = 0;
    pluvo::toolbox::count_jacobian_runs(c, 0, due, cyclic, 1, count);
    EXPECT_EQ(count, forcen[7] == '2' ? 5 : 10) << forcen;
  }
  // SLM, two columns an iteration over adjustable parameters 1, 3 and 4.
  c.npar = 4;
  c.parameters.resize(5);
  c.parameters[2].partrans = "tied";
  c.method = 1;
  c.cyclic_columns = 2;
  const std::vector<std::vector<int>> expected = {{1, 3}, {4, 1}, {3, 4}};
  for (int iteration = 2; iteration <= 4; ++iteration)
    EXPECT_EQ(pluvo::toolbox::due_parameters(c, iteration, cyclic_position, cyclic),
              expected[size_t(iteration - 2)]);
  c.cyclic_columns = 0;
  const std::vector<int> none = pluvo::toolbox::due_parameters(c, 5, cyclic_position, cyclic);
  int count = -1;
  pluvo::toolbox::count_jacobian_runs(c, 0, none, cyclic, 5, count);
  EXPECT_EQ(count, 0);
}

TEST(Estimation, PerturbedPoints) {
  const struct {
    const char* trans;
    double value, lower, upper;
    int at_upper, at_lower;
    bool three;
    double p1, p2;
  } cases[] = {
      {"none", 2.0, 0.0, 10.0, 0, 0, false, 2.02, 2.0},
      {"none", 0.0, -1.0, 1.0, 0, 0, false, 0.01, 0.0},
      {"none", 0.0, -1.0, 1.0, 0, 0, true, 0.01, -0.01},
      {"none", 9.95, 0.0, 10.0, 0, 0, false, 9.8505, 9.95},      // forward point beyond the bound
      {"none", 9.95, 0.0, 10.0, 0, 0, true, 9.8505, 9.751},      // two backward points
      {"none", 10.0, 9.95, 10.0, 1, 0, false, 9.95, 10.0},       // on the upper bound, not below L
      {"none", 1.0, 0.995, 2.0, 0, 0, true, 1.02, 1.01},         // backward point below L
      {"none", 1.0, 1.0, 2.0, 0, 1, true, 1.01, 1.02},
      {"log", -9.0, -12.0, 1.0, 0, 0, false, -2.0, -9.0},        // tiny: the fixed 0.01
      {"log", -9.0, -12.0, -5.0, 0, 0, false, std::log10(0.99e-9), -9.0},
      {"log", -9.0, -12.0, -5.0, 1, 0, true, std::log10(0.99e-9), std::log10(0.98e-9)},
      {"log", -9.0, -12.0, 1.0, 0, 0, true, -2.0, std::log10(0.99e-9)},  // backward stays below
  };
  for (const auto& k : cases) {
    pluvo::toolbox::toolbox_parameter p;
    p.partrans = k.trans;
    p.value = k.value;
    p.lower = k.lower;
    p.upper = k.upper;
    p.at_upper = k.at_upper;
    p.at_lower = k.at_lower;
    double p1 = 0, p2 = 0;
    pluvo::toolbox::perturbed_points(p, k.three, p1, p2);
    EXPECT_NEAR(p1, k.p1, 1e-12) << k.trans << " " << k.value << " " << k.three;
    if (k.three) {
      EXPECT_NEAR(p2, k.p2, 1e-12) << k.trans << " " << k.value;
    }
  }
}

// Misra1a of the certified nonlinear regression problems, from its second start.
estimation_case misra1a(int method) {
  estimation_case e;
  e.parameters = {"b1 none factor 250 1 2000 g 1.0 0.0 1", "b2 none factor 5e-4 1e-6 1e-2 g 1.0 0.0 1"};
  e.model = "p1 * (1 - exp(-p2 * x))";
  e.x = {77.6, 114.9, 141.1, 190.8, 239.9, 289.0, 332.8, 378.4, 434.8, 477.3, 536.8, 593.1, 689.1, 760.0};
  e.y = {10.07, 14.73, 17.94, 23.93, 29.61, 35.18, 40.02, 44.82, 50.76, 55.05, 61.01, 66.40, 75.47, 81.78};
  e.noptmax = 50;
  e.stopping = "1e-12 3 3 1e-10 3";
  e.method = method;
  e.cyclic_columns = 1;
  return e;
}

TEST(Estimation, CertifiedMisra1aByLmAndSlm) {
  int calls[2] = {0, 0};
  for (int method : {0, 1}) {
    scratch_dir dir;
    write_estimation_case(misra1a(method));
    const estimation_result r = estimate();
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NEAR(value_of(r.control, 1) / 2.3894212918e2, 1.0, 2e-5) << method << "\n" << r.rec;
    EXPECT_NEAR(value_of(r.control, 2) / 5.5015643181e-4, 1.0, 2e-5) << method;
    calls[method] = r.runs;
  }
  EXPECT_LT(calls[1], calls[0]);
}

}  // namespace
}  // namespace pluvo_test
