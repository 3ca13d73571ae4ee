// The point files, link/node series, hotstarts and end-of-run files of whole runs, read back
// from what the program wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "output/series_files.hpp"
#include "record/model_state.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::run_command;
using pluvo_test::write_file;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<double> numbers_of(const std::string& line) {
  std::vector<double> v;
  std::istringstream in(line);
  for (double x; in >> x;) v.push_back(x);
  return v;
}

// Column c of every line.
std::vector<double> column(const std::string& text, size_t c) {
  std::vector<double> v;
  for (const std::string& line : lines_of(text)) {
    const std::vector<double> n = numbers_of(line);
    v.push_back(c < n.size() ? n[c] : NAN);
  }
  return v;
}

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The values of a map file after its six header lines, row by row.
std::vector<double> map_values(const std::string& text) {
  std::vector<double> v;
  const std::vector<std::string> lines = lines_of(text);
  for (size_t i = 6; i < lines.size(); ++i)
    for (double x : numbers_of(lines[i])) v.push_back(x);
  return v;
}

std::string run_binary(const std::string& project) {
  int status = -1;
  const std::string out = run_command(std::string(PLUVO_BINARY) + " " + project + " 2>&1", status);
  EXPECT_EQ(status, 0) << out;
  return out;
}

// The demo with its streams: hydrographs at a stream node and at the outlet node, the channel
// depth and discharge series, the maximum depths, the VOK file and a channel hotstart; a second
// run started from that hotstart begins with the same water surfaces.
TEST(SeriesRun, TheDemoWritesItsPointFilesSeriesAndAHotstartTheNextRunStartsFrom) {
  pluvo_test::scratch_dir dir;
  pluvo_test::copy_demo_project("TOT_TIME 150");
  write_file("h.loc", "2\n19 2\n40 2\n");  // link 40 node 2 is the outlet node
  write_file("g.loc", "1\n40 1\n");
  const std::string demo = read_file("demo.prj");
  write_file("demo.prj", demo +
                             "IN_HYD_LOCATION h.loc\nOUT_HYD_LOCATION h.out\nCHAN_DEPTH demo.cdp\n"
                             "CHAN_DISCHARGE demo.cdq\nWRITE_CHAN_HOTSTART hot\nVOK_HYDRO demo.vok\n"
                             "FLOOD_GRID maxdepth.asc\nWRITE_OV_HOTSTART ov.hot\nOUT_DEP_LOCATION h.dep\n"
                             "IN_GWFLUX_LOCATION g.loc\nOUT_GWFLUX_LOCATION g.out\nOUT_CON_LOCATION c.out\n"
                             "OUT_MASS_LOCATION m.out\nLAKE_OUTPUT l.out\nFLOOD_STREAM demo.fls\n"
                             "WRITE_SM_HOTSTART sm.hot\n");
  run_binary("demo.prj");

  // A line every 15 minutes from the start; the outlet node's discharge is the outlet's.
  const std::string points = read_file("h.out");
  const std::string outlet = read_file("demo.hyd");
  ASSERT_EQ(lines_of(points).size(), 11u) << points;
  const std::vector<double> at_outlet = column(points, 2), q = column(outlet, 1);
  ASSERT_EQ(q.size(), 11u);
  for (size_t i = 0; i < q.size(); ++i) EXPECT_NEAR(at_outlet[i], q[i], 1e-8) << i;
  EXPECT_GT(column(points, 1).back(), 1.0);

  // The other point files: depths, the stream-aquifer exchange (none without STREAM_LOSS), and
  // the time alone where the run carries no constituents; no channel lake, no lake lines.
  const std::string depths = read_file("h.dep");
  ASSERT_EQ(lines_of(depths).size(), 11u) << depths;
  EXPECT_GT(column(depths, 2).back(), 0.5);
  const std::vector<std::string> exchange = lines_of(read_file("g.out"));
  ASSERT_EQ(exchange.size(), 11u);
  EXPECT_EQ(exchange.back(), "  150.00000000       0.00000000 ");
  for (const char* name : {"c.out", "m.out"}) {
    const std::vector<std::string> lines = lines_of(read_file(name));
    ASSERT_EQ(lines.size(), 11u) << name;
    EXPECT_EQ(lines.back(), "  150.00000000 ") << name;
  }
  EXPECT_EQ(read_file("l.out"), "");

  // The largest depth of every node is at least its depth at the end.
  const std::vector<std::string> flood = lines_of(read_file("demo.fls"));
  const std::vector<std::string> depth_series = lines_of(read_file("demo.cdp"));
  ASSERT_GT(flood.size(), 7u);
  EXPECT_EQ(flood[0], "PLUVO_LINKNODE_FLOOD_STREAM_DEPTH");
  EXPECT_EQ(flood[5], "TS    0");
  size_t last = 0;
  for (size_t i = 0; i < depth_series.size(); ++i)
    if (depth_series[i] == "TS    10") last = i;
  ASSERT_GT(last, 0u);
  int nodes_compared = 0;
  for (int l = 1; l <= 40; ++l) {
    const std::vector<double> most = numbers_of(flood[5 + size_t(l)]);
    const std::vector<double> end = numbers_of(depth_series[last + size_t(l)]);
    ASSERT_EQ(most.size(), end.size()) << l;
    for (size_t k = 2; k < most.size(); k += 2, ++nodes_compared) EXPECT_GE(most[k] + 5e-6, end[k]) << l;
  }
  EXPECT_GT(nodes_compared, 40);
  const std::vector<std::string> moisture = lines_of(read_file("sm.hot"));
  ASSERT_EQ(moisture.size(), 6u + 33u);
  EXPECT_EQ(moisture[4], "rows:    33");

  for (const char* series : {"demo.cdp", "demo.cdq"}) {
    const std::string text = read_file(series);
    EXPECT_EQ(count_of(text, "\nTS    "), 11u) << series;
    EXPECT_NE(text.find("\nTS    0\n"), std::string::npos) << series;
    EXPECT_NE(text.find("\nTS    10\n"), std::string::npos) << series;
  }

  // The VOK file: the two points by place, the outlet and point columns ten to a line.
  const std::vector<std::string> vok = lines_of(read_file("demo.vok"));
  ASSERT_GE(vok.size(), 13u);
  EXPECT_EQ(vok[0], "PLUVEIA_VOK_HYDROGRAPH_FILE");
  EXPECT_EQ(vok[1], "2");
  EXPECT_EQ(vok[4], "30");  // fifteen minutes of 30 s steps
  EXPECT_EQ(vok[5], "11");
  EXPECT_EQ(vok[6], "19 2");
  EXPECT_EQ(vok[7], "40 2");
  std::vector<double> vok_q = numbers_of(vok[8]);
  for (double x : numbers_of(vok[9])) vok_q.push_back(x);
  ASSERT_EQ(vok_q.size(), 11u);
  for (size_t i = 0; i < q.size(); ++i) EXPECT_NEAR(vok_q[i], q[i], 5e-5) << i;

  // Each cell's maximum depth is at least its depth at the end.
  const std::vector<double> maxima = map_values(read_file("maxdepth.asc"));
  const std::vector<double> final_depth = map_values(read_file("ov.hot"));
  ASSERT_EQ(maxima.size(), final_depth.size());
  int wet = 0;
  for (size_t i = 0; i < maxima.size(); ++i) {
    if (maxima[i] == -9999.99) continue;
    EXPECT_GE(maxima[i] + 5e-5, final_depth[i]) << i;
    wet += maxima[i] > 0.0;
  }
  EXPECT_GT(wet, 100);

  // The hotstart lists every node one to a line; the next run reads back the same surfaces.
  const std::vector<std::string> hot = lines_of(read_file("hot.dht"));
  ASSERT_EQ(hot.size(), lines_of(read_file("hot.qht")).size());
  write_file("next.prj", demo + "READ_CHAN_HOTSTART hot\n");
  size_t nodes = 0, checked = 0;
  const pluvo_test::set_up_result r = pluvo_test::set_up_past_refusal("next.prj", [&](pluvo::model_state& m) {
    for (int l = 1; l <= m.nlinks; ++l)
      if (!(m.ltype[size_t(l)] & (32 | 64))) nodes += size_t(m.nx[size_t(l)]);
    for (const std::string& line : hot) {
      const std::vector<double> v = numbers_of(line);
      ASSERT_EQ(v.size(), 3u) << line;
      const size_t key = size_t(v[1]) * size_t(m.chan_node_extent) + size_t(v[0]);
      EXPECT_NEAR(m.yp[key], v[2], 5e-7) << line;
      ++checked;
    }
  });
  EXPECT_FALSE(r.refused) << r.out;
  EXPECT_FALSE(r.stopped) << r.out;
  EXPECT_EQ(checked, hot.size());
  EXPECT_EQ(nodes, hot.size());

  // Beside them the node list under the name itself: node, link, depth and discharge of the same
  // nodes, which a run reads back with HOTSTART_IS_DEPTH.
  const std::vector<std::string> list = lines_of(read_file("hot"));
  ASSERT_EQ(list.size(), hot.size());
  const std::vector<std::string> flows = lines_of(read_file("hot.qht"));
  write_file("list.prj", demo + "READ_CHAN_HOTSTART hot\nHOTSTART_IS_DEPTH\n");
  size_t listed = 0;
  const pluvo_test::set_up_result from_list = pluvo_test::set_up_past_refusal("list.prj", [&](pluvo::model_state& m) {
    for (size_t i = 0; i < list.size(); ++i) {
      const std::vector<double> v = numbers_of(list[i]), surface = numbers_of(hot[i]), q = numbers_of(flows[i]);
      ASSERT_EQ(v.size(), 4u) << list[i];
      ASSERT_EQ(v[0], surface[0]) << list[i];
      ASSERT_EQ(v[1], surface[1]) << list[i];
      const size_t key = size_t(v[1]) * size_t(m.chan_node_extent) + size_t(v[0]);
      EXPECT_NEAR(m.chan_depth[key], v[2], 5e-7) << list[i];
      EXPECT_NEAR(m.yp[key], surface[2], 5e-4) << list[i];
      EXPECT_NEAR(m.qp[key], q[2], 5e-4) << list[i];
      ++listed;
    }
  });
  EXPECT_FALSE(from_list.refused) << from_list.out;
  EXPECT_FALSE(from_list.stopped) << from_list.out;
  EXPECT_EQ(listed, list.size());
}

// Overland flow only, a hydrograph line every step: the file's volume is the summary's outlet
// volume, which the optimisation file's closing line repeats.
TEST(SeriesRun, HydrographVolumeIsTheSummaryOutletVolumeAndClosesTheOptimisationFile) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_strip_grid();
  std::string cards = pluvo_test::strip_cards();
  cards.replace(cards.find("TIMESTEP 10"), 11, "TIMESTEP 30");
  cards.replace(cards.find("HYD_FREQ 5"), 10, "HYD_FREQ 0.5");
  write_file("w.prj", "PLUVOPROJECT\n" + cards + "OPTIMIZE w.opt\nVOK_HYDRO w.vok\nFLOOD_GRID nodir/max.asc\n");
  run_binary("w.prj");
  const std::string hydrograph = read_file("w.hyd");
  double volume = 0.0;
  for (double q : column(hydrograph, 1)) volume += q * 30.0;
  EXPECT_GT(volume, 1.0);
  EXPECT_NEAR(volume, pluvo_test::number_after(read_file("w.sum"), "Total amount of discharge="), 0.005);
  const std::vector<std::string> opt = lines_of(read_file("w.opt"));
  ASSERT_EQ(opt.size(), 2u);
  char closing[64];
  std::snprintf(closing, sizeof closing, "%d %13lf", 2, numbers_of(opt[1])[1]);
  EXPECT_EQ(opt[1], closing);
  EXPECT_NEAR(numbers_of(opt[1])[1], volume, 1e-5);
  const std::vector<std::string> vok = lines_of(read_file("w.vok"));
  ASSERT_GE(vok.size(), 6u);
  EXPECT_EQ(vok[1], "0");
  EXPECT_EQ(vok[2], "20200601");
  EXPECT_EQ(vok[3], "1000");
  EXPECT_EQ(vok[4], "1");
  EXPECT_EQ(vok[5], std::to_string(lines_of(hydrograph).size()));
  // A maximum-depth map the run cannot open goes to the fail-safe name.
  const std::string failsafe = read_file("maxdep_failsafe.asc");
  const std::string header =
      "ncols \t3\nnrows \t2\nxllcenter      5.00\nyllcenter     15.00\ncellsize     10.00\nNODATA_value -9999.99\n";
  EXPECT_EQ(failsafe.substr(0, header.size()), header);
  EXPECT_EQ(map_values(failsafe).size(), 6u);
}

// The water-quality model's inflow file: its header, then the day of the year and the outlet
// discharge at every output time.
TEST(SeriesRun, Q4InflowFileHasALinePerOutputTime) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_strip_grid();
  write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() + "Q4_INPUT q4.out\n");
  run_binary("w.prj");
  std::string expected = "  output from PLUVO\n\n    JDAY     QIN\n";
  for (int i = 0; i < 7; ++i) expected += "153.4    0.0    \n";  // 1 June 2020 from 10:00, half an hour
  EXPECT_EQ(read_file("q4.out"), expected);
}

// In a binary dataset run the maximum depths are one step record closed by the integer 210.
TEST(SeriesRun, BinaryMaximumDepthDatasetEndsWithTheEndCode) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_strip_grid();
  write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() + "MAP_TYPE 2\nFLOOD_GRID max.dat\n");
  run_binary("w.prj");
  const std::string data = read_file("max.dat");
  ASSERT_GT(data.size(), 4u);
  EXPECT_EQ(data.substr(data.size() - 4), std::string("\xd2\x00\x00\x00", 4));
}

// The record says where the water table reached the surface; the saturated-source map shows it
// over the grid, inactive cells as 0.
TEST(EndOfRunFiles, SaturatedSourceMapOverTheGrid) {
  pluvo_test::scratch_dir dir;
  auto m = std::make_unique<pluvo::model_state>();
  m->cell_count = 4;
  m->grid_rows = 2, m->grid_cols = 3;
  m->grid_north = 30.0, m->grid_south = 10.0, m->grid_east = 30.0, m->grid_west = 0.0;
  m->cell_number_grid.resize(2, 3);
  m->cell_number_grid(1, 1) = 1, m->cell_number_grid(1, 2) = 2, m->cell_number_grid(2, 2) = 3;
  m->cell_number_grid(2, 3) = 4;
  m->yes_exfil = {0, 1, 0, 0, 1};
  m->exfil_cells_present = 1;
  pluvo::write_end_of_run_files(*m);
  EXPECT_EQ(pluvo_test::read_file("satsource_file"),
            "north:     30.00\nsouth:     10.00\neast:     30.00\nwest:      0.00\nrows:     2\ncols:     3\n"
            "1 0 0 \n0 0 1 \n");
  // Without a cell that lets groundwater out there is no map.
  std::remove("satsource_file");
  m->exfil_cells_present = 0;
  pluvo::write_end_of_run_files(*m);
  EXPECT_EQ(pluvo_test::read_file("satsource_file"), "");
}

}  // namespace
