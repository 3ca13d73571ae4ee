#pragma once
// Ties of the frozen-ground soil columns to the saturated zone, each with a diagnostic file that
// keeps the lines of its last call (written for cell 45 only).
#include <cstdio>

namespace pluvo {

struct model_state;

// Weight of a column node's conductivity at pressure head h (m): 1 unless h < 0.
double hydrocon_weight(double h);

// Weights the conductivity of each node of the cell's column by its pressure head; 0, or -9
// when the diagnostic file cannot be opened.
int hydrocon_linkage(model_state& m, int cell, const double* head, double* conductivity, double* saved,
                     double* weight, int nodes);

// Saturated thickness of every frozen-ground column above the aquifer bottom, into extent_GIPLgw.
int gw_transmissivity_linkage(model_state& m);

// Classes the nodes of the cell's frozen-ground column by soil layer and records the layer ends.
int node_linkage_ga(int cell, model_state& m);

}  // namespace pluvo
