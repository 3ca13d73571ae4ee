// Phases of processes that are not built yet: each does nothing.
#include "soil/soil_phases.hpp"

namespace pluvo {

void compute_infiltration(model_state&) {}  // not built yet
void hourly_et_and_soil_moisture(model_state&) {}  // not built yet
void update_soil_temperature(model_state&) {}  // not built yet
void check_inf_redist_bounds(model_state&) {}  // not built yet
void update_soil_moisture(model_state&) {}  // not built yet
void sacramento_step(model_state&) {}  // not built yet
void conceptual_gw_step(model_state&) {}  // not built yet

}  // namespace pluvo
