// The per-cell arrays of the processes the options switch on, made once the cell count is known.
#include <cstdio>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/parallel_fill.hpp"
#include "input/grid_setup.hpp"
#include "input/location_lists.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// The per-cell arrays are noted here and made together (see fresh_arrays); with no cells an
// array is left empty.
struct cell_array_batch {
  int n;
  fresh_arrays arrays;

  template <typename T>
  void make(std::vector<T>& v, T fill = T()) {
    if (n <= 0) {
      v.clear();
      return;
    }
    arrays.add(v, size_t(n) + 1, fill);
  }
};

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

void allocate_soil_water_arrays(model_state& m, cell_array_batch& b) {
  const bool any_infiltration =
      m.green_ampt_on || m.inf_redist_on || m.inf_layered_soil_on || m.inf_richards_on;
  if (!any_infiltration) return;
  for (auto* v : {&m.initial_moisture_cell, &m.infil_rate, &m.surface_moisture,
                  &m.unsat_downward_flux, &m.cum_infil_depth})
    b.make(*v);
  if (m.inf_redist_on)
    for (auto* v : {&m.iter_pond_1, &m.iter_n, &m.no_wat_prof, &m.iter_i_less_k}) b.make(*v);
  if (m.soil_moisture_accounting_on) {
    for (auto* v : {&m.sm_depth_cell, &m.sm_water_cell, &m.sm_water_top, &m.sm_water_lower,
                    &m.unsat_recharge_depth, &m.sm_top_drainage, &m.sm_bottom_drainage})
      b.make(*v);
    if (m.gw_simulation_on) b.make(m.gw_inf_redist_theta);
  }
  if (m.inf_layered_soil_on || m.inf_richards_on) b.make(m.soiltype);
  if (m.inf_layered_soil_on) {
    b.make(m.wetdep);
    b.make(m.THETA_ML);
  }
}

// The snowpack of every cell in continuous runs.
void allocate_snow_arrays(model_state& m, cell_array_batch& b) {
  for (auto* v : {&m.snow_temperature, &m.snow_density, &m.snow_prev_air_temp, &m.ATI_2, &m.D_2,
                  &m.H_Val, &m.snow_melt_to_ov, &m.Wq, &m.Wi})
    b.make(*v);
  b.make(m.snow_scf_cell, 1.0);
  b.make(m.snow_no_infil_cell);
  b.make(m.melt_occurred);
  b.make(m.SNOW_PRECIP_6HR);
  b.make(m.Melt_Waves);
  b.make(m.sn_stat);
  b.make(m.snap_pluvo_params);
  // The fronts of the layered pack take 2.5 kB a cell: only where that pack runs.
  if (m.snap_snow_depth_on) b.make(m.wave);
  m.melt_wave_count = m.snap_retention_on ? 6 : 1;
  if (m.snow_canopy_intercept_on)
    for (auto* v : {&m.canopy_snow_load, &m.canopy_snow_sublimation, &m.canopy_snow_unload}) b.make(*v);
}

}  // namespace

void allocate_cell_arrays(model_state& m) {
  const int n = m.cell_count;
  cell_array_batch b{n, {}};
  for (auto* v : {&m.ov_depth, &m.ov_depth_2, &m.ov_depth_3, &m.ov_depth_change, &m.cell_rain_rate, &m.slope_x,
                  &m.slope_y, &m.slope_cx, &m.slope_cy})
    b.make(*v);
  if (m.flood_grid_on) b.make(m.max_flood_depth);
  for (auto* v : {&m.belowcon, &m.rightcon, &m.abovecon, &m.leftcon, &m.yes_exfil}) b.make(*v);
  if (m.area_reduction_on) b.make(m.area_reduction_factor);
  if (m.porosity_map_on) b.make(m.porosity_cell);
  if (m.residual_sat_map_on) b.make(m.residual_sat_cell);
  allocate_soil_water_arrays(m, b);
  if (m.gw_simulation_on == 1 && !m.inf_richards_on) b.make(m.bottom_elev);
  if ((m.water_table_on || m.stream_loss_on || m.chan_con_trans_on || m.chan_sed_transport_on) &&
      !m.inf_richards_on)
    b.make(m.elevgw);
  // The water each cell gives the streams, for the constituents it carries.
  if (m.global_transport_on) b.make(m.cell_to_channel_volume);
  if (m.long_term_on) {
    b.make(m.snow_swe);
    b.make(m.snow_depth);
    allocate_snow_arrays(m, b);
    for (auto* v : {&m.direct_evap_cell, &m.pot_et, &m.pot_aet, &m.ground_temp,
                    &m.ground_energy_residual, &m.cfgi_cell})
      b.make(*v);
    if (m.gtfsm_on) b.make(m.SE, 1.0);
    if (m.et_calc_penman_on)
      for (auto* v : {&m.veg, &m.Kt, &m.Rs}) b.make(*v);
  }
  if (m.interception_on) {
    b.make(m.icep_stor);
    b.make(m.icep_coef);
  }
  for (auto* v : {&m.retent_dep, &m.dist_rough, &m.roughness_exp, &m.ov_mann_exp}) b.make(*v);
  if (m.ovr_flow_block_on) {
    // Zero blockage until the table says otherwise: every rain and infiltration step reads them.
    b.make(m.ovr_flow_block_value1);
    m.ovr_flow_block_frac.assign(n, 5, 0.0);
  }
  if (m.overland_lakes_on) {
    b.make(m.oland_lake_mask);
    b.make(m.oland_lake_new);
  }
  b.arrays.make_all();
  read_output_locations(m);
}

}  // namespace pluvo
