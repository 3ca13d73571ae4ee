// The melt parameters of every cell: a card for the whole grid, else the elevation band that
// holds the cell, else a fixed default; and the run's base and rain/snow temperatures.
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// One melt parameter: its per-cell array, whether its card was given, the card value, the
// default, and its column in a band row.
struct melt_parameter {
  std::vector<double>* cells;
  int card_given;
  double card;
  double fallback;
  int column;
};

std::array<melt_parameter, 8> melt_parameters(model_state& m) {
  return {{
      {&m.snow_mf_min_cell, m.nwsrfs_mf_min_on, m.nwsrfs_mf_min, 0.0, 2},
      {&m.snow_mf_max_cell, m.nwsrfs_mf_max_on, m.nwsrfs_mf_max, 1.2, 3},
      {&m.snow_scf_cell, m.nwsrfs_scf_on, m.nwsrfs_scf, 1.0, 4},
      {&m.snow_fr_use_cell, m.nwsrfs_fr_use_on, m.nwsrfs_fr_use, 0.0, 5},
      {&m.snow_tipm_cell, m.nwsrfs_tipm_on, m.nwsrfs_tipm, 0.2, 6},
      {&m.snow_nmf_cell, m.nwsrfs_nmf_on, m.nwsrfs_nmf, 0.2, 7},
      {&m.snow_fua_cell, m.nwsrfs_fua_on, m.nwsrfs_fua, 0.18, 8},
      {&m.snow_plwhc_cell, m.nwsrfs_plwhc_on, m.nwsrfs_plwhc, 0.05, 9},
  }};
}

const char* const band_header[10] = {"Lower_Elevation", "Upper_Elevation", "MF_Min", "MF_Max", "SCF",
                                     "FR_USE",          "TIPM",            "NMF",    "FUA",    "PLWHC"};

const char* const band_help =
    "The Elevation based NWSRFS input file should have the following format: \n\n"
    "Number_Bands:\tint(number of elevation bands) \n"
    "Lower_Elevation\tUpper_Elevation\tMF_Min\tMF_Max\tSCF\tFR_USE\tTIPM\tNMF\tFUA\tPLWHC \n"
    "0              \t##Elev_1\t      ##    \t##    \t## \t##\t\t\t##\t\t##\t##\t##  \n"
    "##Elev_1       \t##Elev_2\t      ##    \t##    \t## \t##\t\t\t##\t\t##\t##\t##  \n"
    "##Elev_2       \t##Elev_3\t      ##    \t##    \t## \t##\t\t\t##\t\t##\t##\t##  \n"
    "...            \t100000000\t      ##    \t##    \t## \t##\t\t\t##\t\t##\t##\t##  \n\n";

bool next_word(std::FILE* f, std::string& word) {
  char buffer[256];
  if (std::fscanf(f, "%255s", buffer) != 1) {
    word.clear();
    return false;
  }
  word = buffer;
  return true;
}

void stop_with_format_help(const std::string& name) {
  stop_run("Error reading elevation based NWSRFS snow input parameter file: %s\n\n%s", name.c_str(),
           band_help);
}

// Applies the band rows of the open file; false when the run must stop.
bool apply_band_file(model_state& m, std::FILE* f, const std::string& name) {
  const int n = m.cell_count;
  bool bad = false;
  int bands = 0;
  std::string word;
  next_word(f, word);
  if (word != "Number_Bands:") {
    std::printf("Error reading elevation based NWSRFS snow input parameter file: %s\n", name.c_str());
    bad = true;
  } else if (std::fscanf(f, "%d", &bands) != 1) {
    bad = true;
  }
  for (const char* expected : band_header) {
    next_word(f, word);
    if (word != expected) {
      std::printf("Error reading elevation based NWSRFS snow input parameter file: %s\n", name.c_str());
      bad = true;
    }
  }
  if (bad) {
    stop_with_format_help(name);
    return false;
  }
  const auto parameters = melt_parameters(m);
  for (int b = 1; b <= bands; ++b) {
    std::array<double, 10> row{};
    for (double& v : row)
      if (std::fscanf(f, "%lf", &v) != 1) {
        // A short row would apply values nobody gave to a whole elevation range.
        stop_with_format_help(name);
        return false;
      }
    for (int c = 1; c <= n; ++c) {
      const double e = m.elevation[size_t(c)];
      if (!(row[0] < e && e < row[1])) continue;
      for (const melt_parameter& p : parameters)
        if (!p.card_given) (*p.cells)[size_t(c)] = row[size_t(p.column)];
    }
  }
  return true;
}

}  // namespace

void read_nwsrfs_elevation_bands(model_state& m) {
  m.snow_base_temp = m.snow_temp_base_on ? m.snow_temp_base : 0.0;
  m.snow_px_temp = m.snow_pxtemp_on ? m.snow_pxtemp : 0.0;
  const size_t cells = size_t(m.cell_count) + 1;
  if (m.long_term_on && m.eb_snow_on) {
    m.snow_scf_cell.assign(cells, m.nwsrfs_scf_on ? m.nwsrfs_scf : 1.0);
    return;
  }
  if (!m.long_term_on) return;
  m.melt_factor_const = m.nwsrfs_mf_constant;
  for (const melt_parameter& p : melt_parameters(m)) p.cells->assign(cells, p.card_given ? p.card : p.fallback);
  if (!m.nwsrfs_elev_snow_on) return;
  const std::string& name = m.nwsrfs_elev_snow_path;
  if (!checked_file_open(m.nwsrfs_elev_snow_stream, name.c_str(), "r")) {
    stop_run("Cannot open elevation based NWSRFS snow input parameter file: %s\n", name.c_str());
    return;
  }
  apply_band_file(m, m.nwsrfs_elev_snow_stream.stream, name);
  checked_file_close(m.nwsrfs_elev_snow_stream);
}

}  // namespace pluvo
