#include <gtest/gtest.h>

#include <string>

#include "common/checked_file.hpp"
#include "output/output_phases.hpp"
#include "output_fixture.hpp"

namespace {

using pluvo::checked_file;
using pluvo::model_state;

std::string open_in(const std::string& dir, checked_file& f, const char* name) {
  const std::string path = dir + "/" + name;
  EXPECT_TRUE(pluvo::checked_file_open(f, path.c_str(), 'w'));
  return path;
}

TEST(WriteTimeSeries, OneOutletLinePerOutputInterval) {
  auto m = pluvo_test::new_record();
  pluvo_test::size_cells(*m, 4, 10.0);
  const std::string dir = pluvo_test::make_temp_dir();
  const std::string path = open_in(dir, m->outlet_hydrograph_fp, "run.otl");
  m->hyd_write_steps = 3;
  m->time_step = 30.0;
  for (int step = 0; step <= 10; ++step) {
    m->step_count = step;
    m->elapsed_min = step * m->time_step / 60.0;
    m->outlet_discharge = 0.125 * step;
    pluvo::write_time_series(*m);
  }
  pluvo::checked_file_close(m->outlet_hydrograph_fp);
  EXPECT_EQ(pluvo_test::read_file(path),
            "    0.00       0.00000000\n"
            "    1.50       0.37500000\n"
            "    3.00       0.75000000\n"
            "    4.50       1.12500000\n");
  EXPECT_EQ(m->hydrograph_line_count, 4);
}

// Every file of one output time, in event minutes and in cubic feet per second.
TEST(WriteTimeSeries, CompanionAndCellFilesAtOneOutputTime) {
  struct row {
    int cfs;
    const char* outlet;
    const char* six;
    const char* cells;
  } rows[] = {
      {0, "   90.00       0.50000000\n", "   90.00       0.50000000\n",
       "   90.00000000         0.010000      0.020000              0.500000      0.000000  \n"},
      {1, "   90.00     17.657\n", "   90.00      17.65733350\n",
       "   90.00000000                17.657334      0.000000  \n"},
  };
  for (const row& r : rows) {
    auto m = pluvo_test::new_record();
    pluvo_test::size_cells(*m, 4, 10.0);
    const std::string dir = pluvo_test::make_temp_dir();
    m->step_count = 180;
    m->elapsed_min = 90.0;
    m->outlet_discharge = 0.5;
    m->avg_rain_rate = 12.5;
    m->qout_cfs_on = r.cfs;
    m->runoff_mmph_on = m->rainfall_mmph_on = m->sig_outlet_hydro_on = 1;
    m->celldepdis_location_on = m->overland_depths_on = m->overland_wse_on = m->theta_out_on = 1;
    m->gnumlocater = {1, 3};
    m->overland_depth_cells = {2};
    m->overland_wse_cells = {2};
    m->theta_cells = {4};
    m->depth_map = {0.0, 0.01, 0.0, 0.02, 0.0};
    m->ov_qx = {0.0, 0.3, 0.0, 0.0, 0.0};
    m->ov_qy = {0.0, 0.4, 0.0, 0.0, 0.0};
    m->ov_depth = {0.0, 0.0, 0.25, 0.0, 0.0};
    m->elevation = {0.0, 0.0, 100.0, 0.0, 0.0};
    m->surface_moisture = {0.0, 0.0, 0.0, 0.0, 0.35};
    const std::string outlet = open_in(dir, m->outlet_hydrograph_fp, "a.otl");
    const std::string six = open_in(dir, m->hydrograph_6digit_fp, "a.6");
    const std::string runoff = open_in(dir, m->runoff_mmh_fp, "a.ro");
    const std::string rain = open_in(dir, m->basin_rain_mmh_fp, "a.rain");
    const std::string cells = open_in(dir, m->out_dep_dis_fp, "a.cell");
    const std::string depth = open_in(dir, m->overland_depth_out_fp, "a.dep");
    const std::string wse = open_in(dir, m->overland_wse_out_fp, "a.wse");
    const std::string theta = open_in(dir, m->out_theta_location_fp, "a.th");
    pluvo::write_time_series(*m);
    for (checked_file* f : {&m->outlet_hydrograph_fp, &m->hydrograph_6digit_fp, &m->runoff_mmh_fp,
                            &m->basin_rain_mmh_fp, &m->out_dep_dis_fp, &m->overland_depth_out_fp,
                            &m->overland_wse_out_fp, &m->out_theta_location_fp})
      pluvo::checked_file_close(*f);
    EXPECT_EQ(pluvo_test::read_file(outlet), r.outlet) << r.cfs;
    EXPECT_EQ(pluvo_test::read_file(six), r.six) << r.cfs;
    // 0.5 m3/s over 400 m2 is 4500 mm/h.
    EXPECT_EQ(pluvo_test::read_file(runoff), "   90.00    4500.00000000\n") << r.cfs;
    EXPECT_EQ(pluvo_test::read_file(rain), "   90.00      12.50000000\n") << r.cfs;
    EXPECT_EQ(pluvo_test::read_file(cells), r.cells) << r.cfs;
    EXPECT_EQ(pluvo_test::read_file(depth), "   90.00000000     0.250000 \n") << r.cfs;
    EXPECT_EQ(pluvo_test::read_file(wse), "   90.00000000   100.250000 \n") << r.cfs;
    EXPECT_EQ(pluvo_test::read_file(theta), "   90.00000000     0.350000 \n") << r.cfs;
  }
}

TEST(WriteTimeSeries, LongTermTimeColumnsAndEndedPointLines) {
  auto m = pluvo_test::new_record();
  pluvo_test::size_cells(*m, 4, 10.0);
  const std::string dir = pluvo_test::make_temp_dir();
  m->long_term_on = 1;
  m->cur_year = 2001;
  m->day_of_year = 1;
  m->cur_hour = 12;
  m->cur_julian = 2451912.0;  // 2 January 2001, 12:00
  m->outlet_discharge = 2.5;
  m->overland_depths_on = 1;  // an empty location list still ends its line
  m->lake_output_on = 1;
  m->nlakes = 1;
  m->lake_elev = {0.0, 250.5};
  m->lake_volume = {0.0, 1234.5};
  const std::string outlet = open_in(dir, m->outlet_hydrograph_fp, "b.otl");
  const std::string depth = open_in(dir, m->overland_depth_out_fp, "b.dep");
  const std::string lake = open_in(dir, m->lake_output_fp, "b.lake");
  pluvo::write_time_series(*m);
  for (checked_file* f : {&m->outlet_hydrograph_fp, &m->overland_depth_out_fp, &m->lake_output_fp})
    pluvo::checked_file_close(*f);
  EXPECT_DOUBLE_EQ(m->hydrograph_time, 2001.0 + 2160.0 / 525600.0);
  EXPECT_EQ(pluvo_test::read_file(outlet), "   2001.00410959      2.5000\n");
  EXPECT_EQ(pluvo_test::read_file(depth), "   2001.00410959 \n");
  EXPECT_EQ(pluvo_test::read_file(lake), "2001  1  2 12  0   250.500   1234.500 \n");
}

}  // namespace
