// Constituent mass in the soil layers: each constituent is conserved over the layers and the
// seepage totals, every constituent of a step sees the same drainage, and the static and
// no-flux switches act as stated.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "record/model_state.hpp"
#include "soil/soil_layer_mass.hpp"

namespace {

using pluvo::model_state;

struct constituent {
  std::vector<std::array<double, 4>> mass{{}, {0.0, 5.0, 3.0, 2.0}};
  std::vector<std::array<double, 4>> conc{{}, {}};
  std::vector<std::array<double, 4>> dissolved{{}, {0.0, 0.5, 0.5, 0.5}};
  std::array<double, 4> depth{0.0, 0.1, 0.1, 0.4};
  std::vector<double> infil{0.0, 0.7}, uptake{0.0, 0.2}, exfil{0.0, 0.0}, sed{0.0, 0.0};
  double down = 0.0, up = 0.0;
  pluvo::soil_constituent_tables tables() {
    return {mass, conc, dissolved, depth, infil, uptake, exfil, sed, nullptr, down, up};
  }
  double total() const { return mass[1][1] + mass[1][2] + mass[1][3]; }
};

// One cell of 10 m with 2 cm drained from the top layer and 1 cm from the bottom in the step.
std::unique_ptr<model_state> one_cell(int layers) {
  auto m = std::make_unique<model_state>();
  m->cell_count = 1;
  m->cell_size = 10.0;
  m->porosity_cell = {0.0, 0.4};
  m->surface_moisture = {0.0, 0.3};
  m->sm_top_drainage = {0.0, 2.0};
  m->sm_bottom_drainage = {0.0, 1.0};
  m->yes_exfil = {0, 0};
  m->soil_moist_depth_cm = 60.0;
  m->top_layer_depth_cm = 20.0;
  m->mixing_layer_depth_cm = 10.0;
  m->soil_contam_layers = layers;
  if (layers == 2) m->inf_redist_on = 1;
  if (layers == 3) {
    m->inf_layered_soil_on = 1;
    m->soiltype = {0, 2};
    double* v = m->layered_soil_table[2].values;
    v[pluvo::soil_col_thickness] = 20.0;
    v[pluvo::soil_col_thickness + 1] = 40.0;
    v[pluvo::soil_col_porosity] = 0.45;
    v[pluvo::soil_col_porosity + 1] = 0.35;
  }
  m->soil_constituent_block.layer_theta = {{}, {0.0, 0.3, 0.3, 0.3}};
  return m;
}

TEST(SoilLayerMass, EachConstituentIsConservedOverLayersAndSeepage) {
  for (int layers : {1, 2, 3}) {
    SCOPED_TRACE(layers);
    auto m = one_cell(layers);
    constituent c;
    const double before = c.total();
    auto t = c.tables();
    pluvo::update_soil_layer_mass(*m, m->soil_constituent_block, t);
    EXPECT_NEAR(c.total() - before, 0.7 - 0.2 - c.down + c.up, 1e-12);
    if (layers == 1) {
      EXPECT_EQ(c.down, 0.0);
    } else {
      EXPECT_GT(c.down, 0.0);
    }
    for (int l = 1; l <= layers; ++l) EXPECT_GE(c.mass[1][size_t(l)], 0.0);
    // Concentration per soil mass: mass / ((1 - phi) depth 2.65 1000 area) x 1000.
    const double phi = layers == 3 ? 0.45 : 0.4;
    EXPECT_NEAR(c.conc[1][1], c.mass[1][1] / ((1.0 - phi) * c.depth[1] * 2.65 * 1000.0 * 100.0) * 1000.0, 1e-15);
  }
}

TEST(SoilLayerMass, ADrainedLayerGivesNoMoreThanItHolds) {
  auto m = one_cell(2);
  m->sm_top_drainage[1] = 500.0;  // far more water than the layer holds: its dissolved share runs dry
  constituent c;
  c.dissolved[1] = {0.0, 1.0, 1.0, 1.0};
  c.infil[1] = 0.0;
  c.uptake[1] = 0.0;
  const double before = c.total();
  auto t = c.tables();
  pluvo::update_soil_layer_mass(*m, m->soil_constituent_block, t);
  EXPECT_EQ(c.mass[1][1], 0.0);
  EXPECT_NEAR(c.total() - before, -c.down + c.up, 1e-12);
}

TEST(SoilLayerMass, TwoConstituentsSeeTheSameDrainageUntilTheStepEnds) {
  auto m = one_cell(3);
  constituent first, second;
  auto t1 = first.tables();
  auto t2 = second.tables();
  pluvo::update_soil_layer_mass(*m, m->soil_constituent_block, t1);
  pluvo::update_soil_layer_mass(*m, m->soil_constituent_block, t2);
  EXPECT_GT(first.down, 0.0);
  EXPECT_EQ(first.down, second.down);
  EXPECT_EQ(first.mass, second.mass);
  pluvo::consume_soil_drainage(*m);
  EXPECT_EQ(m->sm_top_drainage[1], 0.0);
  EXPECT_EQ(m->sm_bottom_drainage[1], 0.0);
}

TEST(SoilLayerMass, StaticAndNoFluxSwitches) {
  {
    auto m = one_cell(2);
    m->soil_static_conc_on = 1;
    constituent c;
    const auto before = c.mass;
    auto t = c.tables();
    pluvo::update_soil_layer_mass(*m, m->soil_constituent_block, t);
    EXPECT_EQ(c.mass, before);  // nothing moves
    EXPECT_GT(c.down, 0.0);     // the bottom flux is still booked
    EXPECT_GT(c.conc[1][2], 0.0);
  }
  {
    auto m = one_cell(3);
    m->soil_noflux_on = 1;
    constituent c;
    auto t = c.tables();
    pluvo::update_soil_layer_mass(*m, m->soil_constituent_block, t);
    EXPECT_NEAR(c.mass[1][1], 5.0 + 0.7 - 0.2, 1e-12);  // all infiltrating mass stays on top
    EXPECT_EQ(c.mass[1][2], 3.0);
    EXPECT_EQ(c.mass[1][3], 2.0);
    EXPECT_EQ(c.down, 0.0);
  }
  {
    // The redistribution scheme with the nominal column no deeper than the top layer splits the
    // infiltrating mass between the mixing layer (share m/Dn) and the layer below.
    auto m = one_cell(2);
    m->soil_noflux_on = 0;
    m->top_layer_depth_cm = 60.0;
    m->sm_bottom_drainage[1] = 0.0;
    constituent c;
    c.uptake[1] = 0.0;
    auto t = c.tables();
    pluvo::update_soil_layer_mass(*m, m->soil_constituent_block, t);
    EXPECT_NEAR(c.mass[1][1], 5.0 + 0.7 * 10.0 / 60.0, 1e-12);
    EXPECT_NEAR(c.mass[1][2], 3.0 + 0.7 * 50.0 / 60.0, 1e-12);
  }
}

TEST(SoilLayerMass, AnExchangeRemovesAtMostWhatIsAvailable) {
  auto m = one_cell(2);
  std::array<double, 4> mass{0.0, 4.0, 2.0, 0.0}, conc{};
  const std::array<double, 4> depth{0.0, 0.1, 0.2, 0.0};
  double removed = 0.0;
  pluvo::exchange_soil_layer_mass(*m, 1, 1, 0.1, 1.0, 0.5, mass, conc, depth, removed);
  EXPECT_NEAR(removed, 0.2, 1e-15);
  EXPECT_NEAR(mass[1], 3.8, 1e-15);
  pluvo::exchange_soil_layer_mass(*m, 1, 2, 50.0, 1.0, 0.5, mass, conc, depth, removed);
  EXPECT_NEAR(removed, 1.2, 1e-15);
  EXPECT_NEAR(mass[2], 1.0, 1e-15);
  EXPECT_NEAR(conc[2], 1.0 / (0.6 * 0.2 * 2.65 * 1000.0 * 100.0) * 1000.0, 1e-18);
  m->soil_static_conc_on = 1;
  pluvo::exchange_soil_layer_mass(*m, 1, 2, 0.5, 1.0, 1.0, mass, conc, depth, removed);
  EXPECT_NEAR(removed, 1.7, 1e-15);
  EXPECT_NEAR(mass[2], 1.0, 1e-15);
}

}  // namespace
