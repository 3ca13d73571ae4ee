#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "common/error_state.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"

namespace {

using setter = std::function<void(pluvo::model_state&)>;

struct validate_case {
  int code;
  setter set;
};

// Options that pass every check of their family, so a case needs only what makes it fail.
void long_term_penman(pluvo::model_state& m) {
  m.long_term_on = 1;
  m.et_calc_penman_on = 1;
  m.inf_redist_on = 1;
  m.albedo_map_on = m.vheight_map_on = m.tcoeff_map_on = m.canopy_map_on = 1;
}
void groundwater(pluvo::model_state& m) {
  m.gw_simulation_on = 1;
  m.gw_porosity_map_on = 1;
  m.gw_hycond_map_on = 1;
}

TEST(ValidateProjectOptions, FirstFailingCheckSetsItsCode) {
  const validate_case cases[] = {
      {0, [](auto&) {}},
      {6, [](auto& m) { m.manning_n_on = m.roughness_map_on = 1; m.long_term_on = 1; m.precip_on = m.uniform_rain_on = 1; }},
      {7, [](auto& m) { long_term_penman(m); m.et_calc_deardorff_on = 1; }},
      {8, [](auto& m) { m.hmet_surfaways_on = m.hmet_kal_on = 1; }},
      {8, [](auto& m) { m.hmet_surfaways_on = m.hmet_samson_on = 1; }},
      {8, [](auto& m) { m.hmet_kal_on = m.hmet_samson_on = 1; }},
      {9, [](auto& m) { long_term_penman(m); m.et_calc_penman_on = 0; }},
      {10, [](auto& m) { m.precip_on = m.uniform_rain_on = 1; }},
      {11, [](auto& m) { m.uniform_rain_on = 1; m.uniform_rain_duration = 30.0; }},
      {11, [](auto& m) { m.uniform_rain_on = 1; m.uniform_rain_intensity = 10.0; }},
      {0, [](auto& m) { m.uniform_rain_on = 1; m.uniform_rain_intensity = 10.0; m.uniform_rain_duration = 30.0; }},
      {20, [](auto& m) { long_term_penman(m); m.inf_redist_on = 0; }},
      {21, [](auto& m) { long_term_penman(m); m.albedo_map_on = 0; }},
      {22, [](auto& m) { long_term_penman(m); m.vheight_map_on = 0; }},
      {23, [](auto& m) { long_term_penman(m); m.tcoeff_map_on = 0; }},
      {24, [](auto& m) { long_term_penman(m); m.canopy_map_on = 0; }},
      {25, [](auto& m) { long_term_penman(m); }},
      {0, [](auto& m) { long_term_penman(m); m.wilting_point_map_on = 1; }},
      {0, [](auto& m) { long_term_penman(m); m.albedo_map_on = m.canopy_map_on = 0; m.grid_table_presence[8] = 1; }},
      {26, [](auto& m) { m.inf_layered_soil_on = m.green_ampt_on = 1; }},
      {27, [](auto& m) { m.inf_layered_soil_on = m.inf_redist_on = 1; }},
      {28, [](auto& m) { m.inf_layered_soil_on = m.inf_richards_on = 1; }},
      {29, [](auto& m) { m.inf_richards_on = m.green_ampt_on = 1; }},
      {30, [](auto& m) { m.inf_richards_on = m.inf_redist_on = 1; }},
      {32, [](auto& m) { m.inf_richards_on = 1; groundwater(m); m.aquifer_delta_z_value = -999.9; }},
      {33, [](auto& m) { m.green_ampt_on = m.inf_redist_on = 1; }},
      {34, [](auto& m) { m.chan_drain_on = m.chan_backwater_on = 1; }},
      {35, [](auto& m) { m.chan_preiss_on = 1; }},
      {37, [](auto& m) { m.chan_explic_on = m.chan_mesh_on = 1; }},
      {38, [](auto& m) { groundwater(m); m.gw_unif_porosity_on = 1; }},
      {40, [](auto& m) { groundwater(m); m.gw_unif_hycond_on = 1; }},
      {42, [](auto& m) { groundwater(m); m.sacramento_on = 1; }},
      {43, [](auto& m) { m.qir_mode = 1; }},
      {44, [](auto& m) { m.qir_event_call = 1; m.qir_event_number = -1; }},
      {45, [](auto& m) { m.qir_mode = m.omba_exchange_on = 1; groundwater(m); }},
      {46, [](auto& m) { m.omba_exchange_on = 1; }},
      {0, [](auto& m) { m.qir_mode = m.omba_exchange_on = 1; }},
  };
  int row = 0;
  for (const auto& c : cases) {
    auto m = std::make_unique<pluvo::model_state>();
    c.set(*m);
    pluvo::error_state = pluvo::error_state_record();
    testing::internal::CaptureStdout();
    pluvo::validate_project_options(*m);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(pluvo::error_state.error_code, c.code) << "row " << row;
    EXPECT_EQ(pluvo::error_state.error_terminate, 0) << "row " << row;  // the driver's report stops the run
    row++;
  }
  pluvo::error_state = pluvo::error_state_record();
}

const char* const w39 =
    "\nWarning: You have specified neither spatially-varied, uniform, or mapping table porosity for\n"
    "groundwater soil without using both the gw_unif_porosity and\ngw_porosity_map project file cards. "
    "Groundwater porosities will be the.\nsame as those in the last layer of your soil input table.\n";
const char* const w41 =
    "\nWarning: You have specified neither spatially-varied, uniform, or mapping table hydraulic \n"
    "conductivity for groundwater soil without using both the gw_unif_hycond\nand gw_hycond_map project file "
    "cards. Groundwater hydraulic conductivies \nwill be taken from the soil input table.\n";

TEST(ValidateProjectOptions, GroundwaterWarningsPrintAtOnceAndChecksGoOn) {
  const struct {
    bool table;
    int sacramento;
    std::string console;
    int code;
  } cases[] = {
      {false, 0, std::string(w39) + w41, 0},
      {false, 1, std::string(w39) + w41, 42},  // contradictory options do not slip past the warning
      {true, 1, "", 42},
  };
  for (const auto& c : cases) {
    auto m = std::make_unique<pluvo::model_state>();
    m->gw_simulation_on = 1;
    m->sacramento_on = c.sacramento;
    m->grid_table_presence[17] = c.table ? 1 : 0;
    pluvo::error_state = pluvo::error_state_record();
    testing::internal::CaptureStdout();
    pluvo::validate_project_options(*m);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.console);
    EXPECT_EQ(pluvo::error_state.error_code, c.code);
    EXPECT_EQ(pluvo::error_state.error_terminate, 0);
  }
  pluvo::error_state = pluvo::error_state_record();
}

TEST(ValidateProjectOptions, SettingsMadeBetweenChecks) {
  auto m = std::make_unique<pluvo::model_state>();
  m->inf_richards_on = 1;
  m->moisture_map_on = m->conductivity_map_on = m->capillary_map_on = 1;
  m->porosity_map_on = m->pore_index_map_on = m->residual_sat_map_on = 1;
  m->chan_explic_on = 1;
  m->soil_erosion_on = 1;
  m->map_out_chan_discharge = 1;
  pluvo::validate_project_options(*m);
  EXPECT_EQ(m->moisture_map_on + m->conductivity_map_on + m->capillary_map_on + m->porosity_map_on +
                m->pore_index_map_on + m->residual_sat_map_on,
            0);
  EXPECT_EQ(m->chan_sed_transport_on, 1);
  EXPECT_EQ(m->map_out_chan_discharge, 1);

  auto n = std::make_unique<pluvo::model_state>();
  n->map_out_chan_discharge = 1;
  n->qir_mode = n->omba_exchange_on = n->qir_event_call = 1;
  n->qir_event_number = 4;
  n->omba_control_file = "exchange/ctl%s.txt";
  testing::internal::CaptureStdout();
  pluvo::validate_project_options(*n);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Running PLUVO in QIR environment\nPLUVO will share data with OMBA through file: exchange/ctl%s.txt\n"
            "This is an event call of PLUVO by QIR, qir_event_num=4\n");
  EXPECT_EQ(n->map_out_chan_discharge, 0);  // no channel routing, no channel discharge map
  EXPECT_EQ(pluvo::error_state.error_code, 0);
}

struct time_case {
  const char* label;
  double timestep, st_time_step, hyd_freq;
  int map_freq;
  double outslope;
  int long_term;
  double latitude, longitude;
  int gmt_flag, snow_calibrate;
  int code;
  double time_step;
  int hyd_steps, map_steps;
  const char* console;
};

const char* const w55 = "\nWarning: Write hydrograph time step not specified, defaulting to 1 hour.\n";
const char* const map_warning = "Warning: Write solution time step not specified, defaulting to 6 hours.\n";

TEST(CheckTimeOptions, StepIntervalsAndStops) {
  const time_case cases[] = {
      {"shorter st step", 30, 10, 5, 60, 0.01, 0, 0, 0, 0, 0, 0, 10, 30, 360, ""},
      {"tiny st step ignored", 30, 0.005, 5, 60, 0.01, 0, 0, 0, 0, 0, 0, 30, 10, 120, ""},
      {"defaults", 10, 0, 0, 0, 0.01, 0, 0, 0, 0, 0, 0, 10, 360, 2160, ""},
      {"negative hydrograph interval", 10, 0, -5, 60, 0.01, 0, 0, 0, 0, 0, 0, 10, 360, 360, ""},
      {"snow calibration", 30, 10, 5, 0, 0.01, 0, 0, 0, 0, 1, 0, 30, 10, 720, ""},
      {"zero step", 0, 0, 5, 60, 0.01, 0, 0, 0, 0, 0, 52, 0, 0, 0, ""},
      {"step of a millisecond", 0.001, 0, 5, 60, 0.01, 0, 0, 0, 0, 0, 52, 0.001, 0, 0, ""},
      {"no outlet slope", 10, 0, 5, 60, 0, 0, 0, 0, 0, 0, 56, 10, 30, 360, ""},
      {"long term west longitude", 10, 0, 5, 60, 0.01, 1, 40, -90, 1, 0, 0, 10, 30, 360, ""},
      {"long term south latitude", 10, 0, 5, 60, 0.01, 1, -33.9, 18.4, 1, 0, 0, 10, 30, 360, ""},
      {"long term no longitude", 10, 0, 5, 60, 0.01, 1, 40, 0, 1, 0, 57, 10, 30, 360, ""},
      {"long term latitude past the pole", 10, 0, 5, 60, 0.01, 1, 95, 10, 1, 0, 57, 10, 30, 360, ""},
      {"long term no latitude", 10, 0, 5, 60, 0.01, 1, 0, 90, 1, 0, 57, 10, 30, 360, ""},
      {"long term without GMT", 10, 0, 5, 60, 0.01, 1, 40, 90, 0, 0, 58, 10, 30, 360, ""},
      {"long term complete", 10, 0, 5, 60, 0.01, 1, 40, 90, 1, 0, 0, 10, 30, 360, ""},
  };
  for (const auto& c : cases) {
    auto m = std::make_unique<pluvo::model_state>();
    m->timestep = c.timestep;
    m->st_time_step = c.st_time_step;
    m->hyd_freq = c.hyd_freq;
    m->map_freq = c.map_freq;
    m->outslope = c.outslope;
    m->long_term_on = c.long_term;
    m->latitude = c.latitude;
    m->longitude = c.longitude;
    m->gmt_flag = c.gmt_flag;
    m->snow_calibrate_on = c.snow_calibrate;
    m->rows = 7;
    m->cols = 9;
    m->tot_time = 120;
    pluvo::error_state = pluvo::error_state_record();
    testing::internal::CaptureStdout();
    pluvo::check_time_options(*m);
    const std::string console = testing::internal::GetCapturedStdout();
    std::string expected = c.console;
    if (c.code != 52 && c.hyd_freq <= 0) expected += w55;
    if (c.code != 52 && c.map_freq == 0 && !c.snow_calibrate) expected += map_warning;
    EXPECT_EQ(console, expected) << c.label;
    EXPECT_EQ(pluvo::error_state.error_code, c.code) << c.label;
    EXPECT_EQ(pluvo::error_state.error_terminate, c.code ? 1 : 0) << c.label;
    EXPECT_EQ(m->time_step, c.time_step) << c.label;
    if (c.code == 52) continue;
    EXPECT_EQ(m->hyd_write_steps, c.hyd_steps) << c.label;
    EXPECT_EQ(m->map_write_steps, c.map_steps) << c.label;
    EXPECT_EQ(m->project_rows, 7) << c.label;
    EXPECT_EQ(m->total_time_min, 120) << c.label;
    EXPECT_EQ(m->mask_rows, c.code ? 0 : 7) << c.label;  // left uncopied after a stop
  }
  pluvo::error_state = pluvo::error_state_record();
}

}  // namespace
