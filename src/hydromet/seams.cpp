// Phases of processes that are not built yet: each does nothing.
#include "hydromet/hydromet_phases.hpp"

namespace pluvo {

void long_term_snow_step(model_state&) {}  // not built yet

void read_nwsrfs_elevation_bands(model_state&) {}  // not built yet


}  // namespace pluvo
