// Contaminants sorbed to the eroded sediment of the grid: a project read and run by the real
// reader keeps its total mass, dissolved and sorbed, in the books; with no sorption on the
// sediment everything the soil gives up is released to the water; and sorbed mass carried
// across a face leaves one cell and enters its neighbour unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "quality/contaminant_fixture.hpp"
#include "quality/erosion_fixture.hpp"
#include "quality/sediment_contam.hpp"
#include "quality/water_quality_clocks.hpp"
#include "record/model_state.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::contaminant_grid;
using pluvo_test::run_contaminant_project;

double cell_sum(const model_state& m, const std::vector<double>& v, int k) {
  double s = 0.0;
  for (int j = 1; j <= m.cell_count; ++j) s += v[size_t(k) * size_t(m.cell_count + 1) + size_t(j)];
  return s;
}

// A 3 x 4 grid falling toward its outlet at row 1, column 4, under 80 mm/h for the first ten
// minutes: Green and Ampt soil holding a sorbing contaminant in its mixing layer, erosion of
// sand, silt and clay, and a partition coefficient ov_kd (l/kg) of the water on the sediment.
void write_sorbing_project(double ov_kd, const std::string& more = "") {
  contaminant_grid g;
  g.rows = 3;
  g.cols = 4;
  g.outcol = 4;
  g.elevation = [](int r, int c) { return 10.0 + 0.03 * (4 - c) + 0.02 * (r - 1) + 0.003 * ((r * 7 + c * 3) % 5); };
  const std::string blocks = pluvo_test::green_ampt_blocks(1, "0.3") + pluvo_test::erosion_table_blocks("\"Land\"");
  pluvo_test::write_contaminant_project(
      g, pluvo_test::contaminant_table(0.5, {"0 0 0.02 0 0 2000 2 0"}, blocks, ov_kd),
      "TIMESTEP 5\nTOT_TIME 40\nHYD_FREQ 1\nPRECIP_UNIF\nRAIN_INTENSITY 80\nRAIN_DURATION 10\nGREEN_AMPT\n"
      "SOIL_CON_TRANS\nMIXING_LAYER_DEPTH 0.05\nSOIL_EROSION 1\nOUTLET_SED_FLUX c.sed\nSAND_SIZE 0.062\n"
      "WATER_TEMP 20\nSEDIMENT_CONTAM\n" + more);
}

// Total contaminant of the grid, kg: the cells' totals (dissolved and sorbed), what the sorbed
// pool took from the soil (eroded, negative) or gave it (deposited), and what left: infiltrated,
// decayed, through the outlet dissolved and sorbed, and left on dried land; less what came in
// besides the start: rain, release from the land, mass put back on negative cells.
double grid_books(const model_state& m, int k) {
  const auto& run = m.run_constituent_terms[size_t(k)];
  const double stock = cell_sum(m, m.ov_total_con_mass, k) / 1000.0 + cell_sum(m, m.ov_sed_con_soil_exchange, k) / 1000.0 +
                       run.soil_sed_exchange;
  const double out = m.OV_INFIL_MASS[k] + m.OV_MASS_DECAY[k] + m.OV_MASS_OUT[k] + run.ov_attached_out + m.OV_LAND_MASS[k];
  const double in = m.OV_PRECIP_MASS[k] + m.OV_UPTAKE_MASS[k] + m.event_ov_neg_mass[k] + m.OV_EXFIL_MASS[k];
  return stock + out - in;
}

TEST(SedimentContam, GridTotalIsConservedAndTheSameOnAnyThreadCount) {
  pluvo_test::scratch_dir dir;
  write_sorbing_project(50.0);
  struct seen {
    double worst = 0.0, eroded = 0.0, sorbed = 0.0, attached_out = 0.0;
    int steps = 0;
    std::vector<double> totals;
  };
  auto run = [](int threads, seen& s) {
    return run_contaminant_project(threads, "write_time_series", [&](model_state& m) {
      // Measured against the mass the grid has seen: what it started with and what came in.
      const double scale = m.OV_MASS_INIT[1] + m.OV_PRECIP_MASS[1] - m.run_constituent_terms[1].soil_sed_exchange;
      s.worst = std::max(s.worst, std::fabs(grid_books(m, 1) - m.OV_MASS_INIT[1]) / scale);
      ++s.steps;
      s.eroded = std::min(s.eroded, m.run_constituent_terms[1].soil_sed_exchange);
      double sorbed = 0.0;
      for (int j = 1; j <= m.cell_count; ++j) sorbed += m.ov_total_con_mass[size_t(m.cell_count + 1) + size_t(j)] - m.ov_mass.rows[1][j];
      s.sorbed = std::max(s.sorbed, sorbed);
      s.attached_out = m.run_constituent_terms[1].ov_attached_out;
      s.totals = m.ov_total_con_mass;
    });
  };
  seen one, eight;
  const auto r1 = run(1, one);
  const auto r8 = run(8, eight);
  ASSERT_EQ(r1.code, 0) << r1.out;
  ASSERT_EQ(r8.code, 0) << r8.out;
  EXPECT_GE(one.steps, 400) << r1.out;
  EXPECT_LT(one.worst, 1e-12);
  // The soil gave sorbed mass up with its sediment, the water carried it, some of it left.
  EXPECT_LT(one.eroded, 0.0);
  EXPECT_GT(one.sorbed, 0.0);
  EXPECT_GT(one.attached_out, 0.0);
  EXPECT_EQ(one.totals, eight.totals);
  EXPECT_EQ(r1.out.find("bad number"), std::string::npos) << r1.out;
}

// Without sorption on the sediment whatever the soil gives up with its eroded sediment is
// released to the water at once: no cell keeps sorbed mass, and the release is the eroded mass.
TEST(SedimentContam, NoPartitionReleasesAllErodedMassAsDissolvedSource) {
  pluvo_test::scratch_dir dir;
  write_sorbing_project(0.0);
  double source = 0.0, exchange = 0.0, eroded = 0.0, worst = 0.0, largest_left = 0.0;
  pluvo::set_phase_observer([&](const char* p, int, model_state& m) {
    const std::string phase = p;
    if (phase == "check_sediment_contaminant_sources") {
      source = cell_sum(m, m.ov_sed_con_source, 1);
      exchange = cell_sum(m, m.ov_sed_con_soil_exchange, 1);
    } else if (phase == "step_overland_water_quality") {
      const double released = cell_sum(m, m.ov_sed_con_source, 1) - source;
      const double taken = exchange - cell_sum(m, m.ov_sed_con_soil_exchange, 1);
      eroded += taken;
      worst = std::max(worst, std::fabs(released - taken) / std::max(taken, 1e-9));
      for (int j = 1; j <= m.cell_count; ++j)
        largest_left = std::max(largest_left, std::fabs(m.ov_total_con_mass[size_t(m.cell_count + 1) + size_t(j)]));
    }
  });
  int code = -1;
  const std::string out = pluvo::printed_by([&] { code = pluvo::run_pluvo("c.prj", nullptr, "c.prj"); });
  pluvo::set_phase_observer(nullptr);
  ASSERT_EQ(code, 0) << out;
  EXPECT_GT(eroded, 0.0);
  EXPECT_LT(worst, 1e-9);
  EXPECT_EQ(largest_left, 0.0);
}

// Index of constituent 1's cell j in the [k][cell] tables, and of class k of cell j in the
// [cell][class] ones (three classes).
struct pool_index {
  int cells;
  size_t pool(int j) const { return size_t(cells) + size_t(j); }
  size_t cell(int j, int k) const { return size_t(j) * 4 + size_t(k); }
};

// Sorbed mass carried across the x face between a cell and its right neighbour, either way:
// the upwind cell's sorbed concentration times the volume moved leaves one and enters the other.
TEST(SedimentContam, SorbedMassCrossingAFaceLeavesOneCellAndEntersItsNeighbour) {
  pluvo_test::scratch_dir dir;
  write_sorbing_project(50.0);
  for (const double F : {0.002, -0.003}) {
    bool done = false;
    double moved = 0.0, lost = 0.0, gained = 0.0;
    const auto r = run_contaminant_project(1, "check_sediment_contaminant_sources", [&](model_state& m) {
      if (done) return;
      done = true;
      pluvo::start_sediment_contaminants(m);
      const pool_index s{m.cell_count + 1};
      std::fill(m.ov_sed->ov_sed_vol_eroded.begin(), m.ov_sed->ov_sed_vol_eroded.end(), 0.0);
      std::fill(m.ov_sed->ov_sed_vol_deposited.begin(), m.ov_sed->ov_sed_vol_deposited.end(), 0.0);
      const int j = 6, nb = m.rightcon[size_t(j)];  // row 2, column 2, and column 3
      ASSERT_EQ(nb, 7);
      const int silt = 2;
      for (int c : {j, nb}) {
        m.ov_depth[size_t(c)] = 0.05;
        for (int k = 1; k <= 3; ++k) m.ov_vol_sed_susp[s.cell(c, k)] = 0.001 * k + 0.0005 * c;
      }
      m.ov_total_con_mass[s.pool(j)] = 10.0;
      m.ov_total_con_mass[s.pool(nb)] = 3.0;
      m.ov_sed_vol_qsx[s.cell(j, silt)] = F;
      m.ov_sed_vol_qsx[s.cell(j, 0)] = F;
      pluvo::fraction_dissolved(m, 1, m.ov_vol_sed_susp.data());
      const int upwind = F > 0 ? j : nb;
      moved = m.ov_sed_con_conc[s.pool(upwind) * 4 + silt] * F;
      pluvo::contam_kinetics_step(m, 1, 5.0);
      lost = 10.0 - m.ov_total_con_mass[s.pool(j)];
      gained = m.ov_total_con_mass[s.pool(nb)] - 3.0;
      std::fill(m.ov_sed_vol_qsx.begin(), m.ov_sed_vol_qsx.end(), 0.0);
    });
    ASSERT_EQ(r.code, 0) << r.out;
    ASSERT_TRUE(done);
    EXPECT_NE(moved, 0.0);
    EXPECT_NEAR(lost, moved, 1e-14 * std::fabs(moved) + 1e-15) << F;
    EXPECT_NEAR(gained, moved, 1e-14 * std::fabs(moved) + 1e-15) << F;
  }
}

}  // namespace

namespace {

// The split's warnings, byte for byte, on one wet cell with 0.001 m3 of each class in
// suspension: a negative partition coefficient leaves a fraction dissolved above 1 or below 0,
// a total that is not a number gives concentrations that are not.
TEST(SedimentContam, SplitWarningsAreTheSystemsOwn) {
  const struct {
    double kd, total;
    const char *printed, *not_printed;
  } cases[] = {
      {-471.0, 1.0, "\nfraction dissolved greater than 1", "fraction dissolved below zero"},
      {-1900.0, 1.0, "\nfraction dissolved below zero", "fraction dissolved greater than 1"},
      {50.0, std::nan(""), "\nbad number 13bad number 13bad number 13", "bad number 13bad number 13bad number 13bad"},
  };
  for (const auto& c : cases) {
    pluvo_test::scratch_dir dir;
    write_sorbing_project(50.0);
    bool done = false;
    const auto r = run_contaminant_project(1, "check_sediment_contaminant_sources", [&](model_state& m) {
      if (done) return;
      done = true;
      pluvo::start_sediment_contaminants(m);
      const pool_index s{m.cell_count + 1};
      for (int j = 1; j <= m.cell_count; ++j) m.ov_depth[size_t(j)] = 0.0;
      m.ov_depth[6] = 0.05;
      for (int k = 1; k <= 3; ++k) m.ov_vol_sed_susp[s.cell(6, k)] = 0.001;
      m.ov_total_con_mass[s.pool(6)] = c.total;
      m.ov_partition_coef[1] = c.kd;
      std::printf("\n");
      pluvo::fraction_dissolved(m, 1, m.ov_vol_sed_susp.data());
      m.ov_partition_coef[1] = 50.0;
      m.ov_total_con_mass[s.pool(6)] = 0.0;
    });
    ASSERT_TRUE(done) << r.out;
    EXPECT_NE(r.out.find(c.printed), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(c.not_printed), std::string::npos) << r.out;
  }
}

}  // namespace
