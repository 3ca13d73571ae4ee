// The three linkage routines between the frozen-ground soil columns and the aquifer.
#include "groundwater/korp_linkage.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/checked_file.hpp"
#include "common/console.hpp"
#include "record/model_state.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

constexpr int diagnostic_cell = 45;

// The file is opened once per run and emptied at every call, so it holds the last call's lines.
std::FILE* fresh_diagnostic(checked_file& f, const char* name, const char* failure) {
  if (!f.is_open() && !checked_file_open(f, name, "w")) {
    message_out("%s", failure);
    return nullptr;
  }
  std::fflush(f.stream);
  std::rewind(f.stream);
  if (ftruncate(fileno(f.stream), 0) != 0) return f.stream;
  return f.stream;
}

double node_depth(const model_state& m, int type, int k) {
  const auto& depth = m.gipl_state.Depth;
  return size_t(type) < depth.size() && size_t(k) < depth[size_t(type)].size() ? depth[size_t(type)][size_t(k)] : 0.0;
}

int node_count(const model_state& m, int type) {
  const auto& n = m.gipl_state.Dn_nums;
  return size_t(type) < n.size() ? n[size_t(type)] : 0;
}

bool has_column(const model_state& m, int c) {
  return size_t(c) < m.permaf_mask.size() && m.permaf_mask[size_t(c)] > 0 && size_t(c) < m.GIPL_soiltype.size();
}

}  // namespace

double hydrocon_weight(double h) { return frozen_liquid_fraction(h); }

int hydrocon_linkage(model_state& m, int cell, const double* head, double* conductivity, double* saved,
                     double* weight, int nodes) {
  std::FILE* f = fresh_diagnostic(m.korp_hydrocon_fp, "KORPhydroCon_linkage.txt", "Can't open KORPhydroCon_linkage.txt");
  if (!f) return -9;
  if (!has_column(m, cell) || nodes <= 0) return 0;
  for (int k = 1; k <= nodes; k++) {
    saved[k] = conductivity[k];
    weight[k] = hydrocon_weight(head[k]);
    if (head[k] < 0.0)
      conductivity[k] = frozen_conductivity(saved[k], weight[k]);
    if (cell == diagnostic_cell)
      std::fprintf(f, " %d   %d   %lf   %lf   %lf   %lf \n", k, k, saved[k], conductivity[k], weight[k], head[k]);
  }
  return 0;
}

int gw_transmissivity_linkage(model_state& m) {
  std::FILE* f = fresh_diagnostic(m.korp_transmissivity_fp, "KORP_GW_Transmissivity.txt",
                                  "Can't open KORP_GW_Transmissivity.txt'");
  if (!f) return -9;
  if (m.extent_GIPLgw.size() <= size_t(m.cell_count)) m.extent_GIPLgw.assign(size_t(m.cell_count) + 1, 0.0);
  for (int c = 1; c <= m.cell_count; c++) {
    if (!has_column(m, c)) continue;
    const size_t i = size_t(c);
    const int type = m.GIPL_soiltype[i];
    const int nodes = std::min(node_count(m, type), m.PHEAD.empty() ? 0 : m.PHEAD.cols());
    const double surface = m.elevation[i];
    const double table = m.elevgw[i];
    const double bottom = m.bottom_elev[i];
    double thickness = 0.0;
    // Each column is walked from its own surface.
    double z_prev = 0.0, h_prev = 0.0, e_prev = 0.0;
    bool follows_unsaturated = false;
    for (int k = 1; k <= nodes; k++) {
      const double z = node_depth(m, type, k);
      const double e = surface - z;
      const double h = m.PHEAD[i][k];
      if (h > -0.06) {
        double piece;
        if (!follows_unsaturated) {
          piece = z - z_prev;
          if (piece < 0.0) message_out("something wrong\n");
        } else {
          piece = std::max((h - h_prev) * (z - z_prev) / (h + 0.059), 0.0);
        }
        if (table >= e_prev) {
          if (e >= bottom) {
            if (piece < 0.0) message_out("something wrong\n");
            thickness += piece;
          } else if (e_prev > bottom) {
            thickness += std::max(piece - (bottom - e), 0.0);
          }
        }
        follows_unsaturated = false;
      } else {
        follows_unsaturated = true;
      }
      z_prev = z;
      h_prev = h;
      e_prev = e;
      if (e < bottom) break;
    }
    m.extent_GIPLgw[i] = thickness;
    if (c == diagnostic_cell) std::fprintf(f, " %lf  %lf \n", thickness, table - bottom);
  }
  return 0;
}

int node_linkage_ga(int cell, model_state& m) {
  std::FILE* f = fresh_diagnostic(m.korp_node_linkage_fp, "KORPnode_linkage_GA.txt",
                                  "Can't open matrix file 'KORPnode_linkage_GA.txt'");
  if (!f) return -9;
  const int nodes = build_gipl_node_maps(m, cell);
  if (nodes == 0) return 0;
  const size_t i = size_t(cell);
  if (cell == diagnostic_cell)
    for (int k = 1; k <= nodes; k++) std::fprintf(f, "%d   %d \n", k, m.node_toGIPL[i][k]);
  std::fputs("-------------------\n", f);
  if (cell == diagnostic_cell)
    std::fprintf(f, "%d   %d  %d\n", m.node_fromGIPL[i][1], m.node_fromGIPL[i][2], m.node_fromGIPL[i][3]);
  return 0;
}

}  // namespace pluvo
