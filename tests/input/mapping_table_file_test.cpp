#include <gtest/gtest.h>

#include "common/line_reader.hpp"
#include "common/printed.hpp"
#include "table_fixture.hpp"

namespace {

using namespace pluvo;
using pluvo_test::table_row;
using pluvo_test::write_file;

TEST(MapTableKeywords, PrefixOrderDecidesAndNamesRoundTrip) {
  const struct {
    const char* line;
    int id;
  } cases[] = {
      {"ROUGHNESS soils", 1},
      {"ROUGHNESSES", 1},  // only the keyword's own length is compared
      {"ROUGH_EXP soils", 33},
      {"roughness soils", 0},  // case-sensitive
      {"NUM_CONTAM 2", 139},
      {"NUM_CON 2", 301},
      {"GROUNDWATER_BOUNDARY soils", 18},
      {"GROUNDWATER soils", 17},
      {"GROUNDWATERX", 17},
      {"RICHARDS_EQN_INFILTRAIION_HAVERCAMP soils", 6},
      {"RICHARDS_EQN_INFILTRATION_HAVERCAMP soils", 0},
      {"TVX_SOIL_N x", 26},
      {"TVX_N x", 20},
      {" ROUGHNESS", 0},
      {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(map_table_card_id(c.line), c.id) << c.line;
  for (int id : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
                 29, 30, 31, 32, 33, 34, 35, 36, 137, 138, 139, 140, 201, 202, 203, 301, 50000, 60000, 60001, 60002})
    EXPECT_EQ(map_table_card_id(map_table_card_name(id).c_str()), id) << id;
  EXPECT_EQ(map_table_card_name(999), "");
}

// Seeks id in text; returns the found flag, the index-map file and the NUM_IDS count after the header.
struct seek_result {
  int found;
  std::string file;
  int num_ids;
};
seek_result seek(const std::string& text, int id) {
  write_file("t.cmt", text);
  checked_file f;
  EXPECT_TRUE(checked_file_open(f, "t.cmt", 'r'));
  seek_result r{};
  r.found = seek_map_table(f, id, r.file);
  if (r.found) r.num_ids = read_num_ids(f);
  return r;
}

TEST(SeekMapTable, FindsTheBlockAndItsIndexMap) {
  pluvo_test::scratch_dir dir;
  const std::string top = "PLUVO_INDEX_MAP_TABLES\n";
  const struct {
    const char* label;
    std::string text;
    int id;
    seek_result expected;
  } cases[] = {
      {"plain", top + "INDEX_MAP soil.idx Soils\nROUGHNESS Soils\nNUM_IDS 3\n", 1, {1, "soil.idx", 3}},
      {"name with inner and trailing blanks", top + "INDEX_MAP soil.idx Land use 2 \nROUGHNESS Land use 2 \nNUM_IDS 2\n",
       1, {1, "soil.idx", 2}},
      {"name differs by a trailing blank", top + "INDEX_MAP soil.idx Land use \nROUGHNESS Land use\nNUM_IDS 2\n", 1,
       {0, "", 0}},
      {"INDEX_MAP after the first block is not seen",
       top + "INDEX_MAP a.idx A\nRETENTION A\nNUM_IDS 1\nINDEX_MAP b.idx B\nROUGHNESS B\nNUM_IDS 2\n", 1, {0, "", 0}},
      {"quoted name matches the same quotes", top + "INDEX_MAP soil.idx \"Soils\"\nROUGHNESS \"Soils\"\nNUM_IDS 4\n", 1,
       {1, "soil.idx", 4}},
      {"quoted name does not match a bare header", top + "INDEX_MAP soil.idx \"Soils\"\nROUGHNESS Soils\nNUM_IDS 4\n",
       1, {0, "", 0}},
      {"quoted file name keeps its blank", top + "INDEX_MAP \"my soil.idx\" Soils\nROUGHNESS Soils\nNUM_IDS 1\n", 1,
       {1, "my soil.idx", 1}},
      {"first of two blocks", top + "INDEX_MAP s.idx S\nROUGHNESS S\nNUM_IDS 5\nROUGHNESS S\nNUM_IDS 6\n", 1,
       {1, "s.idx", 5}},
      {"later INDEX_MAP of one name wins", top + "INDEX_MAP old.idx S\nINDEX_MAP new.idx S\nROUGHNESS S\nNUM_IDS 1\n", 1,
       {1, "new.idx", 1}},
      {"GROUNDWATER_BOUNDARY is not GROUNDWATER",
       top + "INDEX_MAP s.idx S\nGROUNDWATER_BOUNDARY S\nNUM_IDS 7\nGROUNDWATER S\nNUM_IDS 8\n", 17, {1, "s.idx", 8}},
      {"time-series index carries no name", top + "INDEX_MAP s.idx S\nTIME_SERIES_INDEX\nNUM_IDS 2\n", 15, {1, "", 2}},
      {"missing block", top + "INDEX_MAP s.idx S\nROUGHNESS S\nNUM_IDS 1\n", 3, {0, "", 0}},
      {"not a mapping-table file", "PLUVO_INDEX_MAP_TABLE\nINDEX_MAP s.idx S\nROUGHNESS S\nNUM_IDS 1\n", 1,
       {0, "", 0}},
      {"file ends among the INDEX_MAP lines", top + "INDEX_MAP s.idx S", 1, {0, "", 0}},
  };
  for (const auto& c : cases) {
    const seek_result r = seek(c.text, c.id);
    EXPECT_EQ(r.found, c.expected.found) << c.label;
    EXPECT_EQ(r.file, c.expected.file) << c.label;
    EXPECT_EQ(r.num_ids, c.expected.num_ids) << c.label;
  }
}

TEST(TableRows, IdInSixColumnsValuesFromColumn87) {
  pluvo_test::scratch_dir dir;
  const struct {
    const char* label;
    std::string line;
    int result;
    int32_t id;
    std::vector<double> values;
  } cases[] = {
      {"two values", table_row(12, "0.5 7"), 1, 12, {0.5, 7.0}},
      {"numbers in the description are not read", table_row(3, "1\t2", "clay 99 88 77"), 1, 3, {1.0, 2.0}},
      {"tabs and blanks between values", table_row(3, "\t 4   5"), 1, 3, {4.0, 5.0}},
      {"a long description shifts text into the values",
       table_row(4, "1 2", std::string(80, 'x') + "z"), 0, 4, {0.0, 0.0}},
      {"a missing value stays 0", table_row(5, "8"), 0, 5, {8.0, 0.0}},
      {"a row that does not reach column 87", "     6short\n", 0, 6, {0.0, 0.0}},
      {"no id", "   abc" + std::string(80, ' ') + "1 2\n", 0, 0, {0.0, 0.0}},
      {"only the first six columns hold the id", "     12345" + std::string(76, ' ') + "1 2\n", 1, 1, {1.0, 2.0}},
  };
  for (const auto& c : cases) {
    write_file("rows.txt", c.line);
    checked_file f;
    ASSERT_TRUE(checked_file_open(f, "rows.txt", 'r'));
    int32_t id = 0;
    double values[2] = {0.0, 0.0};
    EXPECT_EQ(read_index_table(f, id, 2, values), c.result) << c.label;
    EXPECT_EQ(id, c.id) << c.label;
    EXPECT_EQ(std::vector<double>(values, values + 2), c.values) << c.label;
  }
}

// A 3 x 3 grid with one cell outside the watershed (row 2, column 2): cells 1..8.
const char* const ring = "111\n101\n111\n";

std::string roughness_file(const std::string& rows, const char* map = "m.idx") {
  return std::string("PLUVO_INDEX_MAP_TABLES\nINDEX_MAP ") + map + " Land\nROUGHNESS Land\n" + rows;
}

TEST(GenericTableReader, SpreadsEveryColumnOntoItsCells) {
  pluvo_test::table_fixture fx(ring);
  // Ids 5 and 2 only: cells of id 2 take the second row, ids 1, 3 and 4 have no row and give 0.0.
  write_file("t.cmt", roughness_file("NUM_IDS 2\nid  description\n" + table_row(5, "0.05") + table_row(2, "0.02")));
  write_file("m.idx", fx.map("2 5 1\n5 7 2\n3 2 5\n"));  // the 7 lies outside the watershed
  std::vector<double> n = fx.per_cell();
  const std::string out = printed_by([&] {
    EXPECT_EQ(read_index_map_table(fx.target, "t.cmt", map_table::roughness, {&n}), 1);
  });
  EXPECT_EQ(n, (std::vector<double>{0.0, 0.02, 0.05, 0.0, 0.05, 0.02, 0.0, 0.02, 0.05}));
  EXPECT_EQ(error_state.error_terminate, 0);
  EXPECT_EQ(out,
            "In map m.idx category 1 has 1 values\nIn map m.idx category 2 has 3 values\n"
            "In map m.idx category 3 has 1 values\nIn map m.idx category 5 has 3 values\n");
  EXPECT_DOUBLE_EQ(fx.north, 100.0);
  EXPECT_EQ(fx.rows, 3);
}

TEST(GenericTableReader, OnlyTheGivenOutputsAreFilledAndLaterRowsWin) {
  pluvo_test::table_fixture fx("11\n");
  write_file("t.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP m.idx Soils\nGREEN_AMPT_INFILTRATION Soils\nNUM_IDS 3\n"
                      "header\n" +
                          table_row(1, "1 2 3 4 5 6 7") + table_row(2, "8 9 10 11 12 13 14") +
                          table_row(1, "15 16 17 18 19 20 21"));
  write_file("m.idx", fx.map("1 2\n"));
  std::vector<double> third = fx.per_cell(), seventh = fx.per_cell();
  printed_by([&] {
    EXPECT_EQ(read_index_map_table(fx.target, "t.cmt", map_table::green_ampt_infiltration,
                                   {nullptr, nullptr, &third, nullptr, nullptr, nullptr, &seventh}),
              1);
  });
  EXPECT_EQ(third, (std::vector<double>{0.0, 17.0, 10.0}));
  EXPECT_EQ(seventh, (std::vector<double>{0.0, 21.0, 14.0}));
}

TEST(GenericTableReader, ReportsEachFailureByItsCode) {
  const std::string rows2 = "NUM_IDS 2\nheader\n" + table_row(1, "0.01") + table_row(2, "0.02");
  const struct {
    const char* label;
    std::string table;
    std::string map;  // written as m.idx when not empty
    int result;
    std::string message;
  } cases[] = {
      {"no file", "", "", 0, "\nUnable to open Mapping Table file: none.cmt\n"},
      {"NUM_IDS 0", roughness_file("NUM_IDS 0\nheader\n"), "1 1 1\n1 0 1\n1 1 1\n", 0,
       "\nProblem reading mapping table file -- no entries found in table ROUGHNESS (NUM_IDS is 0)\n"},
      {"no NUM_IDS line", roughness_file("header\n" + table_row(1, "0.01")), "", 0,
       "\nProblem reading mapping table file -- no entries found in table ROUGHNESS (NUM_IDS is 0)\n"},
      {"negative NUM_IDS", roughness_file("NUM_IDS -4\nheader\n"), "", 0,
       "\nProblem reading mapping table file -- no entries found in table ROUGHNESS (NUM_IDS is 0)\n"},
      {"index map missing", roughness_file(rows2, "gone.idx"), "", 0, "\nUnable to open index file gone.idx\n"},
      {"NUM_IDS beyond reason", roughness_file("NUM_IDS 2000000000\nheader\n"), "", 0,
       "Error: NUM_IDS 2000000000 in the mapping-table file t.cmt exceeds the limit 1000000\n"},
      {"id above the table", roughness_file(rows2), "1 1 1\n1 9 1\n1 2 3\n", 1,
       "\nIndex ID exceeds table limit, file: m.idx [row 3:col 3]\n"},
      {"rows and cols", roughness_file(rows2), "header", 1, "\nIncorrect number of rows and columns in map: m.idx\n"},
      {"rows", roughness_file(rows2), "rows", 1, "\nIncorrect number of rows in map: m.idx\n"},
      {"cols", roughness_file(rows2), "cols", 1, "\nIncorrect number of columns in map: m.idx\n"},
      {"map ends early", roughness_file(rows2), "1 1 1\n1 1 1\n1 1\n", 1,
       "\nUnexpected end of file in file: m.idx\n"},
      {"id 0 inside the watershed", roughness_file(rows2), "1 1 1\n0 5 1\n1 1 1\n", 1,
       "Index ID 0 is below 1, file: m.idx [row 2:col 1]\n"},
  };
  for (const auto& c : cases) {
    pluvo_test::table_fixture fx(ring);
    if (!c.table.empty()) write_file("t.cmt", c.table);
    if (c.map == "header")
      write_file("m.idx", pluvo_test::index_map_text(2, 2, "1 1\n1 1\n"));
    else if (c.map == "rows")
      write_file("m.idx", pluvo_test::index_map_text(2, 3, "1 1 1\n1 1 1\n"));
    else if (c.map == "cols")
      write_file("m.idx", pluvo_test::index_map_text(3, 4, "1 1 1 1\n1 1 1 1\n1 1 1 1\n"));
    else if (!c.map.empty())
      write_file("m.idx", fx.map(c.map));
    std::vector<double> n = fx.per_cell();
    int result = -1;
    const std::string out = printed_by([&] {
      result = read_index_map_table(fx.target, c.table.empty() ? "none.cmt" : "t.cmt", map_table::roughness, {&n});
    });
    EXPECT_EQ(result, c.result) << c.label;
    EXPECT_EQ(error_state.error_terminate, 1) << c.label;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.label << "\n" << out;
  }
}

TEST(GenericTableReader, ValuesOutsideTheWatershedAreIgnored) {
  pluvo_test::table_fixture fx(ring);
  write_file("t.cmt", roughness_file("NUM_IDS 1\nheader\n" + table_row(1, "0.03")));
  write_file("m.idx", fx.map("1 1 1\n1 -7 1\n1 1 1\n"));
  std::vector<double> n = fx.per_cell();
  printed_by([&] { EXPECT_EQ(read_index_map_table(fx.target, "t.cmt", map_table::roughness, {&n}), 1); });
  EXPECT_EQ(error_state.error_terminate, 0);
  for (int k = 1; k <= fx.cells; ++k) EXPECT_EQ(n[size_t(k)], 0.03) << k;
}

TEST(GenericTableReader, HistogramGoesToTheSummaryEvenWhenSilent) {
  pluvo_test::table_fixture fx(ring);
  write_file("t.cmt", roughness_file("NUM_IDS 3\nheader\n" + table_row(1, "0.01") + table_row(3, "0.03") +
                                     table_row(2, "0.02")));
  write_file("m.idx", fx.map("1 1 1\n1 0 1\n1 1 3\n"));
  std::FILE* summary = std::fopen("s.sum", "w");
  fx.target.summary_fp = summary;
  fx.target.silent_mode = 1;
  std::vector<double> n = fx.per_cell();
  const std::string out =
      printed_by([&] { read_index_map_table(fx.target, "t.cmt", map_table::roughness, {&n}); });
  std::fclose(summary);
  EXPECT_EQ(out, "");
  EXPECT_EQ(pluvo_test::read_file("s.sum"),
            "In map m.idx category 1 has 7 values\nIn map m.idx category 3 has 1 values\n");
}

TEST(CheckMappingTables, ListsEveryTableByteForByte) {
  pluvo_test::table_fixture fx(ring);
  write_file("t.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP m.idx Land\nINDEX_MAP gone.idx Gone\n"
                      "ROUGHNESS Land\nNUM_IDS 1\nRETENTION Land\nNUM_IDS 1\nINTERCEPTION Gone\nNUM_IDS 1\n"
                      "MULTI_LAYER_SOIL Land\nSEDIMENTS\nNUM_SED 2\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 0\n"
                      "WELL_TABLE Nowhere\nNUM_IDS 1\n");
  write_file("m.idx", fx.map("1 1 1\n1 0 1\n1 1 1\n"));
  int presence[grid_table_presence_size] = {};
  const std::string out = printed_by([&] { check_mapping_tables("t.cmt", presence, 0); });
  EXPECT_EQ(out,
            "\nChecking 2D grid mapping tables...\n"
            "  Roughness..........................Y\n"
            "  Rough_exp..........................N\n"
            "  Ovr_flow_block.....................N\n"
            "Error getting new filename from gone.idx\n"  // the file opener names what it could not find
            "  Interception.......................N\n"
            "  Retention..........................Y\n"
            "  G&A Infiltration...................N\n"
            "  G&A Soil Moisture..................N\n"
            "  Multi layer G&A Infiltration.......Y\n"
            "  Richards Havercamp.................N\n"
            "  Richards Brooks....................N\n"
            "  Evapotranspiration.................N\n"
            "  Snow Canopy Interception...........N\n"
            "  Sediments..........................Y\n"
            "  Sediment Erosion Properties........N\n"
            "  Contaminants.......................N\n"
            "  Wetlands...........................N\n"
            "  Overland Boundary..................N\n"
            "  Groundwater Wells..................N\n"
            "  Groundwater........................N\n"
            "  Groundwater Boundary...............N\n"
            "  Area Reduction.....................N\n"
            "  TVX Nitrogen.......................N\n"
            "  TVX Phosphorus.....................N\n"
            "  TVX Other..........................N\n"
            "  TVX Carbon.........................N\n"
            "  TVX Dispersion.....................N\n"
            "  TVX Soil Carbon....................N\n"
            "  TVX Soil Nitrogen..................N\n"
            "  TVX Soil Phosphorus................N\n"
            "  TVX Groundwater Nitrogen...........N\n"
            "  TVX Groundwater Phosphorus.........N\n"
            "  TVX Groundwater Other..............N\n"
            "  TVX Soil Km........................N\n"
            "  TVX Soil Koc.......................N\n"
            "  BMP Point Models...................N\n"
            "\nUnable to open index file gone.idx\n");  // a table that cannot be used stops the run
  EXPECT_EQ(error_state.error_terminate, 1);
  EXPECT_EQ(presence[map_table::roughness], 1);
  EXPECT_EQ(presence[map_table::retention], 1);
  EXPECT_EQ(presence[map_table::interception], 0);  // its index map does not open
  EXPECT_EQ(presence[presence_slot(map_table::multi_layer_soil)], 1);
  EXPECT_EQ(presence[map_table::sediments], 1);
  EXPECT_EQ(presence[map_table::contaminants], 0);  // NUM_CONTAM 0
  EXPECT_EQ(presence[map_table::wells], 0);         // its name matches no INDEX_MAP line

  int silent[grid_table_presence_size] = {};
  EXPECT_EQ(printed_by([&] { check_mapping_tables("t.cmt", silent, 1); }),
            "Error getting new filename from gone.idx\n\nUnable to open index file gone.idx\n");
  EXPECT_EQ(silent[map_table::roughness], 1);
  const std::string missing = printed_by([&] { check_mapping_tables("none.cmt", silent, 0); });
  EXPECT_EQ(missing, "Error getting new filename from none.cmt\n\nUnable to open Mapping Table file: none.cmt\n");
}

TEST(TimeSeriesIndex, LoadedOncePerRunAndMatchedByPrefix) {
  pluvo_test::table_fixture fx("1\n");
  write_file("series.ts", "PLUVO_TS\ninflow_north\nABSOLUTE\n2020 6 1 0 0 1.0\n2020 6 2 0 0 3.0\nEND_TS\n"
                          "PLUVO_TS\ninflow_south\nABSOLUTE\n2020 6 1 0 0 5.0\n2020 6 2 0 0 5.0\nEND_TS\n");
  printed_by([] { load_time_series_file("series.ts"); });
  write_file("t.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP m.idx Land\nTIME_SERIES_INDEX\nNUM_IDS 3\nid name\n"
                      "     4 inflow_s\n     7 \"inflow\"\n     9 nothing\n"
                      "ROUGHNESS Land\nNUM_IDS 1\nheader\n" +
                          table_row(1, "0.03"));
  write_file("m.idx", fx.map("1\n"));
  std::vector<double> n = fx.per_cell();
  const std::string first =
      printed_by([&] { read_index_map_table(fx.target, "t.cmt", map_table::roughness, {&n}); });
  EXPECT_EQ(first,
            "Adding table to list: inflow_s... Success!\nAdding table to list: inflow... Success!\n"
            "Adding table to list: nothing... Failure, table not found.\nIn map m.idx category 1 has 1 values\n");
  const std::string second =
      printed_by([&] { read_index_map_table(fx.target, "t.cmt", map_table::roughness, {&n}); });
  EXPECT_EQ(second, "In map m.idx category 1 has 1 values\n");
  ASSERT_EQ(time_series_index_list.size(), 3u);
  const double noon = 2459001.5 + 0.5;  // 1 June 2020, 12:00
  EXPECT_DOUBLE_EQ(time_series_value_by_index(4, noon), 5.0);
  EXPECT_DOUBLE_EQ(time_series_value_by_index(7, noon), 2.0);  // the first series of the prefix
}

}  // namespace
