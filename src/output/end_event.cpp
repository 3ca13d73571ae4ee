// Closing the accounts of one rainfall-runoff event.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "common/parallel_team.hpp"
#include "common/process.hpp"
#include "output/end_event.hpp"
#include "output/transport_summary.hpp"
#include "output/output_phases.hpp"
#include "output/report_lines.hpp"
#include "output/summary_file.hpp"
#include "record/model_state.hpp"

namespace pluvo {

bool in_overland_lake(const model_state& m, int i) {
  const int olake = m.overland_lakes_on ? entry_or_zero(m.oland_lake_new, i) : 0;
  return olake > 0 && size_t(olake) < m.overland_lake_records.size() && size_t(i) < m.elevation.size();
}

double overland_lake_cell_water(const model_state& m, int i, double area) {
  if (!in_overland_lake(m, i)) return 0.0;
  return (m.overland_lake_records[size_t(m.oland_lake_new[size_t(i)])].wse - m.elevation[size_t(i)]) * area;
}

double column_wetness(const model_state& m, int i, double depth_cm) {
  double covered = 0.0, sum = 0.0;
  for (int j = 1; j < m.numcells[size_t(i)] && covered < depth_cm; ++j) {
    const double dz = std::min(m.DZ[i][j], depth_cm - covered);
    if (m.THETAS[i][j] > 0.0) sum += m.THETA[i][j] / m.THETAS[i][j] * dz;
    covered += dz;
  }
  return covered > 0.0 ? sum / covered : 0.0;
}

namespace {

// Sediment hydrograph points exist only with the sediment record.
int sediment_points_on(const model_state& m) { return m.ov_sed ? m.ov_sed->sed_hydro_locations_on : 0; }

void sum_infiltrated_volume(model_state& m, double area) {
  m.infiltrated_volume = 0.0;
  if (!m.inf_redist_on && !m.green_ampt_on && !m.inf_richards_on && !m.inf_layered_soil_on) return;
  if (m.infil_depth.size() < size_t(m.cell_count) + 1) return;
  const double* depth = m.infil_depth.data();
  // The water infiltrated from the open share of a blocked cell only.
  const double sum = parallel_cell_sums<1>(
      m.cell_count, [&m, depth](int i) { return std::array<double, 1>{depth[i] * open_share(m, i)}; })[0];
  m.infiltrated_volume = sum * area;
}

void sum_final_surface_volume(model_state& m, double area) {
  m.surface_volume_final = 0.0;
  if (m.ov_depth.size() < size_t(m.cell_count) + 1) return;
  if (m.overland_lakes_on && m.lakes_on) {
    for (int i = 1; i <= m.cell_count; ++i)
      std::printf("You are simulating overland lakes and perennial lakes, not recommended "
                  "presently. Contact your PLUVO developer for further advice\n\n");
    return;
  }
  double sum = 0.0;
  m.olake_volume_final = 0.0;  // this event's figure, not a sum over events
  for (int i = 1; i <= m.cell_count; ++i) {
    if (m.lakes_on && entry_or_zero(m.lake_mask, i) > 0) continue;
    const double lake = overland_lake_cell_water(m, i, area);
    m.olake_volume_final += lake;
    sum += in_overland_lake(m, i) ? lake : m.ov_depth[size_t(i)] * area * open_share(m, i);
  }
  m.surface_volume_final = sum;
}

double take(std::vector<double>& v, int cell) {
  if (size_t(cell) >= v.size()) return 0.0;
  const double value = v[size_t(cell)];
  v[size_t(cell)] = 0.0;
  return value;
}

double cell_entry(const std::vector<double>& v, int cell) {
  return size_t(cell) < v.size() ? v[size_t(cell)] : 0.0;
}

// The event's net infiltration and the water of the soil nodes 1..numcells - 1 of a Richards column.
void add_richards_column(model_state& m, int i, double area) {
  if (size_t(i) >= m.inf_rich.size() || size_t(i) >= m.numcells.size()) return;
  m.richards_net_infil += m.inf_rich[size_t(i)] * area;
  for (int j = 1; j < m.numcells[size_t(i)]; ++j) {
    m.soil_volume_final += m.THETA[i][j] * m.DZ[i][j] / 100.0 * area;
    ++m.richards_cells_end;
  }
}

// Soil water of the soil-moisture scheme or the Richards columns: recharge, direct evaporation,
// final store and the Richards balance.
void close_soil_accounts(model_state& m, double area) {
  if (!m.soil_moisture_accounting_on && !m.inf_richards_on) return;
  // The event's recharge is what left the columns' bottoms since the last event booked its own.
  double event_flux = 0.0;
  for (int i = 1; i <= m.cell_count; ++i) {
    const double flux = cell_entry(m.unsat_downward_flux, i);
    m.unsat_downward_flux_sum += flux;
    event_flux += flux;
    if (!m.gw_simulation_on) m.unsat_downward_volume += take(m.unsat_downward_flux, i) / 100.0 * area;
  }
  m.recharge_volume = event_flux / 100.0 * area;
  // Under the aquifer the groundwater steps take the columns' downward water as it comes: the
  // event's recharge is what they booked since the event began and what waits for the next one,
  // less the water the columns handed over as they followed the water table.
  if (m.gw_simulation_on && m.inf_richards_on) {
    double waiting = 0.0;
    for (int i = 1; i <= m.cell_count; ++i) waiting += cell_entry(m.unsat_downward_flux, i);
    m.recharge_volume = m.unsat_downward_volume - m.unsat_downward_volume_start + waiting / 100.0 * area +
                        m.gw_to_unsat_event_volume;
  }
  m.direct_evap_volume_event = 0.0;
  m.soil_volume_final = 0.0;
  m.richards_net_infil = 0.0;
  m.richards_cells_end = 0;
  for (int i = 1; i <= m.cell_count; ++i) {
    if (m.long_term_on) m.direct_evap_volume_event += take(m.direct_evap_cell, i) / 100.0 * area;
    if (m.inf_richards_on)
      add_richards_column(m, i, area);
    else
      m.soil_volume_final += cell_entry(m.sm_water_cell, i) / 100.0 * area;
  }
  m.direct_evap_volume_total += m.direct_evap_volume_event;
  // The soil-moisture step takes ponded water first: that water leaves the event as evaporation.
  // The Richards columns book theirs in the event's evaporation as they solve.
  if (!m.inf_richards_on) {
    m.evap_volume_event = m.direct_evap_volume_event;
    return;
  }
  if (m.soil_volume_initial > 0.0) {
    m.richards_error_pct = (m.soil_volume_final - m.soil_volume_initial - m.richards_net_infil + m.recharge_volume -
                            m.gw_to_unsat_event_volume) /
                           m.soil_volume_initial * 100.0;
  } else {
    m.richards_error_pct = 0.0;
    if (m.summary_fp.is_open()) std::fputs("\n No Unsaturated Cells in Grid, No infiltration \n", m.summary_fp.stream);
  }
}

void sum_final_lake_volume(model_state& m) {
  if (!m.lakes_on) return;
  double sum = 0.0;
  for (int l = 1; l <= m.nlakes && size_t(l) < m.lake_volume.size(); ++l)
    sum += m.lake_volume[size_t(l)];
  m.lake_volume_final = sum;
}

void sum_final_snow(model_state& m, double area) {
  m.snow_volume_final = 0.0;
  m.melt_volume_final = 0.0;
  const size_t n = size_t(m.cell_count) + 1;
  for (int i = 1; i <= m.cell_count; ++i) {
    if (m.lakes_on && entry_or_zero(m.lake_mask, i) > 0) continue;
    // The pack's liquid water (Wq, mm) is part of its water equivalent already.
    if (m.snow_present && m.snow_swe.size() >= n)
      m.snow_volume_final += m.snow_swe[size_t(i)] * area;
    if (m.long_term_on && m.snow_melt_to_ov.size() >= n)
      m.melt_volume_final += m.snow_melt_to_ov[size_t(i)] * area;
  }
}

// Event figures are the run totals less their values at the event's start.
void form_event_differences(model_state& m) {
  m.exfiltrated_volume = m.exfiltrated_volume_total - m.exfiltrated_volume_start;
  m.ov_cleanup_volume_event = m.ov_cleanup_volume - m.ov_cleanup_volume_start;
  if (m.interception_on)
    m.intercepted_volume_event = m.intercepted_volume - m.intercepted_volume_start;
  if (m.snow_canopy_intercept_on)
    m.canopy_sublimation_event = m.canopy_sublimation_total - m.canopy_sublimation_start;
  if (m.ov_boundary_on || m.ov_boundary2_on) {
    m.ov_head_bound_loss_event = m.ov_head_bound_loss - m.ov_head_bound_loss_start;
    m.ov_head_bound_gain_event = m.ov_head_bound_gain - m.ov_head_bound_gain_start;
  }
  if (m.ov_boundary_on || m.ov_pump_flag) {  // pumps book into the discharge totals
    m.ov_slope_bound_loss_event = m.ov_slope_bound_loss - m.ov_slope_bound_loss_start;
    m.ov_discharge_bound_gain_event = m.ov_discharge_bound_gain - m.ov_discharge_bound_gain_start;
    m.ov_discharge_bound_loss_event = m.ov_discharge_bound_loss - m.ov_discharge_bound_loss_start;
    m.ov_discharge_bound_unmet_event = m.ov_discharge_bound_unmet - m.ov_discharge_bound_unmet_start;
  }
  if (m.point_source_sink_on) {
    m.lake_point_source_event = m.lake_point_source_total - m.lake_point_source_start;
    m.lake_point_sink_event = m.lake_point_sink_total - m.lake_point_sink_start;
  }
  // The channel phase books every point inflow and sink of the stream nodes.
  if (m.chan_explic_on) {
    m.stream_point_source_event = m.stream_point_source_total - m.stream_point_source_start;
    m.stream_point_sink_event = m.stream_point_sink_total - m.stream_point_sink_start;
  }
  if (m.lakes_on) m.lake_evap_volume_event = m.lake_evap_volume - m.lake_evap_volume_start;
}

void close_sacramento_storage(model_state& m) {
  m.subsurface_volume_event_end = 0.0;
  if (!m.sacramento_on) return;
  m.subsurface_volume_event_end = sac_subsurface_volume(m, m.watershed_area, m.cell_count);
  m.evap_volume_event = m.sac_evap_volume;
}

// The layouts of the optimisation line: sediment, water in cubic feet, water in SI.
struct optimisation_layout {
  const char* head;   // event number, peak, volume
  const char* point;  // peak and volume of one point
  double factor;
  bool flush_before_line_end;
};

void write_optimisation_line(model_state& m) {
  if (!m.optimize_on || !m.optimize_output_fp.is_open()) return;
  std::FILE* f = m.optimize_output_fp.stream;
  calibration_results* r = m.external_results;
  const int points_on = m.optimize_sed_on ? sediment_points_on(m) : m.hyd_location_on;
  const int points = m.optimize_sed_on ? m.sed_hydrograph_point_count : m.hydrograph_link_count;
  auto point_value = [](const std::vector<double>& v, int i) {
    return size_t(i) < v.size() ? v[size_t(i)] : 0.0;
  };
  if (points_on == 1 && r)
    for (int i = 1; i <= points && size_t(i) < r->point_peaks.size() && size_t(i) < r->point_volumes.size(); ++i) {
      r->point_peaks[size_t(i)] = point_value(m.point_peak_discharge, i);
      r->point_volumes[size_t(i)] = point_value(m.point_event_volume, i);
    }
  static const optimisation_layout sediment{"%d %9.6lf %16.6lf", "%9.6lf %16.6lf", 1.0, true};
  static const optimisation_layout water_cfs{"%d %8.2lf %16.5lf", "%8.2lf %16.5lf",
                                             cubic_feet_per_cubic_metre, false};
  static const optimisation_layout water_si{"%d %9.3lf %16.4lf", "%9.3lf %16.4lf", 1.0, true};
  const optimisation_layout& l = m.optimize_sed_on ? sediment : m.qout_cfs_on ? water_cfs : water_si;
  std::fprintf(f, l.head, m.event_number, m.event_peak_q * l.factor,
               m.event_discharge_volume * l.factor);
  if (points_on == 1)
    for (int i = 1; i <= points; ++i)
      std::fprintf(f, l.point, point_value(m.point_peak_discharge, i) * l.factor,
                   point_value(m.point_event_volume, i) * l.factor);
  if (l.flush_before_line_end) std::fflush(f);
  std::fputc('\n', f);
  if (!l.flush_before_line_end) std::fflush(f);
}

void file_calibration_results(model_state& m) {
  calibration_results* r = m.external_results;
  if (!m.optimize_on || m.event_number == 0 || !r || r->event_peaks.empty() || r->event_volumes.empty()) return;
  const double k = (m.qout_cfs_on && !m.optimize_sed_on) ? cubic_feet_per_cubic_metre : 1.0;
  const long outlet = calibration_index(r->num_events, r->num_columns, m.event_number, 0);
  if (outlet < 0) return;  // an event beyond the record's events has no place in it
  r->event_peaks[size_t(outlet)] = m.event_peak_q * k;
  r->event_volumes[size_t(outlet)] = m.event_discharge_volume * k;
  const int points_on = m.optimize_sed_on ? sediment_points_on(m) : m.hyd_location_on;
  const int points = m.optimize_sed_on ? m.sed_hydrograph_point_count : m.hydrograph_link_count;
  if (points_on != 1) return;
  for (int i = 1; i <= points; ++i) {
    const long at = calibration_index(r->num_events, r->num_columns, m.event_number, i);
    if (at < 0) break;
    r->event_peaks[size_t(at)] =
        (size_t(i) < m.point_peak_discharge.size() ? m.point_peak_discharge[size_t(i)] : 0.0) * k;
    r->event_volumes[size_t(at)] =
        (size_t(i) < m.point_event_volume.size() ? m.point_event_volume[size_t(i)] : 0.0) * k;
  }
}

}  // namespace

long calibration_index(int num_events, int stride, int event, int point) {
  if (event < 1 || event > num_events || point < 0 || point >= stride) return -1;
  return long(stride) * (event - 1) + 1 + point;
}

namespace {

// Cells whose soil water the basin average passes over: lake cells and overland boundaries.
bool outside_basin_soil(const model_state& m, int i) {
  if (in_overland_lake(m, i)) return true;
  if (m.lakes_on && entry_or_zero(m.lake_mask, i) > 0) return true;
  if (!m.ov_boundary_on) return false;
  const int t = entry_or_zero(m.boundary_type, i);
  return (t >= 2 && t <= 5) || t == 9;
}

// Relative water of a layered-soil cell: its top-layer water over the depth it fills, against
// the porosity of its class's first layer. A cell without a soil column counts as full.
double layered_cell_wetness(const model_state& m, int i) {
  const int k = entry_or_zero(m.soiltype, i);
  if (k < 0 || size_t(k) >= m.layered_soil_table.size()) return 0.0;
  const double* soil = m.layered_soil_table[size_t(k)].values;
  const double porosity = soil[soil_col_porosity], first = soil[soil_col_thickness];
  const double d = cell_entry(m.sm_depth_cell, i), top = cell_entry(m.sm_water_top, i);
  if (porosity <= 0.0 || d <= 1e-16) return 1.0;
  return top / (d > first ? first : d) / porosity;
}

// The basin-average relative soil water at the event's end, over every cell of the grid.
void average_final_soil_water(model_state& m) {
  m.final_soil_water = 0.0;
  if (m.cell_count < 1) return;
  const size_t n = size_t(m.cell_count) + 1;
  const bool redist = m.inf_redist_on && m.redist_theta.size() >= n && m.porosity_cell.size() >= n;
  const bool layered = !m.inf_redist_on && m.inf_layered_soil_on;
  const bool richards = !m.inf_redist_on && !m.inf_layered_soil_on && m.inf_richards_on && m.long_term_on &&
                        m.numcells.size() >= n;
  if (!redist && !layered && !richards) return;
  double sum = 0.0;
  for (int i = 1; i <= m.cell_count; ++i) {
    if (outside_basin_soil(m, i)) continue;
    if (redist) {
      const double w = m.redist_theta[size_t(i)] / m.porosity_cell[size_t(i)];
      if (std::isnan(w) && m.silent_mode != 1) std::printf("problem with final soil moisture in cell: %d", i);
      sum += w;
    } else if (layered) {
      sum += layered_cell_wetness(m, i);
    } else {
      sum += column_wetness(m, i, m.soil_moist_depth_cm);
    }
  }
  m.final_soil_water = sum / m.cell_count;
}

// The streams and lakes changed by the exchange since the aquifer's last step in this event:
// it is this event's, though the aquifer books it to the run at its next step.
void book_pending_aquifer_exchange(model_state& m) {
  const aquifer_exchange p = pending_aquifer_exchange(m);
  m.gw_to_chan_volume += p.gw_to_chan;
  m.chan_to_gw_volume += p.chan_to_gw;
  m.gw_to_lake_volume += p.gw_to_lake;
  m.lake_to_gw_volume += p.lake_to_gw;
}

}  // namespace

aquifer_exchange pending_aquifer_exchange(const model_state& m) {
  aquifer_exchange p;
  if (!m.gw_simulation_on) return p;
  auto add = [](double v, double& from, double& to) { (v >= 0.0 ? from : to) += std::fabs(v); };
  if (m.stream_loss_on && m.cell_stream_exchange_volume.size() > size_t(m.cell_count) &&
      m.gwbound.size() > size_t(m.cell_count))
    for (int c = 1; c <= m.cell_count; c++)
      if (m.gwbound[size_t(c)] == gw_stream_cell) add(m.cell_stream_exchange_volume[size_t(c)], p.gw_to_chan, p.chan_to_gw);
  if (m.lakes_on && m.lake_gw_exchange_on == 1 && m.lake_source.size() > size_t(m.cell_count))
    for (int c = 1; c <= m.cell_count; c++)
      if (m.lake_mask[size_t(c)] > 0) add(m.lake_source[size_t(c)], p.gw_to_lake, p.lake_to_gw);
  return p;
}

void close_event_balance(model_state& m) {
  double in = m.precip_to_lake_volume + m.rain_to_overland_volume + m.exfiltrated_volume +
              m.event_chan_volume_initial + m.event_ov_volume_initial + m.gw_to_chan_volume +
              m.gw_to_lake_volume + m.lake_initial_volume + m.snow_volume_initial +
              m.melt_volume + m.ov_point_source_volume + m.ov_head_bound_gain_event +
              m.lake_point_source_event + m.stream_point_source_event + m.ov_discharge_bound_gain_event +
              m.superlink_to_chan_volume + m.superlink_to_ov_volume + m.drain_to_chan_volume +
              m.drain_to_ov_volume + m.subsurface_volume_event_start;
  // Of the Richards columns' evaporation only what the ponds paid leaves the surface (it is the
  // direct evaporation added below); the rest leaves the soil, out of the water the surface gave it.
  const double surface_evap = m.inf_richards_on && !m.sacramento_on ? 0.0 : m.evap_volume_event;
  double out = m.infiltrated_volume + m.surface_volume_final + m.chan_volume_final +
               m.event_discharge_volume + surface_evap + m.snow_volume_final +
               m.melt_volume_final + m.lake_volume_final + m.chan_to_gw_volume +
               m.lake_to_gw_volume + m.ov_head_bound_loss_event + m.ov_slope_bound_loss_event +
               m.lake_point_sink_event + m.stream_point_sink_event + m.lake_evap_volume_event +
               m.ov_discharge_bound_loss_event + m.ov_to_superlink_volume + m.ov_to_drain_volume +
               m.subsurface_volume_event_end;
  // The Sacramento stores keep the infiltrated water inside the watershed; their outflow leaves
  // it unless the channels take it.
  if (m.sacramento_on) {
    out -= m.infiltrated_volume;
    if (!m.chan_explic_on) out += m.sac_baseflow_volume;
  }
  // Ponded water evaporated straight from the surface: the other schemes carry it as the event's
  // evaporation already; Sacramento's and the Richards columns' evaporation leave the soil.
  if (m.sacramento_on || m.inf_richards_on) out += m.direct_evap_volume_event;
  if (m.ov_bmp_on) {
    in += m.bmp_to_ov_volume;
    out += m.bmp_precip_volume + m.bmp_from_ov_volume;
  }
  m.event_input_volume = in;
  m.event_output_volume = out;
  m.event_balance_error = in > 1e-16 ? (in - out) / in : -1.0;
}

void end_event(model_state& m) {
  if (!m.event_ended) return;
  m.event_ended = 0;
  const double area = m.cell_size * m.cell_size;
  sum_infiltrated_volume(m, area);
  sum_final_surface_volume(m, area);
  close_soil_accounts(m, area);
  sum_final_lake_volume(m);
  sum_final_snow(m, area);
  // With channel routing the event's water leaves through the channel outlet.
  m.event_discharge_volume = m.chan_explic_on ? m.outlet_volume : m.event_ov_outflow_volume;
  // The next event's outflow counts from here: what drains before it starts is its own.
  m.outlet_volume = m.event_ov_outflow_volume = 0.0;
  m.event_peak_q = m.event_peak_tracked;
  form_event_differences(m);
  close_sacramento_storage(m);
  book_pending_aquifer_exchange(m);
  close_event_balance(m);
  sum_event_sediment(m);
  sum_event_constituent_stores(m);
  average_final_soil_water(m);
  write_summary_file(m);
  if (!quiet_console && !m.super_quiet_on && m.silent_mode != 1) std::printf("finished event \n");
  if (m.summary_fp.is_open()) std::fflush(m.summary_fp.stream);
  ++m.events_done;
  write_optimisation_line(m);
  file_calibration_results(m);
}

}  // namespace pluvo
