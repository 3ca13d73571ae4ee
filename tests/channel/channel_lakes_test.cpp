#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel_lakes.hpp"
#include "channel/channel_phases.hpp"
#include "channel/channel_routines.hpp"
#include "channel/channel_services.hpp"
#include "channel/strip_channel.hpp"
#include "common/printed.hpp"
#include "overland/overland_fixture.hpp"
#include "overland/sources_sinks.hpp"
#include "run/whole_project.hpp"
#include "record/model_state.hpp"

namespace {

using pluvo::error_state;
using pluvo::model_state;
using pluvo::printed_by;

// A row of cells of 100 m2 with the given grounds; each lake lists its cells (columns of row 1)
// in the order it takes them and starts on the first `cells` of them at level `level`.
struct lake_spec {
  std::vector<int> listed;
  int cells;
  double level;
};

std::unique_ptr<model_state> lake_row(const std::vector<double>& ground, const std::vector<lake_spec>& lakes) {
  pluvo_test::grid_spec g;
  g.cols = int(ground.size());
  g.dx = 10.0;
  g.elevation = [&](int, int c) { return ground[size_t(c - 1)]; };
  auto m = pluvo_test::make_overland_grid(g);
  const size_t n = lakes.size() + 2;
  m->lakes_on = 1;
  m->nlakes = int(lakes.size());
  m->lake_mask.assign(size_t(m->cell_count) + 1, 0);
  m->new_flooded_grid.assign(size_t(m->cell_count) + 1, 0);
  for (auto* v : {&m->lake_elev, &m->lake_volume, &m->prevlake_volume, &m->lake_area, &m->cumulative_lake_evap,
                  &m->lake_in_dv, &m->lake_out_dv})
    v->assign(n, 0.0);
  for (auto* v : {&m->lake_cells, &m->numpts, &m->yes_static_lake, &m->yes_defined_curve_lake, &m->numrate})
    v->assign(n, 0);
  m->lake_search.assign(n, {});
  m->lake_rate_elev.assign(n, {});
  m->lake_rate_area.assign(n, {});
  m->lake_rate_volume.assign(n, {});
  for (size_t l = 1; l <= lakes.size(); l++) {
    const lake_spec& s = lakes[l - 1];
    m->lake_search[l].assign(1, {});
    for (int col : s.listed) m->lake_search[l].push_back({1, col});
    m->numpts[l] = int(s.listed.size());
    double volume = 0.0;
    for (int p = 0; p < s.cells; p++) {
      const int c = s.listed[size_t(p)];
      m->lake_mask[size_t(c)] = int(l);
      volume += (s.level - m->elevation[size_t(c)]) * 100.0;
    }
    m->lake_cells[l] = s.cells;
    m->lake_elev[l] = s.level;
    m->lake_area[l] = s.cells * 100.0;
    m->lake_volume[l] = m->prevlake_volume[l] = volume;
  }
  return m;
}

double water(const model_state& m) {
  double v = 0.0;
  for (int l = 1; l <= m.nlakes; l++) v += m.lake_volume[size_t(l)];
  for (int c = 1; c <= m.cell_count; c++) v += m.ov_depth[size_t(c)] * 100.0;
  return v;
}

const std::vector<double> steps = {0.0, 0.5, 0.8, 1.0, 1.4};

TEST(ChannelLakeExtent, GrowthWalkWithoutACurve) {
  struct walk_case {
    double dv;      // m3 into the lake since the last update
    double ponded;  // m on cell 2 before the update
    double level;   // m, expected
    int cells;
    const char* printed;
  };
  const walk_case cases[] = {
      {10.0, 0.0, 0.3, 1, ""},  // short of the next cell's ground by more than 1e-7 m
      {60.0, 0.0, 0.65, 2, ""},
      {60.0, 0.1, 0.7, 2, "Lake 1 is taking cell 2 with depth 0.100000\n"},  // its water joins the lake
      {200.0, 0.0, 1.125, 4, ""},
      {1000.0, 0.0, 2.78, 5,
       "Warning: Lake #1 has reached your specified maximum areal extent\n"
       "This likely means you should increase the maximum water surface elevation\n"
       "The last grid cell coordinates defined in your input file are: [1][5] \n"},
  };
  for (const walk_case& c : cases) {
    auto m = lake_row(steps, {{{1, 2, 3, 4, 5}, 1, 0.2}});
    m->ov_depth[2] = c.ponded;
    m->lake_volume[1] += c.dv;
    const double before = water(*m);
    const std::string out = printed_by([&] { pluvo::update_lake_extent(*m); });
    EXPECT_EQ(out, c.printed) << c.dv;
    EXPECT_NEAR(m->lake_elev[1], c.level, 1e-12) << c.dv;
    EXPECT_EQ(m->lake_cells[1], c.cells) << c.dv;
    EXPECT_DOUBLE_EQ(m->lake_area[1], c.cells * 100.0);
    EXPECT_NEAR(water(*m), before, 1e-9) << c.dv;
    EXPECT_EQ(m->prevlake_volume[1], m->lake_volume[1]);
    for (int cell = 2; cell <= c.cells; cell++) EXPECT_EQ(m->new_flooded_grid[size_t(cell)], 1);
    EXPECT_EQ(m->ov_depth[2], c.cells >= 2 ? 0.0 : c.ponded);
    // Level-based volume of the lake's cells: what the lake holds.
    double level_volume = 0.0;
    for (int cell = 1; cell <= 5; cell++)
      if (m->lake_mask[size_t(cell)] == 1) level_volume += (m->lake_elev[1] - steps[size_t(cell - 1)]) * 100.0;
    EXPECT_NEAR(level_volume, m->lake_volume[1], 1e-9) << c.dv;
  }
}

TEST(ChannelLakeExtent, ShrinkWalkGivesCellsBackFromTheLast) {
  auto m = lake_row(steps, {{{1, 2, 3, 4, 5}, 3, 0.9}});
  m->lake_volume[1] -= 100.0;
  const std::string out = printed_by([&] { pluvo::update_lake_extent(*m); });
  EXPECT_EQ(out, "Removing cell 3 from lake 1\nRemoving cell 2 from lake 1\n");
  EXPECT_NEAR(m->lake_elev[1], 0.4, 1e-12);
  EXPECT_EQ(m->lake_cells[1], 1);
  EXPECT_EQ(m->new_flooded_grid[3], -1);
  EXPECT_EQ(m->lake_mask[2], 0);
}

TEST(ChannelLakeExtent, RatingCurveLakeTakesAndGivesByItsCurve) {
  const std::vector<double> ground = {0.0, 0.5, 0.8, 1.0, 1.6};
  struct curve_case {
    double volume;  // m3 after the routing
    double level, area;
    std::vector<int> mask;  // cells 1..5
    const char* printed;
  };
  const curve_case cases[] = {
      {250.0, 1.5, 250.0, {1, 1, 1, 1, 0}, ""},
      {50.0, 0.5, 100.0, {1, 1, 0, 0, 0}, "Removing cell 3 from lake 1\nRemoving cell 4 from lake 1\n"},
  };
  const auto rated_lake = [&](double volume) {
    auto m = lake_row(ground, {{{1, 2, 3, 4, 5}, 4, 1.2}});
    m->yes_defined_curve_lake[1] = 1;
    m->numrate[1] = 3;
    m->lake_rate_volume[1] = {0.0, 0.0, 100.0, 400.0};
    m->lake_rate_elev[1] = {0.0, 0.0, 1.0, 2.0};
    m->lake_rate_area[1] = {0.0, 0.0, 200.0, 300.0};
    m->lake_volume[1] = m->prevlake_volume[1] = 200.0;
    m->lake_volume[1] = volume;
    return m;
  };
  for (const curve_case& c : cases) {
    auto m = rated_lake(c.volume);
    const std::string out = printed_by([&] { pluvo::update_lake_extent(*m); });
    EXPECT_EQ(out, c.printed) << c.volume;
    EXPECT_DOUBLE_EQ(m->lake_elev[1], c.level);
    EXPECT_DOUBLE_EQ(m->lake_area[1], c.area);
    for (int cell = 1; cell <= 5; cell++) EXPECT_EQ(m->lake_mask[size_t(cell)], c.mask[size_t(cell - 1)]) << cell;
  }
  // Beyond its table (or not a number) the lake has no level: the run stops naming the file
  // and the lake, and the lake is left as it was.
  for (const double volume : {500.0, -1.0, std::nan("")}) {
    error_state = pluvo::error_state_record();
    auto m = rated_lake(volume);
    m->channel_input_path = "lake.chn";
    const std::string out = printed_by([&] { pluvo::update_lake_extent(*m); });
    char expected[256];
    std::snprintf(expected, sizeof expected,
                  "Error: lake 1 of the channel input file lake.chn holds %g m3, outside the volumes 0..400 of its "
                  "rating curve (NUMRATE 3); the curve must cover every volume the lake reaches.\n\n",
                  volume);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(error_state.error_terminate, 1) << volume;
    EXPECT_DOUBLE_EQ(m->lake_elev[1], 1.2);
    EXPECT_EQ(m->lake_cells[1], 4);
  }
  error_state = pluvo::error_state_record();
  // A static lake keeps its cells whatever its level.
  auto m = lake_row(ground, {{{1, 2, 3, 4, 5}, 4, 1.2}});
  m->yes_defined_curve_lake[1] = m->yes_static_lake[1] = 1;
  m->numrate[1] = 3;
  m->lake_rate_volume[1] = {0.0, 0.0, 100.0, 400.0};
  m->lake_rate_elev[1] = {0.0, 0.0, 1.0, 2.0};
  m->lake_rate_area[1] = {0.0, 0.0, 200.0, 300.0};
  m->lake_volume[1] = 10.0;
  pluvo::update_lake_extent(*m);
  EXPECT_EQ(m->lake_cells[1], 4);
  EXPECT_DOUBLE_EQ(m->lake_elev[1], 0.1);
}

// Two lakes reach for the free cell between them: the first in lake order takes it; a second
// that reaches it too meets the merge stop. Any thread count gives the same.
TEST(ChannelLakeExtent, TwoLakesAndOneFreeCellOnAnyThreadCount) {
  for (const double second_gain : {5.0, 80.0}) {
    std::vector<std::vector<int>> masks;
    std::vector<std::string> outs;
    for (const int threads : {1, 8}) {
      omp_set_num_threads(threads);
      error_state = pluvo::error_state_record();
      auto m = lake_row({0.0, 0.3, 0.0}, {{{1, 2}, 1, 0.2}, {{3, 2}, 1, 0.2}});
      m->lake_volume[1] += 80.0;
      m->lake_volume[2] += second_gain;
      outs.push_back(printed_by([&] { pluvo::update_lake_extent(*m); }));
      masks.push_back(m->lake_mask);
      EXPECT_EQ(m->lake_mask[2], 1);
      EXPECT_EQ(error_state.error_terminate, second_gain > 10.0 ? 1 : 0);
    }
    omp_set_num_threads(omp_get_num_procs());
    EXPECT_EQ(masks[0], masks[1]);
    EXPECT_EQ(outs[0], outs[1]);
    if (second_gain > 10.0) {
      // Lake 1 has taken its last listed cell first.
      EXPECT_EQ(outs[0], "Warning: Lake #1 has reached your specified maximum areal extent\n"
                         "This likely means you should increase the maximum water surface elevation\n"
                         "The last grid cell coordinates defined in your input file are: [1][2] \n"
                         "Your lake has potentially merged with another lake.....\n"
                         "Current PLUVO formulation is not up for this. Will be soon.\nPLUVO Terminating.\n\n");
    }
  }
  error_state = pluvo::error_state_record();
}

// A flooded cell becomes type 7 while under the lake and gets its own type back after; the
// boundary step runs over it without the rating scratch of a map that had no type 6 or 7.
TEST(ChannelLakeExtent, FloodedCellTakesType7AndGivesItBack) {
  auto m = lake_row(steps, {{{1, 2, 3}, 1, 0.2}});
  m->ov_boundary_on = 1;
  m->boundary_type = {0, 0, 99, 1, 0, 0};
  m->ov_bound_value.assign(6, 0.0);
  m->ov_bound_input.assign(6, 0.0);
  m->lake_volume[1] += 60.0;
  printed_by([&] { pluvo::update_lake_extent(*m); });
  EXPECT_EQ(m->boundary_type[2], 7);
  printed_by([&] { pluvo::apply_overland_boundary_conditions(*m, 10.0); });
  EXPECT_EQ(error_state.error_code, 0);
  m->lake_volume[1] -= 60.0;
  printed_by([&] { pluvo::update_lake_extent(*m); });
  EXPECT_EQ(m->lake_mask[2], 0);
  EXPECT_EQ(m->boundary_type[2], 99);
}

TEST(ChannelLakeEvaporation, NeverBelowEmptyAndEveryDropCounted) {
  auto m = lake_row({0.0, 0.5, 0.0}, {{{1}, 1, 0.001}, {{3}, 1, 0.5}});
  const double start[] = {0.0, m->lake_volume[1], m->lake_volume[2]};
  printed_by([&] {
    for (int hour = 0; hour < 48; hour++) pluvo::compute_lake_evaporation(*m, 6.0, 30.0, 20.0);
  });
  EXPECT_EQ(m->lake_volume[1], 0.0);
  EXPECT_GT(m->lake_volume[2], 0.0);
  for (int l = 1; l <= 2; l++)
    EXPECT_NEAR(m->cumulative_lake_evap[size_t(l)] + m->lake_volume[size_t(l)], start[l], 1e-12) << l;
  EXPECT_NEAR(m->lake_evap_volume, m->cumulative_lake_evap[1] + m->cumulative_lake_evap[2], 1e-12);
  // One hour on a one-hectare lake, by hand.
  auto one = lake_row({0.0}, {{{1}, 1, 10.0}});
  one->lake_area[1] = 1e4;
  pluvo::compute_lake_evaporation(*one, 6.0, 30.0, 20.0);
  const double e = 0.000169 * std::pow(0.01, -0.05) * 6.0 * 86.4 * 0.8 * 6.11 * std::exp(17.3 * 30.0 / 303.3) /
                   24.0 * 1e4 / 100.0;
  EXPECT_NEAR(one->cumulative_lake_evap[1], e, 1e-12);
}

}  // namespace

namespace {

const char* const lake_network = pluvo_test::strip_lake_network;
const char* const lake_stream = pluvo_test::strip_lake_stream;

// The lake as the channel reader sets it up takes the next listed cell once its water reaches it,
// with that cell's ponded water.
TEST(ChannelLakeExtent, LakeReadFromTheChannelFileGrows) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_strip_grid();
  pluvo_test::write_file("c.chn", lake_network);
  pluvo_test::write_file("c.stm", lake_stream);
  pluvo_test::write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() +
                                      "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\n");
  int cells_before = 0, cells_after = 0;
  double level = 0.0, held_before = 0.0, held_after = 0.0;
  const pluvo_test::set_up_result r = pluvo_test::set_up_past_refusal("w.prj", [&](model_state& m) {
    const int west = m.cell_number_grid(2, 1);
    cells_before = m.lake_cells[1];
    m.ov_depth[size_t(west)] = 0.02;
    m.lake_volume[1] += 20.0;  // 0.2 m over the one cell: past 10.2 m
    held_before = m.lake_volume[1] + m.ov_depth[size_t(west)] * 100.0;
    pluvo::update_lake_extent(m);
    cells_after = m.lake_cells[1];
    level = m.lake_elev[1];
    held_after = m.lake_volume[1] + m.ov_depth[size_t(west)] * 100.0;
  });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_EQ(cells_before, 1);
  EXPECT_EQ(cells_after, 2);
  // 5 m3 lift the lake to 10.2 m; the other 15 m3 and the cell's 2 m3 spread over two cells.
  EXPECT_NEAR(level, 10.2 + 17.0 / 200.0, 1e-9);
  EXPECT_NEAR(held_after, held_before, 1e-9);
}

// The lake of that network in a bowl on a basin big enough for a thread team, fed through its
// upstream link for ten minutes: it rises past 10.2 m and floods (2, 1) with that cell's ponded
// water, then drains over the weir and gives the cell back. Every drop is booked: the event, the
// run and the lake's own account close, the same on 1 and 8 threads.
TEST(ChannelLakeExtent, ALakeFloodsACellAndGivesItBack) {
  std::string network = lake_network;
  const std::string head = "NODE 1\nELEV 10.2\n";
  network.insert(network.find(head) + head.size(), "POINTSOURCE flood\n");
  std::string written[2];
  for (const int threads : {1, 8}) {
    pluvo_test::scratch_dir dir;
    pluvo_test::write_file("c.chn", network);
    pluvo_test::write_file("c.stm", lake_stream);
    pluvo_test::write_file("c.ts", "PLUVO_TS\nflood\nABSOLUTE\n2020 6 1 10 0 0.3\n2020 6 1 10 10 0.3\n"
                                   "2020 6 1 10 11 0.0\n2020 6 2 0 0 0.0\nEND_TS\n");
    // (1, 2) and (2, 3) stand above the lake: it spills over the weir or onto (1, 1) only.
    const std::string cards = pluvo_test::write_corner_basin(64, {10.2, 10.3, 10.0, 10.2, 10.1, 10.3});
    std::vector<int> flooded;  // the lake of cell (2, 1) whenever it changes
    double lowest = 1e300;
    pluvo::set_phase_observer([&](const char*, int, model_state& m) {
      if (!m.lakes_on || m.lake_mask.size() <= 65) return;
      lowest = std::min(lowest, m.lake_volume[1]);
      if (flooded.empty() || flooded.back() != m.lake_mask[65]) flooded.push_back(m.lake_mask[65]);
    });
    const pluvo_test::project_result r = pluvo_test::run_project_cards(
        cards + "TIME_SERIES_FILE c.ts\nCHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\n"
                "LAKE_OUTPUT w.lak\n",
        threads);
    pluvo::set_phase_observer(nullptr);
    ASSERT_FALSE(r.stopped) << r.out;
    EXPECT_EQ(flooded, (std::vector<int>{0, 1, 0})) << r.out;
    const size_t taken = r.out.find("Lake 1 is taking cell 65 with depth");
    EXPECT_NE(taken, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Removing cell 65 from lake 1\n", taken), std::string::npos) << r.out;
    EXPECT_GE(lowest, 0.0);
    const std::string summary = pluvo_test::read_file("w.sum");
    EXPECT_LT(std::fabs(pluvo_test::number_after(summary, "mass conservation error:")), 5e-7) << summary;
    EXPECT_LT(std::fabs(pluvo_test::number_after(summary, "Overall mass balance error =")), 5e-7) << summary;
    EXPECT_LT(std::fabs(pluvo_test::number_after(summary, "Perennial lake mass bal error m^3=")), 0.005) << summary;
    written[threads == 1 ? 0 : 1] = summary + pluvo_test::read_file("w.hyd") + pluvo_test::read_file("w.lak");
  }
  EXPECT_EQ(written[0], written[1]);
}

}  // namespace

namespace {

// The end of an event brings the extents up to the lakes' water and books what the lakes took
// from and gave to the land; between events (event_ended clear) it does nothing.
TEST(ChannelLakeExtent, EndOfEventUpdatesAndBooks) {
  for (const int ended : {0, 1}) {
    auto m = lake_row(steps, {{{1, 2, 3}, 1, 0.2}});
    m->event_ended = ended;
    m->lake_volume[1] += 60.0;
    m->lake_in_dv[1] = 70.0;
    m->lake_out_dv[1] = 10.0;
    printed_by([&] { pluvo::close_lakes_at_event_end(*m); });
    EXPECT_EQ(m->lake_cells[1], ended ? 2 : 1);
    EXPECT_EQ(m->lake_rain_volume, ended ? 70.0 : 0.0);
    EXPECT_EQ(m->lake_outflow_volume, ended ? 10.0 : 0.0);
    EXPECT_EQ(m->ov_to_lake_volume, ended ? 70.0 : 0.0);
    EXPECT_EQ(m->lake_in_dv[1], ended ? 0.0 : 70.0);
  }
}

}  // namespace
