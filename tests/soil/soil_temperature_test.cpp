// Soil-temperature columns of frozen ground: the table reader and its messages, heat conduction
// against its analytical solutions, the frozen-soil factor and the column file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "common/process.hpp"
#include "input/input_phases.hpp"
#include "input/property_readers.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"
#include "run/scratch_dir.hpp"
#include "soil/soil_phases.hpp"
#include "soil/soil_services.hpp"
#include "soil/soil_temperature.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::write_file;

// Text of a permafrost soil table block: counts, side files, header and the type lines.
std::string table_text(int types, int layers, int points, int nodes, const std::string& type_lines) {
  char counts[256];
  std::snprintf(counts, sizeof counts, "NUM_IDS %d\nMAX_NUM_OF_LAYERS %d\nMAX_INIT_PT %d\nNUM_PT %d\n", types, layers,
                points, nodes);
  return std::string(counts) + "INIT_TEMP init.txt \nNODE_DEPTH depth.txt \nOUT_NODES out.txt \n" +
         "ID LAYERS POINTS NODES OUT THICK TFR WVOL WUNF A B T0 KTH KFR CVOL\n" + type_lines;
}

// One soil type of one layer (conductivity k W/m/K, dry heat capacity c J/m3/K, water w) whose
// soil freezes at T* = tfr, nodes at depths dz apart, all starting at t0.
struct one_type_column {
  double k = 1.0, c = 2e6, w = 0.0, tfr = -50.0, t0 = 0.0;
  double dz = 0.05;
  int nodes = 81;

  void write() const {
    char line[512];
    std::snprintf(line, sizeof line, "1 1 1 %d 2 100.0 %g %g 0.0 0.05 0.5 0.0 %g %g %g\n", nodes, tfr, w, k, 2.0 * k,
                  c);
    write_file("t.tab", table_text(1, 1, 1, nodes, line));
    char init[128];
    std::snprintf(init, sizeof init, "ID 1\n0.0 %g\n", t0);
    write_file("init.txt", init);
    std::string depths = "ID " + std::to_string(nodes) + "\n";
    for (int j = 1; j <= nodes; ++j) depths += std::to_string((j - 1) * dz) + "\n";
    write_file("depth.txt", depths);
    write_file("out.txt", "ID 2\n1 " + std::to_string(nodes) + "\n");
  }
};

// The record of cells columns of the soil type t, written and read through the soil-temperature table reader and
// started from its profile.
struct columns {
  std::unique_ptr<model_state> owner = std::make_unique<model_state>();
  model_state& m = *owner;
  int result = 0;

  columns(int cells, const one_type_column& t) {
    t.write();
    pluvo::error_state = pluvo::error_state_record();
    m.cell_count = cells;
    m.multi_layer_infil_gipl_flag = 1;
    pluvo::checked_file table;
    EXPECT_TRUE(pluvo::checked_file_open(table, "t.tab", "r"));
    result = pluvo::read_soil_temperature_input(table, m);
    if (result < 1) return;
    const int nodes = m.gipl_state.max_column_nodes;
    m.permaf_mask.assign(size_t(cells) + 1, 1);
    m.GIPL_soiltype.assign(size_t(cells) + 1, 1);
    for (pluvo::node_matrix<double>* a : {&m.perma_tem, &m.fr_lq_wat, &m.THETA_GIPL}) a->assign(cells, nodes, 0.0);
    m.node_toGIPL.assign(cells, nodes, 0);
    m.node_fromGIPL.assign(cells, nodes, 0);
    const pluvo::gipl_soil_table& g = m.gipl_state;
    for (int i = 1; i <= cells; ++i)
      pluvo::interpolate_temperature_profile(g.Dn_nums[1], g.Depth[1].data(), g.Dn_init_nums[1], g.Dn_init[1].data(),
                                             g.T_init[1].data(), m.perma_tem[i]);
  }
  double z(int j) const { return m.gipl_state.Depth[1][size_t(j)]; }
};

TEST(SoilTemperature, SurfaceStepChangeFollowsTheErrorFunction) {
  pluvo_test::scratch_dir dir;
  const one_type_column t;  // no water: no latent heat, no freezing
  columns c(1, t);
  ASSERT_EQ(c.result, 1);
  c.m.hmet_temperature = 10.0;
  const double kappa = t.k / t.c;
  const int dt = 60, steps = 24 * 60;  // a day in minute steps
  for (int s = 0; s < steps; ++s) pluvo::permafrost_temperature_profile(c.m, dt);
  const double time = double(dt) * steps, scale = 2.0 * std::sqrt(kappa * time);
  double worst = 0.0;
  for (int j = 2; j <= 30; ++j) {
    const double exact = 0.0 + (10.0 - 0.0) * std::erfc(c.z(j) / scale);
    worst = std::max(worst, std::fabs(c.m.perma_tem[1][j] - exact) / 10.0);
  }
  EXPECT_LT(worst, 0.02);
  EXPECT_DOUBLE_EQ(c.m.perma_tem[1][1], 10.0);
}

TEST(SoilTemperature, SteadyColumnHoldsTheBottomGradient) {
  pluvo_test::scratch_dir dir;
  const one_type_column t{.dz = 0.5, .nodes = 21};
  columns c(1, t);
  ASSERT_EQ(c.result, 1);
  c.m.hmet_temperature = -3.0;
  for (int s = 0; s < 50; ++s) pluvo::permafrost_temperature_profile(c.m, 1000000000);
  for (int j = 1; j <= t.nodes; ++j) EXPECT_NEAR(c.m.perma_tem[1][j], -3.0 + 0.015 * c.z(j), 1e-6) << j;
}

TEST(SoilTemperature, FrozenLayerLosesConductivityTowardOneHundredthInLogSpace) {
  pluvo_test::scratch_dir dir;
  columns c(2, {.dz = 0.3, .nodes = 4});
  ASSERT_EQ(c.result, 1);
  model_state& m = c.m;
  // Layers of 20, 30 and 100 cm: nodes at 0, 0.3, 0.6 and 0.9 m.
  m.soiltype.assign(3, 5);
  m.layered_soil_table[5].values[22] = 20.0;
  m.layered_soil_table[5].values[23] = 30.0;
  m.layered_soil_table[5].values[24] = 100.0;
  m.permaf_mask[2] = 0;
  EXPECT_EQ(pluvo::build_gipl_node_maps(m, 1), 4);
  EXPECT_EQ(pluvo::build_gipl_node_maps(m, 2), 0);
  EXPECT_EQ(std::vector<int>({m.node_toGIPL[1][1], m.node_toGIPL[1][2], m.node_toGIPL[1][3], m.node_toGIPL[1][4]}),
            std::vector<int>({1, 2, 3, 3}));
  EXPECT_EQ(std::vector<int>({m.node_fromGIPL[1][1], m.node_fromGIPL[1][2], m.node_fromGIPL[1][3]}),
            std::vector<int>({2, 3, 4}));
  m.perma_tem[1][2] = -1.0;  // layer 1
  m.perma_tem[1][4] = 0.0;   // layer 3
  const double f = std::pow(1.0 / (std::pow(0.7 * 1.22, 2.0) + 1.0), 0.6667);
  const double K = 2.5;
  EXPECT_NEAR(pluvo::frozen_soil_conductivity(m, 1, 1, K), std::pow(0.01, 1.0 - f) * std::pow(K, f), 1e-12);
  EXPECT_DOUBLE_EQ(m.fr_lq_wat[1][1], f);
  EXPECT_NEAR(f, 0.694, 0.0005);
  EXPECT_EQ(pluvo::frozen_soil_conductivity(m, 1, 3, K), K);
  EXPECT_EQ(m.fr_lq_wat[1][3], 1.0);
  EXPECT_EQ(pluvo::frozen_soil_conductivity(m, 2, 1, K), K);  // outside the mask
  EXPECT_EQ(m.fr_lq_wat[2][1], 0.0);
}

// Under Richards columns the soil layers are the column's nodes by their thickness, and each
// node's K/Ks freezes by the column node at or below its bottom, never above its thawed value.
TEST(SoilTemperature, RichardsNodesLinkByTheirThicknessAndFreezeNoMoreConductive) {
  pluvo_test::scratch_dir dir;
  columns c(2, {.dz = 0.3, .nodes = 4});
  ASSERT_EQ(c.result, 1);
  model_state& m = c.m;
  m.inf_richards_on = 1;
  m.soiltype.assign(3, 5);
  // Soil nodes of 20, 20, 30 and 50 cm: bottoms at 0.2, 0.4, 0.7 and 1.2 m.
  m.numcells.assign(3, 4);
  m.DZ.assign(2, 4, 0.0);
  m.KHEAD.assign(2, 4, 0.0);
  m.K_init.assign(2, 4, 0.0);
  const double dz[] = {20.0, 20.0, 30.0, 50.0}, kr[] = {0.5, 1e-6, 0.5, 0.5};
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 4; ++j) m.DZ[i][j] = dz[j - 1], m.KHEAD[i][j] = kr[j - 1];
  m.permaf_mask[2] = 0;
  EXPECT_EQ(pluvo::build_gipl_node_maps(m, 1), 4);
  EXPECT_EQ(std::vector<int>({m.node_toGIPL[1][1], m.node_toGIPL[1][2], m.node_toGIPL[1][3], m.node_toGIPL[1][4]}),
            std::vector<int>({1, 2, 3, 4}));
  EXPECT_EQ(std::vector<int>({m.node_fromGIPL[1][1], m.node_fromGIPL[1][2], m.node_fromGIPL[1][3],
                              m.node_fromGIPL[1][4]}),
            std::vector<int>({2, 3, 4, 4}));
  for (int j = 1; j <= 4; ++j) m.perma_tem[1][j] = m.perma_tem[2][j] = j < 4 ? -1.0 : 0.0;
  pluvo::freeze_richards_column(m, 1);
  pluvo::freeze_richards_column(m, 2);
  const double f = std::pow(1.0 / (std::pow(0.7 * 1.22, 2.0) + 1.0), 0.6667);
  EXPECT_NEAR(m.KHEAD[1][1], std::pow(0.01, 1.0 - f) * std::pow(0.5, f), 1e-12);
  EXPECT_EQ(m.KHEAD[1][2], 1e-6);  // 0.01^(1-f) x K^f would make this dry node conduct more frozen
  EXPECT_EQ(m.KHEAD[1][3], 0.5);   // its column node is at 0 deg C
  EXPECT_EQ(std::vector<double>({m.fr_lq_wat[1][1], m.fr_lq_wat[1][2], m.fr_lq_wat[1][3]}),
            std::vector<double>({f, f, 1.0}));
  EXPECT_EQ(std::vector<double>({m.K_init[1][1], m.K_init[1][2], m.K_init[1][3]}),
            std::vector<double>({0.5, 1e-6, 0.5}));
  EXPECT_EQ(m.KHEAD[2][1], 0.5);  // outside the mask
}

TEST(SoilTemperature, FreezingSoilKeepsItsLatentHeatAndIceConductivity) {
  pluvo_test::scratch_dir dir;
  columns c(1, {.w = 0.3, .tfr = 0.0});
  ASSERT_EQ(c.result, 1);
  const pluvo::gipl_soil_table& g = c.m.gipl_state;
  // Thawed, in the freezing band and frozen (theta_u = 0.05 |0 - T|^0.5).
  EXPECT_DOUBLE_EQ(pluvo::permafrost_heat_capacity(g, 1, 0.5, 1.0), 0.3e6 + 2e6);
  const double tu = 0.05 * std::sqrt(4.0);
  EXPECT_DOUBLE_EQ(pluvo::permafrost_heat_capacity(g, 1, 0.5, -4.0), 500.0 * (0.3 - tu) + 2e6 + 1e6 * tu);
  EXPECT_DOUBLE_EQ(pluvo::permafrost_thermal_conductivity(g, 1, 0.5, -4.0), 1.0 + (2.0 - 1.0) * (0.3 - tu) / 0.3);
  EXPECT_DOUBLE_EQ(pluvo::permafrost_thermal_conductivity(g, 1, 0.5, 0.0), 1.5);
  const double tb = 0.05 * std::sqrt(0.04);
  EXPECT_DOUBLE_EQ(pluvo::permafrost_heat_capacity(g, 1, 0.5, -0.04),
                   0.5 * (0.3e6 + 2e6 + 500.0 * (0.3 - tb) + 2e6 + 1e6 * tb) + 1.671e8 * (0.3 - tb) / 0.08);
}

TEST(SoilTemperature, ColumnFileHoldsTheRowsOfItsFourSteps) {
  pluvo_test::scratch_dir dir;
  columns c(45, {.nodes = 3});
  ASSERT_EQ(c.result, 1);
  c.m.hmet_temperature = 2.0;
  std::string expected;
  for (int step : {1, 1349, 3034, 5056, 7078, 7079}) {
    c.m.gipl_state.column_step_count = step;
    pluvo::permafrost_temperature_profile(c.m, 3600);
    if (step == 1 || step == 7079) continue;
    for (int j = 1; j <= 3; ++j) {
      char row[128];
      std::snprintf(row, sizeof row, " %d   %d   %lf  \n", step, j, c.m.perma_tem[45][j]);
      expected += row;
    }
  }
  pluvo::checked_file_close(c.m.temprof_fp);
  EXPECT_EQ(pluvo_test::read_file("temprof_out.txt"), expected);
}

TEST(SoilTemperature, ColumnsGiveTheSameTemperaturesOnOneAndEightThreads) {
  pluvo_test::scratch_dir dir;
  const one_type_column t{.w = 0.3, .tfr = -0.5, .t0 = -2.0, .dz = 0.2, .nodes = 12};
  const int cells = 5000;  // a team from the threading threshold on
  std::vector<std::vector<double>> result;
  for (int threads : {1, 8}) {
    columns c(cells, t);
    ASSERT_EQ(c.result, 1);
    model_state& m = c.m;
    m.snow_depth.assign(size_t(cells) + 1, 0.0);
    m.snow_swe.assign(size_t(cells) + 1, 0.0);
    for (int i = 1; i <= cells; i += 2) m.snow_depth[size_t(i)] = 0.3, m.snow_swe[size_t(i)] = 0.06;
    const int before = pluvo::thread_count;
    pluvo::set_thread_count(threads);
    for (double air : {-10.0, 5.0, 3.0, -1.0}) {
      m.hmet_temperature = air;
      pluvo::permafrost_temperature_profile(m, 3600);
    }
    pluvo::set_thread_count(before);
    result.emplace_back(m.perma_tem[0], m.perma_tem[0] + size_t(cells + 1) * size_t(m.perma_tem.cols() + 1));
  }
  EXPECT_EQ(result[0], result[1]);
  EXPECT_NE(result[0][1 * 13 + 1], result[0][2 * 13 + 1]);  // the snow cover told
}

TEST(SoilTemperature, PhaseStepsAtItsOwnIntervalOrFollowsTheInfiltrationClock) {
  pluvo_test::scratch_dir dir;
  columns c(1, {.nodes = 3});
  ASSERT_EQ(c.result, 1);
  model_state& m = c.m;
  const double hour = 1.0 / 24.0;
  m.time_tolerance = 1e-9;
  m.hmet_temperature = 5.0;
  m.gipl_timestep_flag = 1;
  m.soil_temp_interval = hour;
  m.soil_temp_last_time = 100.0;
  m.soil_temp_next_time = 100.0 + hour;
  m.cur_julian = 100.0 + hour / 2.0;
  pluvo::update_soil_temperature(m);
  EXPECT_EQ(m.gipl_state.column_step_count, 0);
  EXPECT_EQ(m.gipl_state.substep_count, 1);
  EXPECT_EQ(m.perma_tem[1][1], 0.0);
  m.cur_julian = 100.0 + hour;
  pluvo::update_soil_temperature(m);
  EXPECT_EQ(m.gipl_state.column_step_count, 1);
  EXPECT_EQ(m.gipl_state.substep_count, 0);
  EXPECT_EQ(m.perma_tem[1][1], 5.0);
  EXPECT_DOUBLE_EQ(m.soil_temp_next_time, 100.0 + 2.0 * hour);
  // Without its own step the column takes the infiltration times.
  m.gipl_timestep_flag = 0;
  m.infil_last_time = 100.0 + hour;
  m.infil_next_time = 100.0 + 1.5 * hour;
  m.cur_julian = 100.0 + 2.0 * hour;
  pluvo::update_soil_temperature(m);
  EXPECT_EQ(m.gipl_state.column_step_count, 2);
  EXPECT_EQ(m.soil_temp_last_time, m.infil_last_time);
  EXPECT_EQ(m.soil_temp_next_time, m.infil_next_time);
}

// Each bad table stops the run with its message, byte for byte, and code 4000.
TEST(SoilTemperatureInput, BadTablesStopWithTheirMessage) {
  const std::string good_type = "1 1 1 3 1 100.0 0 0.3 0 0.05 0.5 0 1 2 2e6\n";
  struct bad_case {
    const char* what;
    std::function<void()> edit;
    std::string expected;
  };
  const bad_case cases[] = {
      {"type count out of range", [&] { write_file("t.tab", table_text(0, 1, 1, 3, good_type)); },
       "Error: the number of soil types 0 in the permafrost soil table in t.tab is outside 1 to 10000\n"},
      {"count line without number", [&] { write_file("t.tab", "NUM_IDS 1\nMAX_NUM_OF_LAYERS\n"); },
       "Error: the line for the largest number of layers in the permafrost soil table in t.tab is not a label and "
       "a number\n"},
      {"table ends", [&] { write_file("t.tab", table_text(2, 1, 1, 3, good_type)); },
       "Error: the permafrost soil table in t.tab ends before the line of a permafrost soil type\n"},
      {"node count above the largest",
       [&] { write_file("t.tab", table_text(1, 1, 1, 3, "1 1 1 4 1 100.0 0 0.3 0 0.05 0.5 0 1 2 2e6\n")); },
       "Error: the node count 4 in the permafrost soil table in t.tab is outside 2 to 3\n"},
      {"short type line", [&] { write_file("t.tab", table_text(1, 1, 1, 3, "1 1 1 3 1 100.0 0 0.3\n")); },
       "Error: the line of permafrost soil type 1 in t.tab needs an identifier, four counts and ten layer values\n"},
      {"missing side file", [] { std::remove("init.txt"); },
       "where is the init_temp_file?\nError: unable to open init.txt, named in the permafrost soil table\n"},
      {"side count differs", [] { write_file("depth.txt", "ID 2\n0 1\n"); },
       "Error: the node depth file depth.txt gives 2 values for permafrost soil type 1; the soil table gives 3\n"},
      {"nodes out of order", [] { write_file("depth.txt", "ID 3\n0 1 1\n"); },
       "Error: node 3 of permafrost soil type 1 in depth.txt is not deeper than node 2\n"},
      {"output node out of range", [] { write_file("out.txt", "ID 1\n4\n"); },
       "Error: output node 4 of permafrost soil type 1 in out.txt is outside 1 to 3\n"},
      {"short profile", [] { write_file("init.txt", "ID 1\n0.0\n"); },
       "Error: the initial temperature file init.txt ends or holds a non-number in permafrost soil type 1\n"},
  };
  for (const bad_case& b : cases) {
    pluvo_test::scratch_dir dir;
    write_file("t.tab", table_text(1, 1, 1, 3, good_type));
    write_file("init.txt", "ID 1\n0.0 -1.0\n");
    write_file("depth.txt", "ID 3\n0 0.5 1.0\n");
    write_file("out.txt", "ID 1\n2\n");
    b.edit();
    pluvo::error_state = pluvo::error_state_record();
    model_state m;
    pluvo::checked_file table;
    ASSERT_TRUE(pluvo::checked_file_open(table, "t.tab", "r"));
    int result = -1;
    const std::string out = pluvo::printed_by([&] { result = pluvo::read_soil_temperature_input(table, m); });
    EXPECT_EQ(result, 0) << b.what;
    EXPECT_EQ(pluvo::error_state.error_terminate, 1) << b.what;
    EXPECT_NE(out.find(b.expected), std::string::npos) << b.what << "\n" << out;
  }
  pluvo::error_state = pluvo::error_state_record();
}

}  // namespace
