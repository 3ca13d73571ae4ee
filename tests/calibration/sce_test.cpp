// The SCE-UA search on analytic functions with known minima, its budget and log, and the
// settings check.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "calibration/sce.hpp"
#include "common/printed.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo {
namespace {

using pluvo_test::read_file;

int evaluations = 0;

// Curved valley: minimum 0 at (1, 1).
double rosenbrock(const char*, const char*, const double* x, objective_record&, int, const char*) {
  ++evaluations;
  return 100.0 * std::pow(x[2] - x[1] * x[1], 2) + std::pow(1.0 - x[1], 2);
}

// Multimodal: global minimum 3 at (0, -1), local minima elsewhere in [-2, 2]^2.
double goldstein_price(const char*, const char*, const double* x, objective_record&, int, const char*) {
  ++evaluations;
  const double a = x[1], b = x[2];
  const double p = 1 + std::pow(a + b + 1, 2) * (19 - 14 * a + 3 * a * a - 14 * b + 6 * a * b + 3 * b * b);
  const double q = 30 + std::pow(2 * a - 3 * b, 2) * (18 - 32 * a + 12 * a * a + 48 * b - 36 * a * b + 27 * b * b);
  return p * q;
}

// A record set up as the input file would leave it, with the defaults of the settings check.
void set_up(sce_record& r, calibration_callback f, int maxn, int ngs, int iseed) {
  r.model_mode = 1;
  r.model_run = f;
  r.nopt = 2;
  r.maxn = maxn;
  r.kstop = 5;
  r.pcento = 1e-6;
  r.ngs = ngs;
  r.iseed = iseed;
  r.a = {0, 0.0, 0.0, 0};
  r.bl = {0, -2.0, -2.0, 0};
  r.bu = {0, 2.0, 2.0, 0};
  printed_by([&] { sce_check_settings(r); });
  r.setup_ok = 1;
}

int search(sce_record& r) {
  evaluations = 0;
  int counter = 0;
  printed_by([&] { counter = sceua(r); });
  return counter;
}

TEST(SceSearch, FindsTheMinimumOfACurvedValleyAndOfAMultimodalFunction) {
  pluvo_test::scratch_dir dir;
  const struct {
    calibration_callback f;
    double x1, x2, minimum;
  } cases[] = {{rosenbrock, 1.0, 1.0, 0.0}, {goldstein_price, 0.0, -1.0, 3.0}};
  for (const auto& k : cases) {
    sce_record r;
    set_up(r, k.f, 20000, 10, 1969);
    const int counter = search(r);
    EXPECT_EQ(counter, evaluations + 1);
    EXPECT_NEAR(r.bestx[1], k.x1, 0.02);
    EXPECT_NEAR(r.bestx[2], k.x2, 0.02);
    objective_record unused;
    EXPECT_NEAR(k.f("", "", r.bestx.data(), unused, 2, ""), k.minimum, 1e-3);
    sce_cleanup(r);
  }
}

TEST(SceSearch, ABudgetOfOnePopulationMakesOneRunPerPoint) {
  pluvo_test::scratch_dir dir;
  sce_record r;
  set_up(r, rosenbrock, 10, 2, 7);  // two complexes of 5 points
  ASSERT_EQ(r.ngs * r.npg, 10);
  const int counter = search(r);
  EXPECT_EQ(evaluations, 10);
  EXPECT_EQ(counter, 11);
  // The estimate is the best initial point, the last minimum of the log.
  const std::string log = read_file("sce_log_file.txt");
  int lines = 0;
  for (char c : log) lines += c == '\n';
  EXPECT_EQ(lines, 11);
  objective_record unused;
  const double best = rosenbrock("", "", r.bestx.data(), unused, 2, "");
  char minimum[32];
  std::snprintf(minimum, sizeof minimum, " %9.4lf  : ", best);
  EXPECT_NE(log.find(minimum), std::string::npos) << log;
  // Too small a budget runs nothing.
  sce_record small;
  set_up(small, rosenbrock, 9, 2, 7);
  std::string out;
  evaluations = 0;
  out = printed_by([&] { EXPECT_EQ(sceua(small), -1); });
  EXPECT_EQ(evaluations, 0);
  EXPECT_NE(out.find("Increase the number of function calls to at least 10\n"), std::string::npos);
}

TEST(SceSearch, TheSameSeedGivesTheSameLog) {
  pluvo_test::scratch_dir dir;
  std::string logs[3];
  const int seeds[3] = {1969, 1969, 11};
  for (int i = 0; i < 3; ++i) {
    sce_record r;
    set_up(r, goldstein_price, 400, 3, seeds[i]);
    search(r);
    sce_cleanup(r);
    logs[i] = read_file("sce_log_file.txt");
  }
  EXPECT_GT(logs[0].size(), 2000u);
  EXPECT_EQ(logs[0], logs[1]);
  EXPECT_NE(logs[0], logs[2]);
}

TEST(SceSearch, ALogThatCannotBeOpenedIsNotWritten) {
  pluvo_test::scratch_dir dir;
  ASSERT_EQ(mkdir("sce_log_file.txt", 0700), 0);
  sce_record r;
  set_up(r, rosenbrock, 200, 2, 3);
  std::string out;
  evaluations = 0;
  int counter = 0;
  out = printed_by([&] { counter = sceua(r); });
  EXPECT_EQ(counter, evaluations + 1);
  EXPECT_GT(evaluations, 10);  // the search went on past its initial population
  EXPECT_EQ(r.log_failed, 1);
  EXPECT_NE(out.find("Error: unable to open the log file.\n"), std::string::npos);
}

TEST(SceSettings, WarningsAndDefaults) {
  const char* npg_line = " **WARNING** THE NUMBER OF POINTS IN A COMPLEX %d IS NOT\n A VALID CHOICE, SET IT TO DEFAULT\n";
  auto total = [](int n) { return " *** TOTAL NUMBER OF WARNING MESSAGES IS " + std::to_string(n) + "\n"; };
  auto npg_text = [&](int npg) {
    char text[200];
    std::snprintf(text, sizeof text, npg_line, npg);
    return std::string(text);
  };
  const struct {
    // ideflt, nopt, ngs, kstop, npg, nps, nspl, mings
    int in[8];
    int warnings;
    std::string printed;
    // ngs, kstop, npg, nps, nspl, mings after the check
    int out[6];
  } cases[] = {
      {{0, 3, 2, 5, 0, 0, 0, 0}, 0, "", {2, 5, 7, 4, 7, 2}},
      {{1, 3, 2, 5, 1, 2, 3, 2}, 1, npg_text(1) + total(1), {2, 5, 7, 2, 3, 2}},
      {{0, 10, 100, 5, 0, 0, 0, 0},
       2,
       npg_text(21) +
           " **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION 2100 EXCEED\n"
           " THE POPULATION LIMIT.  SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n" +
           total(2),
       {2, 5, 21, 11, 21, 100}},
      {{0, 2, 2, 20, 0, 0, 0, 0},
       1,
       " **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE\n"
       " MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = 20 WAS\n"
       " WAS SPECIFIED.  BUT kstop = 5 WILL BE USED INSTEAD.\n" +
           total(1),
       {2, 5, 5, 3, 5, 2}},
      {{1, 3, 2, 5, 5, 3, 0, 9},
       2,
       " **WARNING** THE MINIMUM NUMBER OF COMPLEXES 9 IS NOT A VALID CHOICE.\n SET IT TO DEFAULT\n"
       " **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX\n"
       " BEFORE SHUFFLING 0 IS NOT A VALID CHOICE, SET IT TO DEFAULT\n" +
           total(2),
       {2, 5, 5, 3, 5, 2}},
      // The default sub-complex of 6 points would not fit a complex of 3.
      {{1, 5, 2, 5, 3, 10, 3, 2},
       1,
       " **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX 10 IS NOT\n A VALID CHOICE, SET IT TO DEFAULT\n" + total(1),
       {2, 5, 3, 3, 3, 2}},
      {{0, 2, 0, 5, 0, 0, 0, 0},
       -1,
       " **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION 0 IS NOT A VALID CHOICE\n",
       {0, 5, 5, 3, 5, 0}},
  };
  for (const auto& k : cases) {
    sce_record r;
    r.ideflt = k.in[0];
    r.nopt = k.in[1];
    r.ngs = k.in[2];
    r.kstop = k.in[3];
    r.npg = k.in[4];
    r.nps = k.in[5];
    r.nspl = k.in[6];
    r.mings = k.in[7];
    int warnings = 0;
    const std::string printed = printed_by([&] { warnings = sce_check_settings(r); });
    EXPECT_EQ(warnings, k.warnings) << k.printed;
    EXPECT_EQ(printed, k.printed);
    const int out[6] = {r.ngs, r.kstop, r.npg, r.nps, r.nspl, r.mings};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], k.out[i]) << k.printed << " value " << i;
  }
}

}  // namespace
}  // namespace pluvo
