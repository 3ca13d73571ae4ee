// The aquifer solver against analytical solutions, its mass balance and its thread independence.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/process.hpp"
#include "groundwater/groundwater_solver.hpp"
#include "groundwater/korp_linkage.hpp"
#include "../../bench/synthetic_aquifer.hpp"

namespace pluvo {
namespace {

constexpr double pi = 3.14159265358979323846;

void fix_edges(model_state& m, int rows, int cols) {
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c)
      if (r == 1 || c == 1 || r == rows || c == cols) m.gwbound[size_t(cell_at(m, r, c))] = 2;
}

// A well at the centre of a square held at a fixed head on its edges, run to a steady state.
std::unique_ptr<model_state> pumped_square(int size, double q, int threads) {
  aquifer_spec a;
  a.rows = a.cols = size;
  auto m = make_aquifer(a);
  fix_edges(*m, size, size);
  const int centre = size / 2 + 1;
  m->gw_static_flux[size_t(cell_at(*m, centre, centre))] = q / (a.cell * a.cell);
  m->gw_relax_coeff_value = 1.85;
  // A small specific yield brings the steady state within a few steps of under three hours
  // (short enough that the well never meets the aquifer bottom).
  m->gw_storage_coeff.assign(m->gw_storage_coeff.size(), 1e-5);
  const int before = thread_count;
  set_thread_count(threads);
  for (int step = 0; step < 6; ++step) {
    groundwater_solve(*m, 1e4);
    m->gw_step_toggle = m->gw_step_toggle == 1 ? 2 : 1;
  }
  set_thread_count(before);
  return m;
}

// Steady unconfined flow to a well: h2^2 - h1^2 = Q / (pi K) ln(r2 / r1), and the edges stay put.
TEST(GroundwaterSolver, PumpedWellReachesTheSteadyRadialSolution) {
  const int size = 65;
  const double q = 0.01;
  auto m = pumped_square(size, q, 1);
  const int centre = size / 2 + 1;
  const double r1 = 5, r2 = 15;
  for (int side = 0; side < 4; ++side) {
    const int dr[] = {0, 0, 1, -1}, dc[] = {1, -1, 0, 0};
    const double h1 = m->elevgw[size_t(cell_at(*m, centre + dr[side] * int(r1), centre + dc[side] * int(r1)))];
    const double h2 = m->elevgw[size_t(cell_at(*m, centre + dr[side] * int(r2), centre + dc[side] * int(r2)))];
    const double expected = q / (pi * 1e-4) * std::log(r2 / r1);
    EXPECT_NEAR(h2 * h2 - h1 * h1, expected, 0.02 * expected) << "side " << side;
  }
  for (int i = 1; i <= m->cell_count; ++i) {
    if (m->gwbound[size_t(i)] != 2) continue;
    ASSERT_EQ(m->elevgw[size_t(i)], 20.0) << "cell " << i;
  }
}

TEST(GroundwaterSolver, HeadsAreTheSameOnOneAndEightThreads) {
  auto one = pumped_square(65, 0.01, 1);
  auto eight = pumped_square(65, 0.01, 8);
  ASSERT_EQ(one->elevgw, eight->elevgw);
}

// W(u) from its series: -gamma - ln u + sum (-1)^(k+1) u^k / (k k!).
double well_function(double u) {
  double sum = -0.5772156649015329 - std::log(u);
  double term = 1.0;
  for (int k = 1; k < 60; ++k) {
    term *= u / k;
    sum += (k % 2 == 1 ? 1.0 : -1.0) * term / k;
  }
  return sum;
}

// A thick aquifer pumped gently behaves as a confined one: drawdown Q / (4 pi T) W(r^2 S / 4 T t).
TEST(GroundwaterSolver, GentlyPumpedThickAquiferFollowsTheTransientRadialSolution) {
  aquifer_spec a;
  a.rows = a.cols = 61;
  a.head = 100.0;
  a.porosity = 0.1;
  auto m = make_aquifer(a);
  const int centre = 31;
  const double q = 0.005;
  m->gw_static_flux[size_t(cell_at(*m, centre, centre))] = q / (a.cell * a.cell);
  m->gw_relax_coeff_value = 1.5;
  m->gw_lsor_con_value = 1e-9;
  const double t_transmissivity = a.conductivity * a.head;
  const double dt = 600.0;
  const int checks[] = {36, 72, 144};  // 6 h, 12 h and one day
  int step = 0;
  for (int check : checks) {
    for (; step < check; ++step) {
      groundwater_solve(*m, dt);
      m->gw_step_toggle = m->gw_step_toggle == 1 ? 2 : 1;
    }
    const double t = step * dt;
    for (int r : {3, 5, 8}) {
      const double u = (r * a.cell) * (r * a.cell) * a.porosity / (4.0 * t_transmissivity * t);
      const double expected = q / (4.0 * pi * t_transmissivity) * well_function(u);
      const double drawdown = a.head - m->elevgw[size_t(cell_at(*m, centre, centre + r))];
      EXPECT_NEAR(drawdown, expected, 0.05 * expected) << "r " << r * a.cell << " m, t " << t << " s";
    }
  }
}

// A strip between two fixed heads under uniform recharge R: h^2 = H^2 + R / K x (L - x).
TEST(GroundwaterSolver, RechargedStripReachesTheSteadyMound) {
  aquifer_spec a;
  a.rows = 1;
  a.cols = 51;
  a.head = 10.0;
  auto m = make_aquifer(a);
  m->gwbound[1] = m->gwbound[51] = 2;
  const double recharge = 1e-8;
  for (int c = 2; c <= 50; ++c) m->gw_static_flux[size_t(c)] = -recharge;
  for (int step = 0; step < 4; ++step) groundwater_solve(*m, 1e10);
  const double length = 50 * a.cell;
  for (int c : {6, 16, 26, 36, 46}) {
    const double x = (c - 1) * a.cell;
    const double expected = recharge / a.conductivity * x * (length - x);
    const double h = m->elevgw[size_t(c)];
    EXPECT_NEAR(h * h - a.head * a.head, expected, 0.01 * expected) << "x " << x;
  }
}

// Without boundaries every cubic metre the sources add is in storage.
TEST(GroundwaterSolver, ClosedAquiferStoresWhatItsSourcesAdd) {
  aquifer_spec a;
  a.rows = 20;
  a.cols = 24;
  auto m = make_aquifer(a);
  m->gw_relax_coeff_value = 1.5;
  m->gw_lsor_con_value = 1e-14;
  m->gw_static_flux[size_t(cell_at(*m, 5, 6))] = 2e-5;
  m->gw_static_flux[size_t(cell_at(*m, 15, 18))] = 3e-5;
  for (int c = 1; c <= m->cell_count; ++c) {
    m->gw_storage_coeff[size_t(c)] = 0.1 + 0.002 * (c % 50);
    m->unsat_downward_flux[size_t(c)] = 0.05 * (c % 7);  // cm over the step
  }
  const std::vector<double> start = m->elevgw;
  double added = 0.0;
  for (int step = 0; step < 3; ++step) {
    added += groundwater_solve(*m, 3600.0);
    m->gw_step_toggle = m->gw_step_toggle == 1 ? 2 : 1;
  }
  double stored = 0.0;
  for (int c = 1; c <= m->cell_count; ++c)
    stored += m->gw_storage_coeff[size_t(c)] * (m->elevgw[size_t(c)] - start[size_t(c)]) * a.cell * a.cell;
  ASSERT_GT(std::fabs(added), 1.0);
  EXPECT_NEAR(stored, added, 1e-10 * std::fabs(added));
}

TEST(GroundwaterSolver, ZeroStepOnlyFormsTheNetSource) {
  auto m = make_aquifer(aquifer_spec{});
  m->gw_static_flux[5] = 1e-5;
  const std::vector<double> start = m->elevgw;
  EXPECT_EQ(groundwater_solve(*m, 0.0), 0.0);
  EXPECT_EQ(m->elevgw, start);
}

// A cell pumped at its bottom keeps 1 mm of water and its well stops.
TEST(GroundwaterSolver, PumpingStopsAtTheAquiferBottom) {
  aquifer_spec a;
  a.rows = a.cols = 3;
  a.head = 0.005;
  auto m = make_aquifer(a);
  m->gw_static_flux[5] = 1e-3;
  groundwater_solve(*m, 3600.0);
  EXPECT_EQ(m->gw_well_rate[5], 0.0);
  for (int c = 1; c <= 9; ++c) EXPECT_GE(m->elevgw[size_t(c)] - m->bottom_elev[size_t(c)], 0.001 - 1e-12);
}

TEST(LinkageRoutines, ConductivityWeightFollowsThePressureHead) {
  EXPECT_EQ(hydrocon_weight(0.0), 1.0);
  EXPECT_NEAR(hydrocon_weight(-1.0), 0.694, 0.0005);
}

}  // namespace
}  // namespace pluvo
