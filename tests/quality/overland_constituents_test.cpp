#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "contaminant_fixture.hpp"
#include "run/whole_project.hpp"
#include "quality/overland_constituents.hpp"
#include "quality/water_quality_clocks.hpp"
#include "record/model_state.hpp"
#include "soil/soil_layer_mass.hpp"

namespace {

using namespace pluvo;
using pluvo_test::contaminant_grid;
using pluvo_test::contaminant_table;
using pluvo_test::event_overland_books;
using pluvo_test::run_contaminant_project;
using pluvo_test::write_contaminant_project;

double rel(double a, double b) { return std::fabs(a - b) / std::max({std::fabs(a), std::fabs(b), 1e-300}); }

// The same over the run (one event: the mass put back is the event's).
std::pair<double, double> run_overland_books(const model_state& m, int k) {
  const double in = m.OV_MASS_INIT[k] + m.OV_PRECIP_MASS[k] + m.OV_EXFIL_MASS[k] + m.OV_UPTAKE_MASS[k] +
                    m.event_ov_neg_mass[k] + m.OV_POINT_MASS[k];
  const double out = overland_store(m, k) + m.OV_INFIL_MASS[k] + m.OV_MASS_DECAY[k] + m.OV_MASS_OUT[k] +
                     m.OV_QLAT_MASS[k] + m.OV_LAND_MASS[k];
  return {in, out};
}

// The soil balance of the event, kg.
std::pair<double, double> event_soil_books(const model_state& m, int k) {
  const auto& t = m.event_constituent_terms[size_t(k)];
  const double in = t.soil_initial + m.event_soil_inflow_mass[k] + t.soil_seep_up + m.event_soil_exchange_gain[k];
  const double out = soil_store(m, k) + m.event_soil_deep[k] + t.soil_exfil + m.event_soil_decay[k] +
                     m.event_soil_exchange_loss[k];
  return {in, out};
}

using pluvo_test::green_ampt_blocks;

std::string read_text(const char* name) {
  std::string t;
  if (std::FILE* f = std::fopen(name, "rb")) {
    char b[4096];
    for (size_t n; (n = std::fread(b, 1, sizeof b, f)) > 0;) t.append(b, n);
    std::fclose(f);
  }
  return t;
}

std::vector<double> concentrations(const model_state& m, int k) {
  const double* c = checked_array_2d_row(m.ov_conc, k);
  return std::vector<double>(c, c + m.cell_count + 1);
}

// Rain of 5 g/m3 on a dry impermeable plane: once the flow is steady the water that leaves the
// outlet carries 5 g/m3, and every cell holds it.
TEST(OverlandConstituents, SteadyRainLeavesTheOutletAtItsConcentration) {
  pluvo_test::scratch_dir dir;
  contaminant_grid g;
  write_contaminant_project(g, contaminant_table(5.0, {"0 0 0 0 0 0 0 0"}),
                            "TIMESTEP 5\nTOT_TIME 40\nHYD_FREQ 1\nPRECIP_UNIF\nRAIN_INTENSITY 50\nRAIN_DURATION 40\n");
  double exported = 0.0, exit_conc = 0.0, worst_cell = 0.0;
  const auto r = run_contaminant_project(1, "write_time_series", [&](model_state& m) {
    exported = m.OV_MASS_OUT[1];
    exit_conc = m.ov_conc.rows[1][m.outlet_cell];
    if (m.cur_julian - m.start_julian < 30.0 / 1440.0) return;
    for (int c = 1; c <= m.cell_count; ++c) worst_cell = std::max(worst_cell, rel(m.ov_conc.rows[1][c], 5.0));
  });
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_GT(exported, 0.0);
  EXPECT_LT(rel(exit_conc, 5.0), 0.01);
  EXPECT_LT(worst_cell, 0.01);
}

// Decay on standing water: the concentration follows exp(-kt) over 1000 steps.
TEST(OverlandConstituents, DecayOnStillWaterFollowsTheExponential) {
  pluvo_test::scratch_dir dir;
  contaminant_grid g;
  g.cols = 2;
  g.outcol = 2;
  // The outlet stands a metre above the pond beside it: nothing leaves, the water stands.
  g.elevation = [](int, int c) { return c == 2 ? 11.0 : 10.0; };
  pluvo_test::write_file("d.map", pluvo_test::contaminant_map(g, [](int, int c) { return std::string(c == 2 ? "0" : "0.1"); }));
  // k = 1/5000 per second is 17.28 per day: over 1000 steps of 5 s, kt = 1.
  write_contaminant_project(g, contaminant_table(0.0, {"8 0 0 17.28 0 0 0 0"}),
                            "TIMESTEP 5\nTOT_TIME 83.3333333333333\nHYD_FREQ 60\nPRECIP_UNIF\nRAIN_INTENSITY 0.000001\n"
                            "RAIN_DURATION 1\nOV_INIT_DEPTH d.map\n");
  double c = 0.0, t = 0.0, decay_last = -1.0;
  const auto r = run_contaminant_project(1, "write_time_series", [&](model_state& m) {
    c = m.ov_conc.rows[1][1];
    if (m.ov_decay_last_time != decay_last) t += m.ov_decay_dt;
    decay_last = m.ov_decay_last_time;
  });
  ASSERT_GT(t, 4900.0) << r.out;
  EXPECT_LT(rel(c, 8.0 * std::exp(-t / 5000.0)), 1e-3);
}

// A grid symmetric about its middle column, with the source in mirrored cells, stays symmetric;
// 64 x 64 cells run on a team, and 1 and 8 threads give the same concentrations.
TEST(OverlandConstituents, MirrorGridStaysSymmetricAndThreadsAgree) {
  pluvo_test::scratch_dir dir;
  contaminant_grid g;
  g.rows = 64;
  g.cols = 65;
  g.outcol = 33;
  g.elevation = [](int r, int c) { return 10.0 + 0.01 * r + 0.004 * std::abs(c - 33); };
  g.id = [](int r, int c) { return (r % 7 == 3 && std::abs(c - 33) % 5 == 2) ? 2 : 1; };
  write_contaminant_project(g,
                            contaminant_table(1.0, {"0 0 0.01 1 0 0 0 0", "0 50 0.01 1 20 1000 0 0"}),
                            "TIMESTEP 5\nTOT_TIME 2\nHYD_FREQ 1\nPRECIP_UNIF\nRAIN_INTENSITY 60\nRAIN_DURATION 2\n");
  std::vector<double> one, eight;
  double worst = 0.0, largest = 0.0;
  const auto r1 = run_contaminant_project(1, "write_time_series", [&](model_state& m) {
    one = concentrations(m, 1);
    for (int row = 1; row <= 64; ++row)
      for (int c = 1; c <= 32; ++c) {
        const double a = one[size_t((row - 1) * 65 + c)], b = one[size_t((row - 1) * 65 + 66 - c)];
        worst = std::max(worst, std::fabs(a - b));
        largest = std::max(largest, a);
      }
  });
  const auto r8 = run_contaminant_project(8, "write_time_series", [&](model_state& m) { eight = concentrations(m, 1); });
  ASSERT_EQ(r1.code, 0) << r1.out;
  ASSERT_EQ(r8.code, 0) << r8.out;
  EXPECT_GT(largest, 1.0);
  EXPECT_LE(worst, 1e-12 * largest);
  EXPECT_EQ(one, eight);
}

// Green and Ampt infiltration, release from the land surface, decay and rain: the overland
// balance of the event closes at every step, and the run's at the end; a cell whose water is
// gone holds no mass.
TEST(OverlandConstituents, BalanceClosesAndDriedCellsHoldNothing) {
  for (const char* soil : {"", "SOIL_CON_TRANS\nMIXING_LAYER_DEPTH 0.05\n"}) {
    pluvo_test::scratch_dir dir;
    contaminant_grid g;
    g.rows = 3;
    g.id = [](int r, int c) { return (r + c) % 3 == 0 ? 2 : 1; };
    const std::string ga = green_ampt_blocks(2, "1.5");
    write_contaminant_project(g, contaminant_table(2.0, {"0 5 0.02 3 40 500 0.5 0", "0 30 0.02 3 40 2000 0.5 0"}, ga),
                              std::string("TIMESTEP 5\nTOT_TIME 40\nHYD_FREQ 1\nPRECIP_UNIF\nRAIN_INTENSITY 40\n"
                                          "RAIN_DURATION 15\nGREEN_AMPT\n") + soil);
    double worst = 0.0, worst_soil = 0.0, dried_mass = 0.0, infiltrated = 0.0, m_soil_inflow = 0.0;
    int dried = 0;
    std::pair<double, double> run{0.0, 1.0};
    const auto r = run_contaminant_project(1, "write_time_series", [&](model_state& m) {
      const auto b = event_overland_books(m, 1);
      worst = std::max(worst, rel(b.first, b.second));
      if (m.soil_con_trans_on) {
        const auto s = event_soil_books(m, 1);
        worst_soil = std::max(worst_soil, rel(s.first, s.second));
      }
      for (int c = 1; c <= m.cell_count; ++c)
        if (m.ov_depth[size_t(c)] < 1e-16) {
          ++dried;
          dried_mass += std::fabs(m.ov_mass.rows[1][c]);
        }
      infiltrated = m.OV_INFIL_MASS[1];
      m_soil_inflow = m.soil_inflow_total[1];
      run = run_overland_books(m, 1);
    });
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_LT(worst, 1e-12) << soil;
    EXPECT_LT(worst_soil, 1e-12) << soil;
    EXPECT_LT(rel(run.first, run.second), 1e-12) << soil;
    EXPECT_GT(infiltrated, 0.0) << r.out;
    // The run summary's overland balance and the soil balances of the event and the run close
    // as well.
    const std::string summary = read_text("c.sum");
    std::vector<double> errors;
    const std::string overland = "Contam mass balance error", soil_label = "Soil mass balance error";
    errors.push_back(std::strtod(summary.c_str() + summary.find(overland) + overland.size(), nullptr));
    for (size_t at = summary.find(soil_label); at != std::string::npos; at = summary.find(soil_label, at + 1))
      errors.push_back(std::strtod(summary.c_str() + summary.find_first_of("-0123456789", at + soil_label.size()), nullptr));
    EXPECT_EQ(errors.size(), *soil ? 3u : 1u);
    // The soil step ran and took the infiltrated mass.
    if (*soil) {
      EXPECT_GT(m_soil_inflow, 0.0);
    }
    for (double e : errors) EXPECT_LT(std::fabs(e), 1e-3) << soil << summary;
    EXPECT_GT(dried, 0);
    EXPECT_EQ(dried_mass, 0.0);
  }
}

// A point source of 1 m3/s on the top cell of the plane for an hour puts 3600 m3 on the ground,
// booked as point-source water; the event and run balances of water and tracer close with it.
TEST(OverlandConstituents, APointSourceOfOneCubicMetrePerSecondAddsItsHourOfWater) {
  pluvo_test::scratch_dir dir;
  contaminant_grid g;
  write_contaminant_project(g, contaminant_table(2.0, {"0 5 0 0 0 0 0 0"}),
                            "TIMESTEP 5\nTOT_TIME 60\nHYD_FREQ 1\nPRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 10\n"
                            "OV_POINT_SOURCE ps.map\n");
  pluvo_test::write_file("ps.map", pluvo_test::contaminant_map(g, [](int, int c) { return std::string(c == 1 ? "1" : "0"); }));
  double total = 0.0, event = 0.0, worst = 0.0;
  const auto r = run_contaminant_project(1, "write_time_series", [&](model_state& m) {
    total = m.ov_point_source_total;
    event = m.ov_point_source_volume;
    const auto b = event_overland_books(m, 1);
    worst = std::max(worst, rel(b.first, b.second));
  });
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_NEAR(total, 3600.0, 1e-6);
  EXPECT_NEAR(event, 3600.0, 1e-6);
  EXPECT_LT(worst, 1e-12);
  const std::string summary = read_text("c.sum");
  EXPECT_NEAR(pluvo_test::number_after(summary, "volume from overland point sources:"), 3600.0, 1e-6) << summary;
  EXPECT_NEAR(pluvo_test::number_after(summary, "mass conservation error:"), 0.0, 1e-6) << summary;
  EXPECT_NEAR(pluvo_test::number_after(summary, "Overall mass balance error ="), 0.0, 1e-6) << summary;
}

// With KINETICS_TIMESTEP_FACTOR 2 the decay runs every second step; the uptake keeps the model
// step while the soil carries constituents, else it follows the factor too.
TEST(OverlandConstituents, SubStepCadenceWithKineticsFactorTwo) {
  struct cadence_case {
    const char* cards;
    int decay_every, uptake_every;
  } cases[] = {{"", 2, 2}, {"SOIL_CON_TRANS\nMIXING_LAYER_DEPTH 0.05\nGREEN_AMPT\n", 2, 1}};
  for (const auto& cc : cases) {
    pluvo_test::scratch_dir dir;
    contaminant_grid g;
    const std::string ga = std::string(cc.cards).find("GREEN") == std::string::npos
                               ? ""
                               : green_ampt_blocks(1, "0.5");
    write_contaminant_project(g, contaminant_table(1.0, {"0 5 0 1 1 100 0 0"}, ga),
                              std::string("TIMESTEP 6\nTOT_TIME 2\nHYD_FREQ 1\nPRECIP_UNIF\nRAIN_INTENSITY 20\n"
                                          "RAIN_DURATION 2\nKINETICS_TIMESTEP_FACTOR 2\n") + cc.cards);
    int steps = 0, decays = 0, uptakes = 0;
    double decay_last = -1.0, uptake_last = -1.0, decay_dt = 0.0;
    const auto r = run_contaminant_project(1, "write_time_series", [&](model_state& m) {
      ++steps;
      if (m.ov_decay_last_time != decay_last) ++decays, decay_dt = m.ov_decay_dt;
      if (m.ov_uptake_last_time != uptake_last) ++uptakes;
      decay_last = m.ov_decay_last_time;
      uptake_last = m.ov_uptake_last_time;
    });
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_GE(steps, 20);
    // Both run at the first step of the event, then at their own cadence.
    EXPECT_EQ(decays, (steps + cc.decay_every - 1) / cc.decay_every) << cc.cards;
    EXPECT_EQ(uptakes, (steps + cc.uptake_every - 1) / cc.uptake_every) << cc.cards;
    EXPECT_NEAR(decay_dt, 12.0, 1e-4);
  }
}

// Green and Ampt: one soil layer of the mixing depth; a soil value of 10 on a 30 m cell of
// porosity 0.4 with a 5 cm mixing layer holds 715.5 g; 0.864 per day is 1e-5 per second.
TEST(OverlandConstituents, InitialStateConversions) {
  pluvo_test::scratch_dir dir;
  contaminant_grid g;
  g.cell_size = 30;
  g.rows = 1;
  g.cols = 2;
  g.outcol = 2;
  const std::string ga = green_ampt_blocks(1, "0.5");
  write_contaminant_project(g, contaminant_table(0.0, {"3 0 0 0.864 8.64 10 0 0"}, ga),
                            "TIMESTEP 5\nTOT_TIME 1\nHYD_FREQ 1\nPRECIP_UNIF\nRAIN_INTENSITY 0.000001\nRAIN_DURATION 1\n"
                            "GREEN_AMPT\nSOIL_CON_TRANS\nMIXING_LAYER_DEPTH 0.05\n");
  bool seen = false;
  const auto r = run_contaminant_project(1, "init_simulation_clock", [&](model_state& m) {
    seen = true;
    EXPECT_DOUBLE_EQ(m.soil_layer_thickness[1], 0.05);
    EXPECT_NEAR(m.soil_mass.planes[1][1][1], 715.5, 1e-9);
    EXPECT_NEAR(m.ov_land_load.rows[1][2], 715.5, 1e-9);
    EXPECT_DOUBLE_EQ(m.soil_conc.planes[1][1][1], 10.0);
    EXPECT_DOUBLE_EQ(m.ov_decay_rate.rows[1][1], 1e-5);
    EXPECT_DOUBLE_EQ(m.soil_decay_rate.rows[1][1], 1e-5);
    EXPECT_DOUBLE_EQ(m.ov_uptake_coef.rows[1][1], 1e-4);
    EXPECT_EQ(m.ov_mass.rows[1][1], 0.0);  // dry cells start without dissolved mass
    EXPECT_EQ(m.ov_conc.rows[1][1], 0.0);
    EXPECT_NEAR(m.GLOBAL_MASS_INIT[1], 2 * 0.7155, 1e-12);
  });
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(seen);
}

TEST(OverlandConstituents, ScaleLossByDepth) {
  const struct {
    double a, b, m, expected;
  } cases[] = {{10, 20, 4, 2}, {10, 10.5, 4, 4}, {10, 10.6, 4, 4 * 10 / 10.6}, {10, 0, 4, 4}, {20, 10, 4, 4}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(scale_loss_by_depth(c.a, c.b, c.m), c.expected) << c.a << " " << c.b;
}

TEST(OverlandConstituents, DissolvedFraction) {
  const struct {
    double theta, phi, kd, expected;
  } cases[] = {{0.3, 0.4, 0.0, 1.0}, {0.3, 0.4, 1.0, 0.3 / (0.6 * 2.65 + 0.3)}, {0.0, 0.4, 1.0, 0.0}, {0.0, 0.4, 0.0, 0.0},
               {0.2, 1.0, 5.0, 1.0}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(soil_dissolved_fraction(c.theta, c.phi, c.kd), c.expected) << c.theta;
}

}  // namespace
