// Phases of processes that are not built yet: each does nothing.
#include "input/input_phases.hpp"

namespace pluvo {

void name_contaminant_map_outputs(model_state&) {}  // not built yet
void name_contaminant_chan_outputs(model_state&) {}  // not built yet
void read_run_parameters(const char*, model_state&) {}  // not built yet
void read_dike_map(model_state&) {}  // not built yet
void read_wetland_mask(model_state&) {}  // not built yet
void setup_overland_boundary_types(model_state&) {}  // not built yet
void read_soil_property_maps(model_state&) {}  // not built yet
void read_groundwater_inputs(model_state&) {}  // not built yet
void open_sacramento_input(model_state&) {}  // not built yet
void open_conceptual_gw_input(model_state&) {}  // not built yet
void read_link_map(model_state&) {}  // not built yet
void read_sediment_inputs(model_state&) {}  // not built yet
void read_contaminant_inputs(model_state&) {}  // not built yet
void setup_superlink_grid_links(model_state&) {}  // not built yet
void setup_drain_network(model_state&) {}  // not built yet
void print_startup_information(model_state&, const char*) {}  // not built yet

}  // namespace pluvo

#include "input/mapping_tables.hpp"
namespace pluvo {
int time_series_index_loaded = 0;
}  // namespace pluvo
