// The sediment and constituent blocks of the run summary, written from a record whose totals the
// test sets: whole blocks byte for byte, the balances they store back, the naming of nutrients.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
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
    for (auto* v : {&m->GLOBAL_SS_vol_lake_to_chan, &m->GLOBAL_SS_vol_chan_to_lake, &m->GLOBAL_sed_vol_overland_to_lake,
                    &m->GLOBAL_SS_vol_lake_settled, &m->SS_vol_lake, &m->SS_conc_lake, &m->SS_conc_vol_lake})
      v->assign(3 * 3, 0.0);
    m->GLOBAL_sed_vol_overland_to_lake[3] = m->GLOBAL_sed_vol_overland_to_lake[4] = 0.25;
    m->GLOBAL_SS_vol_chan_to_lake[3] = 0.125;
    m->SS_vol_lake[4] = 0.0625;
    m->SS_conc_vol_lake[4] = 0.0001;
    m->SS_conc_lake[4] = 260.0;  // mg/L
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

namespace {

#define GROW_MASS_ARRAY(member) pluvo::checked_array_grow_fill(m.member, n, 0.0);

// Constituents 1..n of the given types, names "lead", "zinc", ..., with the overland and channel
// transport on and, with lakes, one lake.
void constituent_record(model_state& m, const std::vector<int>& types, bool lakes) {
  const int n = int(types.size());
  m.num_constituents = n;
  PLUVO_NAMED_MASS_ARRAYS(GROW_MASS_ARRAY)
  m.constituent_output_name = {"", "lead", "zinc", "tin"};
  for (int c = 1; c <= n; ++c) m.constituent_type[c] = types[size_t(c - 1)];
  m.ov_con_trans_on = 1;
  m.chan_con_trans_on = 1;
  m.chan_explic_on = 1;
  m.event_constituent_terms.assign(size_t(n) + 1, {});
  m.run_constituent_terms.assign(size_t(n) + 1, {});
  m.chan_mass_final.assign(size_t(n) + 1, 0.0);
  m.lake_mass_final.assign(size_t(n) + 1, 0.0);
  if (!lakes) return;
  m.lakes_on = 1;
  m.nlakes = 1;
  pluvo::checked_array_2d_grow(m.lake_con_mass, n, 2);
  pluvo::checked_array_2d_grow(m.lake_con_conc, n, 2);
  for (int c = 1; c <= n; ++c)
    for (int l = 0; l <= 2; ++l) m.lake_con_mass.rows[c][l] = m.lake_con_conc.rows[c][l] = 0.0;
}
#undef GROW_MASS_ARRAY

// Constituent 1 balanced on the overland, in the channels and in the lake (the lake terms close
// the channel and overland balances only when the lake is there); constituent 2 has nothing.
void event_figures(model_state& m) {
  m.event_ov_mass_init[1] = 4.0;
  m.event_ov_point_mass[1] = 1.0;
  m.event_ov_precip_mass[1] = 0.5;
  m.OV_MASS_FINAL[1] = 2.0;
  m.event_ov_infil_mass[1] = 1.0;
  m.event_ov_qlat_mass[1] = 2.0;
  auto& t = m.event_constituent_terms[1];
  t.ov_to_lake = 0.5;
  t.chan_initial = 1.0;
  t.chan_point = 0.5;
  t.chan_from_ov = 2.5;
  t.chan_from_lake = 0.25;
  t.chan_out = 2.0;
  t.chan_to_lake = 0.5;
  t.chan_lake_exchange = 0.25;
  m.chan_mass_final[1] = 1.5;
  t.lake_initial = 2.0;
  t.lake_precip = 0.25;
  t.lake_from_ov = 0.5;
  m.lake_mass_final[1] = 3.25;
  if (m.lakes_on) {
    m.lake_con_mass.rows[1][1] = 3250.0;
    m.lake_con_conc.rows[1][1] = 5.0;
  }
}

const char* event_constituents_no_lakes =
    "\n"
    " \n"
    "Overland Contaminant Transport Summary for lead \n"
    "Amounts are total mass for event in (Kg) \n"
    " \n"
    "Initial Dissolved Mass on Overland ...............              4.00\n"
    "Final Dissolved Mass on Overland .................              2.00\n"
    "\n"
    "Point source mass gain ...........................              1.00\n"
    "Precipitation gain ...............................              0.50\n"
    "\n"
    "Infiltration .....................................              1.00\n"
    "Lateral flow to streams ..........................              2.00\n"
    "Negative mass ....................................              0.00\n"
    "\n"
    "Dissolved mass balance error % ...................              9.0909\n"
    "\n"
    " \n"
    "Overland Contaminant Transport Summary for zinc \n"
    "Amounts are total mass for event in (Kg) \n"
    " \n"
    "Initial Dissolved Mass on Overland ...............              0.00\n"
    "Final Dissolved Mass on Overland .................              0.00\n"
    "\n"
    "Point source mass gain ...........................              0.00\n"
    "Precipitation gain ...............................              0.00\n"
    "\n"
    "Infiltration .....................................              0.00\n"
    "Lateral flow to streams ..........................              0.00\n"
    "Negative mass ....................................              0.00\n"
    "\n"
    "Dissolved mass balance error % ...................              0.0000\n"
    "\n"
    "\n"
    " \n"
    "Channel Contaminant Transport Summary for lead \n"
    "Amounts are total for event in (Kg) \n"
    " \n"
    "Dissolved State Mass Balance... \n"
    " \n"
    "Initial Dissolved Mass in Channels ...............              1.00\n"
    "Final Dissolved Mass in Channels .................              1.50\n"
    "\n"
    "Mass gain from overland ..........................              2.50\n"
    "Point source mass gain ...........................              0.50\n"
    "Outlet mass flux .................................              2.00\n"
    "\n"
    "Contam mass balance error % ......................             12.5000\n"
    "\n"
    "\n"
    " \n"
    "Channel Contaminant Transport Summary for zinc \n"
    "Amounts are total for event in (Kg) \n"
    " \n"
    "Dissolved State Mass Balance... \n"
    " \n"
    "Initial Dissolved Mass in Channels ...............              0.00\n"
    "Final Dissolved Mass in Channels .................              0.00\n"
    "\n"
    "Mass gain from overland ..........................              0.00\n"
    "Point source mass gain ...........................              0.00\n"
    "Outlet mass flux .................................              0.00\n"
    "\n"
    "Contam mass balance error % ......................              0.0000\n"
    "\n"
    "\n";

const char* event_constituents_lakes =
    "\n"
    " \n"
    "Overland Contaminant Transport Summary for lead \n"
    "Amounts are total mass for event in (Kg) \n"
    " \n"
    "Initial Dissolved Mass on Overland ...............              4.00\n"
    "Final Dissolved Mass on Overland .................              2.00\n"
    "\n"
    "Point source mass gain ...........................              1.00\n"
    "Precipitation gain ...............................              0.50\n"
    "\n"
    "Infiltration .....................................              1.00\n"
    "Lateral flow to streams ..........................              2.00\n"
    "Flux to lake .....................................              0.50\n"
    "Negative mass ....................................              0.00\n"
    "\n"
    "Dissolved mass balance error % ...................              0.0000\n"
    "\n"
    " \n"
    "Overland Contaminant Transport Summary for zinc \n"
    "Amounts are total mass for event in (Kg) \n"
    " \n"
    "Initial Dissolved Mass on Overland ...............              0.00\n"
    "Final Dissolved Mass on Overland .................              0.00\n"
    "\n"
    "Point source mass gain ...........................              0.00\n"
    "Precipitation gain ...............................              0.00\n"
    "\n"
    "Infiltration .....................................              0.00\n"
    "Lateral flow to streams ..........................              0.00\n"
    "Flux to lake .....................................              0.00\n"
    "Negative mass ....................................              0.00\n"
    "\n"
    "Dissolved mass balance error % ...................              0.0000\n"
    "\n"
    "\n"
    " \n"
    "Channel Contaminant Transport Summary for lead \n"
    "Amounts are total for event in (Kg) \n"
    " \n"
    "Dissolved State Mass Balance... \n"
    " \n"
    "Initial Dissolved Mass in Channels ...............              1.00\n"
    "Final Dissolved Mass in Channels .................              1.50\n"
    "\n"
    "Mass gain from overland ..........................              2.50\n"
    "Point source mass gain ...........................              0.50\n"
    "Flow from lake to channel ........................              0.25\n"
    "Exchange with lakes (-) ..........................              0.25\n"
    "Flows to lake ....................................              0.50\n"
    "Outlet mass flux .................................              2.00\n"
    "\n"
    "Contam mass balance error % ......................              0.0000\n"
    "\n"
    "Lake Contaminant Transport Summary for lead \n"
    "Amounts are total mass for event (Kg) \n"
    " \n"
    "Dissolved State Mass Balance...\n"
    "Initial Dissolved in Lakes .......................              2.00\n"
    "Final Dissolved in Lakes .........................              3.25\n"
    "\n"
    "Precip ...........................................              0.25\n"
    "Inflow ...........................................              0.50\n"
    "Lake/chan exchange ...............................              0.25\n"
    "Overland flux ....................................              0.50\n"
    "Point source .....................................              0.00\n"
    "Groundwater flux .................................              0.00\n"
    "\n"
    "Outflow ..........................................              0.25\n"
    "Dissolved decay loss .............................              0.00\n"
    "\n"
    "Dissolved mass balance error % ...................              0.0000\n"
    "\n"
    "Final Mass in lake 1 =                  3.25 \n"
    "Final Conc in lake (mg/L) 1 =           5.00 \n"
    " \n"
    "\n"
    " \n"
    "Channel Contaminant Transport Summary for zinc \n"
    "Amounts are total for event in (Kg) \n"
    " \n"
    "Dissolved State Mass Balance... \n"
    " \n"
    "Initial Dissolved Mass in Channels ...............              0.00\n"
    "Final Dissolved Mass in Channels .................              0.00\n"
    "\n"
    "Mass gain from overland ..........................              0.00\n"
    "Point source mass gain ...........................              0.00\n"
    "Flow from lake to channel ........................              0.00\n"
    "Exchange with lakes (-) ..........................              0.00\n"
    "Flows to lake ....................................              0.00\n"
    "Outlet mass flux .................................              0.00\n"
    "\n"
    "Contam mass balance error % ......................              0.0000\n"
    "\n"
    "Lake Contaminant Transport Summary for zinc \n"
    "Amounts are total mass for event (Kg) \n"
    " \n"
    "Dissolved State Mass Balance...\n"
    "Initial Dissolved in Lakes .......................              0.00\n"
    "Final Dissolved in Lakes .........................              0.00\n"
    "\n"
    "Precip ...........................................              0.00\n"
    "Inflow ...........................................              0.00\n"
    "Lake/chan exchange ...............................              0.00\n"
    "Overland flux ....................................              0.00\n"
    "Point source .....................................              0.00\n"
    "Groundwater flux .................................              0.00\n"
    "\n"
    "Outflow ..........................................              0.00\n"
    "Dissolved decay loss .............................              0.00\n"
    "\n"
    "Dissolved mass balance error % ...................              0.0000\n"
    "\n"
    "Final Mass in lake 1 =                  0.00 \n"
    "Final Conc in lake (mg/L) 1 =           0.00 \n"
    " \n"
    "\n";

TEST(TransportSummary, EventConstituentBlocks) {
  pluvo_test::scratch_dir dir;
  for (bool lakes : {false, true}) {
    model_state m;
    constituent_record(m, {1, 1}, lakes);
    event_figures(m);
    const std::string text = pluvo_test::written([&](std::FILE* f) { pluvo::write_event_transport_blocks(m, f); });
    EXPECT_EQ(text, lakes ? event_constituents_lakes : event_constituents_no_lakes);
    EXPECT_NEAR(m.OV_MASS_ERROR[1], lakes ? 0.0 : 0.5 / 5.5 * 100.0, 1e-12);
    EXPECT_NEAR(m.chan_mass_error[1], lakes ? 0.0 : 0.5 / 4.0 * 100.0, 1e-12);
    EXPECT_EQ(m.OV_MASS_ERROR[2], 0.0);
    EXPECT_EQ(m.chan_mass_error[2], 0.0);
    if (lakes) {
      EXPECT_NEAR(m.lake_mass_error[1], 0.0, 1e-12);
    }
  }
}

}  // namespace

namespace {

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Nutrient constituents: the soil blocks name both kinds from the soil list, the water blocks
// take the water constituent alone, by its water name.
TEST(TransportSummary, NutrientBlocksByType) {
  pluvo_test::scratch_dir dir;
  model_state m;
  constituent_record(m, {2, 3}, false);
  m.nutrients_on = 1;
  m.soil_con_trans_on = 1;
  const std::string text = pluvo_test::written([&](std::FILE* f) { pluvo::write_event_transport_blocks(m, f); });
  EXPECT_EQ(count(text, "Soil Contaminant Transport Summary for Organic Active Carbon \n"), 1u) << text;
  EXPECT_EQ(count(text, "Soil Contaminant Transport Summary for Organic Stable Carbon \n"), 1u) << text;
  EXPECT_EQ(count(text, "Overland Contaminant Transport Summary for "), 1u);
  EXPECT_EQ(count(text, "Overland Contaminant Transport Summary for Nitrite (NO2-) \n"), 1u);
  EXPECT_EQ(count(text, "Channel Contaminant Transport Summary for Nitrite (NO2-) \n"), 1u);
  EXPECT_EQ(count(text, "Channel Contaminant Transport Summary for "), 1u);
  EXPECT_EQ(count(text, "Gained from TVX kinetics ."), 1u);
  // Nothing went in: every balance shows 0 percent.
  EXPECT_EQ(count(text, "Soil mass balance error % ........................              0.0000\n"), 2u);
}

// Whole-run summaries: the final stores are rebuilt from the cells (kg), the lake and the
// channels, each counted once, so stores and fluxes that agree give a global error of 0.
void run_figures(model_state& m) {
  m.cell_count = 1;
  m.cell_size = 10.0;
  m.ov_depth = {0.0, 0.1};
  m.lake_mask = {0, 0};
  pluvo::checked_array_2d_grow(m.ov_conc, m.num_constituents, 1);
  pluvo::checked_array_2d_grow(m.ov_land_load, m.num_constituents, 1);
  for (int c = 1; c <= m.num_constituents; ++c) m.ov_conc.rows[c][0] = m.ov_land_load.rows[c][0] = 0.0;
  m.ov_conc.rows[1][1] = 500.0;       // 0.1 m x 500 g/m3 x 100 m2 = 5 kg
  m.ov_land_load.rows[1][1] = 500.0;  // 0.5 kg
  pluvo::checked_array_2d_grow_fill(m.ov_mass, m.num_constituents, 0.0, 1);
  m.ov_mass.rows[1][1] = 5000.0;
  m.ov_conc.rows[2][1] = m.ov_land_load.rows[2][1] = 0.0;
  m.global_transport_on = 1;
  m.chan_mass_final[1] = 2.0;
  m.chan_con_mass_initial = {0.0, 1.0, 0.0};  // kg, as the routing start keeps it
  m.GLOBAL_POINT_SOURCE[1] = 3.0;
  m.OV_PRECIP_MASS[1] = 1.0;
  m.GLOBAL_MASS_FINAL[1] = 99.0;  // what the ends of the events summed: rebuilt, not added to
  auto& t = m.run_constituent_terms[1];
  t.chan_from_ov = 2.5;
  t.chan_out = 1.5;
  if (m.lakes_on) {
    m.lake_con_mass.rows[1][1] = 3000.0;  // 3 kg
    m.lake_con_conc.rows[1][1] = 4.0;
    m.lake_con_mass_initial = {0.0, 2.0, 0.0};
    m.GLOBAL_MASS_INIT[1] = 10.0;  // the lake's 2 kg among them
    // What the run booked out; the half kilogram infiltrated into a soil no transport follows
    // is booked out at the run's end.
    m.GLOBAL_MASS_OUT[1] = 3.5;
    t.lake_precip = 0.5;
    t.lake_from_ov = 0.5;
  } else {
    // Without the lake, the half kilogram it took from the overland leaves the system.
    m.GLOBAL_MASS_INIT[1] = 8.0;
    m.GLOBAL_MASS_OUT[1] = 4.0;
  }
  m.OV_MASS_INIT[1] = 7.0;
  m.OV_QLAT_MASS[1] = 2.5;
  m.OV_INFIL_MASS[1] = 0.5;
}

const char* run_constituents =
    "\n"
    "\n"
    " *************   Overland Transport Summaries   **************** \n"
    "\n"
    "\n"
    "\n"
    "\n"
    "Overland Constituent Transport Summary for Constituent     1 (lead)\n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Initial Dissolved mass on ov            7.00 \n"
    "Final Dissolved mass on ov              5.00 \n"
    "\n"
    "Point source mass gain                  0.00 \n"
    "Precipitation mass gain                 1.00 \n"
    "\n"
    "Mass loss to infiltration               0.50 \n"
    "Mass loss to stream                     2.50 \n"
    "Outlet mass flux                        0.00 \n"
    "Lateral flow to lake                    0.00 \n"
    "\n"
    "Contam mass balance error               0.0000 percent \n"
    "\n"
    "\n"
    "Overland Constituent Transport Summary for Constituent     2 (zinc)\n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Initial Dissolved mass on ov            0.00 \n"
    "Final Dissolved mass on ov              0.00 \n"
    "\n"
    "Point source mass gain                  0.00 \n"
    "Precipitation mass gain                 0.00 \n"
    "\n"
    "Mass loss to infiltration               0.00 \n"
    "Mass loss to stream                     0.00 \n"
    "Outlet mass flux                        0.00 \n"
    "Lateral flow to lake                    0.00 \n"
    "\n"
    "Contam mass balance error               0.0000 percent \n"
    "\n"
    "\n"
    " *************   Channel Transport Summaries   **************** \n"
    "\n"
    "\n"
    "\n"
    " \n"
    "Channel Contaminant Transport Summary for Contaminant     1 \n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Dissolved\n"
    "Initial Mass in Channels                1.00 \n"
    "Final Mass in Channels                  2.00 \n"
    " \n"
    "Mass gain from overland                 2.50 \n"
    "Point source mass gain                  0.00 \n"
    "Flux from lake                          0.00 \n"
    "Outlet mass flux                        1.50 \n"
    "Flux to lake                            0.00 \n"
    "Exchange with lake                      0.00 \n"
    "\n"
    "Dissolved mass balance error               0.0000 percent \n"
    "\n"
    "Attached\n"
    "\n"
    "\n"
    " \n"
    "Lake Contaminant Transport Summary for Constituent     1 \n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Initial Mass in Lakes                   2.00 \n"
    "Final Mass in Lakes                     3.00 \n"
    " \n"
    "Mass gain from overland                 0.50 \n"
    "Mass channel trib inflow                0.00 \n"
    "Mass lake outlet flow                   0.00 \n"
    "Lake chan exchange mass                 0.00 \n"
    "Point source mass gain                  0.00 \n"
    "Groundwater mass gain/loss              0.00 \n"
    " \n"
    "Precip mass flux                        0.50 \n"
    "Mass decay loss                         0.00 \n"
    " \n"
    "Contam mass balance error               0.0000 percent \n"
    "\n"
    " \n"
    "Final Mass in lake 1 =           3.00 \n"
    "Final Conc in lake 1 =           4.00 \n"
    "\n"
    " \n"
    "\n"
    " \n"
    "Channel Contaminant Transport Summary for Contaminant     2 \n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Dissolved\n"
    "Initial Mass in Channels                0.00 \n"
    "Final Mass in Channels                  0.00 \n"
    " \n"
    "Mass gain from overland                 0.00 \n"
    "Point source mass gain                  0.00 \n"
    "Flux from lake                          0.00 \n"
    "Outlet mass flux                        0.00 \n"
    "Flux to lake                            0.00 \n"
    "Exchange with lake                      0.00 \n"
    "\n"
    "Dissolved mass balance error               0.0000 percent \n"
    "\n"
    "Attached\n"
    "\n"
    "\n"
    " \n"
    "Lake Contaminant Transport Summary for Constituent     2 \n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Initial Mass in Lakes                   0.00 \n"
    "Final Mass in Lakes                     0.00 \n"
    " \n"
    "Mass gain from overland                 0.00 \n"
    "Mass channel trib inflow                0.00 \n"
    "Mass lake outlet flow                   0.00 \n"
    "Lake chan exchange mass                 0.00 \n"
    "Point source mass gain                  0.00 \n"
    "Groundwater mass gain/loss              0.00 \n"
    " \n"
    "Precip mass flux                        0.00 \n"
    "Mass decay loss                         0.00 \n"
    " \n"
    "Contam mass balance error               0.0000 percent \n"
    "\n"
    " \n"
    "Final Mass in lake 1 =           0.00 \n"
    "Final Conc in lake 1 =           0.00 \n"
    "\n"
    " \n"
    "\n"
    "\n"
    " *************   Global Transport Summaries   **************** \n"
    "\n"
    "\n"
    "\n"
    " \n"
    "Contaminant Transport Global Summary for Contaminant     1 \n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Total initial mass                     10.00 \n"
    "Total final Mass                       10.50 \n"
    " \n"
    "Point source inputs                     3.00\n"
    "Precipitation inputs                    1.50 \n"
    "Flux from GW to streams                 0.00 \n"
    "Total mass out of system                4.00 \n"
    " \n"
    "\n"
    "Contam mass balance error               0.0000 percent \n"
    "\n"
    " \n"
    "Contaminant Transport Global Summary for Contaminant     2 \n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Total initial mass                      0.00 \n"
    "Total final Mass                        0.00 \n"
    " \n"
    "Point source inputs                     0.00\n"
    "Precipitation inputs                    0.00 \n"
    "Flux from GW to streams                 0.00 \n"
    "Total mass out of system                0.00 \n"
    " \n"
    "\n"
    "Contam mass balance error               0.0000 percent \n";

TEST(TransportSummary, RunConstituentSummaries) {
  pluvo_test::scratch_dir dir;
  model_state m;
  constituent_record(m, {1, 1}, true);
  run_figures(m);
  const std::string text = pluvo_test::written([&](std::FILE* f) { pluvo::write_run_transport_summaries(m, f); });
  EXPECT_EQ(text, run_constituents);
  EXPECT_NEAR(m.GLOBAL_MASS_FINAL[1], 10.5, 1e-12);
  EXPECT_NEAR(m.OV_MASS_FINAL[1], 5.0, 1e-12);
  EXPECT_NEAR(m.GLOBAL_MASS_CON_ERROR[1], 0.0, 1e-12);
  EXPECT_EQ(m.GLOBAL_MASS_CON_ERROR[2], 0.0);
}

const char* run_constituents_no_lakes =
    "\n"
    "\n"
    " *************   Overland Transport Summaries   **************** \n"
    "\n"
    "\n"
    "\n"
    "\n"
    "Overland Constituent Transport Summary for Constituent     1 (lead)\n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Initial Dissolved mass on ov            7.00 \n"
    "Final Dissolved mass on ov              5.00 \n"
    "\n"
    "Point source mass gain                  0.00 \n"
    "Precipitation mass gain                 1.00 \n"
    "\n"
    "Mass loss to infiltration               0.50 \n"
    "Mass loss to stream                     2.50 \n"
    "Outlet mass flux                        0.00 \n"
    "\n"
    "Contam mass balance error               0.0000 percent \n"
    "\n"
    "\n"
    "Overland Constituent Transport Summary for Constituent     2 (zinc)\n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Initial Dissolved mass on ov            0.00 \n"
    "Final Dissolved mass on ov              0.00 \n"
    "\n"
    "Point source mass gain                  0.00 \n"
    "Precipitation mass gain                 0.00 \n"
    "\n"
    "Mass loss to infiltration               0.00 \n"
    "Mass loss to stream                     0.00 \n"
    "Outlet mass flux                        0.00 \n"
    "\n"
    "Contam mass balance error               0.0000 percent \n"
    "\n"
    "\n"
    " *************   Channel Transport Summaries   **************** \n"
    "\n"
    "\n"
    "\n"
    " \n"
    "Channel Contaminant Transport Summary for Contaminant     1 \n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Dissolved\n"
    "Initial Mass in Channels                1.00 \n"
    "Final Mass in Channels                  2.00 \n"
    " \n"
    "Mass gain from overland                 2.50 \n"
    "Point source mass gain                  0.00 \n"
    "Outlet mass flux                        1.50 \n"
    "\n"
    "Dissolved mass balance error               0.0000 percent \n"
    "\n"
    "Attached\n"
    "\n"
    "\n"
    " \n"
    "Channel Contaminant Transport Summary for Contaminant     2 \n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Dissolved\n"
    "Initial Mass in Channels                0.00 \n"
    "Final Mass in Channels                  0.00 \n"
    " \n"
    "Mass gain from overland                 0.00 \n"
    "Point source mass gain                  0.00 \n"
    "Outlet mass flux                        0.00 \n"
    "\n"
    "Dissolved mass balance error               0.0000 percent \n"
    "\n"
    "Attached\n"
    "\n"
    "\n"
    "\n"
    " *************   Global Transport Summaries   **************** \n"
    "\n"
    "\n"
    "\n"
    " \n"
    "Contaminant Transport Global Summary for Contaminant     1 \n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Total initial mass                      8.00 \n"
    "Total final Mass                        7.50 \n"
    " \n"
    "Point source inputs                     3.00\n"
    "Precipitation inputs                    1.00 \n"
    "Flux from GW to streams                 0.00 \n"
    "Total mass out of system                4.50 \n"
    " \n"
    "\n"
    "Contam mass balance error               0.0000 percent \n"
    "\n"
    " \n"
    "Contaminant Transport Global Summary for Contaminant     2 \n"
    "Amounts are total for simulations in (Kg) \n"
    " \n"
    "Total initial mass                      0.00 \n"
    "Total final Mass                        0.00 \n"
    " \n"
    "Point source inputs                     0.00\n"
    "Precipitation inputs                    0.00 \n"
    "Flux from GW to streams                 0.00 \n"
    "Total mass out of system                0.00 \n"
    " \n"
    "\n"
    "Contam mass balance error               0.0000 percent \n";

// Without lakes the lake lines and blocks go, and the stores without the lake close the balance.
TEST(TransportSummary, RunConstituentSummariesWithoutLakes) {
  pluvo_test::scratch_dir dir;
  model_state m;
  constituent_record(m, {1, 1}, false);
  run_figures(m);
  EXPECT_EQ(pluvo_test::written([&](std::FILE* f) { pluvo::write_run_transport_summaries(m, f); }),
            run_constituents_no_lakes);
  EXPECT_NEAR(m.GLOBAL_MASS_FINAL[1], 7.5, 1e-12);
  EXPECT_NEAR(m.GLOBAL_MASS_CON_ERROR[1], 0.0, 1e-12);
}

}  // namespace

#include "common/printed.hpp"
#include "quality/erosion_fixture.hpp"
#include "run/driver.hpp"

namespace {

// A rainy run with overland erosion: the event section and the whole-run summary each carry the
// overland sediment block, and every class's eroded volume is found again on the cells or
// through the outlet.
TEST(TransportSummary, ErosionRunClosesTheOverlandSedimentBalance) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_erosion_project(6, 7, 2, "TIMESTEP 5\nTOT_TIME 4\nHYD_FREQ 1\n");
  int code = -1;
  const std::string out = pluvo::printed_by([&] { code = pluvo::run_pluvo("e.prj", nullptr, "e.prj"); });
  ASSERT_EQ(code, 0) << out;
  const std::string sum = pluvo_test::read_file("e.sum");
  EXPECT_EQ(count(sum, "Overland Sediment Summary\n"), 2u) << sum;
  EXPECT_EQ(count(sum, "Quantities, except for amounts to Superlinks, are running totals for simulation - NOT EVENT \n"),
            1u);
  for (int k = 1; k <= 3; ++k) {
    char label[80];
    std::snprintf(label, sizeof label, "Total sediment %d eroded from surface:        ", k);
    const size_t at = sum.find(label);
    ASSERT_NE(at, std::string::npos) << k;
    EXPECT_GT(std::atof(sum.c_str() + at + std::strlen(label)), 0.0) << k;
    std::snprintf(label, sizeof label, "Mass balance error for sediment %d ", k);
    for (size_t p = sum.find(label); p != std::string::npos; p = sum.find(label, p + 1))
      EXPECT_LT(std::fabs(std::atof(sum.c_str() + p + std::strlen(label))), 1e-4) << sum.substr(p, 60);
  }
}

}  // namespace

namespace {

// Overland concentration 500 g/m3 under 0.1 m of water on one 10 m cell: 5 kg at the run's end.
void one_wet_cell(model_state& m) {
  m.cell_count = 1;
  m.cell_size = 10.0;
  m.ov_depth = {0.0, 0.1};
  pluvo::checked_array_2d_grow(m.ov_conc, m.num_constituents, 1);
  pluvo::checked_array_2d_grow(m.ov_land_load, m.num_constituents, 1);
  for (int c = 1; c <= m.num_constituents; ++c)
    for (int i = 0; i <= 1; ++i) m.ov_conc.rows[c][i] = m.ov_land_load.rows[c][i] = 0.0;
  m.ov_conc.rows[1][1] = 500.0;
  pluvo::checked_array_2d_grow_fill(m.ov_mass, m.num_constituents, 0.0, 1);
  m.ov_mass.rows[1][1] = 5000.0;
}

// The end of an event sums each store once, in kg: the cells' dissolved mass outside the lakes,
// the land surface, the soil layers, the water of the channel nodes (not the lake link's) and the
// lakes; the global final mass is their sum.
TEST(TransportSummary, EventStoresSummedFromCellsNodesAndLakes) {
  model_state m;
  constituent_record(m, {1, 1}, true);
  m.soil_con_trans_on = 1;
  m.soil_contam_layers = 2;
  m.cell_count = 2;
  m.lake_mask = {0, 0, 1};
  pluvo::checked_array_2d_grow(m.ov_mass, 2, 2);
  pluvo::checked_array_2d_grow(m.ov_land_load, 2, 2);
  for (int c = 1; c <= 2; ++c)
    for (int i = 0; i <= 2; ++i) m.ov_mass.rows[c][i] = m.ov_land_load.rows[c][i] = 0.0;
  m.ov_mass.rows[1][1] = 3000.0;
  m.ov_mass.rows[1][2] = 500.0;  // under the lake: the lake holds it
  m.ov_land_load.rows[1][1] = m.ov_land_load.rows[1][2] = 1000.0;
  pluvo::checked_array_3d_grow_fill(m.soil_mass, 2, 250.0, 2, 2);
  m.nlinks = 2;
  m.ltype = {0, 4, 32};
  m.nx = {0, 2, 1};
  m.og_nx1 = {0, 2, 1};
  m.chan_node_extent = 3;
  m.chan_slot_count = 9;
  m.link_dx = {0.0, 10.0, 10.0};
  m.area.assign(9, 0.0);
  m.area[4] = 1.0;
  m.area[5] = 2.0;
  m.area[7] = 1.0;
  pluvo::checked_array_2d_grow(m.chan_node_conc, 2, 8);
  for (int c = 1; c <= 2; ++c)
    for (int k = 0; k <= 8; ++k) m.chan_node_conc.rows[c][k] = 0.0;
  m.chan_node_conc.rows[1][4] = 100.0;
  m.chan_node_conc.rows[1][5] = 200.0;
  m.chan_node_conc.rows[1][7] = 1e6;  // the lake link's node is no channel water
  // The nodes' masses are what the balance counts: a node that ran dry keeps its mass.
  pluvo::checked_array_2d_grow(m.chan_node_mass, 2, 8);
  for (int c = 1; c <= 2; ++c)
    for (int k = 0; k <= 8; ++k) m.chan_node_mass.rows[c][k] = m.area[size_t(k)] * 10.0 * m.chan_node_conc.rows[c][k];
  m.lake_con_mass.rows[1][1] = 3000.0;
  m.GLOBAL_MASS_FINAL[1] = 99.0;
  pluvo::sum_event_constituent_stores(m);
  EXPECT_NEAR(m.OV_MASS_FINAL[1], 3.0, 1e-12);
  EXPECT_NEAR(m.OV_LAND_MASS_FINAL[1], 2.0, 1e-12);
  EXPECT_NEAR(m.soil_mass_final[1], 1.0, 1e-12);
  EXPECT_NEAR(m.chan_mass_final[1], 5.0, 1e-12);  // (1 x 10 x 100 + 2 x 10 x 200) g
  EXPECT_NEAR(m.lake_mass_final[1], 3.0, 1e-12);
  EXPECT_NEAR(m.GLOBAL_MASS_FINAL[1], 12.0, 1e-12);
  EXPECT_NEAR(m.GLOBAL_MASS_FINAL[2], 1.0, 1e-12);  // its soil alone
}

// A nutrient run: the soil summary names both kinds from the soil list, the overland and channel
// summaries take the water constituent alone; its kinetics gain closes the overland balance.
TEST(TransportSummary, RunSummariesOfNutrients) {
  pluvo_test::scratch_dir dir;
  model_state m;
  constituent_record(m, {2, 3}, false);
  m.nutrients_on = 1;
  m.soil_con_trans_on = 1;
  one_wet_cell(m);
  m.OV_MASS_INIT[1] = 4.0;
  m.run_constituent_terms[1].ov_tvx_gain = 1.5;
  m.run_constituent_terms[1].ov_tvx_loss = 0.5;
  const std::string text = pluvo_test::written([&](std::FILE* f) { pluvo::write_run_transport_summaries(m, f); });
  EXPECT_EQ(count(text, "Soil Constituent Transport Summary for Organic Active Carbon \n"), 1u) << text;
  EXPECT_EQ(count(text, "Soil Constituent Transport Summary for Organic Stable Carbon \n"), 1u) << text;
  EXPECT_EQ(count(text, "Overland Constituent Transport Summary for "), 1u);
  EXPECT_EQ(count(text, "Overland Constituent Transport Summary for Nitrite (NO2-) \n"), 1u);
  EXPECT_EQ(count(text, "Channel Contaminant Transport Summary for "), 1u);
  EXPECT_EQ(count(text, "Channel Contaminant Transport Summary for Nitrite (NO2-) \n"), 1u);
  EXPECT_EQ(count(text, "Mass gained from TVX kinetics           1.5000 \n"), 1u) << text;
  EXPECT_EQ(count(text, "Contam mass balance error               0.0000 percent \n"), 1u) << text;
  EXPECT_EQ(m.OV_MASS_ERROR[1], 0.0);
}

// Sediment-bound constituents without channels: the sediment source closes the dissolved run
// balance, and what left the outlet on sediment leaves the system.
TEST(TransportSummary, RunFiguresOfSedimentBoundConstituents) {
  pluvo_test::scratch_dir dir;
  model_state m;
  constituent_record(m, {1}, false);
  m.chan_explic_on = 0;
  m.sediment_contam_on = 1;
  one_wet_cell(m);
  m.OV_MASS_INIT[1] = 4.0;
  m.run_constituent_terms[1].ov_sed_source = 1.0;
  m.run_constituent_terms[1].ov_attached_out = 0.25;
  m.GLOBAL_MASS_OUT[1] = 1.0;
  pluvo_test::written([&](std::FILE* f) { pluvo::write_run_transport_summaries(m, f); });
  EXPECT_EQ(m.OV_MASS_ERROR[1], 0.0);
  EXPECT_NEAR(m.GLOBAL_MASS_OUT[1], 1.25, 1e-12);
}

}  // namespace

namespace {

// With a water table a contaminant's soil column loses what exfiltrates, as in the run's balance.
TEST(TransportSummary, EventSoilBalanceCountsExfiltration) {
  pluvo_test::scratch_dir dir;
  model_state m;
  constituent_record(m, {1}, false);
  m.ov_con_trans_on = m.chan_con_trans_on = 0;
  m.soil_con_trans_on = m.water_table_on = 1;
  m.event_constituent_terms[1].soil_initial = 2.0;
  m.event_constituent_terms[1].soil_exfil = 0.5;
  m.event_soil_inflow_mass[1] = 1.0;
  m.soil_mass_final = {0.0, 2.5};
  const std::string text = pluvo_test::written([&](std::FILE* f) { pluvo::write_event_transport_blocks(m, f); });
  EXPECT_EQ(count(text, "Exfiltration mass loss ...........................              0.50\n"), 1u) << text;
  EXPECT_EQ(m.soil_mass_error[1], 0.0);
}

}  // namespace
