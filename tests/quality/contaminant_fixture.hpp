#pragma once
// A project with one dissolved contaminant: a rows x cols grid of 10 m cells whose elevations
// rise away from the outlet at row 1, column outcol, and a CONTAMINANT_TRANSPORT table whose
// rows the caller gives for the ids of an index map.
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/printed.hpp"
#include "common/process.hpp"
#include "input/table_fixture.hpp"
#include "quality/water_quality_clocks.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo_test {

struct contaminant_grid {
  int rows = 1, cols = 8, outcol = 8;
  int cell_size = 10;
  // Elevation (m) of the cell at row r, column c (1-based).
  std::function<double(int, int)> elevation = [](int, int c) { return 10.0 + 0.01 * (8 - c); };
  // Index-map id of the cell at row r, column c.
  std::function<int(int, int)> id = [](int, int) { return 1; };
};

inline std::string contaminant_grid_header(const contaminant_grid& g) {
  char h[160];
  std::snprintf(h, sizeof h, "north: %d\nsouth: 0\neast: %d\nwest: 0\nrows: %d\ncols: %d\n", g.rows * g.cell_size,
                g.cols * g.cell_size, g.rows, g.cols);
  return h;
}

// A map of the grid with value(r, c) in each cell.
inline std::string contaminant_map(const contaminant_grid& g, const std::function<std::string(int, int)>& value) {
  std::string t = contaminant_grid_header(g);
  for (int r = 1; r <= g.rows; ++r) {
    for (int c = 1; c <= g.cols; ++c) t += value(r, c) + (c < g.cols ? " " : "\n");
  }
  return t;
}

// The table: precipitation concentration, then per id the eight values (initial concentration,
// source concentration, dispersion, decay per day, uptake per day, land load, Kd, unused); the
// partition coefficients of the water on the grid and in the channels (l/kg) follow the blocks.
inline std::string contaminant_table(double precip_conc, const std::vector<std::string>& id_rows,
                                     const std::string& more_blocks = "", double ov_partition = 0.0,
                                     double chan_partition = 0.0) {
  char line[300];
  std::snprintf(line, sizeof line,
                "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP c.idx \"Land\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
                "\"Tracer\" \"Land\" \"tracer\"\nPRECIP_CONC %.17g\nOV_PARTITION %.17g\nCHAN_PARTITION %.17g\n"
                "NUM_IDS %d\nheader\n",
                precip_conc, ov_partition, chan_partition, int(id_rows.size()));
  std::string t = line;
  for (size_t i = 0; i < id_rows.size(); ++i) t += table_row(int(i) + 1, id_rows[i]);
  return t + more_blocks;
}

// Green and Ampt soil of the given conductivity (cm/h), porosity 0.4, initial moisture 0.2, for
// ids 1..ids of the index map.
inline std::string green_ampt_blocks(int ids, const char* conductivity) {
  std::string soil = "GREEN_AMPT_INFILTRATION \"Land\"\nNUM_IDS " + std::to_string(ids) + "\nid\n";
  std::string moisture = "GREEN_AMPT_INITIAL_SOIL_MOISTURE \"Land\"\nNUM_IDS " + std::to_string(ids) + "\nid\n";
  for (int id = 1; id <= ids; ++id) {
    soil += table_row(id, std::string(conductivity) + " 11 0.4 0.2 0.02 0.3 0.1");
    moisture += table_row(id, "0.2");
  }
  return soil + moisture;
}

// Writes the grid, the table and c.prj with the cards given after the usual ones.
inline void write_contaminant_project(const contaminant_grid& g, const std::string& table, const std::string& cards) {
  write_file("c.msk", contaminant_map(g, [](int, int) { return std::string("1"); }));
  write_file("c.ele", contaminant_map(g, [&](int r, int c) {
               char v[32];
               std::snprintf(v, sizeof v, "%.4f", g.elevation(r, c));
               return std::string(v);
             }));
  write_file("c.idx", contaminant_map(g, [&](int r, int c) { return std::to_string(g.id(r, c)); }));
  write_file("c.cmt", table);
  char head[400];
  std::snprintf(head, sizeof head,
                "PLUVOPROJECT\nWATERSHED_MASK c.msk\nELEVATION c.ele\nGRIDSIZE %d\nROWS %d\nCOLS %d\nOUTROW 1\n"
                "OUTCOL %d\nOUTSLOPE 0.01\nOVERTYPE 1\nMANNING_N 0.03\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\n"
                "MAP_FREQ 600\nSUMMARY c.sum\nOUTLET_HYDRO c.hyd\nMAPPING_TABLE c.cmt\nOV_CON_TRANS\n",
                g.cell_size, g.rows, g.cols, g.outcol);
  write_file("c.prj", head + cards);
}

// Runs c.prj on the given threads; each is called with the record at the named phase of every
// step.
// The overland balance of constituent k over the current event, kg: {in, out}.
inline std::pair<double, double> event_overland_books(const pluvo::model_state& m, int k) {
  const double in = m.event_ov_mass_init[k] + m.event_ov_precip_mass[k] + m.event_ov_exfil_mass[k] +
                    m.event_ov_uptake_mass[k] + m.event_ov_neg_mass[k] + m.event_ov_point_mass[k];
  const double out = pluvo::overland_store(m, k) + m.event_ov_infil_mass[k] + m.event_ov_decay_mass[k] +
                     m.event_ov_mass_out[k] + m.event_ov_qlat_mass[k] + m.event_ov_land_mass[k];
  return {in, out};
}

struct contaminant_run {
  std::string out;
  int code = -1;
};

inline contaminant_run run_contaminant_project(int threads, const char* phase,
                                               const std::function<void(pluvo::model_state&)>& each) {
  contaminant_run r;
  const int before = pluvo::thread_count;
  pluvo::set_thread_count(threads);
  pluvo::set_phase_observer([&](const char* p, int, pluvo::model_state& m) {
    if (each && std::string(p) == phase) each(m);
  });
  r.out = pluvo::printed_by([&] { r.code = pluvo::run_pluvo("c.prj", nullptr, "c.prj"); });
  pluvo::set_phase_observer(nullptr);
  pluvo::set_thread_count(before);
  return r;
}

}  // namespace pluvo_test
