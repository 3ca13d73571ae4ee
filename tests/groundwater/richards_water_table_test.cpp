// Richards soil columns over the aquifer, run through the real project reader: a storm on a
// watershed whose water table lies half a metre down. The columns end at the water table and
// follow it; the water they take in is held in them or handed to the aquifer, and none is lost.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/whole_project.hpp"
#include "soil/long_term_project.hpp"
#include "soil/richards_column_fixture.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::write_file;

// Water held by the watershed, m3: the soil above the water table, the aquifer below it (at the
// porosity, which the soil's saturated content matches) and the ponded surface; with the run's
// totals so far.
struct held_water {
  double column = 0.0, aquifer = 0.0, surface = 0.0;
  // On its way to the aquifer: what left the columns' bottoms since the last aquifer step, and
  // what the columns handed over at the end of the last one, which the next one takes in.
  double transit = 0.0;
  double rain = 0.0, infiltrated = 0.0, discharged = 0.0, net_sources = 0.0, leaked = 0.0;
  long nodes = 0;  // soil nodes above the water table, over all cells
};

held_water held_by(const model_state& m) {
  held_water w;
  const double area = m.cell_size * m.cell_size;
  for (int i = 1; i <= m.cell_count; ++i) {
    const size_t c = size_t(i);
    for (int j = 1; j < m.numcells[c]; ++j) w.column += m.THETA[i][j] * m.DZ[i][j] / 100.0 * area;
    w.nodes += m.numcells[c] - 1;
    w.aquifer += (m.elevgw[c] - m.bottom_elev[c]) * m.gw_porosity[c] * area;
    w.surface += m.ov_depth[c] * area;
    if (c < m.unsat_downward_flux.size()) w.transit += m.unsat_downward_flux[c] / 100.0 * area;
    if (c < m.gw_unsat_exchange_cm.size()) w.transit += m.gw_unsat_exchange_cm[c] / 100.0 * area;
  }
  w.rain = m.rain_volume_total;
  w.infiltrated = m.infil_volume_total;
  w.discharged = m.total_discharge_volume;
  w.net_sources = m.gw_net_source_total;
  w.leaked = m.gw_deep_leakage;
  return w;
}

struct coupled_run {
  pluvo_test::project_result r;
  std::string summary;
  held_water start, end;
  long shortest = 1 << 30, longest = 0;  // soil nodes above the table over the run
  double lowest_table = 1e30, highest_table = -1e30;
  std::vector<double> heads;  // the water table at the end
  // Under soil-temperature columns: every column node linked to a node of its soil column (the
  // deepest to its last node), and the soil nodes frozen, summed over the output times.
  bool links_inside = true;
  long frozen_nodes = 0;
};

// The map of every cell of the grid described by header (rows and columns given) from f(row, col).
template <class F>
std::string cell_map(const std::string& header, int rows, int cols, F f) {
  std::string text = header;
  char value[32];
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      std::snprintf(value, sizeof value, c > 1 ? " %.10g" : "%.10g", f(r, c));
      text += value;
    }
    text += "\n";
  }
  return text;
}

// The strip (side 0) or the strip in the corner of a side x side basin, the water table depth m
// below every cell, the aquifer bottom 2 m down, and the soil of the column fixture.
coupled_run run_over_water_table(double depth, double initial, int side, int threads,
                                 const std::string& extra_cards = "", int minutes = 30, int rain_minutes = 10) {
  std::string cards;
  std::string header = pluvo_test::strip_header();
  int rows = 2, cols = 3;
  if (side > 0) {
    cards = pluvo_test::write_corner_basin(side);
    char line[160];
    std::snprintf(line, sizeof line, "north: 30\nsouth: %d\neast: %d\nwest: 0\nrows: %d\ncols: %d\n", 30 - 10 * side,
                  10 * side, side, side);
    header = line;
    rows = cols = side;
  } else {
    pluvo_test::write_strip_grid();
    cards = pluvo_test::strip_cards();
  }
  // The ground of every cell, as the grid writers above lay it.
  const auto ground = [&](int r, int c) {
    static const double strip[2][3] = {{10.2, 10.1, 10.0}, {10.2, 10.1, 10.05}};
    if (r <= 2 && c <= 3) return strip[r - 1][c - 1];
    return 10.4 - 0.002 * (r + c - 3);
  };
  write_file("wt.map", cell_map(header, rows, cols, [&](int r, int c) { return ground(r, c) - depth; }));
  write_file("bot.map", cell_map(header, rows, cols, [&](int r, int c) { return ground(r, c) - 2.0; }));
  write_file("one.map", cell_map(header, rows, cols, [](int, int) { return 1.0; }));
  write_file("soil.tab", pluvo_test::brooks_soil_table(initial, 5.0));
  cards.replace(cards.find("TOT_TIME 30"), 11, "TOT_TIME " + std::to_string(minutes));
  cards.replace(cards.find("RAIN_DURATION 10"), 16, "RAIN_DURATION " + std::to_string(rain_minutes));
  cards += extra_cards +
           "INF_RICHARDS\nRICHARDS_C_OPTION brooks\nRICHARDS_K_OPTION arithmetic\nRICHARDS_UPPER_OPTION average\n"
           "SOIL_TYPE_MAP one.map\nSOIL_LAYER_INPUT_FILE soil.tab\n"
           "WATER_TABLE wt.map\nAQUIFER_BOTTOM bot.map\nAQUIFER_DELTA_Z 0.1\nGW_SIMULATION\nGW_BOUNDFILE one.map\n"
           "GW_UNIF_HYCOND 0.36\nGW_UNIF_POROSITY 0.45\nGW_TIMESTEP 60\nGW_LSOR_CON 1e-13\nGW_RELAX_COEFF 1.2\n";
  coupled_run run;
  bool first = true;
  pluvo::set_phase_observer([&](const char* phase, int, model_state& m) {
    if (std::string(phase) != "write_time_series") return;
    const held_water w = held_by(m);
    if (first) run.start = w;
    first = false;
    run.end = w;
    run.shortest = std::min(run.shortest, w.nodes);
    run.longest = std::max(run.longest, w.nodes);
    run.lowest_table = std::min(run.lowest_table, m.elevgw[1]);
    run.highest_table = std::max(run.highest_table, m.elevgw[1]);
    run.heads.assign(m.elevgw.begin(), m.elevgw.end());
    if (m.fr_lq_wat.empty()) return;
    for (int i = 1; i <= m.cell_count; ++i) {
      const int n = m.numcells[size_t(i)];
      const int deepest = m.node_toGIPL.cols();  // 2 m down, below every column
      for (int j = 1; j <= deepest; ++j)
        run.links_inside = run.links_inside && m.node_toGIPL[i][j] >= 1 && m.node_toGIPL[i][j] <= n;
      run.links_inside = run.links_inside && m.node_toGIPL[i][deepest] == n;
      for (int j = 1; j <= n; ++j) run.frozen_nodes += m.fr_lq_wat[i][j] < 1.0;
    }
  });
  run.r = pluvo_test::run_project_cards(cards, threads);
  pluvo::set_phase_observer(nullptr);
  run.summary = pluvo_test::read_file("w.sum");
  return run;
}

// What the soil took in is held in the columns or was handed to the aquifer; with the surface
// and the outlet, the rain is all accounted for.
void expect_books_close(const coupled_run& run) {
  const held_water& a = run.start;
  const held_water& b = run.end;
  const double column = b.column - a.column, surface = b.surface - a.surface;
  const double aquifer = b.aquifer - a.aquifer, transit = b.transit - a.transit;
  const double infiltrated = b.infiltrated - a.infiltrated, leaked = b.leaked - a.leaked;
  const double rain = b.rain - a.rain, discharged = b.discharged - a.discharged;
  EXPECT_GT(infiltrated, 1.0);
  EXPECT_NEAR(infiltrated, column + transit + aquifer + leaked, 1e-6 * infiltrated)
      << "column " << column << " aquifer " << aquifer << " leaked " << leaked;
  EXPECT_NEAR(aquifer, b.net_sources - a.net_sources, 1e-9 * b.aquifer);
  EXPECT_NEAR(rain - discharged, surface + column + transit + aquifer + leaked, 1e-6 * rain);
}

TEST(RichardsWaterTable, StormOverAShallowWaterTableKeepsItsWater) {
  pluvo_test::scratch_dir dir;
  const coupled_run run = run_over_water_table(0.5, 0.2, 0, 1);
  ASSERT_FALSE(run.r.stopped) << run.r.out;
  EXPECT_EQ(run.r.out.find("not built yet"), std::string::npos) << run.r.out;
  expect_books_close(run);
  // Ten 5 cm nodes above the table in each cell from the start.
  EXPECT_EQ(run.start.nodes, 60);
  // The event's and the run's balances close too.
  const std::string& s = run.summary;
  EXPECT_NEAR(pluvo_test::number_after(s, "Richard equation mass balance error"), 0.0, 1e-4) << s;
  EXPECT_EQ(pluvo_test::number_after(s, "Mass Balance error =             "), 0.0) << s;
  EXPECT_NEAR(pluvo_test::number_after(s, "Overall mass balance error =                    "), 0.0, 1e-5) << s;
  EXPECT_NEAR(pluvo_test::number_after(s, "vol groundwater recharge (cu. m):      "), run.end.aquifer - run.start.aquifer, 0.051)
      << s;
}

// A table that rises takes the nodes it passes into the aquifer; one that falls (here by leakage
// to the deep aquifer) lays new nodes down to it. The water is kept either way.
TEST(RichardsWaterTable, RisingTableShortensTheColumnsAndFallingOneLengthensThem) {
  const struct {
    const char* what;
    double initial;
    const char* cards;
    int minutes, rain_minutes;
    bool rises;
  } cases[] = {
      {"wet soil under half an hour of rain", 0.43, "", 60, 30, true},
      {"leaking aquifer", 0.3, "GW_LEAKAGE_RATE 5\n", 30, 10, false},
  };
  for (const auto& c : cases) {
    pluvo_test::scratch_dir dir;
    const coupled_run run = run_over_water_table(0.3, c.initial, 0, 1, c.cards, c.minutes, c.rain_minutes);
    ASSERT_FALSE(run.r.stopped) << c.what << run.r.out;
    expect_books_close(run);
    EXPECT_EQ(run.start.nodes, 36) << c.what;
    if (c.rises) {
      EXPECT_GT(run.highest_table, 9.9) << c.what;
      EXPECT_LT(run.end.nodes, run.start.nodes) << c.what;
    } else {
      EXPECT_LT(run.heads[1], 9.85) << c.what;
      EXPECT_GT(run.end.nodes, run.start.nodes) << c.what;
      EXPECT_GT(run.end.leaked, 1.0) << c.what;
    }
  }
}

// Frozen columns over a falling table: the nodes it lays down keep the links of the
// soil-temperature nodes inside the column, and the water is kept.
TEST(RichardsWaterTable, FrozenColumnsFollowTheTableAndKeepTheWater) {
  pluvo_test::scratch_dir dir;
  const std::string cards = pluvo_test::frozen_columns("one.map");
  const coupled_run run = run_over_water_table(0.3, 0.3, 0, 1, cards + "GW_LEAKAGE_RATE 5\n", 30, 10);
  ASSERT_FALSE(run.r.stopped) << run.r.out;
  expect_books_close(run);
  EXPECT_GT(run.end.nodes, run.start.nodes);
  EXPECT_TRUE(run.links_inside);
  EXPECT_GT(run.frozen_nodes, 0);
}

// The columns are solved on a team and the aquifer's sums are order-fixed: one thread and eight
// give the same heads and the same books.
TEST(RichardsWaterTable, SameRunOnOneAndEightThreads) {
  pluvo_test::scratch_dir dir;
  const coupled_run one = run_over_water_table(0.3, 0.43, 64, 1, "", 3);
  const coupled_run eight = run_over_water_table(0.3, 0.43, 64, 8, "", 3);
  ASSERT_FALSE(one.r.stopped) << one.r.out;
  ASSERT_FALSE(eight.r.stopped) << eight.r.out;
  expect_books_close(one);
  EXPECT_EQ(one.heads, eight.heads);
  EXPECT_EQ(one.end.column, eight.end.column);
  EXPECT_EQ(one.end.nodes, eight.end.nodes);
  EXPECT_EQ(one.end.net_sources, eight.end.net_sources);
  EXPECT_EQ(one.end.infiltrated, eight.end.infiltrated);
  EXPECT_EQ(one.summary, eight.summary);
}

}  // namespace
