// Template checks and the instruction language against one model output file.
#include "calibration/toolbox/template_files.hpp"

#include <gtest/gtest.h>

#include <string>

#include "run/scratch_dir.hpp"

namespace pluvo::toolbox {
namespace {

using pluvo_test::write_file;

toolbox_control with_names(const std::vector<std::string>& parameters,
                           const std::vector<std::string>& observations) {
  toolbox_control c;
  c.npar = int(parameters.size());
  c.parameters.resize(parameters.size() + 1);
  for (size_t k = 0; k < parameters.size(); ++k) c.parameters[k + 1].name = parameters[k];
  c.nobs = int(observations.size());
  c.observations.resize(observations.size() + 1);
  for (size_t k = 0; k < observations.size(); ++k) c.observations[k + 1].name = observations[k];
  return c;
}

int check_template(toolbox_control& c, const std::string& text) {
  write_file("k.tpl", text);
  c.ntplfle = 1;
  c.templates.assign(2, {});
  c.templates[1].template_file = "k.tpl";
  toolbox_file_handles h{};
  EXPECT_EQ(open_template_files(c, h), 0);
  const int status = check_template_files(c, h);
  close_template_files(c, h);
  return status;
}

TEST(ToolboxTemplates, HeadersMarkersAndNames) {
  pluvo_test::scratch_dir dir;
  toolbox_control c = with_names({"k1", "K2", "rough"}, {});
  // Five markers give two fields; names match as written, lower-cased or upper-cased.
  ASSERT_EQ(check_template(c, "ptf $\nKSAT $ K1   $ x\nN $k2$ y $\n"), 0);
  EXPECT_EQ(c.templates[1].field_count, 2);
  EXPECT_EQ(c.templates[1].field_parameter, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(c.templates[1].marker_positions[1], 12);  // "ptf $\n" is 6 characters, "KSAT " 5
  ASSERT_EQ(check_template(c, "jtf @\n@rough@\n"), 0);
  EXPECT_EQ(c.templates[1].field_parameter[1], 3);

  const struct {
    const char* text;
    const char* message;
  } refused[] = {
      {"PTF $\n$k1$\n", "\nk.tpl is not a valid PEST template file.\n\n"},
      {"ptf $\n$$\n",
       "Error: the template file k.tpl names , which is not a parameter of the control file\n"},
      {"ptf $\n$ nope $\n",
       "Error: the template file k.tpl names nope, which is not a parameter of the control file\n"},
  };
  for (const auto& r : refused) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(check_template(c, r.text), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), r.message);
  }
  std::string many = "ptf $\n";
  for (int i = 0; i < 10001; ++i) many += "$";
  testing::internal::CaptureStdout();
  EXPECT_EQ(check_template(c, many), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: the template file k.tpl holds more than 10000 markers\n");

  c.ntplfle = 26;
  toolbox_file_handles h{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(open_template_files(c, h), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nCurrently, slm_vyn does not support more than 25 template files.\nPlease modify "
            "and recompile the code to accomodate the unusually large number of template "
            "files.\n\n");
}

// The model output every instruction case reads.
const char* model_output =
    "header line\n"
    "0.5 first\n"
    "    12.5 flow\n"
    "peak discharge: -3.5e+01m3/s\n"
    "a b   77.25\n";

struct instruction_case {
  const char* instructions;  // after the "pif #" line
  double value;              // observation Q of slot 1
  const char* message;       // empty: read cleanly
};

TEST(ToolboxInstructions, EveryInstructionAgainstOneOutputFile) {
  const instruction_case cases[] = {
      {"l2 [Q]1:3\n", 0.5, ""},
      {"l3 [Q]5:8\n", 12.5, ""},
      {"#discharge:# !Q!\n", -35.0, ""},
      {"#discharge:# !q! #m3/s#\n", -35.0, ""},  // cursor rests after the number
      {"l5 w w !Q!\n", 77.25, ""},
      {"l5 t4 !Q!", 77.25, ""},  // no final newline: still stored
      {"\n\n[Q]1:8\n", 12.5, ""},  // each line end moves to the next output line
      {"l2 & [Q]1:3\n", 0.5, ""},
      {"#no such text# !Q!\n", 0.0, "Error: q.ins: the text no such text was not found in q.out\n"},
      {"#unclosed\n", 0.0, "Error: q.ins: a search text has no closing marker\n"},
      {"l2 [Q1:3\n", 0.0, "Error: q.ins: a fixed observation has no closing ']'\n"},
      {"l2 [Q]13\n", 0.0, "Error: q.ins: a fixed observation has no ':'\n"},
      {"l2 !R!\n", 0.0, "Error: q.ins names R, which is not an observation of the control file\n"},
      {"l9 !Q!\n", 0.0, "Error: q.ins: an l instruction ran out of lines before the end of q.out\n"},
      {"l2 !Q\n", 0.0, "Error: q.ins: a non-fixed observation has no closing '!'\n"},
  };
  for (const auto& k : cases) {
    pluvo_test::scratch_dir dir;
    write_file("q.out", model_output);
    write_file("q.ins", std::string("pif #\n") + k.instructions);
    toolbox_control c = with_names({}, {"Q"});
    c.ninsfle = 1;
    c.instructions.assign(2, {});
    c.instructions[1] = {"q.ins", "q.out"};
    toolbox_file_handles h{};
    ASSERT_EQ(open_instruction_files(c, h), 0);
    testing::internal::CaptureStdout();
    const int status = read_model_output_observation(c, {}, 1, 1, h);
    const std::string out = testing::internal::GetCapturedStdout();
    close_instruction_files(c, h);
    EXPECT_EQ(out, k.message) << k.instructions;
    EXPECT_EQ(status, *k.message ? 1 : 0) << k.instructions;
    EXPECT_EQ(c.observations[1].simulated[1], k.value) << k.instructions;
    EXPECT_EQ(c.observations[1].simulated[0], 0.0);
  }
}

TEST(ToolboxInstructions, BadHeadersAndMissingOutputStopTheMode) {
  pluvo_test::scratch_dir dir;
  toolbox_control c = with_names({}, {"Q"});
  c.ninsfle = 1;
  c.instructions.assign(2, {});
  c.instructions[1] = {"q.ins", "q.out"};
  toolbox_file_handles h{};
  write_file("q.ins", "pif #\nl1 !Q!\n");
  ASSERT_EQ(open_instruction_files(c, h), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(read_model_output_observation(c, {}, 1, 0, h), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: cannot open the model output file q.out\n");
  close_instruction_files(c, h);
  write_file("q.ins", "ptf #\nl1 !Q!\n");
  write_file("q.out", "1\n");
  ASSERT_EQ(open_instruction_files(c, h), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(read_model_output_observation(c, {}, 1, 0, h), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: q.ins is not a valid instruction file: its first line begins with neither pif "
            "nor jif\n");
  close_instruction_files(c, h);
  c.instructions[1].instruction_file = "absent.ins";
  testing::internal::CaptureStdout();
  EXPECT_EQ(open_instruction_files(c, h), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: cannot open the instruction file absent.ins\n");
}

TEST(ToolboxInstructionsDeathTest, SemiFixedObservationsEndWithStatusOne) {
  pluvo_test::scratch_dir dir;
  toolbox_control c = with_names({}, {"Q"});
  c.ninsfle = 1;
  c.instructions.assign(2, {});
  c.instructions[1] = {"q.ins", "q.out"};
  write_file("q.ins", "pif #\nl1 (Q)1:5\n");
  write_file("q.out", "1\n");
  toolbox_file_handles h{};
  ASSERT_EQ(open_instruction_files(c, h), 0);
  EXPECT_EXIT(read_model_output_observation(c, {}, 1, 0, h), testing::ExitedWithCode(1), "");
  close_instruction_files(c, h);
}

}  // namespace
}  // namespace pluvo::toolbox
