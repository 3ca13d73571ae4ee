// The superlink and drain network files and their grid-pipe files. Both networks share one
// file format and one reader; they differ in a few limits and in where the fields live.
#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "groundwater/groundwater_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

int pipe_file_keyword(char* line) {
  size_t start = 0;
  while (line[start] == ' ' || line[start] == '\t' || line[start] == '\n') ++start;
  size_t end = start;
  while (line[end] != '\0' && line[end] != ' ' && line[end] != '\t' && line[end] != '\n') ++end;
  std::string word(line + start, end - start);
  for (char& c : word) c = char(std::tolower(static_cast<unsigned char>(c)));
  std::memmove(line, line + end, std::strlen(line + end) + 1);
  if (word == "pipecells") return 0;
  if (word == "cellij") return 1;
  if (word == "numpipes") return 2;
  if (word == "spipe") return 3;
  return 4;
}

namespace {

// The fields of one network's record that the reader fills.
struct network_fields {
  int32_t& junctions;
  int32_t& links;
  int32_t& nodes;
  int32_t& max_dimension;
  std::vector<double>& ground;
  std::vector<double>& invert;
  std::vector<double>& area;
  std::vector<double>& grate_side;
  std::vector<double>& grate_dia;
  std::vector<int32_t>& row;
  std::vector<int32_t>& col;
  std::vector<int32_t>& bound;
  std::vector<int32_t>& us;
  std::vector<int32_t>& ds;
  std::vector<int32_t>& nnodes;
  node_matrix<double>& node_ground;
  node_matrix<double>& node_invert;
  node_matrix<double>& As;
  node_matrix<int32_t>& inlet_type;
  node_matrix<int32_t>& node_row;
  node_matrix<int32_t>& node_col;
  node_matrix<double>& node_grate_side;
  node_matrix<double>& node_grate_dia;
  node_matrix<double>& node_depth;
  node_matrix<double>& q_node;
  node_matrix<int32_t>& sec_type;
  node_matrix<double>& diameter;
  node_matrix<double>& width;
  node_matrix<double>& S0;
  node_matrix<double>& M_n;
  node_matrix<double>& dx;
  node_matrix<double>& conductivity;
  node_matrix<double>& spacing;
  node_matrix<double>& multiplier;
  int32_t& leaky;
  int32_t& gpi_num_cells;
  int32_t& gpi_max_pipes;
  std::vector<int32_t>& gpi_ncellsingrid;
  node_matrix<int32_t>& gpi_link;
  node_matrix<int32_t>& gpi_node;
  node_matrix<int32_t>& gpi_gnum;
  node_matrix<double>& gpi_pct;
};

// What sets the two networks apart.
struct network_rules {
  bool superlink;          // dimension warning, extents, refinement
  double leaky_threshold;  // a conductivity above it makes a pipe leaky
};

network_fields superlink_fields(model_state& m) {
  return {m.num_superjunctions, m.num_superlinks, m.num_superlink_nodes, m.superlink_max_dimension,
          m.sjunc_ground_elev, m.sjunc_invert_elev, m.sjunc_area, m.sjunc_grate_sidelength, m.sjunc_grate_dia,
          m.superjunct_i, m.superjunct_j, m.bound, m.us_sjunc, m.ds_sjunc, m.nnodes,
          m.node_ground_elev, m.slink_node_Zinv, m.As, m.inlet_type, m.superlink_node_i, m.superlink_node_j,
          m.grate_sidelength_node, m.grate_dia_node, m.slink_node_depth, m.Q_node,
          m.sec_type, m.diameter, m.width, m.S0, m.M_n, m.dx, m.superlink_pipe_conductivity, m.drain_spacing,
          m.drain_multiplier, m.leaky_pipes_on, m.gpi_num_cells, m.gpi_max_pipes, m.gpi_ncellsingrid,
          m.gpi_link, m.gpi_node, m.gpi_gnum, m.gpi_pct};
}

network_fields drain_fields(drain_network_record& d) {
  return {d.junctions, d.links, d.nodes, d.max_dimension,
          d.ground_elev, d.invert_elev, d.area, d.grate_sidelength, d.grate_dia,
          d.junct_i, d.junct_j, d.bound, d.us_junc, d.ds_junc, d.nnodes,
          d.node_ground_elev, d.slink_node_Zinv, d.As, d.inlet_type, d.node_i, d.node_j,
          d.grate_sidelength_node, d.grate_dia_node, d.slink_node_depth, d.Q_node,
          d.sec_type, d.diameter, d.width, d.S0, d.M_n, d.dx, d.pipe_conductivity, d.spacing,
          d.multiplier, d.leaky_pipes, d.gpi_num_cells, d.gpi_max_pipes, d.gpi_ncellsingrid,
          d.gpi_link, d.gpi_node, d.gpi_gnum, d.gpi_pct};
}

// One whole line of the network file, its line end dropped; false at the end of the file.
// These files are read as written: no replacement parameters.
bool read_raw_line(std::FILE* f, std::string& line) {
  line.clear();
  char part[512];
  bool any = false;
  while (std::fgets(part, sizeof part, f)) {
    any = true;
    line += part;
    if (!line.empty() && line.back() == '\n') break;
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return any;
}

// The node matrices hold (pipes + 1) x links places each (ten times the pipes when refined).
constexpr long long max_matrix_cells = 2000000;
constexpr double max_junction_area = 1e6;

std::string first_word(const std::string& line) {
  char word[64] = "";
  std::sscanf(line.c_str(), "%63s", word);
  return word;
}

int number_after_keyword(const std::string& line) {
  int n = 0;
  if (std::sscanf(line.c_str(), "%*s %d", &n) != 1) return 0;
  return n;
}

struct file_reader {
  network_fields f;
  network_rules rules;
  const std::string* name;  // the file being read
  const model_state& m;
  int line_number = 0;

  bool in_range(const char* what, int value, int limit) const {
    if (value >= 1 && value <= limit) return true;
    stop_run("Error: %s %d on line %d of %s is outside 1..%d.\n", what, value, line_number, name->c_str(), limit);
    return false;
  }

  // A cell position on the grid; a node may also name no cell (0, 0) when it has no inlet.
  bool position_fits(const char* what, int number, int row, int col, bool may_be_none) const {
    const int rows = m.cell_number_grid.rows(), cols = m.cell_number_grid.cols();
    if (row >= 1 && row <= rows && col >= 1 && col <= cols) return true;
    if (may_be_none && row == 0 && col == 0) return true;
    stop_run("Error: %s %d on line %d of %s lies at row %d, column %d, outside the grid of %d rows and %d "
             "columns.\n",
             what, number, line_number, name->c_str(), row, col, rows, cols);
    return false;
  }
};

// The counts that size the network; false (the run stopped) when a SLINK announces more pipes
// than the file's PIPE lines, so that no count the file cannot hold takes memory.
bool count_network(std::FILE* file, const std::string& name, bool refine, network_fields& f) {
  std::string line;
  int connects = 0, sjuncs = 0, largest = 0, pipe_lines = 0, largest_line = 0, line_number = 0;
  while (read_raw_line(file, line)) {
    ++line_number;
    const std::string word = first_word(line);
    if (word == "CONNECT") ++connects;
    if (word == "SJUNC") ++sjuncs;
    if (word == "PIPE") ++pipe_lines;
    if (word == "SLINK") {
      int pipes = 0;
      if (std::sscanf(line.c_str(), "%*s %*d %d", &pipes) == 1 && pipes > largest) {
        largest = pipes;
        largest_line = line_number;
      }
    }
  }
  std::rewind(file);
  if (largest > pipe_lines) {
    stop_run("Error: pipe count %d on line %d of %s is outside 1..%d (the PIPE lines of the file).\n", largest,
             largest_line, name.c_str(), pipe_lines);
    return false;
  }
  // Every superlink holds a column of every node matrix: the product is what memory takes.
  const long long rows = refine ? std::max(10LL * largest + 1, 50LL) : largest + 1LL;
  const long long cells = rows * std::max(connects, sjuncs);
  if (cells > max_matrix_cells) {
    stop_run("Error: the %d superlinks, %d superjunctions and %d pipes of the largest superlink of %s need %lld "
             "node places, more than the limit of %lld.\n",
             connects, sjuncs, largest, name.c_str(), cells, max_matrix_cells);
    return false;
  }
  f.links = connects;
  f.junctions = sjuncs;
  f.nodes = largest;
  return true;
}

void allocate_network(network_fields& f, bool refine) {
  const int junctions = f.junctions, links = f.links;
  // Node rows hold nodes 1..pipes+1; the refinement may add up to ten times as many.
  const int node_rows = refine ? std::max(10 * f.nodes + 1, 50) : f.nodes + 1;
  // Matrices are [node][link]; row 0 of inlet_type holds the junctions, so the columns hold both.
  const int cols = std::max(junctions, links);
  for (std::vector<double>* v : {&f.ground, &f.invert, &f.area, &f.grate_side, &f.grate_dia})
    v->assign(size_t(junctions) + 1, 0.0);
  for (std::vector<int32_t>* v : {&f.row, &f.col, &f.bound}) v->assign(size_t(junctions) + 1, 0);
  for (std::vector<int32_t>* v : {&f.us, &f.ds, &f.nnodes}) v->assign(size_t(links) + 1, 0);
  for (node_matrix<double>* v : {&f.node_ground, &f.node_invert, &f.As, &f.node_grate_side, &f.node_grate_dia,
                                 &f.node_depth, &f.q_node, &f.diameter, &f.width, &f.S0, &f.M_n, &f.dx,
                                 &f.conductivity, &f.spacing, &f.multiplier})
    v->assign(node_rows, cols, 0.0);
  for (node_matrix<int32_t>* v : {&f.inlet_type, &f.node_row, &f.node_col, &f.sec_type}) v->assign(node_rows, cols, 0);
}

// The checks of one PIPE line, in their order; false after an error. Tests are written so that
// NaN fails them.
bool pipe_checks(const network_fields& f, const network_rules& r, int p, int l) {
  if (f.sec_type[p][l] < 1 || f.sec_type[p][l] > 3) {
    message_out("Error: pipe cross-section type not valid: node %d link %d.\n", p, l);
    return false;
  }
  if (!(f.M_n[p][l] >= 1e-8)) {
    message_out("Error: pipe roughness value not valid: node %d link %d.\n", p, l);
    return false;
  }
  // A leaky pipe's tile flux divides by the spacing, whatever its conductivity.
  if (f.conductivity[p][l] > r.leaky_threshold && !(f.spacing[p][l] >= 1e-8)) {
    message_out("Error: drain spacing cannot be zero if pipe conductivity greater than zero: node %d link %d.\n", p,
                l);
    return false;
  }
  if (f.S0[p][l] < 0.0) message_out("Warning: pipe slope is negative: node %d link %d\n", p, l);
  if (!(f.dx[p][l] >= 1e-8)) {
    message_out("Error: pipe length is zero or negative: node %d link %d.\n", p, l);
    return false;
  }
  return true;
}

// Reads the junction, node or pipe line into the fields; false when it stops the run.
bool read_sjunc(file_reader& rd, const std::string& line) {
  network_fields& f = rd.f;
  const int j = number_after_keyword(line);
  if (!rd.in_range("junction", j, f.junctions)) return false;
  double ground = 0, invert = 0, area = 0, side = 0, dia = 0;
  int kind = 0, row = 0, col = 0;
  std::sscanf(line.c_str(), "%*s %*d %lf %lf %lf %d %d %d %lf %lf", &ground, &invert, &area, &kind, &row, &col,
              &side, &dia);
  // A channel outlet names a channel link and node instead of a cell; the channel set-up checks them.
  if (kind != 999 && !rd.position_fits("junction", j, row, col, false)) return false;
  // The junction's storage divides its inflow: a plan area of zero, below or not a number makes water.
  if (!(area > 0.0 && area <= max_junction_area) || !std::isfinite(ground) || !std::isfinite(invert)) {
    stop_run("Error: junction %d on line %d of %s gives ground %g m, invert %g m and plan area %g m2; the "
             "elevations must be finite and the area above 0 and at most %g m2.\n",
             j, rd.line_number, rd.name->c_str(), ground, invert, area, max_junction_area);
    return false;
  }
  f.ground[size_t(j)] = ground;
  f.invert[size_t(j)] = invert;
  f.area[size_t(j)] = area;
  f.inlet_type[0][j] = kind;
  f.row[size_t(j)] = row;
  f.col[size_t(j)] = col;
  f.grate_side[size_t(j)] = side;
  f.grate_dia[size_t(j)] = dia;
  f.bound[size_t(j)] = kind >= 11 ? 1 : 0;
  if (invert > ground) message_out("WARNING: ground elevation less than node bottom. superjunction %d\n", j);
  return true;
}

bool read_node(file_reader& rd, const std::string& line, int l) {
  network_fields& f = rd.f;
  const int n = number_after_keyword(line);
  if (!rd.in_range("node", n, f.nnodes[size_t(l)] + 1)) return false;
  double ground = 0, invert = 0, area = 0, side = 0, dia = 0;
  int kind = 0, row = 0, col = 0;
  std::sscanf(line.c_str(), "%*s %*d %lf %lf %lf %d %d %d %lf %lf", &ground, &invert, &area, &kind, &row, &col,
              &side, &dia);
  const bool has_inlet = kind >= 1 && kind <= 10;
  if (!rd.position_fits("node", n, row, col, !has_inlet)) return false;
  f.node_ground[n][l] = ground;
  f.node_invert[n][l] = invert;
  f.As[n][l] = area;
  f.inlet_type[n][l] = kind;
  f.node_row[n][l] = row;
  f.node_col[n][l] = col;
  f.node_grate_side[n][l] = side;
  f.node_grate_dia[n][l] = dia;
  if (invert > ground) message_out("WARNING: ground elevation less than node bottom. superlink %d, node %d\n", l, n);
  return true;
}

// -1 after a pipe error, 0 when read, 1 when it stopped the run on a number out of range.
int read_pipe(file_reader& rd, const std::string& line, int l, int& p) {
  network_fields& f = rd.f;
  p = number_after_keyword(line);
  if (!rd.in_range("pipe", p, f.nnodes[size_t(l)])) return 1;
  int kind = 0;
  double d = 0, w = 0, s = 0, n = 0, len = 0, k = 0, spacing = 0, mult = 0;
  std::sscanf(line.c_str(), "%*s %*d %d %lf %lf %lf %lf %lf %lf %lf %lf", &kind, &d, &w, &s, &n, &len, &k, &spacing,
              &mult);
  for (const double v : {d, w, s, n, len, k, spacing, mult}) {
    if (std::isfinite(v)) continue;
    stop_run("Error: pipe %d of superlink %d on line %d of %s gives %g; every number of a PIPE line must be finite.\n",
             p, l, rd.line_number, rd.name->c_str(), v);
    return 1;
  }
  f.sec_type[p][l] = kind;
  f.diameter[p][l] = d;
  f.width[p][l] = w;
  f.S0[p][l] = s;
  f.M_n[p][l] = n;
  f.dx[p][l] = len;
  f.conductivity[p][l] = k;
  f.spacing[p][l] = spacing;
  f.multiplier[p][l] = mult;
  if (!pipe_checks(f, rd.rules, p, l)) return -1;
  if (k > rd.rules.leaky_threshold) f.leaky = 1;
  return 0;
}

// The reading pass: -1 after a pipe error, -2 after a number out of range, else 0.
int read_network_lines(file_reader& rd, std::FILE* file) {
  network_fields& f = rd.f;
  std::string line;
  bool have_line = read_raw_line(file, line);
  rd.line_number = have_line ? 1 : 0;
  while (have_line) {
    const std::string word = first_word(line);
    if (word == "CONNECT") {
      const int l = number_after_keyword(line);
      int us = 0, ds = 0;
      std::sscanf(line.c_str(), "%*s %*d %d %d", &us, &ds);
      if (!rd.in_range("superlink", l, f.links) || !rd.in_range("junction", us, f.junctions) ||
          !rd.in_range("junction", ds, f.junctions))
        return -2;
      if (us == ds) {
        stop_run("Error: superlink %d on line %d of %s joins junction %d to itself; its two ends must be two "
                 "junctions.\n",
                 l, rd.line_number, rd.name->c_str(), us);
        return -2;
      }
      f.us[size_t(l)] = us;
      f.ds[size_t(l)] = ds;
    } else if (word == "SJUNC") {
      if (!read_sjunc(rd, line)) return -2;
    } else if (word == "SLINK") {
      const int l = number_after_keyword(line);
      int pipes = 0;
      std::sscanf(line.c_str(), "%*s %*d %d", &pipes);
      if (!rd.in_range("superlink", l, f.links) || !rd.in_range("pipe count", pipes, f.nodes)) return -2;
      f.nnodes[size_t(l)] = pipes;
      // The block: NODE and PIPE lines until the last pipe, any other line (dropped) or the end.
      while ((have_line = read_raw_line(file, line))) {
        ++rd.line_number;
        const std::string inner = first_word(line);
        if (inner == "NODE") {
          if (!read_node(rd, line, l)) return -2;
        } else if (inner == "PIPE") {
          int p = 0;
          const int result = read_pipe(rd, line, l, p);
          if (result != 0) return result < 0 ? -1 : -2;
          if (p == pipes) break;
        } else {
          break;
        }
      }
      if (!have_line) break;
    }
    have_line = read_raw_line(file, line);
    ++rd.line_number;
  }
  return 0;
}

// Pipe p of superlink l takes the properties of pipe q (both computational positions).
void copy_pipe(network_fields& f, int p, int q, int l) {
  for (node_matrix<double>* v : {&f.diameter, &f.width, &f.S0, &f.M_n, &f.dx, &f.conductivity, &f.spacing,
                                 &f.multiplier})
    (*v)[p][l] = (*v)[q][l];
  f.sec_type[p][l] = f.sec_type[q][l];
}

void copy_node(network_fields& f, int n, int q, int l) {
  for (node_matrix<double>* v : {&f.node_ground, &f.node_invert, &f.As, &f.node_grate_side, &f.node_grate_dia})
    (*v)[n][l] = (*v)[q][l];
  for (node_matrix<int32_t>* v : {&f.inlet_type, &f.node_row, &f.node_col}) (*v)[n][l] = (*v)[q][l];
}

// A node without inlet at distance s along the pipe from node a to node b of length len.
void interpolated_node(network_fields& f, int n, int a, int b, double s, double len, int l) {
  const double ground_a = f.node_ground[a][l], ground_b = f.node_ground[b][l];
  const double invert_a = f.node_invert[a][l], invert_b = f.node_invert[b][l];
  for (node_matrix<double>* v : {&f.As, &f.node_grate_side, &f.node_grate_dia}) (*v)[n][l] = 0.0;
  for (node_matrix<int32_t>* v : {&f.inlet_type, &f.node_row, &f.node_col}) (*v)[n][l] = 0;
  f.node_ground[n][l] = ground_a + (ground_b - ground_a) * s / len;
  f.node_invert[n][l] = invert_a + (invert_b - invert_a) * s / len;
}

// A single pipe cut into four or six pieces with short ends.
int refine_single_pipe(network_fields& f, model_state& m, int l) {
  const double L = f.dx[1][l];
  const double e = L / 4.0 > 100.0 ? 10.0 : L / 4.0 > 50.0 ? 2.0 : 1.0;
  std::vector<double> pieces;
  if (L < 6.0 * e)
    pieces.assign(4, L / 4.0);
  else
    pieces = {e, (L - 2.0 * e) / 4.0, (L - 2.0 * e) / 4.0, (L - 2.0 * e) / 4.0, (L - 2.0 * e) / 4.0, e};
  const int count = int(pieces.size());
  copy_node(f, count + 1, 2, l);  // the far end keeps the file's second node
  double s = 0.0;
  for (int k = 1; k <= count; ++k) {
    if (k > 1) copy_pipe(f, k, 1, l);
    m.dxc[k][l] = pieces[size_t(k - 1)];
    f.dx[k][l] = pieces[size_t(k - 1)];
    if (k > 1) interpolated_node(f, k, 1, count + 1, s, L, l);
    s += pieces[size_t(k - 1)];
  }
  m.otc_node[1][l] = 1;
  m.otc_node[2][l] = count + 1;
  m.otc_pipe[1][l] = 1;
  m.otc_pipe[2][l] = 1;
  return count;
}

// Moves nodes from..last and pipes from..last - 1 of superlink l one place down.
void shift_down(network_fields& f, model_state& m, int from, int pipes, int l) {
  for (int n = pipes + 1; n >= from; --n) copy_node(f, n + 1, n, l);
  for (int p = pipes; p >= from - 1 && p >= 1; --p) {
    copy_pipe(f, p + 1, p, l);
    m.dxc[p + 1][l] = m.dxc[p][l];
  }
}

// A short end pipe at each end of a superlink of several pipes, where its end pipe is long.
int refine_end_pipes(network_fields& f, model_state& m, int l) {
  int pipes = f.nnodes[size_t(l)];
  double total = 0.0;
  for (int p = 1; p <= pipes; ++p) total += f.dx[p][l];
  double d = std::clamp(0.05 * total, 1.0, 10.0);
  d = std::min({d, f.dx[1][l], f.dx[pipes][l]});
  for (int p = 1; p <= pipes; ++p) m.dxc[p][l] = f.dx[p][l];
  if (f.dx[1][l] > 2.0 * d) {
    const double len = f.dx[1][l];
    // Node 2 and everything below it move down; the new node 2 lies d along the first pipe.
    shift_down(f, m, 2, pipes, l);
    interpolated_node(f, 2, 1, 3, d, len, l);
    copy_pipe(f, 2, 1, l);
    f.dx[1][l] = m.dxc[1][l] = d;
    f.dx[2][l] = m.dxc[2][l] = len - d;
    ++pipes;
    for (int k = 2; k <= f.nnodes[size_t(l)] + 1; ++k) ++m.otc_node[k][l];
    for (int k = 2; k <= f.nnodes[size_t(l)]; ++k) ++m.otc_pipe[k][l];
    message_out("Your first node in Superlink %d is greater than %lf from the SuperNode \n", l, d);
    message_out("PLUVO has added a new node %lf m from the beginnig of this pipe  \n \n", d);
  }
  if (f.dx[pipes][l] > 2.0 * d) {
    const double len = f.dx[pipes][l];
    // The last node moves down; the new node lies d before it.
    copy_node(f, pipes + 2, pipes + 1, l);
    copy_pipe(f, pipes + 1, pipes, l);
    interpolated_node(f, pipes + 1, pipes, pipes + 2, len - d, len, l);
    f.dx[pipes][l] = m.dxc[pipes][l] = len - d;
    f.dx[pipes + 1][l] = m.dxc[pipes + 1][l] = d;
    ++pipes;
    ++m.otc_node[f.nnodes[size_t(l)] + 1][l];
    message_out("Your last node in Superlink %d is greater than %lf from the SuperNode \n", l, d);
    message_out("PLUVO has added a new node %lf m from the beginnig of this pipe  \n \n", d);
  }
  return pipes;
}

void computational_pipes(network_fields& f, model_state& m) {
  const int rows = f.node_row.rows(), cols = f.node_row.cols();
  m.dxc.assign(rows, cols, 0.0);
  m.otc_node.assign(rows, cols, 0);
  m.otc_pipe.assign(rows, cols, 0);
  m.superlink_cnodes.assign(size_t(f.links) + 1, 0);
  for (int l = 1; l <= f.links; ++l) {
    const int pipes = f.nnodes[size_t(l)];
    for (int k = 1; k <= pipes + 1; ++k) m.otc_node[k][l] = m.otc_pipe[k][l] = k;
    int count = pipes;
    if (!m.superlink_c_opt_on) {
      for (int p = 1; p <= pipes; ++p) m.dxc[p][l] = f.dx[p][l];
    } else if (pipes == 1) {
      count = refine_single_pipe(f, m, l);
    } else if (pipes > 1) {
      count = refine_end_pipes(f, m, l);
    }
    m.superlink_cnodes[size_t(l)] = count;
    if (count > m.num_superlink_nodes) m.num_superlink_nodes = count;
  }
  m.superlink_max_dimension = std::max({m.num_superjunctions, m.num_superlinks, m.num_superlink_nodes}) + 3;
}

// The grid-pipe file: 0, or -9 without a valid PIPECELLS card, or -2 after a number out of range.
int read_grid_pipe_file(file_reader& rd, checked_file& file) {
  network_fields& f = rd.f;
  if (!file.is_open()) {
    message_out(
        "\n Since you have leaky pipes you must include the GRID_PIPE card and grid pipe input file in your project "
        "file");
    set_error(4, "tile drain grid pipe");
    return -3;
  }
  char line[line_buffer_size];
  // A leaky pipe with no cells would lose its flux unseen: a file of another kind stops the run.
  if (!read_line(line, file) || std::strncmp(line, "GRIDPIPEFILE", 12) != 0) {
    stop_run("Error: The grid-pipe file %s must begin with GRIDPIPEFILE; its first line is \"%.80s\".\n",
             file.path.c_str(), line);
    return -2;
  }
  int32_t cells = 0;
  if (!read_line(line, file) || pipe_file_keyword(line) != 0 || !next_int(line, cells)) {
    message_out("The second card in the grid-pipe file must be PIPECELLS\n");
    message_out("File format error, program terminating.\n");
    return -9;
  }
  if (cells <= 0) {
    message_out("The number of PIPECELLS in the gridpipe (.gpi) file\n");
    message_out("must be greater than 0.  File format error, program terminating\n");
    return -9;
  }
  rd.name = &file.path;
  rd.line_number = 2;
  if (!rd.in_range("PIPECELLS", cells, rd.m.cell_count)) return -2;
  f.gpi_num_cells = cells;
  f.gpi_ncellsingrid.assign(size_t(cells) + 1, 0);
  f.gpi_max_pipes = 0;
  int k = 0;
  int spipe_lines = 0, largest_line = 0;
  while (read_line(line, file)) {
    ++rd.line_number;
    const int key = pipe_file_keyword(line);
    spipe_lines += key == 3;
    if (key != 2) continue;
    int32_t count = 0;
    next_int(line, count);
    if (!rd.in_range("NUMPIPES card", ++k, cells)) return -2;
    if (count < 0) {
      stop_run("Error: NUMPIPES %d on line %d of %s is below 0.\n", count, rd.line_number, file.path.c_str());
      return -2;
    }
    f.gpi_ncellsingrid[size_t(k)] = count;
    if (count > f.gpi_max_pipes) largest_line = rd.line_number;
    f.gpi_max_pipes = std::max(f.gpi_max_pipes, count);
  }
  // One SPIPE line an entry: a count the file cannot hold takes no memory.
  if (f.gpi_max_pipes > spipe_lines) {
    stop_run("Error: NUMPIPES %d on line %d of %s is outside 0..%d (the SPIPE lines of the file).\n",
             f.gpi_max_pipes, largest_line, file.path.c_str(), spipe_lines);
    return -2;
  }
  for (node_matrix<int32_t>* v : {&f.gpi_link, &f.gpi_node, &f.gpi_gnum}) v->assign(cells, f.gpi_max_pipes, 0);
  f.gpi_pct.assign(cells, f.gpi_max_pipes, 0.0);
  std::rewind(file.stream);
  int cell = 0, entry = 0, cell_number = 0;
  rd.line_number = 0;
  while (read_line(line, file)) {
    ++rd.line_number;
    const int key = pipe_file_keyword(line);
    if (key == 1) {
      int32_t row = 0, col = 0;
      next_int(line, row);
      next_int(line, col);
      if (!rd.in_range("CELLIJ card", ++cell, cells) || !rd.position_fits("grid-pipe cell", cell, row, col, false))
        return -2;
      cell_number = rd.m.cell_number_grid(row, col);
      entry = 0;
    } else if (key == 3) {
      int32_t link = 0, node = 0;
      double pct = 0.0;
      next_int(line, link);
      next_int(line, node);
      next_double(line, pct);
      if (!rd.in_range("CELLIJ card", cell, cells) ||
          !rd.in_range("SPIPE entry", ++entry, f.gpi_ncellsingrid[size_t(cell)]) ||
          !rd.in_range("superlink", link, f.links) || !rd.in_range("node", node, f.nnodes[size_t(link)]))
        return -2;
      f.gpi_link[cell][entry] = link;
      f.gpi_node[cell][entry] = node;
      f.gpi_pct[cell][entry] = pct;
      f.gpi_gnum[cell][entry] = cell_number;
    }
  }
  message_out("Finished reading gridpipe file.\n");
  return 0;
}

int read_pipe_network(network_fields f, const network_rules& rules, checked_file& network, checked_file& grid_pipe,
                      model_state& m) {
  const bool refine = rules.superlink && m.superlink_c_opt_on;
  if (!count_network(network.stream, network.path, refine, f)) return -2;
  const int largest = std::max({f.junctions, f.links, f.nodes});
  if (rules.superlink) {
    if (largest > 2000) message_out("MAX dimension of superlink arrays too big.  Problem with read routine.\n");
    f.max_dimension = largest + 3;
  } else {
    if (largest > 2000) message_out("MAX dimension of drain arrays is large. %d \n", largest);
    f.max_dimension = largest + 1;
  }
  allocate_network(f, refine);
  if (rules.superlink) {
    m.sjunc_head.assign(size_t(f.junctions) + 1, 0.0);
    m.sjunc_ext_inflow.assign(size_t(f.junctions) + 1, 0.0);
  }
  file_reader rd{f, rules, &network.path, m};
  int result = read_network_lines(rd, network.stream);
  if (result == 0 && rules.superlink) computational_pipes(f, m);
  if (result == 0 && f.leaky) result = read_grid_pipe_file(rd, grid_pipe);
  return result;
}

// The reader's result as the run sees it: a stop with the message already printed.
void stop_after(int result) {
  if (result == -1 || result == -9) set_error(4000);
}

}  // namespace

void read_superlink_file(checked_file& network, checked_file& grid_pipe, model_state& m) {
  stop_after(read_pipe_network(superlink_fields(m), {true, 0.0}, network, grid_pipe, m));
}

void read_drain_network(checked_file& network, checked_file& grid_pipe, drain_network_record& net, model_state& m) {
  stop_after(read_pipe_network(drain_fields(net), {false, 1e-16}, network, grid_pipe, m));
}

}  // namespace pluvo
