#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "common/printed.hpp"
#include "record/model_state.hpp"
#include "table_fixture.hpp"

namespace {

using namespace pluvo;
using pluvo_test::table_row;
using pluvo_test::write_file;

const std::string top = "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP m.idx Land\n";

// A 6 x 8 watershed, every cell inside; one well id at row 5, column 7 (cell 39) and id 5 at cell 1.
std::string well_map(int id_at_5_7) {
  std::string ids;
  for (int i = 1; i <= 6; ++i) {
    for (int j = 1; j <= 8; ++j) {
      int id = 0;
      if (i == 5 && j == 7) id = id_at_5_7;
      if (i == 1 && j == 1) id = 5;
      ids += std::to_string(id) + (j == 8 ? "\n" : " ");
    }
  }
  return ids;
}
const char* const six_by_eight = "11111111\n11111111\n11111111\n11111111\n11111111\n11111111\n";

TEST(WellTable, OneEntryPerWellCell) {
  pluvo_test::table_fixture fx(six_by_eight);
  write_file("t.cmt", top + "WELL_TABLE Land\nNUM_IDS 2\nheader\n" + table_row(3, "0 0.002 9") + table_row(5, "2 7 0"));
  write_file("m.idx", fx.map(well_map(3)));
  printed_by([&] { EXPECT_EQ(read_gw_boundary_table(fx.target, "t.cmt"), 1); });
  ASSERT_EQ(well_cell_list.size(), 2u);
  // Newest first: the map is walked row by row, so the cell at row 5 comes last and heads the list.
  EXPECT_EQ(well_cell_list[0].cell, 39);
  EXPECT_EQ(well_cell_list[0].from_series, 0);
  EXPECT_DOUBLE_EQ(well_cell_list[0].rate, 0.002);
  EXPECT_EQ(well_cell_list[0].series_index, 0);
  EXPECT_EQ(well_cell_list[1].cell, 1);
  EXPECT_EQ(well_cell_list[1].from_series, 2);
  EXPECT_EQ(well_cell_list[1].series_index, 7);
  EXPECT_DOUBLE_EQ(well_cell_list[1].rate, 0.0);
}

TEST(WellTable, AWellIdWithoutARowStopsTheRunNamingItsCell) {
  for (int id : {4, 9}) {  // between the table's ids, and above the largest
    pluvo_test::table_fixture fx(six_by_eight);
    write_file("t.cmt", top + "WELL_TABLE Land\nNUM_IDS 2\nheader\n" + table_row(3, "0 0.002 0") + table_row(5, "1 2 0"));
    write_file("m.idx", fx.map(well_map(id)));
    int result = -1;
    const std::string out = printed_by([&] { result = read_gw_boundary_table(fx.target, "t.cmt"); });
    EXPECT_EQ(result, 0) << id;
    EXPECT_EQ(error_state.error_terminate, 1) << id;
    EXPECT_NE(out.find("Error: A well was found in the index map (cell [5,7]) that \n  was not found in the well table.\n"),
              std::string::npos)
        << out;
  }
}

struct wetland_read {
  int result = -1;
  int count = 0;
  std::vector<std::array<double, 8>> records;
  std::vector<int32_t> number;
  std::string out;
};

wetland_read read_wetlands(pluvo_test::table_fixture& fx, const std::string& rows, const std::string& ids) {
  write_file("t.cmt", top + "WETLAND_PROPERTIES Land\n" + rows);
  write_file("m.idx", fx.map(ids));
  wetland_read w;
  w.number.assign(size_t(fx.cells) + 1, -1);
  w.out = printed_by([&] { w.result = read_wetland_table(fx.target, "t.cmt", w.count, w.records, w.number); });
  return w;
}

TEST(WetlandTable, NumbersWetlandsInMapOrderAndConvertsUnits) {
  pluvo_test::table_fixture fx("111\n111\n");
  const wetland_read w = read_wetlands(fx,
                                       "NUM_IDS 2\nheader\n" + table_row(3, "10 20 8.64 40 172.8 6 70") +
                                           table_row(7, "100 200 86.4 400 864 0.6 700"),
                                       "7 7 0\n3 0 3\n");
  ASSERT_EQ(w.result, 1);
  EXPECT_EQ(w.count, 2);
  EXPECT_EQ(w.number, (std::vector<int32_t>{-1, 1, 1, 0, 2, 0, 2}));
  ASSERT_EQ(w.records.size(), 8u);  // one record per id up to the largest
  EXPECT_DOUBLE_EQ(w.records[1][0], 0.1);
  EXPECT_DOUBLE_EQ(w.records[1][1], 0.2);
  EXPECT_DOUBLE_EQ(w.records[1][2], 0.001);  // 86.4 per day
  EXPECT_DOUBLE_EQ(w.records[1][3], 0.4);
  EXPECT_DOUBLE_EQ(w.records[1][4], 0.01);
  EXPECT_DOUBLE_EQ(w.records[1][5], 0.0);
  EXPECT_DOUBLE_EQ(w.records[1][6], 0.6);
  EXPECT_DOUBLE_EQ(w.records[1][7], 0.7);
  EXPECT_DOUBLE_EQ(w.records[2][2], 0.0001);
  EXPECT_DOUBLE_EQ(w.records[2][4], 0.002);
}

TEST(WetlandTable, RefusesMapsThatDoNotFitTheTable) {
  const struct {
    const char* label;
    std::string rows;
    std::string ids;
    std::string message;
  } cases[] = {
      {"more wetlands in the map than rows",
       "NUM_IDS 2\nheader\n" + table_row(1, "1 1 1 1 1 1 1") + table_row(3, "1 1 1 1 1 1 1"), "1 2 3\n0 0 0\n",
       "There is a problem with the wetlands index map.  It contains\n3 ID's, while the mapping table file contains 2 "
       "ID's.\n"},
      {"largest id above 300", "NUM_IDS 2\nheader\n" + table_row(1, "1 1 1 1 1 1 1") + table_row(301, "1 1 1 1 1 1 1"),
       "1 301 0\n0 0 0\n", "The number of wetland ids specified in the master table file \nis over 300!"},
      {"a row no cell uses",
       "NUM_IDS 3\nheader\n" + table_row(1, "1 1 1 1 1 1 1") + table_row(5, "1 1 1 1 1 1 1") +
           table_row(9, "1 1 1 1 1 1 1"),
       "1 4 9\n0 0 0\n", "Error: wetland id 5 of the WETLAND_PROPERTIES table is not in its index map.\n"},
  };
  for (const auto& c : cases) {
    pluvo_test::table_fixture fx("111\n111\n");
    const wetland_read w = read_wetlands(fx, c.rows, c.ids);
    EXPECT_EQ(w.result, 0) << c.label;
    EXPECT_EQ(error_state.error_terminate, 1) << c.label;
    EXPECT_NE(w.out.find(c.message), std::string::npos) << c.label << "\n" << w.out;
  }
}

TEST(RatingCurves, EachBoundaryCellFindsItsSeriesFromOneReading) {
  pluvo_test::scratch_dir dir;
  pluvo::error_state = pluvo::error_state_record();
  write_file("t.cmt", "PLUVO_INDEX_MAP_TABLES\nRATINGCURVES\nNUM_IDS 3\nid name\n     1 weir_a\n     2 \"weir b\"\n"
                      "     1 weir_c\n");
  const std::vector<std::string> series = {"weir_a", "weir b", "weir_c2"};
  auto finder = [&](const char* name) {
    for (size_t i = 0; i < series.size(); ++i)
      if (series[i].compare(0, std::strlen(name), name) == 0) return int(i);
    return -1;
  };
  std::vector<rating_curve_record> curves;
  EXPECT_EQ(read_rating_curves("t.cmt", 4, {0, 6, 0, 7, 6}, {0, 1, 2, 2.9, 3}, finder, curves), 1);
  ASSERT_EQ(curves.size(), 5u);
  EXPECT_EQ(curves[1].elevation_series, 2);  // the later row of id 1 stands
  EXPECT_EQ(curves[2].elevation_series, -1);  // not a rating-curve boundary
  EXPECT_EQ(curves[3].elevation_series, 1);   // 2.9 truncates to id 2
  EXPECT_EQ(curves[4].elevation_series, -1);  // no row for id 3

  const std::string out = printed_by([&] {
    EXPECT_EQ(read_rating_curves("t.cmt", 1, {0, 6}, {0, 2}, [](const char*) { return -1; }, curves), 0);
  });
  EXPECT_EQ(error_state.error_terminate, 1);
  EXPECT_NE(out.find("Error: The elevation series for a RATING_CURVE card is not found."), std::string::npos);
}

// Two constituents on a 1 x 2 watershed, both on the map "Land".
std::string contaminant_file(const std::string& second_head) {
  return "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP m.idx \"Land\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n"
         "\"Nitrate\" \"Land\" \"no3.out\"\nPRECIP_CONC 0.1\nOV_PARTITION 0.2\nCHAN_PARTITION 0.3\nNUM_IDS 2\nheader\n" +
         table_row(1, "1 2 3 4 5 6 7 8") + table_row(2, "11 12 13 14 15 16 17 18") + second_head +
         "NUM_IDS 2\nheader\n" + table_row(2, "21 22 23 24 25 26 27 28") + table_row(1, "31 32 33 34 35 36 37 38");
}

TEST(ContaminantTable, ReadsEverySectionIntoItsConstituent) {
  pluvo_test::table_fixture fx("11\n");
  write_file("t.cmt", contaminant_file("\"Phosphate\" \"Land\" \"po4.out\"\nPRECIP_CONC 1\nOV_PARTITION 2\n"
                                       "CHAN_PARTITION 3\n"));
  write_file("m.idx", fx.map("2 1\n"));
  std::array<std::vector<std::vector<double>>, 8> arrays;
  std::vector<double> precip, ov, chan;
  contaminant_tables c;
  for (size_t i = 0; i < 8; ++i) c.per_cell[i] = &arrays[i];
  c.precip_conc = &precip;
  c.ov_partition_coef = &ov;
  c.chan_partition_coef = &chan;
  c.cell_count = fx.cells;
  int result = -1;
  const std::string out = printed_by([&] { result = read_contaminant_table(fx.target, "t.cmt", c); });
  const std::string dots_n(28, '.'), dots_p(26, '.');
  const std::string histogram = "In map m.idx category 1 has 1 values\nIn map m.idx category 2 has 1 values\n";
  EXPECT_EQ(out, "\nReading contaminant table...  2 contaminants found\n"
                 "  Checking Nitrate" + dots_n + "  Checking Nitrate" + dots_n + histogram +
                 "found and read index map\n"
                 "  Checking Phosphate" + dots_p + "  Checking Phosphate" + dots_p + histogram +
                 "found and read index map\n");
  ASSERT_EQ(result, 1);
  EXPECT_EQ(c.count, 2);
  EXPECT_EQ(c.descriptions, (std::vector<std::string>{"Nitrate", "Phosphate"}));
  EXPECT_EQ(c.output_file_names, (std::vector<std::string>{"no3.out", "po4.out"}));
  EXPECT_EQ(precip, (std::vector<double>{0.1, 1.0}));
  EXPECT_EQ(ov, (std::vector<double>{0.2, 2.0}));
  EXPECT_EQ(chan, (std::vector<double>{0.3, 3.0}));
  ASSERT_EQ(arrays[0].size(), 2u);
  EXPECT_EQ(arrays[0][0], (std::vector<double>{0.0, 11.0, 1.0}));
  EXPECT_EQ(arrays[7][0], (std::vector<double>{0.0, 18.0, 8.0}));
  EXPECT_EQ(arrays[0][1], (std::vector<double>{0.0, 21.0, 31.0}));
}

TEST(ContaminantTable, ARowNoCellUsesIsRefused) {
  pluvo_test::table_fixture fx("11\n");
  write_file("t.cmt", contaminant_file(""));
  write_file("m.idx", fx.map("2 2\n"));
  std::vector<std::vector<double>> first;
  contaminant_tables c;
  c.per_cell[0] = &first;
  c.cell_count = fx.cells;
  int result = -1;
  const std::string out = printed_by([&] { result = read_contaminant_table(fx.target, "t.cmt", c); });
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.find("Error: contaminant table id 1 of constituent #1 is not in its index map m.idx\n"),
            std::string::npos)
      << out;
}

TEST(ContaminantTable, AWrongLineStopsTheReading) {
  const struct {
    const char* label;
    std::string second_head;
    std::string message;
  } cases[] = {
      {"precipitation line missing", "\"Phosphate\" \"Land\" \"po4.out\"\nOV_PARTITION 2\nCHAN_PARTITION 3\n",
       "Error in reading the precip concentration of constituent #2\n"},
      {"channel partition line missing", "\"Phosphate\" \"Land\" \"po4.out\"\nPRECIP_CONC 1\nOV_PARTITION 2\n",
       "Error in reading the channel partition coefficient of constituent #2\n"},
      {"index map name unmatched", "\"Phosphate\" \"Hills\" \"po4.out\"\nPRECIP_CONC 1\nOV_PARTITION 2\n"
                                   "CHAN_PARTITION 3\n",
       "unable to match index map\n"},
      {"bare name does not match the quoted one", "\"Phosphate\" Land \"po4.out\"\nPRECIP_CONC 1\nOV_PARTITION 2\n"
                                                  "CHAN_PARTITION 3\n",
       "unable to match index map\n"},
  };
  for (const auto& c : cases) {
    pluvo_test::table_fixture fx("11\n");
    write_file("t.cmt", contaminant_file(c.second_head));
    write_file("m.idx", fx.map("1 2\n"));
    std::vector<std::vector<double>> first;
    std::vector<double> precip;
    contaminant_tables t;
    t.per_cell[0] = &first;
    t.precip_conc = &precip;
    t.cell_count = fx.cells;
    int result = -1;
    const std::string out = printed_by([&] { result = read_contaminant_table(fx.target, "t.cmt", t); });
    EXPECT_EQ(result, 0) << c.label;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.label << "\n" << out;
    EXPECT_NE(out.find("\nError reading the contaminant transport tables in the mapping table file.\n"),
              std::string::npos)
        << c.label;
    EXPECT_EQ(first[0], (std::vector<double>{0.0, 1.0, 11.0})) << c.label;  // the first constituent was read
  }
}

TEST(SoilErosionTable, SizeClassCountMustMatchTheSediments) {
  pluvo_test::table_fixture fx("11\n");
  write_file("t.cmt", top + "SOIL_EROSION_PROPS Land\nNUM_IDS 2\nNUM_SED 2\nheader\n" +
                          table_row(1, "1 2 3 4 5 0.25 0.75") + table_row(2, "6 7 8 9 10 0.5 0.5"));
  write_file("m.idx", fx.map("2 1\n"));
  std::vector<double> splash = fx.per_cell(), crit = fx.per_cell(), fine = fx.per_cell(), coarse = fx.per_cell();
  printed_by([&] {
    EXPECT_EQ(read_soil_erosion_table(fx.target, "t.cmt", {&splash, nullptr, nullptr, &crit, nullptr},
                                      {&fine, &coarse}, 2),
              1);
  });
  EXPECT_EQ(splash, (std::vector<double>{0.0, 6.0, 1.0}));
  EXPECT_EQ(crit, (std::vector<double>{0.0, 9.0, 4.0}));
  EXPECT_EQ(fine, (std::vector<double>{0.0, 0.5, 0.25}));
  EXPECT_EQ(coarse, (std::vector<double>{0.0, 0.5, 0.75}));

  const std::string out = printed_by([&] {
    EXPECT_EQ(read_soil_erosion_table(fx.target, "t.cmt", {&splash, nullptr, nullptr, nullptr, nullptr}, {}, 3), 0);
  });
  EXPECT_EQ(out, "\nError: The number of sediments specified in the SEDIMENTS table is 3 while the number of sediments "
                 "\nspecified in the SED_EROS_PROPS table is 2. The values must match.\n");
}

TEST(BmpTable, ContaminantColumnsFollowTheTenFixedOnes) {
  pluvo_test::table_fixture fx("11\n");
  write_file("t.cmt", top + "BMPS Land\nNUM_IDS 2\nNUM_CON 1\nheader\n" + table_row(1, "1 2 3 4 5 6 7 8 9 10 0.5") +
                          table_row(2, "11 12 13 14 15 16 17 18 19 20 0.7"));
  write_file("m.idx", fx.map("1 2\n"));
  std::vector<double> tenth = fx.per_cell(), removal = fx.per_cell();
  printed_by([&] {
    EXPECT_EQ(read_bmp_map_table(fx.target, "t.cmt",
                                 {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &tenth},
                                 {&removal}, 1),
              1);
  });
  EXPECT_EQ(tenth, (std::vector<double>{0.0, 10.0, 20.0}));
  EXPECT_EQ(removal, (std::vector<double>{0.0, 0.5, 0.7}));

  const std::string out = printed_by([&] { EXPECT_EQ(read_bmp_map_table(fx.target, "t.cmt", {}, {}, 2), 0); });
  EXPECT_EQ(out, "Error: The BMPS table of the mapping-table file gives NUM_CON 1, but the model has 2 contaminants. "
                 "The values must match.\n\n");  // the reporter adds its own line
  EXPECT_EQ(error_state.error_terminate, 1);
  EXPECT_EQ(error_state.error_arg1, 2);
  EXPECT_EQ(error_state.error_arg2, 1);
}

TEST(SedimentsTable, ClassesFromColumn41) {
  pluvo_test::scratch_dir dir;
  pluvo::error_state = pluvo::error_state_record();
  char row[2][128];
  std::snprintf(row[0], sizeof row[0], "%-40s%s\n", "fine sand", "2.65, 0.0001\t0.1 \"fine sand.out\"");
  std::snprintf(row[1], sizeof row[1], "%-40s%s\n", "clay 1 2 3", "2.5 0.00001 0.9 clay.out");
  write_file("t.cmt", std::string("PLUVO_INDEX_MAP_TABLES\nSEDIMENTS\nNUM_SED 2\nheader\n") + row[0] + row[1]);
  int count = 0;
  std::vector<double> grav, diam, bind;
  std::vector<std::string> names;
  pluvo::map_table_target none;
  EXPECT_EQ(read_sediments_table(none, "t.cmt", count, grav, diam, names, bind), 1);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(grav, (std::vector<double>{0.0, 2.65, 2.5}));
  EXPECT_EQ(diam, (std::vector<double>{0.0, 0.0001, 0.00001}));
  EXPECT_EQ(bind, (std::vector<double>{0.0, 0.1, 0.9}));
  EXPECT_EQ(names, (std::vector<std::string>{"", "fine sand.out", "clay.out"}));
}

TEST(PrecipConcentration, OptionalLineBeforeTheHeader) {
  const struct {
    const char* label;
    std::string lines;
    std::vector<double> precip;
  } cases[] = {
      {"given", "PRECIP_CONC 1.5 2.5\nheader\n", {9.0, 1.5, 2.5, 0.0}},  // element 0 untouched
      {"missing: the line is the header", "header\n", {9.0, 9.0}},
  };
  for (const auto& c : cases) {
    pluvo_test::table_fixture fx("11\n");
    write_file("t.cmt", top + "TVX_N Land\nNUM_IDS 2\n" + c.lines + table_row(1, "1 2 3 4") + table_row(2, "5 6 7 8"));
    write_file("m.idx", fx.map("2 1\n"));
    std::vector<double> first = fx.per_cell(), fourth = fx.per_cell();
    std::vector<double> precip = {9.0, 9.0};
    printed_by([&] {
      EXPECT_EQ(read_index_map_table(fx.target, "t.cmt", map_table::tvx_n, {&first, nullptr, nullptr, &fourth}, 3,
                                     &precip),
                1);
    });
    EXPECT_EQ(precip, c.precip) << c.label;
    EXPECT_EQ(first, (std::vector<double>{0.0, 5.0, 1.0})) << c.label;
    EXPECT_EQ(fourth, (std::vector<double>{0.0, 8.0, 4.0})) << c.label;
  }
}

}  // namespace

namespace {

TEST(SoilBlockTables, IndexMapThenTheBlockReaderFromAfterTheHeader) {
  pluvo_test::scratch_dir dir;
  auto m = std::make_unique<pluvo::model_state>();
  pluvo::error_state = pluvo::error_state_record();
  m->project_rows = m->project_cols = 1;
  m->cell_count = 1;
  m->cell_number_grid.resize(1, 1, 0);
  m->cell_number_grid(1, 1) = 1;
  m->soiltype.assign(2, 0);
  m->mapping_table_path = "t.cmt";
  write_file("t.cmt", "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP s.idx Soils\nINDEX_MAP gone.idx Lost\n"
                      "MULTI_LAYER_SOIL Soils\nfirst line of the block\nRICHARDS_EQN_INFILTRATION_BROOKS Lost\n");
  write_file("s.idx", pluvo_test::index_map_text(1, 1, "4\n"));
  std::string seen;
  int result = 0;
  std::string out = printed_by([&] {
    result = read_multilayer_ga_table(*m, [&](checked_file& f) {
      char line[256];
      seen = std::fgets(line, sizeof line, f.stream);
      return 0;  // the block reader found the table wanting
    });
  });
  EXPECT_EQ(seen, "first line of the block\n");
  EXPECT_EQ(m->soiltype[1], 4);
  EXPECT_EQ(result, 0);
  EXPECT_NE(out.find("\nProblems in your multi layer G&A table \nPLUVO termanating \n"), std::string::npos) << out;

  std::string map_file;
  find_richards_index_map("t.cmt", 1, map_file);
  EXPECT_EQ(map_file, "gone.idx");
  out = printed_by([&] { result = read_layered_soil_map_table(*m, 1, [](checked_file&) { return 1; }); });
  EXPECT_EQ(result, -1);
  EXPECT_NE(out.find("\nYou are trying to simulate Richards' Equation soil dynamics but without using a valid soil "
                     "type index map.\nIndex map filename = gone.idx\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(read_layered_soil_map_table(*m, 3, [](checked_file&) { return 1; }), 0);  // no such scheme
}

}  // namespace
