// The basin's relative soil water at an event's end, from Richards columns set up by the real
// soil-table reader.
#include <gtest/gtest.h>

#include <string>

#include "common/checked_file.hpp"
#include "output/output_phases.hpp"
#include "run/scratch_dir.hpp"
#include "soil/richards_column_fixture.hpp"

namespace {

// Each column's water over its saturated content down to the soil-moisture depth, averaged over
// every cell, a boundary cell counting as dry.
TEST(EndEvent, FinalSoilWaterOfTheRichardsColumns) {
  pluvo_test::scratch_dir dir;
  pluvo_test::richards_columns columns(4, pluvo_test::brooks_soil_table(0.2, 5.0));
  pluvo::model_state& m = columns.m;
  m.cell_size = 10.0;
  m.long_term_on = 1;
  m.soil_moist_depth_cm = 10.0;
  m.THETA[1][1] = 0.45;  // the top 5 cm of cell 1 saturated
  m.ov_boundary_on = 1;
  m.boundary_type.assign(5, 1);
  m.boundary_type[4] = 2;  // a head boundary cell: passed over
  m.event_ended = 1;
  m.event_number = 1;
  ASSERT_TRUE(pluvo::checked_file_open(m.summary_fp, "run.sum", 'w'));
  pluvo::end_event(m);
  pluvo::checked_file_close(m.summary_fp);
  const double dry = 0.2 / 0.45;
  EXPECT_NEAR(m.final_soil_water, ((1.0 + dry) / 2.0 + 2.0 * dry) / 4.0, 1e-12);
  const std::string text = pluvo_test::read_file("run.sum");
  EXPECT_NE(text.find("final basin-averaged soil water content: 40.28 percent\n"), std::string::npos) << text;
}

}  // namespace
