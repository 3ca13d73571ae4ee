// Dated inflows (and constituent loads) at chosen channel nodes, from the channel point-input
// file: NUMPT, the POINT cards, NRPDS and the dated INPUT records.
#include <strings.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

#include "channel/channel_phases.hpp"
#include "channel/network_setup.hpp"
#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// Words read in search of a card before the file is taken as malformed.
constexpr int card_search_limit = 10000;

enum class word_result { found, missing, end_of_file };

// Keywords are compared on their first five characters, without regard to case.
bool is_card(const char* word, const char* card) { return strncasecmp(word, card, 5) == 0; }

word_result find_card(std::FILE* f, const char* card) {
  char word[1024];
  for (int i = 0; i < card_search_limit; ++i) {
    if (std::fscanf(f, "%1023s", word) != 1) return word_result::end_of_file;
    if (is_card(word, card)) return word_result::found;
  }
  return word_result::missing;
}

void card_missing(const char* what) {
  stop_run("There is a problem with your channel source input file.  PLUVO cannot\n"
           "find the %s.  Check the format of your channel source file\n\n",
           what);
}

// The next word of the file as a whole number (int) or a real (double): 1 when read, 0 when the
// word is no such number (the run then stops with a message naming what was expected), -1 at the
// end of the file.
template <typename T>
int read_number(model_state& m, T& value, const char* what) {
  char word[1024];
  if (std::fscanf(m.chan_point_source_fp.stream, "%1023s", word) != 1) return -1;
  char* end = word;
  if constexpr (std::is_same_v<T, int>) {
    const long v = std::strtol(word, &end, 10);
    if (*end == '\0' && end != word && v >= INT_MIN && v <= INT_MAX) {
      value = int(v);
      return 1;
    }
  } else {
    const double v = std::strtod(word, &end);
    if (*end == '\0' && end != word && std::isfinite(v)) {
      value = v;
      return 1;
    }
  }
  stop_run("Error: the channel point-input file %s holds \"%s\" where %s belongs.\n",
           m.chan_point_source_fp.path.c_str(), word, what);
  return 0;
}

void skip_rest_of_line(std::FILE* f) {
  if (std::fscanf(f, "%*[^\n]") == EOF) return;
  std::fgetc(f);
}

// The header of a dated record: INPUT year month day hour minute (a year below 100 is of the
// 1900s). 1 when read, 0 after a malformed header (the run stops), -1 at the end of the file.
int read_record_header(model_state& m) {
  std::FILE* f = m.chan_point_source_fp.stream;
  char word[1024];
  date_record d;
  const int n = std::fscanf(f, "%1023s %d %d %d %d %d", word, &d.year, &d.month, &d.day, &d.hour, &d.minute);
  if (n == EOF || (n >= 0 && n < 6 && std::feof(f))) {
    const date_record& last = m.chan_point_date;
    std::printf("\n last year %d last month %d last day %d last hour %d last minute %d \n", last.year, last.month,
                last.day, last.hour, last.minute);
    return -1;
  }
  skip_rest_of_line(f);
  if (d.year >= 0 && d.year < 100) d.year += 1900;
  if (n != 6 || !is_card(word, "input") || !is_calendar_date(d.year, d.month, d.day) ||
      !is_time_of_day(d.hour, d.minute)) {
    stop_run("Error: dated record %d of the channel point-input file %s must begin with INPUT and a valid year, "
             "month, day, hour and minute.\n",
             m.chan_point_records_read + 1, m.chan_point_source_fp.path.c_str());
    return 0;
  }
  m.chan_point_date = d;
  return 1;
}

// One POINT card: node, link and flow, then one load per constituent, at the node's key.
int read_point_card(model_state& m, int point) {
  std::FILE* f = m.chan_point_source_fp.stream;
  int node = 0, link = 0;
  int r = read_number(m, node, "the node of a POINT card");
  if (r == 1) r = read_number(m, link, "the link of a POINT card");
  if (r != 1) return r;
  if (link < 1 || link > m.nlinks || node < 1 || node > m.nx[size_t(link)]) {
    stop_run("Error: POINT card %d of the channel point-input file %s names node %d of link %d, outside the "
             "network of %d links.\n",
             point, m.chan_point_source_fp.path.c_str(), node, link, m.nlinks);
    return 0;
  }
  const int key = link * m.chan_node_extent + node;
  m.chan_point_address[size_t(point)] = key;
  r = read_number(m, m.chan_point_flow[size_t(key)], "the flow of a POINT card");
  for (int k = 1; r == 1 && k <= m.num_constituents; ++k)
    r = read_number(m, m.pointconc[size_t(k)][size_t(key)], "a load of a POINT card");
  if (r == 1) skip_rest_of_line(f);
  return r;
}

}  // namespace

int read_chan_point_sources(model_state& m) {
  std::FILE* f = m.chan_point_source_fp.stream;
  word_result w = find_card(f, "numpt");
  if (w == word_result::end_of_file) return -1;
  if (w == word_result::missing) {
    card_missing("first card");
    return 0;
  }
  int r = read_number(m, m.chan_point_count, "the number of points");
  if (r != 1) return r;
  if (m.chan_point_count < 0 || m.chan_point_count > m.chan_slot_count) {
    stop_run("Error: the channel point-input file %s gives NUMPT %d; it must lie between 0 and %d.\n",
             m.chan_point_source_fp.path.c_str(), m.chan_point_count, m.chan_slot_count);
    return 0;
  }
  m.chan_point_address.assign(size_t(m.chan_point_count) + 1, 0);
  for (int point = 1; point <= m.chan_point_count; ++point) {
    w = find_card(f, "point");
    if (w == word_result::end_of_file) return -1;
    if (w == word_result::missing) {
      card_missing("point source location card");
      return 0;
    }
    r = read_point_card(m, point);
    if (r != 1) return r;
  }
  w = find_card(f, "nrpds");
  if (w == word_result::end_of_file) {
    m.chan_point_record_count = 0;
    return 0;
  }
  if (w == word_result::missing) {
    card_missing("number of timed changes to your point inputs");
    return -1;
  }
  r = read_number(m, m.chan_point_record_count, "the number of dated records");
  if (r != 1) return r;
  if (m.chan_point_record_count < 0) {
    stop_run("Error: the channel point-input file %s gives NRPDS %d; it must be 0 or more.\n",
             m.chan_point_source_fp.path.c_str(), m.chan_point_record_count);
    return 0;
  }
  if (m.chan_point_record_count == 0) return 0;
  return read_record_header(m);
}

int read_channel_point_record(model_state& m) {
  int r = 1;
  // The message of a value that is no number names the record it stands in.
  char flow_what[96], load_what[96];
  std::snprintf(flow_what, sizeof flow_what, "the flow of a point of dated record %d", m.chan_point_records_read);
  std::snprintf(load_what, sizeof load_what, "a load of a point of dated record %d", m.chan_point_records_read);
  for (int point = 1; r == 1 && point <= m.chan_point_count; ++point) {
    const size_t key = size_t(m.chan_point_address[size_t(point)]);
    r = read_number(m, m.chan_point_flow[key], flow_what);
    for (int k = 1; r == 1 && k <= m.num_constituents; ++k) r = read_number(m, m.pointconc[size_t(k)][key], load_what);
  }
  if (r != 1) return r;
  skip_rest_of_line(m.chan_point_source_fp.stream);
  if (m.chan_point_records_read >= m.chan_point_record_count) return 0;
  return read_record_header(m);
}

double chan_point_record_time(const model_state& m) {
  const date_record& d = m.chan_point_date;
  return julian_date(d.year, d.month, d.day, d.hour, d.minute, 0.0);
}

void read_chan_point_input_step(model_state& m) {
  if (!m.chan_point_input_on) return;
  // Every record whose date the model time has reached is read in turn, so a date that falls
  // between two steps takes effect at the first step after it.
  while (m.chan_point_next_time != 0.0 && m.cur_julian > m.chan_point_next_time - m.time_tolerance) {
    ++m.chan_point_records_read;
    const int r = read_channel_point_record(m);
    if (r == 1) {
      m.chan_point_next_time = chan_point_record_time(m);
    } else {
      m.chan_point_next_time = 0.0;
      if (r == -1)
        stop_run("Unexpected end of file in chan point input data file.\n"
                 "Check the format of the data file.\nProgram terminated.");
      return;
    }
  }
}

}  // namespace pluvo
