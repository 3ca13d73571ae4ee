#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/error_state.hpp"
#include "common/time_series.hpp"
#include "run/driver.hpp"
#include "record/model_state.hpp"
#include "run/one_cell_watershed.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::give_one_cell_watershed;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

const std::vector<std::string> set_up_steps = {
    "read_run_parameters", "validate_project_options", "open_project_files", "print_startup_information",
    "check_time_options", "init_input_grids", "open_dataset_outputs", "write_linknode_headers",
    "build_cell_connectivity", "compute_face_slopes", "compute_centered_slopes", "init_hmet_stations_and_bands",
    "scan_precip_events", "init_soil_water_state", "setup_xy_outputs", "init_channel_routing",
    "alloc_external_results", "read_omba_exchange_at_start", "compute_initial_overland_volume",
    "init_overland_nutrient_state", "init_simulation_clock", "run_analyzers 8"};

const std::vector<std::string> step_phases = {
    "advance_clock", "read_event_precip", "begin_event", "update_precipitation", "apply_rainfall",
    "apply_cell_inflows", "compute_infiltration", "update_hydrometeorology", "hourly_et_and_soil_moisture",
    "update_soil_temperature", "long_term_snow_step", "release_melt_and_wake", "update_soil_moisture",
    "sacramento_step", "conceptual_gw_step", "step_soil_water_quality", "apply_overland_sources_sinks",
    "bmp_step", "route_overland_step", "drain_network_step", "superlink_step",
    "check_sediment_contaminant_sources", "step_overland_water_quality", "total_cell_contaminant_mass",
    "groundwater_step", "update_overland_lake_extent", "route_channels_step", "read_chan_point_input_step",
    "track_peak_discharge", "step_channel_sediment_contam", "step_channel_contaminant_sources",
    "step_channel_lake_water_quality", "print_progress", "check_event_end", "exchange_omba_maps", "close_lakes_at_event_end", "end_event",
    "compute_nutrient_totals", "write_time_series", "write_map_outputs", "run_analyzers 1"};

std::vector<std::string> concat(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::vector<std::string> up_to(const std::vector<std::string>& phases, const std::string& last) {
  std::vector<std::string> head;
  for (const auto& p : phases) {
    head.push_back(p);
    if (p == last) break;
  }
  return head;
}

// The smallest project the option checks accept.
const char* const bare_project =
    "PLUVOPROJECT\nTIMESTEP 10\nOUTSLOPE 0.01\nHYD_FREQ 1\nMAP_FREQ 60\nRAIN_INTENSITY 10\nRAIN_DURATION 30\n"
    "START_DATE 2020 5 31\nSTART_TIME 0 0\nOVERTYPE 1\nTOT_TIME 1\n";

// The same values, for as long as the project file is not read into the record.
void accept_time_options(const std::string& phase, pluvo::model_state& m) {
  if (phase != "check_time_options") return;
  m.timestep = 10.0;
  m.tot_time = 1;
  m.outslope = 0.01;
  m.hyd_freq = 1.0;
  m.map_freq = 60;
}

// What a run did, seen through the driver's observer.
struct recorded_run {
  std::vector<std::string> phases;
  std::string console;
  int result = 0;
  bool stopped = false;
};

// Runs the driver on a bare project; steer(phase, pass, m) acts just before each phase.
// The observer ends the loop after `passes` passes, whatever the clock says.
recorded_run run_with(int passes, std::function<void(const std::string&, int, pluvo::model_state&)> steer) {
  recorded_run r;
  int pass = 0;
  pluvo::set_phase_observer([&](const char* phase, int value, pluvo::model_state& m) {
    std::string name = phase;
    if (name == "run_analyzers") name += " " + std::to_string(value);
    if (name == "advance_clock") pass++;
    if (name == "run_analyzers 1") m.keep_running = pass < passes ? 1 : 0;
    r.phases.push_back(name);
    accept_time_options(name, m);
    if (name == "open_project_files") give_one_cell_watershed(m);
    steer(name, pass, m);
  });
  pluvo::run_stopped_on_error = false;
  write_file("p.prj", bare_project);
  testing::internal::CaptureStdout();
  r.result = pluvo::run_pluvo("p.prj", nullptr, "p.prj");
  r.console = testing::internal::GetCapturedStdout();
  pluvo::set_phase_observer(nullptr);
  r.stopped = pluvo::run_stopped_on_error;
  return r;
}

void nothing(const std::string&, int, pluvo::model_state&) {}

TEST(RunPluvo, NormalEndWritesSummaryThenEndEvent) {
  scratch_dir dir;
  const recorded_run r = run_with(2, nothing);
  EXPECT_EQ(r.phases, concat({set_up_steps, step_phases, step_phases, {"write_run_summary", "run_analyzers 16"}}));
  EXPECT_EQ(r.result, 0);
  EXPECT_FALSE(r.stopped);
  EXPECT_NE(r.console.find("Running....\n"), std::string::npos) << r.console;
  EXPECT_EQ(r.console.find("Running...."), r.console.rfind("Running...."));
  const std::string timing = read_file("out_time.out");
  EXPECT_EQ(timing.rfind("total time (s): ", 0), 0u);
  EXPECT_EQ(timing.size(), std::string("total time (s):     0.00\n").size());
}

TEST(RunPluvo, ReportedStopMidLoopEndsWithoutEndEvents) {
  scratch_dir dir;
  const recorded_run r = run_with(3, [](const std::string& phase, int pass, pluvo::model_state&) {
    if (phase == "route_overland_step" && pass == 2) pluvo::set_error(4000);
  });
  EXPECT_EQ(r.phases, concat({set_up_steps, step_phases, up_to(step_phases, "route_overland_step")}));
  EXPECT_EQ(r.result, 0);  // an ordinary error is reset by its report
  EXPECT_TRUE(r.stopped);  // but the process still says it failed
  EXPECT_NE(read_file("out_time.out").find("total time (s): "), std::string::npos);
}

TEST(RunPluvo, WarningMidLoopLetsTheRunGoOn) {
  scratch_dir dir;
  const recorded_run r = run_with(2, [](const std::string& phase, int pass, pluvo::model_state&) {
    if (phase == "compute_infiltration" && pass == 1) pluvo::error_state.error_code = 55;
  });
  EXPECT_EQ(r.phases, concat({set_up_steps, step_phases, step_phases, {"write_run_summary", "run_analyzers 16"}}));
  EXPECT_NE(r.console.find("\nWarning: Write hydrograph time step not specified, defaulting to 1 hour.\n"),
            std::string::npos);
  EXPECT_FALSE(r.stopped);
}

TEST(RunPluvo, PendingCodesGoToTheErrorEnd) {
  scratch_dir dir;
  // A code the analyzers leave at the end of a pass, and one left before "Running....".
  const recorded_run after_pass = run_with(3, [](const std::string& phase, int pass, pluvo::model_state&) {
    if (phase == "run_analyzers 1" && pass == 1) pluvo::error_state.error_code = 250;
  });
  EXPECT_EQ(after_pass.phases, concat({set_up_steps, step_phases, {"run_analyzers 32"}}));
  EXPECT_EQ(after_pass.result, 250);  // never reported
  EXPECT_TRUE(after_pass.stopped);

  const recorded_run before_loop = run_with(1, [](const std::string& phase, int, pluvo::model_state&) {
    if (phase == "run_analyzers 8") pluvo::error_state.error_code = 77;
  });
  EXPECT_EQ(before_loop.phases, concat({set_up_steps, {"run_analyzers 32"}}));
  EXPECT_EQ(before_loop.console.find("Running...."), std::string::npos);
}

TEST(RunPluvo, FatalReportKeepsItsCode) {
  scratch_dir dir;
  const recorded_run r = run_with(1, [](const std::string& phase, int, pluvo::model_state&) {
    if (phase == "init_channel_routing") pluvo::set_error(200, "", "chan.dat");
  });
  EXPECT_EQ(r.phases, up_to(set_up_steps, "init_channel_routing"));
  EXPECT_EQ(r.result, 200);
  EXPECT_NE(r.console.find("PLUVO Terminated.\n"), std::string::npos);
  EXPECT_TRUE(r.stopped);
}

TEST(RunPluvo, ToolboxModesRunSilently) {
  const struct {
    const char* mode;
    bool silent;
  } cases[] = {{"-slm", true}, {"-ms", true}, {"-tr", true}, {"-mlsl", true}, {"-slmx", false}, {"-m", false}};
  for (const auto& c : cases) {
    scratch_dir dir;
    write_file("p.prj", bare_project);
    pluvo::set_phase_observer([](const char* phase, int, pluvo::model_state& m) {
      accept_time_options(phase, m);
      if (std::string(phase) == "open_project_files") give_one_cell_watershed(m);
    });
    testing::internal::CaptureStdout();
    pluvo::run_pluvo("p.prj", nullptr, c.mode);
    const std::string out = testing::internal::GetCapturedStdout();
    pluvo::set_phase_observer(nullptr);
    for (const char* line : {"total time to init(s)", "Running....", "Run time"})
      EXPECT_EQ(out.find(line) == std::string::npos, c.silent) << c.mode << " " << line;
  }
}

TEST(RunPluvo, CallerResultsRecordIsSizedAndZeroed) {
  scratch_dir dir;
  pluvo::calibration_results results;
  write_file("p.prj", bare_project);
  int events = 0, columns = 0;
  double sum = 0.0;
  pluvo::set_phase_observer([&](const char* phase, int value, pluvo::model_state& m) {
    accept_time_options(phase, m);
    if (std::string(phase) == "open_project_files") give_one_cell_watershed(m);
    if (std::string(phase) == "alloc_external_results") {
      m.event_count = 3;
      m.hydrograph_link_count = 2;
    }
    // As the set-up leaves it, before any step has stored a peak.
    if (std::string(phase) == "run_analyzers" && value == 8 && m.external_results) {
      events = m.external_results->num_events;
      columns = m.external_results->num_columns;
      for (int i = 0; i < events * columns + 2; i++)
        sum += m.external_results->event_peaks[i] + m.external_results->event_volumes[i];
      for (int i = 0; i <= columns; i++)
        sum += m.external_results->point_peaks[i] + m.external_results->point_volumes[i];
    }
  });
  testing::internal::CaptureStdout();
  pluvo::run_pluvo("p.prj", &results, "-c");
  testing::internal::GetCapturedStdout();
  pluvo::set_phase_observer(nullptr);
  EXPECT_EQ(events, 3);
  EXPECT_EQ(columns, 3);
  EXPECT_EQ(sum, 0.0);
  EXPECT_EQ(results.num_events, 3);
  EXPECT_EQ(results.num_columns, 3);
  // The caller's record keeps what the run filed after the run has ended.
  EXPECT_EQ(results.event_peaks.size(), 3u * 3u + 2u);
  EXPECT_EQ(results.event_volumes.size(), 3u * 3u + 2u);
}

}  // namespace

namespace {

TEST(RunPluvo, RelativeSeriesCountFromTheClockStart) {
  scratch_dir dir;
  double shifted = 0.0, absolute = 0.0;
  run_with(1, [&](const std::string& phase, int, pluvo::model_state& m) {
    if (phase == "init_soil_water_state") {
      pluvo::time_series* relative = pluvo::new_time_series();
      relative->relative = 1;
      relative->times = {1.5};
      relative->values = {3.0};
      relative->count = 1;
      pluvo::time_series* fixed = pluvo::new_time_series();
      fixed->times = {2459000.0};
      fixed->values = {1.0};
      fixed->count = 1;
      m.cur_julian = 100.0;  // not yet the clock
    }
    if (phase == "init_simulation_clock") m.cur_julian = 2459000.5;  // what the clock start sets
    if (phase == "run_analyzers 8") {
      shifted = pluvo::time_series_list.at(0)->times[0];
      absolute = pluvo::time_series_list.at(1)->times[0];
    }
  });
  EXPECT_EQ(shifted, 2459002.0);
  EXPECT_EQ(absolute, 2459000.0);
  EXPECT_TRUE(pluvo::time_series_list.empty());  // released with the record
}

}  // namespace
