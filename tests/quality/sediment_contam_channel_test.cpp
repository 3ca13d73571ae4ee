// Sorbed contaminant in the channels and lakes of the Y network read by the real reader; the
// suspended wash load is set as the channel sediment transport leaves it, varying from update to
// update.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "quality/channel_quality.hpp"
#include "quality/quality_phases.hpp"
#include "quality/sediment_contam.hpp"
#include "quality/water_quality_clocks.hpp"
#include "channel/two_link_network.hpp"
#include "quality/y_network_fixture.hpp"
#include "common/error_state.hpp"
#include "record/model_state.hpp"

namespace {

using pluvo::model_state;

// Reads the Y network with erosion, overland and channel contaminants and sorption (channel
// partition coefficient kd, l/kg), and runs body on the record the set-up leaves.
template <class Body>
void with_y_network(double kd, Body body) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_y_project(kd);
  bool ran = false;
  const auto r = pluvo_test::set_up_past_refusal("c.prj", [&](model_state& m) {
    ran = true;
    pluvo::start_sediment_contaminants(m);
    pluvo::start_constituent_balance(m);
    body(m);
  });
  ASSERT_TRUE(ran) << r.out;
}

// Flat [row][class] index of the sediment tables.
struct ov_sed_view {
  const model_state& m;
  size_t at(int row, int c) const { return size_t(row) * size_t(m.ov_sed->num_sed_classes + 1) + size_t(c); }
};

int key(const model_state& m, int link, int node) { return link * m.chan_node_extent + node; }
const int ordinary[3] = {1, 2, 5};

// The wash load of update n as the sediment transport leaves it: per node and fine class the
// flux leaving downstream (m3/s; now and then flowing back up), the suspended volume and the
// concentration (mg/l); per lake its concentration, volume and what settled.
void set_wash_load(model_state& m, int n) {
  const ov_sed_view v{m};
  for (int link : ordinary)
    for (int node = 1; node <= m.nx[size_t(link)]; ++node) {
      const int a = key(m, link, node);
      m.area[size_t(a)] = 0.5 + 0.1 * node;
      for (int i = 1; i <= 2; ++i) {
        const int c = m.ov_sed->sed_class[size_t(i)];
        const double wave = std::sin(0.05 * n + link + 0.7 * node + i);
        m.qsmax[v.at(a, c)] = 1e-4 * (wave + 0.6);
        m.ch_wash_vol[v.at(a, c)] = 0.002 * (1.5 + std::cos(0.03 * n + node + i));
        m.chan_sed_conc[v.at(a, c)] = 40.0 * (1.2 + wave);
        // Sorbed mass the grid delivers with its sediment.
        m.chan_qlat_sed_mass[v.at(m.chan_slot_count + a, c)] += n % 7 == 0 ? 0.3 * i : 0.0;
      }
    }
  // The lake passes its wash load on over the weir, which counts as one node.
  const int weir = key(m, 4, 1);
  for (int i = 1; i <= 2; ++i) {
    const int c = m.ov_sed->sed_class[size_t(i)];
    m.qsmax[v.at(weir, c)] = 1.2e-4 * (1.0 + 0.5 * std::sin(0.02 * n + i));
    m.SS_conc_lake[v.at(1, c)] = 30.0 + 5.0 * i;
    m.SS_vol_lake[v.at(1, c)] = 0.05 * i;
    m.SS_vol_lake_settled[v.at(1, c)] = n % 3 == 0 ? 0.001 * i : 0.0;
  }
}

// One update: the sorbed step, then what the dissolved routing does with the release: the
// dissolved mass takes it and the totals are rebuilt from the dissolved mass.
void update(model_state& m, int n, double dt) {
  m.cur_julian = 2459000.5 + n * dt / 86400.0;
  m.chan_wq_next_time = m.cur_julian;
  m.chan_wq_last_time = m.cur_julian - dt / 86400.0;
  pluvo::step_channel_sediment_contam(m);
  for (int link : ordinary)
    for (int node = 1; node <= m.nx[size_t(link)]; ++node) {
      const int a = key(m, link, node);
      m.chan_node_mass.rows[1][a] += m.chan_node_sed_source_mass[1][a];
      m.chan_node_sed_source_mass[1][a] = 0.0;
      m.chan_tot_node_mass[1][a] += m.chan_node_mass.rows[1][a];
    }
  m.lake_con_mass.rows[1][1] += m.lake_sed_contam_source[1][1];
  m.lake_sed_contam_source[1][1] = 0.0;
  m.lake_tot_mass[1][1] += m.lake_con_mass.rows[1][1];
}

// Sorbed and dissolved mass in the nodes and the lake, less what the grid delivered, plus what
// left through the outlet and settled in the lake, g.
double books(const model_state& m, double delivered) {
  double s = m.lake_tot_mass[1][1] + 1000.0 * (m.run_constituent_terms[1].attached_out + m.LAKE_SETTLED_SED_MASS[1]);
  for (int link : ordinary)
    for (int node = 1; node <= m.nx[size_t(link)]; ++node) s += m.chan_tot_node_mass[1][key(m, link, node)];
  return s - delivered;
}

double delivered_now(const model_state& m) {
  double s = 0.0;
  for (size_t i = 0; i < m.chan_qlat_sed_mass.size(); ++i)
    if (i % size_t(m.ov_sed->num_sed_classes + 1) != 0) s += m.chan_qlat_sed_mass[i];
  return s;
}

TEST(SedimentContamChannels, TotalOfNodesLakeAndOutletIsConservedOverAThousandUpdates) {
  int lakes = 0;
  bool lake_link = false, all_taken = false;
  double worst = 1.0, out = 0.0, settled = 0.0, into_lake = 0.0;
  with_y_network(20.0, [&](model_state& m) {
    lakes = m.nlakes;
    lake_link = pluvo::wq_lake_link(m, 3) && pluvo::wq_structure_link(m, 4);
    for (int link : ordinary)
      for (int node = 1; node <= m.nx[size_t(link)]; ++node) {
        const int a = key(m, link, node);
        m.chan_node_mass.rows[1][a] = 1.0 + node;
        m.chan_tot_node_mass[1][a] = m.chan_node_mass.rows[1][a] + 2.0 * link;
      }
    m.lake_con_mass.rows[1][1] = 5.0;
    m.lake_tot_mass[1][1] = 9.0;
    const double start = books(m, 0.0);
    double delivered = 0.0;
    worst = 0.0;
    for (int n = 1; n <= 1000; ++n) {
      set_wash_load(m, n);
      delivered += delivered_now(m);
      update(m, n, 30.0);
      worst = std::max(worst, std::fabs(books(m, delivered) - start) / start);
    }
    out = m.run_constituent_terms[1].attached_out;
    settled = m.LAKE_SETTLED_SED_MASS[1];
    into_lake = m.CHAN_LAKE_SED_CONTAM_MASS[1];
    all_taken = m.chan_qlat_sed_mass == std::vector<double>(m.chan_qlat_sed_mass.size(), 0.0);
  });
  ASSERT_EQ(lakes, 1);
  ASSERT_TRUE(lake_link);
  EXPECT_LT(worst, 1e-12);
  // It moved: out through the outlet, into the lake bed, and the lake's inflow was booked.
  EXPECT_GT(out, 0.0);
  EXPECT_GT(settled, 0.0);
  EXPECT_GT(into_lake, 0.0);
  EXPECT_TRUE(all_taken);
}

// Without sorption every node and the lake release all they hold to the water.
TEST(SedimentContamChannels, NoPartitionReleasesEverything) {
  std::vector<double> left, dissolved;
  with_y_network(0.0, [&](model_state& m) {
    for (int link : ordinary)
      for (int node = 1; node <= m.nx[size_t(link)]; ++node) m.chan_tot_node_mass[1][key(m, link, node)] = 3.0;
    m.lake_tot_mass[1][1] = 7.0;
    set_wash_load(m, 1);
    m.cur_julian = 2459000.5;
    m.chan_wq_next_time = m.cur_julian;
    m.chan_wq_last_time = m.cur_julian - 30.0 / 86400.0;
    pluvo::step_channel_sediment_contam(m);
    for (int link : ordinary)
      for (int node = 1; node <= m.nx[size_t(link)]; ++node) {
        const int a = key(m, link, node);
        left.push_back(m.chan_tot_node_mass[1][a]);
        dissolved.push_back(m.chan_node_fraction_dissolved[1][a]);
      }
    left.push_back(m.lake_tot_mass[1][1]);
    dissolved.push_back(m.lake_fraction_dissolved[1][1]);
  });
  ASSERT_GE(left.size(), 4u);
  EXPECT_EQ(left, std::vector<double>(left.size(), 0.0));
  EXPECT_EQ(dissolved, std::vector<double>(left.size(), 1.0));
}

// Everything of the contaminant the watershed holds or has passed on, kg: the cells' totals and
// what their sorbed pools gave the soil, the nodes' and the lake's totals, what was released but
// not yet taken by the dissolved balances; plus what left (infiltrated, left on dried land,
// decayed, through the outlet dissolved and sorbed, settled in the lake) less what came in.
double watershed_books(const model_state& m) {
  const auto& run = m.run_constituent_terms[1];
  const size_t cells = size_t(m.cell_count) + 1;
  double stock = 0.0;
  for (int j = 1; j <= m.cell_count; ++j) stock += m.ov_total_con_mass[cells + size_t(j)] + m.ov_sed_con_soil_exchange[cells + size_t(j)];
  for (int link = 1; link <= m.nlinks; ++link) {
    if (!pluvo::wq_active_link(m, link)) continue;
    for (int node = 1; node <= m.nx[size_t(link)]; ++node)
      stock += m.chan_tot_node_mass[1][key(m, link, node)] + m.chan_node_sed_source_mass[1][key(m, link, node)];
  }
  for (int lake = 1; lake <= m.nlakes; ++lake) stock += m.lake_tot_mass[1][lake] + m.lake_sed_contam_source[1][lake];
  const double out = m.OV_INFIL_MASS[1] + m.OV_LAND_MASS[1] + m.OV_MASS_DECAY[1] + run.chan_out + run.chan_decay +
                     run.lake_decay + run.attached_out + run.soil_sed_exchange +
                     (m.nlakes > 0 ? m.LAKE_SETTLED_SED_MASS[1] : 0.0);
  const double in = m.OV_PRECIP_MASS[1] + m.event_ov_neg_mass[1] + run.lake_precip + run.chan_point + run.lake_point;
  return stock / 1000.0 + out - in;
}

// Runs c.prj on one thread and follows the watershed's books at the end of every step, calling
// each with the record there: the run, the steps, the most the rain brought (kg) and the largest
// drift of the books from their first value relative to it.
struct books_run {
  pluvo_test::contaminant_run run;
  int steps = 0;
  double scale = 0.0, worst = 0.0;
};

books_run run_keeping_books(const std::function<void(model_state&)>& each) {
  books_run b;
  double first = 0.0;
  std::vector<double> drift;
  b.run = pluvo_test::run_contaminant_project(1, "write_time_series", [&](model_state& m) {
    const double x = watershed_books(m);
    if (b.steps++ == 0) first = x;
    b.scale = std::max(b.scale, m.OV_PRECIP_MASS[1] + m.run_constituent_terms[1].lake_precip);
    drift.push_back(x - first);
    each(m);
  });
  for (double d : drift) b.worst = std::max(b.worst, std::fabs(d) / b.scale);
  return b;
}

// The error percentages of the run's summaries (land, streams, lakes and the whole watershed)
// in the summary file, in the order written.
std::vector<double> run_balance_errors(const std::string& sum) {
  std::vector<double> errors;
  const size_t start = sum.find(" *************   Overland Transport Summaries");
  if (start == std::string::npos) return errors;
  for (size_t at = start; (at = sum.find("mass balance error", at)) != std::string::npos; ++at) {
    const size_t end = sum.find(" percent", at);
    const size_t value = sum.find_last_of(' ', end - 1);
    errors.push_back(std::strtod(sum.substr(value, end - value).c_str(), nullptr));
  }
  return errors;
}

// The whole chain through the project reader: rain brings the contaminant, it sorbs to the
// eroded sediment and travels into the streams dissolved and sorbed, and out. The channel
// sediment transport carries the wash load. On two links, where sorbed mass reaches the
// streams; and on the Y, whose lake holds a grid cell that it floods at the start and whose
// water runs out over the land, more than the lake holds at its last concentration; under heavy
// rain, which swells the nearly empty lake past the volume its concentration was worked out for,
// and on a soil the run follows as well.
struct whole_run_case {
  const char* name;
  const char* network;
  const char* stream;
  bool lake;
  bool soil = false;   // a soil whose contaminant the run follows
  bool heavy = false;  // rain of 150 mm/h
};

class SedimentContamWholeRun : public ::testing::TestWithParam<whole_run_case> {};

TEST_P(SedimentContamWholeRun, GridChannelsAndLakesKeepTheTotal) {
  pluvo_test::scratch_dir dir;
  std::string cards = "SUMMARY c.sum\n";
  if (GetParam().heavy) cards += "RAIN_INTENSITY 150\n";
  if (GetParam().soil)
    cards += pluvo_test::redistribution_soil("0.2") + "SOIL_CON_TRANS\nMIXING_LAYER_DEPTH 0.05\nTOP_LAYER_DEPTH 0.2\n";
  pluvo_test::write_y_project(20.0, cards, GetParam().network, GetParam().stream);
  double to_channels = 0.0, lake_to_land = 0.0;
  const books_run b = run_keeping_books([&](model_state& m) {
    to_channels = m.attached_to_chan_total[1];
    lake_to_land = std::max(lake_to_land, -m.run_constituent_terms[1].lake_from_ov);
  });
  const auto& r = b.run;
  ASSERT_EQ(r.code, 0) << r.out;
  ASSERT_GT(b.scale, 0.0);
  EXPECT_GE(b.steps, 150);
  EXPECT_LT(b.worst, 1e-12);
  if (GetParam().lake)
    EXPECT_GT(lake_to_land, 0.0);
  else
    EXPECT_GT(to_channels, 0.0);
  EXPECT_EQ(r.out.find("bad number"), std::string::npos) << r.out;
  // The event's dissolved balances of the land, the streams and the lakes (and the soil's) close
  // in the summary.
  const std::string sum = pluvo_test::read_file("c.sum");
  int closed = 0;
  for (size_t at = 0; (at = sum.find("mass balance error %", at)) != std::string::npos; ++at) {
    const size_t end = sum.find('\n', at);
    const std::string line = sum.substr(at, end - at);
    EXPECT_LT(std::fabs(std::strtod(line.substr(line.find_last_of(' ')).c_str(), nullptr)), 1e-4) << line;
    ++closed;
  }
  EXPECT_EQ(closed, (GetParam().lake ? 3 : 2) + (GetParam().soil ? 1 : 0)) << sum;
  // So do the run's: the land's, the streams', the lakes' and the whole watershed's, which counts
  // the sorbed pools and what they left on the soil.
  const std::vector<double> run = run_balance_errors(sum);
  EXPECT_EQ(run.size(), GetParam().lake ? 4u : 3u) << sum;
  for (double e : run) EXPECT_LT(std::fabs(e), 1e-4) << sum;
}

// The Y with its lake moved beside the outlet, below a land cell that drains into it (the second
// branch's cell is land now): the lake takes wash load off the land and, shallow and still, lets
// the silt settle, with the contaminant it carries.
TEST(SedimentContamChannels, SorbedMassSettlesWithTheLakeSediment) {
  pluvo_test::scratch_dir dir;
  std::string network = pluvo_test::y_network, stream = pluvo_test::y_stream;
  const auto swap = [](std::string& text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  };
  swap(network, "INITWSE 10.15\nMAXWSE 11\nNUMPTS 1\n2 2\n", "INITWSE 10.06\nMAXWSE 11\nNUMPTS 1\n2 3\n");
  swap(stream, "STREAMCELLS 4\n", "STREAMCELLS 3\n");
  swap(stream, "CELLIJ 2 1\nNUMNODES 1\nLINKNODE 2 1 1.0\n", "");
  swap(stream, "CELLIJ 2 2\n", "CELLIJ 2 3\n");
  pluvo_test::write_y_project(500.0, "SUMMARY c.sum\n", network.c_str(), stream.c_str());
  double settled = 0.0, into_lake = 0.0, settled_volume = 0.0;
  const books_run b = run_keeping_books([&](model_state& m) {
    settled = m.LAKE_SETTLED_SED_MASS[1];
    into_lake = m.OV_LAKE_SED_CONTAM_MASS[1];
    settled_volume = 0.0;
    for (double v : m.GLOBAL_SS_vol_lake_settled) settled_volume += v;
  });
  ASSERT_EQ(b.run.code, 0) << b.run.out;
  ASSERT_GT(b.scale, 0.0);
  EXPECT_LT(b.worst, 1e-12);
  // The land sent the lake sediment with sorbed mass; silt settled, and took down a share of
  // all the rain brought.
  EXPECT_GT(into_lake, 0.0);
  EXPECT_GT(settled_volume, 0.0);
  EXPECT_GT(settled, 0.01 * b.scale);
  const std::string sum = pluvo_test::read_file("c.sum");
  const std::vector<double> run = run_balance_errors(sum);
  EXPECT_EQ(run.size(), 4u) << sum;
  for (double e : run) EXPECT_LT(std::fabs(e), 1e-4) << sum;
}

// With a soil whose contaminant the run follows (on the two links, under rain heavy enough for
// the sorbed pools to trade with it), what the pools leave on the soil or take from it stays in
// the watershed: the run's balances, the soil's among them, still close.
TEST(SedimentContamChannels, TrackedSoilKeepsWhatThePoolsExchangeWithIt) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_y_project(20.0,
                              "SUMMARY c.sum\nRAIN_INTENSITY 150\n" + pluvo_test::redistribution_soil("0.2") +
                                  "SOIL_CON_TRANS\nMIXING_LAYER_DEPTH 0.05\nTOP_LAYER_DEPTH 0.2\n",
                              pluvo_test::two_link_chan_file(), pluvo_test::two_link_stream_file());
  double exchanged = 0.0;
  const auto r = pluvo_test::run_contaminant_project(1, "write_time_series", [&](model_state& m) {
    // Booked by the soil, or waiting for its next update.
    double pending = 0.0;
    for (double v : m.ov_sed_con_soil_exchange) pending += std::fabs(v);
    exchanged = std::max(exchanged, std::fabs(m.run_constituent_terms[1].soil_sed_exchange) + pending);
  });
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_GT(exchanged, 0.0);
  const std::string sum = pluvo_test::read_file("c.sum");
  const std::vector<double> run = run_balance_errors(sum);
  EXPECT_EQ(run.size(), 3u) << sum;
  for (double e : run) EXPECT_LT(std::fabs(e), 1e-4) << sum;
  const size_t soil = sum.find("Soil mass balance error       ");
  ASSERT_NE(soil, std::string::npos) << sum;
  EXPECT_LT(std::fabs(std::strtod(sum.c_str() + soil + 30, nullptr)), 1e-4) << sum;
}

// Soil transport without an infiltration scheme has no soil to follow: the project is refused
// as it is read, before any step.
TEST(SedimentContamChannels, SoilTransportWithoutInfiltrationIsRefused) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_y_project(20.0, "SOIL_CON_TRANS\n", pluvo_test::two_link_chan_file(),
                              pluvo_test::two_link_stream_file());
  int steps = 0;
  pluvo::run_stopped_on_error = false;
  const auto r = pluvo_test::run_contaminant_project(1, "write_time_series", [&](model_state&) { ++steps; });
  EXPECT_TRUE(pluvo::run_stopped_on_error);  // the program exits with 1
  pluvo::run_stopped_on_error = false;
  pluvo::error_state = pluvo::error_state_record();
  EXPECT_EQ(steps, 0);
  EXPECT_NE(r.out.find("Error: SOIL_CON_TRANS needs an infiltration scheme (GREEN_AMPT, INF_REDIST, INF_LAYERED_SOIL or "
                       "INF_RICHARDS):\nwithout one there is no soil for the constituents.  Add one or remove the card.\n"),
            std::string::npos)
      << r.out;
}

INSTANTIATE_TEST_SUITE_P(SedimentContamChannels, SedimentContamWholeRun,
                         ::testing::Values(whole_run_case{"TwoLinks", pluvo_test::two_link_chan_file(),
                                                          pluvo_test::two_link_stream_file(), false},
                                           whole_run_case{"YWithALake", pluvo_test::y_network, pluvo_test::y_stream,
                                                          true},
                                           whole_run_case{"YWithALakeUnderHeavyRain", pluvo_test::y_network,
                                                          pluvo_test::y_stream, true, false, true},
                                           whole_run_case{"YWithALakeOnATrackedSoil", pluvo_test::y_network,
                                                          pluvo_test::y_stream, true, true, true}),
                         [](const ::testing::TestParamInfo<whole_run_case>& i) { return std::string(i.param.name); });

}  // namespace
