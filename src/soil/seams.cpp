// Phases of processes that are not built yet: each does nothing.
#include "soil/soil_phases.hpp"

namespace pluvo {

void update_soil_temperature(model_state&) {}  // not built yet
int read_soil_temperature_input(checked_file&, model_state&) { return 0; }  // not built yet

}  // namespace pluvo
