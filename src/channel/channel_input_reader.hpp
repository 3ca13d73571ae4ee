#pragma once
// The channel input reader, shared by the files that read its sections: the header cards and
// counts (channel_input.cpp), the links and their nodes (channel_input_links.cpp), and the
// grid-stream file and the lakes (channel_input_cells.cpp).
#include "channel/channel_input.hpp"
#include "channel/channel_lakes.hpp"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "channel/channel_routines.hpp"
#include "channel/cross_sections.hpp"
#include "common/console.hpp"
#include "common/elevation_series.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "common/process.hpp"
#include "common/time_series.hpp"
#include "input/neighbour_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace chan_input {

// Structure type words, compared over their own length.
constexpr const char* structure_words[] = {"weir",         "sag_weir",     "round_culvert",
                                           "oval_culvert", "rect_culvert", "rating_curve",
                                           "scheduled_release", "rule_curve"};

// Sizes beyond which a file cannot describe a real network; they keep the arrays allocatable.
constexpr long long max_node_slots = 20000000;
constexpr int max_upstream_warning = 20;
constexpr double min_mannings_n = 1e-08;
constexpr double max_mannings_n = 1.0;  // far above any channel's roughness: a slip of the unit or the digit
constexpr int max_num_interp = 30000;
constexpr double lake_cell_tolerance = 1e-07;

// The arguments of one card, consumed token by token.
class card_args {
 public:
  explicit card_args(const std::string& text) : buf_(text.begin(), text.end()) { buf_.push_back('\0'); }
  int integer() {
    int32_t v = 0;
    next_int(buf_.data(), v);
    return v;
  }
  // false when the line holds no further token
  bool integer(int& value) {
    int32_t v = 0;
    const int found = next_int(buf_.data(), v);
    value = v;
    return found != 0;
  }
  double real() {
    double v = 0.0;
    next_double(buf_.data(), v);
    return v;
  }
  std::string token() {
    char t[token_buffer_size];
    if (!next_token(buf_.data(), t)) return std::string();
    return t;
  }
  char* rest() { return buf_.data(); }

 private:
  std::vector<char> buf_;
};

struct chan_line {
  std::string text;  // the whole line
  int code = chan_card_none;
  std::string args;  // the line after its card word
};

inline std::vector<chan_line> load_lines(checked_file& file) {
  std::vector<chan_line> lines;
  if (!file.is_open()) return lines;
  std::rewind(file.stream);
  std::vector<char> buffer(line_buffer_size);
  while (read_line(buffer.data(), file)) {
    chan_line l;
    l.text = buffer.data();
    l.code = classify_chan_card(buffer.data());
    l.args = buffer.data();
    lines.push_back(std::move(l));
  }
  return lines;
}

inline std::FILE* log_stream() { return error_log_file ? error_log_file->stream : nullptr; }

// Prints a fatal message (console and log) and marks the file invalid; false for the caller to
// return.
inline bool refuse(const std::string& file, const char* format, ...) __attribute__((format(printf, 2, 3)));
inline bool refuse(const std::string& file, const char* format, ...) {
  char text[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  write_log_message(log_stream(), text);
  set_error(200, "", file);
  return false;
}

// A message the reading goes on after: printed, its code reported at once (301 is a warning;
// 4000 stops the run once the set-up is over).
inline void report_at_once(const std::string& text, int code) {
  write_log_message(log_stream(), text.c_str());
  error_state.error_code = code;
  report_error(error_state);
}

inline const char* header_word(int code) {
  switch (code) {
    case chan_card_alpha: return "ALPHA";
    case chan_card_beta: return "BETA";
    case chan_card_theta: return "THETA";
    case chan_card_links: return "LINKS";
    default: return "MAXNODES";
  }
}

inline bool is_header_card(int code) {
  return code == chan_card_alpha || code == chan_card_beta || code == chan_card_theta ||
         code == chan_card_links || code == chan_card_maxnodes;
}

inline int link_type_of_card(int code) {
  switch (code) {
    case chan_card_trapezoid: return 4;
    case chan_card_subsurface_trapezoid: return 5;
    case chan_card_trap_erode: return 6;
    case chan_card_trapezoid_subsurface_erode: return 7;
    case chan_card_breakpoint: return 8;
    case chan_card_break_erode: return 10;
    case chan_card_subsurface_breakpoint: return 9;
    case chan_card_breakpoint_subsurface_erode: return 11;
    default: return 0;
  }
}

// 1..8, or 0 for a word that names no structure type.
inline int structure_type_of(std::string word) {
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (int t = 0; t < 8; ++t)
    if (word.compare(0, std::strlen(structure_words[t]), structure_words[t]) == 0) return t + 1;
  return 0;
}

inline bool is_channel_link(int type) { return (type & 12) != 0; }

class chan_reader {
 public:
  explicit chan_reader(model_state& m) : m_(m), name_(m.channel_input_path) {
    loud_ = m.super_quiet_on == 0 && m.silent_mode != 1 && process_index == 0;
  }

  void read() {
    lines_ = load_lines(m_.chan_input_fp);
    // A file of another kind (or none at all) would leave the links empty for the routing to trip on.
    if (!m_.chan_input_fp.is_open()) return;  // the opening has reported a file it could not open
    if (lines_.empty() || strncasecmp(lines_[0].text.c_str(), "pluvo_chan", 10) != 0) {
      refuse(name_, "Error: The channel input file %.2000s must begin with PLUVO_CHAN; its first line is \"%.80s\".\n",
             name_.c_str(), lines_.empty() ? "" : lines_[0].text.c_str());
      return;
    }
    if (!read_header() || !count_cards() || !read_topology() || !read_links_and_nodes() ||
        !check_structures() || !read_breakpoint_sections())
      return;
    set_computational_nodes();
    if (m_.gst_mode_on && !read_grid_stream()) return;
    if (m_.lakes_on && !read_lakes()) return;
    if (m_.lakes_on) keep_network_as_read();
  }

 private:
  int key(int link, int node) const { return link * m_.chan_node_extent + node; }

  void say(const char* text) {
    if (loud_) message_out("%s", text);
  }

  // Pass 1: ALPHA, BETA, THETA, LINKS and MAXNODES, each once, before anything is sized.
  bool read_header();

  bool repeated_header(int code);

  bool link_in_range(int link, const char* card);

  // Pass 2: link types and per-link values, and the counts that size everything else.
  bool count_cards();

  bool bad_mannings_n(int link);

  bool summarise_counts(const std::vector<int>& file_order);

  // What each link needs before its nodes are read.
  bool check_links();

  bool size_node_arrays();

  // Pass 4a: the CONNECT cards, all of them before the first LINK card.
  bool read_topology();

  bool check_topology();

  // Water sent round a ring of links is never routed out: every chain of downstream links must end.
  bool no_cycle();

  // Pass 4b: the links and their nodes, structures, point sources and pumps.
  bool read_links_and_nodes();

  bool outside_structure_link(const char* card, int link);

  // The field of element s that a coefficient card fills, or null for other cards.
  double* structure_field(int code, int s);

  // The type word and, for the curve and release types, their series.
  bool read_structure_type(card_args& a, hydraulic_structure& e);

  bool finish_links();

  // The weir and culvert formulas divide by these sizes.
  bool check_structures();

  // A section being gathered for a break-point link.
  struct gathering {
    breakpoint_link link;
    std::vector<int> wanted;  // NPAIRS of each section
    bool done = false;
  };

  bool fewer_pairs(int section, int link);

  // Pass 5: the surveyed sections of every break-point link, handed on to the table builder.
  bool read_breakpoint_sections();

  bool build_tables(gathering& g, int link, int& table_counter);

  // The file's nodes end the computational segments; each computational node lies midway.
  void set_computational_nodes();

  int mask_cell(int row, int col) const;

  // The grid-stream file: which (link, node) entries each stream cell feeds.
  bool read_grid_stream();

  // The lakes: their cards, search cells and rating tables, then their starting state.
  bool read_lakes();

  // A lake that starts off its own rating curve would start from the curve's end with an error
  // line and run on: the start is refused here instead.
  bool rating_holds_start(int l);

  void start_lake(int l);

  // The network as read, kept while the lake routing changes the working fields.
  void keep_network_as_read();

  model_state& m_;
  std::string name_;
  bool loud_ = true;
  std::vector<chan_line> lines_;
  size_t topology_end_ = 1;
  // Per link, as read.
  std::vector<double> mannings_n_, erosion_, k_river_, m_river_;
  std::vector<int> has_k_river_, npairs_cards_, first_np_node_, last_np_node_, xsec_node_, typed_;
  std::vector<int> element_link_;  // link of each structure element
  int max_upstream_ = 0;
  int connect_cards_ = 0;
  int pointsource_cards_ = 0;
  int pump_cards_ = 0;
  int k_river_links_ = 0;
  int numstructs_sum_ = 0;
  int max_numrate_ = 0;
  int max_numpts_ = 0;
  int max_sections_ = 0;
  bool any_mlake_ = false;
};

}  // namespace chan_input

}  // namespace pluvo
