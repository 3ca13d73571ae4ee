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

// The weather of the given number of days, the storms and the surface maps of long_term_cards.
inline void write_long_term_inputs(int days) {
  write_file("met.kal", june_weather(days));
  write_file("storms.gag", two_storms());
  write_long_term_maps();
}

}  // namespace pluvo_test
