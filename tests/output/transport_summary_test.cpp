// The sediment and constituent blocks of the run summary, written from a record whose totals the
// test sets: whole blocks byte for byte, the balances they store back, the naming of nutrients.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "output/transport_summary.hpp"
#include "output/written_file.hpp"
#include "record/model_state.hpp"

namespace {

using pluvo::model_state;

// Two size classes (1 wash load, 2 sand), one channel link of one node holding 3 m3 of sand and
// 0.5 m3 of wash load, and, with lakes, one lake.
std::unique_ptr<model_state> sediment_record(bool lakes) {
  auto m = std::make_unique<model_state>();
  m->soil_erosion_on = 1;
  m->chan_sed_transport_on = 1;
  m->ov_sed = std::make_unique<pluvo::ov_sed_record>();
  pluvo::ov_sed_record& s = *m->ov_sed;
  s.num_sed_classes = 2;
  s.num_fine_classes = 1;
  s.num_sand_classes = 1;
  s.sand = {0, 0, 1};
  s.particle_density = {0.0, 2.6e6, 2.65e6};
  // Class 1: 2 m3 eroded, 0.25 deposited, 0.5 suspended; class 2: 1 eroded, 0.5 deposited.
  s.tot_sed = {0, 0, 0, 0, 0, 0, -2.0, 0.5, 0.25, 0, 0, -1.0, 0, 0.5, 0};
  m->nlinks = 1;
  m->chan_node_extent = 2;
  m->chan_slot_count = 4;
  m->ltype = {0, 4};
  m->nx = {0, 1};
  m->ch_sand_vol.assign(4 * 4, 0.0);
  m->ch_sand_vol[3 * 4] = 3.0;
  m->ch_wash_vol.assign(4 * 3, 0.0);
  m->ch_wash_vol[3 * 3 + 1] = 0.5;
  m->ov_to_chan_sed_total = {1.25, 1.25, 0.5};
  m->event_sed_to_chan = {1.0, 1.0, 0.25};
  m->total_chan_sand_vol = 2.75;
  m->sand_to_chan_total = 0.5;
  m->event_sand_to_chan = 0.25;
  m->sand_out_total = 0.25;
  m->event_sand_out = 0.125;
  m->wash_out_total = 0.75;
  m->event_wash_out = 0.5;
  m->max_wash_outflow_rate = 0.003;
  m->event_start_sand = 2.875;
  m->event_start_wash = 0.0;
  if (lakes) {
    m->lakes_on = 1;
    m->nlakes = 1;
    for (auto* v : {&m->GLOBAL_SS_vol_lake_to_chan, &m->GLOBAL_SS_vol_chan_to_lake, &m->GLOBAL_SS_vol_overland_to_lake,
                    &m->GLOBAL_SS_vol_lake_to_overland, &m->GLOBAL_SS_vol_lake_settled, &m->SS_vol_lake, &m->SS_conc_lake})
      v->assign(3 * 3, 0.0);
    m->GLOBAL_SS_vol_overland_to_lake[3] = m->GLOBAL_SS_vol_overland_to_lake[4] = 0.25;
    m->GLOBAL_SS_vol_chan_to_lake[3] = 0.125;
    m->SS_vol_lake[4] = 0.0625;
    m->SS_conc_lake[4] = 0.0001;
    for (auto* v : {&m->event_lake_ss_to_chan, &m->event_chan_ss_to_lake, &m->event_ov_ss_to_lake,
                    &m->event_lake_ss_settled, &m->event_start_lake_ss, &m->event_lake_sand_in, &m->event_lake_depo_in,
                    &m->tot_lake_sand_in, &m->tot_lake_depo_in})
      v->assign(3, 0.0);
    m->event_chan_ss_to_lake[1] = 0.125;
    m->event_ov_ss_to_lake[1] = 0.25;
    // The quarter of class 1 that went to the lake did not reach the channels; an eighth of the
    // wash load went on from the channel into the lake instead of through the outlet.
    m->ov_to_chan_sed_total = {1.0, 1.0, 0.5};
    m->event_wash_out = 0.375;
    m->wash_out_total = 0.375;
  }
  return m;
}

const char* event_sediment_no_lakes =
    "Overland Sediment Summary\n"
    "Quantities, except for amounts to Superlinks, are running totals for simulation - NOT EVENT \n"
    "Quantities for amount of sediment to superlink is for the single event\n"
    "Total sediment 1 eroded from surface:              2.00000000 m3\n"
    "Total sediment 1 deposited on surface:             0.25000000 m3\n"
    "Total sediment 1 remaining in suspension:          0.50000000 m3\n"
    "Total sediment 1 transported into channels:        1.25000000 m3\n"
    "Mass balance error for sediment 1     0.0000 percent \n"
    "\n"
    "Total sediment 2 eroded from surface:              1.00000000 m3\n"
    "Total sediment 2 deposited on surface:             0.50000000 m3\n"
    "Total sediment 2 remaining in suspension:          0.00000000 m3\n"
    "Total sediment 2 transported into channels:        0.50000000 m3\n"
    "Mass balance error for sediment 2     0.0000 percent \n"
    "\n"
    "\n"
    "Channel sediment routing mass quantities\n"
    "Quanties are this Event \n"
    "Total sediment 1 transported into channels this event:       1.00 m3\n"
    "Total sediment 2 transported into channels this event:       0.25 m3\n"
    "\n"
    "Initial volume of sand in channels:              2.87500000 m3\n"
    "Event sand to chan from overland:                0.25000000 m3\n"
    "Event sand outlet discharge:                     0.12500000 m3\n"
    "Final sand in channels:                          3.00000000 m3\n"
    "\n"
    "Initial wash load in suspension:                 0.00000000 m3 \n"
    "Event wash-load to chan from overland:           1.00000000 m3\n"
    "Event wash-load outlet discharge:                0.50000000 m3\n"
    "Final wash-load remaining in suspension:         0.50000000 m3\n"
    "\n"
    "Maximum rate of wash-load discharge:       0.00300000 cms\n"
    "\n"
    "Event channel sediment mass-balance:\n"
    "Mass conservation error for wash load:       0.000000 percent\n"
    "Mass conservation error for sand load:       0.000000 percent\n"
    "Overall channel sediment mass cons. error:   0.000000 percent\n"
    "\n";

const char* event_sediment_lakes =
    "Overland Sediment Summary\n"
    "Quantities, except for amounts to Superlinks, are running totals for simulation - NOT EVENT \n"
    "Quantities for amount of sediment to superlink is for the single event\n"
    "Total sediment 1 eroded from surface:              2.00000000 m3\n"
    "Total sediment 1 deposited on surface:             0.25000000 m3\n"
    "Total sediment 1 remaining in suspension:          0.50000000 m3\n"
    "Total sediment 1 transported into channels:        1.00000000 m3\n"
    "Net sediment 1 from overland to lakes:             0.25000000 m3\n"
    "Mass balance error for sediment 1     0.0000 percent \n"
    "NOTE:  Interactions between sediment 1 and lakes in the watershed prevent an exact mass balance calculation \n"
    "       Reported errors are likely accounting errors only \n"
    "\n"
    "Total sediment 2 eroded from surface:              1.00000000 m3\n"
    "Total sediment 2 deposited on surface:             0.50000000 m3\n"
    "Total sediment 2 remaining in suspension:          0.00000000 m3\n"
    "Total sediment 2 transported into channels:        0.50000000 m3\n"
    "Net sediment 2 from overland to lakes:             0.00000000 m3\n"
    "Mass balance error for sediment 2     0.0000 percent \n"
    "\n"
    "\n"
    "Channel sediment routing mass quantities\n"
    "Quanties are this Event \n"
    "Total sediment 1 transported into channels this event:       1.00 m3\n"
    "Total sediment 2 transported into channels this event:       0.25 m3\n"
    "\n"
    "Initial volume of sand in channels:              2.87500000 m3\n"
    "Event sand to chan from overland:                0.25000000 m3\n"
    "Event sand from chan to lakes:                   0.00000000 m3\n"
    "Event sand outlet discharge:                     0.12500000 m3\n"
    "Final sand in channels:                          3.00000000 m3\n"
    "\n"
    "Initial wash load in suspension:                 0.00000000 m3 \n"
    "Event wash-load to chan from overland:           1.00000000 m3\n"
    "Event wash-load from chan to lakes :             0.12500000 m3\n"
    "Event wash-load from lake to chan:               0.00000000 m3\n"
    "Event wash-load outlet discharge:                0.37500000 m3\n"
    "Final wash-load remaining in suspension:         0.50000000 m3\n"
    "\n"
    "Maximum rate of wash-load discharge:       0.00300000 cms\n"
    "\n"
    "Event channel sediment mass-balance:\n"
    "Mass conservation error for wash load:       0.000000 percent\n"
    "Mass conservation error for sand load:       0.000000 percent\n"
    "Overall channel sediment mass cons. error:   0.000000 percent\n"
    "\n"
    "Lake Summary \n"
    "Quanties are for this event \n"
    "Net wash-load into lakes from overland:                           0.25000000 m3\n"
    "Total wash-load settled in lakes:                                 0.00000000 m3\n"
    "Total sand-load from upstream channel settled in lake bed:        0.00000000 m3\n"
    "Total overland sand-load settled in lake boundaries:              0.00000000 m3\n"
    "\n"
    "Summary for lake 1 \n"
    "Quanties are for this event \n"
    "Initial vol of SS in lake:                        0.00000000 m3 \n"
    "Event vol of SS from lake to chan                 0.00000000 m3 \n"
    "Event vol of SS from chan to lake                 0.12500000 m3 \n"
    "Event net vol of SS from overland to lake         0.25000000 m3 \n"
    "Event vol of SS settled in lake                   0.00000000 m3 \n"
    "Total Suspended Sediment in lake                  0.06250000 m3 \n"
    "\n"
    "Suspended Sediment Concentration                  100.00000000 cc/m3\n"
    "Suspended Sediment Concentration                  260.00000000 mg/L\n"
    "\n"
    "Event sand settled into lake bottom:              0.00000000 m3 \n"
    "Event sand settled in lake boundary:              0.00000000 m3 \n"
    "\n";

const char* run_sediment_no_lakes =
    "Overland Sediment Summary\n"
    "Total sediment 1 eroded from surface:              2.00000000 m3\n"
    "Total sediment 1 deposited on surface:             0.25000000 m3\n"
    "Total sediment 1 remaining in suspension:          0.50000000 m3\n"
    "Total sediment 1 transported into channels:        1.25000000 m3\n"
    "Mass balance error for sediment 1     0.0000 percent \n"
    "\n"
    "Total sediment 2 eroded from surface:              1.00000000 m3\n"
    "Total sediment 2 deposited on surface:             0.50000000 m3\n"
    "Total sediment 2 remaining in suspension:          0.00000000 m3\n"
    "Total sediment 2 transported into channels:        0.50000000 m3\n"
    "Mass balance error for sediment 2     0.0000 percent \n"
    "\n"
    "\n"
    "Channel sediment routing mass quantities\n"
    "Total sediment 1 transported into channels:       1.25000000 m3\n"
    "Total sediment 2 transported into channels:       0.50000000 m3\n"
    "\n"
    "Initial volume of sand in channels:              2.75000000 m3\n"
    "Total sand to chan from overland:                0.50000000 m3\n"
    "Total sand outlet discharge:                     0.25000000 m3\n"
    "Final sand in channels:                          3.00000000 m3\n"
    "\n"
    "Total wash-load to chan from overland:           1.25000000 m3\n"
    "Total wash-load outlet discharge:                0.75000000 m3\n"
    "Final wash-load remaining in suspension:         0.50000000 m3\n"
    "\n"
    "Total channel sediment mass-balance:\n"
    "Mass conservation error for wash load:       0.000000 percent\n"
    "Mass conservation error for sand load:       0.000000 percent\n"
    "Overall channel sediment mass cons. error:   0.000000 percent\n";

const char* run_sediment_lakes =
    "Overland Sediment Summary\n"
    "Total sediment 1 eroded from surface:              2.00000000 m3\n"
    "Total sediment 1 deposited on surface:             0.25000000 m3\n"
    "Total sediment 1 remaining in suspension:          0.50000000 m3\n"
    "Total sediment 1 transported into channels:        1.00000000 m3\n"
    "Net sediment 1 from overland to lakes:             0.25000000 m3\n"
    "Mass balance error for sediment 1     0.0000 percent \n"
    "NOTE:  Interactions between sediment 1 and lakes in the watershed prevent an exact mass balance calculation \n"
    "       Reported errors are likely accounting errors only \n"
    "\n"
    "Total sediment 2 eroded from surface:              1.00000000 m3\n"
    "Total sediment 2 deposited on surface:             0.50000000 m3\n"
    "Total sediment 2 remaining in suspension:          0.00000000 m3\n"
    "Total sediment 2 transported into channels:        0.50000000 m3\n"
    "Net sediment 2 from overland to lakes:             0.00000000 m3\n"
    "Mass balance error for sediment 2     0.0000 percent \n"
    "\n"
    "\n"
    "Channel sediment routing mass quantities\n"
    "Total sediment 1 transported into channels:       1.00000000 m3\n"
    "Total sediment 2 transported into channels:       0.50000000 m3\n"
    "\n"
    "Initial volume of sand in channels:              2.75000000 m3\n"
    "Total sand to chan from overland:                0.50000000 m3\n"
    "Total sand from chan to lakes:                   0.00000000 m3\n"
    "Total sand outlet discharge:                     0.25000000 m3\n"
    "Final sand in channels:                          3.00000000 m3\n"
    "\n"
    "Total wash-load to chan from overland:           1.00000000 m3\n"
    "Total wash-load from chan to lakes :             0.12500000 m3\n"
    "Total wash-load from lake to chan:               0.00000000 m3\n"
    "Total wash-load outlet discharge:                0.37500000 m3\n"
    "Final wash-load remaining in suspension:         0.50000000 m3\n"
    "\n"
    "Total channel sediment mass-balance:\n"
    "Mass conservation error for wash load:       0.000000 percent\n"
    "Mass conservation error for sand load:       0.000000 percent\n"
    "Overall channel sediment mass cons. error:   0.000000 percent\n"
    "\n"
    "Lake Summary \n"
    "Net wash-load into lakes from overland:                            0.2 m3\n"
    "Total wash-load settled in lakes:                                  0.0 m3\n"
    "Total sand-load from upstream channel settled in lake bed:         0.0 m3\n"
    "Total overland sand-load settled in lake boundaries:               0.0 m3\n"
    "\n"
    "Summary for lake 1 \n"
    "\n"
    "Total vol of SS from lake to chan                 0.00000000 m3 \n"
    "Total vol of SS from chan to lake                 0.12500000 m3 \n"
    "Total net vol of SS from overland to lake         0.25000000 m3 \n"
    "Total vol of SS settled in lake                   0.00000000 m3 \n"
    "Total Suspended Sediment in lake                  0.06250000 m3 \n"
    "\n"
    "Suspended Sediment Concentration                  100.00000000 cc/m3\n"
    "Suspended Sediment Concentration                  260.00000000 mg/L\n"
    "\n"
    "Total sand settled into lake bottom:              0.00000000 m3 \n"
    "Total sand settled in lake boundary:              0.00000000 m3 \n";

// Eroded = deposited + suspended + into channels closes both classes; the channel figures close
// sand and wash load.
TEST(TransportSummary, EventSedimentBlocksWithoutLakes) {
  pluvo_test::scratch_dir dir;
  auto m = sediment_record(false);
  EXPECT_EQ(pluvo_test::written([&](std::FILE* f) { pluvo::write_event_transport_blocks(*m, f); }),
            event_sediment_no_lakes);
}

TEST(TransportSummary, EventSedimentBlocksWithLakes) {
  pluvo_test::scratch_dir dir;
  auto m = sediment_record(true);
  EXPECT_EQ(pluvo_test::written([&](std::FILE* f) { pluvo::write_event_transport_blocks(*m, f); }),
            event_sediment_lakes);
}

TEST(TransportSummary, RunSedimentSummaries) {
  pluvo_test::scratch_dir dir;
  for (bool lakes : {false, true}) {
    auto m = sediment_record(lakes);
    const std::string text = pluvo_test::written([&](std::FILE* f) { pluvo::write_run_transport_summaries(*m, f); });
    EXPECT_EQ(text, lakes ? run_sediment_lakes : run_sediment_no_lakes);
    // The bed report comes with the channel summary.
    EXPECT_EQ(pluvo_test::read_file("new_bed_elevations.txt").substr(0, 5), "Link ");
  }
}

}  // namespace
