#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "input/constituents.hpp"
#include "input/input_phases.hpp"
#include "input/neighbour_services.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace {

using namespace pluvo;

// What the output family was asked to open, one line per call.
std::vector<std::string> calls;

void record_map_open(map_series_writer& w, int type, const std::string& name, const char* ext, const char* dext,
                     int number, const std::string& dataset, model_state&) {
  char text[256];
  std::snprintf(text, sizeof text, "map %d %s%s %s %d %s nodata %g %d %g", type, name.c_str(), ext, dext, number,
                dataset.c_str(), w.nodata, w.precision, w.conversion);
  calls.push_back(text);
}
void record_set_flat(linknode_series_writer& w, int layout, const double* values, const double* lakes, model_state&) {
  w.layout_code = layout;
  w.values = values;
  w.lake_values = lakes;
}
void record_linknode_open(linknode_series_writer& w, const std::string& base, const char* a, const char* b, double scale) {
  char text[256];
  std::snprintf(text, sizeof text, "linknode %d %s%s%s %g%s", w.layout_code, base.c_str(), a, b, scale,
                w.lake_values ? " lakes" : "");
  calls.push_back(text);
}

struct recording_services {
  neighbour_service_table saved = neighbour_services;
  recording_services() {
    calls.clear();
    neighbour_services.map_series_writer_open = record_map_open;
    neighbour_services.linknode_series_set_flat = record_set_flat;
    neighbour_services.linknode_series_open = record_linknode_open;
  }
  ~recording_services() { neighbour_services = saved; }
};

std::unique_ptr<model_state> three_contaminants(std::vector<int> flags) {
  error_state = error_state_record();
  auto m = std::make_unique<model_state>();
  m->cell_count = 2;
  allocate_constituent_arrays(*m, 3, 2, 0);
  for (int c = 1; c <= 3; ++c) {
    m->constituent_output_name[size_t(c)] = "c" + std::to_string(c);
    m->constituent_map_output_on[size_t(c)] = flags[size_t(c - 1)];
  }
  return m;
}

TEST(ContaminantOutputs, FlaggedConstituentsThemselvesAreNamed) {
  recording_services services;
  auto m = three_contaminants({1, 0, 1});
  name_contaminant_map_outputs(*m);
  EXPECT_EQ(m->contam_map_writer_count, 2);
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "map 2 c1.conc .asc 5000 conc_01 nodata -999.99 6 1000",
                       "map 2 c1.mass .asc 5001 mass_01 nodata -999.99 6 1000",
                       "map 2 c3.conc .asc 5003 conc_02 nodata -999.99 6 1000",
                       "map 2 c3.mass .asc 5004 mass_02 nodata -999.99 6 1000",
                   }));
  EXPECT_EQ(m->contaminant_writers[2].conc.values, m->ov_conc.rows[3]);
  EXPECT_EQ(m->contaminant_writers[2].mass.values, m->ov_mass.rows[3]);

  calls.clear();
  m->chan_con_trans_on = 1;
  m->lakes_on = 1;
  name_contaminant_chan_outputs(*m);
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "linknode 27 c1.chan.conc 1",
                       "linknode 26 c1.chan.mass 1",
                       "linknode 27 c3.chan.conc 1",
                       "linknode 26 c3.chan.mass 1",
                   }));  // no lake constituents allocated yet: no lake values to hand on
}

TEST(ContaminantOutputs, MapTypeAndNothingFlagged) {
  recording_services services;
  auto m = three_contaminants({0, 0, 0});
  m->chan_con_trans_on = 1;
  name_contaminant_map_outputs(*m);
  name_contaminant_chan_outputs(*m);
  EXPECT_EQ(m->contam_map_writer_count, 0);
  EXPECT_TRUE(calls.empty());

  for (const auto& [zero, type2, expected] : {std::tuple{1, 0, "map 1"}, {0, 1, "map 3"}, {1, 1, "map 1"}}) {
    auto one = three_contaminants({0, 1, 0});
    one->map_type_zero_on = zero;
    one->map_output_type2 = type2;
    calls.clear();
    name_contaminant_map_outputs(*one);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].substr(0, 5), expected);
  }
}

TEST(NutrientHydrographOutputs, OpenEachFlaggedConstituentOrStopWithItsName) {
  pluvo_test::scratch_dir dir;
  error_state = error_state_record();
  error_log_file = nullptr;
  auto m = std::make_unique<model_state>();
  m->tvx_state = std::make_unique<tvx_object>();
  m->tvx_state->out_hyd[0] = {1, "no2"};
  m->tvx_state->out_hyd[8] = {1, "missing/do"};
  m->total_chan_n_flag = 1;
  m->total_chan_n_file = "tn.out";
  const std::string out = printed_by([&] { open_tvx_hydrograph_outputs(*m); });
  EXPECT_TRUE(m->total_chan_n_fp.is_open());
  EXPECT_TRUE(m->tvx_hyd_conc_fp[0].is_open());
  EXPECT_TRUE(m->tvx_hyd_mass_fp[0].is_open());
  EXPECT_TRUE(dir.exists("no2.conc"));
  EXPECT_TRUE(dir.exists("no2.mass"));
  EXPECT_NE(out.find("Error opening nutrient concentration output file (hydrograph style )\n"
                     "for the Dissolved Oxygen (O2) hydrograph file. \nGiven filename: missing/do.conc\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(error_state.error_code, 4);
  EXPECT_EQ(error_state.error_terminate, 1);
  EXPECT_EQ(error_state.error_file_kind, "nutrient concentration");
  EXPECT_EQ(error_state.error_file_name, "missing/do.conc");
}

}  // namespace
