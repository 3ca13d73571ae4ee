#include <gtest/gtest.h>

#include "grid_fixture.hpp"
#include "input/grid_setup.hpp"
#include "input/input_phases.hpp"

namespace {

using namespace pluvo;

// A model whose mask is given as rows of 0/1, numbered as the mask reader numbers it.
std::unique_ptr<model_state> masked(const std::vector<std::vector<int>>& rows, double dx) {
  auto m = pluvo_test::new_model();
  const int nr = int(rows.size()), nc = int(rows[0].size());
  m->grid_rows = m->project_rows = nr;
  m->grid_cols = m->project_cols = nc;
  m->cell_size = dx;
  m->silent_mode = 1;
  m->cell_number_grid.resize(nr, nc, 0);
  int n = 0;
  for (int r = 1; r <= nr; ++r)
    for (int c = 1; c <= nc; ++c)
      if (rows[r - 1][c - 1]) m->cell_number_grid(r, c) = ++n;
  m->cell_count = n;
  m->elevation.assign(size_t(n) + 1, 0.0);
  allocate_cell_arrays(*m);
  return m;
}

void set_up(model_state& m) {
  build_cell_connectivity(m);
  compute_face_slopes(m);
  compute_centered_slopes(m);
}

TEST(Connectivity, NeighboursOfAnIrregularMask) {
  auto m = masked({{1, 1, 0}, {0, 1, 1}, {1, 1, 1}}, 1.0);
  set_up(*m);
  // Cells: 1 2 . / . 3 4 / 5 6 7
  EXPECT_EQ(m->rightcon, (std::vector<int>{0, 2, 0, 4, 0, 6, 7, 0}));
  EXPECT_EQ(m->leftcon, (std::vector<int>{0, 0, 1, 0, 3, 0, 5, 6}));
  EXPECT_EQ(m->belowcon, (std::vector<int>{0, 0, 3, 6, 7, 0, 0, 0}));
  EXPECT_EQ(m->abovecon, (std::vector<int>{0, 0, 0, 2, 0, 0, 3, 4}));
}

TEST(Slopes, RowOfThreeCopiesTheEastEdge) {
  // Cells 5, 6, 7 form the second row, elevations 10, 9, 7.
  auto m = masked({{1, 1, 1, 1}, {1, 1, 1, 0}}, 1.0);
  m->elevation = {0, 20, 20, 20, 20, 10, 9, 7};
  set_up(*m);
  EXPECT_DOUBLE_EQ(m->slope_x[5], 1.0);
  EXPECT_DOUBLE_EQ(m->slope_x[6], 2.0);
  EXPECT_DOUBLE_EQ(m->slope_x[7], 2.0);
  EXPECT_DOUBLE_EQ(m->slope_cx[5], 1.0);
  EXPECT_DOUBLE_EQ(m->slope_cx[6], 1.5);
  EXPECT_DOUBLE_EQ(m->slope_cx[7], 2.0);
}

TEST(Slopes, TiltedPlanesGiveTheSignConventions) {
  struct plane_case {
    double east_drop, south_drop;  // metres per 10 m cell
  };
  for (const plane_case c : {plane_case{1.0, 0.0}, plane_case{0.0, 1.0}, plane_case{-0.5, 2.0}}) {
    auto m = masked({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 10.0);
    for (int k = 1; k <= 9; ++k)
      m->elevation[k] = 100.0 - c.east_drop * ((k - 1) % 3) - c.south_drop * ((k - 1) / 3);
    set_up(*m);
    for (int k = 1; k <= 9; ++k) {
      // Face slopes fall positive to east and south, centred ones to east and north.
      EXPECT_NEAR(m->slope_x[k], c.east_drop / 10.0, 1e-12) << k;
      EXPECT_NEAR(m->slope_y[k], c.south_drop / 10.0, 1e-12) << k;
      EXPECT_NEAR(m->slope_cx[k], c.east_drop / 10.0, 1e-12) << k;
      EXPECT_NEAR(m->slope_cy[k], -c.south_drop / 10.0, 1e-12) << k;
    }
  }
}

TEST(Slopes, SingleCellIsFlatAndAlone) {
  auto m = masked({{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, 10.0);
  m->elevation[1] = 50.0;
  set_up(*m);
  EXPECT_EQ(m->rightcon[1] + m->leftcon[1] + m->abovecon[1] + m->belowcon[1], 0);
  EXPECT_EQ(m->slope_x[1], 0.0);
  EXPECT_EQ(m->slope_y[1], 0.0);
  EXPECT_EQ(m->slope_cx[1], 0.0);
  EXPECT_EQ(m->slope_cy[1], 0.0);
}

struct lowspot_case {
  const char* name;
  lowspot_record spot;
  int dike5, dike6;      // dike bits of cells 5 and 6
  double elev5, elev6;
  std::string console;   // empty when the low spot is valid
};

class LowSpot : public ::testing::TestWithParam<lowspot_case> {};

TEST_P(LowSpot, EachTestHasItsMessage) {
  const lowspot_case& c = GetParam();
  // 3 x 3, all inside; cell 5 in the middle, cell 6 to its right.
  auto m = masked({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 10.0);
  m->dike_map_on = m->lowspot_on = 1;
  m->lowspot_path = "spots.txt";
  m->dike_mask.assign(10, 0);
  m->dike_mask[5] = c.dike5;
  m->dike_mask[6] = c.dike6;
  m->elevation[5] = c.elev5;
  m->elevation[6] = c.elev6;
  m->lowspot_count = 1;
  m->lowspot_records.assign(2, lowspot_record());
  m->lowspot_records[1] = c.spot;
  testing::internal::CaptureStdout();
  build_cell_connectivity(*m);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), c.console);
  EXPECT_EQ(error_state.error_terminate, c.console.empty() ? 0 : 1);
  EXPECT_EQ(m->low_spot_flow_cell.size(), 10u);
}

const std::string tail = "\n";  // the reporter's line for code 4000

INSTANTIATE_TEST_SUITE_P(
    Tests, LowSpot,
    ::testing::Values(
        lowspot_case{"valid_at_the_largest_fraction", {2, 2, 2, 1.5, 11.0, 0}, 2, 8, 10, 10, ""},
        lowspot_case{"fraction", {2, 2, 2, 1.51, 11.0, 0}, 2, 8, 10, 10,
                     "\nThe fraction of the grid-size specified for the lowspot in the grid at\n"
                     "row 2 col 2 is unreasonable, with a value of 1.510000.  Acceptable\n"
                     " values range from 0.0 to 1.5.  Change the value.  Program terminated.\n" + tail},
        lowspot_case{"direction", {2, 2, 3, 1.0, 11.0, 0}, 2, 8, 10, 10,
                     "\nThe low spot flow direction specified in row 2 col 2 in the file spots.txt\n"
                     "is not valid.  The only possible directions are: 1- top boundary, 2- right\n"
                     "boundary, 4- bottom boundary, or 8- left boundary.\n"
                     "Edit your lowspot file and try again.  Program terminated.\n" + tail},
        lowspot_case{"no_dike_at_the_cell", {2, 2, 2, 1.0, 11.0, 0}, 0, 8, 10, 10,
                     "\nYou have specified an overland flow dike in row 2 col 2\n"
                     "There is no dike adjacent to this grid cell.  Program stopped.\n" + tail},
        lowspot_case{"neighbour_outside", {2, 3, 2, 1.0, 11.0, 0}, 2, 8, 10, 10,
                     "\nYou have specified a low spot on the right boundary of the grid\n"
                     "cell at row 2 col 3.  Either the side you have specified is not on\n"
                     "an overland flow dike, or the cell on the other side is out of the\n"
                     "watershed.  Check your low spot file.  Program terminated.\n" + tail},
        lowspot_case{"cell_above_low_spot", {2, 2, 2, 1.0, 11.0, 0}, 2, 8, 12, 10,
                     "\nThe elevation of the overland flow dike low spot you specified in the grid\n"
                     "cell located at row 2 col 2 is 11.000000 m.  This elevation is lower than the\n"
                     "elevation of the grid cell, which is 12.000000 m.  This situation is impossible.\n"
                     "Please raise the low spot elevation to be greater than the grid cell elevation.\n"
                     "Dike / low spot on right side of cell\nProgram terminated\n" + tail},
        lowspot_case{"neighbour_above_low_spot", {2, 2, 2, 1.0, 11.0, 0}, 2, 8, 10, 12,
                     "\nThe elevation of the overland flow dike low spot you specified in the grid\n"
                     "cell located at row 2 col 2 is 11.000000 m.  This elevation is lower than the\n"
                     "elevation of the grid cell on the other side of the dike, which is 12.000000 m.\n"
                     "This situation is impossible.  Please raise the low spot elevation to be\n"
                     "greater than the grid cell elevation.\n"
                     "Dike / low spot on right side of cell\nProgram terminated\n" + tail},
        lowspot_case{"along_the_dike", {2, 2, 2, 1.0, 11.0, 0}, 2, 1, 10, 10,
                     "\nThe low spot you have specified in the grid at row 2  col 2 does not\n"
                     "cross the dike.  Rather, it runs _along_ the dike.  You specified flow\n"
                     "at this low spot across the right boundary of the cell, while the dike\n"
                     "is running in a different direction than along the right side of the cell.\n"
                     "Program terminated.\n" + tail},
        lowspot_case{"off_the_grid", {9, 2, 2, 1.0, 11.0, 0}, 2, 8, 10, 10,
                     "\nThe low spot in row 9 col 2 of the file spots.txt lies outside the grid\n"
                     "of 3 rows and 3 columns.  Program terminated.\n" + tail}),
    [](const testing::TestParamInfo<lowspot_case>& i) { return std::string(i.param.name); });

TEST(LowSpot, NotValidatedWithoutADikeMap) {
  auto m = masked({{1, 1}, {1, 1}}, 10.0);
  m->lowspot_on = 1;
  m->lowspot_count = 1;
  m->lowspot_records.assign(2, lowspot_record{9, 9, 3, 7.0, 0.0, 0});
  build_cell_connectivity(*m);
  EXPECT_EQ(error_state.error_terminate, 0);
  EXPECT_TRUE(m->low_spot_flow_cell.empty());
}

}  // namespace
