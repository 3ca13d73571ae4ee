// The channel sediment step on a network read from its files: sediment of the grid-stream cells
// into the nodes, the cells it must pass over, overbank wash load, and the bed elevation report.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "channel/channel_routines.hpp"
#include "common/error_state.hpp"
#include "output/transport_summary.hpp"
#include "quality/erosion_fixture.hpp"
#include "record/model_state.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo::model_state;

// A trapezoid link into a lake, over a weir into a trapezoidal outlet link on the 2 x 3 strip.
const char* network =
    "PLUVO_CHAN\nALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 4\nMAXNODES 3\n"
    "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 4 1 2\nCONNECT 4 0 1 3\n"
    "LINK 1\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\n"
    "NODE 1\nELEV 10.2\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1\nNODE 2\nELEV 10.15\nNODE 3\nELEV 10.1\n"
    "LINK 2\nLAKE\nMINWSE 9.9\nINITWSE 10.15\nMAXWSE 11\nNUMPTS 1\n2 2\n"
    "LINK 3\nSTRUCTURE\nNUMSTRUCTS 1\n"
    "STRUCTTYPE WEIR\nCREST_LENGTH 2\nCREST_LOW_ELEV 10.1\nDISCHARGE_COEFF_FORWARD 0.6\nDISCHARGE_COEFF_REVERSE 0.5\n"
    "LINK 4\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.035\n"
    "NODE 1\nELEV 10.0\nXSEC\nBOTTOM_WIDTH 3\nBANKFULL_DEPTH 1\nSIDE_SLOPE 2\nNODE 2\nELEV 9.95\nNODE 3\nELEV 9.9\n";

// Cell (1, 1) feeds link 1, (2, 2) the lake, (1, 2) the weir and (1, 3) the outlet link, each
// over two nodes or one.
const char* stream =
    "GRIDSTREAMFILE\nSTREAMCELLS 4\n"
    "CELLIJ 1 1\nNUMNODES 2\nLINKNODE 1 1 0.25\nLINKNODE 1 2 0.75\n"
    "CELLIJ 2 2\nNUMNODES 1\nLINKNODE 2 1 1.0\n"
    "CELLIJ 1 2\nNUMNODES 1\nLINKNODE 3 1 1.0\n"
    "CELLIJ 1 3\nNUMNODES 2\nLINKNODE 4 1 0.5\nLINKNODE 4 2 0.5\n";

// The strip with overland erosion, channels, the lake and the weir, read up to its time loop;
// with overbank, link 1 exchanges water over its banks.
pluvo_test::set_up_result read_sediment_project(const std::function<void(model_state&)>& inspect,
                                                const std::string& extra = "", bool overbank = false) {
  pluvo_test::write_strip_grid();
  pluvo_test::write_file("land.idx", std::string(pluvo_test::strip_header()) + "1 1 1\n1 1 1\n");
  pluvo_test::write_file("e.cmt", pluvo_test::erosion_mapping_table());
  std::string chn = network;
  if (overbank) chn.replace(chn.find("LINK 1\nTRAPEZOID\n"), 15, "LINK 1\nTRAPEZOID\nOVERBANK\n");
  pluvo_test::write_file("c.chn", chn);
  pluvo_test::write_file("c.stm", stream);
  pluvo_test::write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() +
                                      "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\nMAPPING_TABLE e.cmt\n"
                                      "SOIL_EROSION 1\nOUTLET_SED_FLUX e.sed\nSAND_SIZE 0.062\nWATER_TEMP 20\n" +
                                      extra);
  return pluvo_test::set_up_past_refusal("w.prj", inspect);
}

double& layer(model_state& m, int cell, int k, int l) {
  return m.ov_sed->vol_sed[m.ov_sed->cell_class_layer(cell, k, l)];
}

// Loose sediment on every cell: suspended and deposited, different per cell and class.
void spread_sediment(model_state& m) {
  for (int c = 1; c <= m.cell_count; ++c)
    for (int k = 1; k <= m.ov_sed->num_sed_classes; ++k) {
      layer(m, c, k, 2) = 0.01 * c + 0.001 * k;
      layer(m, c, k, 3) = 0.003 * c + 0.0007 * k;
    }
}

size_t node_class(const model_state& m, int link, int node, int k) {
  return size_t(link * m.chan_node_extent + node) * size_t(m.ov_sed->num_sed_classes + 1) + size_t(k);
}

void inflow_everywhere(model_state& m, double q) {
  for (int l = 1; l <= m.nlinks; ++l)
    for (int n = 1; n <= 3; ++n) m.qlat[size_t(l * m.chan_node_extent + n)] = q;
}

// What leaves the wet channel cells arrives at their nodes, class by class, and is booked in the
// run and event totals; the lake, the weir and the dry cell keep theirs.
TEST(ChannelSedimentStep, CellsDeliverTheirLooseSedimentToTheNodes) {
  pluvo_test::scratch_dir dir;
  struct per_class {
    double left = 0, nodes = 0, run = 0, event = 0, first = 0, second = 0, remaining = 0, outlet_node = 0;
    bool others_kept = true;
    int sand = 0;
  };
  std::vector<per_class> seen;
  double slot0 = -1.0;
  int code = -1, transport = 0;
  const auto r = read_sediment_project([&](model_state& m) {
    if (!m.ov_sed) return;
    transport = m.chan_sed_transport_on;
    const int n = m.ov_sed->num_sed_classes;
    spread_sediment(m);
    const int west = m.cell_number_grid(1, 1), lake = m.cell_number_grid(2, 2), weir = m.cell_number_grid(1, 2),
              outlet = m.cell_number_grid(1, 3);
    for (int c = 1; c <= m.cell_count; ++c) m.ov_depth[size_t(c)] = 0.01;
    m.ov_depth[size_t(outlet)] = 0.9e-16;  // dry: delivers nothing although its nodes take water
    inflow_everywhere(m, 0.002);
    const std::vector<double> before = m.ov_sed->vol_sed;
    pluvo::channel_sediment_step(m, 10.0);
    code = pluvo::error_state.error_code;
    for (int k = 1; k <= n; ++k) {
      per_class p;
      p.left = before[m.ov_sed->cell_class_layer(west, k, 2)] + before[m.ov_sed->cell_class_layer(west, k, 3)];
      for (int l = 1; l <= m.nlinks; ++l)
        for (int j = 1; j <= m.nx[size_t(l)]; ++j) p.nodes += m.qlat_sed[node_class(m, l, j, k)];
      p.run = m.ov_to_chan_sed_total[size_t(k)];
      p.event = m.event_sed_to_chan[size_t(k)];
      p.first = m.qlat_sed[node_class(m, 1, 1, k)];
      p.second = m.qlat_tot_sed[node_class(m, 1, 2, k)];
      p.remaining = layer(m, west, k, 2) + layer(m, west, k, 3);
      for (int c : {lake, weir, outlet})
        for (int l : {2, 3}) p.others_kept = p.others_kept && layer(m, c, k, l) == before[m.ov_sed->cell_class_layer(c, k, l)];
      p.outlet_node = m.qlat_sed[node_class(m, 4, 1, k)] + m.qlat_sed[node_class(m, 4, 2, k)];
      p.sand = m.ov_sed->sand[size_t(k)];
      seen.push_back(p);
    }
    slot0 = m.ov_to_chan_sed_total[0];
  });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_FALSE(r.refused);
  EXPECT_EQ(transport, 1);
  EXPECT_EQ(code, 0);
  ASSERT_EQ(seen.size(), 3u);
  double wash = 0.0;
  for (size_t k = 0; k < seen.size(); ++k) {
    const per_class& p = seen[k];
    EXPECT_GT(p.left, 0.0);
    EXPECT_NEAR(p.nodes, p.left, 1e-15) << k;
    EXPECT_NEAR(p.run, p.left, 1e-15) << k;
    EXPECT_NEAR(p.event, p.left, 1e-15) << k;
    EXPECT_NEAR(p.first, 0.25 * p.left, 1e-15) << k;
    EXPECT_NEAR(p.second, 0.75 * p.left, 1e-15) << k;
    EXPECT_NEAR(p.remaining, 0.0, 1e-15) << k;
    EXPECT_TRUE(p.others_kept) << k;
    EXPECT_EQ(p.outlet_node, 0.0) << k;
    if (!p.sand) wash += p.run;
  }
  // Slot 0 holds the wash-load classes (silt and clay) only.
  EXPECT_EQ(seen[0].sand, 1);
  EXPECT_NEAR(slot0, wash, 1e-15);
}

// Overbank outflow of an overbank link gives the cell back the node's suspended wash load, never
// sand; with the outflow the cell's own sediment stays where it is.
TEST(ChannelSedimentStep, OverbankOutflowReturnsOnlyWashLoad) {
  pluvo_test::scratch_dir dir;
  std::vector<double> gained, deposit_change, booked;
  std::vector<int> sand;
  const auto r = read_sediment_project([&](model_state& m) {
    if (!m.ov_sed) return;
    const int n = m.ov_sed->num_sed_classes;
    spread_sediment(m);
    const int west = m.cell_number_grid(1, 1);
    for (int c = 1; c <= m.cell_count; ++c) m.ov_depth[size_t(c)] = 0.01;
    inflow_everywhere(m, -0.004);
    for (int k = 1; k <= n; ++k) {
      m.SS_node_conc_vol[node_class(m, 1, 1, k)] = 0.001 * k;
      m.SS_node_conc_vol[node_class(m, 1, 2, k)] = 0.002 * k;
    }
    const std::vector<double> before = m.ov_sed->vol_sed;
    pluvo::channel_sediment_step(m, 10.0);
    for (int k = 1; k <= n; ++k) {
      gained.push_back(layer(m, west, k, 2) - before[m.ov_sed->cell_class_layer(west, k, 2)]);
      deposit_change.push_back(layer(m, west, k, 3) - before[m.ov_sed->cell_class_layer(west, k, 3)]);
      booked.push_back(m.qlat_sed[node_class(m, 1, 1, k)] + m.qlat_sed[node_class(m, 1, 2, k)]);
      sand.push_back(m.ov_sed->sand[size_t(k)]);
    }
  }, "OVERBANK_FLOW\n", true);
  ASSERT_FALSE(r.stopped) << r.out;
  ASSERT_EQ(gained.size(), 3u);
  for (size_t i = 0; i < gained.size(); ++i) {
    const double k = double(i + 1);
    // share x dx x qlat x conc x dt, per node
    const double back = 0.25 * 10.0 * 0.004 * 0.001 * k * 10.0 + 0.75 * 10.0 * 0.004 * 0.002 * k * 10.0;
    EXPECT_NEAR(gained[i], sand[i] ? 0.0 : back, 1e-15) << i;
    EXPECT_EQ(deposit_change[i], 0.0) << i;
    EXPECT_NEAR(booked[i], sand[i] ? 0.0 : -back, 1e-15) << i;
  }
}

// Sorbed constituents travel with the wash load: what the cells' surface and soil stores lose is
// what the nodes receive, class by class and in the totals; sand carries none, and the lake and
// weir cells keep theirs.
TEST(ChannelSedimentStep, SorbedMassFollowsTheWashLoad) {
  pluvo_test::scratch_dir dir;
  double lost = 0, expected = 0, received = 0, by_class = 0, on_sand = 0, booked = 0, event = 0;
  const auto r = read_sediment_project([&](model_state& m) {
    if (!m.ov_sed) return;
    pluvo::ov_sed_record& s = *m.ov_sed;
    const int n = s.num_sed_classes, q_count = 2;
    const size_t slots = size_t(n) + 1, cells = size_t(m.cell_count) + 1, keys = size_t(m.chan_slot_count);
    spread_sediment(m);
    for (int c = 1; c <= m.cell_count; ++c) m.ov_depth[size_t(c)] = 0.01;
    inflow_everywhere(m, 0.002);
    m.sediment_contam_on = 1;
    m.num_constituents = q_count;
    m.mixing_layer_depth_cm = 10.0;
    m.porosity_cell.assign(cells, 0.4);
    pluvo::checked_array_3d_grow_fill(m.soil_mass, q_count, 50.0, m.cell_count, 1);
    pluvo::checked_array_3d_grow_fill(m.soil_frac_dissolved, q_count, 0.2, m.cell_count, 1);
    m.ov_total_con_mass.assign((q_count + 1) * cells, 1000.0);
    m.ov_sed_con_conc.assign((q_count + 1) * cells * slots, 0.0);
    m.chan_qlat_sed_mass.assign((q_count + 1) * keys * slots, 0.0);
    m.attached_to_chan_total.assign(q_count + 1, 0.0);
    m.event_attached_to_chan.assign(q_count + 1, 0.0);
    double fines = 0.0;
    for (int k = 1; k <= n; ++k) {
      for (int c = 1; c <= m.cell_count; ++c) s.sed_fract[s.cell_class_layer(c, k, 1)] = 1.0 / n;
      if (!s.sand[size_t(k)]) fines += 1.0 / n;
    }
    for (int q = 1; q <= q_count; ++q)
      for (int c = 1; c <= m.cell_count; ++c)
        for (int k = 1; k <= n; ++k) m.ov_sed_con_conc[(q * cells + size_t(c)) * slots + size_t(k)] = 100.0 * q + k;
    // By hand: the two wet cells that feed stream links give all their wash load, the suspended
    // part at its sorbed concentration, the deposit at the mixing layer's.
    const double solids = m.cell_size * m.cell_size * 10.0 / 100.0 * 0.6;
    for (int c : {m.cell_number_grid(1, 1), m.cell_number_grid(1, 3)})
      for (int q = 1; q <= q_count; ++q)
        for (int k = 1; k <= n; ++k)
          if (!s.sand[size_t(k)])
            expected += layer(m, c, k, 2) * (100.0 * q + k) + layer(m, c, k, 3) * 0.8 * 50.0 / (fines * solids);
    pluvo::channel_sediment_step(m, 10.0);
    for (int q = 1; q <= q_count; ++q) {
      for (int c = 1; c <= m.cell_count; ++c)
        lost += 50.0 - pluvo::checked_array_3d_plane(m.soil_mass, q)[c][1] + 1000.0 - m.ov_total_con_mass[q * cells + size_t(c)];
      for (size_t key = 0; key < keys; ++key) {
        const size_t at = (size_t(q) * keys + key) * slots;
        received += m.chan_qlat_sed_mass[at];
        for (int k = 1; k <= n; ++k) (s.sand[size_t(k)] ? on_sand : by_class) += m.chan_qlat_sed_mass[at + size_t(k)];
      }
      booked += 1000.0 * m.attached_to_chan_total[size_t(q)];
      event += 1000.0 * m.event_attached_to_chan[size_t(q)];
    }
  });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_GT(expected, 1.0);
  EXPECT_NEAR(lost, expected, 1e-9);
  EXPECT_NEAR(received, expected, 1e-9);
  EXPECT_NEAR(by_class, expected, 1e-9);
  EXPECT_EQ(on_sand, 0.0);
  EXPECT_NEAR(booked, expected, 1e-9);
  EXPECT_NEAR(event, expected, 1e-9);
}

// A lateral sediment volume that is not a number stops the run with its message.
TEST(ChannelSedimentStep, NotANumberStopsTheRun) {
  pluvo_test::scratch_dir dir;
  int code = 0;
  const auto r = read_sediment_project([&](model_state& m) {
    for (int c = 1; c <= m.cell_count; ++c) m.ov_depth[size_t(c)] = 0.01;
    inflow_everywhere(m, 0.002);
    layer(m, m.cell_number_grid(1, 1), 2, 2) = std::nan("");
    pluvo::channel_sediment_step(m, 10.0);
    code = pluvo::error_state.error_terminate;
  });
  EXPECT_EQ(code, 1);
  EXPECT_NE(r.out.find("qlat_sed is not a number, exiting.\n"), std::string::npos) << r.out;
}

// What the channel transport left for the update is booked: sand delivered and sent out, wash
// load through the outlet (with its largest rate), and each lake's wash load and sand, the
// per-update figures cleared.
TEST(ChannelSedimentStep, BooksTheTransportFiguresOfTheUpdate) {
  pluvo_test::scratch_dir dir;
  struct figures {
    double sand_in = 0, sand_out = 0, wash_out = 0, max_rate = 0, to_chan = 0, settled = 0, net_ov = 0, run_ov = 0;
    double lake_sand = 0, to_lakes = 0, left = 0;
  } f;
  const auto r = read_sediment_project([&](model_state& m) {
    if (!m.ov_sed || m.nlakes != 1) return;
    const int n = m.ov_sed->num_sed_classes, sand = m.ov_sed->num_sand_classes;
    m.chan_sand_inflow[1] = 0.5;  // class 1 is sand
    for (int p = 1; p <= sand + 1; ++p) m.chan_sand_outflow[size_t(p)] = 0.01;
    const size_t lake = size_t(n + 1);  // lake 1, class 0
    for (int step : {0, 1}) {
      m.chan_wash_outflow = step ? 0.002 : 0.003;
      m.lake_sand_inflow[lake + 1] = 0.25;
      m.lake_sand_outflow[1] = 0.125;
      for (int k = 2; k <= n; ++k) {
        m.SS_vol_lake_to_chan[lake + size_t(k)] = 0.1;
        m.sed_vol_overland_to_lake[lake + size_t(k)] = 0.25;  // net: what overland flow brought less what it took
        m.SS_vol_lake_settled[lake + size_t(k)] = 0.02;
      }
      pluvo::book_channel_sediment_update(m, 10.0);
    }
    f.sand_in = m.sand_to_chan_total;
    f.sand_out = m.event_sand_out;
    f.wash_out = m.wash_out_total;
    f.max_rate = m.max_wash_outflow_rate;
    f.to_chan = m.GLOBAL_SS_vol_lake_to_chan[lake];
    f.settled = m.event_lake_ss_settled[1];
    f.net_ov = m.event_ov_ss_to_lake[1];
    f.run_ov = m.GLOBAL_sed_vol_overland_to_lake[lake];
    f.lake_sand = m.tot_lake_sand_in[1];
    f.to_lakes = m.event_sand_to_lakes;
    f.left = m.chan_sand_inflow[1] + m.SS_vol_lake_to_chan[lake + 2] + m.lake_sand_inflow[lake + 1] +
             m.lake_sand_outflow[1] + m.sed_vol_overland_to_lake[lake + 2];
  });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_NEAR(f.sand_in, 0.5, 1e-15);            // cleared after the first update
  EXPECT_NEAR(f.sand_out, 2 * 2 * 10 * 0.01, 1e-15);  // two positions, two updates of 10 s
  EXPECT_NEAR(f.wash_out, 10 * 0.003 + 10 * 0.002, 1e-15);
  EXPECT_EQ(f.max_rate, 0.003);
  EXPECT_NEAR(f.to_chan, 2 * 2 * 0.1, 1e-15);  // two wash-load classes
  EXPECT_NEAR(f.settled, 2 * 2 * 0.02, 1e-15);
  EXPECT_NEAR(f.net_ov, 2 * 2 * 0.25, 1e-15);
  EXPECT_NEAR(f.run_ov, f.net_ov, 1e-15);
  EXPECT_NEAR(f.lake_sand, 0.5, 1e-15);
  EXPECT_NEAR(f.to_lakes, 0.25, 1e-15);
  EXPECT_EQ(f.left, 0.0);
}

// Optimising on sediment: each sediment hydrograph point gathers the wash load its node passes
// and keeps the largest discharge of the last wash-load class; sand is not counted.
TEST(ChannelSedimentStep, SedimentPointsGatherWashLoad) {
  pluvo_test::scratch_dir dir;
  double volume = 0, peak = 0;
  const auto r = read_sediment_project([&](model_state& m) {
    if (!m.ov_sed) return;
    const int n = m.ov_sed->num_sed_classes;  // class 1 sand, 2 and 3 wash load
    m.optimize_on = m.optimize_sed_on = m.ov_sed->sed_hydro_locations_on = 1;
    m.sed_hydrograph_point_count = 1;
    m.slink = {0, 4};
    m.snode = {0, 2};
    m.point_event_volume.assign(2, 0.0);
    m.point_peak_discharge.assign(2, 0.0);
    for (double q : {0.004, 0.002}) {
      for (int k = 1; k <= n; ++k) m.qsmax[node_class(m, 4, 2, k)] = q * k;
      pluvo::book_channel_sediment_update(m, 10.0);
    }
    volume = m.point_event_volume[1];
    peak = m.point_peak_discharge[1];
  });
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_NEAR(volume, 10.0 * (0.004 + 0.002) * (2 + 3), 1e-15);
  EXPECT_EQ(peak, 0.004 * 3);
}

// "new_bed_elevations.txt": a line per node of the stream links, one for the lake, the weir's
// node flagged as a structure; the tracked bed with ADJUST_CHANNEL_BED off, the bed itself on.
TEST(ChannelSedimentStep, BedElevationReport) {
  pluvo_test::scratch_dir dir;
  for (int adjust : {0, 1}) {
    std::string file;
    const auto r = read_sediment_project(
        [&](model_state& m) {
          EXPECT_EQ(m.adjust_channel_bed_on, adjust);
          m.new_bel[size_t(1 * m.chan_node_extent + 2)] -= 0.0125;  // the sediment routing cut the bed
          pluvo::write_new_bed_elevations(m);
          file = pluvo_test::read_file("new_bed_elevations.txt");
        },
        adjust ? "ADJUST_CHANNEL_BED\n" : "");
    ASSERT_FALSE(r.stopped) << r.out;
    // The set-up puts the computational nodes midway between the nodes read.
    const std::string tracked = adjust ? "1 1     10.175     10.175 0 \n1 2     10.125     10.125 0 \n"
                                       : "1 1     10.175     10.175  0 \n1 2     10.113     10.125  0 \n";
    const std::string sep = adjust ? " " : "  ";
    EXPECT_EQ(file,
              "Link Node  New Elev(m) Old ELev (m) struct_flag: 0 no structure, 1 - structure, 2 - lake \n" + tracked +
                  "Link     2 is a lake     2  \n" + "3 1      0.000      0.000" + sep + "1 \n" +
                  "3 2      0.000      0.000" + sep + "1 \n" + "4 1      9.975      9.975" + sep + "0 \n" +
                  "4 2      9.925      9.925" + sep + "0 \n")
        << adjust;
  }
}

}  // namespace
