#pragma once
// Stream networks of the 2 x 3 strip watershed (tests/run/whole_project.hpp) and their
// grid-stream files: plain, over an aquifer, and through a lake.

#include <string>

namespace pluvo_test {

// On the 2 x 3 strip: link 1 (two nodes, beds 10.3 and 10.05) along row 1 into link 2 (one node,
// bed 9.8) at the outlet cell. Node 1 of link 1 stands above its cell (10.2) and above cell
// (2, 1), which it shares with node 2.
inline const char* strip_network =
    "PLUVO_CHAN\n"
    "ALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 2\nMAXNODES 3\n"
    "CONNECT 1 2 0\nCONNECT 2 0 1 1\n"
    "LINK 1\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\n"
    "NODE 1\nELEV 10.4\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1.5\n"
    "NODE 2\nELEV 10.2\nNODE 3\nELEV 9.9\n"
    "LINK 2\nTRAPEZOID\nDX 10\nNODES 2\nMANNINGS_N 0.04\n"
    "NODE 1\nELEV 9.9\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1.5\n"
    "NODE 2\nELEV 9.7\n";

inline const char* strip_stream =
    "GRIDSTREAMFILE\nSTREAMCELLS 4\n"
    "CELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1.0\n"
    "CELLIJ 1 2\nNUMNODES 1\nLINKNODE 1 2 1.0\n"
    "CELLIJ 1 3\nNUMNODES 1\nLINKNODE 2 1 1.0\n"
    "CELLIJ 2 1\nNUMNODES 2\nLINKNODE 1 1 0.5\nLINKNODE 1 2 0.5\n";

// The strip's stream network with an outlet link of two computational nodes, as routing needs.
inline std::string routed_strip_network() {
  std::string net = strip_network;
  const std::string outlet = "LINK 2\nTRAPEZOID\nDX 10\nNODES 2\n";
  net.replace(net.find(outlet), outlet.size(), "LINK 2\nTRAPEZOID\nDX 10\nNODES 3\n");
  return net + "NODE 3\nELEV 9.6\n";
}

// Subsurface links for an aquifer under the strip: link 1 (cells (1,1) and (1,2), beds 9.7 and
// 9.6) flows into link 2 (both nodes on the outlet cell (1,3), beds 9.5 and 9.4); every link has
// a bed of 0.5 m at 1e-5 m/s.
inline const char* subsurface_network =
    "PLUVO_CHAN\n"
    "ALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 2\nMAXNODES 3\n"
    "CONNECT 1 2 0\nCONNECT 2 0 1 1\n"
    "LINK 1\nSUBSURFACE_TRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\nK_RIVER 0.036\nM_RIVER 0.5\n"
    "NODE 1\nELEV 9.7\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1.5\n"
    "NODE 2\nELEV 9.6\nNODE 3\nELEV 9.55\n"
    "LINK 2\nSUBSURFACE_TRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\nK_RIVER 0.036\nM_RIVER 0.5\n"
    "NODE 1\nELEV 9.5\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1.5\n"
    "NODE 2\nELEV 9.4\nNODE 3\nELEV 9.35\n";

inline const char* subsurface_stream =
    "GRIDSTREAMFILE\nSTREAMCELLS 3\n"
    "CELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1.0\n"
    "CELLIJ 1 2\nNUMNODES 1\nLINKNODE 1 2 1.0\n"
    "CELLIJ 1 3\nNUMNODES 2\nLINKNODE 2 1 0.5\nLINKNODE 2 2 0.5\n";

// A trapezoid link into a lake link, over a weir into a trapezoidal outlet link on the 2 x 3
// strip; the lake lists (2, 2) at 10.1 m and then (2, 1) at 10.2 m and starts at 10.15 m.
inline const char* strip_lake_network =
    "PLUVO_CHAN\nALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 4\nMAXNODES 3\n"
    "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 4 1 2\nCONNECT 4 0 1 3\n"
    "LINK 1\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.04\n"
    "NODE 1\nELEV 10.2\nXSEC\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1\nNODE 2\nELEV 10.15\nNODE 3\nELEV 10.1\n"
    "LINK 2\nLAKE\nMINWSE 9.9\nINITWSE 10.15\nMAXWSE 11\nNUMPTS 2\n2 2 2 1\n"
    "LINK 3\nSTRUCTURE\nNUMSTRUCTS 1\n"
    "STRUCTTYPE WEIR\nCREST_LENGTH 2\nCREST_LOW_ELEV 10.1\nDISCHARGE_COEFF_FORWARD 0.6\nDISCHARGE_COEFF_REVERSE 0.5\n"
    "LINK 4\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.035\n"
    "NODE 1\nELEV 10.0\nXSEC\nBOTTOM_WIDTH 3\nBANKFULL_DEPTH 1\nSIDE_SLOPE 2\nNODE 2\nELEV 9.95\nNODE 3\nELEV 9.9\n";

inline const char* strip_lake_stream =
    "GRIDSTREAMFILE\nSTREAMCELLS 2\n"
    "CELLIJ 1 1\nNUMNODES 2\nLINKNODE 1 1 0.5\nLINKNODE 1 2 0.5\n"
    "CELLIJ 1 3\nNUMNODES 2\nLINKNODE 4 1 0.5\nLINKNODE 4 2 0.5\n";

}  // namespace pluvo_test
