#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/error_state.hpp"
#include "common/replace_params.hpp"
#include "common/time_series.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo::model_state;

// A record built the way the driver builds it: in heap storage of its own.
struct built_record {
  std::unique_ptr<unsigned char[]> storage = std::make_unique<unsigned char[]>(sizeof(model_state));
  model_state* m = pluvo::construct_model_state(storage.get());
  ~built_record() { m->~model_state(); }
};

TEST(ModelState, ConstructionGivesTheRecordDefaults) {
  built_record r;
  const model_state& m = *r.m;
  const struct {
    const char* field;
    double value;
    double expected;
  } cases[] = {
      {"cfs_factor", m.cfs_factor, 35.314667},
      {"float_grass_maps", double(m.float_grass_maps), 1},
      {"top_layer_depth_cm", m.top_layer_depth_cm, 40.0},
      {"soil_moist_depth_cm", m.soil_moist_depth_cm, 40.0},
      {"mixing_layer_depth_cm", m.mixing_layer_depth_cm, 40.0},
      {"snow_darcy_value", m.snow_darcy_value, -1.0},
      {"overland_scheme", double(m.overland_scheme), 2},
      {"cell_mass_toggle", double(m.cell_mass_toggle), 1},
      {"kinetics_step_factor", m.kinetics_step_factor, 1.0},
      {"overbank_max_dv_value", m.overbank_max_dv_value, 0.01},
      {"lake_cells_unmarked", double(m.lake_cells_unmarked), 1},
      {"uniform_rain_step", double(m.uniform_rain_step), 1},
      {"snowpack_const_1", m.snowpack_const_1, 3.0},
      {"snowpack_const_2", m.snowpack_const_2, 0.67},
      {"snowpack_const_3", m.snowpack_const_3, 10.0},
      {"snowpack_const_4", m.snowpack_const_4, 3.0},
      {"snowpack_step_s", double(m.snowpack_step_s), 3600},
      {"snowpack_const_6", m.snowpack_const_6, 1.0},
      {"snowpack_const_7", m.snowpack_const_7, 0.077},
      {"snow_fusion_heat", m.snow_fusion_heat, 80.0},
      {"snow_longwave_offset", m.snow_longwave_offset, 27.0},
      {"cfgi_index_value", m.cfgi_index_value, 83.0},
      {"cfgi_k_value", m.cfgi_k_value, 0.5},
      {"gw_step_toggle", double(m.gw_step_toggle), 1},
      {"gw_relax_coeff_value", m.gw_relax_coeff_value, 1.0},
      {"satsource_out_on", double(m.satsource_out_on), 1},
      {"hmet_station_count", double(m.hmet_station_count), 1},
      {"elev_scale_step", m.elev_scale_step, 100.0},
      {"energy_balance_mode", double(m.energy_balance_mode), 1},
      {"flush_buffer_lines", double(m.flush_buffer_lines), 5000},
      {"rain_interp", double(m.rain_interp), 1},
      {"xybdyoutput_is_mask", double(m.xybdyoutput_is_mask), -1},
      {"latitude", m.latitude, 32.0},
      {"longitude", m.longitude, -90.0},
      // Option values no card has set yet are zero.
      {"m_river", m.m_river, 0.0},
      {"overtype", double(m.overtype), 0},
      {"timestep", m.timestep, 0.0},
      {"keep_running", double(m.keep_running), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value, c.expected) << c.field;
  EXPECT_EQ(m.chan_contam_out_name, "con_output");
  EXPECT_FALSE(m.summary_fp.is_open());
  EXPECT_EQ(m.tvx_state, nullptr);
}

TEST(ModelState, LayeredSoilTableHoldsAHundredThousandZeroEntries) {
  built_record r;
  const auto& table = r.m->layered_soil_table;
  ASSERT_EQ(table.size(), 100000u);
  double sum = 0.0;
  for (const auto& entry : table)
    for (double v : entry.values) sum += v * v;
  EXPECT_EQ(sum, 0.0);
}

TEST(ModelState, NamedArraysCarryTheirNamesFromConstruction) {
  built_record r;
  EXPECT_STREQ(r.m->precip_conc.name, "precip_conc");
  EXPECT_STREQ(r.m->OV_MASS_INIT.name, "OV_MASS_INIT");
  EXPECT_STREQ(r.m->event_ov_neg_mass.name, "event_ov_neg_mass");
  EXPECT_STREQ(r.m->GLOBAL_GW_MASS.name, "GLOBAL_GW_MASS");
  EXPECT_STREQ(r.m->chan_partition_coef.name, "chan_partition_coef");
}

// A bad index is reported once, by the array's name, when the run releases the record.
TEST(ModelState, ABadRangeIsReportedByNameAtRelease) {
  built_record r;
  pluvo::checked_array_grow_fill(r.m->OV_MASS_INIT, 3, 1.0);
  r.m->OV_MASS_INIT[7] = 2.0;
  r.m->OV_MASS_INIT[-1] = 2.0;
  r.m->GLOBAL_MASS_OUT[1] = 0.5;  // never grown
  testing::internal::CaptureStdout();
  pluvo::free_model_state(r.m);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: bad range addressed in array GLOBAL_MASS_OUT\n"
            "Error: bad range addressed in array OV_MASS_INIT\n");
  EXPECT_EQ(r.m->OV_MASS_INIT.count, 0);
  EXPECT_STREQ(r.m->OV_MASS_INIT.name, "OV_MASS_INIT");
}

TEST(ModelState, ReleasingAFreshRecordPrintsNothing) {
  built_record r;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  pluvo::free_model_state(r.m);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ModelState, ReleaseEmptiesTheListsARunFills) {
  built_record r;
  pluvo::new_time_series()->name = "q";
  pluvo::well_cell_list.push_back({});
  ASSERT_EQ(pluvo::parse_replace_param_line("[K] %d"), 0);
  pluvo::replace_pairs_active = true;
  pluvo::free_model_state(r.m);
  EXPECT_TRUE(pluvo::time_series_list.empty());
  EXPECT_TRUE(pluvo::well_cell_list.empty());
  EXPECT_TRUE(pluvo::replace_pair_list.empty());
  EXPECT_FALSE(pluvo::replace_pairs_active);
}

// Whatever a run allocated or opened is gone after release, whichever switches were on;
// the sanitizer build checks that nothing leaks over many runs.
TEST(ModelState, ReleaseFreesEverythingAndClosesEveryFile) {
  pluvo_test::scratch_dir dir;
  for (int run = 0; run < 3; ++run) {
    built_record r;
    model_state& m = *r.m;
    m.elevation.assign(1000, 1.0);
    m.layered_soil_table[99999].values[70] = 4.0;
    m.tvx_state = std::make_unique<pluvo::tvx_object>();
    m.tvx_soil_km_koc.assign(12, 1.0);
    pluvo::checked_array_grow_fill(m.OV_MASS_FINAL, 10, 0.0);
    ASSERT_TRUE(pluvo::checked_file_open(m.summary_fp, "run.sum", 'w'));
    ASSERT_TRUE(pluvo::checked_file_open(m.raingage_fp, "rain.txt", 'w'));
    pluvo::error_log_file = &m.summary_fp;

    pluvo::free_model_state(&m);
    EXPECT_FALSE(m.summary_fp.is_open());
    EXPECT_FALSE(m.raingage_fp.is_open());
    EXPECT_EQ(pluvo::error_log_file, nullptr);
    EXPECT_TRUE(m.elevation.empty());
    EXPECT_EQ(m.tvx_state, nullptr);
    EXPECT_TRUE(m.tvx_soil_km_koc.empty());
    EXPECT_EQ(m.OV_MASS_FINAL.count, 0);
    EXPECT_EQ(m.layered_soil_table[99999].values[70], 0.0);
    EXPECT_EQ(m.cfs_factor, 35.314667);  // an empty record again
  }
}

}  // namespace
