#pragma once
// The phases this process family offers to the driver.

namespace pluvo {

struct model_state;

void open_project_files(model_state& m);
void init_input_grids(model_state& m);
// The nutrient outlet outputs; opened by open_project_files when nutrients are simulated.
void open_tvx_hydrograph_outputs(model_state& m);
// Contaminant outputs of ALL_CONTAM_OUTPUT: one concentration and one mass series for each
// constituent whose map output is on.
void name_contaminant_map_outputs(model_state& m);
void name_contaminant_chan_outputs(model_state& m);
void build_cell_connectivity(model_state& m);
void compute_face_slopes(model_state& m);
void compute_centered_slopes(model_state& m);
// Input readers called by the input-grid driver, in its order.
void read_dike_map(model_state& m);
void read_wetland_mask(model_state& m);
void setup_overland_boundary_types(model_state& m);
void read_overland_point_sources(model_state& m);
void read_permafrost_mask(model_state& m);
void setup_permafrost_soil(model_state& m);
void read_soil_property_maps(model_state& m);
void read_groundwater_inputs(model_state& m);
void open_sacramento_input(model_state& m);
void open_conceptual_gw_input(model_state& m);
void read_link_map(model_state& m);
void read_sediment_inputs(model_state& m);
void read_contaminant_inputs(model_state& m);
void setup_superlink_grid_links(model_state& m);
void setup_drain_network(model_state& m);
// Ties the outlets of the superlink and drain networks to their channel nodes and checks the
// drain links; check_drain_network gives 0, or -1 after a stop.
void connect_superlink_to_channel(model_state& m);
int check_drain_network(model_state& m);

// Reads the project file and turns its cards into the run's working settings.
void read_run_parameters(const char* project_file, model_state& m);
// Writes the start-up information to the console and the summary.
void print_startup_information(model_state& m, const char* project_file);

}  // namespace pluvo
