// Whole toolbox runs through the program on inputs it must refuse (numbers that are not numbers,
// counts that would take the machine's memory, outputs named after inputs), and the answers of the
// global modes where they are exact: -tr keeps its best minimum, -ms writes no NaN for a perfect fit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "calibration/refusals.hpp"
#include "calibration/toolbox/estimation_fixture.hpp"

namespace pluvo_test {
namespace {

void replace_in(const std::string& file, const std::string& from, const std::string& to) {
  std::string text = read_file(file);
  const size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << file << ": " << from;
  write_file(file, text.replace(at, from.size(), to));
}

std::string run_mode(const char* mode, const char* control = "case.pst") {
  int status = 0;
  return run_command(std::string(PLUVO_BINARY) + " " + mode + " " + control + " 2>&1 </dev/null", status);
}

TEST(ToolboxInputs, TrajectoryRepulsionWritesTheBestMinimumItFound) {
  scratch_dir dir;
  write_estimation_case(two_minima());
  // Six samples, three inversions: the later inversions start far from the first one's end.
  write_file("tr.in", "Y 3 6 3 5 0.0\n");
  run_mode("-tr");
  const std::string rec = read_file("slm_vyn_ms2.rec");
  ASSERT_LT(number_after(rec, "The global search process yielded a total objective function value of "), 1e-6)
      << rec;
  const std::string par = read_file("case.par");
  char* end = nullptr;
  const double p1 = std::strtod(par.c_str(), &end);
  const double p2 = std::strtod(end, nullptr);
  EXPECT_NEAR(p1, 1.0, 1e-3) << par;
  EXPECT_NEAR(p2, 0.5, 1e-3) << par;
}

TEST(ToolboxInputs, MultistartOnAnExactFitWritesNoNaN) {
  scratch_dir dir;
  write_estimation_case(two_minima());
  write_file("ms.in", "0 2\n");
  run_mode("-ms");
  // The second inversion fits exactly: its covariance is 0, and so are its correlations.
  const std::string rec = read_file("case.rec");
  ASSERT_NE(rec.find("Sum of squared weighted residuals (ie phi)\t\t: 0.000000E+00\n"), std::string::npos) << rec;
  EXPECT_NE(rec.find("Parameter correlation coefficient matrix ----->\n\t\tp1\tp2\np1\t0.000000\t0.000000\n"
                     "p2\t0.000000\t0.000000\n"),
            std::string::npos)
      << rec;
  for (const char* file : {"case.rec", "case.par", "case.sen", "slm_vyn_ms1.rec", "jac.txt"})
    EXPECT_EQ(read_file(file).find("nan"), std::string::npos) << file;
}

TEST(ToolboxInputs, BadNumbersAndHugeCountsAreRefusedBeforeAnyRun) {
  const std::string control_line = "5.0 2.0 0.3 0.03 10\n";
  const struct {
    const char* mode;
    const char* file;
    std::string from, to;
    const char* message;
  } cases[] = {
      {"-slm", "case.pst", control_line, "nan 2.0 0.3 0.03 10\n",
       "control data value RLAMBDA1 is nan; it must be a finite number\n"},
      {"-slm", "case.pst", control_line, "5.0 0 0.3 0.03 10\n", "RLAMFAC is 0; it must be greater than 1\n"},
      {"-slm", "case.pst", control_line, "5.0 2.0 0.3 0.03 2000000000\n",
       "NUMLAM is 2000000000; it must lie between 1 and 1000\n"},
      {"-slm", "case.pst", "\n10 0.005", "\n2000000000 0.005", "NOPTMAX is 2000000000; it must lie between -1 and"},
      {"-slm", "case.pst", "0 0 0.9 1 0.02", "1 0 0.9 2000000000 0.02",
       "the cyclic column count is 2000000000; it must lie between 0 and NPAR, 2\n"},
      {"-slm", "case.pst", "p1 none factor 0.0 -2.0 2.0", "p1 none factor nan -2.0 2.0",
       "parameter 1 is nan; it must be a finite number\n"},
      {"-slm", "case.pst", "p2 none factor 0.0 -2.0 2.0", "p2 none factor 0.0 -2.0 inf",
       "parameter 2 is inf; it must be a finite number\n"},
      {"-slm", "case.pst", "p2 none factor 0.0 -2.0 2.0", "p2 none factor 0.0 2.0 -2.0",
       "parameter p2 has the lower bound 2 above its upper bound -2\n"},
      {"-slm", "case.pst", "y1 0 1.0 obs", "y1 0 nan obs", "observation 1 is nan; it must be a finite number\n"},
      {"-slm", "case.pst", "y2 0 1.0 obs", "y2 0 -1.0 obs", "observation y2 has the weight -1; a weight must not"},
      {"-ms", "ms.in", "", "0 2000000000\n",
       "Error: ms.in: the number of pre-inversion runs is 2000000000; it must lie between 0 and 100000\n"},
      {"-tr", "tr.in", "", "Y 3 2000000000 3 2 0.01\n",
       "Error: tr.in: the number of samples N is 2000000000; it must lie between 1 and 100000\n"},
      {"-tr", "tr.in", "", "Y 3 6 3 2 nan\n", "Error: tr.in: the improvement fraction f is nan; it must be finite\n"},
      {"-mlsl", "mlsl.in", "", "6 0.5 2.0 0.01 Y 5 2000000000 4 3 2 0.01\n",
       "Error: mlsl.in: the maximum number of iterations is 2000000000; it must lie between 1 and 100000\n"},
  };
  for (const auto& k : cases) {
    scratch_dir dir;
    write_estimation_case(two_minima());
    if (k.from.empty()) write_file(k.file, k.to);
    else replace_in(k.file, k.from, k.to);
    std::remove("runs.txt");
    expect_refused(std::string(k.mode) + " case.pst", k.message);
    EXPECT_EQ(read_file("runs.txt"), "") << k.message;  // no model run was made
  }
}

// Outputs named after inputs: the refusal comes before any file is written.
TEST(ToolboxInputs, NoOutputOverwritesAnInput) {
  const struct {
    const char* control;
    const char* rename_from;
    const char* rename_to;
    const char* message;
  } cases[] = {
      {"pluvo.in", "case.pst", "pluvo.in",
       "Error: a file of the toolbox, pluvo.in, would overwrite the control file, pluvo.in;"},
      {"case.rec", "case.pst", "case.rec",
       "Error: a file of the case, case.rec, would overwrite the control file, case.rec;"},
      {"case.pst", "m.tpl", "case.sen", "Error: a file of the case, case.sen, would overwrite a template file, case.sen;"},
      {"case.pst", "m.ins", "case.mtt",
       "Error: a file of the case, case.mtt, would overwrite an instruction file, case.mtt;"},
      {"case.pst", "w.prj", "values.in",
       "Error: a file of the toolbox, values.in, would overwrite the project file, values.in;"},
      {"case.pst", "w.prj", "pluvo.in",
       "Error: a file of the toolbox, pluvo.in, would overwrite the project file, pluvo.in;"},
  };
  for (const auto& k : cases) {
    scratch_dir dir;
    write_estimation_case(two_minima());
    const std::string control = read_file("case.pst");
    std::rename(k.rename_from, k.rename_to);
    const std::string moved = std::string(k.rename_from) + (std::string(k.rename_from) == "w.prj" ? "\n" : " ");
    if (std::string(k.rename_from) != "case.pst") replace_in("case.pst", moved, std::string(k.rename_to) + moved.back());
    expect_refused(std::string("-slm ") + k.control, k.message);
  }
  // "./case.pst" names the case "case".
  scratch_dir dir;
  write_estimation_case(two_minima());
  run_mode("-slm", "./case.pst");
  EXPECT_NE(read_file("case.rec"), "");
  EXPECT_FALSE(std::filesystem::exists(".rec"));
}

}  // namespace
}  // namespace pluvo_test
