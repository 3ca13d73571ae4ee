// The channel input file's links: the CONNECT cards, the LINK cards with their nodes, structures,
// point sources and pumps, and the surveyed sections of the break-point links.
#include "channel/channel_input_reader.hpp"

namespace pluvo {

namespace chan_input {

// Pass 4a: the CONNECT cards, all of them before the first LINK card.
bool chan_reader::read_topology() {
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

bool chan_reader::check_topology() {
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
bool chan_reader::no_cycle() {
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
bool chan_reader::read_links_and_nodes() {
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

bool chan_reader::outside_structure_link(const char* card, int link) {
  return refuse(name_, "Error in the channel input file %s: %s in link %d, which is not a STRUCTURE link (or beyond its NUMSTRUCTS count).\n",
                name_.c_str(), card, link);
}

// The field of element s that a coefficient card fills, or null for other cards.
double* chan_reader::structure_field(int code, int s) {
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
bool chan_reader::read_structure_type(card_args& a, hydraulic_structure& e) {
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

bool chan_reader::finish_links() {
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
bool chan_reader::check_structures() {
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

bool chan_reader::fewer_pairs(int section, int link) {
  return refuse(name_, "\n\nError: There are fewer X1 cards than the NPAIRS card specifies \nfor table %d in link %d.\n",
                section, link);
}

// Pass 5: the surveyed sections of every break-point link, handed on to the table builder.
bool chan_reader::read_breakpoint_sections() {
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

bool chan_reader::build_tables(gathering& g, int link, int& table_counter) {
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
void chan_reader::set_computational_nodes() {
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

int chan_reader::mask_cell(int row, int col) const {
  const auto& g = m_.cell_number_grid;
  if (row < 1 || row > g.rows() || col < 1 || col > g.cols()) return 0;
  return g(row, col);
}

}  // namespace chan_input

}  // namespace pluvo
