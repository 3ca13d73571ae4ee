// Link/node series: header and step records byte for byte, the series writer, and the headers
// of the stream series written for a network read from a project.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "channel/network_fixture.hpp"
#include "common/printed.hpp"
#include "output/linknode_series.hpp"
#include "output/output_phases.hpp"
#include "record/model_state.hpp"
#include "output/written_file.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

pluvo_test::link_spec spec(int type, int nodes, int lake = 0) {
  pluvo_test::link_spec l;
  l.type = type;
  l.nodes = nodes;
  l.lake = lake;
  return l;
}

using pluvo_test::written;

TEST(LinknodeSeries, HeaderWithAndWithoutKindLine) {
  pluvo_test::scratch_dir dir;
  const char* tail = "NUM_LINKS     3\nTIME_STEP     5\nNUM_TS        6\nSTART_TIME     1  6 2020 10  0  0\n";
  EXPECT_EQ(written([](std::FILE* f) { pluvo::write_linknode_header(f, 0, 3, 5, 6, 1, 6, 2020, 10, 0); }),
            std::string("PLUVO_LINKNODE_STREAM_DEPTH\n") + tail);
  EXPECT_EQ(written([](std::FILE* f) { pluvo::write_linknode_header(f, 31, 3, 5, 6, 1, 6, 2020, 10, 0); }),
            std::string("PLUVO_LINKNODE_STREAM_SED_FLUX\n") + tail);
  EXPECT_EQ(written([](std::FILE* f) { pluvo::write_linknode_header(f, 32, 3, 5, 6, 1, 6, 2020, 10, 0); }), tail);
}

// Link 1 a channel of three printed nodes of which two are valid, link 2 the lake of lake 1,
// link 3 a structure; node keys link * 4 + node.
TEST(LinknodeSeries, StepRecordsOfTheThreeModes) {
  pluvo_test::scratch_dir dir;
  const int32_t valid[] = {0, 2, 0, 0}, printed[] = {0, 3, 0, 0}, types[] = {0, 4, 32, 64}, lakes[] = {0, 0, 1, 0};
  double first[16] = {}, second[16] = {};
  first[5] = 2.0, first[6] = 3.0, first[7] = 4.0, first[13] = 7.25;
  second[5] = 0.5, second[6] = 1e-7, second[7] = 2.0;
  const double lake_elev[] = {0.0, 101.5};
  const char* lines[3][3] = {
      {"3   1  2.00000   1  3.00000   0  -999.999   \n", "0  -999.999   \n", "-2  7.25000   \n"},
      {"3   1  1.50000   1  3.00000   0  -999.999   \n", "-1 101.50000   \n", "0  -999.999   \n"},
      {"3   1  4.00000   1  0.00000   0  -999.999   \n", "-1 101.50000   \n", "0  -999.999   \n"},
  };
  for (int mode = 0; mode <= 2; mode++) {
    const std::string text = written([&](std::FILE* f) {
      pluvo::write_linknode_step(f, 3, valid, printed, types, mode, first, second, 4, mode, lakes, lake_elev);
    });
    EXPECT_EQ(text, "TS    " + std::to_string(mode) + "\n" + lines[mode][0] + lines[mode][1] + lines[mode][2] + "\n")
        << "mode " << mode;
  }
  EXPECT_EQ(written([&](std::FILE* f) {
              pluvo::write_linknode_step(f, 0, valid, printed, types, 4, first, second, 4, 0, lakes, lake_elev);
            }),
            "TS    4\n\n");
}

// An output interval under a minute: TIME_STEP 0 and the output times counted in seconds.
TEST(LinknodeSeries, HeaderTimesOfShortAndLongIntervals) {
  auto m = std::make_unique<pluvo::model_state>();
  struct interval {
    int steps;
    double step_s;
    int total_min;
    int time_step, num_ts;
  };
  const interval cases[] = {{30, 10.0, 30, 5, 6}, {1, 30.0, 10, 0, 20}, {3, 10.0, 10, 0, 20}, {6, 10.0, 7, 1, 7}};
  for (const interval& c : cases) {
    m->hyd_write_steps = c.steps;
    m->time_step = c.step_s;
    m->total_time_min = c.total_min;
    int time_step = -1, num_ts = -1;
    pluvo::linknode_header_times(*m, time_step, num_ts);
    EXPECT_EQ(time_step, c.time_step) << c.steps << " x " << c.step_s;
    EXPECT_EQ(num_ts, c.num_ts) << c.steps << " x " << c.step_s;
  }
}

// The writer of a contaminant series over a channel link, a lake and a structure: steps numbered
// from 0, values divided by the factor, nodes past the last given one written 0.
TEST(LinknodeSeries, WriterStepsFromZeroOverChannelLakeAndStructure) {
  pluvo_test::scratch_dir dir;
  auto m = pluvo_test::make_network({spec(4, 3), spec(32, 0, 1), spec(64, 2)}, 1);
  std::vector<double> conc(size_t(m->chan_slot_count) + 1, 0.0);
  for (int j = 1; j <= 3; j++) conc[pluvo_test::node_key(*m, j, 1)] = 10.0 * j;
  conc[pluvo_test::node_key(*m, 1, 3)] = 99.0;
  const double lake_conc[] = {0.0, 40.0, 0.0};
  pluvo::linknode_series_writer w;
  pluvo::linknode_series_set_flat(w, 27, conc.data(), lake_conc, *m);
  pluvo::linknode_series_open(w, "c", ".chan", ".conc", 10.0);
  pluvo::linknode_series_write_step(w);
  pluvo::linknode_series_write_step(w);
  pluvo::linknode_series_writer_close(w);
  const std::string step = "3   1  1.00000   1  2.00000   1  0.00000   \n0  -999.999   \n-2  0.00000   \n\n";
  EXPECT_EQ(read_file("c.chan.conc"),
            "PLUVO_LINKNODE_CONCENTRATION\nNUM_LINKS     3\nTIME_STEP     15\nNUM_TS        15\n"
            "START_TIME     0  0    0  0  0  0\nTS    0\n" + step + "TS    1\n" + step);
  EXPECT_EQ(w.lake_step_values[1], 4.0);
}

// Layout 2: values by rows [node][link], multiplied by the factor.
TEST(LinknodeSeries, NodeRowLayoutMultipliesByTheFactor) {
  pluvo_test::scratch_dir dir;
  auto m = pluvo_test::make_network({spec(4, 3), spec(4, 2)});
  const double n1[] = {0, 1.0, 2.0}, n2[] = {0, 3.0, 4.0}, n3[] = {0, 5.0, 0.0};
  const double* rows[] = {nullptr, n1, n2, n3};
  pluvo::linknode_series_writer w;
  pluvo::linknode_series_set_nodes(w, 28, rows, nullptr, *m);
  pluvo::linknode_series_open(w, "tn", "", "", 1000.0);
  pluvo::linknode_series_write_step(w);
  pluvo::linknode_series_writer_close(w);
  EXPECT_EQ(read_file("tn"), "PLUVO_LINKNODE_TOTAL_NITROGEN\nNUM_LINKS     2\nTIME_STEP     15\nNUM_TS        15\n"
                             "START_TIME     0  0    0  0  0  0\nTS    0\n"
                             "3   1  1000.00000   1  3000.00000   1  0.00000   \n2   1  2000.00000   1  0.00000   \n\n");
}

TEST(LinknodeSeries, WriterWithoutItsFileCountsItsSteps) {
  pluvo_test::scratch_dir dir;
  auto m = pluvo_test::make_network({spec(4, 2)});
  std::vector<double> v(size_t(m->chan_slot_count) + 1, 0.0);
  pluvo::linknode_series_writer w;
  pluvo::linknode_series_set_flat(w, 26, v.data(), nullptr, *m);
  const std::string out = pluvo::printed_by([&] {
    pluvo::linknode_series_open(w, "no_such/", "c", ".mass", 1.0);
    pluvo::linknode_series_write_step(w);
  });
  EXPECT_EQ(out.substr(out.find("Error: unable")),
            "Error: unable to open file no_such/c.mass\nError writing to link/node file...\n");
  EXPECT_EQ(w.series_step, 1);
}

// The stream series of a network read through the project reader: headers, then two steps
// (the channel cards are still refused, so the set-up runs past the refusal).
TEST(LinknodeSeries, StreamSeriesOfAProjectNetwork) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_strip_grid();
  write_file("c.chn",
             "PLUVO_CHAN\nALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 2\nMAXNODES 4\nCONNECT 1 2 0\nCONNECT 2 0 1 1\n"
             "LINK 1\nTRAPEZOID\nDX 10\nNODES 4\nMANNINGS_N 0.04\n"
             "NODE 1\nX_Y 5 25\nELEV 10.0\n"
             "NODE 2\nELEV 9.8\nXSEC\nMANNINGS_N 0.04\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1.5\n"
             "NODE 3\nELEV 9.6\nNODE 4\nELEV 9.4\n"
             "LINK 2\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.05\n"
             "NODE 1\nELEV 9.4\nXSEC\nBOTTOM_WIDTH 3\nBANKFULL_DEPTH 1.2\nSIDE_SLOPE 2\n"
             "NODE 2\nELEV 9.2\nNODE 3\nELEV 9.0\n");
  write_file("c.stm",
             "GRIDSTREAMFILE\nSTREAMCELLS 5\n"
             "CELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1.0\nCELLIJ 1 2\nNUMNODES 1\nLINKNODE 1 2 1.0\n"
             "CELLIJ 1 3\nNUMNODES 1\nLINKNODE 1 3 1.0\nCELLIJ 2 3\nNUMNODES 2\nLINKNODE 2 1 0.5\nLINKNODE 2 2 0.5\n"
             "CELLIJ 2 2\nNUMNODES 0\n");
  write_file("c.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() +
                          "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\nCHAN_DEPTH c.dep\n"
                          "CHAN_DISCHARGE c.dis\nCHAN_VELOCITY c.vel\nCHAN_STAGE c.stg\n");
  int links = 0;
  const pluvo_test::set_up_result r = pluvo_test::set_up_past_refusal("c.prj", [&](pluvo::model_state& m) {
    links = m.nlinks;
    m.cur_day = 1, m.cur_month = 6, m.cur_year = 2020, m.cur_hour = 10, m.cur_minute = 0;
    pluvo::write_linknode_headers(m);
    // Water 0.5 m deep at every computational node (the set-up keeps NODES - 1 of each link),
    // 2 m3/s through 4 m2; the second node of link 2 has no flow area.
    for (int l = 1; l <= m.nlinks; l++)
      for (int j = 1; j <= m.nx[size_t(l)]; j++) {
        const size_t k = size_t(l) * size_t(m.chan_node_extent) + size_t(j);
        m.yp[k] = m.bel[k] + 0.5;
        m.qp[k] = 2.0;
        m.area[k] = l == 2 && j == 2 ? 0.0 : 4.0;
      }
    m.hyd_write_steps = 1;
    for (int step = 1; step <= 2; step++) {
      m.step_count = step;
      pluvo::write_time_series(m);
    }
  });
  ASSERT_FALSE(r.refused) << r.out;  // the channel series are built
  ASSERT_FALSE(r.stopped) << r.out;
  ASSERT_EQ(links, 2);
  // HYD_FREQ 5 at 10 s steps over 30 minutes.
  const std::string head = "NUM_LINKS     2\nTIME_STEP     5\nNUM_TS        6\nSTART_TIME     1  6 2020 10  0  0\n";
  // Computational nodes lie between the given ones: beds 9.9, 9.7, 9.5 and 9.3, 9.1.
  struct series {
    const char* file;
    const char* kind;
    const char* link1;
    const char* link2;
  };
  const series all[] = {
      {"c.dep", "PLUVO_LINKNODE_STREAM_DEPTH\n", "3   1  0.50000   1  0.50000   1  0.50000   \n",
       "2   1  0.50000   1  0.50000   \n"},
      {"c.dis", "PLUVO_LINKNODE_STREAM_FLOW\n", "3   1  2.00000   1  2.00000   1  2.00000   \n",
       "2   1  2.00000   1  2.00000   \n"},
      {"c.vel", "PLUVO_LINKNODE_STREAM_VELOCITY\n", "3   1  0.50000   1  0.50000   1  0.50000   \n",
       "2   1  0.50000   1  0.00000   \n"},
      {"c.stg", "PLUVO_LINKNODE_STREAM_STAGE\n", "3   1  10.40000   1  10.20000   1  10.00000   \n",
       "2   1  9.80000   1  9.60000   \n"},
  };
  for (const series& c : all) {
    const std::string step = std::string(c.link1) + c.link2 + "\n";
    EXPECT_EQ(read_file(c.file), c.kind + head + "TS    0\n" + step + "TS    1\n" + step) << c.file;
  }
}

}  // namespace
