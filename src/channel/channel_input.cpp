// The channel input file and the grid-stream file, read into the network fields of the record.
// The file is read once into memory and then walked in passes, so that every array is sized
// from the whole file before anything is stored in it.
#include "channel/channel_input_reader.hpp"

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

}  // namespace

namespace chan_input {

// Pass 1: ALPHA, BETA, THETA, LINKS and MAXNODES, each once, before anything is sized.
bool chan_reader::read_header() {
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

bool chan_reader::repeated_header(int code) {
  return refuse(name_,
                "Error in the channel input file %s: the header card %s is given more than once "
                "(ALPHA, BETA, THETA, LINKS and MAXNODES are each given once).\n",
                name_.c_str(), header_word(code));
}

bool chan_reader::link_in_range(int link, const char* card) {
  if (link >= 1 && link <= m_.nlinks) return true;
  return refuse(name_, "Error in the channel input file %s: %s %d is outside the links 1..%d (LINKS).\n",
                name_.c_str(), card, link, m_.nlinks);
}

// Pass 2: link types and per-link values, and the counts that size everything else.
bool chan_reader::count_cards() {
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

bool chan_reader::bad_mannings_n(int link) {
  return refuse(name_,
                "Error encountered when reading the channel input file, link %d:\n"
                "    Manning's Roughness is 0.000\n",
                link);
}

bool chan_reader::summarise_counts(const std::vector<int>& file_order) {
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
bool chan_reader::check_links() {
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

bool chan_reader::size_node_arrays() {
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

}  // namespace chan_input

using chan_input::chan_reader;

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
