#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "common/process.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::write_file;

// Two bursts of 60 mm/h two hours apart over the strip watershed, on a soil of 1 cm/h.
std::string two_burst_cards(const std::string& method_cards) {
  std::string cards = pluvo_test::strip_cards();
  const std::string rain = "PRECIP_UNIF\nRAIN_INTENSITY 36\nRAIN_DURATION 10\n";
  cards.replace(cards.find(rain), rain.size(), "PRECIP_FILE two.gag\nRAIN_THIESSEN\n");
  cards.replace(cards.find("TOT_TIME 30"), 11, "TOT_TIME 200");
  write_file("two.gag",
             "EVENT \"two bursts\"\nNRGAG 1\nNRPDS 6\nCOORD 15 20 \"gauge\"\n"
             "GAGES 2020 6 1 10 00 0.0\nGAGES 2020 6 1 10 01 60.0\nGAGES 2020 6 1 10 20 0.0\n"
             "GAGES 2020 6 1 12 00 0.0\nGAGES 2020 6 1 12 01 60.0\nGAGES 2020 6 1 12 20 0.0\n");
  return "PLUVOPROJECT\n" + cards + method_cards;
}

struct run_record {
  std::string summary, out;
  bool stopped = false;
  std::vector<int> profiles;     // no_wat_prof of cell 1 before each infiltration update
  std::vector<int> updates;      // infil_step_count before each infiltration update
  double cell_volume_sum = 0.0;  // sum of the cells' run infiltration x area at the end
  double run_volume = 0.0;       // the phase's run total
};

run_record run_two_bursts(const std::string& project,
                          const std::function<void(pluvo::model_state&)>& watch = nullptr) {
  pluvo_test::write_strip_grid();
  write_file("w.prj", project);
  run_record r;
  pluvo::set_phase_observer([&](const char* phase, int, pluvo::model_state& m) {
    if (watch) watch(m);
    if (std::string(phase) == "compute_infiltration" && !m.no_wat_prof.empty() &&
        std::fabs(m.infil_next_time - m.cur_julian) < m.time_tolerance) {
      r.profiles.push_back(m.no_wat_prof[1]);
      r.updates.push_back(m.infil_step_count);
    }
    if (m.cum_infil_depth.size() != size_t(m.cell_count) + 1) return;
    double sum = 0.0;
    for (int i = 1; i <= m.cell_count; i++) sum += m.cum_infil_depth[size_t(i)];
    r.cell_volume_sum = sum * m.cell_size * m.cell_size;
    r.run_volume = m.infil_volume_total;
  });
  pluvo::error_state = pluvo::error_state_record();
  pluvo::run_stopped_on_error = false;
  const int threads = pluvo::thread_count;
  pluvo::set_thread_count(1);
  r.out = pluvo::printed_by([] { pluvo::run_pluvo("w.prj", nullptr, "w.prj"); });
  pluvo::set_thread_count(threads);
  pluvo::set_phase_observer(nullptr);
  r.stopped = pluvo::run_stopped_on_error;
  pluvo::run_stopped_on_error = false;
  pluvo::error_state = pluvo::error_state_record();
  r.summary = pluvo_test::read_file("w.sum");
  return r;
}

void expect_books_close(const run_record& r) {
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_GT(r.run_volume, 1.0);
  EXPECT_NEAR(r.run_volume, r.cell_volume_sum, 1e-12 * r.run_volume);
  const double summary = pluvo_test::number_after(r.summary, "volume of infiltrated water:");
  EXPECT_NEAR(summary, r.cell_volume_sum, 0.051) << r.summary;
}

TEST(InfiltrationProject, RedistributionMeetsTheSecondBurstWithTheDrainedProfile) {
  pluvo_test::scratch_dir dir;
  const run_record r = run_two_bursts(two_burst_cards(pluvo_test::redistribution_soil("0.15")));
  expect_books_close(r);
  // The first burst ponds on one profile; the second starts a profile above the drained one.
  ASSERT_GT(r.profiles.size(), 700u) << r.out;
  // The updates are numbered within the event from 1.
  for (size_t u = 0; u < r.updates.size(); u++) ASSERT_EQ(r.updates[u], int(u) + 1);
  const auto second = std::find(r.profiles.begin(), r.profiles.end(), 2);
  EXPECT_NE(second, r.profiles.end());
  EXPECT_GT(second - r.profiles.begin(), 700);
  EXPECT_EQ(r.profiles.back(), 0);
}

TEST(InfiltrationProject, ThreeLayerSoilTableRunsTheStorm) {
  pluvo_test::scratch_dir dir;
  write_file("soil.map", std::string(pluvo_test::strip_header()) + "4 4 7\n7 7 4\n");
  write_file("layers.tab",
             "2\n0\n"
             "4\n1.0 0.3 10 0.45 0.3 0.1 0.05 0.15 5\n0.5 0.3 15 0.40 0.3 0.1 0.05 0.20 10\n"
             "0.2 0.2 20 0.35 0.3 0.1 0.05 0.25\n"
             "7\n2.0 0.4 8 0.45 0.3 0.1 0.05 0.10 3\n1.0 0.4 12 0.45 0.3 0.1 0.05 0.10 6\n"
             "0.1 0.2 25 0.40 0.3 0.1 0.05 0.30\n");
  const run_record r =
      run_two_bursts(two_burst_cards("INF_LAYERED_SOIL\nSOIL_TYPE_MAP soil.map\nSOIL_LAYER_INPUT_FILE layers.tab\n"));
  expect_books_close(r);
}

TEST(InfiltrationProject, SoilClassOutsideTheTableStopsNamingFileAndClass) {
  pluvo_test::scratch_dir dir;
  write_file("soil.map", std::string(pluvo_test::strip_header()) + "4 4 4\n4 4 4\n");
  write_file("layers.tab", "1\n0\n100000\n1 0.3 10 0.45 0.3 0.1 0.05 0.15 5\n1 0.3 10 0.45 0.3 0.1 0.05 0.15 5\n"
                           "1 0.3 10 0.45 0.3 0.1 0.05 0.15\n");
  const run_record r =
      run_two_bursts(two_burst_cards("INF_LAYERED_SOIL\nSOIL_TYPE_MAP soil.map\nSOIL_LAYER_INPUT_FILE layers.tab\n"));
  EXPECT_TRUE(r.stopped);
  EXPECT_NE(r.out.find("Error: soil class 100000 in the multi-layer soil table "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("layers.tab is outside 0 to 99999\n"), std::string::npos) << r.out;
}

}  // namespace

namespace {

// Soil water of the Richards columns (nodes 1..numcells - 1), the water that left their bottoms
// and what the infiltration books took in, all in m3.
struct richards_books {
  double stored = 0.0, drained = 0.0, infiltrated = 0.0;
};

richards_books richards_books_of(const pluvo::model_state& m) {
  richards_books b;
  const double area = m.cell_size * m.cell_size;
  for (int i = 1; i <= m.cell_count; ++i) {
    for (int j = 1; j < m.numcells[size_t(i)]; ++j) b.stored += m.THETA[i][j] * m.DZ[i][j] / 100.0 * area;
    b.drained += m.unsat_downward_flux[size_t(i)] / 100.0 * area;
  }
  b.drained += m.unsat_downward_volume;
  b.infiltrated = m.infil_volume_total;
  return b;
}

TEST(InfiltrationProject, RichardsColumnsTakeTheStormIntoADrySoilAndKeepTheirBooks) {
  pluvo_test::scratch_dir dir;
  write_file("soil.map", std::string(pluvo_test::strip_header()) + "3 3 3\n5 5 5\n");
  const char* layer3 = "1.0 0.45 0.05 0.10 0.08 0.3 10 0.4 20 1\n2.0 0.40 0.05 0.10 0.08 0.3 20 0.5 15 2\n"
                       "0.5 0.40 0.05 0.12 0.08 0.3 20 0.3 25 2\n";
  write_file("soil.tab", std::string("2\n0\n3\n") + layer3 + "5\n" + layer3);
  std::vector<richards_books> books;
  const run_record r = run_two_bursts(
      two_burst_cards("INF_RICHARDS\nRICHARDS_C_OPTION brooks\nRICHARDS_K_OPTION arithmetic\n"
                      "RICHARDS_UPPER_OPTION average\nSOIL_TYPE_MAP soil.map\nSOIL_LAYER_INPUT_FILE soil.tab\n"),
      [&](pluvo::model_state& m) {
        if (m.numcells.size() == size_t(m.cell_count) + 1 && m.THETA.rows() >= m.cell_count &&
            m.unsat_downward_flux.size() == size_t(m.cell_count) + 1)
          books.push_back(richards_books_of(m));
      });
  ASSERT_FALSE(r.stopped) << r.out;
  ASSERT_GT(books.size(), 2u);
  const richards_books& first = books.front();
  const richards_books& last = books.back();
  const double infiltrated = last.infiltrated - first.infiltrated;
  EXPECT_GT(infiltrated, 1.0) << r.summary;
  EXPECT_NEAR(last.stored - first.stored, infiltrated - (last.drained - first.drained), 1e-6 * infiltrated);
  EXPECT_NE(r.summary.find("Inital volume of water in soil column= "), std::string::npos) << r.summary;
  EXPECT_NEAR(pluvo_test::number_after(r.summary, "Richard equation mass balance error"), 0.0, 1e-4) << r.summary;
}

}  // namespace
