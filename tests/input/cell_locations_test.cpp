// The soil-moisture location list in its Richards form: cells, node counts and node lists, and
// the lists that stop the run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/printed.hpp"
#include "input/grid_fixture.hpp"
#include "input/grid_setup.hpp"

namespace {

// A 2 x 2 grid whose cell (2, 1) lies outside the watershed; the list file opened for reading.
std::unique_ptr<pluvo::model_state> richards_list(const std::string& text) {
  pluvo_test::write_file("t.loc", text);
  auto m = pluvo_test::new_model();
  m->grid_rows = m->grid_cols = 2;
  m->cell_number_grid.resize(2, 2, 0);
  m->cell_number_grid(1, 1) = 1;
  m->cell_number_grid(1, 2) = 2;
  m->cell_number_grid(2, 2) = 3;
  m->theta_out_on = 1;
  m->inf_richards_on = 1;
  EXPECT_TRUE(pluvo::checked_file_open(m->in_theta_location_fp, "t.loc", 'r'));
  return m;
}

TEST(RichardsLocations, CellsNodeCountsAndNodes) {
  pluvo_test::temp_dir dir;
  auto m = richards_list("3 4\n1 2 2\n1 \n3 \n2 2 4\n1\n2\n3\n4\n2 1 0\n");
  pluvo::read_cell_locations(*m);
  EXPECT_EQ(pluvo::error_state.error_code, 0);
  EXPECT_EQ(m->theta_cells, (std::vector<int>{2, 3, 0}));
  EXPECT_EQ(m->cell_num, (std::vector<int>{2, 4, 0}));
  EXPECT_EQ(m->theta_soil_nodes, (std::vector<std::vector<int>>{{1, 3}, {1, 2, 3, 4}, {}}));
}

TEST(RichardsLocations, ListsThatStopTheRun) {
  pluvo_test::temp_dir dir;
  const std::string short_list = "End of file reached in file t.loc, exiting\n";
  const struct {
    const char* text;
    std::string message;
  } cases[] = {
      {"2 3\n1 1 1\n2\n", short_list},         // the second location is missing
      {"1 3\n1 1 3\n2\n1\n", short_list},      // a soil node is missing
      {"1 3\n1 1 4\n1\n2\n3\n4\n",
       "Error: location 1 (row 1 col 1, 4 soil nodes) in file t.loc lies outside the grid of 2 rows and 2 columns or "
       "names more than the 3 soil nodes given.\n"},
      {"1 3\n3 1 1\n1\n",
       "Error: location 1 (row 3 col 1, 1 soil nodes) in file t.loc lies outside the grid of 2 rows and 2 columns or "
       "names more than the 3 soil nodes given.\n"},
  };
  for (const auto& c : cases) {
    auto m = richards_list(c.text);
    const std::string out = pluvo::printed_by([&] { pluvo::read_cell_locations(*m); });
    EXPECT_EQ(out.substr(0, c.message.size()), c.message) << c.text;
    EXPECT_EQ(pluvo::error_state.error_terminate, 1) << c.text;
  }
  pluvo_test::clear_errors();
}

}  // namespace
