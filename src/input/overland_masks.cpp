// Overland dike map with its low spots, wetland mask, overland boundary types and point sources.
#include <cmath>
#include <string>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "input/grid_setup.hpp"
#include "input/input_phases.hpp"
#include "input/neighbour_services.hpp"
#include "input/property_readers.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int xy_boundary_type = 9;

bool rating_curve_type(int type) {
  return type == 6 || type == 7;
}

}  // namespace

void read_dike_map(model_state& m) {
  if (!m.dike_map_on) return;
  if (!open_or_stop(m.dike_map_fp, m.dike_map_path, "Can't open input dike mask file named: %s\n")) return;
  echo(m, true, "reading overland flow dike map from file: %s\n", m.dike_map_path.c_str());
  read_cell_index_map(m, m.dike_map_fp, m.dike_map_path, m.dike_mask);
  if (error_state.error_terminate || !m.lowspot_on) return;
  if (!open_or_stop(m.lowspot_fp, m.lowspot_path, "Can't open input low spot file named: %s\n")) return;
  neighbour_services.read_lowspot_file(m.lowspot_fp, m.lowspot_path, m.lowspot_count, m.lowspot_records);
  checked_file_close(m.lowspot_fp);
}

void read_wetland_mask(model_state& m) {
  if (!m.wetland_on) return;
  ensure_cells(m.wetland_mask, m.cell_count);
  read_wetland_table(map_table_target_of(m), m.mapping_table_path, m.wetland_count, m.wetland_properties,
                     m.wetland_mask);
  echo(m, true, "Simulating wetlands\n");
}

void setup_overland_boundary_types(model_state& m) {
  if (!m.ov_boundary_on) return;
  const int n = m.cell_count;
  ensure_cells(m.ov_bound_value, n);
  ensure_cells(m.ov_bound_input, n);
  ensure_cells(m.boundary_type, n);
  const bool table = table_present(m, map_table::overland_boundary);
  if (!table && !m.ov_xy_boundary_on) {
    set_error(84);
    return;
  }
  if (table) {
    table_outputs out{};
    out[0] = &m.ov_bound_value;
    out[1] = &m.ov_bound_input;
    if (!read_table_columns(m, map_table::overland_boundary, out)) return;
    int rating_cells = 0;
    for (int i = 1; i <= n; ++i) {
      m.boundary_type[i] = static_cast<int32_t>(std::trunc(m.ov_bound_value[i]));
      if (rating_curve_type(m.boundary_type[i])) ++rating_cells;
    }
    if (rating_cells > 0) {
      m.face_dir.assign(5, 0);
      m.face_head.assign(5, 0.0);
      std::vector<rating_curve_record> curves;
      read_rating_curves(m.mapping_table_path, n, m.boundary_type, m.ov_bound_input,
                         neighbour_services.find_elevation_series, curves);
      m.ov_rating_curves.assign(size_t(n) + 1, -1);
      for (size_t i = 0; i < curves.size() && i < m.ov_rating_curves.size(); ++i)
        m.ov_rating_curves[i] = curves[i].elevation_series;
      if (error_state.error_terminate) return;
    }
  }
  if (m.ov_xy_boundary_on) {
    // A cell number off the grid is reported by the weights that follow.
    for (const xy_point& p : m.xybdy_inputs.ovpts)
      if (p.cell >= 1 && p.cell <= n) m.boundary_type[p.cell] = xy_boundary_type;
    neighbour_services.build_xy_weights(m);
  }
}

// The OV_POINT_SOURCE file is a map of the discharge put onto each cell, m3/s.
void read_overland_point_sources(model_state& m) {
  m.ov_point_source_flow.clear();
  if (!m.ov_point_source_on) return;
  checked_file file;
  if (!open_or_stop(file, m.ov_point_source_path, "Can't open overland point source map named: %s\n")) return;
  echo(m, true, "reading overland point source discharges from file: %s\n", m.ov_point_source_path.c_str());
  read_cell_map(m, file, m.ov_point_source_path, 1, m.ov_point_source_flow);
  if (error_state.error_terminate) return;
  // A point source puts water in; water taken out is the work of pumps and boundaries.
  cells_in_range(m, m.ov_point_source_flow, "overland point source discharge",
                 property_source(true, m.ov_point_source_path, m), {0.0, 1e6, false, " m3/s"});
}

}  // namespace pluvo
