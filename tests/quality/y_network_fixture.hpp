#pragma once
// The strip watershed with a Y channel network whose two branches meet in a lake that spills
// over a weir into the outlet link; overland erosion and one contaminant that sorbs to the fine
// sediment on the grid (partition coefficient 10 l/kg) and in the channels (chan_kd).
#include <string>

#include "quality/contaminant_fixture.hpp"
#include "quality/erosion_fixture.hpp"
#include "run/whole_project.hpp"

namespace pluvo_test {

inline const char* y_network =
    "PLUVO_CHAN\nALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 5\nMAXNODES 3\n"
    "CONNECT 1 3 0\nCONNECT 2 3 0\nCONNECT 3 4 2 1 2\nCONNECT 4 5 1 3\nCONNECT 5 0 1 4\n"
    "LINK 1\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\n"
    "NODE 1\nELEV 10.2\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1\nNODE 2\nELEV 10.15\nNODE 3\nELEV 10.1\n"
    "LINK 2\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\n"
    "NODE 1\nELEV 10.25\nXSEC\nBOTTOM_WIDTH 1\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1\nNODE 2\nELEV 10.2\nNODE 3\nELEV 10.1\n"
    "LINK 3\nLAKE\nMINWSE 9.9\nINITWSE 10.15\nMAXWSE 11\nNUMPTS 1\n2 2\n"
    "LINK 4\nSTRUCTURE\nNUMSTRUCTS 1\n"
    "STRUCTTYPE WEIR\nCREST_LENGTH 2\nCREST_LOW_ELEV 10.1\nDISCHARGE_COEFF_FORWARD 0.6\nDISCHARGE_COEFF_REVERSE 0.5\n"
    "LINK 5\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.035\n"
    "NODE 1\nELEV 10.0\nXSEC\nBOTTOM_WIDTH 3\nBANKFULL_DEPTH 1\nSIDE_SLOPE 2\nNODE 2\nELEV 9.95\nNODE 3\nELEV 9.9\n";

inline const char* y_stream =
    "GRIDSTREAMFILE\nSTREAMCELLS 4\n"
    "CELLIJ 1 1\nNUMNODES 2\nLINKNODE 1 1 0.5\nLINKNODE 1 2 0.5\n"
    "CELLIJ 2 1\nNUMNODES 1\nLINKNODE 2 1 1.0\n"
    "CELLIJ 2 2\nNUMNODES 1\nLINKNODE 3 1 1.0\n"
    "CELLIJ 1 3\nNUMNODES 2\nLINKNODE 5 1 0.5\nLINKNODE 5 2 0.5\n";

// Writes the strip, the tables, the network (the Y, or the files given) and c.prj with the cards
// given after the usual ones: rain of 0.5 g/m3 of the contaminant.
inline void write_y_project(double chan_kd, const std::string& cards = "", const char* network = y_network,
                            const char* stream = y_stream) {
  write_strip_grid();
  write_file("c.idx", std::string(strip_header()) + "1 1 1\n1 1 1\n");
  write_file("c.cmt", contaminant_table(0.5, {"1 0 0.02 0 0 0 0 0"}, erosion_table_blocks("\"Land\""), 10.0, chan_kd));
  write_file("c.chn", network);
  write_file("c.stm", stream);
  write_file("c.prj", "PLUVOPROJECT\n" + strip_cards() +
                          "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\nMAPPING_TABLE c.cmt\nSOIL_EROSION 1\n"
                          "OUTLET_SED_FLUX e.sed\nSAND_SIZE 0.062\nWATER_TEMP 20\nOV_CON_TRANS\nCHAN_CON_TRANS\n"
                          "SEDIMENT_CONTAM\n" + cards);
}

}  // namespace pluvo_test
