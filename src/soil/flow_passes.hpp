#pragma once
// Upslope contributing areas by multiple-flow-direction passes over the grid, shared by the
// topographic index of the Sacramento model and the upslope areas of the conceptual
// groundwater model.
#include <cstdint>
#include <vector>

#include "common/grid.hpp"

namespace pluvo {

// The contributing area (m2) of every watershed cell of the grid and, when index is given, its
// topographic index ln(a / S). A cell starts with its own area and passes it, once all its higher
// neighbours have passed theirs, to its lower neighbours in proportion to w x tan(beta). Stops the
// run (code 4000) after 1000 passes without finishing and, with an index, on a negative index.
// elevation is per cell number (1..N); outside cells keep 0.
void upslope_flow_passes(const grid<int32_t>& cells, const std::vector<double>& elevation, double dx,
                         grid<double>& area, grid<double>* index);

}  // namespace pluvo
