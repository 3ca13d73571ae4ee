#include <gtest/gtest.h>

#include "common/printed.hpp"
#include "input/mapping_tables.hpp"
#include "input/stream_tables.hpp"
#include "table_fixture.hpp"

namespace {

using namespace pluvo;
using pluvo_test::table_row;
using pluvo_test::write_file;

// Three links of 2, 4 and 1 nodes.
struct small_network {
  std::vector<int32_t> nx{0, 2, 4, 1};
  stream_network_shape shape{3, 4, &nx};
};

void clear_errors() {
  error_state = error_state_record();
  error_log_file = nullptr;
}

std::string stream_map(const std::string& links_line, const std::string& values) {
  return "STREAM_MAP\n" + links_line + "\n" + values;
}

TEST(StreamTableKeywords, CodesComparedOverTheirOwnLength) {
  const struct {
    const char* line;
    int code;
  } cases[] = {
      {"ROUGHNESS chan", 1},     {"TVX_N chan", 2},  {"TVX_P chan", 3},         {"TVX_C chan", 4},
      {"TVX_OTH chan", 5},       {"TVX_OTHER x", 5}, {"DISPERSION chan", 6},     {"DISPERSAL x", 6},
      {"NUM_IDS 3", 37},         {"ST_INDEX_MAP a b", 38}, {"tvx_n chan", 0}, {"ROUGH chan", 0},
      {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(stream_table_line_code(c.line), c.code) << c.line;
  EXPECT_EQ(stream_table_card_code("ROUGHNESS chan"), 0);  // callers test ROUGHNESS themselves
  EXPECT_EQ(stream_table_card_label(2), "TVX_N (Stream)");
  EXPECT_EQ(stream_table_card_label(38), "ST_INDEX_MAP (Stream)");
}

TEST(StreamMap, FlatIndexIsStrideTimesLinkPlusNode) {
  pluvo_test::scratch_dir dir;
  small_network net;
  write_file("s.map", stream_map("NLINKS 3", "1.5\n2.5\n3.5\n"));
  std::vector<double> values(net.shape.flat_size(), -1.0);
  ASSERT_EQ(read_stream_map("s.map", net.shape, nullptr, &values, 2), 0);
  EXPECT_EQ(net.shape.at(2, 3), 13u);
  EXPECT_EQ(values[13], 2.5);
  EXPECT_EQ(values[10], -1.0);  // link 2, node 0 belongs to no node
  EXPECT_EQ(values[15], -1.0);  // link 3 has one node only
  const std::vector<double> expected{-1, -1, -1, -1, -1, -1, 1.5, 1.5, -1, -1, -1, 2.5, 2.5, 2.5, 2.5, -1, 3.5, -1, -1, -1};
  EXPECT_EQ(values, expected);
}

TEST(StreamMap, FailuresBecomeCodes115To118) {
  pluvo_test::scratch_dir dir;
  std::vector<int32_t> nx(46, 2);
  const stream_network_shape shape{45, 2, &nx};
  std::string forty_four, forty_five;
  for (int l = 1; l <= 44; ++l) forty_four += "1\n";
  forty_five = forty_four + "1\n";
  const struct {
    const char* label;
    std::string text;  // empty: no file
    int result;
  } cases[] = {
      {"missing", "", -1},
      {"header", "STREAMMAP\nNLINKS 45\n" + forty_five, -2},
      {"44 links", stream_map("NLINKS 44", forty_five), -3},
      {"44 values", stream_map("NLINKS 45", forty_four), -4},
      {"bad value", stream_map("NLINKS 45", "x\n" + forty_four), -4},
      {"good", stream_map("NLINKS 45", forty_five), 0},
  };
  const int codes[] = {115, 116, 117, 118, 118, 0};
  int i = 0;
  for (const auto& c : cases) {
    std::remove("m.map");
    if (!c.text.empty()) write_file("m.map", c.text);
    std::vector<int32_t> ids;
    EXPECT_EQ(read_stream_map("m.map", shape, &ids, nullptr, 0), c.result) << c.label;
    EXPECT_EQ(stream_map_error_code(c.result), codes[i++]) << c.label;
  }
}

std::string stream_file(const std::string& blocks) {
  return "PLUVO_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP s.map chan classes\n" + blocks;
}

std::string tvx_p_block() {
  return "TVX_P chan classes\nNUM_IDS 2\nID    DESCRIPTION   A  B  C\n" + table_row(1, "0.1 0.2 0.3") +
         table_row(2, "1.1 1.2 1.3");
}

TEST(StreamIndexMapTables, SpreadsTheGivenColumnsOntoEveryNode) {
  pluvo_test::scratch_dir dir;
  clear_errors();
  small_network net;
  write_file("st.cmt", stream_file(tvx_p_block()));
  write_file("s.map", stream_map("NLINKS 3", "2\n0\n1\n"));
  std::vector<double> a(net.shape.flat_size(), -1.0), b(net.shape.flat_size(), -1.0);
  ASSERT_EQ(read_stream_index_map_tables("st.cmt", stream_table::tvx_p, {&a, &b, nullptr, nullptr}, net.shape), 1);
  EXPECT_EQ(error_state.error_code, 0);
  EXPECT_EQ(a[6], 1.1);
  EXPECT_EQ(a[7], 1.1);
  EXPECT_EQ(b[7], 1.2);
  EXPECT_EQ(a[11], -1.0);  // class 0 keeps what the array held
  EXPECT_EQ(a[16], 0.1);
  EXPECT_EQ(b[16], 0.2);
}

TEST(StreamIndexMapTables, MissingTablesAndMapsStopWithTheirCodes) {
  pluvo_test::scratch_dir dir;
  small_network net;
  write_file("s.map", stream_map("NLINKS 3", "2\n0\n1\n"));
  write_file("short.map", stream_map("NLINKS 2", "2\n0\n"));
  const std::string no_entries =
      "\nProblem reading mapping table file -- no entries found in table TVX_P (Stream) (NUM_IDS is 0)\n";
  const struct {
    const char* label;
    std::string file;
    std::string printed;
  } cases[] = {
      {"grid tables only", "PLUVO_INDEX_MAP_TABLES\nST_INDEX_MAP s.map chan classes\n" + tvx_p_block(), no_entries},
      {"no block", stream_file("TVX_N chan classes\nNUM_IDS 1\nhdr\n" + table_row(1, "1 2 3 4")), no_entries},
      {"header on the last line", stream_file("TVX_P chan classes\n"), no_entries},
      {"NUM_IDS 0", stream_file("TVX_P chan classes\nNUM_IDS 0\n"), no_entries},
      {"quoted name", "PLUVO_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP s.map \"chan classes\"\n" + tvx_p_block(),
       no_entries},
      {"map link count", "PLUVO_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP short.map chan classes\n" + tvx_p_block(),
       "\nNLINKS or MAXNODES card in stream map file does not match channel input file (file: short.map)\n"},
      {"no map", "PLUVO_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP none.map chan classes\n" + tvx_p_block(),
       "Error getting new filename from none.map\n\nUnable to open stream map file none.map\n"},
      {"no table file", "", "Error getting new filename from absent.cmt\n\nUnable to open Mapping Table file: absent.cmt\n"},
  };
  for (const auto& c : cases) {
    clear_errors();
    std::remove("st.cmt");
    if (!c.file.empty()) write_file("st.cmt", c.file);
    std::vector<double> a;
    const std::string out = printed_by([&] {
      const std::string name = c.file.empty() ? "absent.cmt" : "st.cmt";
      EXPECT_EQ(read_stream_index_map_tables(name, stream_table::tvx_p, {&a, nullptr, nullptr, nullptr}, net.shape), 0)
          << c.label;
    });
    EXPECT_EQ(out, c.printed) << c.label;
    EXPECT_EQ(error_state.error_terminate, 1) << c.label;
  }
}

TEST(StreamIndexMapTables, IdsAndNodeCountsOutsideTheTableOrStrideAreRefused) {
  pluvo_test::scratch_dir dir;
  write_file("st.cmt", stream_file(tvx_p_block()));
  const struct {
    const char* label;
    std::string map;
    std::vector<int32_t> nx;
    const char* message;
  } cases[] = {
      {"id above the table", "3\n0\n1\n", {0, 2, 4, 1},
       "Error: stream map file s.map gives link 1 the class id 3, outside 0 to 2\n"},
      {"negative id", "1\n-1\n1\n", {0, 2, 4, 1},
       "Error: stream map file s.map gives link 2 the class id -1, outside 0 to 2\n"},
      {"node count above the stride", "1\n1\n1\n", {0, 2, 5, 1}, "Error: stream link 2 has 5 nodes, outside 0 to 4\n"},
  };
  for (const auto& c : cases) {
    clear_errors();
    write_file("s.map", stream_map("NLINKS 3", c.map));
    const stream_network_shape shape{3, 4, &c.nx};
    std::vector<double> a(shape.flat_size(), -1.0);
    const std::vector<double> before = a;
    const std::string out = printed_by([&] {
      EXPECT_EQ(read_stream_index_map_tables("st.cmt", stream_table::tvx_p, {&a, nullptr, nullptr, nullptr}, shape), 0);
    });
    EXPECT_EQ(out, std::string(c.message) + "\n") << c.label;
    EXPECT_EQ(error_state.error_terminate, 1) << c.label;
    EXPECT_EQ(a, before) << c.label;
  }
}

TEST(StreamTableCheck, PrintsEveryRowAndSetsTheFlags) {
  pluvo_test::scratch_dir dir;
  clear_errors();
  write_file("s.map", stream_map("NLINKS 3", "1\n1\n1\n"));
  write_file("st.cmt", "PLUVO_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP s.map chan\nST_INDEX_MAP gone.map other\n"
                       "ROUGHNESS chan\nNUM_IDS 1\nhdr\n" + table_row(1, "0.03") +
                       "TVX_C other\nNUM_IDS 1\nhdr\n" + table_row(1, "1 2") +
                       "DISPERSION chan\nNUM_IDS 1\nhdr\n" + table_row(1, "5"));
  int presence[6] = {9, 9, 9, 9, 9, 9};
  const std::string out = printed_by([&] { print_stream_index_tables("st.cmt", presence, 0); });
  EXPECT_EQ(out,
            "\nChecking stream mapping table file...\n"
            "  Roughness..........................Y\n"
            "  TVX Nitrogen.......................N\n"
            "  TVX Phosphorus.....................N\n"
            "Error getting new filename from gone.map\n"  // the carbon block's map is missing
            "  TVX Carbon.........................N\n"
            "  TVX Other..........................N\n"
            "  Dispersion.........................Y\n");
  const int expected[6] = {1, 0, 0, 0, 0, 1};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(presence[i], expected[i]) << i;
  EXPECT_EQ(error_state.error_code, 0);

  write_file("grid.cmt", "PLUVO_INDEX_MAP_TABLES\nST_INDEX_MAP s.map chan\nROUGHNESS chan\nNUM_IDS 1\n");
  EXPECT_EQ(printed_by([&] { print_stream_index_tables("grid.cmt", presence, 1); }), "");
  for (int flag : presence) EXPECT_EQ(flag, 0);
}

}  // namespace
