// Phases of processes that are not built yet: each does nothing.
#include "soil/soil_phases.hpp"

namespace pluvo {

void hourly_et_and_soil_moisture(model_state&) {}  // not built yet
void update_soil_temperature(model_state&) {}  // not built yet
void check_inf_redist_bounds(model_state&) {}  // not built yet
void update_soil_moisture(model_state&) {}  // not built yet
void sacramento_step(model_state&) {}  // not built yet
void conceptual_gw_step(model_state&) {}  // not built yet

}  // namespace pluvo

#include "soil/infiltration_methods.hpp"

namespace pluvo {

void green_ampt_redist_parallel(model_state&, double) {}  // not built yet
void infiltration_mlga_parallel(model_state&, double) {}  // not built yet
double solve_richards_columns(model_state&, double) { return 0.0; }  // not built yet
bool layered_top_conductance(const model_state&, int, double&, double&) { return false; }  // not built yet

}  // namespace pluvo
