// Channel constituents of a whole project read through the real project reader: a point input of
// the channel point-input file carries a contaminant down the strip's two links to the outlet,
// and the channel balance closes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "channel/strip_channel.hpp"
#include "contaminant_fixture.hpp"
#include "common/printed.hpp"
#include "run/driver.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::read_file;
using pluvo_test::write_file;

struct channel_books {
  double initial = 0.0, final_mass = 0.0, point = 0.0, ov = 0.0, gw = 0.0, out = 0.0, decay = 0.0;
  double point_volume = 0.0;   // m3 of point inflow the channel phase booked
  double event_point = 0.0, event_out = 0.0, event_initial = 0.0;
  int updates = 0;
  double outlet_conc = 0.0;
  double ov_handed = 0.0;    // kg the overland step booked as lateral flow to the streams
  double ov_pending = 0.0;   // kg handed to the nodes and not yet taken by the channel step
  double event_ov = 0.0;
};

// The strip with channels, one contaminant carried from the point input at node 2 of link 1 (0.5
// m3/s at `conc`, then 0.2 m3/s at twice that from 10:10). The overland transport of the
// contaminant is not built: the observer lifts its refusal so that the run sizes the constituent,
// and nothing reaches the streams from the grid.
// With rain_conc > 0 the rain carries the contaminant at that concentration (g/m3) onto the grid
// and the overland transport hands it to the stream nodes.
channel_books run_point_project(double conc, const std::string& extra_cards = "", double rain_conc = 0.0) {
  pluvo_test::write_strip_grid();
  // The outlet link needs two computational nodes: it gets a third end node.
  std::string network = pluvo_test::strip_network;
  const std::string outlet_link = "LINK 2\nTRAPEZOID\nDX 10\nNODES 2\n";
  network.replace(network.find(outlet_link), outlet_link.size(), "LINK 2\nTRAPEZOID\nDX 10\nNODES 3\n");
  write_file("c.chn", network + "NODE 3\nELEV 9.6\n");
  write_file("c.stm", pluvo_test::strip_stream);
  char records[256];
  std::snprintf(records, sizeof records,
                "NUMPT 1\nPOINT 2 1 0.5 %g\nNRPDS 1\nINPUT 2020 6 1 10 10\n0.2\n %g\n", conc, 2.0 * conc);
  write_file("p.dat", records);
  std::string load_cards;
  if (rain_conc > 0.0) {
    write_file("c.idx", pluvo_test::strip_map("1"));
    write_file("c.cmt", pluvo_test::contaminant_table(rain_conc, {"0 0 0 0 0 0 0 0"}));
    load_cards = "MAPPING_TABLE c.cmt\n";
  }
  const std::string cards = pluvo_test::strip_cards() +
                            "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\nCHAN_POINT_INPUT p.dat\n"
                            "OV_CON_TRANS\nCHAN_CON_TRANS\n" + load_cards + extra_cards;
  channel_books b;
  pluvo::set_phase_observer([&](const char* phase, int, model_state& m) {
    if (rain_conc <= 0.0 && std::strcmp(phase, "validate_project_options") == 0) m.ov_con_trans = 0;
    if (std::strcmp(phase, "step_channel_lake_water_quality") == 0 &&
        std::fabs(m.chan_wq_next_time - m.cur_julian) < m.time_tolerance)
      ++b.updates;
    if (std::strcmp(phase, "write_run_summary") != 0 || m.num_constituents < 1) return;
    const auto& run = m.run_constituent_terms[1];
    const auto& ev = m.event_constituent_terms[1];
    b.initial = m.chan_con_mass_initial[1];
    b.point = run.chan_point;
    b.ov = run.chan_from_ov;
    b.gw = run.chan_gw;
    b.out = run.chan_out;
    b.decay = run.chan_decay;
    b.event_point = ev.chan_point;
    b.event_out = ev.chan_out;
    b.event_initial = ev.chan_initial;
    for (int l = 1; l <= m.nlinks; ++l)
      for (int n = 1; n <= m.nx[size_t(l)]; ++n) b.final_mass += m.chan_node_mass.rows[1][l * m.chan_node_extent + n] / 1000.0;
    b.point_volume = m.chan_point_total;
    b.ov_handed = m.OV_QLAT_MASS[1];
    b.event_ov = ev.chan_from_ov;
    if (m.chan_qlat_mass.rows() >= 1)
      for (int p = 0; p <= m.chan_qlat_mass.cols(); ++p) b.ov_pending += m.chan_qlat_mass[1][p] / 1000.0;
    b.outlet_conc = m.chan_node_conc.rows[1][m.nlinks * m.chan_node_extent + m.nx[size_t(m.nlinks)]];
  });
  const pluvo_test::project_result r = pluvo_test::run_project_cards(cards, 1);
  pluvo::set_phase_observer(nullptr);
  EXPECT_FALSE(r.stopped) << r.out;
  return b;
}

TEST(ChannelQualityRun, PointInputMassTravelsToTheOutletAndTheBalanceCloses) {
  pluvo_test::scratch_dir dir;
  const channel_books b = run_point_project(10.0);
  ASSERT_GT(b.updates, 10);
  // 0.5 m3/s for ten minutes and 0.2 m3/s for twenty, at 10 and 20 g/m3.
  EXPECT_NEAR(b.point_volume, 0.5 * 600 + 0.2 * 1200, 1e-7 * 540);
  EXPECT_NEAR(b.point * 1000.0, 10.0 * 0.5 * 600 + 20.0 * 0.2 * 1200, 1e-7 * 7800);
  EXPECT_GT(b.out, 0.5 * b.point);
  const double in = b.initial + b.point + b.ov + b.gw;
  EXPECT_NEAR(in, b.final_mass + b.out + b.decay, 1e-12 * in);
  // One event: its figures are the run's.
  EXPECT_DOUBLE_EQ(b.event_point, b.point);
  EXPECT_DOUBLE_EQ(b.event_out, b.out);
  EXPECT_EQ(b.event_initial, 0.0);
  // By the end the outlet water is near the second record's mix: the point input is most of it.
  EXPECT_GT(b.outlet_conc, 10.0);
  EXPECT_LT(b.outlet_conc, 20.0 + 1e-9);
  const std::string summary = read_file("w.sum");
  EXPECT_NE(summary.find("Channel Contaminant Transport Summary for Contaminant     1 \n"), std::string::npos);
  char line[128];
  std::snprintf(line, sizeof line, "Point source mass gain        %14.2lf \n", b.point);
  EXPECT_NE(summary.find(line), std::string::npos) << summary;
  std::snprintf(line, sizeof line, "Dissolved mass balance error       %14.4lf percent \n", 0.0);
  EXPECT_NE(summary.find(line), std::string::npos) << summary;
}

// Rain at 5 g/m3 on the grid and clean point water: the mass the overland step hands to the stream
// nodes is the mass the channel books from overland (once the last handed share is taken), most of
// it reaches the outlet, and the channel balance closes.
TEST(ChannelQualityRun, OverlandMassHandedToTheNodesTravelsToTheOutlet) {
  pluvo_test::scratch_dir dir;
  const channel_books b = run_point_project(0.0, "", 5.0);
  ASSERT_GT(b.updates, 10);
  ASSERT_GT(b.ov, 0.0);
  EXPECT_NEAR(b.ov + b.ov_pending, b.ov_handed, 1e-12 * b.ov_handed);
  EXPECT_DOUBLE_EQ(b.event_ov, b.ov);
  // Ten minutes of 36 mm/h on 600 m2 at 5 g/m3 is 18 g; the grid keeps a little of it.
  EXPECT_GT(b.ov_handed, 0.5 * 0.018);
  EXPECT_LE(b.ov_handed, 0.018 * (1 + 1e-12));
  EXPECT_EQ(b.point, 0.0);
  EXPECT_GT(b.out, 0.5 * b.ov);
  const double in = b.initial + b.point + b.ov + b.gw;
  EXPECT_NEAR(in, b.final_mass + b.out + b.decay, 1e-12 * in);
}

// A second run in the same process books the same figures: nothing of the first run stays.
TEST(ChannelQualityRun, ASecondRunRepeatsTheFirst) {
  pluvo_test::scratch_dir dir;
  const channel_books first = run_point_project(4.0);
  const channel_books second = run_point_project(4.0);
  EXPECT_EQ(first.point, second.point);
  EXPECT_EQ(first.out, second.out);
  EXPECT_EQ(first.final_mass, second.final_mass);
  EXPECT_EQ(first.updates, second.updates);
}

}  // namespace
