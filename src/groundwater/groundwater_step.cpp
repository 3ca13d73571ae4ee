// The groundwater phase: books the channel exchange gathered since the last update, sets the
// storage coefficients, advances the aquifer, lets the soil column follow the water table, keeps
// the aquifer totals and, while the channels are not routed, applies the stream and lake
// exchange to the channel network itself.
#include <algorithm>
#include <cmath>
#include <vector>

#include "channel/channel_services.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "groundwater/groundwater_phases.hpp"
#include "groundwater/groundwater_solver.hpp"
#include "groundwater/korp_linkage.hpp"
#include "output/xy_boundaries.hpp"
#include "record/model_state.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

double cell_area(const model_state& m) { return m.cell_size * m.cell_size; }

bool held(const model_state& m, int c) { return gw_held_cell(m, c); }

// Adds a signed exchange volume (positive from the aquifer) to the pair of totals it belongs to.
void book_signed(double v, double& from_aquifer, double& from_aquifer_total, double& to_aquifer,
                 double& to_aquifer_total) {
  if (v >= 0.0) {
    from_aquifer += v;
    from_aquifer_total += v;
  } else {
    to_aquifer += -v;
    to_aquifer_total += -v;
  }
}

void book_channel_exchange(model_state& m) {
  if (m.stream_loss_on && m.cell_stream_exchange_volume.size() > size_t(m.cell_count))
    for (int c = 1; c <= m.cell_count; c++)
      if (m.gwbound[size_t(c)] == gw_stream_cell)
        book_signed(m.cell_stream_exchange_volume[size_t(c)], m.gw_to_chan_volume, m.gw_to_river_total,
                    m.chan_to_gw_volume, m.river_to_gw_total);
  if (m.lakes_on && m.lake_gw_exchange_on == 1 && m.lake_source.size() > size_t(m.cell_count))
    for (int c = 1; c <= m.cell_count; c++)
      if (m.lake_mask[size_t(c)] > 0)
        book_signed(m.lake_source[size_t(c)], m.gw_to_lake_volume, m.gw_to_lake_total, m.lake_to_gw_volume,
                    m.lake_to_gw_total);
}

double richards_storage(const model_state& m) {
  double cm = 0.0;
  for (int c = 1; c <= m.cell_count; c++)
    for (int k = 1; k <= m.numcells[size_t(c)] - 1; k++) cm += m.DZ[size_t(c)][k] * m.THETA[size_t(c)][k];
  return cm;
}

const double* soil_entry(const model_state& m, int c) {
  return m.layered_soil_table[size_t(m.soiltype[size_t(c)])].values;
}

// Soil-moisture depth and top-layer depth of the cell, cm.
void column_depths(const model_state& m, int c, double& depth, double& top) {
  if (m.inf_layered_soil_on) {
    const double* e = soil_entry(m, c);
    top = e[22];
    depth = e[22] + e[23];
    return;
  }
  depth = m.soil_moist_depth_cm;
  top = m.top_layer_depth_cm;
}

// Specific yield from the soil above the water table.
void set_storage_coefficients(model_state& m) {
  for (int c = 1; c <= m.cell_count; c++) {
    const size_t i = size_t(c);
    double depth = 0.0, top = 0.0;
    column_depths(m, c, depth, top);
    const double z = m.elevation[i] - m.elevgw[i];
    double s = 1.0;
    if (z > 0.0) {
      if (z > depth / 100.0)
        s = m.gw_porosity[i];
      else if (!m.inf_redist_on)
        s = soil_entry(m, c)[top <= m.sm_depth_cell[i] ? 8 : 7];
      else
        s = m.porosity_cell[i];
    }
    if (s <= 0.0) {
      s = m.gw_porosity[i];
      if (!m.silent_mode) message_out("there is a problem with groundwater storage term");
    }
    m.gw_storage_coeff[i] = s;
  }
}

void book_recharge(model_state& m, int c, bool first_step) {
  const size_t i = size_t(c);
  const double cm = m.unsat_downward_flux[i];
  const int type = m.gwbound[i];
  if (!first_step && type != gw_fixed_head) m.gw_recharge_cm += cm;
  if (type != gw_fixed_head && type != gw_held_head) m.gw_recharge_total += cm / 100.0 * cell_area(m);
  m.unsat_downward_volume += cm / 100.0 * cell_area(m);
  if (type != gw_fixed_head && i < m.gw_recharge_cum.size()) m.gw_recharge_cum[i] += cm;
  m.unsat_downward_flux[i] = 0.0;
}

// Water handed to the aquifer by the soil column (cm). It reaches the cell's recharge map when
// the next solve books it; counted here as well it would be counted twice.
void hand_down(model_state& m, int c, double cm) { m.unsat_downward_flux[size_t(c)] += cm; }

bool may_exfiltrate(const model_state& m, int c) {
  const size_t i = size_t(c);
  if (!m.lakes_on && !m.overland_lakes_on) return true;
  if (m.lakes_on && i < m.lake_mask.size() && m.lake_mask[i] > 0) return false;
  if (m.overland_lakes_on && i < m.oland_lake_mask.size() && m.oland_lake_mask[i] > 0) return false;
  return true;
}

double column_porosity(const model_state& m, int c) {
  const size_t i = size_t(c);
  if (!m.inf_layered_soil_on) return m.porosity_cell[i];
  const double* e = soil_entry(m, c);
  const double depth = m.sm_depth_cell[i];
  const double top = std::min(e[22], depth);
  return (top * e[7] + (depth - top) * e[8]) / depth;
}

// The soil-moisture column follows the water table the solve left.
void follow_water_table(model_state& m, int c) {
  const size_t i = size_t(c);
  const double z = (m.elevation[i] - m.elevgw[i]) * 100.0;
  const double dh = m.elevgw[i] - m.gw_head_old[i];
  const double d0 = m.sm_depth_cell[i];
  double depth = 0.0, top = 0.0;
  column_depths(m, c, depth, top);
  // Without a field capacity (it comes only from the mapping table) the new part of the column
  // holds the water the zone below the column was taken to hold.
  const double plain = i < m.field_capacity_cell.size() ? m.field_capacity_cell[i] : m.gw_inf_redist_theta[i];
  const double f_top = m.inf_layered_soil_on ? soil_entry(m, c)[16] : plain;
  const double f_low = m.inf_layered_soil_on ? soil_entry(m, c)[17] : plain;
  if (z > 1e-16 && d0 < z) {
    const double grown = z > depth ? depth : z;
    if (z > depth || dh < 1e-16) {
      const double upper = f_top * std::max(std::min(grown, top) - std::min(d0, top), 0.0);
      const double lower = f_low * std::max(grown - std::max(d0, top), 0.0);
      m.sm_water_top[i] += upper;
      m.sm_water_lower[i] += lower;
      m.sm_water_cell[i] += upper + lower;
      hand_down(m, c, -(upper + lower));
    }
    if (z > depth)
      m.gw_unsat_exchange_cm[i] += (dh + (d0 < depth ? (depth - d0) / 100.0 : 0.0)) * m.gw_inf_redist_theta[i] * 100.0;
    m.sm_depth_cell[i] = grown;
  } else if (z > 1e-16 && d0 > z) {
    m.sm_depth_cell[i] = z;
  } else if (z <= 1e-16) {
    if (may_exfiltrate(m, c)) {
      m.yes_exfil[i] = 1;
      m.gw_exfil_seen = 1;
    }
    hand_down(m, c, m.sm_water_cell[i]);
    m.sm_depth_cell[i] = m.sm_water_cell[i] = m.sm_water_top[i] = m.sm_water_lower[i] = 0.0;
  }
  const double d = m.sm_depth_cell[i];
  if (d > 1e-16) {
    const double phi = column_porosity(m, c);
    if (m.sm_water_cell[i] / d > phi) {
      const double excess = m.sm_water_cell[i] - phi * d;
      const double top_part = std::min(top, d);
      m.sm_water_top[i] = phi * top_part;
      m.sm_water_lower[i] = phi * (d - top_part);
      m.sm_water_cell[i] = phi * d;
      hand_down(m, c, excess);
    }
  }
}

bool head_is_real(int c, double h) {
  if (!std::isnan(h)) return true;
  stop_run("A non-real value for the groudwater head was detected for in cell %d after running the groundwater flow "
           "routine.\n",
           c);
  return false;
}

// What the soil columns hand the aquifer in the coming solve (their share of the water moved
// between the two domains when the water table fell below a column), m3.
double column_handover(const model_state& m) {
  double v = 0.0;
  for (int c = 1; c <= m.cell_count; c++)
    if (!held(m, c)) v += m.gw_unsat_exchange_cm[size_t(c)] / 100.0 * cell_area(m);
  return v;
}

bool solve_with_soil_moisture(model_state& m, double dt) {
  set_storage_coefficients(m);
  m.gw_input_total += column_handover(m);
  std::copy(m.elevgw.begin(), m.elevgw.end(), m.gw_head_old.begin());
  const double volume = groundwater_solve(m, dt);
  if (error_state.error_terminate) return false;
  m.gw_net_source_total += volume;
  const bool first_step = m.event_step_count <= 1;
  for (int c = 1; c <= m.cell_count; c++) {
    m.yes_exfil[size_t(c)] = 0;
    m.gw_unsat_exchange_cm[size_t(c)] = 0.0;
    book_recharge(m, c, first_step);
    if (!head_is_real(c, m.elevgw[size_t(c)])) return false;
  }
  for (int c = 1; c <= m.cell_count; c++) follow_water_table(m, c);
  return true;
}

bool solve_with_richards(model_state& m, double dt) {
  const double volume = groundwater_solve(m, dt);
  if (error_state.error_terminate) return false;
  m.gw_net_source_total += volume;
  const bool linkage = m.permafrost_gipl_flag && !m.fr_lq_wat.empty() && !m.K_init.empty();
  for (int c = 1; c <= m.cell_count; c++) {
    const size_t i = size_t(c);
    if (i < m.dtr.size()) m.dtr[i] = std::min(m.dtr[i], 1.0 / 360.0);
    brooks_corey_layer_functions(m, c);
    if (linkage)
      hydrocon_linkage(m, c, m.PHEAD[i], m.KHEAD[i], m.K_init[i], m.fr_lq_wat[i], m.numcells[i]);
    const double cm = m.unsat_downward_flux[i];
    const int type = m.gwbound[i];
    if (m.event_step_count > 1) m.gw_recharge_cm += cm;
    if (type != gw_fixed_head && type != gw_held_head) m.gw_recharge_total += cm / 100.0 * cell_area(m);
    m.unsat_downward_volume += cm / 100.0 * cell_area(m);
    m.unsat_downward_flux[i] = 0.0;
  }
  if (m.gw_to_unsat_step_cm != 0.0) {
    const double v = m.gw_to_unsat_step_cm / 100.0 * cell_area(m);
    m.gw_to_unsat_event_volume -= v;
    m.gw_input_total += v;
  }
  return true;
}

double aquifer_storage_cm(const model_state& m) {
  double cm = 0.0;
  for (int c = 1; c <= m.cell_count; c++)
    cm += (m.elevgw[size_t(c)] - m.bottom_elev[size_t(c)]) * m.gw_porosity[size_t(c)] * 100.0;
  return cm;
}

void book_step_totals(model_state& m, double dt) {
  m.gw_storage_cm = aquifer_storage_cm(m);
  m.subsurface_storage_cm = m.gw_storage_cm + m.richards_storage_cm;
  const double area = cell_area(m);
  for (int c = 1; c <= m.cell_count; c++) {
    const size_t i = size_t(c);
    // Held cells take no sources, so nothing of theirs is booked as leakage or pumping.
    if (!held(m, c)) {
      m.gw_deep_leakage += dt * m.gw_bottom_leakage[i] * area;
      m.gw_pumping_total += dt * m.gw_well_rate[i] * area;
    }
    if (m.gwbound[i] == gw_fixed_head) m.gw_head_bound_flux += m.gw_flux[i];
    m.gw_flux[i] = 0.0;
    if (m.yes_exfil[i] == 1) m.gw_exfil_seen = 1;
  }
}

// Water reaching the surface between events starts event stepping again at the current time.
void restart_event_stepping(model_state& m) {
  if (!m.gw_exfil_seen || m.event_in_progress || m.ov_water_present) return;
  m.ov_water_present = 1;
  m.step_interval_s = m.infil_interval_s = m.time_step;
  m.step_interval = m.infil_interval = m.time_step / 86400.0;
  m.step_next_time = m.infil_next_time = m.cur_julian;
  m.step_last_time = m.infil_last_time = m.cur_julian - m.step_interval;
  if (m.soil_moisture_accounting_on) {
    m.soil_moisture_next_time = m.infil_next_time;
    m.soil_moisture_interval_s = m.infil_interval_s;
    m.soil_moisture_interval = m.infil_interval;
  }
  if (m.ov_con_trans_on) {
    m.ov_con_next_time = m.cur_julian;
    m.ov_con_last_time = m.step_last_time;
  }
  if (m.storm_sewer_on) {
    m.superlink_next_time = m.cur_julian;
    m.superlink_last_time = m.step_last_time;
  }
  if (m.ov_bmp_on) {
    m.bmp_next_time = m.cur_julian;
    m.bmp_last_time = m.step_last_time;
  }
  if (m.direct_evap_cell.size() > size_t(m.cell_count))
    for (int c = 1; c <= m.cell_count; c++) {
      m.direct_evap_volume_total += m.direct_evap_cell[size_t(c)] * cell_area(m) / 100.0;
      m.direct_evap_cell[size_t(c)] = 0.0;
    }
}

// A losing node that would run dry in dt loses exactly what it holds: the negative rates of its
// grid-stream entries are scaled down to that volume.
bool drain_losing_nodes(model_state& m, double dt) {
  std::vector<double> scale(m.qriv.size(), 1.0);
  bool any = false;
  for (int l = 1; l <= m.nlinks; l++)
    for (int n = 1; n <= m.nx[l]; n++) {
      const size_t k = size_t(l) * size_t(m.chan_node_extent) + size_t(n);
      const double v = m.area[k] * m.link_dx[l];
      const double loss = -m.qriv[k] * m.link_dx[l] * dt;
      if (v - loss < 0.0 && m.qriv[k] < 0.0) {
        scale[k] = v / loss;
        any = true;
      }
    }
  if (any) {
    for (int g = 1; g <= m.gst_num_cells; g++)
      for (int e = 1; e <= m.gst_ncellsingrid[size_t(g)]; e++) {
        const size_t k = size_t(m.gst_link[size_t(g)][size_t(e)]) * size_t(m.chan_node_extent) +
                         size_t(m.gst_node[size_t(g)][size_t(e)]);
        if (scale[k] != 1.0) m.qriv[k] = 0.0;
      }
    for (int g = 1; g <= m.gst_num_cells; g++)
      for (int e = 1; e <= m.gst_ncellsingrid[size_t(g)]; e++) {
        const size_t k = size_t(m.gst_link[size_t(g)][size_t(e)]) * size_t(m.chan_node_extent) +
                         size_t(m.gst_node[size_t(g)][size_t(e)]);
        if (scale[k] == 1.0) continue;
        double& r = m.gst_qriv[size_t(g)][size_t(e)];
        if (r < 0.0) r *= scale[k];
        m.qriv[k] += m.gst_pct[size_t(g)][size_t(e)] * r;
      }
  }
  for (int l = 1; l <= m.nlinks; l++)
    for (int n = 1; n <= m.nx[l]; n++) {
      const size_t k = size_t(l) * size_t(m.chan_node_extent) + size_t(n);
      double v = m.area[k] * m.link_dx[l] + dt * m.qriv[k] * m.link_dx[l];
      // An emptied node holds nothing, whatever the rounding of its last loss.
      if (scale[k] != 1.0) v = 0.0;
      m.area[k] = v / m.link_dx[l];
      if (std::fabs(m.area[k]) < 1e-15) m.area[k] = 0.0;
      if (m.area[k] < 0.0) {
        stop_run("Error undating channels for groundwater influence without routing: node %d link %d \n", n, l);
        return false;
      }
    }
  return true;
}

bool exchange_while_routing_idle(model_state& m, double dt) {
  if (!m.chan_explic_on || !(m.stream_loss_on || m.lake_gw_exchange_on) || m.external_channel_inflow_on != 0)
    return true;
  m.stream_gw_exchange_state = compute_stream_aquifer_flux(m, dt);
  if (error_state.error_terminate) return false;
  m.lake_gw_seen = 0;
  if (m.lakes_on) {
    apply_lake_seepage(m, dt);
    for (int k = 1; k <= m.nlakes; k++)
      if (m.lake_in_dv[size_t(k)] > 1e-16 || m.lake_out_dv[size_t(k)] > 1e-16) m.lake_gw_seen = 1;
  }
  if (m.stream_gw_exchange_state == 2) {
    if (!drain_losing_nodes(m, dt)) return false;
    book_stream_seepage(m, dt);
  } else if (m.stream_gw_exchange_state == 1) {
    std::fill(m.cell_stream_exchange_volume.begin(), m.cell_stream_exchange_volume.end(), 0.0);
  }
  if (m.stream_gw_exchange_state == 1) {
    m.external_channel_inflow_on = 1;
    double s = m.chan_con_trans_on ? m.time_step : m.gw_interval_s;
    while (s > 3600.0) s *= 0.5;
    m.chan_interval_s = s;
    m.chan_interval = s / 86400.0;
    m.chan_next_time = m.cur_julian;
    m.chan_last_time = m.cur_julian - m.chan_interval;
  } else if (m.stream_gw_exchange_state == 2) {
    recompute_channel_sections(m);
  }
  return true;
}

// The heads of the XY boundary input, with the water they add and remove.
void impose_xy_heads(model_state& m) {
  const xy_input& xy = m.xybdy_inputs;
  if (xy.gwpts.empty() && xy.gwInterpPts.empty()) return;
  double gain = 0.0, loss = 0.0;
  // The water a head adds or removes is booked at the cell's storage coefficient, which the
  // first step has not set yet.
  if (m.soil_moisture_accounting_on) set_storage_coefficients(m);
  apply_gw_xy_boundary(xy, m.elevgw.data(), m.gw_storage_coeff.data(), m.cell_size, gain, loss, m.cur_julian);
  m.xy_gw_gain += gain;
  m.xy_gw_loss += loss;
}

}  // namespace

void groundwater_step(model_state& m) {
  if (m.gw_simulation_on != 1 || !(std::fabs(m.gw_next_time - m.cur_julian) < m.time_tolerance) ||
      m.snow_calibrate_on == 1)
    return;
  size_groundwater_arrays(m);
  m.gw_exfil_seen = 0;
  m.richards_storage_cm = 0.0;
  const double dt = (m.gw_next_time - m.gw_last_time) * 86400.0;
  impose_xy_heads(m);
  book_channel_exchange(m);
  if (m.inf_richards_on) {
    m.richards_storage_cm = richards_storage(m);
    m.subsurface_storage_cm = m.gw_storage_cm + m.richards_storage_cm;
  }
  bool solved = true;
  if (m.inf_richards_on) {
    solved = solve_with_richards(m, dt);
    m.gw_step_toggle = m.gw_step_toggle == 1 ? 2 : 1;
  } else if (m.soil_moisture_accounting_on) {
    solved = solve_with_soil_moisture(m, dt);
    m.gw_step_toggle = m.gw_step_toggle == 1 ? 2 : 1;
  }
  if (!solved) return;
  book_step_totals(m, dt);
  restart_event_stepping(m);
  if (!exchange_while_routing_idle(m, dt)) return;
  if (m.stream_loss_on)
    for (int l = 1; l <= m.nlinks; l++)
      for (int n = 1; n <= m.nx[l]; n++) {
        const size_t k = size_t(l) * size_t(m.chan_node_extent) + size_t(n);
        m.av_qriv[k] += m.qriv[k];
      }
  m.gw_last_time = m.cur_julian;
  m.gw_next_time = m.cur_julian + m.gw_interval;
}

int build_gipl_layer_links(int cell, model_state& m) { return node_linkage_ga(cell, m); }

}  // namespace pluvo
