// Sand and suspended sediment through a Y network with a lake, read by the real project reader
// and then stepped by the channel sediment step: nothing is created or lost, the lakes settle what
// their water lets fall, and a capacity that is not a number stops the run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel_routines.hpp"
#include "common/error_state.hpp"
#include "quality/contaminant_fixture.hpp"
#include "quality/erosion_fixture.hpp"
#include "record/model_state.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo::model_state;

// Links 1 and 2 meet in link 3, which runs into the lake (link 4) on cell (2, 2); the lake spills
// over a weir (link 5) into link 6 at the outlet. The stream links are erodible trapezoids with
// 0.2 m of loose bed.
std::string y_network() {
  std::string t = "PLUVO_CHAN\nALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 6\nMAXNODES 3\n"
                  "CONNECT 1 3 0\nCONNECT 2 3 0\nCONNECT 3 4 2 1 2\nCONNECT 4 5 1 3\nCONNECT 5 6 1 4\n"
                  "CONNECT 6 0 1 5\n";
  const auto link = [&](int l, double top) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "LINK %d\nTRAP_ERODE\nDX 10\nNODES 3\nMANNINGS_N 0.04\nMAX_EROSION 0.2\n"
                  "NODE 1\nELEV %.2f\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1\nMAX_EROSION 0.2\n"
                  "NODE 2\nELEV %.2f\nMAX_EROSION 0.2\nNODE 3\nELEV %.2f\nMAX_EROSION 0.2\n",
                  l, top, top - 0.05, top - 0.1);
    t += text;
  };
  link(1, 10.5);
  link(2, 10.45);
  link(3, 10.35);
  t += "LINK 4\nLAKE\nMINWSE 9.9\nINITWSE 10.15\nMAXWSE 11\nNUMPTS 1\n2 2\n"
       "LINK 5\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE WEIR\nCREST_LENGTH 2\nCREST_LOW_ELEV 10.1\n"
       "DISCHARGE_COEFF_FORWARD 0.6\nDISCHARGE_COEFF_REVERSE 0.5\n";
  link(6, 10.0);
  return t;
}

const char* y_stream =
    "GRIDSTREAMFILE\nSTREAMCELLS 4\n"
    "CELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1.0\n"
    "CELLIJ 2 1\nNUMNODES 1\nLINKNODE 2 1 1.0\n"
    "CELLIJ 1 2\nNUMNODES 1\nLINKNODE 3 1 1.0\n"
    "CELLIJ 1 3\nNUMNODES 1\nLINKNODE 6 1 1.0\n";

pluvo_test::set_up_result read_y_project(const std::function<void(model_state&)>& inspect) {
  pluvo_test::write_strip_grid();
  pluvo_test::write_file("land.idx", std::string(pluvo_test::strip_header()) + "1 1 1\n1 1 1\n");
  pluvo_test::write_file("e.cmt", pluvo_test::erosion_mapping_table());
  pluvo_test::write_file("c.chn", y_network());
  pluvo_test::write_file("c.stm", y_stream);
  pluvo_test::write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() +
                                      "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\nMAPPING_TABLE e.cmt\n"
                                      "SOIL_EROSION 1\nOUTLET_SED_FLUX e.sed\nSAND_SIZE 0.062\nWATER_TEMP 20\n"
                                      "SED_POROSITY 0.4\n");
  return pluvo_test::set_up_past_refusal("w.prj", inspect);
}

int key(const model_state& m, int link, int node) { return link * m.chan_node_extent + node; }

bool stream_link(int link) { return link != 4 && link != 5; }

// Class k's slot of node key at the per-class layout, and of the sand stores.
size_t node_class(const model_state& m, int k, int at) { return size_t(at) * size_t(m.ov_sed->num_sed_classes + 1) + size_t(k); }
size_t sand_slot(const model_state& m, int k, int at) { return size_t(at) * size_t(m.ov_sed->num_sed_classes + 2) + size_t(k); }

struct sediment_totals {
  double sand = 0.0, fines = 0.0;
};

// Sand in every store (nodes and lake) and suspended fines in the nodes and the lake.
sediment_totals held(const model_state& m) {
  const pluvo::ov_sed_record& s = *m.ov_sed;
  const int n = s.num_sed_classes;
  sediment_totals t;
  const auto sand_of = [&](const std::vector<double>& stores, int at) {
    for (int k = 1; k <= n + 1; ++k)
      if (k == n + 1 || s.sand[size_t(k)]) t.sand += stores[sand_slot(m, k, at)];
  };
  for (int l = 1; l <= m.nlinks; ++l)
    for (int j = 1; j <= m.nx[size_t(l)]; ++j) {
      sand_of(m.ch_sand_vol, key(m, l, j));
      if (!stream_link(l)) continue;
      for (int k = 1; k <= n; ++k)
        if (!s.sand[size_t(k)]) t.fines += m.ch_wash_vol[node_class(m, k, key(m, l, j))];
    }
  sand_of(m.sand_vol_deposited_lakebank, 1);
  for (int k = 1; k <= n; ++k)
    if (!s.sand[size_t(k)]) t.fines += m.SS_vol_lake[node_class(m, k, 1)];
  return t;
}

// Steady water in the stream links (0.3 m deep), the lake taking its cell, suspended fines in
// every node and the lake, sand of every class on every bed.
void fill_network(model_state& m) {
  const pluvo::ov_sed_record& s = *m.ov_sed;
  const int n = s.num_sed_classes;
  for (int c = 1; c <= m.cell_count; ++c) m.ov_depth[size_t(c)] = 0.0;  // the cells deliver nothing
  const int lake_cell = m.cell_number_grid(2, 2);
  m.lake_mask[size_t(lake_cell)] = 1;
  for (int l = 1; l <= m.nlinks; ++l) {
    if (!stream_link(l)) continue;
    for (int j = 1; j <= m.nx[size_t(l)]; ++j) {
      const int at = key(m, l, j);
      m.chan_depth[size_t(at)] = 0.3;
      m.area[size_t(at)] = 2.0 * 0.3 + 0.3 * 0.3;
      for (int k = 1; k <= n; ++k) {
        if (s.sand[size_t(k)])
          m.ch_sand_vol[sand_slot(m, k, at)] = 0.05 * k;
        else
          m.ch_wash_vol[node_class(m, k, at)] = 0.01 * k + 0.001 * j;
      }
    }
  }
  for (int k = 1; k <= n; ++k) {
    if (s.sand[size_t(k)]) continue;
    m.SS_vol_lake[node_class(m, k, 1)] = 0.5;
    m.SS_conc_vol_lake[node_class(m, k, 1)] = 0.5 / m.lake_volume[1];
  }
}

// Flows of one step: links 1 and 2 share 1 m3/s, the lake passes it over the weir to link 6;
// while `reversed`, link 1 runs back up at 0.2 m3/s.
void set_flows(model_state& m, bool reversed, double dt) {
  const double flow[] = {0.0, reversed ? -0.2 : 0.6, 0.4, reversed ? 0.2 : 1.0, 1.0, 1.0, 1.0};
  for (int l = 1; l <= m.nlinks; ++l)
    for (int j = 1; j <= std::max(m.nx[size_t(l)], 1); ++j) {
      const int at = key(m, l, j);
      m.qp[size_t(at)] = flow[l];
      m.qp_vol_sed[size_t(at)] = flow[l] * dt;
    }
}

// Over 1000 steps sand stays in the stores or leaves at the outlet, and the fines stay in the
// nodes and the lake, settle on the lake's cell or leave at the outlet, to 1e-12.
TEST(ChannelSedimentNetwork, YNetworkKeepsSandAndFines) {
  pluvo_test::scratch_dir dir;
  sediment_totals before, after;
  double sand_out = 0, wash_out = 0, settled = 0, lake_sand = 0, layer3 = 0, reached_6 = 0;
  int code = -1;
  const auto r = read_y_project([&](model_state& m) {
    if (!m.ov_sed || m.nlakes != 1) return;
    fill_network(m);
    before = held(m);
    const int lake_cell = m.cell_number_grid(2, 2);
    std::vector<double> deposit_before;
    for (int k = 1; k <= m.ov_sed->num_sed_classes; ++k)
      deposit_before.push_back(m.ov_sed->vol_sed[m.ov_sed->cell_class_layer(lake_cell, k, 3)]);
    for (int step = 0; step < 1000; ++step) {
      set_flows(m, step >= 300 && step < 400, 10.0);
      pluvo::channel_sediment_step(m, 10.0);
      if (pluvo::error_state.error_terminate) break;
      for (int k = 1; k <= m.ov_sed->num_sed_classes; ++k)
        if (!m.ov_sed->sand[size_t(k)]) reached_6 += m.ch_wash_vol[node_class(m, k, key(m, 6, 1))] > 0.0 ? 0.0 : 1.0;
    }
    code = pluvo::error_state.error_code;
    after = held(m);
    sand_out = m.sand_out_total;
    wash_out = m.wash_out_total;
    settled = m.GLOBAL_SS_vol_lake_settled[node_class(m, 0, 1)];
    lake_sand = m.sand_vol_deposited_lakebank[sand_slot(m, 0, 1)];
    for (int k = 1; k <= m.ov_sed->num_sed_classes; ++k)
      if (!m.ov_sed->sand[size_t(k)])
        layer3 += m.ov_sed->vol_sed[m.ov_sed->cell_class_layer(lake_cell, k, 3)] - deposit_before[size_t(k - 1)];
  });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_FALSE(r.refused) << r.out;
  EXPECT_EQ(code, 0);
  ASSERT_GT(before.sand, 0.0);
  ASSERT_GT(before.fines, 0.0);
  // Everything moved somewhere: out at the outlet, into the lake, onto the lake's cell.
  EXPECT_GT(sand_out, 0.0);
  EXPECT_GT(lake_sand, 0.0);
  EXPECT_GT(wash_out, 0.0);
  EXPECT_GT(settled, 0.0);
  EXPECT_NEAR(layer3, settled, 1e-12 * settled);
  EXPECT_NEAR(after.sand + sand_out, before.sand, 1e-12 * before.sand);
  EXPECT_NEAR(after.fines + settled + wash_out, before.fines, 1e-12 * before.fines);
  EXPECT_EQ(reached_6, 0.0);  // the lake feeds the link below the weir all along
}

// A lake cell as deep as its lake: a class whose fall in one step exceeds the depth settles all
// the lake holds, a slow one its fall over the depth.
TEST(ChannelSedimentNetwork, FastClassSettlesAllItHolds) {
  pluvo_test::scratch_dir dir;
  double fast_left = -1, fast_layer = 0, slow_settled = 0, slow_expected = 0;
  const auto r = read_y_project([&](model_state& m) {
    if (!m.ov_sed || m.nlakes != 1) return;
    pluvo::ov_sed_record& s = *m.ov_sed;
    fill_network(m);
    set_flows(m, false, 0.0);  // still water
    for (int l = 1; l <= m.nlinks; ++l)
      for (int j = 1; j <= m.nx[size_t(l)]; ++j) m.qp[size_t(key(m, l, j))] = 0.0;
    const int cell = m.cell_number_grid(2, 2);
    const double h = 0.05;
    m.lake_elev[1] = m.elevation[size_t(cell)] + h;
    m.lake_volume[1] = h * m.cell_size * m.cell_size;
    const int fast = s.sed_class[1], slow = s.sed_class[2];
    s.settling_velocity[size_t(fast)] = 0.01;   // 0.1 m in 10 s
    s.settling_velocity[size_t(slow)] = 0.001;  // 0.01 m in 10 s
    for (int k : {fast, slow}) {
      m.SS_vol_lake[node_class(m, k, 1)] = 0.3;
      m.SS_conc_vol_lake[node_class(m, k, 1)] = 0.3 / m.lake_volume[1];
    }
    const double fast_before = s.vol_sed[s.cell_class_layer(cell, fast, 3)];
    pluvo::channel_sediment_step(m, 10.0);
    fast_left = m.SS_vol_lake[node_class(m, fast, 1)];
    fast_layer = s.vol_sed[s.cell_class_layer(cell, fast, 3)] - fast_before;
    slow_settled = m.GLOBAL_SS_vol_lake_settled[node_class(m, slow, 1)];
    slow_expected = 10.0 * 0.001 / h * 0.3;
  });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_EQ(fast_left, 0.0);
  EXPECT_NEAR(fast_layer, 0.3, 1e-15);
  EXPECT_NEAR(slow_settled, slow_expected, 1e-15);
}

// A node that runs dry keeps the sediment it holds (and what still flows into it) with no
// concentration; nothing is lost.
TEST(ChannelSedimentNetwork, DryNodeKeepsItsSediment) {
  pluvo_test::scratch_dir dir;
  double before = -1, after = -1, conc = -1, mg = -1;
  sediment_totals start, end;
  double wash_out = 0, settled = 0;
  const auto r = read_y_project([&](model_state& m) {
    if (!m.ov_sed || m.nlakes != 1) return;
    fill_network(m);
    set_flows(m, false, 10.0);
    const int dry = key(m, 2, m.nx[2]);
    m.area[size_t(dry)] = 0.0;
    m.chan_depth[size_t(dry)] = 0.0;
    const int k = m.ov_sed->sed_class[1];
    before = m.ch_wash_vol[node_class(m, k, dry)];
    start = held(m);
    pluvo::channel_sediment_step(m, 10.0);
    end = held(m);
    after = m.ch_wash_vol[node_class(m, k, dry)];
    conc = m.SS_node_conc_vol[node_class(m, k, dry)];
    mg = m.chan_sed_conc[node_class(m, k, dry)];
    wash_out = m.wash_out_total;
    settled = m.GLOBAL_SS_vol_lake_settled[node_class(m, 0, 1)];
  });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_GT(before, 0.0);
  EXPECT_GE(after, before);
  EXPECT_EQ(conc, 0.0);
  EXPECT_EQ(mg, 0.0);
  EXPECT_NEAR(end.fines + wash_out + settled, start.fines, 1e-12 * start.fines);
}

// A capacity that is not a number stops the run with "bed load NaN".
TEST(ChannelSedimentNetwork, NotANumberCapacityStopsTheRun) {
  pluvo_test::scratch_dir dir;
  int terminate = 0;
  const auto r = read_y_project([&](model_state& m) {
    if (!m.ov_sed) return;
    fill_network(m);
    set_flows(m, false, 10.0);
    m.qp[size_t(key(m, 2, 2))] = std::nan("");
    pluvo::channel_sediment_step(m, 10.0);
    terminate = pluvo::error_state.error_terminate;
  });
  EXPECT_EQ(terminate, 1);
  EXPECT_NE(r.out.find("bed load NaN\n"), std::string::npos) << r.out;
}

// The whole run through the real reader: rain erodes the strip, the cells hand their sediment
// and a dissolved tracer to the Y network, sand and fines travel through it and its lake; the
// summary carries the event and end-of-run sediment and contaminant blocks with closed channel
// balances, and "new_bed_elevations.txt" lists every node.
TEST(ChannelSedimentNetwork, WholeRunWritesTheSedimentBlocks) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_strip_grid();
  pluvo_test::write_file("c.idx", pluvo_test::strip_map("1"));
  pluvo_test::write_file("land.idx", std::string(pluvo_test::strip_header()) + "1 1 1\n1 1 1\n");
  const std::string contaminant = pluvo_test::contaminant_table(5.0, {"1 0 0 0 0 0 0 0"});
  const std::string erosion = pluvo_test::erosion_mapping_table();
  pluvo_test::write_file("c.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP land.idx Land\nINDEX_MAP c.idx \"Land\"\n" +
                                      erosion.substr(erosion.find("SEDIMENTS")) +
                                      contaminant.substr(contaminant.find("CONTAMINANT_TRANSPORT")));
  pluvo_test::write_file("c.chn", y_network());
  pluvo_test::write_file("c.stm", y_stream);
  int nodes = 0;
  std::vector<std::string> node_lines;
  pluvo::set_phase_observer([&](const char* phase, int, model_state& m) {
    if (std::string(phase) != "write_run_summary" || !node_lines.empty()) return;
    for (int l = 1; l <= m.nlinks; ++l) {
      if (!stream_link(l)) continue;
      for (int j = 1; j <= m.nx[size_t(l)]; ++j) {
        char line[64];
        std::snprintf(line, sizeof line, "%d %d ", l, j);
        node_lines.push_back(line);
        ++nodes;
      }
    }
  });
  const pluvo_test::project_result r = pluvo_test::run_project_cards(
      pluvo_test::strip_cards() +
          "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\nMAPPING_TABLE c.cmt\nSOIL_EROSION 1\n"
          "OUTLET_SED_FLUX e.sed\nSAND_SIZE 0.062\nWATER_TEMP 20\nSED_POROSITY 0.4\nOV_CON_TRANS\nCHAN_CON_TRANS\n",
      1);
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(r.stopped) << r.out;
  const std::string summary = pluvo_test::read_file("w.sum");
  for (const char* block :
       {"Channel sediment routing mass quantities\nQuanties are this Event \n", "Event channel sediment mass-balance:\n",
        "Lake Summary \nQuanties are for this event \n", "Channel sediment routing mass quantities\nTotal sediment 1",
        "Total channel sediment mass-balance:\n", "Summary for lake 1 \n\nTotal vol of SS from lake to chan",
        "Channel Contaminant Transport Summary for ", "Global Transport Summaries"})
    EXPECT_NE(summary.find(block), std::string::npos) << block << "\n" << summary;
  // The channels carried sediment, and their balances close.
  EXPECT_GT(pluvo_test::number_after(summary, "Total wash-load to chan from overland:"), 0.0) << summary;
  EXPECT_GT(pluvo_test::number_after(summary, "Total sand outlet discharge:"), 0.0) << summary;
  const size_t run_part = summary.find("Total channel sediment mass-balance:");
  ASSERT_NE(run_part, std::string::npos);
  const std::string run_balance = summary.substr(run_part);
  for (const char* label : {"Mass conservation error for wash load:", "Mass conservation error for sand load:",
                            "Overall channel sediment mass cons. error:"})
    EXPECT_NEAR(pluvo_test::number_after(run_balance, label), 0.0, 1e-6) << label << "\n" << run_balance;
  const std::string beds = pluvo_test::read_file("new_bed_elevations.txt");
  ASSERT_GE(nodes, 4);
  size_t at = beds.find('\n');
  for (const std::string& line : node_lines) {
    const size_t found = beds.find("\n" + line, at - 1);
    EXPECT_NE(found, std::string::npos) << line << "\n" << beds;
    if (found != std::string::npos) at = found + 1;
  }
  EXPECT_NE(beds.find("Link     4 is a lake     2  \n"), std::string::npos) << beds;
}

}  // namespace
