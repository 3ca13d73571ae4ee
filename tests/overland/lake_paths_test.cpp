#include <gtest/gtest.h>

#include <string>

#include "overland/explicit_scheme.hpp"
#include "overland_fixture.hpp"

namespace {

using pluvo_test::grid_spec;
using pluvo_test::make_overland_grid;

struct lake_case {
  const char* name;
  bool channel_lake;
  double lake_level;  // m; the ground is level at 0
  bool into_lake;
};

// Cells 1 and 2 hold 5 cm of water; cells 3 and 4 are one lake. Water runs into a low lake
// and out of a high one; the lake cells' own depths never change and no water is lost.
TEST(ExplicitLakePaths, ExchangeWithALakeKeepsTheWater) {
  const lake_case cases[] = {
      {"channel lake below", true, -0.5, true},
      {"channel lake above", true, 0.2, false},
      {"overland lake below", false, -0.5, true},
      {"overland lake above", false, 0.2, false},
  };
  for (const lake_case& c : cases) {
    auto m = make_overland_grid(grid_spec{.cols = 4, .dx = 10.0, .outlet_col = 1});
    m->chan_explic_on = 1;  // no outlet drain
    m->ov_depth = {0.0, 0.05, 0.05, 0.3, 0.3};
    const std::vector<int> mask = {0, 0, 0, 1, 1};
    double lake_water = 0.0;
    if (c.channel_lake) {
      m->lakes_on = 1;
      m->nlakes = 1;
      m->lake_mask = mask;
      m->lake_elev = {0.0, c.lake_level};
      m->lake_volume = {0.0, 1000.0};
      m->lake_in_dv = m->lake_out_dv = {0.0, 0.0};
    } else {
      m->overland_lakes_on = 1;
      m->oland_lake_new = mask;
      m->overland_lake_records.resize(2);
      m->overland_lake_records[1].wse = c.lake_level;
    }
    const double before = (m->ov_depth[1] + m->ov_depth[2]) * 100.0;
    pluvo::route_overland_explicit(*m, 5.0);
    ASSERT_EQ(pluvo::error_state.error_code, 0) << c.name;
    EXPECT_EQ(m->ov_depth[3], 0.3) << c.name;
    EXPECT_EQ(m->ov_depth[4], 0.3) << c.name;
    const double after = (m->ov_depth[1] + m->ov_depth[2]) * 100.0;
    if (c.channel_lake) {
      lake_water = m->lake_volume[1] - 1000.0;
      EXPECT_NEAR(lake_water, m->lake_in_dv[1] - m->lake_out_dv[1], 1e-12) << c.name;
    } else {
      lake_water = m->overland_lake_records[1].added_volume;
    }
    EXPECT_NEAR(before, after + lake_water, 1e-12) << c.name;
    EXPECT_EQ(lake_water > 0.0, c.into_lake) << c.name;
    EXPECT_NE(lake_water, 0.0) << c.name;
    EXPECT_EQ(m->ov_qx[3], 0.0) << c.name;  // the face inside the lake carries nothing
  }
}

// A channel lake whose level stands well above the land but that holds only 0.5 m3 gives that
// and no more, over sub-steps as over one: it ends empty, not below, and the land gains it all.
TEST(ExplicitLakePaths, ALakeGivesNoMoreThanItHolds) {
  for (const double reduced : {0.0, 1.0}) {
    auto m = make_overland_grid(grid_spec{.cols = 4, .dx = 10.0, .outlet_col = 1});
    m->chan_explic_on = 1;  // no outlet drain
    m->ov_depth = {0.0, 0.05, 0.05, 0.0, 0.0};
    m->lakes_on = 1;
    m->nlakes = 1;
    m->lake_mask = {0, 0, 0, 1, 1};
    m->lake_elev = {0.0, 0.2};
    m->lake_volume = {0.0, 0.5};
    m->lake_in_dv = m->lake_out_dv = {0.0, 0.0};
    if (reduced > 0.0) {  // an earlier call left a shorter sub-step
      m->explicit_control.calls_left = 2;
      m->explicit_control.reduced_substep = reduced;
    }
    const double before = (m->ov_depth[1] + m->ov_depth[2]) * 100.0;
    pluvo::route_overland_explicit(*m, 5.0);
    ASSERT_EQ(pluvo::error_state.error_code, 0);
    EXPECT_GE(m->lake_volume[1], 0.0) << reduced;
    EXPECT_LT(m->lake_volume[1], 1e-12) << reduced;
    EXPECT_NEAR(m->lake_out_dv[1], 0.5, 1e-12) << reduced;
    EXPECT_NEAR((m->ov_depth[1] + m->ov_depth[2]) * 100.0 - before, 0.5 - m->lake_in_dv[1], 1e-12) << reduced;
  }
}

TEST(ExplicitLakePaths, LakeNumberBeyondTheLakesStopsTheRun) {
  auto m = make_overland_grid(grid_spec{.cols = 2});
  m->lakes_on = 1;
  m->nlakes = 1;
  m->lake_mask = {0, 0, 2};
  m->lake_elev = m->lake_volume = m->lake_in_dv = m->lake_out_dv = {0.0, 0.0};
  testing::internal::CaptureStdout();
  pluvo::route_overland_explicit(*m, 5.0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Cell 2 belongs to channel lake 2, but only 1 lakes are defined.\n\n");  // and reported
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  pluvo_test::clear_error_state();
}

}  // namespace
