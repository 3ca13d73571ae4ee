// Phases of processes that are not built yet: each does nothing.
#include "hydromet/hydromet_phases.hpp"
#include "hydromet/radar_precip.hpp"

namespace pluvo {

void update_hydrometeorology(model_state&) {}  // not built yet
void long_term_snow_step(model_state&) {}  // not built yet
int read_hmet_data(model_state&, int) { return 0; }  // not built yet

void read_nwsrfs_elevation_bands(model_state&) {}  // not built yet
void set_hmet_gage_parameters(model_state&) {}  // not built yet

void map_cells_to_radar_grid(model_state&, const char*) {}  // not built yet
int read_radar_precip_file(model_state&, const char*) { return 0; }  // not built yet
void apply_radar_precip(model_state&) {}  // not built yet

}  // namespace pluvo
