#pragma once
// Services of the Richards soil columns shared by their set-up, the solver and the event books.

namespace pluvo {

struct model_state;

// K/Ks and the water capacity of every node of the cell's column by the run's retention model.
void update_column_conductivity(model_state& m, int cell);

// Water (cm) of the nodes within the root depth, and of soil nodes 1..numcells - 1.
double root_zone_water_cm(const model_state& m, int cell);
double column_water_cm(const model_state& m, int cell);

}  // namespace pluvo
