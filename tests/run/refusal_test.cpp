// A project or run mode that asks for something not built yet, or not offered by this version,
// stops with one numbered message naming each such thing, and exit status 1; it never runs and
// reports success.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "input/project_cards.hpp"
#include "run/driver.hpp"
#include "run/entry.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::run_command;
using pluvo_test::run_strip_project;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

const char* const refusal_head = "Error: This version of PLUVO cannot do what was asked; not built yet:\n";
const char* const refusal_tail = "Remove these from the project file or the command line.  Nothing was run.\n";

const char* const unoffered_head = "Error: This version of PLUVO does not offer what was asked:\n";
const char* const unoffered_tail = "Remove these from the project file.  Nothing was run.\n";

// A card with its value becomes one word.
std::string card_name(const testing::TestParamInfo<pluvo::unbuilt_request>& info) {
  std::string name = info.param.name;
  for (char& c : name)
    if (c == ' ') c = '_';
  return name;
}

// Each card this version does not offer stops the run under its own message.
class UnofferedCard : public testing::TestWithParam<pluvo::unbuilt_request> {};

TEST_P(UnofferedCard, StopsTheRunWithItsName) {
  scratch_dir dir;
  const pluvo::unbuilt_request& u = GetParam();
  const pluvo_test::project_result r = run_strip_project(std::string(u.name) + " x.dat\n");
  EXPECT_NE(r.out.find(std::string(unoffered_head) + "  " + u.name + ": " + u.what + "\n" + unoffered_tail),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find(refusal_head), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Running...."), std::string::npos);
  EXPECT_TRUE(r.stopped);
}

INSTANTIATE_TEST_SUITE_P(EveryListedCard, UnofferedCard,
                         testing::ValuesIn(pluvo::unoffered_requests().begin(), pluvo::unoffered_requests().end()),
                         card_name);

// The list as this version has it: only what no process of this version simulates is refused.
TEST(Refusal, TheTableHoldsExactlyItsRows) {
  const auto names = [](std::span<const pluvo::unbuilt_request> list) {
    std::vector<std::string> n;
    for (const pluvo::unbuilt_request& u : list) n.push_back(u.name);
    return n;
  };
  EXPECT_EQ(names(pluvo::unoffered_requests()),
            (std::vector<std::string>{"LAKE_PUMP", "SOURCEFILE", "CHAN_PREISS", "CHAN_DRAIN", "CHAN_MESH",
                                      "CHAN_BACKWATER"}));
}

TEST(Refusal, OneMessageNamesEverythingAndTheProgramExitsWithOne) {
  scratch_dir dir;
  pluvo_test::write_strip_grid();
  write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() +
                          "LAKE_PUMP pumps.txt\nSOURCEFILE s.src\nCHAN_PREISS\n");
  int status = 0;
  const std::string out = run_command(std::string(PLUVO_BINARY) + " w.prj 2>&1", status);
  EXPECT_NE(out.find(std::string(unoffered_head) +
                     "  LAKE_PUMP: lake pumps\n"
                     "  SOURCEFILE: contaminant sources\n"
                     "  CHAN_PREISS: Preissmann channel routing\n" + unoffered_tail),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("Running...."), std::string::npos) << out;
  EXPECT_EQ(out.find("Sanitizer"), std::string::npos) << out;  // the 1 is the refusal's own
  EXPECT_EQ(status, 1);
}

TEST(Refusal, CalibrationModesStopOnInputTheyCannotUse) {
  scratch_dir dir;
  write_file("control.in", "nothing\n");
  const struct {
    const char* option;
    const char* line;
  } modes[] = {
      {"-c", "Error in your input file. The first line must have 7 parameters.\n"},
      {"-m5", "Error: unable to read the input monte carlo file.\n"},
      {"-s", "Error: unable to read the input monte carlo file.\n"},
  };
  for (const auto& mode : modes) {
    pluvo::run_stopped_on_error = false;
    char program[] = "pluvo", control[] = "control.in";
    std::string option = mode.option;
    char* argv[] = {program, option.data(), control, nullptr};
    const std::string out = pluvo::printed_by([&] { pluvo::pluvo_main(3, argv); });
    EXPECT_NE(out.find(mode.line), std::string::npos) << mode.option << "\n" << out;
    EXPECT_EQ(out.find(refusal_head), std::string::npos) << mode.option << "\n" << out;
    EXPECT_TRUE(pluvo::run_stopped_on_error) << mode.option;
  }
  pluvo::run_stopped_on_error = false;
  pluvo::error_state = pluvo::error_state_record();
  // The program itself exits with 1.
  int status = 0;
  const std::string out = run_command(std::string(PLUVO_BINARY) + " -c control.in 2>&1", status);
  EXPECT_EQ(out.find("Sanitizer"), std::string::npos) << out;
  EXPECT_EQ(status, 1);
}

// Soil constituents without the overland transport that sets them up and feeds them is a
// mistake in the project, not work left undone: its own numbered message.
TEST(Refusal, SoilTransportWithoutOverlandTransportIsAProjectError) {
  scratch_dir dir;
  const pluvo_test::project_result r = run_strip_project("SOIL_CON_TRANS\nGREEN_AMPT\n");
  EXPECT_NE(r.out.find("Error: SOIL_CON_TRANS needs OV_CON_TRANS: the constituents of the soil are set up and fed by "
                       "the overland transport.\nAdd OV_CON_TRANS or remove SOIL_CON_TRANS.\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find(refusal_head), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Running...."), std::string::npos) << r.out;
  EXPECT_TRUE(r.stopped);
}

TEST(Refusal, AProjectOfBuiltProcessesRuns) {
  scratch_dir dir;
  const pluvo_test::project_result r = run_strip_project("");
  EXPECT_EQ(r.out.find(refusal_head), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Running...."), std::string::npos) << r.out;
  EXPECT_FALSE(r.stopped);
}

}  // namespace
