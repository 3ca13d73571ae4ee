#include <gtest/gtest.h>

#include "common/checked_file.hpp"
#include "grid_fixture.hpp"
#include "input/grid_setup.hpp"

namespace {

using namespace pluvo;
using pluvo_test::header;

// Reads a mask of rows x cols from text into a fresh model; returns the console output.
std::string read_mask(model_state& m, const pluvo_test::temp_dir& dir, int rows, int cols,
                      double cell_size, const std::string& text) {
  m.project_rows = m.mask_rows = rows;
  m.project_cols = m.mask_cols = cols;
  m.cell_size = cell_size;
  m.watershed_mask_path = dir.write("mask.asc", text);
  m.cell_number_grid.resize(rows, cols, 0);
  EXPECT_TRUE(checked_file_open(m.watershed_mask_fp, m.watershed_mask_path.c_str(), 'r'));
  testing::internal::CaptureStdout();
  read_watershed_mask(m);
  return testing::internal::GetCapturedStdout();
}

TEST(WatershedMask, NumbersRowMajorWithCentresAndWritesMaskmap) {
  pluvo_test::temp_dir dir;
  dir.enter();
  auto m = pluvo_test::new_model();
  const std::string out =
      read_mask(*m, dir, 3, 4, 10.0, header(3, 4) + "0 1 0 0\n-1 5 0 0\n0 0 0 1\n");
  EXPECT_EQ(out, "reading watershed mask from file: " + m->watershed_mask_path +
                     "\nnumber of grid cells in watershed: 4\n");
  ASSERT_EQ(m->cell_count, 4);
  EXPECT_EQ(m->cell_row, (std::vector<int>{0, 1, 2, 2, 3}));
  EXPECT_EQ(m->cell_col, (std::vector<int>{0, 2, 1, 2, 4}));
  // Cell 1 sits half a cell below the north edge and one and a half cells east of the west edge.
  EXPECT_DOUBLE_EQ(m->cell_y[1], 1995.0);
  EXPECT_DOUBLE_EQ(m->cell_x[1], 1015.0);
  EXPECT_DOUBLE_EQ(m->cell_x[4], 1035.0);
  EXPECT_DOUBLE_EQ(m->cell_y[4], 1975.0);
  EXPECT_DOUBLE_EQ(m->watershed_area, 400.0);
  EXPECT_EQ(m->cell_number_grid(2, 1), 2);
  EXPECT_EQ(m->cell_number_grid(0, 2) + m->cell_number_grid(4, 4) + m->cell_number_grid(2, 5), 0);
  EXPECT_FALSE(m->watershed_mask_fp.is_open());
  EXPECT_EQ(pluvo_test::read_text(dir.file("maskmap")),
            "north:   2000.00\nsouth:   1970.00\neast:   1040.00\nwest:   1000.00\n"
            "rows:     3\ncols:     4\n0 1 0 0 \n2 3 0 0 \n0 0 0 4 \n");
}

struct size_case {
  double header_cell;
  bool ns_only;  // only the north-south size differs
  bool passes;
};

class CellSize : public ::testing::TestWithParam<size_case> {};

TEST_P(CellSize, AgreesAtOneDecimetreAfterAMillimetre) {
  const size_case c = GetParam();
  pluvo_test::temp_dir dir;
  dir.enter();
  auto m = pluvo_test::new_model();
  char h[256];
  const double ew = c.ns_only ? 30.0 : c.header_cell;
  std::snprintf(h, sizeof h, "north: %.4f\nsouth: 0\neast: %.4f\nwest: 0\nrows: 2\ncols: 2\n",
                2 * c.header_cell, 2 * ew);
  const std::string out = read_mask(*m, dir, 2, 2, 30.0, std::string(h) + "1 1\n1 1\n");
  EXPECT_EQ(error_state.error_terminate, c.passes ? 0 : 1);
  EXPECT_EQ(m->cell_count, c.passes ? 4 : 0);
  if (!c.passes) {
    char expect[1024];
    std::snprintf(expect, sizeof expect,
                  "\nThe grid size specified in the project file: %7.4f m differs from\n"
                  "the north-south dimension of the raster grid cells %7.4f m as calculated\n"
                  "from the WATERSHED_MASK header.  Check your data to make sure they agree.\n"
                  "PLUVO terminating.\n\n\n",
                  30.0, c.header_cell);
    EXPECT_NE(out.find(expect), std::string::npos) << out;
  }
}

INSTANTIATE_TEST_SUITE_P(Tolerance, CellSize,
                         ::testing::Values(size_case{30.04, false, true}, size_case{30.0, false, true},
                                           size_case{30.1, false, false}, size_case{29.99, true, false}));

TEST(WatershedMask, EastWestSizeIsCheckedToo) {
  pluvo_test::temp_dir dir;
  dir.enter();
  auto m = pluvo_test::new_model();
  const std::string out = read_mask(
      *m, dir, 2, 2, 30.0, "north: 60\nsouth: 0\neast: 62\nwest: 0\nrows: 2\ncols: 2\n1 1\n1 1\n");
  EXPECT_NE(out.find("the east-west dimension of the raster grid cells 31.0000 m as calculated\n"),
            std::string::npos);
  EXPECT_EQ(error_state.error_terminate, 1);
}

// A 3 x 3 mask (all inside) of 10 m cells with the given elevations row by row.
void load_block(model_state& m, const pluvo_test::temp_dir& dir, const std::string& elev,
                int outrow, int outcol) {
  read_mask(m, dir, 3, 3, 10.0, header(3, 3) + "1 1 1\n1 1 1\n1 1 1\n");
  m.elevation.assign(10, 0.0);
  m.elevation_path = dir.write("elev.asc", header(3, 3) + elev);
  ASSERT_TRUE(checked_file_open(m.elevation_fp, m.elevation_path.c_str(), 'r'));
  m.outlet_row = outrow;
  m.outlet_col = outcol;
}

TEST(Elevation, FindsTheOutletOrStops) {
  pluvo_test::temp_dir dir;
  dir.enter();
  for (int outrow : {3, 4}) {
    auto m = pluvo_test::new_model();
    load_block(*m, dir, "5 5 5\n4 4 4\n3 3 2\n", outrow, 3);
    testing::internal::CaptureStdout();
    read_elevation_map(*m);
    const std::string out = testing::internal::GetCapturedStdout();
    if (outrow == 3) {
      EXPECT_EQ(m->outlet_cell, 9);
      EXPECT_NE(out.find("outlet is in grid cell: 9\n"), std::string::npos);
      EXPECT_DOUBLE_EQ(m->elevation[9], 2.0);
    } else {
      EXPECT_EQ(m->outlet_cell, 0);
      EXPECT_EQ(error_state.error_terminate, 1);
      EXPECT_NE(out.find("\nThe outlet row and column you specified in the project file are not\n"
                         "inside the watershed mask.  Check the outlet row and column again, and\n"
                         "make sure they are correctly specified in the project file using the\n"
                         "OUTROW and OUTCOL project file cards.  PLUVO terminating.\n\n"),
                std::string::npos);
    }
  }
}

TEST(Elevation, RangeAndScale) {
  struct range_case {
    std::vector<double> elev;
    double gage;
    double lo, hi;
    int scale_count;
  };
  const range_case cases[] = {
      {{0, 100, 350, 200}, 0.0, 100, 350, 6},  // 250 m of relief; gauge 0 takes the lowest cell
      {{0, 50, 50, 50}, 0.0, 50, 50, 4},       // flat
      {{0, 100, 150, 120}, 400.0, 100, 400, 7},
      {{0, 100, 150, 120}, 60.0, 60, 150, 4},
  };
  for (const auto& c : cases) {
    auto m = pluvo_test::new_model();
    m->cell_count = 3;
    m->elevation = c.elev;
    m->hmet_elev_gage = c.gage;
    set_elevation_range(*m);
    EXPECT_DOUBLE_EQ(m->watershed_min_elev, c.lo);
    EXPECT_DOUBLE_EQ(m->watershed_max_elev, c.hi);
    EXPECT_DOUBLE_EQ(m->hmet_reference_elevation, c.gage > 0 ? c.gage : c.lo);
    EXPECT_EQ(m->elev_scale_count, c.scale_count);
  }
}

TEST(InitialState, ElevationHeadFillsLowCellsAndSnowNeedsAContinuousRun) {
  auto m = pluvo_test::new_model();
  m->cell_count = 3;
  m->elevation = {0, 10, 12, 9};
  m->ov_depth = {0, 0.5, 0.5, 0.5};
  m->ov_depth_2 = m->ov_depth_3 = std::vector<double>(4, 0.0);
  m->init_elev_head_flag = 1;
  m->init_elev_head = 11.0;
  read_initial_snow_and_overland_state(*m);
  EXPECT_EQ(m->ov_depth, (std::vector<double>{0, 1.0, 0.5, 2.0}));
  EXPECT_EQ(m->ov_depth_3, m->ov_depth);

  // An event run has no snow state: the card is refused, not written through a missing array.
  auto e = pluvo_test::new_model();
  e->cell_count = 3;
  e->init_swe_depth_kind = 3;
  e->init_swe_depth = 0.2;
  testing::internal::CaptureStdout();
  read_initial_snow_and_overland_state(*e);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: INIT_SWE_DEPTH needs a continuous (LONG_TERM) simulation;\n"
            "an event simulation keeps no snow.  Remove the card or run LONG_TERM.\n\n");
  EXPECT_EQ(error_state.error_terminate, 1);

  auto c = pluvo_test::new_model();
  c->cell_count = 2;
  c->long_term_on = 1;
  c->elevation = {0, 1, 1};
  c->ov_depth.assign(3, 0.0);
  c->snow_swe.assign(3, 0.0);
  c->snow_depth.assign(3, 0.0);
  c->init_swe_depth_kind = 3;
  c->init_swe_depth = 0.2;
  read_initial_snow_and_overland_state(*c);
  EXPECT_EQ(c->snow_depth, (std::vector<double>{0, 2.0, 2.0}));
  EXPECT_EQ(c->snow_present, 1);
  EXPECT_EQ(c->ov_water_present, 0);
}

}  // namespace
