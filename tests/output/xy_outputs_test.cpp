// XY outputs of an outer run: point location with its quadrant rule, the inset mask's edge
// points, the link crossings of the inset boundary and the files written.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/printed.hpp"
#include "output/xy_boundaries.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo::xy_output_point;
using pluvo_test::write_file;

// A 3 x 3 grid of 10 m cells numbered 1..9 row by row, north 30, west 0.
struct three_by_three {
  pluvo::grid<int> cells{3, 3, 0};
  pluvo::xy_grid g;
  three_by_three() {
    for (int r = 1; r <= 3; r++)
      for (int c = 1; c <= 3; c++) cells(r, c) = 3 * (r - 1) + c;
    g = {30.0, 0.0, 3, 3, 10.0, &cells};
  }
};

xy_output_point at(double x, double y) {
  xy_output_point p;
  p.x = x;
  p.y = y;
  return p;
}

TEST(XyOutputs, PointsTakeTheCellsOfTheirQuadrant) {
  three_by_three t;
  struct quadrant_case {
    double x, y;
    std::vector<int> cells;
    std::vector<double> distances;
  } cases[] = {
      // The centre of cell 5 counts as its lower-right quadrant.
      {15.0, 15.0, {5, 6, 8, 9}, {0.0, 10.0, 10.0, std::sqrt(200.0)}},
      // A quarter cell up and left of the centre: the upper-left neighbours.
      {12.5, 17.5, {1, 2, 4, 5}, {std::sqrt(2 * 7.5 * 7.5), std::hypot(2.5, 7.5), std::hypot(7.5, 2.5),
                                  std::hypot(2.5, 2.5)}},
      // In the corner cell 9 only the cell itself and its active neighbours towards the corner.
      {27.0, 3.0, {9}, {0.0}},
  };
  for (const quadrant_case& c : cases) {
    xy_output_point p = at(c.x, c.y);
    pluvo::locate_xy_point(p, t.g);
    ASSERT_EQ(p.cell_count, int(c.cells.size())) << c.x;
    double sum = 0.0;
    for (int k = 0; k < p.cell_count; k++) {
      EXPECT_EQ(p.cells[k], c.cells[size_t(k)]) << c.x;
      const double d = std::max(c.distances[size_t(k)], 0.0001);
      const double w = c.cells.size() == 1 ? 1.0 : 1.0 / (d * d);
      EXPECT_NEAR(p.weights[k], w, 1e-9 * w) << c.x;
      sum += w;
    }
    EXPECT_NEAR(p.weight_sum, sum, 1e-9 * sum);
  }
  // The value at the centre is the cell's own, to the weight of its neighbours.
  std::vector<double> depth = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  xy_output_point p = at(15.0, 15.0);
  pluvo::locate_xy_point(p, t.g);
  EXPECT_NEAR(pluvo::xy_point_value(p, depth.data()), 5.0, 1e-5);
}

TEST(XyOutputs, APointOffTheGridTakesTheNearestActiveCell) {
  three_by_three t;
  t.cells(1, 3) = 0;  // inactive: the nearest active cell to the north-east is cell 2 or 6
  t.cells(2, 3) = 0;
  xy_output_point p = at(50.0, 50.0);
  const std::string out = pluvo::printed_by([&] { pluvo::locate_xy_point(p, t.g); });
  EXPECT_EQ(out,
            "Warning... an XY output point (x=   50.00, y=   50.00) is not located in an active cell. \n"
            "    The result will be the value of the single nearest neighbor.\n");
  ASSERT_EQ(p.cell_count, 1);
  EXPECT_EQ(p.cells[0], 2);
  EXPECT_EQ(p.weights[0], 1.0);
  EXPECT_EQ(p.weight_sum, 1.0);
  // A point inside the grid on an inactive cell is treated the same way.
  xy_output_point q = at(25.0, 25.0);
  pluvo::printed_by([&] { pluvo::locate_xy_point(q, t.g); });
  EXPECT_EQ(q.cell_count, 1);
  EXPECT_EQ(q.cells[0], 2);
}

TEST(XyOutputs, AMaskGivesItsEdgeCellsNumberedAsTheInsetNumbersThem) {
  pluvo_test::scratch_dir dir;
  write_file("m.asc", "north: 30\nsouth: 0\neast: 30\nwest: 0\nrows: 3\ncols: 3\n1 1 1\n1 1 1\n1 1 1\n");
  pluvo::xy_output out;
  pluvo::read_xy_output_mask(out, "m.asc");
  ASSERT_EQ(out.points.size(), 8u);
  const int ids[] = {1, 2, 3, 4, 6, 7, 8, 9};
  for (size_t i = 0; i < 8; i++) EXPECT_EQ(out.points[i].id, ids[i]);
  EXPECT_EQ(out.points[3].x, 5.0);
  EXPECT_EQ(out.points[3].y, 15.0);
  EXPECT_EQ(out.inset.loaded, 1);
  // Cells outside the inset are not counted: the identifiers skip nothing but zeros.
  write_file("m2.asc", "north: 30\nsouth: 0\neast: 30\nwest: 0\nrows: 3\ncols: 3\n0 1 0\n1 1 1\n0 1 0\n");
  pluvo::xy_output star;
  pluvo::read_xy_output_mask(star, "m2.asc");
  ASSERT_EQ(star.points.size(), 4u);
  EXPECT_EQ(star.points[0].id, 1);
  EXPECT_EQ(star.points[3].id, 5);
  EXPECT_EQ(pluvo::printed_by([&] { pluvo::read_xy_output_mask(star, "none.asc"); }),
            "Error getting new filename from none.asc\nError: unable to open the XY output mask file.\n");
}

TEST(XyOutputs, ALinkCrossingTheInsetBoundaryTwiceIsWrittenOnceAtTheLargerNode) {
  pluvo_test::scratch_dir dir;
  // The inset: the middle cell of a 3 x 3 mask grid of 10 m, x 10..20, y 10..20.
  write_file("m.asc", "north: 30\nsouth: 0\neast: 30\nwest: 0\nrows: 3\ncols: 3\n0 0 0\n0 1 0\n0 0 0\n");
  // Link 1 runs west to east through it (enters between nodes 1 and 2, leaves between 2 and 3);
  // link 2 stays outside.
  write_file("c.chn",
             "PLUVO_CHAN\nLINK 1\nNODE 1\nX_Y 5 15\nNODE 2\nX_Y 15 15\nNODE 3\nX_Y 25 15\n"
             "LINK 2\nNODE 1\nX_Y 5 25\nNODE 2\nX_Y 25 25\n");
  pluvo::xy_output out;
  pluvo::read_xy_output_mask(out, "m.asc");
  ASSERT_EQ(out.points.size(), 1u);
  EXPECT_EQ(out.points[0].id, 1);
  const std::string printed = pluvo::printed_by([&] { pluvo::find_inset_crossings(out, "c.chn"); });
  EXPECT_EQ(printed, "PLUVO identified 1 stream link/nodes as crossing the inset mask boundary.\n1,2\t\n");
  EXPECT_EQ(out.inset.segments.size(), 4u);
  ASSERT_EQ(out.crossings.size(), 1u);
  EXPECT_EQ(out.crossings[0].x, 20.0);
  EXPECT_EQ(out.crossings[0].y, 15.0);

  std::FILE* f = std::tmpfile();
  pluvo::write_xy_stream_header(out.crossings, f);
  pluvo::write_xy_output_header(out.points, f, "XY_OV_DEPTH");
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(char(c));
  std::fclose(f);
  EXPECT_EQ(text,
            "XY_STREAM_HYDROGRAPHS\n1\nX                 \t         20.000\nY                 \t         15.000\n"
            "XY_OV_DEPTH\n1\nDATE       TIME \t         1\n");
}

TEST(XyOutputs, PointsFileIsReadInOrderAndAShortFileIsReported) {
  pluvo_test::scratch_dir dir;
  write_file("p.txt", "3\n1.5, 2.5, 7\n3\t4\t8\n");
  std::vector<xy_output_point> points;
  EXPECT_EQ(pluvo::printed_by([&] { pluvo::read_xy_output_points(points, "p.txt"); }),
            "Warning!!! The number of points specified in the xy output file is more than the actual points in the "
            "file.\n");
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].x, 1.5);
  EXPECT_EQ(points[0].y, 2.5);
  EXPECT_EQ(points[0].id, 7);
  EXPECT_EQ(points[1].id, 8);
  EXPECT_EQ(pluvo::printed_by([&] { pluvo::read_xy_output_points(points, ""); }),
            "Error: filename for XY Output File not specified.\n");
}

}  // namespace
