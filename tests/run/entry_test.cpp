#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/console.hpp"
#include "common/process.hpp"
#include "run/entry.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::run_command;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

const char* const usage_text =
    "\nUsage: pluvo [-option] [inputfile]\n\n where -option is one of:\n"
    "      -c = SCE calibration mode (input file is the calibration control file)\n"
    "      -m = Monte Carlo calibration mode (input file is the calibration control file)\n"
    "      -b = batch mode (input file is the batch control file)\n"
    "      -s = sensitivity mode (input file is the sensitivity control file)\n"
    "      -v = display version information (no project will be run)\n"
    "  The c, m, b, and v commands are optional and if not present the input file is\n"
    " treated as the project file\n\n"
    "  For the -b option, the command line should be:\n      pluvo -b[num_batch] pluvo_inputfile\n\n"
    "  For the -c option, the command line should be:\n      pluvo -c sce_inputfile\n\n"
    "  For the -m option, the command line should be:\n      pluvo -m[num_batch] mc_inputfile\n\n"
    "  For the -s option, the command line should be:\n      pluvo -s sen_inputfile\n\n"
    "  For the -t option (and -tv), the command line should be:\n      pluvo -t[v]\n\n"
    "  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE input file, "
    "mc_intputfile is\n  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n\n";

std::string banner() {
  char line[160];
  std::snprintf(line, sizeof line, "Parallel version of PLUVO (7.0 ) with SCE (OpenMP), %d total threads.\n",
                pluvo::thread_count);
  return line;
}

size_t count_of(const std::string& text, const std::string& token) {
  size_t n = 0;
  for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + 1)) n++;
  return n;
}

struct parse_case {
  std::vector<std::string> args;  // after the program name
  int result;
  int mode;
  const char* file_name;
  bool prints_usage;
};

TEST(ParseCommandLine, ModesInTheirOrderOfComparison) {
  const parse_case cases[] = {
      {{}, -1, 0, "", true},
      {{"-v"}, 1, 1, "-v", false},  // a single argument is always a project file
      {{"p.prj"}, 1, 1, "p.prj", false},
      {{"-v", "x"}, 1, 4, "", false},  // version: the name is not copied
      {{"-h", "x"}, 1, 5, "x", false},
      {{"-c", "sce.in"}, 1, 2, "sce.in", false},
      {{"-b", "p.prj"}, 1, 3, "p.prj", false},
      {{"-b3", "p.prj"}, 3, 3, "p.prj", false},
      {{"-bx", "p.prj"}, 1, 3, "p.prj", false},
      {{"-b0", "p.prj"}, 0, 3, "p.prj", false},
      {{"-m", "mc.in"}, 1, 6, "mc.in", false},
      {{"-m25", "mc.in"}, 25, 6, "mc.in", false},
      {{"-s", "sen.in"}, 1, 7, "sen.in", false},
      {{"-slm", "pest.in"}, 1, 8, "pest.in", false},
      {{"-slmx", "pest.in"}, 1, 8, "pest.in", false},
      {{"-ms", "ms.in"}, 1, 9, "ms.in", false},
      {{"-msx", "ms.in"}, 1, 6, "ms.in", false},  // only "-ms" exactly is multistart
      {{"-tr", "tr.in"}, 1, 10, "tr.in", false},
      {{"-tv", "tr.in"}, 1, 10, "tr.in", false},
      {{"-mlsl", "ml.in"}, 1, 11, "ml.in", false},
      {{"-mlsx", "ml.in"}, 1, 11, "ml.in", false},
      {{"-x", "p.prj"}, -1, 0, "", true},
      {{"p.prj", "extra"}, -1, 0, "", true},
  };
  for (const auto& c : cases) {
    std::vector<std::string> storage = {"pluvo"};
    storage.insert(storage.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    pluvo::command_line cl;
    cl.mode = 99;
    testing::internal::CaptureStdout();
    const int result = pluvo::parse_command_line(int(argv.size()), argv.data(), cl);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string label = storage.size() > 1 ? storage[1] : std::string("(none)");
    EXPECT_EQ(result, c.result) << label;
    EXPECT_EQ(cl.mode, c.mode) << label;
    EXPECT_STREQ(cl.file_name, c.file_name) << label;
    EXPECT_EQ(out, c.prints_usage ? std::string(usage_text) : std::string()) << label;
  }
}

TEST(ParseCommandLine, OverlongFileNameIsCut) {
  std::string prog = "pluvo", name(3000, 'a');
  char* argv[] = {prog.data(), name.data()};
  pluvo::command_line cl;
  EXPECT_EQ(pluvo::parse_command_line(2, argv, cl), 1);
  EXPECT_EQ(std::string(cl.file_name), std::string(2055, 'a'));
}

TEST(PrintIndexTriples, NumberOfAPositionAmongNonZeroCells) {
  int r0[] = {0, 0, 0, 0, 0}, r1[] = {0, 0, 5, 0, 7}, r2[] = {0, 3, 0, 0, 9};
  int* grid[] = {r0, r1, r2};
  const int rows[] = {2, 1, 1}, cols[] = {1, 4, 1};
  int numbers[] = {-1, -1, -1};
  testing::internal::CaptureStdout();
  for (int k = 0; k < 3; k++) pluvo::print_index_triples(grid, 2, 4, 3, rows, cols, numbers, k);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "2  1   3 \n1  4   2 \n");
  EXPECT_EQ(numbers[0], 3);
  EXPECT_EQ(numbers[1], 2);
  EXPECT_EQ(numbers[2], -1);  // a zero cell leaves its entry alone
}

TEST(MessageOut, FormatsUnlessQuiet) {
  testing::internal::CaptureStdout();
  const int n = pluvo::message_out("\nTotal times a value was replaced: %d\n\n", 7);
  const std::string expected = "\nTotal times a value was replaced: 7\n\n";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
  EXPECT_EQ(n, int(expected.size()));
  pluvo::quiet_console = true;
  testing::internal::CaptureStdout();
  EXPECT_EQ(pluvo::message_out("%d\n", 7), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  pluvo::quiet_console = false;
}

TEST(WriteLogMessage, TextIsNeverAFormat) {
  std::FILE* log = std::tmpfile();
  testing::internal::CaptureStdout();
  pluvo::write_log_message(log, "100%s done %d\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "100%s done %d\n");
  std::rewind(log);
  char buffer[64] = {};
  EXPECT_EQ(std::fread(buffer, 1, sizeof buffer - 1, log), 14u);
  EXPECT_STREQ(buffer, "100%s done %d\n");
  std::fclose(log);
}

// The built program, as a user starts it.
TEST(PluvoProgram, UsageAndVersion) {
  scratch_dir dir;
  int status = -1;
  EXPECT_EQ(run_command(std::string(PLUVO_BINARY), status), banner() + usage_text);
  EXPECT_EQ(status, 0);
  const std::string version = run_command(std::string(PLUVO_BINARY) + " -v x", status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(version.rfind(banner() + "\n    -- PLUVO version 7.00  --\n \n", 0), 0u) << version;
  const std::string tail = "Intended for use with VOK Version 9.0 or higher\n \n";
  ASSERT_GE(version.size(), tail.size());
  EXPECT_EQ(version.substr(version.size() - tail.size()), tail);
  EXPECT_EQ(run_command(std::string(PLUVO_BINARY) + " -h x", status), banner());
}

TEST(PluvoProgram, BatchMakesNumberedRuns) {
  scratch_dir dir;
  write_file("p.prj", "PLUVOPROJECT\nTIMESTEP 10\nOUTSLOPE 0.01\nHYD_FREQ 1\nMAP_FREQ 60\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\nOVERTYPE 1\nRAIN_INTENSITY 10\nRAIN_DURATION 30\n");
  const struct {
    const char* option;
    size_t runs;
  } cases[] = {{"-b3", 3}, {"-b", 1}};
  for (const auto& c : cases) {
    int status = -1;
    const std::string out = run_command(std::string(PLUVO_BINARY) + " " + c.option + " p.prj", status);
    char line[96];
    std::snprintf(line, sizeof line, "PLUVO is running in batch mode, and is running %d runs...\n", int(c.runs));
    EXPECT_EQ(out.rfind(banner() + line, 0), 0u) << out;
    EXPECT_EQ(count_of(out, "Run time: "), c.runs) << c.option;
  }
}

// A count that cannot be run or an option that names no mode stops before any run, with exit 1.
TEST(PluvoProgram, RefusesBadCountsAndUnknownOptions) {
  scratch_dir dir;
  write_file("p.prj", "PLUVOPROJECT\n");
  const struct {
    const char* option;
    std::string message;
  } cases[] = {
      {"-b-1", "Error: The run count -1 of option -b-1 is outside 1 to 1000000; nothing was run.\n"},
      {"-b0", "Error: The run count 0 of option -b0 is outside 1 to 1000000; nothing was run.\n"},
      {"-b2000000", "Error: The run count 2000000 of option -b2000000 is outside 1 to 1000000; nothing was run.\n"},
      {"-m-5", "Error: The run count -5 of option -m-5 is outside 1 to 1000000; nothing was run.\n"},
      {"-z", std::string(usage_text) + "Error: Unknown option -z on the command line; nothing was run.\n"},
  };
  for (const auto& c : cases) {
    int status = -1;
    const std::string out = run_command(std::string(PLUVO_BINARY) + " " + c.option + " p.prj", status);
    EXPECT_EQ(out, banner() + c.message) << c.option;
    EXPECT_EQ(status, 1) << c.option;
  }
}

TEST(PluvoProgram, WebModeHeaderAndFormEcho) {
  scratch_dir dir;
  const std::string web = dir.path("pluvo_web");
  ASSERT_EQ(symlink(PLUVO_BINARY, web.c_str()), 0);
  const std::string head =
      "Content-Type:text/text;charset=iso-8859-1\r\n\n"
      "<title>PLUVO Test Case</title><body><P> Web version of PLUVO (7.0 ) with SCE starting...</P><P>";
  const struct {
    const char* length;
    const char* echo;
  } cases[] = {
      {"5", "name="},
      {"40", "name=value"},  // the form data stops at its line end
      {"2000", "<P>Error in invocation - wrong FORM probably."},
      {"-1", "<P>Error in invocation - wrong FORM probably."},
      {"x", "<P>Error in invocation - wrong FORM probably."},
  };
  for (const auto& c : cases) {
    int status = -1;
    const std::string out = run_command(std::string("printf 'name=value\\nrest' | CONTENT_LENGTH=") + c.length +
                                            " " + web + " -h x",
                                        status);
    EXPECT_EQ(out, head + c.echo + "</P></body>\n") << c.length;
    EXPECT_EQ(status, 0);
  }
  int status = -1;
  EXPECT_EQ(run_command("unset CONTENT_LENGTH; " + web + " -h x", status),
            head + "<P>Error in invocation - wrong FORM probably.</P></body>\n");
}

}  // namespace

namespace {

TEST(PluvoProgram, ReportedErrorsSetTheExitStatus) {
  const std::string base =
      "PLUVOPROJECT\nTIMESTEP 10\nTOT_TIME 10\nOUTSLOPE 0.01\nHYD_FREQ 1\nMAP_FREQ 60\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\nOVERTYPE 1\nRAIN_INTENSITY 10\nRAIN_DURATION 30\n"
      "WATERSHED_MASK one.msk\nELEVATION one.ele\nGRIDSIZE 10\nROWS 1\nCOLS 1\nOUTROW 1\nOUTCOL 1\n"
      "SUMMARY one.sum\nOUTLET_HYDRO one.hyd\n";
  const std::string one_cell = "north: 10\nsouth: 0\neast: 10\nwest: 0\nrows: 1\ncols: 1\n";
  const struct {
    const char* label;
    std::string project;  // empty: no project file at all
    const char* message;
    int status;
  } cases[] = {
      {"roughness twice", base + "ROUGHNESS n.asc\nMANNING_N 0.03\n",
       "\nError: You have specified both spatially-varied and uniform Manning roughness\nusing both the ROUGHNESS "
       "and MANNING_N project file cards.  Only one of\nthese may be specified.  Select only one option.\n",
       1},
      {"no hydrograph interval", base + "HYD_FREQ 0\nMANNING_N 0.03\n",
       "\nWarning: Write hydrograph time step not specified, defaulting to 1 hour.\n", 0},
      {"no project file", "", "\nError: The specified project file was not found.\n", 1},
  };
  for (const auto& c : cases) {
    scratch_dir dir;
    if (!c.project.empty()) write_file("p.prj", c.project);
    write_file("one.msk", one_cell + "1\n");
    write_file("one.ele", one_cell + "5\n");
    int status = -1;
    const std::string out = run_command(std::string(PLUVO_BINARY) + " p.prj 2>/dev/null", status);
    EXPECT_NE(out.find(c.message), std::string::npos) << c.label << "\n" << out;
    EXPECT_EQ(out.find("Running....") != std::string::npos, c.status == 0) << c.label;
    EXPECT_EQ(status, c.status) << c.label;
    EXPECT_EQ(pluvo_test::read_file("out_time.out").rfind("total time (s): ", 0), 0u) << c.label;
  }
}

}  // namespace
