// The nutrient module's pieces on their own: the chemistry constants, the aquatic-environment
// file as a table of small files, and the nitrogen and phosphorus totals by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "common/printed.hpp"
#include "quality/tvx.hpp"
#include "record/model_state.hpp"
#include "run/scratch_dir.hpp"

namespace {

using pluvo_test::write_file;

TEST(TvxConstants, DissociationConstantAndHydrogenIon) {
  EXPECT_NEAR(pluvo::tvx_Ka(20.0), 3.958e-10, 0.001e-10);
  EXPECT_NEAR(pluvo::tvx_Ka(25.0), 5.671e-10, 0.001e-10);
  EXPECT_DOUBLE_EQ(pluvo::tvx_h_ion(7.0), 1e-7);
}

struct aq_env_result {
  std::string out;
  int code = 0;
  std::string message;
};

// Reads file text as the aquatic-environment file of a two-cell model.
aq_env_result read_aq_env(const std::string& text, pluvo::aq_env_record& r, bool write = true) {
  if (write) write_file("a.env", text);
  pluvo::error_state = pluvo::error_state_record();
  auto m = std::make_unique<pluvo::model_state>();
  m->cell_count = 2;
  m->silent_mode = 1;
  r.aq_env_file = "a.env";
  aq_env_result res;
  res.out = pluvo::printed_by([&] { pluvo::read_aq_env_file(r, *m); });
  // A stop with its own message is reported at once: the code is cleared, the stop flag stays.
  res.code = pluvo::error_state.error_terminate && !pluvo::error_state.error_code ? 4000 : pluvo::error_state.error_code;
  if (res.code != 4000) res.message = pluvo::error_message_text(pluvo::error_state);
  pluvo::error_state = pluvo::error_state_record();
  return res;
}

const std::string head = "AQUATIC_ENV_TVX10\nOV_MAP none.idx\n";
const std::string no_map = "Error: Unable to open the overland Aquatic Environment map.\n";

// Ten value lines whose values name their row slots' order: line k holds 10k+1, 10k+2, ...
std::string ten_lines() {
  const int counts[10] = {7, 7, 4, 4, 4, 4, 7, 7, 4, 4};
  std::string t;
  for (int k = 0; k < 10; ++k) {
    for (int i = 1; i <= counts[k]; ++i) t += std::to_string(10 * (k + 1) + i) + (i < counts[k] ? " " : "\n");
  }
  return t;
}

TEST(AquaticEnvironmentFile, TableOfSmallFiles) {
  pluvo_test::scratch_dir dir;
  const struct {
    const char* name;
    std::string text;
    bool write;
    int code;
    std::string message;
  } cases[] = {
      {"missing file", "", false, 76, "Error: unable to open the aquatic environment file a.env.\n"},
      {"magic with trailing text", "AQUATIC_ENV_TVX10 written by hand\nOV_MAP none.idx\nNUM_IDS 0\nheading\n", true, 81,
       no_map},
      {"lower-case magic", "aquatic_env_tvx10\nNUM_IDS 0\n", true, 77,
       "Error: The header for the aquatic environment file is invalid or does not match \n the current version. \n"
       " The aquatic environment file specified is: a.env\n The header should be : AQUATIC_ENV_TVX10"},
      {"empty file", "", true, 77,
       "Error: The header for the aquatic environment file is invalid or does not match \n the current version. \n"
       " The aquatic environment file specified is: a.env\n The header should be : AQUATIC_ENV_TVX10"},
      {"ID above NUM_IDS", head + "NUM_IDS 3\nheading\n1\n" + ten_lines() + "4\nDEFAULT\n", true, 78,
       "Error: An index [4] in the aquatic environment table is greater than the\nnumber of IDs specified [3]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.write) std::remove("a.env");
    pluvo::aq_env_record r;
    const aq_env_result res = read_aq_env(c.text, r, c.write);
    EXPECT_EQ(res.code, c.code);
    EXPECT_EQ(res.message, c.message);
  }
}

TEST(AquaticEnvironmentFile, MalformedFilesNameTheFileAndLine) {
  pluvo_test::scratch_dir dir;
  const struct {
    const char* name;
    std::string text;
    std::string out;
  } cases[] = {
      {"no NUM_IDS", head + "heading\n",
       "Error: The aquatic environment file a.env is malformed at line 3: the file ends without a NUM_IDS line.\n"},
      {"ID line without an integer", head + "NUM_IDS 2\nheading\n1\nDEFAULT\n\nID2\nDEFAULT\n",
       "Error: The aquatic environment file a.env is malformed at line 8: the line of an ID block does not begin "
       "with an integer ID.\n"},
      {"negative ID", head + "NUM_IDS 2\nheading\n-1\nDEFAULT\n",
       "Error: The aquatic environment file a.env is malformed at line 5: an ID below 0.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pluvo::aq_env_record r;
    const aq_env_result res = read_aq_env(c.text, r);
    EXPECT_EQ(res.code, 4000);
    EXPECT_EQ(res.out, c.out + "\n");
  }
}

TEST(AquaticEnvironmentFile, BlocksFillTheirRowsInterleaved) {
  pluvo_test::scratch_dir dir;
  pluvo::aq_env_record r;
  const aq_env_result res =
      read_aq_env(head + "NUM_IDS 3\nheading\n0\n" + ten_lines() + "\n2\nDEFAULT\n3\n" + ten_lines() + "1\n", r);
  EXPECT_EQ(res.code, 81);  // the table is read whole before the missing map stops the set-up
  ASSERT_EQ(r.num_ids, 3);
  ASSERT_EQ(r.id_rows.count, 3);
  // Slot of each value: the first line of each pair fills even slots, the second odd ones.
  const auto& row0 = r.id_rows[0].values;
  EXPECT_EQ(row0[0], 11);
  EXPECT_EQ(row0[2], 12);
  EXPECT_EQ(row0[12], 17);
  EXPECT_EQ(row0[1], 21);
  EXPECT_EQ(row0[13], 27);
  EXPECT_EQ(row0[14], 31);
  EXPECT_EQ(row0[20], 34);
  EXPECT_EQ(row0[21], 44);
  EXPECT_EQ(row0[22], 51);
  EXPECT_EQ(row0[29], 64);
  EXPECT_EQ(row0[30], 71);
  EXPECT_EQ(row0[43], 87);
  EXPECT_EQ(row0[44], 91);
  EXPECT_EQ(row0[47], 94);
  EXPECT_EQ(row0[48], 101);
  EXPECT_EQ(row0[51], 104);
  for (int s = 0; s < pluvo::aq_env_row_size; ++s) {
    EXPECT_EQ(r.id_rows[1].values[s], 0.0) << s;  // no block
    EXPECT_EQ(r.id_rows[2].values[s], 0.0) << s;  // DEFAULT
    EXPECT_EQ(r.id_rows[3].values[s], row0[s]) << s;
  }
  // A block cut short by the end of the file keeps what it read.
  EXPECT_FALSE(r.id_rows.out_of_range);
}

TEST(AquaticEnvironmentFile, MapScanStopsAfterTwoMapLines) {
  pluvo_test::scratch_dir dir;
  {
    pluvo::aq_env_record r;
    read_aq_env("AQUATIC_ENV_TVX10\nOV_MAP first.idx\nOV_MAP second.idx\nST_MAP s.map\nNUM_IDS 0\nh\n", r);
    EXPECT_EQ(r.ov_map_file, "second.idx");
    EXPECT_EQ(r.st_map_file, "");
  }
  {
    pluvo::aq_env_record r;
    read_aq_env("AQUATIC_ENV_TVX10\nOV_MAP a.idx\nST_MAP s.map\nOV_MAP c.idx\nNUM_IDS 0\nh\n", r);
    EXPECT_EQ(r.ov_map_file, "a.idx");
    EXPECT_EQ(r.st_map_file, "s.map");
  }
}

// Two cells, one wet (0.1 m) and one dry, of a record sized by hand.
struct two_cells {
  std::vector<double> depth{0.0, 0.1, 0.0};
  pluvo::tvx_overland r;
  two_cells(double ka_temperature, double pH) {
    pluvo::printed_by([&] { pluvo::alloc_tvx_overland(r, 2, &depth, 10.0, ka_temperature, nullptr); });
    pluvo::init_tvx_overland_parameters(r, nullptr, pH);
    const double masses[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    for (int k = 0; k < 9; ++k)
      for (int c = 1; c <= 2; ++c) r.slots[k]->mass[c] = masses[k] * c;
  }
};

TEST(NutrientTotals, OverlandByHand) {
  two_cells t(20.0, 7.0);
  pluvo::overland_unionized_ammonia(t.r);
  const double* n = pluvo::overland_total_nitrogen(t.r);
  const double* p = pluvo::overland_total_phosphorus(t.r);
  // Wet cell: V = 0.1 x 100 = 10 m3, c = 3 / 18.039 / 10.
  const double c = 3.0 / 18.039 / 10.0;
  const double nh3 = c * pluvo::tvx_Ka(20.0) / 1e-7 * 17.031 * 10.0;
  EXPECT_DOUBLE_EQ(t.r.unionized_NH3[1], nh3);
  EXPECT_DOUBLE_EQ(n[1], 1 + 2 + 3 + 4 + nh3);
  EXPECT_DOUBLE_EQ(p[1], 5 + 6);
  // Dry cell: no ammonia, nitrogen is the four masses.
  EXPECT_EQ(t.r.unionized_NH3[2], 0.0);
  EXPECT_DOUBLE_EQ(n[2], 2 * (1 + 2 + 3 + 4));
  EXPECT_DOUBLE_EQ(p[2], 2 * (5 + 6));
}

TEST(NutrientTotals, StreamThresholdIsLowerThanTheCells) {
  // One link of one node, 1 m2 by 10 m: V = 10 m3; NH4 mass for c = 5e-8.
  std::vector<double> area{0, 0, 0, 1.0}, dx{0, 10.0}, none(4, 0.0);
  std::vector<int32_t> nx{0, 1}, ltype{0, 4};
  pluvo::tvx_streams s;
  pluvo::printed_by([&] { pluvo::alloc_tvx_streams(s, 1, 2, &area, &dx, 20.0, &none, &none, nullptr); });
  pluvo::init_tvx_stream_parameters(s, &nx, &ltype, nullptr, 7.0);
  const double m = 5e-8 * 18.039 * 10.0;
  s.slots[2]->mass[3] = m;
  s.slots[3]->mass[3] = 1.0;
  pluvo::stream_unionized_ammonia(s);
  EXPECT_GT(s.unionized_NH3.rows[1][1], 0.0);
  EXPECT_DOUBLE_EQ(pluvo::stream_total_kjeldahl_nitrogen(s)[1][1], m + 1.0 + s.unionized_NH3.rows[1][1]);

  std::vector<double> depth{0.0, 0.1};
  pluvo::tvx_overland r;
  pluvo::printed_by([&] { pluvo::alloc_tvx_overland(r, 1, &depth, 10.0, 20.0, nullptr); });
  pluvo::init_tvx_overland_parameters(r, nullptr, 7.0);
  r.slots[2]->mass[1] = m;  // the same concentration in the same volume
  pluvo::overland_unionized_ammonia(r);
  EXPECT_EQ(r.unionized_NH3[1], 0.0);
}

TEST(NutrientTotals, LakeNitrogenAndKjeldahlShareOneArray) {
  std::vector<double> volume{0.0, 0.0};
  pluvo::tvx_lakes l;
  pluvo::printed_by([&] { pluvo::alloc_tvx_lakes(l, 1, &volume, 20.0, nullptr); });
  pluvo::init_tvx_lake_parameters(l, nullptr, 7.0, 1, nullptr, nullptr);
  for (int k = 0; k < 9; ++k) l.slots[k]->mass[1] = k + 1;
  pluvo::lake_unionized_ammonia(l);
  const double* n = pluvo::lake_total_nitrogen(l);
  EXPECT_DOUBLE_EQ(n[1], 1 + 2 + 3 + 4);
  EXPECT_EQ(pluvo::lake_total_kjeldahl_nitrogen(l), n);
  EXPECT_DOUBLE_EQ(n[1], 3 + 4);
  EXPECT_DOUBLE_EQ(pluvo::lake_total_phosphorus(l)[1], 5 + 6);
}

TEST(NutrientRecords, SizingPrintsItsLinesAndNamesTheStreamArrays) {
  std::vector<double> depth{0.0, 0.0, 0.0};
  pluvo::tvx_overland r;
  EXPECT_EQ(pluvo::printed_by([&] { pluvo::alloc_tvx_overland(r, 2, &depth, 30.0, 25.0, nullptr); }),
            "Allocating memory for overland TVX...Done\n");
  EXPECT_DOUBLE_EQ(r.cell_area, 900.0);
  EXPECT_NEAR(r.Ka, 5.671e-10, 0.001e-10);
  ASSERT_EQ(r.slots.count, 10);
  for (int k = 0; k < 9; ++k) EXPECT_EQ(r.slots[k], &r.species[k]);
  EXPECT_EQ(r.slots[9], nullptr);
  pluvo::tvx_streams s;
  EXPECT_STREQ(s.species[6].conc.name, "nutr_st-Alg-conc");
  EXPECT_STREQ(s.species[8].maxconc.name, "nutr_st-DO-maxconc");
  EXPECT_STREQ(s.slots.name, "nutr_st-list");
  pluvo::tvx_soils soils;
  EXPECT_EQ(pluvo::printed_by([&] { pluvo::alloc_tvx_soils(soils, 2, 3, nullptr, nullptr); }),
            "Allocating memory for TVX Soils...Done\n");
  ASSERT_EQ(soils.slots.count, 13);
  EXPECT_EQ(soils.slots[1], &soils.pools[0]);
  EXPECT_EQ(soils.slots[13], &soils.pools[12]);
  EXPECT_EQ(soils.pools[12].rows[2][3], 0.0);
}

TEST(NutrientRecords, AnUnsizedObjectReleasesNothingAndReportsNothing) {
  EXPECT_EQ(pluvo::printed_by([] { auto t = std::make_unique<pluvo::tvx_object>(); }), "");
}

}  // namespace
