// The -slm mode end to end: a control file, its template and instruction files, and the strip
// project whose Manning's n it estimates from the outlet flow the model gave at a known n.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "calibration/calibration_modes.hpp"
#include "common/printed.hpp"
#include "run/driver.hpp"
#include "run/entry.hpp"
#include "run/whole_project.hpp"

namespace pluvo {
namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

// The outlet discharge ten minutes in, on the recession, where the roughness shows.
double discharge_at_ten_minutes() {
  const std::string hyd = read_file("w.hyd");
  size_t at = 0;
  for (int line = 1; line < 3 && at != std::string::npos; ++line) at = hyd.find('\n', at) + 1;
  char* end = nullptr;
  std::strtod(hyd.c_str() + at, &end);  // the time
  return std::strtod(end, nullptr);
}

// The strip project with its roughness taken from the replacement values.
void write_project() {
  pluvo_test::write_strip_grid();
  std::string cards = pluvo_test::strip_cards();
  cards.replace(cards.find("MANNING_N 0.03"), 14, "MANNING_N [N]");
  cards.replace(cards.find("RAIN_DURATION 10"), 16, "RAIN_DURATION 2");
  write_file("w.prj", "PLUVOPROJECT\nREPLACE_PARAMS pluvo.in\nREPLACE_VALS values.in\n" + cards);
}

double flow_at(double n) {
  write_file("pluvo.in", "1\n[N] \"%16.8lf\"\n");
  char values[64];
  std::snprintf(values, sizeof values, "%.7E ", n);
  write_file("values.in", values);
  printed_by([] { run_pluvo("w.prj", nullptr, "-slm"); });
  return discharge_at_ten_minutes();
}

std::string control_file(double measured, int noptmax, const char* forcen) {
  char text[2048];
  std::snprintf(text, sizeof text,
                "pcf\n* control data\nrestart estimation\n1 1 1 0 1\n1 1 single point 1 0 0\n"
                "5.0 2.0 0.3 0.03 10\n3.0 3.0 0.001 0\n0.1 noaptmax\n%d 0.005 3 3 0.001 3\n1 1 1\n"
                "0 0 0.9 1 0.5 w.prj\n"
                "* parameter groups\nrough relative 0.01 0.0 %s 2.0 parabolic\n"
                "* parameter data\nN log factor 0.03 0.01 0.2 rough 1.0 0.0 1\n"
                "* observation groups\nflows\n"
                "* observation data\nq10 %.8f 10000.0 flows\n"
                "* model command line\ntrue true\n"
                "* model input/output\nn.tpl n.in\nq.ins w.hyd\n",
                noptmax, forcen, measured);
  return text;
}

// Through the program entry, which hands the mode its model run.
std::string run_slm(const char* control) {
  char program[] = "pluvo", mode[] = "-slm";
  std::string name = control;
  char* argv[] = {program, mode, name.data(), nullptr};
  return printed_by([&] { pluvo_main(3, argv); });
}

// The mode alone, for its status.
int slm_status(const char* control, std::string& out) {
  char program[] = "pluvo", mode[] = "-slm";
  std::string name = control;
  char* argv[] = {program, mode, name.data(), nullptr};
  int status = -1;
  out = printed_by([&] { status = slm_vyn_main(3, argv); });
  return status;
}

TEST(SlmMode, EstimatesTheRoughnessThatGaveTheObservedPeak) {
  pluvo_test::scratch_dir dir;
  write_project();
  const double target = flow_at(0.05);
  ASSERT_GT(target, 0.0);
  ASSERT_GT(std::fabs(flow_at(0.03) - target), 0.1 * target) << "the flow must depend on n";
  write_file("case.pst", control_file(target, 6, "always_2"));
  write_file("n.tpl", "ptf $\n$N$\n");
  write_file("q.ins", "pif #\nl3 w w !q10!\n");
  run_slm("case.pst");
  const std::string rec = read_file("case.rec");
  EXPECT_NE(rec.find("The LM method is employed for this case."), std::string::npos);
  EXPECT_NE(rec.find("OPTIMIZATION ITERATION NO.\t\t\t\t: 1\n"), std::string::npos);
  EXPECT_NE(rec.find("The model has been run one final time using best parameters.\n"),
            std::string::npos)
      << rec;
  // The best value is in the parameter file and was used for the last run.
  const double n = std::strtod(read_file("case.par").c_str(), nullptr);
  EXPECT_NEAR(n, 0.05, 0.05 * 0.03) << rec;
  EXPECT_NEAR(discharge_at_ten_minutes(), target, 1e-3 * target);
  EXPECT_NE(read_file("case.sen").find("COMPLETION OF OPTIMISATION PROCESS"), std::string::npos);
}

TEST(SlmMode, RefusalsEndBeforeAnyModelRun) {
  pluvo_test::scratch_dir dir;
  write_project();
  write_file("n.tpl", "ptf $\n$N$\n");
  write_file("q.ins", "pif #\nl3 w w !q10!\n");
  std::string control = control_file(0.01, 2, "always_2");
  const struct {
    std::string text;
    int status;
    const char* message;
  } cases[] = {
      {std::string(control).replace(control.find("restart estimation"), 18, "restart prediction"), 1,
       "Currently, slm_vyn does not support prediction capabilities"},
      {std::string(control).replace(control.find("N log factor"), 12, "N fixed factor"), 1,
       "The number of adjustable model parameters is zero. \n"},
      {std::string(control).replace(control.find("0.03 0.01 0.2"), 13, "0.3 0.01 0.2"), 1,
       "The intial value for the following parameter is outside of its specified bounds: N"},
      {std::string(control).replace(control.find("0.03 10\n"), 8, "0.03 0\n"), 1,
       "NUMLAM, the number of lambdas per iteration, is 0 in the control file; it must be at least 1."},
  };
  for (const auto& k : cases) {
    write_file("case.pst", k.text);
    std::remove("w.sum");
    std::string out;
    EXPECT_EQ(slm_status("case.pst", out), k.status);
    EXPECT_NE(out.find(k.message), std::string::npos) << out;
    EXPECT_EQ(std::fopen("w.sum", "r"), nullptr);  // no model run
    EXPECT_EQ(std::fopen("case.rec", "r"), nullptr);
  }
}

}  // namespace
}  // namespace pluvo
