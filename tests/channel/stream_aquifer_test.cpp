// Seepage between the water table and the stream nodes and lake cells (stream_over_aquifer:
// three nodes 2 m wide on beds of 10 m over cells of ground 12 m).
#include <gtest/gtest.h>

#include <cmath>

#include "channel/channel_fixture.hpp"
#include "channel/channel_services.hpp"

namespace pluvo {
namespace {

TEST(StreamAquiferExchange, NodesLoseOrGainByTheHeadAcrossTheirBed) {
  const double k = 0.001 / 0.5;  // bed conductance per unit wetted perimeter, 1/s
  const struct {
    const char* name;
    double depth, head;
    int result;
    double qriv;
  } cases[] = {
      {"dry node over a low water table", 0.0, 8.0, 0, 0.0},
      {"wet node over a low water table loses", 0.5, 8.0, 2, -0.5 * k * (2 * 0.5 * 1.0 + 2.0)},
      {"water table above the water surface feeds the node", 0.5, 11.0, 1, k * (11.0 - 10.5) * (2 * 1.0 * 1.0 + 2.0)},
  };
  for (const auto& c : cases) {
    auto m = stream_over_aquifer(c.depth, c.head);
    EXPECT_EQ(compute_stream_aquifer_flux(*m, 1.0), c.result) << c.name;
    EXPECT_NEAR(m->qriv[node_at(*m, 1, 2)], c.qriv, 1e-15) << c.name;
  }
}

// While the routing is idle the nodes still lose: each grid-stream entry keeps the volume it
// passed for the constituents, and the entries' volumes are the cells' volumes.
TEST(StreamAquiferExchange, IdleSeepageGivesEachEntryItsVolume) {
  auto m = stream_over_aquifer(0.5, 8.0);
  m->chan_con_trans_on = 1;
  m->gst_qriv_vol.assign(4, std::vector<double>(2, 0.0));
  ASSERT_EQ(compute_stream_aquifer_flux(*m, 1.0), 2);
  book_stream_seepage(*m, 60.0);
  double entries = 0.0, cells = 0.0;
  for (const auto& cell : m->gst_qriv_vol)
    for (const double v : cell) entries += v;
  for (const double v : m->cell_stream_exchange_volume) cells += v;
  EXPECT_LT(entries, 0.0);
  EXPECT_DOUBLE_EQ(entries, cells);
}

// A lake over a water table within 1 cm of the aquifer bottom drains through its bed; a stale
// rate is not kept where the stage no longer stands above the ground.
TEST(StreamAquiferExchange, DisconnectedLakeCellLosesThroughItsBed) {
  auto m = stream_over_aquifer(0.0, 0.005);
  m->stream_loss_on = 0;
  m->lakes_on = 1;
  m->lake_gw_exchange_on = 1;
  m->lake_mask = {0, 1, 1, 0};
  m->lake_elev = {0.0, 13.0, 0.0};
  m->Mlake = {0.0, 50.0, 0.0};
  m->ks_cell.assign(4, 1e-6);
  m->gwbound = {0, 7, 7, 4};
  m->elevation = {0.0, 12.0, 13.5, 12.0};
  m->lake_seepage_cell.assign(4, 99.0);
  EXPECT_EQ(compute_stream_aquifer_flux(*m, 1.0), 0);
  EXPECT_DOUBLE_EQ(m->lake_seepage_cell[1], -(13.0 - 12.0) * 1e-6 / 0.5 * 30.0);
  EXPECT_EQ(m->lake_seepage_cell[2], 0.0);
  EXPECT_EQ(m->lake_seepage_cell[3], 0.0);
}

// No lake gives the aquifer more than it holds; the constituents' copy of each cell's volume is
// the volume that moved.
TEST(StreamAquiferExchange, LakeSeepageStopsWhenTheLakeIsEmpty) {
  auto m = stream_over_aquifer(0.0, 0.005);
  m->lakes_on = 1;
  m->chan_con_trans_on = 1;
  m->lake_gw_exchange_volume.assign(4, 0.0);
  m->lake_gw_exchange_on = 1;
  m->lake_mask = {0, 1, 1, 0};
  m->lake_volume = {0.0, 10.0, 0.0};
  m->lake_in_dv.assign(3, 0.0);
  m->lake_out_dv.assign(3, 0.0);
  m->lake_source.assign(4, 0.0);
  m->lake_seepage_cell = {0.0, -0.1, -0.1, 0.0};
  apply_lake_seepage(*m, 3600.0);
  EXPECT_EQ(m->lake_volume[1], 0.0);
  EXPECT_DOUBLE_EQ(m->lake_out_dv[1], 10.0);
  EXPECT_DOUBLE_EQ(m->lake_source[1] + m->lake_source[2], -10.0);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(m->lake_gw_exchange_volume[size_t(c)], m->lake_source[size_t(c)]);
}

}  // namespace
}  // namespace pluvo
