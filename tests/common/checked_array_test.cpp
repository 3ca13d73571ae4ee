#include "common/checked_array.hpp"

#include <gtest/gtest.h>

#include <string>

#include "printed.hpp"
#include "scratch_dir.hpp"

namespace {

using namespace pluvo;

TEST(CheckedArray, GrowingKeepsTheData) {
  checked_array<double> a;
  a.set_name("OV_MASS_INIT");
  EXPECT_EQ(checked_array_grow(a, 5), 5);
  for (int i = 0; i <= 5; ++i) a[i] = 10.0 * i;
  EXPECT_EQ(checked_array_grow_fill(a, 3, -1.0), 8);
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(a[i], 10.0 * i);
  for (int i = 6; i <= 8; ++i) EXPECT_EQ(a[i], -1.0);
  EXPECT_EQ(a.out_of_range, 0);

  checked_array<int32_t> b;
  checked_int_array_grow_fill(b, 4, 7);
  checked_int_array_grow(b, 2);
  EXPECT_EQ(b.count, 6);
  EXPECT_EQ(b[4], 7);
  EXPECT_EQ(printed_by([&] { checked_array_destroy(a); }), "");
}

// A bad index lands on a sink: nothing outside the block is touched, the flag is set and
// the array names itself once when it is destroyed.
TEST(CheckedArray, BadIndexIsRecordedAndReportedOnce) {
  checked_array<double> a;
  a.set_name("GLOBAL_MASS_OUT");
  checked_array_grow_fill(a, 3, 1.0);
  struct tc {
    int64_t index;
    bool offset;
    bool bad;
  } cases[] = {{0, false, false}, {3, false, false}, {4, false, true}, {-1, false, true}, {100000, false, true},
               {2, true, false}, {3, true, true}, {-1, true, false}, {-2, true, true}};
  for (const tc& c : cases) {
    a.out_of_range = 0;
    a.index_offset = c.offset;
    a[c.index] = 5.0;
    EXPECT_EQ(a.out_of_range, c.bad) << c.index << " offset " << c.offset;
  }
  a.index_offset = 0;
  a[99] = 42.0;
  EXPECT_EQ(a[99], 0.0);  // the sink holds nothing
  EXPECT_EQ(a[1], 1.0);  // bad writes went nowhere near the block
  EXPECT_EQ(a[3], 5.0);
  EXPECT_EQ(printed_by([&] { checked_array_destroy(a); }), "Error: bad range addressed in array GLOBAL_MASS_OUT\n");
  EXPECT_EQ(a.data, nullptr);
  EXPECT_EQ(printed_by([&] { checked_array_destroy(a); }), "");

  checked_array<double> empty;
  empty.set_name("constituent_type");
  empty[0] = 1.0;
  EXPECT_EQ(empty.out_of_range, 1);
  EXPECT_EQ(printed_by([&] { checked_array_destroy(empty); }), "Error: bad range addressed in array constituent_type\n");
}

TEST(CheckedArray, TamperedGuardRefusesGrowthAndFree) {
  checked_array<double> a;
  a.set_name("ov_partition_coef");
  checked_array_grow(a, 2);
  double* own = a.data;
  double elsewhere[3] = {};
  a.data = elsewhere;
  const std::string message = "\n\nError!! Bad pointers found in array ov_partition_coef.\n\n";
  EXPECT_EQ(printed_by([&] { EXPECT_EQ(checked_array_grow(a, 4), 2); }), message);
  EXPECT_EQ(printed_by([&] { checked_array_destroy(a); }), message);
  EXPECT_EQ(a.data, elsewhere);
  a.data = own;
}

TEST(CheckedArray, CopyTakesTheShorterCount) {
  checked_array<double> source, destination;
  checked_array_grow_fill(source, 10, 3.0);
  checked_array_grow_fill(destination, 6, 0.0);
  destination[0] = -1.0;
  source.set_name("source");
  destination.set_name("destination");
  checked_array_copy(destination, source);
  EXPECT_EQ(destination.count, 6);
  EXPECT_EQ(destination[0], -1.0);
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(destination[i], 3.0);
  EXPECT_STREQ(destination.name, "destination");
}

TEST(CheckedArray, FileRecordsMoveAndCloseWithTheArray) {
  scratch_dir dir;
  checked_array<checked_file> files, copies;
  checked_array_grow_records(files, 2);
  checked_array_grow_records(copies, 2);
  ASSERT_TRUE(checked_file_open(files[1], dir.path("one.txt").c_str(), "w"));
  std::fputs("kept", files[1].stream);
  checked_array_grow_records(files, 3);  // growth moves the open record
  ASSERT_TRUE(files[1].is_open());
  checked_file_array_copy(copies, files);
  EXPECT_FALSE(files[1].is_open());
  ASSERT_TRUE(copies[1].is_open());
  checked_file_array_destroy(copies);
  EXPECT_EQ(dir.read("one.txt"), "kept");
}

TEST(CheckedArray2d, GrowthFillAndRows) {
  checked_array_2d<double> a;
  checked_array_2d_grow_fill(a, 0, 2.5, 4);  // n = 0 still adds a row
  EXPECT_EQ(a.row_count, 1);
  EXPECT_EQ(a.row_length, 4);
  EXPECT_EQ(checked_array_2d_grow(a, 2, -1), 3);
  EXPECT_EQ(checked_array_2d_row(a, 0), nullptr);
  EXPECT_EQ(checked_array_2d_row(a, 4), nullptr);
  ASSERT_NE(checked_array_2d_row(a, 3), nullptr);
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(checked_array_2d_row(a, 1)[j], 2.5);

  checked_array_2d<int32_t> b;
  checked_int_array_2d_grow_zero(b, 2, 3);
  checked_int_array_2d_grow_fill(b, 1, 9, -1);
  checked_int_array_2d_grow(b, -4, -1);
  EXPECT_EQ(b.row_count, 3);
  EXPECT_EQ(b.rows[2][3], 0);
  EXPECT_EQ(b.rows[3][3], 9);
}

// A longer row than the array has makes every owned row longer, data kept, so a fill or
// an index up to the new length stays inside each row.
TEST(CheckedArray2d, LongerRowLengthLengthensTheRows) {
  checked_array_2d<double> a;
  checked_array_2d_grow_fill(a, 2, 1.0, 4);
  checked_array_2d_grow_fill(a, 1, 2.0, 7);
  EXPECT_EQ(a.row_length, 7);
  for (int i = 1; i <= 3; ++i) a.rows[i][7] = 3.0;
  EXPECT_EQ(a.rows[1][4], 1.0);
  EXPECT_EQ(a.rows[3][7], 3.0);
  EXPECT_TRUE(checked_array_2d_verify(a));
  checked_array_2d_grow(a, 1, 2);
  EXPECT_EQ(a.row_length, 7);
}

TEST(CheckedArray2d, RowChangedBehindTheGuardIsRefused) {
  checked_array_2d<double> a;
  checked_array_2d_grow(a, 2, 3);
  double* own = a.rows[2];
  double other[4] = {};
  a.rows[2] = other;
  EXPECT_EQ(printed_by([&] { EXPECT_EQ(checked_array_2d_grow(a, 1, -1), 0); }),
            "\n\nError!! Bad pointers found in 2D array.\n\n");
  EXPECT_EQ(a.row_count, 2);
  EXPECT_EQ(a.rows[2], other);
  a.rows[2] = own;
  EXPECT_EQ(checked_array_2d_grow(a, 1, -1), 3);
}

TEST(CheckedArray2d, AppendedRowsAreOwnedOnlyWhenAdopted) {
  checked_array_2d<double> a;
  double kept[4] = {0, 1, 2, 3};
  double* given[2] = {nullptr, kept};
  checked_array_2d_append_rows(a, 1, given, 3);
  EXPECT_EQ(a.owned[1], 0);
  EXPECT_EQ(checked_array_2d_row(a, 1)[2], 2.0);

  double* rebuilt[3] = {nullptr, new double[4](), new double[4]()};
  a.adopt_rows = 1;
  checked_array_2d_append_rows(a, 2, rebuilt, -1);
  a.adopt_rows = 0;
  EXPECT_EQ(checked_array_2d_sync(a), 3);
  EXPECT_EQ(a.owned[2], 1);
  EXPECT_TRUE(checked_array_2d_verify(a));
  checked_array_2d_destroy(a);  // frees the adopted rows, leaves the given one alone
  EXPECT_EQ(kept[3], 3.0);
}

TEST(CheckedArray3d, PlanesGrowAppendAndGuard) {
  checked_array_3d a;
  checked_array_3d_grow_fill(a, 2, 1.5, 3, 4);
  EXPECT_EQ(a.plane_count, 2);
  EXPECT_EQ(checked_array_3d_plane(a, 2)[3][4], 1.5);
  EXPECT_EQ(checked_array_3d_plane(a, 0), nullptr);
  EXPECT_EQ(checked_array_3d_plane(a, 3), nullptr);

  double** mine = alloc_matrix_filled(3, 4, 8.0);
  double** given[2] = {nullptr, mine};
  checked_array_3d_append_planes(a, 1, given, -1, -1);
  EXPECT_EQ(checked_array_3d_plane(a, 3)[1][1], 8.0);
  EXPECT_TRUE(checked_array_3d_verify(a, false));

  // Planes of more rows after planes of fewer: each plane keeps its own extent.
  checked_array_3d_grow_fill(a, 1, 2.0, 6, 4);
  EXPECT_EQ(checked_array_3d_plane(a, 4)[6][4], 2.0);

  double* row = a.planes[1][2];
  double other[5] = {};
  a.planes[1][2] = other;
  EXPECT_EQ(printed_by([&] { checked_array_3d_grow_fill(a, 1, 0.0, -1, -1); }),
            "\n\nError!!!  Bad pointers found in 3D array.\n\n");
  EXPECT_EQ(a.plane_count, 4);
  a.planes[1][2] = row;
  checked_array_3d_destroy(a);
  EXPECT_EQ(a.planes, nullptr);
  for (int r = 1; r <= 3; ++r) delete[] mine[r];
  delete[] mine;
}

}  // namespace
