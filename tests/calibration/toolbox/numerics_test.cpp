// The toolbox's numerical routines against closed forms and their own identities.
#include "calibration/toolbox/numerics.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace pluvo::toolbox {
namespace {

// A random symmetric positive-definite matrix: M·Mᵀ + n·I.
matrix_cal random_spd(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  matrix_cal m(1, n, 1, n), a(1, n, 1, n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) m[i][j] = u(gen);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      double s = i == j ? n : 0.0;
      for (int k = 1; k <= n; ++k) s += m[i][k] * m[j][k];
      a[i][j] = s;
    }
  return a;
}

TEST(ToolboxNumerics, CholeskyOfTheTwoByTwoCase) {
  matrix_cal a(1, 2, 1, 2);
  a[1][1] = 4;
  a[1][2] = a[2][1] = 2;
  a[2][2] = 3;
  std::vector<double> p = dvector(1, 2);
  choldc(a, 2, p);
  EXPECT_DOUBLE_EQ(p[1], 2.0);
  EXPECT_DOUBLE_EQ(p[2], std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(a[2][1], 1.0);
}

TEST(ToolboxNumerics, CholeskyAndInverseSolveRandomSpdSystems) {
  for (int n : {1, 3, 7, 12}) {
    const matrix_cal a = random_spd(n, 17u + unsigned(n));
    // Cholesky: A·x = b recovers a chosen x.
    std::vector<double> x_true = dvector(1, n), b = dvector(1, n), x = dvector(1, n),
                        p = dvector(1, n);
    for (int i = 1; i <= n; ++i) x_true[i] = 0.5 * i - 1.0;
    dmvmult(a, n, n, x_true, n, b);
    matrix_cal l = a;
    choldc(l, n, p);
    cholsl(l, n, p, b, x);
    for (int i = 1; i <= n; ++i) EXPECT_NEAR(x[i], x_true[i], 1e-12) << n;
    // LU inverse: A·A⁻¹ = I.
    matrix_cal work = a, inv(1, n, 1, n), prod(1, n, 1, n);
    int singular = -1;
    dminverse(work, n, inv, singular);
    ASSERT_EQ(singular, 0);
    dmmult(a, n, n, inv, n, n, prod);
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) EXPECT_NEAR(prod[i][j], i == j ? 1.0 : 0.0, 1e-12);
  }
}

TEST(ToolboxNumerics, ZeroRowIsSingularAndLeavesTheOutputUntouched) {
  matrix_cal a(1, 3, 1, 3), y(1, 3, 1, 3);
  a[1][1] = 1;
  a[3][3] = 2;  // row 2 all zero
  y[2][2] = 42.0;
  int singular = 0;
  dminverse(a, 3, y, singular);
  EXPECT_EQ(singular, 1);
  EXPECT_EQ(y[2][2], 42.0);
  EXPECT_EQ(y[1][1], 0.0);
  // The 3x3 solver stays silent and leaves its output alone too.
  matrix_cal b(1, 3, 1, 1), x(1, 3, 1, 1);
  x[1][1] = 7.0;
  matrix_cal a2(1, 3, 1, 3);
  solve3_lu(a2, 0, b, 0, x);
  EXPECT_EQ(x[1][1], 7.0);
}

TEST(ToolboxNumerics, SolvesAThreeByThreeSystem) {
  matrix_cal a(1, 3, 1, 3), b(1, 3, 1, 1), x(1, 3, 1, 1);
  const double rows[3][3] = {{0, 2, 1}, {1, 1, 1}, {2, 1, 0}};  // needs pivoting
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) a[i + 1][j + 1] = rows[i][j];
  b[1][1] = 4;  // x = (1, 1, 2)
  b[2][1] = 4;
  b[3][1] = 3;
  solve3_lu(a, 0, b, 0, x);
  EXPECT_NEAR(x[1][1], 1.0, 1e-14);
  EXPECT_NEAR(x[2][1], 1.0, 1e-14);
  EXPECT_NEAR(x[3][1], 2.0, 1e-14);
}

TEST(ToolboxNumerics, JacobiEigenpairsSortedDescending) {
  const int n = 6;
  const matrix_cal a = random_spd(n, 5u);
  matrix_cal work = a, v(1, n, 1, n);
  std::vector<double> d = dvector(1, n);
  int nrot = 0;
  jacobi(work, n, d, v, nrot);
  eigsrt(d, v, n);
  EXPECT_GT(nrot, 0);
  for (int k = 1; k <= n; ++k) {
    if (k > 1) {
      EXPECT_GE(d[k - 1], d[k]);
    }
    for (int i = 1; i <= n; ++i) {
      double av = 0.0;
      for (int j = 1; j <= n; ++j) av += a[i][j] * v[j][k];
      EXPECT_NEAR(av, d[k] * v[i][k], 1e-10);
    }
  }
}

TEST(ToolboxNumerics, EigsrtTakesTheLaterOfEqualValues) {
  std::vector<double> d = {0, 1, 3, 3};
  matrix_cal v(1, 3, 1, 3);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) v[i][j] = 10 * i + j;
  eigsrt(d, v, 3);
  EXPECT_EQ(d, (std::vector<double>{0, 3, 3, 1}));
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(v[i][1], 10 * i + 3);  // columns 1 and 3 swapped
    EXPECT_EQ(v[i][2], 10 * i + 2);
    EXPECT_EQ(v[i][3], 10 * i + 1);
  }
}

TEST(ToolboxNumerics, IndexSort) {
  std::vector<int> indx = ivector(1, 3);
  indexx(3, {0, 3, 1, 2}, indx);
  EXPECT_EQ(indx, (std::vector<int>{0, 2, 3, 1}));
  // Many equal values finish within the stack; a shuffled ramp comes out ascending.
  std::vector<double> equal(61, 4.5);
  std::vector<int> ie = ivector(1, 60);
  indexx(60, equal, ie);
  std::vector<bool> seen(61, false);
  for (int j = 1; j <= 60; ++j) seen[size_t(ie[j])] = true;
  for (int j = 1; j <= 60; ++j) EXPECT_TRUE(seen[size_t(j)]);
  std::vector<double> ramp(1001);
  std::mt19937 gen(3);
  for (int j = 1; j <= 1000; ++j) ramp[size_t(j)] = std::uniform_real_distribution<double>(0, 1)(gen);
  std::vector<int> ir = ivector(1, 1000);
  indexx(1000, ramp, ir);
  for (int j = 2; j <= 1000; ++j) EXPECT_LE(ramp[size_t(ir[j - 1])], ramp[size_t(ir[j])]);
}

TEST(ToolboxNumerics, Ran1FollowsTheShuffledMinimalStandardRecurrence) {
  // The recurrence stepped by hand: 40 warm-up draws fill the table, then each draw takes the
  // entry the previous output points at and puts the new seed in its place.
  long x = 1;
  long table[32];
  for (int j = 39; j >= 0; --j) {
    x = (16807 * x) % 2147483647;
    if (j < 32) table[j] = x;
  }
  long last = table[0];
  long seed = -1;
  for (int k = 0; k < 200; ++k) {
    x = (16807 * x) % 2147483647;
    const long j = last / 67108864;
    last = table[j];
    table[j] = x;
    const double expected = std::fmin(last * 4.656612875245797e-10, 0.99999988);
    const double got = ran1(seed);
    ASSERT_EQ(got, expected) << k;
    ASSERT_GT(got, 0.0);
    ASSERT_LT(got, 1.0);
    ASSERT_EQ(seed, x);
  }
}

TEST(ToolboxNumerics, GammlnMatchesLogGamma) {
  for (double x : {0.5, 1.0, 1.5, 2.0, 3.0, 4.5, 7.0, 10.0, 20.5, 50.0}) {
    const double exact = std::lgamma(x);
    EXPECT_NEAR(gammln(x), exact, 1e-9 * std::fmax(1.0, std::fabs(exact))) << x;
  }
}

TEST(ToolboxNumerics, MatrixHelpers) {
  matrix_cal a(1, 2, 1, 3), t(1, 3, 1, 2), s(1, 2, 1, 3), sum(1, 2, 1, 3);
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 3; ++j) a[i][j] = i * 10 + j;
  dmtranspose(a, 2, 3, t);
  dmscale(a, 2, 3, -2.0, s);
  dmadd(a, 2, 3, s, sum);
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 3; ++j) {
      EXPECT_EQ(t[j][i], a[i][j]);
      EXPECT_EQ(sum[i][j], -a[i][j]);
    }
}

using ToolboxNumericsDeathTest = ::testing::Test;

TEST(ToolboxNumericsDeathTest, FatalErrorsEndTheProcessWithStatusOne) {
  matrix_cal a(1, 2, 1, 2);
  a[2][2] = 1.0;  // a zero diagonal
  std::vector<double> p = dvector(1, 2);
  EXPECT_EXIT(choldc(a, 2, p), ::testing::ExitedWithCode(1),
              "^Numerical Recipes run-time error...\ncholdc failed\n...now exiting to system...\n$");
  matrix_cal b(1, 4, 1, 1), c(1, 2, 1, 1);
  EXPECT_EXIT(dmmult(matrix_cal(1, 2, 1, 3), 2, 3, b, 4, 1, c), ::testing::ExitedWithCode(1),
              "^a_cols <> b_rows \\(3,4\\): dmmult\n$");
}

}  // namespace
}  // namespace pluvo::toolbox
