#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/process.hpp"
#include "common/replace_params.hpp"
#include "common/time_series.hpp"
#include "input/neighbour_services.hpp"
#include "input/project_cards.hpp"
#include "input/project_file.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo::card_form;
using pluvo::option_files_block;
using pluvo::precip_options_block;
using pluvo::run_parameters_block;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

// The three blocks as one project file leaves them.
struct blocks {
  option_files_block o;
  run_parameters_block r;
  precip_options_block p;
};

class ProjectFile : public ::testing::Test {
 protected:
  void SetUp() override {
    pluvo::error_state = pluvo::error_state_record{};
    pluvo::quiet_console = false;
  }
  void TearDown() override {
    pluvo::error_state = pluvo::error_state_record{};
    pluvo::quiet_console = false;
  }

  // Writes text as the project file and reads it; console output goes to out.
  blocks read(const std::string& text, std::string* out = nullptr, int silent = 0) {
    write_file("p.prj", text);
    blocks b;
    testing::internal::CaptureStdout();
    pluvo::read_project_file("p.prj", b.o, b.r, b.p, silent);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (out) *out = printed;
    return b;
  }
  blocks card(const std::string& line, std::string* out = nullptr) {
    return read("PLUVOPROJECT\n" + line + "\n", out);
  }

  scratch_dir dir;
};

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(ProjectCardTable, HoldsEveryKeywordOnceWithItsCodes) {
  const auto table = pluvo::project_card_table();
  EXPECT_EQ(table.size(), 471u);

  std::map<int, std::vector<std::string>> by_code;
  std::set<std::string> keywords;
  for (const auto& c : table) {
    by_code[c.code].push_back(c.keyword);
    EXPECT_TRUE(keywords.insert(upper(c.keyword)).second) << c.keyword;
    EXPECT_GE(c.code, 0);
    EXPECT_LE(c.code, pluvo::highest_card_code);
  }
  std::set<int> missing;
  for (int code = 0; code <= pluvo::highest_card_code; ++code)
    if (!by_code.count(code)) missing.insert(code);
  EXPECT_EQ(missing, (std::set<int>{57, 215, 368, 446, 448}));

  std::set<std::vector<std::string>> pairs;
  for (const auto& [code, names] : by_code)
    if (names.size() > 1 && code != pluvo::ignored_card_code) pairs.insert(names);
  const std::set<std::vector<std::string>> expected = {
      {"CHAN_EXPLIC", "DIFFUSIVE_WAVE"},         {"DIKE_MAP", "EMBANKMENT"},
      {"OV_INIT_DEPTH", "READ_OV_HOTSTART"},     {"SACRAMENTO", "SACRAMENTO_PARS"},
      {"GW_FLUXBOUNDTABLE", "GW_FLUX_BOUNDTABLE"}, {"SOIL_CON_TRANS", "SOIL_CONTAM"},
      {"REPLACE_FOLDER", "OUTPUT_FOLDER"},       {"PROJECT_FOLDER", "PROJECT_PATH"}};
  EXPECT_EQ(pairs, expected);
  EXPECT_EQ(by_code[pluvo::ignored_card_code],
            (std::vector<std::string>{"VOK", "METRIC", "SIMULATION_INPUT"}));
}

TEST(ProjectCardTable, EachRowNamesTheFieldsItsFormStores) {
  for (const auto& c : pluvo::project_card_table()) {
    const bool name = c.form == card_form::file || c.form == card_form::file_flag;
    const bool flag = c.form == card_form::file_flag || c.form == card_form::flag ||
                      c.form == card_form::integer_flag || c.form == card_form::real_flag;
    const bool integer = c.form == card_form::integer || c.form == card_form::integer_flag;
    const bool real = c.form == card_form::real || c.form == card_form::real_flag;
    EXPECT_EQ(c.name.present(), name) << c.keyword;
    EXPECT_EQ(c.flag.present(), flag) << c.keyword;
    EXPECT_EQ(c.integer.present(), integer) << c.keyword;
    EXPECT_EQ(c.real.present(), real) << c.keyword;
  }
}

// Every keyword, in any case, classifies to its own code: no keyword shadows another, and a
// keyword matches only as a whole token.
TEST(ProjectCardTable, EveryKeywordClassifiesToItsOwnCode) {
  for (const auto& c : pluvo::project_card_table()) {
    std::string lower = c.keyword;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (const std::string& k : {std::string(c.keyword), lower}) {
      std::vector<char> line(k.begin(), k.end());
      for (const char* tail : {" 7", ",x", "\tq"}) {
        std::vector<char> l(line);
        l.insert(l.end(), tail, tail + std::strlen(tail));
        l.push_back('\0');
        EXPECT_EQ(pluvo::classify_project_card(l.data(), 1), c.code) << k;
      }
    }
  }
  for (const char* unknown : {"TIMESTEPS", "TIMESTE", "#TIMESTEP", "  # TIMESTEP 5", "", "  ,  "}) {
    std::vector<char> l(unknown, unknown + std::strlen(unknown) + 1);
    EXPECT_EQ(pluvo::classify_project_card(l.data(), 1), pluvo::ignored_card_code) << unknown;
  }
}

// One card of each argument form, with and without its argument.
TEST_F(ProjectFile, RegularFormsStoreTheirArguments) {
  struct form_case {
    const char* line;
    std::function<void(const blocks&)> check;
  };
  const form_case cases[] = {
      {"WATERSHED_MASK mask.asc", [](const blocks& b) { EXPECT_EQ(b.o.watershed_mask_file, "mask.asc"); }},
      {"WATERSHED_MASK", [](const blocks& b) { EXPECT_EQ(b.o.watershed_mask_file, ""); }},
      {"ALBEDO alb.asc",
       [](const blocks& b) {
         EXPECT_EQ(b.o.albedo_file, "alb.asc");
         EXPECT_EQ(b.o.albedo_flag, 1);
       }},
      {"ALBEDO",
       [](const blocks& b) {
         EXPECT_EQ(b.o.albedo_file, "");
         EXPECT_EQ(b.o.albedo_flag, 1);
       }},
      {"GW_FLUX_BOUNDTABLE t.txt",
       [](const blocks& b) {
         EXPECT_EQ(b.o.gw_fluxboundtable_file, "t.txt");
         EXPECT_EQ(b.r.gw_fluxboundtable_flag, 1);
       }},
      {"LONG_TERM 0", [](const blocks& b) { EXPECT_EQ(b.o.long_term, 1); }},
      {"ROWS 12", [](const blocks& b) { EXPECT_EQ(b.r.rows, 12); }},
      {"ROWS", [](const blocks& b) { EXPECT_EQ(b.r.rows, 0); }},
      {"FLUSH_BUFFER 250",
       [](const blocks& b) {
         EXPECT_EQ(b.o.flush_buffer_flag, 1);
         EXPECT_EQ(b.o.flush_buffer, 250);
       }},
      {"SOIL_EROSION",
       [](const blocks& b) {
         EXPECT_EQ(b.o.soil_erosion_flag, 1);
         EXPECT_EQ(b.o.soil_erosion, 0);  // the reader's default 1 is replaced
       }},
      {"TIMESTEP 30", [](const blocks& b) { EXPECT_EQ(b.r.timestep, 30.0); }},
      {"TIMESTEP", [](const blocks& b) { EXPECT_EQ(b.r.timestep, 0.0); }},
      {"M_RIVER", [](const blocks& b) { EXPECT_EQ(b.o.m_river, 0.0); }},
      {"M_RIVER 0.6x", [](const blocks& b) { EXPECT_EQ(b.o.m_river, 0.6); }},
      {"GMT -6",
       [](const blocks& b) {
         EXPECT_EQ(b.r.gmt_flag, 1);
         EXPECT_EQ(b.r.gmt, -6.0);
       }},
      {"RAIN_INTENSITY 12.5", [](const blocks& b) { EXPECT_EQ(b.p.rain_intensity, 12.5); }},
      {"MAPPING_TABLE \"my table.idx\" extra",
       [](const blocks& b) { EXPECT_EQ(b.o.mapping_table_file, "my table.idx"); }},
      {"OV_BMP", [](const blocks& b) { EXPECT_EQ(b.o.ov_BMP, 1); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    c.check(card(c.line));
    EXPECT_EQ(pluvo::error_state.error_code, 0);
  }
}

TEST_F(ProjectFile, KeywordsMatchInAnyCaseAndWithAnySeparator) {
  for (const char* line : {"TIMESTEP 30", "timestep\t30", "TimeStep,30", "  TIMESTEP , 30"})
    EXPECT_EQ(card(line).r.timestep, 30.0) << line;
}

TEST_F(ProjectFile, TheFormatLineAloneGivesTheReadersDefaults) {
  for (const char* format : {"PLUVOPROJECT\n", "FLUMOXPROJECT", "PLUVOPROJECT\n\n# note\nVOK 3\n"}) {
    SCOPED_TRACE(format);
    const blocks b = read(format);
    const option_files_block& o = b.o;
    EXPECT_EQ(o.m_river, 1.0);
    EXPECT_EQ(o.m_lake, 10.0);
    EXPECT_EQ(o.event_min_q, 0.1);
    EXPECT_EQ(o.soil_moist_depth, 0.4);
    EXPECT_EQ(o.max_courant_number, 0.04);
    EXPECT_EQ(o.overtype, 2);
    EXPECT_EQ(o.richards_weight, 1.0);
    EXPECT_EQ(o.richards_dtheta_max, 0.0025);
    EXPECT_EQ(o.richards_k_option, 2);
    EXPECT_EQ(o.richards_iter_max, 1);
    EXPECT_EQ(o.richards_upper_option, 1);
    EXPECT_EQ(o.aquifer_delta_z, -999.9);
    EXPECT_EQ(o.soil_erosion, 1);
    EXPECT_EQ(o.gw_timestep, 1.0);
    EXPECT_EQ(o.gw_lsor_con, 0.00001);
    EXPECT_EQ(o.single_unsat_sat, 0.75);
    EXPECT_EQ(o.kinetics_timestep_factor, 1.0);
    EXPECT_EQ(o.x_freq, -1);
    EXPECT_EQ(o.xwin_width, 1000);
    EXPECT_EQ(o.xwin_height, 660);
    EXPECT_EQ(o.qir_event_num, -1);
    EXPECT_EQ(o.calib_comp_data, 2);
    EXPECT_EQ(o.calib_obj_func, 2);
    EXPECT_EQ(o.chan_ph, 7.2);
    EXPECT_EQ(o.cfgi_index, 83.0);
    EXPECT_EQ(o.cfgi_k, 0.5);
    // The record's own defaults do not survive a read.
    EXPECT_EQ(o.xybdyoutput_is_mask, 0);
    EXPECT_EQ(b.r.latitude, 0.0);
    EXPECT_EQ(b.r.longitude, 0.0);
    EXPECT_EQ(b.p.rain_interp, 0);
    EXPECT_EQ(o.richards_c_option, 0);
    EXPECT_EQ(o.albedo_flag, 0);
    EXPECT_EQ(o.tvx_state, nullptr);
    EXPECT_TRUE(o.tvx_soil_km_koc.empty());
    EXPECT_EQ(pluvo::error_state.error_code, 0);
  }
}

TEST_F(ProjectFile, ABadFormatLineStopsWithThreeLines) {
  const std::string lines =
      "File Does not Appear to be a Valid PLUVO/FLUMOX Project file\n"
      "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n"
      "PLUVO Terminating....\n";
  for (const char* text : {"pluvoproject\nTIMESTEP 5\n", "PLUVOPROJECT \n", "", "PLUVOPROJECT\r\nTIMESTEP 5\r\n",
                           " PLUVOPROJECT\n", "TIMESTEP 5\n"}) {
    SCOPED_TRACE(text);
    pluvo::error_state = pluvo::error_state_record{};
    testing::internal::CaptureStderr();
    std::string out;
    const blocks b = read(text, &out);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(out, lines + "\n");  // the console, with the reporter's line
    EXPECT_EQ(pluvo::error_state.error_terminate, 1);  // reported at once
    EXPECT_EQ(b.r.timestep, 0.0);
    EXPECT_EQ(b.r.latitude, 32.0);  // the blocks are left as they were
  }
}

TEST_F(ProjectFile, AMissingFileSetsTheOpenError) {
  blocks b;
  b.r.project_open_error = 0;
  testing::internal::CaptureStderr();
  pluvo::read_project_file("absent.prj", b.o, b.r, b.p, 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error opening project file named: absent.prj\n");
  EXPECT_EQ(b.r.project_open_error, 1);
}

TEST_F(ProjectFile, UnknownCardsAreWarnedAboutAndSkipped) {
  std::string out;
  const blocks b = read("PLUVOPROJECT\nTIMESTEPS 5\nNoSuchCard a b\nROWS 4\n", &out);
  EXPECT_EQ(out,
            "Warning: unknown card found in the project file: timesteps\n"
            "Warning: unknown card found in the project file: nosuchcard\n");
  EXPECT_EQ(b.r.rows, 4);
  EXPECT_EQ(b.r.timestep, 0.0);
  EXPECT_EQ(pluvo::error_state.error_code, 0);

  read("PLUVOPROJECT\nTIMESTEPS 5\n", &out, 1);
  EXPECT_EQ(out, "");
}

TEST_F(ProjectFile, CommentsAndIgnoredKeywordsChangeNothing) {
  std::string out;
  const blocks b =
      read("PLUVOPROJECT\n# TIMESTEP 5\n   #TIMESTEP 6\nMETRIC\nSIMULATION_INPUT x\nLAKE 3\nZELPS_WAVES\n", &out);
  EXPECT_EQ(out, "");
  EXPECT_EQ(b.r.timestep, 0.0);
}

TEST_F(ProjectFile, LaterLinesWin) {
  const blocks b = read("PLUVOPROJECT\nTIMESTEP 5\nTIMESTEP 7\nDIKE_MAP a\nEMBANKMENT b\n");
  EXPECT_EQ(b.r.timestep, 7.0);
  EXPECT_EQ(b.o.dike_map_file, "b");
}

// A card line longer than the format allows would be cut into a wrong name and a stray card.
TEST_F(ProjectFile, OverlongCardLinesStopTheReading) {
  const std::string name(260, 'a');
  std::string out;
  const blocks b = read("PLUVOPROJECT\n#" + name + "\nELEVATION " + name + "\nTIMESTEP 5\n", &out);
  EXPECT_EQ(out, "Error: line 3 of the project file p.prj is longer than 255 characters.\n\n");
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);  // stopped and reported at once
  EXPECT_EQ(b.o.elevation_file, "");
  EXPECT_EQ(b.r.timestep, 0.0);

  pluvo::error_state = pluvo::error_state_record{};
  const std::string fits = "ELEVATION " + std::string(245, 'e');
  EXPECT_EQ(card(fits).o.elevation_file, std::string(245, 'e'));
  EXPECT_EQ(pluvo::error_state.error_code, 0);
}

TEST_F(ProjectFile, SpecialCardsStoreTheirOwnWay) {
  struct special_case {
    const char* lines;
    std::function<void(const blocks&)> check;
    const char* printed;
  };
  const special_case cases[] = {
      {"START_DATE 2001 7 14\nSTART_TIME 6 30\nEND_TIME 2002 1 2 3 4",
       [](const blocks& b) {
         EXPECT_EQ(b.r.start_year, 2001);
         EXPECT_EQ(b.r.start_month, 7);
         EXPECT_EQ(b.r.start_day, 14);
         EXPECT_EQ(b.r.start_hour, 6);
         EXPECT_EQ(b.r.start_minute, 30);
         EXPECT_EQ(b.r.end_year, 2002);
         EXPECT_EQ(b.r.end_minute, 4);
       },
       ""},
      {"QIR_EVENT_NUM",
       [](const blocks& b) {
         EXPECT_EQ(b.o.qir_event_num, -1);
         EXPECT_EQ(b.o.qir_event_num_flag, 1);
       },
       ""},
      {"QIR_EVENT_NUM 4", [](const blocks& b) { EXPECT_EQ(b.o.qir_event_num, 4); }, ""},
      {"UNITS 1", [](const blocks& b) { EXPECT_EQ(b.r.units, 1); }, "Units flag = 1\n"},
      {"ALPHA 0.5\nBETA\nTHETA 1\nCHANNEL_GRIDSIZE 30\nQ_MIN 0.01", [](const blocks&) {},
       "Alpha = 0.500000\nBeta = 0.000000\nTheta = 1.000000\nChannel grid size = 30.000000\n"
       "Minimum channel flow = 0.010000\n"},
      {"CHANNEL_DELTAT 5\nDRAIN_TIME 6\nN_LINKS 7\nMAX_NODES 8", [](const blocks&) {},
       "Channel time step = 5\nDrainage time = 6\nNumber of links = 7\nNumber of nodes = 8\n"},
      {"PRECIP_FILE rain.gag\nRAIN_INV_DISTANCE",
       [](const blocks& b) {
         EXPECT_EQ(b.p.precip_type, 1);
         EXPECT_EQ(b.p.precip_file, "rain.gag");
         EXPECT_EQ(b.p.rain_interp, 0);
       },
       ""},
      {"PRECIP_FILE r\nPRECIP_UNIF\nRAIN_THIESSEN",
       [](const blocks& b) {
         EXPECT_EQ(b.p.precip_type, 0);
         EXPECT_EQ(b.p.rain_interp, 1);
       },
       ""},
      {"HMET_KAL k.txt\nHMET_SAMSON s.txt",
       [](const blocks& b) {
         EXPECT_EQ(b.o.hmet_file, "s.txt");
         EXPECT_EQ(b.o.hmet_kal_flag, 1);
         EXPECT_EQ(b.o.hmet_samson_flag, 1);
         EXPECT_EQ(b.o.hmet_ascii_flag, 0);
       },
       ""},
      {"HMET_OROG_GAGES g.txt",
       [](const blocks& b) {
         EXPECT_EQ(b.o.hmet_orog_gages_file, "g.txt");
         EXPECT_EQ(b.o.hmet_orog_gages_flag, 1);
         EXPECT_EQ(b.o.orogvar_hmet, 1);
       },
       ""},
      {"INIT_SWE_DEPTH 0.25",
       [](const blocks& b) {
         EXPECT_EQ(b.o.init_swe_depth_kind, 3);
         EXPECT_EQ(b.o.init_swe_depth, 0.25);
       },
       ""},
      {"INIT_SWE_DEPTH",
       [](const blocks& b) {
         EXPECT_EQ(b.o.init_swe_depth_kind, 1);
         EXPECT_EQ(b.o.init_swe_depth_file, "");
       },
       ""},
      // Map names that a number scan would take for infinity or NaN stay names.
      {"INIT_SWE_DEPTH inf.asc",
       [](const blocks& b) {
         EXPECT_EQ(b.o.init_swe_depth_kind, 1);
         EXPECT_EQ(b.o.init_swe_depth_file, "inf.asc");
       },
       ""},
      {"OVERTYPE ADE-PC", [](const blocks& b) { EXPECT_EQ(b.o.overtype, 3); }, ""},
      {"OVERTYPE explicit", [](const blocks& b) { EXPECT_EQ(b.o.overtype, 1); }, ""},
      {"OVERTYPE 1", [](const blocks& b) { EXPECT_EQ(b.o.overtype, 1); }, ""},
      {"OVERTYPE 7", [](const blocks& b) { EXPECT_EQ(b.o.overtype, 7); }, ""},
      {"OVERTYPE adept", [](const blocks& b) { EXPECT_EQ(b.o.overtype, 2); }, ""},
      {"M_LAKE 4",
       [](const blocks& b) {
         EXPECT_EQ(b.o.m_lake, 4.0);
         EXPECT_EQ(b.o.m_lake_flag, 0);
       },
       ""},
      {"LOWSPOT_FILE l.txt\nOVERLAND_LAKE_FILE o.txt",
       [](const blocks& b) {
         EXPECT_EQ(b.o.lowspot_file, "l.txt");
         EXPECT_EQ(b.o.lowspot_file_flag, 1);
         EXPECT_EQ(b.o.overland_lake_file, "o.txt");
       },
       ""},
      {"RETEN_DEPTH",
       [](const blocks& b) {
         EXPECT_EQ(b.o.reten_depth_flag, 1);
         EXPECT_EQ(b.o.unif_retention_flag, 0);
       },
       ""},
      {"RETEN_DEPTH r.asc",
       [](const blocks& b) {
         EXPECT_EQ(b.o.reten_depth_flag, 1);
         EXPECT_EQ(b.o.reten_depth_file, "r.asc");
       },
       ""},
      {"RETEN_DEPTH 2.5",
       [](const blocks& b) {
         EXPECT_EQ(b.o.reten_depth_flag, 0);
         EXPECT_EQ(b.o.unif_retention_flag, 1);
         EXPECT_EQ(b.o.retention, 2.5);
       },
       "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH <filename>-or-\n"
       "RETENTION <value>  -or-\nRETEN_DEPTH \n  Using 2.500000 for the uniform retention depth\n\n"},
      {"RETENTION 3",
       [](const blocks& b) {
         EXPECT_EQ(b.o.retention, 3.0);
         EXPECT_EQ(b.o.unif_retention_flag, 1);
       },
       ""},
      {"INTERCEPTION",
       [](const blocks& b) {
         EXPECT_EQ(b.o.interception_coeff_flag, 1);
         EXPECT_EQ(b.o.storage_capacity_flag, 1);
         EXPECT_EQ(b.o.interception_coeff_file, "");
       },
       ""},
      {"MOISTURE m.asc\nMOISTURE",
       [](const blocks& b) {
         EXPECT_EQ(b.o.moisture_file, "m.asc");
         EXPECT_EQ(b.o.moisture_flag, 1);
       },
       ""},
      {"AREA_REDUCTION a.asc\nAREA_REDUCTION",
       [](const blocks& b) {
         EXPECT_EQ(b.o.area_reduction_file, "");
         EXPECT_EQ(b.o.area_reduction_flag, 1);
       },
       ""},
      {"GREEN_AMPT", [](const blocks& b) { EXPECT_EQ(b.r.inf_method, 1); }, ""},
      {"INF_REDIST", [](const blocks& b) { EXPECT_EQ(b.r.inf_method, 2); }, ""},
      {"INF_LAYERED_SOIL", [](const blocks& b) { EXPECT_EQ(b.r.inf_method, 3); }, ""},
      {"INF_RICHARDS\nSOIL_LAYER_INPUT_FILE s.txt",
       [](const blocks& b) {
         EXPECT_EQ(b.r.inf_method, 4);
         EXPECT_EQ(b.o.soil_layer_input_file, "s.txt");
       },
       ""},
      {"RICHARDS_K_OPTION ARITH\nRICHARDS_C_OPTION brooks\nRICHARDS_UPPER_OPTION Average",
       [](const blocks& b) {
         EXPECT_EQ(b.o.richards_k_option, 1);
         EXPECT_EQ(b.o.richards_c_option, 1);
         EXPECT_EQ(b.o.richards_upper_option, 3);
       },
       ""},
      {"RICHARDS_K_OPTION geom\nRICHARDS_C_OPTION HAVERCAMP\nRICHARDS_UPPER_OPTION green",
       [](const blocks& b) {
         EXPECT_EQ(b.o.richards_k_option, 2);
         EXPECT_EQ(b.o.richards_c_option, 2);
         EXPECT_EQ(b.o.richards_upper_option, 2);
       },
       ""},
      {"RICHARDS_K_OPTION other\nRICHARDS_C_OPTION other\nRICHARDS_UPPER_OPTION other",
       [](const blocks& b) {
         EXPECT_EQ(b.o.richards_k_option, 2);
         EXPECT_EQ(b.o.richards_c_option, 0);
         EXPECT_EQ(b.o.richards_upper_option, 0);
       },
       ""},
      {"PERMAFROST_GIPL p.txt\nMULTI_LAYER_INFIL_GIPL q.txt",
       [](const blocks& b) {
         EXPECT_EQ(b.o.permafrost_gipl, "q.txt");
         EXPECT_EQ(b.o.permafrost_gipl_flag, 1);
         EXPECT_EQ(b.o.multi_layer_infil_gipl_flag, 1);
       },
       ""},
      {"CHAN_EXPLIC\nCHAN_PREISS",
       [](const blocks& b) {
         EXPECT_EQ(b.r.chan_method, 1);
         EXPECT_EQ(b.o.non_ortho_channels, 1);
       },
       ""},
      {"DIFFUSIVE_WAVE", [](const blocks& b) { EXPECT_EQ(b.r.chan_method, 3); }, ""},
      {"CHAN_DRAIN", [](const blocks& b) { EXPECT_EQ(b.r.chan_method, 2); }, ""},
      {"CHAN_MESH", [](const blocks& b) { EXPECT_EQ(b.r.chan_method, 4); }, ""},
      {"CHAN_BACKWATER", [](const blocks& b) { EXPECT_EQ(b.r.chan_method, 5); }, ""},
      {"EXPLIC_BACKWATER a\nWRITE_CHAN_HOTSTART b\nEXPLIC_HOTSTART c\nREAD_CHAN_HOTSTART d",
       [](const blocks& b) {
         EXPECT_EQ(b.o.explic_backwater_flag, 1);
         EXPECT_EQ(b.o.write_chan_hotstart_flag, 1);
         EXPECT_EQ(b.o.chan_hotstart_out_file, "b");
         EXPECT_EQ(b.o.explic_hotstart_flag, 1);
         EXPECT_EQ(b.o.read_chan_hotstart_flag, 1);
         EXPECT_EQ(b.o.chan_hotstart_in_file, "d");
       },
       ""},
      {"GW_BOUNDFILE", [](const blocks& b) { EXPECT_EQ(b.o.gw_boundfile_flag, 0); }, ""},
      {"GW_BOUNDFILE g.txt",
       [](const blocks& b) {
         EXPECT_EQ(b.o.gw_boundfile_flag, 1);
         EXPECT_EQ(b.o.gw_boundfile_file, "g.txt");
       },
       ""},
      {"PAXL_FILE x\nSNOW_SWE_FILE s\nSNOW_SD_FILE d",
       [](const blocks& b) {
         EXPECT_EQ(b.o.paxl_file, "x");
         EXPECT_EQ(b.o.snow_swe_file_flag, 1);
         EXPECT_EQ(b.o.snow_swe_file, "s");
         EXPECT_EQ(b.o.snow_sd_file_flag, 1);
         EXPECT_EQ(b.o.snow_sd_file, "d");
       },
       ""},
      {"SNOW_TEMP t.txt",
       [](const blocks& b) {
         EXPECT_EQ(b.o.snow_temp_flag, 1);
         EXPECT_EQ(b.o.snow_temp_file, "t.txt");
         EXPECT_EQ(b.o.xybdyoutput_flag, 0);
         EXPECT_EQ(b.o.xybdyoutput_file, "");
       },
       ""},
      {"XYBDYOUTPUT_MASK m\nXYBDYOUTPUT_OVDEP o\nXYBDYOUTPUT_GWHEAD g\nXYBDYOUTPUT_STFLOW s",
       [](const blocks& b) {
         EXPECT_EQ(b.o.xybdyoutput_flag, 1);
         EXPECT_EQ(b.o.xybdyoutput_is_mask, 1);
         EXPECT_EQ(b.o.xybdyoutput_file, "m");
         EXPECT_EQ(b.o.xybdyoutput_ovdep_file, "o");
         EXPECT_EQ(b.o.xybdyoutput_gwhead_file, "g");
         EXPECT_EQ(b.o.xybdyoutput_stflow_file, "s");
       },
       ""},
      {"XYBDYOUTPUT_PTS p", [](const blocks& b) { EXPECT_EQ(b.o.xybdyoutput_is_mask, 0); }, ""},
      {"SOILS_TVX_P\nSOILS_TVX_N",
       [](const blocks& b) {
         EXPECT_EQ(b.o.soils_tvx_p, 2);
         EXPECT_EQ(b.o.soils_tvx_c, 0);
         EXPECT_EQ(b.o.soils_tvx_n, 2);
       },
       ""},
      // The table starts at zero: entries no card gives are 0, not undefined.
      {"NO3_KOC 4.5\nDP_KM 2",
       [](const blocks& b) {
         EXPECT_EQ(b.o.tvx_soil_km_koc, (std::vector<double>{0, 0, 0, 0, 0, 2, 0, 4.5, 0, 0, 0, 0}));
       },
       ""},
      {"CALIB_COMP_DATA DAILY values\nCALIB_OBJ_FUNC HMLE",
       [](const blocks& b) {
         EXPECT_EQ(b.o.calib_comp_data, 0);
         EXPECT_EQ(b.o.calib_obj_func, 1);
       },
       ""},
      {"CALIB_COMP_DATA EVENT\nCALIB_OBJ_FUNC RMSE",
       [](const blocks& b) {
         EXPECT_EQ(b.o.calib_comp_data, 1);
         EXPECT_EQ(b.o.calib_obj_func, 0);
       },
       ""},
      {"SUPER_QUIET", [](const blocks& b) { EXPECT_EQ(b.o.super_quiet, 1); }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    pluvo::quiet_console = false;
    std::string out;
    c.check(card(c.lines, &out));
    EXPECT_EQ(out, c.printed);
    EXPECT_EQ(pluvo::error_state.error_code, 0);
  }
  EXPECT_TRUE(pluvo::quiet_console);
}

TEST_F(ProjectFile, RejectedCalibrationWordsStopTheReading) {
  struct calib_case {
    const char* line;
    int code;
  };
  const calib_case cases[] = {{"CALIB_OBJ_FUNC RMSE ", 104},
                              {"CALIB_OBJ_FUNC rmse", 104},
                              {"CALIB_OBJ_FUNC", 104},
                              {"CALIB_COMP_DATA DAIL", 103},
                              {"CALIB_COMP_DATA daily", 103}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    pluvo::error_state = pluvo::error_state_record{};
    const blocks b = read(std::string("PLUVOPROJECT\n") + c.line + "\nTIMESTEP 5\n");
    EXPECT_EQ(pluvo::error_state.error_code, c.code);
    EXPECT_EQ(b.r.timestep, 0.0);
    EXPECT_EQ(c.code == 103 ? b.o.calib_comp_data : b.o.calib_obj_func, 2);
  }
}

TEST_F(ProjectFile, NutrientCardsMustFollowNutrients) {
  struct order_case {
    const char* line;
    const char* kind;
  };
  const order_case cases[] = {{"AQ_ENV aq.txt", "AQ_ENV"},        {"OV_INIT_NO3 5", "OV_INIT_XXX"},
                              {"OV_DISPERSION 1", "OV_INIT_XXX"}, {"ST_INIT_DO", "ST_INIT_XXX"},
                              {"OUT_OV_NO2 a", "OUT_OV_XXX"},     {"OUT_ST_DO b", "OUT_ST_XXX"},
                              {"OUT_HYD_ALG c", "OUT_HYD_XXX"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    pluvo::error_state = pluvo::error_state_record{};
    const blocks b = read(std::string("PLUVOPROJECT\n") + c.line + "\nTIMESTEP 5\nNUTRIENTS\n");
    EXPECT_EQ(pluvo::error_state.error_code, 79);
    EXPECT_EQ(pluvo::error_state.error_file_kind, c.kind);
    EXPECT_EQ(b.r.timestep, 0.0);  // the rest of the file is not read
    EXPECT_EQ(b.o.tvx_state, nullptr);
  }

  pluvo::error_state = pluvo::error_state_record{};
  const blocks b = read(
      "PLUVOPROJECT\nNO3_KOC 1\nNUTRIENTS\nAQ_ENV aq.txt\nOV_INIT_NO3 5\nOV_INIT_NO2\nOV_DOC_FOC f.asc\n"
      "ST_INIT_CBOD 0.5\nOUT_OV_NO2 a\nOUT_ST_DO b\nOUT_HYD_ALG c\n");
  EXPECT_EQ(pluvo::error_state.error_code, 0);
  ASSERT_NE(b.o.tvx_state, nullptr);
  const pluvo::tvx_object& t = *b.o.tvx_state;
  EXPECT_EQ(b.o.nutrients, 1);
  EXPECT_EQ(t.aq_env.aq_env_file, "aq.txt");
  EXPECT_EQ(t.ov_init[1].kind, 3);
  EXPECT_EQ(t.ov_init[1].value, 5.0);
  EXPECT_EQ(t.ov_init[0].kind, 2);
  EXPECT_EQ(t.ov_init[10].kind, 1);
  EXPECT_EQ(t.ov_init[10].file, "f.asc");
  EXPECT_EQ(t.ov_init[2].kind, 0);
  EXPECT_EQ(t.st_init[7].kind, 3);
  EXPECT_EQ(t.st_init[7].value, 0.5);
  EXPECT_EQ(t.out_ov[0].flag, 1);
  EXPECT_EQ(t.out_ov[0].file, "a");
  EXPECT_EQ(t.out_st[8].file, "b");
  EXPECT_EQ(t.out_hyd[6].file, "c");
  EXPECT_EQ(t.out_hyd[5].flag, 0);
}

TEST_F(ProjectFile, ASecondNutrientsCardStartsAFreshObject) {
  const blocks b = read("PLUVOPROJECT\nNUTRIENTS\nAQ_ENV a\nNUTRIENTS\n");
  ASSERT_NE(b.o.tvx_state, nullptr);
  EXPECT_EQ(b.o.tvx_state->aq_env.aq_env_file, "");
}

TEST_F(ProjectFile, NumThreadsSetsTheLoopThreads) {
  const int before = pluvo::thread_count;
  std::string out;
  card("NUM_THREADS 4", &out);
  EXPECT_EQ(out, "Setting the thread level to 4.\n");
  EXPECT_EQ(pluvo::thread_count, 4);
  EXPECT_EQ(omp_get_max_threads(), 4);
  int seen = 0;
#pragma omp parallel reduction(+ : seen)
  seen += 1;
  EXPECT_EQ(seen, 4);

  card("NUM_THREADS 0", &out);
  EXPECT_EQ(out, "Error: unable to set the thread level to 0.\n");
  EXPECT_EQ(pluvo::thread_count, 4);
  pluvo::set_thread_count(before);
}

TEST_F(ProjectFile, FoldersAndRunLineActAtOnce) {
  const std::string project_before = pluvo::project_directory;
  const std::string output_before = pluvo::output_directory;
  const bool output_set_before = pluvo::output_directory_set;
  const int run_index_before = pluvo::run_index;
  pluvo::output_directory.clear();
  pluvo::output_directory_set = false;

  // A bare OUTPUT_FOLDER would make the file-system root the output folder: it is ignored.
  blocks b = read("PLUVOPROJECT\nPROJECT_PATH proj\nREPLACE_LINE 3\nOUTPUT_FOLDER\n");
  EXPECT_EQ(b.o.project_folder_file, "proj");
  EXPECT_EQ(pluvo::project_directory, "proj/");
  EXPECT_EQ(pluvo::run_index, 2);
  EXPECT_FALSE(pluvo::output_directory_set);

  b = read("PLUVOPROJECT\nREPLACE_FOLDER out\n");
  EXPECT_EQ(pluvo::output_directory, "out/");
  EXPECT_TRUE(pluvo::output_directory_set);

  pluvo::project_directory = project_before;
  pluvo::output_directory = output_before;
  pluvo::output_directory_set = output_set_before;
  pluvo::run_index = run_index_before;
}

// Keys are replaced only in the lines after REPLACE_VALS; a series file is read on the spot.
TEST_F(ProjectFile, ReplacementAndSeriesFilesActFromTheirLineOn) {
  write_file("pairs.txt", "1\n[DT] %lf\n");
  write_file("values.txt", "45\n");
  write_file("ts.txt", "PLUVO_TS\nflow\nABSOLUTE\n2000 1 1 0 0 1.0\n2000 1 2 0 0 2.0\nEND_TS\n");
  std::string out;
  const blocks b = read(
      "PLUVOPROJECT\nREPLACE_PARAMS pairs.txt\nGRIDSIZE [DT]\nREPLACE_VALS values.txt\nTIMESTEP [DT]\n"
      "TIME_SERIES_FILE ts.txt\n",
      &out);
  EXPECT_EQ(b.r.gridsize, 0.0);
  EXPECT_EQ(b.r.timestep, 45.0);
  EXPECT_TRUE(pluvo::replace_pairs_active);
  ASSERT_EQ(pluvo::time_series_list.size(), 1u);
  EXPECT_EQ(pluvo::time_series_list[0]->name, "flow");
  EXPECT_NE(out.find("1 time series read from file ts.txt\n"), std::string::npos) << out;
  pluvo::free_replace_params();
  pluvo::free_time_series();
}

TEST_F(ProjectFile, FindProjectFolder) {
  const std::string before = pluvo::project_directory;
  struct folder_case {
    const char* file;
    const char* text;
    const char* expected;
  };
  std::filesystem::create_directory("sub");
  const folder_case cases[] = {
      {"p.prj", "PLUVOPROJECT\nPROJECT_FOLDER C:\\data\\run\n", "C:\\data\\run/"},
      {"p.prj", "PLUVOPROJECT\nPROJECT_FOLDER C:\\data\\run\\\n", "C:\\data\\run\\"},
      {"sub/q.prj", "PLUVOPROJECT\nTIMESTEP 5\n", "sub/"},
      {"p.prj", "PLUVOPROJECT\nTIMESTEP 5\n", "unchanged"},
      {"sub/q.prj", "PLUVOPROJECT\nPROJECT_PATH\nPROJECT_PATH x\n", "unchanged"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    pluvo::project_directory = "unchanged";
    write_file(c.file, c.text);
    testing::internal::CaptureStdout();
    pluvo::find_project_folder(c.file);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(pluvo::project_directory, c.expected);
  }
  pluvo::project_directory = before;
}

TEST_F(ProjectFile, FilesReadAtOnceAreNeverDroppedSilently) {
  static std::vector<std::string> seen;
  seen.clear();
  const pluvo::neighbour_service_table before = pluvo::neighbour_services;
  pluvo::neighbour_services.elevation_series_file = nullptr;
  pluvo::neighbour_services.xy_boundary_input = nullptr;
  std::string out;
  blocks b = card("ELEV_SERIES_FILE es.txt", &out);
  EXPECT_EQ(out, "Error: elevation series cannot be read in this build; es.txt was not read.\n");

  pluvo::neighbour_services.elevation_series_file = [](const char* n) { seen.push_back(std::string("es:") + n); };
  pluvo::neighbour_services.xy_boundary_input = [](int code, const char* n, pluvo::option_files_block&) {
    seen.push_back(std::to_string(code) + ":" + n);
  };
  b = read("PLUVOPROJECT\nELEV_SERIES_FILE es.txt\nXYBDYINPUT_GWHEAD g.txt\nXYBDYINPUT_OV_STAGE_INTERP o.txt\n",
           &out);
  EXPECT_EQ(out, "");
  EXPECT_EQ(seen, (std::vector<std::string>{"es:es.txt", "456:g.txt", "461:o.txt"}));
  EXPECT_EQ(b.o.ov_boundary, 1);
  EXPECT_EQ(b.o.xybdy_ov_input_on, 1);
  EXPECT_EQ(b.o.xybdy_ov_stage_on, 1);
  pluvo::neighbour_services = before;
}

}  // namespace
