// The channel input file and the grid-stream file, read into the network fields of the record.
// The file is read once into memory and then walked in passes, so that every array is sized
// from the whole file before anything is stored in it.
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

namespace {

struct card_word {
  const char* word;
  int code;
};

constexpr card_word card_words[] = {
    {"alpha", 1}, {"beta", 2}, {"theta", 3}, {"dx", 4}, {"links", 5}, {"maxnodes", 6}, {"connect", 7},
    {"link", 8}, {"nodes", 9}, {"trapezoid", 10}, {"subsurface_trapezoid", 11}, {"trapezoid_subsurface", 11},
    {"trap_erode", 12}, {"trapezoid_erode", 12}, {"trapezoid_subsurface_erode", 13},
    {"trapezoid_erode_subsurface", 13}, {"subsurface_trap_erode", 13}, {"breakpoint", 14},
    {"break_erode", 15}, {"breakpoint_erode", 15}, {"subsurface_breakpoint", 16},
    {"breakpoint_subsurface", 16}, {"breakpoint_subsurface_erode", 17}, {"breakpoint_erode_subsurface", 17},
    {"erodible", 18}, {"erode", 18}, {"subsurface", 19}, {"lake", 20}, {"mlake", 21}, {"structure", 22},
    {"structtype", 23}, {"mannings_n", 24}, {"max_erosion", 25}, {"gw_bed_conductivity", 26},
    {"k_river", 26}, {"gw_bed_thickness", 27}, {"m_river", 27}, {"dispersion_coeff", 28},
    {"decay_coeff", 29}, {"num_outlets", 30}, {"static", 31}, {"numrate", 32}, {"node", 33}, {"elev", 34},
    {"xsec", 35}, {"bottom_width", 36}, {"bankfull_depth", 37}, {"side_slope", 38}, {"x1", 39},
    {"x_y", 40}, {"npairs", 41}, {"streamcells", 42}, {"cellij", 43}, {"numnodes", 44}, {"linknode", 45},
    {"numstructs", 46}, {"upinvert", 47}, {"downinvert", 48}, {"inlet_disch_coeff", 50},
    {"rev_flow_disch_coeff", 52}, {"slope", 53}, {"length", 54}, {"width", 55}, {"height", 56},
    {"diameter", 58}, {"rough_coeff", 59}, {"a_value", 60}, {"b_value", 61}, {"minwse", 62},
    {"initwse", 63}, {"maxwse", 64}, {"numpts", 65}, {"crest_length", 66}, {"crest_low_elev", 67},
    {"crest_low_loc", 68}, {"discharge_coeff_forward", 69}, {"discharge_coeff_reverse", 70},
    {"steep_slope", 71}, {"shallow_slope", 72}, {"pointsource", 73}, {"num_interp", 74}, {"pumpto", 75},
    {"overbank", 76}, {"backwater", 77}};

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

std::vector<chan_line> load_lines(checked_file& file) {
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

std::FILE* log_stream() { return error_log_file ? error_log_file->stream : nullptr; }

// Prints a fatal message (console and log) and marks the file invalid; false for the caller to
// return.
bool refuse(const std::string& file, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool refuse(const std::string& file, const char* format, ...) {
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
void report_at_once(const std::string& text, int code) {
  write_log_message(log_stream(), text.c_str());
  error_state.error_code = code;
  report_error(error_state);
}

const char* header_word(int code) {
  switch (code) {
    case chan_card_alpha: return "ALPHA";
    case chan_card_beta: return "BETA";
    case chan_card_theta: return "THETA";
    case chan_card_links: return "LINKS";
    default: return "MAXNODES";
  }
}

bool is_header_card(int code) {
  return code == chan_card_alpha || code == chan_card_beta || code == chan_card_theta ||
         code == chan_card_links || code == chan_card_maxnodes;
}

int link_type_of_card(int code) {
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
int structure_type_of(std::string word) {
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (int t = 0; t < 8; ++t)
    if (word.compare(0, std::strlen(structure_words[t]), structure_words[t]) == 0) return t + 1;
  return 0;
}

bool is_channel_link(int type) { return (type & 12) != 0; }

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
  bool read_header() {
    bool seen[7] = {};
    int distinct = 0;
    size_t i = 1;
    for (; i < lines_.size() && distinct < 5; ++i) {
      const int code = lines_[i].code;
      if (!is_header_card(code)) continue;
      if (seen[code]) return repeated_header(code);
      seen[code] = true;
      ++distinct;
      card_args a(lines_[i].args);
      if (code == chan_card_links) m_.nlinks = a.integer();
      if (code == chan_card_maxnodes) m_.max_nodes = a.integer();
    }
    if (distinct < 5) {
      return refuse(name_, "%s",
                    "Premature end-of-file in the channel input file.\n"
                    "The channel input file does not contain all the required parameter cards.\n"
                    "These include: ALPHA, BETA, THETA, DX, LINKS, and MAXNODES.\n"
                    "Repair your channel input file and try again.  These cards must appear at\n"
                    "The beginning of the file before and COORD or LINK cards.\n"
                    "Program terminated in read_chan_input.\n");
    }
    for (; i < lines_.size(); ++i)
      if (is_header_card(lines_[i].code)) return repeated_header(lines_[i].code);
    if (m_.nlinks < 1)
      return refuse(name_, "Error in the channel input file %s: LINKS %d is below 1.\n", name_.c_str(), m_.nlinks);
    if (m_.max_nodes < 1)
      return refuse(name_, "Error in the channel input file %s: MAXNODES %d is below 1.\n", name_.c_str(),
                    m_.max_nodes);
    const long long slots = (static_cast<long long>(m_.nlinks) + 1) * (static_cast<long long>(m_.max_nodes) + 1);
    if (slots > max_node_slots)
      return refuse(name_, "Error in the channel input file %s: LINKS %d and MAXNODES %d give %lld node slots, above the limit %lld.\n",
                    name_.c_str(), m_.nlinks, m_.max_nodes, slots, max_node_slots);
    m_.chan_node_extent = m_.max_nodes + 1;
    m_.chan_link_extent = m_.nlinks + 1;
    m_.chan_slot_count = m_.chan_node_extent * m_.chan_link_extent;
    const size_t per_link = static_cast<size_t>(m_.chan_link_extent) + 1;
    for (auto* v : {&m_.ltype, &m_.ldex, &m_.ndep, &m_.dslink, &m_.nx, &m_.nx1, &m_.og_nx1, &m_.bplink})
      v->assign(per_link, 0);
    m_.link_dx.assign(per_link, 0.0);
    m_.inv_mannings_n.assign(per_link, 0.0);
    mannings_n_.assign(per_link, 0.0);
    erosion_.assign(per_link, 0.0);
    k_river_.assign(per_link, 0.0);
    m_river_.assign(per_link, 0.0);
    for (auto* v : {&has_k_river_, &npairs_cards_, &first_np_node_, &last_np_node_, &xsec_node_, &typed_})
      v->assign(per_link, 0);
    m_.table_num.assign(static_cast<size_t>(m_.chan_slot_count), 0);
    return true;
  }

  bool repeated_header(int code) {
    return refuse(name_,
                  "Error in the channel input file %s: the header card %s is given more than once "
                  "(ALPHA, BETA, THETA, LINKS and MAXNODES are each given once).\n",
                  name_.c_str(), header_word(code));
  }

  bool link_in_range(int link, const char* card) {
    if (link >= 1 && link <= m_.nlinks) return true;
    return refuse(name_, "Error in the channel input file %s: %s %d is outside the links 1..%d (LINKS).\n",
                  name_.c_str(), card, link, m_.nlinks);
  }

  // Pass 2: link types and per-link values, and the counts that size everything else.
  bool count_cards() {
    int cur = 0;
    int node = 0;
    std::vector<int> file_order;
    for (size_t i = 1; i < lines_.size(); ++i) {
      const int code = lines_[i].code;
      card_args a(lines_[i].args);
      if (const int t = link_type_of_card(code)) {
        m_.ltype[cur] = t;
        m_.ldex[cur] = cur;
        if (!typed_[cur]++) file_order.push_back(cur);
        continue;
      }
      switch (code) {
        case chan_card_link:
          cur = a.integer();
          if (!link_in_range(cur, "LINK")) return false;
          break;
        case chan_card_node:
          node = a.integer();
          if (node < 1 || node > m_.max_nodes)
            return refuse(name_, "Error in the channel input file %s: NODE %d of link %d is outside the nodes 1..%d (MAXNODES).\n",
                          name_.c_str(), node, cur, m_.max_nodes);
          break;
        case chan_card_dx: m_.link_dx[cur] = a.real(); break;
        case chan_card_nodes: m_.nx1[cur] = a.integer(); break;
        case chan_card_erodible:
          if (!(m_.ltype[cur] & 2)) m_.ltype[cur] += 2;
          break;
        case chan_card_subsurface:
          if (!(m_.ltype[cur] & 1)) m_.ltype[cur] += 1;
          break;
        case chan_card_overbank:
          m_.ltype[cur] |= 256;
          m_.overbank_links_on = 1;
          break;
        case chan_card_backwater: m_.ltype[cur] |= 512; break;
        case chan_card_lake:
          m_.ltype[cur] = ltype_lake;
          m_.ldex[cur] = ++m_.nlakes;
          m_.lakes_on = 1;
          if (!typed_[cur]++) file_order.push_back(cur);
          break;
        case chan_card_mlake: any_mlake_ = true; break;
        case chan_card_structure:
          m_.ltype[cur] = ltype_structure;
          m_.nx1[cur] = 2;
          m_.ldex[cur] = cur;
          if (!typed_[cur]++) file_order.push_back(cur);
          break;
        case chan_card_structtype: {
          const std::string word = a.token();
          if (!structure_type_of(word))
            return refuse(name_, "Error in the channel input file %s: STRUCTTYPE %s of link %d is none of WEIR, SAG_WEIR, ROUND_CULVERT, OVAL_CULVERT, RECT_CULVERT, RATING_CURVE, SCHEDULED_RELEASE, RULE_CURVE.\n",
                          name_.c_str(), word.c_str(), cur);
          ++m_.num_structures;
          break;
        }
        case chan_card_mannings_n:
          mannings_n_[cur] = a.real();
          if (mannings_n_[cur] < min_mannings_n) return bad_mannings_n(cur);
          if (!(mannings_n_[cur] <= max_mannings_n))
            return refuse(name_, "Error in the channel input file %s: MANNINGS_N %g of link %d (line %zu) is outside %g..%g.\n",
                          name_.c_str(), mannings_n_[cur], cur, i + 1, min_mannings_n, max_mannings_n);
          break;
        case chan_card_max_erosion: erosion_[cur] = a.real(); break;
        case chan_card_k_river:
          k_river_[cur] = a.real();
          if (!has_k_river_[cur]) ++k_river_links_;
          has_k_river_[cur] = 1;
          break;
        case chan_card_m_river: m_river_[cur] = a.real(); break;
        case chan_card_npairs: {
          const int n = a.integer();
          if (n < 3)
            return refuse(name_,
                          "Error encountered when reading the channel input file, link %d:\n"
                          " Number of break point cross section pairs is less than 3\n",
                          cur);
          // One X1 line a pair: a count the file cannot hold is refused before the tables are sized.
          const long long room = static_cast<long long>(lines_.size() - 1 - i);
          if (n > room)
            return refuse(name_, "Error in the channel input file %s: NPAIRS %d of link %d (line %zu) is above %lld, the lines that follow it.\n",
                          name_.c_str(), n, cur, i + 1, room);
          m_.max_npairs = std::max(m_.max_npairs, n);
          if (npairs_cards_[cur]++ == 0) first_np_node_[cur] = node;
          last_np_node_[cur] = node;
          break;
        }
        case chan_card_numstructs: numstructs_sum_ += a.integer(); break;
        case chan_card_connect: {
          ++connect_cards_;
          a.integer();
          a.integer();
          const int n = a.integer();
          if (n < 0 || n > m_.nlinks)
            return refuse(name_, "Error in the channel input file %s: CONNECT card %d lists %d upstream links, outside 0..%d (LINKS).\n",
                          name_.c_str(), connect_cards_, n, m_.nlinks);
          max_upstream_ = std::max(max_upstream_, n);
          break;
        }
        case chan_card_pointsource: ++pointsource_cards_; break;
        case chan_card_pumpto: ++pump_cards_; break;
        case chan_card_numrate:
        case chan_card_numpts: {
          const int n = a.integer();
          const bool rate = code == chan_card_numrate;
          const long long room = static_cast<long long>(lines_.size() - 1 - i) * (rate ? 1 : 10);
          if (n < 0 || n > room)
            return refuse(name_, "Error in the channel input file %s: %s %d of link %d is outside 0..%lld (the lines that follow it).\n",
                          name_.c_str(), rate ? "NUMRATE" : "NUMPTS", n, cur, room);
          (rate ? max_numrate_ : max_numpts_) = std::max(rate ? max_numrate_ : max_numpts_, n);
          break;
        }
        case chan_card_num_interp: {
          const int n = a.integer();
          if (!(n >= 1 && n <= max_num_interp))
            return refuse(name_, "Error in the channel input file %s: NUM_INTERP %d of link %d (line %zu) is outside 1..%d.\n",
                          name_.c_str(), n, cur, i + 1, max_num_interp);
          m_.max_num_interp = std::max(m_.max_num_interp, n);
          break;
        }
        default: break;
      }
    }
    return summarise_counts(file_order) && check_links() && size_node_arrays();
  }

  bool bad_mannings_n(int link) {
    return refuse(name_,
                  "Error encountered when reading the channel input file, link %d:\n"
                  "    Manning's Roughness is 0.000\n",
                  link);
  }

  bool summarise_counts(const std::vector<int>& file_order) {
    int trap = 0, trap_sub = 0, trap_erode = 0, bp = 0, bp_sub = 0, bp_erode = 0, lakes = 0, structs = 0;
    int subsurface = 0;
    max_sections_ = 0;
    for (int l = 1; l <= m_.nlinks; ++l) {
      const int t = m_.ltype[l];
      if (t & 4) {
        ++trap;
        trap_sub += t & 1;
        trap_erode += (t & 2) != 0;
      } else if (t & 8) {
        ++bp;
        bp_sub += t & 1;
        bp_erode += (t & 2) != 0;
        max_sections_ = std::max(max_sections_, npairs_cards_[l]);
      }
      if (is_channel_link(t)) subsurface += t & 1;
      lakes += (t & ltype_lake) != 0;
      structs += (t & ltype_structure) != 0;
    }
    for (int l : file_order)
      if ((m_.ltype[l] & 8) && (m_.ltype[l] & 2)) m_.bplink[l] = ++m_.num_erodible_bp_links;
    if (numstructs_sum_ != m_.num_structures)
      return refuse(name_,
                    "\nThe sum of NUMSTRUCTS arguments is %d, while the total number\n"
                    "of hydraulic structure element cards (e.g. WEIR, ROUND_CULVERT,\n"
                    "etc.) is %d.  This inconstency is intolerable.  Check your channel\n"
                    "input file.  Program terminated.\n",
                    numstructs_sum_, m_.num_structures);
    if (structs > 0) {
      m_.struct_range.assign(static_cast<size_t>(m_.chan_link_extent) + 1, std::array<int32_t, 3>{0, 10000, 0});
      m_.structures.assign(static_cast<size_t>(m_.num_structures) + 1, hydraulic_structure());
      element_link_.assign(static_cast<size_t>(m_.num_structures) + 1, 0);
    }
    if (m_.num_erodible_bp_links > 0) {
      const size_t n = static_cast<size_t>(m_.num_erodible_bp_links + 1) * m_.chan_node_extent;
      m_.max_yp.assign(n, 0.0);
      m_.ch_sand_vol0.assign(n, 0.0);
    }
    if (loud_) {
      message_out("\n\nChannel input data:\n");
      message_out("  max. number of u.s. dependencies:      %d\n", max_upstream_);
      message_out("  number of trapezoidal links:           %d\n", trap);
      message_out("    num w/ subsurface attribute:           %d\n", trap_sub);
      message_out("    num w/ erodible attribute:             %d\n", trap_erode);
      message_out("  number of breakpoint links:            %d\n", bp);
      message_out("    num w/ subsurface attribute:           %d\n", bp_sub);
      message_out("    num w/ erodible attribute:             %d\n", bp_erode);
      message_out("    max number of xsec in any bp link:     %d\n", max_sections_);
      message_out("    max number of xsec pairs:              %d\n", m_.max_npairs);
      message_out("  number of lake links:                  %d\n", lakes);
      message_out("  number of hydraulic structure links:   %d\n", structs);
      message_out("    total no. of hydr. structure elements: %d\n", m_.num_structures);
      message_out("  number of groundwater links:           %d\n", k_river_links_);
      if (k_river_links_ != subsurface)
        message_out("%s", " ===> Error: the number of specified subsurface links does not match the number of subsurface \n"
                          "parameters. Check your subsurface links to ensure that they specify the bed concuctivity and thickness\n");
    }
    if (max_upstream_ > max_upstream_warning) {
      const std::string text = format_text(
          "Warning:  Maximum number of upstream dependencies is very high\n"
          "in the read_chan_input subroutine was equal to %d, which is, frankly, a\n",
          max_upstream_);
      report_at_once(text, 4000);
    }
    if (connect_cards_ != m_.nlinks)
      return refuse(name_,
                    "Your channel input file contains %d links, and %d CONNECT cards\n"
                    "These two numbers must be equal.  Therefore, you have a major \n"
                    "problem with your channel input file.  PLUVO cannot proceed.\n"
                    "program terminated.\n",
                    m_.nlinks, connect_cards_);
    return true;
  }

  // What each link needs before its nodes are read.
  bool check_links() {
    for (int l = 1; l <= m_.nlinks; ++l) {
      const int t = m_.ltype[l];
      if (!typed_[l])
        return refuse(name_, "Error in the channel input file %s: link %d has no type card (TRAPEZOID, BREAKPOINT, LAKE or STRUCTURE and their variants).\n",
                      name_.c_str(), l);
      if (m_.nx1[l] < 0 || m_.nx1[l] > m_.max_nodes)
        return refuse(name_, "Error in the channel input file %s: NODES %d of link %d is outside 0..%d (MAXNODES).\n",
                      name_.c_str(), m_.nx1[l], l, m_.max_nodes);
      if (!is_channel_link(t)) continue;
      // One end node leaves no computational node: water routed into the link would vanish.
      if (m_.nx1[l] < 2)
        return refuse(name_, "Error in the channel input file %s: NODES %d of link %d is below 2; a trapezoidal or break-point link needs two end nodes for its one computational node.\n",
                      name_.c_str(), m_.nx1[l], l);
      if (mannings_n_[l] < min_mannings_n) return bad_mannings_n(l);
      if (!(m_.link_dx[l] > 0.0))
        return refuse(name_, "Error in the channel input file %s: DX %g of link %d is not above 0.\n", name_.c_str(),
                      m_.link_dx[l], l);
    }
    for (int l = 1; l <= m_.nlinks; ++l) {
      if (!is_channel_link(m_.ltype[l]) || m_.nx1[l] >= 3) continue;
      const std::string text = format_text(
          "\nWARNING: When reading the channel input file, link %d:\n"
          "    The number of channel defining end nodes in the link is less than 3 \n"
          "    Which results only 1 computational node in this link.\n"
          "    Consider increasing the number of end nodes to at least 3 \n"
          "\tor removing this link \n",
          l);
      report_at_once(text, 301);
    }
    return true;
  }

  bool size_node_arrays() {
    // Break-point tables: one per link, or per interpolated node, then room for every node.
    bool interpolate = false;
    for (int l = 1; l <= m_.nlinks; ++l) interpolate = interpolate || ((m_.ltype[l] & 8) && npairs_cards_[l] > 1);
    int tables = 0;
    for (int l = 1; l <= m_.nlinks; ++l) {
      const int t = m_.ltype[l];
      if (!(t & 8) || (t & 4)) continue;
      if (!interpolate || npairs_cards_[l] <= 1) {
        tables += 1;
      } else if (t & 2) {
        tables += std::max(m_.nx1[l], 1);
      } else {
        tables += std::max(last_np_node_[l] - first_np_node_[l] + 1, 1);
      }
    }
    m_.num_xsec_tables = tables * m_.chan_node_extent;
    const size_t slots = static_cast<size_t>(m_.chan_slot_count);
    for (auto* v : {&m_.yp, &m_.qp, &m_.Fr, &m_.qp_vol, &m_.qp_vol_sed, &m_.bottom, &m_.bankfull_dep, &m_.bel,
                    &m_.lnx, &m_.lny, &m_.sslope, &m_.max_eros})
      v->assign(slots, 0.0);
    if (k_river_links_ > 0 || m_.stream_loss_on) {
      m_.Krb.assign(slots, 0.0);
      m_.Mrb.assign(slots, 0.0);
    }
    if (pointsource_cards_ > 0) m_.stream_pointsource.assign(slots, nullptr);
    if (pump_cards_ > 0) m_.stream_pumps.assign(slots, 0);
    return true;
  }

  // Pass 4a: the CONNECT cards, all of them before the first LINK card.
  bool read_topology() {
    m_.uslinks.assign(static_cast<size_t>(m_.chan_link_extent) + 1,
                      std::vector<int32_t>(static_cast<size_t>(max_upstream_) + 2, 0));
    std::vector<int> given(static_cast<size_t>(m_.chan_link_extent) + 1, 0);
    int found = 0;
    size_t i = 1;
    for (; i < lines_.size() && found < m_.nlinks; ++i) {
      if (lines_[i].code != chan_card_connect) continue;
      card_args a(lines_[i].args);
      const int l = a.integer();
      const int d = a.integer();
      const int n = a.integer();
      if (!link_in_range(l, "CONNECT")) return false;
      if (given[l]++)
        return refuse(name_, "Error in the channel input file %s: CONNECT %d is given more than once.\n", name_.c_str(), l);
      if (d < 0 || d > m_.nlinks || d == l)
        return refuse(name_, "Error in the channel input file %s: CONNECT %d names downstream link %d, outside 0..%d (LINKS) or the link itself.\n",
                      name_.c_str(), l, d, m_.nlinks);
      if (n > max_upstream_)
        return refuse(name_, "Error in the channel input file %s: CONNECT %d lists %d upstream links, more than the %d counted.\n",
                      name_.c_str(), l, n, max_upstream_);
      for (int k = 1; k <= n; ++k) {
        int u = 0;
        if (!a.integer(u))
          return refuse(name_, "Error in the channel input file %s: CONNECT %d announces %d upstream links but gives %d.\n",
                        name_.c_str(), l, n, k - 1);
        if (u < 1 || u > m_.nlinks)
          return refuse(name_, "Error in the channel input file %s: CONNECT %d names upstream link %d, outside 1..%d (LINKS).\n",
                        name_.c_str(), l, u, m_.nlinks);
        m_.uslinks[l][k] = u;
      }
      m_.dslink[l] = d;
      m_.ndep[l] = n;
      ++found;
    }
    if (found < m_.nlinks)
      return refuse(name_,
                    "Premature end-of-file in the channel input file.\n"
                    "While searching for %d CONNECT cards\n"
                    "Program terminated in read_chan_input.\n",
                    m_.nlinks);
    topology_end_ = i;
    return check_topology();
  }

  bool check_topology() {
    const int n = m_.nlinks;
    for (int l = 1; l <= n; ++l) {
      const int d = m_.dslink[l];
      if (d > 0) {
        const auto& up = m_.uslinks[d];
        if (std::find(up.begin() + 1, up.begin() + 1 + m_.ndep[d], l) == up.begin() + 1 + m_.ndep[d])
          return refuse(name_, "Error in the channel input file %s: CONNECT %d sends link %d into link %d, whose CONNECT card does not list it upstream.\n",
                        name_.c_str(), l, l, d);
      }
      for (int k = 1; k <= m_.ndep[l]; ++k) {
        const int u = m_.uslinks[l][k];
        if (m_.dslink[u] != l)
          return refuse(name_, "Error in the channel input file %s: CONNECT %d lists link %d upstream, but CONNECT %d sends it into link %d.\n",
                        name_.c_str(), l, u, u, m_.dslink[u]);
      }
      if (l != n && d == 0 && is_channel_link(m_.ltype[l]))
        return refuse(name_, "Error in the channel input file %s: CONNECT %d gives channel link %d no downstream link; only link %d (LINKS) may end the network.\n",
                      name_.c_str(), l, l, n);
      if ((m_.ltype[l] & ltype_lake) && d > 0 && is_channel_link(m_.ltype[d]))
        return refuse(name_, "Error in the channel input file %s: lake link %d drains into channel link %d; a lake drains only through a structure link.\n",
                      name_.c_str(), l, d);
    }
    if (!is_channel_link(m_.ltype[n]))
      return refuse(name_, "Error in the channel input file %s: the outlet link %d (LINKS) is not a trapezoidal or break-point link.\n",
                    name_.c_str(), n);
    return no_cycle();
  }

  // Water sent round a ring of links is never routed out: every chain of downstream links must end.
  bool no_cycle() {
    const int n = m_.nlinks;
    std::vector<int> ends(static_cast<size_t>(n) + 1, 0);  // 0 unknown, 1 on the present walk, 2 reaches the end
    for (int l = 1; l <= n; ++l) {
      int at = l;
      while (at > 0 && ends[at] == 0) {
        ends[at] = 1;
        at = m_.dslink[at];
      }
      if (at > 0 && ends[at] == 1)
        return refuse(name_, "Error in the channel input file %s: the CONNECT cards send link %d back into itself through its downstream links; the links must form a tree that ends at link %d (LINKS).\n",
                      name_.c_str(), at, n);
      for (at = l; at > 0 && ends[at] == 1; at = m_.dslink[at]) ends[at] = 2;
    }
    return true;
  }

  // Pass 4b: the links and their nodes, structures, point sources and pumps.
  bool read_links_and_nodes() {
    int cur = 0;
    int node = 0;
    int s = 0;
    for (size_t i = topology_end_; i < lines_.size(); ++i) {
      const int code = lines_[i].code;
      card_args a(lines_[i].args);
      const int k = key(cur, node);
      switch (code) {
        case chan_card_link: cur = a.integer(); break;
        case chan_card_node: node = a.integer(); break;
        case chan_card_elev: m_.bel[k] = a.real(); break;
        case chan_card_bottom_width: m_.bottom[k] = a.real(); break;
        case chan_card_bankfull_depth: m_.bankfull_dep[k] = a.real(); break;
        case chan_card_side_slope: m_.sslope[k] = a.real(); break;
        case chan_card_x_y:
          m_.lnx[k] = a.real();
          m_.lny[k] = a.real();
          break;
        case chan_card_max_erosion: m_.max_eros[k] = a.real(); break;
        case chan_card_xsec: xsec_node_[cur] = node; break;
        case chan_card_numstructs:
          if (!(m_.ltype[cur] & ltype_structure)) return outside_structure_link("NUMSTRUCTS", cur);
          m_.struct_range[cur][0] = a.integer();
          break;
        case chan_card_structtype:
          if (!(m_.ltype[cur] & ltype_structure)) return outside_structure_link("STRUCTTYPE", cur);
          if (++s > m_.num_structures) return outside_structure_link("STRUCTTYPE", cur);
          m_.struct_range[cur][1] = std::min(m_.struct_range[cur][1], s);
          m_.struct_range[cur][2] = std::max(m_.struct_range[cur][2], s);
          element_link_[s] = cur;
          if (!read_structure_type(a, m_.structures[s])) return false;
          break;
        case chan_card_pointsource: {
          if (m_.ltype[cur] & ltype_lake) node = 1;
          const std::string series = a.token();
          m_.stream_pointsource[key(cur, node)] = series.empty() ? nullptr : find_time_series(series.c_str());
          break;
        }
        case chan_card_pumpto: {
          const int handle = neighbour_services.read_channel_pump(a.rest(), cur, m_.ltype[cur]);
          if (error_state.error_code != 0) return false;
          m_.stream_pumps[k] = handle;
          break;
        }
        default:
          if (double* field = structure_field(code, s)) {
            if (s == 0)
              return refuse(name_, "Error in the channel input file %s: a structure card in link %d comes before any STRUCTTYPE card.\n",
                            name_.c_str(), cur);
            *field = a.real();
          }
          break;
      }
    }
    return finish_links();
  }

  bool outside_structure_link(const char* card, int link) {
    return refuse(name_, "Error in the channel input file %s: %s in link %d, which is not a STRUCTURE link (or beyond its NUMSTRUCTS count).\n",
                  name_.c_str(), card, link);
  }

  // The field of element s that a coefficient card fills, or null for other cards.
  double* structure_field(int code, int s) {
    static hydraulic_structure none;
    hydraulic_structure& e = s > 0 ? m_.structures[s] : none;
    switch (code) {
      case chan_card_length:
      case chan_card_crest_length: return &e.length;
      case chan_card_upinvert:
      case chan_card_crest_low_elev: return &e.upinvert;
      case chan_card_downinvert: return &e.downinvert;
      case chan_card_slope: return &e.slope;
      case chan_card_inlet_disch_coeff:
      case chan_card_discharge_coeff_forward: return &e.inlet_disch_coeff;
      case chan_card_rev_flow_disch_coeff:
      case chan_card_discharge_coeff_reverse: return &e.rev_flow_disch_coeff;
      case chan_card_width:
      case chan_card_diameter:
      case chan_card_a_value:
      case chan_card_steep_slope: return &e.size1;
      case chan_card_height:
      case chan_card_b_value:
      case chan_card_shallow_slope: return &e.size2;
      case chan_card_crest_low_loc: return &e.crest_low_loc;
      case chan_card_rough_coeff: return &e.rough_coeff;
      default: return nullptr;
    }
  }

  // The type word and, for the curve and release types, their series.
  bool read_structure_type(card_args& a, hydraulic_structure& e) {
    e.structtype = structure_type_of(a.token());
    if (e.structtype != 6 && e.structtype != 7 && e.structtype != 8) return true;
    const std::string series = a.token();
    const int missing = e.structtype == 6 ? 85 : (e.structtype == 7 ? 87 : 89);
    if (series.empty()) {
      set_error(missing);
      return false;
    }
    if (e.structtype == 7) {
      e.release_series = find_time_series(series.c_str());
      if (!e.release_series) set_error(88);
      return e.release_series != nullptr;
    }
    e.elevation_series = find_elevation_series(series.c_str());
    if (e.elevation_series < 0) set_error(missing + 1);
    return e.elevation_series >= 0;
  }

  bool finish_links() {
    for (int l = 1; l <= m_.nlinks; ++l) {
      const int t = m_.ltype[l];
      if (!m_.Krb.empty() && is_channel_link(t) && (t & 1)) {
        for (int j = 1; j <= m_.nx1[l]; ++j) {
          m_.Krb[key(l, j)] = k_river_[l];
          m_.Mrb[key(l, j)] = m_river_[l];
        }
      }
      // Links without a roughness (lakes, structures) get none rather than an infinity.
      m_.inv_mannings_n[l] = mannings_n_[l] > 0.0 ? 1.0 / mannings_n_[l] : 0.0;
      if (!(t & 4)) continue;
      const int x = xsec_node_[l];
      if (x < 1) return refuse(name_, "Error: Cross section parameters not found for link %d.\n", l);
      const int from = key(l, x);
      for (int j = 1; j <= m_.nx1[l]; ++j) {
        const int to = key(l, j);
        m_.sslope[to] = m_.sslope[from];
        m_.bottom[to] = m_.bottom[from];
        m_.bankfull_dep[to] = m_.bankfull_dep[from];
        if (t & 2) m_.max_eros[to] = m_.max_eros[from];
      }
    }
    return true;
  }

  // The weir and culvert formulas divide by these sizes.
  bool check_structures() {
    for (int s = 1; s <= m_.num_structures; ++s) {
      const hydraulic_structure& e = m_.structures[s];
      const int link = element_link_[s];
      const char* what = nullptr;
      if ((e.structtype == 1 || e.structtype == 2) && e.length == 0.0) what = "CREST_LENGTH";
      if (e.structtype == 3 && e.size1 == 0.0) what = "DIAMETER";
      if ((e.structtype == 4 || e.structtype == 5) && e.size1 == 0.0) what = "WIDTH";
      if ((e.structtype == 4 || e.structtype == 5) && e.size2 == 0.0 && !what) what = "HEIGHT";
      if (what)
        return refuse(name_, "Error in the channel input file %s: link %d, structure element %d: %s is 0.\n",
                      name_.c_str(), link, s, what);
      // The crest is a parabola falling at STEEP_SLOPE and rising at SHALLOW_SLOPE; the other way
      // round it has no low point and the weir formula no real width.
      if (e.structtype == 2 && !(e.size2 > e.size1))
        return refuse(name_, "Error in the channel input file %s: link %d, structure element %d: the sag weir's SHALLOW_SLOPE (%g) is not above its STEEP_SLOPE (%g).\n",
                      name_.c_str(), link, s, e.size2, e.size1);
    }
    return true;
  }

  // A section being gathered for a break-point link.
  struct gathering {
    breakpoint_link link;
    std::vector<int> wanted;  // NPAIRS of each section
    bool done = false;
  };

  bool fewer_pairs(int section, int link) {
    return refuse(name_, "\n\nError: There are fewer X1 cards than the NPAIRS card specifies \nfor table %d in link %d.\n",
                  section, link);
  }

  // Pass 5: the surveyed sections of every break-point link, handed on to the table builder.
  bool read_breakpoint_sections() {
    bool any = false;
    for (int l = 1; l <= m_.nlinks; ++l) any = any || (m_.ltype[l] & 8) != 0;
    if (!any) {
      m_.num_xsec_tables = 0;
      return true;
    }
    if (m_.max_num_interp < 1)
      return refuse(name_, "%s",
                    "Error: the number of interpolation points has not been specifiedfor any table. Each "
                    "break-point cross-section table should have a NUM_INTERP ### card below the NPAIRS card\n");
    size_xsec_tables(m_);
    say("Reading and interpolating break-point cross-sections ");
    std::vector<gathering> links(static_cast<size_t>(m_.chan_link_extent) + 1);
    int table_counter = 0;
    int cur = 0;
    int node = 0;
    for (size_t i = 1; i < lines_.size(); ++i) {
      const int code = lines_[i].code;
      card_args a(lines_[i].args);
      if (code == chan_card_link) cur = a.integer();
      if (code == chan_card_node) node = a.integer();
      if (!(m_.ltype[cur] & 8)) continue;
      gathering& g = links[cur];
      auto& secs = g.link.sections;
      const bool open = !secs.empty() && static_cast<int>(secs.back().x.size()) < g.wanted.back();
      if (code == chan_card_npairs) {
        if (open) return fewer_pairs(static_cast<int>(secs.size()), cur);
        breakpoint_section sec;
        sec.node = node;
        secs.push_back(sec);
        g.wanted.push_back(a.integer());
      } else if (code == chan_card_num_interp) {
        if (!secs.empty()) secs.back().num_interp = a.integer();
      } else if (code == chan_card_x1) {
        if (!open)
          return refuse(name_, "\n\nError: There are more X1 cards than the NPAIRS card specifies \nfor table %d in link %d.\n",
                        static_cast<int>(secs.size()), cur);
        secs.back().x.push_back(a.real());
        secs.back().y.push_back(a.real());
        if (static_cast<int>(secs.back().x.size()) == g.wanted.back() &&
            static_cast<int>(secs.size()) == npairs_cards_[cur] && !build_tables(g, cur, table_counter))
          return false;
      }
    }
    for (int l = 1; l <= m_.nlinks; ++l) {
      if (!(m_.ltype[l] & 8) || links[l].done) continue;
      if (links[l].link.sections.empty())
        return refuse(name_, "Error in the channel input file %s: break-point link %d has no NPAIRS section.\n",
                      name_.c_str(), l);
      return fewer_pairs(static_cast<int>(links[l].link.sections.size()), l);
    }
    say("\n");
    return true;
  }

  bool build_tables(gathering& g, int link, int& table_counter) {
    g.link.link = link;
    g.link.ltype = m_.ltype[link];
    g.link.nodes = m_.nx1[link];
    g.link.mannings_n = mannings_n_[link];
    const bool stopped_before = error_state.error_terminate != 0;
    interp_breakpoint_xsecs(m_, table_counter, g.link, m_.chan_mesh_on);
    if (!stopped_before && error_state.error_terminate != 0) return false;
    g.done = true;
    say(".");
    return true;
  }

  // The file's nodes end the computational segments; each computational node lies midway.
  void set_computational_nodes() {
    for (int l = 1; l <= m_.nlinks; ++l) {
      const bool channel = is_channel_link(m_.ltype[l]);
      m_.nx[l] = channel ? m_.nx1[l] - 1 : m_.nx1[l];
      m_.og_nx1[l] = m_.nx[l];
      for (int k = 1; k <= m_.nx[l]; ++k) {
        const int at = key(l, k);
        // Lakes and structures have no segments: their nodes keep the beds as read.
        if (channel) m_.bel[at] = (m_.bel[at] + m_.bel[at + 1]) / 2.0;
        m_.yp[at] = m_.bel[at];
        m_.qp[at] = 0.0;
      }
    }
  }

  int mask_cell(int row, int col) const {
    const auto& g = m_.cell_number_grid;
    if (row < 1 || row > g.rows() || col < 1 || col > g.cols()) return 0;
    return g(row, col);
  }

  // The grid-stream file: which (link, node) entries each stream cell feeds.
  bool read_grid_stream() {
    const std::string file = m_.stream_cell_path;
    const std::vector<chan_line> lines = load_lines(m_.grid_stream_fp);
    if (!m_.grid_stream_fp.is_open()) return true;  // the opening has reported a file it could not open
    if (lines.empty() || std::strncmp(lines[0].text.c_str(), "GRIDSTREAMFILE", 14) != 0)
      return refuse(file, "Error: The grid-stream file %.2000s must begin with GRIDSTREAMFILE; its first line is \"%.80s\".\n",
                    file.c_str(), lines.empty() ? "" : lines[0].text.c_str());
    if (lines.size() < 2 || lines[1].code != chan_card_streamcells)
      return refuse(file, "%s",
                    "The second card in the grid-stream file must be STREAMCELLS\n"
                    "File format error, program terminating.\n");
    int n = card_args(lines[1].args).integer();
    if (n < 1) {
      write_log_message(log_stream(),
                        "The number of STREAMCELLS in the grid-stream (.gst) file\n"
                        "must be greater than 0.  File format error, program terminating\n");
      n = 0;
    }
    if (n > m_.cell_count)
      return refuse(file, "Error in the grid-stream file %s: STREAMCELLS %d is above the %d cells of the watershed.\n",
                    file.c_str(), n, m_.cell_count);
    m_.gst_num_cells = n;
    m_.gst_ncellsingrid.assign(static_cast<size_t>(n) + 1, 0);
    m_.gst_max_entries = 0;
    int cells = 0;
    int counts = 0;
    for (size_t i = 2; i < lines.size(); ++i) {
      if (lines[i].code == chan_card_cellij && ++cells > n)
        return refuse(file, "Error in the grid-stream file %s: CELLIJ card %d is beyond STREAMCELLS %d.\n",
                      file.c_str(), cells, n);
      if (lines[i].code != chan_card_numnodes) continue;
      if (++counts > n)
        return refuse(file, "Error in the grid-stream file %s: NUMNODES card %d is beyond STREAMCELLS %d.\n",
                      file.c_str(), counts, n);
      const int v = card_args(lines[i].args).integer();
      if (v < 0 || v > m_.chan_slot_count)
        return refuse(file, "Error in the grid-stream file %s: NUMNODES %d of grid-stream cell %d is outside 0..%d.\n",
                      file.c_str(), v, counts, m_.chan_slot_count);
      m_.gst_ncellsingrid[counts] = v;
      m_.gst_max_entries = std::max(m_.gst_max_entries, v);
    }
    const size_t rows = static_cast<size_t>(n) + 1;
    const size_t cols = static_cast<size_t>(m_.gst_max_entries) + 1;
    for (auto* v : {&m_.gst_link, &m_.gst_node, &m_.gst_gnum}) v->assign(rows, std::vector<int32_t>(cols, 0));
    for (auto* v : {&m_.gst_pct, &m_.gst_sac_weight, &m_.gst_Vlat}) v->assign(rows, std::vector<double>(cols, 0.0));
    int c = 0;
    int e = 0;
    int row = 0;
    int col = 0;
    int cell = 0;
    auto entries_complete = [&]() {
      if (c == 0 || e == m_.gst_ncellsingrid[c]) return true;
      return refuse(file, "Error in the grid-stream file %s: CELLIJ %d %d has %d LINKNODE cards for its NUMNODES %d.\n",
                    file.c_str(), row, col, e, m_.gst_ncellsingrid[c]);
    };
    for (size_t i = 2; i < lines.size(); ++i) {
      card_args a(lines[i].args);
      if (lines[i].code == chan_card_cellij) {
        if (!entries_complete()) return false;
        ++c;
        e = 0;
        row = a.integer();
        col = a.integer();
        cell = mask_cell(row, col);
        if (cell < 1)
          return refuse(file, "Error in the grid-stream file %s: CELLIJ %d %d is outside the watershed mask.\n",
                        file.c_str(), row, col);
      } else if (lines[i].code == chan_card_linknode) {
        if (c == 0)
          return refuse(file, "Error in the grid-stream file %s: LINKNODE before the first CELLIJ card.\n", file.c_str());
        if (++e > m_.gst_ncellsingrid[c]) return entries_complete();
        const int link = a.integer();
        const int node = a.integer();
        const double share = a.real();
        if (link < 1 || link > m_.nlinks)
          return refuse(file, "Error in the grid-stream file %s: LINKNODE link %d is outside the links 1..%d (LINKS).\n",
                        file.c_str(), link, m_.nlinks);
        if (node < 1 || node > m_.max_nodes)
          return refuse(file, "Error in the grid-stream file %s: LINKNODE node %d of link %d is outside the nodes 1..%d (MAXNODES).\n",
                        file.c_str(), node, link, m_.max_nodes);
        m_.gst_link[c][e] = link;
        m_.gst_node[c][e] = node;
        m_.gst_pct[c][e] = share;
        m_.gst_gnum[c][e] = cell;
      }
    }
    if (!entries_complete()) return false;
    if (c < n)
      return refuse(file, "Error in the grid-stream file %s: %d CELLIJ cards for STREAMCELLS %d.\n", file.c_str(), c, n);
    say("Finished reading non-orthogonal channel information from gst file.\n");
    return true;
  }

  // The lakes: their cards, search cells and rating tables, then their starting state.
  bool read_lakes() {
    const size_t lakes = static_cast<size_t>(m_.nlakes) + 2;
    for (auto* v : {&m_.minwse, &m_.initwse, &m_.maxwse, &m_.lake_volume, &m_.prevlake_volume,
                    &m_.lake_volume_last_chan, &m_.lake_area, &m_.lake_elev, &m_.cumulative_lake_evap,
                    &m_.lake_in_dv, &m_.lake_out_dv})
      v->assign(lakes, 0.0);
    for (auto* v : {&m_.numpts, &m_.lake_cells, &m_.yes_static_lake, &m_.yes_defined_curve_lake, &m_.numrate})
      v->assign(lakes, 0);
    m_.lake_search.assign(lakes, std::vector<grid_position>(static_cast<size_t>(max_numpts_) + 1));
    for (auto* v : {&m_.lake_rate_elev, &m_.lake_rate_area, &m_.lake_rate_volume})
      v->assign(lakes, std::vector<double>(static_cast<size_t>(max_numrate_) + 1, 0.0));
    m_.pct_flooded.assign(static_cast<size_t>(m_.chan_slot_count), 0.0);
    m_.status_node.assign(static_cast<size_t>(m_.chan_slot_count), 0);
    if (any_mlake_) {
      m_.Mlake.assign(lakes, 0.0);
      m_.calc_loss.assign(lakes, 0);
    }
    m_.lake2link.assign(static_cast<size_t>(m_.chan_link_extent) + 1, 0);
    m_.lake_mask.assign(static_cast<size_t>(m_.cell_count) + 1, 0);
    m_.new_flooded_grid.assign(static_cast<size_t>(m_.cell_count) + 1, 0);
    int lake = 0;
    int cur = 0;
    for (size_t i = 1; i < lines_.size(); ++i) {
      card_args a(lines_[i].args);
      switch (lines_[i].code) {
        case chan_card_link: cur = a.integer(); break;
        case chan_card_lake: m_.lake2link[cur] = ++lake; break;
        case chan_card_mlake:
          m_.Mlake[lake] = a.real();
          m_.calc_loss[lake] = 1;
          break;
        case chan_card_static: m_.yes_static_lake[lake] = 1; break;
        case chan_card_minwse: m_.minwse[lake] = a.real(); break;
        case chan_card_initwse: m_.initwse[lake] = a.real(); break;
        case chan_card_maxwse: m_.maxwse[lake] = a.real(); break;
        case chan_card_numrate: {
          const int n = a.integer();
          m_.numrate[lake] = n;
          m_.yes_defined_curve_lake[lake] = 1;
          for (int r = 1; r <= n; ++r) {
            card_args row(lines_[i + r].text);
            m_.lake_rate_elev[lake][r] = row.real();
            m_.lake_rate_volume[lake][r] = row.real();
            m_.lake_rate_area[lake][r] = row.real();
          }
          i += n;
          break;
        }
        case chan_card_numpts: {
          const int n = a.integer();
          m_.numpts[lake] = n;
          for (int p = 0; p < n; p += 10) {
            card_args row(lines_[i + 1 + p / 10].text);
            for (int q = p + 1; q <= std::min(p + 10, n); ++q) {
              grid_position& at = m_.lake_search[lake][q];
              at.row = row.integer();
              at.col = row.integer();
              if (mask_cell(at.row, at.col) < 1)
                return refuse(name_, "Error in the channel input file %s: NUMPTS cell %d of lake %d, row %d column %d, is outside the watershed mask.\n",
                              name_.c_str(), q, lake, at.row, at.col);
            }
          }
          i += static_cast<size_t>((n + 9) / 10);
          break;
        }
        default: break;
      }
    }
    for (int l = 1; l <= m_.nlakes; ++l)
      if (!rating_holds_start(l)) return false;
    for (int l = 1; l <= m_.nlakes; ++l) start_lake(l);
    return true;
  }

  // A lake that starts off its own rating curve would start from the curve's end with an error
  // line and run on: the start is refused here instead.
  bool rating_holds_start(int l) {
    if (m_.yes_defined_curve_lake[l] != 1) return true;
    const int n = m_.numrate[l];
    const auto& z = m_.lake_rate_elev[l];
    if (n >= 1 && m_.initwse[l] >= z[1] && m_.initwse[l] <= z[static_cast<size_t>(n)]) return true;
    return refuse(name_, "Error in the channel input file %s: INITWSE %g of lake %d is outside the elevations %g..%g of its rating curve (NUMRATE %d).\n",
                  name_.c_str(), m_.initwse[l], l, n >= 1 ? z[1] : 0.0, n >= 1 ? z[static_cast<size_t>(n)] : 0.0, n);
  }

  void start_lake(int l) {
    const bool losses = !m_.calc_loss.empty() && m_.calc_loss[l] == 1;
    message_out("Minimum Water Surface Elevation Lake #%d: %.2lf\n", l, m_.minwse[l]);
    message_out("Initial Water Surface Elevation Lake #%d: %.2lf\n", l, m_.initwse[l]);
    message_out("Maximum Water Surface Elevation Lake #%d: %.2lf\n", l, m_.maxwse[l]);
    message_out("number of coords for lake #%d's search order: %d\n", l, m_.numpts[l]);
    if (losses) {
      message_out("Simulating Lake Losses for Lake #%d, Bed Thickness: %.1lf m\n", l, m_.Mlake[l]);
      m_.lake_losses_on = 1;
    }
    const double cell_area = m_.cell_size * m_.cell_size;
    const double wse = m_.initwse[l];
    const bool rated = m_.yes_defined_curve_lake[l] == 1;
    double volume = 0.0;
    for (int p = 1; p <= m_.numpts[l]; ++p) {
      const int cell = mask_cell(m_.lake_search[l][p].row, m_.lake_search[l][p].col);
      const bool below = m_.elevation[cell] + lake_cell_tolerance < wse;
      if (!below && !(rated && m_.yes_static_lake[l] == 1)) continue;
      m_.lake_mask[cell] = l;
      ++m_.lake_cells[l];
      if (losses && m_.gw_simulation_on && static_cast<size_t>(cell) < m_.gwbound.size()) m_.gwbound[cell] = 7;
      if (!rated) volume += (wse - m_.elevation[cell]) * cell_area;
    }
    m_.lake_elev[l] = wse;
    if (rated) {
      const int n = m_.numrate[l];
      volume = lake_rating_curve(l, wse, n, m_.lake_rate_elev[l], m_.lake_rate_volume[l]);
      m_.lake_area[l] = lake_rating_curve(l, volume, n, m_.lake_rate_volume[l], m_.lake_rate_area[l]);
    } else {
      if (m_.lake_cells[l] == 0) {
        message_out("The initial water surface elevation specified for lake %d is below all overland cell elevations in the lake \n", l);
        message_out("Consider raising you initial lake elevation to inundate at least one overland cell in the lake \n");
        message_out("PLUVO will proceed with your specified initial water surface elevation assuming one overland cell is inundated \n");
        message_out("Expect problems if you choose to proceed in this manner \n");
        m_.lake_cells[l] = 1;
      }
      m_.lake_area[l] = m_.lake_cells[l] * cell_area;
    }
    m_.lake_volume[l] = volume;
    m_.prevlake_volume[l] = volume;
    // The first channel step measures the lake's change from here.
    m_.lake_volume_last_chan[l] = volume;
  }

  // The network as read, kept while the lake routing changes the working fields.
  void keep_network_as_read() {
    m_.og_nlinks = m_.nlinks;
    m_.og_ndep = m_.ndep;
    m_.og_dslink = m_.dslink;
    m_.og_lytpe = m_.ltype;
    m_.og_uslinks = m_.uslinks;
    m_.og_nx1 = m_.nx;
  }

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

}  // namespace

int classify_chan_card(char* line) {
  size_t start = 0;
  while (line[start] == ' ' || line[start] == '\t' || line[start] == '\n') ++start;
  size_t end = start;
  while (line[end] != '\0' && line[end] != ' ' && line[end] != '\t' && line[end] != '\n') ++end;
  std::string word(line + start, end - start);
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  int code = chan_card_none;
  for (const card_word& w : card_words) {
    if (word == w.word) {
      code = w.code;
      break;
    }
  }
  std::memmove(line, line + end, std::strlen(line + end) + 1);
  return code;
}

void read_chan_input(model_state& m) {
  // Everything the reader counts or sizes starts from nothing, so a second reading of a record
  // gives what the first gave.
  for (int32_t* v : {&m.lake_losses_on, &m.nlinks, &m.og_nlinks, &m.max_nodes, &m.chan_node_extent,
                     &m.chan_link_extent, &m.chan_slot_count, &m.nlakes, &m.lakes_on, &m.num_structures,
                     &m.max_npairs, &m.max_num_interp, &m.num_erodible_bp_links, &m.overbank_links_on,
                     &m.num_xsec_tables, &m.gst_num_cells, &m.gst_max_entries})
    *v = 0;
  m.struct_range.clear();
  m.structures.clear();
  m.Krb.clear();
  m.Mrb.clear();
  m.stream_pointsource.clear();
  m.stream_pumps.clear();
  m.max_yp.clear();
  m.ch_sand_vol0.clear();
  m.Mlake.clear();
  m.calc_loss.clear();
  chan_reader(m).read();
}

}  // namespace pluvo
