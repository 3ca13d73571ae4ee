#pragma once
// The implicit superlink solve of the storm-sewer network and the tile exchange shared by the
// superlink and drain networks.
#include <cstdint>
#include <vector>

#include "common/node_matrix.hpp"

namespace pluvo {

struct model_state;

// Volumes of one superlink solve, m3.
struct superlink_volumes {
  double into_network = 0.0;  // surface water, drains and tiles that entered
  double to_surface = 0.0;    // put into channels and onto cells
  double to_channels = 0.0;   // the share put into channel nodes
  double ov_taken = 0.0;      // overland water the inlets took
  double stored = 0.0;        // water held by the network after the solve
};

// Advances the network over dt seconds in internal Courant steps. 0, -1 after a fatal error
// (code set), -9 when the log file cannot be created.
int solve_superlink_network(model_state& m, double dt, superlink_volumes& out);

// Internal step lengths that use up dt when the Courant step is dtc.
std::vector<double> superlink_internal_steps(double dt, double dtc);

// LU decomposition in place of the 1-based n x n matrix a (Crout, implicit partial pivoting);
// 0, or -1 for a singular matrix.
int ludcmp_oxa(node_matrix<double>& a, int n, std::vector<int32_t>& permutation, double& sign,
               std::vector<double>& scale);
// Solves with the decomposition; b holds the right-hand side and gets the solution.
void superlink_lubksb(const node_matrix<double>& a, int n, const std::vector<int32_t>& permutation,
                      std::vector<double>& b);

// One network's leaky pipes as the tile exchange sees them.
struct tile_network {
  int gpi_num_cells = 0;
  const std::vector<int32_t>* gpi_ncellsingrid = nullptr;
  const node_matrix<int32_t>* gpi_link = nullptr;
  const node_matrix<int32_t>* gpi_node = nullptr;
  const node_matrix<int32_t>* gpi_gnum = nullptr;
  const node_matrix<double>* gpi_pct = nullptr;
  const node_matrix<int32_t>* otc_node = nullptr;  // null without refinement
  const node_matrix<int32_t>* otc_pipe = nullptr;
  const node_matrix<int32_t>* node_gnum = nullptr;
  const node_matrix<double>* conductivity = nullptr;  // cm/h
  const node_matrix<double>* diameter = nullptr;
  const node_matrix<double>* dx = nullptr;
  const node_matrix<double>* depth = nullptr;
  const node_matrix<double>* invert = nullptr;
  const node_matrix<double>* spacing = nullptr;
  const node_matrix<double>* multiplier = nullptr;
  node_matrix<double>* tile_flow = nullptr;  // m3/s per file node and link, in-out
  std::vector<double>* Q_tile_grid = nullptr;  // m3/s per cell, in-out
};

// Groundwater into the leaky pipes of one network: 1 when water moved (or on an error, code
// 131 or 133 set), 0 when no grid-pipe entry exchanges water.
int gw_tile_drain_flux(const model_state& m, tile_network& t);

}  // namespace pluvo
