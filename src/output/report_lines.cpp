#include "output/report_lines.hpp"

#include <cstring>

namespace pluvo {

bool hydrograph_output_time(int step_count, int hyd_write_steps) {
  if (hyd_write_steps < 1) hyd_write_steps = 1;
  return step_count % hyd_write_steps == 0;
}

double decimal_year(int year, int day_of_year, int hour, int minute) {
  const double minutes_in_year = (year - 1900) % 4 == 0 ? 527040.0 : 525600.0;
  return year + (day_of_year * 1440.0 + hour * 60.0 + minute) / minutes_in_year;
}

void write_hydrograph_lines(std::FILE* main, std::FILE* six, const hydrograph_line& l) {
  if (main) {
    if (l.long_term)
      std::fprintf(main, l.cfs ? "%16.8lf %16.8lf\n" : "%16.8lf %11.4lf\n", l.time, l.discharge);
    else if (l.strict_julian)
      std::fprintf(main, "%16.8lf %16.8lf\n", l.time, l.discharge);
    else
      std::fprintf(main, l.cfs ? "%8.2lf %10.3lf\n" : "%8.2lf %16.8lf\n", l.time, l.discharge);
  }
  if (six) std::fprintf(six, "%8.2lf %16.8lf\n", l.time, l.discharge);
}

void write_summary_line(std::FILE* f, const char* label, double value, summary_format format,
                        int extra_newlines) {
  char number[64];
  std::snprintf(number, sizeof number, format == summary_format::fine ? "%14.4lf" : "%14.2lf",
                value);
  const char* point = std::strchr(number, '.');
  const long p = point ? long(point - number) : long(std::strlen(number));
  const long label_length = long(std::strlen(label));
  std::fputs(label, f);
  std::fputc(' ', f);
  for (long i = label_length + 1; i < 50; ++i) std::fputc('.', f);
  const long blanks = p <= 14 ? 15 - p : 1;
  for (long i = 0; i < blanks; ++i) std::fputc(' ', f);
  std::fputs(number, f);
  for (int i = 0; i < 1 + extra_newlines; ++i) std::fputc('\n', f);
}

void put_line(std::FILE* f, const char* text) {
  std::fputs(text, f);
  std::fputc('\n', f);
}

int32_t entry_or_zero(const std::vector<int32_t>& list, int index) {
  return index >= 0 && size_t(index) < list.size() ? list[size_t(index)] : 0;
}

double balance_percent(double numerator, double divisor) {
  if (!(divisor > 0.0)) return 0.0;
  return numerator * 100.0 / divisor;
}

}  // namespace pluvo
