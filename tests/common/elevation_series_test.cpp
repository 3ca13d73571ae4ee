#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/elevation_series.hpp"
#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "common/pumps.hpp"
#include "common/time_series.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::scratch_dir;
using pluvo_test::write_file;

struct fresh_lists {
  fresh_lists() {
    pluvo::error_state = pluvo::error_state_record();
    pluvo::free_elevation_series();
  }
  ~fresh_lists() {
    pluvo::free_elevation_series();
    pluvo::free_time_series();
    pluvo::error_state = pluvo::error_state_record();
  }
};

std::string load(const char* name) {
  return pluvo::printed_by([name] { pluvo::read_elevation_series_file(name); });
}

TEST(ElevationSeriesFile, BlocksNamesAndPoints) {
  scratch_dir dir;
  fresh_lists lists;
  write_file("es.txt",
             "weir curves\nEND_ES\nPLUVO_ES ignored name\n  \"pump2\"  more\n0 0\n\n1.5 2\n2 10\nEND_ES\n"
             "between\r\nPLUVO_ES\r\npump\r\n0.0 4.0\r\nEND_ES\r\nPLUVO_ES\nopen\n1 1\n");
  EXPECT_EQ(load("es.txt"), "3 elevation series read from file es.txt\n");
  EXPECT_EQ(pluvo::error_state.error_code, 0);
  ASSERT_EQ(pluvo::elevation_series_list.size(), 3u);
  const pluvo::elevation_series& first = *pluvo::elevation_series_list[0];
  EXPECT_EQ(first.name, "pump2");  // the name comes from the line after PLUVO_ES, unquoted
  EXPECT_EQ(first.count, 3);       // a blank line is no point
  EXPECT_EQ(first.x, (std::vector<double>{0.0, 1.5, 2.0}));
  EXPECT_EQ(first.y, (std::vector<double>{0.0, 2.0, 10.0}));
  EXPECT_EQ(pluvo::elevation_series_list[1]->name, "pump");  // no carriage return kept
  EXPECT_EQ(pluvo::elevation_series_list[2]->count, 1);      // the end of the file ends the block

  // A whole name wins over an earlier series whose name only begins with it.
  EXPECT_EQ(pluvo::find_elevation_series("pump"), 1);
  EXPECT_EQ(pluvo::find_elevation_series("pum"), 0);
  EXPECT_EQ(pluvo::find_elevation_series("op"), 2);
  EXPECT_EQ(pluvo::find_elevation_series("weir"), -1);
  EXPECT_EQ(pluvo::elevation_series_at(-1), nullptr);
  EXPECT_EQ(pluvo::elevation_series_at(3), nullptr);

  // A second file appends behind the first; a file that does not open changes nothing.
  write_file("more.txt", "PLUVO_ES\nweir\n0 1\nEND_ES\n");
  EXPECT_EQ(load("more.txt"), "1 elevation series read from file more.txt\n");
  EXPECT_EQ(pluvo::find_elevation_series("weir"), 3);
  EXPECT_EQ(load("gone.txt"),
            "Error getting new filename from gone.txt\nError: Elevation series file not found [gone.txt]\n");
  EXPECT_EQ(pluvo::elevation_series_list.size(), 4u);
  EXPECT_EQ(pluvo::error_state.error_terminate, 0);  // the run goes on
}

TEST(ElevationSeriesFile, UnreadablePointsStopTheRunNamingFileSeriesAndLine) {
  struct bad_case {
    const char* text;
    const char* message;
  };
  const bad_case cases[] = {
      {"PLUVO_ES\nweir\n0 0\n1 one\nEND_ES\n",
       "Error: line 4 of elevation series [weir] in file es.txt does not hold two numbers: 1 one\n"},
      {"PLUVO_ES\nweir\n0 0\n\n2\nEND_ES\n",
       "Error: line 5 of elevation series [weir] in file es.txt does not hold two numbers: 2\n"},
      {"PLUVO_ES\nweir\n0 0\n2 1\n2 3\nEND_ES\n",
       "Error: line 5 of elevation series [weir] in file es.txt: the abscissa 2 does not ascend after 2.\n"},
      {"x\nPLUVO_ES\nweir\n0 0\n2 1\n1 3\nEND_ES\n",
       "Error: line 6 of elevation series [weir] in file es.txt: the abscissa 1 does not ascend after 2.\n"},
  };
  for (const bad_case& c : cases) {
    scratch_dir dir;
    fresh_lists lists;
    write_file("es.txt", c.text);
    // The reporter closes a stop with an empty line.
    EXPECT_EQ(load("es.txt"), std::string(c.message) + "\n0 elevation series read from file es.txt\n") << c.text;
    EXPECT_EQ(pluvo::error_state.error_terminate, 1) << c.text;
    EXPECT_TRUE(pluvo::elevation_series_list.empty()) << c.text;  // the refused series is not kept
  }
}

TEST(ElevationSeriesLookup, ClampsInterpolatesAndSteps) {
  fresh_lists lists;
  pluvo::elevation_series* s = pluvo::new_elevation_series();
  s->name = "curve";
  s->x = {1.0, 2.0, 4.0};
  s->y = {10.0, 20.0, 0.0};
  s->count = 3;
  pluvo::elevation_series* single = pluvo::new_elevation_series();
  single->x = {5.0};
  single->y = {7.0};
  single->count = 1;
  struct lookup_case {
    const pluvo::elevation_series* series;
    double x, value, step;
  };
  const lookup_case cases[] = {
      {s, 0.0, 10.0, 10.0},    // below the table: the first point
      {s, 1.0, 10.0, 10.0},    // at the first abscissa
      {s, 1.5, 15.0, 10.0},    // interpolated; the step keeps the lower point
      {s, 2.0, 20.0, 10.0},    // interior abscissa x[j]: y[j], and y[j-1] for the step
      {s, 3.0, 10.0, 20.0},
      {s, 4.0, 0.0, 0.0},      // at the last abscissa
      {s, 9.0, 0.0, 0.0},      // above the table: the last point
      {single, -3.0, 7.0, 7.0},
      {single, 8.0, 7.0, 7.0},
  };
  for (const lookup_case& c : cases) {
    EXPECT_DOUBLE_EQ(pluvo::elevation_series_value(c.x, c.series), c.value) << c.x;
    EXPECT_DOUBLE_EQ(pluvo::elevation_series_step_value(c.x, c.series), c.step) << c.x;
  }
  EXPECT_EQ(pluvo::error_state.error_code, 0);
  EXPECT_EQ(pluvo::printed_by([&] { EXPECT_EQ(pluvo::elevation_series_value(NAN, s), 0.0); }),
            "Error: something is really messed up with your elevation series [curve].\n");
  EXPECT_EQ(pluvo::error_state.error_terminate, 0);  // only a message
}

TEST(ElevationSeriesLookup, AMissingOrEmptySeriesStopsTheRun) {
  fresh_lists lists;
  pluvo::elevation_series* empty = pluvo::new_elevation_series();
  empty->name = "dry";
  struct failure_case {
    const pluvo::elevation_series* series;
    bool step;
    const char* message;
  };
  const failure_case cases[] = {
      {nullptr, false, "Error: attempting to extract a value from an elevation series that does not exist.\n"},
      {nullptr, true, "Error: attempting to extract a value from an elevation series that does not exist.\n"},
      {empty, false, "Error: attempting to extract a value from an elevation series [dry] with no entries.\n"},
  };
  for (const failure_case& c : cases) {
    pluvo::error_state = pluvo::error_state_record();
    const std::string out = pluvo::printed_by([&] {
      EXPECT_EQ(c.step ? pluvo::elevation_series_step_value(1.0, c.series)
                       : pluvo::elevation_series_value(1.0, c.series),
                0.0);
    });
    EXPECT_EQ(out, std::string(c.message) + "\n");
    EXPECT_EQ(pluvo::error_state.error_terminate, 1) << c.message;
  }
}

TEST(PumpRate, FromTheTimeSeriesAtTheTimeOrTheElevationSeriesAtTheLevel) {
  fresh_lists lists;
  pluvo::elevation_series* curve = pluvo::new_elevation_series();
  curve->x = {0.0, 1.0};
  curve->y = {0.0, 2.0};
  curve->count = 2;
  pluvo::time_series* rate = pluvo::new_time_series();
  rate->times = {10.0, 12.0};
  rate->values = {1.0, 3.0};
  rate->count = 2;
  pluvo::pump_record by_level;
  by_level.elevation_series = 0;
  pluvo::pump_record by_time;
  by_time.flow_type = 1;
  by_time.series = rate;
  EXPECT_DOUBLE_EQ(pluvo::pump_rate(by_level, 11.0, 0.25), 0.5);
  EXPECT_DOUBLE_EQ(pluvo::pump_rate(by_time, 11.0, 0.25), 2.0);
  pluvo::channel_pump_list = {by_level, by_time};
  EXPECT_EQ(pluvo::channel_pump(2)->series, rate);
  EXPECT_EQ(pluvo::channel_pump(0), nullptr);
  EXPECT_EQ(pluvo::channel_pump(3), nullptr);
  pluvo::channel_pump_list.clear();
}

}  // namespace
