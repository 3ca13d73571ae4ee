// Channel and lake constituents of whole projects read through the real project reader: streams
// that exchange with the aquifer, rain on a channel lake, and the demo basin's storm carrying the
// overland mass through its stream network. In each, the channel and lake balance closes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "channel/strip_channel.hpp"
#include "contaminant_fixture.hpp"
#include "groundwater/aquifer_strip.hpp"
#include "run/driver.hpp"
#include "run/whole_project.hpp"

namespace {
using pluvo::model_state;
using pluvo_test::write_file;

// The terms of constituent 1 (kg) of the run or of its last event, with channels and lakes
// together: what the two exchange between them cancels.
struct mass_books {
  double initial = 0.0, point = 0.0, ov = 0.0, gw = 0.0, precip = 0.0, gains = 0.0;
  double final_mass = 0.0, out = 0.0, decay = 0.0, losses = 0.0;
  double in() const { return initial + point + ov + gw + precip + gains; }
  double kept() const { return final_mass + out + decay + losses; }
};

double held_mass(const model_state& m) {
  double held = 0.0;
  for (int l = 1; l <= m.nlinks; ++l) {
    if (m.ltype[size_t(l)] & (32 | 64)) continue;
    for (int n = 1; n <= m.nx[size_t(l)]; ++n) held += m.chan_node_mass.rows[1][l * m.chan_node_extent + n] / 1000.0;
  }
  for (int lake = 1; m.lakes_on && lake <= m.nlakes; ++lake) held += m.lake_con_mass.rows[1][lake] / 1000.0;
  return held;
}

mass_books books_of(const model_state& m, const pluvo::output_state::constituent_terms& t) {
  mass_books b;
  b.initial = t.chan_initial + t.lake_initial;
  b.point = t.chan_point + t.lake_point;
  b.ov = t.chan_from_ov + t.lake_from_ov;
  b.gw = t.chan_gw + t.lake_gw;
  b.precip = t.lake_precip;
  b.gains = t.chan_tvx_gain;
  b.final_mass = held_mass(m);
  b.out = t.chan_out;
  b.decay = t.chan_decay + t.lake_decay;
  b.losses = t.chan_tvx_loss;
  return b;
}

struct exchange_run {
  mass_books run, event;
  double lost_volume = 0.0;     // m3 the streams handed to the aquifer, by grid-stream entry
  double gained_volume = 0.0;   // m3 they took from it
  double river_to_gw = 0.0;     // m3 the groundwater step booked from the streams
  double precip_to_lakes = 0.0; // m3 of rain on the channel lakes
  double ov_handed = 0.0;       // kg the overland step booked as lateral flow to the streams
  double ov_pending = 0.0;      // kg handed to the nodes and not yet taken by the channel step
  int updates = 0;
};

// Runs the project of the cards, watching the channel water-quality updates and, at the run
// summary, the books of constituent 1.
exchange_run run_books(const std::string& cards, int threads = 1) {
  exchange_run x;
  pluvo::set_phase_observer([&](const char* phase, int, model_state& m) {
    if (std::strcmp(phase, "step_channel_lake_water_quality") == 0 &&
        std::fabs(m.chan_wq_next_time - m.cur_julian) < m.time_tolerance) {
      ++x.updates;
      for (const auto& cell : m.gst_qriv_vol)
        for (const double v : cell) (v < 0.0 ? x.lost_volume : x.gained_volume) += std::fabs(v);
    }
    if (std::strcmp(phase, "write_run_summary") != 0 || m.num_constituents < 1) return;
    x.run = books_of(m, m.run_constituent_terms[1]);
    x.event = books_of(m, m.event_constituent_terms[1]);
    // The run's starting mass is what the channel set-up found in the nodes and lakes.
    x.run.initial = m.chan_con_mass_initial[1] + (m.lakes_on ? m.lake_con_mass_initial[1] : 0.0);
    x.river_to_gw = m.river_to_gw_total;
    x.precip_to_lakes = m.precip_to_lake_total;
    x.ov_handed = m.OV_QLAT_MASS[1];
    if (m.chan_qlat_mass.rows() >= 1)
      for (int p = 0; p <= m.chan_qlat_mass.cols(); ++p) x.ov_pending += m.chan_qlat_mass[1][p] / 1000.0;
  });
  const pluvo_test::project_result r = pluvo_test::run_project_cards(cards, threads);
  pluvo::set_phase_observer(nullptr);
  EXPECT_FALSE(r.stopped) << r.out;
  return x;
}

// One contaminant of the strip, rain at rain_conc, channels starting at chan_conc.
std::string strip_contaminant(double rain_conc, double chan_conc) {
  write_file("c.idx", pluvo_test::strip_map("1"));
  write_file("c.cmt", pluvo_test::contaminant_table(rain_conc, {"0 0 0 0 0 0 0 0"}));
  char cards[128];
  std::snprintf(cards, sizeof cards, "MAPPING_TABLE c.cmt\nOV_CON_TRANS\nCHAN_CON_TRANS\nINIT_CHAN_CONC %g\n", chan_conc);
  return cards;
}

void expect_closed(const mass_books& b, const char* what) {
  EXPECT_NEAR(b.in(), b.kept(), 1e-12 * b.in()) << what;
}

// A point input of 10 g/m3 feeds the upper reach, which loses to the aquifer; the outlet reach
// gains clean groundwater; the rain is clean. The water each entry exchanged carries the node's
// mass out and nothing in, and the balance with its groundwater term closes.
TEST(ChannelExchangeRun, StreamsThatLoseAndGainOverTheAquiferKeepTheChannelBalance) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_strip_grid();
  write_file("p.dat", "NUMPT 1\nPOINT 1 1 0.01 10\nNRPDS 1\nINPUT 2020 6 1 10 20\n0.01\n 10\n");
  const std::string cards = pluvo_test::strip_cards() + pluvo_test::write_aquifer_strip() +
                            strip_contaminant(0.0, 0.0) + "CHAN_POINT_INPUT p.dat\n";
  const exchange_run x = run_books(cards);
  ASSERT_GT(x.updates, 10);
  ASSERT_GT(x.run.point, 0.0);
  // The entries' volumes are the water the groundwater step books, up to the steps after its last.
  ASSERT_GT(x.river_to_gw, 0.0);
  EXPECT_NEAR(x.lost_volume, x.river_to_gw, 0.05 * x.river_to_gw);
  EXPECT_GT(x.gained_volume, 0.0);
  // Mass leaves with the lost water at no more than the point input's concentration.
  EXPECT_LT(x.run.gw, 0.0);
  EXPECT_LE(-x.run.gw * 1000.0, 10.0 * x.lost_volume * (1 + 1e-12));
  expect_closed(x.run, "run");
  expect_closed(x.event, "event");
  EXPECT_DOUBLE_EQ(x.event.gw, x.run.gw);
}

// Rain at 5 g/m3 on the strip whose lake holds one cell and starts at 3 g/m3: the lake gains
// exactly the rain volume it took times the rain's concentration, and the channel and lake
// balance closes for the run and for its event, which starts from the run's starting mass.
TEST(ChannelExchangeRun, RainOnAChannelLakeBringsItsLoad) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_strip_grid();
  write_file("c.chn", pluvo_test::strip_lake_network);
  write_file("c.stm", pluvo_test::strip_lake_stream);
  const std::string cards = pluvo_test::strip_cards() + "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\n" +
                            strip_contaminant(5.0, 3.0);
  const exchange_run x = run_books(cards);
  ASSERT_GT(x.updates, 10);
  ASSERT_GT(x.run.initial, 0.0);
  EXPECT_DOUBLE_EQ(x.event.initial, x.run.initial);
  // Ten minutes of 36 mm/h on the lake's 100 m2.
  EXPECT_NEAR(x.precip_to_lakes, 0.6, 1e-9);
  EXPECT_NEAR(x.run.precip * 1000.0, 5.0 * x.precip_to_lakes, 1e-12 * 3.0);
  EXPECT_GT(x.run.ov, 0.0);
  expect_closed(x.run, "run");
  expect_closed(x.event, "event");
}

// The demo basin's storm at 2 g/m3 over its 40 stream links: the mass the overland step hands to
// the stream nodes is the mass the channels book from overland, it travels to the outlet, and the
// channel balance of the event closes; the same on 1 and 4 threads.
TEST(ChannelExchangeRun, DemoBasinStormCarriesTheOverlandMassToTheOutlet) {
  exchange_run runs[2];
  for (const int threads : {1, 4}) {
    pluvo_test::scratch_dir dir;
    pluvo_test::copy_demo_project("TOT_TIME 150");
    write_file("c.idx", pluvo_test::read_file(std::string(PLUVO_TEST_DATA) + "/../examples/demo/luxa.msk"));
    write_file("c.cmt", pluvo_test::contaminant_table(2.0, {"0 0 0 0 0 0 0 0"}));
    std::string project = pluvo_test::read_file("demo.prj");
    project.replace(project.find("DEPTH out\n"), 10, "");
    write_file("demo.prj", project + "MAPPING_TABLE c.cmt\nOV_CON_TRANS\nCHAN_CON_TRANS\n");
    exchange_run& x = runs[threads == 1 ? 0 : 1];
    x = run_books(pluvo_test::read_file("demo.prj").substr(std::strlen("PLUVOPROJECT\n")), threads);
    ASSERT_GT(x.updates, 10);
    ASSERT_GT(x.run.ov, 0.0);
    EXPECT_NEAR(x.run.ov + x.ov_pending, x.ov_handed, 1e-12 * x.ov_handed);
    EXPECT_GT(x.run.out, 0.1 * x.run.ov);
    EXPECT_EQ(x.run.point, 0.0);
    expect_closed(x.run, "run");
    expect_closed(x.event, "event");
  }
  EXPECT_EQ(runs[0].run.out, runs[1].run.out);
  EXPECT_EQ(runs[0].run.final_mass, runs[1].run.final_mass);
}

}  // namespace
