// The superlink and storm-drain pipe networks tied to their grid cells and channel nodes.
#include <cstdio>
#include <memory>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/process.hpp"
#include "input/input_phases.hpp"
#include "input/neighbour_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int channel_junction = 999;
constexpr int overland_outlet = 888;
constexpr int superlink_outlet = 666;

// One network as its reader left it.
struct network_view {
  const char* label;
  int junctions;
  int links;
  const node_matrix<int32_t>& kind;  // row 0: the junctions' inlet types
  const std::vector<int32_t>& loc1;
  const std::vector<int32_t>& loc2;
  const std::vector<int32_t>& node_count;
  const node_matrix<int32_t>& row;
  const node_matrix<int32_t>& col;
};

network_view superlink_view(const model_state& m) {
  return {"superlink",          m.num_superjunctions, m.num_superlinks,       m.inlet_type,
          m.superjunct_i, m.superjunct_j, m.superlink_cnodes, m.superlink_node_i,
          m.superlink_node_j};
}

network_view drain_view(const drain_network_record& d) {
  return {"drain", d.junctions, d.links, d.inlet_type, d.junct_i, d.junct_j,
          d.nnodes, d.node_i, d.node_j};
}

bool refuse(const char* text) {
  stop_run("%s", text);
  return false;
}

bool on_grid(const model_state& m, int row, int col) {
  return row >= 1 && row <= m.cell_number_grid.rows() && col >= 1 && col <= m.cell_number_grid.cols();
}

// A pipe node without a cell (one the refinement put between two given nodes).
bool no_cell(int row, int col) { return row == 0 && col == 0; }

// Every position the ties below read must lie on the grid and in the reader's tables.
bool network_fits(const network_view& v, const model_state& m, int gnum_node_rows) {
  char text[512];
  const int rows = m.cell_number_grid.rows(), cols = m.cell_number_grid.cols();
  if (v.junctions < 0 || v.links < 0 || v.kind.cols() < v.junctions || v.kind.empty() || v.loc1.size() <= size_t(v.junctions) ||
      v.loc2.size() <= size_t(v.junctions) || v.node_count.size() <= size_t(v.links)) {
    std::snprintf(text, sizeof text, "Error: the %s network of %d junctions and %d links is incomplete\n", v.label,
                  v.junctions, v.links);
    return refuse(text);
  }
  for (int j = 1; j <= v.junctions; ++j) {
    if (v.kind[0][j] == channel_junction || on_grid(m, v.loc1[size_t(j)], v.loc2[size_t(j)])) continue;
    std::snprintf(text, sizeof text,
                  "Error: %s junction %d lies at row %d, column %d, outside the grid of %d rows and %d columns\n",
                  v.label, j, v.loc1[size_t(j)], v.loc2[size_t(j)], rows, cols);
    return refuse(text);
  }
  for (int l = 1; l <= v.links; ++l) {
    const int last = v.node_count[size_t(l)] + 1;
    if (last < 1 || last > v.row.rows() || last > v.col.rows() || last > gnum_node_rows || l > v.row.cols() ||
        l > v.col.cols()) {
      std::snprintf(text, sizeof text, "Error: %s link %d has %d nodes, more than the network holds\n", v.label, l,
                    v.node_count[size_t(l)]);
      return refuse(text);
    }
    for (int n = 1; n <= last; ++n) {
      if (on_grid(m, v.row[n][l], v.col[n][l]) || no_cell(v.row[n][l], v.col[n][l])) continue;
      std::snprintf(text, sizeof text,
                    "Error: %s link %d node %d lies at row %d, column %d, outside the grid of %d rows and %d columns\n",
                    v.label, l, n, v.row[n][l], v.col[n][l], rows, cols);
      return refuse(text);
    }
  }
  return true;
}

// A channel junction lies in the cell of the grid-stream entry of its link and node (the last
// such entry counts); any other junction in the cell at its row and column.
int junction_cell(const model_state& m, int kind, int loc1, int loc2) {
  if (kind != channel_junction) return m.cell_number_grid(loc1, loc2);
  int cell = 0;
  for (int c = 1; c <= m.gst_num_cells && size_t(c) < m.gst_ncellsingrid.size(); ++c) {
    const size_t c_ = size_t(c);
    if (c_ >= m.gst_link.size() || c_ >= m.gst_node.size() || c_ >= m.gst_gnum.size()) break;
    for (int e = 1; e <= m.gst_ncellsingrid[c_]; ++e) {
      const size_t e_ = size_t(e);
      if (e_ >= m.gst_link[c_].size() || e_ >= m.gst_node[c_].size() || e_ >= m.gst_gnum[c_].size()) break;
      if (m.gst_link[c_][e_] == loc1 && m.gst_node[c_][e_] == loc2) cell = m.gst_gnum[c_][e_];
    }
  }
  return cell;
}

void tie_to_cells(const network_view& v, const model_state& m, std::vector<int32_t>& junction_gnum,
                  node_matrix<int32_t>& node_gnum) {
  junction_gnum.assign(size_t(v.junctions) + 1, 0);
  for (int j = 1; j <= v.junctions; ++j)
    junction_gnum[size_t(j)] = junction_cell(m, v.kind[0][j], v.loc1[size_t(j)], v.loc2[size_t(j)]);
  for (int l = 1; l <= v.links; ++l)
    for (int n = 1; n <= v.node_count[size_t(l)] + 1; ++n)
      node_gnum[n][l] = no_cell(v.row[n][l], v.col[n][l]) ? 0 : m.cell_number_grid(v.row[n][l], v.col[n][l]);
}

bool console_on(const model_state& m) { return !m.super_quiet_on && process_index == 0; }

void write_drain_heading(model_state& m, const drain_network_record& d) {
  if (!checked_file_open(m.drain_out_file, m.drain_out_name.c_str(), 'w')) return;
  std::FILE* f = m.drain_out_file.stream;
  std::fputs(m.qout_cfs_on ? "Outlet Junction Discharges in CFS for overland and channel discharges \n"
                           : "Outlet Junction Discharges in CMS for overland and channel discharges \n",
             f);
  std::fputs(m.long_term_on ? "   Date            " : "Elasped Time(min)", f);
  for (int j = 1; j <= d.junctions; ++j) {
    const int kind = d.inlet_type[0][j];
    if (kind == overland_outlet) std::fprintf(f, "    Junc %d Ov ", j);
    if (kind == channel_junction) std::fprintf(f, "    Junc %d Ch ", j);
    if (kind == superlink_outlet) std::fprintf(f, "    Junc %d SL ", j);
    if (kind > 10) {  // keeps the columns aligned as the junction numbers grow
      if (j < 1000) std::fputc(' ', f);
      if (j < 100) std::fputc(' ', f);
      if (j < 10) std::fputc(' ', f);
    }
  }
  std::fputs("\n", f);
}

}  // namespace

void setup_superlink_grid_links(model_state& m) {
  m.superlink_running = 0;
  if (!m.storm_sewer_on) return;
  checked_file network, grid_pipe;
  if (!checked_file_open(network, m.storm_sewer_path.c_str(), 'r')) {
    set_error(4, "superlink input file", m.storm_sewer_path);
    return;
  }
  if (!checked_file_open(grid_pipe, m.grid_pipe_path.c_str(), 'r')) message_out("\n No grid pipe file found \n");
  neighbour_services.read_superlink_file(network, grid_pipe, m);
  checked_file_close(network);
  checked_file_close(grid_pipe);
  if (error_state.error_terminate) return;
  const int cells = m.cell_count;
  if (m.leaky_pipes_on) {
    m.superlink_tile_flow.assign(m.num_superlink_nodes + 2, m.num_superlinks + 1);
    for (std::vector<double>* v : {&m.Q_tile_grid, &m.vol_tile_grid, &m.tilerecharge_to_gw})
      v->assign(size_t(cells) + 1, 0.0);
  }
  if (console_on(m))
    message_out("read superlink pipe file, %d junctions, %d links\n", m.num_superjunctions, m.num_superlinks);
  if (m.num_superjunctions > 10000)
    message_out("Your superlink network has more than 10,000 superjunctions, expect your model to be very slow \n");
  if (m.num_superlink_nodes > 10000)
    message_out("Your superlink network has more than 10,000 nodes, expect your model to be very slow \n");
  if (m.num_superlinks > 10000)
    message_out("Your superlink network has more than 10,000 links, expect your model to be very slow \n");
  const network_view v = superlink_view(m);
  const int gnum_rows = 10 * m.num_superlink_nodes;
  if (!network_fits(v, m, gnum_rows)) return;
  m.superlink_node_gnum.assign(gnum_rows, m.num_superlinks);
  tie_to_cells(v, m, m.superlink_junc_gnum, m.superlink_node_gnum);
}

void setup_drain_network(model_state& m) {
  m.drain_net = std::make_unique<drain_network_record>();
  if (!m.storm_drain_on) return;
  drain_network_record& d = *m.drain_net;
  checked_file network, grid_pipe;
  if (!checked_file_open(network, m.storm_drain_name.c_str(), 'r')) {
    set_error(4, "non superlink drain pipe input file", m.storm_drain_name);
    return;
  }
  if (!checked_file_open(grid_pipe, m.grid_pipe_name.c_str(), 'r'))
    message_out("\n No non superlink grid pipe file found \n");
  neighbour_services.read_drain_network(network, grid_pipe, d, m);
  checked_file_close(network);
  checked_file_close(grid_pipe);
  if (error_state.error_terminate) return;
  const int cells = m.cell_count;
  if (d.leaky_pipes) {
    m.vol_tile_grid.assign(size_t(cells) + 1, 0.0);
    m.leaky_pipes_on = 1;
    d.drain_tile_flow.assign(d.nodes + 2, d.links + 1);
    d.drain_Q_tile_grid.assign(size_t(cells) + 1, 0.0);
    d.drain_vol_tile_grid.assign(size_t(cells) + 1, 0.0);
  }
  if (console_on(m)) message_out("read drain pipe file, %d junctions, %d links\n", d.junctions, d.links);
  const network_view v = drain_view(d);
  if (!network_fits(v, m, d.nodes + 1)) return;
  d.drain_node_gnum.assign(d.nodes + 1, d.links + 1);
  tie_to_cells(v, m, d.drain_junc_gnum, d.drain_node_gnum);
  if (m.drain_output_on) write_drain_heading(m, d);
}

}  // namespace pluvo
