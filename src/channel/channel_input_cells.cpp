// The grid-stream file and the lakes of the channel input file, with their starting state.
#include "channel/channel_input_reader.hpp"

namespace pluvo {

namespace chan_input {

// The grid-stream file: which (link, node) entries each stream cell feeds.
bool chan_reader::read_grid_stream() {
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
bool chan_reader::read_lakes() {
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
bool chan_reader::rating_holds_start(int l) {
  if (m_.yes_defined_curve_lake[l] != 1) return true;
  const int n = m_.numrate[l];
  const auto& z = m_.lake_rate_elev[l];
  if (n >= 1 && m_.initwse[l] >= z[1] && m_.initwse[l] <= z[static_cast<size_t>(n)]) return true;
  return refuse(name_, "Error in the channel input file %s: INITWSE %g of lake %d is outside the elevations %g..%g of its rating curve (NUMRATE %d).\n",
                name_.c_str(), m_.initwse[l], l, n >= 1 ? z[1] : 0.0, n >= 1 ? z[static_cast<size_t>(n)] : 0.0, n);
}

void chan_reader::start_lake(int l) {
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
void chan_reader::keep_network_as_read() {
  m_.og_nlinks = m_.nlinks;
  m_.og_ndep = m_.ndep;
  m_.og_dslink = m_.dslink;
  m_.og_lytpe = m_.ltype;
  m_.og_uslinks = m_.uslinks;
  m_.og_nx1 = m_.nx;
}

}  // namespace chan_input

}  // namespace pluvo
