#include "run/driver.hpp"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "channel/channel_phases.hpp"
#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/process.hpp"
#include "common/replace_params.hpp"
#include "common/time_series.hpp"
#include "groundwater/groundwater_phases.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "input/input_phases.hpp"
#include "input/mapping_tables.hpp"
#include "output/output_phases.hpp"
#include "overland/overland_phases.hpp"
#include "quality/quality_phases.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"
#include "soil/soil_phases.hpp"

namespace pluvo {

namespace {

phase_observer observer;

struct phase_entry {
  const char* name;
  void (*run)(model_state&);
};

// The order of one time step.
const phase_entry loop_phases[] = {
    {"advance_clock", advance_clock},
    {"read_event_precip", read_event_precip},
    {"begin_event", begin_event},
    {"update_precipitation", update_precipitation},
    {"apply_rainfall", apply_rainfall},
    {"apply_cell_inflows", apply_cell_inflows},
    {"compute_infiltration", compute_infiltration},
    {"update_hydrometeorology", update_hydrometeorology},
    {"hourly_et_and_soil_moisture", hourly_et_and_soil_moisture},
    {"update_soil_temperature", update_soil_temperature},
    {"long_term_snow_step", long_term_snow_step},
    {"release_melt_and_wake", release_melt_and_wake},
    {"update_soil_moisture", update_soil_moisture},
    {"sacramento_step", sacramento_step},
    {"conceptual_gw_step", conceptual_gw_step},
    {"step_soil_water_quality", step_soil_water_quality},
    {"apply_overland_sources_sinks", apply_overland_sources_sinks},
    {"bmp_step", bmp_step},
    {"route_overland_step", route_overland_step},
    {"drain_network_step", drain_network_step},
    {"superlink_step", superlink_step},
    {"check_sediment_contaminant_sources", check_sediment_contaminant_sources},
    {"step_overland_water_quality", step_overland_water_quality},
    {"total_cell_contaminant_mass", total_cell_contaminant_mass},
    {"groundwater_step", groundwater_step},
    {"update_overland_lake_extent", update_overland_lake_extent},
    {"route_channels_step", route_channels_step},
    {"read_chan_point_input_step", read_chan_point_input_step},
    {"track_peak_discharge", track_peak_discharge},
    {"step_channel_sediment_contam", step_channel_sediment_contam},
    {"step_channel_contaminant_sources", step_channel_contaminant_sources},
    {"step_channel_lake_water_quality", step_channel_lake_water_quality},
    {"print_progress", print_progress},
    {"check_event_end", check_event_end},
    {"exchange_omba_maps", exchange_omba_maps},
    {"close_lakes_at_event_end", close_lakes_at_event_end},
    {"end_event", end_event},
    {"compute_nutrient_totals", compute_nutrient_totals},
    {"write_time_series", write_time_series},
    {"write_map_outputs", write_map_outputs},
};

void notify(const char* phase, int value, model_state& m) {
  if (observer) observer(phase, value, m);
}

void call(const phase_entry& p, model_state& m) {
  notify(p.name, 0, m);
  p.run(m);
}

void analyzers(model_state& m, int event) {
  notify("run_analyzers", event, m);
  run_analyzers(m, event);
}

// Reports a pending code; true when the run must end.
bool check() {
  if (error_state.error_code > 0) report_error(error_state);
  return error_state.error_terminate != 0;
}

bool is_toolbox_mode(const char* mode_text) {
  if (!mode_text) return false;
  for (const char* t : {"-slm", "-ms", "-tr", "-mlsl"})
    if (std::strcmp(mode_text, t) == 0) return true;
  return false;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What happens after the set-up: the time loop and its ends.
enum class run_end { clean_up, error_end };

// Set-up steps up to "Running....". Returns false when the run must go to clean-up.
bool set_up(model_state& m, const char* project_file, calibration_results* results,
            std::chrono::steady_clock::time_point start, run_end& end) {
  end = run_end::clean_up;
  notify("read_run_parameters", 0, m);
  read_run_parameters(project_file, m);
  if (check()) return false;
  if (results) m.optimize_on = 1;  // the project file may have cleared it

  const phase_entry checked_steps[] = {
      {"validate_project_options", validate_project_options},
      {"open_project_files", open_project_files},
  };
  for (const auto& p : checked_steps) {
    call(p, m);
    if (check()) return false;
  }
  notify("print_startup_information", 0, m);
  print_startup_information(m, project_file);
  call({"check_time_options", check_time_options}, m);
  if (check()) return false;

  const phase_entry before_contaminants[] = {
      {"init_input_grids", init_input_grids},
      {"open_dataset_outputs", open_dataset_outputs},
      {"write_linknode_headers", write_linknode_headers},
  };
  for (const auto& p : before_contaminants) {
    call(p, m);
    if (check()) return false;
  }
  if (m.all_contam_output_on) {
    if (m.ov_con_trans_on) call({"name_contaminant_map_outputs", name_contaminant_map_outputs}, m);
    if (m.chan_con_trans_on) call({"name_contaminant_chan_outputs", name_contaminant_chan_outputs}, m);
    if (check()) return false;
  }
  const phase_entry grid_and_state[] = {
      {"build_cell_connectivity", build_cell_connectivity},
      {"compute_face_slopes", compute_face_slopes},
      {"compute_centered_slopes", compute_centered_slopes},
      {"init_hmet_stations_and_bands", init_hmet_stations_and_bands},
      {"scan_precip_events", scan_precip_events},
      {"init_soil_water_state", init_soil_water_state},
  };
  for (const auto& p : grid_and_state) {
    call(p, m);
    if (check()) return false;
  }
  const phase_entry routing[] = {
      {"setup_xy_outputs", setup_xy_outputs},
      {"init_channel_routing", init_channel_routing},
  };
  for (const auto& p : routing) {
    call(p, m);
    if (check()) return false;
  }
  notify("alloc_external_results", 0, m);
  alloc_external_results(m);
  call({"read_omba_exchange_at_start", read_omba_exchange_at_start}, m);
  if (check()) return false;
  call({"compute_initial_overland_volume", compute_initial_overland_volume}, m);
  call({"init_overland_nutrient_state", init_overland_nutrient_state}, m);
  call({"init_simulation_clock", init_simulation_clock}, m);
  if (check()) return false;
  // Relative series count from the start of the simulation clock, whatever the precipitation kind.
  shift_relative_time_series(m.cur_julian);

  if (m.analyzers_flag) {
    notify("setup_analyzers", 0, m);
    setup_analyzers(m, m.analyzers_file.c_str());
  }
  analyzers(m, 8);
  const double init_time = seconds_since(start);
  if (replace_pairs_active) print_replacement_values_run(m.summary_fp, m.silent_mode);
  const bool console = !m.super_quiet_on && m.silent_mode != 1;
  if (console) std::printf("total time to init(s): %8.1lf\n", init_time);
  if (error_state.error_code != 0) {
    end = run_end::error_end;
    return false;
  }
  if (console) std::printf("Running....\n");
  if (m.summary_fp.is_open()) std::fputs("Running.... \n\n", m.summary_fp.stream);
  return true;
}

// The time loop; returns how the run ends.
run_end time_loop(model_state& m) {
  for (;;) {
    for (const auto& p : loop_phases) {
      call(p, m);
      if (check()) return run_end::clean_up;
    }
    analyzers(m, 1);
    if (m.keep_running) {
      if (error_state.error_code != 0) return run_end::error_end;
      continue;
    }
    if (error_state.error_code != 0) return run_end::error_end;
    call({"write_run_summary", write_run_summary}, m);
    if (check()) return run_end::clean_up;
    analyzers(m, 16);
    return run_end::clean_up;
  }
}

}  // namespace

void set_phase_observer(phase_observer o) { observer = std::move(o); }

void alloc_external_results(model_state& m) {
  if (!m.optimize_on) return;
  if (!m.external_results) m.external_results = &m.own_results;
  calibration_results& r = *m.external_results;
  r.num_events = m.event_count;
  r.num_columns = (m.optimize_sed_on ? m.sed_hydrograph_point_count : m.hydrograph_link_count) + 1;
  const size_t per_event = size_t(r.num_events) * size_t(r.num_columns) + 2;
  // Zeroed, so an event that never closes reads 0 rather than garbage.
  r.event_peaks.assign(per_event, 0.0);
  r.event_volumes.assign(per_event, 0.0);
  r.point_peaks.assign(size_t(r.num_columns) + 1, 0.0);
  r.point_volumes.assign(size_t(r.num_columns) + 1, 0.0);
}

int run_pluvo(const char* project_file, calibration_results* results, const char* mode_text) {
  const auto start = std::chrono::steady_clock::now();
  static std::once_flag wired;
  std::call_once(wired, wire_neighbour_services);
  auto storage = std::make_unique<unsigned char[]>(sizeof(model_state));
  // The record is large; it lives on the heap for the one run.
  std::unique_ptr<model_state, void (*)(model_state*)> record(
      construct_model_state(storage.get()), [](model_state* p) { p->~model_state(); });
  model_state& m = *record;

  error_state.error_code = 0;
  error_state.error_terminate = 0;
  error_state.error_fatal = 0;
  m.silent_mode = is_toolbox_mode(mode_text) ? 1 : 0;
  const int silent = m.silent_mode;
  if (results) {
    m.optimize_on = 1;
    m.external_results = results;
  }

  run_end end = run_end::clean_up;
  if (set_up(m, project_file, results, start, end)) end = time_loop(m);
  if (end == run_end::error_end) analyzers(m, 32);
  if (end == run_end::error_end || error_state.error_terminate) run_stopped_on_error = true;

  // Clean-up, reached from every exit.
  time_series_index_loaded = 0;
  close_coupling_files(m);
  close_output_files(m);
  std::fflush(stdout);
  std::fflush(stderr);
  free_model_state(&m);
  record.reset();

  const double run_time = seconds_since(start);
  checked_file timing;
  if (checked_file_open(timing, "out_time.out", 'a'))
    std::fprintf(timing.stream, "total time (s): %8.2lf\n", run_time);
  if (silent != 1) {
    if (thread_count < 2)
      std::printf("Run time: %6.2lf(s) \n", run_time);
    else
      std::printf("%d: Run time: %6.2lf(s) \n", process_index, run_time);
    std::fflush(stdout);
  }
  checked_file_close(timing);
  return error_state.error_code;
}

}  // namespace pluvo
