// The event section of the run summary file.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/julian.hpp"
#include "output/output_phases.hpp"
#include "output/report_lines.hpp"
#include "output/summary_file.hpp"
#include "output/transport_summary.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// One line of the event volume table; "+blank" lines are followed by a line holding one blank.
void volume_line(std::FILE* f, const char* label, double value, bool blank_after = false) {
  std::fputs(label, f);
  std::fprintf(f, blank_after ? "%16.1lf\n \n" : "%16.1lf\n", value);
}

void write_separator(const model_state& m, std::FILE* f) {
  if (!m.long_term_on || m.event_number < 2) return;
  std::fputs("\n\n", f);
  put_line(f, std::string(78, '-').c_str());
}

// The station name is the leading run of upper-case letters of the station text.
std::string station_name(const std::string& text) {
  std::string name;
  for (char c : text) {
    if (c < 'A' || c > 'Z') break;
    name += c;
  }
  return name;
}

// Calendar date and time of the event's start.
struct start_date {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

start_date event_start_date(const model_state& m) {
  start_date d;
  double seconds = 0.0;
  calendar_from_julian(m.event_start, d.year, d.month, d.day, d.hour, d.minute, seconds);
  return d;
}

void write_heading(const model_state& m, std::FILE* f) {
  const start_date s = event_start_date(m);
  if (!m.long_term_on) {
    put_line(f, "         PLUVO EVENT RUNOFF SIMULATION SUMMARY");
    std::fprintf(f, "            Event began on %2.2d/%2.2d/%4.4d at %2.2d:%2.2d\n",
                 s.month, s.day, s.year, s.hour, s.minute);
    return;
  }
  std::fprintf(f, "       PLUVO LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT %ld\n",
               long(m.event_number));
  std::fprintf(f, "Event began on strict Julian date:                    %16.8lf\n", m.event_start);
  std::fprintf(f, "Event ended on strict Julian date:                    %16.8lf\n", m.cur_julian);
  std::fprintf(f, "Event began on %2.2ld/%2.2ld/%4.4ld at %2.2ld:%2.2ld  GMT %3.1f hours.\n\n",
               long(s.month), long(s.day), long(s.year), long(s.hour), long(s.minute),
               m.gmt_offset);
  if (m.hmet_samson_on)
    std::fprintf(f, "PLUVO used NCDC/SAMSON hydrometeorological data from the %s station\n",
                 station_name(m.hmet_station).c_str());
  if (m.hmet_surfaways_on) put_line(f, "PLUVO used NCDC/Surface Airways hydrometeorological data.");
  // Each hourly record overwrites the first record's date the scan left; a long-term run
  // starts its clock at that record.
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  calendar_from_julian(m.start_julian, year, month, day, hour, minute, seconds);
  std::fprintf(f, "Hydrometeorology data began on: %2.2d/%2.2d/%4d at %2d:00\n", month, day, year, hour);
  std::fprintf(f, "and ended on:                   %2.2d/%2.2d/%4d at %2d:00\n", m.hmet_last_month,
               m.hmet_last_day, m.hmet_last_year, m.hmet_last_hour);
  std::fprintf(f, "The following number of hydromet. data points were repaired:%d\n",
               m.hmet_repaired_count);
  if (m.et_calc_penman_on) put_line(f, "Penman-Montieth evapotranspiration was calculated.");
  if (m.et_calc_deardorff_on) put_line(f, "Deardorff bare-soil evaporation was calculated.");
  if (m.sacramento_on) put_line(f, "Sacramento soil moisture accounting was used.");
  std::fputc('\n', f);
}

void write_rain_and_run_figures(const model_state& m, std::FILE* f) {
  if (m.uniform_rain_on)
    std::fprintf(f, "   With uniform rainfall of %6.1lf mm/h for %6.1lf minutes.\n\n",
                 m.uniform_rain_intensity, m.uniform_rain_duration);
  if (m.precip_on) std::fputs("With raingage data ", f);
  if (m.precip_kind) std::fputs("With radar-rainfall estimates ", f);
  if (m.rain_inv_distance_on) std::fputs("using inverse-distance squared interpolation.\n\n", f);
  if (m.rain_thiessen_on) std::fputs("using Thiessen polygon interpolation.\n\n", f);
  put_line(f, m.units_flag == 0 ? "elevation and gridsize are in meters"
                           : "elevation and gridsize were converted from feet to meters");
  std::fprintf(f, "timestep                                   %5.1lf seconds\n", m.time_step);
  if (m.long_term_on)
    std::fprintf(f, "initial basin-averaged soil water content: %5.2lf percent\n",
                 m.initial_soil_water * 100.0);
  std::fprintf(f, "number of timesteps with rain:             %d\n", m.rain_step_count);
  std::fprintf(f, "elapsed time when rain began:              %5.2lf\n \n",
               m.rain_start_min - m.time_step / 60.0);
  if (m.event_peak_q > 0.0) {
    std::fprintf(f, "peak occured on strict Julian date:       %16.8lf\n", m.event_peak_julian);
    std::fprintf(f, "date/time of peak discharge:              %d/%d/%d  %d:%2.2d:%2.2d\n",
                 m.peak_month, m.peak_day, m.peak_year, m.peak_hour, m.peak_minute,
                 m.peak_second);
  }
  std::fprintf(f, "Event peak discharge (cubic meters per second):  %12.4lf\n\n", m.event_peak_q);
  put_line(f, "Note: all volumes in cubic meters.");
}

void write_boundary_volumes(const model_state& m, std::FILE* f) {
  // Pumped water is booked with the discharge boundaries, so pumps alone show those lines.
  const bool heads = m.ov_boundary_on || m.ov_boundary2_on;
  const bool discharges = m.ov_boundary_on || m.ov_pump_flag;
  if (!heads && !discharges) return;
  std::fputc('\n', f);
  if (heads) {
    volume_line(f, "Volume to specified head (out):      ", m.ov_head_bound_loss_event);
    volume_line(f, "Volume from specified head (in):     ", m.ov_head_bound_gain_event);
  }
  if (discharges) {
    volume_line(f, "Volume to specified slope (out):     ", m.ov_slope_bound_loss_event);
    volume_line(f, "Volume from specified discharge (in):", m.ov_discharge_bound_gain_event);
    volume_line(f, "Volume to specified discharge (out): ", m.ov_discharge_bound_loss_event);
    volume_line(f, "Volume of specified discharge unmet: ", m.ov_discharge_bound_unmet_event);
  }
  std::fputc('\n', f);
}

void write_pipe_volumes(const model_state& m, std::FILE* f) {
  if (m.storm_sewer_on) {
    volume_line(f, "overland inputs to superlink:        ", m.ov_to_superlink_volume);
    volume_line(f, "volume of superlink to overland:     ", m.superlink_to_ov_volume);
    if (m.chan_explic_on)
      volume_line(f, "volume of superlink to channels:     ", m.superlink_to_chan_volume);
    if (m.leaky_pipes_on)
      volume_line(f, "volume of gw to tile drains:         ", m.gw_to_tile_volume);
    if (m.storm_drain_on)
      volume_line(f, "volume from non superlink drains:    ", m.drain_to_superlink_volume);
  }
  if (m.storm_drain_on) {
    volume_line(f, "overland inputs to non superlink drains:        ", m.ov_to_drain_volume);
    volume_line(f, "volume of non superlink drains to overland:     ", m.drain_to_ov_volume);
    if (m.chan_explic_on)
      volume_line(f, "volume of non superlink drains to channels:     ", m.drain_to_chan_volume);
    if (m.drain_tile_on)
      volume_line(f, "volume of gw to non superlink tile drains:      ", m.gw_to_drain_tile_volume);
    if (m.storm_sewer_on)
      volume_line(f, "volume of non superlink drains to superlink:    ",
                  m.drain_to_superlink_volume);
  }
}

void write_event_volumes(const model_state& m, std::FILE* f) {
  const bool chan = m.chan_explic_on == 1;
  if (m.lakes_on) volume_line(f, "initial volume in lakes               ", m.lake_initial_volume);
  volume_line(f, "initial volume of overland flow:      ", m.event_ov_volume_initial);
  if (chan) volume_line(f, "initial volume in channels:           ", m.event_chan_volume_initial);
  if (m.storm_sewer_on == 1)
    volume_line(f, "initial volume in sub-surface drains: ", m.superlink_initial_volume, true);
  volume_line(f, "initial liquid-equiv. volume of snow: ", m.snow_volume_initial, true);
  volume_line(f, "volume of melt water:                 ", m.melt_volume, true);
  volume_line(f, "volume of rainfall to overland:      ",
              m.rain_to_overland_volume + m.intercepted_volume_event);
  volume_line(f, "volume of interception:              ", m.intercepted_volume_event);
  if (m.sacramento_on) {
    volume_line(f, "volume of base flow from Sacramento:   ", m.sac_baseflow_volume);
    volume_line(f, "volume of subsurface at event start:   ", m.subsurface_volume_event_start);
    volume_line(f, "volume of subsurface at event end:     ", m.subsurface_volume_event_end);
    volume_line(f, "volume of et removed water:            ", m.evap_volume_event);
    volume_line(f, "volume of infil water SAC recieves:    ", m.sac_infil_volume);
  }
  volume_line(f, "volume of direct evaporation:        ", m.evap_volume_event);
  volume_line(f, "volume of infiltrated water:         ", m.infiltrated_volume);
  volume_line(f, "volume of water exfiltrated:         ", m.exfiltrated_volume);
  volume_line(f, "volume of discharge:                 ", m.event_discharge_volume);
  if (m.soil_moisture_accounting_on)
    volume_line(f, "volume of groundwater recharge:      ", m.recharge_volume);
  if (chan) {
    volume_line(f, "net volume of lateral inflow:        ",
                m.chan_lat_net_total - m.chan_lat_net_start);
    volume_line(f, "lateral flow into channel            ",
                m.chan_lat_in_volume - m.chan_lat_in_start);
    volume_line(f, "lateral flow out of channel          ",
                m.chan_lat_out_start - m.chan_lat_out_volume);
    if (m.stream_loss_on && !m.sacramento_on) {
      volume_line(f, "volume of gw to chan:                ", m.gw_to_chan_volume);
      volume_line(f, "volume of water from chan to gw:     ", m.chan_to_gw_volume);
    }
    if (m.lakes_on) {
      volume_line(f, "volume precip to lake:               ", m.precip_to_lake_volume);
      volume_line(f, "volume overland to lake:             ", m.ov_to_lake_volume);
      volume_line(f, "volume overland from lake:           ", m.ov_from_lake_volume);
      if (m.lake_gw_exchange_on) {
        volume_line(f, "volume of gw to lakes:               ", m.gw_to_lake_volume);
        volume_line(f, "volume of water from lakes to gw:    ", m.lake_to_gw_volume);
      }
    }
    volume_line(f, "volume of stream point sources:      ", m.stream_point_source_event);
    volume_line(f, "volume of stream point sinks:        ", m.stream_point_sink_event);
    volume_line(f, "volume of lake point sources:        ", m.lake_point_source_event);
    volume_line(f, "volume of lake point sinks:          ", m.lake_point_sink_event);
    volume_line(f, "volume of lake evaporation:          ", m.lake_evap_volume_event);
  }
  if (m.long_term_on && m.inf_richards_on)
    volume_line(f, "volume of total evaporation:         ", m.evap_volume_event);
  volume_line(f, "volume from overland point sources:  ", m.ov_point_source_volume);
  write_boundary_volumes(m, f);
  if (m.ov_bmp_on) {
    std::fputc('\n', f);
    volume_line(f, "Volume of precip to the BMPs:        ", m.bmp_precip_volume);
    volume_line(f, "Volume to BMPs from overland:        ", m.bmp_from_ov_volume);
    volume_line(f, "Volume from BMPs to overland:        ", m.bmp_to_ov_volume);
    volume_line(f, "Volume from BMPs to groundwater:     ", m.bmp_to_gw_volume);
  }
  write_pipe_volumes(m, f);
  std::fputc('\n', f);
  if (m.lakes_on) volume_line(f, "volume remaining in lakes            ", m.lake_volume_final);
  volume_line(f, "volume remaining on surface:         ", m.surface_volume_final);
  if (chan) volume_line(f, "final volume in channels (cu. m):    ", m.chan_volume_final);
  if (m.storm_sewer_on) volume_line(f, "volume remaining in drains:          ", m.superlink_volume);
  volume_line(f, "final volume of snow (cu. m):        ", m.snow_volume_final, true);
  volume_line(f, "final volume of melt water (cu. m):  ", m.melt_volume_final, true);
}

void write_event_balance(const model_state& m, std::FILE* f) {
  const double error = m.event_balance_error;
  if (m.snow_volume_final > 0.0)
    put_line(f, "********WARNING - YOU HAVE SNOW ACCUMULATION !!!!!!!!!!!!!!!!");
  std::fprintf(f, "mass conservation error:                         %9.6lf percent\n",
               error * 100.0);
  put_line(f, error < 0.0 && error != -1.0
             ? "Note: negative mass conservation error indicates mass was gained."
             : "Note: positive mass conservation error indicates mass was created.");
  std::fprintf(f, "Mass input + original mass:           %9.6lf m3\n", m.event_input_volume);
  std::fprintf(f, "Mass output + final mass:             %9.6lf m3\n", m.event_output_volume);
  std::fprintf(f, "mass cleanup error from overland:     %9.6lf m3\n\n",
               m.ov_cleanup_volume_event);
  if (m.long_term_on)
    std::fprintf(f, "final basin-averaged soil water content: %5.2lf percent\n",
                 m.final_soil_water * 100.0);
  if (error == -1.0) put_line(f, "Note: no rainfall was input.");
}

void write_richards_block(const model_state& m, std::FILE* f) {
  if (!m.inf_richards_on) return;
  std::fputs("\n \n Richard's EQ. Computations \n \n", f);
  std::fprintf(f, "volume lost due to dir. evap (cu. m):  %9.1lf\n", m.direct_evap_volume_event);
  std::fprintf(f, "net vol infiltrated to soil (cu. m.):  %9.1lf\n", m.richards_net_infil);
  std::fprintf(f, "vol groundwater recharge (cu. m):      %9.1lf\n", m.recharge_volume);
  std::fprintf(f, "Initial volume in soils (cu. m.):      %9.1lf\n", m.soil_volume_initial);
  std::fprintf(f, "Final volume in soils (cu. m.):        %9.1lf\n", m.soil_volume_final);
  std::fprintf(f, "Richard equation mass balance error         %5.4lf percent\n",
               m.richards_error_pct);
  std::fprintf(f, "Number of cells at start of event   %12d\n", m.richards_cells_start);
  std::fprintf(f, "Number of cells at end of event     %12d\n", m.richards_cells_end);
  put_line(f, "net volume of infiltration is infiltration minus evaporation");
}

void write_groundwater_block(const model_state& m, std::FILE* f) {
  if (m.gw_simulation_on) {
    std::fputs("\n \n GROUNDWATER CALCULATION SUMMARIES FOR EVENT \n \n", f);
    std::fprintf(f, "volume of water directly to surface from groundwater (cu. m): %9.1lf\n",
                 m.exfiltrated_volume);
    std::fprintf(f, "beginning vol of water exfiltrated this event (cu. m):        %9.1lf\n",
                 m.exfiltrated_volume_start);
    std::fprintf(f, "total vol of water exfiltrated this run (cu. m):              %9.1lf\n",
                 m.exfiltrated_volume_total);
    std::fprintf(f, "vol from gw to unsat this event, w/o recharge (cu. m):        %9.1lf\n",
                 m.gw_to_unsat_event_volume);
    std::fprintf(f, "vol groundwater recharge (cu. m):                             %9.1lf\n",
                 m.recharge_volume);
    if (m.chan_explic_on) {
      std::fprintf(f, "vol from gw to chan  this event (cu. m):                      %9.1lf\n",
                   m.gw_to_chan_volume);
      std::fprintf(f, "vol from chan to gw  this event (cu. m):                      %9.1lf\n",
                   m.chan_to_gw_volume);
      if (m.lakes_on) {
        std::fprintf(f, "vol from gw to lakes this event (cu. m):                      %9.1lf\n",
                     m.gw_to_lake_volume);
        std::fprintf(f, "vol from lakes to gw this event (cu. m):                      %9.1lf\n",
                     m.lake_to_gw_volume);
      }
    }
    if (m.storm_sewer_on)
      std::fprintf(f, "vol gw to tile dtrains (cu. m):                               %9.1lf\n",
                   m.gw_to_tile_volume);
    if (!m.xybdy_inputs.gwpts.empty() || !m.xybdy_inputs.gwInterpPts.empty()) {
      std::fprintf(f, "vol gain for gw from XY boundaries:                           %9.1lf\n",
                   m.xy_gw_gain);
      std::fprintf(f, "vol loss for gw from XY boundaries:                           %9.1lf\n",
                   m.xy_gw_loss);
    }
  }
  std::fputc('\n', f);
}

void write_warnings(const model_state& m, std::FILE* f) {
  put_line(f, "THE FOLLOWING WARNINGS ARE GIVEN:");
  const double error_pct = m.event_balance_error * 100.0;
  const bool high_error = std::fabs(error_pct) > 1.0;
  if (high_error) {
    put_line(f, " !!!!!!!!!!!!!!!!!!!!!!!!!!!!!WARNING!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!");
    put_line(f, " Mass conservation error is larger than typical values (<1 percent).");
    put_line(f, " This indicates a problem with your data set, or that you are using the model");
    put_line(f, " to simulate an extreme event which violates one or more assumptions made");
    put_line(f, " in the development of PLUVO.  You should first check for errors in the");
    put_line(f, " channel inputs, including cross-sectional data.  A decrease in the model");
    put_line(f, " time step may also help alleviate this problem.");
    std::fputc('\n', f);
    std::printf(" !!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!WARNING!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n");
    std::printf(" Mass conservation error is high for this event! %10.6lf percent. \n", error_pct);
    std::printf("Check the Summary File (*.sum) for more detail. \n \n");
  }
  if (m.xsec_table_exceeded) {
    put_line(f, "-Depths exceeded the range of look-up table X-section data.");
    put_line(f, " This is usually a source of error, particularly near hydrograph peaks.");
  }
  const bool water_left = m.surface_volume_final > 0.05 * m.rain_to_overland_volume;
  if (!high_error && !m.xsec_table_exceeded && !water_left) put_line(f, "No Warnings.");
}

void write_inputs_and_processes(const model_state& m, std::FILE* f) {
  std::fputs("\n THE FOLLOWING INPUTS WERE READ:\n", f);
  put_line(f, "A VOK Project File was used.");
  if (m.grass_input_maps_on) put_line(f, "Floating point GRASS maps were read.");
  if (m.hyd_location_on) put_line(f, "Locations where discharge hydrographs are to be written.");
  if (m.gwflux_location_on) put_line(f, "Point stream/groundwater fluxes were written.");
  if (m.celldepdis_location_on) put_line(f, "cell depth, discharge were written.");

  std::fputs("\n THE FOLLOWING PROCESSES WERE SIMULATED:\n", f);
  const struct {
    int on;
    const char* text;
  } processes[] = {
      {m.chan_explic_on, "Explicit diffusive-wave channel routing."},
      {m.chan_drain_on, "This was a channel initialation run using the DRAIN method."},
      {m.chan_backwater_on, "This was a channel initialzation run using thep backwater method."},
      {m.chan_apfa_on, "APFA cross sections were simulated."},
      {m.chan_trap_preiss_on, "Trapezoidal cross-sections with Preissmann slots were simulated."},
      {m.chan_table_preiss_on, "Look-up table cross-sections with Preissmann slots were simulated."},
      {m.chan_table_on, "Look-up table data were read."},
      {m.interception_on, "Interception losses."},
      {m.roughness_map_on, "Distributed overland roughness."},
      {m.manning_n_on, "Uniform overland roughness."},
      {m.moisture_map_on, "Distributed initial soil moisture."},
      {m.uniform_moisture_on, "Uniform initial soil moisture."},
      {m.lakes_on, "Lakes were simulated."},
      {m.retention_map_on, "Spatially varied retention."},
      {m.retention_uniform_on, "Uniform retention depth."},
      {m.inf_redist_on, "Infiltration with redistribution."},
      {m.green_ampt_on, "Green & Ampt infiltration."},
      {m.inf_richards_on, "Infiltration by Richards Eq."},
      {m.inf_layered_soil_on, "G&A Infiltration through layered soils."},
      {m.soil_erosion_on, "Overland soil erosion."},
      {m.chan_sed_transport_on, "Sediment transport in channels using Yang's eqn. for sand."},
      {m.sacramento_on, "Base flow using the Sacramento Soil Moisture Accounting Model."},
  };
  for (const auto& p : processes)
    if (p.on) put_line(f, p.text);
}

void write_output_lists(const model_state& m, std::FILE* f) {
  std::fprintf(f, "\n THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY %d TIMESTEP(S):\n",
               m.map_write_steps);
  const struct {
    int on;
    const char* text;
  } maps[] = {
      {m.map_out_depth, "     overland flow depth."},
      {m.map_out_discharge, "     discharge."},
      {m.map_out_chan_discharge, "     discharge in channels."},
      {m.map_out_dis_rain, "     distributed rainfall rate."},
      {m.map_out_inf_depth, "     distributed infiltration depth."},
      {m.map_out_rate_of_infil, "     distributed infiltration rate."},
      {m.map_out_surf_moist, "     distributed surface moisture."},
      {m.map_out_gw_recharge_cum, "     groundwater recharge cumulative."},
      {m.map_out_gw_recharge_inc, "     groundwater recharge incremental."},
      {m.map_out_chan_depth, "     channel depth."},
      {m.map_out_chan_discharge, "     channel discharge."},
      {m.ov_sed && m.ov_sed->net_sed_volume_on, "     net volume of erosion/deposition."},
      {m.ov_sed && m.ov_sed->vol_sed_susp_on, "     suspended sediment volume."},
      {m.ov_sed && m.ov_sed->max_sed_flux_on, "     sediment flux."},
      {m.map_out_chan_sed_flux, "      channel sediment flux."},
  };
  // The map form is named only where some map was asked for: the form is set without a MAP_TYPE
  // card, and the summary does not claim maps that were never written.
  bool any_map = false;
  for (const auto& p : maps) any_map = any_map || p.on;
  if (any_map && m.map_type_zero_on) put_line(f, "Floating point GRASS output maps were written.");
  if (m.inf_redist_on && m.map_out_surf_moist) put_line(f, "Soil surface moisture maps were output.");
  if (m.inf_redist_on && m.map_out_rate_of_infil) put_line(f, "Infiltration rate maps were output.");
  if (any_map && m.map_output_on) put_line(f, "ASCII VOK maps of:");
  if (any_map && m.map_output_type2) put_line(f, "BINARY VOK maps of:");
  for (const auto& p : maps)
    if (p.on) put_line(f, p.text);

  std::fprintf(f, "\n THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY %d TIMESTEP(S):\n",
               m.hyd_write_steps);
  put_line(f, "     hydrograph at the catchment outlet.");
  const struct {
    int on;
    const char* text;
  } files[] = {
      {m.hyd_location_on, "     hydrographs at selected locations."},
      {m.soil_erosion_on, "     sediment outflow at the catchment outlet."},
      {m.ov_sed && m.ov_sed->sed_hydro_locations_on, "     sediment hydrographs at selected locations."},
      {m.superlink_junc_flow_on, "Flows to/from selected superjunctions."},
      {m.superlink_node_flow_on, "Flows to/from selected superlink nodes."},
      {m.gwflux_location_on, "Stream/groundwater exchange fluxes."},
  };
  for (const auto& p : files)
    if (p.on) put_line(f, p.text);
}

}  // namespace

void write_summary_file(model_state& m) {
  if (!m.summary_fp.is_open()) return;
  std::FILE* f = m.summary_fp.stream;
  write_separator(m, f);
  write_heading(m, f);
  write_rain_and_run_figures(m, f);
  write_event_volumes(m, f);
  write_event_balance(m, f);
  write_richards_block(m, f);
  write_groundwater_block(m, f);
  write_event_transport_blocks(m, f);
  write_warnings(m, f);
  write_inputs_and_processes(m, f);
  write_output_lists(m, f);
}

}  // namespace pluvo
