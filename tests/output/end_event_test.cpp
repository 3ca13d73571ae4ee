#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/checked_file.hpp"
#include "common/julian.hpp"
#include "output/end_event.hpp"
#include "output/output_phases.hpp"
#include "output_fixture.hpp"
#include "run/driver.hpp"

namespace {

using pluvo::model_state;

// A four-cell event run of 10 m cells: 20 m3 of rain, 8 m3 infiltrated, 1 m3 left on the
// surface and 11 m3 through the outlet, so the budget closes.
void closed_event(model_state& m) {
  pluvo_test::size_cells(m, 4, 10.0);
  m.event_ended = 1;
  m.event_number = 1;
  m.event_start = 2451545.0;  // 1 January 2000, 12:00
  m.uniform_rain_on = 1;
  m.uniform_rain_intensity = 50.0;
  m.uniform_rain_duration = 30.0;
  m.time_step = 10.0;
  m.rain_step_count = 180;
  m.rain_start_min = 10.0 / 60.0;
  m.event_peak_tracked = 0.055;
  m.peak_year = 2000;
  m.peak_month = 1;
  m.peak_day = 1;
  m.peak_hour = 12;
  m.peak_minute = 25;
  m.event_peak_julian = 2451545.0 + 25.0 / 1440.0;
  m.green_ampt_on = 1;
  m.infil_depth = {0.0, 0.02, 0.02, 0.02, 0.02};
  m.ov_depth = {0.0, 0.005, 0.005, 0.0, 0.0};
  m.rain_to_overland_volume = 20.0;
  m.event_ov_outflow_volume = 11.0;
  m.hyd_write_steps = 6;
  m.map_write_steps = 60;
}

struct summary_run {
  std::string text;     // the summary file
  std::string console;  // standard output during the call
};

summary_run run_end_event(model_state& m) {
  const std::string path = pluvo_test::make_temp_dir() + "/run.sum";
  EXPECT_TRUE(pluvo::checked_file_open(m.summary_fp, path.c_str(), 'w'));
  ::testing::internal::CaptureStdout();
  pluvo::end_event(m);
  summary_run r;
  r.console = ::testing::internal::GetCapturedStdout();
  pluvo::checked_file_close(m.summary_fp);
  r.text = pluvo_test::read_file(path);
  return r;
}

TEST(EndEvent, ClosedBudgetWritesTheWholeEventSection) {
  auto m = pluvo_test::new_record();
  closed_event(*m);
  const summary_run r = run_end_event(*m);
  const char* expected =
      "         PLUVO EVENT RUNOFF SIMULATION SUMMARY\n"
      "            Event began on 01/01/2000 at 12:00\n"
      "   With uniform rainfall of   50.0 mm/h for   30.0 minutes.\n"
      "\n"
      "elevation and gridsize are in meters\n"
      "timestep                                    10.0 seconds\n"
      "number of timesteps with rain:             180\n"
      "elapsed time when rain began:               0.00\n"
      " \n"
      "peak occured on strict Julian date:       2451545.01736111\n"
      "date/time of peak discharge:              1/1/2000  12:25:00\n"
      "Event peak discharge (cubic meters per second):        0.0550\n"
      "\n"
      "Note: all volumes in cubic meters.\n"
      "initial volume of overland flow:                   0.0\n"
      "initial liquid-equiv. volume of snow:              0.0\n"
      " \n"
      "volume of melt water:                              0.0\n"
      " \n"
      "volume of rainfall to overland:                  20.0\n"
      "volume of interception:                           0.0\n"
      "volume of direct evaporation:                     0.0\n"
      "volume of infiltrated water:                      8.0\n"
      "volume of water exfiltrated:                      0.0\n"
      "volume of discharge:                             11.0\n"
      "volume from overland point sources:               0.0\n"
      "\n"
      "volume remaining on surface:                      1.0\n"
      "final volume of snow (cu. m):                     0.0\n"
      " \n"
      "final volume of melt water (cu. m):               0.0\n"
      " \n"
      "mass conservation error:                          0.000000 percent\n"
      "Note: positive mass conservation error indicates mass was created.\n"
      "Mass input + original mass:           20.000000 m3\n"
      "Mass output + final mass:             20.000000 m3\n"
      "mass cleanup error from overland:      0.000000 m3\n"
      "\n"
      "\n"
      "THE FOLLOWING WARNINGS ARE GIVEN:\n"
      "No Warnings.\n"
      "\n"
      " THE FOLLOWING INPUTS WERE READ:\n"
      "A VOK Project File was used.\n"
      "\n"
      " THE FOLLOWING PROCESSES WERE SIMULATED:\n"
      "Green & Ampt infiltration.\n"
      "\n"
      " THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY 60 TIMESTEP(S):\n"
      "\n"
      " THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY 6 TIMESTEP(S):\n"
      "     hydrograph at the catchment outlet.\n";
  EXPECT_EQ(r.text, expected);
  EXPECT_EQ(r.console, "finished event \n");
  EXPECT_DOUBLE_EQ(m->event_balance_error, 0.0);
  EXPECT_DOUBLE_EQ(m->infiltrated_volume, 8.0);
  EXPECT_DOUBLE_EQ(m->surface_volume_final, 1.0);
  EXPECT_EQ(m->event_ended, 0);
  EXPECT_EQ(m->events_done, 1);
}

TEST(EndEvent, DoesNothingUntilTheEventHasEnded) {
  auto m = pluvo_test::new_record();
  closed_event(*m);
  m->event_ended = 0;
  const summary_run r = run_end_event(*m);
  EXPECT_EQ(r.text, "");
  EXPECT_EQ(r.console, "");
  EXPECT_EQ(m->events_done, 0);
  EXPECT_DOUBLE_EQ(m->infiltrated_volume, 0.0);
}

TEST(EndEvent, BudgetsWithoutInputAndWithAHighError) {
  const char* high_error_console =
      " !!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!WARNING!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n"
      " Mass conservation error is high for this event!   1.500000 percent. \n"
      "Check the Summary File (*.sum) for more detail. \n \n"
      "finished event \n";
  const char* high_error_lines =
      "mass conservation error:                          1.500000 percent\n"
      "Note: positive mass conservation error indicates mass was created.\n"
      "Mass input + original mass:           20.000000 m3\n"
      "Mass output + final mass:             19.700000 m3\n"
      "mass cleanup error from overland:      0.000000 m3\n"
      "\n"
      "\n"
      "THE FOLLOWING WARNINGS ARE GIVEN:\n"
      " !!!!!!!!!!!!!!!!!!!!!!!!!!!!!WARNING!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n"
      " Mass conservation error is larger than typical values (<1 percent).\n"
      " This indicates a problem with your data set, or that you are using the model\n"
      " to simulate an extreme event which violates one or more assumptions made\n"
      " in the development of PLUVO.  You should first check for errors in the\n"
      " channel inputs, including cross-sectional data.  A decrease in the model\n"
      " time step may also help alleviate this problem.\n"
      "\n"
      "\n THE FOLLOWING INPUTS WERE READ:\n";
  const char* no_input_lines =
      "mass conservation error:                         -100.000000 percent\n"
      "Note: positive mass conservation error indicates mass was created.\n"
      "Mass input + original mass:            0.000000 m3\n"
      "Mass output + final mass:              0.000000 m3\n"
      "mass cleanup error from overland:      0.000000 m3\n"
      "\n"
      "Note: no rainfall was input.\n"
      "\n"
      "THE FOLLOWING WARNINGS ARE GIVEN:\n"
      " !!!!";
  const char* gained_lines =
      "mass conservation error:                         -0.500000 percent\n"
      "Note: negative mass conservation error indicates mass was gained.\n";
  const struct {
    const char* name;
    double rain, outflow;
    double error;
    const char* lines;
    const char* console;
    bool no_warnings;
  } rows[] = {
      {"no input", 0.0, 0.0, -1.0, no_input_lines, nullptr, false},
      {"1.5 % lost", 20.0, 10.7, 0.015, high_error_lines, high_error_console, false},
      {"0.5 % gained", 20.0, 11.1, -0.005, gained_lines, "finished event \n", true},
  };
  for (const auto& row : rows) {
    auto m = pluvo_test::new_record();
    closed_event(*m);
    m->rain_to_overland_volume = row.rain;
    m->event_ov_outflow_volume = row.outflow;
    if (row.rain == 0.0) {
      m->infil_depth.assign(5, 0.0);
      m->ov_depth.assign(5, 0.0);
    }
    const summary_run r = run_end_event(*m);
    EXPECT_NEAR(m->event_balance_error, row.error, 1e-12) << row.name;
    EXPECT_NE(r.text.find(row.lines), std::string::npos) << row.name << "\n" << r.text;
    EXPECT_EQ(r.text.find("No Warnings.") != std::string::npos, row.no_warnings) << row.name;
    if (row.console) {
      EXPECT_EQ(r.console, row.console) << row.name;
    }
  }
}

TEST(EndEvent, WaterLeftOnTheSurfaceOnlySuppressesNoWarnings) {
  auto m = pluvo_test::new_record();
  closed_event(*m);
  m->ov_depth = {0.0, 0.01, 0.0051, 0.0, 0.0};  // 1.51 m3: above 5 % of the 20 m3 of rain
  m->event_ov_outflow_volume = 11.0 - 0.51;
  const summary_run r = run_end_event(*m);
  EXPECT_NE(r.text.find("THE FOLLOWING WARNINGS ARE GIVEN:\n\n THE FOLLOWING INPUTS"),
            std::string::npos);
}

TEST(CalibrationResults, OutletAndPointEntriesOfEachEvent) {
  const struct {
    int events, stride, event, point;
    long index;
  } rows[] = {{3, 5, 1, 0, 1},  {3, 5, 3, 0, 11}, {3, 5, 3, 4, 15}, {3, 5, 2, 1, 7},
              {3, 5, 4, 0, -1}, {3, 5, 0, 0, -1}, {3, 5, 1, 5, -1}};
  for (const auto& r : rows)
    EXPECT_EQ(pluvo::calibration_index(r.events, r.stride, r.event, r.point), r.index)
        << r.event << "/" << r.point;
}

TEST(CalibrationResults, EndEventFilesPeaksAndVolumesInCubicFeet) {
  auto m = pluvo_test::new_record();
  closed_event(*m);
  m->super_quiet_on = 1;
  m->optimize_on = 1;
  m->qout_cfs_on = 1;
  m->hyd_location_on = 1;
  m->hydrograph_link_count = 4;
  m->event_count = 3;
  m->event_number = 3;
  m->point_peak_discharge = {0.0, 1.0, 2.0, 3.0, 4.0};
  m->point_event_volume = {0.0, 10.0, 20.0, 30.0, 40.0};
  pluvo::alloc_external_results(*m);
  run_end_event(*m);
  const pluvo::calibration_results& r = *m->external_results;
  EXPECT_DOUBLE_EQ(r.event_peaks[11], 0.055 * 35.32);
  EXPECT_DOUBLE_EQ(r.event_volumes[11], 11.0 * 35.32);
  EXPECT_DOUBLE_EQ(r.event_peaks[15], 4.0 * 35.32);
  EXPECT_DOUBLE_EQ(r.event_volumes[12], 10.0 * 35.32);
  EXPECT_DOUBLE_EQ(r.event_peaks[1], 0.0);  // earlier events untouched
  pluvo::free_model_state(m.get());
}

}  // namespace

namespace {

TEST(EndEvent, LongTermSectionsAreSeparatedFromTheSecondEventOn) {
  const std::string dashes(78, '-');
  for (int event : {1, 2}) {
    auto m = pluvo_test::new_record();
    closed_event(*m);
    m->super_quiet_on = 1;
    m->long_term_on = 1;
    m->event_number = event;
    m->cur_julian = 2451545.25;
    m->hmet_samson_on = 1;
    m->hmet_station = "KANSASCITY mo 03947";
    m->start_julian = pluvo::julian_date(2000, 1, 1, 1, 0, 0.0);  // the first record, where the clock starts
    m->hmet_year = 2000, m->hmet_month = 3, m->hmet_day = 4, m->hmet_hour = 5;  // the current record
    m->hmet_last_year = 2000, m->hmet_last_month = 12, m->hmet_last_day = 31, m->hmet_last_hour = 24;
    m->gmt_offset = -6.0;
    m->final_soil_water = 0.25;  // the end of the event works it out: 0 without a soil scheme
    const std::string text = run_end_event(*m).text;
    const std::string heading =
        "       PLUVO LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT " + std::to_string(event) + "\n"
        "Event began on strict Julian date:                    2451545.00000000\n"
        "Event ended on strict Julian date:                    2451545.25000000\n"
        "Event began on 01/01/2000 at 12:00  GMT -6.0 hours.\n"
        "\n"
        "PLUVO used NCDC/SAMSON hydrometeorological data from the KANSASCITY station\n"
        "Hydrometeorology data began on: 01/01/2000 at  1:00\n"
        "and ended on:                   12/31/2000 at 24:00\n"
        "The following number of hydromet. data points were repaired:0\n"
        "\n";
    const std::string expected = event == 1 ? heading : "\n\n" + dashes + "\n" + heading;
    EXPECT_EQ(text.substr(0, expected.size()), expected) << event;
    EXPECT_NE(text.find("final basin-averaged soil water content:  0.00 percent\n"), std::string::npos);
  }
}

}  // namespace

namespace {

TEST(EndEvent, OptimisationLineInEachLayout) {
  const struct {
    int cfs, sediment;
    const char* line;
  } rows[] = {
      {0, 0, "1     0.055          11.0000    1.000          10.0000    2.000          20.0000\n"},
      {1, 0, "1     1.94        388.52000   35.32        353.20000   70.64        706.40000\n"},
      {0, 1, "1  0.055000        11.000000 1.000000        10.000000 2.000000        20.000000\n"},
  };
  for (const auto& row : rows) {
    auto m = pluvo_test::new_record();
    closed_event(*m);
    m->super_quiet_on = 1;
    m->optimize_on = 1;
    m->qout_cfs_on = row.cfs;
    m->optimize_sed_on = row.sediment;
    m->hyd_location_on = 1;
    m->ov_sed = std::make_unique<pluvo::ov_sed_record>();
    m->ov_sed->sed_hydro_locations_on = 1;
    m->hydrograph_link_count = m->sed_hydrograph_point_count = 2;
    m->point_peak_discharge = {0.0, 1.0, 2.0};
    m->point_event_volume = {0.0, 10.0, 20.0};
    const std::string path = pluvo_test::make_temp_dir() + "/opt.out";
    ASSERT_TRUE(pluvo::checked_file_open(m->optimize_output_fp, path.c_str(), 'w'));
    run_end_event(*m);
    pluvo::checked_file_close(m->optimize_output_fp);
    EXPECT_EQ(pluvo_test::read_file(path), row.line) << row.cfs << row.sediment;
  }
}

}  // namespace

namespace {

TEST(EndEvent, SimpleSoilAccountsMoveFluxesIntoTheirTotals) {
  for (int groundwater : {0, 1}) {
    auto m = pluvo_test::new_record();
    closed_event(*m);
    m->super_quiet_on = 1;
    m->long_term_on = 1;
    m->soil_moisture_accounting_on = 1;
    m->gw_simulation_on = groundwater;
    m->unsat_downward_flux = {0.0, 1.0, 1.0, 1.0, 1.0};  // cm
    m->direct_evap_cell = {0.0, 0.5, 0.5, 0.0, 0.0};     // cm
    m->sm_water_cell = {0.0, 10.0, 10.0, 10.0, 10.0};    // cm
    run_end_event(*m);
    EXPECT_DOUBLE_EQ(m->recharge_volume, 4.0) << groundwater;
    EXPECT_DOUBLE_EQ(m->unsat_downward_volume, groundwater ? 0.0 : 4.0);
    EXPECT_DOUBLE_EQ(m->unsat_downward_flux[1], groundwater ? 1.0 : 0.0);  // the aquifer takes it
    EXPECT_DOUBLE_EQ(m->direct_evap_volume_total, 1.0);
    EXPECT_DOUBLE_EQ(m->direct_evap_cell[1], 0.0);
    EXPECT_DOUBLE_EQ(m->soil_volume_final, 40.0);
  }
}

}  // namespace

namespace {

// With channel routing the event's discharge is what left the channel outlet, the water still
// in the channels stays in the balance, and the lateral lines are the event's share of the
// router's totals.
TEST(EndEvent, ChannelOutletAndChannelWaterCloseTheBudget) {
  auto m = pluvo_test::new_record();
  closed_event(*m);
  m->event_ov_outflow_volume = 0.0;
  m->chan_explic_on = 1;
  m->outlet_volume = 10.0;
  m->chan_volume_final = 1.0;
  m->chan_lat_in_start = 2.0;
  m->chan_lat_in_volume = 13.5;
  m->chan_lat_out_start = -1.0;
  m->chan_lat_out_volume = -1.5;
  m->chan_lat_net_start = 1.0;
  m->chan_lat_net_total = 12.0;
  const summary_run r = run_end_event(*m);
  EXPECT_NE(r.text.find("volume of discharge:                             10.0\n"), std::string::npos) << r.text;
  EXPECT_NE(r.text.find("net volume of lateral inflow:                    11.0\n"
                        "lateral flow into channel                        11.5\n"
                        "lateral flow out of channel                       0.5\n"),
            std::string::npos)
      << r.text;
  EXPECT_NE(r.text.find("final volume in channels (cu. m):                 1.0\n"), std::string::npos) << r.text;
  EXPECT_DOUBLE_EQ(m->event_balance_error, 0.0);
}

}  // namespace
