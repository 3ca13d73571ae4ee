// Parameter files of the lumped Sacramento and conceptual groundwater models, and the map
// that ties cells to channel links for the conceptual groundwater outflow.
#include <cstdio>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "input/ascii_map.hpp"
#include "input/grid_setup.hpp"
#include "input/input_phases.hpp"
#include "input/neighbour_services.hpp"
#include "input/property_readers.hpp"
#include "record/model_state.hpp"

namespace pluvo {

void open_sacramento_input(model_state& m) {
  if (m.sacramento_on != 1) return;
  if (!open_or_stop(m.sacramento_fp, m.sacramento_path, "Cannot open Sacramento input parameter file: %s\n"))
    return;
  neighbour_services.read_sacramento_input(m.sacramento_fp, m);
  checked_file_close(m.sacramento_fp);
  const auto& p = m.sac_params;
  m.sac_saved_contents = {p[sac_uztwc], p[sac_uzfwc], p[sac_lztwc], p[sac_lzfpc], p[sac_lzfsc]};
  m.sac_param_17 = 0.0;
}

void open_conceptual_gw_input(model_state& m) {
  if (m.conceptual_gw_on != 1) return;
  if (!open_or_stop(m.conceptual_gw_fp, m.conceptual_gw_path,
                    "Cannot open Conceptual GW input parameter file: %s\n"))
    return;
  m.upslope_area.assign(size_t(m.cell_count) + 1, 0.0);
  neighbour_services.read_conceptual_gw(m.conceptual_gw_fp, m);
  checked_file_close(m.conceptual_gw_fp);
}

void read_link_map(model_state& m) {
  if (m.chan_explic_on != 1 || m.conceptual_gw_on != 1) return;
  m.con_node.assign(size_t(m.cell_count) + 1, 0);
  m.con_link.assign(size_t(m.cell_count) + 1, 0);
  if (!open_or_stop(m.link_map_fp, m.links_path, "Cannot open link file: %s\n")) return;
  std::printf("reading link map from file: %s\n", m.links_path.c_str());
  read_ascii_map(m.link_map_fp, m.links_path.c_str(), 2, m.grid_north, m.grid_south, m.grid_east, m.grid_west,
                 m.grid_rows, m.grid_cols, m.data_grid, nullptr, nullptr, nullptr, m.project_rows,
                 m.project_cols, m.silent_mode);
  checked_file_close(m.link_map_fp);
  if (error_state.error_terminate) return;
  int k = 0;
  for (int r = 1; r <= m.cell_number_grid.rows(); ++r)
    for (int c = 1; c <= m.cell_number_grid.cols(); ++c) {
      if (m.cell_number_grid(r, c) == 0) continue;
      ++k;
      m.con_link[k] = m.data_grid(r, c);
      if (m.con_link[k] > 0) std::printf("%d  conlink  %d \n", k, m.con_link[k]);
    }
}

}  // namespace pluvo
