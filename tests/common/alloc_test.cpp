#include "common/alloc.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "common/error_state.hpp"

#include "printed.hpp"

namespace {

using namespace pluvo;

const std::string size_zero = "Error: Attempting to allocate array of size 0\n";

TEST(Allocation, MatrixRowsPointIntoOneBlock) {
  double** m = dmatrix(3, 2);
  ASSERT_NE(m, nullptr);
  for (int i = 0; i <= 3; ++i) EXPECT_EQ(m[i], m[0] + 3 * i);
  fill_dmatrix(m, 3, 2, 1.5);
  double sum = 0;
  for (int k = 0; k < 12; ++k) sum += m[0][k];
  EXPECT_EQ(sum, 18.0);
  free_matrix(m);
  EXPECT_EQ(m, nullptr);
  free_matrix(m);  // null: nothing happens

  double*** t = nullptr;
  alloc_d3tensor_zeroed(2, 3, 4, t, "t");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(&t[2][3][4] - &t[0][0][0], 3 * 4 * 5 - 1);  // one block, row-major
  EXPECT_EQ(t[2][3][4], 0.0);
  fill_d3tensor(t, 2, 3, 4, 2.0);
  EXPECT_EQ(t[1][2][3], 2.0);
  free_d3tensor(t);
  EXPECT_EQ(t, nullptr);
  free_d3tensor(t);
}

// The middle extent asked for is the one given, so every row asked for can be written.
TEST(Allocation, IntTensorsGetTheRowsAskedFor) {
  int*** t = i3tensor(2, 9, 5);
  ASSERT_NE(t, nullptr);
  for (int p = 0; p <= 2; ++p)
    for (int r = 0; r <= 9; ++r)
      for (int c = 0; c <= 5; ++c) t[p][r][c] = p + r + c;
  EXPECT_EQ(t[2][9][5], 16);
  free_d3tensor(t);

  int*** lake = nullptr;
  alloc_lake_search(2, 99, 5, lake);
  ASSERT_NE(lake, nullptr);
  int total = 0;
  for (int p = 0; p <= 2; ++p)
    for (int r = 0; r <= 3; ++r)
      for (int c = 0; c <= 5; ++c) total += lake[p][r][c] == 0;
  EXPECT_EQ(total, 3 * 4 * 6);
  free_d3tensor(lake);
}

TEST(Allocation, RefusedExtentsPrintTheirMessagesAndTheRunGoesOn) {
  static double* some_rows[1];
  static double some_value;
  double** dm = some_rows;  // every refusal must leave its pointer null
  double*** dt = nullptr;
  int** im = nullptr;
  double* dv = &some_value;
  int* iv = nullptr;
  double** pumps = nullptr;
  struct tc {
    const char* what;
    std::function<void()> action;
    std::string message;
    std::function<bool()> empty;
  } cases[] = {
      {"dmatrix(0,5)", [&] { dm = dmatrix(0, 5); }, size_zero, [&] { return dm == nullptr; }},
      {"d3tensor(4,0,2)", [&] { dt = d3tensor(4, 0, 2); }, size_zero, [&] { return dt == nullptr; }},
      {"zeroed(0,5)", [&] { alloc_imatrix_zeroed(im, 0, 5, "soil_index"); },
       size_zero + "Error allocating memory for variable soil_index\n", [&] { return im == nullptr; }},
      {"dvector(0)", [&] { alloc_dvector(dv, 0, "v"); }, "", [&] { return dv == nullptr; }},
      {"dvector(-1)", [&] { alloc_dvector(dv, -1, "v"); }, size_zero, [&] { return dv == nullptr; }},
      {"ivector(-1)", [&] { alloc_ivector(iv, -1, "iv"); }, size_zero + "Error allocating memory for variable iv\n",
       [&] { return iv == nullptr; }},
      {"pumps(2,0)", [&] { alloc_stream_pumps(pumps, 2, 0); },
       size_zero + "Error allocating memory for variable stream_pumps\n" + size_zero, [&] { return pumps == nullptr; }},
  };
  for (const tc& c : cases) {
    EXPECT_EQ(printed_by(c.action), c.message) << c.what;
    EXPECT_TRUE(c.empty()) << c.what;
    EXPECT_EQ(error_state.error_code, 0) << c.what;
  }
}

TEST(Allocation, VectorsAndStreamMatricesAreZeroed) {
  double* dv = nullptr;
  alloc_dvector(dv, 4, "dv");
  ASSERT_NE(dv, nullptr);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(dv[i], 0.0);
  delete[] dv;

  double** sources = nullptr;
  EXPECT_EQ(printed_by([&] { alloc_stream_pointsource(sources, 0, 4); }),
            size_zero + "Error allocating memory for variable stream_pointsource\n");
  ASSERT_NE(sources, nullptr);  // rows 0..1 of columns 0..4, made regardless
  double sum = 0;
  for (int r = 0; r <= 1; ++r)
    for (int c = 0; c <= 4; ++c) sum += sources[r][c] + 1;
  EXPECT_EQ(sum, 10.0);
  free_matrix(sources);
}

// A size that cannot be held is reported and stops the run instead of leaving a missing block.
TEST(Allocation, MemoryThatCannotBeHadSetsTheStopCode) {
  double*** huge = nullptr;
  EXPECT_EQ(printed_by([&] { alloc_d3tensor_zeroed(INT_MAX, INT_MAX, INT_MAX, huge, "soil_mass"); }),
            "Error allocating memory for variable soil_mass\n\n");  // with the reporter's line
  EXPECT_EQ(huge, nullptr);
  EXPECT_EQ(error_state.error_terminate, 1);
  error_state = error_state_record();

  double** rows = nullptr;
  EXPECT_EQ(printed_by([&] { rows = dmatrix(INT_MAX, INT_MAX); }),
            "Error allocating memory for variable dmatrix\n\n");
  EXPECT_EQ(rows, nullptr);
  EXPECT_EQ(error_state.error_terminate, 1);
  error_state = error_state_record();
}

}  // namespace
