#pragma once
// Names of the nutrient water constituents and soil pools, the pairing of water constituents
// with soil pools, and the water content of the soil constituent layers.
#include "common/node_matrix.hpp"
#include "quality/quality_services.hpp"

namespace pluvo {

struct model_state;

// Water content THETA[c][k] and saturated content THETAS[c][k] of soil layers k = 1..n (2 or 3)
// of cell c, the layers thickness[1..n] m thick, from the top and lower soil water (cm) and the
// depth to saturation.
void weight_soil_layers(const model_state& m, int c, const double* thickness, int n, node_matrix<double>& THETA,
                        node_matrix<double>& THETAS);

}  // namespace pluvo
