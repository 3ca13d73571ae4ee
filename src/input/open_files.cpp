// Opens every file the project names, in a fixed order, before any of them is read.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "input/input_phases.hpp"
#include "input/mapping_tables.hpp"
#include "input/project_cards.hpp"
#include "input/run_parameters.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {


void record_failure(int code, const std::string& kind, const std::string& name) {
  error_state.error_code = code;
  error_state.error_terminate = 1;
  error_state.error_file_kind = kind.substr(0, 59);
  error_state.error_file_name = name;
}

// A file the project names: the card that names it, the name, and how it is opened.
struct named_file {
  const char* card;
  std::string name;
  char mode;
};

// Every file is opened through an opener. A planning opener opens nothing: it lists the files
// the real pass will open, so that outputs can be compared with inputs before anything is written.
struct opener {
  model_state& m;
  std::vector<named_file>* plan = nullptr;

  bool table(int id) const { return m.mapping_table_on && m.grid_table_presence[presence_slot(id)] != 0; }
  bool planned(const char* card, const std::string& name, char mode) const {
    if (plan) plan->push_back({card, name, mode});
    return plan != nullptr;
  }

  // False when the run must stop; a failure that does not count leaves the file closed.
  bool open_if(bool failure_counts, const char* card, checked_file& f, const std::string& name, char mode,
               const char* kind) {
    if (planned(card, name, mode)) return true;
    if (checked_file_open(f, name.c_str(), mode)) return true;
    if (!failure_counts) return true;
    if (name.empty()) return refuse_unnamed(card, kind);
    record_failure(4, kind, name);
    return false;
  }
  // "Unable to open ... (File: )" would blame a file nobody named: say which card is missing,
  // and that the mapping-table file, when there is one, has no table to stand in for it.
  bool refuse_unnamed(const char* card, const char* kind) const {
    char text[2400];
    if (m.mapping_table_on)
      std::snprintf(text, sizeof text,
                    "Error: The %s file is needed but no card %s names it, and the mapping-table file %.2000s holds "
                    "no table that gives it.\n",
                    kind, card, m.mapping_table_path.c_str());
    else
      std::snprintf(text, sizeof text, "Error: The %s file is needed but no card %s names it.\n", kind, card);
    stop_run("%s", text);
    return false;
  }
  bool open(const char* card, checked_file& f, const std::string& name, char mode, const char* kind) {
    return open_if(true, card, f, name, mode, kind);
  }
  // A map whose table in the mapping-table file may stand in for it.
  bool open_map(const char* card, checked_file& f, const std::string& name, const char* kind, int excusing_table) {
    return open_if(!table(excusing_table), card, f, name, 'r', kind);
  }
  // An output tied to a list of points: its failure names the output, then the list.
  bool open_output(const char* card, checked_file& f, const std::string& name, const std::string& list, int code) {
    if (planned(card, name, 'w')) return true;
    if (checked_file_open(f, name.c_str(), 'w')) return true;
    record_failure(code, name, list);
    return false;
  }
};

const char* hmet_card(const model_state& m) {
  if (m.hmet_surfaways_on) return "HMET_SURFAWAYS";
  if (m.hmet_samson_on) return "HMET_SAMSON";
  if (m.hmet_kal_on) return "HMET_KAL";
  return "HMET_ASCII";
}

bool open_groundwater_files(opener& o, model_state& m) {
  if (m.gw_simulation_on != 1) return true;
  if (!o.open("GW_BOUNDFILE", m.gw_boundary_fp, m.gw_boundfile_path, 'r', "groundwater boundary")) return false;
  if (m.gw_well_level_on &&
      (!o.open("OUT_WELL_LOCATION", m.well_location_fp, m.out_well_location_path, 'r', "well location") ||
       !o.open("GW_WELL_LEVEL", m.well_level_fp, m.gw_well_level_path, 'w', "well level output")))
    return false;
  if (m.gw_hycond_map_on == 1 &&
      !o.open("GW_HYCOND_MAP", m.gw_hycond_fp, m.gw_hycond_map_path, 'r', "groundwater hycond"))
    return false;
  if (m.gw_porosity_map_on == 1 &&
      !o.open("GW_POROSITY_MAP", m.gw_porosity_fp, m.gw_porosity_map_path, 'r', "groundwater porosity"))
    return false;
  if (!m.inf_richards_on) {
    if (m.water_table_on == 1 && !o.open("WATER_TABLE", m.water_table_fp, m.water_table_path, 'r', "water table"))
      return false;
    if (!o.open("AQUIFER_BOTTOM", m.aquifer_bottom_fp, m.aquifer_bottom_path, 'r', "aquifer bottom")) return false;
  }
  return true;
}

bool open_soil_column_files(opener& o, model_state& m) {
  if (m.inf_layered_soil_on != 1 && m.inf_richards_on != 1 && m.inf_redist_on != 1) return true;
  const bool soil_failure_counts =
      (m.inf_richards_on && !o.table(map_table::richards_havercamp) && !o.table(map_table::richards_brooks)) ||
      (m.inf_layered_soil_on && !o.table(map_table::multi_layer_soil));
  if (!o.open_if(soil_failure_counts, "SOIL_TYPE_MAP", m.soil_type_fp, m.soil_type_map_path, 'r', "soil type") ||
      !o.open_if(soil_failure_counts, "SOIL_LAYER_INPUT_FILE", m.soil_layer_table_fp, m.soil_layer_input_path, 'r',
                 "multi-layer soil table"))
    return false;
  if (m.water_table_on && !m.water_table_fp.is_open() &&
      !o.open("WATER_TABLE", m.water_table_fp, m.water_table_path, 'r', "water table"))
    return false;
  if (m.gw_simulation_on && !m.aquifer_bottom_fp.is_open() &&
      !o.open("AQUIFER_BOTTOM", m.aquifer_bottom_fp, m.aquifer_bottom_path, 'r', "aquifer bottom"))
    return false;
  if (m.inf_richards_on || m.soil_moisture_accounting_on) {
    if (!o.open("(evaporation output)", m.evap_out_fp, "evap_out", 'w', "evaporation output")) return false;
    if (o.plan) return true;
    std::fputs("yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  "
               "CFGI         temp(C) gridded_temp(C) soil_temp(C)  ",
               m.evap_out_fp.stream);
    if (m.soil_moisture_accounting_on) std::fputs(" avg_theta_L1  avg_theta_L2", m.evap_out_fp.stream);
    std::fputs("\n", m.evap_out_fp.stream);
  }
  return true;
}

bool open_infiltration_maps(opener& o, model_state& m) {
  if (m.green_ampt_on != 1 && m.inf_redist_on != 1) return true;
  if (m.moisture_map_on &&
      !o.open_map("MOISTURE", m.moisture_map_fp, m.moisture_path, "soil moisture", map_table::green_ampt_moisture))
    return false;
  // Every cell's infiltration needs these three: without a card or a table the run stops here,
  // not on an empty array in the first storm.
  if (!o.open_map("CONDUCTIVITY", m.conductivity_map_fp, m.conductivity_path, "Ks", map_table::green_ampt_infiltration) ||
      !o.open_map("CAPILLARY", m.capillary_map_fp, m.capillary_path, "Hc", map_table::green_ampt_infiltration) ||
      !o.open_map("POROSITY", m.porosity_map_fp, m.porosity_path, "soil porosity", map_table::green_ampt_infiltration))
    return false;
  if (!m.inf_redist_on) return true;
  if (m.pore_index_map_on &&
      !o.open_map("PORE_INDEX", m.pore_index_map_fp, m.pore_index_path, "pore dist. index", map_table::green_ampt_infiltration))
    return false;
  if (m.residual_sat_map_on &&
      !o.open_map("RESIDUAL_SAT", m.residual_sat_map_fp, m.residual_sat_path, "residual saturation", map_table::green_ampt_infiltration))
    return false;
  return true;
}

bool open_long_term_files(opener& o, model_state& m) {
  if (!m.long_term_on) return true;
  if (!o.open(hmet_card(m), m.hmet_fp, m.hmet_path, 'r', "hydromet data")) return false;
  if (m.hmet_orog_gages_on && !o.open("HMET_OROG_GAGES", m.orog_met_fp, m.hmet_orog_gages_path, 'r', "orog met data"))
    return false;
  const int et = map_table::evapotranspiration;
  if (m.albedo_map_on && !o.open_map("ALBEDO", m.albedo_map_fp, m.albedo_path, "albedo", et)) return false;
  if (!m.et_calc_penman_on) return true;
  return (!m.vheight_map_on || o.open_map("VHEIGHT", m.vheight_map_fp, m.vheight_path, "veg. height", et)) &&
         (!m.tcoeff_map_on || o.open_map("TCOEFF", m.tcoeff_map_fp, m.tcoeff_path, "trans. coeff", et)) &&
         (!m.canopy_map_on || o.open_map("CANOPY", m.canopy_map_fp, m.canopy_path, "canopy resist.", et)) &&
         (!m.wilting_point_map_on ||
          o.open_map("WILTING_POINT", m.wilting_point_map_fp, m.wilting_point_path, "wilting point", et));
}

bool open_hotstart_files(opener& o, model_state& m) {
  if (m.write_chan_hotstart_on &&
      (!o.open("WRITE_CHAN_HOTSTART", m.chan_hotstart_depth_out, m.chan_hotstart_out_depth_path, 'w', "channel depth") ||
       !o.open("WRITE_CHAN_HOTSTART", m.chan_hotstart_flow_out, m.chan_hotstart_out_flow_path, 'w', "channel discharge")))
    return false;
  if (m.ov_init_depth_flag && !o.open("OV_INIT_DEPTH", m.ov_hotstart_fp, m.ov_init_depth_file, 'r', "overland hotstart"))
    return false;
  if (m.init_swe_depth_kind == 1 &&
      !o.open("INIT_SWE_DEPTH", m.swe_hotstart_fp, m.init_swe_depth_file, 'r', "SWE input hotstart"))
    return false;
  if (m.read_sm_hotstart_flag &&
      !o.open("READ_SM_HOTSTART", m.sm_hotstart_fp, m.read_sm_hotstart_file, 'r', "soil moisture hotstart"))
    return false;
  // The node list (node, link, depth, discharge) under the name itself, beside the two state files.
  if (m.write_chan_hotstart_on && m.chan_explic_on &&
      !o.open("WRITE_CHAN_HOTSTART", m.chan_hotstart_out_fp, m.chan_hotstart_out_file, 'w', "channel hotstart"))
    return false;
  if (m.read_chan_hotstart_on &&
      (!o.open("READ_CHAN_HOTSTART", m.chan_hotstart_depth_in, m.chan_hotstart_in_depth_path, 'r', "channel depth") ||
       !o.open("READ_CHAN_HOTSTART", m.chan_hotstart_flow_in, m.chan_hotstart_in_flow_path, 'r', "channel discharge")))
    return false;
  return true;
}

bool open_location_outputs(opener& o, model_state& m) {
  if (m.hyd_location_on == 1 &&
      (!o.open("IN_HYD_LOCATION", m.hydrograph_location_fp, m.in_hyd_location_path, 'r', "hydrograph location") ||
       !o.open_output("OUT_HYD_LOCATION", m.out_hydrograph_fp, m.out_hyd_location_path, m.in_hyd_location_path, 51)))
    return false;
  if (m.gwflux_location_on == 1 &&
      (!o.open("IN_GWFLUX_LOCATION", m.gw_flux_location_fp, m.in_gwflux_location_path, 'r', "groundwater flux location") ||
       !o.open_output("OUT_GWFLUX_LOCATION", m.out_gw_flux_fp, m.out_gwflux_location_path, m.in_gwflux_location_path, 51)))
    return false;
  if (m.celldepdis_location_on == 1 &&
      (!o.open("IN_CELLDEPDIS_LOCATION", m.dep_dis_location_fp, m.in_celldepdis_location_path, 'r', "dep dis cell location") ||
       !o.open_output("OUT_CELLDEPDIS_LOCATION", m.out_dep_dis_fp, m.out_celldepdis_location_path, m.in_celldepdis_location_path, 51)))
    return false;
  const bool optional_ok =
      (m.runoff_mmph_on != 1 ||
       o.open("RUNOFF_MMPH", m.runoff_mmh_fp, m.runoff_mmph_path, 'w', "optional runoff hydrograph in mm per hour")) &&
      (m.rainfall_mmph_on != 1 ||
       o.open("RAINFALL_MMPH", m.basin_rain_mmh_fp, m.rainfall_mmph_path, 'w',
              "optional basin-average rainfall in mm per hour")) &&
      (m.sig_outlet_hydro_on != 1 ||
       o.open("SIG_OUTLET_HYDRO", m.hydrograph_6digit_fp, m.sig_outlet_hydro_path, 'w', "optional 6 digit hydrograph"));
  if (!optional_ok) return false;
  if (m.superlink_junc_location_on == 1 &&
      !o.open("SUPERLINK_JUNC_LOCATION", m.superjunction_location_fp, m.superlink_junc_location_path, 'r', "superjunction location"))
    return false;
  if (m.superlink_junc_flow_on == 1 &&
      !o.open_output("SUPERLINK_JUNC_FLOW", m.superjunction_output_fp, m.superlink_junc_flow_path,
                     m.superlink_junc_location_path, 51))
    return false;
  if (m.superlink_node_location_on == 1 &&
      !o.open("SUPERLINK_NODE_LOCATION", m.superlink_node_location_fp, m.superlink_node_location_path, 'r',
              "superlink node location"))
    return false;
  if (m.superlink_node_flow_on == 1 &&
      !o.open_output("SUPERLINK_NODE_FLOW", m.superlink_node_output_fp, m.superlink_node_flow_path,
                     m.superlink_node_location_path, 51))
    return false;
  if (m.lake_output_on == 1 && !o.open("LAKE_OUTPUT", m.lake_output_fp, m.lake_output_path, 'w', "lake output"))
    return false;
  if (m.dep_location_on == 1 &&
      !o.open_output("OUT_DEP_LOCATION", m.out_dep_location_fp, m.out_dep_location_path, m.in_hyd_location_path, 50))
    return false;
  if (m.con_location_on == 1 &&
      !o.open_output("OUT_CON_LOCATION", m.out_con_location_fp, m.out_con_location_path, m.in_hyd_location_path, 49))
    return false;
  if (m.mass_location_on == 1 &&
      !o.open_output("OUT_MASS_LOCATION", m.out_mass_location_fp, m.out_mass_location_path, m.in_hyd_location_path, 49))
    return false;
  if (m.theta_out_on == 1) {
    if (!o.open("IN_THETA_LOCATION", m.in_theta_location_fp, m.cell_location_file, 'r', "in_theta location")) return false;
    if (o.planned("OUT_THETA_LOCATION", m.out_theta_location_path, 'w')) return true;
    if (!checked_file_open(m.out_theta_location_fp, m.out_theta_location_path.c_str(), 'w')) {
      record_failure(48, m.cell_location_file,
                     m.out_theta_location_path + " (" + "out_theta_location_file" + ")");
      return false;
    }
  }
  return true;
}

bool open_channel_outputs(opener& o, model_state& m) {
  return (!m.chan_output_on ||
          o.open("CHAN_DEPTH", m.out_chan_depth_fp, m.chan_depth_file, 'w', "output channel depth")) &&
         (!m.chan_discharge_output_on ||
          o.open("CHAN_DISCHARGE", m.out_chan_discharge_fp, m.chan_discharge_file, 'w', "output channel discharge")) &&
         (!m.chan_stage_output_on ||
          o.open("CHAN_STAGE", m.out_chan_stage_fp, m.chan_stage_file, 'w', "output channel stage")) &&
         (!m.chan_velocity_output_on ||
          o.open("CHAN_VELOCITY", m.out_chan_velocity_fp, m.chan_velocity_file, 'w', "output channel velocity")) &&
         (!m.flood_stream_on ||
          o.open("FLOOD_STREAM", m.flood_stream_fp, m.flood_stream_name, 'w', "output flood stream stage")) &&
         (!m.chan_sed_flux_output_on ||
          o.open("CHAN_SED_FLUX", m.out_stream_sed_flux_fp, m.chan_sed_flux_file, 'w', "output stream_sed_flux"));
}

// The whole opening, in its fixed order; with a planning opener it only lists the files.
void open_in_order(opener& o, model_state& m) {
  if (!o.open("WATERSHED_MASK", m.watershed_mask_fp, m.watershed_mask_path, 'r', "watershed mask")) return;
  if (!o.open("ELEVATION", m.elevation_fp, m.elevation_path, 'r', "elevation data")) return;
  if (!o.open("SUMMARY", m.summary_fp, m.summary_path, 'w', "output summary")) return;
  if (!o.plan) error_log_file = &m.summary_fp;
  if (!o.open("OUTLET_HYDRO", m.outlet_hydrograph_fp, m.outlet_hydro_path, 'w', "output hydrograph")) return;
  if (m.overland_depths_on &&
      (!o.open("OVERLAND_DEPTH_LOCATION", m.overland_depth_loc_fp, m.overland_depth_location_path, 'r', "overland depth locations") ||
       !o.open("OVERLAND_DEPTHS", m.overland_depth_out_fp, m.overland_depths_path, 'w', "overland depth output")))
    return;
  if (m.overland_wse_on &&
      (!o.open("OVERLAND_WSE_LOCATION", m.overland_wse_loc_fp, m.overland_wse_location_path, 'r', "overland wse locations") ||
       !o.open("OVERLAND_WSE", m.overland_wse_out_fp, m.overland_wse_path, 'w', "overland water surface elevation output")))
    return;
  if (!open_groundwater_files(o, m) || !open_soil_column_files(o, m)) return;
  if ((m.permafrost_gipl_flag == 1 || m.multi_layer_infil_gipl_flag == 1) &&
      !o.open("OUT_GIPL_TEMP", m.permafrost_temperature_fp, m.out_gipl_temp_file, 'w', "permafrost_temperature_output"))
    return;
  if (!open_infiltration_maps(o, m) || !open_long_term_files(o, m)) return;
  if (m.precip_on && !o.open("PRECIP_FILE", m.raingage_fp, m.precip_path, 'r', "raingage data")) return;
  if (m.chan_explic_on && !m.gst_mode_on) {
    if (o.plan) return;
    message_out("Must Specify YES_NON_ORTHO in project file\n");
    error_state.error_code = 4;
    error_state.error_terminate = 1;
    return;
  }
  if ((m.chan_explic_on || m.chan_mesh_on) && m.gst_mode_on &&
      !o.open("STREAM_CELL", m.grid_stream_fp, m.stream_cell_path, 'r', "grid-stream connectivity"))
    return;
  if (m.interception_on &&
      (!o.open_map("STORAGE_CAPACITY", m.interception_storage_fp, m.storage_capacity_path, "interception storage",
                   map_table::interception) ||
       !o.open_map("INTERCEPTION_COEFF", m.interception_coeff_fp, m.interception_coeff_path, "interception coeff.",
                   map_table::interception)))
    return;
  if (m.overland_lakes_on == 1 &&
      (!o.open("OVERLAND_LAKE_MAP", m.overland_lake_map_fp, m.overland_lake_map_path, 'r', "overland lake map") ||
       !o.open("OVERLAND_LAKE_FILE", m.overland_lake_data_fp, m.overland_lake_file_path, 'r', "overland lake data")))
    return;
  if (m.retention_map_on == 1 &&
      !o.open_map("RETEN_DEPTH", m.retention_depth_fp, m.reten_depth_path, "retention depth", map_table::retention))
    return;
  if (m.roughness_map_on == 1 &&
      !o.open_map("ROUGHNESS", m.roughness_map_fp, m.roughness_path, "Manning roughness", map_table::roughness))
    return;
  if (m.area_reduction_on && !m.area_reduction_file.empty() &&
      !o.open_map("AREA_REDUCTION", m.area_reduction_fp, m.area_reduction_file, "area reduction", map_table::green_ampt_infiltration))
    return;
  if (m.chan_explic_on == 1 && !o.open("CHANNEL_INPUT", m.chan_input_fp, m.channel_input_path, 'r', "channel input"))
    return;
  if (!open_hotstart_files(o, m) || !open_location_outputs(o, m) || !open_channel_outputs(o, m)) return;
  // A failure here is left in the error state but does not end the opening.
  if (m.nutrients_on && !o.plan) open_tvx_hydrograph_outputs(m);
  if (m.storm_sewer_on &&
      ((m.pipe_head_flag && !o.open("PIPE_HEAD", m.pipe_head_fp, m.pipe_head_file, 'w', "superlink head")) ||
       (m.pipe_tile_flag && !o.open("PIPE_TILE", m.pipe_tile_fp, m.pipe_tile_file, 'w', "superlink tile")) ||
       (m.pipe_flow_flag && !o.open("PIPE_FLOW", m.pipe_flow_fp, m.pipe_flow_file, 'w', "superlink flow"))))
    return;
  if (m.contam_map_on && !o.open("CONTAM_MAP", m.contam_map_fp, m.contam_map_path, 'r', "contam")) return;
}

// The index maps a mapping-table file names on its INDEX_MAP lines.
void add_index_maps(const std::string& path, std::vector<named_file>& files) {
  checked_file file;
  if (!checked_file_open(file, path.c_str(), 'r')) return;
  std::vector<char> line(line_buffer_size);
  char token[token_buffer_size];
  while (read_line(line.data(), file))
    if (next_token(line.data(), token) && std::strcmp(token, "INDEX_MAP") == 0 && next_token(line.data(), token))
      files.push_back({"INDEX_MAP (mapping-table file)", token, 'r'});
}

// Files the run reads or writes besides those opened in order above.
void add_other_files(const model_state& m, std::vector<named_file>& files) {
  files.push_back({"(the project file)", m.project_file_path, 'r'});
  for (const card_file_name& f : m.files_read_at_once) files.push_back({f.card.c_str(), f.name, 'r'});
  if (m.mapping_table_on) {
    files.push_back({"MAPPING_TABLE", m.mapping_table_path, 'r'});
    add_index_maps(m.mapping_table_path, files);
  }
  if (m.st_mapping_table_on) files.push_back({"ST_MAPPING_TABLE", m.st_mapping_table_path, 'r'});
  // Inputs that their own readers open later in the set-up.
  const auto input = [&files](const char* card, const std::string& name) {
    if (!name.empty()) files.push_back({card, name, 'r'});
  };
  if (m.read_chan_hotstart_flag || m.explic_hotstart_flag)
    input(m.read_chan_hotstart_flag ? "READ_CHAN_HOTSTART" : "EXPLIC_HOTSTART", m.chan_hotstart_in_file);
  if (m.storm_sewer_on) {
    input("STORM_SEWER", m.storm_sewer_path);
    input("GRID_PIPE", m.grid_pipe_path);
  }
  input("GW_FLUXBOUNDTABLE", m.gw_fluxboundtable_path);
  input("LINKS", m.links_path);
  if (m.tvx_state) input("AQ_ENV", m.tvx_state->aq_env.aq_env_file);
  // Outputs of fixed name.
  files.push_back({"(numbered watershed mask output)", "maskmap", 'w'});
  files.push_back({"(run time output)", "out_time.out", 'w'});
  if (m.chan_explic_on) {
    files.push_back({"(one-node link output)", "short_links.out", 'w'});
    files.push_back({"(thalweg check output)", "bad_thalweg.out", 'w'});
  }
  if (m.storm_sewer_on) files.push_back({"(superlink flow log)", "superlink_flows.out", 'w'});
  if (m.q4_input_flag && m.map_type != 4) files.push_back({"Q4_INPUT", m.q4_input_file, 'w'});
  if (m.optimize_on) files.push_back({"OPTIMIZE", m.optimize_output_file_name, 'w'});
  if (m.drain_output_on) files.push_back({"DRAIN_OUTPUT", m.drain_out_name, 'w'});
}

// The file a card's name would open, "" when none would.
std::string file_identity(const named_file& f) {
  const std::string path = planned_file_path(f.name, f.mode);
  return path.empty() ? std::string() : pluvo::file_identity(path);
}

// An output that names an input would destroy it before it is read; two outputs that name one
// file would overwrite each other. Either stops the run before any file is opened.
bool outputs_clash(const std::vector<named_file>& files) {
  std::vector<std::string> identity(files.size());
  for (size_t i = 0; i < files.size(); ++i)
    if (!files[i].name.empty()) identity[i] = file_identity(files[i]);
  for (size_t i = 0; i < files.size(); ++i) {
    if (files[i].mode == 'r' || identity[i].empty()) continue;
    for (size_t j = 0; j < files.size(); ++j) {
      // An input that is also an output, or an earlier output.
      if (j == i || identity[j] != identity[i] || (files[j].mode != 'r' && j > i)) continue;
      char text[4600];
      std::snprintf(text, sizeof text,
                    "Error: Card %s names the output file %.1000s, which is also the %s file %.1000s of card %s "
                    "(%.2000s). No file was opened.\n",
                    files[i].card, files[i].name.c_str(), files[j].mode == 'r' ? "input" : "output",
                    files[j].name.c_str(), files[j].card, identity[i].c_str());
      stop_run("%s", text);
      return true;
    }
  }
  return false;
}

// One line for each card that is read but does nothing here, in the console and the summary,
// so that a user who meant another card is not left with a run that silently lacks it.
void warn_inert_cards(const model_state& m) {
  for (const unbuilt_request& c : inert_cards()) {
    if (!c.asked(m)) continue;
    char text[400];
    std::snprintf(text, sizeof text, "Warning: Card %s (%s) is read but has no effect in this version; it is ignored.\n",
                  c.name, c.what);
    write_log_message(m.summary_fp.is_open() ? m.summary_fp.stream : nullptr, text);
  }
}

}  // namespace

void open_project_files(model_state& m) {
  std::vector<named_file> files;
  opener planner{m, &files};
  open_in_order(planner, m);
  add_other_files(m, files);
  if (outputs_clash(files)) return;
  opener o{m};
  open_in_order(o, m);
  if (!error_state.error_terminate) open_q4_inflow_file(m);
  if (!error_state.error_terminate) warn_inert_cards(m);
}

}  // namespace pluvo
