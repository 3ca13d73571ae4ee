#include <gtest/gtest.h>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "run/driver.hpp"
#include "record/model_state.hpp"
#include "table_fixture.hpp"

namespace {

using pluvo_test::table_row;
using pluvo_test::write_file;

// A 2 x 3 watershed whose cells carry land use 1 or 2 and soil texture 1 or 2.
void write_project(const std::string& soil_map_file) {
  const std::string head = "north: 30\nsouth: 10\neast: 30\nwest: 0\nrows: 2\ncols: 3\n";
  write_file("w.msk", head + "1 1 1\n1 1 1\n");
  write_file("w.ele", head + "12 11 10\n12 11 10.5\n");
  write_file("land.idx", head + "1 2 2\n1 1 2\n");
  write_file("soil.idx", head + "2 2 1\n1 1 1\n");
  write_file("w.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP land.idx Land use\nINDEX_MAP " + soil_map_file +
                          " Soils\nROUGHNESS Land use\nNUM_IDS 2\nid\n" + table_row(1, "0.1") + table_row(2, "0.4") +
                          "RETENTION Land use\nNUM_IDS 2\nid\n" + table_row(1, "2") + table_row(2, "5") +
                          "GREEN_AMPT_INFILTRATION Soils\nNUM_IDS 2\nid\n" +
                          table_row(1, "3.6 25 0.45 0.2 0.02 0.3 0.1") + table_row(2, "0.36 10 0.5 0.25 0.03 0.35 0.15") +
                          "GREEN_AMPT_INITIAL_SOIL_MOISTURE Soils\nNUM_IDS 2\nid\n" + table_row(1, "0.2") +
                          table_row(2, "0.3") + "TIME_SERIES_INDEX\nNUM_IDS 1\nid name\n     1 inflow\n");
  write_file("w.prj", "PLUVOPROJECT\nWATERSHED_MASK w.msk\nELEVATION w.ele\nGRIDSIZE 10\nROWS 2\nCOLS 3\nOUTROW 1\n"
                      "OUTCOL 3\nOUTSLOPE 0.01\nTIMESTEP 10\nTOT_TIME 1\nPRECIP_UNIF\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\nOVERTYPE 1\nRAIN_INTENSITY 10\n"
                      "RAIN_DURATION 30\nHYD_FREQ 1\nMAP_FREQ 60\nSUMMARY w.sum\nOUTLET_HYDRO w.hyd\n"
                      "MAPPING_TABLE w.cmt\nRETEN_DEPTH\nGREEN_AMPT\n");
}

struct cells_seen {
  std::vector<double> rough, retention, ks, hc, porosity, moisture, surface;
};

TEST(MappingTableRun, PropertiesReachEveryCellInSIUnits) {
  pluvo_test::scratch_dir dir;
  pluvo::error_state = pluvo::error_state_record();
  write_project("soil.idx");
  cells_seen seen;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (std::string(phase) != "build_cell_connectivity") return;
    seen = {m.dist_rough, m.retent_dep, m.ks_cell, m.hc_cell, m.porosity_cell, m.initial_moisture_cell,
            m.surface_moisture};
  });
  const std::string out = pluvo::printed_by([] { pluvo::run_pluvo("w.prj", nullptr, "w.prj"); });
  pluvo::set_phase_observer(nullptr);
  EXPECT_NE(out.find("\nChecking 2D grid mapping tables...\n  Roughness..........................Y\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  G&A Infiltration...................Y\n  G&A Soil Moisture..................Y\n"),
            std::string::npos);
  EXPECT_NE(out.find("Running....\n"), std::string::npos) << out;
  EXPECT_EQ(seen.rough, (std::vector<double>{0.0, 0.1, 0.4, 0.4, 0.1, 0.1, 0.4}));
  EXPECT_EQ(seen.retention, (std::vector<double>{0.0, 0.002, 0.005, 0.005, 0.002, 0.002, 0.005}));
  const double ks1 = 3.6 / 360000.0, ks2 = 0.36 / 360000.0;  // cm/h to m/s: 1e-5 and 1e-6
  EXPECT_EQ(seen.ks, (std::vector<double>{0.0, ks2, ks2, ks1, ks1, ks1, ks1}));
  EXPECT_DOUBLE_EQ(seen.ks[3], 1.0e-5);
  EXPECT_DOUBLE_EQ(seen.hc[3], 0.25);
  EXPECT_DOUBLE_EQ(seen.hc[1], 0.10);
  EXPECT_EQ(seen.porosity, (std::vector<double>{0.0, 0.5, 0.5, 0.45, 0.45, 0.45, 0.45}));
  EXPECT_EQ(seen.moisture, (std::vector<double>{0.0, 0.3, 0.3, 0.2, 0.2, 0.2, 0.2}));
  EXPECT_EQ(seen.surface, seen.moisture);  // the surface layer starts at the initial moisture
}

TEST(MappingTableRun, TimeSeriesIndexIsLoadedOnceInEachRun) {
  pluvo_test::scratch_dir dir;
  pluvo::error_state = pluvo::error_state_record();
  write_project("soil.idx");
  for (int run = 1; run <= 2; ++run) {
    size_t entries = 0;
    pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state&) {
      if (std::string(phase) == "build_cell_connectivity") entries = pluvo::time_series_index_list.size();
    });
    const std::string out = pluvo::printed_by([] { pluvo::run_pluvo("w.prj", nullptr, "w.prj"); });
    pluvo::set_phase_observer(nullptr);
    const std::string line = "Adding table to list: inflow... Failure, table not found.\n";
    const size_t first = out.find(line);
    EXPECT_NE(first, std::string::npos) << run;
    EXPECT_EQ(out.find(line, first + 1), std::string::npos) << run;  // five tables read, one loading
    EXPECT_EQ(entries, 1u) << run;
    EXPECT_TRUE(pluvo::time_series_index_list.empty()) << run;  // released with the run
  }
}

TEST(MappingTableRun, AMissingIndexMapStopsTheRun) {
  pluvo_test::scratch_dir dir;
  pluvo::error_state = pluvo::error_state_record();
  write_project("gone.idx");
  pluvo::run_stopped_on_error = false;
  const std::string out = pluvo::printed_by([] { pluvo::run_pluvo("w.prj", nullptr, "w.prj"); });
  EXPECT_NE(out.find("  G&A Infiltration...................N\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\nUnable to open index file gone.idx\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("Running...."), std::string::npos) << out;
  EXPECT_TRUE(pluvo::run_stopped_on_error);
}

}  // namespace
