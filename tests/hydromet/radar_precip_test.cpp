// Radar rainfall grids: the radar cell under each model cell, the rates of a grid file and what
// a rejected file leaves; and a whole radar event run through the project reader.
#include <gtest/gtest.h>

#include <string>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "hydromet/precip_fixture.hpp"
#include "hydromet/radar_precip.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/whole_project.hpp"

namespace {

using precip_test::file_in;
using precip_test::make_grid;

std::string radar_file(int cols, int rows, double x0, double y0, double size, const std::string& values) {
  char head[400];
  std::snprintf(head, sizeof head,
                "ncols %d\nnrows %d\nxllcorner %g\nyllcorner %g\ncellsize %g\nNODATA_value -9999\n",
                cols, rows, x0, y0, size);
  return head + values;
}

// The 2 x 3 model grid of 10 m cells: north edge 20, west edge 0.
struct radar_case {
  const char* what;
  int cols, rows;
  double x0, y0, size;
  int expected[7];  // radar cell of cells 1..6 (entry 0 unused); -1: the mapping stops (102)
};

TEST(RadarGrid, EveryCellTakesTheRadarCellUnderItsCentre) {
  const radar_case cases[] = {
      {"exact cover", 3, 2, 0, 0, 10, {0, 0, 1, 2, 3, 4, 5}},
      {"coarse radar cells", 2, 1, 0, 0, 20, {0, 0, 0, 1, 0, 0, 1}},
      // North edge at 12: the first model row's centres (y 15) lie north of it: radar row 0.
      {"grid south of the first row", 3, 2, 0, -8, 10, {0, 0, 1, 2, 0, 1, 2}},
      // West edge at 7: the first column's centres (x 5) lie west of it: radar column 0.
      {"grid east of the first column", 3, 2, 7, 0, 10, {0, 0, 0, 1, 3, 3, 4}},
      // The second row's centres (y 5) lie south of the grid's south edge at 8.
      {"grid north of the last row", 3, 1, 0, 8, 10, {-1}},
  };
  for (const radar_case& c : cases) {
    pluvo::scratch_dir dir;
    precip_test::clear_errors();
    auto m = make_grid(2, 3, 10.0);
    const std::string path =
        file_in(dir, "r.asc", radar_file(c.cols, c.rows, c.x0, c.y0, c.size, std::string(size_t(c.cols * c.rows), '1')));
    const std::string out = pluvo::printed_by([&] { pluvo::map_cells_to_radar_grid(*m, path.c_str()); });
    if (c.expected[0] == -1) {
      EXPECT_EQ(out, "Error!! p_I=1, p_J=0\n") << c.what;
      EXPECT_EQ(pluvo::error_state.error_code, 102) << c.what;
      EXPECT_EQ(pluvo::error_state.error_terminate, 1) << c.what;
      EXPECT_EQ(pluvo::error_message_text(pluvo::error_state), "Error in creating radar mapping to grid.\n");
      continue;
    }
    EXPECT_EQ(out, "") << c.what;
    EXPECT_EQ(pluvo::error_state.error_code, 0) << c.what;
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(m->pluvo_to_precip[size_t(k)], c.expected[k]) << c.what << " cell " << k;
  }
  precip_test::clear_errors();
}

TEST(RadarGrid, AMissingHeaderBuildsNoIndex) {
  pluvo::scratch_dir dir;
  auto m = make_grid(2, 3, 10.0);
  const std::string path = dir.path("none.asc");
  const std::string out = pluvo::printed_by([&] { pluvo::map_cells_to_radar_grid(*m, path.c_str()); });
  EXPECT_EQ(out, "Error getting new filename from " + path + "\n" +
                     "Error: unable to read radar header in file " + path + "\n");
  EXPECT_TRUE(m->pluvo_to_precip.empty());
  EXPECT_EQ(pluvo::error_state.error_code, 0);
}

// Reads a 3 x 2 grid of the given values after mapping the grid of the first file.
struct rates_read {
  std::string out;
  int result = 0;
  std::vector<double> rates;  // cells 1..6
};

rates_read read_rates(const std::string& values, int radar_mm, const std::string& second = "") {
  pluvo::scratch_dir dir;
  auto m = make_grid(2, 3, 10.0);
  m->radar_mm = radar_mm;
  const std::string first = file_in(dir, "a.asc", radar_file(3, 2, 0, 0, 10, values));
  rates_read r;
  pluvo::printed_by([&] { pluvo::map_cells_to_radar_grid(*m, first.c_str()); });
  r.out = pluvo::printed_by([&] {
    r.result = pluvo::read_radar_precip_file(*m, first.c_str());
    if (!second.empty()) {
      const std::string next = file_in(dir, "b.asc", second);
      r.result = pluvo::read_radar_precip_file(*m, next.c_str());
    }
    pluvo::apply_radar_precip(*m);
  });
  r.rates.assign(m->cell_rain_rate.begin() + 1, m->cell_rain_rate.end());
  return r;
}

TEST(RadarRates, InchesBecomeMillimetresCappedAtOneHundred) {
  const rates_read r = read_rates("0.5 4 -9999\n-3 0 1\n", 0);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.rates, (std::vector<double>{12.7, 100.0, 0.0, 0.0, 0.0, 25.4}));
  EXPECT_EQ(r.out,
            "Warning: really big precip value (101.600000) in cell (0,1) from radar rainfall.\n"
            " resetting value to 100.0\n"
            "Peak rainfall rate read: 100.000000 mm/hr\n"
            "Peak rainfall applied to watershed: 100.000000 mm/hr\n");
}

TEST(RadarRates, WithRadarMmTheValuesAreRates) {
  const rates_read r = read_rates("0.5 4\n -9999 -3\n0 1\n", 1);  // line breaks are free
  EXPECT_EQ(r.rates, (std::vector<double>{0.5, 4.0, 0.0, 0.0, 0.0, 1.0}));
  EXPECT_EQ(r.out, "Peak rainfall rate read: 4.000000 mm/hr\nPeak rainfall applied to watershed: 4.000000 mm/hr\n");
}

TEST(RadarRates, ARejectedFileLeavesThePreviousRatesWhole) {
  const std::vector<double> first{1, 2, 3, 4, 5, 6};
  const struct {
    const char* what;
    std::string second;
    std::string warning;
  } cases[] = {
      {"other dimensions", radar_file(2, 3, 0, 0, 10, "9 9 9 9 9 9\n"),
       "does not have the dimensions of the event's first radar file"},
      {"short of values", radar_file(3, 2, 0, 0, 10, "9 9 9 9\n"), "holds too few values"},
      {"missing", "", "cannot be opened"},
  };
  for (const auto& c : cases) {
    pluvo::scratch_dir dir;
    auto m = make_grid(2, 3, 10.0);
    m->radar_mm = 1;
    const std::string a = file_in(dir, "a.asc", radar_file(3, 2, 0, 0, 10, "1 2 3 4 5 6\n"));
    const std::string b = c.second.empty() ? dir.path("b.asc") : file_in(dir, "b.asc", c.second);
    pluvo::printed_by([&] {
      pluvo::map_cells_to_radar_grid(*m, a.c_str());
      pluvo::read_radar_precip_file(*m, a.c_str());
    });
    int result = 0;
    const std::string out = pluvo::printed_by([&] {
      result = pluvo::read_radar_precip_file(*m, b.c_str());
      pluvo::apply_radar_precip(*m);
    });
    EXPECT_EQ(result, -1) << c.what;
    EXPECT_NE(out.find("Warning: radar rainfall file " + b + " " + c.warning +
                       "; the previous radar rates stay.\n"),
              std::string::npos)
        << c.what << "\n" << out;
    EXPECT_EQ(std::vector<double>(m->cell_rain_rate.begin() + 1, m->cell_rain_rate.end()), first) << c.what;
  }
}

TEST(RadarGrid, NewDimensionsStartDry) {
  pluvo::scratch_dir dir;
  auto m = make_grid(2, 3, 10.0);
  const std::string small = file_in(dir, "s.asc", radar_file(3, 2, 0, 0, 10, "1 1 1 1 1 1\n"));
  const std::string big = file_in(dir, "b.asc", radar_file(4, 3, 0, -10, 10, ""));
  pluvo::printed_by([&] {
    pluvo::map_cells_to_radar_grid(*m, small.c_str());
    pluvo::read_radar_precip_file(*m, small.c_str());
    pluvo::map_cells_to_radar_grid(*m, big.c_str());
  });
  ASSERT_EQ(m->precip_data.size(), 12u);
  for (double v : m->precip_data) EXPECT_EQ(v, 0.0);
}

// A whole radar event through the project file: each grid holds the rain of the ten minutes that
// end at its record, so the first record's grid (its header maps the cells) does not fall.
TEST(RadarRun, AProjectRainsFromItsRadarGrids) {
  pluvo_test::scratch_dir dir;
  // The strip grid: 2 x 3 cells of 10 m, north edge 30, west edge 0.
  const auto grid = [](const char* values) {
    return std::string("ncols 3\nnrows 2\nxllcorner 0\nyllcorner 10\ncellsize 10\nNODATA_value -9999\n") + values;
  };
  pluvo_test::write_file("r1.asc", grid("3 3 3\n3 3 3\n"));
  pluvo_test::write_file("r2.asc", grid("0.1 0.2 0.3\n0.4 -9999 1\n"));
  pluvo_test::write_file("r3.asc", grid("0.5 0.5 0.5\n0.5 0.5 0.5\n"));
  pluvo_test::write_file("storm.gag", "EVENT radar\nNRGAG FILES\nNRPDS 3\nRADAR 2020 6 1 10 0 r1.asc\n"
                                      "RADAR 2020 6 1 10 10 r2.asc\nRADAR 2020 6 1 10 20 r3.asc\n");
  std::string cards = pluvo_test::strip_cards();
  cards.replace(cards.find("PRECIP_UNIF\n"), 12, "PRECIP_FILE storm.gag\n");
  for (const char* uniform : {"RAIN_INTENSITY 36\n", "RAIN_DURATION 10\n"})
    cards.erase(cards.find(uniform), std::string(uniform).size());
  pluvo_test::write_strip_grid();
  pluvo_test::write_file("r.prj", "PLUVOPROJECT\n" + cards);
  double rain_volume = -1.0;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (std::string(phase) == "write_run_summary") rain_volume = m.rain_volume_total;
  });
  pluvo::error_state = pluvo::error_state_record();
  pluvo::run_stopped_on_error = false;
  int result = -1;
  const std::string out = pluvo::printed_by([&] { result = pluvo::run_pluvo("r.prj", nullptr, "r.prj"); });
  pluvo::set_phase_observer(nullptr);
  EXPECT_EQ(result, 0) << out;
  EXPECT_FALSE(pluvo::run_stopped_on_error) << out;
  // Ten minutes of 2.54 + 5.08 + 7.62 + 10.16 + 0 + 25.4 mm/h, then ten of 6 x 12.7 mm/h.
  const double expected = (50.8 + 76.2) / 6.0 / 1000.0 * 100.0;
  EXPECT_NEAR(rain_volume, expected, 1e-10) << out;
  EXPECT_NE(out.find("Reading radar precip file r2.asc.\nPeak rainfall rate read: 25.400000 mm/hr\n"
                     "Peak rainfall applied to watershed: 25.400000 mm/hr\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Reading radar precip file r3.asc.\nPeak rainfall rate read: 12.700000 mm/hr\n"),
            std::string::npos);
  EXPECT_EQ(out.find("r1.asc."), std::string::npos);
  pluvo::run_stopped_on_error = false;
  pluvo::error_state = pluvo::error_state_record();
}

}  // namespace
