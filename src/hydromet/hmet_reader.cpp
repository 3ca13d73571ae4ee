// The hourly weather reader of long-term runs: KAL, SAMSON and Surface Airways station files
// (the list of ASCII grids is in hmet_grids.cpp). Call mode 1 scans the file; each later call
// delivers the next hourly record, -1 once the data end.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "hydromet/hmet_reader.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

using memory = hydromet_state::hmet_reader_memory;

enum quantity { q_direct, q_global, q_pressure, q_rh, q_sky, q_wind, q_temperature };

bool scan_console(const model_state& m) { return !m.super_quiet_on && m.silent_mode != 1; }

bool blank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

// The characters at offset..offset+width of a fixed-column line ("" beyond its end).
std::string field(const std::string& line, size_t offset, size_t width) {
  return offset < line.size() ? line.substr(offset, width) : std::string();
}
long int_field(const std::string& line, size_t offset, size_t width) {
  return std::strtol(field(line, offset, width).c_str(), nullptr, 10);
}
double real_field(const std::string& line, size_t offset, size_t width) {
  return std::strtod(field(line, offset, width).c_str(), nullptr);
}

// A good value becomes the quantity's memory; a missing one takes the memory (the scan's first
// good value while the memory is empty) and is counted.
double repair(model_state& m, quantity q, int slot, bool missing, double value) {
  memory& mem = m.hmet_memory;
  double& kept = slot >= 0 ? mem.by_hour[size_t(q)][size_t(slot)] : mem.single[size_t(q)];
  if (!missing) {
    kept = value;
    return value;
  }
  ++m.hmet_repaired_count;
  return std::isnan(kept) ? mem.first_good[size_t(q)] : kept;
}

// The scan notes the first good value of each quantity for the memory's first misses.
void note_first_good(memory& mem, bool (&seen)[7], quantity q, bool missing, double value) {
  if (missing || seen[q]) return;
  seen[q] = true;
  mem.first_good[size_t(q)] = value;
}

bool slot_out_of_range(const model_state& m, const char* what, long value, long low, long high,
                       int record) {
  if (value >= low && value <= high) return false;
  std::printf("Error: %s %ld of record %d in hydrometeorological file %s is outside %ld..%ld.\n",
              what, value, record, m.hmet_path.c_str(), low, high);
  set_error(4000);
  return true;
}

// A record's date must exist: a year of a billion would walk the clock forever, month 13 or day 0
// would move the record to another date unseen.
bool date_not_real(const model_state& m, int year, int month, int day, int record) {
  if (is_calendar_date(year, month, day)) return false;
  std::printf("Error: record %d in hydrometeorological file %s is dated %d/%d/%d, which is not a real date "
              "(years %d to %d).\n",
              record, m.hmet_path.c_str(), year, month, day, first_calendar_year, last_calendar_year);
  set_error(4000);
  return true;
}

// Radiation is summed into the energy balance: a value that is not a finite number would spread.
bool radiation_not_finite(const model_state& m, double direct, double global, int record) {
  if (std::isfinite(direct) && std::isfinite(global)) return false;
  std::printf("Error: record %d in hydrometeorological file %s gives direct radiation %g and global radiation %g; "
              "both must be finite numbers.\n",
              record, m.hmet_path.c_str(), direct, global);
  set_error(4000);
  return true;
}

void rewind_file(model_state& m) { std::rewind(m.hmet_fp.stream); }

// ---------------------------------------------------------------- KAL
struct kal_record {
  int year = 0, month = 0, day = 0, hour = 0;
  double pressure = 0.0;
  int rh = 0, sky = 0, wind = 0, temperature = 0;
  double direct = 0.0, global = 0.0;
};

int read_kal(std::FILE* fp, kal_record& r, const char* format) {
  return std::fscanf(fp, format, &r.year, &r.month, &r.day, &r.hour, &r.pressure, &r.rh, &r.sky,
                     &r.wind, &r.temperature, &r.direct, &r.global);
}

bool kal_missing(const kal_record& r, quantity q) {
  switch (q) {
    case q_direct: return r.direct > 9999.9;
    case q_global: return r.global > 9999.9;
    case q_pressure: return r.pressure == 999.0;
    case q_rh: return r.rh == 999;
    case q_sky: return r.sky == 999;
    case q_wind: return r.wind == 999;
    case q_temperature: return r.temperature == 999;
  }
  return false;
}

// Pressure is remembered in whole thousandths.
double kal_pressure_kept(double p) { return double(long(p * 1000.0)) / 1000.0; }

int scan_kal(model_state& m) {
  std::FILE* fp = m.hmet_fp.stream;
  memory& mem = m.hmet_memory;
  bool seen[7] = {};
  int records = 0;
  kal_record r;
  for (;;) {
    const int n = read_kal(fp, r, "%d %d %d %d %lf %d %d %d %d %lf %lf\n");
    if (n == EOF) break;
    if (n != 11) {
      std::printf("Error: Problem encountered in hmet_KAL file, line %d, near parameter %d\n\n",
                  records + 1, n + 1);
      std::printf("Make sure your file is in the correct format, including making sure\n"
                  "all input data are listed as floats or ints as specified in the following\n"
                  "format table:\n");
      std::printf(" Format:\n1   2   3   4    5     6           7        8         9    10        11  \n"
                  "Yr  Mo  Day Hr  Press. RelHumidity SkyCover WindSpeed Temp DirectRad GlobalRad\n"
                  "int int int int float  int         int      int       int  float     float\n\n");
      error_state.error_code = 4000;
      return -1;
    }
    ++records;
    if (slot_out_of_range(m, "hour", r.hour, 0, 25, records) || date_not_real(m, r.year, r.month, r.day, records) ||
        radiation_not_finite(m, r.direct, r.global, records))
      return -1;
    note_scanned_date(m, records == 1, r.year, r.month, r.day, r.hour);
    const double values[7] = {r.direct, r.global, kal_pressure_kept(r.pressure), double(r.rh),
                              double(r.sky), double(r.wind), double(r.temperature)};
    for (int q = 0; q < 7; ++q)
      note_first_good(mem, seen, quantity(q), kal_missing(r, quantity(q)), values[q]);
  }
  if (scan_console(m)) std::printf("End of hmet_KAL file encountered after %d lines\n", records);
  m.hmet_record_count = records;
  rewind_file(m);
  return 0;
}

int next_kal(model_state& m) {
  kal_record r;
  const int n = read_kal(m.hmet_fp.stream, r, "%d %d %d %d %lf %d %d %d %d %lf %lf");
  if (n == EOF) return -1;
  if (slot_out_of_range(m, "hour", r.hour, 0, 25, m.hmet_records_read - 1) ||
      date_not_real(m, r.year, r.month, r.day, m.hmet_records_read - 1) ||
      radiation_not_finite(m, r.direct, r.global, m.hmet_records_read - 1))
    return -1;
  const int h = r.hour;
  const double direct = repair(m, q_direct, h, kal_missing(r, q_direct), r.direct);
  const double global = repair(m, q_global, h, kal_missing(r, q_global), r.global);
  const double pressure =
      repair(m, q_pressure, -1, kal_missing(r, q_pressure), kal_pressure_kept(r.pressure));
  const double rh = repair(m, q_rh, h, kal_missing(r, q_rh), r.rh);
  const double sky = repair(m, q_sky, -1, kal_missing(r, q_sky), r.sky);
  const double wind = repair(m, q_wind, -1, kal_missing(r, q_wind), r.wind);
  const double temperature = repair(m, q_temperature, h, kal_missing(r, q_temperature), r.temperature);
  m.hmet_direct_rad = direct;
  m.hmet_diffuse_rad = global - direct;
  m.hmet_cloud_cover = sky / 10.0;
  m.hmet_temperature = (temperature - 32.0) * 0.5555555555555556;
  m.hmet_rh = rh;
  m.hmet_pressure = pressure * 1013.25 / 29.92;
  m.hmet_wind_speed = wind * 0.514444;
  m.hmet_year = r.year;
  m.hmet_month = r.month;
  m.hmet_day = r.day;
  m.hmet_hour = r.hour;
  return n;
}

// ---------------------------------------------------------------- SAMSON
struct samson_line {
  int year = 0, month = 0, day = 0, hour = 0;
  double values[7] = {};
  bool missing[7] = {};
};

samson_line decode_samson(const std::string& line) {
  samson_line s;
  s.year = int(int_field(line, 1, 2));
  if (s.year < 100) s.year += 1900;
  s.month = int(int_field(line, 4, 2));
  s.day = int(int_field(line, 7, 2));
  s.hour = int(int_field(line, 10, 2));
  const long direct = int_field(line, 33, 4), diffuse = int_field(line, 41, 4);
  const long sky = int_field(line, 49, 2), rh = int_field(line, 67, 3);
  const long pressure = int_field(line, 71, 4);
  const double temperature = real_field(line, 55, 5), wind = real_field(line, 79, 6);
  s.values[q_direct] = double(direct);
  s.missing[q_direct] = direct == 9999;
  s.values[q_global] = double(diffuse);
  s.missing[q_global] = diffuse == 9999;
  s.values[q_sky] = double(sky);
  s.missing[q_sky] = sky == 99;
  // Temperature is remembered in whole tenths, wind in whole hundredths.
  s.values[q_temperature] = double(long(temperature * 10.0)) / 10.0;
  s.missing[q_temperature] = long(temperature * 10.0) == 9999;
  s.values[q_rh] = double(rh);
  s.missing[q_rh] = rh == 999;
  s.values[q_pressure] = double(pressure);
  s.missing[q_pressure] = pressure == 9999;
  s.values[q_wind] = double(long(wind * 100.0)) / 100.0;
  s.missing[q_wind] = long(wind) == 99 || long(wind) == 9999;
  return s;
}

int samson_days_in_month(int year, int month) {
  static const int length[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2) return (year - 1900) % 4 == 0 ? 29 : 28;
  return month >= 1 && month <= 12 ? length[month] : 31;
}

// Hour 24 is hour 0 of the next day.
void roll_samson_hour(samson_line& s) {
  if (s.hour != 24) return;
  s.hour = 0;
  if (++s.day > samson_days_in_month(s.year, s.month)) {
    s.day = 1;
    if (++s.month > 12) {
      s.month = 1;
      ++s.year;
    }
  }
}

int scan_samson(model_state& m) {
  std::FILE* fp = m.hmet_fp.stream;
  memory& mem = m.hmet_memory;
  std::string line;
  if (read_hmet_line(fp, line)) {
    std::string name = field(line, 7, 22);
    name.resize(22, ' ');
    m.hmet_station = name;
  }
  read_hmet_line(fp, line);
  bool seen[7] = {};
  int records = 0;
  while (read_hmet_line(fp, line)) {
    if (blank(line)) continue;
    samson_line s = decode_samson(line);
    ++records;
    if (slot_out_of_range(m, "hour", s.hour, 1, 24, records) || date_not_real(m, s.year, s.month, s.day, records))
      return -1;
    for (int q = 0; q < 7; ++q) note_first_good(mem, seen, quantity(q), s.missing[q], s.values[q]);
    roll_samson_hour(s);
    note_scanned_date(m, records == 1, s.year, s.month, s.day, s.hour);
  }
  m.hmet_record_count = records;
  mem.samson_skip_header = 1;
  mem.samson_record = 0;
  rewind_file(m);
  return 0;
}

int next_samson(model_state& m) {
  std::FILE* fp = m.hmet_fp.stream;
  memory& mem = m.hmet_memory;
  std::string line;
  if (mem.samson_skip_header) {
    read_hmet_line(fp, line);
    read_hmet_line(fp, line);
    mem.samson_skip_header = 0;
  }
  if (++mem.samson_record > m.hmet_record_count) return -1;
  do {
    if (!read_hmet_line(fp, line)) return -1;
  } while (blank(line));
  samson_line s = decode_samson(line);
  if (slot_out_of_range(m, "hour", s.hour, 1, 24, mem.samson_record) ||
      date_not_real(m, s.year, s.month, s.day, mem.samson_record))
    return -1;
  const int slot = s.hour - 1;
  const bool per_hour[7] = {true, true, false, true, false, false, true};
  double v[7];
  for (int q = 0; q < 7; ++q)
    v[q] = repair(m, quantity(q), per_hour[q] ? slot : -1, s.missing[q], s.values[q]);
  roll_samson_hour(s);
  m.hmet_direct_rad = v[q_direct];
  m.hmet_diffuse_rad = v[q_global];
  m.hmet_cloud_cover = v[q_sky];
  m.hmet_temperature = v[q_temperature];
  m.hmet_rh = v[q_rh];
  m.hmet_pressure = v[q_pressure];
  m.hmet_wind_speed = v[q_wind];
  m.hmet_year = s.year;
  m.hmet_month = s.month;
  m.hmet_day = s.day;
  m.hmet_hour = s.hour;
  return 1;
}

// ---------------------------------------------------------------- Surface Airways
constexpr int sa_slot_count = 26;  // slots a day can hold: the size of the per-hour memories
constexpr int sa_line_limit = 790;

// Element of a line by its first two letters: 0 DR, 1 GR, 2 PR, 3 RH, 6 TM, 4 TS, 5 WI; -1 other.
int sa_element(const std::string& line) {
  const std::string code = field(line, 11, 2);
  static const char* const codes[7] = {"DR", "GR", "PR", "RH", "TS", "WI", "TM"};
  for (int e = 0; e < 7; ++e)
    if (code == codes[e]) return e;
  return -1;
}

struct sa_date {
  int year, month, day;
  bool operator==(const sa_date& o) const { return year == o.year && month == o.month && day == o.day; }
};

sa_date sa_line_date(const std::string& line) {
  return {int(int_field(line, 17, 4)), int(int_field(line, 21, 2)), int(int_field(line, 25, 2))};
}

int sa_group_count(const std::string& line) { return int(int_field(line, 27, 3)); }
long sa_group_value(const std::string& line, int g) { return int_field(line, size_t(30 + 12 * g + 5), 5); }
int sa_group_hour(const std::string& line, int g) {
  const long h = int_field(line, size_t(30 + 12 * g), 4);
  return int(h > 24 ? h / 100 : h);  // hours given as hhmm
}

bool sa_missing(int element, long value) {
  if (element == q_sky) return value / 100 == 999;
  if (element == q_wind) return value - 1000 * (value / 1000) == 999;
  return value == 99999;
}

bool sa_groups_out_of_range(const model_state& m, const std::string& line, int number) {
  return slot_out_of_range(m, "group count", sa_group_count(line), 0, sa_slot_count, number);
}

int scan_surface_airways(model_state& m) {
  std::FILE* fp = m.hmet_fp.stream;
  memory& mem = m.hmet_memory;
  bool seen[7] = {};
  long blocks = 0;
  int counts[7] = {};
  int previous_element = -2;
  sa_date current{0, 0, 0};
  std::string line;
  bool ended_by_repeat = false;
  m.hmet_record_count = 0;
  while (read_hmet_line(fp, line)) {
    if (line.size() > size_t(sa_line_limit)) {
      stop_run("Line too long in hmet_NCDC input file.  Program exiting\n");
      return 1;
    }
    if (blank(line)) continue;
    const int element = sa_element(line);
    if (element == previous_element) {
      ended_by_repeat = true;
      break;
    }
    previous_element = element;
    ++blocks;
    if (sa_groups_out_of_range(m, line, int(blocks))) return 1;
    const sa_date d = sa_line_date(line);
    // The data start and end at the hours of the first and last slots, so the clock starts at
    // the first record's hour, as with the other formats.
    const int groups = sa_group_count(line);
    if (blocks == 1) {
      m.hmet_year = d.year;
      m.hmet_month = d.month;
      m.hmet_day = d.day;
      m.hmet_hour = groups > 0 ? sa_group_hour(line, 0) : 0;
      current = d;
      m.hmet_record_count = 24;
    } else if (!(d == current)) {
      current = d;
      m.hmet_record_count += 24;
    }
    m.hmet_last_year = d.year;
    m.hmet_last_month = d.month;
    m.hmet_last_day = d.day;
    m.hmet_last_hour = groups > 0 ? sa_group_hour(line, groups - 1) : 0;
    if (element < 0) continue;
    ++counts[element];
    for (int g = 0; g < groups; ++g) {
      const long v = sa_group_value(line, g);
      note_first_good(mem, seen, quantity(element), sa_missing(element, v), double(v));
    }
  }
  if (ended_by_repeat && !m.super_quiet_on)
    std::printf("End of hmet_NCDC file encountered after %ld lines\n", blocks);
  std::printf("DRAD GRAD PRES RHUM TMPD TSKC WIND\n");
  std::printf(" %d  %d  %d  %d  %d  %d  %d\n", counts[q_direct], counts[q_global],
              counts[q_pressure], counts[q_rh], counts[q_temperature], counts[q_sky], counts[q_wind]);
  const char* mismatch = nullptr;
  if (counts[q_rh] != counts[q_temperature])
    mismatch = "There is an error in the Surface Airways hydrometeorology\n"
               "data file.  There appears to be a different number of \n"
               "days of rel. humidity data than temperature data.  Rel. hum.\n"
               "data is required for each day.  Examine the file and supply\n"
               "the missing data.  Program terminating\n\n";
  else if (counts[q_sky] != counts[q_temperature])
    mismatch = "There is an error in the Surface Airways hydrometeorology\n"
               "data file.  There appear to be a different number of days\n"
               "of cloud cover data than temperature data.  Clouds data is\n"
               "required for each day.  Examine the file and supply the \n"
               "missing data.  Program terminating\n\n";
  else if (counts[q_wind] != counts[q_temperature])
    mismatch = "There is an error in the Surface Airways hydrometeorology\n"
               "data file.  There appear to be different number of days of "
               "wind data than temperature data.  Wind speed data is\n"
               "required for each day.  Examine the file and supply the \n"
               "missing data.  Program terminating\n\n";
  if (mismatch) {
    stop_run("%s", mismatch);
    return 1;
  }
  mem.day_slots = 0;
  mem.day_slot = 0;
  mem.held_line.clear();
  mem.at_end = 0;
  rewind_file(m);
  return 0;
}

// Decodes one line of the buffered day into the day tables, repairing missing values.
void decode_sa_line(model_state& m, const std::string& line) {
  memory& mem = m.hmet_memory;
  const int element = sa_element(line);
  if (element < 0) return;
  const int groups = sa_group_count(line);
  if (element == q_direct) mem.day_has_direct = 1;
  if (element == q_global) mem.day_has_global = 1;
  const bool single = element == q_pressure || element == q_wind;
  for (int g = 0; g < groups; ++g) {
    const long v = sa_group_value(line, g);
    const bool missing = sa_missing(element, v);
    // A missing sky cover keeps the slot's previous one, as a missing per-slot value does.
    mem.day_values[size_t(element)][size_t(g)] =
        long(repair(m, quantity(element), single ? -1 : g, missing, double(v)));
    mem.day_hours[size_t(g)] = sa_group_hour(line, g);
  }
  if (element == q_temperature || groups > mem.day_slots) mem.day_slots = groups;
}

// Reads the lines of the next day into the day tables; false when no day is left.
bool load_sa_day(model_state& m) {
  memory& mem = m.hmet_memory;
  std::string line = mem.held_line;
  mem.held_line.clear();
  while (line.empty() || blank(line)) {
    if (mem.at_end || !read_hmet_line(m.hmet_fp.stream, line)) {
      mem.at_end = 1;
      return false;
    }
  }
  const sa_date day = sa_line_date(line);
  mem.day_year = day.year;
  mem.day_month = day.month;
  mem.day_day = day.day;
  mem.day_slots = 0;
  mem.day_slot = 0;
  mem.day_has_direct = mem.day_has_global = 0;
  for (int number = 1;; ++number) {
    if (line.size() > size_t(sa_line_limit)) {
      stop_run("Line too long in hmet_NCDC input file.  Program exiting\n");
      return false;
    }
    if (!blank(line)) {
      if (!(sa_line_date(line) == day)) {
        mem.held_line = line;
        break;
      }
      if (sa_groups_out_of_range(m, line, number)) return false;
      decode_sa_line(m, line);
    }
    if (!read_hmet_line(m.hmet_fp.stream, line)) {
      mem.at_end = 1;
      break;
    }
  }
  return mem.day_slots > 0;
}

int next_surface_airways(model_state& m) {
  memory& mem = m.hmet_memory;
  while (mem.day_slot >= mem.day_slots)
    if (!load_sa_day(m)) return -1;
  const int s = mem.day_slot++;
  const auto value = [&](quantity q) { return double(mem.day_values[size_t(q)][size_t(s)]); };
  m.hmet_direct_rad = value(q_direct) / 10.0 * (mem.day_has_direct ? 1.0 : 0.0);
  m.hmet_diffuse_rad = value(q_global) / 10.0 * (mem.day_has_global ? 1.0 : 0.0);
  m.hmet_pressure = value(q_pressure) * 33.86530748663101 / 1000.0;
  m.hmet_rh = value(q_rh);
  m.hmet_temperature = (value(q_temperature) - 32.0) * 0.5555555555555556;
  const long sky = mem.day_values[q_sky][size_t(s)];
  m.hmet_cloud_cover = double(sky - 100 * (sky / 100));
  const long wind = mem.day_values[q_wind][size_t(s)];
  m.hmet_wind_speed = double(wind - 1000 * (wind / 1000)) * 0.514444;
  m.hmet_year = mem.day_year;
  m.hmet_month = mem.day_month;
  m.hmet_day = mem.day_day;
  m.hmet_hour = mem.day_hours[size_t(s)];
  return 0;
}

}  // namespace

void note_scanned_date(model_state& m, bool first, int year, int month, int day, int hour) {
  if (first) {
    m.hmet_year = year;
    m.hmet_month = month;
    m.hmet_day = day;
    m.hmet_hour = hour;
  }
  m.hmet_last_year = year;
  m.hmet_last_month = month;
  m.hmet_last_day = day;
  m.hmet_last_hour = hour;
}

bool read_hmet_line(std::FILE* fp, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(fp)) != EOF && c != '\n') line.push_back(char(c));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return c != EOF || !line.empty();
}

void reset_hmet_memory(model_state& m) {
  memory& mem = m.hmet_memory;
  mem = memory{};
  const double none = std::numeric_limits<double>::quiet_NaN();
  for (auto& hours : mem.by_hour) hours.fill(none);
  mem.single.fill(none);
}

int read_hmet_data(model_state& m, int call_mode) {
  if (!m.hmet_fp.is_open()) return -1;
  if (call_mode == 1) reset_hmet_memory(m);
  if (m.hmet_ascii_on) return read_hmet_grids(m, call_mode);
  if (m.hmet_kal_on) return call_mode == 1 ? scan_kal(m) : next_kal(m);
  if (m.hmet_samson_on) return call_mode == 1 ? scan_samson(m) : next_samson(m);
  if (m.hmet_surfaways_on) return call_mode == 1 ? scan_surface_airways(m) : next_surface_airways(m);
  return -1;
}

}  // namespace pluvo
