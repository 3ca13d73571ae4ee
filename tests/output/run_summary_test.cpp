#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/checked_file.hpp"
#include "output/output_phases.hpp"
#include "output/run_summary.hpp"
#include "output_fixture.hpp"

namespace {

using pluvo::model_state;

// The closed four-cell event as whole-run totals: 20 m3 of rain, 8 infiltrated, 11 out, 1 left.
void closed_run(model_state& m) {
  pluvo_test::size_cells(m, 4, 10.0);
  m.green_ampt_on = 1;
  m.ov_depth = {0.0, 0.005, 0.005, 0.0, 0.0};
  m.rain_volume_total = 20.0;
  m.infil_volume_total = 8.0;
  m.total_discharge_volume = 11.0;
}

struct summary_run {
  std::string text;
  std::string console;
};

summary_run run_summary(model_state& m) {
  // The end-of-run files the summary closes with land beside it, in a scratch directory.
  const std::string dir = pluvo_test::make_temp_dir();
  const std::filesystem::path back = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  const std::string path = dir + "/run.sum";
  EXPECT_TRUE(pluvo::checked_file_open(m.summary_fp, path.c_str(), 'w'));
  ::testing::internal::CaptureStdout();
  pluvo::write_run_summary(m);
  summary_run r;
  r.console = ::testing::internal::GetCapturedStdout();
  pluvo::checked_file_close(m.summary_fp);
  r.text = pluvo_test::read_file(path);
  std::filesystem::current_path(back);
  return r;
}

TEST(RunSummary, ClosedRunWritesTheTotalsAndAZeroError) {
  auto m = pluvo_test::new_record();
  closed_run(*m);
  const summary_run r = run_summary(*m);
  const char* expected =
      "\n \nSIMULATION TOTALS\n"
      "GLOBAL MASS BALANCE CALCULATIONS \n"
      "All volumes are in cubic meters \n"
      " \n"
      "Initial volume on surface=                                0.00 \n"
      "Initial volume in channels=                               0.00 \n"
      "Initial volume in soils=                                  0.00 \n"
      "Initial volume in groundwater=                            0.00 \n"
      "\n"
      "Final volume on surface=                                  1.00\n"
      "Final volume in channels=                                 0.00\n"
      "Final volume in soils=                                    0.00\n"
      "Final volume in groundwater=                              0.00\n"
      "Final volume of snow=                                     0.00\n"
      "Final volume of melt water =                              0.00\n"
      "\n"
      "Total amount of precip=                                  20.00\n"
      "Total amount of interception=                             0.00\n"
      "Total amount of canopy sublimation=                       0.00\n"
      "Total amount of infiltration=                             8.00\n"
      "Total amount of evaporation=                              0.00\n"
      "Total direct evaporation=                                 0.00\n"
      "Total amount of exfiltration=                             0.00\n"
      "\n"
      "Total downward flux from unsaturated zone=                0.00\n"
      "Total flux of gw across bounds=                           0.00\n"
      "Total overland point sources=                             0.00\n"
      "Total channel point sources=                              0.00\n"
      "\n"
      "\n"
      "Total lateral inflow into channels=                       0.00\n"
      "Total amount of discharge=                               11.00\n"
      "\n"
      "Mass balance error of surface components =                0.000000 percent\n"
      "\n"
      "Overall mass balance error =                              0.000000 percent\n"
      " \n";
  EXPECT_EQ(r.text, expected);
  EXPECT_EQ(r.console, "");
  EXPECT_DOUBLE_EQ(m->total_initial_storage, 0.0);
  EXPECT_DOUBLE_EQ(m->total_final_storage, 1.0);
}

TEST(RunSummary, OverallErrorCases) {
  const struct {
    const char* name;
    double rain, discharge, infil, downward, initial_ov;
    int green_ampt;
    double error;
  } rows[] = {
      {"closed", 20.0, 11.0, 8.0, 0.0, 0.0, 1, 0.0},
      {"nothing at all", 0.0, 0.0, 0.0, 0.0, 0.0, 1, 0.0},
      {"initial water counts as input", 10.0, 6.0, 8.0, 0.0, 5.0, 1, 0.0},
      {"green and ampt books infiltration, not the downward flux", 20.0, 11.0, 8.0, 50.0, 0.0, 1,
       0.0},
      {"otherwise the downward flux", 20.0, 11.0, 8.0, 8.0, 0.0, 0, 0.0},
      {"2 % gained", 20.0, 11.4, 8.0, 0.0, 0.0, 1, -2.0},
      {"2 % lost", 20.0, 10.6, 8.0, 0.0, 0.0, 1, 2.0},
  };
  for (const auto& row : rows) {
    auto m = pluvo_test::new_record();
    closed_run(*m);
    if (row.rain == 0.0) m->ov_depth.assign(5, 0.0);
    m->rain_volume_total = row.rain;
    m->total_discharge_volume = row.discharge;
    m->infil_volume_total = row.infil;
    m->unsat_downward_volume = row.downward;
    m->ov_volume_initial = row.initial_ov;
    m->green_ampt_on = row.green_ampt;
    const summary_run r = run_summary(*m);
    EXPECT_NEAR(m->overall_error_pct, row.error, 1e-9) << row.name;
    const bool warned = row.error > 1.0;  // only a positive error above 1 percent warns
    EXPECT_EQ(r.text.find("WARNING:  Overall Mass balance ERROR is greater than 1 percent, CHECK "
                          "YOUR MODEL! \n \n") != std::string::npos,
              warned)
        << row.name;
    EXPECT_EQ(r.console, warned ? "WARNING: Overall Mass Balance ERROR is high!   2.000000 percent \n"
                                  "Check the Summary File (*.sum) for more detail. \n \n"
                                : "")
        << row.name;
  }
}

TEST(RunSummary, SacramentoErrorHasTheOppositeSign) {
  for (int sacramento : {0, 1}) {
    auto m = pluvo_test::new_record();
    closed_run(*m);
    m->ov_depth.assign(5, 0.0);
    m->infil_volume_total = 0.0;
    m->rain_volume_total = 100.0;
    m->total_discharge_volume = 90.0;  // 10 m3 unaccounted for
    m->sacramento_on = sacramento;
    m->watershed_area = 1.0e6;
    run_summary(*m);
    EXPECT_NEAR(m->overall_error_pct, sacramento ? -10.0 : 10.0, 1e-9);
  }
}

TEST(RunSummary, BalancesWithNothingToDivideByShowZero) {
  auto m = pluvo_test::new_record();
  pluvo_test::size_cells(*m, 4, 10.0);
  m->sacramento_on = 1;  // no rainfall: both Sacramento divisors are 0
  m->gw_simulation_on = 1;
  m->gw_volume_final = 3.0;  // and no initial groundwater
  m->total_discharge_volume = 1.0;
  const summary_run r = run_summary(*m);
  EXPECT_DOUBLE_EQ(m->overall_error_pct, 0.0);
  EXPECT_DOUBLE_EQ(m->surface_error_pct, 0.0);
  EXPECT_DOUBLE_EQ(m->gw_error_pct, 0.0);
  EXPECT_EQ(r.text.find("nan"), std::string::npos);
  EXPECT_EQ(r.text.find("inf "), std::string::npos);  // a printed infinity, not "infiltration"
  EXPECT_EQ(r.text.find("inf\n"), std::string::npos);
  EXPECT_NE(r.text.find("Mass Balance error =                       0.00 %  \n"), std::string::npos);
}

}  // namespace

namespace {

// With channel routing the basin's water leaves through the channel outlet: the discharge
// total, its line and the balance are the channel's, and the lateral line is the router's.
TEST(RunSummary, ChannelOutletCarriesTheDischarge) {
  auto m = pluvo_test::new_record();
  closed_run(*m);
  m->total_discharge_volume = 0.0;
  m->chan_explic_on = 1;
  m->outlet_volume_total = 11.0;
  m->chan_lat_in_volume = 12.5;
  const summary_run r = run_summary(*m);
  EXPECT_NE(r.text.find("Total lateral inflow into channels=                      12.50\n"
                        "Total amount of discharge=                               11.00\n"),
            std::string::npos)
      << r.text;
  EXPECT_NEAR(m->overall_error_pct, 0.0, 1e-9);
}

}  // namespace
