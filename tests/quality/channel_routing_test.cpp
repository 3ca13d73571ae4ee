// Dissolved constituents routed through small networks: a conservative tracer through a Y with a
// lake, the speed of a pulse in steady flow, dispersion in a closed link, first-order decay, the
// Courant sub-step and a steady point load.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "channel/channel_routines.hpp"
#include "channel/network_fixture.hpp"
#include "input/constituents.hpp"
#include "quality/channel_quality.hpp"
#include "quality/quality_phases.hpp"
#include "record/model_state.hpp"

namespace {

using pluvo::model_state;
using pluvo_test::link_spec;

constexpr double start_day = 2450000.0;

// The network with one contaminant allocated as the channel set-up does, every node holding
// `area` m2 of water, and the update clocks due now with steps of dt seconds.
std::unique_ptr<model_state> with_contaminant(std::unique_ptr<model_state> m, double area, double dt) {
  const size_t slots = size_t(m->chan_slot_count), links = size_t(m->nlinks) + 2;
  m->area.assign(slots, area);
  m->area_old.assign(slots, area);
  m->qp_vol.assign(slots, 0.0);
  m->ldex.assign(links, 0);
  for (int l = 1; l <= m->nlinks; ++l) m->ldex[size_t(l)] = m->lake2link[size_t(l)];
  m->lake_volume_last_chan = m->lake_volume;
  m->chan_con_trans_on = 1;
  m->chan_contam_out_name.clear();
  pluvo::allocate_constituent_arrays(*m, 1, 0, 0);
  pluvo::allocate_channel_contaminant_arrays(*m);
  m->cur_julian = start_day;
  m->chan_interval = dt / 86400.0;
  m->chan_wq_next_time = m->chan_outlet_next_time = m->chan_source_next_time = start_day;
  m->chan_wq_last_time = m->chan_outlet_last_time = m->chan_source_last_time = start_day - dt / 86400.0;
  return m;
}

size_t key(const model_state& m, int link, int node) { return size_t(link * m.chan_node_extent + node); }

// One channel update of dt seconds in which every node of link l passed q m3/s downstream: the
// outflow the channel phase gathers at the outlet, the sources and the routing.
void update(model_state& m, double dt, const std::vector<double>& link_q) {
  m.chan_next_time = m.cur_julian + dt / 86400.0;
  for (int l = 1; l <= m.nlinks; ++l)
    for (int n = 1; n <= m.nx[size_t(l)]; ++n) m.qp_vol[key(m, l, n)] = link_q[size_t(l)] * dt;
  m.chan_outlet_volume += link_q[size_t(m.nlinks)] * dt;
  pluvo::step_channel_contaminant_sources(m);
  pluvo::step_channel_lake_water_quality(m);
  m.cur_julian = m.chan_next_time;
}

double node_mass(const model_state& m) {
  double sum = 0.0;
  for (int l = 1; l <= m.nlinks; ++l)
    if (pluvo::wq_active_link(m, l))
      for (int n = 1; n <= m.nx[size_t(l)]; ++n) sum += m.chan_node_mass.rows[1][key(m, l, n)];
  return sum;
}

double lake_mass(const model_state& m) {
  double sum = 0.0;
  for (int lake = 1; lake <= m.nlakes; ++lake) sum += m.lake_con_mass.rows[1][lake];
  return sum;
}

void put_mass(model_state& m, int link, int node, double mass) {
  const size_t a = key(m, link, node);
  m.chan_node_mass.rows[1][a] = mass;
  m.chan_node_conc.rows[1][a] = mass / (m.area[a] * m.link_dx[size_t(link)]);
}

// Links 1 and 2 (five nodes each) feed lake link 3 (lake 1), which drains into link 4 (five
// nodes), the outlet link.
std::unique_ptr<model_state> y_with_lake(double dt) {
  auto m = with_contaminant(pluvo_test::make_network({link_spec{4, 5, 100.0, 3, {}},
                                                      link_spec{4, 5, 100.0, 3, {}},
                                                      link_spec{32, 1, 100.0, 4, {1, 2}, 1},
                                                      link_spec{4, 5, 100.0, 0, {3}}},
                                                     1),
                            2.0, dt);
  m->lake_volume[1] = 1e4;
  m->lake_volume_last_chan[1] = 1e4;
  return m;
}

TEST(ChannelRouting, TracerThroughAYWithALakeKeepsItsMass) {
  const double dt = 60.0;
  auto m = y_with_lake(dt);
  for (int n = 1; n <= 5; ++n) {
    put_mass(*m, 1, n, 100.0 * n);
    put_mass(*m, 2, n, 50.0);
    put_mass(*m, 4, n, 10.0 * n);
  }
  m->lake_con_mass.rows[1][1] = 5000.0;
  m->lake_con_conc.rows[1][1] = 0.5;
  m->chan_disp.rows[1][key(*m, 4, 2)] = 0.0;
  for (int l : {1, 2, 4})
    for (int n = 1; n <= 5; ++n) m->chan_disp.rows[1][key(*m, l, n)] = 2.0;
  const double total = node_mass(*m) + lake_mass(*m);
  const std::vector<double> q = {0.0, 1.0, 1.5, 0.0, 2.5};  // Courant 0.75 at the outlet link
  double lake_out = 0.0;
  for (int i = 0; i < 1000; ++i) {
    update(*m, dt, q);
    const double out = m->run_constituent_terms[1].chan_out * 1000.0;
    ASSERT_NEAR(node_mass(*m) + lake_mass(*m) + out, total, 1e-12 * total) << "update " << i;
    lake_out = m->run_constituent_terms[1].chan_from_lake;
  }
  // The lake passed its water on: by now most of the tracer has left through the outlet.
  EXPECT_GT(lake_out * 1000.0, 5000.0);
  EXPECT_GT(m->run_constituent_terms[1].chan_out * 1000.0, 0.9 * total);
  EXPECT_NEAR(m->run_constituent_terms[1].chan_to_lake - m->run_constituent_terms[1].chan_from_lake,
              lake_mass(*m) / 1000.0 - 5.0, 1e-9);
}

// Mass and first and second moments (about node 0) of the tracer along link 1.
struct link_moments {
  double mass = 0.0, first = 0.0, second = 0.0;
  double mean() const { return first / mass; }
  double variance() const { return second / mass - mean() * mean(); }
};

link_moments moments(const model_state& m, double dx) {
  link_moments s;
  for (int n = 1; n <= m.nx[1]; ++n) {
    const double v = m.chan_node_mass.rows[1][key(m, 1, n)], x = n * dx;
    s.mass += v;
    s.first += v * x;
    s.second += v * x * x;
  }
  return s;
}

std::unique_ptr<model_state> one_link(int nodes, double dx, double area, double dt) {
  return with_contaminant(pluvo_test::make_network({link_spec{4, nodes, dx, 0, {}}}), area, dt);
}

TEST(ChannelRouting, APulseInSteadyFlowMovesAtTheWaterSpeed) {
  const double dx = 10.0, area = 2.0, q = 1.5, dt = 5.0;
  auto m = one_link(200, dx, area, dt);
  for (int n = 40; n <= 45; ++n) put_mass(*m, 1, n, 7.0 + n % 2);
  const link_moments before = moments(*m, dx);
  for (int i = 0; i < 40; ++i) update(*m, dt, {0.0, q});
  const link_moments after = moments(*m, dx);
  EXPECT_NEAR(after.mass, before.mass, 1e-12 * before.mass);
  const double moved = after.mean() - before.mean();
  EXPECT_NEAR(moved, q / area * 40 * dt, 1e-9 * moved);
}

TEST(ChannelRouting, DispersionAloneKeepsTheMassAndSpreadsThePulse) {
  const double dx = 10.0, area = 2.0, d = 3.0, dt = 5.0;
  auto m = one_link(100, dx, area, dt);
  for (int n = 1; n <= 100; ++n) m->chan_disp.rows[1][key(*m, 1, n)] = d;
  for (int n = 48; n <= 52; ++n) put_mass(*m, 1, n, 1.0 + n % 3);
  const link_moments before = moments(*m, dx);
  for (int i = 0; i < 100; ++i) update(*m, dt, {0.0, 0.0});
  const link_moments after = moments(*m, dx);
  EXPECT_NEAR(after.mass, before.mass, 1e-12 * before.mass);
  EXPECT_NEAR(after.mean(), before.mean(), 1e-9 * before.mean());
  // The discrete dispersion widens the variance by 2 D t while the ends stay clear.
  const double widened = 2.0 * d * 100 * dt;
  EXPECT_NEAR(after.variance() - before.variance(), widened, 1e-5 * widened);
}

TEST(ChannelRouting, DecayAloneFollowsTheExponential) {
  const double dt = 10.0, k = 1e-4;
  auto m = one_link(5, 100.0, 2.0, dt);
  m->contam_table_on = 1;
  for (int n = 1; n <= 5; ++n) {
    put_mass(*m, 1, n, 1000.0);
    m->chan_node_decay_coef[1][int(key(*m, 1, n))] = k;
  }
  for (int i = 0; i < 1000; ++i) update(*m, dt, {0.0, 0.0});
  const double expected = 5000.0 * std::exp(-k * 1000 * dt);
  EXPECT_NEAR(node_mass(*m), expected, 1e-3 * expected);
  EXPECT_NEAR(m->run_constituent_terms[1].chan_decay * 1000.0 + node_mass(*m), 5000.0, 1e-9);
}

TEST(ChannelRouting, CourantSubSteps) {
  struct sub_case {
    double h, c, expected;
  } cases[] = {{60.0, 0.0, 60.0}, {60.0, 0.5, 60.0},  {60.0, -3.0, 60.0},
               {60.0, 2.0, 15.0}, {60.0, 1e6, 0.1},    {0.1, 4.0, 0.1}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(pluvo::channel_wq_sub_step(c.h, c.c), c.expected) << c.h << " " << c.c;
}

TEST(ChannelRouting, ASteadyPointLoadReachesTheOutletAtLoadOverFlow) {
  const double dt = 20.0, q = 2.0, load = 3.0;  // mass per second at node 1
  auto m = one_link(10, 50.0, 2.0, dt);
  m->chan_point_input_on = 1;
  for (int i = 0; i < 600; ++i) {
    m->chan_point_mass_flux[1][int(key(*m, 1, 1))] += load * dt;
    update(*m, dt, {0.0, q});
  }
  EXPECT_NEAR(m->chan_node_conc.rows[1][key(*m, 1, 10)], load / q, 1e-9 * load / q);
}

}  // namespace
