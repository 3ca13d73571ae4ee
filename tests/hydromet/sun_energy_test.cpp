// Solar geometry, terrain shading, elevation bands and the cell energy balance: physical truths
// on small grids, the band set-up through the real project reader, and the same shading table on
// any thread count.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "hydromet/hydromet_phases.hpp"
#include "hydromet/solar_energy.hpp"
#include "hydromet/sun_and_bands.hpp"
#include "input/input_phases.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo::model_state;
using pluvo::printed_by;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

// ---- solar geometry

TEST(SolarGeometry, HourAngleAndDayOfYear) {
  struct hour_case {
    double hour;
    double angle;
    const char* printed;
  };
  const hour_case hours[] = {{12.005, 0.0, ""},
                             {13.0, 0.26179938750000004, ""},
                             {25.0, 0.0, "We have an Issue with the Hour Angle, Please Fix!!!!     "},
                             {-1.0, 0.0, "We have an Issue with the Hour Angle, Please Fix!!!!     "}};
  for (const auto& c : hours) {
    double got = -1.0;
    EXPECT_EQ(printed_by([&] { got = pluvo::check_hour_angle(c.hour); }), c.printed) << c.hour;
    EXPECT_NEAR(got, c.angle, 1e-10) << c.hour;
  }
  EXPECT_EQ(pluvo::check_hour_angle(12.005), 0.0);
  EXPECT_EQ(pluvo::check_julian_day(2004, 3, 1), 60);  // no leap day
  EXPECT_EQ(pluvo::check_julian_day(2004, 0, 17), 17);
  int day = -1;
  EXPECT_EQ(printed_by([&] { day = pluvo::check_julian_day(2004, 13, 1); }),
            "We have an Issue with the Julian Day, Please Fix!!!!     ");
  EXPECT_EQ(day, 0);
}

TEST(SolarGeometry, AspectOfEveryQuadrant) {
  const double q = 1.5714285714285714, a = std::atan(0.5);
  struct aspect_case {
    double sx, sy, aspect;
  };
  const aspect_case cases[] = {{0.0, 0.0, q},       {-2.0, 0.0, q},      {2.0, 0.0, -q},
                               {0.0, 1.0, 6.285714285714286}, {0.0, -1.0, 0.0},
                               {2.0, 1.0, -q - a},  {2.0, -1.0, a - q},  {-2.0, -1.0, q - a},
                               {-2.0, 1.0, a + q},  {1e-16, 1.0, 0.0},   {1e-16, 0.0, 0.0}};
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(pluvo::aspect_from_gradient(c.sx, c.sy), c.aspect) << c.sx << " " << c.sy;
}

TEST(SolarGeometry, MorningSunEastAfternoonSunWestOfTheMeridian) {
  const double pi = 3.14159265;
  // Latitude 40 N in June: the sun rises north of east and sets north of west.
  const double decl = pluvo::solar_declination_of_day(pluvo::check_julian_day(2020, 6, 21));
  const auto azimuth = [&](double omega) { return pluvo::compute_solar_azimuth(2020, 6, 21, 0, 40.0, 173, omega, decl); };
  EXPECT_DOUBLE_EQ(azimuth(0.0), pi);  // due south at noon
  const struct {
    double omega, low, high;  // the quadrant, clockwise from north
  } cases[] = {{-0.5, pi / 2, pi}, {0.5, pi, 1.5 * pi}, {-1.8, 0.0, pi / 2}, {1.8, 1.5 * pi, 2 * pi}};
  for (const auto& c : cases) {
    EXPECT_GT(azimuth(c.omega), c.low) << c.omega;
    EXPECT_LT(azimuth(c.omega), c.high) << c.omega;
    EXPECT_NEAR(azimuth(c.omega) + azimuth(-c.omega), 2 * pi, 1e-9) << "mirror about the meridian " << c.omega;
  }
}

TEST(SolarGeometry, FlatCellSeesTheZenithCosineAndNothingAtNight) {
  std::vector<double> out(3, -1.0);
  const double decl = 0.3, lat = 0.7;
  for (double omega : {-1.0, -0.3, 0.0, 0.4, 1.2}) {
    pluvo::solar_incidence_on_slope(1, out, 0.0, 0.0, decl, omega, lat);
    const double zenith_cos = std::cos(lat) * std::cos(decl) * std::cos(omega) + std::sin(lat) * std::sin(decl);
    EXPECT_NEAR(out[1], zenith_cos, 1e-12) << omega;
  }
  pluvo::solar_incidence_on_slope(2, out, 0.0, 0.0, decl, 3.0, lat);  // the sun below the horizon
  EXPECT_EQ(out[2], 0.0);
}

TEST(SolarGeometry, EquinoxRadiationAtTheEquator) {
  std::vector<double> scratch(4, 0.0);
  const int day = pluvo::check_julian_day(2020, 3, 21);
  const double r = 1.0 + 0.017 * std::cos((186 - day) * 0.01722113502935421);
  const double got = pluvo::extraterrestrial_radiation(2, 2020, 3, 21, 5.0, 0.0, scratch, 0.0);
  EXPECT_NEAR(got, 0.75 * 1366.0 / (r * r), 0.001 * got);
  EXPECT_GT(scratch[3], 0.999);  // the noon zenith cosine, kept in entry n + 1
}

// ---- terrain shading

// A rows x cols grid of 10 m cells, every cell in the watershed, elevations from height(r, c).
struct shade_grid {
  int rows, cols;
  pluvo::grid<int32_t> cells;
  std::vector<double> elevation;
  std::vector<std::array<uint8_t, 24>> shade;
  shade_grid(int r, int c, const std::function<double(int, int)>& height)
      : rows(r), cols(c), cells(r, c, 0), elevation(size_t(r * c) + 1, 0.0), shade(size_t(r * c) + 1) {
    int k = 0;
    for (int i = 1; i <= r; i++)
      for (int j = 1; j <= c; j++) {
        cells(i, j) = ++k;
        elevation[size_t(k)] = height(i, j);
      }
  }
  int shaded(int hour, double zenith, double azimuth, int r, int c) {
    pluvo::Calculate_Shaded_Raster(shade, cells, elevation, cols, rows, rows * cols, 10.0, zenith, azimuth, hour);
    return shade[size_t(cells(r, c))][size_t(hour)];
  }
};

TEST(TerrainShading, WallShadesItsNeighbourOnlyWhenHigherThanTheDistance) {
  const double zenith45 = 0.7853981625, east = 1.570796327;
  for (const auto& [wall, expected] : {std::pair{10.5, 1}, std::pair{9.5, 0}}) {
    shade_grid g(5, 6, [&](int i, int j) { return i == 3 && j == 4 ? wall : 0.0; });
    EXPECT_EQ(g.shaded(9, zenith45, east, 3, 3), expected) << wall;
    EXPECT_EQ(g.shaded(9, zenith45, east, 2, 3), 0) << "another row: the east ray keeps to its row";
  }
  const pluvo::ray_step s = pluvo::ray_step_direction(east);
  EXPECT_EQ(s.row, 0.0);
  EXPECT_EQ(s.col, 1.0);
}

TEST(TerrainShading, SecondRowWithTheSunDueNorthIsLit) {
  shade_grid g(5, 5, [](int i, int) { return i == 1 ? 1000.0 : 0.0; });
  EXPECT_EQ(g.shaded(12, 1.2, 0.0, 2, 3), 0);
  EXPECT_EQ(g.shaded(12, 1.2, 0.0, 2, 3), 0);
  // Further south the same cliff does shade.
  shade_grid h(6, 5, [](int i, int) { return i == 2 ? 1000.0 : 0.0; });
  EXPECT_EQ(h.shaded(12, 1.2, 0.0, 3, 3), 1);
}

TEST(TerrainShading, BadAzimuthPrintsItsTwoLines) {
  std::string out = printed_by([] { EXPECT_FALSE(pluvo::ray_step_direction(7.0).valid); });
  EXPECT_EQ(out,
            "\n\n\n\nERROR IN FINDING THE NEXT CELL, THE ANGLE IS RIDONKULOUS!!!!!!!!!!!!!!! \n\n"
            "Please Fix and Start Over!!!   ");
}

// A hilly synthetic terrain large enough for the thread team.
std::unique_ptr<model_state> hilly_record(int rows, int cols) {
  auto owned = std::make_unique<model_state>();
  model_state& m = *owned;
  m.grid_rows = rows;
  m.grid_cols = cols;
  m.cell_size = 30.0;
  m.cell_number_grid.resize(rows, cols, 0);
  m.elevation.assign(size_t(rows * cols) + 1, 0.0);
  int k = 0;
  for (int i = 1; i <= rows; i++)
    for (int j = 1; j <= cols; j++) {
      m.cell_number_grid(i, j) = ++k;
      m.elevation[size_t(k)] = 600.0 + 400.0 * std::sin(i * 0.13) * std::cos(j * 0.09) + 0.5 * i;
    }
  m.cell_count = k;
  return owned;
}

TEST(TerrainShading, FlatGridLitByDayShadedByNight) {
  auto owned = hilly_record(6, 7);
  model_state& m = *owned;
  for (size_t k = 1; k < m.elevation.size(); k++) m.elevation[k] = 100.0;
  const int day = pluvo::check_julian_day(2020, 6, 21);
  const double decl = pluvo::solar_declination_of_day(day), phi = 40.0 * 3.14159265 / 180.0;
  pluvo::compute_daily_shading(m, 2020, 6, 21, 40.0, day, decl);
  for (int h = 0; h < 24; h++) {
    const double omega = h == 12 ? 0.0 : (h - 12) * 0.26179938750000004;
    const double zenith = std::acos(std::cos(phi) * std::cos(decl) * std::cos(omega) + std::sin(phi) * std::sin(decl));
    const int expected = zenith > 1.570796325 ? 1 : 0;
    for (int c = 1; c <= m.cell_count; c++) ASSERT_EQ(m.shade_by_hour[size_t(c)][size_t(h)], expected) << h << " " << c;
  }
}

TEST(TerrainShading, AWallWestShadesTheAfternoonAndAWallEastTheMorning) {
  const int day = pluvo::check_julian_day(2020, 6, 21);
  const double decl = pluvo::solar_declination_of_day(day);
  for (const auto& [wall_col, shaded_hour, lit_hour] : {std::tuple{3, 16, 8}, std::tuple{7, 8, 16}}) {
    auto owned = hilly_record(5, 9);
    model_state& m = *owned;
    for (int i = 1; i <= 5; i++)
      for (int j = 1; j <= 9; j++) m.elevation[size_t(m.cell_number_grid(i, j))] = j == wall_col ? 1000.0 : 0.0;
    pluvo::compute_daily_shading(m, 2020, 6, 21, 40.0, day, decl);
    const size_t cell = size_t(m.cell_number_grid(3, 5));
    EXPECT_EQ(m.shade_by_hour[cell][size_t(shaded_hour)], 1) << "wall in column " << wall_col;
    EXPECT_EQ(m.shade_by_hour[cell][size_t(lit_hour)], 0) << "wall in column " << wall_col;
    EXPECT_EQ(m.shade_by_hour[cell][12], 0);
  }
}

TEST(TerrainShading, SameTableOnOneAndEightThreads) {
  const int day = pluvo::check_julian_day(2020, 12, 1);
  const double decl = pluvo::solar_declination_of_day(day);
  std::vector<std::array<uint8_t, 24>> tables[2];
  const int threads = pluvo::thread_count;
  int t = 0;
  for (int n : {1, 8}) {
    pluvo::set_thread_count(n);
    auto owned = hilly_record(80, 70);
    model_state& m = *owned;
    pluvo::compute_daily_shading(m, 2020, 12, 1, 45.0, day, decl);
    tables[t++] = m.shade_by_hour;
  }
  pluvo::set_thread_count(threads);
  EXPECT_EQ(tables[0], tables[1]);
  int lit = 0, shaded_by_day = 0;
  for (size_t c = 1; c < tables[0].size(); c++) {
    lit += tables[0][c][12] == 0;
    shaded_by_day += tables[0][c][12] == 1;
  }
  EXPECT_GT(lit, 0);
  EXPECT_GT(shaded_by_day, 0);  // the hills cast shadows at a low winter noon sun
}

// ---- bands and the energy balance

TEST(ElevationBands, UnsaturatedRowsLapseDryAndFollowTheHypsometricLaw) {
  std::array<double, 6> bands[8] = {};
  for (int r = 0; r < 8; r++) bands[r][0] = 200.0 + 100.0 * r;
  const double t0 = 15.0, p0 = 950.0;
  EXPECT_EQ(printed_by([&] { pluvo::elevation_band_lapse_rates(900, 200, 100.0, 500.0, 3, 8, t0, p0, 0.3, bands); }), "");
  const double dry = 9.81 / 1005.0;
  for (int r = 0; r < 8; r++) {
    EXPECT_NEAR(bands[r][1], t0 - dry * (bands[r][0] - 500.0), 1e-9) << r;
    const double p = p0 * std::pow((bands[r][1] + 273.15) / (t0 + 273.15), 9.81 / (dry * 287.04));
    EXPECT_NEAR(bands[r][2], p, 1e-9 * p) << r;
    EXPECT_NEAR(bands[r][5], 0.009761194029850746, 1e-15) << r;
  }
  EXPECT_NEAR(bands[3][3], 0.3 * 6.112 * std::exp(17.67 * t0 / (t0 + 243.5)), 1e-9);
}

// A long-term project of 10 m cells read by the real reader up to its grids, with the slopes
// and the station and band set-up run as the driver runs them; look sees the record.
pluvo_test::set_up_result long_term_project(int rows, int cols, const std::string& elevations,
                                            const std::string& cards,
                                            const std::function<void(model_state&)>& look) {
  char header[160];
  std::snprintf(header, sizeof header, "north: %d\nsouth: 0\neast: %d\nwest: 0\nrows: %d\ncols: %d\n",
                rows * 10, cols * 10, rows, cols);
  std::string mask = header;
  for (int i = 0; i < rows; i++) {
    for (int j = 0; j < cols; j++) mask += "1 ";
    mask += "\n";
  }
  write_file("w.msk", mask);
  write_file("w.ele", header + elevations);
  write_file("w.kal", "2020 6 1 10 29.92 50 30 5 60 0 0\n");
  write_file("w.prj", "PLUVOPROJECT\nWATERSHED_MASK w.msk\nELEVATION w.ele\nGRIDSIZE 10\nROWS " +
                          std::to_string(rows) + "\nCOLS " + std::to_string(cols) +
                          "\nOUTROW 1\nOUTCOL 1\nOUTSLOPE 0.01\nTIMESTEP 10\nTOT_TIME 30\n"
                          "OVERTYPE 1\nMANNING_N 0.03\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\n"
                          "SUMMARY w.sum\nOUTLET_HYDRO w.hyd\nLONG_TERM\nLATITUDE 45\nLONGITUDE -100\nGMT -6\nHYD_FREQ 60\nMAP_FREQ 360\nHMET_KAL w.kal\n" + cards);
  auto r = pluvo_test::set_up_past_refusal("w.prj", [&](model_state& m) {
    pluvo::build_cell_connectivity(m);
    pluvo::compute_centered_slopes(m);
    pluvo::init_hmet_stations_and_bands(m);
    look(m);
  });
  // The checks inside look print into the captured output.
  EXPECT_EQ(r.out.find("Failure"), std::string::npos) << r.out;
  return r;
}

TEST(ElevationBands, CellAtTheStationElevationTakesTheStationValues) {
  scratch_dir dir;
  bool looked = false;
  const auto r = long_term_project(2, 3, "500 550 600\n650 700 640\n",
                                   "OROGVAR_HMET\nHMET_ELEV_GAGE 600\nHMET_XCOORD_GAGE 5000\nHMET_YCOORD_GAGE 5000\n",
                                   [&](model_state& m) {
    looked = true;
    ASSERT_EQ(m.LR_Num.size(), 7u);
    m.hmet_rh = 50.0;
    m.hmet_cloud_cover = 3.0;
    m.hmet_wind_speed = 2.5;
    pluvo::compute_cell_energy_balance(1, m, 2020, 6, 2, 10, 10.0, 1000.0);
    EXPECT_NEAR(m.temper_gridded[3], 10.0, 1e-9);
    EXPECT_NEAR(m.pres_gridded[3], 1000.0, 1e-9);
    EXPECT_NEAR(m.rh_gridded[3], 50.0, 1e-9);
    EXPECT_EQ(m.cloud_cover_gridded[3], 3.0);
    EXPECT_EQ(m.vel_gridded[3], 2.5);
    // Temperature falls with elevation everywhere.
    for (int a = 1; a <= 6; a++)
      for (int b = 1; b <= 6; b++)
        if (m.elevation[size_t(a)] < m.elevation[size_t(b)]) {
          EXPECT_GT(m.temper_gridded[size_t(a)], m.temper_gridded[size_t(b)]);
        }
  });
  EXPECT_TRUE(looked) << r.out;
  EXPECT_FALSE(r.stopped) << r.out;
}

TEST(ElevationBands, StationFarBelowTheBasinStaysInTheTable) {
  // The station at 0 m over cells of 500 to 700 m: its level is -3. Without orographic variation
  // the station keeps 0 m whatever HMET_ELEV_GAGE says.
  for (const char* cards : {"", "HMET_ELEV_GAGE 600\n"}) {
    SCOPED_TRACE(cards);
    scratch_dir dir;
    bool looked = false;
    const auto r = long_term_project(2, 3, "500 560 620\n680 700 640\n", cards, [&](model_state& m) {
      looked = true;
      const int last = m.elev_scale_count;
      for (int c = 1; c <= m.cell_count; c++) {
        EXPECT_GE(m.LR_Num[size_t(c)], 1) << c;
        EXPECT_LE(m.LR_Num[size_t(c)], last) << c;
      }
      EXPECT_EQ(m.El_T_P_e_es_LR[0][0], 0.0);
      m.hmet_rh = 40.0;
      pluvo::compute_cell_energy_balance(1, m, 2020, 6, 2, 10, 20.0, 1010.0);
      // Cells above the table's last row are extrapolated from the end pair.
      const double dry = 0.009761194029850746;
      for (int c = 1; c <= m.cell_count; c++) {
        EXPECT_NEAR(m.temper_gridded[size_t(c)], 20.0 - dry * m.elevation[size_t(c)], 1e-9) << c;
        EXPECT_TRUE(std::isfinite(m.R_long[size_t(c)]));
      }
    });
    EXPECT_TRUE(looked) << r.out;
    EXPECT_NE(r.out.find("\nError in Assigning Elevation Bands!!!!"), std::string::npos);
  }
}

TEST(ElevationBands, CellWithinOneCellSizeTakesThatStationAlone) {
  scratch_dir dir;
  const auto r = long_term_project(2, 3, "500 550 600\n650 700 640\n", "OROGVAR_HMET\nHMET_ELEV_GAGE 500\n", [&](model_state& m) {
    // A second station with warmer bands: near the cell it alone counts, far away it is weighed.
    m.hmet_station_count = 2;
    pluvo::init_hmet_stations_and_bands(m);
    const size_t rows = size_t(m.elev_scale_count) + 1;
    pluvo::elevation_band_lapse_rates(0, 0, 100.0, 500.0, 2, int(rows), 10.0, 1000.0, 0.5, &m.El_T_P_e_es_LR[0]);
    pluvo::elevation_band_lapse_rates(0, 0, 100.0, 500.0, 2, int(rows), 20.0, 1000.0, 0.5, &m.El_T_P_e_es_LR[rows]);
    const int c = 2, b = m.LR_Num[2];
    pluvo::cell_weather w;
    m.Dist_Cell2Gage[size_t(c) * 2 + 0] = 3000.0;
    m.Dist_Cell2Gage[size_t(c) * 2 + 1] = 9.0;  // within the 10 m cell size
    EXPECT_TRUE(pluvo::assign_cell_elevation_band(m, c, b, w));
    EXPECT_NEAR(w.temperature, 20.0 - 0.009761194029850746 * 50.0, 1e-9);
    m.Dist_Cell2Gage[size_t(c) * 2 + 1] = 1000.0;  // weights 1/9 and 1
    pluvo::assign_cell_elevation_band(m, c, b, w);
    const double t1 = 10.0 - 0.009761194029850746 * 50.0, t2 = t1 + 10.0;
    EXPECT_NEAR(w.temperature, (t1 / 9.0 + t2) / (1.0 / 9.0 + 1.0), 1e-9);
  });
  EXPECT_FALSE(r.stopped) << r.out;
}

TEST(EnergyBalance, SnowAlbedoResetsAgesAndStaysInRange) {
  scratch_dir dir;
  const auto r = long_term_project(2, 3, "500 550 600\n650 700 640\n", "", [&](model_state& m) {
    m.dalr_on = 1;
    m.dalr_value = 0.0;
    m.hmet_rh = 50.0;
    for (int c = 1; c <= m.cell_count; c++) {
      m.snow_swe[size_t(c)] = 0.1;
      m.albedo_cell[size_t(c)] = 0.2;
    }
    m.Snow_Accumulated_Hr[1] = 1.0;
    const auto day = [&](int d, double t) {
      for (int h = 0; h < 24; h++) pluvo::compute_cell_energy_balance(1, m, 2020, 2, d, h, t, 1000.0);
    };
    day(2, 5.0);
    EXPECT_EQ(m.albedo_w_snow[1], 0.83);
    EXPECT_EQ(m.Snow_Accumulated_Hr[1], 0.0);
    EXPECT_EQ(m.Hours_Since_Snow[1], 23);
    pluvo::compute_cell_energy_balance(1, m, 2020, 2, 3, 0, 5.0, 1000.0);  // a warm day, no melt
    EXPECT_NEAR(m.albedo_w_snow[1], 0.83 - 0.17, 1e-12);
    for (int d = 3; d < 9; d++) day(d, 5.0);
    EXPECT_NEAR(m.albedo_w_snow[1], 0.38, 1e-12);
    m.Snow_Accumulated_Hr[1] = 1.0;
    day(9, -5.0);
    pluvo::compute_cell_energy_balance(1, m, 2020, 2, 10, 0, -5.0, 1000.0);  // cold: -0.013
    EXPECT_NEAR(m.albedo_w_snow[1], 0.83 - 0.013, 1e-12);
    m.snow_swe[2] = 0.0;
    pluvo::compute_cell_energy_balance(1, m, 2020, 2, 11, 0, -5.0, 1000.0);
    EXPECT_EQ(m.albedo_w_snow[2], 0.2);  // bare ground takes the cell albedo
  });
  EXPECT_FALSE(r.stopped) << r.out;
}

TEST(EnergyBalance, ShadedCellGetsNoShortWaveUnderAClearSky) {
  scratch_dir dir;
  // A 100 m ridge across row 4: at a winter noon the sun stands south, low.
  const auto r = long_term_project(7, 5, "0 0 0 0 0\n0 0 0 0 0\n0 0 0 0 0\n100 100 100 100 100\n0 0 0 0 0\n0 0 0 0 0\n0 0 0 0 0\n",
                                   "", [&](model_state& m) {
    m.hmet_rh = 50.0;
    m.hmet_cloud_cover = 0.0;
    pluvo::compute_cell_energy_balance(1, m, 2020, 1, 1, 0, -2.0, 1000.0);  // builds the day's shade
    pluvo::compute_cell_energy_balance(1, m, 2020, 1, 1, 12, -2.0, 1000.0);
    const int behind = m.cell_number_grid(2, 3), open = m.cell_number_grid(6, 3);
    EXPECT_EQ(m.shade_by_hour[size_t(behind)][12], 1);
    EXPECT_EQ(m.R_short[size_t(behind)], 0.0);
    EXPECT_GT(m.inc_solar_rad[size_t(behind)], 0.0);
    EXPECT_GT(m.R_short[size_t(open)], 0.0);
    pluvo::compute_cell_energy_balance(1, m, 2020, 1, 1, 22, -2.0, 1000.0);  // night
    EXPECT_EQ(m.R_short[size_t(open)], 0.0);
  });
  EXPECT_FALSE(r.stopped) << r.out;
}

}  // namespace
