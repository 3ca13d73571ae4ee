#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/elevation_series.hpp"
#include "common/printed.hpp"
#include "common/time_series.hpp"
#include "overland/sources_sinks.hpp"
#include "overland_fixture.hpp"

namespace {

using pluvo_test::grid_spec;
using pluvo_test::make_overland_grid;
using pluvo_test::stored_volume;

constexpr double cubic_feet = 0.0283168466;

// Series of the test in the process-wide lists, released afterwards.
struct series_lists {
  series_lists() {
    pluvo_test::clear_error_state();
    pluvo::free_time_series();
    pluvo::free_elevation_series();
  }
  ~series_lists() {
    pluvo::free_time_series();
    pluvo::free_elevation_series();
    pluvo_test::clear_error_state();
  }
  // A series holding one value at every time, reached through its TIME_SERIES_INDEX id.
  void constant(int index, double value) {
    pluvo::time_series* s = pluvo::new_time_series();
    s->name = "series" + std::to_string(index);
    s->times = {0.0};
    s->values = {value};
    s->count = 1;
    pluvo::time_series_index_list.push_back({index, s});
  }
  // A rating curve through the origin: discharge = slope x head (m3/s per m).
  int line(const char* name, double slope) {
    pluvo::elevation_series* s = pluvo::new_elevation_series();
    s->name = name;
    s->x = {0.0, 10.0};
    s->y = {0.0, 10.0 * slope};
    s->count = 2;
    return int(pluvo::elevation_series_list.size()) - 1;
  }
};

// A flat grid of 10 m cells with its boundary arrays, every cell of type 0.
std::unique_ptr<pluvo::model_state> boundary_grid(int rows, int cols) {
  grid_spec g;
  g.rows = rows;
  g.cols = cols;
  g.outlet_row = g.outlet_col = 0;  // a closed box
  auto m = make_overland_grid(g);
  const size_t size = size_t(m->cell_count) + 1;
  m->ov_boundary_on = 1;
  m->boundary_type.assign(size, 0);
  m->ov_bound_input.assign(size, 0.0);
  m->ov_bound_value.assign(size, 0.0);
  m->ov_rating_curves.assign(size, -1);
  m->roughness_exp.assign(size, 0.0);
  m->ov_mann_exp.assign(size, 0.0);
  return m;
}

void set_boundary(pluvo::model_state& m, int cell, int type, double input) {
  m.boundary_type[size_t(cell)] = type;
  m.ov_bound_input[size_t(cell)] = input;
}

// One pass of the sources and sinks for a step of dt seconds.
void step_sources_sinks(pluvo::model_state& m, double dt) {
  pluvo_test::due_in(m, dt);
  pluvo::apply_overland_sources_sinks(m);
}

struct totals {
  double head_loss, head_gain, slope_loss, gain, loss, unmet;
};

totals totals_of(const pluvo::model_state& m) {
  return {m.ov_head_bound_loss,      m.ov_head_bound_gain,      m.ov_slope_bound_loss,
          m.ov_discharge_bound_gain, m.ov_discharge_bound_loss, m.ov_discharge_bound_unmet};
}

TEST(OverlandBoundaries, SingleCellsBookWhatCrossesTheirBoundary) {
  struct cell_case {
    const char* what;
    int type;
    double input;        // table value (type 1, 2) or the series value (types 3 to 5)
    double depth;        // before, m
    double ground;       // m
    double depth_after;  // m
    totals booked;       // m3
  };
  const double w = -0.2 / cubic_feet;  // cfs that take 2 cm from a 10 m cell in 10 s
  const cell_case cases[] = {
      {"type 4 withdrawal beyond the depth", 4, w, 0.005, 0.0, 0.0, {0, 0, 0, 0, 0.5, 1.5}},
      {"type 5 withdrawal within the depth", 5, -0.05, 0.01, 0.0, 0.005, {0, 0, 0, 0, 0.5, 0}},
      {"type 5 inflow", 5, 0.1, 0.0, 0.0, 0.01, {0, 0, 0, 1.0, 0, 0}},
      {"type 4 inflow of 0", 4, 0.0, 0.01, 0.0, 0.01, {0, 0, 0, 0, 0, 0}},
      {"type 2 stage below the ground", 2, 9.5, 0.02, 10.0, 0.0, {2.0, 0, 0, 0, 0, 0}},
      {"type 2 stage above the water", 2, 10.05, 0.02, 10.0, 0.05, {0, 3.0, 0, 0, 0, 0}},
      {"type 3 stage below the ground", 3, 9.5, 0.02, 10.0, 0.0, {2.0, 0, 0, 0, 0, 0}},
  };
  for (const cell_case& c : cases) {
    series_lists lists;
    lists.constant(1, c.input);
    auto m = boundary_grid(3, 3);
    set_boundary(*m, 5, c.type, c.type <= 2 ? c.input : 1.0);
    m->elevation[5] = c.ground;
    m->ov_depth[5] = c.depth;
    step_sources_sinks(*m, 10.0);
    EXPECT_EQ(pluvo::error_state.error_code, 0) << c.what;
    EXPECT_NEAR(m->ov_depth[5], c.depth_after, 1e-15) << c.what;
    const totals t = totals_of(*m);
    EXPECT_NEAR(t.head_loss, c.booked.head_loss, 1e-12) << c.what;
    EXPECT_NEAR(t.head_gain, c.booked.head_gain, 1e-12) << c.what;
    EXPECT_NEAR(t.gain, c.booked.gain, 1e-12) << c.what;
    EXPECT_NEAR(t.loss, c.booked.loss, 1e-12) << c.what;
    EXPECT_NEAR(t.unmet, c.booked.unmet, 1e-12) << c.what;
    EXPECT_EQ(t.slope_loss, 0.0) << c.what;
  }
}

TEST(OverlandBoundaries, SlopeOutflowLeavesThroughEveryOpenFace) {
  series_lists lists;
  auto m = boundary_grid(3, 3);
  const double slope = 0.01, h = 0.01, dt = 10.0;
  for (int cell : {1, 2, 3, 5}) set_boundary(*m, cell, 1, slope);
  m->ov_depth[1] = 0.1;  // its two open faces would take more than it holds
  m->ov_depth[2] = m->ov_depth[5] = h;
  m->ov_depth[3] = 0.03;  // shallow enough for its two open faces to leave some
  step_sources_sinks(*m, dt);
  const double k = std::sqrt(slope) * 10.0 / 0.03 * dt / 100.0;
  const double one_face = k * std::pow(h, 1.666667), corner = 2.0 * k * std::pow(0.03, 1.666667);
  EXPECT_EQ(m->ov_depth[5], h);  // no open face
  EXPECT_NEAR(m->ov_depth[2], h - one_face, 1e-15);
  EXPECT_EQ(m->ov_depth[1], 0.0);
  EXPECT_NEAR(m->ov_depth[3], 0.03 - corner, 1e-15);
  EXPECT_NEAR(m->ov_slope_bound_loss, (0.1 + one_face + corner) * 100.0, 1e-12);
}

TEST(OverlandBoundaries, SlopeOutflowOfALakeCellTakesAtMostTheLake) {
  struct lake_case {
    double surface, volume, taken;
  };
  const double rate = std::sqrt(0.04) * 10.0 / 0.03 * 10.0 * 2.0;  // m3 per m^(5/3), two open faces
  const lake_case cases[] = {
      {9.0, 50.0, 0.0},                                     // the lake lies below the ground
      {10.0, 50.0, 0.0},                                    // at the ground
      {10.5, 1e6, rate * std::pow(0.5, 1.666667)},          // the outflow of both faces
      {10.5, 20.0, 20.0},                                   // no more than the lake holds
  };
  for (const lake_case& c : cases) {
    series_lists lists;
    auto m = boundary_grid(3, 3);
    set_boundary(*m, 1, 1, 0.04);
    m->elevation[1] = 10.0;
    m->lakes_on = 1;
    m->nlakes = 1;
    m->lake_mask.assign(10, 0);
    m->lake_mask[1] = 1;
    m->lake_elev = {0.0, c.surface};
    m->lake_volume = {0.0, c.volume};
    m->lake_in_dv = m->lake_out_dv = {0.0, 0.0};
    step_sources_sinks(*m, 10.0);
    EXPECT_NEAR(m->ov_slope_bound_loss, c.taken, 1e-9) << c.surface;
    EXPECT_NEAR(m->lake_volume[1], c.volume - c.taken, 1e-9) << c.surface;
    EXPECT_NEAR(m->lake_out_dv[1], c.taken, 1e-9) << c.surface;
    EXPECT_GE(m->lake_volume[1], 0.0);
  }
}

TEST(OverlandBoundaries, StagesLeaveChannelLakeCellsAlone) {
  for (int type : {2, 3}) {
    series_lists lists;
    lists.constant(1, 12.0);
    auto m = boundary_grid(3, 3);
    set_boundary(*m, 5, type, type == 2 ? 12.0 : 1.0);
    m->lakes_on = 1;
    m->nlakes = 1;
    m->lake_mask.assign(10, 0);
    m->lake_mask[5] = 1;
    m->lake_elev = {0.0, 0.3};
    m->lake_volume = {0.0, 30.0};
    m->lake_in_dv = m->lake_out_dv = {0.0, 0.0};
    m->ov_depth[5] = 0.3;
    step_sources_sinks(*m, 10.0);
    EXPECT_EQ(m->ov_depth[5], 0.3) << type;
    EXPECT_EQ(m->lake_volume[1], 30.0) << type;
    EXPECT_EQ(m->ov_head_bound_gain, 0.0) << type;
  }
}

TEST(OverlandBoundaries, RatingCurvesMoveWaterOnlyAcrossAHead) {
  struct exchange_case {
    const char* what;
    int type;
    double own_depth, own_ground, other_depth, other_ground;
    int other_type;
    double curve;  // m3/s per m of head: at 1, a head of 0.1 m moves 1 cm in 10 s
    double moved;  // m of depth from the boundary cell to its neighbour
  };
  const exchange_case cases[] = {
      {"type 6 with equal surfaces", 6, 0.1, 0.0, 0.05, 0.05, 99, 1.0, 0.0},
      {"type 6 toward the lower surface", 6, 0.1, 0.0, 0.0, 0.0, 99, 1.0, 0.01},
      {"type 6 from the higher neighbour", 6, 0.0, 0.0, 0.1, 0.0, 99, 1.0, -0.01},
      {"type 6 at most the head", 6, 0.004, 0.0, 0.0, 0.0, 99, 100.0, 0.004},
      {"type 6 beside a cell that is not of type 99", 6, 0.1, 0.0, 0.0, 0.0, 0, 1.0, 0.0},
      {"type 7 by its own depth", 7, 0.1, 0.0, 0.2, 0.0, 99, 1.0, 0.01},
      {"type 7 at most its depth", 7, 0.004, 0.0, 0.2, 0.0, 99, 100.0, 0.004},
      {"type 7 when dry", 7, 0.0, 0.0, 0.2, 0.0, 99, 1.0, 0.0},
  };
  for (const exchange_case& c : cases) {
    series_lists lists;
    auto m = boundary_grid(1, 2);
    set_boundary(*m, 1, c.type, 0.0);
    m->boundary_type[2] = c.other_type;
    m->ov_rating_curves[1] = lists.line("curve", c.curve);
    m->ov_depth[1] = c.own_depth;
    m->elevation[1] = c.own_ground;
    m->ov_depth[2] = c.other_depth;
    m->elevation[2] = c.other_ground;
    step_sources_sinks(*m, 10.0);
    EXPECT_EQ(pluvo::error_state.error_code, 0) << c.what;
    EXPECT_NEAR(m->ov_depth[1], c.own_depth - c.moved, 1e-15) << c.what;
    EXPECT_NEAR(m->ov_depth[2], c.other_depth + c.moved, 1e-15) << c.what;
    const totals t = totals_of(*m);
    EXPECT_EQ(t.head_loss + t.head_gain + t.slope_loss + t.gain + t.loss + t.unmet, 0.0) << c.what;
  }
}

TEST(OverlandBoundaries, ARatingCellWithoutItsCurveStopsTheRun) {
  series_lists lists;
  auto m = boundary_grid(1, 2);
  set_boundary(*m, 1, 7, 0.0);
  m->boundary_type[2] = 99;
  m->ov_depth[1] = 0.1;
  const std::string out = pluvo::printed_by([&] { step_sources_sinks(*m, 10.0); });
  EXPECT_EQ(out, "Error: attempting to extract a value from an elevation series that does not exist.\n\n");
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
}

TEST(OverlandPumps, EmptyTheirCellExactlyAndBookWhatTheyMove) {
  series_lists lists;
  const int big = lists.line("big", 100.0);
  pluvo::time_series* back = pluvo::new_time_series();
  back->times = {0.0};
  back->values = {-0.3};
  back->count = 1;
  auto m = boundary_grid(1, 3);
  m->ov_boundary_on = 0;
  m->ov_pump_flag = 1;
  m->ov_depth = {0.0, 0.0123, 0.2, 0.0};
  pluvo::pump_record empties;
  empties.cell = 1;
  empties.elevation_series = big;
  pluvo::pump_record adds;
  adds.cell = 3;
  adds.flow_type = 1;
  adds.series = back;
  m->ov_pumps = {empties, adds};
  step_sources_sinks(*m, 10.0);
  EXPECT_EQ(m->ov_depth[1], 0.0);
  EXPECT_NEAR(m->ov_depth[3], 0.03, 1e-15);  // a negative rate adds water
  EXPECT_NEAR(m->ov_discharge_bound_loss, 1.23, 1e-12);
  EXPECT_NEAR(m->ov_discharge_bound_gain, 3.0, 1e-12);
}

TEST(OverlandPointSources, AHeldCellKeepsItsDepthAndTheBoundaryTakesTheWater) {
  auto m = boundary_grid(1, 3);
  m->boundary_type[2] = 2;
  m->ov_con_trans_on = 1;
  m->ov_point_source_on = 1;
  m->ov_point_source_flow = {0.0, 0.01, 0.02, 0.0};
  m->ov_depth = {0.0, 0.001, 0.05, 0.0};
  pluvo_test::due_in(*m, 10.0);
  m->ov_con_last_time = m->step_last_time;
  m->ov_con_next_time = m->cur_julian;
  pluvo::apply_cell_inflows(*m);
  EXPECT_NEAR(m->ov_depth[1], 0.002, 1e-15);
  EXPECT_EQ(m->ov_depth[2], 0.05);
  EXPECT_NEAR(m->ov_head_bound_loss, 0.2, 1e-12);
  EXPECT_NEAR(m->ov_point_source_volume, 0.3, 1e-12);
  EXPECT_NEAR(m->ov_point_source_total, 0.3, 1e-12);

  m->ov_con_trans_on = 0;  // without overland transport the sources wait
  pluvo::apply_cell_inflows(*m);
  EXPECT_NEAR(m->ov_point_source_total, 0.3, 1e-12);
}

// A box of 3 x 4 cells with no outlet: one cell of every boundary type and a pump. Whatever the
// scheme moves, the storage changes by the boundary gains less the losses.
double closed_box_imbalance(int scheme, int threads) {
  pluvo_test::thread_count_guard guard(threads);
  series_lists lists;
  lists.constant(3, 0.08);   // type 3 stage
  lists.constant(4, -50.0);  // type 4 withdrawal, cfs: more than the cell can give
  lists.constant(5, 0.02);   // type 5 inflow, m3/s
  const int curve = lists.line("curve", 0.5);
  pluvo::time_series* pumped = pluvo::new_time_series();
  pumped->times = {0.0};
  pumped->values = {0.01};
  pumped->count = 1;
  auto m = boundary_grid(3, 4);
  m->overland_scheme = scheme;
  for (int i = 1; i <= m->cell_count; i++) {
    m->elevation[size_t(i)] = 0.01 * ((i - 1) % 4) + 0.02 * ((i - 1) / 4);
    m->ov_depth[size_t(i)] = 0.03;
  }
  // row 1: slope, fixed stage, series stage, series cfs; row 2: m3/s, two-way, 99, one-way;
  // row 3: pumped, 99, plain, 99.
  set_boundary(*m, 1, 1, 0.02);
  set_boundary(*m, 2, 2, 0.025);  // below the first surface: the first step loses, later ones gain
  set_boundary(*m, 3, 3, 3.0);
  set_boundary(*m, 4, 4, 4.0);
  set_boundary(*m, 5, 5, 5.0);
  set_boundary(*m, 6, 6, 0.0);
  set_boundary(*m, 8, 7, 0.0);
  for (int cell : {7, 10, 12}) m->boundary_type[size_t(cell)] = 99;
  m->ov_rating_curves[6] = m->ov_rating_curves[8] = curve;
  pluvo::pump_record pump;
  pump.cell = 9;
  pump.flow_type = 1;
  pump.series = pumped;
  m->ov_pumps = {pump};
  m->ov_pump_flag = 1;
  const double start = stored_volume(*m);
  for (int step = 0; step < 60; step++) {
    step_sources_sinks(*m, 5.0);
    pluvo::route_overland_step(*m);
    if (pluvo::error_state.error_code != 0) return NAN;
  }
  const totals t = totals_of(*m);
  EXPECT_GT(t.head_loss, 0.0);
  EXPECT_GT(t.head_gain, 0.0);
  EXPECT_GT(t.slope_loss, 0.0);
  EXPECT_GT(t.gain, 0.0);
  EXPECT_GT(t.loss, 0.0);
  EXPECT_GT(t.unmet, 0.0);  // the pump and the type 4 cell ran dry
  const double change = stored_volume(*m) - start;
  const double booked = t.head_gain - t.head_loss + t.gain - t.loss - t.slope_loss - m->total_discharge_volume +
                        m->ov_cleanup_volume;
  return std::fabs(change - booked) / (t.gain + t.loss + t.head_gain + t.head_loss + t.slope_loss);
}

TEST(OverlandBoundaries, AClosedBoxWithEveryTypeAndAPumpClosesItsBalance) {
  for (int scheme = 1; scheme <= 3; scheme++) {
    const double one = closed_box_imbalance(scheme, 1);
    EXPECT_LT(one, 1e-12) << "scheme " << scheme;
    EXPECT_EQ(one, closed_box_imbalance(scheme, 8)) << "scheme " << scheme;
  }
}

}  // namespace
