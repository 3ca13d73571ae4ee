// The hourly weather phase of a long-term project, read through the real project reader: the
// catch-up to a start date, the end of the data, the copy to the cells and the orographic lapse
// rate. The set-up runs up to the time loop and the test steps the phase hour by hour.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "hydromet/hydromet_phases.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::write_file;

struct hour_seen {
  int hour;
  double temperature;  // degrees C
  double dalr;
};

struct phase_run {
  pluvo_test::set_up_result set_up;
  std::vector<hour_seen> hours;
  std::string loop_out;  // what the set-up and the hourly steps printed
  bool kept_running = true;
  double next_time = 0.0, et_next_time = 0.0;
  bool cells_follow_station = true;
  double station_lapse_rate = 0.0, station_elev = 0.0;
};

// Hourly KAL records of 1 June 2020 from 7:00 with the given temperatures (degrees F).
std::string kal_hours(const std::vector<int>& fahrenheit) {
  std::string text;
  for (size_t k = 0; k < fahrenheit.size(); ++k)
    text += "2020 6 1 " + std::to_string(7 + k) + " 29.92 50 30 10 " + std::to_string(fahrenheit[k]) +
            " 100.0 300.0\n";
  return text;
}

std::string orographic_file(const char* base, const char* gauge, const std::vector<double>& celsius) {
  std::string text = std::string("Orographic gages\nbase ") + base + " gauge " + gauge + "\nyr mo dy hr temp\n";
  for (size_t k = 0; k < celsius.size(); ++k)
    text += "2020 6 1 " + std::to_string(7 + k) + " " + std::to_string(celsius[k]) + "\n";
  return text;
}

// Runs the project's set-up past the refusal, the pre-run scan and the clock start, then the
// hourly phase at each of its hours. from_start_date: the strip project's START_DATE 2020 6 1
// at 10:00 and its uniform rain; otherwise a rain file and the data's own start.
// last_event_running: the last event of the file is still running when the data end.
phase_run run_hours(const std::string& kal, bool from_start_date, const std::string& extra_cards = "",
                    bool last_event_running = false, const char* weather_card = "HMET_KAL met.kal\n") {
  pluvo_test::write_strip_grid();
  write_file("met.kal", kal);
  std::string cards = pluvo_test::strip_cards();
  if (!from_start_date) {
    write_file("storm.gag", "EVENT one\nNRGAG 1\nNRPDS 2\nCOORD 0 0 g\nGAGES 2020 6 1 7 0 1\nGAGES 2020 6 1 8 0 1\n");
    cards.replace(cards.find("PRECIP_UNIF\n"), 12, "PRECIP_FILE storm.gag\n");
    for (const char* card : {"RAIN_INTENSITY 36\n", "RAIN_DURATION 10\n", "START_DATE 2020 6 1\n", "START_TIME 10 0\n"})
      cards.erase(cards.find(card), std::string(card).size());
  }
  write_file("w.prj", "PLUVOPROJECT\n" + cards + "LONG_TERM\n" + weather_card + "LATITUDE 40\nLONGITUDE -105\nGMT -7\n" +
                          extra_cards);
  phase_run run;
  run.set_up = pluvo_test::set_up_past_refusal("w.prj", [&](pluvo::model_state& m) {
    run.station_lapse_rate = m.station_lapse_rate;
    run.station_elev = m.hmet_station_elev;
    [&] {
      pluvo::scan_precip_events(m);
      if (pluvo::error_state.error_code != 0) return;
      pluvo::init_simulation_clock(m);
      // A step between the hours changes nothing.
      m.cur_julian = m.hmet_next_time - 0.5 / 24.0;
      pluvo::update_hydrometeorology(m);
      if (m.hmet_records_read != 2) ADD_FAILURE() << "the phase acted between its hours";
      for (int n = 0; n < 40 && m.keep_running && m.hmet_next_time > 0.0; ++n) {
        m.cur_julian = m.hmet_next_time;
        if (last_event_running) {
          m.event_in_progress = 1;
          m.event_number = m.event_count;
        }
        pluvo::update_hydrometeorology(m);
        if (m.hmet_last_time != m.cur_julian) continue;
        run.hours.push_back({m.hmet_hour, m.hmet_temperature, m.dalr_value});
        for (int c = 1; c <= m.cell_count; ++c)
          if (m.temper_gridded[size_t(c)] != m.hmet_temperature || m.pres_gridded[size_t(c)] != m.hmet_pressure)
            run.cells_follow_station = false;
        const auto& row = m.Gage_XYZ_Lev_P_rh_c_w_t_qh[0];
        if (row[8] != m.hmet_temperature || row[4] != m.hmet_pressure) run.cells_follow_station = false;
      }
      run.kept_running = m.keep_running != 0;
      run.next_time = m.hmet_next_time;
      run.et_next_time = m.et_next_time;
    }();
  });
  run.loop_out = run.set_up.out;
  return run;
}

double from_f(double f) { return (f - 32.0) * 0.5555555555555556; }

std::vector<int> hours_of(const phase_run& r) {
  std::vector<int> h;
  for (const auto& s : r.hours) h.push_back(s.hour);
  return h;
}

TEST(HmetPhase, AStartThreeHoursInUsesTheFourthRecordAndEndsWithTheData) {
  pluvo_test::scratch_dir dir;
  const phase_run r = run_hours(kal_hours({50, 51, 52, 53, 54, 55, 56, 57}), true);
  EXPECT_FALSE(r.set_up.refused);  // long-term runs are built
  ASSERT_FALSE(r.set_up.stopped) << r.set_up.out;
  // 10:00 is the fourth record; the hour whose read meets the end runs with the last record.
  EXPECT_EQ(hours_of(r), (std::vector<int>{10, 11, 12, 13, 14, 14})) << r.loop_out;
  ASSERT_EQ(r.hours.size(), 6u);
  EXPECT_DOUBLE_EQ(r.hours[0].temperature, from_f(53));
  EXPECT_DOUBLE_EQ(r.hours[5].temperature, from_f(57));
  EXPECT_TRUE(r.cells_follow_station);
  EXPECT_FALSE(r.kept_running);
  EXPECT_NE(r.loop_out.find("End of meteorology data reached.  PLUVO terminated\n"), std::string::npos) << r.loop_out;
}

TEST(HmetPhase, TheDataEndingInsideTheLastEventStopsTheHourlyUpdatesOnly) {
  pluvo_test::scratch_dir dir;
  const phase_run r = run_hours(kal_hours({50, 51, 52}), false, "", true);
  ASSERT_FALSE(r.set_up.stopped) << r.set_up.out;
  EXPECT_EQ(hours_of(r), (std::vector<int>{7, 8, 9, 9})) << r.loop_out;
  EXPECT_TRUE(r.kept_running);
  EXPECT_EQ(r.next_time, -10.0);
  EXPECT_EQ(r.et_next_time, -10.0);
  EXPECT_EQ(r.loop_out.find("End of meteorology data reached."), std::string::npos);
}

TEST(HmetPhase, TheOrographicLapseRateIsClampedAndStaysInStepWithTheRecords) {
  pluvo_test::scratch_dir dir;
  // Station 50 F (10 C) then 68 F (20 C); the orographic gauge 1000 m below it.
  write_file("orog.txt", orographic_file("1000", "2000", {0.0, 25.0}));
  const phase_run r = run_hours(kal_hours({50, 68}), false, "HMET_OROG_GAGES orog.txt\n");
  ASSERT_FALSE(r.set_up.stopped) << r.set_up.out;
  ASSERT_GE(r.hours.size(), 2u) << r.loop_out;
  EXPECT_EQ(r.hours[0].dalr, 0.00981);  // 10 degrees colder 1000 m lower: 0.01, clamped
  EXPECT_EQ(r.hours[1].dalr, 0.0);      // warmer below: no lapse
  EXPECT_EQ(r.station_lapse_rate, -5.0);

  // From a start date the orographic file is read along with the catch-up.
  write_file("orog.txt", orographic_file("1000", "2000", {30, 30, 30, 0, 30, 30}));
  const phase_run late = run_hours(kal_hours({50, 51, 52, 53, 54, 55}), true, "HMET_OROG_GAGES orog.txt\n");
  ASSERT_GE(late.hours.size(), 2u) << late.loop_out;
  EXPECT_EQ(late.hours[0].dalr, 0.00981);
  EXPECT_EQ(late.hours[1].dalr, 0.0);
}

TEST(HmetPhase, EqualOrographicElevationsStopAtTheHeader) {
  pluvo_test::scratch_dir dir;
  write_file("orog.txt", orographic_file("1500", "1500", {0.0}));
  const phase_run r = run_hours(kal_hours({50, 51}), false, "HMET_OROG_GAGES orog.txt\n");
  EXPECT_NE(r.loop_out.find("Error: the orographic station file orog.txt gives the same base and gauge "
                            "elevation\n(1500.000000 m); the lapse rate between them is undefined.\n"),
            std::string::npos)
      << r.loop_out;
  EXPECT_TRUE(r.hours.empty());
}

TEST(HmetPhase, TheStationTakesItsCardsWithOrographicVariationOn) {
  const struct {
    const char* cards;
    double lapse, elevation;
  } cases[] = {
      {"", 0.0, 0.0},
      {"OROGVAR_HMET\n", -5.0, 0.0},
      {"OROGVAR_HMET\nHMET_LAPSE_RATE 0.3\nHMET_ELEV_GAGE 1500\n", 0.3, 1500.0},
      {"HMET_LAPSE_RATE 0.3\nHMET_ELEV_GAGE 1500\n", 0.0, 0.0},
  };
  for (const auto& c : cases) {
    pluvo_test::scratch_dir dir;
    const phase_run r = run_hours(kal_hours({50}), false, c.cards);
    EXPECT_EQ(r.station_lapse_rate, c.lapse) << c.cards;
    EXPECT_EQ(r.station_elev, c.elevation) << c.cards;
  }
}

TEST(HmetPhase, WeatherGridsFillTheCellsThemselves) {
  pluvo_test::scratch_dir dir;
  // One 100 m weather cell over the whole strip (north edge 30, west edge 0).
  for (const char* hour : {"07", "08"})
    for (const char* s : {"_Clod", "_Prcp", "_Pres", "_RlHm", "_Temp", "_Drad", "_Grad", "_WndS"})
      write_file(std::string("w20200601") + hour + s + ".asc",
                 std::string("ncols 1\nnrows 1\nxllcorner 0\nyllcorner -70\ncellsize 100\nNODATA_value -9999\n") +
                     (std::string(s) == "_Temp" ? (hour[1] == '7' ? "50\n" : "68\n") : "10\n"));
  write_file("list.txt", "w2020060107\nw2020060108\n");
  const phase_run r = run_hours("", false, "", false, "HMET_ASCII list.txt\n");
  ASSERT_FALSE(r.set_up.stopped) << r.set_up.out;
  EXPECT_NE(r.loop_out.find("End of hmet_ASCII file encountered after 2 lines\n"), std::string::npos) << r.loop_out;
  EXPECT_EQ(hours_of(r), (std::vector<int>{7, 8, 8})) << r.loop_out;
  ASSERT_EQ(r.hours.size(), 3u);
  EXPECT_DOUBLE_EQ(r.hours[0].temperature, 10.0);
  EXPECT_DOUBLE_EQ(r.hours[1].temperature, from_f(68));
  EXPECT_TRUE(r.cells_follow_station);  // one weather cell: every cell is the mean
  EXPECT_NE(r.loop_out.find("End of meteorology data reached.  PLUVO terminated\n"), std::string::npos);
}

}  // namespace
