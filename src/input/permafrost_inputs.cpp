// Permafrost mask, permafrost soil types and the initial temperature of every column node.
#include <cstdio>
#include <utility>
#include <vector>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/process.hpp"
#include "input/grid_setup.hpp"
#include "input/input_phases.hpp"
#include "input/neighbour_services.hpp"
#include "input/property_readers.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

bool permafrost_on(const model_state& m) {
  return m.permafrost_gipl_flag == 1 || m.multi_layer_infil_gipl_flag == 1;
}

// A table of a soil type must hold the nodes and profile points it counts, and the profile
// must not rise again; anything else would be read past its end or interpolated backwards.
bool profile_usable(const gipl_soil_table& g, int s) {
  const size_t nodes = size_t(g.Dn_nums[s]);
  const size_t points = s < int(g.Dn_init_nums.size()) ? size_t(g.Dn_init_nums[s]) : 0;
  if (nodes + 1 > g.Depth[s].size() || points < 1) return false;
  if (s >= int(g.Dn_init.size()) || s >= int(g.T_init.size())) return false;
  if (points + 1 > g.Dn_init[s].size() || points + 1 > g.T_init[s].size()) return false;
  for (size_t k = 2; k <= points; ++k)
    if (g.Dn_init[s][k] < g.Dn_init[s][k - 1]) return false;
  return true;
}

void set_initial_temperatures(model_state& m) {
  const gipl_soil_table& g = m.gipl_state;
  for (int i = 1; i <= m.cell_count; ++i) {
    if (m.permaf_mask[i] <= 0) continue;
    const int s = m.GIPL_soiltype[i];
    if (s < 1 || s > g.type_count || s >= int(g.Dn_nums.size()) || s >= int(g.Depth.size())) {
      stop_run("Error: permafrost soil type %d of cell %d is not in the permafrost soil table (1 to %d)\n", s, i,
               g.type_count);
      return;
    }
    if (g.Dn_nums[s] < 1) continue;
    if (g.Dn_nums[s] > m.perma_tem.cols() || !profile_usable(g, s)) {
      stop_run(
          "Error: the node depths or the initial temperature profile of permafrost soil type %d "
          "are incomplete or not in order of depth\n",
          s);
      return;
    }
    interpolate_temperature_profile(g.Dn_nums[s], g.Depth[s].data(), g.Dn_init_nums[s], g.Dn_init[s].data(),
                                    g.T_init[s].data(), m.perma_tem[i]);
    for (int j = 1; j <= g.Dn_nums[s]; ++j) m.gipl_node_temp_scratch[j] = m.perma_tem[i][j];
  }
}

// The soil-temperature file shows the output nodes of the column of cell 45.
void show_output_nodes(model_state& m) {
  constexpr int shown_cell = 45;
  m.gipl_output_depths.clear();
  if (error_state.error_terminate || m.cell_count < shown_cell || m.permaf_mask[shown_cell] <= 0) return;
  const gipl_soil_table& g = m.gipl_state;
  const size_t s = size_t(m.GIPL_soiltype[shown_cell]);
  if (s >= g.Dn_out.size() || s >= g.Depth.size()) return;
  for (size_t k = 1; k < g.Dn_out[s].size(); ++k) m.gipl_output_depths.push_back(g.Depth[s][size_t(g.Dn_out[s][k])]);
}

}  // namespace

void interpolate_temperature_profile(int node_count, const double* node_depth, int point_count,
                                     const double* depth, const double* temp, double* temperature) {
  if (point_count < 1) return;
  for (int j = 1; j <= node_count; ++j) {
    if (point_count == 1) {
      temperature[j] = temp[1];
      continue;
    }
    const double z = node_depth[j];
    int k = 1;
    while (k + 1 < point_count && depth[k + 1] <= z) ++k;
    const double d0 = depth[k], d1 = depth[k + 1];
    temperature[j] = d1 > d0 ? temp[k] + (temp[k + 1] - temp[k]) / (d1 - d0) * (z - d0) : temp[k + 1];
  }
}

void read_permafrost_mask(model_state& m) {
  if (!open_or_stop(m.permafrost_mask_fp, m.permafrost_gipl_path,
                    "Can't open input permafrost mask file named: %s\n"))
    return;
  echo(m, true, "reading permafrost mask from file: %s\n", m.permafrost_gipl_path.c_str());
  read_cell_index_map(m, m.permafrost_mask_fp, m.permafrost_gipl_path, m.permaf_mask);
}

void setup_permafrost_soil(model_state& m) {
  if (!permafrost_on(m)) return;
  const int n = m.cell_count;
  ensure_cells(m.GIPL_soiltype, n);
  ensure_cells(m.permaf_mask, n);
  if (m.super_quiet_on == 0 && process_index == 0) message_out("Reading permafrost Soil Table");
  // The table reader puts the index map into the soil classes; those of the layered soil stay.
  std::vector<int32_t> soil_classes(size_t(n) + 1, 0);
  std::swap(soil_classes, m.soiltype);
  read_permafrost_soil_table(
      m, [&m](checked_file& f) { return neighbour_services.read_soil_temperature_input(f, m); });
  std::swap(soil_classes, m.soiltype);
  m.GIPL_soiltype = std::move(soil_classes);
  if (error_state.error_terminate) return;

  const int nodes = m.gipl_state.max_column_nodes;
  m.gipl_node_temp_scratch.assign(size_t(nodes) + 1, 0.0);
  m.gipl_cell_work_1.assign(size_t(n) + 1, 0.0);
  m.gipl_cell_work_2.assign(size_t(n) + 1, 0.0);
  if (m.water_table_on && m.gw_simulation_on) m.extent_GIPLgw.assign(size_t(n) + 1, 0.0);
  for (node_matrix<double>* a : {&m.perma_tem, &m.fr_lq_wat, &m.hydro_conduc, &m.THETA_GIPL, &m.K_init})
    a->assign(n, nodes, 0.0);
  m.node_toGIPL.assign(n, nodes, 0);
  m.node_fromGIPL.assign(n, nodes, 0);
  set_initial_temperatures(m);
  show_output_nodes(m);
}

}  // namespace pluvo
