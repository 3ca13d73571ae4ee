#include "hydromet/precip_file.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "common/line_reader.hpp"
#include "common/replace_params.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

int event_cards_found = 0;

namespace {

constexpr int search_token_limit = 10000;
constexpr int title_length = 254;
constexpr int max_gauges = 10000;
constexpr int max_records = 10000000;

enum card_flag { gages_flag = 1, rates_flag = 2, accum_flag = 4, radar_flag = 8 };

// True when the first four characters of word match key (lower case) in any case.
bool card_is(const char* word, const char* key) {
  for (int i = 0; i < 4; ++i) {
    if (word[i] == '\0') return false;
    if (std::tolower(static_cast<unsigned char>(word[i])) != key[i]) return false;
  }
  return true;
}

void strip_line_end(std::string& text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
}

// Reads the rest of the current line, whatever its length; keeps at most keep characters.
bool read_rest_of_line(std::FILE* fp, std::string& text, size_t keep) {
  text.clear();
  int ch;
  bool any = false;
  while ((ch = std::fgetc(fp)) != EOF) {
    any = true;
    if (ch == '\n') break;
    if (text.size() < keep) text.push_back(char(ch));
  }
  strip_line_end(text);
  return any;
}

// Fatal format error: the lines are printed, code 4000 reported; the reader returns 0.
int format_error(const std::string& text) {
  stop_run("%s", text.c_str());
  return 0;
}

int count_out_of_range(const char* card, long value, long low, long high, const char* file_name,
                       const std::string& title) {
  std::string text = format_text("\nERROR: the %s card of the event entitled:\n   %s\n", card, title.c_str());
  text += format_text("in the precipitation file %s gives %ld; it must lie between %ld and %ld.\n",
              file_name, value, low, high);
  return format_error(text);
}

// An event that names no card kind or several.
int card_kind_error(int flags) {
  std::string text = "\nERROR:\n";
  text += "\nThere is a problem in the precipitation input file.\n";
  if (flags != 0) {
    text += "More than one precipitation data card type has been specified.\n";
    text += "There may only be one of the following card types per event:\n\n";
    text += "     1) RADAR\n     2) GAGES\n     3) RATES\n\n";
  } else {
    text += "At least one precipitation data card type must be specified.\n";
    text += "There may only be one of the following card types per event:\n\n";
    text += "     1) RADAR\n     2) GAGES\n     3) RATES    4) ACCUM\n\n";
  }
  text += "Check the precipitation input file.  PLUVO exiting\n";
  return format_error(text);
}

std::string data_error_head(const std::string& title) {
  std::string text;
  text += "\nERROR:\n";
  text += "There is a data error in the precipitation file.  This error occurred in the\n";
  text += format_text("EVENT titled:\n %s\n", title.c_str());
  return text;
}

int earlier_date_error(const std::string& title, int k, const date_record& d,
                       const date_record& prev) {
  std::string text = data_error_head(title);
  text += format_text("On line no. %ld, the given time of the recorded data is:    %ld/%ld/%ld %ld:%2.2ld\n",
              long(k), long(d.year), long(d.month), long(d.day), long(d.hour), long(d.minute));
  text += format_text("Which is earlier than the date/time on the previous line:  %ld/%ld/%ld %ld:%2.2ld\n",
              long(prev.year), long(prev.month), long(prev.day), long(prev.hour),
              long(prev.minute));
  text += "This error in your precipitation input file must be corrected before PLUVO\n";
  text += "can continue.  Program exiting on error.\n\n";
  return format_error(text);
}

int accum_decrease_error(const std::string& title, int k, int g, double value, double prev) {
  std::string text = data_error_head(title);
  text += format_text("On line no. %ld, the accumulated precip. for gage number %d is: %8.5lf mm\n",
              long(k), g, value);
  text += format_text("Which is less than the accumulated precip. on the previous line: %8.5lf mm\n", prev);
  text += "This error in your precipitation input file must be corrected before PLUVO\n";
  text += "can continue.  Accumulated precip is CUMULATIVE.  The values should increase\n";
  text += "monotonically.  Program exiting on error.\n\n";
  return format_error(text);
}

bool earlier(const date_record& a, const date_record& b) {
  const int32_t fa[] = {a.year, a.month, a.day, a.hour, a.minute};
  const int32_t fb[] = {b.year, b.month, b.day, b.hour, b.minute};
  for (int i = 0; i < 5; ++i)
    if (fa[i] != fb[i]) return fa[i] < fb[i];
  return false;
}

// Grows the table to at least rows x cols entries (both from 1); what it held stays and
// new entries are 0.
void grow_table(checked_array_2d<double>& table, int rows, int cols) {
  if (cols > table.row_length) {
    const int old_length = table.row_length;
    checked_array_2d_grow(table, 0, cols);
    for (int32_t i = 1; i <= table.row_count; ++i)
      for (int j = old_length + 1; j <= table.row_length; ++j) table.rows[i][j] = 0.0;
  }
  if (rows > table.row_count) checked_array_2d_grow_fill(table, rows - table.row_count, 0.0, -1);
}

// The radar file name of a record: the first token of the rest of its line.
std::string radar_name_from_line(std::FILE* fp) {
  std::string line;
  read_rest_of_line(fp, line, size_t(line_buffer_size - 1));
  std::string buffer = line;
  buffer.resize(size_t(line_buffer_size), '\0');
  if (replace_pairs_active) replace_params_in_line(buffer.data(), line_buffer_size);
  char token[token_buffer_size] = {};
  next_token(buffer.data(), token);
  std::string name = token;
  strip_line_end(name);
  return name;
}

// Looks for the EVENT card. 1 found, 0 end of file, -2 not within the token limit.
int find_event_card(std::FILE* fp) {
  char word[6];
  for (int n = 0; n < search_token_limit; ++n) {
    if (std::fscanf(fp, "%5s", word) != 1) return 0;
    if (card_is(word, "even")) return 1;
  }
  return -2;
}

// Reads NRGAG and NRPDS in either order. 1 read, -1 end of file, 0 format error (reported).
int read_counts(std::FILE* fp, hydromet_state& ev, const char* file_name) {
  bool have_gauges = false, have_records = false;
  char word[6];
  for (int n = 0; n < search_token_limit; ++n) {
    if (have_gauges && have_records) return 1;
    if (std::fscanf(fp, "%5s", word) != 1) return -1;
    if (card_is(word, "nrga")) {
      char value[256];
      if (std::fscanf(fp, "%255s", value) != 1) return -1;
      int count = 0;
      if (std::sscanf(value, "%d", &count) == 1) {
        if (count < 1 || count > max_gauges)
          return count_out_of_range("NRGAG", count, 1, max_gauges, file_name, ev.event_title);
        ev.gauge_count = count;
      } else {
        std::string lower = value;
        for (char& ch : lower) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        if (lower.find("files") == std::string::npos) {
          std::string text = format_text("\nERROR: the NRGAG card of the event entitled:\n   %s\n",
                      ev.event_title.c_str());
          text += format_text("in the precipitation file %s gives \"%s\", neither a gauge count nor FILES.\n",
                      file_name, value);
          return format_error(text);
        }
        ev.gauge_count = -1;
      }
      have_gauges = true;
    } else if (card_is(word, "nrpd")) {
      int count = 0;
      if (std::fscanf(fp, "%d", &count) != 1) return -1;
      if (count < 1 || count > max_records)
        return count_out_of_range("NRPDS", count, 1, max_records, file_name, ev.event_title);
      ev.precip_record_count = count;
      have_records = true;
    }
  }
  if (have_gauges && have_records) return 1;
  std::string text = "\nThere is a problem with your rainfall input file.  PLUVO cannot\n";
  text += "find the NRPDS or NRGAG card for the event entitled:\n";
  text += format_text("   %s\n\n", ev.event_title.c_str());
  text += "Check the format of the rainfall input file.\n";
  return format_error(text);
}

// COORD cards of the gauges. 1 read, -1 end of file, 0 format error (reported).
int read_coordinates(std::FILE* fp, hydromet_state& ev, const char* file_name) {
  std::string rest;
  for (int g = 1; g <= ev.gauge_count; ++g) {
    char word[6];
    if (std::fscanf(fp, "%5s", word) != 1) return -1;
    const bool coord = card_is(word, "coor");
    int got = coord ? std::fscanf(fp, "%lf %lf", &ev.gauge_x[g], &ev.gauge_y[g]) : 0;
    if (got == EOF) return -1;
    if (!coord || got != 2) {
      std::string text = "\nCannot find gage coordinate card in rainfall input file for event entitled:\n";
      text += format_text("       %s\n\n", ev.event_title.c_str());
      text += "Check rainfall input file format.\n";
      return format_error(text);
    }
    read_rest_of_line(fp, rest, title_length);  // the gauge's name, not kept
    if (!std::isfinite(ev.gauge_x[g]) || !std::isfinite(ev.gauge_y[g])) {
      std::string text = format_text("\nERROR: the COORD card of gauge %d of the event entitled:\n   %s\n", g, ev.event_title.c_str());
      text += format_text("in the precipitation file %s gives x %g and y %g; both must be finite numbers.\n", file_name,
                  ev.gauge_x[g], ev.gauge_y[g]);
      return format_error(text);
    }
  }
  return 1;
}

// The bytes of the file after the current position; -1 when the stream is not a plain file.
long long bytes_left(std::FILE* fp) {
  struct stat st {};
  const long at = std::ftell(fp);
  if (at < 0 || fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_size) - at;
}

// The table for the event is sized from NRGAG and NRPDS: a record takes a card word, five date
// numbers and a value per gauge, each at least a character and a separator, so counts the rest
// of the file cannot hold are refused before the memory is taken.
int counts_fit_file(std::FILE* fp, const hydromet_state& ev, const char* file_name) {
  const long long left = bytes_left(fp);
  const double per_record = 12.0 + 2.0 * std::max(ev.gauge_count, 0);
  const double needed = per_record * ev.precip_record_count;
  if (left < 0 || needed <= double(left)) return 1;
  std::string text = format_text("\nERROR: the NRGAG %d and NRPDS %d cards of the event entitled:\n   %s\n", ev.gauge_count,
              ev.precip_record_count, ev.event_title.c_str());
  text += format_text("ask for at least %.0f bytes of records, but only %lld bytes are left in the precipitation file %s.\n",
              needed, left, file_name);
  return format_error(text);
}

// A record whose card word is none of the four, for example the extra value of a record with
// more values than gauges.
int unknown_record_error(const std::string& title, int k, const char* word, const char* file_name) {
  std::string text = format_text("\nERROR: record %d of the event entitled:\n   %s\n", k, title.c_str());
  text += format_text("in the precipitation file %s begins with \"%s\", not GAGES, RATES, ACCUM or RADAR.\n", file_name,
              word);
  text += "Check that every record has one value per gauge (NRGAG).\n";
  return format_error(text);
}

int impossible_date_error(const std::string& title, int k, const date_record& d, const char* file_name) {
  std::string text = format_text("\nERROR: record %d of the event entitled:\n   %s\n", k, title.c_str());
  text += format_text("in the precipitation file %s is dated %ld/%ld/%ld %ld:%2.2ld, which is not a real date and time of "
              "day (years %d to %d, hours 0 to 23, minutes 0 to 59).\n",
              file_name, long(d.year), long(d.month), long(d.day), long(d.hour), long(d.minute), first_calendar_year,
              last_calendar_year);
  return format_error(text);
}

int bad_gauge_value_error(const std::string& title, int k, int g, double value, const char* file_name) {
  std::string text = format_text("\nERROR: record %d of the event entitled:\n   %s\n", k, title.c_str());
  text += format_text("in the precipitation file %s gives gauge %d the value %g; rain must be a finite number.\n",
              file_name, g, value);
  return format_error(text);
}

// After the declared records the event is over: one more record means NRPDS is short, and
// the rain of the records beyond it would be lost without a word.
int records_beyond_count(std::FILE* fp, const hydromet_state& ev, const char* file_name) {
  const long at = std::ftell(fp);
  char word[6] = {};
  const bool more = at >= 0 && std::fscanf(fp, "%5s", word) == 1 &&
                    (card_is(word, "gage") || card_is(word, "rate") || card_is(word, "accu") || card_is(word, "rada"));
  if (at >= 0) std::fseek(fp, at, SEEK_SET);
  if (!more) return 1;
  std::string text = format_text("\nERROR: the event entitled:\n   %s\n", ev.event_title.c_str());
  text += format_text("in the precipitation file %s declares NRPDS %d records, but more records follow them.\n", file_name,
              ev.precip_record_count);
  return format_error(text);
}

}  // namespace

int read_precip_event(std::FILE* fp, hydromet_state& ev, const char* file_name) {
  ev.precip_gages_card = ev.precip_rates_card = ev.precip_accum_card = 0;
  ev.precip_kind = 0;

  const int found = find_event_card(fp);
  if (found == 0) return 0;
  if (found < 0) {
    return format_error(format_text("There is a problem with your rainfall input file.  PLUVO cannot\n"
                                    "find the first event card.  Check the format of the rainfall input for event %d\n"
                                    "file.\n\n",
                                    event_cards_found));
  }
  ++event_cards_found;
  read_rest_of_line(fp, ev.event_title, title_length);
  const size_t start = ev.event_title.find_first_not_of(" \t");
  ev.event_title.erase(0, start == std::string::npos ? ev.event_title.size() : start);

  const int counts = read_counts(fp, ev, file_name);
  if (counts != 1) return counts;
  const bool radar_event = ev.gauge_count == -1;
  const int records = ev.precip_record_count;
  if (radar_event && records > radar_filename_slots - 1)
    return count_out_of_range("NRPDS", records, 1, radar_filename_slots - 1, file_name,
                              ev.event_title);

  if (counts_fit_file(fp, ev, file_name) != 1) return 0;
  const int gauges = ev.gauge_count;
  grow_table(ev.precip_table, std::max(gauges, 1), records);
  ev.gauge_x.assign(size_t(std::max(gauges, 1)) + 1, 0.0);
  ev.gauge_y.assign(size_t(std::max(gauges, 1)) + 1, 0.0);
  if (ev.precip_dates.size() < size_t(records) + 1) ev.precip_dates.resize(size_t(records) + 1);

  if (!radar_event) {
    const int coords = read_coordinates(fp, ev, file_name);
    if (coords != 1) return coords;
  }

  const bool radar_table = !ev.radar_filenames.empty();
  std::string first_radar_name;
  int flags = 0;
  date_record last{};
  for (int k = 1; k <= records; ++k) {
    char word[6];
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    const bool word_read = std::fscanf(fp, "%5s", word) == 1;
    if (word_read) {
      if (card_is(word, "gage")) flags |= gages_flag, ev.precip_gages_card = 1;
      else if (card_is(word, "rate")) flags |= rates_flag, ev.precip_rates_card = 1;
      else if (card_is(word, "accu")) flags |= accum_flag, ev.precip_accum_card = 1;
      else if (card_is(word, "rada")) flags |= radar_flag, ev.precip_kind = 1;
      else if (flags != 0) return unknown_record_error(ev.event_title, k, word, file_name);
    }
    if (!word_read || std::fscanf(fp, "%d %d %d %d %d", &y, &mo, &d, &h, &mi) != 5) {
      std::printf("\n last year %d last month %d last day %d last hour %d last minute %d \n",
                  last.year, last.month, last.day, last.hour, last.minute);
      return -1;
    }
    if (flags == 0 || (flags & (flags - 1)) != 0) return card_kind_error(flags);

    date_record& date = ev.precip_dates[size_t(k)];
    date = date_record{y < 100 ? y + 1900 : y, mo, d, h, mi, 0};
    last = date;
    if (!is_calendar_date(date.year, date.month, date.day) || !is_time_of_day(date.hour, date.minute))
      return impossible_date_error(ev.event_title, k, date, file_name);
    if (k >= 2 && earlier(date, ev.precip_dates[size_t(k) - 1]))
      return earlier_date_error(ev.event_title, k, date, ev.precip_dates[size_t(k) - 1]);

    if (!radar_event) {
      for (int g = 1; g <= gauges; ++g) {
        double& value = ev.precip_table.rows[g][k];
        if (std::fscanf(fp, "%lf", &value) != 1) {
          std::fputs("\n ERROR: \n", stdout);
          std::printf("\n check out gage input for precip record %d", k);
          std::printf("\n look at gage %d \n", g);
          return -1;
        }
        if (!std::isfinite(value)) return bad_gauge_value_error(ev.event_title, k, g, value, file_name);
        if (ev.precip_accum_card && k >= 2) {
          const double prev = ev.precip_table.rows[g][k - 1];
          if (value < prev) return accum_decrease_error(ev.event_title, k, g, value, prev);
        }
      }
    } else if (!std::feof(fp)) {
      const std::string name = radar_name_from_line(fp);
      if (radar_table) ev.radar_filenames[size_t(k) - 1] = name;
      else if (k == 1) first_radar_name = name;
    }
  }

  if (records_beyond_count(fp, ev, file_name) != 1) return 0;
  if (radar_event) {
    if (!(flags & radar_flag)) {
      return format_error(format_text("\nERROR: the event entitled:\n   %s\n"
                                      "names radar files (NRGAG FILES) but its records are not RADAR records.\n",
                                      ev.event_title.c_str()));
    }
    ev.precip_kind = 2;
    ev.gauge_count = 1;
    if (radar_table) ev.radar_filenames[size_t(records)] = ev.radar_filenames[size_t(records) - 1];
  }
  return 1;
}

int read_precip_event(model_state& m) {
  if (!m.raingage_fp.is_open()) return 0;
  const int result = read_precip_event(m.raingage_fp.stream, m, m.precip_path.c_str());
  // The radar file table is made when the first radar event is met.
  if (result == 1 && m.precip_kind == 2 && m.radar_filenames.empty())
    m.radar_filenames.assign(radar_filename_slots, std::string());
  return result;
}

namespace {

struct hour_date {
  long year, month, day, hour;
};

void print_terminating() { std::fputs("Program terminating.  Check your dates.\n", stdout); }

// Compares the event's start with one end of the hourly data (edge "starts"/"begins" for the
// first record, "ends"/"ends" for the last); later is +1 for the last record, -1 for the first.
// 0 stop, 1 go on (a day or hour outside only warns), -1 nothing to say.
int compare_with_data_edge(const hour_date& event, const hour_date& data, int later,
                           const char* month_word, const char* day_word) {
  if (event.year != data.year) return -1;
  if ((event.month - data.month) * later > 0) {
    std::printf("\nRaingage Data starts in month %ld of %ld while hmet data %s in\n", event.month,
                event.year, month_word);
    std::printf("month %ld of %ld\n", data.month, data.year);
    print_terminating();
    return 0;
  }
  if (event.month != data.month) return -1;
  if ((event.day - data.day) * later > 0) {
    std::printf("\nRaingage data starts on day %ld of month %ld in year %ld\n", event.day,
                event.month, event.year);
    std::printf("while the hmet data %s on day %ld of month %ld in year %ld\n", day_word,
                data.day, data.month, data.year);
    std::fputs("Check your dates.\n", stdout);
    return 1;
  }
  if (event.day == data.day && (event.hour - data.hour) * later > 0) {
    std::printf("\nRaingage data starts on hour %ld day %ld month %ld in year %ld\n", event.hour,
                event.day, event.month, event.year);
    std::printf("while the hmet data %s on hour %ld day %ld of month %ld in year %ld\n", day_word,
                data.hour, data.day, data.month, data.year);
    std::fputs("Check your times and dates.\n", stdout);
    return 1;
  }
  return -1;
}

}  // namespace

int check_precip_hmet_dates(long hmet_year, long hmet_month, long hmet_day, long hmet_hour,
                            long last_year, long last_month, long last_day, long last_hour,
                            long event_year, long event_month, long event_day, long event_hour) {
  if (event_year < hmet_year) {
    std::printf("\nRaingage Data starts in %ld, hydromet data doesn't start until %ld.\n",
                event_year, hmet_year);
    print_terminating();
    return 0;
  }
  if (event_year > last_year) {
    std::printf("\nRaingage Data starts in %ld, hydromet data ends in %ld.\n", event_year,
                last_year);
    print_terminating();
    return 0;
  }
  const hour_date event{event_year, event_month, event_day, event_hour};
  const int first = compare_with_data_edge(event, {hmet_year, hmet_month, hmet_day, hmet_hour}, -1,
                                           "starts", "begins");
  if (first >= 0) return first;
  const int last = compare_with_data_edge(event, {last_year, last_month, last_day, last_hour}, 1,
                                          "ends", "ends");
  return last >= 0 ? last : 1;
}

}  // namespace pluvo
