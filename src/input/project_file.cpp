// The project-file reader and the handlers of the cards with forms of their own.
#include "input/project_file.hpp"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/checked_file.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "common/process.hpp"
#include "common/replace_params.hpp"
#include "common/time_series.hpp"
#include "input/neighbour_services.hpp"
#include "input/project_cards.hpp"

namespace pluvo {

namespace {

constexpr int code_units = 0;
constexpr int code_reten_depth = 14;
constexpr int code_precip_unif = 16;
constexpr int code_chan_preiss = 19;
constexpr int code_chan_explic = 20;
constexpr int code_chan_drain = 21;
constexpr int code_hmet_surfaways = 34;
constexpr int code_hmet_samson = 35;
constexpr int code_hmet_kal = 36;
constexpr int code_start_date = 39;
constexpr int code_start_time = 40;
constexpr int code_explic_backwater = 51;
constexpr int code_explic_hotstart = 52;
constexpr int code_inf_layered_soil = 55;
constexpr int code_hmet_ascii = 58;
constexpr int code_hmet_orog_gages = 60;
constexpr int code_soil_layer_input_file = 85;
constexpr int code_inf_richards = 86;
constexpr int code_richards_k_option = 89;
constexpr int code_richards_c_option = 90;
constexpr int code_richards_upper_option = 91;
constexpr int code_overtype = 98;
constexpr int code_interception = 109;
constexpr int code_moisture = 115;
constexpr int code_m_lake = 121;
constexpr int code_precip_file = 130;
constexpr int code_alpha = 150;
constexpr int code_beta = 151;
constexpr int code_theta = 152;
constexpr int code_channel_gridsize = 153;
constexpr int code_channel_deltat = 154;
constexpr int code_drain_time = 155;
constexpr int code_q_min = 156;
constexpr int code_n_links = 157;
constexpr int code_max_nodes = 158;
constexpr int code_retention = 165;
constexpr int code_green_ampt = 166;
constexpr int code_inf_redist = 167;
constexpr int code_area_reduction = 169;
constexpr int code_rain_inv_distance = 171;
constexpr int code_rain_thiessen = 172;
constexpr int code_chan_backwater = 179;
constexpr int code_gw_boundfile = 195;
constexpr int code_permafrost_gipl = 211;
constexpr int code_multi_layer_infil_gipl = 214;
constexpr int code_qir_event_num = 218;
constexpr int code_lowspot_file = 269;
constexpr int code_chan_mesh = 271;
constexpr int code_write_chan_hotstart = 273;
constexpr int code_read_chan_hotstart = 275;
constexpr int code_overland_lake_file = 281;
constexpr int code_time_series_file = 306;
constexpr int code_elev_series_file = 308;
constexpr int code_paxl_file = 310;
constexpr int code_nutrients = 317;
constexpr int code_aq_env = 318;
constexpr int code_ov_init_first = 319;  // OV_INIT_NO2 .. OV_DISPERSION: 12 entries
constexpr int code_ov_init_last = 330;
constexpr int code_st_init_first = 331;  // ST_INIT_NO2 .. ST_INIT_DO: 9 entries
constexpr int code_st_init_last = 339;
constexpr int code_out_ov_first = 341;   // OUT_OV_*, OUT_ST_*, OUT_HYD_*: 9 entries each
constexpr int code_out_st_first = 350;
constexpr int code_out_hyd_first = 359;
constexpr int code_out_hyd_last = 367;
constexpr int code_replace_params = 370;
constexpr int code_replace_vals = 371;
constexpr int code_replace_line = 372;
constexpr int code_output_folder = 373;
constexpr int code_end_time = 376;
constexpr int code_super_quiet = 379;
constexpr int code_num_threads = 384;
constexpr int code_calib_comp_data = 386;
constexpr int code_calib_obj_func = 388;
constexpr int code_project_folder = 390;
constexpr int code_soils_tvx_p = 398;
constexpr int code_soils_tvx_c = 399;
constexpr int code_soils_tvx_n = 400;
constexpr int code_koc_first = 401;  // NO2_KOC .. DP_KOC at table 6..11
constexpr int code_koc_last = 406;
constexpr int code_km_first = 407;   // NO2_KM .. DP_KM at table 0..5
constexpr int code_km_last = 412;
constexpr int code_init_swe_depth = 413;
constexpr int code_snow_swe_file = 414;
constexpr int code_snow_sd_file = 415;
constexpr int code_snow_temp = 449;
constexpr int code_xybdyoutput_pts = 450;
constexpr int code_xybdyoutput_mask = 451;
constexpr int code_xybdyoutput_ovdep = 452;
constexpr int code_xybdyoutput_gwhead = 453;
constexpr int code_xybdyoutput_stflow = 454;
constexpr int code_xybdyinput_first = 455;
constexpr int code_xybdyinput_ovdep = 455;
constexpr int code_xybdyinput_ovdepthinterp = 460;
constexpr int code_xybdyinput_ov_stage_interp = 461;

constexpr const char* ignored_keywords[] = {"vok", "metric", "simulation_input"};

// Rows by code; codes without a keyword stay null.
const std::array<const project_card*, highest_card_code + 1>& cards_by_code() {
  static const auto table = [] {
    std::array<const project_card*, highest_card_code + 1> t{};
    for (const project_card& c : project_card_table())
      if (c.form != card_form::ignored && !t[c.code]) t[c.code] = &c;
    return t;
  }();
  return table;
}

std::string lowered(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Codes by lower-case keyword: a keyword matches only as a whole token, in any case. Calibration
// reads the project file once per model run, so the lookup is a hash, not a table walk.
const std::unordered_map<std::string, int>& codes_by_keyword() {
  static const auto codes = [] {
    std::unordered_map<std::string, int> m;
    for (const project_card& c : project_card_table()) m.emplace(lowered(c.keyword), c.code);
    return m;
  }();
  return codes;
}

// The next argument of a card line: a file name or word, quotes removed; "" when absent.
std::string take_token(char* line) {
  char token[token_buffer_size];
  if (!next_token(line, token)) return std::string();
  return token;
}

// The name of a file a card hands on at once, noted as an input of the run.
std::string read_at_once_name(option_files_block& o, const char* card, char* line) {
  std::string name = take_token(line);
  o.files_read_at_once.push_back({card, name});
  return name;
}

int take_int(char* line) {
  int value = 0;
  next_int(line, value);
  return value;
}

double take_double(char* line) {
  double value = 0.0;
  next_double(line, value);
  return value;
}

// A token begins with a number when it starts like one and converts to a finite value;
// "inf.asc" or "nanaimo.asc" are map names, not numbers.
bool token_number(const std::string& token, double& value) {
  if (token.empty()) return false;
  const char c = token[0];
  if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.'))
    return false;
  double v = 0.0;
  if (std::sscanf(token.c_str(), "%lf", &v) != 1 || !std::isfinite(v)) return false;
  value = v;
  return true;
}

// The first n characters of word and of a reference word, lowered, are equal.
bool prefix_matches(const std::string& word, const char* reference, std::size_t n) {
  const std::string a = lowered(word.substr(0, n));
  return a.size() == n && a.compare(0, n, reference, n) == 0;
}

// Value kinds of the cards that take a number or a map: 1 map file, 2 no argument, 3 number.
void read_uniform_or_map(char* line, tvx_init_entry& entry) {
  const std::string token = take_token(line);
  double value = 0.0;
  if (token.empty()) {
    entry.kind = 2;
  } else if (token_number(token, value)) {
    entry.kind = 3;
    entry.value = value;
  } else {
    entry.kind = 1;
    entry.file = token;
  }
}

// The error kind each nutrient card family names when it comes before NUTRIENTS.
const char* nutrient_card_kind(int code) {
  if (code == code_aq_env) return "AQ_ENV";
  if (code <= code_ov_init_last) return "OV_INIT_XXX";
  if (code <= code_st_init_last) return "ST_INIT_XXX";
  if (code < code_out_st_first) return "OUT_OV_XXX";
  if (code < code_out_hyd_first) return "OUT_ST_XXX";
  return "OUT_HYD_XXX";
}

bool is_nutrient_object_card(int code) {
  return code == code_aq_env || (code >= code_ov_init_first && code <= code_st_init_last) ||
         (code >= code_out_ov_first && code <= code_out_hyd_last);
}

// Cards that write into the nutrient data object. False stops the reading.
bool apply_nutrient_card(int code, char* line, option_files_block& o) {
  if (!o.tvx_state) {
    set_error(79, nutrient_card_kind(code));
    return false;
  }
  tvx_object& t = *o.tvx_state;
  if (code == code_aq_env) {
    t.aq_env.aq_env_file = take_token(line);
  } else if (code <= code_ov_init_last) {
    read_uniform_or_map(line, t.ov_init[code - code_ov_init_first]);
  } else if (code <= code_st_init_last) {
    read_uniform_or_map(line, t.st_init[code - code_st_init_first]);
  } else {
    tvx_output_entry* table = code < code_out_st_first   ? t.out_ov
                              : code < code_out_hyd_first ? t.out_st
                                                          : t.out_hyd;
    const int first = code < code_out_st_first   ? code_out_ov_first
                      : code < code_out_hyd_first ? code_out_st_first
                                                  : code_out_hyd_first;
    tvx_output_entry& e = table[code - first];
    e.flag = 1;
    e.file = take_token(line);
  }
  return true;
}

// A file that a card hands to another reader at once; never dropped without a word.
void read_at_once(void (*reader)(const char*), const char* what, const std::string& name) {
  if (reader) reader(name.c_str());
  else std::printf("Error: %s cannot be read in this build; %s was not read.\n", what, name.c_str());
}

void read_xy_input(int code, const std::string& name, option_files_block& o) {
  if (neighbour_services.xy_boundary_input) neighbour_services.xy_boundary_input(code, name.c_str(), o);
  else read_at_once(nullptr, "XY boundary input", name);
}

// The cards with forms of their own. False stops the reading.
bool apply_special_card(int code, char* line, card_blocks& b) {
  option_files_block& o = b.o;
  run_parameters_block& r = b.r;
  precip_options_block& p = b.p;
  if (is_nutrient_object_card(code)) return apply_nutrient_card(code, line, o);
  if (code >= code_km_first && code <= code_km_last) {
    if (o.tvx_soil_km_koc.empty()) o.tvx_soil_km_koc.assign(12, 0.0);
    o.tvx_soil_km_koc[code - code_km_first] = take_double(line);
    return true;
  }
  if (code >= code_koc_first && code <= code_koc_last) {
    if (o.tvx_soil_km_koc.empty()) o.tvx_soil_km_koc.assign(12, 0.0);
    o.tvx_soil_km_koc[6 + code - code_koc_first] = take_double(line);
    return true;
  }
  if (code >= code_xybdyinput_first && code <= code_xybdyinput_ov_stage_interp) {
    read_xy_input(code, take_token(line), o);
    if (code == code_xybdyinput_ovdep || code == code_xybdyinput_ovdepthinterp ||
        code == code_xybdyinput_ov_stage_interp) {
      o.ov_boundary = 1;
      o.xybdy_ov_input_on = 1;
      if (code == code_xybdyinput_ov_stage_interp) o.xybdy_ov_stage_on = 1;
    }
    return true;
  }

  switch (code) {
    case code_start_date:
      r.start_year = take_int(line);
      r.start_month = take_int(line);
      r.start_day = take_int(line);
      break;
    case code_start_time:
      r.start_hour = take_int(line);
      r.start_minute = take_int(line);
      break;
    case code_end_time:
      r.end_year = take_int(line);
      r.end_month = take_int(line);
      r.end_day = take_int(line);
      r.end_hour = take_int(line);
      r.end_minute = take_int(line);
      break;
    case code_qir_event_num: {
      int value = 0;
      o.qir_event_num = next_int(line, value) ? value : -1;
      o.qir_event_num_flag = 1;
      break;
    }
    case code_time_series_file:
      load_time_series_file(read_at_once_name(o, "TIME_SERIES_FILE", line).c_str());
      break;
    case code_replace_params:
      read_replace_param_file(read_at_once_name(o, "REPLACE_PARAMS", line).c_str());
      break;
    case code_replace_vals:
      read_replace_value_file(read_at_once_name(o, "REPLACE_VALS", line).c_str());
      break;
    case code_replace_line:
      run_index = take_int(line) - 1;
      break;
    case code_output_folder: {
      // A bare card would make the file-system root the output folder.
      const std::string dir = take_token(line);
      if (!dir.empty()) set_output_directory(dir);
      break;
    }
    case code_project_folder:
      o.project_folder_file = take_token(line);
      if (!o.project_folder_file.empty())
        set_project_directory(o.project_folder_file, o.project_folder_file.size());
      break;
    case code_super_quiet:
      o.super_quiet = 1;
      quiet_console = true;
      break;
    case code_num_threads: {
      const int n = take_int(line);
      if (n > 0) {
        set_thread_count(n);
        message_out("Setting the thread level to %d.\n", n);
      } else {
        message_out("Error: unable to set the thread level to %d.\n", n);
      }
      break;
    }
    case code_alpha: message_out("Alpha = %lf\n", take_double(line)); break;
    case code_beta: message_out("Beta = %lf\n", take_double(line)); break;
    case code_theta: message_out("Theta = %lf\n", take_double(line)); break;
    case code_channel_gridsize: message_out("Channel grid size = %lf\n", take_double(line)); break;
    case code_q_min: message_out("Minimum channel flow = %lf\n", take_double(line)); break;
    case code_channel_deltat: message_out("Channel time step = %d\n", take_int(line)); break;
    case code_drain_time: message_out("Drainage time = %d\n", take_int(line)); break;
    case code_n_links: message_out("Number of links = %d\n", take_int(line)); break;
    case code_max_nodes: message_out("Number of nodes = %d\n", take_int(line)); break;
    case code_units:
      r.units = take_int(line);
      message_out("Units flag = %d\n", r.units);
      break;
    case code_precip_unif: p.precip_type = 0; break;
    case code_precip_file:
      p.precip_type = 1;
      p.precip_file = take_token(line);
      break;
    case code_rain_inv_distance: p.rain_interp = 0; break;
    case code_rain_thiessen: p.rain_interp = 1; break;
    case code_hmet_surfaways:
    case code_hmet_samson:
    case code_hmet_kal:
    case code_hmet_ascii:
      o.hmet_file = take_token(line);
      (code == code_hmet_surfaways ? o.hmet_surfaways_flag
       : code == code_hmet_samson  ? o.hmet_samson_flag
       : code == code_hmet_kal     ? o.hmet_kal_flag
                                   : o.hmet_ascii_flag) = 1;
      break;
    case code_hmet_orog_gages:
      o.hmet_orog_gages_file = take_token(line);
      o.hmet_orog_gages_flag = 1;
      o.orogvar_hmet = 1;
      break;
    case code_init_swe_depth: {
      const std::string token = take_token(line);
      double value = 0.0;
      if (token_number(token, value)) {
        o.init_swe_depth_kind = 3;
        o.init_swe_depth = value;
      } else {
        o.init_swe_depth_kind = 1;
        o.init_swe_depth_file = token;
      }
      break;
    }
    case code_overtype: {
      const std::string token = take_token(line);
      int value = 0;
      if (std::sscanf(token.c_str(), "%d", &value) == 1) {
        o.overtype = value;
      } else {
        const std::string word = lowered(token);
        if (word == "explicit") o.overtype = 1;
        else if (word == "ade") o.overtype = 2;
        else if (word == "ade-pc") o.overtype = 3;
      }
      break;
    }
    case code_m_lake:
      o.m_lake_flag = 0;
      o.m_lake = take_double(line);
      break;
    case code_lowspot_file:
      o.lowspot_file = take_token(line);
      o.lowspot_file_flag = 1;
      break;
    case code_overland_lake_file: o.overland_lake_file = take_token(line); break;
    case code_elev_series_file:
      read_at_once(neighbour_services.elevation_series_file, "elevation series",
                   read_at_once_name(o, "ELEV_SERIES_FILE", line));
      break;
    case code_reten_depth: {
      const std::string token = take_token(line);
      double value = 0.0;
      if (token.empty()) {
        o.reten_depth_flag = 1;
        break;
      }
      o.reten_depth_file = token;
      if (token_number(token, value)) {
        message_out(
            "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH <filename>-or-\n"
            "RETENTION <value>  -or-\nRETEN_DEPTH \n  Using %lf for the uniform retention "
            "depth\n\n",
            value);
        o.unif_retention_flag = 1;
        o.retention = value;
      } else {
        o.reten_depth_flag = 1;
      }
      break;
    }
    case code_retention:
      o.retention = take_double(line);
      o.unif_retention_flag = 1;
      break;
    case code_interception:
      o.interception_coeff_flag = 1;
      o.storage_capacity_flag = 1;
      break;
    case code_moisture: {
      const std::string token = take_token(line);
      if (!token.empty()) o.moisture_file = token;
      o.moisture_flag = 1;
      break;
    }
    case code_area_reduction:
      o.area_reduction_file = take_token(line);
      o.area_reduction_flag = 1;
      break;
    case code_green_ampt: r.inf_method = 1; break;
    case code_inf_redist: r.inf_method = 2; break;
    case code_inf_layered_soil: r.inf_method = 3; break;
    case code_inf_richards: r.inf_method = 4; break;
    case code_soil_layer_input_file: o.soil_layer_input_file = take_token(line); break;
    case code_richards_k_option: {
      const std::string word = take_token(line);
      if (prefix_matches(word, "geometric", 4)) o.richards_k_option = 2;
      else if (prefix_matches(word, "arithmetic", 4)) o.richards_k_option = 1;
      break;
    }
    case code_richards_c_option: {
      const std::string word = take_token(line);
      if (prefix_matches(word, "havercamp", 4)) o.richards_c_option = 2;
      else if (prefix_matches(word, "brooks", 4)) o.richards_c_option = 1;
      break;
    }
    case code_richards_upper_option: {
      const std::string word = take_token(line);
      if (prefix_matches(word, "green_ampt", 4)) o.richards_upper_option = 2;
      else if (prefix_matches(word, "average", 4)) o.richards_upper_option = 3;
      else o.richards_upper_option = 0;
      break;
    }
    case code_permafrost_gipl:
      o.permafrost_gipl = take_token(line);
      o.permafrost_gipl_flag = 1;
      break;
    case code_multi_layer_infil_gipl:
      o.permafrost_gipl = take_token(line);
      o.multi_layer_infil_gipl_flag = 1;
      break;
    case code_chan_preiss: r.chan_method = 1; break;
    case code_chan_drain: r.chan_method = 2; break;
    case code_chan_explic:
      r.chan_method = 3;
      o.non_ortho_channels = 1;
      break;
    case code_chan_mesh: r.chan_method = 4; break;
    case code_chan_backwater: r.chan_method = 5; break;
    case code_explic_backwater:
    case code_write_chan_hotstart:
      (code == code_explic_backwater ? o.explic_backwater_flag : o.write_chan_hotstart_flag) = 1;
      o.chan_hotstart_out_file = take_token(line);
      break;
    case code_explic_hotstart:
    case code_read_chan_hotstart:
      (code == code_explic_hotstart ? o.explic_hotstart_flag : o.read_chan_hotstart_flag) = 1;
      o.chan_hotstart_in_file = take_token(line);
      break;
    case code_gw_boundfile: {
      const std::string token = take_token(line);
      if (!token.empty()) {
        o.gw_boundfile_file = token;
        o.gw_boundfile_flag = 1;
      }
      break;
    }
    case code_paxl_file: o.paxl_file = take_token(line); break;
    case code_snow_swe_file:
      o.snow_swe_file_flag = 1;
      o.snow_swe_file = take_token(line);
      break;
    case code_snow_sd_file:
      o.snow_sd_file_flag = 1;
      o.snow_sd_file = take_token(line);
      break;
    case code_snow_temp:
      o.snow_temp_flag = 1;
      o.snow_temp_file = take_token(line);
      break;
    case code_xybdyoutput_pts:
    case code_xybdyoutput_mask:
      o.xybdyoutput_flag = 1;
      o.xybdyoutput_is_mask = code == code_xybdyoutput_mask ? 1 : 0;
      o.xybdyoutput_file = take_token(line);
      break;
    case code_xybdyoutput_ovdep: o.xybdyoutput_ovdep_file = take_token(line); break;
    case code_xybdyoutput_gwhead: o.xybdyoutput_gwhead_file = take_token(line); break;
    case code_xybdyoutput_stflow: o.xybdyoutput_stflow_file = take_token(line); break;
    case code_nutrients:
      o.nutrients = 1;
      o.tvx_state.reset(new (std::nothrow) tvx_object());
      break;
    case code_soils_tvx_p: o.soils_tvx_p = 2; break;
    case code_soils_tvx_c: o.soils_tvx_c = 2; break;
    case code_soils_tvx_n: o.soils_tvx_n = 2; break;
    case code_calib_comp_data:
      if (std::strncmp(line, "DAILY", 5) == 0) {
        o.calib_comp_data = 0;
      } else if (std::strncmp(line, "EVENT", 5) == 0) {
        o.calib_comp_data = 1;
      } else {
        o.calib_comp_data = 2;
        set_error(103);
        return false;
      }
      break;
    case code_calib_obj_func:
      if (std::strcmp(line, "RMSE") == 0) {
        o.calib_obj_func = 0;
      } else if (std::strcmp(line, "HMLE") == 0) {
        o.calib_obj_func = 1;
      } else {
        o.calib_obj_func = 2;
        set_error(104);
        return false;
      }
      break;
    default:  // recognised cards without an effect
      break;
  }
  return true;
}

// Stores a card's argument into the field its form names and sets its flag. False stops
// the reading.
bool apply_card(const project_card& card, char* line, card_blocks& b) {
  if (card.form == card_form::special) return apply_special_card(card.code, line, b);
  if (card.flag.present()) *card.flag.in(b) = 1;
  if (card.name.present()) *card.name.in(b) = take_token(line);
  if (card.integer.present()) *card.integer.in(b) = take_int(line);
  if (card.real.present()) *card.real.in(b) = take_double(line);
  return true;
}

// Every field 0 or empty, then the reader's own defaults.
void set_reader_defaults(card_blocks& b) {
  b.o = option_files_block{};
  b.o.xybdyoutput_is_mask = 0;
  b.r = run_parameters_block{};
  b.r.latitude = 0.0;
  b.r.longitude = 0.0;
  b.p = precip_options_block{};
  b.p.rain_interp = 0;

  option_files_block& o = b.o;
  o.m_river = 1.0;
  o.m_lake = 10.0;
  o.event_min_q = 0.1;
  o.soil_moist_depth = 0.4;
  o.max_courant_number = 0.04;
  o.overtype = 2;
  o.richards_weight = 1.0;
  o.richards_dtheta_max = 0.0025;
  o.richards_k_option = 2;
  o.richards_iter_max = 1;
  o.richards_upper_option = 1;
  o.aquifer_delta_z = -999.9;
  o.soil_erosion = 1;
  o.gw_timestep = 1.0;
  o.gw_lsor_con = 0.00001;
  o.single_unsat_sat = 0.75;
  o.kinetics_timestep_factor = 1.0;
  o.x_freq = -1;
  o.xwin_width = 1000;
  o.xwin_height = 660;
  o.qir_event_num = -1;
  o.calib_comp_data = 2;
  o.calib_obj_func = 2;
  o.chan_ph = 7.2;
  o.cfgi_index = 83.0;
  o.cfgi_k = 0.5;
}

bool is_format_line(const char* line) {
  return std::strcmp(line, "PLUVOPROJECT") == 0 || std::strcmp(line, "FLUMOXPROJECT") == 0;
}

// True when the file's first line ends in a carriage return: the format line must be exact.
bool first_line_has_carriage_return(checked_file& file) {
  std::FILE* f = file.stream;
  const long start = std::ftell(f);
  int c = 0;
  int previous = 0;
  while ((c = std::fgetc(f)) != EOF && c != '\n') previous = c;
  std::fseek(f, start, SEEK_SET);
  return previous == '\r';
}

bool is_comment_line(const char* line) {
  while (*line == ' ' || *line == '\t' || *line == ',') ++line;
  return *line == '#';
}

void reject_format(checked_file& file) {
  checked_file_close(file);
  stop_run("File Does not Appear to be a Valid PLUVO/FLUMOX Project file\n"
           "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n"
           "PLUVO Terminating....\n");
}

}  // namespace

int classify_project_card(char* line, int silent) {
  char token[token_buffer_size];
  if (!next_token(line, token)) return ignored_card_code;
  const std::string word = lowered(token);
  if (word[0] == '#') return ignored_card_code;
  for (const char* k : ignored_keywords)
    if (word == k) return ignored_card_code;
  const auto& codes = codes_by_keyword();
  if (const auto found = codes.find(word); found != codes.end()) return found->second;
  if (silent != 1 && process_index == 0)
    message_out("Warning: unknown card found in the project file: %s\n", word.c_str());
  return ignored_card_code;
}

void read_project_file(const char* name, option_files_block& files, run_parameters_block& run,
                       precip_options_block& precip, int silent) {
  card_blocks b{files, run, precip};
  run.project_open_error = 0;
  checked_file file;
  if (!checked_file_open(file, name, 'r')) {
    std::fprintf(stderr, "Error opening project file named: %s\n", name);
    run.project_open_error = 1;
    return;
  }
  std::vector<char> buffer(line_buffer_size);
  char* line = buffer.data();
  const bool carriage_return = first_line_has_carriage_return(file);
  if (!read_line(line, file) || carriage_return || !is_format_line(line)) {
    reject_format(file);
    return;
  }
  set_reader_defaults(b);

  int line_number = 1;
  while (read_line(line, file)) {
    ++line_number;
    if (std::strlen(line) > static_cast<std::size_t>(project_line_max) && !is_comment_line(line)) {
      stop_run("Error: line %d of the project file %s is longer than %d characters.\n", line_number, name,
               project_line_max);
      break;
    }
    const int code = classify_project_card(line, silent);
    if (code == ignored_card_code) continue;
    const project_card* card = cards_by_code()[code];
    if (card && !apply_card(*card, line, b)) break;
  }
  checked_file_close(file);
}

void find_project_folder(const char* name) {
  checked_file file;
  if (!checked_file_open(file, name, 'r')) {
    std::fprintf(stderr, "Error opening project file named: %s\n", name);
    return;
  }
  std::vector<char> buffer(line_buffer_size);
  char* line = buffer.data();
  while (read_line(line, file)) {
    // The format line is no card: the run's own read checks it.
    if (is_format_line(line)) continue;
    if (classify_project_card(line, 0) != code_project_folder) continue;
    const std::string dir = take_token(line);
    if (!dir.empty()) set_project_directory(dir, dir.size());
    checked_file_close(file);
    return;
  }
  checked_file_close(file);
  // Both separators mark a folder, so a Unix path finds its project directory too.
  const std::string path = name;
  const std::size_t last = path.find_last_of("/\\");
  if (last != std::string::npos) set_project_directory(path, last + 1);
}

}  // namespace pluvo
