#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "common/process.hpp"
#include "record/model_state.hpp"
#include "soil/hydraulic_functions.hpp"
#include "soil/infiltration_methods.hpp"
#include "soil/soil_services.hpp"
#include "soil/richards_column_fixture.hpp"

namespace {

using pluvo_test::brooks_soil_table;
using pluvo_test::richards_columns;

// Depth (cm) at which the water content first falls below the middle of wet and initial.
double front_depth(const pluvo::model_state& m, int cell, double initial) {
  const double wet = m.THETA[cell][1], middle = (wet + initial) / 2.0;
  double z = 0.0;
  for (int j = 1; j < m.numcells[size_t(cell)]; ++j) {
    const double top = m.THETA[cell][j], below = m.THETA[cell][j + 1];
    const double centre = z + m.DZ[cell][j] / 2.0;
    if (below < middle) return centre + (top - middle) / (top - below) * (m.DZ[cell][j] + m.DZ[cell][j + 1]) / 2.0;
    z += m.DZ[cell][j];
  }
  return z;
}

TEST(RichardsSoilTable, SoilTableGivesTheNodeLayoutAndInitialVolumes) {
  pluvo_test::scratch_dir dir;
  richards_columns c(2, brooks_soil_table(0.15, 1.0));
  ASSERT_EQ(pluvo::error_state.error_terminate, 0);
  pluvo::model_state& m = c.m;
  // 10 + 40 + 50 nodes and the bottom node; two more rows than the deepest column.
  EXPECT_EQ(m.num1[1], 10);
  EXPECT_EQ(m.num2[1], 50);
  EXPECT_EQ(m.num3[1], 101);
  EXPECT_EQ(m.numcells[1], 101);
  EXPECT_EQ(m.richards_nnodes, 103);
  EXPECT_DOUBLE_EQ(m.avgks[1], 1.0);
  EXPECT_DOUBLE_EQ(m.totaldz[1], 100.0);
  EXPECT_DOUBLE_EQ(m.BP[1][5], -20.0);
  EXPECT_NEAR(m.thehac[1][5], 0.45 * 2.0 / 2.4, 1e-15);
  // The initial head gives back the initial content.
  const double h = m.PHEAD[1][7];
  pluvo::retention_content(m.PHEAD, m.THETA, m.THETAS, m.THETAR, m.thehac, m.ALPHA, m.BETA, m.LAM, m.BP, m.BChc, 1, 7,
                           1);
  EXPECT_NEAR(m.THETA[1][7], 0.15, 1e-12);
  EXPECT_LT(h, -20.0);
}

TEST(RichardsSoilTable, WaterTableAddsNodesDownToTheAquiferBottom) {
  pluvo_test::scratch_dir dir;
  // 1.5 m down to the aquifer bottom: 0.5 m below the soil in 0.1 m nodes, plus the buffer.
  richards_columns c(1, brooks_soil_table(0.15, 1.0), false);
  c.m.water_table_on = 1;
  c.m.bottom_elev[1] = 8.5;
  pluvo::checked_file_open(c.m.soil_layer_table_fp, "soil.tab", "r");
  pluvo::setup_richards_soil_columns(c.m);
  ASSERT_EQ(pluvo::error_state.error_terminate, 0);
  EXPECT_EQ(c.m.num3[1], 100);
  EXPECT_EQ(c.m.numtot[1], 100 + 5 + 1);
  EXPECT_EQ(c.m.numcells[1], 106 + 9);
  EXPECT_DOUBLE_EQ(c.m.DZ[1][101], 10.0);
  EXPECT_DOUBLE_EQ(c.m.DZ[1][100], 1.0);
}

TEST(RichardsSoilTable, BadTablesStopNamingTheClass) {
  struct bad_case {
    std::string table;
    const char* message;
  } cases[] = {
      {"1\n0\n100000\n", "Error: soil class 100000 of the Richards soil table soil.tab is outside 0 to 99999\n"},
      {"1\n0\n2\n1 0.45 0.05 0.15 0.1 0.3 10 0.4 20 1\n1 0.45 0.05 0.15 0.1 0.3 10 0.4 20 1\n"
       "1 0.45 0.05 0.15 0.1 0.3 10 0.4 20 1\n",
       "Error: soil class 1 of cell 1 is not in the Richards soil table soil.tab\n"},
      {"1\n0\n1\n1 0.45 0.05 0.15 0.1 0.3 10 0.4 20 0\n1 0.45 0.05 0.15 0.1 0.3 10 0.4 20 1\n"
       "1 0.45 0.05 0.15 0.1 0.3 10 0.4 20 1\n",
       "Error: soil class 1 of the Richards soil table soil.tab needs a layer thickness of 0 or more and a node "
       "spacing above 0 in every layer\n"},
      {"1\n0\n1\n1 0.45 0.05 0.15 0.1 0.3 10 0.4 20 1\n",
       "Error: the Richards soil table soil.tab ends before the layer lines of soil class 1\n"},
  };
  for (const bad_case& b : cases) {
    pluvo_test::scratch_dir dir;
    const std::string out = pluvo::printed_by([&] { richards_columns c(1, b.table); });
    EXPECT_EQ(pluvo::error_state.error_terminate, 1) << b.table;
    EXPECT_NE(out.find(b.message), std::string::npos) << out;
    pluvo::error_state = pluvo::error_state_record();
  }
}

TEST(RichardsSoilTable, RetentionOptionOtherThanBrooksOrHavercampIsRefused) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_file("soil.tab", brooks_soil_table(0.15, 1.0));
  richards_columns c(1, brooks_soil_table(0.15, 1.0));
  c.m.richards_c_option_value = 0;
  pluvo::checked_file_open(c.m.soil_layer_table_fp, "soil.tab", "r");
  const std::string out = pluvo::printed_by([&] { pluvo::setup_richards_soil_columns(c.m); });
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  EXPECT_NE(out.find("\nError: Richards infiltration needs the retention model RICHARDS_C_OPTION brooks or "
                     "havercamp; the option is 0\n"),
            std::string::npos)
      << out;
  pluvo::error_state = pluvo::error_state_record();
}

TEST(RichardsSolver, SaturatedFreeDrainingColumnPassesKs) {
  pluvo_test::scratch_dir dir;
  richards_columns c(1, brooks_soil_table(0.45, 1.0));
  pluvo::model_state& m = c.m;
  m.ov_depth[1] = 1.0;
  for (int hour = 0; hour < 2; ++hour) pluvo::solve_richards_columns(m, 3600.0);
  ASSERT_EQ(pluvo::error_state.error_terminate, 0);
  const int n = m.numcells[1];
  EXPECT_NEAR(m.infil_rate[1], 1.0, 1e-6);
  EXPECT_NEAR(m.WATFLUX[1][n], 1.0, 1e-6);
  EXPECT_NEAR(m.WATFLUX[1][n / 2], 1.0, 1e-6);
  EXPECT_NEAR(m.ov_depth[1], 1.0 - 0.02, 1e-6);
  EXPECT_EQ(m.bound_type[1], 2);
}

TEST(RichardsSolver, HydrostaticColumnAboveAFixedWaterTableStaysStill) {
  pluvo_test::scratch_dir dir;
  richards_columns c(1, brooks_soil_table(0.2, 1.0), true);
  pluvo::model_state& m = c.m;
  ASSERT_EQ(pluvo::error_state.error_terminate, 0);
  const int n = m.numcells[1];
  // The bottom node holds the table; every node above it the head of its height above it.
  m.PHEAD[1][n] = 0.0;
  for (int j = n - 1; j >= 1; --j) {
    m.PHEAD[1][j] = m.PHEAD[1][j + 1] - (m.DZ[1][j] + m.DZ[1][j + 1]) / 2.0;
    pluvo::retention_content(m.PHEAD, m.THETA, m.THETAS, m.THETAR, m.thehac, m.ALPHA, m.BETA, m.LAM, m.BP, m.BChc, 1,
                             j, 1);
  }
  pluvo::brooks_corey_layer_functions(m, 1);
  const std::vector<double> heads(m.PHEAD[1], m.PHEAD[1] + n + 1);
  const double before = c.storage(1);
  for (int step = 0; step < 24; ++step) pluvo::solve_richards_columns(m, 3600.0);
  ASSERT_EQ(pluvo::error_state.error_terminate, 0);
  for (int j = 1; j < n; ++j) EXPECT_NEAR(m.PHEAD[1][j], heads[size_t(j)], 1e-6 * std::fabs(heads[size_t(j)])) << j;
  EXPECT_NEAR(c.storage(1), before, 1e-9 * before);
  EXPECT_NEAR(m.unsat_downward_flux[1], 0.0, 1e-9);
}

// Rain of 0.6 cm/h, below the conductivity, onto a dry column for three hours, handed to the
// solver each 10 minutes as ponded water.
struct dry_column_storm {
  double infiltrated = 0.0, drained = 0.0, stored = 0.0, front = 0.0;
  int bound_type = 0;
};

dry_column_storm rain_on_dry_column(double spacing) {
  pluvo_test::scratch_dir dir;
  richards_columns c(1, brooks_soil_table(0.1, spacing));
  pluvo::model_state& m = c.m;
  const double before = c.storage(1);
  for (int step = 0; step < 18; ++step) {
    m.ov_depth[1] += 0.001;
    pluvo::solve_richards_columns(m, 600.0);
  }
  dry_column_storm r;
  r.infiltrated = m.infil_depth[1] * 100.0;
  r.drained = m.unsat_downward_flux[1];
  r.stored = c.storage(1) - before;
  r.front = front_depth(m, 1, 0.1);
  r.bound_type = m.bound_type[1];
  EXPECT_EQ(pluvo::error_state.error_terminate, 0);
  EXPECT_NEAR(m.ov_depth[1], 0.0, 1e-12);
  return r;
}

TEST(RichardsSolver, InfiltrationIntoADryColumnKeepsItsBooksAndItsFront) {
  const dry_column_storm coarse = rain_on_dry_column(1.0);
  const dry_column_storm fine = rain_on_dry_column(0.5);
  for (const dry_column_storm& r : {coarse, fine}) {
    EXPECT_NEAR(r.infiltrated, 1.8, 1e-9);
    EXPECT_EQ(r.bound_type, 1);
    EXPECT_NEAR(r.stored, r.infiltrated - r.drained, 1e-6 * r.infiltrated);
  }
  EXPECT_GT(coarse.front, 3.0);
  EXPECT_NEAR(fine.front, coarse.front, 0.05 * coarse.front);
}

TEST(RichardsSolver, FluxAskingMoreThanTheSoilTakesSwitchesToAHeadBoundaryInTheSameSubStep) {
  pluvo_test::scratch_dir dir;
  richards_columns c(1, brooks_soil_table(0.1, 1.0));
  pluvo::model_state& m = c.m;
  m.ov_depth[1] = 0.5;
  m.dtr[1] = 1e-4;  // one sub-step of 0.36 s
  pluvo::solve_richards_columns(m, 0.36);
  ASSERT_EQ(pluvo::error_state.error_terminate, 0);
  EXPECT_EQ(m.bound_type[1], 2);
  // The soil took what its head boundary let in, far less than the 5000 cm/h asked for.
  EXPECT_GE(m.infil_rate[1], 0.0);
  EXPECT_LT(m.infil_rate[1], 5000.0);
  EXPECT_NEAR(m.infil_depth[1], m.infil_rate[1] * 1e-4 / 100.0, 1e-15);
  // Under the pond the wetted top then takes water faster than the conductivity.
  pluvo::solve_richards_columns(m, 60.0);
  EXPECT_EQ(m.bound_type[1], 2);
  EXPECT_GT(m.infil_rate[1], 1.0);
}

TEST(RichardsSolver, NonRealContentStopsNamingCellAndNode) {
  pluvo_test::scratch_dir dir;
  richards_columns c(3, brooks_soil_table(0.1, 1.0));
  pluvo::model_state& m = c.m;
  m.KS[2][4] = std::nan("");
  const std::string out = pluvo::printed_by([&] { pluvo::solve_richards_columns(m, 600.0); });
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  EXPECT_NE(out.find("Error: the Richards soil column of cell 2 gave a flux that is not a number at node 4\n"),
            std::string::npos)
      << out;
  pluvo::error_state = pluvo::error_state_record();
}

TEST(RichardsSolver, ColumnsGiveTheSameResultOnOneAndEightThreads) {
  const int cells = 5000;
  const auto run = [&](int threads) {
    pluvo_test::scratch_dir dir;
    richards_columns c(cells, brooks_soil_table(0.12, 5.0));
    pluvo::model_state& m = c.m;
    m.long_term_on = 1;
    for (std::vector<double>* v : {&m.pot_et, &m.pot_aet, &m.direct_evap_cell}) v->assign(size_t(cells) + 1, 0.0);
    for (int i = 1; i <= cells; ++i) {
      m.ov_depth[size_t(i)] = (i % 7) * 0.002;
      m.pot_et[size_t(i)] = (i % 3) * 1e-6;
      m.pot_aet[size_t(i)] = (i % 3) * 5e-7;
    }
    const int saved = pluvo::thread_count;
    pluvo::set_thread_count(threads);
    std::vector<double> out;
    for (int step = 0; step < 2; ++step) out.push_back(pluvo::solve_richards_columns(m, 900.0));
    pluvo::set_thread_count(saved);
    for (int i = 1; i <= cells; ++i) {
      out.push_back(m.infil_depth[size_t(i)]);
      out.push_back(m.THETA[i][3]);
      out.push_back(m.direct_evap_cell[size_t(i)]);
    }
    return out;
  };
  const std::vector<double> one = run(1), eight = run(8);
  ASSERT_EQ(one.size(), eight.size());
  EXPECT_GT(one[0], 0.0);
  for (size_t k = 0; k < one.size(); ++k) ASSERT_EQ(one[k], eight[k]) << k;
}

}  // namespace

namespace {

// A column under a moving water table: Σ θ DZ over nodes 1..numcells - 1 plus what the rebuild
// handed to the aquifer stays what it was.
struct table_move {
  double table;  // m; the surface is at 10 m
  int sign;      // of the exchange: 1 handed to the aquifer, -1 taken from it, 0 none or either
};

TEST(RichardsProfile, MovingWaterTableKeepsTheColumnWaterAndTheExchange) {
  pluvo_test::scratch_dir dir;
  richards_columns c(1, brooks_soil_table(0.2, 1.0), true);
  pluvo::model_state& m = c.m;
  ASSERT_EQ(pluvo::error_state.error_terminate, 0);
  m.gwbound.assign(2, 0);
  m.gw_unsat_exchange_cm.assign(2, 0.0);
  m.elevgw.assign(2, 9.5);
  pluvo::update_soil_column_profile(m, 1);  // lays the column out down to the table
  const table_move moves[] = {
      {9.3, 0},      // falls within layer 3
      {9.05, 0},     // falls below the soil
      {9.6, 1},      // rises through layer 3 into layer 2
      {9.455, 0},    // falls to a node cut at the table
      {9.88, 1},     // rises into layer 1
      {9.8849995, 0},  // a hair higher: the node cut at the table is thinner than 1/10000 of its spacing
      {9.995, 1},    // less than one spacing below the surface: flooded
      {10.2, 0},     // above the surface: flooded
      {9.7, -1},     // falls again: the aquifer gives the new column its water
  };
  for (const table_move& mv : moves) {
    const double before = c.storage(1);
    m.elevgw[1] = mv.table;
    EXPECT_EQ(pluvo::update_soil_column_profile(m, 1), 0.0);
    const double exchange = m.gw_unsat_exchange_cm[1];
    EXPECT_NEAR(c.storage(1) + exchange, before, 1e-9 * std::max(before, 1.0)) << mv.table;
    if (mv.sign > 0) {
      EXPECT_GT(exchange, 0.0) << mv.table;
    } else if (mv.sign < 0) {
      EXPECT_LT(exchange, 0.0) << mv.table;
    }
    const int n = m.numcells[1];
    if (mv.table >= 9.99) {
      EXPECT_EQ(n, 1);
      EXPECT_EQ(m.yes_exfil[1], 1);
      EXPECT_NEAR(m.PHEAD[1][1], 100.0 * (mv.table - 10.0) + 0.5, 1e-9);
      continue;
    }
    EXPECT_EQ(m.yes_exfil[1], 0) << mv.table;
    // The column reaches down to the table: the nodes above the table node fill the depth.
    double depth = 0.0;
    for (int j = 1; j < n; ++j) depth += m.DZ[1][j];
    EXPECT_NEAR(depth, (10.0 - std::max(mv.table, 9.0)) * 100.0, 1e-6) << mv.table;
    EXPECT_EQ(m.THETA[1][n], m.THETAS[1][n]);
  }
  // Boundary cells of fixed head keep their column and exchange nothing.
  m.gwbound[1] = 2;
  const int kept = m.numcells[1];
  m.elevgw[1] = 9.2;
  pluvo::update_soil_column_profile(m, 1);
  EXPECT_EQ(m.numcells[1], kept);
  EXPECT_EQ(m.gw_unsat_exchange_cm[1], 0.0);
}

}  // namespace
