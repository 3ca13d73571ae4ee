#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "input/table_fixture.hpp"
#include "run/driver.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::number_after;
using pluvo_test::write_file;

// What the record held once the run's last event was closed.
struct lake_state_seen {
  int lake_cells = 0;
  double level = 0.0;
  double level_volume = 0.0;
  double surface_final = 0.0;
  double bmp_storage = 0.0;
  double lake_cell_depth = 0.0;  // m, summed over the lake's cells
  double added = 0.0, drained = 0.0, initial = 0.0;
};

// The 2 x 3 strip reshaped into a hollow of two cells at its bottom-left, a pond in the lower
// of them and a unit on the bottom-right cell, under the storm of the strip: the rain raises the
// pond over the other cell of the hollow, and the unit takes and gives back water.
TEST(LakesAndBmpsProject, AStormRunsWithAPondAndAUnit) {
  pluvo_test::scratch_dir dir;
  const std::string head = pluvo_test::strip_header();
  write_file("lake.map", head + "0 0 0\n1 0 0\n");
  write_file("lake.txt", "PLUVO_OVERLAND_LAKE_FILE\nLAKE 1 10.095 1.0\n");
  write_file("bmp.idx", head + "2 2 2\n2 2 1\n");
  // Type, inflow and outflow rules, area m2, outlet mm, seepage cm/h, the rules' parameters,
  // soil depth cm, trapping.
  write_file("w.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP bmp.idx Units\nBMPS Units\nNUM_IDS 2\nNUM_CON 0\nheader\n" +
                          pluvo_test::table_row(1, "1 1 1 20 2 0 50 10 0 0") +
                          pluvo_test::table_row(2, "0 0 0 0 0 0 0 0 0 0", "none"));
  lake_state_seen seen;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (std::string(phase) != "write_run_summary") return;
    const double area = m.cell_size * m.cell_size;
    seen = {};
    seen.level = m.overland_lake_records[1].wse;
    for (int c = 1; c <= m.cell_count; c++)
      if (m.oland_lake_new[size_t(c)] == 1) {
        seen.lake_cells++;
        seen.level_volume += (seen.level - m.elevation[size_t(c)]) * area;
        seen.lake_cell_depth += m.ov_depth[size_t(c)];
      }
    seen.surface_final = m.surface_volume_final;
    seen.bmp_storage = m.BMP.storage[1];
    seen.added = m.olake_added_volume;
    seen.drained = m.olake_drained_volume;
    seen.initial = m.olake_volume_initial;
  });
  const pluvo_test::project_result r = pluvo_test::run_strip_project(
      "OVERLAND_LAKE_MAP lake.map\nOVERLAND_LAKE_FILE lake.txt\nMAPPING_TABLE w.cmt\nOV_BMP\n",
      [&] { write_file("w.ele", head + "10.3 10.2 10.0\n10.08 10.1 10.3\n"); });
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_NE(r.out.find("1   Elev: 10.10   Volume: 1.00\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Reading BMP properties table from mapping table file\n"), std::string::npos);

  EXPECT_NEAR(seen.initial, 1.5, 1e-9);  // 0.015 m over one 100 m2 cell, whatever the file says
  EXPECT_EQ(seen.lake_cells, 2);          // the pond took in the other cell of the hollow
  EXPECT_NEAR(seen.level_volume, seen.initial + seen.added - seen.drained, 1e-9);
  EXPECT_GE(seen.surface_final, seen.level_volume - 1e-9);  // the surface counts the pond's water
  EXPECT_EQ(seen.lake_cell_depth, 0.0);  // rain on the pond is the pond's, not its cells' too

  const std::string sum = pluvo_test::read_file("w.sum");
  EXPECT_NEAR(number_after(sum, "Final volume on surface=                        "), seen.surface_final, 0.01);
  EXPECT_NEAR(number_after(sum, "Final volume in overland lakes=                 "), seen.level_volume, 0.01);
  EXPECT_NEAR(number_after(sum, "Overland lake mass bal error m^3:               "), 0.0, 0.005);
  const double to_units = number_after(sum, "Volume from overland to BMPs:                   ");
  const double rain_to_units = number_after(sum, "Volume of precipitation to BMPs:                ");
  const double from_units = number_after(sum, "Volume from BMPS to overland:                   ");
  EXPECT_GT(to_units, 0.0) << sum;
  EXPECT_NEAR(rain_to_units, 20.0 * 0.006, 0.005);  // 6 mm on the unit's 20 m2
  EXPECT_GT(from_units, 0.0);
  EXPECT_NEAR(rain_to_units + to_units - from_units, seen.bmp_storage, 0.01);
  EXPECT_EQ(number_after(sum, "Volume from BMPS to groundwater:                "), 0.0) << sum;
  EXPECT_NEAR(number_after(sum, "Overall mass balance error =                        "), 0.0, 1e-4) << sum;
}

}  // namespace
