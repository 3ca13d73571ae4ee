#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/error_state.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"

namespace {

using pluvo::model_state;

// Green and Ampt with redistribution and soil-moisture accounting on cells of 10 m,
// ground at 100 m, a 1 m soil column, moisture 0.2 and porosity 0.45.
std::unique_ptr<model_state> redistribution_soil(int cells) {
  auto m = std::make_unique<model_state>();
  m->inf_redist_on = 1;
  m->soil_moisture_accounting_on = 1;
  m->cell_count = cells;
  m->cell_size = 10.0;
  m->soil_moist_depth_cm = 100.0;
  m->top_layer_depth_cm = 30.0;
  const size_t n = size_t(cells) + 1;
  m->elevation.assign(n, 100.0);
  m->initial_moisture_cell.assign(n, 0.2);
  m->porosity_cell.assign(n, 0.45);
  m->residual_sat_cell.assign(n, 0.05);
  for (auto* v : {&m->sm_depth_cell, &m->sm_water_cell, &m->sm_water_top, &m->sm_water_lower,
                  &m->infil_rate, &m->infil_depth, &m->infil_depth_prev, &m->cum_infil_depth,
                  &m->redist_theta, &m->redist_depth, &m->redist_surface_theta})
    v->assign(n, 0.0);
  m->yes_exfil.assign(n, 0);
  return m;
}

struct table_case {
  const char* name;
  double table_elevation;  // m
  int channel_lake;
  double moisture, column_cm;
  int yes_exfil, exfil_present;
};

TEST(InitialSoilWater, WaterTableLimitsTheSoilColumn) {
  const table_case cases[] = {
      {"table 0.1 m above the ground", 100.1, 0, 0.45, 0.0, 1, 1},
      {"table at the ground", 100.0, 0, 0.45, 0.0, 1, 1},
      {"table above the ground of a channel lake", 100.1, 1, 0.45, 0.0, 0, 0},
      {"table 0.5 m below the ground", 99.5, 0, 0.2, 50.0, 0, 0},
      {"table below the soil column", 98.0, 0, 0.2, 100.0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = redistribution_soil(1);
    m->water_table_on = 1;
    m->elevgw.assign(2, c.table_elevation);
    m->lakes_on = c.channel_lake;
    m->lake_mask = {0, c.channel_lake};
    pluvo::init_soil_water_state(*m);
    EXPECT_DOUBLE_EQ(m->initial_moisture_cell[1], c.moisture);
    EXPECT_DOUBLE_EQ(m->sm_depth_cell[1], c.column_cm);
    EXPECT_EQ(m->yes_exfil[1], c.yes_exfil);
    EXPECT_EQ(m->exfil_cells_present, c.exfil_present);
    // The column holds its depth times its moisture, split at the top layer.
    EXPECT_DOUBLE_EQ(m->sm_water_cell[1], c.column_cm * c.moisture);
    EXPECT_DOUBLE_EQ(m->sm_water_top[1] + m->sm_water_lower[1], m->sm_water_cell[1]);
    EXPECT_DOUBLE_EQ(m->sm_volume_initial, c.column_cm * c.moisture / 100.0 * 100.0);
  }
}

TEST(InitialSoilWater, MissingTopLayerTakesTheSoilMoistureDepth) {
  auto m = redistribution_soil(1);
  m->top_layer_depth_cm = 0.0;
  m->mixing_layer_depth_cm = 0.0;
  pluvo::init_soil_water_state(*m);
  EXPECT_DOUBLE_EQ(m->top_layer_depth_cm, 100.0);
  EXPECT_DOUBLE_EQ(m->mixing_layer_depth_cm, 100.0);
  EXPECT_DOUBLE_EQ(m->sm_water_top[1], 20.0);
  EXPECT_DOUBLE_EQ(m->sm_water_lower[1], 0.0);
}

TEST(InitialSoilWater, StartingVolumesAreSummedInCubicMetres) {
  auto m = redistribution_soil(3);
  m->water_table_on = 1;
  m->gw_simulation_on = 1;
  m->gw_moisture_factor = 1.0;
  m->elevgw = {0.0, 98.0, 98.0, 97.0};
  m->bottom_elev = {0.0, 90.0, 90.0, 90.0};
  m->gw_porosity.assign(4, 0.3);
  m->gw_inf_redist_theta.assign(4, 0.0);
  pluvo::init_soil_water_state(*m);
  const double area = 100.0;
  // Aquifer: (8 + 8 + 7) m of saturated thickness at porosity 0.3.
  EXPECT_DOUBLE_EQ(m->gw_volume_initial, 23.0 * 0.3 * area);
  // Soil: 1 m columns at 0.2, and the unsaturated ground below them at 0.3.
  const double soil = 3 * 0.2 * area;
  const double below = (1.0 + 1.0 + 2.0) * 0.3 * area;
  EXPECT_DOUBLE_EQ(m->sm_volume_initial, soil);
  EXPECT_DOUBLE_EQ(m->subsurface_volume_initial, soil + below);
  EXPECT_DOUBLE_EQ(m->soil_volume_initial_simple, soil + below);
  EXPECT_DOUBLE_EQ(m->subsurface_total_initial, soil + below + 23.0 * 0.3 * area);
}

TEST(InitialSoilWater, OverlandLakeBelowItsGroundStopsTheRun) {
  auto m = redistribution_soil(2);
  m->overland_lakes_on = 1;
  m->overland_lake_records.resize(2);
  m->overland_lake_records[1].initial_wse = 100.2;
  m->oland_lake_mask = {0, 1, 1};
  m->elevation = {0.0, 100.0, 100.21};
  testing::internal::CaptureStdout();
  pluvo::init_soil_water_state(*m);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("\nWARNING: initial water surface elevation in lake 1 is 100.200000 which is\n"
                      "less than the land surface elevation in grid cell 2, 100.210000.\n"
                      "You should either raise your initial lake elevation or lower that grid\n"
                      "cell elevation.  Program stopped.\n",
                      0),
            0u);
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  pluvo::error_state.error_terminate = 0;
}

TEST(InitialSoilWater, LayeredSoilColumnHoldsItsLayers) {
  auto m = redistribution_soil(2);
  m->inf_redist_on = 0;
  m->inf_layered_soil_on = 1;
  m->soiltype = {0, 1, 1};
  auto& v = m->layered_soil_table[1].values;
  v[7] = 0.4, v[8] = 0.35, v[9] = 0.3;  // porosity
  v[22] = 20.0, v[23] = 40.0;            // thickness of layers 1 and 2, cm
  m->THETA_ML.assign(3, {0.0, 0.25, 0.3, 0.3});
  m->wetdep.assign(3, 5.0);
  m->water_table_on = 1;
  m->elevgw = {0.0, 90.0, 99.7};  // deep, and 30 cm below the ground
  pluvo::init_soil_water_state(*m);
  EXPECT_DOUBLE_EQ(m->sm_depth_cell[1], 60.0);
  EXPECT_DOUBLE_EQ(m->sm_water_cell[1], 20.0 * 0.25 + 40.0 * 0.3);
  // The table cuts the column 10 cm into layer 2.
  EXPECT_NEAR(m->sm_depth_cell[2], 30.0, 1e-9);
  EXPECT_NEAR(m->sm_water_cell[2], 20.0 * 0.25 + 10.0 * 0.3, 1e-9);
  EXPECT_DOUBLE_EQ(m->wetdep[1], 0.0);
}

}  // namespace
