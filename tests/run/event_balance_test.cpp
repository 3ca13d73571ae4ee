// Every event of a long run closes its own water balance: whole long-term projects of three
// storms, each a combination of processes that users run, through the real project reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "channel/strip_channel.hpp"
#include "groundwater/aquifer_strip.hpp"
#include "quality/contaminant_fixture.hpp"
#include "quality/erosion_fixture.hpp"
#include "output/run_summary.hpp"
#include "output/transport_summary.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"
#include "soil/long_term_project.hpp"

namespace {

using pluvo_test::write_file;

using pluvo_test::numbers_after;

double sum_of(const std::vector<double>& v) {
  double s = 0.0;
  for (double x : v) s += x;
  return s;
}

std::string channel_cards(const std::string& network, const char* stream) {
  write_file("c.chn", network);
  write_file("c.stm", stream);
  return "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\n";
}

struct row {
  const char* name;
  std::string (*cards)();
  bool sediment;
  bool snow = false;
};

// A long run needs a soil: this one takes hardly any water, so the storms run off the land.
std::string tight_soil() {
  const std::string cards = pluvo_test::redistribution_soil("0.25");
  write_file("k.map", pluvo_test::strip_map("0.001"));
  return cards;
}
std::string overland_only() { return tight_soil(); }
std::string with_channels() {
  return tight_soil() + channel_cards(pluvo_test::routed_strip_network(), pluvo_test::strip_stream);
}
std::string with_lake() {
  return tight_soil() + channel_cards(pluvo_test::strip_lake_network, pluvo_test::strip_lake_stream);
}
std::string with_redistribution() {
  return pluvo_test::redistribution_soil("0.25") + "SOIL_MOIST_DEPTH 0.6\nTOP_LAYER_DEPTH 0.2\n";
}
std::string with_aquifer() { return pluvo_test::write_aquifer_strip(); }
std::string with_layered_soil() { return pluvo_test::two_layered_soils(); }
std::string with_richards() { return pluvo_test::richards_soil(); }
std::string with_sacramento() {
  return pluvo_test::redistribution_soil("0.25") + "SOIL_MOIST_DEPTH 0.6\nTOP_LAYER_DEPTH 0.2\n" +
         pluvo_test::sacramento_soil();
}
std::string with_erosion() {
  write_file("land.idx", pluvo_test::strip_map("1"));
  write_file("e.cmt", pluvo_test::erosion_mapping_table());
  return with_channels() + "MAPPING_TABLE e.cmt\nSOIL_EROSION 1\nOUTLET_SED_FLUX e.sed\nSAND_SIZE 0.062\nWATER_TEMP 20\n";
}

// The snow of the NWSRFS melt model, on the tight soil.
std::string snow_cards() {
  return tight_soil() + "NWSRFS_SNOW\nNWSRFS_MF_MAX 1.2\nNWSRFS_MF_MIN 1.2\nSNOW_PXTEMP 0.5\n";
}
// The second storm falls as snow on a freezing 2 June; the third rains on the pack as it melts.
std::string with_snowfall_between_storms() {
  std::istringstream weather(pluvo_test::june_weather(4));
  std::string text, line;
  while (std::getline(weather, line)) {
    std::istringstream fields(line);
    std::vector<std::string> f((std::istream_iterator<std::string>(fields)), std::istream_iterator<std::string>());
    if (f[1] == "6" && f[2] == "2") f[8] = "20";  // deg F
    for (const std::string& x : f) text += x + " ";
    text += "\n";
  }
  write_file("met.kal", text);
  return snow_cards();
}
// A run that starts under 20 cm of snow water, which melts through the three storms.
std::string with_initial_snow() { return snow_cards() + "INIT_SWE_DEPTH 0.2\n"; }

// The discharge of each event and the channel sediment books of each event at its end, and the
// run's, read from the record at full precision (the summary prints them to 0.1 and 1e-8 m3).
struct event_books {
  struct event {
    double start_held, in, out, end_held;
  };
  std::vector<event> events;
  double run_in = 0.0, run_out = 0.0, run_held = 0.0;
  std::vector<double> discharge;  // each event's, m3
  double run_discharge = 0.0;
  int done = 0;

  void watch(bool sediment) {
    pluvo::set_phase_observer([this, sediment](const char* phase, int, pluvo::model_state& m) {
      if (m.events_done != done && std::string(phase) == "compute_nutrient_totals") {
        done = m.events_done;
        discharge.push_back(m.event_discharge_volume);
      }
      run_discharge = pluvo::run_discharge_volume(m);
      if (!sediment) return;
      if (m.events_done > int(events.size()) && std::string(phase) == "compute_nutrient_totals") {
        events.push_back({m.event_start_sand + m.event_start_wash, m.event_sand_to_chan + m.event_sed_to_chan[0],
                          m.event_sand_out + m.event_wash_out,
                          pluvo::channel_sand_volume(m) + pluvo::channel_wash_volume(m)});
      }
      run_in = m.sand_to_chan_total + (m.ov_to_chan_sed_total.empty() ? 0.0 : m.ov_to_chan_sed_total[0]);
      run_out = m.sand_out_total + m.wash_out_total;
      run_held = pluvo::channel_sand_volume(m) + pluvo::channel_wash_volume(m);
    });
  }
};

// The sediment the channels hold at an event's end and no longer hold at the next event's start
// left through the outlet between the events: booked to the run, in no event.
void expect_sediment_books_add_up(const event_books& b) {
  ASSERT_EQ(b.events.size(), 3u);
  double in = 0.0, out = 0.0;
  for (size_t e = 0; e < b.events.size(); ++e) {
    const auto& v = b.events[e];
    EXPECT_GT(v.in, 0.0) << e;
    EXPECT_NEAR(v.start_held + v.in, v.out + v.end_held, 1e-6 * v.in) << e;
    in += v.in;
    out += v.out;
    if (e + 1 < b.events.size()) out += v.end_held - b.events[e + 1].start_held;
  }
  EXPECT_NEAR(in, b.run_in, 1e-6 * b.run_in);
  EXPECT_NEAR(out, b.run_out, 1e-6 * b.run_in);
  EXPECT_NEAR(b.events.back().end_held, b.run_held, 1e-6 * b.run_in);
}

TEST(EventBalance, EveryEventOfThreeStormsClosesItsBooks) {
  const row rows[] = {
      {"overland only", overland_only, false},
      {"channels", with_channels, false},
      {"channels and a lake", with_lake, false},
      {"INF_REDIST", with_redistribution, false},
      {"layered soil", with_layered_soil, false},
      {"INF_RICHARDS", with_richards, false},
      {"SACRAMENTO", with_sacramento, false},
      {"groundwater and stream-aquifer exchange", with_aquifer, false},
      {"erosion and channel sediment", with_erosion, true},
      {"snowfall between storms", with_snowfall_between_storms, false, true},
      {"INIT_SWE_DEPTH", with_initial_snow, false, true},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    pluvo_test::scratch_dir dir;
    pluvo_test::write_long_term_inputs(4);
    write_file("storms.gag", pluvo_test::three_storms());
    event_books books;
    books.watch(r.sediment);
    const auto run = pluvo_test::run_strip_cards(pluvo_test::long_term_cards(r.cards()));
    pluvo::set_phase_observer(nullptr);
    ASSERT_FALSE(run.stopped) << run.out;
    const std::string sum = pluvo_test::read_file("w.sum");
    const auto errors = numbers_after(sum, "mass conservation error:");
    ASSERT_EQ(errors.size(), 3u) << r.name;
    for (double e : errors) EXPECT_NEAR(e, 0.0, 1e-6) << r.name;
    EXPECT_NEAR(pluvo_test::number_after(sum, "Overall mass balance error ="), 0.0, 1e-6) << r.name << "\n" << sum;
    // The Richards columns' own books close in every event too (printed to 1e-4 %).
    for (double e : numbers_after(sum, "Richard equation mass balance error")) EXPECT_NEAR(e, 0.0, 1e-4) << r.name;
    // Each event's figures are its own: printed to 0.1 m3, three events add up to the run's.
    // The summary names no map the project did not ask for.
    EXPECT_EQ(sum.find("maps were"), std::string::npos) << r.name;
    EXPECT_EQ(sum.find("maps of:"), std::string::npos) << r.name;
    // What drains between events, from the streams and lakes too, is the next event's discharge.
    ASSERT_EQ(books.discharge.size(), 3u);
    EXPECT_GT(books.run_discharge, 30.0) << r.name;
    EXPECT_NEAR(sum_of(books.discharge), books.run_discharge, 1e-9 * books.run_discharge) << r.name;
    EXPECT_NEAR(sum_of(numbers_after(sum, "volume of discharge:")),
                pluvo_test::number_after(sum, "Total amount of discharge="), 0.16)
        << r.name;
    EXPECT_NEAR(sum_of(numbers_after(sum, "volume of rainfall to overland:")),
                pluvo_test::number_after(sum, "Total amount of precip="), 0.16)
        << r.name;
    if (r.snow) {
      // The events carry a pack: one of them ends under snow.
      const auto snow = numbers_after(sum, "final volume of snow (cu. m):");
      ASSERT_EQ(snow.size(), 3u) << r.name;
      EXPECT_GT(*std::max_element(snow.begin(), snow.end()), 1.0) << sum;
    }
    if (r.sediment) {
      const auto sed = numbers_after(sum, "Overall channel sediment mass cons. error:");
      EXPECT_GE(sed.size(), 3u) << r.name;
      for (double e : sed) EXPECT_NEAR(e, 0.0, 1e-4) << r.name;
      for (const char* k : {"1", "2", "3"}) {
        const auto overland = numbers_after(sum, std::string("Mass balance error for sediment ") + k);
        EXPECT_GE(overland.size(), 3u);
        for (double e : overland) EXPECT_NEAR(e, 0.0, 1e-4) << k;
        // The overland block of an event is a running total of the run: it grows from event
        // to event, and the last event's is the run's.
        const auto eroded = numbers_after(sum, std::string("Total sediment ") + k + " eroded from surface:");
        ASSERT_EQ(eroded.size(), 4u) << k;
        EXPECT_GT(eroded[1], eroded[0]) << k;
        EXPECT_GT(eroded[2], eroded[1]) << k;
        EXPECT_EQ(eroded[3], eroded[2]) << k;
      }
      expect_sediment_books_add_up(books);
    }
  }
}

// SOIL_EROSION 11 carries the sand, silt and clay classes as constituents 1..3, ahead of the
// table's tracer (constituent 4, in the rain at 5 g/m3). A channel point input brings the classes
// in at concentrations 1 : 10 : 20 (doubled from the second storm): nothing decays or sorbs, so
// every channel figure of the classes keeps that ratio. Each event's balances and the run's close.
TEST(EventBalance, SedimentClassesCarriedAsConstituentsCloseTheirBooks) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_long_term_inputs(4);
  write_file("storms.gag", pluvo_test::three_storms());
  write_file("c.idx", pluvo_test::strip_map("1"));
  write_file("c.cmt", pluvo_test::contaminant_table(5.0, {"0 0 0 0 0 0 0 0"}, pluvo_test::erosion_table_blocks("\"Land\"")));
  write_file("p.dat", "NUMPT 1\nPOINT 2 1 0.01 1 10 20 0\nNRPDS 1\nINPUT 2020 6 2 14 10\n0.02\n 2 20 40 0\n");
  const std::string cards = with_channels() +
                            "MAPPING_TABLE c.cmt\nOV_CON_TRANS\nSOIL_EROSION 11\nOUTLET_SED_FLUX e.sed\n"
                            "SAND_SIZE 0.062\nWATER_TEMP 20\nCHAN_POINT_INPUT p.dat\n";
  constexpr int constituents = 4;
  struct books {
    std::vector<double> overland, channel;  // balance errors, %, per constituent
  };
  std::vector<books> events;
  books run_errors;
  std::vector<pluvo::output_state::constituent_terms> run_terms;
  std::vector<double> channel_final;
  int done = 0;
  const auto errors_of = [](const pluvo::model_state& m) {
    books b;
    for (int c = 1; c <= m.num_constituents; ++c) {
      b.overland.push_back(m.OV_MASS_ERROR[c]);
      b.channel.push_back(size_t(c) < m.chan_mass_error.size() ? m.chan_mass_error[size_t(c)] : NAN);
    }
    return b;
  };
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (m.events_done != done && std::string(phase) == "compute_nutrient_totals") {
      done = m.events_done;
      events.push_back(errors_of(m));
    }
    if (std::string(phase) != "write_run_summary") return;
    run_errors = errors_of(m);
    run_terms = m.run_constituent_terms;
    channel_final = m.chan_mass_final;
  });
  const auto run = pluvo_test::run_strip_cards(pluvo_test::long_term_cards(cards));
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(run.stopped) << run.out;
  const std::string sum = pluvo_test::read_file("w.sum");
  const auto water = numbers_after(sum, "mass conservation error:");
  ASSERT_EQ(water.size(), 3u);
  for (double e : water) EXPECT_NEAR(e, 0.0, 1e-6);
  EXPECT_NEAR(pluvo_test::number_after(sum, "Overall mass balance error ="), 0.0, 1e-6);
  // The classes are not eroded on the grid: they travel only as constituents.
  EXPECT_EQ(sum.find("Overland Sediment Summary"), std::string::npos);

  const char* names[constituents] = {"sand.out", "silt.out", "clay.out", "tracer"};
  for (int c = 1; c <= constituents; ++c) {
    const std::string name = names[c - 1];
    for (const char* block : {"Overland Contaminant Transport Summary for ", "Channel Contaminant Transport Summary for "})
      EXPECT_EQ(numbers_after(sum, block + name + " \n").size(), 3u) << block << name;
    char line[100];
    std::snprintf(line, sizeof line, "Overland Constituent Transport Summary for Constituent %5d (%s)\n", c,
                  name.c_str());
    EXPECT_NE(sum.find(line), std::string::npos) << line;
  }
  ASSERT_EQ(events.size(), 3u);
  for (const books& b : {events[0], events[1], events[2], run_errors}) {
    ASSERT_EQ(b.overland.size(), size_t(constituents));
    for (int c = 0; c < constituents; ++c) {
      EXPECT_NEAR(b.overland[size_t(c)], 0.0, 1e-4) << names[c];
      EXPECT_NEAR(b.channel[size_t(c)], 0.0, 1e-4) << names[c];
    }
  }
  ASSERT_GT(run_terms.size(), size_t(constituents));
  // The rain's tracer runs off the grid into the streams; the classes come from the point only.
  EXPECT_GT(run_terms[4].chan_from_ov, 0.0);
  const auto& sand = run_terms[1];
  ASSERT_GT(sand.chan_point, 0.0);
  EXPECT_GT(sand.chan_out, 0.5 * sand.chan_point);
  for (int c = 2; c <= 3; ++c) {
    const double ratio = c == 2 ? 10.0 : 20.0;
    const auto& t = run_terms[size_t(c)];
    EXPECT_EQ(t.chan_from_ov, 0.0) << names[c - 1];
    EXPECT_NEAR(t.chan_point, ratio * sand.chan_point, 1e-9 * t.chan_point) << names[c - 1];
    EXPECT_NEAR(t.chan_out, ratio * sand.chan_out, 1e-9 * t.chan_out) << names[c - 1];
    EXPECT_NEAR(channel_final[size_t(c)], ratio * channel_final[1], 1e-9 * t.chan_point) << names[c - 1];
  }
}

// After each event of a long run the basin-averaged soil water is the mean of the cells' water
// contents against their porosity, as the summary prints it.
TEST(EventBalance, RedistributionSoilWaterAfterEachEventIsTheCellsMean) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_long_term_inputs(4);
  write_file("storms.gag", pluvo_test::three_storms());
  std::vector<double> mean, kept;
  int done = 0;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (std::string(phase) != "compute_nutrient_totals" || m.events_done == done) return;
    done = m.events_done;
    double w = 0.0;
    for (int i = 1; i <= m.cell_count; ++i) w += m.redist_theta[size_t(i)] / m.porosity_cell[size_t(i)];
    mean.push_back(w / m.cell_count);
    kept.push_back(m.final_soil_water);
  });
  const auto run = pluvo_test::run_strip_cards(pluvo_test::long_term_cards(with_redistribution()));
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(run.stopped) << run.out;
  const auto printed = numbers_after(pluvo_test::read_file("w.sum"), "final basin-averaged soil water content:");
  ASSERT_EQ(mean.size(), 3u);
  ASSERT_EQ(printed.size(), 3u);
  for (size_t e = 0; e < 3; ++e) {
    EXPECT_GT(mean[e], 0.2) << e;
    EXPECT_NEAR(kept[e], mean[e], 1e-12) << e;
    EXPECT_NEAR(printed[e], 100.0 * mean[e], 0.005) << e;
  }
}

// A run that starts with water in its streams books that water as the event's initial channel
// volume: the run's initial channel volume, and the balance closes.
void expect_hotstart_books(const std::string& summary) {
  const double held = pluvo_test::number_after(summary, "Initial volume in channels=");
  EXPECT_GT(held, 1.0) << summary;
  EXPECT_NEAR(pluvo_test::number_after(summary, "initial volume in channels:"), held, 0.06) << summary;
  const auto errors = numbers_after(summary, "mass conservation error:");
  ASSERT_EQ(errors.size(), 1u) << summary;
  EXPECT_NEAR(errors[0], 0.0, 1e-6) << summary;
}

TEST(EventBalance, DemoRerunFromItsOwnChannelHotstartClosesItsBooks) {
  pluvo_test::scratch_dir dir;
  pluvo_test::copy_demo_project("TOT_TIME 150");
  std::string cards = pluvo_test::read_file("demo.prj");
  cards.erase(0, cards.find('\n') + 1);
  ASSERT_FALSE(pluvo_test::run_project_cards(cards + "WRITE_CHAN_HOTSTART hot\n", 1).stopped);
  const double left = pluvo_test::number_after(pluvo_test::read_file("demo.sum"), "final volume in channels (cu. m):");
  ASSERT_FALSE(pluvo_test::run_project_cards(cards + "READ_CHAN_HOTSTART hot\n", 1).stopped);
  const std::string summary = pluvo_test::read_file("demo.sum");
  expect_hotstart_books(summary);
  EXPECT_NE(summary.find(" TIMESTEP(S):\nFloating point GRASS output maps were written.\n     overland flow depth.\n"),
            std::string::npos)
      << summary;
  EXPECT_NEAR(pluvo_test::number_after(summary, "initial volume in channels:"), left, 0.5) << summary;
}

TEST(EventBalance, TwoLinkStripFromADepthHotstartClosesItsBooks) {
  pluvo_test::scratch_dir dir;
  const std::string cards = channel_cards(pluvo_test::routed_strip_network(), pluvo_test::strip_stream);
  // Node, link, depth and discharge: 30 cm standing in every node.
  write_file("h.lst", "1 1 0.3 0.0\n2 1 0.3 0.0\n1 2 0.3 0.0\n2 2 0.3 0.0\n");
  const auto run = pluvo_test::run_strip_project(cards + "READ_CHAN_HOTSTART h.lst\nHOTSTART_IS_DEPTH\n");
  ASSERT_FALSE(run.stopped) << run.out;
  expect_hotstart_books(pluvo_test::read_file("w.sum"));
}

// Sacramento under channels (sharing the stores' outflow by topographic index): each channel step
// takes the outflow at the rate the last hourly step set, so an event's channels take a little
// more than the stores gave within it; the errors stay under 1 %. The channels route only during
// events: what the stores give between events leaves unrouted, and the run's books close.
TEST(EventBalance, SacramentoUnderChannelsStaysWithinItsNote) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_long_term_inputs(4);
  write_file("storms.gag", pluvo_test::three_storms());
  const auto run = pluvo_test::run_strip_cards(pluvo_test::long_term_cards(with_channels() + pluvo_test::sacramento_soil() + "TOPO_INDEX\n"));
  ASSERT_FALSE(run.stopped) << run.out;
  const std::string sum = pluvo_test::read_file("w.sum");
  const auto errors = numbers_after(sum, "mass conservation error:");
  ASSERT_EQ(errors.size(), 3u);
  for (double e : errors) {
    EXPECT_GT(e, 0.0) << sum;
    EXPECT_LT(e, 1.0) << sum;
  }
  EXPECT_NEAR(pluvo_test::number_after(sum, "Overall mass balance error ="), 0.0, 1e-6) << sum;


}

}  // namespace
