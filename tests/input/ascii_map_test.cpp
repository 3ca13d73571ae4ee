#include <gtest/gtest.h>

#include <vector>

#include "common/checked_file.hpp"
#include "grid_fixture.hpp"
#include "input/ascii_map.hpp"

namespace {

using namespace pluvo;
using pluvo_test::header;

struct map_case {
  const char* name;
  int mode;
  std::string text;          // the whole file; the map's name in messages is "m.asc"
  std::string console;       // everything printed
  int terminate;
  std::vector<double> values; // cells 1..4 of the 2 x 3 mask below (reals or categories)
};

// Mask of 2 rows x 3 columns with inside cells (1,1) (1,3) (2,2) (2,3).
grid<int> mask() {
  grid<int> g(2, 3, 0);
  g(1, 1) = 1;
  g(1, 3) = 1;
  g(2, 2) = 1;
  g(2, 3) = 1;
  return g;
}

class ReadAsciiMap : public ::testing::TestWithParam<map_case> {};

TEST_P(ReadAsciiMap, StoresInsideCellsAndReportsExactly) {
  const map_case& c = GetParam();
  pluvo_test::temp_dir dir;
  const std::string path = dir.write("m.asc", c.text);
  pluvo_test::clear_errors();
  checked_file f;
  ASSERT_TRUE(checked_file_open(f, path.c_str(), 'r'));
  grid<int> g = mask();
  std::vector<double> real(5, -7.0);
  std::vector<int> index(5, -7);
  double n, s, e, w;
  int rows, cols;
  testing::internal::CaptureStdout();
  read_ascii_map(f, "m.asc", c.mode, n, s, e, w, rows, cols, g, c.mode == 1 ? &real : nullptr,
                 c.mode == 3 ? &real : nullptr, c.mode == 4 ? &index : nullptr, 2, 3, 0);
  const std::string out = testing::internal::GetCapturedStdout();
  checked_file_close(f);
  // Every failure here is already printed: the reporter adds only a blank line.
  EXPECT_EQ(out, c.console);
  EXPECT_EQ(error_state.error_terminate, c.terminate);
  for (size_t k = 0; k < c.values.size(); ++k) {
    const double got = c.mode == 4 ? index[k + 1] : real[k + 1];
    EXPECT_DOUBLE_EQ(got, c.values[k]) << "cell " << k + 1;
  }
}

const std::string fail_tail = "\n";  // the reporter's line for code 4000

INSTANTIATE_TEST_SUITE_P(
    Modes, ReadAsciiMap,
    ::testing::Values(
        map_case{"real", 1, header(2, 3) + "1.5 9 2\n0 3 4\n", "", 0, {1.5, 2, 3, 4}},
        map_case{"other_tag_words_same_widths", 3,
                 "northy 2000\nsouthx 1980\nlast: 1030\nwast: 1000\nroww: 2\ncolz: 3\n1 0 2\n0 3 4\n", "", 0,
                 {1, 2, 3, 4}},
        map_case{"short_row_fills_zero", 1, header(2, 3) + "1 9 2\n0 3\n",
                 "Warning: Map contains 1 cells with zero values. Map: m.asc\n", 0, {1, 2, 3, 0}},
        map_case{"extra_values_ignored", 1, header(2, 3) + "1 9 2 8 8\n0 3 4 8\n", "", 0, {1, 2, 3, 4}},
        map_case{"comma_and_windows_line_ends", 1, header(2, 3) + "1,9,2\r\n0,3,4\r\n", "", 0, {1, 2, 3, 4}},
        map_case{"short_file", 1, header(2, 3) + "1 9 2\n",
                 "Unexpected end of file in file: m.asc\n" + fail_tail, 1, {1, 2, -7, -7}},
        map_case{"short_integer_file", 4, header(2, 3) + "1 9 2 0\n",
                 "Unexpected end of file in file: m.asc\n" + fail_tail, 1, {1, 2, -7, -7}},
        map_case{"only_zeros", 1, header(2, 3) + "0 0 0\n0 0 0\n",
                 "Warning: Map contains only zero values. Map: m.asc\n"
                 "Warning: Map contains 4 cells with zero values. Map: m.asc\n",
                 0, {0, 0, 0, 0}},
        map_case{"zeros_inside_values_outside", 1, header(2, 3) + "0 5 0\n7 0 0\n",
                 "Warning: Map contains 4 cells with zero values. Map: m.asc\n", 0, {0, 0, 0, 0}},
        map_case{"rows_and_cols_smaller", 1, header(1, 2) + "1 2\n",
                 "Incorrect number of rows and columns in map: m.asc\n" + fail_tail, 1, {}},
        map_case{"rows_smaller", 1, header(1, 3) + "1 2 3\n",
                 "Incorrect number of rows in map: m.asc\n" + fail_tail, 1, {}},
        // Categories are counted before the extent is checked.
        map_case{"cols_smaller", 4, header(2, 2) + "1 2 3 4\n",
                 "In map m.asc category 1 has 1 values\nIn map m.asc category 4 has 1 values\n"
                 "Incorrect number of columns in map: m.asc\n" + fail_tail, 1, {}},
        // Larger than the grid: refused before a single value is stored.
        map_case{"larger_refused_unread", 1, header(3, 4) + "1 2 3 4\n5 6 7 8\n9 9 9 9\n",
                 "Incorrect number of rows and columns in map: m.asc\n" + fail_tail, 1,
                 {-7, -7, -7, -7}},
        map_case{"categories", 4, header(2, 3) + "3 9\n1 5 0\n3\n",
                 "In map m.asc category 1 has 1 values\nIn map m.asc category 3 has 2 values\n", 0,
                 {3, 1, 0, 3}},
        map_case{"integer_not_a_number", 4, header(2, 3) + "3 9 1\n0 x3 3\n",
                 "Invalid integer value in map: m.asc [row 2:col 2]\n" + fail_tail, 1, {3, 1, -7, -7}}),
    [](const testing::TestParamInfo<map_case>& i) { return std::string(i.param.name); });

TEST(ReadAsciiMap, IntegerModeFillsTheWholeGridAndQuietSilencesCategories) {
  pluvo_test::temp_dir dir;
  const std::string path = dir.write("g.asc", header(2, 3) + "0 -1 2\n3 0\n4\n");
  pluvo_test::clear_errors();
  checked_file f;
  ASSERT_TRUE(checked_file_open(f, path.c_str(), 'r'));
  grid<int> g(2, 3, 0);
  double n, s, e, w;
  int rows, cols;
  testing::internal::CaptureStdout();
  read_ascii_map(f, "g.asc", 2, n, s, e, w, rows, cols, g, nullptr, nullptr, nullptr, 2, 3, 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  checked_file_close(f);
  EXPECT_EQ(error_state.error_terminate, 0);
  EXPECT_EQ((std::vector<int>{g(1, 1), g(1, 2), g(1, 3), g(2, 1), g(2, 2), g(2, 3)}),
            (std::vector<int>{0, -1, 2, 3, 0, 4}));
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(cols, 3);
  EXPECT_DOUBLE_EQ(n, 2000.0);
  EXPECT_DOUBLE_EQ(s, 1980.0);
  EXPECT_DOUBLE_EQ(e, 1030.0);
  EXPECT_DOUBLE_EQ(w, 1000.0);
  // The border stays zero.
  EXPECT_EQ(g(0, 0) + g(3, 4) + g(1, 0) + g(2, 4), 0);
}

TEST(ReadAsciiMap, QuietKeepsOnlyTheAllZeroWarning) {
  pluvo_test::temp_dir dir;
  const std::string path = dir.write("z.asc", header(2, 3) + "0 0 0\n0 0 0\n");
  pluvo_test::clear_errors();
  checked_file f;
  ASSERT_TRUE(checked_file_open(f, path.c_str(), 'r'));
  grid<int> g = mask();
  std::vector<double> v(5, 1.0);
  double n, s, e, w;
  int rows, cols;
  testing::internal::CaptureStdout();
  read_ascii_map(f, "z.asc", 1, n, s, e, w, rows, cols, g, &v, nullptr, nullptr, 2, 3, 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: Map contains only zero values. Map: z.asc\n");
  checked_file_close(f);
}

}  // namespace
