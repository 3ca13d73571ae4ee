#pragma once
// Overland flow, lakes and BMP fields of the model record.
#include <string>
#include <cstdint>
#include <vector>

#include "common/pumps.hpp"

namespace pluvo {

// One overland lake; the slots keep their order in the lake table.
struct overland_lake_record {
  double wse = 0.0;          // current water-surface elevation, m
  double initial_wse = 0.0;  // from the lake file, m
  double unused_2 = 0.0;
  double volume = 0.0;       // m3 above the ground of its cells
  double added_volume = 0.0; // m3 this step
  double unused_5 = 0.0;
  int32_t unused_6 = 0;
  int32_t lake_cell_count = 0;
  double unused_7 = 0.0;
};

// The BMP units (OV_BMP), one per cell with a BMP type above 0, numbered from 1 in cell order;
// every per-unit vector has entry 0 unused.
struct bmp_record {
  int unit_count = 0;
  std::vector<int32_t> type;
  std::vector<int32_t> GNUM;      // cell of the unit
  std::vector<int32_t> GNUM_num;  // per cell: its unit, 0 for none
  std::vector<double> area;       // m2
  std::vector<double> storage;    // m3
  std::vector<double> seepage_rate;   // cm/h
  std::vector<double> outlet_height;  // m
  std::vector<int32_t> inflow_type;
  std::vector<int32_t> outflow_type;
  std::vector<double> inflow_param;
  std::vector<double> outflow_param;
  std::vector<double> soil_depth;    // m, 0 for none
  std::vector<double> soil_storage;  // m3
  std::vector<double> TSS_TE;        // sediment trapping efficiency from the table
};

// Sub-step control of the explicit overland scheme. It lives in the run's record so
// that every run of a batch starts from the same state.
struct explicit_step_control {
  double reduced_substep = 0.0;  // s, chosen by the last division
  int calls_left = 0;            // further calls that start with the reduced sub-step
  int changed = 0;               // set while calls use the reduced sub-step
  int sweep_order = 0;           // flipped every call: 1 y before x, 0 x before y
  // Sub-steps gathered, those of them whose face discharges were kept from a failed first
  // sub-step, and those that are part of a finished step (the rest were thrown away).
  int64_t substeps_run = 0;
  int64_t substeps_reused = 0;
  int64_t substeps_kept = 0;
};

struct overland_state {
  std::vector<double> ov_depth;        // per cell, m
  std::vector<double> ov_depth_2;      // per cell, m
  std::vector<double> ov_depth_3;      // per cell, m
  std::vector<double> ov_event_store;  // per cell
  int32_t ov_water_present = 0;        // water on the grid at the start
  int32_t ov_init_depth_on = 0;        // OV_INIT_DEPTH map given
  int32_t init_elev_head_on = 0;       // INIT_ELEV_HEAD given
  int32_t overland_lakes_on = 0;
  int32_t overland_lake_count = 0;
  std::vector<overland_lake_record> overland_lake_records;  // from 1
  std::vector<int32_t> oland_lake_mask;  // per cell: lake of the initial extent, 0 elsewhere
  std::vector<int32_t> oland_lake_new;   // per cell: lake of the current extent
  int32_t ov_bmp_on = 0;
  int32_t bmp_keep_stepping = 0;  // the BMP units ask to step between events
  // Set once the wetland cells' ground has been lowered by their wetland depth, so a
  // later event start never lowers it again.
  int32_t wetland_elevation_lowered = 0;
  std::vector<double> ov_depth_change;  // work per cell
  int32_t ov_boundary_on = 0;
  std::vector<int32_t> boundary_type;   // overland boundary type per cell
  double ov_head_bound_loss = 0.0;      // m3
  double olake_rain_volume_total = 0.0;  // m3 of rain on overland lakes in the run
  int32_t olake_extent_update = 0;       // asks the lake step to recompute the extents

  // Record defaults.
  int overland_scheme = 2;  // 1 explicit, 2 ADE, 3 ADE with predictor-corrector
  int ov_route_toggle = 1;  // alternates between 1 and 2 every routing step
  double snow_darcy_value = -1.0;  // -1.0 while SNOW_DARCY is not given
  int manning_n_on = 0;
  // Working settings from the run parameters.
  std::string dike_map_path;
  std::string lowspot_path;
  double manning_n_value = 0.0;
  double max_courant_number_value = 0.0;
  int ov_xy_boundary_on = 0;
  int ov_xy_stage_on = 0;
  std::string overland_lake_file_path;
  std::string overland_lake_map_path;
  std::string roughness_path;
  int snow_darcy_on = 0;
  int snow_no_infiltrate_on = 0;
  int snow_roughness_on = 0;
  std::vector<double> depth_map;  // depth of the last map output time
  double ov_cleanup_volume = 0.0;        // m3 the overland clean-up put in (negative depths set to 0), run total
  double ov_cleanup_volume_start = 0.0;
  double ov_cleanup_volume_event = 0.0;
  // Overland boundary volumes: run totals, their values at the event start, event figures.
  double ov_slope_bound_loss = 0.0;
  double ov_discharge_bound_gain = 0.0;
  double ov_discharge_bound_loss = 0.0;
  double ov_discharge_bound_unmet = 0.0;
  double ov_head_bound_loss_start = 0.0;
  double ov_head_bound_gain_start = 0.0;
  double ov_slope_bound_loss_start = 0.0;
  double ov_discharge_bound_gain_start = 0.0;
  double ov_discharge_bound_loss_start = 0.0;
  double ov_discharge_bound_unmet_start = 0.0;
  double ov_head_bound_loss_event = 0.0;
  double ov_head_bound_gain_event = 0.0;
  double ov_slope_bound_loss_event = 0.0;
  double ov_discharge_bound_gain_event = 0.0;
  double ov_discharge_bound_loss_event = 0.0;
  double ov_discharge_bound_unmet_event = 0.0;
  double ov_point_source_volume = 0.0;  // event
  double ov_point_source_total = 0.0;   // run
  // BMP record totals, event and run.
  double bmp_precip_volume = 0.0;
  double bmp_from_ov_volume = 0.0;
  double bmp_to_ov_volume = 0.0;
  double bmp_to_gw_volume = 0.0;
  double bmp_precip_total = 0.0;
  double bmp_from_ov_total = 0.0;
  double bmp_to_ov_total = 0.0;
  double bmp_to_gw_total = 0.0;
  // Lakes.
  double lake_evap_volume = 0.0;        // run total
  double lake_evap_volume_start = 0.0;
  double lake_evap_volume_event = 0.0;
  double olake_volume_initial = 0.0;
  double olake_volume_final = 0.0;
  double olake_added_volume = 0.0;    // run total into overland lakes (rain, inflow, ponded water of cells taken), m3
  double olake_drained_volume = 0.0;  // run total out of overland lakes, m3
  double olake_stored_volume = 0.0;   // held over the ground of the current lake cells, m3
  std::vector<double> olake_release_limit;  // per overland lake, m3 its faces may still take in the step

  std::vector<double> ov_qx;            // m3/s across the face toward rightcon, + away from the cell
  std::vector<double> ov_qy;            // m3/s across the face toward belowcon
  std::vector<double> ov_vol_x;         // face flows accumulated by the ADE scheme
  std::vector<double> ov_vol_y;
  std::vector<double> max_flood_depth;  // running maximum of ov_depth (FLOOD_GRID)
  int ov_flow_present = 0;   // some non-lake cell has a face discharge above 1e-16
  int ov_water_on_land = 0;  // some non-lake cell holds more than 1e-16 m
  int ov_routed_steps = 0;
  int ade_sweep_order = 1;   // 1 or 2, alternates over routed steps
  int lake_exchange_active = 0;
  double event_ov_outflow_volume = 0.0;  // m3
  double total_discharge_volume = 0.0;   // m3
  double ov_to_lake_volume = 0.0;
  double lake_outflow_volume = 0.0;  // m3 out of the channel lakes in the run, to land and links
  double ov_from_lake_volume = 0.0;
  double ov_head_bound_gain = 0.0;  // m3
  int bmp_water_present = 0;        // some BMP still holds water
  explicit_step_control explicit_control;
  // Alternating-direction scheme: its sub-step control lives in the run's record, so every
  // run of a batch starts from these values.
  double ade_scale = 1.0;         // tolerance scale of the depth-change tests
  int ade_good_steps = 0;         // predictions that allowed a longer sub-step
  int ade_status = 0;             // worst sweep status of the current sub-step
  double ade_last_substep = 0.0;  // s; 0 until the run's first call sets it to dt
  std::vector<double> ov_depth_step_start;  // per cell, m: a restart begins from here
  std::vector<double> ov_depth_pred;        // per cell, m: predicted depth (ADE-PC)
  std::vector<double> ov_q_saved;           // per cell, m3/s: predictor face flows (ADE-PC)
  std::vector<double> ade_reference_depth;  // per cell, m: depth at the start of the sweep
  std::vector<double> ade_lake_change;      // per overland lake, m3 exchanged in the step
  std::vector<double> explicit_saved_depth;  // depths at the start of the call, once a later sub-step needs them kept
  std::vector<double> explicit_saved_lake_elev;    // channel lakes at the start of the call
  std::vector<double> explicit_saved_lake_volume;
  std::vector<double> explicit_next_depth;   // depths after the current sub-step
  std::vector<double> explicit_depth_term;   // (depth - retention)^(5/3) per cell, 0 when dry
  // Overland boundaries per cell.
  std::vector<double> ov_bound_value;   // column 1 of the boundary table, then the current value
  std::vector<double> ov_bound_input;   // stored value, or number of a series or rating curve
  std::vector<int32_t> face_dir;        // 0..4, present when a cell has type 6 or 7
  std::vector<double> face_head;        // 0..4, present when a cell has type 6 or 7
  std::vector<int32_t> ov_rating_curves;  // per cell: position of its elevation series, -1 none
  // Overland pumps and point sources.
  std::vector<pump_record> ov_pumps;          // from the OV_PUMP file, applied in file order
  std::vector<double> ov_point_source_flow;   // per cell, m3/s onto the cell (OV_POINT_SOURCE)
  // BMP units and the seepage and percolation totals of the event and the run (m3), added
  // with the BMP step.
  bmp_record BMP;
  double bmp_seepage_volume = 0.0;
  double bmp_seepage_total = 0.0;
  // Map outputs: per cell the magnitude of the two face discharges, m3/s, at the last map time.
  std::vector<double> ov_discharge_magnitude;
};

}  // namespace pluvo
