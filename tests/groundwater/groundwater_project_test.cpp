// A small basin with the aquifer under it, run through the real project reader: soil-moisture
// accounting above the water table, a stream that loses in its upper reach and gains at the
// outlet, and the aquifer's books closed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "aquifer_strip.hpp"
#include "run/driver.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::read_file;
using pluvo_test::write_file;

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
  const std::string aquifer_cards = pluvo_test::write_aquifer_strip();
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
  const pluvo_test::project_result r = pluvo_test::run_strip_project(aquifer_cards);
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
