// The groundwater and sediment output cards of whole runs through the project reader: every
// card's files in every MAP_TYPE form, and their values held against the run summary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/printed.hpp"
#include "output/output_projects.hpp"
#include "run/driver.hpp"
#include "run/whole_project.hpp"

namespace {

using pluvo_test::aquifer_run_cards;
using pluvo_test::copy_sediment_demo;
using pluvo_test::read_file;
using pluvo_test::run_sediment_demo;
using pluvo_test::write_file;

std::vector<double> numbers_of(const std::string& line) {
  std::vector<double> v;
  std::istringstream in(line);
  for (double x; in >> x;) v.push_back(x);
  return v;
}

// The values of a numbered grid after its six header lines, no-data cells left out.
std::vector<double> grid_values(const std::string& path) {
  std::istringstream in(read_file(path));
  std::vector<double> v;
  std::string line;
  for (int i = 0; i < 6 && std::getline(in, line); i++) {
  }
  for (double x; in >> x;)
    if (x != -9999.99) v.push_back(x);
  return v;
}

double sum_of(const std::vector<double>& v) {
  double s = 0.0;
  for (double x : v) s += x;
  return s;
}

bool all_finite(const std::vector<double>& v) {
  for (double x : v)
    if (!std::isfinite(x)) return false;
  return true;
}

// The cell values of the last step record of an ASCII dataset of n cells (every cell active).
std::vector<double> last_dataset_step(const std::string& text, int n) {
  const size_t at = text.rfind("TS 1 ");
  std::istringstream in(text.substr(at));
  std::string line;
  std::getline(in, line);
  for (int i = 0; i < n; i++) std::getline(in, line);
  std::vector<double> v;
  for (int i = 0; i < n && std::getline(in, line); i++) v.push_back(std::stod(line));
  return v;
}

size_t step_records(const std::string& text) {
  size_t n = 0;
  for (size_t at = text.find("TS 1 "); at != std::string::npos; at = text.find("TS 1 ", at + 1)) n++;
  return n;
}


// Heads, recharge and wells of the aquifer strip as numbered grids: the cumulative recharge map
// and the incremental ones summed both give the summary's recharge; the well file's head is the
// head map's at the well's cell at the same time.
TEST(OutputCards, GroundwaterHeadsRechargeAndWellsAgreeWithTheSummary) {
  pluvo_test::scratch_dir dir;
  std::filesystem::create_directories("gw");
  const std::string cards = aquifer_run_cards();
  write_file("wells.loc", "2\n1 2 \n2 3 \n");
  const pluvo_test::project_result r = pluvo_test::run_strip_cards(
      cards + "GW_OUTPUT gw\nGW_RECHARGE_CUM gw\nGW_RECHARGE_INC gw/\nOUT_WELL_LOCATION wells.loc\n"
              "GW_WELL_LEVEL wells.out\n");
  ASSERT_FALSE(r.stopped) << r.out;
  for (const char* base : {"gw_head", "gwrechargecum", "gwrechargeinc"}) {
    for (int set = 1; set <= 4; set++) {
      char name[64];
      std::snprintf(name, sizeof name, "gw/%s.%04d.asc", base, set);
      const std::vector<double> v = grid_values(name);
      EXPECT_EQ(v.size(), 6u) << name;
      EXPECT_TRUE(all_finite(v)) << name;
      EXPECT_NE(r.out.find(std::string("opening file ") + name + "\n"), std::string::npos) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(std::string("gw/") + base + ".0005.asc")) << base;
  }
  const double area = 10.0 * 10.0;
  const double summary = pluvo_test::number_after(read_file("w.sum"), "Recharge to groundwater =");
  ASSERT_TRUE(std::isfinite(summary));
  ASSERT_GT(summary, 0.0);
  const double cum = sum_of(grid_values("gw/gwrechargecum.0004.asc")) / 100.0 * area;
  EXPECT_NEAR(cum, summary, 1e-3 * summary);
  double increments = 0.0;
  for (int set = 1; set <= 4; set++) {
    char name[64];
    std::snprintf(name, sizeof name, "gw/gwrechargeinc.%04d.asc", set);
    increments += sum_of(grid_values(name)) / 100.0 * area;
  }
  EXPECT_NEAR(increments, summary, 1e-3 * summary);

  // A line per minute; the last is the time of the last head map.
  std::istringstream wells(read_file("wells.out"));
  std::string line, last;
  int lines = 0;
  while (std::getline(wells, line)) {
    last = line;
    lines++;
  }
  ASSERT_GT(lines, 1);
  const std::vector<double> w = numbers_of(last);
  ASSERT_EQ(w.size(), 3u) << last;
  EXPECT_DOUBLE_EQ(w[0], 31.0);
  const std::vector<double> heads = grid_values("gw/gw_head.0004.asc");
  EXPECT_NEAR(w[1], heads[1], 5.1e-5);  // row 1, column 2
  EXPECT_NEAR(w[2], heads[5], 5.1e-5);  // row 2, column 3
}

// Every number in a written file, header words left out ("nan" and "inf" are numbers here).
std::vector<double> numbers_in_file(const std::string& path) {
  std::istringstream in(read_file(path));
  std::vector<double> v;
  for (std::string word; in >> word;) {
    char* end = nullptr;
    const double x = std::strtod(word.c_str(), &end);
    if (end != word.c_str() && *end == '\0') v.push_back(x);
  }
  return v;
}

// Each card alone on the aquifer strip through the project reader: the run ends well and the
// card's file holds finite numbers.
TEST(OutputCards, EachCardAloneWritesFiniteValues) {
  const struct {
    const char* cards;
    const char* file;
  } rows[] = {
      {"GW_OUTPUT gw\n", "gw/gw_head.0004.asc"},
      {"GW_RECHARGE_CUM gw\n", "gw/gwrechargecum.0004.asc"},
      {"GW_RECHARGE_INC gw/\n", "gw/gwrechargeinc.0004.asc"},
      {"OUT_WELL_LOCATION wells.loc\nGW_WELL_LEVEL wells.out\n", "wells.out"},
      {"EXPLIC_BACKWATER hot\n", "hot.dht"},
  };
  for (const auto& row : rows) {
    pluvo_test::scratch_dir dir;
    std::filesystem::create_directories("gw");
    const std::string cards = aquifer_run_cards();
    write_file("wells.loc", "1\n2 2 \n");
    const pluvo_test::project_result r = pluvo_test::run_strip_cards(cards + row.cards);
    ASSERT_FALSE(r.stopped) << row.cards << r.out;
    const std::vector<double> v = numbers_in_file(row.file);
    EXPECT_GT(v.size(), 5u) << row.cards;
    EXPECT_TRUE(all_finite(v)) << row.cards;
  }
}

// The same cards as datasets: the kinds' NAME lines, one step record per map time and the end
// mark, ASCII and binary.
TEST(OutputCards, GroundwaterDatasetsInBothForms) {
  pluvo_test::scratch_dir dir;
  const std::string cards = aquifer_run_cards();
  const pluvo_test::project_result ascii = pluvo_test::run_strip_cards(
      cards + "MAP_TYPE 1\nGW_OUTPUT h.dat\nGW_RECHARGE_CUM c.dat\nGW_RECHARGE_INC i.dat\n");
  ASSERT_FALSE(ascii.stopped) << ascii.out;
  const struct {
    const char* file;
    const char* head;
  } kinds[] = {
      {"h.dat", "OBJID 1016\nND 6\nNC 6\nNAME groundwater_head\n"},
      {"c.dat", "OBJID 1022\nND 6\nNC 6\nNAME gw_recharge_cum\n"},
      {"i.dat", "OBJID 1023\nND 6\nNC 6\nNAME gw_recharge_inc\n"},
  };
  for (const auto& k : kinds) {
    const std::string text = read_file(k.file);
    EXPECT_NE(text.find(k.head), std::string::npos) << k.file << "\n" << text.substr(0, 120);
    EXPECT_EQ(step_records(text), 4u) << k.file;
    EXPECT_EQ(text.substr(text.size() - 6), "ENDDS\n") << k.file;
    EXPECT_TRUE(all_finite(last_dataset_step(text, 6))) << k.file;
  }
  const double summary = pluvo_test::number_after(read_file("w.sum"), "Recharge to groundwater =");
  EXPECT_NEAR(sum_of(last_dataset_step(read_file("c.dat"), 6)), summary, 1e-3 * summary);

  const pluvo_test::project_result binary =
      pluvo_test::run_strip_cards(cards + "MAP_TYPE 2\nGW_OUTPUT h.bin\nGW_RECHARGE_INC i.bin\n");
  ASSERT_FALSE(binary.stopped) << binary.out;
  for (const char* name : {"h.bin", "i.bin"}) {
    const std::string b = read_file(name);
    ASSERT_EQ(b.size(), 100u + 4u * (14u + 6u * 10u) + 4u) << name;
    EXPECT_EQ(b.substr(b.size() - 4), std::string("\xd2\0\0\0", 4)) << name;
  }
  EXPECT_EQ(read_file("h.bin").substr(60, 16), "groundwater_head");
}



// Net erosion and deposition over the run in the summary, m3: deposited less eroded, every class.
double summary_net_sediment(const std::string& summary) {
  double net = 0.0;
  for (int k = 1; k <= 3; k++) {
    const std::string n = std::to_string(k);
    net += pluvo_test::number_after(summary, "Total sediment " + n + " deposited on surface:") -
           pluvo_test::number_after(summary, "Total sediment " + n + " eroded from surface:");
  }
  return net;
}

// The sediment demo with all four sediment outputs as numbered grids: the flux and net volume
// maps, the suspended-sediment file opened, the channel sediment-flux series; the net volume map
// summed over the basin is the summary's net erosion and deposition.
TEST(OutputCards, SedimentDemoWritesItsFourOutputsAndTheNetMapKeepsTheBooks) {
  pluvo_test::scratch_dir dir;
  std::filesystem::create_directories("maps");
  copy_sediment_demo(
      "MAX_SED_FLUX maps\nNET_SED_VOLUME maps/\nVOL_SED_SUSP susp.dat\nCHAN_SED_FLUX s.cfx\nOV_CON_MAP c.dat\n");
  const pluvo_test::project_result r = run_sediment_demo();
  ASSERT_FALSE(r.stopped) << r.out;
  for (const char* base : {"max_sed_flux", "net_sed_volume"}) {
    for (int set = 1; set <= 3; set++) {
      char name[64];
      std::snprintf(name, sizeof name, "maps/%s.%04d.asc", base, set);
      const std::vector<double> v = grid_values(name);
      EXPECT_EQ(v.size(), 524u) << name;
      EXPECT_TRUE(all_finite(v)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(std::string("maps/") + base + ".0004.asc")) << base;
  }
  // The flux map is in cubic metres per second times a million: the rain's flows carry some.
  const std::vector<double> flux = grid_values("maps/max_sed_flux.0003.asc");
  ASSERT_FALSE(flux.empty());
  EXPECT_GT(*std::max_element(flux.begin(), flux.end()), 1.0);
  EXPECT_GE(*std::min_element(flux.begin(), flux.end()), 0.0);
  const double net = summary_net_sediment(read_file("demo_sediment.sum"));
  ASSERT_LT(net, -100.0);
  EXPECT_NEAR(sum_of(grid_values("maps/net_sed_volume.0003.asc")) * 500.0 * 500.0 / 1000.0, net, 1e-3 * -net);
  EXPECT_TRUE(std::filesystem::exists("susp.dat"));

  // Kind 31: a link/node series with a record every output time, finite fluxes, some carried.
  const std::string series = read_file("s.cfx");
  EXPECT_EQ(series.rfind("PLUVO_LINKNODE_STREAM_SED_FLUX\nNUM_LINKS     42\n", 0), 0u) << series.substr(0, 80);
  size_t records = 0;
  for (size_t at = series.find("\nTS "); at != std::string::npos; at = series.find("\nTS ", at + 1)) records++;
  EXPECT_GT(records, 1u);
  ASSERT_NE(series.rfind("\nTS "), std::string::npos);
  const std::vector<double> values = numbers_of(series.substr(series.rfind("\nTS ") + 4));
  ASSERT_FALSE(values.empty());
  EXPECT_TRUE(all_finite(values));
  EXPECT_GT(*std::max_element(values.begin(), values.end()), 1000.0);
}

// The four sediment maps as datasets, ASCII and binary: the kinds' headers and a step record
// per map time, the suspended sediment the class sum of the suspended volumes.
TEST(OutputCards, SedimentDatasetsInBothForms) {
  pluvo_test::scratch_dir dir;
  copy_sediment_demo("MAP_TYPE 1\nMAX_SED_FLUX f.dat\nNET_SED_VOLUME n.dat\nVOL_SED_SUSP v.dat\nOV_CON_MAP c.dat\n");
  const pluvo_test::project_result r = run_sediment_demo();
  ASSERT_FALSE(r.stopped) << r.out;
  EXPECT_EQ(r.out.find("previous file was not closed"), std::string::npos) << r.out;
  const struct {
    const char* file;
    const char* head;
  } kinds[] = {
      {"f.dat", "OBJID 1017\nND 924\nNC 924\nNAME sediment_flux\n"},
      {"n.dat", "OBJID 1018\nND 924\nNC 924\nNAME sediment_volume\n"},
      {"v.dat", "OBJID 1019\nND 924\nNC 924\nNAME suspended_sediment_conc\n"},
  };
  for (const auto& k : kinds) {
    const std::string text = read_file(k.file);
    EXPECT_NE(text.find(k.head), std::string::npos) << k.file << "\n" << text.substr(0, 120);
    EXPECT_EQ(step_records(text), 3u) << k.file;
    EXPECT_EQ(text.substr(text.size() - 6), "ENDDS\n") << k.file;
    EXPECT_TRUE(all_finite(last_dataset_step(text, 924))) << k.file;
  }
  // The contaminant dataset is headed and ended here; its values go through the contaminants'
  // own map writers.
  EXPECT_EQ(read_file("c.dat"),
            "DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1020\nND 924\nNC 924\nNAME contaminant_conc\nENDDS\n");
  const std::vector<double> suspended = last_dataset_step(read_file("v.dat"), 924);
  ASSERT_EQ(suspended.size(), 924u);
  EXPECT_GT(*std::max_element(suspended.begin(), suspended.end()), 0.0);
  const double net = summary_net_sediment(read_file("demo_sediment.sum"));
  EXPECT_NEAR(sum_of(last_dataset_step(read_file("n.dat"), 924)) * 500.0 * 500.0 / 1000.0, net, 1e-3 * -net);

  copy_sediment_demo("MAP_TYPE 2\nMAX_SED_FLUX f.bin\nNET_SED_VOLUME n.bin\nVOL_SED_SUSP v.bin\n");
  const pluvo_test::project_result b = run_sediment_demo();
  ASSERT_FALSE(b.stopped) << b.out;
  for (const char* name : {"f.bin", "n.bin", "v.bin"}) {
    const std::string bin = read_file(name);
    EXPECT_EQ(bin.size(), 100u + 3u * (14u + 924u * 10u) + 4u) << name;
    EXPECT_EQ(bin.substr(bin.size() - 4), std::string("\xd2\0\0\0", 4)) << name;
  }
}

}  // namespace
