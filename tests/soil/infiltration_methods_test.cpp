#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "record/model_state.hpp"
#include "soil/infiltration_methods.hpp"
#include "soil/ponded_curve.hpp"
#include "soil/soil_phases.hpp"
#include "soil/soil_services.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo::model_state;

// Cells of one redistributing soil: Ks 1e-6 m/s, capillary head 0.1 m, porosity 0.45, residual
// 0.05, pore index 0.3, initial moisture theta_i; the state started as the event start does.
std::unique_ptr<model_state> redistributing_soil(int cells, double theta_i = 0.15) {
  auto m = std::make_unique<model_state>();
  m->cell_count = cells;
  m->cell_size = 10.0;
  const size_t size = size_t(cells) + 1;
  m->ov_depth.assign(size, 0.0);
  m->ks_cell.assign(size, 1e-6);
  m->hc_cell.assign(size, 0.1);
  m->porosity_cell.assign(size, 0.45);
  m->residual_sat_cell.assign(size, 0.05);
  m->pore_index_cell.assign(size, 0.3);
  m->initial_moisture_cell.assign(size, theta_i);
  m->inf_redist_on = 1;
  pluvo::start_redistribution(*m);
  m->infil_step_count = 1;
  return m;
}

// One update of the phase: the method, then the count of the update.
void redistribute(model_state& m, double dt) {
  pluvo::green_ampt_redist_parallel(m, dt);
  m.infil_step_count++;
}

using pluvo_test::implicit_green_ampt;

TEST(Redistribution, PondingFromDryApproachesTheImplicitCurveAsTheStepShrinks) {
  const double k = 1e-6, p = 0.1 * (0.45 - 0.05), t = 3600.0;
  const double exact = implicit_green_ampt(k, p, t);
  double previous = 1.0;
  for (double dt : {120.0, 30.0, 7.5}) {
    auto m = redistributing_soil(1, 0.05);
    for (int s = 0; s < int(t / dt); s++) {
      m->ov_depth[1] = 1.0;
      redistribute(*m, dt);
    }
    const double error = std::fabs(m->infil_depth[1] - exact) / exact;
    EXPECT_LT(error, previous) << dt;
    previous = error;
  }
  EXPECT_LT(previous, 2e-3);
}

TEST(Redistribution, LightRainFirstInfiltratesAllAndChangesNoContent) {
  auto m = redistributing_soil(1);
  m->ov_depth[1] = 0.5e-6 * 60.0;  // half the conductivity over the step
  redistribute(*m, 60.0);
  EXPECT_EQ(m->ov_depth[1], 0.0);
  EXPECT_DOUBLE_EQ(m->infil_depth[1], 0.5e-6 * 60.0);
  EXPECT_EQ(m->redist_theta[1], 0.15);
  EXPECT_EQ(m->redist_surface_theta[1], 0.15);
  EXPECT_EQ(m->iter_i_less_k[1], 1);
}

TEST(Redistribution, BurstDrySpellAndBurstMakeASecondProfileThatMerges) {
  // A short second burst ends with two profiles; a long one with the new front past the old.
  for (int second_burst : {10, 60}) {
    auto m = redistributing_soil(1);
    const double dt = 60.0, heavy = 20e-6 * dt;  // rain at twenty times the conductivity
    const auto step = [&](double depth) {
      m->ov_depth[1] += depth;
      redistribute(*m, dt);
      const double th0 = m->redist_theta[1];
      EXPECT_GE(th0, 0.15);
      EXPECT_LE(th0, 0.45);
      return m->no_wat_prof[1];
    };
    for (int s = 0; s < 30; s++) EXPECT_EQ(step(heavy), 0);
    EXPECT_GT(m->iter_pond_1[1], 0);
    m->ov_depth[1] = 0.0;  // what the burst left on the surface runs off
    for (int s = 0; s < 120; s++) EXPECT_EQ(step(0.0), 0);
    const double drained = m->redist_theta[1];
    EXPECT_LT(drained, 0.45);
    EXPECT_GT(m->iter_n[1], 0);
    // The new profile lies above the draining one (2) until its front passes the old (1).
    std::vector<int> seen;
    for (int s = 0; s < second_burst; s++) seen.push_back(step(heavy));
    m->ov_depth[1] = 0.0;
    EXPECT_EQ(seen.front(), 2);
    EXPECT_EQ(seen.back(), second_burst == 10 ? 2 : 1);
    EXPECT_TRUE(std::is_sorted(seen.rbegin(), seen.rend()));
    // The next light-rain update leaves one profile, wetter at the surface than before the burst.
    EXPECT_EQ(step(0.0), 0);
    EXPECT_GT(m->redist_theta[1], drained);
  }
}

// The depth the surface lost equals the infiltrated depth plus what head boundaries booked, and
// the update gives the same on one and eight threads.
struct balance_case {
  const char* method;
  std::unique_ptr<model_state> (*make)(int cells);
  void (*update)(model_state&, double);
};

void give_ponding(model_state& m) {
  for (int i = 1; i <= m.cell_count; i++) m.ov_depth[size_t(i)] = 1e-4 * (i % 97);
  m.ov_boundary_on = 1;
  m.boundary_type.assign(size_t(m.cell_count) + 1, 0);
  for (int i = 1; i <= m.cell_count; i += 13) m.boundary_type[size_t(i)] = 2;
}

std::unique_ptr<model_state> make_redistributing(int cells) { return redistributing_soil(cells); }

std::unique_ptr<model_state> make_layered(int n) {
  auto owner = std::make_unique<model_state>();
  model_state& m = *owner;
  m.cell_count = n;
  m.inf_layered_soil_on = 1;
  m.cell_size = 10.0;
  m.ov_depth.assign(size_t(n) + 1, 0.0);
  m.soiltype.assign(size_t(n) + 1, 0);
  m.THETA_ML.assign(size_t(n) + 1, {0.0, 0.2, 0.25, 0.1});
  m.wetdep.assign(size_t(n) + 1, 0.0);
  for (int c = 0; c < 3; c++) {
    double* row = m.layered_soil_table[size_t(c)].values;
    for (int l = 0; l < 3; l++) {
      row[0 + l] = 10.0 + 5.0 * l + c;
      row[4 + l] = 0.3 + 0.4 * l + 0.1 * c;
      row[7 + l] = 0.45;
    }
    row[22] = 1.0;
    row[23] = 2.0;
  }
  for (int i = 1; i <= n; i++) m.soiltype[size_t(i)] = i % 3;
  return owner;
}

void layered_update(model_state& m, double dt) { pluvo::infiltration_mlga_parallel(m, dt); }

TEST(InfiltrationMethods, WaterBalanceClosesAndThreadsAgree) {
  const balance_case cases[] = {{"redistribution", make_redistributing, redistribute},
                                {"layered", make_layered, layered_update}};
  const int cells = 5000;  // above the thread threshold
  const int saved = omp_get_max_threads();
  for (const balance_case& c : cases) {
    std::vector<std::vector<double>> depth, front;
    for (int threads : {1, 8}) {
      omp_set_num_threads(threads);
      auto m = c.make(cells);
      double lost = 0.0, entered = 0.0;
      for (int s = 0; s < 40; s++) {
        give_ponding(*m);
        const std::vector<double> before = m->ov_depth;
        std::vector<double> f0 = m->infil_depth;
        f0.resize(size_t(cells) + 1, 0.0);
        m->ov_head_bound_gain = 0.0;
        c.update(*m, 60.0);
        double surface = 0.0, soil = 0.0;
        for (int i = 1; i <= cells; i++) {
          surface += before[size_t(i)] - m->ov_depth[size_t(i)];
          soil += m->infil_depth[size_t(i)] - f0[size_t(i)];
        }
        const double booked = m->ov_head_bound_gain / 100.0;
        EXPECT_NEAR(surface + booked, soil, 1e-13 * soil) << c.method << " " << s;
        lost += surface + booked;
        entered += soil;
      }
      EXPECT_GT(entered, 0.0);
      depth.push_back(m->ov_depth);
      front.push_back(m->infil_depth);
    }
    EXPECT_EQ(depth[0], depth[1]) << c.method;
    EXPECT_EQ(front[0], front[1]) << c.method;
  }
  omp_set_num_threads(saved);
}

// Three layers of one soil, in cm and cm/h.
void three_layers(model_state& m, double k1, double k2, double k3, double psi, double d1, double d2) {
  double* row = m.layered_soil_table[1].values;
  const double k[] = {k1, k2, k3};
  for (int l = 0; l < 3; l++) {
    row[0 + l] = psi;
    row[4 + l] = k[l];
    row[7 + l] = 0.45;
  }
  row[22] = d1;
  row[23] = d2;
}

std::unique_ptr<model_state> layered_cell() {
  auto m = std::make_unique<model_state>();
  m->cell_count = 1;
  m->cell_size = 10.0;
  m->inf_layered_soil_on = 1;
  m->ov_depth.assign(2, 0.0);
  m->soiltype.assign(2, 1);
  m->THETA_ML.assign(2, {0.0, 0.15, 0.15, 0.15});
  m->wetdep.assign(2, 0.0);
  return m;
}

TEST(LayeredGreenAmpt, IdenticalLayersGivePlainGreenAmpt) {
  auto layered = layered_cell();
  three_layers(*layered, 1.8, 1.8, 1.8, 12.0, 0.5, 1.0);
  auto plain = std::make_unique<model_state>();
  plain->cell_count = 1;
  plain->cell_size = 10.0;
  plain->ov_depth.assign(2, 0.0);
  plain->ks_cell.assign(2, 1.8 / 360000.0);
  plain->hc_cell.assign(2, 0.12);
  plain->porosity_cell.assign(2, 0.45);
  plain->initial_moisture_cell.assign(2, 0.15);
  const int steps = 60;
  for (int s = 0; s < steps; s++) {
    layered->ov_depth[1] = plain->ov_depth[1] = 1.0;
    pluvo::infiltration_mlga_parallel(*layered, 60.0);
    ASSERT_TRUE(pluvo::green_ampt_parallel(*plain, 60.0));
  }
  EXPECT_GT(layered->wetdep[1], 1.5);  // the front went through both upper layers
  EXPECT_NEAR(layered->infil_depth[1], plain->infil_depth[1], steps * 1e-4 / 100.0);
}

TEST(LayeredGreenAmpt, FrontInTheThirdLayerUsesTheSeriesMean) {
  auto m = layered_cell();
  // No suction in layer 3: the capacity is the effective conductivity itself.
  three_layers(*m, 2.0, 0.5, 1.0, 0.0, 10.0, 20.0);
  m->layered_soil_table[1].values[0] = m->layered_soil_table[1].values[1] = 15.0;
  m->THETA_ML[1] = {0.0, 0.25, 0.35, 0.2};  // storage 0.2, 0.1 and 0.25
  m->infil_depth.assign(2, 0.06);  // 2 + 2 cm in layers 1 and 2, 8 cm of front in layer 3
  m->infil_rate.assign(2, 0.0);
  m->wetdep[1] = 38.0;
  m->ov_depth[1] = 1.0;
  pluvo::infiltration_mlga_parallel(*m, 3600.0);
  EXPECT_NEAR(m->infil_rate[1], (10.0 + 20.0 + 8.0) / (10.0 / 2.0 + 20.0 / 0.5 + 8.0 / 1.0), 1e-12);
}

TEST(LayeredGreenAmpt, SaturatedLayerStoresOnePercentAndDryCellKeepsItsDepth) {
  auto m = layered_cell();
  three_layers(*m, 1.0, 1.0, 1.0, 0.0, 10.0, 10.0);
  m->THETA_ML[1] = {0.0, 0.45, 0.45, 0.45};
  m->ov_depth[1] = 1.0;
  pluvo::infiltration_mlga_parallel(*m, 3600.0);
  EXPECT_NEAR(m->wetdep[1], 1.0 / (0.01 * 0.45), 1e-9);
  m->ov_depth[1] = 1e-17;
  pluvo::infiltration_mlga_parallel(*m, 3600.0);
  EXPECT_EQ(m->infil_rate[1], 0.0);
  EXPECT_EQ(m->ov_depth[1], 1e-17);
}

TEST(LayeredGreenAmpt, UnsolvableFrontStopsTheRunNamingTheCell) {
  auto m = layered_cell();
  three_layers(*m, 1.0, 1.0, 1.0, 10.0, 10.0, 10.0);
  m->THETA_ML[1] = {0.0, 0.15, 0.15, 0.15};
  m->infil_depth.assign(2, std::nan(""));
  m->ov_depth[1] = 1.0;
  pluvo::error_state = pluvo::error_state_record();
  testing::internal::CaptureStdout();
  pluvo::infiltration_mlga_parallel(*m, 60.0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  EXPECT_NE(out.find("Multi-layer Green and Ampt infiltration failed to converge in cell 1: check the layers of its "
                     "soil class in the multi-layer soil table.\n"),
            std::string::npos)
      << out;
  pluvo::error_state = pluvo::error_state_record();
}

}  // namespace

namespace {

TEST(Redistribution, LakeAndWaterTableCellsKeepTheirWater) {
  auto m = redistributing_soil(3);
  m->lakes_on = 1;
  m->lake_mask = {0, 1, 0, 0};
  m->yes_exfil = {0, 0, 1, 0};
  m->infil_rate.assign(4, 7.0);
  for (int i = 1; i <= 3; i++) m->ov_depth[size_t(i)] = 0.01;
  redistribute(*m, 60.0);
  // The lake cell and the cell the water table reaches keep their water and their last rate.
  for (int i : {1, 2}) {
    EXPECT_EQ(m->ov_depth[size_t(i)], 0.01) << i;
    EXPECT_EQ(m->infil_rate[size_t(i)], 7.0) << i;
    EXPECT_EQ(m->infil_depth[size_t(i)], 0.0) << i;
  }
  EXPECT_EQ(m->redist_theta[2], 0.45);
  EXPECT_LT(m->ov_depth[3], 0.01);
}

TEST(LayeredSoilTable, ReadsClassesAndGivesTheTopConductance) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_file("layers.tab",
                         "3\n99\n"
                         "5\n1 0.3 10 0.45 0.3 0.1 0.05 0.15 5\n2 0.3 10 0.45 0.3 0.1 0.05 0.15 7\n"
                         "3 0.3 10 0.45 0.3 0.1 0.05 0.15\n"
                         "8\n1.5, 0.4, 8, 0.40, 0.3, 0.1, 0.05, 0.2, 4\n0.5 0.4 12 0.41 0.3 0.1 0.05\n"
                         "0.25 0.2 25 0.42 0.3 0.1 0.05 0.3\n"
                         "5\n1.2 0.3 11 0.46 0.3 0.1 0.05 0.16 6\n2 0.3 10 0.45 0.3 0.1 0.05 0.15 9\n"
                         "3 0.3 10 0.45 0.3 0.1 0.05 0.15\n");
  auto m = std::make_unique<model_state>();
  pluvo::checked_file f;
  ASSERT_TRUE(pluvo::checked_file_open(f, "layers.tab", 'r'));
  pluvo::read_layered_soil_table(f, *m);
  pluvo::checked_file_close(f);
  const double* eight = m->layered_soil_table[8].values;
  const double expected[] = {8, 12, 25, 0, 1.5, 0.5, 0.25, 0.40, 0.41, 0.42, 0.2, 0.0, 0.3, 0.1, 0.1, 0.1,
                             0.3, 0.3, 0.3, 0.05, 0.05, 0.05, 4, 0, 0, 0.4, 0.4, 0.2};
  for (int c = 0; c < 28; c++) EXPECT_EQ(eight[c], expected[c]) << c;
  // A class given twice keeps what was read last.
  EXPECT_EQ(m->layered_soil_table[5].values[4], 1.2);
  EXPECT_EQ(m->layered_soil_table[5].values[23], 9.0);
  m->cell_count = 2;
  m->soiltype = {0, 5, 8};
  double k = 0.0, depth = 0.0;
  ASSERT_TRUE(pluvo::layered_top_conductance(*m, 2, k, depth));
  EXPECT_EQ(k, 1.5);
  EXPECT_EQ(depth, 4.0);
}

}  // namespace

namespace {

TEST(LayeredGreenAmpt, WaterTableAboveTheSurfaceRisesThroughTheTopLayers) {
  auto m = layered_cell();
  three_layers(*m, 1.5, 0.5, 0.2, 10.0, 1.0, 3.0);
  m->exfil_on = 1;
  m->yes_exfil = {0, 1};
  m->elevation = {0.0, 10.0};
  m->elevgw = {0.0, 10.5};
  m->cur_julian = 100.0;
  m->time_tolerance = 0.01 / 86400.0;
  m->infil_next_time = m->cur_julian;
  m->infil_last_time = m->cur_julian - 60.0 / 86400.0;
  m->infil_interval = 60.0 / 86400.0;
  pluvo::compute_infiltration(*m);
  // 0.5 m of head over the 4 cm of layers 1 and 2 at 1.5 cm/h, for a minute.
  const double q = 0.5 * 1.5 / 4.0 / 60.0;
  EXPECT_NEAR(m->ov_depth[1], q, 1e-9 * q);  // the step comes from Julian days
  EXPECT_NEAR(m->exfiltrated_volume_total, m->ov_depth[1] * 100.0, 1e-15);
  EXPECT_EQ(m->soil_moist_depth_cm, 4.0);
}

}  // namespace
