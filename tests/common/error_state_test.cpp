#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"

namespace {

std::string contents(std::FILE* f) {
  std::string text;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(char(c));
  return text;
}

struct report_case {
  const char* label;
  int code;
  const char* kind;
  const char* name;
  int arg1, arg2;
  int terminate_before;
  bool pause;
  bool log_open;
  const char* console;
  const char* log;
  const char* error_stream;
  int code_after, terminate_after, fatal_after;
};

const char* const w55 = "\nWarning: Write hydrograph time step not specified, defaulting to 1 hour.\n";
const char* const e200 = "\nProgram termanated due to invalid channel input file chan.dat\n";
const char* const pause_line = "Program terminated.  Hit any key to continue.\n";

TEST(ReportError, CodesFlagsConsoleAndLog) {
  const report_case cases[] = {
      {"warning", 55, "", "", 0, 0, 0, false, true, w55, w55, "", 0, 0, 0},
      {"warning before the log is open", 55, "", "", 0, 0, 0, false, false, w55, "", "", 0, 0, 0},
      {"already printed", 4000, "", "", 0, 0, 0, false, true, "\n", "\n", "", 0, 1, 0},
      {"warning already printed", 301, "", "", 0, 0, 0, false, true, "\n", "\n", "", 0, 0, 0},
      {"unlisted", 250, "", "", 0, 0, 0, false, true, "\n", "\n", "", 0, 1, 0},
      {"unlisted gap", 129, "", "", 0, 0, 0, false, true, "\n", "\n", "", 0, 1, 0},
      {"no code keeps the flag", 0, "", "", 0, 0, 1, false, true, "", "", "", 0, 1, 0},
      {"negative code", -3, "", "", 0, 0, 0, false, true, "", "", "", 0, 0, 0},
      {"percent in the names", 4, "elev%s", "100%d_%n.asc", 0, 0, 0, false, true,
       "\nError: Unable to open elev%s file.\n  (File: 100%d_%n.asc)\n",
       "\nError: Unable to open elev%s file.\n  (File: 100%d_%n.asc)\n", "", 0, 1, 0},
      {"two numbers", 71, "", "map.asc", 3, -4, 0, false, true,
       "\nIndex ID exceeds table limit, file: map.asc [row 3:col -4]\n",
       "\nIndex ID exceeds table limit, file: map.asc [row 3:col -4]\n", "", 0, 1, 0},
      {"fatal without pause", 200, "", "chan.dat", 0, 0, 0, false, true,
       "\nProgram termanated due to invalid channel input file chan.dat\nPLUVO Terminated.\n", e200, "", 200, 1, 1},
      {"fatal with pause", 300, "", "drains", 0, 0, 0, true, true,
       "\nProgram termanated due to NaN in the non-SUPERLINK drain system drains\nPLUVO Terminated.\n",
       "\nProgram termanated due to NaN in the non-SUPERLINK drain system drains\n", pause_line, 300, 1, 1},
  };
  for (const auto& c : cases) {
    pluvo::error_state_record state;
    state.error_code = c.code;
    state.error_terminate = c.terminate_before;
    state.error_file_kind = c.kind;
    state.error_file_name = c.name;
    state.error_arg1 = c.arg1;
    state.error_arg2 = c.arg2;
    pluvo::pause_on_exit = c.pause;
    pluvo::checked_file log;
    log.stream = log.guard = std::tmpfile();
    pluvo::error_log_file = c.log_open ? &log : nullptr;

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    pluvo::report_error(state);  // standard input is not a terminal here: no wait
    const std::string error_stream = testing::internal::GetCapturedStderr();
    const std::string console = testing::internal::GetCapturedStdout();

    EXPECT_EQ(console, c.console) << c.label;
    EXPECT_EQ(contents(log.stream), c.log) << c.label;
    EXPECT_EQ(error_stream, c.error_stream) << c.label;
    EXPECT_EQ(state.error_code, c.code_after) << c.label;
    EXPECT_EQ(state.error_terminate, c.terminate_after) << c.label;
    EXPECT_EQ(state.error_fatal, c.fatal_after) << c.label;
    pluvo::error_log_file = nullptr;
    pluvo::checked_file_close(log);
  }
  pluvo::pause_on_exit = false;
}

TEST(ReportError, EveryWarningClearsTheStopFlag) {
  for (int code : {14, 16, 17, 39, 41, 55, 95, 96, 301}) {
    pluvo::error_state_record state;
    state.error_code = code;
    testing::internal::CaptureStdout();
    pluvo::report_error(state);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(state.error_terminate, 0) << code;
    EXPECT_EQ(state.error_code, 0) << code;
    if (code != 301) {
      EXPECT_NE(out.find("Warning"), std::string::npos) << code;
    }
  }
}

TEST(ReportError, ReportsFromAParallelLoopPrintWhole) {
  testing::internal::CaptureStdout();
#pragma omp parallel for schedule(static) num_threads(8)
  for (int i = 0; i < 64; i++) {
    pluvo::error_state_record state;
    state.error_code = 59;
    state.error_file_name = "out.txt";
    pluvo::report_error(state);
  }
  const std::string out = testing::internal::GetCapturedStdout();
  std::string expected;
  for (int i = 0; i < 64; i++) expected += "\nError: Can't open output file: out.txt\n";
  EXPECT_EQ(out, expected);
}

TEST(SetError, StoresCodeStopFlagAndNames) {
  pluvo::error_state = pluvo::error_state_record();
  pluvo::set_error(4, "elevation data", "dem.asc");
  EXPECT_EQ(pluvo::error_state.error_code, 4);
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  EXPECT_EQ(pluvo::error_message_text(pluvo::error_state),
            "Error: Unable to open elevation data file.\n  (File: dem.asc)\n");
  pluvo::error_state = pluvo::error_state_record();
}

}  // namespace

namespace {

// The one way to stop a run with a message: on the console and in the log, the reporter's line
// after it, the run stopped; data is never a format, and workers of a loop print whole lines.
TEST(StopRun, PrintsLogsAndStopsTheRun) {
  pluvo::error_state = pluvo::error_state_record();
  pluvo::checked_file log;
  log.stream = log.guard = std::tmpfile();
  pluvo::error_log_file = &log;
  testing::internal::CaptureStdout();
  pluvo::stop_run("Cell %d of %s is 100%% wet\n", 7, "w%s.msk");
#pragma omp parallel for schedule(static) num_threads(8)
  for (int i = 0; i < 16; i++) pluvo::stop_run("worker stop\n");
  const std::string console = testing::internal::GetCapturedStdout();
  std::string expected = "Cell 7 of w%s.msk is 100% wet\n\n";
  for (int i = 0; i < 16; i++) expected += "worker stop\n\n";
  EXPECT_EQ(console, expected);
  EXPECT_EQ(contents(log.stream), expected);
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  pluvo::error_log_file = nullptr;
  pluvo::checked_file_close(log);
  pluvo::error_state = pluvo::error_state_record();
}

}  // namespace
