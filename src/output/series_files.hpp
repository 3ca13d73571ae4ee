#pragma once
// The point files of the time series beyond the outlet hydrograph, and the files written once at
// the end of a run (hotstarts, maximum depths, the VOK hydrograph).
#include <cstdint>
#include <cstdio>

namespace pluvo {

struct model_state;

// Time prefix of a point-file line ("%16.8lf " long-term, "%14.8lf " event minutes); the cell
// file pads it with five blanks.
void write_point_time_prefix(const model_state& m, std::FILE* f, bool cell_file);

// The day of the year with its hours and minutes as a fraction, the water-quality model's clock.
double decimal_day_of_year(const model_state& m);

// Pieces of write_time_series at an output time, each writing only its own switched-on files.
void write_q4_inflow_line(const model_state& m);
void write_channel_point_files(model_state& m);   // channel discharge and groundwater flux
void write_channel_state_point_files(const model_state& m);  // depth, concentration, mass
void write_soil_moisture_file(const model_state& m);
void write_well_file(const model_state& m);
void write_pipe_point_files(const model_state& m);         // superjunctions, superlink nodes, drains
void write_channel_outlet_sediment(const model_state& m);  // per class, with channel sediment
void write_sediment_point_files(const model_state& m);
void write_sediment_linknode_step(model_state& m);
// PIPE_FLOW, PIPE_HEAD and PIPE_TILE: per superlink the number of values, then the values.
void write_superlink_series(model_state& m);
void write_soil_temperature_line(const model_state& m);
// Outlet concentration and mass of each nutrient whose hydrograph output is asked for.
// At an output time: the outlet concentration of each nutrient and the mass that left through the
// outlet since the previous output time, then their hydrograph-style files.
void fill_tvx_outlet_values(model_state& m);
void write_tvx_hydrograph_step(const model_state& m);
// The channel concentration and mass series of each contaminant output.
void write_contaminant_linknode_steps(model_state& m);

// The coupling steps of the time series: the water-quality segment fluxes (summed every step,
// written at output times with the decimal day) and the XY boundary outputs of a nested run.
void sum_q4_segment_fluxes(model_state& m);
void write_q4_segment_fluxes(model_state& m, double day);
void write_xy_output_step(model_state& m, double julian);

// Closes the water-quality inflow file (a corrupt record is reported and still closed).
void close_aux_series_file();

// The end-of-run files, in their fixed order; called last by write_run_summary.
void write_end_of_run_files(model_state& m);

// The channel hotstart of the current network: one "node link water-surface" line per node in
// depth, one "node link discharge" line per node in flow (either may be null).
void write_channel_hotstart(model_state& m, std::FILE* depth, std::FILE* flow);

// What the VOK hydrograph file is built from: the run's outlet hydrograph file and, with
// hydrograph points, the point hydrograph file (data lines only) with the point list.
struct vok_sources {
  std::FILE* outlet = nullptr;
  std::FILE* points = nullptr;          // null without hydrograph points
  const int32_t* point_links = nullptr;  // 1..point_count
  const int32_t* point_nodes = nullptr;
  int point_count = 0;
  long start_date = 0;  // year * 10000 + month * 100 + day
  long start_time = 0;  // hour * 100 + minute
  long hyd_write_steps = 0;
  long line_count = 0;  // outlet hydrograph lines of the run
};

void write_vok_hydrograph_file(std::FILE* vok, const vok_sources& in);

}  // namespace pluvo
