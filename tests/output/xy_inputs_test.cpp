// XY boundary inputs: the files an inset run reads, the weights of interpolated cells and the
// values imposed on its boundary cells.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "common/printed.hpp"
#include "common/time_series.hpp"
#include "output/output_phases.hpp"
#include "output/xy_boundaries.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo::xy_input;
using pluvo_test::write_file;

// Every test starts and ends with an empty series list and no error.
class XyInputs : public testing::Test {
 protected:
  void SetUp() override {
    pluvo::free_time_series();
    pluvo::error_state = pluvo::error_state_record();
  }
  void TearDown() override {
    pluvo::free_time_series();
    pluvo::error_state = pluvo::error_state_record();
  }
  // Reads the file of a card into o; what the reader printed.
  std::string card(int code, const std::string& name) {
    return pluvo::printed_by([&] { pluvo::read_xy_boundary_input(code, name.c_str(), o); });
  }
  pluvo_test::scratch_dir dir;
  pluvo::option_files_block o;
};

const double t0 = pluvo::julian_date(2020, 6, 1, 0, 0, 0.0);

TEST_F(XyInputs, CellFormGivesOneSeriesPerPointAndTheMeanBetweenRows) {
  write_file("ov.xy",
             "XY_OV_DEPTH\n3\nDATE       TIME \t         2         5         1\n"
             "2020 06 01 00 00\t     0.100     0.000     1.000\n"
             "2020 06 01 01 00\t     0.300     0.200     0.000\nEND_TS\n");
  EXPECT_EQ(card(pluvo::xybdyinput_ovdep, "ov.xy"), "");
  const xy_input& xy = o.xybdy_inputs;
  ASSERT_EQ(xy.ovpts.size(), 3u);
  ASSERT_EQ(pluvo::time_series_list.size(), 3u);
  const char* names[] = {"XY_OV_DEPTH_0000", "XY_OV_DEPTH_0001", "XY_OV_DEPTH_0002"};
  for (size_t i = 0; i < 3; i++) {
    EXPECT_EQ(pluvo::time_series_list[i]->name, names[i]);
    EXPECT_EQ(xy.ovpts[i].series, pluvo::time_series_list[i].get());
  }
  EXPECT_EQ(xy.ov_series_head, pluvo::time_series_list[0].get());
  EXPECT_EQ(xy.ovpts[0].cell, 2);
  EXPECT_EQ(xy.ovpts[1].cell, 5);
  EXPECT_EQ(xy.ovpts[2].cell, 1);

  // Cells 1..5 of 10 m: at 00:30 the boundary cells hold the means of the two rows.
  std::vector<double> depth = {0.0, 0.6, 0.05, 0.0, 0.0, 0.05};
  double gain = -1.0, loss = -1.0;
  pluvo::apply_ov_xy_boundary(xy, depth.data(), 10.0, gain, loss, t0 + 0.5 / 24.0);
  // (Julian dates carry about 1e-5 s: the half hour is not exact.)
  EXPECT_NEAR(depth[2], 0.2, 1e-7);
  EXPECT_NEAR(depth[5], 0.1, 1e-7);
  EXPECT_NEAR(depth[1], 0.5, 1e-7);
  EXPECT_EQ(depth[3], 0.0);
  EXPECT_NEAR(gain, (0.15 + 0.05) * 100.0, 1e-5);
  EXPECT_NEAR(loss, 0.1 * 100.0, 1e-5);
}

TEST_F(XyInputs, HeadersAndEmptyFilesAreReported) {
  write_file("interp.xy", "XY_OV_DEPTH_INTERP\n1\nDATE TIME 3\n2020 06 01 00 00 0.5\n");
  write_file("gw.xy", "XY_GW_HEAD\n0\n");
  write_file("st.xy", "xy_stream_hydrographs\n0\n");
  struct read_case {
    int code;
    const char* file;
    const char* printed;
  } cases[] = {
      // The header word is a prefix: an interpolated file passes the cell form's check.
      {pluvo::xybdyinput_ovdep, "interp.xy", ""},
      {pluvo::xybdyinput_gwhead, "interp.xy",
       "Error: file used for groundwater xy boundary input file is not of appropriate type. File header does not "
       "match XY_GW_HEAD.\n"},
      {pluvo::xybdyinput_gwhead, "gw.xy", "Warning: No points in groundwater xy boundary input file.\n"},
      {pluvo::xybdyinput_ovdepthinterp, "none.xy", "Error getting new filename from none.xy\nError: unable to open overland xy boundary input file.\n"},
      {pluvo::xybdyinput_stflow, "st.xy", "Warning: No points in the stream xy boundary input file.\n"},
      {pluvo::xybdyinput_stflow, "gw.xy",
       "Error: file used for stream xy boundary input file is not of appropriate type. File header does not match "
       "XY_STREAM_HYDROGRAPHS.\n"},
      {pluvo::xybdyinput_sttimeseries, "gw.xy",
       "Error: incorrectly formatted header for stream xy time series boundary input file.\n"},
      {pluvo::xybdyinput_sttimeseries, "none.xy",
       "Error getting new filename from none.xy\nError: unable to open stream xy boundary input file.\n"},
  };
  for (const read_case& c : cases) EXPECT_EQ(card(c.code, c.file), c.printed) << c.code << " " << c.file;
  EXPECT_EQ(o.xybdy_inputs.ovpts.size(), 1u);
  EXPECT_EQ(o.xybdy_inputs.ovpts[0].cell, 3);
  EXPECT_TRUE(o.xybdy_inputs.gwpts.empty());
  EXPECT_EQ(pluvo::error_state.error_code, 0);
}

// Seven interpolation points on a line east of cell 1; cell 2 lies on top of the fourth.
std::string seven_points() {
  std::string x = "X", y = "Y", row = "2020 06 01 00 00";
  for (int i = 0; i < 7; i++) {
    x += " " + std::to_string(100 + 10 * i);
    y += " 0";
    row += " " + std::to_string(i + 1);
  }
  return "XY_OV_DEPTH_INTERP\n7\n" + x + "\n" + y + "\n" + row + "\nEND_TS\n";
}

TEST_F(XyInputs, InterpolatedCellsTakeTheFiveNearestPointsByInverseSquareDistance) {
  write_file("seven.xy", seven_points());
  EXPECT_EQ(card(pluvo::xybdyinput_ovdepthinterp, "seven.xy"), "");
  xy_input& xy = o.xybdy_inputs;
  ASSERT_EQ(xy.ovInterpSrcPts.size(), 7u);
  EXPECT_DOUBLE_EQ(xy.ovInterpSrcPts[6].x, 160.0);
  // Cells: 1 at x = 0, 2 on the point at x = 130, 3 is not interpolated.
  const int32_t code[] = {0, 8, 8, 9};
  const double cx[] = {0.0, 0.0, 130.0, 50.0};
  const double cy[] = {0.0, 0.0, 0.0, 0.0};
  pluvo::build_interp_cells(xy.ovInterpSrcPts, code, 3, cx, cy, xy.ovInterpPts);
  ASSERT_EQ(xy.ovInterpPts.size(), 2u);
  const pluvo::xy_interp_cell& far = xy.ovInterpPts[0];
  EXPECT_EQ(far.cell, 1);
  ASSERT_EQ(far.count, 5);
  // The five nearest points carry the values 1..5.
  double sum = 0.0, wsum = 0.0;
  for (int i = 0; i < 5; i++) {
    const double d = 100.0 + 10.0 * i;
    EXPECT_EQ(far.series[size_t(i)], pluvo::time_series_list[size_t(i)].get());
    EXPECT_DOUBLE_EQ(far.weights[size_t(i)], 1.0 / (d * d));
    sum += (i + 1) / (d * d);
    wsum += 1.0 / (d * d);
  }
  std::vector<double> depth(4, 0.0);
  double gain = 0.0, loss = 0.0;
  pluvo::apply_ov_xy_boundary(xy, depth.data(), 10.0, gain, loss, t0);
  EXPECT_DOUBLE_EQ(depth[1], sum / wsum);
  // A point on the cell centre dominates: weight 1/0.0001^2.
  EXPECT_EQ(xy.ovInterpPts[1].cell, 2);
  EXPECT_DOUBLE_EQ(xy.ovInterpPts[1].weights[0], 1.0 / (0.0001 * 0.0001));
  EXPECT_NEAR(depth[2], 4.0, 1e-6);
  EXPECT_EQ(depth[3], 0.0);

  // With three points all three count.
  xy.ovInterpSrcPts.resize(3);
  pluvo::build_interp_cells(xy.ovInterpSrcPts, code, 3, cx, cy, xy.ovInterpPts);
  EXPECT_EQ(xy.ovInterpPts[0].count, 3);
}

TEST_F(XyInputs, StageBelowGroundImposesNoDepthAndBooksTheWaterRemovedAsLoss) {
  write_file("stage.xy", "XY_OV_DEPTH_INTERP\n1\nX 5\nY 5\n2020 06 01 00 00 99.5\n2020 06 01 02 00 101.5\n");
  EXPECT_EQ(card(pluvo::xybdyinput_ov_stage_interp, "stage.xy"), "");
  xy_input& xy = o.xybdy_inputs;
  const int32_t code[] = {0, 8, 8};
  const double cx[] = {0.0, 5.0, 15.0};
  const double cy[] = {0.0, 5.0, 5.0};
  pluvo::build_interp_cells(xy.ovInterpSrcPts, code, 2, cx, cy, xy.ovInterpPts);
  const double ground[] = {0.0, 100.0, 100.2};
  std::vector<double> depth = {0.0, 0.3, 0.1};
  double gain = 0.0, loss = 0.0;
  // At 00:00 the stage is 99.5 m: half a metre below the ground of both cells.
  pluvo::apply_ov_xy_stage_boundary(xy, depth.data(), ground, 10.0, gain, loss, t0);
  EXPECT_EQ(depth[1], 0.0);
  EXPECT_EQ(depth[2], 0.0);
  EXPECT_EQ(gain, 0.0);
  EXPECT_NEAR(loss, 0.4 * 100.0, 1e-9);
  // At 02:00 the stage is 101.5 m.
  pluvo::apply_ov_xy_stage_boundary(xy, depth.data(), ground, 10.0, gain, loss, t0 + 2.0 / 24.0);
  EXPECT_NEAR(depth[1], 1.5, 1e-9);
  EXPECT_NEAR(depth[2], 1.3, 1e-9);
  EXPECT_NEAR(gain, 2.8 * 100.0, 1e-9);
  EXPECT_EQ(loss, 0.0);
}

TEST_F(XyInputs, AnInterpolatedCellWithoutPointsKeepsItsDepth) {
  xy_input xy;  // its interpolation file was missing
  const int32_t code[] = {0, 8};
  const double c[] = {0.0, 5.0};
  pluvo::build_interp_cells(xy.ovInterpSrcPts, code, 1, c, c, xy.ovInterpPts);
  ASSERT_EQ(xy.ovInterpPts.size(), 1u);
  std::vector<double> depth = {0.0, 0.25};
  double gain = 1.0, loss = 1.0;
  pluvo::apply_ov_xy_boundary(xy, depth.data(), 10.0, gain, loss, t0);
  EXPECT_EQ(depth[1], 0.25);
  EXPECT_EQ(gain + loss, 0.0);
}

TEST_F(XyInputs, GroundwaterHeadsAreBookedWithTheStorageOfTheCell) {
  write_file("gw.xy", "XY_GW_HEAD\n2\nDATE TIME 1 2\n2020 06 01 00 00 9.0 12.0\n");
  EXPECT_EQ(card(pluvo::xybdyinput_gwhead, "gw.xy"), "");
  std::vector<double> head = {0.0, 10.0, 10.0};
  const double storage[] = {0.0, 0.25, 0.5};
  double gain = 0.0, loss = 0.0;
  pluvo::apply_gw_xy_boundary(o.xybdy_inputs, head.data(), storage, 10.0, gain, loss, t0);
  EXPECT_EQ(head, (std::vector<double>{0.0, 9.0, 12.0}));
  EXPECT_DOUBLE_EQ(loss, 1.0 * 100.0 * 0.25);
  EXPECT_DOUBLE_EQ(gain, 2.0 * 100.0 * 0.5);
}

TEST_F(XyInputs, StreamInputsTakeTheNearestNodePair) {
  write_file("st.xy",
             "XY_STREAM_HYDROGRAPHS\n3\nX    5.0  95.0  1e9\nY    0.0  95.0  0\n2020 06 01 00 00 1 2 3\nEND_TS\n");
  write_file("ts.txt", "PLUVO_TS\ntail\nABSOLUTE\n2020 6 1 0 0 4.0\nEND_TS\n");
  pluvo::load_time_series_file("ts.txt");
  write_file("sts.xy",
             "PLUVO_XY_ST_BDY_TS\nPLUVO_TS\nXY 1 2\nLINKNODE 2 3\nTIMESERIES \"tail\"\nEND_TS\n"
             "PLUVO_TS\ntimeseries missing\nEND_TS\n");
  card(pluvo::xybdyinput_sttimeseries, "sts.xy");
  const std::string missing = card(pluvo::xybdyinput_sttimeseries, "sts.xy");
  EXPECT_NE(missing.find("Error!!! unable to find time series [missing] for the xy boundary stream time series "
                         "file.\n         Perhaps the related TIME_SERIES_FILE card in the project file is below "
                         "the XYBDYINPUT_STTIMESERIES card?\n"),
            std::string::npos)
      << missing;
  EXPECT_EQ(card(pluvo::xybdyinput_stflow, "st.xy"), "");
  xy_input& xy = o.xybdy_inputs;
  ASSERT_EQ(xy.stpts.size(), 7u);
  EXPECT_EQ(xy.st_point_count, 3);
  // Link 1 runs east along y = 0, link 2 north along x = 100; nodes 10 m apart.
  const int extent = 4;
  std::vector<int32_t> nx1 = {0, 3, 3}, ltype = {0, 4, 8};
  std::vector<double> lnx(12, 0.0), lny(12, 0.0);
  for (int k = 1; k <= 3; k++) {
    lnx[size_t(extent + k)] = 10.0 * (k - 1);
    lnx[size_t(2 * extent + k)] = 100.0;
    lny[size_t(2 * extent + k)] = 80.0 + 10.0 * (k - 1);
  }
  const std::string out = pluvo::printed_by(
      [&] { pluvo::match_stream_xy_inputs(xy, 2, nx1, ltype, lnx, lny, extent); });
  EXPECT_EQ(out,
            "Matching up stream input to current link/node network \n"
            "For input 0 the closest link/node pair is 0.000000 m from link 1 node 1 \n \n"
            "For input 1 the closest link/node pair is 5.000000 m from link 2 node 2 \n \n"
            "For input 2 the closest link/node pair is 999999.990000 m from link 0 node 0 \n \n\n");
  // The time-series file's entries follow, unmatched: one fixed with its series.
  EXPECT_EQ(xy.stpts[3].link, 2);
  EXPECT_EQ(xy.stpts[3].node, 3);
  EXPECT_EQ(xy.stpts[3].fixed, 1);
  EXPECT_EQ(xy.stpts[3].x, 1.0);
  ASSERT_NE(xy.stpts[3].series, nullptr);
  EXPECT_EQ(xy.stpts[3].series->name, "tail");
}

TEST_F(XyInputs, ACellNumberOffTheGridStopsTheRunNamingTheFile) {
  write_file("ov.xy", "XY_OV_DEPTH\n2\nDATE TIME 1 7\n2020 06 01 00 00 0.1 0.2\n");
  card(pluvo::xybdyinput_ovdep, "ov.xy");
  auto m = std::make_unique<pluvo::model_state>();
  m->cell_count = 6;
  std::swap(m->xybdy_inputs, o.xybdy_inputs);
  const std::string out = pluvo::printed_by([&] { pluvo::build_xy_weights(*m); });
  EXPECT_NE(out.find("Error: the XY boundary input file ov.xy names cell 7; the cells of this grid are 1 to 6.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
}

}  // namespace

namespace {

// An inset run whose west column (cells 1 and 4 of the strip) is held at 5 cm by an XY file:
// the summary books what the boundary gave and took, and the balance closes.
TEST(XyInputProject, BoundaryDepthsAreImposedAndBookedInTheSummary) {
  pluvo_test::scratch_dir dir;
  pluvo::free_time_series();
  write_file("ov.xy",
             "XY_OV_DEPTH\n2\nDATE       TIME \t         1         4\n"
             "2020 06 01 10 00\t     0.050     0.050\n2020 06 01 11 00\t     0.050     0.050\nEND_TS\n");
  const pluvo_test::project_result r = pluvo_test::run_strip_project("XYBDYINPUT_OVDEP ov.xy\n");
  ASSERT_FALSE(r.stopped) << r.out;
  const std::string sum = pluvo_test::read_file("w.sum");
  const double gained = pluvo_test::number_after(sum, "Volume overland gained from specified head boundary:     ");
  // At least the first fill of the two cells: 5 cm over 100 m2 each.
  EXPECT_GE(gained, 10.0 - 1e-9) << sum;
  EXPECT_LT(std::fabs(pluvo_test::number_after(sum, "Overall mass balance error =")), 1e-5) << sum;
}

}  // namespace
