#pragma once
// The phases this process family offers to the driver.

namespace pluvo {

struct model_state;
struct checked_file;
struct drain_network_record;

void drain_network_step(model_state& m);
void superlink_step(model_state& m);
void groundwater_step(model_state& m);

// Set-up service the input readers call (through the table of input/neighbour_services.hpp).
int build_gipl_layer_links(int cell, model_state& m);
// The superlink and storm-drain network files (and their grid-pipe files) into the record.
void read_superlink_file(checked_file& network, checked_file& grid_pipe, model_state& m);
void read_drain_network(checked_file& network, checked_file& grid_pipe, drain_network_record& net, model_state& m);
// The keyword of a grid-pipe line (0 pipecells, 1 cellij, 2 numpipes, 3 spipe, 4 other), removed
// from the line so that its numbers follow.
int pipe_file_keyword(char* line);

}  // namespace pluvo
