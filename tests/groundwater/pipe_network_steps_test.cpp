// The time-loop phases of the pipe networks: the drain step's delivery onto a cell, the tile
// exchange with the aquifer, the node depth kept wet and the dormant network's wake-up.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "groundwater/groundwater_phases.hpp"
#include "superlink_fixture.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::scratch_dir;
using pluvo_test::superlink_model;
using pluvo_test::write_file;

// The clock of one network step of dt seconds ending now.
void due_now(model_state& m, double& last, double& next, double dt) {
  m.cur_julian = 2459000.5;
  m.time_tolerance = 0.01 / 86400.0;
  m.step_interval = dt / 86400.0;
  m.step_interval_s = dt;
  next = m.cur_julian;
  last = m.cur_julian - dt / 86400.0;
}

TEST(DrainStep, OverlandOutletPutsWhatItCollectsOnItsCell) {
  scratch_dir dir;
  auto m = superlink_model("SJUNC 1 10 9 1 0 1 1 0 0\nSJUNC 2 10 8 1 888 1 4 0 0\nCONNECT 1 1 2\nSLINK 1 1\n"
                           "NODE 1 10 9 0 0 1 1 0 0\nNODE 2 10 8 0 0 1 4 0 0\nPIPE 1 1 0.4 0 0.01 0.013 100 0 0 0\n");
  m->storm_sewer_on = 0;
  write_file("d.dr",
             "SJUNC 1 10.2 9.0 1 10 1 1 0 0\nSJUNC 2 10.0 8.5 1 888 1 3 0 0\nCONNECT 1 1 2\nSLINK 1 1\n"
             "NODE 1 10.2 9.0 0 0 1 1 0 0\nNODE 2 10.0 8.6 0 0 1 3 0 0\nPIPE 1 1 0.3 0 0.01 0.013 20 0 0 0\n");
  m->storm_drain_on = 1;
  m->storm_drain_name = "d.dr";
  pluvo::printed_by([&] {
    pluvo::setup_drain_network(*m);
    EXPECT_EQ(pluvo::check_drain_network(*m), 0);
  });
  ASSERT_EQ(m->drain_net->junctions, 2);
  due_now(*m, m->drain_last_time, m->drain_next_time, 30.0);
  m->drain_interval = 30.0 / 86400.0;
  m->ov_depth[1] = 0.6 / 100.0;  // the kind-10 inlet takes it all: 0.02 m3/s over 30 s
  pluvo::drain_network_step(*m);
  EXPECT_NEAR(m->drain_net->junc_Q[2], 0.02, 1e-8);
  EXPECT_DOUBLE_EQ(m->drain_net->junc_Q[1], 0.0);  // a plain junction passes its flow on
  EXPECT_NEAR(m->ov_depth[3] * 100.0, 0.6, 1e-12);  // 0.6 m3 on the 100 m2 cell
  EXPECT_DOUBLE_EQ(m->ov_depth[1], 0.0);
  EXPECT_NEAR(m->drain_to_ov_total, 0.6, 1e-12);
  EXPECT_NEAR(m->ov_to_drain_total, 0.6, 1e-12);
  EXPECT_EQ(m->ov_water_present, 1);  // the overland clock restarts
  EXPECT_NEAR(m->drain_next_time, m->cur_julian + 30.0 / 86400.0, 1e-9);
}

// One leaky pipe of 20 m under cells 1 and 2, draining to an outfall onto cell 3.
const char* leaky_network =
    "SJUNC 1 10.2 9.0 1.0 0 1 1 0 0\nSJUNC 2 10.0 8.5 1.0 888 1 3 0 0\nCONNECT 1 1 2\nSLINK 1 1\n"
    "NODE 1 10.2 9.0 0.0 0 1 1 0 0\nNODE 2 10.0 8.6 0.0 0 1 3 0 0\nPIPE 1 1 0.5 0 0.01 0.013 20 0.5 10 1\n";
const char* leaky_cells =
    "GRIDPIPEFILE\nPIPECELLS 2\nCELLIJ 1 1\nNUMPIPES 1\nSPIPE 1 1 0.5\nCELLIJ 1 2\nNUMPIPES 1\nSPIPE 1 1 0.5\n";

std::unique_ptr<model_state> leaky_sewer(double water_table) {
  auto m = superlink_model(leaky_network, 4, leaky_cells);
  m->water_table_on = 1;
  m->elevgw.assign(5, water_table);
  m->bottom_elev.assign(5, 5.0);
  m->superlink_running = 1;
  m->superlink_interval = 60.0 / 86400.0;
  due_now(*m, m->superlink_last_time, m->superlink_next_time, 60.0);
  return m;
}

TEST(TileDrainage, PipesTakeWhatTheAquiferLoses) {
  scratch_dir dir;
  auto m = leaky_sewer(9.5);
  ASSERT_EQ(m->leaky_pipes_on, 1);
  ASSERT_EQ(m->gpi_num_cells, 2);
  double held = 0.0;
  for (int i = 0; i < 20; ++i) {
    pluvo::printed_by([&] { pluvo::superlink_step(*m); });
    ASSERT_EQ(pluvo::error_state.error_code, 0);
    if (i == 0) held = m->superlink_initial_volume;
    m->cur_julian += 60.0 / 86400.0;
  }
  double sink = 0.0;
  for (int c = 1; c <= 4; ++c) sink += m->vol_tile_grid[size_t(c)];
  EXPECT_GT(sink, 0.0);
  EXPECT_DOUBLE_EQ(m->vol_tile_grid[3], 0.0);  // no pipe under cell 3
  EXPECT_NEAR(sink, m->gw_to_tile_total, 1e-12 * sink);
  // The aquifer's sink is what entered the pipes: the log's volume into the network.
  double entered = 0.0;
  std::istringstream log(pluvo_test::read_file("superlink_flows.out"));
  std::string line;
  std::getline(log, line);
  int call = 0;
  double v = 0.0;
  while (log >> call >> v) {
    entered += v;
    std::getline(log, line);
  }
  EXPECT_NEAR(entered, sink, 20 * 1e-8);  // the log keeps eight decimals
  EXPECT_GT(m->superlink_volume, held);
  EXPECT_NEAR(m->ov_depth[3] * 100.0, m->superlink_to_ov_total, 1e-12);
}

TEST(TileDrainage, NothingBelowThePipeWaterOrInAFrozenCell) {
  scratch_dir dir;
  {
    auto m = leaky_sewer(8.75);  // the pipe's water stands at 8.9 m under cell 1, 8.8 m under cell 2
    pluvo::printed_by([&] { pluvo::superlink_step(*m); });
    EXPECT_EQ(m->superlink_tile_active, 0);
    EXPECT_DOUBLE_EQ(m->gw_to_tile_total, 0.0);
  }
  {
    auto m = leaky_sewer(9.5);
    m->long_term_on = 1;
    m->cfgi_on = 1;
    m->cfgi_cell.assign(5, 90.0);
    pluvo::printed_by([&] { pluvo::superlink_step(*m); });
    EXPECT_DOUBLE_EQ(m->gw_to_tile_total, 0.0);
    m->cfgi_cell.assign(5, 80.0);  // thawed
    m->cur_julian += 60.0 / 86400.0;
    pluvo::printed_by([&] { pluvo::superlink_step(*m); });
    EXPECT_GT(m->gw_to_tile_total, 0.0);
  }
}

TEST(TileDrainage, PipeBelowTheAquiferBottomStopsTheRun) {
  scratch_dir dir;
  auto m = leaky_sewer(9.5);
  m->bottom_elev.assign(5, 9.0);
  const std::string said = pluvo::printed_by([&] { pluvo::superlink_step(*m); });
  EXPECT_EQ(pluvo::error_state.error_code, 131);
  EXPECT_NE(said.find("\n Node elevation must be above bottom of groundwater media: Link 1 Node 1 Comp Node 1"),
            std::string::npos)
      << said;
  pluvo::error_state = pluvo::error_state_record();
}

TEST(SuperlinkStep, KeepsNodesWetAndWakesForPondedInletWater) {
  scratch_dir dir;
  auto m = superlink_model("SJUNC 1 10.2 9.0 1.0 1 1 1 0.6 0.5\nSJUNC 2 10.0 8.5 1.0 888 1 3 0 0\nCONNECT 1 1 2\n"
                           "SLINK 1 1\nNODE 1 10.2 9.0 0 0 1 1 0 0\nNODE 2 10.0 8.6 0 0 1 3 0 0\n"
                           "PIPE 1 1 0.5 0 0.01 0.013 20 0 0 0\n");
  m->superlink_running = 1;
  m->superlink_interval = 60.0 / 86400.0;
  due_now(*m, m->superlink_last_time, m->superlink_next_time, 60.0);
  pluvo::printed_by([&] { pluvo::superlink_step(*m); });
  EXPECT_EQ(m->superlink_call_count, 1);
  // A quiet long-term period: the network falls dormant.
  m->long_term_on = 1;
  m->ov_water_present = 0;
  m->cur_julian = m->superlink_next_time;
  pluvo::printed_by([&] { pluvo::superlink_step(*m); });
  EXPECT_EQ(m->superlink_running, 0);
  // Rain ponds on the inlet's cell: the network runs again at once.
  m->cur_julian += 600.0 / 86400.0;
  m->ov_depth[1] = 0.01;
  pluvo::printed_by([&] { pluvo::superlink_step(*m); });
  EXPECT_EQ(m->superlink_call_count, 3);
  EXPECT_LT(m->ov_depth[1], 0.01);
  EXPECT_GT(m->ov_to_superlink_total, 0.0);
}

}  // namespace
