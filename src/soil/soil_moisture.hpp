#pragma once
// The soil-moisture columns of the cells: each takes its infiltrated water, loses
// evapotranspiration (ponded water first) and drains down by its unsaturated conductivity.

namespace pluvo {

struct model_state;

// One update of every cell over dt seconds for Green and Ampt with redistribution; returns the
// depth evaporated, summed over the cells (m).
double soil_moisture_routine(model_state& m, double dt);

// The same for the layered soil scheme, with each cell's layers from its soil class.
double soil_moisture_routine_layered(model_state& m, double dt);

}  // namespace pluvo
