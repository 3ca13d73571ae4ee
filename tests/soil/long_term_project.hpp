#pragma once
// A long-term project on the strip watershed: hourly KAL weather, two storms a day apart and
// Penman-Monteith evapotranspiration, for the tests of the processes that run between storms.
#include <cmath>
#include <cstdio>
#include <string>

#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace pluvo_test {

// Days of clear, warm weather from 1 June 2020 with a daily cycle of sun and temperature.
inline std::string june_weather(int days) {
  static const int month_days[] = {30, 31, 31, 30, 31, 30, 31, 31, 28, 31, 30, 31};  // June 2020 to May 2021
  std::string text;
  char line[128];
  for (int d = 0; d < days; ++d)
    for (int hour = 0; hour < 24; ++hour) {
      int year = 2020, month = 6, day = d + 1;
      for (int k = 0; day > month_days[k % 12]; ++k) {
        day -= month_days[k % 12];
        if (++month > 12) month = 1, ++year;
      }
      const double sun = hour > 6 && hour < 18 ? std::sin(3.14159265 * (hour - 6) / 12.0) : 0.0;
      const int fahrenheit = int(70.0 + 15.0 * std::sin(2.0 * 3.14159265 * (hour - 9) / 24.0));
      std::snprintf(line, sizeof line, "%d %d %d %d 29.92 40 20 6 %d %.1f %.1f\n", year, month, day, hour, fahrenheit,
                    500.0 * sun, 700.0 * sun);
      text += line;
    }
  return text;
}

// Twenty minutes of 60 mm/h on 1 June at 10:00 and again on 2 June at 14:00.
inline std::string two_storms() {
  return "EVENT \"first\"\nNRGAG 1\nNRPDS 3\nCOORD 15 20 \"gauge\"\n"
         "GAGES 2020 6 1 10 00 0.0\nGAGES 2020 6 1 10 01 60.0\nGAGES 2020 6 1 10 20 0.0\n"
         "EVENT \"second\"\nNRGAG 1\nNRPDS 3\nCOORD 15 20 \"gauge\"\n"
         "GAGES 2020 6 2 14 00 0.0\nGAGES 2020 6 2 14 01 60.0\nGAGES 2020 6 2 14 20 0.0\n";
}

// The two storms and a third of the same twenty minutes on 3 June at 9:00.
inline std::string three_storms() {
  return two_storms() + "EVENT \"third\"\nNRGAG 1\nNRPDS 3\nCOORD 15 20 \"gauge\"\n"
                        "GAGES 2020 6 3 09 00 0.0\nGAGES 2020 6 3 09 01 60.0\nGAGES 2020 6 3 09 20 0.0\n";
}

// Two layered soil classes on the strip; returns their cards.
inline std::string two_layered_soils() {
  write_file("soil.map", std::string(strip_header()) + "4 4 7\n7 7 4\n");
  write_file("layers.tab",
             "2\n0\n"
             "4\n1.0 0.3 10 0.45 0.3 0.1 0.05 0.15 20\n0.5 0.3 15 0.40 0.3 0.1 0.05 0.20 30\n"
             "0.2 0.2 20 0.35 0.3 0.1 0.05 0.25\n"
             "7\n2.0 0.4 8 0.45 0.3 0.1 0.05 0.10 15\n1.0 0.4 12 0.45 0.3 0.1 0.05 0.10 30\n"
             "0.1 0.2 25 0.40 0.3 0.1 0.05 0.30\n");
  return "INF_LAYERED_SOIL\nSOIL_TYPE_MAP soil.map\nSOIL_LAYER_INPUT_FILE layers.tab\n";
}

// Moist Richards columns of 0.5 m (30 nodes) on the strip, with the evapotranspiration line of
// long-term runs; returns their cards.
inline std::string richards_soil() {
  write_file("soil.map", std::string(strip_header()) + "3 3 3\n5 5 5\n");
  const char* layers = "0.23 0.3 0.8 60\n1.0 0.45 0.05 0.38 0.08 0.3 10 0.4 20 1\n"
                       "2.0 0.40 0.05 0.38 0.08 0.3 20 0.5 15 2\n0.5 0.40 0.05 0.38 0.08 0.3 20 0.3 25 2\n";
  write_file("soil.tab", std::string("2\n0\n3\n") + layers + "5\n" + layers);
  return "INF_RICHARDS\nRICHARDS_C_OPTION brooks\nRICHARDS_K_OPTION arithmetic\nRICHARDS_UPPER_OPTION average\n"
         "SOIL_TYPE_MAP soil.map\nSOIL_LAYER_INPUT_FILE soil.tab\n";
}

// The Sacramento parameter file of the lumped-model tests, its stores partly full; returns its card.
inline std::string sacramento_soil() {
  write_file("sac.txt",
             "PLUVO_SACRAMENTO\nuztwm 20\nuzfwm 30\nuzk 0.1\nzperc 30\nrexp 2\nlztwm 100\nlzfsm 20\nlzfpm 60\n"
             "lzsk 0.02\nlzpk 0.005\npfree 0.1\nsaved 0\nuztwc 0.95\nuzfwc 0.1\nlztwc 0.6\nlzfsc 0.3\nlzfpc 0.5\n");
  return "SACRAMENTO sac.txt\n";
}

// The weather of the given number of days, the storms and the surface maps of long_term_cards.
inline void write_long_term_inputs(int days) {
  write_file("met.kal", june_weather(days));
  write_file("storms.gag", two_storms());
  write_long_term_maps();
}

// Soil-temperature columns on every cell that the map file names with 1 (it serves as mask and
// type map), frozen at -10 deg C down to 2 m with nodes every 0.1 m; returns their cards.
inline std::string frozen_columns(const std::string& map_file) {
  write_file("p.cmt",
             "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP " + map_file + " Permafrost\nPERMAFROST_LAYER_SOIL Permafrost\n"
             "NUM_IDS 1\nMAX_NUM_OF_LAYERS 2\nMAX_INIT_PT 2\nNUM_PT 21\n"
             "INIT_TEMP init.txt \nNODE_DEPTH depth.txt \nOUT_NODES out.txt \n"
             "ID LAYERS POINTS NODES OUT THICK TFR WVOL WUNF A B T0 KTH KFR CVOL\n"
             "silt 2 2 21 2 0.5 0.0 0.35 0.0 0.05 -0.5 0.0 1.2 2.0 2.0e6\n"
             "5.0 0.0 0.30 0.0 0.05 -0.5 0.0 1.5 2.4 2.1e6\n");
  write_file("init.txt", "ID 2\n0.0 -10.0\n2.0 -10.0\n");
  std::string depths = "ID 21\n";
  for (int j = 0; j <= 20; ++j) depths += std::to_string(0.1 * j) + "\n";
  write_file("depth.txt", depths);
  write_file("out.txt", "ID 2\n1 11\n");
  return "MULTI_LAYER_INFIL_GIPL " + map_file + "\nMAPPING_TABLE p.cmt\nOUT_GIPL_TEMP gipl.out\n";
}

}  // namespace pluvo_test
