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

namespace {

// The Richards form of the soil-moisture list: the count and the largest number of soil nodes,
// then per location its row, column and number of soil nodes k, followed by those k nodes.
void read_richards_locations(model_state& m, checked_file& f) {
  int count = 0, most_nodes = 0;
  if (!f.is_open() || std::fscanf(f.stream, "%d %d", &count, &most_nodes) != 2 || count < 0 || most_nodes < 0)
    count = most_nodes = 0;
  m.theta_cells.assign(size_t(count), 0);
  m.cell_num.assign(size_t(count), 0);
  m.theta_soil_nodes.assign(size_t(count), {});
  for (int i = 1; i <= count; ++i) {
    int row = 0, col = 0, k = 0;
    if (std::fscanf(f.stream, "%d %d %d \n", &row, &col, &k) != 3) {
      stop_run("End of file reached in file %s, exiting\n", f.path.c_str());
      return;
    }
    if (row < 1 || row > m.grid_rows || col < 1 || col > m.grid_cols || k < 0 || k > most_nodes) {
      stop_run("Error: location %d (row %d col %d, %d soil nodes) in file %s lies outside the grid of %d rows and "
               "%d columns or names more than the %d soil nodes given.\n",
               i, row, col, k, f.path.c_str(), m.grid_rows, m.grid_cols, most_nodes);
      return;
    }
    const grid<int32_t>& numbers = m.cell_number_grid;
    if (row <= numbers.rows() && col <= numbers.cols()) m.theta_cells[size_t(i) - 1] = numbers(row, col);
    m.cell_num[size_t(i) - 1] = k;
    std::vector<int>& nodes = m.theta_soil_nodes[size_t(i) - 1];
    nodes.assign(size_t(k), 0);
    for (int& node : nodes)
      if (std::fscanf(f.stream, "%d \n", &node) != 1) {
        stop_run("End of file reached in file %s, exiting\n", f.path.c_str());
        return;
      }
  }
}

}  // namespace

void read_cell_locations(model_state& m) {
  if (m.theta_out_on != 1) return;
  if (m.inf_richards_on) {
    read_richards_locations(m, m.in_theta_location_fp);
    return;
  }
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
    for (auto* v : {&m.sm_depth_cell, &m.sm_water_cell, &m.sm_water_top, &m.sm_water_lower,
                    &m.unsat_recharge_depth, &m.sm_top_drainage, &m.sm_bottom_drainage})
      make(*v, n);
    if (m.gw_simulation_on) make(m.gw_inf_redist_theta, n);
  }
  if (m.inf_layered_soil_on || m.inf_richards_on) make(m.soiltype, n);
  if (m.inf_layered_soil_on) {
    make(m.wetdep, n);
    make(m.THETA_ML, n);
  }
}

// The snowpack of every cell in continuous runs.
void allocate_snow_arrays(model_state& m, int n) {
  for (auto* v : {&m.snow_temperature, &m.snow_density, &m.snow_prev_air_temp, &m.ATI_2, &m.D_2,
                  &m.H_Val, &m.snow_melt_to_ov, &m.Wq, &m.Wi})
    make(*v, n);
  make(m.snow_scf_cell, n, 1.0);
  make(m.snow_no_infil_cell, n);
  make(m.melt_occurred, n);
  make(m.SNOW_PRECIP_6HR, n);
  make(m.Melt_Waves, n);
  make(m.sn_stat, n);
  make(m.snap_pluvo_params, n);
  // The fronts of the layered pack take 2.5 kB a cell: only where that pack runs.
  if (m.snap_snow_depth_on) make(m.wave, n);
  m.melt_wave_count = m.snap_retention_on ? 6 : 1;
  if (m.snow_canopy_intercept_on)
    for (auto* v : {&m.canopy_snow_load, &m.canopy_snow_sublimation, &m.canopy_snow_unload}) make(*v, n);
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
  // The water each cell gives the streams, for the constituents it carries.
  if (m.global_transport_on) make(m.cell_to_channel_volume, n);
  if (m.long_term_on) {
    make(m.snow_swe, n);
    make(m.snow_depth, n);
    allocate_snow_arrays(m, n);
    for (auto* v : {&m.direct_evap_cell, &m.pot_et, &m.pot_aet, &m.ground_temp,
                    &m.ground_energy_residual, &m.cfgi_cell})
      make(*v, n);
    if (m.gtfsm_on) make(m.SE, n, 1.0);
    if (m.et_calc_penman_on)
      for (auto* v : {&m.veg, &m.Kt, &m.Rs}) make(*v, n);
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
