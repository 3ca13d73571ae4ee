// Byte layouts of the point files, the VOK hydrograph file and the end-of-run state maps.
#include <gtest/gtest.h>

#include <array>

#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/checked_array.hpp"
#include "common/checked_file.hpp"
#include "output/output_phases.hpp"
#include "output/series_files.hpp"
#include "output_fixture.hpp"

namespace {

using pluvo::checked_file;

std::string open_in(const std::string& dir, checked_file& f, const char* name) {
  const std::string path = dir + "/" + name;
  EXPECT_TRUE(pluvo::checked_file_open(f, path.c_str(), 'w'));
  return path;
}

// One link of four node slots with two hydrograph points at its nodes 2 and 3.
void give_two_channel_points(pluvo::model_state& m) {
  m.nlinks = 1;
  m.chan_node_extent = 4;
  m.qp.assign(8, 0.0);
  m.chan_depth.assign(8, 0.0);
  m.qp[6] = 1.25, m.qp[7] = 0.5;
  m.chan_depth[6] = 0.4, m.chan_depth[7] = 0.125;
  m.hydrograph_link_count = 2;
  m.hlink = {0, 1, 1};
  m.hnode = {0, 2, 3};
  m.hyd_location_on = m.dep_location_on = 1;
  m.hyd_write_steps = 1;
  m.step_count = 3;
  m.elapsed_min = 90.0;
  m.cur_julian = 2451912.0;  // 2 January 2001, 12:00
  m.cur_year = 2001, m.day_of_year = 1, m.cur_hour = 12;
}

TEST(PointFiles, DischargeAndDepthLinesOfEveryRunKindAndUnit) {
  struct row {
    int long_term, strict_julian, cfs;
    const char* discharge;
    const char* depth;
  } rows[] = {
      {0, 0, 0, "   90.00000000       1.25000000       0.50000000 \n", "   90.00000000     0.400000     0.125000 \n"},
      {0, 1, 0, "   90.00000000       1.25000000       0.50000000 \n", "   90.00000000     0.400000     0.125000 \n"},
      {1, 0, 0, "   2001.00410959       1.25000000       0.50000000 \n",
       "   2001.00410959     0.400000     0.125000 \n"},
      {1, 1, 0, "2451912.00000000       1.25000000       0.50000000 \n",
       "2451912.00000000     0.400000     0.125000 \n"},
      {0, 0, 1, "   90.00000000      44.14333375      17.65733350 \n", "   90.00000000     0.400000     0.125000 \n"},
      {0, 1, 1, "   90.00000000      44.14333375      17.65733350 \n", "   90.00000000     0.400000     0.125000 \n"},
      {1, 0, 1, "   2001.00410959      44.14333375      17.65733350 \n",
       "   2001.00410959     0.400000     0.125000 \n"},
  };
  for (const row& r : rows) {
    auto m = pluvo_test::new_record();
    pluvo_test::size_cells(*m, 4, 10.0);
    give_two_channel_points(*m);
    m->long_term_on = r.long_term;
    m->strict_julian_date_on = r.strict_julian;
    m->qout_cfs_on = r.cfs;
    const std::string dir = pluvo_test::make_temp_dir();
    const std::string q = open_in(dir, m->out_hydrograph_fp, "p.q");
    const std::string d = open_in(dir, m->out_dep_location_fp, "p.d");
    pluvo::write_time_series(*m);
    pluvo::checked_file_close(m->out_hydrograph_fp);
    pluvo::checked_file_close(m->out_dep_location_fp);
    EXPECT_EQ(pluvo_test::read_file(q), r.discharge) << r.long_term << r.strict_julian << r.cfs;
    EXPECT_EQ(pluvo_test::read_file(d), r.depth) << r.long_term << r.strict_julian << r.cfs;
  }
}

// The exchange at a groundwater-flux point is summed every step; each line shows the mean over
// the interval times the node spacing, and the next interval starts from nothing.
TEST(PointFiles, GroundwaterFluxAverageStartsAgainAfterEachLine) {
  auto m = pluvo_test::new_record();
  pluvo_test::size_cells(*m, 4, 10.0);
  give_two_channel_points(*m);
  m->hyd_location_on = m->dep_location_on = 0;
  m->gwflux_location_on = 1;
  m->gw_flux_point_count = 1;
  m->gwflink = {0, 1};
  m->gwfnode = {0, 2};
  m->link_dx = {0.0, 10.0};
  m->av_qriv.assign(8, 0.0);
  m->hyd_write_steps = 2;
  const std::string dir = pluvo_test::make_temp_dir();
  const std::string path = open_in(dir, m->out_gw_flux_fp, "g.out");
  for (int step = 1; step <= 4; ++step) {
    m->step_count = step;
    m->elapsed_min = step;
    m->av_qriv[6] += step <= 2 ? 1.5 : 0.5;  // 3 over the first interval, 1 over the second
    pluvo::write_time_series(*m);
    if (step % 2 == 0) {
      EXPECT_EQ(m->av_qriv[6], 0.0) << step;
    }
  }
  pluvo::checked_file_close(m->out_gw_flux_fp);
  EXPECT_EQ(pluvo_test::read_file(path),
            "    2.00000000      15.00000000 \n"
            "    4.00000000       5.00000000 \n");
}

// Outlet lines "time discharge" with discharges 1..lines, and a point file of data lines.
std::string vok_of(int lines, bool points) {
  std::string outlet, point_lines;
  for (int i = 1; i <= lines; ++i) {
    char line[128];
    std::snprintf(line, sizeof line, "%8.2lf %16.8lf\n", 5.0 * i, double(i));
    outlet += line;
    std::snprintf(line, sizeof line, "%14.8lf %16.8lf %16.8lf \n", 5.0 * i, 0.5 * i, 100.0 + i);
    point_lines += line;
  }
  std::FILE* out = ::fmemopen(outlet.data(), outlet.size(), "r");
  std::FILE* pts = points ? ::fmemopen(point_lines.data(), point_lines.size(), "r") : nullptr;
  const int32_t links[] = {0, 19, 40};
  const int32_t nodes[] = {0, 2, 3};
  pluvo::vok_sources in;
  in.outlet = out;
  in.points = pts;
  in.point_links = links;
  in.point_nodes = nodes;
  in.point_count = points ? 2 : 0;
  in.start_date = 20200601;
  in.start_time = 1000;
  in.hyd_write_steps = 30;
  in.line_count = lines;
  const std::string text = pluvo_test::capture([&](std::FILE* f) { pluvo::write_vok_hydrograph_file(f, in); });
  std::fclose(out);
  if (pts) std::fclose(pts);
  return text;
}

TEST(VokHydrograph, TenValuesToALineWithAndWithoutPoints) {
  const std::string ten =
      "     1.0000      2.0000      3.0000      4.0000      5.0000      6.0000      7.0000      8.0000"
      "      9.0000     10.0000\n";
  EXPECT_EQ(vok_of(10, false), "PLUVEIA_VOK_HYDROGRAPH_FILE\n0\n20200601\n1000\n30\n10\n" + ten);
  EXPECT_EQ(vok_of(11, false), "PLUVEIA_VOK_HYDROGRAPH_FILE\n0\n20200601\n1000\n30\n11\n" + ten + "    11.0000 ");
  const std::string first =
      "     0.5000      1.0000      1.5000      2.0000      2.5000      3.0000      3.5000      4.0000"
      "      4.5000      5.0000\n";
  const std::string second =
      "   101.0000    102.0000    103.0000    104.0000    105.0000    106.0000    107.0000    108.0000"
      "    109.0000    110.0000\n";
  EXPECT_EQ(vok_of(10, true), "PLUVEIA_VOK_HYDROGRAPH_FILE\n2\n20200601\n1000\n30\n10\n19 2\n40 3\n" + ten + "\n" +
                                  first + "\n" + second);
  EXPECT_EQ(vok_of(11, true), "PLUVEIA_VOK_HYDROGRAPH_FILE\n2\n20200601\n1000\n30\n11\n19 2\n40 3\n" + ten +
                                  "    11.0000 \n" + first + "     5.5000 \n" + second + "   111.0000 ");
}

}  // namespace

namespace {

// A soil-temperature column of two nodes at 0.1 and 0.5 m in every cell; the file shows 0.5 m.
void give_soil_temperature(pluvo::model_state& m, int cells) {
  pluvo_test::size_cells(m, cells, 10.0);
  m.permafrost_gipl_flag = 1;
  m.hyd_write_steps = 1;
  m.gipl_output_depths = {0.5};
  m.gipl_state.type_count = 1;
  m.gipl_state.Dn_nums = {0, 2};
  m.gipl_state.Depth = {{}, {0.0, 0.1, 0.5}};
  m.GIPL_soiltype.assign(size_t(cells) + 1, 1);
  m.perma_tem.assign(cells, 2, -1.25);
  m.fr_lq_wat.assign(cells, 2, 1.0);
  m.hmet_temperature = 3.5;
}

TEST(SoilTemperatureFile, HeaderOnlyAtAFirstOutputTimeAtTheStartAndCell45Only) {
  struct row {
    int cells;
    double first_minutes;
    const char* text;
  } rows[] = {
      {50, 0.0,
       "Time             Air Temp(C) Depth(m) Soil Temp(C)\n"
       "      0.00000000    3.500   0.5000      -1.2500 \n"
       "      0.50000000    3.500   0.5000      -1.2500 \n"},
      // A run whose first output comes later has no header.
      {50, 0.5,
       "      0.50000000    3.500   0.5000      -1.2500 \n"
       "      1.00000000    3.500   0.5000      -1.2500 \n"},
      // A grid without a cell 45 shows the time and the air only.
      {10, 0.0,
       "Time             Air Temp(C) Depth(m) Soil Temp(C)\n"
       "      0.00000000    3.500  \n"
       "      0.50000000    3.500  \n"},
  };
  for (const row& r : rows) {
    auto m = pluvo_test::new_record();
    give_soil_temperature(*m, r.cells);
    const std::string dir = pluvo_test::make_temp_dir();
    const std::string path = open_in(dir, m->permafrost_temperature_fp, "t.out");
    for (int step = 0; step < 2; ++step) {
      m->step_count = step;
      m->elapsed_min = r.first_minutes + 0.5 * step;
      pluvo::write_time_series(*m);
    }
    pluvo::checked_file_close(m->permafrost_temperature_fp);
    EXPECT_EQ(pluvo_test::read_file(path), r.text) << r.cells << " " << r.first_minutes;
    // Writing the file changes nothing in the model.
    for (int c = 0; c <= r.cells; ++c)
      for (int j = 0; j <= 2; ++j) EXPECT_EQ(m->fr_lq_wat[c][j], 1.0);
  }
}

// Each superlink line starts with the number of values it holds, so a reader never runs into
// the next line; heads have one value more than flows.
TEST(SuperlinkSeries, EachLineCountsItsValues) {
  auto m = pluvo_test::new_record();
  m->storm_sewer_on = 1;
  m->num_superlinks = 2;
  m->nnodes = {0, 2, 1};
  m->superlink_pipe_flow.assign(3, 2, 0.0);
  m->superlink_node_head.assign(3, 2, 0.0);
  m->superlink_pipe_flow[1][1] = 0.5, m->superlink_pipe_flow[2][1] = 0.25, m->superlink_pipe_flow[1][2] = 1.0;
  m->superlink_node_head[3][1] = 12.5, m->superlink_node_head[2][2] = 9.0;
  m->pipe_flow_flag = m->pipe_head_flag = 1;
  m->hyd_write_steps = 1;
  const std::string dir = pluvo_test::make_temp_dir();
  const std::string flow = open_in(dir, m->pipe_flow_fp, "f.lnd");
  const std::string head = open_in(dir, m->pipe_head_fp, "h.lnd");
  for (int step = 1; step <= 2; ++step) {
    m->step_count = step;
    pluvo::write_time_series(*m);
  }
  pluvo::checked_file_close(m->pipe_flow_fp);
  pluvo::checked_file_close(m->pipe_head_fp);
  const std::string flow_step = "2   1  0.50000   1  0.25000   \n1   1  1.00000   \n\n";
  EXPECT_EQ(pluvo_test::read_file(flow), "TS    0\n" + flow_step + "TS    1\n" + flow_step);
  const std::string head_step = "3   1  0.00000   1  0.00000   1  12.50000   \n2   1  0.00000   1  9.00000   \n\n";
  EXPECT_EQ(pluvo_test::read_file(head), "TS    0\n" + head_step + "TS    1\n" + head_step);
}

// With channel sediment transport the outlet line holds every wash-load class, then every sand
// class and the sand total; its time field depends on the run kind and unit.
TEST(SedimentOutlet, ClassLineTimeFieldsOfEveryRunKind) {
  struct row {
    int long_term, strict_julian, cfs;
    const char* text;
  } rows[] = {
      {0, 0, 0, "   90.0000000000     0.0010000000     0.0030000000     0.0030000000\n"},
      {0, 1, 0, "2451912.0000000000     0.0010000000     0.0030000000     0.0030000000\n"},
      {1, 0, 0, "   2001.00410959     0.0010000000     0.0030000000     0.0030000000\n"},
      {0, 0, 1, "     90.00000000     0.0353146670     0.1059440010     0.1059440010\n"},
      {0, 1, 1, "2451912.00000000      0.0353146670     0.1059440010     0.1059440010\n"},
  };
  for (const row& r : rows) {
    auto m = pluvo_test::new_record();
    give_two_channel_points(*m);
    m->hyd_location_on = m->dep_location_on = 0;
    m->long_term_on = r.long_term;
    m->strict_julian_date_on = r.strict_julian;
    m->qout_cfs_on = r.cfs;
    m->soil_erosion_on = m->chan_sed_transport_on = 1;
    m->ov_sed = std::make_unique<pluvo::ov_sed_record>();
    m->ov_sed->num_sed_classes = 2;
    m->ov_sed->num_fine_classes = 1;
    m->ov_sed->num_sand_classes = 1;
    m->qsmax = {0.0, 0.001, 0.003};  // the outlet key is 0 without routing
    const std::string dir = pluvo_test::make_temp_dir();
    const std::string path = open_in(dir, m->sed_outlet_hydro_file, "s.out");
    pluvo::write_time_series(*m);
    pluvo::checked_file_close(m->sed_outlet_hydro_file);
    EXPECT_EQ(pluvo_test::read_file(path), r.text) << r.long_term << r.strict_julian << r.cfs;
  }
}

}  // namespace

namespace {

// A channel link of two nodes, a lake link and a structure link: each stream series shows the
// lake by its stage where the series is a depth or velocity, the structure by its discharge
// where the series takes the first array as it is, and the empty node elsewhere.
TEST(StreamSeries, ChannelLakeAndStructureLinksInEverySeries) {
  auto m = pluvo_test::new_record();
  m->chan_explic_on = 1;
  m->nlinks = 3;
  m->chan_node_extent = 4;
  m->ltype = {0, 4, 32, 64};
  m->nx = {0, 2, 0, 0};
  m->lake2link = {0, 0, 1, 0};
  m->lake_elev = {0.0, 101.5};
  m->nlakes = 1;
  m->yp.assign(16, 0.0), m->bel.assign(16, 0.0), m->qp.assign(16, 0.0), m->area.assign(16, 0.0);
  m->yp[5] = 10.5, m->bel[5] = 10.0, m->qp[5] = 2.0, m->area[5] = 4.0;
  m->yp[6] = 10.3, m->bel[6] = 10.1, m->qp[6] = 1.0, m->area[6] = 0.5;
  m->yp[13] = 12.0, m->qp[13] = 0.75;
  m->soil_erosion_on = m->chan_sed_transport_on = 1;
  m->ov_sed = std::make_unique<pluvo::ov_sed_record>();
  m->ov_sed->num_sed_classes = 1;
  m->qsmax.assign(16 * 2, 0.0);
  m->qsmax[5 * 2 + 1] = 1e-6, m->qsmax[6 * 2 + 1] = 2.5e-6;
  m->hyd_write_steps = 1;
  m->step_count = 1;
  const std::string dir = pluvo_test::make_temp_dir();
  struct series {
    checked_file* file;
    const char* name;
    const char* text;
  } all[] = {
      {&m->out_chan_depth_fp, "d", "2   1  0.50000   1  0.20000   \n-1 101.50000   \n0  -999.999   \n"},
      {&m->out_chan_discharge_fp, "q", "2   1  2.00000   1  1.00000   \n0  -999.999   \n-2  0.75000   \n"},
      {&m->out_chan_velocity_fp, "v", "2   1  0.50000   1  2.00000   \n-1 101.50000   \n0  -999.999   \n"},
      {&m->out_chan_stage_fp, "s", "2   1  10.50000   1  10.30000   \n0  -999.999   \n-2  12.00000   \n"},
      {&m->out_stream_sed_flux_fp, "f", "2   1  1.00000   1  2.50000   \n0  -999.999   \n-2  0.00000   \n"},
  };
  std::string paths[5];
  for (int i = 0; i < 5; ++i) paths[i] = open_in(dir, *all[i].file, all[i].name);
  pluvo::write_time_series(*m);
  for (int i = 0; i < 5; ++i) {
    pluvo::checked_file_close(*all[i].file);
    EXPECT_EQ(pluvo_test::read_file(paths[i]), std::string("TS    0\n") + all[i].text + "\n") << all[i].name;
  }
  EXPECT_EQ(m->chan_sed_flux_series_step, 1);
}

}  // namespace

namespace {

// The soil-moisture file's three forms: Richards node contents, the long-term two-layer pair
// (999.99 below a top layer deeper than the column), and the surface moisture.
TEST(SoilMoistureFile, RichardsLongTermAndSurfaceForms) {
  struct row {
    int richards, long_term;
    const char* text;
  } rows[] = {
      {1, 0, "   30.00000000     0.310000     0.320000     0.410000 \n"},
      {0, 1, "   2001.00410959     0.250000     0.300000     0.500000   999.990000 \n"},
      {0, 0, "   30.00000000     0.150000     0.160000 \n"},
  };
  for (const row& r : rows) {
    auto m = pluvo_test::new_record();
    pluvo_test::size_cells(*m, 4, 10.0);
    m->hyd_write_steps = 1;
    m->elapsed_min = 30.0;
    m->cur_year = 2001, m->day_of_year = 1, m->cur_hour = 12;
    m->theta_out_on = 1;
    m->theta_cells = {2, 3};
    m->inf_richards_on = r.richards;
    m->long_term_on = r.long_term;
    m->soil_moisture_accounting_on = 1;
    m->theta_soil_nodes = {{1, 2}, {1}};
    m->THETA.assign(4, 2, 0.0);
    m->THETA[2][1] = 0.31, m->THETA[2][2] = 0.32, m->THETA[3][1] = 0.41;
    m->top_layer_depth_cm = 40.0;
    m->sm_depth_cell = {0.0, 0.0, 100.0, 20.0, 0.0};  // cell 3's column is shallower than the top layer
    m->sm_water_top = {0.0, 0.0, 10.0, 10.0, 0.0};
    m->sm_water_lower = {0.0, 0.0, 18.0, 0.0, 0.0};
    m->surface_moisture = {0.0, 0.0, 0.15, 0.16, 0.0};
    const std::string dir = pluvo_test::make_temp_dir();
    const std::string path = open_in(dir, m->out_theta_location_fp, "t.out");
    pluvo::write_time_series(*m);
    pluvo::checked_file_close(m->out_theta_location_fp);
    EXPECT_EQ(pluvo_test::read_file(path), r.text) << r.richards << r.long_term;
  }
}

// Superjunction and superlink node flows at their listed places; drain junctions only where they
// hand water on (to a channel 999, onto the ground 888, into a superjunction 666); in cfs.
TEST(PipePointFiles, SuperjunctionSuperlinkNodeAndDrainOutletLines) {
  auto m = pluvo_test::new_record();
  m->hyd_write_steps = 1;
  m->elapsed_min = 5.0;
  m->qout_cfs_on = 1;
  m->cfs_factor = 2.0;
  m->storm_sewer_on = m->storm_drain_on = 1;
  m->superlink_junc_flow_on = m->superlink_node_flow_on = m->drain_output_on = 1;
  m->sjunc_count = 1;
  m->sjunc = {0, 2};
  m->superjunction_flow = {0.0, 9.0, 0.25};
  m->sl_location_count = 1;
  m->sl_link = {0, 1};
  m->sl_node = {0, 3};
  m->superlink_node_flow.assign(3, 1, 0.0);
  m->superlink_node_flow[3][1] = 0.125;
  m->drain_net = std::make_unique<pluvo::drain_network_record>();
  m->drain_net->junctions = 4;
  m->drain_net->inlet_type.assign(1, 4);
  for (int j = 1; j <= 4; ++j) m->drain_net->inlet_type[0][j] = std::array<int, 5>{0, 999, 1, 888, 666}[size_t(j)];
  m->drain_junction_flow = {0.0, 1.0, 2.0, 3.0, 4.0};
  const std::string dir = pluvo_test::make_temp_dir();
  const std::string sj = open_in(dir, m->superjunction_output_fp, "sj.out");
  const std::string sl = open_in(dir, m->superlink_node_output_fp, "sl.out");
  const std::string dr = open_in(dir, m->drain_out_file, "dr.out");
  pluvo::write_time_series(*m);
  for (checked_file* f : {&m->superjunction_output_fp, &m->superlink_node_output_fp, &m->drain_out_file})
    pluvo::checked_file_close(*f);
  EXPECT_EQ(pluvo_test::read_file(sj), "    5.00000000       0.50000000 \n");
  EXPECT_EQ(pluvo_test::read_file(sl), "    5.00000000       0.25000000 \n");
  EXPECT_EQ(pluvo_test::read_file(dr), "    5.00000000       2.00000000       6.00000000       8.00000000 \n");
}

}  // namespace

namespace {

// Every point file of one output time, for each run kind and discharge unit: the time prefix
// follows the run kind (the cell file pads it, the lake file writes the calendar date in long
// runs), and only discharges turn into cubic feet per second.
TEST(PointFiles, EveryPointFileOfEveryRunKindAndUnit) {
  enum prefix_kind { point, cell, lake };
  struct run_kind {
    int long_term, strict_julian;
    const char* point;
    const char* cell;
    const char* lake;
  } kinds[] = {
      {0, 0, "   90.00000000 ", "   90.00000000     ", "   90.00000000 "},
      {0, 1, "   90.00000000 ", "   90.00000000     ", "   90.00000000 "},
      {1, 0, "   2001.00410959 ", "   2001.00410959     ", "2001  1  2 12  0 "},
      {1, 1, "2451912.00000000 ", "2451912.00000000     ", "2001  1  2 12  0 "},
  };
  struct file {
    checked_file pluvo::model_state::*fp;
    prefix_kind prefix;
    const char* m3s;
    const char* cfs;
  } files[] = {
      {&pluvo::model_state::out_hydrograph_fp, point, "      1.25000000       0.50000000 \n",
       "     44.14333375      17.65733350 \n"},
      {&pluvo::model_state::out_gw_flux_fp, point, "      5.00000000 \n", "    176.57333500 \n"},
      {&pluvo::model_state::out_dep_dis_fp, cell, "    0.010000      0.020000              0.500000      0.000000  \n",
       "           17.657334      0.000000  \n"},
      {&pluvo::model_state::superjunction_output_fp, point, "      0.25000000 \n", "      8.82866675 \n"},
      {&pluvo::model_state::superlink_node_output_fp, point, "      0.12500000 \n", "      4.41433338 \n"},
      {&pluvo::model_state::drain_out_file, point, "      1.00000000 \n", "     35.31466700 \n"},
      {&pluvo::model_state::out_dep_location_fp, point, "    0.400000     0.125000 \n", nullptr},
      {&pluvo::model_state::out_con_location_fp, point, "    2.500000     0.750000 \n", nullptr},
      {&pluvo::model_state::out_mass_location_fp, point, "    0.030000     0.040000 \n", nullptr},
      {&pluvo::model_state::out_theta_location_fp, point, "    0.350000 \n", nullptr},
      {&pluvo::model_state::well_level_fp, point, "  250.500000 \n", nullptr},
      {&pluvo::model_state::overland_depth_out_fp, point, "    0.250000 \n", nullptr},
      {&pluvo::model_state::overland_wse_out_fp, point, "  100.250000 \n", nullptr},
      {&pluvo::model_state::lake_output_fp, lake, "  250.500   1234.500 \n", nullptr},
      {&pluvo::model_state::sed_tss_hydrograph_location_fp, point,
       "    0.0010000000     0.0030000000     0.0030000000 \n", "    0.0353146670     0.1059440010     0.1059440010 \n"},
      {&pluvo::model_state::sed_tss_loc_file, point, "         45.5000\n", nullptr},
  };
  for (const run_kind& kind : kinds)
    for (int cfs = 0; cfs <= 1; ++cfs) {
      auto m = pluvo_test::new_record();
      pluvo_test::size_cells(*m, 4, 10.0);
      give_two_channel_points(*m);
      m->long_term_on = kind.long_term;
      m->strict_julian_date_on = kind.strict_julian;
      m->qout_cfs_on = cfs;
      // Groundwater flux at the first point, cells 1 and 3, superjunction 2, superlink node 3 of
      // link 1, the one drain junction that hands water on.
      m->gwflux_location_on = 1, m->gw_flux_point_count = 1, m->gwflink = {0, 1}, m->gwfnode = {0, 2};
      m->link_dx = {0.0, 10.0};
      m->av_qriv.assign(8, 0.0), m->av_qriv[6] = 0.5;
      m->celldepdis_location_on = 1, m->gnumlocater = {1, 3};
      m->depth_map = {0.0, 0.01, 0.0, 0.02, 0.0};
      m->ov_qx[1] = 0.3, m->ov_qy[1] = 0.4;
      m->storm_sewer_on = m->storm_drain_on = 1;
      m->superlink_junc_flow_on = m->superlink_node_flow_on = m->drain_output_on = 1;
      m->sjunc_count = 1, m->sjunc = {0, 2}, m->superjunction_flow = {0.0, 9.0, 0.25};
      m->sl_location_count = 1, m->sl_link = {0, 1}, m->sl_node = {0, 3};
      m->superlink_node_flow.assign(3, 1, 0.0), m->superlink_node_flow[3][1] = 0.125;
      m->drain_net = std::make_unique<pluvo::drain_network_record>();
      m->drain_net->junctions = 2, m->drain_net->inlet_type.assign(1, 2);
      m->drain_net->inlet_type[0][1] = 999, m->drain_net->inlet_type[0][2] = 1;
      m->drain_junction_flow = {0.0, 1.0, 2.0};
      // One constituent at the two channel points: concentration and dissolved flux.
      m->con_location_on = m->mass_location_on = 1, m->num_constituents = 1;
      pluvo::checked_array_2d_grow_fill(m->chan_node_conc, 1, 0.0, 8);
      pluvo::checked_array_2d_row(m->chan_node_conc, 1)[6] = 2.5;
      pluvo::checked_array_2d_row(m->chan_node_conc, 1)[7] = 0.75;
      m->dissolved_chan_flux.assign(1, 7, 0.0);
      m->dissolved_chan_flux[1][6] = 0.03, m->dissolved_chan_flux[1][7] = 0.04;
      m->theta_out_on = 1, m->theta_cells = {4}, m->surface_moisture[4] = 0.35;
      m->gw_well_level_on = 1, m->gw_well_level_count = 1, m->well_row = {0, 1}, m->well_column = {0, 2};
      m->cell_number_grid.resize(1, 2), m->cell_number_grid(1, 2) = 3;
      m->elevgw = {0.0, 0.0, 0.0, 250.5, 0.0};
      m->overland_depths_on = m->overland_wse_on = 1;
      m->overland_depth_cells = m->overland_wse_cells = {2};
      m->ov_depth[2] = 0.25, m->elevation[2] = 100.0;
      m->lake_output_on = 1, m->nlakes = 1, m->lake_elev = {0.0, 250.5}, m->lake_volume = {0.0, 1234.5};
      // Sediment at the first point: one wash-load class, one sand class and the sand total.
      m->chan_sed_transport_on = 1;
      m->ov_sed = std::make_unique<pluvo::ov_sed_record>();
      m->ov_sed->num_sed_classes = 2, m->ov_sed->num_fine_classes = 1, m->ov_sed->num_sand_classes = 1;
      m->ov_sed->sed_hydro_locations_on = m->ov_sed->out_tss_loc_on = 1;
      m->sed_hydrograph_point_count = 1, m->slink = {0, 1}, m->snode = {0, 2};
      m->qsmax.assign(8 * 3, 0.0);
      m->qsmax[6 * 3 + 1] = 0.001, m->qsmax[6 * 3 + 2] = 0.003;
      m->chan_sed_conc.assign(8 * 3, 0.0), m->chan_sed_conc[6 * 3] = 45.5;  // mg/L, slot 0 the total

      const std::string dir = pluvo_test::make_temp_dir();
      std::vector<std::string> paths;
      for (const file& f : files) paths.push_back(open_in(dir, (*m).*f.fp, std::to_string(paths.size()).c_str()));
      pluvo::write_time_series(*m);
      for (size_t i = 0; i < std::size(files); ++i) {
        pluvo::checked_file_close((*m).*files[i].fp);
        const file& f = files[i];
        const char* prefix = f.prefix == cell ? kind.cell : f.prefix == lake ? kind.lake : kind.point;
        const char* body = cfs && f.cfs ? f.cfs : f.m3s;
        EXPECT_EQ(pluvo_test::read_file(paths[i]), std::string(prefix) + body)
            << "file " << i << " long-term " << kind.long_term << " strict " << kind.strict_julian << " cfs " << cfs;
      }
    }
}

}  // namespace
