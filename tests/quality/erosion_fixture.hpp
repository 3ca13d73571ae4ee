#pragma once
// A project with overland erosion: a rows x cols grid of 10 m cells whose elevations fall toward
// the outlet at row 1, last column, with a seeded random roughness, and a mapping-table file
// with sand, silt and clay and one soil class.
#include <cstdio>
#include <random>
#include <string>

#include "run/scratch_dir.hpp"

namespace pluvo_test {

inline std::string erosion_grid_header(int rows, int cols) {
  char h[160];
  std::snprintf(h, sizeof h, "north: %d\nsouth: 0\neast: %d\nwest: 0\nrows: %d\ncols: %d\n", rows * 10, cols * 10,
                rows, cols);
  return h;
}

// The sediment classes and the erosion properties of soil class 1 of the index map named map.
inline std::string erosion_table_blocks(const std::string& map = "Land") {
  const char* rows[3][2] = {{"sand", "2.65 0.5 0.1 sand.out"}, {"silt", "2.65 0.02 0.1 silt.out"},
                            {"clay", "2.65 0.002 0.1 clay.out"}};
  std::string t = "SEDIMENTS\nNUM_SED 3\nheader\n";
  char line[160];
  for (auto& r : rows) {
    std::snprintf(line, sizeof line, "%-40s%s\n", r[0], r[1]);
    t += line;
  }
  // Splash erodibility, detachment coefficient, exponent and critical shear, K, then the
  // sand, silt and clay shares of the parent soil.
  std::snprintf(line, sizeof line, "%6d%-80s%s\n", 1, "loam", "60 2e-5 1 0 1 0.4 0.4 0.2");
  return t + "SOIL_EROSION_PROPS " + map + "\nNUM_IDS 1\nNUM_SED 3\nheader\n" + line;
}

inline std::string erosion_mapping_table() {
  return "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP land.idx Land\n" + erosion_table_blocks();
}

// Writes the grid, the tables and e.prj; the project rains 80 mm/h for the first minute.
inline void write_erosion_project(int rows, int cols, int method, const std::string& timing,
                                  const std::string& extra = "") {
  std::mt19937 random(12345);
  std::uniform_real_distribution<double> roughness(0.0, 0.05);
  std::string mask = erosion_grid_header(rows, cols), ele = mask, land = mask;
  char v[32];
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      std::snprintf(v, sizeof v, "%.4f ", 10.0 + 0.02 * (cols - 1 - c) + 0.02 * r + roughness(random));
      ele += v;
      mask += "1 ";
      land += "1 ";
    }
    mask += "\n";
    ele += "\n";
    land += "\n";
  }
  write_file("e.msk", mask);
  write_file("e.ele", ele);
  write_file("land.idx", land);
  write_file("e.cmt", erosion_mapping_table());
  char cards[600];
  std::snprintf(cards, sizeof cards,
                "PLUVOPROJECT\nWATERSHED_MASK e.msk\nELEVATION e.ele\nGRIDSIZE 10\nROWS %d\nCOLS %d\nOUTROW 1\n"
                "OUTCOL %d\nOUTSLOPE 0.02\nOVERTYPE 1\nMANNING_N 0.03\nPRECIP_UNIF\nRAIN_INTENSITY 80\n"
                "RAIN_DURATION 1\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\nMAP_FREQ 60\nSUMMARY e.sum\n"
                "OUTLET_HYDRO e.hyd\nMAPPING_TABLE e.cmt\nSOIL_EROSION %d\nOUTLET_SED_FLUX e.sed\n"
                "SAND_SIZE 0.062\nWATER_TEMP 20\n",
                rows, cols, cols, method);
  write_file("e.prj", std::string(cards) + timing + extra);
}

}  // namespace pluvo_test
