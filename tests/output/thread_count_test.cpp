// The thread count changes nothing a run writes, and the program starts the threads it is
// told to start.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/printed.hpp"
#include "common/process.hpp"
#include "run/driver.hpp"
#include "run/scratch_dir.hpp"

extern char** environ;

namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;
using pluvo_test::run_command;

// A 100 x 100 tilted V of 10 m cells (10,000 cells, above the threading threshold) with two
// land uses and two soils in stripes, Green and Ampt infiltration, retention and three
// gauges of 5-minute depths stepped at 7 s, for the given minutes.
void write_storm_project(int minutes) {
  const int side = 100;
  const std::string head = "north: 1000\nsouth: 0\neast: 1000\nwest: 0\nrows: 100\ncols: 100\n";
  std::string mask = head, elevation = head, land = head, soil = head;
  char value[32];
  for (int r = 0; r < side; ++r) {
    for (int c = 0; c < side; ++c) {
      const char* gap = c ? " " : "";
      mask += gap + std::string("1");
      std::snprintf(value, sizeof value, "%s%.3f", gap, 100.0 + 0.2 * std::abs(c - 50) + 0.05 * (side - 1 - r));
      elevation += value;
      land += gap + std::string((r / 7 + c / 11) % 2 ? "2" : "1");
      soil += gap + std::string((r / 13 + c / 5) % 2 ? "2" : "1");
    }
    mask += "\n", elevation += "\n", land += "\n", soil += "\n";
  }
  write_file("v.msk", mask);
  write_file("v.ele", elevation);
  write_file("land.idx", land);
  write_file("soil.idx", soil);
  const auto row = [](int id, const char* values) {
    char text[256];
    std::snprintf(text, sizeof text, "%6d%-80s%s\n", id, "class", values);  // fixed columns
    return std::string(text);
  };
  write_file("v.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP land.idx Land use\nINDEX_MAP soil.idx Soils\n"
                      "ROUGHNESS Land use\nNUM_IDS 2\nid\n" + row(1, "0.05") + row(2, "0.2") +
                      "RETENTION Land use\nNUM_IDS 2\nid\n" + row(1, "0.5") + row(2, "2") +
                      "GREEN_AMPT_INFILTRATION Soils\nNUM_IDS 2\nid\n" +
                      row(1, "3.6 25 0.45 0.2 0.02 0.3 0.1") + row(2, "0.36 10 0.5 0.25 0.03 0.35 0.15") +
                      "GREEN_AMPT_INITIAL_SOIL_MOISTURE Soils\nNUM_IDS 2\nid\n" + row(1, "0.2") +
                      row(2, "0.3"));
  write_file("v.gag", "EVENT \"three gauges\"\nNRGAG 3\nNRPDS 3\n"
                      "COORD 100 900 north-west\nCOORD 500 500 centre\nCOORD 950 50 south-east\n"
                      "GAGES 2020 6 1 10 0 0 0 0\nGAGES 2020 6 1 10 5 9 14 6\n"
                      "GAGES 2020 6 1 10 10 3 8 12\n");
  write_file("v.prj", "PLUVOPROJECT\nWATERSHED_MASK v.msk\nELEVATION v.ele\nGRIDSIZE 10\nROWS 100\n"
                      "COLS 100\nOUTROW 100\nOUTCOL 51\nOUTSLOPE 0.005\nTIMESTEP 7\nTOT_TIME " +
                      std::to_string(minutes) + "\nHYD_FREQ 1\nMAP_FREQ 60\nOVERTYPE 1\nPRECIP_FILE v.gag\nRAIN_INV_DISTANCE\n"
                      "MAPPING_TABLE v.cmt\nRETEN_DEPTH\nGREEN_AMPT\nSUMMARY v.sum\n"
                      "OUTLET_HYDRO v.hyd\n");
}

// Every file a run wrote, by name; the wall-clock timing file is the one that may differ.
std::map<std::string, std::string> files_written() {
  const char* inputs[] = {"v.msk", "v.ele", "land.idx", "soil.idx", "v.cmt", "v.gag", "v.prj",
                          "out_time.out"};
  std::map<std::string, std::string> files;
  DIR* d = opendir(".");
  if (!d) return files;
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == ".." || std::count(std::begin(inputs), std::end(inputs), name)) continue;
    files[name] = read_file(name);
  }
  closedir(d);
  return files;
}

TEST(ThreadCount, AStormWritesTheSameFilesOnOneTwoAndEightThreads) {
  const int saved = pluvo::thread_count;
  std::map<std::string, std::string> first;
  for (int threads : {1, 2, 8}) {
    SCOPED_TRACE(threads);
    pluvo_test::scratch_dir dir;
    write_storm_project(12);
    pluvo::set_thread_count(threads);
    int result = -1;
    const std::string console =
        pluvo::printed_by([&] { result = pluvo::run_pluvo("v.prj", nullptr, "v.prj"); });
    ASSERT_EQ(result, 0) << console;
    const auto files = files_written();
    ASSERT_TRUE(files.count("v.sum") && files.count("v.hyd")) << console;
    ASSERT_NE(files.at("v.sum").find("Total amount of infiltration="), std::string::npos);
    if (threads == 1) {
      first = files;
      continue;
    }
    ASSERT_EQ(files.size(), first.size());
    for (const auto& [name, text] : first) EXPECT_EQ(files.at(name), text) << name;
  }
  pluvo::set_thread_count(saved);
}

// Runs the program on a project with OMP_NUM_THREADS set and OMP_WAIT_POLICY not, and gives
// the most threads it was seen to hold at once (its tasks in /proc, looked at until it exits),
// what it printed, and whether it ran with the passive wait policy it sets for itself.
int most_threads_of_run(const char* project, const char* omp_threads, std::string& console,
                        bool* passive = nullptr) {
  const std::string log = std::string("console_") + omp_threads + ".txt";
  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("OMP_NUM_THREADS=", 0) != 0 &&
        std::string(*e).rfind("OMP_WAIT_POLICY=", 0) != 0)
      env_text.push_back(*e);
  env_text.push_back(std::string("OMP_NUM_THREADS=") + omp_threads);
  std::vector<char*> env;
  for (auto& s : env_text) env.push_back(s.data());
  env.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string program = PLUVO_BINARY, name = project;
  char* argv[] = {program.data(), name.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, env.data()) != 0) return -1;
  posix_spawn_file_actions_destroy(&actions);
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  int most = 0, status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    int count = 0;
    if (DIR* d = opendir(tasks.c_str())) {
      while (const dirent* e = readdir(d)) count += e->d_name[0] != '.';
      closedir(d);
    }
    most = std::max(most, count);
    if (passive && !*passive) {
      const std::string env_now = read_file("/proc/" + std::to_string(pid) + "/environ");
      *passive = env_now.find(std::string("OMP_WAIT_POLICY=passive\0", 24)) != std::string::npos;
    }
    usleep(200);
  }
  console = read_file(log);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? most : -1;
}

TEST(ThreadCount, OmpNumThreadsHoldsWithoutTheCard) {
  pluvo_test::scratch_dir dir;
  write_storm_project(1);
  std::string console;
  bool passive = false;
  EXPECT_EQ(most_threads_of_run("v.prj", "1", console, &passive), 1) << console;
  EXPECT_NE(console.find(", 1 total threads.\n"), std::string::npos) << console;
  EXPECT_TRUE(passive);
  // The same watch sees a team when one is asked for.
  EXPECT_EQ(most_threads_of_run("v.prj", "3", console), 3) << console;
  EXPECT_NE(console.find(", 3 total threads.\n"), std::string::npos) << console;
  // The card holds over the environment.
  std::string project = read_file("v.prj");
  write_file("v.prj", project + "NUM_THREADS 2\n");
  EXPECT_EQ(most_threads_of_run("v.prj", "3", console), 2) << console;
}

TEST(ThreadCount, TheDemoUnderOneThreadStartsOne) {
  pluvo_test::scratch_dir dir;
  pluvo_test::copy_demo_project();
  std::string console;
  EXPECT_EQ(most_threads_of_run("demo.prj", "1", console), 1) << console;
  EXPECT_NE(console.find(", 1 total threads.\n"), std::string::npos) << console;
}

// The demo routes its storm through the streams: hydrograph and summary do not depend on the
// thread count.
TEST(ThreadCount, TheDemoWithItsStreamsWritesTheSameFilesOnOneAndEightThreads) {
  pluvo_test::scratch_dir dir;
  pluvo_test::copy_demo_project("TOT_TIME 150");  // up to the peak
  std::string hydrograph[2], summary[2];
  const char* threads[2] = {"1", "8"};
  for (int i = 0; i < 2; ++i) {
    int status = -1;
    const std::string out =
        run_command(std::string("OMP_NUM_THREADS=") + threads[i] + " " + PLUVO_BINARY + " demo.prj 2>&1", status);
    ASSERT_EQ(status, 0) << out;
    hydrograph[i] = read_file("demo.hyd");
    summary[i] = read_file("demo.sum");
  }
  EXPECT_EQ(hydrograph[0], hydrograph[1]);
  EXPECT_EQ(summary[0], summary[1]);
  EXPECT_NE(summary[0].find("Total lateral inflow into channels="), std::string::npos) << summary[0];
}

}  // namespace
