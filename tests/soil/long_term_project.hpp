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

inline std::string long_term_cards(const std::string& soil_cards) {
  std::string cards = strip_cards();
  auto drop = [&](const std::string& card) { cards.erase(cards.find(card), card.size()); };
  const std::string rain = "PRECIP_UNIF\n";
  cards.replace(cards.find(rain), rain.size(), "PRECIP_FILE storms.gag\nRAIN_THIESSEN\n");
  cards.replace(cards.find("TIMESTEP 10"), 11, "TIMESTEP 60");
  for (const char* card : {"RAIN_INTENSITY 36\n", "RAIN_DURATION 10\n", "START_DATE 2020 6 1\n", "START_TIME 10 0\n"})
    drop(card);
  return cards + "LONG_TERM\nHMET_KAL met.kal\nLATITUDE 40\nLONGITUDE -105\nGMT -7\nET_CALC_PENMAN\n"
                 "ALBEDO a.map\nVHEIGHT v.map\nTCOEFF t.map\nCANOPY c.map\nWILTING_POINT wp.map\n" + soil_cards;
}

// The weather of the given number of days, the storms and the evapotranspiration maps.
inline void write_long_term_inputs(int days) {
  write_file("met.kal", june_weather(days));
  write_file("storms.gag", two_storms());
  write_file("a.map", strip_map("0.2"));
  write_file("v.map", strip_map("0.3"));
  write_file("t.map", strip_map("0.8"));
  write_file("c.map", strip_map("60"));
  write_file("wp.map", strip_map("0.1"));
}

}  // namespace pluvo_test
