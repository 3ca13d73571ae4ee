#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "overland_fixture.hpp"
#include "soil/soil_phases.hpp"

namespace {

using pluvo_test::grid_spec;
using pluvo_test::make_overland_grid;
using pluvo_test::stored_volume;

// A storm on a tilted V with Green and Ampt soil: every drop of rain ends at the outlet,
// in the soil or still on the grid.
TEST(RunoffBalance, RainEqualsOutflowInfiltrationAndStorage) {
  const int side = 21;
  const grid_spec g = pluvo_test::tilted_v(side);
  auto m = make_overland_grid(g);
  const size_t size = size_t(m->cell_count) + 1;
  m->green_ampt_on = 1;
  m->ks_cell.assign(size, 2e-6);
  m->hc_cell.assign(size, 0.1);
  m->porosity_cell.assign(size, 0.45);
  m->initial_moisture_cell.assign(size, 0.2);

  const double dt = 10.0, rate = 60.0 / 3600000.0;
  double rain = 0.0;
  for (int step = 1; step <= 360; step++) {
    const bool raining = step <= 180;
    if (raining) {
      for (int i = 1; i <= m->cell_count; i++) m->ov_depth[i] += rate * dt;
      rain += rate * dt * m->cell_count * g.dx * g.dx;
    }
    m->rain_on = raining;
    pluvo_test::due_in(*m, dt);
    m->infil_interval = m->step_interval;
    m->infil_last_time = m->step_last_time;
    m->infil_next_time = m->cur_julian;
    pluvo::compute_infiltration(*m);
    pluvo::route_overland_step(*m);
    ASSERT_EQ(pluvo::error_state.error_code, 0);
  }
  const double out = m->total_discharge_volume, soil = m->infil_volume_total;
  const double left = stored_volume(*m);
  EXPECT_GT(out, 0.05 * rain);
  EXPECT_GT(soil, 0.05 * rain);
  EXPECT_LT(std::fabs(rain - out - soil - left) / rain, 1e-10);
  // The V is symmetric about its valley column.
  for (int r = 1; r <= side; r++)
    for (int k = 1; k <= 10; k++) {
      const double west = m->ov_depth[size_t(m->cell_number_grid(r, 11 - k))];
      const double east = m->ov_depth[size_t(m->cell_number_grid(r, 11 + k))];
      EXPECT_NEAR(west, east, 1e-12 * std::max(1.0, west)) << "row " << r << " offset " << k;
    }
}

}  // namespace
