#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/printed.hpp"
#include "groundwater/pipe_hydraulics.hpp"

namespace {

using namespace pluvo;

constexpr double pi = 3.14159265358979323846;

TEST(PipeSections, AreaPerimeterAndTopWidthOfEachKind) {
  struct row {
    int kind;
    double D, y, B;
    double area, perimeter, top;
  };
  const double arch_full = 0.450552317 + 0.850625935 - 0.0265118802 - 0.48046422;
  const double arch_radius = 1.1666329 - 0.0382820242 - 1.32389992 + 1.04200851 - 0.526837711;
  const double arch_top = 3.13077957 + 0.656758295 - 9.66782176 + 11.9256017 - 5.88560436;
  const row rows[] = {
      {pipe_circular, 1.0, 0.5, 0.0, pi / 8, pi / 2, 1.0},
      {pipe_circular, 1.0, 1.2, 0.0, 3.1415926 / 4, 3.1415926, 0.0},  // full
      {pipe_circular, 1.0, -0.1, 0.0, 0.0, 0.0, 0.0},
      {pipe_arch, 2.0, 2.0, 3.0, arch_full * 6.0, arch_full * 6.0 / (arch_radius * 2.0), arch_top * 3.0},
      {pipe_arch, 2.0, 0.0, 3.0, 0.0, 0.0, 0.0},
      {pipe_box, 1.0, -0.1, 2.0, 0.0, 2.0, 2.0},
      {pipe_box, 1.0, 0.4, 2.0, 0.8, 2.8, 2.0},
      {pipe_box, 1.0, 1.0, 2.0, 2.0, 6.0, 0.0},
  };
  for (const row& r : rows) {
    const pipe_section s = pipe_section_properties(r.D, r.y, r.B, r.kind);
    EXPECT_NEAR(s.pipe_area, r.area, 1e-7) << r.kind << " at " << r.y;
    EXPECT_NEAR(s.pipe_wet_perim, r.perimeter, 1e-7) << r.kind << " at " << r.y;
    EXPECT_NEAR(s.pipe_top_width, r.top, 1e-7) << r.kind << " at " << r.y;
  }
  EXPECT_NEAR(arch_full, 0.794202, 1e-6);
  EXPECT_NEAR(section_flow_area(pipe_circular, 1.0, 0.0, 0.5), pi / 8, 1e-12);
  EXPECT_DOUBLE_EQ(section_flow_area(pipe_box, 1.0, 2.0, 0.3), 0.6);
}

// Critical flow: the Froude number of the section is one.
TEST(PipeDepths, CriticalDepthGivesFroudeOne) {
  for (const int kind : {pipe_circular, pipe_box}) {
    for (const double Q : {0.05, 0.3, 1.0}) {
      double yc = -1.0;
      ASSERT_EQ(superlink_crit_calc(kind, 1.0, 1.5, Q, yc), 0);
      const pipe_section s = pipe_section_properties(1.0, yc, 1.5, kind);
      EXPECT_NEAR(Q * Q * s.pipe_top_width / (9.81 * std::pow(s.pipe_area, 3)), 1.0, 1e-8) << kind << " Q " << Q;
    }
  }
  double yc = 0.0;
  const std::string out = printed_by([&] { EXPECT_EQ(superlink_crit_calc(pipe_arch, 1.0, 1.0, 1.0, yc), -1); });
  EXPECT_EQ(out, "arch culverts not yet supported in subroutine superlink_crit_calc() \nprogram terminated\n");
}

// The Manning discharge of a section at depth y.
double manning_flow(int kind, double y, double n, double S) {
  const pipe_section s = pipe_section_properties(1.0, y, 1.0, kind);
  return std::sqrt(S) / n * s.pipe_area * std::pow(s.pipe_area / s.pipe_wet_perim, 2.0 / 3.0);
}

// Normal depths agree with the depth at which Manning's formula gives the flow, found by bisection.
TEST(PipeDepths, NormalDepthSatisfiesManning) {
  const double n = 0.013, S = 0.002;
  for (const int kind : {pipe_circular, pipe_box}) {
    for (const double Q : {0.02, 0.2, 0.5}) {
      double yn = -1.0;
      ASSERT_EQ(superlink_norm_calc(kind, 1.0, 1.0, n, Q, S, yn), 0) << kind << " Q " << Q;
      double low = 0.0, high = 0.9;
      for (int i = 0; i < 200; ++i) (manning_flow(kind, (low + high) / 2, n, S) < Q ? low : high) = (low + high) / 2;
      EXPECT_NEAR(yn, low, 1e-6) << kind << " Q " << Q;
    }
  }
  // Far above what the pipe carries: it flows full.
  double yn = 0.0;
  ASSERT_EQ(superlink_norm_calc(pipe_circular, 1.0, 0.0, n, 50.0, S, yn), 0);
  EXPECT_EQ(yn, 1.0);
  const std::string out = printed_by([&] { EXPECT_EQ(superlink_norm_calc(pipe_arch, 1, 1, n, 1, S, yn), -1); });
  EXPECT_EQ(out, "arch culverts not yet supported in subroutine superlink_norm_calc() \nprogram terminated\n");
}

TEST(PipeInlets, TakeTheCellsWaterByKind) {
  const double area = 100.0, dt = 10.0;
  auto take = [&](int kind, double depth, double& volume, std::vector<double>& ov) {
    ov = {0.0, depth};
    return inlet_flow(kind, 0, 0.0, 10.0, 1.0, dt, ov, 1, area, 0.6, 0.5, volume);
  };
  std::vector<double> ov;
  double v1 = 0, v3 = 0, v10 = 0, v11 = 0;
  const double q1 = take(1, 0.1, v1, ov);
  const double q3 = take(3, 0.1, v3, ov);
  EXPECT_NEAR(q1, 3.0 * (3.0 * 3.28 * 0.6) * std::pow(0.328, 1.5) * 0.02832, 1e-12);  // the weir at 0.328 ft
  EXPECT_NEAR(q3, 3.0 * q1, 1e-12);
  EXPECT_NEAR(ov[1], 0.1 - v3 / area, 1e-15);  // what enters leaves the cell
  EXPECT_NEAR(take(10, 0.2, v10, ov), 0.2 * area / dt, 1e-12);
  EXPECT_EQ(ov[1], 0.0);
  EXPECT_EQ(v10, 0.2 * area);
  EXPECT_EQ(take(11, 0.2, v11, ov), 0.0);
  EXPECT_EQ(ov[1], 0.2);
  // A small cell gives no more than it holds.
  ov = {0.0, 0.05};
  double v = 0;
  const double q = inlet_flow(9, 0, 0.0, 10.0, 1.0, dt, ov, 1, 1.0, 3.0, 1.0, v);
  EXPECT_DOUBLE_EQ(v, 0.05);
  EXPECT_DOUBLE_EQ(q, 0.005);
  EXPECT_DOUBLE_EQ(ov[1], 0.0);
  // With release on, a head above the ground pushes water out of the pipe.
  ov = {0.0, 0.0};
  EXPECT_NEAR(inlet_flow(2, 1, 10.5, 10.0, 4.0, dt, ov, 1, area, 0.6, 0.5, v), -0.4, 1e-12);
  EXPECT_NEAR(v, -4.0, 1e-12);
}

}  // namespace
