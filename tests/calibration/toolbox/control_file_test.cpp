// The toolbox control file read into its record, the pair file it writes, and refused files.
#include "calibration/toolbox/control_file.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "run/scratch_dir.hpp"

namespace pluvo::toolbox {
namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

const char* control_data =
    "pcf\n"
    "* control data\n"
    "restart estimation\n"
    "4 3 2 1 2\n"
    "1 1 single point 1 0 0\n"
    "5.0 2.0 0.3 0.03 10\n"
    "3.0 3.0 0.001 0\n"
    "0.1 noaptmax\n"
    "30 0.01 3 3 0.01 3\n"
    "1 1 1\n"
    "1 1 0.9 2 0.5 project.prj\n";

const char* svd_block =
    "* singular value decomposition\n"
    "1\n"
    "5 5e-7\n"
    "0\n";

const char* after_control =
    "* parameter groups\n"
    "soil relative 0.01 0.0 switch 2.0 parabolic\n"
    "chan relative 0.01 0.0 always_2 2.0 parabolic\n"
    "* parameter data\n"
    "K1 log factor 10.0 1.0 100.0 soil 1.0 0.0 1\n"
    "iw_rate none relative 0.5 0.5 2.0 soil 1.0 0.0 1\n"
    "K2 tied factor 20.0 1.0 200.0 soil 1.0 0.0 1\n"
    "n fixed factor 0.035 0.01 0.1 chan 1.0 0.0 1\n"
    "K2 K1\n"
    "* observation groups\n"
    "peaks\n"
    "regul\n"
    "* observation data\n"
    "q1 12.5 1.0 peaks\n"
    "q2 30.0 0.5 peaks\n"
    "v1 100.0 0.0 peaks\n"
    "* model command line\n"
    "pre.bat post.bat\n"
    "* model input/output\n"
    "k.tpl k.in\n"
    "q.ins q.out\n"
    "* prior information\n"
    "pi1 1.0 * K1 - 2.0 * log(iw_rate) = 0.5 1.0 regul\n";

std::string full(bool svd) { return std::string(control_data) + (svd ? svd_block : "") + after_control; }

int read(toolbox_control& c, const char* name) {
  char prog[] = "pluvo", mode[] = "-slm";
  std::string n = name;
  std::vector<char*> argv = {prog, mode, n.data(), nullptr};
  return read_control_file(c, 3, argv.data());
}

TEST(ToolboxControlFile, ReadsEverySectionWithAndWithoutTheSvdBlock) {
  for (bool svd : {false, true}) {
    pluvo_test::scratch_dir dir;
    write_file("case.pst", full(svd));
    toolbox_control c;
    ASSERT_EQ(read(c, "case"), 0) << svd;
    EXPECT_EQ(c.rstfle, "restart");
    EXPECT_EQ(c.npar, 4);
    EXPECT_EQ(c.numlam, 10);
    EXPECT_EQ(c.noptmax, 30);
    EXPECT_EQ(c.method, 1);
    EXPECT_EQ(c.full_update_threshold, 0.9);
    EXPECT_EQ(c.project_file, "project.prj");
    EXPECT_EQ(c.svd_maxsing, svd ? 5 : 0);
    EXPECT_EQ(c.groups[2].forcen, "always_2");
    // The log parameter is held as logarithms, and sits at neither bound.
    EXPECT_DOUBLE_EQ(c.parameters[1].value, 1.0);
    EXPECT_DOUBLE_EQ(c.parameters[1].upper, 2.0);
    EXPECT_EQ(c.parameters[1].at_lower + c.parameters[1].at_upper, 0);
    EXPECT_EQ(c.parameters[2].at_lower, 1);  // 0.5 at its lower bound 0.5
    EXPECT_EQ(c.parameters[3].tied_parent, "K1");
    EXPECT_EQ(c.observations[2].weight, 0.5);
    EXPECT_EQ(c.post_batch, "post.bat");
    EXPECT_EQ(c.instructions[1].model_output_file, "q.out");
    const toolbox_prior_item& pi = c.prior[1];
    EXPECT_EQ(pi.term_count, 2);
    EXPECT_EQ(pi.coefficients[1], 1.0);
    EXPECT_EQ(pi.coefficients[2], -2.0);
    EXPECT_EQ(pi.term_names[1], "K1");
    EXPECT_EQ(pi.term_names[2], "iw_rate");
    EXPECT_EQ(pi.provided, 0.5);
    EXPECT_EQ(pi.group, "regul");
    EXPECT_EQ(read_file("pluvo.in"),
              "4\n[K1] \"%16.8lf\"\n[iw_rate] \"%16.8lf\"\n[K2] \"%16.8lf\"\n[n] \"%16.8lf\"\n");

    count_parameter_kinds(c);
    EXPECT_EQ(c.adjustable_count, 2);
    EXPECT_EQ(c.tied_count, 1);
    EXPECT_EQ(c.fixed_count, 1);
    EXPECT_EQ(c.parameters[2].iw_flag, 1);
    EXPECT_EQ(c.parameters[2].iw_name, "rate");
    set_tied_ratios(c);
    EXPECT_EQ(c.parameters[3].parent_index, 1);
    EXPECT_DOUBLE_EQ(c.parameters[3].tied_ratio, 2.0);  // 20 over the untransformed 10
    std::vector<int> list;
    list_adjustable_parameters(c, list);
    EXPECT_EQ(list, (std::vector<int>{0, 1, 2}));
  }
}

TEST(ToolboxControlFile, RegularisationValuesFollowThePriorSection) {
  pluvo_test::scratch_dir dir;
  write_file("case.pst", full(false) + "* regularisation\n1.0 1.05 0.1\n2.5 1e-10 1e10\n1.3 1e-2\n");
  toolbox_control c;
  ASSERT_EQ(read(c, "case.pst"), 0);
  EXPECT_EQ(c.regularisation[7], 1e-2);
  EXPECT_EQ(c.weight_factor, 2.5);
}

TEST(ToolboxControlFile, NamesAreOpenedWithPstOnlyWhenTheyHoldNoDot) {
  pluvo_test::scratch_dir dir;
  write_file("run.1", full(false));
  toolbox_control c;
  EXPECT_EQ(read(c, "run.1"), 0);
  const std::string pairs = read_file("pluvo.in");
  toolbox_control d;
  testing::internal::CaptureStderr();
  EXPECT_EQ(read(d, "missing"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot open missing.pst \n");
  EXPECT_EQ(read_file("pluvo.in"), pairs);  // a control file not read writes nothing
}

TEST(ToolboxControlFile, BadFilesAreRefusedWithTheirMessage) {
  const std::string good = full(false);
  auto replace = [&](const std::string& from, const std::string& to) {
    std::string s = good;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  const std::string long_name(104, 'x');
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {replace("10.0 1.0 100.0 soil", "10.0 0.0 100.0 soil"),
       "\nThe log transformed parameter K1 has an input value less than zero!\nProgram terminating.\n"},
      {replace("- 2.0 * log(iw_rate)", "- 2.0 log(iw_rate) *"), "Error reading prior information"},
      {good.substr(0, good.find("q2 30.0")),
       "Error: the control file case.pst ends before observation 2\n"},
      {replace("q1 12.5", long_name + " 12.5"),
       "Error: the control file case.pst: observation 1 is longer than 103 characters\n"},
      {replace("K1 log factor 10.0", "K1 log factor ten"),
       "Error: the control file case.pst: parameter 1 is not a number: ten\n"},
      {replace("pi1 1.0 * K1 - 2.0 * log(iw_rate) =",
               "pi1 1 * a + 1 * b + 1 * c + 1 * d + 1 * e + 1 * f + 1 * g + 1 * h + 1 * i + 1 * j "
               "+ 1 * k ="),
       "Error: the control file case.pst: prior information item 1 is longer than 99 characters\n"},
      {replace("pi1 1.0 * K1 - 2.0 * log(iw_rate) =",
               "p 1*a 1*b 1*c 1*d 1*e 1*f 1*g 1*h 1*i 1*j 1*k ="),
       "Error: the control file case.pst: prior information item 1 has more than 10 terms\n"},
      {replace("4 3 2 1 2", "400000000 3 2 1 2"),
       "Error: the control file case.pst ends before its 400000000 items of NPAR\n"},
  };
  for (const auto& k : cases) {
    pluvo_test::scratch_dir dir;
    write_file("case.pst", k.text);
    toolbox_control c;
    testing::internal::CaptureStdout();
    const int status = read(c, "case");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 1) << k.message;
    EXPECT_EQ(out, k.message);
  }
}

}  // namespace
}  // namespace pluvo::toolbox
