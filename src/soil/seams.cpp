// Phases of processes that are not built yet: each does nothing.
#include "soil/soil_phases.hpp"

namespace pluvo {

void update_soil_temperature(model_state&) {}  // not built yet
void sacramento_step(model_state&) {}  // not built yet
void conceptual_gw_step(model_state&) {}  // not built yet
int read_richards_soil_table(checked_file&, int, model_state&) { return 0; }  // not built yet
void init_richards_soil_columns(model_state&) {}  // not built yet
int read_soil_temperature_input(checked_file&, model_state&) { return 0; }  // not built yet
void read_sacramento_input(checked_file&, model_state&) {}  // not built yet
void read_conceptual_gw(checked_file&, model_state&) {}  // not built yet

}  // namespace pluvo

#include "soil/infiltration_methods.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

void layered_storage_change(model_state&, int) {}  // not built yet
double update_soil_column_profile(model_state&, int) { return 0.0; }  // not built yet

double solve_richards_columns(model_state&, double) { return 0.0; }  // not built yet

}  // namespace pluvo
