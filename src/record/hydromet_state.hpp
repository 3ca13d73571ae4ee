#pragma once
// Precipitation, hydrometeorology and snow fields of the model record.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/checked_array.hpp"
#include "common/date_record.hpp"

namespace pluvo {

struct hydromet_state {
  std::vector<double> cell_rain_rate;  // gross rain rate per cell, mm/h
  int32_t snow_present = 0;
  std::vector<double> snow_swe;    // per cell, m
  std::vector<double> snow_depth;  // per cell, m
  // Per cell, entries 1..11: the snowpack's parameter row (4: effective porosity, 11: grain
  // size), filled by the snow set-up.
  std::vector<std::array<double, 12>> snap_pluvo_params;
  // Precipitation of the current event.
  int32_t precip_kind = 0;      // 2: radar event
  int32_t precip_state = 0;     // 0 ready for the next event, 1 raining, 2 no further event, 3 rain over
  int32_t precip_record_count = 0;
  int32_t precip_record_index = 0;
  int32_t uniform_rain_step = 1;
  double uniform_rain_duration = 0.0;  // min
  double precip_next_time = 0.0;
  int32_t event_start_year = 0;
  int32_t event_start_month = 0;
  int32_t event_start_day = 0;
  int32_t event_start_hour = 0;
  // Dates of the current event's records, from index 1.
  std::vector<date_record> precip_dates = std::vector<date_record>(2);

  double elev_scale_step = 100.0;
  int32_t gauge_count = 0;  // NRGAG; -1 while a radar event is read, 1 once read
  int32_t precip_gages_card = 0;
  int32_t precip_rates_card = 0;
  int32_t precip_accum_card = 0;
  std::vector<double> gauge_x;  // gauge coordinates, entries 1..gauge_count
  std::vector<double> gauge_y;
  // [gauge][record], both from 1; grows, never shrinks, new entries 0.
  checked_array_2d<double> precip_table;
  std::vector<std::string> radar_filenames;  // radar file of record k at k-1; empty: no table
  std::string event_title;                   // rest of the EVENT line, for messages
  int32_t precip_convert_pending = 0;
  double precip_record_start = 0.0;
  double event_start_julian = 0.0;      // model time at which the event was read
  int32_t event_reads_in_process = 0;   // event reads of this run
  std::vector<int32_t> nearest;         // nearest gauge per cell
  double avg_rain_rate = 0.0;           // watershed mean of the step, mm/h
  int32_t rain_on = 0;
  double rain_volume_total = 0.0;       // m3, run
  double rain_depth_step = 0.0;         // m, the cell being processed

  // Snow the rain feeds in long-term runs.
  std::vector<double> temper_gridded;   // air temperature per cell, degrees C
  std::vector<double> snow_scf_cell;    // snowfall correction factor
  std::vector<double> H_Val;
  std::vector<double> Snow_Accumulated_Hr;

  // Hydrometeorological records.
  int32_t hmet_repaired_count = 0;
  int32_t hmet_records_read = 0;
  int32_t hmet_eof = 0;
  int32_t hmet_read_status = 0;
  int32_t hmet_within_one_year = 0;
  int32_t hmet_year = 0;        // first record
  int32_t hmet_month = 0;
  int32_t hmet_day = 0;
  int32_t hmet_hour = 0;
  int32_t hmet_last_year = 0;   // last record
  int32_t hmet_last_month = 0;
  int32_t hmet_last_day = 0;
  int32_t hmet_last_hour = 0;

  // Record defaults.
  // Snowpack constants handed to the snowmelt computation, by position.
  double snowpack_const_1 = 3.0;
  double snowpack_const_2 = 0.67;
  double snowpack_const_3 = 10.0;
  double snowpack_const_4 = 3.0;
  int snowpack_step_s = 3600;
  double snowpack_const_6 = 1.0;
  double snowpack_const_7 = 0.077;
  double snow_fusion_heat = 80.0;  // cal/g
  double snow_longwave_offset = 27.0;
  int hmet_station_count = 1;
  int energy_balance_mode = 1;
  double intercepted_volume_start = 0.0;
  double intercepted_volume_event = 0.0;
  double canopy_sublimation_total = 0.0;
  double canopy_sublimation_start = 0.0;
  double canopy_sublimation_event = 0.0;
  // Snow of long-term runs, per cell 1..N unless noted.
  std::vector<double> Wq;               // liquid water held in the pack, mm (part of snow_swe)
  std::vector<double> Wi;               // ice-content term of the liquid-water balance
  std::vector<double> snow_melt_to_ov;  // melt water produced and not yet on the ground, m
  std::vector<double> snow_density;     // g/cm3
  std::vector<double> snow_prev_air_temp;
  std::vector<double> ATI_2;            // antecedent temperature index, degrees C
  std::vector<double> D_2;              // heat deficit, mm
  std::vector<std::array<double, 7>> SNOW_PRECIP_6HR;  // mm of the last six snow steps, 1 newest
  // Melt waves 1..melt_wave_count, each (water left, m; release per hour, m); the last is newest.
  std::vector<std::array<std::array<double, 2>, 7>> Melt_Waves;
  int32_t melt_wave_count = 1;
  std::vector<int32_t> snow_no_infil_cell;
  std::vector<std::array<double, 24>> sn_stat;  // layered pack status, entries 1..22
  std::vector<std::array<std::array<double, 6>, 52>> wave;  // layered pack fronts 1..51
  // Melt parameters of the temperature-index and hybrid models.
  std::vector<double> snow_mf_max_cell, snow_mf_min_cell, snow_fr_use_cell, snow_tipm_cell,
      snow_nmf_cell, snow_fua_cell, snow_plwhc_cell;
  double snow_base_temp = 0.0;     // melt base temperature, degrees C
  double melt_factor_const = 0.0;  // melt factor of the model with radiation
  int32_t melt_occurring = 0;      // melt water is still held somewhere
  int32_t melt_stepping_on = 0;    // melt water is being released outside rain events
  double snow_hours_accumulated = 0.0;  // model hours since the last hourly snow step
  // Canopy snow, m of water per cell: held, and sublimated and dropped to the pack in the step.
  std::vector<double> canopy_snow_load, canopy_snow_sublimation, canopy_snow_unload;
  double snow_volume_initial_run = 0.0;  // m3 of snow water the run starts with (INIT_SWE_DEPTH)
  double snow_volume_final = 0.0;
  double melt_volume_final = 0.0;
  // Hydrometeorological record of a long-term run.
  std::string hmet_station;
  int hmet_surfaways_on = 0;
  int hmet_samson_on = 0;
  int hmet_kal_on = 0;
  double uniform_rain_intensity = 0.0;  // mm/h
  int snow_calibrate_on = 0;
  // Working settings from the run parameters.
  int eb_snow_on = 0;
  int hmet_ascii_on = 0;
  int hmet_elev_gage_on = 0;
  int hmet_lapse_rate_on = 0;
  int hmet_orog_gages_on = 0;
  std::string hmet_orog_gages_path;
  std::string hmet_path;
  int hy_snow_on = 0;
  int nwsrfs_elev_snow_on = 0;
  std::string nwsrfs_elev_snow_path;
  int nwsrfs_fr_use_on = 0;
  int nwsrfs_fua_on = 0;
  int nwsrfs_mf_max_on = 0;
  int nwsrfs_mf_min_on = 0;
  int nwsrfs_nmf_on = 0;
  int nwsrfs_plwhc_on = 0;
  int nwsrfs_scf_on = 0;
  int nwsrfs_snow_on = 0;
  int nwsrfs_snow_w_rad_on = 0;
  int nwsrfs_tipm_on = 0;
  int orogvar_hmet_on = 0;
  int rain_inv_distance_on = 0;
  int rain_thiessen_on = 0;
  int reb_snow_on = 0;
  int route_lat_snow_on = 0;
  int snap_retention_on = 0;
  int snap_snow_depth_on = 0;
  int snow_canopy_intercept_on = 0;
  std::vector<double> snow_canopy_value1;  // per cell, SNOW_CANOPY_INTERCEPTION columns 1-3
  std::vector<double> snow_canopy_value2;
  std::vector<double> snow_canopy_value3;
  int snow_pxtemp_on = 0;
  int snow_temp_base_on = 0;
  // The current hourly weather as the open-water evaporation of lakes and BMP units reads it
  // (added with the lakes and BMPs; the hourly reader fills them).
  double hmet_temperature = 0.0;  // degrees C
  double hmet_rh = 0.0;           // percent
  double hmet_wind_speed = 0.0;   // m/s
  // Map outputs: snow temperature per cell (SNOW_TEMP), filled by the snow model.
  std::vector<double> snow_temperature;
  // ---- hourly weather reader, radar and hourly phase fields ----
  // Radar grid of the current radar event: the header of its first file, the cell of the radar
  // grid under each model cell, and the rates of the last grid read.
  int32_t radar_cols = 0;
  int32_t radar_rows = 0;
  double radar_ll_x = 0.0;  // lower-left corner
  double radar_ll_y = 0.0;
  double radar_cell_size = 0.0;
  double radar_nodata = 0.0;
  double radar_west = 0.0;
  double radar_north = 0.0;
  std::vector<int32_t> pluvo_to_precip;  // per cell 1..N: row x columns + column, both from 0
  std::vector<double> precip_data;       // mm/h, radar columns x rows, row x columns + column
  // The hourly record as the reader delivers it (temperature, humidity and wind are above).
  double hmet_direct_rad = 0.0;   // W/m2
  double hmet_diffuse_rad = 0.0;  // W/m2
  double hmet_cloud_cover = 0.0;  // tenths
  double hmet_pressure = 0.0;     // millibars
  int32_t hmet_record_count = 0;  // what the scan counted
  // Per-cell hourly values, cells 1..N (the temperature is temper_gridded above).
  std::vector<double> direct_gridded;
  std::vector<double> diffuse_gridded;
  std::vector<double> cloud_cover_gridded;
  std::vector<double> rh_gridded;
  std::vector<double> pres_gridded;
  std::vector<double> vel_gridded;
  // The weather station.
  double hmet_station_x = 0.0;
  double hmet_station_y = 0.0;
  double hmet_station_elev = 0.0;  // m
  double station_lapse_rate = 0.0;
  // Orographic lapse rate: from the YES_DALR_FLAG card, or each hour from the orographic file.
  int32_t dalr_on = 0;
  double dalr_value = 0.0;      // degrees per metre
  double orog_base_elev = 0.0;  // m, orographic file header
  double orog_gage_elev = 0.0;
  // Solar geometry of the hour, radians.
  int32_t hmet_day_of_year = 0;
  double solar_declination = 0.0;
  double solar_hour_angle = 0.0;
  double solar_altitude = 0.0;
  double solar_azimuth = 0.0;
  double solar_zenith = 0.0;
  // Radiation index of the snow model with radiation.
  double mean_cell_elevation = 0.0;  // m
  double daily_radiation_index = 0.0;
  double max_daily_radiation_index = 0.0;
  int32_t melt_steps_since_hmet = 0;
  // Per station from row 0: x, y, z, level, pressure, humidity (%), cloud cover, wind,
  // temperature, specific humidity. The station set-up fills columns 0..3; the hourly phase 4..9
  // of row 0.
  std::vector<std::array<double, 10>> Gage_XYZ_Lev_P_rh_c_w_t_qh;
  std::vector<double> Cell_Aspect_Eff_Rad_Percent;  // per cell 0..N, and N + 1 as scratch
  // What the hourly reader remembers between calls; each run starts it afresh.
  struct hmet_reader_memory {
    // Last good value of each quantity (0 direct, 1 global or diffuse radiation, 2 pressure,
    // 3 humidity, 4 sky cover, 5 wind, 6 temperature), by hour slot 0..25 or single; NaN until
    // one is met, and then the first good value the scan found stands in.
    std::array<std::array<double, 26>, 7> by_hour{};
    std::array<double, 7> single{};
    std::array<double, 7> first_good{};
    int32_t samson_skip_header = 0;
    int32_t samson_record = 0;
    // Surface Airways: the day being delivered, by element (as the quantities above) and slot.
    int32_t day_year = 0;
    int32_t day_month = 0;
    int32_t day_day = 0;
    int32_t day_slots = 0;  // slots of the buffered day; 0: none buffered
    int32_t day_slot = 0;   // next slot to deliver
    int32_t day_has_direct = 0;
    int32_t day_has_global = 0;
    std::array<std::array<long, 26>, 7> day_values{};
    std::array<int32_t, 26> day_hours{};
    std::string held_line;  // first line of the following day
    int32_t at_end = 0;
  };
  hmet_reader_memory hmet_memory;

  // ---- solar geometry, shading, stations, bands and energy balance fields ----
  // Terrain shading of the day: per cell, entry h is 1 when the cell is shaded at hour h.
  std::vector<std::array<uint8_t, 24>> shade_by_hour;
  // Band rows of every station, flat [station * (elev_scale_count + 1) + row]: elevation,
  // temperature, pressure, vapour pressure, saturation vapour pressure, lapse rate.
  std::vector<std::array<double, 6>> El_T_P_e_es_LR;
  std::vector<double> Dist_Cell2Gage;  // flat [cell * hmet_station_count + station], m
  std::vector<int> LR_Num;             // band row of each cell: it lies between rows b-1 and b
  std::vector<double> R_short;         // W/m2 per cell
  std::vector<double> R_long;
  std::vector<double> inc_solar_rad;
  std::vector<double> eff_temp_gridded;
  std::vector<double> temper_gridded_sum;
  std::vector<int> Hours_Since_Snow;
  std::vector<int> melt_occurred;  // the snow model counts melt steps here; the albedo clears it
  int albedo_hour_count = 0;       // hours since the last albedo update
  double veg_trans_minimum = 0.4;  // VEG_TRANS_MIN
};

}  // namespace pluvo
