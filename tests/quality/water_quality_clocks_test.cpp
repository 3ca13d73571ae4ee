#include <gtest/gtest.h>

#include <memory>

#include "quality/water_quality_clocks.hpp"
#include "record/model_state.hpp"

namespace {

using namespace pluvo;

// The step window is [10, 11), the infiltration clock [20, 21), the soil-moisture clock [30, 31).
TEST(WaterQualityClocks, StartWithTheirDrivingClocks) {
  auto m = std::make_unique<model_state>();
  m->step_last_time = 10.0;
  m->step_next_time = 11.0;
  m->step_interval = 0.5;
  m->infil_last_time = 20.0;
  m->infil_next_time = 21.0;
  m->soil_moisture_last_time = 30.0;
  m->soil_moisture_next_time = 31.0;
  m->ov_con_trans_on = 1;
  m->contam_table_on = 0;
  m->nutrients_on = 1;
  m->soil_con_trans_on = 1;
  m->soil_moisture_accounting_on = 1;
  m->chan_explic_on = 0;
  start_water_quality_clocks(*m);
  const struct {
    double next, last, want_next, want_last;
  } pairs[] = {
      {m->ov_precip_load_next_time, m->ov_precip_load_last_time, 11.0, 10.0},
      {m->ov_infil_wq_next_time, m->ov_infil_wq_last_time, 21.0, 20.0},
      {m->ov_uptake_next_time, m->ov_uptake_last_time, 0.0, 0.0},  // no contaminant table
      {m->ov_decay_next_time, m->ov_decay_last_time, 0.0, 0.0},
      {m->ov_tvx_next_time, m->ov_tvx_last_time, 11.0, 10.0},
      {m->ov_tvx_soil_next_time, m->ov_tvx_soil_last_time, 11.0, 10.0},
      {m->ov_outlet_wq_next_time, m->ov_outlet_wq_last_time, 11.0, 10.0},
      {m->ov_chan_wq_next_time, m->ov_chan_wq_last_time, 0.0, 0.0},  // no explicit channels
      {m->soil_con_next_time, m->soil_wq_last_time, 31.0, 30.0},
  };
  for (const auto& p : pairs) {
    EXPECT_EQ(p.next, p.want_next);
    EXPECT_EQ(p.last, p.want_last);
  }
  EXPECT_EQ(m->ov_con_interval, 0.5);
  // Without soil transport the soil pair follows the infiltration clock.
  m->soil_con_trans_on = 0;
  start_water_quality_clocks(*m);
  EXPECT_EQ(m->soil_con_next_time, 21.0);
  EXPECT_EQ(m->soil_wq_last_time, 20.0);
}

TEST(WaterQualityClocks, EventTotalsClearedRunTotalsKept) {
  auto m = std::make_unique<model_state>();
  for (checked_array<double>* a : {&m->event_ov_decay_mass, &m->event_soil_decay, &m->OV_MASS_DECAY})
    checked_array_grow_fill(*a, 2, 7.0);
  clear_event_water_quality(*m);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(m->event_ov_decay_mass[k], 0.0);
    EXPECT_EQ(m->event_soil_decay[k], 0.0);
    EXPECT_EQ(m->OV_MASS_DECAY[k], 7.0);
  }
}

}  // namespace
