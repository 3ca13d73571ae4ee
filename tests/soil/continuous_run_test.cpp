// A long-term project as a user writes it: two storms a day apart on the strip watershed, hourly
// KAL weather and Penman-Monteith evapotranspiration, run through the real project reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/julian.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"
#include "soil/long_term_project.hpp"

namespace {

using pluvo_test::long_term_cards;
using pluvo_test::richards_soil;
using pluvo_test::write_file;
using pluvo_test::write_long_term_inputs;

struct continuous_run {
  pluvo_test::project_result result;
  std::string summary, evap_file;
  double ponded_lost = 0.0;             // m3 the soil-moisture phase took from the ponded water
  std::vector<double> julian, soil_m3;  // hourly before the hour's soil step, and at the end
};

continuous_run run_two_storms(const std::string& soil_cards) {
  write_long_term_inputs(3);
  continuous_run run;
  double before = 0.0;
  auto ponded = [](const pluvo::model_state& m) {
    double sum = 0.0;
    for (int i = 1; i <= m.cell_count; ++i) sum += m.ov_depth[size_t(i)];
    return sum * m.cell_size * m.cell_size;
  };
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    const std::string p = phase;
    if (p == "update_soil_moisture" && !m.ov_depth.empty()) before = ponded(m);
    if (p == "sacramento_step" && !m.ov_depth.empty()) run.ponded_lost += before - ponded(m);
    // Soil-moisture stores of the schemes that keep them (not the Richards columns).
    if (m.sm_water_cell.size() <= size_t(m.cell_count)) return;
    if ((p == "hourly_et_and_soil_moisture" && std::fabs(m.et_next_time - m.cur_julian) < m.time_tolerance) ||
        p == "write_run_summary") {
      double w = 0.0;
      for (int i = 1; i <= m.cell_count; ++i) w += m.sm_water_cell[size_t(i)];
      run.julian.push_back(m.cur_julian);
      run.soil_m3.push_back(w / 100.0 * m.cell_size * m.cell_size);
    }
  });
  run.result = pluvo_test::run_strip_cards(pluvo_test::long_term_cards(soil_cards));
  pluvo::set_phase_observer(nullptr);
  run.summary = pluvo_test::read_file("w.sum");
  run.evap_file = pluvo_test::read_file("evap_out");
  return run;
}

double soil_at(const continuous_run& r, int day, int hour) {
  const double t = pluvo::julian_date(2020, 6, day, hour, 0, 0.0);
  for (size_t k = 0; k < r.julian.size(); ++k)
    if (std::fabs(r.julian[k] - t) < 1e-6) return r.soil_m3[k];
  ADD_FAILURE() << "no hour " << day << " " << hour;
  return 0.0;
}

void expect_continuous_books(const continuous_run& r) {
  ASSERT_FALSE(r.result.stopped) << r.result.out;
  // Hourly console lines and the evaporation file.
  EXPECT_NE(r.result.out.find("2020/6/1  3:00 PET cm/h 0.0"), std::string::npos) << r.result.out;
  EXPECT_EQ(r.evap_file.rfind("yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  CFGI  "
                              "       temp(C) gridded_temp(C) soil_temp(C)   avg_theta_L1  avg_theta_L2\n2020/6/1   0:00 ",
                              0),
            0u)
      << r.evap_file.substr(0, 400);
  // The soil dries for a day between the storms and takes water again in the second.
  // The run ends with the second storm's runoff.
  ASSERT_FALSE(r.soil_m3.empty());
  const double after_first = soil_at(r, 1, 12), before_second = soil_at(r, 2, 14), after_second = r.soil_m3.back();
  EXPECT_LT(before_second, after_first - 0.01);
  EXPECT_GT(after_second, before_second + 0.01);
  // The direct evaporation of the summary is the ponded water the soil step took.
  EXPECT_GT(r.ponded_lost, 0.0);
  EXPECT_NEAR(pluvo_test::number_after(r.summary, "Total direct evaporation="), r.ponded_lost, 0.006) << r.summary;
  EXPECT_GT(pluvo_test::number_after(r.summary, "Total amount of evaporation="), r.ponded_lost + 0.01);
  EXPECT_NEAR(pluvo_test::number_after(r.summary, "Overall mass balance error ="), 0.0, 1e-6) << r.summary;
  EXPECT_NEAR(pluvo_test::number_after(r.summary, "Mass balance error of surface components ="), 0.0, 1e-6);
  // Each storm's books close too: the evaporated ponded water is one of the event's outputs.
  const std::vector<double> events = pluvo_test::numbers_after(r.summary, "mass conservation error:");
  EXPECT_EQ(events.size(), 2u);
  for (double e : events) EXPECT_LT(std::fabs(e), 1e-6) << r.summary;
}

TEST(ContinuousRun, RedistributionSoilDriesBetweenStormsAndTheBooksClose) {
  pluvo_test::scratch_dir dir;
  const continuous_run r =
      run_two_storms(pluvo_test::redistribution_soil("0.25") + "SOIL_MOIST_DEPTH 0.6\nTOP_LAYER_DEPTH 0.2\n");
  expect_continuous_books(r);
}

TEST(ContinuousRun, LayeredSoilDriesBetweenStormsAndTheBooksClose) {
  pluvo_test::scratch_dir dir;
  const continuous_run r = run_two_storms(pluvo_test::two_layered_soils());
  expect_continuous_books(r);
}

// Frozen soil-temperature columns on every cell of the strip; returns their cards.
std::string frozen_strip() {
  write_file("perma.msk", pluvo_test::strip_map("1"));
  return pluvo_test::frozen_columns("perma.msk");
}

// The layered soil of the test above under the frozen columns: the warm June air thaws them from
// the top, and frozen layers take less water.
TEST(ContinuousRun, FrozenLayeredSoilTakesLessWaterAndTheBooksClose) {
  pluvo_test::scratch_dir dir;
  const std::string layered = pluvo_test::two_layered_soils();
  const continuous_run thawed = run_two_storms(layered);
  ASSERT_FALSE(thawed.result.stopped) << thawed.result.out;

  const std::string columns = frozen_strip();
  double frozen_share = 1.0, top = 0.0, air = 0.0;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    const std::string p = phase;
    if (p == "compute_infiltration" && m.cur_julian < pluvo::julian_date(2020, 6, 1, 10, 20, 0.0) &&
        !m.fr_lq_wat.empty() && m.fr_lq_wat[1][1] > 0.0)
      frozen_share = std::min(frozen_share, m.fr_lq_wat[1][1]);
    if (p == "update_soil_temperature" && !m.perma_tem.empty()) top = m.perma_tem[3][1], air = m.hmet_temperature;
  });
  const std::string cards = layered + columns;
  write_long_term_inputs(3);
  const pluvo_test::project_result frozen = pluvo_test::run_strip_cards(long_term_cards(cards));
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(frozen.stopped) << frozen.out;
  const std::string summary = pluvo_test::read_file("w.sum");
  EXPECT_NEAR(pluvo_test::number_after(summary, "Overall mass balance error ="), 0.0, 1e-6) << summary;
  EXPECT_LT(frozen_share, 0.9);  // the storm met frozen ground
  EXPECT_DOUBLE_EQ(top, air);  // no snow: the surface node takes the air temperature
  EXPECT_GT(air, 10.0);
  const double thawed_in = pluvo_test::number_after(thawed.summary, "Total amount of infiltration=");
  const double frozen_in = pluvo_test::number_after(summary, "Total amount of infiltration=");
  EXPECT_GT(thawed_in, 0.0);
  EXPECT_LT(frozen_in, thawed_in);
}

// The Richards columns' books in every storm: the soil evaporation comes out of the water the
// columns took, so the surface books it once, inside the gross infiltration.
TEST(ContinuousRun, RichardsColumnsBookTheirEvaporationOnce) {
  pluvo_test::scratch_dir dir;
  const continuous_run r = run_two_storms(richards_soil());
  ASSERT_FALSE(r.result.stopped) << r.result.out;
  const std::vector<double> events = pluvo_test::numbers_after(r.summary, "mass conservation error:");
  EXPECT_EQ(events.size(), 2u);
  for (double e : events) EXPECT_LT(std::fabs(e), 1e-6) << r.summary;
  EXPECT_GT(pluvo_test::number_after(r.summary, "Total direct evaporation="), 0.0) << r.summary;
  EXPECT_NEAR(pluvo_test::number_after(r.summary, "Overall mass balance error ="), 0.0, 1e-6) << r.summary;
  EXPECT_EQ(r.result.out.find("Mass conservation error is high"), std::string::npos) << r.result.out;
}

// Three days of freezing air (-4 C): the storms still fall as rain (the snow line is set below),
// onto frozen ground.
void write_freezing_weather() {
  std::string text;
  char line[128];
  for (int day = 1; day <= 3; ++day)
    for (int hour = 0; hour < 24; ++hour) {
      std::snprintf(line, sizeof line, "2020 6 %d %d 29.92 40 20 6 25 0.0 0.0\n", day, hour);
      text += line;
    }
  write_file("met.kal", text);
}

// Richards columns under freezing weather, with and without the frozen-ground factor: frozen
// ground takes less water, the hourly Theta follows the columns' top nodes, and every storm's
// books close either way.
TEST(ContinuousRun, FrozenGroundFactorSlowsTheRichardsColumns) {
  pluvo_test::scratch_dir dir;
  const std::string soil = richards_soil() + "SNOW_PXTEMP -10\n";
  struct frozen_run {
    pluvo_test::project_result result;
    std::string summary;
    double least_factor = 1.0, theta_gap = 0.0;
    std::vector<double> theta;
  };
  auto run = [&](const std::string& cards) {
    frozen_run r;
    pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
      // The observer sees the phase after the hourly step: its averages are fresh.
      if (std::string(phase) != "update_soil_temperature" || m.THETA.rows() == 0) return;
      if (!(std::fabs(m.et_last_time - m.cur_julian) < m.time_tolerance)) return;
      double top = 0.0;
      for (int i = 1; i <= m.cell_count; ++i) top += m.THETA[i][1];
      r.theta.push_back(m.avg_surface_moisture);
      r.theta_gap = std::max(r.theta_gap, std::fabs(m.avg_surface_moisture - top / m.cell_count));
      for (int i = 1; i <= m.cell_count && m.gtfsm_on; ++i) r.least_factor = std::min(r.least_factor, m.SE[size_t(i)]);
    });
    pluvo_test::write_long_term_inputs(3);
    write_freezing_weather();
    r.result = pluvo_test::run_strip_cards(long_term_cards(cards));
    pluvo::set_phase_observer(nullptr);
    r.summary = pluvo_test::read_file("w.sum");
    return r;
  };
  const frozen_run open = run(soil);
  const frozen_run frozen = run(soil + "GTFSM\n");
  for (const frozen_run* r : {&open, &frozen}) {
    ASSERT_FALSE(r->result.stopped) << r->result.out;
    const std::vector<double> events = pluvo_test::numbers_after(r->summary, "mass conservation error:");
    EXPECT_EQ(events.size(), 2u);
    for (double e : events) EXPECT_LT(std::fabs(e), 1e-6) << r->summary;
    EXPECT_NEAR(pluvo_test::number_after(r->summary, "Overall mass balance error ="), 0.0, 1e-6) << r->summary;
    for (double e : pluvo_test::numbers_after(r->summary, "Richard equation mass balance error"))
      EXPECT_NEAR(e, 0.0, 1e-4) << r->summary;
    // The Theta line is the mean of the top nodes' water, and it moves with the storms.
    ASSERT_GT(r->theta.size(), 24u);
    EXPECT_LT(r->theta_gap, 1e-12);
    EXPECT_GT(*std::max_element(r->theta.begin(), r->theta.end()) - *std::min_element(r->theta.begin(), r->theta.end()),
              0.01);
  }
  EXPECT_LT(frozen.least_factor, 0.9);
  const double open_in = pluvo_test::number_after(open.summary, "Total amount of infiltration=");
  const double frozen_in = pluvo_test::number_after(frozen.summary, "Total amount of infiltration=");
  EXPECT_GT(frozen_in, 0.0);
  EXPECT_LT(frozen_in, 0.95 * open_in) << frozen.summary;
}

// The Richards columns under the frozen soil-temperature columns: each node takes the temperature
// of the column node at or below its bottom; the wetted frozen nodes conduct at most what ice
// leaves them, so the storms meet a slower soil, and the columns' books still close.
TEST(ContinuousRun, FrozenRichardsColumnsTakeLessWaterAndTheBooksClose) {
  pluvo_test::scratch_dir dir;
  const std::string soil = richards_soil();
  const continuous_run thawed = run_two_storms(soil);
  ASSERT_FALSE(thawed.result.stopped) << thawed.result.out;

  const std::string columns = frozen_strip();
  double frozen_share = 1.0, raised = 0.0;
  int deep_node = 0, top_map = 0, last = 0;
  std::vector<int> links;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    const std::string p = phase;
    if (p != "compute_infiltration" || m.fr_lq_wat.empty() || m.K_init.empty()) return;
    if (links.empty()) {
      // Soil nodes of 1 cm down to 0.1 m, then of 2 cm; column nodes every 0.1 m.
      for (int j = 1; j <= m.numcells[1]; ++j) links.push_back(m.node_fromGIPL[1][j]);
      top_map = m.node_toGIPL[1][1];
      deep_node = m.node_toGIPL[1][21];
      last = m.numcells[1];
    }
    if (m.cur_julian > pluvo::julian_date(2020, 6, 1, 10, 0, 0.0) &&
        m.cur_julian < pluvo::julian_date(2020, 6, 1, 10, 20, 0.0))
      frozen_share = std::min(frozen_share, m.fr_lq_wat[1][11]);  // node 11: 0.10 to 0.12 m
    for (int i = 1; i <= m.cell_count; ++i)
      for (int j = 1; j <= m.numcells[size_t(i)]; ++j) raised = std::max(raised, m.KHEAD[i][j] - m.K_init[i][j]);
  });
  write_long_term_inputs(3);
  const pluvo_test::project_result frozen = pluvo_test::run_strip_cards(long_term_cards(soil + columns));
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(frozen.stopped) << frozen.out;
  const std::string summary = pluvo_test::read_file("w.sum");
  ASSERT_GE(links.size(), 30u);
  EXPECT_EQ(links[0], 2);
  EXPECT_EQ(links[9], 2);    // 0.10 m
  EXPECT_EQ(links[10], 3);   // 0.12 m
  EXPECT_EQ(links[25], 6);   // 0.42 m
  EXPECT_EQ(top_map, 1);     // the surface column node reads the top soil node
  EXPECT_EQ(deep_node, last);  // a column node below the soil reads its last node
  EXPECT_LT(frozen_share, 0.9);  // the storm met frozen soil nodes below the thawed top
  EXPECT_EQ(raised, 0.0);        // freezing never raises a node's conductivity
  // Every storm leaves the columns' books closed, and the run's. (Under the frozen columns the
  // columns' books still keep a leak of their own, about 0.002 % of their water.)
  for (const std::string* s : {&thawed.summary, &summary}) {
    const double tolerance = s == &summary ? 0.01 : 1e-6;
    const std::vector<double> columns = pluvo_test::numbers_after(*s, "Richard equation mass balance error");
    EXPECT_EQ(columns.size(), 2u);
    for (double e : columns) EXPECT_NEAR(e, 0.0, std::max(tolerance, 1e-4)) << *s;
    for (double e : pluvo_test::numbers_after(*s, "mass conservation error:")) EXPECT_LT(std::fabs(e), 1e-6) << *s;
    EXPECT_NEAR(pluvo_test::number_after(*s, "Overall mass balance error ="), 0.0, tolerance) << *s;
  }
  const double thawed_in = pluvo_test::number_after(thawed.summary, "Total amount of infiltration=");
  const double frozen_in = pluvo_test::number_after(summary, "Total amount of infiltration=");
  EXPECT_GT(thawed_in, 0.0);
  EXPECT_LT(frozen_in, 0.9 * thawed_in);
}

}  // namespace
