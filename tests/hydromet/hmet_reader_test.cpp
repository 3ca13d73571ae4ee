// The hourly weather reader: per format, the records a small file delivers, its scan, its
// repairs and its messages.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "common/scratch_dir.hpp"
#include "hydromet/hmet_reader.hpp"
#include "hydromet/hmet_fixture.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "hydromet/precip_fixture.hpp"
#include "record/model_state.hpp"

namespace {

enum format { kal, samson, surface_airways, grids };

struct hour_record {
  int year, month, day, hour;
  double direct, diffuse, cloud, temperature, rh, pressure, wind;
};

struct reading {
  std::string scan_out;
  int scan_result = 0;
  std::vector<int> scan_first;  // the first record's year, month, day and hour the scan found
  std::vector<hour_record> records;
  std::vector<int> results;  // of the data calls, the last one -1
  int repaired = 0;
  std::unique_ptr<pluvo::model_state> m;
};

std::unique_ptr<pluvo::model_state> reader_for(const pluvo::scratch_dir& dir, format f,
                                               const std::string& text) {
  auto m = precip_test::make_grid(1, 1, 10.0);
  const std::string path = precip_test::file_in(dir, "hmet.dat", text);
  m->hmet_path = path;
  (f == kal ? m->hmet_kal_on : f == samson ? m->hmet_samson_on : f == surface_airways ? m->hmet_surfaways_on
                                                                                      : m->hmet_ascii_on) = 1;
  pluvo::checked_file_open(m->hmet_fp, path.c_str(), 'r');
  return m;
}

// Scans the file and reads it to its end as the hourly phase does.
reading read_file(format f, const std::string& text) {
  pluvo::scratch_dir dir;
  precip_test::clear_errors();
  reading r;
  r.m = reader_for(dir, f, text);
  pluvo::model_state& m = *r.m;
  r.scan_out = pluvo::printed_by([&] { r.scan_result = pluvo::read_hmet_data(m, 1); });
  if (r.scan_result != 0) return r;
  r.scan_first = {m.hmet_year, m.hmet_month, m.hmet_day, m.hmet_hour};
  for (int mode = 2; mode < 100; ++mode) {
    const int result = pluvo::read_hmet_data(m, mode);
    r.results.push_back(result);
    if (result == -1) break;
    r.records.push_back({m.hmet_year, m.hmet_month, m.hmet_day, m.hmet_hour, m.hmet_direct_rad,
                         m.hmet_diffuse_rad, m.hmet_cloud_cover, m.hmet_temperature, m.hmet_rh,
                         m.hmet_pressure, m.hmet_wind_speed});
  }
  r.repaired = m.hmet_repaired_count;
  return r;
}

void expect_records(const std::vector<hour_record>& got, const std::vector<hour_record>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < want.size(); ++k) {
    const hour_record &g = got[k], &w = want[k];
    EXPECT_EQ(std::vector<int>({g.year, g.month, g.day, g.hour}),
              std::vector<int>({w.year, w.month, w.day, w.hour}))
        << "record " << k + 1;
    const double gv[7] = {g.direct, g.diffuse, g.cloud, g.temperature, g.rh, g.pressure, g.wind};
    const double wv[7] = {w.direct, w.diffuse, w.cloud, w.temperature, w.rh, w.pressure, w.wind};
    for (int q = 0; q < 7; ++q) EXPECT_NEAR(gv[q], wv[q], 1e-9) << "record " << k + 1 << " value " << q;
  }
}

const double hg = 1013.25 / 29.92;  // millibars per inch of mercury
const double knot = 0.514444;
double from_f(double f) { return (f - 32.0) * 0.5555555555555556; }

TEST(HmetKal, DeliversEachRecordConvertedAndRepaired) {
  // Record 1's pressure is missing before any good one: it takes the file's first good value.
  const reading r = read_file(kal,
                              "1996 2 28 13 999.0 60 30 10 50 100.0 300.0\n"
                              "1996 2 28 14 30.00 999 999 999 999 10000 400.0\n"
                              "1996 2 29 13 29.92 70 100 20 68 10000 500.0\n");
  EXPECT_EQ(r.scan_result, 0);
  EXPECT_EQ(r.scan_out, "End of hmet_KAL file encountered after 3 lines\n");
  EXPECT_EQ(r.m->hmet_record_count, 3);
  EXPECT_EQ(std::vector<int>({r.m->hmet_last_year, r.m->hmet_last_month, r.m->hmet_last_day, r.m->hmet_last_hour}),
            std::vector<int>({1996, 2, 29, 13}));
  expect_records(r.records, {
                                {1996, 2, 28, 13, 100, 200, 3.0, from_f(50), 60, 30 * hg, 10 * knot},
                                // Hour 14 has no memory yet: the first good values stand in.
                                {1996, 2, 28, 14, 100, 300, 3.0, from_f(50), 60, 30 * hg, 10 * knot},
                                // Direct radiation from the last good hour-13 record.
                                {1996, 2, 29, 13, 100, 400, 10.0, 20.0, 70, 29.92 * hg, 20 * knot},
                            });
  EXPECT_EQ(r.results, (std::vector<int>{11, 11, 11, -1}));
  EXPECT_EQ(r.repaired, 7);
}

TEST(HmetKal, AnEmptyFileHasNoRecords) {
  const reading r = read_file(kal, "");
  EXPECT_EQ(r.scan_out, "End of hmet_KAL file encountered after 0 lines\n");
  EXPECT_EQ(r.m->hmet_record_count, 0);
  EXPECT_EQ(r.results, (std::vector<int>{-1}));
}

TEST(HmetKal, BadRecordsStopTheScan) {
  const struct {
    const char* text;
    std::string message;
  } cases[] = {
      {"1996 2 28 13 29.92 60 30 10 50 100.0 300.0\n1996 2 28 14 29.92 60 30 10 50 abc 300.0\n",
       "Error: Problem encountered in hmet_KAL file, line 2, near parameter 10\n\n"
       "Make sure your file is in the correct format, including making sure\n"
       "all input data are listed as floats or ints as specified in the following\nformat table:\n"
       " Format:\n1   2   3   4    5     6           7        8         9    10        11  \n"
       "Yr  Mo  Day Hr  Press. RelHumidity SkyCover WindSpeed Temp DirectRad GlobalRad\n"
       "int int int int float  int         int      int       int  float     float\n\n"},
      {"1996 2 28 26 29.92 60 30 10 50 100.0 300.0\n",
       "Error: hour 26 of record 1 in hydrometeorological file @ is outside 0..25.\n"},
  };
  for (const auto& c : cases) {
    const reading r = read_file(kal, c.text);
    std::string message = c.message;
    const size_t at = message.find('@');
    if (at != std::string::npos) message.replace(at, 1, r.m->hmet_path);
    EXPECT_EQ(r.scan_result, -1);
    EXPECT_EQ(r.scan_out, message);
    EXPECT_EQ(pluvo::error_state.error_code, 4000);
  }
  precip_test::clear_errors();
}

using hmet_test::samson_line;

TEST(HmetSamson, DeliversEveryLineWithHour24AsTheNextDay) {
  const std::string header = "~94846 CHICAGO MIDWAY        IL  -6  N41 59  W 87 54  190\n";
  const std::string text =
      header + "~ header line two\n" +
      samson_line("96 02 28 23", "100", "50", "5", "2.5", "80", "1000", "3.1") + "\n" +
      // Missing: direct (no hour-24 memory: the first good), sky, humidity, pressure, wind 99.5.
      samson_line("96 02 28 24", "9999", "60", "99", "3.0", "999", "9999", "99.5") + "\n" +
      samson_line("95 12 31 24", "0", "0", "10", "-4.5", "90", "990", "4.25");  // no line break
  const reading r = read_file(samson, text);
  EXPECT_EQ(r.scan_result, 0);
  EXPECT_EQ(r.m->hmet_station, "CHICAGO MIDWAY        ");
  EXPECT_EQ(r.m->hmet_record_count, 3);
  EXPECT_EQ(std::vector<int>({r.m->hmet_last_year, r.m->hmet_last_month, r.m->hmet_last_day, r.m->hmet_last_hour}),
            std::vector<int>({1996, 1, 1, 0}));
  expect_records(r.records, {
                                {1996, 2, 28, 23, 100, 50, 5, 2.5, 80, 1000, 3.1},
                                {1996, 2, 29, 0, 100, 60, 5, 3.0, 80, 1000, 3.1},
                                {1996, 1, 1, 0, 0, 0, 10, -4.5, 90, 990, 4.25},
                            });
  EXPECT_EQ(r.results, (std::vector<int>{1, 1, 1, -1}));
  EXPECT_EQ(r.repaired, 5);
}

using hmet_test::airways_line;

// Two days; the second day's line of the element named by left_out is left out.
std::string airways_file(const std::string& left_out = "") {
  const char* d1 = "19960228";
  const char* d2 = "19960229";
  std::string t;
  t += airways_line("DRAD", d1, {{"0100", 1000}, {"0200", 99999}});
  t += airways_line("GRAD", d1, {{"0100", 2000}, {"0200", 2500}});
  t += airways_line("PRES", d1, {{"0100", 29920}, {"0200", 99999}});
  t += airways_line("RHUM", d1, {{"0100", 50}, {"0200", 60}});
  t += airways_line("TMPD", d1, {{"0100", 50}, {"0200", 68}});
  t += airways_line("TSKC", d1, {{"0100", 5}, {"0200", 99907}});
  t += airways_line("WIND", d1, {{"0100", 27010}, {"0200", 27999}});
  // The second day has no direct radiation line.
  t += airways_line("GRAD", d2, {{"0100", 3000}, {"0200", 3000}});
  t += airways_line("PRES", d2, {{"0100", 29920}, {"0200", 29920}});
  if (left_out != "RHUM") t += airways_line("RHUM", d2, {{"0100", 70}, {"0200", 70}});
  t += airways_line("TMPD", d2, {{"0100", 32}, {"0200", 32}});
  if (left_out != "TSKC") t += airways_line("TSKC", d2, {{"0100", 8}, {"0200", 8}});
  if (left_out != "WIND") t += airways_line("WIND", d2, {{"0100", 9005}, {"0200", 9005}});
  return t;
}

TEST(HmetSurfaceAirways, DeliversTheSlotsOfEachDayInTurn) {
  const reading r = read_file(surface_airways, airways_file());
  EXPECT_EQ(r.scan_result, 0);
  EXPECT_EQ(r.scan_out, "DRAD GRAD PRES RHUM TMPD TSKC WIND\n 1  2  2  2  2  2  2\n");
  EXPECT_EQ(r.m->hmet_record_count, 48);
  // The data period runs from the first slot's hour to the last one's.
  EXPECT_EQ(r.scan_first, std::vector<int>({1996, 2, 28, 1}));
  EXPECT_EQ(std::vector<int>({r.m->hmet_last_year, r.m->hmet_last_month, r.m->hmet_last_day, r.m->hmet_last_hour}),
            std::vector<int>({1996, 2, 29, 2}));
  const double p = 29920 * 33.86530748663101 / 1000.0;
  expect_records(r.records, {
                                {1996, 2, 28, 1, 100, 200, 5, 10, 50, p, 10 * knot},
                                // The missing sky cover 99907 keeps 5: the first good value.
                                {1996, 2, 28, 2, 100, 250, 5, 20, 60, p, 10 * knot},
                                {1996, 2, 29, 1, 0, 300, 8, 0, 70, p, 5 * knot},
                                {1996, 2, 29, 2, 0, 300, 8, 0, 70, p, 5 * knot},
                            });
  EXPECT_EQ(r.results, (std::vector<int>{0, 0, 0, 0, -1}));
  EXPECT_EQ(r.repaired, 4);
}

TEST(HmetSurfaceAirways, ADayShortOfAnElementOrALineTooLongStopsTheScan) {
  const std::string counts = "DRAD GRAD PRES RHUM TMPD TSKC WIND\n";
  const struct {
    std::string text;
    std::string out;
  } cases[] = {
      {airways_file("RHUM"), counts + " 1  2  2  1  2  2  2\n" +
                                 "There is an error in the Surface Airways hydrometeorology\n"
                                 "data file.  There appears to be a different number of \n"
                                 "days of rel. humidity data than temperature data.  Rel. hum.\n"
                                 "data is required for each day.  Examine the file and supply\n"
                                 "the missing data.  Program terminating\n\n\n"},  // the reporter's line end
      {airways_file("TSKC"), counts + " 1  2  2  2  2  1  2\n" +
                                 "There is an error in the Surface Airways hydrometeorology\n"
                                 "data file.  There appear to be a different number of days\n"
                                 "of cloud cover data than temperature data.  Clouds data is\n"
                                 "required for each day.  Examine the file and supply the \n"
                                 "missing data.  Program terminating\n\n\n"},
      {airways_file("WIND"), counts + " 1  2  2  2  2  2  1\n" +
                                 "There is an error in the Surface Airways hydrometeorology\n"
                                 "data file.  There appear to be different number of days of "
                                 "wind data than temperature data.  Wind speed data is\n"
                                 "required for each day.  Examine the file and supply the \n"
                                 "missing data.  Program terminating\n\n\n"},
      {airways_file() + std::string(791, 'x') + "\n", "Line too long in hmet_NCDC input file.  Program exiting\n\n"},
  };
  for (const auto& c : cases) {
    const reading r = read_file(surface_airways, c.text);
    EXPECT_EQ(r.scan_result, 1);
    EXPECT_EQ(r.scan_out, c.out);
    EXPECT_EQ(pluvo::error_state.error_terminate, 1);
    precip_test::clear_errors();
  }
}

TEST(HmetSurfaceAirways, GroupCountsBeyondADayStopTheScan) {
  std::vector<std::pair<const char*, long>> groups(27, {"0100", 50});
  const reading r = read_file(surface_airways, airways_line("TMPD", "19960228", groups));
  EXPECT_EQ(r.scan_result, 1);
  EXPECT_NE(r.scan_out.find("Error: group count 27 of record 1 in hydrometeorological file "),
            std::string::npos)
      << r.scan_out;
  precip_test::clear_errors();
}

TEST(HmetGrids, TheListDateSplitsIntoYearMonthDayAndHour) {
  const struct {
    const char* list;
    int first[4];
    int last[4];
  } cases[] = {
      {"grids/w2008050100\n", {2008, 5, 1, 0}, {2008, 5, 1, 0}},
      {"a2008050100\nb2008050124\n", {2008, 5, 1, 0}, {2008, 5, 1, 24}},
      {"c:\\met\\x1999123123\n", {1999, 12, 31, 23}, {1999, 12, 31, 23}},
  };
  for (const auto& c : cases) {
    const reading r = read_file(grids, c.list);
    EXPECT_EQ(r.scan_result, 0) << c.list;
    const pluvo::model_state& m = *r.m;
    EXPECT_EQ(std::vector<int>({m.hmet_year, m.hmet_month, m.hmet_day, m.hmet_hour}),
              std::vector<int>(c.first, c.first + 4))
        << c.list;
    EXPECT_EQ(std::vector<int>({m.hmet_last_year, m.hmet_last_month, m.hmet_last_day, m.hmet_last_hour}),
              std::vector<int>(c.last, c.last + 4))
        << c.list;
  }
  const reading bad = read_file(grids, "a2008050100\nshort\n");
  EXPECT_EQ(bad.scan_result, -1);
  EXPECT_EQ(bad.scan_out,
            "Error: Problem encountered in hmet_ASCII file, line 2 \n\n"
            "Make sure your file is in the correct format, including making sure\n"
            "the dates are in integers and in the following format:\n"
            " Format:\nyyyymmddhh\n2008050100int\n\n");
  precip_test::clear_errors();
}

}  // namespace

namespace {

// A 1200 m square of 30 m model cells under a 2 x 2 weather grid of 1000 m cells whose north
// edge is the model's: the model cells split 33 + 7 each way between the weather cells.
struct grid_hours {
  pluvo::scratch_dir dir;
  std::unique_ptr<pluvo::model_state> m;
  std::string out;

  grid_hours() {
    m = precip_test::make_grid(40, 40, 30.0);
    m->hmet_ascii_on = 1;
  }
  void write_grid(const std::string& name, const char* values) {
    dir.write(name, std::string("ncols 2\nnrows 2\nxllcorner 0\nyllcorner -800\ncellsize 1000\n"
                                "NODATA_value -9999\n") + values);
  }
  // Writes the grids of one hour (all but wind) and its list line.
  void write_hour(const std::string& base, const char* temperature, const char* cloud) {
    write_grid(base + "_Temp.asc", temperature);
    write_grid(base + "_Clod.asc", cloud);
    for (const char* s : {"_Prcp.asc", "_Pres.asc", "_RlHm.asc", "_Drad.asc", "_Grad.asc"})
      write_grid(base + s, std::string(s) == "_Grad.asc" ? "500 500\n500 500\n" : "100 100\n100 100\n");
  }
  void start(const std::string& list) {
    dir.write("list.txt", list);
    m->hmet_path = dir.path("list.txt");
    pluvo::checked_file_open(m->hmet_fp, m->hmet_path.c_str(), 'r');
    out = pluvo::printed_by([&] { pluvo::read_hmet_data(*m, 1); });
  }
  int next(int mode) {
    int result = 0;
    out = pluvo::printed_by([&] { result = pluvo::read_hmet_data(*m, mode); });
    return result;
  }
  // The cell whose centre lies in row r, column c of the model grid.
  double at(const std::vector<double>& v, int r, int c) const { return v[size_t((r - 1) * 40 + c)]; }
};

TEST(HmetGrids, ModelCellsTakeTheWeatherCellUnderTheirCentreAndKeepTheLastGoodHour) {
  grid_hours g;
  g.write_hour("w2008050101", "50 68\n32 41\n", "10 20\n30 40\n");
  g.write_hour("w2008050102", "59 59\n59 -9999\n", "50 50\n50 50\n");
  const std::string h1 = g.dir.path("w2008050101"), h2 = g.dir.path("w2008050102");
  g.start(h1 + "\n" + h2 + "\n");
  ASSERT_EQ(g.next(2), 1) << g.out;
  const char* const fill_lines =
      "Filling Cloud Array\nFilling Precipitation Array\nFilling Pressure Array\n"
      "Filling Relative Humidity Array\nFilling Temperature Array\nFilling Direct Radiation Array\n"
      "Filling Global Radiation Array\nERROR!!! CANNOT OPEN Wind Speed FILE\nNO WIND VALUE READ, using 3.000000 \n";
  EXPECT_EQ(g.out, fill_lines);
  const pluvo::model_state& m = *g.m;
  EXPECT_EQ(std::vector<int>({m.hmet_year, m.hmet_month, m.hmet_day, m.hmet_hour}),
            std::vector<int>({2008, 5, 1, 1}));
  // Row 33 / column 33 is the last in the first weather row / column (centres 195 and 975 m).
  const struct {
    int r, c;
    double temperature, cloud;
  } cells[] = {{1, 1, 10.0, 1.0}, {33, 33, 10.0, 1.0}, {1, 34, 20.0, 2.0}, {34, 1, 0.0, 3.0}, {40, 40, 5.0, 4.0}};
  for (const auto& c : cells) {
    EXPECT_NEAR(g.at(m.temper_gridded, c.r, c.c), c.temperature, 1e-12) << c.r << "," << c.c;
    EXPECT_NEAR(g.at(m.cloud_cover_gridded, c.r, c.c), c.cloud, 1e-12) << c.r << "," << c.c;
    EXPECT_EQ(g.at(m.vel_gridded, c.r, c.c), 3.0);
    EXPECT_NEAR(g.at(m.diffuse_gridded, c.r, c.c), 400.0, 1e-12);
    EXPECT_NEAR(g.at(m.pres_gridded, c.r, c.c), 100 * 1013.25 / 29.92, 1e-9);
  }
  const double mean = (33 * 33 * 10.0 + 33 * 7 * 20.0 + 7 * 33 * 0.0 + 7 * 7 * 5.0) / 1600.0;
  EXPECT_NEAR(m.hmet_temperature, mean, 1e-12);
  EXPECT_NEAR(m.hmet_cloud_cover, (33 * 33 * 1.0 + 33 * 7 * 2.0 + 7 * 33 * 3.0 + 7 * 7 * 4.0) / 1600.0, 1e-12);
  EXPECT_EQ(m.hmet_wind_speed, 3.0);
  EXPECT_EQ(m.hmet_repaired_count, 0);

  // The second hour: no data in the south-east weather cell keeps the first hour's 5 degrees.
  ASSERT_EQ(g.next(3), 1);
  EXPECT_EQ(g.out, "ERROR!!! CANNOT OPEN Wind Speed FILE\nNO WIND VALUE READ, using 3.000000 \n");
  EXPECT_NEAR(g.at(m.temper_gridded, 40, 40), 5.0, 1e-12);
  EXPECT_NEAR(g.at(m.temper_gridded, 1, 1), 15.0, 1e-12);
  EXPECT_EQ(m.hmet_repaired_count, 49);
  EXPECT_EQ(g.next(4), -1);
}

TEST(HmetGrids, AnHourWithoutAnyGridStopsTheRun) {
  grid_hours g;
  g.start("w2008050101\n");
  precip_test::clear_errors();
  EXPECT_EQ(g.next(2), -1);
  EXPECT_NE(g.out.find("Error: none of the weather grids of hour w2008050101 (listed in "), std::string::npos) << g.out;
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  precip_test::clear_errors();
}

TEST(HmetGrids, AlignmentMessagesForCellsFarOutsideTheWeatherGrid) {
  const struct {
    double x_west;  // model grid_west
    const char* out;
  } cases[] = {
      {0.0, ""},
      {-2000.0, "\nERROR!! in the conversion of X coordinates in the ASCII HMET"},
  };
  for (const auto& c : cases) {
    std::string out = pluvo::printed_by([&] {
      // Model cell (1, 1) of 30 m, north edge 1200; weather grid 2 x 2 of 1000 m, corner (0, -800).
      const int ic = 0, ir = 0;
      pluvo::check_hmet_grid_alignment(1, 1, 1200.0, c.x_west, 30.0, 40, 40, -800.0, 0.0, 1000.0, ic, ir, 2);
    });
    EXPECT_EQ(out, c.out) << c.x_west;
  }
}

}  // namespace
