// The OMBA/QIR exchange through whole projects: two storms a day apart on the strip watershed
// in QIR mode, the maps and control file written after each event, OMBA's moisture read back
// between them, and a QIR event call that ends with its event.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/julian.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::write_file;

// Twenty minutes of 60 mm/h on 1 June at 10:00 and again on 2 June at 14:00.
std::string two_storms() {
  return "EVENT \"first\"\nNRGAG 1\nNRPDS 3\nCOORD 15 20 \"gauge\"\n"
         "GAGES 2020 6 1 10 00 0.0\nGAGES 2020 6 1 10 01 60.0\nGAGES 2020 6 1 10 20 0.0\n"
         "EVENT \"second\"\nNRGAG 1\nNRPDS 3\nCOORD 15 20 \"gauge\"\n"
         "GAGES 2020 6 2 14 00 0.0\nGAGES 2020 6 2 14 01 60.0\nGAGES 2020 6 2 14 20 0.0\n";
}

// The strip in QIR mode with Green and Ampt soils (porosity 0.45) and the two storms.
std::string qir_cards(const std::string& extra) {
  std::string cards = pluvo_test::strip_cards();
  auto drop = [&](const std::string& card) { cards.erase(cards.find(card), card.size()); };
  cards.replace(cards.find("PRECIP_UNIF\n"), 12, "PRECIP_FILE storms.gag\nRAIN_THIESSEN\n");
  cards.replace(cards.find("TIMESTEP 10"), 11, "TIMESTEP 60");
  for (const char* card : {"RAIN_INTENSITY 36\n", "RAIN_DURATION 10\n", "START_DATE 2020 6 1\n", "START_TIME 10 0\n"})
    drop(card);
  write_file("storms.gag", two_storms());
  write_file("k.map", pluvo_test::strip_map("1"));
  write_file("h.map", pluvo_test::strip_map("10"));
  write_file("p.map", pluvo_test::strip_map("0.45"));
  write_file("w.map", pluvo_test::strip_map("0.2"));
  std::filesystem::create_directory("exchange");
  return cards + "GREEN_AMPT\nCONDUCTIVITY k.map\nCAPILLARY h.map\nPOROSITY p.map\nMOISTURE w.map\nQIR\nOMBA ctl.txt\n" +
         extra;
}

}  // namespace

TEST(OmbaExchange, TwoEventsWriteMapsAndControlLinesAndReadMoistureBack) {
  pluvo_test::scratch_dir dir;
  const std::string cards =
      qir_cards("MOIST_TO_OMBA infil.map\nKSAT_TO_OMBA ks.map\nMOIST_FROM_OMBA moist.map\nANALYZERS a.ana\n");
  // An analyzer that reports each event's start and end.
  write_file("a.ana", "2DS depth Ee < 0.01 s\n");
  // OMBA's moisture: too wet in the first row, too dry in the second.
  write_file("exchange/moist.map", std::string(pluvo_test::strip_header()) + "0.6 0.6 0.6\n0.05 0.05 0.3\n");
  std::vector<std::string> control;
  std::vector<double> moisture;
  std::string infil_map;
  double jumped_to = 0.0;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (std::string(phase) != "close_lakes_at_event_end" || !m.event_ended) return;
    control.push_back(read_file("exchange/ctl.txt"));
    if (m.event_number == 1) {
      moisture.assign(m.initial_moisture_cell.begin() + 1, m.initial_moisture_cell.end());
      infil_map = read_file("exchange/infil.map");
      jumped_to = m.cur_julian;
    }
  });
  const pluvo_test::project_result r = pluvo_test::run_strip_cards(cards);
  pluvo::set_phase_observer(nullptr);
  ASSERT_FALSE(r.stopped) << r.out;
  ASSERT_EQ(control.size(), 2u) << r.out;
  // Day 153 (1 June 2020) and the next event's day 154; nothing follows the last.
  EXPECT_EQ(control[0], "153 154\n");
  EXPECT_EQ(control[1], "999 999\n");
  EXPECT_EQ(moisture, (std::vector<double>{0.99 * 0.45, 0.99 * 0.45, 0.99 * 0.45, 0.1, 0.1, 0.3}));
  EXPECT_EQ(r.out.find("reading OMBA exchange maps\n"), r.out.rfind("reading OMBA exchange maps\n"));
  EXPECT_NE(r.out.find("reading OMBA exchange maps\n"), std::string::npos);
  for (const char* when : {"the beginning of an event at 06-01-2020, 10:0: 0: \n",
                           "the beginning of an event at 06-02-2020, 14:0: 0: \n", "the end of an event at "}) {
    const std::string text = std::string("\n\nValues in the 2D stream array depth at ") + when;
    EXPECT_NE(r.out.find(text), std::string::npos) << when << "\n" << r.out;
  }
  int ends = 0;
  for (size_t at = r.out.find("the end of an event at "); at != std::string::npos;
       at = r.out.find("the end of an event at ", at + 1))
    ++ends;
  EXPECT_EQ(ends, 2) << r.out;
  // The clock waits one step before the second storm.
  EXPECT_NEAR(jumped_to, pluvo::julian_date(2020, 6, 2, 14, 0, 0.0) - 60.0 / 86400.0, 1e-9);
  EXPECT_EQ(infil_map.rfind("north:     30.00\nsouth:     10.00\neast:     30.00\nwest:      0.00\nrows:     2\n"
                            "cols:     3\n",
                            0),
            0u)
      << infil_map;
  // Conductivity goes out in cm/h: 1 cm/h everywhere.
  EXPECT_EQ(read_file("exchange/ks.map").substr(read_file("exchange/ks.map").find("cols:     3\n") + 12),
            "1.000000 1.000000 1.000000 \n1.000000 1.000000 1.000000 \n");
}

TEST(OmbaExchange, QirEventCallEndsWithItsEventAndMissingMapsStop) {
  pluvo_test::scratch_dir dir;
  pluvo_test::project_result r = pluvo_test::run_strip_cards(qir_cards("QIR_EVENT_NUM 1\n"));
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_NE(r.out.find("End of QIR event 1\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("reading OMBA exchange maps"), std::string::npos);
  EXPECT_EQ(read_file("exchange/ctl.txt"), "153 154\n");

  r = pluvo_test::run_strip_cards(qir_cards("OMBA_FIRST\nMOIST_FROM_OMBA none.map\n"));
  EXPECT_TRUE(r.stopped);
  EXPECT_NE(r.out.find("1 Can't open soil moisture exchange file exchange/none.map for reading\n"),
            std::string::npos)
      << r.out;
}
