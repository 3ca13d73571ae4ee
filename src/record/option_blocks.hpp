#pragma once
// The three option blocks that the project-file cards fill. A card's file name is
// <keyword>_file, its given-flag <keyword>_flag and its value <keyword> (lower case).
// Field initialisers are the values of a freshly built record; the project reader
// zeroes the blocks and sets its own defaults once the format line is accepted.
#include <memory>
#include <string>
#include <vector>

#include "record/coupling_state.hpp"
#include "record/tvx_state.hpp"

namespace pluvo {

// A file a card names, with the card.
struct card_file_name {
  std::string card;
  std::string name;
};

struct option_files_block {
  // TIME_SERIES_FILE, ELEV_SERIES_FILE, REPLACE_PARAMS and REPLACE_VALS: read while the project
  // file is read, and inputs no output may overwrite.
  std::vector<card_file_name> files_read_at_once;
  std::string mapping_table_file;  // MAPPING_TABLE
  int mapping_table_flag = 0;
  int manning_n_flag = 0;  // MANNING_N
  double manning_n = 0.0;
  int include_channel_depth = 0;  // INCLUDE_CHANNEL_DEPTH
  int long_term = 0;  // LONG_TERM
  std::string albedo_file;  // ALBEDO
  int albedo_flag = 0;
  std::string vheight_file;  // VHEIGHT
  int vheight_flag = 0;
  std::string tcoeff_file;  // TCOEFF
  int tcoeff_flag = 0;
  std::string canopy_file;  // CANOPY
  int canopy_flag = 0;
  std::string wilting_point_file;  // WILTING_POINT
  int wilting_point_flag = 0;
  int et_calc_penman = 0;  // ET_CALC_PENMAN
  int et_calc_deardorff = 0;  // ET_CALC_DEARDORFF
  double event_min_q = 0.0;  // EVENT_MIN_Q
  double soil_moist_depth = 0.0;  // SOIL_MOIST_DEPTH
  double top_layer_depth = 0.0;  // TOP_LAYER_DEPTH
  double mixing_layer_depth = 0.0;  // MIXING_LAYER_DEPTH
  int overbank_flow = 0;  // OVERBANK_FLOW
  int overbank_max_dv_flag = 0;  // OVERBANK_MAX_DV
  double overbank_max_dv = 0.0;
  int head_bound = 0;  // HEAD_BOUND
  double bound_depth = 0.0;  // BOUND_DEPTH
  std::string bound_ts_file;  // BOUND_TS
  int bound_ts_flag = 0;
  double k_river = 0.0;  // K_RIVER
  double m_river = 0.0;  // M_RIVER
  int overland_backwater = 0;  // OVERLAND_BACKWATER
  int stream_loss = 0;  // STREAM_LOSS
  std::string soil_type_map_file;  // SOIL_TYPE_MAP
  int soil_erosion_flag = 0;  // SOIL_EROSION
  int soil_erosion = 0;
  int adjust_channel_bed = 0;  // ADJUST_CHANNEL_BED
  std::string soil_erodability_file;  // SOIL_ERODABILITY
  std::string crop_management_file;  // CROP_MANAGEMENT
  std::string conservation_practice_file;  // CONSERVATION_PRACTICE
  std::string sand_map_file;  // SAND_MAP
  std::string silt_map_file;  // SILT_MAP
  std::string in_sed_loc_file;  // IN_SED_LOC
  int in_sed_loc_flag = 0;
  std::string vol_sed_susp_file;  // VOL_SED_SUSP
  int vol_sed_susp_flag = 0;
  std::string max_sed_flux_file;  // MAX_SED_FLUX
  int max_sed_flux_flag = 0;
  std::string net_sed_volume_file;  // NET_SED_VOLUME
  int net_sed_volume_flag = 0;
  std::string outlet_sed_flux_file;  // OUTLET_SED_FLUX
  std::string outlet_sed_tss_file;  // OUTLET_SED_TSS
  int outlet_sed_tss_flag = 0;
  std::string out_tss_loc_file;  // OUT_TSS_LOC
  int out_tss_loc_flag = 0;
  std::string out_sed_loc_file;  // OUT_SED_LOC
  double sand_size = 0.0;  // SAND_SIZE
  double silt_size = 0.0;  // SILT_SIZE
  double clay_size = 0.0;  // CLAY_SIZE
  double water_temp = 0.0;  // WATER_TEMP
  double sed_porosity = 0.0;  // SED_POROSITY
  std::string adjust_elev_file;  // ADJUST_ELEV
  int adjust_elev_flag = 0;
  int strict_julian_date = 0;  // STRICT_JULIAN_DATE
  std::string optimize_file;  // OPTIMIZE
  int optimize_flag = 0;
  int optimize_sed = 0;  // OPTIMIZE_SED
  double richards_weight = 0.0;  // RICHARDS_WEIGHT
  double richards_dtheta_max = 0.0;  // RICHARDS_DTHETA_MAX
  int richards_iter_max = 0;  // RICHARDS_ITER_MAX
  std::string water_table_file;  // WATER_TABLE
  int water_table_flag = 0;
  std::string aquifer_bottom_file;  // AQUIFER_BOTTOM
  double aquifer_delta_z = 0.0;  // AQUIFER_DELTA_Z
  std::string in_theta_location_file;  // IN_THETA_LOCATION
  int in_theta_location_flag = 0;
  std::string out_theta_location_file;  // OUT_THETA_LOCATION
  int seasonal_rs = 0;  // SEASONAL_RS
  int seasonal_rs_spring = 0;  // SEASONAL_RS_SPRING
  int seasonal_rs_fall = 0;  // SEASONAL_RS_FALL
  int seasonal_rs_summer_start = 0;  // SEASONAL_RS_SUMMER_START
  int seasonal_rs_summer_end = 0;  // SEASONAL_RS_SUMMER_END
  std::string watershed_mask_file;  // WATERSHED_MASK
  std::string elevation_file;  // ELEVATION
  std::string initial_depth_file;  // INITIAL_DEPTH
  int initial_depth_flag = 0;
  std::string storage_capacity_file;  // STORAGE_CAPACITY
  int storage_capacity_flag = 0;
  std::string interception_coeff_file;  // INTERCEPTION_COEFF
  int interception_coeff_flag = 0;
  std::string roughness_file;  // ROUGHNESS
  int roughness_flag = 0;
  std::string conductivity_file;  // CONDUCTIVITY
  int conductivity_flag = 0;
  std::string contam_map_file;  // CONTAM_MAP
  int contam_map_flag = 0;
  std::string capillary_file;  // CAPILLARY
  int capillary_flag = 0;
  std::string porosity_file;  // POROSITY
  int porosity_flag = 0;
  std::string pore_index_file;  // PORE_INDEX
  int pore_index_flag = 0;
  std::string residual_sat_file;  // RESIDUAL_SAT
  int residual_sat_flag = 0;
  std::string lake_output_file;  // LAKE_OUTPUT
  int lake_output_flag = 0;
  std::string links_file;  // LINKS
  std::string nodes_file;  // NODES
  std::string channel_input_file;  // CHANNEL_INPUT
  std::string dis_profile_file;  // DIS_PROFILE
  std::string dis_profile_out_file;  // DIS_PROFILE_OUT
  std::string wat_surf_profile_file;  // WAT_SURF_PROFILE
  std::string wat_surf_profile_out_file;  // WAT_SURF_PROFILE_OUT
  std::string discharge_file;  // DISCHARGE
  int discharge_flag = 0;
  std::string depth_file;  // DEPTH
  int depth_flag = 0;
  std::string inf_depth_file;  // INF_DEPTH
  int inf_depth_flag = 0;
  std::string surf_moist_file;  // SURF_MOIST
  int surf_moist_flag = 0;
  std::string rate_of_infil_file;  // RATE_OF_INFIL
  int rate_of_infil_flag = 0;
  std::string dis_rain_file;  // DIS_RAIN
  int dis_rain_flag = 0;
  std::string gw_recharge_cum_file;  // GW_RECHARGE_CUM
  int gw_recharge_cum_flag = 0;
  std::string gw_recharge_inc_file;  // GW_RECHARGE_INC
  int gw_recharge_inc_flag = 0;
  std::string chan_depth_file;  // CHAN_DEPTH
  int chan_depth_flag = 0;
  std::string chan_sed_flux_file;  // CHAN_SED_FLUX
  int chan_sed_flux_flag = 0;
  std::string chan_discharge_file;  // CHAN_DISCHARGE
  int chan_discharge_flag = 0;
  std::string chan_stage_file;  // CHAN_STAGE
  int chan_stage_flag = 0;
  std::string chan_velocity_file;  // CHAN_VELOCITY
  int chan_velocity_flag = 0;
  std::string in_hyd_location_file;  // IN_HYD_LOCATION
  int in_hyd_location_flag = 0;
  std::string out_hyd_location_file;  // OUT_HYD_LOCATION
  std::string in_gwflux_location_file;  // IN_GWFLUX_LOCATION
  int in_gwflux_location_flag = 0;
  std::string out_gwflux_location_file;  // OUT_GWFLUX_LOCATION
  std::string in_celldepdis_location_file;  // IN_CELLDEPDIS_LOCATION
  int in_celldepdis_location_flag = 0;
  std::string out_celldepdis_location_file;  // OUT_CELLDEPDIS_LOCATION
  int suppress_printing = 0;  // SUPPRESS_PRINTING
  std::string materials_file;  // MATERIALS
  std::string section_table_file;  // SECTION_TABLE
  int no_cont_inf_redist = 0;  // NO_CONT_INF_REDIST
  int unif_area_reduction_flag = 0;  // UNIF_AREA_REDUCTION
  double unif_area_reduction = 0.0;
  int radar_mm = 0;  // RADAR_MM
  std::string summary_file;  // SUMMARY
  std::string outlet_hydro_file;  // OUTLET_HYDRO
  std::string sig_outlet_hydro_file;  // SIG_OUTLET_HYDRO
  int sig_outlet_hydro_flag = 0;
  std::string vok_hydro_file;  // VOK_HYDRO
  int vok_hydro_flag = 0;
  std::string cell_hydro_file;  // CELL_HYDRO
  int snow_roughness_flag = 0;  // SNOW_ROUGHNESS
  double snow_roughness = 0.0;
  int snow_darcy_flag = 0;  // SNOW_DARCY
  double snow_darcy = 0.0;
  int snow_reynolds_flag = 0;  // SNOW_REYNOLDS
  double snow_reynolds = 0.0;
  int snow_no_infiltrate = 0;  // SNOW_NO_INFILTRATE
  int snow_calibrate = 0;  // SNOW_CALIBRATE
  int gw_simulation = 0;  // GW_SIMULATION
  int gw_assign_theta = 0;  // GW_ASSIGN_THETA
  int gw_lsor_dir = 0;  // GW_LSOR_DIR
  double gw_timestep = 0.0;  // GW_TIMESTEP
  double gw_lsor_con = 0.0;  // GW_LSOR_CON
  double single_unsat_sat = 0.0;  // SINGLE_UNSAT_SAT
  double gw_leakage_rate = 0.0;  // GW_LEAKAGE_RATE
  double gw_relax_coeff = 0.0;  // GW_RELAX_COEFF
  std::string gw_fluxboundtable_file;  // GW_FLUXBOUNDTABLE
  std::string gw_output_file;  // GW_OUTPUT
  int gw_output_flag = 0;
  std::string gw_porosity_map_file;  // GW_POROSITY_MAP
  int gw_porosity_map_flag = 0;
  int gw_unif_porosity_flag = 0;  // GW_UNIF_POROSITY
  double gw_unif_porosity = 0.0;
  std::string gw_hycond_map_file;  // GW_HYCOND_MAP
  int gw_hycond_map_flag = 0;
  int gw_unif_hycond_flag = 0;  // GW_UNIF_HYCOND
  double gw_unif_hycond = 0.0;
  std::string gw_well_level_file;  // GW_WELL_LEVEL
  int gw_well_level_flag = 0;
  std::string out_well_location_file;  // OUT_WELL_LOCATION
  std::string overland_depths_file;  // OVERLAND_DEPTHS
  int overland_depths_flag = 0;
  std::string overland_depth_location_file;  // OVERLAND_DEPTH_LOCATION
  std::string overland_wse_file;  // OVERLAND_WSE
  int overland_wse_flag = 0;
  std::string overland_wse_location_file;  // OVERLAND_WSE_LOCATION
  int cfgi = 0;  // CFGI
  double cfgi_index = 0.0;  // CFGI_INDEX
  int gtfsm = 0;  // GTFSM
  double cfgi_k = 0.0;  // CFGI_K
  std::string out_gipl_temp_file;  // OUT_GIPL_TEMP
  int gipl_timestep_flag = 0;  // GIPL_TIMESTEP
  double gipl_timestep = 0.0;
  int qir = 0;  // QIR
  std::string omba_file;  // OMBA
  int omba_flag = 0;
  int omba_first = 0;  // OMBA_FIRST
  std::string moist_to_omba_file;  // MOIST_TO_OMBA
  int moist_to_omba_flag = 0;
  std::string ksat_to_omba_file;  // KSAT_TO_OMBA
  int ksat_to_omba_flag = 0;
  std::string rough_to_omba_file;  // ROUGH_TO_OMBA
  int rough_to_omba_flag = 0;
  std::string poros_to_omba_file;  // POROS_TO_OMBA
  int poros_to_omba_flag = 0;
  std::string erosivity_to_omba_file;  // EROSIVITY_TO_OMBA
  int erosivity_to_omba_flag = 0;
  std::string crop_fact_to_omba_file;  // CROP_FACT_TO_OMBA
  int crop_fact_to_omba_flag = 0;
  std::string net_erosion_to_omba_file;  // NET_EROSION_TO_OMBA
  int net_erosion_to_omba_flag = 0;
  std::string moist_from_omba_file;  // MOIST_FROM_OMBA
  int moist_from_omba_flag = 0;
  std::string ksat_from_omba_file;  // KSAT_FROM_OMBA
  int ksat_from_omba_flag = 0;
  std::string rough_from_omba_file;  // ROUGH_FROM_OMBA
  int rough_from_omba_flag = 0;
  std::string erosivity_from_omba_file;  // EROSIVITY_FROM_OMBA
  int erosivity_from_omba_flag = 0;
  std::string crop_fact_from_omba_file;  // CROP_FACT_FROM_OMBA
  int crop_fact_from_omba_flag = 0;
  std::string et_demand_from_omba_file;  // ET_DEMAND_FROM_OMBA
  int et_demand_from_omba_flag = 0;
  std::string out_dep_location_file;  // OUT_DEP_LOCATION
  int out_dep_location_flag = 0;
  std::string out_con_location_file;  // OUT_CON_LOCATION
  int out_con_location_flag = 0;
  std::string out_mass_location_file;  // OUT_MASS_LOCATION
  int out_mass_location_flag = 0;
  int chan_con_trans = 0;  // CHAN_CON_TRANS
  std::string chan_point_input_file;  // CHAN_POINT_INPUT
  double chan_decay_coef = 0.0;  // CHAN_DECAY_COEF
  double chan_disp_coef = 0.0;  // CHAN_DISP_COEF
  double init_chan_conc = 0.0;  // INIT_CHAN_CONC
  int ov_con_trans = 0;  // OV_CON_TRANS
  int all_contam_output = 0;  // ALL_CONTAM_OUTPUT
  std::string ov_point_source_file;  // OV_POINT_SOURCE
  int ov_point_source_flag = 0;
  std::string ov_con_map_file;  // OV_CON_MAP
  int ov_con_map_flag = 0;
  double ov_decay_coef = 0.0;  // OV_DECAY_COEF
  double ov_disp_coef = 0.0;  // OV_DISP_COEF
  double ov_uptake_rate = 0.0;  // OV_UPTAKE_RATE
  double kinetics_timestep_factor = 0.0;  // KINETICS_TIMESTEP_FACTOR
  double soil_kinetics_timestep_factor = 0.0;  // SOIL_KINETICS_TIMESTEP_FACTOR
  double ov_mass_load = 0.0;  // OV_MASS_LOAD
  int soil_con_trans = 0;  // SOIL_CON_TRANS
  int soil_static_conc = 0;  // SOIL_STATIC_CONC
  int soil_noflux = 0;  // SOIL_NOFLUX
  int sediment_contam = 0;  // SEDIMENT_CONTAM
  int xwindows = 0;  // XWINDOWS
  int xrain = 0;  // XRAIN
  int xgwrecharge = 0;  // XGWRECHARGE
  int xdepth = 0;  // XDEPTH
  int xinfdep = 0;  // XINFDEP
  int x_freq = 0;  // X_FREQ
  int xchan = 0;  // XCHAN
  int xwin_width = 0;  // XWIN_WIDTH
  int xwin_height = 0;  // XWIN_HEIGHT
  int xbig = 0;  // XBIG
  int xsurf = 0;  // XSURF
  int non_ortho_channels = 0;  // NON_ORTHO_CHANNELS
  std::string stream_cell_file;  // STREAM_CELL
  std::string dike_map_file;  // DIKE_MAP
  int dike_map_flag = 0;
  double max_courant_number = 0.0;  // MAX_COURANT_NUMBER
  double first_order_chan_q = 0.0;  // FIRST_ORDER_CHAN_Q
  int hotstart_is_depth = 0;  // HOTSTART_IS_DEPTH
  std::string write_ov_hotstart_file;  // WRITE_OV_HOTSTART
  int write_ov_hotstart_flag = 0;
  std::string ov_init_depth_file;  // OV_INIT_DEPTH
  int ov_init_depth_flag = 0;
  std::string read_sm_hotstart_file;  // READ_SM_HOTSTART
  int read_sm_hotstart_flag = 0;
  std::string write_sm_hotstart_file;  // WRITE_SM_HOTSTART
  int write_sm_hotstart_flag = 0;
  std::string overland_lake_map_file;  // OVERLAND_LAKE_MAP
  int overland_lake_map_flag = 0;
  std::string sacramento_file;  // SACRAMENTO
  int sacramento_flag = 0;
  int topo_index = 0;  // TOPO_INDEX
  std::string conceptual_gw_file;  // CONCEPTUAL_GW
  int conceptual_gw_flag = 0;
  int topo_index_cgs = 0;  // TOPO_INDEX_CGS
  std::string storm_sewer_file;  // STORM_SEWER
  int storm_sewer_flag = 0;
  std::string grid_pipe_file;  // GRID_PIPE
  int superlink_c_opt = 0;  // SUPERLINK_C_OPT
  int high_head_release = 0;  // HIGH_HEAD_RELEASE
  int superlink_drainmod = 0;  // SUPERLINK_DRAINMOD
  std::string pipe_flow_file;  // PIPE_FLOW
  int pipe_flow_flag = 0;
  std::string pipe_head_file;  // PIPE_HEAD
  int pipe_head_flag = 0;
  std::string pipe_tile_file;  // PIPE_TILE
  int pipe_tile_flag = 0;
  std::string superlink_junc_location_file;  // SUPERLINK_JUNC_LOCATION
  int superlink_junc_location_flag = 0;
  std::string superlink_node_location_file;  // SUPERLINK_NODE_LOCATION
  int superlink_node_location_flag = 0;
  std::string superlink_junc_flow_file;  // SUPERLINK_JUNC_FLOW
  int superlink_junc_flow_flag = 0;
  std::string superlink_node_flow_file;  // SUPERLINK_NODE_FLOW
  int superlink_node_flow_flag = 0;
  std::string storm_drain_file;  // STORM_DRAIN
  int storm_drain_flag = 0;
  std::string drain_grid_pipe_file;  // DRAIN_GRID_PIPE
  std::string drain_output_file;  // DRAIN_OUTPUT
  int drain_output_flag = 0;
  int pause = 0;  // PAUSE
  int flush_buffer_flag = 0;  // FLUSH_BUFFER
  int flush_buffer = 0;
  std::string flood_grid_file;  // FLOOD_GRID
  int flood_grid_flag = 0;
  std::string flood_stream_file;  // FLOOD_STREAM
  int flood_stream_flag = 0;
  int ov_boundary = 0;  // OV_BOUNDARY
  int use_wells = 0;  // USE_WELLS
  std::string lake_pump_file;  // LAKE_PUMP
  int lake_pump_flag = 0;
  std::string paxl_base_grid_file;  // PAXL_BASE_GRID
  std::string paxl_base_stream_file;  // PAXL_BASE_STREAM
  int paxl_compression = 0;  // PAXL_COMPRESSION
  std::string paxl_datasetgroup_file;  // PAXL_DATASETGROUP
  int stream_info = 0;  // STREAM_INFO
  std::string q4_input_file;  // Q4_INPUT
  int q4_input_flag = 0;
  std::string sourcefile_file;  // SOURCEFILE
  int sourcefile_flag = 0;
  std::string ov_pump_file;  // OV_PUMP
  int ov_pump_flag = 0;
  int init_elev_head_flag = 0;  // INIT_ELEV_HEAD
  double init_elev_head = 0.0;
  std::string fyssi_file;  // FYSSI
  int fyssi_flag = 0;
  std::string daily_output_file;  // DAILY_OUTPUT
  int daily_output_flag = 0;
  int q4_fluxes = 0;  // Q4_FLUXES
  std::string q4_nodes_to_segs_file;  // Q4_NODES_TO_SEGS
  std::string q4_segment_map_file;  // Q4_SEGMENT_MAP
  std::string q4_segment_fluxes_file;  // Q4_SEGMENT_FLUXES
  std::string calib_obs_data_file;  // CALIB_OBS_DATA
  std::string st_mapping_table_file;  // ST_MAPPING_TABLE
  int st_mapping_table_flag = 0;
  std::string analyzers_file;  // ANALYZERS
  int analyzers_flag = 0;
  std::string total_ov_n_file;  // TOTAL_OV_N
  int total_ov_n_flag = 0;
  std::string total_ov_p_file;  // TOTAL_OV_P
  int total_ov_p_flag = 0;
  std::string total_chan_n_file;  // TOTAL_CHAN_N
  int total_chan_n_flag = 0;
  std::string total_chan_kn_file;  // TOTAL_CHAN_KN
  int total_chan_kn_flag = 0;
  std::string total_chan_p_file;  // TOTAL_CHAN_P
  int total_chan_p_flag = 0;
  double chan_ph = 0.0;  // CHAN_PH
  int snow_canopy_intercept = 0;  // SNOW_CANOPY_INTERCEPT
  int nwsrfs_snow = 0;  // NWSRFS_SNOW
  int nwsrfs_snow_w_rad = 0;  // NWSRFS_SNOW_W_RAD
  int eb_snow = 0;  // EB_SNOW
  int hy_snow = 0;  // HY_SNOW
  int reb_snow = 0;  // REB_SNOW
  int nwsrfs_retention = 0;  // NWSRFS_RETENTION
  int snap_retention = 0;  // SNAP_RETENTION
  int multiple_melt_waves = 0;  // MULTIPLE_MELT_WAVES
  int snap_snow_depth = 0;  // SNAP_SNOW_DEPTH
  int route_lat_snow = 0;  // ROUTE_LAT_SNOW
  std::string nwsrfs_elev_snow_file;  // NWSRFS_ELEV_SNOW
  int nwsrfs_elev_snow_flag = 0;
  int orogvar_hmet = 0;  // OROGVAR_HMET
  double nwsrfs_mf_constant = 0.0;  // NWSRFS_MF_CONSTANT
  int nwsrfs_mf_max_flag = 0;  // NWSRFS_MF_MAX
  double nwsrfs_mf_max = 0.0;
  int nwsrfs_mf_min_flag = 0;  // NWSRFS_MF_MIN
  double nwsrfs_mf_min = 0.0;
  int nwsrfs_fr_use_flag = 0;  // NWSRFS_FR_USE
  double nwsrfs_fr_use = 0.0;
  int nwsrfs_scf_flag = 0;  // NWSRFS_SCF
  double nwsrfs_scf = 0.0;
  int hmet_elev_gage_flag = 0;  // HMET_ELEV_GAGE
  double hmet_elev_gage = 0.0;
  double hmet_xcoord_gage = 0.0;  // HMET_XCOORD_GAGE
  double hmet_ycoord_gage = 0.0;  // HMET_YCOORD_GAGE
  int hmet_lapse_rate_flag = 0;  // HMET_LAPSE_RATE
  double hmet_lapse_rate = 0.0;
  int nwsrfs_tipm_flag = 0;  // NWSRFS_TIPM
  double nwsrfs_tipm = 0.0;
  int nwsrfs_nmf_flag = 0;  // NWSRFS_NMF
  double nwsrfs_nmf = 0.0;
  int nwsrfs_fua_flag = 0;  // NWSRFS_FUA
  double nwsrfs_fua = 0.0;
  int nwsrfs_plwhc_flag = 0;  // NWSRFS_PLWHC
  double nwsrfs_plwhc = 0.0;
  int snow_temp_base_flag = 0;  // SNOW_TEMP_BASE
  double snow_temp_base = 0.0;
  int snow_pxtemp_flag = 0;  // SNOW_PXTEMP
  double snow_pxtemp = 0.0;
  int yes_dalr_flag_flag = 0;  // YES_DALR_FLAG
  double yes_dalr_flag = 0.0;
  int veg_trans_min_flag = 0;  // VEG_TRANS_MIN
  double veg_trans_min = 0.0;
  int ovr_flow_block = 0;  // OVR_FLOW_BLOCK
  int ov_BMP = 0;  // OV_BMP
  std::string runoff_mmph_file;  // RUNOFF_MMPH
  int runoff_mmph_flag = 0;
  std::string rainfall_mmph_file;  // RAINFALL_MMPH
  int rainfall_mmph_flag = 0;

  // Cards with a form of their own.
  int qir_event_num = 0;  // QIR_EVENT_NUM
  int qir_event_num_flag = 0;
  std::string project_folder_file;  // PROJECT_FOLDER, PROJECT_PATH
  int super_quiet = 0;  // SUPER_QUIET
  std::string hmet_file;  // HMET_SURFAWAYS, HMET_SAMSON, HMET_KAL, HMET_ASCII
  int hmet_surfaways_flag = 0;
  int hmet_samson_flag = 0;
  int hmet_kal_flag = 0;
  int hmet_ascii_flag = 0;
  std::string hmet_orog_gages_file;  // HMET_OROG_GAGES
  int hmet_orog_gages_flag = 0;
  int init_swe_depth_kind = 0;  // INIT_SWE_DEPTH: 1 map, 3 uniform value
  double init_swe_depth = 0.0;
  std::string init_swe_depth_file;
  int overtype = 0;  // OVERTYPE: 1 explicit, 2 ade, 3 ade-pc
  int m_lake_flag = 0;  // M_LAKE
  double m_lake = 0.0;
  std::string lowspot_file;  // LOWSPOT_FILE
  int lowspot_file_flag = 0;
  std::string overland_lake_file;  // OVERLAND_LAKE_FILE
  int reten_depth_flag = 0;  // RETEN_DEPTH
  std::string reten_depth_file;
  int unif_retention_flag = 0;  // RETENTION
  double retention = 0.0;
  std::string moisture_file;  // MOISTURE
  int moisture_flag = 0;
  std::string area_reduction_file;  // AREA_REDUCTION
  int area_reduction_flag = 0;
  std::string soil_layer_input_file;  // SOIL_LAYER_INPUT_FILE
  int richards_k_option = 0;  // RICHARDS_K_OPTION: 1 arithmetic, 2 geometric
  int richards_c_option = 0;  // RICHARDS_C_OPTION: 1 brooks, 2 havercamp
  int richards_upper_option = 0;  // RICHARDS_UPPER_OPTION: 2 green_ampt, 3 average
  std::string permafrost_gipl;  // PERMAFROST_GIPL, MULTI_LAYER_INFIL_GIPL
  int permafrost_gipl_flag = 0;
  int multi_layer_infil_gipl_flag = 0;
  int explic_backwater_flag = 0;  // EXPLIC_BACKWATER
  int write_chan_hotstart_flag = 0;  // WRITE_CHAN_HOTSTART
  std::string chan_hotstart_out_file;
  int explic_hotstart_flag = 0;  // EXPLIC_HOTSTART
  int read_chan_hotstart_flag = 0;  // READ_CHAN_HOTSTART
  std::string chan_hotstart_in_file;
  std::string gw_boundfile_file;  // GW_BOUNDFILE
  int gw_boundfile_flag = 0;
  std::string paxl_file;  // PAXL_FILE
  int snow_swe_file_flag = 0;  // SNOW_SWE_FILE
  std::string snow_swe_file;
  int snow_sd_file_flag = 0;  // SNOW_SD_FILE
  std::string snow_sd_file;
  int snow_temp_flag = 0;  // SNOW_TEMP
  std::string snow_temp_file;
  int xybdy_ov_input_on = 0;  // XYBDYINPUT_OVDEP and its interpolated forms
  int xybdy_ov_stage_on = 0;
  int nutrients = 0;  // NUTRIENTS
  std::unique_ptr<tvx_object> tvx_state;  // built by NUTRIENTS; null before it and without it
  int soils_tvx_p = 0;  // SOILS_TVX_P
  int soils_tvx_c = 0;  // SOILS_TVX_C
  int soils_tvx_n = 0;  // SOILS_TVX_N
  // NO2_KM..DP_KM at 0..5, NO2_KOC..DP_KOC at 6..11; empty until the first of those cards.
  std::vector<double> tvx_soil_km_koc;
  int calib_comp_data = 0;  // CALIB_COMP_DATA: 0 daily, 1 event
  int calib_obj_func = 0;  // CALIB_OBJ_FUNC: 0 rmse, 1 hmle

  // XY boundary output record.
  int xybdyoutput_is_mask = -1;  // 0 by points, 1 by mask, -1 not chosen
  int xybdyoutput_flag = 0;
  std::string xybdyoutput_file;
  std::string xybdyoutput_ovdep_file;
  std::string xybdyoutput_gwhead_file;
  std::string xybdyoutput_stflow_file;
  xy_output xybdy_outputs;
  // XY boundary inputs, read at card time.
  xy_input xybdy_inputs;
};

struct run_parameters_block {
  int units = 0;  // UNITS
  double gridsize = 0.0;  // GRIDSIZE
  int rows = 0;  // ROWS
  int cols = 0;  // COLS
  int tot_time = 0;  // TOT_TIME
  double timestep = 0.0;  // TIMESTEP
  double outslope = 0.0;  // OUTSLOPE
  int outrow = 0;  // OUTROW
  int outcol = 0;  // OUTCOL
  double hyd_freq = 0.0;  // HYD_FREQ
  int map_freq = 0;  // MAP_FREQ
  int map_type = 0;  // MAP_TYPE
  double latitude = 32.0;  // LATITUDE, degrees
  double longitude = -90.0;  // LONGITUDE, degrees
  int gmt_flag = 0;  // GMT
  double gmt = 0.0;
  int qout_cfs = 0;  // QOUT_CFS
  int quiet = 0;  // QUIET
  int gw_fluxboundtable_flag = 0;
  double st_time_step = 0.0;  // ST_TIME_STEP
  int start_year = 0;  // START_DATE
  int start_month = 0;
  int start_day = 0;
  int start_hour = 0;  // START_TIME
  int start_minute = 0;
  int end_year = 0;  // END_TIME
  int end_month = 0;
  int end_day = 0;
  int end_hour = 0;
  int end_minute = 0;
  int inf_method = 0;  // 1 Green and Ampt, 2 with redistribution, 3 layered, 4 Richards
  int chan_method = 0;  // 1 Preissmann, 2 drain, 3 explicit, 4 mesh, 5 backwater
  int project_open_error = 0;
};

struct precip_options_block {
  int precip_type = 0;  // 0 uniform rain, 1 PRECIP_FILE
  int rain_interp = 1;  // 0 inverse distance, 1 Thiessen
  double rain_intensity = 0.0;  // RAIN_INTENSITY
  int rain_duration = 0;  // RAIN_DURATION
  std::string precip_file;
};

}  // namespace pluvo
