// Snow of continuous runs: a winter on the strip watershed through the real project reader, the
// melt models' formulas, the elevation-band parameters and the melt release between storms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include "common/printed.hpp"
#include "input/table_fixture.hpp"
#include "hydromet/snow_model.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"
#include "soil/soil_phases.hpp"

namespace {

using pluvo_test::write_file;

// Hourly KAL weather from 10 January 2021: a constant Fahrenheit temperature per day.
std::string winter_weather(const std::vector<int>& fahrenheit_by_day) {
  std::string text;
  char line[128];
  for (size_t d = 0; d < fahrenheit_by_day.size(); ++d)
    for (int hour = 0; hour < 24; ++hour) {
      std::snprintf(line, sizeof line, "2021 1 %d %d 29.92 70 8 4 %d 0.0 0.0\n", int(10 + d), hour,
                    fahrenheit_by_day[d]);
      text += line;
    }
  return text;
}

// Twenty minutes of 60 mm/h on 10 January at 10:00, and a dry record on the given day at 20:00
// that keeps the run going until then.
std::string one_snowfall(int last_day = 14) {
  char last[160];
  std::snprintf(last, sizeof last,
                "EVENT \"dry\"\nNRGAG 1\nNRPDS 2\nCOORD 15 20 \"gauge\"\n"
                "GAGES 2021 1 %d 20 00 0.0\nGAGES 2021 1 %d 20 01 0.0\n", last_day, last_day);
  return "EVENT \"snow\"\nNRGAG 1\nNRPDS 3\nCOORD 15 20 \"gauge\"\n"
         "GAGES 2021 1 10 10 00 0.0\nGAGES 2021 1 10 10 01 60.0\nGAGES 2021 1 10 10 21 0.0\n" + std::string(last);
}

double cell_sum(const std::vector<double>& v, int n) {
  double s = 0.0;
  for (int i = 1; i <= n && size_t(i) < v.size(); ++i) s += v[size_t(i)];
  return s;
}

// What the snow of a run did, in metres of water summed over the cells.
struct winter_run {
  pluvo_test::project_result result;
  std::string summary;
  double put_on_pack = 0.0;     // by the rainfall application
  double rain_depth = 0.0;      // the gross rain of those steps
  double released = 0.0;        // melt moved onto the ground
  double swe_start = 0.0, swe_end = 0.0, melt_held_end = 0.0, swe_max = 0.0;
  bool woke_by_melt = false;    // a release found the surface dry and wet it
  double infiltrated_after_wake = 0.0;  // m3
  bool density_sound = true;    // every density finite and at most 0.6
};

std::string soil_cards() {
  return pluvo_test::redistribution_soil("0.2") + "SOIL_MOIST_DEPTH 0.6\nTOP_LAYER_DEPTH 0.2\n";
}

winter_run run_winter(const std::vector<int>& fahrenheit_by_day, const std::string& snow_cards) {
  write_file("met.kal", winter_weather(fahrenheit_by_day));
  write_file("storms.gag", one_snowfall());
  pluvo_test::write_long_term_maps();
  winter_run run;
  double swe = 0.0, ov = 0.0, infil_at_wake = -1.0;
  bool first = true, dry = false;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    const std::string p = phase;
    const int n = m.cell_count;
    if (m.snow_swe.empty()) return;
    if (first && p == "advance_clock") {
      run.swe_start = cell_sum(m.snow_swe, n);
      first = false;
    }
    if (p == "apply_rainfall") {
      swe = cell_sum(m.snow_swe, n);
    } else if (p == "apply_cell_inflows") {
      const double added = cell_sum(m.snow_swe, n) - swe;
      run.put_on_pack += added;
      if (added > 0.0)
        for (int i = 1; i <= n; ++i) run.rain_depth += m.cell_rain_rate[size_t(i)] * 60.0 / 3600000.0;
    } else if (p == "release_melt_and_wake") {
      ov = cell_sum(m.ov_depth, n);
      dry = m.ov_water_present == 0;
    } else if (p == "update_soil_moisture") {
      run.released += cell_sum(m.ov_depth, n) - ov;
      if (dry && m.ov_water_present == 1 && infil_at_wake < 0.0) {
        run.woke_by_melt = true;
        infil_at_wake = m.infil_volume_total;
      }
      run.swe_max = std::max(run.swe_max, cell_sum(m.snow_swe, n));
      for (int i = 1; i <= n; ++i) {
        const double rho = m.snow_density[size_t(i)];
        if (!std::isfinite(rho) || rho > 0.6 || !std::isfinite(m.snow_depth[size_t(i)])) run.density_sound = false;
      }
    } else if (p == "write_run_summary") {
      run.swe_end = cell_sum(m.snow_swe, n);
      run.melt_held_end = cell_sum(m.snow_melt_to_ov, n);
      if (infil_at_wake >= 0.0) run.infiltrated_after_wake = m.infil_volume_total - infil_at_wake;
    }
  });
  run.result = pluvo_test::run_strip_cards(
pluvo_test::long_term_cards(soil_cards()) + snow_cards);
  pluvo::set_phase_observer(nullptr);
  run.summary = pluvo_test::read_file("w.sum");
  return run;
}

TEST(SnowRun, AWinterBuildsAPackMeltsItAndTheMeltWakesTheModelAndInfiltrates) {
  pluvo_test::scratch_dir dir;
  // A cold day with the snowfall, then three mild days.
  const winter_run r = run_winter({14, 14, 50, 50, 50},
                                  "NWSRFS_SNOW\nNWSRFS_MF_MAX 1.2\nNWSRFS_MF_MIN 1.2\nNWSRFS_SCF 1.2\nSNOW_PXTEMP 0.5\n");
  ASSERT_FALSE(r.result.stopped) << r.result.out;
  // The snowfall, with its correction factor, builds the pack.
  EXPECT_GT(r.put_on_pack, 0.1);
  EXPECT_NEAR(r.put_on_pack, 1.2 * r.rain_depth, 1e-12);
  EXPECT_NEAR(r.swe_max, r.put_on_pack, 1e-12);
  EXPECT_NE(r.summary.find("********WARNING - YOU HAVE SNOW ACCUMULATION !!!!!!!!!!!!!!!!"), std::string::npos)
      << r.summary;
  // Spring: the pack is gone, every drop of it on the ground or on its way there.
  EXPECT_LT(r.swe_end, 1e-12);
  EXPECT_NEAR(r.put_on_pack, (r.swe_end - r.swe_start) + r.released + r.melt_held_end, 1e-12);
  // The first melt found the watershed dry and asleep: it woke the model and soaked in.
  EXPECT_TRUE(r.woke_by_melt);
  EXPECT_GT(r.infiltrated_after_wake, 0.5 * r.released * 100.0);
  EXPECT_TRUE(r.density_sound);
}

// The values of a numbered grid after its six header lines.
std::vector<double> grid_values(const std::string& text) {
  std::vector<double> v;
  size_t at = 0;
  for (int i = 0; i < 6 && at != std::string::npos; i++) at = text.find('\n', at) + 1;
  std::istringstream in(text.substr(at));
  for (double x; in >> x;) v.push_back(x);
  return v;
}

// The snow cards of a cold winter that keeps its pack: the water equivalent, depth and
// temperature as numbered grids, then the water equivalent as an ASCII dataset of every step,
// whose last record is the pack the summary reports.
TEST(SnowRun, SnowMapsOfAColdWinterInEveryFormAndTheLastIsTheSummarysPack) {
  pluvo_test::scratch_dir dir;
  std::filesystem::create_directories("snow");
  const std::string snow = "NWSRFS_SNOW\nNWSRFS_MF_MAX 1.2\nNWSRFS_MF_MIN 1.2\nSNOW_PXTEMP 0.5\n";
  const winter_run grids = run_winter({14, 14, 14, 14, 14}, snow + "SNOW_SWE_FILE snow\nSNOW_SD_FILE snow/\nSNOW_TEMP snow\n");
  ASSERT_FALSE(grids.result.stopped) << grids.result.out;
  for (const char* name : {"snow/swe.0001.asc", "snow/sd.0001.asc", "snow/swe.0003.asc", "snow/sd.0003.asc",
                           "snow/Snow_Temperature.0001"}) {
    const std::vector<double> v = grid_values(pluvo_test::read_file(name));
    ASSERT_EQ(v.size(), 6u) << name;
    for (double x : v) EXPECT_TRUE(std::isfinite(x)) << name;
  }
  // By the last map the snowfall lies on every cell; the depth map holds the model's depths.
  int last_set = 0;
  for (const auto& f : std::filesystem::directory_iterator("snow"))
    if (f.path().filename().string().rfind("swe.", 0) == 0) last_set++;
  ASSERT_GE(last_set, 3);
  char swe_name[64], sd_name[64];
  std::snprintf(swe_name, sizeof swe_name, "snow/swe.%04d.asc", last_set);
  std::snprintf(sd_name, sizeof sd_name, "snow/sd.%04d.asc", last_set);
  for (double x : grid_values(pluvo_test::read_file(swe_name))) EXPECT_GT(x, 0.01) << swe_name;
  for (double x : grid_values(pluvo_test::read_file(sd_name))) EXPECT_GE(x, 0.0) << sd_name;

  const winter_run every_step = run_winter({14, 14, 14, 14, 14}, snow + "MAP_TYPE 1\nMAP_FREQ 1\nSNOW_SWE_FILE swe.dat\n");
  ASSERT_FALSE(every_step.result.stopped) << every_step.result.out;
  const std::string swe = pluvo_test::read_file("swe.dat");
  EXPECT_EQ(swe.rfind("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1024\nND 6\nNC 6\nNAME snow_water_equivalent\n", 0), 0u)
      << swe.substr(0, 100);
  ASSERT_EQ(swe.substr(swe.size() - 6), "ENDDS\n");
  std::istringstream last(swe.substr(swe.rfind("TS 1 ")));
  std::string line;
  for (int i = 0; i <= 6; i++) std::getline(last, line);
  double mean = 0.0;
  for (int i = 0; i < 6 && std::getline(last, line); i++) mean += std::stod(line) / 6.0;
  const double pack = pluvo_test::number_after(every_step.summary, "Final volume of snow=");
  ASSERT_GT(pack, 1.0);
  EXPECT_NEAR(mean * 6.0 * 100.0, pack, 1e-3 * pack);
}

// The snowfall correction is water the gauge missed: the books take the corrected fall as
// precipitation, so the event and the run close with the pack holding more than was measured.
TEST(SnowRun, CorrectedSnowfallIsBookedAsWhatThePackReceived) {
  pluvo_test::scratch_dir dir;
  const winter_run r = run_winter({14, 14, 50, 50, 50},
                                  "NWSRFS_SNOW\nNWSRFS_MF_MAX 1.2\nNWSRFS_MF_MIN 1.2\nNWSRFS_SCF 1.1\nSNOW_PXTEMP 0.5\n");
  ASSERT_FALSE(r.result.stopped) << r.result.out;
  EXPECT_NEAR(r.put_on_pack, 1.1 * r.rain_depth, 1e-12);
  // The strip's six cells of 100 m2.
  EXPECT_NEAR(pluvo_test::number_after(r.summary, "Total amount of precip="), 1.1 * r.rain_depth * 100.0, 0.006)
      << r.summary;
  const std::vector<double> events = pluvo_test::numbers_after(r.summary, "mass conservation error:");
  EXPECT_FALSE(events.empty());
  for (double e : events)
    if (e != -100.0) {  // -100: an event without input
      EXPECT_LT(std::fabs(e), 1e-6) << r.summary;
    }
  EXPECT_NEAR(pluvo_test::number_after(r.summary, "Overall mass balance error ="), 0.0, 1e-6) << r.summary;
}

TEST(SnowRun, TemperatureIndexMeltAtAConstantTemperatureIsTheMeltFactorTimesTheDegreesAboveBase) {
  pluvo_test::scratch_dir dir;
  write_file("met.kal", winter_weather({50, 50}));
  write_file("storms.gag", "EVENT \"later\"\nNRGAG 1\nNRPDS 2\nCOORD 15 20 \"gauge\"\n"
                           "GAGES 2021 1 11 20 00 0.0\nGAGES 2021 1 11 20 01 0.0\n");
  pluvo_test::write_long_term_maps();
  struct step {
    std::vector<double> swe, T;
    double hours = 0.0;
  } now;
  int compared = 0;
  double worst = 0.0;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    const std::string p = phase;
    if (p == "long_term_snow_step") {
      now.swe = m.snow_swe;
      now.T = m.temper_gridded;
      now.hours = (m.cur_julian - m.snow_last_time) * 24.0;
    } else if (p == "release_melt_and_wake" && !now.swe.empty()) {
      for (int i = 1; i <= m.cell_count; ++i) {
        const double melt_mm = (now.swe[size_t(i)] - m.snow_swe[size_t(i)]) * 1000.0;
        if (melt_mm <= 0.0) continue;
        // Mf = 1.2 mm per degree and six hours; base 1 degree.
        const double expected = (now.T[size_t(i)] - 1.0) * 1.2 * now.hours / 6.0;
        worst = std::max(worst, std::fabs(melt_mm - expected));
        ++compared;
      }
      now.swe.clear();
    }
  });
  const auto r = pluvo_test::run_strip_cards(pluvo_test::long_term_cards(soil_cards()) +
                                             "INIT_SWE_DEPTH 0.5\nNWSRFS_SNOW\nNWSRFS_MF_MAX 1.2\nNWSRFS_MF_MIN 1.2\n"
                                             "NWSRFS_PLWHC 0\nSNOW_TEMP_BASE 1\n");
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_GE(compared, 6 * 30);
  EXPECT_LT(worst, 1e-9);
}

// Three storms, the first a snowfall, on a melting pack: water flowing over snow takes the
// SNOW_ROUGHNESS n, the rougher surface holds the rain-on-snow peak back, and the run balance
// closes, and so do the books of every event: the melt that drains between storms is the next
// storm's.
struct rough_run {
  pluvo_test::project_result result;
  std::string summary;
  int snowy_steps = 0, wrong_cells = 0;
  double first_peak = 0.0;  // m3/s at the outlet in the first two days
};

std::string three_rains() {
  std::string t;
  for (const char* when : {"2021 1 10 12", "2021 1 11 14", "2021 1 12 10"}) {
    const std::string w = when;
    t += "EVENT \"rain\"\nNRGAG 1\nNRPDS 3\nCOORD 15 20 \"gauge\"\nGAGES " + w + " 00 0.0\nGAGES " + w +
         " 01 60.0\nGAGES " + w + " 21 0.0\n";
  }
  return t;
}

rough_run run_rough(const std::string& snow_cards, double snow_n) {
  // The first storm falls as snow on a frozen day; the pack melts in the mild days after it.
  write_file("met.kal", winter_weather({14, 60, 60, 60}));
  write_file("storms.gag", three_rains());
  pluvo_test::write_long_term_maps();
  rough_run run;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    // Right after the overland step: the roughness it used.
    if (std::string(phase) != "drain_network_step" || !m.ov_water_on_land) return;
    bool snow = false;
    for (int i = 1; i <= m.cell_count; ++i) {
      const bool covered = m.snow_swe[size_t(i)] > 1e-16;
      snow = snow || covered;
      if (m.dist_rough[size_t(i)] != (covered ? snow_n : 0.03)) ++run.wrong_cells;
    }
    if (snow) ++run.snowy_steps;
    if (m.cur_julian - m.start_julian < 2.0) run.first_peak = std::max(run.first_peak, m.outlet_discharge);
  });
  run.result = pluvo_test::run_strip_cards(pluvo_test::long_term_cards(soil_cards()) +
                                           "NWSRFS_SNOW\nNWSRFS_MF_MAX 1.2\nNWSRFS_MF_MIN 1.2\n"
                                           "SNOW_PXTEMP 0.5\n" + snow_cards);
  pluvo::set_phase_observer(nullptr);
  run.summary = pluvo_test::read_file("w.sum");
  return run;
}

TEST(SnowRun, WaterOverSnowTakesTheSnowRoughnessAndTheBooksClose) {
  pluvo_test::scratch_dir dir;
  const rough_run smooth = run_rough("", 0.03);
  const rough_run r = run_rough("SNOW_ROUGHNESS 0.5\n", 0.5);
  ASSERT_FALSE(r.result.stopped) << r.result.out;
  ASSERT_FALSE(smooth.result.stopped) << smooth.result.out;
  EXPECT_GT(r.snowy_steps, 0);
  EXPECT_EQ(r.wrong_cells, 0);
  EXPECT_LT(r.first_peak, 0.9 * smooth.first_peak);
  const std::vector<double> events = pluvo_test::numbers_after(r.summary, "mass conservation error:");
  ASSERT_EQ(events.size(), 3u) << r.summary;
  for (double e : events) EXPECT_LT(std::fabs(e), 1e-6) << r.summary;
  for (double e : pluvo_test::numbers_after(smooth.summary, "mass conservation error:"))
    EXPECT_LT(std::fabs(e), 1e-6) << smooth.summary;
  EXPECT_NEAR(pluvo_test::number_after(r.summary, "Overall mass balance error ="), 0.0, 1e-6) << r.summary;
}

// With SNOW_DARCY the pack's conductivity is the card's; Manning over snow gives way to it.
TEST(SnowRun, SnowDarcyTakesOverFromSnowRoughness) {
  pluvo_test::scratch_dir dir;
  const rough_run r = run_rough("SNOW_ROUGHNESS 0.5\nSNOW_DARCY 0.001\n", 0.03);
  ASSERT_FALSE(r.result.stopped) << r.result.out;
  EXPECT_NE(r.result.out.find("Both manning and darcy flow are turned on for when snow is present \n"
                              "Turning off manning flow for when snow is present.  Darcy still turned on. \n"),
            std::string::npos)
      << r.result.out;
  EXPECT_GT(r.snowy_steps, 0);
  EXPECT_EQ(r.wrong_cells, 0);  // every cell kept its own n
  EXPECT_NEAR(pluvo_test::number_after(r.summary, "Overall mass balance error ="), 0.0, 1e-6) << r.summary;
}

TEST(SnowMelt, DayNumbersAndSeasonalWeights) {
  const struct {
    int month, day, n;
  } dates[] = {{3, 21, 0},  {3, 20, 364}, {4, 1, 11},   {5, 1, 41},   {6, 1, 72},   {7, 1, 102}, {8, 1, 133},
               {9, 1, 164}, {10, 1, 194}, {11, 1, 225}, {12, 1, 255}, {1, 1, 286},  {2, 1, 317}, {3, 1, 345}};
  for (const auto& d : dates) {
    int n = -1;
    ASSERT_TRUE(pluvo::snow_day_number(d.month, d.day, n));
    EXPECT_EQ(n, d.n) << d.month << "/" << d.day;
  }
  EXPECT_DOUBLE_EQ(pluvo::seasonal_melt_weight(0), 0.5);
  EXPECT_NEAR(pluvo::seasonal_melt_weight(92), 1.0, 1e-4);   // near the June solstice
  EXPECT_NEAR(pluvo::seasonal_melt_weight(275), 0.0, 1e-4);  // near the December solstice
  int n = 0;
  EXPECT_FALSE(pluvo::snow_day_number(13, 1, n));
  EXPECT_FALSE(pluvo::snow_day_number(0, 1, n));
}

// One cell of snow with the temperature-index model, its weather set as the hourly phase sets it.
std::unique_ptr<pluvo::model_state> one_snow_cell(double swe, double air) {
  auto m = std::make_unique<pluvo::model_state>();
  m->cell_count = 1;
  m->long_term_on = 1;
  m->nwsrfs_snow_on = 1;
  m->hmet_month = 1;
  m->hmet_day = 15;
  for (auto* v : {&m->snow_swe, &m->snow_depth, &m->snow_temperature, &m->snow_density, &m->snow_prev_air_temp,
                  &m->ATI_2, &m->D_2, &m->H_Val, &m->snow_melt_to_ov, &m->Wq, &m->Wi, &m->temper_gridded,
                  &m->rh_gridded, &m->pres_gridded, &m->vel_gridded, &m->eff_temp_gridded})
    v->assign(2, 0.0);
  for (auto* v : {&m->snow_mf_max_cell, &m->snow_mf_min_cell, &m->snow_fr_use_cell, &m->snow_tipm_cell,
                  &m->snow_nmf_cell, &m->snow_fua_cell, &m->snow_plwhc_cell, &m->snow_scf_cell})
    v->assign(2, 0.2);
  m->melt_occurred.assign(2, 0);
  m->SNOW_PRECIP_6HR.assign(2, {});
  m->Melt_Waves.assign(2, {});
  m->snap_pluvo_params.assign(2, {});
  m->snow_swe[1] = swe;
  m->temper_gridded[1] = air;
  m->rh_gridded[1] = 70.0;
  m->pres_gridded[1] = 1000.0;
  return m;
}

TEST(SnowMelt, HeavySnowAtOrBelowFreezingResetsTheAntecedentIndex) {
  const struct {
    double air, precip_mm, expected_index;
  } cases[] = {
      {-3.0, 5.0, -3.0},                    // more than 1.5 mm in the hour: the index is the air temperature
      {-3.0, 1.0, -10.0 + 7.0 * (1.0 - std::pow(0.8, 1.0 / 6.0))},  // light snow: the TIPM weight of an hour
      {0.0, 5.0, 0.0},                      // at 0 degrees heavy snow still resets it
  };
  for (const auto& c : cases) {
    auto m = one_snow_cell(0.1, c.air);
    m->ATI_2[1] = -10.0;
    m->H_Val[1] = c.precip_mm;
    pluvo::compute_snowmelt(*m, 3600.0);
    EXPECT_NEAR(m->ATI_2[1], c.expected_index, 1e-12) << c.air << " " << c.precip_mm;
    EXPECT_EQ(m->H_Val[1], 0.0);
  }
}

TEST(SnowMelt, CompactionKeepsTheDensityFiniteAndAtMostTheCap) {
  // All the pack's water is the step's new snow (no old snow): the compaction factor takes its
  // limit; and an old pack with melt water compacts hard.
  const struct {
    double swe, new_mm, density, depth, air, melt_held;
  } cases[] = {
      {0.002, 2.0, 0.3, 0.01, -5.0, 0.0},
      {0.002, 2.0, 0.0, 0.0, -5.0, 0.0},
      {0.2, 0.0, 0.1, 1.0, 5.0, 0.01},
      {0.2, 0.0, 0.5, 0.5, -20.0, 0.0},
  };
  for (const auto& c : cases) {
    auto m = one_snow_cell(c.swe, c.air);
    m->snow_density[1] = c.density;
    m->snow_depth[1] = c.depth;
    m->H_Val[1] = c.new_mm;
    m->snow_melt_to_ov[1] = c.melt_held;
    m->Melt_Waves[1][1] = {c.melt_held, c.melt_held};
    for (int step = 0; step < 3; ++step) pluvo::compute_snowmelt(*m, 3600.0);
    EXPECT_TRUE(std::isfinite(m->snow_density[1]) && std::isfinite(m->snow_depth[1]) &&
                std::isfinite(m->snow_temperature[1]));
    EXPECT_LE(m->snow_density[1], 0.6);
    EXPECT_GT(m->snow_depth[1], 0.0);
    EXPECT_LE(m->snow_temperature[1], 0.0);
  }
}

// Band file cases on the strip (elevations 10.2 10.1 10.0 / 10.2 10.1 10.05).
TEST(SnowBands, CardOverBandOverDefaultWithOpenBounds) {
  pluvo_test::scratch_dir dir;
  pluvo_test::write_strip_grid();
  write_file("met.kal", winter_weather({20}));
  write_file("storms.gag", one_snowfall());
  pluvo_test::write_long_term_maps();
  write_file("bands.txt",
             "Number_Bands: 2\nLower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_USE TIPM NMF FUA PLWHC\n"
             "10.0 10.15 0.3 0.9 1.5 0.4 0.1 0.3 0.5 0.08\n"
             "10.08 10.12 0.35 0.95 1.6 0.45 0.15 0.35 0.55 0.09\n");
  write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::long_term_cards("") +
                          "NWSRFS_SNOW\nNWSRFS_ELEV_SNOW bands.txt\nNWSRFS_SCF 1.1\nSNOW_TEMP_BASE 0.5\n");
  std::vector<std::vector<double>> got;
  double base = 0.0;
  const auto r = pluvo_test::set_up_past_refusal("w.prj", [&](pluvo::model_state& m) {
    got = {m.snow_mf_min_cell, m.snow_mf_max_cell, m.snow_scf_cell, m.snow_fr_use_cell,
           m.snow_tipm_cell,   m.snow_nmf_cell,    m.snow_fua_cell, m.snow_plwhc_cell};
    base = m.snow_base_temp;
  });
  ASSERT_FALSE(r.refused || r.stopped) << r.out;
  ASSERT_EQ(got.size(), 8u);
  EXPECT_EQ(base, 0.5);
  const std::vector<double> defaults = {0.0, 1.2, 1.1, 0.0, 0.2, 0.2, 0.18, 0.05};
  const std::vector<double> band1 = {0.3, 0.9, 1.1, 0.4, 0.1, 0.3, 0.5, 0.08};
  const std::vector<double> band2 = {0.35, 0.95, 1.1, 0.45, 0.15, 0.35, 0.55, 0.09};
  // Cell by cell: 10.2 above both bands, 10.1 in the later band, 10.0 on a lower edge, 10.05 in
  // the first band only.
  const std::vector<const std::vector<double>*> expected = {nullptr, &defaults, &band2, &defaults,
                                                            &defaults, &band2, &band1};
  for (int cell = 1; cell <= 6; ++cell)
    for (size_t p = 0; p < 8; ++p)
      EXPECT_DOUBLE_EQ(got[p][size_t(cell)], (*expected[size_t(cell)])[p]) << "cell " << cell << " parameter " << p;
}

TEST(SnowBands, AMisspeltHeaderWordOrAShortRowStopsWithTheFormatHelp) {
  const std::string help =
      "Error reading elevation based NWSRFS snow input parameter file: bands.txt\n\n"
      "The Elevation based NWSRFS input file should have the following format: \n\n"
      "Number_Bands:\tint(number of elevation bands) \n"
      "Lower_Elevation\tUpper_Elevation\tMF_Min\tMF_Max\tSCF\tFR_USE\tTIPM\tNMF\tFUA\tPLWHC \n"
      "0              \t##Elev_1\t      ##    \t##    \t## \t##\t\t\t##\t\t##\t##\t##  \n"
      "##Elev_1       \t##Elev_2\t      ##    \t##    \t## \t##\t\t\t##\t\t##\t##\t##  \n"
      "##Elev_2       \t##Elev_3\t      ##    \t##    \t## \t##\t\t\t##\t\t##\t##\t##  \n"
      "...            \t100000000\t      ##    \t##    \t## \t##\t\t\t##\t\t##\t##\t##  \n\n";
  const std::string line = "Error reading elevation based NWSRFS snow input parameter file: bands.txt\n";
  const struct {
    const char* file;
    std::string expected;
  } cases[] = {
      {"Number_Bands: 1\nLower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_Use TIPM NMF FUA PLWHC\n"
       "0 100 0.3 0.9 1.5 0.4 0.1 0.3 0.5 0.08\n",
       line + help},
      {"Number_Bands 1\nLower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_USE TIPM NMF FUA PLWHC\n"
       "0 100 0.3 0.9 1.5 0.4 0.1 0.3 0.5 0.08\n",
       line + help},
      {"Number_Bands: 2\nLower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_USE TIPM NMF FUA PLWHC\n"
       "0 100 0.3 0.9 1.5 0.4 0.1 0.3 0.5 0.08\n100 200 0.3 0.9\n",
       help},
  };
  for (const auto& c : cases) {
    pluvo_test::scratch_dir dir;
    pluvo_test::write_strip_grid();
    write_file("met.kal", winter_weather({20}));
    write_file("storms.gag", one_snowfall());
    pluvo_test::write_long_term_maps();
    write_file("bands.txt", c.file);
    std::vector<double> mf_max;
    write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::long_term_cards("") + "NWSRFS_SNOW\nNWSRFS_ELEV_SNOW bands.txt\n");
    const auto r = pluvo_test::set_up_past_refusal("w.prj");
    EXPECT_TRUE(r.stopped);
    EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out;
  }
}

// The release phase on two cells of a sleeping watershed whose melt clock is due now.
std::unique_ptr<pluvo::model_state> melting_watershed(double seconds_since_last) {
  auto m = std::make_unique<pluvo::model_state>();
  m->cell_count = 2;
  m->long_term_on = 1;
  m->melt_stepping_on = 1;
  m->melt_occurring = 1;
  m->cur_julian = 2459000.5;
  m->time_tolerance = 1.1574074074074074e-07;
  m->time_step = 60.0;
  m->melt_step_interval = 60.0 / 86400.0;
  m->melt_step_next_time = m->cur_julian;
  m->melt_step_last_time = m->cur_julian - seconds_since_last / 86400.0;
  m->melt_wave_count = 1;
  m->snow_swe = {0.0, 0.1, 0.1};
  m->ov_depth = {0.0, 0.0, 0.0};
  m->snow_melt_to_ov = {0.0, 0.004, 1e-5};
  m->Melt_Waves.assign(3, {});
  m->Melt_Waves[1][1] = {0.004, 0.002};
  m->Melt_Waves[2][1] = {1e-5, 0.002};  // holds less than its release: empties at once
  m->step_next_time = m->infil_next_time = 1e9;
  return m;
}

TEST(MeltRelease, ProRataBelowAnHourWholeAtAnHourAndTheWakeUpClocks) {
  const struct {
    double seconds, released_1;
  } cases[] = {{60.0, 0.002 / 60.0}, {1800.0, 0.001}, {3599.98, 0.002 / 3600.0 * 3599.98}, {3599.99, 0.002}, {7200.0, 0.002}};
  for (const auto& c : cases) {
    auto m = melting_watershed(c.seconds);
    pluvo::release_melt_and_wake(*m);
    // The clock resolves Julian days near 2.5e6 to about 4e-5 s.
    EXPECT_NEAR(m->ov_depth[1], c.released_1, 1e-11) << c.seconds;
    EXPECT_NEAR(m->snow_melt_to_ov[1] + m->ov_depth[1], 0.004, 1e-17);
    EXPECT_DOUBLE_EQ(m->ov_depth[2], 1e-5);
    EXPECT_EQ(m->Melt_Waves[2][1][0], 0.0);
    EXPECT_EQ(m->snow_melt_to_ov[2], 0.0);
    EXPECT_EQ(m->melt_occurring, 1);
    // Woken: every clock on the model step from now.
    const double d = 60.0 / 86400.0;
    EXPECT_EQ(m->ov_water_present, 1);
    EXPECT_EQ(m->step_interval_s, 60.0);
    EXPECT_EQ(m->infil_interval_s, 60.0);
    EXPECT_DOUBLE_EQ(m->step_interval, d);
    EXPECT_DOUBLE_EQ(m->infil_interval, d);
    EXPECT_EQ(m->step_last_time, m->cur_julian);
    EXPECT_EQ(m->infil_last_time, m->cur_julian);
    EXPECT_DOUBLE_EQ(m->step_next_time, m->cur_julian + d);
    EXPECT_DOUBLE_EQ(m->infil_next_time, m->cur_julian + d);
    EXPECT_DOUBLE_EQ(m->melt_step_next_time, m->cur_julian + m->melt_step_interval);
  }
}

TEST(MeltRelease, SnowCalibrationDiscardsTheMeltAndNeverWakes) {
  auto m = melting_watershed(60.0);
  m->snow_calibrate_on = 1;
  pluvo::release_melt_and_wake(*m);
  EXPECT_EQ(m->ov_water_present, 0);
  EXPECT_EQ(m->ov_depth[1], 0.0);
  EXPECT_EQ(m->step_next_time, 1e9);
}

TEST(MeltRelease, AWetSurfaceTakesTheMeltWithoutRetimingAndAnEndedMeltHandsBack) {
  auto m = melting_watershed(60.0);
  m->ov_water_present = 1;
  pluvo::release_melt_and_wake(*m);
  EXPECT_GT(m->ov_depth[1], 0.0);
  EXPECT_EQ(m->step_next_time, 1e9);

  auto ended = melting_watershed(60.0);
  ended->melt_occurring = 0;
  ended->event_number = 1;
  ended->event_count = 2;
  ended->event_start_dates = {2459000.0, 2459003.25};
  ended->step_interval = 60.0 / 86400.0;
  pluvo::release_melt_and_wake(*ended);
  EXPECT_EQ(ended->melt_stepping_on, 0);
  EXPECT_EQ(ended->melt_step_next_time, 2459003.25);
  EXPECT_DOUBLE_EQ(ended->melt_step_last_time, 2459003.25 - 60.0 / 86400.0);
  EXPECT_EQ(ended->ov_depth[1], 0.0);
}

TEST(CanopySnow, SeasonWeights) {
  const struct {
    int month;
    double off, on;
  } months[] = {{1, 1, 0}, {2, 1, 0}, {3, 1, 0}, {4, 0.5, 0.5}, {5, 0, 1}, {6, 0, 1}, {7, 0, 1},
                {8, 0, 1}, {9, 0, 1}, {10, 0.5, 0.5}, {11, 1, 0}, {12, 1, 0}, {0, 0, 0}, {13, 0, 0}};
  for (const auto& mo : months) {
    double off = -1.0, on = -1.0;
    pluvo::canopy_season_weights(mo.month, off, on);
    EXPECT_EQ(off, mo.off) << mo.month;
    EXPECT_EQ(on, mo.on) << mo.month;
  }
}

// One forested cell holding a canopy load, with snow falling or not.
std::unique_ptr<pluvo::model_state> canopy_cell(double load, double snowfall_mm, double air, int month) {
  auto m = one_snow_cell(0.05 + snowfall_mm / 1000.0, air);
  m->cur_month = month;
  m->snow_px_temp = 0.0;
  for (auto* v : {&m->canopy_snow_load, &m->canopy_snow_sublimation, &m->canopy_snow_unload, &m->snow_canopy_value1,
                  &m->snow_canopy_value2, &m->snow_canopy_value3, &m->inc_solar_rad})
    v->assign(2, 0.0);
  m->canopy_snow_load[1] = load;
  m->H_Val[1] = snowfall_mm;
  m->snow_canopy_value1[1] = 1.0;
  m->snow_canopy_value2[1] = 3.0;
  m->snow_canopy_value3[1] = 1.0;
  return m;
}

TEST(CanopySnow, InterceptionMovesOnlyTheNewCatchAndKeepsTheLoad) {
  // Imax = 4.4 x the season's index: 4.4 in winter, 8.8 in April (both indices by half).
  const struct {
    int month;
    double load_mm, snowfall_mm;
  } cases[] = {{1, 0.0, 2.0}, {1, 3.0, 2.0}, {4, 3.0, 2.0}, {1, 4.4, 2.0}};
  for (const auto& c : cases) {
    auto m = canopy_cell(c.load_mm / 1000.0, c.snowfall_mm, -5.0, c.month);
    const double swe = m->snow_swe[1];
    const double imax = c.month == 4 ? 8.8 : 4.4;
    const double I = std::min(imax, c.load_mm + 0.7 * (imax - c.load_mm) * (1.0 - std::exp(-c.snowfall_mm / imax)));
    const double caught = std::max(std::min(I - c.load_mm, c.snowfall_mm), 0.0);
    pluvo::snow_canopy_interception(*m, 3600.0);
    EXPECT_NEAR(m->canopy_snow_load[1] * 1000.0, c.load_mm + caught, 1e-12) << c.month << " " << c.load_mm;
    EXPECT_NEAR(m->H_Val[1], c.snowfall_mm - caught, 1e-12);
    EXPECT_NEAR(m->snow_swe[1], swe - caught / 1000.0, 1e-15);
  }
}

TEST(CanopySnow, AThawMovesExactlyTheLoadAndABareCellKeepsItsSnowfall) {
  auto thaw = canopy_cell(0.001, 0.0, 10.0, 3);
  const double swe = thaw->snow_swe[1];
  EXPECT_EQ(pluvo::snow_canopy_interception(*thaw, 3600.0), 0);
  EXPECT_EQ(thaw->canopy_snow_load[1], 0.0);
  EXPECT_EQ(thaw->canopy_snow_unload[1], 0.001);
  EXPECT_NEAR(thaw->snow_swe[1], swe + 0.001, 1e-17);

  auto bare = canopy_cell(0.0, 2.0, -5.0, 1);
  bare->snow_canopy_value1[1] = 1e-17;
  const double bare_swe = bare->snow_swe[1];
  pluvo::snow_canopy_interception(*bare, 3600.0);
  EXPECT_EQ(bare->H_Val[1], 2.0);
  EXPECT_EQ(bare->snow_swe[1], bare_swe);
  EXPECT_EQ(bare->canopy_snow_load[1], 0.0);
}


// A forest (top row: canopy flag 1, leaf-on index 3, leaf-off index 1) beside open ground
// (bottom row), through the real project and mapping-table readers.
std::string forest_cards() {
  write_file("land.idx", std::string(pluvo_test::strip_header()) + "1 1 1\n2 2 2\n");
  write_file("w.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP land.idx Land use\nSNOW_CANOPY_INTERCEPTION Land use\n"
                      "NUM_IDS 2\nid\n" + pluvo_test::table_row(1, "1 3 1") + pluvo_test::table_row(2, "0 0 0"));
  return "MAPPING_TABLE w.cmt\nSNOW_CANOPY_INTERCEPT\nSNAP_SNOW_DEPTH\nSNAP_RETENTION\n";
}

TEST(SnowRun, ACanopyHoldsSnowThroughTheColdDropsItInTheThawAndTheDepthsComeFromTheLayeredPack) {
  pluvo_test::scratch_dir dir;
  // Two days at -10 C with the snowfall, then two at +10 C.
  write_file("met.kal", winter_weather({14, 14, 50, 50}));
  write_file("storms.gag", one_snowfall(13));
  pluvo_test::write_long_term_maps();
  const std::string canopy = forest_cards();
  const double area = 100.0;
  double swe_before_rain = 0.0, snowfall = 0.0, worst_cold = 0.0, worst_thaw = 0.0, unloaded = 0.0;
  double forest_load_cold = 0.0, open_load = 0.0, sublimated = 0.0, load_end = -1.0;
  int cold_steps = 0, thaw_steps = 0, pack_cells = 0, whole_load_drops = 0;
  bool depth_from_pack = true;
  std::vector<double> load_before;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    const std::string p = phase;
    const int n = m.cell_count;
    if (m.snow_swe.empty() || m.canopy_snow_load.empty()) return;
    if (p == "apply_rainfall") {
      swe_before_rain = cell_sum(m.snow_swe, n);
    } else if (p == "apply_cell_inflows") {
      snowfall += cell_sum(m.snow_swe, n) - swe_before_rain;
    } else if (p == "long_term_snow_step") {
      load_before = m.canopy_snow_load;
    } else if (p == "release_melt_and_wake" && m.snow_last_time == m.cur_julian) {
      const double sublimation = m.canopy_sublimation_total / area;
      if (m.hmet_temperature < 0.0) {
        // Snowfall x SCF = change in SWE + change in canopy load + sublimation.
        worst_cold = std::max(worst_cold, std::fabs(snowfall - (cell_sum(m.snow_swe, n) +
                                                                cell_sum(m.canopy_snow_load, n) + sublimation)));
        forest_load_cold = m.canopy_snow_load[1] + m.canopy_snow_load[2] + m.canopy_snow_load[3];
        open_load = std::max(open_load, m.canopy_snow_load[4] + m.canopy_snow_load[5] + m.canopy_snow_load[6]);
        ++cold_steps;
      } else {
        for (int c = 1; c <= n; ++c) {
          const size_t i = size_t(c);
          const double moved = m.canopy_snow_unload[i] + m.canopy_snow_sublimation[i];
          worst_thaw = std::max(worst_thaw, std::fabs(load_before[i] - m.canopy_snow_load[i] - moved));
          if (load_before[i] > 0.0 && m.canopy_snow_load[i] == 0.0 && m.canopy_snow_unload[i] > 0.0)
            ++whole_load_drops;
          unloaded += m.canopy_snow_unload[i];
        }
        ++thaw_steps;
      }
      sublimated = sublimation;
      for (int c = 1; c <= n; ++c) {
        const size_t i = size_t(c);
        if (m.snow_swe[i] <= 1e-16) continue;
        ++pack_cells;
        if (m.snow_depth[i] != m.sn_stat[i][2] / 100.0 || m.sn_stat[i][21] != 1.0) depth_from_pack = false;
      }
    } else if (p == "write_run_summary") {
      load_end = cell_sum(m.canopy_snow_load, n);
    }
  });
  const auto r = pluvo_test::run_strip_cards(pluvo_test::long_term_cards(soil_cards()) +
                                             "NWSRFS_SNOW\nNWSRFS_MF_MAX 1.2\nNWSRFS_MF_MIN 1.2\nSNOW_PXTEMP 0.5\n" +
                                             canopy);
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_GT(snowfall, 0.1);
  EXPECT_GE(cold_steps, 24);
  EXPECT_LT(worst_cold, 1e-12);
  // The forest still holds snow at the end of the cold spell; the open ground never did.
  EXPECT_GT(forest_load_cold, 3.0 * 0.001);
  EXPECT_EQ(open_load, 0.0);
  // The thaw drops the whole load onto the pack.
  EXPECT_GE(thaw_steps, 24);
  EXPECT_LT(worst_thaw, 1e-15);
  EXPECT_EQ(whole_load_drops, 3);
  EXPECT_GT(unloaded, 0.5 * forest_load_cold);
  EXPECT_EQ(load_end, 0.0);
  EXPECT_GT(pack_cells, 0);
  EXPECT_TRUE(depth_from_pack);
  // The summary reports the canopy's sublimation.
  char line[96];
  std::snprintf(line, sizeof line, "Total amount of canopy sublimation=             %14.2lf", sublimated * area);
  const std::string summary = pluvo_test::read_file("w.sum");
  EXPECT_NE(summary.find(line), std::string::npos) << summary;
  EXPECT_GT(sublimated * area, 0.005);
}

}  // namespace
