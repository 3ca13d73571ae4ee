#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "record/model_state.hpp"
#include "soil/hydraulic_functions.hpp"

namespace {

using pluvo::node_matrix;

// One cell of three nodes with one soil; heads in cm.
struct column {
  std::unique_ptr<pluvo::model_state> m = std::make_unique<pluvo::model_state>();
  static constexpr double ts = 0.45, tr = 0.05, hb = -20.0, lam = 0.4, sc = 0.9;
  column() {
    pluvo::model_state& s = *m;
    for (node_matrix<double>* a : {&s.PHEAD, &s.THETA, &s.THETAS, &s.THETAR, &s.KHEAD, &s.WATCAP, &s.BP, &s.LAM,
                                   &s.BChc, &s.thehac, &s.ALPHA, &s.BETA, &s.AHAV, &s.BHAV})
      a->assign(1, 3, 0.0);
    s.numcells.assign(2, 3);
    for (int j = 0; j <= 3; j++) {
      s.THETAS[1][j] = ts;
      s.THETAR[1][j] = tr;
      s.BP[1][j] = hb;
      s.LAM[1][j] = lam;
      s.thehac[1][j] = tr + sc * (ts - tr);
      s.BChc[1][j] = hb * std::pow(sc, -1.0 / lam);  // where the two curves meet
      s.ALPHA[1][j] = 30.0;
      s.BETA[1][j] = 2.5;
      s.AHAV[1][j] = 1e5;
      s.BHAV[1][j] = 3.5;
    }
  }
  double content(double h, int option) {
    pluvo::model_state& s = *m;
    s.PHEAD[1][1] = h;
    pluvo::retention_content(s.PHEAD, s.THETA, s.THETAS, s.THETAR, s.thehac, s.ALPHA, s.BETA, s.LAM, s.BP, s.BChc,
                             1, 1, option);
    return s.THETA[1][1];
  }
  double head(double theta, double start, int option) {
    pluvo::model_state& s = *m;
    s.THETA[1][1] = theta;
    s.PHEAD[1][1] = start;
    pluvo::retention_head(s.PHEAD, s.THETA, s.THETAS, s.THETAR, s.thehac, s.ALPHA, s.BETA, s.LAM, s.BP, 1, 1,
                          option);
    return s.PHEAD[1][1];
  }
};

constexpr int brooks_corey = pluvo::brooks_corey_option, haverkamp = 2;

TEST(HydraulicFunctions, BrooksCoreyBranchesMeetAtTheTransitionAndTheParabolaReachesSaturation) {
  column c;
  const double hc = c.m->BChc[1][1];
  const double below = c.content(hc, brooks_corey);
  const double sc_theta = column::tr + column::sc * (column::ts - column::tr);
  EXPECT_NEAR(below, sc_theta, 1e-14);
  // Just above hc the parabola continues from the same content.
  EXPECT_NEAR(c.content(hc * (1.0 - 1e-9), brooks_corey), sc_theta, 1e-9);
  EXPECT_DOUBLE_EQ(c.content(-1e-300, brooks_corey), column::ts);
  EXPECT_DOUBLE_EQ(c.content(0.0, brooks_corey), column::ts);
  EXPECT_DOUBLE_EQ(c.content(0.0, haverkamp), column::ts);
}

TEST(HydraulicFunctions, HeadUndoesContentForBothModels) {
  column c;
  for (int option : {brooks_corey, haverkamp})
    for (double h : {-500.0, -60.0, -25.0, -22.0, -10.0, -1.0}) {
      const double theta = c.content(h, option);
      EXPECT_NEAR(c.head(theta, 0.0, option), h, 1e-9 * std::fabs(h)) << option << " " << h;
    }
  // At residual content there is no head to give: it stays as it was.
  for (int option : {brooks_corey, haverkamp}) EXPECT_EQ(c.head(column::tr, -7.0, option), -7.0);
}

TEST(HydraulicFunctions, ColumnsAreSaturatedAtPositiveHeadAndCopyNodeOne) {
  column c;
  pluvo::model_state& s = *c.m;
  const double heads[] = {0.0, 5.0, -100.0, -21.0};
  for (int j = 1; j <= 3; j++) {
    s.PHEAD[1][j] = heads[j];
    pluvo::retention_content(s.PHEAD, s.THETA, s.THETAS, s.THETAR, s.thehac, s.ALPHA, s.BETA, s.LAM, s.BP, s.BChc,
                             1, j, brooks_corey);
  }
  pluvo::brooks_corey_layer_functions(s, 1);
  EXPECT_EQ(s.KHEAD[1][1], 1.0);
  EXPECT_EQ(s.WATCAP[1][1], 0.0);
  EXPECT_NEAR(s.KHEAD[1][2], std::pow(-100.0 / column::hb, -3.0 * column::lam - 2.0), 1e-15);
  EXPECT_GT(s.WATCAP[1][2], 0.0);
  EXPECT_GT(s.WATCAP[1][3], 0.0);
  EXPECT_EQ(s.KHEAD[1][0], s.KHEAD[1][1]);
  EXPECT_EQ(s.WATCAP[1][0], s.WATCAP[1][1]);
  s.THETA[1][1] = 0.0;
  pluvo::soil_retention_curve(s, 1);
  EXPECT_EQ(s.THETA[1][1], column::ts);
  EXPECT_EQ(s.KHEAD[1][1], 1.0);
  EXPECT_EQ(s.WATCAP[1][1], 0.0);
  EXPECT_NEAR(s.KHEAD[1][2], 1e5 / (1e5 + std::pow(100.0, 3.5)), 1e-15);
  EXPECT_EQ(s.KHEAD[1][0], s.KHEAD[1][1]);
  // The capacity is the slope of the retention curve.
  const double capacity = s.WATCAP[1][2], step = 1e-4;
  const double slope = (c.content(-100.0 + step, haverkamp) - c.content(-100.0 - step, haverkamp)) / (2 * step);
  EXPECT_NEAR(capacity, slope, 1e-9);
}

TEST(HydraulicFunctions, BoundedPowerBlendsBetweenTheFloorAndTheValue) {
  for (double x : {1e-9, 0.5, 3.0, 250.0}) {
    EXPECT_NEAR(pluvo::bounded_power(x, 1.0), x, 1e-12 * x);
    EXPECT_NEAR(pluvo::bounded_power(x, 0.0), std::fmin(x, 1e-6), 1e-18);
  }
}

}  // namespace
