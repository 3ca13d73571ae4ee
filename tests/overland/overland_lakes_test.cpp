#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/printed.hpp"
#include "overland/explicit_scheme.hpp"
#include "overland/overland_lakes.hpp"
#include "overland_fixture.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo::error_state;
using pluvo::model_state;
using pluvo::printed_by;
using pluvo_test::grid_spec;
using pluvo_test::make_overland_grid;

// Puts lake 1 on the given cells at level wse, as the lake set-up leaves it.
void set_lake(model_state& m, const std::vector<int>& cells, double wse, const std::vector<int>& later = {}) {
  m.overland_lakes_on = 1;
  m.overland_lake_count = 1;
  m.oland_lake_mask.assign(size_t(m.cell_count) + 1, 0);
  m.oland_lake_new.assign(size_t(m.cell_count) + 1, 0);
  m.overland_lake_records.assign(2, pluvo::overland_lake_record());
  pluvo::overland_lake_record& r = m.overland_lake_records[1];
  r.wse = r.initial_wse = wse;
  for (int c : cells) m.oland_lake_mask[size_t(c)] = m.oland_lake_new[size_t(c)] = 1;
  for (int c : later) m.oland_lake_new[size_t(c)] = 1;
  for (int c = 1; c <= m.cell_count; c++)
    if (m.oland_lake_new[size_t(c)] == 1) {
      r.lake_cell_count++;
      r.volume += (wse - m.elevation[size_t(c)]) * m.cell_size * m.cell_size;
    }
}

// Water over the ground of the lake's current cells.
double level_volume(const model_state& m) {
  double v = 0.0;
  for (int c = 1; c <= m.cell_count; c++)
    if (m.oland_lake_new[size_t(c)] == 1)
      v += (m.overland_lake_records[1].wse - m.elevation[size_t(c)]) * m.cell_size * m.cell_size;
  return v;
}

void add_to_lake(model_state& m, double dv) {
  m.overland_lake_records[1].added_volume = dv;
  m.olake_extent_update = 1;
  pluvo::update_overland_lake_extent(m);
}

// A 3 x 3 staircase of dry terraces around a lake cell of ground 0 at level 1: two terraces
// at 1.1 m, two at 1.3 m, the corners at 2 m (no face with the lake).
grid_spec terraces() {
  grid_spec g;
  g.rows = g.cols = 3;
  g.dx = 10.0;
  g.elevation = [](int r, int c) {
    if (r == 2 && c == 2) return 0.0;
    if (r == 2) return 1.1;
    if (c == 2) return 1.3;
    return 2.0;
  };
  return g;
}

TEST(OverlandLakeExtent, TakesTheTerracesLevelByLevel) {
  struct step_case {
    double dv;     // m3 into the lake
    double level;  // m, expected
    int cells;     // expected
  };
  // Cell area 100 m2: 10 m3 lifts the lake to the 1.1 m terraces, 60 m3 more to the 1.3 m ones.
  const step_case cases[] = {
      {5.0, 1.05, 1},           // below the first terrace: the lake simply rises
      {40.0, 1.1 + 0.1, 3},     // past 1.1: the two lower terraces join, the rest spreads over 3
      {100.0, 1.3 + 0.06, 5},   // past 1.3: all four join
      {1000.0, 1.3 + 1.86, 5},  // the corners have no face with the lake
      {1e-9, 1.0, 1},           // below the dead band nothing changes
  };
  for (const step_case& c : cases) {
    auto m = make_overland_grid(terraces());
    set_lake(*m, {5}, 1.0);
    add_to_lake(*m, c.dv);
    ASSERT_EQ(error_state.error_code, 0);
    const pluvo::overland_lake_record& r = m->overland_lake_records[1];
    EXPECT_NEAR(r.wse, c.level, 1e-12) << c.dv;
    EXPECT_EQ(r.lake_cell_count, c.cells) << c.dv;
    const bool moved = c.dv > 1e-6;
    EXPECT_NEAR(level_volume(*m), 100.0 + (moved ? c.dv : 0.0), 1e-9) << c.dv;
    EXPECT_NEAR(level_volume(*m), 100.0 + m->olake_added_volume - m->olake_drained_volume, 1e-9);
    EXPECT_NEAR(r.volume, level_volume(*m), 1e-9);
    EXPECT_EQ(r.added_volume, 0.0);
    EXPECT_EQ(m->olake_extent_update, 0);
    EXPECT_NEAR(m->olake_stored_volume, level_volume(*m), 1e-9);
  }
}

TEST(OverlandLakeExtent, PondedWaterOfTakenCellsStaysInTheBooks) {
  auto m = make_overland_grid(terraces());
  set_lake(*m, {5}, 1.0);
  m->ov_depth[4] = 0.05;  // a terrace at 1.1 m holding 5 m3
  m->ov_depth[2] = 0.02;  // a 1.3 m terrace, beyond the level reached
  double water = 100.0 + 5.0 + 2.0;
  add_to_lake(*m, 30.0);  // up to 1.3 m: both lower terraces
  water += 30.0;
  EXPECT_EQ(m->oland_lake_new[4], 1);
  EXPECT_EQ(m->oland_lake_new[6], 1);
  EXPECT_EQ(m->ov_depth[4], 0.0);
  EXPECT_EQ(m->oland_lake_new[2], 0);
  EXPECT_NEAR(m->overland_lake_records[1].wse, (1.0 + 0.3 + 1.1 + 1.15) / 3.0, 1e-12);
  EXPECT_NEAR(level_volume(*m) + (m->ov_depth[2] + m->ov_depth[6] + m->ov_depth[8]) * 100.0, water, 1e-9);
  EXPECT_NEAR(level_volume(*m), 100.0 + m->olake_added_volume, 1e-9);
}

// The lake has risen from 1.02 m over a terrace beyond its initial cell; it drains through a lower
// neighbour to the outlet, gives the terrace back and falls to its initial level, its outlet
// level, but not below it: the water under that level stays in the hollow.
TEST(OverlandLakeExtent, DrainingLakeGivesBackItsTerraceAndStopsAtItsOutletLevel) {
  grid_spec g;
  g.cols = 4;
  g.dx = 10.0;
  const double ground[] = {0.0, 1.1, 1.0, 0.5, 0.0};
  g.elevation = [&](int, int c) { return ground[c]; };
  g.outlet_col = 4;
  auto m = make_overland_grid(g);
  set_lake(*m, {2}, 1.2, {1});
  m->overland_lake_records[1].initial_wse = 1.02;
  m->ov_depth[3] = 0.02;
  const double area = 100.0;
  auto water = [&] { return level_volume(*m) + (m->ov_depth[3] + m->ov_depth[4]) * area; };
  const double start = water();
  double outlet = 0.0;
  for (int step = 0; step < 4000 && m->overland_lake_records[1].wse > 1.05; step++) {
    outlet += pluvo::route_overland_explicit(*m, 5.0);
    m->olake_extent_update = 1;
    pluvo::update_overland_lake_extent(*m);
    ASSERT_EQ(error_state.error_code, 0) << step;
    ASSERT_GE(m->overland_lake_records[1].wse, 1.02 - 1e-12) << step;
  }
  EXPECT_LT(m->overland_lake_records[1].wse, 1.05);
  EXPECT_EQ(m->oland_lake_new[1], 0);  // the terrace is dry ground again
  EXPECT_EQ(m->oland_lake_new[2], 1);  // the initial cell stays
  EXPECT_EQ(m->overland_lake_records[1].lake_cell_count, 1);
  EXPECT_GT(outlet, 0.0);
  EXPECT_NEAR(water() + outlet, start, 1e-9 * start);
  EXPECT_NEAR(level_volume(*m), 30.0 - m->olake_drained_volume + m->olake_added_volume, 1e-9);
}

// 25 cells: a candidate cap of an eighth of the grid would stop every growth here.
TEST(OverlandLakeExtent, LakeOnASmallGridGrows) {
  grid_spec g;
  g.rows = g.cols = 5;
  g.dx = 10.0;
  g.elevation = [](int r, int c) { return 0.1 * (std::abs(r - 3) + std::abs(c - 3)); };
  auto m = make_overland_grid(g);
  set_lake(*m, {13}, 0.05);
  for (int step = 0; step < 5; step++) add_to_lake(*m, 20.0);
  ASSERT_EQ(error_state.error_code, 0);
  EXPECT_GT(m->overland_lake_records[1].lake_cell_count, 5);
  EXPECT_NEAR(level_volume(*m), 5.0 + 100.0, 1e-9);
  // A level lake on a symmetric bowl: every ring is whole.
  for (int c = 1; c <= 25; c++) {
    if (m->elevation[size_t(c)] < m->overland_lake_records[1].wse - 0.0001) {
      EXPECT_EQ(m->oland_lake_new[size_t(c)], 1) << c;
    }
  }
}

TEST(OverlandLakeExtent, NotEnoughWaterToDrainStopsTheRun) {
  auto m = make_overland_grid(terraces());
  set_lake(*m, {5}, 1.0);
  const std::string out = printed_by([&] { add_to_lake(*m, -150.0); });
  EXPECT_EQ(out, "Not enough volume in lake 1 to satisfy drainage demand.\nProgram stopped in olake_extent.c\n\n");
  EXPECT_EQ(error_state.error_terminate, 1);
  error_state = pluvo::error_state_record();
}

TEST(OverlandLakeFile, CardWord) {
  char a[] = "  LaKe 1 2 3";
  EXPECT_EQ(pluvo::is_lake_card(a), 0);
  EXPECT_EQ(std::string(a), " 1 2 3");
  char b[] = "lakes 1";
  EXPECT_EQ(pluvo::is_lake_card(b), 1);
  char c[] = "";
  EXPECT_EQ(pluvo::is_lake_card(c), 1);
}

TEST(OverlandLakeFile, ReadsTheCardsOrStopsWithItsMessages) {
  struct file_case {
    const char* text;
    int kind;
    const char* printed;
  };
  const file_case cases[] = {
      {"PLUVO_OVERLAND_LAKE_FILE\nLAKE 2 10.5 7\nlake,1,9.25,3\n", 1,
       "1   Elev: 10.50   Volume: 7.00\n2   Elev: 9.25   Volume: 3.00\n"},
      {"pluvo_overland\nLAKE 1 9.25 3\nLAKE 2 10.5 7\n", 1,
       "1   Elev: 9.25   Volume: 3.00\n2   Elev: 10.50   Volume: 7.00\n"},
      {"LAKES\nLAKE 1 9 3\n", 1,
       "The overland lake input data file doesn't start with\n PLUVO_OVERLAND_LAKE_FILE card.\n"
       "The file format is invalid.  Program terminated.\n\n"},
      {"PLUVO_OVERLAND_LAKE_FILE\nLAKE 1 9 3\n", 2,
       "The overland lake input data file doesn't start with\n PLUVO_CHANNEL_LAKE_FILE card.\n"
       "The file format is invalid.  Program terminated.\n\n"},
      {"PLUVO_OVERLAND_LAKE_FILE\n", 1,
       "Premature end-of-file in the overland lake input data file.\nNo LAKE cards encountered before end of "
       "file.\nProgram terminated.\n\n"},
      {"PLUVO_CHANNEL_LAKE_FILE\nLAKE 1 9 3\nLAKE 1 9 3\nLAKE 2 9 3\n", 2,
       "1   Elev: 9.00   Volume: 3.00\n2   Elev: 9.00   Volume: 3.00\n3   Elev: 9.00   Volume: 3.00\n"
       "Incorrect number of LAKE cards in the channel lake input data file.\nExpected 2 LAKE cards, read 3\n"
       "Program terminated.\n\n"},
      {"PLUVO_OVERLAND_LAKE_FILE\nLAKE 3 9 3\n", 1,
       "Error: LAKE card 1 of the overland lake file lakes.txt names lake 3; the lake map has lakes 1 to 2.\n"
       "Program terminated.\n\n"},
  };
  pluvo_test::scratch_dir dir;
  for (const file_case& c : cases) {
    error_state = pluvo::error_state_record();
    pluvo_test::write_file("lakes.txt", c.text);
    pluvo::checked_file f;
    ASSERT_TRUE(pluvo::checked_file_open(f, "lakes.txt", 'r'));
    f.path = "lakes.txt";
    std::vector<pluvo::overland_lake_record> lakes(3);
    const std::string out = printed_by([&] { pluvo::read_lake_file(f, c.kind, 2, lakes); });
    pluvo::checked_file_close(f);
    EXPECT_EQ(out, c.printed) << c.text;
    const bool stops = std::string(c.printed).find("Program terminated") != std::string::npos;
    EXPECT_EQ(error_state.error_terminate, stops ? 1 : 0) << c.text;
    if (!stops) {
      EXPECT_EQ(lakes[2].wse, 10.5);
      EXPECT_EQ(lakes[2].initial_wse, 10.5);
      EXPECT_EQ(lakes[1].volume, 3.0);
    }
  }
  error_state = pluvo::error_state_record();
}

}  // namespace
