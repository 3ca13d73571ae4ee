// Yang's unit stream power capacity for sand, checked against values worked out by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "quality/channel_sediment_routines.hpp"

namespace {

constexpr double nu = 1e-6;  // m2/s
constexpr double d_mm = 0.5;

// Energy slope that gives shear Reynolds number x on a hydraulic radius of 0.5 m.
double slope_for(double x) {
  const double shear = x * nu / (d_mm / 1000.0);
  return shear * shear * 1000.0 / 9810.0 / 0.5;
}

TEST(YangCapacity, CriticalVelocityRatioBands) {
  EXPECT_EQ(pluvo::yang_critical_velocity_ratio(1.19), 0.0);
  EXPECT_NEAR(pluvo::yang_critical_velocity_ratio(1.2), 2.5 / (std::log10(1.2) - 0.06) + 0.66, 1e-15);
  EXPECT_NEAR(pluvo::yang_critical_velocity_ratio(69.9), 2.060970566606055, 1e-14);
  EXPECT_EQ(pluvo::yang_critical_velocity_ratio(70.0), 2.05);
  EXPECT_EQ(pluvo::yang_critical_velocity_ratio(500.0), 2.05);
}

TEST(YangCapacity, ByHand) {
  // 0.5 mm quartz in water of 1e-6 m2/s falls at 0.0703 m/s.
  EXPECT_NEAR(pluvo::sand_fall_velocity(d_mm, nu), 0.07034671505042904, 1e-15);
  const struct {
    double q, a, r, s, expected;
  } cases[] = {
      // An ordinary reach: 2 m3/s through 2 m2, R 0.5 m, S 0.002 (X = 49.5, about 1294 ppm).
      {2.0, 2.0, 0.5, 0.002, 0.0009764468161173613},
      {2.0, 2.0, 0.5, slope_for(69.9), 0.002105977499023712},
      {2.0, 2.0, 0.5, slope_for(70.0), 0.002114358953399921},
      // Below X = 1.2 the bed does not move, however fast the water.
      {2.0, 0.1, 0.5, slope_for(1.19), 0.0},
      // Flow upstream moves as much sand upstream; the slope counts by its size.
      {-2.0, 2.0, 0.5, -0.002, -0.0009764468161173613},
      // Slow water under the critical velocity ratio moves nothing.
      {0.01, 2.0, 0.5, 0.002, 0.0},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(pluvo::yang_sand_capacity(c.q, c.a, c.r, c.s, d_mm, nu), c.expected, 1e-13 + 1e-10 * std::fabs(c.expected))
        << c.q << " " << c.s;
  EXPECT_TRUE(std::isnan(pluvo::yang_sand_capacity(std::nan(""), 2.0, 0.5, 0.002, d_mm, nu)));
}

}  // namespace
