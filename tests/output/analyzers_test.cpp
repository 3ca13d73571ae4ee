// Threshold analyzers: the analyzers file read through a whole project on the two-link strip
// network, their reports compared byte for byte with the channel state they saw, and the
// constituent analyzers and the node arithmetic on a network in memory.
#include "output/analyzers.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "channel/network_fixture.hpp"
#include "channel/two_link_network.hpp"
#include "common/checked_array.hpp"
#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "common/printed.hpp"
#include "output/output_phases.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

// Depth above the bed of every computational node, link by link.
using depths = std::vector<std::vector<double>>;

depths node_depths(const pluvo::model_state& m) {
  depths d(size_t(m.nlinks) + 1);
  for (int l = 1; l <= m.nlinks; ++l)
    for (int j = 1; j <= m.nx[size_t(l)]; ++j) {
      const size_t k = size_t(l) * size_t(m.chan_node_extent) + size_t(j);
      d[size_t(l)].push_back(m.yp[k] - m.bel[k]);
    }
  return d;
}

struct analyzer_run {
  pluvo_test::project_result result;
  std::map<std::string, depths> seen;  // what the nodes held at each moment asked for
};

// Runs the strip with the two-link network for `minutes` and the analyzers file; the depths
// are kept at the simulation start, at the analyzers of loop passes 1, 361, 721 and 1081 (the
// first pass runs at the start time) and at the event's end.
analyzer_run run_with_analyzers(const std::string& analyzers, int minutes,
                                const std::function<void(const std::string&, int, pluvo::model_state&)>& steer =
                                    nullptr) {
  write_file("c.chn", pluvo_test::two_link_chan_file());
  write_file("c.stm", pluvo_test::two_link_stream_file());
  write_file("a.ana", analyzers);
  std::string cards = pluvo_test::strip_cards();
  cards.replace(cards.find("TOT_TIME 30"), 11, "TOT_TIME " + std::to_string(minutes));
  analyzer_run run;
  int step = 0;
  pluvo::set_phase_observer([&](const char* phase, int value, pluvo::model_state& m) {
    const std::string p = phase;
    if (p == "run_analyzers" && value == 8) run.seen["start"] = node_depths(m);
    if (p == "run_analyzers" && value == 1) {
      ++step;
      if (step == 1 || step == 361 || step == 721 || step == 1081) run.seen["step " + std::to_string(step)] = node_depths(m);
    }
    if (p == "check_event_end") run.seen["event end"] = node_depths(m);
    if (steer) steer(p, value, m);
  });
  run.result =
      pluvo_test::run_strip_cards(cards + "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\nANALYZERS a.ana\n");
  pluvo::set_phase_observer(nullptr);
  return run;
}

// The blocks of one kind of report, in the order printed.
std::string blocks(const std::string& out, const std::string& head, const std::string& tail) {
  std::string found;
  for (size_t at = out.find(head); at != std::string::npos; at = out.find(head, at + 1)) {
    const size_t end = out.find(tail, at);
    if (end == std::string::npos) break;
    found += out.substr(at, end + tail.size() - at);
  }
  return found;
}

int occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The report of the analyzer "depth < 0.01" with output letters v and c at a given time.
std::string counted_report(const depths& d, const char* when, const char* name = "depth") {
  char text[200];
  std::snprintf(text, sizeof text,
                "\n\nResults for logic test of the 2D stream array %s at %s.  Nodes with values < 0.010000:\n", name, when);
  std::string r = text;
  int passed = 0, visited = 0;
  for (size_t l = 1; l < d.size(); ++l) {
    std::snprintf(text, sizeof text, "%4d:", int(l));
    r += text;
    for (double v : d[l]) {
      std::snprintf(text, sizeof text, v < 0.01 ? "[T, %6.4lf]" : "[F, %6.4lf]", v);
      r += text;
      passed += v < 0.01;
      ++visited;
    }
    r += "\n";
  }
  std::snprintf(text, sizeof text, "====> %d out of %d nodes passed the logic test.\n", passed, visited);
  return r + text;
}

std::string bare_report(const depths& d, const char* when) {
  std::string r = std::string("\n\nValues in the 2D stream array DEPTH at ") + when + ": \n";
  char text[16];
  for (size_t l = 1; l < d.size(); ++l) {
    std::snprintf(text, sizeof text, "%4d:", int(l));
    r += text;
    for (double v : d[l]) r += v < 0.01 ? "T" : "F";
    r += "\n";
  }
  return r;
}

}  // namespace

// The timed example: depth < 0.01 every hour of model time over three hours, on the console.
// With output letters vs the entries are bare and there is no count; tS adds the start; the
// operators + and = build analyzers that never report, and an unknown array is dropped.
TEST(Analyzers, TimedDepthTestsReportByteForByteThroughAProject) {
  pluvo_test::scratch_dir dir;
  const analyzer_run run = run_with_analyzers(
      "# hourly depth tests\n"
      "2DS depth t < 0.01 vcs 3600\n"
      "2DS, DEPTH, tS, <, 0.01, vs, 3600\n"
      "2DS depth Ee < 0.01 vcf events.ana\n"
      "2DS flow t + 1 cs 60\n"
      "2DS flow t = 1 cs 60\n"
      "2DS velocity t < 1 cs 60\n"
      "TVX_ST conc t < 1 cs 60\n"
      "\n",
      180);
  ASSERT_FALSE(run.result.stopped) << run.result.out;
  const std::string& out = run.result.out;
  EXPECT_NE(out.find("Error: unable to find 2DS array [velocity]\nSet up 5 analyzers...\n"), std::string::npos)
      << out;
  ASSERT_EQ(run.seen.count("step 721"), 1u);
  const std::string counted = counted_report(run.seen.at("step 1"), "06-01-2020, 10:0: 0") +
                              counted_report(run.seen.at("step 361"), "06-01-2020, 11:0: 0") +
                              counted_report(run.seen.at("step 721"), "06-01-2020, 12:0: 0") +
                              counted_report(run.seen.at("step 1081"), "06-01-2020, 13:0: 0");
  EXPECT_EQ(blocks(out, "\n\nResults for logic test", "nodes passed the logic test.\n"), counted);
  // The bare reports: the start of the simulation, then each hour, in that order; the array
  // word keeps the case it was written in.
  size_t at = 0;
  const std::pair<const char*, const char*> bare[] = {
      {"start", "the beginning of the simulation at 06-01-2020, 10:0: 0"},
      {"step 1", "06-01-2020, 10:0: 0"},
      {"step 361", "06-01-2020, 11:0: 0"},
      {"step 721", "06-01-2020, 12:0: 0"},
      {"step 1081", "06-01-2020, 13:0: 0"}};
  for (const auto& [key, when] : bare) {
    at = out.find(bare_report(run.seen.at(key), when), at);
    ASSERT_NE(at, std::string::npos) << key << "\n" << out;
  }
  EXPECT_EQ(occurrences(out, "\n\nValues in the 2D stream array"), 5);
  // The end of the event goes to the analyzer's file only.
  EXPECT_EQ(read_file("events.ana"),
            counted_report(run.seen.at("event end"), "the end of an event at 06-01-2020, 13:0: 0"));
}

// The crash point is reported when the run ends on a pending error, and output letters tv
// behave as v and vt as t.
TEST(Analyzers, EventEndsAndTheCrashPointReport) {
  pluvo_test::scratch_dir dir;
  const analyzer_run run = run_with_analyzers(
      "2DS depth c < 0.01 vcs\n"
      "2DS depth S >= 0.0 tvs\n"
      "2DS depth S >= 0.0 vtds\n",
      2, [](const std::string& phase, int value, pluvo::model_state& m) {
        // An error still pending after the second step's outputs ends the run there.
        if (phase == "run_analyzers" && value == 1 && m.step_count == 2) pluvo::error_state.error_code = 250;
      });
  ASSERT_TRUE(run.result.stopped);
  const std::string& out = run.result.out;
  EXPECT_EQ(blocks(out, "\n\nResults for logic test", "nodes passed the logic test.\n"),
            counted_report(run.seen.at("event end"), "the program crash point at 06-01-2020, 10:0:20"));
  // tv: one line per link; vt: the true nodes with their values.
  const depths& start = run.seen.at("start");
  std::string listed;
  char text[64];
  for (size_t l = 1; l < start.size(); ++l)
    for (size_t j = 0; j < start[l].size(); ++j) {
      std::snprintf(text, sizeof text, "Link %3d, Node %3d:  %14.6lf\n", int(l), int(j + 1), start[l][j]);
      listed += text;
    }
  EXPECT_NE(out.find("\n\nValues in the 2D stream array depth at the beginning of the simulation at "
                     "06-01-2020, 10:0: 0: \n   1:TTT\n   2:TT\n\n\nValues in the 2D stream array depth at the "
                     "beginning of the simulation at 06-01-2020, 10:0: 0: \n" +
                     listed),
            std::string::npos)
      << out;
}

// Constituent analyzers bind the channel node rows of a constituent; their failures leave no
// analyzer behind.
TEST(Analyzers, ConstituentRowsAndTheirRefusals) {
  pluvo_test::scratch_dir dir;
  auto m = pluvo_test::make_network({pluvo_test::link_spec{4, 3, 100.0, 0, {}, 0}, pluvo_test::link_spec{4, 2, 100.0, 0, {}, 0}});
  const int keys = m->chan_slot_count;
  m->cur_julian = pluvo::julian_date(2020, 6, 1, 10, 0, 0.0);
  write_file("a.ana", "1DS conc_1 S > 0.5 ts\n");
  std::string out = pluvo::printed_by([&] { pluvo::setup_analyzers(*m, "a.ana"); });
  EXPECT_EQ(out, "Error: Setting up 1DS analyzer when no constituents are being modeled.\nSet up 0 analyzers...\n");

  m->num_constituents = 2;
  for (int c = 1; c <= 2; ++c) {
    pluvo::checked_array_2d_grow_rows(m->chan_node_conc, 1, keys - 1);
    pluvo::checked_array_2d_grow_rows(m->chan_node_mass, 1, keys - 1);
    for (int k = 0; k < keys; ++k) m->chan_node_conc.rows[c][k] = m->chan_node_mass.rows[c][k] = 0.0;
  }
  m->chan_node_conc.rows[2][size_t(pluvo_test::node_key(*m, 2, 1))] = 0.75;
  m->chan_node_mass.rows[1][size_t(pluvo_test::node_key(*m, 1, 2))] = 3.0;
  write_file("a.ana",
             "1DS conc_0 S > 0.5 ts\n1DS conc_3 S > 0.5 ts\n1DS speed_1 S > 0.5 ts\n"
             "1DS conc_2 S > 0.5 ts\n1DS mass_1 S >= 1 tds\n");
  out = pluvo::printed_by([&] {
    pluvo::setup_analyzers(*m, "a.ana");
    pluvo::run_analyzers(*m, 8);
  });
  EXPECT_EQ(out,
            "Error: 1DS Analyzer for conc with index 0 is out of range. Range for index is 1 to 2.\n"
            "Error: 1DS Analyzer for conc with index 3 is out of range. Range for index is 1 to 2.\n"
            "Error: unable to find 1DS array [speed]\n"
            "Set up 2 analyzers...\n"
            "\n\nValues in the 2D stream array conc_2 at the beginning of the simulation at 06-01-2020, 10:0: 0: \n"
            "Link   1, Node   2\n"
            "\n\nValues in the 2D stream array mass_1 at the beginning of the simulation at 06-01-2020, 10:0: 0: \n"
            "Link   2, Node   1:        3.000000\n");
}

// The arithmetic of a node value: division by a zero second value gives 9999.99, subtraction
// the difference.
TEST(Analyzers, NodeArithmetic) {
  std::vector<double> first = {0.0, 0.0, 0.0, 4.0}, second = {0.0, 0.0, 0.0, 0.0};
  auto row = [](const std::vector<double>& v) {
    return pluvo::bound_row{[&v](size_t& n) -> const double* {
      n = v.size();
      return v.data();
    }};
  };
  const std::vector<int32_t> nx = {0, 2};
  const double now = 0.0;
  pluvo::st2d_logical_OP op;
  op.setup(row(first), 1, &nx, 2, &now, "x");
  EXPECT_EQ(op.node_value(1, 1), 4.0);
  op.set_arithmetic(8, row(second));
  EXPECT_EQ(op.node_value(1, 1), 9999.99);
  second[3] = 1.5;
  op.set_arithmetic(6, row(second));
  EXPECT_EQ(op.node_value(1, 1), 2.5);
}
