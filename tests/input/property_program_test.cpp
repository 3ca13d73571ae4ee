// Whole runs of the program on a small watershed with soil maps and groundwater inputs: every
// reader announces its file in the run summary, in order, and the set-up goes on.
#include <gtest/gtest.h>

#include <string>

#include "run/whole_project.hpp"

namespace {

using pluvo_test::read_file;
using pluvo_test::scratch_dir;
using pluvo_test::write_file;

void write_map(const std::string& name, const std::string& values) {
  write_file(name, "north: 20\nsouth: 0\neast: 20\nwest: 0\nrows: 2\ncols: 2\n" + values);
}

const std::string common_cards =
    "WATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 10\nROWS 2\nCOLS 2\nOUTROW 2\nOUTCOL 2\n"
    "OUTSLOPE 0.01\nTIMESTEP 10\nTOT_TIME 60\nHYD_FREQ 1\nMAP_FREQ 60\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\nOVERTYPE 1\nRAIN_INTENSITY 10\n"
    "RAIN_DURATION 30\nMANNING_N 0.05\nSUMMARY run.sum\nOUTLET_HYDRO run.hyd\nAREA_REDUCTION ar.asc\n"
    "WATER_TABLE wt.asc\nAQUIFER_BOTTOM bottom.asc\nGW_SIMULATION\nGW_BOUNDFILE gw.bnd\n"
    "GW_UNIF_HYCOND 36\nGW_UNIF_POROSITY 0.3\n";

TEST(PropertyReaders, AProjectReadsAndEchoesEveryPropertyMap) {
  struct project_case {
    const char* soil_cards;
    std::string echoes;  // lines of the run summary, one after the other
  };
  const std::string groundwater =
      "reading water table map from file: wt.asc\nreading aquifer bottom map from file: bottom.asc\n"
      "reading groundwater boundary file: gw.bnd\n";
  const project_case cases[] = {
      {"GREEN_AMPT\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\nPOROSITY phi.asc\nMOISTURE theta.asc\n",
       "reading area reduction map from file: ar.asc\n"
       "reading saturated hydraulic conductivity map from file: ks.asc\n"
       "reading capillary drive map from file: hc.asc\nreading porosity map from file: phi.asc\n"
       "reading soil moisture map from file: theta.asc\n" +
           groundwater},
      {"INF_LAYERED_SOIL\nSOIL_TYPE_MAP soil.asc\nSOIL_LAYER_INPUT_FILE layers.tab\n",
       "reading area reduction map from file: ar.asc\nreading soil map from file: soil.asc\n"
       "reading soil moisture table and map from the master table file\n" +
           groundwater},
  };
  for (const project_case& c : cases) {
    scratch_dir dir;
    write_map("mask.asc", "1 1\n1 1\n");
    write_map("elev.asc", "100 99\n99 98\n");
    write_map("ks.asc", "3.6 3.6\n3.6 3.6\n");
    write_map("hc.asc", "25 25\n25 25\n");
    write_map("phi.asc", "0.4 0.4\n0.4 0.4\n");
    write_map("theta.asc", "0.2 0.2\n0.2 0.2\n");
    write_map("ar.asc", "0.1 0.1\n0.1 0.1\n");
    write_map("wt.asc", "97 96\n96 95\n");
    write_map("bottom.asc", "90 90\n90 98\n");
    write_map("gw.bnd", "1 1\n1 2\n");
    write_map("soil.asc", "1 1\n2 2\n");
    write_file("layers.tab", "2\n");
    write_file("p.prj", "PLUVOPROJECT\n" + common_cards + c.soil_cards);
    // Nothing of these cards is refused any more; the readers run.
    const pluvo_test::set_up_result set_up = pluvo_test::set_up_past_refusal("p.prj");
    const std::string& out = set_up.out;
    EXPECT_FALSE(set_up.refused) << out;
    EXPECT_FALSE(set_up.stopped) << out;
    EXPECT_NE(read_file("run.sum").find(c.echoes), std::string::npos) << read_file("run.sum");
    // The bottom of cell 4 lies at its ground: it is set there, and the run goes on.
    EXPECT_NE(out.find("Aquifer bottom elevation 98.000000 for cell 4 is at or above ground surface "
                       "elevation 98.000000 \nAquifer bottom elevation set to ground elevation \n"),
              std::string::npos)
        << out;
  }
}

}  // namespace
