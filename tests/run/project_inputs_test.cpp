// Unusual but valid projects through the real reader: flow blockage, water on the ground at the
// start, the cell location outputs and the layered soil table without a soil type map.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "input/input_phases.hpp"
#include "input/table_fixture.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::number_after;
using pluvo_test::read_file;
using pluvo_test::run_strip_project;
using pluvo_test::scratch_dir;
using pluvo_test::table_row;
using pluvo_test::write_file;

// Two land classes: class 1 in the west column and the outlet cell, class 2 elsewhere.
void write_land_map() { write_file("land.idx", std::string(pluvo_test::strip_header()) + "1 2 1\n1 2 2\n"); }

std::vector<std::vector<double>> rows_of(const std::string& text) {
  std::vector<std::vector<double>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::vector<double> row;
    for (double v; fields >> v;) row.push_back(v);
    rows.push_back(row);
  }
  return rows;
}

// Blockage is accepted; its table reaches every cell, and every array a rain step reads is sized.
TEST(ProjectInputs, FlowBlockageReachesTheCells) {
  scratch_dir dir;
  write_land_map();
  pluvo_test::write_strip_grid();
  write_file("w.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP land.idx Land use\nOVR_FLOW_BLOCK Land use\nNUM_IDS 2\nid\n" +
                          table_row(1, "0.5 0.1 0.2 0.3 0.4") + table_row(2, "0 0 0 0 0"));
  write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() + "MAPPING_TABLE w.cmt\nOVR_FLOW_BLOCK\n");
  std::vector<double> blocked;
  std::vector<double> faces;
  const pluvo_test::set_up_result r = pluvo_test::set_up_past_refusal("w.prj", [&](pluvo::model_state& m) {
    blocked = m.ovr_flow_block_value1;
    for (int k = 1; k <= m.cell_count; ++k)
      for (int face = 1; face <= 4; ++face) faces.push_back(m.ovr_flow_block_frac[k][face]);
  });
  EXPECT_FALSE(r.refused);
  EXPECT_FALSE(r.stopped) << r.out;
  EXPECT_NE(r.out.find("reading overland blockage table and map from master table file\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(blocked, (std::vector<double>{0.0, 0.5, 0.0, 0.5, 0.5, 0.0, 0.0}));
  const std::vector<double> open = {0, 0, 0, 0};
  const std::vector<double> partly = {0.1, 0.2, 0.3, 0.4};
  std::vector<double> expected;
  for (const auto* cell : {&partly, &open, &partly, &partly, &open, &open})
    expected.insert(expected.end(), cell->begin(), cell->end());
  EXPECT_EQ(faces, expected);

  // Without its table the card leaves every cell open, sized for the rain step.
  write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() + "OVR_FLOW_BLOCK\n");
  blocked.clear();
  pluvo_test::set_up_past_refusal("w.prj", [&](pluvo::model_state& m) { blocked = m.ovr_flow_block_value1; });
  EXPECT_EQ(blocked, std::vector<double>(7, 0.0));
}

// Water standing on the ground when the run starts is part of the event's balance.
TEST(ProjectInputs, InitialWaterEntersTheEventBalance) {
  scratch_dir dir;
  write_file("init.dep", std::string(pluvo_test::strip_header()) + "0.01 0.02 0.01\n0.01 0.01 0.03\n");
  for (const std::string card : {"OV_INIT_DEPTH init.dep\n", "INIT_ELEV_HEAD 10.15\n"}) {
    const pluvo_test::project_result r = run_strip_project(card);
    EXPECT_FALSE(r.stopped) << r.out;
    const std::string summary = read_file("w.sum");
    const double error = number_after(summary, "mass conservation error:");
    EXPECT_LT(std::fabs(error), 1e-6) << card << summary;
  }
}

TEST(ProjectInputs, LocationOutputsWriteAValueForEveryListedCell) {
  scratch_dir dir;
  write_land_map();
  write_file("w.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP land.idx Soils\nGREEN_AMPT_INFILTRATION Soils\nNUM_IDS 2\nid\n" +
                          table_row(1, "0.36 10 0.5 0.25 0.03 0.35 0.15") +
                          table_row(2, "0.36 10 0.5 0.25 0.03 0.35 0.15") +
                          "GREEN_AMPT_INITIAL_SOIL_MOISTURE Soils\nNUM_IDS 2\nid\n" + table_row(1, "0.2") +
                          table_row(2, "0.3"));
  // The outlet cell, then the south-west cell; the soil moisture of the outlet cell (class 1) and
  // of its western neighbour (class 2).
  for (const char* name : {"d.loc", "s.loc", "c.loc"}) write_file(name, "2\n1 3\n2 1\n");
  write_file("t.loc", "2\n1 3\n1 2\n");
  const pluvo_test::project_result r = run_strip_project(
      "MAPPING_TABLE w.cmt\nGREEN_AMPT\nOVERLAND_DEPTHS d.out\nOVERLAND_DEPTH_LOCATION d.loc\n"
      "OVERLAND_WSE s.out\nOVERLAND_WSE_LOCATION s.loc\nIN_CELLDEPDIS_LOCATION c.loc\n"
      "OUT_CELLDEPDIS_LOCATION c.out\nIN_THETA_LOCATION t.loc\nOUT_THETA_LOCATION t.out\n");
  ASSERT_FALSE(r.stopped) << r.out;
  const auto depth = rows_of(read_file("d.out"));
  const auto wse = rows_of(read_file("s.out"));
  const auto cells = rows_of(read_file("c.out"));
  const auto theta = rows_of(read_file("t.out"));
  ASSERT_EQ(depth.size(), 7u);  // every 5 minutes of the half hour, from its start
  ASSERT_EQ(wse.size(), depth.size());
  ASSERT_EQ(cells.size(), depth.size());
  ASSERT_EQ(theta.size(), depth.size());
  double outlet_max = 0.0;
  for (size_t t = 0; t < depth.size(); ++t) {
    ASSERT_EQ(depth[t].size(), 3u);
    ASSERT_EQ(wse[t].size(), 3u);
    ASSERT_EQ(cells[t].size(), 5u);  // time, two depths, two discharges
    ASSERT_EQ(theta[t].size(), 3u);
    // The water surface is the ground plus the water on it, cell by cell.
    EXPECT_NEAR(wse[t][1] - depth[t][1], 10.0, 2e-6) << t;
    EXPECT_NEAR(wse[t][2] - depth[t][2], 10.2, 2e-6) << t;
    outlet_max = std::max(outlet_max, depth[t][1]);
    // Plain Green and Ampt keeps the surface at its class's initial moisture.
    EXPECT_DOUBLE_EQ(theta[t][1], 0.2) << t;
    EXPECT_DOUBLE_EQ(theta[t][2], 0.3) << t;
  }
  EXPECT_GT(outlet_max, 0.0);
  double outlet_discharge = 0.0;
  for (const auto& row : cells) outlet_discharge = std::max(outlet_discharge, row[3]);
  EXPECT_GT(outlet_discharge, 0.0);
}

TEST(ProjectInputs, ALocationListThatEndsEarlyStopsTheRun) {
  scratch_dir dir;
  write_file("d.loc", "3\n1 3\n2 1\n");
  const pluvo_test::project_result r =
      run_strip_project("OVERLAND_DEPTHS d.out\nOVERLAND_DEPTH_LOCATION d.loc\n");
  EXPECT_NE(r.out.find("End of file reached in file d.loc, exiting\n"), std::string::npos) << r.out;
  EXPECT_TRUE(r.stopped);
}

// The layered table stands in for a soil type map: the reader looks for no map file. (The
// layered scheme itself is refused until it is built, so this stops short of a run.)
TEST(ProjectInputs, ALayeredSoilTableNeedsNoSoilTypeMap) {
  scratch_dir dir;
  write_land_map();
  pluvo_test::write_strip_grid();
  write_file("w.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP land.idx Soils\nMULTI_LAYER_SOIL Soils\n");
  write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() + "MAPPING_TABLE w.cmt\nINF_LAYERED_SOIL\n");
  pluvo::error_state = pluvo::error_state_record();
  auto m = std::make_unique<pluvo::model_state>();
  const std::string out = pluvo::printed_by([&] {
    pluvo::read_run_parameters("w.prj", *m);
    pluvo::open_project_files(*m);
  });
  EXPECT_EQ(out.find("soil type"), std::string::npos) << out;
  EXPECT_EQ(pluvo::error_state.error_terminate, 0) << out;
  pluvo::free_model_state(m.get());
  pluvo::error_log_file = nullptr;
  pluvo::error_state = pluvo::error_state_record();
}

}  // namespace
