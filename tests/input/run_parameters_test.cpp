#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "common/process.hpp"
#include "common/replace_params.hpp"
#include "common/time_series.hpp"
#include "input/input_phases.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

struct read_result {
  std::unique_ptr<pluvo::model_state> m = std::make_unique<pluvo::model_state>();
  std::string console;
};

read_result read_project(const std::string& cards) {
  write_file("p.prj", "PLUVOPROJECT\n" + cards);
  read_result r;
  pluvo::error_state = pluvo::error_state_record();
  testing::internal::CaptureStdout();
  pluvo::read_run_parameters("p.prj", *r.m);
  r.console = testing::internal::GetCapturedStdout();
  return r;
}

struct derivation_case {
  const char* label;
  std::string cards;
  std::function<void(const pluvo::model_state&)> check;
};

TEST(ReadRunParameters, Derivations) {
  scratch_dir dir;
  const derivation_case cases[] = {
      {"uniform rain starts at the start date", "START_DATE 2021 6 30\nSTART_TIME 13 45\nRAIN_INTENSITY 12.5\nRAIN_DURATION 45\n",
       [](const auto& m) {
         const double start = pluvo::julian_date(2021, 6, 30, 13, 45, 0.0);
         EXPECT_EQ(m.uniform_rain_on, 1);
         EXPECT_EQ(m.precip_on, 0);
         EXPECT_EQ(m.rain_on, 1);
         EXPECT_EQ(m.uniform_rain_intensity, 12.5);
         EXPECT_EQ(m.uniform_rain_duration, 45.0);
         EXPECT_EQ(m.start_hhmm, 1345);
         EXPECT_EQ(m.start_yyyymmdd, 20210630);
         EXPECT_EQ(m.cur_julian, start);
         EXPECT_EQ(m.start_julian, start);
         EXPECT_EQ(m.event_start_dates[1], start);
         EXPECT_EQ(m.event_start, start);
         EXPECT_EQ(m.event_start_hour, 13);
       }},
      {"gauge file with inverse distance", "PRECIP_FILE rain.gag\nRAIN_INV_DISTANCE\n",
       [](const auto& m) {
         EXPECT_EQ(m.precip_on, 1);
         EXPECT_EQ(m.uniform_rain_on, 0);
         EXPECT_EQ(m.rain_inv_distance_on, 1);
         EXPECT_EQ(m.rain_thiessen_on, 0);
         EXPECT_EQ(m.precip_path, "rain.gag");
       }},
      {"long-term cut-off flow of 0", "LONG_TERM\nEVENT_MIN_Q 0\n",
       [](const auto& m) { EXPECT_EQ(m.event_cutoff_q, 0.05); }},
      {"long-term cut-off flow", "LONG_TERM\nEVENT_MIN_Q 0.4\n",
       [](const auto& m) { EXPECT_EQ(m.event_cutoff_q, 0.4); }},
      {"depths in centimetres", "SOIL_MOIST_DEPTH 0.3\n",
       [](const auto& m) {
         EXPECT_DOUBLE_EQ(m.soil_moist_depth_cm, 30.0);
         EXPECT_DOUBLE_EQ(m.top_layer_depth_cm, 0.0);
       }},
      {"exchange files", "OMBA ctl.txt\nQIR\n",
       [](const auto& m) {
         EXPECT_EQ(m.omba_exchange_on, 1);
         EXPECT_EQ(m.omba_control_file, "exchange/ctl.txt");
       }},
      {"channel hotstart names", "READ_CHAN_HOTSTART hs\n",
       [](const auto& m) {
         EXPECT_EQ(m.chan_hotstart_in_depth_path, "hs.dht");
         EXPECT_EQ(m.chan_hotstart_in_flow_path, "hs.qht");
       }},
      {"groundwater needs both cards", "WATER_TABLE wt.asc\nGW_SIMULATION\n",
       [](const auto& m) {
         EXPECT_EQ(m.gw_simulation_on, 1);
         EXPECT_EQ(m.stream_loss_on, 1);
         EXPECT_DOUBLE_EQ(m.aquifer_delta_z_value, -999.9);
         EXPECT_EQ(m.water_table_path, "wt.asc");
       }},
      {"groundwater card alone", "GW_SIMULATION\n",
       [](const auto& m) {
         EXPECT_EQ(m.gw_simulation_on, 0);
         EXPECT_EQ(m.aquifer_delta_z_value, 0.0);
       }},
      {"infiltration rate map needs a method", "RATE_OF_INFIL rate.out\n",
       [](const auto& m) { EXPECT_EQ(m.map_out_rate_of_infil, 0); }},
      {"infiltration rate map with Green and Ampt", "RATE_OF_INFIL rate.out\nGREEN_AMPT\n",
       [](const auto& m) {
         EXPECT_EQ(m.map_out_rate_of_infil, 1);
         EXPECT_EQ(m.green_ampt_on, 1);
       }},
      {"explicit channel routing", "CHAN_EXPLIC\nM_RIVER\n",
       [](const auto& m) {
         EXPECT_EQ(m.chan_explic_on, 1);
         EXPECT_EQ(m.gst_mode_on, 1);
         EXPECT_EQ(m.m_river, 0.0);  // the card alone stores 0
       }},
      {"end date", "END_TIME 2021 7 2 6 30\n",
       [](const auto& m) {
         EXPECT_EQ(m.end_date_on, 1);
         EXPECT_EQ(m.end_date_julian, pluvo::julian_date(2021, 7, 2, 6, 30, 0.0));
       }},
      {"manning value and roughness map", "MANNING_N 0.035\nROUGHNESS n.asc\n",
       [](const auto& m) {
         EXPECT_EQ(m.manning_n_on, 1);
         EXPECT_EQ(m.manning_n_value, 0.035);
         EXPECT_EQ(m.roughness_map_on, 1);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const read_result r = read_project(c.cards);
    EXPECT_EQ(pluvo::error_state.error_code, 0);
    c.check(*r.m);
    pluvo::free_time_series();
    pluvo::free_replace_params();
  }
}

TEST(ReadRunParameters, Failures) {
  scratch_dir dir;
  const read_result map_type = read_project("MAP_TYPE 4\nSOIL_MOIST_DEPTH 0.3\n");
  EXPECT_EQ(pluvo::error_state.error_code, 5);
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  EXPECT_EQ(map_type.m->soil_moist_depth_cm, 40.0);  // nothing after the stop is copied

  pluvo::error_state = pluvo::error_state_record();
  auto m = std::make_unique<pluvo::model_state>();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  pluvo::read_run_parameters("absent.prj", *m);
  testing::internal::GetCapturedStderr();
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(console.rfind("reading run parameters from project file: absent.prj\n", 0), 0u);
  EXPECT_EQ(pluvo::error_state.error_code, 3);
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  pluvo::error_state = pluvo::error_state_record();
}

TEST(ReadRunParameters, FilesReadWhileTheProjectIsRead) {
  scratch_dir dir;
  write_file("ts.txt",
             "PLUVO_TS\nup\nABSOLUTE\n2020 1 1 0 0 1.0\nEND_TS\nPLUVO_TS\ndown\nRELATIVE\n0 0 0 0 0 2.0\nEND_TS\n");
  write_file("pairs.txt", "1\n[STEP] %d\n");
  write_file("values.txt", "5\n30\n");
  const read_result r = read_project(
      "TIME_SERIES_FILE ts.txt\nREPLACE_LINE 2\nREPLACE_PARAMS pairs.txt\nREPLACE_VALS values.txt\nTIMESTEP [STEP]\n");
  EXPECT_NE(r.console.find("Read time series up\nRead time series down\n2 time series read from file ts.txt\n"),
            std::string::npos)
      << r.console;
  EXPECT_EQ(pluvo::time_series_list.size(), 2u);
  EXPECT_EQ(r.m->timestep, 30.0);  // the key was replaced by the value line of REPLACE_LINE

  pluvo::checked_file& summary = r.m->summary_fp;
  ASSERT_TRUE(pluvo::checked_file_open(summary, "summary.txt", 'w'));
  testing::internal::CaptureStdout();
  pluvo::print_startup_information(*r.m, "p.prj");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nUsing replacement values:\n [STEP]         = 30\n\n");
  pluvo::checked_file_close(summary);
  EXPECT_EQ(read_file("summary.txt"),
            "\n\n_________PLUVO start-up information________\nRun parameters read from VOK project file: p.prj\n"
            "\nUsing replacement values:\n  [STEP]         = 30\n\n");
  pluvo::free_time_series();
  pluvo::free_replace_params();
  pluvo::run_index = 0;
}

}  // namespace
