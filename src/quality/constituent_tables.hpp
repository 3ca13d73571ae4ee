#pragma once
// Names of the nutrient water constituents and soil pools, the pairing of water constituents
// with soil pools, and the water content of the soil constituent layers.
#include "common/node_matrix.hpp"

namespace pluvo {

struct model_state;

// Copies the soil pool name (soil set) or the water constituent name of index into out (at
// least 40 characters); an index outside the list leaves out untouched.
void tvx_constituent_name(char* out, int index, bool soil);

// The partner of constituent number: its soil pool (water_to_soil set) or its water constituent,
// numbered from base (the first nutrient water constituent); -1 when it has none. A number
// outside base..base+12 is its own partner.
int tvx_constituent_slot(int base, int number, bool water_to_soil);

// Water content THETA[c][k] and saturated content THETAS[c][k] of soil layers k = 1..n (2 or 3)
// of cell c, the layers thickness[1..n] m thick, from the top and lower soil water (cm) and the
// depth to saturation.
void weight_soil_layers(const model_state& m, int c, const double* thickness, int n, node_matrix<double>& THETA,
                        node_matrix<double>& THETAS);

// Volumetric water content of soil constituent layer L (of layers) of cell c under Green and
// Ampt with redistribution, from the top and lower soil water and, with a water table, the
// saturated depth below it. Prints "oy" when the result exceeds 1.
double soil_layer_water_content(const model_state& m, int c, int L, int layers);

}  // namespace pluvo
