#pragma once
// Two trapezoidal links on the 2 x 3 strip watershed, 1 into 2: link 1 along row 1, link 2
// along row 2, as a channel input file and its grid-stream file.
namespace pluvo_test {

inline const char* two_link_chan_file() {
  return "PLUVO_CHAN\n"
         "ALPHA 0.5\nBETA 0.9\nTHETA 1.0\nLINKS 2\nMAXNODES 4\n"
         "CONNECT 1 2 0\n"
         "CONNECT 2 0 1 1\n"
         "# link 1\n"
         "LINK 1\nTRAPEZOID\nDX 10\nNODES 4\nMANNINGS_N 0.04\n"
         "NODE 1\nX_Y 5 25\nELEV 10.0\n"
         "NODE 2\nELEV 9.8\nXSEC\nMANNINGS_N 0.04\nBOTTOM_WIDTH 2\nBANKFULL_DEPTH 1\nSIDE_SLOPE 1.5\n"
         "NODE 3\nELEV 9.6\n"
         "NODE 4\nELEV 9.4\n"
         "LINK 2\nTRAPEZOID\nDX 10\nNODES 3\nMANNINGS_N 0.05\n"
         "NODE 1\nELEV 9.4\nXSEC\nBOTTOM_WIDTH 3\nBANKFULL_DEPTH 1.2\nSIDE_SLOPE 2\n"
         "NODE 2\nELEV 9.2\n"
         "NODE 3\nELEV 9.0\n";
}

inline const char* two_link_stream_file() {
  return "GRIDSTREAMFILE\nSTREAMCELLS 5\n"
         "CELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1.0\n"
         "CELLIJ 1 2\nNUMNODES 1\nLINKNODE 1 2 1.0\n"
         "CELLIJ 1 3\nNUMNODES 1\nLINKNODE 1 3 1.0\n"
         "CELLIJ 2 3\nNUMNODES 2\nLINKNODE 2 1 0.5\nLINKNODE 2 2 0.5\n"
         "CELLIJ 2 2\nNUMNODES 0\n";
}

}  // namespace pluvo_test
