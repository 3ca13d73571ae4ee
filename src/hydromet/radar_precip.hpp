#pragma once
// Radar rainfall grids: the calls the precipitation phases make for radar events.

namespace pluvo {

struct model_state;

// Builds the per-cell index into the radar grid from the header of the event's first file.
void map_cells_to_radar_grid(model_state& m, const char* first_file);

// Reads the radar grid file name into the radar grid record; nonzero on success.
int read_radar_precip_file(model_state& m, const char* name);

// Puts the radar grid's rates onto the cells.
void apply_radar_precip(model_state& m);

}  // namespace pluvo
