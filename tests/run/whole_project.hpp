#pragma once
// A whole project in the scratch directory: a 2 x 3 watershed tilted east to its outlet at row 1,
// column 3, a project file of the usual cards plus the caller's, run through the real reader.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "input/input_phases.hpp"
#include "input/project_cards.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"
#include "common/process.hpp"
#include "run/driver.hpp"
#include "run/scratch_dir.hpp"

namespace pluvo_test {

// 10 m cells; the grid header every map of the project shares.
inline const char* strip_header() { return "north: 30\nsouth: 10\neast: 30\nwest: 0\nrows: 2\ncols: 3\n"; }

// A map of the strip watershed holding one value in every cell.
inline std::string strip_map(const char* value) {
  const std::string v = value;
  return std::string(strip_header()) + v + " " + v + " " + v + "\n" + v + " " + v + " " + v + "\n";
}

// The soil maps of Green and Ampt with redistribution (1 cm/h, 10 cm of suction, porosity 0.45,
// pore index 0.3, residual 0.05) at the given initial moisture; returns their cards.
inline std::string redistribution_soil(const char* moisture) {
  write_file("k.map", strip_map("1"));
  write_file("h.map", strip_map("10"));
  write_file("p.map", strip_map("0.45"));
  write_file("w.map", strip_map(moisture));
  write_file("l.map", strip_map("0.3"));
  write_file("r.map", strip_map("0.05"));
  return "INF_REDIST\nCONDUCTIVITY k.map\nCAPILLARY h.map\nPOROSITY p.map\nMOISTURE w.map\nPORE_INDEX l.map\n"
         "RESIDUAL_SAT r.map\n";
}

// Cell elevations fall 0.1 m per cell toward the outlet column.
inline void write_strip_grid() {
  write_file("w.msk", std::string(strip_header()) + "1 1 1\n1 1 1\n");
  write_file("w.ele", std::string(strip_header()) + "10.2 10.1 10.0\n10.2 10.1 10.05\n");
}

// Ten minutes of 36 mm/h uniform rain, half an hour in all at 10 s steps.
inline std::string strip_cards() {
  return "WATERSHED_MASK w.msk\nELEVATION w.ele\nGRIDSIZE 10\nROWS 2\nCOLS 3\nOUTROW 1\nOUTCOL 3\n"
         "OUTSLOPE 0.01\nTIMESTEP 10\nTOT_TIME 30\nOVERTYPE 1\nMANNING_N 0.03\nPRECIP_UNIF\n"
         "RAIN_INTENSITY 36\nRAIN_DURATION 10\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\nHYD_FREQ 5\n"
         "MAP_FREQ 60\nSUMMARY w.sum\nOUTLET_HYDRO w.hyd\n";
}

// The strip as a continuous run: storms from storms.gag (Thiessen), hourly KAL weather from
// met.kal at 60 s steps, Penman-Monteith evapotranspiration with the maps below, and the
// caller's soil cards.
inline std::string long_term_cards(const std::string& soil_cards) {
  std::string cards = strip_cards();
  auto drop = [&](const std::string& card) { cards.erase(cards.find(card), card.size()); };
  const std::string rain = "PRECIP_UNIF\n";
  cards.replace(cards.find(rain), rain.size(), "PRECIP_FILE storms.gag\nRAIN_THIESSEN\n");
  cards.replace(cards.find("TIMESTEP 10"), 11, "TIMESTEP 60");
  for (const char* card : {"RAIN_INTENSITY 36\n", "RAIN_DURATION 10\n", "START_DATE 2020 6 1\n", "START_TIME 10 0\n"})
    drop(card);
  return cards + "LONG_TERM\nHMET_KAL met.kal\nLATITUDE 40\nLONGITUDE -105\nGMT -7\nET_CALC_PENMAN\n"
                 "ALBEDO a.map\nVHEIGHT v.map\nTCOEFF t.map\nCANOPY c.map\nWILTING_POINT wp.map\n" + soil_cards;
}

// The surface maps the long-term cards name.
inline void write_long_term_maps() {
  write_file("a.map", strip_map("0.2"));
  write_file("v.map", strip_map("0.3"));
  write_file("t.map", strip_map("0.8"));
  write_file("c.map", strip_map("60"));
  write_file("wp.map", strip_map("0.1"));
}

struct project_result {
  std::string out;      // what the run printed
  bool stopped = false;  // the run stopped on a reported error: the program exits with 1
};

// Writes w.prj with the cards and runs it in this process on the given number of threads.
inline project_result run_project_cards(const std::string& cards, int threads) {
  write_file("w.prj", "PLUVOPROJECT\n" + cards);
  pluvo::error_state = pluvo::error_state_record();
  pluvo::run_stopped_on_error = false;
  const int before = pluvo::thread_count;
  pluvo::set_thread_count(threads);
  project_result r;
  r.out = pluvo::printed_by([] { pluvo::run_pluvo("w.prj", nullptr, "w.prj"); });
  pluvo::set_thread_count(before);
  r.stopped = pluvo::run_stopped_on_error;
  pluvo::run_stopped_on_error = false;
  pluvo::error_state = pluvo::error_state_record();
  return r;
}

// Writes the grid and w.prj with the usual cards and extra ones, and runs it in this process on
// one thread (six cells need no team). edit_inputs may change the written files first.
inline project_result run_strip_project(const std::string& extra_cards,
                                        const std::function<void()>& edit_inputs = nullptr);

// The same with the whole list of cards given.
inline project_result run_strip_cards(const std::string& cards, const std::function<void()>& edit_inputs = nullptr) {
  write_strip_grid();
  if (edit_inputs) edit_inputs();
  return run_project_cards(cards, 1);
}

// The strip in the north-west corner of a side x side basin, enough cells for a thread team.
// corner holds the strip's six elevations (row by row); the other cells fall 0.002 m per cell
// from 10.4 m away from the corner, so their rain ponds in the far corner and the strip sees
// only its own. The usual cards with the basin's size.
inline std::string write_corner_basin(int side, const std::array<double, 6>& corner = {10.2, 10.1, 10.0, 10.2, 10.1, 10.05}) {
  char line[160];
  std::snprintf(line, sizeof line, "north: 30\nsouth: %d\neast: %d\nwest: 0\nrows: %d\ncols: %d\n", 30 - 10 * side,
                10 * side, side, side);
  std::string mask = line, elevation = line;
  for (int r = 1; r <= side; r++) {
    for (int c = 1; c <= side; c++) {
      const double z = r <= 2 && c <= 3 ? corner[size_t(3 * (r - 1) + c - 1)] : 10.4 - 0.002 * (r + c - 3);
      std::snprintf(line, sizeof line, c > 1 ? " %.3f" : "%.3f", z);
      elevation += line;
      mask += c > 1 ? " 1" : "1";
    }
    elevation += "\n";
    mask += "\n";
  }
  write_file("w.msk", mask);
  write_file("w.ele", elevation);
  std::string cards = strip_cards();
  const std::string strip_size = "ROWS 2\nCOLS 3\n";
  std::snprintf(line, sizeof line, "ROWS %d\nCOLS %d\n", side, side);
  cards.replace(cards.find(strip_size), strip_size.size(), line);
  return cards;
}

inline project_result run_strip_project(const std::string& extra_cards, const std::function<void()>& edit_inputs) {
  return run_strip_cards(strip_cards() + extra_cards, edit_inputs);
}

// The set-up of a run up to its time loop, for a project that asks for a process not built yet:
// the refusal is checked and then lifted, so the readers of that process's inputs still run as
// they will once it is built. What they printed; inspect sees the record once the grids are set
// up; the project's files are closed afterwards.
struct set_up_result {
  std::string out;
  bool refused = false;  // the option checks named something not built
  bool stopped = false;  // a reader stopped the set-up after the refusal was lifted
};

inline set_up_result set_up_past_refusal(
    const char* project, const std::function<void(pluvo::model_state&)>& inspect = nullptr) {
  pluvo::error_state = pluvo::error_state_record();
  pluvo::wire_neighbour_services();  // as run_pluvo does once per process
  auto m = std::make_unique<pluvo::model_state>();
  set_up_result r;
  r.out = pluvo::printed_by([&] {
    pluvo::read_run_parameters(project, *m);
    pluvo::validate_project_options(*m);
    r.refused = pluvo::error_state.error_code == pluvo::unbuilt_error_code;
    pluvo::error_state = pluvo::error_state_record();
    // As the driver does after each step: report a pending code, stop on a fatal one.
    const auto stopped = [] {
      if (pluvo::error_state.error_code > 0) pluvo::report_error(pluvo::error_state);
      return pluvo::error_state.error_terminate != 0;
    };
    pluvo::open_project_files(*m);
    if (stopped()) return;
    pluvo::check_time_options(*m);
    if (stopped()) return;
    pluvo::init_input_grids(*m);
    if (!stopped() && inspect) inspect(*m);
  });
  r.stopped = pluvo::error_state.error_terminate != 0;
  pluvo::free_model_state(m.get());
  pluvo::error_log_file = nullptr;
  pluvo::error_state = pluvo::error_state_record();
  return r;
}

// The number after label in text, NAN when the label is missing.
inline double number_after(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  if (at == std::string::npos) return NAN;
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

// The numbers after every occurrence of label in text (one per event for the event lines).
inline std::vector<double> numbers_after(const std::string& text, const std::string& label) {
  std::vector<double> values;
  for (size_t at = text.find(label); at != std::string::npos; at = text.find(label, at + label.size()))
    values.push_back(std::strtod(text.c_str() + at + label.size(), nullptr));
  return values;
}

}  // namespace pluvo_test
