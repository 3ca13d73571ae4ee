// The outlets of the drain and superlink networks tied to channel nodes, and the drain links
// checked for a network that drains one way, on networks filled in memory.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "input/input_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {
namespace {

// A channel network of two links of three nodes, and two superjunctions in cells 7 and 8.
std::unique_ptr<model_state> channel_with_superlinks() {
  error_state = error_state_record();
  auto m = std::make_unique<model_state>();
  m->chan_explic_on = 1;
  m->nlinks = 2;
  m->max_nodes = 3;
  m->nx1 = {0, 3, 3};
  m->num_superjunctions = 2;
  m->superlink_junc_gnum = {0, 7, 8};
  m->storm_drain_name = "drains.txt";
  m->storm_sewer_path = "sewers.txt";
  return m;
}

// Superjunctions 1.. with these inlet types.
void set_superjunction_kinds(model_state& m, const std::vector<int>& kinds) {
  m.num_superjunctions = int(kinds.size());
  m.inlet_type.assign(1, int(kinds.size()));
  for (size_t j = 0; j < kinds.size(); ++j) m.inlet_type[0][j + 1] = kinds[j];
}

// Junctions as (kind, first, second number) and links as (upstream, downstream junction).
void set_drains(model_state& m, const std::vector<std::array<int, 3>>& junctions,
                const std::vector<std::array<int, 2>>& links) {
  m.storm_drain_on = 1;
  m.drain_net = std::make_unique<drain_network_record>();
  drain_network_record& d = *m.drain_net;
  d.junctions = int(junctions.size());
  d.links = int(links.size());
  d.inlet_type.assign(1, int(junctions.size()));
  d.junct_i.assign(junctions.size() + 1, 0);
  d.junct_j = d.junct_i;
  for (size_t j = 0; j < junctions.size(); ++j) {
    d.inlet_type[0][j + 1] = junctions[j][0];
    d.junct_i[j + 1] = junctions[j][1];
    d.junct_j[j + 1] = junctions[j][2];
  }
  d.us_junc.assign(links.size() + 1, 0);
  d.ds_junc = d.us_junc;
  for (size_t k = 0; k < links.size(); ++k) {
    d.us_junc[k + 1] = links[k][0];
    d.ds_junc[k + 1] = links[k][1];
  }
  d.drain_junc_gnum.assign(junctions.size() + 1, 0);
}

TEST(PipeOutlets, DrainNetworkChecks) {
  const struct {
    const char* label;
    std::vector<std::array<int, 3>> junctions;
    std::vector<std::array<int, 2>> links;
    int result;
    const char* printed;  // the whole output of an accepted network, the start of a stop's
  } cases[] = {
      {"one channel outlet and one overland outlet",
       {{0, 1, 1}, {0, 1, 2}, {999, 2, 3}, {888, 1, 3}},
       {{1, 3}, {2, 4}},
       0,
       "Your drain network has 1 channel outlets and 1 overland outlets \n"},
      {"no outlets at all", {{0, 1, 1}, {0, 1, 2}}, {{1, 2}}, 0,
       "Your drain network has 0 channel outlets and 0 overland outlets \n"},
      {"junctions numbered against the flow only warn",
       {{999, 1, 1}, {0, 1, 2}},
       {{2, 1}},
       0,
       "For link 1 upstream junc 2 has higher number than downstream junc 1 \n"
       "Junction numbers should increase in the downstream direction \n"
       "Your drain network has 1 channel outlets and 0 overland outlets \n"},
      {"links numbered against the flow",
       {{0, 1, 1}, {0, 1, 2}, {999, 1, 3}},
       {{2, 3}, {1, 2}},
       -1,
       "invalid network for drains\nLink 2 has higher number than downstream links \n"
       "Link numbers must increase in the downstream direction \n"},
      {"two links leave one junction",
       {{0, 1, 1}, {999, 1, 3}, {888, 1, 2}},
       {{1, 2}, {1, 3}},
       -1,
       "invalid network for drains\nSuperjunction 1 is upstream of more than one link \n"},
      {"a link leaves a channel outlet",
       {{999, 1, 1}, {0, 1, 2}},
       {{1, 2}},
       -1,
       "invalid network for drains\nwithin network junction 1 is a channel outlet \n"},
      {"a link leaves an overland outlet",
       {{888, 1, 1}, {0, 1, 2}},
       {{1, 2}},
       -1,
       "invalid network for drains\nwithin network junction 1 is a overland outlet \n"},
      {"an outlet without its channel node and link",
       {{999, 0, 0}},
       {},
       -1,
       "Drain outlet channel node not found, at superjunction 1\n"
       "Drain outlet channel link not found, at superjunction 1\n"
       "Check your drain input file to insure that superlink outlets\nterminate on stream arcs.\n"},
      {"an outlet on a link the channel network lacks",
       {{999, 3, 1}},
       {},
       -1,
       "Error: channel link 3 of junction 1 in file drains.txt is outside the channel network of 2 links.\n"},
      {"an outlet below the last node of its link",
       {{999, 2, 4}},
       {},
       -1,
       "Error: channel node 4 of junction 1 in file drains.txt is outside the 3 nodes of link 2.\n"},
      {"a link from a junction the network lacks",
       {{0, 1, 1}},
       {{1, 5}},
       -1,
       "Error: junction 5 of drain link 1 in file drains.txt is outside the network of 1 junctions.\n"},
      {"a superlink inlet without a superlink network",
       {{666, 1, 0}},
       {},
       -1,
       "Error: drain junction 1 in file drains.txt feeds a superlink network, but the project has none.\n"},
  };
  for (const auto& c : cases) {
    auto m = channel_with_superlinks();
    set_drains(*m, c.junctions, c.links);
    int result = 0;
    const std::string out = printed_by([&] { result = check_drain_network(*m); });
    EXPECT_EQ(result, c.result) << c.label;
    if (c.result == 0) {
      EXPECT_EQ(out, c.printed) << c.label;
      EXPECT_EQ(error_state.error_code, 0) << c.label;
    } else {
      EXPECT_EQ(out.find(c.printed), 0u) << c.label << "\n" << out;
      EXPECT_EQ(error_state.error_terminate, 1) << c.label;
    }
  }
}

TEST(PipeOutlets, OutletsAndSuperlinkInletsAreTied) {
  auto m = channel_with_superlinks();
  m->storm_sewer_on = 1;
  set_superjunction_kinds(*m, {999, 0});
  m->superjunct_i = {0, 2, 1};
  m->superjunct_j = {0, 3, 1};
  set_drains(*m, {{0, 1, 1}, {999, 1, 2}, {666, 2, 0}, {0, 1, 2}}, {{1, 2}, {4, 3}});
  const std::string out = printed_by([&] {
    connect_superlink_to_channel(*m);
    EXPECT_EQ(check_drain_network(*m), 0);
  });
  ASSERT_EQ(error_state.error_code, 0) << out;
  EXPECT_EQ(m->superlink_chan_con_link, (std::vector<int32_t>{0, 2, 0}));
  EXPECT_EQ(m->superlink_chan_con_node, (std::vector<int32_t>{0, 3, 0}));
  EXPECT_EQ(m->superlink_chan_con_flow.size(), 3u);
  const drain_network_record& d = *m->drain_net;
  EXPECT_EQ(d.chan_con_link, (std::vector<int32_t>{0, 0, 1, 0, 0}));
  EXPECT_EQ(d.chan_con_node, (std::vector<int32_t>{0, 0, 2, 0, 0}));
  EXPECT_EQ(d.superlink_junc, (std::vector<int32_t>{0, 0, 0, 2, 0}));
  EXPECT_EQ(d.superlink_drain_junc, (std::vector<int32_t>{0, 0, 3}));
  EXPECT_EQ(d.drain_junc_gnum[3], 8);  // the superjunction's cell
  EXPECT_EQ(d.q_to_superlink.size(), 3u);
}

TEST(PipeOutlets, ASuperlinkOutletOffTheChannelIsNamed) {
  auto m = channel_with_superlinks();
  m->storm_sewer_on = 1;
  set_superjunction_kinds(*m, {0, 999});
  m->superjunct_i = {0, 1, 2};
  m->superjunct_j = {0, 1, 0};
  const std::string out = printed_by([&] { connect_superlink_to_channel(*m); });
  EXPECT_EQ(out,
            "Superlink outlet channel node not found, at superjunction 2\n"
            "Check your superlink input file to insure that superlink outlets\nterminate on stream arcs.\n");
  EXPECT_EQ(error_state.error_code, 4000);
}

}  // namespace
}  // namespace pluvo
