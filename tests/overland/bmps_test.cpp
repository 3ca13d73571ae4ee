#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "overland/bmps.hpp"
#include "overland_fixture.hpp"
#include "record/model_state.hpp"

namespace {

using pluvo::bmp_flows;
using pluvo::bmp_outlet_flow;
using pluvo::bmp_record;

TEST(BmpOutletFlow, TheFourRules) {
  struct rule_case {
    int rule;
    double p, h, v;
    double expected;
  };
  const double dt = 10.0, sx = 0.03, sy = 0.04, n = 0.05;
  const rule_case cases[] = {
      {1, 100.0, 0.2, 8.0, 8.0},  // a hundred percent moves the whole volume
      {1, 25.0, 0.2, 8.0, 2.0},
      {2, 0.01, 0.2, 8.0, 0.1},  // constant discharge over the step
      {2, 5.0, 0.2, 8.0, 8.0},   // never more than is there
      {3, 2.0, 0.3, 50.0, std::sqrt(9.81 * 0.2) * 0.2 * 2.0 * dt},
      {4, 3.0, 0.3, 50.0, std::pow(0.0025, 0.25) / n * std::pow(0.3, 1.6666666666666667) * 3.0 * dt},
      {5, 3.0, 0.3, 50.0, 0.0},  // no such rule
      {1, 100.0, 0.2, 1e-17, 0.0},
      {2, -1.0, 0.2, 8.0, 0.0},  // a negative discharge takes nothing back
  };
  for (const rule_case& c : cases)
    EXPECT_NEAR(bmp_outlet_flow(c.rule, c.p, c.h, c.v, dt, sx, sy, n), c.expected, 1e-12) << c.rule << " " << c.p;
}

// One unit on cell 1 of a one-cell grid.
struct one_unit {
  bmp_record b;
  std::vector<double> depth{0.0, 0.0}, rough{0.0, 0.05}, sx{0.0, 0.02}, sy{0.0, 0.0};
  pluvo::bmp_cell_inputs cell;
  one_unit(double cell_size, double area, int in_rule, double in_p, int out_rule, double out_p, double outlet_mm,
           double seepage, double soil_cm) {
    b.unit_count = 1;
    b.GNUM = {0, 1};
    b.GNUM_num = {0, 1};
    b.type = {0, 1};
    b.area = {0.0, area};
    b.storage = {0.0, 0.0};
    b.inflow_type = {0, in_rule};
    b.inflow_param = {0.0, in_p};
    b.outflow_type = {0, out_rule};
    b.outflow_param = {0.0, out_p};
    b.outlet_height = {0.0, outlet_mm / 1000.0};
    b.seepage_rate = {0.0, seepage};
    b.soil_depth = {0.0, soil_cm / 100.0};
    b.soil_storage = {0.0, 0.0};
    cell = {depth.data(), cell_size * cell_size, rough.data(), sx.data(), sy.data()};
  }
};

// Each step closes the unit's books, and the cell, the unit, its soil and what left them hold
// all the water there was, on whole and fractional cell sizes.
TEST(BmpUnit, EveryStepClosesItsBalance) {
  for (const double size : {30.0, 30.5}) {
    one_unit u(size, 120.0, 1, 40.0, 4, 2.0, 50.0, 1.5, 30.0);
    u.depth[1] = 0.08;
    const double a = size * size;
    double seeped = 0.0, evaporated = 0.0, percolated = 0.0;
    const double start = u.depth[1] * a;
    for (int step = 0; step < 200; step++) {
      const double before = u.b.storage[1];
      const double rain = step < 50 ? 0.002 * u.b.area[1] : 0.0;  // what the rainfall gives the unit
      u.b.storage[1] += rain;
      const double depth_before = u.depth[1];
      const bmp_flows f = pluvo::bmp_cell_water_balance(u.b, 1, 60.0, u.cell, 2e-8);
      EXPECT_NEAR(rain + f.inflow - f.outflow - f.seepage - f.evaporation, u.b.storage[1] - before, 1e-12);
      EXPECT_NEAR((depth_before - u.depth[1]) * a, f.inflow - f.outflow, 1e-11);
      EXPECT_GE(u.b.storage[1], 0.0);
      seeped += f.seepage;
      evaporated += f.evaporation;
      percolated += f.percolation;
      if (step < 50) u.depth[1] += 0.001;  // rain onto the rest of the cell
    }
    const double given = start + 50 * (0.002 * 120.0 + 0.001 * a);
    EXPECT_NEAR(u.depth[1] * a + u.b.storage[1] + seeped + evaporated, given, 1e-9 * given) << size;
    EXPECT_NEAR(seeped, percolated + u.b.soil_storage[1], 1e-9) << size;
    EXPECT_GT(evaporated, 0.0);
  }
}

TEST(BmpUnit, OutletAndSeepageEdges) {
  // Storage exactly at the outlet height releases nothing.
  one_unit at(10.0, 50.0, 1, 0.0, 1, 100.0, 100.0, 0.0, 0.0);
  at.b.storage[1] = 50.0 * 0.1;
  EXPECT_EQ(pluvo::bmp_cell_water_balance(at.b, 1, 60.0, at.cell, 0.0).outflow, 0.0);
  EXPECT_EQ(at.b.storage[1], 5.0);
  // Seepage beyond the storage empties the unit, and nothing flows out in that step.
  one_unit dry(10.0, 50.0, 1, 0.0, 1, 100.0, 0.0, 36.0, 0.0);
  dry.b.storage[1] = 0.02;
  const bmp_flows f = pluvo::bmp_cell_water_balance(dry.b, 1, 60.0, dry.cell, 0.0);
  EXPECT_EQ(f.seepage, 0.02);
  EXPECT_EQ(f.percolation, 0.02);  // no soil layer: the seepage goes straight down
  EXPECT_EQ(f.outflow, 0.0);
  EXPECT_EQ(dry.b.storage[1], 0.0);
}

// The phase: totals, the outflow flag the overland sleep reads, percolation into the soil flux.
TEST(BmpStep, BooksTheStepAndKeepsItsClock) {
  auto m = pluvo_test::make_overland_grid(pluvo_test::grid_spec{.cols = 2, .dx = 10.0});
  one_unit u(10.0, 40.0, 1, 50.0, 1, 50.0, 0.0, 3.6, 0.0);
  m->BMP = u.b;
  m->BMP.GNUM = {0, 2};
  m->BMP.GNUM_num = {0, 0, 1};
  m->ov_bmp_on = 1;
  m->ov_depth = {0.0, 0.1, 0.1};
  m->unsat_downward_flux.assign(3, 0.0);
  m->bmp_interval = 10.0 / 86400.0;
  m->time_tolerance = 1.1574074074074074e-07;
  pluvo_test::due_in(*m, 10.0);
  m->bmp_next_time = m->cur_julian;
  pluvo::bmp_step(*m);
  EXPECT_NEAR(m->bmp_from_ov_total, 5.0, 1e-9);  // half of the cell's 10 m3
  EXPECT_EQ(m->bmp_from_ov_volume, m->bmp_from_ov_total);
  const double seep = 3.6 / 360000.0 * 40.0 * 10.0;
  EXPECT_NEAR(m->bmp_to_gw_total, seep, 1e-12);
  EXPECT_NEAR(m->bmp_to_ov_total, (5.0 - seep) * 0.5, 1e-9);
  EXPECT_EQ(m->bmp_water_present, 1);
  EXPECT_NEAR(m->unsat_downward_flux[2], seep / 100.0 * 100.0, 1e-12);
  EXPECT_EQ(m->unsat_downward_flux[1], 0.0);
  EXPECT_NEAR(m->ov_depth[2] * 100.0 + m->BMP.storage[1] + seep, 10.0, 1e-9);
  EXPECT_DOUBLE_EQ(m->bmp_next_time, m->cur_julian + m->bmp_interval);
  const double total = m->bmp_from_ov_total;
  pluvo::bmp_step(*m);  // not due again until the interval has passed
  EXPECT_EQ(m->bmp_from_ov_total, total);
}

}  // namespace
