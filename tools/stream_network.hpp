#pragma once
// Derives a basin's stream network from its mask and elevation grids and writes it as the
// channel input file, the grid-stream file and the link and node maps the model reads.
#include <string>
#include <vector>

namespace pluvo::netgen {

// An ASCII grid as the model reads it: six header lines, then rows x cols values, row 1 north.
struct ascii_grid {
  std::vector<std::string> header;  // the six header lines as read, written back unchanged
  double north = 0, south = 0, east = 0, west = 0;
  int rows = 0, cols = 0;
  std::vector<double> values;  // row-major, 0-based
  double at(int r, int c) const { return values[static_cast<size_t>(r) * cols + c]; }
};

// False with a message in error when the file cannot be read as a grid.
bool read_ascii_grid(const std::string& path, ascii_grid& grid, std::string& error);

struct network_options {
  long threshold = 0;         // a stream cell drains at least this many cells (itself included)
  double min_slope = 0.0005;  // least bed fall per metre of flow path between stream cells
  double mannings_n = 0.035;
};

struct network_link {
  std::vector<int> cells;          // grid cells (row * cols + col), upstream first
  int nodes = 0;                   // computational nodes (one per cell, two for a one-cell link)
  int downstream = 0;              // 0 at the outlet
  std::vector<int> upstream;       // ascending
  double dx = 0;                   // flow-path length per computational node (m)
  double bottom_width = 0, bankfull_depth = 0, side_slope = 0;
  std::vector<double> end_elev;    // bed at the nodes+1 segment ends, upstream first
  std::vector<double> end_x, end_y;
};

struct stream_network {
  ascii_grid mask;                 // the basin's header and size
  double cell_size = 0;
  std::vector<long> upstream_cells;  // per grid cell, 0 outside the mask
  std::vector<network_link> links;   // index 0 unused; links[LINKS] is the outlet link
  int stream_cells = 0;
  int max_nodes = 0;               // largest NODES (segment ends) of any link
  long threshold = 0;
  double min_slope = 0, mannings_n = 0;
};

// False with a message when the grids disagree, the basin has no single outlet, or no cell
// reaches the threshold.
bool build_stream_network(const ascii_grid& mask, const ascii_grid& elevation,
                          const network_options& options, stream_network& net,
                          std::string& error);

std::string channel_file_text(const stream_network& net);
std::string grid_stream_file_text(const stream_network& net);
// Link number / computational node number (first one of a two-node cell) of each stream cell, 0 elsewhere.
std::string link_map_text(const stream_network& net);
std::string node_map_text(const stream_network& net);

}  // namespace pluvo::netgen
