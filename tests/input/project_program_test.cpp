#include <gtest/gtest.h>

#include <string>

#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::run_command;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

const std::string cards =
    "TIMESTEP 10\nTOT_TIME 60\nOUTSLOPE 0.01\nHYD_FREQ 1\nMAP_FREQ 60\nRAIN_INTENSITY 10\nRAIN_DURATION 30\n";

struct program_output {
  std::string out;  // standard output and error together
  int status = 0;
};

program_output run_project(const std::string& text) {
  write_file("p.prj", text);
  program_output r;
  r.out = run_command(std::string(PLUVO_BINARY) + " p.prj 2>&1", r.status);
  return r;
}

bool holds_in_order(const std::string& text, std::initializer_list<const char*> parts) {
  std::size_t at = 0;
  for (const char* p : parts) {
    at = text.find(p, at);
    if (at == std::string::npos) return false;
  }
  return true;
}

TEST(PluvoProject, AWrongFormatLineStopsTheRun) {
  scratch_dir dir;
  for (const std::string first : {"PLUVOPROJECT \n", "pluvoproject\n", "PLUVOPROJECT\r\n"}) {
    const program_output r = run_project(first + cards);
    EXPECT_TRUE(holds_in_order(r.out, {"File Does not Appear to be a Valid PLUVO/FLUMOX Project file\n"
                                       "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix "
                                       "machine?\nPLUVO Terminating....\n"}))
        << r.out;
    EXPECT_EQ(r.out.find("Running...."), std::string::npos);
    EXPECT_EQ(r.status, 1);
  }
}

TEST(PluvoProject, UnknownCardsAndThreadCards) {
  scratch_dir dir;
  program_output r = run_project("PLUVOPROJECT\nRAINFALL 3\n" + cards);
  EXPECT_TRUE(holds_in_order(r.out, {"Warning: unknown card found in the project file: rainfall\n",
                                     "finished reading project file"}))
      << r.out;

  // The thread count holds from the card on: one thread drops the process number from the run line.
  r = run_project("PLUVOPROJECT\nNUM_THREADS 4\n" + cards);
  EXPECT_TRUE(holds_in_order(r.out, {"Setting the thread level to 4.\n", "0: Run time:"})) << r.out;
  r = run_project("PLUVOPROJECT\nNUM_THREADS 1\n" + cards);
  EXPECT_TRUE(holds_in_order(r.out, {"Setting the thread level to 1.\n", "\nRun time:"})) << r.out;
}

}  // namespace
