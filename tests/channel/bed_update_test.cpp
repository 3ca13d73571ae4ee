// Sections that follow the bed: an erodible V section of one node that loses or gains a known
// sand volume, checked against the volume between the old and the new bed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "channel/channel_services.hpp"
#include "channel/cross_sections.hpp"
#include "channel/network_fixture.hpp"
#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "record/model_state.hpp"

namespace {

constexpr double porosity = 0.4;
constexpr double reach = 100.0;  // node spacing, m

// One erodible break-point node: a V of 21 pairs from 12 m down to 10 m at x = 10 and up again,
// ten depth steps of 0.2 m; water once stood 1 m deep; 0.5 m may erode. The bed has lost
// `lost` m3 of sand (negative: gained).
std::unique_ptr<pluvo::model_state> v_section(double lost, int adjust = 1) {
  pluvo::error_state = pluvo::error_state_record();
  auto m = pluvo_test::make_network({pluvo_test::link_spec{8 | 2, 1, reach, 0, {}, 0}});
  const size_t per_link = size_t(m->nlinks) + 2, slots = size_t(m->chan_slot_count);
  m->num_erodible_bp_links = 1;
  m->bplink.assign(per_link, 0);
  m->bplink[1] = 1;
  m->inv_mannings_n.assign(per_link, 1.0 / 0.03);
  m->num_xsec_tables = 1;
  m->max_num_interp = 10;
  m->max_npairs = 21;
  m->table_num.assign(slots, 0);
  for (auto* v : {&m->topw, &m->dconv}) v->assign(slots, 0.0);
  pluvo::size_xsec_tables(*m);
  pluvo::breakpoint_link bp;
  bp.link = 1;
  bp.ltype = 8 | 2;
  bp.nodes = 1;
  bp.mannings_n = 0.03;
  pluvo::breakpoint_section s;
  s.node = 1;
  s.num_interp = 10;
  for (int i = 0; i <= 20; ++i) {
    s.x.push_back(i);
    s.y.push_back(10.0 + 0.2 * std::fabs(i - 10.0));
  }
  bp.sections.push_back(s);
  int counter = 0;
  pluvo::interp_breakpoint_xsecs(*m, counter, bp, 0);
  const size_t key = size_t(m->chan_node_extent) + 1;
  m->bel.assign(slots, 0.0);
  m->bel[key] = 10.0;
  m->new_bel = m->bel;
  m->max_eros.assign(slots, 0.0);
  m->max_eros[key] = 0.5;
  m->max_yp.assign(2 * size_t(m->chan_node_extent), 0.0);
  m->max_yp[key] = 11.0;
  m->ch_sand_vol0.assign(2 * size_t(m->chan_node_extent), 0.0);
  m->ch_sand_vol0[key] = 100.0;
  m->ch_sand_vol.assign(slots * 3, 0.0);
  m->ch_sand_vol[key * 3] = 100.0 - lost;
  m->sed_porosity = porosity;
  m->adjust_channel_bed_on = adjust;
  return m;
}

size_t node1(const pluvo::model_state& m) { return size_t(m.chan_node_extent) + 1; }

std::vector<double> polyline_y(const pluvo::model_state& m) {
  const size_t base = node1(m) * size_t(m.max_npairs + 1);
  return {m.ybp_lnn.begin() + long(base) + 1, m.ybp_lnn.begin() + long(base) + 22};
}

// m3 between two beds of the V (x spacing 1 m) over the reach.
double volume_between(const std::vector<double>& before, const std::vector<double>& after) {
  double v = 0.0;
  for (size_t i = 1; i < before.size(); ++i)
    v += ((before[i] - after[i]) + (before[i - 1] - after[i - 1])) * 0.5 * reach;
  return v;
}

}  // namespace

TEST(BedUpdate, SandLostOrGainedMovesTheSectionByItsBedVolume) {
  const std::vector<double> original = polyline_y(*v_section(0.0));
  double bottom_drop = 0.0;
  for (double lost : {6.0, -6.0}) {
    auto m = v_section(lost);
    const std::string out = pluvo::printed_by([&] { pluvo::xsec_update(*m); });
    ASSERT_EQ(pluvo::error_state.error_code, 0) << out;
    const std::vector<double> moved = polyline_y(*m);
    const double bed_volume = lost / (1.0 - porosity);
    EXPECT_NEAR(volume_between(original, moved), bed_volume, 1e-5 * std::fabs(bed_volume)) << lost;
    // Points at or above the highest water never move; the bottom moves by the full shift.
    EXPECT_EQ(moved.front(), original.front());
    EXPECT_EQ(moved.back(), original.back());
    const double shift = moved[10] - original[10];
    EXPECT_DOUBLE_EQ(m->new_bel[node1(*m)], 10.0 + shift);
    EXPECT_DOUBLE_EQ(m->bel[node1(*m)], m->new_bel[node1(*m)]);
    if (lost > 0) {
      bottom_drop = -shift;
      EXPECT_GT(bottom_drop, 0.0);
    } else {
      // The square-root weight puts deposits at the bottom: it rises more than erosion lowers it.
      EXPECT_GT(shift, bottom_drop);
    }
    // The rebuilt table spans the new section: from the new bottom to the 12 m banks in ten steps.
    EXPECT_DOUBLE_EQ(m->ht_spc[1], (12.0 - moved[10]) / 10.0);
  }
}

TEST(BedUpdate, FloorUntouchedNodesAndTrackingWithoutAdjustment) {
  // Far more sand lost than the section holds: the shift is clamped to the depth (with its
  // warning), the bed stops at bel - max_eros, and a node at its floor is left alone.
  auto deep = v_section(1200.0);
  const std::string out = pluvo::printed_by([&] { pluvo::xsec_update(*deep); });
  EXPECT_EQ(out, "In xsec_update.c - 3\n"
                 "It is impossible that change of stream bed elevation is greater than maximum channel depth\n"
                 "Setting the change in stream bed elevation equal to the depth of the channel\n");
  EXPECT_DOUBLE_EQ(deep->new_bel[node1(*deep)], 9.5);
  const std::vector<double> at_floor = polyline_y(*deep);
  pluvo::printed_by([&] { pluvo::xsec_update(*deep); });
  EXPECT_EQ(polyline_y(*deep), at_floor);

  // Nothing lost, or water that never stood on the bed: nothing moves.
  std::vector<std::unique_ptr<pluvo::model_state>> untouched;
  untouched.push_back(v_section(0.0));
  untouched.push_back(v_section(6.0));
  untouched.back()->max_yp[node1(*untouched.back())] = 10.0;
  for (auto& m : untouched) {
    const std::vector<double> before = polyline_y(*m);
    pluvo::xsec_update(*m);
    EXPECT_EQ(pluvo::error_state.error_code, 0);
    EXPECT_EQ(polyline_y(*m), before);
    EXPECT_EQ(m->new_bel[node1(*m)], 10.0);
  }

  // Without ADJUST_CHANNEL_BED only the tracked bed moves.
  auto tracked = v_section(6.0, 0);
  const std::vector<double> before = polyline_y(*tracked);
  const std::vector<double> areas = tracked->xarea;
  pluvo::xsec_update(*tracked);
  EXPECT_LT(tracked->new_bel[node1(*tracked)], 10.0);
  EXPECT_EQ(tracked->bel[node1(*tracked)], 10.0);
  EXPECT_EQ(polyline_y(*tracked), before);
  EXPECT_EQ(tracked->xarea, areas);
}

TEST(BedUpdate, NodeWithoutATableStopsTheRun) {
  auto m = v_section(6.0);
  m->channel_input_path = "c.chn";
  for (int t : {0, 2}) {
    pluvo::error_state = pluvo::error_state_record();
    m->table_num[node1(*m)] = t;
    const std::string out = pluvo::printed_by([&] { pluvo::xsec_update(*m); });
    EXPECT_EQ(out, "In read_chan_input.c - 3\nprogram stopped for negative depth, node 1, link 1\n") << t;
    EXPECT_EQ(pluvo::error_state.error_code, 200);
  }
  pluvo::error_state = pluvo::error_state_record();
}

// After the event the depths follow the new section from the same flow area: the water in the
// channel stays what it was.
TEST(BedUpdate, BedChangeKeepsTheChannelWater) {
  auto m = v_section(6.0);
  const size_t k = node1(*m);
  m->area[k] = 3.0;
  int32_t exceeded = 0;
  ASSERT_TRUE(pluvo::ex_section_node(*m, 1, 1, 1, exceeded));
  const double surface_before = m->yp[k];
  pluvo::follow_channel_bed_change(*m);
  ASSERT_EQ(pluvo::error_state.error_code, 0);
  EXPECT_EQ(m->area[k] * reach, 3.0 * reach);
  // The lowered bed holds the same area under a lower surface.
  EXPECT_LT(m->yp[k], surface_before);
  EXPECT_NEAR(m->yp[k], m->bel[k] + m->chan_depth[k], 1e-12);
}
