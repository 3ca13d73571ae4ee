// The files a run writes once at its end, byte for byte: the optimisation closing line, the
// maximum-depth map under its name or the fail-safe one, the channel hotstart read back by the
// next run, and the fractional sediment file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "channel/network_setup.hpp"
#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "output/series_files.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::read_file;

// A grid of two rows and three columns with four active cells, numbered row by row.
void give_grid(model_state& m) {
  m.cell_count = 4;
  m.cell_size = 10.0;
  m.grid_rows = 2, m.grid_cols = 3;
  m.grid_north = 30.0, m.grid_south = 10.0, m.grid_east = 30.0, m.grid_west = 0.0;
  m.cell_number_grid.resize(2, 3);
  m.cell_number_grid(1, 1) = 1, m.cell_number_grid(1, 2) = 2, m.cell_number_grid(2, 2) = 3;
  m.cell_number_grid(2, 3) = 4;
}

// The closing line: the next event's number and the run's outlet volume, in cubic feet with
// QOUT_CFS (35.32 per m3), or the wash load through the outlet in a sediment optimisation.
TEST(EndOfRunFiles, OptimisationClosingLine) {
  struct row {
    int cfs, sediment, channels;
    const char* text;
  } rows[] = {
      {0, 0, 0, "3   1234.500000"},
      {1, 0, 0, "3  43602.540000"},
      {0, 0, 1, "3     98.250000"},
      {0, 1, 1, "3      0.125000"},
  };
  for (const row& r : rows) {
    pluvo_test::scratch_dir dir;
    auto m = std::make_unique<model_state>();
    m->optimize_on = 1;
    m->optimize_sed_on = r.sediment;
    m->qout_cfs_on = r.cfs;
    m->chan_explic_on = r.channels;
    m->event_number = 2;
    m->total_discharge_volume = 1234.5;
    m->outlet_volume_total = 98.25;
    m->wash_out_total = 0.125;
    ASSERT_TRUE(pluvo::checked_file_open(m->optimize_output_fp, "w.opt", 'w'));
    pluvo::write_end_of_run_files(*m);
    EXPECT_FALSE(m->optimize_output_fp.is_open());
    EXPECT_EQ(read_file("w.opt"), r.text) << r.cfs << r.sediment << r.channels;
  }
}

// The largest overland depth of every cell as an ASCII grid; a name that cannot be opened leaves
// the map in the fail-safe file instead.
TEST(EndOfRunFiles, MaximumDepthMapAndItsFailSafeName) {
  const std::string map =
      "ncols \t3\nnrows \t2\nxllcenter      5.00\nyllcenter     15.00\ncellsize     10.00\nNODATA_value -9999.99\n"
      "0.1250 0.5000 -9999.9900 \n-9999.9900 0.0000 1.7500 \n";
  for (const char* name : {"max.asc", "no/such/folder/max.asc"}) {
    pluvo_test::scratch_dir dir;
    auto m = std::make_unique<model_state>();
    give_grid(*m);
    m->flood_grid_on = 1;
    m->map_type_zero_on = 1;
    m->flood_grid_file = name;
    m->max_flood_depth = {0.0, 0.125, 0.5, 0.0, 1.75};
    pluvo::write_end_of_run_files(*m);
    const bool failed = std::string(name) != "max.asc";
    EXPECT_EQ(read_file(failed ? "maxdep_failsafe.asc" : "max.asc"), map) << name;
    if (!failed) {
      EXPECT_EQ(read_file("maxdep_failsafe.asc"), "");
    }
  }
}

// Two channel links around a structure; with lakes on, link 3 as read had four nodes of which
// lake 1 has taken the last two.
void give_network(model_state& m, bool lake) {
  m.chan_explic_on = 1;
  m.nlinks = 3;
  m.chan_node_extent = 5;
  m.ltype = {0, 4, 64, 4};
  m.nx = {0, 3, 2, lake ? 2 : 4};
  for (auto* v : {&m.yp, &m.qp, &m.bel, &m.chan_depth, &m.area}) v->assign(20, 0.0);
  for (size_t k = 0; k < 20; ++k) m.bel[k] = 100.0 - 0.25 * double(k);
  if (!lake) return;
  m.lakes_on = 1;
  m.nlakes = 1;
  m.lake_elev = {0.0, 97.125};
  m.lake2link = {0, 0, 0, 1};
  m.og_nlinks = 3;
  m.og_lytpe = {0, 4, 64, 4};
  m.og_nx1 = {0, 3, 2, 4};
}

std::string hotstart_of(model_state& m, bool depth) {
  const char* name = depth ? "h.dht" : "h.qht";
  {
    pluvo::checked_file f;
    EXPECT_TRUE(pluvo::checked_file_open(f, name, 'w'));
    pluvo::write_channel_hotstart(m, depth ? f.stream : nullptr, depth ? nullptr : f.stream);
    pluvo::checked_file_close(f);
  }
  return read_file(name);
}

// One node a line, channel links only; a node a lake has taken carries the lake's stage and no
// discharge. The next run reads the surfaces back and would write the same file again.
TEST(EndOfRunFiles, ChannelHotstartReadBackByTheNextRunIsTheSame) {
  struct row {
    bool lake;
    const char* depth;
    const char* flow;
  } rows[] = {
      {false,
       "1 1 99.750000\n2 1 99.500000\n3 1 99.250000\n1 3 97.250000\n2 3 97.000000\n3 3 96.750000\n"
       "4 3 96.500000\n",
       "1 1 0.500000\n2 1 1.000000\n3 1 1.500000\n1 3 7.500000\n2 3 8.000000\n3 3 8.500000\n"
       "4 3 9.000000\n"},
      {true,
       "1 1 99.750000\n2 1 99.500000\n3 1 99.250000\n1 3 97.250000\n2 3 97.000000\n3 3 97.125000\n"
       "4 3 97.125000\n",
       "1 1 0.500000\n2 1 1.000000\n3 1 1.500000\n1 3 7.500000\n2 3 8.000000\n3 3 0.000000\n"
       "4 3 0.000000\n"},
  };
  for (const row& r : rows) {
    pluvo_test::scratch_dir dir;
    auto m = std::make_unique<model_state>();
    give_network(*m, r.lake);
    const size_t keys[] = {6, 7, 8, 16, 17, 18, 19};
    const double surfaces[] = {99.75, 99.5, 99.25, 97.25, 97.0, 96.75, 96.5};
    const double flows[] = {0.5, 1.0, 1.5, 7.5, 8.0, 8.5, 9.0};
    for (size_t i = 0; i < 7; ++i) m->yp[keys[i]] = surfaces[i], m->qp[keys[i]] = flows[i];
    const std::string depth = hotstart_of(*m, true);
    EXPECT_EQ(depth, r.depth) << r.lake;
    EXPECT_EQ(hotstart_of(*m, false), r.flow) << r.lake;

    // The next run starts from the network as read, before any lake takes a node.
    auto next = std::make_unique<model_state>();
    give_network(*next, false);
    next->read_chan_hotstart_on = 1;
    ASSERT_TRUE(pluvo::checked_file_open(next->chan_hotstart_depth_in, "h.dht", 'r'));
    pluvo::read_channel_hotstart(*next);
    pluvo::checked_file_close(next->chan_hotstart_depth_in);
    EXPECT_EQ(next->external_channel_inflow_on, 1);
    EXPECT_EQ(hotstart_of(*next, true), depth) << r.lake;
  }
}

// Appended at the end of each run: per size class one line of the class's suspended-sediment
// concentration at every node, links and nodes in order.
TEST(EndOfRunFiles, FractionalSedimentFileHasALinePerClass) {
  pluvo_test::scratch_dir dir;
  auto m = std::make_unique<model_state>();
  m->nlinks = 2;
  m->chan_node_extent = 4;
  m->nx = {0, 2, 1};
  m->soil_erosion_on = m->chan_sed_transport_on = m->fyssi_flag = 1;
  m->fyssi_file = "f.out";
  m->ov_sed = std::make_unique<pluvo::ov_sed_record>();
  m->ov_sed->num_sed_classes = 2;
  m->chan_sed_conc.assign(12 * 3, 0.0);
  m->chan_sed_conc[5 * 3 + 1] = 12.5, m->chan_sed_conc[5 * 3 + 2] = 0.25;
  m->chan_sed_conc[6 * 3 + 1] = 3.25, m->chan_sed_conc[9 * 3 + 2] = 100.0;
  pluvo::write_end_of_run_files(*m);
  pluvo::write_end_of_run_files(*m);
  const std::string run = " 12.50   3.25   0.00 \n  0.25   0.00 100.00 \n";
  EXPECT_EQ(read_file("f.out"), run + run);
}

// The groundwater hotstart, the adjusted elevations and the saturated sources are the state a
// later run needs: a map that cannot be written stops the run (code 4000) after its message, and
// the files after it in the order are not written.
TEST(EndOfRunFiles, AStateMapThatCannotBeWrittenStopsTheEndOfTheRun) {
  struct row {
    const char* blocked;
    const char* message;
  } rows[] = {
      {"hotstart_file", "Can't open gw hot start map for writing out hotstart info: hotstart_file\n"},
      {"elev.map", "Can't open adjusted elevation map for writing: elev.map\n"},
      {"satsource_file", "Can't open map for writing out sat. source info: satsource_file\n"},
  };
  const char* in_order[] = {"hotstart_file", "elev.map", "satsource_file"};
  for (const row& r : rows) {
    pluvo_test::scratch_dir dir;
    std::filesystem::create_directory(r.blocked);
    auto m = std::make_unique<model_state>();
    give_grid(*m);
    m->gw_simulation_on = 1;
    m->elevgw = {0.0, 1.0, 2.0, 3.0, 4.0};
    m->ov_sed = std::make_unique<pluvo::ov_sed_record>();
    m->ov_sed->adjust_elev_on = 1;
    m->ov_sed->adjust_elev_path = "elev.map";
    m->elevation = {0.0, 10.0, 20.0, 30.0, 40.0};
    m->exfil_cells_present = 1;
    m->yes_exfil = {0, 1, 0, 0, 1};
    m->write_ov_hotstart_flag = 1;
    m->write_ov_hotstart_file = "ov.hot";
    m->ov_depth.assign(5, 0.0);
    pluvo::error_state = pluvo::error_state_record();
    // After the file service's own line on the failed open, the message and the reporter's newline.
    const std::string printed = pluvo::printed_by([&] { pluvo::write_end_of_run_files(*m); });
    const std::string tail = std::string(r.message) + "\n";
    ASSERT_GE(printed.size(), tail.size()) << printed;
    EXPECT_EQ(printed.substr(printed.size() - tail.size()), tail) << r.blocked;
    EXPECT_EQ(pluvo::error_state.error_terminate, 1) << r.blocked;
    pluvo::error_state = pluvo::error_state_record();
    // The maps before the blocked one are written, none after it.
    bool before = true;
    for (const char* name : in_order) {
      if (std::string(name) == r.blocked) {
        before = false;
        continue;
      }
      EXPECT_EQ(std::filesystem::is_regular_file(name), before) << r.blocked << " " << name;
    }
    EXPECT_FALSE(std::filesystem::exists("ov.hot")) << r.blocked;
  }
}

}  // namespace
