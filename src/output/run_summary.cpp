// The whole-run part of the summary file: groundwater, Sacramento, simulation totals and the
// global mass balance, with the lake, drain and dike reports.
#include <cstdio>

#include "common/process.hpp"
#include "output/end_event.hpp"
#include "output/map_outputs.hpp"
#include "output/output_phases.hpp"
#include "output/report_lines.hpp"
#include "output/run_summary.hpp"
#include "output/series_files.hpp"
#include "output/transport_summary.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

void total_line(std::FILE* f, const char* label, double value) {
  std::fputs(label, f);
  std::fprintf(f, "%14.2lf\n", value);
}

// Initial-store lines carry a blank after the value.
void initial_line(std::FILE* f, const char* label, double value) {
  std::fputs(label, f);
  std::fprintf(f, "%14.2lf \n", value);
}

double tile_total(const model_state& m) { return m.gw_to_drain_tile_total + m.gw_to_tile_total; }

void write_groundwater_block(const model_state& m, std::FILE* f) {
  if (!m.gw_simulation_on) return;
  std::fputs("\n \nGROUNDWATER CALCULATIONS \n\n", f);
  const struct {
    const char* label;
    double value;
  } lines[] = {
      {"GW volume start =                ", m.gw_volume_initial},
      {"GW volume end =                  ", m.gw_volume_final},
      {"Sat/unsat. volume (into gw) =    ", m.gw_input_total},
      {"Exfiltration back on overland =  ", m.exfiltrated_volume_total},
      {"Recharge to groundwater =        ", m.gw_recharge_total},
      {"Total inputs to groundwater=     ", m.gw_net_source_total},
      {"Flux across head boundaries=     ", m.gw_head_bound_flux},
      {"Leakage to deep aquifer+         ", m.gw_deep_leakage},
      {"Pumping                          ", m.gw_pumping_total},
      {"To tile drains                   ", tile_total(m)},
      {"Gain from XY boundaries          ", m.xy_gw_gain},
      {"Loss to XY boundaries            ", m.xy_gw_loss},
  };
  for (const auto& l : lines) initial_line(f, l.label, l.value);
  std::fprintf(f, "Mass Balance error =             %14.2lf %%  \n\n", m.gw_error_pct);
  put_line(f, "If you have any head boundaries ");
  put_line(f, "Mass balance errors are likely due to the estimation of fluxes across these boundaries, ");
  std::fputs("Which cannot be calculated exactly \n \n", f);
  put_line(f, "Sat/unsaturated volume is the amount of water passed from the unsaturated zone to the "
         "saturated zone ");
  put_line(f, "to maintain mass balance between the two domains and account for any changes to the "
         "soil moisture in the unsaturated zone ");
}

// The soil columns go on between events and after the last one: what they hold at the end of
// the run, and what evaporated from the ponded water or left their bottoms since the last event
// booked it, close the run's books.
void close_run_soil_accounts(model_state& m, double area) {
  if (!m.soil_moisture_accounting_on || m.inf_richards_on) return;
  double soil = 0.0;
  for (int i = 1; i <= m.cell_count; ++i) {
    if (size_t(i) < m.direct_evap_cell.size()) {
      m.direct_evap_volume_total += m.direct_evap_cell[size_t(i)] / 100.0 * area;
      m.direct_evap_cell[size_t(i)] = 0.0;
    }
    if (!m.gw_simulation_on && size_t(i) < m.unsat_downward_flux.size()) {
      m.unsat_downward_volume += m.unsat_downward_flux[size_t(i)] / 100.0 * area;
      m.unsat_downward_flux[size_t(i)] = 0.0;
    }
    if (size_t(i) < m.sm_water_cell.size()) soil += m.sm_water_cell[size_t(i)] / 100.0 * area;
  }
  m.soil_volume_final = soil;
  m.sm_volume_final = soil;
}

void sum_final_stores(model_state& m) {
  const double area = m.cell_size * m.cell_size;
  const size_t n = size_t(m.cell_count) + 1;
  if (m.lakes_on) {
    double lakes = 0.0;
    for (int l = 1; l <= m.nlakes && size_t(l) < m.lake_volume.size(); ++l)
      lakes += m.lake_volume[size_t(l)];
    m.lake_volume_final = lakes;
  }
  double surface = 0.0, snow = 0.0, melt = 0.0;
  for (int i = 1; i <= m.cell_count; ++i) {
    if (m.lakes_on && entry_or_zero(m.lake_mask, i) > 0) continue;
    if (in_overland_lake(m, i)) surface += overland_lake_cell_water(m, i, area);
    else if (m.ov_depth.size() >= n) surface += m.ov_depth[size_t(i)] * area * open_share(m, i);
  }
  if (m.snow_present && m.snow_swe.size() >= n)
    for (int i = 1; i <= m.cell_count; ++i) snow += m.snow_swe[size_t(i)] * area;
  if (m.snow_melt_to_ov.size() >= n)
    for (int i = 1; i <= m.cell_count; ++i) melt += m.snow_melt_to_ov[size_t(i)] * area;
  if (m.gw_simulation_on && m.elevgw.size() >= n && m.bottom_elev.size() >= n && m.gw_porosity.size() >= n) {
    double aquifer = 0.0;
    for (int i = 1; i <= m.cell_count; ++i)
      aquifer += (m.elevgw[size_t(i)] - m.bottom_elev[size_t(i)]) * m.gw_porosity[size_t(i)] * area;
    m.gw_volume_final = aquifer;
  }
  m.surface_volume_final = surface;
  m.snow_volume_final = snow;
  m.melt_volume_final = melt;
  close_run_soil_accounts(m, area);
}

void write_sacramento_block(const model_state& m, std::FILE* f) {
  const auto& p = m.sac_params;
  const auto& s = m.sac_saved_contents;  // uztwc, uzfwc, lztwc, lzfpc, lzfsc
  const double initial_mm = s[0] + s[1] + s[2] + s[3] + s[4];
  const double final_mm = sac_storage_mm(p);
  auto share = [](double content, double capacity) {
    return capacity > 0.0 ? content / capacity * 100.0 : 0.0;
  };
  std::fputs("\n\nSimulation summary for the Sacramento Soil Moisture Accounting Model\n", f);
  put_line(f, "as incorporated in the PLUVO Catchment Simulator");
  std::fputs("(PLUVO) Model.  Internal SAC-SMA mass conservation check.\n\n", f);
  const struct zone {
    const char* format;
    double initial, final, capacity;
  } zones[] = {
      {"uztwc:  %10.3lf mm, %8.2lf%%\n", s[0], p[sac_uztwc], p[sac_uztwm]},
      {"uzfwc:  %10.3lf mm, %8.2lf%%\n", s[1], p[sac_uzfwc], p[sac_uzfwm]},
      {"lztwc:  %10.3lf mm, %8.2lf%%\n", s[2], p[sac_lztwc], p[sac_lztwm]},
      {"lzfpc:  %10.3lf mm, %8.2lf%%\n", s[3], p[sac_lzfpc], p[sac_lzfpm]},
      {"lzfsc:  %10.3lf mm, %8.2lf%%\n", s[4], p[sac_lzfsc], p[sac_lzfsm]},
  };
  put_line(f, "Initial state variable values:");
  for (const zone& z : zones) std::fprintf(f, z.format, z.initial, share(z.initial, z.capacity));
  put_line(f, "Final state variable values:");
  for (const zone& z : zones) std::fprintf(f, z.format, z.final, share(z.final, z.capacity));
  std::fputs("\n\nMass Balance Information:\n\n", f);
  const double residual = initial_mm + m.sac_rain_mm - m.sac_aet_mm - m.sac_runoff_mm -
                          m.sac_deep_recharge_mm - final_mm;
  std::fprintf(f, "Initial subsurface storage(mm):        %10.3lf\n", initial_mm);
  std::fprintf(f, "Input rainfall (mm):                   %10.3lf\n", m.sac_rain_mm);
  std::fprintf(f, "PET calculated by PLUVO (mm):          %10.3lf\n", m.sac_pet_mm);
  std::fprintf(f, "AET calculated by Sacramento (mm):     %10.3lf\n", m.sac_aet_mm);
  std::fprintf(f, "Subsurface runoff (mm):                %10.3lf\n", m.sac_runoff_mm);
  std::fprintf(f, "Recharge to deep g.w. (mm):            %10.3lf\n", m.sac_deep_recharge_mm);
  std::fprintf(f, "Final volume of subsurface water (mm): %10.3lf\n", final_mm);
  std::fprintf(f, "Residual (neg. means mass created (mm):%10.3lf\n\n", residual);
  std::fprintf(f, "Sacramento simulation total residual water balance: %18.16f mm\n", residual);
  const double a = m.watershed_area / 1000.0;
  std::fputs("\nSacramento storages and fluxes expressed as volumes (m^3):\n", f);
  std::fprintf(f, "Initial volume=   %10.1lf\n", initial_mm * a);
  std::fprintf(f, "Volume of ET=     %10.1lf\n", m.sac_aet_mm * a);
  std::fprintf(f, "Volume of precip= %10.1lf\n", m.sac_rain_mm * a);
  std::fprintf(f, "Volume of outflow=%10.1lf\n", m.sac_runoff_mm * a);
  std::fprintf(f, "Final volume=     %10.1lf\n", final_mm * a);
  std::fprintf(f, "Residual=         %10.1lf\n",
               (initial_mm - m.sac_aet_mm + m.sac_rain_mm - m.sac_runoff_mm - final_mm) * a);
}

void write_simulation_totals(const model_state& m, std::FILE* f) {
  const bool simple_soil = m.soil_moisture_accounting_on && !m.gw_simulation_on;
  std::fputs("\n \nSIMULATION TOTALS\n", f);
  put_line(f, "GLOBAL MASS BALANCE CALCULATIONS ");
  put_line(f, "All volumes are in cubic meters ");
  put_line(f, " ");
  initial_line(f, "Initial volume on surface=                      ", m.ov_volume_initial);
  initial_line(f, "Initial volume in channels=                     ", m.chan_volume_initial_run);
  initial_line(f, simple_soil ? "Initial volume in soil over simple soil depth   "
                              : "Initial volume in soils=                        ",
               m.soil_volume_initial_simple);
  initial_line(f, "Initial volume in groundwater=                  ", m.gw_volume_initial);
  if (m.lakes_on)
    initial_line(f, "Initial volume in perennial lakes               ", m.lake_volume_initial_run);
  std::fputc('\n', f);
  total_line(f, "Final volume on surface=                        ", m.surface_volume_final);
  if (m.overland_lakes_on)
    total_line(f, "Final volume in overland lakes=                 ", m.olake_volume_final);
  total_line(f, "Final volume in channels=                       ", m.chan_volume_final);
  if (m.storm_sewer_on)
    total_line(f, "Final volume in drains=                         ", m.superlink_volume);
  total_line(f, simple_soil ? "Final volume in soil over simple soil depth     "
                            : "Final volume in soils=                          ",
             m.soil_volume_final);
  total_line(f, "Final volume in groundwater=                    ", m.gw_volume_final);
  total_line(f, "Final volume of snow=                           ", m.snow_volume_final);
  total_line(f, "Final volume of melt water =                    ", m.melt_volume_final);
  if (m.lakes_on)
    total_line(f, "Final volume in perennial lakes                 ", m.lake_volume_final);
  std::fputc('\n', f);
  total_line(f, "Total amount of precip=                         ", m.rain_volume_total);
  total_line(f, "Total amount of interception=                   ", m.intercepted_volume);
  total_line(f, "Total amount of canopy sublimation=             ", m.canopy_sublimation_total);
  total_line(f, "Total amount of infiltration=                   ", m.infil_volume_total);
  total_line(f, "Total amount of evaporation=                    ", m.evap_volume_total);
  total_line(f, "Total direct evaporation=                       ", m.direct_evap_volume_total);
  if (!m.sacramento_on)
    total_line(f, "Total amount of exfiltration=                   ", m.exfiltrated_volume_total);
  std::fputc('\n', f);
  if (!m.sacramento_on) {
    if (m.gw_simulation_on) {
      total_line(f, "Total recharge inputs to groundwater=           ", m.gw_recharge_total);
      total_line(f, "Total pumping from groundwater=                 ", m.gw_pumping_total);
    }
    total_line(f, "Total downward flux from unsaturated zone=      ", m.unsat_downward_volume);
    total_line(f, "Total flux of gw across bounds=                 ", m.gw_head_bound_flux);
  } else {
    total_line(f, "Total recharge to deep g.w.=                    ", m.gw_deep_leakage);
  }
  total_line(f, "Total overland point sources=                   ", m.ov_point_source_total);
  total_line(f, "Total channel point sources=                    ", m.stream_point_source_total);
  std::fputc('\n', f);
  if (m.ov_boundary_on || m.ov_boundary2_on) {
    total_line(f, "Volume overland lost to specified head boundary:         ", m.ov_head_bound_loss);
    total_line(f, "Volume overland gained from specified head boundary:     ", m.ov_head_bound_gain);
  }
  if (m.ov_boundary_on || m.ov_pump_flag) {  // pumps book into the discharge totals
    total_line(f, "Volume overland lost to specified slope boundary:        ", m.ov_slope_bound_loss);
    total_line(f, "Volume overland gained from specified discharge boundary:", m.ov_discharge_bound_gain);
    total_line(f, "Volume overland lost from specified discharge boundary:  ", m.ov_discharge_bound_loss);
    total_line(f, "Volume of overland specified discharge boundary unmet:   ", m.ov_discharge_bound_unmet);
  }
  if (m.ov_bmp_on) {
    total_line(f, "Volume of precipitation to BMPs:                ", m.bmp_precip_total);
    total_line(f, "Volume from overland to BMPs:                   ", m.bmp_from_ov_total);
    total_line(f, "Volume from BMPS to overland:                   ", m.bmp_to_ov_total);
    total_line(f, "Volume from BMPS to groundwater:                ", m.bmp_to_gw_total);
  }
  std::fputc('\n', f);
  total_line(f, "Total lateral inflow into channels=             ", m.chan_lat_in_volume);
  total_line(f, "Total amount of discharge=                      ", run_discharge_volume(m));
  if (m.stream_loss_on) {
    total_line(f, "Total flux from river to gw=                    ", m.river_to_gw_total);
    if (m.water_table_on)
      total_line(f, "Total flux from gw to river=                    ", m.gw_to_river_total);
  }
  if (m.lakes_on) {
    std::fputc('\n', f);
    total_line(f, "Volume precip to lakes=                         ", m.precip_to_lake_total);
    total_line(f, "Volume of flow into lakes=                      ", m.lake_rain_volume);
    total_line(f, "Volume of flow from lakes=                      ", m.lake_outflow_volume);
    total_line(f, "Volume of lake evap=                            ", m.lake_evap_volume);
    if (m.lake_gw_exchange_on) {
      total_line(f, "Total flux from lakes to gw=                    ", m.lake_to_gw_total);
      total_line(f, "Total flux from gw to lakes=                    ", m.gw_to_lake_total);
    }
  }
  if (m.storm_sewer_on || m.storm_drain_on) {
    std::fputc('\n', f);
    total_line(f, "Volume of overland to subsurface drains         ",
               m.ov_to_drain_total + m.ov_to_superlink_total);
    total_line(f, "Volume of subsurface drains to overland         ",
               m.drain_to_ov_total + m.superlink_to_ov_total);
    total_line(f, "Volume of subsurface drains to channels         ",
               m.drain_to_chan_total + m.superlink_to_chan_total);
    total_line(f, "Volume of groundwater to tile drains            ", tile_total(m));
    total_line(f, "Volume of non superlink drain to superlink      ", m.drain_to_superlink_total);
  }
  if (!m.xybdy_inputs.gwpts.empty() || !m.xybdy_inputs.gwInterpPts.empty()) {
    std::fputc('\n', f);
    total_line(f, "Volume groundwater gained from XY boundaries                ", m.xy_gw_gain);
    total_line(f, "Volume groundwater lost to XY boundaries                    ", m.xy_gw_loss);
  }
  std::fputc('\n', f);
}

void write_balances(const model_state& m, std::FILE* f) {
  std::fprintf(f, "Mass balance error of surface components =              %10.6lf percent\n\n",
               m.surface_error_pct);
  if (m.sacramento_on) {
    std::fprintf(f, "Overall mass balance error =                    %10.6lf percent\n \n",
                 m.overall_error_pct);
    put_line(f, "*overall mass balance error will not be zero when using the Sacramento");
    put_line(f, "model because of errors associated with interpolating hourly outflows to");
    put_line(f, "the channel routing time step, which is generally much less than one");
    put_line(f, "hour.  However, this error should be less than one percent, except for");
    put_line(f, "simulations of very short events (only a few hours long).");
    put_line(f, " ");
  } else {
    std::fprintf(f, "Overall mass balance error =                        %14.6lf percent\n \n",
                 m.overall_error_pct);
  }
  if (m.overall_error_pct > 1.0) {
    std::fputs("WARNING:  Overall Mass balance ERROR is greater than 1 percent, CHECK YOUR MODEL! "
               "\n \n", f);
    std::printf("WARNING: Overall Mass Balance ERROR is high! %10.6lf percent \n",
                m.overall_error_pct);
    std::printf("Check the Summary File (*.sum) for more detail. \n \n");
  }
  if (m.soil_moisture_accounting_on)
    std::fprintf(f, "Simple soil moisture mass balance =             %19.6lf percent \n\n",
                 m.simple_soil_error_pct);
}

void write_store_balances(model_state& m, std::FILE* f) {
  if (m.overland_lakes_on) {
    total_line(f, "Volume of flow into overland lakes:             ", m.olake_added_volume);
    total_line(f, "Volume of flow from overland lakes:             ", m.olake_drained_volume);
    total_line(f, "Volume of evaporation from lakes:               ", m.lake_evap_volume);
    m.olake_error_volume =
        m.olake_volume_initial + m.olake_added_volume - m.olake_volume_final - m.olake_drained_volume;
    std::fprintf(f, "Overland lake mass bal error m^3:               %14.2lf\n\n",
                 m.olake_error_volume);
  }
  if (m.lakes_on) {
    m.lake_error_volume = m.lake_rain_volume - m.lake_outflow_volume - m.lake_volume_final +
                          m.lake_volume_initial_run - m.lake_evap_volume;
    std::fprintf(f, "Perennial lake mass bal error m^3=              %14.2lf\n\n",
                 m.lake_error_volume);
  }
  if (m.storm_sewer_on || m.storm_drain_on) {
    m.drain_error_volume = tile_total(m) + m.ov_to_drain_total + m.ov_to_superlink_total -
                           m.drain_to_ov_total - m.superlink_to_ov_total - m.drain_to_chan_total -
                           m.superlink_to_chan_total - m.superlink_volume;
    if (m.storm_sewer_on)
      std::fprintf(f, "Subsurface drain mass bal error m^3=            %14.2lf\n\n",
                   m.drain_error_volume);
  }
  if (m.dike_map_on && m.lowspot_on) {
    put_line(f, "You specifed overland dikes and lowspots ");
    put_line(f, "The following cells experienced flow from over the embankment ");
    put_line(f, "If no cells are listed then there was no flow overtopping the dike ");
    put_line(f, "Check the 'maskmap' to see the location of these cells ");
    for (int i = 1; i <= m.cell_count && size_t(i) < m.low_spot_flow_cell.size(); ++i)
      if (m.low_spot_flow_cell[size_t(i)] == 1) std::fprintf(f, "Dike Overtopped in cell:  %d \n", i);
    std::fputc('\n', f);
  }
}

// The overland lakes' starting water: the surface's initial volume leaves their cells out,
// and the final surface volume counts their water.
double overland_lake_start(const model_state& m) { return m.overland_lakes_on ? m.olake_volume_initial : 0.0; }

}  // namespace

// With channel routing the water leaves the basin through the channel outlet.
double run_discharge_volume(const model_state& m) {
  return m.chan_explic_on ? m.outlet_volume_total : m.total_discharge_volume;
}

void compute_global_balance(model_state& m) {
  const double gains = m.boundary_gain_sum, losses = m.boundary_loss_sum;
  const double initial = m.ov_volume_initial + m.chan_volume_initial_run +
                         m.soil_volume_initial_simple + m.gw_volume_initial +
                         m.lake_volume_initial_run + overland_lake_start(m) + m.snow_volume_initial_run;
  // Water the streams and lakes exchanged after the aquifer's last step is in both stores: the
  // aquifer has not yet given or taken it.
  const aquifer_exchange pending = pending_aquifer_exchange(m);
  const double unbooked = pending.gw_to_chan - pending.chan_to_gw + pending.gw_to_lake - pending.lake_to_gw;
  const double final_storage = m.chan_volume_final + m.surface_volume_final + m.soil_volume_final +
                               m.gw_volume_final - unbooked + m.snow_volume_final + m.melt_volume_final +
                               m.lake_volume_final + m.superlink_volume;
  double in = m.rain_volume_total + m.gw_head_bound_flux + m.ov_point_source_total +
              m.gw_to_lake_total + m.stream_point_source_total + gains;
  double out = m.evap_volume_total + run_discharge_volume(m) + losses + m.lake_to_gw_total +
               m.lake_evap_volume;
  if (m.ov_bmp_on) {
    in += m.bmp_to_ov_total;
    out += m.bmp_precip_total + m.bmp_from_ov_total - m.bmp_to_gw_total;
  }
  if (m.gw_simulation_on) {
    out += m.unsat_downward_volume - m.gw_recharge_total;
    if (m.ov_bmp_on) out -= m.bmp_to_gw_total;
    out += m.gw_deep_leakage + m.gw_pumping_total;
  } else {
    out += (m.green_ampt_on ? m.infil_volume_total : m.unsat_downward_volume) + m.river_to_gw_total;
    in += m.gw_to_river_total;
  }
  m.total_initial_storage = initial;
  m.total_final_storage = final_storage;
  m.overall_error_pct = balance_percent((initial + in) - (final_storage + out), initial + in);

  const double si = m.rain_volume_total + m.gw_to_river_total + m.gw_to_lake_total +
                    m.exfiltrated_volume_total + m.ov_point_source_total +
                    m.stream_point_source_total + m.superlink_to_chan_total +
                    m.superlink_to_ov_total + gains + (m.ov_bmp_on ? m.bmp_to_ov_total : 0.0);
  m.surface_error_pct = 0.0;
  if (si > 0.0) {
    const double ii = m.chan_volume_initial_run + m.ov_volume_initial + m.lake_volume_initial_run +
                      overland_lake_start(m) + m.snow_volume_initial_run +
                      m.drain_to_chan_total + m.drain_to_ov_total;
    const double so = m.river_to_gw_total + m.lake_to_gw_total + m.direct_evap_volume_total +
                      run_discharge_volume(m) + m.infil_volume_total + losses +
                      m.lake_evap_volume + m.ov_to_superlink_total + m.ov_to_drain_total;
    double fs = m.snow_volume_final + m.chan_volume_final + m.melt_volume_final +
                m.surface_volume_final + m.lake_volume_final;
    if (m.ov_bmp_on) fs += m.bmp_precip_total + m.bmp_from_ov_total;
    m.surface_error_pct = balance_percent((ii + si) - (fs + so), fs + si);
  }
}

void compute_simple_soil_balance(model_state& m) {
  m.simple_soil_error_pct = 0.0;
  if (!(m.soil_volume_initial_simple > 0.0)) return;
  double lost = m.infil_volume_total + m.sm_volume_initial - m.sm_volume_final -
                (m.evap_volume_total - m.direct_evap_volume_total - m.sm_evap_total) -
                m.unsat_downward_volume;
  if (m.ov_bmp_on) lost += m.bmp_to_gw_total;
  m.simple_soil_error_pct =
      balance_percent(lost, m.infil_volume_total + m.soil_volume_initial_simple);
}

void compute_sacramento_balance(model_state& m) {
  const double a = m.watershed_area / 1000.0;
  const auto& p = m.sac_params;
  const auto& s = m.sac_saved_contents;  // uztwc, uzfwc, lztwc, lzfpc, lzfsc
  m.soil_volume_initial_simple = (s[0] + s[2]) * a;
  m.gw_volume_initial = (s[4] + s[1] + s[3]) * a;
  // The infiltrated water that waits for the model's next hourly step is soil water already.
  m.soil_volume_final = (p[sac_uztwc] + p[sac_lztwc]) * a +
                        sac_subsurface_volume(m, m.watershed_area, m.cell_count) - sac_storage_mm(p) * a;
  m.gw_volume_final = (p[sac_uzfwc] + p[sac_lzfsc] + p[sac_lzfpc]) * a;
  m.evap_volume_total = m.sac_aet_mm * a;
  m.river_to_gw_total = m.sac_channel_loss_total;
  m.gw_deep_leakage = m.sac_deep_recharge_mm * a;
  // The whole watershed: the surface, the channels and the stores. The stores' outflow leaves it
  // unless the channels take it (they route only during events, so what the stores give between
  // events leaves unrouted); the ponded water the soil step evaporated leaves it too.
  const double initial = m.soil_volume_initial_simple + m.gw_volume_initial + m.ov_volume_initial +
                         m.chan_volume_initial_run + m.snow_volume_initial_run;
  const double final_storage = m.soil_volume_final + m.gw_volume_final + m.surface_volume_final +
                               m.chan_volume_final + m.snow_volume_final + m.melt_volume_final;
  const double in = m.rain_volume_total + m.gw_head_bound_flux + m.ov_point_source_total +
                    m.stream_point_source_total + m.xy_gw_gain;
  const double out = m.evap_volume_total + m.direct_evap_volume_total + run_discharge_volume(m) +
                     m.sac_runoff_mm * a - (m.chan_explic_on ? m.sac_chan_inflow_total : 0.0) + m.gw_deep_leakage +
                     m.xy_gw_loss;
  m.total_initial_storage = initial;
  m.total_final_storage = final_storage;
  m.overall_error_pct = balance_percent((final_storage + out) - (initial + in), initial + in);
  m.surface_error_pct = balance_percent(
      m.rain_volume_total + m.ov_volume_initial + m.chan_volume_initial_run + m.snow_volume_initial_run +
          (m.gw_to_river_total - m.river_to_gw_total) + m.ov_point_source_total -
          (m.direct_evap_volume_total + run_discharge_volume(m) + m.infil_volume_total +
           m.chan_volume_final + m.snow_volume_final + m.melt_volume_final +
           m.surface_volume_final),
      m.rain_volume_total);
}

void write_run_summary(model_state& m) {
  sum_final_stores(m);
  if (m.ov_boundary_on || m.ov_boundary2_on || m.ov_pump_flag) {
    m.boundary_gain_sum = m.ov_discharge_bound_gain + m.ov_head_bound_gain;
    m.boundary_loss_sum = m.ov_slope_bound_loss + m.ov_head_bound_loss + m.ov_discharge_bound_loss;
  }
  if (m.gw_simulation_on)
    m.gw_error_pct = balance_percent(m.gw_volume_final - m.gw_volume_initial - m.gw_net_source_total -
                                         m.gw_head_bound_flux - m.xy_gw_gain + m.xy_gw_loss,
                                     m.gw_volume_initial);
  if (m.sacramento_on)
    compute_sacramento_balance(m);
  else
    compute_global_balance(m);
  if (m.soil_moisture_accounting_on) compute_simple_soil_balance(m);
  if (m.summary_fp.is_open()) {
    std::FILE* f = m.summary_fp.stream;
    write_groundwater_block(m, f);
    if (m.sacramento_on) write_sacramento_block(m, f);
    write_simulation_totals(m, f);
    write_balances(m, f);
    write_store_balances(m, f);
    write_run_transport_summaries(m, f);
    std::fflush(f);
  }
  write_end_of_run_files(m);
}

}  // namespace pluvo
