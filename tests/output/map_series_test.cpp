// The gridded output forms byte for byte on a 2 x 3 grid with one inactive cell, and the writer
// of one gridded series.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "output/map_series.hpp"
#include "output/output_phases.hpp"
#include "record/model_state.hpp"
#include "output/written_file.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::read_file;

// Row 1: active, active, inactive; row 2 all active; values 1..5 in row-major order.
struct small_grid {
  pluvo::grid<int32_t> mask{2, 3, 0};
  double values[6] = {0.0, 0.5, 1.25, 2.0, 3.5, 10.0};
  small_grid() {
    int k = 0;
    for (int r = 1; r <= 2; r++)
      for (int c = 1; c <= 3; c++)
        if (!(r == 1 && c == 3)) mask(r, c) = ++k;
  }
};

using pluvo_test::hex;
using pluvo_test::written;

TEST(MapSeries, TextFormsAreByteExact) {
  pluvo_test::scratch_dir dir;
  small_grid g;
  struct form {
    const char* what;
    std::string text;
    std::string expected;
  };
  const form forms[] = {
      {"ASCII grid", written([&](std::FILE* f) {
         pluvo::write_ascii_grid_header(f, g.mask, 30, 10, 30, 0, 2, 3, g.values, 10);
       }),
       "ncols \t3\nnrows \t2\nxllcenter      5.00\nyllcenter     15.00\ncellsize     10.00\n"
       "NODATA_value -9999.99\n0.5000 1.2500 -9999.9900 \n2.0000 3.5000 10.0000 \n"},
      {"GRASS grid", written([&](std::FILE* f) { pluvo::write_grass_header(f, g.mask, 30, 10, 30, 0, 2, 3, g.values); }),
       "north:     30.00\nsouth:     10.00\neast:     30.00\nwest:      0.00\nrows:     2\ncols:     3\n"
       "0.500000 1.250000 0.000000 \n2.000000 3.500000 10.000000 \n"},
      {"ASCII step", written([&](std::FILE* f) {
         pluvo::write_map_step_record(f, 60.0, 2, 3, g.mask, g.values, false);
         pluvo::write_dataset_end(f, false);
       }),
       "TS 1 60.000000\n1\n1\n0\n1\n1\n1\n0.500000\n1.250000\n0.000000\n2.000000\n3.500000\n10.000000\nENDDS\n"},
  };
  for (const form& f : forms) EXPECT_EQ(f.text, f.expected) << f.what;

  pluvo::checked_file file;
  ASSERT_TRUE(pluvo::write_ascii_dataset_header("a.dat", file, 1010, "depth", 2, 3));
  pluvo::checked_file_close(file);
  EXPECT_EQ(read_file("a.dat"), "DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1010\nND 6\nNC 6\nNAME depth\n");
}

TEST(MapSeries, BinaryFormsAreByteExactLittleEndian) {
  pluvo_test::scratch_dir dir;
  small_grid g;
  pluvo::checked_file file;
  ASSERT_TRUE(pluvo::write_binary_dataset_header("b.dat", file, 1010, "depth", 2, 3));
  pluvo::checked_file_close(file);
  // The 40-byte name is the name and zero bytes, nothing from beyond it.
  EXPECT_EQ(hex(read_file("b.dat")),
            "b80b0000" "64000000" "04000000" "6e000000" "08000000" "78000000" "02000000" "82000000"
            "a0000000" "f2030000" "aa000000" "06000000" "b4000000" "06000000" "be000000"
            "6465707468" + std::string(70, '0'));
  const std::string step = written([&](std::FILE* f) {
    pluvo::write_map_step_record(f, 60.0, 2, 3, g.mask, g.values, true);
    pluvo::write_dataset_end(f, true);
  });
  EXPECT_EQ(hex(step),
            "c8000000" "0100" "0000000000004e40"
            "0100" "0100" "0000" "0100" "0100" "0100"
            "000000000000e03f" "000000000000f43f" "0000000000000000" "0000000000000040" "0000000000000c40"
            "0000000000002440"
            "d2000000");
}

// A writer filled as its owners fill it, over the small grid.
void fill(pluvo::map_series_writer& w, const small_grid& g) {
  pluvo::map_series_writer_init(w);
  w.values = g.values;
  w.cell_map = &g.mask;
  w.rows = 2;
  w.cols = 3;
  w.north = 30;
  w.south = 10;
  w.east = 30;
  w.west = 0;
  w.cell_size = 10;
}

TEST(MapSeries, DatasetOfThreeStepsEndsWithItsEndMark) {
  pluvo_test::scratch_dir dir;
  small_grid g;
  auto m = std::make_unique<pluvo::model_state>();
  for (int type : {2, 3}) {
    pluvo::map_series_writer w;
    fill(w, g);
    const std::string name = "d" + std::to_string(type);
    pluvo::map_series_writer_open(w, type, name, ".conc", ".asc", 5000, "conc_01", *m);
    for (double t : {1.0, 2.0, 3.0}) pluvo::map_series_write_step(w, t);
    pluvo::write_dataset_end(w.file.stream, type == 3);
    pluvo::map_series_writer_close(w);
    const std::string text = read_file(name + ".conc");
    if (type == 2) {
      EXPECT_EQ(text.rfind("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 5000\nND 6\nNC 6\nNAME conc_01\nTS 1 1.000000\n", 0), 0u);
      EXPECT_EQ(text.size() - text.rfind("ENDDS\n"), 6u);
      size_t steps = 0;
      for (size_t at = text.find("TS 1 "); at != std::string::npos; at = text.find("TS 1 ", at + 1)) steps++;
      EXPECT_EQ(steps, 3u);
    } else {
      // Header 15 x 4 + 40 bytes, three steps of 4 + 2 + 8 + 6 x (2 + 8) bytes, the end code.
      ASSERT_EQ(text.size(), 100u + 3u * 74u + 4u);
      EXPECT_EQ(hex(text.substr(text.size() - 4)), "d2000000");
    }
  }
}

TEST(MapSeries, GridPerOutputTimeIsNumberedUnderItsDirectory) {
  pluvo_test::scratch_dir dir;
  std::filesystem::create_directories("maps");
  small_grid g;
  auto m = std::make_unique<pluvo::model_state>();
  struct naming {
    const char* directory;
    const char* first;
  };
  const naming cases[] = {{"", "p.conc.0001.asc"}, {"maps", "maps/p.conc.0001.asc"},
                          {"maps/", "maps/p.conc.0001.asc"}, {"maps\\", "maps/p.conc.0001.asc"}};
  for (const naming& c : cases) {
    pluvo::map_series_writer w;
    fill(w, g);
    pluvo::map_series_writer_open(w, 1, c.directory, ".conc", ".asc", 5000, "p", *m);
    EXPECT_FALSE(w.file.is_open()) << "no dataset file for numbered grids";
    const std::string out = pluvo::printed_by([&] {
      pluvo::map_series_write_step(w, 1.0);
      pluvo::map_series_write_step(w, 2.0);
    });
    const std::string first = c.first;
    const std::string second = first.substr(0, first.size() - 8) + "0002.asc";
    EXPECT_EQ(read_file(first).substr(0, 13), "ncols \t3\nnrow") << c.directory;
    EXPECT_TRUE(std::filesystem::exists(second)) << second;
    EXPECT_EQ(out.rfind("opening file ", 0), 0u) << out;
    std::filesystem::remove(first);
    std::filesystem::remove(second);
  }
}

TEST(MapSeries, OutputTypeFourWritesNothing) {
  pluvo_test::scratch_dir dir;
  small_grid g;
  auto m = std::make_unique<pluvo::model_state>();
  pluvo::map_series_writer w;
  fill(w, g);
  pluvo::map_series_writer_open(w, 4, "x", ".conc", ".asc", 5000, "p", *m);
  const std::string out = pluvo::printed_by([&] { pluvo::map_series_write_step(w, 1.0); });
  EXPECT_EQ(out, "");
  EXPECT_FALSE(std::filesystem::exists("x.conc"));
  EXPECT_FALSE(std::filesystem::exists("xp.conc.0001.asc"));
  EXPECT_FALSE(std::filesystem::exists("x/p.conc.0001.asc"));
}

TEST(MapSeries, UnopenableGridStopsTheRunWithItsName) {
  pluvo_test::scratch_dir dir;
  small_grid g;
  auto m = std::make_unique<pluvo::model_state>();
  pluvo::map_series_writer w;
  fill(w, g);
  pluvo::map_series_writer_open(w, 1, "no_such_folder", ".conc", ".asc", 5000, "p", *m);
  pluvo::error_state = pluvo::error_state_record();
  const std::string out = pluvo::printed_by([&] { pluvo::map_series_write_step(w, 1.0); });
  EXPECT_NE(out.find("Can't open map for writing: no_such_folder/p.conc.0001.asc\n"), std::string::npos) << out;
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  pluvo::error_state = pluvo::error_state_record();
}

TEST(MapSeries, UnopenableDatasetHeaderSetsCode59WithThePath) {
  pluvo_test::scratch_dir dir;
  pluvo::error_state = pluvo::error_state_record();
  pluvo::checked_file file;
  pluvo::printed_by([&] { EXPECT_FALSE(pluvo::write_ascii_dataset_header("no_such/d.dat", file, 1, "n", 2, 3)); });
  EXPECT_EQ(pluvo::error_state.error_code, 59);
  EXPECT_EQ(pluvo::error_state.error_file_name, "no_such/d.dat");
  pluvo::error_state = pluvo::error_state_record();
}

}  // namespace

namespace {

// Row sums of two 2 x 3 sources and their difference, formed before each step.
TEST(MapSeries, AccumulationSumsRowsAndTheirDifference) {
  const double a1[] = {0, 1, 2, 3}, a2[] = {0, 4, 5, 6}, b1[] = {0, 0.5, 0.5, 0.5}, b2[] = {0, 1, 1, 1};
  const double* a[] = {nullptr, a1, a2};
  const double* b[] = {nullptr, b1, b2};
  pluvo::map_series_writer w;
  w.accumulate_on = 1;
  w.difference_on = 1;
  w.outer_count = 2;
  w.inner_count = 3;
  w.source_a = a;
  w.source_b = b;
  pluvo::map_series_write_step(w, 0.0);  // no grid: only the accumulation
  EXPECT_EQ(w.sum_a, (std::vector<double>{0, 6, 15}));
  EXPECT_EQ(w.sum_b, (std::vector<double>{0, 1.5, 3}));
  EXPECT_EQ(w.difference, (std::vector<double>{0, 4.5, 12}));
}

}  // namespace
