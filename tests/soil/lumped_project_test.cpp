// The lumped models in long-term projects as a user writes them: the strip watershed with hourly
// weather and two storms, run through the real project reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "common/julian.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"
#include "soil/long_term_project.hpp"

namespace {

using pluvo_test::write_file;

struct hourly_flow {
  std::vector<double> julian, flow_cms, input_mm;
  double first_storm = 0.0;
};

// Runs the two-storm project with the lumped model's cards, recording the model's outflow
// after each of its steps (the observer sees the phase that follows).
pluvo_test::project_result run_lumped(const std::string& cards, bool sac, hourly_flow& h) {
  pluvo_test::write_long_term_inputs(3);
  pluvo::set_phase_observer([&](const char* p, int, pluvo::model_state& m) {
    if (std::string(p) != (sac ? "conceptual_gw_step" : "step_soil_water_quality")) return;
    const double last = sac ? m.sac_last_time : m.cgw_last_time;
    if (!(std::fabs(last - m.cur_julian) < m.time_tolerance)) return;
    h.julian.push_back(m.cur_julian);
    h.flow_cms.push_back(sac ? m.sac_flow_cms : m.cgw_flow_cms);
    h.input_mm.push_back(sac ? m.sac_input_mm : m.cgw_input_mm);
  });
  const pluvo_test::project_result r = pluvo_test::run_strip_cards(
      pluvo_test::long_term_cards(pluvo_test::redistribution_soil("0.25") + "SOIL_MOIST_DEPTH 0.6\nTOP_LAYER_DEPTH 0.2\n" + cards));
  pluvo::set_phase_observer(nullptr);
  h.first_storm = pluvo::julian_date(2020, 6, 1, 10, 0, 0.0);
  return r;
}

// The outflow falls hour by hour in the dry spells and rises after the storm's water arrives
// (the run ends with the second storm).
void expect_storm_response(const hourly_flow& h) {
  ASSERT_GT(h.julian.size(), 30u);
  size_t wet = 0;
  while (wet < h.julian.size() && h.input_mm[wet] == 0.0) ++wet;
  ASSERT_LT(wet + 2, h.julian.size());
  ASSERT_GT(wet, 2u);
  EXPECT_GT(h.julian[wet], h.first_storm);
  EXPECT_LT(h.julian[wet], h.first_storm + 0.05);
  EXPECT_GT(std::max(h.flow_cms[wet], h.flow_cms[wet + 1]), 1.05 * h.flow_cms[wet - 1]);
  for (size_t k = 1; k < h.julian.size(); ++k) {
    if (k == wet || k == wet + 1) continue;
    EXPECT_EQ(h.input_mm[k], 0.0) << "hour " << k;
    EXPECT_LE(h.flow_cms[k], h.flow_cms[k - 1] * (1.0 + 1e-12)) << "hour " << k;
    EXPECT_GT(h.flow_cms[k], 0.0);
  }
}

TEST(LumpedProject, SacramentoTakesTheInfiltrationAndItsBooksClose) {
  pluvo_test::scratch_dir dir;
  pluvo_test::sacramento_soil();
  hourly_flow h;
  const pluvo_test::project_result r = run_lumped("SACRAMENTO sac.txt\n", true, h);
  ASSERT_FALSE(r.stopped) << r.out;
  expect_storm_response(h);
  const std::string summary = pluvo_test::read_file("w.sum");
  EXPECT_NE(summary.find("Sacramento soil moisture accounting was used."), std::string::npos);
  EXPECT_NE(summary.find("\n\nSimulation summary for the Sacramento Soil Moisture Accounting Model\n"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("uztwc:      19.000 mm,    95.00%\n"), std::string::npos);
  EXPECT_GT(pluvo_test::number_after(summary, "Input rainfall (mm):"), 1.0);
  EXPECT_GT(pluvo_test::number_after(summary, "AET calculated by Sacramento (mm):"), 0.0);
  EXPECT_NEAR(pluvo_test::number_after(summary, "Sacramento simulation total residual water balance:"), 0.0, 1e-9)
      << summary;
  EXPECT_NE(summary.find("volume of infil water SAC recieves:"), std::string::npos);
  // A second run in the same process starts from the file's contents again.
  const auto block = [](const std::string& text) {
    const size_t at = text.find("Simulation summary for the Sacramento");
    return at == std::string::npos ? std::string() : text.substr(at, text.find("Residual=", at) - at);
  };
  hourly_flow again;
  ASSERT_FALSE(run_lumped("SACRAMENTO sac.txt\n", true, again).stopped);
  EXPECT_EQ(block(pluvo_test::read_file("w.sum")), block(summary));
  EXPECT_EQ(again.flow_cms, h.flow_cms);
}

// Every event's books and the run's close with the Sacramento stores in them: the infiltrated
// water enters the stores once, and their outflow leaves the watershed (it has no channels).
TEST(LumpedProject, SacramentoEventAndRunBooksClose) {
  pluvo_test::scratch_dir dir;
  pluvo_test::sacramento_soil();
  hourly_flow h;
  const pluvo_test::project_result r = run_lumped("SACRAMENTO sac.txt\n", true, h);
  ASSERT_FALSE(r.stopped) << r.out;
  const std::string summary = pluvo_test::read_file("w.sum");
  const std::vector<double> errors = pluvo_test::numbers_after(summary, "mass conservation error:");
  ASSERT_EQ(errors.size(), 2u) << summary;
  for (double e : errors) EXPECT_LT(std::fabs(e), 1e-6) << summary;
  EXPECT_GT(pluvo_test::number_after(summary, "volume of base flow from Sacramento:"), 0.0);
  EXPECT_NEAR(pluvo_test::number_after(summary, "Overall mass balance error ="), 0.0, 1e-6) << summary;
  EXPECT_EQ(r.out.find("Mass conservation error is high"), std::string::npos) << r.out;
}

// With TOPO_INDEX the reader maps the index; the strip's cells all drain, so none is negative.
TEST(LumpedProject, SacramentoWithTheTopographicIndexRuns) {
  pluvo_test::scratch_dir dir;
  pluvo_test::sacramento_soil();
  pluvo_test::write_long_term_inputs(3);
  std::vector<double> index;
  pluvo::set_phase_observer([&](const char* p, int, pluvo::model_state& m) {
    if (index.empty() && std::string(p) == "sacramento_step") index = m.topo_dex;
  });
  const pluvo_test::project_result r = pluvo_test::run_strip_cards(pluvo_test::long_term_cards(
      pluvo_test::redistribution_soil("0.25") + "SOIL_MOIST_DEPTH 0.6\nSACRAMENTO sac.txt\nTOPO_INDEX\n"));
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(r.stopped) << r.out;
  ASSERT_EQ(index.size(), 7u);
  // The north-west corner sends 2/3 of its 100 m2 east over S = 10 x (0.5 x 0.01 + 0.25 x 0.01).
  EXPECT_NEAR(index[1], std::log(100.0 / 0.075), 1e-9);
  for (size_t c = 1; c < index.size(); ++c) EXPECT_GT(index[c], 0.0);
}

TEST(LumpedProject, ConceptualGroundwaterTakesTheInfiltrationAndWritesTheUpslopeAreas) {
  pluvo_test::scratch_dir dir;
  write_file("cgw.txt",
             "PLUVO_CONCEPTUAL_GW\nslow_max 100\nfast_max 20\nslow_rate 0.005\nfast_rate 0.1\nslow_content 0.5\n"
             "fast_content 0.2\nunderflow_percent 0.1\n");
  hourly_flow h;
  const pluvo_test::project_result r = run_lumped("CONCEPTUAL_GW cgw.txt\n", false, h);
  ASSERT_FALSE(r.stopped) << r.out;
  expect_storm_response(h);
  // The strip falls east: the outlet column gathers the 600 m2 of the watershed.
  const std::string upslope = pluvo_test::read_file("upslope.out");
  EXPECT_EQ(upslope.rfind("north: 1000020.000000\nsouth: 1000000.000000\neast:  100030.000000\nwest:  100000.000000\n"
                           "rows:  2\ncols:  3\n100.000000 ",
                           0),
            0u)
      << upslope;
  EXPECT_NE(upslope.find(" 600.000000 \n"), std::string::npos) << upslope;
}

}  // namespace
