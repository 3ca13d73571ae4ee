// The run parameters: the project file's options become the record's working settings.
#include <cmath>
#include <cstdio>
#include <string>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/julian.hpp"
#include "common/process.hpp"
#include "common/replace_params.hpp"
#include "common/time_series.hpp"
#include "input/input_phases.hpp"
#include "input/mapping_tables.hpp"
#include "input/project_file.hpp"
#include "input/run_parameters.hpp"
#include "record/model_state.hpp"

namespace pluvo {

checked_file q4_inflow_file;

namespace {


const char* const exchange_folder = "exchange";

std::string exchange_path(const std::string& name) { return std::string(exchange_folder) + "/" + name; }

}  // namespace

void open_q4_inflow_file(model_state& m) {
  if (!m.q4_input_flag || m.map_type == 4) return;
  if (!checked_file_open(q4_inflow_file, m.q4_input_file.c_str(), 'w')) return;
  std::fprintf(q4_inflow_file.stream, "  output from %s\n", "PLUVO");
  std::fputs("\n", q4_inflow_file.stream);
  std::fputs("    JDAY     QIN\n", q4_inflow_file.stream);
}

namespace {

void copy_mapping_tables(model_state& m) {
  m.mapping_table_on = m.mapping_table_flag;
  if (m.mapping_table_on) {
    m.mapping_table_path = m.mapping_table_file;
    check_mapping_tables(m.mapping_table_path, m.grid_table_presence, m.silent_mode);
  }
  m.st_mapping_table_on = m.st_mapping_table_flag;
  if (m.st_mapping_table_on) {
    m.st_mapping_table_path = m.st_mapping_table_file;
    print_stream_index_tables(m.st_mapping_table_path, m.stream_table_presence, m.silent_mode);
  }
}

void copy_grid_and_run_control(model_state& m) {
  m.watershed_mask_path = m.watershed_mask_file;
  m.elevation_path = m.elevation_file;
  m.long_term_on = m.long_term;
  m.strict_julian_date_on = m.strict_julian_date;
  m.units_flag = m.units;
}

void copy_long_term_block(model_state& m) {
  if (!m.long_term) return;
  m.hmet_surfaways_on = m.hmet_surfaways_flag;
  m.hmet_samson_on = m.hmet_samson_flag;
  m.hmet_kal_on = m.hmet_kal_flag;
  m.hmet_ascii_on = m.hmet_ascii_flag;
  if (m.hmet_surfaways_on || m.hmet_samson_on || m.hmet_kal_on || m.hmet_ascii_on) m.hmet_path = m.hmet_file;
  m.et_calc_penman_on = m.et_calc_penman;
  m.et_calc_deardorff_on = m.et_calc_deardorff;
  m.event_cutoff_q = m.event_min_q;
  m.seasonal_rs_on = m.seasonal_rs;
  if (m.seasonal_rs_on == 1 && m.seasonal_rs_spring > 0) {
    m.rs_spring_month = m.seasonal_rs_spring;
    m.rs_fall_month = m.seasonal_rs_fall;
    m.rs_summer_start_month = m.seasonal_rs_summer_start;
    m.rs_summer_end_month = m.seasonal_rs_summer_end;
  }
  m.snow_canopy_intercept_on = m.snow_canopy_intercept;
  m.nwsrfs_snow_on = m.nwsrfs_snow;
  m.nwsrfs_snow_w_rad_on = m.nwsrfs_snow_w_rad;
  m.eb_snow_on = m.eb_snow;
  m.hy_snow_on = m.hy_snow;
  m.reb_snow_on = m.reb_snow;
  m.snap_retention_on = m.snap_retention;
  m.snap_snow_depth_on = m.snap_snow_depth;
  m.route_lat_snow_on = m.route_lat_snow;
  m.nwsrfs_mf_max_on = m.nwsrfs_mf_max_flag;
  m.nwsrfs_mf_min_on = m.nwsrfs_mf_min_flag;
  m.nwsrfs_fr_use_on = m.nwsrfs_fr_use_flag;
  m.nwsrfs_scf_on = m.nwsrfs_scf_flag;
  m.hmet_elev_gage_on = m.hmet_elev_gage_flag;
  m.hmet_lapse_rate_on = m.hmet_lapse_rate_flag;
  m.nwsrfs_tipm_on = m.nwsrfs_tipm_flag;
  m.nwsrfs_nmf_on = m.nwsrfs_nmf_flag;
  m.nwsrfs_fua_on = m.nwsrfs_fua_flag;
  m.nwsrfs_plwhc_on = m.nwsrfs_plwhc_flag;
  m.snow_temp_base_on = m.snow_temp_base_flag;
  m.snow_pxtemp_on = m.snow_pxtemp_flag;
  m.nwsrfs_elev_snow_on = m.nwsrfs_elev_snow_flag;
  if (m.nwsrfs_elev_snow_flag == 1) m.nwsrfs_elev_snow_path = m.nwsrfs_elev_snow_file;
  m.orogvar_hmet_on = m.orogvar_hmet;
  m.hmet_orog_gages_on = m.hmet_orog_gages_flag;
  if (m.hmet_orog_gages_flag == 1) m.hmet_orog_gages_path = m.hmet_orog_gages_file;
  m.cfgi_index_value = m.cfgi_index;
  m.cfgi_k_value = m.cfgi_k;
  m.cfgi_on = m.cfgi;
  m.gtfsm_on = m.gtfsm;
}

void copy_surface(model_state& m) {
  const int* tables = m.grid_table_presence;
  m.roughness_map_on = m.manning_n_flag ? m.roughness_flag : (m.roughness_flag || tables[map_table::roughness]);
  const int et_table = tables[map_table::evapotranspiration];
  m.albedo_map_on = m.albedo_flag || et_table;
  m.vheight_map_on = m.vheight_flag || et_table;
  m.tcoeff_map_on = m.tcoeff_flag || et_table;
  m.canopy_map_on = m.canopy_flag || et_table;
  m.wilting_point_map_on = m.wilting_point_flag || et_table;
  if (m.snow_darcy_flag) m.snow_darcy_value = m.snow_darcy;
  m.lakes_on = 0;
  m.wetland_on = tables[map_table::wetlands];

  m.manning_n_on = m.manning_n_flag;
  m.manning_n_value = m.manning_n;
  m.ovr_flow_block_on = m.ovr_flow_block;
  m.ov_bmp_on = m.ov_BMP;
  m.snow_no_infiltrate_on = m.snow_no_infiltrate;
  m.snow_roughness_on = m.snow_roughness_flag;
  m.snow_darcy_on = m.snow_darcy_flag;
  m.overland_scheme = m.overtype;
  m.overland_lakes_on = m.overland_lake_map_flag;
  m.overland_lake_map_path = m.overland_lake_map_file;
  m.overland_lake_file_path = m.overland_lake_file;
  m.dike_map_on = m.dike_map_flag;
  m.dike_map_path = m.dike_map_file;
  m.lowspot_on = m.lowspot_file_flag;
  m.lowspot_path = m.lowspot_file;
  m.max_courant_number_value = m.max_courant_number;
  m.roughness_path = m.roughness_file;
  m.interception_on = m.interception_coeff_flag;
}

void copy_channel(model_state& m) {
  m.chan_mesh_on = 0;
  switch (m.chan_method) {
    case 3:
      m.chan_explic_on = 1;
      break;
    case 2:
      m.chan_drain_backwater_on = 1;
      m.chan_drain_on = 1;
      break;
    case 5:
      m.chan_drain_backwater_on = 1;
      break;
    case 4:
      m.chan_mesh_on = 1;
      break;
    default:
      break;
  }
  m.chan_output_on = m.chan_depth_flag;
  m.chan_discharge_output_on = m.chan_discharge_flag;
  m.chan_velocity_output_on = m.chan_velocity_flag;
  m.chan_stage_output_on = m.chan_stage_flag;
  m.chan_sed_flux_output_on = m.chan_sed_flux_flag;
  m.links_path = m.links_file;
  m.channel_input_path = m.channel_input_file;
  if (!m.chan_explic_on) return;
  m.overbank_flow_on = m.overbank_flow;
  if (m.overbank_max_dv_flag == 1) m.overbank_max_dv_value = m.overbank_max_dv;
  m.overland_backwater_on = m.overland_backwater;
  m.gst_mode_on = 1;
  m.head_bound_on = m.head_bound;
  m.chan_bound_depth = m.bound_depth;
  m.bound_ts_on = m.bound_ts_flag;
  m.bound_ts_path = m.bound_ts_file;
  m.write_chan_hotstart_on = m.explic_backwater_flag || m.write_chan_hotstart_flag;
  // With HOTSTART_IS_DEPTH the named hotstart is one list of node depths and discharges, read
  // as it is named, in place of the water-surface (.dht) and discharge (.qht) pair.
  m.read_chan_hotstart_on = (m.explic_hotstart_flag || m.read_chan_hotstart_flag) && !m.hotstart_is_depth;
  if (m.hotstart_is_depth && (m.explic_hotstart_flag || m.read_chan_hotstart_flag))
    m.chan_hotstart_list_path = m.chan_hotstart_in_file;
  m.stream_loss_on = m.stream_loss;
  m.stream_cell_path = m.stream_cell_file;
  m.first_order_chan_q_value = m.first_order_chan_q;
  m.chan_decay_coef_value = m.chan_decay_coef;
  m.chan_disp_coef_value = m.chan_disp_coef;
  m.init_chan_conc_value = m.init_chan_conc;
  m.con_location_on = m.out_con_location_flag;
  m.mass_location_on = m.out_mass_location_flag;
  m.chan_con_trans_on = m.chan_con_trans;
  if (m.chan_con_trans_on == 1) m.global_transport_on = 1;
}

void copy_soil(model_state& m) {
  m.green_ampt_on = 0;
  m.inf_redist_on = 0;
  m.inf_richards_on = 0;
  m.inf_layered_soil_on = 0;
  switch (m.inf_method) {
    case 1:
      m.green_ampt_on = 1;
      break;
    case 2:
      m.inf_redist_on = 1;
      m.soil_moisture_accounting_on = 1;
      m.inf_redist_continuous_on = !m.no_cont_inf_redist;
      break;
    case 3:
      m.inf_layered_soil_on = 1;
      m.soil_moisture_accounting_on = 1;
      break;
    case 4:
      m.inf_richards_on = 1;
      break;
    default:
      break;
  }
  m.moisture_map_on = m.moisture_flag || m.mapping_table_on;
  m.uniform_moisture_on = 0;

  const bool green_ampt_family = m.green_ampt_on || m.inf_redist_on || m.long_term_on;
  const int ga_table = green_ampt_family ? m.grid_table_presence[map_table::green_ampt_infiltration] : 0;
  m.conductivity_map_on = m.conductivity_flag || ga_table;
  m.capillary_map_on = m.capillary_flag || ga_table;
  m.porosity_map_on = m.porosity_flag || ga_table;
  m.pore_index_map_on = m.pore_index_flag || ga_table;
  m.residual_sat_map_on = m.residual_sat_flag || ga_table;
  m.area_reduction_on = m.area_reduction_flag;

  m.retention_uniform_on = m.unif_retention_flag;
  m.retention_map_on = m.reten_depth_flag;
  m.richards_max_iter = m.richards_iter_max;
  m.richards_weight_value = m.richards_weight;
  m.richards_k_option_value = m.richards_k_option;
  m.richards_c_option_value = m.richards_c_option;
  m.richards_dtheta_max_value = m.richards_dtheta_max;
  m.richards_upper_opt = m.richards_upper_option;
  m.moisture_path = m.moisture_file;
  m.conductivity_path = m.conductivity_file;
  m.capillary_path = m.capillary_file;
  m.porosity_path = m.porosity_file;
  m.pore_index_path = m.pore_index_file;
  m.residual_sat_path = m.residual_sat_file;
  m.storage_capacity_path = m.storage_capacity_file;
  m.interception_coeff_path = m.interception_coeff_file;
  m.reten_depth_path = m.reten_depth_file;
  m.albedo_path = m.albedo_file;
  m.vheight_path = m.vheight_file;
  m.tcoeff_path = m.tcoeff_file;
  m.canopy_path = m.canopy_file;
  m.wilting_point_path = m.wilting_point_file;
  m.soil_type_map_path = m.soil_type_map_file;
  m.soil_layer_input_path = m.soil_layer_input_file;
  m.permafrost_gipl_path = m.permafrost_gipl;
}

void copy_groundwater(model_state& m) {
  m.water_table_on = m.water_table_flag;
  if (m.water_table_on) {
    m.water_table_path = m.water_table_file;
    m.gw_simulation_on = m.gw_simulation;
    if (m.gw_simulation) {
      m.stream_loss_on = 1;
      m.gw_lsor_direction = m.gw_lsor_dir;
      m.gw_timestep_value = m.gw_timestep;
      m.gw_lsor_con_value = m.gw_lsor_con;
      m.gw_leakage_rate_value = m.gw_leakage_rate;
      m.gw_relax_coeff_value = m.gw_relax_coeff;
      m.gw_porosity_map_on = m.gw_porosity_map_flag;
      m.gw_unif_porosity_on = m.gw_unif_porosity_flag;
      m.gw_unif_porosity_value = m.gw_unif_porosity;
      m.gw_porosity_map_path = m.gw_porosity_map_file;
      m.gw_hycond_map_on = m.gw_hycond_map_flag;
      m.gw_unif_hycond_on = m.gw_unif_hycond_flag;
      m.gw_unif_hycond_value = m.gw_unif_hycond;
      m.gw_hycond_map_path = m.gw_hycond_map_file;
      m.gw_fluxboundtable_path = m.gw_fluxboundtable_file;
      m.gw_boundfile_path = m.gw_boundfile_file;
      m.gw_well_level_on = m.gw_well_level_flag;
      m.gw_well_level_path = m.gw_well_level_file;
      m.gw_output_on = m.gw_output_flag;
      m.out_well_location_path = m.out_well_location_file;
      m.aquifer_bottom_path = m.aquifer_bottom_file;
      m.aquifer_delta_z_value = m.aquifer_delta_z;
    }
  }
  m.storm_sewer_on = m.storm_sewer_flag;
  m.storm_sewer_path = m.storm_sewer_file;
  m.grid_pipe_path = m.grid_pipe_file;
  m.storm_drain_on = m.storm_drain_flag;
  m.storm_drain_name = m.storm_drain_file;
  m.grid_pipe_name = m.drain_grid_pipe_file;
  m.drain_out_name = m.drain_output_file;
  m.drain_output_on = m.drain_output_flag;
  m.superlink_c_opt_on = m.superlink_c_opt;
  m.high_head_release_on = m.high_head_release;
  m.superlink_drainmod_on = m.superlink_drainmod;
  m.gw_flux_boundtable_on = m.gw_fluxboundtable_flag;
}

void copy_lumped_models(model_state& m) {
  m.sacramento_on = m.sacramento_flag;
  if (m.sacramento_on) {
    m.sacramento_plain_on = 1;
    m.topo_index_on = m.topo_index;
    if (m.topo_index) m.sacramento_plain_on = 0;
    m.sacramento_path = m.sacramento_file;
  }
  m.conceptual_gw_on = m.conceptual_gw_flag;
  if (m.conceptual_gw_on) {
    m.conceptual_gw_plain_on = 1;
    if (m.topo_index_cgs) m.conceptual_gw_plain_on = 0;
    m.conceptual_gw_path = m.conceptual_gw_file;
  }
}

void copy_quality(model_state& m) {
  m.all_contam_output_on = m.all_contam_output;
  m.ov_con_trans_on = m.ov_con_trans;
  if (m.ov_con_trans_on == 1) {
    m.ov_con_table_on = 1;
    m.global_transport_on = 1;
  }
  m.contam_map_on = m.contam_map_flag;
  m.soil_con_trans_on = m.soil_con_trans;
  m.soil_static_conc_on = m.soil_static_conc;
  m.soil_noflux_on = m.soil_noflux;
  m.sediment_contam_on = m.sediment_contam;
  m.ov_decay_coef_value = m.ov_decay_coef;
  m.ov_disp_coef_value = m.ov_disp_coef;
  m.ov_mass_load_value = m.ov_mass_load;
  m.ov_uptake_rate_value = m.ov_uptake_rate;
  // Without the card the kinetics keep the model step; a factor of 0 would stop their clocks.
  m.kinetics_step_factor = m.kinetics_timestep_factor > 0.0 ? m.kinetics_timestep_factor : 1.0;
  m.soil_kinetics_step_factor = m.soil_kinetics_timestep_factor > 0.0 ? m.soil_kinetics_timestep_factor : 1.0;
  m.soil_erosion_on = m.soil_erosion_flag;
  m.adjust_channel_bed_on = m.adjust_channel_bed;
  m.ov_point_source_on = m.ov_point_source_flag;
  m.chan_point_source_file = m.chan_point_input_file;
  m.ov_point_source_path = m.ov_point_source_file;
  m.contam_map_path = m.contam_map_file;
  m.optimize_on = m.optimize_flag;
  m.optimize_sed_on = m.optimize_sed;
  if (m.optimize_flag) m.optimize_output_file_name = m.optimize_file;
}

void copy_outputs(model_state& m) {
  m.overland_depths_on = m.overland_depths_flag;
  m.overland_depth_location_path = m.overland_depth_location_file;
  m.overland_depths_path = m.overland_depths_file;
  m.overland_wse_on = m.overland_wse_flag;
  m.overland_wse_location_path = m.overland_wse_location_file;
  m.overland_wse_path = m.overland_wse_file;
  m.superlink_junc_location_on = m.superlink_junc_location_flag;
  m.superlink_node_location_on = m.superlink_node_location_flag;
  m.superlink_junc_flow_on = m.superlink_junc_flow_flag;
  m.superlink_node_flow_on = m.superlink_node_flow_flag;
  m.superlink_junc_location_path = m.superlink_junc_location_file;
  m.superlink_node_location_path = m.superlink_node_location_file;
  m.superlink_junc_flow_path = m.superlink_junc_flow_file;
  m.superlink_node_flow_path = m.superlink_node_flow_file;
  m.hyd_location_on = m.in_hyd_location_flag;
  m.gwflux_location_on = m.in_gwflux_location_flag;
  m.celldepdis_location_on = m.in_celldepdis_location_flag;
  m.dep_location_on = m.out_dep_location_flag;
  m.theta_out_on = m.in_theta_location_flag;
  m.sig_outlet_hydro_on = m.sig_outlet_hydro_flag;
  m.lake_output_on = m.lake_output_flag;
  m.runoff_mmph_on = m.runoff_mmph_flag;
  m.rainfall_mmph_on = m.rainfall_mmph_flag;
  m.vok_hydro_on = m.vok_hydro_flag;
  m.summary_path = m.summary_file;
  m.outlet_hydro_path = m.outlet_hydro_file;
  m.runoff_mmph_path = m.runoff_mmph_file;
  m.rainfall_mmph_path = m.rainfall_mmph_file;
  m.sig_outlet_hydro_path = m.sig_outlet_hydro_file;
  m.lake_output_path = m.lake_output_file;
  m.vok_hydro_path = m.vok_hydro_file;
  m.in_hyd_location_path = m.in_hyd_location_file;
  m.out_hyd_location_path = m.out_hyd_location_file;
  m.in_gwflux_location_path = m.in_gwflux_location_file;
  m.in_celldepdis_location_path = m.in_celldepdis_location_file;
  m.out_gwflux_location_path = m.out_gwflux_location_file;
  m.out_celldepdis_location_path = m.out_celldepdis_location_file;
  m.out_dep_location_path = m.out_dep_location_file;
  m.out_con_location_path = m.out_con_location_file;
  m.out_mass_location_path = m.out_mass_location_file;
  m.cell_location_file = m.in_theta_location_file;
  m.out_theta_location_path = m.out_theta_location_file;
  m.precip_path = m.precip_file;
  m.snow_calibrate_on = m.snow_calibrate;
}

// Uniform rain starts at the START_DATE and START_TIME of the project.
void set_uniform_rain_start(model_state& m) {
  m.uniform_rain_on = 1;
  m.uniform_rain_intensity = m.rain_intensity;
  m.uniform_rain_duration = double(m.rain_duration);
  m.cur_year = m.start_year;
  m.cur_month = m.start_month;
  m.cur_day = m.start_day;
  m.cur_hour = m.start_hour;
  m.cur_minute = m.start_minute;
  m.start_hhmm = m.cur_hour * 100 + m.cur_minute;
  m.start_yyyymmdd = (m.cur_year * 100 + m.cur_month) * 100 + m.cur_day;
  m.event_start_year = m.cur_year;
  m.event_start_month = m.cur_month;
  m.event_start_day = m.cur_day;
  m.event_start_hour = m.cur_hour;
  m.cur_second = 0;
  m.rain_on = 1;
  m.cur_julian = julian_date(m.cur_year, m.cur_month, m.cur_day, m.cur_hour, m.cur_minute, 0.0);
  m.start_julian = m.cur_julian;
  if (m.event_start_dates.size() < 2) m.event_start_dates.resize(2, 0.0);
  m.event_start_dates[1] = m.cur_julian;
  m.event_start = m.cur_julian;
}

void copy_precipitation(model_state& m) {
  m.uniform_rain_on = 0;
  m.rain_thiessen_on = 0;
  m.rain_inv_distance_on = 0;
  m.precip_on = 0;
  if (m.precip_type == 0) {
    set_uniform_rain_start(m);
  } else if (m.precip_type == 1) {
    m.precip_on = 1;
    m.rain_on = 0;
    if (m.rain_interp == 0) m.rain_inv_distance_on = 1;
    if (m.rain_interp == 1) m.rain_thiessen_on = 1;
  }
}

void copy_coupling(model_state& m) {
  m.qir_mode = m.qir;
  m.omba_exchange_on = m.omba_flag;
  m.qir_event_number = m.qir_event_num;
  m.qir_event_call = m.qir_event_num_flag;
  m.omba_first_on = m.omba_first;
  m.moist_to_omba_on = m.moist_to_omba_flag;
  m.ksat_to_omba_on = m.ksat_to_omba_flag;
  m.rough_to_omba_on = m.rough_to_omba_flag;
  m.poros_to_omba_on = m.poros_to_omba_flag;
  m.moist_from_omba_on = m.moist_from_omba_flag;
  m.ksat_from_omba_on = m.ksat_from_omba_flag;
  m.rough_from_omba_on = m.rough_from_omba_flag;
  m.omba_control_file = exchange_path(m.omba_file);
  m.moist_to_omba_path = exchange_path(m.moist_to_omba_file);
  m.ksat_to_omba_path = exchange_path(m.ksat_to_omba_file);
  m.rough_to_omba_path = exchange_path(m.rough_to_omba_file);
  m.poros_to_omba_path = exchange_path(m.poros_to_omba_file);
  m.erosivity_to_omba_path = exchange_path(m.erosivity_to_omba_file);
  m.crop_fact_to_omba_path = exchange_path(m.crop_fact_to_omba_file);
  m.net_erosion_to_omba_path = exchange_path(m.net_erosion_to_omba_file);
  m.omba_soil_moisture_file = exchange_path(m.moist_from_omba_file);
  m.omba_ksat_file = exchange_path(m.ksat_from_omba_file);
  m.omba_roughness_file = exchange_path(m.rough_from_omba_file);
  m.erosivity_from_omba_path = exchange_path(m.erosivity_from_omba_file);
  m.crop_fact_from_omba_path = exchange_path(m.crop_fact_from_omba_file);
  m.et_demand_from_omba_path = exchange_path(m.et_demand_from_omba_file);
}

void copy_map_outputs(model_state& m) {
  m.map_output_on = 0;
  m.map_output_type2 = 0;
  m.map_type_zero_on = 0;
  if (m.map_type == 0) m.map_type_zero_on = 1;
  if (m.map_type == 1) m.map_output_on = 1;
  if (m.map_type == 2) m.map_output_on = m.map_output_type2 = 1;
  m.map_out_depth = m.depth_flag;
  m.map_out_dis_rain = m.dis_rain_flag;
  m.map_out_gw_recharge_cum = m.gw_recharge_cum_flag;
  m.map_out_gw_recharge_inc = m.gw_recharge_inc_flag;
  m.map_out_inf_depth = m.inf_depth_flag;
  m.map_out_surf_moist = m.surf_moist_flag;
  m.map_out_chan_depth = m.chan_depth_flag;
  m.map_out_discharge = m.discharge_flag;
  m.map_out_chan_discharge = m.chan_discharge_flag;
  m.map_out_chan_sed_flux = m.chan_sed_flux_flag;
  m.map_out_ov_con = m.ov_con_map_flag;
  if (m.inf_method != 0) m.map_out_rate_of_infil = m.rate_of_infil_flag;
}

void copy_names_and_display(model_state& m) {
  m.chan_hotstart_in_depth_path = m.chan_hotstart_in_file + ".dht";
  m.chan_hotstart_in_flow_path = m.chan_hotstart_in_file + ".qht";
  m.chan_hotstart_out_flow_path = m.chan_hotstart_out_file + ".qht";
  m.chan_hotstart_out_depth_path = m.chan_hotstart_out_file + ".dht";
}

// Limits on the grid the ROWS and COLS cards may ask for, before any grid is allocated: a few
// hundred million cells is far beyond any watershed this model is run on.
constexpr int max_grid_extent = 1000000;
constexpr double max_grid_cells = 250e6;
constexpr double seconds_per_day = 86400.0;

// Stops the run with a message that names the card, the value it gave and what it must be.
bool refuse_card(const char* card, const char* value, const char* range) {
  stop_run("Error: Project card %s gives %s; %s.\n", card, value, range);
  return false;
}

bool finite_card(const char* card, double v, double low, double high, const char* range) {
  if (std::isfinite(v) && v >= low && v <= high) return true;
  char text[64];
  std::snprintf(text, sizeof text, "%g", v);
  return refuse_card(card, text, range);
}

}  // namespace

bool grid_size_cards_valid(const model_state& m) {
  char range[160];
  std::snprintf(range, sizeof range, "the grid must have 1 to %d rows and columns and at most %.0f cells",
                max_grid_extent, max_grid_cells);
  char value[64];
  if (m.mask_rows < 1 || m.mask_rows > max_grid_extent) {
    std::snprintf(value, sizeof value, "%d", m.mask_rows);
    return refuse_card("ROWS", value, range);
  }
  if (m.mask_cols < 1 || m.mask_cols > max_grid_extent) {
    std::snprintf(value, sizeof value, "%d", m.mask_cols);
    return refuse_card("COLS", value, range);
  }
  if (double(m.mask_rows) * double(m.mask_cols) > max_grid_cells) {
    std::snprintf(value, sizeof value, "%d x %d", m.mask_rows, m.mask_cols);
    return refuse_card("ROWS x COLS", value, range);
  }
  return finite_card("GRIDSIZE", m.cell_size, 1e-3, 1e6, "the cell size must be a number of metres from 0.001 to 1e+06");
}

bool time_cards_valid(const model_state& m) {
  const bool timed_run = !m.long_term_on && !m.qir_mode;
  char value[64];
  if (timed_run && m.tot_time < 1) {
    std::snprintf(value, sizeof value, "%d", m.tot_time);
    return refuse_card("TOT_TIME", value, "the run length must be a whole number of minutes of at least 1");
  }
  // A zero step is left to the time-step check, which has its own message.
  const double longest = timed_run ? std::fmin(seconds_per_day, 60.0 * m.tot_time) : seconds_per_day;
  char range[160];
  std::snprintf(range, sizeof range, "the time step must be a number of seconds above 0 and at most %g%s", longest,
                timed_run && longest < seconds_per_day ? " (the run length, TOT_TIME)" : "");
  if (!finite_card("TIMESTEP", m.timestep, 0.0, longest, range)) return false;
  if (m.st_time_step != 0.0 && !finite_card("ST_TIME_STEP", m.st_time_step, 0.0, longest, range)) return false;
  // An interval of 0 or below takes its default; one whose count of steps an int cannot hold
  // is refused (the time-step check reports a step too short to count with).
  const double step = m.st_time_step >= 0.01 ? std::fmin(m.timestep, m.st_time_step) : m.timestep;
  const double longest_interval = step > 0.001 ? 2e9 * step / 60.0 : 1e9;
  std::snprintf(range, sizeof range, "the interval must be a number of minutes up to %g at this time step",
                longest_interval);
  return finite_card("HYD_FREQ", m.hyd_freq, -1e9, longest_interval, range) &&
         finite_card("MAP_FREQ", m.map_freq, -1e9, longest_interval, range) &&
         finite_card("OUTSLOPE", m.outslope, -1e9, 1e9, "the outlet slope must be a finite number above 0") &&
         finite_card("LATITUDE", m.latitude, -1e9, 1e9, "the latitude must be a finite number of degrees") &&
         finite_card("LONGITUDE", m.longitude, -1e9, 1e9, "the longitude must be a finite number of degrees") &&
         finite_card("GMT", m.gmt, -1e9, 1e9, "the time offset must be a finite number of hours");
}

namespace {

bool date_card(const char* card, int year, int month, int day, int hour, int minute) {
  if (is_calendar_date(year, month, day) && is_time_of_day(hour, minute)) return true;
  char value[96];
  std::snprintf(value, sizeof value, "%d %d %d %d:%02d", year, month, day, hour, minute);
  char range[160];
  std::snprintf(range, sizeof range, "it must be a real date of the years %d to %d and a time of day from 0:00 to 23:59",
                first_calendar_year, last_calendar_year);
  return refuse_card(card, value, range);
}

// A start date left out entirely is all zeros: events then take their dates from the rain file.
bool date_cards(const model_state& m) {
  const bool start_given = m.start_year != 0 || m.start_month != 0 || m.start_day != 0;
  if (start_given && !date_card("START_DATE/START_TIME", m.start_year, m.start_month, m.start_day, m.start_hour,
                                m.start_minute))
    return false;
  if (!start_given && !is_time_of_day(m.start_hour, m.start_minute))
    return date_card("START_TIME", 2000, 1, 1, m.start_hour, m.start_minute);
  if (m.end_year != 0 && !date_card("END_TIME", m.end_year, m.end_month, m.end_day, m.end_hour, m.end_minute))
    return false;
  return true;
}

bool rain_and_surface_cards(const model_state& m) {
  // The card takes any integer; a scheme number without a scheme would route nothing.
  if (m.overtype < 1 || m.overtype > 3) {
    char value[32];
    std::snprintf(value, sizeof value, "%d", m.overtype);
    return refuse_card("OVERTYPE", value,
                       "the overland scheme must be 1 or explicit, 2 or ade, 3 or ade-pc");
  }
  if (m.precip_type == 0) {
    if (m.rain_duration < 0) {
      char value[32];
      std::snprintf(value, sizeof value, "%d", m.rain_duration);
      return refuse_card("RAIN_DURATION", value, "the rain duration must be a number of minutes of at least 0");
    }
    if (!finite_card("RAIN_INTENSITY", m.rain_intensity, 0.0, 1e4,
                     "the rain intensity must be a number of mm/h from 0 to 10000"))
      return false;
  }
  if (m.manning_n_flag && !finite_card("MANNING_N", m.manning_n, -1e9, 1e9, "Manning n must be a finite number above 0"))
    return false;
  if (m.unif_retention_flag &&
      !finite_card("RETENTION", m.retention, 0.0, 1e4, "the retention depth must be a number of mm from 0 to 10000"))
    return false;
  return true;
}

// The dates and values the reading itself takes over are checked here; the grid and time cards
// where the run takes them up (grid_size_cards_valid, time_cards_valid).
bool card_numbers_valid(const model_state& m) {
  return date_cards(m) && rain_and_surface_cards(m);
}

}  // namespace

void read_run_parameters(const char* project_file, model_state& m) {
  if (!m.optimize_on && process_index == 0 && m.super_quiet_on != 1 && m.silent_mode != 1)
    std::printf("reading run parameters from project file: %s\n", project_file);
  m.project_file_path = project_file ? project_file : "";
  read_project_file(project_file, m, m, m, m.silent_mode);
  if (m.project_open_error) {
    set_error(3);
    return;
  }
  // A reader error is reported already; the cards read so far are still taken over.
  if (!error_state.error_terminate && !card_numbers_valid(m)) return;
  if (m.end_year != 0) {
    m.end_date_on = 1;
    m.end_date_julian = julian_date(m.end_year, m.end_month, m.end_day, m.end_hour, m.end_minute, 0.0);
  }
  if (m.pause) pause_on_exit = true;
  m.nutrients_on = m.nutrients;
  // The nutrients are carried to the streams: the cells keep what water they give them.
  if (m.nutrients_on) m.global_transport_on = 1;
  m.ov_boundary_on = m.ov_boundary;
  m.ov_xy_boundary_on = m.xybdy_ov_input_on;
  m.ov_xy_stage_on = m.xybdy_ov_stage_on;
  if (m.flood_grid_flag) {
    m.flood_grid_on = 1;
  }
  if (m.flood_stream_flag) {
    m.flood_stream_on = 1;
    m.flood_stream_name = m.flood_stream_file;
  }
  if (m.flush_buffer_flag) {
    m.flush_buffer_on = 1;
    m.flush_buffer_lines = m.flush_buffer;
  }
  if (m.map_type == 4) {
    set_error(5);
    return;
  }
  copy_mapping_tables(m);
  copy_grid_and_run_control(m);
  copy_surface(m);
  copy_long_term_block(m);
  if (m.event_cutoff_q < 0.00001) m.event_cutoff_q = 0.05;
  m.soil_moist_depth_cm = m.soil_moist_depth * 100.0;
  m.top_layer_depth_cm = m.top_layer_depth * 100.0;
  m.mixing_layer_depth_cm = m.mixing_layer_depth * 100.0;
  copy_channel(m);
  copy_soil(m);
  copy_groundwater(m);
  copy_lumped_models(m);
  copy_quality(m);
  copy_outputs(m);
  copy_precipitation(m);
  copy_coupling(m);
  copy_map_outputs(m);
  copy_names_and_display(m);
  m.uniform_initial_moisture = 0.15;
  m.retention_value = m.retention_uniform_on ? m.retention : 0.0;
  m.event_min_q_offset = 0.0;
  m.super_quiet_on = m.super_quiet;
  // The soil a constituent moves through is the one an infiltration scheme keeps: its layers,
  // their porosity and the water entering them.
  if (m.soil_con_trans_on && m.ov_con_trans_on && !(m.green_ampt_on || m.inf_redist_on || m.inf_layered_soil_on || m.inf_richards_on)) {
    stop_run("Error: SOIL_CON_TRANS needs an infiltration scheme (GREEN_AMPT, INF_REDIST, INF_LAYERED_SOIL or "
             "INF_RICHARDS):\nwithout one there is no soil for the constituents.  Add one or remove the card.\n");
    return;
  }
  if (!m.super_quiet && process_index == 0 && m.silent_mode != 1) std::printf("\nfinished reading project file\n");
}

void print_startup_information(model_state& m, const char* project_file) {
  if (!m.summary_fp.is_open()) return;
  std::FILE* out = m.summary_fp.stream;
  std::fputs("\n\n", out);
  std::fputs("_________PLUVO start-up information________\n", out);
  std::fprintf(out, "Run parameters read from VOK project file: %s\n", project_file);
  if (replace_pairs_active) print_replacement_values(m.summary_fp, m.silent_mode);
}

}  // namespace pluvo
