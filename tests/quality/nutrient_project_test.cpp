// The nutrient module through a project file: nine nutrients start from the OV_INIT cards and
// the mapping tables, ride the storm like any dissolved constituent and keep a closed overland
// balance; the set-up's errors stop the run with their numbered messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "contaminant_fixture.hpp"
#include "quality/tvx.hpp"
#include "record/model_state.hpp"

namespace {

using pluvo_test::contaminant_grid;
using pluvo_test::contaminant_map;
using pluvo_test::table_row;
using pluvo_test::write_file;

// One block of a nutrient table for id 1, with its rain concentrations.
std::string nutrient_block(const char* keyword, const char* precip, const char* values) {
  return std::string(keyword) + " \"Land\"\nNUM_IDS 1\nPRECIP_CONC " + precip + "\nheader\n" + table_row(1, values);
}

const std::string nutrient_tables =
    "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP c.idx \"Land\"\n" + nutrient_block("TVX_N", "0.1 0.2 0.3 0.4", "0.01 1.5 0.3 0.7") +
    nutrient_block("TVX_P", "0.5 0.6 0.65", "0.2 0.1 9") + nutrient_block("TVX_OTH", "0.7 0.8 0.9", "0.4 2.5 8");

// The fixture's strip of eight 10 m cells under 1 cm of water, with the nutrient cards given.
void write_nutrient_project(const std::string& cards, const std::string& tables = nutrient_tables) {
  contaminant_grid g;
  write_file("c.msk", contaminant_map(g, [](int, int) { return std::string("1"); }));
  write_file("c.ele", contaminant_map(g, [&](int r, int c) { return std::to_string(g.elevation(r, c)); }));
  write_file("c.idx", contaminant_map(g, [](int, int) { return std::string("1"); }));
  write_file("c.dep", contaminant_map(g, [](int, int) { return std::string("0.01"); }));
  write_file("c.cmt", tables);
  write_file("c.aqe", "AQUATIC_ENV_TVX10\nOV_MAP c.idx\nNUM_IDS 1\nheading\n1\nDEFAULT\n");
  write_file("c.prj",
             "PLUVOPROJECT\nWATERSHED_MASK c.msk\nELEVATION c.ele\nGRIDSIZE 10\nROWS 1\nCOLS 8\nOUTROW 1\nOUTCOL 8\n"
             "OUTSLOPE 0.01\nOVERTYPE 1\nMANNING_N 0.03\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\nMAP_FREQ 600\n"
             "SUMMARY c.sum\nOUTLET_HYDRO c.hyd\nMAPPING_TABLE c.cmt\nOV_INIT_DEPTH c.dep\nTIMESTEP 5\nTOT_TIME 30\n"
             "HYD_FREQ 1\nPRECIP_UNIF\nRAIN_INTENSITY 30\nRAIN_DURATION 10\nGREEN_AMPT\nCONDUCTIVITY c.k\n"
             "CAPILLARY c.h\nPOROSITY c.p\nMOISTURE c.w\nWATER_TEMP 20\nCHAN_PH 7\nNUTRIENTS\nAQ_ENV c.aqe\n" +
                 cards);
  for (const auto& [name, value] : {std::pair{"c.k", "0.5"}, {"c.h", "10"}, {"c.p", "0.45"}, {"c.w", "0.2"},
                                    {"c.l", "0.3"}, {"c.r", "0.05"}})
    write_file(name, contaminant_map(g, [&](int, int) { return std::string(value); }));
}

const char* const table_and_card_cards =
    "OV_INIT_NO2\nOV_INIT_NO3 0.5\nOV_INIT_NH4\nOV_INIT_ON 0.25\nOV_INIT_OP\nOV_INIT_DP 0.05\nOV_INIT_ALG\n"
    "OV_INIT_CBOD 3\nOV_INIT_DO\n";

TEST(NutrientProject, NineNutrientsStartFromCardsAndTablesAndKeepAClosedBalance) {
  pluvo_test::scratch_dir dir;
  write_nutrient_project(std::string(table_and_card_cards) + "OUT_HYD_NO3 no3\n");
  // NO2 .. DO: the table's value where the card has none, else the card's.
  const double start[9] = {0.01, 0.5, 0.3, 0.25, 0.2, 0.05, 0.4, 3.0, 8.0};
  // Rain: TVX_N's four, OP and DP from TVX_P, Alg, CBOD and DO from TVX_OTH in its column order.
  const double rain[9] = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9};
  bool checked_start = false;
  double worst = 0.0, outlet = 0.0;
  pluvo::set_phase_observer([&](const char* p, int, pluvo::model_state& m) {
    const std::string phase = p;
    if (phase == "init_overland_nutrient_state") {
      checked_start = true;
      ASSERT_NE(m.tvx_state, nullptr);
      const pluvo::tvx_overland& o = m.tvx_state->overland;
      EXPECT_EQ(m.num_constituents, 9);
      EXPECT_EQ(m.first_type2_constituent, 1);
      for (int k = 0; k < 9; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(m.constituent_type[k + 1], 2.0);
        // The constituent tables hold the nutrient record's own arrays.
        EXPECT_EQ(m.ov_conc.rows[k + 1], o.slots[k]->conc.data);
        EXPECT_EQ(m.ov_mass.rows[k + 1], o.slots[k]->mass.data);
        EXPECT_EQ(m.ov_source_conc.rows[k + 1], o.slots[k]->maxconc.data);
        EXPECT_DOUBLE_EQ(m.precip_conc[k + 1], rain[k]);
        for (int c = 1; c <= m.cell_count; ++c) {
          EXPECT_DOUBLE_EQ(o.slots[k]->conc[c], start[k]);
          EXPECT_DOUBLE_EQ(o.slots[k]->mass[c], 10.0 * 0.01 * 10.0 * start[k]);
        }
      }
    }
    if (phase == "write_time_series" && m.num_constituents == 9) {
      for (int k = 1; k <= 9; ++k) {
        const auto b = pluvo_test::event_overland_books(m, k);
        worst = std::max(worst, std::fabs(b.first - b.second) / std::max(std::fabs(b.first), 1e-300));
      }
      outlet = m.OV_MASS_OUT[2];
    }
  });
  std::string out;
  const int code = [&] {
    int c = -1;
    out = pluvo::printed_by([&] { c = pluvo::run_pluvo("c.prj", nullptr, "c.prj"); });
    return c;
  }();
  pluvo::set_phase_observer(nullptr);
  ASSERT_EQ(code, 0) << out;
  EXPECT_TRUE(checked_start);
  EXPECT_LT(worst, 1e-12);
  EXPECT_GT(outlet, 0.0);  // nitrate left at the outlet with the storm water
  // Without channels the outlet series follow the outlet cell's water: its intervals' masses (g)
  // add up to the nitrate that left (kg).
  double series_mass = 0.0, largest_conc = 0.0;
  for (const char* file : {"no3.mass", "no3.conc"}) {
    std::istringstream in(pluvo_test::read_file(file));
    int lines = 0;
    for (double t, v; in >> t >> v; ++lines) {
      EXPECT_TRUE(std::isfinite(t) && std::isfinite(v)) << file;
      if (file[4] == 'm')
        series_mass += v;
      else
        largest_conc = std::max(largest_conc, v);
    }
    EXPECT_EQ(lines, 31) << file;  // every minute from 0 to 30
  }
  EXPECT_NEAR(series_mass, 1000.0 * outlet, std::max(0.005 * 1000.0 * outlet, 2e-3));
  EXPECT_GT(largest_conc, 0.0);
  for (const char* line :
       {"Reading the aquatic environment file c.aqe.\n", "Allocating memory for overland TVX...Done\n",
        "Assigning parameters for the Nitrite (NO2-) constituent from the mapping table.\n",
        "Assigning spatially uniform parameters for the Nitrate (NO3-) constituent\n",
        "Assigning parameters for the Dissolved Oxygen (O2) constituent from the mapping table.\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << out;
  // The run summary gives every nutrient its overland balance, closed, and the nutrient block.
  const std::string whole = pluvo_test::read_file("c.sum");
  const std::string summary = whole.substr(0, whole.find("Global Transport Summaries"));
  const std::string label = "Contam mass balance error";
  int balances = 0;
  for (size_t at = summary.find(label); at != std::string::npos; at = summary.find(label, at + 1), ++balances)
    EXPECT_LT(std::fabs(std::strtod(summary.c_str() + at + label.size(), nullptr)), 1e-3) << summary;
  EXPECT_GE(balances, 9) << summary;
  EXPECT_NE(whole.find("TVX dm/dt Summary"), std::string::npos) << whole;
  EXPECT_NE(summary.find("Carbonaceous Biochemical Oxygen Demand"), std::string::npos) << summary;
}

TEST(NutrientProject, SetUpErrorsStopTheRunWithTheirMessages) {
  const std::string no_oth = "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP c.idx \"Land\"\n" +
                             nutrient_block("TVX_P", "0.5 0.6 0.65", "0.2 0.1 9");
  const struct {
    const char* name;
    std::string cards;
    std::string tables;
    std::string message;
  } cases[] = {
      {"no table for a card without a value", "OV_INIT_NO2\n", no_oth,
       "Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Grid): "
       "Nitrite (NO2-)\n"},
      {"a map that does not open", "OV_INIT_NH4 missing.map\n", nutrient_tables,
       "Error opening initial condition continuous map file \nfor the grid Ammonium (NH4+) constituent. \n"
       "Given filename: missing.map\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pluvo_test::scratch_dir dir;
    write_nutrient_project(c.cards, c.tables);
    pluvo::run_stopped_on_error = false;
    const auto r = pluvo_test::run_contaminant_project(1, "", nullptr);
    EXPECT_TRUE(pluvo::run_stopped_on_error);
    pluvo::run_stopped_on_error = false;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Running...."), std::string::npos) << r.out;
  }
}

// Algae takes its rain and its presence from TVX_OTH: without that table a card without a value
// stops the run even when TVX_P is there.
TEST(NutrientProject, AlgaeWithoutTheOtherTableStops) {
  pluvo_test::scratch_dir dir;
  write_nutrient_project("OV_INIT_ALG\n", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP c.idx \"Land\"\n" +
                                              nutrient_block("TVX_P", "0.5 0.6 0.65", "0.2 0.1 9"));
  const auto r = pluvo_test::run_contaminant_project(1, "", nullptr);
  EXPECT_NE(r.out.find("no mapping table exists (Grid): Algae\n"), std::string::npos) << r.out;
}

// The Part's case: a 30 m cell under 0.1 m of water takes 0.5 from OV_INIT_NH4 and holds 45.
TEST(NutrientProject, UniformAmmoniumOnAThirtyMetreCell) {
  pluvo_test::scratch_dir dir;
  const std::string header = "north: 30\nsouth: 0\neast: 60\nwest: 0\nrows: 1\ncols: 2\n";
  write_file("n.msk", header + "1 1\n");
  write_file("n.ele", header + "10.1 10.0\n");
  write_file("n.dep", header + "0.1 0.1\n");
  write_file("n.aqe", "AQUATIC_ENV_TVX10\nOV_MAP n.msk\nNUM_IDS 1\nheading\n");
  write_file("n.prj",
             "PLUVOPROJECT\nWATERSHED_MASK n.msk\nELEVATION n.ele\nGRIDSIZE 30\nROWS 1\nCOLS 2\nOUTROW 1\nOUTCOL 2\n"
             "OUTSLOPE 0.01\nOVERTYPE 1\nMANNING_N 0.03\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\nTIMESTEP 5\n"
             "TOT_TIME 1\nHYD_FREQ 1\nPRECIP_UNIF\nRAIN_INTENSITY 1\nRAIN_DURATION 1\nSUMMARY n.sum\n"
             "OUTLET_HYDRO n.hyd\nOV_INIT_DEPTH n.dep\nWATER_TEMP 25\nCHAN_PH 7\nNUTRIENTS\nAQ_ENV n.aqe\n"
             "OV_INIT_NH4 0.5\n");
  double conc = 0.0, mass = 0.0, ka = 0.0, h = 0.0;
  pluvo::set_phase_observer([&](const char* p, int, pluvo::model_state& m) {
    if (std::string(p) != "init_overland_nutrient_state") return;
    const pluvo::tvx_overland& o = m.tvx_state->overland;
    conc = o.slots[2]->conc[1];
    mass = o.slots[2]->mass[1];
    ka = o.Ka;
    h = o.h_ion;
  });
  std::string out;
  int code = -1;
  out = pluvo::printed_by([&] { code = pluvo::run_pluvo("n.prj", nullptr, "n.prj"); });
  pluvo::set_phase_observer(nullptr);
  ASSERT_EQ(code, 0) << out;
  EXPECT_DOUBLE_EQ(conc, 0.5) << out;
  EXPECT_DOUBLE_EQ(mass, 45.0);
  EXPECT_NEAR(ka, 5.671e-10, 0.001e-10);
  EXPECT_DOUBLE_EQ(h, 1e-7);
}

// The nutrient project with soil transport, the TVX_SOIL_N pools and Green and Ampt with
// redistribution, and the cards given.
void write_soil_nutrient_project(const std::string& cards) {
  write_nutrient_project("OV_CON_TRANS\nSOIL_CON_TRANS\nSOILS_TVX_N\nMIXING_LAYER_DEPTH 0.05\nTOP_LAYER_DEPTH 0.2\n"
                         "SOIL_MOIST_DEPTH 0.5\n" + cards,
                         nutrient_tables + "TVX_SOIL_N \"Land\"\nNUM_IDS 1\nheader\n" + table_row(1, "2 3 4 5 6"));
  std::string prj = pluvo_test::read_file("c.prj");
  prj.replace(prj.find("GREEN_AMPT\n"), 11, "INF_REDIST\nPORE_INDEX c.l\nRESIDUAL_SAT c.r\n");
  write_file("c.prj", prj);
}

// The soil pools of TVX_SOIL_N arrive in the first soil layer times 1000; deeper layers and
// pools without a table stay empty.
TEST(NutrientProject, SoilPoolsTakeTheTableTimesAThousandInTheirFirstLayer) {
  pluvo_test::scratch_dir dir;
  write_soil_nutrient_project("");
  // Read inside the run, checked after it: the run's output is being captured meanwhile.
  bool seen = false, linked = false, planes = true;
  int tvx = 0, layers = 0;
  std::string wrong;
  pluvo::set_phase_observer([&](const char* p, int, pluvo::model_state& m) {
    if (std::string(p) != "init_overland_nutrient_state" || !m.tvx_state) return;
    seen = true;
    const pluvo::tvx_object& t = *m.tvx_state;
    linked = t.soil_record == &t.soils;
    tvx = m.num_tvx_constituents;
    layers = m.soil_contam_layers;
    for (int pool = 0; pool < 13; ++pool) {
      // The soil plane of each pool's constituent is the pool itself.
      planes = planes && pluvo::checked_array_3d_plane(m.soil_mass, m.first_type2_constituent + pool) ==
                             t.soils.pools[pool].rows;
      const double first = pool >= 2 && pool <= 6 ? 1000.0 * pool : 0.0;
      for (int c = 1; c <= m.cell_count; ++c)
        for (int layer = 1; layer <= m.soil_contam_layers; ++layer)
          if (t.soils.pools[pool].rows[c][layer] != (layer == 1 ? first : 0.0))
            wrong += "pool " + std::to_string(pool) + " cell " + std::to_string(c) + " layer " +
                     std::to_string(layer) + ": " + std::to_string(t.soils.pools[pool].rows[c][layer]) + "\n";
    }
  });
  int code = -1;
  const std::string out = pluvo::printed_by([&] { code = pluvo::run_pluvo("c.prj", nullptr, "c.prj"); });
  pluvo::set_phase_observer(nullptr);
  EXPECT_EQ(code, 0) << out;
  ASSERT_TRUE(seen) << out;
  EXPECT_TRUE(linked);
  EXPECT_TRUE(planes);
  EXPECT_EQ(tvx, 13);
  EXPECT_GE(layers, 1);
  EXPECT_EQ(wrong, "");
  EXPECT_NE(out.find("Allocating memory for TVX Soils...Done\n"), std::string::npos) << out;
}

// Without NUTRIENTS a run has no nutrient object and no nutrient constituents.
// The soil nutrient clock ticks every SOIL_KINETICS_TIMESTEP_FACTOR soil steps (every one without
// the card), and each tick keeps the soil step's interval.
TEST(NutrientProject, SoilKineticsClockTicksEveryFactorSoilSteps) {
  struct clock_run {
    int soil_steps = 0;
    std::vector<int> ticks;  // the soil steps at which the nutrient clock ticked
    double step_s = 0.0, worst_dt = 0.0;
  };
  auto run = [](const std::string& cards) {
    pluvo_test::scratch_dir dir;
    write_soil_nutrient_project(cards);
    clock_run r;
    double soil_last = -1.0, tvx_last = -1.0;
    pluvo::set_phase_observer([&](const char* p, int, pluvo::model_state& m) {
      // The phase after the soil step sees what it did.
      if (std::string(p) != "apply_overland_sources_sinks" || m.soil_wq_last_time == soil_last) return;
      const double step_s = (m.soil_wq_last_time - soil_last) * 86400.0;
      if (soil_last >= 0.0) r.step_s = step_s;
      soil_last = m.soil_wq_last_time;
      ++r.soil_steps;
      if (m.soil_tvx_last_time == tvx_last) return;
      tvx_last = m.soil_tvx_last_time;
      r.ticks.push_back(r.soil_steps);
      if (r.soil_steps > 1) r.worst_dt = std::max(r.worst_dt, std::fabs(m.ov_tvx_dt - step_s));
    });
    int code = -1;
    const std::string out = pluvo::printed_by([&] { code = pluvo::run_pluvo("c.prj", nullptr, "c.prj"); });
    pluvo::set_phase_observer(nullptr);
    EXPECT_EQ(code, 0) << out;
    return r;
  };
  const struct {
    const char* cards;
    int factor;
  } cases[] = {{"", 1}, {"SOIL_KINETICS_TIMESTEP_FACTOR 1\n", 1}, {"SOIL_KINETICS_TIMESTEP_FACTOR 4\n", 4},
               {"SOIL_KINETICS_TIMESTEP_FACTOR 12\n", 12}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cards);
    const clock_run r = run(c.cards);
    ASSERT_GT(r.soil_steps, 100);  // half an hour of 5 s soil steps
    EXPECT_NEAR(r.step_s, 5.0, 1e-3);  // Julian days keep about 10 us
    ASSERT_GE(r.ticks.size(), 3u);
    // The event's start restarts the clocks one soil step after the run's start.
    for (size_t k = 2; k < r.ticks.size(); ++k) EXPECT_EQ(r.ticks[k] - r.ticks[k - 1], c.factor) << k;
    EXPECT_GE(int(r.ticks.size()), r.soil_steps / c.factor - 1);
    EXPECT_LT(r.worst_dt, 1e-6);
  }
}

TEST(NutrientProject, ARunWithoutNutrientsHasNoObject) {
  pluvo_test::scratch_dir dir;
  write_nutrient_project("");
  std::string prj = pluvo_test::read_file("c.prj");
  prj.erase(prj.find("NUTRIENTS\nAQ_ENV c.aqe\n"));
  write_file("c.prj", prj);
  bool seen = false;
  pluvo::set_phase_observer([&](const char* p, int, pluvo::model_state& m) {
    if (std::string(p) != "init_overland_nutrient_state") return;
    seen = true;
    EXPECT_EQ(m.tvx_state, nullptr);
    EXPECT_EQ(m.num_constituents, 0);
    EXPECT_EQ(m.first_type2_constituent, -1);
  });
  int code = -1;
  const std::string out = pluvo::printed_by([&] { code = pluvo::run_pluvo("c.prj", nullptr, "c.prj"); });
  pluvo::set_phase_observer(nullptr);
  EXPECT_EQ(code, 0) << out;
  EXPECT_TRUE(seen);
}

}  // namespace
