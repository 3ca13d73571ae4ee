// The line-per-output-time files: outlet hydrograph and its companions, cell and point files.
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "common/julian.hpp"
#include "common/process.hpp"
#include "output/linknode_series.hpp"
#include "output/output_phases.hpp"
#include "output/record_values.hpp"
#include "output/report_lines.hpp"
#include "output/series_files.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

double cell_value(const std::vector<double>& v, int cell) {
  return cell > 0 && size_t(cell) < v.size() ? v[size_t(cell)] : 0.0;
}

// The time column of the outlet hydrograph for this run kind.
double hydrograph_time_column(const model_state& m) {
  if (m.long_term_on) return m.hydrograph_time;
  return m.strict_julian_date_on ? m.cur_julian : m.elapsed_min;
}

void write_mm_per_hour(const model_state& m, std::FILE* f, double value) {
  if (m.strict_julian_date_on)
    std::fprintf(f, "%16.6lf %16.8lf\n", m.cur_julian, value);
  else
    std::fprintf(f, "%8.2lf %16.8lf\n", m.elapsed_min, value);
}

void write_runoff_and_rainfall(const model_state& m) {
  std::FILE* runoff = open_stream(m.runoff_mmh_fp);
  if (m.runoff_mmph_on && runoff) {
    const double area = m.cell_count * m.cell_size * m.cell_size;
    // A grid without area has no runoff depth to show.
    const double value = area > 0.0 ? m.outlet_discharge * 3600.0 / area * 1000.0 : 0.0;
    write_mm_per_hour(m, runoff, value);
  }
  std::FILE* rain = open_stream(m.basin_rain_mmh_fp);
  if (m.rainfall_mmph_on && rain) write_mm_per_hour(m, rain, m.avg_rain_rate);
}

void write_outlet_hydrograph(model_state& m) {
  hydrograph_line line;
  line.long_term = m.long_term_on;
  line.strict_julian = m.strict_julian_date_on;
  line.cfs = m.qout_cfs_on;
  line.time = hydrograph_time_column(m);
  line.discharge = m.qout_cfs_on ? m.outlet_discharge * m.cfs_factor : m.outlet_discharge;
  std::FILE* main = open_stream(m.outlet_hydrograph_fp);
  std::FILE* six = m.sig_outlet_hydro_on ? open_stream(m.hydrograph_6digit_fp) : nullptr;
  write_hydrograph_lines(main, six, line);
  if (main) ++m.hydrograph_line_count;
}

// Overland sediment discharge at the outlet, m3/s (ft3/s in cfs mode), on the hydrograph's time.
// With channel sediment transport the channel writes its own line per class.
void write_outlet_sediment(const model_state& m) {
  std::FILE* f = open_stream(m.sed_outlet_hydro_file);
  if (!m.soil_erosion_on || !m.ov_sed || m.chan_sed_transport_on || !f) return;
  double rate = m.step_interval_s > 0.0 ? m.ov_sed->outlet_sed_volume_step / m.step_interval_s : 0.0;
  if (m.qout_cfs_on) rate *= m.cfs_factor;
  std::fprintf(f, "%16.8lf %16.10lf\n", hydrograph_time_column(m), rate);
}

void write_cell_file(const model_state& m) {
  std::FILE* f = open_stream(m.out_dep_dis_fp);
  if (m.celldepdis_location_on != 1 || !f) return;
  write_point_time_prefix(m, f, true);
  if (!m.qout_cfs_on)
    for (int cell : m.gnumlocater) std::fprintf(f, "%12.6lf  ", cell_value(m.depth_map, cell));
  std::fputs("        ", f);
  const double factor = m.qout_cfs_on ? m.cfs_factor : 1.0;
  for (int cell : m.gnumlocater) {
    const double qx = cell_value(m.ov_qx, cell), qy = cell_value(m.ov_qy, cell);
    std::fprintf(f, "%12.6lf  ", std::sqrt(qx * qx + qy * qy) * factor);
  }
  std::fputc('\n', f);
}

// One "%12.6lf " per listed cell; the line is ended even when the list is empty.
template <class value_of>
void write_cell_point_file(const model_state& m, std::FILE* f, const std::vector<int>& cells,
                           value_of value) {
  write_point_time_prefix(m, f, false);
  for (int cell : cells) std::fprintf(f, "%12.6lf ", value(cell));
  std::fputc('\n', f);
}

void write_overland_files(const model_state& m) {
  std::FILE* depth = open_stream(m.overland_depth_out_fp);
  if (m.overland_depths_on && depth)
    write_cell_point_file(m, depth, m.overland_depth_cells,
                          [&](int c) { return cell_value(m.ov_depth, c); });
  std::FILE* wse = open_stream(m.overland_wse_out_fp);
  if (m.overland_wse_on && wse)
    write_cell_point_file(m, wse, m.overland_wse_cells, [&](int c) {
      return cell_value(m.elevation, c) + cell_value(m.ov_depth, c);
    });
}

// Calendar date of the current time, hour and minute truncated.
void write_calendar_prefix(const model_state& m, std::FILE* f) {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  calendar_from_julian(m.cur_julian, year, month, day, hour, minute, seconds);
  std::fprintf(f, "%4d %2d %2d %2d %2d ", year, month, day, hour, minute);
}

void write_lake_file(const model_state& m) {
  std::FILE* f = open_stream(m.lake_output_fp);
  if (!m.lake_output_on || m.nlakes < 1 || !f) return;
  if (m.long_term_on) {
    write_calendar_prefix(m, f);
  } else {
    std::fprintf(f, "%14.8lf ", m.elapsed_min);
  }
  for (int l = 1; l <= m.nlakes; ++l)
    std::fprintf(f, "%9.3lf  %9.3lf ", cell_value(m.lake_elev, l), cell_value(m.lake_volume, l));
  std::fputc('\n', f);
}

}  // namespace

void write_time_series(model_state& m) {
  // The segment fluxes gather every step; they are written at output times only.
  if (m.q4_fluxes) sum_q4_segment_fluxes(m);
  if (!hydrograph_output_time(m.step_count, m.hyd_write_steps)) return;
  if (row_decomposition.this_process != 0) return;
  if (m.long_term_on)
    m.hydrograph_time = m.strict_julian_date_on
                            ? m.cur_julian
                            : decimal_year(m.cur_year, m.day_of_year, m.cur_hour, m.cur_minute);
  write_q4_inflow_line(m);
  if (m.q4_fluxes) write_q4_segment_fluxes(m, decimal_day_of_year(m));
  write_runoff_and_rainfall(m);
  write_outlet_hydrograph(m);
  write_outlet_sediment(m);
  write_channel_outlet_sediment(m);
  write_channel_point_files(m);
  write_cell_file(m);
  write_pipe_point_files(m);
  write_channel_state_point_files(m);
  write_soil_moisture_file(m);
  write_well_file(m);
  write_overland_files(m);
  write_lake_file(m);
  write_sediment_point_files(m);
  if (m.outlet_hydrograph_fp.is_open()) std::fflush(m.outlet_hydrograph_fp.stream);
  if (m.sig_outlet_hydro_on && m.hydrograph_6digit_fp.is_open())
    std::fflush(m.hydrograph_6digit_fp.stream);
  write_stream_linknode_steps(m);
  write_sediment_linknode_step(m);
  write_superlink_series(m);
  write_soil_temperature_line(m);
  if (m.nutrients_on) {
    fill_tvx_outlet_values(m);
    write_tvx_hydrograph_step(m);
  }
  write_contaminant_linknode_steps(m);
  if (m.xybdyoutput_flag) write_xy_output_step(m, m.cur_julian);
}

}  // namespace pluvo
