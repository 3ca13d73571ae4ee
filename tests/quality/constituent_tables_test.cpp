#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "quality/constituent_tables.hpp"
#include "record/model_state.hpp"

namespace {

using namespace pluvo;

TEST(ConstituentTables, SlotPairsWaterConstituentsWithSoilPools) {
  const struct {
    int base, number;
    bool water_to_soil;
    int slot;
  } cases[] = {
      {10, 12, true, 12},   // NH4 with the ammonium pool
      {10, 14, true, 20},   // OP with the organic active phosphorus pool
      {10, 11, true, 13},   // NO3 with the nitrate pool
      {10, 13, true, 14},   // ON with organic active nitrogen
      {10, 15, true, 18},   // DP with mineral solution phosphorus
      {10, 10, true, -1},   // NO2 has no pool
      {10, 16, true, -1},   // algae
      {10, 23, true, 23},   // beyond the table: itself
      {10, 9, true, 9},     // below the base: itself
      {10, 12, false, 12},  // the ammonium pool gives NH4
      {10, 13, false, 11},  // the nitrate pool gives NO3
      {10, 14, false, 13},  // organic active nitrogen gives ON
      {10, 18, false, 15},  // mineral solution phosphorus gives DP
      {10, 20, false, 14},  // organic active phosphorus gives OP
      {10, 10, false, -1},  // organic active carbon has no water partner
      {10, 22, false, -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tvx_constituent_slot(c.base, c.number, c.water_to_soil), c.slot) << c.number << " " << c.water_to_soil;
}

TEST(ConstituentTables, NamesByIndex) {
  char name[40] = "untouched";
  tvx_constituent_name(name, 2, false);
  EXPECT_STREQ(name, "Ammonium (NH4+)");
  tvx_constituent_name(name, 12, true);
  EXPECT_STREQ(name, "Organic Stable Phosphorus");
  tvx_constituent_name(name, 11, false);
  EXPECT_STREQ(name, "Dispersion coefficient");
  std::strcpy(name, "untouched");
  tvx_constituent_name(name, 12, false);
  tvx_constituent_name(name, 13, true);
  tvx_constituent_name(name, -1, true);
  EXPECT_STREQ(name, "untouched");
}

// Soil class 1: saturated contents 0.45 and 0.40, layers of 20 and 30 cm.
TEST(ConstituentTables, SoilLayerWaterContents) {
  const struct {
    int n;
    int water_table_on;
    double gw_depth_m;  // below the surface, with the water table
    double A, B;
    double t[4];
    double theta[4], sat[4];
  } cases[] = {
      // No water table: D = 51 cm, neither layer is cut.
      {2, 0, 0.0, 6.0, 9.0, {0, 0.2, 0.3, 0}, {0, 0.3, 0.3, 0}, {0, 0.45, 0.40, 0}},
      // Water table at the surface: saturated throughout.
      {2, 1, 0.0, 6.0, 9.0, {0, 0.2, 0.3, 0}, {0, 0.45, 0.40, 0}, {0, 0.45, 0.40, 0}},
      {3, 1, 0.0, 6.0, 9.0, {0, 0.05, 0.15, 0.3}, {0, 0.45, 0.45, 0.40}, {0, 0.45, 0.45, 0.40}},
      // Three layers, D = 10 cm between T1 = 5 and T12 = 20: layer 1 holds A / D, layer 2 its
      // share of A above D and saturation below, layer 3 lies below D.
      {3, 1, 0.10, 2.0, 9.0, {0, 0.05, 0.15, 0.3},
       {0, 2.0 / 10.0, ((10.0 - 5.0) * 2.0 / 10.0 + (20.0 - 10.0) * 0.45) / 15.0, 0.40}, {0, 0.45, 0.45, 0.40}},
      // Two layers, D = 30 cm cuts layer 2 (T1 = 20, T12 = 50).
      {2, 1, 0.30, 6.0, 9.0, {0, 0.2, 0.3, 0}, {0, 6.0 / 20.0, ((50.0 - 30.0) * 0.40 + 9.0) / 30.0, 0}, {0, 0.45, 0.40, 0}},
  };
  auto m = std::make_unique<model_state>();  // one record: its soil table is large
  for (const auto& c : cases) {
    m->sm_water_top = {0.0, c.A};
    m->sm_water_lower = {0.0, c.B};
    m->elevation = {0.0, 100.0};
    m->elevgw = {0.0, 100.0 - c.gw_depth_m};
    m->water_table_on = c.water_table_on;
    m->soiltype = {0, 1};
    m->layered_soil_table[1].values[7] = 0.45;
    m->layered_soil_table[1].values[8] = 0.40;
    m->layered_soil_table[1].values[22] = 20.0;
    m->layered_soil_table[1].values[23] = 30.0;
    node_matrix<double> theta, sat;
    theta.assign(1, 3);
    sat.assign(1, 3);
    weight_soil_layers(*m, 1, c.t, c.n, theta, sat);
    for (int k = 1; k <= c.n; ++k) {
      EXPECT_NEAR(theta[1][k], c.theta[k], 1e-12) << c.n << " layers, D " << c.gw_depth_m << ", layer " << k;
      EXPECT_EQ(sat[1][k], c.sat[k]);
    }
  }
}

}  // namespace
