// The layered snowpack of one cell: the arrival and delivery of a wetting front against the
// kinematic-wave law, and the pack's limits in one table.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

#include "common/printed.hpp"
#include "hydromet/snow_model.hpp"

namespace {

constexpr double hour = 3600.0;

// One cell's three pack records, the parameter record given as the melt step leaves it.
struct pack_cell {
  std::array<double, 12> p{};
  std::array<double, 24> st{};
  pluvo::snow_front_table fronts{};
  std::string printed;

  pack_cell(double depth, double water, double density, double holding, double prescribed = 0.0) {
    p = {0.0, 0.0, prescribed, 3.0, 0.67, depth, water, holding, hour, density, 0.077, 0.077};
  }
  // A state saved by an earlier step: depth, density, clock, holding fraction, water equivalent
  // and the number of fronts in the table.
  void saved(double depth, double density, double clock, double holding, double water, int held_fronts) {
    st[21] = 1.0;
    st[1] = st[2] = depth;
    st[3] = density;
    st[8] = clock;
    st[10] = 0.67;
    st[11] = holding;
    st[12] = water;
    st[15] = held_fronts;
    st[16] = 3.0;
  }
  void step(double P, double T, double U = 0.0) {
    printed = pluvo::printed_by([&] {
      pluvo::snow_pack_step(0, P, T, 0.0, U, 0.0, 0.0, 0.0, &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7],
                            int(p[8] + 0.01), st.data(), fronts, &p[9], &p[10], &p[11]);
    });
  }
};

// Front coefficient of a pack of density rho and effective porosity phi with n = 3: the
// permeability of 0.2 cm grains, 54700^(1/n) n k^(1/n) / phi.
double front_coefficient(double rho, double phi) {
  const double k = 0.2 * 0.2 * 0.077 * std::exp(-7.8 * rho);
  return std::cbrt(54700.0) * 3.0 * std::cbrt(k) / phi;
}

TEST(SnowPack, AFreshFrontArrivesAtTheKinematicWaveTimeAndDeliversWhatHasPassedTheBottom) {
  // Rain at 0 C on a pack of prescribed depth D: the dry snow holds D x f_h and the rest leaves
  // the surface as one front of water W.
  const double rho = 0.3, f_h = 0.05, n = 3.0;
  const double C = front_coefficient(rho, 0.67);
  const struct {
    double D, P;
  } cases[] = {{2.0, 1.0}, {20.0, 1.5}, {40.0, 2.5}, {60.0, 3.2}, {100.0, 5.1}};
  int arrived = 0, late = 0;
  for (const auto& c : cases) {
    pack_cell cell(c.D, 0.0, rho, f_h, c.D);
    cell.step(c.P, 0.0);
    const double W = c.P - c.D * f_h;
    const double arrival = std::pow(c.D / C, n) * std::pow((n - 1.0) / W, n - 1.0);
    const double left = (n - 1.0) * std::pow(c.D / C, n / (n - 1.0)) * std::pow(hour, -1.0 / (n - 1.0));
    ASSERT_EQ(cell.st[15], 1.0) << c.D;
    EXPECT_EQ(cell.fronts[1][2], c.D);
    EXPECT_NEAR(cell.fronts[1][3], W, 1e-12 * W);
    EXPECT_NEAR(cell.fronts[1][4], arrival, 1e-12 * arrival) << c.D;
    const double delivered = arrival < hour ? W - left : 0.0;
    EXPECT_NEAR(cell.st[19], delivered, 1e-10 * c.P) << c.D << " " << c.P;
    (arrival < hour ? arrived : late)++;
    EXPECT_EQ(cell.printed, "");
  }
  EXPECT_EQ(arrived, 3);
  EXPECT_EQ(late, 2);

  // A saved front still on its way is overtaken by a fresh, larger one: the two travel on as one
  // front with the water of both, and it arrives and delivers as a lone front would.
  pack_cell overtaken(50.0, 15.0, rho, f_h, 50.0);
  overtaken.saved(50.0, rho, hour, f_h, 15.0, 1);
  overtaken.fronts[1] = {0.0, -hour, 50.0, 0.3, 1e6, -1.0};
  overtaken.step(4.0, 0.0);
  const double merged = 0.3 + 4.0 - 50.0 * f_h;
  const double arrival = std::pow(50.0 / C, n) * std::pow((n - 1.0) / merged, n - 1.0);
  ASSERT_EQ(overtaken.st[15], 1.0);
  EXPECT_NEAR(overtaken.fronts[1][3], merged, 1e-14);
  EXPECT_EQ(overtaken.fronts[1][1], -2.0 * hour);
  EXPECT_NEAR(overtaken.fronts[1][4], arrival, 1e-12 * arrival);
  const double left = (n - 1.0) * std::pow(50.0 / C, n / (n - 1.0)) * std::pow(hour, -1.0 / (n - 1.0));
  EXPECT_NEAR(overtaken.st[19], merged - left, 1e-10);
  EXPECT_EQ(overtaken.printed, "");

  // Without depth the front has nowhere to travel: all of it leaves at once.
  pack_cell bare(0.0, 0.0, rho, f_h);
  bare.step(0.5, 0.0);
  EXPECT_EQ(bare.st[19], 0.5);
  EXPECT_EQ(bare.st[15], 0.0);
}

TEST(SnowPack, LimitsOfThePack) {
  // Density over the cap after compaction: 0.55, holding reset, S from the compacted depth.
  pack_cell dense(10.0, 8.0, 0.8, 0.05);
  dense.step(0.0, -5.0);
  EXPECT_DOUBLE_EQ(dense.st[3], 0.55);
  EXPECT_NEAR(dense.st[12], 0.55 * dense.st[2] / 0.93, 1e-14);
  EXPECT_EQ(dense.p[5], dense.st[2]);

  // Thinner than 0.1 cm: no depth, no density, the water stays.
  pack_cell thin(0.05, 0.01, 0.2, 0.05);
  thin.step(0.0, -5.0);
  EXPECT_EQ(thin.st[2], 0.0);
  EXPECT_EQ(thin.st[3], 0.0);
  EXPECT_EQ(thin.st[12], 0.01);
  EXPECT_EQ(thin.p[6], 0.01);

  // A prescribed depth replaces the compaction: S = depth x density.
  pack_cell prescribed(50.0, 9.0, 0.25, 0.05, 30.0);
  prescribed.step(0.0, -5.0);
  EXPECT_EQ(prescribed.st[2], 30.0);
  EXPECT_EQ(prescribed.st[12], 30.0 * 0.25);

  // Rain is stored and the outflow drains it first; with the wind missing the turbulent heat is
  // 10 T. The front carries the rain and the melt less what the dry snow holds.
  pack_cell rained(2.0, 0.6, 0.3, 0.1, 2.0);
  rained.step(1.0, 2.0, 10000.0);
  const double W = hour * 10.0 * 2.0 / 3330464.0 + (2.0 / 80.0 + 1.0) * 1.0 - 2.0 * 0.1;
  EXPECT_NEAR(rained.fronts[1][3], W, 1e-14);
  ASSERT_GT(rained.st[19], 0.5);
  ASSERT_LT(rained.st[19], 1.0);
  EXPECT_NEAR(rained.st[13], 1.0 - rained.st[19], 1e-14);
  EXPECT_EQ(rained.st[12], 0.6);

  // An outflow beyond the rain and the water equivalent empties the pack.
  pack_cell flushed(2.0, 0.1, 0.05, 0.07, 2.0);
  flushed.step(0.1, 20.0, 10.0);
  EXPECT_GT(flushed.st[19], 0.2);
  EXPECT_EQ(flushed.st[2], 0.0);
  EXPECT_EQ(flushed.st[3], 0.0);
  EXPECT_EQ(flushed.st[12], 0.0);

  // An input of at most 0.0001 cm makes no front and leaves nothing.
  pack_cell trickle(0.0, 0.0, 0.3, 0.07);
  trickle.step(0.00005, 0.0);
  EXPECT_EQ(trickle.st[15], 0.0);
  EXPECT_EQ(trickle.st[19], 0.0);

  // Frost through the whole pack stops every front on its way: a saved state with two fronts
  // still travelling meets a cold hour.
  pack_cell frozen(1.0, 0.3, 0.3, 0.07);
  frozen.saved(1.0, 0.3, 7200.0, 0.07, 0.3, 2);
  frozen.fronts[1] = {0.0, -3600.0, 1.0, 0.01, 1e6, -1.0};
  frozen.fronts[2] = {0.0, -5400.0, 1.0, 0.01, 2e6, -1.0};
  frozen.step(0.0, -20.0);
  EXPECT_GE(frozen.st[17], frozen.st[2]);
  EXPECT_EQ(frozen.st[15], 0.0);
  EXPECT_EQ(frozen.st[19], 0.0);

  // The holding fraction ends within 0.005..0.1 with depth, at 0.07 without.
  const struct {
    double depth, holding, P, T, expected;
  } holding[] = {{20.0, 0.05, 5.0, 30.0, 0.005}, {20.0, 0.12, 0.0, -40.0, 0.1}, {0.0, 0.02, 0.0, -5.0, 0.07}};
  for (const auto& h : holding) {
    pack_cell cell(h.depth, h.depth * 0.2, 0.2, h.holding);
    cell.step(h.P, h.T);
    EXPECT_EQ(cell.st[11], h.expected) << h.T;
    EXPECT_EQ(cell.p[7], h.expected);
  }

  // The effective porosity in the state stays in (0, 1]: an empty pore space keeps the saved
  // value, or 0.67 when that is out of range too.
  for (const double saved : {0.5, 0.0}) {
    pack_cell cell(10.0, 3.0, 0.3, 0.07, 10.0);
    cell.p[4] = 0.0;
    cell.st[10] = saved;
    cell.step(0.0, 1.0);
    EXPECT_EQ(cell.st[10], saved > 0.0 ? saved : 0.67);
  }
}

}  // namespace
