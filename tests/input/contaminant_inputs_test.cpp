#include <gtest/gtest.h>

#include <memory>

#include "common/printed.hpp"
#include "input/constituents.hpp"
#include "input/input_phases.hpp"
#include "record/model_state.hpp"
#include "table_fixture.hpp"

namespace {

using namespace pluvo;

std::unique_ptr<model_state> model_with_cells(int cells) {
  error_state = error_state_record();
  error_log_file = nullptr;
  auto m = std::make_unique<model_state>();
  m->cell_count = cells;
  m->silent_mode = 1;
  return m;
}

TEST(SoilContaminantLayers, FollowTheInfiltrationScheme) {
  const struct {
    const char* label;
    int green_ampt, redist, layered;
    double soil_cm, top_cm, mixing_cm;
    int layers;
  } cases[] = {
      {"redistribution, no mixing layer", 0, 1, 0, 100.0, 30.0, 0.0, 2},
      {"redistribution with a mixing layer", 0, 1, 0, 100.0, 30.0, 5.0, 3},
      {"redistribution, one deep layer", 0, 1, 0, 100.0, 0.0, 0.0, 1},
      {"Green and Ampt", 1, 0, 0, 100.0, 30.0, 5.0, 1},
      {"layered, no mixing layer", 0, 0, 1, 100.0, 30.0, 0.0, 2},
      {"layered with a mixing layer", 0, 0, 1, 100.0, 30.0, 5.0, 3},
  };
  for (const auto& c : cases) {
    auto m = model_with_cells(1);
    m->green_ampt_on = c.green_ampt;
    m->inf_redist_on = c.redist;
    m->inf_layered_soil_on = c.layered;
    m->soil_moist_depth_cm = c.soil_cm;
    m->top_layer_depth_cm = c.top_cm;
    m->mixing_layer_depth_cm = c.mixing_cm;
    EXPECT_EQ(soil_contaminant_layers(*m), c.layers) << c.label;
  }
}

TEST(ConstituentArrays, LaterCallsAppendZerosAndKeepEarlierValues) {
  auto m = model_with_cells(3);
  m->soil_con_trans_on = 1;
  m->soil_contam_layers = 2;
  allocate_constituent_arrays(*m, 2, 3, 0);
  m->ov_conc.rows[2][3] = 7.5;
  m->OV_MASS_INIT[1] = 4.0;
  m->soil_mass.planes[2][3][2] = 1.25;
  allocate_constituent_arrays(*m, 1, 3, 0);
  EXPECT_EQ(m->num_constituents, 3);
  EXPECT_EQ(m->num_contaminants, 1);
  EXPECT_EQ(m->ov_conc.row_count, 3);
  EXPECT_EQ(m->ov_land_load.row_count, 3);
  EXPECT_EQ(m->ov_conc.rows[2][3], 7.5);
  EXPECT_EQ(m->OV_MASS_INIT[1], 4.0);
  EXPECT_EQ(m->soil_mass.planes[2][3][2], 1.25);
  EXPECT_EQ(m->soil_mass.plane_count, 3);
  for (int i = 0; i <= 3; ++i) EXPECT_EQ(m->ov_conc.rows[3][i], 0.0);
  EXPECT_EQ(m->OV_MASS_INIT.count, 3);
  EXPECT_EQ(m->OV_MASS_INIT[3], 0.0);
  for (int c = 1; c <= 3; ++c) EXPECT_EQ(m->constituent_type[c], 1.0);
  EXPECT_EQ(m->first_type2_constituent, -1);
}

TEST(ConstituentArrays, NutrientRowsAreTheNutrientArraysThemselves) {
  auto m = model_with_cells(2);
  m->soil_con_trans_on = 1;
  m->nutrients_on = 1;
  m->soil_contam_layers = 1;
  allocate_constituent_arrays(*m, 1, 2, 0);  // one contaminant first
  std::vector<std::vector<double>> conc(9, std::vector<double>(3, 0.0)), mass = conc, source = conc;
  tvx_shared_rows shared;
  for (int k = 0; k < 9; ++k) {
    shared.ov_conc[k] = conc[size_t(k)].data();
    shared.ov_mass[k] = mass[size_t(k)].data();
    shared.ov_source_conc[k] = source[size_t(k)].data();
  }
  allocate_constituent_arrays(*m, 0, 2, 1, &shared);
  EXPECT_EQ(m->num_constituents, 14);
  EXPECT_EQ(m->num_tvx_constituents, 13);
  EXPECT_EQ(m->first_type2_constituent, 2);
  const double types[] = {1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3};
  for (int c = 1; c <= 14; ++c) EXPECT_EQ(m->constituent_type[c], types[c - 1]) << c;
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(m->ov_conc.rows[2 + k], conc[size_t(k)].data()) << k;
    EXPECT_EQ(m->ov_mass.rows[2 + k], mass[size_t(k)].data()) << k;
    EXPECT_EQ(m->ov_source_conc.rows[2 + k], source[size_t(k)].data()) << k;
  }
  conc[4][1] = 3.0;  // the nutrient state seen through the constituent table, no copy between
  EXPECT_EQ(m->ov_conc.rows[6][1], 3.0);
  EXPECT_EQ(m->ov_conc.row_count, 14);
  EXPECT_EQ(m->ov_decay_rate.row_count, 14);
  EXPECT_EQ(m->soil_conc.plane_count, 14);
  EXPECT_EQ(m->ov_conc.rows[14][2], 0.0);  // soil-linked rows are zeroed rows of their own
}

struct contaminant_project {
  pluvo_test::table_fixture fx{"11\n"};
  std::unique_ptr<model_state> m = model_with_cells(2);
  contaminant_project() {
    m->cell_number_grid = fx.mask;
    m->project_rows = fx.mask.rows();
    m->project_cols = fx.mask.cols();
    m->ov_con_trans_on = 1;
    m->ov_disp_coef_value = 0.5;
    m->ov_decay_coef_value = 0.25;
    m->ov_uptake_rate_value = 0.125;
    m->ov_mass_load_value = 2.0;
  }
};

TEST(ContaminantInputs, WithoutATableOneContaminantGetsTheUniformValues) {
  contaminant_project p;
  p.m->silent_mode = 0;
  const std::string out = printed_by([&] { read_contaminant_inputs(*p.m); });
  EXPECT_EQ(out, "using uniform contaminant transport values\n");
  EXPECT_EQ(error_state.error_terminate, 0);
  ASSERT_EQ(p.m->num_constituents, 1);
  for (int i = 1; i <= 2; ++i) {
    EXPECT_EQ(p.m->ov_disp_cell.rows[1][i], 0.5);
    EXPECT_EQ(p.m->ov_decay_rate.rows[1][i], 0.25);
    EXPECT_EQ(p.m->ov_uptake_coef.rows[1][i], 0.125);
    EXPECT_EQ(p.m->ov_land_load.rows[1][i], 2.0);
  }
  EXPECT_EQ(p.m->precip_conc.count, 1);
}

TEST(ContaminantInputs, TableContaminantsFollowTheSedimentClasses) {
  contaminant_project p;
  pluvo_test::write_file("t.cmt",
                         "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP m.idx \"Land\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
                         "\"Atrazine\" \"Land\" \"atz\"\nPRECIP_CONC 0.3\nOV_PARTITION 0.1\nCHAN_PARTITION 0.2\n"
                         "NUM_IDS 1\nheader\n" +
                             pluvo_test::table_row(1, "1 2 3 4 5 6 7 8"));
  pluvo_test::write_file("m.idx", p.fx.map("1 1\n"));
  p.m->mapping_table_on = 1;
  p.m->mapping_table_path = "t.cmt";
  p.m->ov_con_table_on = 1;
  p.m->soil_erosion_on = 1;
  p.m->num_constituents = 3;  // three sediment classes carried as constituents
  printed_by([&] { check_mapping_tables("t.cmt", p.m->grid_table_presence, 1); });
  printed_by([&] { read_contaminant_inputs(*p.m); });
  ASSERT_EQ(error_state.error_terminate, 0);
  EXPECT_EQ(p.m->contam_table_on, 1);
  EXPECT_EQ(p.m->num_constituents, 4);
  EXPECT_EQ(p.m->num_contaminants, 1);
  EXPECT_EQ(p.m->ov_conc.row_count, 4);
  EXPECT_EQ(p.m->constituent_type[4], 1.0);
  EXPECT_EQ(p.m->ov_conc.rows[4][2], 1.0);
  EXPECT_EQ(p.m->ov_source_conc.rows[4][2], 2.0);
  EXPECT_EQ(p.m->ov_land_load.rows[4][1], 6.0);
  EXPECT_EQ(p.m->soil_kd.rows[4][1], 7.0);
  EXPECT_EQ(p.m->precip_conc[4], 0.3);
  EXPECT_EQ(p.m->chan_partition_coef[4], 0.2);
  EXPECT_EQ(p.m->constituent_output_name[4], "atz");
  EXPECT_EQ(p.m->constituent_map_output_on[4], 1);
  EXPECT_EQ(p.m->ov_conc.rows[1][1], 0.0);
}

}  // namespace
