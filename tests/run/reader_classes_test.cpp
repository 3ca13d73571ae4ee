// Bad input to the stream, pipe, groundwater, weather and soil-column readers, one row for each
// kind of fault, run through the built program on the strip watershed: each run stops with exit
// status 1 and a message naming the file or card at fault, and leaves every input as it was. The
// rows that crashed or took all memory run under the sanitizers with the rest of the suite.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "channel/strip_channel.hpp"
#include "groundwater/aquifer_strip.hpp"
#include "run/whole_project.hpp"
#include "soil/long_term_project.hpp"
#include "soil/richards_column_fixture.hpp"

namespace {

namespace fs = std::filesystem;
using pluvo_test::read_file;
using pluvo_test::run_command;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at == std::string::npos) ADD_FAILURE() << from << " is not in " << text;
  else text.replace(at, from.size(), to);
  return text;
}

// Changes the first occurrence of from in a file already written.
void edit(const char* file, const std::string& from, const std::string& to) {
  write_file(file, replaced(read_file(file), from, to));
}

// The strip's stream network with an outlet link of two computational nodes, as routing needs.
std::string routed_network() {
  return replaced(pluvo_test::strip_network, "LINK 2\nTRAPEZOID\nDX 10\nNODES 2\n", "LINK 2\nTRAPEZOID\nDX 10\nNODES 3\n") +
         "NODE 3\nELEV 9.6\n";
}

// The strip with its two-link stream network; returns the cards.
std::string channel_strip(const std::string& network = routed_network(),
                          const std::string& stream = pluvo_test::strip_stream) {
  pluvo_test::write_strip_grid();
  write_file("c.chn", network);
  write_file("c.stm", stream);
  return pluvo_test::strip_cards() + "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\n";
}

// The strip's storm sewer (two inlets into a junction that drains into the outlet stream).
const char* strip_sewer =
    "SJUNC 1 10.2 10.10 1 10 2 1 0 0\nSJUNC 2 10.1 10.05 1 2 2 2 0.6 0.5\nSJUNC 3 10.05 10.0 1 999 2 1 0 0\n"
    "CONNECT 1 1 2\nCONNECT 2 2 3\n"
    "SLINK 1 1\nNODE 1 10.2 10.10 0 0 2 1 0 0\nNODE 2 10.1 10.05 0 0 2 2 0 0\nPIPE 1 1 0.3 0 0.005 0.013 10 0 0 0\n"
    "SLINK 2 1\nNODE 1 10.1 10.05 0 0 2 2 0 0\nNODE 2 10.05 10.0 0 0 2 3 0 0\nPIPE 1 1 0.3 0 0.005 0.013 10 0 0 0\n";

std::string sewer_strip() {
  const std::string cards = channel_strip();
  write_file("s.sl", strip_sewer);
  return cards + "STORM_SEWER s.sl\n";
}

// The same sewer with its second pipe leaky, so that its cells come from the grid-pipe file.
std::string leaky_sewer_strip() {
  const std::string cards = sewer_strip();
  edit("s.sl", "SLINK 2 1\nNODE 1 10.1 10.05 0 0 2 2 0 0\nNODE 2 10.05 10.0 0 0 2 3 0 0\nPIPE 1 1 0.3 0 0.005 0.013 10 0 0 0\n",
       "SLINK 2 1\nNODE 1 10.1 10.05 0 0 2 2 0 0\nNODE 2 10.05 10.0 0 0 2 3 0 0\nPIPE 1 1 0.3 0 0.005 0.013 10 0.5 10 1\n");
  write_file("s.gpi", "GRIDPIPEFILE\nPIPECELLS 1\nCELLIJ 2 2\nNUMPIPES 1\nSPIPE 2 1 100\n");
  return cards + "GRID_PIPE s.gpi\n";
}

// The strip as a continuous run over two days of KAL weather with redistribution soils.
std::string long_term_strip() {
  pluvo_test::write_strip_grid();
  pluvo_test::write_long_term_inputs(2);
  return pluvo_test::long_term_cards(pluvo_test::redistribution_soil("0.2"));
}

std::string aquifer_strip() {
  pluvo_test::write_strip_grid();
  return pluvo_test::strip_cards() + pluvo_test::write_aquifer_strip();
}

std::string richards_strip() {
  pluvo_test::write_strip_grid();
  write_file("one.map", pluvo_test::strip_map("1"));
  write_file("soil.tab", pluvo_test::brooks_soil_table(0.2, 5.0));
  return pluvo_test::strip_cards() +
         "INF_RICHARDS\nRICHARDS_C_OPTION brooks\nRICHARDS_K_OPTION arithmetic\nRICHARDS_UPPER_OPTION average\n"
         "SOIL_TYPE_MAP one.map\nSOIL_LAYER_INPUT_FILE soil.tab\n";
}

struct reader_case {
  const char* name;
  std::function<std::string()> project;  // writes the inputs, returns the cards of w.prj
  std::string message;
};

std::ostream& operator<<(std::ostream& o, const reader_case& c) { return o << c.name; }

// Every file of the scratch folder, with its bytes.
std::map<std::string, std::string> inputs_here() {
  std::map<std::string, std::string> files;
  for (const auto& f : fs::recursive_directory_iterator("."))
    if (f.is_regular_file()) files[f.path().string()] = read_file(f.path().string());
  return files;
}

class BadReaderInput : public ::testing::TestWithParam<reader_case> {};

TEST_P(BadReaderInput, StopsWithItsMessageAndLeavesEveryInputAsItWas) {
  const reader_case& c = GetParam();
  scratch_dir dir;
  write_file("w.prj", "PLUVOPROJECT\n" + c.project());
  const auto before = inputs_here();
  int status = -1;
  const std::string out = run_command(std::string(PLUVO_BINARY) + " w.prj 2>&1", status);
  EXPECT_NE(out.find(c.message), std::string::npos) << out;
  EXPECT_EQ(status, 1) << out;
  for (const auto& [name, text] : before) EXPECT_EQ(read_file(name), text) << name << " was changed";
}

// The projects the rows below break run clean as written.
TEST(BadReaderInput, TheFixturesRunClean) {
  const std::function<std::string()> projects[] = {[] { return channel_strip(); }, sewer_strip, long_term_strip};
  for (const auto& project : projects) {
    scratch_dir dir;
    write_file("w.prj", "PLUVOPROJECT\n" + project());
    int status = -1;
    const std::string out = run_command(std::string(PLUVO_BINARY) + " w.prj 2>&1", status);
    EXPECT_EQ(status, 0) << out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Classes, BadReaderInput,
    ::testing::Values(
        // Crashes.
        reader_case{"channel_file_of_another_kind",
                    [] { return channel_strip(replaced(routed_network(), "PLUVO_CHAN\n", "CHANNELS\n")); },
                    "Error: The channel input file c.chn must begin with PLUVO_CHAN; its first line is \"CHANNELS\".\n"},
        reader_case{"redistribution_without_porosity",
                    [] { return replaced(long_term_strip(), "POROSITY p.map\n", ""); },
                    "Error: The soil porosity file is needed but no card POROSITY names it.\n"},
        reader_case{"redistribution_without_conductivity",
                    [] { return replaced(long_term_strip(), "CONDUCTIVITY k.map\n", ""); },
                    "Error: The Ks file is needed but no card CONDUCTIVITY names it.\n"},
        // Counts checked before memory is taken.
        reader_case{"break_point_pairs_of_a_billion",
                    [] {
                      return channel_strip(replaced(
                          routed_network(), "LINK 2\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\nNODE 1\nELEV 9.9\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1.5\n",
                          "LINK 2\nBREAKPOINT\nDX 10\nNODES 2\nMANNINGS_N 0.04\nNODE 1\nELEV 9.9\nXSEC\nNPAIRS 1000000000\nNUM_INTERP 10\n"
                          "X1 0 10.5\nX1 1 9.5\nX1 2 10.5\n"));
                    },
                    "Error in the channel input file c.chn: NPAIRS 1000000000 of link 2 (line 32) is above 8, the lines "
                    "that follow it.\n"},
        reader_case{"break_point_interpolation_of_a_billion",
                    [] {
                      return channel_strip(replaced(
                          routed_network(), "LINK 2\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\nNODE 1\nELEV 9.9\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1.5\n",
                          "LINK 2\nBREAKPOINT\nDX 10\nNODES 2\nMANNINGS_N 0.04\nNODE 1\nELEV 9.9\nXSEC\nNPAIRS 3\nNUM_INTERP 1000000000\n"
                          "X1 0 10.5\nX1 1 9.5\nX1 2 10.5\n"));
                    },
                    "Error in the channel input file c.chn: NUM_INTERP 1000000000 of link 2 (line 33) is outside "
                    "1..30000.\n"},
        reader_case{"superlink_of_a_billion_pipes",
                    [] {
                      const std::string cards = sewer_strip();
                      edit("s.sl", "SLINK 1 1\n", "SLINK 1 1000000000\n");
                      return cards;
                    },
                    "Error: pipe count 1000000000 on line 6 of s.sl is outside 1..2 (the PIPE lines of the file).\n"},
        reader_case{"grid_pipe_cells_of_a_billion",
                    [] {
                      const std::string cards = leaky_sewer_strip();
                      edit("s.gpi", "PIPECELLS 1", "PIPECELLS 1000000000");
                      return cards;
                    },
                    "Error: PIPECELLS 1000000000 on line 2 of s.gpi is outside 1..6.\n"},
        reader_case{"grid_pipe_count_of_a_billion",
                    [] {
                      const std::string cards = leaky_sewer_strip();
                      edit("s.gpi", "NUMPIPES 1", "NUMPIPES 1000000000");
                      return cards;
                    },
                    "Error: NUMPIPES 1000000000 on line 4 of s.gpi is outside 0..1 (the SPIPE lines of the file).\n"},
        reader_case{"richards_layer_of_ten_thousand_km",
                    [] {
                      const std::string cards = richards_strip();
                      edit("soil.tab", "0.3 10 0.4", "0.3 1e9 0.4");
                      return cards;
                    },
                    "Error: soil class 1 of the Richards soil table soil.tab has layers of 1e+09, 40 and 50 cm"},
        // A hang: the weather clock would walk a billion years.
        reader_case{"weather_year_999999999",
                    [] {
                      const std::string cards = long_term_strip();
                      edit("met.kal", "2020 6 1 0 ", "999999999 6 1 0 ");
                      return cards;
                    },
                    "Error: record 1 in hydrometeorological file met.kal is dated 999999999/6/1, which is not a real "
                    "date (years 1 to 9999).\n"},
        reader_case{"weather_month_13",
                    [] {
                      const std::string cards = long_term_strip();
                      edit("met.kal", "2020 6 1 5 ", "2020 13 1 5 ");
                      return cards;
                    },
                    "Error: record 6 in hydrometeorological file met.kal is dated 2020/13/1, which is not a real date"},
        reader_case{"weather_day_0",
                    [] {
                      const std::string cards = long_term_strip();
                      edit("met.kal", "2020 6 2 0 ", "2020 6 0 0 ");
                      return cards;
                    },
                    "Error: record 25 in hydrometeorological file met.kal is dated 2020/6/0, which is not a real date"},
        // Accepted and silently wrong.
        reader_case{"links_in_a_ring",
                    [] {
                      return channel_strip(
                          replaced(routed_network(), "CONNECT 1 2 0\nCONNECT 2 0 1 1\n", "CONNECT 1 2 1 2\nCONNECT 2 1 1 1\n"));
                    },
                    "Error in the channel input file c.chn: the CONNECT cards send link 1 back into itself through its "
                    "downstream links"},
        reader_case{"grid_stream_file_without_its_first_word",
                    [] {
                      return channel_strip(routed_network(),
                                           replaced(pluvo_test::strip_stream, "GRIDSTREAMFILE\n", ""));
                    },
                    "Error: The grid-stream file c.stm must begin with GRIDSTREAMFILE; its first line is \"STREAMCELLS "
                    "4\".\n"},
        reader_case{"mannings_n_nan",
                    [] {
                      return channel_strip(replaced(routed_network(), "MANNINGS_N 0.04\n", "MANNINGS_N nan\n"));
                    },
                    "Error in the channel input file c.chn: MANNINGS_N nan of link 1 (line 13) is outside 1e-08..1.\n"},
        reader_case{"mannings_n_inf",
                    [] {
                      return channel_strip(replaced(routed_network(), "MANNINGS_N 0.04\n", "MANNINGS_N inf\n"));
                    },
                    "Error in the channel input file c.chn: MANNINGS_N inf of link 1 (line 13) is outside 1e-08..1.\n"},
        reader_case{"aquifer_conductivity_nan",
                    [] { return replaced(aquifer_strip(), "GW_UNIF_HYCOND 0.36", "GW_UNIF_HYCOND nan"); },
                    "Error: The groundwater hydraulic conductivity (cm/h) nan of cell 1 from card GW_UNIF_HYCOND is "
                    "outside the range 0 to 1e+06.\n"},
        reader_case{"aquifer_flux_inf",
                    [] {
                      const std::string cards = aquifer_strip();
                      edit("gwb.map", "4 4 4\n1 1 1", "4 4 4\n6 1 1");
                      write_file("flux.tab", "1\n2 1 inf\n");
                      return cards + "GW_FLUXBOUNDTABLE flux.tab\n";
                    },
                    "Error: row 1 of the static flux table flux.tab gives a flux of inf m3/day; it must be a number "
                    "from -1e+09 to 1e+09.\n"},
        reader_case{"weather_radiation_nan",
                    [] {
                      const std::string cards = long_term_strip();
                      edit("met.kal", "2020 6 1 3 29.92 40 20 6 55 0.0 ", "2020 6 1 3 29.92 40 20 6 55 nan ");
                      return cards;
                    },
                    "Error: record 4 in hydrometeorological file met.kal gives direct radiation nan"},
        reader_case{"junction_of_minus_one_square_metre",
                    [] {
                      const std::string cards = sewer_strip();
                      edit("s.sl", "SJUNC 2 10.1 10.05 1 ", "SJUNC 2 10.1 10.05 -1 ");
                      return cards;
                    },
                    "Error: junction 2 on line 2 of s.sl gives ground 10.1 m, invert 10.05 m and plan area -1 m2"},
        reader_case{"superlink_joining_a_junction_to_itself",
                    [] {
                      const std::string cards = sewer_strip();
                      edit("s.sl", "CONNECT 2 2 3\n", "CONNECT 2 3 3\n");
                      return cards;
                    },
                    "Error: superlink 2 on line 5 of s.sl joins junction 3 to itself"},
        reader_case{"weather_file_empty",
                    [] {
                      const std::string cards = long_term_strip();
                      write_file("met.kal", "");
                      return cards;
                    },
                    "Error: The hydrometeorological file met.kal holds no weather record"},
        reader_case{"weather_ending_before_the_storms",
                    [] {
                      const std::string cards = long_term_strip();
                      const std::string day = pluvo_test::june_weather(1);
                      size_t end = 0;
                      for (int hour = 0; hour < 4; ++hour) end = day.find('\n', end) + 1;
                      write_file("met.kal", day.substr(0, end));
                      return cards;
                    },
                    "Error: The hydrometeorological file met.kal ends at 2020/6/1 hour 3, before the first storm of "
                    "storms.gag begins (2020/6/1 10:00)"},
        // Messages that misled.
        reader_case{"lake_starting_above_its_rating_curve",
                    [] {
                      return channel_strip(replaced(pluvo_test::strip_lake_network, "NUMPTS 2\n2 2 2 1\n",
                                                    "NUMPTS 2\n2 2 2 1\nNUMRATE 2\n10.0 0 0\n10.1 100 200\n"),
                                           pluvo_test::strip_lake_stream);
                    },
                    "Error in the channel input file c.chn: INITWSE 10.15 of lake 1 is outside the elevations 10..10.1 "
                    "of its rating curve (NUMRATE 2).\n"},
        reader_case{"lake_leaving_its_rating_curve",
                    [] {
                      return channel_strip(replaced(pluvo_test::strip_lake_network, "NUMPTS 2\n2 2 2 1\n",
                                                    "NUMPTS 2\n2 2 2 1\nNUMRATE 2\n10.14 1 200\n10.16 3 200\n"),
                                           pluvo_test::strip_lake_stream);
                    },
                    "Error: lake 1 of the channel input file c.chn holds 5.08312e-05 m3, outside the volumes 1..3 of its "
                    "rating curve (NUMRATE 2); the curve must cover every volume the lake reaches.\n"},
        reader_case{"grid_pipe_file_of_another_kind",
                    [] {
                      const std::string cards = leaky_sewer_strip();
                      edit("s.gpi", "GRIDPIPEFILE\n", "");
                      return cards;
                    },
                    "Error: The grid-pipe file s.gpi must begin with GRIDPIPEFILE; its first line is \"PIPECELLS 1\".\n"},
        reader_case{"grid_pipe_file_empty",
                    [] {
                      const std::string cards = leaky_sewer_strip();
                      write_file("s.gpi", "");
                      return cards;
                    },
                    "Error: The grid-pipe file s.gpi must begin with GRIDPIPEFILE"},
        reader_case{"pipe_length_nan",
                    [] {
                      const std::string cards = sewer_strip();
                      edit("s.sl", "0.013 10 0 0 0\n", "0.013 nan 0 0 0\n");
                      return cards;
                    },
                    "Error: pipe 1 of superlink 1 on line 9 of s.sl gives nan; every number of a PIPE line must be "
                    "finite.\n"},
        // Inputs the clash check missed, and inputs named like a fixed output.
        reader_case{"outlet_hydrograph_over_the_channel_hotstart",
                    [] { return replaced(aquifer_strip(), "OUTLET_HYDRO w.hyd", "OUTLET_HYDRO h.lst"); },
                    "Error: Card OUTLET_HYDRO names the output file h.lst, which is also the input file h.lst of card "
                    "READ_CHAN_HOTSTART ("},
        reader_case{"summary_over_the_storm_sewer",
                    [] { return replaced(sewer_strip(), "SUMMARY w.sum", "SUMMARY s.sl"); },
                    "Error: Card SUMMARY names the output file s.sl, which is also the input file s.sl of card "
                    "STORM_SEWER ("},
        reader_case{"outlet_hydrograph_over_the_flux_table",
                    [] {
                      const std::string cards = aquifer_strip();
                      write_file("flux.tab", "0\n");
                      return replaced(cards, "OUTLET_HYDRO w.hyd", "OUTLET_HYDRO flux.tab") + "GW_FLUXBOUNDTABLE flux.tab\n";
                    },
                    "Error: Card OUTLET_HYDRO names the output file flux.tab, which is also the input file flux.tab of "
                    "card GW_FLUXBOUNDTABLE ("},
        reader_case{"stream_cells_named_like_a_fixed_output",
                    [] {
                      const std::string cards = channel_strip();
                      write_file("short_links.out", pluvo_test::strip_stream);
                      return replaced(cards, "STREAM_CELL c.stm", "STREAM_CELL short_links.out");
                    },
                    "Error: Card (one-node link output) names the output file short_links.out, which is also the input "
                    "file short_links.out of card STREAM_CELL ("},
        reader_case{"sewer_named_like_the_superlink_log",
                    [] {
                      const std::string cards = sewer_strip();
                      write_file("superlink_flows.out", strip_sewer);
                      return replaced(cards, "STORM_SEWER s.sl", "STORM_SEWER superlink_flows.out");
                    },
                    "Error: Card (superlink flow log) names the output file superlink_flows.out, which is also the "
                    "input file superlink_flows.out of card STORM_SEWER ("}),
    [](const testing::TestParamInfo<reader_case>& i) { return std::string(i.param.name); });

// A card read but without effect in this version is named once, in the console and the summary,
// and the run goes on; the file it names need not exist.
TEST(BadReaderInput, ACardWithoutEffectIsNamedOnce) {
  scratch_dir dir;
  pluvo_test::write_strip_grid();
  write_file("w.prj", "PLUVOPROJECT\n" + pluvo_test::strip_cards() + "INITIAL_DEPTH no_such_file.map\nDAILY_OUTPUT d.out\n");
  int status = -1;
  const std::string out = run_command(std::string(PLUVO_BINARY) + " w.prj 2>&1", status);
  EXPECT_EQ(status, 0) << out;
  for (const char* line :
       {"Warning: Card INITIAL_DEPTH (initial depth (OV_INIT_DEPTH gives the starting overland depth)) is read but has "
        "no effect in this version; it is ignored.\n",
        "Warning: Card DAILY_OUTPUT (daily output) is read but has no effect in this version; it is ignored.\n"}) {
    const size_t at = out.find(line);
    EXPECT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.find(line, at + 1), std::string::npos) << out;
    EXPECT_NE(read_file("w.sum").find(line), std::string::npos) << read_file("w.sum");
  }
}

}  // namespace
