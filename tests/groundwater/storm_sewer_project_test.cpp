// A small basin with streams and a storm sewer, run through the real project reader: two grate
// inlets drain their cells into a superjunction that discharges into the outlet stream node.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

#include "channel/strip_channel.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

// Inlets on cells (2, 1) and (2, 2); superjunction 3 discharges into link 2, node 1.
const char* strip_sewer =
    "SJUNC 1 10.2 10.10 1 10 2 1 0 0\nSJUNC 2 10.1 10.05 1 2 2 2 0.6 0.5\nSJUNC 3 10.05 10.0 1 999 2 1 0 0\n"
    "CONNECT 1 1 2\nCONNECT 2 2 3\n"
    "SLINK 1 1\nNODE 1 10.2 10.10 0 0 2 1 0 0\nNODE 2 10.1 10.05 0 0 2 2 0 0\nPIPE 1 1 0.3 0 0.005 0.013 10 0 0 0\n"
    "SLINK 2 1\nNODE 1 10.1 10.05 0 0 2 2 0 0\nNODE 2 10.05 10.0 0 0 2 3 0 0\nPIPE 1 1 0.3 0 0.005 0.013 10 0 0 0\n";

// The sum of one column (1-based) of superlink_flows.out below its header.
double log_column_sum(const std::string& log, int column) {
  std::istringstream in(log);
  std::string line;
  std::getline(in, line);
  double sum = 0.0;
  while (std::getline(in, line)) {
    std::istringstream row(line);
    double v = 0.0;
    for (int c = 1; c <= column; ++c) row >> v;
    sum += v;
  }
  return sum;
}

pluvo_test::project_result run_sewer_basin(int threads) {
  pluvo_test::write_strip_grid();
  write_file("c.chn", pluvo_test::routed_strip_network());
  write_file("c.stm", pluvo_test::strip_stream);
  write_file("s.sl", strip_sewer);
  std::string cards = pluvo_test::strip_cards() + "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\nSTORM_SEWER s.sl\n";
  const std::string tot = "TOT_TIME 30\n";
  cards.replace(cards.find(tot), tot.size(), "TOT_TIME 90\n");
  return pluvo_test::run_project_cards(cards, threads);
}

TEST(StormSewerProject, WhatLeavesTheSewerReachesTheStream) {
  scratch_dir dir;
  const pluvo_test::project_result r = run_sewer_basin(1);
  ASSERT_FALSE(r.stopped) << r.out;
  const std::string summary = read_file("w.sum");
  const std::string log = read_file("superlink_flows.out");
  const double into = log_column_sum(log, 2), out = log_column_sum(log, 3);
  const double taken = pluvo_test::number_after(summary, "Volume of overland to subsurface drains         ");
  const double to_stream = pluvo_test::number_after(summary, "Volume of subsurface drains to channels         ");
  // The summary prints two decimals; the log eight.
  EXPECT_GT(taken, 0.5) << summary;
  EXPECT_NEAR(into, taken, 0.005);
  EXPECT_GT(out, 0.9 * into);
  EXPECT_NEAR(to_stream, out, 0.005) << summary;
  // Nothing lost on the way: a missing or doubled sewer volume would show here.
  const double error = pluvo_test::number_after(summary, "Overall mass balance error =                             ");
  EXPECT_LT(std::fabs(error), 0.001) << summary;
  EXPECT_EQ(pluvo_test::number_after(summary, "Subsurface drain mass bal error m^3=                     "), 0.0);
}

TEST(StormSewerProject, SameResultOnOneAndFourThreads) {
  scratch_dir dir;
  ASSERT_FALSE(run_sewer_basin(1).stopped);
  const std::string one = read_file("superlink_flows.out") + read_file("w.hyd");
  ASSERT_FALSE(run_sewer_basin(4).stopped);
  EXPECT_EQ(read_file("superlink_flows.out") + read_file("w.hyd"), one);
}

}  // namespace
