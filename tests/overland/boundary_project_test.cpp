// Overland boundaries, rating curves and pumps as a user gives them: an OVERLAND_BOUNDARY table
// of every type in the mapping-table file, series from TIME_SERIES_FILE and ELEV_SERIES_FILE,
// and an OV_PUMP file, run through the real project reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/elevation_series.hpp"
#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "common/process.hpp"
#include "common/time_series.hpp"
#include "overland/overland_phases.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::number_after;
using pluvo_test::read_file;
using pluvo_test::write_file;

const char* const box_header = "north: 30\nsouth: 0\neast: 40\nwest: 0\nrows: 3\ncols: 4\n";

// One mapping-table row: the id in columns 1-6, the values from column 87.
std::string row(int id, const char* values) {
  char text[256];
  std::snprintf(text, sizeof text, "%6d%-80s%s\n", id, "class", values);
  return text;
}

// A 3 x 4 box of 10 m cells falling east and south, the outlet in row 3, column 3. The boundary
// classes: row 1 slope, fixed stage, series stage, series cfs; row 2 series m3/s, two-way
// rating curve, exchange cell, one-way rating curve; row 3 plain, exchange, plain, exchange.
void write_box(const std::string& pumps, const std::string& series_name = "curve") {
  write_file("b.msk", std::string(box_header) + "1 1 1 1\n1 1 1 1\n1 1 1 1\n");
  write_file("b.ele", std::string(box_header) + "10.45 10.35 10.25 10.15\n10.4 10.3 10.2 10.1\n"
                                                "10.35 10.25 10.15 10.05\n");
  write_file("b.idx", std::string(box_header) + "1 2 3 4\n5 6 7 9\n8 7 8 7\n");
  write_file("b.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP b.idx Boundaries\n"
                      "OVERLAND_BOUNDARY Boundaries\nNUM_IDS 9\nid type value\n" +
                          row(1, "1 0.02") + row(2, "2 10.38") + row(3, "3 1") + row(4, "4 2") + row(5, "5 3") +
                          row(6, "6 1") + row(7, "99 0") + row(8, "0 0") + row(9, "7 1") +
                          "RATINGCURVES\nNUM_IDS 1\nid name\n     1 " + series_name +
                          "\nTIME_SERIES_INDEX\nNUM_IDS 3\nid name\n     1 stage\n     2 cfs\n     3 flow\n");
  write_file("ts.txt",
             "PLUVO_TS\nstage\nABSOLUTE\n2020 6 1 10 0 10.28\nEND_TS\n"
             "PLUVO_TS\ncfs\nABSOLUTE\n2020 6 1 10 0 -0.4\nEND_TS\n"
             "PLUVO_TS\nflow\nABSOLUTE\n2020 6 1 10 0 0.002\nEND_TS\n"
             "PLUVO_TS\npumping2\nABSOLUTE\n2020 6 1 10 0 5.0\nEND_TS\n"
             "PLUVO_TS\npumping\nABSOLUTE\n2020 6 1 10 0 0.001\nEND_TS\n");
  write_file("es.txt",
             "PLUVO_ES\ncurve2\n0 100\n1 100\nEND_ES\n"
             "PLUVO_ES\ncurve\n0 0\n1 0.5\nEND_ES\n"
             "PLUVO_ES\ndrain\n0 0\n0.01 0.002\n1 0.01\nEND_ES\n");
  write_file("pumps.txt", pumps);
  write_file("b.prj", "PLUVOPROJECT\nWATERSHED_MASK b.msk\nELEVATION b.ele\nGRIDSIZE 10\nROWS 3\nCOLS 4\n"
                      "OUTROW 3\nOUTCOL 3\nOUTSLOPE 0.01\nTIMESTEP 10\nTOT_TIME 30\nMANNING_N 0.05\nPRECIP_UNIF\n"
                      "RAIN_INTENSITY 36\nRAIN_DURATION 10\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\nHYD_FREQ 5\n"
                      "MAP_FREQ 60\nSUMMARY b.sum\nOUTLET_HYDRO b.hyd\nMAPPING_TABLE b.cmt\nOV_BOUNDARY\n"
                      "TIME_SERIES_FILE ts.txt\nELEV_SERIES_FILE es.txt\nOV_PUMP pumps.txt\n");
}

struct box_run {
  std::string out;
  bool stopped = false;
  std::vector<pluvo::pump_record> pumps;
  std::string pump_series;  // the series of the last pump, as the set-up found it
  std::vector<int32_t> rating_curves;
};

box_run run_box(int threads) {
  pluvo::error_state = pluvo::error_state_record();
  pluvo::run_stopped_on_error = false;
  const int saved = pluvo::thread_count;
  pluvo::set_thread_count(threads);
  box_run r;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (std::string(phase) != "build_cell_connectivity") return;
    r.pumps = m.ov_pumps;
    if (!m.ov_pumps.empty() && m.ov_pumps.back().series) r.pump_series = m.ov_pumps.back().series->name;
    r.rating_curves = m.ov_rating_curves;
  });
  r.out = pluvo::printed_by([] { pluvo::run_pluvo("b.prj", nullptr, "b.prj"); });
  pluvo::set_phase_observer(nullptr);
  pluvo::set_thread_count(saved);
  r.stopped = pluvo::run_stopped_on_error;
  pluvo::run_stopped_on_error = false;
  pluvo::error_state = pluvo::error_state_record();
  return r;
}

TEST(BoundaryProject, EveryTypeAndTwoPumpsRunAndTheSummaryBooksThem) {
  pluvo_test::scratch_dir dir;
  write_box("3 1 ELEV drain\n\n2 1 TS pumping\n");
  const box_run r = run_box(1);
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_NE(r.out.find("3 elevation series read from file es.txt\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2 overland pumps read from file pumps.txt\n"), std::string::npos) << r.out;
  ASSERT_EQ(r.pumps.size(), 2u);
  EXPECT_EQ(r.pumps[0].cell, 9);
  EXPECT_EQ(r.pumps[0].flow_type, 0);
  EXPECT_EQ(r.pumps[1].cell, 5);
  EXPECT_EQ(r.pumps[1].flow_type, 1);
  // Whole names win over earlier series whose names only begin with them.
  EXPECT_EQ(r.pump_series, "pumping");
  EXPECT_EQ(r.rating_curves, (std::vector<int32_t>{-1, -1, -1, -1, -1, -1, 1, -1, 1, -1, -1, -1, -1}));
  const std::string sum = read_file("b.sum");
  const char* const lines[] = {
      "Volume overland lost to specified head boundary:         ",
      "Volume overland gained from specified head boundary:     ",
      "Volume overland lost to specified slope boundary:        ",
      "Volume overland gained from specified discharge boundary:",
      "Volume overland lost from specified discharge boundary:  ",
      "Volume of overland specified discharge boundary unmet:   ",
  };
  for (const char* line : lines) {
    EXPECT_NE(sum.find(line), std::string::npos) << line;
    EXPECT_GT(number_after(sum, line), 0.0) << line << "\n" << sum;
  }
  // Every boundary volume is in the books: the run's water balance closes.
  EXPECT_LT(std::fabs(number_after(sum, "Overall mass balance error =")), 1e-5) << sum;
  EXPECT_LT(std::fabs(number_after(sum, "Mass balance error of surface components =")), 1e-5) << sum;
  // The same run on eight threads writes the same summary numbers.
  const box_run eight = run_box(8);
  EXPECT_EQ(read_file("b.sum").substr(sum.find("SIMULATION TOTALS")), sum.substr(sum.find("SIMULATION TOTALS")));
}

// Pumps without boundaries: the pumped water still shows in the summary and its balance.
TEST(BoundaryProject, PumpsAloneAreBookedWithTheDischarges) {
  pluvo_test::scratch_dir dir;
  write_box("3 1 ELEV drain\n2 2 TS pumping\n");
  std::string project = read_file("b.prj");
  project.erase(project.find("OV_BOUNDARY\n"), 12);
  write_file("b.prj", project);
  const box_run r = run_box(1);
  ASSERT_FALSE(r.stopped) << r.out;
  const std::string sum = read_file("b.sum");
  EXPECT_EQ(sum.find("Volume overland lost to specified head boundary:"), std::string::npos);
  EXPECT_GT(number_after(sum, "Volume overland lost from specified discharge boundary:  "), 1.0) << sum;
  EXPECT_GT(number_after(sum, "Volume to specified discharge (out): "), 1.0) << sum;
  EXPECT_LT(std::fabs(number_after(sum, "Overall mass balance error =")), 1e-5) << sum;
  EXPECT_LT(std::fabs(number_after(sum, "mass conservation error:")), 1e-5) << sum;
}

TEST(BoundaryProject, ARatingCurveNameWithoutItsSeriesStopsTheSetUp) {
  pluvo_test::scratch_dir dir;
  write_box("3 1 ELEV drain\n", "weir");
  const box_run r = run_box(1);
  EXPECT_TRUE(r.stopped);
  EXPECT_NE(r.out.find("Error: The elevation series for a RATING_CURVE card is not found."), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("Running...."), std::string::npos);
}

TEST(BoundaryProject, AnOverlandPumpFileIsCheckedLineByLine) {
  struct pump_case {
    const char* file;
    const char* message;
  };
  const pump_case cases[] = {
      {"3 1 ELEV drain\n4 1 TS pumping\n",
       "Error: line 2 of the overland pump file pumps.txt names row 4, column 1; the grid has 3 rows and 4 "
       "columns.\n"},
      {"0 1 TS pumping\n",
       "Error: line 1 of the overland pump file pumps.txt names row 0, column 1; the grid has 3 rows and 4 "
       "columns.\n"},
      {"3 1 FLOW drain\n", "Error: line 1 of the overland pump file pumps.txt: the flow type FLOW must be ELEV or TS.\n"},
      {"3 1 ELEV sump\n", "Error: line 1 of the overland pump file pumps.txt: there is no elevation series named sump.\n"},
      {"3 1 TS drain\n", "Error: line 1 of the overland pump file pumps.txt: there is no time series named drain.\n"},
      {"3 x TS pumping\n",
       "Error: line 1 of the overland pump file pumps.txt must give a row, a column, ELEV or TS and a series name: "
       "3 x TS pumping\n"},
  };
  for (const pump_case& c : cases) {
    pluvo_test::scratch_dir dir;
    write_box(c.file);
    const box_run r = run_box(1);
    EXPECT_TRUE(r.stopped) << c.file;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Running...."), std::string::npos) << c.file;
  }
  pluvo_test::scratch_dir dir;
  write_box("");
  std::remove("pumps.txt");
  const box_run r = run_box(1);
  EXPECT_TRUE(r.stopped);
  EXPECT_NE(r.out.find("Error: Unable to open the overland pump file\n"), std::string::npos) << r.out;
}

// The series list is the run's: a second run in the process reads its own file again and
// finds its own values, not the first run's series of the same name.
TEST(BoundaryProject, EachRunReadsItsOwnElevationSeries) {
  pluvo_test::scratch_dir dir;
  write_box("3 1 ELEV drain\n");
  std::vector<double> seen;
  for (const char* top : {"0.5", "0.25"}) {
    write_file("es.txt", std::string("PLUVO_ES\ncurve\n0 0\n1 ") + top + "\nEND_ES\nPLUVO_ES\ndrain\n0 0\n1 0.01\nEND_ES\n");
    pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state&) {
      if (std::string(phase) != "build_cell_connectivity") return;
      EXPECT_EQ(pluvo::elevation_series_list.size(), 2u);
      seen.push_back(pluvo::elevation_series_value(1.0, pluvo::elevation_series_at(pluvo::find_elevation_series("curve"))));
    });
    pluvo::printed_by([] { pluvo::run_pluvo("b.prj", nullptr, "b.prj"); });
    pluvo::set_phase_observer(nullptr);
    EXPECT_TRUE(pluvo::elevation_series_list.empty());  // released with the run
  }
  EXPECT_EQ(seen, (std::vector<double>{0.5, 0.25}));
  pluvo::error_state = pluvo::error_state_record();
  pluvo::run_stopped_on_error = false;
}

// The point-source map is read with the grids, and the phase puts its water onto the cells;
// the box has no overland transport, so the transport step is switched on by hand.
TEST(BoundaryProject, APointSourceMapGivesEachCellItsDischarge) {
  pluvo_test::scratch_dir dir;
  write_box("3 1 ELEV drain\n");
  write_file("ps.asc", std::string(box_header) + "0 0.25 0 0\n0.5 0 0 0\n0 0 0 0\n");
  write_file("p.prj", read_file("b.prj") + "OV_POINT_SOURCE ps.asc\n");
  std::vector<double> flow, depth;
  double head_loss = 0.0, total = 0.0;
  const pluvo_test::set_up_result r = pluvo_test::set_up_past_refusal("p.prj", [&](pluvo::model_state& m) {
    flow = m.ov_point_source_flow;
    m.ov_con_trans_on = 1;
    m.step_interval = 10.0 / 86400.0;
    m.ov_con_last_time = m.cur_julian;
    m.cur_julian += m.step_interval;
    m.ov_con_next_time = m.cur_julian;
    pluvo::apply_cell_inflows(m);
    depth = m.ov_depth;
    head_loss = m.ov_head_bound_loss;
    total = m.ov_point_source_total;
  });
  EXPECT_FALSE(r.refused);
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_EQ(flow, (std::vector<double>{0, 0, 0.25, 0, 0, 0.5, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_NEAR(depth[5], 0.05, 1e-12);  // 0.5 m3/s for 10 s on 100 m2
  EXPECT_EQ(depth[2], 0.0);            // the held cell keeps its stage: its boundary takes the water
  EXPECT_NEAR(head_loss, 2.5, 1e-12);
  EXPECT_NEAR(total, 7.5, 1e-12);

  write_file("ps.asc", std::string(box_header) + "0 0 0 0\n0 -1 0 0\n0 0 0 0\n");
  const pluvo_test::set_up_result bad = pluvo_test::set_up_past_refusal("p.prj");
  EXPECT_TRUE(bad.stopped);
  EXPECT_NE(bad.out.find("Error: The overland point source discharge -1 m3/s of cell 6 (row 2, column 2) from map "
                         "ps.asc is outside the range 0 m3/s to 1e+06 m3/s.\n"),
            std::string::npos)
      << bad.out;
}

}  // namespace
