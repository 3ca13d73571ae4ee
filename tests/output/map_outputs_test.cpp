// The map output step: the depth map with channel lakes, numbered grids of a run through the
// project reader, and the grids read back by GDAL where gdalinfo is installed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/process.hpp"
#include "output/map_outputs.hpp"
#include "output/map_series.hpp"
#include "output/output_phases.hpp"
#include "output/output_projects.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

// A 80 x 80 grid (enough cells for the thread team) with three lakes of a few cells each.
std::vector<double> depth_map_on(int threads) {
  const int rows = 80, cols = 80, n = rows * cols;
  pluvo::grid<int32_t> cells(rows, cols, 0);
  std::vector<double> elevation(size_t(n) + 1), depth(size_t(n) + 1), map(size_t(n) + 1, -1.0);
  int k = 0;
  for (int r = 1; r <= rows; r++)
    for (int c = 1; c <= cols; c++) {
      cells(r, c) = ++k;
      elevation[size_t(k)] = 100.0 + 0.01 * r + 0.002 * c;
      depth[size_t(k)] = 0.001 * ((r * 7 + c * 3) % 11);
    }
  std::vector<std::vector<pluvo::grid_position>> lists(4);
  std::vector<int32_t> counts = {0, 3, 1, 2};
  lists[1] = {{}, {10, 10}, {10, 11}, {11, 10}, {40, 40}};  // the fourth cell is searched, not in the lake
  lists[2] = {{}, {70, 5}};
  lists[3] = {{}, {1, 80}, {2, 80}};
  const std::vector<double> stage = {0.0, 101.0, 102.5, 100.9};
  const int saved = pluvo::thread_count;
  pluvo::set_thread_count(threads);
  pluvo::build_depth_map_parallel(3, lists, elevation, cells, stage, counts, n, depth, map, 1);
  pluvo::set_thread_count(saved);
  for (int l = 1; l <= 3; l++)
    for (int j = 1; j <= counts[size_t(l)]; j++) {
      const int cell = cells(lists[size_t(l)][size_t(j)].row, lists[size_t(l)][size_t(j)].col);
      EXPECT_EQ(map[size_t(cell)], stage[size_t(l)] - elevation[size_t(cell)]) << "lake " << l;
    }
  EXPECT_EQ(map[size_t(cells(40, 40))], depth[size_t(cells(40, 40))]);
  EXPECT_EQ(map[size_t(cells(80, 1))], depth[size_t(cells(80, 1))]);
  return map;
}

TEST(MapOutputs, DepthMapGivesLakeCellsTheirStageOnAnyThreadCount) {
  const std::vector<double> one = depth_map_on(1);
  EXPECT_EQ(one, depth_map_on(8));
}

// The strip project with MAP_TYPE 0 maps every 10 minutes: sets 1, 2 and 3 of every map.
TEST(MapOutputs, NumberedGridsOfEveryMapThroughTheProject) {
  pluvo_test::scratch_dir dir;
  std::filesystem::create_directories("maps");
  const pluvo_test::project_result r = pluvo_test::run_strip_project(
      "MAP_FREQ 10\nDEPTH maps\nDISCHARGE maps/\nDIS_RAIN maps\nINF_DEPTH maps\n"
      "SURF_MOIST maps/\n");
  ASSERT_FALSE(r.stopped) << r.out;
  const std::string header =
      "ncols \t3\nnrows \t2\nxllcenter      5.00\nyllcenter     15.00\ncellsize     10.00\nNODATA_value -9999.99\n";
  for (const char* base : {"depth", "discharge", "rain", "infdep", "surf"}) {
    for (int set = 1; set <= 3; set++) {
      char name[64];
      std::snprintf(name, sizeof name, "maps/%s.%04d.asc", base, set);
      EXPECT_EQ(read_file(name).substr(0, header.size()), header) << name;
      EXPECT_NE(r.out.find(std::string("opening file ") + name + "\n"), std::string::npos) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(std::string("maps/") + base + ".0004.asc")) << base;
  }
  // Rain falls for the first ten minutes only: 36 mm/h on every cell at the first map time.
  EXPECT_EQ(read_file("maps/rain.0001.asc").substr(header.size()), "36.0000 36.0000 36.0000 \n36.0000 36.0000 36.0000 \n");
}

// A map that cannot be written stops the run with its message: a numbered grid at the first map
// time, a dataset at set-up with message 59.
TEST(MapOutputs, UnwritableMapsStopTheRunWithTheirMessages) {
  pluvo_test::scratch_dir dir;
  struct refusal {
    const char* cards;
    const char* message;
  };
  const refusal cases[] = {
      {"DEPTH no_such_folder\n", "Can't open depth map for writing: no_such_folder/depth.0001.asc\n"},
      {"DISCHARGE no_such_folder/\n", "Can't open discharge map for writing: no_such_folder/discharge.0001.asc\n"},
      {"MAP_TYPE 1\nDEPTH no_such_folder/d.dat\n", "Error: Can't open output file: no_such_folder/d.dat"},
      {"MAP_TYPE 2\nDIS_RAIN no_such_folder/r.dat\n", "Error: Can't open output file: no_such_folder/r.dat"},
  };
  for (const refusal& c : cases) {
    const pluvo_test::project_result r = pluvo_test::run_strip_project(c.cards);
    EXPECT_TRUE(r.stopped) << c.cards;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << c.cards << r.out;
  }
}

// MAP_TYPE 1: ASCII datasets, one step record per map time, each file headed by its kind.
TEST(MapOutputs, AsciiDatasetsThroughTheProject) {
  pluvo_test::scratch_dir dir;
  const pluvo_test::project_result r =
      pluvo_test::run_strip_project("MAP_TYPE 1\nMAP_FREQ 10\nDEPTH d.dat\nDIS_RAIN r.dat\n");
  ASSERT_FALSE(r.stopped) << r.out;
  const std::string depth = read_file("d.dat");
  EXPECT_EQ(depth.rfind("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1010\nND 6\nNC 6\nNAME depth\nTS 1 ", 0), 0u) << depth;
  const std::string rain = read_file("r.dat");
  EXPECT_EQ(rain.rfind("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1012\nND 6\nNC 6\nNAME rain\nTS 1 ", 0), 0u) << rain;
  size_t steps = 0;
  for (size_t at = rain.find("TS 1 "); at != std::string::npos; at = rain.find("TS 1 ", at + 1)) steps++;
  EXPECT_EQ(steps, 3u);
  EXPECT_EQ(rain.substr(rain.size() - 6), "ENDDS\n");
  EXPECT_EQ(depth.substr(depth.size() - 6), "ENDDS\n");
}

// MAP_TYPE 2: binary datasets, header, three step records of the six cells and the end code.
TEST(MapOutputs, BinaryDatasetsThroughTheProject) {
  pluvo_test::scratch_dir dir;
  const pluvo_test::project_result r = pluvo_test::run_strip_project("MAP_TYPE 2\nMAP_FREQ 10\nDEPTH d.bin\n");
  ASSERT_FALSE(r.stopped) << r.out;
  const std::string depth = read_file("d.bin");
  ASSERT_EQ(depth.size(), 100u + 3u * (14u + 6u * 10u) + 4u);
  EXPECT_EQ(depth.substr(60, 5), "depth");
  EXPECT_EQ(depth.substr(depth.size() - 4), std::string("\xd2\0\0\0", 4));
}

// The number pair after label in gdalinfo's text, e.g. "Upper Left  (  269311.220, 5541523.800)".
bool corner(const std::string& info, const char* label, double& x, double& y) {
  const size_t at = info.find(label);
  if (at == std::string::npos) return false;
  const char* p = info.c_str() + info.find('(', at) + 1;
  char* end = nullptr;
  x = std::strtod(p, &end);
  y = std::strtod(end + 1, nullptr);
  return true;
}

void expect_gdal_grid(const std::string& path, int cols, int rows, double west, double north, double south,
                      double east, bool nodata) {
  int status = 0;
  const std::string info = pluvo_test::run_command("gdalinfo '" + path + "' 2>&1", status);
  ASSERT_EQ(status, 0) << info;
  EXPECT_NE(info.find("Size is " + std::to_string(cols) + ", " + std::to_string(rows) + "\n"), std::string::npos)
      << path << "\n" << info;
  double x = 0, y = 0;
  ASSERT_TRUE(corner(info, "Upper Left", x, y)) << info;
  EXPECT_NEAR(x, west, 1e-3) << path;
  EXPECT_NEAR(y, north, 1e-3) << path;
  ASSERT_TRUE(corner(info, "Lower Right", x, y)) << info;
  EXPECT_NEAR(x, east, 1e-3) << path;
  EXPECT_NEAR(y, south, 1e-3) << path;
  if (nodata) {
    EXPECT_NE(info.find("NoData Value=-9999.99\n"), std::string::npos) << path << "\n" << info;
  }
}

// Every grid the demo basin's run writes opens in GDAL with the basin's size, corners and
// no-data value, the sediment demo's flux and net volume maps and the aquifer strip's head and
// recharge maps likewise; a GRASS grid of the same basin with its size and corners.
TEST(MapOutputs, GdalReadsTheGridsOfADemoRun) {
  int status = 0;
  pluvo_test::run_command("command -v gdalinfo", status);
  if (status != 0) GTEST_SKIP() << "gdalinfo is not installed";
  pluvo_test::scratch_dir dir;
  pluvo_test::copy_demo_project("TOT_TIME 120");
  const pluvo_test::project_result r = [&] {
    pluvo_test::project_result out;
    out.out = pluvo::printed_by([] { pluvo::run_pluvo("demo.prj", nullptr, "demo.prj"); });
    out.stopped = pluvo::run_stopped_on_error;
    pluvo::run_stopped_on_error = false;
    return out;
  }();
  ASSERT_FALSE(r.stopped) << r.out;
  const double north = 5541523.80, south = 5525023.80, east = 283311.22, west = 269311.22;
  int grids = 0;
  for (const auto& f : std::filesystem::directory_iterator("out")) {
    expect_gdal_grid(f.path().string(), 28, 33, west, north, south, east, true);
    grids++;
  }
  EXPECT_EQ(grids, 2);  // MAP_FREQ 60 over two hours: the first step and one hour later

  // The sediment maps of the same basin.
  std::filesystem::create_directories("sed");
  pluvo_test::copy_sediment_demo("MAX_SED_FLUX sed\nNET_SED_VOLUME sed\nVOL_SED_SUSP susp.dat\n");
  const pluvo_test::project_result sediment = pluvo_test::run_sediment_demo();
  ASSERT_FALSE(sediment.stopped) << sediment.out;
  int sediment_grids = 0;
  for (const auto& f : std::filesystem::directory_iterator("sed")) {
    expect_gdal_grid(f.path().string(), 28, 33, west, north, south, east, true);
    sediment_grids++;
  }
  EXPECT_EQ(sediment_grids, 6);

  // The head and recharge maps of the aquifer strip.
  std::filesystem::create_directories("gw");
  const pluvo_test::project_result aquifer = pluvo_test::run_strip_cards(
      pluvo_test::aquifer_run_cards() + "GW_OUTPUT gw\nGW_RECHARGE_CUM gw\nGW_RECHARGE_INC gw\n");
  ASSERT_FALSE(aquifer.stopped) << aquifer.out;
  int aquifer_grids = 0;
  for (const auto& f : std::filesystem::directory_iterator("gw")) {
    expect_gdal_grid(f.path().string(), 3, 2, 0.0, 30.0, 10.0, 30.0, true);
    aquifer_grids++;
  }
  EXPECT_EQ(aquifer_grids, 12);

  // A GRASS grid of the basin mask: every cell's number.
  pluvo::grid<int32_t> mask(33, 28, 0);
  std::vector<double> values(33 * 28 + 1, 0.0);
  int k = 0;
  for (int row = 1; row <= 33; row++)
    for (int col = 1; col <= 28; col++) {
      mask(row, col) = ++k;
      values[size_t(k)] = k;
    }
  std::FILE* g = std::fopen("basin.grass", "w");
  ASSERT_NE(g, nullptr);
  pluvo::write_grass_header(g, mask, north, south, east, west, 33, 28, values.data());
  std::fclose(g);
  expect_gdal_grid("basin.grass", 28, 33, west, north, south, east, false);
}

}  // namespace

namespace {

// The nutrient totals of the overland: numbered grids under the TOTAL_OV_N and TOTAL_OV_P
// folders.
TEST(MapOutputs, NutrientTotalsAsNumberedGrids) {
  pluvo_test::scratch_dir dir;
  std::filesystem::create_directories("tn");
  std::filesystem::create_directories("tp");
  pluvo_test::write_strip_grid();
  write_file("aq.txt", "AQUATIC_ENV_TVX10\nOV_MAP aq.idx\nNUM_IDS 1\nheading\n1\nDEFAULT\n");
  write_file("aq.idx", pluvo_test::strip_map("1"));
  write_file("n.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() +
                          "NUTRIENTS\nAQ_ENV aq.txt\nTOTAL_OV_N tn\nTOTAL_OV_P tp/\n");
  const pluvo_test::set_up_result r = pluvo_test::set_up_past_refusal("n.prj", [&](pluvo::model_state& m) {
    pluvo::open_dataset_outputs(m);
    for (int c = 1; c <= m.cell_count; c++) m.tvx_state->overland.total_N[c] = 0.25 * c;
    m.map_write_steps = 1;
    m.step_count = 1;
    pluvo::write_map_outputs(m);
  });
  ASSERT_FALSE(r.refused) << r.out;
  ASSERT_FALSE(r.stopped) << r.out;
  const std::string printed = r.out.substr(r.out.find("opening file"));
  EXPECT_EQ(printed, "opening file tn/Total_ov_N.0001.asc\nopening file tp/Total_ov_P.0001.asc\n");
  const std::string n = read_file("tn/Total_ov_N.0001.asc");
  EXPECT_EQ(n.substr(99), "0.2500 0.5000 0.7500 \n1.0000 1.2500 1.5000 \n");
  EXPECT_EQ(read_file("tp/Total_ov_P.0001.asc").substr(99), "0.0000 0.0000 0.0000 \n0.0000 0.0000 0.0000 \n");
}

}  // namespace
