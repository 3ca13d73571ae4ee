// The nutrient outputs of a run with channels: the outlet series of OUT_HYD_* carry the mass
// (g) that leaves the basin, and the OUT_ST_* and TOTAL_CHAN_* link/node series hold, at every map
// output time, the stream masses and totals the run holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/printed.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/entry.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

// The demo nutrient storm with the demo basin's streams carrying the nutrients to the outlet.
void write_nutrient_channel_project(const std::string& cards) {
  const std::string examples = std::string(PLUVO_TEST_DATA) + "/../examples/";
  for (const char* name : {"demo.aqe", "demo.cmt", "demo_storm.gag", "landuse.idx", "luxa.ele", "luxa.msk",
                           "soils.idx"})
    write_file(name, read_file(examples + "demo-nutrients/" + name));
  for (const char* name : {"luxa.chn", "luxa.stm"}) write_file(name, read_file(examples + "demo-contaminant/" + name));
  write_file("n.prj", read_file(examples + "demo-nutrients/demo_nutrients.prj") +
                          "CHAN_EXPLIC\nCHANNEL_INPUT luxa.chn\nSTREAM_CELL luxa.stm\nCHAN_CON_TRANS\nMAP_FREQ 15\n" +
                          cards);
}

// The second column of a two-column series, with the count of finite values.
std::vector<double> series_values(const std::string& text, int& finite) {
  std::istringstream in(text);
  std::vector<double> values;
  finite = 0;
  for (double t, v; in >> t >> v;) {
    values.push_back(v);
    finite += std::isfinite(t) && std::isfinite(v);
  }
  return values;
}

// The sum of the node values of each step record of a link/node file ("1  value" pairs), and
// whether every value read is finite.
std::vector<double> record_sums(const std::string& text, bool& finite) {
  std::vector<double> sums;
  finite = true;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("TS ", 0) == 0) {
      sums.push_back(0.0);
      continue;
    }
    if (sums.empty()) continue;
    std::istringstream in(line);
    int count = 0;
    if (!(in >> count)) continue;
    for (int flag; in >> flag;) {
      double v = 0.0;
      in >> v;
      finite = finite && std::isfinite(v);
      if (flag == 1) sums.back() += v;
    }
  }
  return sums;
}

// The amount after a label within the block that starts with the heading.
double summary_amount(const std::string& summary, const std::string& heading, const std::string& label) {
  const size_t block = summary.find(heading);
  if (block == std::string::npos) return NAN;
  const size_t at = summary.find(label, block);
  if (at == std::string::npos) return NAN;
  const size_t dots = summary.find_first_not_of(". ", at + label.size());
  return std::strtod(summary.c_str() + dots, nullptr);
}

enum species { NO2, NO3, NH4, ON, OP, DP };

TEST(NutrientOutputs, OutletStreamAndTotalSeriesWriteWhatTheRunHolds) {
  pluvo_test::scratch_dir dir;
  write_nutrient_channel_project(
      "OUT_HYD_NO3 no3_out\nOUT_HYD_NH4 nh4_out\nOUT_ST_NO3 no3_st\nTOTAL_CHAN_N tn.lnd\nTOTAL_CHAN_KN tkn.lnd\n"
      "TOTAL_CHAN_P tp.lnd\n");
  // What each link/node series should hold at each map output time, summed over its printed
  // nodes: the masses and concentrations of the constituents at the nodes.
  struct expected_series {
    const char* file;
    double factor;
    std::vector<double> sums;
  };
  expected_series series[] = {{"tn.lnd", 1000.0, {}}, {"tkn.lnd", 1000.0, {}}, {"tp.lnd", 1000.0, {}},
                              {"no3_st.mass", 1.0, {}}, {"no3_st.conc", 1.0, {}}};
  pluvo::set_phase_observer([&](const char* p, int, pluvo::model_state& m) {
    if (std::string(p) != "write_map_outputs" || (m.step_count - 1) % m.map_write_steps != 0) return;
    const pluvo::tvx_streams& s = m.tvx_state->streams;
    const auto mass = [&](int k, int key) { return m.chan_node_mass.rows[m.first_type2_constituent + k][key]; };
    for (expected_series& e : series) e.sums.push_back(0.0);
    for (int l = 1; l <= m.nlinks; ++l) {
      if (!(m.ltype[l] & 12)) continue;
      // Nodes past the link's last computational one are printed as 0.
      for (int j = 1; j <= m.og_nx1[l] && j <= m.nx1[l] - 1; ++j) {
        const int key = l * m.chan_node_extent + j;
        const double nh3 = s.unionized_NH3.rows[j][l];
        const double kjeldahl = mass(NH4, key) + mass(ON, key) + nh3;
        series[0].sums.back() += 1000.0 * (mass(NO2, key) + mass(NO3, key) + kjeldahl);
        series[1].sums.back() += 1000.0 * kjeldahl;
        series[2].sums.back() += 1000.0 * (mass(OP, key) + mass(DP, key));
        series[3].sums.back() += mass(NO3, key);
        series[4].sums.back() += m.chan_node_conc.rows[m.first_type2_constituent + NO3][key];
      }
    }
  });
  int code = -1;
  const std::string out = pluvo::printed_by([&] { code = pluvo::run_pluvo("n.prj", nullptr, "n.prj"); });
  pluvo::set_phase_observer(nullptr);
  ASSERT_EQ(code, 0) << out;
  const std::string summary = read_file("demo_nutrients.sum");

  // The outlet series: the masses of the output intervals add up to what the summary says left
  // through the outlet; the concentrations are the outlet's, finite and not all zero.
  const struct {
    const char* base;
    const char* heading;
  } outlet_rows[] = {{"no3_out", "Channel Contaminant Transport Summary for Nitrate (NO3-)"},
                     {"nh4_out", "Channel Contaminant Transport Summary for Ammonium (NH4+)"}};
  for (const auto& row : outlet_rows) {
    SCOPED_TRACE(row.base);
    int finite_mass = 0, finite_conc = 0;
    const std::vector<double> mass = series_values(read_file(std::string(row.base) + ".mass"), finite_mass);
    const std::vector<double> conc = series_values(read_file(std::string(row.base) + ".conc"), finite_conc);
    ASSERT_EQ(mass.size(), 25u);  // 0 to 360 minutes every 15
    EXPECT_EQ(conc.size(), mass.size());
    EXPECT_EQ(finite_mass, 25);
    EXPECT_EQ(finite_conc, 25);
    double total = 0.0, largest_conc = 0.0;
    for (size_t i = 0; i < mass.size(); ++i) {
      EXPECT_GE(mass[i], 0.0);
      total += mass[i];
      largest_conc = std::max(largest_conc, conc[i]);
    }
    const double reported = 1000.0 * summary_amount(summary, row.heading, "Outlet mass flux");  // g
    ASSERT_GT(reported, 1000.0) << summary;
    EXPECT_NEAR(total, reported, 0.005 * reported);
    EXPECT_GT(largest_conc, 0.0);
  }

  // The link/node series: one record per map output time, finite, agreeing with the stream
  // masses of the run at that time.
  for (const expected_series& e : series) {
    SCOPED_TRACE(e.file);
    bool finite = false;
    const std::vector<double> sums = record_sums(read_file(e.file), finite);
    EXPECT_TRUE(finite);
    ASSERT_EQ(sums.size(), e.sums.size());
    ASSERT_EQ(sums.size(), 24u);
    double largest = 0.0;
    for (size_t i = 0; i < sums.size(); ++i) {
      // The file rounds each node's value to 5 decimals.
      EXPECT_NEAR(sums[i], e.sums[i], 1e-6 * std::fabs(e.sums[i]) + 1e-3) << i;
      largest = std::max(largest, sums[i]);
    }
    EXPECT_GT(largest, 0.0);
  }
  EXPECT_EQ(read_file("tn.lnd").rfind("PLUVO_LINKNODE_TOTAL_NITROGEN\nNUM_LINKS     40\n", 0), 0u);
  EXPECT_EQ(read_file("no3_st.mass").rfind("PLUVO_LINKNODE_NO3_MASS\n", 0), 0u);
  EXPECT_EQ(read_file("no3_st.conc").rfind("PLUVO_LINKNODE_NO3_CONC\n", 0), 0u);
}

}  // namespace
