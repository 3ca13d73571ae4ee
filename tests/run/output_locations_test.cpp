// The location lists of the point outputs, read from the files the project opener opens: each
// position is checked against the grid or network it names, and a short list stops the run.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "input/location_lists.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::scratch_dir;
using pluvo_test::write_file;

const std::string cell_cards = "IN_CELLDEPDIS_LOCATION c.loc\nOUT_CELLDEPDIS_LOCATION c.out\n";
const std::string channel_cards = "IN_HYD_LOCATION h.loc\nOUT_HYD_LOCATION h.out\n";
const std::string superjunction_cards = "SUPERLINK_JUNC_LOCATION j.loc\n";
const std::string superlink_node_cards = "SUPERLINK_NODE_LOCATION n.loc\n";

std::string project(const std::string& cards) {
  pluvo_test::write_strip_grid();
  write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() + cards);
  return "w.prj";
}

TEST(OutputLocations, CellLocationsBecomeCellNumbers) {
  scratch_dir dir;
  write_file("c.loc", "3\n1 3\n2 1\n2 2\n");
  std::vector<int> cells, rows, cols;
  const pluvo_test::set_up_result r = pluvo_test::set_up_past_refusal(project(cell_cards).c_str(), [&](auto& m) {
    cells = m.gnumlocater;
    rows = m.celrowloc;
    cols = m.celcolloc;
  });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_EQ(cells, (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 2}));
  EXPECT_EQ(cols, (std::vector<int>{0, 3, 1, 2}));
}

// A list that ends before its count, or names a place that does not exist, stops the set-up
// with one line naming the file, the value and the limit.
TEST(OutputLocations, ShortListsAndPlacesOutsideStop) {
  const struct {
    const char* label;
    std::string cards, file, list, message_head, message_tail;
  } cases[] = {
      {"cell list shorter than its count", cell_cards, "c.loc", "3\n1 1\n2 2\n", "End of file reached in file ",
       "c.loc, exiting\n"},
      {"channel list shorter than its count", channel_cards, "h.loc", "2\n", "End of file reached in file ",
       "h.loc, exiting\n"},
      {"cell off the grid", cell_cards, "c.loc", "2\n1 1\n3 1\n", "Error: location 2 (row 3 col 1) in file ",
       "c.loc lies outside the grid of 2 rows and 3 columns.\n"},
      {"channel link without a network", channel_cards, "h.loc", "1\n1 1\n", "Error: link 1 of location 1 in file ",
       "h.loc is outside the channel network of 0 links.\n"},
  };
  for (const auto& c : cases) {
    scratch_dir dir;
    write_file(c.file, c.list);
    const pluvo_test::set_up_result r = pluvo_test::set_up_past_refusal(project(c.cards).c_str());
    EXPECT_TRUE(r.stopped) << c.label;
    const size_t at = r.out.find(c.message_head);
    ASSERT_NE(at, std::string::npos) << c.label << "\n" << r.out;
    EXPECT_NE(r.out.find(c.message_tail, at), std::string::npos) << c.label << "\n" << r.out;
  }
}

// The project reader and opener, then a network filled in memory for the readers to check.
struct opened_project {
  std::unique_ptr<pluvo::model_state> m = std::make_unique<pluvo::model_state>();
  explicit opened_project(const std::string& cards) {
    pluvo::error_state = pluvo::error_state_record();
    pluvo::printed_by([&] {
      pluvo::read_run_parameters(project(cards).c_str(), *m);
      pluvo::error_state = pluvo::error_state_record();  // the refusal of the channel cards
      pluvo::open_project_files(*m);
    });
    m->nlinks = 2;
    m->max_nodes = 4;
    m->nx1 = {0, 4, 2};
    m->num_superjunctions = 2;
    m->num_superlinks = 1;
    m->nnodes = {0, 2};  // nodes 1..3
  }
  ~opened_project() {
    pluvo::free_model_state(m.get());
    pluvo::error_log_file = nullptr;
    pluvo::error_state = pluvo::error_state_record();
  }
};

TEST(OutputLocations, ChannelAndSuperjunctionPlacesAreCheckedAgainstTheirNetworks) {
  const struct {
    const char* label;
    std::string cards, file, list, message;  // "" when the list is accepted
  } cases[] = {
      {"channel places on their links", channel_cards, "h.loc", "2\n1 4\n2 1\n", ""},
      {"node past its link's end", channel_cards, "h.loc", "2\n1 4\n2 3\n",
       "Error: node 3 of link 2 (location 2) in file PATH is outside the link's 2 nodes.\n"},
      {"link past the network", channel_cards, "h.loc", "1\n3 1\n",
       "Error: link 3 of location 1 in file PATH is outside the channel network of 2 links.\n"},
      {"superjunctions of the network", superjunction_cards, "j.loc", "2\n2\n1\n", ""},
      {"superjunction past the network", superjunction_cards, "j.loc", "2\n1\n3\n",
       "Error: superjunction 3 of location 2 in file PATH is outside the network of 2 superjunctions.\n"},
      {"superlink nodes of their links", superlink_node_cards, "n.loc", "2\n1 3\n1 1\n", ""},
      {"superlink node past its link's end", superlink_node_cards, "n.loc", "1\n1 4\n",
       "Error: node 4 of superlink 1 (location 1) in file PATH is outside the link's 3 nodes.\n"},
      {"superlink past the network", superlink_node_cards, "n.loc", "1\n2 1\n",
       "Error: superlink 2 of location 1 in file PATH is outside the network of 1 superlinks.\n"},
  };
  for (const auto& c : cases) {
    scratch_dir dir;
    write_file(c.file, c.list);
    opened_project p(c.cards);
    ASSERT_EQ(pluvo::error_state.error_code, 0) << c.label;
    const std::string path = c.file == "h.loc"   ? p.m->hydrograph_location_fp.path
                             : c.file == "j.loc" ? p.m->superjunction_location_fp.path
                                                 : p.m->superlink_node_location_fp.path;
    const std::string out = pluvo::printed_by([&] { pluvo::read_output_location_lists(*p.m); });
    if (c.message.empty()) {
      EXPECT_EQ(out, "") << c.label;
      EXPECT_EQ(pluvo::error_state.error_terminate, 0) << c.label;
      continue;
    }
    std::string message = c.message;
    message.replace(message.find("PATH"), 4, path);
    EXPECT_EQ(out.find(message), 0u) << c.label << "\n" << out;
    EXPECT_EQ(pluvo::error_state.error_terminate, 1) << c.label;
  }
  scratch_dir dir;
  write_file("h.loc", "2\n1 4\n2 1\n");
  opened_project p(channel_cards);
  pluvo::read_output_location_lists(*p.m);
  EXPECT_EQ(p.m->hydrograph_link_count, 2);
  EXPECT_EQ(p.m->hlink, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(p.m->hnode, (std::vector<int32_t>{0, 4, 1}));
  EXPECT_FALSE(p.m->hydrograph_location_fp.is_open());  // read and closed
}

}  // namespace
