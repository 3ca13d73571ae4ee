#pragma once
// Whole projects of the output tests: the aquifer strip at one-minute steps and the sediment demo,
// each timed so that its last map is the state the run summary closes on.
#include <filesystem>
#include <string>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "groundwater/aquifer_strip.hpp"
#include "run/driver.hpp"
#include "run/whole_project.hpp"

namespace pluvo_test {

// The aquifer strip at one-minute steps for 31 minutes of rain with maps every 10: the last map
// set is the state the summary closes on.
inline std::string aquifer_run_cards() {
  std::string cards = strip_cards();
  cards.replace(cards.find("TIMESTEP 10"), 11, "TIMESTEP 60");
  cards.replace(cards.find("TOT_TIME 30"), 11, "TOT_TIME 31");
  cards.replace(cards.find("MAP_FREQ 60"), 11, "MAP_FREQ 10");
  cards.replace(cards.find("HYD_FREQ 5"), 10, "HYD_FREQ 1");
  cards.replace(cards.find("RAIN_DURATION 10"), 16, "RAIN_DURATION 30");
  const std::string aquifer = write_aquifer_strip();
  // A wet soil over the table, so that the rain reaches the aquifer within the run.
  write_file("w.map", strip_map("0.43"));
  return cards + aquifer;
}

// The sediment demo with every file it reads, at one-minute steps for 61 minutes, so that its
// last map (every 30 minutes) is the state the summary closes on; the caller's cards follow.
inline void copy_sediment_demo(const std::string& cards) {
  const std::string from = std::string(PLUVO_TEST_DATA) + "/../examples/demo-sediment/";
  for (const auto& f : std::filesystem::directory_iterator(from))
    write_file(f.path().filename().string(), read_file(f.path().string()));
  std::string project = read_file("demo_sediment.prj");
  project.replace(project.find("TIMESTEP 30"), 11, "TIMESTEP 60");
  project.replace(project.find("TOT_TIME 360"), 12, "TOT_TIME 61");
  write_file("s.prj", project + "MAP_FREQ 30\n" + cards);
}

// Runs s.prj in this process.
inline project_result run_sediment_demo() {
  project_result r;
  r.out = pluvo::printed_by([] { pluvo::run_pluvo("s.prj", nullptr, "s.prj"); });
  r.stopped = pluvo::run_stopped_on_error;
  pluvo::run_stopped_on_error = false;
  pluvo::error_state = pluvo::error_state_record();
  return r;
}

}  // namespace pluvo_test
