#include "stream_network.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pluvo::netgen {

namespace {

// Neighbour order fixes which of two equally steep descents wins.
constexpr int drow[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
constexpr int dcol[8] = {0, 1, 1, 1, 0, -1, -1, -1};

std::string fmt(const char* format, double a) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, a);
  return buf;
}

bool parse_header_value(const std::string& line, const char* key, double& value) {
  std::istringstream in(line);
  std::string word;
  if (!(in >> word)) return false;
  std::string lower;
  for (char ch : word) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (lower != std::string(key) + ":" && lower != key) return false;
  return static_cast<bool>(in >> value);
}

}  // namespace

bool read_ascii_grid(const std::string& path, ascii_grid& grid, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  const char* keys[6] = {"north", "south", "east", "west", "rows", "cols"};
  double head[6] = {0, 0, 0, 0, 0, 0};
  grid.header.clear();
  for (int k = 0; k < 6; ++k) {
    std::string line;
    if (!std::getline(in, line) || !parse_header_value(line, keys[k], head[k])) {
      error = path + ": header line " + std::to_string(k + 1) + " is not \"" + keys[k] + ": value\"";
      return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    grid.header.push_back(line);
  }
  grid.north = head[0], grid.south = head[1], grid.east = head[2], grid.west = head[3];
  if (head[4] < 1 || head[5] < 1 || head[4] > 100000 || head[5] > 100000 || grid.east <= grid.west ||
      grid.north <= grid.south) {
    error = path + ": the header gives no valid grid";
    return false;
  }
  grid.rows = static_cast<int>(head[4]);
  grid.cols = static_cast<int>(head[5]);
  const size_t n = static_cast<size_t>(grid.rows) * grid.cols;
  grid.values.assign(n, 0.0);
  for (size_t i = 0; i < n; ++i) {
    std::string token;
    if (!(in >> token)) {
      error = path + ": fewer values than rows x cols";
      return false;
    }
    char* end = nullptr;
    grid.values[i] = std::strtod(token.c_str(), &end);
    if (*end != '\0' || !std::isfinite(grid.values[i])) {
      error = path + ": value \"" + token + "\" is not a number";
      return false;
    }
  }
  return true;
}

namespace {

// How water leaves each cell of the basin.
struct basin_flow {
  int rows = 0, cols = 0;
  double cs = 0;
  std::vector<int> cells;     // inside cells, row-major
  std::vector<int> order;     // inside cells from high to low
  std::vector<int> down;      // the cell drained into, -1 at the outlet and outside
  std::vector<int> down_dir;  // direction of that descent (at the outlet: out of the basin)
  int outlet = -1;
  double step_length(int i) const { return (down_dir[i] % 2) ? cs * std::sqrt(2.0) : cs; }
  double centre_x(const ascii_grid& g, int i) const { return g.west + (i % cols + 0.5) * cs; }
  double centre_y(const ascii_grid& g, int i) const { return g.north - (i / cols + 0.5) * cs; }
};

// D8: each cell drains to its steepest strictly lower neighbour inside the basin; exactly one
// cell (the outlet) has none.
bool drain_cells(const ascii_grid& mask, const ascii_grid& ele, basin_flow& flow, std::string& error) {
  const int rows = flow.rows, cols = flow.cols;
  const double cs = flow.cs;
  auto on_grid = [&](int r, int c) { return r >= 0 && r < rows && c >= 0 && c < cols; };
  auto inside = [&](int r, int c) { return on_grid(r, c) && mask.at(r, c) != 0.0; };
  flow.down.assign(static_cast<size_t>(rows) * cols, -1);
  flow.down_dir.assign(flow.down.size(), -1);
  int pits = 0;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      if (!inside(r, c)) continue;
      const int i = r * cols + c;
      flow.cells.push_back(i);
      double best = 0;
      for (int d = 0; d < 8; ++d) {
        const int rr = r + drow[d], cc = c + dcol[d];
        if (!inside(rr, cc)) continue;
        const double dist = (d % 2) ? cs * std::sqrt(2.0) : cs;
        const double drop = (ele.at(r, c) - ele.at(rr, cc)) / dist;
        if (drop > best) best = drop, flow.down[i] = rr * cols + cc, flow.down_dir[i] = d;
      }
      if (flow.down[i] < 0) ++pits, flow.outlet = i;
    }
  if (flow.cells.empty()) {
    error = "the mask holds no cell";
    return false;
  }
  if (pits != 1) {
    error = "the basin has " + std::to_string(pits) +
            " cells without a lower neighbour inside it; fill its sinks so one outlet remains";
    return false;
  }
  // The outlet leaves towards its lowest neighbour outside the basin (straight south when none is on the grid).
  const int r = flow.outlet / cols, c = flow.outlet % cols;
  double low = 0;
  bool found = false;
  flow.down_dir[flow.outlet] = 4;
  for (int d = 0; d < 8; ++d) {
    const int rr = r + drow[d], cc = c + dcol[d];
    if (!on_grid(rr, cc) || inside(rr, cc)) continue;
    if (!found || ele.at(rr, cc) < low) low = ele.at(rr, cc), flow.down_dir[flow.outlet] = d, found = true;
  }
  // Every descent is strictly downhill, so high-to-low order is upstream-first.
  flow.order = flow.cells;
  std::stable_sort(flow.order.begin(), flow.order.end(),
                   [&](int a, int b) { return ele.values[a] > ele.values[b]; });
  return true;
}

// Links start at sources and confluences and run down to the cell above the next head; they are
// numbered depth first from the outlet, upstream links first, so every downstream link is higher.
void form_links(const basin_flow& flow, const std::vector<std::vector<int>>& ups,
                const std::vector<char>& stream, stream_network& net, std::vector<int>& link_of) {
  auto is_head = [&](int i) { return stream[i] && ups[i].size() != 1; };
  link_of.assign(flow.down.size(), 0);
  std::vector<network_link> raw(1);
  for (int i : flow.cells) {
    if (!is_head(i)) continue;
    network_link l;
    for (int c = i;; c = flow.down[c]) {
      l.cells.push_back(c);
      link_of[c] = static_cast<int>(raw.size());
      if (flow.down[c] < 0 || is_head(flow.down[c])) break;
    }
    raw.push_back(l);
  }
  std::vector<int> number(raw.size(), 0);
  int next = 1;
  std::vector<std::pair<int, size_t>> stack{{link_of[flow.outlet], 0}};
  while (!stack.empty()) {
    auto& [l, k] = stack.back();
    const std::vector<int>& above = ups[raw[l].cells.front()];
    if (k < above.size()) {
      stack.push_back({link_of[above[k++]], 0});
    } else {
      number[l] = next++;
      stack.pop_back();
    }
  }
  net.links.assign(raw.size(), network_link{});
  for (size_t l = 1; l < raw.size(); ++l) net.links[number[l]] = raw[l];
  for (int x : flow.cells) link_of[x] = link_of[x] ? number[link_of[x]] : 0;
  for (size_t l = 1; l < net.links.size(); ++l) {
    network_link& L = net.links[l];
    const int last = L.cells.back();
    L.downstream = flow.down[last] >= 0 ? link_of[flow.down[last]] : 0;
    for (int u : ups[L.cells.front()]) L.upstream.push_back(link_of[u]);
    std::sort(L.upstream.begin(), L.upstream.end());
  }
}

// A trapezoid sized by the area drained at the link's lowest cell; one node per cell, two for a
// one-cell link, so that no link is left with a single computational node.
void size_links(const basin_flow& flow, stream_network& net) {
  for (size_t l = 1; l < net.links.size(); ++l) {
    network_link& L = net.links[l];
    const double area_km2 = net.upstream_cells[L.cells.back()] * flow.cs * flow.cs / 1e6;
    L.bottom_width = 1.5 * std::pow(area_km2, 0.4);
    L.bankfull_depth = 0.75 * std::pow(area_km2, 0.2);
    L.side_slope = 1.0;
    L.nodes = L.cells.size() == 1 ? 2 : static_cast<int>(L.cells.size());
    double length = 0;
    for (int x : L.cells) length += flow.step_length(x);
    L.dx = length / L.nodes;
    net.max_nodes = std::max(net.max_nodes, L.nodes + 1);
  }
}

// Beds: a bankfull depth below the ground, raised where needed so that they fall at least
// min_slope along the flow path, worked from the outlet up. The segment ends lie between the
// cell beds, so the beds fall strictly across every cell and every junction.
void lay_beds(const ascii_grid& ele, const basin_flow& flow, const std::vector<std::vector<int>>& ups,
              const std::vector<char>& stream, const std::vector<int>& link_of, stream_network& net) {
  std::vector<double> bed(flow.down.size(), 0.0);
  for (auto it = flow.order.rbegin(); it != flow.order.rend(); ++it) {
    const int i = *it;
    if (!stream[i]) continue;
    const double ground = ele.values[i] - net.links[link_of[i]].bankfull_depth;
    const int d = flow.down[i];
    bed[i] = d < 0 ? ground : std::max(ground, bed[d] + net.min_slope * flow.step_length(i));
  }
  auto top_of = [&](int i) {
    if (!ups[i].empty()) {
      double least = bed[ups[i][0]] - bed[i];
      for (int u : ups[i]) least = std::min(least, bed[u] - bed[i]);
      return bed[i] + 0.5 * least;
    }
    const int d = flow.down[i];
    return bed[i] + 0.5 * (d >= 0 ? bed[i] - bed[d] : net.min_slope * flow.step_length(i));
  };
  const ascii_grid& g = net.mask;
  const double half = 0.5 * flow.cs;
  for (size_t l = 1; l < net.links.size(); ++l) {
    network_link& L = net.links[l];
    for (int x : L.cells) {
      L.end_elev.push_back(top_of(x));
      L.end_x.push_back(flow.centre_x(g, x) - half * dcol[flow.down_dir[x]]);
      L.end_y.push_back(flow.centre_y(g, x) + half * drow[flow.down_dir[x]]);
    }
    const int last = L.cells.back();
    if (L.cells.size() == 1) {
      L.end_elev.push_back(bed[last]);
      L.end_x.push_back(flow.centre_x(g, last));
      L.end_y.push_back(flow.centre_y(g, last));
    }
    const int d = flow.down[last];
    L.end_elev.push_back(d >= 0 ? top_of(d) : 2 * bed[last] - top_of(last));
    L.end_x.push_back(flow.centre_x(g, last) + half * dcol[flow.down_dir[last]]);
    L.end_y.push_back(flow.centre_y(g, last) - half * drow[flow.down_dir[last]]);
  }
}

}  // namespace

bool build_stream_network(const ascii_grid& mask, const ascii_grid& ele,
                          const network_options& options, stream_network& net,
                          std::string& error) {
  if (mask.rows != ele.rows || mask.cols != ele.cols ||
      std::fabs(mask.north - ele.north) > 1e-3 || std::fabs(mask.south - ele.south) > 1e-3 ||
      std::fabs(mask.east - ele.east) > 1e-3 || std::fabs(mask.west - ele.west) > 1e-3) {
    error = "the elevation grid does not cover the mask's grid";
    return false;
  }
  basin_flow flow;
  flow.rows = mask.rows, flow.cols = mask.cols;
  flow.cs = (mask.east - mask.west) / mask.cols;
  if (std::fabs((mask.north - mask.south) / mask.rows - flow.cs) > 1e-6 * flow.cs) {
    error = "the grid's cells are not square";
    return false;
  }
  if (options.threshold < 1 || !(options.min_slope > 0) || !(options.mannings_n > 0)) {
    error = "threshold, minimum slope and Manning's n must be positive";
    return false;
  }
  net = stream_network{};
  net.mask = mask;
  net.cell_size = flow.cs;
  net.threshold = options.threshold;
  net.min_slope = options.min_slope;
  net.mannings_n = options.mannings_n;
  if (!drain_cells(mask, ele, flow, error)) return false;

  net.upstream_cells.assign(flow.down.size(), 0);
  for (int i : flow.cells) net.upstream_cells[i] = 1;
  for (int i : flow.order)
    if (flow.down[i] >= 0) net.upstream_cells[flow.down[i]] += net.upstream_cells[i];
  std::vector<char> stream(flow.down.size(), 0);
  for (int i : flow.cells) stream[i] = net.upstream_cells[i] >= options.threshold;
  if (!stream[flow.outlet]) {
    error = "no cell drains " + std::to_string(options.threshold) + " cells; the basin has " +
            std::to_string(flow.cells.size());
    return false;
  }
  std::vector<std::vector<int>> ups(flow.down.size());  // stream cells draining into each cell
  for (int i : flow.cells)
    if (stream[i]) {
      ++net.stream_cells;
      if (flow.down[i] >= 0) ups[flow.down[i]].push_back(i);
    }
  std::vector<int> link_of;
  form_links(flow, ups, stream, net, link_of);
  size_links(flow, net);
  lay_beds(ele, flow, ups, stream, link_of, net);
  return true;
}

std::string channel_file_text(const stream_network& net) {
  const int nlinks = static_cast<int>(net.links.size()) - 1;
  std::string s = "PLUVO_CHAN\n";
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "# make_stream_network: threshold %ld cells, minimum bed slope %g, Manning's n %g\n",
                net.threshold, net.min_slope, net.mannings_n);
  s += buf;
  s += "ALPHA 0.5\nBETA 0.9\nTHETA 1.0\n";
  s += "LINKS " + std::to_string(nlinks) + "\n";
  s += "MAXNODES " + std::to_string(net.max_nodes) + "\n\n";
  for (int l = 1; l <= nlinks; ++l) {
    const network_link& L = net.links[l];
    s += "CONNECT " + std::to_string(l) + " " + std::to_string(L.downstream) + " " +
         std::to_string(L.upstream.size());
    for (int u : L.upstream) s += " " + std::to_string(u);
    s += "\n";
  }
  const std::string n_text = fmt("%.6f", net.mannings_n);
  for (int l = 1; l <= nlinks; ++l) {
    const network_link& L = net.links[l];
    s += "\nLINK " + std::to_string(l) + "\nTRAPEZOID\n";
    s += "DX " + fmt("%.6f", L.dx) + "\n";
    s += "NODES " + std::to_string(L.nodes + 1) + "\n";
    s += "MANNINGS_N " + n_text + "\n";
    for (size_t k = 0; k < L.end_elev.size(); ++k) {
      s += "NODE " + std::to_string(k + 1) + "\n";
      std::snprintf(buf, sizeof buf, "X_Y %.2f %.2f\nELEV %.6f\n", L.end_x[k], L.end_y[k],
                    L.end_elev[k]);
      s += buf;
      if (k == 0) {
        std::snprintf(buf, sizeof buf,
                      "XSEC\nMANNINGS_N %s\nBOTTOM_WIDTH %.6f\nBANKFULL_DEPTH %.6f\nSIDE_SLOPE %.6f\n",
                      n_text.c_str(), L.bottom_width, L.bankfull_depth, L.side_slope);
        s += buf;
      }
    }
  }
  return s;
}

std::string grid_stream_file_text(const stream_network& net) {
  const int cols = net.mask.cols;
  std::string s = "GRIDSTREAMFILE\nSTREAMCELLS " + std::to_string(net.stream_cells) + "\n";
  for (size_t l = 1; l < net.links.size(); ++l) {
    const network_link& L = net.links[l];
    const bool split = L.cells.size() == 1;
    for (size_t k = 0; k < L.cells.size(); ++k) {
      const int i = L.cells[k];
      s += "CELLIJ " + std::to_string(i / cols + 1) + " " + std::to_string(i % cols + 1) + "\n";
      if (split) {
        s += "NUMNODES 2\nLINKNODE " + std::to_string(l) + " 1 0.5000\nLINKNODE " +
             std::to_string(l) + " 2 0.5000\n";
      } else {
        s += "NUMNODES 1\nLINKNODE " + std::to_string(l) + " " + std::to_string(k + 1) +
             " 1.0000\n";
      }
    }
  }
  return s;
}

namespace {
std::string map_text(const stream_network& net, bool links) {
  const int rows = net.mask.rows, cols = net.mask.cols;
  std::vector<int> value(static_cast<size_t>(rows) * cols, 0);
  for (size_t l = 1; l < net.links.size(); ++l)
    for (size_t k = 0; k < net.links[l].cells.size(); ++k)
      value[net.links[l].cells[k]] = links ? static_cast<int>(l) : static_cast<int>(k + 1);
  std::string s;
  for (const std::string& h : net.mask.header) s += h + "\n";
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      if (c) s += " ";
      s += std::to_string(value[static_cast<size_t>(r) * cols + c]);
    }
    s += "\n";
  }
  return s;
}
}  // namespace

std::string link_map_text(const stream_network& net) { return map_text(net, true); }
std::string node_map_text(const stream_network& net) { return map_text(net, false); }

}  // namespace pluvo::netgen
