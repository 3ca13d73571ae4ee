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
  double n = 0, s = 0, e = 0, w = 0;  // no grid held yet: the map's header is taken
  int rows = 0, cols = 0;
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
        // A row of the wrong length would shift every cell after it: refused with its row.
        map_case{"short_row_refused", 1, header(2, 3) + "1 9 2\n0 3\n",
                 "Error: Row 2 of map m.asc holds 2 values; the map has 3 columns.\n" + fail_tail, 1,
                 {1, 2, -7, -7}},
        map_case{"long_row_refused", 1, header(2, 3) + "1 9 2 8 8\n0 3 4 8\n",
                 "Error: Row 1 of map m.asc holds 5 values; the map has 3 columns.\n" + fail_tail, 1,
                 {-7, -7, -7, -7}},
        map_case{"row_longer_than_a_line_buffer", 1,
                 header(2, 3) + std::string(30000, ' ') + "1 9 2\n0 3 " + std::string(26000, '0') + "4\n", "", 0,
                 {1, 2, 3, 4}},
        map_case{"value_not_a_number", 1, header(2, 3) + "1 9 2\n0 3x 4\n",
                 "Error: Value \"3x\" in row 2, column 2 of map m.asc is not a number.\n" + fail_tail, 1,
                 {1, 2, -7, -7}},
        map_case{"not_finite_inside_the_mask", 1, header(2, 3) + "nan 9 2\n0 3 4\n",
                 "Error: Value nan in row 1, column 1 of map m.asc lies inside the watershed mask and is not a finite "
                 "number.\n" + fail_tail, 1, {-7, -7, -7, -7}},
        map_case{"not_finite_outside_the_mask", 1, header(2, 3) + "1 inf 2\n-inf 3 4\n", "", 0, {1, 2, 3, 4}},
        map_case{"header_not_a_grid", 1, "north: 1000\nsouth: 1020\neast: 1030\nwest: 1000\nrows: 2\ncols: 3\n1 9 2\n0 3 4\n",
                 "Error: The header of map m.asc is not north, south, east, west, rows and cols of a grid (north above "
                 "south, east beyond west, at least one row and column).\n" + fail_tail, 1, {-7, -7, -7, -7}},
        map_case{"comma_and_windows_line_ends", 1, header(2, 3) + "1,9,2\r\n0,3,4\r\n", "", 0, {1, 2, 3, 4}},
        // Signs, exponents and no-data values outside the mask, Windows line ends.
        map_case{"awkward_numbers", 1, header(2, 3) + "+1.5e0 -9999 .2e1\r\n-3.4e38 3E+0 +4.\r\n", "", 0,
                 {1.5, 2, 3, 4}},
        map_case{"exponent_without_digits", 1, header(2, 3) + "1 9 2.5e\r\n0 3 4\r\n",
                 "Error: Value \"2.5e\" in row 1, column 3 of map m.asc is not a number.\n" + fail_tail, 1,
                 {-7, -7, -7, -7}},
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

// A map read after the mask must lie on the mask's grid: its edges may differ by round-off only,
// and the mask's header stays.
TEST(ReadAsciiMap, EdgesMustMatchTheMaskBeyondRoundOff) {
  const struct {
    const char* label;
    std::string head;
    std::string console;
  } cases[] = {
      {"same edges, other digits", "north: 2000.0001\nsouth: 1980\neast: 1030\nwest: 999.9999\nrows: 2\ncols: 3\n", ""},
      {"5 km north", "north: 7000\nsouth: 6980\neast: 1030\nwest: 1000\nrows: 2\ncols: 3\n",
       "Error: The edges of map m.asc (north 7000.00, south 6980.00, east 1030.00, west 1000.00) differ from the "
       "watershed mask's (north 2000.00, south 1980.00, east 1030.00, west 1000.00) by more than 0.1 m.\n\n"},
      {"other cell size", "north: 2000\nsouth: 1960\neast: 1060\nwest: 1000\nrows: 2\ncols: 3\n",
       "Error: The edges of map m.asc (north 2000.00, south 1960.00, east 1060.00, west 1000.00) differ from the "
       "watershed mask's (north 2000.00, south 1980.00, east 1030.00, west 1000.00) by more than 0.1 m.\n\n"},
  };
  for (const auto& c : cases) {
    pluvo_test::temp_dir dir;
    const std::string path = dir.write("m.asc", c.head + "1 9 2\n0 3 4\n");
    pluvo_test::clear_errors();
    checked_file f;
    ASSERT_TRUE(checked_file_open(f, path.c_str(), 'r'));
    grid<int> g = mask();
    std::vector<double> real(5, -7.0);
    double n = 2000, s = 1980, e = 1030, w = 1000;  // the mask's header, held from its read
    int rows = 2, cols = 3;
    testing::internal::CaptureStdout();
    read_ascii_map(f, "m.asc", 1, n, s, e, w, rows, cols, g, &real, nullptr, nullptr, 2, 3, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.console) << c.label;
    EXPECT_EQ(error_state.error_terminate, c.console.empty() ? 0 : 1) << c.label;
    EXPECT_EQ(n, 2000.0) << c.label;
    EXPECT_EQ(w, 1000.0) << c.label;
    checked_file_close(f);
  }
  pluvo_test::clear_errors();
}

struct quiet_read {
  std::string console;
  double n = 0, s = 0, e = 0, w = 0;
  int rows = 0, cols = 0;
};

// Reads text as a quiet 2 x 3 map into g (mode 2) or onto g's inside cells (mode 1).
quiet_read read_quietly(const std::string& text, int mode, grid<int>& g, std::vector<double>* v) {
  pluvo_test::temp_dir dir;
  const std::string path = dir.write("q.asc", text);
  pluvo_test::clear_errors();
  checked_file f;
  EXPECT_TRUE(checked_file_open(f, path.c_str(), 'r'));
  quiet_read r;
  testing::internal::CaptureStdout();
  read_ascii_map(f, "q.asc", mode, r.n, r.s, r.e, r.w, r.rows, r.cols, g, v, nullptr, nullptr, 2, 3, 1);
  r.console = testing::internal::GetCapturedStdout();
  return r;
}

TEST(ReadAsciiMap, IntegerModeFillsTheWholeGridAndQuietSilencesCategories) {
  grid<int> g(2, 3, 0);
  const quiet_read r = read_quietly(header(2, 3) + "0 -1 2\n3 0\n4\n", 2, g, nullptr);
  EXPECT_EQ(r.console, "");
  EXPECT_EQ(error_state.error_terminate, 0);
  EXPECT_EQ((std::vector<int>{g(1, 1), g(1, 2), g(1, 3), g(2, 1), g(2, 2), g(2, 3)}),
            (std::vector<int>{0, -1, 2, 3, 0, 4}));
  EXPECT_EQ(r.rows, 2);
  EXPECT_EQ(r.cols, 3);
  EXPECT_DOUBLE_EQ(r.n, 2000.0);
  EXPECT_DOUBLE_EQ(r.s, 1980.0);
  EXPECT_DOUBLE_EQ(r.e, 1030.0);
  EXPECT_DOUBLE_EQ(r.w, 1000.0);
  // The border stays zero.
  EXPECT_EQ(g(0, 0) + g(3, 4) + g(1, 0) + g(2, 4), 0);
}

TEST(ReadAsciiMap, QuietKeepsOnlyTheAllZeroWarning) {
  grid<int> g = mask();
  std::vector<double> v(5, 1.0);
  EXPECT_EQ(read_quietly(header(2, 3) + "0 0 0\n0 0 0\n", 1, g, &v).console,
            "Warning: Map contains only zero values. Map: q.asc\n");
}

}  // namespace
