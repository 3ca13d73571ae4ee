#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/process.hpp"
#include "common/replace_params.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

const char* const pair_file =
    "3\n"
    "  manning [N] \"%6.4lf\"\n"
    "rows [R] %d\n"
    "label [L] \"%s\"\n";

// Loads pairs and the value line of run_index; returns the console output.
std::string load(const std::string& pairs, const std::string& values, int index) {
  write_file("pairs.txt", pairs);
  write_file("values.txt", values);
  pluvo::run_index = index;
  testing::internal::CaptureStdout();
  pluvo::read_replace_param_file("pairs.txt");
  pluvo::read_replace_value_file("values.txt");
  pluvo::run_index = 0;
  return testing::internal::GetCapturedStdout();
}

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string substituted(const char* text, int capacity = 25000) {
  std::vector<char> line(size_t(capacity) + 8, '#');  // guard bytes beyond the buffer
  std::strcpy(line.data(), text);
  pluvo::replace_params_in_line(line.data(), capacity);
  for (size_t i = size_t(capacity); i < line.size(); i++) EXPECT_EQ(line[i], '#') << "written beyond the buffer";
  return line.data();
}

TEST(ReplacePairFile, PairsTypesAndMalformedLines) {
  scratch_dir dir;
  const struct {
    const char* label;
    std::string file;
    int result;
    std::vector<std::string> keys;
    std::vector<int> types;
    std::string console;
  } cases[] = {
      {"three pairs", pair_file, 0, {"[N]", "[R]", "[L]"}, {1, 0, 2}, ""},
      {"no pairs", "0\n", 0, {}, {}, ""},
      {"blank lines after the count", "1\n\n  \n[K] %5.1f\n", 0, {"[K]"}, {1}, ""},
      {"last brackets make the key", "1\nold [X] and [KEY] %d\n", 0, {"[KEY]"}, {0}, ""},
      {"file ends early",
       "3\n[A] %d\n[B] %d\n",
       -1,
       {"[A]", "[B]"},
       {0, 0},
       "Error: unexpected end of parameter list file after 2 parameters. Expecting 3\n"},
      {"no count", "many\n[A] %d\n", -1, {}, {}, "Error: unable to read the number of parameters in the parameter list file\n"},
      {"no brackets, skipped but counted",
       "2\nA %d\n[B] %d\n",
       0,
       {"[B]"},
       {0},
       "Error: Improperly formatted line in the replacement parameter file\nline:A %d\n"},
      {"closing bracket first", "1\n]A[ %d\n", 0, {}, {},
       "Error: Improperly formatted line in the replacement parameter file\nline:]A[ %d\n"},
      {"no type letter",
       "1\n[A] %x\n",
       0,
       {},
       {},
       "Error: Improperly formatted line in the replacement parameter file\nline:[A] %x\n"
       "---> The format must be a C-style format in quotes, such as \"%4.2lf\"\n"},
      {"two conversions",
       "1\n[A] \"%d%d\"\n",
       0,
       {},
       {},
       "Error: Improperly formatted line in the replacement parameter file\nline:[A] \"%d%d\"\n"
       "---> The format %d%d must hold exactly one conversion, and it must be an integer conversion such as \"%d\"\n"},
      {"number format that reads as text",
       "1\n[A] \"%4.2lf days\"\n",
       0,
       {},
       {},
       "Error: Improperly formatted line in the replacement parameter file\nline:[A] \"%4.2lf days\"\n"
       "---> The format %4.2lf days must hold exactly one conversion, and it must be a text conversion \"%s\"\n"},
      {"extra argument taken by a star",
       "1\n[A] \"%*d\"\n",
       0,
       {},
       {},
       "Error: Improperly formatted line in the replacement parameter file\nline:[A] \"%*d\"\n"
       "---> The format %*d must hold exactly one conversion, and it must be an integer conversion such as \"%d\"\n"},
  };
  for (const auto& c : cases) {
    write_file("pairs.txt", c.file);
    testing::internal::CaptureStdout();
    const int result = pluvo::read_replace_param_file("pairs.txt");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.console) << c.label;
    EXPECT_EQ(result, c.result) << c.label;
    ASSERT_EQ(pluvo::replace_pair_list.size(), c.keys.size()) << c.label;
    for (size_t i = 0; i < c.keys.size(); i++) {
      EXPECT_EQ(pluvo::replace_pair_list[i].key, c.keys[i]) << c.label;
      EXPECT_EQ(pluvo::replace_pair_list[i].key_length, int(c.keys[i].size())) << c.label;
      EXPECT_EQ(pluvo::replace_pair_list[i].type, c.types[i]) << c.label;
    }
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(pluvo::read_replace_param_file("missing.txt"), -1);
  EXPECT_TRUE(ends_with(testing::internal::GetCapturedStdout(), "Error: unable to open the replace parameter file.\n"));
  pluvo::free_replace_params();
}

TEST(ReplaceValues, LineOfTheRunIndex) {
  scratch_dir dir;
  const struct {
    const char* label;
    const char* values;
    int index;
    const char* expected;
  } cases[] = {
      {"first line", "0.035 12 wet\n0.05 20 dry\n", 0, "0.0350 12 wet"},
      {"second line", "0.035 12 wet\n0.05 20 dry\n", 1, "0.0500 20 dry"},
      {"index past the end keeps the last line", "0.035 12 wet\n0.05,20,\"very dry\"\n", 4, "0.0500 20 very dry"},
      {"missing tokens give zeros", "0.07\n", 0, "0.0700 0 "},
  };
  for (const auto& c : cases) {
    load(pair_file, c.values, c.index);
    EXPECT_TRUE(pluvo::replace_pairs_active) << c.label;
    EXPECT_EQ(substituted("[N] [R] [L]"), c.expected) << c.label;
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(pluvo::read_replace_value_file("missing.txt"), -1);
  EXPECT_TRUE(ends_with(testing::internal::GetCapturedStdout(), "Error: unable to open the value file missing.txt"));
  EXPECT_TRUE(pluvo::replace_pairs_active);  // stays as it was
  pluvo::free_replace_params();
  EXPECT_FALSE(pluvo::replace_pairs_active);
}

TEST(ReplaceInLine, KeysValuesAndUnknownKeys) {
  scratch_dir dir;
  load("3\n[A] %d\n[SELF] %s\n[B] %5.2f\n", "7 \"x[SELF]y\" 2.5\n", 0);
  const struct {
    const char* line;
    const char* expected;
    int count;
    const char* console;
  } cases[] = {
      {"GRIDSIZE [A] [B]", "GRIDSIZE 7  2.50", 2, ""},
      {"[A][A]", "77", 2, ""},
      {"name [SELF] end", "name x[SELF]y end", 1, ""},  // a value is not searched again
      {"[C] and [A]", "[C] and 7", 1, "Error: unable to match replace pair: [C] and [A]\n"},
      {"no keys", "no keys", 0, ""},
      {"[", "[", 0, "Error: unable to match replace pair: [\n"},
  };
  for (const auto& c : cases) {
    pluvo::replace_count = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(substituted(c.line), c.expected) << c.line;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.console) << c.line;
    EXPECT_EQ(pluvo::replace_count, c.count) << c.line;
  }
  // A value that would not fit is refused and the buffer is left whole.
  testing::internal::CaptureStdout();
  EXPECT_EQ(substituted("ab[B]", 7), "ab[B]");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: the replacement value does not fit in the line, key left in place: ab[B]\n");
  EXPECT_EQ(substituted("a[B]", 7), "a 2.50");
  pluvo::free_replace_params();
}

TEST(ReplaceListings, ValuesAndUse) {
  scratch_dir dir;
  load(pair_file, "0.035 12 wet\n", 0);
  substituted("[R] [R] [N]");
  pluvo::checked_file summary;
  ASSERT_TRUE(pluvo::checked_file_open(summary, "summary.txt", 'w'));
  testing::internal::CaptureStdout();
  pluvo::print_replacement_values(summary, 0);
  pluvo::print_replacement_values_run(summary, 0);
  const std::string console = testing::internal::GetCapturedStdout();
  pluvo::checked_file_close(summary);
  EXPECT_EQ(read_file("summary.txt"),
            "\nUsing replacement values:\n  [N]            = 0.0350\n  [R]            = 12\n  [L]            = wet\n\n"
            "\nTotal times a value was replaced: 3\n\n\nWas replacement value used?:\n"
            "  [N]            = Yes\n  [R]            = Yes\n  [L]            = No\n\n");
  EXPECT_EQ(console,
            "\nUsing replacement values:\n [N]            = 0.0350\n [R]            = 12\n [L]            = wet\n\n"
            "\nTotal times a value was replaced: 3\n\n\nWas replacement value used?:\n"
            " [N]            = Yes\n [R]            = Yes\n [L]            = No\n\n");
  EXPECT_EQ(pluvo::replace_count, 0);
  testing::internal::CaptureStdout();
  pluvo::print_replacement_values_run(summary, 1);  // silent, and the summary is closed
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  pluvo::free_replace_params();
}

}  // namespace
