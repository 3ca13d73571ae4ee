// The implicit superlink solve on small networks read by the real reader: steady full-pipe
// flow, Manning normal depth, a closed network's volume, parallel superlinks, the internal
// steps, the log file and the LU solve.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "groundwater/pipe_hydraulics.hpp"
#include "superlink_fixture.hpp"

namespace {

using pluvo::model_state;
using pluvo::superlink_volumes;
using pluvo_test::scratch_dir;
using pluvo_test::solve_once;
using pluvo_test::superlink_model;

constexpr double g = 9.81;

// Channel outfalls without a channel: the heads their channel nodes would give.
void hold_channel_heads(model_state& m, const std::vector<double>& heads) {
  m.sjunc_bound_head.assign(heads.size() + 1, 0.0);
  for (size_t j = 0; j < heads.size(); ++j) m.sjunc_bound_head[j + 1] = heads[j];
}

// A steady inflow into a kind-10 inlet: the cell holds just what one interval brings.
void feed(model_state& m, int cell, double q, double dt) {
  m.ov_depth[size_t(cell)] = q * dt / (m.cell_size * m.cell_size);
}

TEST(SuperlinkSolve, FullPipeBetweenTwoHeadsCarriesFrictionPlusOneVelocityHead) {
  scratch_dir dir;
  auto m = superlink_model(
      "SJUNC 1 20 10 1 999 1 1 0 0\nSJUNC 2 20 9 1 999 1 2 0 0\nCONNECT 1 1 2\nSLINK 1 1\n"
      "NODE 1 20 10 0 0 1 1 0 0\nNODE 2 20 9 0 0 1 2 0 0\nPIPE 1 1 0.5 0 0.01 0.013 100 0 0 0\n");
  ASSERT_EQ(m->num_superlinks, 1);
  hold_channel_heads(*m, {12.0, 10.5});
  superlink_volumes out;
  for (int i = 0; i < 600; ++i) ASSERT_EQ(solve_once(*m, 5.0, out), 0);
  // Full: the head difference goes into friction over 100 m and the exit velocity head.
  const double D = 0.5, A = 3.14159 * D * D / 4.0, R = D / 4.0, n = 0.013, L = 100.0;
  const double V = std::sqrt(1.5 / (n * n * L / std::pow(R, 4.0 / 3.0) + 1.0 / (2.0 * g)));
  const double Q = m->superlink_work.Q_dn[1];
  EXPECT_NEAR(Q, V * A, 0.005 * V * A);
  EXPECT_NEAR(m->superlink_work.Q_up[1], Q, 1e-9 * Q);
  EXPECT_DOUBLE_EQ(m->sjunc_head[1], 12.0);  // boundaries keep their heads
  EXPECT_DOUBLE_EQ(m->sjunc_head[2], 10.5);
  EXPECT_GT(m->superlink_chan_con_flow[2], 0.0);  // what went into the channel node
}

TEST(SuperlinkSolve, HighHeadReleasePutsTheReleasedWaterOnTheInletsCell) {
  scratch_dir dir;
  auto m = superlink_model(
      "SJUNC 1 20 10 1 999 1 1 0 0\nSJUNC 2 20 9 1 999 1 2 0 0\nCONNECT 1 1 2\nSLINK 1 2\n"
      "NODE 1 20 10 0 0 1 1 0 0\nNODE 2 10.5 9.5 4 2 1 3 0.6 0.5\nNODE 3 20 9 0 0 1 2 0 0\n"
      "PIPE 1 1 0.5 0 0.01 0.013 50 0 0 0\nPIPE 2 1 0.5 0 0.01 0.013 50 0 0 0\n");
  m->high_head_release_on = 1;
  hold_channel_heads(*m, {12.0, 11.5});
  superlink_volumes out;
  for (int i = 0; i < 5; ++i) ASSERT_EQ(solve_once(*m, 10.0, out), 0);
  ASSERT_LT(m->Q_node[2][1], 0.0);  // the node's head stands above its ground
  m->ov_depth[3] = 0.0;
  const double booked = m->sjunc_ov_volume[2];
  ASSERT_EQ(solve_once(*m, 10.0, out), 0);
  const double released = -m->Q_node[2][1] * 10.0;
  EXPECT_NEAR(m->ov_depth[3] * 100.0, released, 1e-12);  // on the node's cell, not lost
  EXPECT_NEAR(m->sjunc_ov_volume[2] - booked, released, 1e-12);
}

// Ten pipes of 20 m falling 0.01 from a kind-10 inlet to an outfall onto cell 4.
std::string long_sewer(double diameter) {
  std::string text = "SJUNC 1 20 10 20 10 1 1 0 0\nSJUNC 2 20 8 1 888 1 4 0 0\nCONNECT 1 1 2\nSLINK 1 10\n";
  char line[160];
  for (int k = 1; k <= 11; ++k) {
    const int col = k == 1 ? 1 : (k == 11 ? 4 : 0);
    std::snprintf(line, sizeof line, "NODE %d 20 %.2f 0 0 %d %d 0 0\n", k, 10.0 - 0.2 * (k - 1), col ? 1 : 0, col);
    text += line;
  }
  for (int k = 1; k <= 10; ++k) {
    std::snprintf(line, sizeof line, "PIPE %d 1 %.2f 0 0.01 0.013 20 0 0 0\n", k, diameter);
    text += line;
  }
  return text;
}

TEST(SuperlinkSolve, PartlyFullPipeUnderSteadyInflowReachesItsNormalDepth) {
  scratch_dir dir;
  auto m = superlink_model(long_sewer(0.6));
  ASSERT_EQ(m->nnodes[1], 10);
  const double q = 0.1, dt = 5.0;
  superlink_volumes out;
  double delivered = 0.0;
  for (int i = 0; i < 1500; ++i) {
    feed(*m, 1, q, dt);
    const double before = m->ov_depth[4];
    ASSERT_EQ(solve_once(*m, dt, out), 0);
    delivered = (m->ov_depth[4] - before) * 100.0 / dt;
  }
  double normal = 0.0;
  ASSERT_EQ(pluvo::superlink_norm_calc(1, 0.6, 0.0, 0.013, q, 0.01, normal), 0);
  for (int k = 4; k <= 8; ++k) EXPECT_NEAR(m->slink_node_depth[k][1], normal, 0.01 * normal) << "node " << k;
  EXPECT_NEAR(delivered, q, 1e-6);  // steady: the outfall puts the inflow on its cell
}

TEST(SuperlinkSolve, ClosedNetworkKeepsItsWater) {
  scratch_dir dir;
  auto m = superlink_model(
      "SJUNC 1 20 10 2 10 1 1 0 0\nSJUNC 2 20 10 2 0 1 2 0 0\nSJUNC 3 20 10 2 0 1 3 0 0\n"
      "CONNECT 1 1 2\nCONNECT 2 2 3\n"
      "SLINK 1 2\nNODE 1 20 10 0 0 1 1 0 0\nNODE 2 20 10 0 0 0 0 0 0\nNODE 3 20 10 0 0 1 2 0 0\n"
      "PIPE 1 1 0.4 0 0 0.013 25 0 0 0\nPIPE 2 1 0.4 0 0 0.013 25 0 0 0\n"
      "SLINK 2 2\nNODE 1 20 10 0 0 1 2 0 0\nNODE 2 20 10 0 0 0 0 0 0\nNODE 3 20 10 0 0 1 3 0 0\n"
      "PIPE 1 1 0.4 0 0 0.013 25 0 0 0\nPIPE 2 1 0.4 0 0 0.013 25 0 0 0\n");
  superlink_volumes out;
  m->ov_depth[1] = 0.1;  // 10 m3 through the inlet in the first interval, none after
  ASSERT_EQ(solve_once(*m, 10.0, out), 0);
  EXPECT_NEAR(out.ov_taken, 10.0, 1e-12);
  const double held = out.stored;
  EXPECT_NEAR(held - m->superlink_initial_volume, 10.0, 1e-9);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(solve_once(*m, 10.0, out), 0);
  EXPECT_NEAR(out.stored, held, 1e-10 * held);
  // The water has spread: every superjunction holds some.
  for (int j = 1; j <= 3; ++j) EXPECT_GT(m->sjunc_head[size_t(j)], 10.0) << j;
}

TEST(SuperlinkSolve, ParallelSuperlinksCarryEqualShares) {
  scratch_dir dir;
  const char* pipe = "NODE 1 20 10 0 0 1 1 0 0\nNODE 2 20 9 0 0 1 4 0 0\nPIPE 1 1 0.4 0 0.02 0.013 50 0 0 0\n";
  auto m = superlink_model(std::string("SJUNC 1 20 10 20 10 1 1 0 0\nSJUNC 2 20 9 1 888 1 4 0 0\n"
                                       "CONNECT 1 1 2\nCONNECT 2 1 2\nSLINK 1 1\n") +
                           pipe + "SLINK 2 1\n" + pipe);
  const double q = 0.1, dt = 5.0;
  superlink_volumes out;
  for (int i = 0; i < 800; ++i) {
    feed(*m, 1, q, dt);
    ASSERT_EQ(solve_once(*m, dt, out), 0);
  }
  const double q1 = m->superlink_work.Q_dn[1], q2 = m->superlink_work.Q_dn[2];
  EXPECT_NEAR(q1, q2, 1e-9 * q);
  EXPECT_NEAR(q1 + q2, q, 1e-4 * q);  // both links drain the one superjunction
}

TEST(SuperlinkSolve, InternalStepsUseUpTheInterval) {
  struct row {
    double dt, courant;
    std::vector<double> steps;
  };
  const row rows[] = {
      {60.0, 25.0, {25.0, 35.0}},    // a second 25 s step would leave 10 s, under half a step
      {60.0, 100000.0, {60.0}},      // slower than the interval: one step
      {3.0, 0.4, {1.0, 1.0, 1.0}},   // under a second: 1 s steps
      {60.0, 20.0, {20.0, 20.0, 20.0}},
  };
  for (const row& r : rows) EXPECT_EQ(pluvo::superlink_internal_steps(r.dt, r.courant), r.steps) << r.courant;
}

TEST(SuperlinkSolve, LogHeaderAndOneRowPerCall) {
  scratch_dir dir;
  auto m = superlink_model(long_sewer(0.6));
  superlink_volumes out;
  feed(*m, 1, 0.05, 10.0);
  ASSERT_EQ(solve_once(*m, 10.0, out), 0);
  ASSERT_EQ(solve_once(*m, 10.0, out), 0);
  const std::string log = pluvo_test::read_file("superlink_flows.out");
  char row[200];
  std::snprintf(row, sizeof row, "1 %16.8lf %16.8lf %16.8lf %16.8lf \n", out.into_network, out.to_surface,
                out.into_network / 10.0, out.to_surface / 10.0);
  EXPECT_EQ(log.rfind("Call# VtoSL VtoPLUVO   QtoSL    QtoPLUVO \n0 ", 0), 0u) << log;
  EXPECT_NE(log.find(row), std::string::npos) << log;
}

TEST(SuperlinkSolve, LuSolvesAndRefusesASingularMatrix) {
  pluvo::node_matrix<double> a;
  a.assign(3, 3);
  const double rows[3][3] = {{0.0, 2.0, 1.0}, {1.0, 1.0, 0.0}, {3.0, 0.0, 1.0}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) a[i][j] = rows[i - 1][j - 1];
  std::vector<int32_t> perm;
  std::vector<double> scale, b = {0.0, 5.0, 3.0, 4.0};  // x = (1, 2, 1)
  double sign = 0.0;
  ASSERT_EQ(pluvo::ludcmp_oxa(a, 3, perm, sign, scale), 0);
  pluvo::superlink_lubksb(a, 3, perm, b);
  EXPECT_NEAR(b[1], 1.0, 1e-12);
  EXPECT_NEAR(b[2], 2.0, 1e-12);
  EXPECT_NEAR(b[3], 1.0, 1e-12);
  a.assign(2, 2);
  a[1][1] = 1.0;
  std::string said = pluvo::printed_by([&] { EXPECT_EQ(pluvo::ludcmp_oxa(a, 2, perm, sign, scale), -1); });
  EXPECT_EQ(said, "problem at superjunc 2 \n");
}

}  // namespace
