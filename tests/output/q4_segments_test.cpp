// Q4 segment fluxes through the project reader: the flux file written at output times from the
// flows that cross into each segment, and the refusals of maps and pair files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

const char* const q4_cards = "Q4_FLUXES\nQ4_SEGMENT_MAP seg.map\nQ4_NODES_TO_SEGS pairs.txt\nQ4_SEGMENT_FLUXES q4.out\n";

// Segments 2 (cells 2 and 3) and 5 (cells 5 and 6) of the strip; cells 1 and 4 lie outside both.
// Only the faces 1-2 and 4-5 count: the flow between the two segments does not.
TEST(Q4Segments, TheFluxFileHoldsTheMeanInflowOfEverySegment) {
  pluvo_test::scratch_dir dir;
  std::string expected = "   jday   2         5         \n";
  double sum2 = 0.0, sum5 = 0.0;
  int steps = 0;
  double base = -1.0;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (std::string(phase) != "write_time_series") return;
    if (m.ov_qx.size() > 4) {  // sized by the first overland step
      sum2 += std::fabs(m.ov_qx[1]);
      sum5 += std::fabs(m.ov_qx[4]);
    }
    steps++;
    if (m.step_count % m.hyd_write_steps != 0) return;
    const double day = m.day_of_year + m.cur_hour / 24.0 + m.cur_minute / 1440.0;
    if (base < 0.0) base = day;
    char line[128];
    std::snprintf(line, sizeof line, "%-8.3lf  %-8.2lf  %-8.2lf  \n", day - base + 1.0, sum2 / steps, sum5 / steps);
    expected += line;
    sum2 = sum5 = 0.0;
    steps = 0;
  });
  const pluvo_test::project_result r = pluvo_test::run_strip_project(q4_cards, [] {
    write_file("seg.map", std::string(pluvo_test::strip_header()) + "0 2 2\n0 5 5\n");
  });
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(r.stopped) << r.out;
  const std::string file = read_file("q4.out");
  EXPECT_EQ(file, expected);
  EXPECT_EQ(file.find("\n1.000     "), expected.find('\n')) << file;
  EXPECT_GT(std::count(file.begin(), file.end(), '\n'), 3);
}

TEST(Q4Segments, MapsWithoutSegmentsAndPairsOfUnknownSegmentsAreReported) {
  pluvo_test::scratch_dir dir;
  // A map of zeros: a warning, no flux file, and the run goes on.
  pluvo_test::project_result r = pluvo_test::run_strip_project(q4_cards, [] {
    write_file("seg.map", pluvo_test::strip_map("0"));
  });
  EXPECT_FALSE(r.stopped) << r.out;
  EXPECT_NE(r.out.find("Warning: There are no segments in the Q4 segment map.\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Warning: The PLUVO to Q4 internal segment flux option is turned on\nBut there are no "
                       "segments in the Q4 segment map or in the link-node to segment file.\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(read_file("q4.out"), "");
  // A pair that feeds segment 3, which the map does not hold.
  r = pluvo_test::run_strip_project(q4_cards, [] {
    write_file("seg.map", std::string(pluvo_test::strip_header()) + "0 2 2\n0 5 5\n");
    write_file("pairs.txt", "1\n1 1 3\n");
  });
  EXPECT_TRUE(r.stopped);
  EXPECT_NE(r.out.find("Error: In the Q4 internal stream flux to segment file, some link/node pairs \nrefer to a "
                       "segment of 0 or a segment that is not in the segment map file.\n"),
            std::string::npos)
      << r.out;
  // A flux file that cannot be made.
  r = pluvo_test::run_strip_project("Q4_FLUXES\nQ4_SEGMENT_MAP seg.map\nQ4_SEGMENT_FLUXES no/dir/q4.out\n", [] {
    write_file("seg.map", std::string(pluvo_test::strip_header()) + "0 2 2\n0 5 5\n");
  });
  EXPECT_TRUE(r.stopped);
  EXPECT_NE(r.out.find("Error: Unable to open the Q4 internal flux output file [no/dir/q4.out].\n"),
            std::string::npos)
      << r.out;
}

}  // namespace
