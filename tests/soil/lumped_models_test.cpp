// The lumped Sacramento and conceptual groundwater models: their card files, the water balance of
// their steps and the flow passes that give the topographic index and the upslope areas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"
#include "soil/flow_passes.hpp"
#include "soil/lumped_models.hpp"
#include "soil/soil_phases.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::read_file;
using pluvo_test::write_file;

struct printed {
  std::string out, err;
};

// Runs a reader on text written to a file; what it printed on both streams.
template <typename Reader>
printed read_text(model_state& m, const std::string& text, Reader reader) {
  write_file("params.txt", text);
  pluvo::error_state = pluvo::error_state_record();
  pluvo::checked_file f;
  EXPECT_TRUE(pluvo::checked_file_open(f, "params.txt", "r"));
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  reader(f, m);
  printed p;
  p.out = testing::internal::GetCapturedStdout();
  p.err = testing::internal::GetCapturedStderr();
  return p;
}

// A watershed grid on the record: elevations row by row, cells numbered in row-major order
// where the mask (1) says so.
void set_grid(model_state& m, int rows, int cols, double dx, const std::vector<double>& z,
              const std::vector<int>& mask = {}) {
  m.cell_number_grid.resize(rows, cols, 0);
  m.elevation.assign(1, 0.0);
  m.cell_count = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      const size_t k = size_t((r - 1) * cols + c - 1);
      if (!mask.empty() && mask[k] == 0) continue;
      m.cell_number_grid(r, c) = ++m.cell_count;
      m.elevation.push_back(z[k]);
    }
  m.cell_size = dx;
  m.watershed_area = dx * dx * m.cell_count;
}

struct refusal {
  std::string text, out, err;  // the file, and what the reader prints on each stream
};

// Each file stops the run with its message; the reporter ends it with its own empty line.
template <typename Reader>
void expect_refusals(const std::vector<refusal>& cases, Reader reader) {
  pluvo_test::scratch_dir dir;
  for (const auto& c : cases) {
    auto m = std::make_unique<model_state>();
    set_grid(*m, 1, 2, 10.0, {2.0, 1.0});
    const printed p = read_text(*m, c.text, reader);
    EXPECT_EQ(p.out, c.out + "\n") << c.text;
    EXPECT_EQ(p.err, c.err) << c.text;
    EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  }
  pluvo::error_state = pluvo::error_state_record();
}

std::string sacramento_file(const std::string& uztwc = "0.5") {
  return "PLUVO_SACRAMENTO\nnum_basins 1\nbasin 1\nUZTWM 50\nuzfwm 40\nuzk 0.3\nzperc 40\nrexp 2\n"
         "lztwm 130\nlzfsm 25\nlzfpm 60\nlzsk 0.05\nlzpk 0.01\npfree 0.06\nsaved 0\nuztwc " + uztwc +
         "\nuzfwc 0.2\nlztwc 0.5\nlzfsc 0.4\nlzfpc 0.6\n";
}

TEST(SacramentoReader, ContentsBecomeMillimetresAndAFractionAboveOneIsHeldAt99Percent) {
  pluvo_test::scratch_dir dir;
  auto m = std::make_unique<model_state>();
  const printed p = read_text(*m, sacramento_file("1.2"), pluvo::read_sacramento_input);
  EXPECT_EQ(pluvo::error_state.error_code, 0);
  EXPECT_EQ(p.out, "WARNING:uztwc changed!\n");
  EXPECT_EQ(p.err, "");
  const auto& s = m->sac_params;
  EXPECT_DOUBLE_EQ(s[pluvo::sac_uztwc], 0.99 * 50);
  EXPECT_DOUBLE_EQ(s[pluvo::sac_uzfwc], 0.2 * 40);
  EXPECT_DOUBLE_EQ(s[pluvo::sac_lztwc], 0.5 * 130);
  EXPECT_DOUBLE_EQ(s[pluvo::sac_lzfsc], 0.4 * 25);
  EXPECT_DOUBLE_EQ(s[pluvo::sac_lzfpc], 0.6 * 60);
  EXPECT_DOUBLE_EQ(s[pluvo::sac_uztwm], 50);
  EXPECT_DOUBLE_EQ(s[pluvo::sac_pfree], 0.06);
  EXPECT_DOUBLE_EQ(m->sac_pbase, 0.01 * 60 + 0.05 * 25);
}

TEST(SacramentoReader, BadFilesStopTheRunWithTheirMessages) {
  const std::string good = sacramento_file();
  const std::string no_lzfpc = good.substr(0, good.find("lzfpc"));
  std::string zero_lzfsm = good;
  zero_lzfsm.replace(good.find("lzfsm 25"), 8, "lzfsm 0");
  expect_refusals(std::vector<refusal>{
      {"PLUVO_SACRAMENTOS\n" + good.substr(17), "",
       "The specified Sacramento model input parameter file does not\nhave the proper header: PLUVO_SACRAMENTO \n"
       "Program terminated in read_sacramento\n"},
      {no_lzfpc,
       "Premature end-of-file in the Sacramento parameter input file.\nThe file should contain 21 parameters.  "
       "Only 16 parameters read.\nProgram terminated in read_sacramento_input.\n",
       ""},
      // The repeat comes before the seventeenth value: all seventeen are in the file.
      {no_lzfpc.substr(0, no_lzfpc.find("uzfwc")) + "uzk 0.2\n" + no_lzfpc.substr(no_lzfpc.find("uzfwc")) + "lzfpc 0.6\n",
       "Duplicate cards read in Sacramento parameter file.\nThere should be only 21 different cards in the file\n"
       "with no duplicates.\nProgram terminated in read_sacramento\n",
       ""},
      {zero_lzfsm,
       "The Sacramento parameter card lzfsm is 0: a store capacity must be above 0.\n"
       "Program terminated in read_sacramento\n",
       ""},
                  },
                  pluvo::read_sacramento_input);
}

// Capacities and rates of a Sacramento watershed, with the contents given in mm.
std::array<double, pluvo::sac_param_count> sacramento_stores(double uztwc, double uzfwc, double lztwc, double lzfsc,
                                                             double lzfpc) {
  return {50, 40, 0.3, 40, 2, 130, 25, 60, 0.05, 0.01, 0.06, 0, uztwc, uzfwc, lztwc, lzfsc, lzfpc};
}

double pbase_of(const std::array<double, pluvo::sac_param_count>& p) {
  return p[pluvo::sac_lzpk] * p[pluvo::sac_lzfpm] + p[pluvo::sac_lzsk] * p[pluvo::sac_lzfsm];
}

TEST(SacramentoStep, WithoutInputTheLowerZoneGivesItsBaseflow) {
  auto p = sacramento_stores(20, 0, 130, 10, 30);
  double balance = 0.0;
  const double lower = p[pluvo::sac_lztwc] + p[pluvo::sac_lzfsc] + p[pluvo::sac_lzfpc];
  const pluvo::sac_fluxes f = pluvo::sacramento_et_step(p, pbase_of(p), balance, 0.0, 0.0);
  EXPECT_DOUBLE_EQ(f.baseflow, 30 * 0.01 + 10 * 0.05);
  EXPECT_DOUBLE_EQ(f.outflow(), f.baseflow);
  EXPECT_NEAR(p[pluvo::sac_lztwc] + p[pluvo::sac_lzfsc] + p[pluvo::sac_lzfpc], lower - f.baseflow, 1e-12);
  EXPECT_NEAR(balance, 0.0, 1e-12);
}

TEST(SacramentoStep, ADemandAboveTheTensionCapacityTakesTheRestFromFreeWater) {
  auto p = sacramento_stores(50, 30, 65, 10, 30);
  p[pluvo::sac_uzk] = p[pluvo::sac_lzpk] = p[pluvo::sac_lzsk] = 0.0;  // no drainage: the upper zone only loses ET
  double balance = 0.0;
  const pluvo::sac_fluxes f = pluvo::sacramento_et_step(p, pbase_of(p), balance, 70.0, 0.0);
  EXPECT_DOUBLE_EQ(f.et, 70.0);
  EXPECT_NEAR(p[pluvo::sac_uztwc] + p[pluvo::sac_uzfwc], 10.0, 1e-12);
  EXPECT_DOUBLE_EQ(f.outflow(), 0.0);
  // A demand beyond both upper stores takes what they hold.
  auto q = sacramento_stores(50, 30, 65, 10, 30);
  const pluvo::sac_fluxes g = pluvo::sacramento_et_step(q, pbase_of(q), balance, 200.0, 0.0);
  EXPECT_DOUBLE_EQ(g.et, 80.0);
  EXPECT_NEAR(balance, 0.0, 1e-12);
}

// Every store stays within 0 and its capacity, and the step closes its balance.
void expect_sound_step(const std::array<double, pluvo::sac_param_count>& before,
                       const std::array<double, pluvo::sac_param_count>& after, const pluvo::sac_fluxes& f, double P,
                       const std::string& where) {
  const int contents[] = {pluvo::sac_uztwc, pluvo::sac_uzfwc, pluvo::sac_lztwc, pluvo::sac_lzfsc, pluvo::sac_lzfpc};
  const int capacities[] = {pluvo::sac_uztwm, pluvo::sac_uzfwm, pluvo::sac_lztwm, pluvo::sac_lzfsm, pluvo::sac_lzfpm};
  for (int k = 0; k < 5; ++k) {
    const double c = after[size_t(contents[k])];
    ASSERT_TRUE(std::isfinite(c)) << where;
    ASSERT_GE(c, -1e-12) << where << " store " << k;
    ASSERT_LE(c, after[size_t(capacities[k])] + 1e-9) << where << " store " << k;
  }
  for (double v : {f.et, f.surface, f.interflow, f.baseflow}) ASSERT_GE(v, -1e-12) << where;
  ASSERT_NEAR(pluvo::sac_storage_mm(after) - pluvo::sac_storage_mm(before), P - f.et - f.outflow(), 1e-9) << where;
}

TEST(SacramentoStep, OverASyntheticYearEveryStepConservesWater) {
  auto p = sacramento_stores(10, 5, 20, 5, 20);
  p[pluvo::sac_pfree] = 0.3;
  double balance = 0.0;
  std::array<double, 5> fullest{}, emptiest{1, 1, 1, 1, 1};
  unsigned seed = 12345;
  auto uniform = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return double((seed >> 8) & 0xffff) / 65535.0;
  };
  for (int hour = 0; hour < 8760; ++hour) {
    const int day = hour / 24;
    // Four wet months fill every store; a long dry, hot summer empties the upper zone and the free
    // water below it; autumn storms come back. The lower tension water has no outlet of its own.
    const double P = day < 120   ? 10.0 + 20.0 * uniform()
                     : day > 300 ? (uniform() < 0.1 ? 60.0 * uniform() * uniform() : 0.0)
                                 : 0.0;
    const double demand = day >= 150 && day <= 300 ? 1.5 * uniform() : 0.05 * uniform();
    const auto before = p;
    const pluvo::sac_fluxes f = pluvo::sacramento_et_step(p, pbase_of(p), balance, demand, P);
    expect_sound_step(before, p, f, P, "hour " + std::to_string(hour));
    const int contents[] = {pluvo::sac_uztwc, pluvo::sac_uzfwc, pluvo::sac_lztwc, pluvo::sac_lzfsc, pluvo::sac_lzfpc};
    const int capacities[] = {pluvo::sac_uztwm, pluvo::sac_uzfwm, pluvo::sac_lztwm, pluvo::sac_lzfsm, pluvo::sac_lzfpm};
    for (int k = 0; k < 5; ++k) {
      const double share = p[size_t(contents[k])] / p[size_t(capacities[k])];
      fullest[size_t(k)] = std::max(fullest[size_t(k)], share);
      emptiest[size_t(k)] = std::min(emptiest[size_t(k)], share);
    }
  }
  EXPECT_NEAR(balance, 0.0, 1e-9);
  for (int k = 0; k < 5; ++k) {
    EXPECT_GT(fullest[size_t(k)], 0.95) << "store " << k << " never filled";
    EXPECT_LT(emptiest[size_t(k)], 0.3) << "store " << k << " never emptied";
  }
}

// The free-water split: both free stores full, a primary store nearly full with hpl above 0.5,
// a supplementary store that overflows.
TEST(SacramentoStep, FreeWaterPercolationNeverOverfillsOrTurnsNegative) {
  const struct {
    const char* name;
    std::array<double, pluvo::sac_param_count> p;
  } cases[] = {
      {"both free stores full", sacramento_stores(50, 40, 20, 25, 60)},
      {"primary nearly full, hpl above 0.5", sacramento_stores(50, 40, 20, 1, 59.9)},
      {"supplementary nearly full", sacramento_stores(50, 40, 20, 24.9, 0)},
      {"whole lower zone nearly full", sacramento_stores(50, 40, 129.9, 24.9, 59.9)},
  };
  for (const auto& c : cases) {
    for (double pfree : {0.0, 0.5, 1.0}) {
      auto p = c.p;
      p[pluvo::sac_pfree] = pfree;
      double balance = 0.0;
      const auto before = p;
      const pluvo::sac_fluxes f = pluvo::sacramento_et_step(p, pbase_of(p), balance, 0.0, 30.0);
      expect_sound_step(before, p, f, 30.0, std::string(c.name) + " pfree " + std::to_string(pfree));
      EXPECT_NEAR(balance, 0.0, 1e-9) << c.name;
    }
  }
}

std::string conceptual_file(const std::string& fast_max = "20") {
  return "PLUVO_CONCEPTUAL_GW\nslow_max 100\nFAST_MAX " + fast_max +
         "\nslow_rate 0.01\nfast_rate 0.2\nslow_content 0.5\nfast_content 0.5\nunderflow_percent 0.1\n";
}

TEST(ConceptualGwReader, ContentsStartAsSharesAndANegativeCapacityBecomesTen) {
  pluvo_test::scratch_dir dir;
  auto m = std::make_unique<model_state>();
  set_grid(*m, 1, 2, 10.0, {2.0, 1.0});
  printed p = read_text(*m, conceptual_file(), pluvo::read_conceptual_gw);
  EXPECT_EQ(pluvo::error_state.error_code, 0);
  EXPECT_EQ(p.out + p.err, "");
  ASSERT_EQ(m->cgw_params.size(), size_t(pluvo::cgw_param_count));
  EXPECT_DOUBLE_EQ(m->cgw_params[pluvo::cgw_slow_content], 50.0);
  EXPECT_DOUBLE_EQ(m->cgw_params[pluvo::cgw_fast_content], 10.0);
  EXPECT_DOUBLE_EQ(m->cgw_params[pluvo::cgw_max_outflow], 20 * 0.2 + 100 * 0.01);
  p = read_text(*m, conceptual_file("-5"), pluvo::read_conceptual_gw);
  EXPECT_EQ(p.err, "WARNING:fast_max changed!\n");
  EXPECT_DOUBLE_EQ(m->cgw_params[pluvo::cgw_fast_max], 10.0);
  EXPECT_DOUBLE_EQ(m->cgw_params[pluvo::cgw_fast_content], 5.0);
  EXPECT_EQ(pluvo::error_state.error_code, 0);
}

TEST(ConceptualGwReader, BadFilesStopTheRunWithTheirMessages) {
  const std::string good = conceptual_file();
  const std::string short_file = good.substr(0, good.find("underflow"));
  expect_refusals(std::vector<refusal>{
      {"PLUVO_CONCEPTUAL\n" + good.substr(20), "",
       "have the proper header: PLUVO_CONCEPTUAL_GW \nProgram terminated in read_conceptual_gw\n"},
      {short_file,
       "Premature end-of-file in the Conceptual GW parameter input file.\nThe file should contain 9 parameters.  "
       "Only 6 parameters read.\nProgram terminated in read_conceptual_gw.\n",
       ""},
      {short_file.substr(0, short_file.find("fast_content")) + "slow_rate 0.3\n" +
           short_file.substr(short_file.find("fast_content")) + "underflow_percent 0.1\n",
       "Duplicate cards read in Conceptual_GW parameter file.\nThere should be only 8 different cards in the file\n"
       "with no duplicates.\nProgram terminated in read_conceptual_gw\n",
       ""},
      {conceptual_file("0"),
       "The Conceptual_GW parameter card fast_max is 0: a store capacity must be above 0.\n"
       "Program terminated in read_conceptual_gw\n",
       ""},
                  },
                  pluvo::read_conceptual_gw);
}

std::vector<double> two_stores(double slow, double fast) {
  std::vector<double> p(pluvo::cgw_param_count, 0.0);
  p[pluvo::cgw_slow_max] = 100;
  p[pluvo::cgw_fast_max] = 20;
  p[pluvo::cgw_slow_rate] = 0.01;
  p[pluvo::cgw_fast_rate] = 0.2;
  p[pluvo::cgw_slow_content] = slow;
  p[pluvo::cgw_fast_content] = fast;
  return p;
}

TEST(ConceptualGwStep, WithoutInputEachStoreDecaysGeometrically) {
  auto p = two_stores(50, 10);
  double slow = 0, fast = 0;
  for (int n = 1; n <= 48; ++n) {
    pluvo::two_store_balance_step(0.0, p, slow, fast);
    EXPECT_NEAR(p[pluvo::cgw_slow_content], 50 * std::pow(0.99, n), 1e-12);
    EXPECT_NEAR(p[pluvo::cgw_fast_content], 10 * std::pow(0.8, n), 1e-12);
    EXPECT_DOUBLE_EQ(p[pluvo::cgw_total_outflow], slow + fast);
  }
}

TEST(ConceptualGwStep, InputIsConservedEvenWhenTheStoresAreFull) {
  const double stores[][2] = {{0, 0}, {50, 10}, {100, 20}, {99.5, 3}, {100, 35}, {10, 30}, {0, 20}};
  for (const auto& s : stores)
    for (double P : {0.5, 5.0, 80.0}) {
      auto p = two_stores(s[0], s[1]);
      const double before = s[0] + s[1];
      double slow = 0, fast = 0;
      pluvo::two_store_balance_step(P, p, slow, fast);
      const double after = p[pluvo::cgw_slow_content] + p[pluvo::cgw_fast_content];
      EXPECT_NEAR((before - after - (slow + fast) + P) / P * 100.0, 0.0, 1e-11) << s[0] << " " << s[1] << " " << P;
      EXPECT_LE(p[pluvo::cgw_slow_content], 100.0 + 1e-12);
      EXPECT_GE(p[pluvo::cgw_slow_content], s[0] * 0.99 - 1e-12) << "the slow store lost water to the input";
      EXPECT_GE(p[pluvo::cgw_fast_content], s[1] * 0.8 - 1e-12) << "the fast store lost water to the input";
    }
}

// The area that reaches the cells without a lower neighbour is the whole watershed.
TEST(FlowPasses, TheOutletAreasAddUpToTheWatershed) {
  const int rows = 9, cols = 11;
  std::vector<double> z;
  std::vector<int> mask;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      z.push_back(100.0 - 0.3 * r + 0.8 * std::abs(c - 6) + 0.5 * std::sin(1.7 * r * c));
      mask.push_back((r == 1 && c < 3) || (r == 9 && c > 9) ? 0 : 1);
    }
  auto m = std::make_unique<model_state>();
  set_grid(*m, rows, cols, 30.0, z, mask);
  pluvo::grid<double> area, index;
  pluvo::error_state = pluvo::error_state_record();
  pluvo::upslope_flow_passes(m->cell_number_grid, m->elevation, 30.0, area, nullptr);
  ASSERT_EQ(pluvo::error_state.error_code, 0);
  double sinks = 0.0;
  int sink_count = 0;
  const auto& g = m->cell_number_grid;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      if (g(r, c) == 0) {
        EXPECT_EQ(area(r, c), 0.0);
        continue;
      }
      EXPECT_GE(area(r, c), 900.0);
      bool lower = false;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) {
          const int rr = r + dr, cc = c + dc;
          if (rr >= 1 && rr <= rows && cc >= 1 && cc <= cols && g(rr, cc) > 0 &&
              m->elevation[size_t(g(rr, cc))] < m->elevation[size_t(g(r, c))])
            lower = true;
        }
      if (!lower) {
        sinks += area(r, c);
        ++sink_count;
      }
    }
  EXPECT_GT(sink_count, 0);
  EXPECT_NEAR(sinks, 900.0 * m->cell_count, 1e-6);
}

// A plane falling to the south: away from the side edges a row's cells are alike.
TEST(FlowPasses, OnATiltedPlaneTheCellsOfARowAwayFromTheEdgesShareOneIndex) {
  const int rows = 6, cols = 15;
  std::vector<double> z;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) z.push_back(10.0 - 0.05 * r);
  auto m = std::make_unique<model_state>();
  set_grid(*m, rows, cols, 10.0, z);
  m->topo_index_on = 1;
  pluvo::error_state = pluvo::error_state_record();
  pluvo::topodex(*m);
  ASSERT_EQ(pluvo::error_state.error_code, 0);
  ASSERT_EQ(m->topo_dex_on, 1);
  const auto& g = m->cell_number_grid;
  for (int r = 1; r < rows; ++r) {
    // a = r cells of 100 m2, S = dx x tan(beta) = 10 x 0.005.
    const double expected = std::log(r * 100.0 / (10.0 * 0.005));
    for (int c = r + 1; c <= cols - r; ++c)
      EXPECT_NEAR(m->topo_dex[size_t(g(r, c))], expected, 1e-12) << r << " " << c;
  }
}

TEST(FlowPasses, UpslopeOutHoldsEachRowsAreas) {
  pluvo_test::scratch_dir dir;
  auto m = std::make_unique<model_state>();
  // Falls south and toward the middle column; the corner cell (1,1) is outside the watershed.
  set_grid(*m, 3, 4, 10.0, {0, 5.2, 5.1, 5.2, 4.2, 4.1, 4.0, 4.1, 3.2, 3.1, 3.0, 3.1}, {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
  pluvo::error_state = pluvo::error_state_record();
  testing::internal::CaptureStdout();
  pluvo::produce_upslope_area(*m);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(read_file("upslope.out"), std::string("north: 1000030.000000\nsouth: 1000000.000000\n"
                                                  "east:  100040.000000\nwest:  100000.000000\nrows:  3\ncols:  4\n") +
                                          "0.000000 100.000000 109.903382 100.000000 \n"
                                          "121.739130 181.371688 236.975692 187.278583 \n"
                                          "212.646653 495.719655 1100.000000 269.627993 \n");
  // (1,3) gets 0.05/1.15 of (1,2) and 0.05/0.9 of (1,4); the one low cell gathers all eleven.
  EXPECT_NEAR(m->upslope_area[size_t(m->cell_number_grid(1, 3))], 100.0 * (1.0 + 0.05 / 1.15 + 0.05 / 0.9), 1e-9);
  EXPECT_NEAR(m->upslope_area[size_t(m->cell_number_grid(3, 3))], 1100.0, 1e-9);
}

TEST(FlowPasses, AThousandPassesWithoutFinishingStopTheRun) {
  // A column falling north: each pass finishes only the lowest row still waiting.
  const int rows = 1001;
  std::vector<double> z;
  for (int r = 1; r <= rows; ++r) z.push_back(0.1 * r);
  auto m = std::make_unique<model_state>();
  set_grid(*m, rows, 1, 10.0, z);
  pluvo::grid<double> area;
  pluvo::error_state = pluvo::error_state_record();
  testing::internal::CaptureStdout();
  pluvo::upslope_flow_passes(m->cell_number_grid, m->elevation, 10.0, area, nullptr);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "You have specified TOPO_INDEX in your PLUVO project file.\n"
            "After 1000 iterative passes through the DEM to calculate\n"
            "the topographic index map, the routine has not succeeded.\n"
            "This is rediculous.  Your DEM must be of very poor quality.\n"
            "Please make your DEM more representative of nature in terms\n"
            "of flow paths, removing digital dams and pits.  If you do not\n"
            "want to do this, you can remove the TOPO_INDEX card from your\n"
            "PLUVO project file, and the PLUVO Sacramento Routine will the\n"
            "simply put its output into the channels uniformly.\n"
            "Program terminated.\n\n");
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  pluvo::error_state = pluvo::error_state_record();
  // One row fewer finishes on the last allowed pass.
  set_grid(*m, rows - 1, 1, 10.0, z);
  pluvo::upslope_flow_passes(m->cell_number_grid, m->elevation, 10.0, area, nullptr);
  EXPECT_EQ(pluvo::error_state.error_code, 0);
  EXPECT_NEAR(area(1, 1), 100.0 * (rows - 1), 1e-6);
}

}  // namespace
