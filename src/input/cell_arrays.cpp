// The per-cell arrays of the processes the options switch on, made once the cell count is known.
#include <cstdio>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "input/grid_setup.hpp"
#include "input/location_lists.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

template <typename T>
void make(std::vector<T>& v, int n, T fill = T()) {
  if (n <= 0) {
    v.clear();
    return;
  }
  v.assign(size_t(n) + 1, fill);
}

// A location list of rows and columns. A location off the grid is refused before any output
// indexes the grid with it; a list that ends early stops the run rather than write a column for
// a place nobody named. cells gets each location's cell number (0 for a place outside the
// watershed), in the order of the list.
void read_locations(const model_state& m, checked_file& f, int& count, std::vector<int>& rows,
                    std::vector<int>& cols, std::vector<int>& cells) {
  cells.clear();
  const bool read = read_location_list(f, 2, count, rows, cols,
                                       [&](int i) { return grid_place_fits(m, f, i, rows[size_t(i)], cols[size_t(i)]); });
  if (!read) return;
  cells.assign(size_t(count), 0);
  for (int i = 1; i <= count; ++i) cells[size_t(i) - 1] = cell_at(m, rows[size_t(i)], cols[size_t(i)]);
}

// The cell lists of the point files that write overland values; each opened with its output.
void read_output_locations(model_state& m) {
  if (m.overland_depths_on)
    read_locations(m, m.overland_depth_loc_fp, m.overland_depth_count, m.overland_depth_row,
                   m.overland_depth_col, m.overland_depth_cells);
  if (m.overland_wse_on && !error_state.error_terminate)
    read_locations(m, m.overland_wse_loc_fp, m.overland_wse_count, m.overland_wse_row,
                   m.overland_wse_col, m.overland_wse_cells);
}

}  // namespace

// The soil-moisture locations; the Richards form, with its node lists, comes with that scheme.
void read_cell_locations(model_state& m) {
  if (m.theta_out_on != 1) return;
  std::vector<int> rows, cols;
  int count = 0;
  read_locations(m, m.in_theta_location_fp, count, rows, cols, m.theta_cells);
}

namespace {

void allocate_soil_water_arrays(model_state& m, int n) {
  const bool any_infiltration =
      m.green_ampt_on || m.inf_redist_on || m.inf_layered_soil_on || m.inf_richards_on;
  if (!any_infiltration) return;
  for (auto* v : {&m.initial_moisture_cell, &m.infil_rate, &m.surface_moisture,
                  &m.unsat_downward_flux, &m.cum_infil_depth})
    make(*v, n);
  if (m.inf_redist_on)
    for (auto* v : {&m.iter_pond_1, &m.iter_n, &m.no_wat_prof, &m.iter_i_less_k}) make(*v, n);
  if (m.soil_moisture_accounting_on) {
    for (auto* v : {&m.sm_depth_cell, &m.sm_water_cell, &m.sm_water_top, &m.sm_water_lower})
      make(*v, n);
    if (m.gw_simulation_on) make(m.gw_inf_redist_theta, n);
  }
  if (m.inf_layered_soil_on || m.inf_richards_on) make(m.soiltype, n);
  if (m.inf_layered_soil_on) {
    make(m.wetdep, n);
    make(m.THETA_ML, n);
  }
}

}  // namespace

void allocate_cell_arrays(model_state& m) {
  const int n = m.cell_count;
  for (auto* v : {&m.ov_depth, &m.ov_depth_2, &m.ov_depth_3, &m.ov_depth_change, &m.cell_rain_rate, &m.slope_x,
                  &m.slope_y, &m.slope_cx, &m.slope_cy})
    make(*v, n);
  if (m.flood_grid_on) make(m.max_flood_depth, n);
  for (auto* v : {&m.belowcon, &m.rightcon, &m.abovecon, &m.leftcon, &m.yes_exfil}) make(*v, n);
  if (m.area_reduction_on) make(m.area_reduction_factor, n);
  if (m.porosity_map_on) make(m.porosity_cell, n);
  if (m.residual_sat_map_on) make(m.residual_sat_cell, n);
  allocate_soil_water_arrays(m, n);
  if (m.gw_simulation_on == 1 && !m.inf_richards_on) make(m.bottom_elev, n);
  if ((m.water_table_on || m.stream_loss_on || m.chan_con_trans_on || m.chan_sed_transport_on) &&
      !m.inf_richards_on)
    make(m.elevgw, n);
  if (m.long_term_on) {
    make(m.snow_swe, n);
    make(m.snow_depth, n);
  }
  if (m.interception_on) {
    make(m.icep_stor, n);
    make(m.icep_coef, n);
  }
  for (auto* v : {&m.retent_dep, &m.dist_rough, &m.roughness_exp, &m.ov_mann_exp}) make(*v, n);
  if (m.ovr_flow_block_on) {
    // Zero blockage until the table says otherwise: every rain and infiltration step reads them.
    make(m.ovr_flow_block_value1, n);
    m.ovr_flow_block_frac.assign(n, 5, 0.0);
  }
  if (m.overland_lakes_on) {
    make(m.oland_lake_mask, n);
    make(m.oland_lake_new, n);
  }
  read_output_locations(m);
}

}  // namespace pluvo
