// Checks that the project's options fit together, and fixes the time step and write intervals.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>
#include <string>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/process.hpp"
#include "input/project_cards.hpp"
#include "input/run_parameters.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"

namespace pluvo {

namespace {

// Mapping-table ids of the tables that can stand in for cards.
const int evapotranspiration_table = 8;
const int groundwater_table = 17;

// Prints a warning now and lets the checks go on.
void warn_now(int32_t code) {
  error_state.error_code = code;
  report_error(error_state);
}

void clear_soil_map_flags(model_state& m) {
  m.moisture_map_on = 0;
  m.conductivity_map_on = 0;
  m.capillary_map_on = 0;
  m.porosity_map_on = 0;
  m.pore_index_map_on = 0;
  m.residual_sat_map_on = 0;
}

// The checks up to the infiltration schemes; 0 when all pass.
int32_t check_methods(model_state& m) {
  const bool long_term = m.long_term_on != 0;
  const bool richards = m.inf_richards_on == 1;
  const bool et_table = m.grid_table_presence[evapotranspiration_table] != 0;
  if (m.manning_n_on && m.roughness_map_on) return 6;
  if (long_term && m.et_calc_penman_on && m.et_calc_deardorff_on) return 7;
  if ((m.hmet_surfaways_on && (m.hmet_samson_on || m.hmet_kal_on)) || (m.hmet_kal_on && m.hmet_samson_on)) return 8;
  if (long_term && !m.et_calc_penman_on && !m.et_calc_deardorff_on) return 9;
  if (m.precip_on && m.uniform_rain_on) return 10;
  if (m.uniform_rain_on && (m.uniform_rain_intensity == 0.0 || m.uniform_rain_duration == 0.0)) return 11;
  if (long_term && !m.inf_redist_on && !richards && !m.inf_layered_soil_on) return 20;
  if (long_term && !m.albedo_map_on && !richards && !et_table) return 21;
  if (long_term && m.et_calc_penman_on && !richards && !et_table) {
    if (!m.vheight_map_on) return 22;
    if (!m.tcoeff_map_on) return 23;
    if (!m.canopy_map_on) return 24;
    if (!m.wilting_point_map_on) return 25;
  }
  if (m.inf_layered_soil_on == 1) {
    if (m.green_ampt_on == 1) return 26;
    if (m.inf_redist_on == 1) return 27;
    if (richards) return 28;
    clear_soil_map_flags(m);  // the layered scheme takes its soil properties from its own table
  }
  if (richards) {
    if (m.green_ampt_on == 1) return 29;
    if (m.inf_redist_on == 1) return 30;
    if (m.inf_layered_soil_on == 1) return 31;
    if (m.gw_simulation_on && m.aquifer_delta_z_value < 0.0) return 32;
    clear_soil_map_flags(m);
  }
  if (m.green_ampt_on == 1 && m.inf_redist_on == 1) return 33;
  // The soil's constituents are set up and fed by the overland transport.
  if (m.soil_con_trans_on && !m.ov_con_trans_on) return 139;
  return 0;
}

int32_t check_channels(model_state& m) {
  if (m.chan_drain_on == 1 && m.chan_backwater_on == 1) return 34;
  if (m.chan_preiss_on == 1) return 35;
  if (m.chan_explic_on == 1 && m.chan_mesh_on == 1) return 37;
  if (m.chan_explic_on == 1) {
    if (m.soil_erosion_on == 1) m.chan_sed_transport_on = 1;
  } else {
    m.map_out_chan_discharge = 0;
  }
  return 0;
}

int32_t check_groundwater(model_state& m) {
  if (!m.gw_simulation_on) return 0;
  const bool gw_table = m.grid_table_presence[groundwater_table] != 0;
  if (m.gw_porosity_map_on == 1 && m.gw_unif_porosity_on == 1) return 38;
  if (!m.gw_porosity_map_on && !m.gw_unif_porosity_on && !gw_table) warn_now(39);
  if (m.gw_hycond_map_on == 1 && m.gw_unif_hycond_on == 1) return 40;
  // Reported now, so the checks after it are still made.
  if (!m.gw_hycond_map_on && !m.gw_unif_hycond_on && !gw_table) warn_now(41);
  if (m.sacramento_on) return 42;
  return 0;
}

int32_t check_coupling(model_state& m) {
  if (m.qir_mode) {
    message_out("Running PLUVO in QIR environment\n");
    if (m.omba_exchange_on) message_out("PLUVO will share data with OMBA through file: %s\n", m.omba_control_file.c_str());
    if (m.qir_event_call) message_out("This is an event call of PLUVO by QIR, qir_event_num=%d\n", m.qir_event_number);
  }
  if (m.qir_mode && !m.omba_exchange_on) return 43;
  if (m.qir_event_call && m.qir_event_number < 0) return 44;
  if (m.qir_mode && m.gw_simulation_on) return 45;
  if (m.omba_exchange_on && !m.qir_mode) return 46;
  return 0;
}

// Everything of one list the project asks for, named in one message under the list's code, so
// that a run never reports success for work it did not do.
int32_t check_requests(const model_state& m, std::span<const unbuilt_request> list, int32_t code) {
  std::string names;
  for (const unbuilt_request& u : list)
    if (u.asked(m)) names += std::string("  ") + u.name + ": " + u.what + "\n";
  if (names.empty()) return 0;
  error_state.error_file_name = names;
  return code;
}

// What this version does not offer stops the run, every such card named.
int32_t check_unbuilt(const model_state& m) { return check_requests(m, unoffered_requests(), unoffered_error_code); }

// Steps of length step_s in the given minutes, truncated.
int32_t steps_in(double minutes, double step_s) { return static_cast<int32_t>(60.0 / step_s * minutes); }

void stop_with(int32_t code) {
  error_state.error_code = code;
  error_state.error_terminate = 1;
}

// A number that is not finite, or a step longer than the run, would pass the checks below
// unseen (every comparison with NaN is false) and make a run of nonsense.
bool card_numbers_usable(const model_state& m) { return time_cards_valid(m); }

}  // namespace

void validate_project_options(model_state& m) {
  int32_t code = check_methods(m);
  if (code == 0) code = check_channels(m);
  if (code == 0) code = check_groundwater(m);
  if (code == 0) code = check_coupling(m);
  // What is not built is named whatever else is wrong; the checks above still settle the
  // switches they own.
  const int32_t unbuilt = check_unbuilt(m);
  if (unbuilt != 0) code = unbuilt;
  if (code != 0) error_state.error_code = code;
}

void check_time_options(model_state& m) {
  if (!card_numbers_usable(m)) return;
  if (m.snow_calibrate_on == 1) {
    m.quiet_on = 1;
    m.super_quiet_on = 1;
    m.st_time_step = m.timestep;
    m.time_step = m.timestep;
  }
  if (m.st_time_step < 0.01) {
    m.st_time_step = m.timestep;
    m.time_step = m.timestep;
  } else {
    m.time_step = std::min(m.timestep, m.st_time_step);
  }
  if (m.time_step <= 0.001) return stop_with(52);

  m.project_rows = m.rows;
  m.project_cols = m.cols;
  m.total_time_min = m.tot_time;

  if (m.hyd_freq <= 0.0) {
    m.hyd_freq = 60.0;
    warn_now(55);
  }
  m.hyd_write_steps = steps_in(m.hyd_freq, m.time_step);
  if (m.map_freq == 0) {
    m.map_freq = 360;
    if (!m.super_quiet_on && process_index == 0)
      std::printf("Warning: Write solution time step not specified, defaulting to 6 hours.\n");
  }
  m.map_write_steps = steps_in(m.map_freq, m.time_step);

  m.outlet_slope = m.outslope;
  m.outlet_row = m.outrow;
  m.outlet_col = m.outcol;
  if (m.outlet_slope < 1e-9) return stop_with(56);

  m.site_latitude = m.latitude;
  m.cell_size = m.gridsize;
  m.site_longitude = m.longitude;
  // A centroid left at zero was never given; sites west of Greenwich or south of the
  // equator have negative coordinates and are as valid as any other.
  if (m.long_term_on && (std::fabs(m.site_latitude) < 0.01 || std::fabs(m.site_longitude) < 0.01 ||
                         std::fabs(m.site_latitude) > 90.0 || std::fabs(m.site_longitude) > 180.0))
    return stop_with(57);

  m.gmt_offset = m.gmt;
  m.qout_cfs_on = m.qout_cfs;
  m.quiet_on = m.quiet;
  if (m.long_term_on && !m.gmt_flag) return stop_with(58);

  m.mask_rows = m.project_rows;
  m.mask_cols = m.project_cols;
}

}  // namespace pluvo
