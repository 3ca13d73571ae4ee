// The channel set-up on a network filled in memory: hotstart files, the point-input file, the
// outlet boundary, the initial volume and mass, and the two report files.
#include "channel/network_setup.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "channel/channel_phases.hpp"
#include "channel/channel_routines.hpp"
#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "common/printed.hpp"
#include "common/time_series.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo {
namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

constexpr double dx = 20.0;     // node spacing of every link, m
constexpr double width = 2.0;   // trapezoid bottom, m
constexpr double side = 1.0;    // side slope

// Three links into one outlet: link 1 a trapezoid of 3 nodes, link 2 a structure of 2 nodes,
// link 3 a trapezoid of 1 node whose node is the outlet. Beds fall 0.1 m per node from 10 m;
// water surfaces stand at the beds.
std::unique_ptr<model_state> network() {
  auto m = std::make_unique<model_state>();
  m->chan_explic_on = 1;
  m->nlinks = 3;
  m->max_nodes = 3;
  m->chan_node_extent = 4;
  m->chan_link_extent = 4;
  m->chan_slot_count = 16;
  m->ltype = {0, 4, 64, 4, 0};
  m->nx = {0, 3, 2, 1, 0};
  m->nx1 = m->nx;
  m->ldex = {0, 1, 2, 3, 0};
  m->link_dx = {0.0, dx, dx, dx, 0.0};
  m->inv_mannings_n = {0.0, 1 / 0.035, 1 / 0.035, 1 / 0.035, 0.0};
  m->dslink = {0, 2, 3, 0, 0};
  for (auto* v : {&m->bel, &m->yp, &m->qp, &m->bottom, &m->sslope, &m->bankfull_dep, &m->chan_depth, &m->area,
                  &m->area_old, &m->topw, &m->conv, &m->dconv})
    v->assign(16, 0.0);
  double bed = 10.0;
  for (int link = 1; link <= 3; ++link)
    for (int node = 1; node <= m->nx[size_t(link)]; ++node) {
      const size_t k = size_t(link * 4 + node);
      m->bel[k] = m->yp[k] = bed;
      m->bottom[k] = width;
      m->sslope[k] = side;
      m->bankfull_dep[k] = 5.0;
      bed -= 0.1;
    }
  return m;
}

size_t key(int link, int node) { return size_t(link * 4 + node); }

// The network with a water-surface hotstart file of the given text, opened as the project opener does.
std::unique_ptr<model_state> with_depth_file(const std::string& text) {
  pluvo_test::write_file("h.dht", text);
  auto m = network();
  m->read_chan_hotstart_on = 1;
  EXPECT_TRUE(checked_file_open(m->chan_hotstart_depth_in, "h.dht", 'r'));
  return m;
}

double trapezoid_area(double depth) { return (width + side * depth) * depth; }

class ChannelSetUp : public ::testing::Test {
 protected:
  void SetUp() override { error_state = error_state_record(); }
  void TearDown() override {
    error_state = error_state_record();
    free_time_series();
  }
  pluvo_test::scratch_dir dir;
};

// ---------------------------------------------------------------- hotstart

TEST_F(ChannelSetUp, HotstartListSetsTheNodesItNamesAndSkipsTheRest) {
  write_file("h.lst",
             "2 1 0.5 1.5\n"      // node 2 of link 1: wet
             "1 3 0.0 0.25\n"     // the outlet: dry, discharge kept
             "1 9 2.0 3.0\n"      // link outside the network
             "4 1 2.0 3.0\n"      // node beyond the link's nodes
             "3 1 2.0\n"          // three values only
             "\n");
  auto m = network();
  m->chan_hotstart_list_path = "h.lst";
  read_channel_hotstart(*m);
  EXPECT_EQ(error_state.error_code, 0);
  EXPECT_DOUBLE_EQ(m->chan_depth[key(1, 2)], 0.5);
  EXPECT_DOUBLE_EQ(m->yp[key(1, 2)], m->bel[key(1, 2)] + 0.5);
  EXPECT_DOUBLE_EQ(m->qp[key(1, 2)], 1.5);
  EXPECT_DOUBLE_EQ(m->qp[key(3, 1)], 0.25);
  EXPECT_DOUBLE_EQ(m->chan_depth[key(1, 3)], 0.0);
  EXPECT_DOUBLE_EQ(m->yp[key(1, 3)], m->bel[key(1, 3)]);
  EXPECT_EQ(m->external_channel_inflow_on, 1);
  EXPECT_EQ(m->chan_hotstart_water, 1);
}

TEST_F(ChannelSetUp, HotstartOfDryNodesLeavesTheInflowFlagClear) {
  write_file("h.lst", "1 1 0.0 0.0\n2 1 1e-17 0.0\n");
  for (const bool depth_file : {false, true}) {
    auto m = depth_file ? with_depth_file("1 1 9.0\n")  // every water surface below its bed
                        : network();
    if (!depth_file) m->chan_hotstart_list_path = "h.lst";
    read_channel_hotstart(*m);
    EXPECT_EQ(m->external_channel_inflow_on, 0) << depth_file;
    EXPECT_EQ(m->chan_hotstart_water, 0) << depth_file;
  }
}

TEST_F(ChannelSetUp, DepthFileFillsChannelNodesInOrderAndHoldsItsLastSurface) {
  // Link 1 nodes 1-3, then link 3 node 1; the structure link reads no line. Node 2 stands below
  // its bed; the file ends before the outlet node, which takes the last surface and no area.
  auto m = with_depth_file("1 1 10.5 3.25\n2 1 9.0\n3 1 10.2\n");
  read_channel_hotstart(*m);
  EXPECT_EQ(error_state.error_code, 0);
  EXPECT_DOUBLE_EQ(m->yp[key(1, 1)], 10.5);
  EXPECT_NEAR(m->chan_depth[key(1, 1)], 0.5, 1e-12);
  EXPECT_DOUBLE_EQ(m->area[key(1, 1)], 3.25);
  EXPECT_DOUBLE_EQ(m->yp[key(1, 2)], m->bel[key(1, 2)]);
  EXPECT_DOUBLE_EQ(m->chan_depth[key(1, 2)], 0.0);
  EXPECT_NEAR(m->chan_depth[key(1, 3)], 0.4, 1e-12);
  EXPECT_DOUBLE_EQ(m->yp[key(2, 1)], m->bel[key(2, 1)]);  // structure: untouched
  EXPECT_DOUBLE_EQ(m->yp[key(3, 1)], 10.2);
  EXPECT_NEAR(m->chan_depth[key(3, 1)], 10.2 - m->bel[key(3, 1)], 1e-12);
  EXPECT_DOUBLE_EQ(m->area[key(3, 1)], 0.0);
  EXPECT_EQ(m->external_channel_inflow_on, 1);
  EXPECT_EQ(m->chan_hotstart_water, 1);
}

TEST_F(ChannelSetUp, HotstartFileErrorsStopTheRun) {
  {
    auto m = network();
    m->chan_hotstart_list_path = "missing.lst";
    const std::string out = printed_by([&] { read_channel_hotstart(*m); });
    EXPECT_NE(out.find("Can't open channel hotstart file named missing.lst\n"), std::string::npos) << out;
    EXPECT_EQ(error_state.error_terminate, 1);
  }
  error_state = error_state_record();
  {
    auto m = with_depth_file("1 1 10.5\n\n");
    const std::string out = printed_by([&] { read_channel_hotstart(*m); });
    EXPECT_NE(out.find("Error: line 2 of the channel hotstart file h.dht does not give a node, a link and a water "
                       "surface.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(error_state.error_terminate, 1);
  }
}

// ---------------------------------------------------------------- point inputs

double at(int year, int month, int day, int hour, int minute) { return julian_date(year, month, day, hour, minute, 0.0); }

// Starts the routing with the point-input file text and the model time at 1995-06-01 10:00.
std::unique_ptr<model_state> started_with_points(const std::string& text, std::string* printed = nullptr,
                                                 int constituents = 0) {
  write_file("p.dat", text);
  auto m = network();
  m->num_constituents = constituents;
  m->chan_point_source_file = "p.dat";
  m->cur_julian = at(1995, 6, 1, 10, 0);
  const std::string out = printed_by([&] { init_channel_routing(*m); });
  if (printed) *printed = out;
  return m;
}

TEST_F(ChannelSetUp, PointInputsWithoutDatedRecordsKeepTheirFlows) {
  auto m = started_with_points(
      "NUMPT 2\nPOINT 2 1 0.75 12.0 extra words\npoint 1 3 1.25 4.0\nNRPDS 0\n", nullptr, 1);
  ASSERT_EQ(error_state.error_code, 0);
  EXPECT_EQ(m->chan_point_input_on, 1);
  EXPECT_EQ(m->external_channel_inflow_on, 1);
  EXPECT_EQ(m->chan_point_address, (std::vector<int32_t>{0, int(key(1, 2)), int(key(3, 1))}));
  EXPECT_DOUBLE_EQ(m->chan_point_flow[key(1, 2)], 0.75);
  EXPECT_DOUBLE_EQ(m->chan_point_flow[key(3, 1)], 1.25);
  EXPECT_DOUBLE_EQ(m->pointconc[1][key(1, 2)], 12.0);
  EXPECT_DOUBLE_EQ(m->pointconc[1][key(3, 1)], 4.0);
  EXPECT_EQ(m->chan_point_next_time, 0.0);
  for (double t = 0; t < 2; t += 0.25) {
    m->cur_julian = at(1995, 6, 1, 10, 0) + t;
    read_chan_point_input_step(*m);
  }
  EXPECT_DOUBLE_EQ(m->chan_point_flow[key(1, 2)], 0.75);
  EXPECT_EQ(m->chan_point_records_read, 0);
}

// Flows at the two points after each step of `step_s` seconds from 10:00 until 10:30.
std::vector<std::vector<double>> flows_by_step(model_state& m, int step_s) {
  std::vector<std::vector<double>> seen;
  for (int s = 0; s * step_s <= 1800; ++s) {
    m.cur_julian = at(1995, 6, 1, 10, 0) + s * step_s / 86400.0;
    read_chan_point_input_step(m);
    seen.push_back({m.chan_point_flow[key(1, 2)], m.chan_point_flow[key(3, 1)]});
  }
  return seen;
}

const char* dated_points =
    "NUMPT 2\nPOINT 2 1 0.5\nPOINT 1 3 0.25\nNRPDS 3\n"
    "INPUT 95 6 1 10 5\n1.0 2.0\n"
    "input 1995 6 1 10 10\n3.0 4.0\n"
    "INPUT 1995 6 1 10 20\n5.0 6.0\n";

TEST_F(ChannelSetUp, DatedPointRecordsTakeEffectFromTheStepTheirDateIsReached) {
  auto m = started_with_points(dated_points);
  ASSERT_EQ(error_state.error_code, 0);
  EXPECT_EQ(m->chan_point_date.year, 1995);  // the two-digit year
  EXPECT_DOUBLE_EQ(m->chan_point_next_time, at(1995, 6, 1, 10, 5));
  const auto seen = flows_by_step(*m, 60);
  for (size_t s = 0; s < seen.size(); ++s) {
    const std::vector<double> expected = s < 5 ? std::vector<double>{0.5, 0.25}
                                         : s < 10 ? std::vector<double>{1.0, 2.0}
                                         : s < 20 ? std::vector<double>{3.0, 4.0}
                                                  : std::vector<double>{5.0, 6.0};
    EXPECT_EQ(seen[s], expected) << "step " << s;
  }
  EXPECT_EQ(m->chan_point_records_read, 3);
  EXPECT_EQ(m->chan_point_next_time, 0.0);
  EXPECT_EQ(error_state.error_code, 0);
}

TEST_F(ChannelSetUp, ADateBetweenTwoStepsTakesEffectAtTheStepAfterIt) {
  auto m = started_with_points(dated_points);
  const auto seen = flows_by_step(*m, 70);  // 10:05 falls between 280 s and 350 s
  EXPECT_EQ(seen[4], (std::vector<double>{0.5, 0.25}));
  EXPECT_EQ(seen[5], (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(seen[8], (std::vector<double>{1.0, 2.0}));   // 560 s
  EXPECT_EQ(seen[9], (std::vector<double>{3.0, 4.0}));   // 630 s
  EXPECT_EQ(seen[18], (std::vector<double>{5.0, 6.0}));  // 1260 s
}

TEST_F(ChannelSetUp, PointInputFormatErrorsStopWithTheirMessages) {
  const std::string lost = "Unexpected end of file in chan point data file.\nCheck the format of the data file.\nProgram terminated.";
  std::string no_card;
  for (int i = 0; i < 10001; ++i) no_card += "x ";
  std::string no_point = "NUMPT 1\n";
  for (int i = 0; i < 10001; ++i) no_point += "x ";
  std::string no_count = "NUMPT 0\n";
  for (int i = 0; i < 10001; ++i) no_count += "x ";
  const std::string problem = "There is a problem with your channel source input file.  PLUVO cannot\n";
  struct bad_case {
    std::string text;
    std::string message;
  } cases[] = {
      {"", lost},
      {no_card, problem + "find the first card.  Check the format of your channel source file\n\n"},
      {no_point, problem + "find the point source location card.  Check the format of your channel source file\n\n"},
      {no_count, problem + "find the number of timed changes to your point inputs.  Check the format of your "
                           "channel source file\n\n"},
      {"NUMPT 2\nPOINT 2 1 0.5\n", lost},
      {"NUMPT 1\nPOINT 3 2 0.5\n", "names node 3 of link 2"},
      {"NUMPT 1\nPOINT 4 1 0.5\n", "names node 4 of link 1"},
      {"NUMPT 1\nPOINT 2 7 0.5\n", "names node 2 of link 7, outside the network of 3 links"},
      {"NUMPT -1\n", "gives NUMPT -1; it must lie between 0 and 16"},
      {"NUMPT 1\nPOINT 2 1 lots\n", "holds \"lots\" where the flow of a POINT card belongs"},
      {"NUMPT 1\nPOINT 2 1 0.5\nNRPDS -2\n", "gives NRPDS -2"},
      {"NUMPT 1\nPOINT 2 1 0.5\nNRPDS 1\n", "\n last year 0 last month 0 last day 0 last hour 0 last minute 0 \n" + lost},
      {"NUMPT 1\nPOINT 2 1 0.5\nNRPDS 1\nINPUT 1995 6 1 10\n",
       "\n last year 0 last month 0 last day 0 last hour 0 last minute 0 \n" + lost},
      {"NUMPT 1\nPOINT 2 1 0.5\nNRPDS 1\nOUTPUT 1995 6 1 10 5\n1.0\n", "dated record 1 of the channel point-input"},
      {"NUMPT 1\nPOINT 2 1 0.5\nNRPDS 1\nINPUT 1995 13 1 10 5\n1.0\n", "dated record 1 of the channel point-input"},
  };
  for (const auto& c : cases) {
    error_state = error_state_record();
    std::string out;
    auto m = started_with_points(c.text, &out);
    EXPECT_NE(out.find(c.message), std::string::npos) << c.text.substr(0, 60) << "\n" << out;
    EXPECT_EQ(error_state.error_terminate, 1) << c.text.substr(0, 60);
  }
  // A file that ends before its NRPDS card has no dated record: not an error.
  error_state = error_state_record();
  auto m = started_with_points("NUMPT 1\nPOINT 2 1 0.5\n");
  EXPECT_EQ(error_state.error_code, 0);
  EXPECT_EQ(m->chan_point_record_count, 0);
}

TEST_F(ChannelSetUp, DatedRecordErrorsDuringTheRunStopIt) {
  struct bad_case {
    std::string text;
    std::string message;
  } cases[] = {
      {"NUMPT 1\nPOINT 2 1 0.5\nNRPDS 2\nINPUT 1995 6 1 10 5\n",
       "Unexpected end of file in chan point input data file.\nCheck the format of the data file.\nProgram terminated."},
      {"NUMPT 1\nPOINT 2 1 0.5\nNRPDS 2\nINPUT 1995 6 1 10 5\n1.0\n",
       "Unexpected end of file in chan point input data file.\nCheck the format of the data file.\nProgram terminated."},
      {"NUMPT 1\nPOINT 2 1 0.5\nNRPDS 2\nINPUT 1995 6 1 10 5\nnone\n",
       "Error: the channel point-input file p.dat holds \"none\" where the flow of a point of dated record 1 "
       "belongs.\n"},
      // A bad keyword would leave the next time in the past and freeze the inputs: it stops the run.
      {"NUMPT 1\nPOINT 2 1 0.5\nNRPDS 2\nINPUT 1995 6 1 10 5\n1.0\nINPT 1995 6 1 10 9\n2.0\n",
       "Error: dated record 2 of the channel point-input file p.dat must begin with INPUT"},
  };
  for (const auto& c : cases) {
    error_state = error_state_record();
    auto m = started_with_points(c.text);
    ASSERT_EQ(error_state.error_code, 0);
    m->cur_julian = at(1995, 6, 1, 10, 5);
    const std::string out = printed_by([&] { read_chan_point_input_step(*m); });
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(error_state.error_terminate, 1);
  }
}

// Three points and two constituents: each body holds nine numbers in any line layout; the
// keyword may be in capitals and a two-digit year is of the 1900s; after the last record the
// inputs keep its values.
TEST_F(ChannelSetUp, PointRecordsReadInAnyLayoutUntilTheLast) {
  auto m = started_with_points(
      "NUMPT 3\nPOINT 1 1 0 0 0\nPOINT 2 1 0 0 0\nPOINT 1 3 0 0 0\nNRPDS 2\n"
      "INPUT 98 7 4 12 30\n1 2 3\n4 5 6 7\n8 9\n"
      "input 1998 7 4 12 40\n10 11 12 13 14 15 16 17 18\n",
      nullptr, 2);
  ASSERT_EQ(error_state.error_code, 0);
  EXPECT_EQ(m->chan_point_next_time, at(1998, 7, 4, 12, 30));
  const size_t keys[3] = {key(1, 1), key(1, 2), key(3, 1)};
  const auto values = [&] {
    std::vector<double> v;
    for (size_t k : keys) v.insert(v.end(), {m->chan_point_flow[k], m->pointconc[1][k], m->pointconc[2][k]});
    return v;
  };
  m->cur_julian = at(1998, 7, 4, 12, 30);
  read_chan_point_input_step(*m);
  EXPECT_EQ(values(), (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(m->chan_point_next_time, at(1998, 7, 4, 12, 40));
  for (int minute : {40, 50, 59}) {
    m->cur_julian = at(1998, 7, 4, 12, minute);
    read_chan_point_input_step(*m);
    EXPECT_EQ(values(), (std::vector<double>{10, 11, 12, 13, 14, 15, 16, 17, 18})) << minute;
  }
  EXPECT_EQ(m->chan_point_next_time, 0.0);
  EXPECT_EQ(error_state.error_code, 0);
}

TEST_F(ChannelSetUp, AnUnopenablePointFileOnlyWarns) {
  auto m = network();
  m->chan_point_source_file = "nowhere.dat";
  const std::string out = printed_by([&] { init_channel_routing(*m); });
  const std::string warning =
      "Can't open nowhere.dat to read channel point source input file \n"
      "There will be no point inputs to the channel file \n";
  ASSERT_GE(out.size(), warning.size());
  EXPECT_EQ(out.substr(out.size() - warning.size()), warning);
  EXPECT_EQ(error_state.error_code, 0);
  EXPECT_EQ(m->chan_point_input_on, 0);
  EXPECT_EQ(m->external_channel_inflow_on, 0);
}

// ---------------------------------------------------------------- routing start

TEST_F(ChannelSetUp, OutletTakesTheBoundaryDepthAndTheVolumeIsTheSumOfAreaTimesSpacing) {
  auto m = with_depth_file("1 1 10.5\n2 1 10.3\n3 1 10.1\n");
  read_channel_hotstart(*m);
  m->head_bound_on = 1;
  m->chan_bound_depth = 0.75;
  m->area[key(2, 1)] = m->area[key(2, 2)] = 99.0;  // a structure holds no channel water
  init_channel_routing(*m);
  ASSERT_EQ(error_state.error_code, 0);
  EXPECT_DOUBLE_EQ(m->chan_depth[key(3, 1)], 0.75);
  EXPECT_DOUBLE_EQ(m->yp[key(3, 1)], m->bel[key(3, 1)] + 0.75);
  EXPECT_EQ(m->external_channel_inflow_on, 1);
  EXPECT_EQ(m->chan_point_input_on, 0);  // no point-input file named
  // The hotstart left link 3 at 10.1 over a bed of 9.5; the boundary replaced it.
  double sum = 0.0;
  for (int node = 1; node <= 3; ++node) {
    const double depth = m->yp[key(1, node)] - m->bel[key(1, node)];
    EXPECT_NEAR(m->area[key(1, node)], trapezoid_area(depth), 1e-12);
    sum += m->area[key(1, node)] * dx;
  }
  EXPECT_NEAR(m->area[key(3, 1)], trapezoid_area(0.75), 1e-12);
  sum += m->area[key(3, 1)] * dx;
  EXPECT_DOUBLE_EQ(m->chan_volume_initial_run, sum);
  EXPECT_NEAR(m->chan_volume_initial_run, dx * (trapezoid_area(0.5) + trapezoid_area(0.4) + trapezoid_area(0.3) +
                                                trapezoid_area(0.75)),
              1e-9);
}

TEST_F(ChannelSetUp, BoundarySeriesGivesTheOutletDepthOrStopsWhenMissing) {
  auto m = network();
  m->head_bound_on = 1;
  m->bound_ts_on = 1;
  m->bound_ts_path = "tide";
  m->cur_julian = 2450000.0;
  const std::string out = printed_by([&] {
    init_channel_routing(*m);
    report_error(error_state);
  });
  EXPECT_EQ(out, "\nError: Stream head boundary time series (tide) can not be found. Check project file.\n");
  EXPECT_EQ(m->external_channel_inflow_on, 0);

  error_state = error_state_record();
  time_series* s = new_time_series();
  s->name = "tide_gauge";
  s->times = {2449999.0, 2450001.0};
  s->values = {0.2, 0.6};
  s->count = 2;
  m = network();
  m->head_bound_on = 1;
  m->bound_ts_on = 1;
  m->bound_ts_path = "tide";
  m->cur_julian = 2450000.0;
  init_channel_routing(*m);
  EXPECT_EQ(error_state.error_code, 0);
  EXPECT_EQ(m->bound_ts, s);
  EXPECT_NEAR(m->chan_depth[key(3, 1)], 0.4, 1e-12);
  EXPECT_NEAR(m->chan_volume_initial_run, dx * trapezoid_area(0.4), 1e-9);
}

TEST_F(ChannelSetUp, InitialConstituentMassGoesToTheWetNodesAndTheRunTotal) {
  auto m = network();
  m->head_bound_on = 1;
  m->chan_bound_depth = 0.5;
  m->chan_con_trans_on = 1;
  m->num_constituents = 1;
  checked_array_2d_grow_fill(m->chan_node_conc, 1, 0.0, 16);
  checked_array_2d_grow_fill(m->chan_node_mass, 1, 0.0, 16);
  checked_array_grow_fill(m->GLOBAL_MASS_INIT, 2, 0.0);
  m->chan_node_conc.rows[1][key(1, 1)] = 7.0;  // dry: both go to 0
  m->chan_node_conc.rows[1][key(3, 1)] = 3.0;
  init_channel_routing(*m);
  ASSERT_EQ(error_state.error_code, 0);
  const double mass = trapezoid_area(0.5) * dx * 3.0;
  EXPECT_DOUBLE_EQ(m->chan_node_mass.rows[1][key(3, 1)], mass);
  EXPECT_EQ(m->chan_node_conc.rows[1][key(1, 1)], 0.0);
  EXPECT_EQ(m->chan_node_mass.rows[1][key(1, 1)], 0.0);
  EXPECT_DOUBLE_EQ(m->chan_con_mass_initial[1], mass / 1000.0);
  EXPECT_DOUBLE_EQ(m->GLOBAL_MASS_INIT[1], mass / 1000.0);
}

TEST_F(ChannelSetUp, ErosionCellsAreTheGridStreamCells) {
  auto m = network();
  m->gst_mode_on = 1;
  m->soil_erosion_on = 1;
  m->ov_sed = std::make_unique<ov_sed_record>();
  m->ov_sed->channel_cells.assign(6, 0);
  m->gst_num_cells = 2;
  m->gst_ncellsingrid = {0, 1, 2};
  m->gst_gnum = {{}, {0, 4}, {0, 2, 5}};
  init_channel_routing(*m);
  EXPECT_EQ(m->ov_sed->channel_cells, (std::vector<int>{0, 0, 1, 0, 1, 1}));
}

// ---------------------------------------------------------------- reports and cell ties

TEST_F(ChannelSetUp, ReportFilesListOneNodeLinksAndBedsAboveTheirCells) {
  auto m = network();
  m->gst_mode_on = 1;
  m->elevation = {0.0, 10.5, 9.5, 9.0};
  m->gst_num_cells = 2;
  m->gst_ncellsingrid = {0, 2, 1};
  m->gst_link = {{}, {0, 1, 1}, {0, 3}};
  m->gst_node = {{}, {0, 1, 2}, {0, 1}};
  m->gst_gnum = {{}, {0, 1, 2}, {0, 3}};
  write_short_links(*m);
  write_bad_thalweg(*m);
  EXPECT_EQ(read_file("short_links.out"), "Links with 1 node:\n3\n");
  EXPECT_EQ(read_file("bad_thalweg.out"),
            "Problem    link    node    thalweg     cell    elev\n"
            "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, 3=difference>3.5\n"
            "0        1       2   9.900000   2   9.500000\n"
            "0        3       1   9.500000   3   9.000000\n");
  m->gst_mode_on = 0;
  write_bad_thalweg(*m);
  EXPECT_EQ(read_file("bad_thalweg.out"),
            "Problem    link    node    thalweg     cell    elev\n"
            "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, 3=difference>3.5\n");
}

TEST_F(ChannelSetUp, WithoutExplicitRoutingNothingIsSetUp) {
  model_state m;
  const std::string out = printed_by([&] {
    setup_channel_network(m);
    init_channel_routing(m);
  });
  EXPECT_EQ(out, "");
  EXPECT_FALSE(std::filesystem::exists("short_links.out"));
  EXPECT_FALSE(std::filesystem::exists("bad_thalweg.out"));
  EXPECT_TRUE(m.con_vect.empty());
  EXPECT_TRUE(m.chan_depth.empty());
  EXPECT_EQ(m.chan_volume_initial_run, 0.0);
  EXPECT_EQ(error_state.error_code, 0);
}

TEST_F(ChannelSetUp, CconnectTiesEachStreamCellToItsNode) {
  grid<int32_t> cells(2, 2, 0);
  cells(1, 1) = 1;
  cells(1, 2) = 2;
  cells(2, 2) = 3;
  std::vector<int32_t> con_vect(16, 0);
  const std::vector<int32_t> link = {0, 1, 0, 3}, node = {0, 2, 0, 1};
  cconnect(3, 4, cells, link, node, con_vect);
  std::vector<int32_t> expected(16, 0);
  expected[key(1, 2)] = 1;
  expected[key(3, 1)] = 3;
  EXPECT_EQ(con_vect, expected);
  cells(2, 1) = 4;  // beyond the cell count: a warning only
  const std::string out = printed_by([&] { cconnect(3, 4, cells, link, node, con_vect); });
  EXPECT_EQ(out, "Warning in cconnect, vect>GNUM\n");
  EXPECT_EQ(error_state.error_code, 0);
  const std::vector<int32_t> far_link = {0, 9, 0, 3};
  printed_by([&] { cconnect(3, 4, cells, far_link, node, con_vect); });
  EXPECT_EQ(error_state.error_terminate, 1);
}

}  // namespace
}  // namespace pluvo
