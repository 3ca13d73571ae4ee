// A small basin with the aquifer under it, run through the real project reader: soil-moisture
// accounting above the water table, a stream that loses in its upper reach and gains at the
// outlet, and the aquifer's books closed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "run/driver.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::read_file;
using pluvo_test::write_file;

std::string strip_map(const char* row) {
  return std::string(pluvo_test::strip_header()) + row + "\n" + row + "\n";
}

// Link 1 (cells (1,1) and (1,2), beds 9.7 and 9.6) flows into link 2 (both nodes on the outlet
// cell (1,3), beds 9.5 and 9.4); every link has a bed of 0.5 m at 1e-5 m/s.
const char* basin_network =
    "PLUVO_CHAN\n"
    "ALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 2\nMAXNODES 3\n"
    "CONNECT 1 2 0\nCONNECT 2 0 1 1\n"
    "LINK 1\nSUBSURFACE_TRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\nK_RIVER 0.036\nM_RIVER 0.5\n"
    "NODE 1\nELEV 9.7\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1.5\n"
    "NODE 2\nELEV 9.6\nNODE 3\nELEV 9.55\n"
    "LINK 2\nSUBSURFACE_TRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\nK_RIVER 0.036\nM_RIVER 0.5\n"
    "NODE 1\nELEV 9.5\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1.5\n"
    "NODE 2\nELEV 9.4\nNODE 3\nELEV 9.35\n";

const char* basin_stream =
    "GRIDSTREAMFILE\nSTREAMCELLS 3\n"
    "CELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1.0\n"
    "CELLIJ 1 2\nNUMNODES 1\nLINKNODE 1 2 1.0\n"
    "CELLIJ 1 3\nNUMNODES 2\nLINKNODE 2 1 0.5\nLINKNODE 2 2 0.5\n";

struct aquifer_books {
  double start = 0.0, end = 0.0;
  double recharge = 0.0, pumping = 0.0, leakage = 0.0, handover = 0.0;
  double river_to_gw = 0.0, gw_to_river = 0.0, net_sources = 0.0;
};

double aquifer_volume(const model_state& m) {
  double v = 0.0;
  for (int c = 1; c <= m.cell_count; ++c)
    v += (m.elevgw[size_t(c)] - m.bottom_elev[size_t(c)]) * m.gw_porosity[size_t(c)] * m.cell_size * m.cell_size;
  return v;
}

TEST(GroundwaterProject, LosingAndGainingStreamOverTheAquiferKeepsItsBooks) {
  pluvo_test::scratch_dir dir;
  write_file("c.chn", basin_network);
  write_file("c.stm", basin_stream);
  write_file("h.lst", "1 1 0.2 0.0\n1 2 0.2 0.0\n");  // the upper reach starts 20 cm deep
  write_file("wt.map", std::string(pluvo_test::strip_header()) + "8.0 8.0 9.9\n8.0 8.2 9.85\n");
  write_file("bot.map", strip_map("0 0 0"));
  write_file("gwb.map", std::string(pluvo_test::strip_header()) + "4 4 4\n1 1 1\n");
  write_file("k.map", strip_map("1 1 1"));
  write_file("h.map", strip_map("10 10 10"));
  write_file("p.map", strip_map("0.45 0.45 0.45"));
  write_file("w.map", strip_map("0.15 0.15 0.15"));
  write_file("l.map", strip_map("0.3 0.3 0.3"));
  write_file("r.map", strip_map("0.05 0.05 0.05"));
  aquifer_books b;
  bool first = true;
  pluvo::set_phase_observer([&](const char* phase, int, model_state& m) {
    if (std::string(phase) != "write_time_series") return;
    if (first) b.start = m.gw_volume_initial;
    first = false;
    b.end = aquifer_volume(m);
    b.recharge = m.gw_recharge_total;
    b.pumping = m.gw_pumping_total;
    b.leakage = m.gw_deep_leakage;
    b.handover = m.gw_input_total;
    b.river_to_gw = m.river_to_gw_total;
    b.gw_to_river = m.gw_to_river_total;
    b.net_sources = m.gw_net_source_total;
  });
  const pluvo_test::project_result r = pluvo_test::run_strip_project(
      "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\nREAD_CHAN_HOTSTART h.lst\nHOTSTART_IS_DEPTH\n"
      "INF_REDIST\nCONDUCTIVITY k.map\nCAPILLARY h.map\nPOROSITY p.map\nMOISTURE w.map\nPORE_INDEX l.map\n"
      "RESIDUAL_SAT r.map\n"
      "WATER_TABLE wt.map\nAQUIFER_BOTTOM bot.map\nGW_SIMULATION\nSTREAM_LOSS\nGW_BOUNDFILE gwb.map\n"
      "GW_UNIF_HYCOND 0.36\nGW_UNIF_POROSITY 0.45\nGW_TIMESTEP 60\nGW_LSOR_CON 1e-13\nGW_RELAX_COEFF 1.2\n");
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_GT(b.river_to_gw, 0.0) << "the upper reach loses";
  EXPECT_GT(b.gw_to_river, 0.0) << "the outlet reach gains";
  const double change = b.end - b.start;
  const double booked = b.recharge - b.pumping - b.leakage + b.handover + b.river_to_gw - b.gw_to_river;
  ASSERT_GT(std::fabs(change), 1e-3);
  EXPECT_NEAR(change, booked, 1e-8 * std::fabs(change));
  EXPECT_NEAR(change, b.net_sources, 1e-8 * std::fabs(change));
  const std::string summary = read_file("w.sum");
  EXPECT_NE(summary.find("GROUNDWATER CALCULATIONS \n"), std::string::npos) << summary;
  EXPECT_NEAR(pluvo_test::number_after(summary, "GW volume start =                "), b.start, 0.006);
  EXPECT_NEAR(pluvo_test::number_after(summary, "GW volume end =                  "), b.end, 0.006);
  EXPECT_NEAR(pluvo_test::number_after(summary, "Total inputs to groundwater=     "), b.net_sources, 0.006);
  EXPECT_EQ(pluvo_test::number_after(summary, "Mass Balance error =             "), 0.0) << summary;
  EXPECT_NEAR(pluvo_test::number_after(summary, "Total flux from river to gw=                    "), b.river_to_gw, 0.006);
  EXPECT_NEAR(pluvo_test::number_after(summary, "Total flux from gw to river=                    "), b.gw_to_river, 0.006);
}

}  // namespace
