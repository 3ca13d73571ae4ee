#include "common/checked_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "printed.hpp"
#include "scratch_dir.hpp"

namespace {

using namespace pluvo;

std::string current_directory() { return std::filesystem::current_path().string(); }

TEST(CheckedFile, OutputDirectoryUnderTheProjectBecomesRelativeAndCurrent) {
  scratch_dir dir;
  set_project_directory(dir.root(), dir.root().size());
  set_output_directory(dir.path("out"));
  EXPECT_EQ(output_directory, dir.path("out/"));
  checked_file summary;
  ASSERT_TRUE(checked_file_open(summary, "a.sum", "w"));
  EXPECT_EQ(summary.path, dir.root() + "out/a.sum");
  EXPECT_EQ(summary.mode, 'w');
  EXPECT_TRUE(dir.exists("out/a.sum"));
  EXPECT_EQ(output_directory, "out/");
  EXPECT_EQ(current_directory(), dir.path("out"));

  // Inputs: where named, else in the output folder, else beside the project file.
  dir.write("out/map.asc", "m");
  dir.write("soil.asc", "s");
  ASSERT_EQ(chdir(dir.root().c_str()), 0);
  checked_file input;
  ASSERT_TRUE(checked_file_open(input, "map.asc", "r"));
  EXPECT_EQ(input.path, dir.root() + "out/map.asc");
  checked_file_close(input);
  ASSERT_TRUE(checked_file_open(input, "soil.asc", "r"));
  EXPECT_EQ(input.path, "soil.asc");
  ASSERT_EQ(chdir(dir.path("out").c_str()), 0);
  checked_file_close(input);
  ASSERT_TRUE(checked_file_open(input, "soil.asc", "r"));
  EXPECT_EQ(input.path, dir.root() + "soil.asc");
}

// A relative project directory still names the same folder once the output folder below it
// has become the current directory.
TEST(CheckedFile, RelativeProjectDirectorySurvivesTheChangeOfDirectory) {
  scratch_dir dir;
  dir.write("proj/soil.asc", "s");
  ASSERT_EQ(chdir(dir.root().c_str()), 0);
  set_project_directory("proj", 4);
  set_output_directory("proj/out");
  checked_file file;
  ASSERT_TRUE(checked_file_open(file, "a.sum", "w"));
  EXPECT_TRUE(dir.exists("proj/out/a.sum"));
  EXPECT_EQ(project_directory, dir.root() + "proj/");
  EXPECT_EQ(current_directory(), dir.path("proj/out"));
  checked_file input;
  ASSERT_TRUE(checked_file_open(input, "soil.asc", "r"));
  EXPECT_EQ(input.path, dir.root() + "proj/soil.asc");
}

TEST(CheckedFile, NamesResolveAgainstTheProjectDirectory) {
  scratch_dir dir;
  dir.write("maps/map.asc", "1");
  ASSERT_EQ(chdir("/"), 0);
  set_project_directory(dir.root() + "ignored", dir.root().size() - 1);  // no trailing separator
  EXPECT_EQ(project_directory, dir.root());
  struct tc {
    const char* name;
    const char* mode;
    bool opens;
    std::string path;
  } cases[] = {
      {"maps/map.asc", "r", true, dir.root() + "maps/map.asc"},
      {"maps\\map.asc", "r", true, dir.root() + "maps/map.asc"},
      {"\"maps/map.asc\"", "r", true, dir.root() + "maps/map.asc"},
      {"new.out", "w", true, dir.root() + "new.out"},
      {"maps\\made.out", "a", true, dir.root() + "maps/made.out"},
      {"missing.asc", "r", false, ""},
      {"", "r", false, ""},
      {"maps/map.asc", "x", false, ""},
      {"maps/map.asc", "", false, ""},
  };
  for (const tc& c : cases) {
    checked_file file;
    std::string printed = printed_by([&] { EXPECT_EQ(checked_file_open(file, c.name, c.mode), c.opens) << c.name; });
    EXPECT_EQ(file.path, c.path) << c.name;
    if (c.opens) {
      EXPECT_EQ(printed, "") << c.name;
    }
  }
  EXPECT_TRUE(dir.exists("new.out"));  // a write candidate is made by trying it
  EXPECT_TRUE(dir.exists("maps/made.out"));
  checked_file file;
  EXPECT_EQ(printed_by([&] { checked_file_open(file, "missing.asc", "r"); }),
            "Error getting new filename from missing.asc\n");
}

// The path a file would get, found without creating, truncating or printing anything.
TEST(CheckedFile, PlannedPathsTouchNothing) {
  scratch_dir dir;
  dir.write("maps/map.asc", "1");
  dir.write("kept.out", "data");
  ASSERT_EQ(chdir("/"), 0);
  set_project_directory(dir.root(), dir.root().size());
  const std::string printed = printed_by([&] {
    EXPECT_EQ(planned_file_path("maps\\map.asc", 'r'), dir.root() + "maps/map.asc");
    EXPECT_EQ(planned_file_path("new.out", 'w'), dir.root() + "new.out");
    EXPECT_EQ(planned_file_path("kept.out", 'w'), dir.root() + "kept.out");
    EXPECT_EQ(planned_file_path("missing.asc", 'r'), "");
  });
  EXPECT_EQ(printed, "");
  EXPECT_FALSE(dir.exists("new.out"));
  checked_file kept;
  ASSERT_TRUE(checked_file_open(kept, "kept.out", "r"));
  char text[8] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text - 1, kept.stream), 4u);
  EXPECT_STREQ(text, "data");
}

TEST(CheckedFile, NumberedRunsPrefixWhatTheyWrite) {
  scratch_dir dir;
  dir.write("run.sum", "input");
  dir.write("maps/keep", "");
  set_project_directory(dir.root(), dir.root().size());
  run_number = 3;
  run_number_prefix_on = 1;
  struct tc {
    const char* name;
    const char* mode;
    std::string path;
  } cases[] = {
      {"run.sum", "w", dir.root() + "0003_run.sum"},
      {"run.sum", "r", dir.root() + "run.sum"},
      {"maps/depth.out", "a", dir.root() + "maps/0003_depth.out"},
  };
  for (const tc& c : cases) {
    checked_file file;
    ASSERT_TRUE(checked_file_open(file, c.name, c.mode)) << c.name;
    EXPECT_EQ(file.path, c.path) << c.name;
  }
  EXPECT_EQ(dir.read("run.sum"), "input");
}

TEST(CheckedFile, CloseReportsACorruptStream) {
  scratch_dir dir;
  checked_file file;
  EXPECT_EQ(printed_by([&] { EXPECT_EQ(checked_file_close(file), 0); }), "");
  EXPECT_EQ(printed_by([&] { checked_file_close_void(file); }), "");

  const std::string corrupt = "\n\n\nError with the file " + dir.path("x.txt") + ". The file pointer is corrupt.\n\n\n\n";
  ASSERT_TRUE(checked_file_open(file, dir.path("x.txt").c_str(), "w"));
  std::FILE* real = file.stream;
  file.stream = nullptr;
  EXPECT_EQ(printed_by([&] { checked_file_close(file); }), "");  // no stream: nothing to do
  EXPECT_EQ(printed_by([&] { checked_file_close_void(file); }), corrupt);
  EXPECT_EQ(file.guard, nullptr);
  std::fclose(real);

  ASSERT_TRUE(checked_file_open(file, dir.path("x.txt").c_str(), "w"));
  std::FILE* other = std::fopen(dir.path("y.txt").c_str(), "w");
  std::FILE* mine = file.guard;
  file.stream = other;
  EXPECT_EQ(printed_by([&] { checked_file_close(file); }), corrupt);
  EXPECT_EQ(file.stream, nullptr);
  EXPECT_EQ(file.path, "");
  std::fclose(mine);
}

// Opening a record that still holds a stream says so and closes the old stream, so its
// buffered data reach the file and no stream is lost.
TEST(CheckedFile, ReopeningClosesTheOldStream) {
  scratch_dir dir;
  checked_file file;
  ASSERT_TRUE(checked_file_open(file, dir.path("first.txt").c_str(), 'w'));
  std::fputs("buffered", file.stream);
  const std::string second = dir.path("second.txt");
  EXPECT_EQ(printed_by([&] { ASSERT_TRUE(checked_file_open(file, second.c_str(), "w")); }),
            "\n\nError!!!!!!! opening a file when the previous file was not closed.\nOriginal file: " +
                dir.path("first.txt") + "\nNew file: " + second + "\n\n\n");
  EXPECT_EQ(dir.read("first.txt"), "buffered");
  EXPECT_EQ(file.path, second);

  checked_file moved(std::move(file));
  EXPECT_FALSE(file.is_open());
  EXPECT_TRUE(moved.is_open());
}

TEST(CheckedFile, OverlongPathIsReported) {
  scratch_dir dir;
  checked_file file;
  const std::string name = dir.root() + std::string(1100, 'n');
  EXPECT_EQ(printed_by([&] { EXPECT_FALSE(checked_file_open(file, name.c_str(), "r")); }),
            "Error getting new filename from " + name + "\nError.... name too long!!!\n\n\n");
}

}  // namespace
