// Opens every file the project names, in a fixed order, before any of them is read.
#include <string>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "input/input_phases.hpp"
#include "run/model_state.hpp"

namespace pluvo {

namespace {

// Mapping-table ids whose presence excuses a missing map.
constexpr int roughness_table = 1;
constexpr int interception_table = 2;
constexpr int retention_table = 3;
constexpr int green_ampt_table = 4;

void record_failure(int code, const std::string& kind, const std::string& name) {
  error_state.error_code = code;
  error_state.error_terminate = 1;
  error_state.error_file_kind = kind.substr(0, 59);
  error_state.error_file_name = name;
}

struct opener {
  model_state& m;

  // False when the run must stop; a failure excused by a mapping table leaves the file closed.
  bool open(checked_file& f, const std::string& name, char mode, const char* kind,
            int excusing_table = 0) {
    if (checked_file_open(f, name.c_str(), mode)) return true;
    if (excusing_table && m.mapping_table_on && m.grid_table_presence[excusing_table]) return true;
    record_failure(4, kind, name);
    return false;
  }

  // An output at a list of locations: its failure names the output first, then the list.
  bool open_output(checked_file& f, const std::string& name, const std::string& list, int code) {
    if (checked_file_open(f, name.c_str(), 'w')) return true;
    record_failure(code, name, list);
    return false;
  }
};

}  // namespace

void open_project_files(model_state& m) {
  opener o{m};
  if (!o.open(m.watershed_mask_fp, m.watershed_mask_path, 'r', "watershed mask")) return;
  if (!o.open(m.elevation_fp, m.elevation_path, 'r', "elevation data")) return;
  if (!o.open(m.summary_fp, m.summary_path, 'w', "output summary")) return;
  error_log_file = &m.summary_fp;
  if (!o.open(m.outlet_hydrograph_fp, m.outlet_hydro_path, 'w', "output hydrograph")) return;
  if (m.overland_depths_on) {
    if (!o.open(m.overland_depth_loc_fp, m.overland_depth_location_path, 'r',
                "overland depth locations") ||
        !o.open(m.overland_depth_out_fp, m.overland_depths_path, 'w', "overland depth output"))
      return;
  }
  if (m.overland_wse_on) {
    if (!o.open(m.overland_wse_loc_fp, m.overland_wse_location_path, 'r', "overland wse locations") ||
        !o.open(m.overland_wse_out_fp, m.overland_wse_path, 'w', "overland water surface elevation output"))
      return;
  }
  if (m.precip_on && !o.open(m.raingage_fp, m.precip_path, 'r', "raingage data")) return;
  if (m.interception_on) {
    if (!o.open(m.interception_storage_fp, m.storage_capacity_path, 'r', "interception storage",
                interception_table) ||
        !o.open(m.interception_coeff_fp, m.interception_coeff_path, 'r', "interception coeff.",
                interception_table))
      return;
  }
  if (m.overland_lakes_on) {
    if (!o.open(m.overland_lake_map_fp, m.overland_lake_map_path, 'r', "overland lake map") ||
        !o.open(m.overland_lake_data_fp, m.overland_lake_file_path, 'r', "overland lake data"))
      return;
  }
  if (m.retention_map_on == 1 &&
      !o.open(m.retention_depth_fp, m.reten_depth_path, 'r', "retention depth", retention_table))
    return;
  if (m.roughness_map_on == 1 &&
      !o.open(m.roughness_map_fp, m.roughness_path, 'r', "Manning roughness", roughness_table))
    return;
  if (m.area_reduction_on && !m.area_reduction_file.empty() &&
      !o.open(m.area_reduction_fp, m.area_reduction_file, 'r', "area reduction", green_ampt_table))
    return;
  if (m.ov_init_depth_flag &&
      !o.open(m.ov_hotstart_fp, m.ov_init_depth_file, 'r', "overland hotstart"))
    return;
  if (m.init_swe_depth_kind == 1 &&
      !o.open(m.swe_hotstart_fp, m.init_swe_depth_file, 'r', "SWE input hotstart"))
    return;
  if (m.read_sm_hotstart_flag &&
      !o.open(m.sm_hotstart_fp, m.read_sm_hotstart_file, 'r', "soil moisture hotstart"))
    return;
  if (m.hyd_location_on == 1) {
    if (!o.open(m.hydrograph_location_fp, m.in_hyd_location_path, 'r', "hydrograph location") ||
        !o.open_output(m.out_hydrograph_fp, m.out_hyd_location_path, m.in_hyd_location_path, 51))
      return;
  }
  if (m.runoff_mmph_on == 1 &&
      !o.open(m.runoff_mmh_fp, m.runoff_mmph_path, 'w', "optional runoff hydrograph in mm per hour"))
    return;
  if (m.rainfall_mmph_on == 1 &&
      !o.open(m.basin_rain_mmh_fp, m.rainfall_mmph_path, 'w',
              "optional basin-average rainfall in mm per hour"))
    return;
  if (m.sig_outlet_hydro_on == 1 &&
      !o.open(m.hydrograph_6digit_fp, m.sig_outlet_hydro_path, 'w', "optional 6 digit hydrograph"))
    return;
  if (m.lake_output_on == 1 && !o.open(m.lake_output_fp, m.lake_output_path, 'w', "lake output"))
    return;
}

}  // namespace pluvo
