// The constituent books of the shipped demo projects, and of variants without soil transport or
// without streams, close: every event, run and global balance of every constituent, read from
// the summary the real reader's run wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "run/scratch_dir.hpp"
#include "run/whole_project.hpp"

namespace {

struct demo_case {
  const char* name;
  const char* folder;
  const char* project;
  const char* summary;
  std::vector<std::string> dropped;  // cards taken out of the project
  std::string added;                 // cards put in
  std::vector<const char*> borrowed;  // files of examples/demo-contaminant the added cards read
  int constituents;
};

const std::vector<std::string> streams = {"CHAN_EXPLIC", "CHANNEL_INPUT", "STREAM_CELL", "LINKS",
                                          "NODES",       "SED_POROSITY",  "CHAN_CON_TRANS"};

// The project's cards without its format line and the dropped cards, cut to 150 minutes (the
// rain of every demo is over by then; the streams still carry mass in transit).
std::string cards_of(const demo_case& d) {
  std::istringstream in(pluvo_test::read_file(d.project));
  std::string cards, line;
  std::getline(in, line);  // PLUVOPROJECT
  while (std::getline(in, line)) {
    const std::string card = line.substr(0, line.find(' '));
    bool drop = card == "TOT_TIME";
    for (const std::string& c : d.dropped) drop = drop || card == c;
    if (!drop) cards += line + "\n";
  }
  return cards + "TOT_TIME 150\n" + d.added;
}

bool starts_with(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

// The figure at the end of a summary line, before an optional "percent".
double figure_of(std::string line) {
  const size_t p = line.find("percent");
  if (p != std::string::npos) line.erase(p);
  const size_t end = line.find_last_not_of(' ');
  const size_t start = line.find_last_of(' ', end);
  return std::strtod(line.c_str() + (start == std::string::npos ? 0 : start + 1), nullptr);
}

class constituent_balance_demos : public ::testing::TestWithParam<demo_case> {};

TEST_P(constituent_balance_demos, every_constituent_balance_closes) {
  const demo_case& d = GetParam();
  pluvo_test::scratch_dir dir;
  pluvo_test::copy_example(d.folder);
  for (const char* f : d.borrowed)
    pluvo_test::write_file(f, pluvo_test::read_file(std::string(PLUVO_TEST_DATA) + "/../examples/demo-contaminant/" + f));
  const pluvo_test::project_result r = pluvo_test::run_project_cards(cards_of(d), 2);
  ASSERT_FALSE(r.stopped) << r.out;
  std::istringstream sum(pluvo_test::read_file(d.summary));
  int balances = 0, globals = 0;
  std::vector<double> entering, received;  // attached mass: overland into streams, streams from overland
  for (std::string line; std::getline(sum, line);) {
    if (starts_with(line, "Contaminant Transport Global Summary")) ++globals;
    if (starts_with(line, "Attached entering channels") || starts_with(line, "Attached entering streams"))
      entering.push_back(figure_of(line));
    if (starts_with(line, "Lateral flow into channels")) received.push_back(figure_of(line));
    if (!starts_with(line, "Soil mass balance error") && !starts_with(line, "Dissolved mass balance error") &&
        !starts_with(line, "Contam mass balance error"))
      continue;
    ++balances;
    EXPECT_LE(std::fabs(figure_of(line)), 1e-4) << d.name << ": " << line;
  }
  EXPECT_EQ(globals, d.constituents) << d.name;
  // Per constituent at least an overland balance of the event and of the run, and the global one.
  EXPECT_GE(balances, 3 * d.constituents) << d.name;
  EXPECT_EQ(entering, received) << d.name;
}

INSTANTIATE_TEST_SUITE_P(
    shipped_and_variants, constituent_balance_demos,
    ::testing::Values(
        demo_case{"contaminant", "demo-contaminant", "demo_contaminant.prj", "demo_contaminant.sum", {}, "", {}, 1},
        demo_case{"contaminant_without_soil_transport", "demo-contaminant", "demo_contaminant.prj",
                  "demo_contaminant.sum", {"SOIL_CON_TRANS"}, "", {}, 1},
        demo_case{"contaminant_without_streams", "demo-contaminant", "demo_contaminant.prj", "demo_contaminant.sum",
                  streams, "", {}, 1},
        demo_case{"nutrients", "demo-nutrients", "demo_nutrients.prj", "demo_nutrients.sum", {}, "", {}, 9},
        demo_case{"nutrients_with_streams", "demo-nutrients", "demo_nutrients.prj", "demo_nutrients.sum", {},
                  "CHAN_EXPLIC\nCHANNEL_INPUT luxa.chn\nSTREAM_CELL luxa.stm\nCHAN_CON_TRANS\n",
                  {"luxa.chn", "luxa.stm"}, 9},
        demo_case{"sediment", "demo-sediment", "demo_sediment.prj", "demo_sediment.sum", {}, "", {}, 1},
        demo_case{"sediment_without_streams", "demo-sediment", "demo_sediment.prj", "demo_sediment.sum", streams, "",
                  {}, 1}),
    [](const ::testing::TestParamInfo<demo_case>& i) { return std::string(i.param.name); });

}  // namespace
