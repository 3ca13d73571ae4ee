#include <gtest/gtest.h>

#include "common/checked_file.hpp"
#include "grid_fixture.hpp"
#include "input/grid_setup.hpp"
#include "input/input_phases.hpp"
#include "run/run_phases.hpp"

namespace {

using namespace pluvo;

// A project whose mask, elevation, summary and hydrograph names all resolve in dir.
std::unique_ptr<model_state> project(const pluvo_test::temp_dir& dir) {
  auto m = pluvo_test::new_model();
  m->watershed_mask_path = dir.write("m.msk", "x");
  m->elevation_path = dir.write("e.ele", "x");
  m->summary_path = dir.file("run.sum");
  m->outlet_hydro_path = dir.file("out.hyd");
  return m;
}

TEST(OpenProjectFiles, FirstFailureStopsAndNamesTheFile) {
  pluvo_test::temp_dir dir;
  struct open_case {
    const char* missing;  // which input is absent
    const char* kind;
    bool summary_open;
  };
  for (const open_case c : {open_case{"mask", "watershed mask", false},
                            open_case{"elevation", "elevation data", false},
                            open_case{"hotstart", "overland hotstart", true}}) {
    auto m = project(dir);
    std::string missing = dir.file("absent.asc");
    if (std::string(c.missing) == "mask") m->watershed_mask_path = missing;
    if (std::string(c.missing) == "elevation") m->elevation_path = missing;
    m->ov_init_depth_flag = 1;
    m->ov_init_depth_file = std::string(c.missing) == "hotstart" ? missing : dir.write("h.asc", "x");
    m->sig_outlet_hydro_on = 1;
    m->sig_outlet_hydro_path = dir.file("six.hyd");
    open_project_files(*m);
    EXPECT_EQ(error_state.error_code, 4);
    EXPECT_EQ(error_state.error_terminate, 1);
    EXPECT_EQ(error_message_text(error_state),
              std::string("Error: Unable to open ") + c.kind + " file.\n  (File: " + missing + ")\n");
    EXPECT_EQ(m->summary_fp.is_open(), c.summary_open);
    EXPECT_EQ(error_log_file, c.summary_open ? &m->summary_fp : nullptr);
    // Nothing after the failing file is opened.
    EXPECT_FALSE(m->hydrograph_6digit_fp.is_open());
    close_output_files(*m);
    checked_file_close(m->watershed_mask_fp);
    checked_file_close(m->elevation_fp);
  }
}

TEST(OpenProjectFiles, MissingMapIsIgnoredWhenItsTableIsPresent) {
  pluvo_test::temp_dir dir;
  auto m = project(dir);
  m->roughness_map_on = 1;
  m->roughness_path = dir.file("absent.rgh");
  m->mapping_table_on = 1;
  m->grid_table_presence[1] = 1;  // ROUGHNESS table
  m->lake_output_on = 1;
  m->lake_output_path = dir.file("lake.out");
  open_project_files(*m);
  EXPECT_EQ(error_state.error_terminate, 0);
  EXPECT_FALSE(m->roughness_map_fp.is_open());
  EXPECT_TRUE(m->lake_output_fp.is_open());

  // Without the table the same map stops the run.
  auto n = project(dir);
  n->roughness_map_on = 1;
  n->roughness_path = m->roughness_path;
  open_project_files(*n);
  EXPECT_EQ(error_message_text(error_state),
            "Error: Unable to open Manning roughness file.\n  (File: " + m->roughness_path + ")\n");
  close_output_files(*m);
  close_output_files(*n);
}

TEST(OpenProjectFiles, LocationOutputsNameTheOutputThenTheList) {
  pluvo_test::temp_dir dir;
  const std::string list = dir.write("points.txt", "1\n2 2\n");
  const std::string output = dir.file("no/such/dir/points.out");
  struct location_case {
    int code;
    std::string kind, name;
  };
  const location_case cases[] = {
      {51, output, list},                                      // hydrographs at points
      {50, output, list},                                      // depths at the hydrograph points
      {48, list, output + " (out_theta_location_file)"},       // soil moisture at cells
  };
  for (const auto& c : cases) {
    auto m = project(dir);
    m->hyd_location_on = c.code != 48;
    m->in_hyd_location_path = list;
    m->out_hyd_location_path = c.code == 51 ? output : dir.file("points.hyd");
    m->dep_location_on = c.code == 50;
    m->out_dep_location_path = output;
    m->theta_out_on = c.code == 48;
    m->cell_location_file = list;
    m->out_theta_location_path = output;
    open_project_files(*m);
    EXPECT_EQ(error_state.error_code, c.code);
    EXPECT_EQ(error_state.error_file_kind, c.kind);
    EXPECT_EQ(error_state.error_file_name, c.name);
    close_output_files(*m);
  }
}

TEST(CloseOutputFiles, ClosesOnceAndForgetsTheSummaryAsErrorLog) {
  pluvo_test::temp_dir dir;
  auto m = project(dir);
  open_project_files(*m);
  ASSERT_EQ(error_state.error_terminate, 0);
  checked_file_close(m->watershed_mask_fp);
  checked_file_close(m->elevation_fp);
  ASSERT_EQ(error_log_file, &m->summary_fp);
  testing::internal::CaptureStdout();
  close_output_files(*m);
  close_output_files(*m);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(m->summary_fp.is_open());
  EXPECT_FALSE(m->outlet_hydrograph_fp.is_open());
  EXPECT_EQ(error_log_file, nullptr);

  // A replaced stream is reported once by name and the record still ends empty.
  ASSERT_TRUE(checked_file_open(m->lake_output_fp, dir.file("lake.out").c_str(), 'w'));
  std::FILE* other = std::fopen(dir.file("other.out").c_str(), "w");
  std::FILE* original = m->lake_output_fp.stream;
  m->lake_output_fp.stream = other;
  testing::internal::CaptureStdout();
  close_output_files(*m);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\n\n\nError with the file " + dir.file("lake.out") + ". The file pointer is corrupt.\n\n\n\n");
  EXPECT_FALSE(m->lake_output_fp.is_open());
  std::fclose(original);
}

TEST(SurfaceProperties, UniformValuesAndTheirLimits) {
  struct manning_case {
    double n;
    bool accepted;
  };
  for (const manning_case c : {manning_case{1e-6, false}, manning_case{1.1e-6, true},
                               manning_case{0.0, false}, manning_case{0.035, true}}) {
    auto m = pluvo_test::new_model();
    m->cell_count = 2;
    allocate_cell_arrays(*m);
    m->manning_n_value = c.n;
    testing::internal::CaptureStdout();
    read_roughness_map(*m);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_state.error_terminate, c.accepted ? 0 : 1) << c.n;
    if (c.accepted) {
      EXPECT_EQ(m->dist_rough, (std::vector<double>{0, c.n, c.n}));
      EXPECT_EQ(out, "");
    } else {
      char expect[512];
      std::snprintf(expect, sizeof expect,
                    "\nInvalid spatially uniform overland flow Manning n value=%lf\n"
                    "Check your overland roughness inputs \n"
                    "If you specified a overland roughness mapping table, you either didn't assign an "
                    "index map or your index map has invalid zero values\nPLUVO exiting.\n\n",
                    c.n);
      EXPECT_EQ(out, expect);
    }
  }
  struct retention_case {
    int uniform_on;
    double mm;
    double metres;
  };
  for (const retention_case c : {retention_case{1, 5.0, 0.005}, retention_case{0, 5.0, 0.0}}) {
    auto m = pluvo_test::new_model();
    m->cell_count = 2;
    allocate_cell_arrays(*m);
    m->retent_dep.assign(3, 9.0);
    m->retention_uniform_on = c.uniform_on;
    m->retention_value = c.mm;
    read_retention_map(*m);
    EXPECT_DOUBLE_EQ(m->retent_dep[1], c.metres);
    EXPECT_DOUBLE_EQ(m->retent_dep[2], c.metres);
  }
}

TEST(SurfaceProperties, RoughnessMapRejectsZeroAndSnowKeepsACopy) {
  pluvo_test::temp_dir dir;
  for (const char* values : {"0.03 0.05\n", "0.03 0\n"}) {
    auto m = pluvo_test::new_model();
    m->project_rows = 1;
    m->project_cols = 2;
    m->cell_count = 2;
    m->cell_number_grid.resize(1, 2, 0);
    m->cell_number_grid(1, 1) = 1;
    m->cell_number_grid(1, 2) = 2;
    allocate_cell_arrays(*m);
    m->roughness_map_on = 1;
    m->roughness_path = dir.write("r.asc", pluvo_test::header(1, 2) + values);
    ASSERT_TRUE(checked_file_open(m->roughness_map_fp, m->roughness_path.c_str(), 'r'));
    m->snow_roughness_on = 1;
    m->snow_roughness = 0.2;
    m->roughness_exp_on = 1;  // left by an earlier run of a batch
    testing::internal::CaptureStdout();
    read_roughness_map(*m);
    const std::string out = testing::internal::GetCapturedStdout();
    if (std::string(values) == "0.03 0\n") {
      EXPECT_NE(out.find("Overland Manning n=0 at grid cell 2.  Program terminating.\n"
                         "Check your overland roughness inputs, mapping table and index map \n"),
                std::string::npos);
      EXPECT_EQ(error_state.error_terminate, 1);
      continue;
    }
    EXPECT_EQ(error_state.error_terminate, 0);
    EXPECT_EQ(m->roughness_exp, (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(m->roughness_exp_on, 0);  // every exponent 0: the base roughness is used as it is
    setup_snow_roughness(*m);
    EXPECT_EQ(m->dist_rough_copy, m->dist_rough);
    EXPECT_DOUBLE_EQ(m->snow_roughness_value, 0.2);
  }
}

}  // namespace

namespace {

TEST(OpenProjectFiles, ChannelAndSoilColumnRules) {
  pluvo_test::temp_dir dir;
  dir.enter();
  {
    // Explicit channels need the non-orthogonal option; no file is named in the error.
    auto m = project(dir);
    m->chan_explic_on = 1;
    testing::internal::CaptureStdout();
    open_project_files(*m);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Must Specify YES_NON_ORTHO in project file\n");
    EXPECT_EQ(error_state.error_code, 4);
    EXPECT_EQ(error_state.error_file_kind, "");
    close_output_files(*m);
  }
  {
    // A missing soil type map counts only for the schemes that cannot take it from a table.
    auto m = project(dir);
    m->inf_redist_on = 1;
    m->soil_moisture_accounting_on = 1;
    m->soil_type_map_path = dir.file("absent.soil");
    // Redistribution's own three maps are named (without them the opening stops first).
    m->conductivity_path = dir.write("k.map", "");
    m->capillary_path = dir.write("h.map", "");
    m->porosity_path = dir.write("p.map", "");
    open_project_files(*m);
    EXPECT_EQ(error_state.error_terminate, 0);
    EXPECT_FALSE(m->soil_type_fp.is_open());
    close_output_files(*m);
    EXPECT_EQ(pluvo_test::read_text(dir.file("evap_out")),
              "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  "
              "CFGI         temp(C) gridded_temp(C) soil_temp(C)   avg_theta_L1  avg_theta_L2\n");

    auto r = project(dir);
    r->inf_richards_on = 1;
    r->soil_type_map_path = m->soil_type_map_path;
    open_project_files(*r);
    EXPECT_EQ(error_state.error_file_kind, "soil type");
    close_output_files(*r);
  }
}

}  // namespace

namespace {

TEST(SurfaceProperties, OverlandLakeVolumesFromTheirWaterSurface) {
  for (const double high_cell : {9.0, 10.5}) {
    auto m = pluvo_test::new_model();
    m->overland_lakes_on = 1;
    m->cell_count = 4;
    m->cell_size = 10.0;
    m->elevation = {0, 9.0, 9.0, 9.0, high_cell};
    m->oland_lake_mask = {0, 1, 1, 0, 2};
    m->overland_lake_count = 2;
    m->overland_lake_records.assign(3, overland_lake_record());
    m->overland_lake_records[1].wse = 10.0;
    m->overland_lake_records[1].volume = 55.0;  // the file's volume is recomputed from the map
    m->overland_lake_records[2].wse = 10.0;
    testing::internal::CaptureStdout();
    sum_overland_lake_volumes(*m);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_DOUBLE_EQ(m->overland_lake_records[1].volume, 200.0);  // 1 m over two 100 m2 cells
    EXPECT_EQ(m->overland_lake_records[1].lake_cell_count, 2);
    if (high_cell < 10.0) {
      EXPECT_DOUBLE_EQ(m->overland_lake_records[2].volume, 100.0);
      EXPECT_EQ(out, "");
    } else {
      EXPECT_EQ(out,
                "There is a lake cell in lake 2 that is above the initial lake water surface\n"
                "elevation in that lake, which is specified as 10.000000.  This situation is not\n"
                "physically realistic.  Check your lake map.  Program terminated.\n\n");
      EXPECT_EQ(error_state.error_terminate, 1);
    }
  }
}

}  // namespace
