#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "common/time_series.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::scratch_dir;
using pluvo_test::write_file;

const char* const two_blocks =
    "Flows of the upper gauge\n"
    "PLUVO_TS\n"
    "  \"inflow_north\"  \n"
    "ABSOLUTE\n"
    "2020 6 1 0 0 1.0\n"
    "2020 6 1 1 0 3.0\n"
    "\n"
    "2020 6 1 3 0 -1.0\n"
    "END_TS\n"
    "text between the blocks\n"
    "PLUVO_TS\n"
    "release\n"
    "RELATIVE\n"
    "0 0 0 0 0 10.0\n"
    "0 0 1 12 0 20.0\n"
    "END_TS\n";

std::string load(const char* name) {
  testing::internal::CaptureStdout();
  pluvo::load_time_series_file(name);
  return testing::internal::GetCapturedStdout();
}

TEST(TimeSeriesFile, BlocksNamesAndTimes) {
  scratch_dir dir;
  write_file("ts.txt", two_blocks);
  EXPECT_EQ(load("ts.txt"),
            "Read time series inflow_north\nRead time series release\n2 time series read from file ts.txt\n");
  ASSERT_EQ(pluvo::time_series_list.size(), 2u);
  const pluvo::time_series& north = *pluvo::time_series_list[0];
  EXPECT_EQ(north.count, 3);
  EXPECT_EQ(north.relative, 0);
  EXPECT_EQ(north.times[1], pluvo::julian_date(2020, 6, 1, 1, 0, 0.0));
  const pluvo::time_series& release = *pluvo::time_series_list[1];
  EXPECT_EQ(release.relative, 1);
  EXPECT_DOUBLE_EQ(release.times[1], 1.5);  // day 1, 12:00 after the origin
  pluvo::shift_relative_time_series(2458000.5);
  EXPECT_DOUBLE_EQ(release.times[1], 2458002.0);
  EXPECT_EQ(north.times[0], pluvo::julian_date(2020, 6, 1, 0, 0, 0.0));  // absolute series stay
  pluvo::free_time_series();
  EXPECT_TRUE(pluvo::time_series_list.empty());
}

TEST(TimeSeriesFile, RefusedSeriesStopTheRun) {
  scratch_dir dir;
  const struct {
    const char* label;
    const char* text;
    const char* console;
  } cases[] = {
      {"times that do not ascend",
       "PLUVO_TS\nback\nABSOLUTE\n2020 6 1 2 0 1.0\n2020 6 1 1 0 2.0\nEND_TS\n",
       "Error: the times of time series [back] do not ascend at entry 2.\n\n0 time series read from file bad.txt\n"},
      {"a line without a date",
       "PLUVO_TS\nshort\nABSOLUTE\n2020 6 1 2 0 1.0\n2020 6 1 x\nEND_TS\n",
       "Error: line 2 of time series [short] does not hold a date and a value: 2020 6 1 x\n\n"
       "0 time series read from file bad.txt\n"},
  };
  for (const auto& c : cases) {
    pluvo::error_state = pluvo::error_state_record();
    write_file("bad.txt", c.text);
    EXPECT_EQ(load("bad.txt"), c.console) << c.label;
    EXPECT_TRUE(pluvo::time_series_list.empty()) << c.label;
    EXPECT_EQ(pluvo::error_state.error_terminate, 1) << c.label;  // stopped and reported at once
  }
  pluvo::error_state = pluvo::error_state_record();
  const std::string missing = load("none.txt");
  EXPECT_NE(missing.find("Error: Time series file not found [none.txt]\n"), std::string::npos);
  EXPECT_EQ(pluvo::error_state.error_code, 0);  // the consumers report a missing series
}

TEST(TimeSeriesValue, InterpolationClampedAtBothEnds) {
  pluvo::time_series s;
  s.name = "q";
  s.times = {10.0, 11.0, 13.0};
  s.values = {1.0, 3.0, -1.0};
  s.count = 3;
  const struct {
    double t, value;
  } cases[] = {{9.0, 1.0},  {10.0, 1.0}, {10.5, 2.0}, {11.0, 3.0}, {12.0, 1.0},
               {12.5, 0.0}, {13.0, -1.0}, {20.0, -1.0}, {10.25, 1.5}};  // the last one moves back in time
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(pluvo::time_series_value(c.t, &s), c.value) << c.t;

  pluvo::time_series one;
  one.times = {5.0};
  one.values = {7.5};
  one.count = 1;
  for (double t : {0.0, 5.0, 9.0}) EXPECT_EQ(pluvo::time_series_value(t, &one), 7.5);

  pluvo::time_series step;  // two entries at one time make a step, never a division by zero
  step.times = {0.0, 1.0, 1.0, 2.0};
  step.values = {0.0, 0.0, 4.0, 4.0};
  step.count = 4;
  step.last_interval = 1;
  EXPECT_EQ(pluvo::time_series_value(1.0, &step), 0.0);
  EXPECT_EQ(pluvo::time_series_value(1.5, &step), 4.0);
}

TEST(TimeSeriesValue, SameAnswersFromManyThreads) {
  pluvo::time_series s;
  for (int i = 0; i <= 100; i++) {
    s.times.push_back(i);
    s.values.push_back(std::sin(0.1 * i));
  }
  s.count = 101;
  std::vector<double> serial(4000), parallel(4000);
  for (int k = 0; k < 4000; k++) serial[size_t(k)] = pluvo::time_series_value(0.025 * k - 1.0, &s);
#pragma omp parallel for schedule(static) num_threads(8)
  for (int k = 0; k < 4000; k++) parallel[size_t(k)] = pluvo::time_series_value(0.025 * k - 1.0, &s);
  EXPECT_EQ(serial, parallel);
}

TEST(TimeSeriesValue, MissingSeriesAndUnknownIndexStopTheRun) {
  pluvo::time_series empty;
  empty.name = "dry";
  pluvo::time_series_index_list.clear();
  const struct {
    const char* label;
    std::function<double()> lookup;
    const char* console;
  } cases[] = {
      {"no series", [] { return pluvo::time_series_value(1.0, nullptr); },
       "Error: attempting to extract a value from a time series that does not exist.\n\n"},
      {"no entries", [&] { return pluvo::time_series_value(1.0, &empty); },
       "Error: attempting to extract a value from a time series [dry] with no entries.\n\n"},
      {"unknown index", [] { return pluvo::time_series_value_by_index(42, 1.0); },
       "Error: attempting to extract a value from an unknown time series in the time series table.    Check the "
       "mapping table file (.cmt). The specified time series index is 42, but the \nindex is not found in the "
       "time series index table.\n\n"},
  };
  for (const auto& c : cases) {
    pluvo::error_state = pluvo::error_state_record();
    testing::internal::CaptureStdout();
    EXPECT_EQ(c.lookup(), 0.0) << c.label;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.console) << c.label;
    EXPECT_EQ(pluvo::error_state.error_code, 0) << c.label;  // reported at once
    EXPECT_EQ(pluvo::error_state.error_terminate, 1) << c.label;
  }
  pluvo::error_state = pluvo::error_state_record();
}

TEST(TimeSeriesLookup, ByNamePrefixIndexAndWells) {
  scratch_dir dir;
  write_file("ts.txt",
             "PLUVO_TS\npump_long\nABSOLUTE\n2020 1 1 0 0 2.0\nEND_TS\n"
             "PLUVO_TS\npump\nABSOLUTE\n2020 1 1 0 0 5.0\nEND_TS\n");
  load("ts.txt");
  EXPECT_EQ(pluvo::find_time_series("pump")->name, "pump_long");  // the first whose name begins so
  EXPECT_EQ(pluvo::find_time_series("pump_l")->name, "pump_long");
  EXPECT_EQ(pluvo::find_time_series("well"), nullptr);

  pluvo::time_series_index_list = {{7, pluvo::time_series_list[1].get()}, {3, pluvo::time_series_list[0].get()}};
  EXPECT_EQ(pluvo::time_series_value_by_index(3, 0.0), 2.0);
  EXPECT_EQ(pluvo::time_series_value_by_index(7, 0.0), 5.0);

  pluvo::well_cell_list = {{1, 0, -8.0, 0}, {3, 1, 0.0, 7}};
  std::vector<double> cells(4, 9.0);
  pluvo::gw_time_series_value_by_index(cells.data(), 0.0, 2.0);
  EXPECT_EQ(cells, (std::vector<double>{9.0, -2.0, 9.0, 1.25}));  // rate over the cell area
  pluvo::free_time_series();
  EXPECT_TRUE(pluvo::time_series_index_list.empty());
  EXPECT_TRUE(pluvo::well_cell_list.empty());
}

TEST(EmbeddedTimeSeries, DatedColumns) {
  scratch_dir dir;
  write_file("xy.txt",
             "2020 1 1 0 0 1 10 100\n2020 1 1 1 0 2 20 200\n2020 1 1 2 0 3 30 300\n2020 1 1 3 0 4 40 400\n"
             "END_TS\n");
  pluvo::checked_file file;
  ASSERT_TRUE(pluvo::checked_file_open(file, "xy.txt", 'r'));
  EXPECT_EQ(pluvo::read_embedded_time_series(file, 0, "bdy"), nullptr);
  pluvo::time_series* first = pluvo::read_embedded_time_series(file, 3, "bdy");
  pluvo::checked_file_close(file);
  ASSERT_EQ(pluvo::time_series_list.size(), 3u);
  EXPECT_EQ(first, pluvo::time_series_list[0].get());
  const char* names[] = {"bdy_0000", "bdy_0001", "bdy_0002"};
  for (size_t k = 0; k < 3; k++) {
    const pluvo::time_series& s = *pluvo::time_series_list[k];
    EXPECT_EQ(s.name, names[k]);
    EXPECT_EQ(s.count, 4);
    EXPECT_EQ(s.times, pluvo::time_series_list[0]->times);
    EXPECT_EQ(s.values[3], 4.0 * std::pow(10.0, double(k)));
  }
  EXPECT_EQ(first->times[2], pluvo::julian_date(2020, 1, 1, 2, 0, 0.0));
  pluvo::free_time_series();
}

}  // namespace
