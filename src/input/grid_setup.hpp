#pragma once
// Grid set-up steps called by the input-grid driver, in the order it calls them.

#include "common/error_state.hpp"
#include <vector>

#include "common/grid.hpp"

namespace pluvo {

struct model_state;

void read_watershed_mask(model_state& m);
void read_elevation_map(model_state& m);
void set_elevation_range(model_state& m);
void allocate_cell_arrays(model_state& m);
// The soil-moisture output locations (IN_THETA_LOCATION) as cell numbers.
void read_cell_locations(model_state& m);
void read_initial_snow_and_overland_state(model_state& m);
void read_soil_moisture_hotstart(model_state& m);

// Fills the four neighbour arrays from the numbered grid (rows 1..rows, columns 1..cols).
void build_cell_neighbours(int rows, int cols, std::vector<int>& rightcon, std::vector<int>& belowcon,
                           std::vector<int>& abovecon, std::vector<int>& leftcon,
                           const grid<int>& cell_number_grid);

// Overland surface properties.
void read_interception_maps(model_state& m);
void read_overland_lake_map(model_state& m);
// Counts each overland lake's cells and its initial volume over the ground, once the lake
// file has given the water surfaces.
void sum_overland_lake_volumes(model_state& m);
void read_retention_map(model_state& m);
void read_roughness_map(model_state& m);
void setup_snow_roughness(model_state& m);
void read_overland_blockage_table(model_state& m);

// Formats like printf into the run summary always, and onto the console when console_too holds
// and neither SUPER_QUIET nor a cooperating process forbids it.
void echo(model_state& m, bool console_too, const char* format, ...)
    __attribute__((format(printf, 3, 4)));


}  // namespace pluvo
