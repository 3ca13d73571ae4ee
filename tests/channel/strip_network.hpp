#pragma once
// The stream network of the 2 x 3 strip watershed (tests/run/whole_project.hpp): its channel
// file and its grid-stream file.

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

}  // namespace pluvo_test
