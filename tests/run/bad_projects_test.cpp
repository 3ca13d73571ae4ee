// Bad projects, as a careless or hurried user writes them, run through the built program: each
// stops with its message and exit status 1, and leaves every input file as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::run_command;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

using project_files = std::map<std::string, std::string>;

const std::string grid_header = "north: 1030\nsouth: 1000\neast: 1040\nwest: 1000\nrows: 3\ncols: 4\n";

std::string uniform_map(const char* value) {
  std::string row;
  for (int c = 0; c < 4; ++c) row += std::string(c ? " " : "") + value;
  return grid_header + row + "\n" + row + "\n" + row + "\n";
}

// A 12-cell watershed under two gauges, with Green and Ampt soils and an area-reduction map.
project_files good_project() {
  return {
      {"p.prj",
       "PLUVOPROJECT\nWATERSHED_MASK m.msk\nELEVATION m.ele\nGRIDSIZE 10\nROWS 3\nCOLS 4\nOUTROW 3\nOUTCOL 3\n"
       "OUTSLOPE 0.01\nTIMESTEP 30\nTOT_TIME 2\nHYD_FREQ 1\nMAP_FREQ 60\nOVERTYPE 1\nMANNING_N 0.05\n"
       "PRECIP_FILE p.gag\nRAIN_THIESSEN\nGREEN_AMPT\nCONDUCTIVITY k.map\nCAPILLARY h.map\nPOROSITY p.map\n"
       "MOISTURE w.map\nAREA_REDUCTION a.map\nSUMMARY p.sum\nOUTLET_HYDRO p.hyd\n"},
      {"m.msk", grid_header + "0 1 1 0\n1 1 1 1\n0 1 1 0\n"},
      {"m.ele", grid_header + "9 9 8 9\n9 8 7 8\n9 7 6 9\n"},
      {"k.map", uniform_map("1")},
      {"h.map", uniform_map("10")},
      {"p.map", uniform_map("0.4")},
      {"w.map", uniform_map("0.1")},
      {"a.map", uniform_map("0.1")},
      {"p.gag",
       "EVENT \"test storm\"\nNRGAG 2\nNRPDS 3\nCOORD 1010 1020 \"west gauge\"\nCOORD 1030 1010 \"east gauge\"\n"
       "GAGES 2020 6 1 10 00 0.0 0.0\nGAGES 2020 6 1 10 10 2.0 1.0\nGAGES 2020 6 1 10 20 1.0 3.0\n"},
  };
}

// Replaces the first occurrence of from in the named file.
std::function<void(project_files&)> change(const char* file, const std::string& from, const std::string& to) {
  return [=](project_files& f) {
    std::string& text = f[file];
    const size_t at = text.find(from);
    if (at == std::string::npos) ADD_FAILURE() << from << " is not in " << file;
    else text.replace(at, from.size(), to);
  };
}

// Sets a card of the project file: its line is replaced, or added at the end.
std::function<void(project_files&)> card(const std::string& keyword, const std::string& value) {
  return [=](project_files& f) {
    std::string& text = f["p.prj"];
    const size_t at = text.find("\n" + keyword + " ");
    const std::string line = keyword + " " + value + "\n";
    if (at == std::string::npos) {
      text += line;
    } else {
      const size_t end = text.find('\n', at + 1);
      text.replace(at + 1, end - at, line);
    }
  };
}

std::function<void(project_files&)> both(std::function<void(project_files&)> a, std::function<void(project_files&)> b) {
  return [=](project_files& f) {
    a(f);
    b(f);
  };
}

struct bad_case {
  const char* name;
  std::function<void(project_files&)> mutate;
  std::string message;
  const char* options = "";
};

std::ostream& operator<<(std::ostream& o, const bad_case& c) { return o << c.name; }

class BadProject : public ::testing::TestWithParam<bad_case> {};

TEST(BadProject, TheFixtureRunsClean) {
  scratch_dir dir;
  for (const auto& [name, text] : good_project()) write_file(name, text);
  int status = -1;
  const std::string out = run_command(std::string(PLUVO_BINARY) + " p.prj 2>&1", status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("Running...."), std::string::npos) << out;
}

TEST_P(BadProject, StopsWithItsMessageAndLeavesEveryInputAsItWas) {
  const bad_case& c = GetParam();
  scratch_dir dir;
  project_files files = good_project();
  c.mutate(files);
  for (const auto& [name, text] : files) {
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) std::filesystem::create_directories(name.substr(0, slash));
    write_file(name, text);
  }
  int status = -1;
  const std::string out = run_command(std::string(PLUVO_BINARY) + " " + c.options + " p.prj 2>&1", status);
  EXPECT_NE(out.find(c.message), std::string::npos) << out;
  EXPECT_EQ(out.find("Running...."), std::string::npos) << out;
  EXPECT_EQ(status, 1);
  for (const auto& [name, text] : files) EXPECT_EQ(read_file(name), text) << name << " was changed";
}

const char* const grid_range = "the grid must have 1 to 1000000 rows and columns and at most 250000000 cells.\n";
const char* const date_range =
    "it must be a real date of the years 1 to 9999 and a time of day from 0:00 to 23:59.\n";

INSTANTIATE_TEST_SUITE_P(
    Classes, BadProject,
    ::testing::Values(
        // Outputs that name an input, or another output: refused before anything is opened.
        bad_case{"output_names_the_elevation", card("SUMMARY", "m.ele"),
                 "Error: Card SUMMARY names the output file m.ele, which is also the input file m.ele of card "
                 "ELEVATION ("},
        bad_case{"output_names_the_project_file", card("OUTLET_HYDRO", "p.prj"),
                 "Error: Card OUTLET_HYDRO names the output file p.prj, which is also the input file p.prj of card "
                 "(the project file) ("},
        bad_case{"output_names_an_input_by_another_path",
                 both(card("RUNOFF_MMPH", "./x/../p.gag"), [](project_files& f) { f["x/note.txt"] = "a folder\n"; }),
                 "Error: Card RUNOFF_MMPH names the output file ./x/../p.gag, which is also the input file p.gag of "
                 "card PRECIP_FILE ("},
        bad_case{"output_names_an_index_map_of_the_mapping_table",
                 both(both(change("p.prj", "MOISTURE w.map\n", "MAPPING_TABLE t.cmt\nMOISTURE w.map\n"),
                           [](project_files& f) {
                             f["t.cmt"] = "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP s.idx \"Soils\"\n";
                             f["s.idx"] = grid_header + "0 1 1 0\n1 1 1 1\n0 1 1 0\n";
                           }),
                      card("SIG_OUTLET_HYDRO", "s.idx")),
                 "Error: Card SIG_OUTLET_HYDRO names the output file s.idx, which is also the input file s.idx of "
                 "card INDEX_MAP (mapping-table file) ("},
        bad_case{"output_names_a_time_series_file",
                 both(both(change("p.prj", "PLUVOPROJECT\n", "PLUVOPROJECT\nTIME_SERIES_FILE s.ts\n"),
                           [](project_files& f) { f["s.ts"] = "PLUVO_TS\nflow\nABSOLUTE\n2020 6 1 1 0 1.0\n2020 6 1 2 0 2.0\nEND_TS\n"; }),
                      card("RAINFALL_MMPH", "s.ts")),
                 "Error: Card RAINFALL_MMPH names the output file s.ts, which is also the input file s.ts of card "
                 "TIME_SERIES_FILE ("},
        bad_case{"two_outputs_one_file", card("OUTLET_HYDRO", "p.sum"),
                 "Error: Card OUTLET_HYDRO names the output file p.sum, which is also the output file p.sum of card "
                 "SUMMARY ("},
        // Sizes checked before memory is taken.
        bad_case{"negative_rows", card("ROWS", "-3"), std::string("Error: Project card ROWS gives -3; ") + grid_range},
        bad_case{"rows_of_a_billion", card("ROWS", "1000000000"),
                 std::string("Error: Project card ROWS gives 1000000000; ") + grid_range},
        bad_case{"a_grid_too_large", both(card("ROWS", "50000"), card("COLS", "50000")),
                 std::string("Error: Project card ROWS x COLS gives 50000 x 50000; ") + grid_range},
        bad_case{"a_grid_the_mask_cannot_hold", both(card("ROWS", "10000"), card("COLS", "10000")),
                 "Error: Map m.msk holds 86 bytes, too few for the 10000 x 10000 values of ROWS and COLS (at least "
                 "199999999 bytes).\n"},
        bad_case{"gauge_counts_the_file_cannot_hold", change("p.gag", "NRGAG 2\nNRPDS 3", "NRGAG 10000\nNRPDS 10000000"),
                 "ask for at least 200120000000 bytes of records, but only 146 bytes are left in the precipitation "
                 "file p.gag.\n"},
        // Numbers checked where they are read.
        bad_case{"timestep_nan", card("TIMESTEP", "nan"),
                 "Error: Project card TIMESTEP gives nan; the time step must be a number of seconds above 0 and at "
                 "most 120 (the run length, TOT_TIME).\n"},
        bad_case{"timestep_of_years", card("TIMESTEP", "1e9"),
                 "Error: Project card TIMESTEP gives 1e+09; the time step must be a number of seconds above 0 and "
                 "at most 120 (the run length, TOT_TIME).\n"},
        bad_case{"timestep_negative", card("TIMESTEP", "-30"), "Error: Project card TIMESTEP gives -30; "},
        bad_case{"hydrograph_interval_no_step_count_can_hold", card("HYD_FREQ", "1e12"),
                 "Error: Project card HYD_FREQ gives 1e+12; the interval must be a number of minutes up to 1e+09 at "
                 "this time step.\n"},
        bad_case{"tot_time_zero", card("TOT_TIME", "0"),
                 "Error: Project card TOT_TIME gives 0; the run length must be a whole number of minutes of at least "
                 "1.\n"},
        bad_case{"tot_time_negative", card("TOT_TIME", "-5"), "Error: Project card TOT_TIME gives -5; "},
        bad_case{"tot_time_nan", card("TOT_TIME", "nan"), "Error: Project card TOT_TIME gives 0; "},
        bad_case{"rain_duration_negative",
                 both(change("p.prj", "PRECIP_FILE p.gag\n", "RAIN_INTENSITY 10\nSTART_DATE 2020 6 1\n"),
                      card("RAIN_DURATION", "-30")),
                 "Error: Project card RAIN_DURATION gives -30; the rain duration must be a number of minutes of at "
                 "least 0.\n"},
        bad_case{"area_reduction_in_percent", change("a.map", "0.1 0.1 0.1 0.1\n0.1", "100 100 100 100\n0.1"),
                 "Error: The area reduction fraction 100 of cell 1 (row 1, column 2) from map a.map is outside the "
                 "range 0 to 1.\n"},
        bad_case{"porosity_above_one", change("p.map", "0.4 0.4 0.4 0.4\n0.4 0.4", "0.4 0.4 0.4 0.4\n0.4 1.5"),
                 "Error: The porosity 1.5 of cell 4 (row 2, column 2) from map p.map is outside the range 0 to below "
                 "1.\n"},
        bad_case{"overland_scheme_unknown", card("OVERTYPE", "7"),
                 "Error: Project card OVERTYPE gives 7; the overland scheme must be 1 or explicit, 2 or ade, 3 or "
                 "ade-pc.\n"},
        bad_case{"outslope_inf", card("OUTSLOPE", "inf"),
                 "Error: Project card OUTSLOPE gives inf; the outlet slope must be a finite number above 0.\n"},
        bad_case{"elevation_no_data_inside_the_mask", change("m.ele", "9 8 7 8", "9 8 -9999 8"),
                 "Error: The elevation -9999 m of cell 5 (row 2, column 3) from map m.ele is outside the range -1000 "
                 "m to 10000 m.\n"},
        bad_case{"elevation_float_no_data_inside_the_mask", change("m.ele", "9 8 7 8", "9 8 -3.4e38 8"),
                 "Error: The elevation -3.4e+38 m of cell 5 (row 2, column 3) from map m.ele"},
        bad_case{"gauge_coordinate_nan", change("p.gag", "COORD 1030 1010", "COORD nan 1010"),
                 "ERROR: the COORD card of gauge 2 of the event entitled:\n   \"test storm\"\nin the precipitation "
                 "file p.gag gives x nan and y 1010; both must be finite numbers.\n"},
        bad_case{"start_month_13", card("START_DATE", "2020 13 1"),
                 std::string("Error: Project card START_DATE/START_TIME gives 2020 13 1 0:00; ") + date_range},
        bad_case{"start_on_30_february", card("START_DATE", "2021 2 30"),
                 std::string("Error: Project card START_DATE/START_TIME gives 2021 2 30 0:00; ") + date_range},
        bad_case{"start_hour_25", both(card("START_DATE", "2020 6 1"), card("START_TIME", "25 0")),
                 std::string("Error: Project card START_DATE/START_TIME gives 2020 6 1 25:00; ") + date_range},
        bad_case{"start_minute_61", both(card("START_DATE", "2020 6 1"), card("START_TIME", "10 61")),
                 std::string("Error: Project card START_DATE/START_TIME gives 2020 6 1 10:61; ") + date_range},
        bad_case{"start_year_minus_5", card("START_DATE", "-5 6 1"),
                 std::string("Error: Project card START_DATE/START_TIME gives -5 6 1 0:00; ") + date_range},
        bad_case{"end_year_at_the_integer_limit", card("END_TIME", "2147483647 1 1 0 0"),
                 std::string("Error: Project card END_TIME gives 2147483647 1 1 0:00; ") + date_range},
        bad_case{"gauge_time_13_75", change("p.gag", "10 10 2.0", "13 75 2.0"),
                 "ERROR: record 2 of the event entitled:\n   \"test storm\"\nin the precipitation file p.gag is dated "
                 "2020/6/1 13:75, which is not a real date and time of day (years 1 to 9999, hours 0 to 23, minutes "
                 "0 to 59).\n"},
        // Grids read whole and on the mask's grid.
        bad_case{"real_row_short_of_one_value", change("m.ele", "9 8 7 8", "9 8 7"),
                 "Error: Row 2 of map m.ele holds 3 values; the map has 4 columns.\n"},
        bad_case{"elevation_5_km_from_the_mask", change("m.ele", "north: 1030\nsouth: 1000", "north: 6030\nsouth: 6000"),
                 "Error: The edges of map m.ele (north 6030.00, south 6000.00, east 1040.00, west 1000.00) differ from "
                 "the watershed mask's (north 1030.00, south 1000.00, east 1040.00, west 1000.00) by more than 0.1 "
                 "m.\n"},
        bad_case{"elevation_of_another_cell_size", change("m.ele", "east: 1040", "east: 1080"),
                 "Error: The edges of map m.ele (north 1030.00, south 1000.00, east 1080.00, west 1000.00) differ"},
        // Records beyond a declared count.
        bad_case{"more_gauge_records_than_nrpds", change("p.gag", "NRPDS 3", "NRPDS 2"),
                 "ERROR: the event entitled:\n   \"test storm\"\nin the precipitation file p.gag declares NRPDS 2 "
                 "records, but more records follow them.\n"},
        bad_case{"record_with_more_values_than_gauges", change("p.gag", "10 10 2.0 1.0", "10 10 2.0 1.0 4.0"),
                 "ERROR: record 3 of the event entitled:\n   \"test storm\"\nin the precipitation file p.gag begins "
                 "with \"4.0\", not GAGES, RATES, ACCUM or RADAR.\n"},
        // A command line whose count or option is not valid.
        bad_case{"batch_count_minus_one", [](project_files&) {},
                 "Error: The run count -1 of option -b-1 is outside 1 to 1000000; nothing was run.\n", "-b-1"},
        bad_case{"unknown_option", [](project_files&) {},
                 "Error: Unknown option -z on the command line; nothing was run.\n", "-z"},
        // Messages that name what is wrong.
        bad_case{"negative_retention", card("RETENTION", "-5"),
                 "Error: Project card RETENTION gives -5; the retention depth must be a number of mm from 0 to "
                 "10000.\n"},
        bad_case{"empty_mapping_table_file",
                 both(change("p.prj", "MOISTURE w.map\n", "MAPPING_TABLE e.cmt\n"),
                      [](project_files& f) { f["e.cmt"] = ""; }),
                 "Error: The soil moisture file is needed but no card MOISTURE names it, and the mapping-table file "
                 "e.cmt holds no table that gives it.\n"},
        bad_case{"huge_negative_elevation", change("m.ele", "9 7 6 9", "9 7 -1e30 9"),
                 "Error: The elevation -1e+30 m of cell 8 (row 3, column 3) from map m.ele is outside the range "
                 "-1000 m to 10000 m.\n"}),
    [](const testing::TestParamInfo<bad_case>& i) { return std::string(i.param.name); });

// A reader that stops the run with its own text writes it to the console and to the run summary
// already open, in one piece, with exit status 1.
TEST(BadProject, AReadersStopMessageReachesTheSummary) {
  struct stop_case {
    const char* name;
    std::function<void(project_files&)> mutate;
    const char* message;
  };
  const stop_case cases[] = {
      {"grid size", card("GRIDSIZE", "11"),
       "\nThe grid size specified in the project file: 11.0000 m differs from\n"
       "the north-south dimension of the raster grid cells 10.0000 m as calculated\n"
       "from the WATERSHED_MASK header.  Check your data to make sure they agree.\n"
       "PLUVO terminating.\n\n"},
      {"gauge count", change("p.gag", "NRGAG 2", "NRGAG 0"),
       "\nERROR: the NRGAG card of the event entitled:\n   \"test storm\"\n"
       "in the precipitation file p.gag gives 0; it must lie between 1 and "},
  };
  for (const stop_case& c : cases) {
    scratch_dir dir;
    project_files files = good_project();
    c.mutate(files);
    for (const auto& [name, text] : files) write_file(name, text);
    int status = -1;
    const std::string out = run_command(std::string(PLUVO_BINARY) + " p.prj 2>/dev/null", status);
    EXPECT_EQ(status, 1) << c.name << "\n" << out;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.name << "\n" << out;
    EXPECT_NE(read_file("p.sum").find(c.message), std::string::npos) << c.name << "\n" << read_file("p.sum");
  }
}

}  // namespace
