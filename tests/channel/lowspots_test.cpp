// Weir flow across the low spots of overland dikes: when water passes, how much, where it may
// not go, and that it is neither made nor lost.
#include "channel/lowspots.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "channel/channel_services.hpp"
#include "overland/overland_fixture.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace pluvo {
namespace {

constexpr double crest = 100.2;

// One row of `cols` 10 m cells on flat ground at 100 m; one low spot per entry of spots.
std::unique_ptr<model_state> row_of_cells(int cols, std::vector<lowspot_record> spots) {
  pluvo_test::grid_spec g;
  g.rows = 1;
  g.cols = cols;
  g.elevation = [](int, int) { return 100.0; };
  auto m = pluvo_test::make_overland_grid(g);
  m->lowspot_records.assign(1, lowspot_record());
  for (const lowspot_record& s : spots) m->lowspot_records.push_back(s);
  m->lowspot_count = int(spots.size());
  m->low_spot_flow_cell.assign(size_t(m->cell_count) + 1, 0);
  m->boundary_type.assign(size_t(m->cell_count) + 1, 0);
  return m;
}

lowspot_record spot(int row, int col, int side, double fraction = 0.5, double elevation = crest) {
  lowspot_record s;
  s.row = row;
  s.col = col;
  s.direction = side;
  s.fraction = fraction;
  s.elevation = elevation;
  return s;
}

struct exchange {
  double loss = 0.0, gain = 0.0;
};

// Cell `cell` lies in channel lake 1 of the given level and volume.
void put_in_lake(model_state& m, int cell, double level, double volume) {
  m.lakes_on = 1;
  m.nlakes = 1;
  m.lake_mask.assign(size_t(m.cell_count) + 1, 0);
  m.lake_mask[size_t(cell)] = 1;
  m.lake_elev = {0.0, level, 0.0};
  m.lake_volume = {0.0, volume, 0.0};
  m.lake_in_dv.assign(3, 0.0);
  m.lake_out_dv.assign(3, 0.0);
}

exchange run(model_state& m, double dt) {
  exchange e;
  lowspot_weir_flow(m, dt, e.loss, e.gain);
  return e;
}

TEST(LowSpots, SubmergenceFactorFollowsItsTable) {
  struct point {
    double x, factor;
  };
  for (const point p : {point{0.5, 1.0}, point{0.76, 1.0}, point{0.78, 0.9735}, point{0.8, 0.947},
                        point{0.95, 0.75}, point{0.975, 0.375}, point{1.0, 0.0}}) {
    // x = (h2 / h1)^1.5
    const double h1 = 2.0, h2 = h1 * std::pow(p.x, 2.0 / 3.0);
    EXPECT_NEAR(lowspot_submergence_factor(h2, h1), p.factor, 1e-9) << p.x;
  }
  EXPECT_EQ(lowspot_submergence_factor(1.3, 1.3), 0.0);
}

TEST(LowSpots, FlowOverTheCrestFromTheHigherSide) {
  struct flow_case {
    const char* name;
    double depth1, depth2;
    double moved;  // m of depth from the higher cell to the lower, per second
  };
  const double per_head = 1.48 * 0.5 * 10.0 / 100.0;
  const flow_case cases[] = {
      {"levels within 0.001", 0.5, 0.5005, 0.0},
      {"levels within 0.001, both below", 0.1, 0.1009, 0.0},
      {"both at or below the crest", 0.15, 0.05, 0.0},
      {"free flow", 0.8, 0.1, per_head * std::pow(0.6, 1.5)},
      {"free flow, right to left", 0.0, 0.6, -per_head * std::pow(0.4, 1.5)},
      {"just below the submergence ratio", 0.2 + 0.4, 0.2 + 0.4 * 0.749, per_head * std::pow(0.4, 1.5)},
      {"submerged at x = 0.8", 0.2 + 0.4, 0.2 + 0.4 * std::pow(0.8, 2.0 / 3.0),
       0.947 * per_head * std::pow(0.4, 1.5)},
  };
  for (const flow_case& c : cases) {
    auto m = row_of_cells(2, {spot(1, 1, 2)});
    m->ov_depth[1] = c.depth1;
    m->ov_depth[2] = c.depth2;
    const exchange e = run(*m, 1.0);
    EXPECT_NEAR(m->ov_depth[1], c.depth1 - c.moved, 1e-12) << c.name;
    EXPECT_NEAR(m->ov_depth[2], c.depth2 + c.moved, 1e-12) << c.name;
    EXPECT_NEAR(m->lowspot_records[1].flow, std::fabs(c.moved) * 100.0, 1e-10) << c.name;
    EXPECT_EQ(m->low_spot_flow_cell[1], int(c.moved != 0.0)) << c.name;
    EXPECT_EQ(e.loss + e.gain, 0.0) << c.name;
  }
}

TEST(LowSpots, APlainCellNeverDrainsBelowTheCrestOrBelowZero) {
  {  // A long step: the giving cell stops at the crest.
    auto m = row_of_cells(2, {spot(1, 1, 2)});
    m->ov_depth[1] = 0.7;
    run(*m, 1e5);
    EXPECT_NEAR(m->ov_depth[1], crest - 100.0, 1e-12);
    EXPECT_NEAR(m->ov_depth[2], 0.7 - (crest - 100.0), 1e-12);
  }
  {  // Ground above the crest: the giving cell stops when dry.
    auto m = row_of_cells(2, {spot(1, 1, 2)});
    m->elevation[1] = 100.5;
    m->ov_depth[1] = 0.1;
    run(*m, 1e5);
    EXPECT_EQ(m->ov_depth[1], 0.0);
    EXPECT_DOUBLE_EQ(m->ov_depth[2], 0.1);
  }
}

TEST(LowSpots, ASpotOntoACellOutsideTheWatershedPassesNothing) {
  pluvo_test::grid_spec g;
  g.rows = 2;
  g.cols = 2;
  g.elevation = [](int, int) { return 100.0; };
  g.active = [](int r, int c) { return !(r == 2 && c == 2); };
  auto m = pluvo_test::make_overland_grid(g);
  m->lowspot_records = {lowspot_record(), spot(1, 1, 1), spot(1, 2, 4), spot(1, 1, 8)};
  m->lowspot_count = 3;
  m->low_spot_flow_cell.assign(4, 0);
  for (int i = 1; i <= 3; i++) m->ov_depth[i] = 1.0;
  m->ov_depth[3] = 0.0;
  run(*m, 10.0);
  EXPECT_EQ(m->ov_depth[1], 1.0);
  EXPECT_EQ(m->ov_depth[2], 1.0);
  EXPECT_EQ(m->ov_depth[3], 0.0);
}

TEST(LowSpots, HeadBoundaryCellsBookWhatTheyTakeAndGive) {
  auto m = row_of_cells(3, {spot(1, 1, 2), spot(1, 3, 8)});
  m->ov_boundary_on = 1;
  m->boundary_type[2] = 2;
  m->ov_depth[1] = 0.8;  // gives to the boundary
  m->ov_depth[2] = 0.5;  // gives to cell 3
  const exchange e = run(*m, 1.0);
  const double per_head = 1.48 * 0.5 * 10.0;
  EXPECT_NEAR(e.loss, per_head * std::pow(0.6, 1.5), 1e-12);
  EXPECT_NEAR(e.gain, per_head * std::pow(0.3, 1.5), 1e-12);
  EXPECT_EQ(m->ov_depth[2], 0.5);
  EXPECT_NEAR(m->ov_depth[3], e.gain / 100.0, 1e-15);
  EXPECT_NEAR(m->ov_depth[1], 0.8 - e.loss / 100.0, 1e-15);
}

TEST(LowSpots, AChannelLakeCellTradesWithItsLake) {
  {  // Into the lake.
    auto m = row_of_cells(2, {spot(1, 1, 2)});
    put_in_lake(*m, 2, 100.3, 50.0);
    m->ov_depth[1] = 0.8;
    m->ov_depth[2] = 5.0;  // a lake cell's own depth plays no part
    run(*m, 2.0);
    const double v = 2.0 * 1.48 * 0.5 * 10.0 * std::pow(0.6, 1.5);
    EXPECT_NEAR(m->lake_volume[1], 50.0 + v, 1e-12);
    EXPECT_NEAR(m->lake_in_dv[1], v, 1e-12);
    EXPECT_EQ(m->ov_depth[2], 5.0);
    EXPECT_NEAR(m->ov_depth[1], 0.8 - v / 100.0, 1e-14);
  }
  {  // Out of a lake that holds less than the weir would pass.
    auto m = row_of_cells(2, {spot(1, 1, 2)});
    put_in_lake(*m, 1, 101.0, 0.5);
    run(*m, 60.0);
    EXPECT_EQ(m->lake_volume[1], 0.0);
    EXPECT_EQ(m->lake_out_dv[1], 0.5);
    EXPECT_DOUBLE_EQ(m->ov_depth[2], 0.005);
  }
}

TEST(LowSpots, AnOverlandLakeCellTradesWithItsLake) {
  auto m = row_of_cells(2, {spot(1, 1, 2)});
  m->overland_lakes_on = 1;
  m->overland_lake_records.assign(2, overland_lake_record());
  m->overland_lake_records[1].wse = 100.7;
  m->oland_lake_new = {0, 1, 0};
  m->ov_depth[1] = 0.1;  // the lake's level stands for the cell
  run(*m, 3.0);
  const double v = 3.0 * 1.48 * 0.5 * 10.0 * std::pow(0.5, 1.5);
  EXPECT_NEAR(m->overland_lake_records[1].added_volume, -v, 1e-12);
  EXPECT_EQ(m->ov_depth[1], 0.1);
  EXPECT_NEAR(m->ov_depth[2], v / 100.0, 1e-14);
}

TEST(LowSpots, TenLowSpotsWithoutBoundariesKeepTheirWater) {
  pluvo_test::grid_spec g;
  g.rows = 4;
  g.cols = 5;
  g.elevation = [](int r, int c) { return 100.0 + 0.03 * ((r * 7 + c * 3) % 5); };
  auto m = pluvo_test::make_overland_grid(g);
  m->lowspot_records = {lowspot_record(),   spot(1, 1, 2, 0.3, 100.2), spot(1, 2, 4, 1.0, 100.15),
                        spot(2, 2, 2, 0.5, 100.25), spot(2, 3, 4, 0.8, 100.12), spot(3, 3, 8, 0.2, 100.3),
                        spot(3, 2, 4, 1.5, 100.13), spot(4, 4, 1, 0.6, 100.2), spot(2, 5, 8, 0.4, 100.14),
                        spot(1, 4, 2, 0.9, 100.16), spot(4, 1, 2, 0.7, 100.18)};
  m->lowspot_count = 10;
  m->low_spot_flow_cell.assign(size_t(m->cell_count) + 1, 0);
  for (int i = 1; i <= m->cell_count; i++) m->ov_depth[size_t(i)] = 0.05 + 0.07 * ((i * 11) % 9);
  const double before = pluvo_test::stored_volume(*m);
  double moved = 0.0;
  for (int step = 0; step < 50; step++) {
    const double start = m->ov_depth[1];
    const exchange e = run(*m, 5.0);
    EXPECT_EQ(e.loss, 0.0);
    EXPECT_EQ(e.gain, 0.0);
    moved += std::fabs(m->ov_depth[1] - start);
  }
  EXPECT_GT(moved, 0.01);
  EXPECT_NEAR(pluvo_test::stored_volume(*m), before, 1e-12 * before);
  for (int i = 1; i <= m->cell_count; i++) EXPECT_GE(m->ov_depth[size_t(i)], 0.0);
}

// A project with a dike between the two upper-left cells of the strip and a low spot at the
// crest of the higher one: with either scheme the run goes on, water crosses, the summary lists
// both cells and the water balance closes.
TEST(LowSpots, AProjectSpillsOverItsLowSpotsWithEitherScheme) {
  for (const char* scheme : {"", "OVERTYPE 2\n"}) {
    pluvo_test::scratch_dir dir;
    pluvo_test::write_file("d.asc", std::string(pluvo_test::strip_header()) + "2 8 0\n0 0 0\n");
    pluvo_test::write_file("s.txt", "LOWSPOT\nSPOT 1 1 2 0.5 10.2\n");
    const pluvo_test::project_result r =
        pluvo_test::run_strip_project(std::string("DIKE_MAP d.asc\nLOWSPOT_FILE s.txt\n") + scheme);
    EXPECT_FALSE(r.stopped) << scheme << r.out;
    const std::string summary = pluvo_test::read_file("w.sum");
    EXPECT_NE(summary.find("Dike Overtopped in cell:  1 \nDike Overtopped in cell:  2 \n\n"), std::string::npos)
        << scheme << summary;
    const double percent = pluvo_test::number_after(summary, "mass conservation error:");
    EXPECT_LT(std::fabs(percent), 5e-7) << scheme;
  }
}

}  // namespace
}  // namespace pluvo
